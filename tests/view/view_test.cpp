// The course view on the real browser engine: opening courses, File Open, the title protocol.
#include "view/mirova_view.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QUrl>
#include <filesystem>

#include "app/command_ids.h"
#include "app/settings.h"
#include "course/deck_import.h"
#include "lang/language_table.h"
#include "platform/browser/browser_control.h"
#include "platform/framework/message_box.h"
#include "tests/support/temp_dir.h"
#include "tests/support/web_test_app.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
using testing_support::WaitUntil;

constexpr std::string_view kCourse = "TVCF\r\n*\r\nOptics\r\nLecturer A\r\nCOUNT:3\r\n2:Two\r\n3:Three\r\n";

class ViewTest : public ::testing::Test {
protected:
    void SetUp() override {
        framework::SetMessageService(&messages);
        Program().programFolder = std::string(TOVRA_PROGRAM_DIR) + "/";
        Program().languageFile = std::string(kEnglishLanguageFile);
        view = std::make_unique<CMirovaView>();
        view->resize(800, 600);
        view->show();
        QObject::connect(&view->Browser(), &browser::BrowserControl::DocumentComplete,
                         [this](const QString& url) { loaded << url; });
    }
    void TearDown() override {
        view.reset();
        framework::SetMessageService(nullptr);
    }

    // A course folder with a player page and the given project file.
    std::string MakeCourse(const std::string& name, std::string_view projectBytes, bool withPlayer = true) {
        const std::string folder = dir / name;
        std::filesystem::create_directories(folder + "/web.files");
        if (withPlayer) {
            std::filesystem::copy_file(std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm",
                                       folder + "/web.files/fullscreen.htm");
        }
        const std::string path = folder + "/" + name + ".lsn";
        WriteBytes(path, projectBytes);
        return path;
    }

    bool WaitForLoad(const QString& urlEnd) {
        return WaitUntil([&] { return !loaded.isEmpty() && loaded.last().endsWith(urlEnd); }, 20000);
    }

    TempDir dir;
    framework::RecordingMessageService messages;
    std::unique_ptr<CMirovaView> view;
    QStringList loaded;
};

TEST_F(ViewTest, OpensBlankCourseAtItsFirstPageAndLearnsThePageFromTheTitle) {
    const std::string path = MakeCourse("Optics", kCourse);
    view->ReadProjectFile(path);
    const CourseProject& course = view->Course();
    EXPECT_EQ(course.folder, dir / "Optics");
    EXPECT_EQ(course.projectFileName, "Optics.lsn");
    EXPECT_EQ(course.pageCount, 3);
    EXPECT_EQ(course.currentPage, 2);
    EXPECT_EQ(view->CourseLabel(), "Optics");

    ASSERT_TRUE(WaitForLoad(QStringLiteral("fullscreen.htm?open=2.html")));
    EXPECT_EQ(view->Browser().CurrentUrl(),
              QUrl::fromLocalFile(QString::fromStdString(dir / "Optics/web.files/fullscreen.htm")).toString() +
                  QStringLiteral("?open=2.html"));
    // The view made the page report its number through the title.
    ASSERT_TRUE(WaitUntil([&] { return view->Browser().CurrentTitle() == QLatin1String("PAGE:2"); }, 5000));

    // The page turning itself reports a new number.
    ASSERT_TRUE(view->RunScript("document.title='PAGE:3';"));
    ASSERT_TRUE(WaitUntil([&] { return view->Course().currentPage == 3; }, 5000));
    view->OnTitleChange(QStringLiteral("no number here"));
    EXPECT_EQ(view->Course().currentPage, 3);
    view->OnTitleChange(QStringLiteral("PAGE:x"));
    EXPECT_EQ(view->Course().currentPage, 0);
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
}

TEST_F(ViewTest, RejectedFileLeavesThePreviousCourseOpenAndItsFileIntact) {
    const std::string good = MakeCourse("Optics", kCourse);
    view->ReadProjectFile(good);
    const std::string bad = MakeCourse("Broken", "TVCF2\r\n*\r\nX\r\nY\r\nCOUNT:1\r\n9:Nine\r\n");
    view->ReadProjectFile(bad);
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_FALSE(lang::MessageText("ErrFile").isEmpty());
    EXPECT_EQ(messages.shown[0], lang::MessageText("ErrFile"));

    EXPECT_EQ(view->Course().projectFileName, "Optics.lsn");
    EXPECT_EQ(view->Course().courseName, "Optics");
    view->WriteProjectFile();
    EXPECT_EQ(ReadBytes(good), "TVCF\r\n*\r\nOptics\r\nLecturer A\r\nCOUNT:2\r\n2:Two\r\n3:Three\r\n");
    EXPECT_EQ(ReadBytes(bad), "TVCF2\r\n*\r\nX\r\nY\r\nCOUNT:1\r\n9:Nine\r\n");

    view->ReadProjectFile(dir / "missing.lsn");
    ASSERT_EQ(messages.shown.size(), 2);
    // Which file, and why.
    EXPECT_EQ(messages.shown[1], lang::MessageWith("CannotRead", {QString::fromStdString(dir / "missing.lsn"),
                                                                  lang::MessageText("WhyMissing")}));
}

