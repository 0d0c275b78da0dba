// Look-up of visible texts in the current language file, and the per-language resource folder.
#pragma once

#include <QString>
#include <QStringList>
#include <initializer_list>
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

// A message with its "%1", "%2", ... (and a lone "%s" as "%1") filled in order; fallback when the
// language file has no text for key.
QString MessageWith(std::string_view key, const QStringList& values, const QString& fallback = QString());

// A message with its "%d" places filled with numbers, in order.
QString MessageNumbers(std::string_view key, std::initializer_list<int> numbers);

// Why the system refused a file operation (an errno), in the interface language where the
// language file names the reason, otherwise in the system's words.
QString SystemReason(int errorNumber);

// The Qt toolkit's own texts (standard buttons, file dialogs) in the interface language:
// installs or removes the toolkit's translation to follow the current language file.
void ApplyToolkitTranslation();

// programFolder + "E" + languageFile without its extension, e.g. ".../ELanguage/English".
std::string LanguageFolder();

// Absolute path of the current language file.
std::string LanguageFilePath();

}  // namespace tovra::lang
