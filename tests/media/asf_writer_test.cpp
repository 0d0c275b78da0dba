// Tests of the ASF writer: header bytes, packets re-read by a parser of the test's own, the index,
// FFmpeg's reading of finished and killed recordings, and the writer's refusals.
#include "platform/wmf/asf_writer.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include "tests/support/shell_output.h"

namespace tovra::wmf {
namespace {

using Bytes = std::vector<uint8_t>;
const bool kHaveFfmpeg = std::filesystem::exists("/usr/bin/ffprobe") && std::filesystem::exists("/usr/bin/ffmpeg");

uint64_t Le(const Bytes& b, std::size_t at, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | b.at(at + i);
    return v;
}
// "75B22630-668E-11CF-A6D9-00AA0062CE6C" from 16 stored bytes: three little-endian fields, then 8 bytes as stored.
std::string GuidText(const Bytes& b, std::size_t at) {
    char s[40];
    std::snprintf(s, sizeof s, "%08X-%04X-%04X-%02X%02X-", unsigned(Le(b, at, 4)), unsigned(Le(b, at + 4, 2)),
                  unsigned(Le(b, at + 6, 2)), b[at + 8], b[at + 9]);
    std::string t = s;
    for (int i = 10; i < 16; ++i) t += (std::snprintf(s, sizeof s, "%02X", b[at + i]), s);
    return t;
}
Bytes Command(const std::string& type, const std::string& param) {  // two null-terminated UTF-16LE strings
    Bytes out;
    for (const std::string& s : {type, param}) {
        for (char c : s) out.insert(out.end(), {uint8_t(c), 0});
        out.insert(out.end(), {0, 0});
    }
    return out;
}
Bytes ReadAll(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(f), {});
}
using testing_support::Shell;

struct Sample {
    int stream;
    uint32_t timeMs;  // as stored: preroll included
    bool key;
    int object;  // media object number
    Bytes data;
    std::size_t firstPacket, lastPacket;
};

// Reads a file the way the format describes it, independently of the writer's choices of length types.
struct Asf {
    Bytes b;
    std::map<std::string, std::vector<std::size_t>> objects;  // in the header and its extension, by GUID
    std::size_t headerSize = 0, headerCount = 0, childSum = 0, dataAt = 0, packetSize = 0, packets = 0, end = 0;
    std::vector<Sample> samples;
    std::vector<uint32_t> sendTimes, firstTimes, payloadCounts;  // per packet
    std::string error;

