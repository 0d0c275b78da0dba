// The media writer's choices and refusals, on a codec list of the test's own.
#include "media/media_writer.h"

#include <gtest/gtest.h>

#include "platform/wmf/encoders.h"

namespace tovra {
namespace {

using namespace wmf;

struct AudioFormat {
    uint16_t tag;
    uint32_t rate;
    uint16_t channels;
    uint32_t avgBytesPerSec;
    uint16_t blockAlign;
    uint8_t mark;  // tells formats apart in the chosen copy
    bool notWave = false;
};

// A codec list double: audio codecs with their formats, video codecs with FourCCs.
class FakeCodecs : public CodecInfo {
public:
    std::vector<std::vector<AudioFormat>> audio;
    std::vector<std::vector<std::pair<uint32_t, uint8_t>>> video;  // FourCC and mark

    HRESULT GetCodecInfoCount(const Guid& major, uint32_t& count) override {
        count = static_cast<uint32_t>(major == kMediaTypeAudio ? audio.size() : video.size());
        return S_OK;
    }
    HRESULT GetCodecFormatCount(const Guid& major, uint32_t codec, uint32_t& count) override {
        count = static_cast<uint32_t>(major == kMediaTypeAudio ? audio.at(codec).size() : video.at(codec).size());
        return S_OK;
    }
    HRESULT GetCodecFormat(const Guid& major, uint32_t codec, uint32_t format, StreamConfig& out) override {
        out = StreamConfig(major);
        if (major == kMediaTypeAudio) {
            const AudioFormat& f = audio.at(codec).at(format);
            WaveFormatEx wave{f.tag, f.channels, f.rate, f.avgBytesPerSec, f.blockAlign, 16, {f.mark}};
            return out.SetMediaType(MediaType{kMediaTypeAudio, WaveSubtype(f.tag), true, false, f.blockAlign,
                                              f.notWave ? kFormatVideoInfo : kFormatWaveFormatEx, wave.Bytes()});
        }
        const auto& [fourcc, mark] = video.at(codec).at(format);
        VideoInfoHeader info;
        info.bmi.compression = fourcc;
        info.bmi.width = 176;
        info.bmi.height = 144;
        info.bmi.bitCount = 24;
        info.bitErrorRate = mark;
        return out.SetMediaType(MediaType{kMediaTypeVideo, kGuidNull, false, true, 0, kFormatVideoInfo, info.Bytes()});
    }
};

class MediaWriterChoices : public ::testing::Test {
protected:
    void SetUp() override {
        codecs = new FakeCodecs;
        manager = std::make_unique<ProfileManager>(std::unique_ptr<CodecInfo>(codecs));
        profile = std::make_unique<Profile>(WMT_VER_9_0);
    }
    uint8_t ChosenAudioMark() {
        WaveFormatEx wave;
        EXPECT_TRUE(WaveFormatEx::Parse(profile->Streams().at(0).GetMediaType().format, wave));
        return wave.extra.empty() ? 0 : wave.extra[0];
    }

