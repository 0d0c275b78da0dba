// The lecture video's MP4 file, checked with FFmpeg's tools, and the recording's pictures and
// sound decoded from the files a recording leaves (WebM, old .wmv), made here with ffmpeg.
#include "media/lecture_media_reader.h"
#include "media/mp4_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>
#include <vector>

#include "tests/support/shell_output.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing_support::Shell;

bool Ffmpeg(const std::string& command) { return std::system(("ffmpeg -v error -y " + command).c_str()) == 0; }

std::vector<int16_t> AsSamples(const std::string& bytes) {
    std::vector<int16_t> samples(bytes.size() / 2);
    std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
    return samples;
}

// How loud samples [from, to) are, and their pitch from upward crossings of ± a tenth of full swing.
double Rms(const std::vector<int16_t>& s, size_t from, size_t to) {
    double sum = 0;
    for (size_t i = from; i < to; ++i) sum += double(s[i]) * s[i];
    return to > from ? std::sqrt(sum / double(to - from)) : 0;
}

double Pitch(const std::vector<int16_t>& s, size_t from, size_t to, int rate) {
    int crossings = 0;
    bool below = false;
    for (size_t i = from; i < to; ++i) {
        if (s[i] < -1000) below = true;
        if (below && s[i] > 1000) {
            ++crossings;
            below = false;
        }
    }
    return crossings * double(rate) / double(to - from);
}

// The boxes at the top of an MP4 file, in order.
std::vector<std::string> TopLevelBoxes(const std::string& file) {
    std::vector<std::string> boxes;
    size_t at = 0;
    while (at + 8 <= file.size()) {
        auto byte = [&](size_t i) { return uint64_t(uint8_t(file[i])); };
        uint64_t size = byte(at) << 24 | byte(at + 1) << 16 | byte(at + 2) << 8 | byte(at + 3);
        if (size == 1 && at + 16 <= file.size()) {
            size = 0;
            for (size_t i = 8; i < 16; ++i) size = size << 8 | byte(at + i);
        } else if (size == 0) {
            size = file.size() - at;
        }
        boxes.push_back(file.substr(at + 4, 4));
        if (size < 8) break;
        at += size;
    }
    return boxes;
}

struct Chapter {
    double start, end;
    std::string title;
};

