// Desktop registration of the project file type: file contents, write-when-changed and the cache updaters.
#include "platform/shell/file_type.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>

namespace tovra::shell {

namespace {

QString DefaultDataHome() {
    // XDG Base Directory: a relative $XDG_DATA_HOME is invalid and must be ignored.
    const QString xdg = qEnvironmentVariable("XDG_DATA_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) return xdg;
    return QDir::homePath() + QStringLiteral("/.local/share");
}

// One Exec argument: always quoted, with the characters that are special inside quotes escaped.
QString QuoteExecArgument(const QString& argument) {
    QString quoted;
    quoted.reserve(argument.size() + 2);
    quoted += QLatin1Char('"');
    for (QChar c : argument) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') || c == QLatin1Char('\\'))
            quoted += QLatin1Char('\\');
        if (c == QLatin1Char('%')) quoted += QLatin1Char('%');  // field codes start with '%'
        quoted += c;
    }
    quoted += QLatin1Char('"');
    return quoted;
}

// The Exec value is a string value too, whose backslashes are escaped once more.
QString EscapeStringValue(const QString& value) {
    QString escaped = value;
    escaped.replace(QLatin1Char('\\'), QStringLiteral("\\\\"));
    return escaped;
}

enum class WriteResult { Unchanged, Written, Failed };

WriteResult WriteIfChanged(const QString& path, const QByteArray& content) {
    QFile existing(path);
    if (existing.open(QIODevice::ReadOnly) && existing.readAll() == content) return WriteResult::Unchanged;
    existing.close();
    if (!QDir().mkpath(QFileInfo(path).absolutePath())) return WriteResult::Failed;
    QSaveFile file(path);  // readers never see half a file
    if (!file.open(QIODevice::WriteOnly)) return WriteResult::Failed;
    if (file.write(content) != content.size()) return WriteResult::Failed;
    return file.commit() ? WriteResult::Written : WriteResult::Failed;
}

void StartDetachedIfInstalled(const QString& program, const QString& argument) {
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty()) return;
    QProcess process;
    process.setProgram(found);
    process.setArguments({argument});
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    process.startDetached();
}

}  // namespace

QByteArray MimePackageXml() {
    return QByteArrayLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
        "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
        "  <mime-type type=\"application/x-tovra.document\">\n"
        "    <comment>Tovra Document</comment>\n"
        "    <glob pattern=\"*.lsn\"/>\n"
        "  </mime-type>\n"
        "</mime-info>\n");
}

QByteArray DesktopEntry(const QString& executablePath) {
    for (QChar c : executablePath)
        if (c.unicode() < 0x20 || c.unicode() == 0x7f) return QByteArray();
    if (executablePath.isEmpty()) return QByteArray();
    const QString exec = EscapeStringValue(QuoteExecArgument(executablePath)) + QStringLiteral(" %f");
    QByteArray entry;
    entry += "[Desktop Entry]\n";
    entry += "Type=Application\n";
    entry += "Name=Tovra Editor\n";
    entry += "Exec=" + exec.toUtf8() + "\n";
    entry += "MimeType=" + QByteArray(kDocumentMimeType) + ";\n";
    entry += "Terminal=false\n";
    entry += "Categories=Education;\n";
    return entry;
}

bool RegisterShellFileTypes(const QString& executablePath, const QString& dataHome, bool* wroteSomething) {
    if (wroteSomething) *wroteSomething = false;
    const QByteArray desktop = DesktopEntry(executablePath);
    if (desktop.isEmpty()) return false;
    const QString home = dataHome.isEmpty() ? DefaultDataHome() : dataHome;
    const QString mimeDir = home + QStringLiteral("/mime");
    const QString applicationsDir = home + QStringLiteral("/applications");

    const WriteResult mime = WriteIfChanged(mimeDir + QStringLiteral("/packages/tovra-document.xml"), MimePackageXml());
    const WriteResult entry = WriteIfChanged(applicationsDir + QStringLiteral("/tovra-editor.desktop"), desktop);

    // The caches are only rebuilt when something changed: start-up stays free of child processes.
    if (mime == WriteResult::Written) StartDetachedIfInstalled(QStringLiteral("update-mime-database"), mimeDir);
    if (entry == WriteResult::Written)
        StartDetachedIfInstalled(QStringLiteral("update-desktop-database"), applicationsDir);

    if (wroteSomething) *wroteSomething = mime == WriteResult::Written || entry == WriteResult::Written;
    return mime != WriteResult::Failed && entry != WriteResult::Failed;
}

bool InstalledRegistration(const QString& installedPrefix) {
    if (installedPrefix.isEmpty()) return false;
    const QString share = QDir(installedPrefix).filePath(QStringLiteral("share"));
    return QFileInfo::exists(share + QStringLiteral("/mime/packages/tovra-editor.xml")) &&
           QFileInfo::exists(share + QStringLiteral("/applications/tovra-editor.desktop"));
}

}  // namespace tovra::shell
