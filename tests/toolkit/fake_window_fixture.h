#pragma once
// The toolkit on the recording backend with one framed window, text measured as the
// built-in face measures it: every character 6 wide, lines 11 high.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/fake_backend.h"
#include "toolkit/layout.h"
#include "toolkit/widget.h"

namespace orva::testing_util {

inline float SixPerChar(gFont*, const char* text) { return 6.0f * static_cast<float>(std::strlen(text)); }
inline float Eleven(gFont*) { return 11.0f; }

class FakeWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_NE(gInit(), nullptr);
        gWidgetsInstallHooks();
        saved_ = gTextHooks();
        gTextHooks() = gTextOps{};
        gTextHooks().width = SixPerChar;
        gTextHooks().lineHeight = Eleven;
        window = gWinCreateRec(10, 10, 400, 200, nullptr, nullptr, kStyleFrameClass | kStyleSysMenu);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override {
        gShutdown();
        gTextHooks() = saved_;
    }
    static gWgtTemplate Template(int32_t kind, uint32_t style, const char* text = nullptr) {
        return gWgtTemplate{.desc = {.kind = kind, .style = style, .text = text}};
    }
    // A top-level widget made from a template of the kind, style and text.
    gElement* Add(int32_t kind, uint32_t style, const char* text = nullptr, gPaintFn paint = nullptr) {
        gWgtTemplate t = Template(kind, style, text);
        t.desc.paint = paint;
        return gWgtAdd(window, nullptr, &t, 0);
    }
    platform::ScopedFakeBackend fake;
    gWindow* window = nullptr;
    gTextOps saved_;
};

}  // namespace orva::testing_util
