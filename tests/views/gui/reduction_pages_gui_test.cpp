// The Reduction's "SLICE / STATISTIC" and "Extraction/Statistic" pages on the X server:
// a Reduction behind an upstream stage of one or three channels, shown by a device that
// counts the re-runs, its pages built in the main window; the controls pressed and typed
// into, the menus' entries chosen (the mask savers replaced by recording doubles), and
// the options, texts, files and enabled states read back.
#include <gtest/gtest.h>

#include <cfloat>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "../../reduction/statistic_fixture.h"
#include "../../app/shell_fixture.h"
#include "../../reduction/reduction_test_support.h"
#include "../../toolkit/gl_test_support.h"
#include "app/file_dialog.h"
#include "app/ui_elements.h"
#include "common/clib.h"
#include "framework/app_object.h"
#include "platform/message_box.h"
#include "reduction/reduction_component.h"
#include "toolkit/edit_field.h"
#include "toolkit/menu.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"
#include "views/extraction_page.h"
#include "views/slice_page.h"
#include "shapes/ui/shape_panel.h"
#include "reduction/statistic_tables.h"
#include "test_support.h"

namespace orva {
namespace {

using reduction_testing::Measured;
using reduction_testing::TestUi;
using reduction_testing::UpstreamStage;

int gAsked = 0;
std::string gQuestion;
int AnswerNo(void*, const char* text, const char*, uint32_t) {
    ++gAsked;
    gQuestion = text != nullptr ? text : "";
    return platform::kIdNo;
}

// Counts the re-runs of the component it shows.
class CountingDevice : public DeviceViewBase {
public:
    CountingDevice() : DeviceViewBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kDevice1DId; }
    void RefreshFromUpstream() override { ++pulls; }
    int pulls = 0;
};

class SlicePageTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        TheApp().Properties().Clear();
        ResetCommonChangeQuestion();
        saved_ = TheReductionServices();
        savedPages_ = TheExtractionPageHooks();
        savedComponent_ = TheComponentServices();
        gAsked = 0;
        gQuestion.clear();
        InstallReductionPages();
        Start(false);
    }
    void TearDown() override {
        if (IsSkipped()) return;
        for (Measured* m : shapes_) {
            if (r_ != nullptr) r_->RemoveItem(m->shape);
            delete m;
        }
        shapes_.clear();
        if (r_ != nullptr) {
            if (page_ != nullptr && UIPageIsLive(page_)) UIPageDetachComponent(page_, nullptr);
            ConsumerDetach(&downstream_);
            r_->portRecord = nullptr;
            r_->Release();
            up_->Release();
            sink_->Release();
        }
        Stop();
        TheReductionServices() = saved_;
        TheComponentServices() = savedComponent_;
        TheReductionOptionClipboard().options.SetDefaults();
        TheReductionOptionClipboard().valid = true;
        TheApp().Properties().Clear();
        ClibSetMessageHook(nullptr, nullptr);
        TheExtractionPageHooks() = savedPages_;
        ResetEditShapePanel();
        ResetStatisticDialogPaths();
        ResetSlicePageState();
    }

    // A Reduction behind an upstream stage of `channels` channels (or `up`), its page built.
    void Open(uint32_t channels, UpstreamStage* up = nullptr) {
        up_ = up != nullptr ? up : new UpstreamStage(&item_);
        up_->offered.channels = channels;
        r_ = static_cast<ReductionComponent*>(CreateReductionFromScript(&ui_, &item_, nullptr));
        ASSERT_NE(r_, nullptr);
        ASSERT_TRUE(ConsumerAttach(&r_->input, up_));
        r_->portRecord = &device_;
        sink_ = new UpstreamStage(&item_);
        downstream_.owner = sink_;
        ASSERT_TRUE(ConsumerAttach(&downstream_, r_));
        page_ = CUICreateWindowRecord(&cui());
        ASSERT_TRUE(UIPageAttachComponent(page_, r_));
        ASSERT_EQ(ReductionPanelBuilder(page_, Main(), kPageOptions), 1);
        e_ = SlicePageElement(r_);
        ASSERT_NE(e_, nullptr);
        RefreshSlicePage(e_);
        device_.pulls = 0;
    }
    // A shape of the role taken as the current item.
    Shape* Item(int32_t kind, int32_t role) {
        auto* m = new Measured(kind, role);
        shapes_.push_back(m);
        EXPECT_TRUE(r_->AddItem(m->shape));
        RefreshSlicePage(e_);
        device_.pulls = 0;
        return m->shape;
    }
    gElement* W(uint32_t slot) { return e_->slots[slot]; }
    std::string Text(uint32_t slot) { return W(slot)->text; }
    bool Enabled(uint32_t slot) { return W(slot)->enabled != 0; }
    void Press(uint32_t slot) {
        gElement* w = W(slot);
        ASSERT_EQ(gWgtPress(w->window, w, false), 1) << slot;
    }
    void Type(uint32_t slot, const char* text) {
        gWgtSetText(W(slot), text);
        W(slot)->onChange(W(slot), reinterpret_cast<uintptr_t>(e_));
    }
    void Choose(SliceMenu menu, int32_t entry, int32_t sub = 0) { SliceMenuCommand(e_, menu, entry, sub); }
    // The rows of a menu as it shows them: label ("-" for a separator), greyed, checked.
    struct Row {
        std::string label;
        bool greyed;
        bool checked;
        bool operator==(const Row&) const = default;
        friend void PrintTo(const Row& r, std::ostream* os) {
            *os << "{" << r.label << ", " << r.greyed << ", " << r.checked << "}";
        }
    };
    std::vector<Row> Rows(SliceMenu menu, uint32_t button) {
        Press(button);
        gMenuCloseAll();
        SliceMenuPrepare(e_, menu);
        std::vector<Row> rows;
        gMenu* m = SlicePageMenu(menu);
        if (m == nullptr) return rows;
        for (gMenuItem* i = m->first; i != nullptr; i = i->next) {
            if (i->state == 2)
                rows.push_back({"-", false, false});
            else
                rows.push_back({i->label, i->state == 1, i->check == 1});
            if (i == m->cursor) break;
        }
        return rows;
    }
    ReductionValues& V() { return r_->Options().values; }
    std::string StatusText() { return cui().groups[0].statusWidget->text; }

    ProjectItemBase item_;
    TestUi ui_;
    UpstreamStage* up_ = nullptr;
    UpstreamStage* sink_ = nullptr;
    reduction_testing::ConsumerEnd downstream_;
    ReductionComponent* r_ = nullptr;
    CountingDevice device_;
    UIPage* page_ = nullptr;
    UIElement* e_ = nullptr;
    std::vector<Measured*> shapes_;
    ReductionServices saved_;
    ExtractionPageHooks savedPages_;
    ComponentServices savedComponent_;
};

