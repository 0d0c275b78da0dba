// Importing a slide deck into a course with the real main frame, view and engine: the page list,
// the project file, the redirect page and the patched slide script, on a simulated automation
// server for the failure paths and on LibreOffice with real decks.
#include <gtest/gtest.h>

#include <QTreeWidget>
#include <filesystem>

#include "app/command_ids.h"
#include "course/deck_files.h"
#include "lang/language_table.h"
#include "platform/slides/automation.h"
#include "tests/support/course_frame.h"

namespace tovra {
namespace {

using testing::ReadBytes;
using testing::WriteBytes;
using testing_support::WaitUntil;
namespace fs = std::filesystem;

constexpr std::string_view kExportScript = "function LoadSld() { loaded = 1; }\n";

// A simulated automation server: slides as given, failures where asked.
struct FakeDeck {
    struct SlideSpec {
        bool hasTitle = true;
        std::string title;
        bool noTextRange = false;
    };
    std::vector<SlideSpec> slides;
    std::string throwAt;          // "open", "slide3", "saveas"
    bool throwOther = false;      // something other than an automation error
    bool rewriteScript = true;    // SaveAs writes a fresh script.js
    std::vector<std::string> calls;
};

class FakeServer final : public slides::Application, slides::Presentations, slides::Presentation, slides::Slides {
public:
    explicit FakeServer(FakeDeck& deck) : deck_(deck) {
        for (const FakeDeck::SlideSpec& spec : deck.slides) slides_.push_back(std::make_unique<FakeSlide>(spec));
    }
    slides::Presentations* GetPresentations() override { return this; }
    void Quit() override { deck_.calls.push_back("quit"); }
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
    struct FakeSlide final : slides::Slide, slides::Shapes, slides::Shape, slides::TextFrame, slides::TextRange {
        explicit FakeSlide(const FakeDeck::SlideSpec& s) : spec(s) {}
        slides::Shapes* GetShapes() override { return this; }
        int GetHasTitle() override { return spec.hasTitle; }
        slides::Shape* GetTitle() override { return this; }
        slides::TextFrame* GetTextFrame() override { return this; }
        slides::TextRange* GetTextRange() override { return spec.noTextRange ? nullptr : this; }
        std::string GetText() override { return spec.title; }
        FakeDeck::SlideSpec spec;
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
    EXPECT_EQ(TreeLabels(), (QStringList{"deck.ppt", "1:A", "2:Page 2", "3:C", "4:Page 4", "5:Line\rtwo"}));
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
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(TreeLabels(), QStringList{"deck.ppt"});
    EXPECT_EQ(view->Course().pageCount, 0);
    EXPECT_EQ(Project(), ProjectWith("", 0));
    EXPECT_EQ(ReadBytes(Folder() + "/web.htm"), std::string(kDeckRedirectPage));
    EXPECT_EQ(ReadBytes(Folder() + "/web.files/script.js"), PatchedScript());
    EXPECT_TRUE(messages.shown.isEmpty());
}

TEST_F(DeckImport, FailuresGiveTheirMessagesAndTheProjectFileKeepsWhatWasFound) {
    deckPath = dir / "deck.ppt";
    fake.slides = {{true, "A"}, {true, "B"}, {true, "C"}};
    UseFakeServer();

    noServer = true;
    ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
    EXPECT_EQ(messages.shown, QStringList{"No PowerPoint Installed!"});
    EXPECT_EQ(TreeLabels(), QStringList{"deck.ppt"});
    EXPECT_EQ(Project(), ProjectWith("", 0));
    EXPECT_FALSE(fs::exists(Folder() + "/web.files/script.js"));
    noServer = false;

    const struct {
        const char* at;
        bool other;
        const char* message;
        const char* pages;
    } cases[] = {
        {"open", false, " OLE Exception take place ", ""},
        {"open", true, "Unknown Exception take place", ""},
        {"slide3", false, " OLE Exception take place ", "1:A\r\n2:B\r\n"},
        {"saveas", true, "Unknown Exception take place", "1:A\r\n2:B\r\n3:C\r\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.at) + (c.other ? " other" : ""));
        messages.shown.clear();
        loads.clear();
        fake.throwAt = c.at;
        fake.throwOther = c.other;
        fs::remove(Folder() + "/web.htm");
        ASSERT_TRUE(router.Dispatch(cmd::kFileNew));
        EXPECT_EQ(messages.shown, QStringList{c.message});
        const int pages = static_cast<int>(std::count(c.pages, c.pages + std::strlen(c.pages), '\n'));
        EXPECT_EQ(Project(), ProjectWith(c.pages, pages));
        EXPECT_FALSE(fs::exists(Folder() + "/web.htm"));  // no redirect after a failure
        // A failed import does not show the course.
        WaitUntil([] { return false; }, 200);
        EXPECT_TRUE(loads.filter(QStringLiteral("Lesson1/")).isEmpty()) << loads.join(QLatin1Char(' ')).toStdString();
    }
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

}  // namespace
}  // namespace tovra

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    ::testing::AddGlobalTestEnvironment(
        new tovra::testing_support::QtApplicationEnvironment<tovra::testing_support::WebEngineTestApp>);
    return RUN_ALL_TESTS();
}
