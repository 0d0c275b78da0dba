// Look-up of visible texts in the current language file, and the per-language resource folder.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace tovra::lang {

inline constexpr std::size_t kMaxTextUnits = 499;

// Text of key in section of the current language file (names in the code page); empty when the
// file, section or key is missing, which means "no translation".
std::u16string Lookup(std::string_view section, std::string_view key);
QString LookupText(std::string_view section, std::string_view key);

// Message text of section "ClassMSG" as UTF-8, the program's narrow text.
std::string Message(std::string_view key);
// The same message as shown in a message box.
QString MessageText(std::string_view key);

// programFolder + "E" + languageFile without its extension, e.g. ".../ELanguage/English".
std::string LanguageFolder();

// Absolute path of the current language file.
std::string LanguageFilePath();

}  // namespace tovra::lang
