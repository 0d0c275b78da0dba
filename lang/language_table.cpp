// The language table: every look-up reads the current language file again, so edits show at once.
#include "lang/language_table.h"

#include "app/settings.h"
#include "platform/text/code_page.h"
#include "platform/text/ini_file.h"

namespace tovra::lang {

std::string LanguageFilePath() { return Program().programFolder + Program().languageFile; }

std::u16string Lookup(std::string_view section, std::string_view key) {
    return text::ReadIniString(LanguageFilePath(), text::FromCodePage(section), text::FromCodePage(key),
                               std::u16string(), kMaxTextUnits);
}

QString LookupText(std::string_view section, std::string_view key) {
    return QString::fromStdU16String(Lookup(section, key));
}

std::string Message(std::string_view key) { return text::Utf16ToUtf8(Lookup("ClassMSG", key)); }

QString MessageText(std::string_view key) { return QString::fromStdU16String(Lookup("ClassMSG", key)); }

std::string LanguageFolder() {
    std::string file = Program().languageFile;
    const std::size_t dot = file.rfind('.');
    if (dot != std::string::npos && dot > 0) file.resize(dot);
    return Program().programFolder + "E" + file;
}

}  // namespace tovra::lang
