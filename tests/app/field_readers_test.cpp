// Edit-field readers and the small control routines of the panels.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <tuple>
#include <vector>

#include "app/field_readers.h"
#include "shell_fixture.h"
#include "toolkit/font.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

class FieldReadersTest : public testing_util::ShellTest {
protected:
    void SetUp() override {
        Start();
        gWgtTemplate t{.desc = {.kind = 6, .style = 0x24000, .width = 80, .height = 15}};
        field = gWgtAdd(Main(), nullptr, &t, 0);
        ASSERT_NE(field, nullptr);
        SetGroupStatus(0, 0, 0, nullptr);
    }
    gElement* Toggle(uint32_t value) {
        gWgtTemplate t{.desc = {.kind = 38, .style = 0x24000, .width = 15, .height = 15}};
        gElement* e = gWgtAdd(Main(), nullptr, &t, 0);
        e->value = value;
        return e;
    }
    gElement* field = nullptr;
};

TEST_F(FieldReadersTest, NumbersWithinTheirTypes) {
    // A plain number takes no sign; an expression does.
    struct IntCase {
        const char* text;
        bool expression;
        int32_t value;
    };
    for (IntCase c : {IntCase{"3e9", false, 2147483647}, {"-3e9", true, -2147483647 - 1}, {"2.5", false, 3},
                      {"-2.5", true, -3}, {"  17", false, 17}}) {
        gWgtSetText(field, c.text);
        int32_t v = 0;
        EXPECT_TRUE(ReadFieldInt(field, &v, c.expression)) << c.text;
        EXPECT_EQ(v, c.value) << c.text;
    }
    int32_t unchanged = 5;
    gWgtSetText(field, "-2.5");
    EXPECT_FALSE(ReadFieldInt(field, &unchanged, false));
    EXPECT_EQ(unchanged, 5);
    uint32_t u = 0;
    gWgtSetText(field, "5e9");
    EXPECT_TRUE(ReadFieldUInt(field, &u, false));
    EXPECT_EQ(u, 4294967295u);
    int64_t big = 0;
    gWgtSetText(field, "9223372036854775807");
    EXPECT_TRUE(ReadFieldInt64(field, &big, false));
    EXPECT_EQ(big, INT64_MAX);
    // Values beyond the float range are clamped to it, as the toolkit reads them.
    float f = 0;
    gWgtSetText(field, "1e39");
    EXPECT_TRUE(ReadFieldFloat(field, &f, false));
    EXPECT_EQ(f, 3.4028234663852886e38f);
    double d = 1;
    gWgtSetText(field, "1e-308");
    EXPECT_TRUE(ReadFieldDouble(field, &d, false));
    EXPECT_EQ(d, 0.0);
    gWgtSetText(field, "abc");
    EXPECT_FALSE(ReadFieldDouble(field, &d, false));
    EXPECT_EQ(cui().groups[0].statusWidget->text, "Ready");  // plain reads report nothing
}

TEST_F(FieldReadersTest, ExpressionsAndTheCalculatorsComplaint) {
    double d = 0;
    gWgtSetText(field, "2*(3+4)");
    EXPECT_TRUE(ReadFieldDouble(field, &d, true));
    EXPECT_EQ(d, 14.0);
    EXPECT_EQ(cui().groups[0].statusWidget->text, "Ready");
    gWgtSetText(field, "2*(3+");
    EXPECT_FALSE(ReadFieldDouble(field, &d, true));
    gElement* line = cui().groups[0].statusWidget;
    EXPECT_NE(line->text, "Ready");
    EXPECT_FALSE(line->text.empty());
    EXPECT_EQ(line->textColor, kStatusErrorColour);
    int32_t i = 0;
    gWgtSetText(field, "7/2.0");
    EXPECT_TRUE(ReadFieldInt(field, &i, true));
    EXPECT_EQ(i, 4);  // 3.5 rounds away from zero
    // A number too long for the calculator to read whole is refused, and the status
    // line says so; the value stays.
    d = 5;
    gWgtSetText(field, ("0." + std::string(300, '0') + "1e300").c_str());
    EXPECT_FALSE(ReadFieldDouble(field, &d, true));
    EXPECT_EQ(d, 5.0);
    EXPECT_EQ(line->text, "very big string");
    EXPECT_EQ(line->textColor, kStatusErrorColour);
}

