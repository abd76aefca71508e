// The affine filter's settings page on a toolkit window of its own: the texts it shows,
// "Lock" switching the seventeen geometry controls, a refused typed zoom showing the
// present factor again, and a click on a zoom step button through the X server.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "../affine_test_support.h"
#include "processing/modules/affine_panel.h"
#include "toolkit/gl_test_support.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"

namespace orva {
namespace {

using namespace testing_util;

class AffinePanelGuiTest : public ::testing::Test {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        window = InitWithFrame(60, 60, 240, 200);
        ASSERT_NE(window, nullptr);
        ASSERT_TRUE(gWinOpen(window, "Affine", kStyleShown));
        PumpFor(200);
        FocusWindow(window);
        chain = new AffineChain(MakeFrame(64, 32, 1), 0x40);
        page = chain->instance->callbacks.pageBuilder(chain->instance, window);
        panel = AffinePanelOf(page);
        ASSERT_NE(panel, nullptr);
        chain->instance->settingsPage = page;
    }
    void TearDown() override {
        if (window == nullptr) return;
        FakeButton(false);
        delete chain;  // the instance goes: the page stops acting on it
        gShutdown();
    }
    int Enabled() const {
        int n = 0;
        for (const gElement* e : panel->geometry) n += e != nullptr && e->enabled != 0 ? 1 : 0;
        return n;
    }
    void Click(const gElement* e) {
        FakeMotionIn(window, static_cast<int>(e->x + e->cellWidth / 2), static_cast<int>(e->y + e->cellHeight / 2));
        FakeButton(true);
        PumpFor(40);
        FakeButton(false);
        PumpFor(60);
    }

    gWindow* window = nullptr;
    AffineChain* chain = nullptr;
    void* page = nullptr;
    AffinePanel* panel = nullptr;
};

TEST_F(AffinePanelGuiTest, TextsLockAndRefusedZoom) {
    EXPECT_EQ(std::tuple(panel->method->text, panel->mode->text, panel->geometry[kAffineOrder]->text),
              std::tuple(std::string("Scale, Rotate, Flipping"), std::string("Bilinear"),
                         std::string("Rotate -> Scale")));
    EXPECT_EQ(std::tuple(panel->geometry[kAffineZoomX]->text, panel->geometry[kAffineZoomY]->text,
                         panel->geometry[kAffineAngle]->text),
              std::tuple(std::string("100%"), std::string("100%"), std::string("0.0")));
    for (const gElement* e : panel->geometry) ASSERT_NE(e, nullptr);
    // "Lock" clear at the start: the geometry controls take no input; set, all 17 do.
    EXPECT_EQ(Enabled(), 0);
    AffinePanelSetLock(panel, true);
    EXPECT_EQ(Enabled(), kAffineGeometryControls);
    AffinePanelSetLock(panel, false);
    EXPECT_EQ(Enabled(), 0);
    EXPECT_EQ(std::tuple(panel->filter->enabled, panel->lock->enabled, panel->methodNext->enabled),
              std::tuple(1, 1, 1));

    AffinePanelSetLock(panel, true);
    gElement* x = panel->geometry[kAffineZoomX];
    gWgtSetText(x, "0");
    x->onChange(x, x->handlerData);
    EXPECT_EQ(std::tuple(x->text, chain->Record().zoomX), std::tuple(std::string("100%"), 1.0));
    gWgtSetText(x, "12.5");
    x->onChange(x, x->handlerData);
    EXPECT_EQ(std::tuple(x->text, chain->Record().zoomX), std::tuple(std::string("12.5%"), 0.125));
    EXPECT_EQ(panel->geometry[kAffineZoomY]->text, "100%");  // typing leaves the other axis
}

TEST_F(AffinePanelGuiTest, AClickOnAStepButtonStepsTheZoomOnceLocked) {
    gElement* up = panel->geometry[kAffineZoomX + 3];
    gRepeatCount = 0;
    Click(up);  // inactive: nothing happens
    EXPECT_EQ(chain->Record().zoomX, 1.0);
    Click(panel->lock);
    EXPECT_EQ(std::tuple(panel->lock->value, Enabled()), std::tuple(1u, kAffineGeometryControls));
    Click(up);
    // Linked: both axes went up by the plain step (no modifier key held).
    EXPECT_NEAR(chain->Record().zoomX, 1.001, 1e-12);
    EXPECT_NEAR(chain->Record().zoomY, 1.001, 1e-12);
    EXPECT_EQ(panel->geometry[kAffineZoomX]->text, "100.1%");
    Click(panel->geometry[kAffineDefault]);
    EXPECT_EQ(std::tuple(chain->Record().zoomX, panel->geometry[kAffineZoomY]->text),
              std::tuple(1.0, std::string("100%")));
}

}  // namespace
}  // namespace orva
