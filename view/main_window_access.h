// What the course view needs of the main window, without depending on the window itself.
#pragma once

#include <QPoint>
#include <QString>
#include <cstdint>
#include <string>

class QTreeWidget;
class QWidget;

namespace tovra {

class MainWindowAccess {
public:
    virtual ~MainWindowAccess() = default;
    // The page tree of the page tree bar; null while there is none.
    virtual QTreeWidget* PageTree() = 0;
    // Where the camera preview is drawn.
    virtual QWidget* PreviewWindow() = 0;
    // Sends a command through the usual routing once the current event has been handled.
    virtual void PostCommand(int id) = 0;
    // Rebuilds the localised main menu.
    virtual void RebuildMainMenu() = 0;
    // Shows popup popupIndex of menu resourceId, localised with section base, at globalPos;
    // its commands take the usual routing.
    virtual void TrackPopupMenu(int resourceId, int popupIndex, const std::string& base, QPoint globalPos) = 0;
    // Elapsed recording time in the status bar.
    virtual void SetElapsedTime(uint32_t ms) = 0;
    // A lasting text in the status bar in place of its idle text; empty brings the idle text back.
    virtual void SetStatusText(const QString& text) = 0;
};

}  // namespace tovra
