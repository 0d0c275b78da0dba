// The course view: the embedded browser that shows the open course, and the hub that owns it.
#pragma once

#include <QString>
#include <QStringList>
#include <QDeadlineTimer>
#include <QPoint>
#include <QWidget>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "media/audio_source.h"
#include "media/companion_writer.h"
#include "media/media_writer.h"
#include "media/recording_session.h"
#include "media/video_capture.h"
#include "view/pen.h"
#include "platform/slides/automation.h"

#include "course/course_project.h"
#include "platform/framework/command_router.h"
#include "platform/framework/message_box.h"
#include "view/command_states.h"
#include "view/main_window_access.h"

class QDialog;
class QMenu;
class QKeyEvent;
class QTreeWidget;

namespace tovra::browser {
class BrowserControl;
}

namespace tovra {

class BandwidthDialog;
class CreateCourseDialog;
class SetTitleDialog;

namespace shell {
class Profile;
}

class CMirovaView : public QWidget, public framework::CommandTarget {
    Q_OBJECT
public:
    explicit CMirovaView(QWidget* parent = nullptr);
    ~CMirovaView() override;

    // Runs once the window exists: builds the menu bar and shows the start page when no
    // course is open.
    void OnInitialUpdate();

    // The main window, once it exists; the view works without one (no tree, no menus).
    void SetMainWindow(MainWindowAccess* mainWindow) { mainFrame_ = mainWindow; }
    MainWindowAccess* MainWindow() const { return mainFrame_; }

    // Shows page n by the page's own script.
    void GoToPage(int n);
    void OnPrevPage();
    void OnNextPage();
    // Selects the item of the page on show in the page tree.
    void SyncTreeSelection();

    // Recording (32774 start or resume, 32776 pause, 32777 stop).
    void OnRecordStart();
    void OnRecordPause();
    void OnRecordStop();
    // A microphone buffer (null data when it was lost): the recording's clock.
    void OnAudioBuffer(const uint8_t* data, uint32_t length);
    // The camera frame thread's callback (bits of a 320 x 240 bottom-up frame, or none).
    static int OnVideoFrame(const uint8_t* bits, int reserved, void* view);
    // Cameras, menu bar: once, at the initial update, when the main window exists.
    void SetUpCapture();
    void OnVideoSource(int index);
    void OnVideoFormat();
    void OnSetBandwidth();
    // Set title (32808) and the course title script.
    void OnSetTitle();
    void WriteInfoScript();
    // The page tree bar was resized: the camera picture follows.
    void OnPreviewResized();
    // Pen on/off (32779) and colour (32832..32847); strokes of the page on show.
    void OnPen();
    void OnPenColour(int index);
    void ClearStrokes();
    const std::vector<StrokeRecord>& Strokes() const { return strokes_; }
    bool PenOn() const { return penOn_; }

    uint32_t ClockMs() const { return session_.ClockMs(); }
    uint32_t FrameCount() const { return session_.FrameCount(); }
    MediaWriter& Writer() { return writer_; }
    VideoCapture& Camera() { return video_; }
    const CompanionWriter& Companion() const { return companion_; }
    void SetAudioSource(std::unique_ptr<AudioSource> source) { audio_ = std::move(source); }
    void SetProfile(shell::Profile* profile) { profile_ = profile; }
    BandwidthDialog& Bandwidth() { return *bandwidthDialog_; }
    SetTitleDialog& TitleDialog() { return *setTitleDialog_; }

    // HTML editing of the page on show (32810 on/off, 57603 save and leave).
    void OnEditHtml();
    void OnSaveEdit();
    // Whether the page in the editor has changes that are not saved yet.
    bool EditorModified();
    // Before anything takes the editor page away: unsaved changes are saved or discarded as the
    // teacher answers, and the editor is left for page showPage (0: the edited page). False when
    // the teacher called it off or the save failed; the editor then stays with the edit.
    bool CloseEditor(int showPage = 0);
    // The same question without leaving the editor (a language switch reopens it).
    bool SettleEditorChanges();
    // Whether the main window may close now: false when the teacher kept an unsaved edit.
    bool QueryClose();
    // Whether another course may be opened or made now; says why not (a recording runs).
    bool MayLeaveCourse();
    // A language switch: asks first about an unsaved edit (false: keep the old language), then
    // shows the editor page of the new language.
    bool BeforeLanguageSwitch();
    void AfterLanguageSwitch();

