// Popup menus: building from descriptor tables (refusals, reuse, texts and row heights),
// the release of user data, and tracking under a real X server (XTest pointer and keys):
// opening from a press, arrow keys, the submenu timer, choosing, placement near the
// screen's edges and cross-thread sends while a menu is open. Skipped without $DISPLAY.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <tuple>
#include <vector>

#include "gl_test_support.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/layout.h"
#include "toolkit/menu.h"
#include "toolkit/menu_bar.h"

#include <X11/keysym.h>

namespace orva {
namespace {

using namespace testing_util;

std::vector<uint32_t> gReleased;
void CountRelease(uint32_t data) { gReleased.push_back(data); }

std::vector<uint32_t> gChosen;
uint8_t Choose(void* item, uint32_t data) {
    gChosen.push_back(data);
    (void)item;
    return 1;
}

gMenu* gOpenOnClick = nullptr;
void OpenMenu(gElement* e, uintptr_t) { gMenuPopupAt(gOpenOnClick, e, 0); }

int TestPress(gWindow*, gElement* e, int) {
    e->value = 1;
    return 0;
}

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        ASSERT_NE(gInit(), nullptr);
        saved_ = gInput();
        gInput().press = TestPress;
        gReleased.clear();
        gChosen.clear();
        window = NewFrame(40, 40, 300, 200);
        ASSERT_NE(window, nullptr);
        gWinCurrentSlot(window, 0x24000 | kWsSlotFromWindow);
        ASSERT_TRUE(gWinOpen(window, "Menus", kStyleShown));
        display = XDisplay();
        ASSERT_NE(display, nullptr);
        host = gMenuHostGet();
        ASSERT_NE(host, nullptr);
        PumpFor(200);
        FocusWindow(window);
    }
    void TearDown() override {
        if (display != nullptr) FakeButton(false);
        if (other != nullptr) XCloseDisplay(other);
        for (gMenu* m : menus) gMenuDelete(m);
        gShutdown();
        gInput() = saved_;
        gOpenOnClick = nullptr;
    }
    gMenu* NewMenu(uint32_t data = 0, gMenuReleaseFn release = nullptr) {
        gMenu* m = gMenuCreate(nullptr, nullptr, 0, data, release);
        if (m != nullptr) menus.push_back(m);
        return m;
    }
    static void Click() {
        FakeButton(true);
        FakeButton(false);
    }
    static void Key(KeySym keysym) {
        FakeKey(keysym, true);
        FakeKey(keysym, false);
        PumpFor(40);
    }
    // A click on a free spot of the window, outside any popup; waits for the menu to end.
    void ClickOutside() {
        FakeMotionIn(window, 250, 150);
        Click();
        PumpUntil([&] { return host->open == 0; }, 500);
    }
    // Whether another client could take the keyboard now (a tracking menu holds it).
    bool KeyboardFree() {
        if (other == nullptr) other = XOpenDisplay(nullptr);
        bool free = XGrabKeyboard(other, DefaultRootWindow(other), False, GrabModeAsync, GrabModeAsync,
                                  CurrentTime) == GrabSuccess;
        if (free) XUngrabKeyboard(other, CurrentTime);
        XSync(other, False);
        return free;
    }
    platform::Rect MainRect() {
        platform::Rect r;
        platform::GetWindowRect(host->mainWindow->hwnd, &r);
        return r;
    }
    std::vector<gMenu*> menus;
    gWindow* window = nullptr;
    gMenuHost* host = nullptr;
    Display* display = nullptr;
    Display* other = nullptr;
    gInputHooks saved_;
};

int32_t Round(float v) { return static_cast<int32_t>(std::lround(v)); }

