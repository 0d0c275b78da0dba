// Program folder, language choice and the "Vanti.ini" settings file.
#include "app/settings.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

#include "platform/text/ini_file.h"

namespace tovra {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kDataFolder = "share/tovra-editor/";
constexpr std::string_view kUserFolder = "tovra-editor/";

std::string ProgramSettingsPath() { return Program().programFolder + std::string(kSettingsFileName); }

std::string_view SectionOrDefault(std::string_view section) {
    return section.empty() ? kDefaultSettingsSection : section;
}

bool IsFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

// The build tree's own file, while it can be written (or made): changes go there.
bool ChangesBesideProgram() {
    if (!Program().installedPrefix.empty() || Program().programFolder.empty()) return false;
    const std::string file = ProgramSettingsPath();
    std::error_code ec;
    if (fs::exists(file, ec)) return ::access(file.c_str(), W_OK) == 0;
    return ::access(Program().programFolder.c_str(), W_OK) == 0;
}

std::string UserConfigHome() {
    const char* xdg = std::getenv("XDG_CONFIG_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return std::string(home) + "/.config/";
    const passwd* user = ::getpwuid(::getuid());
    return user && user->pw_dir ? std::string(user->pw_dir) + "/.config/" : std::string();
}

}  // namespace

ProgramSettings& Program() {
    static ProgramSettings settings{std::string(), std::string(kDefaultLanguageFile), std::string(), std::string()};
    return settings;
}

std::string ProgramFolderFromExecutable(const std::string& executablePath) {
    const std::size_t slash = executablePath.rfind('/');
    if (slash == std::string::npos) return executablePath;
    return executablePath.substr(0, slash + 1);
}

void LocateProgram(const std::string& executablePath) {
    ProgramSettings& program = Program();
    const std::string folder = ProgramFolderFromExecutable(executablePath);
    program.programFolder = folder;
    program.installedPrefix.clear();
    // PREFIX/bin/ holds the executable and PREFIX/share/tovra-editor/ its data, unless the data
    // lies beside it as in the build tree.
    const fs::path bin = fs::path(folder).parent_path();
    if (!IsFolder(folder + "Language") && bin.filename() == "bin") {
        const std::string prefix = bin.parent_path().string() + "/";
        if (IsFolder(prefix + std::string(kDataFolder) + "Language")) {
            program.installedPrefix = prefix;
            program.programFolder = prefix + std::string(kDataFolder);
        }
    }
    const std::string config = UserConfigHome();
    program.userSettingsFile =
        config.empty() ? std::string() : config + std::string(kUserFolder) + std::string(kSettingsFileName);
}

std::string LanguageFileFromSetting(std::string_view stored) {
    if (stored.size() > kMaxLanguageFileChars) return std::string(kDefaultLanguageFile);
    std::string path(stored);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
}

std::string ReadSetting(std::string_view section, std::string_view key, std::string_view defaultValue) {
    const std::string programValue =
        text::ReadIniStringA(ProgramSettingsPath(), SectionOrDefault(section), key, defaultValue);
    if (ChangesBesideProgram() || Program().userSettingsFile.empty()) return programValue;
    return text::ReadIniStringA(Program().userSettingsFile, SectionOrDefault(section), key, programValue);
}

std::string SettingsFileForChanges() {
    return ChangesBesideProgram() ? ProgramSettingsPath() : Program().userSettingsFile;
}

bool WriteSetting(std::string_view section, std::string_view key, std::string_view value) {
    const std::string file = SettingsFileForChanges();
    if (file.empty()) return false;
    std::error_code ec;
    fs::create_directories(fs::path(file).parent_path(), ec);  // the user's folder may not exist yet
    return text::WriteIniString(file, SectionOrDefault(section), key, value);
}

}  // namespace tovra
