// The chart's tool panel in the "Chart Tools" window of a started shell: the block and
// its labels, the range-mode names and the texts of the y fields, the fields and
// buttons pressed through their handlers, the memories with their colours, and a block
// whose page has no component.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cfloat>
#include <set>
#include <string>
#include <vector>

#include "app/chart_panel.h"
#include "app/page_rows.h"
#include "display/chart_fixture.h"
#include "shell_fixture.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

using display_test::ChartChain;
using display_test::ServicesScope;

int32_t CellBuilder(PageWindow*, void*, int32_t) { return 1; }

std::vector<double> Ramp(size_t n) {
    std::vector<double> v(n);
    for (size_t i = 0; i < n; ++i) v[i] = static_cast<double>(i);
    return v;
}

uint32_t gModifiers = 0;
std::string gStatus;

class ChartPanelTest : public testing_util::ShellTest {
protected:
    void SetUp() override { Begin(true); }
    void Begin(bool fake) {
        Start(fake);
        for (int i = 0; i < kChartMemories; ++i) ChartDefaultMemories()[i] = ChartMemory{};
        hooks_ = TheChartPanelHooks();
        chartServices_ = TheChartHostServices();
        InstallChartPanel();
        gModifiers = 0;
        gStatus.clear();
        TheGraphicsHostServices().modifiersNow = [] { return gModifiers; };
        TheChartHostServices().status = [](int32_t, int32_t, int32_t, const char* text) { gStatus = text; };
    }
    void TearDown() override {
        if (page_ != nullptr) UIPageDetachComponent(page_, nullptr);
        chain_.reset();
        TheChartPanelHooks() = hooks_;
        TheChartHostServices() = chartServices_;
        for (int i = 0; i < kChartMemories; ++i) ChartDefaultMemories()[i] = ChartMemory{};
        gMouseButtonState() = 0;
        Stop();
    }
    // A chart of 1000 samples in a cell whose page shows in "Chart Tools"; the block.
    UIElement* Build(bool pull = true) {
        chain_ = std::make_unique<ChartChain>(std::vector<std::vector<double>>{Ramp(1000)});
        if (pull) {
            EXPECT_TRUE(chain_->Pull());
        }
        chain_->cell->host.window = Main();
        chain_->cell->panelBuilder = &CellBuilder;
        page_ = CUICreateWindowRecord(&cui());
        EXPECT_TRUE(UIPageAttachComponent(page_, chain_->cell));
        EXPECT_TRUE(chain_->window->BuildToolPanel(0));
        return ChartPanelOf(chain_->window);
    }
    ChartWindow& Chart() { return *chain_->window; }
    static gElement* W(UIElement* e, uint32_t slot) { return PageSlot(e, slot); }
    static void Press(gElement* w) {
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->onClick, nullptr);
        w->onClick(w, w->handlerData);
    }
    static void Toggle(gElement* w, bool on) {
        ASSERT_NE(w, nullptr);
        w->value = on ? 1u : 0u;
        Press(w);
    }
    static void Enter(gElement* w, const char* text) {
        ASSERT_NE(w, nullptr);
        ASSERT_NE(w->onChange, nullptr);
        gWgtSetText(w, text);
        w->onChange(w, w->handlerData);
    }
    static std::string T(UIElement* e, uint32_t slot) {
        gElement* w = W(e, slot);
        return w != nullptr ? w->text : std::string("<none>");
    }

    ServicesScope services_;
    ChartPanelHooks hooks_;
    ChartHostServices chartServices_;
    std::unique_ptr<ChartChain> chain_;
    UIPage* page_ = nullptr;
};

