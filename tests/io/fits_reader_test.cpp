#include "io/formats/fits/fits_reader.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "data_set_fixture.h"
#include "io/format_registry.h"
#include "io/input_source.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::KeepAll;

// ---- Hand-made files ------------------------------------------------------------------------

std::string Card(const std::string& text) {
    std::string c = text.substr(0, 80);
    c.resize(80, ' ');
    return c;
}
std::string Kv(const std::string& key, const std::string& value) {
    std::string k = key;
    k.resize(8, ' ');
    return Card(k + "= " + value);
}
std::string Pad(std::string s, char fill) {
    s.resize((s.size() + 2879) / 2880 * 2880, fill);
    return s;
}
// A header of the cards (END added) and its data, each padded to whole blocks.
std::string Unit(const std::vector<std::string>& cards, const std::string& data = "",
                 bool end = true) {
    std::string h;
    for (const std::string& c : cards) h += c;
    if (end) h += Card("END");
    return Pad(h, ' ') + Pad(data, '\0');
}
std::vector<std::string> Image(int bitpix, std::vector<long long> axes) {
    std::vector<std::string> c = {Kv("SIMPLE", "T"), Kv("BITPIX", std::to_string(bitpix)),
                                  Kv("NAXIS", std::to_string(axes.size()))};
    for (size_t i = 0; i < axes.size(); ++i)
        c.push_back(Kv("NAXIS" + std::to_string(i + 1), std::to_string(axes[i])));
    return c;
}
// The cards with more cards after them.
std::vector<std::string> With(std::vector<std::string> cards, std::initializer_list<std::string> more) {
    cards.insert(cards.end(), more);
    return cards;
}
std::string BigEndian16(const std::vector<int>& values) {
    std::string s;
    for (int v : values) {
        s += static_cast<char>((v >> 8) & 0xFF);
        s += static_cast<char>(v & 0xFF);
    }
    return s;
}

class FitsReaderTest : public DataSetFixture {
protected:
    void TearDown() override {
        TheLayoutSettings() = {};
        DataSetFixture::TearDown();
    }
    // The units of the file as the walk finds them; the walk's result.
    int Walk(const std::string& path, std::vector<std::unique_ptr<FitsReader>>* units) {
        StreamRecord* s = nullptr;
        int r = StreamOpen(&s, kStreamBinary, path.c_str());
        if (r < 2) return r;
        r = FitsWalk(s, s->length, units);
        StreamClose(&s);
        return r;
    }
    // The single unit of a hand-made file.
    std::unique_ptr<FitsReader> One(const std::string& bytes, int expect = 2) {
        std::vector<std::unique_ptr<FitsReader>> units;
        EXPECT_EQ(Walk(Write("one.fits", bytes), &units), expect);
        return units.empty() ? nullptr : std::move(units[0]);
    }
    // FitsOpen on the file; the data sets go to `keep`.
    int Open(const std::string& path, KeepAll* keep) {
        return testing_io::OpenWithReader(FormatFits(), path, keep, &FitsOpen);
    }
};

// ---- Files of independent writers -----------------------------------------------------------

struct Described {
    std::string file, kind;
    int unit = 0, bitpix = 0, naxis = 0;
    std::vector<long long> axes;
    long long header = 0, data = 0, span = 0;
    double bscale = 1, bzero = 0;
    std::string bytes;
    std::vector<double> values;
};

// The comma-separated items of a manifest field ("-" stands for none).
std::vector<std::string> Split(const std::string& text) {
    std::vector<std::string> v;
    std::stringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (item != "-") v.push_back(item);
    return v;
}

std::vector<unsigned char> Hex(const std::string& text) {
    std::vector<unsigned char> v;
    for (size_t i = 0; i + 1 < text.size(); i += 2) v.push_back(std::stoi(text.substr(i, 2), nullptr, 16));
    return v;
}

