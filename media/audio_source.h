// What a recording needs of a microphone: buffers of the recording's sound, delivered one by one
// on the thread that opened it, and taken back by the source itself.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/wmf/wm_types.h"

namespace tovra {

class AudioSource {
public:
    // A full buffer's bytes, or null when its data was lost (the clock still counts it).
    using Delivery = std::function<void(const uint8_t* data, uint32_t length)>;

    virtual ~AudioSource() = default;
    // Starts the default source in buffers of bufferBlocks sample blocks of the recording's
    // format; false when there is none.
    virtual bool Open(uint32_t bufferBlocks, Delivery deliver) = 0;
    virtual void Close() = 0;
};

// The recording's sound: PCM, 8000 samples/s, 8 bits, mono, as the writers take it.
wmf::WaveFormatEx RecordingSoundFormat();

}  // namespace tovra
