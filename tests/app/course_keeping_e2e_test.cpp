// Nothing a teacher made is lost on the way: an unsaved page edit through every action that
// takes the editor away, the keys of the File menu wherever the focus is, opening a course that
// never rewrites its project file, and the recent files that hold only what opened. The real
// main frame, view and browser engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>
#include <QDir>
#include <QTreeWidget>
#include <filesystem>
#include <fstream>

#include "app/command_ids.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "tests/support/course_frame.h"
#include "tests/support/shell_output.h"

namespace tovra {
namespace {

using framework::Answer;
using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

class CourseKeeping : public testing_support::CourseFrameTest {
protected:
    std::string Course() const { return dir / "Lesson1"; }
    std::string Page(int n) const { return ReadBytes(Course() + "/web.files/" + std::to_string(n) + ".html"); }

    // Marks the document on show, so that waiting for the next one cannot mistake it for that:
    // until a navigation commits, the old document answers.
    void MarkDocument() { Evaluate(QStringLiteral("window.__tovraOld = 1; 1")); }
    // Waits until a new editor page is on show with the page loaded into it.
    bool EditorReady() {
        return WaitUntil(
            [&] {
                return view->Editing() &&
                       view->Browser().CurrentUrl().toString().contains(QLatin1String("ZonEdit.htm")) &&
                       Evaluate(QStringLiteral("(function(){try{return typeof __tovraOld=='undefined'&&"
                                               "zonEdit.serialize().length>0&&typeof zonEdit.modified}"
                                               "catch(e){return ''}})()")) == QLatin1String("function");
            },
            15000);
    }
    bool ViewerReady(int page) {
        return WaitUntil(
            [&] {
                return !view->Editing() && view->Course().currentPage == page &&
                       view->Browser().CurrentUrl().toString().contains(QLatin1String("fullscreen.htm")) &&
                       Evaluate(QStringLiteral("typeof __tovraOld=='undefined'?String(GetCurSldNum()):''")) ==
                           QString::number(page);
            },
            15000);
    }
    // Opens the editor on the page on show and types a line into it.
    bool EditAndType(const QString& line) {
        if (!view->Editing()) {
            MarkDocument();
            if (!router.Dispatch(cmd::kEditHtml)) return false;
        }
        if (!EditorReady()) return false;
        const QString typed = Evaluate(
            QStringLiteral("(function(){var d=Editor.document;(d.querySelector('main')||d.body)"
                           ".insertAdjacentHTML('beforeend','<p>%1</p>');return String(zonEdit.modified());})()")
                .arg(line));
        return typed == QLatin1String("true");
    }
    bool EditorHolds(const QString& line) {
        return view->Editing() &&
               Evaluate(QStringLiteral("String(Editor.document.body.innerHTML.indexOf('%1')>=0)").arg(line)) ==
                   QLatin1String("true");
    }
    // A Ctrl+key press as the window system delivers it to the focused widget.
    void CtrlKey(QWidget* target, Qt::Key key) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::ControlModifier);
        QCoreApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::ControlModifier);
        QCoreApplication::sendEvent(target, &release);
    }
};

