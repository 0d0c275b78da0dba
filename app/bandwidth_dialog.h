// The video bandwidth dialog: a slider from 40 to 800 kbps and an edit field for the number.
#pragma once

#include <QDialog>
#include <cstdint>

class QEvent;
class QLineEdit;
class QShowEvent;
class QSlider;

namespace tovra {

class BandwidthDialog : public QDialog {
    Q_OBJECT
public:
    // Control ids, as the language file's "T<id>" keys name them.
    static constexpr int kHeading = 1008;
    static constexpr int kSlider = 1007;
    static constexpr int kEdit = 1004;
    static constexpr int kUnitLabel = 1013;
    static constexpr int kStatic = 65535;  // the "40" and "800" labels and the divider line
    static constexpr int kOkButton = 1;
    static constexpr int kCancelButton = 2;

    static constexpr std::uint32_t kMinKbps = 40;
    static constexpr std::uint32_t kMaxKbps = 800;
    // No language file has a key for it.
    static constexpr char kRangeMessage[] = "Please enter a whole number from 40 to 800.";

    explicit BandwidthDialog(QWidget* parent = nullptr);

    // Video bitrate of the next recording in kilobits per second; the slider writes it as it
    // moves, so a Cancel keeps what the slider has set.
    std::uint32_t bandwidthKbps = 80;

public slots:
    void accept() override;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void Prepare();
    void ApplyResourceTexts();
    void TakeSliderValue();

    QSlider* slider_;
    QLineEdit* edit_;
};

}  // namespace tovra
