#pragma once
// The records through which components show their settings: the UI element (one block
// of controls of a page), the page (UIPage: a component's page with its blocks), the
// component window record ("GUIW": a window a component opens for one of its pages)
// and the options-window component that hosts pages in the main and tool windows.
// Components and these records live on zeroed, 32-byte aligned memory (AllocZeroed).
// UI thread only.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/record_tag.h"
#include "framework/component.h"

namespace orva {

struct gElement;
struct gGroup;
struct gWindow;
class CUI;
class UIPage;

constexpr uint32_t kElementRecordTag = FourCC("GUII");
constexpr uint32_t kWindowRecordTag = FourCC("GUIW");

// Page flags.
constexpr uint32_t kPageInUse = 0x2;
constexpr uint32_t kPageNeedsBuild = 0x4;
constexpr uint32_t kPageDocked = 0x1800;
constexpr uint32_t kPageReuseGroup = 0x4000;
constexpr uint32_t kPageStyleMask = 0x1079EE00;
constexpr uint32_t kPageMatchMask = 0x78E800;
constexpr uint32_t kPageTitleFromHosted = 0x10000;
// Element flags.
constexpr uint32_t kElementMade = 0x1;
constexpr uint32_t kElementBelowTabs = 0x8;
constexpr uint32_t kElementKind3 = 0x100;
constexpr uint32_t kElementRestores = 0x200;
constexpr uint32_t kElementNoHostedBuild = 0x8000;
constexpr uint32_t kElementNoView = 0x10000000;
// A block that stands in a group window beside its page column (the workspace's select
// tab strip): switching the window's pages leaves it as it is.
constexpr uint32_t kElementKeepsPlace = 0x20000000;
// Window record flags (bits 0..2).
constexpr uint32_t kRecordTabBar = 0x1;
constexpr uint32_t kRecordFileTitle = 0x2;
constexpr uint32_t kRecordStateButton = 0x4;
// A page standing inside its parent window that still takes a step of the parent's
// cascade, so that the windows opened after it stand where they would beside it.
constexpr uint32_t kRecordCascadeStep = 0x8;

// Page ids.
constexpr int32_t kPageGeneric = -1;
constexpr int32_t kPageOptions = -512;
constexpr int32_t kPageStandardFirst = -517;  // -517 .. -512: the standard option pages
constexpr int32_t kPageRefresh = -1024;

// Window styles by kind.
constexpr uint32_t kWindowStyleKind02 = 0x20410070;
constexpr uint32_t kWindowStyleKind1 = 0x20400070;
constexpr uint32_t kWindowStyleKind3 = 0x20420531;

// A zero-filled block of `size` bytes aligned to 32 bytes, or null; freed with AlignedFree.
void* AllocZeroed(size_t size);

// The docked view of a page: where its controls sit inside the host window, held by
// reference. The dock flags choose the edge that gets the wide margin.
struct UIView {
    int32_t refCount = 1;
    gWindow* window = nullptr;
    uint32_t dockFlags = 0;
    float edges[4] = {1.0f, 2.0f, 1.0f, 1.0f};
    float x = 0, y = 0, width = 0, height = 0;
};

// One block of controls.
class UIElement {
public:
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    UIElement();
    UIElement(const UIElement&) = delete;
    UIElement& operator=(const UIElement&) = delete;
    // The release operation: the element's controls, group, view and name go.
    virtual ~UIElement();

    uint32_t tag = kElementRecordTag;
    gElement** slots = nullptr;
    uint32_t slotCount = 0;
    gGroup* group = nullptr;   // one reference held
    UIView* view = nullptr;    // one reference held
    float x = 0, y = 0, width = 0, height = 0;
    PanelBuilder key = nullptr;  // the owner of the block: its component's panel builder
    void (*notify)(UIElement* element, intptr_t argument) = nullptr;
    UIPage* page = nullptr;
    uint32_t flags = 0;
    uint32_t index = 0;        // place in the page's table plus 1
    int32_t pageId = 0;
    gWindow* window = nullptr;
    uint32_t word = 0;
    std::string name;
};

// True while the element record exists (its release ran not yet).
bool UIElementIsLive(const UIElement* element);

// A component's page: its attached component (PageWindow::current), its flags
// (PageWindow::flags), the table of its blocks and every element it made.
class UIPage : public PageWindow {
public:
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    UIPage();
    UIPage(const UIPage&) = delete;
    UIPage& operator=(const UIPage&) = delete;
    // Releases every element, the table, and its own element.
    virtual ~UIPage();