// ---- Layout and refresh ---------------------------------------------------------------------------

TEST_F(SlicePageTest, HoldsItsControlsInOrderAndShowsTheChannels) {
    Open(3);
    // The kind of every slot: fields 6 (the displays read-only), toggles 47, menu buttons 38, the glyph 37.
    const int32_t kinds[kSliceSlotCount] = {6,  6,  47, 47, 47, 47, 6, 6,  37, 6,  38, 6,  38, 6,  6,  6,  38,
                                            6,  6,  6,  47, 47, 6,  6, 38, 6,  47, 47, 6,  38, 38, 6,  38};
    for (uint32_t i = 0; i < kSliceSlotCount; ++i) {
        ASSERT_NE(W(i), nullptr) << i;
        EXPECT_EQ(W(i)->kind, kinds[i]) << i;
    }
    EXPECT_EQ(Text(kSlcFlux), "Flux (Intensity)");
    EXPECT_EQ(Text(kSlcDistribution), "Distribution");
    EXPECT_EQ(Text(kSlcPresetEdit), "Edit");
    EXPECT_EQ(Text(kSlcExtended), "Extended Precision");
    // A second build only refreshes.
    EXPECT_EQ(ReductionPanelBuilder(page_, Main(), kPageOptions), 1);
    EXPECT_EQ(SlicePageElement(r_), e_);
    EXPECT_EQ(ReductionPanelBuilder(page_, Main(), 5), 0);

    // The defaults after a refresh.
    EXPECT_EQ(Text(kSlcChannel), "1");
    EXPECT_EQ(Text(kSlcChannels), "3");
    EXPECT_TRUE(Enabled(kSlcChannel));
    EXPECT_TRUE(Enabled(kSlcAll));
    EXPECT_EQ(Text(kSlcGain), "1");
    EXPECT_EQ(Text(kSlcNoise), "1");
    EXPECT_EQ(Text(kSlcScale), "1");
    EXPECT_EQ(Text(kSlcZero), "0");
    EXPECT_EQ(Text(kSlcRight), "255");
    EXPECT_EQ(Text(kSlcWindow), "7");
    EXPECT_EQ(Text(kSlcMethod), "Simple [summing]");
    EXPECT_EQ(Text(kSlcSmooth), "Sliding mean or median");
    EXPECT_EQ(Text(kSlcFilter), "[None - nearest neighbor]");
    EXPECT_EQ(Text(kSlcRule), "5 * lg(N)");
    EXPECT_EQ(Text(kSlcPresetName), "<current>");
    EXPECT_FALSE(Enabled(kSlcPresetName));
    EXPECT_FALSE(Enabled(kSlcPresetMenu));
    EXPECT_FALSE(Enabled(kSlcFilter));
    EXPECT_FALSE(Enabled(kSlcFilterMenu));

    // A channel above the input's count shows the count; typing 0 stores 1.
    V().nChannel = 5;
    RefreshSlicePage(e_);
    EXPECT_EQ(Text(kSlcChannel), "3");
    Type(kSlcChannel, "2");
    EXPECT_EQ(V().nChannel, 2u);
    Type(kSlcChannel, "0");
    EXPECT_EQ(V().nChannel, 1u);
    EXPECT_EQ(Text(kSlcChannel), "1");
    Type(kSlcChannel, "9");
    EXPECT_EQ(V().nChannel, 3u);
    EXPECT_EQ(Text(kSlcChannel), "3");
}

// "A" takes one channel or all of them: the consumer is offered the new count at once.
TEST_F(SlicePageTest, AllChannelsRenegotiatesTheOutput) {
    Open(3);
    EXPECT_EQ(W(kSlcAll)->value, 1u);
    downstream_.offers.clear();
    Press(kSlcAll);
    EXPECT_EQ(V().allChannels, 0);
    ASSERT_FALSE(downstream_.offers.empty());
    EXPECT_EQ(downstream_.offers.back().channels, 1u);
    Press(kSlcAll);
    EXPECT_EQ(V().allChannels, 1);
    EXPECT_EQ(downstream_.offers.back().channels, 3u);
    EXPECT_EQ(W(kSlcAll)->value, 1u);
}

// The Reduction's refresh reaches the page on the interface thread only (a pull on the
// playback thread refreshes the Reduction too).
TEST_F(SlicePageTest, RefreshFromTheReductionOnTheInterfaceThreadOnly) {
    Open(1);
    TheComponentServices().uiUp = [] { return true; };
    V().slice.zero = 5.0;
    std::thread([this] { ReductionRefreshSlicePage(r_); }).join();
    EXPECT_EQ(Text(kSlcZero), "0");
    ReductionRefreshSlicePage(r_);
    EXPECT_EQ(Text(kSlcZero), "5");
}

TEST_F(SlicePageTest, OneChannelDisablesTheChannelControls) {
    Open(1);
    EXPECT_EQ(Text(kSlcChannels), "1");
    EXPECT_FALSE(Enabled(kSlcChannel));
    EXPECT_FALSE(Enabled(kSlcAll));
}

