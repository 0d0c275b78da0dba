// One recording into one Windows Media file: compressed sound, compressed pictures and a
// script stream of text commands, all stamped in milliseconds of recording time.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/wmf/profile.h"
#include "platform/wmf/writer.h"

namespace tovra {

struct AudioStreamRequest {
    uint32_t formatTag = 0;
    uint32_t bitrate = 0;     // bits/s
    uint32_t sampleRate = 0;  // Hz
    uint32_t channels = 0;
};

struct VideoStreamRequest {
    uint32_t fourcc = 0;
    uint32_t bitrate = 0;    // bits/s
    uint32_t height = 0;     // pixels
    uint32_t width = 0;      // pixels
    uint32_t frameRate = 0;  // frames/s
    uint32_t quality = 0;    // 0..100
    uint32_t maxKeyFrameSpacingSeconds = 0;
};

inline constexpr uint32_t kScriptBitrate = 10000;     // bits/s
inline constexpr uint32_t kMaxSampleTimeMs = 600031;  // 0x927DF
inline constexpr int kMaxVideoStreams = 64;           // exclusive

class MediaWriter {
public:
    using ProfileManagerFactory = std::function<wmf::HRESULT(std::unique_ptr<wmf::ProfileManager>&)>;
    using WriterFactory = std::function<wmf::HRESULT(std::unique_ptr<wmf::Writer>&)>;

    MediaWriter();
    ~MediaWriter();
    MediaWriter(const MediaWriter&) = delete;
    MediaWriter& operator=(const MediaWriter&) = delete;

    // Where the profile manager and writer come from (the platform's by default).
    void SetFactories(ProfileManagerFactory profileManagers, WriterFactory writers);

    // path: native file path (absent fails at once); header: the frames WriteVideo receives;
    // audioFormat: the PCM WriteAudio receives, or absent.
    bool Start(const std::optional<std::string>& path, const wmf::BitmapInfoHeader& header, uint32_t frameRate,
               uint32_t videoBitrate, const wmf::WaveFormatEx* audioFormat);
    bool WriteAudio(uint64_t timeMs, const uint8_t* data, uint32_t length);
    // A picture at or before the last one written is left out (true): picture times never go back.
    bool WriteVideo(uint64_t timeMs, const uint8_t* data, uint32_t length);
    // text: a code-page command "type,parameter"; split at the first comma into two strings.
    bool WriteScript(uint64_t timeMs, const std::string& text);
    // Ends writing; safe when nothing is open. False when the file could not be finished.
    bool Close();

    bool IsWriting() const { return writer_ != nullptr; }

    // The steps of Start, for tests.
    wmf::HRESULT BuildProfile(const AudioStreamRequest* audio, const uint32_t* scriptBitrate, uint32_t videoCount,
                              const VideoStreamRequest* videos, std::unique_ptr<wmf::Profile>* slot);
    static wmf::HRESULT AddAudioStream(const AudioStreamRequest& request, bool preferSmallBlocks, wmf::Profile& profile,
                                       wmf::ProfileManager& manager);
    static wmf::HRESULT AddVideoStream(wmf::Profile& profile, wmf::ProfileManager& manager, uint16_t streamNumber,
                                       const VideoStreamRequest& request);
    static wmf::HRESULT AddScriptStream(wmf::Profile& profile, uint16_t streamNumber, uint32_t bitrate);
    static wmf::HRESULT ConfigureStream(wmf::StreamConfig& config, uint16_t number, const std::u16string& name,
                                        const std::u16string& connection, uint32_t bitrate, const wmf::MediaType& type);
    static wmf::HRESULT AddBitrateExclusion(wmf::Profile& profile, uint32_t videoCount);
    void AdoptProfile(std::unique_ptr<wmf::Profile> profile);
    bool OpenWriter(const std::string& path, const wmf::MediaType* audioInput, const wmf::MediaType& videoInput);
    const wmf::Profile* AdoptedProfile() const { return profile_.get(); }

    // The two-string script sample of a command text (UTF-16LE bytes).
    static std::vector<uint8_t> ScriptSample(const std::string& text);

private:
    bool WriteOn(uint32_t input, uint64_t timeMs, const uint8_t* data, uint32_t length);

    ProfileManagerFactory makeProfileManager_;
    WriterFactory makeWriter_;
    std::unique_ptr<wmf::ProfileManager> profileManager_;
    std::unique_ptr<wmf::Profile> profile_;
    std::string outputPath_;
    std::unique_ptr<wmf::Writer> writer_;
    std::optional<wmf::InputProps> audioProps_;
    std::optional<wmf::InputProps> videoProps_;
    std::optional<wmf::InputProps> scriptProps_;
    uint32_t audioInput_ = 0;
    uint32_t videoInput_ = 0;
    uint32_t scriptInput_ = 0;
    int64_t lastVideoMs_ = -1;  // the last picture's time written, -1 before the first
};

// The wave format tag of WMA v2 and the FourCC the recording asks for.
inline constexpr uint32_t kWmaV2Tag = 0x0161;

}  // namespace tovra