// Each action that takes the editor away asks about the unsaved edit: Cancel keeps the editor
// with the edit and changes nothing, Save writes it and goes on.
TEST_F(CourseKeeping, AnUnsavedEditSurvivesEveryActionThatLeavesTheEditor) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(EditorReady());
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));  // unchanged: left without a question
    EXPECT_TRUE(messages.shown.isEmpty());
    ASSERT_TRUE(ViewerReady(1));
    ASSERT_TRUE(router.Dispatch(cmd::kAddPage));  // page 2, in the editor
    ASSERT_TRUE(EditorReady());
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(ViewerReady(2));
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    ASSERT_TRUE(ViewerReady(1));
    // Another course to open, and a chooser that picks it.
    courseFileName = "Other";
    std::string other;
    {
        view->SetDialogRunner([](QDialog&) { return int(QDialog::Rejected); });
        testing::WriteBytes(dir / "Other.lsn", "TVCF\r\n*\r\nOther\r\nLee\r\nCOUNT:1\r\n1:Page 1\r\n");
        other = dir / "Other.lsn";
    }
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(other); });
    const std::string pageOne = Page(1);

    const struct {
        const char* name;
        std::function<void()> act;
        std::function<bool()> wentOn;  // the action took place after the edit was saved
    } actions[] = {
        {"tree click", [&] { frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 2)); },
         [&] { return ViewerReady(2); }},
        {"next page", [&] { router.Dispatch(cmd::kNextPage); }, [&] { return ViewerReady(2); }},
        {"record", [&] { router.Dispatch(cmd::kRecordStart); },
         [&] {
             const bool recording = view->State() == RecordState::Recording;
             router.Dispatch(cmd::kRecordStop);
             return recording && !view->Editing();
         }},
        {"language switch",
         [&] {
             MarkDocument();
             router.Dispatch(cmd::kLanguageChinese);
         },
         [&] {
             const bool switched = Program().languageFile == kDefaultLanguageFile && EditorReady() &&
                                   view->Browser().CurrentUrl().toString().contains(QLatin1String("Chinese"));
             MarkDocument();
             router.Dispatch(cmd::kLanguageEnglish);
             return switched && EditorReady();
         }},
        {"file open", [&] { router.Dispatch(cmd::kFileOpen); },
         [&] { return view->Course().projectFileName == "Other.lsn"; }},
    };
    int n = 0;
    for (const auto& action : actions) {
        SCOPED_TRACE(action.name);
        // Back on page 1 of Lesson1, in the editor with a new line.
        if (view->Course().projectFileName != "Lesson1.lsn") {
            ASSERT_TRUE(view->ReadProjectFile(Course() + "/Lesson1.lsn"));
        }
        if (view->Course().currentPage != 1) {
            if (view->Editing()) router.Dispatch(cmd::kEditHtml);
            frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
            ASSERT_TRUE(ViewerReady(1));
        }
        const QString line = QStringLiteral("Edit %1").arg(++n);
        ASSERT_TRUE(EditAndType(line));
        const std::string before = Page(1);

        const QString unsaved = lang::MessageText("Unsaved");
        messages.shown.clear();
        messages.answers = {Answer::Cancel};
        action.act();
        EXPECT_EQ(messages.shown, QStringList{unsaved});
        ASSERT_EQ(messages.asked.size(), static_cast<size_t>(n * 2 - 1));
        EXPECT_EQ(messages.asked.back().size(), 3u);  // Save, Don't Save, Cancel
        WaitUntil([] { return false; }, 300);
        EXPECT_TRUE(EditorHolds(line)) << "Cancel keeps the editor with the edit";
        EXPECT_EQ(view->Course().currentPage, 1);
        EXPECT_EQ(PageNumberOf(frame->PageTree()->currentItem()), 1);
        EXPECT_EQ(Page(1), before);
        EXPECT_EQ(view->State(), RecordState::Stopped);

        messages.shown.clear();
        messages.answers = {Answer::Save};
        action.act();
        ASSERT_FALSE(messages.shown.isEmpty());
        EXPECT_EQ(messages.shown.first(), unsaved);
        EXPECT_NE(Page(1).find(line.toStdString()), std::string::npos) << "Save writes the edit";
        EXPECT_TRUE(action.wentOn());
    }
    EXPECT_NE(Page(1), pageOne);

    // Discard goes on without writing; File New asks after its own dialog.
    ASSERT_TRUE(view->ReadProjectFile(Course() + "/Lesson1.lsn"));
    ASSERT_TRUE(ViewerReady(1));
    ASSERT_TRUE(EditAndType(QStringLiteral("Thrown away")));
    const std::string kept = Page(1);
    courseFileName = "Lesson2";
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        create.courseFileName = courseFileName;
        create.saveFolder = dir.path();
        return int(QDialog::Accepted);
    });
    messages.shown.clear();
    messages.answers = {Answer::Discard};
    MarkDocument();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("Unsaved")});
    EXPECT_EQ(Page(1), kept);
    EXPECT_EQ(view->Course().projectFileName, "Lesson2.lsn");

    // Closing the window: Cancel keeps it open with the edit.
    ASSERT_TRUE(EditorReady());  // the new course opens in the editor
    ASSERT_TRUE(EditAndType(QStringLiteral("Before closing")));
    messages.shown.clear();
    messages.answers = {Answer::Cancel};
    EXPECT_FALSE(frame->close());
    EXPECT_TRUE(frame->isVisible());
    EXPECT_TRUE(EditorHolds(QStringLiteral("Before closing")));
    messages.answers = {Answer::Save};
    EXPECT_TRUE(frame->close());
    EXPECT_NE(ReadBytes(dir / "Lesson2/web.files/1.html").find("Before closing"), std::string::npos);
}

