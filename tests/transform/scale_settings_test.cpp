// The scaling settings: the keys of their section, round trips through a real
// service file, the range operations and the per-class values.
#include "transform/scale_settings.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <string>

#include "test_support.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing_transform::ScaleSection;
using testing_transform::ScopedSaveServiceFiles;
using testing_transform::ReleaseDefaults;
using testing_transform::TransformTest;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

constexpr uint32_t kF64 = 0x40;
constexpr double kSmallestStep = 4.450147717014403e-308;

using Settings = std::unique_ptr<ScaleDefaults, ReleaseDefaults>;

Settings Make() { return Settings(ScaleDefaults::Create()); }

bool Bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

class ScaleSettingsTest : public TransformTest {
protected:
    // Reads a file holding the scaling section with `body` into `s`.
    bool ReadBody(ScaleDefaults* s, const std::string& body) {
        const std::string path = folder.File("section.cfg");
        WriteText(path, ScaleSection() + "\n" + body);
        return s->Read(path.c_str());
    }
    TempFolder folder;
};

// ---- Keys ---------------------------------------------------------------------------

TEST_F(ScaleSettingsTest, KeysAsTheyAreRead) {
    struct Row {
        const char* body;
        int classIndex;  // −1: the class is not selected
        const char* check;
    };
    // Each section also sets Lock, so that a refused key still leaves a section that was found.
    const Row rows[] = {
        {"SCClass=\"ran\"\n", 0, "class"},
        {"SCClass=p\n", 1, "class"},
        {"SCClass='log'\n", 2, "class"},
        {"SCClass=<exp>\n", 3, "class"},
        {"SCClass=bitsshift   \n", 4, "class"},
        {"SCClass=rangeX\n", -1, "class"},
        {"SCClass=\"\"\n", -1, "class"},
        {"SCClass=Range\n", -1, "class"},
        {"NMax=0\nNMin=0\n", -1, "nmax 4 nmin 1"},
        {"NMax=0x10\nNMin=500\n", -1, "nmax 16 nmin 100"},
        {"NMax=010\nNMin=-3\n", -1, "nmax 8 nmin 1"},
        {"Step=0\n", -1, "step smallest"},
        {"Step=-1\n", -1, "step 1"},
        {"Step=2.5e-320\n", -1, "step smallest"},
        {"MinMax=5, 5\n", -1, "range 0 0"},
        {"MinMax=6, 5\n", -1, "range 0 0"},
        {"MinMax=1e-3 2\n", -1, "range 0.001 2"},
        {"MinMax=1, 2, 3\n", -1, "range 0 0"},
        {"RestoreRange=on\n", -1, "restore 1"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.body);
        Settings s = Make();
        ASSERT_TRUE(ReadBody(s.get(), std::string(r.body) + "Lock=1\n"));
        const ScaleSettings& v = s->settings;
        EXPECT_EQ(v.lock, 1);
        const std::string check = r.check;
        if (check == "class") {
            EXPECT_EQ(v.classRow == nullptr ? -1 : v.classIndex, r.classIndex);
        } else if (check.rfind("nmax", 0) == 0) {
            EXPECT_EQ("nmax " + std::to_string(v.nMax) + " nmin " + std::to_string(v.nMin), check);
        } else if (check == "step smallest") {
            EXPECT_EQ(v.step, kSmallestStep);
        } else if (check == "step 1") {
            EXPECT_EQ(v.step, 1.0);
        } else if (check.rfind("range", 0) == 0) {
            char text[64];
            std::snprintf(text, sizeof text, "range %g %g", v.min, v.max);
            EXPECT_EQ(text, check);
        } else if (check == "restore 1") {
            EXPECT_EQ(v.restoreRange, 1);
        }
    }
}

TEST_F(ScaleSettingsTest, RefusedKeysAreLoggedWithTheirLine) {
    Settings s = Make();
    const std::string log =
        testing_util::CapturedLog([&] { ReadBody(s.get(), "Lock=1\nSCClass=rangeX\nValue4=0xfg\n"); });
    EXPECT_NE(log.find("$3: 'SCClass=rangeX' : bad cmd"), std::string::npos) << log;
    EXPECT_NE(log.find("$4: 'Value4=0xfg' : bad cmd"), std::string::npos) << log;
}

