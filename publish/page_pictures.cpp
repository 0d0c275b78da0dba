#include "publish/page_pictures.h"

#include <QImageReader>
#include <QPainter>
#include <cstdio>

#include "publish/lecture_script.h"

namespace tovra {

namespace {
QString SlideFile(const std::string& web, int page) {
    char name[32];
    std::snprintf(name, sizeof name, "/slide%04d.png", page);
    return QString::fromStdString(web + name);
}
}  // namespace

DeckPagePictures::DeckPagePictures(std::string webFolder) : web_(std::move(webFolder)) {}

double DeckPagePictures::SlideAspect() {
    if (aspect_ < 0) {
        const QSize size = QImageReader(SlideFile(web_, 1)).size();
        aspect_ = size.width() > 0 && size.height() > 0 ? double(size.width()) / size.height() : 4.0 / 3.0;
    }
    return aspect_;
}

QImage DeckPagePictures::Picture(int page, int step, QSize size) {
    (void)step;  // a deck's picture shows the slide whole
    QImage slide(SlideFile(web_, page));
    if (slide.isNull()) return {};
    QImage out(size, QImage::Format_RGB32);
    out.fill(Qt::black);
    int r[4];
    LecturePlacement(PositionSpace::Slide, {}, SlideAspect()).SlideRect(size.width(), size.height(), r);
    QPainter p(&out);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(QRect(r[0], r[1], r[2], r[3]), slide);
    return out;
}

}  // namespace tovra
