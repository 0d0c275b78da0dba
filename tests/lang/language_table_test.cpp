// The language table: look-ups in both file encodings, messages, the resource folder, dialogs,
// and the language files that ship.
#include "lang/language_table.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <fstream>
#include <map>
#include <set>

#include "app/settings.h"
#include "lang/localize.h"
#include "platform/text/code_page.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"

namespace tovra::lang {
namespace {

using testing::TempDir;
using testing::WriteBytes;

std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

class LanguageTableTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        Program().programFolder = dir.path() + "/";
        std::filesystem::create_directories(dir / "Language");
    }
    void TearDown() override { Program() = saved; }

    void UseLanguageFile(const std::string& relative, std::string_view bytes) {
        WriteBytes(dir / relative, bytes);
        Program().languageFile = relative;
    }

    TempDir dir;
    ProgramSettings saved;
};

TEST_F(LanguageTableTest, LooksUpTextsInUtf16AndCodePageFiles) {
    UseLanguageFile("Language/English.ini",
                    Utf16File(u"[ClassMSG]\r\nPage=第%d页\r\n[class_0_cmd]\r\nM57601=&Open\r\n"));
    EXPECT_EQ(Lookup("ClassMSG", "Page"), u"第%d页");
    EXPECT_EQ(Lookup("Class_0_CMD", "m57601"), u"&Open");  // names match without regard to case
    EXPECT_EQ(Message("Page"), "第%d页");                   // handed out in UTF-8
    EXPECT_EQ(Lookup("ClassMSG", "Missing"), u"");

    UseLanguageFile("Language/Chinese.ini", "[ClassMSG]\r\nCT=\xBF\xCE\xB3\xCC\r\n");  // GBK "课程"
    EXPECT_EQ(Lookup("ClassMSG", "CT"), u"课程");
    EXPECT_EQ(MessageText("CT"), QStringLiteral("课程"));
}

TEST_F(LanguageTableTest, EveryLookupReadsTheFileAgainAndLongTextsAreCut) {
    UseLanguageFile("Language/X.ini", "[ClassMSG]\r\nErrFile=old\r\n");
    EXPECT_EQ(Message("ErrFile"), "old");
    WriteBytes(dir / "Language/X.ini", "[ClassMSG]\r\nErrFile=" + std::string(600, 'a') + "\r\n");
    EXPECT_EQ(Message("ErrFile"), std::string(499, 'a'));

    UseLanguageFile("Language/Empty.ini", "");
    EXPECT_EQ(Message("ErrFile"), "");
    Program().languageFile = "Language/Nowhere.ini";
    EXPECT_EQ(Message("ErrFile"), "");
    Program().languageFile.clear();  // an empty "Sel" finds nothing at all
    EXPECT_EQ(Message("ErrFile"), "");
}

TEST_F(LanguageTableTest, LanguageFolderDropsTheExtension) {
    Program().languageFile = "Language/English.ini";
    EXPECT_EQ(LanguageFolder(), dir.path() + "/ELanguage/English");
    Program().languageFile = "Language/Chinese";
    EXPECT_EQ(LanguageFolder(), dir.path() + "/ELanguage/Chinese");
    Program().languageFile = ".hidden";  // a dot in first place is no extension
    EXPECT_EQ(LanguageFolder(), dir.path() + "/E.hidden");
    Program().languageFile = "my.lang/English";  // the last dot may be in a folder name
    EXPECT_EQ(LanguageFolder(), dir.path() + "/Emy");
}

TEST_F(LanguageTableTest, LocalizeDialogSetsCaptionAndControlsButNeverEditFields) {
    UseLanguageFile("Language/English.ini",
                    Utf16File(u"[Class_SetTitle]\r\nTitle=Set title\r\nT1=OK\r\nT1008=Course name\r\nT1009=edited?\r\n"
                              u"T65535=same\r\n"));
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Class_SetTitle"));
    auto* ok = new QPushButton(QStringLiteral("确定"), &dialog);
    SetControlId(ok, 1);
    auto* label = new QLabel(QStringLiteral("课程名称"), &dialog);
    SetControlId(label, 1008);
    auto* edit = new QLineEdit(QStringLiteral("Optics"), &dialog);
    SetControlId(edit, 1009);
    auto* untranslated = new QLabel(QStringLiteral("保留"), &dialog);
    SetControlId(untranslated, 1010);
    auto* staticA = new QLabel(QStringLiteral("a"), &dialog);
    auto* staticB = new QLabel(QStringLiteral("b"), &dialog);
    SetControlId(staticA, 65535);
    SetControlId(staticB, 65535);

    LocalizeDialog(&dialog);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Set title"));
    EXPECT_EQ(ok->text(), QStringLiteral("OK"));
    EXPECT_EQ(label->text(), QStringLiteral("Course name"));
    EXPECT_EQ(edit->text(), QStringLiteral("Optics"));
    EXPECT_EQ(untranslated->text(), QStringLiteral("保留"));
    EXPECT_EQ(staticA->text(), QStringLiteral("same"));
    EXPECT_EQ(staticB->text(), QStringLiteral("same"));

    QDialog other;
    other.setWindowTitle(QStringLiteral("Class_Unknown"));
    LocalizeDialog(&other);
    EXPECT_EQ(other.windowTitle(), QString());  // a section without "Title" empties the caption
}

