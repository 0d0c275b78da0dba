// The editor's command line as scripts use it, with no display at all: a course made from a deck,
// decks and folders it refuses with the message in the interface language, --help and --version.
#include <gtest/gtest.h>

#include <sys/mount.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QProcess>
#include <cerrno>
#include <cstring>
#include <filesystem>

#include "app/settings.h"
#include "lang/language_table.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

struct Ran {
    int exitCode = -1;
    QString out;
    QString err;
};

class CommandLine : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        static int argc = 1;
        static char name[] = "command-line-test";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
    }
    void SetUp() override {
        saved = Program();
        // The texts expected are those of the language the program itself reads from its settings.
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = LanguageFileFromSetting(ReadSetting({}, "Sel", kDefaultLanguageFile));
    }
    void TearDown() override { Program() = saved; }

    Ran Editor(const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) env.remove(QLatin1String(name));
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir / "home"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(dir.path()));
        QProcess process;
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(TOVRA_PROGRAM_DIR "/tovra-editor"), args);
        Ran run;
        if (!process.waitForFinished(300000)) {
            process.kill();
            process.waitForFinished();
            ADD_FAILURE() << "tovra-editor " << args.join(QLatin1Char(' ')).toStdString() << " did not end";
            return run;
        }
        run.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
        run.out = QString::fromUtf8(process.readAllStandardOutput());
        run.err = QString::fromUtf8(process.readAllStandardError());
        return run;
    }
    // A refusal: exit 1, nothing on standard output, the message as the last line on standard error.
    void ExpectRefused(const Ran& run, const QString& message) {
        EXPECT_EQ(run.exitCode, 1) << run.err.toStdString();
        EXPECT_EQ(run.out, QString());
        EXPECT_EQ(run.err.trimmed().section(QLatin1Char('\n'), -1), message) << run.err.toStdString();
    }
    // Makes the folder one the program cannot write, and says with which errno it is refused. Root
    // writes through permissions: a read-only disk refuses it.
    static bool Lock(const std::string& folder, int& why) {
        fs::create_directories(folder);
        if (::geteuid() != 0) {
            fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
            why = EACCES;
            return true;
        }
        why = EROFS;
        if (::mount("tovra-test", folder.c_str(), "tmpfs", MS_RDONLY, "size=64k") == 0) return true;
        ADD_FAILURE() << std::strerror(errno);
        return false;
    }
    static void Unlock(const std::string& folder) {
        if (::geteuid() == 0) ::umount2(folder.c_str(), MNT_DETACH);
        fs::permissions(folder, fs::perms::owner_all);
    }
    static std::string Deck(const char* name) { return std::string(TOVRA_SHARED_DIR) + "/decks/" + name; }

    ProgramSettings saved;
    TempDir dir;
};

TEST_F(CommandLine, MakesTheCourseOfADeckAndKeepsACourseUnlessToldToReplaceIt) {
    const std::string folder = dir / "term one/optics";  // two levels made
    const Ran made = Editor({"--import", QString::fromStdString(Deck("incorrect_slide_order.ppt")),
                             QString::fromStdString(folder)});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const std::string project = folder + "/incorrect_slide_order.lsn";
    EXPECT_EQ(made.out, QString::fromStdString(project) + QLatin1Char('\n'));
    EXPECT_TRUE(made.err.contains(lang::MessageText("ImportOpen"))) << made.err.toStdString();
    const std::string bytes = ReadBytes(project);
    EXPECT_NE(bytes.find("\r\nCOUNT:3\r\n1:"), std::string::npos) << bytes;
    EXPECT_NE(bytes.find(fs::weakly_canonical(Deck("incorrect_slide_order.ppt")).string()), std::string::npos) << bytes;
    for (const char* file : {"/web.htm", "/web.files/fullscreen.htm", "/web.files/slide0003.png", "/web.files/index.htm",
                             "/web.files/CoursePages.js"}) {
        EXPECT_TRUE(fs::is_regular_file(folder + file)) << file;
    }

    // The same folder again: refused, the course as it was.
    const Ran again = Editor({"--import", QString::fromStdString(Deck("with_textbox.ppt")), QString::fromStdString(folder)});
    ExpectRefused(again, lang::MessageWith("CliHoldsCourse", {QString::fromStdString(folder)}));
    EXPECT_EQ(ReadBytes(project), bytes);
    EXPECT_FALSE(fs::exists(folder + "/with_textbox.lsn"));

    // With --replace the new deck's course takes the folder, and nothing of the old is left.
    const Ran replaced = Editor({"--import", QString::fromStdString(Deck("with_textbox.ppt")),
                                 QString::fromStdString(folder), "--replace"});
    ASSERT_EQ(replaced.exitCode, 0) << replaced.err.toStdString();
    EXPECT_EQ(replaced.out, QString::fromStdString(folder + "/with_textbox.lsn\n"));
    EXPECT_FALSE(fs::exists(project));
    EXPECT_FALSE(fs::exists(folder + "/web.files/slide0003.png"));
    for (const auto& entry : fs::directory_iterator(folder)) {
        EXPECT_EQ(entry.path().filename().string().find(".tovra-replaced"), std::string::npos) << entry.path();
    }
}

