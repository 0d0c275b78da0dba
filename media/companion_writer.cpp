#include "media/companion_writer.h"

#include "media/thread_cpu_meter.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include "media/picture_converter.h"
#include "platform/files/whole_file.h"
#include "platform/text/code_page.h"

namespace tovra {

namespace {

// The rates libopus takes input at; any other is resampled to the highest.
constexpr int kOpusRates[] = {8000, 12000, 16000, 24000, 48000};
constexpr int kOpusFullRate = 48000;
// QVGA as before; VGA has four times the pixels, and a little over twice the bits keeps it as sharp.
constexpr int64_t kVideoBitrate = 150000;
constexpr int64_t kVgaVideoBitrate = 350000;
constexpr int64_t kAudioBitrate = 48000;
constexpr int64_t kNarrowbandAudioBitrate = 32000;
constexpr int kOpusWidebandRate = 16000;
// How much a recording cut short by a crash or a full disk may lose, at most: the timeline
// reaches the disk this often, and the WebM's clusters twice as often (a cluster reaches the file
// when the next one begins, and the interleaving holds a packet or two more).
constexpr uint64_t kKeepOnDiskMs = 1000;
constexpr int64_t kClusterMs = 500;

}  // namespace

std::string FormatTimelineScript(const std::vector<TimelineCommand>& commands, PositionSpace space,
                                 const std::vector<ViewSize>& views) {
    auto quoted = [](const std::string& codePage) {
        std::string out = "\"";
        for (char16_t c : text::FromCodePage(codePage)) {
            if (c >= 0x20 && c < 0x7f && c != '"' && c != '\\' && c != '<' && c != '>' && c != '&') {
                out += static_cast<char>(c);
            } else {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(c));
                out += escape;
            }
        }
        return out + "\"";
    };
    std::string script = "// The recording's script commands: [time in ms, type, parameter], in order.\r\nvar tovraTimeline = [";
    for (size_t i = 0; i < commands.size(); ++i) {
        script += i ? ",\r\n" : "\r\n";
        script += "[" + std::to_string(commands[i].timeMs) + "," + quoted(commands[i].type) + "," +
                  quoted(commands[i].parameter) + "]";
    }
    script += "\r\n];\r\n";
    script += "// Where the positions lie: \"slide\", 720 x 540 slide points; \"view\", the view's pixels, the view\r\n"
              "// being [width, height] from [time in ms, ...] on.\r\n";
    if (space == PositionSpace::Slide) return script + "var tovraSpace = {kind: \"slide\", width: 720, height: 540};\r\n";
    script += "var tovraSpace = {kind: \"view\", sizes: [";
    for (size_t i = 0; i < views.size(); ++i) {
        script += (i ? ", [" : "[") + std::to_string(views[i].timeMs) + "," + std::to_string(views[i].width) + "," +
                  std::to_string(views[i].height) + "]";
    }
    return script + "]};\r\n";
}

bool ParseTimelineSpace(const std::string& script, PositionSpace& space, std::vector<ViewSize>& views) {
    const std::size_t at = script.rfind("var tovraSpace = {kind: \"");
    if (at == std::string::npos) return false;
    std::size_t pos = at + std::strlen("var tovraSpace = {kind: \"");
    if (script.compare(pos, 6, "slide\"") == 0) {
        space = PositionSpace::Slide;
        views.clear();
        return true;
    }
    const std::string sizes = "view\", sizes: [";
    if (script.compare(pos, sizes.size(), sizes) != 0) return false;
    pos += sizes.size();
    std::vector<ViewSize> found;
    // "[time,width,height], [time,width,height]]}"
    while (pos < script.size() && script[pos] != ']') {
        unsigned long long time = 0;
        int width = 0, height = 0, used = 0;
        if (std::sscanf(script.c_str() + pos, " , [%llu,%d,%d]%n", &time, &width, &height, &used) != 3 &&
            std::sscanf(script.c_str() + pos, " [%llu,%d,%d]%n", &time, &width, &height, &used) != 3) {
            return false;
        }
        found.push_back({time, width, height});
        pos += static_cast<std::size_t>(used);
    }
    space = PositionSpace::View;
    views = std::move(found);
    return true;
}

struct CompanionWriter::State {
    std::string timelinePath;
    std::vector<TimelineCommand> commands;
    PositionSpace space = PositionSpace::View;
    std::vector<ViewSize> views;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    SwsContext* scale = nullptr;
    AVFrame* picture = nullptr;
    int width = 0, height = 0;
    bool bottomUp = true;
    bool i420 = false;  // frames come as the encoder takes them: copied, not converted
    int64_t lastVideoPts = -1;
    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    SwrContext* resample = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* sound = nullptr;
    int inputBytesPerSample = 1;
    int opusRate = kOpusFullRate;
    int64_t audioPts = -1;  // next sample's time at opusRate
    bool headerWritten = false;
    bool failed = false;
    // What the timeline on disk holds: the time it was written at and how much it had.
    uint64_t timelineWrittenMs = 0;
    size_t timelineCommands = static_cast<size_t>(-1);
    size_t timelineViews = 0;

