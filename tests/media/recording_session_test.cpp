// The recording session on its own, with a sink that keeps what it is given: the clock the
// buffers drive through pauses, the ten-minute limit by buffers and by frames, the frame-count
// correction both ways, the commands' times, and the tee's rule that only the recording's own
// file decides a failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "media/recording_session.h"

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

}  // namespace
}  // namespace tovra
