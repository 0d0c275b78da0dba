// Desktop registration of ".lsn": the files written, rewriting only on change, and what the desktop tools make of them.
#include "platform/shell/file_type.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include "tests/support/qt_test_application.h"

namespace tovra::shell {
namespace {

using testing_support::WaitUntil;

// Quoting rule first (\" \$ \\ \`), then the string-value rule doubles each backslash; '%' is doubled.
const QString kAwkwardPath = QStringLiteral("/opt/My \"App\"/$x/back\\slash/100%/`t`/tovra editor");
const QByteArray kAwkwardExec =
    "Exec=\"/opt/My \\\\\"App\\\\\"/\\\\$x/back\\\\\\\\slash/100%%/\\\\`t\\\\`/tovra editor\" %f\n";

QByteArray ReadAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Exit code and merged output of a desktop tool, with the temp folder as XDG data home.
std::pair<int, QByteArray> RunTool(const QString& program, const QStringList& arguments, const QString& dataHome) {
    QProcess process;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), dataHome);
    env.insert(QStringLiteral("XDG_DATA_DIRS"), QStringLiteral("/usr/share"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(30000) || process.exitStatus() != QProcess::NormalExit) return {-1, {}};
    return {process.exitCode(), process.readAll()};
}

class FileTypeTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(home.isValid()); }
    QString MimePackage() const { return home.path() + QStringLiteral("/mime/packages/tovra-document.xml"); }
    QString Entry() const { return home.path() + QStringLiteral("/applications/tovra-editor.desktop"); }
    QTemporaryDir home;
};

TEST_F(FileTypeTest, WritesTheMimePackageAndTheDesktopEntry) {
    bool wrote = false;
    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/opt/tovra/bin/tovra-editor"), home.path(), &wrote));
    EXPECT_TRUE(wrote);
    const QByteArray xml = ReadAll(MimePackage());
    EXPECT_TRUE(xml.contains("<mime-type type=\"application/x-tovra.document\">")) << xml.constData();
    EXPECT_TRUE(xml.contains("<comment>Tovra Document</comment>"));
    EXPECT_TRUE(xml.contains("<glob pattern=\"*.lsn\"/>"));
    EXPECT_FALSE(xml.contains("<alias"));
    EXPECT_EQ(ReadAll(Entry()), QByteArray("[Desktop Entry]\nType=Application\nName=Tovra Editor\n"
                                           "Exec=\"/opt/tovra/bin/tovra-editor\" %f\n"
                                           "MimeType=application/x-tovra.document;\nTerminal=false\n"
                                           "Categories=Education;\n"));

    EXPECT_TRUE(DesktopEntry(kAwkwardPath).contains(kAwkwardExec)) << DesktopEntry(kAwkwardPath).constData();
    EXPECT_TRUE(DesktopEntry(QString()).isEmpty());
    EXPECT_FALSE(RegisterShellFileTypes(QStringLiteral("/opt/a\nb"), home.path())) << "a line break cannot be in Exec";
}

