// One frame of the lecture video: the page as the player shows it, the ink, the pointer and the
// camera's picture in its own column beside the page. The page and its ink are drawn only when
// they change; a frame with nothing new is not drawn again at all.
#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <map>
#include <vector>

#include "media/bgrx_to_i420.h"
#include "publish/lecture_script.h"

class QPainter;

namespace tovra {

class LecturePicture {
public:
    // width × height: the video's size. withCamera: a column on the right for the camera.
    LecturePicture(int width, int height, bool withCamera, LecturePlacement placement, QImage pointer);

    // Where the page is shown, and where the camera's picture goes (empty without one).
    QRect PageRect() const { return page_; }
    QRect CameraRect() const { return camera_; }
    // The part of the camera's column above the camera, where the course and the page are named
    // (empty without a camera).
    QRect HeadingRect() const { return heading_; }

    // The course's name and lecturer, and each page's title, for the heading; before the first
    // Compose.
    void SetHeading(QString course, QString lecturer, std::map<int, QString> pageTitles);

    // Brings the frame to scene at timeMs. page: the page's picture at PageRect's size, with
    // pageKey naming it (a new key redraws). camera: a new camera picture, or null when it has
    // not changed. Returns false when the frame is the same as the last one. Only what changed is
    // drawn again: the page with its ink on a turn or a stroke, else where the pointer was and is,
    // and the camera's picture.
    bool Compose(const QImage& page, long long pageKey, const LectureScene& scene, uint64_t timeMs,
                 const QImage* camera);
    const QImage& Frame() const { return frame_; }
    // The parts of Frame that the last Compose changed (none when it returned false).
    const std::vector<QRect>& Changed() const { return changed_; }

private:
    void DrawBase(const QImage& page, const LectureScene& scene);
    QRect PointerRect(QPoint at) const;
    void DrawHeading(QPainter& p, int page);

    LecturePlacement placement_;
    QImage pointer_;
    QRect page_;
    QRect camera_;
    QRect heading_;
    QString course_, lecturer_;
    std::map<int, QString> pageTitles_;
    int headingPage_ = -1;
    QImage base_;    // the page with its ink
    QImage frame_;
    QImage cameraPicture_;
    long long baseKey_ = -1;
    uint64_t baseInk_ = ~0ull;
    bool haveFrame_ = false;
    bool pointerShown_ = false;
    QPoint pointerAt_;
    std::vector<QRect> changed_;
};

// What the last Compose changed, for the video writer to convert.
std::vector<PixelRect> ChangedParts(const LecturePicture& picture);

}  // namespace tovra
