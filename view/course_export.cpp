#include "view/course_export.h"

#include <QDir>
#include <QFileDialog>
#include <QCoreApplication>
#include <QProgressDialog>
#include <memory>

#include "lang/language_table.h"
#include "publish/html_page_pictures.h"
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

QString CMirovaView::ChooseExportFile(const QString& extension, const QString& filter) {
    // "<course name><extension>" beside the course folder; the extension is added when left out.
    const QString name = QString::fromStdString(course_.courseName.empty() ? course_.projectFileName : course_.courseName);
    const QString proposed = QString::fromStdString(course_.folder) + QStringLiteral("/../") + name + extension;
    QString chosen = ChooseSaveFile(QDir::cleanPath(proposed), filter);
    if (!chosen.isEmpty() && !chosen.endsWith(extension, Qt::CaseInsensitive)) chosen += extension;
    return chosen;
}

void CMirovaView::OnExportScorm() {
    if (course_.pages.empty() || State() != RecordState::Stopped) return;
    // The package takes the pages as they are on disk: an edit not saved yet is asked about first.
    if (!CloseEditor()) return;
    const QString chosen = ChooseExportFile(QStringLiteral(".zip"), QStringLiteral("SCORM 1.2 (*.zip)"));
    if (chosen.isEmpty()) return;
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

void CMirovaView::OnExportVideo() {
    if (State() != RecordState::Stopped || !CommandInputs().hasRecording) return;
    // The video draws the pages as they are on disk: an edit not saved yet is asked about first.
    if (!CloseEditor()) return;
    const QString chosen = ChooseExportFile(QStringLiteral(".mp4"), QStringLiteral("MP4 (*.mp4)"));
    if (chosen.isEmpty()) return;
    const std::string mp4 = chosen.toStdString();
    const std::string web = course_.folder + "/web.files";
    std::unique_ptr<PagePictures> pages;
    if (course_.IsBlank()) pages = std::make_unique<HtmlPagePictures>(web);
    else pages = std::make_unique<DeckPagePictures>(web);
    LectureVideoOptions options;
    options.pageName = VideoChapterName;
    // A long lecture takes minutes: the window stays responsive and the teacher may cancel.
    QProgressDialog progress(this);
    progress.setWindowModality(Qt::WindowModal);
    progress.setCancelButtonText(lang::MessageText("BtnCancel"));
    progress.setMinimumDuration(0);
    progress.setLabelText(lang::MessageNumbers("VideoProgress", {0, 0}));
    progress.show();
    const VideoExportOutcome outcome =
        ExportLectureVideo(course_, mp4, *pages, options, [&](uint64_t done, uint64_t total) {
            progress.setMaximum(static_cast<int>((total + 999) / 1000));
            progress.setValue(static_cast<int>(done / 1000));
            progress.setLabelText(lang::MessageNumbers(
                "VideoProgress", {static_cast<int>(done / 1000), static_cast<int>((total + 999) / 1000)}));
            QCoreApplication::processEvents();
            return !progress.wasCanceled();
        });
    progress.reset();
    LogEvent(QStringLiteral("export-video"), chosen);
    if (outcome.failure != VideoExportFailure::Cancelled) ShowMessage(VideoExportMessage(outcome, mp4));
}

}  // namespace tovra
