// The interface as a teacher meets it, in both languages: every text on show in the one language
// chosen, messages that say what to do for causes produced for real, page keys that turn one page
// wherever the focus is, the pen while presenting, and a picture of every dialog and message.
#include <gtest/gtest.h>

#include <sys/mount.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDirIterator>
#include <QDockWidget>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QPainter>
#include <QRegularExpression>
#include <QScreen>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <filesystem>
#include <set>

#include "app/about_dialog.h"
#include "app/bandwidth_dialog.h"
#include "app/command_ids.h"
#include "app/menu_builder.h"
#include "app/resources.h"
#include "app/set_title_dialog.h"
#include "lang/language_table.h"
#include "lang/localize.h"
#include "platform/shell/profile.h"
#include "platform/slides/automation.h"
#include "tests/support/course_frame.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

// Every message key the program's code asks the language files for.
std::set<std::string> KeysTheCodeUses() {
    std::set<std::string> keys;
    static const QRegularExpression kCall(
        QStringLiteral(R"((?:MessageText|MessageWith|MessageNumbers|Message|lang::Message)\(\s*\"([A-Za-z]+)\")"));
    for (const char* folder : {"app", "view", "course", "lang", "media", "platform"}) {
        QDirIterator it(QStringLiteral(TOVRA_SOURCE_DIR "/%1").arg(QLatin1String(folder)), {"*.cpp", "*.h"},
                        QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext()) {
            QFile file(it.next());
            if (!file.open(QIODevice::ReadOnly)) continue;
            const QString source = QString::fromUtf8(file.readAll());
            for (auto match = kCall.globalMatch(source); match.hasNext();) keys.insert(match.next().captured(1).toStdString());
        }
    }
    // Keys the code picks at run time, out of the calls' sight.
    for (const char* key : {"DeckPassword", "DeckUnreadable", "BtnYes", "BtnNo", "BtnSave", "BtnDiscard", "BtnCancel",
                            "WhyDenied", "WhyFull", "WhyReadOnly", "WhyMissing"}) {
        keys.insert(key);
    }
    return keys;
}

bool HasCjk(const QString& text) {
    for (QChar c : text) {
        const ushort u = c.unicode();
        if ((u >= 0x3000 && u <= 0x9FFF) || (u >= 0xFF00 && u <= 0xFFEF)) return true;
    }
    return false;
}

// The names, commands and command-line words a Chinese text may hold as they are; what else is
// left of Latin words of three letters or more is English that leaked.
QString EnglishLeftIn(QString text) {
    static const char* const kAllowed[] = {"sudo apt install libreoffice-impress", "sudo apt install firefox-esr",
                                           "Tovra Editor", "Tovra",  "LibreOffice Impress", "LibreOffice",
                                           "PowerPoint", "Debian", "Ubuntu", "English", "Ctrl", "kbps", "lsn",
                                           "Impress", "ppt", "Esc", "tovra-editor", "DECK", "FOLDER", "PROJECT", "OUT",
                                           "SCORM", "zip", "MP4", "H.264", "AAC"};
    for (const char* allowed : kAllowed) text.remove(QString::fromLatin1(allowed));
    // Command-line options and file types are typed as they stand in any language.
    static const QRegularExpression kOptionOrType(QStringLiteral(R"(--[a-z][a-z-]*|\.[a-z]{2,4}\b)"));
    text.remove(kOptionOrType);
    static const QRegularExpression kWord(QStringLiteral("[A-Za-z]{3,}"));
    const QRegularExpressionMatch found = kWord.match(text);
    return found.hasMatch() ? found.captured(0) : QString();
}

