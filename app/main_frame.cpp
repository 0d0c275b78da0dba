// The main window and its menus.
#include "app/main_frame.h"

#include <QAction>
#include <QEvent>
#include <QMenuBar>

#include "app/command_ids.h"
#include "platform/shell/recent_files.h"
#include "view/mirova_view.h"

namespace tovra {

CMainFrame::CMainFrame(framework::CommandRouter& router, CMirovaView* view) : router_(router), view_(view) {
    setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    setCentralWidget(view_);
    BuildMenus();
}

QAction* CMainFrame::Command(int id, const QString& caption) {
    QAction* action = router_.ActionFor(id, caption, this);
    return action;
}

void CMainFrame::BuildMenus() {
    // The key names in the captions are text only; the program has no accelerator table.
    fileMenu_ = menuBar()->addMenu(QStringLiteral("文件(&F)"));
    fileMenu_->addAction(Command(cmd::kFileNew, QStringLiteral("新建(&N)\tCtrl+N")));
    fileMenu_->addAction(Command(cmd::kFileOpen, QStringLiteral("打开(&O)...\tCtrl+O")));
    fileMenu_->addAction(Command(cmd::kFileSave, QStringLiteral("保存(&S)\tCtrl+S")));
    fileMenu_->addSeparator();
    for (int id = cmd::kFileMruFirst; id <= cmd::kFileMruLast; ++id) {
        fileMenu_->addAction(Command(id, id == cmd::kFileMruFirst ? QStringLiteral("最近文件") : QString()));
    }
    fileMenu_->addSeparator();
    fileMenu_->addAction(Command(cmd::kAppExit, QStringLiteral("退出(&X)")));
    router_.AttachMenu(fileMenu_);

    QMenu* help = menuBar()->addMenu(QStringLiteral("帮助(&H)"));
    help->addAction(Command(cmd::kAppAbout, QStringLiteral("关于 TovraEditor(&A)...")));
    router_.AttachMenu(help);
    SetRecentFiles({});
}

void CMainFrame::SetRecentFiles(const QStringList& paths) {
    recentFiles_ = paths;
    for (int i = 0; i <= cmd::kFileMruLast - cmd::kFileMruFirst; ++i) {
        QAction* action = router_.ActionFor(cmd::kFileMruFirst + i, QString(), this);
        if (i < paths.size()) {
            action->setText(shell::RecentFileList::DisplayName(i, paths[i]));
            action->setToolTip(paths[i]);
            action->setVisible(true);
        } else {
            // An empty list shows the grayed placeholder in the first place.
            action->setText(QStringLiteral("最近文件"));
            action->setVisible(i == 0);
        }
    }
}

void CMainFrame::BringToFront() {
    if (isMinimized()) {
        setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    }
    show();
    raise();
    activateWindow();
}

void CMainFrame::changeEvent(QEvent* event) {
    // The caption stays the program's name whatever course is open.
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != QLatin1String(kMainWindowTitle)) {
        setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    }
    QMainWindow::changeEvent(event);
}

bool CMainFrame::HandlesCommand(int) const { return false; }
bool CMainFrame::OnCommand(int) { return false; }
bool CMainFrame::OnUpdateCommand(int, framework::CommandState&) { return false; }

}  // namespace tovra
