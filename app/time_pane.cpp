// The time pane.
#include "app/time_pane.h"

#include <QEvent>
#include <QImage>

namespace tovra {

TimePane::TimePane(const QString& text, QWidget* parent) : QLabel(text, parent), surface_(this) {
    installEventFilter(this);
}

void TimePane::ShowTime(const QString& text) {
    if (text == this->text() && OnOwnSurface()) return;
    if (!surface_.Place()) {
        ShowText(text);
        return;
    }
    // The widget keeps its text but is not drawn meanwhile; the surface shows it.
    setUpdatesEnabled(false);
    setText(text);
    const qreal ratio = devicePixelRatioF();
    QImage image(size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(palette().color(backgroundRole()));
    render(&image);
    surface_.Show(image);
}

void TimePane::ShowText(const QString& text) {
    Detach();
    setText(text);
}

void TimePane::Detach() {
    surface_.Hide();
    if (!updatesEnabled()) setUpdatesEnabled(true);  // draws the pane as it now is
}

void TimePane::showEvent(QShowEvent* event) {
    // Whatever moves or hides the pane's place is seen on the pane or one of its parents.
    for (QWidget* w = parentWidget(); w; w = w->parentWidget()) w->installEventFilter(this);
    QLabel::showEvent(event);
}

bool TimePane::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::Move:
        case QEvent::Resize:
        case QEvent::Hide:
        case QEvent::Show:
        case QEvent::WindowStateChange:
        case QEvent::ParentChange:
            if (OnOwnSurface()) Detach();
            break;
        default:
            break;
    }
    return QLabel::eventFilter(watched, event);
}

}  // namespace tovra