TEST(ChartPanelTextTest, RangeNamesAndYTexts) {
    EXPECT_STREQ(ChartRangeName(0x00), "User range");
    EXPECT_STREQ(ChartRangeName(0x40), "User range");
    EXPECT_STREQ(ChartRangeName(0x10), "Chart range");
    EXPECT_STREQ(ChartRangeName(0x30), "Chart range");
    EXPECT_STREQ(ChartRangeName(0x50), "Input range");
    struct Case {
        double minimum, maximum;
        const char* range;
    } cases[] = {
        {0.0, 0.0, "1.0"},            {5.0, 5.0, "1.0"},        {0.0, 1.0 + 1e-16, "1.0"},
        {-5.0, 15.0, "20.0"},         {0.0, 0.5, "0.5"},        {0.0, 1e-320, "1.0"},
        {0.0, 0.12345678901234, "0.12345678901"}, {10.0, 2.0, "1.0"},
    };
    for (const Case& c : cases) {
        char text[64];
        ChartRangeText(c.minimum, c.maximum, text, sizeof text);
        EXPECT_STREQ(text, c.range) << c.minimum << " " << c.maximum;
    }
    char text[64];
    ChartYText(-5.0, text, sizeof text);
    EXPECT_STREQ(text, "-5.0");
    ChartYText(1e20, text, sizeof text);
    EXPECT_STREQ(text, "100000000000000000000.0");
}

TEST_F(ChartPanelTest, TheBlockIsBuiltInTheToolsWindowWithItsLabels) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->window, Tools());
    EXPECT_EQ(e->name, "Chart");
    EXPECT_EQ(ChartPanelChart(e), chain_->window);
    std::set<std::string> texts;
    for (gElement* w = Tools()->widgets.head; w != nullptr; w = w->next) texts.insert(w->text);
    for (const char* label : {"BIND SOURCES", "RESET", "CURVE", "S", "POINTS", "Width:", "Size:", "Stepwise", "Linear",
                              "Get Y", "Src Y", "Chart Y", "Auto", "RANGE Y:", "MAX/MIN:", "RANGE X:", "reset X",
                              "Memory:", "1", "2", "3", "4", "5", "6"})
        EXPECT_EQ(texts.count(label), 1u) << label;
    // Filled from the chart: the chart range [0, 999], the fit from sample 0.
    EXPECT_EQ(T(e, kChartSlotRangeName), "Chart range");
    EXPECT_EQ(T(e, kChartSlotRangeY), "999.0");
    EXPECT_EQ(T(e, kChartSlotMaxY), "999.0");
    EXPECT_EQ(T(e, kChartSlotMinY), "0.0");
    EXPECT_EQ(T(e, kChartSlotXStart), "0");
    EXPECT_EQ(T(e, kChartSlotXCount), "1000");
    EXPECT_EQ(T(e, kChartSlotWidth), "1");
    EXPECT_EQ(T(e, kChartSlotSize), "3");
    EXPECT_EQ(W(e, kChartSlotAuto)->value, 1u);
    EXPECT_EQ(W(e, kChartSlotCurve)->value, 1u);
    EXPECT_EQ(W(e, kChartSlotPoints)->value, 0u);
    // Nearest is on by default: Stepwise.
    EXPECT_EQ(W(e, kChartSlotStepwise)->value, 1u);
    EXPECT_EQ(W(e, kChartSlotLinear)->value, 0u);
    Press(W(e, kChartSlotLinear));
    EXPECT_EQ(chain_->device->style.flags & kCurveNearest, 0u);
    EXPECT_EQ(W(e, kChartSlotStepwise)->value, 0u);
    EXPECT_EQ(W(e, kChartSlotLinear)->value, 1u);
}

