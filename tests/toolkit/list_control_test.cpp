// The list control on a real window: filling, selection by presses, column resizing,
// text export, clipboard copies (captured, and once through the real X clipboard,
// checked with xclip); and the text buffer.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <tuple>
#include <vector>

#include "common/system.h"
#include "gl_test_support.h"
#include "platform/x11_clipboard.h"
#include "pump_support.h"
#include "toolkit/edit_field.h"
#include "toolkit/layout.h"
#include "toolkit/list_control.h"
#include "toolkit/slider.h"
#include "toolkit/text_buffer.h"

namespace orva {
namespace {

using namespace testing_util;

TEST(TextBufferTest, GrowsByItsStepAndStopsAtANul) {
    TextBuffer b(128);
    EXPECT_TRUE(b.Append("abc", 0));
    EXPECT_EQ(b.capacity, 0u);
    EXPECT_TRUE(b.Append("abc", 3));
    EXPECT_EQ(b.capacity, 128u + 3 + 1);
    EXPECT_STREQ(b.Text(), "abc");
    std::string big(200, 'x');
    EXPECT_TRUE(b.Append(big.c_str(), 200));
    EXPECT_EQ(std::tuple(b.length, b.capacity), std::tuple(203u, 128u + 203 + 1));
    EXPECT_EQ(std::string(b.Text()), "abc" + big);
    EXPECT_TRUE(b.Append("d\0ef", 4));   // the text ends at the NUL
    EXPECT_EQ(b.length, 204u);
    EXPECT_TRUE(b.Reserve(10));          // already there: unchanged
    EXPECT_EQ(b.capacity, 128u + 203 + 1);
    EXPECT_FALSE(b.Reserve(UINT32_MAX - 5));   // beyond any block: refused, text kept
    EXPECT_EQ(b.length, 204u);
    EXPECT_EQ(b.Text()[203], 'd');
}

std::string gCaptured;
int gSetCalls = 0;
bool Capture(const char* text, size_t length, void*) {
    gCaptured.assign(text, length);
    ++gSetCalls;
    return true;
}

class ListTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window = InitWithFrame(20, 20, 400, 300);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(OpenShown(window, "List"));
        static const float widths[2] = {60, 80};
        static const char* const titles[2] = {"Name", "Value"};
        ListCtrlLayout layout{
            .width = 140, .flags = kListColumnsResizable, .columnCount = 2, .columnWidths = widths, .titles = titles};
        widget = ListCtrl::Create(window, nullptr, 1, &layout, 0, false, nullptr);
        ASSERT_NE(widget, nullptr);
        list = ListCtrl::FromWidget(widget);
        ASSERT_NE(list, nullptr);
        gSetUiReady(true);
        WindowHooks hooks;
        hooks.clipboardSetText = Capture;
        SetWindowHooks(&hooks);
        gCaptured.clear();
        gSetCalls = 0;
    }
    void TearDown() override {
        SetWindowHooks(nullptr);
        gSetUiReady(false);
        gShutdown();
    }
    void Fill(std::vector<const char*> names, std::vector<const char*> values) {
        ASSERT_TRUE(ListCtrl::FillRows(list, 0, names.data(), static_cast<int32_t>(names.size())));
        ASSERT_TRUE(ListCtrl::FillRows(list, 1, values.data(), static_cast<int32_t>(values.size())));
    }
    // A press at the middle of a row and column.
    bool PressRow(int row, int column = 0) {
        float x = column == 0 ? 30.0f : 100.0f;
        return ListCtrl::PressAt(list, x, list->headerHeight + (static_cast<float>(row) + 0.5f) * list->rowHeight, 1);
    }
    gWindow* window = nullptr;
    gElement* widget = nullptr;
    ListCtrl* list = nullptr;
};

