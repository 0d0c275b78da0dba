// Applying language-file texts to dialogs: caption from key "Title", controls from "T<id>".
#pragma once

class QWidget;

namespace tovra::lang {

// Control ids ride on widgets as this dynamic property, as dialog templates give them.
inline constexpr char kControlIdProperty[] = "controlId";

void SetControlId(QWidget* control, int id);

// Section = the dialog's caption as built. Edit fields are never translated; a section without
// "Title" leaves the caption empty.
void LocalizeDialog(QWidget* dialog);

}  // namespace tovra::lang
