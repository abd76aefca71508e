// The convolution filter's settings page on a toolkit window of its own, clicked
// through the X server: its texts and arrows as drawn, the arrows stepping the
// instance's presets, and a step reaching the stage behind the processing stage
// (its links told, its device invalidated with event 12, the next pull filtered anew).
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "framework/device_view.h"
#include "processing/convolver_test_support.h"
#include "processing/modules/builtin_modules.h"
#include "processing/processing_test_support.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/number_field.h"
#include "toolkit/input.h"

namespace orva {
namespace {

using namespace testing_util;

// A device that notes what it is told.
class CellDevice : public DeviceViewBase {
public:
    CellDevice() : DeviceViewBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kDevice2DId; }
    void Invalidate(uint32_t key, int32_t reason) override { keys.push_back({key, reason}); }
    std::vector<std::pair<uint32_t, int32_t>> keys;
};

// The stage behind the processing stage, with a device and a consumer of its own (so
// that the invalidation walks reach it).
class CellStage : public ComponentBase {
public:
    explicit CellStage(ProjectItemBase* owner) : ComponentBase(owner), input(this) { portRecord = &device; }
    ~CellStage() override { portRecord = nullptr; }
    const ComponentId* GetClassId() const override { return &kTransformationId; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        return link == nullptr || link->AcceptFormat(r);
    }
    ConsumerEnd input;
    CellDevice device;
};

std::string Text(const gElement* e) { return e != nullptr ? e->text : "<none>"; }

class ConvolverPanelTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window = InitWithFrame(60, 60, 214, 130);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(gWinOpen(window, "Convolver", kStyleShown));
        PumpFor(200);
        FocusWindow(window);

        frame = RandomFrame(9, 7, 1, 77);
        host = new ProcessingComponent(&item);
        source = new TestFrameSource(&item, frame);
        cell = new CellStage(&item);
        ASSERT_TRUE(ConsumerAttach(&host->chain, source));
        ASSERT_TRUE(ConsumerAttach(&cell->input, host));
        ASSERT_TRUE(ConsumerAttach(&below, cell));
        ASSERT_EQ(filterAdd(&host->chain, &ConvolverModuleDescriptor(), &instance), 0);
        ChainRenegotiate(&host->chain);
        ASSERT_EQ(instance->skip, 0);
        state = ConvolverStateOf(instance);

        page = instance->callbacks.pageBuilder(instance, window);
        panel = ConvolverPanelOf(page);
        ASSERT_NE(panel, nullptr);
        instance->settingsPage = page;
    }
    void TearDown() override {
        if (window == nullptr) return;
        FakeButton(false);
        ConsumerDetach(&below);
        ConsumerDetach(&cell->input);
        host->Release();  // the instance goes: the page stops acting on it
        source->Release();
        cell->Release();
        gShutdown();
    }
    gElement* Field(int i) const {
        // The root's children in order: method, name, previous, next, then the nine fields.
        gElement* e = static_cast<gElement*>(page)->nextChild;
        for (int k = 0; k < 4 + i && e != nullptr; ++k) e = e->nextChild;
        return e;
    }
    gElement* Child(int k) const {
        gElement* e = static_cast<gElement*>(page)->nextChild;
        for (int n = 0; n < k && e != nullptr; ++n) e = e->nextChild;
        return e;
    }
    std::vector<std::string> Fields() const {
        std::vector<std::string> texts;
        for (int i = 0; i < 9; ++i) texts.push_back(Text(Field(i)));
        return texts;
    }
    // A click on a widget through the X server; true when the preset changed. Clicks
    // in a row alternate between two points apart, so that none is a double click.
    bool Click(const gElement* e) {
        auto name = [&] { return state != nullptr && state->preset != nullptr ? state->preset->name : ""; };
        const std::string before = name();
        const float dx = clicks++ % 2 == 0 ? 3.0f : e->cellWidth - 3.0f;
        FakeMotionIn(window, static_cast<int>(e->x + dx), static_cast<int>(e->y + e->cellHeight / 2));
        FakeButton(true);
        PumpFor(60);
        FakeButton(false);
        PumpFor(60);
        return before != name();
    }
    TestFrame PullAll() {
        PullResult r;
        r.window.width = frame.width;
        r.window.height = frame.height;
        PullRequest request;
        EXPECT_GE(ComponentPull(&cell->input, &r, &request), 2);
        return FrameOf(r, 1);
    }

    gWindow* window = nullptr;
    ProjectItemBase item;
    TestFrame frame;
    ProcessingComponent* host = nullptr;
    TestFrameSource* source = nullptr;
    CellStage* cell = nullptr;
    ConsumerEnd below;
    FilterInstance* instance = nullptr;
    ConvolverState* state = nullptr;
    void* page = nullptr;
    ConvolverPanel* panel = nullptr;
    int clicks = 0;
};