    explicit Asf(const std::string& path) : b(ReadAll(path)) {
        headerSize = Le(b, 16, 8), headerCount = Le(b, 24, 4);
        for (std::size_t at = 30; at < headerSize; at += Le(b, at + 16, 8), ++childSum) {
            objects[GuidText(b, at)].push_back(at);
            if (GuidText(b, at) != "5FBF03B5-A92E-11CF-8EE3-00C00C205365") continue;
            for (std::size_t in = at + 46; in < at + Le(b, at + 16, 8); in += Le(b, in + 16, 8))
                objects[GuidText(b, in)].push_back(in);
        }
        std::size_t fp = objects["8CABDCA1-A947-11CF-8EE4-00C00C205365"].at(0);
        packetSize = Le(b, fp + 92, 4);
        dataAt = headerSize;
        bool broadcast = Le(b, fp + 88, 4) & 1;
        end = broadcast ? dataAt + 50 + (b.size() - dataAt - 50) / packetSize * packetSize
                        : dataAt + Le(b, dataAt + 16, 8);
        for (std::size_t p = dataAt + 50; p + packetSize <= end && error.empty(); p += packetSize, ++packets) Packet(p);
    }
    void Packet(std::size_t p) {
        std::size_t q = p;
        auto field = [&](int type) {
            int n = type == 3 ? 4 : type;
            uint64_t v = Le(b, q, n);
            q += n;
            return uint32_t(v);
        };
        uint8_t f = b[q++];
        if (f & 0x80) q += f & 0x0F, f = b[q++];  // error correction data
        uint8_t prop = b[q++];
        uint32_t length = field(f >> 5 & 3), pad = (field(f >> 1 & 3), field(f >> 3 & 3));
        if (length == 0) length = packetSize;
        sendTimes.push_back(field(3));
        field(2);  // duration
        uint32_t count = 1, lengthType = 0;
        if (f & 1) count = b[q] & 0x3F, lengthType = b[q++] >> 6;
        payloadCounts.push_back(count);
        for (uint32_t i = 0; i < count; ++i) {
            uint8_t number = b[q++];
            uint32_t object = field(prop >> 4 & 3);
            uint32_t offset = field(prop >> 2 & 3), replicated = field(prop & 3);
            uint32_t objectSize = Le(b, q, 4), time = Le(b, q + 4, 4);
            q += replicated;
            uint32_t n = (f & 1) ? field(lengthType) : uint32_t(p + length - pad - q);
            if (i == 0) firstTimes.push_back(time);
            if (offset == 0)
                samples.push_back({number & 0x7F, time, bool(number & 0x80), int(object), {}, packets, packets});
            Sample& s = samples.back();
            if (s.stream != (number & 0x7F) || s.object != int(object) || s.data.size() != offset || s.timeMs != time)
                error = "fragment out of place";
            s.data.insert(s.data.end(), b.begin() + q, b.begin() + q + n);
            s.lastPacket = packets;
            q += n;
            if (s.data.size() > objectSize) error = "object longer than its size";
        }
        if (q + pad != p + length) error = "payloads and padding do not fill the packet";
        for (; q < p + length; ++q)
            if (b[q] != 0) error = "padding not zero";
    }
    uint64_t Field(const char* guid, std::size_t offset, int n) { return Le(b, objects[guid].at(0) + offset, n); }
};
const char* kFileProps = "8CABDCA1-A947-11CF-8EE4-00C00C205365";

class AsfWriterTest : public testing::Test {
protected:
    void SetUp() override {
        char name[] = "/tmp/tovra-asf-test-XXXXXX";
        ASSERT_NE(mkdtemp(name), nullptr);
        dir_ = name;
        audio_ = {.number = 1,
                  .formatTag = 1,
                  .channels = 1,
                  .samplesPerSec = 8000,
                  .avgBytesPerSec = 8000,
                  .blockAlign = 1,
                  .bitsPerSample = 8,
                  .codecData = {},
                  .bitrate = 64000};
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }
    std::string dir_;
    AsfAudioStreamInfo audio_;
};

TEST_F(AsfWriterTest, HeaderIsABroadcastWhileOpenAndCarriesTheRealSizesAfterFinish) {
    AsfWriter w;
    AsfAudioStreamInfo wma = audio_;
    wma.formatTag = 0x0161, wma.blockAlign = 742, wma.bitsPerSample = 16,
    wma.codecData = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
    w.AddAudioStream(wma);
    w.AddVideoStream({.number = 2,
                      .width = 640,
                      .height = 480,
                      .fourcc = 0x32564D57,
                      .bitCount = 24,
                      .codecData = {0xAA, 0xBB, 0xCC, 0xDD},
                      .bitrate = 200000,
                      .avgTimePerFrame100ns = 2'000'000});
    w.AddCommandStream({.number = 3, .bitrate = 1000});
    std::string path = dir_ + "/h.asf";
    ASSERT_TRUE(w.Begin(path, 3000));
    Bytes frame(5000, 7), block(742, 9);
    for (uint32_t t = 0; t < 5000; t += 200)
        ASSERT_TRUE(w.WriteSample(2, t, t % 2000 == 0, frame.data(), frame.size()));
    for (uint32_t t = 0; t < 4000; t += 100) ASSERT_TRUE(w.WriteSample(1, t, true, block.data(), block.size()));

    Asf open(path);
    const Bytes headerGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                              0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
    EXPECT_EQ(Bytes(open.b.begin(), open.b.begin() + 16), headerGuid);
    EXPECT_EQ(open.b[28], 1);
    EXPECT_EQ(open.b[29], 2);
    EXPECT_EQ(open.headerCount, open.childSum);  // the extension counts as one object
    EXPECT_EQ(open.Field(kFileProps, 16, 8), 104u);
    EXPECT_EQ(open.Field(kFileProps, 88, 4), 1u);  // broadcast, not seekable
    EXPECT_EQ(open.Field(kFileProps, 40, 8), 0u);  // file size unknown
    EXPECT_EQ(open.Field(kFileProps, 56, 8), 0u);  // packet count unknown
    EXPECT_EQ(open.Field(kFileProps, 96, 4), open.packetSize);
    EXPECT_EQ(open.Field(kFileProps, 100, 4), 265000u);  // sum of the stream bit rates
    EXPECT_EQ(GuidText(open.b, open.dataAt), "75B22636-668E-11CF-A6D9-00AA0062CE6C");
    EXPECT_EQ(
        Bytes(open.b.begin() + open.dataAt + 24, open.b.begin() + open.dataAt + 40),
        Bytes(open.b.begin() + open.objects[kFileProps][0] + 24, open.b.begin() + open.objects[kFileProps][0] + 40));
    EXPECT_EQ(Le(open.b, open.dataAt + 48, 2), 0x0101u);
    EXPECT_GT(open.packets, 0u);
    EXPECT_EQ(open.error, "");

    // Stream Properties: type, no error correction, number, and the format blocks.
    std::map<std::string, std::size_t> byType;
    for (std::size_t at : open.objects["B7DC0791-A9B7-11CF-8EE6-00C00C205365"]) {
        EXPECT_EQ(GuidText(open.b, at + 40), "20FB5700-5B55-11CF-A8FD-00805F5C442B");
        EXPECT_EQ(Le(open.b, at + 16, 8), 78 + Le(open.b, at + 64, 4));
        byType[GuidText(open.b, at + 24)] = at;
    }
    std::size_t a = byType.at("F8699E40-5B4D-11CF-A8FD-00805F5C442B") + 78;
    EXPECT_EQ(Le(open.b, a - 6, 2), 1u);
    EXPECT_EQ(Bytes(open.b.begin() + a, open.b.begin() + a + 28),
              (Bytes{0x61, 0x01, 1,  0, 0x40, 0x1F, 0, 0, 0x40, 0x1F, 0, 0, 0xE6, 0x02,
                     16,   0,    10, 0, 1,    2,    3, 4, 5,    6,    7, 8, 9,    10}));
    std::size_t v = byType.at("BC19EFC0-5B4D-11CF-A8FD-00805F5C442B") + 78;
    EXPECT_EQ(Le(open.b, v - 6, 2), 2u);
    // Encoded 640x480, reserved 2, format size 44; BITMAPINFOHEADER 44, 640x480, 1 plane, 24 bits, WMV2,
    // image size 640*480*3, four zero fields, then the codec data.
    Bytes video = {0x80, 2,    0, 0, 0xE0, 1, 0, 0,  2, 44,  0,   44,  0,   0, 0,    0x80, 2, 0,
                   0,    0xE0, 1, 0, 0,    1, 0, 24, 0, 'W', 'M', 'V', '2', 0, 0x10, 0x0E, 0};
    video.resize(video.size() + 16, 0);
    video.insert(video.end(), {0xAA, 0xBB, 0xCC, 0xDD});
    EXPECT_EQ(Bytes(open.b.begin() + v, open.b.begin() + v + video.size()), video);
    std::size_t c = byType.at("59DACFC0-59E6-11D0-A3AC-00A0C90348F6");
    EXPECT_EQ(Le(open.b, c + 16, 8), 78u);
    EXPECT_EQ(Le(open.b, c + 72, 2), 3u);
    std::size_t ext = open.objects.at("5FBF03B5-A92E-11CF-8EE3-00C00C205365").at(0);
    EXPECT_EQ(GuidText(open.b, ext + 24), "ABD3D211-A9BA-11CF-8EE6-00C00C205365");
    EXPECT_EQ(Le(open.b, ext + 40, 2), 6u);
    EXPECT_EQ(Le(open.b, ext + 42, 4) + 46, Le(open.b, ext + 16, 8));
    std::map<uint64_t, std::size_t> esp;
    for (std::size_t at : open.objects["14E6A5CB-C672-4332-8399-A96952065B5A"]) esp[Le(open.b, at + 72, 2)] = at;
    ASSERT_EQ(esp.size(), 3u);
    EXPECT_EQ(Le(open.b, esp[2] + 76, 8), 2'000'000u);

    ASSERT_TRUE(w.Finish());
    EXPECT_TRUE(w.Finish());  // second call: nothing more to do
    EXPECT_FALSE(w.WriteSample(1, 5000, true, block.data(), block.size()));
    Asf done(path);
    EXPECT_EQ(done.error, "");
    EXPECT_EQ(done.Field(kFileProps, 88, 4), 2u);  // seekable, broadcast cleared
    EXPECT_EQ(done.Field(kFileProps, 40, 8), done.b.size());
    EXPECT_EQ(done.Field(kFileProps, 56, 8), done.packets);
    EXPECT_EQ(done.packets, w.PacketsWritten());
    EXPECT_EQ(Le(done.b, done.dataAt + 16, 8), 50 + done.packets * done.packetSize);
    EXPECT_EQ(Le(done.b, done.dataAt + 40, 8), done.packets);
    // Last video frame at 4800 ms lasts 200 ms; with 3000 ms preroll the file plays 8 s.
    EXPECT_EQ(done.Field(kFileProps, 64, 8), 80'000'000u);
    EXPECT_EQ(Le(done.b, esp[2] + 64, 4), 5000u);  // maximum object sizes
    EXPECT_EQ(Le(done.b, esp[1] + 64, 4), 742u);
    EXPECT_EQ(Le(done.b, esp[3] + 64, 4), 0u);
}

TEST_F(AsfWriterTest, PacketsCarryEverySampleWholeInWriteOrder) {
    AsfWriter w;
    w.AddAudioStream(audio_);
    w.AddCommandStream({.number = 5, .bitrate = 1000});
    std::string path = dir_ + "/p.asf";
    ASSERT_TRUE(w.Begin(path, 3000));
    std::vector<Sample> written;
    auto put = [&](int stream, uint32_t t, Bytes data) {
        ASSERT_TRUE(w.WriteSample(stream, t, true, data.data(), data.size()));
        written.push_back({stream, t + 3000, true, 0, std::move(data), 0, 0});
    };
    Bytes big(300 * 1024);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(i * 7 + i / 251);
    for (uint32_t t = 0; t < 300; ++t) put(5, t, Command("TEXT", std::to_string(t)));  // >63 per packet, numbers wrap
    put(1, 300, big);
    for (uint32_t t = 400; t < 3000; t += 250) put(1, t, Bytes(2000, uint8_t(t)));
    ASSERT_TRUE(w.Finish());

    Asf f(path);
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(f.samples.size(), written.size());
    for (std::size_t i = 0; i < written.size(); ++i) {
        EXPECT_EQ(f.samples[i].stream, written[i].stream) << i;
        EXPECT_EQ(f.samples[i].timeMs, written[i].timeMs) << i;
        EXPECT_TRUE(f.samples[i].data == written[i].data) << i;
    }
    EXPECT_GT(f.samples[300].lastPacket - f.samples[300].firstPacket, 90u);
    for (uint32_t n : f.payloadCounts) EXPECT_LE(n, 63u);
    // Samples went in time order, so each packet's send time is its first payload's time less the preroll.
    for (std::size_t i = 0; i < f.sendTimes.size(); ++i) EXPECT_EQ(f.sendTimes[i], f.firstTimes[i] - 3000) << i;
    std::map<int, int> next;  // media object numbers count up per stream and wrap at 256
    for (const Sample& s : f.samples) EXPECT_EQ(s.object, next[s.stream]++ % 256);
    EXPECT_EQ(f.b.size() - f.end, 56 + 6 * Le(f.b, f.end + 52, 4));  // the index closes the file
}

TEST_F(AsfWriterTest, SimpleIndexNamesThePacketOfTheClosestPastKeyFrame) {
    AsfWriter w;
    w.AddAudioStream(audio_);
    w.AddVideoStream({.number = 2,
                      .width = 320,
                      .height = 240,
                      .fourcc = 0x32564D57,
                      .bitCount = 24,
                      .codecData = {},
                      .bitrate = 100000,
                      .avgTimePerFrame100ns = 2'000'000});
    std::string path = dir_ + "/i.asf";
    ASSERT_TRUE(w.Begin(path, 2000));
    for (uint32_t t = 0; t < 9000; t += 200) {
        Bytes frame(t % 1800 == 0 ? 7000 : 400, uint8_t(t));  // a key frame every 1.8 s spans three packets
        ASSERT_TRUE(w.WriteSample(2, t, t % 1800 == 0, frame.data(), frame.size()));
        Bytes block(1600, 1);
        ASSERT_TRUE(w.WriteSample(1, t, true, block.data(), block.size()));
    }
    ASSERT_TRUE(w.Finish());
    Asf f(path);
    ASSERT_EQ(f.error, "");
    ASSERT_EQ(GuidText(f.b, f.end), "33000890-E5B1-11CF-89F4-00A0C90349CB");
    EXPECT_EQ(Le(f.b, f.end + 40, 8), 10'000'000u);
    uint64_t entries = Le(f.b, f.end + 52, 4);
    EXPECT_EQ(entries, f.Field(kFileProps, 64, 8) / 10'000'000 + 1);
    uint64_t maxCount = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        const Sample* key = nullptr;
        for (const Sample& s : f.samples)
            if (s.stream == 2 && s.key && (s.timeMs <= i * 1000 || !key)) key = &s;
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(Le(f.b, f.end + 56 + 6 * i, 4), key->firstPacket) << "entry " << i;
        EXPECT_EQ(Le(f.b, f.end + 60 + 6 * i, 2), key->lastPacket - key->firstPacket + 1) << "entry " << i;
        maxCount = std::max<uint64_t>(maxCount, Le(f.b, f.end + 60 + 6 * i, 2));
    }
    EXPECT_EQ(Le(f.b, f.end + 48, 4), maxCount);
    EXPECT_GE(maxCount, 3u);
}