TEST_F(ScaleSettingsTest, ClassValuesFromASection) {
    Settings s = Make();
    ASSERT_TRUE(ReadBody(s.get(), "SCClass=bitsshift\nValue1=2.5\nValue2=3\nValue3=7\nValue4=ff\n"));
    EXPECT_EQ(s->settings.classRow, ScaleClassAt(4));
    EXPECT_EQ(s->settings.value1, 2.5);
    EXPECT_EQ(s->settings.value2, 3.0);
    EXPECT_EQ(s->settings.value3, 7u);
    EXPECT_EQ(s->settings.value4, 0xFFu);

    // Refused values: negative or not finite reals, a word beyond 32 bits, a mask that is not hexadecimal.
    ASSERT_TRUE(ReadBody(s.get(), "SCClass=bitsshift\nValue1=-1\nValue2=1e999\nValue3=4294967296\nValue4=0xfg\n"));
    EXPECT_EQ(s->settings.value1, 2.5);
    EXPECT_EQ(s->settings.value2, 3.0);
    EXPECT_EQ(s->settings.value3, 7u);
    EXPECT_EQ(s->settings.value4, 0xFFu);
    ASSERT_TRUE(ReadBody(s.get(), "SCClass=bitsshift\nValue4=0x8000000F\nUserValue=1i32, 2u32\n"));
    EXPECT_EQ(s->settings.value4, 0x8000000Fu);

    // A partial section keeps the values it does not name: a hand-edited "Value1"
    // alone no longer turns the mask to 0.
    Settings fresh = Make();
    ASSERT_TRUE(ReadBody(fresh.get(), "SCClass=bitsshift\nValue1=2\n"));
    const ScaleSettings& f = fresh->settings;
    EXPECT_EQ(std::make_tuple(f.value1, f.value2, f.value3, f.value4), std::make_tuple(2.0, 1.0, 2u, 0xFFu));

    // A section without "SCClass" keeps the class and its values, whatever values it gives.
    ASSERT_NE(s->settings.SetClassByIndex(2, kF64, kF64), nullptr);
    s->settings.value1 = 0.5;
    ASSERT_TRUE(ReadBody(s.get(), "MinMax=1, 2\nValue1=9\nValue2=9\n"));
    EXPECT_EQ(s->settings.classIndex, 2);
    EXPECT_EQ(s->settings.value1, 0.5);
    EXPECT_EQ(s->settings.value2, 24.0);
    EXPECT_EQ(s->settings.max, 2.0);

    // A section naming the selected class and one value keeps the other, edited, value.
    s->settings.value2 = 30.0;
    ASSERT_TRUE(ReadBody(s.get(), "SCClass=log\nValue1=0.25\n"));
    EXPECT_EQ(std::make_pair(s->settings.value1, s->settings.value2), std::make_pair(0.25, 30.0));
}

TEST_F(ScaleSettingsTest, UnreadableOrMissingSectionsChangeNothing) {
    Settings s = Make();
    s->settings.min = 3.0;
    s->settings.max = 4.0;
    EXPECT_FALSE(s->Read(folder.File("missing.fs").c_str()));
    WriteText(folder.File("other.cfg"), "[{00000001-00000000-0000000000000000-00000000}]\nMinMax=7, 8\n");
    s->Read(folder.File("other.cfg").c_str());
    // Only refused keys: the section does not count as found.
    ReadBody(s.get(), "MinMax=9, 9\nNMax=x\n");
    EXPECT_EQ(std::make_pair(s->settings.min, s->settings.max), std::make_pair(3.0, 4.0));
}

// ---- Service files ------------------------------------------------------------------

