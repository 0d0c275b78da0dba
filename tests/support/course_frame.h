// The real main frame and course view on the browser engine, for tests that work a course end to
// end: File New with the course dialog filled by the test, commands through the router, and what
// the page on show answers.
#pragma once

#include <gtest/gtest.h>

#include <QTreeWidget>
#include <QWebEnginePage>
#include <QWebEngineView>
#include <memory>
#include <string>

#include "app/command_ids.h"
#include "app/create_course_dialog.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "course/page_tree_bar.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/temp_dir.h"
#include "tests/support/view_input.h"
#include "tests/support/web_test_app.h"
#include "view/mirova_view.h"

namespace tovra::testing_support {

class CourseFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        framework::SetMessageService(&messages);
        Start("Language/English.ini");
    }
    void Start(const std::string& languageFile) {
        router.SetTargets({});
        frame.reset();
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = languageFile;
        view = new CMirovaView;
        frame = std::make_unique<CMainFrame>(router, view);
        router.SetTargets({view, frame.get()});
        view->OnInitialUpdate();
        QObject::connect(&view->Browser(), &browser::BrowserControl::DocumentComplete,
                         [this](const QString& url) { loads << url; });
        frame->resize(1100, 760);
        frame->show();
        view->SetDialogRunner([this](QDialog& dialog) {
            auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
            create.courseFileName = courseFileName;
            create.saveFolder = dir.path() + "/";
            create.deckPath = deckPath;
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
        return testing_support::EvaluateInPage(view->Browser().View()->page(), script);
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

    // Leaves the editor and waits until the viewer has loaded again.
    bool LeaveEditor() {
        // As a teacher would, let the editor load first: a navigation that cuts a load short may
        // never report its own end.
        if (!EditorReady()) return false;
        const qsizetype before = loads.size();
        if (!router.Dispatch(cmd::kEditHtml) || view->Editing()) return false;
        return WaitUntil(
            [&] { return loads.size() > before && loads.last().contains(QLatin1String("fullscreen.htm")); }, 10000);
    }
    // Waits until the editor page is on show with its own functions in place.
    bool EditorReady() {
        return WaitUntil(
            [&] {
                return view->Editing() &&
                       view->Browser().CurrentUrl().toString().contains(QLatin1String("ZonEdit.htm")) &&
                       Evaluate(QStringLiteral("typeof SaveEdit + typeof AppendTable + (function () { try {"
                                               " return zonEdit.serialize().length > 0 ? 'page' : ''; }"
                                               " catch (e) { return ''; } })()")) ==
                           QLatin1String("functionfunctionpage");
            },
            10000);
    }
    // What File New's dialog returns.
    std::string courseFileName = "Lesson1";
    std::string deckPath;

    testing::TempDir dir;
    ProgramSettings saved;
    framework::RecordingMessageService messages;
    framework::CommandRouter router;
    CMirovaView* view = nullptr;
    std::unique_ptr<CMainFrame> frame;
    QStringList loads;  // documents the browser finished loading
};

// The same with the test-pattern camera offered, for tests that record.
class RecordingFrameTest : public CourseFrameTest {
protected:
    void SetUp() override {
        qputenv("TOVRA_TEST_CAMERA", "1");
        CourseFrameTest::SetUp();
    }
    void TearDown() override {
        CourseFrameTest::TearDown();
        qunsetenv("TOVRA_TEST_CAMERA");
    }
    bool WaitForClock(uint32_t ms) {
        return WaitUntil([&] { return view->ClockMs() >= ms; }, static_cast<int>(ms) + 8000);
    }
    void Mouse(QEvent::Type type, QPoint at, Qt::MouseButtons buttons) { SendMouse(view, type, at, buttons); }
};

}  // namespace tovra::testing_support
