// The view's page commands: new course, page turning, and the page tree's add, delete and browse.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalBlocker>
#include <QTreeWidget>

#include "app/create_course_dialog.h"
#include "course/course_folder.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/shell/open_default.h"
#include "platform/text/code_page.h"
#include "view/course_scripts.h"
#include "view/event_log.h"
#include "view/mirova_view.h"
#include "view/title_texts.h"

namespace tovra {

namespace {

QString FromCodePage(const std::string& bytes) { return QString::fromStdU16String(text::FromCodePage(bytes)); }

}  // namespace

std::string DefaultPageTitle(int n) {
    std::string format = lang::Message("Page");
    const size_t at = format.find("%d");
    if (at == std::string::npos) return format + std::to_string(n);
    return format.replace(at, 2, std::to_string(n));
}

QTreeWidget* CMirovaView::PageTree() const { return mainFrame_ ? mainFrame_->PageTree() : nullptr; }

int CMirovaView::RunDialog(QDialog& dialog) { return runDialog_ ? runDialog_(dialog) : dialog.exec(); }

void CMirovaView::OnFileNew() {
    if (course_.deckImportPending) return;
    CreateCourseDialog& dialog = *createDialog_;
    // The dialog edits the open course's title texts.
    if (course_.IsOpen()) CopyTitleTexts(course_, dialog);
    if (RunDialog(dialog) != QDialog::Accepted) return;
    CopyTitleTexts(dialog, course_);

    std::string saveFolder = dialog.saveFolder;
    if (!saveFolder.empty() && saveFolder.back() == '/') saveFolder.pop_back();
    course_.folder = saveFolder + "/" + dialog.courseFileName;
    const QString folder = QString::fromStdString(course_.folder);
    // One level only: the save folder itself must exist.
    if (!QFileInfo(folder).isDir() && !QDir().mkdir(folder)) {
        ShowMessage(QStringLiteral("Create Dir Failed: \r\n") + folder);
        return;
    }
    course_.deckPath = dialog.deckPath;
    course_.projectFileName = dialog.courseFileName + ".lsn";
    LogEvent(QStringLiteral("file-new"), QString::fromStdString(course_.ProjectFilePath()));
    if (addToRecent_) addToRecent_(QString::fromStdString(course_.ProjectFilePath()));

    if (!course_.deckPath.empty()) {
        if (ImportDeck()) Navigate(CourseStartAddress(course_));
        return;
    }
    QTreeWidget* tree = PageTree();
    if (!tree) return;
    CopyWebTemplate(lang::LanguageFolder(), course_.folder, true);
    RemoveCourseItem(tree);
    courseLabel_ = text::CodePageToUtf8(dialog.courseFileName);
    QTreeWidgetItem* courseItem = AddCourseItem(tree, QString::fromStdString(courseLabel_));
    course_.pages = {{1, DefaultPageTitle(1)}};
    QTreeWidgetItem* first = AddPageItem(courseItem, 1, FromCodePage(course_.pages[0].title));
    tree->setCurrentItem(first);
    courseItem->setExpanded(true);
    course_.currentPage = 1;
    course_.pageCount = 1;
    Navigate(CourseStartAddress(course_));
    editing_ = false;
    pageStep_ = 0;
    loggedStep_ = 0;
    WriteProjectFile();
    emit CourseOpened();
    // A new blank course opens in the editor on page 1.
    OnEditHtml();
}

void CMirovaView::OnPrevPage() {
    if (course_.IsBlank()) {
        const int n = StepPage(PageTree(), -1, course_.currentPage);
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
        const int n = StepPage(PageTree(), +1, course_.currentPage);
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
        WriteIndexLine(IndexPageLine(text::ToCodePage(item->text(0).toStdU16String()), clockMs_));
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
    const int n = NextFreePageNumber(tree, course_.pageCount);
    ++course_.pageCount;
    QTreeWidgetItem* item = AddPageItem(courseItem, n, FromCodePage(DefaultPageTitle(n)));
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
    if (openExternal_) {
        openExternal_(start);
    } else {
        shell::OpenWithDefaultHandler(start);
    }
}

}  // namespace tovra