    // File New (57600): a new course from the create-course dialog.
    void OnFileNew();
    // Page tree commands: add page (32811), delete page (32812), browse (32813).
    void OnAddPage();
    void OnDeletePage();
    void OnBrowse();

    // Replaces the items of the first submenu of the Edit menu with one per camera (at most 13).
    void FillVideoSourceMenu(QMenu* editMenu);
    // The capture device names the video-source menu lists.
    void SetVideoDevices(QStringList names) { videoDevices_ = std::move(names); }

    // Opens the course of the project file at path (absolute, UTF-8); false when it could not
    // be opened, and the course that was open then stays open. An opened course goes to the
    // recent files. Opening never writes the project file.
    bool ReadProjectFile(const std::string& path);
    // Rewrites the open course's project file.
    void WriteProjectFile();
    // File Open (command 57601).
    void OnFileOpen();
    void OnExportScorm();
    void OnExportVideo();

    // Runs a code-page script in the page on show; true when it ran without throwing.
    bool RunScript(const std::string& script);

    void OnTitleChange(const QString& title);
    void OnDocumentComplete(const QString& url);

    // The deck import works on the open course (its deckPath and folder); it returns whether it
    // succeeded. A replacement importer stands in for the whole import (tests of its callers).
    using DeckImporter = std::function<bool(CMirovaView&)>;
    void SetDeckImporter(DeckImporter importer) { importDeck_ = std::move(importer); }
    bool ImportDeck();
    // Where the import gets its slide-deck automation server; LibreOffice unless replaced. A
    // factory returning nullptr stands for an office suite that is not installed.
    using SlideServerFactory = std::function<std::unique_ptr<slides::Application>()>;
    void SetSlideServerFactory(SlideServerFactory factory) { slideServer_ = std::move(factory); }
    bool Importing() const { return importing_; }
    // The slide pictures of the last import still being drawn; null once all are in place.
    std::shared_ptr<slides::PictureJob> SlidePictures() const { return pictures_; }
    // Waits, with a progress dialog, until the pictures of the last import are all in place.
    void FinishSlidePictures();

    // How File Open asks for a file: given the dialog filter, returns the chosen path or empty.
    using FileChooser = std::function<QString(const QString& filter)>;
    void SetFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }
    // Where a file is to be written: the proposed path and the filter in, the chosen path out
    // (empty: cancelled). The system's save dialog unless replaced (tests).
    using SaveFileChooser = std::function<QString(const QString& proposed, const QString& filter)>;
    void SetSaveFileChooser(SaveFileChooser chooser) { chooseSaveFile_ = std::move(chooser); }

    // How modal dialogs are run; QDialog::exec unless replaced (tests fill and accept them).
    using DialogRunner = std::function<int(QDialog& dialog)>;
    void SetDialogRunner(DialogRunner runner) { runDialog_ = std::move(runner); }
    CreateCourseDialog& CourseDialog() { return *createDialog_; }

    // How Browse opens the course's start page; the desktop's default handler unless replaced.
    void SetOpenHandler(std::function<bool(const QString&)> open) { openExternal_ = std::move(open); }

    // Where ".lsn" files chosen in File Open are remembered (the recent-file list).
    void SetRecentFileSink(std::function<void(const QString&)> sink) { addToRecent_ = std::move(sink); }
    // Writes the unit and date of the open course beside its pages, where opening finds them.
    void WriteCourseDetails();

    CourseProject& Course() { return course_; }
    const CourseProject& Course() const { return course_; }
    const std::string& CourseLabel() const { return courseLabel_; }
    browser::BrowserControl& Browser() { return *browser_; }

    int16_t PageStep() const { return pageStep_; }
    bool Editing() const { return editing_; }
    RecordState State() const { return session_.State(); }

    // CommandTarget
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, framework::CommandState& state) override;
    bool HandlesCommand(int id) const override;

