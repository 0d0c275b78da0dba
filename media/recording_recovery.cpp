// Finishing an interrupted recording: the .wmv through the ASF writer, the WebM by copying its
// whole packets into a finished file, the timeline from the .wmv's script stream.
#include "media/recording_recovery.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <ctime>

extern "C" {
#include <libavformat/avformat.h>
}

#include "platform/files/whole_file.h"
#include "platform/text/code_page.h"
#include "platform/wmf/asf_writer.h"

namespace tovra {

namespace {

constexpr std::size_t kMaxTimelineBytes = 64u << 20;

bool Exists(const std::string& path) {
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// The two null-terminated UTF-16LE strings of a script sample, as "type" and "parameter" in the
// code page.
bool SplitScriptSample(const uint8_t* data, int size, TimelineCommand& command) {
    std::u16string parts[2];
    int part = 0;
    for (int i = 0; i + 1 < size && part < 2; i += 2) {
        const char16_t unit = static_cast<char16_t>(data[i] | (data[i + 1] << 8));
        if (unit == 0) {
            ++part;
            continue;
        }
        parts[part] += unit;
    }
    if (part < 2) return false;
    command.type = text::ToCodePage(parts[0]);
    command.parameter = text::ToCodePage(parts[1]);
    return true;
}

}  // namespace

std::vector<TimelineCommand> ReadScriptCommands(const std::string& mediaPath) {
    std::vector<TimelineCommand> commands;
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, mediaPath.c_str(), nullptr, nullptr) < 0) return commands;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        AVPacket* packet = av_packet_alloc();
        while (av_read_frame(input, packet) >= 0) {
            const AVStream* stream = input->streams[packet->stream_index];
            TimelineCommand command;
            const int64_t pts = packet->pts != AV_NOPTS_VALUE ? packet->pts : packet->dts;
            if (stream->codecpar->codec_type == AVMEDIA_TYPE_DATA && pts != AV_NOPTS_VALUE && pts >= 0 &&
                SplitScriptSample(packet->data, packet->size, command)) {
                command.timeMs = static_cast<uint64_t>(av_rescale_q(pts, stream->time_base, AVRational{1, 1000}));
                commands.push_back(std::move(command));
            }
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
    }
    avformat_close_input(&input);
    std::stable_sort(commands.begin(), commands.end(),
                     [](const TimelineCommand& a, const TimelineCommand& b) { return a.timeMs < b.timeMs; });
    return commands;
}

bool FinishWebm(const std::string& path, uint64_t* durationMs) {
    AVFormatContext* input = nullptr;
    if (avformat_open_input(&input, path.c_str(), nullptr, nullptr) < 0) return false;
    const std::string temp = path + ".finishing";
    AVFormatContext* output = nullptr;
    bool ok = avformat_find_stream_info(input, nullptr) >= 0 &&
              avformat_alloc_output_context2(&output, nullptr, "webm", temp.c_str()) >= 0;
    for (unsigned i = 0; ok && i < input->nb_streams; ++i) {
        AVStream* stream = avformat_new_stream(output, nullptr);
        ok = stream && avcodec_parameters_copy(stream->codecpar, input->streams[i]->codecpar) >= 0;
        if (ok) {
            stream->codecpar->codec_tag = 0;
            stream->time_base = input->streams[i]->time_base;
        }
    }
    ok = ok && avio_open(&output->pb, temp.c_str(), AVIO_FLAG_WRITE) >= 0;
    ok = ok && avformat_write_header(output, nullptr) >= 0;
    int64_t endMs = 0;
    if (ok) {
        AVPacket* packet = av_packet_alloc();
        // Up to where the file was cut off: a block cut in two ends the reading.
        while (ok && av_read_frame(input, packet) >= 0) {
            const AVStream* in = input->streams[packet->stream_index];
            if (packet->pts != AV_NOPTS_VALUE) {
                endMs = std::max(endMs, av_rescale_q(packet->pts + std::max<int64_t>(packet->duration, 0), in->time_base,
                                                     AVRational{1, 1000}));
            }
            av_packet_rescale_ts(packet, in->time_base, output->streams[packet->stream_index]->time_base);
            ok = av_interleaved_write_frame(output, packet) >= 0;
            av_packet_unref(packet);
        }
        av_packet_free(&packet);
        ok = av_write_trailer(output) >= 0 && ok;
    }
    if (output) {
        if (output->pb) ok = avio_closep(&output->pb) >= 0 && ok;
        avformat_free_context(output);
    }
    avformat_close_input(&input);
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    if (ok && durationMs) *durationMs = static_cast<uint64_t>(endMs);
    return ok;
}

RecoveredRecording RecoverRecording(const std::string& webFolder, PositionSpace space, const ViewSize& view) {
    RecoveredRecording result;
    const std::string media = webFolder + "/video001.wmv";
    const std::string webm = webFolder + "/video001.webm";
    const std::string timeline = webFolder + "/video001.js";
    wmf::AsfWriter::Recovered asf;
    if (Exists(media) && wmf::AsfWriter::FinishInterrupted(media, &asf)) {
        result.media = true;
        result.durationMs = asf.durationMs;
    }
    if (Exists(webm)) result.companion = FinishWebm(webm);

    // The media file holds every command up to its end; the timeline may lag by a second, or be
    // missing. Its positions' space is kept.
    if (result.media) {
        std::vector<ViewSize> views{view};
        std::string old;
        if (ReadWholeFile(timeline, kMaxTimelineBytes, old) != ReadFileResult::Ok ||
            !ParseTimelineSpace(old, space, views)) {
            views = {view};
        }
        result.timeline = WriteFileAtomically(timeline, FormatTimelineScript(ReadScriptCommands(media), space, views));
    }
    if (result.media && (result.companion || !Exists(webm)) && result.timeline) RemoveRecordingMarker(webFolder);
    return result;
}

}  // namespace tovra
