// Command routing through view, main frame and application, and the QAction states it drives.
#include "platform/framework/command_router.h"

#include <QAction>
#include <QMenu>

#include <algorithm>

namespace tovra::framework {

CommandTarget::~CommandTarget() = default;

CommandRouter::CommandRouter(QObject* parent) : QObject(parent) {
    connect(&idleTimer_, &QTimer::timeout, this, &CommandRouter::UpdateActions);
}

CommandRouter::~CommandRouter() = default;

void CommandRouter::SetTargets(std::vector<CommandTarget*> inOrder) {
    inOrder.erase(std::remove(inOrder.begin(), inOrder.end(), nullptr), inOrder.end());
    targets_ = std::move(inOrder);
}

bool CommandRouter::IsCurrentTarget(const CommandTarget* target) const {
    return std::find(targets_.begin(), targets_.end(), target) != targets_.end();
}

bool CommandRouter::Dispatch(int id) {
    // A handler may change the chain (a view closing, say); walk a copy and skip any
    // target that is no longer part of it, since it may already be gone.
    const std::vector<CommandTarget*> snapshot = targets_;
    for (CommandTarget* target : snapshot) {
        if (!IsCurrentTarget(target)) continue;
        if (target->OnCommand(id)) return true;
    }
    return false;
}

CommandState CommandRouter::Update(int id) const {
    const std::vector<CommandTarget*> snapshot = targets_;
    for (CommandTarget* target : snapshot) {
        if (!IsCurrentTarget(target)) continue;
        CommandState state;  // each handler starts from the default, not from an earlier target's scribbles
        if (target->OnUpdateCommand(id, state)) return state;
    }
    CommandState state;
    state.enabled = false;
    for (CommandTarget* target : targets_) {
        if (target->HandlesCommand(id)) {
            state.enabled = true;
            break;
        }
    }
    return state;
}

QAction* CommandRouter::ActionFor(int id, const QString& text, QObject* parent) {
    auto found = actions_.find(id);
    if (found != actions_.end() && found->second) return found->second;

    auto* action = new QAction(text, parent);
    action->setData(id);
    connect(action, &QAction::triggered, this, [this, id] { Dispatch(id); });
    actions_[id] = action;
    return action;
}

void CommandRouter::UpdateActions() {
    for (auto it = actions_.begin(); it != actions_.end();) {
        QAction* action = it->second;
        if (!action) {
            it = actions_.erase(it);
            continue;
        }
        const CommandState state = Update(it->first);
        action->setEnabled(state.enabled);
        // QAction only shows a check mark when checkable; once a handler has checked it, keep it so.
        if (state.checkable || state.checked) action->setCheckable(true);
        if (action->isCheckable()) action->setChecked(state.checked);
        if (state.textSet) action->setText(state.text);
        ++it;
    }
}

void CommandRouter::AttachMenu(QMenu* menu) {
    if (!menu) return;
    connect(menu, &QMenu::aboutToShow, this, &CommandRouter::UpdateActions);
}

void CommandRouter::StartIdleUpdates(int intervalMs) { idleTimer_.start(std::max(1, intervalMs)); }

void CommandRouter::StopIdleUpdates() { idleTimer_.stop(); }

}  // namespace tovra::framework
