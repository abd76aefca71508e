// Files the output writer saves, opened again through the program's open path: with the
// service file written beside them, and (FITS) without it, they give the values that were
// saved, for every output type, signed and unsigned, and astropy reads the same FITS values.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "data/element_type.h"
#include "data_set_fixture.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "test_support.h"
#include "write_source_fixture.h"

namespace orva {
namespace {

using testing_io::BuiltinFormats;
using testing_io::DataSetFixture;
using testing_io::KeepReceiver;

constexpr int64_t kW = 11, kH = 5;

class SavedReopenTest : public DataSetFixture {
protected:
    // The values of the one frame of a reopened file, row by row (-999999 where a read failed).
    std::vector<double> Reopened(const std::string& file) {
        BuiltinFormats formats;
        KeepReceiver receiver;
        std::vector<double> v;
        if (testing_io::OpenThroughRegistry(&formats.registry, file, &receiver) < 0 || receiver.kept == nullptr)
            return v;
        for (int64_t y = 0; y < kH; ++y)
            for (int64_t x = 0; x < kW; ++x) v.push_back(Value(receiver.kept, x, y));
        return v;
    }
};

std::string Joined(const std::vector<double>& v) {
    std::string s;
    char text[32];
    for (double x : v) {
        std::snprintf(text, sizeof text, "%.17g", x);
        s += (s.empty() ? "" : " ") + std::string(text);
    }
    return s;
}

// Every output type, signed and unsigned, as FITS and as raw binary: the physical values
// span the stored type's sign (a zero of minus half the range puts signed data into an
// unsigned type, as "Unsigned" on the Output page does), the program reads them back with
// the service file and, for FITS, without it; astropy reads the FITS values.
TEST_F(SavedReopenTest, EveryTypeReadsBackTheValuesSaved) {
    struct Type {
        const char* name;
        uint32_t type;
        double zero;  // physical = stored + zero
        double low, high;
    } types[] = {
        {"u16", kTypeU16, -32768.0, -500.0, 2999.0}, {"i16", kTypeI16, 0.0, -500.0, 2999.0},
        {"u8", kTypeU8, -128.0, -100.0, 100.0},      {"i8", kTypeI8, 0.0, -100.0, 100.0},
        {"u32", kTypeU32, -2147483648.0, -70000.0, 90000.0}, {"i32", kTypeI32, 0.0, -70000.0, 90000.0},
        {"i64", kTypeI64, 0.0, -70000.0, 90000.0},   {"f32", kTypeF32, 0.0, -500.5, 2999.25},
        {"f64", kTypeF64, 0.0, -500.125, 2999.0},
    };
    const bool astropy = testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits'");
    for (const Type& t : types) {
        auto physical = [&](int, int64_t x, int64_t y) {
            const double share = static_cast<double>(y * kW + x) / static_cast<double>(kW * kH - 1);
            const double v = t.low + share * (t.high - t.low);
            return ElementIsReal(t.type) ? std::round(v * 8.0) / 8.0 : std::round(v);
        };
        std::vector<double> want;
        for (int64_t y = 0; y < kH; ++y)
            for (int64_t x = 0; x < kW; ++x) want.push_back(physical(0, x, y));
        for (const FormatDesc* format : {FormatFits(), FormatBinary()}) {
            const bool fits = format == FormatFits();
            const std::string folder = dir + "/" + t.name + (fits ? "_fits" : "_raw");
            ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
            SCOPED_TRACE(folder);
            const testing_io::WriteRun run = testing_io::RunWriter(
                format, folder + (fits ? "/a.fits" : "/a.dat"), kTypeF64, t.type, kW, kH, 1, physical,
                t.zero != 0.0 ? 1.0 : 0.0, t.zero);
            ASSERT_EQ(run.filesWritten, 1);
            const std::string fs = run.file.substr(0, run.file.rfind('.')) + ".fs";
            ASSERT_TRUE(testing_util::Exists(fs)) << fs;
            EXPECT_EQ(Joined(Reopened(run.file)), Joined(want)) << "with its service file";
            if (!fits) continue;
            if (astropy) {
                int status = -1;
                const std::string got = testing_io::RunCommand(
                    ORVA_PYTHON " -c 'import sys; from astropy.io import fits; "
                    "print(\" \".join(\"%.17g\" % v for v in fits.getdata(sys.argv[1]).astype(float).ravel()))' '" +
                        run.file + "' 2>&1",
                    &status);
                EXPECT_EQ(got.substr(0, got.find_last_not_of('\n') + 1), Joined(want)) << "astropy";
            }
            std::remove(fs.c_str());
            EXPECT_EQ(Joined(Reopened(run.file)), Joined(want)) << "without its service file";
        }
    }
}

// Raw integer output marks its missing samples (NaN, and samples without data) with a code
// that no real sample holds and names it in its service file: reopened, the program finds
// them missing where they were, and every real value as it was. Real output writes NaN.
TEST_F(SavedReopenTest, RawIntegerOutputReopensWithItsMissingSamples) {
    struct Type {
        const char* name;
        uint32_t type;
        const char* blank;  // the service file's line
    } types[] = {
        {"i16", kTypeI16, "Blank=-32768"},      {"u16", kTypeU16, "Blank=65535"},
        {"u8", kTypeU8, "Blank=255"},           {"u8top", kTypeU8, "Blank=0"},
        {"i32", kTypeI32, "Blank=-2147483648"}, {"f32", kTypeF32, ""},
    };
    for (const Type& t : types) {
        const bool top = std::string(t.name) == "u8top";  // data reaching 255: the other end
        auto physical = [&](int, int64_t x, int64_t y) {
            if (x == 0 && y == 0) return -DBL_MAX;  // without data
            if ((x + y) % 4 == 1) return std::nan("");
            return top ? 257.0 - static_cast<double>(y * kW + x) : static_cast<double>(y * kW + x);
        };
        std::vector<double> want;
        for (int64_t y = 0; y < kH; ++y)
            for (int64_t x = 0; x < kW; ++x) {
                const double v = physical(0, x, y);
                want.push_back(v == -DBL_MAX ? std::nan("") : v);
            }
        const std::string folder = dir + "/" + t.name;
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        SCOPED_TRACE(folder);
        const testing_io::WriteRun run = testing_io::RunWriter(
            FormatBinary(), folder + "/a.dat", kTypeF64, t.type, kW, kH, 1, physical);
        ASSERT_EQ(run.filesWritten, 1);
        const std::string fs =
            testing_util::ReadText(run.file.substr(0, run.file.rfind('.')) + ".fs");
        if (*t.blank != 0)
            EXPECT_NE(fs.find(std::string(t.blank) + "\n"), std::string::npos) << fs;
        else
            EXPECT_EQ(fs.find("Blank="), std::string::npos) << fs;
        EXPECT_EQ(Joined(Reopened(run.file)), Joined(want));
    }
}

}  // namespace
}  // namespace orva
