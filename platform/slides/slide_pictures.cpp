#include "platform/slides/slide_pictures.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <thread>

#include <poppler/cpp/poppler-document.h>
#include <poppler/cpp/poppler-image.h>
#include <poppler/cpp/poppler-page-renderer.h>
#include <poppler/cpp/poppler-page.h>

#include <QImage>
#include <QString>

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

int RenderSlidePictures(const std::string& pdfPath, const std::vector<std::string>& outputs, int threads,
                        std::atomic<int>& done) {
    std::atomic<int> next{0};
    std::atomic<int> written{0};
    auto worker = [&] {
        // A document per thread: one poppler document is not to be shared between threads.
        std::unique_ptr<poppler::document> doc(poppler::document::load_from_file(pdfPath));
        if (!doc || doc->is_locked()) return;
        const int pages = std::min<int>(doc->pages(), static_cast<int>(outputs.size()));
        for (int i = next++; i < pages; i = next++) {
            if (RenderPage(*doc, i, outputs[static_cast<size_t>(i)])) ++written;
            ++done;
        }
    };
    std::vector<std::thread> pool;
    for (int t = 1; t < std::max(1, threads); ++t) pool.emplace_back(worker);
    worker();
    for (std::thread& t : pool) t.join();
    return written;
}

}  // namespace tovra::slides
