#include "platform/files/zip_writer.h"

#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace tovra {

namespace {

constexpr uint16_t kUtf8Names = 1 << 11;  // general purpose flag: names and comments in UTF-8
constexpr uint16_t kVersion = 20;          // 2.0: deflate and folders
constexpr size_t kPiece = 1 << 16;

void Put16(std::string& out, uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}
void Put32(std::string& out, uint32_t v) {
    Put16(out, static_cast<uint16_t>(v & 0xFFFF));
    Put16(out, static_cast<uint16_t>(v >> 16));
}

// MS-DOS time and date of a moment, local time as zip tools show it; 1980 at the earliest.
void DosTime(long seconds, uint16_t& time, uint16_t& date) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm local{};
    localtime_r(&t, &local);
    if (local.tm_year < 80) {
        time = 0;
        date = (1 << 5) | 1;
        return;
    }
    time = static_cast<uint16_t>((local.tm_hour << 11) | (local.tm_min << 5) | (local.tm_sec / 2));
    date = static_cast<uint16_t>(((local.tm_year - 80) << 9) | ((local.tm_mon + 1) << 5) | local.tm_mday);
}

// Kinds whose data is compressed already: deflating them costs time and saves nothing.
bool IsCompressedAlready(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos) return false;
    std::string ext = name.substr(dot + 1);
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::set<std::string> kinds = {"webm", "wmv", "mp4", "png", "jpg", "jpeg", "gif", "zip", "mp3", "ogg"};
    return kinds.count(ext) > 0;
}

}  // namespace

bool IsSafeZipName(const std::string& name) {
    if (name.empty() || name.size() > 0xFFFF || name.front() == '/') return false;
    if (name.find('\\') != std::string::npos || name.find('\0') != std::string::npos) return false;
    size_t start = 0;
    while (start <= name.size()) {
        const size_t slash = std::min(name.find('/', start), name.size());
        const std::string part = name.substr(start, slash - start);
        if (part.empty() || part == "." || part == "..") return false;
        start = slash + 1;
    }
    return true;
}

ZipWriter::ZipWriter(std::string path) : path_(std::move(path)) {
    temporary_ = path_ + ".XXXXXX";
    const int fd = mkstemp(temporary_.data());
    if (fd < 0) {
        FailSystem();
        temporary_.clear();
        return;
    }
    fchmod(fd, 0644);
    file_ = fdopen(fd, "w+b");
    if (!file_) {
        FailSystem();
        close(fd);
    }
}

ZipWriter::~ZipWriter() {
    if (file_) std::fclose(file_);
    if (!finished_ && !temporary_.empty()) unlink(temporary_.c_str());
}

bool ZipWriter::FailSystem() {
    const int why = errno ? errno : EIO;
    if (error_.empty()) systemError_ = why;
    return Fail(std::strerror(why));
}

void ZipWriter::PutSizes(std::string& out, const Entry& e) {
    Put32(out, e.crc);
    Put32(out, e.compressed);
    Put32(out, e.size);
}

// The fields the local header and the central directory share, from "version needed" to the
// name's length.
void ZipWriter::PutCommonFields(std::string& out, const Entry& e) {
    Put16(out, kVersion);
    Put16(out, kUtf8Names);
    Put16(out, e.method);
    Put16(out, e.time);
    Put16(out, e.date);
    PutSizes(out, e);
    Put16(out, static_cast<uint16_t>(e.name.size()));
}

bool ZipWriter::Fail(const std::string& why) {
    if (error_.empty()) error_ = why;
    return false;
}

