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
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/shell/open_default.h"
#include "course/project_file.h"
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

namespace {

bool IsWebFolder(const fs::directory_entry& entry) {
    std::error_code ec;
    return entry.is_directory(ec) &&
           QString::fromStdString(entry.path().filename().string()).compare(QLatin1String("web.files"),
                                                                           Qt::CaseInsensitive) == 0;
}

bool IsProjectFile(const fs::directory_entry& entry) {
    std::error_code ec;
    const std::string name = entry.path().filename().string();
    return entry.is_regular_file(ec) && name.size() > 4 && name.ends_with(".lsn");
}

// What a course consists of in its folder: project files, the start page and the web folder.
bool IsCourseEntry(const fs::directory_entry& entry) {
    return IsWebFolder(entry) || IsProjectFile(entry) ||
           QString::fromStdString(entry.path().filename().string()).compare(QLatin1String("web.htm"),
                                                                           Qt::CaseInsensitive) == 0;
}

// Whether a folder already holds a course: a project file, or a course's web folder.
bool HoldsCourse(const std::string& folder) {
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (IsWebFolder(*it) || IsProjectFile(*it)) return true;
    }
    return false;
}

// The files of a course being replaced, moved aside until the new course stands, so that a
// failed creation can put them back.
class ReplacedCourse {
public:
    ReplacedCourse() = default;
    ReplacedCourse(const ReplacedCourse&) = delete;
    ReplacedCourse& operator=(const ReplacedCourse&) = delete;
    ~ReplacedCourse() { PutBack(); }

    // False when the files could not be moved; those moved so far are back.
    bool MoveAside(const std::string& folder) {
        std::string pattern = folder + "/.tovra-replaced-XXXXXX";
        if (!mkdtemp(pattern.data())) return false;
        aside_ = pattern;
        folder_ = folder;
        std::error_code ec;
        std::vector<fs::path> entries;
        for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
            if (IsCourseEntry(*it)) entries.push_back(it->path().filename());
        }
        for (const fs::path& name : entries) {
            fs::rename(fs::path(folder) / name, fs::path(aside_) / name, ec);
            if (ec) {
                PutBack();
                return false;
            }
        }
        return true;
    }
    // The new course stands: the old one goes for good.
    void Drop() {
        std::error_code ec;
        if (!aside_.empty()) fs::remove_all(aside_, ec);
        aside_.clear();
    }

private:
    void PutBack() {
        if (aside_.empty()) return;
        std::error_code ec;
        for (fs::directory_iterator it(aside_, ec), end; !ec && it != end; it.increment(ec)) {
            const fs::path target = fs::path(folder_) / it->path().filename();
            std::error_code removed;
            fs::remove_all(target, removed);  // what the failed creation left in its place
            fs::rename(it->path(), target, removed);
        }
        fs::remove_all(aside_, ec);
        aside_.clear();
    }

    std::string folder_;
    std::string aside_;
};

}  // namespace

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
    loggedStep_ = 0;
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
    if (course_.currentPage < 2) return;
    if (recordState_ == RecordState::Recording) WriteIndexLine(IndexPageLine(SelectedItemLabel(), clockMs_));
    if (RunScript("GoToPrevSld();")) {
        --course_.currentPage;
        pageStep_ = 0;
        loggedStep_ = 0;
        SyncTreeSelection();
    }
}

void CMirovaView::OnNextPage() {
    if (course_.IsBlank()) {
        const int n = StepBlankPage(PageTree(), +1, course_.currentPage, editing_);
        if (n > 0) GoToPage(n);
        return;
    }
    if (course_.currentPage >= course_.pageCount) return;
    if (recordState_ == RecordState::Recording) WriteIndexLine(IndexPageLine(SelectedItemLabel(), clockMs_));
    if (RunScript("GoToNextSld();")) {
        ++course_.currentPage;
        pageStep_ = 0;
        loggedStep_ = 0;
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
    if (recordState_ == RecordState::Recording) {
        WriteIndexLine(IndexPageLine(PageTitleOf(item), clockMs_));
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