class Interface : public testing_support::CourseFrameTest {
protected:
    // Checks that text belongs to the language of the run; where names the place it shows.
    void Expect(const QString& where, const QString& text) {
        ++checked;
        if (text.trimmed().isEmpty()) return;
        if (english) {
            QString rest = text;
            rest.remove(QStringLiteral("中文"));  // the other language's name, in its own letters
            EXPECT_FALSE(HasCjk(rest)) << where.toStdString() << ": " << text.toStdString();
        } else {
            EXPECT_EQ(EnglishLeftIn(text), QString()) << where.toStdString() << ": " << text.toStdString();
        }
    }
    void ExpectMenu(const QString& where, QWidget* menu) {
        for (QAction* action : menu->actions()) {
            if (action->isSeparator()) continue;
            Expect(where + " > " + action->text(), action->text());
            if (action->menu()) ExpectMenu(where + " > " + action->text(), action->menu());
        }
    }
    void ExpectWidgets(const QString& where, QWidget* root) {
        Expect(where + " title", root->windowTitle());
        for (QLabel* label : root->findChildren<QLabel*>()) Expect(where + " label", label->text());
        for (QAbstractButton* button : root->findChildren<QAbstractButton*>()) Expect(where + " button", button->text());
        for (QGroupBox* box : root->findChildren<QGroupBox*>()) Expect(where + " box", box->title());
        for (QLineEdit* edit : root->findChildren<QLineEdit*>()) {
            if (!edit->text().startsWith(QLatin1Char('/'))) Expect(where + " field", edit->text());  // paths are names
        }
        for (QWidget* widget : root->findChildren<QWidget*>()) Expect(where + " tip", widget->toolTip());
    }
    bool english = true;
    int checked = 0;
};

TEST_F(Interface, EveryTextOnShowIsInTheOneLanguageChosen) {
    const std::set<std::string> keys = KeysTheCodeUses();
    ASSERT_GT(keys.size(), 30u);
    for (const char* language : {"English", "Chinese"}) {
        SCOPED_TRACE(language);
        english = std::string(language) == "English";
        // Switched to, as a teacher does, from the other language.
        Start(english ? "Language/Chinese.ini" : "Language/English.ini");
        ASSERT_TRUE(router.Dispatch(english ? cmd::kLanguageEnglish : cmd::kLanguageChinese));
        checked = 0;
        ExpectMenu(QStringLiteral("menu"), frame->menuBar());
        MenuBuilder builder(router);
        for (const auto& [popup, base] : {std::pair{res::kViewPopup, "Class_R"}, std::pair{res::kTreePopup, "Class_T"}}) {
            std::unique_ptr<QMenu> menu(builder.BuildPopup(res::kContextMenu, popup, nullptr));
            lang::LocalizeMenu(menu.get(), base);
            ExpectMenu(QString::fromLatin1(base), menu.get());
        }
        for (QAction* action : frame->ToolBar()->actions()) Expect(QStringLiteral("toolbar tip"), action->toolTip());
        Expect(QStringLiteral("status bar"), frame->statusBar()->currentMessage());
        Expect(QStringLiteral("time pane"), frame->TimePane()->text());
        Expect(QStringLiteral("page tree"), frame->PageTree()->topLevelItem(0)->text(0));

        // The dialogs, as they open.
        CreateCourseDialog& create = view->CourseDialog();
        create.show();
        ExpectWidgets(QStringLiteral("New Course"), &create);
        create.hide();
        view->TitleDialog().show();
        ExpectWidgets(QStringLiteral("Course Details"), &view->TitleDialog());
        view->TitleDialog().hide();
        view->Bandwidth().show();
        ExpectWidgets(QStringLiteral("Bandwidth"), &view->Bandwidth());
        view->Bandwidth().hide();
        AboutDialog about(frame.get());
        ExpectWidgets(QStringLiteral("About"), &about);
        // The About box names the build's version in the language's words.
        QStringList aboutTexts;
        for (const QLabel* label : about.findChildren<QLabel*>()) aboutTexts << label->text();
        EXPECT_TRUE(aboutTexts.join(QLatin1Char('|')).contains(QLatin1String(" " TOVRA_VERSION)))
            << aboutTexts.join(QLatin1Char('|')).toStdString();

        // Every message the code can show, and the file filters.
        for (const std::string& key : keys) {
            const QString text = lang::MessageText(key);
            EXPECT_FALSE(text.isEmpty()) << "no text for " << key;
            Expect(QStringLiteral("message ") + QString::fromStdString(key), text);
        }
        EXPECT_GT(checked, 150);
    }
}

