// What a file looks like when it states no range, and what the status line says of which
// file, walked in the real program with the pointer and keys of XTest only, judged by the
// screen:
// - raw.bin (64 x 32 little-endian int16 after a 100-byte header, described by a
//   hand-written raw.fs with scale 0.5 and zero 7) is drawn over its own values, -33 to
//   196.5: every pixel of the picture has numpy's grey, its bright border white;
// - the preview of a comma table shows its values' greys, not white;
// - the table's report of the row it left out goes from the status line once another
//   file is shown, and once another file is opened.
#include <X11/keysym.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "framed_picture.h"
#include "page_program.h"
#include "program_input.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::RunCommand;
using testing_program::Screen;

// raw.bin: a frame whose outer ring holds the largest value (white on the screen) round
// random values; numpy prints the frame's physical values, row by row.
constexpr const char* kMakeFiles = R"(
import sys
import numpy as np
from astropy.io import fits
d = sys.argv[1]
a = np.random.default_rng(8).integers(-80, 379, size=(32, 64)).astype('<i2')
a[0, :] = a[-1, :] = a[:, 0] = a[:, -1] = 379
a[10, 10] = -80
open(d + '/raw.bin', 'wb').write(bytes(range(100)) + a.tobytes())
fits.PrimaryHDU(np.arange(48, dtype=np.int16).reshape(6, 8)).writeto(d + '/other.fits')
print(' '.join(repr(v) for v in (a.astype(np.float64) * 0.5 + 7).ravel()))
)";

constexpr int kWidth = 64, kHeight = 32;
constexpr const char* kReport = "'comma4.txt' - 1 bad row(s) skipped";

class ShownDataProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testing_program::WhyNoProgramTest(p.screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(p.files.File("make.py"), kMakeFiles);
        int status = -1;
        const std::string out =
            RunCommand(ORVA_PYTHON " '" + p.files.File("make.py") + "' '" + p.files.Path() + "' 2>&1", &status);
        if (status != 0) GTEST_SKIP() << "numpy and astropy could not write the files: " << out;
        std::istringstream values(out);
        for (double v; values >> v;) raw.push_back(v);
        ASSERT_EQ(raw.size(), static_cast<size_t>(kWidth * kHeight)) << out;
        testing_util::WriteText(p.files.File("raw.fs"),
                                "SEL(URL=\"raw.bin\")\n{\n [{424C4543-00000000-54504E4954534F49-00000000}]\n"
                                " SIZEX=64\n SIZEY=32\n BEGINPOS=100\n BITPIX=16\n BSCALE=0.5\n BZERO=7\n"
                                " CObj=BINARY\n}\n");
        // Four rows of three, the second with an empty cell: the table is 1 2 3, 7 8 9,
        // 10 11 12.
        testing_util::WriteText(p.files.File("comma4.txt"), "SEPARATOR=,\n1,2,3\n4,,6\n7,8,9\n10,11,12\n");
    }

    Display* D() const { return p.X(); }
    Window Root() const { return p.Root(); }

    // "Open", the names typed into "File name:" (several in double quotes, once the folder
    // that holds them shows), Return.
    ::testing::AssertionResult Open(const std::vector<std::string>& names) {
        testing_program::ClickAt(D(), Root(), p.MainRect().left + 20, p.MainRect().top + 16);
        const char* title = "Open data file(s)";
        if (names.size() == 1) {
            if (::testing::AssertionResult typed = p.EnterFileName(title, p.files.File(names[0])); !typed) return typed;
        } else {
            std::string field;
            for (const std::string& name : names) field += "\"" + name + "\" ";
            if (::testing::AssertionResult typed = p.EnterFileName(title, p.files.Path(), false); !typed)
                return typed;
            if (::testing::AssertionResult typed = p.EnterFileName(title, field); !typed) return typed;
        }
        for (const std::string& name : names)
            if (!p.FileTab(name, nullptr, nullptr)) return ::testing::AssertionFailure() << name << ": " << p.Keep("shown_no_tab");
        return ::testing::AssertionSuccess();
    }

    // Whether the status line shows the table's report (waiting up to `ms` for it to come,
    // or with `shown` false to go).
    bool ReportShows(bool shown, int ms = 8000) {
        const Screen::Rect m = p.MainRect();
        const Screen::Rect line{m.left, m.bottom - 30, m.right, m.bottom};
        return p.WaitForText(kReport, line, nullptr, nullptr, ms, shown) == shown;
    }

    // The greys of the preview beside the workspace: pixels of each grey level 0 … 255.
    std::vector<int> PreviewGreys() {
        std::vector<int> count(256, 0);
        Picture page;
        for (Window w : testing_program::ValuePageWindows(D(), p.main)) {
            if (!p.screen.Grab(w, &page)) continue;
            for (int y = 18; y < page.height - 42; ++y)
                for (int x = 2; x < page.width - 21; ++x) {
                    const uint8_t* q = page.At(x, y);
                    if (q[0] == q[1] && q[1] == q[2]) ++count[q[0]];
                }
        }
        return count;
    }

    testing_program::PageProgram p;
    std::vector<double> raw;  // physical values of raw.bin, row by row
};

