// Key messages translated into key codes and characters, the drag position rules and the
// triple-click window.
#include <gtest/gtest.h>

#include <utility>

#include "platform/x11_keys.h"
#include "toolkit/input.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

namespace pf = orva::platform;

pf::LParam KeyData(int character, uint32_t mods, bool extended = false, bool wasDown = false) {
    uint64_t data = 1;
    if (character >= 0) data |= (static_cast<uint64_t>(character) << pf::kKeyDataCharShift) | pf::kKeyDataHasChar;
    data |= static_cast<uint64_t>(mods) << pf::kKeyDataModShift;
    if (extended) data |= pf::kKeyDataExtended;
    if (wasDown) data |= pf::kKeyDataWasDown;
    return static_cast<pf::LParam>(data);
}

TEST(InputKeysTest, KeyDownTranslation) {
    struct Case {
        uint32_t vk;
        pf::LParam data;
        int result;
        gKeyCode code;
        uint32_t character;
    };
    const Case cases[] = {
        {pf::kVkShift, KeyData(-1, pf::kModLShift), 1, kKeyShiftL, 0},  // Shift alone has a code
        {pf::kVkDecimal, KeyData('.', 0), 0, 0, 0},                     // pad decimal: none
        {pf::kVkDecimal, KeyData('.', pf::kModLCtrl), 1, kKeyCtrlL, '.'},
        {pf::kVkDelete, KeyData(-1, 0, true), 1, kKeyDelete | kKeyExtended, 127},
        {'A', KeyData('a', 0), 1, 'A', 'a'},
        {'A', KeyData(1, pf::kModRCtrl), 1, kKeyCtrlR | 'A', 1},
        {'F', KeyData(0xE0, 0), 1, 'F', 0xE0},  // Cyrillic a on the F key
        {pf::kVkF1 + 4, KeyData(-1, pf::kModRAlt), 1, KeyF(5) | kKeyAltR, 0},
        {pf::kVkNumpad0 + 7, KeyData('7', 0), 1, 0x2300, '7'},
        {pf::kVkDivide, KeyData('/', 0, true), 1, kKeyPadDivide | kKeyExtended, '/'},
        {pf::kVkReturn, KeyData(13, 0, true), 1, kKeyEnter | kKeyExtended, 13},
        {pf::kVkOem1, KeyData(';', 0), 1, 0xBA, ';'},
        {pf::kVkSpace, KeyData(' ', pf::kModLShift), 1, kKeyShiftL | 0x20, ' '},
        {pf::kVkCapital, KeyData(-1, 0), 0, 0, 0},
    };
    for (const Case& c : cases) {
        gKeyEvent e{0xFFFF, 0xFF, 0};
        EXPECT_EQ(gKeyToChar(&e, c.vk, c.data) & 0xFF, c.result) << std::hex << c.vk;
        EXPECT_EQ(e.code, c.code) << std::hex << c.vk;
        EXPECT_EQ(e.character, c.character) << std::hex << c.vk;
    }
    gKeyEvent e;
    gKeyToChar(&e, 'B', KeyData('b', 0, false, true));
    EXPECT_EQ(e.repeat, 1u);  // an auto-repeated key carries the message's count
    gKeyToChar(&e, 'B', KeyData('b', 0));
    EXPECT_EQ(e.repeat, 0u);
}

TEST(InputKeysTest, KeyUpTranslation) {
    gKeyUpRecord up;
    gKeyUpToChar(&up, pf::kVkShift, KeyData(-1, 0));
    EXPECT_EQ(up.code, kKeyShift);  // both gone
    gKeyUpToChar(&up, pf::kVkShift, KeyData(-1, pf::kModRShift));
    EXPECT_EQ(up.code, kKeyShiftL);  // right one still held
    gKeyUpToChar(&up, pf::kVkControl, KeyData(-1, pf::kModLShift, true));
    EXPECT_EQ(up.code, kKeyCtrl | kKeyExtended);
    gKeyUpToChar(&up, pf::kVkRight, KeyData(-1, pf::kModLCtrl, true));
    EXPECT_EQ(up.code, kKeyRight | kKeyExtended);
    gKeyUpToChar(&up, 'Q', KeyData('q', 0));
    EXPECT_EQ(up.code, uint32_t{'Q'});
    EXPECT_EQ(up.character, uint32_t{'q'});
}

TEST(InputKeysTest, DragPositionAndTripleClick) {
    gWindow window;
    window.clientWidth = 200;
    window.clientHeight = 100;
    gElement e;
    e.window = &window;
    e.width = 20;
    e.height = 10;
    e.x = 30;
    e.y = 40;
    struct Case {
        uint32_t flags, style;
        int32_t cx, cy;
        float x, y;
    };
    gDragGrab[0] = 5;
    gDragGrab[1] = 7;
    const Case cases[] = {
        {0x3, 0, 50, 60, 45, 53},               // cursor minus grab
        {0x1, 0, 50, 60, 45, -1},               // y untouched
        {0x1, 0x10000, 50, 60, 15, -1},         // mirrored: 2 * drawn - (cursor - grab)
        {0xB, 0, 50, 60, 50, 60},               // the cursor itself
        {0x1B, 0, 50, 60, 40, 60},              // centred in x
        {0x9, 0x10000, 50, 60, 150, -1},        // from the right edge
        {0x4B, 0, -30, 95, 0, 90},              // kept inside the client area
        {0x2A, 0x80000, 50, 60, -1, 35},        // from the bottom, centred in y
    };
    for (const Case& c : cases) {
        e.dragFlags = c.flags;
        e.style = c.style;
        gCursorPos = pf::Point{c.cx, c.cy};
        float out[2] = {-1, -1};
        gWgtDragPos(&e, out);
        EXPECT_EQ(out[0], c.x) << std::hex << c.flags;
        EXPECT_EQ(out[1], c.y) << std::hex << c.flags;
    }
    e.window = nullptr;
    gCursorPos = pf::Point{};
    // The window ends 900 ms on; the clock never runs back.
    for (auto [later, inside] : {std::pair{1000, true}, {1899, true}, {1900, false}, {999, false}})
        EXPECT_EQ(gIsTripleClickTime(1000, later), inside) << later;
}

}  // namespace
}  // namespace orva
