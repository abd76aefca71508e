// The FITS writer: header cards, the output block writer, the patch pass, and
// whole files checked by fitsverify and read back by astropy.
#include "io/formats/fits/fits_writer.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "data/element_type.h"
#include "data/kernel_util.h"
#include "data_set_fixture.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "io/output_block.h"
#include "io/output_pack_kernel.h"
#include "io/service_description.h"
#include "test_support.h"
#include "write_source_fixture.h"

namespace orva {
namespace {

using testing_io::HaveTool;
using testing_io::RunCommand;
using testing_util::ReadText;
using testing_util::TempFolder;

std::string Card(const std::string& header, size_t index) { return header.substr(index * 80, 80); }
std::string Trim(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

// The one-pass narrowing of 32-bit real outputs gives the bytes of the plain narrowing
// and the range of the finite values other than the missing mark, whatever the run holds.
TEST(OutputBlocks, Real32PackWithRangeMatchesTheTwoPasses) {
    std::vector<double> in;
    for (int i = 0; i < 5000; ++i) in.push_back(std::sin(i * 0.37) * 1e5 + i);
    in[17] = std::nan("");
    in[2100] = -DBL_MAX;  // missing: packed, not measured
    in[4100] = HUGE_VAL;
    in[4101] = 3.4028235677973366e38;
    for (bool baseline : {false, true}) {
        kernel::ForceBaselineForTest(baseline);
        for (bool swap : {false, true})
            for (size_t first : {size_t{0}, size_t{3}, size_t{2050}, size_t{4102}}) {
                const int32_t n = static_cast<int32_t>(in.size() - first);
                std::vector<unsigned char> got(n * 4), want(n * 4);
                MinMaxPair pair{DBL_MAX, -DBL_MAX}, expect{DBL_MAX, -DBL_MAX};
                PackReal32Scan(in.data() + first, got.data(), n, swap, &pair);
                kernel::ForceBaselineForTest(true);  // the scalar narrowing is the oracle
                PackReal32(in.data() + first, want.data(), n, swap);
                kernel::ForceBaselineForTest(baseline);
                ScanSkippingMissing(in.data() + first, n, &expect);
                EXPECT_EQ(got, want) << baseline << swap << first;
                EXPECT_EQ(pair.minimum, expect.minimum);
                EXPECT_EQ(pair.maximum, expect.maximum);
            }
    }
    kernel::ForceBaselineForTest(false);
}

// The same at the narrowing's edges, in runs shorter than a vector step and with tails
// of every length: each value sits once in a vector lane and once in a tail.
TEST(OutputBlocks, Real32PackWithRangeAtTheEdgesOfFloat) {
    const double edges[] = {-HUGE_VAL, HUGE_VAL, FLT_MAX, -FLT_MAX, 3.4028235677973366e38,
                            -3.4028235677973366e38, 3.4028234663852886e38 * (1 + 1e-16), 1e-40,
                            -1e-46, -0.0, 0.0, std::nan(""), -DBL_MAX, DBL_MAX, 0.5, -7.25e5};
    std::vector<double> in;
    for (int k = 0; k < 3; ++k)
        for (double e : edges) in.push_back(e * (k == 2 ? -1 : 1));
    for (bool baseline : {false, true}) {
        kernel::ForceBaselineForTest(baseline);
        for (bool swap : {false, true})
            for (size_t first = 0; first < 9; ++first)
                for (size_t n = 0; first + n <= in.size(); n += 5) {
                    std::vector<unsigned char> got(n * 4 + 1, 0xA5), want(n * 4 + 1, 0xA5);
                    MinMaxPair pair{DBL_MAX, -DBL_MAX}, expect{DBL_MAX, -DBL_MAX};
                    PackReal32Scan(in.data() + first, got.data(), static_cast<int32_t>(n), swap, &pair);
                    kernel::ForceBaselineForTest(true);
                    PackReal32(in.data() + first, want.data(), static_cast<int32_t>(n), swap);
                    kernel::ForceBaselineForTest(baseline);
                    ScanSkippingMissing(in.data() + first, static_cast<int32_t>(n), &expect);
                    EXPECT_EQ(got, want) << baseline << swap << first << ' ' << n;
                    EXPECT_EQ(pair.minimum, expect.minimum) << baseline << first << ' ' << n;
                    EXPECT_EQ(pair.maximum, expect.maximum) << baseline << first << ' ' << n;
                }
    }
    kernel::ForceBaselineForTest(false);
}

// ---- Header cards ---------------------------------------------------------------------------

TEST(FitsHeader, PrimaryCardsInOrderWithSpareCardAndPositions) {
    FitsHeaderParams p{.bitpix = 16, .sizeX = 100, .sizeY = 100, .bscale = 1.5};
    std::string h;
    FitsHeaderFields f;
    ASSERT_EQ(FitsComposeHeader(p, &h, &f), 2);
    ASSERT_EQ(h.size(), 2880u);
    const char* want[] = {"SIMPLE  =                    T", "BITPIX  =                   16",
                          "NAXIS   =                    2", "NAXIS1  =                  100",
                          "NAXIS2  =                  100", "",
                          "BSCALE  =                  1.5", "BZERO   =                    0",
                          "DATAMAX =                    0", "DATAMIN =                    0", "END"};
    for (size_t i = 0; i < std::size(want); ++i) EXPECT_EQ(Trim(Card(h, i)), want[i]) << i;
    EXPECT_EQ(h.find_first_not_of(' ', 11 * 80), std::string::npos);
    // The patchable fields: the value column (10) of their cards, -1 for cards not written.
    auto fields = [](const FitsHeaderFields& x) {
        return std::vector<int64_t>{x.naxis, x.naxis3, x.spareCard, x.nchan, x.nsection, x.datamax, x.datamin};
    };
    EXPECT_EQ(fields(f), (std::vector<int64_t>{2 * 80 + 10, -1, 5 * 80, -1, -1, 8 * 80 + 10, 9 * 80 + 10}));

    // A cube of processed data with channels and sections: NAXIS 3 with its card and the
    // fixed comments; exact integral zeros keep their digits.
    p.sizeZ = 7;
    p.channels = 3;
    p.sections = true;
    p.sectionCount = 14;
    p.processed = true;
    p.bzero = 9223372036854775808.0;
    ASSERT_EQ(FitsComposeHeader(p, &h, &f), 2);
    EXPECT_EQ(Trim(Card(h, 2)), "NAXIS   =                    3");
    EXPECT_EQ(Trim(Card(h, 5)), "NAXIS3  =                   21 / 3 axis");
    EXPECT_EQ(Trim(Card(h, 6)), "NCHAN   =                    3 / N channels");
    EXPECT_EQ(Trim(Card(h, 7)),
              "CHANPLAN=                    T / each channel is a plane of NAXIS3");
    EXPECT_EQ(Trim(Card(h, 8)), "NSECTION=                   14 / N section");
    EXPECT_EQ(Trim(Card(h, 10)), "BZERO   =  9223372036854775808");
    EXPECT_EQ(fields(f), (std::vector<int64_t>{2 * 80 + 10, 5 * 80 + 10, -1, 6 * 80 + 10,
                                               8 * 80 + 10, 11 * 80 + 10, 12 * 80 + 10}));

    p.bitpix = 0;
    EXPECT_EQ(FitsComposeHeader(p, &h, &f), -1);
    const std::pair<uint32_t, int> bitpix[] = {{kTypeU8, 8},   {kTypeI16 | kElemSwapped, 16}, {kTypeI64, 64},
                                               {kTypeF32, -32}, {kTypeF64 | kElemSwapped, -64}, {kElemInt24, 0}};
    for (const auto& [type, want] : bitpix) EXPECT_EQ(FitsBitpixOfType(type), want) << std::hex << type;
}

// Room for a BLANK card: END never takes the last card of its block when integer samples
// may hold blanks, so that BLANK can take END's place and END the card after it.
TEST(FitsHeader, EndLeavesRoomForABlankCard) {
    // Ten cards of their own and 25 of the source: END would be the block's 36th card.
    const std::vector<HeaderRecord> records(25, HeaderRecord{"HISTORY", "a step", ""});
    FitsHeaderParams p{.bitpix = 16, .sizeX = 4, .sizeY = 2, .records = &records};
    for (const bool room : {false, true}) {
        p.blankRoom = room;
        std::string h;
        FitsHeaderFields f;
        ASSERT_EQ(FitsComposeHeader(p, &h, &f), 2);
        const int64_t end = room ? 36 : 35;
        EXPECT_EQ(std::tuple(f.end, h.size()), std::tuple(end * 80, size_t{room ? 5760u : 2880u})) << room;
        EXPECT_EQ(Trim(Card(h, static_cast<size_t>(end))), "END");
        EXPECT_EQ(Trim(Card(h, 35 - 1)), "HISTORY a step");
    }
}

TEST(FitsHeader, SourceCardsKeepUserKeywordsOnly) {
    const std::vector<HeaderRecord> records = {
        {"SIMPLE", "T", "file does conform"},
        {"BITPIX", "-32", "bits per sample"},
        {"NAXIS", "3", ""},
        {"NAXIS1", "512", ""},
        {"NAXIS12", "5", ""},
        {"EXTEND", "T", ""},
        {"PCOUNT", "0", ""},
        {"BZERO", "100", "offset"},
        {"BLANK", "-1", ""},
        {"DATAMAX", "77", ""},
        {"CHECKSUM", "'abc'", ""},
        {"END", "", ""},
        {"OBJECT", "'M31 ''core'''", "target"},
        {"OBSERVER", "John Smith", ""},
        {"EXPTIME", "12.5", "seconds"},
        {"flt", "'R'", ""},
        {"BAD KEY", "1", ""},
        {"HISTORY", "made by hand", ""},
        {"COMMENT", std::string(90, 'c'), ""},
        {"NOTE", "T",
         "a comment long enough that it cannot stay on the card of its keyword and must go on to "
         "further cards"},
    };
    const FitsHeaderParams p{.bitpix = -32, .sizeX = 4, .sizeY = 2, .records = &records};
    std::string h;
    FitsHeaderFields f;
    ASSERT_EQ(FitsComposeHeader(p, &h, &f), 2);
    std::vector<std::string> cards;
    for (size_t i = 0; i * 80 < h.size(); ++i) cards.push_back(Trim(Card(h, i)));
    const std::vector<std::string> want = {
        "SIMPLE  =                    T / file does conform",
        "BITPIX  =                  -32 / bits per sample",
        "NAXIS   =                    2",
        "NAXIS1  =                    4",
        "NAXIS2  =                    2",
        "",
        "BSCALE  =                    1",
        "BZERO   =                    0 / offset",
        "DATAMAX =                    0",
        "DATAMIN =                    0",
        "OBJECT  = 'M31 ''core''' / target",
        "OBSERVER= 'John Smith'",
        "EXPTIME =                 12.5 / seconds",
        "FLT     = 'R       '",
        "HISTORY made by hand",
        "COMMENT " + std::string(72, 'c'),
        "COMMENT " + std::string(18, 'c'),
        "NOTE    =                    T / a comment long enough that it cannot stay on",
        "        the card of its keyword and must go on to further cards",
        "END",
    };
    ASSERT_GE(cards.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(cards[i], want[i]) << i;

    // Quoting: apostrophes doubled, at least eight characters, never a split pair.
    EXPECT_EQ(FitsQuoteString("it's"), "'it''s   '");
    EXPECT_EQ(FitsUnquote("'it''s   '"), "it's");
    EXPECT_EQ(FitsUnquote("  'open"), "open");
    EXPECT_EQ(FitsUnquote("42"), "42");
    EXPECT_EQ(FitsQuoteString(std::string(9, '\''), 12), std::string(12, '\''));
    EXPECT_EQ(FitsQuoteString("tab\there"), "'tab?here'");
    EXPECT_EQ(FitsQuoteString(std::string(100, 'x')).size(), 70u);
    for (const char* k : {"SIMPLE", "NAXIS", "NAXIS3", "NAXIS999", "GCOUNT", "NSECTION", "END"})
        EXPECT_TRUE(FitsIsStructuralKeyword(k)) << k;
    for (const char* k : {"NAXISX", "OBJECT", "HISTORY", "EXPTIME"}) EXPECT_FALSE(FitsIsStructuralKeyword(k)) << k;
    std::string card;
    EXPECT_EQ(FitsAppendValueCard(&card, "LONG", std::string(71, '1'), nullptr), kErrValueTooLong);
}

// ---- Output blocks --------------------------------------------------------------------------

TEST(OutputBlocks, BlanksZerosAndPatches) {
    const TempFolder dir;
    const std::string path = dir.File("b.bin");
    FitsOutputJob job;
    OutputJobInit(&job, nullptr);
    ASSERT_TRUE(OutputJobOpen(&job, path.c_str()));
    EXPECT_EQ(WriteBlanks(job.fd, 300), 300);
    EXPECT_EQ(WriteZeros(job.fd, 10), 10);
    EXPECT_EQ(WriteBlanks(job.fd, 0x20000001), -1);
    EXPECT_EQ(WriteZeros(job.fd, 0x20000001), 0);
    EXPECT_EQ(WriteZerosLarge(job.fd, (5 << 20) + 3), (5 << 20) + 3);
    EXPECT_EQ(PatchIntField(&job, -42, 100), 20);
    EXPECT_EQ(PatchInt64Field(&job, INT64_MIN, 120), 20);
    EXPECT_EQ(PatchUInt64Field(&job, UINT64_MAX, 140), 20);
    EXPECT_EQ(PatchRealField(&job, 1.5, 160), 20);
    EXPECT_EQ(PatchIntField(&job, 1, 28), 0);
    EXPECT_EQ(job.result, kErrBadPatchPosition);
    job.result = -4;
    EXPECT_EQ(PatchRealField(&job, NAN, 200), 0);
    EXPECT_EQ(job.result, kErrValueTooLong);
    OutputJobDone(&job);
    const std::string s = ReadText(path);
    ASSERT_EQ(s.size(), 310u + (5u << 20) + 3u);
    EXPECT_EQ(s.substr(0, 100), std::string(100, ' '));
    EXPECT_EQ(s.substr(100, 20), "                 -42");
    EXPECT_EQ(s.substr(120, 20), "-9223372036854775808");
    EXPECT_EQ(s.substr(140, 20), "18446744073709551615");
    EXPECT_EQ(s.substr(160, 20), "                 1.5");
    EXPECT_EQ(s.substr(180, 120), std::string(120, ' '));
    EXPECT_EQ(s.find_first_not_of('\0', 300), std::string::npos);

    // Failing to create a file records the mapped error.
    FitsOutputJob bad;
    EXPECT_FALSE(OutputJobOpen(&bad, dir.File("none/x.fits").c_str()));
    EXPECT_EQ(bad.result, kErrNoFile);
}

TEST(OutputBlocks, BlocksCutCompletedAndZeroFilled) {
    const TempFolder dir;
    const std::string path = dir.File("p.bin");
    FitsOutputJob job;
    ASSERT_TRUE(OutputJobOpen(&job, path.c_str()));
    job.width = 4;
    job.height = 3;
    job.pixelBytes = job.elementBytes = 1;
    const uint8_t a[] = {1, 2, 3, 4};
    const uint8_t wide[] = {9, 8, 7, 6, 5, 4, 3, 2, 1, 0};
    // Plane 1: a 2 x 2 block (rows completed by their last sample), the last row missing.
    ASSERT_TRUE(OutputJobBeginPlane(&job));
    ASSERT_TRUE(OutputJobWriteBlock(&job, {a, 0, 0, 2, 2, 2}));
    ASSERT_TRUE(OutputJobWriteBlock(&job, {a, 4, 0, 2, 2, 2}));  // starts beyond the width
    ASSERT_TRUE(OutputJobEndPlane(&job));
    // Plane 2: a wide block cut to the width and height, rows at a stride.
    ASSERT_TRUE(OutputJobBeginPlane(&job));
    ASSERT_TRUE(OutputJobWriteBlock(&job, {wide, 0, 1, 5, 2, 5}));
    ASSERT_TRUE(OutputJobWriteBlock(&job, {wide, 1, 0, 3, 1, 0}));
    ASSERT_TRUE(OutputJobEndPlane(&job));
    EXPECT_EQ(job.planesWritten, 2);
    EXPECT_EQ(OutputJobDataEnd(&job), 24);
    ASSERT_TRUE(OutputJobPadData(&job, 10));
    OutputJobClose(&job);
    const std::string s = ReadText(path);
    const std::vector<uint8_t> want = {1, 2, 2, 2, 3, 4, 4, 4, 0, 0, 0, 0,
                                       0, 9, 8, 7, 9, 8, 7, 6, 4, 3, 2, 1, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(s.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_EQ(static_cast<uint8_t>(s[i]), want[i]) << i;
}

// ---- Whole files ---------------------------------------------------------------------------

struct Written {
    std::string path;
    int64_t size = 0;
};

// Writes a file through the job functions as the write operation does: header, samples
// in machine order, planes completed, padding, patch pass.
Written WriteWithJob(const std::string& path, const FitsHeaderParams& params, uint32_t type,
                     const std::vector<uint8_t>& samples, double dataMin, double dataMax) {
    FitsOutputJob job;
    OutputJobInit(&job, nullptr);
    EXPECT_TRUE(OutputJobOpen(&job, path.c_str()));
    EXPECT_TRUE(FitsWriteHeaderParams(&job, params, type));
    // In two pieces, as the writer's blocks come.
    const size_t half = samples.size() / 2 / ElementSize(type) * ElementSize(type);
    EXPECT_TRUE(OutputJobAppend(&job, samples.data(), half));
    EXPECT_TRUE(OutputJobAppend(&job, samples.data() + half, samples.size() - half));
    EXPECT_TRUE(OutputJobCompletePlanes(&job));
    EXPECT_TRUE(OutputJobPadData(&job, 2880));
    EXPECT_TRUE(FitsPatchHeader(&job, params.channels, dataMin, dataMax));
    OutputJobDone(&job);
    struct stat st {};
    stat(path.c_str(), &st);
    return {path, static_cast<int64_t>(st.st_size)};
}

void ExpectVerified(const std::string& path) {
    if (!HaveTool("command -v fitsverify")) GTEST_SKIP() << "fitsverify not installed";
    int status = -1;
    const std::string out = RunCommand("fitsverify -q '" + path + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("verification OK"), std::string::npos) << out;
}

// astropy's reading of the file: shape, a checksum of the physical values and some samples.
std::string Astropy(const std::string& path, const std::string& expression) {
    int status = -1;
    const std::string script =
        "import sys, numpy as np\n"
        "from astropy.io import fits\n"
        "h = fits.open(sys.argv[1])\n"
        "d = h[0].data\n"
        "hd = fits.getheader(sys.argv[1])\n"
        "print(" + expression + ")\n";
    const std::string scriptPath = path + ".py";
    testing_util::WriteText(scriptPath, script);
    std::string out = RunCommand(ORVA_PYTHON " '" + scriptPath + "' '" + path + "' 2>&1", &status);
    std::remove(scriptPath.c_str());
    EXPECT_EQ(status, 0) << out;
    while (!out.empty() && (out.back() == '\n' || out.back() == ' ')) out.pop_back();
    return out;
}

bool HaveAstropy() { return HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits'"); }

TEST(FitsWriteFile, Int16ImageIs23040BytesVerifiedAndReadBack) {
    const TempFolder dir;
    const int64_t W = 100, H = 100;
    std::vector<uint8_t> bytes(W * H * 2);
    double sum = 0.0, lo = 1e300, hi = -1e300;
    for (int64_t i = 0; i < W * H; ++i) {
        const int16_t v = static_cast<int16_t>((i * 37) % 65536 - 32768);
        std::memcpy(&bytes[i * 2], &v, 2);  // machine order: the job makes it big-endian
        const double phys = v * 0.5 + 32768.0;
        sum += phys;
        lo = std::min(lo, phys);
        hi = std::max(hi, phys);
    }
    const std::vector<HeaderRecord> records = {{"OBJECT", "'it''s here'", "with a quote"},
                                               {"NAXIS", "3", ""},
                                               {"HISTORY", "first light", ""}};
    const FitsHeaderParams p{
        .bitpix = 16, .sizeX = W, .sizeY = H, .bscale = 0.5, .bzero = 32768.0, .records = &records};
    const Written w = WriteWithJob(dir.File("img.fits"), p, kTypeI16, bytes, lo, hi);
    EXPECT_EQ(w.size, 23040);
    const std::string header = ReadText(w.path).substr(0, 2880);
    EXPECT_EQ(Trim(Card(header, 5)), "");
    char maxCard[81];
    std::snprintf(maxCard, sizeof maxCard, "DATAMAX = %20.13G", hi);
    EXPECT_EQ(Trim(Card(header, 8)), maxCard);
    ExpectVerified(w.path);
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    char want[256];
    std::snprintf(want, sizeof want, "(100, 100) %.17g %.17g %.17g it's here", sum,
                  ((3 * 37) % 65536 - 32768) * 0.5 + 32768.0, hi);
    EXPECT_EQ(Astropy(w.path, "d.shape, '%.17g %.17g %.17g' % (d.astype(np.float64).sum(), d[0,3], hd['DATAMAX']), "
                              "hd['OBJECT']"),
              want);
}

TEST(FitsWriteFile, PlanesBeyondThePlanGetNaxis3AndSignsAreFixed) {
    const TempFolder dir;
    // Unsigned 16-bit samples, 4 x 3, two and a half planes: the spare card becomes NAXIS3 = 3,
    // NAXIS becomes 3, the partial plane is completed with zero samples.
    const int64_t W = 4, H = 3;
    std::vector<uint8_t> bytes;
    std::vector<uint16_t> values;
    for (int i = 0; i < 30; ++i) values.push_back(static_cast<uint16_t>(i * 2000 + 7));
    bytes.resize(values.size() * 2);
    std::memcpy(bytes.data(), values.data(), bytes.size());
    const FitsHeaderParams p{.bitpix = 16, .sizeX = W, .sizeY = H, .bzero = FitsSignOffset(kTypeU16)};
    EXPECT_EQ(p.bzero, 32768.0);
    EXPECT_EQ(FitsSignOffset(kTypeI8), -128.0);
    EXPECT_EQ(FitsSignOffset(kTypeU8), 0.0);
    EXPECT_EQ(FitsSignOffset(kTypeF32), 0.0);
    // A range beyond the output type (clipping ignored) is narrowed to what the file holds.
    struct Clamp {
        uint32_t type;
        double bscale, bzero, in[2], out[2];
    } clamps[] = {{kTypeI16, 0.5, 32768.0, {-1e9, 1e9}, {16384.0, 49151.5}},
                  {kTypeU8, -1.0, 0.0, {-300.0, 5.0}, {-255.0, 0.0}},
                  {kTypeI16, 1.0, 0.0, {-5.0, 7.0}, {-5.0, 7.0}},
                  {kTypeF32, 1.0, 0.0, {-1e40, 1e40}, {-1e40, 1e40}},
                  {kTypeI32, 1.0, 0.0, {2.0, 1.0}, {2.0, 1.0}}};
    for (const Clamp& c : clamps) {
        double r[2] = {c.in[0], c.in[1]};
        FitsClampRange(c.type, c.bscale, c.bzero, r);
        EXPECT_EQ(r[0], c.out[0]);
        EXPECT_EQ(r[1], c.out[1]);
    }
    // No data range: DATAMAX and DATAMIN leave the header.
    const Written w = WriteWithJob(dir.File("cube.fits"), p, kTypeU16, bytes, 1.0, 0.0);
    EXPECT_EQ(w.size, 2880 * 2);
    const std::string header = ReadText(w.path).substr(0, 2880);
    EXPECT_EQ(Trim(Card(header, 2)), "NAXIS   =                    3");
    EXPECT_EQ(Trim(Card(header, 5)), "NAXIS3  =                    3");
    EXPECT_EQ(header.find("DATAM"), std::string::npos);
    ExpectVerified(w.path);
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    std::string want = "(3, 3, 4) [";
    for (int i = 0; i < 36; ++i) {
        // The completed part reads as stored 0, that is physical 32768.
        want += std::to_string(i < 30 ? values[i] : 32768);
        want += i + 1 < 36 ? ", " : "]";
    }
    EXPECT_EQ(Astropy(w.path, "d.shape, [int(v) for v in d.ravel()]"), want);

    // Signed bytes and 32-bit reals.
    const std::vector<uint8_t> signedBytes = {0x80, 0xFF, 0x00, 0x7F};
    const FitsHeaderParams b{.bitpix = 8, .sizeX = 4, .bzero = FitsSignOffset(kTypeI8)};
    const Written w8 = WriteWithJob(dir.File("s8.fits"), b, kTypeI8, signedBytes, -128, 127);
    ExpectVerified(w8.path);
    EXPECT_EQ(Astropy(w8.path, "[int(v) for v in d.ravel()]"), "[-128, -1, 0, 127]");
    const float reals[] = {1.5f, -2.25f, 1048576.0f, 0.0f};
    std::vector<uint8_t> realBytes(sizeof reals);
    std::memcpy(realBytes.data(), reals, sizeof reals);
    const FitsHeaderParams r{.bitpix = -32, .sizeX = 2, .sizeY = 2, .bscale = 2.0, .bzero = 1.0};
    const Written w32 = WriteWithJob(dir.File("f32.fits"), r, kTypeF32, realBytes, -3.5, 2e30);
    ExpectVerified(w32.path);
    EXPECT_EQ(Astropy(w32.path, "[float(v) for v in d.ravel()]"), "[4.0, -3.5, 2097153.0, 1.0]");
}

// The samples of a frame window of an opened data set, all channels, as the read delivers them.
std::vector<double> FrameSamples(DataSet* d, int32_t frame) {
    TypedFrameBuffer image;
    image.SetTypeAndCount(0x40, 1);
    ReadWindow w{frame, 0, 0, 0, static_cast<int32_t>(d->sizeX), static_cast<int32_t>(d->sizeY),
                 0,     1, 0};
    if (!d->ReadWindowData(&image, &w)) return {};
    const auto* v = static_cast<const double*>(image.data);
    return std::vector<double>(v, v + image.pixelCount * d->workChannels);
}

// Channels arrive with each pixel's samples one after another (the appends cut pixels and
// samples anywhere); the file holds each channel of a plane as a plane of its own, so that
// astropy and cfitsio read the colours as planes, and the program's reader gives them back
// as they came. A file of earlier versions (NCHAN, no CHANPLAN, pixels' channels one after
// another) still opens as it did.
TEST(FitsWriteFile, ChannelsArePlanesForEveryReader) {
    const TempFolder dir;
    constexpr int64_t W = 5, H = 4, C = 3, F = 2;
    auto value = [](int64_t f, int64_t c, int64_t x, int64_t y) {
        return 1000 * c + 100 * f + 10 * y + x;
    };
    std::vector<uint8_t> pixels;
    for (int64_t f = 0; f < F; ++f)
        for (int64_t y = 0; y < H; ++y)
            for (int64_t x = 0; x < W; ++x)
                for (int64_t c = 0; c < C; ++c) {
                    const int16_t v = static_cast<int16_t>(value(f, c, x, y));
                    const size_t at = pixels.size();
                    pixels.resize(at + 2);
                    std::memcpy(&pixels[at], &v, 2);
                }
    const FitsHeaderParams p{.bitpix = 16, .sizeX = W, .sizeY = H, .sizeZ = F, .channels = C};
    const std::string path = dir.File("rgb.fits");
    {
        FitsOutputJob job;
        OutputJobInit(&job, nullptr);
        ASSERT_TRUE(OutputJobOpen(&job, path.c_str()));
        ASSERT_TRUE(FitsWriteHeaderParams(&job, p, kTypeI16));
        for (size_t at = 0; at < pixels.size(); at += 7)
            ASSERT_TRUE(
                OutputJobAppend(&job, pixels.data() + at, std::min<size_t>(7, pixels.size() - at)));
        ASSERT_TRUE(OutputJobCompletePlanes(&job));
        ASSERT_TRUE(OutputJobPadData(&job, 2880));
        ASSERT_TRUE(FitsPatchHeader(&job, C, 0, 2134));
        OutputJobDone(&job);
    }
    const std::string header = ReadText(path).substr(0, 2880);
    EXPECT_EQ(Trim(Card(header, 5)), "NAXIS3  =                    6");
    EXPECT_EQ(Trim(Card(header, 6)), "NCHAN   =                    3");
    EXPECT_EQ(Trim(Card(header, 7)),
              "CHANPLAN=                    T / each channel is a plane of NAXIS3");
    ExpectVerified(path);

    // The program's reader: two frames of three channels, each pixel's as they came.
    std::vector<double> want[F];
    for (int64_t f = 0; f < F; ++f)
        for (int64_t y = 0; y < H; ++y)
            for (int64_t x = 0; x < W; ++x)
                for (int64_t c = 0; c < C; ++c)
                    want[f].push_back(static_cast<double>(value(f, c, x, y)));
    {
        testing_io::BuiltinFormats formats;
        testing_io::KeepReceiver keep;
        ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep), 2);
        ASSERT_NE(keep.kept, nullptr);
        EXPECT_EQ(testing_io::XY(*keep.kept), testing_io::XY(W, H));
        EXPECT_EQ(keep.kept->input.channels, 3u);
        EXPECT_EQ(keep.kept->TotalFrames(), 2u);
        for (int f = 0; f < F; ++f) EXPECT_EQ(FrameSamples(keep.kept, f), want[f]) << f;
    }
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    std::string planes;
    for (int64_t k = 0; k < F * C; ++k)
        planes += (k ? " " : "") + std::to_string(value(k / C, k % C, 0, 0)) + "," +
                  std::to_string(value(k / C, k % C, W - 1, H - 1));
    EXPECT_EQ(Astropy(path, "d.shape, ' '.join('%d,%d' % (p[0, 0], p[-1, -1]) for p in d)"),
              "(6, 4, 5) " + planes);
    // cfitsio's own section of plane 5 (frame 2's second channel), read back whole.
    if (HaveTool("command -v imcopy")) {
        int status = -1;
        RunCommand("imcopy '" + path + "[*,*,5:5]' '" + dir.File("plane5.fits") + "' 2>&1",
                   &status);
        ASSERT_EQ(status, 0);
        std::string ramp;
        for (int64_t y = 0; y < H; ++y)
            for (int64_t x = 0; x < W; ++x)
                ramp += (ramp.empty() ? "" : ",") + std::to_string(value(1, 1, x, y));
        EXPECT_EQ(Astropy(dir.File("plane5.fits"), "','.join(str(int(v)) for v in d.ravel())"),
                  ramp);
    }

    // A file as earlier versions wrote it: NCHAN 2, each pixel's channels one after another.
    std::vector<uint8_t> old;
    for (int i = 0; i < 6 * 5 * 2; ++i) {
        const uint16_t v = static_cast<uint16_t>(i * 3);
        old.push_back(static_cast<uint8_t>(v >> 8));
        old.push_back(static_cast<uint8_t>(v & 0xFF));
    }
    std::string file;
    auto add = [&](const std::string& card) { file += card + std::string(80 - card.size(), ' '); };
    add("SIMPLE  =                    T");
    add("BITPIX  =                   16");
    add("NAXIS   =                    3");
    add("NAXIS1  =                    6");
    add("NAXIS2  =                    5");
    add("NAXIS3  =                    2");
    add("NCHAN   =                    2");
    add("END");
    file.resize(2880, ' ');
    file.append(reinterpret_cast<const char*>(old.data()), old.size());
    file.resize(2880 * 2, '\0');
    testing_util::WriteText(dir.File("old.fits"), file);
    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, dir.File("old.fits"), &keep), 2);
    ASSERT_NE(keep.kept, nullptr);
    EXPECT_EQ(testing_io::XY(*keep.kept), testing_io::XY(6, 5));
    EXPECT_EQ(keep.kept->input.channels, 2u);
    EXPECT_EQ(keep.kept->TotalFrames(), 1u);
    std::vector<double> interleaved;
    for (int i = 0; i < 6 * 5 * 2; ++i) interleaved.push_back(i * 3.0);
    EXPECT_EQ(FrameSamples(keep.kept, 0), interleaved);
}

}  // namespace
}  // namespace orva

// ---- Through the output writer ---------------------------------------------------------------

namespace orva {
namespace {

double Ramp16(int frame, int64_t x, int64_t y) {
    return static_cast<double>((x * 977 + y * 131 + frame * 7001) % 65536);
}

TEST(FitsWriteFile, ThroughTheOutputWriterVerifiedAndReadBack) {
    const TempFolder dir;
    // Unsigned 16-bit physical values stored as signed 16-bit with BZERO 32768, three frames.
    const testing_io::WriteRun run = testing_io::RunWriter(
        FormatFits(), dir.File("cube.fits"), kTypeU16, kTypeI16, 100, 60, 3, &Ramp16, 1.0, 32768.0);
    ASSERT_EQ(run.filesWritten, 1);
    struct stat st {};
    ASSERT_EQ(stat(run.file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 2880 + (100 * 60 * 3 * 2 + 2879) / 2880 * 2880);
    const std::string header = ReadText(run.file).substr(0, 2880);
    EXPECT_EQ(Trim(Card(header, 2)), "NAXIS   =                    3");
    EXPECT_EQ(Trim(Card(header, 5)), "NAXIS3  =                    3");
    EXPECT_EQ(Trim(Card(header, 7)), "BZERO   =                32768");
    ExpectVerified(run.file);
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    double sum = 0.0, lo = 1e300, hi = -1e300;
    for (int f = 0; f < 3; ++f)
        for (int64_t y = 0; y < 60; ++y)
            for (int64_t x = 0; x < 100; ++x) {
                const double v = Ramp16(f, x, y);
                sum += v;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
    char want[256];
    std::snprintf(want, sizeof want, "(3, 60, 100) %.17g %.17g %.17g %.17g %.17g", sum, Ramp16(2, 99, 59),
                  Ramp16(1, 3, 4), hi, lo);
    EXPECT_EQ(Astropy(run.file, "d.shape, '%.17g %.17g %.17g %.17g %.17g' % (d.astype(np.float64).sum(), "
                                "d[2,59,99], d[1,4,3], hd['DATAMAX'], hd['DATAMIN'])"),
              want);
}

// Every output type through the output writer, with and without scale and zero, as a
// line, an image and a cube: fitsverify passes every file, astropy reads back exactly
// the physical values the source gave, and DATAMIN and DATAMAX are their range.
TEST(FitsWriteFile, EveryOutputTypeRoundTripsThroughTheWriter) {
    const TempFolder dir;
    struct Type {
        const char* name;
        uint32_t type;
        double lo, hi;  // stored values span the type's whole range
    };
    const Type types[] = {{"u8", kTypeU8, 0, 255},
                          {"i16", kTypeI16, -32768, 32767},
                          {"u16", kTypeU16, 0, 65535},
                          {"i32", kTypeI32, -2147483648.0, 2147483647.0},
                          {"u32", kTypeU32, 0, 4294967295.0},
                          {"f32", kTypeF32, -3000.0, 5000.0},
                          {"f64", kTypeF64, -1e9, 3e9}};
    struct Shape {
        const char* name;
        int64_t w, h;
        uint32_t frames;
    } shapes[] = {{"line", 13, 1, 1}, {"image", 9, 4, 1}, {"cube", 7, 3, 3}};
    struct Scale {
        double bscale, bzero;
    } scales[] = {{0.0, 0.0}, {0.5, 100.0}};
    std::string expected, list;
    for (const Type& t : types)
        for (const Shape& s : shapes)
            for (const Scale& sc : scales) {
                const int64_t count = s.w * s.h * s.frames;
                // Stored values: both ends of the type's range, the rest spread over it; reals
                // in steps of 1/8 so that every one is exact in single precision.
                auto stored = [&](int f, int64_t x, int64_t y) {
                    const int64_t i = (f * s.h + y) * s.w + x;
                    if (i == 0) return t.lo;
                    if (i == count - 1) return t.hi;
                    if (ElementIsReal(t.type))
                        return std::floor((t.lo + (t.hi - t.lo) * static_cast<double>(i) / count) * 8) / 8;
                    const uint64_t span = static_cast<uint64_t>(t.hi - t.lo) + 1;
                    return t.lo + static_cast<double>((static_cast<uint64_t>(i) * 2654435761u) % span);
                };
                const double bscale = sc.bscale == 0.0 ? 1.0 : sc.bscale;
                auto physical = [&](int f, int64_t x, int64_t y) { return stored(f, x, y) * bscale + sc.bzero; };
                const std::string name = std::string(t.name) + "_" + s.name + (sc.bscale == 0.0 ? "" : "_scaled");
                // A folder each: the writer names its file from the pattern.
                ASSERT_EQ(mkdir(dir.File(name).c_str(), 0700), 0);
                const testing_io::WriteRun run =
                    testing_io::RunWriter(FormatFits(), dir.File(name + "/a.fits"), kTypeF64, t.type, s.w, s.h,
                                          s.frames, physical, sc.bscale, sc.bzero);
                ASSERT_EQ(run.filesWritten, 1) << name;
                std::string values;
                double lo = 1e300, hi = -1e300;
                for (uint32_t f = 0; f < s.frames; ++f)
                    for (int64_t y = 0; y < s.h; ++y)
                        for (int64_t x = 0; x < s.w; ++x) {
                            const double v = physical(static_cast<int>(f), x, y);
                            char text[40];
                            std::snprintf(text, sizeof text, "%.17g ", v);
                            values += text;
                            lo = std::min(lo, v);
                            hi = std::max(hi, v);
                        }
                testing_util::WriteText(run.file + ".txt", values);
                list += run.file + "\n";
                char line[160];
                std::snprintf(line, sizeof line, "%s %s equal %.17g %.17g\n", name.c_str(),
                              s.frames > 1 ? "(3, 3, 7)" : s.h > 1 ? "(4, 9)" : "(1, 13)", lo, hi);
                expected += line;
            }
    testing_util::WriteText(dir.File("list.txt"), list);
    if (HaveTool("command -v fitsverify")) {
        int status = -1;
        const std::string out = RunCommand("fitsverify -q @'" + dir.File("list.txt") + "' 2>&1", &status);
        EXPECT_EQ(status, 0) << out;
        size_t ok = 0;
        for (size_t at = out.find("verification OK"); at != std::string::npos; at = out.find("verification OK", at + 1))
            ++ok;
        EXPECT_EQ(ok, std::size(types) * std::size(shapes) * std::size(scales)) << out;
    }
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    const std::string script =
        "import sys, os, numpy as np\n"
        "from astropy.io import fits\n"
        "for path in open(sys.argv[1]).read().split():\n"
        "    with fits.open(path) as h:\n"
        "        d = h[0].data\n"
        "        hd = h[0].header\n"
        "        want = np.array([float(v) for v in open(path + '.txt').read().split()])\n"
        "        same = np.array_equal(d.astype(np.float64).ravel(), want)\n"
        "        print(os.path.basename(os.path.dirname(path)), d.shape, 'equal' if same else 'DIFFERENT',\n"
        "              '%.17g %.17g' % (hd['DATAMIN'], hd['DATAMAX']))\n";
    testing_util::WriteText(dir.File("check.py"), script);
    int status = -1;
    const std::string out =
        RunCommand(ORVA_PYTHON " '" + dir.File("check.py") + "' '" + dir.File("list.txt") + "' 2>&1", &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_EQ(out, expected);
}

TEST(FitsWriteFile, ClippingRewritesWithTheNewRange) {
    const TempFolder dir;
    // 0..60000 does not fit signed 16-bit: without a user interface the writer takes a new
    // range and the cube is written again with its BSCALE and BZERO.
    auto wide = [](int f, int64_t x, int64_t y) { return static_cast<double>((x * 600 + y * 6000 + f * 7) % 60001); };
    const testing_io::WriteRun run =
        testing_io::RunWriter(FormatFits(), dir.File("clip.fits"), kTypeU16, kTypeI16, 101, 11, 3, wide);
    ASSERT_EQ(run.filesWritten, 1);
    EXPECT_NE(ReadText(dir.File("clip.log")).find("select new range: \n"), std::string::npos);
    ExpectVerified(run.file);
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    // Every value of every plane comes back within half a step of the new scale.
    const std::string out = Astropy(
        run.file, "'%.6f %.6f %.6f' % (hd['BSCALE'], d.min(), d.max()), hd['BITPIX'], d.shape, "
                  "max(abs(float(d[f,y,x]) - (x*600 + y*6000 + f*7) % 60001) "
                  "for f in range(3) for y in range(11) for x in range(101)) <= hd['BSCALE'] / 2 + 0.01");
    char want[128];
    std::snprintf(want, sizeof want, "%.6f %.6f %.6f 16 (3, 11, 101) True", 60000.0 / 65535.0, 0.0, 60000.0);
    EXPECT_EQ(out, want);
}

// Serves the frames of an opened data set and passes its header records on, as the
// input stage does for the writer.
class DataSetUpstream : public ComponentBase {
public:
    explicit DataSetUpstream(DataSet* d) : ComponentBase(nullptr), data_(d) { process = &Process; }
    const ComponentId* GetClassId() const override { return &kRawInputId; }
    bool QueryInterface(const ComponentId* id, void** out) override {
        if (SameComponentId(id, &kOutputHeaderRecordId)) return data_->QueryInterface(id, out);
        return ComponentBase::QueryInterface(id, out);
    }

private:
    static int32_t Process(ComponentBase* c, PullResult* r, PullRequest* request) {
        if (request == nullptr || request->readAgain != 1) return 0;
        ReadWindow w = r->window;
        return static_cast<DataSetUpstream*>(c)->data_->ReadWindowData(&r->image, &w) ? 3 : 0;
    }
    DataSet* data_;
};

// A file of astropy's, read and written again, keeps its user cards, HISTORY and COMMENT.
TEST(FitsWriteFile, ReadThenWrittenKeepsUserCardsHistoryAndComment) {
    if (!HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    const TempFolder dir;
    const std::string in = dir.File("in.fits"), out = dir.File("out.fits");
    int status = -1;
    RunCommand(ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
        "h = fits.PrimaryHDU((np.arange(200, dtype=np.int16) * 7 - 600).reshape(10, 20))\n"
        "h.header['OBJECT'] = ('M 31', 'the target')\nh.header['EXPTIME'] = 12.5\n"
        "h.header['HISTORY'] = 'step one'\nh.header['HISTORY'] = 'step two'\n"
        "h.header['COMMENT'] = 'a note'\nh.writeto('" + in + "')\"",
        &status);
    ASSERT_EQ(status, 0);
    testing_io::BuiltinFormats formats;
    testing_io::KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, in, &keep), 2);
    ASSERT_NE(keep.kept, nullptr);
    void* records = nullptr;
    ASSERT_TRUE(keep.kept->QueryInterface(&kOutputHeaderRecordId, &records));

    auto* upstream = new DataSetUpstream(keep.kept);
    OutputWriter* writer = OutputWriter::Create(upstream);
    OutputSourceInfo info;
    ASSERT_TRUE(OutputSourceInfoFromDataSet(keep.kept, &info));
    writer->SetOutputName("#out");
    writer->SetTargetName(out.c_str());
    writer->SetOutputParams(kTypeI16, false, 1, FourCC("IOST"), FourCC("INPT"));
    writer->SetFrameRange(0, 0, 1);
    writer->NormaliseCropBox();
    ASSERT_TRUE(writer->ConnectSourceInfo(&info) && writer->PrepareWrite(FormatFits()));
    EXPECT_EQ(writer->WriteRun(), 1);
    const std::string written = writer->LastFileName();
    writer->Release();
    upstream->Release();
    ExpectVerified(written);
    EXPECT_EQ(Astropy(written, "hd['OBJECT'], hd.comments['OBJECT'], hd['EXPTIME'], list(hd['HISTORY']), "
                               "list(hd['COMMENT']), int(d.astype(int).sum()), int(d[9,19])"),
              "M 31 the target 12.5 ['step one', 'step two'] ['a note'] 19300 793");
}

// Missing samples (NaN) of integer output become the BLANK value, stated by a BLANK card
// that END made room for; astropy reads NaN back at the same places and fitsverify passes
// the file. Data without NaN, and real output, get no BLANK card.
TEST(FitsWriteFile, NaNSamplesOfIntegerOutputAreBlanks) {
    const TempFolder dir;
    const int64_t W = 23, H = 7;
    auto missing = [](int f, int64_t x, int64_t y) { return (x * 5 + y * 3 + f) % 11 == 0; };
    struct Case {
        const char* name;
        uint32_t type;
        bool withNaN;
        const char* blank;  // the card, "" for none
    } cases[] = {
        {"i16", kTypeI16, true, "BLANK   =               -32768 / value of missing samples"},
        {"u8", kTypeU8, true, "BLANK   =                  255 / value of missing samples"},
        {"i8", kTypeI8, true, "BLANK   =                  255 / value of missing samples"},
        {"u16", kTypeU16, true, "BLANK   =                32767 / value of missing samples"},
        {"i32", kTypeI32, true, "BLANK   =          -2147483648 / value of missing samples"},
        {"i16 whole", kTypeI16, false, ""},
        {"f32", kTypeF32, true, ""},
    };
    std::string list;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = std::string(c.name) == "i16 whole" ? "whole" : c.name;
        ASSERT_EQ(mkdir(dir.File(name).c_str(), 0700), 0);
        auto physical = [&](int f, int64_t x, int64_t y) {
            if (c.withNaN && missing(f, x, y)) return std::nan("");
            return 100.0 + static_cast<double>((x * 7 + y * 13 + f * 5) % 40);
        };
        const testing_io::WriteRun run =
            testing_io::RunWriter(FormatFits(), dir.File(name + "/a.fits"), kTypeF64, c.type, W, H, 2, physical,
                                  0.5, 90.0);
        ASSERT_EQ(run.filesWritten, 1);
        const std::string header = ReadText(run.file).substr(0, 2880);
        std::vector<std::string> cards;
        for (size_t i = 0; i < 36; ++i) cards.push_back(Trim(Card(header, i)));
        const auto blank = std::find_if(cards.begin(), cards.end(),
                                        [](const std::string& k) { return k.rfind("BLANK", 0) == 0; });
        EXPECT_EQ(blank == cards.end() ? std::string() : *blank, c.blank);
        if (blank != cards.end()) {
            EXPECT_EQ(*(blank + 1), "END");
        }
        ExpectVerified(run.file);
        if (!HaveAstropy()) continue;
        // Where astropy finds NaN, and the largest difference of the other samples.
        std::string where;
        for (int f = 0; f < 2; ++f)
            for (int64_t y = 0; y < H; ++y)
                for (int64_t x = 0; x < W; ++x)
                    if (c.withNaN && missing(f, x, y))
                        where += (where.empty() ? "" : " ") + std::to_string((f * H + y) * W + x);
        const std::string got = Astropy(
            run.file,
            "'%s|%r' % (' '.join(str(i) for i in np.flatnonzero(np.isnan(d.astype(np.float64)))), "
            "float(np.nanmax(np.abs(d.astype(np.float64) - (100 + (np.arange(23)[None, None, :] * 7 + "
            "np.arange(7)[None, :, None] * 13 + np.arange(2)[:, None, None] * 5) % 40)))))");
        EXPECT_EQ(got, where + "|0.0");
    }
}

}  // namespace
}  // namespace orva

namespace orva {
namespace {

// Samples without data (the -DBL_MAX that the affine stage writes where a rotated frame has
// no input) are missing in the file for every reader: NaN in real output, the BLANK value
// with its card in integer output; NaN samples likewise. DATAMIN and DATAMAX are the real
// data's. A special value set for them is written instead (NaN stays a blank).
TEST(FitsWriteFile, SamplesWithoutDataAreMissingInTheFile) {
    const TempFolder dir;
    const int64_t W = 19, H = 6;
    auto marked = [](int f, int64_t x, int64_t y) { return (x + y + f) % 7 == 0; };
    auto nan = [](int f, int64_t x, int64_t y) { return (x * 3 + y + f) % 13 == 5; };
    struct Case {
        const char* name;
        uint32_t type;
        double bscale, bzero;
        bool special;       // the marker written as stored 7
        const char* blank;  // the card, "" for none
    } cases[] = {
        {"f64", kTypeF64, 0.0, 0.0, false, ""},
        {"f32", kTypeF32, 0.0, 0.0, false, ""},
        {"i16", kTypeI16, 0.5, 90.0, false, "BLANK   =               -32768 / value of missing samples"},
        {"u8", kTypeU8, 0.0, 0.0, false, "BLANK   =                  255 / value of missing samples"},
        {"i32", kTypeI32, 0.0, 0.0, false, "BLANK   =          -2147483648 / value of missing samples"},
        {"i16 special", kTypeI16, 0.0, 0.0, true, "BLANK   =               -32768 / value of missing samples"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = c.special ? "special" : c.name;
        ASSERT_EQ(mkdir(dir.File(name).c_str(), 0700), 0);
        auto physical = [&](int f, int64_t x, int64_t y) {
            if (marked(f, x, y)) return -DBL_MAX;
            if (nan(f, x, y)) return std::nan("");
            return 100.0 + static_cast<double>((x * 7 + y * 13 + f * 5) % 40);
        };
        testing_io::WriterJob job(kTypeF64, W, H, 2,
                                  [&](int f, int, int64_t x, int64_t y, int64_t, int) { return physical(f, x, y); });
        job.format = *FormatFits();
        if (c.bscale != 0.0) job.writer->SetScaleZero(c.bscale, c.bzero);
        job.writer->SetSpecialValue(c.special, 7.0);
        job.writer->SetFrameRange(0, 1, 1);
        ASSERT_EQ(job.Run(dir.File(name + "/a.fits"), c.type), 1);
        const std::string file = job.writer->LastFileName();
        const std::string header = ReadText(file).substr(0, 2880);
        std::string blank;
        for (size_t i = 0; i < 36; ++i)
            if (Trim(Card(header, i)).rfind("BLANK", 0) == 0) blank = Trim(Card(header, i));
        EXPECT_EQ(blank, c.blank);
        ExpectVerified(file);
        if (!HaveAstropy()) continue;
        std::string where, seven;
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (int f = 0; f < 2; ++f)
            for (int64_t y = 0; y < H; ++y)
                for (int64_t x = 0; x < W; ++x) {
                    const std::string at = std::to_string((f * H + y) * W + x);
                    if (marked(f, x, y) && c.special) seven += (seven.empty() ? "" : " ") + at;
                    else if (marked(f, x, y) || nan(f, x, y)) where += (where.empty() ? "" : " ") + at;
                    else lo = std::min(lo, physical(f, x, y)), hi = std::max(hi, physical(f, x, y));
                }
        char range[64];
        std::snprintf(range, sizeof range, "%g %g", lo, hi);
        // Where astropy finds NaN, where it finds the special value's stored 7, and the range.
        const std::string got = Astropy(
            file,
            "'%s|%s|%g %g|%g %g' % (' '.join(str(i) for i in np.flatnonzero(np.isnan(d.astype(np.float64)))), "
            "' '.join(str(i) for i in np.flatnonzero(d.astype(np.float64) == 7)), hd['DATAMIN'], hd['DATAMAX'], "
            "np.nanmin(np.where(d == 7, np.nan, d)), np.nanmax(d))");
        EXPECT_EQ(got, where + "|" + seven + "|" + range + "|" + range);
    }
}

// Raw binary real output writes samples without data as NaN as well (its readers have no
// other mark); integer raw output marks them with its blank code (the signed types' lowest
// value while the data leave it free), which its service file names.
TEST(FitsWriteFile, RawRealOutputWritesSamplesWithoutDataAsNaN) {
    const TempFolder dir;
    auto fn = [](int, int64_t x, int64_t y) { return x == 1 && y == 0 ? -DBL_MAX : (x == 2 ? std::nan("") : 3.0 + x); };
    const auto f64 = testing_io::RunWriter(FormatBinary(), dir.File("a.dat"), kTypeF64, kTypeF64, 4, 2, 1, fn);
    ASSERT_EQ(f64.filesWritten, 1);
    const std::string bytes = ReadText(f64.file);
    ASSERT_EQ(bytes.size(), 64u);
    double v[8];
    std::memcpy(v, bytes.data(), sizeof v);
    EXPECT_EQ(v[0], 3.0);
    EXPECT_TRUE(std::isnan(v[1]));
    EXPECT_TRUE(std::isnan(v[2]));
    EXPECT_TRUE(std::isnan(v[6]));
    EXPECT_EQ(v[5], 4.0);
    ASSERT_EQ(mkdir(dir.File("i").c_str(), 0700), 0);
    const auto i16 = testing_io::RunWriter(FormatBinary(), dir.File("i/a.dat"), kTypeF64, kTypeI16, 4, 2, 1, fn);
    ASSERT_EQ(i16.filesWritten, 1);
    const std::string ib = ReadText(i16.file);
    ASSERT_EQ(ib.size(), 16u);
    int16_t s[8];
    std::memcpy(s, ib.data(), sizeof s);
    EXPECT_EQ(s[1], -32768);
    EXPECT_EQ(s[0], 3);
}

// The blank code of integer output is one that no real sample holds, found by writing the
// file again when the first choice is taken: the unsigned types' highest value, the signed
// types' lowest (signed bytes: their highest, since astropy takes a BLANK of 0 for none),
// else the other end, else a free code between; only when every code holds data are the
// missing samples left unmarked, every real value kept. astropy finds NaN exactly where
// samples were missing and every real value as it was; DATAMIN and DATAMAX state the data;
// the program itself reads the missing samples back as missing.
TEST(FitsWriteFile, TheBlankCodeIsOneNoRealSampleHolds) {
    const TempFolder dir;
    constexpr int64_t W = 32, H = 16;  // two runs of 256 samples
    struct Case {
        const char* name;
        uint32_t type;
        std::function<double(int64_t)> value;  // of sample i; NaN: missing
        const char* blank;                     // the card's value, "" for none
        bool astropyNaN;                       // astropy reads the missing samples as NaN
    } cases[] = {
        // Unsigned bytes without 255.
        {"u8", kTypeU8,
         [](int64_t i) { return i % 7 == 3 ? std::nan("") : static_cast<double>(i % 255); }, "255",
         true},
        // Every byte value but 77, each held again where the second run is missing.
        {"u8gap", kTypeU8,
         [](int64_t i) {
             return i >= 256 && i % 5 == 0 ? std::nan("")
                                           : static_cast<double>(i % 256 == 77 ? 76 : i % 256);
         },
         "77", true},
        // Every byte value: nothing is free, nothing is marked, the missing samples read 255.
        {"u8full", kTypeU8,
         [](int64_t i) {
             return i >= 256 && i % 5 == 0 ? std::nan("") : static_cast<double>(i % 256);
         },
         "", false},
        // 1 to 255: only 0 is free, which astropy takes for none; the program reads it.
        {"u8zero", kTypeU8,
         [](int64_t i) {
             return i >= 256 && i % 5 == 0 ? std::nan("") : static_cast<double>(i % 255 + 1);
         },
         "0", false},
        // Unsigned 16-bit holding real zeros: 65535, stored as 32767 under BZERO 32768.
        {"u16", kTypeU16,
         [](int64_t i) { return i % 9 == 4 ? std::nan("") : static_cast<double>(i * 97 % 60000); },
         "32767", true},
        // Signed 16-bit from its lowest to its highest value: the first free code above the lowest.
        {"i16ends", kTypeI16,
         [](int64_t i) {
             return i == 7        ? -32768.0
                    : i == 8      ? 32767.0
                    : i % 11 == 0 ? std::nan("")
                                  : static_cast<double>(i % 300 - 32766);
         },
         "-32767", true},
        // Signed bytes: their highest value, stored as 255.
        {"i8", kTypeI8,
         [](int64_t i) { return i % 6 == 1 ? std::nan("") : static_cast<double>(i % 250 - 128); },
         "255", true},
        // Unsigned 32-bit holding both ends and the code below the top: the next one down.
        {"u32", kTypeU32,
         [](int64_t i) {
             return i == 3        ? 0.0
                    : i == 4      ? 4294967295.0
                    : i == 5      ? 4294967294.0
                    : i % 10 == 0 ? std::nan("")
                                  : 1000.0 + i;
         },
         "2147483645", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(mkdir(dir.File(c.name).c_str(), 0700), 0);
        testing_io::WriterJob job(
            kTypeF64, W, H, 1,
            [&](int, int, int64_t x, int64_t y, int64_t, int) { return c.value(y * W + x); });
        job.format = *FormatFits();
        job.writer->SetFrameRange(0, 0, 1);
        ASSERT_EQ(job.Run(dir.File(std::string(c.name) + "/a.fits"), c.type), 1);
        const std::string file = job.writer->LastFileName();
        std::vector<double> values;
        uint64_t missing = 0;
        double lo = DBL_MAX, hi = -DBL_MAX;
        for (int64_t i = 0; i < W * H; ++i) {
            values.push_back(c.value(i));
            if (std::isnan(values.back())) {
                ++missing;
            } else {
                lo = std::min(lo, values.back());
                hi = std::max(hi, values.back());
            }
        }
        const std::string header = ReadText(file).substr(0, 2880);
        std::string blank;
        for (size_t i = 0; i < 36; ++i)
            if (Trim(Card(header, i)).rfind("BLANK   =", 0) == 0)
                blank = Trim(Trim(Card(header, i)).substr(10, 20));
        while (!blank.empty() && blank.front() == ' ') blank.erase(0, 1);
        EXPECT_EQ(blank, c.blank);
        EXPECT_EQ(job.writer->UnmarkedSamples(), *c.blank == 0 ? missing : 0u);
        ExpectVerified(file);
        // The program reads every real value, and the missing ones as missing where they are
        // marked.
        {
            testing_io::BuiltinFormats formats;
            testing_io::KeepReceiver keep;
            ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, file, &keep), 2);
            ASSERT_NE(keep.kept, nullptr);
            const std::vector<double> got = FrameSamples(keep.kept, 0);
            ASSERT_EQ(got.size(), values.size());
            int wrong = 0;
            for (size_t i = 0; i < got.size(); ++i) {
                const bool gone = std::isnan(values[i]);
                if (gone ? (*c.blank != 0 ? !std::isnan(got[i]) : got[i] != 255.0)
                         : got[i] != values[i])
                    ++wrong;
            }
            EXPECT_EQ(wrong, 0);
        }
        if (!HaveAstropy()) continue;
        std::string expected;
        for (double v : values)
            expected +=
                (std::isnan(v) ? std::string("nan") : std::to_string(static_cast<int64_t>(v))) +
                "\n";
        testing_util::WriteText(file + ".want", expected);
        char range[64];
        std::snprintf(range, sizeof range, "%.0f %.0f", lo, hi);
        // Real samples equal, NaN where missing (or not), and the header's range. (astropy's
        // own unsigned and signed-byte forms skip BLANK: the values are taken as scaled reals.)
        int status = -1;
        testing_util::WriteText(file + ".py",
                                "import sys, numpy as np\nfrom astropy.io import fits\n"
                                "w = np.loadtxt(sys.argv[1] + '.want'); m = np.isnan(w)\n"
                                "with fits.open(sys.argv[1], uint=False) as f:\n"
                                "    d = f[0].data.astype(np.float64).ravel(); h = f[0].header\n"
                                "    print('%d %d %.0f %.0f' % (np.array_equal(w[~m], d[~m]), "
                                "np.array_equal(np.isnan(d), m),"
                                " h['DATAMIN'], h['DATAMAX']))\n");
        std::string got =
            RunCommand(ORVA_PYTHON " '" + file + ".py' '" + file + "' 2>&1", &status);
        got = got.substr(0, got.find_last_not_of('\n') + 1);
        EXPECT_EQ(got, std::string("1 ") + (c.astropyNaN ? "1 " : "0 ") + range);
    }
}

}  // namespace
}  // namespace orva
