// Routes command ids from menus and toolbars through view, main frame and application, as MFC's command maps do.
#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <map>
#include <vector>

class QAction;
class QMenu;

namespace tovra::framework {

// What an update handler decides about one command (MFC's CCmdUI, as plain values).
struct CommandState {
    bool enabled = true;
    bool checked = false;
    bool checkable = false;
    QString text;
    bool textSet = false;  // text replaces the action's caption only when set
};

// One link of the routing chain (view, main frame, application).
class CommandTarget {
public:
    virtual ~CommandTarget();
    // Runs the handler for id; true when this target handled it.
    virtual bool OnCommand(int id) = 0;
    // True when this target owns an update handler for id; it then fills state.
    virtual bool OnUpdateCommand(int id, CommandState& state) = 0;
    // True when this target has a command handler for id.
    virtual bool HandlesCommand(int id) const = 0;
};

class CommandRouter : public QObject {
    Q_OBJECT
public:
    explicit CommandRouter(QObject* parent = nullptr);
    ~CommandRouter() override;

    // The chain in routing order (view, frame, application); null entries are skipped.
    void SetTargets(std::vector<CommandTarget*> inOrder);

    // Offers id to each target in order until one handles it; false when none did.
    bool Dispatch(int id);

    // The first target with an update handler decides; otherwise enabled when some
    // target handles id, disabled when none does.
    CommandState Update(int id) const;

    // The one action for id (created on first call with text and parent; later calls
    // return it unchanged). Triggering it dispatches id.
    QAction* ActionFor(int id, const QString& text, QObject* parent);

    // Applies Update() to every action handed out by ActionFor.
    void UpdateActions();

    // Refreshes action states each time the menu is about to open.
    void AttachMenu(QMenu* menu);

    // Refreshes action states on a timer, for toolbar buttons (MFC's idle update).
    void StartIdleUpdates(int intervalMs = 200);
    void StopIdleUpdates();

private:
    bool IsCurrentTarget(const CommandTarget* target) const;

    std::vector<CommandTarget*> targets_;
    std::map<int, QPointer<QAction>> actions_;
    QTimer idleTimer_;
};

}  // namespace tovra::framework