TEST_F(AsfWriterTest, FullPacketsReachTheFileAtOnceAndFlushPadsOnlyDataOlderThanASecond) {
    AsfWriter w;
    w.AddAudioStream(audio_);
    std::string path = dir_ + "/f.asf";
    ASSERT_TRUE(w.Begin(path, 0));
    std::size_t headerEnd = std::filesystem::file_size(path);
    Bytes block(100, 0x80);
    for (uint32_t t = 0; t <= 900; t += 100) {
        ASSERT_TRUE(w.WriteSample(1, t, true, block.data(), block.size()));
        ASSERT_TRUE(w.Flush());
    }
    EXPECT_EQ(w.PacketsWritten(), 0u);
    EXPECT_EQ(std::filesystem::file_size(path), headerEnd);
    ASSERT_TRUE(w.WriteSample(1, 1100, true, block.data(), block.size()));
    ASSERT_TRUE(w.Flush());
    ASSERT_EQ(w.PacketsWritten(), 1u);
    Asf one(path);
    EXPECT_EQ(one.samples.size(), 11u);
    EXPECT_EQ(one.b.size(), headerEnd + one.packetSize);

    Bytes large(10000, 0x81);  // fills three packets: they go out with no Flush
    ASSERT_TRUE(w.WriteSample(1, 1200, true, large.data(), large.size()));
    EXPECT_EQ(w.PacketsWritten(), 4u);
    EXPECT_EQ(std::filesystem::file_size(path), headerEnd + 4 * one.packetSize);
    // The rest of that sample is one payload of the next packet; 62 more make the 63 the format allows.
    for (uint32_t i = 0; i < 61; ++i) ASSERT_TRUE(w.WriteSample(1, 1300, true, block.data(), 1));
    EXPECT_EQ(w.PacketsWritten(), 4u);
    ASSERT_TRUE(w.WriteSample(1, 1300, true, block.data(), 1));
    EXPECT_EQ(w.PacketsWritten(), 5u);
    EXPECT_EQ(std::filesystem::file_size(path), headerEnd + 5 * one.packetSize);
}

