// Course folder and web template.
#include "course/course_folder.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

#include "platform/text/code_page.h"

namespace tovra {

namespace fs = std::filesystem;

namespace {

// One file, overwriting; a missing source or a failed copy is passed over.
bool CopyOne(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    return fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec) && !ec;
}

// Every regular file directly in `from` (no subfolders) into `to`.
void CopyFolderFiles(const fs::path& from, const fs::path& to) {
    std::error_code ec;
    for (fs::directory_iterator it(from, ec), end; !ec && it != end; it.increment(ec)) {
        if (it->is_regular_file(ec)) CopyOne(it->path(), to / it->path().filename());
    }
}

}  // namespace

void CopyWebTemplate(const std::string& languageFolder, const std::string& courseFolder, bool blankCourse) {
    const fs::path r = fs::path(languageFolder) / "web.files";
    const fs::path c = fs::path(courseFolder) / "web.files";
    std::error_code ec;
    fs::create_directory(c, ec);
    fs::create_directory(c / "image", ec);
    fs::create_directory(c / "mvfile", ec);
    for (const char* name : {"tree.htm", "index.htm", "163.css", "main.htm"}) CopyOne(r / name, c / name);
    if (!blankCourse) {
        CopyOne(r / "left.htm", c / "left.htm");
    } else {
        CopyOne(r / "1.html", c / "1.html");
        CopyOne(r / "fullscreen.htm", c / "fullscreen.htm");
        CopyOne(r / "web.htm", fs::path(courseFolder) / "web.htm");
        CopyOne(r / "_left.htm", c / "left.htm");
    }
    CopyFolderFiles(r / "image", c / "image");
    CopyFolderFiles(r / "mvfile", c / "mvfile");
}

std::string PageFilePath(const std::string& courseFolder, int number) {
    return courseFolder + "/web.files/" + std::to_string(number) + ".html";
}

bool CopyPageTemplate(const std::string& languageFolder, const std::string& courseFolder, int number) {
    return CopyOne(fs::path(languageFolder) / "web.files" / "1.html", PageFilePath(courseFolder, number));
}

std::string CoursePagesScriptPath(const std::string& courseFolder) {
    return courseFolder + "/web.files/CoursePages.js";
}

std::string FormatCoursePagesScript(const std::vector<CoursePage>& pages) {
    std::string out = "var coursePages = [";
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i) out += ",";
        out += "{\"number\":" + std::to_string(pages[i].number) + ",\"title\":\"";
        for (char16_t unit : text::FromCodePage(pages[i].title)) {
            if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\' && unit != '<') {
                out += static_cast<char>(unit);
            } else {
                // "<" too, so that a title can never close a script element.
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
                out += escape;
            }
        }
        out += "\"}";
    }
    out += "];\r\n";
    return out;
}

}  // namespace tovra