TEST_F(SlicePageTest, MethodDrivesTheProfileWeightAndMethodDisplays) {
    Open(1);
    // Simple: no profile, gain, noise, window and smoothing disabled.
    EXPECT_EQ(Text(kSlcProfile), "Profile:   Disable");
    for (uint32_t s : {kSlcGain, kSlcNoise, kSlcWindow, kSlcSmoothMenu}) EXPECT_FALSE(Enabled(s)) << s;
    Choose(SliceMenu::kMethod, 3);
    EXPECT_EQ(V().slice.extractMethod, 2);
    EXPECT_EQ(Text(kSlcProfile), "Profile:   Auto");
    EXPECT_EQ(Text(kSlcWeight), "Weight:   Auto");
    for (uint32_t s : {kSlcGain, kSlcNoise, kSlcWindow, kSlcSmoothMenu}) EXPECT_TRUE(Enabled(s)) << s;
    Choose(SliceMenu::kMethod, 7);
    EXPECT_EQ(V().slice.removeBackground, 1);
    EXPECT_EQ(Text(kSlcMethod), "Optimal,  remove background");
    Choose(SliceMenu::kMethod, 2);
    EXPECT_EQ(Text(kSlcMethod), "Weighted,  remove background");
    EXPECT_FALSE(Enabled(kSlcWindow));
    // 4 toggles weighing, 5 automatic weights, 6 the automatic profile.
    Choose(SliceMenu::kMethod, 4);
    EXPECT_EQ(V().slice.weighing, 0);
    EXPECT_FALSE(Enabled(kSlcGain));
    Choose(SliceMenu::kMethod, 4);
    Choose(SliceMenu::kMethod, 5);
    EXPECT_EQ(V().slice.autoWeight, 0);
    EXPECT_EQ(Text(kSlcWeight), "Weight:   Disable (Not Loaded)");
    Choose(SliceMenu::kMethod, 3);
    Choose(SliceMenu::kMethod, 6);
    EXPECT_EQ(V().slice.autoProfile, 0);
    EXPECT_EQ(Text(kSlcProfile), "Profile:   Disable (Not Loaded)");
}

TEST_F(SlicePageTest, WeightAndProfileTextsFollowTheirRule) {
    struct Case {
        int32_t method;
        uint8_t weighing, autoWeight, autoProfile;
        double gain;
        uint32_t weights, profile;
        const char* weight;
        const char* profileText;
    } cases[] = {
        {2, 1, 1, 1, 1.0, 0, 0, "Weight:   Auto", "Profile:   Auto"},
        {2, 1, 0, 0, 1.0, 1, 1, "Weight:   Loaded", "Profile:   Loaded"},
        {2, 0, 0, 0, 1.0, 0, 0, "Weight:   Disable (Not Loaded)", "Profile:   Disable (Not Loaded)"},
        {1, 0, 1, 1, 0.0, 0, 0, "Weight:   Disable", "Profile:   Disable"},
        {1, 0, 1, 1, 1.0, 0, 0, "Weight:   Auto", "Profile:   Disable"},
        {0, 1, 1, 1, 1.0, 1, 0, "Weight:   Disable", "Profile:   Disable"},
        {0, 1, 0, 1, 1.0, 0, 0, "Weight:   Disable (Not Loaded)", "Profile:   Disable"},
    };
    for (const Case& c : cases) {
        ReductionOptions o;
        o.values.slice.extractMethod = c.method;
        o.values.slice.weighing = c.weighing;
        o.values.slice.autoWeight = c.autoWeight;
        o.values.slice.autoProfile = c.autoProfile;
        o.values.slice.gain = c.gain;
        o.weighingCoefficients = c.weights;
        o.profileCoefficients = c.profile;
        EXPECT_EQ(SliceWeightText(o), c.weight) << c.method << " " << c.gain;
        EXPECT_EQ(SliceProfileText(o), c.profileText) << c.method;
    }
}

// ---- Histogram controls ------------------------------------------------------------------------------

TEST_F(SlicePageTest, IntervalAutoAndTheBoundaryMenu) {
    Open(1);
    EXPECT_FALSE(Enabled(kSlcInterval));  // automatic by default
    Type(kSlcInterval, "2.5");
    EXPECT_EQ(V().stat.interval, 2.5);
    EXPECT_EQ(V().stat.intervalAuto, 0);
    EXPECT_EQ(W(kSlcAuto)->value, 0u);
    EXPECT_TRUE(Enabled(kSlcInterval));
    Press(kSlcAuto);
    EXPECT_EQ(V().stat.intervalAuto, 1);
    EXPECT_FALSE(Enabled(kSlcInterval));
    Press(kSlcInteger);
    EXPECT_EQ(V().stat.intervalInteger, 1);
    Press(kSlcDistribution);
    EXPECT_EQ(V().stat.vis, 1);
    EXPECT_EQ(W(kSlcHistogram)->value, 0u);

    // The boundary fields: disabled until "Enable"; Copy then Paste enables them.
    EXPECT_FALSE(Enabled(kSlcLeft));
    std::vector<Row> rows = Rows(SliceMenu::kBoundary, kSlcBoundaryMenu);
    const std::vector<Row> expected = {{"Enable", false, false},
                                       {"-", false, false},
                                       {"Copy", false, false},
                                       {"Paste", true, false},
                                       {"-", false, false},
                                       {"Current [Min, Max]", true, false},
                                       {"Nearest Boundary", true, false}};
    EXPECT_EQ(rows, expected);
    r_->SetStatBoundary(-5.0, 40.0);
    Choose(SliceMenu::kBoundary, 2);  // Copy
    r_->SetStatBoundary(0.0, 255.0);
    Choose(SliceMenu::kBoundary, 3);  // Paste
    EXPECT_EQ(V().stat.boundaryLow, -5.0);
    EXPECT_EQ(V().stat.boundaryHigh, 40.0);
    EXPECT_EQ(V().stat.boundaryEnable, 1);
    EXPECT_TRUE(Enabled(kSlcLeft));
    EXPECT_TRUE(Enabled(kSlcRight));
    EXPECT_EQ(Text(kSlcLeft), "-5");
    Type(kSlcRight, "100");
    EXPECT_EQ(V().stat.boundaryHigh, 100.0);
    Choose(SliceMenu::kBoundary, 1);  // Enable off
    EXPECT_EQ(V().stat.boundaryEnable, 0);
    EXPECT_FALSE(Enabled(kSlcLeft));

    // The result entries without a statistic item.
    Choose(SliceMenu::kBoundary, 4);
    EXPECT_EQ(StatusText(), "Statistic - empty");
    EXPECT_EQ(V().stat.boundaryHigh, 100.0);
}