TEST_F(ChartPanelTest, TheYFieldsSetTheRange) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    ChartWindow& c = Chart();
    // 0 and text that is not a number change nothing and rewrite the three fields.
    for (const char* bad : {"0", "abc"}) {
        SCOPED_TRACE(bad);
        Enter(W(e, kChartSlotRangeY), bad);
        EXPECT_EQ(c.rangeMode, kChartRangeDefault);
        EXPECT_EQ(c.yMinimum, 0.0);
        EXPECT_EQ(T(e, kChartSlotRangeY), "999.0");
        EXPECT_EQ(T(e, kChartSlotMaxY), "999.0");
        EXPECT_EQ(T(e, kChartSlotMinY), "0.0");
    }
    // A width about the middle (499.5): the user range.
    Enter(W(e, kChartSlotRangeY), "-100");
    EXPECT_EQ(c.yMinimum, 449.5);
    EXPECT_EQ(c.ySpan, 100.0);
    EXPECT_EQ(T(e, kChartSlotRangeName), "User range");
    EXPECT_EQ(T(e, kChartSlotMaxY), "549.5");
    EXPECT_EQ(T(e, kChartSlotMinY), "449.5");
    EXPECT_EQ(W(e, kChartSlotAuto)->value, 0u);
    // MAX and MIN: a maximum not above the minimum becomes minimum + 1.
    Enter(W(e, kChartSlotMaxY), "600");
    EXPECT_EQ(T(e, kChartSlotRangeY), "150.5");
    Enter(W(e, kChartSlotMinY), "700");
    EXPECT_EQ(T(e, kChartSlotMinY), "599.0");
    EXPECT_EQ(T(e, kChartSlotRangeY), "1.0");
    // "Src Y" with Auto on: the mode bit and the label only.
    Toggle(W(e, kChartSlotAuto), true);
    EXPECT_EQ(T(e, kChartSlotRangeName), "Chart range");
    EXPECT_EQ(T(e, kChartSlotMinY), "0.0");
    const double userMinimum = c.userMinimum, userMaximum = c.userMaximum;
    Press(W(e, kChartSlotSrcY));
    EXPECT_EQ(c.rangeMode & (kChartRangeData | kChartRangeInput), kChartRangeData | kChartRangeInput);
    EXPECT_EQ(T(e, kChartSlotRangeName), "Input range");
    EXPECT_EQ(c.userMinimum, userMinimum);
    EXPECT_EQ(c.userMaximum, userMaximum);
    Press(W(e, kChartSlotChartY));
    EXPECT_EQ(T(e, kChartSlotRangeName), "Chart range");
    // Auto off, then "Chart Y": the chart's range once, as a user range.
    Toggle(W(e, kChartSlotAuto), false);
    Enter(W(e, kChartSlotRangeY), "10");
    Press(W(e, kChartSlotChartY));
    EXPECT_EQ(c.rangeMode & kChartRangeData, 0u);
    EXPECT_EQ(c.yMinimum, 0.0);
    EXPECT_EQ(c.ySpan, 999.0);
    EXPECT_EQ(T(e, kChartSlotRangeY), "999.0");
}

// Data that arrive after the panel was built: its range fields show the range the data
// gave the chart (0..999 of the ramp).
TEST_F(ChartPanelTest, DataThatArriveLaterShowTheirRange) {
    UIElement* e = Build(false);
    ASSERT_NE(e, nullptr);
    ASSERT_TRUE(chain_->Pull());
    EXPECT_EQ(T(e, kChartSlotRangeY), "999.0");
    EXPECT_EQ(T(e, kChartSlotMaxY), "999.0");
    EXPECT_EQ(T(e, kChartSlotMinY), "0.0");
}

TEST_F(ChartPanelTest, StyleFieldsAndToggles) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    Chart1DDevice& d = *chain_->device;
    struct Case {
        uint32_t slot;
        const char* entered;
        const char* shown;
    } cases[] = {
        {kChartSlotWidth, "7", "3"}, {kChartSlotWidth, "0", "1"}, {kChartSlotWidth, "2", "2"},
        {kChartSlotSize, "4", "5"},  {kChartSlotSize, "12", "11"}, {kChartSlotSize, "0", "1"},
        {kChartSlotSize, "x", "1"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.entered);
        Enter(W(e, k.slot), k.entered);
        EXPECT_EQ(T(e, k.slot), k.shown);
    }
    EXPECT_EQ(d.lineWidth, 2.0f);
    EXPECT_EQ(d.pointSize, 1.0f);
    Toggle(W(e, kChartSlotPoints), true);
    EXPECT_NE(d.style.flags & kCurvePoints, 0u);
    Toggle(W(e, kChartSlotCurve), false);
    Toggle(W(e, kChartSlotPoints), false);
    EXPECT_EQ(d.stop[kDeviceHiddenByte], 1);  // neither: hidden
    Toggle(W(e, kChartSlotCurve), true);
    EXPECT_EQ(d.stop[kDeviceHiddenByte], 0);
    Press(W(e, kChartSlotCurveOn));
    EXPECT_NE(d.style.flags & kCurveSmoothLines, 0u);
    EXPECT_EQ(W(e, kChartSlotCurveOn)->value, 1u);
}

