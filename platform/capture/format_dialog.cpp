// The capture format dialog.
#include "platform/capture/format_dialog.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>
#include <cmath>

namespace tovra::capture {

QString FormatDescription(const VideoMediaType& format) {
    const double fps = format.avgTimePerFrame > 0 ? 1e7 / static_cast<double>(format.avgTimePerFrame) : 0;
    QString subtype = QString::fromStdString(format.subtype);
    subtype.remove(QStringLiteral("video/x-raw:"));
    if (subtype == QLatin1String("image/jpeg")) subtype = QStringLiteral("MJPG");
    QString rate = fps > 0 ? QStringLiteral("%1 fps").arg(std::round(fps * 100) / 100) : QString();
    return QStringLiteral("%1 \u00D7 %2   %3   %4")
        .arg(format.biWidth)
        .arg(format.biHeight)
        .arg(rate, subtype)
        .trimmed();
}

bool ShowFormatDialog(QWidget* parent, QPoint position, StreamConfig& config, const FormatDialogTexts& texts) {
    int count = 0;
    if (config.GetNumberOfCapabilities(count) != S_OK || count <= 0) return false;
    VideoMediaType current;
    const bool hasCurrent = config.GetFormat(current) == S_OK;

    QDialog dialog(parent);
    dialog.setWindowTitle(texts.title);
    auto* layout = new QVBoxLayout(&dialog);
    auto* list = new QListWidget(&dialog);
    std::vector<VideoMediaType> formats;
    for (int i = 0; i < count; ++i) {
        VideoMediaType format;
        if (config.GetStreamCaps(i, format) != S_OK) continue;
        list->addItem(FormatDescription(format));
        if (hasCurrent && format.subtype == current.subtype && format.biWidth == current.biWidth &&
            format.biHeight == current.biHeight && format.avgTimePerFrame == current.avgTimePerFrame) {
            list->setCurrentRow(static_cast<int>(formats.size()));
        }
        formats.push_back(format);
    }
    layout->addWidget(list);
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    if (!texts.ok.isEmpty()) buttons->button(QDialogButtonBox::Ok)->setText(texts.ok);
    if (!texts.cancel.isEmpty()) buttons->button(QDialogButtonBox::Cancel)->setText(texts.cancel);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    QObject::connect(list, &QListWidget::itemDoubleClicked, &dialog, &QDialog::accept);
    if (parent) dialog.move(parent->mapToGlobal(position));
    if (dialog.exec() != QDialog::Accepted) return false;
    const int row = list->currentRow();
    if (row < 0 || row >= static_cast<int>(formats.size())) return false;
    return config.SetFormat(formats[row]) == S_OK;
}

}  // namespace tovra::capture