TEST_F(FitsReaderTest, FilesOfAstropyAndCfitsioAreDescribedAsAstropyReadsThem) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"))
        GTEST_SKIP() << "/usr/bin/python3 cannot import astropy";
    const std::string command = std::string(ORVA_PYTHON " ") + ORVA_SOURCE_DIR +
                                "/tests/io/make_fits_files.py '" + dir + "'";
    int status = -1;
    std::stringstream printed(testing_io::RunCommand(command, &status));
    ASSERT_EQ(status, 0);
    std::vector<Described> lines;
    for (std::string line; std::getline(printed, line);) {
        std::stringstream in(line);
        Described d;
        std::string axes, values;
        in >> d.file >> d.unit >> d.kind >> d.bitpix >> d.naxis >> axes >> d.header >> d.data >> d.span >>
            d.bscale >> d.bzero >> d.bytes >> values;
        for (const std::string& item : Split(axes)) d.axes.push_back(std::stoll(item));
        for (const std::string& item : Split(values)) d.values.push_back(std::stod(item));
        lines.push_back(d);
    }
    ASSERT_GE(lines.size(), 17u);

    std::string current;
    std::vector<std::unique_ptr<FitsReader>> units;
    KeepAll keep;
    size_t imageIndex = 0;
    for (const Described& d : lines) {
        SCOPED_TRACE(d.file + " unit " + std::to_string(d.unit));
        const std::string path = dir + "/" + d.file;
        if (d.file != current) {
            current = d.file;
            units.clear();
            ASSERT_EQ(Walk(path, &units), 2);
            for (DataSet* k : keep.kept) k->Release();
            keep.kept.clear();
            ASSERT_EQ(Open(path, &keep), 2);
            imageIndex = 0;
        }
        ASSERT_LT(static_cast<size_t>(d.unit), units.size());
        FitsReader& r = *units[d.unit];
        EXPECT_EQ(r.unitStart, d.header);
        EXPECT_EQ(r.headerStart, d.header);
        EXPECT_EQ(r.dataOffset, d.data);
        EXPECT_EQ((r.dataBytes + 2879) / 2880 * 2880, d.span);
        EXPECT_EQ(r.bitpix, d.bitpix);
        EXPECT_EQ(r.declaredAxes, static_cast<uint32_t>(d.naxis));
        EXPECT_EQ(std::vector<long long>(r.axisLengths.begin(), r.axisLengths.end()), d.axes);
        EXPECT_EQ(r.hasScale ? r.headerScale : 1.0, d.bscale);
        EXPECT_EQ(r.hasZero ? r.headerZero : 0.0, d.bzero);
        EXPECT_EQ(r.IsImageUnit(), d.kind == "PRIMARY" || d.kind == "IMAGE");
        if (d.kind == "BINTABLE") {
            EXPECT_EQ(r.xtension, kFitsXtBinTable);
        }
        if (d.values.empty()) continue;

        // The stored bytes at the data offset.
        std::vector<unsigned char> expected = Hex(d.bytes), got(expected.size());
        FILE* f = std::fopen(path.c_str(), "rb");
        ASSERT_NE(f, nullptr);
        ASSERT_EQ(std::fseek(f, static_cast<long>(r.dataOffset), SEEK_SET), 0);
        ASSERT_EQ(std::fread(got.data(), 1, got.size(), f), got.size());
        std::fclose(f);
        EXPECT_EQ(got, expected);

        // The data set of the unit: sizes, frames and the physical values.
        ASSERT_LT(imageIndex, keep.kept.size());
        DataSet* ds = keep.kept[imageIndex++];
        EXPECT_EQ(ds->dataBegin, d.data);
        EXPECT_EQ(testing_io::XY(*ds), testing_io::XY(d.axes[0], d.axes[1]));
        long long frames = 1;
        for (size_t i = 2; i < d.axes.size(); ++i) frames *= d.axes[i];
        EXPECT_EQ(ds->TotalFrames(), static_cast<uint32_t>(frames));
        EXPECT_EQ(ds->input.bits, static_cast<uint32_t>(std::abs(d.bitpix)));
        if (d.bitpix == 64) continue;  // 64-bit integers do not fit a double exactly
        for (size_t i = 0; i < d.values.size(); ++i)
            EXPECT_EQ(Value(ds, static_cast<uint32_t>(i), 0), d.values[i]) << "sample " << i;
    }
    EXPECT_EQ(imageIndex, keep.kept.size());
    const std::string log = Log();
    EXPECT_EQ(log.find("wrong fits header"), std::string::npos);
    EXPECT_EQ(log.find("not completely filled"), std::string::npos);
}

