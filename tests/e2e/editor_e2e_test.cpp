// Starts the real editor: it opens a course given on its command line, and a second start hands
// its file to the first process and ends without a window.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>
#include <filesystem>

#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"

namespace tovra {
namespace {

using testing::TempDir;
using testing::WriteBytes;
using testing_support::WaitUntil;

QString Editor() { return QStringLiteral(TOVRA_PROGRAM_DIR "/tovra-editor"); }

QString ReadLog(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return QString();
    return QString::fromUtf8(file.readAll());
}

// Top-level windows on the X server titled like the main window.
int MainWindowsOnDisplay() {
    QProcess xwininfo;
    xwininfo.start(QStringLiteral("xwininfo"), {QStringLiteral("-root"), QStringLiteral("-tree")});
    if (!xwininfo.waitForFinished(10000)) return -1;
    const QString tree = QString::fromUtf8(xwininfo.readAllStandardOutput());
    return static_cast<int>(tree.count(QStringLiteral("\"Tovra editor\"")));
}

class EditorProcess : public ::testing::Test {
protected:
    void SetUp() override {
        onDisplay = !qEnvironmentVariableIsEmpty("DISPLAY");
        for (const char* sub : {"home", "tmp", "config", "data", "runtime"}) {
            std::filesystem::create_directories(dir / sub);
        }
        std::filesystem::permissions(dir / "runtime", std::filesystem::perms::owner_all);
    }

    std::string MakeCourse(const std::string& name) {
        const std::string folder = dir / name;
        std::filesystem::create_directories(folder + "/web.files");
        std::filesystem::copy_file(std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm",
                                   folder + "/web.files/fullscreen.htm");
        const std::string path = folder + "/" + name + ".lsn";
        WriteBytes(path, "TVCF\r\n*\r\n" + name + "\r\nLecturer\r\nCOUNT:2\r\n1:One\r\n2:Two\r\n");
        return path;
    }

    QProcessEnvironment Environment(const QString& log) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        // Private folders: the instance socket lives in TMPDIR, the profile under the config home.
        env.insert(QStringLiteral("HOME"), QString::fromStdString(dir / "home"));
        env.insert(QStringLiteral("TMPDIR"), QString::fromStdString(dir / "tmp"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), QString::fromStdString(dir / "config"));
        env.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(dir / "data"));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(dir / "runtime"));
        env.insert(QStringLiteral("TOVRA_EVENT_LOG"), log);
        env.insert(QStringLiteral("QTWEBENGINE_DISABLE_SANDBOX"), QStringLiteral("1"));
        if (onDisplay) env.remove(QStringLiteral("QT_QPA_PLATFORM"));  // a real X window
        return env;
    }

    static QString StartAddress(const std::string& lsn) {
        const QString folder = QString::fromStdString(std::filesystem::path(lsn).parent_path().string());
        return QUrl::fromLocalFile(folder + QStringLiteral("/web.files/fullscreen.htm")).toString() +
               QStringLiteral("?open=1.html");
    }

    TempDir dir;
    bool onDisplay = false;
};

TEST_F(EditorProcess, OpensTheCourseOfItsCommandLineAndTakesOverASecondStart) {
    const std::string first = MakeCourse("Optics");
    const std::string second = MakeCourse("Acoustics");
    const QString log1 = QString::fromStdString(dir / "first.log");
    const QString log2 = QString::fromStdString(dir / "second.log");

    QProcess editor;
    editor.setProcessEnvironment(Environment(log1));
    editor.setProcessChannelMode(QProcess::ForwardedChannels);
    editor.start(Editor(), {QString::fromStdString(first)});
    ASSERT_TRUE(editor.waitForStarted(10000));

    // Loaded in the engine, and the page answered the page-number script through its title.
    const QString loaded1 = QStringLiteral("document-complete ") + StartAddress(first);
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(log1).contains(loaded1); }, 60000)) << ReadLog(log1).toStdString();
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(log1).contains(QStringLiteral("title PAGE:1")); }, 20000));
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(log1).contains(QStringLiteral("started ")); }, 20000));
    if (onDisplay) {
        ASSERT_TRUE(WaitUntil([&] { return MainWindowsOnDisplay() == 1; }, 20000));
    }

    QProcess again;
    again.setProcessEnvironment(Environment(log2));
    again.setProcessChannelMode(QProcess::ForwardedChannels);
    again.start(Editor(), {QString::fromStdString(second)});
    ASSERT_TRUE(again.waitForFinished(30000));
    EXPECT_EQ(again.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(again.exitCode(), 0);
    const QString secondLog = ReadLog(log2);
    EXPECT_TRUE(secondLog.contains(QStringLiteral("handed-off ") + QString::fromStdString(second)))
        << secondLog.toStdString();
    EXPECT_FALSE(secondLog.contains(QStringLiteral("started"))) << secondLog.toStdString();

    const QString loaded2 = QStringLiteral("document-complete ") + StartAddress(second);
    ASSERT_TRUE(WaitUntil([&] { return ReadLog(log1).contains(loaded2); }, 30000)) << ReadLog(log1).toStdString();
    EXPECT_TRUE(ReadLog(log1).contains(QStringLiteral("read-project ") + QString::fromStdString(second)));
    if (onDisplay) {
        EXPECT_EQ(MainWindowsOnDisplay(), 1);
    }

    editor.terminate();
    if (!editor.waitForFinished(15000)) editor.kill();

    // The recent-file list outlives the run, newest first.
    QFile profile(QString::fromStdString(dir / "config/Local AppWizard-Generated Applications/Tovra Editor.ini"));
    ASSERT_TRUE(profile.open(QIODevice::ReadOnly));
    const QString stored = QString::fromUtf8(profile.readAll());
    EXPECT_LT(stored.indexOf(QString::fromStdString(second)), stored.indexOf(QString::fromStdString(first)));
    EXPECT_NE(stored.indexOf(QString::fromStdString(first)), -1);
}

}  // namespace
}  // namespace tovra

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QCoreApplication>);
    return RUN_ALL_TESTS();
}
