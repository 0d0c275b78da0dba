// Profile (ini) file look-ups and writes; one line scanner serves code page bytes and UTF-16 text alike.
#include "platform/text/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <optional>

#include "platform/text/code_page.h"

namespace tovra::text {
namespace {

template <typename Char>
using View = std::basic_string_view<Char>;
template <typename Char>
using String = std::basic_string<Char>;

// Scanning steps by whole characters, so that a GBK trail byte that equals ']' is never taken for one.
std::size_t CharLength(std::u16string_view, std::size_t) { return 1; }
std::size_t CharLength(std::string_view text, std::size_t pos) { return CodePageCharLength(text, pos); }

// None of the bytes that shape a line (blanks, CR, LF, '[', ';', '=', quotes) below 0x40 can be the trail
// byte of a GBK pair, so comparing raw bytes with them is safe; ']' (0x5D) can, see CharLength.
template <typename Char>
bool IsBlank(Char c) {
    return c == ' ' || c == '\t' || c == '\v' || c == '\f';
}

template <typename Char>
View<Char> Trim(View<Char> s) {
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && IsBlank(s[begin])) ++begin;
    while (end > begin && IsBlank(s[end - 1])) --end;
    return s.substr(begin, end - begin);
}

// Simple per-unit case folding: ASCII, Latin-1, Greek, Cyrillic and full-width Latin letters.
char16_t FoldUnit(char16_t c) {
    if (c >= u'A' && c <= u'Z') return static_cast<char16_t>(c + 0x20);
    if (c < 0xC0) return c;
    if (c <= 0xDE) return c == 0xD7 ? c : static_cast<char16_t>(c + 0x20);
    if (c >= 0x391 && c <= 0x3A9 && c != 0x3A2) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x410 && c <= 0x42F) return static_cast<char16_t>(c + 0x20);
    if (c >= 0x400 && c <= 0x40F) return static_cast<char16_t>(c + 0x50);
    if (c >= 0xFF21 && c <= 0xFF3A) return static_cast<char16_t>(c + 0x20);
    return c;
}

bool NamesEqual(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (FoldUnit(a[i]) != FoldUnit(b[i])) return false;
    }
    return true;
}

// Code page names compare character by character. Bytes must not be folded one by one (a trail byte may look
// like an ASCII letter), and two different undefined sequences are different names even though both decode
// to U+FFFD.
bool NamesEqual(std::string_view a, std::string_view b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        const std::string_view charA = a.substr(i, CodePageCharLength(a, i));
        const std::string_view charB = b.substr(j, CodePageCharLength(b, j));
        i += charA.size();
        j += charB.size();
        if (charA == charB) continue;
        const auto byteA = static_cast<unsigned char>(charA[0]);
        const auto byteB = static_cast<unsigned char>(charB[0]);
        if (byteA < 0x80 && byteB < 0x80) {
            if (FoldUnit(byteA) != FoldUnit(byteB)) return false;
            continue;
        }
        const std::u16string unitA = FromCodePage(charA);
        const std::u16string unitB = FromCodePage(charB);
        if (unitA == u"\uFFFD" || unitB == u"\uFFFD" || FoldUnit(unitA[0]) != FoldUnit(unitB[0])) return false;
    }
    return i == a.size() && j == b.size();
}

template <typename Char>
struct IniLine {
    enum class Kind { kOther, kSection, kKey };
    Kind kind = Kind::kOther;
    std::size_t end = 0;         // end of the line's text, before its line end
    std::size_t next = 0;        // start of the following line; equals end on a last line without line end
    View<Char> name;             // section or key name, trimmed
    std::size_t valueBegin = 0;  // key lines: the value, trimmed, quotes included
    std::size_t valueEnd = 0;
};

template <typename Char>
class IniScanner {
public:
    explicit IniScanner(View<Char> text) : text_(text) {}

    bool Next(IniLine<Char>& line) {
        if (pos_ >= text_.size()) return false;
        const std::size_t begin = pos_;
        std::size_t end = begin;
        while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') ++end;
        std::size_t next = end;
        if (next < text_.size()) {
            next += (text_[next] == '\r' && next + 1 < text_.size() && text_[next + 1] == '\n') ? 2 : 1;
        }
        pos_ = next;
        line = IniLine<Char>{};
        line.end = end;
        line.next = next;

        const View<Char> raw = text_.substr(begin, end - begin);
        std::size_t start = 0;
        while (start < raw.size() && IsBlank(raw[start])) ++start;
        if (start == raw.size() || raw[start] == ';') return true;
        if (raw[start] == '[') {  // a header without its ']' is no line of any kind
            for (std::size_t p = start + 1; p < raw.size(); p += CharLength(raw, p)) {
                if (raw[p] == ']') {
                    line.kind = IniLine<Char>::Kind::kSection;
                    line.name = Trim(raw.substr(start + 1, p - start - 1));
                    break;
                }
            }
            return true;
        }
        const std::size_t equals = raw.find(static_cast<Char>('='), start);
        if (equals == View<Char>::npos) return true;
        line.kind = IniLine<Char>::Kind::kKey;
        line.name = Trim(raw.substr(start, equals - start));
        const View<Char> value = Trim(raw.substr(equals + 1));
        line.valueBegin = begin + static_cast<std::size_t>(value.data() - raw.data());
        line.valueEnd = line.valueBegin + value.size();
        return true;
    }

private:
    View<Char> text_;
    std::size_t pos_ = 0;
};