// The sample generator's files open with the sizes it promises and astropy's values.
TEST_F(FitsReaderTest, SampleFilesOpen) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, numpy'"))
        GTEST_SKIP() << "/usr/bin/python3 cannot import astropy";
    const std::string make = std::string(ORVA_PYTHON " ") + ORVA_SOURCE_DIR + "/tools/make_sample.py '" + dir + "'";
    ASSERT_EQ(std::system(make.c_str()), 0);
    // Values at a few places, as astropy reads them (physical, after BZERO).
    const std::string probe = ORVA_PYTHON " -c \"import sys; from astropy.io import fits; "
                              "d = fits.getdata(sys.argv[1] + '/stars.fits').astype(float); "
                              "c = fits.getdata(sys.argv[1] + '/cube.fits').astype(float); "
                              "print(d[0, 0], d[1000, 1500], d[2047, 3], c[63, 200, 100], c[5, 0, 255])\" '" + dir + "'";
    int status = -1;
    const std::string printed = testing_io::RunCommand(probe, &status);
    double v[5] = {};
    ASSERT_EQ(std::sscanf(printed.c_str(), "%lf %lf %lf %lf %lf", &v[0], &v[1], &v[2], &v[3], &v[4]), 5) << printed;
    struct Expect {
        const char* file;
        int64_t x, y;
        uint32_t frames, bits;
    } expect[] = {{"stars.fits", 2048, 2048, 1, 16}, {"cube.fits", 256, 256, 64, 32}, {"spectrum.fits", 4096, 1, 1, 32}};
    std::vector<std::unique_ptr<KeepAll>> keeps;
    for (const Expect& e : expect) {
        SCOPED_TRACE(e.file);
        keeps.push_back(std::make_unique<KeepAll>());
        ASSERT_EQ(Open(dir + "/" + e.file, keeps.back().get()), 2);
        ASSERT_EQ(keeps.back()->kept.size(), 1u);
        DataSet* d = keeps.back()->kept[0];
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(e.x, e.y));
        EXPECT_EQ(d->TotalFrames(), e.frames);
        EXPECT_EQ(d->input.bits, e.bits);
    }
    DataSet* stars = keeps[0]->kept[0];
    EXPECT_EQ(stars->zero, 32768.0);
    EXPECT_EQ(Value(stars, 0, 0), v[0]);
    EXPECT_EQ(Value(stars, 1500, 1000), v[1]);
    EXPECT_EQ(Value(stars, 3, 2047), v[2]);
    DataSet* cube = keeps[1]->kept[0];
    EXPECT_EQ(Value(cube, 100, 200, 63), v[3]);
    EXPECT_EQ(Value(cube, 255, 0, 5), v[4]);
}

// ---- Card rules ------------------------------------------------------------------------------