// Checks a popup as the screen shows it (XGetImage of its window, not the back buffer):
// every labelled row on its background, or on shade 1 when hovered, with text pixels of
// shade 10 in its label. A failure writes a screenshot of the whole screen and names it.
void ExpectRowsOnScreen(gWindow* popup, gMenuItem* first, gMenuItem* last, const gMenuItem* hovered,
                        float rowHeight, const char* what) {
    Display* display = XDisplay();
    const int failuresBefore = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
    PumpUntil([&] { return !ReadScreen(display, platform::X11WindowOf(popup->hwnd)).pixels.empty(); }, 1000);
    PumpFor(100);  // the map's expose is served
    ScreenImage image = ReadScreen(display, platform::X11WindowOf(popup->hwnd));
    ASSERT_EQ(std::tuple(image.width, image.height), std::tuple(popup->clientWidth, popup->clientHeight)) << what;
    const Rgb background = Background(popup), highlight = Shade(popup->colours.backShades[1]),
              text = Shade(popup->colours.backShades[10]);
    const int32_t rh = Round(rowHeight);
    int rows = 0;
    for (gMenuItem* item = first; item != nullptr; item = item == last ? nullptr : item->next) {
        if (item->state == 2) continue;
        ++rows;
        const int top = 5 + item->rowBottom - rh;
        const Rgb fill = item == hovered ? highlight : background;
        EXPECT_TRUE(RgbNear(image.At(8, top + rh / 2), fill, 2)) << what << ": row " << item->label;
        int ink = 0;
        for (int y = top; y < top + rh && y < image.height; ++y) {
            for (int x = 19; x < 19 + static_cast<int>(item->labelWidth) && x < image.width; ++x) {
                ink += Near(image.At(x, y), text, 40) ? 1 : 0;
            }
        }
        EXPECT_GE(ink, 5) << what << ": text of row " << item->label;
    }
    EXPECT_GT(rows, 0) << what;
    // The root window shows the same: nothing covers the popup or hides its pixels.
    ScreenImage screen = ReadScreen(display, 0);
    platform::Point origin{0, 0};
    platform::ClientToScreen(popup->hwnd, &origin);
    int differ = 0;
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) differ += image.At(x, y) == screen.At(origin.x + x, origin.y + y) ? 0 : 1;
    }
    EXPECT_EQ(differ, 0) << what << ": pixels the screen shows otherwise";
    if (::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count() != failuresBefore) {
        std::string shot = ::testing::TempDir() + "menu_screen.ppm";
        ReadScreen(display, 0).SavePpm(shot);
        ADD_FAILURE() << what << ": the screen as it was is in " << shot;
    }
}

