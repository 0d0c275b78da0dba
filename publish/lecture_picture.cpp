#include "publish/lecture_picture.h"

#include <QPainter>
#include <QFont>
#include <QPainterPath>
#include <algorithm>
#include <cmath>

namespace tovra {

namespace {
const QColor kBackground(0x1b, 0x25, 0x30);  // the player's screen colour around the page
}

LecturePicture::LecturePicture(int width, int height, bool withCamera, LecturePlacement placement, QImage pointer)
    : placement_(std::move(placement)), pointer_(std::move(pointer)) {
    frame_ = QImage(width, height, QImage::Format_RGB32);
    frame_.fill(kBackground);
    // The camera takes a quarter of the width on the right, at 4:3, at the bottom: a 4:3 slide or
    // sheet fits the three quarters left over in a 16:9 video, so nothing of the page is covered.
    const int column = withCamera ? width / 4 : 0;
    page_ = QRect(0, 0, width - column, height);
    if (withCamera) {
        const int margin = std::max(8, width / 80);
        const int w = column - 2 * margin, h = w * 3 / 4;
        camera_ = QRect(width - column + margin, height - margin - h, w, h);
        heading_ = QRect(camera_.left(), margin, w, camera_.top() - 2 * margin);
    }
    base_ = QImage(page_.size(), QImage::Format_RGB32);
}

void LecturePicture::DrawBase(const QImage& page, const LectureScene& scene) {
    QPainter p(&base_);
    p.fillRect(base_.rect(), kBackground);
    if (!page.isNull()) p.drawImage(0, 0, page);
    if (scene.strokes.empty()) return;
    p.setRenderHint(QPainter::Antialiasing);
    for (const LectureStroke& stroke : scene.strokes) {
        const PositionMap map = placement_.Map(page_.width(), page_.height(), stroke.timeMs);
        QPen pen(QColor::fromRgb(InkColour(stroke.colour)));
        pen.setWidthF(std::max(2.0, std::min(6.0, 2 * map.scale)));
        pen.setCapStyle(Qt::RoundCap);
        pen.setJoinStyle(Qt::RoundJoin);
        p.setPen(pen);
        QPainterPath path;
        for (std::size_t i = 0; i < stroke.points.size(); ++i) {
            const LecturePoint q = map.At(stroke.points[i]);
            if (i) path.lineTo(q.x, q.y);
            else path.moveTo(q.x, q.y);
        }
        p.drawPath(path);
    }
}

void LecturePicture::SetHeading(QString course, QString lecturer, std::map<int, QString> pageTitles) {
    course_ = std::move(course);
    lecturer_ = std::move(lecturer);
    pageTitles_ = std::move(pageTitles);
}

// The course's name and lecturer at the top of the column, the page's title below them, each
// wrapped to the column and cut off where the column ends.
void LecturePicture::DrawHeading(QPainter& p, int page) {
    p.fillRect(heading_, kBackground);
    if (heading_.height() <= 0) return;
    p.save();
    p.setClipRect(heading_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setRenderHint(QPainter::TextAntialiasing);
    const int unit = std::max(10, frame_.height() / 40);  // 18 px at 720 lines
    int y = heading_.top();
    const auto block = [&](const QString& text, int pixels, bool bold, QColor colour) {
        if (text.isEmpty()) return;
        QFont font = p.font();
        font.setPixelSize(pixels);
        font.setBold(bold);
        p.setFont(font);
        p.setPen(colour);
        const QRect room(heading_.left(), y, heading_.width(), heading_.bottom() - y);
        const QRect used = p.boundingRect(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        p.drawText(room, Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
        y = used.bottom() + unit / 2;
    };
    block(course_, unit * 3 / 2, true, QColor(0xf0, 0xf4, 0xf8));
    block(lecturer_, unit, false, QColor(0xa8, 0xb8, 0xc8));
    y += unit;
    const auto title = pageTitles_.find(page);
    if (title != pageTitles_.end()) block(title->second, unit * 5 / 4, true, QColor(0x8c, 0xc8, 0xff));
    p.restore();
}

// Where the pointer's picture lands on the frame, within the page.
QRect LecturePicture::PointerRect(QPoint at) const {
    return QRect(page_.topLeft() + at, pointer_.size()).intersected(page_);
}

bool LecturePicture::Compose(const QImage& page, long long pageKey, const LectureScene& scene, uint64_t timeMs,
                             const QImage* camera) {
    (void)timeMs;
    changed_.clear();
    bool wholePage = !haveFrame_;
    if (pageKey != baseKey_ || scene.inkVersion != baseInk_) {
        DrawBase(page, scene);
        baseKey_ = pageKey;
        baseInk_ = scene.inkVersion;
        wholePage = true;
    }
    QPoint at;
    const bool pointerShown = scene.hasPointer && scene.page != 0 && !pointer_.isNull();
    if (pointerShown) {
        const LecturePoint q =
            placement_.Map(page_.width(), page_.height(), scene.pointerTimeMs).At(scene.pointer);
        at = QPoint(static_cast<int>(std::lround(q.x)), static_cast<int>(std::lround(q.y)));
    }
    const bool pointerMoved = pointerShown != pointerShown_ || (pointerShown && at != pointerAt_);
    const bool freshCamera = camera && !camera->isNull() && !camera_.isEmpty();
    if (freshCamera) cameraPicture_ = camera->size() == camera_.size() ? *camera : camera->scaled(camera_.size());

    QPainter p(&frame_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    // The page's parts to bring back: all of it, or where the pointer was and where it goes.
    if (wholePage) {
        changed_.push_back(page_);
    } else if (pointerMoved) {
        if (pointerShown_) changed_.push_back(PointerRect(pointerAt_));
        if (pointerShown) changed_.push_back(PointerRect(at));
    }
    for (const QRect& part : changed_) {
        if (!part.isEmpty()) p.drawImage(part.topLeft(), base_, part.translated(-page_.topLeft()));
    }
    if (pointerShown && !changed_.empty()) {
        p.setCompositionMode(QPainter::CompositionMode_SourceOver);
        p.setClipRect(page_);
        p.drawImage(page_.topLeft() + at, pointer_);
        p.setClipping(false);
        p.setCompositionMode(QPainter::CompositionMode_Source);
    }
    pointerShown_ = pointerShown;
    pointerAt_ = at;
    if (!heading_.isEmpty() && scene.page != headingPage_) {
        DrawHeading(p, scene.page);
        headingPage_ = scene.page;
        changed_.push_back(heading_);
    }
    if (!camera_.isEmpty() && (freshCamera || !haveFrame_)) {
        if (cameraPicture_.isNull()) p.fillRect(camera_, Qt::black);
        else p.drawImage(camera_.topLeft(), cameraPicture_);
        changed_.push_back(camera_);
    }
    if (!haveFrame_) changed_ = {frame_.rect()};
    haveFrame_ = true;
    std::erase_if(changed_, [](const QRect& r) { return r.isEmpty(); });
    return !changed_.empty();
}

std::vector<PixelRect> ChangedParts(const LecturePicture& picture) {
    std::vector<PixelRect> parts;
    for (const QRect& r : picture.Changed()) parts.push_back(PixelRect{r.x(), r.y(), r.width(), r.height()});
    return parts;
}

}  // namespace tovra
