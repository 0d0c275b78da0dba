// Encoders of the recording: what they emit is decoded again with libavcodec and compared with
// the synthetic tone and picture that went in.
#include "platform/wmf/encoders.h"

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswscale/swscale.h>
}

#include <cmath>
#include <cstring>

using namespace tovra::wmf;

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr int64_t kSecond100ns = 10000000;

// --- audio helpers -----------------------------------------------------------------------------

std::vector<uint8_t> SineU8(int samples, double freq, int rate) {
    std::vector<uint8_t> pcm(samples);
    for (int i = 0; i < samples; ++i)
        pcm[i] = static_cast<uint8_t>(std::lround(128 + 80 * std::sin(2 * kPi * freq * i / rate)));
    return pcm;
}

// Opens the decoder ctx was set up for with codecData as extradata, feeds it every packet and
// the end of stream, and hands each decoded frame to onFrame.
template <typename OnFrame>
void Decode(AVCodecContext* ctx, const std::vector<uint8_t>& codecData, const std::vector<EncodedPacket>& packets,
            OnFrame onFrame) {
    ctx->extradata = static_cast<uint8_t*>(av_mallocz(codecData.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    if (!codecData.empty()) std::memcpy(ctx->extradata, codecData.data(), codecData.size());
    ctx->extradata_size = static_cast<int>(codecData.size());
    AVPacket* pkt = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    if (avcodec_open2(ctx, avcodec_find_decoder(ctx->codec_id), nullptr) < 0) ADD_FAILURE() << "decoder did not open";
    for (std::size_t i = 0; i <= packets.size() && avcodec_is_open(ctx); ++i) {
        if (i < packets.size()) {
            av_new_packet(pkt, static_cast<int>(packets[i].data.size()));
            std::memcpy(pkt->data, packets[i].data.data(), packets[i].data.size());
        }
        EXPECT_GE(avcodec_send_packet(ctx, i < packets.size() ? pkt : nullptr), 0) << "packet " << i;
        av_packet_unref(pkt);
        while (avcodec_receive_frame(ctx, frame) >= 0) onFrame(frame);
    }
    av_frame_free(&frame);
    av_packet_free(&pkt);
    avcodec_free_context(&ctx);
}

// Decodes WMA blocks to mono floats (channels averaged).
std::vector<float> DecodeWma(uint32_t rate, uint16_t channels, uint32_t bitrate, const std::vector<uint8_t>& codecData,
                             uint16_t blockAlign, const std::vector<EncodedPacket>& packets) {
    AVCodecContext* ctx = avcodec_alloc_context3(avcodec_find_decoder(AV_CODEC_ID_WMAV2));
    ctx->sample_rate = static_cast<int>(rate);
    av_channel_layout_default(&ctx->ch_layout, channels);
    ctx->bit_rate = bitrate;
    ctx->block_align = blockAlign;
    std::vector<float> out;
    Decode(ctx, codecData, packets, [&](const AVFrame* frame) {
        for (int i = 0; i < frame->nb_samples; ++i) {
            float sum = 0;
            for (int c = 0; c < channels; ++c) sum += reinterpret_cast<const float*>(frame->data[c])[i];
            out.push_back(sum / channels);
        }
    });
    return out;
}

// Power of one frequency in samples [from, to).
double Goertzel(const std::vector<float>& s, std::size_t from, std::size_t to, double freq, double rate) {
    double k = 2 * std::cos(2 * kPi * freq / rate), s1 = 0, s2 = 0;
    for (std::size_t i = from; i < to; ++i) {
        double s0 = s[i] + k * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return (s1 * s1 + s2 * s2 - k * s1 * s2) / double(to - from);
}

void ExpectTone(const std::vector<float>& decoded, double freq, double rate) {
    ASSERT_GT(decoded.size(), 4096u);
    std::size_t from = decoded.size() / 4, to = decoded.size() * 3 / 4;
    double tone = Goertzel(decoded, from, to, freq, rate);
    for (double other : {freq * 0.5, freq * 0.8, freq * 1.3, freq * 2.0, freq * 3.1})
        EXPECT_GT(tone, 100 * Goertzel(decoded, from, to, other, rate)) << other << " Hz";
    // Amplitude 80/128 of full scale; a sine of amplitude A measures N * A^2 / 4 here.
    const double expected = double(to - from) * 0.625 * 0.625 / 4;
    EXPECT_NEAR(tone, expected, expected * 0.3);
}

// Recording-style feed: 2000-byte U8 mono buffers at 250 ms steps from startTime.
std::vector<EncodedPacket> EncodeTone(WmaEncoder& enc, int seconds, int64_t startTime100ns) {
    std::vector<EncodedPacket> out;
    std::vector<uint8_t> pcm = SineU8(8000 * seconds, 440, 8000);
    for (std::size_t off = 0; off < pcm.size(); off += 2000)
        EXPECT_TRUE(enc.Encode(pcm.data() + off, 2000, startTime100ns + int64_t(off) * kSecond100ns / 8000, out));
    EXPECT_TRUE(enc.Finish(out));
    return out;
}

const WmaFormat* FindWma(uint32_t rate, uint16_t channels, uint32_t bitrate) {
    for (const WmaFormat& f : WmaFormats())
        if (f.sampleRate == rate && f.channels == channels && f.bitrate == bitrate) return &f;
    return nullptr;
}

// --- video helpers -----------------------------------------------------------------------------

struct Rgb {
    uint8_t r, g, b;
};

// Quadrants (top-left red, top-right green, bottom-left blue, bottom-right white) in 8-pixel
// checks of two shades, with a textured grey square moving through the middle band.
Rgb PatternAt(int x, int y, int w, int h, int t) {
    uint8_t shade = ((x / 8 + y / 8) & 1) ? 255 : 150;
    Rgb c = y < h / 2 ? (x < w / 2 ? Rgb{shade, 0, 0} : Rgb{0, shade, 0})
                      : (x < w / 2 ? Rgb{0, 0, shade} : Rgb{shade, shade, shade});
    int bx = (t * 5) % (w - 48), by = h / 2 - 24 + int(std::lround(20 * std::sin(t * 0.2)));
    if (x >= bx && x < bx + 48 && y >= by && y < by + 48) {
        uint8_t v = ((x - bx) ^ (y - by)) & 8 ? 200 : 60;
        c = Rgb{v, v, v};
    }
    return c;
}

// A Windows DIB: rows bottom-up, padded to 4 bytes, B G R order (or RGB555 / BGRX).
std::vector<uint8_t> MakeDib(int w, int h, int bitCount, int t) {
    int stride = (w * bitCount + 31) / 32 * 4;
    std::vector<uint8_t> dib(std::size_t(stride) * h, 0xEE);  // padding bytes must be ignored
    for (int row = 0; row < h; ++row) {
        uint8_t* p = dib.data() + std::size_t(row) * stride;
        for (int x = 0; x < w; ++x) {
            Rgb c = PatternAt(x, h - 1 - row, w, h, t);
            if (bitCount == 16) {
                uint16_t v = uint16_t(((c.r >> 3) << 10) | ((c.g >> 3) << 5) | (c.b >> 3));
                p[2 * x] = uint8_t(v & 0xFF);
                p[2 * x + 1] = uint8_t(v >> 8);
            } else {
                int n = bitCount / 8;
                p[n * x] = c.b;
                p[n * x + 1] = c.g;
                p[n * x + 2] = c.r;
            }
        }
    }
    return dib;
}

// Decodes to top-down RGB24 pictures.
std::vector<std::vector<uint8_t>> DecodeVideo(AVCodecID id, const std::vector<uint8_t>& codecData, int w, int h,
                                              const std::vector<EncodedPacket>& packets) {
    AVCodecContext* ctx = avcodec_alloc_context3(avcodec_find_decoder(id));
    ctx->width = w;
    ctx->height = h;
    std::vector<std::vector<uint8_t>> pictures;
    Decode(ctx, codecData, packets, [&](const AVFrame* frame) {
        std::vector<uint8_t> rgb(std::size_t(w) * h * 3);
        SwsContext* sws = sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), w, h,
                                         AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr);
        uint8_t* dst[1] = {rgb.data()};
        int dstStride[1] = {w * 3};
        sws_scale(sws, frame->data, frame->linesize, 0, frame->height, dst, dstStride);
        sws_freeContext(sws);
        pictures.push_back(std::move(rgb));
    });
    return pictures;
}

double Psnr(const std::vector<uint8_t>& rgb, int w, int h, int t) {
    double se = 0;
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            Rgb c = PatternAt(x, y, w, h, t);
            const uint8_t* p = rgb.data() + (std::size_t(y) * w + x) * 3;
            se += std::pow(p[0] - c.r, 2) + std::pow(p[1] - c.g, 2) + std::pow(p[2] - c.b, 2);
        }
    double mse = se / (3.0 * w * h);
    return 10 * std::log10(255.0 * 255.0 / std::max(mse, 1e-9));
}

