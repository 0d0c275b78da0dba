// WMA v2 and WMV2/WMV1 encoders of the recording on libavcodec, with libswresample and libswscale
// converting the capture's PCM and bottom-up RGB into what the encoders take.
#include "platform/wmf/encoders.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/mathematics.h>
#include <libavutil/rational.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <deque>
#include <utility>

namespace tovra::wmf {
namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // 100-ns units in a second

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwrFree {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct FifoFree {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};
struct SwsFree {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextFree>;
using FramePtr = std::unique_ptr<AVFrame, FrameFree>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFree>;
using SwrPtr = std::unique_ptr<SwrContext, SwrFree>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFree>;
using SwsPtr = std::unique_ptr<SwsContext, SwsFree>;

const std::vector<uint8_t> kNoCodecData;

std::vector<uint8_t> ExtraData(const AVCodecContext* ctx) {
    if (!ctx->extradata || ctx->extradata_size <= 0) return {};
    return std::vector<uint8_t>(ctx->extradata, ctx->extradata + ctx->extradata_size);
}

// samples / rate in 100-ns units, rounded to nearest; exact integer arithmetic so long
// recordings do not drift.
int64_t SamplesToTime(int64_t samples, int64_t rate) {
    return av_rescale_rnd(samples, kUnitsPerSecond, rate, AV_ROUND_NEAR_INF);
}

CodecContextPtr OpenWmaContext(uint32_t sampleRate, uint16_t channels, uint32_t bitrate) {
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_WMAV2);
    if (!codec || sampleRate == 0 || channels == 0) return nullptr;
    CodecContextPtr ctx(avcodec_alloc_context3(codec));
    if (!ctx) return nullptr;
    ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
    ctx->sample_rate = static_cast<int>(sampleRate);
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->bit_rate = bitrate;
    ctx->time_base = AVRational{1, static_cast<int>(sampleRate)};
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) return nullptr;
    if (ctx->frame_size <= 0 || ctx->block_align <= 0 || ctx->block_align > UINT16_MAX) return nullptr;
    return ctx;
}

std::vector<WmaFormat> ProbeWmaFormats() {
    static constexpr uint32_t kRates[] = {8000, 11025, 16000, 22050, 32000, 44100, 48000};
    static constexpr uint16_t kChannels[] = {1, 2};
    static constexpr uint32_t kBitrates[] = {24000, 32000, 48000, 64000, 96000, 128000, 160000, 192000};
    std::vector<WmaFormat> formats;
    for (uint32_t rate : kRates) {
        for (uint16_t channels : kChannels) {
            for (uint32_t bitrate : kBitrates) {
                CodecContextPtr ctx = OpenWmaContext(rate, channels, bitrate);
                if (!ctx) continue;
                WmaFormat f;
                f.sampleRate = rate;
                f.channels = channels;
                f.bitrate = bitrate;
                f.blockAlign = static_cast<uint16_t>(ctx->block_align);
                f.codecData = ExtraData(ctx.get());
                formats.push_back(std::move(f));
            }
        }
    }
    return formats;
}

AVCodecID VideoCodecFor(uint32_t fourcc) {
    if (fourcc == FourCC('W', 'M', 'V', '2')) return AV_CODEC_ID_WMV2;
    if (fourcc == FourCC('W', 'M', 'V', '1')) return AV_CODEC_ID_WMV1;
    return AV_CODEC_ID_NONE;
}

}  // namespace

const std::vector<WmaFormat>& WmaFormats() {
    static const std::vector<WmaFormat> formats = ProbeWmaFormats();
    return formats;
}

bool HasVideoEncoder(uint32_t fourcc) {
    AVCodecID id = VideoCodecFor(fourcc);
    return id != AV_CODEC_ID_NONE && avcodec_find_encoder(id) != nullptr;
}

// ---------------------------------------------------------------------------------------------
// Audio

struct WmaEncoder::Impl {
    CodecContextPtr ctx;
    SwrPtr swr;
    FifoPtr fifo;
    FramePtr frame;
    PacketPtr packet;

    PcmFormat input;
    int outRate = 0;  // Hz
    int outChannels = 0;
    int frameSize = 0;         // samples per encoded block
    int inBytesPerSample = 0;  // bytes of one sample frame (all channels)
    uint16_t blockAlign = 0;
    std::vector<uint8_t> codecData;
    bool finished = false;

