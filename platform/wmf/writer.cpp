// The writer: profile streams become encoders feeding one ASF file.
#include "platform/wmf/writer.h"

#include <algorithm>

#include "platform/text/code_page.h"
#include "platform/wmf/asf_writer.h"
#include "platform/wmf/encoders.h"

namespace tovra::wmf {

HRESULT Sample::SetLength(uint32_t length) {
    if (length > buffer_.size()) return E_INVALIDARG;
    length_ = length;
    return S_OK;
}

namespace {

// What the writer expects on an input when the caller does not say otherwise.
MediaType DefaultInputType(const StreamConfig& stream) {
    const MediaType& encoded = stream.GetMediaType();
    if (stream.StreamType() == kMediaTypeAudio) {
        WaveFormatEx coded;
        WaveFormatEx::Parse(encoded.format, coded);
        WaveFormatEx pcm;
        pcm.formatTag = 1;
        pcm.channels = coded.channels;
        pcm.samplesPerSec = coded.samplesPerSec;
        pcm.bitsPerSample = 16;
        pcm.blockAlign = static_cast<uint16_t>(coded.channels * 2);
        pcm.avgBytesPerSec = pcm.samplesPerSec * pcm.blockAlign;
        return MediaType{kMediaTypeAudio, kSubtypePcm, true, false, pcm.blockAlign, kFormatWaveFormatEx, pcm.Bytes()};
    }
    if (stream.StreamType() == kMediaTypeVideo) {
        VideoInfoHeader coded;
        VideoInfoHeader::Parse(encoded.format, coded);
        VideoInfoHeader rgb;
        rgb.source = rgb.target = Rect{0, 0, coded.bmi.width, coded.bmi.height};
        rgb.bmi.width = coded.bmi.width;
        rgb.bmi.height = coded.bmi.height;
        rgb.bmi.bitCount = 24;
        rgb.bmi.sizeImage = static_cast<uint32_t>(coded.bmi.width * std::abs(coded.bmi.height) * 3);
        rgb.bitRate = rgb.bmi.sizeImage * 8;
        rgb.avgTimePerFrame = coded.avgTimePerFrame;
        return MediaType{kMediaTypeVideo, kSubtypeRgb24, true, false, rgb.bmi.sizeImage, kFormatVideoInfo, rgb.Bytes()};
    }
    return MediaType{kMediaTypeScript, kGuidNull, false, false, 0, kFormatScript, ScriptFormatBytes()};
}

}  // namespace

struct Writer::Impl {
    struct Input {
        StreamConfig stream;
        InputProps props;
        std::unique_ptr<WmaEncoder> audio;
        std::unique_ptr<WmvEncoder> video;
    };
    std::vector<Input> inputs;
    std::string path;
    bool profileSet = false;
    bool writing = false;
    std::unique_ptr<AsfWriter> asf;  // one per file
    std::vector<EncodedPacket> packets;

