// A ten-second recording through the real codecs and container, read back by FFmpeg's tools.
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "media/media_writer.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using namespace wmf;

constexpr int kWidth = 320, kHeight = 240;
constexpr uint32_t kFrameBytes = kWidth * kHeight * 3;

std::string RunCommand(const std::string& command) {
    std::string out;
    FILE* pipe = popen((command + " 2>&1").c_str(), "r");
    if (!pipe) return "popen failed";
    char buffer[4096];
    std::size_t n;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// A picture whose content is known at every frame: smooth gradients and a block that moves.
// Returned top-down (row 0 = top) in B, G, R order.
std::vector<uint8_t> Pattern(int n) {
    std::vector<uint8_t> rgb(kFrameBytes);
    const int blockX = (n * 4) % (kWidth - 40);
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            uint8_t* p = &rgb[(y * kWidth + x) * 3];
            const bool block = x >= blockX && x < blockX + 40 && y >= 100 && y < 140;
            p[0] = block ? 255 : static_cast<uint8_t>(x * 255 / kWidth);            // B
            p[1] = block ? 255 : static_cast<uint8_t>(y * 255 / kHeight);           // G
            p[2] = block ? 255 : static_cast<uint8_t>(y < kHeight / 2 ? 200 : 40);  // R: top red-ish
        }
    }
    return rgb;
}

// Windows DIB order: the bottom row first.
std::vector<uint8_t> BottomUp(const std::vector<uint8_t>& topDown) {
    std::vector<uint8_t> out(topDown.size());
    const std::size_t row = kWidth * 3;
    for (int y = 0; y < kHeight; ++y) std::copy_n(&topDown[y * row], row, &out[(kHeight - 1 - y) * row]);
    return out;
}

double Psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
    double sum = 0;
    for (std::size_t i = 0; i < a.size(); ++i) sum += (a[i] - b[i]) * double(a[i] - b[i]);
    const double mse = sum / a.size();
    return mse == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mse);
}

BitmapInfoHeader Header() { return BitmapInfoHeader{40, kWidth, kHeight, 1, 24, 0, kFrameBytes}; }
WaveFormatEx Pcm() { return WaveFormatEx{1, 1, 8000, 8000, 1, 8, {}}; }

