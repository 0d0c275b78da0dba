#include "course/scorm_export.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

#include "course/scorm_manifest.h"
#include "platform/files/zip_writer.h"

namespace tovra {

namespace {

namespace fs = std::filesystem;

// "<name>.<ext>.XXXXXX": what an interrupted atomic write leaves beside the file it replaces.
bool IsTemporary(const std::string& name) {
    const size_t dot = name.rfind('.');
    if (dot == std::string::npos || name.size() - dot != 7) return false;
    if (!std::all_of(name.begin() + static_cast<long>(dot) + 1, name.end(), [](unsigned char c) { return std::isalnum(c); })) {
        return false;
    }
    return name.substr(0, dot).find('.') != std::string::npos;
}

bool EndsWithIgnoringCase(const std::string& name, const std::string& end) {
    if (name.size() < end.size()) return false;
    return std::equal(end.begin(), end.end(), name.end() - static_cast<long>(end.size()),
                      [](char a, char b) { return std::tolower(static_cast<unsigned char>(a)) == b; });
}

// A manifest identifier the course keeps from one export to the next: its folder's name hashed.
std::string IdentifierOf(const CourseProject& course) {
    uint64_t hash = 1469598103934665603ull;
    for (const unsigned char c : course.folder + "/" + course.projectFileName) hash = (hash ^ c) * 1099511628211ull;
    char text[32];
    std::snprintf(text, sizeof text, "TOVRA-%016llx", static_cast<unsigned long long>(hash));
    return text;
}

}  // namespace

std::vector<std::string> ScormPlayerFiles(const std::string& courseFolder) {
    std::vector<std::string> files;
    std::error_code ec;
    if (fs::is_regular_file(fs::path(courseFolder) / "web.htm", ec)) files.push_back("web.htm");
    const fs::path web = fs::path(courseFolder) / "web.files";
    if (fs::is_directory(web, ec)) {
        for (auto it = fs::recursive_directory_iterator(web, ec); !ec && it != fs::recursive_directory_iterator();
             it.increment(ec)) {
            const std::string name = it->path().filename().string();
            if (!name.empty() && name.front() == '.') {
                if (it->is_directory(ec)) it.disable_recursion_pending();
                continue;
            }
            if (!it->is_regular_file(ec) || IsTemporary(name) || EndsWithIgnoringCase(name, ".wmv")) continue;
            files.push_back("web.files/" + fs::relative(it->path(), web, ec).generic_string());
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

ScormExportOutcome ExportScormPackage(const CourseProject& course, const std::string& zipPath,
                                      const std::function<void(std::size_t, std::size_t)>& progress) {
    ScormExportOutcome outcome;
    if (course.pages.empty()) {
        outcome.failure = ScormExportFailure::NoPages;
        return outcome;
    }
    const std::vector<std::string> files = ScormPlayerFiles(course.folder);
    if (std::find(files.begin(), files.end(), "web.htm") == files.end()) {
        outcome.failure = ScormExportFailure::NoStartPage;
        outcome.detail = course.folder + "/web.htm";
        return outcome;
    }
    ScormPackage package;
    package.identifier = IdentifierOf(course);
    package.courseName = course.courseName.empty() ? course.projectFileName : course.courseName;
    package.startPage = "web.htm";
    package.files = files;
    ZipWriter zip(zipPath);
    const auto cannotWrite = [&] {
        outcome.failure = ScormExportFailure::CannotWrite;
        outcome.detail = zipPath;
        outcome.message = zip.Error();
        outcome.systemError = zip.SystemError();
        return outcome;
    };
    if (!zip.AddBytes("imsmanifest.xml", ScormManifest(package))) return cannotWrite();
    for (std::size_t i = 0; i < files.size(); ++i) {
        const std::string from = course.folder + "/" + files[i];
        if (!zip.AddFile(files[i], from)) {
            // A file that vanished or cannot be read is the course's fault, not the archive's.
            if (!zip.ReadFailed()) return cannotWrite();
            outcome.failure = ScormExportFailure::CannotRead;
            outcome.detail = from;
            outcome.message = zip.Error();
            outcome.systemError = zip.SystemError();
            return outcome;
        }
        if (progress) progress(i + 1, files.size());
    }
    if (!zip.Finish()) return cannotWrite();
    outcome.files = files.size();
    return outcome;
}

}  // namespace tovra
