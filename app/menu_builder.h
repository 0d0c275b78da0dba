// Builds Qt menus from the menu resources; their items send commands through the router and
// take their enabled and checked states from it each time a menu opens.
#pragma once

#include <QMenu>
#include <vector>

#include "app/resources.h"
#include "platform/framework/command_router.h"

namespace tovra {

class MenuBuilder {
public:
    explicit MenuBuilder(framework::CommandRouter& router) : router_(router) {}

    // Appends items to a QMenu or QMenuBar; every action's data is its command id (0 for none).
    void Fill(QWidget* menuOrBar, const std::vector<res::MenuItem>& items) const;

    // Sends the command of every item triggered in root (a QMenuBar or a top-level QMenu).
    void RouteCommands(QWidget* root) const;

    // A new popup of menu resourceId (e.g. popup 0 of 137); the caller owns it.
    QMenu* BuildPopup(int resourceId, int popupIndex, QWidget* parent) const;

    // Applies the router's command states to the command items of menu (not its submenus).
    void ApplyStates(QMenu* menu) const;

private:
    framework::CommandRouter& router_;
};

}  // namespace tovra
