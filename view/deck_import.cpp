// Importing a slide deck into the open course: the web template, the page list from the slide
// titles, the deck's web export, the redirecting start page and the patched slide script.
#include <QApplication>
#include <QProgressDialog>
#include <QTreeWidget>

#include "course/course_folder.h"
#include "course/deck_files.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/slides/automation.h"
#include "view/event_log.h"
#include "view/mirova_view.h"
#include "view/title_texts.h"

namespace tovra {

namespace {

// A language text with its "%d" places filled in order.
QString Formatted(std::string_view key, std::initializer_list<int> numbers) {
    QString text = lang::MessageText(key);
    for (int n : numbers) {
        const qsizetype at = text.indexOf(QLatin1String("%d"));
        if (at < 0) break;
        text.replace(at, 2, QString::number(n));
    }
    return text;
}

// Shows where the import stands; modal, so nothing else is started meanwhile, while the window
// goes on painting.
class ImportProgress {
public:
    explicit ImportProgress(QWidget* owner) : dialog_(owner) {
        dialog_.setWindowTitle(QApplication::applicationDisplayName());
        dialog_.setCancelButton(nullptr);
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(0);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setMinimumWidth(420);
        Show(lang::MessageText("ImportOpen"), 0, 0);
    }
    void Show(const QString& text, int done, int total) {
        dialog_.setLabelText(text);
        dialog_.setRange(0, total);  // 0..0: busy
        dialog_.setValue(done);
        if (!dialog_.isVisible()) dialog_.show();
    }
    void Report(slides::Stage stage, int done, int total) {
        switch (stage) {
            case slides::Stage::Opening: Show(lang::MessageText("ImportOpen"), 0, 0); break;
            case slides::Stage::ReadingSlide: Show(Formatted("ImportSlide", {done, total}), done, total); break;
            case slides::Stage::Rendering:
                Show(Formatted("ImportPicture", {std::min(done + 1, total), total}), done, total);
                break;
            case slides::Stage::Writing: Show(lang::MessageText("ImportWrite"), 0, 0); break;
        }
    }

private:
    QProgressDialog dialog_;
};

}  // namespace

bool CMirovaView::ImportDeck() {
    if (importDeck_) return importDeck_(*this);
    // One conversion at a time: a command reaching the view while one runs is refused.
    if (importing_) return false;
    importing_ = true;
    struct Reset {
        bool& flag;
        ~Reset() { flag = false; }
    } reset{importing_};
    LogEvent(QStringLiteral("import"), QString::fromStdString(course_.deckPath));

    QTreeWidget* tree = PageTree();
    if (!tree) return false;
    const size_t slash = course_.deckPath.rfind('/');
    if (slash == std::string::npos) {
        ShowMessage(lang::MessageText("ErrFile"));
        return false;
    }

    // The deck is read whole before anything of the course changes, so that a deck that cannot
    // be imported (no office suite, damaged, protected) leaves the course and its files as they
    // were.
    std::vector<CoursePage> pages;
    int count = 0;
    bool ok = true;
    const QString deckName = QString::fromStdString(course_.deckPath.substr(slash + 1));
    ImportProgress progress(this);
    try {
        std::unique_ptr<slides::Application> app = slideServer_ ? slideServer_() : slides::CreateApplication();
        if (!app) {
            ShowMessage(lang::MessageText("NoOffice"));
            return false;
        }
        app->SetProgressSink(
            [&progress](slides::Stage stage, int done, int total) { progress.Report(stage, done, total); });
        slides::Presentations* presentations = app->GetPresentations();
        slides::Presentation* presentation = presentations ? presentations->Open(course_.deckPath, 0, 0, 0) : nullptr;
        slides::Slides* deckSlides = presentation ? presentation->GetSlides() : nullptr;
        if (deckSlides) {
            count = deckSlides->GetCount();
            for (int i = 1; i <= count; ++i) {
                progress.Report(slides::Stage::ReadingSlide, i, count);
                slides::Slide* slide = deckSlides->Item(i);
                if (!slide) continue;
                slides::Shapes* shapes = slide->GetShapes();
                std::string title;
                if (!shapes || shapes->GetHasTitle() == 0) {
                    title = DefaultPageTitle(i);
                } else {
                    slides::Shape* shape = shapes->GetTitle();
                    slides::TextFrame* frame = shape ? shape->GetTextFrame() : nullptr;
                    slides::TextRange* range = frame ? frame->GetTextRange() : nullptr;
                    if (!range) continue;
                    title = range->GetText();
                    if (title.empty()) title = DefaultPageTitle(i);
                }
                pages.push_back({i, std::move(title)});
            }
        }
        if (presentation) {
            presentation->SaveAs(course_.folder + "/web.htm", slides::kSaveAsWebPage, 0);
            presentation->Close();
        }
        // The player's files once the slides stand, so that a failed export leaves the course's
        // own player as it was.
        CopyWebTemplate(lang::LanguageFolder(), course_.folder, false);
        app->Quit();
        WriteDeckRedirectPage(course_.folder + "/web.htm");
        PatchSlideScript(course_.folder + "/web.files/script.js");
    } catch (const slides::AutomationError& error) {
        ok = false;
        LogEvent(QStringLiteral("import-error"), QString::fromStdString(error.what()));
        // What the teacher can do differs: a password is removed in the office suite, a damaged
        // deck saved again there.
        ShowMessage(lang::MessageWith(slides::IsPasswordProtected(course_.deckPath) ? "DeckPassword" : "DeckUnreadable",
                                      {deckName}));
    } catch (const std::exception& error) {
        ok = false;
        ShowMessage(lang::MessageWith("DeckFailed", {deckName, QString::fromLocal8Bit(error.what())}));
    } catch (...) {
        ok = false;
        ShowMessage(lang::MessageWith("DeckFailed", {deckName, QStringLiteral("?")}));
    }
    if (!ok) return false;

    RemoveCourseItem(tree);
    course_.pages = std::move(pages);
    course_.pageCount = static_cast<int16_t>(count);
    course_.currentPage = 0;
    pageStep_ = 0;
    loggedStep_ = 0;
    // A page of the blank course may have been open in the editor; an imported course has none.
    editing_ = false;
    courseLabel_ = course_.deckPath.substr(slash + 1);
    QTreeWidgetItem* courseItem = AddCourseItem(tree, QString::fromStdString(courseLabel_));
    for (const CoursePage& page : course_.pages) AddPageItem(courseItem, page);
    courseItem->setExpanded(true);
    WriteProjectFile();
    WriteCourseDetails();
    emit CourseOpened();
    return true;
}

}  // namespace tovra
