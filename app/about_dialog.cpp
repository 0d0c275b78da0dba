// The About box, localised from section "Class_About".
#include "app/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "lang/localize.h"

namespace tovra {

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Class_About"));
    auto* icon = new QLabel(this);
    icon->setPixmap(QApplication::windowIcon().pixmap(48, 48));
    auto* line = new QLabel(QStringLiteral("Tovra Editor %s 版"), this);
    lang::SetControlId(line, 1008);
    auto* ok = new QPushButton(QStringLiteral("确定"), this);
    ok->setDefault(true);
    lang::SetControlId(ok, 1);
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(line, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addLayout(buttons);

    lang::LocalizeDialog(this);
    // The language files name the version's place; the build says which it is.
    line->setText(line->text().replace(QLatin1String("%s"), QLatin1String(TOVRA_VERSION)));
}

}  // namespace tovra
