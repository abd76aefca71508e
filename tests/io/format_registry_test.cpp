#include "io/format_registry.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "common/log.h"
#include "test_support.h"

namespace orva {
namespace {

std::string Filter(const FormatList& l) { return l.filter; }
// A text with embedded NULs, whole.
#define BYTES(lit) std::string(lit, sizeof(lit) - 1)

class FormatRegistryTest : public ::testing::Test {
protected:
    void TearDown() override { ReleaseFormats(reg); }
    FormatRegistry reg;
};

TEST_F(FormatRegistryTest, StartUpLogAndCounts) {
    const std::string log = testing_util::CapturedLog([&] { LoadIOModules(reg, "/nowhere/plug/io/"); });
    EXPECT_NE(log.find("Load 12 IO module(s)... Format(s): input 12, output 3"), std::string::npos) << log;
    EXPECT_EQ(FormatCount(reg), 12);
    // Loading again starts from an empty registry.
    LoadIOModules(reg, nullptr);
    EXPECT_EQ(FormatCount(reg), 12);
}

TEST_F(FormatRegistryTest, FilterTextsAndLists) {
    int in = 0, out = 0;
    ASSERT_EQ(RegisterBuiltinFormats(reg, &in, &out), 12);
    EXPECT_EQ(in, 12);
    EXPECT_EQ(out, 3);
    const std::string all =
        "*.fts;*.fit;*.fits;*.mt;*.200;*.jpg;*.jpeg;*.jpe;*.bmp;*.dib;*.rle;"
        "*.slc;*.sl;*.sli;*.slic;*.slice;*.stc;*.st;*.sta;*.stat;*.stati;*.statist;*.statistic;"
        "*.txt;*.text;*.dsv;*.200;*.100;*.bvc;*.bvct;*.bvec;*.bvect;*.bvector;*.spe;*.lma;"
        "*.dat;*.data;*.bin;*.raw;*.cut;*.bt;*.i2";
    const std::string input = BYTES(
        "FITS\0*.fts;*.fit;*.fits;*.mt;*.200\0" "JPEG\0*.jpg;*.jpeg;*.jpe\0BMP\0*.bmp;*.dib;*.rle\0"
        "Slice [Vector]\0*.slc;*.sl;*.sli;*.slic;*.slice\0"
        "Statistic [Region]\0*.stc;*.st;*.sta;*.stat;*.stati;*.statist;*.statistic\0"
        "Text\0*.txt;*.text\0DSV\0*.dsv\0" "200 [FITS]\0*.200;*.100\0"
        "Vector [old version]\0*.bvc;*.bvct;*.bvec;*.bvect;*.bvector\0"
        "SPE [4100 bytes HD]\0*.spe\0LMA [512 bytes HD]\0*.lma\0"
        "Binary\0*.dat;*.data;*.bin;*.raw;*.cut;*.bt;*.i2\0[*.*] All\0*.*\0All Formats\0") +
        all + BYTES("\0\0");
    EXPECT_EQ(Filter(reg.input), input);
    EXPECT_EQ(reg.input.kind, 2u);
    EXPECT_EQ(reg.input.current, -1);
    EXPECT_EQ(reg.input.entryCount, 12u);
    EXPECT_EQ(Filter(reg.output),
              BYTES("FITS\0*.fts;*.fit;*.fits;*.mt;*.200\0" "200 [FITS]\0*.200;*.100\0"
                    "Binary\0*.dat;*.data;*.bin;*.raw;*.cut;*.bt;*.i2\0\0"));
    EXPECT_EQ(reg.output.kind, 4u);
    EXPECT_EQ(Filter(reg.output380), BYTES("FITS\0*.fts;*.fit;*.fits;*.mt;*.200\0\0"));
    EXPECT_EQ(reg.output380.kind, 0x384u);
    EXPECT_EQ(reg.output580.kind, 0x584u);
    EXPECT_EQ(reg.output580.entries.size(), 1u);
}

TEST_F(FormatRegistryTest, NormalisedTypesAndLookUps) {
    RegisterBuiltinFormats(reg, nullptr, nullptr);
    EXPECT_EQ(FormatFits()->defaultType, 0xC0u);
    EXPECT_EQ(InputFormatByIndex(reg, 8)->defaultType, 0x82u);  // "200 [FITS]"
    EXPECT_EQ(InputFormatByIndex(reg, 6)->defaultType, 0x40u);  // Text
    EXPECT_EQ(InputFormatByIndex(reg, 2)->defaultType, 0x101u); // JPEG

    EXPECT_STREQ(FindFormatByTag(reg, MakeFormatTag("BINARY"))->name, "Text");
    EXPECT_STREQ(FormatBinary()->name, "Binary");
    EXPECT_STREQ(FindFormatByTag(reg, MakeFormatTag("SPE WINV"))->name, "SPE [4100 bytes HD]");
    EXPECT_EQ(FindFormatByTag(reg, FormatTag{}), nullptr);
    EXPECT_EQ(FindFormatByTag(reg, MakeFormatTag("NOPE")), nullptr);
    EXPECT_EQ(FormatPosition(reg, FormatBinary()), 12);
    EXPECT_EQ(FormatPosition(reg, nullptr), 0);
    EXPECT_EQ(InputFormatByIndex(reg, 0), nullptr);
    EXPECT_EQ(InputFormatByIndex(reg, 13), nullptr);
    EXPECT_TRUE(FormatMatchesExtension(FormatFits(), "/d/a.b/x.FITS"));
    EXPECT_FALSE(FormatMatchesExtension(FormatFits(), "/d/fits"));

    const FormatDesc* p200 = InputFormatByIndex(reg, 8);
    EXPECT_EQ(StepWritableFormat(reg, FormatFits(), 1), p200);
    EXPECT_EQ(StepWritableFormat(reg, p200, 1), FormatBinary());
    EXPECT_EQ(StepWritableFormat(reg, FormatBinary(), 1), nullptr);
    EXPECT_EQ(StepWritableFormat(reg, FormatFits(), 0), nullptr);
    EXPECT_EQ(StepWritableFormat(reg, FormatBinary(), 0), p200);
    EXPECT_EQ(StepWritableFormat(reg, nullptr, 1), FormatBinary());

    // Output index clamping and the current output list.
    int32_t i = 0;
    EXPECT_EQ(CurrentOutputFormat(reg, &i), FormatBinary());
    EXPECT_EQ(i, 1);
    i = 7;
    EXPECT_EQ(OutputFormatByIndex(reg.output, &i), FormatBinary());
    EXPECT_EQ(i, 3);
    i = 0;
    EXPECT_EQ(OutputFormatByIndex(reg.output, &i), FormatFits());
    EXPECT_EQ(i, 1);
    FormatListSelectTag(reg.output, UnsetFormatTag());
    EXPECT_EQ(reg.output.current, -1);
    FormatListSelectTag(reg.output, MakeFormatTag("BINARY"));
    EXPECT_EQ(reg.output.current, 3);

    // Kind tags of saved objects choose the output lists.
    struct {
        const char* tag;
        FormatList* list;
    } cases[] = {{"POINT", &reg.output380},  {"REFPOINT", &reg.output380},
                 // A kind list is chosen by any shared kind bit, so 0x580 meets the 0x380 list first.
                 {"REGION", &reg.output380}, {"SIMPLOBJ", &reg.output380},
                 {"OTHER", &reg.output}};
    for (auto& c : cases) {
        reg.currentOutput = nullptr;
        EXPECT_TRUE(SelectOutputFormatList(
            reg, OutputKindForObjectTag(MakeFormatTag(c.tag)), 4, false))
            << c.tag;
        EXPECT_EQ(reg.currentOutput, c.list) << c.tag;
    }
    EXPECT_FALSE(FindFormatList(reg, 0, false));
    EXPECT_TRUE(FindFormatList(reg, 0x384, true));
    EXPECT_EQ(reg.currentOutput, &reg.output380);
}

int gReleased = 0;
void CountRelease(uintptr_t context) { gReleased += static_cast<int>(context); }
int OpenNone(InputSource*) { return -13; }

TEST_F(FormatRegistryTest, PluginRecordsRefusalStarPatternsAndRelease) {
    static const FormatDesc kNone{};
    FormatDesc noExt = kNone;
    noExt.name = "bad";
    EXPECT_EQ(ValidateFormatDesc(reg, &noExt), 0);
    FormatDesc star = kNone;
    star.tag = MakeFormatTag("STAR");
    star.extensions = "*x\0";
    star.open = &OpenNone;
    star.release = &CountRelease;
    star.context = 5;
    FormatDesc any = kNone;
    any.tag = MakeFormatTag("ANY");
    any.extensions = "*y\0abc\0";
    any.flags = kFormatAnyEntry;
    any.open = &OpenNone;
    ASSERT_EQ(ValidateFormatDesc(reg, &star), 1);
    ASSERT_EQ(ValidateFormatDesc(reg, &any), 1);
    InputFormatFilter(reg.input, reg.head);
    EXPECT_EQ(reg.input.formatCount, 2u);
    EXPECT_EQ(Filter(reg.input),
              BYTES("noname\0*.abc\0[*.*]  noname\0*.*\0[*.*] All\0*.*\0All Formats\0*.abc\0\0"));
    EXPECT_EQ(InputFormatByIndex(reg, 1), &any);
    EXPECT_EQ(InputFormatByIndex(reg, 2), &any);
    gReleased = 0;
    ReleaseFormats(reg);
    EXPECT_EQ(gReleased, 5);
    EXPECT_EQ(star.context, 0u);
    EXPECT_EQ(FormatCount(reg), 0);
    // The input list has no array now: index look-ups fall back to the binary format.
    EXPECT_EQ(InputFormatByIndex(reg, 1), FormatBinary());
}

}  // namespace
}  // namespace orva
