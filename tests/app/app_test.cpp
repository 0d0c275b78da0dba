// Start-up values: program folder, language choice, the settings file and the command line.
#include <gtest/gtest.h>

#include <filesystem>

#include "app/mirova_app.h"
#include "app/settings.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;

TEST(ProgramSettingsTest, ProgramFolderKeepsTheTrailingSlash) {
    EXPECT_EQ(ProgramFolderFromExecutable("/opt/tovra/bin/tovra-editor"), "/opt/tovra/bin/");
    EXPECT_EQ(ProgramFolderFromExecutable("tovra-editor"), "tovra-editor");
    EXPECT_EQ(ProgramFolderFromExecutable("/tovra-editor"), "/");
}

TEST(ProgramSettingsTest, LanguageSettingMapsBackslashesAndRefusesOverlongPaths) {
    EXPECT_EQ(LanguageFileFromSetting("Language\\English.ini"), "Language/English.ini");
    EXPECT_EQ(LanguageFileFromSetting(""), "");
    EXPECT_EQ(LanguageFileFromSetting(std::string(299, 'a')), std::string(299, 'a'));
    EXPECT_EQ(LanguageFileFromSetting(std::string(300, 'a')), kDefaultLanguageFile);
}

TEST(ProgramSettingsTest, SettingsFileRoundTripInSectionUser) {
    TempDir dir;
    const ProgramSettings saved = Program();
    Program().programFolder = dir.path() + "/";
    EXPECT_EQ(ReadSetting({}, "Sel", kDefaultLanguageFile), kDefaultLanguageFile);  // no file yet

    WriteSetting({}, "Sel", "Language/English.ini");
    EXPECT_EQ(ReadSetting({}, "Sel", kDefaultLanguageFile), "Language/English.ini");
    EXPECT_EQ(ReadSetting("user", "SEL", ""), "Language/English.ini");
    EXPECT_NE(ReadBytes(dir / "Vanti.ini").find("[USER]"), std::string::npos);

    WriteBytes(dir / "Vanti.ini", "[USER]\r\nSel=\r\n");  // present but empty
    EXPECT_EQ(ReadSetting({}, "Sel", kDefaultLanguageFile), "");
    Program() = saved;
}

// The build tree keeps its data and its settings beside the executable; an installed program
// finds its data in PREFIX/share/tovra-editor and writes the user's changes in the XDG config
// folder, where they win over the program's defaults.
TEST(ProgramSettingsTest, BuildTreeAndInstalledLayoutsFindTheirDataAndTheirSettings) {
    TempDir dir;
    const ProgramSettings saved = Program();
    const QByteArray savedConfig = qgetenv("XDG_CONFIG_HOME");
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").c_str());
    const std::string user = dir.path() + "/config/tovra-editor/Vanti.ini";

    // The build tree: Language/ beside the executable, even in a folder called bin.
    std::filesystem::create_directories(dir / "build/bin/Language");
    LocateProgram(dir.path() + "/build/bin/tovra-editor");
    EXPECT_EQ(Program().programFolder, dir.path() + "/build/bin/");
    EXPECT_EQ(Program().installedPrefix, "");
    EXPECT_EQ(Program().userSettingsFile, user);
    EXPECT_TRUE(WriteSetting({}, "Sel", "Language/English.ini"));
    EXPECT_NE(ReadBytes(dir / "build/bin/Vanti.ini").find("Sel=Language/English.ini"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(user));

    // Installed: PREFIX/bin and PREFIX/share/tovra-editor, whose Vanti.ini holds the defaults.
    std::filesystem::create_directories(dir / "usr/bin");
    std::filesystem::create_directories(dir / "usr/share/tovra-editor/Language");
    WriteBytes(dir / "usr/share/tovra-editor/Vanti.ini", "[USER]\r\nSel=Language/English.ini\r\nOther=kept\r\n");
    LocateProgram(dir.path() + "/usr/bin/tovra-editor");
    EXPECT_EQ(Program().programFolder, dir.path() + "/usr/share/tovra-editor/");
    EXPECT_EQ(Program().installedPrefix, dir.path() + "/usr/");
    EXPECT_EQ(ReadSetting({}, "Sel", kDefaultLanguageFile), "Language/English.ini");  // the default
    // A change goes to the user's file, even where the program's could be written (root), and wins.
    EXPECT_TRUE(WriteSetting({}, "Sel", "Language/Chinese.ini"));
    EXPECT_NE(ReadBytes(user).find("Sel=Language/Chinese.ini"), std::string::npos);
    EXPECT_EQ(ReadBytes(dir / "usr/share/tovra-editor/Vanti.ini").find("Chinese"), std::string::npos);
    EXPECT_EQ(ReadSetting({}, "Sel", kDefaultLanguageFile), "Language/Chinese.ini");
    EXPECT_EQ(ReadSetting({}, "Other", ""), "kept");  // what the user has not set stays the program's

    // A bin folder without the data beside it or under share stays where it is.
    std::filesystem::create_directories(dir / "bare/bin");
    LocateProgram(dir.path() + "/bare/bin/tovra-editor");
    EXPECT_EQ(Program().programFolder, dir.path() + "/bare/bin/");
    EXPECT_EQ(Program().installedPrefix, "");

    if (savedConfig.isNull()) qunsetenv("XDG_CONFIG_HOME");
    else qputenv("XDG_CONFIG_HOME", savedConfig);
    Program() = saved;
}

TEST(CommandLineTest, FirstArgumentThatIsNoOptionIsTheFile) {
    EXPECT_EQ(CommandLineFile({"tovra-editor"}), QString());
    EXPECT_EQ(CommandLineFile({"tovra-editor", "/c/a.lsn"}), QStringLiteral("/c/a.lsn"));
    EXPECT_EQ(CommandLineFile({"tovra-editor", "--verbose", "a.lsn"}), QStringLiteral("a.lsn"));
    EXPECT_EQ(CommandLineFile({"tovra-editor", "--webEngineArgs", "--disable-gpu", "x"}), QString());
}

}  // namespace
}  // namespace tovra
