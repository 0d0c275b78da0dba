// Importing a slide deck into a course with the real main frame, view and engine: the page list,
// the project file, the redirect page and the patched slide script, on a simulated automation
// server for the failure paths and on LibreOffice with real decks.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QTimer>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QTreeWidget>
#include <QUrl>
#include <cstdio>
#include <filesystem>

#include "app/command_ids.h"
#include "course/deck_files.h"
#include "lang/language_table.h"
#include "platform/slides/automation.h"
#include "tests/support/course_frame.h"
#include "tests/support/made_deck.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

constexpr std::string_view kExportScript = "function LoadSld() { loaded = 1; }\n";

// A simulated automation server: slides as given, failures where asked.
struct FakeDeck {
    struct SlideData {
        bool hasTitle = true;
        std::string title;
        bool noTextRange = false;
        bool hidden = false;
    };
    std::vector<SlideData> slides;
    std::string throwAt;          // "open", "slide3", "saveas"
    bool throwOther = false;      // something other than an automation error
    bool rewriteScript = true;    // SaveAs writes a fresh script.js
    std::vector<std::string> calls;
};

class FakeServer final : public slides::Application, slides::Presentations, slides::Presentation, slides::Slides {
public:
    explicit FakeServer(FakeDeck& deck) : deck_(deck) {
        for (const FakeDeck::SlideData& data : deck.slides) slides_.push_back(std::make_unique<FakeSlide>(data));
    }
    slides::Presentations* GetPresentations() override { return this; }
    void Quit() override { deck_.calls.push_back("quit"); }
    void Cancel() override { deck_.calls.push_back("cancel"); }
    void SetProgressSink(slides::ProgressSink) override {}
    slides::Presentation* Open(const std::string& fileName, int readOnly, int untitled, int withWindow) override {
        deck_.calls.push_back("open " + fileName + " " + std::to_string(readOnly) + std::to_string(untitled) +
                              std::to_string(withWindow));
        Fail("open");
        return this;
    }
    slides::Slides* GetSlides() override { return this; }
    void SaveAs(const std::string& fileName, int format, int) override {
        deck_.calls.push_back("saveas " + fileName + " " + std::to_string(format));
        Fail("saveas");
        const std::string folder = fileName.substr(0, fileName.rfind('/')) + "/web.files";
        fs::create_directories(folder);  // as the real export does
        WriteBytes(fileName, "exported start page");
        WriteBytes(folder + "/fullscreen.htm", "<html><body>viewer</body></html>");
        if (deck_.rewriteScript) WriteBytes(folder + "/script.js", kExportScript);
    }
    void Close() override { deck_.calls.push_back("close"); }
    int GetCount() override { return static_cast<int>(slides_.size()); }
    slides::Slide* Item(int index) override {
        Fail("slide" + std::to_string(index));
        return slides_.at(static_cast<size_t>(index - 1)).get();
    }

private:
    struct FakeSlide final : slides::Slide, slides::Shapes, slides::Shape, slides::TextFrame, slides::TextRange,
                             slides::SlideShowTransition {
        explicit FakeSlide(const FakeDeck::SlideData& d) : data(d) {}
        slides::SlideShowTransition* GetSlideShowTransition() override { return this; }
        int GetHidden() override { return data.hidden; }
        slides::Shapes* GetShapes() override { return this; }
        int GetHasTitle() override { return data.hasTitle; }
        slides::Shape* GetTitle() override { return this; }
        slides::TextFrame* GetTextFrame() override { return this; }
        slides::TextRange* GetTextRange() override { return data.noTextRange ? nullptr : this; }
        std::string GetText() override { return data.title; }
        FakeDeck::SlideData data;
    };
    void Fail(const std::string& where) {
        if (deck_.throwAt != where) return;
        if (deck_.throwOther) throw std::runtime_error("not an automation error");
        throw slides::AutomationError("automation failed at " + where);
    }
    FakeDeck& deck_;
    std::vector<std::unique_ptr<FakeSlide>> slides_;
};