TEST_F(MenuTest, BuildTextsHeightsRefusalsAndReuse) {
    gMenu* menu = NewMenu();
    ASSERT_NE(menu, nullptr);
    const float rh = gFontLineHeight(host->mainFont) + 4.0f + 7.0f;
    EXPECT_FLOAT_EQ(menu->rowHeight, rh);
    std::vector<gMenuRow> many(201);
    for (auto& r : many) r.label = "x";
    EXPECT_FALSE(gMenuAddItems(menu, many.data(), 201, false, 0, nullptr));
    EXPECT_FALSE(gMenuAddItems(menu, many.data(), 0, false, 0, nullptr));
    EXPECT_EQ(std::tuple(many[0].flags & kMenuRowBuilt, menu->first), std::tuple(0u, nullptr));

    gMenuRow rows[] = {{"Open\tAlt+X", 0xC004F, Choose, 0, nullptr},
                       {"Bold", 0xC0042, Choose, kMenuRowChecked, nullptr},
                       {nullptr, 0, nullptr, 0, nullptr},
                       {"Plain", 0, Choose, kMenuRowDisabled | kMenuRowKeepHighlight, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, rows, 4, false, 5, nullptr));
    struct Expect {
        const char* label;
        const char* shortcut;
        int32_t check, state, bottom;
    };
    const int32_t r = Round(rh);
    const Expect want[] = {{"Open", "Alt+X", 0, 0, r}, {"Bold", "Ctrl+B", 1, 0, 2 * r}, {"", "", 0, 2, 2 * r + 5},
                           {"Plain", "", 0, 1, 3 * r + 5}};
    float widest = 0;
    for (int i = 0; i < 4; ++i) {
        gMenuItem* item = rows[i].item;
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(rows[i].flags & kMenuRowBuilt, kMenuRowBuilt);
        EXPECT_EQ(item->label, want[i].label) << i;
        EXPECT_EQ(item->shortcut, want[i].shortcut) << i;
        EXPECT_EQ(item->check, want[i].check) << i;
        EXPECT_EQ(item->state, want[i].state) << i;
        EXPECT_EQ(item->rowBottom, want[i].bottom) << i;
        widest = std::max(widest, item->labelWidth + item->shortcutWidth);
    }
    // The label block measures 2 wider than the row needs; the shortcut is taken whole.
    EXPECT_FLOAT_EQ(rows[0].item->labelWidth, gFontTextWidth(host->mainFont, "Open") - 2.0f);
    EXPECT_FLOAT_EQ(rows[0].item->shortcutWidth, gFontTextWidth(host->mainFont, "Alt+X"));
    EXPECT_EQ(std::tuple(rows[3].item->flags, menu->height), std::tuple(kMenuRowKeepHighlight, 3 * r + 5));
    EXPECT_EQ(menu->width, static_cast<int32_t>(std::ceil(widest)) + 12);
    // The keyed rows registered shortcuts (the tab text only changes what is shown).
    ASSERT_NE(rows[1].item->shortcutEntry, nullptr);
    EXPECT_EQ(rows[1].item->shortcutEntry->key, 0x40042u);
    EXPECT_NE(rows[0].item->shortcutEntry, nullptr);

    // A second build of the same table adds nothing.
    ASSERT_TRUE(gMenuAddItems(menu, rows, 4, false, 5, nullptr));
    int count = 0;
    for (gMenuItem* i = menu->first; i != nullptr; i = i->next) ++count;
    EXPECT_EQ(std::tuple(count, menu->height), std::tuple(4, 3 * r + 5));

    // Reset and a shorter build reuse the first items; the rest stay but are not live.
    gMenuItem* firstItem = rows[0].item;
    gMenuSetShortcut(menu);
    EXPECT_EQ(firstItem->shortcutEntry, nullptr);
    gMenuRow shorter[] = {{"One", 0, Choose, 0, nullptr}, {"Two", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, shorter, 2, false, 0, nullptr));
    EXPECT_EQ(std::tuple(shorter[0].item, menu->cursor), std::tuple(firstItem, shorter[1].item));
    EXPECT_EQ(std::tuple(shorter[1].item->check, menu->last, menu->height), std::tuple(0, rows[3].item, 2 * r));

    // States.
    EXPECT_FALSE(gMenuCheckItem(rows[2].item, true));   // not live: it was reset
    EXPECT_TRUE(gMenuSetNthItem(menu, 2, true));
    EXPECT_EQ(shorter[1].item->state, 1);
    EXPECT_FALSE(gMenuSetNthItem(menu, 3, true));
    gMenuCheckItems(shorter, 2, 1);
    EXPECT_EQ(std::tuple(shorter[0].item->check, shorter[1].item->check), std::tuple(0, 1));

    // A submenu row flagged disabled ends enabled; its children are measured with the
    // submenu font.
    gMenuRow sub[] = {{"More", 0, nullptr, kMenuRowDisabled, nullptr},
                      {"Deep", 0, Choose, 0, nullptr},
                      {"Deeper\tF2", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, sub, 3, true, 0, nullptr));
    gMenuItem* more = sub[0].item;
    EXPECT_EQ(std::tuple(more->check, more->state, more->submenuHeight), std::tuple(2, 0, 2 * r));
    EXPECT_EQ(menu->submenuHeight, 2 * r);
    EXPECT_EQ(sub[2].item->shortcut, "F2");
    EXPECT_TRUE(gMenuSelectRadio(more, 0));
    EXPECT_EQ(gMenuItemMenuId(more), 0u);
}

TEST_F(MenuTest, UserDataIsReleasedExactlyOnce) {
    gMenu* menu = NewMenu(7, CountRelease);
    ASSERT_NE(menu, nullptr);
    gMenuRow rows[] = {{"A", 0, Choose, 0, nullptr}, {nullptr, 0, nullptr, 0, nullptr}, {"B", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, rows, 3, false, 9, CountRelease));
    gMenuSetShortcut(menu);  // menu data once, each labelled item's data once
    EXPECT_EQ(gReleased, (std::vector<uint32_t>{7, 9, 9}));
    gMenuSetShortcut(menu);
    EXPECT_EQ(gReleased.size(), 3u);
    EXPECT_EQ(std::tuple(menu->release, menu->userData), std::tuple(nullptr, 0u));

    for (auto& r : rows) r.flags = 0;
    ASSERT_TRUE(gMenuAddItems(menu, rows, 3, false, 11, CountRelease));
    gReleased.clear();
    // Reattaching: the items' old data goes once; the new data is the menu's alone.
    ASSERT_TRUE(gMenuPopupAtPoint(menu, window, 20, 20, 0, false, true, 42, CountRelease));
    EXPECT_EQ(gReleased, (std::vector<uint32_t>{11, 11}));
    EXPECT_EQ(std::tuple(rows[0].item->userData, rows[0].item->release), std::tuple(42u, nullptr));
    gMenuCloseAll();
    gReleased.clear();
    menus.clear();
    gMenuDelete(menu);
    EXPECT_EQ(gReleased, (std::vector<uint32_t>{42}));
}