    FakeCodecs* codecs = nullptr;
    std::unique_ptr<ProfileManager> manager;
    std::unique_ptr<Profile> profile;
};

constexpr AudioStreamRequest kRequest{0x0161, 24000, 8000, 1};

TEST_F(MediaWriterChoices, AudioFormatWithinTheBitrateWindowAndBlockAlignPreference) {
    codecs->audio = {{
                         {0x0161, 8000, 1, 3000, 300, 1},  // 24000: matches
                         {0x0161, 8000, 1, 3031, 100, 2},  // 24248: matches, small block
                         {0x0161, 8000, 1, 3032, 50, 3},   // 24256: outside the window
                         {0x0161, 8000, 2, 3000, 40, 4},   // wrong channel count
                         {0x0161, 11025, 1, 3000, 40, 5},  // wrong rate
                         {0x0160, 8000, 1, 3000, 40, 6},   // wrong tag
                     },
                     {
                         {0x0161, 8000, 1, 2969, 100, 7},  // 23752: matches, ties the small block, later
                         {0x0161, 8000, 1, 2968, 10, 8},   // 23744: outside
                         {0x0161, 8000, 1, 3000, 300, 9},  // ties the large block, later
                     }};
    ASSERT_EQ(MediaWriter::AddAudioStream(kRequest, true, *profile, *manager), S_OK);
    EXPECT_EQ(ChosenAudioMark(), 7);  // smallest block wins with video; the later of equals
    const StreamConfig& stream = profile->Streams().at(0);
    EXPECT_EQ(stream.StreamNumber(), 1);
    EXPECT_EQ(stream.StreamName(), u"Audio Stream");
    EXPECT_EQ(stream.ConnectionName(), u"Audio");
    EXPECT_EQ(stream.Bitrate(), 2969u * 8);
    EXPECT_EQ(stream.GetMediaType().sampleSize, 100u);
    EXPECT_EQ(stream.GetMediaType().subtype, WaveSubtype(0x0161));

    profile = std::make_unique<Profile>(WMT_VER_9_0);
    ASSERT_EQ(MediaWriter::AddAudioStream(kRequest, false, *profile, *manager), S_OK);
    EXPECT_EQ(ChosenAudioMark(), 9);  // without video the largest block wins
}

TEST_F(MediaWriterChoices, AudioSearchFailures) {
    EXPECT_EQ(MediaWriter::AddAudioStream(kRequest, true, *profile, *manager), NS_E_AUDIO_CODEC_NOT_INSTALLED);
    codecs->audio = {{{0x0161, 8000, 1, 1000, 64, 1}}};
    EXPECT_EQ(MediaWriter::AddAudioStream(kRequest, true, *profile, *manager), NS_E_AUDIO_CODEC_NOT_INSTALLED);
    codecs->audio = {{{0x0161, 8000, 1, 3000, 64, 1}, {0x0161, 8000, 1, 3000, 64, 2, true}}};
    EXPECT_EQ(MediaWriter::AddAudioStream(kRequest, true, *profile, *manager), E_FAIL);
    EXPECT_TRUE(profile->Streams().empty());
}

TEST_F(MediaWriterChoices, FirstVideoFormatWithTheFourCCIsTakenAndSized) {
    const uint32_t wmv2 = FourCC('W', 'M', 'V', '2');
    codecs->video = {{{FourCC('W', 'M', 'V', '1'), 1}}, {{wmv2, 2}, {wmv2, 3}}};
    const VideoStreamRequest request{wmv2, 80000, 240, 320, 15, 0, 20};
    ASSERT_EQ(MediaWriter::AddVideoStream(*profile, *manager, 2, request), S_OK);
    const StreamConfig& stream = profile->Streams().at(0);
    VideoInfoHeader info;
    ASSERT_TRUE(VideoInfoHeader::Parse(stream.GetMediaType().format, info));
    EXPECT_EQ(info.bitErrorRate, 2u);  // the first WMV2 format
    EXPECT_EQ(info.bitRate, 80000u);
    EXPECT_EQ(info.source.right, 320);
    EXPECT_EQ(info.target.bottom, 240);
    EXPECT_EQ(info.bmi.width, 320);
    EXPECT_EQ(info.bmi.height, 240);
    EXPECT_EQ(info.avgTimePerFrame, 666666);
    EXPECT_EQ(stream.MaxKeyFrameSpacing(), 200000000);
    EXPECT_EQ(stream.Quality(), 0u);
    EXPECT_EQ(stream.StreamName(), u"Video Stream");

    const VideoStreamRequest wmv3{FourCC('W', 'M', 'V', '3'), 80000, 240, 320, 15, 0, 20};
    EXPECT_EQ(MediaWriter::AddVideoStream(*profile, *manager, 3, wmv3), NS_E_VIDEO_CODEC_NOT_INSTALLED);
}

TEST_F(MediaWriterChoices, ProfileOfAudioVideosAndScript) {
    codecs->audio = {{{0x0161, 8000, 1, 3000, 192, 1}}};
    const uint32_t wmv2 = FourCC('W', 'M', 'V', '2');
    codecs->video = {{{wmv2, 1}}};
    std::vector<VideoStreamRequest> videos(64, VideoStreamRequest{wmv2, 80000, 240, 320, 15, 0, 20});
    FakeCodecs* shared = codecs;
    MediaWriter writer;
    writer.SetFactories(
        [&](std::unique_ptr<ProfileManager>& out) {
            // Each manager gets a copy of the same list.
            out = std::make_unique<ProfileManager>(std::make_unique<FakeCodecs>(*shared));
            return S_OK;
        },
        &Writer::Create);
    const uint32_t scriptBitrate = kScriptBitrate;
    std::unique_ptr<Profile> built;
    EXPECT_EQ(writer.BuildProfile(&kRequest, &scriptBitrate, 64, videos.data(), &built), E_INVALIDARG);
    EXPECT_EQ(writer.BuildProfile(&kRequest, &scriptBitrate, 1, nullptr, &built), E_INVALIDARG);
    EXPECT_EQ(writer.BuildProfile(nullptr, &scriptBitrate, 1, videos.data(), &built), E_INVALIDARG);
    EXPECT_EQ(writer.BuildProfile(&kRequest, &scriptBitrate, 1, videos.data(), nullptr), E_INVALIDARG);
    EXPECT_EQ(built, nullptr);

    ASSERT_EQ(writer.BuildProfile(&kRequest, &scriptBitrate, 63, videos.data(), &built), S_OK);
    ASSERT_EQ(built->Streams().size(), 65u);
    EXPECT_EQ(built->Streams().back().StreamNumber(), 65);
    EXPECT_EQ(built->Streams().back().Bitrate(), 10000u);
    ASSERT_EQ(built->MutualExclusions().size(), 1u);
    EXPECT_EQ(built->MutualExclusions()[0].streams.size(), 63u);
    EXPECT_EQ(built->MutualExclusions()[0].type, kClsidMutexBitrate);

    ASSERT_EQ(writer.BuildProfile(&kRequest, &scriptBitrate, 1, videos.data(), &built), S_OK);
    EXPECT_EQ(built->Name(), u"Custom Profile");
    ASSERT_EQ(built->Streams().size(), 3u);
    EXPECT_EQ(built->Streams()[2].StreamNumber(), 3);
    EXPECT_EQ(built->Streams()[2].StreamName(), u"Script Stream");
    EXPECT_TRUE(built->MutualExclusions().empty());
    EXPECT_EQ(writer.BuildProfile(&kRequest, nullptr, 1, videos.data(), &built), S_OK);
    EXPECT_EQ(built->Streams().size(), 2u);  // no script stream asked for
}

TEST(MediaWriterScript, CommandsSplitAtTheFirstCommaOnly) {
    const auto text = [](const std::vector<uint8_t>& sample) {
        std::u16string units;
        for (std::size_t i = 0; i + 1 < sample.size(); i += 2)
            units.push_back(static_cast<char16_t>(sample[i] | (sample[i + 1] << 8)));
        return units;
    };
    const std::vector<uint8_t> pages = MediaWriter::ScriptSample("pages,(3,5)");
    EXPECT_EQ(pages.size(), 24u);
    EXPECT_EQ(text(pages), std::u16string(u"pages\0(3,5)\0", 12));
    EXPECT_EQ(text(MediaWriter::ScriptSample("dpaths,5,3,10,20,11,21")), std::u16string(u"dpaths\0"
                                                                                        u"5,3,10,20,11,21\0",
                                                                                        23));
    EXPECT_EQ(text(MediaWriter::ScriptSample("nocomma")), std::u16string(u"nocomma\0", 8));
    EXPECT_EQ(text(MediaWriter::ScriptSample(",lead")), std::u16string(u",lead\0", 6));
    EXPECT_EQ(MediaWriter::ScriptSample("").size(), 2u);
}

TEST(MediaWriterLifecycle, RefusesWritesWhenNotWritingAndStartWithoutPath) {
    MediaWriter writer;
    int managersMade = 0;
    writer.SetFactories(
        [&](std::unique_ptr<ProfileManager>& out) {
            ++managersMade;
            return ProfileManager::Create(out);
        },
        &Writer::Create);
    BitmapInfoHeader header{40, 320, 240, 1, 24, 0, 230400};
    EXPECT_FALSE(writer.Start(std::nullopt, header, 15, 80000, nullptr));
    EXPECT_EQ(managersMade, 0);  // refused before anything is asked of the platform
    EXPECT_FALSE(writer.WriteScript(250, "pages,(1,0)"));
    EXPECT_FALSE(writer.WriteAudio(250, nullptr, 0));
    std::vector<uint8_t> frame(230400);
    EXPECT_FALSE(writer.WriteVideo(0, frame.data(), 230400));
    writer.Close();
    writer.Close();
    EXPECT_FALSE(writer.WriteScript(250, "pages,(1,0)"));
}

}  // namespace
}  // namespace tovra
