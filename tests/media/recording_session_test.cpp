// The recording session on its own, with a sink that keeps what it is given: the clock the
// buffers drive through pauses, the ten-minute limit by buffers and by frames, the frame-count
// correction both ways, the commands' times, the index and marker files, and the tee's rule that
// only the recording's own file decides a failure.
#include <algorithm>
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "media/audio_source.h"
#include "media/recording_session.h"
#include "media/recording_sinks.h"
#include "tests/support/temp_dir.h"
#include "tests/support/shell_output.h"

namespace tovra {
namespace {

struct Written {
    char kind;  // 'a'udio, 'v'ideo, 's'cript
    uint32_t timeMs;
    std::string text;
};

class KeepingSink : public RecordingSink {
public:
    explicit KeepingSink(std::vector<Written>& log, bool* fail = nullptr) : log_(log), fail_(fail) {}
    bool WriteAudio(uint32_t t, const uint8_t*, uint32_t) override { return Keep('a', t, {}); }
    bool WriteVideo(uint32_t t, const uint8_t*, uint32_t) override { return Keep('v', t, {}); }
    bool WriteScript(uint32_t t, const std::string& c) override { return Keep('s', t, c); }
    bool Close() override { return !(fail_ && *fail_); }

private:
    bool Keep(char kind, uint32_t t, std::string text) {
        log_.push_back({kind, t, std::move(text)});
        return !(fail_ && *fail_);
    }
    std::vector<Written>& log_;
    bool* fail_;
};

class Session : public ::testing::Test {
protected:
    Session()
        : session({[this](uint32_t ms) { elapsed.push_back(ms); }, [this] { ++limits; }}) {}
    void Start() { session.Start(std::make_unique<KeepingSink>(log, &fail), 0); }
    // The outcome of the last buffer.
    RecordingSession::BufferOutcome Buffers(int n, RecordingSession::Moment moment = {1, 0, std::nullopt}) {
        const uint8_t sound[2000] = {};
        RecordingSession::BufferOutcome outcome;
        for (int i = 0; i < n; ++i) outcome = session.OnAudioBuffer(sound, sizeof sound, moment);
        return outcome;
    }
    std::vector<Written> Of(char kind) const {
        std::vector<Written> out;
        for (const Written& w : log) {
            if (w.kind == kind) out.push_back(w);
        }
        return out;
    }

