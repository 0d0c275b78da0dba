// Finishing a recording that was cut short: the media file, the browser copy and the timeline
// as a kill leaves them, finished at the next opening.
#include "media/recording_recovery.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <filesystem>

#include "media/media_writer.h"
#include "tests/support/temp_dir.h"
#include "tests/support/shell_output.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
namespace fs = std::filesystem;

using testing_support::Shell;

double Duration(const std::string& path) {
    return std::atof(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'").c_str());
}

// Six seconds into both writers as the recording feeds them, with a page command every second
// and a pointer command every half second; the files are copied while both are still open.
class RecordingRecovery : public ::testing::Test {
protected:
    void Record(uint32_t seconds, const std::string& cutInto) {
        const std::string web = dir / "web";
        fs::create_directories(web);
        wmf::BitmapInfoHeader picture{40, 320, 240, 1, 24, 0, 320 * 240 * 3};
        wmf::WaveFormatEx sound{1, 1, 8000, 8000, 1, 8, {}};
        MediaWriter media;
        CompanionWriter companion;
        ASSERT_TRUE(media.Start(web + "/video001.wmv", picture, 15, 80000, &sound));
        ASSERT_TRUE(companion.Start(web + "/video001.webm", web + "/video001.js", picture, 15, &sound));
        companion.SetPositionSpace(PositionSpace::View);
        companion.SetViewSize(0, 1000, 700);
        std::vector<uint8_t> frame(320 * 240 * 3, 0), tone(2000);
        uint32_t frames = 0;
        for (uint32_t clock = 250; clock <= seconds * 1000; clock += 250) {
            for (size_t i = 0; i < tone.size(); ++i) tone[i] = uint8_t(128 + 90 * std::sin((clock * 8 + i) * 0.3));
            ASSERT_TRUE(media.WriteAudio(clock, tone.data(), 2000));
            companion.WriteAudio(clock, tone.data(), 2000);
            for (; frames * 1000 / 15 < clock; ++frames) {
                std::fill(frame.begin(), frame.end(), uint8_t(frames * 3));
                ASSERT_TRUE(media.WriteVideo(frames * 1000 / 15, frame.data(), uint32_t(frame.size())));
                companion.WriteVideo(frames * 1000 / 15, frame.data(), uint32_t(frame.size()));
            }
            const std::string command = clock % 1000 == 0 ? "pages,(" + std::to_string(clock / 1000) + ",0)"
                                                          : "script,(" + std::to_string(clock / 10) + ",5)";
            if (clock % 500 == 0) {
                ASSERT_TRUE(media.WriteScript(clock, command));
                companion.WriteScript(clock, command);
            }
        }
        fs::create_directories(cutInto);
        for (const char* name : {"video001.wmv", "video001.webm", "video001.js"}) {
            fs::copy_file(web + "/" + name, cutInto + "/" + name);
        }
        ASSERT_TRUE(WriteRecordingMarker(cutInto));
        media.Close();
        companion.Close();
    }
    TempDir dir;
};

TEST_F(RecordingRecovery, ACutRecordingIsFinishedWithEveryCommandAndItsSpace) {
    const std::string cut = dir / "cut";
    Record(6, cut);
    ASSERT_TRUE(RecordingWasInterrupted(cut));
    const std::string before = ReadBytes(cut + "/video001.js");
    const RecoveredRecording recovered = RecoverRecording(cut, PositionSpace::Slide, {0, 1, 1});
    EXPECT_TRUE(recovered.media);
    EXPECT_TRUE(recovered.companion);
    EXPECT_TRUE(recovered.timeline);
    EXPECT_FALSE(RecordingWasInterrupted(cut));  // finished: nothing left to do at the next opening
    EXPECT_GT(recovered.durationMs, 4800u);
    EXPECT_LE(recovered.durationMs, 6300u);
    EXPECT_NEAR(Duration(cut + "/video001.wmv"), Duration(dir / "web/video001.wmv"), 1.0);
    EXPECT_NEAR(Duration(cut + "/video001.webm"), Duration(dir / "web/video001.webm"), 1.0);
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + cut + "/video001.webm' -f null - 2>&1"), "");
    // Cues and a duration in the finished browser copy: a browser can seek in it.
    EXPECT_NE(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + cut + "/video001.webm'"), "N/A\n");

    // Every command the media file holds, at its time; the view's sizes kept from the old timeline.
    const std::string timeline = ReadBytes(cut + "/video001.js");
    const std::vector<TimelineCommand> commands = ReadScriptCommands(cut + "/video001.wmv");
    ASSERT_GE(commands.size(), 9u);
    EXPECT_EQ(commands[0].timeMs, 500u);
    EXPECT_EQ(commands[0].type, "script");
    EXPECT_EQ(commands[1].type, "pages");
    EXPECT_EQ(commands[1].parameter, "(1,0)");
    EXPECT_EQ(timeline, FormatTimelineScript(commands, PositionSpace::View, {{0, 1000, 700}}));
    EXPECT_GE(timeline.size(), before.size());

    // The whole recording's commands, read the same way, are the companion's own timeline.
    const std::vector<TimelineCommand> all = ReadScriptCommands(dir / "web/video001.wmv");
    EXPECT_EQ(FormatTimelineScript(all, PositionSpace::View, {{0, 1000, 700}}), ReadBytes(dir / "web/video001.js"));
}

TEST_F(RecordingRecovery, WithoutATimelineTheGivenSpaceStandsIn) {
    const std::string cut = dir / "cut";
    Record(3, cut);
    fs::remove(cut + "/video001.js");
    fs::remove(cut + "/video001.webm");
    const RecoveredRecording recovered = RecoverRecording(cut, PositionSpace::Slide, {0, 1, 1});
    EXPECT_TRUE(recovered.media);
    EXPECT_FALSE(recovered.companion);
    const std::string timeline = ReadBytes(cut + "/video001.js");
    EXPECT_NE(timeline.find("var tovraSpace = {kind: \"slide\""), std::string::npos) << timeline;
    EXPECT_FALSE(RecordingWasInterrupted(cut));

    // Nothing that can be finished: the marker stays for a later try.
    const std::string empty = dir / "empty";
    fs::create_directories(empty);
    ASSERT_TRUE(WriteRecordingMarker(empty));
    EXPECT_FALSE(RecoverRecording(empty, PositionSpace::View, {0, 800, 600}).media);
    EXPECT_TRUE(RecordingWasInterrupted(empty));
}

TEST(TimelineSpace, ReadsWhatTheWriterWrote) {
    PositionSpace space = PositionSpace::Slide;
    std::vector<ViewSize> views;
    ASSERT_TRUE(ParseTimelineSpace(
        FormatTimelineScript({}, PositionSpace::View, {{0, 800, 600}, {1500, 1000, 700}}), space, views));
    EXPECT_EQ(space, PositionSpace::View);
    ASSERT_EQ(views.size(), 2u);
    EXPECT_EQ(views[1].timeMs, 1500u);
    EXPECT_EQ(views[1].height, 700);
    ASSERT_TRUE(ParseTimelineSpace(FormatTimelineScript({}, PositionSpace::Slide), space, views));
    EXPECT_EQ(space, PositionSpace::Slide);
    EXPECT_FALSE(ParseTimelineSpace("var tovraTimeline = [", space, views));
    EXPECT_FALSE(ParseTimelineSpace("var tovraSpace = {kind: \"view\", sizes: [[0,1", space, views));
}

}  // namespace
}  // namespace tovra