    // Block times: the FIFO's first sample sits headSamples output samples after anchorTime100ns.
    bool anchored = false;
    int64_t anchorTime100ns = 0;
    int64_t headSamples = 0;
    // Where the next input buffer is expected: inAnchorTime100ns + inSamples at the input rate.
    int64_t inAnchorTime100ns = 0;
    int64_t inSamples = 0;
    int64_t framePts = 0;                   // samples sent, for the encoder's own bookkeeping
    std::deque<int64_t> pendingTimes100ns;  // times of blocks sent but not yet returned

    std::vector<std::vector<float>> planes;  // resampler output, one vector per channel
    std::vector<uint8_t*> planePtrs;

    int64_t BlockDuration100ns() const { return SamplesToTime(frameSize, outRate); }
    int64_t HeadTime100ns() const { return anchorTime100ns + SamplesToTime(headSamples, outRate); }

    void Reserve(int samples) {
        for (int c = 0; c < outChannels; ++c) {
            if (planes[c].size() < static_cast<std::size_t>(samples)) planes[c].resize(samples);
            planePtrs[c] = reinterpret_cast<uint8_t*>(planes[c].data());
        }
    }

    // Moves the time line when a buffer does not follow on from the one before (a pause, a lost
    // buffer, a clock step). Blocks never move back: their times must increase, so a backward
    // step only resets the expectation and the audio stays contiguous.
    void Place(int64_t time100ns) {
        if (!anchored) {
            anchored = true;
            anchorTime100ns = time100ns;
            headSamples = 0;
            inAnchorTime100ns = time100ns;
            inSamples = 0;
            return;
        }
        int64_t expected = inAnchorTime100ns + SamplesToTime(inSamples, input.sampleRate);
        int64_t step = time100ns - expected;
        if (step <= BlockDuration100ns() && step >= -BlockDuration100ns()) return;
        int64_t queued = av_audio_fifo_size(fifo.get()) + swr_get_delay(swr.get(), outRate);
        int64_t headTime = time100ns - SamplesToTime(queued, outRate);
        if (headTime > HeadTime100ns()) {
            anchorTime100ns = time100ns;
            headSamples = -queued;
        }
        inAnchorTime100ns = time100ns;
        inSamples = 0;
    }

