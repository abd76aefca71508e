// What the program reads and writes beside a data file, walked as a new user does in the
// real program, with the pointer and keys of XTest only, judged by the screen and by the
// files written:
// - raw.bin (a 100-byte header, then 64 x 32 little-endian int16 that numpy wrote) with a
//   hand-written raw.fs (data at byte 100, scale 0.5, zero 7, a crop box): its Info page
//   gives numpy's figures of the crop box when first opened, after Ctrl+W rewrote raw.fs and
//   it was opened again, and after the Options page's "Update" rewrote it once more;
// - a comma table with an empty cell: the bad row is left out, the others are read, and the
//   status line says so; a table whose separator is SEPARATOR=";" opens;
// - the table saved under the name typed in the save dialog: the file takes that name (the
//   formatting string applied to it) and holds the table's values, as astropy reads them;
// - a raw file whose description leaves the frame count to the data keeps its five frames
//   through Ctrl+W's rewrite, "Calculate" on a frame too large for a whole statistic says
//   why, and settings on a full disk are not lost in silence (a run of its own).
#include <X11/keysym.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <chrono>
#include <sstream>
#include <string>
#include <thread>

#include "common/number_text.h"
#include "frame_selector.h"
#include "framed_picture.h"
#include "page_program.h"
#include "program_start.h"
#include "program_input.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::RunCommand;
using testing_program::Screen;

// The data file, its description (the block names the data file by its name) and what
// numpy makes of the crop box (x 8 … 27, y 4 … 13) of its physical values.
constexpr const char* kMakeFiles = R"(
import sys
import numpy as np
d = sys.argv[1]
a = np.random.default_rng(5).integers(-80, 380, size=(32, 64)).astype('<i2')
open(d + '/raw.bin', 'wb').write(bytes(range(100)) + a.tobytes())
v = a[4:14, 8:28].astype(np.float64) * 0.5 + 7
print(repr(v.min()), repr(v.max()), repr(v.mean()))
)";

// Six significant digits, as the Info page gives its figures.
std::string Six(double v) {
    char text[32] = "";
    FormatDoubleFit(6, text, v, nullptr);
    return text;
}

class BesideTheDataProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testing_program::WhyNoProgramTest(p.screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(p.files.File("make.py"), kMakeFiles);
        int status = -1;
        const std::string out =
            RunCommand(ORVA_PYTHON " '" + p.files.File("make.py") + "' '" + p.files.Path() + "' 2>&1", &status);
        if (status != 0) GTEST_SKIP() << "numpy could not write the files: " << out;
        double minimum = 0, maximum = 0, mean = 0;
        std::istringstream(out) >> minimum >> maximum >> mean;
        rawMinMax = Six(minimum) + " / " + Six(maximum);
        rawMean = Six(mean);
        const std::string section = "424C4543-00000000-54504E4954534F49-00000000";
        testing_util::WriteText(p.files.File("raw.fs"),
                                "SEL(URL=\"raw.bin\")\n{\n [{" + section +
                                    "}]\n SIZEX=64\n SIZEY=32\n BEGINPOS=100\n BITPIX=16\n BYTESWAP=0\n"
                                    " BSCALE=0.5\n BZERO=7\n CropBoundBox=8, 20, 4, 10\n CObj=BINARY\n}\n");
        testing_util::WriteText(p.files.File("comma4.txt"), "SEPARATOR=,\n1,2,3\n4,,6\n7,8,9\n10,11,12\n");
        testing_util::WriteText(p.files.File("semi.txt"), "SEPARATOR=\";\"\n1.5;2;3\n4;5;6.25\n");
        mkdir(p.files.File("out").c_str(), 0700);
    }

    Display* D() const { return p.X(); }
    Window Root() const { return p.Root(); }
    std::string Fs() const { return testing_util::ReadText(p.files.File("raw.fs")); }

    // The Info page (the Source's own tab 0) shows the MinMax and Mean texts.
    bool InfoShows(const std::string& minMax, const std::string& mean, std::string* why, int ms = 15000) {
        for (int waited = 0; waited <= ms; waited += 250) {
            p.ClickPageTab(0);
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            int mx = 0, my = 0, rx = 0, ry = 0;
            *why = "no Info page";
            if (!p.Grab() ||
                !testing_program::FindInk(p.shot, 0, 0, p.shot.width / 2, p.shot.height,
                                          testing_program::UiTextInk("Mean"), &mx, &my) ||
                !testing_program::FindInk(p.shot, 0, my, p.shot.width / 2, p.shot.height - my,
                                          testing_program::UiTextInk("RMS"), &rx, &ry))
                continue;
            const int step = ry - my;
            if (step > 0 && testing_program::ListCellShows(p.shot, mx, my, mean, why) &&
                testing_program::ListCellShows(p.shot, mx, my - 2 * step, minMax, why))
                return true;
        }
        return false;
    }

    // Finds a caption in the box of the last screen, in either face the program draws
    // captions in, with or without ground all round it.
    bool FindCaption(const std::string& text, const Screen::Rect& box, int* x, int* y) {
        const int w = box.right - box.left, h = box.bottom - box.top;
        return FindText(p.shot, box.left, box.top, w, h, text, x, y) ||
               testing_program::FindInk(p.shot, box.left, box.top, w, h, testing_program::UiTextInk(text), x, y) ||
               testing_program::FindInk(p.shot, box.left, box.top, w, h, text, false, x, y);
    }

    // Waits for the file's tab above the workspace to show (or, with `shown` false, to be
    // gone); whether it shows at the end.
    bool TabShows(const std::string& name, bool shown = true, int ms = 15000) {
        return p.FileTab(name, nullptr, nullptr, shown, ms);
    }

    // Ctrl+W over the workspace: the shown file closes; true once its tab is gone.
    bool CloseShown(const std::string& name) {
        const Screen::Rect ws = testing_program::WorkspaceOf(p.screen, p.main);
        testing_program::ClickAt(D(), Root(), (ws.left + ws.right) / 2, ws.bottom - 20);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        testing_program::PressKeys(D(), {XK_Control_L, XK_w});
        return !TabShows(name, false, 8000);
    }

    // A file of the test's folder through "Open": its tab shows above the workspace.
    ::testing::AssertionResult OpenFile(const std::string& name) {
        testing_program::ClickAt(D(), Root(), p.MainRect().left + 20, p.MainRect().top + 16);
        if (::testing::AssertionResult typed = p.EnterFileName("Open data file(s)", p.files.File(name)); !typed)
            return typed;
        if (!TabShows(name)) return ::testing::AssertionFailure() << name << ": " << p.Keep("beside_no_tab");
        return ::testing::AssertionSuccess();
    }

    testing_program::PageProgram p;
    std::string rawMinMax, rawMean;
};

