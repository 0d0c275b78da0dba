// The main window and its bars.
#include "app/main_frame.h"

#include <cerrno>

#include <QAction>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTextEdit>
#include <QCloseEvent>
#include <QKeySequence>
#include <QShortcut>
#include <QDockWidget>
#include <QEvent>
#include <QLabel>
#include <QMenuBar>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QTreeWidget>
#include <algorithm>
#include <cstdio>

#include "app/command_ids.h"
#include "app/resources.h"
#include "app/settings.h"
#include "app/toolbar_icons.h"
#include "course/page_tree_bar.h"
#include "lang/language_table.h"
#include "platform/framework/message_box.h"
#include "lang/localize.h"
#include "platform/shell/profile.h"
#include "platform/shell/recent_files.h"
#include "platform/browser/browser_control.h"
#include "view/mirova_view.h"

namespace tovra {

namespace {

// The status bar's idle text and the time pane's text before a recording, in the interface
// language; the built-in texts where the language file has none.
QString IdleText() {
    const QString text = lang::MessageText("Ready");
    return text.isEmpty() ? res::String(res::kIdleMessage) : text;
}
QString TimeIdleText() {
    const QString text = lang::MessageText("TimeIdle");
    return text.isEmpty() ? res::String(res::kTimePaneText) : text;
}

}  // namespace

QString FormatElapsedTime(uint32_t ms) {
    const uint32_t seconds = ms / 1000;
    char text[32];
    std::snprintf(text, sizeof text, "%02u:%02u:%02u", seconds / 3600, (seconds % 3600) / 60, seconds % 60);
    return QString::fromLatin1(text);
}

CMainFrame::CMainFrame(framework::CommandRouter& router, CMirovaView* view)
    : router_(router), menus_(router), view_(view) {
    lang::ApplyToolkitTranslation();
    setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    setCentralWidget(view_);
    CreateToolBar();
    CreateStatusBar();
    languageChoice_ = Program().languageFile == kDefaultLanguageFile ? 0 : 1;
    CreatePageTreeBar();
    AddToolbarTips();
    CreateShortcuts();
    qApp->installEventFilter(this);
    // Until the view builds the localised menu, the resource menu stands.
    RebuildMainMenu();
    view_->SetMainWindow(this);
}

void CMainFrame::CreateToolBar() {
    toolbar_ = new QToolBar(this);
    toolbar_->setObjectName(QStringLiteral("toolbar128"));
    toolbar_->setProperty("controlId", cmd::kViewToolbar);
    toolbar_->setIconSize(QSize(20, 20));
    toolbar_->setAllowedAreas(Qt::AllToolBarAreas);
    for (const res::ToolbarButton& button : res::Toolbar()) {
        if (button.id == 0) {
            toolbar_->addSeparator();
            continue;
        }
        QAction* action = router_.ActionFor(button.id, button.tip, this);
        action->setIcon(ToolbarIcon(button.id));
        action->setToolTip(button.tip);
        toolbar_->addAction(action);
    }
    addToolBar(Qt::TopToolBarArea, toolbar_);
}

void CMainFrame::CreateStatusBar() {
    QStatusBar* bar = statusBar();
    bar->setProperty("controlId", cmd::kViewStatusBar);
    bar->showMessage(IdleText());
    timePane_ = new tovra::TimePane(TimeIdleText(), bar);
    timePane_->setProperty("controlId", kTimePaneId);
    timePane_->setAlignment(Qt::AlignCenter);
    timePane_->setFrameShape(QFrame::StyledPanel);
    timePane_->setFrameShadow(QFrame::Sunken);
    // Wide enough for the longest usual time at the desktop's font.
    // Of fixed size, so that a new time redraws only the pane, not the bar and the window's layout.
    timePane_->setFixedSize(
        std::max(kTimePaneWidth, timePane_->fontMetrics().horizontalAdvance(QStringLiteral("000:00:00")) + 12),
        timePane_->sizeHint().height());
    bar->addPermanentWidget(timePane_);
    // The idle text (or the lasting text in its place) comes back whenever a prompt ends.
    connect(bar, &QStatusBar::messageChanged, this, [this, bar](const QString& text) {
        if (text.isEmpty()) bar->showMessage(statusText_.isEmpty() ? IdleText() : statusText_);
    });
}

void CMainFrame::CreatePageTreeBar() {
    treeBar_ = new PageTreeBar(nullptr, ClapperPicture(128), TreeIcon(0), TreeIcon(1), lang::MessageText("CT"));
    auto* dock = new QDockWidget(this);
    dock->setObjectName(QStringLiteral("PageTreeBarDock"));
    dock->setFeatures(QDockWidget::NoDockWidgetFeatures);  // fixed at the left edge
    dock->setTitleBarWidget(new QWidget(dock));
    dock->setWidget(treeBar_);
    addDockWidget(Qt::LeftDockWidgetArea, dock);
    // The width the teacher dragged the bar to last time.
    const int width = shell::Profile().GetProfileInt(QStringLiteral("Settings"), QStringLiteral("TreeBarWidth"),
                                                     PageTreeBar::kWidth);
    resizeDocks({dock}, {std::clamp(width, int(PageTreeBar::kWidth), int(PageTreeBar::kMaxWidth))}, Qt::Horizontal);

    connect(treeBar_, &PageTreeBar::PageSelected, this, [this](int number) {
        if (view_) view_->GoToPage(number);
    });
    connect(treeBar_, &PageTreeBar::TitleEdited, this, [this](QTreeWidgetItem*) {
        if (view_) view_->WriteProjectFile();
    });
    connect(treeBar_, &PageTreeBar::Resized, this, [this] {
        if (view_) view_->OnPreviewResized();
    });
    connect(treeBar_, &PageTreeBar::ContextMenuRequested, this,
            [this](QPoint pos) { TrackPopupMenu(res::kContextMenu, res::kTreePopup, "Class_T", pos); });
}

void CMainFrame::CreateShortcuts() {
    // The keys the menus show, wherever the focus is: the page, the editor page, the tree. The
    // page gets no chance to take them first. F5 starts a show (and works in one, without menus).
    const std::pair<QKeySequence, int> keys[] = {{QKeySequence(Qt::CTRL | Qt::Key_N), cmd::kFileNew},
                                                 {QKeySequence(Qt::CTRL | Qt::Key_O), cmd::kFileOpen},
                                                 {QKeySequence(Qt::CTRL | Qt::Key_S), cmd::kFileSave},
                                                 {QKeySequence(Qt::Key_F5), cmd::kShowMode}};
    for (const auto& [sequence, id] : keys) {
        auto* shortcut = new QShortcut(sequence, this);
        shortcut->setContext(Qt::WindowShortcut);
        connect(shortcut, &QShortcut::activated, this, [this, id = id] {
            if (router_.Update(id).enabled) router_.Dispatch(id);
        });
    }
}

void CMainFrame::AddToolbarTips() {
    // Built at the start and at every language switch; a key the language lacks leaves the
    // button's built-in tip.
    for (QAction* action : toolbar_->actions()) {
        const int id = action->data().toInt();
        if (action->isSeparator() || id == 0) continue;
        const QString t = lang::LookupText("Class_CMD", "M" + std::to_string(id));
        for (const res::ToolbarButton& button : res::Toolbar()) {
            if (button.id == id) action->setToolTip(t.isEmpty() ? button.tip : t);
        }
    }
}

void CMainFrame::RebuildMainMenu() {
    auto* bar = new QMenuBar(this);
    menus_.Fill(bar, res::Menu(res::kMainMenu));
    menus_.RouteCommands(bar);
    lang::LocalizeMenu(bar, "Class");
    const QList<QAction*> top = bar->actions();
    if (view_ && top.size() > 1) view_->FillVideoSourceMenu(top[1]->menu());
    if (!top.isEmpty()) {
        QMenu* file = top[0]->menu();
        connect(file, &QMenu::aboutToShow, this, [this, file] { UpdateRecentFileMenu(file); });
        UpdateRecentFileMenu(file);
    }
    setMenuBar(bar);  // the window owns it; the previous one is deleted
    bar->setVisible(showMode_ == 0);
}

void CMainFrame::SetRecentFiles(const QStringList& paths) {
    recentFiles_ = paths;
    if (QMenuBar* bar = menuBar(); bar && !bar->actions().isEmpty()) UpdateRecentFileMenu(bar->actions()[0]->menu());
}

void CMainFrame::UpdateRecentFileMenu(QMenu* file) {
    if (!file) return;
    QAction* placeholder = nullptr;
    for (QAction* action : file->actions()) {
        const int id = action->data().toInt();
        if (id == cmd::kFileMruFirst) placeholder = action;
        if (id > cmd::kFileMruFirst && id <= cmd::kFileMruLast) {
            file->removeAction(action);
            action->deleteLater();
        }
    }
    if (!placeholder) return;
    if (!placeholder->property("placeholderText").isValid())
        placeholder->setProperty("placeholderText", placeholder->text());
    if (recentFiles_.isEmpty()) {
        placeholder->setText(placeholder->property("placeholderText").toString());
        placeholder->setEnabled(false);
        return;
    }
    placeholder->setText(shell::RecentFileList::DisplayName(0, recentFiles_[0]));
    placeholder->setEnabled(true);
    const QList<QAction*> actions = file->actions();
    const qsizetype at = actions.indexOf(placeholder);
    QAction* before = at + 1 < actions.size() ? actions[at + 1] : nullptr;
    for (int i = 1; i < recentFiles_.size() && i <= cmd::kFileMruLast - cmd::kFileMruFirst; ++i) {
        auto* entry = new QAction(shell::RecentFileList::DisplayName(i, recentFiles_[i]), file);
        entry->setData(cmd::kFileMruFirst + i);
        file->insertAction(before, entry);
    }
}

void CMainFrame::TrackPopupMenu(int resourceId, int popupIndex, const std::string& base, QPoint globalPos) {
    QMenu* menu = menus_.BuildPopup(resourceId, popupIndex, this);
    if (!menu) return;
    lang::LocalizeMenu(menu, base);
    menu->exec(globalPos);
    menu->deleteLater();
}

void CMainFrame::SetElapsedTime(uint32_t ms) {
    timePane_->ShowTime(FormatElapsedTime(ms));
}

void CMainFrame::SetStatusText(const QString& text) {
    statusText_ = text;
    statusBar()->showMessage(text.isEmpty() ? IdleText() : text);
}

QTreeWidget* CMainFrame::PageTree() { return treeBar_ ? treeBar_->Tree() : nullptr; }

QWidget* CMainFrame::PreviewWindow() { return treeBar_ ? treeBar_->Preview() : nullptr; }

void CMainFrame::PostCommand(int id) {
    QTimer::singleShot(0, &router_, [this, id] { router_.Dispatch(id); });
}

void CMainFrame::ToggleShowMode() {
    QDockWidget* dock = qobject_cast<QDockWidget*>(treeBar_->parentWidget());
    if (showMode_ == 0) {
        toolbarWasVisible_ = toolbar_->isVisible();
        statusBarWasVisible_ = statusBar()->isVisible();
        toolbar_->hide();
        if (dock) dock->hide();
        statusBar()->hide();
        showMode_ = 1;
        menuBar()->hide();
        savedShowCommand_ = isMaximized() ? 3 : 9;
        showFullScreen();
        return;
    }
    if (toolbarWasVisible_) toolbar_->show();
    if (dock) dock->show();
    if (statusBarWasVisible_) statusBar()->show();
    showMode_ = 0;  // before the rebuild, which keeps the menu hidden during a show
    RebuildMainMenu();
    if (savedShowCommand_ == 3) {
        showMaximized();
    } else {
        showNormal();
    }
}

void CMainFrame::SwitchLanguage(int id) {
    // A page in the editor is shown again in the new language; an unsaved edit is asked about.
    if (view_ && !view_->BeforeLanguageSwitch()) return;
    Program().languageFile = std::string(id == cmd::kLanguageChinese ? kDefaultLanguageFile : kEnglishLanguageFile);
    errno = 0;
    const bool kept = WriteSetting({}, "Sel", Program().languageFile);
    const int why = errno ? errno : EACCES;
    languageChoice_ = id == cmd::kLanguageChinese ? 0 : 1;
    // Everything on show takes the new language at once.
    lang::ApplyToolkitTranslation();
    RebuildMainMenu();
    AddToolbarTips();
    if (treeBar_) treeBar_->SetFixedItemLabel(lang::MessageText("CT"));
    if (!view_ || view_->State() == RecordState::Stopped) timePane_->ShowText(TimeIdleText());
    statusBar()->showMessage(statusText_.isEmpty() ? IdleText() : statusText_);
    if (view_) view_->AfterLanguageSwitch();
    // Said in the new language, once it is on show: the next start would be in the old one.
    if (!kept) {
        const std::string file = SettingsFileForChanges();
        framework::Messages().Show(this, lang::MessageWith("LanguageNotKept",
                                                           {QString::fromStdString(file), lang::SystemReason(why)}));
    }
}

void CMainFrame::BringToFront() {
    if (isMinimized()) setWindowState((windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    show();
    raise();
    activateWindow();
}

bool CMainFrame::eventFilter(QObject* watched, QEvent* event) {
    // The page keys turn one page wherever the focus is in the window, not only in the page: in
    // the tree, PgDn would otherwise select the last page and jump there. The page and text fields
    // (a label being edited among them) take their keys themselves.
    if (event->type() != QEvent::KeyPress || !view_ || !watched->isWidgetType()) return QMainWindow::eventFilter(watched, event);
    auto* key = static_cast<QKeyEvent*>(event);
    auto* widget = static_cast<QWidget*>(watched);
    if (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier)) return false;
    if (widget->window() != this || widget != QApplication::focusWidget()) return false;
    if (widget == view_->Browser().InputWidget() || qobject_cast<QLineEdit*>(widget) ||
        qobject_cast<QAbstractSpinBox*>(widget) || qobject_cast<QTextEdit*>(widget) || qobject_cast<QMenu*>(widget)) {
        return false;
    }
    return view_->OnPageKey(key->key());
}

void CMainFrame::closeEvent(QCloseEvent* event) {
    // An unsaved page edit is saved, dropped or keeps the window open, as the teacher answers; a
    // recording is finished whole.
    if (view_ && !view_->QueryClose()) {
        event->ignore();
        return;
    }
    if (treeBar_) {
        shell::Profile().WriteProfileInt(QStringLiteral("Settings"), QStringLiteral("TreeBarWidth"), treeBar_->width());
    }
    QMainWindow::closeEvent(event);
}

void CMainFrame::changeEvent(QEvent* event) {
    // The caption stays the program's name whatever course is open.
    if (event->type() == QEvent::WindowTitleChange && windowTitle() != QLatin1String(kMainWindowTitle)) {
        setWindowTitle(QString::fromLatin1(kMainWindowTitle));
    }
    QMainWindow::changeEvent(event);
}

bool CMainFrame::HandlesCommand(int id) const {
    return id == cmd::kShowMode || id == cmd::kEndShow || id == cmd::kLanguageChinese || id == cmd::kLanguageEnglish ||
           id == cmd::kViewToolbar || id == cmd::kViewStatusBar;
}

bool CMainFrame::OnCommand(int id) {
    switch (id) {
        case cmd::kShowMode:
            ToggleShowMode();
            return true;
        case cmd::kEndShow:
            if (showMode_ == 1) ToggleShowMode();
            return true;
        case cmd::kLanguageChinese:
        case cmd::kLanguageEnglish:
            SwitchLanguage(id);
            return true;
        case cmd::kViewToolbar:
            toolbar_->setVisible(toolbar_->isHidden());
            return true;
        case cmd::kViewStatusBar:
            statusBar()->setVisible(statusBar()->isHidden());
            return true;
        default:
            return false;
    }
}

bool CMainFrame::OnUpdateCommand(int id, framework::CommandState& state) {
    switch (id) {
        case cmd::kEndShow:
            state.enabled = showMode_ == 1;
            return true;
        case cmd::kLanguageChinese:
            state.checked = languageChoice_ == 0;
            return true;
        case cmd::kLanguageEnglish:
            state.checked = languageChoice_ == 1;
            return true;
        case cmd::kViewToolbar:
            state.checked = !toolbar_->isHidden();
            return true;
        case cmd::kViewStatusBar:
            state.checked = !statusBar()->isHidden();
            return true;
        default:
            return false;
    }
}

}  // namespace tovra