    ~State() {
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);
        }
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        sws_freeContext(scale);
        swr_free(&resample);
        if (fifo) av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&sound);
    }

    // Sends a frame (null: drain) and writes every packet the encoder gives back.
    bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        if (avcodec_send_frame(codec, frame) < 0) return false;
        AVPacket* packet = av_packet_alloc();
        bool ok = true;
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) break;
            if (got < 0) {
                ok = false;
                break;
            }
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            if (av_interleaved_write_frame(format, packet) < 0) ok = false;
        }
        av_packet_free(&packet);
        return ok;
    }

    // Rewrites the timeline whole, so that it reads as a script at every moment; false when the
    // file could not be written (the one before stays).
    bool WriteTimeline(bool final) {
        timelineCommands = commands.size();
        timelineViews = views.size();
        return WriteFileAtomically(timelinePath, FormatTimelineScript(commands, space, views),
                                   final ? Durability::Synced : Durability::Unsynced);
    }
    // The timeline on disk is brought up to date once a second while there is news for it.
    void KeepTimeline(uint64_t timeMs) {
        if (timeMs < timelineWrittenMs + kKeepOnDiskMs) return;
        if (commands.size() == timelineCommands && views.size() == timelineViews) return;
        timelineWrittenMs = timeMs;
        WriteTimeline(false);
    }

    bool EncodeWholeAudioFrames(bool flush) {
        const int size = audio->frame_size;
        while (av_audio_fifo_size(fifo) >= size || (flush && av_audio_fifo_size(fifo) > 0)) {
            const int take = std::min(size, av_audio_fifo_size(fifo));
            av_frame_make_writable(sound);
            sound->nb_samples = size;
            av_samples_set_silence(sound->data, 0, size, 1, audio->sample_fmt);
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->data), take);
            sound->pts = audioPts;
            audioPts += size;
            if (!Encode(audio, audioStream, sound)) return false;
        }
        return true;
    }
};

CompanionWriter::CompanionWriter() = default;

CompanionWriter::~CompanionWriter() { Close(); }


double CompanionWriter::CpuSeconds() const {
    std::lock_guard<std::mutex> guard(lock_);
    return cpuNs_ / 1e9;
}

bool CompanionWriter::IsWriting() const {
    std::lock_guard<std::mutex> guard(lock_);
    return state_ != nullptr;
}

