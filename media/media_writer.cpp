// The media writer: builds its profile from the codec list, opens the writer, stamps samples.
#include "media/media_writer.h"

#include <cstdio>
#include <cstring>

#include "platform/text/code_page.h"
#include "platform/wmf/encoders.h"

namespace tovra {

using namespace wmf;

namespace {

constexpr int64_t k100nsPerSecond = 10000000;
constexpr int64_t k100nsPerMs = 10000;

// The audio the recording asks for. WMA v2 here cannot go below 24 kbit/s.
constexpr AudioStreamRequest kAudioRequest{kWmaV2Tag, 24000, 8000, 1};
// WMV3 has no encoder on this platform; WMV2 is the nearest that exists.
constexpr uint32_t kVideoFourCC = FourCC('W', 'M', 'V', '2');
constexpr uint32_t kMaxKeyFrameSpacingSeconds = 20;

MediaType ScriptMediaType(uint32_t sampleSize) {
    return MediaType{kMediaTypeScript, kGuidNull, false, false, sampleSize, kFormatScript, ScriptFormatBytes()};
}

}  // namespace

MediaWriter::MediaWriter() : makeProfileManager_(&ProfileManager::Create), makeWriter_(&Writer::Create) {}

MediaWriter::~MediaWriter() {
    Close();
    profile_.reset();
}

void MediaWriter::SetFactories(ProfileManagerFactory profileManagers, WriterFactory writers) {
    makeProfileManager_ = std::move(profileManagers);
    makeWriter_ = std::move(writers);
}

bool MediaWriter::Start(const std::optional<std::string>& path, const BitmapInfoHeader& header, uint32_t frameRate,
                        uint32_t videoBitrate, const WaveFormatEx* audioFormat) {
    if (!path) return false;
    lastVideoMs_ = -1;
    const uint32_t scriptBitrate = kScriptBitrate;
    const VideoStreamRequest video{kVideoFourCC,
                                   videoBitrate,
                                   static_cast<uint32_t>(header.height),
                                   static_cast<uint32_t>(header.width),
                                   frameRate,
                                   0,
                                   kMaxKeyFrameSpacingSeconds};
    std::unique_ptr<Profile> profile;
    if (Failed(BuildProfile(&kAudioRequest, &scriptBitrate, 1, &video, &profile))) return false;
    AdoptProfile(std::move(profile));

    std::optional<MediaType> audioInput;
    if (audioFormat) {
        WaveFormatEx pcm = *audioFormat;
        pcm.extra.clear();
        audioInput = MediaType{kMediaTypeAudio,         kSubtypePcm,         true,       false,
                               audioFormat->blockAlign, kFormatWaveFormatEx, pcm.Bytes()};
    }
    VideoInfoHeader info;
    info.source = info.target = Rect{0, 0, header.width, header.height};
    info.bitRate = static_cast<uint32_t>(header.width * header.height * (header.bitCount / 8));
    info.bitErrorRate = 0;
    info.avgTimePerFrame = 66;
    info.bmi = header;
    Guid subtype = kGuidNull;
    if (header.bitCount == 24) subtype = kSubtypeRgb24;
    if (header.bitCount == 32) subtype = kSubtypeRgb32;
    if (header.bitCount == 16) subtype = kSubtypeRgb555;
    const MediaType videoInput{kMediaTypeVideo, subtype, true, false, header.sizeImage, kFormatVideoInfo, info.Bytes()};
    return OpenWriter(*path, audioInput ? &*audioInput : nullptr, videoInput);
}

HRESULT MediaWriter::BuildProfile(const AudioStreamRequest* audio, const uint32_t* scriptBitrate, uint32_t videoCount,
                                  const VideoStreamRequest* videos, std::unique_ptr<Profile>* slot) {
    if (!audio || !slot || videoCount >= kMaxVideoStreams || (videoCount > 0 && !videos)) return E_INVALIDARG;
    std::unique_ptr<ProfileManager> manager;
    HRESULT hr = makeProfileManager_(manager);
    if (Failed(hr)) return hr;
    std::unique_ptr<Profile> profile;
    hr = manager->CreateEmptyProfile(WMT_VER_9_0, profile);
    if (!Failed(hr)) hr = profile->SetName(u"Custom Profile");
    if (!Failed(hr)) hr = AddAudioStream(*audio, videoCount > 0, *profile, *manager);
    for (uint32_t i = 0; i < videoCount && !Failed(hr); ++i) {
        hr = AddVideoStream(*profile, *manager, static_cast<uint16_t>(i + 2), videos[i]);
    }
    if (!Failed(hr) && videoCount > 1) hr = AddBitrateExclusion(*profile, videoCount);
    if (!Failed(hr) && scriptBitrate)
        hr = AddScriptStream(*profile, static_cast<uint16_t>(videoCount + 2), *scriptBitrate);
    if (Failed(hr)) return hr;  // the profile and the manager are released here
    *slot = std::move(profile);
    return S_OK;
}

HRESULT MediaWriter::AddAudioStream(const AudioStreamRequest& request, bool preferSmallBlocks, Profile& profile,
                                    ProfileManager& manager) {
    CodecInfo& codecs = manager.Codecs();
    uint32_t codecCount = 0;
    HRESULT hr = codecs.GetCodecInfoCount(kMediaTypeAudio, codecCount);
    if (Failed(hr)) return hr;

    std::optional<MediaType> chosen;  // a copy of the whole format block
    WaveFormatEx chosenWave;
    for (uint32_t codec = 0; codec < codecCount; ++codec) {
        uint32_t formatCount = 0;
        hr = codecs.GetCodecFormatCount(kMediaTypeAudio, codec, formatCount);
        if (Failed(hr)) return hr;
        for (uint32_t format = 0; format < formatCount; ++format) {
            StreamConfig config;
            hr = codecs.GetCodecFormat(kMediaTypeAudio, codec, format, config);
            if (Failed(hr)) return hr;
            const MediaType& type = config.GetMediaType();
            WaveFormatEx wave;
            if (!(type.formattype == kFormatWaveFormatEx) || !WaveFormatEx::Parse(type.format, wave)) return E_FAIL;
            const int64_t bitrateGap = static_cast<int64_t>(wave.avgBytesPerSec) * 8 - request.bitrate;
            const bool matches = wave.formatTag == request.formatTag && wave.samplesPerSec == request.sampleRate &&
                                 wave.channels == request.channels && bitrateGap >= -249 && bitrateGap <= 249;
            if (!matches) continue;
            // With video the smallest block wins, without the largest; a later format wins ties.
            const bool better = !chosen || (preferSmallBlocks ? wave.blockAlign <= chosenWave.blockAlign
                                                              : wave.blockAlign >= chosenWave.blockAlign);
            if (better) {
                chosen = type;
                chosenWave = wave;
            }
        }
    }
    if (!chosen) return NS_E_AUDIO_CODEC_NOT_INSTALLED;

    const MediaType streamType{
        kMediaTypeAudio, WaveSubtype(chosenWave.formatTag), true, false, chosenWave.blockAlign, kFormatWaveFormatEx,
        chosen->format};
    StreamConfig config;
    hr = profile.CreateNewStream(kMediaTypeAudio, config);
    if (!Failed(hr)) {
        hr = ConfigureStream(config, 1, u"Audio Stream", u"Audio", chosenWave.avgBytesPerSec * 8, streamType);
    }
    if (!Failed(hr)) hr = profile.AddStream(config);
    return hr;
}

HRESULT MediaWriter::AddVideoStream(Profile& profile, ProfileManager& manager, uint16_t streamNumber,
                                    const VideoStreamRequest& request) {
    CodecInfo& codecs = manager.Codecs();
    uint32_t codecCount = 0;
    HRESULT hr = codecs.GetCodecInfoCount(kMediaTypeVideo, codecCount);
    if (Failed(hr)) return hr;
    std::optional<StreamConfig> taken;
    VideoInfoHeader info;
    for (uint32_t codec = 0; codec < codecCount && !taken; ++codec) {
        uint32_t formatCount = 0;
        hr = codecs.GetCodecFormatCount(kMediaTypeVideo, codec, formatCount);
        if (Failed(hr)) return hr;
        for (uint32_t format = 0; format < formatCount; ++format) {
            StreamConfig config;
            hr = codecs.GetCodecFormat(kMediaTypeVideo, codec, format, config);
            if (Failed(hr)) return hr;
            const MediaType& type = config.GetMediaType();
            if (type.formattype == kFormatVideoInfo && VideoInfoHeader::Parse(type.format, info) &&
                info.bmi.compression == request.fourcc) {
                taken = config;
                break;
            }
        }
    }
    if (!taken) return NS_E_VIDEO_CODEC_NOT_INSTALLED;

    info.bitRate = request.bitrate;
    info.source.right = info.target.right = static_cast<int32_t>(request.width);
    info.source.bottom = info.target.bottom = static_cast<int32_t>(request.height);
    info.bmi.width = static_cast<int32_t>(request.width);
    info.bmi.height = static_cast<int32_t>(request.height);
    if (request.frameRate == 0) return E_INVALIDARG;
    info.avgTimePerFrame = k100nsPerSecond / request.frameRate;
    MediaType type = taken->GetMediaType();
    type.format = info.Bytes();

    hr = taken->SetQuality(request.quality);
    if (!Failed(hr)) {
        hr = taken->SetMaxKeyFrameSpacing(static_cast<int64_t>(
            static_cast<uint64_t>(request.maxKeyFrameSpacingSeconds) * static_cast<uint64_t>(k100nsPerSecond)));
    }
    if (!Failed(hr)) hr = ConfigureStream(*taken, streamNumber, u"Video Stream", u"Video", request.bitrate, type);
    if (!Failed(hr)) hr = profile.AddStream(*taken);
    return hr;
}

HRESULT MediaWriter::AddScriptStream(Profile& profile, uint16_t streamNumber, uint32_t bitrate) {
    StreamConfig config;
    HRESULT hr = profile.CreateNewStream(kMediaTypeScript, config);
    if (!Failed(hr))
        hr = ConfigureStream(config, streamNumber, u"Script Stream", u"Script", bitrate, ScriptMediaType(0));
    if (!Failed(hr)) hr = profile.AddStream(config);
    return hr;
}

HRESULT MediaWriter::ConfigureStream(StreamConfig& config, uint16_t number, const std::u16string& name,
                                     const std::u16string& connection, uint32_t bitrate, const MediaType& type) {
    HRESULT hr = config.SetStreamNumber(number);
    if (!Failed(hr)) hr = config.SetStreamName(name);
    if (!Failed(hr)) hr = config.SetConnectionName(connection);
    if (!Failed(hr)) hr = config.SetBitrate(bitrate);
    if (!Failed(hr)) hr = config.SetMediaType(type);
    return hr;
}

HRESULT MediaWriter::AddBitrateExclusion(Profile& profile, uint32_t videoCount) {
    MutualExclusion exclusion;
    exclusion.type = kClsidMutexBitrate;
    for (uint32_t number = 2; number <= videoCount + 1; ++number)
        exclusion.streams.push_back(static_cast<uint16_t>(number));
    return profile.AddMutualExclusion(exclusion);
}

void MediaWriter::AdoptProfile(std::unique_ptr<Profile> profile) { profile_ = std::move(profile); }

bool MediaWriter::OpenWriter(const std::string& path, const MediaType* audioInput, const MediaType& videoInput) {
    if (Failed(makeProfileManager_(profileManager_))) return false;
    profileManager_->SetSystemProfileVersion(WMT_VER_9_0);
    if (!profile_) return false;
    outputPath_ = path;
    if (Failed(makeWriter_(writer_))) return false;
    if (Failed(writer_->SetProfile(*profile_))) return false;

    audioProps_.reset();
    videoProps_.reset();
    scriptProps_.reset();
    uint32_t inputs = 0;
    if (Failed(writer_->GetInputCount(inputs))) return false;
    for (uint32_t i = 0; i < inputs; ++i) {
        InputProps props;
        if (Failed(writer_->GetInputProps(i, props))) return false;
        if (props.type == kMediaTypeAudio) {
            audioInput_ = i;
            audioProps_ = props;
        } else if (props.type == kMediaTypeVideo) {
            videoInput_ = i;
            videoProps_ = props;
        } else if (props.type == kMediaTypeScript) {
            scriptInput_ = i;
            scriptProps_ = props;
        } else {
            std::printf("Error: profile contains unrecognized media type.\n");
            return false;
        }
    }
    if (audioInput && !audioProps_) {
        std::printf("Error: profile should contain at least one audio input.\n");
        return false;
    }
    if (Failed(writer_->SetOutputFilename(text::Utf8ToUtf16(outputPath_)))) return false;

    const auto reconfigure = [&](std::optional<InputProps>& props, uint32_t input, const MediaType& type) {
        props->mediaType = type;
        if (Failed(writer_->SetInputProps(input, *props))) {
            std::printf("Error: couldn't reconfigure input format.\n");
            return false;
        }
        return true;
    };
    if (audioInput && !reconfigure(audioProps_, audioInput_, *audioInput)) return false;
    if (videoProps_ && !reconfigure(videoProps_, videoInput_, videoInput)) return false;
    if (scriptProps_ && !reconfigure(scriptProps_, scriptInput_, ScriptMediaType(kScriptBitrate))) return false;
    return !Failed(writer_->BeginWriting());
}

bool MediaWriter::Close() {
    bool finished = true;
    if (writer_) {
        finished = !Failed(writer_->EndWriting());
        writer_.reset();
    }
    profileManager_.reset();
    return finished;
}

bool MediaWriter::WriteOn(uint32_t input, uint64_t timeMs, const uint8_t* data, uint32_t length) {
    // Out of range times are refused rather than clamped, so no sample goes out of time order.
    if ((timeMs >> 32) != 0 || timeMs > kMaxSampleTimeMs) return false;
    std::unique_ptr<Sample> sample;
    if (Failed(writer_->AllocateSample(length, sample))) return false;
    uint8_t* buffer = nullptr;
    uint32_t capacity = 0;
    sample->GetBufferAndLength(buffer, capacity);
    if (length > 0) std::memcpy(buffer, data, length);
    sample->SetLength(length);
    return !Failed(writer_->WriteSample(input, static_cast<int64_t>(timeMs) * k100nsPerMs, 0, *sample));
}

bool MediaWriter::WriteAudio(uint64_t timeMs, const uint8_t* data, uint32_t length) {
    if (!writer_ || !audioProps_) return false;
    return WriteOn(audioInput_, timeMs, data, length);
}

bool MediaWriter::WriteVideo(uint64_t timeMs, const uint8_t* data, uint32_t length) {
    if (!writer_ || !videoProps_) return false;
    // The picture count follows the sound's clock when the camera drifts; pulled back (a late first
    // buffer), it would give times before pictures already written. Those pictures are left out,
    // as the companion leaves them out, until the count has passed the last written time again.
    if (static_cast<int64_t>(timeMs) <= lastVideoMs_) return true;
    const bool written = WriteOn(videoInput_, timeMs, data, length);
    if (written) lastVideoMs_ = static_cast<int64_t>(timeMs);
    writer_->Flush();
    return written;
}

std::vector<uint8_t> MediaWriter::ScriptSample(const std::string& text) {
    const std::size_t length = text.size();
    std::vector<uint8_t> sample(2 * length + 2, 0);
    std::u16string units = text::FromCodePage(text);
    if (units.size() > length) units.resize(length);  // at most L units before the terminator
    const std::size_t comma = text.find(',');
    if (comma != std::string::npos && comma > 0 && comma < units.size()) units[comma] = u'\0';
    for (std::size_t i = 0; i < units.size(); ++i) {
        sample[2 * i] = static_cast<uint8_t>(units[i] & 0xFF);
        sample[2 * i + 1] = static_cast<uint8_t>(units[i] >> 8);
    }
    return sample;
}

bool MediaWriter::WriteScript(uint64_t timeMs, const std::string& text) {
    if (!writer_ || !scriptProps_) return false;
    const std::vector<uint8_t> sample = ScriptSample(text);
    return WriteOn(scriptInput_, timeMs, sample.data(), static_cast<uint32_t>(sample.size()));
}

}  // namespace tovra
