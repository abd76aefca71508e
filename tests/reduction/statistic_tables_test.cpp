// The statistic tables and the text report, compared with whole files written
// out by hand: headers only into empty files, rows of one and of three
// channels, sections left out for empty channels and lines for values not
// computed, the Windows-1251 byte of the report, and the save dialogs.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "common/error_codes.h"
#include "common/printf_format.h"
#include "reduction/statistic_tables.h"
#include "statistic_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace reduction_testing;
using testing_util::ReadText;

constexpr char kTime[] = "Mon Jan  1 00:00:00 2024\n";
// A table's time line ends once, though the clock's text brings its own line end.
constexpr char kTableTime[] = ";TIME=Mon Jan  1 00:00:00 2024\n";

// What the status line of window group 0 received.
std::vector<std::string>& StatusTexts() {
    static std::vector<std::string> texts;
    return texts;
}

class TablesTest : public ReductionTest {
protected:
    TablesTest() {
        TheReductionServices().timeText = [] { return std::string(kTime); };
        ResetStatisticDialogPaths();
        StatusTexts().clear();
        StatusLineHooks hooks;
        hooks.printStatusLine = [](int group, int, int, const char* format, const char* name) {
            if (group == kStatusGroupMain) StatusTexts().push_back(FormatString(format, name));
            return 1;
        };
        hooks.setGroupStatus = [](int group, int, int, const char* text) {
            if (group == kStatusGroupMain) StatusTexts().push_back(text);
            return 1;
        };
        SetStatusLineHooks(&hooks);
    }
    ~TablesTest() override {
        SetStatusLineHooks(nullptr);
        ResetStatisticDialogPaths();
    }
    // A 4 x 2 frame holding 1..8, measured whole; the source file is m31.fits in the temporary folder.
    void MeasureEight() {
        chain = std::make_unique<StatisticChain>(&ui, 4, 2);
        for (int i = 0; i < 8; ++i) chain->source->values[i] = i + 1.0;
        chain->item.source.fileName = source;
        shape = std::make_unique<Measured>(kKindRect, kRoleStatistic);
        SetRects(shape.get(), 0, 0, {{0, 0, 4, 2}});
        ASSERT_TRUE(chain->reduction->AddItem(shape->shape));
        ASSERT_EQ(chain->Pull(), 5);
    }
    std::string Header(const char* rows) const {
        return ";COMMENT=Processing [statistics] of data from \"m31.fits\" \n;URL=<" + source + ">\n" + kTableTime +
               rows;
    }
    testing_util::TempFolder folder;
    const std::string source = folder.File("m31.fits");
    std::unique_ptr<StatisticChain> chain;
    std::unique_ptr<Measured> shape;
};

// Every row ends with the frame measured, counted from 1 (the chain pulls frame 0).
constexpr char kStatRows[] = "\n;TABROW=     1    2    3    4    5    6    7,    8    9\n"
                             ";DESCR=BOX:(Xmin Xmax Ymin Ymax) Npo Mean RMS Channel Frame\n\n";
constexpr char kCoordRows[] =
    "\n;TABROW=     1     2    3    4    5    6    7     8     9     10    11    12     13     14     15    16       "
    "17      18     19     20\n"
    ";DESCR=BOX:(Xmin Xmax Ymin Ymax)  Xc   Yc  Flux  Bkgr  FWHM  Xsig  Ysig  XYsig  Xasym  Yasym   Max   Min  "
    "Flux-FBkgr  Npo  Channel  Frame\n\n;#data\n";
constexpr char kEightStatRow[] = "0 0 4 2 8 4.5 2.44949 1 1 \n";
// Xc, Yc: only 8 lies above Median + DeviationUnbiased = 7.04; FWHM: 7 and 8 reach (4.5 + 8) / 2.
constexpr char kEightCoordRow[] =
    "0 0  4 2  3.000 1.000  36  0  1.596  0.000 0.000 0.000  0.000 0.000  8 1  36  8  1  1  \n";