// Ctrl+S saves the page in the editor, and Ctrl+N and Ctrl+O work from the editor page, the
// viewer and the page tree, as the File menu shows.
TEST_F(CourseKeeping, FileMenuKeysWorkWhereverTheFocusIs) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(EditAndType(QStringLiteral("Saved by key")));
    frame->activateWindow();
    QWidget* page = view->Browser().InputWidget();
    ASSERT_NE(page, nullptr);
    page->setFocus();
    CtrlKey(page, Qt::Key_S);
    EXPECT_NE(Page(1).find("Saved by key"), std::string::npos);
    ASSERT_TRUE(ViewerReady(1));  // saving leaves the editor, as the menu's Save does

    int chooserRuns = 0;
    view->SetFileChooser([&](const QString&) {
        ++chooserRuns;
        return QString();
    });
    int dialogRuns = 0;
    view->SetDialogRunner([&](QDialog&) {
        ++dialogRuns;
        return int(QDialog::Rejected);
    });
    for (QWidget* target : {static_cast<QWidget*>(view->Browser().InputWidget()),
                            static_cast<QWidget*>(frame->PageTree())}) {
        target->setFocus();
        CtrlKey(target, Qt::Key_O);
        CtrlKey(target, Qt::Key_N);
    }
    ASSERT_TRUE(router.Dispatch(cmd::kEditHtml));
    ASSERT_TRUE(EditorReady());
    CtrlKey(view->Browser().InputWidget(), Qt::Key_O);
    CtrlKey(view->Browser().InputWidget(), Qt::Key_N);
    EXPECT_EQ(chooserRuns, 3);
    EXPECT_EQ(dialogRuns, 3);
}

// File > Export > the learning-platform package: an unsaved edit is asked about first, so that
// the package holds it; the zip goes where the teacher chose, and the teacher is told where.
TEST_F(CourseKeeping, ThePackageExportHoldsTheEditAskedAboutAndSaysWhereItWent) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(EditAndType(QStringLiteral("In the package")));
    // The item stands in the File menu's Export submenu, in the interface language.
    QAction* item = nullptr;
    for (QMenu* menu : frame->menuBar()->findChildren<QMenu*>()) {
        for (QAction* action : menu->actions()) {
            if (action->data().toInt() == cmd::kExportScorm) item = action;
        }
    }
    ASSERT_NE(item, nullptr);
    EXPECT_EQ(item->text(), lang::LookupText("Class_0_4_CMD", "M32860"));
    EXPECT_FALSE(item->text().isEmpty());

    fs::create_directories(dir / "published");
    const std::string chosen = dir / "published/课件";  // without ".zip", which is added
    QString proposed;
    view->SetSaveFileChooser([&](const QString& path, const QString&) {
        proposed = path;
        return QString::fromStdString(chosen);
    });
    messages.shown.clear();
    messages.answers = {Answer::Save};
    ASSERT_TRUE(router.Dispatch(cmd::kExportScorm));
    const std::string zip = chosen + ".zip";
    EXPECT_EQ(messages.shown, (QStringList{lang::MessageText("Unsaved"),
                                           lang::MessageWith("ScormDone", {QString::fromStdString(zip)})}));
    EXPECT_TRUE(proposed.startsWith(QString::fromStdString(dir.path()) + QLatin1Char('/'))) << proposed.toStdString();
    EXPECT_TRUE(proposed.endsWith(QLatin1String(".zip"))) << proposed.toStdString();
    EXPECT_NE(testing_support::Shell("unzip -p '" + zip + "' web.files/1.html").find("In the package"), std::string::npos);
    EXPECT_EQ(testing_support::Shell("unzip -Z1 '" + zip + "' | grep -c '\\.lsn$'"), "0\n");

    // Cancelling the file choice writes nothing.
    view->SetSaveFileChooser([](const QString&, const QString&) { return QString(); });
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kExportScorm));
    EXPECT_TRUE(messages.shown.isEmpty());
}

