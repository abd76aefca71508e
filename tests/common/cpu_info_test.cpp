#include "common/cpu_info.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "common/log.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;

TEST(CpuFeatureBits, FromIdentificationLeaves) {
    const uint32_t mmx = 1u << 23, sse = 1u << 25, sse2 = 1u << 26;
    EXPECT_EQ(CpuProcessorBits(false, 5, mmx | sse | sse2, 0x80000008u, ~0u), 0u);
    EXPECT_EQ(CpuProcessorBits(true, 0, mmx | sse | sse2, 0, 0), 0x03u);
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx, 0, 0), 0x07u);
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx | sse, 0, 0), 0x1Fu);
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx | sse | sse2, 0x80000000u, ~0u), 0x3Fu);
    // The extended leaf adds 3DNow!, its extensions and the MMX extensions.
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx, 0x80000001u, 1u << 31), 0x47u);
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx, 0x80000001u, 1u << 30), 0x87u);
    EXPECT_EQ(CpuProcessorBits(true, 1, mmx, 0x80000001u, 1u << 22), 0x0Fu);
    // The operating system adds 0x02 always, and its own bits for the features claimed.
    EXPECT_EQ(CpuAddOsBits(0), 0x02u);
    EXPECT_EQ(CpuAddOsBits(0x11), 0x1Bu);
    EXPECT_EQ(CpuAddOsBits(0x3F), 0x3Fu);
}

TEST(CpuFeatureBits, ThisProcessor) {
    uint32_t raw = 0;
    uint32_t features = CpuFeatures(&raw);
    EXPECT_EQ(CpuFeatures(nullptr), features);  // cached
    EXPECT_EQ(raw, features);
    EXPECT_TRUE(features & kCpuIdPresentOs);
#if defined(__x86_64__)
    EXPECT_EQ(features & 0x3Fu, 0x3Fu);  // identification, MMX, SSE, SSE2 on every x86-64
    CpuInfo info;
    ASSERT_EQ(CpuIdentify(&info, &raw), features);
    EXPECT_EQ(std::string(info.vendor).size(), 12u);
    EXPECT_STREQ(info.modelName, CpuModelName(info.vendor, info.family, info.model));
    EXPECT_LE(info.family, 15u);
    EXPECT_LE(info.model, 15u);
    EXPECT_LE(info.stepping, 15u);
    EXPECT_EQ(info.features, features);
    EXPECT_EQ(info.rawFeatures, raw);
    EXPECT_EQ(info.last, 255u);
    EXPECT_EQ(CpuIdentify(nullptr, nullptr), features);
#endif
}

TEST(CpuModel, VendorTables) {
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 4, 9), "AMD Am486");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 3), "AMD K5");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 4), "");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 5), "");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 7), "AMD K6");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 8), "AMD K6-2");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 5, 15), "AMD K6-3");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 7, 0), "AMD ATHLON or higher");
    EXPECT_STREQ(CpuModelName("AuthenticAMD", 15, 1), "Unknown");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 4, 0), "INTEL 486DX");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 4, 6), "Unknown");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 4, 7), "INTEL 486DX2E");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 4, 8), "INTEL 486DX4");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 5, 0), "Unknown");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 5, 2), "INTEL Pentium");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 5, 4), "INTEL Pentium-MMX");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 6, 1), "INTEL Pentium-Pro");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 6, 2), "Unknown");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 6, 5), "INTEL Pentium-II");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 6, 6), "INTEL Celeron");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 6, 7), "INTEL Pentium-III");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 15, 2), "INTEL Pentium-4");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 15, 3), "INTEL Pentium-4-G");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 15, 4), "Unknown");
    EXPECT_STREQ(CpuModelName("GenuineIntel", 7, 1), "Unknown");
    EXPECT_STREQ(CpuModelName("HygonGenuine", 6, 1), "Unknown");
    EXPECT_STREQ(CpuModelName(nullptr, 6, 1), "Unknown");
}

