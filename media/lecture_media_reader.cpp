#include "media/lecture_media_reader.h"

#include <algorithm>
#include <string_view>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

namespace tovra {

struct LectureMediaReader::State {
    explicit State(std::string& errorOut) : error(errorOut) {}
    std::string& error;  // the reader's
    MediaStream kind = MediaStream::Picture;
    AVFormatContext* format = nullptr;
    AVStream* stream = nullptr;
    AVCodecContext* codec = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    bool drained = false;  // the file is read to its end and the decoder told so
    SwsContext* scale = nullptr;
    bool timed = false;  // a picture's time has been seen
    int64_t shiftMs = 0;
    uint64_t lastMs = 0;
    SwrContext* resample = nullptr;
    int rate = 0;
    bool soundEnded = false;
    std::vector<int16_t> pending;  // converted sound not handed out yet

    ~State() {
        avformat_close_input(&format);
        avcodec_free_context(&codec);
        sws_freeContext(scale);
        swr_free(&resample);
        av_frame_free(&frame);
        av_packet_free(&packet);
    }

    bool Fail(const std::string& what, int code) {
        char reason[AV_ERROR_MAX_STRING_SIZE] = {};
        av_strerror(code, reason, sizeof reason);
        error = what + ": " + reason;
        return false;
    }

    // The next decoded frame into `frame`; false at the end.
    bool NextFrame() {
        for (;;) {
            const int got = avcodec_receive_frame(codec, frame);
            if (got >= 0) return true;
            if (got == AVERROR_EOF || drained) return false;
            if (got != AVERROR(EAGAIN)) return Fail("Cannot decode", got);
            const int read = av_read_frame(format, packet);
            if (read < 0) {
                // The end, or a file cut short: what the decoder still holds comes out first.
                if (read != AVERROR_EOF) Fail("Cannot read the rest of the file", read);
                drained = true;
                avcodec_send_packet(codec, nullptr);
                continue;
            }
            // A damaged packet (a recording cut short) is passed over; the decoder recovers at the next.
            if (packet->stream_index == stream->index) avcodec_send_packet(codec, packet);
            av_packet_unref(packet);
        }
    }