TEST_F(ListTest, FillSelectAndShrink) {
    EXPECT_GT(list->headerHeight, 0);
    EXPECT_EQ(list->titles[1].text, "Value");
    Fill({"a", "b", "c", "d"}, {"1", "2", "3", "4"});
    EXPECT_EQ(std::tuple(list->rowCount, list->visibleRows), std::tuple(4, 4));
    EXPECT_FLOAT_EQ(widget->height, list->headerHeight + 4 * list->rowHeight + 2);
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), -1);
    EXPECT_EQ(ListCtrl::GetSelectedColumn(widget), -1);
    EXPECT_TRUE(PressRow(2, 1));
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), 2);
    EXPECT_EQ(ListCtrl::GetSelectedColumn(widget), 1);
    EXPECT_EQ(list->selectedCount, 1);
    // A disabled row cannot be selected; the previous selection stays.
    list->rows[0].disabled = 1;
    EXPECT_FALSE(PressRow(0));
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), 2);
    EXPECT_EQ(list->rows[0].selected, 0);
    // Another row replaces the selection; a press in the header or below the rows does not.
    EXPECT_TRUE(PressRow(1));
    EXPECT_EQ(list->rows[2].selected, 0);
    EXPECT_FALSE(ListCtrl::PressAt(list, 30, 2, 1));
    EXPECT_FALSE(ListCtrl::PressAt(list, 30, list->headerHeight + 9 * list->rowHeight, 1));
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), 1);
    // Without the UI-ready flag the application operations do nothing and return 0.
    gSetUiReady(false);
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), 0);
    EXPECT_FALSE(ListCtrl::SetTexts(widget, 0, nullptr, 0));
    EXPECT_EQ(list->rowCount, 4);
    gSetUiReady(true);
    // Shrinking below the selected index clears the selection and keeps the first rows.
    bool changed = false;
    EXPECT_TRUE(ListCtrl::ResizeRows(list, 1, &changed));
    EXPECT_TRUE(changed);
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), -1);
    EXPECT_EQ(list->rows[0].cells[0].text, "a");
    EXPECT_TRUE(ListCtrl::ResizeRows(list, 3, &changed));
    EXPECT_TRUE(list->rows[2].cells[0].text.empty());   // emptied when it was cut off
    // ClearValuesIfSet acts only while the first row's second cell holds a text.
    EXPECT_TRUE(ListCtrl::ClearValuesIfSet(widget));
    EXPECT_TRUE(list->rows[0].cells[1].text.empty());
    EXPECT_EQ(list->rows[0].cells[0].text, "a");
    EXPECT_FALSE(ListCtrl::ClearValuesIfSet(widget));
    // A double click on the header of a collapsible list collapses it to the header.
    list->collapsible = 1;
    EXPECT_TRUE(ListCtrl::PressAt(list, 30, 2, 2));
    EXPECT_EQ(list->visibleRows, 0);
    EXPECT_FALSE(PressRow(0));
    EXPECT_TRUE(ListCtrl::PressAt(list, 30, 2, 2));
    EXPECT_EQ(list->visibleRows, 3);
    ListCtrl::ClearRows(list);
    EXPECT_EQ(list->rowCount, 0);
}

// A list lives until its widget goes with its window; a pointer kept elsewhere is then
// known dead without being read.
TEST_F(ListTest, ALivesUntilItsWindowGoes) {
    EXPECT_TRUE(ListCtrl::IsLive(list));
    EXPECT_FALSE(ListCtrl::IsLive(nullptr));
    gUiCloseQuiet(window);
    testing_util::PumpUntil([&] { return !ListCtrl::IsLive(list); });
    EXPECT_FALSE(ListCtrl::IsLive(list));
    EXPECT_EQ(ListCtrl::FromWidget(widget), nullptr);
}

TEST_F(ListTest, ManyTextsAreCappedAndScrolled) {
    std::vector<std::string> storage(300000);
    std::vector<const char*> texts(storage.size());
    for (size_t i = 0; i < storage.size(); ++i) {
        storage[i] = std::to_string(i);
        texts[i] = storage[i].c_str();
    }
    ASSERT_TRUE(ListCtrl::SetTexts(widget, 5, texts.data(), 300000));   // column clamped to the last
    EXPECT_EQ(list->rowCount, 262144);
    EXPECT_EQ(list->rows[262143].cells[1].text, "262143");
    EXPECT_TRUE(list->rows[5].cells[0].text.empty());
    EXPECT_GE(list->visibleRows, 1);
    EXPECT_LT(list->visibleRows, 262144);
    ListCtrl::ScrollTo(list, 1.0f);
    EXPECT_EQ(list->firstVisible, 262144 - list->visibleRows);
    EXPECT_EQ(list->lastShown, &list->rows[262143]);
    ListCtrl::ScrollTo(list, 0.5f);
    EXPECT_EQ(list->firstVisible, (262144 - list->visibleRows) / 2);
    // A press selects the row under it among the shown ones.
    EXPECT_TRUE(PressRow(1));
    EXPECT_EQ(ListCtrl::GetSelectedIndex(widget), list->firstVisible + 1);
}

