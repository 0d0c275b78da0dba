// The automation server on LibreOffice: opening a deck converts it twice at once, to a flat ODF
// presentation (the titles) and to PDF (the slide pictures); the pictures are drawn as soon as the
// PDF is there, while the titles are still being read.
#include <atomic>
#include <memory>
#include <thread>
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

class LoSlide final : public Slide {
public:
    explicit LoSlide(const SlideTitle& slide) : shapes_(slide) {}
    Shapes* GetShapes() override { return &shapes_; }

private:
    LoShapes shapes_;
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
    QTemporaryDir work{QDir::temp().filePath(QStringLiteral("tovra-slides-XXXXXX"))};
    ProgressSink sink;
    int opened = 0;

    void Report(Stage stage, int done, int total) const {
        if (sink) sink(stage, done, total);
    }
};

class LoPresentation final : public Presentation {
public:
    LoPresentation(ServerContext& server, const QString& deckPath) : server_(server) {
        const QFileInfo deck(deckPath);
        if (!deck.isFile()) throw AutomationError("the deck does not exist: " + deckPath.toStdString());
        dir_ = server.work.filePath(QStringLiteral("deck%1").arg(++server.opened));
        QDir().mkpath(dir_ + QStringLiteral("/pictures"));
        // A copy under a plain name: the outputs are then known, and the teacher may go on
        // changing the deck meanwhile.
        const QString suffix = deck.suffix().isEmpty() ? QStringLiteral("ppt") : deck.suffix().toLower();
        const QString copy = dir_ + QStringLiteral("/deck.") + suffix;
        if (!QFile::copy(deckPath, copy)) throw AutomationError("the deck cannot be read: " + deckPath.toStdString());
        fodpPath_ = dir_ + QStringLiteral("/deck.fodp");
        pdfPath_ = dir_ + QStringLiteral("/deck.pdf");

        const int timeout = server.options.timeoutMs;
        odf_ = std::make_unique<OfficeConversion>(server.office, copy, QStringLiteral("fodp"), dir_,
                                                  dir_ + QStringLiteral("/profile-odf"), timeout);
        pdf_ = std::make_unique<OfficeConversion>(server.office, copy, kPdfFormat, dir_,
                                                  dir_ + QStringLiteral("/profile-pdf"), timeout);
        QObject::connect(pdf_.get(), &OfficeConversion::Done, [this] { StartPictures(); });
        if (!odf_->Start() || !pdf_->Start()) {
            Stop();
            throw AutomationError("the office suite cannot be started: " + server.office.toStdString());
        }

        server.Report(Stage::Opening, 0, 0);
        WaitWhileResponsive([this] {
            odf_->Poll();
            pdf_->Poll();
            return odf_->Finished();
        });
        // The office suite ends well even for files it cannot load (encrypted, not a deck):
        // only the output tells.
        QFile fodp(fodpPath_);
        std::vector<SlideTitle> titles;
        if (odf_->TimedOut() || !fodp.open(QIODevice::ReadOnly) || fodp.size() == 0) {
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
        const int count = static_cast<int>(titles_.size());
        WaitWhileResponsive([this, count] {
            pdf_->Poll();
            if (!pdf_->Finished()) {
                server_.Report(Stage::Rendering, 0, count);
                return false;
            }
            if (!picturesStarted_) StartPictures();
            server_.Report(Stage::Rendering, std::min(picturesDone_.load(), count), count);
            return picturesFinished_.load();
        });
        if (painter_.joinable()) painter_.join();
        if (pdf_->TimedOut() || pageSizes_.empty()) throw AutomationError("the office suite could not make the slide pictures");

        server_.Report(Stage::Writing, 0, 0);
        const ExportPaths paths = ResolveExportPaths(QString::fromStdString(fileName));
        std::vector<ExportSlide> slides(titles_.size());
        for (size_t i = 0; i < slides.size(); ++i) {
            slides[i].title = titles_[i].text;
            // A slide the PDF lacks takes the first page's size.
            const PageSize size = i < pageSizes_.size() ? pageSizes_[i] : pageSizes_.front();
            slides[i].pictureHeight = PictureHeight(size);
        }
        if (!WriteWebExport(paths, QFileInfo(QString::fromStdString(fileName)).completeBaseName().toStdString(), slides)) {
            throw AutomationError("the web page cannot be written: " + fileName);
        }
        for (size_t i = 0; i < slides.size(); ++i) {
            const int number = static_cast<int>(i) + 1;
            const QString name = QString::fromStdString(SlidePictureName(number));
            const QString from = dir_ + QStringLiteral("/pictures/") + name;
            const QString to = QDir(paths.folder).filePath(name);
            QFile::remove(to);
            if (QFile::exists(from)) {
                if (!QFile::rename(from, to) && !QFile::copy(from, to)) {
                    throw AutomationError("a slide picture cannot be written: " + to.toStdString());
                }
            } else {
                // Nothing to draw (the PDF has fewer pages): a white slide keeps the page whole.
                QImage blank(kPictureWidth, slides[i].pictureHeight, QImage::Format_RGB32);
                blank.fill(Qt::white);
                if (!blank.save(to, "PNG")) throw AutomationError("a slide picture cannot be written: " + to.toStdString());
            }
        }
    }

    void Close() override {
        CheckOpen();
        Stop();
        closed_ = true;
    }

    bool IsClosed() const { return closed_; }

private:
    void CheckOpen() const {
        if (closed_) throw AutomationError("the presentation is closed");
    }

    void StartPictures() {
        if (picturesStarted_ || !pdf_->Succeeded()) {
            if (pdf_->Finished() && !picturesStarted_) picturesFinished_ = true;
            return;
        }
        picturesStarted_ = true;
        const std::string pdf = pdfPath_.toStdString();
        const std::string pictures = (dir_ + QStringLiteral("/pictures/")).toStdString();
        const int threads = server_.options.renderThreads;
        painter_ = std::thread([this, pdf, pictures, threads] {
            std::vector<PageSize> sizes = ReadPageSizes(pdf);
            std::vector<std::string> outputs;
            for (size_t i = 0; i < sizes.size(); ++i) outputs.push_back(pictures + SlidePictureName(static_cast<int>(i) + 1));
            if (!sizes.empty()) RenderSlidePictures(pdf, outputs, threads, picturesDone_);
            pageSizes_ = std::move(sizes);
            picturesFinished_ = true;
        });
    }

    void Stop() {
        if (odf_ && !odf_->Finished()) odf_->Kill();
        if (pdf_ && !pdf_->Finished()) pdf_->Kill();
        if (painter_.joinable()) painter_.join();
    }

    ServerContext& server_;
    QString dir_;
    QString fodpPath_;
    QString pdfPath_;
    std::unique_ptr<OfficeConversion> odf_;
    std::unique_ptr<OfficeConversion> pdf_;
    std::vector<SlideTitle> titles_;
    std::unique_ptr<LoSlides> slides_;
    std::thread painter_;
    bool picturesStarted_ = false;
    std::atomic<bool> picturesFinished_{false};
    std::atomic<int> picturesDone_{0};
    std::vector<PageSize> pageSizes_;  // written by the painter before picturesFinished_
    bool closed_ = false;
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

private:
    std::unique_ptr<ServerContext> server_;
    LoPresentations presentations_;
    bool quit_ = false;
};

}  // namespace

bool IsPasswordProtected(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return false;
    // The compound file's signature, then its directory, which names the streams in UTF-16LE.
    const QByteArray head = file.read(8 << 20);
    if (!head.startsWith(QByteArray::fromHex("D0CF11E0A1B11AE1"))) return false;
    for (const char* stream : {"EncryptedSummary", "EncryptionInfo", "EncryptedPackage"}) {
        const QString name = QString::fromLatin1(stream);
        const QByteArray utf16(reinterpret_cast<const char*>(name.utf16()), name.size() * 2);
        if (head.contains(utf16)) return true;
    }
    return false;
}

std::unique_ptr<Application> CreateApplication(const OfficeOptions& options) {
    auto server = std::make_unique<ServerContext>();
    server->office = FindOffice(options.office);
    server->options = options;
    if (server->office.isEmpty() || !server->work.isValid()) return nullptr;
    return std::make_unique<LoApplication>(std::move(server));
}

}  // namespace tovra::slides
