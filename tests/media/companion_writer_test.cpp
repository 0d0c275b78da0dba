// The recording's companion: a WebM file that browsers play, with the same time line, and the
// script commands as a timeline script.
#include "media/companion_writer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <functional>
#include <cstdio>
#include <sstream>

#include "tests/support/temp_dir.h"
#include "tests/support/shell_output.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;

using testing_support::Shell;

const std::string kSpaceComment =
    "// Where the positions lie: \"slide\", 720 x 540 slide points; \"view\", the view's pixels, the view\r\n"
    "// being [width, height] from [time in ms, ...] on.\r\n";

TEST(TimelineScript, CommandsInOrderWithTextsEscaped) {
    const std::string script = FormatTimelineScript({{250, "pages", "(1,0)"},
                                                     {252, "script", "(300,220)"},
                                                     {4000, "dpaths", "9,0,10,10,20,20"},
                                                     {4100, "note", "a\"b\\</script>\xB5\xDA"}});
    EXPECT_EQ(script,
              "// The recording's script commands: [time in ms, type, parameter], in order.\r\n"
              "var tovraTimeline = [\r\n"
              "[250,\"pages\",\"(1,0)\"],\r\n"
              "[252,\"script\",\"(300,220)\"],\r\n"
              "[4000,\"dpaths\",\"9,0,10,10,20,20\"],\r\n"
              "[4100,\"note\",\"a\\u0022b\\u005c\\u003c/script\\u003e\\u7b2c\"]\r\n"
              "];\r\n" +
                  kSpaceComment + "var tovraSpace = {kind: \"view\", sizes: []};\r\n");
    EXPECT_EQ(FormatTimelineScript({}, PositionSpace::Slide),
              "// The recording's script commands: [time in ms, type, parameter], in order.\r\n"
              "var tovraTimeline = [\r\n];\r\n" +
                  kSpaceComment + "var tovraSpace = {kind: \"slide\", width: 720, height: 540};\r\n");
}

// The view's sizes a blank course's player places positions by: a drag's many sizes at one moment
// leave the last, and a size that does not change adds nothing.
TEST(TimelineScript, ViewSizesInTime) {
    TempDir dir;
    wmf::BitmapInfoHeader picture;
    picture.width = 320;
    picture.height = 240;
    picture.bitCount = 24;
    CompanionWriter writer;
    ASSERT_TRUE(writer.Start(dir / "v.webm", dir / "v.js", picture, 15, nullptr));
    writer.SetPositionSpace(PositionSpace::View);
    writer.SetViewSize(0, 800, 600);
    writer.SetViewSize(0, 0, 600);  // a view folded away tells nothing
    writer.SetViewSize(1500, 900, 600);
    writer.SetViewSize(1500, 1000, 700);
    writer.SetViewSize(2000, 1000, 700);
    writer.SetViewSize(2500, 800, 600);
    ASSERT_TRUE(writer.Close());
    const std::string script = ReadBytes(dir / "v.js");
    EXPECT_NE(script.find("var tovraSpace = {kind: \"view\", sizes: [[0,800,600], [1500,1000,700], [2500,800,600]]};\r\n"),
              std::string::npos)
        << script;
}

// Sound and pictures as a recording delivers them, from the buffer after fromMs up to toMs:
// 2000-byte buffers of 8 kHz U8 sound every 250 ms, 320 × 240 bottom-up pictures 15 times a
// second (top red, bottom blue), and the commands of commandAt in between.
void Feed(CompanionWriter& writer, uint64_t fromMs, uint64_t toMs, uint32_t& frames,
          const std::function<void(uint64_t clock)>& commandAt = {}) {
    std::vector<uint8_t> frame(320 * 240 * 3);
    std::vector<uint8_t> tone(2000);
    for (uint64_t clock = fromMs + 250; clock <= toMs; clock += 250) {
        for (size_t i = 0; i < tone.size(); ++i) {
            tone[i] = static_cast<uint8_t>(128 + 100 * std::sin(2 * M_PI * 440 * (clock * 8 + i) / 8000.0));
        }
        ASSERT_TRUE(writer.WriteAudio(clock, tone.data(), static_cast<uint32_t>(tone.size())));
        while (frames * 1000 / 15 < clock) {
            // Bottom-up rows: the first rows in memory are the bottom of the picture (blue there).
            for (int y = 0; y < 240; ++y) {
                for (int x = 0; x < 320; ++x) {
                    uint8_t* p = &frame[(static_cast<size_t>(y) * 320 + x) * 3];
                    p[0] = y < 120 ? 255 : 0;  // B
                    p[1] = static_cast<uint8_t>(frames * 8);
                    p[2] = y < 120 ? 0 : 255;  // R
                }
            }
            ASSERT_TRUE(writer.WriteVideo(frames * 1000 / 15, frame.data(), static_cast<uint32_t>(frame.size())));
            ++frames;
        }
        if (commandAt) commandAt(clock);
    }
}

