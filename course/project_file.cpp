// Reading and writing the ".lsn" project file.
#include "course/project_file.h"


#include <algorithm>
#include <climits>

#include "platform/text/code_page.h"

namespace tovra {
namespace {

constexpr std::string_view kMagic = "TVCF";
constexpr std::string_view kCountPrefix = "COUNT:";
constexpr std::string_view kLineEnd = "\r\n";

// A CR or LF inside a value would split it into two lines and shift everything after it.
void AppendField(std::string& out, std::string_view value) {
    for (char c : value) out.push_back(c == '\r' || c == '\n' ? ' ' : c);
    out.append(kLineEnd);
}

void AppendNameField(std::string& out, std::string_view value) {
    AppendField(out, value.empty() ? kEmptyField : value);
}

// Puts each text into the file's encoding and remembers whether the code page held them all.
class FieldEncoder {
public:
    explicit FieldEncoder(bool utf8) : utf8_(utf8) {}
    std::string operator()(const std::string& text, const std::string& stored = std::string()) {
        if (utf8_) return text;
        // Bytes that do not decode stay as they were while the text shown for them is unchanged.
        if (!stored.empty() && text::CodePageToUtf8(stored) == text) return stored;
        std::string bytes;
        if (!text::TryUtf8ToCodePage(text, bytes)) fits_ = false;
        return bytes;
    }
    bool Fits() const { return fits_; }

private:
    bool utf8_;
    bool fits_ = true;
};

std::string Format(const CourseProject& project, FieldEncoder& encode, bool utf8) {
    std::string out;
    out.reserve(64 + project.pages.size() * 24);
    if (utf8) out.append(kUtf8Mark);
    out.append(kMagic).append(kLineEnd);
    AppendField(out, project.deckPath.empty() ? std::string(kEmptyField) : encode(project.deckPath));
    AppendNameField(out, encode(project.courseName, project.storedCourseName));
    AppendNameField(out, encode(project.teacherName, project.storedTeacherName));
    out.append(kCountPrefix).append(std::to_string(project.pages.size())).append(kLineEnd);
    for (const CoursePage& page : project.pages) {
        out.append(std::to_string(page.number)).push_back(':');
        AppendField(out, encode(page.title, page.storedTitle));
    }
    return out;
}

// A field of the file as UTF-8; stored gets its code-page bytes when decoding loses them.
std::string DecodeField(std::string_view bytes, bool utf8, std::string* stored = nullptr) {
    if (utf8) return text::Utf16ToUtf8(text::Utf8ToUtf16(bytes));  // ill-formed sequences become U+FFFD
    std::string decoded = text::CodePageToUtf8(bytes);
    if (stored && text::Utf8ToCodePage(decoded) != bytes) *stored = std::string(bytes);
    return decoded;
}

std::string ReadNameField(std::string_view line, bool utf8, std::string& stored) {
    return line == kEmptyField ? std::string() : DecodeField(line, utf8, &stored);
}

int16_t ClampToInt16(int value) {
    return static_cast<int16_t>(std::clamp(value, static_cast<int>(INT16_MIN), static_cast<int>(INT16_MAX)));
}

bool IsDigits(std::string_view s) {
    return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "COUNT:<n>" followed by exactly n lines, as the writer makes it.
bool IsCanonicalCountLine(const std::vector<std::string_view>& lines, std::size_t index) {
    if (index >= lines.size()) return false;
    std::string_view line = lines[index];
    if (line.substr(0, kCountPrefix.size()) != kCountPrefix) return false;
    std::string_view digits = line.substr(kCountPrefix.size());
    if (!IsDigits(digits) || digits.size() > 9) return false;
    return static_cast<std::size_t>(LeadingNumber(digits)) == lines.size() - index - 1;
}

// Where the count line stands. Files written before empty names were stored as "*" lost the
// empty line, which moved the count line up by one or two; such files are recognised by a
// canonical count line in that place while the usual place holds none.
std::size_t CountLineIndex(const std::vector<std::string_view>& lines) {
    constexpr std::size_t kUsual = 4;
    if (IsCanonicalCountLine(lines, kUsual)) return kUsual;
    if (IsCanonicalCountLine(lines, 3)) return 3;
    if (IsCanonicalCountLine(lines, 2)) return 2;
    return kUsual;
}

}  // namespace

std::string FormatProjectFile(const CourseProject& project) {
    FieldEncoder codePage(false);
    std::string out = Format(project, codePage, false);
    if (codePage.Fits()) return out;
    FieldEncoder utf8(true);
    return Format(project, utf8, true);
}

std::vector<std::string_view> SplitProjectLines(std::string_view bytes) {
    std::vector<std::string_view> lines;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= bytes.size(); ++i) {
        if (i == bytes.size() || bytes[i] == '\r' || bytes[i] == '\n') {
            if (i > start) lines.push_back(bytes.substr(start, i - start));
            start = i + 1;
        }
    }
    return lines;
}

int LeadingNumber(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > INT_MAX) value = static_cast<long long>(INT_MAX) + 1;  // saturate, keep scanning
    }
    if (negative) value = -value;
    return static_cast<int>(std::clamp<long long>(value, INT_MIN, INT_MAX));
}

ProjectFileContent ParseProjectFile(std::string_view bytes) {
    ProjectFileContent content;
    const bool utf8 = bytes.substr(0, kUtf8Mark.size()) == kUtf8Mark;
    if (utf8) bytes.remove_prefix(kUtf8Mark.size());
    content.utf8 = utf8;
    const std::vector<std::string_view> lines = SplitProjectLines(bytes);
    if (lines.size() < 2 || lines[0] != kMagic) return content;

    content.deckPath = lines[1] == kEmptyField ? std::string() : DecodeField(lines[1], utf8);
    if (lines.size() == 2) {
        content.kind = ProjectFileContent::Kind::ImportRequest;
        return content;
    }
    const std::size_t countIndex = CountLineIndex(lines);
    if (countIndex >= lines.size()) return content;  // lecturer or count line missing
    if (countIndex > 2) content.courseName = ReadNameField(lines[2], utf8, content.storedCourseName);
    if (countIndex > 3) content.teacherName = ReadNameField(lines[3], utf8, content.storedTeacherName);
    std::string_view countLine = lines[countIndex];
    content.pageCount = ClampToInt16(LeadingNumber(countLine.substr(std::min<std::size_t>(6, countLine.size()))));

    int position = 0;
    content.pages.reserve(lines.size() - countIndex - 1);
    for (std::size_t i = countIndex + 1; i < lines.size(); ++i) {
        ++position;
        std::string_view line = lines[i];
        CoursePage page;
        const std::size_t colon = line.find(':');
        if (colon == std::string_view::npos) {
            page.number = position;
            page.title = DecodeField(line, utf8, &page.storedTitle);
        } else {
            page.number = LeadingNumber(line);
            page.title = DecodeField(line.substr(colon + 1), utf8, &page.storedTitle);
        }
        content.pages.push_back(std::move(page));
    }
    content.kind = ProjectFileContent::Kind::Course;
    return content;
}

}  // namespace tovra
