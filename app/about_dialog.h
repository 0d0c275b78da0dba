// The About box: icon, program name and version, OK.
#pragma once

#include <QDialog>

namespace tovra {

class AboutDialog : public QDialog {
    Q_OBJECT
public:
    explicit AboutDialog(QWidget* parent = nullptr);
};

}  // namespace tovra