    UIElement element;                   // key: the attached component's builder; page: this
    std::vector<UIElement*> table;       // by slot index; sized on the first build
    std::vector<UIElement*> elements;    // every element of the page (owned)
    uintptr_t id = 0;                    // the page id, or the window or item the page shows
    std::string name;                    // "Options" or "window" for options windows
};

bool UIPageIsLive(const UIPage* page);

// A window a component opens for one of its pages.
class UIWindowRecord {
public:
    static void* operator new(size_t size) noexcept;
    static void operator delete(void* block) noexcept;
    UIWindowRecord();
    UIWindowRecord(const UIWindowRecord&) = delete;
    UIWindowRecord& operator=(const UIWindowRecord&) = delete;
    virtual ~UIWindowRecord();

    uint32_t tag = kWindowRecordTag;
    UIElement element;          // key: the owner's builder; pageId; window once created
    int32_t savedX = 0, savedY = 0, savedWidth = 0, savedHeight = 0;
    int32_t width = 0, height = 0;
    uint32_t style = 0;
    uint32_t flags = 0;         // kRecordTabBar, kRecordFileTitle, kRecordStateButton, kRecordCascadeStep
    int32_t kind = 0;
    ComponentBase* owner = nullptr;
    gElement* titleLabel = nullptr;
    gElement* stateButton = nullptr;
};

// ---- Elements of a page ----------------------------------------------------------------

// A new element of the page (flag bit 0 set, appended to the page's elements); null and
// "__UI_create(): Can't alloc memory" in the log when memory is short.
UIElement* UIElementCreate(UIPage* page);
UIElement* UIElementFind(UIPage* page, PanelBuilder key);
UIElement* UIElementFindFor(UIPage* page, PanelBuilder key, gWindow* window);
UIElement* UIElementFindExact(UIPage* page, PanelBuilder key, gWindow* window, uint32_t index, int32_t pageId);
UIElement* UIElementFindFree(UIPage* page, gWindow* window);
UIElement* UIElementFindOrCreate(UIPage* page, PanelBuilder key, gWindow* window, bool exact);
UIElement* UIElementFindOrCreateAt(UIPage* page, PanelBuilder key, gWindow* window, uint32_t index, int32_t pageId);
// The slot array, once: false for n outside 1..4096, a second time, or no memory.
bool UIElementAllocSlots(UIElement* element, uint32_t n);
// The toolkit's glyph array must hold the slots; on failure the element is reset.
bool UIElementEnsureGlyphs(UIElement* element, uint32_t n);
// The element's group, made in its window when missing and placed relative to its page's.
gGroup* UIElementGetGroup(UIElement* element, uint32_t style, uint32_t place);
// Copies the group's position and size (with its margins) into the element.
void UIElementSyncView(UIElement* element);
// Frees slots, group, view and name; keeps flag bit 0 and the page id.
void UIElementReset(UIElement* element);
// Calls the notify callback of every element of the page with the key (any key for
// UIPageNotifyAll) that has slots and whose window is not hidden.
void UIElementsNotify(UIPage* page, PanelBuilder key, intptr_t argument);
void UIPageNotifyAll(UIPage* page, intptr_t argument);
// Destroys the elements shown in the window; an emptied table is freed and the page
// marked for a build.
void UIPageDropWindow(UIPage* page, gWindow* window);

// The docked view of an element.
bool GLViewAttach(UIElement* element, uint32_t style);
void GLViewRelease(UIView* view);
void UIWindowSetMargins(UIView* view, uint32_t flags);

// ---- Pages and their components ----------------------------------------------------------

// Attaches a component that has a panel builder (detaching it from any other page and
// the page's previous component).
bool UIPageAttachComponent(UIPage* page, ComponentBase* component);
void UIPageDetachComponent(UIPage* page, ComponentBase* except);
// Whether the page belongs to the builder; UIPageClaim takes an unowned page over.
bool UIElementMatchesOwner(UIPage* page, PanelBuilder builder);
bool UIPageClaim(UIPage* page, PanelBuilder builder);
// The component's builder for its page when the page's window is visible, then for the
// visible elements (UI ready only).
void RefreshComponentPanels(ComponentBase* component, bool first);
void RedrawVisibleComponentWindows(ComponentBase* component);
void UIWindowTreeRefresh(ComponentBase* component);

// ---- Window records of a component -------------------------------------------------------

class OptionsWindow;
UIWindowRecord* UIWindowRecordNew(OptionsWindow* component, int32_t id, int32_t kind);
UIWindowRecord* UIWindowRecordFind(OptionsWindow* component, int32_t id);
UIWindowRecord* CreateUIWindow(OptionsWindow* component, int32_t id, int32_t kind);
UIWindowRecord* CreateUIWindowWithFlags(OptionsWindow* component, int32_t id, uint32_t flags, int32_t kind);
UIWindowRecord* UIWindowRecordByWindow(OptionsWindow* component, gWindow* window);
// Attaches a component to the page of a window record's component.
bool UIWindowAttachComponent(UIWindowRecord* record, ComponentBase* component);

// ---- The options-window component --------------------------------------------------------

class OptionsWindow : public ComponentBase {
public:
    OptionsWindow();
    ~OptionsWindow() override;
    const ComponentId* GetClassId() const override;
    bool CreateInstance(ComponentObject** out) override;
    bool QueryInterface(const ComponentId* id, void** out) override;
    int32_t Refresh(uint8_t playback) override;