TEST_F(FitsReaderTest, CardRules) {
    struct Case {
        const char* what;
        std::string bytes;
        int walk;
        std::function<void(const FitsReader&)> check;
    };
    std::vector<std::string> c35 = Image(16, {2, 2});
    while (c35.size() < 35) c35.push_back(Card("COMMENT filler"));
    std::vector<std::string> c36 = c35;
    c36.push_back(Card("COMMENT one more"));
    std::vector<Case> cases = {
        {"END is card 36: data at 2880", Unit(c35, std::string(8, 'x')), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.dataOffset, 2880); EXPECT_EQ(r.endCard, 35 * 80); }},
        {"END is card 37: data at 5760", Unit(c36, std::string(8, 'x')), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.dataOffset, 5760); }},
        {"BITPIX -32", Unit(Image(-32, {3}), std::string(12, 'x')), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.type & 0x17F, 0x10u); EXPECT_EQ(r.bits, 32u); }},
        {"BITPIX 0 stops the header", Unit(Image(0, {3})), -13, nullptr},
        {"NCHAN -5 and 0", Unit(With(Image(8, {4}), {Kv("NCHAN", "-5")}), "abcd"), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.channels, 5u); }},
        {"NCHAN 0", Unit(With(Image(8, {4}), {Kv("NCHAN", "0")}), "abcd"), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.channels, 1u); }},
        {"DATATYPE UNSIGNED on 16 bits", Unit(With(Image(16, {2}), {Kv("DATATYPE", "'UNSIGNED'")}), "abcd"), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.type & 0x1FF, 0x102u); }},
        {"DATATYPE UNSIGNED on a real is ignored", Unit(With(Image(-32, {1}), {Kv("DATATYPE", "'UNSIGNED'")}), "abcd"),
         2, [](const FitsReader& r) { EXPECT_EQ(r.type & 0x1FF, 0x10u); }},
        {"BINTABLE recognised, not an image",
         Unit(Image(8, {0})) +
             Unit({Kv("XTENSION", "'BINTABLE'"), Kv("BITPIX", "8"), Kv("NAXIS", "2"), Kv("NAXIS1", "4"),
                   Kv("NAXIS2", "1000"), Kv("PCOUNT", "3000"), Kv("GCOUNT", "1")},
                  std::string(7000, 't')),
         2, nullptr},
        {"lower-case keywords do not match in strict mode",
         Unit({Kv("SIMPLE", "T"), Kv("bitpix", "16"), Kv("NAXIS", "0")}), 2,
         [](const FitsReader& r) { EXPECT_EQ(r.bitpix, 0); }},
        {"D exponents, quoted strings, records",
         Unit(With(Image(16, {2}), {Kv("BSCALE", "2.5D+00 / scale"), Kv("OBJECT", "'it''s a star' / name"),
                                    Card("HISTORY made by hand")}),
              "abcd"),
         2,
         [](const FitsReader& r) {
             EXPECT_EQ(r.headerScale, 2.5);
             ASSERT_EQ(r.records.size(), 3u);
             EXPECT_EQ(r.records[1].keyword, "OBJECT");
             EXPECT_EQ(r.records[1].value, "'it''s a star'");
             EXPECT_EQ(r.records[1].comment, "name");
             EXPECT_EQ(r.records[2].keyword, "HISTORY");
             EXPECT_EQ(r.records[2].value, "made by hand");
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::unique_ptr<FitsReader>> units;
        EXPECT_EQ(Walk(Write("case.fits", c.bytes), &units), c.walk);
        if (c.check && !units.empty()) c.check(*units[0]);
    }
    // The table's size took PCOUNT: the walk ends at the file's end with two units.
    std::vector<std::unique_ptr<FitsReader>> units;
    ASSERT_EQ(Walk(Write("t.fits", cases[8].bytes), &units), 2);
    ASSERT_EQ(units.size(), 2u);
    EXPECT_EQ(units[1]->dataBytes, 4000 + 3000);
    EXPECT_EQ(units[1]->xtension, kFitsXtBinTable);
    EXPECT_EQ(units[1]->readerValue, -1);
}

// ---- Hostile headers -------------------------------------------------------------------------

