// Command routing. A command (menu item, button, accelerator) is offered
// along a chain of targets until one handles it; before a popup menu opens,
// each item's update step lets the chain enable, grey or check it.
#pragma once

#include <windows.h>

// What the update step of one command decided.
class CCommandUI {
public:
    explicit CCommandUI(UINT id) : id_(id) {}

    UINT GetId() const { return id_; }
    void Enable(bool enable) { enabled_ = enable; handled_ = true; }
    void SetCheck(bool check) { checked_ = check; handled_ = true; }

    bool IsHandled() const { return handled_; }
    bool IsEnabled() const { return enabled_; }
    bool IsChecked() const { return checked_; }

private:
    UINT id_;
    bool enabled_ = true;
    bool checked_ = false;
    bool handled_ = false;
};

class CCommandTarget {
public:
    virtual ~CCommandTarget() = default;

    // True when the command was carried out here.
    virtual bool OnCommand(UINT /*id*/) { return false; }
    // True when this target decides the command's state.
    virtual bool OnUpdateCommand(CCommandUI& /*ui*/) { return false; }
};

// Applies the update step to every item of a popup that is about to open;
// submenus and separators are left as they are.
void UpdatePopupMenu(HMENU popup, CCommandTarget& router);
