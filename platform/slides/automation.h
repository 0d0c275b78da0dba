// The slide-deck automation server: the objects a deck is read and exported through (application,
// presentations, presentation, slides, slide, shapes, shape, text frame, text range). Every
// object is owned by the one that handed it out and lives as long as it does. A failed call
// throws AutomationError, where the presentation program's automation would raise an error.
// Property gets are named Get + the property, as automation wrappers name them.
#pragma once

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

namespace tovra::slides {

class AutomationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The office suite ran past its time limit and was stopped.
class OfficeTimedOut : public AutomationError {
public:
    OfficeTimedOut(const std::string& what, int limitMs) : AutomationError(what), limitMs_(limitMs) {}
    int LimitMs() const { return limitMs_; }

private:
    int limitMs_;
};

// Application::Cancel was called while a call waited on the office suite.
class ImportCancelled : public AutomationError {
public:
    using AutomationError::AutomationError;
};

// The only export format offered: a web page with one page per slide.
inline constexpr int kSaveAsWebPage = 12;

class TextRange {
public:
    virtual ~TextRange() = default;
    // The text in UTF-8; paragraphs end in "\r", line breaks inside one are "\v".
    virtual std::string GetText() = 0;
};

class TextFrame {
public:
    virtual ~TextFrame() = default;
    virtual TextRange* GetTextRange() = 0;
};

class Shape {
public:
    virtual ~Shape() = default;
    virtual TextFrame* GetTextFrame() = 0;
};

class Shapes {
public:
    virtual ~Shapes() = default;
    virtual int GetHasTitle() = 0;  // 0: the slide has no title placeholder
    virtual Shape* GetTitle() = 0;  // throws when GetHasTitle() is 0
};

// How the slide takes part in a slide show.
class SlideShowTransition {
public:
    virtual ~SlideShowTransition() = default;
    virtual int GetHidden() = 0;  // non-zero: the show passes over the slide
};

class Slide {
public:
    virtual ~Slide() = default;
    virtual Shapes* GetShapes() = 0;
    virtual SlideShowTransition* GetSlideShowTransition() = 0;
};

class Slides {
public:
    virtual ~Slides() = default;
    virtual int GetCount() = 0;
    virtual Slide* Item(int index) = 0;  // 1-based; throws outside 1..GetCount()
};

// The slide pictures of a web export still being drawn after the export returned.
class PictureJob {
public:
    virtual ~PictureJob() = default;
    // Slide `number` (1-based) is drawn next, and the slides after it then.
    virtual void Prefer(int number) = 0;
    virtual int Drawn() const = 0;  // pictures in place so far
    virtual int Total() const = 0;
    virtual bool Finished() const = 0;
    // Waits until every picture is in place; progress(drawn, total) is called meanwhile from
    // the caller's event loop. False when a picture could not be written.
    virtual bool Wait(const std::function<void(int drawn, int total)>& progress) = 0;
    // Stops drawing; pictures not yet drawn stay missing.
    virtual void Cancel() = 0;
};

class Presentation {
public:
    virtual ~Presentation() = default;
    virtual Slides* GetSlides() = 0;
    // Writes fileName (the main page) and, beside it, the folder of its supporting files: its
    // name without extension + ".files", or a folder already there that differs only in case.
    virtual void SaveAs(const std::string& fileName, int fileFormat, int embedTrueTypeFonts) = 0;
    // As SaveAs to a web page, but returns once the pages and the picture of slide `first` are
    // written; the job returned draws the others (nullptr: every picture is already written).
    virtual std::shared_ptr<PictureJob> SaveAsDrawingLater(const std::string& fileName, int first) {
        (void)first;
        SaveAs(fileName, kSaveAsWebPage, 0);
        return nullptr;
    }
    virtual void Close() = 0;
};

class Presentations {
public:
    virtual ~Presentations() = default;
    virtual Presentation* Open(const std::string& fileName, int readOnly, int untitled, int withWindow) = 0;
};

// Where a long call stands, for a progress display: a stage, and for stages that go slide by
// slide, the slide being worked on (1-based) and the slide count; both 0 otherwise.
enum class Stage { Opening, ReadingSlide, Rendering, Writing };
using ProgressSink = std::function<void(Stage stage, int done, int total)>;

class Application {
public:
    virtual ~Application() = default;
    virtual Presentations* GetPresentations() = 0;
    virtual void Quit() = 0;
    // Called from the calls that take long; the window stays responsive while they run.
    virtual void SetProgressSink(ProgressSink sink) = 0;
    // Asks a call waiting on the office suite (from the progress sink or the event loop it
    // runs) to stop it and throw ImportCancelled.
    virtual void Cancel() = 0;
};

struct OfficeOptions {
    std::string office;          // the office suite's start command; empty: "soffice" on the PATH
    int timeoutMs = 0;           // per run of the office suite, overrun kills it; 0: TimeLimitMs of the deck
    int renderThreads = 2;       // slide pictures drawn at once
};

// How long the office suite may take over a deck of `bytes`: a minute and a half, and 15 s
// more for each MiB, since large decks are mostly pictures the suite has to decode.
int TimeLimitMs(long long bytes);

// The server on LibreOffice; nullptr when the office suite is not installed.
std::unique_ptr<Application> CreateApplication(const OfficeOptions& options = {});

// The kinds of deck the office suite opens well, by file name ending (lower case, with the dot).
inline constexpr const char* kDeckEndings[] = {".ppt", ".pps", ".pptx", ".ppsx", ".odp"};

// Whether the file name ends in one of kDeckEndings (as written: "Deck.PPT" is no deck).
bool IsDeckFileName(const std::string& path);

// What the file itself says before the office suite is asked.
enum class DeckFileCheck {
    Ok,
    Unreadable,  // missing or not readable
    Empty,       // no bytes
    NotADeck,    // neither a compound file (.ppt, .pps, encrypted packages) nor a zip package
    Protected,   // encrypted with a password
};
DeckFileCheck CheckDeckFile(const std::string& path);

// Whether the deck at path is encrypted with a password: an OLE compound file holding the streams
// of PowerPoint's encryption ("EncryptedSummary") or of an encrypted Office Open XML package
// ("EncryptionInfo"). Says nothing of other damage.
bool IsPasswordProtected(const std::string& path);

}  // namespace tovra::slides