// The middle of each quadrant has the colour of that quadrant: catches flips and sheared rows.
void ExpectQuadrants(const std::vector<uint8_t>& rgb, int w, int h) {
    auto at = [&](int x, int y) {
        const uint8_t* p = rgb.data() + (std::size_t(y) * w + x) * 3;
        return Rgb{p[0], p[1], p[2]};
    };
    Rgb tl = at(w / 4, h / 4), tr = at(3 * w / 4, h / 4), bl = at(w / 4, 3 * h / 4), br = at(3 * w / 4, 3 * h / 4);
    EXPECT_TRUE(tl.r > 120 && tl.g < 60 && tl.b < 60)
        << "top left " << int(tl.r) << "," << int(tl.g) << "," << int(tl.b);
    EXPECT_TRUE(tr.g > 120 && tr.r < 60 && tr.b < 60)
        << "top right " << int(tr.r) << "," << int(tr.g) << "," << int(tr.b);
    EXPECT_TRUE(bl.b > 120 && bl.r < 60 && bl.g < 60)
        << "bottom left " << int(bl.r) << "," << int(bl.g) << "," << int(bl.b);
    EXPECT_TRUE(br.r > 120 && br.g > 120 && br.b > 120) << "bottom right";
}

VideoEncodeSettings Settings(uint32_t fourcc, uint32_t bitrate, uint64_t keySpacing100ns = 200000000) {
    VideoEncodeSettings s;
    s.fourcc = fourcc;
    s.width = 320;
    s.height = 240;
    s.bitrate = bitrate;
    s.avgTimePerFrame100ns = 666666;
    s.maxKeyFrameSpacing100ns = keySpacing100ns;
    return s;
}

