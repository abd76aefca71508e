// Shortcut keys: folding, matching with either hand's modifiers, taking over entries,
// disabled entries, window hot keys and key names.
#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "platform/fake_backend.h"
#include "toolkit/input.h"
#include "toolkit/shortcuts.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {
namespace {

int gCalls = 0;
uint32_t gLastData = 0;
uint8_t Count(void*, uint32_t data) {
    ++gCalls;
    gLastData = data;
    return 1;
}
uint8_t Decline(void*, uint32_t) { return 0; }

class ShortcutTest : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls = 0;
        gAccelFreeGlobal();
    }
    void TearDown() override { gAccelFreeGlobal(); }
};

TEST_F(ShortcutTest, FoldingAndMatchingWithEitherHand) {
    EXPECT_EQ(gAccelFold(0xC005A), 0x4005Au);
    EXPECT_EQ(gAccelFold(0x8005A), 0x4005Au);     // right Ctrl alone
    EXPECT_EQ(gAccelFold(0x231900), 0x111900u);   // right Shift and right Alt
    EXPECT_EQ(gAccelFold(0x40005A), 0x5Au);       // the extended bit goes

    gAccel* entry = gAccelAdd(nullptr, 0xC005A, Count, 7, 0);   // Ctrl+Z
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(std::tuple(entry->key, entry->tag), std::tuple(0x4005Au, kAccelCommand));
    for (uint32_t key : {0x4005Au, 0xC005Au, 0x8005Au, 0x48005Au}) {
        EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, key), 1) << std::hex << key;
    }
    EXPECT_EQ(std::tuple(gCalls, gLastData), std::tuple(4, 7u));
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x5A), 0);      // no Ctrl
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x1405A), 0);   // Ctrl+Shift
    gKeyDownEvent = gKeyEvent{0x8005A, 0, 0};
    EXPECT_EQ(gAccelDispatch(nullptr, nullptr), 1);
    EXPECT_TRUE(gAccelDispatchBoth(nullptr, 0x8005A));

    // A declining handler leaves the key unconsumed; a disabled entry swallows it.
    gAccelAdd(nullptr, 0x300900, Decline, 0, 0);   // Alt+F9
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x200900), 0);
    gAccel* off = gAccelAdd(nullptr, 0x31900, Count, 0, 1);   // Shift+ESC, disabled
    ASSERT_NE(off, nullptr);
    int before = gCalls;
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x21900), 1);
    EXPECT_EQ(gCalls, before);

    EXPECT_EQ(gAccelAdd(nullptr, 0x45, nullptr, 0, 0), nullptr);   // no handler
    EXPECT_EQ(gAccelAdd(nullptr, 0x400000, Count, 0, 0), nullptr);  // folds to 0
    EXPECT_TRUE(gAccelRemove(entry));
    EXPECT_FALSE(gAccelRemove(nullptr));
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x4005A), 0);
}

TEST_F(ShortcutTest, KindsRankAndTakeOverInPlace) {
    gElement button;
    gAccel* press = gAccelAddWidget(&button, 0xC0041, kAccelPress, true, 0);
    ASSERT_NE(press, nullptr);
    EXPECT_EQ(press->widget, &button);
    EXPECT_EQ(gWgtShortcutKey(&button), 0x40041u);
    EXPECT_EQ(gAccelAddWidget(&button, 0x40041, kAccelPress, true, 0), nullptr);   // same kind
    EXPECT_EQ(gAccelAddWidget(&button, 0x40041, FourCC("XXXX"), true, 0), nullptr);
    gAccel* tail = gAccelAdd(nullptr, 0x42, Count, 0, 0);
    gAccel* widgetKey = gAccelAddWidget(&button, 0x80041, kAccelWidgetKey, true, 0);
    EXPECT_EQ(widgetKey, press);   // taken over in place
    EXPECT_EQ(widgetKey->tag, kAccelWidgetKey);
    gAccel* command = gAccelAdd(nullptr, 0x40041, Count, 3, 0);
    EXPECT_EQ(std::tuple(command, command->tag, command->widget), std::tuple(press, kAccelCommand, nullptr));
    EXPECT_EQ(gAccelGlobal()->head, command);
    EXPECT_EQ(gAccelGlobal()->tail, tail);
    EXPECT_EQ(gAccelAdd(nullptr, 0x40041, Count, 4, 0), nullptr);   // a command is never replaced
    EXPECT_EQ(gAccelAddWidget(&button, 0x40041, kAccelWidgetKey, true, 0), nullptr);
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0xC0041), 1);
    EXPECT_EQ(gLastData, 3u);
}

TEST_F(ShortcutTest, HotKeysOfWindows) {
    platform::ScopedFakeBackend fake;
    ASSERT_NE(gInit(), nullptr);
    gWindow* window = gWinCreateRec(10, 10, 200, 100, nullptr, nullptr, kStyleFrameClass);
    ASSERT_NE(window, nullptr);
    EXPECT_TRUE(gWinSetHotKey(window, kCloseKeyDefault));
    EXPECT_NE(window->style & kStyleCloseKey, 0u);
    EXPECT_TRUE(gWinSetHotKey(window, 0xC0051));   // Ctrl+Q
    EXPECT_EQ(std::tuple(window->closeKey, window->style & kStyleCloseKey), std::tuple(0x40051u, 0u));
    EXPECT_FALSE(gWinSetHotKey(nullptr, 0x51));
    // A window's list takes its own shortcuts; the global list does not see them.
    ASSERT_NE(gAccelAdd(window, 0xC0046, Count, 9, 0), nullptr);
    EXPECT_EQ(gAccelDispatchKey(nullptr, nullptr, 0x40046), 0);
    EXPECT_EQ(gAccelDispatchKey(window, window, 0x80046), 1);
    EXPECT_EQ(gLastData, 9u);
    gShutdown();
}

TEST_F(ShortcutTest, KeyNames) {
    struct Case {
        uint32_t key;
        const char* name;
    };
    const Case cases[] = {
        {0x10000 | 0x40000 | 0x500, "Ctrl+Shift+F5"},
        {0xC0000 | 0x300000 | 0x5A, "Ctrl+Z"},   // Ctrl and Alt: Ctrl only
        {0x200000 | 0x49, "Alt+I"},
        {0x31900, "Shift+ESC"},
        {0x2700, "Gray+"},
        {0x1C00, "NUM0"},
        {0xE00, "BackSpace"},
        {0x2A00, "Gray/"},
        {0x1800, "Del"},
        {0x40000 | 0x20, "Ctrl+Space"},
        {0x2B, "Plus"},
        {0x2D, "Minus"},
        {0xC0051, "Ctrl+Q"},
    };
    char buffer[64];
    for (const Case& c : cases) {
        EXPECT_TRUE(gKeyName(buffer, c.key)) << c.name;
        EXPECT_STREQ(buffer, c.name);
    }
    EXPECT_FALSE(gKeyName(buffer, 0x07));      // no special key, not printable
    EXPECT_STREQ(buffer, "");
    EXPECT_FALSE(gKeyName(buffer, 0x4300));    // no name for number 67
}

}  // namespace
}  // namespace orva
