// The preview widget and the raster surface it keeps over itself.
#include "platform/capture/preview_window.h"

#include <QImage>
#include <QPainter>
#include <QPointer>
#include <QMetaObject>
#include <QWidget>
#include <mutex>

#include "platform/framework/overlay_surface.h"

namespace tovra::capture {

namespace {

// Shows the latest frame, scaled to fill the widget. The streaming thread only posts a look at the
// frame slot, which the UI thread takes, so it never touches a widget. While the widget is on screen the frames go to a
// surface of its own kept over it (see OverlaySurface); the widget paints the same picture when asked
// (grabs, before the first frame is placed).
class PreviewWidget : public QWidget {
public:
    PreviewWidget(QWidget* owner, std::shared_ptr<PreviewFrame> frame)
        : QWidget(owner), frame_(std::move(frame)), surface_(this) {
        setAttribute(Qt::WA_OpaquePaintEvent, false);
        setAttribute(Qt::WA_TransparentForMouseEvents);
        // Each frame posts one look at the slot, so the interface wakes only when there is a picture.
        std::lock_guard lock(frame_->mutex);
        frame_->arrived = [this] { QMetaObject::invokeMethod(this, &PreviewWidget::Tick, Qt::QueuedConnection); };
    }
    ~PreviewWidget() override {
        std::lock_guard lock(frame_->mutex);
        frame_->arrived = nullptr;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        const QImage image = Latest();
        if (image.isNull()) return;  // until the first frame the owner's own picture shows through
        QPainter painter(this);
        painter.drawImage(rect(), image);
    }
    void hideEvent(QHideEvent*) override { surface_.Hide(); }

private:
    QImage Latest() {
        std::lock_guard lock(frame_->mutex);
        shown_ = frame_->generation;
        return frame_->image;
    }

    // A new frame goes to the surface, placed over the widget as it now is, or to the widget while
    // it is not on screen. The streaming thread's lock is never held across window calls.
    void Tick() {
        {
            std::lock_guard lock(frame_->mutex);
            if (frame_->generation == shown_) return;
        }
        const QImage image = Latest();
        if (surface_.Place()) surface_.Show(image);
        else update();
    }

    std::shared_ptr<PreviewFrame> frame_;
    uint64_t shown_ = 0;
    framework::OverlaySurface surface_;
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