TEST_F(MenuTest, PressOpensKeysWrapAndChoiceRunsOnce) {
    gMenu* menu = NewMenu();
    gMenuRow rows[] = {{nullptr, 0, nullptr, 0, nullptr},
                       {"Alpha", 0, Choose, 0, nullptr},
                       {"Beta\tF9", 0, Choose, 0, nullptr},
                       {nullptr, 0, nullptr, 0, nullptr},
                       {"Gamma", 0, Choose, kMenuRowDisabled, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, rows, 5, false, 3, nullptr));
    rows[2].item->userData = 4;
    gOpenOnClick = menu;
    gElement* button = AddBox(window, 60, 30, OpenMenu);
    ASSERT_NE(button, nullptr);
    PutBox(button, 10, 10, 60, 30);
    FakeMotionIn(window, 30, 20);
    Click();
    PumpUntil([&] { return host->open != 0; });
    ASSERT_TRUE(host->open);
    EXPECT_TRUE(platform::IsWindowVisible(host->mainWindow->hwnd));
    EXPECT_EQ(platform::GetCapture(), host->mainWindow->hwnd);
    EXPECT_EQ(host->state, 1);
    XWindowAttributes attributes;
    ASSERT_TRUE(XGetWindowAttributes(display, platform::X11WindowOf(host->mainWindow->hwnd), &attributes));
    EXPECT_TRUE(attributes.override_redirect);
    // Pointer and keyboard are grabbed while the menu tracks.
    EXPECT_FALSE(KeyboardFree());
    EXPECT_EQ(XGrabPointer(other, DefaultRootWindow(other), False, ButtonPressMask, GrabModeAsync, GrabModeAsync, None,
                           None, CurrentTime),
              AlreadyGrabbed);
    platform::Rect r = MainRect();
    platform::Point anchor{68, 25};  // widget right - 2, middle
    platform::ClientToScreen(window->hwnd, &anchor);
    EXPECT_EQ(std::tuple(r.left, r.top, r.right - r.left), std::tuple(anchor.x, anchor.y, menu->width + 42));
    EXPECT_EQ(r.bottom - r.top, menu->height + 14);

    // Down runs Alpha, Beta, Gamma (disabled rows are visited) and wraps to Alpha.
    std::vector<gMenuItem*> seen;
    for (int i = 0; i < 4; ++i) {
        Key(XK_Down);
        seen.push_back(menu->hovered);
    }
    EXPECT_EQ(seen, (std::vector<gMenuItem*>{rows[1].item, rows[2].item, rows[4].item, rows[1].item}));
    Key(XK_Up);
    EXPECT_EQ(std::tuple(menu->hovered, menu->hoveredRow), std::tuple(rows[4].item, 3));
    Key(XK_Return);  // disabled: stays open
    EXPECT_TRUE(host->open);
    EXPECT_TRUE(gChosen.empty());
    Key(XK_Up);
    Key(XK_Return);
    PumpUntil([] { return !gChosen.empty(); }, 500);
    PumpFor(100);
    EXPECT_EQ(gChosen, (std::vector<uint32_t>{4}));
    EXPECT_FALSE(host->open);
    EXPECT_FALSE(platform::IsWindowVisible(host->mainWindow->hwnd));
    EXPECT_NE(platform::GetCapture(), host->mainWindow->hwnd);
    EXPECT_EQ(menu->hovered, nullptr);
    EXPECT_TRUE(KeyboardFree());

    // Alt with a key ends the menu without a choice and passes the key on.
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 20, 20, 0, false));
    EXPECT_EQ(gMenuOnKey(kKeyDown), 1);
    EXPECT_EQ(gMenuOnKey(kKeyAltL | 'F'), 0);
    EXPECT_FALSE(host->open);
    EXPECT_EQ(gChosen.size(), 1u);
    // Left with no owner to take the keyboard ends the menu (no hidden menu holds the keys).
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 20, 20, 0, false));
    EXPECT_EQ(gMenuOnKey(kKeyLeft), 1);
    EXPECT_FALSE(host->open);
    EXPECT_EQ(host->state, -1);
    // ESC closes the menu, not the window that had the focus.
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 20, 20, 0, false));
    Key(XK_Escape);
    EXPECT_FALSE(host->open);
    EXPECT_NE(gWinValidate(window), nullptr);
    EXPECT_TRUE(platform::IsWindowVisible(window->hwnd));
}

