// Command lines run without a user interface ("-exit"): the real program opens the files
// astropy wrote as it would for its windows, says on the terminal what went wrong, ends
// with 1 when a command of the line failed, and writes nothing but its log (and a text
// table's report beside the table): no settings, no service files (a hand-written one
// stays byte for byte).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "program_start.h"
#include "road_files.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::WriteText;

using testing_program::FolderNames;

// A description written by hand, as a user keeps it.
const std::string kRawFs =
    "// the camera's raw frames\n"
    "SEL(URL=\"raw.bin\")\n{\n [{424C4543-00000000-54504E4954534F49-00000000}]\n"
    " // header of 100 bytes\n sizex=64\n SIZEY=32\n BEGINPOS=100\n BITPIX=16\n"
    " BSCALE=0.5\n BZERO=7\n CObj=BINARY\n}\n";

// The description with a BEL in its comment line, line 5.
std::string BellInComment() {
    std::string text = kRawFs;
    text.insert(text.find(" bytes\n") + 6, "\a");
    return text;
}

// The files of every case, made by astropy and by hand in `folder`.
bool MakeFiles(const std::string& folder, std::string* said) {
    const std::string script =
        "import sys, numpy as np\n"
        "from astropy.io import fits\n"
        "d = sys.argv[1] + '/'\n"
        "fits.PrimaryHDU((np.arange(12, dtype=np.uint16) * 1000).reshape(3, 4)).writeto(d + 'u16.fits')\n"
        "fits.PrimaryHDU(np.arange(24, dtype=np.float32).reshape(2, 3, 4)).writeto(d + 'cube.fits')\n"
        "fits.PrimaryHDU(np.linspace(0, 1, 50)).writeto(d + 'spectrum.fits')\n"
        "fits.HDUList([fits.PrimaryHDU(), fits.ImageHDU(np.ones((5, 6), dtype=np.int32), name='SCI')])"
        ".writeto(d + 'ext.fits')\n"
        "fits.HDUList([fits.PrimaryHDU(), fits.BinTableHDU.from_columns("
        "[fits.Column(name='a', format='E', array=np.ones(3))])]).writeto(d + 'table.fits')\n";
    WriteText(folder + "/make.py", script);
    int status = -1;
    *said = testing_program::RunCommand(ORVA_PYTHON " '" + folder + "/make.py' '" + folder + "' 2>&1", &status);
    std::filesystem::remove(folder + "/make.py");
    WriteText(folder + "/comma4.txt", "SEPARATOR=,\n1,2,3\n4,,6\n7,8,9\n10,11,12\n");
    // Raw samples after a 100-byte header, five frames of 64 x 32 int16 and 50 bytes more,
    // with the user's description, which names no frame count.
    std::string raw(100, 'h');
    for (int i = 0; i < 5 * 64 * 32; ++i) raw += {static_cast<char>(i), static_cast<char>(i >> 8)};
    WriteText(folder + "/raw.bin", raw + std::string(50, 't'));
    WriteText(folder + "/raw.fs", kRawFs);
    return status == 0;
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    int status;
    // Standard error, line by line without the "orva: " mark; "<work>" and "<user>"
    // stand for the folders.
    std::vector<std::string> err;
    // Texts the log holds, in this order, and texts it must not hold.
    std::vector<std::string> log;
    std::vector<std::string> notInLog;
    // What the work folder holds afterwards besides the files made.
    std::vector<std::string> written;
    // What stands in raw.fs instead of kRawFs: a text, or kFifo or kFolder.
    std::string fs = kRawFs;
};

const std::string kFifo = "<a FIFO>", kFolder = "<a folder>";

const std::vector<std::string> kMade = {"comma4.txt", "cube.fits",  "ext.fits", "raw.bin",
                                        "raw.fs",     "spectrum.fits", "table.fits", "u16.fits"};
const std::vector<std::string> kFalseFailures = {"can`t create connect...", "err create", "Line 1 error"};

class WindowlessRun : public ::testing::TestWithParam<Case> {};

