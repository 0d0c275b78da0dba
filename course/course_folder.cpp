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

namespace {

// A UTF-8 text as a double-quoted string in ASCII: everything but printable ASCII as \uXXXX.
void AppendAsciiString(std::string& out, std::string_view utf8) {
    out += '"';
    for (char16_t unit : text::Utf8ToUtf16(utf8)) {
        if (unit >= 0x20 && unit < 0x7F && unit != '"' && unit != '\\' && unit != '<') {
            out += static_cast<char>(unit);
        } else {
            // "<" too, so that a text can never close a script element.
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned>(unit));
            out += escape;
        }
    }
    out += '"';
}

int HexValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reads a JavaScript string in quote at text[pos] (either quote) up to its closing quote and
// moves pos past it. Takes the escapes JavaScript has; the bytes between are UTF-8 or ASCII.
bool ReadScriptString(std::string_view text, std::size_t& pos, std::string& utf8) {
    if (pos >= text.size() || (text[pos] != '"' && text[pos] != '\'')) return false;
    const char quote = text[pos++];
    std::u16string units;
    std::string plain;
    const auto flush = [&] {
        units += text::Utf8ToUtf16(plain);
        plain.clear();
    };
    while (pos < text.size() && text[pos] != quote) {
        const char c = text[pos++];
        if (c != '\\') {
            plain += c;
            continue;
        }
        if (pos >= text.size()) return false;
        flush();
        const char e = text[pos++];
        switch (e) {
            case 'n': units += u'\n'; break;
            case 'r': units += u'\r'; break;
            case 't': units += u'\t'; break;
            case 'v': units += u'\v'; break;
            case 'b': units += u'\b'; break;
            case 'f': units += u'\f'; break;
            case '0': units += u'\0'; break;
            case 'u': {
                if (pos + 4 > text.size()) return false;
                int value = 0;
                for (int k = 0; k < 4; ++k) {
                    const int h = HexValue(text[pos + k]);
                    if (h < 0) return false;
                    value = value * 16 + h;
                }
                pos += 4;
                units += static_cast<char16_t>(value);
                break;
            }
            case '\r':
            case '\n':
                break;  // a line continuation
            default: plain += e; break;
        }
    }
    if (pos >= text.size()) return false;
    ++pos;
    flush();
    utf8 = text::Utf16ToUtf8(units);
    return true;
}

}  // namespace

std::string FormatCoursePagesScript(const std::vector<CoursePage>& pages) {
    std::string out = "var coursePages = [";
    for (size_t i = 0; i < pages.size(); ++i) {
        if (i) out += ",";
        out += "{\"number\":" + std::to_string(pages[i].number);
        // Before the title, so that a reader finds it right after the number.
        if (pages[i].hidden) out += ",\"hidden\":true";
        out += ",\"title\":";
        AppendAsciiString(out, pages[i].title);
        out += "}";
    }
    out += "];\r\n";
    return out;
}

std::set<int> HiddenPagesOf(std::string_view script) {
    std::set<int> hidden;
    constexpr std::string_view kNumber = "{\"number\":";
    constexpr std::string_view kHidden = ",\"hidden\":true";
    for (size_t at = script.find(kNumber); at != std::string_view::npos; at = script.find(kNumber, at + 1)) {
        size_t end = at + kNumber.size();
        int number = 0;
        while (end < script.size() && script[end] >= '0' && script[end] <= '9' && number < 1000000) {
            number = number * 10 + (script[end++] - '0');
        }
        if (number > 0 && script.substr(end, kHidden.size()) == kHidden) hidden.insert(number);
    }
    return hidden;
}

std::string CourseDetailsScriptPath(const std::string& courseFolder) {
    return courseFolder + "/web.files/CourseDetails.js";
}

std::string FormatCourseDetailsScript(const CourseDetails& details) {
    std::string out = "var courseDetails = {\"unit\":";
    AppendAsciiString(out, details.unitName);
    out += ",\"date\":";
    AppendAsciiString(out, details.makeDate);
    out += "};\r\n";
    return out;
}

bool ParseCourseDetailsScript(std::string_view script, CourseDetails& details) {
    constexpr std::string_view kUnit = "var courseDetails = {\"unit\":";
    constexpr std::string_view kDate = ",\"date\":";
    if (script.substr(0, kUnit.size()) != kUnit) return false;
    std::size_t pos = kUnit.size();
    CourseDetails read;
    if (!ReadScriptString(script, pos, read.unitName)) return false;
    if (script.substr(pos, kDate.size()) != kDate) return false;
    pos += kDate.size();
    if (!ReadScriptString(script, pos, read.makeDate)) return false;
    if (script.substr(pos, 1) != "}") return false;
    details = std::move(read);
    return true;
}

bool CourseDetailsFromIndex(std::string_view indexScript, CourseDetails& details) {
    // "branch1.add(new leaf(' 制作: <unit>',' '));" and the same with 时间 for the date, in the
    // code page; the texts may hold the escapes of a later writer and \uXXXX.
    constexpr std::string_view kUnitLeaf = "branch1.add(new leaf(' \xD6\xC6\xD7\xF7: ";
    constexpr std::string_view kDateLeaf = "branch1.add(new leaf(' \xCA\xB1\xBC\xE4: ";
    CourseDetails found;
    const auto field = [&](std::string_view leaf, std::string& utf8) {
        const std::size_t at = indexScript.find(leaf);
        if (at == std::string_view::npos) return false;
        std::size_t end = at + leaf.size();
        // The value ends at the string's closing quote; a quote of the text is escaped.
        std::string bytes;
        while (end < indexScript.size() && indexScript[end] != '\'') {
            const std::size_t n = text::CodePageCharLength(indexScript, end);
            if (n == 1 && indexScript[end] == '\\' && end + 1 < indexScript.size()) {
                bytes.append(indexScript.substr(end, 2));
                end += 2;
                continue;
            }
            bytes.append(indexScript.substr(end, n));
            end += n;
        }
        if (end >= indexScript.size()) return false;
        // Decoded from the code page first, then the escapes.
        const std::string quoted = "'" + text::CodePageToUtf8(bytes) + "'";
        std::size_t pos = 0;
        return ReadScriptString(quoted, pos, utf8);
    };
    if (!field(kUnitLeaf, found.unitName) || !field(kDateLeaf, found.makeDate)) return false;
    details = std::move(found);
    return true;
}

}  // namespace tovra