    std::vector<Written> log;
    bool fail = false;
    std::vector<uint32_t> elapsed;
    int limits = 0;  // frames past the limit, said
    RecordingSession session;
    const uint8_t frame[16] = {};
};

TEST_F(Session, TheClockAdvancesByBuffersAndAPauseLeavesNoGap) {
    Start();
    Buffers(4);
    session.Pause();
    Buffers(10);  // buffers of a pause are not recorded
    session.Resume();
    Buffers(2);
    const std::vector<Written> audio = Of('a');
    ASSERT_EQ(audio.size(), 6u);
    for (size_t i = 0; i < audio.size(); ++i) EXPECT_EQ(audio[i].timeMs, 250 * (i + 1));
    EXPECT_EQ(session.ClockMs(), 1500u);
    EXPECT_EQ(elapsed, (std::vector<uint32_t>{250, 750, 1250}));
    EXPECT_FALSE(Buffers(0).pagesWritten);
    // The page on show is written at the first odd buffer, and again only when it changes.
    EXPECT_TRUE(Buffers(1, {3, 120, std::nullopt}).pagesWritten);   // 1750 ms
    EXPECT_FALSE(Buffers(1, {3, 120, std::nullopt}).pagesWritten);  // 2000 ms: every other buffer only
    EXPECT_FALSE(Buffers(1, {3, 99, std::nullopt}).pagesWritten);   // 2250 ms: the step the view keeps then
    const std::vector<Written> scripts = Of('s');
    ASSERT_EQ(scripts.size(), 2u);
    EXPECT_EQ(scripts[0].timeMs, 250u);
    EXPECT_EQ(scripts[0].text, "pages,(1,0)");
    EXPECT_EQ(scripts[1].timeMs, 1750u);
    EXPECT_EQ(scripts[1].text, "pages,(3,99)");  // the step kept to two digits
    // A turn to another page and back within the half second: step 0 again is no change.
    session.ForgetLoggedStep();
    Buffers(1, {3, 0, std::nullopt});  // 2500
    EXPECT_FALSE(Buffers(1, {3, 0, std::nullopt}).pagesWritten);  // 2750
    EXPECT_EQ(Of('s').size(), 2u);
    EXPECT_TRUE(session.Stop());
    EXPECT_EQ(session.State(), SessionState::Stopped);
    EXPECT_FALSE(session.OnVideoFrame(frame, sizeof frame));
}

TEST_F(Session, PointerAndStrokesAreWrittenJustAfterTheClock) {
    Start();
    Buffers(1, {1, 0, SessionPoint{10, 20}});
    Buffers(1, {1, 0, SessionPoint{10, 20}});  // unchanged: not again
    session.OnStroke("dpaths,5,0,\"'m1,2l3,4'>\"");
    Buffers(1, {1, 0, SessionPoint{11, 20}});
    std::vector<std::pair<uint32_t, std::string>> scripts;
    for (const Written& w : Of('s')) scripts.emplace_back(w.timeMs, w.text);
    EXPECT_EQ(scripts, (std::vector<std::pair<uint32_t, std::string>>{{250, "pages,(1,0)"},
                                                                        {252, "script,(10,20)"},
                                                                        {501, "dpaths,5,0,\"'m1,2l3,4'>\""},
                                                                        {752, "script,(11,20)"}}));
}

TEST_F(Session, TenMinutesEndByTheBufferPastTheLimitOrTheFramePastIt) {
    Start();
    EXPECT_FALSE(Buffers(2400).pastLimit);  // 600 000 ms
    EXPECT_TRUE(Buffers(1).pastLimit);       // ends at 600 250 > 600 023: not written
    EXPECT_EQ(Of('a').size(), 2400u);
    EXPECT_EQ(Of('a').back().timeMs, 600000u);

    // By frames: frame n is at n * 1000 / 15 ms; 9000 frames reach 600 000, frame 9001 is past it.
    log.clear();
    limits = 0;
    Start();
    for (int i = 0; i < 9001; ++i) ASSERT_TRUE(session.OnVideoFrame(frame, sizeof frame)) << i;
    EXPECT_EQ(Of('v').back().timeMs, 600000u);
    EXPECT_FALSE(session.OnVideoFrame(frame, sizeof frame));  // 600 067 > 600 021
    EXPECT_EQ(limits, 1);
}

TEST_F(Session, FrameTimesFollowTheSoundWhenTheCameraDriftsMoreThanTenFrames) {
    // Behind: no frames while the sound runs. At 500 ms eight are expected (within ten); at
    // 750 ms eleven, and the count jumps there.
    Start();
    Buffers(2);
    EXPECT_EQ(session.FrameCount(), 0u);
    Buffers(1);
    EXPECT_EQ(session.FrameCount(), 11u);
    ASSERT_TRUE(session.OnVideoFrame(frame, sizeof frame));
    EXPECT_EQ(Of('v').back().timeMs, 733u);  // frame 11 at 11 000 / 15 ms

    // Ahead by exactly ten at 250 ms (four expected): kept.
    Start();
    for (int i = 0; i < 14; ++i) session.OnVideoFrame(frame, sizeof frame);
    Buffers(1);
    EXPECT_EQ(session.FrameCount(), 14u);
    // Ahead by eleven: brought back to the sound's clock.
    Start();
    for (int i = 0; i < 15; ++i) session.OnVideoFrame(frame, sizeof frame);
    Buffers(1);
    EXPECT_EQ(session.FrameCount(), 4u);
}

TEST_F(Session, OnlyTheRecordingsOwnFileDecidesAFailure) {
    std::vector<Written> primary, companion;
    bool primaryFails = false, companionFails = true;
    TeeSink tee(std::make_unique<KeepingSink>(primary, &primaryFails), std::make_unique<KeepingSink>(companion, &companionFails));
    EXPECT_TRUE(tee.WriteAudio(250, frame, sizeof frame));
    EXPECT_TRUE(tee.WriteScript(250, "pages,(1,0)"));
    EXPECT_EQ(primary.size(), 2u);
    EXPECT_EQ(companion.size(), 2u);  // the companion gets every sample, failing or not
    EXPECT_FALSE(tee.Close());        // but a companion not finished is said at the close
    primaryFails = true;
    EXPECT_FALSE(tee.WriteVideo(0, frame, sizeof frame));

    // In a session: a failed write of the recording's sound or pictures says WriteFail.
    Start();
    EXPECT_EQ(Buffers(1).failure, nullptr);
    fail = true;
    ASSERT_NE(Buffers(1).failure, nullptr);
    EXPECT_STREQ(Buffers(1).failure, "WriteFail");
    fail = false;
    Start();
    fail = true;
    session.OnVideoFrame(frame, sizeof frame);
    fail = false;
    EXPECT_STREQ(Buffers(1).failure, "WriteFail");
}


std::string ReadAll(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return "(none)";
    std::string text;
    char chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof chunk, file)) > 0;) text.append(chunk, n);
    std::fclose(file);
    return text;
}

