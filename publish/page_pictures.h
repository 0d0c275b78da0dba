// Pictures of a course's pages for the lecture video, each at the size the video shows it.
#pragma once

#include <QImage>
#include <QSize>
#include <string>

namespace tovra {

class PagePictures {
public:
    virtual ~PagePictures() = default;
    // The page at its step, size × size; a null image when it cannot be had (the video then
    // shows the background).
    virtual QImage Picture(int page, int step, QSize size) = 0;
    // The shape of the slides (width / height), for slide positions; 0 when not slides.
    virtual double SlideAspect() { return 0; }
};

// An imported deck's slide pictures ("slide0001.png" ...), fitted into the size as the player
// fits them, on black.
class DeckPagePictures : public PagePictures {
public:
    explicit DeckPagePictures(std::string webFolder);
    QImage Picture(int page, int step, QSize size) override;
    double SlideAspect() override;

private:
    std::string web_;
    double aspect_ = -1;
};

}  // namespace tovra