TEST_F(CommandLine, RefusesDecksItCannotImportAndNamesThemLeavingNoFolder) {
    struct Case {
        const char* what;
        std::string deck;
        QString message;
    };
    const std::string garbage = dir / "notes.pptx";
    WriteBytes(garbage, "These are my notes, not slides.\n");
    const std::string empty = dir / "empty deck.odp";
    WriteBytes(empty, "");
    const std::string text = dir / "plan.txt";
    WriteBytes(text, "plan");
    const Case cases[] = {
        {"protected", Deck("Password_Protected-hello.ppt"),
         lang::MessageWith("DeckPassword", {QStringLiteral("Password_Protected-hello.ppt")})},
        {"garbage", garbage, lang::MessageWith("DeckNotADeck", {QStringLiteral("notes.pptx")})},
        {"empty", empty, lang::MessageWith("DeckEmpty", {QStringLiteral("empty deck.odp")})},
        {"no deck type", text, lang::MessageWith("DeckNotADeck", {QStringLiteral("plan.txt")})},
        {"missing", dir / "gone.ppt",
         lang::MessageWith("CannotRead", {QString::fromStdString(dir / "gone.ppt"), lang::SystemReason(ENOENT)})},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const std::string folder = dir / (std::string("course ") + c.what);
        ExpectRefused(Editor({"--import", QString::fromStdString(c.deck), QString::fromStdString(folder)}), c.message);
        EXPECT_FALSE(fs::exists(folder));
    }
}

TEST_F(CommandLine, AFolderThatCannotBeWrittenIsNamedWithTheReason) {
    const std::string locked = dir / "locked";
    int why = 0;
    ASSERT_TRUE(Lock(locked, why));
    const Ran inside = Editor({"--import", QString::fromStdString(Deck("incorrect_slide_order.ppt")),
                               QString::fromStdString(locked + "/course")});
    const Ran itself = Editor({"--import", QString::fromStdString(Deck("incorrect_slide_order.ppt")),
                               QString::fromStdString(locked)});
    Unlock(locked);
    const QString message = lang::MessageWith("CannotWrite", {QString::fromStdString(locked), lang::SystemReason(why)});
    ExpectRefused(inside, message);
    ExpectRefused(itself, message);
}

// A course made from a deck, published as a learning-platform package; a missing project file
// and a folder that cannot be written are refused with the reason, leaving no file.
TEST_F(CommandLine, ExportsTheCourseAsAScormPackageAndRefusesWhatItCannot) {
    const std::string folder = dir / "光学 course";
    const Ran made = Editor({"--import", QString::fromStdString(Deck("incorrect_slide_order.ppt")),
                             QString::fromStdString(folder)});
    ASSERT_EQ(made.exitCode, 0) << made.err.toStdString();
    const std::string project = folder + "/incorrect_slide_order.lsn";
    const std::string zip = dir / "课件 package.zip";
    const Ran exported = Editor({"--export-scorm", QString::fromStdString(project), QString::fromStdString(zip)});
    ASSERT_EQ(exported.exitCode, 0) << exported.err.toStdString();
    EXPECT_EQ(exported.out, QString::fromStdString(zip) + QLatin1Char('\n'));
    EXPECT_TRUE(exported.err.contains(lang::MessageNumbers("ScormFile", {10, 0}).section(QLatin1Char(' '), 0, 0)))
        << exported.err.toStdString();
    QProcess list;
    list.start(QStringLiteral("unzip"), {QStringLiteral("-Z1"), QString::fromStdString(zip)});
    ASSERT_TRUE(list.waitForFinished(30000));
    const QStringList names = QString::fromUtf8(list.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    EXPECT_EQ(names.first(), QStringLiteral("imsmanifest.xml"));
    for (const char* file : {"web.htm", "web.files/fullscreen.htm", "web.files/slide0003.png", "web.files/CoursePages.js"}) {
        EXPECT_TRUE(names.contains(QLatin1String(file))) << file;
    }
    for (const QString& name : names) EXPECT_FALSE(name.endsWith(QLatin1String(".lsn"))) << name.toStdString();

    const std::string missing = dir / "no such.lsn";
    ExpectRefused(Editor({"--export-scorm", QString::fromStdString(missing), QString::fromStdString(dir / "m.zip")}),
                  lang::MessageWith("CannotRead", {QString::fromStdString(missing), lang::SystemReason(ENOENT)}));
    EXPECT_FALSE(fs::exists(dir / "m.zip"));

    const std::string locked = dir / "locked";
    int why = 0;
    ASSERT_TRUE(Lock(locked, why));
    const std::string refused = locked + "/out.zip";
    const Ran unwritable = Editor({"--export-scorm", QString::fromStdString(project), QString::fromStdString(refused)});
    const bool left = fs::exists(refused);
    Unlock(locked);
    ExpectRefused(unwritable, lang::MessageWith("ScormCannotWrite", {QString::fromStdString(refused), lang::SystemReason(why)}));
    EXPECT_FALSE(left);
    EXPECT_TRUE(fs::is_empty(locked));
}

TEST_F(CommandLine, HelpVersionAndWordsItDoesNotTake) {
    const Ran help = Editor({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QLatin1String("tovra-editor --import DECK FOLDER [--replace]"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(lang::MessageText("CliImport"))) << help.out.toStdString();
    EXPECT_TRUE(help.out.contains(QLatin1String("tovra-editor --export-scorm PROJECT.lsn OUT.zip"))) << help.out.toStdString();

    const Ran version = Editor({"--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("tovra-editor " TOVRA_VERSION "\n"));

    for (const QStringList& words : {QStringList{"--import", "only-a-deck.ppt"}, QStringList{"--import", "a.ppt", "b", "--force"},
                                     QStringList{"--version", "now"}, QStringList{"--export-scorm", "a.lsn"},
                                     QStringList{"--export-scorm", "a.lsn", "b.zip", "c"}}) {
        SCOPED_TRACE(words.join(QLatin1Char(' ')).toStdString());
        const Ran run = Editor(words);
        EXPECT_EQ(run.exitCode, 1);
        EXPECT_EQ(run.out, QString());
        EXPECT_TRUE(run.err.startsWith(lang::MessageWith("CliUnknown", {words.join(QLatin1Char(' '))})))
            << run.err.toStdString();
    }
}

}  // namespace
}  // namespace tovra