TEST_F(FitsReaderTest, HostileHeadersAreRefusedQuickly) {
    const auto start = std::chrono::steady_clock::now();
    // Data that would run past the file (and sizes that overflow 64 bits).
    EXPECT_EQ(One(Unit(Image(16, {100, 100})), -23)->dataBytes, 20000);
    One(Unit(Image(16, {9223372036854775807LL, 4})), -23);
    One(Unit(Image(-64, {2147483647, 2147483647, 2147483647})), -23);
    // No END card: not a header unit.
    One(Unit(Image(16, {2}), "", false), -13);
    // Not FITS at all: -1 lets the open path probe the other formats.
    One(std::string(5000, '\x01'), -1);
    One(Unit({Kv("BITPIX", "8"), Kv("NAXIS", "0")}), -1);
    KeepAll text;
    EXPECT_EQ(Open(Write("notes.txt", std::string(3000, 'a')), &text), -1);
    // NAXIS above 999, and an index beyond the declared count.
    auto r = One(Unit({Kv("SIMPLE", "T"), Kv("BITPIX", "8"), Kv("NAXIS", "1000")}));
    EXPECT_GT(r->badCards, 0u);
    r = One(Unit({Kv("SIMPLE", "T"), Kv("BITPIX", "8"), Kv("NAXIS", "1"), Kv("NAXIS1", "2"), Kv("NAXIS2", "5")},
                 "ab"));
    EXPECT_EQ(r->badCards, 1u);
    EXPECT_EQ(r->dataBytes, 2);
    // 40,000 HISTORY cards.
    std::vector<std::string> many = Image(16, {2});
    for (int i = 0; i < 40000; ++i) many.push_back(Card("HISTORY line " + std::to_string(i)));
    r = One(Unit(many, "abcd"));
    EXPECT_EQ(r->records.size(), 40001u);  // SIMPLE and the HISTORY cards
    EXPECT_EQ(r->dataOffset, (40000 + 5 + 35) / 36 * 2880);
    // Bytes with control characters between cards are skipped over up to END.
    std::string garbled = Pad(Kv("SIMPLE", "T") + Kv("BITPIX", "8") + Kv("NAXIS", "1") + Kv("NAXIS1", "3") +
                                  std::string(37, '\x02') + Card("END"),
                              ' ') +
                          Pad("abc", '\0');
    r = One(garbled);
    EXPECT_EQ(r->skippedBytes, 37);
    EXPECT_EQ(r->dataOffset, 2880);
    // A file that ends inside a table after a good image keeps the image.
    KeepAll keep;
    std::string two = Unit(Image(16, {2, 2}), BigEndian16({1, 2, 3, 4})) +
                      Unit({Kv("XTENSION", "'IMAGE'"), Kv("BITPIX", "16"), Kv("NAXIS", "1"), Kv("NAXIS1", "5000")});
    EXPECT_EQ(Open(Write("two.fits", two), &keep), 2);
    EXPECT_EQ(keep.kept.size(), 1u);
    testing_io::ExpectContains(Log(), {"fits header unit 2: data run past the end of the file"});
    KeepAll none;
    EXPECT_EQ(Open(Write("cut.fits", Unit(Image(16, {100, 100}))), &none), -23);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(20));
}

// ---- Header to data set ----------------------------------------------------------------------

