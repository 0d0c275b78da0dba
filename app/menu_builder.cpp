// Menu construction and command-state updates at display time.
#include "app/menu_builder.h"

#include <QAction>
#include <QMenuBar>

namespace tovra {

void MenuBuilder::Fill(QWidget* menuOrBar, const std::vector<res::MenuItem>& items) const {
    for (const res::MenuItem& item : items) {
        if (!item.popup.empty() || (item.id == 0 && !item.caption.isEmpty())) {
            auto* sub = new QMenu(item.caption, menuOrBar);
            Fill(sub, item.popup);
            menuOrBar->addAction(sub->menuAction());
            continue;
        }
        auto* action = new QAction(menuOrBar);
        if (item.IsSeparator()) {
            action->setSeparator(true);
        } else {
            action->setText(item.caption);
            action->setData(item.id);
            action->setEnabled(!item.grayed);
        }
        menuOrBar->addAction(action);
    }
    if (auto* menu = qobject_cast<QMenu*>(menuOrBar)) {
        QObject::connect(menu, &QMenu::aboutToShow, menu, [this, menu] { ApplyStates(menu); });
    }
}

void MenuBuilder::RouteCommands(QWidget* root) const {
    // A root's triggered signal covers the items of all its submenus, also items added later.
    auto dispatch = [this](QAction* action) {
        const int id = action->data().toInt();
        if (id > 0) router_.Dispatch(id);
    };
    if (auto* bar = qobject_cast<QMenuBar*>(root)) QObject::connect(bar, &QMenuBar::triggered, &router_, dispatch);
    if (auto* menu = qobject_cast<QMenu*>(root)) QObject::connect(menu, &QMenu::triggered, &router_, dispatch);
}

QMenu* MenuBuilder::BuildPopup(int resourceId, int popupIndex, QWidget* parent) const {
    const std::vector<res::MenuItem>& popups = res::Menu(resourceId);
    if (popupIndex < 0 || popupIndex >= static_cast<int>(popups.size())) return nullptr;
    auto* menu = new QMenu(parent);
    Fill(menu, popups[popupIndex].popup);
    RouteCommands(menu);
    return menu;
}

void MenuBuilder::ApplyStates(QMenu* menu) const {
    for (QAction* action : menu->actions()) {
        if (action->menu() || action->isSeparator()) continue;
        const int id = action->data().toInt();
        if (id <= 0) continue;
        const framework::CommandState state = router_.Update(id);
        action->setEnabled(state.enabled);
        if (state.checkable || state.checked) action->setCheckable(true);
        if (action->isCheckable()) action->setChecked(state.checked);
        if (state.textSet) action->setText(state.text);
    }
}

}  // namespace tovra
