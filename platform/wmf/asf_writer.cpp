// ASF container writer: header, fixed-size data packets written as they fill, simple index, and
// the header rewrite at the end. Layouts follow the public ASF specification, revision 01.20.03.
#include "platform/wmf/asf_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/random.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <random>

namespace tovra::wmf {
namespace {

// 3200 bytes: a stream of 8 kHz U8 audio or low-rate WMA (2-4 KB/s) fills a packet about once a
// second, so a crash loses little; 14 bytes of packet header and 17 per payload cost under 1%;
// a 30 KB video key frame spans about ten packets.
constexpr uint32_t kPacketSize = 3200;
constexpr uint32_t kPacketHeaderSize =
    14;  // error correction 3, flags 2, padding 2, send time 4, duration 2, payloads 1
constexpr uint32_t kPayloadHeaderSize = 17;     // stream 1, object 1, offset 4, replicated length 1 + 8, length 2
constexpr uint32_t kMaxPayloadsPerPacket = 63;  // six bits of the payload flags
constexpr uint32_t kFlushAgeMs = 1000;          // Flush pads out a packet holding data older than this
constexpr uint64_t kIndexInterval100ns = 10'000'000;
constexpr uint32_t kDataObjectHeaderSize = 50;

struct Guid {
    uint32_t d1;
    uint16_t d2;
    uint16_t d3;
    uint8_t d4[8];
};

constexpr Guid kHeaderObject{0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr Guid kDataObject{0x75B22636, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr Guid kSimpleIndexObject{0x33000890, 0xE5B1, 0x11CF, {0x89, 0xF4, 0x00, 0xA0, 0xC9, 0x03, 0x49, 0xCB}};
constexpr Guid kFilePropertiesObject{0x8CABDCA1, 0xA947, 0x11CF, {0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kStreamPropertiesObject{0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kHeaderExtensionObject{0x5FBF03B5, 0xA92E, 0x11CF, {0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kReserved1{0xABD3D211, 0xA9BA, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr Guid kStreamBitratePropertiesObject{
    0x7BF875CE, 0x468D, 0x11D1, {0x8D, 0x82, 0x00, 0x60, 0x97, 0xC9, 0xA2, 0xB2}};
constexpr Guid kExtendedStreamPropertiesObject{
    0x14E6A5CB, 0xC672, 0x4332, {0x83, 0x99, 0xA9, 0x69, 0x52, 0x06, 0x5B, 0x5A}};
constexpr Guid kAudioMedia{0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr Guid kVideoMedia{0xBC19EFC0, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};
constexpr Guid kCommandMedia{0x59DACFC0, 0x59E6, 0x11D0, {0xA3, 0xAC, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0xF6}};
constexpr Guid kNoErrorCorrection{0x20FB5700, 0x5B55, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};

// File Properties flags.
constexpr uint32_t kBroadcastFlag = 0x01;
constexpr uint32_t kSeekableFlag = 0x02;
// Extended Stream Properties flags.
constexpr uint32_t kStreamSeekable = 0x02;

using Bytes = std::vector<uint8_t>;

void PokeU16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}
void PokeU32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void PokeU64(uint8_t* p, uint64_t v) {
    for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutU8(Bytes& b, uint8_t v) { b.push_back(v); }
void PutU16(Bytes& b, uint16_t v) {
    b.resize(b.size() + 2);
    PokeU16(b.data() + b.size() - 2, v);
}
void PutU32(Bytes& b, uint32_t v) {
    b.resize(b.size() + 4);
    PokeU32(b.data() + b.size() - 4, v);
}
void PutU64(Bytes& b, uint64_t v) {
    b.resize(b.size() + 8);
    PokeU64(b.data() + b.size() - 8, v);
}
void PutBytes(Bytes& b, const uint8_t* p, std::size_t n) { b.insert(b.end(), p, p + n); }
// ASF stores a GUID with its first three fields little-endian and the last eight bytes as they are.
void PutGuid(Bytes& b, const Guid& g) {
    PutU32(b, g.d1);
    PutU16(b, g.d2);
    PutU16(b, g.d3);
    PutBytes(b, g.d4, 8);
}

// Starts an object (GUID + size placeholder); EndObject fills in the size.
std::size_t BeginObject(Bytes& b, const Guid& g) {
    std::size_t start = b.size();
    PutGuid(b, g);
    PutU64(b, 0);
    return start;
}
void EndObject(Bytes& b, std::size_t start) { PokeU64(b.data() + start + 16, b.size() - start); }

bool WriteAll(int fd, const uint8_t* p, std::size_t n) {
    while (n > 0) {
        ssize_t done = ::write(fd, p, n);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        p += done;
        n -= static_cast<std::size_t>(done);
    }
    return true;
}

bool PWriteAll(int fd, const uint8_t* p, std::size_t n, off_t at) {
    while (n > 0) {
        ssize_t done = ::pwrite(fd, p, n, at);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        p += done;
        n -= static_cast<std::size_t>(done);
        at += done;
    }
    return true;
}

void RandomFileId(uint8_t id[16]) {
    if (getrandom(id, 16, 0) == 16) return;
    std::random_device rd;
    for (int i = 0; i < 16; i += 4) PokeU32(id + i, rd());
}

// 100-ns units since 1 January 1601 UTC, as FILETIME counts.
uint64_t NowFileTime() {
    constexpr uint64_t kUnixEpochIn1601Seconds = 11'644'473'600ULL;
    auto since1970 = std::chrono::system_clock::now().time_since_epoch();
    auto ticks = std::chrono::duration_cast<std::chrono::duration<int64_t, std::ratio<1, 10'000'000>>>(since1970);
    return kUnixEpochIn1601Seconds * 10'000'000ULL + static_cast<uint64_t>(ticks.count());
}

}  // namespace

struct AsfWriter::Impl {
    enum class Kind { kAudio, kVideo, kCommand };
    struct Stream {
        uint16_t number = 0;
        Kind kind = Kind::kCommand;
        uint32_t bitrate = 0;         // bits/s
        uint32_t avgBytesPerSec = 0;  // audio: gives a sample's duration from its size
        uint64_t frame100ns = 0;      // video: one frame's duration
        uint8_t nextObject = 0;       // media object number, wraps at 256
        bool written = false;
        uint32_t lastPtsMs = 0;          // without preroll
        uint32_t lastDurationMs = 0;     // estimated duration of the last sample
        uint32_t maxObjectSize = 0;      // bytes
        std::size_t espMaxObjectAt = 0;  // file offset of the Maximum Object Size field
    };
    // The last key frame of the indexed stream that is the closest past key frame for index
    // entries from firstEntry on.
    struct IndexPoint {
        uint64_t firstEntry = 0;
        uint32_t packet = 0;
        uint16_t packetCount = 0;
    };

    int fd = -1;
    bool failed = false;  // a write failed; the file is closed as it stands
    uint32_t prerollMs = 0;
    uint8_t fileId[16] = {};
    uint64_t creationTime = 0;    // 100-ns units since 1601
    std::size_t filePropsAt = 0;  // file offset of the File Properties Object
    std::size_t dataAt = 0;       // file offset of the Data Object
    std::vector<Stream> streams;
    int indexStream = -1;  // position in streams
    std::vector<IndexPoint> indexPoints;

    Bytes packet = Bytes(kPacketSize, 0);
    uint32_t packetUsed = kPacketHeaderSize;  // bytes
    uint32_t packetPayloads = 0;
    uint32_t packetFirstMs = 0;  // presentation time of the first payload, without preroll
    uint32_t packetMinMs = 0;
    uint32_t packetMaxMs = 0;
    uint64_t packets = 0;  // written to the file
    uint32_t lastSendMs = 0;
    uint16_t lastPacketDurationMs = 0;
    uint32_t newestMs = 0;  // latest presentation time written, any stream

    Stream* Find(uint16_t number) {
        for (Stream& s : streams)
            if (s.number == number) return &s;
        return nullptr;
    }

    bool BuildAndWriteHeader(const std::vector<AsfAudioStreamInfo>& audio, const std::vector<AsfVideoStreamInfo>& video,
                             const std::vector<AsfCommandStreamInfo>& command);
    void PutFileProperties(Bytes& b, uint64_t fileSize, uint64_t playDuration100ns, uint64_t sendDuration100ns,
                           uint32_t flags) const;
    bool EmitPacket();
    Bytes BuildSimpleIndex(uint64_t playDuration100ns) const;
    uint64_t EndMs() const;
};

void AsfWriter::Impl::PutFileProperties(Bytes& b, uint64_t fileSize, uint64_t playDuration100ns,
                                        uint64_t sendDuration100ns, uint32_t flags) const {
    uint32_t maxBitrate = 0;
    for (const Stream& s : streams) maxBitrate += s.bitrate;
    std::size_t o = BeginObject(b, kFilePropertiesObject);
    PutBytes(b, fileId, 16);
    PutU64(b, fileSize);
    PutU64(b, creationTime);
    PutU64(b, packets);
    PutU64(b, playDuration100ns);
    PutU64(b, sendDuration100ns);
    PutU64(b, prerollMs);
    PutU32(b, flags);
    PutU32(b, kPacketSize);  // minimum data packet size
    PutU32(b, kPacketSize);  // maximum data packet size
    PutU32(b, maxBitrate);
    EndObject(b, o);
}

bool AsfWriter::Impl::BuildAndWriteHeader(const std::vector<AsfAudioStreamInfo>& audio,
                                          const std::vector<AsfVideoStreamInfo>& video,
                                          const std::vector<AsfCommandStreamInfo>& command) {
    Bytes b;
    std::size_t header = BeginObject(b, kHeaderObject);
    std::size_t countAt = b.size();
    PutU32(b, 0);  // number of header objects, filled in below
    PutU8(b, 0x01);
    PutU8(b, 0x02);
    uint32_t objects = 0;

    // While recording the file reads as a broadcast: sizes, counts and durations are unknown.
    filePropsAt = b.size();
    PutFileProperties(b, 0, 0, 0, kBroadcastFlag);
    ++objects;

    auto streamProperties = [&](const Guid& type, uint16_t number, const Bytes& typeSpecific) {
        std::size_t o = BeginObject(b, kStreamPropertiesObject);
        PutGuid(b, type);
        PutGuid(b, kNoErrorCorrection);
        PutU64(b, 0);  // time offset
        PutU32(b, static_cast<uint32_t>(typeSpecific.size()));
        PutU32(b, 0);  // error correction data length
        PutU16(b, number & 0x7F);
        PutU32(b, 0);  // reserved
        PutBytes(b, typeSpecific.data(), typeSpecific.size());
        EndObject(b, o);
        ++objects;
    };
    for (const AsfAudioStreamInfo& a : audio) {
        Bytes wave;  // WAVEFORMATEX + codec data
        PutU16(wave, a.formatTag);
        PutU16(wave, a.channels);
        PutU32(wave, a.samplesPerSec);
        PutU32(wave, a.avgBytesPerSec);
        PutU16(wave, a.blockAlign);
        PutU16(wave, a.bitsPerSample);
        PutU16(wave, static_cast<uint16_t>(a.codecData.size()));
        PutBytes(wave, a.codecData.data(), a.codecData.size());
        streamProperties(kAudioMedia, a.number, wave);
    }
    for (const AsfVideoStreamInfo& v : video) {
        Bytes format;  // BITMAPINFOHEADER + codec data
        PutU32(format, static_cast<uint32_t>(40 + v.codecData.size()));
        PutU32(format, v.width);
        PutU32(format, v.height);
        PutU16(format, 1);  // planes
        PutU16(format, v.bitCount);
        PutU32(format, v.fourcc);
        uint64_t imageSize = (uint64_t{v.width} * v.bitCount + 31) / 32 * 4 * v.height;  // rows padded to 4 bytes
        PutU32(format, static_cast<uint32_t>(std::min<uint64_t>(imageSize, 0xFFFFFFFFu)));
        PutU32(format, 0);  // horizontal pixels per meter
        PutU32(format, 0);  // vertical pixels per meter
        PutU32(format, 0);  // colors used
        PutU32(format, 0);  // important colors
        PutBytes(format, v.codecData.data(), v.codecData.size());
        Bytes typeSpecific;
        PutU32(typeSpecific, v.width);
        PutU32(typeSpecific, v.height);
        PutU8(typeSpecific, 2);  // reserved flags
        PutU16(typeSpecific, static_cast<uint16_t>(format.size()));
        PutBytes(typeSpecific, format.data(), format.size());
        streamProperties(kVideoMedia, v.number, typeSpecific);
    }
    for (const AsfCommandStreamInfo& c : command) streamProperties(kCommandMedia, c.number, {});

    // Header Extension with one Extended Stream Properties Object per stream; the maximum object
    // size is unknown now and patched at the end.
    std::size_t ext = BeginObject(b, kHeaderExtensionObject);
    PutGuid(b, kReserved1);
    PutU16(b, 6);
    std::size_t extSizeAt = b.size();
    PutU32(b, 0);
    for (Stream& s : streams) {
        std::size_t o = BeginObject(b, kExtendedStreamPropertiesObject);
        PutU64(b, 0);  // start time, ms: the whole file
        PutU64(b, 0);  // end time, ms
        PutU32(b, s.bitrate);
        PutU32(b, prerollMs);  // leaky-bucket buffer size, ms
        PutU32(b, 0);          // initial buffer fullness, ms
        PutU32(b, s.bitrate);  // alternate values: the same bucket
        PutU32(b, prerollMs);
        PutU32(b, 0);
        s.espMaxObjectAt = b.size();
        PutU32(b, 0);  // maximum object size, 0 = unknown
        PutU32(b, s.kind == Kind::kCommand ? 0 : kStreamSeekable);
        PutU16(b, s.number);
        PutU16(b, 0);  // stream language id index
        PutU64(b, s.frame100ns);
        PutU16(b, 0);  // stream name count
        PutU16(b, 0);  // payload extension system count
        EndObject(b, o);
    }
    PokeU32(b.data() + extSizeAt, static_cast<uint32_t>(b.size() - extSizeAt - 4));
    EndObject(b, ext);
    ++objects;

    std::size_t rates = BeginObject(b, kStreamBitratePropertiesObject);
    PutU16(b, static_cast<uint16_t>(streams.size()));
    for (const Stream& s : streams) {
        PutU16(b, s.number & 0x7F);
        PutU32(b, s.bitrate);
    }
    EndObject(b, rates);
    ++objects;

    PokeU32(b.data() + countAt, objects);
    EndObject(b, header);

    dataAt = b.size();
    PutGuid(b, kDataObject);
    PutU64(b, 0);  // object size: may be 0 while the broadcast flag is set
    PutBytes(b, fileId, 16);
    PutU64(b, 0);  // total data packets, unknown yet
    PutU8(b, 0x01);
    PutU8(b, 0x01);
    return WriteAll(fd, b.data(), b.size());
}

// Pads the current packet, fills in its parsing information and writes it out with one write(2).
bool AsfWriter::Impl::EmitPacket() {
    if (packetPayloads == 0) return true;
    uint8_t* p = packet.data();
    uint32_t padding = kPacketSize - packetUsed;
    std::memset(p + packetUsed, 0, padding);
    uint32_t sendMs = std::max(lastSendMs, packetFirstMs);  // send times never go back
    uint16_t durationMs =
        static_cast<uint16_t>(std::min<uint32_t>(packetMaxMs > sendMs ? packetMaxMs - sendMs : 0, 0xFFFF));
    p[0] = 0x82;  // error correction present, 2 bytes of error correction data
    p[1] = 0x00;
    p[2] = 0x00;
    p[3] = 0x11;  // multiple payloads; padding length WORD; packet length and sequence absent
    p[4] = 0x5D;  // replicated data length BYTE, offset DWORD, object number BYTE, stream number BYTE
    PokeU16(p + 5, static_cast<uint16_t>(padding));
    PokeU32(p + 7, sendMs);
    PokeU16(p + 11, durationMs);
    p[13] = static_cast<uint8_t>(0x80 | packetPayloads);  // payload lengths are WORDs
    if (!WriteAll(fd, p, kPacketSize)) {
        failed = true;
        return false;
    }
    ++packets;
    lastSendMs = sendMs;
    lastPacketDurationMs = durationMs;
    packetUsed = kPacketHeaderSize;
    packetPayloads = 0;
    return true;
}

// The end of the last sample of any stream, ms without preroll.
uint64_t AsfWriter::Impl::EndMs() const {
    uint64_t end = 0;
    for (const Stream& s : streams)
        if (s.written) end = std::max<uint64_t>(end, uint64_t{s.lastPtsMs} + s.lastDurationMs);
    return end;
}

// Entry i covers presentation time i seconds (preroll included, as in the payloads) and names
// the packet holding the start of the closest past key frame of the indexed stream.
Bytes AsfWriter::Impl::BuildSimpleIndex(uint64_t playDuration100ns) const {
    Bytes b;
    if (indexPoints.empty()) return b;
    uint64_t entries = playDuration100ns / kIndexInterval100ns + 1;
    Bytes table;
    uint16_t maxCount = 0;
    std::size_t point = 0;
    for (uint64_t i = 0; i < entries; ++i) {
        while (point + 1 < indexPoints.size() && indexPoints[point + 1].firstEntry <= i) ++point;
        PutU32(table, indexPoints[point].packet);
        PutU16(table, indexPoints[point].packetCount);
        maxCount = std::max(maxCount, indexPoints[point].packetCount);
    }
    std::size_t o = BeginObject(b, kSimpleIndexObject);
    PutBytes(b, fileId, 16);
    PutU64(b, kIndexInterval100ns);
    PutU32(b, maxCount);
    PutU32(b, static_cast<uint32_t>(entries));
    PutBytes(b, table.data(), table.size());
    EndObject(b, o);
    return b;
}

AsfWriter::~AsfWriter() {
    Finish();
    delete impl_;
}

void AsfWriter::AddAudioStream(const AsfAudioStreamInfo& info) {
    if (!IsOpen()) audio_.push_back(info);
}

void AsfWriter::AddVideoStream(const AsfVideoStreamInfo& info) {
    if (!IsOpen()) video_.push_back(info);
}

void AsfWriter::AddCommandStream(const AsfCommandStreamInfo& info) {
    if (!IsOpen()) command_.push_back(info);
}

bool AsfWriter::Begin(const std::string& path, uint32_t prerollMs) {
    if (IsOpen()) return false;
    auto impl = new Impl;
    for (const AsfAudioStreamInfo& a : audio_) {
        Impl::Stream s;
        s.number = a.number;
        s.kind = Impl::Kind::kAudio;
        s.bitrate = a.bitrate;
        s.avgBytesPerSec = a.avgBytesPerSec;
        impl->streams.push_back(s);
    }
    for (const AsfVideoStreamInfo& v : video_) {
        Impl::Stream s;
        s.number = v.number;
        s.kind = Impl::Kind::kVideo;
        s.bitrate = v.bitrate;
        s.frame100ns = v.avgTimePerFrame100ns;
        impl->streams.push_back(s);
    }
    for (const AsfCommandStreamInfo& c : command_) {
        Impl::Stream s;
        s.number = c.number;
        s.bitrate = c.bitrate;
        impl->streams.push_back(s);
    }
    bool valid = !impl->streams.empty() && impl->streams.size() <= 127;
    for (std::size_t i = 0; valid && i < impl->streams.size(); ++i) {
        uint16_t n = impl->streams[i].number;
        valid = n >= 1 && n <= 127;
        for (std::size_t j = 0; valid && j < i; ++j) valid = impl->streams[j].number != n;
    }
    for (const AsfVideoStreamInfo& v : video_) valid = valid && 40 + v.codecData.size() <= 0xFFFF;  // WORD sizes
    for (const AsfAudioStreamInfo& a : audio_) valid = valid && a.codecData.size() <= 0xFFFF;
    if (!valid) {
        delete impl;
        return false;
    }
    // Index the first video stream; without video every sample of the first stream is a seek point.
    impl->indexStream = video_.empty() ? 0 : static_cast<int>(audio_.size());
    impl->prerollMs = prerollMs;
    RandomFileId(impl->fileId);
    impl->creationTime = NowFileTime();
    impl->fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (impl->fd < 0) {
        delete impl;
        return false;
    }
    if (!impl->BuildAndWriteHeader(audio_, video_, command_)) {
        ::close(impl->fd);
        delete impl;
        return false;
    }
    delete impl_;
    impl_ = impl;
    return true;
}

bool AsfWriter::WriteSample(uint16_t stream, uint32_t presentationMs, bool keyFrame, const uint8_t* data,
                            std::size_t size) {
    if (!IsOpen() || impl_->failed) return false;
    Impl& w = *impl_;
    Impl::Stream* s = w.Find(stream);
    if (!s || !data || size == 0 || size > 0xFFFFFFFFu) return false;
    uint64_t fileTimeMs = uint64_t{presentationMs} + w.prerollMs;  // payload times include the preroll
    if (fileTimeMs > 0xFFFFFFFFu) return false;
    // Audio blocks and commands each stand alone; only video has frames that need an earlier one.
    bool key = keyFrame || s->kind != Impl::Kind::kVideo;
    uint8_t objectNumber = s->nextObject;
    uint32_t objectSize = static_cast<uint32_t>(size);
    uint32_t firstPacket = 0;
    uint32_t lastPacket = 0;

    uint32_t offset = 0;
    while (offset < objectSize) {
        if (w.packetPayloads == 0) {
            w.packetFirstMs = w.packetMinMs = w.packetMaxMs = presentationMs;
        } else {
            w.packetMinMs = std::min(w.packetMinMs, presentationMs);
            w.packetMaxMs = std::max(w.packetMaxMs, presentationMs);
        }
        if (offset == 0) firstPacket = static_cast<uint32_t>(w.packets);
        lastPacket = static_cast<uint32_t>(w.packets);

        uint32_t length = std::min(kPacketSize - w.packetUsed - kPayloadHeaderSize, objectSize - offset);
        uint8_t* p = w.packet.data() + w.packetUsed;
        p[0] = static_cast<uint8_t>((stream & 0x7F) | (key ? 0x80 : 0x00));
        p[1] = objectNumber;
        PokeU32(p + 2, offset);
        p[6] = 8;  // replicated data: object size and presentation time
        PokeU32(p + 7, objectSize);
        PokeU32(p + 11, static_cast<uint32_t>(fileTimeMs));
        PokeU16(p + 15, static_cast<uint16_t>(length));
        std::memcpy(p + kPayloadHeaderSize, data + offset, length);
        w.packetUsed += kPayloadHeaderSize + length;
        ++w.packetPayloads;
        offset += length;

        // A packet that cannot take another payload goes to the file now, so the next fragment
        // always finds room for its header and at least one byte.
        if (w.packetPayloads == kMaxPayloadsPerPacket || kPacketSize - w.packetUsed < kPayloadHeaderSize + 1) {
            if (!w.EmitPacket()) return false;
        }
    }

    ++s->nextObject;
    s->written = true;
    s->lastPtsMs = presentationMs;
    s->maxObjectSize = std::max(s->maxObjectSize, objectSize);
    if (s->kind == Impl::Kind::kAudio && s->avgBytesPerSec > 0)
        s->lastDurationMs =
            static_cast<uint32_t>((uint64_t{objectSize} * 1000 + s->avgBytesPerSec / 2) / s->avgBytesPerSec);
    else if (s->kind == Impl::Kind::kVideo)
        s->lastDurationMs = static_cast<uint32_t>(s->frame100ns / 10'000);
    w.newestMs = std::max(w.newestMs, presentationMs);

    if (key && s == &w.streams[w.indexStream]) {
        uint64_t time100ns = fileTimeMs * 10'000;
        Impl::IndexPoint point;
        point.firstEntry = (time100ns + kIndexInterval100ns - 1) / kIndexInterval100ns;
        point.packet = firstPacket;
        point.packetCount = static_cast<uint16_t>(std::min<uint32_t>(lastPacket - firstPacket + 1, 0xFFFF));
        // A later key frame for the same entries replaces the earlier one.
        if (!w.indexPoints.empty() && w.indexPoints.back().firstEntry >= point.firstEntry)
            w.indexPoints.back() = point;
        else
            w.indexPoints.push_back(point);
    }
    return true;
}

// Complete packets are already in the file. A partial packet is padded out only once it holds
// data more than a second older than the newest sample, so a killed recording loses about a
// second at most without a padded packet after every frame.
bool AsfWriter::Flush() {
    if (!IsOpen() || impl_->failed) return false;
    Impl& w = *impl_;
    if (w.packetPayloads > 0 && w.newestMs - w.packetMinMs >= kFlushAgeMs) return w.EmitPacket();
    return true;
}

bool AsfWriter::Finish() {
    if (!IsOpen()) return true;
    Impl& w = *impl_;
    bool ok = !w.failed && w.EmitPacket();
    if (ok) {
        uint64_t endMs = w.EndMs();
        bool any = std::any_of(w.streams.begin(), w.streams.end(), [](const Impl::Stream& s) { return s.written; });
        uint64_t playDuration100ns = any ? (endMs + w.prerollMs) * 10'000 : 0;
        uint64_t sendDuration100ns = w.packets ? (uint64_t{w.lastSendMs} + w.lastPacketDurationMs) * 10'000 : 0;
        Bytes index = w.packets ? w.BuildSimpleIndex(playDuration100ns) : Bytes{};
        uint64_t dataSize = kDataObjectHeaderSize + w.packets * kPacketSize;
        uint64_t fileSize = w.dataAt + dataSize + index.size();

        // Header first, index last: a crash in between leaves a file whose packets still read.
        Bytes data;
        PutU64(data, dataSize);
        PutBytes(data, w.fileId, 16);
        PutU64(data, w.packets);
        ok = PWriteAll(w.fd, data.data(), data.size(), static_cast<off_t>(w.dataAt + 16));
        for (const Impl::Stream& s : w.streams) {
            uint8_t size[4];
            PokeU32(size, s.maxObjectSize);
            ok = ok && PWriteAll(w.fd, size, 4, static_cast<off_t>(s.espMaxObjectAt));
        }
        Bytes props;
        w.PutFileProperties(props, fileSize, playDuration100ns, sendDuration100ns, kSeekableFlag);
        ok = ok && PWriteAll(w.fd, props.data(), props.size(), static_cast<off_t>(w.filePropsAt));
        ok = ok &&
             (index.empty() || PWriteAll(w.fd, index.data(), index.size(), static_cast<off_t>(w.dataAt + dataSize)));
    }
    if (::close(w.fd) != 0) ok = false;
    w.fd = -1;
    return ok;
}

namespace {

uint64_t GetLe(const uint8_t* p, int n) {
    uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i) v = v << 8 | p[i];
    return v;
}

bool SameGuid(const uint8_t* p, const Guid& g) {
    Bytes b;
    PutGuid(b, g);
    return std::memcmp(p, b.data(), 16) == 0;
}

bool PReadAll(int fd, uint8_t* p, std::size_t n, off_t at) {
    while (n > 0) {
        ssize_t done = ::pread(fd, p, n, at);
        if (done < 0 && errno == EINTR) continue;
        if (done <= 0) return false;
        p += done;
        n -= static_cast<std::size_t>(done);
        at += done;
    }
    return true;
}

}  // namespace

bool AsfWriter::FinishInterrupted(const std::string& path, Recovered* recovered) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) return false;
    auto fail = [fd] {
        ::close(fd);
        return false;
    };
    struct stat info {};
    if (::fstat(fd, &info) != 0 || info.st_size < 30) return fail();
    const uint64_t fileSize = static_cast<uint64_t>(info.st_size);
    Bytes top(30);
    if (!PReadAll(fd, top.data(), top.size(), 0) || !SameGuid(top.data(), kHeaderObject)) return fail();
    const uint64_t headerSize = GetLe(top.data() + 16, 8);
    if (headerSize < 30 || headerSize + kDataObjectHeaderSize > fileSize || headerSize > (1u << 20)) return fail();
    Bytes h(headerSize + kDataObjectHeaderSize);
    if (!PReadAll(fd, h.data(), h.size(), 0) || !SameGuid(h.data() + headerSize, kDataObject)) return fail();

    auto impl = std::make_unique<Impl>();
    Impl& w = *impl;
    w.dataAt = headerSize;
    uint32_t flags = 0;
    uint32_t packetSize = 0;
    // The header's objects, and those of its extension: the file's properties and the streams.
    auto objectAt = [&](std::size_t at, std::size_t end) { return at + 24 <= end && GetLe(&h[at + 16], 8) >= 24; };
    for (std::size_t at = 30; objectAt(at, headerSize); at += GetLe(&h[at + 16], 8)) {
        const uint8_t* o = &h[at];
        const uint64_t size = GetLe(o + 16, 8);
        if (at + size > headerSize) return fail();
        if (SameGuid(o, kFilePropertiesObject) && size >= 104) {
            w.filePropsAt = at;
            std::memcpy(w.fileId, o + 24, 16);
            w.creationTime = GetLe(o + 48, 8);
            w.prerollMs = static_cast<uint32_t>(GetLe(o + 80, 8));
            flags = static_cast<uint32_t>(GetLe(o + 88, 4));
            packetSize = static_cast<uint32_t>(GetLe(o + 92, 4));
        } else if (SameGuid(o, kStreamPropertiesObject) && size >= 78) {
            Impl::Stream stream;
            stream.number = static_cast<uint16_t>(GetLe(o + 72, 2) & 0x7F);
            const uint32_t typeLength = static_cast<uint32_t>(GetLe(o + 64, 4));
            if (SameGuid(o + 24, kAudioMedia)) {
                stream.kind = Impl::Kind::kAudio;
                if (typeLength >= 12 && 78 + 12 <= size) stream.avgBytesPerSec = static_cast<uint32_t>(GetLe(o + 86, 4));
            } else if (SameGuid(o + 24, kVideoMedia)) {
                stream.kind = Impl::Kind::kVideo;
            }
            w.streams.push_back(stream);
        } else if (SameGuid(o, kHeaderExtensionObject) && size >= 46) {
            for (std::size_t in = at + 46; objectAt(in, at + size); in += GetLe(&h[in + 16], 8)) {
                const uint8_t* e = &h[in];
                if (!SameGuid(e, kExtendedStreamPropertiesObject) || GetLe(e + 16, 8) < 88) continue;
                for (Impl::Stream& stream : w.streams) {
                    if (stream.number != GetLe(e + 72, 2)) continue;
                    stream.bitrate = static_cast<uint32_t>(GetLe(e + 40, 4));
                    stream.espMaxObjectAt = in + 64;
                    stream.frame100ns = GetLe(e + 76, 8);
                }
            }
        }
    }
    // Only this writer's own files: fixed-size packets of its size, every stream described.
    if (!w.filePropsAt || packetSize != kPacketSize || w.streams.empty()) return fail();
    for (const Impl::Stream& stream : w.streams) {
        if (stream.espMaxObjectAt == 0) return fail();
    }
    const bool open = (flags & kBroadcastFlag) != 0;
    if (recovered) *recovered = {GetLe(&h[headerSize + 40], 8), 0, open};
    if (!open) {
        if (recovered) recovered->durationMs = (GetLe(&h[w.filePropsAt + 64], 8) / 10'000) - w.prerollMs;
        ::close(fd);
        return true;
    }
    w.indexStream = -1;
    for (std::size_t i = 0; i < w.streams.size(); ++i) {
        if (w.streams[i].kind == Impl::Kind::kVideo) {
            w.indexStream = static_cast<int>(i);
            break;
        }
    }
    if (w.indexStream < 0) w.indexStream = 0;

    // The packets as the writer made them, up to the first that is cut off or damaged.
    Bytes packet(kPacketSize);
    int keyObject = -1;  // object number of the last key frame of the indexed stream
    const uint64_t first = headerSize + kDataObjectHeaderSize;
    for (uint64_t at = first; at + kPacketSize <= fileSize; at += kPacketSize) {
        if (!PReadAll(fd, packet.data(), kPacketSize, static_cast<off_t>(at))) break;
        const uint8_t* p = packet.data();
        if (p[0] != 0x82 || p[3] != 0x11 || p[4] != 0x5D || (p[13] & 0xC0) != 0x80) break;
        const uint32_t padding = static_cast<uint32_t>(GetLe(p + 5, 2));
        const uint32_t count = p[13] & 0x3F;
        std::size_t q = kPacketHeaderSize;
        bool whole = count > 0;
        struct Found {
            Impl::Stream* stream;
            uint32_t timeMs;
            uint32_t objectSize;
            uint8_t object;
            uint32_t offset;
            bool key;
        };
        std::vector<Found> found;
        for (uint32_t i = 0; whole && i < count; ++i) {
            if (q + kPayloadHeaderSize > kPacketSize) {
                whole = false;
                break;
            }
            const uint16_t number = p[q] & 0x7F;
            const bool key = (p[q] & 0x80) != 0;
            const uint32_t offset = static_cast<uint32_t>(GetLe(p + q + 2, 4));
            const uint32_t objectSize = static_cast<uint32_t>(GetLe(p + q + 7, 4));
            const uint32_t fileTimeMs = static_cast<uint32_t>(GetLe(p + q + 11, 4));
            const uint32_t length = static_cast<uint32_t>(GetLe(p + q + 15, 2));
            Impl::Stream* stream = w.Find(number);
            if (!stream || p[q + 6] != 8 || q + kPayloadHeaderSize + length > kPacketSize ||
                fileTimeMs < w.prerollMs) {
                whole = false;
                break;
            }
            found.push_back({stream, fileTimeMs - w.prerollMs, objectSize, p[q + 1], offset, key});
            q += kPayloadHeaderSize + length;
        }
        if (!whole || q + padding != kPacketSize) break;
        for (const Found& f : found) {
            Impl::Stream& s = *f.stream;
            s.written = true;
            s.lastPtsMs = std::max(s.lastPtsMs, f.timeMs);
            s.maxObjectSize = std::max(s.maxObjectSize, f.objectSize);
            if (s.kind == Impl::Kind::kAudio && s.avgBytesPerSec > 0)
                s.lastDurationMs =
                    static_cast<uint32_t>((uint64_t{f.objectSize} * 1000 + s.avgBytesPerSec / 2) / s.avgBytesPerSec);
            else if (s.kind == Impl::Kind::kVideo)
                s.lastDurationMs = static_cast<uint32_t>(s.frame100ns / 10'000);
            if (&s != &w.streams[w.indexStream] || !(f.key || s.kind != Impl::Kind::kVideo)) continue;
            if (f.offset == 0) {
                Impl::IndexPoint point;
                point.firstEntry = ((uint64_t{f.timeMs} + w.prerollMs) * 10'000 + kIndexInterval100ns - 1) /
                                   kIndexInterval100ns;
                point.packet = static_cast<uint32_t>(w.packets);
                point.packetCount = 1;
                if (!w.indexPoints.empty() && w.indexPoints.back().firstEntry >= point.firstEntry)
                    w.indexPoints.back() = point;
                else
                    w.indexPoints.push_back(point);
                keyObject = f.object;
            } else if (!w.indexPoints.empty() && f.object == keyObject &&
                       w.indexPoints.back().packet + w.indexPoints.back().packetCount == w.packets) {
                // The rest of the key frame, in the packets that follow its start.
                ++w.indexPoints.back().packetCount;
            }
        }
        w.lastSendMs = static_cast<uint32_t>(GetLe(p + 7, 4));
        w.lastPacketDurationMs = static_cast<uint16_t>(GetLe(p + 11, 2));
        ++w.packets;
    }
    // Whatever follows the last whole packet goes; Finish writes the rest as it always does.
    if (::ftruncate(fd, static_cast<off_t>(first + w.packets * kPacketSize)) != 0) return fail();
    w.fd = fd;
    AsfWriter finisher;
    finisher.impl_ = impl.release();
    const bool ok = finisher.Finish();
    if (recovered) {
        recovered->packets = finisher.impl_->packets;
        recovered->durationMs = finisher.impl_->EndMs();
    }
    return ok;
}

bool AsfWriter::IsOpen() const { return impl_ && impl_->fd >= 0; }

uint64_t AsfWriter::PacketsWritten() const { return impl_ ? impl_->packets : 0; }

}  // namespace tovra::wmf