std::vector<EncodedPacket> EncodePattern(WmvEncoder& enc, const RgbFrameFormat& in, int frames) {
    std::vector<EncodedPacket> out;
    for (int t = 0; t < frames; ++t) {
        std::vector<uint8_t> dib = MakeDib(int(in.width), in.height, in.bitCount, t);
        EXPECT_TRUE(enc.Encode(dib.data(), dib.size(), t * 666666LL, out)) << "frame " << t;
    }
    EXPECT_TRUE(enc.Finish(out));
    return out;
}

}  // namespace

// --- audio -------------------------------------------------------------------------------------

TEST(WmaEncoderFormats, OffersLowRateMonoAndEveryListedFormatOpens) {
    const std::vector<WmaFormat>& formats = WmaFormats();
    for (uint32_t bitrate : {24000u, 32000u, 48000u}) ASSERT_NE(FindWma(8000, 1, bitrate), nullptr) << bitrate;
    EXPECT_EQ(FindWma(8000, 1, 24000)->blockAlign, 192);
    for (std::size_t i = 1; i < formats.size(); ++i) {
        const WmaFormat &a = formats[i - 1], &b = formats[i];
        EXPECT_LT(std::tie(a.sampleRate, a.channels, a.bitrate), std::tie(b.sampleRate, b.channels, b.bitrate));
    }
    for (const WmaFormat& f : formats) {
        WmaEncoder enc;
        ASSERT_TRUE(enc.Open(f, PcmFormat{8000, 1, 8})) << f.sampleRate << "/" << f.channels << "/" << f.bitrate;
        EXPECT_EQ(enc.BlockAlign(), f.blockAlign);
        EXPECT_EQ(enc.CodecData(), f.codecData);
        EXPECT_FALSE(f.codecData.empty());
    }
    // Below 24 kbit/s the encoder refuses.
    WmaEncoder low;
    EXPECT_FALSE(low.Open(WmaFormat{8000, 1, 16000, 0, {}}, PcmFormat{8000, 1, 8}));
}

