// The program's built-in resources: menus 128 and 137, toolbar 128 and the string table.
// Captions are the Chinese resource texts; language files override them where they have a key.
#pragma once

#include <QString>
#include <vector>

namespace tovra::res {

// A menu item: a command (id > 0), a separator (id 0, no caption), or a submenu (popup not empty).
struct MenuItem {
    int id = 0;
    QString caption;
    std::vector<MenuItem> popup;
    bool grayed = false;

    bool IsSeparator() const { return id == 0 && popup.empty(); }
};

inline constexpr int kMainMenu = 128;
inline constexpr int kContextMenu = 137;
inline constexpr int kViewPopup = 0;  // popups of menu 137
inline constexpr int kTreePopup = 2;

// Top-level items of a menu resource (for 128 the menu bar, for 137 its three popups).
const std::vector<MenuItem>& Menu(int resourceId);

// Toolbar 128: 31 entries in order; id 0 is a separator. The tip is the string-table prompt.
struct ToolbarButton {
    int id;
    QString tip;
};
const std::vector<ToolbarButton>& Toolbar();

// String table.
inline constexpr int kAppName = 57344;       // "Tovra Editor"
inline constexpr int kIdleMessage = 57345;   // status bar idle text
inline constexpr int kTimePaneText = 59141;  // time pane before the first update
inline constexpr int kDocTemplate = 128;     // seven fields separated by "\n"
QString String(int id);

// Field n (0-based) of the document template string 128.
QString DocTemplateField(int index);

}  // namespace tovra::res
