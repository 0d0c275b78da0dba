#include "publish/lecture_picture.h"

#include <QPainter>
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

bool LecturePicture::Compose(const QImage& page, long long pageKey, const LectureScene& scene, uint64_t timeMs,
                             const QImage* camera) {
    (void)timeMs;
    bool changed = !haveFrame_;
    if (pageKey != baseKey_ || scene.inkVersion != baseInk_) {
        DrawBase(page, scene);
        baseKey_ = pageKey;
        baseInk_ = scene.inkVersion;
        changed = true;
    }
    QPoint at;
    const bool pointerShown = scene.hasPointer && scene.page != 0 && !pointer_.isNull();
    if (pointerShown) {
        const LecturePoint q =
            placement_.Map(page_.width(), page_.height(), scene.pointerTimeMs).At(scene.pointer);
        at = QPoint(static_cast<int>(std::lround(q.x)), static_cast<int>(std::lround(q.y)));
    }
    if (pointerShown != pointerShown_ || (pointerShown && at != pointerAt_)) changed = true;
    if (camera && !camera->isNull() && !camera_.isEmpty()) {
        cameraPicture_ = camera->size() == camera_.size() ? *camera : camera->scaled(camera_.size());
        changed = true;
    }
    if (!changed) return false;
    pointerShown_ = pointerShown;
    pointerAt_ = at;
    haveFrame_ = true;

    QPainter p(&frame_);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.drawImage(page_.topLeft(), base_);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    if (pointerShown) {
        p.setClipRect(page_);
        p.drawImage(page_.topLeft() + at, pointer_);
        p.setClipping(false);
    }
    if (!camera_.isEmpty()) {
        if (cameraPicture_.isNull()) p.fillRect(camera_, Qt::black);
        else p.drawImage(camera_.topLeft(), cameraPicture_);
    }
    return true;
}

}  // namespace tovra
