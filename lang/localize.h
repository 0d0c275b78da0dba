// Applying language-file texts to dialogs: caption from key "Title", controls from "T<id>".
#pragma once

#include <QString>
#include <string>

class QWidget;

namespace tovra::lang {

// Control ids ride on widgets as this dynamic property, as dialog templates give them.
inline constexpr char kControlIdProperty[] = "controlId";

void SetControlId(QWidget* control, int id);

void SetResourceControl(QWidget* control, int id, const QString& resourceText);

// Gives a control its id and its built-in (resource) text; returns it for chaining.
template <class W>
W* ResourceControl(W* control, int id, const QString& resourceText = {}) {
    SetResourceControl(control, id, resourceText);
    return control;
}

// Sets the visible text of a label, button, group box, or else the window title.
void SetControlText(QWidget* control, const QString& text);

// Puts back the dialog's template caption and every control's built-in text, so a dialog that
// is kept between openings shows no text of a previous language for keys the new file lacks.
void RestoreResourceTexts(QWidget* dialog, const QString& caption);

// Translates a menu tree in place (a QMenu or a QMenuBar): submenu captions from key "M<position>"
// of section base, command items from key "M<command id>" of base + "_CMD", submenus recursively
// with base + "_" + position. Positions count separators. A command item's id is its QAction's
// data; separators and submenus have none (0).
void LocalizeMenu(QWidget* menu, const std::string& base);

// Section = the dialog's caption as built. Edit fields are never translated; a section without
// "Title" leaves the caption empty.
void LocalizeDialog(QWidget* dialog);

}  // namespace tovra::lang