TEST_F(FitsReaderTest, ByteOrderAxesAndLogs) {
    auto describe = [&](const std::string& bytes, DataSetInfo* info) {
        auto r = One(bytes);
        ASSERT_NE(r, nullptr);
        EXPECT_EQ(FitsHeaderCheck(r.get(), info, 2), 2);
    };
    // Big-endian whatever the swapped-data setting says; DATATYPE may say otherwise.
    for (bool swapped : {false, true}) {
        TheLayoutSettings().defaultSwapped = swapped;
        DataSetInfo info;
        describe(Unit(Image(16, {3, 2}), BigEndian16({1, 2, 3, 4, 5, 6})), &info);
        EXPECT_EQ(info.input.type & 0x1FF, 0x82u) << swapped;
        DataSetInfo little;
        describe(Unit(With(Image(16, {3, 2}), {Kv("DATATYPE", "'BYTEORDL'")}), std::string(12, 'x')), &little);
        EXPECT_EQ(little.input.type & 0x1FF, 0x02u) << swapped;
    }
    TheLayoutSettings() = {};
    DataSetInfo bytes;
    describe(Unit(Image(8, {3, 2}), "abcdef"), &bytes);
    EXPECT_EQ(bytes.input.type & 0x1FF, 0x101u);

    // Axes from the fourth on become frames: 4 x 3 x 2 x 1 x 5 gives 10 frames of 4 x 3.
    DataSetInfo cube;
    describe(Unit(Image(-32, {4, 3, 2, 1, 5}), std::string(4 * 3 * 10 * 4, 'x')), &cube);
    EXPECT_EQ(testing_io::XY(cube), testing_io::XY(4, 3));
    EXPECT_EQ(cube.sizeZ, 1);
    EXPECT_EQ(cube.TotalFrames(), 10u);
    // A degenerate third axis with a real fourth one.
    DataSetInfo radio;
    describe(Unit(Image(16, {4, 3, 1, 6}), std::string(4 * 3 * 6 * 2, 'x')), &radio);
    EXPECT_EQ(radio.TotalFrames(), 6u);
    // Scale and zero; DATAMIN/DATAMAX give the value range.
    DataSetInfo scaled;
    Log();
    describe(Unit(With(Image(16, {2, 2}), {Kv("BZERO", "32768"), Kv("BSCALE", "0.5"), Kv("DATAMIN", "-3"),
                                           Kv("DATAMAX", "9")}),
                  std::string(8, 'x')),
             &scaled);
    EXPECT_EQ(scaled.zero, 32768.0);
    EXPECT_EQ(scaled.scale, 0.5);
    EXPECT_EQ(scaled.inverseScale, 2.0);
    EXPECT_EQ(scaled.rangeMin, -3.0);
    EXPECT_EQ(scaled.rangeMax, 9.0);
    EXPECT_NE(scaled.flags & kFlagValueRange, 0u);
    // Without the two cards no range is stated (the view takes the statistics); equal
    // values state the type's own range; a reversed pair states none.
    struct RangeCase {
        std::vector<std::string> cards;
        double min, max;
        bool stated;
    };
    for (const RangeCase& c : std::vector<RangeCase>{{{}, 0.0, 0.0, false},
                                                     {{Kv("DATAMIN", "4")}, 0.0, 0.0, false},
                                                     {{Kv("DATAMIN", "5"), Kv("DATAMAX", "5")}, 0.0, 32767.0, false},
                                                     {{Kv("DATAMIN", "9"), Kv("DATAMAX", "-3")}, 0.0, 0.0, false}}) {
        DataSetInfo ranged;
        std::vector<std::string> cards = Image(16, {2, 2});
        cards.insert(cards.end(), c.cards.begin(), c.cards.end());
        describe(Unit(cards, std::string(8, 'x')), &ranged);
        EXPECT_EQ(ranged.rangeMin, c.min) << c.cards.size();
        EXPECT_EQ(ranged.rangeMax, c.max) << c.cards.size();
        EXPECT_EQ((ranged.flags & kFlagValueRange) != 0, c.stated) << c.cards.size();
    }
    EXPECT_EQ(Log().find("not completely filled"), std::string::npos);
    // The incomplete-header line is kept for a real NAXIS mismatch only.
    DataSetInfo mismatch;
    describe(Unit({Kv("SIMPLE", "T"), Kv("BITPIX", "16"), Kv("NAXIS", "3"), Kv("NAXIS1", "2"), Kv("NAXIS2", "2")},
                  std::string(8, 'x')),
             &mismatch);
    testing_io::ExpectContains(Log(), {"invalid fits hdu: NAXIS keyword value 3 != 2 NAXISn keyword",
                                       "\t NAXIS3   \t - not defined", "Fits header is not completely filled..."});
}

// The registry's FITS descriptor opens through the program's open path.
TEST_F(FitsReaderTest, OpenThroughTheRegistry) {
    testing_io::BuiltinFormats formats;
    const std::string path = Write("img.fits", Unit(Image(16, {3, 2}), BigEndian16({1, -2, 3, 4, 5, 300})));
    testing_io::KeepReceiver receiver;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &receiver), 2);
    ASSERT_NE(receiver.kept, nullptr);
    EXPECT_EQ(receiver.kept->formatTag, MakeFormatTag("FITS"));
    EXPECT_EQ(Value(receiver.kept, 1, 0), -2.0);
    EXPECT_EQ(Value(receiver.kept, 2, 1), 300.0);
}