// Section -> keys of a shipped language file, read through the table itself.
std::map<std::string, std::set<std::string>> KeysOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::u16string units;
    for (std::size_t i = 2; i + 1 < bytes.size(); i += 2) {
        units.push_back(static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                              (static_cast<unsigned char>(bytes[i + 1]) << 8)));
    }
    std::map<std::string, std::set<std::string>> keys;
    std::string section;
    for (const QString& line : QString::fromStdU16String(units).split(QRegularExpression(QStringLiteral("[\r\n]+")))) {
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith(QLatin1Char('['))) {
            section = trimmed.mid(1, trimmed.indexOf(QLatin1Char(']')) - 1).toStdString();
        } else if (!trimmed.isEmpty() && !trimmed.startsWith(QLatin1Char(';')) && trimmed.contains(QLatin1Char('='))) {
            keys[section].insert(trimmed.left(trimmed.indexOf(QLatin1Char('='))).trimmed().toStdString());
        }
    }
    return keys;
}

TEST(ShippedLanguageFiles, BothLanguagesHaveEveryKeyTheProgramLooksUp) {
    const std::string folder = std::string(TOVRA_PROGRAM_DIR) + "/Language/";
    const auto chinese = KeysOf(folder + "Chinese.ini");
    const auto english = KeysOf(folder + "English.ini");
    EXPECT_EQ(chinese, english);

    const std::map<std::string, std::vector<std::string>> required = {
        {"ClassMSG",
         {"CT", "IName", "CName", "TName", "FName", "PName", "Dir", "NoPrj", "NoType", "ErrFile", "Page", "NoVideo",
          "NoAudio", "OnEdit", "ExitEdit", "WriteFail"}},
        {"Class", {"M0", "M1", "M2", "M3"}},
        {"Class_0_CMD", {"M57600", "M57601", "M57603", "M57616", "M57665"}},
        {"Class_1_CMD", {"M32809", "M32783", "M32808", "M32810"}},
        {"Class_2_4_CMD", {"M32816", "M32817"}},
        {"Class_3_CMD", {"M57664"}},
        {"Class_R_CMD", {"M32772", "M32771", "M32785", "M32779"}},
        {"Class_T_CMD", {"M32811", "M32812"}},
        {"Class_CMD",
         {"M57600", "M57601", "M57603", "M32810", "M32772", "M32771", "M32774", "M32776", "M32777", "M32779", "M32832",
          "M32847", "M57664"}},
        {"Class_About", {"Title", "T1", "T1008"}},
        {"Class_Create", {"Title", "T1", "T2", "T1006", "T1008", "T1013", "T1019", "T65535"}},
        {"Class_SetBps", {"Title", "T1", "T2", "T1008", "T1013", "T65535"}},
        {"Class_SetTitle", {"Title", "T1", "T2", "T1008", "T1013", "T1014", "T1015"}},
    };
    for (const auto& [section, keys] : required) {
        ASSERT_TRUE(chinese.count(section)) << section;
        for (const std::string& key : keys) EXPECT_TRUE(chinese.at(section).count(key)) << section << " " << key;
    }
}

TEST(ShippedLanguageFiles, PageTitleFormatHoldsExactlyOneNumber) {
    ProgramSettings saved = Program();
    Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
    for (std::string_view file : {kDefaultLanguageFile, kEnglishLanguageFile}) {
        Program().languageFile = std::string(file);
        const std::string page = Message("Page");
        EXPECT_NE(page.find("%d"), std::string::npos) << file;
        EXPECT_EQ(std::count(page.begin(), page.end(), '%'), 1) << file;
        EXPECT_FALSE(Message("ErrFile").empty()) << file;
    }
    Program() = saved;
}

}  // namespace
}  // namespace tovra::lang

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QApplication>);
    return RUN_ALL_TESTS();
}
