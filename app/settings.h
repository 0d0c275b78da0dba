// Application-wide values set at start-up, and the settings file beside the program.
#pragma once

#include <string>
#include <string_view>

namespace tovra {

inline constexpr std::string_view kDefaultLanguageFile = "Language/Chinese.ini";
inline constexpr std::string_view kEnglishLanguageFile = "Language/English.ini";
inline constexpr std::string_view kSettingsFileName = "Vanti.ini";
inline constexpr std::string_view kDefaultSettingsSection = "USER";
inline constexpr std::size_t kMaxLanguageFileChars = 299;

struct ProgramSettings {
    std::string programFolder;  // folder of the executable, ending in "/"
    std::string languageFile;   // relative to programFolder
};

// The one set of program-wide values; set during start-up.
ProgramSettings& Program();

// Everything up to and including the last "/"; a path without "/" stays whole.
std::string ProgramFolderFromExecutable(const std::string& executablePath);

// A stored language path written with backslashes still names the same file here; a value
// too long for the language path is refused in favour of the default.
std::string LanguageFileFromSetting(std::string_view stored);

// Value of key in the settings file (section "USER" when section is empty), at most 499 bytes,
// or defaultValue when the file or key is missing.
std::string ReadSetting(std::string_view section, std::string_view key, std::string_view defaultValue);
// Writes key=value into the settings file; failures are not reported.
void WriteSetting(std::string_view section, std::string_view key, std::string_view value);

}  // namespace tovra
