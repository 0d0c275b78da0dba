// The automation server on LibreOffice: opening a deck converts it twice at once, to a flat ODF
// presentation (the titles) and to PDF (the slide pictures); the pictures are drawn as soon as the
// PDF is there, while the titles are still being read.
#include <algorithm>
#include <functional>
#include <memory>
#include <vector>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>

#include "platform/slides/automation.h"
#include "platform/slides/deck_titles.h"
#include "platform/slides/office_process.h"
#include "platform/slides/slide_pictures.h"
#include "platform/slides/web_export.h"
#include "platform/text/code_page.h"

namespace tovra::slides {

namespace {

// Hidden slides are exported too, so that PDF pages and ODF pages stay in step.
const QString kPdfFormat =
    QStringLiteral("pdf:impress_pdf_Export:{\"ExportHiddenSlides\":{\"type\":\"boolean\",\"value\":\"true\"}}");

class LoTextRange final : public TextRange {
public:
    explicit LoTextRange(const std::string& utf8) : utf8_(utf8) {}
    std::string GetText() override { return utf8_; }

private:
    const std::string& utf8_;
};

class LoTextFrame final : public TextFrame {
public:
    explicit LoTextFrame(const std::string& utf8) : range_(utf8) {}
    TextRange* GetTextRange() override { return &range_; }

private:
    LoTextRange range_;
};

class LoShape final : public Shape {
public:
    explicit LoShape(const std::string& utf8) : frame_(utf8) {}
    TextFrame* GetTextFrame() override { return &frame_; }

private:
    LoTextFrame frame_;
};

class LoShapes final : public Shapes {
public:
    explicit LoShapes(const SlideTitle& slide) : slide_(slide), title_(slide.text) {}
    int GetHasTitle() override { return slide_.hasTitle ? 1 : 0; }
    Shape* GetTitle() override {
        if (!slide_.hasTitle) throw AutomationError("the slide has no title placeholder");
        return &title_;
    }

private:
    const SlideTitle& slide_;
    LoShape title_;
};

class LoTransition final : public SlideShowTransition {
public:
    explicit LoTransition(const SlideTitle& slide) : slide_(slide) {}
    int GetHidden() override { return slide_.hidden ? 1 : 0; }

private:
    const SlideTitle& slide_;
};

class LoSlide final : public Slide {
public:
    explicit LoSlide(const SlideTitle& slide) : shapes_(slide), transition_(slide) {}
    Shapes* GetShapes() override { return &shapes_; }
    SlideShowTransition* GetSlideShowTransition() override { return &transition_; }

private:
    LoShapes shapes_;
    LoTransition transition_;
};

class LoSlides final : public Slides {
public:
    explicit LoSlides(const std::vector<SlideTitle>& titles) {
        for (const SlideTitle& title : titles) slides_.push_back(std::make_unique<LoSlide>(title));
    }
    int GetCount() override { return static_cast<int>(slides_.size()); }
    Slide* Item(int index) override {
        if (index < 1 || index > GetCount()) throw AutomationError("slide index out of range");
        return slides_[static_cast<size_t>(index - 1)].get();
    }

private:
    std::vector<std::unique_ptr<LoSlide>> slides_;
};

struct ServerContext {
    QString office;
    OfficeOptions options;
    ProgressSink sink;
    bool cancelled = false;