TEST_F(MenuTest, SubmenuOpensOnTheTimerAndItsChoiceRunsOnce) {
    gMenu* menu = NewMenu();
    gMenuRow top[] = {{"Plain", 0, Choose, 0, nullptr}};
    gMenuRow sub[] = {{"More", 0, nullptr, 0, nullptr}, {"Deep", 0, Choose, 0, nullptr}, {"Deeper", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, top, 1, false, 1, nullptr));
    ASSERT_TRUE(gMenuAddItems(menu, sub, 3, true, 2, nullptr));
    sub[2].item->userData = 22;
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 30, 30, 0, false));
    platform::Rect r = MainRect();
    const int32_t rh = Round(menu->rowHeight);
    // The pointer comes to rest on a row and the hover poll reads it there before the
    // move is handled: the row is entered all the same.
    XTestFakeMotionEvent(XDisplay(), -1, r.left + 30, r.top + 5 + rh / 2, CurrentTime);
    XSync(XDisplay(), False);
    gWinOnTimer(window->hwnd, kTrackTimerId);
    PumpFor(40);
    EXPECT_EQ(menu->hovered, top[0].item);
    auto start = std::chrono::steady_clock::now();
    FakeMotion(r.left + 30, r.top + 5 + rh + rh / 2);
    ASSERT_EQ(menu->hovered, sub[0].item);
    EXPECT_TRUE(host->timerRunning);
    PumpUntil([&] { return platform::IsWindowVisible(host->subWindow->hwnd); }, 1000);
    auto waited = std::chrono::steady_clock::now() - start;
    ASSERT_TRUE(platform::IsWindowVisible(host->subWindow->hwnd));
    EXPECT_GE(waited, std::chrono::milliseconds(180));
    EXPECT_EQ(host->state, 2);
    platform::Rect s;
    platform::GetWindowRect(host->subWindow->hwnd, &s);
    EXPECT_EQ(s.left, r.left + menu->width + 42 - 5);
    EXPECT_EQ(s.top, r.top + (sub[0].item->rowBottom - rh) + 14 - 6);
    // Into the submenu, onto its second row, and a press chooses it.
    FakeMotion(s.left + 30, s.top + 5 + rh + rh / 2);
    FakeMotion(s.left + 31, s.top + 5 + rh + rh / 2);
    EXPECT_EQ(std::tuple(sub[0].item->hoveredChild, menu->hoveredChildRow), std::tuple(sub[2].item, 2));
    Click();
    PumpUntil([] { return !gChosen.empty(); }, 500);
    PumpFor(100);
    EXPECT_EQ(gChosen, (std::vector<uint32_t>{22}));
    EXPECT_FALSE(host->open);
    EXPECT_FALSE(platform::IsWindowVisible(host->subWindow->hwnd));
    // The same by keys: Right opens the submenu, Left goes back, Enter chooses a child.
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 30, 30, 0, false));
    EXPECT_EQ(gMenuOnKey(kKeyDown), 1);
    EXPECT_EQ(gMenuOnKey(kKeyDown), 1);
    ASSERT_EQ(menu->hovered, sub[0].item);
    EXPECT_EQ(gMenuOnKey(kKeyRight), 1);
    EXPECT_EQ(host->state, 2);
    EXPECT_TRUE(platform::IsWindowVisible(host->subWindow->hwnd));
    EXPECT_EQ(gMenuOnKey(kKeyLeft), 1);
    EXPECT_EQ(host->state, 1);
    EXPECT_FALSE(platform::IsWindowVisible(host->subWindow->hwnd));
    EXPECT_EQ(gMenuOnKey(kKeyRight), 1);
    EXPECT_EQ(gMenuOnKey(kKeyUp), 1);  // wraps to the last child
    EXPECT_EQ(sub[0].item->hoveredChild, sub[2].item);
    EXPECT_EQ(gMenuOnKey(kKeyUp), 1);
    EXPECT_EQ(gMenuOnKey(kKeyEnter), 1);
    EXPECT_EQ(gChosen, (std::vector<uint32_t>{22, 2}));
    EXPECT_FALSE(host->open);
}

