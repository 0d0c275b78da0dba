// The .wmv's 8 kHz sound made from the microphone's 48 kHz: exact buffer lengths, the band below
// 4 kHz kept, higher tones filtered rather than folded back, and the sound in its place in time.
#include "media/sound_converter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

#include "media/audio_source.h"

namespace tovra {
namespace {

constexpr double kPi = 3.14159265358979323846;

// 16-bit samples of the sum of tones (frequency, amplitude) from sample `start` on.
std::vector<uint8_t> Tones(uint32_t rate, size_t count, size_t start, std::vector<std::pair<double, double>> tones) {
    std::vector<uint8_t> bytes(count * 2);
    for (size_t i = 0; i < count; ++i) {
        double v = 0;
        for (auto [f, a] : tones) v += a * std::sin(2 * kPi * f * static_cast<double>(start + i) / rate);
        const auto s = static_cast<int16_t>(std::lround(v * 32767));
        std::memcpy(&bytes[i * 2], &s, 2);
    }
    return bytes;
}

// The power of one frequency in unsigned 8-bit sound (Goertzel), relative to full scale.
double PowerDb(const std::vector<uint8_t>& u8, double frequency, uint32_t rate) {
    const double w = 2 * kPi * frequency / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (uint8_t b : u8) {
        const double s = (b - 128.0) / 128.0 + c * s1 - s2;
        s2 = s1;
        s1 = s;
    }
    const double power = s1 * s1 + s2 * s2 - c * s1 * s2;
    const double n = static_cast<double>(u8.size());
    return 10 * std::log10(power / (n * n / 4) + 1e-12);
}

std::vector<uint8_t> ConvertAll(SoundConverter& converter, const std::vector<std::vector<uint8_t>>& buffers,
                                std::vector<size_t>* lengths = nullptr) {
    std::vector<uint8_t> all, out;
    for (const auto& b : buffers) {
        EXPECT_TRUE(converter.Convert(b.data(), static_cast<uint32_t>(b.size()), out));
        if (lengths) lengths->push_back(out.size());
        all.insert(all.end(), out.begin(), out.end());
    }
    return all;
}

TEST(SoundConverter, EveryQuarterSecondBecomesTwoThousandSamplesAtAnyRate) {
    for (uint32_t rate : {48000u, 44100u, 16000u, 32000u}) {
        SoundConverter converter(Pcm16Format(rate));
        ASSERT_TRUE(converter.IsReady()) << rate;
        std::vector<std::vector<uint8_t>> buffers;
        for (int i = 0; i < 8; ++i) buffers.push_back(Tones(rate, rate / 4, i * (rate / 4), {{440, 0.5}}));
        std::vector<size_t> lengths;
        ConvertAll(converter, buffers, &lengths);
        for (size_t n : lengths) EXPECT_EQ(n, 2000u) << rate;
    }
    // An odd-sized buffer at 44.1 kHz: the 8 kHz samples still add up to the time recorded.
    SoundConverter converter(Pcm16Format(44100));
    std::vector<std::vector<uint8_t>> buffers(10, Tones(44100, 1001, 0, {{440, 0.5}}));
    EXPECT_EQ(ConvertAll(converter, buffers).size(), 10 * 1001 * 8000 / 44100u);
}

TEST(SoundConverter, KeepsTheBandBelowFourKilohertzAndFiltersWhatLiesAbove) {
    SoundConverter converter(Pcm16Format(48000));
    std::vector<std::vector<uint8_t>> buffers;
    for (int i = 0; i < 8; ++i) buffers.push_back(Tones(48000, 12000, i * 12000, {{440, 0.4}, {6000, 0.4}}));
    std::vector<uint8_t> all = ConvertAll(converter, buffers);
    all.erase(all.begin(), all.begin() + 2000);  // past the filter's start
    const double tone = PowerDb(all, 440, 8000);
    EXPECT_GT(tone, -15);
    // 6 kHz sampled at 8 kHz without a filter would sound at 2 kHz.
    EXPECT_LT(PowerDb(all, 2000, 8000), tone - 30);
    EXPECT_LT(PowerDb(all, 1000, 8000), tone - 30);
}

TEST(SoundConverter, SoundStaysWhereItWasRecorded) {
    SoundConverter converter(Pcm16Format(48000));
    std::vector<std::vector<uint8_t>> buffers;
    for (int i = 0; i < 4; ++i) buffers.push_back(std::vector<uint8_t>(24000, 0));
    for (int i = 4; i < 8; ++i) buffers.push_back(Tones(48000, 12000, 0, {{440, 0.5}}));
    const std::vector<uint8_t> all = ConvertAll(converter, buffers);
    ASSERT_EQ(all.size(), 16000u);
    // The tone begins at one second, give or take the filter's few milliseconds.
    auto loud = [&](size_t at) { return std::abs(all[at] - 128) > 8; };
    size_t first = 0;
    while (first < all.size() && !loud(first)) ++first;
    EXPECT_GE(first, 8000u - 40);
    EXPECT_LE(first, 8000u + 40);
    // Silence converts to 8-bit silence.
    for (size_t i = 100; i < 7900; ++i) ASSERT_NEAR(all[i], 128, 1) << i;
}

TEST(SoundConverter, RefusesWhatItCannotConvert) {
    wmf::WaveFormatEx stereo = Pcm16Format(48000);
    stereo.channels = 2;
    SoundConverter converter(stereo);
    EXPECT_FALSE(converter.IsReady());
    std::vector<uint8_t> out{1, 2};
    const uint8_t data[4] = {};
    EXPECT_FALSE(converter.Convert(data, 4, out));
    EXPECT_TRUE(out.empty());
    SoundConverter ready(Pcm16Format(48000));
    EXPECT_FALSE(ready.Convert(nullptr, 100, out));
}

}  // namespace
}  // namespace tovra
