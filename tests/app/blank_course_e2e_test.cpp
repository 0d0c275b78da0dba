// A blank course end to end with the real main frame, view, browser engine and web template:
// File New, adding, turning, retitling and deleting pages, and reopening the course.
#include <gtest/gtest.h>

#include <QDir>
#include <QEventLoop>
#include <QTimer>
#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <filesystem>

#include "app/command_ids.h"
#include "app/create_course_dialog.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "lang/language_table.h"
#include "course/page_tree_bar.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/course_frame.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_test_app.h"
#include "view/mirova_view.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

class BlankCourse : public testing_support::CourseFrameTest {
protected:
    std::string Project() { return ReadBytes(dir / "Lesson1/Lesson1.lsn"); }
    std::string PageOne() { return ReadBytes(dir / "Lesson1/web.files/1.html"); }
    static std::string ProjectWith(const std::string& pageLines, int count) {
        return "TVCF\r\n*\r\nOptics\r\nLee\r\nCOUNT:" + std::to_string(count) + "\r\n" + pageLines;
    }

};

TEST_F(BlankCourse, NewAddTurnRetitleDeleteAndReopen) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    const std::string c = dir / "Lesson1";
    for (const char* file : {"Lesson1.lsn", "web.htm", "web.files/tree.htm", "web.files/index.htm", "web.files/163.css",
                             "web.files/main.htm", "web.files/left.htm", "web.files/1.html", "web.files/fullscreen.htm",
                             "web.files/image/Cursor.gif", "web.files/CoursePages.js"}) {
        EXPECT_TRUE(fs::is_regular_file(c + "/" + file)) << file;
    }
    EXPECT_TRUE(fs::is_directory(c + "/web.files/mvfile"));
    // The blank course's frame page is the template's _left.htm.
    EXPECT_EQ(ReadBytes(c + "/web.files/left.htm"),
              ReadBytes(std::string(TOVRA_PROGRAM_DIR) + "/ELanguage/English/web.files/_left.htm"));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n", 1));
    // A new course opens in the editor; pages are added once it is left.
    EXPECT_TRUE(view->Editing());
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("OnEdit")});
    messages.shown.clear();
    ASSERT_TRUE(LeaveEditor());
    ASSERT_TRUE(Shows(1));

    for (int added = 2; added <= 3; ++added) {
        ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
        EXPECT_TRUE(view->Editing());  // the new page opens in the editor
        ASSERT_TRUE(LeaveEditor());
        ASSERT_TRUE(Shows(added));  // the viewer is back on the new page
    }
    EXPECT_TRUE(fs::is_regular_file(c + "/web.files/2.html"));
    EXPECT_EQ(ReadBytes(c + "/web.files/3.html"), ReadBytes(c + "/web.files/1.html"));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n2:Page 2\r\n3:Page 3\r\n", 3));
    EXPECT_EQ(view->Course().pageCount, 3);
    ASSERT_TRUE(Shows(3));

    ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
    ASSERT_TRUE(Shows(2));
    ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
    ASSERT_TRUE(Shows(1));
    EXPECT_FALSE(router.Update(cmd::kPrevPage).enabled);
    ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
    ASSERT_TRUE(Shows(2));
    ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
    ASSERT_TRUE(Shows(3));

    // A page that reports another number moves the view and the tree.
    // (The engine reports only the latest of titles set in quick succession: give it a moment.)
    WaitUntil([] { return false; }, 300);
    ASSERT_TRUE(view->RunScript("tovraStep(-1, true);"));  // the viewer's own key handling
    ASSERT_TRUE(WaitUntil([&] { return view->Course().currentPage == 2; }, 5000));
    EXPECT_EQ(PageNumberOf(frame->PageTree()->currentItem()), 2);

    // Retitling a page in the tree is saved.
    QTreeWidgetItem* two = PageItem(frame->PageTree(), 2);
    ASSERT_NE(two, nullptr);
    two->setText(0, QStringLiteral("Lenses"));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n2:Lenses\r\n3:Page 3\r\n", 3));

    // Delete page 2, once the teacher has said yes: its file goes, a neighbour is shown, the
    // counter stays. No keeps it.
    frame->PageTree()->setCurrentItem(two);
    messages.answers = {framework::Answer::No};
    ASSERT_TRUE(router.Dispatch(cmd::kDeletePage));
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QLatin1String("\"Lenses\""))) << messages.shown[0].toStdString();
    EXPECT_TRUE(fs::exists(c + "/web.files/2.html"));
    EXPECT_EQ(CourseItem(frame->PageTree())->childCount(), 3);
    messages.shown.clear();
    messages.answers = {framework::Answer::Yes};
    ASSERT_TRUE(router.Dispatch(cmd::kDeletePage));
    messages.shown.clear();
    EXPECT_FALSE(fs::exists(c + "/web.files/2.html"));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n3:Page 3\r\n", 2));
    ASSERT_TRUE(Shows(3));
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    ASSERT_TRUE(LeaveEditor());
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n3:Page 3\r\n4:Page 4\r\n", 3));
    EXPECT_TRUE(fs::is_regular_file(c + "/web.files/4.html"));
    ASSERT_TRUE(Shows(4));
    EXPECT_EQ(ReadBytes(c + "/web.files/CoursePages.js"),
              "var coursePages = [{\"number\":1,\"title\":\"Page 1\"},{\"number\":3,\"title\":\"Page 3\"},"
              "{\"number\":4,\"title\":\"Page 4\"}];\r\n");

    // The course's start page opens in the desktop's browser.
    QString opened;
    view->SetOpenHandler([&](const QString& path) {
        opened = path;
        return true;
    });
    ASSERT_TRUE(router.Dispatch(cmd::kBrowse));
    EXPECT_EQ(opened, QString::fromStdString(c + "/web.htm"));

    // Reopening restores the pages and their titles.
    view->ReadProjectFile(c + "/Lesson1.lsn");
    QTreeWidgetItem* course = CourseItem(frame->PageTree());
    ASSERT_NE(course, nullptr);
    ASSERT_EQ(course->childCount(), 3);
    EXPECT_EQ(course->child(1)->text(0), QStringLiteral("Page 3"));
    EXPECT_EQ(view->Course().pageCount, 3);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
}

