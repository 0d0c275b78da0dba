// A small raster window of its own kept over a widget, that shows a picture in the widget's place.
// Where the top-level window is composed by OpenGL (the browser engine makes it so) and there is
// no graphics card, every change drawn as a widget recomposes and presents the whole window in
// software; a picture shown on this surface presents only its own pixels. The surface takes no
// input, so clicks reach the widgets beneath.
#pragma once

#include <QImage>
#include <QPointer>

class QWidget;

namespace tovra::framework {

class OverlayWindow;

class OverlaySurface {
public:
    explicit OverlaySurface(QWidget* over);
    ~OverlaySurface();
    OverlaySurface(const OverlaySurface&) = delete;
    OverlaySurface& operator=(const OverlaySurface&) = delete;

    // Keeps the surface over the widget's visible part; false (and hidden) when the widget is not
    // on screen.
    bool Place();
    // Shows image, scaled to the widget's size. Place first.
    void Show(const QImage& image);
    void Hide();
    bool IsShown() const;

private:
    QPointer<QWidget> over_;
    QPointer<OverlayWindow> window_;
};

}  // namespace tovra::framework