template <typename Char>
std::optional<View<Char>> FindValue(View<Char> text, View<Char> section, View<Char> key) {
    section = Trim(section);
    key = Trim(key);
    IniScanner<Char> scanner(text);
    IniLine<Char> line;
    bool inSection = false;
    while (scanner.Next(line)) {
        if (line.kind == IniLine<Char>::Kind::kSection) {
            if (inSection) return std::nullopt;  // only the first matching section counts
            inSection = NamesEqual(line.name, section);
        } else if (inSection && line.kind == IniLine<Char>::Kind::kKey && NamesEqual(line.name, key)) {
            return text.substr(line.valueBegin, line.valueEnd - line.valueBegin);
        }
    }
    return std::nullopt;
}

template <typename Char>
View<Char> StripQuotes(View<Char> value) {
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front()) {
        return value.substr(1, value.size() - 2);
    }
    return value;
}

// The Win32 calls hand back C strings, so a NUL inside a value ends it.
template <typename Char>
View<Char> UpToNul(View<Char> value) {
    return value.substr(0, value.find(Char(0)));
}

std::u16string CutUnits(std::u16string_view value, std::size_t maxUnits) {
    value = UpToNul(value);
    if (value.size() > maxUnits) {
        std::size_t n = maxUnits;
        if (n > 0 && value[n - 1] >= 0xD800 && value[n - 1] <= 0xDBFF) --n;
        value = value.substr(0, n);
    }
    return std::u16string(value);
}

std::string CutBytes(std::string_view value, std::size_t maxBytes) {
    value = UpToNul(value);
    return std::string(value.substr(0, CodePagePrefixLength(value, maxBytes)));
}

bool IsUtf16File(std::string_view bytes) { return bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE'; }

// The text after the byte-order mark; a stray odd last byte is dropped.
std::u16string DecodeUtf16File(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        text.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                             (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    return text;
}

std::string EncodeUtf16File(std::u16string_view text) {
    std::string bytes = "\xFF\xFE";
    bytes.reserve(2 + text.size() * 2);
    for (char16_t u : text) {
        bytes.push_back(static_cast<char>(u & 0xFF));
        bytes.push_back(static_cast<char>(u >> 8));
    }
    return bytes;
}

enum class ReadStatus { kOk, kMissing, kFailed };

// Reads a regular file of at most kMaxIniFileBytes. O_NONBLOCK keeps a FIFO at the path from blocking the
// open; it is then refused as not regular.
ReadStatus ReadWholeFile(const std::string& path, std::string& bytes, struct stat& info) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) return errno == ENOENT ? ReadStatus::kMissing : ReadStatus::kFailed;
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size < 0 ||
        static_cast<unsigned long long>(info.st_size) > kMaxIniFileBytes) {
        close(fd);
        return ReadStatus::kFailed;
    }
    bytes.resize(static_cast<std::size_t>(info.st_size));
    std::size_t got = 0;
    while (got < bytes.size()) {
        const ssize_t n = read(fd, bytes.data() + got, bytes.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return ReadStatus::kFailed;
        }
        if (n == 0) break;  // the file shrank since fstat
        got += static_cast<std::size_t>(n);
    }
    bytes.resize(got);
    close(fd);
    return ReadStatus::kOk;
}

template <typename Char>
String<Char> LineEndOf(View<Char> text) {
    const std::size_t p = text.find_first_of(View<Char>(String<Char>{Char('\r'), Char('\n')}));
    if (p == View<Char>::npos) return String<Char>{Char('\r'), Char('\n')};
    if (text[p] == '\n') return String<Char>{Char('\n')};
    if (p + 1 < text.size() && text[p + 1] == '\n') return String<Char>{Char('\r'), Char('\n')};
    return String<Char>{Char('\r')};
}

// New lines take the line end the file already uses.
template <typename Char>
String<Char> SetValue(View<Char> text, View<Char> section, View<Char> key, View<Char> value) {
    const String<Char> newline = LineEndOf(text);
    IniScanner<Char> scanner(text);
    IniLine<Char> line;
    bool inSection = false;
    std::optional<IniLine<Char>> last;  // the line a new key goes after
    while (scanner.Next(line)) {
        if (line.kind == IniLine<Char>::Kind::kSection) {
            if (inSection) break;
            if (NamesEqual(line.name, section)) {
                inSection = true;
                last = line;
            }
        } else if (inSection && line.kind == IniLine<Char>::Kind::kKey) {
            if (NamesEqual(line.name, key)) {
                String<Char> out(text.substr(0, line.valueBegin));
                out += value;
                out += text.substr(line.valueEnd);
                return out;
            }
            last = line;
        }
    }
    String<Char> entry(key);
    entry += Char('=');
    entry += value;
    entry += newline;
    if (last) {  // after the section's last key, so blank lines and comments before the next section stay there
        String<Char> out(text.substr(0, last->next));
        if (last->next == last->end) out += newline;
        out += entry;
        out += text.substr(last->next);
        return out;
    }
    String<Char> out(text);
    if (!out.empty() && out.back() != '\r' && out.back() != '\n') out += newline;
    out += Char('[');
    out += section;
    out += Char(']');
    out += newline;
    out += entry;
    return out;
}