// The index reads whole at every moment: head, the pages so far, end. The marker stays until
// every file is finished; a file left unfinished keeps it for the next opening.
TEST_F(Session, TheIndexIsWholeAfterEachPageAndTheMarkerGoesOnlyWhenAllIsFinished) {
    testing::TempDir dir;
    const std::string index = dir / "CourseIndex.js";
    ASSERT_TRUE(session.OpenFiles(dir.path(), index, "head;", "end;"));
    EXPECT_TRUE(RecordingWasInterrupted(dir.path()));
    EXPECT_EQ(ReadAll(index), "head;end;");
    Start();
    session.AddIndexLine("p2;");
    session.AddIndexLine("p3;");
    EXPECT_EQ(ReadAll(index), "head;p2;p3;end;");
    EXPECT_TRUE(session.Stop());
    EXPECT_FALSE(RecordingWasInterrupted(dir.path()));
    session.AddIndexLine("late;");  // stopped: the index is finished
    EXPECT_EQ(ReadAll(index), "head;p2;p3;end;");

    // The sink cannot be finished (a full disk): the marker stays.
    ASSERT_TRUE(session.OpenFiles(dir.path(), index, "again;", "end;"));
    Start();
    fail = true;
    EXPECT_FALSE(session.Stop());
    EXPECT_TRUE(RecordingWasInterrupted(dir.path()));
    EXPECT_EQ(ReadAll(index), "again;end;");

    // An index that cannot be written says so before anything starts.
    EXPECT_FALSE(session.OpenFiles(dir.path(), dir / "missing/CourseIndex.js", "head;", "end;"));
}

// ---- with the real writers: the .wmv and its companion ----

using testing_support::Shell;

double Duration(const std::string& file) {
    const std::string out = Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + file + "'");
    return out.empty() ? -1 : std::atof(out.c_str());
}

class SessionOnFiles : public ::testing::Test {
protected:
    bool Start(const std::string& folder) {
        wmv = folder + "/video001.wmv";
        const wmf::WaveFormatEx sound = RecordingSoundFormat();
        if (!writer.Start(wmv, RecordingPictureFormat(), 15, 200000, &sound)) return false;
        companion.Start(folder + "/video001.webm", folder + "/video001.js", RecordingPictureFormat(), 15, &sound);
        session.Start(std::make_unique<TeeSink>(std::make_unique<MediaWriterSink>(writer),
                                                std::make_unique<CompanionSink>(companion)),
                      0);
        return true;
    }
    // One buffer of a 440 Hz tone, and the camera's frames up to the sound's clock; the outcome.
    RecordingSession::BufferOutcome Buffer(int page, bool camera = true) {
        std::vector<uint8_t> sound(2000);
        for (size_t i = 0; i < sound.size(); ++i) {
            sound[i] = static_cast<uint8_t>(128 + 60 * std::sin(2 * M_PI * 440 * double(sample++) / 8000));
        }
        const RecordingSession::BufferOutcome outcome = session.OnAudioBuffer(sound.data(), 2000, {page, 0, SessionPoint{page * 10, 5}});
        while (camera && session.State() == SessionState::Recording && session.FrameCount() * 1000 / 15 < session.ClockMs()) {
            std::fill(frame.begin(), frame.end(), static_cast<uint8_t>(session.FrameCount() * 3));
            if (!session.OnVideoFrame(frame.data(), static_cast<uint32_t>(frame.size()))) break;
        }
        return outcome;
    }

    testing::TempDir dir;
    MediaWriter writer;
    CompanionWriter companion;
    RecordingSession session{{}};
    std::string wmv;
    std::vector<uint8_t> frame = std::vector<uint8_t>(320 * 240 * 3);
    long sample = 0;
};

