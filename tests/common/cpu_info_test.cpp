#include "common/cpu_info.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>

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
    EXPECT_EQ(std::pair(CpuFeatures(nullptr), raw), std::pair(features, features));  // cached
    EXPECT_TRUE(features & kCpuIdPresentOs);
#if defined(__x86_64__)
    EXPECT_EQ(features & 0x3Fu, 0x3Fu);  // identification, MMX, SSE, SSE2 on every x86-64
    CpuInfo info;
    ASSERT_EQ(CpuIdentify(&info, &raw), features);
    EXPECT_EQ(std::string(info.vendor).size(), 12u);
    EXPECT_STREQ(info.modelName, CpuModelName(info.vendor, info.family, info.model));
    EXPECT_TRUE(info.family <= 15u && info.model <= 15u && info.stepping <= 15u);
    EXPECT_EQ(std::tuple(info.features, info.rawFeatures, info.last),
              std::tuple(features, raw, 255u));
    EXPECT_EQ(CpuIdentify(nullptr, nullptr), features);
#endif
}

TEST(CpuModel, VendorTables) {
    const struct {
        const char* vendor;
        uint32_t family, model;
        const char* name;
    } cases[] = {
        {"AuthenticAMD", 4, 9, "AMD Am486"}, {"AuthenticAMD", 5, 3, "AMD K5"},
        {"AuthenticAMD", 5, 4, ""},
        {"AuthenticAMD", 5, 5, ""}, {"AuthenticAMD", 5, 7, "AMD K6"},
        {"AuthenticAMD", 5, 8, "AMD K6-2"},
        {"AuthenticAMD", 5, 15, "AMD K6-3"}, {"AuthenticAMD", 7, 0, "AMD ATHLON or higher"},
        {"AuthenticAMD", 15, 1, "Unknown"}, {"GenuineIntel", 4, 0, "INTEL 486DX"},
        {"GenuineIntel", 4, 6, "Unknown"}, {"GenuineIntel", 4, 7, "INTEL 486DX2E"},
        {"GenuineIntel", 4, 8, "INTEL 486DX4"}, {"GenuineIntel", 5, 0, "Unknown"},
        {"GenuineIntel", 5, 2, "INTEL Pentium"}, {"GenuineIntel", 5, 4, "INTEL Pentium-MMX"},
        {"GenuineIntel", 6, 1, "INTEL Pentium-Pro"}, {"GenuineIntel", 6, 2, "Unknown"},
        {"GenuineIntel", 6, 5, "INTEL Pentium-II"}, {"GenuineIntel", 6, 6, "INTEL Celeron"},
        {"GenuineIntel", 6, 7, "INTEL Pentium-III"}, {"GenuineIntel", 15, 2, "INTEL Pentium-4"},
        {"GenuineIntel", 15, 3, "INTEL Pentium-4-G"}, {"GenuineIntel", 15, 4, "Unknown"},
        {"GenuineIntel", 7, 1, "Unknown"}, {"HygonGenuine", 6, 1, "Unknown"},
        {nullptr, 6, 1, "Unknown"},
    };
    for (const auto& c : cases)
        EXPECT_STREQ(CpuModelName(c.vendor, c.family, c.model), c.name)
            << (c.vendor ? c.vendor : "(null)") << " " << c.family << "/" << c.model;
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
    for (const char* line : {"MMX: Y\n", "SSE2: Y\n"})
        EXPECT_NE(all.find(line), std::string::npos) << all;
    EXPECT_EQ(all.find("INT SSE"), std::string::npos) << all;
#endif
}

TEST(CpuSpeed, ClassFromCycles) {
    const std::pair<uint64_t, int> cases[] = {
        {0, 3}, {59999, 3}, {60000, 2}, {240000, 2}, {240001, 1}, {960000, 1}, {960001, 0},
        {(uint64_t{1} << 32) - 1, 0}, {uint64_t{1} << 32, 0}, {UINT64_MAX, 0}};
    for (auto [cycles, speed] : cases) EXPECT_EQ(SpeedClassFromCycles(cycles), speed) << cycles;
}

TEST(CpuSpeed, ForcedOrMeasured) {
    for (int c = 0; c <= 3; ++c) {
        SetCpuSpeedClass(c);
        EXPECT_EQ(MeasureCpuSpeedClass(), c);
    }
    for (int c : {-1, 7}) {  // out of range: back to the measurement
        SetCpuSpeedClass(c);
        int measured = MeasureCpuSpeedClass();
        EXPECT_TRUE(measured >= 0 && measured <= 3) << measured;
    }
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