class DeckImport : public testing_support::CourseFrameTest {
protected:
    void UseFakeServer() {
        // The file is looked at before the server is asked: a deck's first bytes, as a
        // compound file has them.
        if (deckPath.find('/') != std::string::npos && !fs::exists(deckPath)) {
            fs::create_directories(fs::path(deckPath).parent_path());
            WriteBytes(deckPath, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));
        }
        view->SetSlideServerFactory([this]() -> std::unique_ptr<slides::Application> {
            if (noServer) return nullptr;
            return std::make_unique<FakeServer>(fake);
        });
    }
    std::string Folder() const { return dir / "Lesson1"; }
    std::string Project() const { return ReadBytes(Folder() + "/Lesson1.lsn"); }
    std::string ProjectWith(const std::string& pageLines, int count) const {
        return "TVCF\r\n" + deckPath + "\r\nOptics\r\nLee\r\nCOUNT:" + std::to_string(count) + "\r\n" + pageLines;
    }
    QStringList TreeLabels() const {
        QStringList labels;
        QTreeWidgetItem* course = CourseItem(frame->PageTree());
        if (!course) return {QStringLiteral("<no course item>")};
        labels << course->text(0);
        for (int i = 0; i < course->childCount(); ++i) {
            labels << QString::number(PageNumberOf(course->child(i))) + QLatin1Char(':') + course->child(i)->text(0);
        }
        return labels;
    }
    std::string PatchedScript() const {
        std::string patched(kExportScript);
        patched[13] = '_';
        return patched + std::string(kProgramSlideScript);
    }

    FakeDeck fake;
    bool noServer = false;
};

TEST_F(DeckImport, PagesFromTheSlideTitlesAndTheTwoRewrittenFiles) {
    deckPath = dir / "talks/deck.ppt";
    fake.slides = {{true, "A"}, {false, ""}, {true, "C"}, {true, ""}, {true, "Line\rtwo"}};
    UseFakeServer();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(fake.calls, (std::vector<std::string>{"open " + deckPath + " 000", "saveas " + Folder() + "/web.htm 12",
                                                    "close", "quit"}));
    // A title's line break shows as a blank; the title keeps it (the project file then has a blank).
    EXPECT_EQ(TreeLabels(), (QStringList{"deck.ppt", "1:A", "2:Page 2", "3:C", "4:Page 4", "5:Line two"}));
    EXPECT_EQ(PageTitleOf(PageItem(frame->PageTree(), 5)), "Line\rtwo");
    EXPECT_EQ(view->Course().pageCount, 5);
    EXPECT_EQ(view->Course().currentPage, 0);  // set by the first turn
    // A title's line break would split its line in the project file.
    EXPECT_EQ(Project(), ProjectWith("1:A\r\n2:Page 2\r\n3:C\r\n4:Page 4\r\n5:Line two\r\n", 5));
    EXPECT_EQ(ReadBytes(Folder() + "/web.htm"), std::string(kDeckRedirectPage));
    EXPECT_EQ(kDeckRedirectPage.size(), 169u);
    EXPECT_EQ(ReadBytes(Folder() + "/web.files/script.js"), PatchedScript());
    // The imported course's template: its own frame page, no page template.
    EXPECT_EQ(ReadBytes(Folder() + "/web.files/left.htm"),
              ReadBytes(std::string(TOVRA_PROGRAM_DIR) + "/ELanguage/English/web.files/left.htm"));
    EXPECT_FALSE(fs::exists(Folder() + "/web.files/1.html"));
    EXPECT_TRUE(WaitUntil([&] { return !loads.isEmpty() && loads.last().endsWith("Lesson1/web.files/fullscreen.htm"); },
                          10000));

    // Importing again over an export that was not written anew keeps a single program script.
    fake.rewriteScript = false;
    fake.calls.clear();
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(deckPath); });
    ASSERT_TRUE(router.Dispatch(cmd::kFileOpen));
    EXPECT_EQ(fake.calls.size(), 4u);
    EXPECT_EQ(ReadBytes(Folder() + "/web.files/script.js"), PatchedScript());
    EXPECT_EQ(TreeLabels().size(), 6);
}

