// The view's page commands: new course, page turning, and the page tree's add, delete and browse.
#include <QDir>
#include <cerrno>
#include <sys/stat.h>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <filesystem>
#include <system_error>
#include <vector>

#include "app/create_course_dialog.h"
#include "course/course_folder.h"
#include "course/deck_import.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/shell/open_default.h"
#include "course/project_file.h"
#include "course/replaced_course.h"
#include "view/course_scripts.h"
#include "view/event_log.h"
#include "view/mirova_view.h"
#include "view/title_texts.h"

namespace tovra {

namespace fs = std::filesystem;

std::string DefaultPageTitle(int n) {
    std::string format = lang::Message("Page");
    const size_t at = format.find("%d");
    if (at == std::string::npos) return format + std::to_string(n);
    return format.replace(at, 2, std::to_string(n));
}

QTreeWidget* CMirovaView::PageTree() const { return mainFrame_ ? mainFrame_->PageTree() : nullptr; }

int CMirovaView::RunDialog(QDialog& dialog) { return runDialog_ ? runDialog_(dialog) : dialog.exec(); }

void CMirovaView::OnFileNew() {
    if (course_.deckImportPending || !MayLeaveCourse()) return;
    CreateCourseDialog& dialog = *createDialog_;
    std::string folder;
    bool replace = false;
    for (;;) {
        if (RunDialog(dialog) != QDialog::Accepted) return;
        std::string saveFolder = dialog.saveFolder;
        if (!saveFolder.empty() && saveFolder.back() == '/') saveFolder.pop_back();
        folder = saveFolder + "/" + dialog.courseFileName;
        if (!HoldsCourse(folder)) break;
        // A course already there is replaced only when the teacher says so; No goes back to the
        // dialog with what they typed.
        QString question = lang::MessageText("Replace");
        question.replace(QLatin1String("%s"), QString::fromStdString(folder));
        using framework::Answer;
        if (Ask(question, {Answer::Yes, Answer::No}, Answer::No, Answer::No) == Answer::Yes) {
            replace = true;
            break;
        }
        dialog.KeepFieldsAtNextOpening();
    }
    // The page in the editor goes first, with its changes as the teacher says.
    if (!CloseEditor()) return;

    OpenCourseState previous = SaveOpenCourse();
    const QString folderText = QString::fromStdString(folder);
    // One level only: the save folder itself must exist.
    const bool existed = QFileInfo(folderText).isDir();
    if (!existed && ::mkdir(folder.c_str(), 0777) != 0) {
        const int why = errno;
        // The folder the course would go in is the one that refused it.
        ShowCannotWrite(folder.substr(0, folder.rfind('/')), why);
        return;
    }
    ReplacedCourse replaced;
    if (replace && !replaced.MoveAside(folder)) {
        ShowCannotWrite(folder);
        return;
    }
    CopyTitleTexts(dialog, course_);
    course_.storedCourseName.clear();
    course_.storedTeacherName.clear();
    course_.folder = folder;
    course_.deckPath = dialog.deckPath;
    course_.projectFileName = dialog.courseFileName + ".lsn";
    LogEvent(QStringLiteral("file-new"), QString::fromStdString(course_.ProjectFilePath()));

    if (!course_.deckPath.empty()) {
        if (!ImportDeck()) {
            // Nothing of a deck that cannot be imported stays: the course that was open stays
            // open, and a folder made for it goes again.
            RestoreOpenCourse(std::move(previous));
            std::error_code ec;
            if (!existed) fs::remove_all(folder, ec);
            return;
        }
        replaced.Drop();
        Navigate(CourseStartAddress(course_));
        AddToRecentFiles(course_.ProjectFilePath());
        return;
    }
    QTreeWidget* tree = PageTree();
    if (!tree) return;
    CopyWebTemplate(lang::LanguageFolder(), course_.folder, true);
    RemoveCourseItem(tree);
    courseLabel_ = dialog.courseFileName;
    QTreeWidgetItem* courseItem = AddCourseItem(tree, QString::fromStdString(courseLabel_));
    course_.pages = {{1, DefaultPageTitle(1)}};
    QTreeWidgetItem* first = AddPageItem(courseItem, course_.pages[0]);
    tree->setCurrentItem(first);
    courseItem->setExpanded(true);
    course_.currentPage = 1;
    course_.pageCount = 1;
    Navigate(CourseStartAddress(course_));
    editing_ = false;
    pageStep_ = 0;
    session_.ForgetLoggedStep();
    WriteProjectFile();
    WriteCourseDetails();
    replaced.Drop();
    AddToRecentFiles(course_.ProjectFilePath());
    emit CourseOpened();
    // A new blank course opens in the editor on page 1.
    OnEditHtml();
}

namespace {

// The neighbouring page in the tree. While a page is in the editor the tree's selection handler
// must not run before the teacher has answered about the edit: GoToPage asks.
int StepBlankPage(QTreeWidget* tree, int direction, int currentPage, bool editing) {
    const QSignalBlocker block(editing ? tree : nullptr);
    return StepPage(tree, direction, currentPage);
}

}  // namespace

bool CMirovaView::OnPageKey(int key) {
    switch (key) {
        case Qt::Key_PageDown:
        case Qt::Key_Right:
        case Qt::Key_Down:
            OnNextPage();
            return true;
        case Qt::Key_PageUp:
        case Qt::Key_Left:
        case Qt::Key_Up:
            OnPrevPage();
            return true;
        case Qt::Key_Home:
        case Qt::Key_End: {
            QTreeWidget* tree = PageTree();
            QTreeWidgetItem* course = CourseItem(tree);
            if (!course || course->childCount() == 0) return true;
            QTreeWidgetItem* item = course->child(key == Qt::Key_Home ? 0 : course->childCount() - 1);
            if (!course_.IsBlank()) {
                // A show starts and ends on a slide it shows.
                const int number = key == Qt::Key_Home
                                       ? StepShownSlide(course_.pages, course_.pageCount, 0, 1)
                                       : StepShownSlide(course_.pages, course_.pageCount, course_.pageCount + 1, -1);
                if (QTreeWidgetItem* shown = PageItem(tree, number)) item = shown;
            }
            tree->setCurrentItem(item);  // the tree's selection shows the page
            return true;
        }
        default:
            return false;
    }
}

void CMirovaView::OnPrevPage() {
    if (course_.IsBlank()) {
        const int n = StepBlankPage(PageTree(), -1, course_.currentPage, editing_);
        if (n > 0) GoToPage(n);
        return;
    }
    // The page frame's own turn passes over hidden slides as this does.
    const int previous = StepShownSlide(course_.pages, course_.pageCount, course_.currentPage, -1);
    if (previous < 1) return;
    if (State() == RecordState::Recording) session_.AddIndexLine(IndexPageLine(SelectedItemLabel(), ClockMs()));
    PreferSlidePicture(previous);
    if (RunScript("GoToPrevSld();")) {
        course_.currentPage = static_cast<int16_t>(previous);
        pageStep_ = 0;
        session_.ForgetLoggedStep();
        SyncTreeSelection();
    }
}

void CMirovaView::OnNextPage() {
    if (course_.IsBlank()) {
        const int n = StepBlankPage(PageTree(), +1, course_.currentPage, editing_);
        if (n > 0) GoToPage(n);
        return;
    }
    const int next = StepShownSlide(course_.pages, course_.pageCount, course_.currentPage, 1);
    if (next < 1) return;
    if (State() == RecordState::Recording) session_.AddIndexLine(IndexPageLine(SelectedItemLabel(), ClockMs()));
    PreferSlidePicture(next);
    if (RunScript("GoToNextSld();")) {
        course_.currentPage = static_cast<int16_t>(next);
        pageStep_ = 0;
        session_.ForgetLoggedStep();
        SyncTreeSelection();
    }
}

void CMirovaView::SyncTreeSelection() {
    QTreeWidget* tree = PageTree();
    QTreeWidgetItem* courseItem = CourseItem(tree);
    if (!courseItem) return;
    QTreeWidgetItem* item = courseItem;
    if (courseItem->childCount() > 0) {
        item = PageItem(tree, course_.currentPage);
        if (!item) return;
    }
    // The tree's selection handler calls GoToPage, which finds this page already on show.
    tree->setCurrentItem(item);
    if (State() == RecordState::Recording) {
        session_.AddIndexLine(IndexPageLine(PageTitleOf(item), ClockMs()));
    }
}

void CMirovaView::OnAddPage() {
    if (editing_) {
        ShowMessage(lang::MessageText("OnEdit"));
        return;
    }
    QTreeWidget* tree = PageTree();
    QTreeWidgetItem* courseItem = CourseItem(tree);
    if (!courseItem) return;
    int n = NextFreePageNumber(tree, course_.pageCount);
    // A page file already on disk under that number (a page the project file lost) is kept.
    while (QFileInfo::exists(QString::fromStdString(PageFilePath(course_.folder, n)))) ++n;
    ++course_.pageCount;
    QTreeWidgetItem* item = AddPageItem(courseItem, {n, DefaultPageTitle(n)});
    CopyPageTemplate(lang::LanguageFolder(), course_.folder, n);
    tree->setCurrentItem(item);
    WriteProjectFile();
    course_.currentPage = static_cast<int16_t>(n);
    OnEditHtml();  // the new page opens in the editor
}

void CMirovaView::OnDeletePage() {
    if (editing_) {
        ShowMessage(lang::MessageText("ExitEdit"));
        return;
    }
    QTreeWidget* tree = PageTree();
    QTreeWidgetItem* courseItem = CourseItem(tree);
    QTreeWidgetItem* item = tree ? tree->currentItem() : nullptr;
    if (!item || !courseItem || item->parent() != courseItem) return;
    if (courseItem->childCount() < 2) return;  // the last page stays
    // The page's file goes with it and cannot be brought back: the teacher says so first.
    QString question = lang::MessageText("DeletePage");
    question.replace(QLatin1String("%s"), item->text(0));
    using framework::Answer;
    if (Ask(question, {Answer::Yes, Answer::No}, Answer::No, Answer::No) != Answer::Yes) return;
    const int n = PageNumberOf(item);
    const int row = courseItem->indexOfChild(item);
    QTreeWidgetItem* neighbour = courseItem->child(row + 1 < courseItem->childCount() ? row + 1 : row - 1);
    {
        const QSignalBlocker block(tree);
        delete item;
        tree->clearSelection();
    }
    // The tree selects a neighbour, which shows it.
    tree->setCurrentItem(neighbour);
    QFile::remove(QString::fromStdString(PageFilePath(course_.folder, n)));
    WriteProjectFile();
}

void CMirovaView::OnBrowse() {
    if (course_.folder.empty()) return;
    const QString start = QString::fromStdString(course_.folder + "/web.htm");
    LogEvent(QStringLiteral("browse"), start);
    const bool opened = openExternal_ ? openExternal_(start) : shell::OpenWithDefaultHandler(start);
    // Without a browser nothing would show at all: the teacher is told what to do.
    if (!opened) ShowMessage(lang::MessageWith("NoBrowser", {start}));
}

}  // namespace tovra