TEST_F(ScaleSettingsTest, RoundTripThroughAServiceFile) {
    ScopedSaveServiceFiles save(true);
    const std::string data = folder.File("frame.fits");
    const std::string service = folder.File("frame.fs");
    const std::string name = "<NAME>" + data;
    const std::string others =
        "SEL(URL=<other.fits>)\n{\n [{00000001-00000000-0000000000000000-00000000}]\n Keep=1\n}\n\n"
        "SEL(URL=<frame.fits>)\n{\n [{00000002-00000000-0000000000000000-00000000}]\n Mine=2\n}\n";
    WriteText(service, others);

    Settings s = Make();
    ScaleSettings& v = s->settings;
    v.min = 12345.678;
    v.max = 98765.4321;
    v.step = 0.1;
    v.nMax = 7;
    v.lock = 1;
    ASSERT_NE(v.SetClassByIndex(2, kF64, kF64), nullptr);
    v.value1 = 0.7;
    v.value2 = 24.0;
    v.UpdateScale();
    ASSERT_TRUE(s->Write(name.c_str()));
    const std::string written = ReadText(service);
    EXPECT_EQ(written,
              "SEL(URL=<other.fits>)\n{\n [{00000001-00000000-0000000000000000-00000000}]\n Keep=1\n}\n\n"
              "SEL(URL=<frame.fits>)\n{\n [{00000002-00000000-0000000000000000-00000000}]\n Mine=2\n\n " +
                  ScaleSection() +
                  "\n SCClass=\"log\"\n RestoreRange=0\n Lock=1\n MinMax=12345.678, 98765.432100000005\n"
                  " NMax=7\n NMin=2\n Step=0.10000000000000001\n Value1=0.69999999999999996\n Value2=24\n"
                  " Value3=2\n Value4=0xFF\n}\n");

    Settings back = Make();
    ASSERT_TRUE(back->Read(name.c_str()));
    const ScaleSettings& b = back->settings;
    EXPECT_TRUE(Bits(b.min, 12345.678) && Bits(b.max, 98765.4321) && Bits(b.step, 0.1));
    EXPECT_TRUE(Bits(b.value1, 0.7) && Bits(b.value2, 24.0));
    EXPECT_EQ(std::make_tuple(b.classIndex, b.nMax, b.lock), std::make_tuple(2, 7, uint8_t{1}));
    EXPECT_TRUE(Bits(b.scale, v.scale) && Bits(b.offset, v.offset));
    // The loaded range is the source range of settings that had none.
    EXPECT_EQ(std::make_pair(b.sourceRange.low, b.sourceRange.high), std::make_pair(b.min, b.max));

    // Writing again replaces the section in place.
    v.value2 = 12.0;
    ASSERT_TRUE(s->Write(name.c_str()));
    const std::string again = ReadText(service);
    EXPECT_EQ(again.size(), written.size());
    EXPECT_NE(again.find(" Value2=12\n"), std::string::npos);

    // With FSSave off, writing succeeds and the file stays as it was.
    ScopedSaveServiceFiles off(false);
    v.value2 = 1.0;
    EXPECT_TRUE(s->Write(name.c_str()));
    EXPECT_EQ(ReadText(service), again);
}

TEST_F(ScaleSettingsTest, UserValuesAreWrittenInTheirForms) {
    ScopedSaveServiceFiles save(true);
    Settings s = Make();
    ScaleSettings& v = s->settings;
    ASSERT_NE(v.SetClassByIndex(8, kF64, kF64), nullptr);
    double real = 2.5;
    uint64_t realBits;
    std::memcpy(&realBits, &real, 8);
    v.slots[8].userValues = {{5, 0, uint64_t(uint32_t(-4))}, {6, 0, 4000000000u}, {8, 0, uint64_t(-3)},
                             {10, 0, realBits}, {1, 0, 18446744073709551615u}};
    const std::string path = folder.File("user.cfg");
    ASSERT_TRUE(s->Write(path.c_str()));
    EXPECT_NE(ReadText(path).find("\nUserValue=-4i32, 4000000000u32, -3i64, 2.5, 18446744073709551615u64\n"),
              std::string::npos)
        << ReadText(path);
    // Read back, the key is accepted and ignored.
    Settings back = Make();
    ASSERT_TRUE(back->Read(path.c_str()));
    EXPECT_TRUE(back->settings.slots.empty() || back->settings.slots[8].userValues.empty());
}

// ---- The range ---------------------------------------------------------------------

TEST(ScaleRange, UpdateScale) {
    struct Row {
        double min, max;
        double wantMin, wantMax, scale, offset;
    };
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const Row rows[] = {
        {3.0, 3.0, 3.0, 3.0, 1.0, 3.0},
        {5.0, 2.0, 2.0, 2.0, 1.0, 2.0},
        {0.0, 4.0, 0.0, 4.0, 0.25, 0.0},
        {-2.0, 6.0, -2.0, 6.0, 0.125, -0.25},
        {nan, inf, 0.0, DBL_MAX, DBL_MIN, 0.0},
        {-inf, 8.0, 0.0, 8.0, 0.125, 0.0},
        {-DBL_MAX, DBL_MAX, -DBL_MAX, 0.0, DBL_MIN, DBL_MIN * -DBL_MAX},
        {-1.0, DBL_MAX, -1.0, DBL_MAX - 1.0, DBL_MIN, -DBL_MIN},
    };
    for (const Row& r : rows) {
        ScaleSettings s;
        s.min = r.min;
        s.max = r.max;
        s.UpdateScale();
        EXPECT_EQ(std::make_tuple(s.min, s.max, s.scale, s.offset),
                  std::make_tuple(r.wantMin, r.wantMax, r.scale, r.offset))
            << r.min << " " << r.max;
    }
}