TEST(WmaEncoder, TenSecondToneComesBackAsBlocksOfFixedSizeAndSpacing) {
    const WmaFormat* f = FindWma(8000, 1, 24000);
    ASSERT_NE(f, nullptr);
    WmaEncoder enc;
    ASSERT_TRUE(enc.Open(*f, PcmFormat{8000, 1, 8}));
    const int64_t start = 3 * kSecond100ns;
    std::vector<EncodedPacket> packets = EncodeTone(enc, 10, start);

    ASSERT_EQ(packets.size(), 157u);  // 80000 samples in blocks of 512, the last one padded
    EXPECT_EQ(packets.front().time100ns, start);
    for (std::size_t i = 0; i < packets.size(); ++i) {
        EXPECT_EQ(packets[i].data.size(), enc.BlockAlign()) << i;
        if (i > 0) {
            EXPECT_EQ(packets[i].time100ns - packets[i - 1].time100ns, 640000) << i;  // 512 / 8000 s
        }
    }
    int64_t duration = packets.back().time100ns + 640000 - start;
    EXPECT_NEAR(double(duration) / kSecond100ns, 10.0, 0.07);

    std::vector<float> decoded = DecodeWma(8000, 1, 24000, enc.CodecData(), enc.BlockAlign(), packets);
    // The decoder trims its start-up delay; what is left lasts the 10 s that went in.
    EXPECT_NEAR(double(decoded.size()), 80000.0, 2 * 512.0);
    ExpectTone(decoded, 440, 8000);
}

TEST(WmaEncoder, ResamplesSixteenBitStereoInput) {
    const WmaFormat* f = FindWma(22050, 2, 64000);
    ASSERT_NE(f, nullptr);
    WmaEncoder enc;
    ASSERT_TRUE(enc.Open(*f, PcmFormat{44100, 2, 16}));
    // 44 blocks of 1024 and two samples more at 22050 Hz: the resampler's tail must reach a 45th.
    const std::size_t samples = (44 * 1024 + 2) * 2;
    std::vector<int16_t> pcm(samples * 2);
    for (std::size_t i = 0; i < samples; ++i)
        pcm[2 * i] = pcm[2 * i + 1] = int16_t(std::lround(20480 * std::sin(2 * kPi * 1000 * double(i) / 44100)));
    std::vector<EncodedPacket> out;
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    const std::size_t chunk = 4410 * 4;  // 100 ms
    for (std::size_t off = 0; off < pcm.size() * 2; off += chunk)
        ASSERT_TRUE(
            enc.Encode(bytes + off, std::min(chunk, pcm.size() * 2 - off), int64_t(off / chunk) * 1000000, out));
    ASSERT_TRUE(enc.Finish(out));
    EXPECT_EQ(out.size(), 45u);
    std::vector<float> decoded = DecodeWma(22050, 2, 64000, enc.CodecData(), enc.BlockAlign(), out);
    ExpectTone(decoded, 1000, 22050);
}

TEST(WmaEncoder, TimesFollowTheBufferClockThroughJitterAndPauses) {
    WmaEncoder enc;
    ASSERT_TRUE(enc.Open(*FindWma(8000, 1, 24000), PcmFormat{8000, 1, 8}));
    std::vector<uint8_t> pcm = SineU8(2000, 440, 8000);
    std::vector<EncodedPacket> out;
    // Jitter of a few ms keeps the stream contiguous.
    for (int i = 0; i < 8; ++i)
        ASSERT_TRUE(enc.Encode(pcm.data(), 2000, i * 2500000LL + (i % 2 ? 30000 : -20000), out));
    ASSERT_EQ(out.size(), 31u);  // 16000 samples
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_EQ(out[i].time100ns - out[i - 1].time100ns, 640000);
    // A pause: the next buffer arrives at 10 s; blocks move there with the queued samples before it.
    const std::size_t beforePause = out.size();
    ASSERT_TRUE(enc.Encode(pcm.data(), 2000, 10 * kSecond100ns, out));
    ASSERT_GT(out.size(), beforePause);
    const int64_t queued = 16000 - 31 * 512;  // samples still waiting when the pause ended
    EXPECT_EQ(out[beforePause].time100ns, 10 * kSecond100ns - queued * kSecond100ns / 8000);
    // A step back in the clock must not make blocks go back in time.
    ASSERT_TRUE(enc.Encode(pcm.data(), 2000, 5 * kSecond100ns, out));
    ASSERT_TRUE(enc.Finish(out));
    for (std::size_t i = 1; i < out.size(); ++i) EXPECT_GT(out[i].time100ns, out[i - 1].time100ns) << i;
}

