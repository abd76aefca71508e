// Selection of conversion kernels: masks, tables, caches, identity test, log line.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
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
    double out[2] = {0, 0};
    d.kernel(nullptr, out, 2, ScaleZero{});
    EXPECT_EQ(out[0], 1.0);
    EXPECT_EQ(out[1], 1.0);
}

TEST(DConv, SelectsRowsByMaskedTypes) {
    DConv d;
    ScaleZero p;
    // Unsigned 8-bit marked as swapped: the native row, no swap.
    p.swap = 7;
    DConvSelectIn(d, p, 0x181, kTypeF64);
    EXPECT_EQ(d.inputType, 0x101u);
    EXPECT_EQ(d.outputType, kTypeF64);
    EXPECT_EQ(p.swap, 0);
    EXPECT_EQ(d.kernel, RowOf(kTypeF64, false, kTypeU8).plain);
    // Big-endian signed 32-bit: the swapped row.
    DConvSelectIn(d, p, 0x88, 0x40);
    EXPECT_EQ(d.inputType, 0x88u);
    EXPECT_EQ(p.swap, 1);
    EXPECT_EQ(d.kernel, RowOf(kTypeF64, true, kTypeI32).plain);
    // A swapped real output is a machine-order output; layout bits are ignored.
    DConvSelectIn(d, p, 0x1010, 0xC0);
    EXPECT_EQ(d.outputType, kTypeF64);
    EXPECT_EQ(d.inputType, kTypeF32);
    EXPECT_EQ(p.swap, 0);
    // A real input drops an unsigned bit; an integer output drops 0x04.
    DConvSelectIn(d, p, 0x110, kTypeI16 | 0x04);
    EXPECT_EQ(d.inputType, kTypeF32);
    EXPECT_EQ(d.outputType, kTypeI16);
    EXPECT_EQ(d.kernel, RowOf(kTypeI16, false, kTypeF32).plain);
    // Both real bits name no input type.
    CapturedLog([&] { DConvSelectIn(d, p, 0x150, kTypeI16); });
    EXPECT_EQ(d.inputType, 0u);
    EXPECT_EQ(d.outputType, kTypeI16);
}

TEST(DConv, IdentityChoosesThePlainKernel) {
    DConv d;
    ScaleZero p;
    p.zero = -0.0;
    DConvSelectIn(d, p, kTypeI16, kTypeI32);
    EXPECT_EQ(d.kernel, RowOf(kTypeI32, false, kTypeI16).plain);
    p.scale = -1.0;
    p.zero = 0.0;
    DConvSelectIn(d, p, kTypeI16, kTypeI32);
    EXPECT_EQ(d.kernel, RowOf(kTypeI32, false, kTypeI16).scaled);
    p.scale = 1.0;
    p.zero = 1e-300;
    DConvSelectIn(d, p, kTypeI16, kTypeI32);
    EXPECT_EQ(d.kernel, RowOf(kTypeI32, false, kTypeI16).scaled);
    p.zero = std::nan("");
    EXPECT_FALSE(IsIdentity(p));
    p.zero = 0.0;
    EXPECT_TRUE(IsIdentity(p));
    p.scale = std::nextafter(1.0, 2.0);
    EXPECT_FALSE(IsIdentity(p));
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
