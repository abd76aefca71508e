#pragma once
// Popup menus: menu records built from descriptor tables, their items (commands,
// checks, separators, one level of submenus), the program-wide menu host with its two
// popup windows, and the tracking of an open menu (placement on the screen, pointer and
// keys, choosing and ending). A menu is never a window of its own: the host shows the
// current menu in its main popup window and one submenu in its submenu window. Menus
// are rebuilt in place: a reset keeps the items and the next build reuses them in order.
// UI thread only.
#include <cstdint>
#include <string>

#include "common/record_tag.h"
#include "platform/msg_types.h"
#include "toolkit/shortcuts.h"
#include "toolkit/window.h"

namespace orva {

struct gElement;
struct gFont;
struct gWindow;
struct gMenu;
struct gMenuItem;

constexpr uint32_t kMenuTag = FourCC("GMNU");
constexpr uint32_t kMenuItemTag = FourCC("GMIT");

// Row flags of a descriptor table.
constexpr uint32_t kMenuRowKeepHighlight = 0x1;  // the item keeps its highlight after tracking
constexpr uint32_t kMenuRowDisabled = 0x4;
constexpr uint32_t kMenuRowChecked = 0x8;
constexpr uint32_t kMenuRowNoShortcut = 0x10;   // the key is shown but not registered
constexpr uint32_t kMenuRowBuilt = 0x8000;      // set by the builder; built rows are skipped

constexpr int32_t kMenuMaxRows = 200;
constexpr int32_t kMenuLabelMax = 160;
constexpr int32_t kMenuShortcutMax = 27;
// Toolkit colour word of a popup menu's background when none is given.
constexpr uint32_t kMenuDefaultColour = 0x04676A6Au;

// Item handler: (item or null when run as a shortcut, user data) → 1 handled. For a
// submenu item the same slot holds the fill callback, run before the menu opens.
using gMenuHandler = gAccelHandler;
// Event callback of a menu: (menu, null when opening / the chosen row numbers
// {hovered row, hovered child} when choosing, user data).
using gMenuEventFn = void (*)(gMenu* menu, const int32_t* rowNumbers, uint32_t userData);
// Called when user data is dropped.
using gMenuReleaseFn = void (*)(uint32_t userData);
// A custom painter of the popup window (or the paint hook used in place of clearing).
using gMenuPainterFn = void (*)(gWindow* popup);

// One row of a descriptor table (label null = separator; a tab splits off the shortcut text).
struct gMenuRow {
    const char* label = nullptr;
    uint32_t key = 0;               // gKeyCode of the shortcut, 0 none
    gMenuHandler handler = nullptr; // first row of a submenu build: the fill callback
    uint32_t flags = 0;
    gMenuItem* item = nullptr;      // written by the builder
};

struct gMenuItem {
    uint32_t tag = kMenuItemTag;
    gMenuItem* next = nullptr;
    gMenuItem* prev = nullptr;
    gMenuItem* childCursor = nullptr;   // submenu item: its last live child
    gMenuItem* hoveredChild = nullptr;  // submenu item: its hovered child
    int32_t check = 0;                  // 0 unchecked, 1 checked, 2 submenu item
    int32_t state = 0;                  // 0 enabled, 1 disabled, 2 separator
    std::string label;                  // at most 160 characters
    std::string shortcut;               // at most 27 characters
    float labelWidth = 0, shortcutWidth = 0;
    int32_t rowBottom = 0;              // running sum of row heights from the list top
    gMenuItem* firstChild = nullptr;
    int32_t submenuWidth = 0, submenuHeight = 0;
    gMenu* owner = nullptr;
    gMenuHandler handler = nullptr;
    uint32_t userData = 0;
    uint32_t key = 0;
    uint32_t flags = 0;                 // row flags less 0x4, 0x8, 0x10, 0x8000
    int32_t rowNumber = 0;              // submenu item: the number of its hovered child
    gAccel* shortcutEntry = nullptr;    // in the global shortcut list
    gMenuReleaseFn release = nullptr;
};

struct gMenu {
    uint32_t tag = kMenuTag;
    int32_t width = 0, height = 0;
    int32_t submenuWidth = 0, submenuHeight = 0;
    float rowHeight = 0, textOffset = 0;
    gMenuPainterFn paintHook = nullptr;
    gMenuItem* first = nullptr;
    gMenuItem* last = nullptr;
    gMenuItem* cursor = nullptr;        // last live item
    gMenuItem* hovered = nullptr;
    gMenuEventFn eventCallback = nullptr;
    struct gMenuHost* host = nullptr;
    uint32_t userData = 0;
    gMenuItem* buildParent = nullptr;   // submenu item whose children are being built
    bool building = false;              // the build list is set (menu items or buildParent's)
    int32_t hoveredRow = 0;             // 1-based among non-separators, 0 none
    int32_t hoveredChildRow = 0;
    gMenuPainterFn painter = nullptr;
    gElement* ownerWidget = nullptr;
    gWindow* opener = nullptr;
    gMenuReleaseFn release = nullptr;
    uint32_t colour = 0;
};

struct gMenuHost {
    uint8_t open = 0;
    uint8_t flipLeft = 0, flipUp = 0;
    int32_t state = -1;                 // -1 ended, 0 owner, 1 main popup, 2 submenu
    int32_t lastOffset = -1;
    gMenu* current = nullptr;
    // Metrics.
    int32_t edgeInset = 5, leftMargin = 19, topMargin = 7, rightMargin = 23, bottomMargin = 7;
    int32_t extraWidth = 42, extraHeight = 14, rowStep = 2;
    int32_t subLeft = 6, subUp = 6, subRight = 22, subDown = 6;
    gWindow* mainWindow = nullptr;
    gWindow* subWindow = nullptr;
    gFont* mainFont = nullptr;
    gFont* subFont = nullptr;
    bool timerRunning = false;          // the 200 ms submenu timer
};

// ---- Host ------------------------------------------------------------------------------
gMenuHost* gMenuHostGet();      // created with its two popup windows on first use
void gMenuHostFree();           // toolkit shut-down
gMenuHost* gMenuHostPeek();     // the host when it exists, never creates it
// Installs the menu hooks of the window procedure and input routing (idempotent).
void gMenuInstall();

// ---- Building ---------------------------------------------------------------------------
gMenu* gMenuCreate(gElement* owner, gMenuEventFn event, uint32_t colour, uint32_t userData,
                   gMenuReleaseFn release);
bool gMenuAddItems(gMenu* menu, gMenuRow* rows, int32_t count, bool asSubmenu, uint32_t userData,
                   gMenuReleaseFn release);
gMenuItem* gMenuAddSeparator(gMenu* menu);
bool gMenuBuild(gMenuItem* item, gMenuRow* rows, int32_t count, bool clearFirst, uint32_t userData,
                gMenuReleaseFn release);
// Resets the menu for rebuilding (items stay allocated for reuse).
void gMenuSetShortcut(gMenu* menu);
// Releases the menu's contents; the gMenu record itself is deleted by its creator
// (gMenuDelete does both).
void gMenuClose(gMenu* menu);
void gMenuDelete(gMenu* menu);
void gMenuSetPainter(gMenu* menu, gMenuPainterFn painter, uint32_t colour);

// ---- Item states ------------------------------------------------------------------------
bool gMenuIsMenu(const gMenu* menu);          // a live menu
bool gMenuIsItem(const gMenuItem* item);      // a live item of a live menu
bool gMenuCheckItem(gMenuItem* item, bool on);
bool gMenuItemSetState(gMenuItem* item, bool disabled);
bool gMenuEnableItem(gMenuItem* item, bool disabled);
bool gMenuSetNthItem(gMenu* menu, int32_t n, bool disabled);
void gMenuEnableItems(gMenuRow* rows, int32_t n, bool disabled);
void gMenuCheckItemList(gMenuRow* rows, int32_t n);
void gMenuCheckItems(gMenuRow* rows, int32_t n, int32_t k);
void gMenuItemAt(gMenu* menu, int32_t first, int32_t last, int32_t k, bool on);
bool gMenuSelectRadio(gMenuItem* item, uint32_t value);
uint32_t gMenuItemMenuId(const gMenuItem* item);
void gMenuClearHover(gMenu* menu);

// ---- Opening, tracking, ending -----------------------------------------------------------
bool gMenuPopupAt(gMenu* menu, gElement* widget, uint32_t colour);
bool gMenuPopupAtPoint(gMenu* menu, gWindow* window, int32_t x, int32_t y, int32_t anchorWidth, bool openSub,
                       bool reattach, uint32_t userData, gMenuReleaseFn release);
bool gMenuPopupScreen(gMenu* menu, gWindow* window, int32_t x, int32_t y, int32_t anchorWidth, bool openSub);
bool gMenuOpenSub();
bool gMenuIsOpen(gMenu* menu);
bool gMenuCloseAll();
void gMenuEnd(pf::Hwnd hwnd, bool choose, bool fromPopup);
bool gMenuEndFromWindow(gWindow* window, bool choose);
// Pointer movement over a popup window (client coordinates); true: repaint it.
bool gMenuOnMouseMove(gWindow* popup, int32_t x, int32_t y);
// 1 consumed, 0 pass the key on.
int gMenuOnKey(uint32_t key);
void gMenuWinOnClose(gWindow* popup);
void gMenuTakeCapture(bool flip);
void gMenuPaintMain(gWindow* popup);
void gMenuPaintSub(gWindow* popup);

}  // namespace orva
