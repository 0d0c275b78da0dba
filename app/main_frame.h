// The main window: menus, toolbar, status bar with the recording time, the page tree bar at the
// left edge, the course view in the rest, and the full-screen show mode.
#pragma once

#include <QMainWindow>
#include <QStringList>
#include <cstdint>

#include "app/menu_builder.h"
#include "app/time_pane.h"
#include "platform/framework/command_router.h"
#include "view/main_window_access.h"

class QLabel;
class QMenu;
class QToolBar;
class QTreeWidgetItem;

namespace tovra {

class CMirovaView;
class PageTreeBar;

inline constexpr char kMainWindowTitle[] = "Tovra editor";
inline constexpr int kTimePaneId = 101;
inline constexpr int kTimePaneWidth = 60;  // pixels, at least

// "%02d:%02d:%02d" of a recording time; hours are not limited to two digits.
QString FormatElapsedTime(uint32_t ms);

class CMainFrame : public QMainWindow, public framework::CommandTarget, public MainWindowAccess {
    Q_OBJECT
public:
    CMainFrame(framework::CommandRouter& router, CMirovaView* view);

    CMirovaView* View() const { return view_; }
    PageTreeBar* TreeBar() const { return treeBar_; }
    QToolBar* ToolBar() const { return toolbar_; }
    tovra::TimePane* TimePane() const { return timePane_; }
    int ShowMode() const { return showMode_; }
    int LanguageChoice() const { return languageChoice_; }

    // Shows the recent files in the File menu in place of the placeholder.
    void SetRecentFiles(const QStringList& paths);

    // Brings the window to the front, restoring it when it is minimised.
    void BringToFront();

    // Switches between the editing layout and the full-screen show.
    void ToggleShowMode();
    // Language commands 32816 and 32817.
    void SwitchLanguage(int id);

    // MainWindowAccess
    QTreeWidget* PageTree() override;
    QWidget* PreviewWindow() override;
    void PostCommand(int id) override;
    void RebuildMainMenu() override;
    void TrackPopupMenu(int resourceId, int popupIndex, const std::string& base, QPoint globalPos) override;
    void SetElapsedTime(uint32_t ms) override;
    void SetStatusText(const QString& text) override;

    // CommandTarget
    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, framework::CommandState& state) override;
    bool HandlesCommand(int id) const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void CreateToolBar();
    void CreateStatusBar();
    void CreatePageTreeBar();
    void CreateShortcuts();
    void AddToolbarTips();
    void UpdateRecentFileMenu(QMenu* fileMenu);

    framework::CommandRouter& router_;
    MenuBuilder menus_;
    CMirovaView* view_;
    PageTreeBar* treeBar_ = nullptr;
    QToolBar* toolbar_ = nullptr;
    tovra::TimePane* timePane_ = nullptr;
    int showMode_ = 0;
    int savedShowCommand_ = 3;  // 3 maximised, 9 restored
    bool toolbarWasVisible_ = true;
    bool statusBarWasVisible_ = true;
    int languageChoice_ = 0;
    QStringList recentFiles_;
    QString statusText_;  // shown in place of the idle text while set
};

}  // namespace tovra