TEST(CpuReportText, WithoutIdentification) {
    CpuInfo none;
    EXPECT_EQ(CapturedLog([&] { CpuReportFor(none, CpuAddOsBits(0)); }),
              "OS Support for:\nMMX: N\nINT SSE: N\nSSE: N\nSSE2: N\n-----------\n");
}

TEST(CpuReportText, FullProcessors) {
    CpuInfo info;
    std::snprintf(info.vendor, sizeof info.vendor, "%s", "AuthenticAMD");
    std::snprintf(info.modelName, sizeof info.modelName, "%s", "AMD ATHLON or higher");
    info.model = 10;
    info.stepping = 2;
    EXPECT_EQ(CapturedLog([&] { CpuReportFor(info, 0xFF); }),
              "Vendor Name: AuthenticAMD\nCPU Model: AMD ATHLON or higher, Model 10, Stepping 2\n"
              "OS Support for:\nMMX: Y\nSSE: Y\nSSE2: Y\n3DNow: Y\n3DNow Ext.: Y\n-----------\n");
    // Integer SSE without SSE: its own line; no model line without a model name.
    info.modelName[0] = '\0';
    EXPECT_EQ(CapturedLog([&] { CpuReportFor(info, 0x0F); }),
              "Vendor Name: AuthenticAMD\nOS Support for:\nMMX: Y\nINT SSE: Y\nSSE: N\nSSE2: N\n"
              "-----------\n");
}

TEST(CpuReportText, ThisProcessor) {
    std::string all = CapturedLog([] { CpuReport(); });
    EXPECT_NE(all.find("OS Support for:\n"), std::string::npos) << all;
    EXPECT_TRUE(all.ends_with("\n-----------\n")) << all;
#if defined(__x86_64__)
    EXPECT_EQ(all.rfind("Vendor Name: ", 0), 0u) << all;
    EXPECT_GT(all.find('\n'), std::string("Vendor Name: ").size()) << all;  // a name follows
    EXPECT_NE(all.find("MMX: Y\n"), std::string::npos) << all;
    EXPECT_NE(all.find("SSE2: Y\n"), std::string::npos) << all;
    EXPECT_EQ(all.find("INT SSE"), std::string::npos) << all;
#endif
}

TEST(CpuSpeed, ClassFromCycles) {
    EXPECT_EQ(SpeedClassFromCycles(0), 3);
    EXPECT_EQ(SpeedClassFromCycles(59999), 3);
    EXPECT_EQ(SpeedClassFromCycles(60000), 2);
    EXPECT_EQ(SpeedClassFromCycles(240000), 2);
    EXPECT_EQ(SpeedClassFromCycles(240001), 1);
    EXPECT_EQ(SpeedClassFromCycles(960000), 1);
    EXPECT_EQ(SpeedClassFromCycles(960001), 0);
    EXPECT_EQ(SpeedClassFromCycles((uint64_t{1} << 32) - 1), 0);
    EXPECT_EQ(SpeedClassFromCycles(uint64_t{1} << 32), 0);
    EXPECT_EQ(SpeedClassFromCycles(UINT64_MAX), 0);
}

TEST(CpuSpeed, ForcedOrMeasured) {
    for (int c = 0; c <= 3; ++c) {
        SetCpuSpeedClass(c);
        EXPECT_EQ(MeasureCpuSpeedClass(), c);
    }
    SetCpuSpeedClass(-1);
    int measured = MeasureCpuSpeedClass();
    EXPECT_GE(measured, 0);
    EXPECT_LE(measured, 3);
    SetCpuSpeedClass(7);  // out of range: back to the measurement
    int again = MeasureCpuSpeedClass();
    EXPECT_GE(again, 0);
    EXPECT_LE(again, 3);
}

TEST(CpuSpeedDeathTest, EnvironmentForcesTheClass) {
    // The variable is read once per process, so each case runs in a fresh one.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    for (int c = 0; c <= 3; ++c) {
        std::string value = std::to_string(c);
        testing_util::ScopedEnv env(kCpuSpeedClassVariable, value);
        EXPECT_EXIT(std::exit(10 + MeasureCpuSpeedClass()), testing::ExitedWithCode(10 + c), "");
    }
}

}  // namespace
}  // namespace orva