TEST_F(AsfWriterTest, FfmpegReadsTypesCommandTimesStringsAndALargeObject) {
    if (!kHaveFfmpeg) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    AsfWriter w;
    w.AddAudioStream(audio_);
    w.AddVideoStream({.number = 2,
                      .width = 8,
                      .height = 8,
                      .fourcc = 0,
                      .bitCount = 24,
                      .codecData = {},
                      .bitrate = 80000,
                      .avgTimePerFrame100ns = 5'000'000});
    w.AddCommandStream({.number = 3, .bitrate = 1000});
    std::string path = dir_ + "/ff.asf";
    ASSERT_TRUE(w.Begin(path, 3000));
    Bytes pcm, big(300 * 1024);
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = uint8_t(128 + (i * 13) % 61);
    std::vector<std::pair<uint32_t, Bytes>> commands;
    for (uint32_t t = 0; t < 4000; t += 500) {
        Bytes block = t == 1000 ? big : Bytes(4000, uint8_t(100 + t / 100));
        ASSERT_TRUE(w.WriteSample(1, t, true, block.data(), block.size()));
        pcm.insert(pcm.end(), block.begin(), block.end());
        Bytes frame(8 * 8 * 3, uint8_t(t / 20));
        ASSERT_TRUE(w.WriteSample(2, t, true, frame.data(), frame.size()));
        commands.push_back({t + 250, Command("URL", "page" + std::to_string(t) + ".htm")});
        ASSERT_TRUE(w.WriteSample(3, t + 250, true, commands.back().second.data(), commands.back().second.size()));
    }
    ASSERT_TRUE(w.Finish());

    EXPECT_EQ(Shell("ffprobe -v error -show_entries format=format_name -of csv=p=0 " + path), "asf\n");
    EXPECT_EQ(Shell("ffprobe -v error -show_entries stream=codec_type,codec_name,sample_rate,channels,width,height "
                    "-of compact=p=0 " +
                    path),
              "codec_name=pcm_u8|codec_type=audio|sample_rate=8000|channels=1\n"
              "codec_name=rawvideo|codec_type=video|width=8|height=8\n"
              "codec_name=unknown|codec_type=data\n");
    std::istringstream probe(Shell("ffprobe -v error -show_packets -show_data -select_streams d " + path));
    std::vector<std::pair<uint32_t, Bytes>> seen;
    for (std::string line; std::getline(probe, line);) {
        if (line.rfind("pts_time=", 0) == 0) seen.push_back({uint32_t(std::stod(line.substr(9)) * 1000 + 0.5), {}});
        if (line.size() > 10 && line[8] == ':' && !seen.empty()) {
            std::string hex;
            for (char ch : line.substr(10, 40))
                if (ch != ' ') hex += ch;
            for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
                seen.back().second.push_back(std::stoi(hex.substr(i, 2), nullptr, 16));
        }
    }
    EXPECT_EQ(seen, commands);
    Shell("ffmpeg -v error -i " + path + " -map 0:a -c copy -f u8 " + dir_ + "/a.raw");
    EXPECT_TRUE(ReadAll(dir_ + "/a.raw") == pcm) << "audio bytes differ after the round trip";
    EXPECT_EQ(Shell("ffmpeg -v error -i " + path + " -f null - 2>&1"), "");
}