TEST_F(ConvolverPanelTest, ThePageShowsThePresetAndItsArrowsAreDrawn) {
    EXPECT_EQ(std::tuple(Text(Child(0)), Text(Child(1))), std::tuple("Convolver", "Contrast *+ [soft]"));
    EXPECT_EQ(Fields(), (std::vector<std::string>{"1", "-2", "1", "-2", "8", "-2", "1", "-2", "1"}));
    // Laid out as described: a display as wide as the panel less 24, nine fields 38 wide
    // three to a row, arrows 10 wide.
    EXPECT_EQ(std::tuple(Child(0)->cellWidth, Field(0)->cellWidth, Child(2)->cellWidth, Child(3)->cellWidth),
              std::tuple(190.0f, 38.0f, 10.0f, 10.0f));
    EXPECT_EQ(std::tuple(Field(1)->y, Field(3)->y > Field(0)->y, Field(3)->x), std::tuple(Field(0)->y, true, Field(0)->x));

    PaintWindow(window);
    const Rgb back = Background(window);
    // The arrows: a dark triangle on the button face, pointing back and on.
    const gElement* previous = Child(2);
    const gElement* next = Child(3);
    const int cy = static_cast<int>(previous->y + previous->cellHeight / 2);
    auto dark = [](Rgb c) { return c.r < 60 && c.g < 60 && c.b < 70; };
    EXPECT_TRUE(dark(PixelAt(window, static_cast<int>(previous->x + previous->cellWidth) - 4, cy)));
    EXPECT_FALSE(dark(PixelAt(window, static_cast<int>(previous->x) + 3, cy - 4)));
    EXPECT_TRUE(dark(PixelAt(window, static_cast<int>(next->x) + 4, cy)));
    EXPECT_FALSE(dark(PixelAt(window, static_cast<int>(next->x + next->cellWidth) - 3, cy - 4)));
    // The fields hold drawn text: some of their pixels differ from the field's face.
    const gElement* f = Field(4);
    int inked = 0;
    const Rgb face = PixelAt(window, static_cast<int>(f->x + f->cellWidth) - 3, static_cast<int>(f->y) + 3);
    for (int y = static_cast<int>(f->y) + 2; y < static_cast<int>(f->y + f->cellHeight) - 2; ++y)
        for (int x = static_cast<int>(f->x) + 2; x < static_cast<int>(f->x) + 20; ++x)
            inked += PixelAt(window, x, y) == face ? 0 : 1;
    EXPECT_GT(inked, 5);
    // Beside the frame the window's background.
    EXPECT_TRUE(RgbNear(PixelAt(window, 2, 2), back));
    platform::SwapBuffers(window->hdc);
}

TEST_F(ConvolverPanelTest, TheArrowsStepThePresetsAndTheCellGetsTheNewFrame) {
    auto first = PreparedState("Contrast *+ [soft]", 1), second = PreparedState("Contrast + [soft]", 1);
    EXPECT_EQ(PullAll().v, RunKernel(first->plain, first.get(), frame).v);
    const int changedBefore = below.changed.load();

    ASSERT_TRUE(Click(Child(3)));  // next
    EXPECT_EQ(Text(Child(1)), "Contrast + [soft]");
    EXPECT_EQ(Fields(), (std::vector<std::string>{"-1", "1", "-1", "1", "5", "1", "-1", "1", "-1"}));
    // The stage behind heard of it: its consumers notified, its device invalidated with
    // event 12, and the next pull is filtered with the new preset.
    EXPECT_GT(below.changed.load(), changedBefore);
    ASSERT_FALSE(cell->device.keys.empty());
    EXPECT_EQ(cell->device.keys.back(), std::make_pair(12u, 3));
    EXPECT_EQ(PullAll().v, RunKernel(second->plain, second.get(), frame).v);

    ASSERT_TRUE(Click(Child(2)));  // previous
    EXPECT_EQ(std::tuple(Text(Child(1)), Field(4)->text), std::tuple("Contrast *+ [soft]", "8"));
    EXPECT_EQ(PullAll().v, RunKernel(first->plain, first.get(), frame).v);
    // At the first preset "previous" does nothing, and nobody is told.
    const size_t invalidations = cell->device.keys.size();
    EXPECT_FALSE(Click(Child(2)));
    EXPECT_EQ(cell->device.keys.size(), invalidations);

    // On to the smoothing group: real coefficients, then the mean's ones.
    for (int i = 0; i < 9; ++i) ASSERT_TRUE(ConvolverPanelStep(panel, true));
    EXPECT_EQ(Text(Child(1)), "Contrast [horizontal]");
    ASSERT_TRUE(Click(Child(3)));
    EXPECT_EQ(Text(Child(1)), "Gaussian");
    EXPECT_EQ(Fields(), (std::vector<std::string>{"0.0927", "0.119", "0.0927", "0.119", "0.153", "0.119", "0.0927",
                                                  "0.119", "0.0927"}));
    ASSERT_TRUE(Click(Child(3)));
    EXPECT_EQ(std::tuple(Text(Child(1)), Fields()),
              std::tuple("Blur | Mean", std::vector<std::string>(9, "1")));
    auto mean = PreparedState("Blur | Mean", 1);
    EXPECT_EQ(PullAll().v, RunKernel(mean->plain, mean.get(), frame).v);

    // A faulty instance's "next" does nothing; without an owner neither arrow does.
    instance->bypass = 1;
    EXPECT_FALSE(ConvolverPanelStep(panel, true));
    instance->bypass = 0;
    ProjectItemBase* owner = host->owner;
    host->owner = nullptr;
    EXPECT_FALSE(ConvolverPanelStep(panel, false));
    host->owner = owner;
    EXPECT_EQ(Text(Child(1)), "Blur | Mean");
}

TEST_F(ConvolverPanelTest, APageOutlivingItsInstanceDoesNothing) {
    ChainRemoveAll(&host->chain);  // closes the instance; its page is detached
    state = nullptr;
    EXPECT_FALSE(ConvolverPanelStep(panel, true));
    Click(Child(3));  // no fault
    ConvolverRefreshPanel(page);
    EXPECT_EQ(Text(Child(1)), "Contrast *+ [soft]");
}

}  // namespace
}  // namespace orva