    HRESULT OpenInput(Input& input);
    HRESULT Mux(const Input& input);
};

HRESULT Writer::Impl::OpenInput(Input& input) {
    const StreamConfig& stream = input.stream;
    const MediaType& encoded = stream.GetMediaType();
    if (stream.StreamType() == kMediaTypeAudio) {
        WaveFormatEx coded, pcm;
        if (!WaveFormatEx::Parse(encoded.format, coded) || !WaveFormatEx::Parse(input.props.mediaType.format, pcm)) {
            return NS_E_INVALID_INPUT_FORMAT;
        }
        WmaFormat output{coded.samplesPerSec, coded.channels, coded.avgBytesPerSec * 8, coded.blockAlign, coded.extra};
        input.audio = std::make_unique<WmaEncoder>();
        if (!input.audio->Open(output, PcmFormat{pcm.samplesPerSec, pcm.channels, pcm.bitsPerSample})) {
            return NS_E_AUDIO_CODEC_NOT_INSTALLED;
        }
        AsfAudioStreamInfo info;
        info.number = stream.StreamNumber();
        info.formatTag = coded.formatTag;
        info.channels = coded.channels;
        info.samplesPerSec = coded.samplesPerSec;
        info.avgBytesPerSec = coded.avgBytesPerSec;
        info.blockAlign = input.audio->BlockAlign();
        info.bitsPerSample = coded.bitsPerSample;
        info.codecData = input.audio->CodecData();
        info.bitrate = stream.Bitrate();
        asf->AddAudioStream(info);
        return S_OK;
    }
    if (stream.StreamType() == kMediaTypeVideo) {
        VideoInfoHeader coded, rgb;
        if (!VideoInfoHeader::Parse(encoded.format, coded) ||
            !VideoInfoHeader::Parse(input.props.mediaType.format, rgb)) {
            return NS_E_INVALID_INPUT_FORMAT;
        }
        VideoEncodeSettings settings;
        settings.fourcc = coded.bmi.compression;
        settings.width = static_cast<uint32_t>(coded.bmi.width);
        settings.height = static_cast<uint32_t>(std::abs(coded.bmi.height));
        settings.bitrate = coded.bitRate;
        settings.avgTimePerFrame100ns = static_cast<uint64_t>(std::max<int64_t>(1, coded.avgTimePerFrame));
        settings.quality = stream.Quality();
        settings.maxKeyFrameSpacing100ns = static_cast<uint64_t>(stream.MaxKeyFrameSpacing());
        input.video = std::make_unique<WmvEncoder>();
        if (!input.video->Open(
                settings, RgbFrameFormat{static_cast<uint32_t>(rgb.bmi.width), rgb.bmi.height, rgb.bmi.bitCount})) {
            return NS_E_VIDEO_CODEC_NOT_INSTALLED;
        }
        AsfVideoStreamInfo info;
        info.number = stream.StreamNumber();
        info.width = settings.width;
        info.height = settings.height;
        info.fourcc = settings.fourcc;
        info.bitCount = 24;
        info.codecData = input.video->CodecData();
        info.bitrate = stream.Bitrate();
        info.avgTimePerFrame100ns = settings.avgTimePerFrame100ns;
        asf->AddVideoStream(info);
        return S_OK;
    }
    asf->AddCommandStream(AsfCommandStreamInfo{stream.StreamNumber(), stream.Bitrate()});
    return S_OK;
}

HRESULT Writer::Impl::Mux(const Input& input) {
    bool ok = true;
    for (const EncodedPacket& packet : packets) {
        const uint32_t ms = static_cast<uint32_t>(std::max<int64_t>(0, packet.time100ns / 10000));
        ok = asf->WriteSample(input.stream.StreamNumber(), ms, packet.keyFrame, packet.data.data(),
                              packet.data.size()) &&
             ok;
    }
    packets.clear();
    return ok ? S_OK : E_FAIL;
}

HRESULT Writer::Create(std::unique_ptr<Writer>& out) {
    out = std::make_unique<Writer>();
    return S_OK;
}

Writer::Writer() : impl_(std::make_unique<Impl>()) {}

Writer::~Writer() {
    if (impl_->writing) EndWriting();
}

HRESULT Writer::SetProfile(const Profile& profile) {
    if (impl_->writing) return NS_E_INVALID_REQUEST;
    impl_->inputs.clear();
    std::vector<StreamConfig> streams = profile.Streams();
    std::sort(streams.begin(), streams.end(),
              [](const StreamConfig& a, const StreamConfig& b) { return a.StreamNumber() < b.StreamNumber(); });
    for (const StreamConfig& stream : streams) {
        Impl::Input input;
        input.stream = stream;
        input.props = InputProps{stream.StreamType(), DefaultInputType(stream)};
        impl_->inputs.push_back(std::move(input));
    }
    impl_->profileSet = true;
    return S_OK;
}

HRESULT Writer::GetInputCount(uint32_t& count) const {
    if (!impl_->profileSet) return NS_E_INVALID_REQUEST;
    count = static_cast<uint32_t>(impl_->inputs.size());
    return S_OK;
}

HRESULT Writer::GetInputProps(uint32_t input, InputProps& out) const {
    if (input >= impl_->inputs.size()) return E_INVALIDARG;
    out = impl_->inputs[input].props;
    return S_OK;
}

HRESULT Writer::SetInputProps(uint32_t input, const InputProps& props) {
    if (impl_->writing) return NS_E_INVALID_REQUEST;
    if (input >= impl_->inputs.size()) return E_INVALIDARG;
    Impl::Input& target = impl_->inputs[input];
    const MediaType& type = props.mediaType;
    if (!(type.majortype == target.stream.StreamType())) return NS_E_INVALID_INPUT_FORMAT;
    if (type.majortype == kMediaTypeAudio) {
        WaveFormatEx pcm;
        if (!(type.formattype == kFormatWaveFormatEx) || !WaveFormatEx::Parse(type.format, pcm) || pcm.formatTag != 1 ||
            (pcm.bitsPerSample != 8 && pcm.bitsPerSample != 16) || pcm.channels == 0 || pcm.samplesPerSec == 0) {
            return NS_E_INVALID_INPUT_FORMAT;
        }
    } else if (type.majortype == kMediaTypeVideo) {
        VideoInfoHeader rgb;
        if (!(type.formattype == kFormatVideoInfo) || !VideoInfoHeader::Parse(type.format, rgb) ||
            (rgb.bmi.bitCount != 24 && rgb.bmi.bitCount != 32 && rgb.bmi.bitCount != 16) || rgb.bmi.width <= 0 ||
            rgb.bmi.height == 0) {
            return NS_E_INVALID_INPUT_FORMAT;
        }
    } else if (!(type.formattype == kFormatScript)) {
        return NS_E_INVALID_INPUT_FORMAT;
    }
    target.props = props;
    return S_OK;
}

HRESULT Writer::SetOutputFilename(const std::u16string& path) {
    if (impl_->writing) return NS_E_INVALID_REQUEST;
    if (path.empty()) return E_INVALIDARG;
    impl_->path = text::Utf16ToUtf8(path);
    return S_OK;
}

HRESULT Writer::BeginWriting() {
    if (impl_->writing || !impl_->profileSet || impl_->path.empty()) return NS_E_INVALID_REQUEST;
    impl_->asf = std::make_unique<AsfWriter>();
    for (Impl::Input& input : impl_->inputs) {
        const HRESULT hr = impl_->OpenInput(input);
        if (Failed(hr)) return hr;
    }
    if (!impl_->asf->Begin(impl_->path)) return E_FAIL;
    impl_->writing = true;
    return S_OK;
}

HRESULT Writer::AllocateSample(uint32_t size, std::unique_ptr<Sample>& out) {
    out = std::make_unique<Sample>(size);
    return S_OK;
}

HRESULT Writer::WriteSample(uint32_t inputIndex, int64_t time100ns, uint32_t, const Sample& sample) {
    if (!impl_->writing) return NS_E_INVALID_REQUEST;
    if (inputIndex >= impl_->inputs.size() || time100ns < 0) return E_INVALIDARG;
    Impl::Input& input = impl_->inputs[inputIndex];
    if (input.audio) {
        if (!input.audio->Encode(sample.Data(), sample.Length(), time100ns, impl_->packets)) return E_FAIL;
        return impl_->Mux(input);
    }
    if (input.video) {
        if (!input.video->Encode(sample.Data(), sample.Length(), time100ns, impl_->packets)) return E_FAIL;
        return impl_->Mux(input);
    }
    const uint32_t ms = static_cast<uint32_t>(time100ns / 10000);
    return impl_->asf->WriteSample(input.stream.StreamNumber(), ms, true, sample.Data(), sample.Length()) ? S_OK
                                                                                                          : E_FAIL;
}

HRESULT Writer::Flush() {
    if (!impl_->writing) return NS_E_INVALID_REQUEST;
    return impl_->asf->Flush() ? S_OK : E_FAIL;
}

HRESULT Writer::EndWriting() {
    if (!impl_->writing) return NS_E_INVALID_REQUEST;
    bool ok = true;
    for (Impl::Input& input : impl_->inputs) {
        if (input.audio) ok = input.audio->Finish(impl_->packets) && ok;
        if (input.video) ok = input.video->Finish(impl_->packets) && ok;
        if (input.audio || input.video) ok = !Failed(impl_->Mux(input)) && ok;
        input.audio.reset();
        input.video.reset();
    }
    ok = impl_->asf->Finish() && ok;
    impl_->writing = false;
    return ok ? S_OK : E_FAIL;
}

}  // namespace tovra::wmf
