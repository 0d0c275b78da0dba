// Applying language-file texts to dialogs: caption from key "Title", controls from "T<id>".
#pragma once

#include <string>

class QWidget;

namespace tovra::lang {

// Control ids ride on widgets as this dynamic property, as dialog templates give them.
inline constexpr char kControlIdProperty[] = "controlId";

void SetControlId(QWidget* control, int id);

// Translates a menu tree in place (a QMenu or a QMenuBar): submenu captions from key "M<position>"
// of section base, command items from key "M<command id>" of base + "_CMD", submenus recursively
// with base + "_" + position. Positions count separators. A command item's id is its QAction's
// data; separators and submenus have none (0).
void LocalizeMenu(QWidget* menu, const std::string& base);

// Section = the dialog's caption as built. Edit fields are never translated; a section without
// "Title" leaves the caption empty.
void LocalizeDialog(QWidget* dialog);

}  // namespace tovra::lang
