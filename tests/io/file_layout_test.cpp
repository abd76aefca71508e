#include "io/file_layout.h"

#include <gtest/gtest.h>

#include <cfloat>

#include "io/formats/binary/raw_reader.h"
#include "io/formats/bmp/bmp_reader.h"
#include "io/formats/fits/fits_reader.h"
#include "io/formats/jpeg/jpeg_reader.h"
#include "io/formats/spe/spe_reader.h"
#include "io/formats/text/text_reader.h"

namespace orva {
namespace {

TEST(FileLayout, NewLayoutAndNormalisation) {
    FileLayout l;
    EXPECT_EQ(l.tag, UnsetFormatTag());
    struct {
        uint32_t type, bits, channels;
        uint32_t eType, eBits, eChannels;
        uint64_t flagsSet;
    } cases[] = {
        {0, 0, 1, 0x02, 16, 1, 0x1000},         // 16-bit signed default
        {0, 12, 1, 0x100, 12, 1, 0x1001},       // unsigned of unknown size keeps 12 bits
        {0x02, 0, 20000, 0x02, 16, 16384, 0x1001},
        {0x02, 16, 0, 0x02, 16, 1, 0x1},        // channels 0 -> 1, not stated
        {0x181, 0, 1, 0x101, 8, 1, 0x1007},     // 8-bit drops the byte order
        {0x110, 0, 1, 0x10, 32, 1, 0x1005},     // reals drop the sign
        {0x08, 12, 1, 0x100, 12, 1, 0x1001},    // bits other than the type's
        {0x200040, 0, 1, 0x200040, 64, 1, 0x1005},
        {0x200002, 0, 1, 0x02, 16, 1, 0x1001},  // real-only bits dropped
        {0x400002, 0, 1, 0x400002, 16, 1, 0x8001001},
    };
    for (auto& c : cases) {
        FileLayout x;
        x.type = c.type;
        x.bits = c.bits;
        x.channels = c.channels;
        LayoutNormalize(&x, true);
        EXPECT_EQ(x.type, c.eType) << std::hex << c.type;
        EXPECT_EQ(x.bits, c.eBits) << std::hex << c.type;
        EXPECT_EQ(x.channels, c.eChannels) << std::hex << c.type;
        EXPECT_EQ(x.flags, c.flagsSet) << std::hex << c.type;
        EXPECT_EQ(x.frames, 1u);
    }
}

TEST(FileLayout, DefaultRangeAndLabels) {
    struct {
        uint32_t type, bits;
        double min, max, eMin, eMax;
    } cases[] = {
        {0x102, 16, 5, 5, 0, 65535},
        {0x102, 16, 3, 7, 0, 7},
        {0x100, 12, 5, 5, 0, 1.0},
        {0x20, 64, 2, 2, 0, 140737488355327.0},
        {0x120, 64, 2, 2, 0, 281474976710655.0},
        {0x01, 8, 0, 0, 0, 127},
        {0x08, 32, 0, 0, 0, 2147483647.0},
        {0x40, 64, 1, 1, 0, 1.0},
        {0x02, 16, -9, -3, 0, 0},
    };
    for (auto& c : cases) {
        DataSetInfo info;
        info.input = {c.type, c.bits, 1};
        double mn = c.min, mx = c.max;
        DefaultRange(info, &mn, &mx);
        EXPECT_EQ(mn, c.eMin);
        EXPECT_EQ(mx, c.eMax) << std::hex << c.type;
    }
    EXPECT_STREQ(ChannelModeLabel(1, -1), "");
    const char* labels[] = {"[Mean]", "[Profile]", "[Weigh sum.]", "[Summing]", "[Asis]",
                            "[Selected]", "[func]"};
    for (int m = -4; m <= 2; ++m) EXPECT_STREQ(ChannelModeLabel(3, m), labels[m + 4]);
}

void SetCrop(DataSetInfo& i, int64_t ox, int64_t sx) {
    i.sizeX = 100;
    i.sizeY = 50;
    i.sizeZ = 1;
    i.cropX = ox;
    i.cropSizeX = sx;
    i.cropY = i.cropZ = 0;
    i.cropSizeY = i.cropSizeZ = 0;
}

TEST(FileLayout, CropRule) {
    struct {
        int64_t ox, sx, eOx, eSx, eSy;
    } cases[] = {
        {100, 5, 0, 100, 50},  // offset at the size: whole data
        {0, 0, 0, 100, 50},    // offsets 0, sizes 0: whole
        {10, 0, 10, 90, 50},
        {10, 200, 10, 90, 50},
        {10, 20, 10, 20, 50},
        {0, 30, 0, 30, 50},
    };
    for (auto& c : cases) {
        DataSetInfo i;
        SetCrop(i, c.ox, c.sx);
        ApplyCropRule(&i);
        EXPECT_EQ(i.cropX, c.eOx) << c.ox << " " << c.sx;
        EXPECT_EQ(i.cropSizeX, c.eSx) << c.ox << " " << c.sx;
        EXPECT_EQ(i.cropSizeY, c.eSy);
    }
}

TEST(FileLayout, ResolveFoldsTheThirdAxis) {
    struct {
        int64_t x, y, z;
        int32_t mode;
        int32_t eMode;
        int64_t eY, eZ;
        uint32_t eFrames;
    } cases[] = {
        {100, 100, 5, -1, 2, 100, 1, 5},
        {2, 100, 5, -1, 0, 500, 1, 1},
        {100, 100, 1, -1, -2, 100, 1, 1},
        {100, 100, 5, 0, -2, 100, 5, 1},
    };
    for (auto& c : cases) {
        FileLayout l;
        l.sizeX = c.x;
        l.sizeY = c.y;
        l.sizeZ = c.z;
        DataSetInfo info;
        info.framesToUse = 1;
        int32_t mode = c.mode;
        LayoutResolve(&l, &info, &mode);
        EXPECT_EQ(mode, c.eMode) << c.x;
        EXPECT_EQ(info.sizeY, c.eY) << c.x;
        EXPECT_EQ(info.sizeZ, c.eZ) << c.x;
        EXPECT_EQ(info.framesToUse, c.eFrames) << c.x;
    }
    // Planes as channels, from an axis list.
    FileLayout l;
    l.declaredAxes = 3;
    l.SetAxis(0, 10);
    l.SetAxis(1, 10);
    l.SetAxis(2, 3);
    DataSetInfo info;
    info.input.channels = 1;
    int32_t mode = 1;
    LayoutResolve(&l, &info, &mode);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(info.input.type & kTypePlanesAsChannels, kTypePlanesAsChannels);
    EXPECT_EQ(info.sizeZ, 1);
    EXPECT_EQ(info.sizeX, 10);
}

TEST(FileLayout, MergeScaleZeroAndSections) {
    struct {
        double scale, zero;
        double eScale, eInverse, eZero;
    } cases[] = {
        {1e-320, 5e-308, 0.0, DBL_MAX, 0.0},
        {0.0, -1e-307, 0.0, -DBL_MAX, -1e-307},
        {1.0 + 1e-17, 0.5, 1.0, 1.0, 0.5},
        {4.0, 0, 4.0, 0.25, 0},
    };
    for (auto& c : cases) {
        FileLayout l;
        l.type = 0x102;
        l.bits = 16;
        l.channels = 1;
        l.sizeX = 10;
        l.sizeY = 10;
        l.dataOffset = 100;
        l.dataEnd = 100 + 2 * 10 * 10 * 3;  // three frames
        DataSetInfo info;
        info.service = new ServiceDescription;
        info.service->flags = kFlagScale | kFlagZero;
        info.service->scale = c.scale;
        info.service->zero = c.zero;
        LayoutToDataSet(&l, &info);
        EXPECT_EQ(info.scale, c.eScale);
        EXPECT_EQ(info.inverseScale, c.eInverse);
        EXPECT_EQ(info.zero, c.eZero);
        EXPECT_EQ(info.headerSize, 100);
        EXPECT_EQ(info.input.type, 0x400102u);
        EXPECT_EQ(DataSetInfoFrameCount(info), 3u);
        // Raw samples state no range: not the type's 0 .. 65535 either.
        double low = 0.0, high = 0.0;
        EXPECT_FALSE(info.ValueRange(&low, &high));
        EXPECT_GT(low, high);
    }
    // A range the description held before the merge stays, from 0.
    FileLayout l;
    l.type = 0x102;
    l.bits = 16;
    l.sizeX = l.sizeY = 4;
    l.dataEnd = 32;
    DataSetInfo info;
    info.rangeMin = 3.0;
    info.rangeMax = 7.0;
    LayoutToDataSet(&l, &info);
    double low = 1.0, high = 0.0;
    EXPECT_TRUE(info.ValueRange(&low, &high));
    EXPECT_EQ(std::pair(low, high), std::pair(0.0, 7.0));
    // Merged again (the file described anew), a description without a range stays without.
    info.rangeMin = 1.0;
    info.rangeMax = 0.0;
    LayoutToDataSet(&l, &info);
    EXPECT_FALSE(info.ValueRange(&low, &high));
}

TEST(FileLayout, MergeEdgeData) {
    // Shorter than one sample: x 0 and one frame.
    {
        FileLayout l;
        l.type = 0x08;
        l.sizeX = 4;
        l.dataEnd = 3;
        DataSetInfo info;
        LayoutToDataSet(&l, &info);
        EXPECT_EQ(info.sizeX, 0);
        EXPECT_EQ(info.framesToUse, 1u);
        EXPECT_EQ(info.formatTag, MakeFormatTag("BINARY"));
    }
    // One pixel of three channels, held only partly: read with one channel.
    {
        FileLayout l;
        l.type = 0x102;
        l.channels = 3;
        l.sizeX = 1;
        l.sizeY = 1;
        l.dataEnd = 4;
        DataSetInfo info;
        LayoutToDataSet(&l, &info);
        EXPECT_EQ(info.input.channels, 1u);
        EXPECT_EQ(l.channels, 1u);
        EXPECT_EQ(info.input.type & 0xFF, 0x02u);  // signed unless the setting says so
    }
    // Data too short for the stated sizes: sizes are guessed from the count.
    {
        FileLayout l;
        l.type = 0x101;
        l.sizeX = 1000;
        l.sizeY = 1000;
        l.dataEnd = 100;
        DataSetInfo info;
        LayoutToDataSet(&l, &info);
        EXPECT_LE(info.sizeX * info.sizeY * info.sizeZ, 100);
        EXPECT_EQ(info.cropSizeX, info.sizeX);
    }
}

TEST(FileLayout, SectionCountCopyAndEquality) {
    DataSetInfo a;
    a.input = {0x02, 16, 1};
    a.sizeX = 10;
    a.sizeY = 10;
    EXPECT_EQ(SectionCount(a, 1, 1000), 5u);
    EXPECT_EQ(SectionCount(a, 2, 1000), 3u);
    EXPECT_EQ(SectionCount(a, 1, 100), 1u);
    a.dataBegin = 200;  // a header before the data does not eat frames
    EXPECT_EQ(SectionCount(a, 1, 1000), 5u);
    a.sizeX = 0;
    EXPECT_EQ(SectionCount(a, 1, 1000), 1u);

    DataSetInfo src, dst;
    EXPECT_FALSE(DataSetInfoCopy(&dst, &src));  // no frames requested
    src.input = {0x40, 64, 3};
    src.channelMode = kChannelSumming;
    DataSetInfoUpdateType(src);
    EXPECT_EQ(src.channelFactor, 4.0);
    EXPECT_EQ(src.channelFactorInverse, 0.25);
    src.weights = {1, 2, 3};
    src.sizeX = 7;
    src.framesToUse = 2;
    src.SetTotalFrames(4, false);
    src.frameStep = 0;
    EXPECT_TRUE(DataSetInfoCopy(&dst, &src));
    EXPECT_EQ(dst.weights, src.weights);
    EXPECT_EQ(dst.frameStep, 1);
    EXPECT_EQ(dst.TotalFrames(), 4u);
    EXPECT_EQ(dst.framesToUse, 2u);
    dst.frameStep = 0;
    EXPECT_TRUE(DataSetInfoEqual(dst, src));
    dst.input.bits = 32;
    EXPECT_FALSE(DataSetInfoEqual(dst, src));
    EXPECT_TRUE(DataSetInfoEqualLayout(dst, src));
    dst.sizeX = 8;
    EXPECT_FALSE(DataSetInfoEqualLayout(dst, src));
}

TEST(FileLayout, ServiceDescriptionStatesWhatTheHeaderDoesNot) {
    FileLayout l;  // a header that states nothing
    l.dataEnd = 4 * 6 * 2;
    DataSetInfo info;
    info.service = new ServiceDescription;
    ServiceDescription& sd = *info.service;
    sd.flags = kFlagSampleSize | kFlagSizeX | kFlagSizeY | kFlagChannelOut | kFlagCropBox;
    sd.type = 0x10;
    sd.bits = 32;
    sd.sizeX = 4;
    sd.sizeY = 3;
    sd.convSpec = kChannelSumming;
    sd.nchannelOut = 1;
    sd.cropX = 1;
    sd.cropSizeX = 0;
    sd.cropY = 7;
    sd.cropSizeY = -1;
    LayoutToDataSet(&l, &info);
    EXPECT_EQ(info.input.type & 0x7F, 0x10u);
    EXPECT_EQ(info.sizeX, 4);
    EXPECT_EQ(info.sizeY, 3);
    EXPECT_EQ(DataSetInfoFrameCount(info), 1u);  // 48 bytes: one frame of 4 x 3 floats
    EXPECT_EQ(info.channelMode, -1);
    EXPECT_EQ(info.selectedChannel, 1u);
    EXPECT_EQ(info.cropX, 1);
    EXPECT_EQ(info.cropSizeX, 3);
    EXPECT_EQ(info.cropY, 2);
}

// Every reader's information component: its four-word id and tag, the three ids it
// answers, the counted references and the factory.
TEST(FormatInfo, ReaderComponentsAnswerTheirIdentity) {
    struct Row {
        FormatInfo* info;
        const char (&code1)[5];
        const char* tag;
    } rows[] = {
        {FitsReader::Create(), "FITS", "FITS"}, {BinaryInfo::Create(), "BIN0", "BINARY"},
        {BmpInfo::Create(), "BITM", "BMP"},     {JpegInfo::Create(), "JPEG", "JPEG"},
        {DsvInfo::Create(), "DSVD", "DSV"},     {TextInfo::Create(), "TEXT", "TXT"},
        {SpeInfo::Create(), "SPEP", "SPE WINV"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.code1);
        ASSERT_NE(r.info, nullptr);
        const ComponentId own{{FourCC(r.code1), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};
        EXPECT_EQ(*r.info->GetClassId(), own);
        EXPECT_EQ(r.info->tag, MakeFormatTag(r.tag));
        void* out = nullptr;
        EXPECT_TRUE(r.info->QueryInterface(&own, &out));
        EXPECT_EQ(out, r.info);
        EXPECT_TRUE(r.info->QueryInterface(&kFormatInfoId, nullptr));  // no reference taken
        EXPECT_TRUE(r.info->QueryInterface(&kBaseId, &out));
        const ComponentId other{{FourCC(r.code1), FourCC("XXXX"), FourCC("FRMT"), FourCC("INFO")}, nullptr};
        EXPECT_FALSE(r.info->QueryInterface(&other, &out));
        EXPECT_EQ(r.info->AddRef(), 4);
        FormatInfo* made = r.info->CreateInstance();
        ASSERT_NE(made, nullptr);
        EXPECT_EQ(*made->GetClassId(), own);
        EXPECT_EQ(made->tag, r.info->tag);
        EXPECT_EQ(made->Release(), 0);
        for (int32_t n = 3; n >= 0; --n) EXPECT_EQ(r.info->Release(), n);
    }
    // A descriptor's information operation reads only components of its own class.
    FormatInfoRef<BmpInfo> bmp(BmpInfo::Create());
    FormatInfoRef<JpegInfo> jpeg(JpegInfo::Create());
    char text[16] = "";
    EXPECT_TRUE((FormatInfoTextOf<BmpInfo, &BmpInfoText>(bmp.get(), 1, text, sizeof text)));
    EXPECT_STREQ(text, "[none]");
    EXPECT_FALSE((FormatInfoTextOf<BmpInfo, &BmpInfoText>(jpeg.get(), 1, text, sizeof text)));
    EXPECT_FALSE((FormatInfoTextOf<BmpInfo, &BmpInfoText>(nullptr, 1, text, sizeof text)));
}

}  // namespace
}  // namespace orva
