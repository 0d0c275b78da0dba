// Pictures of the toolbar and the page tree, the pen colour table, and the picture shown before the camera runs.
#pragma once

#include "view/pen.h"  // the pen colour table

#include <QColor>
#include <QIcon>
#include <QPixmap>
#include <QString>

namespace tovra {

// Folder of the program's SVG pictures: <executable folder>/icons, or what a test has set.
QString IconFolder();
// An empty folder restores the default.
void SetIconFolderForTesting(const QString& folder);

// The program's own SVG for a toolbar command (the one used when the icon theme has none);
// empty for commands without a picture of their own, such as the pen colours.
QString ToolbarIconFile(int commandId);

// Toolbar button picture: the desktop theme's icon where one fits, else the program's own;
// a generated swatch for the sixteen pen colours; a null icon for other ids.
QIcon ToolbarIcon(int commandId);

// A rounded square of exactly this colour with a border that shows on light and dark toolbars.
QIcon ColourSwatchIcon(const QColor& colour);

// Page tree pictures, by image index.
inline constexpr int kTreeImageCourse = 0;
inline constexpr int kTreeImagePage = 1;
QIcon TreeIcon(int index);  // null outside the two indexes

// The film clapper shown in the camera preview place, size x size pixels; null when the file is missing.
QPixmap ClapperPicture(int size);

}  // namespace tovra
