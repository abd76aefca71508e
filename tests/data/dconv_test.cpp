// Selection of conversion kernels: masks, tables, caches, identity test, log line.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "common/log.h"
#include "data/dconv.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;

const DConvRow& RowOf(ElementType out, bool swapped, ElementType plainIn) {
    const int o = ConvertOutputIndex(out);
    for (int r = 1; r <= 10; ++r)
        if ((kConvertTables[o][swapped][r].input & ~kElemSwapped) == plainIn) return kConvertTables[o][swapped][r];
    return kConvertTables[o][0][0];
}

TEST(DConv, InitFillsWithOnesAsDoubles) {
    DConv d;
    d.inputType = 7;
    DConvInit(d);
    EXPECT_EQ(d.inputType, 0u);
    EXPECT_EQ(d.outputType, kTypeF64);
    EXPECT_EQ(d.cachedEntry, nullptr);
    EXPECT_EQ(d.kernel, ConvertDefaultKernel(kTypeF64));  // ones as doubles
}

TEST(DConv, SelectsRowsByMaskedTypes) {
    const struct {
        ElementType in, out, wantIn, wantOut;
        uint8_t swap;
        const char* log;
    } cases[] = {
        {0x181, kTypeF64, 0x101, kTypeF64, 0, ""},  // unsigned 8-bit marked as swapped: native, no swap
        {0x1010, 0xC0, kTypeF32, kTypeF64, 0, ""},  // a swapped real output is a machine-order one
        // A real input drops an unsigned bit; an integer output drops 0x04.
        {0x110, kTypeI16 | 0x04, kTypeF32, kTypeI16, 0, ""},
        {0x150, kTypeI16, 0, kTypeI16, 0, "DConvSelectIn(): unkn. types...\n"},  // both real bits
    };
    for (const auto& c : cases) {
        DConv d;
        ScaleZero p{.swap = 7};
        EXPECT_EQ(CapturedLog([&] { DConvSelectIn(d, p, c.in, c.out); }), c.log);
        EXPECT_EQ(d.inputType, c.wantIn) << std::hex << c.in;
        EXPECT_EQ(d.outputType, c.wantOut) << std::hex << c.in;
        if (c.wantIn == 0) continue;
        EXPECT_EQ(p.swap, c.swap) << std::hex << c.in;
        EXPECT_EQ(d.kernel, RowOf(c.wantOut, c.swap, c.wantIn & ~kElemSwapped).plain);
    }
}

TEST(DConv, IdentityChoosesThePlainKernel) {
    const struct {
        double scale, zero;
        bool identity;
    } cases[] = {{1.0, -0.0, true},  {1.0, 0.0, true},          {-1.0, 0.0, false},
                 {1.0, 1e-300, false}, {1.0, std::nan(""), false}, {std::nextafter(1.0, 2.0), 0.0, false}};
    const DConvRow& row = RowOf(kTypeI32, false, kTypeI16);
    for (const auto& c : cases) {
        DConv d;
        ScaleZero p{.scale = c.scale, .zero = c.zero};
        EXPECT_EQ(IsIdentity(p), c.identity) << c.scale << " " << c.zero;
        DConvSelectIn(d, p, kTypeI16, kTypeI32);
        EXPECT_EQ(d.kernel, c.identity ? row.plain : row.scaled) << c.scale << " " << c.zero;
    }
}

TEST(DConv, UnknownTypes) {
    DConv d;
    ScaleZero p;
    // Unknown input for a known output: the empty row and the log line.
    for (ElementType in : {0x04u, 0x00u}) {
        const std::string log = CapturedLog([&] { DConvSelectIn(d, p, in, kTypeI16); });
        EXPECT_EQ(log, "DConvSelectIn(): unkn. types...\n");
        EXPECT_EQ(d.inputType, 0u);
        EXPECT_EQ(d.outputType, kTypeI16);
        int16_t out = 55;
        d.kernel(nullptr, &out, 1, p);
        EXPECT_EQ(out, 55);
    }
    // Unknown output: the empty entry, silently.
    const std::string log = CapturedLog([&] { DConvSelectIn(d, p, kTypeI16, 0x50); });
    EXPECT_EQ(log, "");
    EXPECT_EQ(d.inputType, 0u);
    EXPECT_EQ(d.outputType, 0u);
    EXPECT_EQ(d.cachedEntry, &kDConvEmptyEntry);
    // After a known output, an unknown one does not fall back to the cached entry.
    DConvSelectIn(d, p, kTypeI16, kTypeF32);
    EXPECT_EQ(d.outputType, kTypeF32);
    DConvSelectIn(d, p, kTypeI16, 0x04);
    EXPECT_EQ(d.outputType, 0u);
    EXPECT_EQ(d.inputType, 0u);
}

TEST(DConv, CachesGiveTheSameAnswer) {
    // Every pair selected twice, in two orders, through fresh and reused records.
    DConv reused;
    for (int pass = 0; pass < 2; ++pass) {
        for (ElementType out : kPlainTypes) {
            for (ElementType in : kPlainTypes) {
                for (ElementType sw : {0u, kElemSwapped}) {
                    DConv fresh;
                    ScaleZero p1, p2;
                    DConvSelectIn(fresh, p1, in | sw, out);
                    DConvSelectIn(reused, p2, in | sw, out);
                    const bool wide = ElementSize(in) > 1;
                    EXPECT_EQ(fresh.inputType, wide ? (in | sw) : in);
                    EXPECT_EQ(fresh.outputType, out);
                    EXPECT_EQ(fresh.kernel, reused.kernel);
                    EXPECT_EQ(fresh.kernel, RowOf(out, wide && sw, in).plain);
                    EXPECT_EQ(p1.swap, (wide && sw) ? 1 : 0);
                }
            }
        }
    }
}

}  // namespace
}  // namespace orva
