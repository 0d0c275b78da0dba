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

namespace {
constexpr char kResourceTextProperty[] = "resourceText";
}  // namespace

void SetControlId(QWidget* control, int id) { control->setProperty(kControlIdProperty, id); }

void SetResourceControl(QWidget* control, int id, const QString& resourceText) {
    SetControlId(control, id);
    control->setProperty(kResourceTextProperty, resourceText);
}

void SetControlText(QWidget* control, const QString& text) {
    if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        button->setText(text);
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else {
        control->setWindowTitle(text);
    }
}

void RestoreResourceTexts(QWidget* dialog, const QString& caption) {
    dialog->setWindowTitle(caption);
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        const QVariant text = child->property(kResourceTextProperty);
        if (text.isValid()) SetControlText(child, text.toString());
    }
}

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
        SetControlText(child, t);
    }
}

}  // namespace tovra::lang
