// The course view: opening courses, the start page and the page-number protocol of the pages.
#include "view/mirova_view.h"

#include <QFileDialog>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <QResizeEvent>
#include <QTreeWidget>
#include <QDeadlineTimer>
#include <QFileInfo>
#include <QTimer>
#include <QVBoxLayout>
#include <cerrno>
#include <unistd.h>

#include "app/command_ids.h"
#include "app/bandwidth_dialog.h"
#include "app/create_course_dialog.h"
#include "app/set_title_dialog.h"
#include "media/audio_capture.h"
#include "view/course_scripts.h"
#include "course/course_folder.h"
#include "course/deck_import.h"
#include "course/project_file.h"
#include "course/page_tree_bar.h"
#include "course/project_open.h"
#include "media/recording_recovery.h"
#include "view/course_scripts.h"
#include <QSignalBlocker>
#include "lang/language_table.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "platform/text/code_page.h"
#include "view/event_log.h"

namespace tovra {
namespace {

constexpr char kStartPageTail[] = "/web.files/fullscreen.htm";

QString FromCodePage(const std::string& bytes) { return QString::fromStdU16String(text::FromCodePage(bytes)); }

std::string FullscreenAddress(const CourseProject& course) { return "file://" + course.folder + kStartPageTail; }

}  // namespace

std::string CourseStartAddress(const CourseProject& course) {
    std::string address = FullscreenAddress(course);
    if (course.IsBlank()) address += "?open=" + std::to_string(course.currentPage) + ".html";
    return address;
}

CMirovaView::CMirovaView(QWidget* parent)
    : QWidget(parent),
      session_({[this](uint32_t clockMs) {
                    if (mainFrame_) mainFrame_->SetElapsedTime(clockMs);
                },
                // From the frame thread: the stop is the view's.
                [this] { QMetaObject::invokeMethod(this, [this] { OnCommand(cmd::kRecordStop); }, Qt::QueuedConnection); }}),
      browser_(new browser::BrowserControl(this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(browser_);
    connect(browser_, &browser::BrowserControl::TitleChange, this, &CMirovaView::OnTitleChange);
    connect(browser_, &browser::BrowserControl::DocumentComplete, this, &CMirovaView::OnDocumentComplete);
    browser_->SetInputFilter(this);
    createDialog_ = new CreateCourseDialog(this);
    bandwidthDialog_ = new BandwidthDialog(this);
    setTitleDialog_ = new SetTitleDialog(this);
    audio_ = std::make_unique<AudioCapture>();
    overlay_ = new PenOverlay(this);
    overlay_->SetStrokes(&strokes_, false);
    overlay_->raise();
}

CMirovaView::~CMirovaView() {
    viewClosing_ = true;
    OnRecordStop();
    video_.StopPreview();
    video_.ReleaseGraph();
    ClearStrokes();
}

void CMirovaView::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    overlay_->setGeometry(rect());
    overlay_->raise();
    // Blank courses record positions in view pixels: the player needs to know the view's size.
    if (State() != RecordState::Stopped) companion_.SetViewSize(ClockMs(), width(), height());
}

void CMirovaView::OnInitialUpdate() {
    SetUpCapture();
    // A course opened from the command line is already on its way to the browser.
    if (course_.pageCount == 0 && !course_.IsOpen()) Navigate(lang::LanguageFolder() + "/help.htm");
}

void CMirovaView::Navigate(const std::string& address) {
    LogEvent(QStringLiteral("navigate"), QString::fromStdString(address));
    browser_->Navigate2(QString::fromStdString(address));
}

void CMirovaView::ShowMessage(const QString& text) {
    LogEvent(QStringLiteral("message"), QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")));
    framework::Messages().Show(this, text);
}

void CMirovaView::ShowCannotWrite(const std::string& folder, int errorNumber) {
    if (errorNumber == 0) errorNumber = FolderWriteError(folder);
    if (errorNumber == 0) errorNumber = EIO;  // writable now: the write itself failed
    ShowMessage(lang::MessageWith("CannotWrite", {QString::fromStdString(folder), lang::SystemReason(errorNumber)}));
}

bool CMirovaView::RunScript(const std::string& script) {
    // The engine reports title changes while the script runs; they are handled once the caller
    // has taken in the script's own page turn, as they would arrive after it.
    ++scriptDepth_;
    const bool ran = browser_->RunScript(FromCodePage(script));
    --scriptDepth_;
    if (scriptDepth_ == 0 && pendingTitle_) {
        QTimer::singleShot(0, this, [this] {
            if (!pendingTitle_ || scriptDepth_ > 0) return;
            const QString title = *pendingTitle_;
            pendingTitle_.reset();
            OnTitleChange(title);
        });
    }
    return ran;
}

bool CMirovaView::MayLeaveCourse() {
    if (State() == RecordState::Stopped) return true;
    ShowMessage(lang::MessageText("StopFirst"));
    return false;
}

bool CMirovaView::ReadProjectFile(const std::string& path) {
    LogEvent(QStringLiteral("read-project"), QString::fromStdString(path));
    // The recording's index would get the other course's pages.
    if (!MayLeaveCourse()) return false;
    OpenedProject opened = LoadProjectFile(path);
    // A file that cannot be opened leaves the open course open and untouched: a later save must
    // not write it with anything of the other file.
    switch (opened.outcome) {
        case OpenedProject::Outcome::FailedOpen: {
            const int why = ::access(path.c_str(), R_OK) == 0 ? EISDIR : errno;
            ShowMessage(lang::MessageWith("CannotRead", {QString::fromStdString(path), lang::SystemReason(why)}));
            return false;
        }
        case OpenedProject::Outcome::Rejected:
            ShowMessage(lang::MessageText("ErrFile"));
            return false;
        case OpenedProject::Outcome::BadPath:
            ShowMessage(QString::fromStdString(path));
            return false;
        case OpenedProject::Outcome::ImportRequest:
        case OpenedProject::Outcome::Opened:
            break;
    }
    // The page in the editor goes first, with its changes as the teacher says.
    if (!CloseEditor()) return false;
    // What an interrupted save left behind is removed; the project file itself is not written.
    RemoveStaleTemporaries(path);

    const bool importRequest = opened.outcome == OpenedProject::Outcome::ImportRequest;
    OpenCourseState previous = SaveOpenCourse();
    // The dialog-only fields belong to the create-course dialog and outlive the course, unless
    // the course keeps its own.
    opened.project.unitName = course_.unitName;
    opened.project.makeDate = course_.makeDate;
    // Once set, the pending import stays for the rest of the run.
    opened.project.deckImportPending = opened.project.deckImportPending || course_.deckImportPending;
    course_ = std::move(opened.project);
    courseLabel_ = std::move(opened.courseLabel);
    pageStep_ = 0;
    session_.ForgetLoggedStep();
    editing_ = false;
    ReadCourseDetails();

    ShowCourseInTree();
    if (importRequest) {
        // The deck is imported once the reader has returned, as File Open would.
        QTimer::singleShot(0, this, [this, path, previous = std::move(previous)]() mutable {
            if (!course_.deckImportPending || course_.deckPath.empty()) return;
            if (ImportDeck()) {
                Navigate(FullscreenAddress(course_));
                AddToRecentFiles(path);
            } else {
                RestoreOpenCourse(std::move(previous));
            }
        });
        emit CourseOpened();
        return true;
    }
    if (!ShowStartAddress()) {
        RestoreOpenCourse(std::move(previous));
        return false;
    }
    AddToRecentFiles(path);
    RecoverInterruptedRecording();
    emit CourseOpened();
    return true;
}

void CMirovaView::RecoverInterruptedRecording() {
    const std::string web = course_.folder + "/web.files";
    if (!RecordingWasInterrupted(web)) return;
    LogEvent(QStringLiteral("recover"), QString::fromStdString(web));
    const RecoveredRecording recovered = RecoverRecording(
        web, course_.IsBlank() ? PositionSpace::View : PositionSpace::Slide,
        {0, std::max(width(), 1), std::max(height(), 1)});
    // The page index gets its end, which a recording of an earlier version wrote only at the stop.
    std::string index;
    const std::string indexPath = web + "/CourseIndex.js";
    const std::string end = IndexEnd();
    if (ReadWholeFile(indexPath, kMaxProjectFileBytes, index) == ReadFileResult::Ok &&
        index.compare(index.size() >= end.size() ? index.size() - end.size() : 0, std::string::npos, end) != 0) {
        WriteFileAtomically(indexPath, index + end);
    }
    if (!recovered.media) return;
    const uint32_t seconds = static_cast<uint32_t>((recovered.durationMs + 500) / 1000);
    QString text = lang::MessageText("Recovered");
    text.replace(QLatin1String("%s"), QStringLiteral("%1:%2").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0')));
    ShowMessage(text);
}

void CMirovaView::RestoreOpenCourse(OpenCourseState state) {
    LogEvent(QStringLiteral("restore-course"), QString::fromStdString(state.course.ProjectFilePath()));
    course_ = std::move(state.course);
    courseLabel_ = std::move(state.label);
    pageStep_ = 0;
    session_.ForgetLoggedStep();
    ShowCourseInTree();
    emit CourseOpened();
}

void CMirovaView::AddToRecentFiles(const std::string& projectPath) {
    if (addToRecent_) addToRecent_(QString::fromStdString(projectPath));
}

void CMirovaView::ReadCourseDetails() {
    CourseDetails details;
    std::string bytes;
    const bool found =
        (ReadWholeFile(CourseDetailsScriptPath(course_.folder), 64 * 1024, bytes) == ReadFileResult::Ok &&
         ParseCourseDetailsScript(bytes, details)) ||
        // A course recorded before the details had a file of their own keeps them in its index.
        (ReadWholeFile(course_.folder + "/web.files/CourseIndex.js", kMaxProjectFileBytes, bytes) ==
             ReadFileResult::Ok &&
         CourseDetailsFromIndex(bytes, details));
    if (!found) return;
    course_.unitName = std::move(details.unitName);
    course_.makeDate = std::move(details.makeDate);
}

void CMirovaView::WriteCourseDetails() {
    if (course_.folder.empty() || !QFileInfo(QString::fromStdString(course_.folder + "/web.files")).isDir()) return;
    WriteFileAtomically(CourseDetailsScriptPath(course_.folder),
                        FormatCourseDetailsScript({course_.unitName, course_.makeDate}));
}

framework::Answer CMirovaView::Ask(const QString& text, std::vector<framework::Answer> answers,
                                   framework::Answer defaultAnswer, framework::Answer escapeAnswer) {
    using framework::Answer;
    std::vector<framework::Choice> choices;
    for (Answer answer : answers) {
        const char* key = answer == Answer::Yes       ? "BtnYes"
                          : answer == Answer::No      ? "BtnNo"
                          : answer == Answer::Save    ? "BtnSave"
                          : answer == Answer::Discard ? "BtnDiscard"
                                                      : "BtnCancel";
        choices.push_back({answer, lang::MessageText(key)});
    }
    LogEvent(QStringLiteral("question"), QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")));
    return framework::Messages().Ask(this, text, choices, defaultAnswer, escapeAnswer);
}

void CMirovaView::ShowCourseInTree() {
    QTreeWidget* tree = mainFrame_ ? mainFrame_->PageTree() : nullptr;
    if (!tree) return;
    RemoveCourseItem(tree);
    if (!course_.IsOpen() || courseLabel_.empty()) return;  // an import request has no course item yet
    QTreeWidgetItem* courseItem = AddCourseItem(tree, QString::fromStdString(courseLabel_));
    QTreeWidgetItem* shown = nullptr;
    const QString hiddenNote = lang::MessageText("HiddenSlide");
    for (const CoursePage& page : course_.pages) {
        QTreeWidgetItem* item = AddPageItem(courseItem, page, hiddenNote);
        if (!shown && page.number != 0 && static_cast<int16_t>(page.number) == course_.currentPage) shown = item;
    }
    // Selecting runs the tree's selection handler, which finds this page already on show.
    if (shown) tree->setCurrentItem(shown);
    courseItem->setExpanded(true);
}

void CMirovaView::GoToPage(int n) {
    if (n != 0 && n == course_.currentPage) return;
    PreferSlidePicture(n);
    if (editing_) {
        // A page chosen while one is in the editor: the editor goes first, and it is left
        // straight for the chosen page. Called off, the tree goes back to the edited page.
        if (n == 0 || !CloseEditor(n)) {
            QTimer::singleShot(0, this, [this] {
                QTreeWidget* tree = PageTree();
                QTreeWidgetItem* item = PageItem(tree, course_.currentPage);
                if (!item || tree->currentItem() == item) return;
                const QSignalBlocker block(tree);
                tree->setCurrentItem(item);
            });
            return;
        }
        pageStep_ = 0;
        session_.ForgetLoggedStep();
    } else if (RunScript("try {GoToSldNum(" + std::to_string(n) + ");}catch(e){}")) {
        pageStep_ = 0;
        course_.currentPage = static_cast<int16_t>(n);
        session_.ForgetLoggedStep();
    }
    // Logged even when the page script failed.
    if (State() == RecordState::Recording) session_.AddIndexLine(IndexPageLine(SelectedItemLabel(), ClockMs()));
    ClearStrokes();
}

bool CMirovaView::eventFilter(QObject* watched, QEvent* event) {
    // Everything bound for the page passes here first.
    if (editing_) return QWidget::eventFilter(watched, event);
    if (PenMouseEvent(event)) return true;
    // Clicks on a page number beyond the course's pages never reach that page.
    const bool pageOutOfRange = course_.pageCount != 0 && course_.currentPage > course_.pageCount;
    switch (event->type()) {
        case QEvent::KeyPress:
            switch (static_cast<QKeyEvent*>(event)->key()) {
                case Qt::Key_Escape:
                    // Esc leaves a show; F5 (View › Show) starts one.
                    if (mainFrame_) mainFrame_->PostCommand(cmd::kEndShow);
                    break;
                case Qt::Key_Space:
                case Qt::Key_Return:
                case Qt::Key_Enter:
                case Qt::Key_PageDown:
                case Qt::Key_Right:
                case Qt::Key_Down:
                    pageStep_ = std::min<int16_t>(pageStep_ + 1, 99);
                    break;
                case Qt::Key_Backspace:
                case Qt::Key_PageUp:
                case Qt::Key_Left:
                case Qt::Key_Up:
                    pageStep_ = std::max<int16_t>(pageStep_ - 1, 0);
                    break;
                default:
                    break;
            }
            break;  // the key goes on to the page, which turns slides or steps by itself
        case QEvent::MouseButtonPress: {
            const auto button = static_cast<QMouseEvent*>(event)->button();
            if (button == Qt::RightButton) return true;
            if (button == Qt::LeftButton && pageOutOfRange) return true;
            // A click that gives the page the focus only does that: a slide would turn by it.
            if (button == Qt::LeftButton && watched->isWidgetType() && !static_cast<QWidget*>(watched)->hasFocus()) {
                static_cast<QWidget*>(watched)->setFocus(Qt::MouseFocusReason);
                swallowRelease_ = true;
                return true;
            }
            break;
        }
        case QEvent::MouseButtonRelease: {
            auto* mouse = static_cast<QMouseEvent*>(event);
            if (mouse->button() == Qt::LeftButton && swallowRelease_) {
                swallowRelease_ = false;
                return true;
            }
            if (mouse->button() == Qt::LeftButton) {
                if (pageOutOfRange) return true;
                ++pageStep_;  // bounded when it is logged
                break;
            }
            if (mouse->button() != Qt::RightButton) break;
            if (mainFrame_) mainFrame_->TrackPopupMenu(137, 0, "Class_R", mouse->globalPosition().toPoint());
            return true;
        }
        case QEvent::ContextMenu:
            return true;  // the page's own context menu would hide ours
        default:
            break;
    }
    return QWidget::eventFilter(watched, event);
}

void CMirovaView::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && mainFrame_) mainFrame_->PostCommand(cmd::kEndShow);
    if (event->text() == QLatin1String(" ")) ++pageStep_;
    QWidget::keyPressEvent(event);
}

bool CMirovaView::ShowStartAddress() {
    editing_ = false;
    if (course_.IsBlank()) {
        Navigate(CourseStartAddress(course_));
        return true;
    }
    // An imported course whose slide pages are gone is imported again; when that fails the
    // project file stays as it was.
    if (!QFileInfo::exists(QString::fromStdString(course_.folder + kStartPageTail)) && !ImportDeck()) return false;
    Navigate(FullscreenAddress(course_));
    return true;
}

void CMirovaView::WriteProjectFile() {
    // The page tree is where the page list is changed; the file follows it (no course item, no pages).
    if (QTreeWidget* tree = PageTree()) course_.pages = PagesFromTree(tree);
    const std::string path = course_.ProjectFilePath();
    if (course_.projectFileName.empty() || !WriteFileAtomically(path, FormatProjectFile(course_))) {
        ShowCannotWrite(course_.folder, errno);
        return;
    }
    LogEvent(QStringLiteral("write-project"), QString::fromStdString(path));
    // The player's page list; a course folder without a web site gets none.
    if (QFileInfo(QString::fromStdString(course_.folder + "/web.files")).isDir()) {
        const std::string pages = FormatCoursePagesScript(course_.pages);
        WriteFileAtomically(CoursePagesScriptPath(course_.folder), pages);
        // The viewer on show read the list when it loaded; it gets the new one at once (without
        // waiting: nothing depends on the answer).
        if (course_.IsBlank() && !editing_) browser_->View()->page()->runJavaScript(QString::fromStdString(pages));
    }
}

QString CMirovaView::ChooseFile(const QString& filter) {
    if (chooseFile_) return chooseFile_(filter);
    return QFileDialog::getOpenFileName(this, QString(), QString(), filter);
}

void CMirovaView::OnFileOpen() {
    if (!MayLeaveCourse()) return;
    if (course_.deckImportPending && !course_.deckPath.empty()) {
        if (ImportDeck()) Navigate(FullscreenAddress(course_));
        return;
    }
    const QString deck = DeckFileFilter();
    const QString filter =
        course_.deckImportPending
            ? deck
            : lang::MessageWith("FilterCourse", {}, QStringLiteral("Tovra (*.lsn)")) + QStringLiteral(";;") + deck;
    const QString chosen = ChooseFile(filter);
    if (chosen.isEmpty()) return;

    // Case-sensitive, as the file system is: "Course.LSN" is not a project file.
    if (chosen.endsWith(QLatin1String(".lsn"))) {
        ReadProjectFile(chosen.toStdString());
    } else if (slides::IsDeckFileName(chosen.toStdString())) {
        if (course_.projectFileName.empty()) {
            ShowMessage(lang::MessageText("NoPrj"));
            return;
        }
        if (!CloseEditor()) return;
        OpenCourseState previous = SaveOpenCourse();
        course_.deckPath = chosen.toStdString();
        // A deck that cannot be imported leaves the course as it was.
        if (ImportDeck()) {
            Navigate(FullscreenAddress(course_));
        } else {
            RestoreOpenCourse(std::move(previous));
        }
    } else {
        ShowMessage(lang::MessageText("NoType") + chosen);
    }
}

bool CMirovaView::QueryClose() {
    if (!CloseEditor()) return false;
    // A recording is finished whole, so that every file plays to its end.
    OnRecordStop();
    // And the slide pictures, so that the course shows every slide when opened again.
    FinishSlidePictures();
    return true;
}

bool CMirovaView::BeforeLanguageSwitch() {
    if (!SettleEditorChanges()) return false;
    reopenEditor_ = editing_;
    return true;
}

void CMirovaView::AfterLanguageSwitch() {
    if (State() != RecordState::Stopped && mainFrame_) mainFrame_->SetStatusText(lang::MessageText("Recording"));
    // The start page of the new language, when no course is on show.
    if (!course_.IsOpen()) {
        Navigate(lang::LanguageFolder() + "/help.htm");
        return;
    }
    if (!reopenEditor_) return;
    reopenEditor_ = false;
    // The editor page of the new language, on the page as its file now reads.
    editing_ = false;
    OnEditHtml();
}

void CMirovaView::OnTitleChange(const QString& title) {
    if (scriptDepth_ > 0) {
        pendingTitle_ = title;
        return;
    }
    LogEvent(QStringLiteral("title"), title);
    if (ownTitle_ && title == *ownTitle_ && !ownTitleExpiry_.hasExpired()) {
        ownTitle_.reset();
        ClearStrokes();
        return;
    }
    // The editor page takes the title of the page it edits; whatever that says is no page turn.
    if (editing_) return;
    const qsizetype at = title.indexOf(QLatin1String("PAGE:"));
    if (at < 0) return;
    const int number = LeadingNumber(title.mid(at + 5).toStdString());
    if (number != course_.currentPage) {
        course_.currentPage = static_cast<int16_t>(number);
        pageStep_ = 0;
        session_.ForgetLoggedStep();
        SyncTreeSelection();
    }
    ClearStrokes();
}

void CMirovaView::OnDocumentComplete(const QString& url) {
    LogEvent(QStringLiteral("document-complete"), url);
    if (editing_) {
        SetUpEditorPage(url);
        return;
    }
    if (course_.pageCount == 0) return;
    if (!course_.IsBlank()) {
        RunScript("parent.document.title='PAGE:'+GetCurSldNum();parent.gLoopCont=1;");
    } else {
        // The view tells the page its own number; the engine reports the title later, possibly
        // after the view has turned on, so that echo is recognised and not taken as news.
        const std::string title = "PAGE:" + std::to_string(course_.currentPage);
        ownTitle_ = QString::fromStdString(title);
        ownTitleExpiry_ = QDeadlineTimer(3000);
        RunScript("parent.document.title='" + title + "';");
    }
}

const CMirovaView::Command* CMirovaView::FindCommand(int id) {
    using V = CMirovaView;
    static constexpr Command kCommands[] = {
        {cmd::kFileNew, cmd::kFileNew, [](V& v, int) { v.OnFileNew(); }},
        {cmd::kFileOpen, cmd::kFileOpen, [](V& v, int) { v.OnFileOpen(); }},
        {cmd::kExportScorm, cmd::kExportScorm, [](V& v, int) { v.OnExportScorm(); }},
        {cmd::kExportVideo, cmd::kExportVideo, [](V& v, int) { v.OnExportVideo(); }},
        {cmd::kPrevPage, cmd::kPrevPage, [](V& v, int) { v.OnPrevPage(); }},
        {cmd::kNextPage, cmd::kNextPage, [](V& v, int) { v.OnNextPage(); }},
        {cmd::kAddPage, cmd::kAddPage, [](V& v, int) { v.OnAddPage(); }},
        {cmd::kDeletePage, cmd::kDeletePage, [](V& v, int) { v.OnDeletePage(); }},
        {cmd::kBrowse, cmd::kBrowse, [](V& v, int) { v.OnBrowse(); }},
        {cmd::kEditHtml, cmd::kEditHtml, [](V& v, int) { v.OnEditHtml(); }},
        {cmd::kFileSave, cmd::kFileSave, [](V& v, int) { v.OnSaveEdit(); }},
        {cmd::kRecordStart, cmd::kRecordStart, [](V& v, int) { v.OnRecordStart(); }},
        {cmd::kRecordPause, cmd::kRecordPause, [](V& v, int) { v.OnRecordPause(); }},
        {cmd::kRecordStop, cmd::kRecordStop, [](V& v, int) { v.OnRecordStop(); }},
        {cmd::kVideoFormat, cmd::kVideoFormat, [](V& v, int) { v.OnVideoFormat(); }},
        {cmd::kSetBandwidth, cmd::kSetBandwidth, [](V& v, int) { v.OnSetBandwidth(); }},
        {cmd::kSetTitle, cmd::kSetTitle, [](V& v, int) { v.OnSetTitle(); }},
        {cmd::kPen, cmd::kPen, [](V& v, int) { v.OnPen(); }},
        {cmd::kPenColourFirst, cmd::kPenColourLast, [](V& v, int i) { v.OnPenColour(i); }},
        {cmd::kVideoSourceFirst, cmd::kVideoSourceLast, [](V& v, int i) { v.OnVideoSource(i); }},
    };
    for (const Command& command : kCommands) {
        if (id >= command.first && id <= command.last) return &command;
    }
    return nullptr;
}

bool CMirovaView::HandlesCommand(int id) const { return FindCommand(id) != nullptr; }

bool CMirovaView::OnCommand(int id) {
    const Command* command = FindCommand(id);
    if (!command) return false;
    command->run(*this, id - command->first);
    return true;
}

ViewCommandInputs CMirovaView::CommandInputs() const {
    ViewCommandInputs in;
    in.blankCourse = course_.IsBlank();
    in.pageCount = course_.pageCount;
    in.currentPage = course_.currentPage;
    if (!course_.IsBlank()) {
        in.prevShown = static_cast<int16_t>(StepShownSlide(course_.pages, course_.pageCount, course_.currentPage, -1));
        in.nextShown = static_cast<int16_t>(StepShownSlide(course_.pages, course_.pageCount, course_.currentPage, 1));
    }
    in.recordState = State();
    in.editing = editing_;
    in.deckImportPending = course_.deckImportPending;
    if (course_.IsOpen()) {
        const QString web = QString::fromStdString(course_.folder) + QStringLiteral("/web.files/video001.");
        in.hasRecording = QFileInfo::exists(web + QStringLiteral("wmv")) || QFileInfo::exists(web + QStringLiteral("webm"));
    }
    in.penOn = penOn_;
    in.penColourIndex = penColourIndex_;
    in.selectedDevice = video_.SelectedIndex();
    return in;
}

bool CMirovaView::OnUpdateCommand(int id, framework::CommandState& state) {
    return HandlesCommand(id) && ViewCommandState(id, CommandInputs(), state);
}

}  // namespace tovra