TEST_F(ShownDataProgram, ARangeFromTheDataAndReportsOfTheFileShown) {
    std::string why;
    p.main = testing_program::StartOnFiles(p.screen, p.program, p.files.File("run"), {p.files.File("raw.bin")}, &why);
    ASSERT_NE(p.main, 0u) << why;

    // The picture over the data's own range: its white border found, each pixel inside it
    // has the grey of its value between the smallest and the largest.
    testing_program::Shown frame;
    ASSERT_TRUE(testing_program::WaitForFramedPicture(p.screen, p.main, &p.shot, &frame))
        << "no white-bordered picture (drawn over another range?): " << p.Keep("shown_raw") << "\n"
        << p.program->Log();
    const double low = -33.0, high = 196.5;
    const double sx = static_cast<double>(frame.right - frame.left) / kWidth;
    const double sy = static_cast<double>(frame.bottom - frame.top) / kHeight;
    ASSERT_GE(sx, 1.0);
    ASSERT_GE(sy, 1.0);
    int wrong = 0;
    std::string first;
    for (int row = 0; row < kHeight; ++row)
        for (int column = 0; column < kWidth; ++column) {
            const int x = frame.left + static_cast<int>((column + 0.5) * sx);
            const int y = frame.top + static_cast<int>((row + 0.5) * sy);
            const double v = raw[static_cast<size_t>(row * kWidth + column)];
            const int grey = static_cast<int>(std::lround(255.0 * (v - low) / (high - low)));
            const uint8_t* q = p.shot.At(x, y);
            if (std::abs(q[0] - grey) > 2 || q[0] != q[1] || q[1] != q[2]) {
                if (wrong++ == 0)
                    first = "(" + std::to_string(column) + ", " + std::to_string(row) + "): " + std::to_string(q[0]) +
                            " for " + std::to_string(grey);
            }
        }
    EXPECT_EQ(wrong, 0) << "first " << first << ": " << p.Keep("shown_raw_greys");

    // Two files at once, the table named first: it is opened last and shown, and the
    // status line reports its left-out row.
    ASSERT_TRUE(Open({"comma4.txt", "other.fits"}));
    EXPECT_TRUE(ReportShows(true)) << p.Keep("shown_no_report");
    // The preview shows the table's values over 1 … 12: their greys, each a block of the
    // small picture (1 is black like the ground round it).
    bool greys = false;
    std::vector<int> count;
    for (int waited = 0; waited < 10000 && !greys; waited += 250) {
        count = PreviewGreys();
        greys = true;
        for (int v : {2, 3, 7, 8, 9, 10, 11, 12}) {
            const int g = static_cast<int>(std::lround(255.0 * (v - 1) / 11.0));
            int near = 0;
            for (int k = std::max(0, g - 2); k <= std::min(255, g + 2); ++k) near += count[static_cast<size_t>(k)];
            greys = greys && near >= 9;
        }
        if (!greys) std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_TRUE(greys) << "preview pixels of white " << count[255] << ", of black " << count[0] << ": "
                       << p.Keep("shown_preview");

    // The other file shown: the report was of the table, and goes.
    int x = 0, y = 0;
    ASSERT_TRUE(p.FileTab("other.fits", &x, &y));
    testing_program::ClickAt(D(), Root(), x + 4, y + 4);
    EXPECT_TRUE(ReportShows(false)) << p.Keep("shown_report_stays_on_tab");

    // The table opened again reports again; the other file opened after it, the report goes.
    ASSERT_TRUE(Open({"comma4.txt"}));
    EXPECT_TRUE(ReportShows(true)) << p.Keep("shown_no_second_report");
    ASSERT_TRUE(Open({"other.fits"}));
    EXPECT_TRUE(ReportShows(false)) << p.Keep("shown_report_stays_on_open");
    EXPECT_EQ(p.program->End(), 0);
}

}  // namespace
}  // namespace orva
