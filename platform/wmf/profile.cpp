// Profiles and the codec list on libavcodec.
#include "platform/wmf/profile.h"

#include <algorithm>

#include "platform/wmf/encoders.h"

namespace tovra::wmf {

HRESULT StreamConfig::SetStreamNumber(uint16_t number) {
    if (number < 1 || number > 127) return E_INVALIDARG;  // ASF stream numbers
    number_ = number;
    return S_OK;
}

HRESULT StreamConfig::SetStreamName(const std::u16string& name) {
    name_ = name;
    return S_OK;
}

HRESULT StreamConfig::SetConnectionName(const std::u16string& name) {
    connection_ = name;
    return S_OK;
}

HRESULT StreamConfig::SetBitrate(uint32_t bitsPerSecond) {
    bitrate_ = bitsPerSecond;
    return S_OK;
}

HRESULT StreamConfig::SetMediaType(const MediaType& type) {
    if (!(type.majortype == streamType_) && !(streamType_ == kGuidNull)) return NS_E_INVALID_REQUEST;
    mediaType_ = type;
    return S_OK;
}

HRESULT StreamConfig::SetQuality(uint32_t quality) {
    if (quality > 100) return E_INVALIDARG;
    quality_ = quality;
    return S_OK;
}

HRESULT StreamConfig::SetMaxKeyFrameSpacing(int64_t spacing100ns) {
    if (spacing100ns < 0) return E_INVALIDARG;
    maxKeyFrameSpacing_ = spacing100ns;
    return S_OK;
}

HRESULT Profile::SetName(const std::u16string& name) {
    name_ = name;
    return S_OK;
}

HRESULT Profile::CreateNewStream(const Guid& streamType, StreamConfig& out) const {
    if (!(streamType == kMediaTypeAudio || streamType == kMediaTypeVideo || streamType == kMediaTypeScript)) {
        return E_INVALIDARG;
    }
    out = StreamConfig(streamType);
    return S_OK;
}

HRESULT Profile::AddStream(const StreamConfig& config) {
    if (config.StreamNumber() == 0) return NS_E_INVALID_REQUEST;
    const bool taken = std::any_of(streams_.begin(), streams_.end(),
                                   [&](const StreamConfig& s) { return s.StreamNumber() == config.StreamNumber(); });
    if (taken) return NS_E_INVALID_REQUEST;
    streams_.push_back(config);
    return S_OK;
}

HRESULT Profile::AddMutualExclusion(const MutualExclusion& exclusion) {
    exclusions_.push_back(exclusion);
    return S_OK;
}

namespace {

constexpr uint32_t kWmaCodec = 0;
const uint32_t kVideoFourCCs[] = {FourCC('W', 'M', 'V', '2'), FourCC('W', 'M', 'V', '1')};

std::vector<uint32_t> AvailableVideoCodecs() {
    std::vector<uint32_t> codecs;
    for (uint32_t fourcc : kVideoFourCCs) {
        if (HasVideoEncoder(fourcc)) codecs.push_back(fourcc);
    }
    return codecs;
}

}  // namespace

HRESULT LibavCodecInfo::GetCodecInfoCount(const Guid& majorType, uint32_t& count) {
    if (majorType == kMediaTypeAudio) {
        count = WmaFormats().empty() ? 0 : 1;
    } else if (majorType == kMediaTypeVideo) {
        count = static_cast<uint32_t>(AvailableVideoCodecs().size());
    } else {
        return E_INVALIDARG;
    }
    return S_OK;
}

HRESULT LibavCodecInfo::GetCodecFormatCount(const Guid& majorType, uint32_t codec, uint32_t& count) {
    if (majorType == kMediaTypeAudio) {
        if (codec != kWmaCodec || WmaFormats().empty()) return E_INVALIDARG;
        count = static_cast<uint32_t>(WmaFormats().size());
        return S_OK;
    }
    if (majorType == kMediaTypeVideo) {
        if (codec >= AvailableVideoCodecs().size()) return E_INVALIDARG;
        count = 1;  // one format per codec; its size and rate are set by the profile
        return S_OK;
    }
    return E_INVALIDARG;
}

HRESULT LibavCodecInfo::GetCodecFormat(const Guid& majorType, uint32_t codec, uint32_t format, StreamConfig& out) {
    if (majorType == kMediaTypeAudio) {
        const std::vector<WmaFormat>& formats = WmaFormats();
        if (codec != kWmaCodec || format >= formats.size()) return E_INVALIDARG;
        const WmaFormat& f = formats[format];
        WaveFormatEx wave;
        wave.formatTag = 0x0161;
        wave.channels = f.channels;
        wave.samplesPerSec = f.sampleRate;
        wave.avgBytesPerSec = f.bitrate / 8;
        wave.blockAlign = f.blockAlign;
        wave.bitsPerSample = 16;
        wave.extra = f.codecData;
        MediaType type{kMediaTypeAudio, WaveSubtype(0x0161), true,        false,
                       f.blockAlign,    kFormatWaveFormatEx, wave.Bytes()};
        out = StreamConfig(kMediaTypeAudio);
        out.SetBitrate(f.bitrate);
        return out.SetMediaType(type);
    }
    if (majorType == kMediaTypeVideo) {
        const std::vector<uint32_t> codecs = AvailableVideoCodecs();
        if (codec >= codecs.size() || format != 0) return E_INVALIDARG;
        VideoInfoHeader info;
        info.source = info.target = Rect{0, 0, 320, 240};
        info.bitRate = 250000;
        info.avgTimePerFrame = 10000000 / 15;
        info.bmi.width = 320;
        info.bmi.height = 240;
        info.bmi.bitCount = 24;
        info.bmi.compression = codecs[codec];
        const Guid subtype{codecs[codec], 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
        MediaType type{kMediaTypeVideo, subtype, false, true, 0, kFormatVideoInfo, info.Bytes()};
        out = StreamConfig(kMediaTypeVideo);
        out.SetBitrate(info.bitRate);
        return out.SetMediaType(type);
    }
    return E_INVALIDARG;
}

HRESULT ProfileManager::Create(std::unique_ptr<ProfileManager>& out) {
    out = std::make_unique<ProfileManager>(std::make_unique<LibavCodecInfo>());
    return S_OK;
}

HRESULT ProfileManager::CreateEmptyProfile(uint32_t version, std::unique_ptr<Profile>& out) {
    if (version != WMT_VER_9_0 && version != 0x00080000 && version != 0x00070000) return E_INVALIDARG;
    out = std::make_unique<Profile>(version);
    return S_OK;
}

HRESULT ProfileManager::SetSystemProfileVersion(uint32_t version) {
    systemVersion_ = version;
    return S_OK;
}

}  // namespace tovra::wmf
