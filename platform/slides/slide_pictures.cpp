#include "platform/slides/slide_pictures.h"

#include <cerrno>
#include <cstdio>

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QImage>
#include <QString>
#include <QTimer>

#include "platform/slides/web_export.h"

namespace tovra::slides {

namespace {

// Zlib's fast levels: slides are mostly flat colour and still compress well, and the default
// level made encoding most of the export's time.
constexpr int kPngQuality = 80;

PageSize SizeOf(const poppler::page& page) {
    const poppler::rectf box = page.page_rect(poppler::media_box);
    return PageSize{box.width(), box.height()};
}

bool RenderPage(poppler::document& doc, int index, const std::string& output) {
    std::unique_ptr<poppler::page> page(doc.create_page(index));
    if (!page) return false;
    const PageSize size = SizeOf(*page);
    if (size.widthPt <= 0 || size.heightPt <= 0) return false;
    const double dpi = 72.0 * kPictureWidth / size.widthPt;
    poppler::page_renderer renderer;
    renderer.set_render_hint(poppler::page_renderer::antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_antialiasing, true);
    renderer.set_render_hint(poppler::page_renderer::text_hinting, true);
    renderer.set_image_format(poppler::image::format_rgb24);
    const poppler::image picture = renderer.render_page(page.get(), dpi, dpi);
    if (!picture.is_valid()) return false;
    const QImage image(reinterpret_cast<const uchar*>(picture.const_data()), picture.width(), picture.height(),
                       picture.bytes_per_row(), QImage::Format_RGB888);
    return image.save(QString::fromStdString(output), "PNG", kPngQuality);
}

// Moves a finished picture to its place so that it appears whole: a rename, or across file
// systems a copy under a temporary name that is then renamed.
bool MoveWhole(const std::string& from, const std::string& to) {
    if (std::rename(from.c_str(), to.c_str()) == 0) return true;
    if (errno != EXDEV) return false;
    const std::string part = to + ".part";
    QFile::remove(QString::fromStdString(part));
    if (!QFile::copy(QString::fromStdString(from), QString::fromStdString(part))) return false;
    if (std::rename(part.c_str(), to.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    std::remove(from.c_str());
    return true;
}

}  // namespace

std::vector<PageSize> ReadPageSizes(const std::string& pdfPath) {
    std::vector<PageSize> sizes;
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(pdfPath));
    if (!doc || doc->is_locked()) return sizes;
    for (int i = 0; i < doc->pages(); ++i) {
        std::unique_ptr<poppler::page> page(doc->create_page(i));
        sizes.push_back(page ? SizeOf(*page) : PageSize{});
    }
    return sizes;
}

int PictureHeight(const PageSize& page) {
    if (page.widthPt <= 0 || page.heightPt <= 0) return kPictureWidth * 3 / 4;
    return std::max(1, static_cast<int>(std::lround(kPictureWidth * page.heightPt / page.widthPt)));
}

SlidePictureJob::SlidePictureJob(std::string pdfPath, std::vector<PageSize> sizes, std::string stagingFolder,
                                 int threads, std::shared_ptr<void> keepAlive)
    : pdf_(std::move(pdfPath)),
      sizes_(std::move(sizes)),
      pages_(static_cast<int>(sizes_.size())),
      staging_(std::move(stagingFolder)),
      keepAlive_(std::move(keepAlive)),
      states_(static_cast<size_t>(pages_), State::Pending) {
    for (int t = 0; t < std::max(1, threads); ++t) threads_.emplace_back([this] { Work(); });
}

SlidePictureJob::~SlidePictureJob() {
    Cancel();
    for (std::thread& t : threads_) t.join();
}

void SlidePictureJob::Work() {
    // A document per thread: one poppler document is not to be shared between threads.
    std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(pdf_));
    const bool readable = doc && !doc->is_locked();
    for (;;) {
        int index = -1;
        std::string output;
        {
            std::lock_guard lock(mutex_);
            if (cancelled_) return;
            // The first page still waiting from the cursor on, round to the start.
            for (int k = 0; k < pages_ && index < 0; ++k) {
                const int i = (cursor_ + k) % pages_;
                if (states_[static_cast<size_t>(i)] == State::Pending) index = i;
            }
            if (index < 0) return;
            states_[static_cast<size_t>(index)] = State::Drawing;
            cursor_ = index + 1;
            output = (destination_.empty() ? staging_ : destination_) + "/" + SlidePictureName(index + 1);
        }
        const std::string part = output + ".drawing";
        bool drawn = readable && index < doc->pages() && RenderPage(*doc, index, part);
        if (!drawn) {
            // Nothing to draw: a white slide keeps the page whole.
            QImage blank(kPictureWidth, PictureHeight(sizes_[static_cast<size_t>(index)]), QImage::Format_RGB32);
            blank.fill(Qt::white);
            drawn = blank.save(QString::fromStdString(part), "PNG");
        }
        std::lock_guard lock(mutex_);
        State& state = states_[static_cast<size_t>(index)];
        if (!drawn || std::rename(part.c_str(), output.c_str()) != 0) {
            std::remove(part.c_str());
            state = State::Failed;
        } else if (output.rfind(staging_ + "/", 0) == 0) {
            state = State::Staged;
            if (!destination_.empty() && !Place(index)) state = State::Failed;
        } else {
            state = State::Placed;
        }
        changed_.notify_all();
    }
}

bool SlidePictureJob::Place(int index) {
    const std::string name = SlidePictureName(index + 1);
    if (!MoveWhole(staging_ + "/" + name, destination_ + "/" + name)) {
        writeFailed_ = true;
        return false;
    }
    states_[static_cast<size_t>(index)] = State::Placed;
    return true;
}

bool SlidePictureJob::SetDestination(const std::string& folder) {
    std::lock_guard lock(mutex_);
    destination_ = folder;
    bool ok = true;
    for (int i = 0; i < pages_; ++i) {
        State& state = states_[static_cast<size_t>(i)];
        if (state == State::Staged) {
            if (!Place(i)) {
                state = State::Failed;
                ok = false;
            }
        } else if (state != State::Placed) {
            // The picture of an earlier import would show until this one is drawn.
            std::remove((folder + "/" + SlidePictureName(i + 1)).c_str());
        }
    }
    changed_.notify_all();
    return ok;
}

void SlidePictureJob::WaitFor(int number) {
    std::unique_lock lock(mutex_);
    if (number < 1 || number > pages_) return;
    changed_.wait(lock, [&] {
        const State state = states_[static_cast<size_t>(number - 1)];
        return cancelled_ || state == State::Placed || state == State::Failed;
    });
}

void SlidePictureJob::Prefer(int number) {
    std::lock_guard lock(mutex_);
    if (number >= 1 && number <= pages_) cursor_ = number - 1;
}

int SlidePictureJob::Drawn() const {
    std::lock_guard lock(mutex_);
    return static_cast<int>(std::count(states_.begin(), states_.end(), State::Placed));
}

bool SlidePictureJob::Finished() const {
    std::lock_guard lock(mutex_);
    if (cancelled_) return true;
    if (destination_.empty()) return false;
    return std::all_of(states_.begin(), states_.end(),
                       [](State s) { return s == State::Placed || s == State::Failed; });
}

bool SlidePictureJob::Wait(const std::function<void(int drawn, int total)>& progress) {
    while (!Finished()) {
        if (progress) progress(Drawn(), pages_);
        if (QCoreApplication::instance()) {
            QEventLoop loop;
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        } else {
            std::unique_lock lock(mutex_);
            changed_.wait_for(lock, std::chrono::milliseconds(50));
        }
    }
    if (progress) progress(Drawn(), pages_);
    std::lock_guard lock(mutex_);
    return !writeFailed_ && !cancelled_ &&
           std::none_of(states_.begin(), states_.end(), [](State s) { return s == State::Failed; });
}

void SlidePictureJob::Cancel() {
    std::lock_guard lock(mutex_);
    cancelled_ = true;
    changed_.notify_all();
}

}  // namespace tovra::slides
