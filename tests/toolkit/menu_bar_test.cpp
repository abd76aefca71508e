// The menu bar on the recording backend, with the popup-menu services replaced by
// recorders: titles and their widths, title indexes, rows from the pointer, presses,
// direct commands and keys.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "platform/fake_backend.h"
#include "toolkit/font.h"
#include "toolkit/menu_bar.h"

namespace orva {
namespace {

struct Recorder {
    std::vector<std::string> calls;
    std::vector<gMenu*> menus;
} rec;

gMenu* FakeCreate(gElement*, gMenuEventFn, uint32_t colour, uint32_t, gMenuReleaseFn) {
    rec.calls.push_back("create " + std::to_string(colour));
    rec.menus.push_back(new gMenu);
    return rec.menus.back();
}
bool FakeAdd(gMenu* menu, gMenuRow* rows, int32_t count, bool, uint32_t userData, gMenuReleaseFn) {
    rec.calls.push_back("add " + std::to_string(count) + " " + std::to_string(userData));
    static gMenuItem item;
    menu->first = menu->cursor = &item;
    for (int32_t i = 0; i < count; ++i) rows[i].flags |= kMenuRowBuilt;
    return true;
}
bool FakePopup(gMenu*, gWindow*, int32_t x, int32_t y, int32_t anchor, bool) {
    rec.calls.push_back("popup " + std::to_string(x) + "," + std::to_string(y) + " " + std::to_string(anchor));
    return true;
}
bool FakeCloseAll() {
    rec.calls.push_back("close");
    return true;
}
void FakeEnd(pf::Hwnd, bool, bool) { rec.calls.push_back("end"); }
void FakeDestroy(gMenu* menu) { delete menu; }

int gCommands = 0;
void Command(gElement*, uintptr_t data) { gCommands += static_cast<int>(data); }
uint32_t gBeforeOpen = 0;
void BeforeOpen(gMenuRow*, uint32_t data) { gBeforeOpen = data; }

class MenuBarTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        saved_ = gMenuBarOps();
        gMenuBarOps() = MenuBarMenuOps{.create = FakeCreate, .addItems = FakeAdd, .popup = FakePopup,
                                       .closeAll = FakeCloseAll, .end = FakeEnd, .takeCapture = nullptr,
                                       .destroy = FakeDestroy, .host = nullptr};
        rec = Recorder{};
        gCommands = 0;
        gBeforeOpen = 0;
        window = gWinCreateRec(10, 10, 300, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
        // A font of 6-pixel characters, 9 above and 2 below the baseline.
        font = new gFont{
            .refCount = 1, .source = kFontSourceShared, .listType = kListTypeBitmap, .descent = 2, .ascent = 9};
        for (auto& g : font->glyphs) g.advance = 6;
    }
    void TearDown() override {
        gShutdown();
        gFontRelease(font);
        gMenuBarOps() = saved_;
    }
    platform::ScopedFakeBackend fake;
    gWindow* window = nullptr;
    gFont* font = nullptr;
    MenuBarMenuOps saved_;
};

TEST_F(MenuBarTest, TitlesIndexesAndTables) {
    gElement* e = MenuBar::Create(window, nullptr, nullptr, nullptr, font, nullptr, 0);
    ASSERT_NE(e, nullptr);
    MenuBar* bar = MenuBar::FromWidget(e);
    ASSERT_NE(bar, nullptr);
    EXPECT_EQ(bar->rowHeight, 15.0f);  // 9 + 2 + 4
    EXPECT_EQ(bar->width, 10.0f);
    float h0 = e->height;
    ASSERT_TRUE(MenuBar::BuildItems(bar, "Open/Save"));
    EXPECT_FLOAT_EQ(bar->width, 54.0f);
    ASSERT_TRUE(MenuBar::BuildItems(bar, "Edit\tCtrl+E"));  // 24 + 10 gap + 36 + 2
    EXPECT_EQ(std::tuple(bar->width, bar->titles[1]->rightX), std::tuple(72.0f, 72.0f - 36 - 4));
    ASSERT_TRUE(MenuBar::BuildItems(bar, "View"));
    EXPECT_FLOAT_EQ(e->height, h0 + 3 * 16);
    EXPECT_EQ(bar->titles[1]->label, "Edit");
    EXPECT_EQ(bar->titles[1]->right, "Ctrl+E");

    gMenuRow rows[2] = {{"One", 0, nullptr, 0, nullptr}, {"Two", 0, nullptr, 0, nullptr}};
    EXPECT_TRUE(MenuBar::AddItems(bar, 0, rows, 2, false, true, BeforeOpen, 11));
    EXPECT_EQ(bar->currentTitle, bar->titles[0].get());
    EXPECT_EQ(rows[0].flags, kMenuRowBuilt);  // the built copy's flags come back
    EXPECT_NE(bar->titles[0]->tables[0]->rows, rows);
    EXPECT_TRUE(MenuBar::AddItems(bar, -1, rows, 1, false, false, nullptr, 12));  // the title last added to
    EXPECT_EQ(bar->titles[0]->tables.size(), 2u);
    EXPECT_TRUE(MenuBar::AddItems(bar, 99, rows, 1, false, false, nullptr, 13));  // beyond the count: the last
    EXPECT_EQ(bar->titles[2]->tables.size(), 1u);
    EXPECT_TRUE(MenuBar::ItemAt(bar, 0, 12));
    EXPECT_FALSE(MenuBar::ItemAt(bar, 1, 12));
    EXPECT_TRUE(MenuBar::ItemAt(bar, 2, 13));
    EXPECT_EQ(rec.calls[0], "create " + std::to_string(kMenuBarPopupColour));
    EXPECT_EQ(rec.calls[1], "add 2 11");

    // Rows from the pointer: (y - top - 3) / 16, clamped.
    EXPECT_EQ(bar->RowFromY(e->y - 50), 0);
    EXPECT_EQ(bar->RowFromY(e->y + 3 + 16 + 0.5f), 1);
    EXPECT_EQ(bar->RowFromY(e->y + 1000), 2);
    EXPECT_FALSE(bar->Hover(e->y + 4));
    EXPECT_TRUE(bar->Hover(e->y + 40));

    // A press opens the row's menu at the bar's right edge less 10.
    rec.calls.clear();
    e->value = 1;  // the press toggled the bar on
    bar->Press(e->y + 4);
    EXPECT_TRUE(bar->Pressed());
    EXPECT_EQ(gBeforeOpen, 11u);
    ASSERT_FALSE(rec.calls.empty());
    EXPECT_EQ(rec.calls.back(), "popup " + std::to_string(static_cast<int>(e->x) + 62) + "," +
                                    std::to_string(static_cast<int>(e->y)) + " 57");
    // Keys: Up on the first row selects the last, ESC lets go of the bar.
    EXPECT_EQ(bar->OnKey(kKeyUp), 2);
    EXPECT_EQ(bar->currentRow, 2);
    EXPECT_EQ(bar->OnKey(kKeyDown), 2);
    EXPECT_EQ(bar->currentRow, 0);
    EXPECT_EQ(bar->OnKey(kKeyLeft), 1);
    EXPECT_EQ(bar->OnKey('A'), 0);
    rec.calls.clear();
    EXPECT_EQ(bar->OnKey(kKeyEscape), 2);
    EXPECT_FALSE(bar->Pressed());
    EXPECT_EQ(rec.calls, (std::vector<std::string>{"end", "close"}));  // tracking ends
    EXPECT_EQ(bar->OnKey(kKeyUp), 0);  // only while pressed

    // A title with a direct command runs it and opens no menu.
    e->handlerData = 5;
    ASSERT_TRUE(MenuBar::SetItemData(bar, 1, Command));
    rec.calls.clear();
    e->value = 1;
    bar->Press(e->y + 3 + 16 + 1);
    EXPECT_EQ(gCommands, 5);
    EXPECT_FALSE(bar->Pressed());
    for (const std::string& c : rec.calls) EXPECT_EQ(c.find("popup"), std::string::npos) << c;
    EXPECT_EQ(MenuBar::FromWidget(nullptr), nullptr);
    EXPECT_FALSE(MenuBar::SetItemData(nullptr, 0, Command));
}

TEST_F(MenuBarTest, RefusalsAndTheTitleLimit) {
    MenuBar own;
    gElement* e = MenuBar::Create(window, nullptr, &own, nullptr, nullptr, nullptr, 1);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(own.rowHeight, 16.0f);
    EXPECT_FALSE(MenuBar::BuildItems(&own, "No font"));
    gMenuRow row{"x", 0, nullptr, 0, nullptr};
    EXPECT_FALSE(MenuBar::AddItems(&own, 0, &row, 1, false, false, nullptr, 0));
    gElement* f = MenuBar::Create(window, nullptr, nullptr, nullptr, font, nullptr, 0);
    MenuBar* bar = MenuBar::FromWidget(f);
    ASSERT_NE(bar, nullptr);
    // Adding to a bar without titles makes an empty one first.
    EXPECT_TRUE(MenuBar::AddItems(bar, 3, &row, 1, false, false, nullptr, 1));
    EXPECT_EQ(bar->titles.size(), 1u);
    for (int i = 1; i < kMenuBarMaxTitles; ++i) ASSERT_TRUE(MenuBar::BuildItems(bar, "T"));
    EXPECT_FALSE(MenuBar::BuildItems(bar, "T"));  // the 201st title
    gWgtRemove(e, true);
    EXPECT_EQ(own.widget, nullptr);  // the caller's record is not freed, only emptied
}

}  // namespace
}  // namespace orva