TEST_F(ViewTest, FailedSaveKeepsTheOldFileAndSaysWhere) {
    const std::string path = MakeCourse("Optics", kCourse);
    view->ReadProjectFile(path);
    std::filesystem::remove_all(dir / "Optics");
    view->WriteProjectFile();
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_EQ(messages.shown[0], lang::MessageWith("CannotWrite", {QString::fromStdString(dir / "Optics"),
                                                                   lang::MessageText("WhyMissing")}));
}

TEST_F(ViewTest, FileOpenBranchesOnTheFileEnding) {
    QString next;
    int dialogs = 0;
    QString lastFilter;
    view->SetFileChooser([&](const QString& filter) {
        ++dialogs;
        lastFilter = filter;
        return next;
    });
    QStringList recent;
    view->SetRecentFileSink([&](const QString& p) { recent << p; });
    std::vector<std::string> imported;
    view->SetDeckImporter([&](CMirovaView& v) {
        imported.push_back(v.Course().deckPath);
        return false;
    });

    next = QString::fromStdString(dir / "talk.ppt");
    view->OnFileOpen();  // no course open yet
    ASSERT_EQ(messages.shown.size(), 1);
    EXPECT_FALSE(lang::MessageText("NoPrj").isEmpty());
    EXPECT_EQ(messages.shown[0], lang::MessageText("NoPrj"));
    EXPECT_TRUE(imported.empty());

    next = QString::fromStdString(dir / "Deck.PPT");
    view->OnFileOpen();
    ASSERT_EQ(messages.shown.size(), 2);
    EXPECT_EQ(messages.shown[1], lang::MessageText("NoType") + next);  // the ending is compared case-sensitively

    next.clear();  // cancelled
    view->OnFileOpen();
    EXPECT_EQ(messages.shown.size(), 2);

    const std::string lsn = MakeCourse("Optics", kCourse);
    next = QString::fromStdString(lsn);
    view->OnFileOpen();
    EXPECT_EQ(recent, QStringList{next});
    EXPECT_EQ(view->Course().projectFileName, "Optics.lsn");
    EXPECT_EQ(lastFilter, lang::MessageText("FilterCourse") + QStringLiteral(";;") + DeckFileFilter());
    // Every kind of deck in one entry, then one entry per kind.
    EXPECT_TRUE(lastFilter.contains(QStringLiteral("(*.ppt *.pps *.pptx *.ppsx *.odp);;"))) << lastFilter.toStdString();
    EXPECT_TRUE(lastFilter.endsWith(lang::MessageText("FilterOdp") + QStringLiteral(" (*.odp)"))) << lastFilter.toStdString();

    // Now a course is open: a deck of any kind is imported into it.
    for (const char* name : {"talk.ppt", "talk.pptx", "talk.odp", "show.ppsx"}) {
        next = QString::fromStdString(dir / name);
        view->OnFileOpen();
    }
    EXPECT_EQ(imported, (std::vector<std::string>{dir / "talk.ppt", dir / "talk.pptx", dir / "talk.odp", dir / "show.ppsx"}));
    EXPECT_EQ(dialogs, 8);
}

TEST_F(ViewTest, TwoLineFileImportsItsDeckWithoutADialog) {
    int dialogs = 0;
    view->SetFileChooser([&](const QString&) {
        ++dialogs;
        return QString();
    });
    std::vector<std::string> imported;
    view->SetDeckImporter([&](CMirovaView& v) {
        imported.push_back(v.Course().folder + "|" + v.Course().deckPath);
        return true;
    });
    const std::string path = MakeCourse("FromDeck", "TVCF\r\n/talks/deck.ppt\r\n");
    view->ReadProjectFile(path);
    EXPECT_TRUE(view->Course().deckImportPending);
    EXPECT_TRUE(imported.empty());  // only once the reader has returned
    ASSERT_TRUE(WaitUntil([&] { return !imported.empty(); }, 5000));
    EXPECT_EQ(imported[0], dir / "FromDeck" + "|/talks/deck.ppt");
    ASSERT_TRUE(WaitForLoad(QStringLiteral("FromDeck/web.files/fullscreen.htm")));

    view->OnFileOpen();  // the import stays pending: again no dialog
    EXPECT_EQ(imported.size(), 2u);
    EXPECT_EQ(dialogs, 0);
    framework::CommandState fileNew;
    EXPECT_TRUE(view->OnUpdateCommand(cmd::kFileNew, fileNew));
    EXPECT_FALSE(fileNew.enabled);  // no new course while the import is pending
}

