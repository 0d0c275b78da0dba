// Pictures of a blank course's HTML pages ("1.html" ...), each laid out and drawn by the browser
// engine off screen at the size the video shows it.
#pragma once

#include <memory>
#include <string>

#include "publish/page_pictures.h"

class QWebEngineView;

namespace tovra {

class HtmlPagePictures : public PagePictures {
public:
    explicit HtmlPagePictures(std::string webFolder);
    ~HtmlPagePictures() override;
    QImage Picture(int page, int step, QSize size) override;

private:
    std::string web_;
    std::unique_ptr<QWebEngineView> view_;
};

}  // namespace tovra