TEST_F(DeckImport, SlidesWithoutATextRangeArePassedOverAndAnEmptyDeckStillGetsItsFiles) {
    deckPath = dir / "deck.ppt";
    fake.slides = {{true, "A"}, {true, "B", true}, {true, "C"}};
    UseFakeServer();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(TreeLabels(), (QStringList{"deck.ppt", "1:A", "3:C"}));
    EXPECT_EQ(view->Course().pageCount, 3);

    fake = FakeDeck{};
    messages.answers = {framework::Answer::Yes};  // replace the course just made
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown.size(), 1);  // the question
    EXPECT_EQ(TreeLabels(), QStringList{"deck.ppt"});
    EXPECT_EQ(view->Course().pageCount, 0);
    EXPECT_EQ(Project(), ProjectWith("", 0));
    EXPECT_EQ(ReadBytes(Folder() + "/web.htm"), std::string(kDeckRedirectPage));
    EXPECT_EQ(ReadBytes(Folder() + "/web.files/script.js"), PatchedScript());
}

TEST_F(DeckImport, AFailedImportLeavesNothingBehindAndTheOpenCourseAsItWas) {
    // A blank course is open, and stays open through every failure below.
    courseFileName = "Before";
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    const std::string before = dir / "Before";
    const auto beforeFiles = testing::FilesUnder(before);
    const QStringList beforeTree = TreeLabels();
    ASSERT_EQ(beforeTree, (QStringList{"Before", "1:Page 1"}));

    courseFileName = "Lesson1";
    deckPath = dir / "deck.ppt";
    fake.slides = {{true, "A"}, {true, "B"}, {true, "C"}};
    UseFakeServer();
    const QString unreadable = lang::MessageWith("DeckUnreadable", {QStringLiteral("deck.ppt")});
    const QString failed =
        lang::MessageWith("DeckFailed", {QStringLiteral("deck.ppt"), QStringLiteral("not an automation error")});
    const struct {
        const char* at;
        bool other;
        bool none;
        QString message;
    } cases[] = {
        {"", false, true, lang::MessageText("NoOffice")},
        {"open", false, false, unreadable},
        {"open", true, false, failed},
        {"slide3", false, false, unreadable},
        {"saveas", true, false, failed},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.at) + (c.other ? " other" : "") + (c.none ? " no suite" : ""));
        messages.shown.clear();
        loads.clear();
        noServer = c.none;
        fake.throwAt = c.at;
        fake.throwOther = c.other;
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        EXPECT_EQ(messages.shown, QStringList{c.message});
        // No empty course is left open, and no course folder the import made stays on disk.
        EXPECT_FALSE(fs::exists(Folder())) << Folder();
        EXPECT_EQ(TreeLabels(), beforeTree);
        EXPECT_EQ(view->Course().folder, before);
        EXPECT_TRUE(view->Course().IsBlank());
        WaitUntil([] { return false; }, 200);
        EXPECT_TRUE(loads.filter(QStringLiteral("Lesson1/")).isEmpty()) << loads.join(QLatin1Char(' ')).toStdString();
    }

    // The same deck imported into the open course: it stays the blank course it was, file for file.
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(deckPath); });
    for (const char* at : {"open", "saveas"}) {
        messages.shown.clear();
        noServer = false;
        fake.throwAt = at;
        fake.throwOther = false;
        ASSERT_TRUE(router.Dispatch(cmd::kFileOpen));
        EXPECT_EQ(messages.shown, QStringList{unreadable}) << at;
        EXPECT_EQ(TreeLabels(), beforeTree) << at;
        EXPECT_TRUE(view->Course().IsBlank()) << at;
    }
    EXPECT_EQ(testing::FilesUnder(before), beforeFiles);
}