// A file whose later unit is cut short opens with the units before it, and says so on
// the status line as a warning; a file cut in its only unit is left to the open's
// failure report.
std::vector<std::string> gWarnings;
TEST_F(FitsReaderTest, AFileCutInALaterUnitSaysSo) {
    StatusLineHooks hooks{[](int group, int code, int, const char* text) {
                              gWarnings.push_back(std::to_string(group) + " " + std::to_string(code) + " " + text);
                              return 1;
                          },
                          nullptr};
    SetStatusLineHooks(&hooks);
    gWarnings.clear();
    KeepAll keep;
    // The second unit announces 20000 bytes of data; 7000 are there (padded to 8640).
    const std::string path =
        Write("two.fits", Unit(Image(16, {2, 2}), BigEndian16({1, 2, 3, 4})) +
                              Unit({Kv("XTENSION", "'IMAGE'"), Kv("BITPIX", "16"), Kv("NAXIS", "2"),
                                    Kv("NAXIS1", "100"), Kv("NAXIS2", "100")},
                                   std::string(7000, '\x01')));
    EXPECT_EQ(Open(path, &keep), 2);
    EXPECT_EQ(keep.kept.size(), 1u);
    const std::string line = "'" + path + "' - fits header unit 2: data run past the end of the file";
    EXPECT_EQ(gWarnings, std::vector<std::string>{"0 -2 " + line});
    testing_io::ExpectContains(Log(), {line});
    gWarnings.clear();
    KeepAll none;
    EXPECT_EQ(Open(Write("cut.fits", Unit(Image(16, {100, 100}), std::string(7000, '\x01'))), &none), -23);
    EXPECT_TRUE(gWarnings.empty());
    SetStatusLineHooks(nullptr);
}

// BITPIX values that FITS does not have are refused with the reason in the log, in the
// first unit (nothing opens) as in a later one (the units before it open).
TEST_F(FitsReaderTest, BitpixValuesFitsDoesNotHaveAreRefused) {
    for (int bitpix : {-16, 7, 12, 24, -8, 1, 65, -128, 0}) {
        SCOPED_TRACE(bitpix);
        KeepAll none;
        const std::string path = Write("bad.fits", Unit(Image(bitpix, {2, 2}), std::string(64, '\x01')));
        EXPECT_EQ(Open(path, &none), -13);
        EXPECT_TRUE(none.kept.empty());
        testing_io::ExpectContains(Log(), {"'" + path + "' - fits header unit 1: BITPIX = " + std::to_string(bitpix) +
                                           " is not a FITS sample type (8, 16, 32, 64, -32 or -64)"});
    }
    KeepAll keep;
    const std::string path =
        Write("later.fits", Unit(Image(16, {2, 2}), BigEndian16({1, 2, 3, 4})) +
                                Unit({Kv("XTENSION", "'IMAGE'"), Kv("BITPIX", "-16"), Kv("NAXIS", "2"),
                                      Kv("NAXIS1", "2"), Kv("NAXIS2", "2")},
                                     std::string(8, '\x01')));
    EXPECT_EQ(Open(path, &keep), 2);
    EXPECT_EQ(keep.kept.size(), 1u);
    testing_io::ExpectContains(Log(), {"'" + path + "' - fits header unit 2: BITPIX = -16 is not a FITS sample type"});
    for (int bitpix : {8, 16, 32, 64, -32, -64}) {
        SCOPED_TRACE(bitpix);
        KeepAll good;
        EXPECT_EQ(Open(Write("good.fits", Unit(Image(bitpix, {2, 2}), std::string(32, '\x01'))), &good), 2);
        EXPECT_EQ(good.kept.size(), 1u);
    }
}