TEST_P(WindowlessRun, OpensReportsAndWritesOnlyItsLog) {
    const Case& c = GetParam();
    if (!testing_program::HaveRoadTools()) GTEST_SKIP() << "python3 with astropy and numpy is needed";
    testing_util::TempFolder root;
    const std::string app = root.File("config"), run = root.File("run"), work = root.File("work");
    const std::string user = app + "/ZEL Lab";
    for (const std::string& f : {app, run, work}) mkdir(f.c_str(), 0700);
    std::string said;
    ASSERT_TRUE(MakeFiles(work, &said)) << said;
    ASSERT_EQ(FolderNames(work), kMade);
    const std::string fs = work + "/raw.fs";
    if (c.fs == kFifo || c.fs == kFolder) {
        std::filesystem::remove(fs);
        ASSERT_EQ(c.fs == kFifo ? mkfifo(fs.c_str(), 0600) : mkdir(fs.c_str(), 0700), 0);
    } else {
        WriteText(fs, c.fs);
    }

    testing_program::Start start;
    start.args = c.args;
    start.folder = work;
    // No display at all: a run without windows needs none.
    start.env = {{"XDG_CONFIG_HOME", app}, {"XDG_RUNTIME_DIR", run}, {"HOME", root.File("home")}, {"DISPLAY", ""}};
    const testing_program::Outcome out = testing_program::RunStart(start);

    auto fill = [&](std::string line) {
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"<work>", work}, {"<user>", user}})
            for (size_t at = line.find(mark); at != std::string::npos; at = line.find(mark)) line.replace(at, mark.size(), value);
        return line;
    };
    EXPECT_EQ(out.status, c.status) << out.err;
    std::string err;
    for (const std::string& line : c.err) err += "orva: " + fill(line) + "\n";
    EXPECT_EQ(out.err, err);

    // Only the log: the settings stay unwritten.
    EXPECT_EQ(FolderNames(user), std::vector<std::string>{"orva.log"});
    const std::string log = ReadText(user + "/orva.log");
    size_t at = 0;
    for (const std::string& text : c.log) {
        const size_t found = log.find(fill(text), at);
        EXPECT_NE(found, std::string::npos) << "'" << fill(text) << "' (in order) not in\n" << log;
        if (found != std::string::npos) at = found + 1;
    }
    for (const std::string& text : c.notInLog) EXPECT_EQ(log.find(text), std::string::npos) << text << " in\n" << log;

    // What the user wrote beside the data stays as it was, byte for byte; what stands in
    // its place stays what it is.
    struct stat info;
    ASSERT_EQ(stat(fs.c_str(), &info), 0);
    if (c.fs == kFifo) {
        EXPECT_TRUE(S_ISFIFO(info.st_mode));
    } else if (c.fs == kFolder) {
        EXPECT_TRUE(S_ISDIR(info.st_mode));
        EXPECT_EQ(FolderNames(fs), std::vector<std::string>{});
    } else {
        EXPECT_TRUE(ReadText(fs) == c.fs) << "raw.fs changed";
    }
    std::vector<std::string> expected = kMade;
    expected.insert(expected.end(), c.written.begin(), c.written.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(FolderNames(work), expected);
    if (std::find(c.written.begin(), c.written.end(), "comma4.txt.log") != c.written.end()) {
        // The row "4,,6", on the file's third line, has an empty cell.
        EXPECT_EQ(ReadText(work + "/comma4.txt.log").rfind("3: split err", 0), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, WindowlessRun,
    ::testing::Values(
        // One image: read, described, its stages made; no false failure.
        Case{"OneImage", {"u16.fits", "-exit"}, 0, {},
             {"Input file: '<work>/u16.fits'", "\t NAXIS1   \t4", "\t NAXIS2   \t3", "Source format: \"FITS\"."},
             kFalseFailures, {}},
        // Several files: each in turn, through the list of a project.
        Case{"CubeSpectrumAndExtension", {"-exit", "-open", "cube.fits", "spectrum.fits", "ext.fits"}, 0, {},
             {"Input file: '<work>/cube.fits'", "\t NAXIS3   \t2", "Source format: \"FITS\".",
              "Input file: '<work>/spectrum.fits'", "\t NAXIS1   \t50", "Source format: \"FITS\".",
              "Input file: '<work>/ext.fits'", "\t NAXIS1   \t6", "Source format: \"FITS\"."},
             kFalseFailures, {}},
        // A text table with a bad row: the row is left out, the status line's report goes
        // to the terminal, and the table's report lies beside it.
        Case{"TextTable", {"comma4.txt", "-exit"}, 0, {"'comma4.txt' - 1 bad row(s) skipped, see comma4.txt.log"},
             {"Input file: '<work>/comma4.txt'"}, kFalseFailures, {"comma4.txt.log"}},
        // Nothing to show in a FITS file of tables: the reason on the terminal, status 1.
        Case{"OnlyATable", {"table.fits", "-exit"}, 1,
             {"'<work>/table.fits' - data is empty [not processed]",
              "a command of the line failed; <user>/orva.log says why"},
             {"'<work>/table.fits' - fits extension 2 'BINTABLE' skipped", "Line 1 error: call cmd [Open (file)]"},
             {"can`t create connect..."}, {}},
        // Raw samples with the user's description: read as it says, and the description is
        // left as the user wrote it.
        Case{"RawWithItsDescription", {"raw.bin", "-exit"}, 0, {},
             {"Input file: '<work>/raw.bin'", "Source format: \"Binary\"."}, kFalseFailures, {}},
        // A name without a file; the file after it still opens.
        Case{"MissingFile", {"gone.fits", "u16.fits", "-exit"}, 1,
             {"Can`t open <work>/gone.fits...", "a command of the line failed; <user>/orva.log says why"},
             {"* Can`t open file: <work>/gone.fits", "Input file: '<work>/u16.fits'", "Source format: \"FITS\"."},
             {"can`t create connect..."}, {}},
        // A description the reader refuses whole, or something else in its place, is named
        // with the reason on the terminal and the data opens as without one; the run itself
        // succeeds.
        Case{"DescriptionWithABell", {"raw.bin", "-exit"}, 0,
             {"'<work>/raw.fs' not read: a control character on line 5"},
             {"Input file: '<work>/raw.bin'", "$bad file: '<work>/raw.fs'", "'<work>/raw.fs' not read",
              "Source format: \"Binary\"."},
             kFalseFailures, {}, BellInComment()},
        Case{"DescriptionOfTooManyLines", {"raw.bin", "-exit"}, 0,
             {"'<work>/raw.fs' not read: more than 524288 lines"},
             {"'<work>/raw.fs' not read"}, kFalseFailures, {}, kRawFs + std::string(524288, '\n')},
        Case{"DescriptionWithAnEndlessLine", {"raw.bin", "-exit"}, 0,
             {"'<work>/raw.fs' not read: line 14 is longer than 4194304 characters"},
             {"'<work>/raw.fs' not read"}, kFalseFailures, {},
             kRawFs + "// " + std::string(5 << 20, 'x') + "\n"},
        Case{"FifoForADescription", {"raw.bin", "-exit"}, 0, {"'<work>/raw.fs' skipped: a FIFO, not a file"},
             {"'<work>/raw.fs' skipped: a FIFO, not a file", "Source format: \"Binary\"."},
             kFalseFailures, {}, kFifo},
        Case{"FolderForADescription", {"raw.bin", "-exit"}, 0, {"'<work>/raw.fs' skipped: a folder, not a file"},
             {"'<work>/raw.fs' skipped: a folder, not a file"}, kFalseFailures, {}, kFolder},
        // Braces broken in another file's block leave this file's block whole: it is read,
        // and nothing is said on the terminal.
        Case{"BrokenBlockOfAnotherFile", {"raw.bin", "-exit"}, 0, {},
             {"braces do not pair outside the block", "Source format: \"Binary\"."},
             {"can`t create connect...", "not read"}, {},
             kRawFs + "SEL(URL=\"other.bin\")\n{\n [{424C4543-00000000-54504E4954534F49-00000000}]\n sizex=3\n"},
        // A word after a command that takes none is its argument: not a file, and said so.
        Case{"WordAfterExit", {"-exit", "u16.fits"}, 0,
             {"'-exit' takes no arguments: 'u16.fits' is not used (files are named before the commands, or after "
              "-open)"},
             {}, {"Input file:"}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva
