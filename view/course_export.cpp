#include "view/course_export.h"

#include <QDir>
#include <QFileDialog>
#include <QProgressDialog>

#include "lang/language_table.h"
#include "view/event_log.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {

// Why a file could not be read or written: the system's reason in the interface language, else
// what the archive said.
template <class Outcome>
QString Reason(const Outcome& outcome) {
    return outcome.systemError ? lang::SystemReason(outcome.systemError) : QString::fromStdString(outcome.message);
}

}  // namespace

QString ScormExportMessage(const ScormExportOutcome& outcome, const std::string& zipPath) {
    switch (outcome.failure) {
        case ScormExportFailure::None: return lang::MessageWith("ScormDone", {QString::fromStdString(zipPath)});
        case ScormExportFailure::NoPages: return lang::MessageText("ScormNoPages");
        case ScormExportFailure::NoStartPage:
            return lang::MessageWith("ScormNoStart", {QString::fromStdString(outcome.detail)});
        case ScormExportFailure::CannotRead:
            return lang::MessageWith("CannotRead", {QString::fromStdString(outcome.detail), Reason(outcome)});
        case ScormExportFailure::CannotWrite:
            return lang::MessageWith("ScormCannotWrite", {QString::fromStdString(zipPath), Reason(outcome)});
    }
    return {};
}

QString VideoExportMessage(const VideoExportOutcome& outcome, const std::string& mp4Path) {
    switch (outcome.failure) {
        case VideoExportFailure::None:
            return lang::MessageWith("VideoDone", {QString::fromStdString(mp4Path), QString::fromStdString(outcome.chaptersPath)});
        case VideoExportFailure::NoRecording: return lang::MessageText("VideoNoRecording");
        case VideoExportFailure::CannotRead:
            return lang::MessageWith("CannotRead", {QString::fromStdString(outcome.detail), Reason(outcome)});
        case VideoExportFailure::CannotWrite:
            return lang::MessageWith("VideoCannotWrite", {QString::fromStdString(mp4Path), Reason(outcome)});
        case VideoExportFailure::Cancelled: return {};
    }
    return {};
}

std::string VideoChapterName(int page) { return lang::MessageNumbers("VideoChapter", {page}).toStdString(); }

QString CMirovaView::ChooseSaveFile(const QString& proposed, const QString& filter) {
    if (chooseSaveFile_) return chooseSaveFile_(proposed, filter);
    return QFileDialog::getSaveFileName(this, QString(), proposed, filter);
}

void CMirovaView::OnExportScorm() {
    if (course_.pages.empty() || State() != RecordState::Stopped) return;
    // The package takes the pages as they are on disk: an edit not saved yet is asked about first.
    if (!CloseEditor()) return;
    const QString name = QString::fromStdString(course_.courseName.empty() ? course_.projectFileName : course_.courseName);
    const QString proposed = QString::fromStdString(course_.folder) + QStringLiteral("/../") + name + QStringLiteral(".zip");
    QString chosen = ChooseSaveFile(QDir::cleanPath(proposed), QStringLiteral("SCORM 1.2 (*.zip)"));
    if (chosen.isEmpty()) return;
    if (!chosen.endsWith(QLatin1String(".zip"), Qt::CaseInsensitive)) chosen += QStringLiteral(".zip");
    const std::string zip = chosen.toStdString();
    QProgressDialog progress(this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButton(nullptr);
    progress.setMinimumDuration(500);
    const ScormExportOutcome outcome = ExportScormPackage(course_, zip, [&](std::size_t done, std::size_t total) {
        progress.setMaximum(static_cast<int>(total));
        progress.setValue(static_cast<int>(done));
        progress.setLabelText(lang::MessageNumbers("ScormFile", {static_cast<int>(done), static_cast<int>(total)}));
    });
    progress.reset();
    LogEvent(QStringLiteral("export-scorm"), chosen);
    ShowMessage(ScormExportMessage(outcome, zip));
}

}  // namespace tovra