// An office suite that hangs: stopped at its time limit with a message that says so, or sooner by
// the progress dialog's Cancel, which says nothing. Either way the course open before stays, and
// no course folder is left.
TEST_F(DeckImport, AHungOfficeSuiteIsStoppedByItsTimeLimitOrByCancel) {
    courseFileName = "Before";
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    const QStringList beforeTree = TreeLabels();
    const std::string hanging = dir / "hanging-office";
    WriteBytes(hanging, "#!/bin/sh\nsleep 300 &\nwait\n");
    fs::permissions(hanging, fs::perms::owner_all);
    courseFileName = "Lesson1";
    deckPath = dir / "deck.ppt";
    WriteBytes(deckPath, std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8) + std::string(504, '\0'));

    int limitMs = 1500;
    view->SetSlideServerFactory([&] { return slides::CreateApplication({.office = hanging, .timeoutMs = limitMs}); });
    QElapsedTimer clock;
    clock.start();
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_LT(clock.elapsed(), 10000);
    EXPECT_EQ(messages.shown, QStringList{lang::MessageWith("DeckTimeout", {QStringLiteral("deck.ppt"), QStringLiteral("1")})});
    EXPECT_FALSE(fs::exists(Folder()));
    EXPECT_EQ(TreeLabels(), beforeTree);

    // Cancel, pressed a second into a wait that would last ten minutes.
    limitMs = 600000;
    bool pressed = false;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&] {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (!dialog || !dialog->isVisible() || clock.elapsed() < 1000) continue;
            if (!pressed) dialog->grab().save(QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts/deck-import-cancel.png"));
            for (QAbstractButton* button : dialog->findChildren<QAbstractButton*>()) {
                if (button->text() == lang::MessageText("BtnCancel")) {
                    button->click();
                    pressed = true;
                }
            }
        }
    });
    cancel.start(100);
    clock.restart();
    messages.shown.clear();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    cancel.stop();
    EXPECT_TRUE(pressed);
    EXPECT_LT(clock.elapsed(), 15000);
    EXPECT_EQ(messages.shown, QStringList());
    EXPECT_FALSE(fs::exists(Folder()));
    EXPECT_EQ(TreeLabels(), beforeTree);
    EXPECT_EQ(view->Course().folder, dir / "Before");
}

TEST_F(DeckImport, ADeckOpenedIntoABlankCourseInTheEditorLeavesTheEditor) {
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));  // a blank course opens in the editor
    ASSERT_TRUE(view->Editing());
    // As a teacher would, let the editor load first: a navigation that cuts a load short may
    // never report its own end.
    ASSERT_TRUE(WaitUntil(
        [&] {
            return view->Browser().CurrentUrl().toString().contains(QLatin1String("ZonEdit.htm")) &&
                   Evaluate(QStringLiteral("typeof SaveEdit")) == QLatin1String("function");
        },
        15000));
    fake.slides = {{true, "A"}};
    deckPath = dir / "deck.ppt";
    UseFakeServer();
    view->SetFileChooser([&](const QString&) { return QString::fromStdString(deckPath); });
    ASSERT_TRUE(router.Dispatch(cmd::kFileOpen));
    EXPECT_FALSE(view->Editing());
    EXPECT_EQ(TreeLabels(), (QStringList{"deck.ppt", "1:A"}));
    EXPECT_EQ(Project(), ProjectWith("1:A\r\n", 1));
    // The deck's viewer is shown, not the editor.
    EXPECT_TRUE(WaitUntil([&] { return view->Browser().CurrentUrl().toString().endsWith("Lesson1/web.files/fullscreen.htm"); },
                          10000))
        << view->Browser().CurrentUrl().toString().toStdString();
}

TEST_F(DeckImport, ADeckPathWithoutAFolderIsRefusedAndNothingIsWritten) {
    deckPath = "deck.ppt";
    UseFakeServer();
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown, QStringList{lang::MessageText("ErrFile")});
    EXPECT_EQ(TreeLabels(), QStringList{"<no course item>"});
    EXPECT_FALSE(fs::exists(Folder() + "/Lesson1.lsn"));
    EXPECT_TRUE(fake.calls.empty());
}

const std::string kDecks = std::string(TOVRA_SHARED_DIR) + "/decks/";

// Each real deck is imported by File New into its own course.
class RealDeckImport : public DeckImport {
protected:
    bool Import(const std::string& deck) {
        courseFileName = deck.substr(0, deck.find('.'));
        deckPath = kDecks + deck;
        messages.shown.clear();
        return router.Dispatch(cmd::kFileNew);
    }
    std::string CourseProject() const { return ReadBytes(dir / courseFileName + "/" + courseFileName + ".lsn"); }
    std::string CourseFile(const std::string& name) const { return ReadBytes(dir / courseFileName + "/" + name); }
};