    CUI* owner = nullptr;               // the CUI whose lists hold it and its page
    int32_t kindNumber = 0;             // 0 .. 5 as created
    std::string title;
    UIPage* ownPage = nullptr;          // the hosted component's page (owned)
    std::vector<UIWindowRecord*> windows;
    gWindow* storedWindow = nullptr;    // the first window a builder was called with
    int32_t storedPageId = 0;
};

// True while the object is an options window (a registry of live ones).
OptionsWindow* AsOptionsWindow(ComponentBase* component);

// Kind 0 and 2: a generic window (record -1 of that kind); kind 3: an options window
// (record -512, kind 3); others: a container without a window record. Null on failure.
OptionsWindow* CreateOptionsWindow(CUI* cui, int32_t kind);

// The next container of the CUI (class "GCTL" "CTNR") that has a page whose key is the
// builder, whose style bits agree under kPageStyleMask and whose window record, when
// present, has the window as its id.
OptionsWindow* FindContainerWindow(CUI* cui, gWindow* window, PanelBuilder builder, uint32_t style,
                                   size_t* inoutIndex);

// ---- Window placement and titles ---------------------------------------------------------

// Where a new window of a record goes: cascaded from the parent's window group (or the
// program-wide default pair) and clamped into the screen.
void PlaceRecordWindow(UIWindowRecord* record, gWindow* parent, uint32_t style, int32_t screenWidth,
                       int32_t screenHeight, int32_t* x, int32_t* y, int32_t* width, int32_t* height);
// Resets the program-wide default cascade pair (tests).
void ResetDefaultCascade();

// The attached component's name, a blank and the record's title when both exist.
std::string ItemTitle(const UIWindowRecord* record);
// The first named shown element of the builder's page, after the item title and " | ".
std::string PageTitle(const UIWindowRecord* record, PanelBuilder builder);
// The title with the suffix, cut to `limit` characters with the mark 0x85 when longer.
std::string WindowTitle(const UIWindowRecord* record, PanelBuilder builder, const char* suffix, size_t limit);
// The group-1 suffix.
inline constexpr char kToolTitleSuffix[] = "  Tool";

}  // namespace orva