TEST(MediaWriterFile, TenSecondsReadBackByFfmpeg) {
    TempDir dir;
    const std::string path = dir / "video001.wmv";
    MediaWriter writer;
    const WaveFormatEx pcm = Pcm();
    ASSERT_TRUE(writer.Start(path, Header(), 15, 800000, &pcm));

    int frame = 0;
    std::vector<uint8_t> tone(2000);
    int commands = 0;
    for (uint32_t clock = 250; clock <= 10000; clock += 250) {
        // Frames due before this buffer's end, at MulDiv(n, 1000, 15) ms.
        for (; static_cast<uint32_t>(frame * 1000 / 15) < clock; ++frame) {
            const std::vector<uint8_t> picture = BottomUp(Pattern(frame));
            ASSERT_TRUE(writer.WriteVideo(frame * 1000 / 15, picture.data(), kFrameBytes));
        }
        for (std::size_t i = 0; i < tone.size(); ++i) {
            const double t = (clock - 250) / 1000.0 + i / 8000.0;
            tone[i] = static_cast<uint8_t>(128 + 100 * std::sin(2 * M_PI * 440 * t));
        }
        ASSERT_TRUE(writer.WriteAudio(clock, tone.data(), 2000));
        if (clock % 500 == 0) {
            ASSERT_TRUE(writer.WriteScript(clock, "pages,(" + std::to_string(clock / 1000) + ",0)"));
            ++commands;
        }
    }
    ASSERT_TRUE(writer.WriteScript(10000, "dpaths,5,2,10,20,11,21,"));
    ++commands;
    writer.Close();
    EXPECT_FALSE(writer.WriteScript(10250, "pages,(1,0)"));

    const std::string streams =
        RunCommand("ffprobe -v error -show_entries stream=codec_type,codec_name -of csv=p=0 " + path);
    EXPECT_NE(streams.find("wmav2,audio"), std::string::npos) << streams;
    EXPECT_NE(streams.find("wmv2,video"), std::string::npos) << streams;
    EXPECT_NE(streams.find("data"), std::string::npos) << streams;
    EXPECT_EQ(RunCommand("ffmpeg -v error -i " + path + " -f null -"), "");

    const std::string packets = RunCommand(
        "ffprobe -v error -select_streams d -show_entries packet=pts_time,data -show_data -of compact " + path);
    int listed = 0;
    for (std::size_t at = packets.find("packet|"); at != std::string::npos; at = packets.find("packet|", at + 1))
        ++listed;
    EXPECT_EQ(listed, commands) << packets;
    EXPECT_NE(packets.find("pts_time=0.500"), std::string::npos) << packets;
    EXPECT_NE(packets.find("pts_time=10.000"), std::string::npos) << packets;
    // "pages" as UTF-16LE, then a zero unit, then the parameter.
    EXPECT_NE(packets.find("7000 6100 6700 6500 7300 0000 2800"), std::string::npos) << packets;

    // Frame 75 (5 s) decoded and compared with the picture written.
    const std::string raw = dir / "frame.raw";
    RunCommand("ffmpeg -v error -i " + path +
               " -map 0:v -vf \"select=eq(n\\,75)\" -frames:v 1 -f rawvideo -pix_fmt bgr24 " + raw);
    std::ifstream in(raw, std::ios::binary);
    std::vector<uint8_t> decoded((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    ASSERT_EQ(decoded.size(), kFrameBytes);
    EXPECT_GT(Psnr(decoded, Pattern(75)), 28.0);
    EXPECT_LT(Psnr(decoded, BottomUp(Pattern(75))), 20.0);  // and it is the right way up
}

// The picture count pulled back to the sound's clock (the first buffer came late, after 20
// pictures): pictures whose times would go back are left out until the count passes the last
// written time, so the pictures' times only ever rise.
TEST(MediaWriterFile, PictureTimesNeverGoBack) {
    TempDir dir;
    const std::string path = dir / "late.wmv";
    MediaWriter writer;
    const WaveFormatEx pcm = Pcm();
    ASSERT_TRUE(writer.Start(path, Header(), 15, 80000, &pcm));
    const std::vector<uint8_t> picture = BottomUp(Pattern(0));
    std::vector<uint8_t> silence(2000, 128);
    for (int n = 0; n < 20; ++n) ASSERT_TRUE(writer.WriteVideo(n * 1000 / 15, picture.data(), kFrameBytes));
    int n = 3;  // the count the first buffer's clock gives
    for (uint32_t clock = 250; clock <= 3000; clock += 250) {
        ASSERT_TRUE(writer.WriteAudio(clock, silence.data(), 2000));
        for (; static_cast<uint32_t>(n * 1000 / 15) < clock; ++n)
            ASSERT_TRUE(writer.WriteVideo(n * 1000 / 15, picture.data(), kFrameBytes));  // left out, not failed
    }
    writer.Close();

    const std::string remux =
        RunCommand("ffmpeg -v warning -i " + path + " -map 0:v -c copy -f asf -y " + dir / "copy.wmv");
    EXPECT_EQ(remux.find("onoton"), std::string::npos) << remux;  // "non monotonically increasing dts"
    std::istringstream times(
        RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " + path));
    std::vector<double> pts;
    for (std::string line; std::getline(times, line);) pts.push_back(std::atof(line.c_str()));
    // Pictures 0 to 19; 3 to 19 again are left out; then 20 (1333 ms) to 44, the last before 3 s.
    ASSERT_EQ(pts.size(), 45u);
    for (std::size_t i = 1; i < pts.size(); ++i) EXPECT_GT(pts[i], pts[i - 1]) << i;
    EXPECT_NEAR(pts[19], 1.266, 0.002);
    EXPECT_NEAR(pts[20], 1.333, 0.002);
}

TEST(MediaWriterFile, TimeGuardAcceptsTheLastMillisecondAndRefusesBeyond) {
    TempDir dir;
    MediaWriter writer;
    ASSERT_TRUE(writer.Start(dir / "guard.wmv", Header(), 15, 80000, nullptr));
    EXPECT_TRUE(writer.WriteScript(0, "pages,(1,0)"));
    EXPECT_TRUE(writer.WriteScript(kMaxSampleTimeMs, "pages,(2,0)"));
    EXPECT_FALSE(writer.WriteScript(kMaxSampleTimeMs + 1, "pages,(3,0)"));
    EXPECT_FALSE(writer.WriteScript(uint64_t(1) << 32, "pages,(3,0)"));
    writer.Close();
    const std::string packets =
        RunCommand("ffprobe -v error -select_streams d -show_entries packet=pts_time -of csv=p=0 " + dir / "guard.wmv");
    EXPECT_NE(packets.find("600.031"), std::string::npos) << packets;
}

TEST(MediaWriterFile, RecordingKilledMidwayStaysPlayableUpToItsLastPackets) {
    TempDir dir;
    const std::string path = dir / "killed.wmv";
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // The child records four seconds and dies without closing anything.
        MediaWriter writer;
        const WaveFormatEx pcm = Pcm();
        if (!writer.Start(path, Header(), 15, 80000, &pcm)) _exit(2);
        std::vector<uint8_t> tone(2000, 128);
        int frame = 0;
        for (uint32_t clock = 250; clock <= 4000; clock += 250) {
            for (; static_cast<uint32_t>(frame * 1000 / 15) < clock; ++frame) {
                const std::vector<uint8_t> picture = BottomUp(Pattern(frame));
                writer.WriteVideo(frame * 1000 / 15, picture.data(), kFrameBytes);
            }
            writer.WriteAudio(clock, tone.data(), 2000);
            writer.WriteScript(clock, "pages,(1,0)");
        }
        kill(getpid(), SIGKILL);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    EXPECT_EQ(RunCommand("ffmpeg -v error -i " + path + " -f null -"), "");
    const std::string last =
        RunCommand("ffprobe -v error -select_streams v -show_entries packet=pts_time -of csv=p=0 " + path);
    ASSERT_FALSE(last.empty());
    const double lastVideo = std::atof(last.substr(last.rfind('\n', last.size() - 2) + 1).c_str());
    EXPECT_GT(lastVideo, 2.5) << last;  // at most about a second lost
}

TEST(MediaWriterFile, StartFailsWhereTheFileCannotBeMade) {
    MediaWriter writer;
    const WaveFormatEx pcm = Pcm();
    EXPECT_FALSE(writer.Start(std::string("/nonexistent-folder/x/video001.wmv"), Header(), 15, 80000, &pcm));
    writer.Close();
    EXPECT_FALSE(writer.WriteScript(250, "pages,(1,0)"));
}

}  // namespace
}  // namespace tovra
