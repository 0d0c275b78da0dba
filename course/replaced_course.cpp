#include "course/replaced_course.h"

#include <stdlib.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <system_error>
#include <vector>

namespace tovra {

namespace fs = std::filesystem;

namespace {

bool SameIgnoringCase(const std::string& a, const char* b) {
    const std::string other(b);
    return a.size() == other.size() && std::equal(a.begin(), a.end(), other.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) == std::tolower(static_cast<unsigned char>(y));
           });
}

bool IsWebFolder(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_directory(ec) && SameIgnoringCase(entry.path().filename().string(), "web.files");
}

bool IsProjectFile(const fs::directory_entry& entry) {
    std::error_code ec;
    const std::string name = entry.path().filename().string();
    return entry.is_regular_file(ec) && name.size() > 4 && name.ends_with(".lsn");
}

// What a course consists of in its folder: project files, the start page and the web folder.
bool IsCourseEntry(const fs::directory_entry& entry) {
    return IsWebFolder(entry) || IsProjectFile(entry) || SameIgnoringCase(entry.path().filename().string(), "web.htm");
}

}  // namespace

bool HoldsCourse(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsWebFolder(*it) || IsProjectFile(*it)) return true;
    }
    return false;
}

bool ReplacedCourse::MoveAside(const std::string& folder) {
    std::string pattern = folder + "/.tovra-replaced-XXXXXX";
    if (!mkdtemp(pattern.data())) return false;
    aside_ = pattern;
    folder_ = folder;
    std::error_code ec;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsCourseEntry(*it)) entries.push_back(it->path().filename());
    }
    for (const fs::path& name : entries) {
        fs::rename(fs::path(folder) / name, fs::path(aside_) / name, ec);
        if (ec) {
            PutBack();
            return false;
        }
    }
    return true;
}

void ReplacedCourse::Drop() {
    std::error_code ec;
    if (!aside_.empty()) fs::remove_all(aside_, ec);
    aside_.clear();
}

void ReplacedCourse::PutBack() {
    if (aside_.empty()) return;
    std::error_code ec;
    for (fs::directory_iterator it(aside_, ec), end; !ec && it != end; it.increment(ec)) {
        const fs::path target = fs::path(folder_) / it->path().filename();
        std::error_code removed;
        fs::remove_all(target, removed);  // what the failed creation left in its place
        fs::rename(it->path(), target, removed);
    }
    fs::remove_all(aside_, ec);
    aside_.clear();
}

}  // namespace tovra
