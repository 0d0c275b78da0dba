// The capture format dialog: lists the sizes and frame rates a device offers and sets the one the
// user picks.
#pragma once

#include <QPoint>
#include <QString>

#include "platform/capture/capture_types.h"

class QWidget;

namespace tovra::capture {

struct FormatDialogTexts {
    QString title;
    QString ok;
    QString cancel;
};

// Modal, at position (in the parent's coordinates); true when the user chose a format and the
// configuration took it.
bool ShowFormatDialog(QWidget* parent, QPoint position, StreamConfig& config, const FormatDialogTexts& texts);

// The list text of one capability, for example "640 × 480   30 fps   YUY2".
QString FormatDescription(const VideoMediaType& format);

}  // namespace tovra::capture
