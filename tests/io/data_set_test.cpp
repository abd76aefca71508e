#include "io/data_set.h"

#include <gtest/gtest.h>

#include "data_set_fixture.h"
#include "io/read_kernel.h"
#include "common/error_codes.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;

TEST(DataSetInfo, SampleFormatsTagsAndFrameCounts) {
    struct Norm {
        SampleFormat in, out;
    };
    const Norm norms[] = {
        {{0x102, 0, 0}, {0x102, 16, 1}},      {{0x04, 32, 20000}, {0x04, 24, 16384}},
        {{0x110, 12, 1}, {0x10, 12, 1}},      {{0x81, 0, 1}, {0x01, 8, 1}},
        {{0x82, 0, 1}, {0x82, 16, 1}},        {{0x200002, 0, 1}, {0x02, 16, 1}},
        {{0x200040, 0, 1}, {0x200040, 64, 1}}, {{0, 5, 2}, {0, 0, 2}},
    };
    for (const Norm& n : norms) {
        SampleFormat f = n.in;
        NormaliseReadRequest(&f);
        EXPECT_EQ(f.type, n.out.type) << std::hex << n.in.type;
        EXPECT_EQ(f.bits, n.out.bits) << std::hex << n.in.type;
        EXPECT_EQ(f.channels, n.out.channels) << std::hex << n.in.type;
    }
    EXPECT_EQ(ClearFlagGroups(0x20C60000u | 0x02, 0x400000u), 0x60002u);

    EXPECT_STREQ(TagToText(MakeFormatTag("SPE WINV")), "SPE WINV");
    EXPECT_STREQ(TagToText(FormatTag{}), "");
    EXPECT_EQ(TagToText(TagFromText("AB\7", 0)), nullptr);
    EXPECT_STREQ(TagToText(TagFromText("FITSFILE-LONG", 0)), "FITSFILE");
    EXPECT_STREQ(TagToText(TagFromText("FITSFILE", 3)), "FIT");

    DataSetInfo info;
    info.SetTotalFrames(0, false);
    EXPECT_EQ(info.totalFrames, 1u);
    info.framesToUse = 4;
    info.SetTotalFrames(10, false);
    EXPECT_EQ(info.framesToUse, 4u);
    info.SetTotalFrames(10, true);
    EXPECT_EQ(info.framesToUse, 10u);
    info.SetFramesToUse(20);
    EXPECT_EQ(info.framesToUse, 10u);

    // Summing of 64-bit reals over 3 channels: factor 4; of 16-bit integers 1.
    info.channelMode = kChannelSumming;
    info.input = {0x40, 64, 3};
    info.InputFormatChanged();
    EXPECT_EQ(info.channelFactor, 4.0);
    EXPECT_EQ(info.channelFactorInverse, 0.25);
    info.input = {0x02, 16, 3};
    info.InputFormatChanged();
    EXPECT_EQ(info.channelFactor, 1.0);
    info.selectedChannel = 9;
    info.input.channels = 2;
    info.InputFormatChanged();
    EXPECT_EQ(info.selectedChannel, 2u);
}

class DataSetTest : public DataSetFixture {};

TEST_F(DataSetTest, KernelsFollowTheSampleTypeScaleAndChannelMode) {
    const std::string path = Write("k.raw", std::string(4096, '\0'));
    DataSet* d = Describe(path, 16, 16, 1, 0x82);
    d->zero = 0.0;
    ASSERT_TRUE(d->FormatChanged());
    const auto* entry = static_cast<const ChannelKernelIndexEntry*>(d->kernelSet);
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(d->windowKernel, &InputReadKernel1Swapped);
    EXPECT_NE(d->swapRoutine, nullptr);
    EXPECT_EQ(d->kernelRow, ChannelKernelScaled(entry, false));
    EXPECT_EQ(d->StoredPixelBytes(), 2u);

    d->zero = 0.5;
    ASSERT_TRUE(d->SelectChannelKernel(true));
    EXPECT_EQ(d->kernelRow, ChannelKernelScaled(entry, true));

    d->input = {0x02, 16, 1};
    ASSERT_TRUE(d->FormatChanged());
    EXPECT_EQ(d->windowKernel, &InputReadKernel1);
    EXPECT_EQ(d->swapRoutine, nullptr);

    d->input = {0x02, 16, 3};
    d->channelMode = kChannelSumming;
    ASSERT_TRUE(d->FormatChanged());
    EXPECT_EQ(d->OutputChannels(), 1u);
    EXPECT_EQ(d->InputChannels(), 3u);
    EXPECT_EQ(d->conversionPixelBytes, 8u);
    EXPECT_EQ(d->output.channels, 1u);
    EXPECT_EQ(d->output.type, 0x40u);
    EXPECT_EQ(d->StoredPixelBytes(), 6u);
    entry = static_cast<const ChannelKernelIndexEntry*>(d->kernelSet);
    EXPECT_EQ(d->kernel, ChannelKernelScaled(entry, true) + 2);

    // Output format: another channel count is refused; none resets it.
    OutputFormat f{0x40, 8, 3, 2, {0, 0}};
    EXPECT_FALSE(d->SetOutputFormat(&f));
    f.channels = 1;
    EXPECT_TRUE(d->SetOutputFormat(&f));
    EXPECT_TRUE(d->SetOutputFormat(nullptr));
    EXPECT_EQ(d->windowKernel, &ReadKernelDefault);

    // A type without kernels leaves the stubs.
    d->input = {0x04, 24, 1};
    d->channelMode = kChannelAsIs;
    EXPECT_FALSE(d->FormatChanged());
    EXPECT_EQ(d->windowKernel, &ReadKernelDefault);
    EXPECT_EQ(d->statisticsKernel, &StatisticsKernelDefault);
    testing_io::ExpectContains(Log(), {"#input(): unknow input type"});
    d->Release();
}