TEST_F(TablesTest, TheFirstAdditionWritesTheHeaderTheNextOnlyRows) {
    MeasureEight();
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatValueTable));
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatCoordTable));
    const std::string stat = folder.File("m31_stat.tab"), coord = folder.File("m31_crd.tab");
    EXPECT_EQ(ReadText(stat), Header(kStatRows) + kEightStatRow);
    EXPECT_EQ(ReadText(coord), Header(kCoordRows) + kEightCoordRow);
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatValueTable));
    EXPECT_EQ(ReadText(stat), Header(kStatRows) + kEightStatRow + kEightStatRow);
    // Cleaned, the tables are closed; the next addition opens them again and appends.
    CloseStatisticTables(chain->reduction);
    EXPECT_FALSE(chain->reduction->tableWriters[kStatValueTable]->IsOpen());
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatCoordTable));
    EXPECT_EQ(ReadText(coord), Header(kCoordRows) + kEightCoordRow + kEightCoordRow);
    EXPECT_TRUE(StatusTexts().empty());

    // A file that holds data already gets no header.
    testing_util::WriteText(folder.File("old.tab"), "kept\n");
    ASSERT_TRUE(chain->reduction->tableWriters[kStatValueTable]->SetPath(folder.File("old.tab").c_str(), kDiskAppend));
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatValueTable));
    EXPECT_EQ(ReadText(folder.File("old.tab")), std::string("kept\n") + kEightStatRow);
}

// A cube of three 4 x 2 frames, frame f holding 100 f + 1 .. 100 f + 8: each pull measures
// the frame it names (the frame held from the pull before serves only that frame), and
// the rows and the report name it, counted from 1. A pull of no frame measures the one
// the upstream serves.
TEST_F(TablesTest, EachPullMeasuresItsFrameAndTheRowsNameIt) {
    chain = std::make_unique<StatisticChain>(&ui, 4, 2, 1, 3);
    for (int32_t f = 0; f < 3; ++f)
        for (int i = 0; i < 8; ++i) chain->source->At(i % 4, i / 4, 0, f) = 100.0 * f + i + 1;
    chain->item.source.fileName = source;
    shape = std::make_unique<Measured>(kKindRect, kRoleStatistic);
    SetRects(shape.get(), 0, 0, {{0, 0, 4, 2}});
    ASSERT_TRUE(chain->reduction->AddItem(shape->shape));
    struct Step {
        int32_t pulled;
        uint8_t fresh;
        int32_t measured;
        const char* row;
    };
    const Step steps[] = {{2, 1, 2, "0 0 4 2 8 204.5 2.44949 1 3 \n"},
                          {0, 0, 0, "0 0 4 2 8 4.5 2.44949 1 1 \n"},
                          {1, 0, 1, "0 0 4 2 8 104.5 2.44949 1 2 \n"},
                          {-1, 1, 0, "0 0 4 2 8 4.5 2.44949 1 1 \n"}};
    std::string rows;
    for (const Step& s : steps) {
        SCOPED_TRACE(s.pulled);
        ASSERT_EQ(chain->Pull(s.fresh, 0, s.pulled), 5);
        EXPECT_EQ(chain->Block().frame, s.measured);
        EXPECT_EQ(chain->Record().min, 100.0 * s.measured + 1);
        ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatValueTable));
        rows += s.row;
        EXPECT_EQ(ReadText(folder.File("m31_stat.tab")), Header(kStatRows) + rows);
    }
    ASSERT_EQ(chain->Pull(1, 0, 1), 5);
    ASSERT_TRUE(WriteStatisticReport(chain->reduction, folder.File("second.txt").c_str()));
    const std::string report = ReadText(folder.File("second.txt"));
    EXPECT_NE(report.find(std::string("TIME = ") + kTime + "FRAME = 2 \t// the frame measured, counted from 1\n"),
              std::string::npos)
        << report;
    EXPECT_NE(report.find("\nMin = 101\nMax = 108\n"), std::string::npos) << report;
    // A frame the upstream does not have: nothing is measured, and nothing can be added.
    EXPECT_LT(chain->Pull(1, 0, 3), 2);
    EXPECT_FALSE(AddToStatisticTable(chain->reduction, kStatValueTable));
}