TEST_F(BlankCourse, LastPageAndCourseItemCannotBeDeletedAndFileNewOverACourseAsksFirst) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));  // leave the editor the new course opened in
    const std::string c = dir / "Lesson1";
    testing::WriteBytes(c + "/web.files/7.html", "an older page");
    frame->PageTree()->setCurrentItem(CourseItem(frame->PageTree()));
    router.Dispatch(cmd::kDeletePage);
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    router.Dispatch(cmd::kDeletePage);
    EXPECT_EQ(CourseItem(frame->PageTree())->childCount(), 1);
    EXPECT_TRUE(fs::exists(c + "/web.files/1.html"));
    // Page 2's file is already there (a page the project file lost): the new page takes 3.
    testing::WriteBytes(c + "/web.files/2.html", "a lost page");
    router.Dispatch(cmd::kAddPage);
    ASSERT_TRUE(LeaveEditor());
    EXPECT_EQ(ReadBytes(c + "/web.files/2.html"), "a lost page");
    EXPECT_EQ(PageNumberOf(CourseItem(frame->PageTree())->child(1)), 3);
    testing::WriteBytes(c + "/web.files/video001.wmv", "an older recording");

    // File New on the folder of a course asks first; No goes back to the dialog with what was
    // typed, and nothing on disk changes.
    const auto before = testing::FilesUnder(c);
    int dialogRuns = 0;
    std::string shownName;
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        if (++dialogRuns == 2) {
            shownName = create.courseFileName;  // what the dialog came back with
            return int(QDialog::Rejected);
        }
        create.courseFileName = "Lesson1";
        create.saveFolder = dir.path();
        create.courseName = "Replaced";
        return int(QDialog::Accepted);
    });
    messages.shown.clear();
    messages.answers = {framework::Answer::No};
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(dialogRuns, 2);
    EXPECT_EQ(shownName, "Lesson1");
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].contains(QString::fromStdString(c))) << messages.shown[0].toStdString();
    ASSERT_EQ(messages.asked.size(), 1u);
    ASSERT_EQ(messages.asked[0].size(), 2u);  // Yes and No
    EXPECT_EQ(testing::FilesUnder(c), before);
    EXPECT_EQ(CourseItem(frame->PageTree())->childCount(), 2);

    // Yes replaces the course whole: one page, none of the old pages or the old recording.
    dialogRuns = 0;
    messages.answers = {framework::Answer::Yes};
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(dialogRuns, 1);
    EXPECT_EQ(Project(), "TVCF\r\n*\r\nReplaced\r\nLee\r\nCOUNT:1\r\n1:Page 1\r\n");
    EXPECT_FALSE(fs::exists(c + "/web.files/7.html"));
    EXPECT_FALSE(fs::exists(c + "/web.files/3.html"));
    EXPECT_FALSE(fs::exists(c + "/web.files/video001.wmv"));
    EXPECT_TRUE(fs::exists(c + "/web.files/1.html"));
    for (const auto& entry : fs::directory_iterator(c)) {
        EXPECT_EQ(entry.path().filename().string().find(".tovra-replaced"), std::string::npos);
    }

    // A save folder that cannot hold the course folder.
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        create.courseFileName = "Lesson2";
        create.saveFolder = dir / "missing/deeper";
        return int(QDialog::Accepted);
    });
    messages.shown.clear();
    router.Dispatch(cmd::kFileNew);
    ASSERT_EQ(messages.shown.size(), 1);
    // Which folder refused the course, and why.
    EXPECT_EQ(messages.shown[0], lang::MessageWith("CannotWrite", {QString::fromStdString(dir / "missing/deeper"),
                                                                   lang::MessageText("WhyMissing")}));
    EXPECT_EQ(CourseItem(frame->PageTree())->text(0), QStringLiteral("Lesson1"));  // the tree is unchanged
    EXPECT_EQ(view->Course().folder, c);                                          // and so is the course
}