TEST_F(SlicePageTest, NearestBoundaryWidensToTheSampleLimits) {
    struct Case {
        double min, max, low, high;
    } cases[] = {
        {-3.5, 200.0, -128.0, 255.0},
        {0.0, 0.0, 0.0, 0.0},
        {5.0, 127.0, 0.0, 127.0},
        {-128.0, 127.5, -128.0, 255.0},
        {-128.5, 65535.0, -32768.0, 65535.0},
        {-40000.0, 70000.0, -16777216.0, 16777215.0},
        {-3e9, 3e9, -9223372036854775808.0, 4294967295.0},
        {-1e19 - 0.0, 1e19, -1e19, 1e19},
        {-2.5e19, 2.5e19, -2.5e19, 2.5e19},
        {-DBL_MAX, DBL_MAX, -DBL_MAX, DBL_MAX},
        {-7.25, -1.0, -128.0, 0.0},
    };
    for (const Case& c : cases) {
        double low = 1.0, high = 1.0;
        NearestBoundary(c.min, c.max, &low, &high);
        EXPECT_EQ(low, c.low) << c.min;
        EXPECT_EQ(high, c.high) << c.max;
    }
}

TEST_F(SlicePageTest, IntervalRuleMenuListsTheNineRules) {
    Open(1);
    const char* labels[] = {"Sterdzhes: N < 100", "3 + 7 * lg(N): N<100", "4 * pow(0.75 * (N-1)^2, 1/5), N > 200",
                            "Sqrt(N)", "5 * lg(N)", "4 * lg(N)", "-", "Antikurtosis", "Kurtosis",
                            "Parzen & Rosenblatt (by RMS)"};
    std::vector<Row> rows = Rows(SliceMenu::kRule, kSlcRuleMenu);
    ASSERT_EQ(rows.size(), 10u);
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].label, labels[i]);
        EXPECT_EQ(rows[i].checked, i == 4) << i;
    }
    for (int32_t k = 1; k <= 9; ++k) {
        Choose(SliceMenu::kRule, k);
        EXPECT_EQ(V().stat.intervalMethod, k - 1);
        EXPECT_EQ(Text(kSlcRule), labels[k <= 6 ? k - 1 : k]);
    }
}

// ---- Enabling and re-runs ----------------------------------------------------------------------------

TEST_F(SlicePageTest, TheCurrentItemChoosesTheControlsAndWhatReRuns) {
    Open(1);
    V().stat.boundaryEnable = 1;
    V().stat.intervalAuto = 0;
    Item(kKindRect, kRoleStatistic);
    for (uint32_t s = kSlcFlux; s <= kSlcNoise; ++s) EXPECT_FALSE(Enabled(s)) << s;
    for (uint32_t s = kSlcHistogram; s <= kSlcRuleMenu; ++s) EXPECT_TRUE(Enabled(s)) << s;
    // A statistic control re-runs the statistic item once; a slice control does not.
    Press(kSlcDistribution);
    EXPECT_EQ(device_.pulls, 1);
    Choose(SliceMenu::kRule, 2);
    EXPECT_EQ(device_.pulls, 2);
    Choose(SliceMenu::kRule, 2);  // unchanged
    EXPECT_EQ(device_.pulls, 2);
    Type(kSlcScale, "3");
    EXPECT_EQ(V().slice.scale, 3.0);
    EXPECT_EQ(device_.pulls, 2);
    Press(kSlcExtended);
    EXPECT_EQ(device_.pulls, 3);

    Item(kKindPolyLine, kRoleSlice);
    for (uint32_t s = kSlcHistogram; s <= kSlcRuleMenu; ++s) EXPECT_FALSE(Enabled(s)) << s;
    EXPECT_TRUE(Enabled(kSlcFlux));
    Type(kSlcScale, "4");
    EXPECT_EQ(device_.pulls, 1);
    Type(kSlcScale, "4");
    EXPECT_EQ(device_.pulls, 1);
    Press(kSlcMean);
    EXPECT_EQ(V().slice.flux, 0);
    EXPECT_EQ(W(kSlcFlux)->value, 0u);
    EXPECT_EQ(device_.pulls, 2);
    Press(kSlcReset);
    EXPECT_EQ(V().slice.scale, 1.0);
    EXPECT_EQ(Text(kSlcScale), "1");
    EXPECT_EQ(device_.pulls, 3);
    Press(kSlcHistogram);  // a statistic control with a slice item
    EXPECT_EQ(device_.pulls, 3);
    // Entries 1 … 3 re-run when the kernels change; entry 7 always.
    Choose(SliceMenu::kMethod, 3);
    EXPECT_EQ(device_.pulls, 4);
    Choose(SliceMenu::kMethod, 7);
    EXPECT_EQ(device_.pulls, 5);
    Type(kSlcWindow, "0");
    EXPECT_EQ(V().slice.lSmoothAverWin, 1u);
    EXPECT_EQ(Text(kSlcWindow), "1");
    EXPECT_EQ(device_.pulls, 6);
}

