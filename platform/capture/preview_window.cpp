// The preview widget and the raster surface it keeps over itself.
#include "platform/capture/preview_window.h"

#include <QBackingStore>
#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <mutex>

namespace tovra::capture {

namespace {

// The preview's pixels go to a window of their own, a child of the top-level window's surface.
// Where the top-level window is composed by OpenGL (the browser engine makes it so) and there is
// no graphics card, painting the preview as a widget would recompose and present the whole window
// in software for every frame; this window presents only its own 160 x 120 pixels. It takes no
// input, so clicks reach the widgets beneath.
class PreviewSurface : public QWindow {
public:
    PreviewSurface() : store_(this) {
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

// Shows the latest frame, scaled to fill the widget. It polls the frame slot on the UI thread, so
// the streaming thread never touches a widget. While the widget is on screen the frames go to a
// PreviewSurface kept over it; the widget paints the same picture when asked (grabs, before the
// surface exists).
class PreviewWidget : public QWidget {
public:
    PreviewWidget(QWidget* owner, std::shared_ptr<PreviewFrame> frame) : QWidget(owner), frame_(std::move(frame)) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        connect(&timer_, &QTimer::timeout, this, &PreviewWidget::Tick);
        timer_.start(33);
    }
    ~PreviewWidget() override { delete surface_.data(); }

protected:
    void paintEvent(QPaintEvent*) override {
        const QImage image = Latest();
        if (image.isNull()) return;  // until the first frame the owner's own picture shows through
        QPainter painter(this);
        painter.drawImage(rect(), image);
    }
    void hideEvent(QHideEvent*) override {
        if (surface_) surface_->hide();
    }

private:
    QImage Latest() {
        std::lock_guard lock(frame_->mutex);
        shown_ = frame_->generation;
        return frame_->image;
    }

    // The surface follows the widget at every tick; a new frame goes to it, or to the widget
    // while it has none. The streaming thread's lock is never held across window calls.
    void Tick() {
        bool fresh = false;
        {
            std::lock_guard lock(frame_->mutex);
            fresh = frame_->generation != shown_;
        }
        const QImage image = fresh ? Latest() : QImage();
        const bool placed = Place();
        if (!fresh) return;
        if (placed) surface_->Show(image);
        else update();
    }

    // Keeps the surface over the widget's visible part; false when the widget is not on screen.
    bool Place() {
        QWidget* top = window();
        QWindow* parentSurface = top ? top->windowHandle() : nullptr;
        const QRegion visible = isVisible() && parentSurface ? visibleRegion() : QRegion();
        if (visible.isEmpty() || shown_ == 0) {
            if (surface_) surface_->hide();
            return false;
        }
        if (!surface_) surface_ = new PreviewSurface;
        // The top-level window's surface is made anew when it changes kind (to OpenGL, say).
        if (surface_->parent() != parentSurface) surface_->setParent(parentSurface);
        const QRect area(mapTo(top, QPoint()), size());
        if (surface_->geometry() != area) surface_->setGeometry(area);
        const QRegion mask = visible == QRegion(rect()) ? QRegion() : visible;
        if (surface_->mask() != mask) surface_->setMask(mask);
        if (!surface_->isVisible()) surface_->show();
        return true;
    }

    std::shared_ptr<PreviewFrame> frame_;
    QTimer timer_;
    uint64_t shown_ = 0;
    QPointer<PreviewSurface> surface_;
};

class WidgetPreview : public PreviewPresenter {
public:
    explicit WidgetPreview(std::shared_ptr<PreviewFrame> frame) : frame_(std::move(frame)) {}
    ~WidgetPreview() override { delete widget_.data(); }

    void SetOwner(QObject* owner) override {
        auto* parent = qobject_cast<QWidget*>(owner);
        if (!widget_) widget_ = new PreviewWidget(parent, frame_);
        else widget_->setParent(parent);
    }
    void SetGeometry(int left, int top, int width, int height) override {
        if (widget_) widget_->setGeometry(left, top, width, height);
    }
    void FitOwner() override {
        if (widget_ && widget_->parentWidget()) widget_->setGeometry(widget_->parentWidget()->rect());
    }
    void SetVisible(bool visible) override {
        if (widget_) widget_->setVisible(visible);
    }
    QObject* Window() const override { return widget_.data(); }

private:
    std::shared_ptr<PreviewFrame> frame_;
    QPointer<PreviewWidget> widget_;
};

}  // namespace

std::unique_ptr<PreviewPresenter> MakeWidgetPreview(std::shared_ptr<PreviewFrame> frame) {
    return std::make_unique<WidgetPreview>(std::move(frame));
}

}  // namespace tovra::capture