    void Report(Stage stage, int done, int total) const {
        if (sink) sink(stage, done, total);
    }
};

class LoPresentation final : public Presentation {
public:
    LoPresentation(ServerContext& server, const QString& deckPath) : server_(server) {
        const QFileInfo deck(deckPath);
        if (!deck.isFile()) throw AutomationError("the deck does not exist: " + deckPath.toStdString());
        // The folder of this deck's conversions lives as long as its pictures are being drawn,
        // which may be after the presentation is closed.
        auto work = std::make_shared<QTemporaryDir>(QDir::temp().filePath(QStringLiteral("tovra-slides-XXXXXX")));
        if (!work->isValid()) throw AutomationError("no room for the conversion in " + QDir::tempPath().toStdString());
        work_ = work;
        dir_ = work->path();
        QDir().mkpath(dir_ + QStringLiteral("/pictures"));
        // A copy under a plain name: the outputs are then known, and the teacher may go on
        // changing the deck meanwhile.
        const QString suffix = deck.suffix().isEmpty() ? QStringLiteral("ppt") : deck.suffix().toLower();
        const QString copy = dir_ + QStringLiteral("/deck.") + suffix;
        if (!QFile::copy(deckPath, copy)) throw AutomationError("the deck cannot be read: " + deckPath.toStdString());
        fodpPath_ = dir_ + QStringLiteral("/deck.fodp");
        pdfPath_ = dir_ + QStringLiteral("/deck.pdf");

        timeLimitMs_ = server.options.timeoutMs > 0 ? server.options.timeoutMs : TimeLimitMs(deck.size());
        odf_ = std::make_unique<OfficeConversion>(server.office, copy, QStringLiteral("fodp"), dir_,
                                                  dir_ + QStringLiteral("/profile-odf"), timeLimitMs_);
        pdf_ = std::make_unique<OfficeConversion>(server.office, copy, kPdfFormat, dir_,
                                                  dir_ + QStringLiteral("/profile-pdf"), timeLimitMs_);
        QObject::connect(pdf_.get(), &OfficeConversion::Done, [this] { StartPictures(); });
        if (!odf_->Start() || !pdf_->Start()) {
            Stop();
            throw AutomationError("the office suite cannot be started: " + server.office.toStdString());
        }

        server.Report(Stage::Opening, 0, 0);
        WaitOnOffice([this] { return odf_->Finished(); });
        // The office suite ends well even for files it cannot load (encrypted, not a deck):
        // only the output tells.
        QFile fodp(fodpPath_);
        if (!fodp.open(QIODevice::ReadOnly) || fodp.size() == 0) {
            Stop();
            throw AutomationError("the office suite could not open the deck");
        }
        const QByteArray bytes = fodp.readAll();
        if (!ReadSlideTitles(std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())), titles_)) {
            Stop();
            throw AutomationError("the converted deck cannot be read");
        }
        slides_ = std::make_unique<LoSlides>(titles_);
    }

    ~LoPresentation() override { Stop(); }

    Slides* GetSlides() override {
        CheckOpen();
        return slides_.get();
    }

    void SaveAs(const std::string& fileName, int fileFormat, int) override {
        CheckOpen();
        if (fileFormat != kSaveAsWebPage) throw AutomationError("unsupported file format");
        Export(fileName);
        const int count = static_cast<int>(titles_.size());
        const bool drawn = pictures_->Wait([this, count](int done, int) {
            server_.Report(Stage::Rendering, std::min(done, count), count);
            if (server_.cancelled) pictures_->Cancel();
        });
        CheckCancelled();
        if (!drawn) throw AutomationError("the slide pictures cannot be written into " + fileName);
    }

    std::shared_ptr<PictureJob> SaveAsDrawingLater(const std::string& fileName, int first) override {
        CheckOpen();
        Export(fileName);
        const int count = static_cast<int>(titles_.size());
        first = std::max(1, std::min(first, count));
        pictures_->Prefer(first);
        WaitOnOffice([&] {
            server_.Report(Stage::Rendering, 0, count);
            return pictures_->Finished() || PictureInPlace(first);
        });
        handedOut_ = true;
        return pictures_;
    }

    void Close() override {
        CheckOpen();
        Stop();
        closed_ = true;
    }

private:
    void CheckOpen() const {
        if (closed_) throw AutomationError("the presentation is closed");
    }

    void CheckCancelled() {
        if (!server_.cancelled) return;
        Stop();
        throw ImportCancelled("the import was cancelled");
    }

    // Waits with the window responsive until done() holds, stopping the office suite when the
    // teacher cancels or its time runs out.
    void WaitOnOffice(const std::function<bool()>& done) {
        WaitWhileResponsive([&] {
            odf_->Poll();
            pdf_->Poll();
            return server_.cancelled || odf_->TimedOut() || pdf_->TimedOut() || done();
        });
        CheckCancelled();
        if (odf_->TimedOut() || pdf_->TimedOut()) {
            Stop();
            throw OfficeTimedOut("the office suite ran past its time limit", timeLimitMs_);
        }
    }

    bool PictureInPlace(int number) const {
        return QFileInfo::exists(QDir(exportFolder_).filePath(QString::fromStdString(SlidePictureName(number))));
    }