TEST_F(SlicePageTest, MenusCarryTheirRowsAndStates) {
    Open(1);
    const std::vector<Row> method = {{"Simple [summing]", false, true},
                                     {"Weighted", false, false},
                                     {"Optimal", false, false},
                                     {"-", false, false},
                                     {"Weighing", true, true},
                                     {"Auto weighing [calc by data noise/errors]", true, true},
                                     {"-", false, false},
                                     {"Auto cross profile [fitting by data]", true, true},
                                     {"Remove sky background", false, false}};
    EXPECT_EQ(Rows(SliceMenu::kMethod, kSlcMethodMenu), method);
    Choose(SliceMenu::kMethod, 3);
    std::vector<Row> rows = Rows(SliceMenu::kMethod, kSlcMethodMenu);
    EXPECT_EQ(rows[2], (Row{"Optimal", false, true}));
    EXPECT_EQ(rows[4], (Row{"Weighing", false, true}));
    const std::vector<Row> smoothing = {
        {"Sliding mean or median", false, true}, {"Sliding mean", false, false}, {"Sliding median", false, false}};
    EXPECT_EQ(Rows(SliceMenu::kSmoothing, kSlcSmoothMenu), smoothing);
    Choose(SliceMenu::kSmoothing, 3);
    EXPECT_EQ(V().lSmoothMethod, 2);
    EXPECT_EQ(Text(kSlcSmooth), "Sliding median");
    Choose(SliceMenu::kFilter, 5);
    EXPECT_EQ(V().slice.extractionVariant, 4);
    EXPECT_EQ(Text(kSlcFilter), "B-spline");
    rows = Rows(SliceMenu::kFilter, kSlcFilterMenu);
    ASSERT_EQ(rows.size(), 6u);
    EXPECT_EQ(rows[4], (Row{"B-spline", false, true}));
    EXPECT_EQ(rows[0].label, "[None - nearest neighbor]");
    EXPECT_EQ(rows[5].label, "Hermite");
}

// ---- Presets ----------------------------------------------------------------------------------------------

TEST_F(SlicePageTest, PresetsAreCreatedNamedCopiedPastedAndDeleted) {
    Open(1);
    Choose(SliceMenu::kPresetEdit, 1);  // Create
    ASSERT_EQ(r_->presets.count, 1u);
    EXPECT_EQ(Text(kSlcPresetName), "1 - noname");
    EXPECT_TRUE(Enabled(kSlcPresetName));
    EXPECT_TRUE(Enabled(kSlcPresetMenu));
    // The name field renames the current preset; an empty name shows the name again.
    Type(kSlcPresetName, "  wide  ");
    EXPECT_STREQ(r_->presets.currentPreset->options.name, "wide");
    EXPECT_EQ(Text(kSlcPresetName), "wide");
    Type(kSlcPresetName, "   ");
    EXPECT_EQ(Text(kSlcPresetName), "wide");
    EXPECT_STREQ(r_->presets.currentPreset->options.name, "wide");

    // Copy, change, paste back.
    Type(kSlcGain, "4");
    Choose(SliceMenu::kPresetEdit, 3);
    Choose(SliceMenu::kMethod, 3);
    Type(kSlcGain, "7");
    Choose(SliceMenu::kPresetEdit, 4);
    EXPECT_EQ(V().slice.gain, 4.0);
    EXPECT_EQ(V().slice.extractMethod, 0);
    EXPECT_EQ(Text(kSlcGain), "4");

    for (uint32_t i = 1; i < 31; ++i) Choose(SliceMenu::kPresetEdit, 1);
    EXPECT_EQ(r_->presets.count, 31u);
    EXPECT_FALSE(CreateReductionItem(r_, true, false, kKindBSpline));
    EXPECT_EQ(r_->presets.count, 31u);
    // The list shows its first 30 presets, then "Properties…".
    std::vector<Row> rows = Rows(SliceMenu::kPresetList, kSlcPresetMenu);
    ASSERT_EQ(rows.size(), 31u);
    EXPECT_EQ(rows[0].label, "wide (1)");
    EXPECT_EQ(rows[1].label, "2 - noname");
    EXPECT_EQ(rows[30].label, "Properties\x85");
    Choose(SliceMenu::kPresetList, 2);
    EXPECT_EQ(r_->presets.currentPreset, PresetAt(&r_->presets, 1));
    EXPECT_EQ(Text(kSlcPresetName), "2 - noname");

    // Keep Current, then Current, then nothing to delete.
    Choose(SliceMenu::kPresetEdit, 5, 2);
    EXPECT_EQ(r_->presets.count, 1u);
    Choose(SliceMenu::kPresetEdit, 1);
    Choose(SliceMenu::kPresetEdit, 5, 1);
    EXPECT_EQ(r_->presets.count, 1u);
    Choose(SliceMenu::kPresetEdit, 5, 3);
    EXPECT_EQ(r_->presets.count, 0u);
    EXPECT_FALSE(Enabled(kSlcPresetMenu));

    // "Common Properties" switches to the common options and back.
    Choose(SliceMenu::kPresetEdit, 2);
    EXPECT_TRUE(r_->UsesCommonOptions());
    EXPECT_EQ(Text(kSlcPresetName), "<common>");
    Choose(SliceMenu::kPresetEdit, 2);
    EXPECT_FALSE(r_->UsesCommonOptions());
}

TEST_F(SlicePageTest, PresetEditMenuStates) {
    Open(1);
    std::vector<Row> rows = Rows(SliceMenu::kPresetEdit, kSlcPresetEdit);
    const std::vector<Row> expected = {{"Create", false, false}, {"-", false, false},
                                       {"Common Properties", false, false}, {"-", false, false},
                                       {"Copy", false, false}, {"Paste", false, false},
                                       {"Delete", true, false}, {"-", false, false},
                                       {"File", false, false}};
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        EXPECT_EQ(rows[i].label, expected[i].label) << i;
        EXPECT_EQ(rows[i].greyed, expected[i].greyed) << i;
    }
}

