// Making the slide pages of a course from a deck, without a window: the deck is checked, read
// whole through the slide server, and only then are the course's files written (the web
// export, the player template, the redirecting start page and the patched slide script). The
// interface and the command line both build on it and keep the course model themselves.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <QString>

#include "course/course_project.h"
#include "platform/slides/automation.h"

namespace tovra {

enum class DeckImportFailure {
    None,
    NoOffice,      // no office suite installed
    Unreadable,    // the deck file is missing or cannot be read
    Empty,         // the deck file has no bytes
    NotADeck,      // the file is no slide deck of a kind the suite opens
    Protected,     // a password protects it
    Damaged,       // the office suite could not open it
    TimedOut,      // the office suite ran past its time limit and was stopped
    Cancelled,     // the teacher cancelled
    Failed,        // anything else; `reason` says what
};

struct DeckImportRequest {
    std::string deckPath;        // absolute, UTF-8
    std::string folder;          // the course folder; it exists
    std::string languageFolder;  // "<program>/ELanguage/<language>", the player template
    // Return once the first shown slide's picture stands and let the outcome's job draw the
    // others; otherwise every picture is in place on return.
    bool drawLater = false;
    std::function<std::string(int number)> defaultTitle;  // a slide without title text
    slides::ProgressSink progress;
};

struct DeckImportOutcome {
    DeckImportFailure failure = DeckImportFailure::None;
    std::string reason;              // for Failed: what went wrong, as the server said it
    int systemError = 0;             // for Unreadable: the errno
    int timeLimitMs = 0;             // for TimedOut: the limit the office suite ran past
    std::vector<CoursePage> pages;   // slide order; hidden slides marked
    int slideCount = 0;
    std::shared_ptr<slides::PictureJob> pictures;  // still drawing; nullptr when all are in place

    bool Succeeded() const { return failure == DeckImportFailure::None; }
};

// Imports request.deckPath into request.folder through `app` (nullptr: no office suite). On
// failure nothing in the folder has changed.
DeckImportOutcome ImportDeckFiles(const DeckImportRequest& request, slides::Application* app);

// The message for a failed import, in the interface language; deckName is the file name shown.
QString DeckImportMessage(const DeckImportOutcome& outcome, const QString& deckName);

// The file chooser's filter for decks: all kinds in one entry, then one entry per kind.
QString DeckFileFilter();

// The slide after (step 1) or before (step -1) slide `number` that a show reaches among slides
// 1..slideCount, passing over those `pages` marks hidden; 0 when there is none. From 0 forward
// gives the first shown slide, from slideCount + 1 backward the last.
int StepShownSlide(const std::vector<CoursePage>& pages, int slideCount, int number, int step);

}  // namespace tovra
