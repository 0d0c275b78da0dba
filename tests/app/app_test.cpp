// Start-up values: program folder, language choice, the settings file and the command line.
#include <gtest/gtest.h>

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

TEST(CommandLineTest, FirstArgumentThatIsNoOptionIsTheFile) {
    EXPECT_EQ(CommandLineFile({"tovra-editor"}), QString());
    EXPECT_EQ(CommandLineFile({"tovra-editor", "/c/a.lsn"}), QStringLiteral("/c/a.lsn"));
    EXPECT_EQ(CommandLineFile({"tovra-editor", "--verbose", "a.lsn"}), QStringLiteral("a.lsn"));
    EXPECT_EQ(CommandLineFile({"tovra-editor", "--webEngineArgs", "--disable-gpu", "x"}), QString());
}

}  // namespace
}  // namespace tovra
