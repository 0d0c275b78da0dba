// The real main frame: menus from each language file, the language switch, toolbar tips, the
// status bar clock, the page tree bar's layout, show mode, and screenshots of the window.
#include "app/main_frame.h"
#include "lang/language_table.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeWidget>
#include <filesystem>

#include "app/bandwidth_dialog.h"
#include "app/command_ids.h"
#include "app/create_course_dialog.h"
#include "app/set_title_dialog.h"
#include "app/menu_builder.h"
#include "app/resources.h"
#include "app/settings.h"
#include "platform/shell/profile.h"
#include "course/page_tree_bar.h"
#include "lang/localize.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_test_app.h"
#include "view/mirova_view.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing_support::WaitUntil;

std::string Utf16File(const std::u16string& text) {
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : text) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    return bytes;
}

QStringList Captions(QWidget* menu) {
    QStringList captions;
    for (QAction* action : menu->actions()) captions << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return captions;
}

QAction* FindCommand(QWidget* menu, int id) {
    for (QAction* action : menu->actions()) {
        if (action->menu()) {
            if (QAction* found = FindCommand(action->menu(), id)) return found;
        } else if (!action->isSeparator() && action->data().toInt() == id) {
            return action;
        }
    }
    return nullptr;
}

// A program folder of its own (the settings file is written there) with the shipped languages.
class MainFrameTest : public ::testing::Test {
protected:
    void SetUp() override {
        saved = Program();
        const std::string shipped = TOVRA_PROGRAM_DIR;
        std::filesystem::create_directory_symlink(shipped + "/ELanguage", dir / "ELanguage");
        std::filesystem::create_directories(dir / "Language");
        for (const char* file : {"Chinese.ini", "English.ini"}) {
            std::filesystem::copy_file(shipped + "/Language/" + file, dir / (std::string("Language/") + file));
        }
        Program().programFolder = dir.path() + "/";
        framework::SetMessageService(&messages);
    }
    void TearDown() override {
        router.SetTargets({});
        frame.reset();
        framework::SetMessageService(nullptr);
        Program() = saved;
    }

    void Start(const std::string& languageFile) {
        Program().languageFile = languageFile;
        view = new CMirovaView;
        frame = std::make_unique<CMainFrame>(router, view);
        router.SetTargets({view, frame.get()});
        view->OnInitialUpdate();
    }

    QMenuBar* Bar() { return frame->menuBar(); }
    std::string ReadSettingForTest() { return ReadSetting({}, "Sel", "none"); }
    QMenu* TopMenu(int index) { return Bar()->actions().at(index)->menu(); }

    TempDir dir;
    ProgramSettings saved;
    framework::RecordingMessageService messages;
    framework::CommandRouter router;
    CMirovaView* view = nullptr;
    std::unique_ptr<CMainFrame> frame;
};

TEST_F(MainFrameTest, MenusTakeTheirCaptionsFromTheLanguageFile) {
    Start("Language/English.ini");
    EXPECT_EQ(Captions(Bar()), (QStringList{"&File", "&Edit", "&View", "&Help"}));
    EXPECT_EQ(FindCommand(TopMenu(0), cmd::kFileOpen)->text(), QStringLiteral("&Open...\tCtrl+O"));
    EXPECT_EQ(TopMenu(1)->actions().at(0)->text(), QStringLiteral("&Camera"));    // Class_1 M0
    EXPECT_EQ(TopMenu(2)->actions().at(4)->text(), QStringLiteral("&Language"));  // Class_2 M4
    EXPECT_EQ(FindCommand(TopMenu(2), cmd::kLanguageChinese)->text(), QStringLiteral("&Chinese (中文)"));
    EXPECT_EQ(frame->windowTitle(), QStringLiteral("Tovra editor"));
    EXPECT_EQ(frame->LanguageChoice(), 1);
}

TEST_F(MainFrameTest, EmptyLanguageFileKeepsTheResourceCaptions) {
    WriteBytes(dir / "Language/Empty.ini", "");
    Start("Language/Empty.ini");
    EXPECT_EQ(Captions(Bar()), (QStringList{"文件(&F)", "编辑(&E)", "查看(&V)", "帮助(&H)"}));
    EXPECT_EQ(Captions(TopMenu(2)),
              (QStringList{"工具栏(&T)", "状态栏(&S)", "-", "浏览(&W)", "Language", "-", "放映(&S)\tF5"}));
    EXPECT_EQ(FindCommand(TopMenu(2), cmd::kLanguageEnglish)->text(), QStringLiteral("Englisth"));
    // An empty language file gives the second language's check mark.
    EXPECT_EQ(frame->LanguageChoice(), 1);
    EXPECT_TRUE(router.Update(cmd::kLanguageEnglish).checked);
    EXPECT_FALSE(router.Update(cmd::kLanguageChinese).checked);
}