bool HasCodePageChar(std::string_view s, char c) {
    for (std::size_t p = 0; p < s.size(); p += CodePageCharLength(s, p)) {
        if (s[p] == c) return true;
    }
    return false;
}

bool BreaksLines(std::string_view s) { return s.find_first_of(std::string_view("\r\n\0", 3)) != s.npos; }

bool WriteAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Writes a temporary file beside the target and renames it over the target, so readers and crashes see
// either the old file or the new one. An existing file keeps its mode and owner; a symbolic link is
// written through, not replaced.
bool ReplaceFile(const std::string& path, std::string_view bytes, const struct stat* existing) {
    std::string target = path;
    struct stat link {};
    if (lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        char* resolved = realpath(path.c_str(), nullptr);
        if (resolved == nullptr) return false;
        target = resolved;
        std::free(resolved);
    }
    const std::size_t slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);

    static std::atomic<unsigned> counter{0};
    std::string temp;
    int fd = -1;
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
        temp = folder + ".ini-" + std::to_string(getpid()) + "-" + std::to_string(counter++) + ".tmp";
        fd = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);  // the umask applies
        if (fd < 0 && errno != EEXIST) return false;
    }
    if (fd < 0) return false;

    bool ok = true;
    if (existing != nullptr) {
        if (fchown(fd, existing->st_uid, existing->st_gid) != 0) {
            // Only root may give the file away; anyone else writes their own file and keeps their owner.
        }
        ok = fchmod(fd, existing->st_mode & 07777) == 0;
    }
    ok = ok && WriteAll(fd, bytes) && fsync(fd) == 0;
    ok = (close(fd) == 0) && ok;
    ok = ok && rename(temp.c_str(), target.c_str()) == 0;
    if (!ok) unlink(temp.c_str());
    return ok;
}

}  // namespace

std::u16string ReadIniString(const std::string& path, std::u16string_view section, std::u16string_view key,
                             std::u16string_view defaultValue, std::size_t maxUnits) {
    try {
        std::string bytes;
        struct stat info {};
        if (ReadWholeFile(path, bytes, info) == ReadStatus::kOk) {
            const std::u16string text = IsUtf16File(bytes) ? DecodeUtf16File(bytes) : FromCodePage(bytes);
            if (auto value = FindValue<char16_t>(text, section, key)) return CutUnits(StripQuotes(*value), maxUnits);
        }
        return CutUnits(defaultValue, maxUnits);
    } catch (...) {  // out of memory
        return std::u16string();
    }
}

std::string ReadIniStringA(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view defaultValue, std::size_t maxBytes) {
    try {
        std::string bytes;
        struct stat info {};
        if (ReadWholeFile(path, bytes, info) == ReadStatus::kOk) {
            if (IsUtf16File(bytes)) {
                const std::u16string text = DecodeUtf16File(bytes);
                if (auto value = FindValue<char16_t>(text, FromCodePage(section), FromCodePage(key))) {
                    return CutBytes(ToCodePage(StripQuotes(*value)), maxBytes);
                }
            } else if (auto value = FindValue<char>(bytes, section, key)) {
                return CutBytes(StripQuotes(*value), maxBytes);
            }
        }
        return CutBytes(defaultValue, maxBytes);
    } catch (...) {
        return std::string();
    }
}

bool WriteIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value) {
    section = Trim(section);
    key = Trim(key);
    if (BreaksLines(section) || BreaksLines(key) || BreaksLines(value) || HasCodePageChar(section, ']') ||
        key.find('=') != key.npos || (!key.empty() && (key.front() == '[' || key.front() == ';'))) {
        return false;
    }
    try {
        std::string bytes;
        struct stat info {};
        const ReadStatus status = ReadWholeFile(path, bytes, info);
        if (status == ReadStatus::kFailed) return false;
        std::string out;
        if (IsUtf16File(bytes)) {
            const std::u16string text = DecodeUtf16File(bytes);
            out = EncodeUtf16File(
                SetValue<char16_t>(text, FromCodePage(section), FromCodePage(key), FromCodePage(value)));
        } else {
            out = SetValue<char>(bytes, section, key, value);
        }
        return ReplaceFile(path, out, status == ReadStatus::kOk ? &info : nullptr);
    } catch (...) {
        return false;
    }
}

}  // namespace tovra::text
