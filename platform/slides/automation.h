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

class Slide {
public:
    virtual ~Slide() = default;
    virtual Shapes* GetShapes() = 0;
};

class Slides {
public:
    virtual ~Slides() = default;
    virtual int GetCount() = 0;
    virtual Slide* Item(int index) = 0;  // 1-based; throws outside 1..GetCount()
};

class Presentation {
public:
    virtual ~Presentation() = default;
    virtual Slides* GetSlides() = 0;
    // Writes fileName (the main page) and, beside it, the folder of its supporting files: its
    // name without extension + ".files", or a folder already there that differs only in case.
    virtual void SaveAs(const std::string& fileName, int fileFormat, int embedTrueTypeFonts) = 0;
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
};

struct OfficeOptions {
    std::string office;          // the office suite's start command; empty: "soffice" on the PATH
    int timeoutMs = 180000;      // per run of the office suite; overrun kills it and fails the call
    int renderThreads = 2;       // slide pictures drawn at once
};

// The server on LibreOffice; nullptr when the office suite is not installed.
std::unique_ptr<Application> CreateApplication(const OfficeOptions& options = {});

// Whether the deck at path is encrypted with a password: an OLE compound file holding the streams
// of PowerPoint's encryption ("EncryptedSummary") or of an encrypted Office Open XML package
// ("EncryptionInfo"). Says nothing of other damage.
bool IsPasswordProtected(const std::string& path);

}  // namespace tovra::slides
