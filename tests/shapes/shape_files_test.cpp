#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <cstring>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "common/paths.h"
#include "shape_test_support.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/shape_files.h"
#include "test_support.h"

namespace orva {
namespace {

using shape_testing::ContainerTest;
using shape_testing::StatusRecorder;
using shape_testing::TestItem;
using testing_util::CapturedLog;
using testing_util::Exists;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

void FixedClock(char* buffer) { std::strcpy(buffer, "Mon Dec  7 12:00:00 2026\n"); }

// The blocks a reader hands on, as read.
class BlockRecorder : public ShapeFileReader {
public:
    struct Block {
        std::string object;  // the object tag before the normalisation
        int32_t kind;
        int32_t role;
        uint32_t components;
        std::vector<float> values;
    };
    BlockRecorder() { multiObject = true; }
    bool CommitObject() override {
        const AnchorBuffer& b = record.header.anchors;
        const auto* v = static_cast<const float*>(b.data);
        blocksRead.push_back(Block{blockObject, record.header.kind, record.header.role, b.elementsPerItem,
                                   std::vector<float>(v, v + static_cast<size_t>(b.Count()) * b.elementsPerItem)});
        return true;
    }
    std::vector<Block> blocksRead;
};

class ShapeFilesTest : public ContainerTest {
protected:
    ShapeFilesTest() {
        SetShapeFileClock(&FixedClock);
        view.sourcePath = "/data/m31.fits";
    }
    ~ShapeFilesTest() override {
        SetShapeFileClock(nullptr);
        SetDriveStatusQuery(nullptr);
    }
    // A shape with the procedures of its kind and role, and an aperture of the width.
    Shape* Make(int32_t kind, std::initializer_list<float> xy, int32_t role, uint32_t width = 5) {
        Shape* s = Add(kind, xy, role);
        s->header.offset.Reset();
        Shape::SetOffsetAperture(&s->header.offset, width, -1);
        s->SetupKindProcs(nullptr, nullptr);
        s->ResetPivot(kUpdateFull);
        return s;
    }
    std::string File(const char* name) const { return folder.File(name); }

