// Zip archives written by the program: entries deflated (or stored, for what is compressed
// already) with UTF-8 names, built in a temporary file beside the target and put in its place
// only when whole. No zip64: an archive stays under 4 GiB and 65535 entries.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace tovra {

class ZipWriter {
public:
    // The archive appears at path only when Finish succeeds; until then path is untouched.
    explicit ZipWriter(std::string path);
    ~ZipWriter();  // unfinished: the temporary file is removed
    ZipWriter(const ZipWriter&) = delete;
    ZipWriter& operator=(const ZipWriter&) = delete;

    // name: the entry's path in the archive, "/"-separated, relative, without "." or ".." parts.
    bool AddBytes(const std::string& name, std::string_view bytes);
    // The file's contents, read in pieces; its modification time becomes the entry's.
    bool AddFile(const std::string& name, const std::string& diskPath);
    bool Finish();
    // What went wrong, for a message: empty while all is well.
    const std::string& Error() const { return error_; }
    // The errno of a failure of the system (0 for the archive's own refusals), to say why in the
    // interface's language.
    int SystemError() const { return systemError_; }
    // Whether the failure was reading a file to add, not writing the archive.
    bool ReadFailed() const { return readFailed_; }

private:
    struct Entry {
        std::string name;
        uint32_t crc = 0, compressed = 0, size = 0, offset = 0;
        uint16_t method = 0, time = 0, date = 0;
    };
    template <typename Read>
    bool Add(const std::string& name, bool deflate, long mtime, Read read);
    bool Fail(const std::string& why);
    bool FailSystem();  // with errno
    static void PutSizes(std::string& out, const Entry& e);
    static void PutCommonFields(std::string& out, const Entry& e);

    std::string path_, temporary_;
    std::FILE* file_ = nullptr;
    std::vector<Entry> entries_;
    std::string error_;
    int systemError_ = 0;
    bool readFailed_ = false;
    bool finished_ = false;
};

// Whether an entry name is one a zip should hold: relative, "/"-separated, no empty, "." or
// ".." parts, no backslash or NUL.
bool IsSafeZipName(const std::string& name);

}  // namespace tovra
