#include "media/mp4_writer.h"

#include "media/thread_cpu_meter.h"

#include <algorithm>
#include <ctime>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
}

namespace tovra {

namespace {

constexpr int64_t kMonoAudioBitrate = 96000;
constexpr int64_t kStereoAudioBitrate = 128000;
constexpr int kKeyFrameSeconds = 10;

std::string Describe(const std::string& what, int code) {
    char reason[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, reason, sizeof reason);
    return what + ": " + reason;
}

}  // namespace

struct Mp4Writer::State {
    explicit State(std::string& errorOut) : error(errorOut) {}
    std::string& error;  // the writer's
    Mp4Settings settings;
    AVFormatContext* format = nullptr;
    AVCodecContext* video = nullptr;
    AVStream* videoStream = nullptr;
    AVFrame* picture = nullptr;
    bool havePicture = false;
    int64_t videoPts = 0;
    AVCodecContext* audio = nullptr;
    AVStream* audioStream = nullptr;
    AVAudioFifo* fifo = nullptr;
    AVFrame* sound = nullptr;
    std::vector<float> planar;  // one call's sound, channel after channel
    int64_t audioPts = 0;
    AVPacket* packet = nullptr;

    ~State() {
        if (format) {
            if (format->pb) avio_closep(&format->pb);
            avformat_free_context(format);  // frees the chapters too
        }
        avcodec_free_context(&video);
        avcodec_free_context(&audio);
        if (fifo) av_audio_fifo_free(fifo);
        av_frame_free(&picture);
        av_frame_free(&sound);
        av_packet_free(&packet);
    }

    bool Fail(const std::string& what, int code) {
        error = Describe(what, code);
        return false;
    }

    // Sends a frame (null: drain) and writes every packet the encoder gives back.
    bool Encode(AVCodecContext* codec, AVStream* stream, AVFrame* frame) {
        int sent = avcodec_send_frame(codec, frame);
        if (sent < 0) return Fail("Cannot encode", sent);
        for (;;) {
            const int got = avcodec_receive_packet(codec, packet);
            if (got == AVERROR(EAGAIN) || got == AVERROR_EOF) return true;
            if (got < 0) return Fail("Cannot encode", got);
            av_packet_rescale_ts(packet, codec->time_base, stream->time_base);
            packet->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format, packet);
            if (written < 0) return Fail("Cannot write the MP4 file", written);
        }
    }

    // Encodes the buffered sound in the encoder's frames; flush: the rest too, padded with silence.
    bool EncodeWholeAudioFrames(bool flush) {
        const int size = audio->frame_size;
        while (av_audio_fifo_size(fifo) >= size || (flush && av_audio_fifo_size(fifo) > 0)) {
            const int take = std::min(size, av_audio_fifo_size(fifo));
            const int writable = av_frame_make_writable(sound);
            if (writable < 0) return Fail("Cannot encode the sound", writable);
            av_samples_set_silence(sound->extended_data, 0, size, settings.audioChannels, audio->sample_fmt);
            av_audio_fifo_read(fifo, reinterpret_cast<void**>(sound->extended_data), take);
            sound->pts = audioPts;
            audioPts += size;
            if (!Encode(audio, audioStream, sound)) return false;
        }
        return true;
    }
};

Mp4Writer::Mp4Writer() = default;
Mp4Writer::~Mp4Writer() = default;

