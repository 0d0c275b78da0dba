// Conversions between code page 936 (GBK, the course files' narrow text), UTF-16 (the UI) and UTF-8 (Linux paths).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovra::text {

// Decodes code page 936 bytes. Each byte sequence the code page does not define (a stray byte, a lead byte
// without its trail, an unassigned pair) becomes one U+FFFD.
std::u16string FromCodePage(std::string_view bytes);

// Encodes to code page 936. Each character it cannot hold becomes one '?': a surrogate pair counts as one
// character, an unpaired surrogate as one too.
std::string ToCodePage(std::u16string_view text);

// Encodes to code page 936 only where every character has a place in it: false (with '?' in
// out for the rest) when one has none. A U+FFFD left by a failed decoding has none either.
bool TryToCodePage(std::u16string_view text, std::string& out);
bool TryUtf8ToCodePage(std::string_view utf8, std::string& out);
bool FitsCodePage(std::string_view utf8);

std::string Utf8ToCodePage(std::string_view utf8);
std::string CodePageToUtf8(std::string_view bytes);

// Invalid UTF-8 becomes U+FFFD, one for each maximal ill-formed subsequence.
std::u16string Utf8ToUtf16(std::string_view utf8);
// Unpaired surrogates become U+FFFD.
std::string Utf16ToUtf8(std::u16string_view text);

// Length in bytes (1 or 2) of the code page character that starts at bytes[pos]: 2 for a lead byte that a
// trail byte follows. pos must be below bytes.size().
std::size_t CodePageCharLength(std::string_view bytes, std::size_t pos);

// Length of the longest prefix of bytes that has at most maxBytes bytes and does not split a double-byte
// character.
std::size_t CodePagePrefixLength(std::string_view bytes, std::size_t maxBytes);

}  // namespace tovra::text