TEST_F(MenuTest, PopupsShowTheirRowsOnScreen) {
    gMenu* menu = NewMenu();
    gMenuRow top[] = {{"Alpha", 0, Choose, 0, nullptr}, {nullptr, 0, nullptr, 0, nullptr}, {"Beta\tF9", 0, Choose, 0, nullptr}};
    gMenuRow sub[] = {{"More", 0, nullptr, 0, nullptr}, {"Deep", 0, Choose, 0, nullptr}, {"Deeper", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, top, 3, false, 1, nullptr));
    ASSERT_TRUE(gMenuAddItems(menu, sub, 3, true, 2, nullptr));
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 30, 30, 0, false));
    ExpectRowsOnScreen(host->mainWindow, menu->first, menu->cursor, nullptr, menu->rowHeight, "main popup");
    // On the screen's own visual the popup shares the screen's colormap: screen readers that
    // read window by window (xwd) showed a popup with a colormap of its own as a black box.
    XWindowAttributes a;
    ASSERT_TRUE(XGetWindowAttributes(display, platform::X11WindowOf(host->mainWindow->hwnd), &a));
    if (a.visual == DefaultVisual(display, DefaultScreen(display))) {
        EXPECT_EQ(a.colormap, DefaultColormap(display, DefaultScreen(display)));
    }
    // The row under the pointer is repainted highlighted on the screen too.
    platform::Rect r = MainRect();
    const int32_t rh = Round(menu->rowHeight);
    FakeMotion(r.left + 30, r.top + 5 + top[2].item->rowBottom - rh / 2);
    ASSERT_EQ(menu->hovered, top[2].item);
    ExpectRowsOnScreen(host->mainWindow, menu->first, menu->cursor, top[2].item, menu->rowHeight, "hovered row");
    // The submenu popup, with its own rows.
    menu->hovered = sub[0].item;
    menu->hoveredRow = 3;
    ASSERT_TRUE(gMenuOpenSub());
    ExpectRowsOnScreen(host->subWindow, sub[0].item->firstChild, sub[0].item->childCursor, nullptr, menu->rowHeight,
                       "submenu popup");
    gMenuEnd(nullptr, false, false);
}

TEST_F(MenuTest, FlipsNearTheRightAndBottomEdges) {
    platform::Rect area;
    ASSERT_TRUE(gWorkArea(&area, nullptr));
    if (area.right != 1280 || area.bottom != 1024) GTEST_SKIP() << "needs a 1280x1024 screen without panels";
    gMenu* menu = NewMenu();
    gMenuRow top[] = {{"Plain", 0, Choose, 0, nullptr}};
    gMenuRow sub[] = {{"More", 0, nullptr, 0, nullptr}, {"Deep", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, top, 1, false, 0, nullptr));
    ASSERT_TRUE(gMenuAddItems(menu, sub, 2, true, 0, nullptr));
    const int32_t w = menu->width + 42, h = menu->height + 14;
    struct Case {
        int32_t x, y, anchor;
        int32_t left, topEdge;
        uint8_t flipLeft, flipUp;
    };
    const Case cases[] = {
        {100, 100, 20, 100, 100, 0, 0},
        {1270, 100, 20, 1270 - (17 + w), 100, 1, 0},
        {1270, 100, 0, 1270 - w, 100, 1, 0},
        {100, 1020, 0, 100, 1020 - h, 0, 1},
        {1280 - w - menu->submenuWidth, 1024 - h - menu->submenuHeight, 0, 1280 - w - menu->submenuWidth,
         1024 - h - menu->submenuHeight, 0, 0},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(gMenuPopupScreen(menu, nullptr, c.x, c.y, c.anchor, false));
        platform::Rect r = MainRect();
        EXPECT_EQ(r.left, c.left) << c.x << "," << c.y;
        EXPECT_EQ(r.top, c.topEdge) << c.x << "," << c.y;
        EXPECT_EQ(std::tuple(host->flipLeft, host->flipUp), std::tuple(c.flipLeft, c.flipUp));
    }
    // Flipped both ways, the submenu opens to the left of the popup and upwards.
    ASSERT_TRUE(gMenuPopupScreen(menu, nullptr, 1270, 1020, 0, false));
    platform::Rect r = MainRect();
    menu->hovered = sub[0].item;
    menu->hoveredRow = 2;
    ASSERT_TRUE(gMenuOpenSub());
    platform::Rect s;
    platform::GetWindowRect(host->subWindow->hwnd, &s);
    const int32_t sw = sub[0].item->submenuWidth + 42, sh = sub[0].item->submenuHeight + 14;
    EXPECT_EQ(std::tuple(s.left, s.top), std::tuple(r.left + 6 - sw, r.top + sub[0].item->rowBottom + 6 - sh));
    gMenuEnd(nullptr, false, false);
    EXPECT_FALSE(platform::IsWindowVisible(host->subWindow->hwnd));
}

