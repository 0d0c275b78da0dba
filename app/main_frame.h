// The main window: menus, the view in the client area, and the recent-file entries.
#pragma once

#include <QMainWindow>
#include <QStringList>

#include "platform/framework/command_router.h"

class QMenu;

namespace tovra {

class CMirovaView;

inline constexpr char kMainWindowTitle[] = "Tovra editor";

class CMainFrame : public QMainWindow, public framework::CommandTarget {
    Q_OBJECT
public:
    CMainFrame(framework::CommandRouter& router, CMirovaView* view);

    CMirovaView* View() const { return view_; }
    QMenu* FileMenu() const { return fileMenu_; }

    // Shows the recent files in the File menu in place of the placeholder.
    void SetRecentFiles(const QStringList& paths);

    // Brings the window to the front, restoring it when it is minimised.
    void BringToFront();

    bool OnCommand(int id) override;
    bool OnUpdateCommand(int id, framework::CommandState& state) override;
    bool HandlesCommand(int id) const override;

protected:
    void changeEvent(QEvent* event) override;

private:
    void BuildMenus();
    QAction* Command(int id, const QString& caption);

    framework::CommandRouter& router_;
    CMirovaView* view_;
    QMenu* fileMenu_ = nullptr;
    QStringList recentFiles_;
};

}  // namespace tovra