// Twenty seconds with a pause in the middle: both files play twenty seconds, with no gap, and
// carry the page turns at their times.
TEST_F(SessionOnFiles, BothFilesHoldTheRecordingWithoutThePause) {
    ASSERT_TRUE(Start(dir.path()));
    for (int i = 0; i < 40; ++i) Buffer(1);
    session.Pause();
    for (int i = 0; i < 20; ++i) session.OnAudioBuffer(frame.data(), 2000, {2, 0, std::nullopt});
    EXPECT_FALSE(session.OnVideoFrame(frame.data(), static_cast<uint32_t>(frame.size())));
    session.Resume();
    for (int i = 0; i < 40; ++i) Buffer(2);
    EXPECT_EQ(session.ClockMs(), 20000u);
    EXPECT_EQ(session.FrameCount(), 300u);
    ASSERT_TRUE(session.Stop());

    const std::string webm = dir / "video001.webm";
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + wmv + "' -f null - 2>&1"), "");
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + webm + "' -f null - 2>&1"), "");
    // Twenty seconds, not thirty: the pause left no gap. (The .wmv's header reads about half a
    // second longer, as in the editor's recordings.)
    EXPECT_NEAR(Duration(wmv), 20.0, 1.0);
    EXPECT_NEAR(Duration(webm), 20.0, 0.3);
    const std::string timeline = testing::ReadBytes(dir / "video001.js");
    EXPECT_NE(timeline.find("[250,\"pages\",\"(1,0)\"]"), std::string::npos) << timeline;
    EXPECT_NE(timeline.find("[10250,\"pages\",\"(2,0)\"]"), std::string::npos) << timeline;
    EXPECT_NE(timeline.find("[252,\"script\",\"(10,5)\"]"), std::string::npos) << timeline;
}

// A camera that stops giving pictures for five seconds and then comes back: the sound goes on
// without a failure, the frame count keeps up with the sound's clock meanwhile, and the pictures
// resume at the sound's time, not where they stopped.
TEST_F(SessionOnFiles, ACameraThatStopsLeavesTheSoundGoingAndPicturesResumeOnTime) {
    ASSERT_TRUE(Start(dir.path()));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Buffer(1).failure, nullptr);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Buffer(1, false).failure, nullptr);
    EXPECT_NEAR(session.FrameCount(), 150.0, 10.0);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(Buffer(1).failure, nullptr);
    EXPECT_EQ(session.ClockMs(), 15000u);
    EXPECT_NEAR(session.FrameCount(), 225.0, 1.0);
    ASSERT_TRUE(session.Stop());

    const std::string webm = dir / "video001.webm";
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + wmv + "' -f null - 2>&1"), "");
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + webm + "' -f null - 2>&1"), "");
    EXPECT_NEAR(Duration(webm), 15.0, 0.3);
    // The companion's pictures: none between five and ten seconds, and the last near fifteen.
    const std::string times = Shell("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 '" + webm + "'");
    std::vector<double> pts;
    for (size_t at = 0; at < times.size();) {
        const size_t end = times.find('\n', at);
        pts.push_back(std::atof(times.substr(at, end - at).c_str()));
        at = end == std::string::npos ? times.size() : end + 1;
    }
    ASSERT_GT(pts.size(), 100u);
    std::sort(pts.begin(), pts.end());
    size_t gap = 1;
    for (size_t i = 1; i < pts.size(); ++i) {
        if (pts[i] - pts[i - 1] > pts[gap] - pts[gap - 1]) gap = i;
    }
    EXPECT_NEAR(pts[gap - 1], 5.0 - 1.0 / 15, 0.05);  // the last picture before
    EXPECT_NEAR(pts[gap], 10.25, 1.0 / 15 + 0.01);     // the first after, at the buffer it came in
    EXPECT_NEAR(pts.back(), 15.0 - 1.0 / 15, 0.1);
}

// A disk that fills: the session says so at the buffer that could not be written, the stop is
// clean, and what was written before plays.
TEST_F(SessionOnFiles, AFullDiskSaysWriteFailAndKeepsAPlayableFile) {
    const std::string disk = dir / "small";
    std::filesystem::create_directories(disk);
    if (::mount("tovra-test", disk.c_str(), "tmpfs", 0, "size=600k") != 0) {
        GTEST_SKIP() << "a small disk cannot be mounted here (" << std::strerror(errno) << ")";
    }
    struct Unmount {
        std::string path;
        ~Unmount() { ::umount2(path.c_str(), MNT_DETACH); }
    } unmount{disk};
    ASSERT_TRUE(Start(disk));
    const char* failure = nullptr;
    int buffers = 0;
    while (!failure && buffers < 2400) {
        failure = Buffer(1).failure;
        ++buffers;
    }
    ASSERT_NE(failure, nullptr) << "600 kB held " << buffers << " buffers";
    EXPECT_STREQ(failure, "WriteFail");
    EXPECT_GT(buffers, 4);
    session.Stop();
    EXPECT_EQ(session.State(), SessionState::Stopped);
    const std::string decoded = Shell("ffprobe -v error -count_packets -show_entries stream=nb_read_packets -of csv=p=0 '" + wmv + "' 2>/dev/null");
    EXPECT_FALSE(decoded.empty()) << "the .wmv reads";
}

}  // namespace
}  // namespace tovra
