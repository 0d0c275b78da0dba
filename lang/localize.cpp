// Dialog localisation from the language table.
#include "lang/localize.h"

#include <QAbstractButton>
#include <QAction>
#include <QMenu>
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

void LocalizeMenu(QWidget* menu, const std::string& base) {
    const QList<QAction*> items = menu->actions();
    for (qsizetype p = 0; p < items.size(); ++p) {
        QAction* item = items[p];
        const std::string position = std::to_string(p);
        if (QMenu* sub = item->menu()) {
            LocalizeMenu(sub, base + "_" + position);
            const QString t = LookupText(base, "M" + position);
            if (!t.isEmpty()) item->setText(t);
            continue;
        }
        const int id = item->isSeparator() ? 0 : item->data().toInt();
        const QString t = LookupText(base + "_CMD", "M" + std::to_string(id));
        if (t.isEmpty()) continue;
        // The item becomes a plain text item with the same id; the command state applies on top.
        item->setSeparator(false);
        item->setText(t);
        item->setEnabled(true);
    }
}

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
