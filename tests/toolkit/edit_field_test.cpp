// The edit field driven through its key entry points with a font of fixed advances,
// and a copy/paste round trip through the real X clipboard (checked with xclip).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>

#include "gl_test_support.h"
#include "platform/window_backend.h"
#include "platform/x11_clipboard.h"
#include "pump_support.h"
#include "toolkit/edit_field.h"
#include "toolkit/font.h"
#include "toolkit/input.h"
#include "toolkit/number_field.h"

namespace orva {
namespace {

using namespace testing_util;

std::string gFakeClip;
bool FakeSet(const char* text, size_t length, void*) {
    gFakeClip.assign(text, length);
    return true;
}
bool FakeGet(std::string* out) {
    *out = gFakeClip;
    return !gFakeClip.empty();
}

class EditFieldTest : public ::testing::Test {
protected:
    void SetUp() override {
        for (auto& g : font.glyphs) g.advance = 6;
        font.glyphs[static_cast<uint8_t>('1')].advance = 4;
        font.listType = kListTypeBitmap;
        e.font = &font;
        e.width = 60;   // ten characters
        e.textLimit = 0;
        gWgtEditCreate(&e, nullptr, 0);
        static const gClipboardOps fake{FakeSet, FakeGet};
        gClipboardSetOps(&fake);
        gFakeClip.clear();
    }
    void TearDown() override {
        gClipboardSetOps(nullptr);
        if (gFocusWidget == &e) gFocusWidget = nullptr;
        e.font = nullptr;   // the test's font is not counted
    }
    bool Char(uint32_t c, uint32_t repeat = 0, gElement* field = nullptr) {
        gKeyDownEvent = gKeyEvent{0, c, repeat};
        return gWgtOnChar(nullptr, field != nullptr ? field : &e);
    }
    bool Key(uint32_t code, uint32_t repeat = 0) {
        gKeyDownEvent = gKeyEvent{code, 0, repeat};
        return gWgtOnKey(&e);
    }
    gEditState* s() { return gWgtEdit(&e); }
    gFont font;
    gElement e;
};

TEST_F(EditFieldTest, TypingRepeatsWithinTheLimitAndDeletes) {
    gWgtSetText(&e, "ab");
    EXPECT_EQ(s()->margin, 3);   // the smallest advance 6, halved
    gWgtEditBegin(&e);
    EXPECT_EQ(gFocusWidget, &e);
    gWgtCaretToEnd(&e, false);
    EXPECT_TRUE(Char('x', 2));   // three times
    EXPECT_EQ(e.text, "abxxx");
    EXPECT_EQ(s()->caret, 5);
    e.textLimit = 7;
    EXPECT_TRUE(Char('y', 9));   // only two fit
    EXPECT_EQ(e.text, "abxxxyy");
    EXPECT_FALSE(Char('z'));     // full
    e.textLimit = 0;
    EXPECT_TRUE(Char(8, 1));     // Backspace twice
    EXPECT_EQ(e.text, "abxxx");
    EXPECT_TRUE(Key(kKeyHome));
    EXPECT_FALSE(Char(8));       // nothing before the caret
    EXPECT_TRUE(Char(127, 1));   // Delete twice
    EXPECT_EQ(e.text, "xxx");
    EXPECT_TRUE(Key(kKeyRight | kKeyShift, 1));   // select two
    EXPECT_EQ(s()->selection, 2);
    EXPECT_TRUE(Char(24));   // Ctrl+X cuts
    EXPECT_EQ(e.text, "x");
    EXPECT_EQ(gFakeClip, "xx");
    EXPECT_FALSE(Char(2));   // other control characters are not taken
}

TEST_F(EditFieldTest, EscapeRestoresAndEnterCommits) {
    gWgtSetText(&e, "keep");
    gWgtEditBegin(&e);
    gWgtCaretToEnd(&e, false);
    Char('!');
    EXPECT_EQ(e.text, "keep!");
    EXPECT_EQ(gEditWorkWidget(), &e);
    EXPECT_TRUE(Char(27));
    EXPECT_EQ(e.text, "keep");
    EXPECT_EQ(gFocusWidget, nullptr);
    EXPECT_EQ(gEditWorkWidget(), nullptr);
    gWgtEditBegin(&e);
    gWgtCaretToEnd(&e, false);
    Char('s');
    EXPECT_TRUE(Char(13));
    EXPECT_EQ(e.text, "keeps");
    // Another field taking the focus discards the uncommitted edit.
    gWgtEditBegin(&e);
    gWgtCaretToEnd(&e, false);
    Char('?');
    gWgtEditEnd(&e);
    EXPECT_EQ(e.text, "keeps");
}

TEST_F(EditFieldTest, SelectAllWordAndNavigation) {
    EXPECT_FALSE(Char(1));   // nothing to select in an empty text
    gWgtSetText(&e, "12.5 mm/s");
    EXPECT_TRUE(Char(1));
    EXPECT_EQ(s()->caret, 0);
    EXPECT_EQ(s()->selection, 9);
    Key(kKeyHome);
    Key(kKeyRight, 5);   // caret at 6, inside "mm"
    EXPECT_EQ(s()->caret, 6);
    EXPECT_TRUE(Char(23));   // Ctrl+W
    EXPECT_EQ(s()->caret, 5);
    EXPECT_EQ(s()->selection, 2);
    EXPECT_TRUE(Key(kKeyEnd));
    EXPECT_EQ(s()->caret, 9);
    EXPECT_EQ(s()->selection, 0);
    EXPECT_TRUE(Key(kKeyLeft | kKeyCtrl));
    EXPECT_EQ(s()->caret, 8);   // "s" after the delimiter
    EXPECT_TRUE(Key(kKeyUp));
    EXPECT_FALSE(Key(kKeyF1));
    // The long text scrolls: the caret stays within the box.
    gWgtSetText(&e, "abcdefghijklmnopqrstuvwxyz");
    gWgtCaretToEnd(&e, false);
    EXPECT_EQ(s()->firstVisible, 16);
    EXPECT_EQ(s()->caretX, 60.0f);
    Key(kKeyHome);
    EXPECT_EQ(s()->firstVisible, 0);
    EXPECT_EQ(s()->visibleCount, 10);
}

TEST_F(EditFieldTest, PasteStopsAtTheLineBreakAndNumberFieldsKeepUnits) {
    gWgtSetText(&e, "<>");
    gWgtEditBegin(&e);
    Key(kKeyHome);
    Key(kKeyRight);
    gFakeClip = "one\ttwo\nthree";
    EXPECT_TRUE(Char(22));
    EXPECT_EQ(e.text, "<one two>");
    e.textAlign |= kEditReadOnly;
    EXPECT_FALSE(Key(kKeyInsert | kKeyShift));
    e.textAlign = 0;
    Char(27);

    gElement p;
    p.font = &font;
    p.width = 120;
    gWgtEditCreate(&p, nullptr, 0);
    gWgtSetNumberField(&p, kValuePercent, gValueBits(12.5));
    gWgtFormatValue(&p);
    EXPECT_EQ(p.text, "12.5%");
    gWgtEditBegin(&p);
    EXPECT_EQ(p.text, "12.5");   // unit gone while editing
    EXPECT_TRUE(Char(27, 0, &p));
    EXPECT_EQ(p.text, "12.5%");
    gWgtEditBegin(&p);
    gWgtCaretToEnd(&p, false);
    Char(8, 1, &p);
    Char('-', 0, &p);
    Char('3', 0, &p);
    EXPECT_TRUE(Char(13, 0, &p));
    EXPECT_EQ(gValueAs<double>(gWgtValueRecord(&p, false)->value), 9.0);   // "12-3" through the calculator
    EXPECT_EQ(p.text, "9%");
    p.font = nullptr;
}

// Losing the focus drops the selection everywhere it is kept, the drawn copy in the
// glyph list included, and gives back the text from before the edit.
TEST_F(EditFieldTest, KillFocusClearsTheSelectionAndRestoresTheText) {
    font.listBase = 1;   // as if the lists existed: the glyph list then mirrors the selection
    gWgtSetText(&e, "abcd");
    gWgtEditBegin(&e);
    gWgtCaretToEnd(&e, false);
    Char('!');
    EXPECT_TRUE(Char(1));
    ASSERT_NE(e.glyphList, nullptr);
    EXPECT_EQ(e.glyphList->selectionLength, 5u);
    gWgtKillFocus(&e);
    EXPECT_EQ(e.text, "abcd");
    EXPECT_EQ(std::tuple(e.value, gFocusWidget), std::tuple(0u, nullptr));
    EXPECT_EQ(gEditWorkWidget(), nullptr);
    EXPECT_EQ(s()->selection, 0);
    EXPECT_EQ(e.glyphList->selectionLength, 0u);
    // Ending the edit of a field without a working copy clears the drawn selection too.
    EXPECT_TRUE(Char(1));
    EXPECT_EQ(e.glyphList->selectionLength, 4u);
    gWgtEditEnd(&e);
    EXPECT_EQ(e.glyphList->selectionLength, 0u);
    font.listBase = 0;
}

// Edit fields made from descriptors are real edit fields: Tab walks the focus between
// them, past a label, and wraps around.
TEST(EditFieldWindowTest, TabMovesTheFocusBetweenFieldsBuiltFromDescriptors) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    gWindow* window = InitWithFrame(10, 10, 300, 200);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(gWinOpen(window, "Fields", kStyleShown));   // the window's font
    auto add = [window](int32_t kind, const char* text) {
        gWgtTemplate t{
            .desc = {.kind = kind, .style = kWsSlotFromWindow | kWsLeft | kWsNewRow, .width = 60, .text = text}};
        return gWgtAdd(window, nullptr, &t, 0);
    };
    gElement* a = add(6, "one");
    gElement* label = add(3, "label");
    gElement* b = add(6, "two");
    ASSERT_TRUE(a != nullptr && label != nullptr && b != nullptr);
    ASSERT_NE(a->font, nullptr);
    EXPECT_NE(gWgtEdit(a), nullptr);
    EXPECT_NE(b->glyphList, nullptr);
    EXPECT_EQ(gWgtEdit(label), nullptr);
    EXPECT_EQ(gWgtNextFocus(a), b);
    gWgtEditBegin(a);
    gKeyDownEvent = gKeyEvent{0, 9, 0};
    EXPECT_TRUE(gWgtOnChar(window, a));
    EXPECT_EQ(std::tuple(gFocusWidget, a->value), std::tuple(b, 0u));
    EXPECT_TRUE(gWgtOnChar(window, b));
    EXPECT_EQ(gFocusWidget, a);
    gFocusWidget = nullptr;
    gShutdown();
}

TEST_F(EditFieldTest, CopyAndPasteThroughTheXClipboard) {
    ORVA_SKIP_WITHOUT_DISPLAY();
    if (platform::ActiveBackend() == nullptr || platform::X11Display() == nullptr) GTEST_SKIP() << "no X display";
    if (std::system("command -v xclip >/dev/null 2>&1") != 0) GTEST_SKIP() << "xclip missing";
    gClipboardSetOps(nullptr);   // the real selection
    gWgtSetText(&e, "copy \xE0\xE1 me");   // two Cyrillic letters (Windows-1251)
    gWgtEditBegin(&e);
    Char(1);
    EXPECT_FALSE(Char(3));   // copies, not taken
    EXPECT_TRUE(platform::X11ClipboardOwned());
    EXPECT_EQ(RunPumping("xclip -o -selection clipboard -t UTF8_STRING"), "copy \xD0\xB0\xD0\xB1 me");
    std::string targets = RunPumping("xclip -o -selection clipboard -t TARGETS");
    EXPECT_NE(targets.find("UTF8_STRING"), std::string::npos) << targets;

    // Another program takes the selection; pasting reads its text up to the line break.
    ASSERT_EQ(std::system("printf 'pasted \\320\\262\\nsecond line' | timeout 20 xclip -i -selection clipboard -loops 1 &"), 0);
    for (int i = 0; i < 200 && platform::X11ClipboardOwned(); ++i) {
        platform::Msg msg;
        while (platform::PeekMessage(&msg, true)) {
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    ASSERT_FALSE(platform::X11ClipboardOwned());
    gWgtSetText(&e, "");
    EXPECT_TRUE(Char(22));
    EXPECT_EQ(e.text, "pasted \xE2");
    Char(27);
}

}  // namespace
}  // namespace orva