TEST(ScaleRange, BoundsAndShifts) {
    auto make = [](double min, double max) {
        ScaleSettings s;
        s.min = min;
        s.max = max;
        s.UpdateScale();
        return s;
    };
    ScaleSettings s = make(0.0, 10.0);
    EXPECT_TRUE(s.SetMin(3.0, true, true));  // with Lock the width stays
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(3.0, 13.0));
    EXPECT_EQ(std::make_pair(s.previousRange.low, s.previousRange.high), std::make_pair(0.0, 10.0));
    EXPECT_FALSE(s.SetMin(3.0, true, true));
    EXPECT_FALSE(s.SetMin(std::numeric_limits<double>::quiet_NaN(), false, false));
    EXPECT_TRUE(s.SetMax(20.0, true, false));
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(10.0, 20.0));

    s = make(0.0, 10.0);  // without Lock a bound stops 1 % of the width short of the other
    EXPECT_TRUE(s.SetMin(10.0, false, false));
    EXPECT_EQ(s.min, 9.9);
    s = make(0.0, 10.0);
    EXPECT_TRUE(s.SetMin(50.0, false, false));
    EXPECT_EQ(s.min, 9.9);
    s = make(0.0, 10.0);
    EXPECT_TRUE(s.SetMax(-4.0, false, false));
    EXPECT_EQ(s.max, 0.1);
    EXPECT_DOUBLE_EQ(s.scale, 10.0);
    s = make(5.0, 5.0);  // no width: nothing to stop short at
    EXPECT_FALSE(s.SetMin(5.0, false, false));
    EXPECT_FALSE(s.SetMin(6.0, false, false));
    EXPECT_TRUE(s.SetMin(4.0, false, false));

    s = make(0.0, 1e308);  // Lock near the end of the doubles
    EXPECT_TRUE(s.SetMin(1e308, true, false));
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(DBL_MAX - 1e308, DBL_MAX));
    s = make(0.0, 1e308);
    EXPECT_TRUE(s.SetMax(-1e308, true, false));
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(-DBL_MAX, 1e308 - DBL_MAX));

    s = make(0.0, 1e308);  // shifts are limited at ±DBL_MAX
    EXPECT_TRUE(s.ShiftRange(DBL_MAX, true));
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(DBL_MAX - 1e308, DBL_MAX));
    EXPECT_FALSE(s.ShiftRange(1.0, true));
    s = make(-1e308, 0.0);
    EXPECT_TRUE(s.ShiftRange(-DBL_MAX, true));
    EXPECT_EQ(std::make_pair(s.min, s.max), std::make_pair(-DBL_MAX, 1e308 - DBL_MAX));
    EXPECT_FALSE(s.ShiftRange(0.0, true));
    EXPECT_FALSE(s.ShiftRange(std::numeric_limits<double>::quiet_NaN(), true));
    s = make(1.0, 2.0);
    EXPECT_TRUE(s.ShiftRange(0.5, false));
    EXPECT_EQ(std::make_tuple(s.min, s.max, s.scale, s.offset), std::make_tuple(1.5, 2.5, 1.0, 1.5));
}

TEST(ScaleRange, Equality) {
    EXPECT_TRUE(ScaleRangesEqual(0.0, 1.0, 1e-6, 1.0));
    EXPECT_TRUE(ScaleRangesEqual(0.0, 1.0, 0.0, 1.0 + 1.5e-5));
    EXPECT_FALSE(ScaleRangesEqual(0.0, 1.0, 0.0, 1.0 + 1.6e-5));
    EXPECT_TRUE(ScaleRangesEqual(1e6, 2e6, 1e6 + 15.0, 2e6));
    EXPECT_FALSE(ScaleRangesEqual(1e6, 2e6, 1e6 + 16.0, 2e6));
    EXPECT_TRUE(ScaleRangesEqual(0.0, 0.0, 0.0, 0.0));
    EXPECT_TRUE(ScaleRangesEqual(0.0, 1e-310, 1e-320, 1e-310));  // below DBL_MIN apart
    EXPECT_FALSE(ScaleRangesEqual(0.0, 1e-300, 0.0, 1e-290));
    EXPECT_FALSE(ScaleRangesEqual(5.0, 5.0, 5.0, 5.0 + 1e-15));  // no width: the epsilon rule
}

