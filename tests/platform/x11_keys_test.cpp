#include "platform/x11_keys.h"

#include <X11/keysym.h>
#include <gtest/gtest.h>

namespace orva::platform {
namespace {

TEST(X11Keys, KeysymTable) {
    struct Case {
        unsigned long keysym, level0;
        unsigned keycode;
        uint32_t vk;
        bool extended;
    };
    const Case cases[] = {
        // Letters and digits from the first level, whatever the layout's symbol.
        {XK_a, XK_a, 38, 'A', false},
        {XK_Z, XK_z, 52, 'Z', false},
        {XK_Cyrillic_ef, XK_a, 38, 'A', false},  // Russian layout in the second group
        {XK_Cyrillic_ef, XK_Cyrillic_ef, 38, 'A', false},  // only Cyrillic: US position
        {XK_exclam, XK_1, 10, '1', false},
        {XK_Cyrillic_yu, XK_Cyrillic_yu, 60, kVkOemPeriod, false},
        {XK_colon, XK_semicolon, 47, kVkOem1, false},
        {XK_bracketleft, XK_bracketleft, 34, kVkOem4, false},
        {XK_apostrophe, XK_apostrophe, 48, kVkOem7, false},
        {XK_grave, XK_grave, 49, kVkOem3, false},
        {XK_space, XK_space, 65, kVkSpace, false},
        // Keypad with NumLock, without, and its Enter and divide.
        {XK_KP_7, XK_KP_Home, 79, kVkNumpad0 + 7, false},
        {XK_KP_Home, XK_KP_Home, 79, kVkHome, false},
        {XK_KP_Decimal, XK_KP_Delete, 91, kVkDecimal, false},
        {XK_KP_Delete, XK_KP_Delete, 91, kVkDelete, false},
        {XK_KP_Enter, XK_KP_Enter, 104, kVkReturn, true},
        {XK_KP_Divide, XK_KP_Divide, 106, kVkDivide, true},
        {XK_KP_Multiply, XK_KP_Multiply, 63, kVkMultiply, false},
        {XK_KP_Begin, XK_KP_Begin, 84, kVkClear, false},
        // The main navigation keys are extended.
        {XK_Home, XK_Home, 110, kVkHome, true},
        {XK_Left, XK_Left, 113, kVkLeft, true},
        {XK_Delete, XK_Delete, 119, kVkDelete, true},
        {XK_Next, XK_Next, 117, kVkNext, true},
        {XK_Return, XK_Return, 36, kVkReturn, false},
        // Modifiers: generic codes; right Ctrl and Alt extended.
        {XK_Control_L, XK_Control_L, 37, kVkControl, false},
        {XK_Control_R, XK_Control_R, 105, kVkControl, true},
        {XK_Alt_R, XK_Alt_R, 108, kVkMenu, true},
        {XK_ISO_Level3_Shift, XK_ISO_Level3_Shift, 108, kVkMenu, true},
        {XK_Shift_R, XK_Shift_R, 62, kVkShift, false},
        {XK_F1, XK_F1, 67, kVkF1, false},
        {XK_F12, XK_F12, 96, kVkF1 + 11, false},
        {XK_Escape, XK_Escape, 9, kVkEscape, false},
        {XK_BackSpace, XK_BackSpace, 22, kVkBack, false},
        {XK_ISO_Left_Tab, XK_Tab, 23, kVkTab, false},
        {0x1008FF11UL, 0x1008FF11UL, 122, 0, false},  // a media key: no code
    };
    for (const Case& c : cases) {
        KeyTranslation t = TranslateKeysym(c.keysym, c.level0, c.keycode);
        EXPECT_EQ(t.vk, c.vk) << std::hex << c.keysym;
        EXPECT_EQ(t.extended, c.extended) << std::hex << c.keysym;
    }
}

TEST(X11Keys, Cp1251Characters) {
    // Independent values: python3 bytes.decode("cp1251"); -1: not in the code page.
    const std::pair<unsigned long, int> keysyms[] = {
        {XK_a, 'a'}, {XK_Cyrillic_a, 0xE0}, {XK_Cyrillic_YA, 0xDF}, {XK_Cyrillic_yu, 0xFE},
        {XK_Cyrillic_io, 0xB8}, {XK_Cyrillic_IO, 0xA8}, {XK_Ukrainian_i, 0xB3}, {XK_numerosign, 0xB9},
        {XK_EuroSign, 0x88}, {XK_section, 0xA7}, {XK_eacute, -1}, {XK_Left, -1},
        {0x1002014UL, 0x97},  // Unicode keysym: em dash
    };
    for (auto [keysym, code] : keysyms) EXPECT_EQ(KeysymToCp1251(keysym), code) << std::hex << keysym;
    EXPECT_EQ(UnicodeToCp1251(0x490), 0xA5);
    EXPECT_EQ(UnicodeToCp1251(0x98), -1);
}

TEST(X11Keys, ModifierTracking) {
    ResetKeyStateForTest();
    KeyTrackState(kVkControl, true, true);
    KeyTrackState(kVkShift, false, true);
    EXPECT_EQ(KeyModifierState(), kModRCtrl | kModLShift);
    EXPECT_TRUE(KeyIsDown(kVkRControl));
    EXPECT_FALSE(KeyIsDown(kVkLControl));
    EXPECT_TRUE(KeyIsDown(kVkControl));
    KeyTrackState(kVkControl, false, true);
    KeyTrackState(kVkControl, true, false);
    EXPECT_TRUE(KeyIsDown(kVkControl));  // left still held
    KeyTrackState(kVkControl, false, false);
    EXPECT_FALSE(KeyIsDown(kVkControl));
    EXPECT_EQ(KeyModifierState(), kModLShift);
    KeyTrackState('A', false, true);
    EXPECT_TRUE(KeyIsDown('A'));
    ResetKeyStateForTest();
    EXPECT_EQ(KeyModifierState(), 0u);
    EXPECT_FALSE(KeyIsDown('A'));
}

}  // namespace
}  // namespace orva::platform