TEST_F(MenuTest, PointerOnDisabledRowsEmptySubmenusAndPressOutside) {
    gMenu* menu = NewMenu();
    gMenuRow rows[] = {{"Off", 0, Choose, kMenuRowDisabled, nullptr},
                       {nullptr, 0, nullptr, 0, nullptr},
                       {"On", 0, Choose, 0, nullptr}};
    gMenuRow empty[] = {{"Empty", 0, nullptr, 0, nullptr}, {"Gone", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, rows, 3, false, 0, nullptr));
    ASSERT_TRUE(gMenuAddItems(menu, empty, 2, true, 0, nullptr));
    // Rebuilt from rows that are all built already: the submenu has no live children.
    ASSERT_TRUE(gMenuBuild(empty[0].item, empty + 1, 1, true, 0, nullptr));
    EXPECT_EQ(empty[0].item->state, 0);
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 20, 20, 0, false));
    platform::Rect r = MainRect();
    const int32_t rh = Round(menu->rowHeight);
    const int32_t rowY[] = {5 + rh / 2, 5 + rh + 2, 5 + rh + 5 + rh / 2, 5 + 2 * rh + 5 + rh / 2};
    // Presses on the disabled row and on the separator leave the menu open.
    for (int i : {0, 1}) {
        FakeMotion(r.left + 30, r.top + rowY[i]);
        Click();
        PumpFor(80);
        EXPECT_TRUE(host->open) << i;
    }
    EXPECT_TRUE(gChosen.empty());
    // The hovered row is painted in shade 1 of the popup, the others in its background.
    FakeMotion(r.left + 30, r.top + rowY[2]);
    ASSERT_EQ(menu->hovered, rows[2].item);
    gWindow* popup = host->mainWindow;
    PaintWindow(popup);
    EXPECT_TRUE(RgbNear(PixelAt(popup, 8, rowY[2]), Shade(popup->colours.backShades[1]), 1));
    EXPECT_TRUE(RgbNear(PixelAt(popup, 8, rowY[0]), Background(popup), 1));
    // Resting on the empty submenu disables it and opens nothing.
    FakeMotion(r.left + 30, r.top + rowY[3]);
    ASSERT_EQ(menu->hovered, empty[0].item);
    PumpUntil([&] { return empty[0].item->state == 1; }, 800);
    EXPECT_EQ(empty[0].item->state, 1);
    EXPECT_FALSE(platform::IsWindowVisible(host->subWindow->hwnd));
    // A press on the opener outside the popup ends the menu without a choice.
    ClickOutside();
    EXPECT_FALSE(host->open);
    EXPECT_TRUE(gChosen.empty());
    EXPECT_EQ(menu->hovered, nullptr);
    EXPECT_FALSE(platform::IsWindowVisible(host->mainWindow->hwnd));
}