// File > Export > the lecture video: offered once the course has a recording; it shows progress
// with a Cancel button, says where the video went, and a cancelled export leaves nothing.
TEST_F(CourseKeeping, TheVideoExportIsOfferedForARecordingAndCancelLeavesNothing) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    const fs::path web = fs::path(dir / "Lesson1/web.files");
    ASSERT_TRUE(fs::is_directory(web)) << web;
    EXPECT_FALSE(router.Update(cmd::kExportVideo).enabled);
    // A short lecture, as a recording leaves it for the browsers.
    ASSERT_EQ(testing_support::Shell("ffmpeg -v error -f lavfi -i testsrc=size=320x240:rate=15 -f lavfi -i "
                                     "sine=frequency=440:sample_rate=48000 -t 3 -c:v libvpx -c:a libopus '" +
                                     (web / "video001.webm").string() + "' && echo ok"),
              "ok\n");
    std::ofstream(web / "video001.js") << "var tovraTimeline = [[250,\"pages\",\"(1,0)\"]];\r\n";
    EXPECT_TRUE(router.Update(cmd::kExportVideo).enabled);

    const std::string chosen = dir / "讲课";
    QString proposed;
    view->SetSaveFileChooser([&](const QString& path, const QString&) {
        proposed = path;
        return QString::fromStdString(chosen);
    });
    // The progress dialog shows, with its Cancel button, while the window goes on handling events.
    bool sawProgress = false;
    QTimer watch;
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (qobject_cast<QProgressDialog*>(w) && w->isVisible()) sawProgress = true;
        }
    });
    watch.start(10);
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kExportVideo));
    watch.stop();
    const std::string mp4 = chosen + ".mp4";
    EXPECT_TRUE(sawProgress);
    EXPECT_TRUE(proposed.endsWith(QLatin1String(".mp4"))) << proposed.toStdString();
    EXPECT_EQ(messages.shown, (QStringList{lang::MessageWith(
                                  "VideoDone", {QString::fromStdString(mp4), QString::fromStdString(chosen + ".vtt")})}));
    EXPECT_EQ(testing_support::Shell("ffprobe -v error -select_streams v -show_entries stream=codec_name -of csv=p=0 '" + mp4 + "'"),
              "h264\n");

    // Cancel: pressed as soon as the dialog shows; no file and no message.
    fs::remove(mp4);
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            if (auto* dialog = qobject_cast<QProgressDialog*>(w); dialog && dialog->isVisible()) dialog->cancel();
        }
    });
    cancel.start(5);
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kExportVideo));
    cancel.stop();
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_FALSE(fs::exists(mp4));
    for (const auto& entry : fs::directory_iterator(dir.path())) {
        EXPECT_EQ(entry.path().string().find(".mp4."), std::string::npos) << entry.path();
    }
}