TEST_F(Interface, MessagesSayWhatToDoForCausesProducedForReal) {
    // A folder on a disk that can only be read.
    const std::string disk = dir / "read-only disk";
    fs::create_directories(disk);
    if (::mount("tovra-test", disk.c_str(), "tmpfs", MS_RDONLY, "size=1m") == 0) {
        view->SetDialogRunner([&](QDialog& dialog) {
            auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
            create.courseFileName = "Lesson";
            create.saveFolder = disk;
            return int(QDialog::Accepted);
        });
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        ::umount2(disk.c_str(), MNT_DETACH);
        EXPECT_EQ(messages.shown, QStringList{lang::MessageWith("CannotWrite", {QString::fromStdString(disk),
                                                                               lang::MessageText("WhyReadOnly")})});
    } else {
        ADD_FAILURE() << "a read-only disk cannot be mounted here: " << std::strerror(errno);
    }

    // No office suite where the program looks for it.
    messages.shown.clear();
    view->SetSlideServerFactory([] { return slides::CreateApplication({.office = "/nowhere/soffice"}); });
    deckPath = dir / "talk.ppt";
    // A compound file's signature: the bytes pass as a deck, so the office suite is asked for.
    WriteBytes(deckPath, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
    courseFileName = "Deck";
    view->SetDialogRunner([&](QDialog& dialog) {
        auto& create = dynamic_cast<CreateCourseDialog&>(dialog);
        create.courseFileName = courseFileName;
        create.saveFolder = dir.path();
        create.deckPath = deckPath;
        return int(QDialog::Accepted);
    });
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("NoOffice")});
    EXPECT_TRUE(lang::MessageText("NoOffice").contains(QLatin1String("libreoffice-impress")));

    // A file that is no deck is refused before the office suite is asked, and named.
    messages.shown.clear();
    WriteBytes(deckPath, "a deck");
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageWith("DeckNotADeck", {QStringLiteral("talk.ppt")})});
    EXPECT_FALSE(fs::exists(dir / "Deck"));

    // No web browser that starts.
    messages.shown.clear();
    courseFileName = "Blank";
    deckPath.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    view->SetOpenHandler([](const QString&) { return false; });
    ASSERT_TRUE(router.Dispatch(cmd::kBrowse));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageWith("NoBrowser", {QString::fromStdString(dir / "Blank/web.htm")})});
}

// An imported course of three slides (on the test's page viewer): a tree click on slide 1, then
// PgDn with the focus still in the tree, shows slide 2, presenting and recording alike.
TEST_F(Interface, PageKeysTurnOnePageWhereverTheFocusIs) {
    qputenv("TOVRA_TEST_CAMERA", "1");
    const std::string course = dir / "Deck";
    fs::create_directories(course + "/web.files");
    fs::copy_file(std::string(TOVRA_TEST_DATA_DIR) + "/course-template/web.files/fullscreen.htm",
                  course + "/web.files/fullscreen.htm");
    WriteBytes(course + "/Deck.lsn", "TVCF\r\n/talks/deck.ppt\r\nC\r\nT\r\nCOUNT:3\r\n1:A\r\n2:B\r\n3:C\r\n");
    ASSERT_TRUE(view->ReadProjectFile(course + "/Deck.lsn"));
    ASSERT_TRUE(WaitUntil([&] { return view->Browser().CurrentTitle() == QLatin1String("PAGE:1"); }, 15000));
    QTreeWidget* tree = frame->PageTree();
    frame->activateWindow();
    const auto pageDown = [&] {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_PageDown, Qt::NoModifier);
        QCoreApplication::sendEvent(tree, &key);
    };
    for (bool recording : {false, true}) {
        SCOPED_TRACE(recording ? "recording" : "presenting");
        if (recording) {
            ASSERT_TRUE(router.Dispatch(cmd::kRecordStart));
            ASSERT_EQ(view->State(), RecordState::Recording);
            ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= 750; }, 8000));
        }
        tree->setFocus();
        tree->setCurrentItem(PageItem(tree, 1));
        ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("String(GetCurSldNum())")) == QLatin1String("1"); }));
        ASSERT_EQ(QApplication::focusWidget(), tree);
        pageDown();
        EXPECT_EQ(view->Course().currentPage, 2);
        EXPECT_EQ(Evaluate(QStringLiteral("String(GetCurSldNum())")), QStringLiteral("2"));
        EXPECT_EQ(PageNumberOf(tree->currentItem()), 2);
        if (recording) ASSERT_TRUE(WaitUntil([&] { return view->ClockMs() >= 2000; }, 8000));
    }
    ASSERT_TRUE(router.Dispatch(cmd::kRecordStop));
    // The recording holds slide 1 and slide 2, never a jump to 3.
    const std::string timeline = ReadBytes(course + "/web.files/video001.js");
    EXPECT_NE(timeline.find("\"pages\",\"(2,"), std::string::npos) << timeline;
    EXPECT_EQ(timeline.find("\"pages\",\"(3,"), std::string::npos) << timeline;
    const std::string index = ReadBytes(course + "/web.files/CourseIndex.js");
    EXPECT_EQ(index.find("leaf('C'"), std::string::npos) << index;

    // A click on the page that gives it the focus does only that.
    tree->setFocus();
    QWidget* page = view->Browser().InputWidget();
    const QPointF middle(page->width() / 2.0, page->height() / 2.0);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, middle, page->mapToGlobal(middle), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(page, &click);
    }
    EXPECT_TRUE(page->hasFocus());
    EXPECT_EQ(view->PageStep(), 0);  // the click went nowhere
    qunsetenv("TOVRA_TEST_CAMERA");
}

