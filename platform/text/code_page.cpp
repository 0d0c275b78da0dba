// Code page 936 conversions on glibc iconv, and UTF-8 <-> UTF-16 by hand.
#include "platform/text/code_page.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>
#include <initializer_list>

namespace tovra::text {
namespace {

constexpr char16_t kReplacement = u'\uFFFD';

bool IsLeadByte(unsigned char b) { return b >= 0x81 && b <= 0xFE; }
bool IsTrailByte(unsigned char b) { return b >= 0x40 && b <= 0xFE && b != 0x7F; }
bool IsHighSurrogate(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLowSurrogate(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

// An iconv descriptor is not safe to share between threads, and opening one for every title of a big course
// costs more than the conversion itself, so each thread keeps its own pair.
class Iconv {
public:
    // Glibc knows code page 936 as "CP936" and as "GBK"; take whichever this system has.
    explicit Iconv(bool toUtf16) {
        for (const char* name : {"CP936", "GBK"}) {
            cd_ = toUtf16 ? iconv_open("UTF-16LE", name) : iconv_open(name, "UTF-16LE");
            if (Ok()) break;
        }
    }
    ~Iconv() {
        if (Ok()) iconv_close(cd_);
    }
    Iconv(const Iconv&) = delete;
    Iconv& operator=(const Iconv&) = delete;

    bool Ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }
    void Reset() { iconv(cd_, nullptr, nullptr, nullptr, nullptr); }

    // Converts as much as possible; returns false with errno set when it stopped early.
    bool Convert(const char*& in, std::size_t& inLeft, char*& out, std::size_t& outLeft) {
        char* src = const_cast<char*>(in);
        const std::size_t r = iconv(cd_, &src, &inLeft, &out, &outLeft);
        in = src;
        return r != static_cast<std::size_t>(-1);
    }

private:
    iconv_t cd_ = reinterpret_cast<iconv_t>(-1);
};

Iconv& Decoder() {
    thread_local Iconv cd(true);
    return cd;
}

Iconv& Encoder() {
    thread_local Iconv cd(false);
    return cd;
}

void AppendUtf16Le(std::u16string& out, const char* bytes, std::size_t size) {
    for (std::size_t i = 0; i + 1 < size; i += 2) {
        out.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                            (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
}

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

}  // namespace

std::size_t CodePageCharLength(std::string_view bytes, std::size_t pos) {
    if (pos + 1 < bytes.size() && IsLeadByte(static_cast<unsigned char>(bytes[pos])) &&
        IsTrailByte(static_cast<unsigned char>(bytes[pos + 1]))) {
        return 2;
    }
    return 1;
}

std::size_t CodePagePrefixLength(std::string_view bytes, std::size_t maxBytes) {
    if (bytes.size() <= maxBytes) return bytes.size();
    std::size_t pos = 0;
    while (pos < bytes.size()) {
        const std::size_t len = CodePageCharLength(bytes, pos);
        if (pos + len > maxBytes) break;
        pos += len;
    }
    return pos;
}

std::u16string FromCodePage(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    Iconv& cd = Decoder();
    if (!cd.Ok()) {  // no converter installed: keep what is plain ASCII
        for (unsigned char b : bytes) out.push_back(b < 0x80 ? b : kReplacement);
        return out;
    }
    cd.Reset();
    const char* in = bytes.data();
    std::size_t inLeft = bytes.size();
    char buffer[8192];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const bool done = cd.Convert(in, inLeft, outPtr, outLeft);
        const int error = errno;
        AppendUtf16Le(out, buffer, static_cast<std::size_t>(outPtr - buffer));
        if (done || error == E2BIG) continue;
        // EILSEQ or EINVAL: skip the whole undefined character the way the structure of the code page splits it,
        // so that ini parsing on raw bytes and on the decoded text agree on where characters start.
        const std::size_t pos = static_cast<std::size_t>(in - bytes.data());
        const std::size_t skip = CodePageCharLength(bytes, pos);
        out.push_back(kReplacement);
        in += skip;
        inLeft -= skip;
        cd.Reset();
    }
    return out;
}

namespace {

// Encodes to code page 936; a character it cannot hold becomes one '?' and clears *allFit.
std::string EncodeCodePage(std::u16string_view text, bool* allFit) {
    std::string out;
    out.reserve(text.size() * 2);
    Iconv& cd = Encoder();
    if (!cd.Ok()) {
        for (std::size_t i = 0; i < text.size(); ++i) {
            const char16_t u = text[i];
            if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) ++i;
            if (u >= 0x80 && allFit) *allFit = false;
            out.push_back(u < 0x80 ? static_cast<char>(u) : '?');
        }
        return out;
    }
    std::string le;
    le.reserve(text.size() * 2);
    for (char16_t u : text) {
        le.push_back(static_cast<char>(u & 0xFF));
        le.push_back(static_cast<char>(u >> 8));
    }
    cd.Reset();
    const char* in = le.data();
    std::size_t inLeft = le.size();
    char buffer[8192];
    while (inLeft > 0) {
        char* outPtr = buffer;
        std::size_t outLeft = sizeof buffer;
        const bool done = cd.Convert(in, inLeft, outPtr, outLeft);
        const int error = errno;
        out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
        if (done || error == E2BIG) continue;
        const std::size_t unit = static_cast<std::size_t>(in - le.data()) / 2;
        std::size_t skipUnits = 1;
        if (IsHighSurrogate(text[unit]) && unit + 1 < text.size() && IsLowSurrogate(text[unit + 1])) skipUnits = 2;
        out.push_back('?');
        if (allFit) *allFit = false;
        in += skipUnits * 2;
        inLeft -= skipUnits * 2;
        cd.Reset();
    }
    return out;
}

}  // namespace

std::string ToCodePage(std::u16string_view text) { return EncodeCodePage(text, nullptr); }

bool TryToCodePage(std::u16string_view text, std::string& out) {
    bool allFit = true;
    out = EncodeCodePage(text, &allFit);
    return allFit;
}

bool TryUtf8ToCodePage(std::string_view utf8, std::string& out) { return TryToCodePage(Utf8ToUtf16(utf8), out); }

bool FitsCodePage(std::string_view utf8) {
    std::string ignored;
    return TryUtf8ToCodePage(utf8, ignored);
}

std::u16string Utf8ToUtf16(std::string_view utf8) {
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t i = 0;
    const std::size_t n = utf8.size();
    while (i < n) {
        const unsigned char b0 = static_cast<unsigned char>(utf8[i]);
        if (b0 < 0x80) {
            out.push_back(b0);
            ++i;
            continue;
        }
        std::size_t length = 0;
        char32_t cp = 0;
        unsigned char low = 0x80, high = 0xBF;  // allowed range of the second byte
        if (b0 >= 0xC2 && b0 <= 0xDF) {
            length = 2;
            cp = b0 & 0x1F;
        } else if (b0 >= 0xE0 && b0 <= 0xEF) {
            length = 3;
            cp = b0 & 0x0F;
            if (b0 == 0xE0) low = 0xA0;   // overlong
            if (b0 == 0xED) high = 0x9F;  // surrogates
        } else if (b0 >= 0xF0 && b0 <= 0xF4) {
            length = 4;
            cp = b0 & 0x07;
            if (b0 == 0xF0) low = 0x90;   // overlong
            if (b0 == 0xF4) high = 0x8F;  // above U+10FFFF
        } else {
            out.push_back(kReplacement);
            ++i;
            continue;
        }
        std::size_t k = 1;
        for (; k < length && i + k < n; ++k) {
            const unsigned char b = static_cast<unsigned char>(utf8[i + k]);
            if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) break;
            cp = (cp << 6) | (b & 0x3F);
        }
        if (k < length) {  // broken or truncated: one replacement, resume at the byte that broke it
            out.push_back(kReplacement);
            i += k;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(static_cast<char16_t>(cp));
        }
        i += length;
    }
    return out;
}

std::string Utf16ToUtf8(std::u16string_view text) {
    std::string out;
    out.reserve(text.size() * 3);
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (IsHighSurrogate(u) && i + 1 < text.size() && IsLowSurrogate(text[i + 1])) {
            AppendUtf8(out, 0x10000 + ((static_cast<char32_t>(u) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (IsHighSurrogate(u) || IsLowSurrogate(u)) {
            AppendUtf8(out, kReplacement);
        } else {
            AppendUtf8(out, u);
        }
    }
    return out;
}

std::string Utf8ToCodePage(std::string_view utf8) { return ToCodePage(Utf8ToUtf16(utf8)); }

std::string CodePageToUtf8(std::string_view bytes) { return Utf16ToUtf8(FromCodePage(bytes)); }

}  // namespace tovra::text
