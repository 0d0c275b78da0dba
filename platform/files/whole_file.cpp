// Whole files: read at once with a size limit, written through a temporary file so that the
// old file stays whole when anything fails.
#include "platform/files/whole_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <vector>

namespace tovra {

void RemoveStaleTemporaries(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    const std::string prefix = (slash == std::string::npos ? path : path.substr(slash + 1)) + ".";
    DIR* dir = ::opendir(folder.c_str());
    if (!dir) return;
    // mkstemp's six characters are letters and digits.
    const auto isTemporary = [&](std::string_view name) {
        if (name.size() != prefix.size() + 6 || name.substr(0, prefix.size()) != prefix) return false;
        return std::all_of(name.begin() + static_cast<std::ptrdiff_t>(prefix.size()), name.end(),
                           [](char c) { return std::isalnum(static_cast<unsigned char>(c)) != 0; });
    };
    std::vector<std::string> stale;
    while (const dirent* entry = ::readdir(dir)) {
        if (isTemporary(entry->d_name)) stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : stale) {
        const std::string full = folder + "/" + name;
        struct stat info {};
        if (::lstat(full.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(full.c_str());
    }
}

int FolderWriteError(const std::string& folder) {
    std::string probe = folder + "/.tovra-write-XXXXXX";
    const int fd = mkstemp(probe.data());
    if (fd < 0) return errno != 0 ? errno : EIO;
    int error = 0;
    if (::write(fd, "x", 1) != 1) error = errno != 0 ? errno : ENOSPC;
    ::close(fd);
    ::unlink(probe.c_str());
    return error;
}

bool WriteFileAtomically(const std::string& path, std::string_view bytes, Durability durability) {
    RemoveStaleTemporaries(path);
    std::string temp = path + ".XXXXXX";
    const int fd = mkstemp(temp.data());
    if (fd < 0) return false;
    bool ok = true;
    std::size_t done = 0;
    while (ok && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0)
            ok = false;
        else
            done += static_cast<std::size_t>(n);
    }
    // Keep the permissions of the file being replaced; a new file gets the usual 0644 less umask.
    struct stat old {};
    if (ok) {
        if (::stat(path.c_str(), &old) == 0) {
            ok = ::fchmod(fd, old.st_mode & 07777) == 0;
        } else {
            const mode_t mask = ::umask(0);
            ::umask(mask);
            ok = ::fchmod(fd, 0666 & ~mask) == 0;
        }
    }
    ok = ok && (durability == Durability::Unsynced || ::fsync(fd) == 0);
    ok = (::close(fd) == 0) && ok;
    ok = ok && std::rename(temp.c_str(), path.c_str()) == 0;
    if (!ok) ::unlink(temp.c_str());
    return ok;
}

ReadFileResult ReadWholeFile(const std::string& path, std::size_t maxBytes, std::string& bytes) {
    bytes.clear();
    // Non-blocking so that a named pipe given as a project file cannot hang the program.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ReadFileResult::CannotOpen;
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return ReadFileResult::CannotOpen;
    }
    if (static_cast<std::size_t>(info.st_size) > maxBytes) {
        ::close(fd);
        return ReadFileResult::TooLarge;
    }
    char buffer[65536];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            ::close(fd);
            return ReadFileResult::CannotOpen;
        }
        if (n == 0) break;
        if (bytes.size() + static_cast<std::size_t>(n) > maxBytes) {  // grew while being read
            ::close(fd);
            bytes.clear();
            return ReadFileResult::TooLarge;
        }
        bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return ReadFileResult::Ok;
}

}  // namespace tovra