TEST_F(FieldReadersTest, ControlRoutines) {
    uint32_t own = field->color1;
    EXPECT_TRUE(MarkFieldColor(field, true));
    EXPECT_EQ(field->color1, kFieldMarkColour);
    EXPECT_FALSE(MarkFieldColor(field, true));  // unchanged
    EXPECT_TRUE(SetFieldEnabled(field, false));
    EXPECT_EQ(field->color1, own);

    // Radio groups: the others take the inverse of the pressed toggle.
    std::vector<gElement*> toggles = {Toggle(1), Toggle(1), Toggle(0)};
    UpdateRadioGroup(toggles.data(), 3, toggles[2]);
    EXPECT_EQ(std::vector<uint32_t>({toggles[0]->value, toggles[1]->value, toggles[2]->value}),
              std::vector<uint32_t>({1, 1, 0}));
    toggles[2]->value = 1;
    UpdateRadioGroupNow(toggles.data(), 3, toggles[2]);
    EXPECT_EQ(std::vector<uint32_t>({toggles[0]->value, toggles[1]->value, toggles[2]->value}),
              std::vector<uint32_t>({0, 0, 1}));
    UpdateRadioGroup(toggles.data(), 1, toggles[0]);  // one toggle: nothing changes
    EXPECT_EQ(toggles[0]->value, 0u);

    SetToggleGlyph(toggles[2]);
    EXPECT_EQ(toggles[2]->text, "\x0F");
    SetToggleGlyph(toggles[0]);
    EXPECT_EQ(toggles[0]->text, "\x10");

    uint8_t flag = 1;
    EXPECT_STREQ(EntryName(nullptr, &flag), " ");
    EXPECT_EQ(flag, 0);
    EXPECT_STREQ(EntryName(toggles[0], nullptr), "\x10");

    // Repaints: below 3 nothing, 5 only marks the window, 7 paints and swaps at once.
    gWindow* w = Main();
    w->dirty = 0;
    RepaintWindowNow(w, 2);
    EXPECT_EQ(w->dirty, 0u);
    RepaintWindowNow(w, 5);
    EXPECT_EQ(w->dirty, 7u);
    int swaps = Fake().swaps;
    RepaintWindowNow(w, 7);
    EXPECT_EQ(Fake().swaps, swaps + 1);
    EXPECT_EQ(w->dirty, 0u);

    // The UI font is made on first use as the window's second font (bold 10-pixel Arial,
    // Cyrillic) and the same record is handed out again; no window, no font.
    gWindow* fresh = gWinCreateRec(20, 20, 120, 80, nullptr, nullptr, kStyleSysMenu);
    ASSERT_NE(fresh, nullptr);
    ASSERT_EQ(fresh->extraFont, nullptr);
    gFont* ui = GetUIFont(fresh);
    ASSERT_NE(ui, nullptr);
    EXPECT_EQ(fresh->extraFont, ui);
    EXPECT_NE(ui, fresh->font);
    ASSERT_NE(ui->faceName, nullptr);
    ASSERT_NE(ui->logParams, nullptr);
    EXPECT_EQ(std::make_tuple(std::string(ui->faceName), ui->logParams->height, ui->logParams->weight, ui->charset),
              std::make_tuple(std::string("Arial"), -10, 600, 204));
    const int32_t refs = ui->refCount;
    EXPECT_EQ(GetUIFont(fresh), ui);
    EXPECT_EQ(ui->refCount, refs);
    EXPECT_EQ(GetUIFont(nullptr), nullptr);
    gUiCloseQuiet(fresh);
}

}  // namespace
}  // namespace orva