    TempFolder folder;
    StatusRecorder status;
};

const char kRectHeader[] =
    ";COMMENT='shape of data from \"m31.fits\"'\n"
    ";URL=</data/m31.fits>\n"
    ";TIME=Mon Dec  7 12:00:00 2026\n"
    "\n"
    ";COMMENT2=\"Mask-Polygon-Statistic\"\n"
    ";SHAPEROLE='Statistic'\n"
    ";SHAPETYPE='Rect'\n"
    ";OFFSETEDITFLAG=2\n"
    ";OFFSETAPERTURE=4\n"
    ";OFFSETDIRECTION='CNRM'\n"
    ";SUBPIX=1\n";

TEST_F(ShapeFilesTest, RectAsDataAndAnchorFile) {
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    const std::string data = File("rect_msk.txt");
    ASSERT_TRUE(SaveShapeFile(rect, data.c_str(), 0, kRoleUnset, true));
    EXPECT_EQ(ReadText(data), std::string(kRectHeader) +
                                  ";COBJ='REGION'\nCDATA='RECT'\n;NAXIS=2\nRECT=0, 0, 10, 20\n\n;#data\n"
                                  "0 0 10 20\n;#end\n\n");
    ASSERT_EQ(StatusRecorder::texts().size(), 1u);
    EXPECT_EQ(StatusRecorder::texts()[0], "Save shape");
    EXPECT_EQ(StatusRecorder::codes()[0], -2);
    EXPECT_STREQ(rect->dataFileName, data.c_str());

    const std::string anchors = File("rect.msk");
    ASSERT_TRUE(SaveShapeFile(rect, anchors.c_str(), 1, kRoleUnset, false));
    EXPECT_EQ(ReadText(anchors),
              std::string(kRectHeader) + ";COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n10 10\n20 30\n;#end\n\n");
    EXPECT_STREQ(rect->maskFileName, anchors.c_str());
    // Only the temporary copies' targets are left.
    EXPECT_EQ(folder.Files().size(), 2u);
}

TEST_F(ShapeFilesTest, PointSliceAndReferencePoint) {
    view.sourcePath.clear();
    Shape* point = Make(kKindPoint, {3.5f, -2.25f}, kRoleRefPoint);
    const std::string p = File("p.txt");
    ASSERT_TRUE(SaveShapeFile(point, p.c_str(), 0, kRoleUnset, false));
    EXPECT_EQ(ReadText(p),
              ";TIME=Mon Dec  7 12:00:00 2026\n\n;COMMENT2=\"RefPoint(s)-RefPoint(s)-Gauge\"\n"
              ";SHAPEROLE='RefPoint'\n;SHAPETYPE='Point'\n;SUBPIX=1\n"
              ";COBJ='REFPOINT'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n3.5 -2.25\n;#end\n\n");

    Shape* slice = Make(kKindPolyLine, {0, 0, 40, 0, 40, 30}, kRoleSlice, 11);
    ASSERT_GT(slice->derived.outline.Count(), 3u);
    const std::string s = File("slice_msk.txt");
    ASSERT_TRUE(SaveShapeFile(slice, s.c_str(), 0, kRoleUnset, false));
    const std::string text = ReadText(s);
    EXPECT_NE(text.find(";COMMENT2=\"Mask-Curve-Slice\"\n;SHAPEROLE='Slice'\n;SHAPETYPE='PolyLine'\n"
                        ";OFFSETEDITFLAG=2\n;OFFSETAPERTURE=10, 6, 5\n;OFFSETDIRECTION='CNRM'\n;SUBPIX=1\n"
                        ";COBJ='SHAPE'\nCDATA='POINT'\n;NAXIS=2\n\n;#data\n"),
              std::string::npos)
        << text;
    // The outline rows read back exactly.
    BlockRecorder reader;
    ASSERT_TRUE(reader.LoadFile(s.c_str()));
    ASSERT_EQ(reader.blocksRead.size(), 1u);
    EXPECT_EQ(reader.blocksRead[0].object, "SHAPE");
    const AnchorBuffer& outline = slice->derived.outline;
    ASSERT_EQ(reader.blocksRead[0].values.size(), 2u * outline.Count());
    EXPECT_EQ(std::memcmp(reader.blocksRead[0].values.data(), outline.Points(), 8u * outline.Count()), 0);

    // The reference point of a statistic shape, written with every digit it needs.
    Shape* stat = Make(kKindRect, {0, 0, 80, 30}, kRoleStatistic);
    stat->statMark.centreX = 40.25;
    stat->statMark.centreY = 12.5;
    const std::string r = File("stat.rep");
    ASSERT_TRUE(SaveShapeFile(stat, r.c_str(), 0, 1, false));
    EXPECT_NE(ReadText(r).find(";COMMENT2=\"RefPoint(s)-Polygon-Statistic\"\n"), std::string::npos);
    EXPECT_NE(ReadText(r).find(";COBJ='REFPOINT'\nCDATA='POINT'\n;NAXIS=2\n\n;#data\n40.25 12.5\n;#end\n\n"),
              std::string::npos);
    stat->statMark.centreX = 0.1;
    stat->statMark.centreY = 1.0 / 3.0;
    ASSERT_TRUE(SaveShapeFile(stat, r.c_str(), 0, 1, false));
    EXPECT_NE(ReadText(r).find("\n0.10000000000000001 0.33333333333333331\n"), std::string::npos);
}

TEST_F(ShapeFilesTest, SaveFailures) {
    // Nothing to save.
    Shape* empty = CreateShape(kKindRect);
    ShapeRef hold(empty);
    EXPECT_FALSE(SaveShapeFile(empty, File("e.msk").c_str(), 1, kRoleUnset, true));
    EXPECT_EQ(StatusRecorder::texts(), std::vector<std::string>{"Mask - empty"});
    EXPECT_EQ(StatusRecorder::codes(), std::vector<int>{-3});
    StatusRecorder::texts().clear();

    // Reference points of a slice, and of a statistic shape without one.
    Shape* slice = Make(kKindLine, {0, 0, 10, 10}, kRoleSlice);
    Shape* stat = Make(kKindRect, {0, 0, 10, 10}, kRoleStatistic);
    for (Shape* s : {slice, stat}) {
        const std::string path = File("x.rep");
        std::string log = CapturedLog([&] { EXPECT_FALSE(SaveShapeFile(s, path.c_str(), 0, 1, true)); });
        ASSERT_EQ(StatusRecorder::texts().size(), 1u);
        EXPECT_EQ(StatusRecorder::texts()[0], "Can`t save to file '" + path + "'");
        EXPECT_NE(log.find("write " + path + ": there is no file access"), std::string::npos) << log;
        EXPECT_FALSE(Exists(path));
        StatusRecorder::texts().clear();
    }
    EXPECT_TRUE(folder.Files().empty());

    // A folder that does not exist, and a file system that takes no writes.
    const std::string missing = folder.Path() + "/none/r.msk";
    std::string log = CapturedLog([&] { EXPECT_FALSE(SaveShapeFile(stat, missing.c_str(), 1, kRoleUnset, false)); });
    EXPECT_NE(log.find("write " + missing + ": there is no file access"), std::string::npos) << log;
    SetDriveStatusQuery([](const char*, DriveStatus* out) {
        out->readOnly = true;
        out->freeBlocksForCaller = 100;
        return true;
    });
    const std::string ro = File("ro.msk");
    log = CapturedLog([&] { EXPECT_FALSE(SaveShapeFile(stat, ro.c_str(), 1, kRoleUnset, false)); });
    EXPECT_NE(log.find("write " + ro + ": there is no file access"), std::string::npos) << log;
    SetDriveStatusQuery(nullptr);
    EXPECT_TRUE(folder.Files().empty());
    if (::geteuid() != 0) {
        const std::string locked = folder.Path() + "/locked";
        ASSERT_EQ(::mkdir(locked.c_str(), 0555), 0);
        const std::string target = locked + "/r.msk";
        log = CapturedLog([&] { EXPECT_FALSE(SaveShapeFile(stat, target.c_str(), 1, kRoleUnset, false)); });
        EXPECT_NE(log.find("write " + target + ": there is no file access"), std::string::npos) << log;
        ::chmod(locked.c_str(), 0755);
        EXPECT_TRUE(folder.Files() == std::vector<std::string>{"locked"});
    }
}

TEST_F(ShapeFilesTest, DefaultNames) {
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    rect->serial = 7;
    char name[kPathMax];
    struct Case {
        int32_t form;
        int32_t ref;
        const char* expected;
    };
    for (const Case& c : {Case{1, kRoleUnset, "/data/m31_Rect_7.msk"}, Case{0, kRoleUnset, "/data/m31_Rect_7_msk.txt"},
                          Case{0, 1, "/data/m31_Rect_7.rep"}, Case{1, 1, "/data/m31_Rect_7.rep"}}) {
        EXPECT_TRUE(DefaultShapeFileName(rect, name, nullptr, false, c.form, c.ref));
        EXPECT_STREQ(name, c.expected);
    }
    // A base of its own keeps its extension unless the type's is asked for.
    EXPECT_TRUE(DefaultShapeFileName(rect, name, "/t/mask.msk", false, 0, kRoleUnset));
    EXPECT_STREQ(name, "/t/mask_Rect_7.msk");
    EXPECT_TRUE(DefaultShapeFileName(rect, name, "/t/mask.msk", true, 0, kRoleUnset));
    EXPECT_STREQ(name, "/t/mask_Rect_7_msk.txt");
    // Without a data file the suffix alone; names that cannot be made fall back.
    view.sourcePath.clear();
    EXPECT_TRUE(DefaultShapeFileName(rect, name, nullptr, false, 1, kRoleUnset));
    EXPECT_STREQ(name, "_Rect_7.msk");
    EXPECT_FALSE(DefaultShapeFileName(rect, name, "|pipe", true, 0, kRoleUnset));
    EXPECT_STREQ(name, "nonamemsk.txt");
    const std::string longBase = "/" + std::string(kPathMax - 12, 'a') + ".fits";
    EXPECT_FALSE(DefaultShapeFileName(rect, name, longBase.c_str(), true, 1, kRoleUnset));
    EXPECT_STREQ(name, (longBase.substr(0, longBase.size() - 5) + ".msk").c_str());
}

TEST_F(ShapeFilesTest, SaveDialog) {
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend use(&dialog);
    view.sourcePath = File("m31.fits");
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    rect->serial = 7;
    dialog.Push(ScriptedFileDialog::Choose({File("chosen_msk.txt")}, "", 4));
    ASSERT_TRUE(SaveShapeAs(rect, 0, kRoleUnset));
    EXPECT_TRUE(Exists(File("chosen_msk.txt")));
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(SaveShapeAs(rect, 0, kRoleUnset));
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(SaveShapeAs(rect, 1, kRoleUnset));
    dialog.Push(ScriptedFileDialog::Cancel());
    EXPECT_FALSE(SaveShapeAs(rect, 0, 1));
    const auto& r = dialog.Requests();
    ASSERT_EQ(r.size(), 4u);
    EXPECT_EQ(r[0].title, "Save Mask Data 'Rect' As...");
    EXPECT_EQ(r[0].folder, folder.Path());
    EXPECT_EQ(r[0].filterIndex, 3);
    EXPECT_TRUE(r[0].save);
    EXPECT_EQ(r[0].flags & 0xC02u, 0xC02u);
    EXPECT_EQ(r[0].defaultExtension, "msk");
    const std::vector<FileFilterEntry> filters = {
        {"Text [*.msk]", "*.msk"}, {"Text [*.rep]", "*.rep"}, {"Text [*.txt]", "*.txt"}, {"All", "*.*"}};
    EXPECT_EQ(r[0].filters, filters);
    // The next data-file dialog offers the filter chosen last.
    EXPECT_EQ(r[1].filterIndex, 4);
    EXPECT_EQ(r[2].title, "Save Mask  'Rect' As...");
    EXPECT_EQ(r[2].filterIndex, 1);
    EXPECT_EQ(r[3].title, "Save Reference point  'Rect' As...");
    EXPECT_EQ(r[3].filterIndex, 2);
    // Nothing to save: no dialog.
    Shape* empty = CreateShape(kKindRect);
    ShapeRef hold(empty);
    EXPECT_FALSE(SaveShapeAs(empty, 0, kRoleUnset));
    EXPECT_EQ(dialog.Requests().size(), 4u);
}

// ---- Reading -----------------------------------------------------------------------------------

TEST_F(ShapeFilesTest, AnchorFilesReadBackExactly) {
    // Values that a short decimal form would not give back; the large ones in a short line
    // far out (a shape millions of pixels across is scanned at every load).
    Shape* poly = Make(kKindPolygon, {1.1f, 2.7182817f, 1e-7f, 30.000002f, -0.333333343f, 17.0f, 8.5f, 9.25f},
                       kRoleStatistic, 7);
    poly->SetOffsetDirection(kOffsetAxis);
    poly->header.subpix = 3;
    Shape* line = Make(kKindPolyLine, {3.0e6f, 0.2f, 3000030.8f, 4.4f, 3000060.2f, -20.9f}, kRoleSlice, 9);
    line->header.offset.direction = kOffsetFree;
    line->header.offset.vector[0] = 0.6f;
    line->header.offset.vector[1] = -0.8f;
    for (Shape* s : {poly, line}) {
        const std::string path = File("a.msk");
        ASSERT_TRUE(SaveShapeFile(s, path.c_str(), 1, kRoleUnset, false));
        const std::string text = ReadText(path);
        std::string crlf, cr;
        for (char c : text) {
            crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
            cr += c == '\n' ? '\r' : c;
        }
        WriteText(File("crlf.msk"), crlf);
        WriteText(File("cr.msk"), cr);
        for (const std::string& copy : {path, File("crlf.msk"), File("cr.msk")}) {
            Shape* made = nullptr;
            ASSERT_TRUE(LoadShapeFile(nullptr, copy.c_str(), false, &made)) << copy;
            ShapeRef hold(made);
            EXPECT_EQ(made->refCount.load(), 1u);
            EXPECT_STREQ(made->maskFileName, copy.c_str());
            const ShapeHeader& a = s->header;
            const ShapeHeader& b = made->header;
            EXPECT_EQ(b.kind, a.kind);
            EXPECT_EQ(b.role, a.role);
            EXPECT_EQ(b.offset.aperture[0], a.offset.aperture[0]);
            if (s == line) {
                EXPECT_EQ(b.offset.aperture[1], a.offset.aperture[1]);
                EXPECT_EQ(b.offset.aperture[2], a.offset.aperture[2]);
                EXPECT_EQ(std::memcmp(b.offset.vector, a.offset.vector, sizeof a.offset.vector), 0);
            }
            EXPECT_EQ(b.offset.direction, a.offset.direction);
            EXPECT_EQ(b.subpix, a.subpix);
            ASSERT_EQ(b.anchors.Count(), a.anchors.Count());
            EXPECT_EQ(std::memcmp(b.anchors.Points(), a.anchors.Points(), 8u * a.anchors.Count()), 0);
            // The parse log beside the file tells what was read, and nothing else.
            EXPECT_EQ(ReadText(copy + ".log"), "'" + copy + "': 1 shape(s) read\n");
        }
    }
}

TEST_F(ShapeFilesTest, LoadIntoShapeOfContainer) {
    Shape* target = Make(kKindRect, {0, 0, 5, 5}, kRoleStatistic);
    const uint32_t steps = box.undo.count;
    const std::string path = File("p.msk");
    WriteText(path, ";SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n;SUBPIX=2\n;#data\n0 0\n10 0\n5 8\n;#end\n");
    ASSERT_TRUE(LoadShapeFile(target, path.c_str(), false));
    EXPECT_EQ(target->header.kind, kKindPolygon);
    EXPECT_EQ(target->header.anchors.Count(), 3u);
    EXPECT_EQ(target->header.subpix, 2);
    EXPECT_DOUBLE_EQ(target->header.box.w, 10.0);
    EXPECT_GT(target->derived.mask.count, 0u);
    EXPECT_EQ(box.undo.count, steps + 1);
    EXPECT_STREQ(target->maskFileName, path.c_str());
    // A kept name is not remembered.
    std::free(target->maskFileName);
    target->maskFileName = nullptr;
    ASSERT_TRUE(LoadShapeFile(target, path.c_str(), true));
    EXPECT_EQ(target->maskFileName, nullptr);
}

// `n` rows of points spread over a 400 x 300 frame.
std::string ManyRows(int n) {
    std::string text;
    text.reserve(static_cast<size_t>(n) * 12);
    char row[32];
    for (int64_t i = 0; i < n; ++i) {
        std::snprintf(row, sizeof row, "%d %d\n", static_cast<int>(i * 7919 % 400), static_cast<int>(i * 104729 % 300));
        text += row;
    }
    return text;
}

// A file the loader refuses leaves the rectangle it was loaded into as it was, records
// no undo step and says why, with the file's name on the status line and its path in
// the parse log.
TEST_F(ShapeFilesTest, RefusedFilesLeaveTheShape) {
    const std::string rows = ";COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n0 0\n10 0\n5 8\n;#end\n\n";
    const std::string stamp = ";TIME=Mon Dec  7 12:00:00 2026\n\n;SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n";
    struct Case {
        const char* name;
        std::string text;
        const char* why;  // nullptr: the file cannot be read
    };
    const std::vector<Case> cases = {
        {"unknown kind", ";SHAPEROLE='Statistic'\n;SHAPETYPE='Hexagon'\n" + rows,
         "line 2 refused: SHAPETYPE='Hexagon'"},
        {"open quote", ";SHAPETYPE='Polygon\n" + rows, "line 1 refused: SHAPETYPE='Polygon"},
        {"kind without value", ";SHAPETYPE 'Polygon'\n" + rows, "line 1 refused: SHAPETYPE 'Polygon'"},
        {"unknown role", ";SHAPEROLE='Boss'\n;SHAPETYPE='Polygon'\n" + rows, "line 1 refused: SHAPEROLE='Boss'"},
        {"alias, second key", ";SHAPEROLE='Statistic'; SHAPE=<Hex>\n" + rows, "line 1 refused: SHAPE=<Hex>"},
        {"bad aperture", ";SHAPETYPE='Polygon'\n;OFFSETAPERTURE=-3\n" + rows, "line 2 refused: OFFSETAPERTURE=-3"},
        {"bad SUBPIX", ";SHAPETYPE='Polygon'\n;SUBPIX=z\n" + rows, "line 2 refused: SUBPIX=z"},
        {"SUBPIX too large", stamp + ";SUBPIX=1000000\n" + rows, "SUBPIX 1000000 outside 1..64"},
        {"SUBPIX one above", stamp + ";SUBPIX=65\n" + rows, "SUBPIX 65 outside 1..64"},
        {"SUBPIX zero", stamp + ";SUBPIX=0\n" + rows, "SUBPIX 0 outside 1..64"},
        {"SUBPIX negative", stamp + ";SUBPIX=-2\n" + rows, "SUBPIX -2 outside 1..64"},
        {"cut in the rows", stamp + rows.substr(0, rows.find("5 8")), "cut short at line 11"},
        {"cut in a row", stamp + rows.substr(0, rows.find("5 8") + 2), "cut short at line 12"},
        {"rows but one", stamp + ";SHAPETYPE='Rect'\n;#data\n4 4\n;#end\n", "a Rect takes 2 points, the block gives 1"},
        {"no rows", stamp, "empty"},
        {"mask data", ";COBJ='REGION'\nCDATA='RECT'\n;NAXIS=2\n;#data\n0 0 10 20\n;#end\n",
         "mask data, no anchor points"},
        {"outline data", ";COBJ='SHAPE'\nCDATA='POINT'\n;NAXIS=2\n;#data\n0 0\n5 5\n;#end\n",
         "mask data, no anchor points"},
        {"bad line", ";SHAPETYPE='Polygon'\n;#data\n0 0\n\x01\n", "not a shape file: line 4 holds control bytes"},
        {"random bytes", std::string("\x7f" "ELF\x02\x01\x01\x00\x00\x93\xfe", 12),
         "not a shape file: line 1 holds control bytes"},
        {"a line of 2 MB", stamp + std::string(2 << 20, '7') + "\n" + rows,
         "not a shape file: line 5 is longer than 1048576 bytes"},
        {"far beyond", stamp + ";#data\n0 0\n1e30 0\n5 -1e30\n;#end\n", "line 7 refused (beyond 1e9): 1e30 0"},
        // The bound holds for the numbers as written: 1000000001 is 1e9 as a float.
        {"a point just beyond", stamp + ";#data\n0 0\n1000000001 5\n10 0\n;#end\n",
         "line 7 refused (beyond 1e9): 1000000001 5"},
        {"an offset just beyond", ";SHAPETYPE='PolyLine'\n;OFFSETVECTOR=0.6, -1000000001\n" + rows,
         "line 2 refused: OFFSETVECTOR=0.6, -1000000001"},
        // A long row is quoted by whole fields.
        {"a long row", ";SHAPETYPE='Polygon'\n;#data\nnan 2000000 3000000 4000000 5000000 6000000 7000000\n",
         "no shape taken: line 3 skipped (not a finite number): nan 2000000 3000000 4000000 5000000 ..."},
        {"not a number", stamp + ";#data\n0 0\n10 0\nnan 8\n;#end\n",
         "a Polygon takes 3 points, the block gives 2; line 8 skipped (not a finite number): nan 8"},
        // Hostile files: each refusal names its reason and the line the parse log names.
        {"nan nan", stamp + ";#data\n0 0\n10 0\nnan nan\n;#end\n",
         "a Polygon takes 3 points, the block gives 2; line 8 skipped (not a finite number): nan nan"},
        {"1e300", stamp + ";#data\n0 0\n1e300 5\n10 0\n;#end\n",
         "a Polygon takes 3 points, the block gives 2; line 7 skipped (beyond 32-bit range): 1e300 5"},
        {"a truncated row", stamp + ";#data\n0 0\n10 0\n5\n;#end\n",
         "a Polygon takes 3 points, the block gives 2; line 8 skipped (fewer than 2 columns): 5"},
        {"only damaged rows", ";SHAPETYPE='Polygon'\n;#data\nnan nan\n-inf 1\n", "no shape taken: line 3 skipped (not a finite number): nan nan"},
        {"a million points", stamp + ";#data\n" + ManyRows(1000000) + ";#end\n",
         "1000000 points in a block, more than the 50000 a shape may have"},
        {"an offset 10^12 off", ";SHAPETYPE='PolyLine'\n;OFFSETVECTOR=0.6, -0.800E000012\n" + rows,
         "line 2 refused: OFFSETVECTOR=0.6, -0.800E000012"},
        {"an offset not a number", ";SHAPETYPE='PolyLine'\n;OFFSETVECTOR=nan, 1\n" + rows,
         "line 2 refused: OFFSETVECTOR=nan, 1"},
        {"an aperture beyond its bound", ";SHAPETYPE='PolyLine'\n;OFFSETAPERTURE=1, 1, 131073\n" + rows,
         "line 2 refused: OFFSETAPERTURE=1, 1, 131073"},
        {"a folder", "", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
        const std::vector<float> before(rect->header.anchors.Points(), rect->header.anchors.Points() + 4);
        const uint32_t steps = box.undo.count;
        std::string path = File("in.msk");
        if (c.why == nullptr) {
            path = File("folder.msk");
            ::mkdir(path.c_str(), 0755);
        } else {
            WriteText(path, c.text);
        }
        StatusRecorder::texts().clear();
        std::string log = CapturedLog([&] { EXPECT_FALSE(LoadShapeFile(rect, path.c_str(), false)); });
        EXPECT_EQ(rect->header.kind, kKindRect);
        EXPECT_EQ(rect->header.role, kRoleStatistic);
        EXPECT_EQ(rect->header.subpix, 1);
        ASSERT_EQ(rect->header.anchors.Count(), 2u);
        EXPECT_EQ(std::vector<float>(rect->header.anchors.Points(), rect->header.anchors.Points() + 4), before);
        EXPECT_EQ(box.undo.count, steps);
        EXPECT_EQ(rect->maskFileName, nullptr);
        const std::string why = c.why != nullptr ? c.why : "there is no file access";
        ASSERT_FALSE(StatusRecorder::texts().empty());
        const std::string name = path.substr(path.rfind('/') + 1);
        EXPECT_EQ(StatusRecorder::texts().back(), "Can`t load shape '" + name + "': " + why);
        EXPECT_EQ(StatusRecorder::codes().back(), -3);
        if (c.why != nullptr) {
            const std::string parseLog = ReadText(path + ".log");
            EXPECT_NE(parseLog.find("'" + path + "': " + why + "\n"), std::string::npos) << parseLog;
            EXPECT_NE(log.find("Can`t load shape '" + path + "': " + why), std::string::npos) << log;
        } else {
            EXPECT_NE(log.find("'" + path + "': " + why), std::string::npos) << log;
        }
        std::remove((path + ".log").c_str());
    }
    // SUBPIX at the cap loads, and so do points and offsets at 1e9.
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    WriteText(File("cap.msk"), stamp + ";SUBPIX=64\n" + rows);
    ASSERT_TRUE(LoadShapeFile(rect, File("cap.msk").c_str(), false));
    EXPECT_EQ(rect->header.kind, kKindPolygon);
    EXPECT_EQ(rect->header.subpix, 64);
    WriteText(File("edge.msk"), ";SHAPETYPE='PolyLine'\n;OFFSETVECTOR=0.6, -1000000000\n;#data\n0 0\n-1e9 1000000000\n");
    ASSERT_TRUE(LoadShapeFile(rect, File("edge.msk").c_str(), false));
    EXPECT_EQ(rect->header.anchors.X(1), -1e9f);
    EXPECT_EQ(rect->header.offset.vector[1], -1e9f);

    // A long name gives way on the status line, the reason and the row it quotes do not.
    const std::string longName = File(("measured_regions_of_the_night_" + std::string(80, 'x') + "_final.msk").c_str());
    WriteText(longName, stamp + ";#data\n0 0\n10 0\n1e300 20\n;#end\n");
    EXPECT_FALSE(LoadShapeFile(rect, longName.c_str(), false));
    EXPECT_EQ(StatusRecorder::texts().back(),
              "Can`t load shape 'measure...nal.msk': a Polygon takes 3 points, the block gives 2; line 8 skipped "
              "(beyond 32-bit range): 1e300 20");

    // A file of more shapes, or more points in all, than a file may give is refused whole,
    // at the block that passes the bound; the most it may give loads.
    std::string blocks;
    for (int i = 0; i < 20000; ++i) blocks += ";SHAPETYPE='Rect'\n;#data\n1 1\n5 5\n;#end\n";
    WriteText(File("most.msk"), blocks);
    Shape* made = nullptr;
    std::vector<ReadShape> kept;
    ASSERT_TRUE(LoadShapeFileBlocks(nullptr, File("most.msk").c_str(), true, &made, &kept));
    ShapeRef hold(made);
    EXPECT_EQ(kept.size(), 19999u);
    WriteText(File("many.msk"), blocks + ";SHAPETYPE='Rect'\n;#data\n1 1\n5 5\n;#end\n");
    std::vector<Shape*> more;
    const uint32_t steps = box.undo.count;
    EXPECT_FALSE(LoadShapeFile(rect, File("many.msk").c_str(), false, nullptr, &more));
    EXPECT_TRUE(more.empty());
    EXPECT_EQ(rect->header.kind, kKindPolyLine);
    EXPECT_EQ(box.undo.count, steps);
    EXPECT_EQ(StatusRecorder::texts().back(),
              "Can`t load shape 'many.msk': line 100005: more than the 20000 shapes a file may give");
    const std::string polygon = ";SHAPETYPE='Polygon'\n;#data\n" + ManyRows(50000) + ";#end\n";
    std::string points;
    for (int i = 0; i < 21; ++i) points += polygon;
    WriteText(File("points.msk"), points);
    EXPECT_FALSE(LoadShapeFile(rect, File("points.msk").c_str(), false, nullptr, &more));
    EXPECT_EQ(StatusRecorder::texts().back(),
              "Can`t load shape 'points.msk': line 1050063: more than the 1000000 points a file may give");
}

// A role the file sets is kept where its kind takes it; where not, the kind's own role
// is taken and the status line says so in place of its notice of a load.
TEST_F(ShapeFilesTest, RolesOfTheFile) {
    struct Case {
        int32_t kind;
        std::initializer_list<float> xy;
        int32_t role;        // saved with
        int32_t roleAfter;   // loaded with
        const char* notice;  // nullptr: the plain notice
    };
    const Case cases[] = {
        {kKindPolyLine, {0, 0, 30, 4, 60, -20}, kRoleSlice, kRoleSlice, nullptr},
        {kKindLine, {0, 0, 30, 4}, kRoleSlice, kRoleSlice, nullptr},
        {kKindRect, {10, 10, 20, 30}, kRoleStatistic, kRoleStatistic, nullptr},
        {kKindRect, {10, 10, 20, 30}, kRoleFindArea, kRoleFindArea, nullptr},
        {kKindEllipse, {10, 10, 20, 30}, kRoleStatistic, kRoleStatistic, nullptr},
        {kKindRect, {10, 10, 20, 30}, kRoleSlice, kRoleStatistic,
         "'r.msk': role Slice does not fit a Rect, loaded as Statistic"},
        {kKindPolyLine, {0, 0, 30, 4, 60, -20}, kRoleStatistic, kRoleSlice,
         "'r.msk': role Statistic does not fit a PolyLine, loaded as Slice"},
    };
    for (const Case& c : cases) {
        Shape* saved = Make(c.kind, c.xy, c.role);
        ASSERT_TRUE(SaveShapeFile(saved, File("r.msk").c_str(), 1, kRoleUnset, false));
        // Into a shape of another kind and role.
        Shape* target = Make(c.kind == kKindRect ? kKindEllipse : kKindRect, {1, 1, 5, 5}, kRoleFindArea);
        StatusRecorder::texts().clear();
        ASSERT_TRUE(LoadShapeFile(target, File("r.msk").c_str(), true)) << c.kind << " " << c.role;
        EXPECT_EQ(target->header.kind, c.kind);
        EXPECT_EQ(target->header.role, c.roleAfter) << c.kind << " " << c.role;
        ASSERT_EQ(StatusRecorder::texts().size(), 1u);
        EXPECT_EQ(StatusRecorder::texts()[0], c.notice != nullptr ? c.notice : "Load shape");
        EXPECT_EQ(StatusRecorder::codes()[0], -2);
    }
}

// A file of several shapes (as "Save all" writes it) tells of the block whose kind did
// not take its role, and of no other: a Statistic rectangle, then an Area of Search one,
// loads with the plain notice; a Slice rectangle after them is named.
TEST_F(ShapeFilesTest, TheRoleMessageNamesTheBlockItTellsOf) {
    const std::string statistic = ";SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n;#data\n10 10\n20 30\n;#end\n";
    const std::string search = ";SHAPEROLE='findArea'\n;SHAPETYPE='Rect'\n;#data\n40 10\n60 30\n;#end\n";
    const std::string slice = ";SHAPEROLE='Slice'\n;SHAPETYPE='Rect'\n;#data\n70 10\n90 30\n;#end\n";
    struct Case {
        std::string text;
        std::vector<int32_t> roles;  // of the shapes loaded, in order
        const char* notice;
    };
    const Case cases[] = {
        {statistic + search, {kRoleStatistic, kRoleFindArea}, "Load shape"},
        {search + statistic, {kRoleFindArea, kRoleStatistic}, "Load shape"},
        {statistic + search + slice, {kRoleStatistic, kRoleFindArea, kRoleStatistic},
         "'all.msk': role Slice does not fit a Rect, loaded as Statistic"},
    };
    for (const Case& c : cases) {
        WriteText(File("all.msk"), c.text);
        Shape* made = nullptr;
        std::vector<Shape*> more;
        StatusRecorder::texts().clear();
        ASSERT_TRUE(LoadShapeFile(nullptr, File("all.msk").c_str(), true, &made, &more));
        ShapeRef hold(made);
        std::vector<int32_t> roles = {made->header.role};
        for (Shape* s : more) roles.push_back(s->header.role);
        EXPECT_EQ(roles, c.roles);
        for (Shape* s : more) s->Release();
        ASSERT_EQ(StatusRecorder::texts().size(), 1u);
        EXPECT_EQ(StatusRecorder::texts()[0], c.notice);
    }
}

// A block taken without a row the reader could not read says so beside its notice: the
// shape is not the whole file.
TEST_F(ShapeFilesTest, ALoadThatPassedOverARowSaysSo) {
    WriteText(File("nan.msk"), ";SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n;#data\n0 0\n10 0\nnan 8\n5 8\n;#end\n");
    Shape* made = nullptr;
    StatusRecorder::texts().clear();
    ASSERT_TRUE(LoadShapeFile(nullptr, File("nan.msk").c_str(), true, &made));
    ShapeRef hold(made);
    EXPECT_EQ(made->header.anchors.Count(), 3u);
    ASSERT_EQ(StatusRecorder::texts().size(), 1u);
    EXPECT_EQ(StatusRecorder::texts()[0], "Load shape, line 6 skipped (not a finite number): nan 8");
    EXPECT_EQ(StatusRecorder::codes()[0], -2);
}

// One undo takes a load back whole: the kind, role, points and the mask of the kind
// before it; redo loads it again.
TEST_F(ShapeFilesTest, UndoGivesTheShapeBeforeTheLoad) {
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    rect->UpdateGeometry(kUpdateFull);
    ASSERT_GT(rect->derived.mask.count, 0u);
    const uint32_t rects = rect->derived.mask.count;
    WriteText(File("line.msk"), ";SHAPEROLE='Slice'\n;SHAPETYPE='PolyLine'\n;#data\n0 0\n30 4\n60 -20\n;#end\n");
    const uint32_t steps = box.undo.count;
    ASSERT_TRUE(LoadShapeFile(rect, File("line.msk").c_str(), true));
    ASSERT_EQ(box.undo.count, steps + 1);
    EXPECT_EQ(rect->header.kind, kKindPolyLine);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(rect->header.kind, kKindRect);
    EXPECT_EQ(rect->header.role, kRoleStatistic);
    ASSERT_EQ(rect->header.anchors.Count(), 2u);
    EXPECT_EQ(rect->header.anchors.X(1), 20.0f);
    EXPECT_DOUBLE_EQ(rect->header.box.w, 10.0);
    EXPECT_DOUBLE_EQ(rect->header.box.h, 20.0);
    EXPECT_EQ(rect->derived.mask.count, rects);
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(rect->header.kind, kKindPolyLine);
    EXPECT_EQ(rect->header.role, kRoleSlice);
    EXPECT_EQ(rect->header.anchors.Count(), 3u);
    EXPECT_DOUBLE_EQ(rect->header.box.w, 60.0);
}

// "Merge": the file's shape joins the view as a new current shape with its own undo
// step; a refused file adds nothing.
// A file of many rectangles takes the current one's place with its first and adds the
// others, in its order; the view is painted, its panel refreshed and the measuring item
// run once for all of them, when the last is in place.
TEST_F(ShapeFilesTest, AFileOfManyShapesIsPaintedAndMeasuredOnce) {
    TestItem item;
    view.defaultItem = &item;
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    std::string text;
    for (int i = 0; i < 30; ++i)
        text += ";SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n;#data\n" + std::to_string(2 * i) + " 0\n" +
                std::to_string(2 * i + 1) + " 5\n;#end\n";
    WriteText(File("thirty.msk"), text);
    const int redraws = view.redraws, panels = view.panelRefreshes;
    ASSERT_TRUE(ReplaceFromShapeFile(rect, File("thirty.msk").c_str()));
    const std::vector<Shape*> listed = Listed();
    ASSERT_EQ(listed.size(), 30u);
    for (size_t i = 0; i < listed.size(); ++i) EXPECT_EQ(listed[i]->header.anchors.X(0), 2.0f * i) << i;
    EXPECT_EQ(box.current, listed.back());
    EXPECT_EQ(view.redraws - redraws, 1);
    EXPECT_EQ(view.panelRefreshes - panels, 1);
    EXPECT_EQ(view.panelShape, listed.back());
    EXPECT_EQ(item.refreshes + item.restarts, 1);
    // The shapes let the item go before it goes.
    box.RemoveAllNow();
    box.undo.Clear();
    view.defaultItem = nullptr;
}

TEST_F(ShapeFilesTest, MergeAddsTheFilesShape) {
    Shape* rect = Make(kKindRect, {10, 10, 20, 30}, kRoleStatistic);
    WriteText(File("line.msk"), ";SHAPEROLE='Slice'\n;SHAPETYPE='PolyLine'\n;SUBPIX=3\n;OFFSETAPERTURE=5, 3, 3\n"
                                ";#data\n0 0\n30 4\n60 -20\n;#end\n");
    WriteText(File("bad.msk"), ";SHAPETYPE='Hexagon'\n;#data\n0 0\n30 4\n;#end\n");
    const uint32_t steps = box.undo.count;
    EXPECT_FALSE(MergeShapeFile(&box, File("bad.msk").c_str()));
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_EQ(box.undo.count, steps);
    ASSERT_TRUE(MergeShapeFile(&box, File("line.msk").c_str()));
    ASSERT_EQ(Listed().size(), 2u);
    Shape* added = box.current;
    ASSERT_NE(added, nullptr);
    ASSERT_NE(added, rect);
    EXPECT_EQ(added->header.kind, kKindPolyLine);
    EXPECT_EQ(added->header.role, kRoleSlice);
    EXPECT_EQ(added->header.subpix, 3);
    EXPECT_EQ(added->header.offset.aperture[0], 5);
    EXPECT_EQ(added->header.offset.aperture[1], 3);
    ASSERT_EQ(added->header.anchors.Count(), 3u);
    EXPECT_EQ(added->header.anchors.X(2), 60.0f);
    EXPECT_EQ(added->header.anchors.Y(2), -20.0f);
    EXPECT_STREQ(added->maskFileName, File("line.msk").c_str());
    EXPECT_EQ(rect->header.kind, kKindRect);
    EXPECT_EQ(box.undo.count, steps + 1);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed().size(), 1u);

    // A point read from a file of lone numbers (found by the fuzzer) is drawn in several
    // edits: one undo takes it away, one redo brings it back.
    WriteText(File("points.msk"), "1 2\r#data\r1\r#data\r3");
    ASSERT_TRUE(MergeShapeFile(&box, File("points.msk").c_str()));
    ASSERT_EQ(Listed().size(), 2u);
    ASSERT_TRUE(box.undo.Step(true));
    EXPECT_EQ(Listed().size(), 1u);
    EXPECT_FALSE(box.undo.Step(true)) << "a step left that undoes nothing";
    ASSERT_TRUE(box.undo.Step(false));
    EXPECT_EQ(Listed().size(), 2u);
    EXPECT_FALSE(box.undo.Step(false));
}

TEST_F(ShapeFilesTest, HeaderlessAndOddFiles) {
    struct Case {
        const char* name;
        std::string text;
        bool loads;
        uint32_t anchors;
    };
    const std::vector<Case> cases = {
        {"two columns", "1 2\n3.5 -4\n5e1 6\n", true, 3},
        {"one column", "5\n6\n7\n", false, 0},
        {"after the end", ";#data\n1 1\n2 2\n;#end\n3 3\n4 4\n", true, 2},
        {"data tag without mark", ";COBJ='ANCHOR'\nCDATA='POINT'\nRECT=1, 2, 3, 4\n;NAXIS=2\n;#data\n1 1\n2 2\n", true,
         2},
        {"comments and marks", "// a note\n;;  ;#data // rows\n  1 1 // first\n;2 2\n+.5 -.5\n", true, 2},
        {"region", ";COBJ='REGION'\nCDATA='RECT'\n;NAXIS=2\nRECT=0, 0, 10, 20\n;#data\n0 0 10 20\n;#end\n", false, 0},
        {"empty", "", false, 0},
    };
    for (const Case& c : cases) {
        const std::string path = File("f.txt");
        WriteText(path, c.text);
        Shape* made = nullptr;
        EXPECT_EQ(LoadShapeFile(nullptr, path.c_str(), true, &made), c.loads) << c.name;
        ShapeRef hold(made);
        if (c.loads) {
            ASSERT_NE(made, nullptr) << c.name;
            EXPECT_EQ(made->header.anchors.Count(), c.anchors) << c.name;
            EXPECT_EQ(made->header.kind, kKindPoint) << c.name;
            EXPECT_EQ(made->header.role, kRoleRefPoint) << c.name;
        } else {
            EXPECT_EQ(made, nullptr) << c.name;
            EXPECT_NE(ReadText(path + ".log").find("'" + path + "': "), std::string::npos) << c.name;
        }
    }
    // Rows after the end of a block wait for a new ";#data".
    WriteText(File("end.txt"), ";#data\n1 1\n;#end\n3 3\n;#data\n4 4\n");
    BlockRecorder blocks;
    ASSERT_TRUE(blocks.LoadFile(File("end.txt").c_str()));
    ASSERT_EQ(blocks.blocksRead.size(), 2u);
    EXPECT_EQ(blocks.blocksRead[0].values, (std::vector<float>{1, 1}));
    EXPECT_EQ(blocks.blocksRead[1].values, (std::vector<float>{4, 4}));
    // One column reads as (value, index) points of an outline block.
    WriteText(File("one.txt"), "5\n6\n7\n");
    BlockRecorder reader;
    ASSERT_TRUE(reader.LoadFile(File("one.txt").c_str()));
    ASSERT_EQ(reader.blocksRead.size(), 1u);
    EXPECT_EQ(reader.blocksRead[0].object, "SHAPE");
    EXPECT_EQ(reader.blocksRead[0].values, (std::vector<float>{5, 0, 6, 1, 7, 2}));
}

TEST_F(ShapeFilesTest, ParseLogMessages) {
    const std::string path = File("r.txt");
    WriteText(path, ";COBJ='REGION'\nCDATA='RECT'\n;NAXIS=2\n;#data\n1 2 3\n4 5 6 7\n;#end\n");
    EXPECT_FALSE(LoadShapeFile(nullptr, path.c_str(), true));
    EXPECT_EQ(ReadText(path + ".log"), "5: rect use 4 col : 1 2 3\n'" + path +
                                         "': no shape taken: line 5 skipped (a rectangle takes 4 columns): 1 2 3\n");

    WriteText(path, ";COBJ='SHAPE'\n;SHAPETYPE='Moon'\n;NAXIS=x\n;#data\n*x\n3 4 x\n7\n8 9\n;NAXIS 2\n\x01\n8 9\n");
    std::string log = CapturedLog([&] { EXPECT_FALSE(LoadShapeFile(nullptr, path.c_str(), true)); });
    EXPECT_EQ(ReadText(path + ".log"),
              "$2: 'SHAPETYPE='Moon'' : bad cmd\n"
              "$3: 'NAXIS=x' : bad cmd\n"
              "5: syntax error, bad cmd : ---> *x\n"
              "6: read tab, skip row: 3 4 x\n"
              "7: [req. col 2]: 7\n"
              "$9: '2' : bad cmd\n"
              "$10: bad file '" + path + "'\n"
              "'" + path + "': not a shape file: line 10 holds control bytes\n");
    EXPECT_NE(log.find("Parsing error. " + path), std::string::npos) << log;

    // Where the parse log cannot be made, its lines go to the program log and the load goes on.
    const std::string blocked = File("b.msk");
    WriteText(blocked, ";NAXIS=0\n;#data\n1 2\n3 4\n");
    ASSERT_EQ(::mkdir((blocked + ".log").c_str(), 0755), 0);
    Shape* made = nullptr;
    log = CapturedLog([&] { EXPECT_TRUE(LoadShapeFile(nullptr, blocked.c_str(), true, &made)); });
    ShapeRef hold(made);
    EXPECT_NE(log.find("$1: 'NAXIS=0' : bad cmd"), std::string::npos) << log;
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->header.anchors.Count(), 2u);
}

TEST_F(ShapeFilesTest, HeaderKeys) {
    // One header line each; what the parsed header holds after it, and whether the
    // value was refused (a "bad cmd" line in the parse log).
    struct Case {
        const char* line;
        int32_t editFlag;
        int32_t aperture[3];
        float vector[2];
        const char* direction;
        int32_t subpix;
        int32_t kind;
        int32_t role;
        bool refused;
    };
    const Case cases[] = {
        {"OFFSETEDITFLAG=0x10", 3, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"offseteditflag=-4", 0, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETEDITFLAG=010", 3, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETEDITFLAG=x", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"OFFSETAPERTURE=7", -1, {7, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETAPERTURE=7, 4", -1, {7, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETAPERTURE=10,6,5", -1, {10, 6, 5}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETAPERTURE=-3", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"OFFSETAPERTURE=131072, 65536, 65537", -1, {131072, 65536, 65537}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"OFFSETAPERTURE=131073", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"OFFSETAPERTURE=", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},  // empty: passed over
        {"OFFSETVECTOR=0.6, -0.8", -1, {0, 0, 0}, {0.6f, -0.8f}, "", 0, -1, kRoleUnset, false},
        {"OFFSETVECTOR=1", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"OFFSETDIRECTION='NRMLX'", -1, {0, 0, 0}, {0, 0}, "NRML", 0, -1, kRoleUnset, false},
        {"OFFSETDIRECTION=NRML", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"SUBPIX=4", -1, {0, 0, 0}, {0, 0}, "", 4, -1, kRoleUnset, false},
        {"SUBPIX=", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, false},
        {"SUBPIX=z", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"SHAPE=<ellipse>; SHAPEROLE=\"findarea\"", -1, {0, 0, 0}, {0, 0}, "", 0, kKindEllipse, kRoleFindArea,
         false},
        {"SHAPETYPE=Rect", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"SHAPEROLE='Nobody'", -1, {0, 0, 0}, {0, 0}, "", 0, -1, kRoleUnset, true},
        {"COMMENT=anything; TIME=now; COMMENT1=x; COMMENT2=y; URL=<a b>", -1, {0, 0, 0}, {0, 0}, "", 0, -1,
         kRoleUnset, false},
    };
    const std::string path = File("k.msk");
    for (const Case& c : cases) {
        WriteText(path, std::string(";") + c.line + "\n");
        {
            BlockRecorder reader;
            ASSERT_TRUE(reader.LoadFile(path.c_str())) << c.line;
            const ShapeHeader& h = reader.record.header;
            EXPECT_EQ(h.offset.editFlag, c.editFlag) << c.line;
            for (int i = 0; i < 3; ++i) EXPECT_EQ(h.offset.aperture[i], c.aperture[i]) << c.line;
            EXPECT_EQ(h.offset.vector[0], c.vector[0]) << c.line;
            EXPECT_EQ(h.offset.vector[1], c.vector[1]) << c.line;
            char code[5] = {};
            std::memcpy(code, &h.offset.direction, 4);
            EXPECT_STREQ(code, c.direction) << c.line;
            EXPECT_EQ(h.subpix, c.subpix) << c.line;
            EXPECT_EQ(h.kind, c.kind) << c.line;
            EXPECT_EQ(h.role, c.role) << c.line;
        }
        EXPECT_EQ(ReadText(path + ".log").find("bad cmd") != std::string::npos, c.refused) << c.line;
    }
    // A line longer than a reader takes makes the file a bad file.
    WriteText(path, "1 2\n" + std::string(kShapeFileMaxLineLength + 1, '3') + "\n");
    EXPECT_FALSE(LoadShapeFile(nullptr, path.c_str(), true));
    EXPECT_EQ(ReadText(path + ".log").rfind("$2: bad file '" + path + "'\n", 0), 0u);
}

TEST_F(ShapeFilesTest, ManyRowsSurviveGrowth) {
    std::string text = ";COBJ='ANCHOR'\n;#data\n";
    for (int i = 0; i < 100; ++i) text += std::to_string(i) + " " + std::to_string(i * 0.5) + "\n";
    WriteText(File("many.msk"), text);
    BlockRecorder reader;
    ASSERT_TRUE(reader.LoadFile(File("many.msk").c_str()));
    ASSERT_EQ(reader.blocksRead.size(), 1u);
    const std::vector<float>& v = reader.blocksRead[0].values;
    ASSERT_EQ(v.size(), 200u);
    for (int i = 0; i < 100; ++i) {
        EXPECT_EQ(v[2 * i], static_cast<float>(i));
        EXPECT_EQ(v[2 * i + 1], static_cast<float>(i * 0.5));
    }
    // Without memory for the rows nothing is taken and the load fails.
    GlobalBufferRefuseBlocksForTest(1);
    Shape* made = nullptr;
    EXPECT_FALSE(LoadShapeFile(nullptr, File("many.msk").c_str(), true, &made));
    GlobalBufferRefuseBlocksForTest(0);
    EXPECT_EQ(made, nullptr);
}

TEST_F(ShapeFilesTest, DecimalCommaLocaleChangesNothing) {
    Shape* line = Make(kKindLine, {0.5f, 1.25f, 30.75f, 4.125f}, kRoleSlice);
    const std::string a = File("a.msk"), b = File("b.msk");
    ASSERT_TRUE(SaveShapeFile(line, a.c_str(), 1, kRoleUnset, false));
    const char* names[] = {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "ru_RU.UTF-8"};
    const char* found = nullptr;
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    for (const char* n : names)
        if (std::setlocale(LC_NUMERIC, n) != nullptr) {
            found = n;
            break;
        }
    // None installed: one made from the system's locale sources, when they are there.
    std::optional<testing_util::ScopedEnv> localePath;
    if (found == nullptr && Exists("/usr/share/i18n/locales/de_DE")) {
        const std::string made = folder.File("locales");
        ::mkdir(made.c_str(), 0755);
        const std::string command = "localedef -i de_DE -f UTF-8 " + made + "/de_DE.UTF-8 >/dev/null 2>&1";
        if (std::system(command.c_str()) == 0) {
            localePath.emplace("LOCPATH", made);
            if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) found = "de_DE.UTF-8";
        }
    }
    if (found == nullptr) GTEST_SKIP() << "no decimal-comma locale";
    char probe[16];
    std::snprintf(probe, sizeof probe, "%g", 1.5);
    if (std::string(probe) != "1,5") {
        std::setlocale(LC_NUMERIC, previous.c_str());
        GTEST_SKIP() << found << " writes " << probe;
    }
    ASSERT_TRUE(SaveShapeFile(line, b.c_str(), 1, kRoleUnset, false));
    Shape* made = nullptr;
    const bool loaded = LoadShapeFile(nullptr, a.c_str(), true, &made);
    std::setlocale(LC_NUMERIC, previous.c_str());
    ShapeRef hold(made);
    EXPECT_EQ(ReadText(a), ReadText(b));
    ASSERT_TRUE(loaded);
    EXPECT_TRUE(made->header.anchors.SamePoints(line->header.anchors));
}

}  // namespace
}  // namespace orva