template <typename Read>
bool ZipWriter::Add(const std::string& name, bool deflate, long mtime, Read read) {
    if (!file_ || !error_.empty() || finished_) return Fail("the archive is not open");
    if (!IsSafeZipName(name)) return Fail("not a name an archive may hold: " + name);
    for (const Entry& e : entries_) {
        if (e.name == name) return Fail("twice in the archive: " + name);
    }
    if (entries_.size() >= 0xFFFF) return Fail("too many files for an archive");
    const long offset = std::ftell(file_);
    if (offset < 0 || offset > 0xFFFFFFFFL) return Fail("the archive would be larger than 4 GiB");
    Entry entry;
    entry.name = name;
    entry.offset = static_cast<uint32_t>(offset);
    entry.method = deflate ? 8 : 0;
    DosTime(mtime, entry.time, entry.date);
    // The local header, its CRC and sizes filled in once the data is written.
    std::string header;
    Put32(header, 0x04034b50);
    PutCommonFields(header, entry);
    Put16(header, 0);
    header += name;
    if (std::fwrite(header.data(), 1, header.size(), file_) != header.size()) return FailSystem();

    z_stream z{};
    if (deflate && deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
        return Fail("the compressor could not start");
    }
    uLong crc = crc32(0, nullptr, 0);
    uint64_t size = 0, written = 0;
    std::vector<char> in(kPiece), out(kPiece);
    bool ok = true;
    for (bool last = false; ok && !last;) {
        const long got = read(in.data(), in.size());
        if (got < 0) {
            readFailed_ = true;
            ok = FailSystem();
            break;
        }
        last = got == 0;
        crc = crc32(crc, reinterpret_cast<const Bytef*>(in.data()), static_cast<uInt>(got));
        size += static_cast<uint64_t>(got);
        if (!deflate) {
            if (std::fwrite(in.data(), 1, static_cast<size_t>(got), file_) != static_cast<size_t>(got)) {
                ok = FailSystem();
            }
            written += static_cast<uint64_t>(got);
            continue;
        }
        z.next_in = reinterpret_cast<Bytef*>(in.data());
        z.avail_in = static_cast<uInt>(got);
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = static_cast<uInt>(out.size());
            ::deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            const size_t made = out.size() - z.avail_out;
            if (std::fwrite(out.data(), 1, made, file_) != made) {
                ok = FailSystem();
                break;
            }
            written += made;
        } while (z.avail_out == 0);
    }
    if (deflate) deflateEnd(&z);
    if (!ok) return false;
    if (size > 0xFFFFFFFFu || written > 0xFFFFFFFFu) return Fail("a file is too large for the archive: " + name);
    entry.crc = static_cast<uint32_t>(crc);
    entry.size = static_cast<uint32_t>(size);
    entry.compressed = static_cast<uint32_t>(written);
    std::string sizes;
    PutSizes(sizes, entry);
    if (std::fseek(file_, offset + 14, SEEK_SET) != 0 || std::fwrite(sizes.data(), 1, sizes.size(), file_) != sizes.size() ||
        std::fseek(file_, 0, SEEK_END) != 0) {
        return FailSystem();
    }
    entries_.push_back(entry);
    return true;
}

bool ZipWriter::AddBytes(const std::string& name, std::string_view bytes) {
    size_t at = 0;
    return Add(name, !IsCompressedAlready(name), static_cast<long>(std::time(nullptr)), [&](char* to, size_t room) {
        const size_t n = std::min(room, bytes.size() - at);
        std::memcpy(to, bytes.data() + at, n);
        at += n;
        return static_cast<long>(n);
    });
}

bool ZipWriter::AddFile(const std::string& name, const std::string& diskPath) {
    struct stat info{};
    std::FILE* in = std::fopen(diskPath.c_str(), "rb");
    if (!in || fstat(fileno(in), &info) != 0) {
        const int why = errno;
        if (in) std::fclose(in);
        errno = why;
        readFailed_ = error_.empty();
        return FailSystem();
    }
    const bool ok = Add(name, !IsCompressedAlready(name), static_cast<long>(info.st_mtime), [&](char* to, size_t room) {
        const size_t n = std::fread(to, 1, room, in);
        return std::ferror(in) ? -1L : static_cast<long>(n);
    });
    std::fclose(in);
    return ok;
}

bool ZipWriter::Finish() {
    if (!file_ || !error_.empty() || finished_) return Fail("the archive is not open");
    const long start = std::ftell(file_);
    std::string directory;
    for (const Entry& e : entries_) {
        Put32(directory, 0x02014b50);
        Put16(directory, (3 << 8) | kVersion);  // made on Unix, so the permissions below are read
        PutCommonFields(directory, e);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put16(directory, 0);
        Put32(directory, 0100644u << 16);  // a regular file, rw-r--r--
        Put32(directory, e.offset);
        directory += e.name;
    }
    if (start < 0 || start + directory.size() > 0xFFFFFFFFu) return Fail("the archive would be larger than 4 GiB");
    const uint32_t centralSize = static_cast<uint32_t>(directory.size());
    Put32(directory, 0x06054b50);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, static_cast<uint16_t>(entries_.size()));
    Put16(directory, static_cast<uint16_t>(entries_.size()));
    Put32(directory, centralSize);
    Put32(directory, static_cast<uint32_t>(start));
    Put16(directory, 0);
    if (std::fwrite(directory.data(), 1, directory.size(), file_) != directory.size() || std::fflush(file_) != 0 ||
        fsync(fileno(file_)) != 0) {
        return FailSystem();
    }
    std::fclose(file_);
    file_ = nullptr;
    if (std::rename(temporary_.c_str(), path_.c_str()) != 0) return FailSystem();
    finished_ = true;
    return true;
}

}  // namespace tovra