// The pen while presenting: the stroke shows over the page, and nothing is written anywhere.
TEST_F(Interface, ThePenDrawsWhilePresentingAndWritesNothing) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("typeof zonEdit")) == QLatin1String("object"); }, 15000));
    router.Dispatch(cmd::kEditHtml);
    ASSERT_TRUE(WaitUntil([&] { return Evaluate(QStringLiteral("typeof GetCurSldNum")) == QLatin1String("function"); }, 15000));
    // The viewer's own report of its page clears the ink, as a page change does: it comes first.
    ASSERT_TRUE(WaitUntil([&] { return view->Browser().CurrentTitle() == QLatin1String("Page 1"); }, 10000));
    WaitUntil([] { return false; }, 500);
    const auto before = testing::FilesUnder(dir / "Lesson1");
    ASSERT_TRUE(router.Update(cmd::kPen).enabled);
    ASSERT_TRUE(router.Update(cmd::kPenColourFirst + 5).enabled);
    ASSERT_TRUE(router.Dispatch(cmd::kPen));
    ASSERT_TRUE(router.Dispatch(cmd::kPenColourFirst + 5));  // red
    QWidget* input = view->Browser().InputWidget();
    input->setFocus();
    const auto mouse = [&](QEvent::Type type, QPoint at, Qt::MouseButtons buttons) {
        const QPoint local = input->mapFrom(view, at);
        QMouseEvent event(type, QPointF(local), QPointF(input->mapToGlobal(local)),
                          type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &event);
    };
    mouse(QEvent::MouseButtonPress, QPoint(100, 100), Qt::LeftButton);
    for (int i = 1; i <= 20; ++i) mouse(QEvent::MouseMove, QPoint(100 + 10 * i, 100 + 5 * i), Qt::LeftButton);
    mouse(QEvent::MouseButtonRelease, QPoint(300, 200), Qt::NoButton);
    ASSERT_EQ(view->Strokes().size(), 1u);
    WaitUntil([] { return false; }, 300);
    ASSERT_EQ(view->Strokes().size(), 1u) << "the stroke stays while the page does";
    const QImage shot = frame->grab().toImage();
    const QPoint onStroke = view->mapTo(frame.get(), QPoint(200, 150));
    const QColor pixel = shot.pixelColor(onStroke);
    EXPECT_GT(pixel.red(), 180) << pixel.name().toStdString();
    EXPECT_LT(pixel.green(), 80) << pixel.name().toStdString();
    shot.save(QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts/pen-presenting.png"));
    EXPECT_EQ(testing::FilesUnder(dir / "Lesson1"), before);  // written nowhere
    EXPECT_FALSE(fs::exists(dir / "Lesson1/web.files/video001.js"));
    // A page change takes the ink away.
    router.Dispatch(cmd::kAddPage);
    EXPECT_TRUE(view->Strokes().empty());
}