// Opening a course while a page is in the editor leaves the editor, for an imported course too:
// the tree turns the slides and the page's own context menu stays away.
TEST_F(CourseKeeping, OpeningAnyCourseLeavesTheEditor) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(EditorReady());
    const std::string imported = dir / "Deck";
    fs::create_directories(imported + "/web.files");
    fs::copy_file(std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm",
                  imported + "/web.files/fullscreen.htm");
    WriteBytes(imported + "/Deck.lsn", "TVCF\r\n/talks/deck.ppt\r\nC\r\nT\r\nCOUNT:3\r\n1:A\r\n2:B\r\n3:C\r\n");
    loads.clear();
    ASSERT_TRUE(view->ReadProjectFile(imported + "/Deck.lsn"));
    EXPECT_FALSE(view->Editing());
    ASSERT_TRUE(WaitUntil([&] { return !loads.isEmpty() && loads.last().endsWith("Deck/web.files/fullscreen.htm"); },
                          10000));
    // The slide's own report of its number comes first.
    ASSERT_TRUE(WaitUntil([&] { return view->Browser().CurrentTitle() == QLatin1String("PAGE:1"); }, 5000));
    WaitUntil([] { return false; }, 200);
    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 3));
    EXPECT_EQ(view->Course().currentPage, 3);
    EXPECT_EQ(Evaluate(QStringLiteral("String(GetCurSldNum())")), QStringLiteral("3"));
    EXPECT_FALSE(router.Update(cmd::kNextPage).enabled);  // slide 3 of 3
}

// The questions as the teacher sees them, in both languages; their pictures go to the artifacts.
TEST_F(CourseKeeping, QuestionsInBothLanguages) {
    const QString artifacts = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts");
    QDir().mkpath(artifacts);
    for (const char* language : {"English", "Chinese"}) {
        Start(std::string("Language/") + language + ".ini");
        courseFileName = std::string("Course-") + language;
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        ASSERT_TRUE(EditAndType(QStringLiteral("Unsaved line")));
        framework::SetMessageService(nullptr);
        // Each real box is pictured, then closed with its escape answer.
        QStringList pictured;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible() || box->property("pictured").toBool()) continue;
                box->setProperty("pictured", true);
                const QString name = QStringLiteral("%1/question-%2-%3.png").arg(artifacts).arg(pictured.size()).arg(QLatin1String(language));
                box->grab().save(name);
                pictured << box->text();
                box->escapeButton()->click();
            }
        });
        timer.start(50);
        router.Dispatch(cmd::kEditHtml);  // the unsaved edit
        EXPECT_TRUE(view->Editing());     // Cancel kept the editor
        messages.shown.clear();
        framework::SetMessageService(&messages);
        messages.answers = {Answer::Discard};
        router.Dispatch(cmd::kEditHtml);
        ASSERT_TRUE(ViewerReady(1));
        router.Dispatch(cmd::kAddPage);
        ASSERT_TRUE(EditorReady());
        router.Dispatch(cmd::kEditHtml);
        ASSERT_TRUE(ViewerReady(2));
        framework::SetMessageService(nullptr);
        router.Dispatch(cmd::kDeletePage);  // page 2 stays: No is the escape answer
        EXPECT_EQ(CourseItem(frame->PageTree())->childCount(), 2);
        // File New over the course just made asks; No goes back to the dialog, cancelled then.
        int runs = 0;
        view->SetDialogRunner([&](QDialog& dialog) {
            auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
            create.courseFileName = courseFileName;
            create.saveFolder = dir.path();
            return int(++runs == 1 ? QDialog::Accepted : QDialog::Rejected);
        });
        router.Dispatch(cmd::kFileNew);
        timer.stop();
        EXPECT_EQ(runs, 2);
        framework::SetMessageService(&messages);
        ASSERT_GE(pictured.size(), 2) << language;
        EXPECT_EQ(pictured[0], lang::MessageText("Unsaved"));
        const QString lastWords = lang::MessageText("Replace").section(QLatin1Char(' '), -2);
        EXPECT_TRUE(pictured.last().endsWith(lastWords) || pictured.last().contains(QString::fromStdString(dir / courseFileName)))
            << pictured.last().toStdString();
    }
}