bool CompanionWriter::Start(const std::string& webmPath, const std::string& timelinePath,
                            const wmf::BitmapInfoHeader& picture, uint32_t frameRate, const wmf::WaveFormatEx* sound) {
    Close();
    std::lock_guard<std::mutex> guard(lock_);
    // Made after the lock is taken, so that it ends while the lock is still held.
    ThreadCpuMeter meter(cpuNs_);
    if (!(picture.bitCount == 24 || (IsI420(picture) && picture.height > 0)) || picture.width <= 0 || picture.height == 0 ||
        frameRate == 0) {
        return false;
    }
    if (sound && (sound->channels != 1 || (sound->bitsPerSample != 8 && sound->bitsPerSample != 16))) return false;
    auto s = std::make_unique<State>();
    s->timelinePath = timelinePath;
    s->width = picture.width;
    s->height = picture.height > 0 ? picture.height : -picture.height;
    s->bottomUp = picture.height > 0;
    s->i420 = IsI420(picture);
    if (avformat_alloc_output_context2(&s->format, nullptr, "webm", webmPath.c_str()) < 0) return false;
    // Every cluster goes to the file as it ends, and a cluster ends every half second: a
    // recording cut short plays up to its last second.
    s->format->flush_packets = 1;
    const bool globalHeader = s->format->oformat->flags & AVFMT_GLOBALHEADER;

    const AVCodec* vp8 = avcodec_find_encoder_by_name("libvpx");
    if (!vp8) return false;
    s->video = avcodec_alloc_context3(vp8);
    s->video->width = s->width;
    s->video->height = s->height;
    s->video->pix_fmt = AV_PIX_FMT_YUV420P;
    s->video->time_base = AVRational{1, 1000};
    s->video->framerate = AVRational{static_cast<int>(frameRate), 1};
    s->video->bit_rate = s->width >= 640 ? kVgaVideoBitrate : kVideoBitrate;
    s->video->gop_size = static_cast<int>(frameRate) * 5;  // a key frame every 5 s keeps seeking quick
    if (globalHeader) s->video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    // Real-time settings: the encoder runs beside the lecture on the camera's thread.
    av_opt_set(s->video->priv_data, "deadline", "realtime", 0);
    av_opt_set_int(s->video->priv_data, "cpu-used", 16, 0);  // the fastest; half the time of 8 here
    av_opt_set_int(s->video->priv_data, "lag-in-frames", 0, 0);
    // A camera's still background differs from frame to frame only by sensor noise; blocks that
    // change this little are not coded again. That halves the encoding of a lecture's pictures
    // (and keeps the bits for what moves); below 1000 the noise still counts as change.
    av_opt_set_int(s->video->priv_data, "static-thresh", 1000, 0);
    if (avcodec_open2(s->video, vp8, nullptr) < 0) return false;
    s->videoStream = avformat_new_stream(s->format, nullptr);
    s->videoStream->time_base = s->video->time_base;
    avcodec_parameters_from_context(s->videoStream->codecpar, s->video);
    if (!s->i420) {
        s->scale = sws_getContext(s->width, s->height, AV_PIX_FMT_BGR24, s->width, s->height, AV_PIX_FMT_YUV420P,
                                  SWS_BILINEAR, nullptr, nullptr, nullptr);
        if (!s->scale) return false;
    }
    s->picture = av_frame_alloc();
    s->picture->format = AV_PIX_FMT_YUV420P;
    s->picture->width = s->width;
    s->picture->height = s->height;
    if (av_frame_get_buffer(s->picture, 0) < 0) return false;

    if (sound) {
        const AVCodec* opus = avcodec_find_encoder_by_name("libopus");
        if (!opus) return false;
        // The microphone's own rate where libopus takes it: resampling 8 kHz sound up to 48 kHz
        // cost more than the encoding and adds nothing; players decode Opus at 48 kHz anyway.
        const int inputRate = static_cast<int>(sound->samplesPerSec);
        s->opusRate = std::find(std::begin(kOpusRates), std::end(kOpusRates), inputRate) != std::end(kOpusRates)
                          ? inputRate
                          : kOpusFullRate;
        s->audio = avcodec_alloc_context3(opus);
        s->audio->sample_rate = s->opusRate;
        s->audio->sample_fmt = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&s->audio->ch_layout, 1);
        // Wideband speech gets the rate it needs; a narrowband microphone's needs less.
        s->audio->bit_rate = s->opusRate >= kOpusWidebandRate ? kAudioBitrate : kNarrowbandAudioBitrate;
        s->audio->time_base = AVRational{1, s->opusRate};
        if (globalHeader) s->audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        // The least complex analysis: a microphone's narrowband speech loses nothing audible by it,
        // and it halves the encoder's time. Full-band speech at 48 kbit/s takes 3, a fifth less
        // time than 5 for a difference no one hears at that rate.
        av_opt_set_int(s->audio, "compression_level", s->opusRate >= kOpusWidebandRate ? 3 : 0, 0);
        if (avcodec_open2(s->audio, opus, nullptr) < 0) return false;
        s->audioStream = avformat_new_stream(s->format, nullptr);
        s->audioStream->time_base = s->audio->time_base;
        avcodec_parameters_from_context(s->audioStream->codecpar, s->audio);
        s->inputBytesPerSample = sound->bitsPerSample / 8;
        AVChannelLayout mono;
        av_channel_layout_default(&mono, 1);
        if (swr_alloc_set_opts2(&s->resample, &mono, AV_SAMPLE_FMT_S16, s->opusRate, &mono,
                                sound->bitsPerSample == 8 ? AV_SAMPLE_FMT_U8 : AV_SAMPLE_FMT_S16, inputRate, 0,
                                nullptr) < 0 ||
            swr_init(s->resample) < 0) {
            return false;
        }
        s->fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_S16, 1, s->opusRate);
        s->sound = av_frame_alloc();
        s->sound->format = AV_SAMPLE_FMT_S16;
        av_channel_layout_default(&s->sound->ch_layout, 1);
        s->sound->sample_rate = s->opusRate;
        s->sound->nb_samples = s->audio->frame_size;
        if (av_frame_get_buffer(s->sound, 0) < 0) return false;
    }

    if (avio_open(&s->format->pb, webmPath.c_str(), AVIO_FLAG_WRITE) < 0) return false;
    AVDictionary* options = nullptr;
    av_dict_set_int(&options, "cluster_time_limit", kClusterMs, 0);
    const int written = avformat_write_header(s->format, &options);
    av_dict_free(&options);
    if (written < 0) return false;
    s->headerWritten = true;
    // The timeline is there from the start, empty until the first commands.
    s->WriteTimeline(false);
    state_ = std::move(s);
    return true;
}