// A picture of the main window, every dialog and every message in both languages, to look at;
// and the dialogs fit a 1280 × 800 screen without cutting their fields.
TEST_F(Interface, PicturesOfEveryDialogAndMessage) {
    const std::set<std::string> keys = KeysTheCodeUses();
    for (const char* language : {"English", "Chinese"}) {
        Start(std::string("Language/") + language + ".ini");
        const QString folder = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts/interface-%1").arg(QLatin1String(language));
        QDir().mkpath(folder);
        frame->resize(1280, 800);
        WaitUntil([] { return false; }, 500);
        EXPECT_TRUE(frame->grab().save(folder + QStringLiteral("/main-window.png")));
        {
            // File > Export, open as the teacher sees it: the File menu and its Export submenu.
            QMenu* file = frame->menuBar()->actions().value(0)->menu();
            ASSERT_NE(file, nullptr);
            file->popup(frame->mapToGlobal(QPoint(8, 30)));
            QAction* exporting = nullptr;
            for (QAction* a : file->actions()) {
                if (a->menu() && !a->menu()->actions().isEmpty() && a->menu()->actions()[0]->data().toInt() == cmd::kExportScorm) exporting = a;
            }
            ASSERT_NE(exporting, nullptr);
            file->setActiveAction(exporting);
            QMenu* sub = exporting->menu();
            sub->popup(file->mapToGlobal(file->actionGeometry(exporting).topRight()));
            WaitUntil([] { return false; }, 200);
            const QPixmap left = file->grab(), right = sub->grab();
            QPixmap both(left.width() + right.width(), std::max(left.height(), file->actionGeometry(exporting).top() + right.height()));
            both.fill(Qt::white);
            QPainter paint(&both);
            paint.drawPixmap(0, 0, left);
            paint.drawPixmap(left.width(), file->actionGeometry(exporting).top(), right);
            paint.end();
            EXPECT_TRUE(both.save(folder + QStringLiteral("/menu-file-export.png")));
            sub->hide();
            file->hide();
        }
        std::vector<std::pair<QString, QWidget*>> dialogs = {
            {QStringLiteral("new-course"), &view->CourseDialog()},
            {QStringLiteral("course-details"), &view->TitleDialog()},
            {QStringLiteral("bandwidth"), &view->Bandwidth()}};
        AboutDialog about(frame.get());
        dialogs.emplace_back(QStringLiteral("about"), &about);
        for (const auto& [name, dialog] : dialogs) {
            dialog->show();
            WaitUntil([] { return false; }, 100);
            const QSize size = dialog->sizeHint();
            EXPECT_LE(size.width(), 1280) << name.toStdString();
            EXPECT_LE(size.height(), 760) << name.toStdString();
            EXPECT_TRUE(dialog->grab().save(folder + "/" + name + ".png"));
            dialog->hide();
        }
        // The folder field shows a whole usual path.
        auto* path = view->CourseDialog().findChildren<QLineEdit*>().value(1);
        ASSERT_NE(path, nullptr);
        EXPECT_GE(path->minimumWidth(), path->fontMetrics().horizontalAdvance(QStringLiteral("/home/teacher/Documents/Courses")));

        // Each message in the real box.
        framework::SetMessageService(nullptr);
        QString name;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                auto* box = qobject_cast<QMessageBox*>(widget);
                if (!box || !box->isVisible()) continue;
                EXPECT_EQ(box->windowTitle(), QStringLiteral("Tovra Editor"));
                box->grab().save(folder + "/message-" + name + ".png");
                box->done(0);
            }
        });
        timer.start(30);
        for (const std::string& key : keys) {
            const QString text = lang::MessageWith(key, {QStringLiteral("/home/teacher/Courses/Optics"),
                                                         lang::MessageText("WhyDenied")});
            if (text.isEmpty() || key.rfind("Btn", 0) == 0 || key.rfind("Why", 0) == 0 || key.rfind("Filter", 0) == 0) {
                continue;
            }
            name = QString::fromStdString(key);
            framework::Messages().Show(frame.get(), text);
        }
        timer.stop();
        framework::SetMessageService(&messages);
        EXPECT_TRUE(QFileInfo::exists(folder + "/message-NoOffice.png"));
    }
}

// The page tree bar keeps the width it was dragged to, across a restart.
TEST_F(Interface, ThePageTreeBarKeepsItsWidth) {
    auto* dock = frame->findChild<QDockWidget*>(QStringLiteral("PageTreeBarDock"));
    ASSERT_NE(dock, nullptr);
    frame->resizeDocks({dock}, {320}, Qt::Horizontal);
    ASSERT_TRUE(WaitUntil([&] { return frame->TreeBar()->width() >= 300; }));
    const int width = frame->TreeBar()->width();
    EXPECT_TRUE(frame->close());
    Start("Language/English.ini");
    const bool kept = WaitUntil([&] { return frame->TreeBar()->width() == width; });
    // The tests of a run share one profile: the next editor starts at the usual width again.
    shell::Profile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("TreeBarWidth"), PageTreeBar::kWidth);
    EXPECT_TRUE(kept) << frame->TreeBar()->width();
}

}  // namespace
}  // namespace tovra
