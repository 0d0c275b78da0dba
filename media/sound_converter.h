// The microphone's sound turned into the recording's own: PCM at 8000 samples/s, 8 bits, mono,
// as the .wmv takes it. Every buffer gives exactly as many samples as it lasts at 8 kHz, so the
// .wmv's bytes per buffer and its times are those of a microphone recorded at 8 kHz.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "platform/wmf/wm_types.h"

struct SwrContext;

namespace tovra {

class SoundConverter {
public:
    // input: mono PCM, 8 or 16 bits, any rate.
    explicit SoundConverter(const wmf::WaveFormatEx& input);
    ~SoundConverter();
    SoundConverter(const SoundConverter&) = delete;
    SoundConverter& operator=(const SoundConverter&) = delete;

    // False when the resampler could not be made; Convert then gives nothing.
    bool IsReady() const { return resampler_ != nullptr; }
    // One buffer of input in, its length at 8 kHz out (into out, which is replaced).
    bool Convert(const uint8_t* data, uint32_t length, std::vector<uint8_t>& out);

private:
    SwrContext* resampler_ = nullptr;
    uint32_t inputRate_ = 0;
    uint32_t bytesPerSample_ = 1;
    uint64_t inputSamples_ = 0;      // taken so far
    uint64_t outputSamples_ = 0;     // given so far
    std::vector<uint8_t> pending_;   // resampled, not yet given
};

}  // namespace tovra