TEST_F(TablesTest, ThreeChannelsEndWithAnEmptyLine) {
    chain = std::make_unique<StatisticChain>(&ui, 2, 1, 3);
    const double v[6] = {1, 10, 100, 3, 30, 300};
    std::copy(v, v + 6, chain->source->values.begin());
    shape = std::make_unique<Measured>(kKindRect, kRoleFindArea);
    SetRects(shape.get(), 0, 0, {{0, 0, 2, 1}});
    ASSERT_TRUE(chain->reduction->AddItem(shape->shape));
    ASSERT_EQ(chain->Pull(), 5);
    // No source file: no comment lines, and the table is named by the dialog.
    ScriptedFileDialog scripted;
    ScopedFileDialogBackend backend(&scripted);
    scripted.Push(ScriptedFileDialog::Choose({"three.tab"}, folder.Path()));
    ASSERT_TRUE(SaveStatisticDialog(chain->reduction, kStatValueTable));
    EXPECT_EQ(ReadText(folder.File("three.tab")), std::string(kTableTime) + kStatRows +
                                                       "0 0 2 1 2 2 1 1 1 \n"  // RMS of a pair: half its spread
                                                       "0 0 2 1 2 20 10 2 1 \n"
                                                       "0 0 2 1 2 200 100 3 1 \n"
                                                       "\n");
}

TEST_F(TablesTest, TheReportOfOneChannel) {
    MeasureEight();
    const std::string path = folder.File("report.txt");
    ASSERT_TRUE(WriteStatisticReport(chain->reduction, path.c_str()));
    const std::string want =
        "// Statistics of data from 'm31.fits' \n\nURL = <" + source + ">\nTIME = " + kTime +
        "FRAME = 1 \t// the frame measured, counted from 1\n"
        "//-----------------------\n"
        "\nNpro = 8\n"
        "BOX = (0, 0), (4, 2), 4 x 2 \t// (Xmin,Ymin) (Xmax,Ymax) (W, H) \n"
        "BorderBkgr = 0\n"
        "\nMin = 1\nMax = 8\nRange = 7\nFlux = 36\n"
        "\nMedian = 4.5\nMode = 4.5\n"
        "Mean = 4.5  \t\t// m[1], m[k] = S(x[i]^k)/N, - k-th moment \n\n"
        "m[1] = 4.5\nm[2] = 25.5\nm[3] = 162\nm[4] = 1096.5\n"
        "\nM[2] = 5.25 \t\t// M[k]=S((x[i] - Mean)^k)/N \n"
        "M[2] = 5.25\nM[3] = 0\nM[4] = 48.5625\n"
        "\nDispersion = 6 \t//M[2]*(N/(N-1)\n"
        "RMS = 2.4494897427832 \t\t\t// Std Deviation = sqrt(Dispersion)\n"
        "DeviationUnbiased = 2.5382592061167 \t//RMS Unbiased = k[N] * sqrt(Dispersion), k[N] = sqrt((N-1)/2) * "
        "gamma((N-1)/2)/gamma(N/2), - \xF1orrection for unbiased deviation \n"
        "RVar = 0.56405760135927 \t\t\t// relative, (RMS/Mean) \n"
        "\nSkewness = 0\n"
        "SkewnessDeviation = 0.65133894727893\nSkewnessDeviationUnbiased = 0.75210143309035\n"
        "\nKurtosis = -1.2380952380952\nKurtosisUnbiased = -1.2\n"
        "KurtosisDeviation = 0.90666151773933\nKurtosisDeviationUnbiased = 1.4808804789742\n"
        "\nFWHM = 1.60\n"
        "BkgrThreshold = 7.0382592061167 \t// for calc FWHM \n"
        "XY = (3.000, 1.000) \t// Centre coord\n"
        "Xsig = 0.00\nYsig = 0.00\nXYsig = 0.00\nXskew = 0.00\nYskew = 0.00\n"
        "// Probably gauss 100\n";
    EXPECT_EQ(ReadText(path), want);
    // The one byte above 127 is the Windows-1251 es, never UTF-8.
    const std::string text = ReadText(path);
    EXPECT_EQ(std::count_if(text.begin(), text.end(), [](char c) { return static_cast<unsigned char>(c) > 127; }), 1);
    EXPECT_NE(text.find('\xF1'), std::string::npos);
}

