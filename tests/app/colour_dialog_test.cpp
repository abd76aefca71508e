// The colour dialog's levels against the 7-bit channels of colour words: every word's
// channels come back from the levels shown for them, and a typed level lands on the
// nearest channel (the screen shows c x 255 / 127).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "app/colour_dialog.h"

namespace orva {
namespace {

TEST(ColourDialog, LevelsAndChannels) {
    for (uint32_t c = 0; c < 128; ++c) {
        int r = 0, g = 0, b = 0;
        const uint32_t word = 0x04000000u | c | (127 - c) << 8 | (c / 2) << 16;
        ColourLevelsOfWord(word, &r, &g, &b);
        EXPECT_EQ(ColourWordFromLevels(r, g, b), word) << c;
        EXPECT_EQ(r, static_cast<int>(std::lround(c * 255.0 / 127.0))) << c;
    }
    for (int level = 0; level < 256; ++level) {
        const uint32_t c = ColourWordFromLevels(level, 0, 0) & 0x7F;
        EXPECT_LE(std::abs(static_cast<double>(c) * 255.0 / 127.0 - level), 255.0 / 127.0 / 2 + 1e-9) << level;
    }
    EXPECT_EQ(ColourWordFromLevels(255, 0, 255), 0x047F007Fu);
    EXPECT_EQ(ColourWordFromLevels(-5, 300, 128), ColourWordFromLevels(0, 255, 128)) << "levels are clamped";
}

}  // namespace
}  // namespace orva