    // The pages of the export, with the pictures going to their folder as they are drawn.
    void Export(const std::string& fileName) {
        const int count = static_cast<int>(titles_.size());
        WaitOnOffice([this, count] {
            if (!pdf_->Finished()) server_.Report(Stage::Rendering, 0, count);
            return pdf_->Finished();
        });
        StartPictures();
        if (!pictures_) throw AutomationError("the office suite could not make the slide pictures");

        server_.Report(Stage::Writing, 0, 0);
        const ExportPaths paths = ResolveExportPaths(QString::fromStdString(fileName));
        std::vector<ExportSlide> slides(titles_.size());
        for (size_t i = 0; i < slides.size(); ++i) {
            slides[i].title = titles_[i].text;
            slides[i].hidden = titles_[i].hidden;
            // A slide the PDF lacks takes the first page's size.
            const PageSize size = i < pageSizes_.size() ? pageSizes_[i] : pageSizes_.front();
            slides[i].pictureHeight = PictureHeight(size);
        }
        if (!WriteWebExport(paths, QFileInfo(QString::fromStdString(fileName)).completeBaseName().toStdString(), slides)) {
            throw AutomationError("the web page cannot be written: " + fileName);
        }
        exportFolder_ = paths.folder;
        if (!pictures_->SetDestination(paths.folder.toStdString())) {
            throw AutomationError("a slide picture cannot be written into " + paths.folder.toStdString());
        }
        for (size_t i = pageSizes_.size(); i < slides.size(); ++i) {
            // Nothing to draw (the PDF has fewer pages): a white slide keeps the page whole.
            const QString to = QDir(paths.folder).filePath(QString::fromStdString(SlidePictureName(static_cast<int>(i) + 1)));
            QImage blank(kPictureWidth, slides[i].pictureHeight, QImage::Format_RGB32);
            blank.fill(Qt::white);
            if (!blank.save(to, "PNG")) throw AutomationError("a slide picture cannot be written: " + to.toStdString());
        }
    }

    // Drawing starts as soon as the PDF is there, while the titles are still being read.
    void StartPictures() {
        if (pictures_ || !pdf_->Succeeded()) return;
        std::vector<PageSize> sizes = ReadPageSizes(pdfPath_.toStdString());
        if (sizes.empty()) return;
        pageSizes_ = sizes;
        pictures_ = std::make_shared<SlidePictureJob>(pdfPath_.toStdString(), std::move(sizes),
                                                      (dir_ + QStringLiteral("/pictures")).toStdString(),
                                                      server_.options.renderThreads, work_);
    }

    void Stop() {
        if (odf_ && !odf_->Finished()) odf_->Kill();
        if (pdf_ && !pdf_->Finished()) pdf_->Kill();
        // Pictures handed out go on being drawn; the others are of no use any more.
        if (pictures_ && !handedOut_) pictures_->Cancel();
    }

    ServerContext& server_;
    std::shared_ptr<QTemporaryDir> work_;
    QString dir_;
    QString fodpPath_;
    QString pdfPath_;
    QString exportFolder_;
    std::unique_ptr<OfficeConversion> odf_;
    std::unique_ptr<OfficeConversion> pdf_;
    std::vector<SlideTitle> titles_;
    std::unique_ptr<LoSlides> slides_;
    std::shared_ptr<SlidePictureJob> pictures_;
    std::vector<PageSize> pageSizes_;
    bool handedOut_ = false;
    bool closed_ = false;
    int timeLimitMs_ = 0;
};

class LoPresentations final : public Presentations {
public:
    explicit LoPresentations(ServerContext& server) : server_(server) {}
    Presentation* Open(const std::string& fileName, int, int, int) override {
        opened_.push_back(std::make_unique<LoPresentation>(server_, QString::fromStdString(fileName)));
        return opened_.back().get();
    }
    void CloseAll() { opened_.clear(); }

private:
    ServerContext& server_;
    std::vector<std::unique_ptr<LoPresentation>> opened_;
};

class LoApplication final : public Application {
public:
    explicit LoApplication(std::unique_ptr<ServerContext> server)
        : server_(std::move(server)), presentations_(*server_) {}
    ~LoApplication() override { presentations_.CloseAll(); }

    Presentations* GetPresentations() override {
        if (quit_) throw AutomationError("the application has quit");
        return &presentations_;
    }
    void Quit() override {
        presentations_.CloseAll();
        quit_ = true;
    }
    void SetProgressSink(ProgressSink sink) override { server_->sink = std::move(sink); }
    void Cancel() override { server_->cancelled = true; }

private:
    std::unique_ptr<ServerContext> server_;
    LoPresentations presentations_;
    bool quit_ = false;
};

}  // namespace

std::unique_ptr<Application> CreateApplication(const OfficeOptions& options) {
    auto server = std::make_unique<ServerContext>();
    server->office = FindOffice(options.office);
    server->options = options;
    if (server->office.isEmpty()) return nullptr;
    return std::make_unique<LoApplication>(std::move(server));
}

}  // namespace tovra::slides