TEST_F(TablesTest, SectionsAndLinesThatAreLeftOut) {
    // Two channels of three hold values, the second is NaN under the mask; the pair of
    // values makes the unbiased skewness and kurtosis markers.
    chain = std::make_unique<StatisticChain>(&ui, 2, 1, 3);
    const double v[6] = {1, std::nan(""), 5, 3, std::nan(""), 5};
    std::copy(v, v + 6, chain->source->values.begin());
    chain->item.source.fileName = source;
    shape = std::make_unique<Measured>(kKindRect, kRoleStatistic);
    SetRects(shape.get(), 0, 0, {{0, 0, 2, 1}}, {{0, 0, 2, 1}});
    ASSERT_TRUE(chain->reduction->AddItem(shape->shape));
    ASSERT_EQ(chain->Pull(), 5);
    ASSERT_EQ(chain->Record(1).npro, 0u);
    const std::string path = folder.File("sections.txt");
    ASSERT_TRUE(WriteStatisticReport(chain->reduction, path.c_str()));
    const std::string text = ReadText(path);
    EXPECT_NE(text.find("\nNChannel = 1\n"), std::string::npos);
    EXPECT_EQ(text.find("\nNChannel = 2\n"), std::string::npos);
    EXPECT_NE(text.find("\nNChannel = 3\n"), std::string::npos);
    size_t sections = 0;
    for (size_t at = text.find("//-----------------------\n"); at != std::string::npos;
         at = text.find("//-----------------------\n", at + 1))
        ++sections;
    EXPECT_EQ(sections, 2u);
    // Channel 1 {1, 3}: RMS = DeviationUnbiased = 1, one line; no unbiased skewness or kurtosis.
    EXPECT_NE(text.find("RMS = 1 \t\t\t//"), std::string::npos);
    EXPECT_EQ(text.find("DeviationUnbiased = "), std::string::npos);
    EXPECT_EQ(text.find("SkewnessUnbiased = "), std::string::npos);
    EXPECT_EQ(text.find("KurtosisUnbiased = "), std::string::npos);
    EXPECT_NE(text.find("NproBkgr = 2\n"), std::string::npos);
    EXPECT_NE(text.find("FluxMinusFluxBkgr = 0\nFluxBkgr = 4\n\nBkgr = 2\nRMSBkgr = 1\n"), std::string::npos);
    // Channel 3 {5, 5} within the histogram of 1..5: its mode is the bin of 5.
    const size_t third = text.find("\nNChannel = 3\n");
    EXPECT_NE(text.find("\nMedian = 5\nMode = 5\n", third), std::string::npos);
}

