// The slide-deck automation server: titles from the converted deck, real decks through
// LibreOffice, the web export, and the office suite's time limit.
#include "platform/slides/automation.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <csignal>
#include <filesystem>

#include "platform/slides/deck_titles.h"
#include "platform/slides/web_export.h"
#include "platform/text/code_page.h"
#include "tests/support/qt_test_application.h"
#include "tests/support/temp_dir.h"

static ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new tovra::testing_support::QtApplicationEnvironment<QCoreApplication>);

namespace tovra::slides {
namespace {

using testing::ReadBytes;
using testing::TempDir;
using testing::WriteBytes;
namespace fs = std::filesystem;

const std::string kDecks = std::string(TOVRA_SHARED_DIR) + "/decks/";

std::string Page(const std::string& inner) { return "<draw:page draw:name=\"Slide\">" + inner + "</draw:page>"; }

std::string Document(const std::string& pages) {
    return "<?xml version=\"1.0\"?><office:document xmlns:office=\"o\" xmlns:draw=\"d\" xmlns:text=\"t\""
           " xmlns:presentation=\"p\"><office:body><office:presentation>" +
           pages + "</office:presentation></office:body></office:document>";
}

std::string TitleFrame(const std::string& body, const std::string& extra = "") {
    return "<draw:frame presentation:class=\"title\"" + extra + "><draw:text-box>" + body + "</draw:text-box></draw:frame>";
}

TEST(SlideTitles, TextIsJoinedAsThePresentationProgramJoinsIt) {
    const std::string fodp = Document(
        Page(TitleFrame("<text:p>Two <text:span>words</text:span>  <text:s text:c=\"3\"/>x<text:tab/>y </text:p>"
                        "<text:p>second<text:line-break/>line</text:p>")) +
        // No title frame; a body frame and the notes' own frames do not count.
        Page("<draw:frame presentation:class=\"outline\"><draw:text-box><text:p>body</text:p></draw:text-box></draw:frame>"
             "<presentation:notes>" + TitleFrame("<text:p>notes</text:p>") + "</presentation:notes>") +
        Page(TitleFrame("<text:p>Click to add Title</text:p>", " presentation:placeholder=\"true\"")) +
        Page("<draw:g>" + TitleFrame("<text:list><text:list-item><text:p>grouped</text:p></text:list-item></text:list>") +
             "</draw:g>") +
        Page(TitleFrame("<text:p> </text:p>")));
    std::vector<SlideTitle> slides;
    ASSERT_TRUE(ReadSlideTitles(fodp, slides));
    ASSERT_EQ(slides.size(), 5u);
    EXPECT_TRUE(slides[0].hasTitle);
    EXPECT_EQ(slides[0].text, "Two words     x\ty \rsecond\vline");
    EXPECT_FALSE(slides[1].hasTitle);
    EXPECT_TRUE(slides[2].hasTitle);
    EXPECT_EQ(slides[2].text, "");  // the placeholder's prompt is not a title
    EXPECT_EQ(slides[3].text, "grouped");
    EXPECT_EQ(slides[4].text, " ");  // blank runs stay

    EXPECT_FALSE(ReadSlideTitles("<office:document/>", slides));
    EXPECT_FALSE(ReadSlideTitles("not xml <", slides));
}

TEST(WebExport, FindsTheFolderAlreadyThereWhateverItsCase) {
    TempDir dir;
    fs::create_directories(dir / "web.files");
    WriteBytes(dir / "web.htm", "old");
    ExportPaths paths = ResolveExportPaths(QString::fromStdString(dir / "Web.htm"));
    EXPECT_EQ(paths.mainFile.toStdString(), dir / "web.htm");
    EXPECT_EQ(paths.folder.toStdString(), dir / "web.files");

    TempDir empty;
    paths = ResolveExportPaths(QString::fromStdString(empty / "Talk.htm"));
    EXPECT_EQ(paths.folder.toStdString(), empty / "Talk.files");
}

TEST(WebExport, ALaterShorterExportLeavesNoSlidesOfTheEarlierOne) {
    TempDir dir;
    const ExportPaths paths = ResolveExportPaths(QString::fromStdString(dir / "web.htm"));
    ASSERT_TRUE(WriteWebExport(paths, "deck", std::vector<ExportSlide>(3)));
    for (int n = 1; n <= 3; ++n) WriteBytes(dir / "web.files/" + SlidePictureName(n), "png");
    WriteBytes(dir / "web.files/index.htm", "template file");
    ASSERT_TRUE(WriteWebExport(paths, "deck", {ExportSlide{"<One & \"only\">", 1440, 1080}}));
    EXPECT_TRUE(fs::exists(dir / "web.files/slide0001.htm"));
    EXPECT_TRUE(fs::exists(dir / "web.files/slide0001.png"));
    EXPECT_FALSE(fs::exists(dir / "web.files/slide0002.htm"));
    EXPECT_FALSE(fs::exists(dir / "web.files/slide0003.png"));
    EXPECT_EQ(ReadBytes(dir / "web.files/index.htm"), "template file");
    const std::string page = ReadBytes(dir / "web.files/slide0001.htm");
    EXPECT_NE(page.find("<title>&lt;One &amp; &quot;only&quot;&gt;</title>"), std::string::npos);
    EXPECT_NE(ReadBytes(dir / "web.files/fullscreen.htm").find("var gSldCount = 1;"), std::string::npos);
}

// A deck read through the real office suite.
struct OpenedDeck {
    std::unique_ptr<Application> app;
    Presentation* presentation = nullptr;
    Slides* slides = nullptr;
};

OpenedDeck OpenDeck(const std::string& name) {
    OpenedDeck deck;
    deck.app = CreateApplication();
    if (!deck.app) return deck;
    deck.presentation = deck.app->GetPresentations()->Open(kDecks + name, 0, 0, 0);
    deck.slides = deck.presentation->GetSlides();
    return deck;
}

std::vector<std::string> Titles(Slides& slides) {
    std::vector<std::string> titles;
    for (int i = 1; i <= slides.GetCount(); ++i) {
        Shapes* shapes = slides.Item(i)->GetShapes();
        titles.push_back(shapes->GetHasTitle() ? shapes->GetTitle()->GetTextFrame()->GetTextRange()->GetText()
                                              : "<none>");
    }
    return titles;
}

TEST(LibreOfficeDecks, TitlesPicturesAndTheWebExport) {
    OpenedDeck deck = OpenDeck("incorrect_slide_order.ppt");
    ASSERT_TRUE(deck.app) << "LibreOffice (soffice) is not installed";
    std::vector<Stage> stages;
    deck.app->SetProgressSink([&](Stage stage, int, int) { stages.push_back(stage); });
    // Stored out of order; shown in the order of the slide list.
    EXPECT_EQ(Titles(*deck.slides), (std::vector<std::string>{"Slide 1", "Slide 2", "Slide 3"}));
    EXPECT_THROW(deck.slides->Item(0), AutomationError);
    EXPECT_THROW(deck.slides->Item(4), AutomationError);

    TempDir dir;
    fs::create_directories(dir / "web.files/image");
    WriteBytes(dir / "web.files/index.htm", "player");
    EXPECT_THROW(deck.presentation->SaveAs(dir / "web.htm", 11, 0), AutomationError);
    deck.presentation->SaveAs(dir / "Web.htm", kSaveAsWebPage, 0);
    EXPECT_FALSE(stages.empty());
    EXPECT_TRUE(fs::exists(dir / "Web.htm"));  // nothing of that name was there
    EXPECT_FALSE(fs::exists(dir / "Web.files"));  // the folder there is used
    EXPECT_EQ(ReadBytes(dir / "web.files/index.htm"), "player");
    EXPECT_EQ(ReadBytes(dir / "web.files/script.js").rfind("function LoadSld", 0), 0u);
    EXPECT_NE(ReadBytes(dir / "web.files/fullscreen.htm").find("function GetCurSldNum"), std::string::npos);
    for (int n = 1; n <= 3; ++n) {
        const std::string page = ReadBytes(dir / "web.files/" + SlidePageName(n));
        EXPECT_NE(page.find("id=\"SlideObj\""), std::string::npos);
        EXPECT_NE(page.find("g_animMainSequence"), std::string::npos);
        EXPECT_NE(page.find("<title>Slide " + std::to_string(n) + "</title>"), std::string::npos);
        QImage picture(QString::fromStdString(dir / "web.files/" + SlidePictureName(n)));
        ASSERT_FALSE(picture.isNull()) << n;
        EXPECT_EQ(picture.size(), QSize(1440, 1080));  // a 4:3 slide
        // The slide is drawn, not left blank: its title text darkens some pixels.
        int dark = 0;
        for (int y = 0; y < picture.height(); y += 4) {
            for (int x = 0; x < picture.width(); x += 4) dark += qGray(picture.pixel(x, y)) < 100;
        }
        EXPECT_GT(dark, 50) << n;
    }
    deck.presentation->Close();
    EXPECT_THROW(deck.presentation->GetSlides(), AutomationError);
    deck.app->Quit();
    EXPECT_THROW(deck.app->GetPresentations(), AutomationError);
}

TEST(LibreOfficeDecks, PlaceholdersWithoutTextAndSlidesWithoutTitle) {
    OpenedDeck master = OpenDeck("WithMaster.ppt");
    ASSERT_TRUE(master.app);
    ASSERT_EQ(master.slides->GetCount(), 2);
    Shapes* second = master.slides->Item(2)->GetShapes();
    EXPECT_EQ(second->GetHasTitle(), 1);
    EXPECT_EQ(second->GetTitle()->GetTextFrame()->GetTextRange()->GetText(), "");

    OpenedDeck textbox = OpenDeck("with_textbox.ppt");
    ASSERT_EQ(textbox.slides->GetCount(), 1);
    Shapes* only = textbox.slides->Item(1)->GetShapes();
    EXPECT_EQ(only->GetHasTitle(), 0);
    EXPECT_THROW(only->GetTitle(), AutomationError);
}

TEST(LibreOfficeDecks, ASlideOfItsOwnSizeKeepsItsAspect) {
    OpenedDeck deck = OpenDeck("ParagraphStylesShorterThanCharStyles.ppt");
    ASSERT_TRUE(deck.app);
    ASSERT_EQ(deck.slides->GetCount(), 14);
    TempDir dir;
    deck.presentation->SaveAs(dir / "web.htm", kSaveAsWebPage, 0);
    // 756 × 576 points
    EXPECT_EQ(QImage(QString::fromStdString(dir / "web.files/slide0014.png")).size(), QSize(1440, 1097));
    EXPECT_NE(ReadBytes(dir / "web.files/slide0014.htm").find("height: 1097px"), std::string::npos);
}

TEST(LibreOfficeDecks, DecksTheOfficeSuiteCannotLoadFailToOpen) {
    std::unique_ptr<Application> app = CreateApplication();
    ASSERT_TRUE(app);
    Presentations* presentations = app->GetPresentations();
    EXPECT_THROW(presentations->Open(kDecks + "Password_Protected-hello.ppt", 0, 0, 0), AutomationError);
    TempDir dir;
    WriteBytes(dir / "garbage.ppt", std::string(5000, '\x17'));
    EXPECT_THROW(presentations->Open(dir / "garbage.ppt", 0, 0, 0), AutomationError);
    EXPECT_THROW(presentations->Open(dir / "missing.ppt", 0, 0, 0), AutomationError);
}

TEST(OfficeSuite, MissingSuiteGivesNoApplication) {
    EXPECT_EQ(CreateApplication(OfficeOptions{.office = "/nonexistent/soffice"}), nullptr);
}

bool ProcessAlive(pid_t pid) { return ::kill(pid, 0) == 0 || errno != ESRCH; }

TEST(OfficeSuite, AnOverrunKillsTheSuiteAndItsChildren) {
    TempDir dir;
    // Stands for a suite that hangs: its start script runs a child, as soffice does.
    const std::string script = dir / "hanging-office";
    WriteBytes(script, "#!/bin/sh\nsleep 300 &\necho $! >> \"" + dir.path() + "/pids\"\necho $$ >> \"" + dir.path() +
                           "/pids\"\nwait\n");
    fs::permissions(script, fs::perms::owner_all);
    WriteBytes(dir / "deck.ppt", "deck");
    std::unique_ptr<Application> app = CreateApplication(OfficeOptions{.office = script, .timeoutMs = 1500});
    ASSERT_TRUE(app);
    QElapsedTimer timer;
    timer.start();
    EXPECT_THROW(app->GetPresentations()->Open(dir / "deck.ppt", 0, 0, 0), AutomationError);
    EXPECT_LT(timer.elapsed(), 8000);
    const std::string pids = ReadBytes(dir / "pids");
    ASSERT_FALSE(pids.empty());
    size_t at = 0;
    int checked = 0;
    while (at < pids.size()) {
        const size_t end = pids.find('\n', at);
        const pid_t pid = static_cast<pid_t>(std::stol(pids.substr(at, end - at)));
        EXPECT_TRUE(testing_support::WaitUntil([&] { return !ProcessAlive(pid); }, 3000)) << pid;
        ++checked;
        at = end == std::string::npos ? pids.size() : end + 1;
    }
    EXPECT_EQ(checked, 4);  // two runs at once (titles and pictures), each a script and its child
}

}  // namespace
}  // namespace tovra::slides