TEST_F(MainFrameTest, OnlyFileMenuCaptionChangesWithASingleKey) {
    WriteBytes(dir / "Language/One.ini", Utf16File(u"[Class]\r\nM0=Datei\r\n"));
    Start("Language/One.ini");
    EXPECT_EQ(Captions(Bar()), (QStringList{"Datei", "编辑(&E)", "查看(&V)", "帮助(&H)"}));
    EXPECT_EQ(FindCommand(TopMenu(0), cmd::kFileOpen)->text(), QStringLiteral("打开(&O)...\tCtrl+O"));
}

TEST_F(MainFrameTest, ContextMenusFindTheirSections) {
    Start("Language/English.ini");
    MenuBuilder builder(router);
    std::unique_ptr<QMenu> view(builder.BuildPopup(res::kContextMenu, res::kViewPopup, nullptr));
    lang::LocalizeMenu(view.get(), "Class_R");
    QMenu* colours = view->actions().at(6)->menu();
    ASSERT_NE(colours, nullptr);
    EXPECT_EQ(view->actions().at(6)->text(), QStringLiteral("Pen &Colour"));
    ASSERT_EQ(colours->actions().size(), 16);
    EXPECT_EQ(colours->actions().at(0)->text(), QStringLiteral("Black"));
    EXPECT_EQ(colours->actions().at(9)->data().toInt(), 32841);
    EXPECT_EQ(FindCommand(view.get(), cmd::kEndShow)->text(), QStringLiteral("&End Show"));

    std::unique_ptr<QMenu> tree(builder.BuildPopup(res::kContextMenu, res::kTreePopup, nullptr));
    lang::LocalizeMenu(tree.get(), "Class_T");
    EXPECT_EQ(Captions(tree.get()), (QStringList{"&Add Page", "&Delete Page"}));
}

TEST_F(MainFrameTest, LanguageSwitchTakesEveryTextOnShowAtOnce) {
    Start("Language/English.ini");
    QAction* next = router.ActionFor(cmd::kNextPage, QString(), frame.get());
    EXPECT_EQ(next->toolTip(), QStringLiteral("Next page"));
    ASSERT_TRUE(router.Dispatch(cmd::kLanguageChinese));
    EXPECT_EQ(ReadSettingForTest(), "Language/Chinese.ini");
    EXPECT_EQ(frame->LanguageChoice(), 0);
    EXPECT_TRUE(router.Update(cmd::kLanguageChinese).checked);
    EXPECT_FALSE(router.Update(cmd::kLanguageEnglish).checked);
    EXPECT_EQ(Captions(Bar()).first(), QStringLiteral("文件(&F)"));
    // The toolbar's tips, the tree's top item and the status bar follow at once.
    EXPECT_EQ(next->toolTip(), QStringLiteral("下一页"));
    EXPECT_EQ(frame->PageTree()->topLevelItem(0)->text(0), QStringLiteral("课程目录"));
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("就绪"));

    ASSERT_TRUE(router.Dispatch(cmd::kLanguageEnglish));
    EXPECT_EQ(ReadSettingForTest(), "Language/English.ini");
    EXPECT_EQ(Captions(Bar()).first(), QStringLiteral("&File"));
    EXPECT_EQ(next->toolTip(), QStringLiteral("Next page"));
    EXPECT_EQ(frame->PageTree()->topLevelItem(0)->text(0), QStringLiteral("Course Outline"));
    EXPECT_EQ(frame->statusBar()->currentMessage(), QStringLiteral("Ready"));
}