// A menu bar in a real window: pressed by the pointer, its popup tracked by keys and by
// the pointer moving over its titles, and let go of when tracking ends in any way.
TEST_F(MenuTest, MenuBarOpensTracksAndIsLetGo) {
    gInput().press = saved_.press;  // the real press: the bar's value toggles
    ASSERT_NE(window->font, nullptr);
    const float rect[4] = {0, 0, 60, 0};
    gElement* e = MenuBar::Create(window, nullptr, nullptr, rect, window->font, nullptr, 0);
    MenuBar* bar = MenuBar::FromWidget(e);
    ASSERT_NE(bar, nullptr);
    gMenuRow file[] = {{nullptr, 0, nullptr, 0, nullptr}, {"Alpha", 0, Choose, 0, nullptr},
                       {"Beta", 0, Choose, 0, nullptr}};
    gMenuRow view[] = {{"Gamma", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(MenuBar::BuildItems(bar, "File"));
    ASSERT_TRUE(MenuBar::AddItems(bar, 0, file, 3, false, false, nullptr, 7));
    ASSERT_TRUE(MenuBar::BuildItems(bar, "View"));
    ASSERT_TRUE(MenuBar::AddItems(bar, 1, view, 1, false, false, nullptr, 8));
    e->x = e->homeX = e->placedX = 10;
    e->y = e->homeY = e->placedY = 10;
    gMenu* fileMenu = bar->titles[0]->menu;
    gMenu* viewMenu = bar->titles[1]->menu;
    const float step = bar->rowHeight + 1;
    const int x0 = static_cast<int>(e->x) + 5;
    auto rowY = [&](int row) { return static_cast<int>(e->y + 3 + step * row + step / 2); };
    // Each press a few pixels apart from the last: no double-click.
    auto pressRow = [&](int row, int dx) {
        FakeMotionIn(window, x0 + dx, rowY(row));
        Click();
        PumpUntil([&] { return host->open != 0; }, 1000);
    };
    auto expectLetGo = [&](const char* how) {
        EXPECT_FALSE(host->open) << how;
        EXPECT_EQ(host->state, -1) << how;
        EXPECT_FALSE(bar->Pressed()) << how;
        EXPECT_FALSE(platform::IsWindowVisible(host->mainWindow->hwnd)) << how;
        EXPECT_EQ(platform::GetCapture(), nullptr) << how;
        EXPECT_TRUE(KeyboardFree()) << how;
    };

    // A press opens the title's popup; Down wraps from the last row to the first row
    // that is not a separator; Enter runs the choice once and lets go of the bar.
    pressRow(0, 0);
    ASSERT_TRUE(host->open);
    EXPECT_EQ(host->current, fileMenu);
    EXPECT_TRUE(bar->Pressed());
    ExpectRowsOnScreen(host->mainWindow, fileMenu->first, fileMenu->cursor, nullptr, fileMenu->rowHeight, "menu bar popup");
    EXPECT_FALSE(KeyboardFree());
    std::vector<gMenuItem*> seen;
    for (int i = 0; i < 3; ++i) {
        Key(XK_Down);
        seen.push_back(fileMenu->hovered);
    }
    EXPECT_EQ(seen, (std::vector<gMenuItem*>{file[1].item, file[2].item, file[1].item}));
    Key(XK_Return);
    PumpUntil([] { return !gChosen.empty(); }, 500);
    EXPECT_EQ(gChosen, (std::vector<uint32_t>{7}));
    expectLetGo("enter");

    // The pointer moving onto the next title opens its menu; the bar stays pressed.
    pressRow(0, 8);
    ASSERT_TRUE(host->open);
    ASSERT_EQ(host->current, fileMenu);
    FakeMotionIn(window, x0, rowY(1));
    FakeMotionIn(window, x0 + 1, rowY(1));
    PumpUntil([&] { return host->current == viewMenu; }, 500);
    EXPECT_EQ(host->current, viewMenu);
    EXPECT_TRUE(host->open);
    EXPECT_TRUE(bar->Pressed());
    EXPECT_EQ(bar->currentRow, 1);
    // Left hands the keyboard to the bar (state 0): Up moves to the first title, Right
    // opens it, ESC lets go of everything.
    Key(XK_Left);
    EXPECT_EQ(host->state, 0);
    EXPECT_FALSE(platform::IsWindowVisible(host->mainWindow->hwnd));
    EXPECT_TRUE(bar->Pressed());
    EXPECT_FALSE(KeyboardFree());
    Key(XK_Up);
    EXPECT_EQ(bar->currentRow, 0);
    Key(XK_Right);
    EXPECT_EQ(std::tuple(host->current, host->state), std::tuple(fileMenu, 1));
    EXPECT_TRUE(platform::IsWindowVisible(host->mainWindow->hwnd));
    Key(XK_Escape);
    expectLetGo("escape");
    EXPECT_EQ(gChosen.size(), 1u);

    // A press outside ends the menu without a choice and lets go of the bar.
    pressRow(0, 16);
    ASSERT_TRUE(bar->Pressed());
    ClickOutside();
    expectLetGo("press outside");
    EXPECT_EQ(gChosen.size(), 1u);
}

std::atomic<int> gOnceRuns{0};
void OnceHook(platform::WParam w) { gOnceRuns += static_cast<int>(w); }

TEST_F(MenuTest, CrossThreadSendsRunWhileTracking) {
    gMenu* menu = NewMenu();
    gMenuRow rows[] = {{"Alpha", 0, Choose, 0, nullptr}};
    ASSERT_TRUE(gMenuAddItems(menu, rows, 1, false, 0, nullptr));
    ASSERT_TRUE(gMenuPopupScreen(menu, window, 20, 20, 0, false));
    gOnceRuns = 0;
    gOnceHookFn previous = gSetOnceHook(OnceHook);
    std::atomic<bool> returned{false};
    platform::Hwnd target = window->hwnd;
    std::thread sender([&] {
        platform::SendMessage(target, kMsgOnce, 5, 0);
        returned = true;
    });
    PumpUntil([&] { return returned.load(); }, 2000);
    sender.join();
    gSetOnceHook(previous);
    EXPECT_TRUE(returned);
    EXPECT_EQ(gOnceRuns.load(), 5);
    EXPECT_TRUE(host->open);  // the send did not disturb the menu
}

}  // namespace
}  // namespace orva