TEST_F(DataSetTest, ComponentSlotsAndPositions) {
    DataSet* d = Describe(Write("c.raw", std::string(2000, '\0')), 10, 10, 10);
    d->frameStep = -2;
    d->Prepare();
    EXPECT_TRUE(d->QueryInterface(&kBaseId, nullptr));
    EXPECT_EQ(d->refCount.load(), 1);
    void* out = nullptr;
    EXPECT_TRUE(d->QueryInterface(&kDataSetId, &out));
    EXPECT_EQ(out, static_cast<ComponentObject*>(d));
    EXPECT_EQ(d->Release(), 1);
    EXPECT_FALSE(d->QueryInterface(&kFrameTableId, nullptr));
    EXPECT_FALSE(d->QueryInterface(&kFormatObjectId, nullptr));

    ComponentObject* clone = nullptr;
    ASSERT_TRUE(d->CreateInstance(&clone));
    auto* c = static_cast<DataSet*>(clone);
    EXPECT_EQ(c->formatTag, d->formatTag);
    EXPECT_EQ(c->sizeX, 0);
    EXPECT_EQ(c->windowKernel, &ReadKernelDefault);
    clone->Release();

    EXPECT_STREQ(d->TagText(), "TEST");
    EXPECT_EQ(d->StepFrames(), 5u);
    EXPECT_FALSE(d->SelectPosition(0, 0));
    EXPECT_TRUE(d->SelectPosition(9, -1));
    EXPECT_EQ(d->currentFrame, 4);
    EXPECT_EQ(d->sectionsInFrame, 1);
    EXPECT_FALSE(d->SelectPosition(-1, 3));

    // Regions follow the crop rules and never reach past the data.
    struct RegionCase {
        InputRegion region;
        int64_t x, sx, y, sy;
        bool changed;
    };
    const RegionCase regions[] = {
        {{{2, 3, 0}, {4, 0, 0}}, 2, 4, 3, 7, true},
        {{{2, 3, 0}, {4, 0, 0}}, 2, 4, 3, 7, false},
        {{{-5, 20, 0}, {-1, 50, 0}}, 0, 4, 9, 1, true},
        {{{9, 0, 0}, {0, 0, 0}}, 9, 1, 0, 10, true},
    };
    for (const RegionCase& c : regions) {
        EXPECT_EQ(SetInputRegion(d, &c.region), c.changed);
        EXPECT_EQ(d->cropX, c.x);
        EXPECT_EQ(d->cropSizeX, c.sx);
        EXPECT_EQ(d->cropY, c.y);
        EXPECT_EQ(d->cropSizeY, c.sy);
    }
    EXPECT_FALSE(SetInputRegion(d, nullptr));

    SampleFormat t;
    EXPECT_TRUE(DataSetElementType(d, &t));
    EXPECT_EQ(t.type, 0x82u);
    EXPECT_EQ(t.bits, 16u);
    double lo, hi;
    EXPECT_TRUE(ScaleMinMax(d, &lo, &hi));
    EXPECT_EQ(lo, 0.0);
    EXPECT_EQ(hi, 65535.0);
    d->Release();
}

TEST_F(DataSetTest, SignednessTestAtAttachAndServiceFileAtTheEnd) {
    DataSetServices& services = TheDataSetServices();
    const DataSetServices found = services;
    static int saves;
    static std::string savedName;
    saves = 0;
    savedName.clear();
    services.detectUnsignedInt = true;
    services.signednessTest = [](DataSet*, uint32_t* type) {
        *type |= 0x100;
        return 87;
    };
    services.saveServiceFiles = true;
    services.saveServiceDescription = [](ServiceDescription* d, const char* name) {
        ++saves;
        savedName = name;
        EXPECT_EQ(d->fileLength, 512);
        return 2;
    };
    const std::string path = Write("s.raw", std::string(512, '\0'));
    DataSet* d = Shaped(0x02, 16, 16);
    d->signTestPending = 1;
    d->service = new ServiceDescription;
    d->service->state = 1;
    d->service->positionsValid = 1;
    Attach(d, path);
    EXPECT_EQ(d->input.type, 0x102u);
    EXPECT_EQ(d->channelParams.elementType, 0x102u);
    EXPECT_EQ(d->signTestPending, 0);
    EXPECT_NE(Log().find("Test:\n\t '" + path + "' - probably 87% : type unsigned (changed)..."),
              std::string::npos);
    d->Release();
    EXPECT_EQ(saves, 1);
    EXPECT_EQ(savedName, path);

    // A rewrite that fails is said in the error colour, naming the description.
    static std::vector<std::pair<int, std::string>> shown;
    shown.clear();
    StatusLineHooks hooks;
    hooks.setGroupStatus = [](int, int code, int, const char* text) {
        shown.emplace_back(code, text);
        return 1;
    };
    SetStatusLineHooks(&hooks);
    services.saveServiceDescription = [](ServiceDescription*, const char*) { return -5; };
    DataSet* failing = Shaped(0x02, 16, 16);
    failing->service = new ServiceDescription;
    failing->service->state = 1;
    Attach(failing, path);
    failing->Release();
    SetStatusLineHooks(nullptr);
    const std::string fs = path.substr(0, path.size() - 4) + ".fs";
    EXPECT_EQ(shown, (std::vector<std::pair<int, std::string>>{
                         {-3, "the description could not be saved in '" + fs + "': the file keeps what it held"}}));
    services = found;
}

}  // namespace
}  // namespace orva