TEST(WmaEncoder, LifecycleAndBadInput) {
    WmaEncoder enc;
    std::vector<EncodedPacket> out;
    uint8_t pcm[4] = {128, 128, 128, 128};
    EXPECT_FALSE(enc.Encode(pcm, 4, 0, out));
    EXPECT_FALSE(enc.Finish(out));
    EXPECT_EQ(enc.BlockAlign(), 0);
    const WmaFormat& f = *FindWma(8000, 1, 24000);
    EXPECT_FALSE(enc.Open(f, PcmFormat{8000, 1, 12}));
    EXPECT_FALSE(enc.Open(f, PcmFormat{0, 1, 8}));
    ASSERT_TRUE(enc.Open(f, PcmFormat{8000, 2, 16}));
    EXPECT_FALSE(enc.Encode(pcm, 3, 0, out));  // not whole sample frames
    ASSERT_TRUE(enc.Finish(out));
    EXPECT_TRUE(out.empty());  // nothing in, nothing out
    EXPECT_FALSE(enc.Encode(pcm, 4, 0, out));
    enc.Close();
    enc.Close();
    EXPECT_TRUE(enc.CodecData().empty());
}

// --- video -------------------------------------------------------------------------------------

class WmvEncoderRoundTrip : public ::testing::TestWithParam<uint32_t> {};

TEST_P(WmvEncoderRoundTrip, BottomUpPictureDecodesUprightAndClose) {
    ASSERT_TRUE(HasVideoEncoder(GetParam()));
    WmvEncoder enc;
    RgbFrameFormat in{320, 240, 24};
    ASSERT_TRUE(enc.Open(Settings(GetParam(), 800000), in));
    std::vector<EncodedPacket> packets = EncodePattern(enc, in, 30);
    ASSERT_EQ(packets.size(), 30u);
    EXPECT_TRUE(packets.front().keyFrame);
    for (std::size_t i = 0; i < packets.size(); ++i) EXPECT_EQ(packets[i].time100ns, int64_t(i) * 666666);
    if (GetParam() == FourCC('W', 'M', 'V', '2')) {
        EXPECT_EQ(enc.CodecData().size(), 4u);
    }

    AVCodecID id = GetParam() == FourCC('W', 'M', 'V', '2') ? AV_CODEC_ID_WMV2 : AV_CODEC_ID_WMV1;
    std::vector<std::vector<uint8_t>> pictures = DecodeVideo(id, enc.CodecData(), 320, 240, packets);
    ASSERT_EQ(pictures.size(), 30u);
    for (int t : {0, 14, 29}) {
        ExpectQuadrants(pictures[t], 320, 240);
        EXPECT_GT(Psnr(pictures[t], 320, 240, t), 30.0) << "frame " << t;
    }
}

INSTANTIATE_TEST_SUITE_P(FourCCs, WmvEncoderRoundTrip,
                         ::testing::Values(FourCC('W', 'M', 'V', '2'), FourCC('W', 'M', 'V', '1')));

TEST(WmvEncoder, ReadsEveryRgbLayoutWithRowPadding) {
    // 318 pixels: 24-bit rows need 2 bytes of padding; the encoder scales to 320.
    for (uint16_t bits : {uint16_t(24), uint16_t(32), uint16_t(16)}) {
        WmvEncoder enc;
        RgbFrameFormat in{318, 240, bits};
        ASSERT_TRUE(enc.Open(Settings(FourCC('W', 'M', 'V', '2'), 800000), in)) << bits;
        std::vector<EncodedPacket> packets = EncodePattern(enc, in, 2);
        std::vector<std::vector<uint8_t>> pictures = DecodeVideo(AV_CODEC_ID_WMV2, enc.CodecData(), 320, 240, packets);
        ASSERT_EQ(pictures.size(), 2u) << bits;
        SCOPED_TRACE(bits);
        ExpectQuadrants(pictures[1], 320, 240);
    }
}

