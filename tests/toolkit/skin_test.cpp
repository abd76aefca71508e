// The "Default" skin module and its style records.
#include <gtest/gtest.h>

#include <cstring>
#include <tuple>

#include "toolkit/painters.h"
#include "toolkit/skin.h"

namespace orva {
namespace {

TEST(SkinTest, ModuleIdentityAndGeneralRecord) {
    gSkinModule* skin = gSkinGet();
    ASSERT_NE(skin, nullptr);
    EXPECT_EQ(skin, gSkinGet());
    uint64_t id = skin->Identifier();
    char text[9] = {};
    std::memcpy(text, &id, 8);  // first character in the lowest byte (little-endian host)
    EXPECT_STREQ(text, "ModGLbrd");
    EXPECT_EQ(skin->Version(), 65536u);
    EXPECT_STREQ(skin->Name(), "Default");
    EXPECT_EQ(skin->Reserved(), 1u);
    const gGeneralRecord* general = skin->GeneralRecord();
    ASSERT_NE(general, nullptr);
    EXPECT_EQ(general->caretPainter, &gPaintCaret);
    const uint32_t offsets[9] = {4, 12, 20, 32, 10, 24, 32, 44, 60};
    const uint32_t parameters[9] = {49, 32, 26, 20, 10, 15, 40, 10, 0};
    EXPECT_EQ(std::memcmp(general->shades->offsets, offsets, sizeof offsets), 0);
    EXPECT_EQ(std::memcmp(general->shades->parameters, parameters, sizeof parameters), 0);
    EXPECT_EQ(general->editDefaults[0] | general->editDefaults[1], 0u);
}

TEST(SkinTest, StyleRecordsByKind) {
    const gSkinModule* skin = gSkinGet();
    int present = 0;
    for (int kind = -2; kind <= 600; ++kind) {
        const gStyleRecord* record = skin->StyleForKind(kind);
        bool expected = kind == 2 || (kind >= 3 && kind <= 12) || (kind >= 14 && kind <= 19) ||
                        (kind >= 36 && kind <= 60 && kind != 41 && kind != 48 && kind != 49 && kind != 54);
        EXPECT_EQ(record != nullptr, expected) << kind;
        if (record == nullptr) continue;
        ++present;
        EXPECT_EQ(std::tuple(record->kind, record->slotMask, record->colour1), std::tuple(kind, 0xFC000u, 0x70000000u));
        EXPECT_EQ(record->colourCount, 1u);
        EXPECT_EQ(record->extraFlags, kind == 2 ? 0x88001u : 0x20000000u);
        EXPECT_NE(record->painter, nullptr);
    }
    EXPECT_EQ(present, 38);
    // Shared painters, distinct sizes.
    EXPECT_EQ(skin->StyleForKind(9)->painter, skin->StyleForKind(10)->painter);
    EXPECT_EQ(skin->StyleForKind(11)->painter, &gPaintPanelLabel);
    EXPECT_EQ(skin->StyleForKind(12)->painter, &gPaintPanelLabel);
    EXPECT_FLOAT_EQ(skin->StyleForKind(11)->size->width, -1.0f);
    EXPECT_FLOAT_EQ(skin->StyleForKind(11)->size->height, -1.0f);
    EXPECT_FLOAT_EQ(skin->StyleForKind(12)->size->width, 15.0f);
    // Check box: 12 x 12 with its origin offset; the edit field's extra pair and state.
    const gStyleRecord* box = skin->StyleForKind(2);
    EXPECT_EQ(std::tuple(box->size->width, box->size->origin[0]), std::tuple(12.0f, 4.0f));
    EXPECT_EQ(box->colour1Fallback, 0x04676A6Au);
    const gStyleRecord* edit = skin->StyleForKind(6);
    ASSERT_NE(edit->extra, nullptr);
    EXPECT_EQ(std::tuple(edit->extra->pair[0], edit->state->words[1]), std::tuple(8u, 0x01010101u));
    EXPECT_EQ(edit->size->text->flags, 0x44000u);
    EXPECT_EQ(skin->StyleForKind(53)->size->text->flags, 0x50020u);
    EXPECT_FLOAT_EQ(skin->StyleForKind(42)->size->text->inset, 19.0f);
    EXPECT_EQ(skin->StyleForKind(39)->styleFlags, 0x21000000u);
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

TEST(PainterGeometryTest, SlotMirrorsAndTwoStateMark) {
    struct Case {
        uint32_t style;
        int x, y;
    };
    const Case cases[] = {
        {0, 1, 1},              // no slot: no change
        {0x24000, 1, -1},       // top-left: mirror in y
        {0x30000, -1, -1},      // top-right: turned by 180 degrees
        {0x84000, 1, 1},        // bottom-left: no change
        {0x90000, -1, 1},       // bottom-right: mirror in x
    };
    for (const Case& c : cases) {
        int sx = 0, sy = 0;
        gSlotMirror(c.style, &sx, &sy);
        EXPECT_EQ(sx, c.x) << std::hex << c.style;
        EXPECT_EQ(sy, c.y) << std::hex << c.style;
    }
    EXPECT_FLOAT_EQ(gTwoStateMarkX(40, 10, true), 26.0f);
    EXPECT_FLOAT_EQ(gTwoStateMarkX(40, 10, false), 15.0f);
    EXPECT_FLOAT_EQ(gTwoStateMarkX(12, 10, true), 0.0f);
    EXPECT_TRUE(gIsSkinPainter(gPaintButton));
    EXPECT_FALSE(gIsSkinPainter(nullptr));
}

}  // namespace
}  // namespace orva
