// The overlay surface: a raster QWindow, a child of the top-level window's surface.
#include "platform/framework/overlay_surface.h"

#include <QBackingStore>
#include <QPainter>
#include <QWidget>
#include <QWindow>

namespace tovra::framework {

class OverlayWindow : public QWindow {
public:
    OverlayWindow() : store_(this) {
        setSurfaceType(QSurface::RasterSurface);
        setFlag(Qt::WindowTransparentForInput);
    }
    void Show(const QImage& image) {
        image_ = image;
        Paint();
    }

protected:
    void exposeEvent(QExposeEvent*) override { Paint(); }

private:
    void Paint() {
        if (!isExposed() || image_.isNull()) return;
        const QRect area(QPoint(), size());
        store_.resize(size());
        store_.beginPaint(area);
        {
            QPainter painter(store_.paintDevice());
            painter.drawImage(area, image_);
        }
        store_.endPaint();
        store_.flush(area);
    }

    QBackingStore store_;
    QImage image_;
};

OverlaySurface::OverlaySurface(QWidget* over) : over_(over) {}

OverlaySurface::~OverlaySurface() { delete window_.data(); }

bool OverlaySurface::Place() {
    QWidget* top = over_ ? over_->window() : nullptr;
    QWindow* parentSurface = top ? top->windowHandle() : nullptr;
    const QRegion visible = over_ && over_->isVisible() && parentSurface ? over_->visibleRegion() : QRegion();
    if (visible.isEmpty()) {
        Hide();
        return false;
    }
    if (!window_) window_ = new OverlayWindow;
    // The top-level window's surface is made anew when it changes kind (to OpenGL, say).
    if (window_->parent() != parentSurface) window_->setParent(parentSurface);
    const QRect area(over_->mapTo(top, QPoint()), over_->size());
    if (window_->geometry() != area) window_->setGeometry(area);
    const QRegion mask = visible == QRegion(over_->rect()) ? QRegion() : visible;
    if (window_->mask() != mask) window_->setMask(mask);
    if (!window_->isVisible()) window_->show();
    return true;
}

void OverlaySurface::Show(const QImage& image) {
    if (window_) window_->Show(image);
}

void OverlaySurface::Hide() {
    if (window_) window_->hide();
}

bool OverlaySurface::IsShown() const { return window_ && window_->isVisible(); }

}  // namespace tovra::framework
