// The owner-drawn menu bar, the toolbar and the menu states of each phase.
#include "shell/main_window.h"
#include "ui/controls/hover_button.h"
#include "ui/menu/icon_menu.h"

#include <QMenu>
#include <QMenuBar>

namespace dorvak {
namespace {

struct MenuItemDef {
    int command; // 0: separator
    const char* text;
    int bitmap;
};
struct PopupDef {
    const char* title;
    std::vector<MenuItemDef> items;
};

const std::vector<PopupDef>& menuDefinition() {
    static const std::vector<PopupDef> menus = {
        {"&Recovery",
         {{cmd::RecoverSelected, "&Recover Selected...", 201},
          {cmd::RecoverAll, "Recover &All...", 200},
          {0, "", 0},
          {cmd::OpenImage, "&Open Disk Image...", 198},
          {0, "", 0},
          {cmd::Exit, "E&xit...", 181}}},
        {"&View",
         {{cmd::ViewIcons, "Ico&ns", 195},
          {cmd::ViewList, "&List", 196},
          {cmd::ViewDetails, "&Details", 191}}},
        {"&Tools",
         {{cmd::FindFiles, "&Find Files...", 194},
          {cmd::FileFilters, "File Fi&lters...", 193},
          {cmd::Settings, "Se&ttings...", 203},
          {0, "", 0},
          {cmd::DriveInfo, "&Drive Information", 192},
          {0, "", 0},
          {cmd::LiveUpdate, "Live &Update", 197}}},
        {"&Help",
         {{cmd::Contents, "&Contents", 190},
          {cmd::BuyOnline, "Buy &Online", 189},
          {cmd::About, "&About Tervolk Dorvak Harbor...", 188}}},
    };
    return menus;
}

} // namespace

void MainWindow::createMenuBar() {
    menuBar_->clear();
    menus_.clear();
    for (const PopupDef& def : menuDefinition()) {
        auto menu = std::make_unique<IconMenu>(this);
        menu->setItemWidth(150);
        menu->setItemHeight(20);
        menu->setDrawStyle(IconMenu::BitmapAndText);
        for (const MenuItemDef& item : def.items) {
            if (item.command == 0)
                menu->appendItem(0x800, 0, QString());
            else
                menu->appendItem(0, item.command, QString::fromLatin1(item.text), item.bitmap);
        }
        menu->menu()->setTitle(QString::fromLatin1(def.title));
        menuBar_->addMenu(menu->menu());
        for (int i = 0; i < menu->itemCount(); ++i) {
            const IconMenu::Item& item = menu->item(i);
            if (item.isSeparator() || !item.action) continue;
            const int command = item.command;
            connect(item.action, &QAction::triggered, this,
                    [this, command] { runCommand(command); });
        }
        menus_.push_back(std::move(menu));
    }
}

IconMenu* MainWindow::menuHolding(int command) const {
    for (const auto& m : menus_)
        if (m->itemState(command) != 0xFFFFFFFFu) return m.get();
    return nullptr;
}

quint32 MainWindow::menuState(int command) const {
    IconMenu* m = menuHolding(command);
    return m ? m->itemState(command) : 0xFFFFFFFFu;
}

void MainWindow::setMenuStates(int phase) {
    state_.menuPhase = phase;
    for (const auto& m : menus_)
        for (int i = 0; i < m->itemCount(); ++i) {
            const int command = m->item(i).command;
            if (auto enabled = menuCommandEnabled(phase, state_.WizardStep, command))
                m->setItemEnabled(command, *enabled);
        }
}

void MainWindow::createToolbar() {
    struct ToolDef {
        int id, normal, hot, command;
        const char* tip;
    };
    static const ToolDef tools[] = {
        {1049, 163, 171, cmd::RecoverSelected,
         "Copy the selected file(s) and folder(s) to your computer"},
        {1050, 164, 172, cmd::RecoverAll, "Copy all the file(s) and folder(s) to your computer"},
        {1051, 166, 173, 0,
         "Saves the snapshot of scan information, so that later on you need not to scan the disk "
         "again"},
        {1052, 167, 174, 0, "Loads the data from previously saved scan information"},
        {1053, 168, 175, cmd::FindFiles, "Search the file(s) in the recovered data"},
        {1054, 169, 176, cmd::Settings, "Configures the software"},
        {1055, 170, 177, cmd::LiveUpdate, "Updates the software with latest changes from internet"},
    };
    for (const ToolDef& t : tools) {
        auto* b = static_cast<CHoverButton*>(control(t.id));
        b->setBitmapResource(t.normal, t.hot);
        b->setToolTipText(QString::fromLatin1(t.tip));
        b->resize(b->sizeHint());
        const int id = t.id, command = t.command;
        connect(b, &QAbstractButton::clicked, this,
                [this, id, command] { toolbarPressed(id, command); });
    }
}

void MainWindow::toolbarPressed(int buttonId, int command) {
    if (command == 0) return; // the snapshot buttons have no action
    // Live Update acts always; the others only while their menu item is
    // enabled (the state query answers the owner-draw flag alone).
    if (buttonId != 1055 && menuState(command) != 0x100) return;
    runCommand(command);
}

} // namespace dorvak
