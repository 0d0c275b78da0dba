// The wave-in layer against the test run's sound server (a null sink's monitor playing a tone).
#include "platform/wavein/wave_in.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <vector>

#include "tests/support/qt_test_application.h"

static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QCoreApplication>);

namespace tovra::wavein {
namespace {

using testing_support::WaitUntil;

WAVEFORMATEX Pcm8k() {
    WAVEFORMATEX f;
    f.wFormatTag = WAVE_FORMAT_PCM;
    f.nChannels = 1;
    f.nSamplesPerSec = 8000;
    f.nAvgBytesPerSec = 8000;
    f.nBlockAlign = 1;
    f.wBitsPerSample = 8;
    return f;
}

class Owner : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() != WaveInDataEvent::EventType()) return QObject::event(e);
        auto* data = static_cast<WaveInDataEvent*>(e);
        returned.push_back({data->header, data->header->dwBytesRecorded, data->header->dwFlags});
        return true;
    }
    struct Returned {
        WAVEHDR* header;
        uint32_t bytes;
        uint32_t flags;
    };
    std::vector<Returned> returned;
};

TEST(WaveIn, FillsQueuedBuffersInOrderDropsSoundWithoutOneAndResetHandsEveryBufferBack) {
    Owner owner;
    HWAVEIN device = nullptr;
    const WAVEFORMATEX format = Pcm8k();
    ASSERT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, &owner, 0, CALLBACK_WINDOW), MMSYSERR_NOERROR);

    std::vector<char> a(2000), b(2000), c(2000);
    WAVEHDR ha{a.data(), 2000}, hb{b.data(), 2000}, hc{c.data(), 2000};
    EXPECT_EQ(waveInAddBuffer(device, &ha, sizeof(WAVEHDR)), WAVERR_UNPREPARED);
    for (WAVEHDR* h : {&ha, &hb}) {
        ASSERT_EQ(waveInPrepareHeader(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
        ASSERT_EQ(waveInAddBuffer(device, h, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    }
    EXPECT_EQ(waveInUnprepareHeader(device, &ha, sizeof(WAVEHDR)), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInStart(device), MMSYSERR_NOERROR);

    ASSERT_TRUE(WaitUntil([&] { return owner.returned.size() == 2; }, 3000));
    EXPECT_EQ(owner.returned[0].header, &ha);
    EXPECT_EQ(owner.returned[1].header, &hb);
    for (const auto& r : owner.returned) {
        EXPECT_EQ(r.bytes, 2000u);
        EXPECT_TRUE(r.flags & WHDR_DONE);
        EXPECT_FALSE(r.flags & WHDR_INQUEUE);
    }

    // Nothing queued: the sound of this wait is dropped, nothing comes back.
    WaitUntil([] { return false; }, 600);
    EXPECT_EQ(owner.returned.size(), 2u);

    ASSERT_EQ(waveInPrepareHeader(device, &hc, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(device, &hc, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(waveInAddBuffer(device, &ha, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), WAVERR_STILLPLAYING);
    ASSERT_EQ(waveInReset(device), MMSYSERR_NOERROR);
    ASSERT_TRUE(WaitUntil([&] { return owner.returned.size() == 4; }, 1000));
    EXPECT_EQ(owner.returned[2].header, &hc);
    EXPECT_EQ(owner.returned[3].header, &ha);
    EXPECT_LT(owner.returned[3].bytes, 2000u);  // handed back before it filled
    EXPECT_EQ(waveInUnprepareHeader(device, &ha, sizeof(WAVEHDR)), MMSYSERR_NOERROR);
    EXPECT_EQ(waveInClose(device), MMSYSERR_NOERROR);
}

TEST(WaveIn, OpenRefusesBadFormatsAndFailsWithoutSoundServer) {
    Owner owner;
    HWAVEIN device = nullptr;
    WAVEFORMATEX format = Pcm8k();
    format.nBlockAlign = 2;  // does not match one 8-bit channel
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, &owner, 0, CALLBACK_WINDOW), WAVERR_BADFORMAT);
    format = Pcm8k();
    EXPECT_EQ(waveInOpen(&device, 3, &format, &owner, 0, CALLBACK_WINDOW), MMSYSERR_BADDEVICEID);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, nullptr, 0, CALLBACK_WINDOW), MMSYSERR_INVALPARAM);

    const char* server = std::getenv("PULSE_SERVER");
    const std::string saved = server ? server : "";
    setenv("PULSE_SERVER", "unix:/nonexistent/tovra-no-server", 1);
    EXPECT_EQ(waveInOpen(&device, WAVE_MAPPER, &format, &owner, 0, CALLBACK_WINDOW), MMSYSERR_NODRIVER);
    EXPECT_EQ(device, nullptr);
    if (server)
        setenv("PULSE_SERVER", saved.c_str(), 1);
    else
        unsetenv("PULSE_SERVER");
}

}  // namespace
}  // namespace tovra::wavein
