// A blank course end to end with the real main frame, view, browser engine and web template:
// File New, adding, turning, retitling and deleting pages, and reopening the course.
#include <gtest/gtest.h>

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
#include "course/page_tree_bar.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
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

class BlankCourse : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = "Language/English.ini";
        framework::SetMessageService(&messages);
        view = new CMirovaView;
        frame = std::make_unique<CMainFrame>(router, view);
        router.SetTargets({view, frame.get()});
        view->OnInitialUpdate();
        frame->resize(1100, 760);
        frame->show();
        view->SetDialogRunner([this](QDialog& dialog) {
            auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
            create.courseFileName = "Lesson1";
            create.saveFolder = dir.path() + "/";
            create.deckPath.clear();
            create.courseName = "Optics";
            create.teacherName = "Lee";
            return int(QDialog::Accepted);
        });
    }
    void TearDown() override {
        router.SetTargets({});
        frame.reset();
        framework::SetMessageService(nullptr);
        Program() = saved;
    }

    // The page's own answer to a script, as text.
    QString Evaluate(const QString& script) {
        QString result;
        bool done = false;
        view->Browser().View()->page()->runJavaScript(script, [&](const QVariant& v) {
            result = v.toString();
            done = true;
        });
        WaitUntil([&] { return done; }, 5000);
        return result;
    }
    // Waits until the viewer shows page n, the view knows it and the tree has it selected.
    ::testing::AssertionResult Shows(int n) {
        QString shown;
        const bool ok = WaitUntil(
            [&] {
                QTreeWidgetItem* selected = frame->PageTree()->currentItem();
                shown = Evaluate(QStringLiteral("String(GetCurSldNum())"));
                return view->Course().currentPage == n && selected && PageNumberOf(selected) == n &&
                       shown == QString::number(n);
            },
            8000);
        if (ok) return ::testing::AssertionSuccess();
        QTreeWidgetItem* selected = frame->PageTree()->currentItem();
        return ::testing::AssertionFailure()
               << "view page " << view->Course().currentPage << ", tree " << (selected ? PageNumberOf(selected) : -1)
               << ", viewer " << shown.toStdString();
    }
    std::string Project() { return ReadBytes(dir / "Lesson1/Lesson1.lsn"); }
    static std::string ProjectWith(const std::string& pageLines, int count) {
        return "TVCF\r\n*\r\nOptics\r\nLee\r\nCOUNT:" + std::to_string(count) + "\r\n" + pageLines;
    }

    TempDir dir;
    ProgramSettings saved;
    framework::RecordingMessageService messages;
    framework::CommandRouter router;
    CMirovaView* view = nullptr;
    std::unique_ptr<CMainFrame> frame;
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
    ASSERT_TRUE(Shows(1));

    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
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

    // Delete page 2: its file goes, a neighbour is shown, the counter stays.
    frame->PageTree()->setCurrentItem(two);
    ASSERT_TRUE(router.Dispatch(cmd::kDeletePage));
    EXPECT_FALSE(fs::exists(c + "/web.files/2.html"));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n3:Page 3\r\n", 2));
    ASSERT_TRUE(Shows(3));
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));
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

TEST_F(BlankCourse, LastPageAndCourseItemCannotBeDeletedAndFileNewReusesAFolder) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    const std::string c = dir / "Lesson1";
    testing::WriteBytes(c + "/web.files/7.html", "an older page");
    frame->PageTree()->setCurrentItem(CourseItem(frame->PageTree()));
    router.Dispatch(cmd::kDeletePage);
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    router.Dispatch(cmd::kDeletePage);
    EXPECT_EQ(CourseItem(frame->PageTree())->childCount(), 1);
    EXPECT_TRUE(fs::exists(c + "/web.files/1.html"));

    // A second File New on the same folder starts over with one page and leaves other pages.
    router.Dispatch(cmd::kAddPage);
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(Project(), ProjectWith("1:Page 1\r\n", 1));
    EXPECT_EQ(ReadBytes(c + "/web.files/7.html"), "an older page");

    // A save folder that cannot hold the course folder.
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        create.courseFileName = "Lesson2";
        create.saveFolder = dir / "missing/deeper";
        return int(QDialog::Accepted);
    });
    router.Dispatch(cmd::kFileNew);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], QString::fromStdString("Create Dir Failed: \r\n" + dir / "missing/deeper/Lesson2"));
    EXPECT_EQ(CourseItem(frame->PageTree())->text(0), QStringLiteral("Lesson1"));  // the tree is unchanged
}

}  // namespace
}  // namespace tovra

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(
        new tovra::testing_support::QtApplicationEnvironment<tovra::testing_support::WebEngineTestApp>);
    return RUN_ALL_TESTS();
}
