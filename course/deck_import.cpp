#include "course/deck_import.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <exception>
#include <iterator>

#include <QStringList>

#include "course/course_folder.h"
#include "course/deck_files.h"
#include "lang/language_table.h"

namespace tovra {

namespace {

DeckImportOutcome Failure(DeckImportFailure failure, std::string reason = {}) {
    DeckImportOutcome outcome;
    outcome.failure = failure;
    outcome.reason = std::move(reason);
    return outcome;
}

DeckImportFailure FromFileCheck(slides::DeckFileCheck check) {
    switch (check) {
        case slides::DeckFileCheck::Ok: return DeckImportFailure::None;
        case slides::DeckFileCheck::Unreadable: return DeckImportFailure::Unreadable;
        case slides::DeckFileCheck::Empty: return DeckImportFailure::Empty;
        case slides::DeckFileCheck::NotADeck: return DeckImportFailure::NotADeck;
        case slides::DeckFileCheck::Protected: return DeckImportFailure::Protected;
    }
    return DeckImportFailure::Failed;
}

// The slides as the server reads them: title text, or the page text where there is none.
std::vector<CoursePage> ReadPages(slides::Slides& deckSlides, const DeckImportRequest& request) {
    std::vector<CoursePage> pages;
    const int count = deckSlides.GetCount();
    for (int i = 1; i <= count; ++i) {
        if (request.progress) request.progress(slides::Stage::ReadingSlide, i, count);
        slides::Slide* slide = deckSlides.Item(i);
        if (!slide) continue;
        slides::Shapes* shapes = slide->GetShapes();
        std::string title;
        if (!shapes || shapes->GetHasTitle() == 0) {
            title = request.defaultTitle(i);
        } else {
            slides::Shape* shape = shapes->GetTitle();
            slides::TextFrame* frame = shape ? shape->GetTextFrame() : nullptr;
            slides::TextRange* range = frame ? frame->GetTextRange() : nullptr;
            if (!range) continue;
            title = range->GetText();
            if (title.empty()) title = request.defaultTitle(i);
        }
        CoursePage page{i, std::move(title)};
        slides::SlideShowTransition* show = slide->GetSlideShowTransition();
        page.hidden = show && show->GetHidden() != 0;
        pages.push_back(std::move(page));
    }
    return pages;
}

}  // namespace

DeckImportOutcome ImportDeckFiles(const DeckImportRequest& request, slides::Application* app) {
    // What the file itself tells comes first: nothing is started for an empty file or a
    // picture renamed ".ppt", and a protected deck is named as such.
    const DeckImportFailure fileFailure = FromFileCheck(slides::CheckDeckFile(request.deckPath));
    if (fileFailure != DeckImportFailure::None) {
        DeckImportOutcome outcome = Failure(fileFailure);
        if (fileFailure == DeckImportFailure::Unreadable) {
            outcome.systemError = ::access(request.deckPath.c_str(), R_OK) == 0 ? EISDIR : errno;
        }
        return outcome;
    }
    if (!app) return Failure(DeckImportFailure::NoOffice);

    DeckImportOutcome outcome;
    try {
        app->SetProgressSink(request.progress);
        slides::Presentations* presentations = app->GetPresentations();
        slides::Presentation* presentation = presentations ? presentations->Open(request.deckPath, 0, 0, 0) : nullptr;
        slides::Slides* deckSlides = presentation ? presentation->GetSlides() : nullptr;
        if (deckSlides) {
            outcome.slideCount = deckSlides->GetCount();
            outcome.pages = ReadPages(*deckSlides, request);
        }
        if (presentation) {
            const std::string mainPage = request.folder + "/web.htm";
            if (request.drawLater) {
                outcome.pictures = presentation->SaveAsDrawingLater(
                    mainPage, std::max(1, StepShownSlide(outcome.pages, outcome.slideCount, 0, 1)));
            } else {
                presentation->SaveAs(mainPage, slides::kSaveAsWebPage, 0);
            }
            presentation->Close();
        }
        // The player's files once the slides stand, so that a failed export leaves the course's
        // own player as it was.
        CopyWebTemplate(request.languageFolder, request.folder, false);
        app->Quit();
        WriteDeckRedirectPage(request.folder + "/web.htm");
        PatchSlideScript(request.folder + "/web.files/script.js");
    } catch (const slides::ImportCancelled&) {
        return Failure(DeckImportFailure::Cancelled);
    } catch (const slides::OfficeTimedOut& error) {
        DeckImportOutcome timedOut = Failure(DeckImportFailure::TimedOut);
        timedOut.timeLimitMs = error.LimitMs();
        return timedOut;
    } catch (const slides::AutomationError& error) {
        // A deck the suite could not load may be protected in a way the file check missed.
        return Failure(slides::IsPasswordProtected(request.deckPath) ? DeckImportFailure::Protected
                                                                     : DeckImportFailure::Damaged,
                       error.what());
    } catch (const std::exception& error) {
        return Failure(DeckImportFailure::Failed, error.what());
    } catch (...) {
        return Failure(DeckImportFailure::Failed, "?");
    }
    return outcome;
}

QString DeckImportMessage(const DeckImportOutcome& outcome, const QString& deckName) {
    switch (outcome.failure) {
        case DeckImportFailure::None:
        case DeckImportFailure::Cancelled: return {};
        case DeckImportFailure::NoOffice: return lang::MessageText("NoOffice");
        case DeckImportFailure::Unreadable:
            return lang::MessageWith("CannotRead", {deckName, lang::SystemReason(outcome.systemError)});
        case DeckImportFailure::Empty: return lang::MessageWith("DeckEmpty", {deckName});
        case DeckImportFailure::NotADeck: return lang::MessageWith("DeckNotADeck", {deckName});
        case DeckImportFailure::Protected: return lang::MessageWith("DeckPassword", {deckName});
        case DeckImportFailure::Damaged: return lang::MessageWith("DeckUnreadable", {deckName});
        case DeckImportFailure::TimedOut: {
            // Whole minutes, at least one, as the teacher reads the limit.
            const int minutes = std::max(1, (outcome.timeLimitMs + 30000) / 60000);
            return lang::MessageWith("DeckTimeout", {deckName, QString::number(minutes)});
        }
        case DeckImportFailure::Failed:
            return lang::MessageWith("DeckFailed", {deckName, QString::fromLocal8Bit(outcome.reason.c_str())});
    }
    return {};
}

QString DeckFileFilter() {
    struct Kind {
        const char* key;
        const char* ending;
    };
    static constexpr Kind kKinds[] = {{"FilterPpt", ".ppt"},   {"FilterPps", ".pps"}, {"FilterPptx", ".pptx"},
                                      {"FilterPpsx", ".ppsx"}, {"FilterOdp", ".odp"}};
    static_assert(std::size(kKinds) == std::size(slides::kDeckEndings));
    QStringList all;
    QStringList entries;
    for (const Kind& kind : kKinds) {
        const QString pattern = QLatin1Char('*') + QLatin1String(kind.ending);
        all << pattern;
        entries << lang::MessageText(kind.key) + QStringLiteral(" (") + pattern + QLatin1Char(')');
    }
    return lang::MessageText("FilterDecks") + QStringLiteral(" (") + all.join(QLatin1Char(' ')) + QStringLiteral(");;") +
           entries.join(QStringLiteral(";;"));
}

int StepShownSlide(const std::vector<CoursePage>& pages, int slideCount, int number, int step) {
    std::vector<bool> hidden(static_cast<size_t>(std::max(slideCount, 0)) + 1, false);
    for (const CoursePage& page : pages) {
        if (page.hidden && page.number >= 1 && page.number <= slideCount) hidden[static_cast<size_t>(page.number)] = true;
    }
    for (int n = number + step; n >= 1 && n <= slideCount; n += step) {
        if (!hidden[static_cast<size_t>(n)]) return n;
    }
    return 0;
}

}  // namespace tovra
