// Dialog localisation from the language table.
#include "lang/localize.h"

#include <QAbstractButton>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QTextEdit>
#include <QWidget>

#include "lang/language_table.h"
#include "platform/text/code_page.h"

namespace tovra::lang {

void SetControlId(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

void LocalizeDialog(QWidget* dialog) {
    const QString caption = dialog->windowTitle();
    if (caption.isEmpty()) return;
    const std::string section = text::ToCodePage(caption.toStdU16String());
    dialog->setWindowTitle(LookupText(section, "Title"));

    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        const QVariant idValue = child->property(kControlIdProperty);
        if (!idValue.isValid()) continue;
        if (qobject_cast<QLineEdit*>(child) || qobject_cast<QTextEdit*>(child) ||
            qobject_cast<QPlainTextEdit*>(child)) {
            continue;  // edit fields hold the user's values, not captions
        }
        const int id = idValue.toInt();
        if (id == -1) continue;
        const QString t = LookupText(section, "T" + std::to_string(id));
        if (t.isEmpty()) continue;
        if (auto* label = qobject_cast<QLabel*>(child)) {
            label->setText(t);
        } else if (auto* button = qobject_cast<QAbstractButton*>(child)) {
            button->setText(t);
        } else if (auto* group = qobject_cast<QGroupBox*>(child)) {
            group->setTitle(t);
        } else {
            child->setWindowTitle(t);
        }
    }
}

}  // namespace tovra::lang