bool Mp4Writer::Open(const std::string& path, const Mp4Settings& settings) {
    ThreadCpuMeter meter(cpuNs_);
    state_.reset();
    error_.clear();
    // x264's and AAC's closing statistics would bury the progress the caller prints.
    if (av_log_get_level() > AV_LOG_WARNING) av_log_set_level(AV_LOG_WARNING);
    if (settings.width <= 0 || settings.height <= 0 || settings.width % 2 || settings.height % 2 ||
        settings.frameRate <= 0 || settings.audioChannels < 0 || settings.audioChannels > 2 ||
        (settings.audioChannels > 0 && settings.audioRate <= 0)) {
        error_ = "Unsupported MP4 settings";
        return false;
    }
    auto s = std::make_unique<State>(error_);
    s->settings = settings;
    auto fail = [&](const std::string& what, int code) { return s->Fail(what, code); };
    int done = avformat_alloc_output_context2(&s->format, nullptr, "mp4", path.c_str());
    if (done < 0) return fail("Cannot make an MP4 file", done);

    const AVCodec* x264 = avcodec_find_encoder_by_name("libx264");
    if (!x264) return fail("No H.264 encoder", AVERROR_ENCODER_NOT_FOUND);
    s->video = avcodec_alloc_context3(x264);
    s->video->width = settings.width;
    s->video->height = settings.height;
    s->video->pix_fmt = AV_PIX_FMT_YUV420P;
    s->video->time_base = AVRational{1, settings.frameRate};
    s->video->framerate = AVRational{settings.frameRate, 1};
    s->video->gop_size = kKeyFrameSeconds * settings.frameRate;  // seeking stays quick, slides cost little
    s->video->thread_count = 2;  // the export runs beside the editor, which stays responsive
    // Players take HD pictures as BT.709 but guess for smaller ones: the tags tell every player
    // the matrix ConvertBgrxToI420 uses.
    s->video->color_primaries = AVCOL_PRI_BT709;
    s->video->color_trc = AVCOL_TRC_BT709;
    s->video->colorspace = AVCOL_SPC_BT709;
    s->video->color_range = AVCOL_RANGE_MPEG;
    s->video->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;  // MP4 keeps the parameter sets in its index
    av_opt_set(s->video->priv_data, "preset", "veryfast", 0);
    av_opt_set(s->video->priv_data, "crf", "23", 0);
    av_opt_set(s->video->priv_data, "profile", "high", 0);
    done = avcodec_open2(s->video, x264, nullptr);
    if (done < 0) return fail("Cannot start the H.264 encoder", done);
    s->videoStream = avformat_new_stream(s->format, nullptr);
    s->videoStream->time_base = s->video->time_base;
    avcodec_parameters_from_context(s->videoStream->codecpar, s->video);
    s->picture = av_frame_alloc();
    s->picture->format = AV_PIX_FMT_YUV420P;
    s->picture->width = settings.width;
    s->picture->height = settings.height;
    done = av_frame_get_buffer(s->picture, 0);
    if (done < 0) return fail("Cannot convert the pictures", done);

    if (settings.audioChannels > 0) {
        const AVCodec* aac = avcodec_find_encoder_by_name("aac");
        if (!aac) return fail("No AAC encoder", AVERROR_ENCODER_NOT_FOUND);
        s->audio = avcodec_alloc_context3(aac);
        s->audio->sample_rate = settings.audioRate;
        s->audio->sample_fmt = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&s->audio->ch_layout, settings.audioChannels);
        s->audio->bit_rate = settings.audioChannels == 1 ? kMonoAudioBitrate : kStereoAudioBitrate;
        s->audio->time_base = AVRational{1, settings.audioRate};
        s->audio->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        done = avcodec_open2(s->audio, aac, nullptr);
        if (done < 0) return fail("Cannot start the AAC encoder", done);
        s->audioStream = avformat_new_stream(s->format, nullptr);
        s->audioStream->time_base = s->audio->time_base;
        avcodec_parameters_from_context(s->audioStream->codecpar, s->audio);
        s->fifo = av_audio_fifo_alloc(AV_SAMPLE_FMT_FLTP, settings.audioChannels, s->audio->frame_size * 2);
        s->sound = av_frame_alloc();
        s->sound->format = AV_SAMPLE_FMT_FLTP;
        av_channel_layout_default(&s->sound->ch_layout, settings.audioChannels);
        s->sound->sample_rate = settings.audioRate;
        s->sound->nb_samples = s->audio->frame_size;
        done = s->fifo ? av_frame_get_buffer(s->sound, 0) : AVERROR(ENOMEM);
        if (done < 0) return fail("Cannot encode the sound", done);
    }

    s->packet = av_packet_alloc();
    done = avio_open(&s->format->pb, path.c_str(), AVIO_FLAG_WRITE);
    if (done < 0) return fail("Cannot write " + path, done);
    // The index goes before the data when the file is finished (a second pass moves the data).
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    done = avformat_write_header(s->format, &options);
    av_dict_free(&options);
    if (done < 0) return fail("Cannot write " + path, done);
    state_ = std::move(s);
    return true;
}