TEST_F(BesideTheDataProgram, WhatIsWrittenBesideTheDataReadsBackTrue) {
    std::string why;
    p.main = testing_program::StartOnFiles(p.screen, p.program, p.files.File("run"), {p.files.File("raw.bin")}, &why);
    ASSERT_NE(p.main, 0u) << why;
    ASSERT_TRUE(InfoShows(rawMinMax, rawMean, &why)) << why << ": " << p.Keep("beside_raw_first") << "\n"
                                                     << p.program->Log();

    // Ctrl+W: the data set writes raw.fs back, the data's offset with it; opened again the
    // file reads from byte 100 as before.
    ASSERT_TRUE(CloseShown("raw.bin")) << p.Keep("beside_raw_not_closed");
    EXPECT_TRUE(testing_util::WaitUntil([&] { return Fs().find("BeginPos=100\n") != std::string::npos; }, 5000))
        << Fs();
    ASSERT_TRUE(OpenFile("raw.bin"));
    EXPECT_TRUE(InfoShows(rawMinMax, rawMean, &why)) << why << ": " << p.Keep("beside_raw_closed") << "\n" << Fs();

    // "Update" at the foot of the Options page saves the description as it stands.
    ASSERT_TRUE(p.ClickPageTab(1));
    const Screen::Rect column = p.Column();
    int x = 0, y = 0;
    bool found = false;
    for (int notch = 0; notch < 20 && !found; ++notch) {
        // (The button cuts the foot of the "p": the caption is found by the letters after it.)
        found = testing_util::WaitUntil([&] { return p.Grab() && FindCaption("date", column, &x, &y); },
                                        notch == 0 ? 1000 : 300, 100);
        if (!found) p.Wheel(column.left + 100, column.top + 400, 1);
    }
    ASSERT_TRUE(found) << p.Keep("beside_no_update");
    testing_program::ClickAt(D(), Root(), x + 10, y + 5);
    EXPECT_TRUE(p.WaitForText("Update...", column, nullptr, nullptr, 5000)) << p.Keep("beside_not_updated");
    EXPECT_TRUE(testing_util::WaitUntil([&] { return Fs().find("MinMax=") != std::string::npos; }, 5000)) << Fs();
    ASSERT_TRUE(CloseShown("raw.bin")) << p.Keep("beside_raw_not_closed");
    ASSERT_TRUE(OpenFile("raw.bin"));
    EXPECT_TRUE(InfoShows(rawMinMax, rawMean, &why)) << why << ": " << p.Keep("beside_raw_updated") << "\n" << Fs();

    // A row with an empty cell is left out; the other three are the table, and the status
    // line says what was left out.
    ASSERT_TRUE(OpenFile("comma4.txt"));
    EXPECT_TRUE(InfoShows("1 / 12", "7", &why)) << why << ": " << p.Keep("beside_comma");
    EXPECT_TRUE(p.WaitForText("'comma4.txt' - 1 bad row(s) skipped", p.MainRect(), nullptr, nullptr, 8000))
        << p.Keep("beside_comma_status");

    // SEPARATOR=";" names the semicolon.
    EXPECT_TRUE(OpenFile("semi.txt"));
    EXPECT_TRUE(InfoShows("1.5 / 6.25", "3.625", &why)) << why << ": " << p.Keep("beside_semi");

    // Saved under a typed name: the formatting string names the file after it.
    const Screen::Rect m = p.MainRect();
    testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 38);
    p.screen.WaitForWindow("Output Options", 8000);  // Save opens the Output page beside its dialog
    ASSERT_TRUE(p.EnterFileName("Save As - [Input - format convertor] [All]", p.files.File("out/conv.fits")));
    const std::string written = p.files.File("out/conv001_snr0001.fits");
    EXPECT_TRUE(p.WaitForText(written + " saved", m, nullptr, nullptr, 10000)) << p.Keep("beside_saved");
    EXPECT_TRUE(testing_util::Exists(p.files.File("out/conv.log")));
    int status = -1;
    const std::string got = RunCommand(ORVA_PYTHON " -c 'import sys; from astropy.io import fits; "
                                       "print(fits.getdata(sys.argv[1]).tolist())' '" + written + "' 2>&1",
                                       &status);
    EXPECT_EQ(got, "[[1.5, 2.0, 3.0], [4.0, 5.0, 6.25]]\n");
    EXPECT_EQ(p.program->End(), 0);
}

