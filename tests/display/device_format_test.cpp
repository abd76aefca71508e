// Device format requests and data formats, the current-frame lookup and the curve
// styles' value lookups and contrast colours.
#include <gtest/gtest.h>

#include <vector>

#include "app/curve_style.h"
#include "app/device_format.h"
#include "display_fixture.h"

namespace orva {
namespace {

// A stage between the Source and a device: its frame query answers its own count (a
// stage that passes fewer frames on, or none at all).
class CountingStage : public ComponentBase {
public:
    class Link : public ConsumerLink {
    public:
        explicit Link(ComponentBase* owner) : ConsumerLink(owner) {}
        void OnUpstreamChanged() override {}
        bool AcceptFormat(FormatRequest*) override { return true; }
    };
    CountingStage(ComponentBase* above, bool describes) : ComponentBase(nullptr), link(this), describes(describes) {
        link.upstream = above;
    }
    ~CountingStage() override { link.upstream = nullptr; }
    const ComponentId* GetClassId() const override { return &kReductionId; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &link : nullptr; }
    void* QueryFrameDescription() override { return describes ? &frames : nullptr; }
    Link link;
    bool describes;
    int64_t frames = 3;
};

// The frames behind a device are those its own link describes: a stage that passes 3 of
// the Source's 7 frames on shows 3, one that describes nothing (a Reduction measuring
// nothing) shows none.
TEST(DeviceFormat, TheFrameCountIsTheLinksOwn) {
    display_test::ServicesScope services;  // the frame-count service reads an int64_t
    display_test::PatternSource source(4, 4);
    source.frames = 7;
    CountingStage middle(&source, true);
    CountingStage silent(&source, false);
    EXPECT_EQ(LinkFrameCount(&source), 7);
    EXPECT_EQ(LinkFrameCount(&middle), 3);
    EXPECT_EQ(LinkFrameCount(&silent), 0);
    EXPECT_EQ(LinkFrameCount(nullptr), 0);
    TheGraphicsHostServices().frameCount = nullptr;
    EXPECT_EQ(LinkFrameCount(&middle), -1);
}

TEST(DeviceFormat, NormalizeTable) {
    struct Case {
        uint32_t format, count, planes;
        uint32_t wantFormat, wantClass, wantCount, wantPlanes;
    };
    const Case cases[] = {
        // 16-bit unsigned, byte-swapped: the word stays, count 0 becomes 1.
        {0x182, 0, 0, 0x182, 2, 1, 1},
        // The real-only group: kept by 64-bit reals, dropped by 32-bit reals.
        {0x40 | 0x1000000, 3, 2, 0x40 | 0x1000000, 8, 3, 2},
        {0x10 | 0x1000000, 3, 2, 0x10, 4, 3, 2},
        // A real loses the unsigned bit; an 8-bit type the swap bit.
        {0x140, 1, 1, 0x40, 8, 1, 1},
        {0x150, 1, 1, 0x50, 4, 1, 1},  // the class goes by the first size bit: 0x10
        {0x181, 1, 1, 0x101, 1, 1, 1},
        // Counts and planes are clamped.
        {0x101, 20000, 9, 0x101, 1, 16384, 3},
        {0x0, 1, 1, 0x0, 0, 1, 1},
        {0x4, 2, 1, 0x4, 3, 2, 1},
    };
    for (const Case& c : cases) {
        DeviceFormatRequest r{c.format, 99, c.count, c.planes};
        DeviceFormatNormalize(&r);
        EXPECT_EQ(r.format, c.wantFormat) << std::hex << c.format;
        EXPECT_EQ(r.elementClass, c.wantClass) << std::hex << c.format;
        EXPECT_EQ(r.count, c.wantCount) << std::hex << c.format;
        EXPECT_EQ(r.planes, c.wantPlanes) << std::hex << c.format;
    }
}

TEST(DeviceFormat, SetupRowBytes) {
    DeviceDataFormat f;
    f.sampleCount = 1000;
    ASSERT_TRUE(DeviceFormatSetup(&f, 3, 0x40));
    EXPECT_EQ(f.elementClass, 8u);
    EXPECT_EQ(f.rowBytes, 24024u);  // 1001 x 8 x 3
    EXPECT_EQ(f.count, 3u);

    DeviceDataFormat rows;
    rows.sampleCount = 1000;
    ASSERT_TRUE(DeviceFormatSetup(&rows, 3, 0x40 | 0x10000));
    EXPECT_EQ(rows.rowBytes, 8008u);

    // The same count and word again: nothing changes, the cached frame stays.
    int marker = 0;
    f.cachedFrame = &marker;
    EXPECT_TRUE(DeviceFormatSetup(&f, 3, 0x40));
    EXPECT_EQ(f.cachedFrame, &marker);
    // Another count: set up anew, the cached frame dropped.
    EXPECT_TRUE(DeviceFormatSetup(&f, 1, 0x40));
    EXPECT_EQ(f.rowBytes, 8008u);
    EXPECT_EQ(f.cachedFrame, nullptr);
    // Count 0 counts as 1.
    EXPECT_TRUE(DeviceFormatSetup(&f, 0, 0x101));
    EXPECT_EQ(f.count, 1u);
    EXPECT_EQ(f.rowBytes, 1001u);
}

TEST(DeviceFormat, SetupRefusesWordsWithoutElement) {
    DeviceDataFormat f;
    f.sampleCount = 10;
    ASSERT_TRUE(DeviceFormatSetup(&f, 2, 0x101));
    ItemArrayAppend(&f.items, "kept?", 1, 2);
    EXPECT_FALSE(DeviceFormatSetup(&f, 2, 0x10000));
    EXPECT_EQ(f.elementClass, 0u);
    EXPECT_EQ(f.rowBytes, 0u);
    EXPECT_EQ(f.format, 0u);
    EXPECT_EQ(f.items.count, 0u);
    // Row bytes beyond 32 bits are refused too.
    DeviceDataFormat huge;
    huge.sampleCount = 0xFFFFFFF0u;
    EXPECT_FALSE(DeviceFormatSetup(&huge, 16384, 0x40));
    EXPECT_EQ(huge.rowBytes, 0u);
}

TEST(DeviceFormat, CurrentFrameIndexTable) {
    struct Case {
        int64_t selected;
        int32_t offset, limit;
        uint8_t locked;
        int64_t count;
        int32_t want;
    };
    const Case cases[] = {
        {12, 0, 0x7FFFFFFF, 0, 10, 9},
        {-1, 0, 0x7FFFFFFF, 0, 10, 0},
        {3, 0, 0x7FFFFFFF, 0, 0, kNoFrame},
        {3, 0, 0x7FFFFFFF, 0, 10, 3},
        {5, 2, 0x7FFFFFFF, 0, 10, 3},
        {8, 0, 4, 0, 10, 3},        // capped by the limit
        {2, 0, 4, 0, -1, 2},        // a negative count: the limit alone
        {2, 0, 0x7FFFFFFF, 1, 10, kNoFrame},
    };
    for (const Case& c : cases) {
        FrameIndexState s{c.selected, c.offset, c.limit, c.locked};
        EXPECT_EQ(CurrentFrameIndex(s, c.count), c.want) << c.selected << " of " << c.count;
    }
}

// Two rows of four samples: row 0 is 10, 20, 30, 40 and row 1 is 1, 2, 3, 4.
struct TwoRows {
    std::vector<double> samples{10, 20, 30, 40, 1, 2, 3, 4};
    CurveStyle style;
    TwoRows() {
        CurveStyleInit(&style);
        DeviceFormatRequest r{0x40 | 0x10000, 8, 2, 1};
        CurveStyleSetFormat(&style, r);
        style.data.sampleCount = 4;
        style.rowStride = 4;
        style.data.cachedFrame = samples.data();
        style.currentRow = 1;
    }
};

TEST(CurveStyle, NearestLookup) {
    TwoRows t;  // the default flags 0x82 ask for the nearest sample
    EXPECT_FALSE(SetNearest(&t.style, true));
    EXPECT_EQ(t.style.lookup, &CurveLookupNearest);
    struct Case {
        double x, row0, row1;
    } cases[] = {{0.5, 10, 1}, {1.0, 10, 1}, {1.5, 20, 2}, {4.0, 40, 4}, {9.0, 40, 4}, {-3.0, 10, 1}};
    for (const Case& c : cases) {
        CurveLookup out;
        t.style.lookup(&t.style, c.x, &out);
        EXPECT_EQ(out.values[0], c.row0) << c.x;
        EXPECT_EQ(out.values[1], c.row1) << c.x;
        EXPECT_EQ(out.values[2], c.row1) << c.x;  // beyond the last row: the previous one
        EXPECT_EQ(out.current, c.row1) << c.x;
    }
}

TEST(CurveStyle, InterpolatingLookup) {
    TwoRows t;
    ASSERT_TRUE(SetNearest(&t.style, false));
    EXPECT_EQ(t.style.lookup, &CurveLookupInterpolate);
    // x start 0.5: p = x - 0.5; i = ceil(x) - 1 above 1.
    struct Case {
        double x, row0, row1;
    } cases[] = {
        {0.5, 10, 1},    // p = 0: the first samples
        {1.0, 15, 1.5},  // i = 0, p - i = 0.5
        {1.5, 20, 2},    // i = 1, p - i = 0: exactly y[1]
        {2.25, 27.5, 2.75},
        {4.2, 40, 4},    // i + 1 reaches the count: the last samples
        {100.0, 40, 4},
    };
    for (const Case& c : cases) {
        CurveLookup out;
        t.style.lookup(&t.style, c.x, &out);
        EXPECT_DOUBLE_EQ(out.values[0], c.row0) << c.x;
        EXPECT_DOUBLE_EQ(out.values[1], c.row1) << c.x;
        EXPECT_DOUBLE_EQ(out.current, c.row1) << c.x;
    }
}

TEST(CurveStyle, SelectAndFormat) {
    CurveStyle s;
    CurveStyleInit(&s);
    EXPECT_EQ(s.flags, 0x82u);
    EXPECT_EQ(s.draw, &CurveDrawSteps);  // 0x02 draws steps too
    EXPECT_TRUE(SetNearest(&s, false));
    EXPECT_EQ(s.draw, &CurveDrawLines);
    EXPECT_FALSE(SetNearest(&s, false));
    s.currentRow = 9;
    s.firstRow = 8;
    CurveStyleSetFormat(&s, DeviceFormatRequest{0x40, 8, 5, 1});
    EXPECT_EQ(s.data.format, kCurveDataFormat);
    EXPECT_EQ(s.data.elementClass, 8u);
    EXPECT_EQ(s.data.count, 5u);
    EXPECT_EQ(s.currentRow, 4u);
    EXPECT_EQ(s.firstRow, 2u);
    CurveStyleSetFormat(&s, DeviceFormatRequest{0x40, 8, 3, 1});
    EXPECT_EQ(s.firstRow, 0u);
    EXPECT_EQ(s.colours.count, 19u);
    EXPECT_EQ(s.colours.bright[0], 0x0000FFu);
    EXPECT_EQ(s.colours.darker[18], 0x781450u);
}

TEST(CurveStyle, ContrastColours) {
    struct Case {
        uint32_t background, contrast, curve, band;
    } cases[] = {
        // Expected colours computed with python3 from the luma/chroma distances.
        {0x047F7F7F, 0x000000, 0xD2C8B4, 0xFFDCDC},  // white
        {0x04000000, 0xFFFFFF, 0x6E6450, 0x78789B},  // black
        {0x04696969, 0x000000, 0xB4C8D2, 0xFFDCDC},  // light grey
        {0x044F4F4F, 0x000000, 0xB4C8D2, 0xDCDCFF},  // grey
        {0x04604830, 0x000000, 0xD2C8B4, 0xDCDCFF},  // cobalt (Y 135.7: light)
        {0x04114511, 0xFFFFFF, 0x50646E, 0x78789B},  // forest green
    };
    for (const Case& c : cases) {
        CurveStyle s;
        CurveStyleContrast(&s, c.background);
        EXPECT_EQ(s.contrastColour, c.contrast) << std::hex << c.background;
        EXPECT_EQ(s.curveColour, c.curve) << std::hex << c.background;
        EXPECT_EQ(s.bandColour, c.band) << std::hex << c.background;
        EXPECT_EQ(s.pointColour, 0xA0u);
    }
}

}  // namespace
}  // namespace orva