TEST_F(ChartPanelTest, XFieldsAndResetXRedrawAtOnce) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    ChartWindow& c = Chart();
    Enter(W(e, kChartSlotXCount), "100");
    EXPECT_EQ(c.zoomMode, 1);
    EXPECT_DOUBLE_EQ(c.pixelsPerSample, 1.8);
    EXPECT_EQ(T(e, kChartSlotXCount), "100");
    Enter(W(e, kChartSlotXStart), "300");
    EXPECT_EQ(c.scroll, 300);
    Enter(W(e, kChartSlotXStart), "4000000000");
    EXPECT_EQ(c.scroll, 900);
    EXPECT_EQ(T(e, kChartSlotXStart), "900");
    Enter(W(e, kChartSlotXStart), "-");
    EXPECT_EQ(T(e, kChartSlotXStart), "900");
    const int swaps = Fake().swaps;
    Press(W(e, kChartSlotResetX));
    EXPECT_EQ(c.zoomMode, 0);
    EXPECT_EQ(c.scroll, 0);
    EXPECT_EQ(T(e, kChartSlotXStart), "0");
    EXPECT_EQ(T(e, kChartSlotXCount), "1000");
    EXPECT_GT(Fake().swaps, swaps);
}

TEST_F(ChartPanelTest, MemoryButtonsStoreRecallAndClear) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    ChartWindow& c = Chart();
    gElement* one = W(e, kChartSlotMemory);
    gElement* six = W(e, kChartSlotMemory + 5);
    ASSERT_NE(six, nullptr);
    EXPECT_EQ(six->text, "6");
    Enter(W(e, kChartSlotXCount), "100");
    Enter(W(e, kChartSlotXStart), "300");
    gModifiers = kKeyShiftL;
    gMouseButtonState() = 1;
    Press(one);
    EXPECT_EQ(one->color1, kChartMemoryStored);
    gModifiers = 0;
    Press(W(e, kChartSlotResetX));
    Press(one);
    EXPECT_EQ(c.scroll, 300);
    EXPECT_EQ(T(e, kChartSlotXStart), "300");
    EXPECT_EQ(T(e, kChartSlotXCount), "100");
    // An empty memory: the status text, the chart as it is.
    Press(six);
    EXPECT_EQ(gStatus, kChartMemoryEmptyText);
    EXPECT_EQ(c.scroll, 300);
    // A right-button press clears.
    gMouseButtonState() = 5;
    Press(one);
    EXPECT_EQ(one->color1, kChartMemoryEmpty);
    EXPECT_EQ(c.Memory(0).end, 0);
}

// The same on the X server: the block in the real "Chart Tools" window, and "reset X"
// paints the chart's window at once.
class ChartPanelXTest : public ChartPanelTest {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
        Begin(false);
    }
};

TEST_F(ChartPanelXTest, ResetXPaintsTheChartAtOnce) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    ASSERT_EQ(e->window, Tools());
    EXPECT_EQ(T(e, kChartSlotXCount), "1000");
    Enter(W(e, kChartSlotXCount), "50");
    EXPECT_EQ(Chart().visible, 50);
    Main()->dirty = 7;
    Press(W(e, kChartSlotResetX));
    EXPECT_EQ(Chart().zoomMode, 0);
    EXPECT_EQ(T(e, kChartSlotXCount), "1000");
    EXPECT_EQ(Main()->dirty, 0u);
}

