// The Windows Media writer: takes uncompressed samples on its inputs, encodes them with the
// stream formats of a profile, and multiplexes them into an ASF file.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/wmf/profile.h"
#include "platform/wmf/wm_types.h"

namespace tovra::wmf {

// The media properties of one writer input: its major type and the uncompressed media type.
struct InputProps {
    Guid type;
    MediaType mediaType;
};

// A buffer the writer hands out for one sample.
class Sample {
public:
    explicit Sample(uint32_t capacity) : buffer_(capacity), length_(capacity) {}
    void GetBufferAndLength(uint8_t*& buffer, uint32_t& length) {
        buffer = buffer_.data();
        length = length_;
    }
    HRESULT SetLength(uint32_t length);
    const uint8_t* Data() const { return buffer_.data(); }
    uint32_t Length() const { return length_; }

private:
    std::vector<uint8_t> buffer_;
    uint32_t length_;
};

class Writer {
public:
    static HRESULT Create(std::unique_ptr<Writer>& out);
    Writer();
    ~Writer();  // ends writing that was begun
    Writer(const Writer&) = delete;
    Writer& operator=(const Writer&) = delete;

    // One input per stream of the profile, in stream order, with a default uncompressed type.
    HRESULT SetProfile(const Profile& profile);
    HRESULT GetInputCount(uint32_t& count) const;
    HRESULT GetInputProps(uint32_t input, InputProps& out) const;
    HRESULT SetInputProps(uint32_t input, const InputProps& props);
    HRESULT SetOutputFilename(const std::u16string& path);

    HRESULT BeginWriting();
    HRESULT AllocateSample(uint32_t size, std::unique_ptr<Sample>& out);
    // time100ns: presentation time; samples of one input must come in time order.
    HRESULT WriteSample(uint32_t input, int64_t time100ns, uint32_t flags, const Sample& sample);
    HRESULT Flush();
    HRESULT EndWriting();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

}  // namespace tovra::wmf