TEST_F(RealDeckImport, TitlesAsTheDeckHasThemAndThePageTextWhereItHasNone) {
    ASSERT_TRUE(Import("alterman_security.ppt"));
    EXPECT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
    QStringList labels = TreeLabels();
    ASSERT_EQ(labels.size(), 24) << labels.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(labels[0], QStringLiteral("alterman_security.ppt"));
    EXPECT_EQ(labels[1], QStringLiteral("1:Government-University Identity Management Opportunities"));
    // Trailing blanks and leading line breaks are the deck's own.
    EXPECT_EQ(labels[11], QStringLiteral("11:How Can A School Credential be Trusted and Used by a Government Application? "));
    // Shown without its control characters (no boxes), kept with them (the project file below).
    EXPECT_EQ(labels[23], QStringLiteral("23:  Notes"));
    EXPECT_EQ(PageTitleOf(PageItem(frame->PageTree(), 23)), "\v\vNotes");
    EXPECT_EQ(PageItem(frame->PageTree(), 11)->toolTip(0), labels[11].mid(3));  // a long title whole
    EXPECT_EQ(view->Course().pageCount, 23);
    const std::string project = CourseProject();
    EXPECT_EQ(project.rfind("TVCF\r\n" + kDecks + "alterman_security.ppt\r\nOptics\r\nLee\r\nCOUNT:23\r\n1:Government-", 0), 0u);
    EXPECT_NE(project.find("\r\n23:\v\vNotes\r\n"), std::string::npos);
    EXPECT_EQ(CourseFile("web.htm"), std::string(kDeckRedirectPage));
    const std::string script = CourseFile("web.files/script.js");
    EXPECT_EQ(script.rfind("function Load_ld", 0), 0u);
    ASSERT_GT(script.size(), kProgramSlideScript.size());
    EXPECT_EQ(script.substr(script.size() - kProgramSlideScript.size()), kProgramSlideScript);
    EXPECT_EQ(script.find("function LoadSld"), script.size() - kProgramSlideScript.size() + 30);
    // The course is on show before the last pictures are drawn; they are all there in the end.
    view->FinishSlidePictures();
    EXPECT_EQ(view->SlidePictures(), nullptr);
    for (int n = 1; n <= 23; ++n) {
        char name[32];
        std::snprintf(name, sizeof name, "web.files/slide%04d.png", n);
        EXPECT_TRUE(fs::file_size(dir / courseFileName + "/" + name) > 1000) << name;
    }

    // A curly apostrophe reaches the project file in the code page.
    ASSERT_TRUE(Import("Single_Coloured_Page.ppt"));
    EXPECT_EQ(TreeLabels(), (QStringList{"Single_Coloured_Page.ppt", QString::fromUtf8("1:This is a title, it’s in black")}));
    EXPECT_NE(CourseProject().find("\r\n1:This is a title, it\xA1\xAFs in black\r\n"), std::string::npos);

    // Slides without a title placeholder get the language's page text; an empty deck opens with
    // the one blank page the office suite gives it.
    ASSERT_TRUE(Import("pp40only.ppt"));
    labels = TreeLabels();
    ASSERT_EQ(labels.size(), 88);
    EXPECT_EQ(labels[1], QStringLiteral("1:Page 1"));
    EXPECT_EQ(labels[87], QStringLiteral("87:Page 87"));
    view->FinishSlidePictures();
    EXPECT_TRUE(fs::exists(dir / courseFileName + "/web.files/slide0087.png"));
    ASSERT_TRUE(Import("empty.ppt"));
    EXPECT_EQ(TreeLabels(), (QStringList{"empty.ppt", "1:Page 1"}));
}

TEST_F(RealDeckImport, ChineseBrokenAndProtectedDecks) {
    Start("Language/Chinese.ini");
    ASSERT_TRUE(Import("54880_chinese.ppt"));
    EXPECT_EQ(TreeLabels(), (QStringList{"54880_chinese.ppt", QString::fromUtf8("1:第1页")}));
    EXPECT_NE(CourseProject().find("\r\nCOUNT:1\r\n1:\xB5\xDA" "1\xD2\xB3\r\n"), std::string::npos);  // GBK
    // The Chinese player frame page of an imported course.
    EXPECT_EQ(CourseFile("web.files/left.htm"),
              ReadBytes(std::string(TOVRA_PROGRAM_DIR) + "/ELanguage/Chinese/web.files/left.htm"));
    Start("Language/English.ini");

    // Damaged but loadable: blank slides, a working course.
    ASSERT_TRUE(Import("57272_corrupted_usereditatom.ppt"));
    EXPECT_TRUE(messages.shown.isEmpty());
    EXPECT_EQ(TreeLabels().size(), 7);
    EXPECT_EQ(CourseFile("web.htm"), std::string(kDeckRedirectPage));

    // Encrypted: the office suite cannot load it. The course opened before stays open, and no
    // course folder is left behind.
    const QStringList opened = TreeLabels();
    ASSERT_TRUE(Import("Password_Protected-hello.ppt"));
    EXPECT_EQ(messages.shown,
              QStringList{lang::MessageWith("DeckPassword", {QStringLiteral("Password_Protected-hello.ppt")})});
    EXPECT_EQ(TreeLabels(), opened);
    EXPECT_FALSE(fs::exists(dir / courseFileName));
}

