#include "io/formats/text/text_reader.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <string>
#include <vector>

#include "image_reader_fixture.h"
#include "io/format_registry.h"

namespace orva {
namespace {

using testing_io::ImageReaderFixture;
using testing_io::KeepReceiver;

class TextReaderTest : public ImageReaderFixture {
protected:
    static void TearDownTestSuite() { RemoveFiles(&files); }
    std::string Folder() { return MakeFiles("make_text_tables.py", &files); }
    // Opens a table through TextOpenTable; what was read goes to *info.
    int OpenTable(const std::string& path, KeepReceiver* keep, TextTableResult* info) {
        static FormatDesc desc;
        desc.tag = MakeFormatTag("BINARY");
        desc.name = "Text";
        return testing_io::OpenWithReader(
            &desc, path, keep, [info](InputSource* s) { return TextOpenTable(s, info); });
    }
    static std::vector<double> Values(DataSet* d, size_t n) {
        std::vector<double> v(n);
        const std::string s = Stored(d, n * sizeof(double));
        if (s.size() == n * sizeof(double)) std::memcpy(v.data(), s.data(), s.size());
        return v;
    }
    static inline std::string files;
};

// Tables written by numpy's savetxt ("%.17g"; spaces, tabs, commas, bars; comment lines;
// "\r\n" line ends; 10^5 rows) load to the very values numpy's loadtxt reads.
TEST_F(TextReaderTest, SavetxtTablesLoadLikeLoadtxt) {
    const std::string folder = Folder();
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy is missing";
    const auto rows = Manifest(folder + "/text_manifest.txt");
    ASSERT_EQ(rows.size(), 7u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        KeepReceiver keep;
        TextTableResult info;
        ASSERT_EQ(OpenTable(folder + "/" + row[0], &keep, &info), 2);
        DataSet* d = keep.kept;
        ASSERT_NE(d, nullptr);
        const int64_t h = std::stoll(row[2]), w = std::stoll(row[3]);
        // A single column is one row of values, one-dimensional; wider tables are images.
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(w == 1 ? h : w, w == 1 ? 1 : h));
        EXPECT_EQ(d->input.type & 0xC000FFu, w == 1 ? 0x800040u : 0x400040u);
        EXPECT_EQ(d->input.channels, 1u);
        EXPECT_STREQ(d->TagText(), "TXT");
        const std::string ref = Bytes(folder + "/" + row[1]);
        ASSERT_EQ(ref.size(), static_cast<size_t>(w * h * 8));
        // Bit for bit, so that -0 and NaN count too.
        EXPECT_TRUE(Stored(d, ref.size()) == ref);
        EXPECT_EQ(d->stream->length, static_cast<int64_t>(ref.size()));
    }
}

// Rows, commands, separators, SPLIT patterns and the error policy on small tables.
TEST_F(TextReaderTest, RowsCommandsAndPatterns) {
    struct Case {
        const char* name;
        const char* text;
        int result;
        int64_t columns, rows;
        std::vector<double> values;
        const char* log;  // a line the table's log holds, or "" when none is kept
        int state = -1;   // the reader state at the end, when not -1
        const char* report = "";  // what the status line (and the program log) is told
    };
    const double M = -DBL_MAX;  // a missing value
    const std::string longRow = "1 2\n" + std::string(3000, '7') + " 5\n3 4\n";
    const std::string longRowContinue = "ERROR=PARSING:CONTINUE\n" + longRow;
    // Longer than the whole read buffer too.
    const std::string hugeRow = "ERROR=PARSING:CONTINUE\n1 2\n" + std::string(3 << 20, '7') + "\n3 4\n";
    // Two records of two values and half a record.
    const double records[5] = {1, 2, 3, 4, 5};
    Write("short.f8", std::string(reinterpret_cast<const char*>(records), 36));
    const std::vector<Case> cases = {
        {"starts.txt", ".5 1\n-.5 2\n+1 3\n-x 4\n", 2, 2, 3, {0.5, 1, -0.5, 2, 1, 3}, "4: not digit: -x 4"},
        {"end.txt", "1 2\n3 4\n#end\n5 6\n", 2, 2, 2, {1, 2, 3, 4}, ""},
        {"crlf.txt", "1\t2\r\n3 4\r\n", 2, 2, 2, {1, 2, 3, 4}, ""},
        {"comments.txt", "; a note\n;7 8\n#9 9\n/ skipped\n", 2, 2, 1, {7, 8}, "$1: 'note' : bad cmd"},
        {"extra.txt", "1 2\n3 4 5\n", 2, 2, 2, {1, 2, 3, 4}, ""},
        // A bad row is left out and the reading goes on (ERROR=PARSING:SKIP, the default);
        // CONTINUE keeps it with its missing cells marked; STOP ends the rows there.
        {"short.txt", "1 2\n3\n5 6\n", 2, 2, 2, {1, 2, 5, 6}, "2: split err: Chan(req, cur)=2, 1: ", -1,
         "'short.txt' - 1 bad row(s) skipped, see short.txt.log"},
        {"continue.txt", "ERROR=PARSING:CONTINUE\n1 2\n3 x\n5\n7 8\n", 2, 2, 4, {1, 2, 3, M, 5, M, 7, 8},
         "3: split err: 1 missing value(s), kept as missing", -1,
         "'continue.txt' - 2 row(s) with missing values, see continue.txt.log"},
        {"stop.txt", "ERROR=PARSING:STOP\n1 2\n3\n5 6\n", 2, 2, 1, {1, 2}, "3: split err", 3,
         "'stop.txt' - reading stopped at bad line 3, see stop.txt.log"},
        {"pause.txt", "ERROR=PARSING:PAUSE\n1 2\n3 x\n5 6\n", 2, 2, 2, {1, 2, 5, 6}, "3: split err"},
        // Two separators in a row enclose an empty cell: the row is short, never shifted.
        {"empty.txt", "SEPARATOR=,\n1,2,3\n4,,6\n7,8,9\n10,11,12\n", 2, 3, 3, {1, 2, 3, 7, 8, 9, 10, 11, 12},
         "3: split err: Chan(req, cur)=3, 1", -1, "'empty.txt' - 1 bad row(s) skipped, see empty.txt.log"},
        {"shifted.txt", "SEPARATOR=,\n1,2,3,4\n5,,7,8,9\n", 2, 4, 1, {1, 2, 3, 4}, "3: split err"},
        {"emptykept.txt", "ERROR=PARSING:CONTINUE\nSEPARATOR=,\n1,2,3\n4,,6\n7 ,8,\n", 2, 3, 3,
         {1, 2, 3, 4, M, 6, 7, 8, M}, "4: split err: 1 missing value(s), kept as missing"},
        {"emptyskip.txt", "SPLIT=X S V2\nSEPARATOR=,\nERROR=PARSING:CONTINUE\n10,99,1,\n11,,3,4\n", 2, 2, 2,
         {1, M, 3, 4}, "4: split err: 1 missing value(s), kept as missing"},
        // A quoted separator is read whole; an unquoted ";" ends the statement.
        {"semicolon.txt", "SEPARATOR=\";\"\n1;2;3\n4 ; 5;6\n", 2, 3, 2, {1, 2, 3, 4, 5, 6}, ""},
        {"apostrophe.txt", "SEPARATOR=';'; SPLIT=V2 S\n1;2;9\n3;4;9\n", 2, 2, 2, {1, 2, 3, 4}, ""},
        {"bare.txt", "SEPARATOR=;\n1;2\n", 1, 0, 0, {},
         "1: SEPARATOR=; names no separator (a ';' ends the statement): write SEPARATOR=\";\""},
        {"inf.txt", "1 2\n3 1e999\n", 2, 2, 1, {1, 2}, "2: split err"},
        {"sep.txt", "SEPARATOR=,\n1,2, 3\n4 ,5,6\n", 2, 3, 2, {1, 2, 3, 4, 5, 6}, ""},
        {"split.txt", "SPLIT=X S V2\n10 99 1 2\n11 98 3 4\n", 2, 2, 2, {1, 2, 3, 4}, ""},
        {"splitshort.txt", "SPLIT=X V2\n10 1 2\n11 3\n", 2, 2, 1, {1, 2}, "3: split err"},
        // A line longer than the buffer is one bad row, never two rows.
        {"long.txt", longRow.c_str(), 2, 2, 2, {1, 2, 3, 4}, "2: split err: line too long"},
        {"longcontinue.txt", longRowContinue.c_str(), 2, 2, 2, {1, 2, 3, 4}, "3: split err: line too long"},
        {"huge.txt", hugeRow.c_str(), 2, 2, 2, {1, 2, 3, 4}, "3: split err: line too long"},
        {"commands.txt", "#FRAME\n1 2\n#param\n#COMMON\n#data\n3 4\n#what\n", 2, 2, 2, {1, 2, 3, 4},
         "7: unk. cmd: what"},
        {"keysonly.txt", "NAXIS1=3\n# nothing else\n", 1, 0, 0, {}, "2: unk. cmd: nothing else"},
        {"binary.txt", "1 2\n3 \x01 4\n", -1, 0, 0, {}, "2: not txt file"},
        {"tail.txt", "1\t2\t3\t4\t5\t6\n1 2 3 4 5 6\x02\n", -1, 0, 0, {}, "2: not txt file"},
        {"nul.txt", "abc", -1, 0, 0, {}, "$bad file: row 1"},
        {"channels.txt", "CHANNELS=2\n1 2\n", 1, 0, 0, {}, "2: data empty, skip section data"},
        // A pattern that uses nothing: empty, or with axes asked for, no data.
        {"skiponly.txt", "SPLIT=S2\n1 2\n", 1, 0, 0, {},
         "2: SPLIT pattern empty: filling use default value"},
        {"noaxis.txt", "NAXIS=1\nSPLIT=S2\n1 2\n", 1, 0, 0, {},
         "bad pattern or Axis or Chan: empty data, cur. row 3"},
        // "#data" files: a missing one, an unknown mode, a directory read as binary records,
        // a short last record under the stopping policy.
        {"nofile.txt", "#data missing.f8 rb\n1 2\n#data\n3 4\n", 2, 2, 1, {3, 4},
         "1: parsing: #data section: missing.f8 rb"},
        {"nofilestop.txt", "ERROR=PARSING:STOP\n#data missing.f8\n#data\n3 4\n", 1, 0, 0, {},
         "can`t load file", 3},
        {"badmode.txt", "#data short.f8 rw\n", 1, 0, 0, {}, "1: parsing: #data section: short.f8 rw"},
        {"dir.txt", "#data . rb\n#data\n1 2\n", 1, 0, 0, {}, "$ Can`t set binary mode, stop read file", 3},
        {"shortrec.txt", "SIZEX=2\n#data short.f8 rb\n", 2, 2, 2, {1, 2, 3, 4}, "3: split err: short record", 2},
        // Sizes asked for beyond the rows read stop the reader; the rows read still open.
        {"bigsize.txt", "SIZEX=2\nSIZEY=5\n1 2\n3 4\n", 2, 2, 2, {1, 2, 3, 4},
         "4: parsing: requested size larger than the data read", 3},
        {"fitsize.txt", "SIZEX=2\nSIZEY=2\n1 2\n3 4\n", 2, 2, 2, {1, 2, 3, 4}, "", 1},
        // Values and second values must pair up.
        {"pairs.txt", "SPLIT=V2 DV1\n1 2 3\n", 1, 0, 0, {},
         "SPLIT: bad pattern or chan/axis request: Chan(req,v,dv)=16384, 2, 1: Axis(req,a,da)=3, 0, 0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string text = c.text;
        if (std::string(c.name) == "nul.txt") text = std::string("abc\0def\n", 8);
        const std::string path = Write(c.name, text);
        KeepReceiver keep;
        TextTableResult info;
        ASSERT_EQ(OpenTable(path, &keep, &info), c.result);
        if (c.state >= 0) {
            EXPECT_EQ(info.state, c.state);
        }
        const std::string log = Bytes(path + ".log");
        const std::string program = Log();
        if (c.report[0] != '\0') {
            EXPECT_NE(program.find(c.report), std::string::npos) << program;
        }
        if (c.log[0] == '\0')
            EXPECT_TRUE(log.empty()) << log;
        else
            EXPECT_NE(log.find(c.log), std::string::npos) << log;
        if (c.result != 2) {
            EXPECT_EQ(keep.kept, nullptr);
            continue;
        }
        ASSERT_NE(keep.kept, nullptr);
        EXPECT_EQ(info.columns, c.columns);
        EXPECT_EQ(info.rows, c.rows);
        EXPECT_EQ(testing_io::XY(*keep.kept), testing_io::XY(c.columns, c.rows));
        EXPECT_EQ(keep.kept->input.type & 0xC000FFu, c.rows == 1 ? 0x800040u : 0x400040u);
        EXPECT_EQ(Values(keep.kept, c.values.size()), c.values);
    }
}

// "#data NAME" takes the section's rows from a file beside the table (up to its "#end");
// rows after it wait for the next section.
TEST_F(TextReaderTest, DataSectionFromFile) {
    Write("rows.dat", "1 2\n3 4\n#end\n9 9\n");
    const std::string path = Write("outer.txt", "#data rows.dat\n5 6\n#data\n7 8\n#data missing.dat\n");
    KeepReceiver keep;
    TextTableResult info;
    ASSERT_EQ(OpenTable(path, &keep, &info), 2);
    EXPECT_EQ(info.rows, 3);
    EXPECT_EQ(Values(keep.kept, 6), (std::vector<double>{1, 2, 3, 4, 7, 8}));
    EXPECT_NE(Bytes(path + ".log").find("can`t load file"), std::string::npos);
}

// Values go to the data set and the other columns to side files of their own, from text
// rows and from binary "#data" records alike; every file holds what numpy put there.
TEST_F(TextReaderTest, SideFilesAndBinaryData) {
    const std::string folder = Folder();
    if (folder.empty()) GTEST_SKIP() << "python3 with numpy is missing";
    const auto rows = Manifest(folder + "/side_manifest.txt");
    ASSERT_EQ(rows.size(), 3u);
    for (const auto& row : rows) {
        SCOPED_TRACE(row[0]);
        KeepReceiver keep;
        TextTableResult info;
        ASSERT_EQ(OpenTable(folder + "/" + row[0], &keep, &info), 2);
        EXPECT_EQ(Bytes(folder + "/" + row[0] + ".log"), "");
        const int64_t n = std::stoll(row[1]);
        EXPECT_EQ(info.rows, n);
        EXPECT_EQ(info.columns, std::stoll(row[2]));
        const std::string values = Bytes(folder + "/" + row[0] + ".b0");
        EXPECT_TRUE(Stored(keep.kept, values.size()) == values);
        EXPECT_EQ(info.sides[kTextValues].stream, nullptr);
        for (int b = 1; b < kTextBufferCount; ++b) {
            SCOPED_TRACE(b);
            const TextSideFile& side = info.sides[b];
            const int64_t width = std::stoll(row[2 + static_cast<size_t>(b)]);
            if (width == 0) {
                EXPECT_EQ(side.stream, nullptr);
                continue;
            }
            ASSERT_NE(side.stream, nullptr);
            EXPECT_EQ(side.width, width);
            EXPECT_EQ(side.rows, n);
            const std::string ref = Bytes(folder + "/" + row[0] + ".b" + std::to_string(b));
            ASSERT_EQ(side.stream->length, static_cast<int64_t>(ref.size()));
            std::string got(ref.size(), '\0');
            ASSERT_EQ(StreamRead(side.stream, 0, got.data(), got.size()), static_cast<int64_t>(got.size()));
            EXPECT_TRUE(got == ref);
        }
    }
}

// Through the registry: a ".txt" file opens with the Text reader; a forced BINARY open
// reaches the raw reader, not the Text reader that shares its tag.
TEST_F(TextReaderTest, RegistryRoutes) {
    testing_io::BuiltinFormats formats;
    const std::string path = Write("table.txt", "1 2 3\n4 5 6\n");
    for (bool forced : {false, true}) {
        SCOPED_TRACE(forced);
        KeepReceiver keep;
        const FormatTag tag = forced ? MakeFormatTag("BINARY") : FormatTag{};
        ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, path, &keep, tag), 2);
        ASSERT_NE(keep.kept, nullptr);
        if (forced) {
            // The raw reader serves the file's own 12 bytes.
            EXPECT_EQ(keep.kept->stream->length, 12);
        } else {
            EXPECT_EQ(testing_io::XY(*keep.kept), testing_io::XY(3, 2));
            EXPECT_EQ(Values(keep.kept, 6), (std::vector<double>{1, 2, 3, 4, 5, 6}));
        }
    }
    // The coordinate column lives on in a side file that the data set's component holds.
    const std::string curve = Write("curve.txt", "SPLIT=X V1\n10 1\n11 2\n12 3\n");
    KeepReceiver keep;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&formats.registry, curve, &keep), 2);
    ASSERT_NE(keep.kept, nullptr);
    EXPECT_EQ(keep.kept->sizeX, 3);
    EXPECT_EQ(keep.kept->input.type & 0xC000FFu, 0x800040u);
    void* object = nullptr;
    ASSERT_TRUE(keep.kept->QueryInterface(&kFormatInfoId, &object));
    FormatInfoRef<TextInfo> info(static_cast<TextInfo*>(object));
    ASSERT_EQ(info->GetClassId(), &kTextInfoId);
    const TextSideFile& side = info->sides[kTextCoordinates];
    ASSERT_NE(side.stream, nullptr);
    EXPECT_EQ(side.rows, 3);
    EXPECT_EQ(side.width, 1);
    double x[3] = {};
    ASSERT_EQ(StreamRead(side.stream, 0, x, sizeof x), static_cast<int64_t>(sizeof x));
    EXPECT_EQ(std::vector<double>(x, x + 3), (std::vector<double>{10, 11, 12}));
}

}  // namespace
}  // namespace orva
