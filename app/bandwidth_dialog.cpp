// The video bandwidth dialog, localised from section "Class_SetBps" at every opening.
#include "app/bandwidth_dialog.h"

#include <QAbstractButton>
#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QSlider>
#include <QVBoxLayout>
#include <algorithm>
#include <optional>

#include "app/dialog_layout.h"
#include "lang/language_table.h"
#include "lang/localize.h"
#include "platform/framework/message_box.h"

namespace tovra {
namespace {

// Digits only, blanks around them allowed; no sign, and nothing that overflows 32 bits.
std::optional<std::uint32_t> ParseUnsigned(const QString& text) {
    const QString digits = text.trimmed();
    if (digits.isEmpty()) return std::nullopt;
    std::uint64_t value = 0;
    for (QChar c : digits) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c.unicode() - u'0');
        if (value > UINT32_MAX) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

}  // namespace

BandwidthDialog::BandwidthDialog(QWidget* parent) : QDialog(parent) {
    auto* heading = lang::ResourceControl(new QLabel(this), kHeading, QStringLiteral("设置视频带宽"));
    auto* low = lang::ResourceControl(new QLabel(this), kStatic, QStringLiteral("40"));
    slider_ = lang::ResourceControl(new QSlider(Qt::Horizontal, this), kSlider);
    slider_->setTickPosition(QSlider::TicksBothSides);
    slider_->setTickInterval(40);
    slider_->setPageStep(static_cast<int>((kMaxKbps - kMinKbps) / 5));  // a trackbar's page is a fifth of its range
    auto* high = lang::ResourceControl(new QLabel(this), kStatic, QStringLiteral("800"));
    edit_ = new QLineEdit(this);
    lang::SetControlId(edit_, kEdit);
    edit_->setMaximumWidth(edit_->fontMetrics().horizontalAdvance(QStringLiteral("00000")) + 12);
    auto* unit = lang::ResourceControl(new QLabel(this), kUnitLabel, QStringLiteral("kbps"));
    auto* line = lang::ResourceControl(new QFrame(this), kStatic);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    auto* ok = lang::ResourceControl(new QPushButton(this), kOkButton, QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = lang::ResourceControl(new QPushButton(this), kCancelButton, QStringLiteral("Cancel"));

    auto* sliderRow = new QHBoxLayout;
    sliderRow->addWidget(low);
    sliderRow->addWidget(slider_, 1);
    sliderRow->addWidget(high);
    auto* valueRow = new QHBoxLayout;
    valueRow->addStretch();
    valueRow->addWidget(edit_);
    valueRow->addWidget(unit);
    valueRow->addStretch();
    QHBoxLayout* buttons = SpreadButtonRow(ok, cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(heading);
    layout->addLayout(sliderRow);
    layout->addLayout(valueRow);
    layout->addWidget(line);
    layout->addLayout(buttons);

    // The number follows the slider when it moves and whenever it repaints; typing does not
    // move the slider.
    connect(slider_, &QSlider::valueChanged, this, &BandwidthDialog::TakeSliderValue);
    slider_->installEventFilter(this);
    {
        const QSignalBlocker quiet(slider_);
        slider_->setRange(static_cast<int>(kMinKbps), static_cast<int>(kMaxKbps));
        slider_->setValue(static_cast<int>(bandwidthKbps));
    }
    connect(ok, &QPushButton::clicked, this, &BandwidthDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &BandwidthDialog::reject);
    ApplyResourceTexts();
}

void BandwidthDialog::showEvent(QShowEvent* event) {
    // A spontaneous show is the window system restoring an open dialog, not a new opening.
    if (!event->spontaneous()) Prepare();
    QDialog::showEvent(event);
}

bool BandwidthDialog::eventFilter(QObject* watched, QEvent* event) {
    if (watched == slider_ && event->type() == QEvent::Paint) TakeSliderValue();
    return QDialog::eventFilter(watched, event);
}

void BandwidthDialog::ApplyResourceTexts() { lang::RestoreResourceTexts(this, QStringLiteral("Class_SetBps")); }

void BandwidthDialog::Prepare() {
    edit_->setText(QString::number(bandwidthKbps));
    ApplyResourceTexts();
    lang::LocalizeDialog(this);
    // Range and position are set without signals: a range change alone could clamp the old
    // position and write it into bandwidthKbps before the real value is set.
    const std::uint32_t value = std::clamp(bandwidthKbps, kMinKbps, kMaxKbps);
    {
        const QSignalBlocker quiet(slider_);
        slider_->setRange(static_cast<int>(kMinKbps), static_cast<int>(kMaxKbps));
        slider_->setValue(static_cast<int>(value));
    }
    TakeSliderValue();
}

void BandwidthDialog::TakeSliderValue() {
    bandwidthKbps = static_cast<std::uint32_t>(slider_->value());
    const QString shown = QString::number(bandwidthKbps);
    if (edit_->text() != shown) edit_->setText(shown);
}

void BandwidthDialog::accept() {
    const std::optional<std::uint32_t> value = ParseUnsigned(edit_->text());
    if (!value || *value < kMinKbps || *value > kMaxKbps) {
        framework::Messages().Show(this, lang::MessageWith("BpsRange", {}, QString::fromLatin1(kRangeMessage)));
        edit_->setFocus();
        edit_->selectAll();
        return;
    }
    bandwidthKbps = *value;
    QDialog::accept();
}

}  // namespace tovra