TEST_F(AsfWriterTest, RecordingKilledBeforeFinishStillReadsUpToItsLastSecond) {
    if (!kHaveFfmpeg) GTEST_SKIP() << "ffprobe/ffmpeg not installed";
    std::string path = dir_ + "/k.asf";
    int ready[2];
    ASSERT_EQ(pipe(ready), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {  // a recording in progress: 5 s of audio and a command a second
        AsfWriter w;
        w.AddAudioStream(audio_);
        w.AddCommandStream({.number = 2, .bitrate = 1000});
        if (!w.Begin(path, 3000)) _exit(1);
        for (uint32_t t = 0; t < 5000; t += 250) {
            Bytes block(2000, uint8_t(t / 25));
            Bytes cmd = Command("URL", std::to_string(t));
            if (!w.WriteSample(1, t, true, block.data(), block.size()) ||
                (t % 1000 == 0 && !w.WriteSample(2, t, true, cmd.data(), cmd.size())) || !w.Flush())
                _exit(1);
            usleep(5000);
        }
        (void)!write(ready[1], "x", 1);
        for (;;) pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL);

    Asf f(path);
    EXPECT_EQ(f.Field(kFileProps, 88, 4) & 1, 1u);  // still a broadcast: never finished
    EXPECT_EQ(Shell("ffmpeg -v error -i " + path + " -f null - 2>&1"), "");
    std::istringstream probe(Shell("ffprobe -v error -show_entries packet=stream_index,pts_time -of csv=p=0 " + path));
    double lastAudio = -1;
    int commands = 0;
    for (std::string line; std::getline(probe, line);) {
        if (line.empty()) continue;
        if (line[0] == '0') lastAudio = std::stod(line.substr(2));
        commands += line[0] == '1';
    }
    EXPECT_GE(lastAudio, 3.75);  // at most about a second lost
    EXPECT_GE(commands, 4);
}

// A file cut short, finished afterwards, reads as the finished file up to where it was cut: the
// same packets, the real sizes and duration, and an index; a damaged tail goes.
TEST_F(AsfWriterTest, AnInterruptedFileIsFinishedAfterwards) {
    const std::string whole = dir_ + "/whole.asf", cut = dir_ + "/cut.asf";
    {
        AsfWriter w;
        w.AddAudioStream(audio_);
        w.AddVideoStream({.number = 2, .width = 320, .height = 240, .fourcc = 0x32564D57, .bitCount = 24,
                          .codecData = {}, .bitrate = 80000, .avgTimePerFrame100ns = 666'667});
        w.AddCommandStream({.number = 3, .bitrate = 1000});
        ASSERT_TRUE(w.Begin(whole, 3000));
        for (uint32_t frame = 0; frame * 1000 / 15 < 6000; ++frame) {
            const uint32_t t = frame * 1000 / 15;
            Bytes picture(frame % 15 == 0 ? 9000 : 700, uint8_t(frame));  // a key frame a second
            ASSERT_TRUE(w.WriteSample(2, t, frame % 15 == 0, picture.data(), picture.size()));
            if (frame % 4 == 0) {
                Bytes block(2000, uint8_t(frame));
                ASSERT_TRUE(w.WriteSample(1, t, true, block.data(), block.size()));
            }
            if (frame % 15 == 7) {
                Bytes cmd = Command("pages", "(" + std::to_string(frame / 15) + ",0)");
                ASSERT_TRUE(w.WriteSample(3, t, true, cmd.data(), cmd.size()));
            }
            ASSERT_TRUE(w.Flush());
        }
        std::filesystem::copy_file(whole, cut);  // the file as a kill would leave it
        ASSERT_TRUE(w.Finish());
    }
    Bytes junk(1234, 0xAB);
    {
        std::ofstream tail(cut, std::ios::binary | std::ios::app);
        tail.write(reinterpret_cast<const char*>(junk.data()), static_cast<std::streamsize>(junk.size()));
    }
    AsfWriter::Recovered recovered;
    ASSERT_TRUE(AsfWriter::FinishInterrupted(cut, &recovered));
    EXPECT_TRUE(recovered.wasOpen);
    Asf a(whole), b(cut);
    ASSERT_TRUE(b.error.empty()) << b.error;
    EXPECT_EQ(b.Field(kFileProps, 88, 4), 2u);  // seekable, no longer a broadcast
    EXPECT_EQ(b.Field(kFileProps, 40, 8), b.b.size());
    EXPECT_EQ(Le(b.b, b.dataAt + 40, 8), b.packets);
    EXPECT_EQ(recovered.packets, b.packets);
    EXPECT_GE(b.packets + 2, a.packets);  // a packet or so was still on its way
    // Every packet kept is the finished file's packet.
    EXPECT_TRUE(std::equal(b.b.begin() + b.dataAt + 50, b.b.begin() + b.dataAt + 50 + b.packets * b.packetSize,
                           a.b.begin() + a.dataAt + 50));
    // The duration is where its last sample ends, as the finished file's is.
    const uint64_t playA = a.Field(kFileProps, 64, 8), playB = b.Field(kFileProps, 64, 8);
    EXPECT_LE(playB, playA);
    EXPECT_GE(playB + 10'000'000, playA);
    EXPECT_EQ(recovered.durationMs * 10'000 + 3000 * 10'000, playB);
    // An index, with an entry a second.
    ASSERT_FALSE(b.objects.count("33000890-E5B1-11CF-89F4-00A0C90349CB"));  // it follows the data
    const std::size_t index = b.dataAt + Le(b.b, b.dataAt + 16, 8);
    ASSERT_LT(index + 56, b.b.size());
    EXPECT_EQ(GuidText(b.b, index), "33000890-E5B1-11CF-89F4-00A0C90349CB");
    EXPECT_EQ(Le(b.b, index + 52, 4), playB / 10'000'000 + 1);
    if (kHaveFfmpeg) {
        // FFmpeg reads the duration as it reads the finished file's (it adds the streams' start times).
        const auto duration = [](const std::string& path) {
            return std::stod(Shell("ffprobe -v error -show_entries format=duration -of csv=p=0 " + path));
        };
        EXPECT_NEAR(duration(cut), duration(whole), 0.3);
        EXPECT_EQ(Shell("ffmpeg -v error -i " + cut + " -map 0:a -f null - 2>&1"), "");
    }

    // A finished file is left as it is; a file that is no ASF is refused.
    const Bytes finished = ReadAll(whole);
    ASSERT_TRUE(AsfWriter::FinishInterrupted(whole, &recovered));
    EXPECT_FALSE(recovered.wasOpen);
    EXPECT_EQ(ReadAll(whole), finished);
    std::ofstream(dir_ + "/text.asf") << "not a media file at all, but long enough to look at";
    EXPECT_FALSE(AsfWriter::FinishInterrupted(dir_ + "/text.asf"));
    EXPECT_FALSE(AsfWriter::FinishInterrupted(dir_ + "/missing.asf"));
}

TEST_F(AsfWriterTest, RefusesWhatItCannotWriteAndFinishesInTheDestructor) {
    AsfWriter none;
    Bytes one(1, 1);
    EXPECT_FALSE(none.WriteSample(1, 0, true, one.data(), 1));  // before Begin
    EXPECT_FALSE(none.Flush());
    EXPECT_FALSE(none.Begin(dir_ + "/none.asf"));  // no streams
    for (uint16_t bad : {0, 128}) {
        AsfWriter w;
        w.AddCommandStream({.number = bad, .bitrate = 0});
        EXPECT_FALSE(w.Begin(dir_ + "/bad.asf")) << bad;
    }
    AsfWriter twice;
    twice.AddAudioStream(audio_);
    twice.AddCommandStream({.number = 1, .bitrate = 0});
    EXPECT_FALSE(twice.Begin(dir_ + "/dup.asf"));
    EXPECT_FALSE(std::filesystem::exists(dir_ + "/dup.asf"));

    std::string path = dir_ + "/d.asf";
    {
        AsfWriter w;
        w.AddAudioStream(audio_);
        EXPECT_FALSE(w.Begin(dir_ + "/missing/x.asf"));
        ASSERT_TRUE(w.Begin(path, 3000));
        EXPECT_FALSE(w.Begin(path));                             // already open
        EXPECT_FALSE(w.WriteSample(9, 0, true, one.data(), 1));  // undeclared stream
        EXPECT_FALSE(w.WriteSample(1, 0, true, one.data(), 0));
        EXPECT_FALSE(w.WriteSample(1, 0xFFFFFF00u, true, one.data(), 1));  // time + preroll overflows
        EXPECT_TRUE(w.WriteSample(1, 0, true, one.data(), 1));
        EXPECT_TRUE(w.IsOpen());
    }
    Asf f(path);
    EXPECT_EQ(f.Field(kFileProps, 88, 4), 2u);
    EXPECT_EQ(f.Field(kFileProps, 40, 8), f.b.size());
    ASSERT_EQ(f.samples.size(), 1u);
    EXPECT_EQ(f.samples[0].timeMs, 3000u);
}

}  // namespace
}  // namespace tovra::wmf
