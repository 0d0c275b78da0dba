// A lecture in the real editor that goes on until something ends it, for the tests of recordings
// cut short (tests/app/recording_recovery_e2e_test.cpp): a blank course of three pages in FOLDER,
// recorded with the test camera and the test run's microphone, a page turn every three seconds
// and a pen stroke between turns. It prints "clock <ms>" as the recording's clock advances,
// "turn <ms> <page>" at each turn, and each message it would show as "message <text>", so the
// test knows where the lecture stands.
//
// Usage: tovra-recording-child FOLDER
#include <QApplication>
#include <QMouseEvent>
#include <QTimer>
#include <QTreeWidget>
#include <cstdio>

#include "app/command_ids.h"
#include "app/create_course_dialog.h"
#include "app/main_frame.h"
#include "app/settings.h"
#include "course/page_tree_bar.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/view_input.h"
#include "view/mirova_view.h"

namespace {

using namespace tovra;

class PrintingMessages : public framework::MessageService {
public:
    void Show(QWidget*, const QString& text) override {
        std::printf("message %s\n", QString(text).replace(QLatin1String("\r\n"), QLatin1String(" ")).toUtf8().constData());
        std::fflush(stdout);
    }
    framework::Answer Ask(QWidget*, const QString& text, const std::vector<framework::Choice>&,
                          framework::Answer defaultAnswer, framework::Answer) override {
        Show(nullptr, text);
        return defaultAnswer;
    }
};


}  // namespace

int main(int argc, char* argv[]) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: tovra-recording-child FOLDER\n");
        return 1;
    }
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    QApplication app(argc, argv);
    const std::string folder = argv[1];
    Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
    Program().languageFile = "Language/English.ini";
    PrintingMessages messages;
    framework::SetMessageService(&messages);
    framework::CommandRouter router;
    auto* view = new CMirovaView;
    CMainFrame frame(router, view);
    router.SetTargets({view, &frame});
    view->OnInitialUpdate();
    frame.resize(1100, 760);
    frame.show();
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        create.courseFileName = "Lecture";
        create.saveFolder = folder;
        create.courseName = "Killed";
        create.teacherName = "Lee";
        return int(QDialog::Accepted);
    });

    // The course: three pages, left in the viewer on page 1.
    int step = 0;
    QTimer prepare;
    QObject::connect(&prepare, &QTimer::timeout, [&] {
        switch (step++) {
            case 0: router.Dispatch(cmd::kFileNew); break;
            case 2: router.Dispatch(cmd::kEditHtml); break;
            case 4: router.Dispatch(cmd::kAddPage); break;
            case 6: router.Dispatch(cmd::kEditHtml); break;
            case 8: router.Dispatch(cmd::kAddPage); break;
            case 10: router.Dispatch(cmd::kEditHtml); break;
            case 12: frame.PageTree()->setCurrentItem(PageItem(frame.PageTree(), 1)); break;
            case 14:
                prepare.stop();
                router.Dispatch(cmd::kRecordStart);
                std::printf("recording %d\n", view->State() == RecordState::Recording);
                std::fflush(stdout);
                break;
            default: break;
        }
    });
    prepare.start(700);

    // The lecture: a turn every three seconds (1, 2, 3, 1, ...), a stroke a second and a half in.
    uint32_t turned = 0, stroked = 0;
    int page = 1;
    QTimer lecture;
    QObject::connect(&lecture, &QTimer::timeout, [&] {
        if (view->State() == RecordState::Stopped) return;
        const uint32_t clock = view->ClockMs();
        std::printf("clock %u\n", clock);
        std::fflush(stdout);
        if (clock >= turned + 3000) {
            turned = clock;
            page = page % 3 + 1;
            frame.PageTree()->setCurrentItem(PageItem(frame.PageTree(), page));
            std::printf("turn %u %d\n", clock, page);
            std::fflush(stdout);
        } else if (clock >= turned + 1500 && stroked < turned + 1500) {
            stroked = clock;
            if (!view->PenOn()) router.Dispatch(cmd::kPen);
            const int x = 150 + static_cast<int>(clock / 100 % 200);
            testing_support::SendMouse(view, QEvent::MouseButtonPress, QPoint(x, 150), Qt::LeftButton);
            for (int i = 1; i <= 8; ++i) testing_support::SendMouse(view, QEvent::MouseMove, QPoint(x + 20 * i, 150 + 10 * i), Qt::LeftButton);
            testing_support::SendMouse(view, QEvent::MouseButtonRelease, QPoint(x + 160, 230), Qt::NoButton);
        }
    });
    lecture.start(250);
    const int result = QApplication::exec();
    router.SetTargets({});
    return result;
}