std::vector<Chapter> ProbedChapters(const std::string& mp4) {
    const std::string json = Shell("ffprobe -v error -show_chapters -of json '" + mp4 + "'");
    const std::regex entry(R"re("start_time": "([0-9.]+)",[^}]*"end_time": "([0-9.]+)",[^}]*"title": "([^"]*)")re");
    std::vector<Chapter> chapters;
    for (std::sregex_iterator i(json.begin(), json.end(), entry), end; i != end; ++i) {
        chapters.push_back({std::stod((*i)[1]), std::stod((*i)[2]), (*i)[3]});
    }
    return chapters;
}

// The chapters ffprobe lists equal the expected ones, to 10 ms.
void ExpectChapters(const std::string& mp4, const std::vector<Chapter>& expected) {
    const std::vector<Chapter> chapters = ProbedChapters(mp4);
    ASSERT_EQ(chapters.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_NEAR(chapters[i].start, expected[i].start, 0.01) << i;
        EXPECT_NEAR(chapters[i].end, expected[i].end, 0.01) << i;
        EXPECT_EQ(chapters[i].title, expected[i].title) << i;
    }
}

// How many pixels of the picture shown at `time` seconds are not (near) the colour r, g, b; -1
// when no picture came.
long OffColour(const std::string& mp4, const char* time, int r, int g, int b) {
    const std::string rgb = Shell(std::string("ffmpeg -v error -ss ") + time + " -i '" + mp4 +
                                  "' -frames:v 1 -f rawvideo -pix_fmt rgb24 -");
    if (rgb.size() != 1280u * 720 * 3) return -1;
    long off = 0;
    for (size_t i = 0; i < rgb.size(); i += 3) {
        off += std::abs(uint8_t(rgb[i]) - r) > 40 || std::abs(uint8_t(rgb[i + 1]) - g) > 40 ||
               std::abs(uint8_t(rgb[i + 2]) - b) > 40;
    }
    return off;
}

// Three seconds of a lecture at 720p: 15 red frames, then 30 blue, the repeats marked as such; a
// 1 kHz tone in pieces of any length; two chapters set at the start.
class Mp4File : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        path_ = *dir_ / "lecture.mp4";
        Mp4Writer writer;
        ASSERT_TRUE(writer.Open(path_, Mp4Settings{})) << writer.Error();
        writer.SetChapters({{0, 1000, "第 1 页"}, {1000, 3000, "Page 2"}});
        // Rows longer than the picture, with green after it, as a caller's padded image may have.
        const int stride = 1280 * 4 + 32;
        std::vector<uint8_t> frame(size_t(stride) * 720);
        std::vector<int16_t> tone(48000 * 3);
        for (size_t i = 0; i < tone.size(); ++i) tone[i] = int16_t(8000 * std::sin(2 * M_PI * 1000 * i / 48000.0));
        size_t soundWritten = 0;
        for (int n = 0; n < 45; ++n) {
            for (int y = 0; y < 720; ++y) {
                for (int x = 0; x < stride / 4; ++x) {
                    uint8_t* p = &frame[size_t(y) * stride + x * 4];
                    const bool red = n < 15;
                    p[0] = x >= 1280 ? 0 : red ? 0 : 255;
                    p[1] = x >= 1280 ? 255 : 0;
                    p[2] = x >= 1280 ? 0 : red ? 255 : 0;
                    p[3] = 255;
                }
            }
            ASSERT_TRUE(writer.WriteFrame(frame.data(), stride, n != 0 && n != 15)) << writer.Error();
            const size_t due = size_t(n + 1) * 48000 / 15;
            const size_t first = std::min<size_t>(1234, due - soundWritten);
            ASSERT_TRUE(writer.WriteAudio(tone.data() + soundWritten, first));
            ASSERT_TRUE(writer.WriteAudio(tone.data() + soundWritten + first, due - soundWritten - first));
            soundWritten = due;
        }
        ASSERT_TRUE(writer.Close()) << writer.Error();
        cpuSeconds_ = writer.CpuSeconds();
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static TempDir* dir_;
    static std::string path_;
    static double cpuSeconds_;
};

TempDir* Mp4File::dir_ = nullptr;
std::string Mp4File::path_;
double Mp4File::cpuSeconds_ = 0;

TEST_F(Mp4File, IsH264AndAacOfThreeSecondsWithItsIndexFirst) {
    EXPECT_EQ(
        Shell("ffprobe -v error -show_entries stream=codec_name,profile,width,height,pix_fmt,sample_rate,channels "
              "-of csv=p=0 '" +
              path_ + "'"),
        "h264,High,1280,720,yuv420p\naac,LC,48000,1\nbin_data,unknown\n");  // the chapters' text track last
    EXPECT_EQ(
        Shell("ffprobe -v error -select_streams v -count_packets -show_entries stream=nb_read_packets -of csv=p=0 '" +
              path_ + "'"),
        "45\n");
    const std::string format = Shell("ffprobe -v error -show_format '" + path_ + "'");
    EXPECT_NE(format.find("format_name=mov,mp4"), std::string::npos) << format;
    EXPECT_NE(format.find("nb_streams=3"), std::string::npos) << format;
    EXPECT_NEAR(std::stod(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path_ + "'")), 3.0,
                0.1);
    // Players start a file whose index comes first while it is still downloading.
    const std::vector<std::string> boxes = TopLevelBoxes(ReadBytes(path_));
    const auto moov = std::find(boxes.begin(), boxes.end(), "moov");
    const auto mdat = std::find(boxes.begin(), boxes.end(), "mdat");
    ASSERT_NE(moov, boxes.end());
    ASSERT_NE(mdat, boxes.end());
    EXPECT_LT(moov, mdat);
    EXPECT_EQ(Shell("ffmpeg -v error -i '" + path_ + "' -f null - 2>&1"), "");
    EXPECT_GT(cpuSeconds_, 0.0);
}

// Frame n shows from n / 15 s: the last red one until 1 s, the blue ones after it, repeats too.
TEST_F(Mp4File, PicturesShowTheirColoursAtTheirTimes) {
    for (const char* time : {"0.5", "0.9"}) EXPECT_EQ(OffColour(path_, time, 255, 0, 0), 0) << time;
    for (const char* time : {"1.05", "2.0", "2.9"}) EXPECT_EQ(OffColour(path_, time, 0, 0, 255), 0) << time;
}

TEST_F(Mp4File, SoundIsTheToneWrittenInPieces) {
    const std::vector<int16_t> sound =
        AsSamples(Shell("ffmpeg -v error -i '" + path_ + "' -map 0:a -f s16le -ac 1 -ar 48000 -"));
    EXPECT_NEAR(double(sound.size()), 48000 * 3, 48000 * 0.03);
    ASSERT_GT(sound.size(), 48000u * 2);
    EXPECT_GT(Rms(sound, 24000, 120000), 4000);
    EXPECT_NEAR(Pitch(sound, 24000, 120000, 48000), 1000, 10);
}