TEST_F(FileTypeTest, RewritesOnlyWhatChanged) {
    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/opt/tovra/tovra-editor"), home.path()));
    const QDateTime mimeTime = QFileInfo(MimePackage()).lastModified();
    const QDateTime entryTime = QFileInfo(Entry()).lastModified();
    QThread::msleep(20);  // mtimes have sub-millisecond resolution here; a rewrite would show

    bool wrote = true;
    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/opt/tovra/tovra-editor"), home.path(), &wrote));
    EXPECT_FALSE(wrote);
    EXPECT_EQ(QFileInfo(MimePackage()).lastModified(), mimeTime);
    EXPECT_EQ(QFileInfo(Entry()).lastModified(), entryTime);

    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/usr/local/bin/tovra-editor"), home.path(), &wrote));
    EXPECT_TRUE(wrote) << "a moved program changes the desktop entry";
    EXPECT_EQ(QFileInfo(MimePackage()).lastModified(), mimeTime);

    QFile damaged(MimePackage());
    ASSERT_TRUE(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.write("<mime-info");
    damaged.close();
    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/usr/local/bin/tovra-editor"), home.path(), &wrote));
    EXPECT_TRUE(wrote);
    EXPECT_EQ(ReadAll(MimePackage()), MimePackageXml());
}

TEST_F(FileTypeTest, DataHomeDefaultsToXdgDataHomeAndAnUnwritableOneFails) {
    const bool wasSet = qEnvironmentVariableIsSet("XDG_DATA_HOME");
    const QByteArray saved = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
    const bool ok = RegisterShellFileTypes(QStringLiteral("/opt/t"));
    wasSet ? qputenv("XDG_DATA_HOME", saved) : qunsetenv("XDG_DATA_HOME");
    EXPECT_TRUE(ok);
    EXPECT_TRUE(QFile::exists(Entry()));

    bool wrote = true;
    EXPECT_FALSE(RegisterShellFileTypes(QStringLiteral("/opt/t"), Entry(), &wrote)) << "a file is no folder";
    EXPECT_FALSE(wrote);
}

// The package's own copy of the type is the one the program writes, and an installed prefix that
// has it and the desktop entry needs no registration of the user's own.
TEST_F(FileTypeTest, TheInstalledTypeIsTheSameAndAnInstalledPrefixRegistersIt) {
    EXPECT_EQ(ReadAll(QStringLiteral(TOVRA_SOURCE_DIR "/packaging/tovra-editor.xml")), MimePackageXml());
    EXPECT_FALSE(InstalledRegistration(QString()));
    const QString prefix = home.path() + QStringLiteral("/usr/");
    EXPECT_FALSE(InstalledRegistration(prefix));
    auto touch = [](const QString& path) {
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        return file.open(QIODevice::WriteOnly);
    };
    ASSERT_TRUE(touch(prefix + QStringLiteral("share/mime/packages/tovra-editor.xml")));
    EXPECT_FALSE(InstalledRegistration(prefix));  // the type without the entry is not enough
    ASSERT_TRUE(touch(prefix + QStringLiteral("share/applications/tovra-editor.desktop")));
    EXPECT_TRUE(InstalledRegistration(prefix));
}

TEST_F(FileTypeTest, DesktopFileValidateAcceptsTheEntry) {
    const QString validator = QStandardPaths::findExecutable(QStringLiteral("desktop-file-validate"));
    if (validator.isEmpty()) GTEST_SKIP() << "desktop-file-validate is not installed";
    for (const QString& exe : {QStringLiteral("/opt/tovra/tovra-editor"), kAwkwardPath}) {
        ASSERT_TRUE(RegisterShellFileTypes(exe, home.path()));
        const auto [code, output] = RunTool(validator, {Entry()}, home.path());
        EXPECT_EQ(code, 0) << output.constData();
        EXPECT_FALSE(output.contains("error")) << output.constData();
    }
}

TEST_F(FileTypeTest, DesktopCachesRebuiltInTheBackgroundKnowLsnFiles) {
    if (QStandardPaths::findExecutable(QStringLiteral("update-mime-database")).isEmpty() ||
        QStandardPaths::findExecutable(QStringLiteral("update-desktop-database")).isEmpty())
        GTEST_SKIP() << "update-mime-database or update-desktop-database is not installed";
    ASSERT_TRUE(RegisterShellFileTypes(QStringLiteral("/opt/tovra/tovra-editor"), home.path()));

    // Nobody waits for the updaters the registration started; their results show up here.
    const QString globs = home.path() + QStringLiteral("/mime/globs2");
    EXPECT_TRUE(WaitUntil([&] { return ReadAll(globs).contains("application/x-tovra.document:*.lsn"); }, 20000))
        << ReadAll(globs).constData();
    const QString apps = home.path() + QStringLiteral("/applications/mimeinfo.cache");
    EXPECT_TRUE(
        WaitUntil([&] { return ReadAll(apps).contains("application/x-tovra.document=tovra-editor.desktop;"); }, 20000))
        << ReadAll(apps).constData();
    ASSERT_TRUE(WaitUntil([&] { return QFile::exists(home.path() + QStringLiteral("/mime/mime.cache")); }, 20000));

    const QString gio = QStandardPaths::findExecutable(QStringLiteral("gio"));
    if (gio.isEmpty()) GTEST_SKIP() << "gio is not installed: only the caches were checked";
    QFile course(home.path() + QStringLiteral("/week1.lsn"));
    ASSERT_TRUE(course.open(QIODevice::WriteOnly));
    course.write("[Course]\n");
    course.close();
    const auto [code, output] = RunTool(
        gio,
        {QStringLiteral("info"), QStringLiteral("-a"), QStringLiteral("standard::content-type"), course.fileName()},
        home.path());
    EXPECT_EQ(code, 0) << output.constData();
    EXPECT_TRUE(output.contains("application/x-tovra.document")) << output.constData();
}

}  // namespace
}  // namespace tovra::shell
