// A popup menu that destroys itself.
#pragma once

#include <windows.h>

class PopupMenu {
public:
    PopupMenu() : menu_(CreatePopupMenu()) {}
    ~PopupMenu() {
        if (menu_ != nullptr) {
            DestroyMenu(menu_);
        }
    }
    PopupMenu(PopupMenu const&) = delete;
    PopupMenu& operator=(PopupMenu const&) = delete;

    HMENU get() const { return menu_; }
    explicit operator bool() const { return menu_ != nullptr; }

private:
    HMENU menu_;
};