// Three seconds of a recording.
TEST(CompanionWriter, BrowsersPlayTheSameTimeLine) {
    TempDir dir;
    const std::string webm = dir / "video001.webm";
    const std::string timeline = dir / "video001.js";
    wmf::BitmapInfoHeader picture;
    picture.width = 320;
    picture.height = 240;
    picture.bitCount = 24;
    wmf::WaveFormatEx sound{1, 1, 8000, 8000, 1, 8, {}};
    CompanionWriter writer;
    ASSERT_TRUE(writer.Start(webm, timeline, picture, 15, &sound));
    EXPECT_TRUE(writer.IsWriting());

    uint32_t frames = 0;
    Feed(writer, 0, 3000, frames, [&](uint64_t clock) {
        if (clock == 1250) writer.WriteScript(clock, "pages,(2,0)");
        if (clock == 1750) writer.WriteScript(clock + 2, "script,(100,50)");
    });
    ASSERT_TRUE(writer.Close());
    EXPECT_FALSE(writer.IsWriting());

    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name,width,height,sample_rate -of csv=p=0 " + webm),
              "vp8,320,240\nopus,48000\n");
    const double duration = std::stod(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + webm));
    EXPECT_NEAR(duration, 3.25, 0.1);  // the first buffer stands at 250 ms; 12 buffers of 250 ms follow on
    // The sound starts at the first buffer's time (less the encoder's few milliseconds of look-ahead,
    // which players skip) and ends with the last buffer, at whatever rate it was encoded.
    std::istringstream soundPackets(
        Shell("ffprobe -v error -select_streams a -show_entries packet=pts_time,duration_time -of csv=p=0 " + webm));
    std::vector<std::pair<double, double>> packets;  // time, duration
    for (std::string line; std::getline(soundPackets, line);) {
        const std::size_t comma = line.find(',');
        if (comma != std::string::npos)
            packets.emplace_back(std::atof(line.c_str()), std::atof(line.c_str() + comma + 1));
    }
    ASSERT_GT(packets.size(), 100u);
    EXPECT_NEAR(packets.front().first, 0.25, 0.01);
    EXPECT_NEAR(packets.back().first + packets.back().second, 3.25, 0.03);
    EXPECT_EQ(Shell("ffmpeg -v error -i " + webm + " -f null - 2>&1"), "");
    // The top of the picture is red, its bottom blue: rows were turned the right way up.
    const std::string pixels = Shell("ffmpeg -v error -i " + webm +
                                     " -frames:v 1 -vf 'crop=2:2:160:10,format=rgb24' -f rawvideo - ; ffmpeg -v error -i " +
                                     webm + " -frames:v 1 -vf 'crop=2:2:160:228,format=rgb24' -f rawvideo -");
    ASSERT_EQ(pixels.size(), 24u);  // two 2 × 2 RGB crops
    EXPECT_GT(static_cast<uint8_t>(pixels[0]), 200);  // top: red
    EXPECT_LT(static_cast<uint8_t>(pixels[2]), 60);
    EXPECT_LT(static_cast<uint8_t>(pixels[12]), 60);  // bottom: blue
    EXPECT_GT(static_cast<uint8_t>(pixels[14]), 200);
    EXPECT_EQ(ReadBytes(timeline), FormatTimelineScript({{1250, "pages", "(2,0)"}, {1752, "script", "(100,50)"}}));
}