TEST_F(ChartPanelTest, WithoutAComponentTheFieldsShowTheirEmptyValues) {
    UIElement* e = Build();
    ASSERT_NE(e, nullptr);
    UIPageDetachComponent(page_, chain_->cell);
    EXPECT_EQ(ChartPanelChart(e), nullptr);
    Toggle(W(e, kChartSlotBind), true);
    EXPECT_EQ(W(e, kChartSlotBind)->value, 0u);
    EXPECT_EQ(T(e, kChartSlotXStart), "0");
    EXPECT_EQ(T(e, kChartSlotXCount), "0");
    EXPECT_EQ(T(e, kChartSlotRangeY), "1.0");
    EXPECT_EQ(T(e, kChartSlotMaxY), "1.0");
    EXPECT_EQ(T(e, kChartSlotMinY), "1.0");
    // Greyed once; a chart back on the page clears it.
    ChartPanelRefresh(e, true);
    EXPECT_EQ(W(e, kChartSlotReset)->enabled, 0);
    ASSERT_TRUE(UIPageAttachComponent(page_, chain_->cell));
    ChartPanelRefresh(e, false);
    EXPECT_EQ(W(e, kChartSlotReset)->enabled, 1);
    EXPECT_EQ(T(e, kChartSlotXCount), "1000");
}

// Opening a spectrum gives two chart cells (the main window's and the Reduction's), and
// both build their block into the one "Chart Tools" window: only one block may show
// there, the current cell's, and its controls act on that cell's chart.
TEST_F(ChartPanelTest, OnlyTheCurrentCellsBlockShowsInTheToolsWindow) {
    UIElement* first = Build();
    ASSERT_NE(first, nullptr);
    ChartChain second(std::vector<std::vector<double>>{Ramp(400)});
    ASSERT_TRUE(second.Pull());
    second.cell->host.window = Main();
    second.cell->panelBuilder = &CellBuilder;
    UIPage* page = CUICreateWindowRecord(&cui());
    ASSERT_TRUE(UIPageAttachComponent(page, second.cell));
    auto shownBlocks = [&] {
        std::vector<UIElement*> shown;
        for (UIElement* e : ChartPanelsIn(Tools())) {
            EXPECT_NE(e->group, nullptr);
            bool all = true, none = true;
            for (uint32_t i = 0; i < kChartSlotCount; ++i) {
                all = all && W(e, i)->shown != 0;
                none = none && W(e, i)->shown == 0;
            }
            EXPECT_TRUE(all || none) << "a block partly shown";
            if (e->group != nullptr && e->group->shown != 0 && all) shown.push_back(e);
        }
        return shown;
    };
    // Without a current cell the block built last shows.
    ASSERT_TRUE(second.window->BuildToolPanel(0));
    UIElement* other = ChartPanelOf(second.window);
    ASSERT_NE(other, nullptr);
    EXPECT_EQ(ChartPanelsIn(Tools()).size(), 2u);
    EXPECT_EQ(shownBlocks(), std::vector<UIElement*>{other});
    // The current cell's block shows, whichever is built last; building again keeps it.
    cui().currentCell = chain_->cell;
    for (ChartWindow* w : {second.window, chain_->window, second.window}) {
        ASSERT_TRUE(w->BuildToolPanel(0));
        EXPECT_EQ(shownBlocks(), std::vector<UIElement*>{first});
    }
    // Its controls act on its own chart (1000 samples), not on the other (400).
    EXPECT_EQ(T(first, kChartSlotXCount), "1000");
    Enter(W(first, kChartSlotXCount), "100");
    EXPECT_EQ(chain_->window->visible, 100);
    EXPECT_EQ(second.window->visible, 400);
    Press(W(first, kChartSlotResetX));
    EXPECT_EQ(T(first, kChartSlotXCount), "1000");
    EXPECT_EQ(T(other, kChartSlotXCount), "400");
    // The other cell becomes the current one: its block shows instead.
    cui().currentCell = second.cell;
    ASSERT_TRUE(chain_->window->BuildToolPanel(0));
    EXPECT_EQ(shownBlocks(), std::vector<UIElement*>{other});
    cui().currentCell = nullptr;
    UIPageDetachComponent(page, nullptr);
}

}  // namespace
}  // namespace orva