// A choice that cannot be kept is said, in the new language, naming the file; the switch stands.
TEST_F(MainFrameTest, ALanguageChoiceThatCannotBeKeptIsSaid) {
    Start("Language/English.ini");
    Program().installedPrefix = dir.path() + "/";  // installed: changes go to the user's file
    Program().userSettingsFile = dir.path() + "/not a folder/tovra-editor/Vanti.ini";
    WriteBytes(dir / "not a folder", "a file where the folder would be");
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kLanguageChinese));
    EXPECT_EQ(frame->LanguageChoice(), 0);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_TRUE(messages.shown[0].startsWith(QStringLiteral("界面语言已切换"))) << messages.shown[0].toStdString();
    EXPECT_TRUE(messages.shown[0].contains(QString::fromStdString(Program().userSettingsFile)));
    // Once it can be written, the switch says nothing.
    Program().userSettingsFile = dir.path() + "/config/tovra-editor/Vanti.ini";
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kLanguageEnglish));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_NE(ReadBytes(Program().userSettingsFile).find("Sel=Language/English.ini"), std::string::npos);
}

TEST_F(MainFrameTest, VideoSourceMenuListsAtMostThirteenDevices) {
    Start("Language/English.ini");
    QStringList devices;
    for (int i = 0; i < 15; ++i) devices << QStringLiteral("Camera %1").arg(i);
    view->SetVideoDevices(devices);
    frame->RebuildMainMenu();
    QMenu* sources = TopMenu(1)->actions().at(0)->menu();
    ASSERT_EQ(sources->actions().size(), 13);
    EXPECT_EQ(sources->actions().at(0)->text(), QStringLiteral("Camera 0"));
    EXPECT_EQ(sources->actions().at(12)->data().toInt(), cmd::kVideoSourceLast);

    view->SetVideoDevices({});
    frame->RebuildMainMenu();
    EXPECT_TRUE(TopMenu(1)->actions().at(0)->menu()->actions().isEmpty());
}

TEST_F(MainFrameTest, ElapsedTimePane) {
    Start("Language/English.ini");
    EXPECT_EQ(frame->TimePane()->text(), lang::MessageText("TimeIdle"));
    frame->SetElapsedTime(0);
    EXPECT_EQ(frame->TimePane()->text(), QStringLiteral("00:00:00"));
    frame->SetElapsedTime(3'723'000);
    EXPECT_EQ(frame->TimePane()->text(), QStringLiteral("01:02:03"));
    frame->SetElapsedTime(360'000'000);
    EXPECT_EQ(frame->TimePane()->text(), QStringLiteral("100:00:00"));
    EXPECT_EQ(FormatElapsedTime(59'999), QStringLiteral("00:00:59"));
    EXPECT_EQ(FormatElapsedTime(UINT32_MAX), QStringLiteral("1193:02:47"));
}

TEST_F(MainFrameTest, PageTreeBarLayoutAndFixedItem) {
    // The width a teacher (or another test of this run) dragged the bar to last would be kept.
    shell::Profile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("TreeBarWidth"), PageTreeBar::kWidth);
    Start("Language/English.ini");
    PageTreeBar* bar = frame->TreeBar();
    EXPECT_EQ(PageTreeBar::PreviewSize(162), QSize(160, 120));
    EXPECT_EQ(PageTreeBar::PreviewSize(2), QSize(0, 0));
    frame->resize(1000, 700);
    frame->show();
    ASSERT_TRUE(WaitUntil([&] { return bar->isVisible() && bar->height() > 300; }));
    EXPECT_EQ(bar->width(), PageTreeBar::kWidth);
    EXPECT_EQ(bar->Preview()->geometry(), QRect(0, 0, 160, 120));
    EXPECT_EQ(bar->Tree()->geometry(), QRect(0, 120, 160, bar->height() - 120));
    ASSERT_EQ(bar->Tree()->topLevelItemCount(), 1);
    EXPECT_EQ(bar->Tree()->topLevelItem(0)->text(0), QStringLiteral("Course Outline"));
    EXPECT_FALSE(bar->Preview()->pixmap().isNull());
}

TEST_F(MainFrameTest, F5StartsAShowAndEscLeavesIt) {
    Start("Language/English.ini");
    frame->show();
    ASSERT_TRUE(WaitUntil([&] { return frame->isVisible(); }));
    EXPECT_FALSE(router.Update(cmd::kEndShow).enabled);

    QObject* page = view->Browser().InputWidget() ? static_cast<QObject*>(view->Browser().InputWidget())
                                                  : static_cast<QObject*>(view);
    // Esc alone starts nothing; F5 starts the show, as the View menu says.
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &escape);
    WaitUntil([] { return false; }, 200);
    EXPECT_EQ(frame->ShowMode(), 0);
    EXPECT_NE(FindCommand(TopMenu(2), cmd::kShowMode), nullptr);
    frame->activateWindow();
    QKeyEvent f5(QEvent::KeyPress, Qt::Key_F5, Qt::NoModifier);
    QCoreApplication::sendEvent(page, &f5);
    ASSERT_TRUE(WaitUntil([&] { return frame->ShowMode() == 1; }));
    EXPECT_TRUE(frame->ToolBar()->isHidden());
    EXPECT_TRUE(frame->statusBar()->isHidden());
    EXPECT_TRUE(frame->TreeBar()->parentWidget()->isHidden());
    EXPECT_TRUE(frame->menuBar()->isHidden());
    EXPECT_TRUE(router.Update(cmd::kEndShow).enabled);

    QCoreApplication::sendEvent(page, &escape);
    ASSERT_TRUE(WaitUntil([&] { return frame->ShowMode() == 0; }));
    EXPECT_FALSE(frame->ToolBar()->isHidden());
    EXPECT_FALSE(frame->statusBar()->isHidden());
    EXPECT_FALSE(frame->TreeBar()->parentWidget()->isHidden());
    EXPECT_FALSE(frame->menuBar()->isHidden());
    EXPECT_EQ(Captions(Bar()).first(), QStringLiteral("&File"));
}

