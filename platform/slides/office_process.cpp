#include "platform/slides/office_process.h"

#include <csignal>
#include <unistd.h>

#include <QDateTime>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

namespace tovra::slides {

namespace {

// "7.4" from the "ProductKey=LibreOffice 7.4" of the bootstraprc beside the suite's program;
// empty when there is none.
QString ProductVersion(const QString& office) {
    static QHash<QString, QString> known;
    const auto found = known.constFind(office);
    if (found != known.constEnd()) return *found;
    QString version;
    QFile rc(QFileInfo(QFileInfo(office).canonicalFilePath()).dir().filePath(QStringLiteral("bootstraprc")));
    if (rc.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression kKey(QStringLiteral("^ProductKey=.*?(\\d+\\.\\d+)\\s*$"),
                                             QRegularExpression::MultilineOption);
        const QRegularExpressionMatch m = kKey.match(QString::fromUtf8(rc.read(64 * 1024)));
        if (m.hasMatch()) version = m.captured(1);
    }
    known.insert(office, version);
    return version;
}

}  // namespace

void PrepareOfficeProfile(const QString& office, const QString& profileDir) {
    const QString settings = profileDir + QStringLiteral("/user/registrymodifications.xcu");
    if (QFileInfo::exists(settings)) return;
    const QString version = ProductVersion(office);
    if (version.isEmpty()) return;
    QDir().mkpath(profileDir + QStringLiteral("/user"));
    QFile file(settings);
    if (!file.open(QIODevice::WriteOnly)) return;
    file.write(QStringLiteral(
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<oor:items xmlns:oor=\"http://openoffice.org/2001/registry\" "
                   "xmlns:xs=\"http://www.w3.org/2001/XMLSchema\" xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\">\n"
                   "<item oor:path=\"/org.openoffice.Setup/Product\"><prop oor:name=\"ooSetupLastVersion\" "
                   "oor:op=\"fuse\"><value>%1</value></prop></item>\n"
                   "</oor:items>\n")
                   .arg(version)
                   .toUtf8());
}

OfficeConversion::OfficeConversion(const QString& office, const QString& input, const QString& format,
                                   const QString& outDir, const QString& profileDir, int timeoutMs, QObject* parent)
    : QObject(parent), office_(office), profileDir_(profileDir), timeoutMs_(timeoutMs) {
    arguments_ << QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profileDir).toString(QUrl::FullyEncoded)
               << QStringLiteral("--headless") << QStringLiteral("--norestore") << QStringLiteral("--nolockcheck")
               << QStringLiteral("--nologo") << QStringLiteral("--convert-to") << format << QStringLiteral("--outdir")
               << outDir << input;
    process_.setProcessChannelMode(QProcess::MergedChannels);
    // The start script runs the suite as a child; a group of its own lets one kill reach both.
    process_.setChildProcessModifier([] { ::setsid(); });
    connect(&process_, &QProcess::finished, this, [this](int exitCode, QProcess::ExitStatus status) {
        finished_ = true;
        exitCode_ = status == QProcess::NormalExit ? exitCode : -1;
        errorText_ += QString::fromLocal8Bit(process_.readAll());
        emit Done();
    });
    connect(&process_, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart) return;
        finished_ = true;
        errorText_ = process_.errorString();
        emit Done();
    });
}

OfficeConversion::~OfficeConversion() {
    if (!finished_) Kill();
}

bool OfficeConversion::Start() {
    PrepareOfficeProfile(office_, profileDir_);
    startedAtMs_ = QDateTime::currentMSecsSinceEpoch();
    process_.start(office_, arguments_);
    if (!process_.waitForStarted(10000)) {
        finished_ = true;
        errorText_ = process_.errorString();
        return false;
    }
    pid_ = process_.processId();
    return true;
}

void OfficeConversion::Poll() {
    if (finished_ || QDateTime::currentMSecsSinceEpoch() - startedAtMs_ <= timeoutMs_) return;
    timedOut_ = true;
    errorText_ = QStringLiteral("the office suite ran past its time limit");
    Kill();
}

void OfficeConversion::Kill() {
    if (pid_ > 0) ::kill(-static_cast<pid_t>(pid_), SIGKILL);
    process_.kill();
    process_.waitForFinished(5000);
    finished_ = true;
}

QString FindOffice(const std::string& configured) {
    if (!configured.empty()) {
        const QString path = QString::fromStdString(configured);
        QFileInfo info(path);
        if (info.isAbsolute()) return info.isExecutable() && info.isFile() ? path : QString();
        return QStandardPaths::findExecutable(path);
    }
    QString found = QStandardPaths::findExecutable(QStringLiteral("soffice"));
    if (found.isEmpty()) {
        found = QStandardPaths::findExecutable(QStringLiteral("soffice"), {QStringLiteral("/usr/lib/libreoffice/program"),
                                                                           QStringLiteral("/opt/libreoffice/program")});
    }
    return found;
}

void WaitWhileResponsive(const std::function<bool()>& done) {
    while (!done()) {
        QEventLoop loop;
        QTimer::singleShot(20, &loop, &QEventLoop::quit);
        loop.exec();
    }
}

}  // namespace tovra::slides