bool CompanionWriter::WriteAudio(uint64_t timeMs, const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> guard(lock_);
    ThreadCpuMeter meter(cpuNs_);
    State* s = state_.get();
    if (!s || !s->audio || s->failed) return false;
    const int samples = static_cast<int>(length) / s->inputBytesPerSample;
    // The sound starts where the recording's first buffer stands on the time line; after that it
    // runs on without gaps, as the time line itself does.
    if (s->audioPts < 0) s->audioPts = static_cast<int64_t>(timeMs) * s->opusRate / 1000;
    const int room = swr_get_out_samples(s->resample, samples);
    std::vector<int16_t> out(static_cast<size_t>(std::max(room, 1)));
    uint8_t* outPlanes[] = {reinterpret_cast<uint8_t*>(out.data())};
    const uint8_t* inPlanes[] = {data};
    const int made = swr_convert(s->resample, outPlanes, room, inPlanes, samples);
    if (made < 0) return false;
    av_audio_fifo_write(s->fifo, reinterpret_cast<void**>(outPlanes), made);
    if (!s->EncodeWholeAudioFrames(false)) s->failed = true;
    // The sound is the recording's clock: it says when a second has passed.
    s->KeepTimeline(timeMs);
    return !s->failed;
}

bool CompanionWriter::WriteVideo(uint64_t timeMs, const uint8_t* data, uint32_t length) {
    std::lock_guard<std::mutex> guard(lock_);
    ThreadCpuMeter meter(cpuNs_);
    State* s = state_.get();
    if (!s || s->failed) return false;
    const int stride = capture::DibStride(s->width);
    const size_t needed = s->i420 ? capture::I420Size(s->width, s->height) : static_cast<size_t>(stride) * s->height;
    if (length < needed) return false;
    const int64_t pts = static_cast<int64_t>(timeMs);
    if (pts <= s->lastVideoPts) return true;  // two frames in one millisecond: the first stands
    av_frame_make_writable(s->picture);
    if (s->i420) {
        const capture::I420Layout layout = capture::I420LayoutOf(s->width, s->height);
        const uint8_t* planes[4] = {data, data + layout.u, data + layout.v};
        const int strides[4] = {layout.stride, layout.chromaStride, layout.chromaStride};
        av_image_copy(s->picture->data, s->picture->linesize, planes, strides, AV_PIX_FMT_YUV420P, s->width, s->height);
    } else {
        const uint8_t* start = s->bottomUp ? data + static_cast<size_t>(stride) * (s->height - 1) : data;
        const uint8_t* planes[4] = {start};  // swscale reads four entries whatever the format
        const int strides[4] = {s->bottomUp ? -stride : stride};
        sws_scale(s->scale, planes, strides, 0, s->height, s->picture->data, s->picture->linesize);
    }
    s->picture->pts = pts;
    s->lastVideoPts = pts;
    if (!s->Encode(s->video, s->videoStream, s->picture)) s->failed = true;
    return !s->failed;
}

void CompanionWriter::WriteScript(uint64_t timeMs, const std::string& text) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!state_) return;
    const size_t comma = text.find(',');
    TimelineCommand command{timeMs, text.substr(0, comma), comma == std::string::npos ? "" : text.substr(comma + 1)};
    state_->commands.push_back(std::move(command));
}

void CompanionWriter::SetPositionSpace(PositionSpace space) {
    std::lock_guard<std::mutex> guard(lock_);
    if (state_) state_->space = space;
}

void CompanionWriter::SetViewSize(uint64_t timeMs, int width, int height) {
    std::lock_guard<std::mutex> guard(lock_);
    if (!state_ || width <= 0 || height <= 0) return;
    std::vector<ViewSize>& views = state_->views;
    if (!views.empty() && views.back().width == width && views.back().height == height) return;
    // Several sizes at one moment (a window being dragged): the last one holds.
    if (!views.empty() && views.back().timeMs >= timeMs) views.back() = {views.back().timeMs, width, height};
    else views.push_back({timeMs, width, height});
}

bool CompanionWriter::Close() {
    std::lock_guard<std::mutex> guard(lock_);
    ThreadCpuMeter meter(cpuNs_);
    std::unique_ptr<State> s = std::move(state_);
    if (!s) return true;
    bool ok = !s->failed;
    if (s->audio) ok = s->EncodeWholeAudioFrames(true) && s->Encode(s->audio, s->audioStream, nullptr) && ok;
    ok = s->Encode(s->video, s->videoStream, nullptr) && ok;
    if (s->headerWritten) ok = av_write_trailer(s->format) >= 0 && ok;
    // Written whole or not at all: a full disk leaves the timeline of the last second.
    ok = s->WriteTimeline(true) && ok;
    return ok;
}

}  // namespace tovra