    // The resampler for the first frame's format, and the silence before the first frame.
    bool StartSound() {
        AVChannelLayout in{};
        av_channel_layout_copy(&in, &frame->ch_layout);
        if (in.order == AV_CHANNEL_ORDER_UNSPEC) {  // old files tell only how many channels
            const int channels = in.nb_channels;
            av_channel_layout_uninit(&in);
            av_channel_layout_default(&in, channels);
        }
        AVChannelLayout mono{};
        av_channel_layout_default(&mono, 1);
        int done = swr_alloc_set_opts2(&resample, &mono, AV_SAMPLE_FMT_S16, rate, &in,
                                       static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        if (done >= 0) done = swr_init(resample);
        if (done < 0) return Fail("Cannot convert the sound", done);
        const int64_t start = frame->best_effort_timestamp;
        if (start != AV_NOPTS_VALUE && start > 0) {
            pending.insert(pending.end(),
                           static_cast<size_t>(av_rescale_q(start, stream->time_base, AVRational{1, rate})),
                           int16_t{0});
        }
        return true;
    }

    // Resamples the samples given (none: what the resampler still holds) onto pending.
    void Convert(const uint8_t** data, int samples) {
        const int room = swr_get_out_samples(resample, samples);
        if (room <= 0) return;
        const size_t had = pending.size();
        pending.resize(had + static_cast<size_t>(room));
        uint8_t* out[] = {reinterpret_cast<uint8_t*>(pending.data() + had)};
        const int made = swr_convert(resample, out, room, data, samples);
        pending.resize(had + static_cast<size_t>(std::max(made, 0)));
    }
};

LectureMediaReader::LectureMediaReader() = default;
LectureMediaReader::~LectureMediaReader() = default;

bool LectureMediaReader::Open(const std::string& path, MediaStream stream) {
    state_.reset();
    error_.clear();
    auto s = std::make_unique<State>(error_);
    s->kind = stream;
    int done = avformat_open_input(&s->format, path.c_str(), nullptr, nullptr);
    if (done < 0) return s->Fail("Cannot open " + path, done);
    done = avformat_find_stream_info(s->format, nullptr);
    if (done < 0) return s->Fail("Cannot read " + path, done);
    const AVCodec* decoder = nullptr;
    const int index = av_find_best_stream(
        s->format, stream == MediaStream::Picture ? AVMEDIA_TYPE_VIDEO : AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (index < 0) return s->Fail((stream == MediaStream::Picture ? "No pictures in " : "No sound in ") + path, index);
    // The demuxer passes over the other streams' packets without reading them into memory.
    for (unsigned i = 0; i < s->format->nb_streams; ++i) {
        s->format->streams[i]->discard = static_cast<int>(i) == index ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    s->stream = s->format->streams[index];
    s->codec = avcodec_alloc_context3(decoder);
    done = avcodec_parameters_to_context(s->codec, s->stream->codecpar);
    // With the packets' time base the decoder moves the times of the samples it skips (Opus's start).
    s->codec->pkt_timebase = s->stream->time_base;
    if (done >= 0) done = avcodec_open2(s->codec, decoder, nullptr);
    if (done < 0) return s->Fail("Cannot decode " + path, done);
    s->packet = av_packet_alloc();
    s->frame = av_frame_alloc();
    state_ = std::move(s);
    return true;
}

uint64_t LectureMediaReader::DurationMs() const {
    if (!state_) return 0;
    // An ASF file's header gives its play duration, which FFmpeg hands each stream; its format
    // duration adds a stream's first sample time on top (the sound's first buffer ends at 250 ms).
    const AVFormatContext* f = state_->format;
    if (f->iformat && std::string_view(f->iformat->name) == "asf") {
        int64_t longest = 0;
        for (unsigned i = 0; i < f->nb_streams; ++i) {
            const AVStream* st = f->streams[i];
            if (st->duration > 0) longest = std::max(longest, av_rescale_q(st->duration, st->time_base, AVRational{1, 1000}));
        }
        if (longest > 0) return static_cast<uint64_t>(longest);
    }
    if (f->duration == AV_NOPTS_VALUE || f->duration < 0) return 0;
    return static_cast<uint64_t>(av_rescale(f->duration, 1000, AV_TIME_BASE));
}

int LectureMediaReader::Width() const {
    return state_ && state_->kind == MediaStream::Picture ? state_->stream->codecpar->width : 0;
}

int LectureMediaReader::Height() const {
    return state_ && state_->kind == MediaStream::Picture ? state_->stream->codecpar->height : 0;
}

bool LectureMediaReader::NextPicture(int width, int height, std::vector<uint8_t>& bgrx, uint64_t& timeMs) {
    State* s = state_.get();
    if (!s || s->kind != MediaStream::Picture || width <= 0 || height <= 0 || !s->NextFrame()) return false;
    AVFrame* frame = s->frame;
    s->scale = sws_getCachedContext(s->scale, frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
                                    width, height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!s->scale) {
        av_frame_unref(frame);
        return s->Fail("Cannot convert the pictures", AVERROR(EINVAL));
    }
    bgrx.resize(static_cast<size_t>(width) * height * 4);
    // sws_scale looks at four planes, used or not.
    uint8_t* planes[4] = {bgrx.data()};
    const int strides[4] = {width * 4};
    sws_scale(s->scale, frame->data, frame->linesize, 0, frame->height, planes, strides);
    const int64_t pts = frame->best_effort_timestamp;
    if (pts != AV_NOPTS_VALUE) {
        const int64_t ms = av_rescale_q(pts, s->stream->time_base, AVRational{1, 1000});
        // A file whose pictures start before 0 is moved to start at 0.
        if (!s->timed) s->shiftMs = ms < 0 ? -ms : 0;
        s->timed = true;
        s->lastMs = static_cast<uint64_t>(std::max<int64_t>(0, ms + s->shiftMs));
    }
    timeMs = s->lastMs;  // a picture without a time shows with the one before
    av_frame_unref(frame);
    return true;
}

size_t LectureMediaReader::ReadSound(int rate, size_t frames, std::vector<int16_t>& out) {
    State* s = state_.get();
    if (!s || s->kind != MediaStream::Sound || rate <= 0) return 0;
    if (s->rate && rate != s->rate) {
        error_ = "The sound's rate cannot change while it is read";
        return 0;
    }
    s->rate = rate;
    while (s->pending.size() < frames && !s->soundEnded) {
        if (!s->NextFrame()) {
            if (s->resample) s->Convert(nullptr, 0);
            s->soundEnded = true;
        } else {
            if (s->resample || s->StartSound()) {
                s->Convert(const_cast<const uint8_t**>(s->frame->extended_data), s->frame->nb_samples);
            } else {
                s->soundEnded = true;
            }
            av_frame_unref(s->frame);
        }
    }
    const size_t given = std::min(frames, s->pending.size());
    out.insert(out.end(), s->pending.begin(), s->pending.begin() + static_cast<std::ptrdiff_t>(given));
    s->pending.erase(s->pending.begin(), s->pending.begin() + static_cast<std::ptrdiff_t>(given));
    return given;
}

}  // namespace tovra