TEST_F(MainFrameTest, ToolbarHasEveryButtonWithAnIcon) {
    Start("Language/English.ini");
    const QList<QAction*> actions = frame->ToolBar()->actions();
    ASSERT_EQ(actions.size(), 31);
    EXPECT_TRUE(actions[4]->isSeparator());
    EXPECT_EQ(actions[8]->data().toInt(), cmd::kRecordStart);
    EXPECT_EQ(actions[13]->data().toInt(), cmd::kPenColourFirst);
    EXPECT_EQ(actions[30]->data().toInt(), cmd::kAppAbout);
    for (QAction* action : actions) {
        if (!action->isSeparator()) {
            EXPECT_FALSE(action->icon().isNull()) << action->data().toInt();
        }
    }
    // View menu toggles the toolbar and shows its state.
    frame->show();
    ASSERT_TRUE(router.Dispatch(cmd::kViewToolbar));
    EXPECT_TRUE(frame->ToolBar()->isHidden());
    EXPECT_FALSE(router.Update(cmd::kViewToolbar).checked);
    ASSERT_TRUE(router.Dispatch(cmd::kViewToolbar));
    EXPECT_TRUE(router.Update(cmd::kViewToolbar).checked);
}

// Saves the whole main window (help page loaded) in both languages beside the build's program.
TEST_F(MainFrameTest, ScreenshotsInChineseAndEnglish) {
    const QString artifacts = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts");
    QDir().mkpath(artifacts);
    for (auto [file, name] : {std::pair{"Language/Chinese.ini", "main-window-zh.png"},
                              std::pair{"Language/English.ini", "main-window-en.png"}}) {
        router.SetTargets({});
        frame.reset();
        Start(file);
        QStringList loaded;
        QObject::connect(&view->Browser(), &browser::BrowserControl::DocumentComplete,
                         [&](const QString& url) { loaded << url; });
        frame->resize(1280, 800);
        frame->show();
        ASSERT_TRUE(WaitUntil([&] { return !loaded.isEmpty(); }, 20000));
        WaitUntil([] { return false; }, 1500);  // let the page paint
        QPixmap shot = frame->screen()->grabWindow(frame->winId());
        if (shot.isNull() || shot.width() < 100) shot = frame->grab();
        ASSERT_TRUE(shot.save(artifacts + QLatin1Char('/') + QLatin1String(name)));

        // The course dialogs in the same language.
        const QString suffix = QString::fromLatin1(name).mid(QStringLiteral("main-window").size());
        CreateCourseDialog create(frame.get());
        BandwidthDialog bandwidth(frame.get());
        SetTitleDialog title(frame.get());
        for (auto [dialog, base] : {std::pair<QDialog*, const char*>{&create, "create-course"},
                                    std::pair<QDialog*, const char*>{&bandwidth, "bandwidth"},
                                    std::pair<QDialog*, const char*>{&title, "set-title"}}) {
            dialog->show();
            WaitUntil([] { return false; }, 200);
            ASSERT_TRUE(dialog->grab().save(artifacts + QLatin1Char('/') + QLatin1String(base) + suffix));
            dialog->hide();
        }
    }
}

}  // namespace
}  // namespace tovra
