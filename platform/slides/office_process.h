// One run of the office suite, headless, converting a file: always with a private user profile
// (the user's own running office would otherwise be handed the job and might quit), in a
// process group of its own so that an overrun kills the whole suite, not just its start script.
#pragma once

#include <functional>

#include <QObject>
#include <QProcess>
#include <QString>

namespace tovra::slides {

class OfficeConversion : public QObject {
    Q_OBJECT
public:
    // Converts `input` to `format` (a --convert-to argument) into outDir, using profileDir as
    // the user profile (created by the office suite when empty).
    OfficeConversion(const QString& office, const QString& input, const QString& format, const QString& outDir,
                     const QString& profileDir, int timeoutMs, QObject* parent = nullptr);
    ~OfficeConversion() override;  // kills a run still going

    bool Start();                 // false when the office suite cannot be started
    bool Finished() const { return finished_; }
    bool TimedOut() const { return timedOut_; }
    bool Succeeded() const { return finished_ && !timedOut_ && exitCode_ == 0; }
    // Checks the time limit; kills the run when it is over. Call while waiting.
    void Poll();
    void Kill();
    qint64 ProcessId() const { return pid_; }
    QString ErrorText() const { return errorText_; }

signals:
    void Done();

private:
    QProcess process_;
    QString office_;
    QString profileDir_;
    QStringList arguments_;
    int timeoutMs_;
    qint64 startedAtMs_ = 0;
    qint64 pid_ = 0;
    bool finished_ = false;
    bool timedOut_ = false;
    int exitCode_ = -1;
    QString errorText_;
};

// Makes a new private profile that starts the way an installed suite's own profile does: the
// suite otherwise takes every profile that has not yet recorded its version for a first start
// after an upgrade, and spends over a second on graphics self-tests before converting anything.
// Leaves a profile that already exists alone.
void PrepareOfficeProfile(const QString& office, const QString& profileDir);

// The office suite's start command: `configured` when given, else "soffice" on the PATH or in
// LibreOffice's program folder; empty when there is none.
QString FindOffice(const std::string& configured);

// Runs the caller's event loop in short slices until done() holds; the window keeps painting and
// the office suite's processes report back meanwhile.
void WaitWhileResponsive(const std::function<bool()>& done);

}  // namespace tovra::slides