// A recording cut short (the program killed, the disk full) leaves a WebM that plays, and a
// timeline that reads as a script, up to its last second.
TEST(CompanionWriter, ACompanionCutShortPlaysUpToItsLastSecond) {
    TempDir dir;
    wmf::BitmapInfoHeader picture;
    picture.width = 320;
    picture.height = 240;
    picture.bitCount = 24;
    wmf::WaveFormatEx sound{1, 1, 8000, 8000, 1, 8, {}};
    CompanionWriter writer;
    ASSERT_TRUE(writer.Start(dir / "v.webm", dir / "v.js", picture, 15, &sound));
    EXPECT_EQ(ReadBytes(dir / "v.js"), FormatTimelineScript({}));  // there from the start
    uint32_t frames = 0;
    Feed(writer, 0, 6000, frames, [&](uint64_t clock) {
        if (clock % 1000 == 500) writer.WriteScript(clock, "pages,(" + std::to_string(clock / 1000 + 1) + ",0)");
    });
    // What is on disk now, as a kill would leave it.
    std::filesystem::copy_file(dir / "v.webm", dir / "cut.webm");
    const std::string cutTimeline = ReadBytes(dir / "v.js");
    std::istringstream times(
        Shell("ffprobe -v error -show_entries packet=pts_time -of csv=p=0 " + dir / "cut.webm" + " 2>/dev/null"));
    double last = 0;
    for (std::string line; std::getline(times, line);) last = std::max(last, std::atof(line.c_str()));
    EXPECT_GT(last, 6.0 - 1.2) << "the WebM on disk lags by more than a second";
    EXPECT_EQ(Shell("ffmpeg -v error -i " + dir / "cut.webm" + " -f null - 2>&1 | grep -v 'File ended prematurely'"), "");
    // The timeline is a whole script with the commands up to the last second.
    EXPECT_EQ(cutTimeline.substr(cutTimeline.size() - 2), "\r\n");
    EXPECT_NE(cutTimeline.find("[5500,\"pages\",\"(6,0)\"]"), std::string::npos) << cutTimeline;
    EXPECT_NE(cutTimeline.find("var tovraSpace"), std::string::npos);
    ASSERT_TRUE(writer.Close());
}

TEST(CompanionWriter, RefusesWhatItCannotEncodeAndANewStartEndsTheOldFile) {
    TempDir dir;
    wmf::BitmapInfoHeader picture;
    picture.width = 320;
    picture.height = 240;
    picture.bitCount = 32;
    CompanionWriter writer;
    EXPECT_FALSE(writer.Start(dir / "a.webm", dir / "a.js", picture, 15, nullptr));
    picture.bitCount = 24;
    wmf::WaveFormatEx stereo{1, 2, 8000, 16000, 2, 8, {}};
    EXPECT_FALSE(writer.Start(dir / "a.webm", dir / "a.js", picture, 15, &stereo));
    EXPECT_FALSE(writer.Start(dir / "missing/a.webm", dir / "a.js", picture, 15, nullptr));
    EXPECT_FALSE(writer.WriteVideo(0, nullptr, 0));

    ASSERT_TRUE(writer.Start(dir / "b.webm", dir / "b.js", picture, 15, nullptr));
    std::vector<uint8_t> frame(320 * 240 * 3, 90);
    EXPECT_FALSE(writer.WriteVideo(0, frame.data(), 100));  // short frame
    EXPECT_TRUE(writer.WriteVideo(0, frame.data(), static_cast<uint32_t>(frame.size())));
    EXPECT_FALSE(writer.WriteAudio(0, frame.data(), 100));  // started without sound
    ASSERT_TRUE(writer.Start(dir / "c.webm", dir / "c.js", picture, 15, nullptr));
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 " + dir / "b.webm"), "vp8\n");
    EXPECT_EQ(ReadBytes(dir / "b.js"), FormatTimelineScript({}));
}

}  // namespace
}  // namespace tovra
