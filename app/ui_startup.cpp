#include "app/ui_startup.h"

#include <GL/gl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/field_readers.h"
#include "app/group_layout.h"
#include "app/widget_dump.h"
#include "app/open_road.h"
#include "app/property_pages.h"
#include "app/shell_hooks.h"
#include "app/status_line.h"
#include "app/ui_elements.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/system.h"
#include "framework/app_object.h"
#include "platform/cursor_resources.h"
#include "platform/window_api.h"
#include "platform/window_icons.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"
#include "toolkit/number_field.h"
#include "toolkit/painters.h"
#include "toolkit/tab_bar.h"
#include "toolkit/text_layout.h"
#include "toolkit/texture_image.h"
#include "toolkit/widget.h"
#include "toolkit/widget_props.h"
#include "toolkit/window.h"

namespace orva {

namespace {

// Window styles of the toolkit: the main window ends the program when it closes; the
// tool windows belong to it.
constexpr uint32_t kMainWindowStyle =
    kStyleFrameClass | kStyleMain | kStyleSysMenu | kStyleMinimiseBox | kStyleMaximiseBox | kStyleThickFrame;
constexpr uint32_t kToolWindowStyle = kStyleFrameClass | kStyleSysMenu | kStyleMaximiseBox | kStyleThickFrame;
constexpr uint32_t kAboutStyle = kStyleSysMenu | kStyleDialogFrame | kStyleNotSizable;

constexpr uint32_t kBackdropColour = 0x4676A6A;
constexpr uint32_t kTitleButtonColour = 0x4552C1E;
constexpr uint32_t kExitColour = 0x4737474;
constexpr uint32_t kLogColour = 0x46D7070;
constexpr float kTabHeight = 18.0f;
constexpr float kTabWidth = 83.0f;
// The room between a page column and the workspace beside it.
constexpr int32_t kPageColumnGap = 2;
// The column's width for pages that reach `right`, with room for its scroll bar when they
// are taller than the column (pages that fit leave the workspace its width).
int32_t ColumnWidthFor(float right, bool scrolls) {
    return static_cast<int32_t>(std::ceil(right)) + kPageColumnGap + (scrolls ? kColumnBarRoom : 0);
}
constexpr int32_t kToolSideWidth = 263;

constexpr uint32_t kTopRight = kWsRight | kWsTop;
constexpr uint32_t kBottomLeft = kWsLeft | kWsBottom;

const int32_t kCursorFallbackToCross[] = {104, 177, 106};

struct StartState {
    pf::Cursor cursors[1 + platform::kCursorResourceCount] = {};
    bool cursorsLoaded = false;
    gWindow* about = nullptr;
    gElement* maximiseButton = nullptr;
    int32_t currentTab[kGroupCount] = {-1, -1, -1};
    bool forceToolkitFailure = false;
    const gUiTable* table = nullptr;
    // Where each tool window was put when it was built (outer top-left), while the user
    // has not moved it: it follows the main window's page column then.
    bool toolPlaced[kGroupCount] = {};
    int32_t toolAt[kGroupCount][2] = {};
};

StartState& State() {
    static StartState state;
    return state;
}

WindowGroup* GroupOf(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return nullptr;
    return IsWindowGroup(window->userData) ? static_cast<WindowGroup*>(window->userData) : nullptr;
}

int GroupIndex(const WindowGroup* g) {
    CUI& cui = TheCUI();
    for (int i = 0; i < kGroupCount; ++i)
        if (&cui.groups[i] == g) return i;
    return -1;
}

// A widget of a kind in the current group of a corner slot.
gElement* AddWidget(gWindow* w, int32_t kind, uint32_t slot, float width, float height, const char* text,
                    uint32_t colour, void (*onClick)(gElement*, uintptr_t), uintptr_t data) {
    gWgtTemplate t{.desc = {.kind = kind, .style = slot, .width = width, .height = height, .color1 = colour,
                            .text = text, .onClick = onClick}};
    gElement* e = gWgtAdd(w, nullptr, &t, 0);
    if (e == nullptr) return nullptr;
    if (data != 0) e->handlerData = data;
    if (kind >= 36) {
        // Button captions stand in the middle of the face.
        e->textAlign = (e->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
        if (gTextHooks().layout != nullptr) gTextHooks().layout(e);
    }
    return e;
}

// Every group of a group window keeps a small margin from the window's edges.
void SetGroupMargins(gWindow* w, float margin) {
    if (gSlotTable* table = gWinSlotTable(w)) {
        for (float& m : table->defaults.margins) m = margin;
    }
}

// A new group below the slot's last, made current.
gGroup* NewGroup(gWindow* w, uint32_t slot) {
    gWgtSelectWindow(w);
    gGroup* g = gGrpFind(w, slot, false);
    if (g != nullptr) gGrpSetActive(g);
    return g;
}

float Bottom(const gElement* e) { return e != nullptr ? e->y + e->cellHeight : 0.0f; }
float Right(const gElement* e) { return e != nullptr ? e->x + e->cellWidth : 0.0f; }

// ---- Title-bar buttons: drawn as small icons ---------------------------------------------------

void PaintIconFrame(gElement* e) {
    float r = static_cast<float>((e->color1 & 0x7F) * 2) / 255.0f;
    float g = static_cast<float>(((e->color1 >> 8) & 0x7F) * 2) / 255.0f;
    float b = static_cast<float>(((e->color1 >> 16) & 0x7F) * 2) / 255.0f;
    float k = e->value != 0 ? 0.7f : e->highlight != 0 ? 1.25f : 1.0f;
    glColor3f(std::min(1.0f, r * k), std::min(1.0f, g * k), std::min(1.0f, b * k));
    glRectf(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
    glColor3f(0.92f, 0.92f, 0.92f);
}

void PaintMinimise(gElement* e) {
    if (gIsPicking()) {
        gPickRect(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
        return;
    }
    PaintIconFrame(e);
    glBegin(GL_LINES);
    glVertex2f(e->x + 2, e->y + e->cellHeight - 2.5f);
    glVertex2f(e->x + e->cellWidth - 2, e->y + e->cellHeight - 2.5f);
    glEnd();
}

void PaintMaximise(gElement* e) {
    if (gIsPicking()) {
        gPickRect(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
        return;
    }
    PaintIconFrame(e);
    bool maximised = !e->text.empty() && static_cast<uint8_t>(e->text[0]) == 0x80;
    float x0 = e->x + 2.5f, y0 = e->y + 2.5f, x1 = e->x + e->cellWidth - 2.5f, y1 = e->y + e->cellHeight - 2.5f;
    if (maximised) {
        x1 -= 1.5f;
        y0 += 1.5f;
    }
    glBegin(GL_LINE_LOOP);
    glVertex2f(x0, y0);
    glVertex2f(x1, y0);
    glVertex2f(x1, y1);
    glVertex2f(x0, y1);
    glEnd();
}

void PaintClose(gElement* e) {
    if (gIsPicking()) {
        gPickRect(e->x, e->y, e->x + e->cellWidth, e->y + e->cellHeight);
        return;
    }
    PaintIconFrame(e);
    glBegin(GL_LINES);
    glVertex2f(e->x + 2.5f, e->y + 2.5f);
    glVertex2f(e->x + e->cellWidth - 2.5f, e->y + e->cellHeight - 2.5f);
    glVertex2f(e->x + e->cellWidth - 2.5f, e->y + 2.5f);
    glVertex2f(e->x + 2.5f, e->y + e->cellHeight - 2.5f);
    glEnd();
}

void MinimiseClick(gElement* e, uintptr_t) { gWinRestorePlacement(e->window, nullptr, true); }

void MaximiseClick(gElement* e, uintptr_t) {
    gWindow* w = e->window;
    gWinRestorePlacement(w, nullptr, false);
    if (gWinValidate(w) == nullptr || !gWgtIsLive(e)) return;
    bool maximised = (w->state & kStateMaximised) != 0;
    gWgtSetText(e, maximised ? "\x80" : "\x81");
}

void CloseClick(gElement*, uintptr_t) { ExitCommand(); }
void ExitClick(gElement*, uintptr_t) { ExitCommand(); }
void LogClick(gElement*, uintptr_t) {
    if (TheApp().OpenLogInViewer()) return;
    // Nothing could be started to show it: the user still learns where it is.
    const std::string path = TheApp().LogFilePath();
    ShowError(("No viewer could show the log" + (path.empty() ? std::string() : " '" + path + "'")).c_str());
}

template <int G>
void ClearGroupStatus() {
    StatusResetGroup(G);
}
constexpr void (*kStatusClear[kGroupCount])() = {&ClearGroupStatus<0>, &ClearGroupStatus<1>, &ClearGroupStatus<2>};

// The status line of a group: a text in the bottom-left corner, as wide as the window
// less 28.
gElement* AddStatusLine(gWindow* w, WindowGroup& g, int index) {
    if (NewGroup(w, kBottomLeft) == nullptr) return nullptr;
    float width = static_cast<float>(std::max(40, w->clientWidth - 28));
    gWgtTemplate t{.desc = {.kind = 4, .style = kBottomLeft, .width = width, .height = 17.0f,
                            .color1 = kStatusDefaultColour, .text = "Ready", .onClick = &StatusResetHandler}};
    t.desc.textAlign = 0x4000;
    t.desc.textMarginX = 4.0f;
    gElement* status = gWgtAdd(w, nullptr, &t, 0);
    if (status == nullptr) return nullptr;
    status->textColor = status->textColor2 = kStatusDefaultColour;
    gWinSetStatusWidget(w, status, kStatusClear[index]);
    g.statusWidget = status;
    g.statusCode = -1;
    g.bottomMargin = std::max(14, static_cast<int32_t>(status->cellHeight) + 4);
    return status;
}

// The tab bar of a group: its tab switch shows the chosen page's widgets only; true when
// that changed what is shown.
bool ShowGroupPage(WindowGroup& g, int32_t index);

void FitPageColumn(WindowGroup& g);

void TabSwitch(gElement* tabBar, uintptr_t data) {
    auto* g = reinterpret_cast<WindowGroup*>(data);
    if (!IsWindowGroup(g)) return;
    TabCtrl* t = TabCtrl::FromWidget(tabBar);
    if (t == nullptr || t->current == nullptr) return;
    PageColumnRestore(g->windows[0]);
    ShowGroupPage(*g, t->current->current);
    if (gWindow* w = gWinValidate(g->windows[0])) w->dirty = 7;
    FitPageColumn(*g);
    PageColumnToTop(*g);
}

gElement* AddTabBar(gWindow* w, WindowGroup& g, float x, float y, float width) {
    gGroup* group = NewGroup(w, kTopLeft);
    if (group == nullptr) return nullptr;
    group->x = x;
    group->y = y;
    gElement* tabs = TabCtrl::Create(w, nullptr, kTabHeight, kTabWidth, kTabStyle, false, GetUIFont(w), nullptr);
    if (tabs == nullptr) return nullptr;
    tabs->color1 = tabs->color1Saved = kTabColour;
    tabs->color2 = tabs->color2Saved = kTabColour2;
    TabCtrl::SetWidth(tabs, width);
    gWgtSetHandler1(tabs, &TabSwitch, reinterpret_cast<uintptr_t>(&g));
    g.tabBar = tabs;
    return tabs;
}

// ---- Window callbacks -----------------------------------------------------------------------------

bool MainCloseRequest(gWindow* window, void* data) {
    ShellHooks& hooks = TheShellHooks();
    return hooks.mainCloseRequest != nullptr ? hooks.mainCloseRequest(window, data) : true;
}

void MainDestroyed(gWindow* window, void* data) {
    (void)data;
    TheApp().StopUI();
    CUI& cui = TheCUI();
    if (cui.mainWindow == window) cui.mainWindow = nullptr;
    if (cui.groups[0].windows[0] == window) {
        cui.groups[0].windows[0] = nullptr;
        cui.groups[0].statusWidget = nullptr;
        cui.groups[0].tabBar = nullptr;
        cui.groups[0].menuBar = nullptr;
    }
    State().maximiseButton = nullptr;
}

void ToolDestroyed(gWindow* window, void*) {
    TheApp().StopUI();
    for (WindowGroup& g : TheCUI().groups) {
        if (g.windows[0] != window) continue;
        g.windows[0] = nullptr;
        g.statusWidget = nullptr;
        g.tabBar = nullptr;
    }
}

// Hands a key to the data window of the group's slot 1 while it is not busy.
bool PassKeyDown(gWindow* window, gWindow* from, void* key) {
    WindowGroup* g = GroupOf(window);
    if (g == nullptr) return false;
    gWindow* data = g->windows[1];
    if (data == nullptr || gWinValidate(data) == nullptr || data->keyDownHandler == nullptr) return false;
    if ((data->state & kNoKeysMask) != 0) return false;
    data->state |= kStateInHandler;
    bool used = data->keyDownHandler(data, from, key);
    gWinAfterHandler(data);
    return used;
}

bool PassKeyUp(gWindow* window, void* key) {
    WindowGroup* g = GroupOf(window);
    if (g == nullptr) return false;
    gWindow* data = g->windows[1];
    if (data == nullptr || gWinValidate(data) == nullptr || data->keyUpHandler == nullptr) return false;
    if ((data->state & kNoKeysMask) != 0) return false;
    data->state |= kStateInHandler;
    bool used = data->keyUpHandler(data, key);
    gWinAfterHandler(data);
    return used;
}

bool IsPassedKey(gKeyCode code) {
    gKeyCode special = code & kKeySpecialMask;
    gKeyCode printable = code & kKeyPrintableMask;
    bool modified = (code & kKeyModifiers) != 0;
    switch (special) {
        case kKeyTab: case KeyF(10): case KeyF(12): case kKeyPageUp: case kKeyPageDown: case kKeyLeft:
        case kKeyUp: case kKeyRight: case kKeyDown: case kKeyInsert: case kKeyPadAdd: case kKeyPadSubtract:
            return true;
        case 0:
            break;
        default:
            return false;
    }
    if (printable >= '0' && printable <= '9') return true;
    switch (printable) {
        case 'A': case 'C': case 'E': case 'G': case 'M': case 'O': case 'P': case 'R': case 'T': case 'V':
        case 0xBB:  // "="
        case 0xBD:  // "-"
        case 0xDC:  // "\"
            return true;
        case 'B': case 'D': case 'F': case 'I': case 'Q': case 'S':
            return !modified;
        default:
            return false;
    }
}

// ---- Cursors -------------------------------------------------------------------------------------

bool ShowGroupPage(WindowGroup& g, int32_t index) {
    int gi = GroupIndex(&g);
    if (gi < 0) return false;
    State().currentTab[gi] = index;
    gWindow* w = g.windows[0];
    bool changed = false;
    // The other pages are hidden first: blocks of two pages may share groups' places.
    // Pages attached to the window but not listed in its tab bar have no place there.
    CUI* cui = g.owner != nullptr ? g.owner : &TheCUI();
    for (ListNode* n = cui->windowRecords.head; n != nullptr; n = n->next) {
        auto* record = static_cast<UIPage*>(n->item);
        if (UIPageIsLive(record) && record->id == reinterpret_cast<uintptr_t>(w) &&
            std::find(g.tabPages.begin(), g.tabPages.end(), record) == g.tabPages.end())
            changed = SetDockedPageShown(record, w, false) || changed;
    }
    for (int pass = 0; pass < 2; ++pass) {
        for (size_t i = 0; i < g.tabPages.size(); ++i) {
            UIPage* record = g.tabPages[i];
            bool show = static_cast<int32_t>(i) == index;
            if (UIPageIsLive(record) && show == (pass == 1)) changed = SetDockedPageShown(record, w, show) || changed;
        }
    }
    return changed;
}

// The right and bottom edges of what the group's pages show in its window: the blocks of
// the components they host, with the pages' title labels and tab bars. A page that hosts
// nothing yet takes no room.
bool PageColumnExtent(WindowGroup& g, float* right, float* bottom) {
    gWindow* w = g.windows[0];
    *right = *bottom = 0;
    auto takeGroup = [&](const gGroup* group) {
        if (group == nullptr || !gWgtIsLive(group) || group->shown == 0) return false;
        *right = std::max(*right, group->x + group->width + group->marginLeft + group->marginRight);
        *bottom = std::max(*bottom, group->y + group->height + group->marginTop + group->marginBottom);
        return true;
    };
    auto take = [&](const UIElement* e) {
        return UIElementIsLive(e) && e->window == w && e->slots != nullptr && takeGroup(e->group);
    };
    bool any = false;
    for (UIPage* record : g.tabPages) {
        OptionsWindow* c = UIPageIsLive(record) ? AsOptionsWindow(record->current) : nullptr;
        if (c == nullptr || !UIPageIsLive(c->ownPage)) continue;
        bool blocks = false;
        for (UIElement* e : c->ownPage->elements) blocks = take(e) || blocks;
        if (!blocks) continue;
        any = true;
        if (record->element.window == w) {
            takeGroup(record->element.group);
            takeGroup(DockedTabGroup(record));
        }
    }
    return any;
}

// The tool window's least outer width: its page column and the chart's room beside it.
int32_t ToolLeastWidth(const WindowGroup& g, int32_t frameWidth);

// The tool windows that still stand where they were put (the user has not moved them)
// go where they would be put beside the main window now.
void FollowPageColumn(WindowGroup& main) {
    gWindow* mw = main.windows[0];
    platform::Rect m{};
    if (mw == nullptr || mw->hwnd == nullptr || !platform::GetWindowRect(mw->hwnd, &m)) return;
    platform::Rect area{};
    gWorkArea(&area, mw);
    CUI& cui = TheCUI();
    for (int k = 1; k < kGroupCount; ++k) {
        gWindow* tw = gWinValidate(cui.groups[k].windows[0]);
        platform::Rect r{};
        if (tw == nullptr || tw->hwnd == nullptr || !State().toolPlaced[k] || !platform::GetWindowRect(tw->hwnd, &r))
            continue;
        if (r.left != State().toolAt[k][0] || r.top != State().toolAt[k][1]) continue;
        const ToolWindowRect place = PlaceToolWindow(m, main.sideWidth, gScreenWidth(), gScreenHeight(), area);
        const int32_t frameWidth = (r.right - r.left) - tw->clientWidth;
        const int32_t frameHeight = (r.bottom - r.top) - tw->clientHeight;
        if ((place.x == r.left && place.y == r.top && place.height == r.bottom - r.top) ||
            place.width - frameWidth <= 0 || place.height - frameHeight <= 0)
            continue;
        // A window its readouts widened keeps that width, as far as the screen allows.
        const int32_t width = std::max(place.width, std::min(r.right - r.left, gScreenWidth() - place.x));
        gWinSetMinSize(tw, std::min(ToolLeastWidth(cui.groups[k], frameWidth), width),
                       std::min(kToolMinHeight, place.height));
        pf::Point at{place.x, place.y};
        if (!gWinSetSize(tw, width - frameWidth, place.height - frameHeight, &at)) continue;
        if (platform::GetWindowRect(tw->hwnd, &r)) {
            State().toolAt[k][0] = r.left;
            State().toolAt[k][1] = r.top;
        }
    }
}

// Widens the group's page column to its widest shown block, lengthens the window (within
// the work area, and not over a tool window below it) to its lowest, and lays the
// workspace out beside the column again.
void FitPageColumn(WindowGroup& g) {
    gWindow* w = g.windows[0];
    if (w == nullptr || gWinValidate(w) == nullptr) return;
    float right = 0, bottom = 0;
    if (!PageColumnExtent(g, &right, &bottom)) return;
    bool changed = false;
    const int32_t height = static_cast<int32_t>(std::ceil(bottom)) + g.bottomMargin + kPageColumnGap;
    int32_t shownHeight = w->clientHeight;
    if (height > w->clientHeight && w->hwnd != nullptr) {
        platform::Rect outer{};
        int32_t frame = 0;
        if (platform::GetWindowRect(w->hwnd, &outer)) frame = std::max(0, (outer.bottom - outer.top) - w->clientHeight);
        // What does not fit scrolls in the column.
        const int32_t wanted = std::min(height, GroupWindowBottomLimit(g) - outer.top - frame);
        if (wanted > w->clientHeight) {
            gWinSetSize(w, w->clientWidth, wanted, nullptr);
            shownHeight = wanted;
            changed = true;
        }
    }
    const int32_t width = ColumnWidthFor(right, height > shownHeight);
    if (width > g.sideWidth) {
        g.sideWidth = width;
        changed = true;
    }
    if (changed) GroupSized(w);
    if (changed && &g == &TheCUI().groups[0]) FollowPageColumn(g);
}
// The tab identifiers hold the group in the high half and the tab's index in the low one.
const char* TabLabel(uint32_t tabId, int32_t) {
    uint32_t group = tabId >> 16, index = tabId & 0xFFFF;
    if (group >= kGroupCount) return nullptr;
    WindowGroup& g = TheCUI().groups[group];
    return index < g.tabLabels.size() ? g.tabLabels[index].c_str() : nullptr;
}

}  // namespace

// ---- Public ------------------------------------------------------------------------------------

const char* MainWindowTitle(int instanceNumber) {
    static std::string title;
    if (instanceNumber > 1) {
        char buffer[260];
        int n = std::snprintf(buffer, sizeof buffer, "%s [%d]", kProductTitle, std::min(instanceNumber, 100));
        if (n < 0) buffer[0] = '\0';
        title = buffer;
    } else {
        title = kProductTitle;
    }
    return title.c_str();
}

void LoadUICursors() {
    StartState& s = State();
    if (s.cursorsLoaded) return;
    s.cursorsLoaded = true;
    pf::Cursor fallback = gCursorGet(4);
    s.cursors[0] = fallback;
    for (size_t i = 0; i < platform::kCursorResourceCount; ++i) {
        int id = platform::kCursorResources[i];
        pf::Cursor c = pf::LoadCursor(id);
        if (c == nullptr) {
            bool cross = std::find(std::begin(kCursorFallbackToCross), std::end(kCursorFallbackToCross), id) !=
                         std::end(kCursorFallbackToCross);
            c = cross && gCursorGet(12) != nullptr ? gCursorGet(12) : fallback;
        }
        s.cursors[i + 1] = c;
    }
}

void* UICursor(int slot) {
    if (slot < 0 || static_cast<size_t>(slot) > platform::kCursorResourceCount) return nullptr;
    return State().cursors[slot];
}

TextureCapabilities ProbeTextureSupport(gWindow* window) {
    int32_t sizes[5] = {0, 0, 0, 0, 0};  // maximum, RGB8, RGBA8, RGB16, RGBA16
    bool ran = gProbeTextureSize(window, sizes);
    TextureCapabilities t;
    t.maximum = sizes[0];
    t.rgb8 = sizes[1];
    t.rgba8 = sizes[2];
    t.rgb16 = sizes[3];
    t.rgba16 = sizes[4];
    if (t.maximum <= 0) t.maximum = t.rgb8 = t.rgba8 = 1024;
    LogPrintf("# Max texture size %d.", t.maximum);
    LogPrintf("# Proxying %d x %d, level 0 texture:", t.maximum, t.maximum);
    if (ran) {
        const std::pair<const char*, int32_t> probes[] = {
            {"RGB16", t.rgb16}, {"RGBA16", t.rgba16}, {"RGB8", t.rgb8}, {"RGBA8", t.rgba8}};
        for (const auto& [name, size] : probes) {
            LogPrintf("# proxy %s allocation...", name);
            if (size > 0) {
                LogPrintf("\t [%d] succeeded.", size);
            } else {
                LogPrintf("%s", "\t failed.");
            }
        }
    }
    GLint subpixel = 0, aux = 0, read = 0, draw = 0;
    if (gWinMakeCurrent(window)) {
        glGetIntegerv(GL_SUBPIXEL_BITS, &subpixel);
        glGetIntegerv(GL_AUX_BUFFERS, &aux);
        glGetIntegerv(GL_READ_BUFFER, &read);
        glGetIntegerv(GL_DRAW_BUFFER, &draw);
    }
    LogPrintf("# Subbitmapel bits: %d", subpixel);
    LogPrintf("# Aux buffers: %d", aux);
    LogPrintf("# Read buffers: %d", read);
    LogPrintf("# Draw buffers: %d", draw);
    if (t.rgb16 > 2048 || t.rgba16 > 2048) {
        LogPrintf("%s", "# Check 16bit texture - available...");
        LogPrintf("%s", "# Select 8bit texture [default]...");
    } else if (t.rgb16 == 0 && t.rgba16 == 0) {
        LogPrintf("%s", "$ 16bit texture allocation failed, select 8bit texture...");
    } else {
        LogPrintf("%s", "# Select 8bit texture...");
    }
    gTextureLimits().rgb8 = t.rgb8;
    gTextureLimits().rgb16 = t.rgb16;
    return t;
}

bool CUIInit(CUI* cui) {
    const gUiTable* table = State().forceToolkitFailure ? nullptr : gInit();
    State().table = table;
    if (table == nullptr) {
        LogPrintf("%s", "Can't init UI...");
        return false;
    }
    gSetUiReady(true);
    InstallPageColumnWheel();
    InstallWidgetDump();
    static const float kColours[12] = {1.0f, 0.5f, 0.5f, 0.0f, 0.0f, 1.0f, 0.9f, 0.0f, 0.51f, 0.0f, 0.0f, 1.0f};
    gSetColorSet(kColours);
    if (!StartMainUI(cui)) return false;
    if (!StartUI(cui, 1)) return false;
    // The pages kept shown over the cells were opened with the main window, before the
    // windows around them stood: now they find their places.
    PlaceFloatingPagesAnew(cui);
    return true;
}

void ForceToolkitFailureForTest(bool on) { State().forceToolkitFailure = on; }

bool StartMainUI(CUI* cui) {
    if (cui == nullptr) return false;
    if (cui->mainWindow != nullptr) return true;
    WindowGroup& g = cui->groups[0];
    platform::Rect area{};
    gWorkArea(&area, nullptr);
    const platform::Rect place = PlaceMainWindow(gScreenWidth(), gScreenHeight(), area);
    const int32_t width = place.right - place.left, height = place.bottom - place.top;
    gWindow* w = width > 0 && height > 0 ? gWinCreateRec(place.left, place.top, width, height, nullptr, &g,
                                                         kMainWindowStyle)
                                         : nullptr;
    if (w == nullptr) {
        // Say why when it is the display: the one line after it says only that it failed.
        const std::string display = platform::DisplayOpenFailure();
        if (!display.empty()) LogPrintf("startMainUI(): %s", display.c_str());
        LogPrintf("%s", "startMainUI(): can`t create UI Grp");
        return false;
    }
    cui->mainWindow = w;
    g.windows[0] = w;
    g.owner = cui;
    LoadUICursors();
    ProbeTextureSupport(w);
    SetWindowIcon(w, platform::kProgramIcon);
    gWinSetBackdrop(w, nullptr, kBackdropColour);
    gWinSetMinSize(w, 600, 666);
    w->resizeHandler = &GroupSized;
    w->keyDownHandler = &GroupKeyDown;
    w->keyUpHandler = &GroupKeyUp;
    w->closeHandler = &MainCloseRequest;
    gWinSetDestroyHandler(w, &MainDestroyed);
    gWinSetTitle(w, MainWindowTitle(TheApp().InstanceNumber()));
    gWgtSelect(w, GetUIFont(w));
    SetGroupMargins(w, 3.0f);

    // Title-bar buttons, right to left in the top-right corner.
    if (NewGroup(w, kTopRight) == nullptr) {
        LogPrintf("%s", "startMainUI(): can`t create UI Grp");
        return false;
    }
    gGrpSetAlign(kTopRight, 1);
    gGrpSetGap(3.0f, 3.0f);
    gElement* close = AddWidget(w, 37, kTopRight, 10, 10, "x", kTitleButtonColour, &CloseClick, 0);
    gElement* maximise = AddWidget(w, 37, kTopRight, 10, 10, "\x81", kTitleButtonColour, &MaximiseClick, 0);
    gElement* minimise = AddWidget(w, 37, kTopRight, 10, 10, "_", kTitleButtonColour, &MinimiseClick, 0);
    for (auto [e, paint] : {std::pair{close, &PaintClose}, std::pair{maximise, &PaintMaximise},
                            std::pair{minimise, &PaintMinimise}}) {
        if (e != nullptr) e->paintImpl = paint;
    }
    State().maximiseButton = maximise;

    // The menu bar and, below it, "Exit".
    gGroup* menuGroup = NewGroup(w, kTopLeft);
    static MenuBar menuBar;
    menuBar = MenuBar{};
    const float menuRect[4] = {0, 0, 70.0f, 22.0f};
    gElement* bar = menuGroup != nullptr ? MenuBar::Create(w, nullptr, &menuBar, menuRect, GetUIFont(w), nullptr, 0)
                                         : nullptr;
    if (bar == nullptr) {
        LogPrintf("%s", "startMainUI(): can`t create UI Grp");
        return false;
    }
    g.menuBar = &menuBar;
    gWgtSetHandler3(bar, nullptr, [](uintptr_t record) { WindowGroupForgetWidget(reinterpret_cast<void*>(record)); },
                    reinterpret_cast<uintptr_t>(&g));
    if (TheShellHooks().buildMainMenus != nullptr) {
        TheShellHooks().buildMainMenus(cui, &menuBar);
        // The titles made the bar taller and wider than when its group placed it: the group
        // takes its full size, so that "Exit" and the pages start below the menus.
        float bounds[4];
        gGrpBounds(menuGroup, true, bounds);
    }
    gGroup* exitGroup = NewGroup(w, kTopLeft);
    gElement* exitButton = exitGroup != nullptr ? AddWidget(w, 37, kTopLeft, 68, 22, "Exit", kExitColour, &ExitClick, 0)
                                                : nullptr;
    if (exitButton == nullptr) {
        LogPrintf("%s", "startMainUI(): can`t create UI Grp");
        return false;
    }
    gWinLayoutGroups(w);
    gGrpArrangeAll(gWinSlotTable(w));
    float menuBottom = Bottom(bar), exitBottom = Bottom(exitButton), exitRight = Right(exitButton);
    g.tabArea[0][0] = exitRight;
    g.tabArea[0][1] = menuBottom;
    g.tabArea[1][0] = 0;
    g.tabArea[1][1] = exitBottom;
    g.tabArea[2][0] = exitRight;
    g.tabArea[2][1] = exitBottom + (exitBottom - menuBottom) + 20.0f;
    g.topMargin = static_cast<int32_t>(menuBottom) + 17;
    g.sideWidth = 0;

    // The tab bar of the main window's pages, then the pages.
    AddTabBar(w, g, 2.0f, g.tabArea[2][1] + 3.0f, 9.0f);
    OpenRoad& road = TheOpenRoad();
    ShellHooks& hooks = TheShellHooks();
    const struct {
        const char* title;
        PanelBuilder builder;
        uint32_t flags;
    } pages[] = {{"Source", road.getSourcePanelBuilder != nullptr ? road.getSourcePanelBuilder() : nullptr, 5},
                 {"Plug-ins", hooks.getPluginListPanelBuilder != nullptr ? hooks.getPluginListPanelBuilder() : nullptr, 4}};
    for (const auto& page : pages) {
        OptionsWindow* c = CreateOptionsWindow(cui, 3);
        if (c == nullptr) continue;
        c->title = page.title;
        CreateUIWindowWithFlags(c, kPageOptions, page.flags, 3);
        if (c->ownPage != nullptr) {
            c->ownPage->element.key = page.builder;
            c->ownPage->name = page.title;
            // The group's style, so that the component registered for this window's pages
            // (FindContainerWindow) is shown here, not in a container of its own.
            c->ownPage->flags |= (g.style | kGroupPagesBit) & kPageStyleMask;
        }
        AttachItemWindow(cui, c, reinterpret_cast<uintptr_t>(w), g.style | kGroupPagesBit);
    }

    // "LOG" under the title-bar buttons, the status line at the bottom.
    if (NewGroup(w, kTopRight) != nullptr) AddWidget(w, 37, kTopRight, 32, 17, "LOG", kLogColour, &LogClick, 0);
    AddStatusLine(w, g, 0);

    if (hooks.createWorkspaceContainer != nullptr) g.workspace = hooks.createWorkspaceContainer(cui, &g);
    RebuildGroupTabs(&g);
    const gUiTable* table = State().table;
    if (table == nullptr || !table->gWinOpen(w, MainWindowTitle(TheApp().InstanceNumber()), kStyleShown)) {
        LogPrintf("%s", "startMainUI(): can`t create UI Grp");
        return false;
    }
    // The dialogs that live over the main window are built hidden: a start pops up nothing.
    if (hooks.preferencesDialog != nullptr) hooks.preferencesDialog(w);
    if (hooks.showEditShapePanel != nullptr) hooks.showEditShapePanel(nullptr, w);
    return true;
}

bool StartUI(CUI* cui, int k) {
    if (cui == nullptr) return false;
    k = std::clamp(k, 0, 2);
    WindowGroup& g = cui->groups[k];
    if (g.windows[0] != nullptr) return true;
    int32_t sw = gScreenWidth(), sh = gScreenHeight();
    gWindow* main = cui->mainWindow;
    int32_t x, y, width, height;
    if (main == nullptr) {
        width = std::min(sw - 20, 710);
        height = std::min(sh, 494);
        x = (sw - width) / 2 > 0 ? (sw - width) / 2 : 0;
        y = 0;
    } else {
        WindowGroup* mainGroup = GroupOf(main);
        if (mainGroup == nullptr) return true;
        platform::Rect m{main->x, main->y, main->x + main->clientWidth, main->y + main->clientHeight};
        if (main->hwnd != nullptr) platform::GetWindowRect(main->hwnd, &m);
        platform::Rect area{};
        gWorkArea(&area, main);
        const ToolWindowRect place = PlaceToolWindow(m, mainGroup->sideWidth, sw, sh, area);
        x = place.x;
        y = place.y;
        width = place.width;
        height = place.height;
    }
    g.sideWidth = cui->groups[0].sideWidth > kToolSideWidth ? cui->groups[0].sideWidth : kToolSideWidth;
    gWindow* w = width > 0 && height > 0 ? gWinCreateRec(x, y, width, height, main, &g, kToolWindowStyle) : nullptr;
    if (w == nullptr) return false;
    g.windows[0] = w;
    g.owner = cui;
    LoadUICursors();
    // A window put in less room than its smallest size (below the main window) may keep it.
    gWinSetMinSize(w, std::min(ToolLeastWidth(g, width - w->clientWidth), width), std::min(kToolMinHeight, height));
    SetWindowIcon(w, platform::kProgramIcon);
    gWinSetBackdrop(w, nullptr, kBackdropColour);
    w->resizeHandler = &GroupSized;
    w->keyDownHandler = &GroupKeyDown;
    w->keyUpHandler = &GroupKeyUp;
    w->closeHandler = &ToolCloseRequest;
    gWinSetDestroyHandler(w, &ToolDestroyed);
    gWgtSelect(w, GetUIFont(w));
    SetGroupMargins(w, 3.0f);
    g.tabArea[0][0] = 0;
    g.tabArea[0][1] = 0;
    g.tabArea[1][0] = 0;
    g.tabArea[1][1] = 190.0f;
    g.tabArea[2][0] = 0;
    g.tabArea[2][1] = 400.0f;
    // A window too short for the readouts above its pages and a panel under them starts
    // its tabs at the top: the readouts then stand beside the pages.
    const float tabsY = height < kToolMinHeight ? 3.0f : g.tabArea[1][1] + 3.0f;
    if (AddTabBar(w, g, 0.0f, tabsY, static_cast<float>(g.sideWidth - 1)) == nullptr) {
        LogPrintf("%s", "startUI(): can`t init pUI pGrp");
        return false;
    }
    g.topMargin = 20;
    AddStatusLine(w, g, k);
    ShellHooks& hooks = TheShellHooks();
    if (hooks.createWorkspaceContainer != nullptr) g.workspace = hooks.createWorkspaceContainer(cui, &g);
    RebuildGroupTabs(&g);
    const char* title = k == 1 ? kChartToolsTitle : k == 2 ? kScematicToolsTitle : kProductTitle;
    const gUiTable* table = State().table;
    if (table == nullptr || !table->gWinOpen(w, title, kStyleShown)) return false;
    // Where it can only lie over the main window's lower part it is shown there all the
    // same, as on every screen: F4 (View > 'Show Window "Tools"') hides it.
    platform::Rect placed{};
    State().toolPlaced[k] = w->hwnd != nullptr && platform::GetWindowRect(w->hwnd, &placed);
    State().toolAt[k][0] = placed.left;
    State().toolAt[k][1] = placed.top;
    return true;
}

// The window records that are tabs of the group: the pages attached to its window with
// the group's style. The pages its containers host carry the same style (so that later
// registrations find them) but are no tabs. The pages built at start carry their titles;
// a container made for a component's registration has none and is a tab while its
// component lives and shows a block in the window (a display cell's never does: its
// pages live in its workspace).
static std::vector<UIPage*> GroupTabRecords(WindowGroup* g) {
    std::vector<UIPage*> out;
    CUI* cui = g->owner != nullptr ? g->owner : &TheCUI();
    gWindow* w = g->windows[0];
    uint32_t wanted = g->style | kGroupPagesBit;
    for (ListNode* n = cui->windowRecords.head; n != nullptr; n = n->next) {
        auto* record = static_cast<UIPage*>(n->item);
        if (record == nullptr || (record->flags & wanted) != wanted || record->current == nullptr ||
            record->id != reinterpret_cast<uintptr_t>(w))
            continue;
        OptionsWindow* c = AsOptionsWindow(record->current);
        UIPage* hosted = c != nullptr && UIPageIsLive(c->ownPage) ? c->ownPage : nullptr;
        if (hosted != nullptr && c->title.empty() &&
            (hosted->current == nullptr ||
             std::none_of(hosted->elements.begin(), hosted->elements.end(), [w](const UIElement* e) {
                 return UIElementIsLive(e) && e->window == w && e->slots != nullptr;
             })))
            continue;
        out.push_back(record);
    }
    return out;
}

void RebuildGroupTabs(WindowGroup* g) {
    if (g == nullptr || !IsWindowGroup(g)) return;
    int gi = GroupIndex(g);
    g->tabLabels.clear();
    g->tabPages.clear();
    gElement* tabs = g->tabBar;
    if (tabs != nullptr && gWgtIsLive(tabs)) TabCtrl::RemoveAll(tabs);
    for (UIPage* record : GroupTabRecords(g)) {
        // The container's title, else the name its component gave the page ("View").
        std::string label;
        OptionsWindow* c = AsOptionsWindow(record->current);
        if (c != nullptr) label = c->title;
        if (label.empty() && c != nullptr && UIPageIsLive(c->ownPage)) label = c->ownPage->name;
        if (label.empty() && record->current->name != nullptr) label = record->current->name;
        if (label.empty()) label = record->name;
        g->tabLabels.push_back(label.substr(0, 20));
        g->tabPages.push_back(record);
    }
    if (tabs == nullptr || !gWgtIsLive(tabs)) return;
    for (size_t i = 0; i < g->tabPages.size(); ++i) {
        TabDesc desc;
        desc.tabId = (static_cast<uint32_t>(gi) << 16) | static_cast<uint32_t>(i);
        desc.groupId = 1;
        desc.label = &TabLabel;
        TabCtrl::AddTab(tabs, &desc, false);
    }
    // The strip holds its tabs.
    float needed = static_cast<float>(g->tabPages.size()) * (kTabWidth + 1.0f) + kTabHeight + 4.0f;
    TabCtrl* t = TabCtrl::FromWidget(tabs);
    if (t != nullptr && gi == 0 && !g->tabPages.empty()) TabCtrl::SetWidth(tabs, std::max(t->visibleWidth, needed));
    int32_t current = t != nullptr && t->current != nullptr ? t->current->current : -1;
    if (current < 0 && !g->tabPages.empty()) current = 0;
    ShowGroupPage(*g, current);
    if (gWindow* w = gWinValidate(g->windows[0])) w->dirty = 7;
}

namespace {

int32_t ToolLeastWidth(const WindowGroup& g, int32_t frameWidth) {
    return std::max(kToolMinWidth, g.sideWidth + kToolChartMinWidth + frameWidth);
}

// A tool window whose column widened keeps its chart's room: narrower than that it widens
// (leftwards where the screen ends), and the user cannot size it below that again. A work
// area narrower than that gives the chart what is left of it.
void KeepChartRoom(const WindowGroup& g, gWindow* window, const platform::Rect& area) {
    platform::Rect outer{};
    if (!platform::GetWindowRect(window->hwnd, &outer)) return;
    const int32_t frameWidth = (outer.right - outer.left) - window->clientWidth;
    const int32_t right = std::min(gScreenWidth(), area.right);
    const int32_t least = std::min(ToolLeastWidth(g, frameWidth), right - area.left);
    if (outer.right - outer.left < least) {
        pf::Point at{std::max(area.left, std::min(outer.left, right - least)), outer.top};
        gWinSetSize(window, least - frameWidth, window->clientHeight, &at);
    }
    gWinSetMinSize(window, least, window->minTrackHeight);
}

}  // namespace

bool PageColumnWiden(gWindow* window, int32_t wanted) {
    if (window == nullptr || gWinValidate(window) == nullptr) return false;
    for (WindowGroup& g : TheCUI().groups) {
        if (g.windows[0] != window) continue;
        const int32_t grown = wanted - g.sideWidth;
        if (grown <= 0) return false;
        g.sideWidth = wanted;
        // The column takes its room from the workspace beside it: the window grows by as
        // much into the room on its right (never moving, so that it covers nothing it did
        // not), and the workspace keeps its size as far as that room allows.
        platform::Rect outer{};
        platform::Rect area{0, 0, gScreenWidth(), gScreenHeight()};
        gWorkArea(&area, window);
        if (window->hwnd != nullptr && platform::GetWindowRect(window->hwnd, &outer)) {
            const int32_t add = std::min(grown, std::max(0, std::min(gScreenWidth(), area.right) - outer.right));
            if (add > 0) gWinSetSize(window, window->clientWidth + add, window->clientHeight, nullptr);
            if (&g != &TheCUI().groups[0]) KeepChartRoom(g, window, area);
        }
        GroupSized(window);
        window->dirty = 7;
        return true;
    }
    return false;
}

void PageColumnFit(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return;
    for (WindowGroup& g : TheCUI().groups) {
        if (g.windows[0] != window) continue;
        float right = 0;
        for (gGroup* group : PageColumnGroups(g))
            if (group->shown != 0)
                right = std::max(right, group->x + group->width + group->marginLeft + group->marginRight);
        PageColumnWiden(window, ColumnWidthFor(right, PageColumnScrolls(g)));
        PageColumnApply(g);
        return;
    }
}

void KeepClearOfPageColumn(gWindow* window) {
    CUI& cui = TheCUI();
    gWindow* main = cui.mainWindow;
    WindowGroup& g = cui.groups[0];
    if (gWinValidate(window) == nullptr || window == main || main == nullptr || window->parent != nullptr ||
        window->owner != main || window->hwnd == nullptr || main->hwnd == nullptr || g.sideWidth <= 0 ||
        g.tabBar == nullptr || !gWgtIsLive(g.tabBar))
        return;
    platform::Point origin{0, 0};
    platform::Rect own{};
    if (!platform::ClientToScreen(main->hwnd, &origin) || !platform::GetWindowRect(window->hwnd, &own)) return;
    const platform::Rect column{origin.x, origin.y + static_cast<int32_t>(g.tabBar->y), origin.x + g.sideWidth,
                                origin.y + main->clientHeight};
    if (!RectsOverlap(own, column)) return;
    const int32_t width = own.right - own.left;
    const int32_t x = std::min(column.right + kPageColumnGap, std::max(0, gScreenWidth() - width));
    if (x > own.left) platform::SetWindowPos(window->hwnd, nullptr, x, own.top, 0, 0,
                                                platform::kSwpNoSize | platform::kSwpNoZOrder | platform::kSwpNoActivate);
}

void GroupPagesChanged(gWindow* window) {
    if (window == nullptr || gWinValidate(window) == nullptr) return;
    for (WindowGroup& g : TheCUI().groups) {
        if (g.windows[0] != window) continue;
        int gi = GroupIndex(&g);
        if (gi < 0) return;
        int32_t current = State().currentTab[gi];
        PageColumnRestore(window);
        TabCtrl* t = g.tabBar != nullptr && gWgtIsLive(g.tabBar) ? TabCtrl::FromWidget(g.tabBar) : nullptr;
        if (t != nullptr && t->current != nullptr) current = t->current->current;
        // A registered page that has just shown its first block becomes a tab.
        if (GroupTabRecords(&g) != g.tabPages) {
            RebuildGroupTabs(&g);
        } else if (ShowGroupPage(g, current)) {
            window->dirty = 7;
        }
        FitPageColumn(g);
        PageColumnApply(g);
        return;
    }
}

bool GroupPageOrigin(const gWindow* window, float* x, float* y) {
    if (window == nullptr) return false;
    for (WindowGroup& g : TheCUI().groups) {
        if (g.windows[0] != window || g.tabBar == nullptr || !gWgtIsLive(g.tabBar)) continue;
        *x = g.tabBar->x;
        *y = g.tabBar->y + g.tabBar->cellHeight + 3.0f;
        return true;
    }
    return false;
}

// ---- Window callbacks ------------------------------------------------------------------------------

bool GroupKeyDown(gWindow* window, gWindow* from, void* key) {
    if (key == nullptr) return false;
    gKeyCode code = static_cast<gKeyEvent*>(key)->code;
    gKeyCode special = code & kKeySpecialMask;
    bool alt = (code & kKeyAlt) != 0, ctrl = (code & kKeyCtrl) != 0;
    if (special == KeyF(4)) {
        if (alt) {
            ExitCommand();
            return true;
        }
        ToolWindowToggle(&TheCUI());
        SyncToolsMenuCheck();
        return true;
    }
    if ((special == kKeyEnter && alt) || ((code & kKeyPrintableMask) == ' ' && special == 0 && ctrl)) {
        return gWinBroadcastActive(window, key);
    }
    if (!IsPassedKey(code)) return false;
    return PassKeyDown(window, from, key);
}

bool GroupKeyUp(gWindow* window, void* key) {
    if (key == nullptr) return false;
    gKeyCode code = static_cast<gKeyUpRecord*>(key)->code;
    gKeyCode special = code & kKeySpecialMask;
    bool passed = (code & kKeyShift) != 0 || special == kKeyPageUp || special == kKeyPageDown ||
                  special == kKeyLeft || special == kKeyUp || special == kKeyRight || special == kKeyDown ||
                  (special == 0 && (code & kKeyPrintableMask) == ' ');
    return passed && PassKeyUp(window, key);
}

void GroupSized(gWindow* window) {
    WindowGroup* g = GroupOf(window);
    if (g == nullptr) return;
    if (g->statusWidget != nullptr && gWgtIsLive(g->statusWidget)) {
        float width = static_cast<float>(std::max(40, window->clientWidth - 28));
        g->statusWidget->width = g->statusWidget->cellWidth = width;
    }
    gWindow* data = g->windows[1];
    if (data != nullptr && gWinValidate(data) != nullptr && TheShellHooks().workspaceLayout != nullptr)
        TheShellHooks().workspaceLayout(data, g, window->clientWidth, window->clientHeight, 0);
    PageColumnApply(*g);
}

bool ToolCloseRequest(gWindow* window, void*) {
    if (window->hwnd != nullptr && platform::IsWindowEnabled(window->hwnd)) platform::EnableWindow(window->hwnd, false);
    gWinShow(window, false);
    CUI& cui = TheCUI();
    if (cui.toolsItem != nullptr) gMenuCheckItem(cui.toolsItem, false);
    PlaceFloatingPagesAnew(&cui);
    return false;
}

// ---- About ------------------------------------------------------------------------------------------

gWindow* AboutWindow() {
    gWindow* w = State().about;
    return w != nullptr && gWinValidate(w) != nullptr ? w : nullptr;
}

void ShowAboutBox() {
    if (gWindow* w = AboutWindow()) {
        gWinShow(w, true);
        return;
    }
    gWindow* main = TheCUI().mainWindow;
    int32_t x = main != nullptr ? main->x + 120 : 100, y = main != nullptr ? main->y + 120 : 100;
    gWindow* w = gWinCreateRec(x, y, 260, 110, main, nullptr, kAboutStyle);
    if (w == nullptr) return;
    State().about = w;
    gWinSetBackdrop(w, nullptr, kBackdropColour);
    gWinSetDestroyHandler(w, [](gWindow* window, void*) {
        if (State().about == window) State().about = nullptr;
    });
    // Enter and Esc close the box as its OK does.
    w->keyDownHandler = [](gWindow* window, gWindow*, void* key) {
        const gKeyCode special = key != nullptr ? static_cast<gKeyEvent*>(key)->code & kKeySpecialMask : 0;
        if (special != kKeyEnter && special != kKeyEscape) return false;
        gUiClose(window);
        return true;
    };
    gWgtSelect(w, GetUIFont(w));
    NewGroup(w, kTopLeft);
    gGrpSetMargins(kTopLeft, 16.0f, 16.0f);
    AddWidget(w, 3, kTopLeft, -1, -1, kProductTitle, 0x4000000, nullptr, 0);
    AddWidget(w, 3, kTopLeft, -1, -1, "Version 2.1.0", 0x4000000, nullptr, 0);
    NewGroup(w, kWsRight | kWsBottom);
    gGrpSetMargins(kWsRight | kWsBottom, 10.0f, 10.0f);
    AddWidget(w, 37, kWsRight | kWsBottom, 60, 20, "OK", kExitColour,
              [](gElement* e, uintptr_t) { gUiClose(e->window); }, 0);
    if (const gUiTable* table = State().table) table->gWinOpen(w, "About", kStyleShown);
}

// ---- Loop and end ---------------------------------------------------------------------------------------

void CUIMessageLoop() {
    if (const gUiTable* table = State().table) table->gMessageLoop(0);
}

int CUIShutdownToolkit() {
    State().about = nullptr;
    State().maximiseButton = nullptr;
    State().cursorsLoaded = false;
    const gUiTable* table = State().table;
    State().table = nullptr;
    gSetUiReady(false);
    return table != nullptr ? table->gShutdown() : 0;
}

void CUICloseMainWindowQuietly() {
    gWindow* w = TheCUI().mainWindow;
    if (w != nullptr && gWinValidate(w) != nullptr) gUiCloseQuiet(w);
}

bool IsMainExitControl(gWindow* window, gElement* widget) {
    gWindow* main = TheCUI().mainWindow;
    if (main == nullptr || window != main || widget == nullptr || !gWgtIsLive(widget) || widget->window != main) {
        return false;
    }
    return widget->onClick == &ExitClick || widget->onClick == &CloseClick;
}

}  // namespace orva
