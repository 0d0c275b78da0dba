// The recording time in the status bar. A new time is drawn on a surface of its own over the
// pane, so that it does not recompose the whole window once a second (in software where there is
// no graphics card); any change of the pane's place falls back to drawing it as a widget until the
// next time.
#pragma once

#include <QLabel>

#include "platform/framework/overlay_surface.h"

namespace tovra {

class TimePane : public QLabel {
public:
    TimePane(const QString& text, QWidget* parent);

    // A time while recording.
    void ShowTime(const QString& text);
    // Any other text (the idle text, a language switch): drawn as a widget.
    void ShowText(const QString& text);
    bool OnOwnSurface() const { return surface_.IsShown(); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void Detach();

    framework::OverlaySurface surface_;
};

}  // namespace tovra
