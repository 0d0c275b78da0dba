// The lecture recording: start, pause and stop, the clock driven by the microphone's buffers,
// camera frames, and the index and title scripts.
#include <QCoreApplication>
#include <QCursor>
#include <QDateTime>
#include <QFileInfo>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <filesystem>
#include <system_error>
#include <thread>

#include "app/bandwidth_dialog.h"
#include "app/command_ids.h"
#include "app/set_title_dialog.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/browser/browser_control.h"
#include "view/course_scripts.h"
#include "view/event_log.h"
#include "view/mirova_view.h"
#include "view/title_texts.h"
#include "media/recording_sinks.h"

namespace tovra {

namespace {

constexpr uint32_t kFrameRate = RecordingSession::kFrameRate;

}  // namespace

// ---- start, pause, stop ----

namespace {

// Where a recording that a new one replaces is kept: "<course>/<kept folder>/<date and time>".
std::string KeptRecordingFolder(const std::string& courseFolder) {
    QString name = lang::MessageText("KeptFolder");
    if (name.isEmpty() || name.contains(QLatin1Char('/'))) name = QStringLiteral("Earlier recordings");
    return courseFolder + "/" + name.toStdString() + "/" +
           QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh.mm.ss")).toStdString();
}

// The files of one recording, in the web folder.
constexpr const char* kRecordingFiles[] = {"video001.wmv", "video001.webm", "video001.js", "CourseIndex.js",
                                           "video001.recording"};

bool MoveRecording(const std::string& webFolder, const std::string& keep) {
    std::error_code ec;
    std::filesystem::create_directories(keep, ec);
    if (ec) return false;
    for (const char* name : kRecordingFiles) {
        const std::filesystem::path from = std::filesystem::path(webFolder) / name;
        if (!std::filesystem::exists(from, ec)) continue;
        std::filesystem::rename(from, std::filesystem::path(keep) / name, ec);
        if (ec) return false;
    }
    return true;
}

}  // namespace

void CMirovaView::OnRecordStart() {
    if (State() == RecordState::Recording) return;
    // A recording shows the pages, not the editor: the edit is settled first, as the teacher says.
    if (!CloseEditor()) return;
    if (State() == RecordState::Paused) {
        session_.Resume();
        return;
    }
    const std::string web = course_.folder + "/web.files";
    // The microphone first: without one, nothing of the course is touched. A buffer is a quarter
    // second.
    if (!audio_->Open(RecordingSession::kBufferMs,
                      [this](const uint8_t* data, uint32_t length) { OnAudioBuffer(data, length); })) {
        ShowMessage(lang::MessageText("NoAudio"));
        return;
    }
    // A lecture already recorded is replaced only when the teacher says so, and then kept aside.
    if (QFileInfo::exists(QString::fromStdString(web + "/video001.wmv"))) {
        const std::string keep = KeptRecordingFolder(course_.folder);
        QString question = lang::MessageText("Rerecord");
        question.replace(QLatin1String("%s"), QString::fromStdString(keep));
        using framework::Answer;
        if (Ask(question, {Answer::Yes, Answer::No}, Answer::No, Answer::No) != Answer::Yes) {
            audio_->Close();
            return;
        }
        if (!MoveRecording(web, keep)) {
            audio_->Close();
            ShowCannotWrite(course_.folder);
            return;
        }
    }

    // The session is stopped until the end of this: the frame thread takes nothing meanwhile.
    mediaPath_ = web + "/video001.wmv";
    // The .wmv keeps its 8 kHz sound; the companion takes the microphone's own.
    const wmf::WaveFormatEx sound = RecordingSoundFormat();
    const wmf::WaveFormatEx captured = audio_->Format();
    // The companion shows the camera at VGA where it gives that; the .wmv's frames are made from
    // the same ones.
    const wmf::BitmapInfoHeader picture = CapturedPictureFormat(video_.CaptureWidth(), video_.CaptureHeight());
    frameBytes_ = picture.sizeImage;
    if (!writer_.Start(mediaPath_, RecordingPictureFormat(), kFrameRate, bandwidthDialog_->bandwidthKbps * 1000, &sound)) {
        audio_->Close();
        ShowCannotWrite(web);
        return;
    }
    // The same lecture for today's browsers, which play no Windows Media. Without it the
    // recording still goes on.
    const std::string companionBase = web + "/video001";
    if (!companion_.Start(companionBase + ".webm", companionBase + ".js", picture, kFrameRate, &captured)) {
        LogEvent(QStringLiteral("companion-failed"), QString::fromStdString(companionBase));
    }
    companion_.SetPositionSpace(course_.IsBlank() ? PositionSpace::View : PositionSpace::Slide);
    companion_.SetViewSize(0, width(), height());
    std::string indexHead = IndexHead(course_.unitName, course_.makeDate);
    if (QTreeWidgetItem* item = PageItem(PageTree(), course_.currentPage)) {
        indexHead += IndexFirstPageLine(PageTitleOf(item));
    }
    if (!session_.OpenFiles(web, web + "/CourseIndex.js", std::move(indexHead), IndexEnd())) {
        ShowCannotWrite(web);
        writer_.Close();
        companion_.Close();
        audio_->Close();
        return;
    }
    WriteInfoScript();
    WriteCourseDetails();
    cameraLost_ = false;
    // Without a camera the recording goes on with sound only; the teacher is told so.
    if (!video_.StartFrameThread(static_cast<int16_t>(picture.width), static_cast<int16_t>(picture.height),
                                 &CMirovaView::OnVideoFrame, this) || !video_.HasCaptureFrame()) {
        ShowMessage(lang::MessageText("NoVideo"));
    }
    session_.Start(std::make_unique<TeeSink>(std::make_unique<MediaWriterSink>(writer_, captured, picture),
                                             std::make_unique<CompanionSink>(companion_)),
                   pageStep_);
    strokePoints_.clear();
    // Another course cannot be opened or made meanwhile; the status bar says so.
    if (mainFrame_) mainFrame_->SetStatusText(lang::MessageText("Recording"));
    LogEvent(QStringLiteral("record-start"), QString::fromStdString(mediaPath_));
}

void CMirovaView::OnRecordPause() {
    if (State() != RecordState::Recording) return;
    session_.Pause();
    penOn_ = false;
    browser_->InputWidget()->unsetCursor();
}

void CMirovaView::OnRecordStop() {
    if (State() == RecordState::Stopped) return;
    penOn_ = false;
    // A file that could not be finished (a full disk) is finished at the next opening.
    session_.Stop();
    audio_->Close();
    video_.StopFrameThread();
    ClearStrokes();
    LogEvent(QStringLiteral("record-stop"), QString::number(ClockMs()));
    if (mainFrame_ && !viewClosing_) mainFrame_->SetStatusText(QString());
    if (!viewClosing_) {
        if (QWidget* input = browser_->InputWidget()) input->unsetCursor();
        update();
        browser_->Refresh();
    }
}

void CMirovaView::StopForWriteFailure() {
    OnRecordStop();
    ShowMessage(lang::MessageText("WriteFail"));
}

void CMirovaView::CameraLost() {
    if (State() == RecordState::Stopped || cameraLost_) return;
    // Said once; the recording goes on with sound and commands, and no pictures are made up.
    cameraLost_ = true;
    LogEvent(QStringLiteral("camera-lost"), QString::number(ClockMs()));
    const QString lost = lang::MessageText("CameraLost");
    ShowMessage(lost.isEmpty() ? lang::MessageText("NoVideo") : lost);
}

// ---- the clock ----

void CMirovaView::customEvent(QEvent* event) {
    if (event->type() == FrameThreadEvent::EventType()) {
        if (static_cast<FrameThreadEvent*>(event)->wParam == kCameraLost) CameraLost();
        return;
    }
    QWidget::customEvent(event);
}

void CMirovaView::OnAudioBuffer(const uint8_t* data, uint32_t length) {
    if (State() != RecordState::Recording) return;
    RecordingSession::Moment moment{course_.currentPage, pageStep_, std::nullopt};
    const QPoint at = mapFromGlobal(QCursor::pos());
    if (at.x() > 0 && at.y() > 0) {
        const QPoint position = course_.IsBlank() ? at : ToSlide(at, size());
        moment.pointer = SessionPoint{position.x(), position.y()};
    }
    const RecordingSession::BufferOutcome outcome = session_.OnAudioBuffer(data, length, moment);
    if (outcome.pagesWritten) pageStep_ = std::min<int16_t>(pageStep_, 99);

    if (outcome.pastLimit) {
        QTimer::singleShot(0, this, [this] { OnCommand(cmd::kRecordStop); });
        return;
    }
    // A recording that can no longer be written stops, keeping what it has, and says so once.
    if (State() == RecordState::Recording &&
        (outcome.failure || !QFileInfo::exists(QString::fromStdString(mediaPath_)))) {
        StopForWriteFailure();
    }
}

int CMirovaView::OnVideoFrame(const uint8_t* bits, int, void* user) {
    auto* view = static_cast<CMirovaView*>(user);
    if (view->State() != RecordState::Recording) return 1;
    if (!bits) return 0;
    // A session that stopped meanwhile ends the frames; one past the limit waits for the stop.
    return view->session_.OnVideoFrame(bits, view->frameBytes_) || view->State() == RecordState::Recording ? 0 : 1;
}

// ---- title scripts ----

std::string CMirovaView::SelectedItemLabel() const {
    QTreeWidget* tree = PageTree();
    QTreeWidgetItem* selected = tree ? tree->currentItem() : nullptr;
    return selected ? (selected->parent() ? PageTitleOf(selected) : selected->text(0).toStdString()) : "null";
}

void CMirovaView::WriteInfoScript() {
    const std::string path = course_.folder + "/web.files/info.js";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return;
    const std::string script = InfoScript(course_.courseName, course_.teacherName);
    std::fwrite(script.data(), 1, script.size(), file);
    std::fclose(file);
}

void CMirovaView::OnSetTitle() {
    SetTitleDialog& dialog = *setTitleDialog_;
    CopyTitleTexts(course_, dialog);
    if (RunDialog(dialog) != QDialog::Accepted) return;
    const bool namesChanged = dialog.courseName != course_.courseName || dialog.teacherName != course_.teacherName;
    CopyTitleTexts(dialog, course_);
    WriteInfoScript();
    WriteCourseDetails();
    // The project file holds the name and the lecturer: a change is saved at once.
    if (namesChanged) WriteProjectFile();
}

}  // namespace tovra