TEST_F(ListTest, ColumnBordersResizeWithinTheMinimum) {
    Fill({"alpha"}, {"1"});
    EXPECT_FALSE(ListCtrl::DragColumn(list, 5));          // no border taken yet
    ListCtrl::PressAt(list, 62, 3, 1);                    // 2 pixels right of the border at 60
    ASSERT_EQ(list->resizingColumn, 0);
    EXPECT_TRUE(ListCtrl::DragColumn(list, 15));
    EXPECT_EQ(std::tuple(list->columnWidths[0], list->columnWidths[1]), std::tuple(75, 65));
    EXPECT_FLOAT_EQ(list->rows[0].cells[1].x, 75);
    EXPECT_TRUE(ListCtrl::DragColumn(list, -1000));      // stops at the minimum
    EXPECT_GE(list->columnWidths[0], 8);
    EXPECT_FLOAT_EQ(list->columnWidths[0] + list->columnWidths[1], 140);
    PressRow(0);                                          // a new press ends the resize
    EXPECT_EQ(list->resizingColumn, -1);
}

TEST_F(ListTest, FormatColumnsPadsAndSeparates) {
    Fill({"ab", "", "c"}, {"1", "2", "33"});
    char out[64];
    EXPECT_EQ(ListCtrl::FormatColumns(list, out, sizeof out, 1, '|', 4), 21);
    EXPECT_STREQ(out, "ab   | 1\r\nc    | 33\r\n");
    EXPECT_EQ(ListCtrl::FormatColumns(list, out, sizeof out, 0, 0, 0), 10);
    EXPECT_STREQ(out, "ab1\r\nc33\r\n");
    EXPECT_EQ(ListCtrl::FormatColumns(list, out, 4, 0, 0, 0), 3);   // cut at the last byte that fits
    EXPECT_STREQ(out, "ab1");
    EXPECT_EQ(ListCtrl::FormatColumns(list, out, 1, 0, 0, 0), 0);
}

TEST_F(ListTest, CopyLinesWithAndWithoutNames) {
    Fill({"mean", "rms", "max"}, {"1.5", "", "7"});
    EXPECT_TRUE(ListCtrl::CopyToClipboard(list, 1, 0, true, false));
    EXPECT_EQ(gCaptured, "mean :  1.5\r\nmax :  7\r\n");   // the empty value is skipped
    EXPECT_TRUE(ListCtrl::CopyToClipboard(list, 1, -1, true, false));
    EXPECT_EQ(gCaptured, "1.5\r\n7\r\n");
    // Only the selected row; nothing when none is selected.
    EXPECT_FALSE(ListCtrl::CopyToClipboard(list, 1, 0, true, true));
    PressRow(2);
    EXPECT_TRUE(ListCtrl::CopyToClipboard(list, 1, 0, true, true));
    EXPECT_EQ(gCaptured, "max :  7\r\n");
    // A value column outside the columns, or only empty values: clipboard untouched.
    int calls = gSetCalls;
    EXPECT_FALSE(ListCtrl::CopyToClipboard(list, 2, 0, true, false));
    Fill({"x"}, {""});
    EXPECT_FALSE(ListCtrl::CopyToClipboard(list, 1, 0, true, false));
    EXPECT_EQ(gSetCalls, calls);
    // One row with names not asked for: the value alone.
    Fill({"x"}, {"42"});
    EXPECT_TRUE(ListCtrl::CopyToClipboard(list, 1, 0, false, false));
    EXPECT_EQ(gCaptured, "42\r\n");
    // A hidden window takes no copy.
    window->state |= kStateHidden;
    EXPECT_FALSE(ListCtrl::CopyToClipboard(list, 1, 0, true, false));
    window->state &= ~kStateHidden;
}

TEST_F(ListTest, CopyReachesTheXClipboard) {
    if (platform::X11Display() == nullptr) GTEST_SKIP() << "no X display";
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip missing";
    WindowHooks hooks;
    gClipboardFillHooks(&hooks);
    SetWindowHooks(&hooks);
    Fill({"min", "max"}, {"-3", "9.25"});
    ASSERT_TRUE(ListCtrl::CopyToClipboard(list, 1, 0, true, false));
    EXPECT_EQ(RunPumping("xclip -o -selection clipboard"), "min :  -3\r\nmax :  9.25\r\n");
}

