// The CLIPBOARD selection on a real X server, checked with xclip (skipped without a
// display or without xclip).
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <future>
#include <string>
#include <thread>

#include "platform/msg_queue.h"
#include "platform/window_backend.h"
#include "platform/x11_backend.h"
#include "platform/x11_clipboard.h"
#include "pump_support.h"

namespace orva::platform {
namespace {

using testing_util::RunPumping;

void PumpUntilNotOwned() {
    for (int i = 0; i < 300 && X11ClipboardOwned(); ++i) {
        Msg msg;
        while (PeekMessage(&msg, true)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
}

TEST(X11ClipboardTest, ServesTargetsAndReadsOtherOwners) {
    if (std::getenv("DISPLAY") == nullptr || ActiveBackend() == nullptr || X11Display() == nullptr) {
        GTEST_SKIP() << "no X display";
    }
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip missing";

    // Windows-1251 "\xC4\xE0" is U+0414 U+0430; Latin-1 has neither.
    const std::string text = "x=1 \xC4\xE0";
    ASSERT_TRUE(X11ClipboardSetText(text.data(), text.size()));
    EXPECT_TRUE(X11ClipboardOwned());
    EXPECT_EQ(RunPumping("xclip -o -selection clipboard"), "x=1 \xD0\x94\xD0\xB0");
    EXPECT_EQ(RunPumping("xclip -o -selection clipboard -t STRING"), "x=1 ??");
    std::string targets = RunPumping("xclip -o -selection clipboard -t TARGETS");
    for (const char* name : {"TARGETS", "UTF8_STRING", "STRING"}) {
        EXPECT_NE(targets.find(name), std::string::npos) << targets;
    }
    std::string back;
    ASSERT_TRUE(X11ClipboardGetText(&back, 1000));   // our own text, without a round trip
    EXPECT_EQ(back, text);

    // Another owner: its UTF-8 text comes back in Windows-1251; the length is bounded.
    ASSERT_EQ(std::system("printf 'from xclip \\320\\224' | timeout 20 xclip -i -selection clipboard -loops 1 &"), 0);
    PumpUntilNotOwned();
    ASSERT_FALSE(X11ClipboardOwned());
    ASSERT_TRUE(X11ClipboardGetText(&back, 1000));
    EXPECT_EQ(back, "from xclip \xC4");

    // That owner served one request and left: nobody owns the selection now (or the
    // answer does not come in time), so reading fails within its bound.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(X11ClipboardGetText(&back, 300));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_TRUE(back.empty());
    EXPECT_FALSE(X11ClipboardSetText(nullptr, 0));
}

}  // namespace
}  // namespace orva::platform