TEST_F(Mp4File, ChaptersAreListedWithTheirTitles) {
    ExpectChapters(path_, {{0.0, 1.0, "第 1 页"}, {1.0, 3.0, "Page 2"}});
}

// The export knows its chapters only at the end; a lecture without sound has pictures only.
TEST(Mp4Writer, PicturesOnlyWithChaptersSetLast) {
    TempDir dir;
    const std::string path = dir / "silent.mp4";
    Mp4Settings settings;
    settings.width = 320;
    settings.height = 240;
    settings.audioChannels = 0;
    Mp4Writer writer;
    ASSERT_TRUE(writer.Open(path, settings)) << writer.Error();
    std::vector<uint8_t> frame(320 * 240 * 4, 128);
    for (int n = 0; n < 30; ++n) ASSERT_TRUE(writer.WriteFrame(frame.data(), 320 * 4, n > 0));
    EXPECT_FALSE(writer.WriteAudio(nullptr, 0));
    writer.SetChapters({{0, 500, "Einführung"}, {500, 2000, "Page 2"}});
    ASSERT_TRUE(writer.Close()) << writer.Error();
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_name -of csv=p=0 '" + path + "'"), "h264\nbin_data\n");
    EXPECT_NEAR(std::stod(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 '" + path + "'")), 2.0,
                0.1);
    ExpectChapters(path, {{0.0, 0.5, "Einführung"}, {0.5, 2.0, "Page 2"}});
}

TEST(Mp4Writer, FailuresAreToldAndAnUnfinishedFileIsLeftUnfinished) {
    TempDir dir;
    Mp4Writer refused;
    EXPECT_FALSE(refused.Open(dir / "missing/lecture.mp4", Mp4Settings{}));
    EXPECT_FALSE(refused.Error().empty());
    std::vector<uint8_t> frame(1280 * 720 * 4);
    EXPECT_FALSE(refused.WriteFrame(frame.data(), 1280 * 4, false));
    EXPECT_FALSE(refused.Close());

    const std::string partial = dir / "partial.mp4";
    {
        Mp4Writer writer;
        ASSERT_TRUE(writer.Open(partial, Mp4Settings{}));
        for (int n = 0; n < 40; ++n) ASSERT_TRUE(writer.WriteFrame(frame.data(), 1280 * 4, n > 0));
    }
    const std::vector<std::string> boxes = TopLevelBoxes(ReadBytes(partial));
    EXPECT_EQ(std::find(boxes.begin(), boxes.end(), "moov"), boxes.end());
}

// A 3 s recording as each kind of file has it: the camera's top half red, its bottom half blue,
// and a 440 Hz tone; a WebM whose sound starts at 0.5 s; a sound-only file.
class RecordedFiles : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new TempDir;
        const std::string camera =
            "-f lavfi -i 'color=c=red:s=640x240:r=15[t];color=c=blue:s=640x240:r=15[b];[t][b]vstack' ";
        const std::string tone = "-f lavfi -i sine=frequency=440:sample_rate=48000 ";
        ASSERT_TRUE(Ffmpeg(camera + tone + "-t 3 -c:v libvpx -c:a libopus '" + *dir_ / "lecture.webm" + "'"));
        ASSERT_TRUE(
            Ffmpeg(camera + "-itsoffset 0.5 " + tone + "-t 3 -c:v libvpx -c:a libopus '" + *dir_ / "late.webm" + "'"));
        ASSERT_TRUE(Ffmpeg(camera + tone + "-t 3 -c:v wmv2 -c:a wmav2 -ar 8000 -ac 1 -s 320x240 '" +
                           *dir_ / "lecture.wmv" + "'"));
        ASSERT_TRUE(Ffmpeg(tone + "-t 1 -c:a libopus '" + *dir_ / "sound.webm" + "'"));
    }
    static void TearDownTestSuite() {
        delete dir_;
        dir_ = nullptr;
    }
    static std::string File(const char* name) { return *dir_ / name; }

    // Every picture at 160 x 120 (one at 64 x 48): about 45, 66 ms apart, red above blue.
    static void ExpectPictures(const std::string& path, int width, int height) {
        LectureMediaReader reader;
        ASSERT_TRUE(reader.Open(path, MediaStream::Picture)) << reader.Error();
        EXPECT_EQ(reader.Width(), width);
        EXPECT_EQ(reader.Height(), height);
        // ffmpeg delays the pictures by the sound encoder's start-up (WMA's is 64 ms).
        EXPECT_NEAR(double(reader.DurationMs()), 3000, 150);
        std::vector<uint8_t> bgrx;
        std::vector<uint64_t> times;
        for (uint64_t time = 0;;) {
            const int w = times.size() == 10 ? 64 : 160, h = times.size() == 10 ? 48 : 120;
            if (!reader.NextPicture(w, h, bgrx, time)) break;
            ASSERT_EQ(bgrx.size(), size_t(w) * h * 4);
            const uint8_t* top = &bgrx[(size_t(h) / 4 * w + w / 2) * 4];
            const uint8_t* bottom = &bgrx[(size_t(h) * 3 / 4 * w + w / 2) * 4];
            EXPECT_LT(top[0], 60);
            EXPECT_GT(top[2], 200);
            EXPECT_GT(bottom[0], 200);
            EXPECT_LT(bottom[2], 60);
            EXPECT_EQ(top[3], 255);
            times.push_back(time);
        }
        ASSERT_NEAR(double(times.size()), 45, 1);
        EXPECT_LT(times.front(), 67u);
        for (size_t i = 1; i < times.size(); ++i) {
            EXPECT_NEAR(double(times[i] - times[i - 1]), 66.7, 4) << "picture " << i;
        }
    }

    // The sound in pieces of 1000 at rate: full pieces until the end, 3 s in all (and up to
    // `over` more).
    static std::vector<int16_t> ReadAllSound(const std::string& path, int rate, double over = 0) {
        LectureMediaReader reader;
        EXPECT_TRUE(reader.Open(path, MediaStream::Sound)) << reader.Error();
        std::vector<int16_t> sound;
        size_t short_pieces = 0;
        while (size_t got = reader.ReadSound(rate, 1000, sound)) short_pieces += got < 1000;
        EXPECT_LE(short_pieces, 1u);
        EXPECT_NEAR(double(sound.size()), rate * (3.0 + over / 2), rate * (0.03 + over / 2)) << rate;
        return sound;
    }
    static void ExpectTone(const std::vector<int16_t>& sound, int rate, double fromSeconds) {
        const size_t from = size_t(rate * fromSeconds), to = size_t(rate * 2.5);
        ASSERT_GT(sound.size(), to);
        EXPECT_GT(Rms(sound, from, to), 2000);  // the source's tone is at an eighth of full swing
        EXPECT_NEAR(Pitch(sound, from, to, rate), 440, 5) << rate;
    }

    static TempDir* dir_;
};