TEST_F(BlankCourse, EditorSavesTheEditedPageKeepsItOnAFailedSaveAndLeavingChangesNothing) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(EditorReady());
    EXPECT_TRUE(router.Update(cmd::kEditHtml).checked);
    const std::string untouched = PageOne();

    // Leaving without saving, answered so, changes nothing on disk.
    Evaluate(QStringLiteral("Editor.document.body.insertAdjacentHTML('beforeend', '<p>Not saved</p>'); 1"));
    messages.answers = {framework::Answer::Discard};
    ASSERT_TRUE(LeaveEditor());
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("Unsaved")});
    messages.shown.clear();
    EXPECT_EQ(PageOne(), untouched);
    ASSERT_TRUE(router.Dispatch(cmd::kFileSave));  // not editing: nothing
    EXPECT_EQ(PageOne(), untouched);

    // Typed text made bold is saved, and the page keeps its style.
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(EditorReady());
    const QString typed =
        Evaluate(QStringLiteral("try { var d = Editor.document; (d.querySelector('main') || "
                                "d.body).insertAdjacentHTML('beforeend', '<p id=\"t\">Hello teachers</p>');"
                                "var r = d.createRange(); r.selectNodeContents(d.getElementById('t'));"
                                "var s = Editor.getSelection(); s.removeAllRanges(); s.addRange(r); "
                                "d.execCommand('bold'); 'ok' } catch (e) { e.message }"));
    EXPECT_EQ(typed, QStringLiteral("ok"));
    qsizetype before = loads.size();
    ASSERT_TRUE(router.Dispatch(cmd::kFileSave));
    EXPECT_FALSE(view->Editing());
    ASSERT_TRUE(WaitUntil([&] { return loads.size() > before; }, 10000));  // the saved page is shown
    const std::string saved = PageOne();
    EXPECT_TRUE(saved.find("<b>Hello teachers</b>") != std::string::npos ||
                saved.find("<strong>Hello teachers</strong>") != std::string::npos)
        << saved;
    EXPECT_NE(saved.find("<style"), std::string::npos);

    // A row added with AppendTable is saved.
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(EditorReady());
    Evaluate(
        QStringLiteral("var d = Editor.document; (d.querySelector('main') || d.body).insertAdjacentHTML('beforeend',"
                       "'<table id=\"tb\"><tbody><tr><td id=\"c\">a</td><td>b</td></tr></tbody></table>');"
                       "var r = d.createRange(); r.setStart(d.getElementById('c').firstChild, 0); r.collapse(true);"
                       "var s = Editor.getSelection(); s.removeAllRanges(); s.addRange(r); AppendTable(); 1"));
    EXPECT_EQ(Evaluate(QStringLiteral("String(Editor.document.getElementById('tb').rows.length)")),
              QStringLiteral("2"));
    // The editor page's own function ran: the injected one, had the engine run it, would say "新单元".
    EXPECT_EQ(Evaluate(QStringLiteral("Editor.document.getElementById('tb').rows[1].cells[0].textContent")),
              QStringLiteral("New cell"));
    before = loads.size();
    ASSERT_TRUE(router.Dispatch(cmd::kFileSave));
    ASSERT_TRUE(WaitUntil([&] { return loads.size() > before; }, 10000));
    const std::string withTable = PageOne();
    const size_t table = withTable.find("id=\"tb\"");
    ASSERT_NE(table, std::string::npos) << withTable;
    size_t rows = 0;
    for (size_t at = withTable.find("<tr", table); at != std::string::npos; at = withTable.find("<tr", at + 3)) ++rows;
    EXPECT_EQ(rows, 2u);

    // A read-only page file is not overwritten: the message, and the editor stays.
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(EditorReady());
    const std::string path = dir / "Lesson1/web.files/1.html";
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    ASSERT_TRUE(router.Dispatch(cmd::kFileSave));
    EXPECT_EQ(messages.shown,
              QStringList{lang::MessageWith("CannotWrite", {QString::fromStdString(path), lang::MessageText("WhyDenied")})});
    EXPECT_TRUE(view->Editing());
    EXPECT_EQ(PageOne(), withTable);
    fs::permissions(path, fs::perms::owner_write, fs::perm_options::add);
}

TEST_F(BlankCourse, EditorScreenshotsInBothLanguages) {
    const QString artifacts = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts");
    QDir().mkpath(artifacts);
    for (const char* language : {"English", "Chinese"}) {
        Start(std::string("Language/") + language + ".ini");
        courseFileName = std::string("Lesson-") + language;
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        ASSERT_TRUE(EditorReady()) << language;
        WaitUntil([] { return false; }, 500);
        ASSERT_TRUE(frame->grab().save(artifacts + QStringLiteral("/editor-%1.png").arg(QLatin1String(language))));
    }
}

}  // namespace
}  // namespace tovra
