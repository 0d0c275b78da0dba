// AudioCapture with the test run's virtual microphone: a 440 Hz tone on a null sink's monitor.
#include "media/audio_capture.h"

#include <cstring>
#include <gtest/gtest.h>

#include <QApplication>
#include <chrono>
#include <cstdlib>
#include <vector>

#include "platform/framework/message_box.h"
#include "tests/support/qt_test_application.h"

namespace tovra {
namespace {

using testing_support::WaitUntil;
using namespace wavein;

// Handles announced buffers as the recording does: take the data, then queue the buffer again.
class Owner : public QObject {
public:
    AudioCapture capture;  // closed before the owner goes, as the view's member is
    bool event(QEvent* e) override {
        if (e->type() != WaveInDataEvent::EventType()) return QObject::event(e);
        auto* header = static_cast<WaveInDataEvent*>(e)->header;
        Buffer b;
        b.arrivalMs =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
        b.bytes = header->dwBytesRecorded;
        if (char* data = capture.TakeBuffer(header)) b.data.assign(data, data + header->dwBytesRecorded);
        b.requeue = capture.RequeueBuffer(header);
        buffers.push_back(std::move(b));
        return true;
    }
    struct Buffer {
        double arrivalMs;
        uint32_t bytes;
        std::vector<char> data;  // empty when TakeBuffer gave none
        MMRESULT requeue;
    };
    std::vector<Buffer> buffers;
};

// Crossings of the 8-bit mid level: a 440 Hz tone crosses it 880 times a second.
int MidLevelCrossings(const std::vector<char>& data) {
    int crossings = 0;
    for (size_t i = 1; i < data.size(); ++i) {
        const bool a = static_cast<uint8_t>(data[i - 1]) >= 128, b = static_cast<uint8_t>(data[i]) >= 128;
        crossings += a != b;
    }
    return crossings;
}

// The same for 16-bit signed sound.
int ZeroCrossings16(const std::vector<char>& data) {
    int crossings = 0;
    int16_t previous = 0;
    for (size_t i = 0; i + 1 < data.size(); i += 2) {
        int16_t sample;
        std::memcpy(&sample, data.data() + i, 2);
        if (i > 0) crossings += (previous >= 0) != (sample >= 0);
        previous = sample;
    }
    return crossings;
}

TEST(AudioCapture, ThreeSecondsGiveFullBuffersEveryQuarterSecondHoldingTheTone) {
    Owner owner;
    AudioCapture& capture = owner.capture;
    ASSERT_TRUE(capture.Open(&owner, 2000));
    // A second open leaves the running device alone.
    EXPECT_FALSE(capture.Open(&owner, 2000));
    EXPECT_FALSE(AudioCapture().Open(nullptr, 2000));

    // Three seconds from the first buffer (a sound server may take a moment to start a stream).
    ASSERT_TRUE(WaitUntil([&] { return !owner.buffers.empty(); }, 3000));
    WaitUntil([] { return false; }, 3000);
    const size_t received = owner.buffers.size();
    ASSERT_GE(received, 12u);
    ASSERT_LE(received, 14u);
    for (const auto& b : owner.buffers) {
        EXPECT_EQ(b.bytes, 2000u);
        ASSERT_EQ(b.data.size(), 2000u);
        EXPECT_EQ(b.requeue, MMSYSERR_NOERROR);
        const int crossings = MidLevelCrossings(b.data);
        EXPECT_GT(crossings, 200);
        EXPECT_LT(crossings, 240);
    }
    // Arrival spacing, averaged over the run: a quarter second each.
    const double spanMs = owner.buffers.back().arrivalMs - owner.buffers.front().arrivalMs;
    EXPECT_NEAR(spanMs / static_cast<double>(received - 1), 250.0, 25.0);

    capture.Close();
    EXPECT_FALSE(capture.IsOpen());
    // The reset handed the three queued buffers back; their messages find the capture closed.
    ASSERT_TRUE(WaitUntil([&] { return owner.buffers.size() >= received + 3; }, 1000));
    for (size_t i = received; i < owner.buffers.size(); ++i) {
        EXPECT_TRUE(owner.buffers[i].data.empty());
        EXPECT_EQ(owner.buffers[i].requeue, 0u);
    }
    capture.Close();  // closing twice is harmless
    // The capture opens again after a close.
    ASSERT_TRUE(capture.Open(&owner, 2000));
    capture.Close();
}

// The recording's way: 16-bit sound at the source's own rate (48 kHz), each
// buffer a quarter second delivered with its data and taken back by the capture; a delivery that
// closes the capture is the last.
TEST(AudioCapture, DeliversBuffersAndTakesThemBackUntilADeliveryCloses) {
    AudioCapture capture;
    std::vector<std::vector<char>> delivered;
    ASSERT_TRUE(capture.Open(250, [&](const uint8_t* data, uint32_t length) {
        delivered.emplace_back(data ? std::vector<char>(data, data + length) : std::vector<char>());
        if (delivered.size() == 6) capture.Close();
    }));
    EXPECT_EQ(capture.Format().samplesPerSec, 48000u);
    EXPECT_EQ(capture.Format().bitsPerSample, 16);
    EXPECT_EQ(capture.Format().channels, 1);
    EXPECT_FALSE(capture.Open(250, [](const uint8_t*, uint32_t) {}));
    // Six buffers need all three to go round twice: each was queued again after its delivery.
    ASSERT_TRUE(WaitUntil([&] { return delivered.size() >= 6; }, 5000));
    EXPECT_FALSE(capture.IsOpen());
    WaitUntil([] { return false; }, 600);
    EXPECT_EQ(delivered.size(), 6u);
    for (const auto& d : delivered) {
        ASSERT_EQ(d.size(), 24000u);
        EXPECT_GT(ZeroCrossings16(d), 200);
        EXPECT_LT(ZeroCrossings16(d), 240);
    }
    // And it opens again.
    int again = 0;
    ASSERT_TRUE(capture.Open(250, [&](const uint8_t* data, uint32_t) { again += data != nullptr; }));
    ASSERT_TRUE(WaitUntil([&] { return again >= 1; }, 3000));
    capture.Close();
}

TEST(AudioCapture, OpenWithoutSoundServerFailsQuietly) {
    framework::RecordingMessageService messages;
    framework::SetMessageService(&messages);
    const char* server = std::getenv("PULSE_SERVER");
    const std::string saved = server ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/tovra-no-server", 1);

    AudioCapture capture;
    QObject owner;
    EXPECT_FALSE(capture.Open(&owner, 2000));
    EXPECT_FALSE(capture.IsOpen());
    EXPECT_TRUE(messages.shown.isEmpty());  // the caller says what to do about it

    if (server)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
    framework::SetMessageService(nullptr);
}

}  // namespace
}  // namespace tovra