signals:
    void CourseOpened();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void customEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    // The open course as a whole, to put back when opening or importing another one fails.
    struct OpenCourseState {
        CourseProject course;
        std::string label;
    };
    OpenCourseState SaveOpenCourse() const { return {course_, courseLabel_}; }
    void RestoreOpenCourse(OpenCourseState state);
    bool ShowStartAddress();
    void AddToRecentFiles(const std::string& projectPath);
    void ReadCourseDetails();
    bool SaveEditedPage();
    void LeaveEditor(int showPage);
    framework::Answer Ask(const QString& text, std::vector<framework::Answer> answers, framework::Answer defaultAnswer,
                          framework::Answer escapeAnswer);
    void ShowCourseInTree();
    QTreeWidget* PageTree() const;
    void SetUpEditorPage(const QString& url);
    std::string SelectedItemLabel() const;
    void StopForWriteFailure();
    void CameraLost();
    void RecoverInterruptedRecording();
    bool PenMouseEvent(QEvent* event);
    QPoint StoredPoint(QPoint p) const;
    ViewCommandInputs CommandInputs() const;
    // The view's commands: an id, or a range of ids whose handler takes the offset into it. Their
    // states come from ViewCommandState.
    struct Command {
        int first;
        int last;
        void (*run)(CMirovaView& view, int offset);
    };
    static const Command* FindCommand(int id);
    int RunDialog(QDialog& dialog);
    void Navigate(const std::string& address);
    void ShowMessage(const QString& text);
    // Says that nothing can be written in folder, and why (errorNumber, or what a try finds).
    void ShowCannotWrite(const std::string& folder, int errorNumber = 0);
    QString ChooseFile(const QString& filter);
    QString ChooseSaveFile(const QString& proposed, const QString& filter);
    // A file for an export of the course: proposed beside its folder, with the extension made sure of.
    QString ChooseExportFile(const QString& extension, const QString& filter);
    void DrawSlidePicturesLater(std::shared_ptr<slides::PictureJob> job);
    void PreferSlidePicture(int number);

    CourseProject course_;
    std::string courseLabel_;  // label of the course item in the page tree (UTF-8)
    bool editing_ = false;
    int16_t pageStep_ = 0;

    // Recording.
    std::unique_ptr<AudioSource> audio_;
    VideoCapture video_;
    MediaWriter writer_;
    CompanionWriter companion_;  // video001.webm and video001.js beside the recording
    // The clock, the frame count, the last page and pointer written, and the one path of every
    // sample and command to both files.
    RecordingSession session_;
    std::string mediaPath_;
    bool viewClosing_ = false;
    int scriptDepth_ = 0;                  // page scripts running (their local event loops)
    std::optional<QString> pendingTitle_;  // a title reported meanwhile
    std::optional<QString> ownTitle_;      // the title the view last gave the page itself
    QDeadlineTimer ownTitleExpiry_;
    bool captureSetUp_ = false;
    bool cameraLost_ = false;  // said once a recording
    uint32_t frameBytes_ = 0;  // of the frames the camera hands the recording
    shell::Profile* profile_ = nullptr;
    BandwidthDialog* bandwidthDialog_ = nullptr;
    SetTitleDialog* setTitleDialog_ = nullptr;

    // Pen.
    bool penOn_ = false;
    int penColourIndex_ = 5;
    QPoint penLast_;
    std::vector<QPoint> strokePoints_;  // the stroke being drawn, stored coordinates
    std::vector<StrokeRecord> strokes_;
    PenOverlay* overlay_ = nullptr;

    browser::BrowserControl* browser_ = nullptr;
    MainWindowAccess* mainFrame_ = nullptr;
    QStringList videoDevices_;
    bool reopenEditor_ = false;  // a language switch took the editor away; it comes back
    bool swallowRelease_ = false;  // the press of this click only gave the page the focus
public:
    // The page keys pressed where the page does not take them (the tree, the bars): exactly one
    // page on (or back), or the first or last page. True when key is one of them.
    bool OnPageKey(int key);
private:
    CreateCourseDialog* createDialog_ = nullptr;  // a child of the view
    DialogRunner runDialog_;
    std::function<bool(const QString&)> openExternal_;
    DeckImporter importDeck_;
    SlideServerFactory slideServer_;
    bool importing_ = false;
    std::shared_ptr<slides::PictureJob> pictures_;
    FileChooser chooseFile_;
    SaveFileChooser chooseSaveFile_;
    std::function<void(const QString&)> addToRecent_;
};

// The browser address of a course's start page, "file://" + folder + "/web.files/fullscreen.htm",
// with "?open=<n>.html" for a blank course.
std::string CourseStartAddress(const CourseProject& course);

}  // namespace tovra