TempDir* RecordedFiles::dir_ = nullptr;

TEST_F(RecordedFiles, WebmPicturesInTimeAtTheAskedSize) { ExpectPictures(File("lecture.webm"), 640, 480); }

TEST_F(RecordedFiles, WebmSoundAtTheAskedRate) {
    for (int rate : {48000, 44100}) ExpectTone(ReadAllSound(File("lecture.webm"), rate), rate, 0.2);
}

TEST_F(RecordedFiles, SoundStartingLateKeepsItsPlace) {
    const std::vector<int16_t> sound = ReadAllSound(File("late.webm"), 48000);
    ASSERT_GT(sound.size(), 24000u);
    EXPECT_LT(Rms(sound, 0, 22000), 50);
    ExpectTone(sound, 48000, 0.6);
}

TEST_F(RecordedFiles, WmvPicturesAndSound) {
    ExpectPictures(File("lecture.wmv"), 320, 240);
    // WMA at 8 kHz codes 256 ms frames and starts with 64 ms of encoder start-up.
    ExpectTone(ReadAllSound(File("lecture.wmv"), 48000, 0.32), 48000, 0.2);
}

TEST_F(RecordedFiles, RefusesAStreamOrFileThatIsNotThere) {
    LectureMediaReader reader;
    EXPECT_FALSE(reader.Open(File("sound.webm"), MediaStream::Picture));
    EXPECT_FALSE(reader.Error().empty());
    std::vector<uint8_t> bgrx;
    uint64_t time = 0;
    EXPECT_FALSE(reader.NextPicture(160, 120, bgrx, time));
    EXPECT_TRUE(reader.Open(File("sound.webm"), MediaStream::Sound)) << reader.Error();
    EXPECT_FALSE(reader.NextPicture(160, 120, bgrx, time));  // a sound reader has no pictures
    for (MediaStream stream : {MediaStream::Picture, MediaStream::Sound}) {
        EXPECT_FALSE(reader.Open(File("missing.webm"), stream));
        EXPECT_FALSE(reader.Error().empty());
    }
}

}  // namespace
}  // namespace tovra
