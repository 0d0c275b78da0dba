// Writes a ten-minute recording (9000 frames, 2400 sound buffers, 1200 commands) as fast as it
// can, then has ffmpeg encode the same pictures and sound to wmv2/wmav2 ASF in the same run,
// and reports both times, their ratio and the video bitrates achieved at 40, 80 and 800 kbit/s;
// then the processor time the browsers' WebM companion adds to the same recording.
// Usage: tovra-media-bench [output folder]
#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "media/companion_writer.h"
#include "media/media_writer.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWidth = 320, kHeight = 240, kFps = 15;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 3;
constexpr int kFrames = 9000, kBuffers = 2400, kDistinctFrames = 60;

// Moving content, top-down B G R rows.
std::vector<std::vector<uint8_t>> MakeFrames() {
    std::vector<std::vector<uint8_t>> frames(kDistinctFrames, std::vector<uint8_t>(kFrameBytes));
    for (int n = 0; n < kDistinctFrames; ++n) {
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                uint8_t* p = &frames[n][(y * kWidth + x) * 3];
                p[0] = static_cast<uint8_t>((x + n * 5) & 0xFF);
                p[1] = static_cast<uint8_t>((y * 2 + n * 3) & 0xFF);
                p[2] = static_cast<uint8_t>(((x ^ y) + n * 7) & 0xFF);
            }
        }
    }
    return frames;
}

std::vector<uint8_t> BottomUp(const std::vector<uint8_t>& topDown) {
    std::vector<uint8_t> out(topDown.size());
    const std::size_t row = kWidth * 3;
    for (int y = 0; y < kHeight; ++y) std::copy_n(&topDown[y * row], row, &out[(kHeight - 1 - y) * row]);
    return out;
}

std::vector<uint8_t> Sound() {
    std::vector<uint8_t> pcm(kBuffers * 2000);
    for (std::size_t i = 0; i < pcm.size(); ++i)
        pcm[i] = static_cast<uint8_t>(128 + 90 * std::sin(i * 2 * M_PI * 440 / 8000));
    return pcm;
}

// Processor time of this process so far (all threads), seconds.
double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// companion: also the browsers' WebM and timeline, fed the same calls, as a recording does.
double WriteWithMediaWriter(const std::string& path, uint32_t bitrate, const std::vector<std::vector<uint8_t>>& frames,
                            const std::vector<uint8_t>& pcm, tovra::CompanionWriter* companion = nullptr) {
    std::vector<std::vector<uint8_t>> dib;
    for (const auto& f : frames) dib.push_back(BottomUp(f));
    tovra::MediaWriter writer;
    const tovra::wmf::WaveFormatEx wave{1, 1, 8000, 8000, 1, 8, {}};
    const tovra::wmf::BitmapInfoHeader header{40, kWidth, kHeight, 1, 24, 0, kFrameBytes};
    const auto start = Clock::now();
    if (!writer.Start(path, header, kFps, bitrate, &wave)) return -1;
    if (companion && !companion->Start(path + ".webm", path + ".js", header, kFps, &wave)) return -1;
    int frame = 0;
    for (int b = 1; b <= kBuffers; ++b) {
        const uint32_t clock = b * 250;
        for (; frame < kFrames && static_cast<uint32_t>(frame * 1000 / kFps) < clock; ++frame) {
            writer.WriteVideo(frame * 1000 / kFps, dib[frame % kDistinctFrames].data(), kFrameBytes);
            if (companion) companion->WriteVideo(frame * 1000 / kFps, dib[frame % kDistinctFrames].data(), kFrameBytes);
        }
        writer.WriteAudio(clock, &pcm[(b - 1) * 2000], 2000);
        if (companion) companion->WriteAudio(clock, &pcm[(b - 1) * 2000], 2000);
        if (b % 2 == 0) {
            const std::string command = "pages,(" + std::to_string(b / 40 + 1) + "," + std::to_string(b % 5) + ")";
            writer.WriteScript(clock, command);
            if (companion) companion->WriteScript(clock, command);
        }
    }
    writer.Close();
    if (companion) companion->Close();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double WriteWithFfmpeg(const std::string& path, uint32_t bitrate, const std::vector<std::vector<uint8_t>>& frames,
                       const std::string& soundFile) {
    const std::string command =
        "ffmpeg -v error -y -f rawvideo -pix_fmt bgr24 -s 320x240 -r 15 -i - -f u8 -ar 8000 "
        "-ac 1 -i " +
        soundFile + " -c:v wmv2 -b:v " + std::to_string(bitrate) + " -g 300 -c:a wmav2 -b:a 24000 -f asf " + path;
    const auto start = Clock::now();
    FILE* pipe = popen(command.c_str(), "w");
    if (!pipe) return -1;
    for (int n = 0; n < kFrames; ++n) fwrite(frames[n % kDistinctFrames].data(), 1, kFrameBytes, pipe);
    if (pclose(pipe) != 0) return -1;
    return std::chrono::duration<double>(Clock::now() - start).count();
}

double VideoKbps(const std::string& path) {
    const std::string command = "ffprobe -v error -select_streams v -show_entries packet=size -of csv=p=0 " + path;
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe) return -1;
    double bytes = 0;
    char line[64];
    while (fgets(line, sizeof line, pipe)) bytes += std::atof(line);
    pclose(pipe);
    return bytes * 8 / (kFrames / double(kFps)) / 1000;
}

}  // namespace

int main(int argc, char** argv) {
    const std::string folder =
        argc > 1 ? argv[1] : (std::filesystem::temp_directory_path() / "tovra-media-bench").string();
    std::filesystem::create_directories(folder);
    const auto frames = MakeFrames();
    const auto pcm = Sound();
    const std::string soundFile = folder + "/sound.u8";
    std::ofstream(soundFile, std::ios::binary).write(reinterpret_cast<const char*>(pcm.data()), pcm.size());

    std::printf("10 minutes: %d frames 320x240 at 15/s, %d sound buffers, %d commands\n", kFrames, kBuffers,
                kBuffers / 2);
    for (uint32_t kbps : {80u, 40u, 800u}) {
        const std::string ours = folder + "/ours-" + std::to_string(kbps) + ".wmv";
        const std::string theirs = folder + "/ffmpeg-" + std::to_string(kbps) + ".wmv";
        const double tOurs = WriteWithMediaWriter(ours, kbps * 1000, frames, pcm);
        const double tTheirs = WriteWithFfmpeg(theirs, kbps * 1000, frames, soundFile);
        std::printf(
            "%4u kbit/s: MediaWriter %.2f s, ffmpeg %.2f s, ratio %.2f; video bitrate achieved %.1f kbit/s "
            "(ffmpeg %.1f)\n",
            kbps, tOurs, tTheirs, tOurs / tTheirs, VideoKbps(ours), VideoKbps(theirs));
    }
    // What the browsers' companion adds to the recording's own encoding, in processor time.
    const double before = CpuSeconds();
    WriteWithMediaWriter(folder + "/alone.wmv", 80000, frames, pcm);
    const double alone = CpuSeconds() - before;
    tovra::CompanionWriter companion;
    const double before2 = CpuSeconds();
    WriteWithMediaWriter(folder + "/with.wmv", 80000, frames, pcm, &companion);
    const double with = CpuSeconds() - before2;
    std::printf("companion (VP8 + Opus + timeline): recording encode %.2f s CPU alone, %.2f s with the companion "
                "(+%.0f %% of the encoding; +%.2f %% of one core over the ten minutes)\n",
                alone, with, 100 * (with - alone) / alone, 100 * (with - alone) / 600);
    std::filesystem::remove_all(folder);
    return 0;
}
