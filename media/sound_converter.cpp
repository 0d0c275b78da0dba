#include "media/sound_converter.h"

#include <algorithm>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

namespace tovra {

namespace {
constexpr uint32_t kRecordingRate = 8000;
constexpr uint8_t kSilence = 128;  // 8-bit PCM is unsigned
}  // namespace

SoundConverter::SoundConverter(const wmf::WaveFormatEx& input)
    : inputRate_(input.samplesPerSec), bytesPerSample_(std::max<uint32_t>(1, input.bitsPerSample / 8)) {
    if (input.channels != 1 || (input.bitsPerSample != 8 && input.bitsPerSample != 16) || inputRate_ == 0) return;
    AVChannelLayout mono;
    av_channel_layout_default(&mono, 1);
    SwrContext* swr = nullptr;
    if (swr_alloc_set_opts2(&swr, &mono, AV_SAMPLE_FMT_U8, kRecordingRate, &mono,
                            input.bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                            static_cast<int>(inputRate_), 0, nullptr) < 0 ||
        swr_init(swr) < 0) {
        swr_free(&swr);
        return;
    }
    resampler_ = swr;
}

SoundConverter::~SoundConverter() { swr_free(&resampler_); }

bool SoundConverter::Convert(const uint8_t* data, uint32_t length, std::vector<uint8_t>& out) {
    out.clear();
    if (!resampler_ || !data) return false;
    const int samples = static_cast<int>(length / bytesPerSample_);
    const int room = swr_get_out_samples(resampler_, samples);
    if (room < 0) return false;
    const size_t had = pending_.size();
    pending_.resize(had + static_cast<size_t>(room));
    uint8_t* outPlanes[] = {pending_.data() + had};
    const uint8_t* inPlanes[] = {data};
    const int made = swr_convert(resampler_, outPlanes, room, inPlanes, samples);
    if (made < 0) {
        pending_.resize(had);
        return false;
    }
    pending_.resize(had + static_cast<size_t>(made));
    inputSamples_ += static_cast<uint64_t>(samples);
    // What the input lasts so far, at 8 kHz: the resampler's own delay is made up with silence
    // at the start, so the sound keeps its place on the time line.
    const uint64_t due = inputSamples_ * kRecordingRate / inputRate_;
    const size_t give = static_cast<size_t>(due - outputSamples_);
    if (pending_.size() < give) pending_.insert(pending_.begin(), give - pending_.size(), kSilence);
    out.assign(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(give));
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(give));
    outputSamples_ = due;
    return true;
}

}  // namespace tovra
