// The colour converter: its operations on class, Qbits and the user palette,
// the notification of the owner's downstream components, and palette rebuilds
// on the user-interface thread while another thread converts rows.
#include "transform/color_converter.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/component_test_doubles.h"
#include "framework/display_lock.h"
#include "test_support.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing::TestItem;
using testing::TestStage;
using testing_transform::Format;
using testing_transform::TransformTest;
using testing_util::TempFolder;
using testing_util::WriteText;

class ColourConverterTest : public TransformTest {
protected:
    // A palette file of 16 RGB entries (j × 16, 0, 255 − j × 16).
    std::string SixteenEntries() {
        std::string text;
        for (int j = 0; j < 16; ++j) text += std::to_string(j * 16) + "\n0\n" + std::to_string(255 - j * 16) + "\n";
        const std::string path = folder.File("sixteen.pal");
        WriteText(path, text);
        return path;
    }
    TempFolder folder;
};

TEST_F(ColourConverterTest, ClassQbitsAndTheUserPalette) {
    ColorConverter c(nullptr, 0);
    ColorFormat offered;
    ColorConverterSetOwner(&c, nullptr, nullptr, &offered);
    EXPECT_EQ(offered.flags, 0x40u);
    EXPECT_EQ(offered.bits, 8u);
    EXPECT_EQ(offered.channels, 1u);
    EXPECT_EQ(offered.pixelFormat, 0x103u);
    EXPECT_EQ(offered.pixelWord, 1u);
    EXPECT_EQ(offered.pixelChannels, 3u);

    EXPECT_EQ(c.quant.levels, 0.0);
    EXPECT_FALSE(ColorConverterSetClass(&c, 5));  // no format yet
    ASSERT_TRUE(ColorConverterSetFormat(&c, Format(1)));
    EXPECT_EQ(c.Current().classIndex, 1);
    EXPECT_EQ(c.quant.levels, 256.0);
    EXPECT_EQ(c.quant.step, 1.0);
    ASSERT_TRUE(ColorConverterSetClass(&c, -4));  // negative: 0, which is "Grey" without a user palette
    EXPECT_EQ(c.Current().classIndex, 1);
    EXPECT_TRUE(ColorConverterSetClass(&c, 1));

    EXPECT_FALSE(ColorConverterSetQbits(&c, 12));  // 8: unchanged
    EXPECT_TRUE(ColorConverterSetQbits(&c, 3));
    EXPECT_EQ(c.quant.levels, 8.0);
    EXPECT_EQ(c.quant.step, 255.0 / 8);
    EXPECT_TRUE(ColorConverterSetQbits(&c, -2));
    EXPECT_EQ(c.Current().qbits, 0u);
    // One level (L = 1, S = 255): below half scale 0, above it 255.
    EXPECT_EQ(c.palette.Value(100, 0), 0u);
    EXPECT_EQ(c.palette.Value(300, 0), 255u);
    ASSERT_TRUE(ColorConverterSetQbits(&c, 8));

    // Class 0 shows the user palette (16 entries stretched); dropping it brings back "Grey".
    ASSERT_TRUE(c.Current().LoadUserPalette(SixteenEntries().c_str()));
    ASSERT_TRUE(ColorConverterSetClass(&c, 0));
    EXPECT_EQ(c.Current().classIndex, 0);
    EXPECT_EQ(c.palette.Value(40, 0), 32u);   // entry 40 / 16 = 2
    EXPECT_EQ(c.palette.Value(400, 2), 15u);  // the last entry, 255 − 240
    ASSERT_TRUE(ColorConverterDropUserPalette(&c));
    EXPECT_EQ(c.Current().classIndex, 1);
    EXPECT_EQ(c.palette.Value(40, 0), 40u);
    EXPECT_TRUE(c.Current().paletteName.empty());

    // A user palette that fails to load leaves class 0 on "Grey".
    EXPECT_FALSE(c.Current().LoadUserPalette(folder.File("none.pal").c_str()));
    ASSERT_TRUE(ColorConverterSetClass(&c, 0));
    EXPECT_EQ(c.Current().classIndex, 1);
}

TEST_F(ColourConverterTest, ChangesReachTheOwnersDownstream) {
    TestItem item;
    auto* owner = new TestStage(&item, &kTransformationId, 0x40);
    auto* down = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(down->GetInputLink(0), owner));
    auto* link = static_cast<TestStage::Link*>(down->GetInputLink(0));
    {
        ColorConverter c(nullptr, 0);
        ColorConverterSetOwner(&c, owner, nullptr, nullptr);
        ASSERT_TRUE(ColorConverterSetFormat(&c, Format(1)));
        EXPECT_EQ(link->changed, 0);
        ASSERT_TRUE(ColorConverterEdit(&c, [](ColorSettings& s) { s.classIndex = 9; }));
        EXPECT_EQ(link->changed, 1);
        EXPECT_TRUE(ColorConverterSetQbits(&c, 4));
        EXPECT_EQ(link->changed, 2);
        EXPECT_FALSE(ColorConverterSetQbits(&c, 4));
        EXPECT_EQ(link->changed, 2);
    }
    ConsumerDetach(down->GetInputLink(0));
    down->Release();
    owner->Release();
}

TEST_F(ColourConverterTest, RebuildsWhileAnotherThreadConvertsRows) {
    SettingsRequest shared;
    shared.useShared = 1;
    ColorConverter c(&shared, 0);
    ColorConverter other(&shared, 0);
    ASSERT_TRUE(ColorConverterSetFormat(&c, Format(1)));
    ASSERT_TRUE(ColorConverterSetFormat(&other, Format(3)));
    const std::string palette = SixteenEntries();

    constexpr size_t kPixels = 2048;
    std::atomic<bool> stop{false};
    std::atomic<int> runs{0};
    auto worker = [&](ColorConverter* conv) {
        std::vector<double> in(3 * kPixels);
        for (size_t i = 0; i < in.size(); ++i) in[i] = static_cast<double>(i % 600) / 255.0;
        std::vector<uint16_t> out(3 * kPixels + 8);
        while (!stop.load()) {
            std::lock_guard<std::recursive_mutex> lock(DisplayLock());
            conv->row(out.data(), kPixels, in.data(), &conv->palette);
            runs.fetch_add(1);
        }
    };
    std::thread first(worker, &c);
    std::thread second(worker, &other);
    while (runs.load() < 2) std::this_thread::yield();
    for (int i = 0; i < 100; ++i) {
        ColorConverterSetClass(&c, i % 17);
        ColorConverterSetQbits(&c, i % 9);
        if (i % 10 == 0) ColorConverterSetFormat(&c, Format(1 + (i / 10) % 3, (i / 20) % 2 == 1));
        if (i % 7 == 0) c.Current().LoadUserPalette(palette.c_str());
        if (i % 7 == 3) ColorConverterDropUserPalette(&c);
        ColorConverterEdit(&c, [i](ColorSettings& s) {
            s.correction.gamma[0] = 0.5f + (i % 5) * 0.5f;
            s.correction.colorFlags = (i % 3 == 0) ? kColourInvert : 0;
        });
        std::this_thread::yield();
    }
    stop.store(true);
    first.join();
    second.join();
    EXPECT_GT(runs.load(), 2);
}

}  // namespace
}  // namespace orva