// A whole header whose axes hold no sample is a FITS file with empty data (code 1, which
// the open reports as such), not a file of unknown type (-1, which asks whether to read
// it as raw data); a unit with samples after it still opens.
TEST_F(FitsReaderTest, AHeaderWithoutSamplesHasEmptyData) {
    struct Case {
        const char* name;
        std::string bytes;
        int result;
        size_t kept;
    };
    const Case cases[] = {
        {"zero_first_axis.fits", Unit(With(Image(16, {0, 10}), {Kv("EXTEND", "T")})), 1, 0},
        {"zero_second_axis.fits", Unit(Image(-32, {10, 0})), 1, 0},
        {"no_axes.fits", Unit(Image(8, {})), 1, 0},
        {"then_an_image.fits",
         Unit(With(Image(16, {}), {Kv("EXTEND", "T")})) +
             Unit({Kv("XTENSION", "'IMAGE'"), Kv("BITPIX", "16"), Kv("NAXIS", "2"), Kv("NAXIS1", "2"),
                   Kv("NAXIS2", "2"), Kv("PCOUNT", "0"), Kv("GCOUNT", "1")},
                  BigEndian16({1, 2, 3, 4})),
         2, 1},
        {"prose.fits", std::string("Observing notes, not a header.\n"), -1, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        KeepAll keep;
        EXPECT_EQ(Open(Write(c.name, c.bytes), &keep), c.result);
        EXPECT_EQ(keep.kept.size(), c.kept);
    }
}

// BLANK marks the missing samples of integer data: they read as NaN, the others through
// BSCALE and BZERO as ever. Real data ignore the card, as does a value the samples cannot
// hold.
TEST_F(FitsReaderTest, BlankSamplesOfIntegerDataReadAsNaN) {
    const double nan = std::nan("");
    auto bigEndian = [](std::initializer_list<long long> values, int bytes) {
        std::string s;
        for (long long v : values)
            for (int b = bytes - 1; b >= 0; --b) s += static_cast<char>((static_cast<unsigned long long>(v) >> (8 * b)) & 0xFF);
        return s;
    };
    std::string real32;
    for (float f : {5.0f, 1.5f, 5.0f, -2.0f}) {
        uint32_t u;
        std::memcpy(&u, &f, 4);
        real32 += bigEndian({u}, 4);
    }
    struct Case {
        const char* name;
        int bitpix;
        std::vector<std::string> more;
        std::string data;
        std::vector<double> want;
    } cases[] = {
        {"i16 scaled", 16, {Kv("BSCALE", "0.25"), Kv("BZERO", "500"), Kv("BLANK", "-32768")},
         bigEndian({-32768, 4, -32767, -32768}, 2), {nan, 501, 500 - 32767 * 0.25, nan}},
        {"u8", 8, {Kv("BLANK", "255 / comment")}, bigEndian({255, 3, 0, 254}, 1), {nan, 3, 0, 254}},
        {"i32", 32, {Kv("BLANK", "2147483647")}, bigEndian({7, 2147483647, -9, 0}, 4), {7, nan, -9, 0}},
        {"i64", 64, {Kv("BLANK", "-9223372036854775808")},
         bigEndian({-9223372036854775807LL - 1, 12, -9223372036854775807LL, 1}, 8),
         {nan, 12, -9223372036854775807.0, 1}},
        {"unsigned 16 by BZERO", 16, {Kv("BZERO", "32768"), Kv("BLANK", "-32768")},
         bigEndian({-32768, 0, 32767, -32767}, 2), {nan, 32768, 65535, 1}},
        {"real data keep theirs", -32, {Kv("BLANK", "5")}, real32, {5, 1.5, 5, -2}},
        {"beyond the samples", 16, {Kv("BLANK", "70000")}, bigEndian({1, 2, 3, 4}, 2), {1, 2, 3, 4}},
        {"not an integer", 16, {Kv("BLANK", "1.5")}, bigEndian({1, 2, 3, 4}, 2), {1, 2, 3, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> cards = Image(c.bitpix, {4, 1});
        cards.insert(cards.end(), c.more.begin(), c.more.end());
        KeepAll keep;
        ASSERT_EQ(Open(Write("blank.fits", Unit(cards, c.data)), &keep), 2);
        ASSERT_EQ(keep.kept.size(), 1u);
        for (size_t i = 0; i < c.want.size(); ++i) {
            const double v = Value(keep.kept[0], static_cast<int64_t>(i), 0);
            if (std::isnan(c.want[i]))
                EXPECT_TRUE(std::isnan(v)) << i << ": " << v;
            else
                EXPECT_EQ(v, c.want[i]) << i;
        }
    }
    const std::string log = Log();
    EXPECT_NE(log.find("blank value 70000 does not fit the samples: ignored"), std::string::npos) << log;
    EXPECT_NE(log.find("bad cards 1, unknown cards 0"), std::string::npos) << log;  // "1.5"
}

}  // namespace
}  // namespace orva