TEST_F(SlicePageTest, PresetRowTexts) {
    const std::string long120(120, 'x');
    struct Case {
        const char* name;
        uint32_t position, count;
        std::string shown;
    } cases[] = {
        {"2 - noname", 2, 3, "2 - noname"},
        {"noname", 2, 3, "noname (2)"},
        {"3 - noname", 2, 3, "3 - noname (2)"},
        {nullptr, 1, 2, "NoName (1)"},
        {"", 1, 1, "NoName"},
        {"solo", 1, 1, "solo"},
        {long120.c_str(), 1, 1, std::string(100, 'x') + '\x85'},
        {"12abc", 12, 20, "12abc"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(PresetMenuRowText(c.name, c.position, c.count), c.shown) << (c.name ? c.name : "null");
}

TEST_F(SlicePageTest, PasteIntoTheCommonOptionsAsks) {
    Open(1);
    ClibSetMessageHook(nullptr, &AnswerNo);
    TheComponentServices().uiUp = [] { return true; };
    Choose(SliceMenu::kPresetEdit, 2);  // the common options
    ASSERT_TRUE(r_->UsesCommonOptions());
    ReductionOptionClipboard& clip = TheReductionOptionClipboard();
    clip.options.values.slice.gain = 9.0;
    clip.valid = true;
    Choose(SliceMenu::kPresetEdit, 4);
    EXPECT_EQ(gAsked, 1);
    EXPECT_EQ(gQuestion, "To change the default options?");
    EXPECT_NE(V().slice.gain, 9.0);  // the answer was No
    Choose(SliceMenu::kPresetEdit, 2);
    EXPECT_FALSE(r_->UsesCommonOptions());
}

// The "File" submenu: Save As… writes every preset into the chosen file, Save writes
// there again without asking, Open… appends what the file holds, Replace… clears first.
TEST_F(SlicePageTest, PresetFilesRoundTrip) {
    Open(1);
    testing_util::TempFolder folder;
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    Choose(SliceMenu::kPresetEdit, 1);
    Type(kSlcPresetName, "narrow");
    Choose(SliceMenu::kMethod, 3);
    Choose(SliceMenu::kPresetEdit, 1);
    Type(kSlcGain, "6.5");
    ASSERT_EQ(r_->presets.count, 2u);
    dialog.Push(ScriptedFileDialog::Choose({"presets.fs"}, folder.File("")));
    Choose(SliceMenu::kPresetEdit, 6, 4);
    EXPECT_EQ(dialog.Pending(), 0);
    const std::string saved = testing_util::ReadText(folder.File("presets.fs"));
    EXPECT_NE(saved.find("narrow"), std::string::npos);

    Choose(SliceMenu::kPresetEdit, 5, 3);  // Delete all
    ASSERT_EQ(r_->presets.count, 0u);
    dialog.Push(ScriptedFileDialog::Choose({"presets.fs"}, folder.File("")));
    Choose(SliceMenu::kPresetEdit, 6, 1);  // Open…
    ASSERT_EQ(r_->presets.count, 2u);
    EXPECT_STREQ(r_->presets.head->options.name, "narrow");
    EXPECT_EQ(r_->presets.head->options.values.slice.extractMethod, 2);
    EXPECT_STREQ(r_->presets.tail->options.name, "2 - noname");
    EXPECT_EQ(r_->presets.tail->options.values.slice.gain, 6.5);
    dialog.Push(ScriptedFileDialog::Choose({"presets.fs"}, folder.File("")));
    Choose(SliceMenu::kPresetEdit, 6, 1);  // Open… appends
    EXPECT_EQ(r_->presets.count, 4u);
    dialog.Push(ScriptedFileDialog::Choose({"presets.fs"}, folder.File("")));
    Choose(SliceMenu::kPresetEdit, 6, 2);  // Replace…
    EXPECT_EQ(r_->presets.count, 2u);
    // Save: the file used last, no dialog.
    r_->presets.head->options.SetName("first");
    Choose(SliceMenu::kPresetEdit, 6, 3);
    EXPECT_EQ(dialog.Requests().size(), 4u);
    EXPECT_NE(testing_util::ReadText(folder.File("presets.fs")).find("first"), std::string::npos);
    // A cancelled dialog changes nothing.
    dialog.Push(ScriptedFileDialog::Cancel());
    Choose(SliceMenu::kPresetEdit, 6, 2);
    EXPECT_EQ(r_->presets.count, 2u);
}

// A change of the common options also re-runs the other Reduction that works on them.
TEST_F(SlicePageTest, CommonOptionChangesReachTheOtherUsers) {
    Open(1);
    UpstreamStage* otherUp = new UpstreamStage(&item_);
    auto* other = static_cast<ReductionComponent*>(CreateReductionFromScript(&ui_, &item_, nullptr));
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(ConsumerAttach(&other->input, otherUp));
    CountingDevice otherDevice;
    other->portRecord = &otherDevice;
    UpstreamStage* otherSink = new UpstreamStage(&item_);
    reduction_testing::ConsumerEnd otherEnd(otherSink);
    ASSERT_TRUE(ConsumerAttach(&otherEnd, other));
    Measured shape(kKindPolyLine, kRoleSlice);
    ASSERT_TRUE(other->AddItem(shape.shape));
    other->presets.SwitchCurrent(other->presets.common);
    ASSERT_TRUE(other->UsesCommonOptions());

    const int before = otherEnd.changed.load();
    Type(kSlcZero, "2");  // own options: the other does not hear
    EXPECT_EQ(otherEnd.changed.load(), before);
    Choose(SliceMenu::kPresetEdit, 2);  // the common options
    ASSERT_TRUE(r_->UsesCommonOptions());
    Type(kSlcZero, "3");
    EXPECT_EQ(other->Options().values.slice.zero, 3.0);
    EXPECT_GT(otherEnd.changed.load(), before);
    const int after = otherEnd.changed.load();
    Type(kSlcZero, "3");  // unchanged
    EXPECT_EQ(otherEnd.changed.load(), after);

    other->RemoveItem(shape.shape);
    ConsumerDetach(&otherEnd);
    other->portRecord = nullptr;
    other->Release();
    otherUp->Release();
    otherSink->Release();
}

// ---- Extraction/Statistic -------------------------------------------------------------------------

// What the mask savers were asked.
struct SaveCall {
    std::string what;
    Shape* shape;
    ItemResultList* list;
    int32_t a, b, c;
    bool operator==(const SaveCall&) const = default;
};
std::vector<SaveCall>& Calls() {
    static std::vector<SaveCall> calls;
    return calls;
}

class ExtractionPageTest : public SlicePageTest {
protected:
    void OpenBoth(uint32_t channels, UpstreamStage* up = nullptr, const char* name = nullptr) {
        Calls().clear();
        ExtractionPageHooks& h = TheExtractionPageHooks();
        h.saveShapeFile = [](Shape* s, const char* name, int32_t form, int32_t ref, bool messages) {
            Calls().push_back({name == nullptr ? "file" : name, s, nullptr, form, ref, messages ? 1 : 0});
            return true;
        };
        h.saveShapeAs = [](Shape* s, int32_t form, int32_t ref) {
            Calls().push_back({"as", s, nullptr, form, ref, 0});
            return true;
        };
        h.saveMasks = [](ItemResultList* l, const char* name, bool one, bool ext, int32_t form, int32_t filter) {
            Calls().push_back({name == nullptr ? "masks" : name, nullptr, l, (one ? 10 : 0) + (ext ? 1 : 0), form, filter});
            return true;
        };
        h.saveMasksByRole = [](ItemResultList* l, int32_t index, int32_t form, int32_t filter) {
            Calls().push_back({"byRole", nullptr, l, index, form, filter});
            return true;
        };
        h.loadShapeAs = [](Shape* s) {
            Calls().push_back({"load", s, nullptr, 0, 0, 0});
            return true;
        };
        Open(channels, up);
        if (name != nullptr) r_->name = name;
        ASSERT_EQ(ReductionPanelBuilder(page_, Main(), 1), 1);
        x_ = ExtractionPageElement(r_);
        ASSERT_NE(x_, nullptr);
    }
    std::string XText(uint32_t slot) { return x_->slots[slot]->text; }
    bool Entry(ExtractionMenu menu, int32_t n) { return ExtractionEntryEnabled(x_, menu, n); }
    void Do(ExtractionMenu menu, int32_t n, int32_t sub = 0) { ExtractionMenuCommand(x_, menu, n, sub); }
    UIElement* x_ = nullptr;
};

TEST_F(ExtractionPageTest, TitleSlotsAndTheItemTexts) {
    OpenBoth(1);
    EXPECT_EQ(x_->name, "Extraction/Statistic");
    for (uint32_t i = 0; i < kExtractionSlotCount; ++i) ASSERT_NE(x_->slots[i], nullptr) << i;
    EXPECT_EQ(XText(kExtEditMask), "Edit Mask");
    EXPECT_EQ(XText(kExtStatisticMenu), "Statistic");
    EXPECT_EQ(XText(kExtCreateMenu), "Create");
    EXPECT_EQ(XText(kExtFileMenu), "File");
    EXPECT_EQ(ReductionPanelBuilder(page_, Main(), kPageRefresh), 1);
    EXPECT_EQ(ExtractionPageElement(r_), x_);
    // Without an item the boxes are empty and the name field disabled.
    RefreshExtractionPage(x_);
    EXPECT_EQ(XText(kExtMask), "");
    EXPECT_FALSE(x_->slots[kExtShape]->enabled);

    item_.source.fileName = "/data/night/stars.fits";
    Shape* s = Item(kKindRect, kRoleStatistic);
    EXPECT_EQ(XText(kExtMask), "Displayed, Statistic");
    EXPECT_EQ(XText(kExtSource), "stars.fits");
    EXPECT_EQ(XText(kExtShape), s->name != nullptr ? s->name : "");
    EXPECT_EQ(x_->slots[kExtShape]->enabled != 0, s->name != nullptr);
    s->state = kShapeHidden;
    item_.source.fileName.clear();
    RefreshExtractionPage(x_);
    EXPECT_EQ(XText(kExtMask), "Hide, Statistic");
    EXPECT_EQ(XText(kExtSource), "[src none]");
    EXPECT_EQ(XText(kExtList), "");
    s->state = kShapeNormal;
}

TEST_F(ExtractionPageTest, ASingleCharacterNameIsTheTitle) {
    OpenBoth(1, nullptr, "Q");
    EXPECT_EQ(x_->name, "Q");
}

TEST_F(ExtractionPageTest, FileMenuSavesThroughTheMaskSavers) {
    OpenBoth(1);
    for (int32_t n = 1; n <= 6; ++n) EXPECT_FALSE(Entry(ExtractionMenu::kFile, n)) << n;
    Shape* s = Item(kKindPolyLine, kRoleSlice);
    const float xy[4] = {1.0f, 1.0f, 9.0f, 5.0f};
    ASSERT_TRUE(s->header.anchors.SetPoints(xy, 2));
    // Not the container's current shape with the selection on: only the "all" entries.
    EXPECT_FALSE(Entry(ExtractionMenu::kFile, 1));
    EXPECT_FALSE(Entry(ExtractionMenu::kFile, 6));
    EXPECT_TRUE(Entry(ExtractionMenu::kFile, 4));
    EXPECT_TRUE(Entry(ExtractionMenu::kFile, 5));
    ShapeContainer* box = s->container;
    ASSERT_NE(box, nullptr);
    box->current = s;
    box->selectionFlag = 1;
    for (int32_t n = 1; n <= 6; ++n) EXPECT_TRUE(Entry(ExtractionMenu::kFile, n)) << n;
    for (int32_t n = 1; n <= 6; ++n) Do(ExtractionMenu::kFile, n);
    const std::vector<SaveCall> expected = {{"file", s, nullptr, 1, 0, 1},
                                            {"as", s, nullptr, 1, -512, 0},
                                            {"as", s, nullptr, 0, -512, 0},
                                            {"masks", nullptr, &r_->items, 11, 1, kAnyRole},
                                            {"byRole", nullptr, &r_->items, -2, 1, kAnyRole},
                                            {"load", s, nullptr, 0, 0, 0}};
    EXPECT_EQ(Calls(), expected);
    box->current = nullptr;
    box->selectionFlag = 0;
    // The popup lists its rows.
    gElement* file = x_->slots[kExtFileMenu];
    ASSERT_EQ(gWgtPress(file->window, file, false), 1);
    gMenuCloseAll();
    ASSERT_NE(ExtractionPageMenu(ExtractionMenu::kFile), nullptr);
    std::vector<std::string> labels;
    for (gMenuItem* i = ExtractionPageMenu(ExtractionMenu::kFile)->first; i != nullptr; i = i->next) {
        labels.push_back(i->label);
        if (i == ExtractionPageMenu(ExtractionMenu::kFile)->cursor) break;
    }
    EXPECT_EQ(labels, (std::vector<std::string>{"Save", "Save As\x85", "Save Data As\x85", "Save all",
                                                "Save all As\x85", "", "Load\x85"}));
}

TEST_F(ExtractionPageTest, CreateMakesShapesOfTheKindsWithPresets) {
    OpenBoth(1);
    const struct {
        int32_t group, entry, kind, role;
    } cases[] = {{1, 1, kKindPolyLine, kRoleSlice},
                 {1, 2, kKindBSpline, kRoleSlice},
                 {2, 1, kKindRect, kRoleStatistic},
                 {2, 2, kKindEllipse, kRoleStatistic}};
    uint32_t presets = 0;
    for (const auto& c : cases) {
        Do(ExtractionMenu::kCreate, c.group, c.entry);
        Shape* s = r_->CurrentItemShape();
        ASSERT_NE(s, nullptr);
        EXPECT_EQ(s->header.kind, c.kind);
        EXPECT_EQ(s->header.role, c.role);
        EXPECT_EQ(r_->presets.count, ++presets);
        EXPECT_EQ(r_->presets.current, r_->presets.tail);
    }
    EXPECT_EQ(r_->items.count, 4u);
}

TEST_F(ExtractionPageTest, EditMaskOpensTheShapePanel) {
    OpenBoth(1);
    EXPECT_FALSE(ShapePanelShown());
    gElement* b = x_->slots[kExtEditMask];
    ASSERT_EQ(gWgtPress(b->window, b, false), 1);
    EXPECT_TRUE(ShapePanelShown());
}

// A rectangle on a frame of known values: the statistic table's row holds its count and mean.
TEST_F(ExtractionPageTest, StatisticMenuAddsToTheTableAndCleans) {
    testing_util::TempFolder folder;
    auto* source = new reduction_testing::FrameSource(&item_, 16, 16, 1);
    for (int64_t y = 0; y < 16; ++y)
        for (int64_t x = 0; x < 16; ++x) source->At(x, y) = static_cast<double>(x + 16 * y);
    OpenBoth(1, source);
    item_.source.fileName = folder.File("stars.fits");
    Shape* s = Item(kKindRect, kRoleStatistic);
    for (int32_t n = 2; n <= 7; ++n) EXPECT_FALSE(Entry(ExtractionMenu::kStatistic, n)) << n;
    reduction_testing::SetRects(shapes_.back(), 0, 0, {{2, 3, 6, 7}});
    PullResult result;
    result.window.frame = 0;
    result.window.section = -1;
    PullRequest request;
    request.readAgain = 1;
    ASSERT_GE(ReductionComponent::RunItem(r_, &result, &request), 0);
    ASSERT_NE(r_->Statistic()->filled, 0u);
    for (int32_t n : {2, 3, 4, 5, 7}) EXPECT_TRUE(Entry(ExtractionMenu::kStatistic, n)) << n;
    // The boundary menu's result entries: 50 … 101 as measured, then widened to 0 … 127.
    Choose(SliceMenu::kBoundary, 4);
    EXPECT_EQ(V().stat.boundaryLow, 50.0);
    EXPECT_EQ(V().stat.boundaryHigh, 101.0);
    EXPECT_EQ(V().stat.boundaryEnable, 1);
    EXPECT_EQ(Text(kSlcLeft), "50");
    Choose(SliceMenu::kBoundary, 5);
    EXPECT_EQ(V().stat.boundaryLow, 0.0);
    EXPECT_EQ(V().stat.boundaryHigh, 127.0);
    Choose(SliceMenu::kBoundary, 1);  // off again: the histogram over the data's own range
    device_.pulls = 0;
    EXPECT_FALSE(Entry(ExtractionMenu::kStatistic, 6));  // no table open
    // Another interval rule re-runs the item at once, and its histogram has another bin count.
    const uint32_t bins = result.image.width;
    SliceMenuCommand(e_, SliceMenu::kRule, 4);  // Sqrt(N) instead of 5 lg(N)
    EXPECT_EQ(device_.pulls, 1);
    ASSERT_GE(ReductionComponent::RunItem(r_, &result, &request), 0);
    EXPECT_NE(result.image.width, bins);
    Do(ExtractionMenu::kStatistic, 2);
    Do(ExtractionMenu::kStatistic, 2);
    EXPECT_TRUE(Entry(ExtractionMenu::kStatistic, 6));
    Do(ExtractionMenu::kStatistic, 6);
    EXPECT_FALSE(Entry(ExtractionMenu::kStatistic, 6));
    // "Save As Text…" writes the report where the dialog says.
    {
        ScriptedFileDialog dialog;
        ScopedFileDialogBackend scope(&dialog);
        dialog.Push(ScriptedFileDialog::Choose({"report.txt"}, folder.File("")));
        Do(ExtractionMenu::kStatistic, 7);
        EXPECT_EQ(dialog.Pending(), 0);
    }
    EXPECT_NE(testing_util::ReadText(folder.File("report.txt")).find("// Statistics of data from 'stars.fits'"),
              std::string::npos);
    const std::string text = testing_util::ReadText(folder.File("stars_stat.tab"));
    size_t headers = 0;
    for (size_t at = text.find(";TABROW="); at != std::string::npos; at = text.find(";TABROW=", at + 1)) ++headers;
    EXPECT_EQ(headers, 1u);
    // 16 pixels x + 16 y over x 2..5 and y 3..6: mean 3.5 + 16 x 4.5 = 75.5.
    std::vector<std::string> rows;
    size_t from = 0;
    for (size_t nl; (nl = text.find('\n', from)) != std::string::npos; from = nl + 1) {
        const std::string line = text.substr(from, nl - from);
        if (!line.empty() && line[0] != ';') rows.push_back(line);
    }
    ASSERT_EQ(rows.size(), 2u);
    for (const std::string& row : rows) {
        long long x0, y0, x1, y1;
        int npro, channel;
        double mean, rms;
        ASSERT_EQ(std::sscanf(row.c_str(), "%lld %lld %lld %lld %d %lf %lf %d", &x0, &y0, &x1, &y1, &npro, &mean,
                              &rms, &channel),
                  8)
            << row;
        EXPECT_EQ(npro, 16);
        EXPECT_DOUBLE_EQ(mean, 75.5);
        EXPECT_EQ(channel, 1);
    }
    (void)s;
}

}  // namespace
}  // namespace orva