TEST_F(TablesTest, NothingToSaveForASliceOrAnEmptyBlock) {
    MeasureEight();
    const std::string path = folder.File("none.txt");
    chain->reduction->Statistic()->filled = 0;
    EXPECT_FALSE(WriteStatisticReport(chain->reduction, path.c_str()));
    EXPECT_FALSE(testing_util::Exists(path));
    EXPECT_EQ(StatusTexts(), std::vector<std::string>{kStatisticEmptyText});
    EXPECT_FALSE(AddToStatisticTable(chain->reduction, kStatValueTable));
    EXPECT_FALSE(testing_util::Exists(folder.File("m31_stat.tab")));
    ASSERT_EQ(chain->Pull(), 5);
    Measured slice(kKindLine, kRoleSlice);
    slice.Path(3);
    ASSERT_TRUE(chain->reduction->AddItem(slice.shape));
    chain->reduction->Statistic()->filled = 1;
    StatusTexts().clear();
    EXPECT_FALSE(WriteStatisticReport(chain->reduction, path.c_str()));
    EXPECT_EQ(StatusTexts(), std::vector<std::string>{kStatisticEmptyText});
    ScriptedFileDialog scripted;
    ScopedFileDialogBackend backend(&scripted);
    EXPECT_FALSE(SaveStatisticDialog(chain->reduction, kStatReport));
    EXPECT_TRUE(scripted.Requests().empty());  // no dialog without a statistic
}

TEST_F(TablesTest, AWriteThatCannotOpenItsFileIsReported) {
    MeasureEight();
    const std::string missing = folder.File("no/such/folder/r.txt");
    std::string log = testing_util::CapturedLog([&] { EXPECT_FALSE(WriteStatisticReport(chain->reduction, missing.c_str())); });
    EXPECT_NE(log.find("write " + missing + ": there is no file access"), std::string::npos) << log;
    EXPECT_EQ(StatusTexts(), std::vector<std::string>{"Can`t save statistic to file '" + missing + "'"});
    // A table that cannot be opened: logged, nothing on the status line.
    StatusTexts().clear();
    chain->reduction->tableWriters[kStatValueTable] = nullptr;
    ASSERT_TRUE(OpenStatTableForSource(chain->reduction));
    ASSERT_TRUE(chain->reduction->tableWriters[kStatValueTable]->SetPath(missing.c_str(), kDiskAppend));
    log = testing_util::CapturedLog([&] { EXPECT_FALSE(AddToStatisticTable(chain->reduction, kStatValueTable)); });
    EXPECT_NE(log.find("write " + missing + ": there is no file access"), std::string::npos) << log;
    EXPECT_TRUE(StatusTexts().empty());
}