bool Mp4Writer::WriteFrame(const uint8_t* bgrx, int stride, const std::vector<PixelRect>& changed) {
    ThreadCpuMeter meter(cpuNs_);
    State* s = state_.get();
    if (!s) {
        error_ = "No MP4 file is open";
        return false;
    }
    // The encoder may still hold the picture it was sent last; a copy is made then, so the parts
    // that did not change are kept either way.
    const int writable = av_frame_make_writable(s->picture);
    if (writable < 0) return s->Fail("Cannot convert the picture", writable);
    const int width = s->settings.width, height = s->settings.height;
    const AVFrame* p = s->picture;
    const I420Planes planes{p->data[0], p->data[1], p->data[2], p->linesize[0], p->linesize[1], p->linesize[2]};
    if (!s->havePicture) {
        ConvertBgrxToI420(bgrx, stride, width, height, PixelRect{0, 0, width, height}, planes);
        s->havePicture = true;
    } else {
        for (const PixelRect& part : changed) ConvertBgrxToI420(bgrx, stride, width, height, part, planes);
    }
    s->picture->pts = s->videoPts++;
    return s->Encode(s->video, s->videoStream, s->picture);
}

bool Mp4Writer::WriteFrame(const uint8_t* bgrx, int stride, bool sameAsPrevious) {
    std::vector<PixelRect> changed;
    if (!sameAsPrevious && state_) changed.push_back(PixelRect{0, 0, state_->settings.width, state_->settings.height});
    return WriteFrame(bgrx, stride, changed);
}

bool Mp4Writer::WriteAudio(const int16_t* samples, size_t frames) {
    ThreadCpuMeter meter(cpuNs_);
    State* s = state_.get();
    if (!s || !s->audio) {
        error_ = s ? "The MP4 file has no sound track" : "No MP4 file is open";
        return false;
    }
    const int channels = s->settings.audioChannels;
    s->planar.resize(frames * channels);
    void* planes[2] = {};
    for (int c = 0; c < channels; ++c) {
        float* plane = s->planar.data() + frames * c;
        for (size_t i = 0; i < frames; ++i) plane[i] = samples[i * channels + c] / 32768.0f;
        planes[c] = plane;
    }
    if (av_audio_fifo_write(s->fifo, planes, static_cast<int>(frames)) < static_cast<int>(frames)) {
        error_ = "Cannot buffer the sound";
        return false;
    }
    return s->EncodeWholeAudioFrames(false);
}

void Mp4Writer::SetChapters(std::vector<Mp4Chapter> chapters) {
    State* s = state_.get();
    if (!s) return;
    AVFormatContext* format = s->format;
    for (unsigned i = 0; i < format->nb_chapters; ++i) {
        av_dict_free(&format->chapters[i]->metadata);
        av_freep(&format->chapters[i]);
    }
    av_freep(&format->chapters);
    format->nb_chapters = 0;
    int count = 0;  // the array's own count is unsigned
    for (size_t i = 0; i < chapters.size(); ++i) {
        auto* chapter = static_cast<AVChapter*>(av_mallocz(sizeof(AVChapter)));
        if (!chapter) return;
        chapter->id = static_cast<int64_t>(i);
        chapter->time_base = AVRational{1, 1000};
        chapter->start = static_cast<int64_t>(chapters[i].startMs);
        chapter->end = static_cast<int64_t>(chapters[i].endMs);
        av_dict_set(&chapter->metadata, "title", chapters[i].title.c_str(), 0);
        if (av_dynarray_add_nofree(&format->chapters, &count, chapter) < 0) {
            av_dict_free(&chapter->metadata);
            av_free(chapter);
            return;
        }
        format->nb_chapters = static_cast<unsigned>(count);
    }
}

bool Mp4Writer::Close() {
    ThreadCpuMeter meter(cpuNs_);
    std::unique_ptr<State> s = std::move(state_);
    if (!s) {
        error_ = "No MP4 file is open";
        return false;
    }
    bool ok = true;
    if (s->audio) ok = s->EncodeWholeAudioFrames(true) && s->Encode(s->audio, s->audioStream, nullptr);
    ok = ok && s->Encode(s->video, s->videoStream, nullptr);
    if (ok) {
        const int written = av_write_trailer(s->format);
        if (written < 0) ok = s->Fail("Cannot finish the MP4 file", written);
    }
    if (ok) {
        const int closed = avio_closep(&s->format->pb);
        if (closed < 0) ok = s->Fail("Cannot write the MP4 file", closed);
    }
    return ok;
}

}  // namespace tovra
