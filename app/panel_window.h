#pragma once
// Floating panel windows with pages: a DialogPages record describes one panel (the
// "Preferences" dialog, the "Edit Shape..." panel); its pages are built when first
// needed, each may be announced in the main menu, a tab bar switches between them, and
// one operation opens, refreshes, toggles or closes the window. Panels opened over a
// window group cascade from that group's position. UI thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "app/ui_elements.h"
#include "common/record_tag.h"

namespace orva {

struct gElement;
struct gGroup;
struct gMenuItem;
struct gWindow;
struct DialogPages;
struct PanelPage;

constexpr uint32_t kDialogPagesTag = FourCC("GUIP");

// Panel flags.
constexpr uint32_t kPanelDestroyOnClose = 0x200;
constexpr uint32_t kPanelTabBar = 0x800;

// OpenPanelWindow modes and results.
constexpr int32_t kPanelToggle = 0;
constexpr int32_t kPanelShow = 1;
constexpr int32_t kPanelRefresh = 2;
constexpr int32_t kPanelClose = 3;
constexpr int kPanelShown = 2;
constexpr int kPanelAlreadyShown = 3;

// Page kinds (where the page's menu entry goes): -1 none, 0..5 (others count as 4).
constexpr int32_t kPageNoMenu = -1;
constexpr int32_t kPagePreferences = 1;  // the "Preferences" submenu over the group windows
constexpr int32_t kPageLayout = 5;       // "Layout" (main window) or "Chart Tools"

// Builds the page's widgets into its group (PageOpenGroup): 1 when the page exists.
using PanelBuildFn = int (*)(gWindow* window, PanelPage* page);
// Shows the current values (flag 0 when the page is shown anew).
using PanelRefreshFn = void (*)(gWindow* window, PanelPage* page, int flag);
// Told when the target of the pages changes: (target, 1).
using PanelTargetFn = void (*)(void* target, int flag);

// A page row given to DialogCreatePages.
struct PageRow {
    const char* label = nullptr;
    PanelBuildFn build = nullptr;
    PanelRefreshFn refresh = nullptr;
    int32_t kind = kPageNoMenu;
    uint32_t unused = 0;
    uintptr_t data = 0;
};

// What a menu entry of a panel or page carries: the dialog and the page number (0: the
// dialog's own entry). Menu entries hold a 32-bit number that names it (`id`).
struct PanelItemData {
    DialogPages* dialog = nullptr;
    int32_t page = 0;
    uint32_t id = 0;
};

struct PanelPage {
    PanelBuildFn build = nullptr;
    PanelRefreshFn refresh = nullptr;
    int32_t kind = kPageNoMenu;
    // The page's toolkit group in the window with its slot array, count and geometry.
    UIElement geometry;
    std::string label;
    uintptr_t data = 0;
    void* target = nullptr;
    DialogPages* owner = nullptr;
    gMenuItem* menuItem = nullptr;
    PanelItemData itemData;
    ~PanelPage();
};

struct DialogPages {
    uint32_t tag = 0;
    PanelTargetFn changeCallback = nullptr;
    PanelPage* currentPage = nullptr;
    std::vector<PanelPage*> pages;  // in creation order (owned)
    uint32_t flags = 0;
    gElement* statusWidget = nullptr;
    gElement* tabBar = nullptr;
    gMenuItem* ownItem = nullptr;
    int32_t mode = 0;
    int32_t ownMenuKind = kPageNoMenu;
    PanelItemData ownItemData;
    uint8_t noPages = 0;
    int32_t position[2] = {0, 0};
    int32_t size[2] = {0, 0};
    float tabWidth = 0;     // the strip's width: used in (10, 2000), else 276
    float tabBarWidth = 0;  // one tab's width: used in (0, 300), else 68
    float tabHeight = 0;    // used in (0, 30), else 16
    gWindow* window = nullptr;
    gWindow* parent = nullptr;
    const char* title = nullptr;  // "Unnamed" when null

    DialogPages() = default;
    DialogPages(const DialogPages&) = delete;
    DialogPages& operator=(const DialogPages&) = delete;
    ~DialogPages();
};

// Tags the record (its own item data names it).
void DialogPagesInit(DialogPages* dialog);
// Points the pages at no target, then destroys every page and, when it is still there,
// the window.
void DialogPagesDestroy(DialogPages* dialog);
// Appends a page per row that has both procedures (kinds outside -1..5 become -1); when
// the window exists, the pages are rebuilt keeping the current page. False when a page
// cannot be made.
bool DialogCreatePages(DialogPages* dialog, const PageRow* rows, int count);
void DialogSetCallback(DialogPages* dialog, PanelTargetFn callback);
// Points every page at the target, telling the old and the new callback.
void DialogSetTarget(DialogPages* dialog, void* target, PanelTargetFn callback);

// Modes for a panel whose window exists: 0 toggle, 1 show, 2 refresh when shown, 3 close.
// A panel without a window is built (with its pages and menu entries) and shown; mode 2
// leaves it hidden. page: 1-based page number to show, 0 the current page. Returns 0
// (closed, hidden or not made), 2 shown, 3 already shown (rebuilt and brought forward).
int OpenPanelWindow(DialogPages* dialog, int32_t mode, int32_t page, gWindow* parent);
// Whether the panel's window is on screen.
bool PanelShown(const DialogPages* dialog);

// The menu entry of a page or of the dialog (kind 0..5, others 4): the "Preferences",
// "Layout" or "Chart Tools" submenu for panels over the group windows, else the main
// menu bar's Edit (kinds 0 and 1) or View menu. Null when the menu is not there or the
// entry exists already.
gMenuItem* AddPageMenuItem(DialogPages* dialog, int32_t kind, const char* label, PanelItemData* data);
// The command of those entries: opens the panel at the entry's page.
uint8_t PageMenuCommand(void* item, uint32_t id);

// The close requests of a panel window.
bool PanelCloseRequest(gWindow* window, void* dialog);
bool ForeignPanelCloseRequest(gWindow* window, void* dialog);

// ---- Page routines ---------------------------------------------------------------------------------
// The page's slot array, once: 1..4096 entries; the same count again is accepted.
bool PageAllocSlots(PanelPage* page, uint32_t count);
// The toolkit's glyph array holds the page's slots; on failure the page is closed.
bool PageEnsureGlyphs(PanelPage* page);
// The page's group in the window (made below the tab bar when missing), made the active
// group; null when the slot does not fit the existing group or the group is busy.
gGroup* PageOpenGroup(gWindow* window, PanelPage* page, uint32_t slot);
// Arranges the page's group and copies its position and size with margins.
void PageUpdateGeometry(PanelPage* page);

// ---- Where the page entries go ---------------------------------------------------------------------
// The submenus that the main menus offer to panels (set by whoever builds the menus).
struct PanelMenus {
    gMenuItem* preferences = nullptr;  // "Preferences"
    gMenuItem* layout = nullptr;       // "Layout" of the main window
    gMenuItem* chartTools = nullptr;   // "Chart Tools"
};
PanelMenus& ThePanelMenus();
// The menu-bar titles of the Edit and View menus.
constexpr int32_t kEditMenuTitle = 3;
constexpr int32_t kViewMenuTitle = 4;

// A thin frame along the edges of a dialog's client area (an after-paint callback), so
// that a dialog stands out from the window under it also where no window manager frames
// it.
void PaintWindowEdge(gWindow* window, void* data);

// The shared cascade of panels over windows of no group (tests).
void ResetPanelCascade();

}  // namespace orva