TEST_F(TablesTest, TheDialogsTitlesAndNames) {
    MeasureEight();
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatCoordTable), folder.File("m31_crd.tab"));
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatValueTable), folder.File("m31_stat.tab"));
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatReport), folder.File("m31_stat_t.txt"));
    ScriptedFileDialog scripted;
    ScopedFileDialogBackend backend(&scripted);
    scripted.Push(ScriptedFileDialog::Choose({"c.tab"}, folder.Path()));
    scripted.Push(ScriptedFileDialog::Choose({"s.tab"}, folder.Path()));
    scripted.Push(ScriptedFileDialog::Choose({"r.txt"}, folder.Path()));
    ASSERT_TRUE(SaveStatisticDialog(chain->reduction, kStatCoordTable));
    ASSERT_TRUE(SaveStatisticDialog(chain->reduction, kStatValueTable));
    ASSERT_TRUE(SaveStatisticDialog(chain->reduction, kStatReport));
    ASSERT_EQ(scripted.Requests().size(), 3u);
    const std::vector<ScriptedFileDialog::Record>& r = scripted.Requests();
    EXPECT_EQ(std::tuple(r[0].title, r[1].title, r[2].title),
              std::tuple("Add to Statistic Coord Table", "Add to Statistic Table", "Save Statistic"));
    for (const auto& record : r) {
        EXPECT_TRUE(record.save);
        EXPECT_EQ(record.folder, folder.Path());  // where the source file lies
    }
    EXPECT_EQ(r[0].filters, (std::vector<FileFilterEntry>{{"Text [tab]", "*.tab"}}));
    EXPECT_EQ(r[2].filters, (std::vector<FileFilterEntry>{{"Text", "*.txt"}}));
    EXPECT_EQ(std::tuple(r[0].defaultExtension, r[2].defaultExtension), std::tuple("tab", "txt"));
    EXPECT_EQ(ReadText(folder.File("c.tab")), Header(kCoordRows) + kEightCoordRow);
    EXPECT_EQ(ReadText(folder.File("s.tab")), Header(kStatRows) + kEightStatRow);
    EXPECT_EQ(ReadText(folder.File("r.txt")).substr(0, 38), "// Statistics of data from 'm31.fits' ");
    // The names chosen are proposed next in the run; "Add to Table" writes to the chosen table.
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatValueTable), folder.File("s.tab"));
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatValueTable));
    EXPECT_EQ(ReadText(folder.File("s.tab")), Header(kStatRows) + kEightStatRow + kEightStatRow);
    // A cancelled dialog writes nothing.
    EXPECT_FALSE(SaveStatisticDialog(chain->reduction, kStatReport));

    // Without a source file the default names stand alone.
    ResetStatisticDialogPaths();
    chain->item.source.fileName.clear();
    CloseStatisticTables(chain->reduction);
    delete chain->reduction->tableWriters[kStatCoordTable];
    chain->reduction->tableWriters[kStatCoordTable] = nullptr;
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatCoordTable), "coord.tab");
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatReport), "statistic_t.txt");
    EXPECT_EQ(StatisticDialogDefaultPath(chain->reduction, kStatValueTable), folder.File("s.tab"));  // its writer's
    EXPECT_FALSE(OpenCoordTableForSource(chain->reduction));
}

TEST_F(TablesTest, AConstantRegionAfterAStarLeavesNoSpreadInItsRow) {
    chain = std::make_unique<StatisticChain>(&ui, 60, 60);
    for (int y = 0; y < 60; ++y)
        for (int x = 0; x < 60; ++x)
            chain->source->At(x, y) = 500 * std::exp(-((x - 30.0) * (x - 30.0) + (y - 25.0) * (y - 25.0)) / 18);
    for (int x = 0; x < 5; ++x) chain->source->At(x, 59) = 2.0;
    chain->item.source.fileName = source;
    Measured star(kKindRect, kRoleStatistic), flat(kKindRect, kRoleStatistic);
    SetRects(&star, 0, 0, {{10, 5, 51, 46}});
    SetRects(&flat, 0, 0, {{0, 59, 5, 60}});
    ASSERT_TRUE(chain->reduction->AddItem(star.shape));
    ASSERT_EQ(chain->Pull(), 5);
    ASSERT_TRUE(chain->reduction->AddItem(flat.shape));
    ASSERT_EQ(chain->Pull(), 5);
    ASSERT_TRUE(AddToStatisticTable(chain->reduction, kStatCoordTable));
    EXPECT_EQ(ReadText(folder.File("m31_crd.tab")),
              Header(kCoordRows) + "0 59  5 60  2.500 59.500  10  0  0.000  0.000 0.000 0.000  0.000 0.000  2 2  10  5  1  1  \n");
    ASSERT_TRUE(WriteStatisticReport(chain->reduction, folder.File("flat.txt").c_str()));
    const std::string text = ReadText(folder.File("flat.txt"));
    EXPECT_NE(text.find("\nFWHM = 0.00\nBkgrThreshold = 2 \t// for calc FWHM \nXY = (2.500, 59.500) \t// Centre coord\n"
                        "Xsig = 0.00\nYsig = 0.00\nXYsig = 0.00\nXskew = 0.00\nYskew = 0.00\n"),
              std::string::npos)
        << text;
    EXPECT_EQ(text.find("Probably gauss"), std::string::npos);
    EXPECT_EQ(text.find("Mode = "), std::string::npos);  // one bin: no mode
}

}  // namespace
}  // namespace orva