// Decks of today's kinds, made here by the office suite from one presentation: 16:9, titles in
// letters the code page lacks, and a hidden slide that the show passes over but the course keeps.
TEST_F(RealDeckImport, TodaysDecksWithAHiddenSlideAndTitlesBeyondTheCodePage) {
    const QStringList titles{QStringLiteral("Łódź Ωμέγα 🙂"), QStringLiteral("Nur für mich: Lösungen"),
                             QStringLiteral("Ende — Σ")};
    const fs::path source = dir / "Łódź Ωμέγα 🙂.fodp";
    WriteBytes(source, testing_support::FlatPresentation({{titles[0]}, {titles[1], true}, {titles[2]}}, 28, 15.75)
                           .toStdString());
    for (const char* type : {"pptx", "odp", "ppsx"}) {
        SCOPED_TRACE(type);
        const fs::path made = dir / type;
        fs::create_directories(made);
        std::string error;
        const fs::path deck = testing_support::ConvertWithOffice(source, QString::fromLatin1(type), made, dir / "profile", &error);
        ASSERT_FALSE(deck.empty()) << error;
        courseFileName = std::string("Deck-") + type;
        deckPath = deck.string();
        messages.shown.clear();
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        ASSERT_TRUE(messages.shown.isEmpty()) << messages.shown.join(QLatin1Char('|')).toStdString();
        const QString label = QString::fromStdString(deck.filename().string());
        EXPECT_EQ(TreeLabels(), (QStringList{label, "1:" + titles[0], "2:" + titles[1], "3:" + titles[2]}));
        // The hidden slide is marked in the tree and in the page list the player reads.
        QTreeWidgetItem* hidden = PageItem(frame->PageTree(), 2);
        ASSERT_NE(hidden, nullptr);
        EXPECT_TRUE(hidden->font(0).italic());
        EXPECT_TRUE(hidden->toolTip(0).contains(lang::MessageText("HiddenSlide"))) << hidden->toolTip(0).toStdString();
        EXPECT_FALSE(PageItem(frame->PageTree(), 1)->font(0).italic());
        const std::string folder = dir / courseFileName;
        const std::string pages = ReadBytes(folder + "/web.files/CoursePages.js");
        EXPECT_EQ(QString::fromStdString(pages).count(QLatin1String("\"hidden\":true")), 1) << pages;
        EXPECT_NE(pages.find("\"number\":2,\"hidden\":true"), std::string::npos) << pages;
        const std::string project = ReadBytes(folder + "/" + courseFileName + ".lsn");
        EXPECT_NE(project.find("\r\nCOUNT:3\r\n"), std::string::npos) << project;
        EXPECT_NE(project.find(deckPath), std::string::npos) << "UTF-8 project file keeps the deck's name";

        // Pictures as sharp as for a 4:3 deck: 1440 wide, at the slide's own aspect.
        view->FinishSlidePictures();
        for (int n = 1; n <= 3; ++n) {
            const QImage picture(QString::fromStdString(folder + "/web.files/slide000" + std::to_string(n) + ".png"));
            EXPECT_EQ(picture.size(), QSize(1440, 810)) << n;
        }

        // Next and previous pass over the hidden slide; the tree still opens it.
        ASSERT_TRUE(Shows(1));
        ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
        ASSERT_TRUE(Shows(3));
        EXPECT_FALSE(router.Update(cmd::kNextPage).enabled);
        ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
        ASSERT_TRUE(Shows(1));
        EXPECT_FALSE(router.Update(cmd::kPrevPage).enabled);
        frame->PageTree()->setCurrentItem(hidden);
        ASSERT_TRUE(Shows(2));
    }

    // How the mark looks, in both languages.
    const QString artifacts = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts");
    QDir().mkpath(artifacts);
    WaitUntil([] { return false; }, 500);  // the engine's next frame
    EXPECT_TRUE(frame->grab().save(artifacts + QStringLiteral("/deck-hidden-slide-en.png")));
    Start("Language/Chinese.ini");
    courseFileName = "Deck-zh";
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    ASSERT_TRUE(Shows(1));
    view->FinishSlidePictures();
    WaitUntil([] { return false; }, 500);
    EXPECT_TRUE(frame->grab().save(artifacts + QStringLiteral("/deck-hidden-slide-zh.png")));

    // The course player, inside this engine: its next passes over the hidden slide, and its
    // index leaves it out.
    view->Browser().Navigate2(
        QUrl::fromLocalFile(QString::fromStdString(dir / courseFileName + "/web.files/index.htm")).toString());
    const auto shown = [&] {
        return Evaluate(QStringLiteral("(function(){var f=document.getElementById('pageframe');"
                                       "return f?String(f.getAttribute('data-shown')):'';})()"));
    };
    ASSERT_TRUE(WaitUntil([&] { return shown() == QLatin1String("1"); }, 15000)) << shown().toStdString();
    EXPECT_EQ(Evaluate(QStringLiteral("Array.prototype.map.call(document.querySelectorAll('#showtree .leaf-link'),"
                                      "function(e){return e.getAttribute('data-page');}).join(',')")),
              QStringLiteral("1,3"));
    Evaluate(QStringLiteral("document.getElementById('nextpage').click();"));
    EXPECT_TRUE(WaitUntil([&] { return shown() == QLatin1String("3"); }, 10000)) << shown().toStdString();
    Evaluate(QStringLiteral("document.getElementById('prevpage').click();"));
    EXPECT_TRUE(WaitUntil([&] { return shown() == QLatin1String("1"); }, 10000)) << shown().toStdString();
}

