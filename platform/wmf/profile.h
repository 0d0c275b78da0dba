// Profiles, stream configurations, codec information and the profile manager: what a
// recording asks of the writer, described before anything is written.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmf/wm_types.h"

namespace tovra::wmf {

class StreamConfig {
public:
    explicit StreamConfig(const Guid& streamType = kGuidNull) : streamType_(streamType) {}

    const Guid& StreamType() const { return streamType_; }
    HRESULT SetStreamNumber(uint16_t number);  // 1..127
    uint16_t StreamNumber() const { return number_; }
    HRESULT SetStreamName(const std::u16string& name);
    const std::u16string& StreamName() const { return name_; }
    HRESULT SetConnectionName(const std::u16string& name);
    const std::u16string& ConnectionName() const { return connection_; }
    HRESULT SetBitrate(uint32_t bitsPerSecond);
    uint32_t Bitrate() const { return bitrate_; }

    // Media properties of the stream.
    HRESULT SetMediaType(const MediaType& type);
    const MediaType& GetMediaType() const { return mediaType_; }
    // Video media properties.
    HRESULT SetQuality(uint32_t quality);  // 0..100
    uint32_t Quality() const { return quality_; }
    HRESULT SetMaxKeyFrameSpacing(int64_t spacing100ns);
    int64_t MaxKeyFrameSpacing() const { return maxKeyFrameSpacing_; }

private:
    Guid streamType_;
    uint16_t number_ = 0;
    std::u16string name_;
    std::u16string connection_;
    uint32_t bitrate_ = 0;
    MediaType mediaType_;
    uint32_t quality_ = 0;
    int64_t maxKeyFrameSpacing_ = 0;
};

struct MutualExclusion {
    Guid type;
    std::vector<uint16_t> streams;
};

class Profile {
public:
    explicit Profile(uint32_t version) : version_(version) {}

    uint32_t Version() const { return version_; }
    HRESULT SetName(const std::u16string& name);
    const std::u16string& Name() const { return name_; }

    // A fresh stream configuration of the given major type, not yet part of the profile.
    HRESULT CreateNewStream(const Guid& streamType, StreamConfig& out) const;
    // Adds a copy; the number must be set and unused.
    HRESULT AddStream(const StreamConfig& config);
    const std::vector<StreamConfig>& Streams() const { return streams_; }

    HRESULT AddMutualExclusion(const MutualExclusion& exclusion);
    const std::vector<MutualExclusion>& MutualExclusions() const { return exclusions_; }

private:
    uint32_t version_;
    std::u16string name_;
    std::vector<StreamConfig> streams_;
    std::vector<MutualExclusion> exclusions_;
};

// The codecs the platform can encode with, each with its list of output formats.
class CodecInfo {
public:
    virtual ~CodecInfo() = default;
    virtual HRESULT GetCodecInfoCount(const Guid& majorType, uint32_t& count) = 0;
    virtual HRESULT GetCodecFormatCount(const Guid& majorType, uint32_t codec, uint32_t& count) = 0;
    virtual HRESULT GetCodecFormat(const Guid& majorType, uint32_t codec, uint32_t format, StreamConfig& out) = 0;
};

// The codec list of this platform: WMA v2 in every format libavcodec accepts, WMV2 and WMV1.
class LibavCodecInfo : public CodecInfo {
public:
    HRESULT GetCodecInfoCount(const Guid& majorType, uint32_t& count) override;
    HRESULT GetCodecFormatCount(const Guid& majorType, uint32_t codec, uint32_t& count) override;
    HRESULT GetCodecFormat(const Guid& majorType, uint32_t codec, uint32_t format, StreamConfig& out) override;
};

class ProfileManager {
public:
    // The platform's manager, with the real codec list.
    static HRESULT Create(std::unique_ptr<ProfileManager>& out);
    explicit ProfileManager(std::unique_ptr<CodecInfo> codecs) : codecs_(std::move(codecs)) {}

    HRESULT CreateEmptyProfile(uint32_t version, std::unique_ptr<Profile>& out);
    HRESULT SetSystemProfileVersion(uint32_t version);
    // The codec information of the manager (the IWMCodecInfo query); never null.
    CodecInfo& Codecs() { return *codecs_; }

private:
    std::unique_ptr<CodecInfo> codecs_;
    uint32_t systemVersion_ = WMT_VER_9_0;
};

}  // namespace tovra::wmf