    bool Receive(std::vector<EncodedPacket>& out) {
        for (;;) {
            int ret = avcodec_receive_packet(ctx.get(), packet.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
            if (ret < 0) return false;
            EncodedPacket p;
            p.data.assign(packet->data, packet->data + packet->size);
            if (!pendingTimes100ns.empty()) {
                p.time100ns = pendingTimes100ns.front();
                pendingTimes100ns.pop_front();
            } else {
                p.time100ns = HeadTime100ns();
            }
            // The encoder keeps no bit reservoir, so every block decodes on its own.
            p.keyFrame = true;
            av_packet_unref(packet.get());
            out.push_back(std::move(p));
        }
    }

    bool EncodeBlocks(std::vector<EncodedPacket>& out) {
        while (av_audio_fifo_size(fifo.get()) >= frameSize) {
            if (av_frame_make_writable(frame.get()) < 0) return false;
            if (av_audio_fifo_read(fifo.get(), reinterpret_cast<void**>(frame->data), frameSize) != frameSize)
                return false;
            frame->pts = framePts;
            framePts += frameSize;
            pendingTimes100ns.push_back(HeadTime100ns());
            headSamples += frameSize;
            if (avcodec_send_frame(ctx.get(), frame.get()) < 0) return false;
            if (!Receive(out)) return false;
        }
        return true;
    }

    bool WriteToFifo(int samples) {
        if (samples <= 0) return true;
        return av_audio_fifo_write(fifo.get(), reinterpret_cast<void**>(planePtrs.data()), samples) == samples;
    }
};

WmaEncoder::WmaEncoder() = default;
WmaEncoder::~WmaEncoder() { Close(); }

bool WmaEncoder::Open(const WmaFormat& output, const PcmFormat& input) {
    Close();
    if (input.sampleRate == 0 || input.channels == 0 || input.channels > 8) return false;
    if (input.bitsPerSample != 8 && input.bitsPerSample != 16) return false;

    auto impl = std::make_unique<Impl>();
    impl->ctx = OpenWmaContext(output.sampleRate, output.channels, output.bitrate);
    if (!impl->ctx) return false;
    AVCodecContext* ctx = impl->ctx.get();
    impl->input = input;
    impl->outRate = ctx->sample_rate;
    impl->outChannels = ctx->ch_layout.nb_channels;
    impl->frameSize = ctx->frame_size;
    impl->inBytesPerSample = input.channels * input.bitsPerSample / 8;
    impl->blockAlign = static_cast<uint16_t>(ctx->block_align);
    impl->codecData = ExtraData(ctx);

    AVChannelLayout inLayout;
    av_channel_layout_default(&inLayout, input.channels);
    SwrContext* swr = nullptr;
    int ret = swr_alloc_set_opts2(&swr, &ctx->ch_layout, ctx->sample_fmt, ctx->sample_rate, &inLayout,
                                  input.bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16,
                                  static_cast<int>(input.sampleRate), 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    impl->swr.reset(swr);
    if (ret < 0 || !swr || swr_init(swr) < 0) return false;

    impl->fifo.reset(av_audio_fifo_alloc(ctx->sample_fmt, impl->outChannels, impl->frameSize * 2));
    impl->frame.reset(av_frame_alloc());
    impl->packet.reset(av_packet_alloc());
    if (!impl->fifo || !impl->frame || !impl->packet) return false;
    AVFrame* f = impl->frame.get();
    f->nb_samples = impl->frameSize;
    f->format = ctx->sample_fmt;
    f->sample_rate = ctx->sample_rate;
    if (av_channel_layout_copy(&f->ch_layout, &ctx->ch_layout) < 0) return false;
    if (av_frame_get_buffer(f, 0) < 0) return false;
    impl->planes.resize(impl->outChannels);
    impl->planePtrs.resize(impl->outChannels);

    impl_ = std::move(impl);
    return true;
}

bool WmaEncoder::Encode(const uint8_t* pcm, std::size_t bytes, int64_t time100ns, std::vector<EncodedPacket>& out) {
    if (!impl_ || impl_->finished) return false;
    Impl& d = *impl_;
    if (bytes == 0) return true;
    if (!pcm || bytes % d.inBytesPerSample != 0 || bytes / d.inBytesPerSample > INT32_MAX / 2) return false;
    int samples = static_cast<int>(bytes / d.inBytesPerSample);

    d.Place(time100ns);
    int room = swr_get_out_samples(d.swr.get(), samples);
    if (room < 0) return false;
    d.Reserve(room);
    const uint8_t* in[1] = {pcm};
    int converted = swr_convert(d.swr.get(), d.planePtrs.data(), room, in, samples);
    if (converted < 0 || !d.WriteToFifo(converted)) return false;
    d.inSamples += samples;
    return d.EncodeBlocks(out);
}

bool WmaEncoder::Finish(std::vector<EncodedPacket>& out) {
    if (!impl_) return false;
    Impl& d = *impl_;
    if (d.finished) return true;
    d.finished = true;
    // What the resampler still holds.
    for (;;) {
        int room = swr_get_out_samples(d.swr.get(), 0);
        if (room <= 0) break;
        d.Reserve(room);
        int converted = swr_convert(d.swr.get(), d.planePtrs.data(), room, nullptr, 0);
        if (converted < 0 || !d.WriteToFifo(converted)) return false;
        if (converted == 0) break;
    }
    int rest = av_audio_fifo_size(d.fifo.get()) % d.frameSize;
    if (rest > 0) {
        int pad = d.frameSize - rest;
        d.Reserve(pad);
        for (int c = 0; c < d.outChannels; ++c) std::fill_n(d.planes[c].begin(), pad, 0.0f);
        if (!d.WriteToFifo(pad)) return false;
    }
    if (!d.EncodeBlocks(out)) return false;
    if (avcodec_send_frame(d.ctx.get(), nullptr) < 0) return false;
    return d.Receive(out);
}

void WmaEncoder::Close() { impl_.reset(); }

uint16_t WmaEncoder::BlockAlign() const { return impl_ ? impl_->blockAlign : 0; }

const std::vector<uint8_t>& WmaEncoder::CodecData() const { return impl_ ? impl_->codecData : kNoCodecData; }

// ---------------------------------------------------------------------------------------------
// Video

struct WmvEncoder::Impl {
    CodecContextPtr ctx;
    SwsPtr sws;
    FramePtr frame;
    PacketPtr packet;

    int srcWidth = 0, srcHeight = 0;  // pixels
    bool bottomUp = true;
    int srcStride = 0;  // bytes of one row, padded to 4 as in a DIB
    std::vector<uint8_t> codecData;
    bool finished = false;
    bool hasLastPts = false;
    int64_t lastPts = 0;                              // in ctx->time_base
    std::deque<std::pair<int64_t, int64_t>> pending;  // (pts, time100ns) of frames sent

    bool Receive(std::vector<EncodedPacket>& out) {
        for (;;) {
            int ret = avcodec_receive_packet(ctx.get(), packet.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) return true;
            if (ret < 0) return false;
            EncodedPacket p;
            p.data.assign(packet->data, packet->data + packet->size);
            p.keyFrame = (packet->flags & AV_PKT_FLAG_KEY) != 0;
            // Frames come back in order; drop the entries of frames the encoder skipped.
            while (pending.size() > 1 && pending.front().first < packet->pts) pending.pop_front();
            if (!pending.empty()) {
                p.time100ns = pending.front().second;
                pending.pop_front();
            } else {
                p.time100ns = av_rescale_q(packet->pts, ctx->time_base, AVRational{1, kUnitsPerSecond});
            }
            av_packet_unref(packet.get());
            out.push_back(std::move(p));
        }
    }
};

WmvEncoder::WmvEncoder() = default;
WmvEncoder::~WmvEncoder() { Close(); }

bool WmvEncoder::Open(const VideoEncodeSettings& settings, const RgbFrameFormat& input) {
    Close();
    AVCodecID id = VideoCodecFor(settings.fourcc);
    if (id == AV_CODEC_ID_NONE) return false;
    const AVCodec* codec = avcodec_find_encoder(id);
    if (!codec) return false;
    if (settings.width == 0 || settings.height == 0 || settings.width > 8192 || settings.height > 8192) return false;
    if (settings.avgTimePerFrame100ns == 0 || settings.avgTimePerFrame100ns > 100 * kUnitsPerSecond) return false;
    if (settings.bitrate == 0 || settings.bitrate > 1000000000 || settings.quality > 100) return false;
    if (input.width == 0 || input.width > 8192 || input.height == 0 || input.height > 8192 || input.height < -8192)
        return false;

    AVPixelFormat srcFormat;
    switch (input.bitCount) {
        case 24:
            srcFormat = AV_PIX_FMT_BGR24;
            break;
        case 32:
            srcFormat = AV_PIX_FMT_BGR0;
            break;
        case 16:
            srcFormat = AV_PIX_FMT_RGB555LE;
            break;
        default:
            return false;
    }

    auto impl = std::make_unique<Impl>();
    impl->ctx.reset(avcodec_alloc_context3(codec));
    if (!impl->ctx) return false;
    AVCodecContext* ctx = impl->ctx.get();
    ctx->width = static_cast<int>(settings.width);
    ctx->height = static_cast<int>(settings.height);
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    // Rate control divides the bit budget by the frame rate it reads from the time base, so the
    // time base is one frame; frame times are mapped onto it.
    int num = 0, den = 0;
    av_reduce(&num, &den, static_cast<int64_t>(settings.avgTimePerFrame100ns), kUnitsPerSecond, 65535);
    if (num <= 0 || den <= 0) return false;
    ctx->time_base = AVRational{num, den};
    ctx->framerate = AVRational{den, num};
    uint64_t gop =
        (settings.maxKeyFrameSpacing100ns + settings.avgTimePerFrame100ns / 2) / settings.avgTimePerFrame100ns;
    ctx->gop_size = static_cast<int>(std::clamp<uint64_t>(gop, 1, 100000));
    ctx->max_b_frames = 0;
    ctx->thread_count = 1;
    ctx->bit_rate = settings.bitrate;
    if (settings.quality > 0) {
        // A fixed quantiser: 1 is the coarsest (31), 100 the finest (2).
        int qscale = 31 - static_cast<int>((settings.quality * 29 + 50) / 100);
        ctx->flags |= AV_CODEC_FLAG_QSCALE;
        ctx->global_quality = FF_QP2LAMBDA * qscale;
    } else {
        // A one-second buffer drained at little more than the target keeps low targets within a
        // few percent (measured at 320x240, 15 frames/s); without it 40 kbit/s came out at 1.4x,
        // and with 1 s key-frame spacing at 2x. The tolerance must cover at least a frame's bits.
        int64_t bitrate = settings.bitrate;
        int64_t frameBits = std::min<int64_t>(av_rescale(bitrate, num, den), INT32_MAX / 4);
        ctx->rc_buffer_size = static_cast<int>(std::min<int64_t>(std::max(bitrate, frameBits * 2), INT32_MAX));
        ctx->rc_max_rate = bitrate + bitrate / 20;
        ctx->rc_initial_buffer_occupancy = ctx->rc_buffer_size * 3 / 4;
        ctx->bit_rate_tolerance = static_cast<int>(std::max(bitrate / 4, frameBits * 2));
    }
    if (avcodec_open2(ctx, codec, nullptr) < 0) return false;

    impl->srcWidth = static_cast<int>(input.width);
    impl->srcHeight = input.height > 0 ? input.height : -input.height;
    impl->bottomUp = input.height > 0;
    impl->srcStride = static_cast<int>((input.width * input.bitCount + 31) / 32 * 4);
    impl->sws.reset(sws_getContext(impl->srcWidth, impl->srcHeight, srcFormat, ctx->width, ctx->height,
                                   AV_PIX_FMT_YUV420P, SWS_BICUBIC, nullptr, nullptr, nullptr));
    impl->frame.reset(av_frame_alloc());
    impl->packet.reset(av_packet_alloc());
    if (!impl->sws || !impl->frame || !impl->packet) return false;
    AVFrame* f = impl->frame.get();
    f->format = ctx->pix_fmt;
    f->width = ctx->width;
    f->height = ctx->height;
    if (av_frame_get_buffer(f, 0) < 0) return false;
    impl->codecData = ExtraData(ctx);

    impl_ = std::move(impl);
    return true;
}

bool WmvEncoder::Encode(const uint8_t* frame, std::size_t bytes, int64_t time100ns, std::vector<EncodedPacket>& out) {
    if (!impl_ || impl_->finished || !frame) return false;
    Impl& d = *impl_;
    if (bytes < static_cast<std::size_t>(d.srcStride) * d.srcHeight) return false;
    AVFrame* f = d.frame.get();
    // The encoder may still hold the previous picture.
    if (av_frame_make_writable(f) < 0) return false;

    const uint8_t* src[1] = {frame};
    int stride[1] = {d.srcStride};
    if (d.bottomUp) {
        // A DIB's first row in memory is the bottom of the picture.
        src[0] = frame + static_cast<std::size_t>(d.srcHeight - 1) * d.srcStride;
        stride[0] = -d.srcStride;
    }
    if (sws_scale(d.sws.get(), src, stride, 0, d.srcHeight, f->data, f->linesize) <= 0) return false;

    AVCodecContext* ctx = d.ctx.get();
    int64_t pts = av_rescale_q(time100ns, AVRational{1, kUnitsPerSecond}, ctx->time_base);
    // Two frames closer than a frame period would share a pts, which the encoder refuses.
    if (d.hasLastPts && pts <= d.lastPts) pts = d.lastPts + 1;
    d.hasLastPts = true;
    d.lastPts = pts;
    f->pts = pts;
    f->pict_type = AV_PICTURE_TYPE_NONE;
    f->quality = (ctx->flags & AV_CODEC_FLAG_QSCALE) ? ctx->global_quality : 0;
    d.pending.emplace_back(pts, time100ns);
    if (avcodec_send_frame(ctx, f) < 0) return false;
    return d.Receive(out);
}

bool WmvEncoder::Finish(std::vector<EncodedPacket>& out) {
    if (!impl_) return false;
    if (impl_->finished) return true;
    impl_->finished = true;
    if (avcodec_send_frame(impl_->ctx.get(), nullptr) < 0) return false;
    return impl_->Receive(out);
}

void WmvEncoder::Close() { impl_.reset(); }

const std::vector<uint8_t>& WmvEncoder::CodecData() const { return impl_ ? impl_->codecData : kNoCodecData; }

}  // namespace tovra::wmf