TEST_F(ViewTest, ImportedCourseIsImportedAgainOnlyWhenItsPlayerIsMissing) {
    int imports = 0;
    view->SetDeckImporter([&](CMirovaView&) {
        ++imports;
        return false;
    });
    const std::string bytes = "TVCF\r\n/talks/deck.ppt\r\nC\r\nT\r\nCOUNT:2\r\n1:A\r\n2:B\r\n";
    view->ReadProjectFile(MakeCourse("WithPlayer", bytes));
    EXPECT_EQ(imports, 0);
    EXPECT_EQ(view->CourseLabel(), "deck.ppt");
    ASSERT_TRUE(WaitForLoad(QStringLiteral("WithPlayer/web.files/fullscreen.htm")));

    view->ReadProjectFile(MakeCourse("NoPlayer", bytes, false));
    EXPECT_EQ(imports, 1);
}

TEST_F(ViewTest, AdvanceKeysCountStepsWithinBoundsAndClicksBeyondTheCourseNeverReachThePage) {
    view->ReadProjectFile(MakeCourse("Optics", kCourse));
    ASSERT_TRUE(WaitForLoad(QStringLiteral("fullscreen.htm?open=2.html")));
    QWidget* input = view->Browser().InputWidget();
    ASSERT_NE(input, nullptr);
    auto press = [&](Qt::Key key, int times) {
        for (int i = 0; i < times; ++i) {
            QKeyEvent event(QEvent::KeyPress, key, Qt::NoModifier);
            QCoreApplication::sendEvent(input, &event);
        }
    };
    press(Qt::Key_Right, 11);
    EXPECT_EQ(view->PageStep(), 11);
    press(Qt::Key_Left, 12);
    EXPECT_EQ(view->PageStep(), 0);
    press(Qt::Key_Down, 150);
    EXPECT_EQ(view->PageStep(), 99);
    press(Qt::Key_A, 3);  // other keys do not count
    EXPECT_EQ(view->PageStep(), 99);

    auto click = [&] {
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QMouseEvent event(type, QPointF(10, 10), QPointF(10, 10), Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
            QCoreApplication::sendEvent(input, &event);
        }
    };
    view->OnTitleChange(QStringLiteral("PAGE:3"));  // a new page starts at step 0
    EXPECT_EQ(view->PageStep(), 0);
    click();
    EXPECT_EQ(view->PageStep(), 1);                  // a click that reaches the page is a step
    view->OnTitleChange(QStringLiteral("PAGE:12"));  // beyond the course's three pages
    click();
    click();
    EXPECT_EQ(view->PageStep(), 0);
}

// A command with a state must have a handler, or its menu entry would be enabled and do nothing;
// the program's and the frame's commands are left to them.
TEST_F(ViewTest, EveryCommandWithAStateIsHandledAndOthersAreLeftToTheFrame) {
    int withState = 0;
    for (int id = cmd::kNextPage - 3; id <= cmd::kViewStatusBar + 3; ++id) {
        framework::CommandState state;
        if (!ViewCommandState(id, ViewCommandInputs{}, state)) continue;
        ++withState;
        EXPECT_TRUE(view->HandlesCommand(id)) << id;
    }
    EXPECT_EQ(withState, 16 + (cmd::kPenColourLast - cmd::kPenColourFirst + 1) +
                             (cmd::kVideoSourceLast - cmd::kVideoSourceFirst + 1));
    for (int id : {cmd::kAppAbout, cmd::kAppExit, cmd::kLanguageChinese, cmd::kShowMode, cmd::kFileMruFirst,
                   cmd::kVideoSourceFirst - 1, cmd::kPenColourLast + 1}) {
        EXPECT_FALSE(view->HandlesCommand(id)) << id;
        EXPECT_FALSE(view->OnCommand(id)) << id;
    }
    // A range's handler takes the offset: the third pen colour becomes the pen's colour.
    EXPECT_TRUE(view->OnCommand(cmd::kPenColourFirst + 2));
    framework::CommandState third;
    ASSERT_TRUE(view->OnUpdateCommand(cmd::kPenColourFirst + 2, third));
    EXPECT_TRUE(third.checked);
}

TEST_F(ViewTest, WithoutACourseTheStartPageOfTheLanguageIsShown) {
    view->OnInitialUpdate();
    ASSERT_TRUE(WaitForLoad(QStringLiteral("/ELanguage/English/help.htm")));
    EXPECT_FALSE(view->Browser().CurrentTitle().isEmpty());
}

}  // namespace
}  // namespace tovra