// ---- Classes and copies --------------------------------------------------------------

TEST(ScaleClasses, EachClassKeepsItsValues) {
    ScaleSettings s;
    EXPECT_EQ(s.SetClassByIndex(2, 0, kF64), nullptr);  // no kernel for that format
    EXPECT_EQ(s.classRow, nullptr);
    ASSERT_EQ(s.SetClassByIndex(2, kF64, kF64), ScaleKernelLog);
    EXPECT_EQ(std::make_pair(s.value1, s.value2), std::make_pair(0.7, 24.0));
    s.value1 = 0.3;
    s.value2 = 5.0;
    ASSERT_EQ(s.SetClassByIndex(3, kF64, kF64), ScaleKernelExp);
    EXPECT_EQ(std::make_tuple(s.value1, s.value2, s.value3, s.value4), std::make_tuple(0.01, 9.14, 2u, 0xFFu));
    ASSERT_EQ(s.SetClassByIndex(2, kF64, kF64), ScaleKernelLog);
    EXPECT_EQ(std::make_pair(s.value1, s.value2), std::make_pair(0.3, 5.0));
    EXPECT_EQ(s.SetClassByIndex(99, kF64, kF64), ScaleKernelBox);
    EXPECT_EQ(s.SetClassByIndex(-5, kF64, kF64), ScaleKernelRange);
    EXPECT_EQ(FindScaleClass("gamma", 5), 7);
    EXPECT_STREQ(ScaleClassAt(5)->title, "ByteSwap");
    EXPECT_EQ(ScaleClassAt(9), nullptr);

    // Reset: the defaults, no class selected, the class's values kept in its slot.
    s.SetClassByIndex(2, kF64, kF64);
    s.value1 = 0.9;
    s.min = 1.0;
    s.max = 2.0;
    s.step = 3.0;
    s.lock = 1;
    s.ResetDefaults();
    EXPECT_EQ(std::make_tuple(s.min, s.max, s.step, s.lock, s.classIndex), std::make_tuple(0.0, 0.0, 1.0, uint8_t{0}, 0));
    EXPECT_EQ(s.classRow, nullptr);
    EXPECT_EQ(std::make_pair(s.scale, s.offset), std::make_pair(1.0, 0.0));
    s.SetClassByIndex(2, kF64, kF64);
    EXPECT_EQ(s.value1, 0.9);
}

TEST(ScaleClasses, CopyOfARecord) {
    ScaleSettings from;
    from.step = 0.0;
    from.nMax = 0;
    from.nMin = -1;
    from.min = 2.0;
    from.max = 6.0;
    from.SetClassByIndex(3, kF64, kF64);
    from.value1 = 0.5;
    from.SaveClassValues();
    ScaleSettings to;
    ASSERT_TRUE(CopyScaleSettings(&to, from, nullptr, 0));
    EXPECT_EQ(std::make_tuple(to.step, to.nMax, to.nMin), std::make_tuple(1.0, 4, 2));
    EXPECT_EQ(std::make_tuple(to.min, to.max, to.scale), std::make_tuple(2.0, 6.0, 0.25));
    EXPECT_EQ(std::make_pair(to.sourceRange.low, to.sourceRange.high), std::make_pair(2.0, 6.0));
    EXPECT_EQ(to.classIndex, 3);
    to.LoadClassValues();
    EXPECT_EQ(to.value1, 0.5);

    // A record that names no class leaves class and slots; an empty range leaves the range.
    ScaleSettings none;
    none.classIndex = -1;
    ASSERT_TRUE(CopyScaleSettings(&to, none, nullptr, 0));
    EXPECT_EQ(std::make_tuple(to.classIndex, to.min, to.max), std::make_tuple(3, 2.0, 6.0));
}

}  // namespace
}  // namespace orva
