// Program folder, language choice and the "Vanti.ini" settings file.
#include "app/settings.h"

#include <algorithm>

#include "platform/text/ini_file.h"

namespace tovra {
namespace {

std::string SettingsPath() { return Program().programFolder + std::string(kSettingsFileName); }

std::string_view SectionOrDefault(std::string_view section) {
    return section.empty() ? kDefaultSettingsSection : section;
}

}  // namespace

ProgramSettings& Program() {
    static ProgramSettings settings{std::string(), std::string(kDefaultLanguageFile)};
    return settings;
}

std::string ProgramFolderFromExecutable(const std::string& executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    if (slash == std::string::npos) return executablePath;
    return executablePath.substr(0, slash + 1);
}

std::string LanguageFileFromSetting(std::string_view stored) {
    if (stored.size() > kMaxLanguageFileChars) return std::string(kDefaultLanguageFile);
    std::string path(stored);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string ReadSetting(std::string_view section, std::string_view key, std::string_view defaultValue) {
    return text::ReadIniStringA(SettingsPath(), SectionOrDefault(section), key, defaultValue);
}

void WriteSetting(std::string_view section, std::string_view key, std::string_view value) {
    text::WriteIniString(SettingsPath(), SectionOrDefault(section), key, value);
}

}  // namespace tovra