// raw5.bin: five frames of 64 x 32 int16 between a 100-byte header and 50 bytes more, with a
// description that names no frame count; a 4096 x 2048 int16 frame beside it; and the
// settings folder on a file system with no room left (a tmpfs the test mounts), holding
// settings with the exit question on. Open, Ctrl+W (which rewrites raw5.fs) and open again
// show five frames each time; "Calculate" on the large frame says why no statistics come;
// the exit question's "Don't show this again" cannot reach the full disk: the run ends with
// 1 and the settings stay as they were.
TEST_F(BesideTheDataProgram, FramesSurviveTheRewriteAndWhatCannotBeDoneIsSaid) {
    const std::string run = p.files.File("full"), user = run + "/config/ZEL Lab";
    mkdir(run.c_str(), 0700);
    mkdir((run + "/config").c_str(), 0700);
    testing_program::SmallFileSystem small(user);
    if (!small.why.empty()) GTEST_SKIP() << small.why;
    const std::string settings = "[{424F4C47-00000000-4C505041424F4C47-00000000}]\nWarningOnExit=1\n";
    testing_util::WriteText(user + "/orva.cfg", settings);
    ASSERT_TRUE(small.Fill());
    std::string raw(100, 'h');
    for (int i = 0; i < 5 * 64 * 32; ++i) raw += {static_cast<char>(i), static_cast<char>(i >> 8)};
    testing_util::WriteText(p.files.File("raw5.bin"), raw + std::string(50, 't'));
    const std::string section = "[{424C4543-00000000-54504E4954534F49-00000000}]";
    testing_util::WriteText(p.files.File("raw5.fs"), "SEL(URL=\"raw5.bin\")\n{\n " + section +
                                                         "\n SIZEX=64\n SIZEY=32\n BEGINPOS=100\n BITPIX=16\n"
                                                         " BSCALE=0.5\n BZERO=7\n CObj=BINARY\n}\n");
    testing_util::WriteText(p.files.File("big.bin"), std::string(4096 * 2048 * 2, '\x01'));
    testing_util::WriteText(p.files.File("big.fs"), "SEL(URL=\"big.bin\")\n{\n " + section +
                                                        "\n SIZEX=4096\n SIZEY=2048\n BITPIX=16\n CObj=BINARY\n}\n");

    // A description holding a control byte in a comment is refused by name.
    testing_util::WriteText(p.files.File("bel.bin"), std::string(100 + 64 * 32 * 2, '\x02'));
    testing_util::WriteText(p.files.File("bel.fs"), "SEL(URL=\"bel.bin\")\n{\n // a bell \a here\n " + section +
                                                        "\n SIZEX=64\n SIZEY=32\n BEGINPOS=100\n BITPIX=16\n}\n");
    const std::string belFs = testing_util::ReadText(p.files.File("bel.fs"));

    {
        // An editor is asked for, and neither a terminal for it nor the desktop's viewer
        // can be found: LOG says so.
        testing_util::ScopedEnv visual{"VISUAL", "vi"}, path{"PATH", p.files.Path()};
        p.program.emplace(run, std::vector<std::string>{p.files.File("raw5.bin")});
    }
    p.main = p.screen.WaitForWindow(testing_program::kMainWindowTitle, 20000);
    ASSERT_NE(p.main, 0u);
    // The log cannot say when the file is read: the workspace's tab does (looked for anew
    // while the windows are still being laid out).
    ASSERT_TRUE(testing_util::WaitUntil([&] { return p.FileTab("raw5.bin", nullptr, nullptr, true, 300); }, 20000, 100))
        << p.Keep("full_no_tab");
    testing_program::FrameSelector frames;
    auto fiveFrames = [&] {
        std::string shown;
        return testing_util::WaitUntil(
            [&] { return p.Grab() && frames.Find(p.shot) && frames.TotalShows(p.shot, 5, &shown); }, 15000, 200);
    };
    EXPECT_TRUE(fiveFrames()) << p.Keep("full_first_open");

    // Closed: raw5.fs is written again; the count the data gave is not pinned in it.
    ASSERT_TRUE(CloseShown("raw5.bin")) << p.Keep("full_not_closed");
    const std::string fs = p.files.File("raw5.fs");
    EXPECT_TRUE(testing_util::WaitUntil(
        [&] { return testing_util::ReadText(fs).find("BeginPos=100\n") != std::string::npos; }, 5000))
        << testing_util::ReadText(fs);
    EXPECT_EQ(testing_util::ReadText(fs).find("Frames"), std::string::npos) << testing_util::ReadText(fs);
    ASSERT_TRUE(OpenFile("raw5.bin"));
    EXPECT_TRUE(fiveFrames()) << p.Keep("full_reopened") << "\n" << testing_util::ReadText(fs);

    // The refused description is named, with the reason, and stays as it was.
    ASSERT_TRUE(OpenFile("bel.bin"));
    EXPECT_TRUE(p.WaitForText("'" + p.files.File("bel.fs") + "' not read: a control character on line 3",
                              p.MainRect(), nullptr, nullptr, 10000))
        << p.Keep("full_bel");
    EXPECT_EQ(testing_util::ReadText(p.files.File("bel.fs")), belFs);

    // LOG with nothing to show the log.
    {
        const Screen::Rect m = p.MainRect();
        int lx = 0, ly = 0;
        ASSERT_TRUE(testing_util::WaitUntil(
            [&] { return p.Grab() && FindCaption("LOG", Screen::Rect{m.right - 120, m.top, m.right, m.top + 80}, &lx, &ly); },
            5000, 200))
            << p.Keep("full_no_log_button");
        testing_program::ClickAt(D(), Root(), lx + 6, ly + 5);
        EXPECT_TRUE(p.WaitForText("No viewer could show the log '", p.MainRect(), nullptr, nullptr, 10000))
            << p.Keep("full_log");
    }

    // The large frame's "Calculate": the status line says why nothing comes.
    ASSERT_TRUE(OpenFile("big.bin"));
    ASSERT_TRUE(p.ClickPageTab(0));
    int x = 0, y = 0;
    ASSERT_TRUE(testing_util::WaitUntil([&] { return p.Grab() && FindCaption("Calculate", p.Column(), &x, &y); },
                                        10000, 200))
        << p.Keep("full_no_calculate");
    testing_program::ClickAt(D(), Root(), x + 10, y + 5);
    EXPECT_TRUE(p.WaitForText("No statistics: 4096 x 2048 takes 67108864 bytes as 64-bit reals, over the",
                              p.MainRect(), nullptr, nullptr, 10000))
        << p.Keep("full_calculate");

    // Exit, with "Don't show this again" ticked and "Ok".
    const Screen::Rect m = p.MainRect();
    ASSERT_TRUE(testing_util::WaitUntil(
        [&] { return p.Grab() && FindCaption("Exit", Screen::Rect{m.left, m.top, m.left + 80, m.top + 200}, &x, &y); },
        5000, 200))
        << p.Keep("full_no_exit");
    testing_program::ClickAt(D(), Root(), x + 8, y + 5);
    const Window question = p.screen.WaitForWindow("Close all windows?..", 10000);
    ASSERT_NE(question, 0u) << p.Keep("full_no_question");
    const Screen::Rect q = p.screen.RectOf(question);
    // The tick box stands in the question's bottom-left corner (its caption is drawn in a
    // face of its own): it shows a tick once clicked.
    const int tickX = q.left + 18, tickY = q.bottom - 14;
    auto tickBox = [&] {
        std::vector<uint8_t> box;
        if (p.Grab())
            for (int row = tickY - 4; row <= tickY + 4; ++row)
                for (int column = tickX - 4; column <= tickX + 4; ++column)
                    box.insert(box.end(), p.shot.At(column, row), p.shot.At(column, row) + 3);
        return box;
    };
    ASSERT_TRUE(testing_util::WaitUntil([&] { return p.Grab() && FindCaption("Ok", q, &x, &y); }, 5000, 200))
        << p.Keep("full_question");
    const std::vector<uint8_t> unticked = tickBox();
    testing_program::ClickAt(D(), Root(), tickX, tickY);
    EXPECT_TRUE(testing_util::WaitUntil([&] { return tickBox() != unticked; }, 5000, 200)) << p.Keep("full_tick");
    testing_program::ClickAt(D(), Root(), x + 6, y + 5);
    // Ended by itself (looked at without taking its status away).
    EXPECT_TRUE(testing_util::WaitUntil([&] {
        siginfo_t info{};
        return waitid(P_PID, static_cast<id_t>(p.program->Pid()), &info, WEXITED | WNOHANG | WNOWAIT) == 0 &&
               info.si_pid == p.program->Pid();
    }, 15000));
    EXPECT_EQ(p.program->End(), 1);
    EXPECT_EQ(testing_util::ReadText(user + "/orva.cfg"), settings);
}

}  // namespace
}  // namespace orva