// An imported course shown and turned: toolbar commands, the page tree, keys and clicks on the
// slide; the slide on show (GetCurSldNum) and the view follow each other.
TEST_F(RealDeckImport, TurningTheSlidesOfAnImportedCourse) {
    // While the office suite works, the window goes on handling events, the progress dialog says
    // what is being done, and a second import is refused.
    int ticks = 0;
    bool secondRefused = false;
    QStringList shownTexts;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        ++ticks;
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QProgressDialog*>(w);
            if (dialog && dialog->isVisible() && !shownTexts.contains(dialog->labelText())) shownTexts << dialog->labelText();
        }
        if (view->Importing() && !secondRefused) secondRefused = !view->ImportDeck();
    });
    ticker.start(100);
    QElapsedTimer clock;
    clock.start();
    ASSERT_TRUE(Import("incorrect_slide_order.ppt"));
    ticker.stop();
    EXPECT_GT(ticks, clock.elapsed() / 100 / 2);
    EXPECT_TRUE(secondRefused);
    EXPECT_FALSE(view->Importing());
    EXPECT_TRUE(shownTexts.contains(lang::MessageText("ImportOpen"))) << shownTexts.join(QLatin1Char('|')).toStdString();
    for (QWidget* w : QApplication::topLevelWidgets()) EXPECT_FALSE(qobject_cast<QProgressDialog*>(w) && w->isVisible());
    ASSERT_TRUE(WaitUntil([&] { return !loads.isEmpty() && loads.last().endsWith("/web.files/fullscreen.htm"); }, 20000))
        << loads.join(QLatin1Char(' ')).toStdString() << " now " << view->Browser().CurrentUrl().toString().toStdString();
    ASSERT_TRUE(Shows(1));  // the slide's report after loading
    EXPECT_EQ(TreeLabels(), (QStringList{"incorrect_slide_order.ppt", "1:Slide 1", "2:Slide 2", "3:Slide 3"}));

    ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
    ASSERT_TRUE(Shows(2));
    ASSERT_TRUE(router.Dispatch(cmd::kNextPage));
    ASSERT_TRUE(Shows(3));
    EXPECT_FALSE(router.Update(cmd::kNextPage).enabled);
    ASSERT_TRUE(router.Dispatch(cmd::kPrevPage));
    ASSERT_TRUE(Shows(2));

    frame->PageTree()->setCurrentItem(PageItem(frame->PageTree(), 1));
    ASSERT_TRUE(Shows(1));
    EXPECT_FALSE(router.Update(cmd::kPrevPage).enabled);

    // Turns made in the page itself reach the view through the title.
    WaitUntil([] { return false; }, 300);
    QWidget* input = view->Browser().InputWidget();
    ASSERT_NE(input, nullptr);
    for (QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease}) {
        QKeyEvent key(type, Qt::Key_Right, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &key);
    }
    ASSERT_TRUE(Shows(2));
    WaitUntil([] { return false; }, 300);
    // The page has the focus (a click that only gives it the focus turns nothing).
    frame->activateWindow();
    input->setFocus();
    ASSERT_TRUE(WaitUntil([&] { return input->hasFocus(); }));
    const QPointF middle(input->width() / 2.0, input->height() / 2.0);
    for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
        QMouseEvent click(type, middle, input->mapToGlobal(middle), Qt::LeftButton,
                          type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton, Qt::NoModifier);
        QCoreApplication::sendEvent(input, &click);
    }
    ASSERT_TRUE(Shows(3));

    // The slide picture is on show, filling the view at its aspect.
    const QString box = Evaluate(QStringLiteral(
        "(function(){var f=document.querySelector('iframe:not(.loading)');var d=f.contentDocument;"
        "if(!d)return 'no access';var s=d.getElementById('SlideObj');var i=s.querySelector('img');"
        "return s.style.width+'x'+s.style.height+' '+i.complete+' '+i.naturalWidth+' '+typeof d.defaultView.movecusorto;})()"));
    EXPECT_TRUE(box.endsWith(QLatin1String(" true 1440 function"))) << box.toStdString();
    WaitUntil([] { return false; }, 500);
    const QString artifacts = QStringLiteral(TOVRA_PROGRAM_DIR "/../artifacts");
    QDir().mkpath(artifacts);
    EXPECT_TRUE(frame->grab().save(artifacts + QStringLiteral("/deck-import.png")));

    // In the course player, which can reach its frames in this engine, the program's slide
    // script takes over: clicks on the slide do nothing, the pointer follows movecusorto in the
    // 720 × 540 slide space, and the player's page frame gets the slide's animation sequence.
    view->Browser().Navigate2(QUrl::fromLocalFile(QString::fromStdString(dir / courseFileName + "/web.files/index.htm")).toString());
    const QString slideWindow = QStringLiteral(
        "var v=frames['left'].document.getElementById('viewer').contentWindow;"
        "var w=v.document.querySelector('iframe:not(.loading)').contentWindow;");
    ASSERT_TRUE(WaitUntil([&] {
        return Evaluate(QStringLiteral("(function(){try{") + slideWindow +
                        QStringLiteral("return w.document.getElementById('escursor')?'cursor':'';}catch(e){return '';}})()")) ==
               QLatin1String("cursor");
    }, 15000));
    const QString placed = Evaluate(QStringLiteral("(function(){") + slideWindow + QStringLiteral(
        "w.document.body.click();w.movecusorto(360,270);"
        "var s=w.document.getElementById('SlideObj').style,c=w.document.getElementById('escursor').style;"
        "var dx=parseFloat(c.left)-parseFloat(s.left)-parseFloat(s.width)/2,dy=parseFloat(c.top)-parseFloat(s.top)-parseFloat(s.height)/2;"
        "return Math.round(dx)+','+Math.round(dy)+' '+v.GetCurSldNum()+' '+Array.isArray(frames['left'].g_animMainSequence);})()"));
    EXPECT_EQ(placed, QStringLiteral("0,0 1 true"));

    // The course, for the browser test that plays a lecture over its slides, with every picture.
    view->FinishSlidePictures();
    const fs::path kept = TOVRA_PROGRAM_DIR "/../artifacts/imported-course";
    fs::remove_all(kept);
    fs::copy(dir / courseFileName, kept, fs::copy_options::recursive);
}

}  // namespace
}  // namespace tovra