// Opening reads: whatever a project file holds, opening it (also when it fails) leaves its bytes
// as they were. Only what opened joins the recent files; temporaries of interrupted saves go.
TEST_F(CourseKeeping, OpeningNeverRewritesAProjectFile) {
    QStringList recent;
    view->SetRecentFileSink([&](const QString& path) { recent << path; });
    // Imports that fail: the office suite raises an error for every deck.
    view->SetDeckImporter([this](CMirovaView&) {
        messages.Show(nullptr, QStringLiteral("import failed"));
        return false;
    });
    const std::string player = std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm";
    const struct {
        const char* name;
        std::string bytes;
        bool player;  // the course has its page viewer
        bool opens;
    } files[] = {
        {"truncated", "TVCF\r\n*\r\nOpt", true, false},
        {"no magic", "TVCF2\r\n*\r\nA\r\nB\r\nCOUNT:0\r\n", true, false},
        {"empty", "", true, false},
        {"bad counts", "TVCF\r\n*\r\nA\r\nB\r\nCOUNT:99\r\n1:One\r\nx:two\r\n-4:neg\r\n", true, true},
        {"lf only and blank lines", "\n\nTVCF\n*\nA\n\nB\nCOUNT:1\n\n5:Five\n", true, true},
        {"old empty names", "TVCF\r\n*\r\n\r\n\r\nCOUNT:1\r\n1:P\r\n", true, true},
        {"undecodable bytes", "TVCF\r\n*\r\nA\xFF\r\nB\x81\r\nCOUNT:1\r\n1:Gr\xFF" "e\r\n", true, true},
        {"utf-8", "\xEF\xBB\xBFTVCF\r\n*\r\nGr\xC3\xB6\xC3\x9F" "e\r\nB\r\nCOUNT:1\r\n1:\xC3\x9C\r\n", true, true},
        {"missing deck, no viewer", "TVCF\r\n/nowhere/deck.ppt\r\nC\r\nT\r\nCOUNT:2\r\n1:A\r\n2:B\r\n", false, false},
        {"deck path without folder", "TVCF\r\ndeck.ppt\r\nC\r\nT\r\nCOUNT:0\r\n", true, false},
        {"import request of a missing deck", "TVCF\r\n/nowhere/deck.ppt\r\n", false, false},
    };
    // A course that opens, to see that the failures leave it open.
    WriteBytes(dir / "Good.lsn", "TVCF\r\n*\r\nGood\r\nLee\r\nCOUNT:1\r\n1:Page 1\r\n");
    ASSERT_TRUE(view->ReadProjectFile(dir / "Good.lsn"));
    for (const auto& file : files) {
        SCOPED_TRACE(file.name);
        const std::string folder = dir / file.name;
        fs::create_directories(folder + "/web.files");
        if (file.player) fs::copy_file(player, folder + "/web.files/fullscreen.htm");
        const std::string path = folder + "/course.lsn";
        WriteBytes(path, file.bytes);
        WriteBytes(path + ".Ab12Cd", "half of an interrupted save");
        recent.clear();
        messages.shown.clear();
        const bool opened = view->ReadProjectFile(path);
        WaitUntil([] { return false; }, 100);  // an import request imports once the reader returns
        const bool open = view->Course().ProjectFilePath() == path;
        EXPECT_EQ(open, file.opens);
        EXPECT_EQ(ReadBytes(path), file.bytes) << "opening rewrote the file";
        if (file.opens) {
            EXPECT_TRUE(opened);
            EXPECT_EQ(recent, QStringList{QString::fromStdString(path)});
            EXPECT_FALSE(fs::exists(path + ".Ab12Cd"));
            ASSERT_TRUE(view->ReadProjectFile(dir / "Good.lsn"));
        } else {
            EXPECT_TRUE(recent.isEmpty()) << recent.join(QLatin1Char(' ')).toStdString();
            EXPECT_FALSE(messages.shown.isEmpty());
            EXPECT_EQ(view->Course().ProjectFilePath(), dir / "Good.lsn");
            EXPECT_EQ(CourseItem(frame->PageTree())->text(0), QStringLiteral("Good"));
        }
    }

    // File Open of a file that fails does not join the recent files either.
    recent.clear();
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(dir / "truncated/course.lsn"); });
    ASSERT_TRUE(router.Dispatch(cmd::kFileOpen));
    EXPECT_TRUE(recent.isEmpty());
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(dir / "bad counts/course.lsn"); });
    ASSERT_TRUE(router.Dispatch(cmd::kFileOpen));
    EXPECT_EQ(recent, QStringList{QString::fromStdString(dir / "bad counts/course.lsn")});
}

}  // namespace
}  // namespace tovra