TEST_F(ListTest, VerticalBarFollowsAndScrollsTheRows) {
    static const float width = 80;
    ListCtrlLayout layout{.width = 80, .height = 100, .flags = kListVerticalBar, .columnWidths = &width};
    gElement* w = ListCtrl::Create(window, nullptr, 0, &layout, 0, false, nullptr);
    ASSERT_NE(w, nullptr);
    ListCtrl* l = ListCtrl::FromWidget(w);
    ASSERT_NE(l->verticalBar, nullptr);
    EXPECT_EQ(l->horizontalBar, nullptr);
    EXPECT_EQ(l->headerHeight, 0);   // kind 0 has no header band
    std::vector<const char*> texts(50, "r");
    ASSERT_TRUE(ListCtrl::FillRows(l, 0, texts.data(), 50));
    const int expected = static_cast<int>(100 / l->rowHeight);
    EXPECT_EQ(l->visibleRows, expected);
    ScrollSlider* bar = ScrollSliderFromWidget(l->verticalBar);
    ASSERT_NE(bar, nullptr);
    EXPECT_NEAR(bar->rawShare, static_cast<float>(expected) / 50.0f, 1e-4);
    // The bar's callback moves the first shown row (truncated, clamped).
    bar->callback(bar->userData, 1.0f);
    EXPECT_EQ(l->firstVisible, 50 - expected);
    bar->callback(bar->userData, 0.5f);
    EXPECT_EQ(l->firstVisible, (50 - expected) / 2);
    // Shrinking keeps the last page full.
    ASSERT_TRUE(ListCtrl::ResizeRows(l, expected + 2, nullptr));
    EXPECT_EQ(l->firstVisible, 2);
    // A press in a list without a header selects among the shown rows from the top.
    EXPECT_TRUE(ListCtrl::PressAt(l, 10, 0.5f * l->rowHeight, 1));
    EXPECT_EQ(ListCtrl::GetSelectedIndex(w), 2);
}

// The window pixel at a point of a top-left widget, read from the back buffer.
void ExpectPixel(gWindow* window, float x, float y, Rgb want, const char* what) {
    EXPECT_TRUE(RgbNear(PixelAt(window, static_cast<int>(x), static_cast<int>(y)), want)) << what;
}

TEST_F(ListTest, PaintsTheStylesInTheirColours) {
    // First styles, collapsed: the band in B(3), its bevel in B(1), the triangle in B(10).
    list->collapsed = 1;
    ListCtrl::LayoutRows(list);
    gWinRefreshAll();
    DispatchQueued();
    PaintWindow(window);
    const auto& b = window->colours.backShades;
    ExpectPixel(window, widget->x + 20, widget->y + 4, Shade(b[3]), "band B(3)");
    ExpectPixel(window, widget->x + 20, widget->y, Shade(b[1]), "bevel B(1)");
    ExpectPixel(window, widget->x + 70, widget->y + 3, Shade(b[10]), "triangle B(10)");

    // The third style in its fixed colours.
    gWgtRemove(widget, true);   // frees the list with its widget
    EXPECT_EQ(ListCtrl::FromWidget(widget), nullptr);
    ListCtrlLayout layout{.width = 100, .columnCount = 1};
    gElement* third = ListCtrl::Create(window, nullptr, 2, &layout, 0, false, nullptr);
    ASSERT_NE(third, nullptr);
    ListCtrl* l = ListCtrl::FromWidget(third);
    const char* texts[3] = {"one", "two", "three"};
    ASSERT_TRUE(ListCtrl::FillRows(l, 0, texts, 3));
    ASSERT_TRUE(ListCtrl::PressAt(l, 50, l->headerHeight + 1.5f * l->rowHeight, 1));
    gWinRefreshAll();
    DispatchQueued();
    PaintWindow(window);
    const float x = third->x, y = third->y;
    ExpectPixel(window, x + 90, y + 1, {242, 247, 255}, "header band");
    ExpectPixel(window, x + 90, y + 2, {179, 184, 191}, "band line");
    ExpectPixel(window, x + 90, y + l->headerHeight + 0.5f * l->rowHeight, {230, 235, 242}, "body");
    ExpectPixel(window, x + 90, y + l->headerHeight + 1.5f * l->rowHeight, {230, 0, 0}, "selected row");
    // Collapsed: only the band, with the triangle at its centre.
    l->collapsed = 1;
    ListCtrl::LayoutRows(l);
    gWinPaint(window);
    ExpectPixel(window, x + 50, y + 5, {128, 133, 140}, "triangle");
    ExpectPixel(window, x + 20, y + 6, {242, 247, 255}, "band beside the triangle");
}

}  // namespace
}  // namespace orva
