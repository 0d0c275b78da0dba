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
    std::string programFolder;  // the program's data (Language/, ELanguage/, icons), ending in "/"
    std::string languageFile;   // relative to programFolder
    // The prefix the program is installed in (PREFIX/bin, PREFIX/share/tovra-editor), ending in
    // "/"; empty in the build tree, where the data lies beside the executable.
    std::string installedPrefix;
    // The user's own settings file, written when the program's cannot or must not be.
    std::string userSettingsFile;
};

// The one set of program-wide values; set during start-up.
ProgramSettings& Program();

// Everything up to and including the last "/"; a path without "/" stays whole.
std::string ProgramFolderFromExecutable(const std::string& executablePath);

// Sets programFolder, installedPrefix and userSettingsFile for the executable: its data beside it
// (the build tree), or in PREFIX/share/tovra-editor/ for PREFIX/bin/tovra-editor. The user's file
// is $XDG_CONFIG_HOME/tovra-editor/Vanti.ini (~/.config when unset or not absolute).
void LocateProgram(const std::string& executablePath);

// A stored language path written with backslashes still names the same file here; a value
// too long for the language path is refused in favour of the default.
std::string LanguageFileFromSetting(std::string_view stored);

// The settings: "Vanti.ini" beside the program's data. In the build tree, while it can be
// written, it is the only file. Installed (or when it cannot be written) it holds the defaults,
// and the user's file holds the user's changes and wins where it has the key.

// Value of key (section "USER" when section is empty), at most 499 bytes, or defaultValue when
// neither file has it.
std::string ReadSetting(std::string_view section, std::string_view key, std::string_view defaultValue);
// Writes key=value into the file changes go to; false when it could not be written.
bool WriteSetting(std::string_view section, std::string_view key, std::string_view value);
// The file changes go to (empty when there is none: no home folder).
std::string SettingsFileForChanges();

}  // namespace tovra