TEST(WmvEncoder, KeyFramesFollowTheSpacing) {
    WmvEncoder enc;
    RgbFrameFormat in{320, 240, 24};
    ASSERT_TRUE(enc.Open(Settings(FourCC('W', 'M', 'V', '2'), 300000, kSecond100ns), in));
    std::vector<EncodedPacket> packets = EncodePattern(enc, in, 46);
    ASSERT_EQ(packets.size(), 46u);
    for (std::size_t i = 0; i < packets.size(); ++i) EXPECT_EQ(packets[i].keyFrame, i % 15 == 0) << i;
}

TEST(WmvEncoder, LowBitrateIsApproachedOnAMovingPicture) {
    // 20 s at 15 frames/s; the moving square keeps every frame different. Short key-frame
    // spacing at a low target is where rate control overshoots most.
    const std::pair<uint32_t, uint64_t> cases[] = {{40000, kSecond100ns}, {80000, 20 * kSecond100ns}};
    for (auto [target, spacing] : cases) {
        WmvEncoder enc;
        RgbFrameFormat in{320, 240, 24};
        ASSERT_TRUE(enc.Open(Settings(FourCC('W', 'M', 'V', '2'), target, spacing), in));
        std::size_t bytes = 0;
        for (const EncodedPacket& p : EncodePattern(enc, in, 300)) bytes += p.data.size();
        double achieved = bytes * 8 / 20.0;  // bits/s
        EXPECT_LT(achieved, target * 1.2) << target;
        EXPECT_GT(achieved, target * 0.8) << target;
    }
}

TEST(WmvEncoder, QualityFixesTheQuantiser) {
    std::size_t sizes[2] = {0, 0};
    for (int i = 0; i < 2; ++i) {
        VideoEncodeSettings s = Settings(FourCC('W', 'M', 'V', '2'), 100000);
        s.quality = i == 0 ? 10 : 95;
        WmvEncoder enc;
        RgbFrameFormat in{320, 240, 24};
        ASSERT_TRUE(enc.Open(s, in));
        for (const EncodedPacket& p : EncodePattern(enc, in, 10)) sizes[i] += p.data.size();
    }
    EXPECT_GT(sizes[1], sizes[0] * 3);
}

TEST(WmvEncoder, KeepsGivenTimesAndRefusesBadInput) {
    EXPECT_FALSE(HasVideoEncoder(FourCC('W', 'M', 'V', '3')));
    WmvEncoder enc;
    RgbFrameFormat in{320, 240, 24};
    EXPECT_FALSE(enc.Open(Settings(FourCC('W', 'M', 'V', '3'), 100000), in));
    EXPECT_FALSE(enc.Open(Settings(FourCC('W', 'M', 'V', '2'), 100000), RgbFrameFormat{320, 240, 8}));
    ASSERT_TRUE(enc.Open(Settings(FourCC('W', 'M', 'V', '2'), 100000), in));
    std::vector<uint8_t> dib = MakeDib(320, 240, 24, 0);
    std::vector<EncodedPacket> out;
    EXPECT_FALSE(enc.Encode(dib.data(), dib.size() - 1, 0, out));
    // Irregular capture times, two of them closer than a frame period.
    const int64_t times[] = {1000, 700000, 900000, 2100000};
    for (int64_t t : times) ASSERT_TRUE(enc.Encode(dib.data(), dib.size(), t, out));
    ASSERT_TRUE(enc.Finish(out));
    ASSERT_EQ(out.size(), 4u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(out[i].time100ns, times[i]);
    EXPECT_FALSE(enc.Encode(dib.data(), dib.size(), 3000000, out));
    enc.Close();
    enc.Close();
    EXPECT_TRUE(enc.CodecData().empty());
}
