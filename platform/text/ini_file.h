// Windows-style profile (ini) files: look-ups that behave like the Win32 profile calls, and atomic writes.
//
// A file is UTF-16LE when it starts with the byte-order mark FF FE, otherwise code page 936 text. "[name]"
// starts a section; "key=value" lines belong to the section above them; lines starting with ';' are comments.
// Section and key names match without regard to case; whitespace around names and values does not count, and
// a value wrapped in a matching pair of '"' or '\'' loses them. The first matching section, and in it the first
// matching key, wins. Line ends may be CR LF, LF or CR. Files over 16 MiB, and anything that is not a regular
// file, are treated as missing.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tovra::text {

// Largest file the look-ups read.
inline constexpr std::size_t kMaxIniFileBytes = 16u << 20;

// Looks up section/key in the file at path (a native UTF-8 path). A value, or the default when the file,
// section or key is missing, comes back cut to maxUnits UTF-16 units (never ending in half a surrogate pair).
std::u16string ReadIniString(const std::string& path, std::u16string_view section, std::u16string_view key,
                             std::u16string_view defaultValue, std::size_t maxUnits = 499);

// The same look-up with names, default and result in code page 936; the result is cut to maxBytes bytes
// without splitting a double-byte character. From a code page file the value's bytes come back as stored.
std::string ReadIniStringA(const std::string& path, std::string_view section, std::string_view key,
                           std::string_view defaultValue, std::size_t maxBytes = 499);

// Sets section/key to value (all code page 936). An existing key gets the new value in place, keeping its
// spelling and every other byte of the file; otherwise the key is added after the section's last key, or a
// new section is added at the end of the file. A missing file is created as code page text with CR LF line
// ends; a UTF-16LE file stays UTF-16LE. The file is replaced atomically. Returns false when nothing was
// written: the folder or file cannot be written, the file is too large to read, or an argument would break
// the file's line structure (a line end or NUL anywhere, '=' in the key, ']' in the section, a key starting
// with '[' or ';').
bool WriteIniString(const std::string& path, std::string_view section, std::string_view key, std::string_view value);

}  // namespace tovra::text
