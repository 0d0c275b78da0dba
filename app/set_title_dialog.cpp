// The course-details dialog, localised from section "Class_SetTitle" at every opening.
#include "app/set_title_dialog.h"

#include <QAbstractButton>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QVBoxLayout>

#include "app/dialog_layout.h"
#include "lang/localize.h"

namespace tovra {
namespace {


}  // namespace

SetTitleDialog::SetTitleDialog(QWidget* parent) : QDialog(parent) {
    auto* grid = new QGridLayout;
    const auto addField = [&](int row, int labelId, const QString& caption, int editId) {
        grid->addWidget(lang::ResourceControl(new QLabel(this), labelId, caption), row, 0);
        auto* edit = new QLineEdit(this);
        lang::SetControlId(edit, editId);
        grid->addWidget(edit, row, 1);
        return edit;
    };
    courseNameEdit_ = addField(0, kCourseNameLabel, QStringLiteral("课程名称:"), kCourseNameEdit);
    teacherEdit_ = addField(1, kTeacherLabel, QStringLiteral("主讲人:"), kTeacherEdit);
    unitEdit_ = addField(2, kUnitLabel, QStringLiteral("制作单位:"), kUnitEdit);
    dateEdit_ = addField(3, kDateLabel, QStringLiteral("制作时间:"), kDateEdit);
    grid->setColumnStretch(1, 1);

    auto* ok = lang::ResourceControl(new QPushButton(this), kOkButton, QStringLiteral("OK"));
    ok->setDefault(true);
    auto* cancel = lang::ResourceControl(new QPushButton(this), kCancelButton, QStringLiteral("Cancel"));
    QHBoxLayout* buttons = SpreadButtonRow(ok, cancel);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(grid);
    layout->addLayout(buttons);

    connect(ok, &QPushButton::clicked, this, &SetTitleDialog::accept);
    connect(cancel, &QPushButton::clicked, this, &SetTitleDialog::reject);
    ApplyResourceTexts();
}

void SetTitleDialog::showEvent(QShowEvent* event) {
    // A spontaneous show is the window system restoring an open dialog, not a new opening.
    if (!event->spontaneous()) Prepare();
    QDialog::showEvent(event);
}

void SetTitleDialog::ApplyResourceTexts() { lang::RestoreResourceTexts(this, QStringLiteral("Class_SetTitle")); }

void SetTitleDialog::Prepare() {
    courseNameEdit_->setText(QString::fromStdString(courseName));
    teacherEdit_->setText(QString::fromStdString(teacherName));
    unitEdit_->setText(QString::fromStdString(unitName));
    dateEdit_->setText(QString::fromStdString(makeDate));
    // Rebuilt at each opening, so that a key the current language lacks shows the resource text.
    ApplyResourceTexts();
    lang::LocalizeDialog(this);
}

void SetTitleDialog::accept() {
    courseName = courseNameEdit_->text().toStdString();
    teacherName = teacherEdit_->text().toStdString();
    unitName = unitEdit_->text().toStdString();
    makeDate = dateEdit_->text().toStdString();
    QDialog::accept();
}

}  // namespace tovra
