// Importing a slide deck into the open course: the deck is read and exported by the engine's
// import, with a progress dialog the teacher can cancel; the page tree then shows the slides.
// The slide pictures go on being drawn after the course is on show, the slide on show first.
#include <QApplication>
#include <QProgressDialog>
#include <QTimer>
#include <QTreeWidget>

#include "course/deck_import.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/slides/automation.h"
#include "view/event_log.h"
#include "view/main_window_access.h"
#include "view/mirova_view.h"
#include "view/title_texts.h"

namespace tovra {

namespace {

// Shows where the import stands; modal, so nothing else is started meanwhile, while the window
// goes on painting. Cancel stops the office suite.
class ImportProgress {
public:
    ImportProgress(QWidget* owner, std::function<void()> cancel) : dialog_(owner) {
        dialog_.setWindowTitle(QApplication::applicationDisplayName());
        dialog_.setCancelButtonText(lang::MessageText("BtnCancel"));
        dialog_.setWindowModality(Qt::WindowModal);
        dialog_.setMinimumDuration(0);
        dialog_.setAutoClose(false);
        dialog_.setAutoReset(false);
        dialog_.setMinimumWidth(420);
        QObject::connect(&dialog_, &QProgressDialog::canceled, [cancel = std::move(cancel)] { cancel(); });
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
            case slides::Stage::ReadingSlide: Show(lang::MessageNumbers("ImportSlide", {done, total}), done, total); break;
            case slides::Stage::Rendering:
                Show(lang::MessageNumbers("ImportPicture", {std::min(done + 1, total), total}), done, total);
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
    // The pictures of a deck imported before are finished first: it may be this same course.
    FinishSlidePictures();

    // The deck is read whole before anything of the course changes, so that a deck that cannot
    // be imported (no office suite, damaged, protected, cancelled) leaves the course and its
    // files as they were.
    const QString deckName = QString::fromStdString(course_.deckPath.substr(slash + 1));
    std::unique_ptr<slides::Application> app = slideServer_ ? slideServer_() : slides::CreateApplication();
    slides::Application* server = app.get();
    ImportProgress progress(this, [server] {
        if (server) server->Cancel();
    });
    DeckImportRequest request;
    request.deckPath = course_.deckPath;
    request.folder = course_.folder;
    request.languageFolder = lang::LanguageFolder();
    request.drawLater = true;
    request.defaultTitle = [](int n) { return DefaultPageTitle(n); };
    request.progress = [&progress](slides::Stage stage, int done, int total) { progress.Report(stage, done, total); };
    DeckImportOutcome outcome = ImportDeckFiles(request, server);
    if (!outcome.Succeeded()) {
        LogEvent(QStringLiteral("import-error"), QString::fromStdString(outcome.reason));
        // A cancelled import says nothing: the teacher asked for it.
        const QString message = DeckImportMessage(outcome, deckName);
        if (!message.isEmpty()) ShowMessage(message);
        return false;
    }

    RemoveCourseItem(tree);
    course_.pages = std::move(outcome.pages);
    course_.pageCount = static_cast<int16_t>(outcome.slideCount);
    course_.currentPage = 0;
    pageStep_ = 0;
    session_.ForgetLoggedStep();
    // A page of the blank course may have been open in the editor; an imported course has none.
    editing_ = false;
    courseLabel_ = course_.deckPath.substr(slash + 1);
    QTreeWidgetItem* courseItem = AddCourseItem(tree, QString::fromStdString(courseLabel_));
    const QString hiddenNote = lang::MessageText("HiddenSlide");
    for (const CoursePage& page : course_.pages) AddPageItem(courseItem, page, hiddenNote);
    courseItem->setExpanded(true);
    WriteProjectFile();
    WriteCourseDetails();
    DrawSlidePicturesLater(std::move(outcome.pictures));
    emit CourseOpened();
    return true;
}

void CMirovaView::DrawSlidePicturesLater(std::shared_ptr<slides::PictureJob> job) {
    pictures_ = std::move(job);
    if (!pictures_) return;
    // The status bar says how far the drawing is, and the slide on show is drawn next.
    auto* timer = new QTimer(this);
    timer->setInterval(250);
    std::weak_ptr<slides::PictureJob> watched = pictures_;
    connect(timer, &QTimer::timeout, this, [this, timer, watched] {
        std::shared_ptr<slides::PictureJob> job = watched.lock();
        if (!job || job != pictures_ || job->Finished()) {
            if (job && job == pictures_) pictures_.reset();
            if (mainFrame_) mainFrame_->SetStatusText({});
            timer->deleteLater();
            return;
        }
        if (mainFrame_) {
            mainFrame_->SetStatusText(
                lang::MessageWith("PicturesDrawing", {QString::number(job->Drawn()), QString::number(job->Total())}));
        }
    });
    timer->start();
}

void CMirovaView::PreferSlidePicture(int number) {
    if (pictures_ && number > 0) pictures_->Prefer(number);
}

void CMirovaView::FinishSlidePictures() {
    if (!pictures_) return;
    std::shared_ptr<slides::PictureJob> job = std::move(pictures_);
    if (job->Finished()) return;
    QProgressDialog dialog(this);
    dialog.setWindowTitle(QApplication::applicationDisplayName());
    dialog.setCancelButton(nullptr);
    dialog.setWindowModality(Qt::WindowModal);
    dialog.setMinimumDuration(0);
    dialog.setMinimumWidth(420);
    dialog.setRange(0, job->Total());
    job->Wait([&dialog](int drawn, int total) {
        dialog.setLabelText(lang::MessageWith("PicturesWait", {QString::number(drawn), QString::number(total)}));
        dialog.setValue(drawn);
    });
    if (mainFrame_) mainFrame_->SetStatusText({});
}

}  // namespace tovra
