#pragma once
// The menu bar (widget kind 90): a column of titles, one row each. Pressing a row, or
// moving over the rows while the bar is pressed, opens the title's popup menu to the
// right of the bar; a title may instead carry a direct command that runs on press.
// Each title collects the item tables the application registers; its popup menu is
// built from them when first needed. UI thread only.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "toolkit/input.h"
#include "toolkit/menu.h"
#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kMenuBarKind = 90;
constexpr int32_t kMenuBarMaxTitles = 200;
constexpr int32_t kMenuBarMaxTables = 200;
constexpr uint32_t kMenuBarColour = 0x4737474u;
constexpr uint32_t kMenuBarHoverColour = 0x4675F5Fu;
constexpr uint32_t kMenuBarPopupColour = 0x4676A6Au;

using MenuBarCommand = void (*)(gElement* bar, uintptr_t userData);
using MenuBarBeforeOpen = void (*)(gMenuRow* rows, uint32_t userData);

struct MenuBarTable {
    bool asSubmenu = false;
    gMenuRow* rows = nullptr;         // the caller's rows or copy.data()
    int32_t count = 0;
    bool copied = false;
    MenuBarBeforeOpen beforeOpen = nullptr;
    uint32_t userData = 0;
    std::vector<gMenuRow> copy;       // the private copy
    std::vector<std::string> labels;  // the copy's label texts
};

struct MenuBarTitle {
    gMenu* menu = nullptr;
    std::string label;                // before the first tab, at most 100 characters
    std::string right;                // after it, at most 20 characters
    float labelWidth = 0, rightWidth = 0, rightX = 0;
    MenuBarCommand command = nullptr;
    std::vector<std::unique_ptr<MenuBarTable>> tables;
};

struct MenuBar {
    gElement* widget = nullptr;
    std::vector<std::unique_ptr<MenuBarTitle>> titles;
    int32_t currentRow = 0;
    float lastY = 0;
    MenuBarTitle* currentTitle = nullptr;  // for additions
    float width = 10;
    float rowHeight = 16;
    uint8_t style = 0;                     // set: flat background
    gFont* font = nullptr;
    uint8_t owned = 0;

    static gElement* Create(gWindow* window, gElement* group, MenuBar* bar, const float* rect, gFont* font,
                            gFont** fontReference, uint8_t style);
    static bool BuildItems(MenuBar* bar, const char* text);
    static bool AddItems(MenuBar* bar, int32_t titleIndex, gMenuRow* rows, int32_t count, bool asSubmenu, bool copy,
                         MenuBarBeforeOpen beforeOpen, uint32_t userData);
    static bool SetItemData(MenuBar* bar, int32_t titleIndex, MenuBarCommand command);
    static bool ItemAt(const MenuBar* bar, int32_t titleIndex, uint32_t userData);
    static MenuBar* FromWidget(const gElement* e);

    // The title an index addresses: negative the current title for additions (else the
    // last), 0 the first, count or more the last. Null without titles.
    MenuBarTitle* TitleAt(int32_t index) const;
    // The row under a pointer y (window frame); clamped to the rows.
    int32_t RowFromY(float y) const;
    // Hover or pointer move: true when the row changed.
    bool Hover(float y);
    // The bar is pressed (its widget's value, a toggle): its menus follow the pointer
    // and it takes the keys. Ending the popup menu's tracking clears it.
    bool Pressed() const;
    // A press at pointer y, after the press toggled the widget's value: pressed now
    // opens the row's menu, released lets go of the bar.
    void Press(float y);
    // Lets go of the bar: un-pressed, its open menu (or its hold on the keyboard) ended.
    void LetGo();
    // Opens the current row's menu; false when it has no items.
    bool OpenMenu();
    // Pointer move while pressed (window frame x, y).
    void Track(float x, float y);
    // Keys while pressed: 0 not taken, 1 taken, 2 taken and repaint.
    int OnKey(gKeyCode code);
    static void Paint(gElement* e);
};

// The menu services the bar calls; the popup-menu layer's functions by default.
struct MenuBarMenuOps {
    gMenu* (*create)(gElement* owner, gMenuEventFn, uint32_t colour, uint32_t userData, gMenuReleaseFn) = gMenuCreate;
    bool (*addItems)(gMenu*, gMenuRow*, int32_t, bool, uint32_t, gMenuReleaseFn) = gMenuAddItems;
    bool (*popup)(gMenu*, gWindow*, int32_t x, int32_t y, int32_t anchorWidth, bool openSub) = gMenuPopupScreen;
    bool (*closeAll)() = gMenuCloseAll;
    void (*end)(pf::Hwnd, bool choose, bool fromPopup) = gMenuEnd;
    void (*takeCapture)(bool flip) = gMenuTakeCapture;
    void (*destroy)(gMenu*) = gMenuDelete;
    gMenuHost* (*host)() = gMenuHostPeek;
};
MenuBarMenuOps& gMenuBarOps();

}  // namespace orva
