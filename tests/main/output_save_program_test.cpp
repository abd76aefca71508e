// Saving data through the menu bar's "Save", in the real program on files written by astropy,
// with the pointer and keys of XTest only, judged by the screen and by the files written
// (read back with astropy and checked with fitsverify): the Output page a Save opens goes
// when its save ends or is cancelled, and Esc puts it away; unsigned 16-bit data saved "As
// Input" to 16-bit FITS keep every value (BITPIX 16 with BZERO 32768); a cube saved one
// file per frame is reported by the files written; a save whose files exist asks once
// about all of them, keeps them on "No" and replaces them on "Yes"; a file whose name a
// folder takes is reported in the error colour; "Binary", chosen in the dialog or on the
// Output page, writes raw samples under a binary name; and signed data saved "Unsigned"
// opens again with the values saved.
#include <X11/keysym.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "common/number_text.h"
#include "frame_selector.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::RunCommand;
using testing_program::Screen;

constexpr const char* kSaveTitle = "Save As - [Input - format convertor] [All]";
constexpr const char* kReplaceTitle = "Output: Replace file(s)...";
constexpr const char* kOutputPage = "Output Options";

// Writes the test's files: uns16.fits, 80 x 60 unsigned 16-bit samples from 0 to 65535
// stated unsigned by its DATATYPE card (stored as they are, without BZERO), and c3.fits, a
// 3-frame 16-bit cube whose frames hold 0-399, 1000-1399 and 2000-2399.
constexpr const char* kMakeFiles = R"(
import sys
import numpy as np
from astropy.io import fits
d = sys.argv[1]
a = ((np.arange(60 * 80, dtype=np.int64).reshape(60, 80) * 977) % 65536).astype(np.uint16)
a[0, 0], a[0, 1] = 0, 65535
h = fits.PrimaryHDU(a.view(np.int16))
h.header['DATATYPE'] = 'UNSIGNED'
h.writeto(d + '/uns16.fits')
np.save(d + '/uns16.npy', a)
c = np.stack([(np.arange(40 * 50).reshape(40, 50) % 400 + 1000 * f).astype(np.int16) for f in range(3)])
fits.PrimaryHDU(c).writeto(d + '/c3.fits')
c5 = np.stack([(np.arange(30 * 20).reshape(30, 20) % 300 + 100 * f).astype(np.int16) for f in range(5)])
fits.PrimaryHDU(c5).writeto(d + '/c5.fits')
s = (np.arange(60 * 80).reshape(60, 80) * 7 % 3500 - 500).astype(np.int16)
s[0, 0], s[0, 1] = -500, 2999
fits.PrimaryHDU(s).writeto(d + '/s16.fits')
np.save(d + '/s16.npy', s)
y, x = np.mgrid[0:48, 0:64]
a = (100.0 + x * 2.5 + y * 1.25).astype(np.float32)
for (r, c) in [(0, 0), (10, 10), (10, 12), (20, 63), (47, 30), (30, 40)]:
    a[r, c] = np.nan
fits.PrimaryHDU(a).writeto(d + '/nan.fits')
)";

// Compares written files with what they should hold: "same FILE NPY [FRAME]" prints the dtype,
// BITPIX, BZERO and whether the data equal (a frame of) the saved array; "mark FILE..." writes
// 7s over the files; "marked FILE" whether a file still holds them.
constexpr const char* kCheckFiles = R"(
import sys
import numpy as np
from astropy.io import fits
if sys.argv[1] == 'same':
    with fits.open(sys.argv[2]) as f:
        data, h = f[0].data, f[0].header
        want = np.load(sys.argv[3])
        if len(sys.argv) > 4:
            want = want[int(sys.argv[4])]
        print(data.dtype.name, h['BITPIX'], h.get('BZERO', 0), 'equal' if np.array_equal(data, want) else 'differ')
elif sys.argv[1] == 'raw':
    want = np.load(sys.argv[3])
    got = np.fromfile(sys.argv[2], dtype='<f8')
    print('equal' if got.size == want.size and np.array_equal(got.reshape(want.shape), want) else 'differ %d' % got.size)
elif sys.argv[1] == 'mark':
    for name in sys.argv[2:]:
        fits.PrimaryHDU(np.full((40, 50), 7, np.int16)).writeto(name, overwrite=True)
else:
    print('marked' if np.all(fits.getdata(sys.argv[2]) == 7) else 'replaced')
)";

class OutputSaveProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string why = testing_program::WhyNoProgramTest(screen); !why.empty())
            GTEST_SKIP() << why;
        testing_util::WriteText(files.File("check.py"), kCheckFiles);
        int status = -1;
        const std::string out = RunScript("make.py", kMakeFiles, &status);
        if (status != 0) GTEST_SKIP() << "astropy could not write the files: " << out;
    }

    // Writes a Python script into the test's folder and runs it with the folder as its
    // argument: its output, and *status.
    std::string RunScript(const std::string& name, const char* script, int* status) {
        testing_util::WriteText(files.File(name), script);
        return RunCommand(ORVA_PYTHON " '" + files.File(name) + "' '" + files.Path() + "' 2>&1",
                          status);
    }

    Display* D() const { return screen.display(); }
    Window Root() const { return DefaultRootWindow(screen.display()); }

    ::testing::AssertionResult Start(const std::string& name) {
        std::string why;
        main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File(name)}, &why);
        return main != 0 ? ::testing::AssertionSuccess() : ::testing::AssertionFailure() << why;
    }

    // Waits for the text in the window (the whole screen when none is given).
    bool WaitForText(Window w, const std::string& text, int* x, int* y, int ms = 8000) {
        for (int waited = 0;; waited += 200) {
            const Window in = w != 0 ? w : Root();
            // A caption on a button stands close to the button's frame: found by its ink alone
            // when the ground does not run all round it.
            if (screen.Grab(in, &shot) && (FindText(shot, 0, 0, shot.width, shot.height, text, x, y) ||
                                           testing_program::FindInk(shot, 0, 0, shot.width, shot.height, text, false,
                                                                    x, y))) {
                if (w != 0) {
                    const Screen::Rect r = screen.RectOf(w);
                    *x += r.left;
                    *y += r.top;
                }
                return true;
            }
            if (waited >= ms) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }

    // Waits for the text to be gone from the window.
    bool WaitForNoText(Window w, const std::string& text, int ms = 8000) {
        for (int waited = 0; waited < ms; waited += 200) {
            int x = 0, y = 0;
            if (!WaitForText(w, text, &x, &y, 0)) return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
        return false;
    }

    // Hovers, then clicks the text where it stands in the window (on the screen: *at).
    bool ClickText(Window w, const std::string& text, std::pair<int, int>* at = nullptr) {
        int x = 0, y = 0;
        if (!WaitForText(w, text, &x, &y)) return false;
        if (at != nullptr) *at = {x, y};
        testing_program::MoveTo(D(), Root(), x + 4, y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        testing_program::ClickAt(D(), Root(), x + 4, y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        return true;
    }

    // "Save" on the menu bar (below "Open"); the save dialog.
    Window OpenSaveDialog(const char* title = kSaveTitle) {
        const Screen::Rect m = screen.RectOf(main);
        testing_program::MoveTo(D(), Root(), m.left + 20, m.top + 38);
        std::this_thread::sleep_for(std::chrono::milliseconds(150));
        testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 38);
        return screen.WaitForWindow(title, 10000);
    }

    // View > "Output Options" on the menu bar: the Output page, which stands through the
    // saves until it is put away; its window, or 0. A click that a menu closing from an
    // earlier step takes is made again.
    // The entry puts away a page that stands: one that stands is taken as it is.
    Window OpenOutputPage() {
        if (const Window standing = screen.FindWindow(kOutputPage)) return standing;
        const Screen::Rect m = screen.RectOf(main);
        for (int attempt = 0; attempt < 3; ++attempt) {
            testing_program::MoveTo(D(), Root(), m.left + 20, m.top + 107);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            testing_program::ClickAt(D(), Root(), m.left + 20, m.top + 107);
            if (ClickText(0, "Output Options")) return screen.WaitForWindow(kOutputPage, 8000);
            testing_program::PressKeys(D(), {XK_Escape});
        }
        return 0;
    }

    // The Output page is gone: no window of its title stands, and its rows are off the screen.
    bool OutputPageGone() {
        return testing_util::WaitUntil([&] { return screen.FindWindow(kOutputPage) == 0; }, 8000) &&
               WaitForNoText(0, "OUTPUT DATA TYPE");
    }

    // The program on one of the test's files, its "Plug-ins" page shown.
    bool StartOnPluginsPage(const char* name) {
        if (!Start(name) || !program->WaitForLog("Source format", 20000)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1000));
        const Screen::Rect m = screen.RectOf(main);
        int x = 0, y = 0;
        if (!screen.Grab(Root(), &shot) || !testing_program::PageTab(shot, m.left, m.top, 1, &x, &y)) return false;
        testing_program::ClickAt(D(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(800));
        return true;
    }

    // "Add Filter", "Convolution", "Convolver" on the Plug-ins page, and its preset stepped
    // to "Blur" (twelve on; the right arrow stands 226 pixels right of the preset's name).
    ::testing::AssertionResult AddBlur() {
        int x = 0, y = 0;
        for (const char* step : {"Add Filter", "Convolution", "Convolver"})
            if (!ClickText(0, step))
                return ::testing::AssertionFailure()
                       << "no " << step << ": " << Keep("blur_missing");
        if (!WaitForText(0, "Contrast *+ [soft]", &x, &y))
            return ::testing::AssertionFailure() << "no preset: " << Keep("blur_no_preset");
        for (int i = 0; i < 12; ++i) {
            testing_program::ClickAt(D(), Root(), x + 226, y + 4);
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!WaitForNoText(0, "Contrast *+ [soft]"))
            return ::testing::AssertionFailure() << "not stepped: " << Keep("blur_not_stepped");
        return ::testing::AssertionSuccess();
    }

    // The Output page (opened from the View menu) with "Processed data" chosen in its
    // "Connect:" list (the list's arrow 256 pixels on); the page's window, or 0.
    Window ConnectProcessedData() {
        const Window page = OpenOutputPage();
        int x = 0, y = 0;
        if (page == 0 || !WaitForText(page, "Connect:", &x, &y)) return 0;
        testing_program::ClickAt(D(), Root(), x + 256, y + 4);
        return ClickText(0, "Processed data") ? page : 0;
    }

    // The path typed into the save dialog's "File name:" field and Return. On a loaded machine
    // the first keys can reach the field before it has the focus: a dialog still open after the
    // wait has the path typed once more.
    ::testing::AssertionResult SaveAs(const std::string& path, const char* title = kSaveTitle) {
        const Window dialog = OpenSaveDialog(title);
        if (dialog == 0) return ::testing::AssertionFailure() << "no save dialog\n" << program->Log();
        // Save opens the Output page beside the dialog: the keys wait until it stands.
        screen.WaitForWindow(kOutputPage, 8000);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        for (int attempt = 0; attempt < 2; ++attempt) {
            int x = 0, y = 0;
            if (!WaitForText(dialog, "File name:", &x, &y)) return ::testing::AssertionFailure() << "no File name:";
            testing_program::ClickAt(D(), Root(), x + 150, y + 5);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            testing_program::PressKeys(D(), {XK_Control_L, XK_a});
            testing_program::TypeText(D(), path);
            testing_program::PressKeys(D(), {XK_Return});
            for (int waited = 0; waited <= 10000; waited += 200) {
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                if (screen.FindWindow(title) == 0) return ::testing::AssertionSuccess();
            }
        }
        return ::testing::AssertionFailure() << "the save dialog stayed open: " << Keep("save_dialog_open");
    }

    // The path typed into an open save dialog's "File name:" field, and Return.
    ::testing::AssertionResult TypeName(Window dialog, const std::string& path) {
        int x = 0, y = 0;
        if (!WaitForText(dialog, "File name:", &x, &y)) return ::testing::AssertionFailure() << "no File name:";
        testing_program::ClickAt(D(), Root(), x + 150, y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        testing_program::PressKeys(D(), {XK_Control_L, XK_a});
        testing_program::TypeText(D(), path);
        testing_program::PressKeys(D(), {XK_Return});
        for (int waited = 0; waited <= 10000; waited += 200) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            if (screen.FindWindow(kSaveTitle) == 0) return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the save dialog stayed open: " << Keep("save_dialog_open");
    }

    // Clicks the arrow at (dx, dy) from the caption until the window shows `text` and not
    // `besides` (at most eight clicks).
    bool StepUntil(Window w, const std::string& caption, int dx, int dy, const std::string& text,
                   const std::string& besides = "") {
        int cx = 0, cy = 0, x = 0, y = 0;
        if (!WaitForText(w, caption, &cx, &cy)) return false;
        for (int click = 0; click <= 8; ++click) {
            if (WaitForText(w, text, &x, &y, 1000) && (besides.empty() || !WaitForText(w, besides, &x, &y, 0)))
                return true;
            testing_program::MoveTo(D(), Root(), cx + dx, cy + dy);
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            testing_program::ClickAt(D(), Root(), cx + dx, cy + dy);
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
        }
        return false;
    }

    // The field at (x, y) on the screen: its text replaced by `text`, and Return.
    void TypeAt(int x, int y, const std::string& text) {
        testing_program::ClickAt(D(), Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        testing_program::PressKeys(D(), {XK_Control_L, XK_a});
        testing_program::TypeText(D(), text);
        testing_program::PressKeys(D(), {XK_Return});
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
    }
    // The same for the field (dx, dy) from a caption in the window (the caption's row: dy 5).
    bool TypeInto(Window w, const std::string& caption, int dx, const std::string& text,
                  int dy = 5) {
        int x = 0, y = 0;
        if (!WaitForText(w, caption, &x, &y)) return false;
        TypeAt(x + dx, y + dy, text);
        return true;
    }

    // The main window's status line shows the text.
    bool StatusShows(const std::string& text, int ms = 10000) {
        int x = 0, y = 0;
        return WaitForText(main, text, &x, &y, ms);
    }

    std::string Check(const std::string& arguments) {
        int status = -1;
        const std::string out = RunCommand(ORVA_PYTHON " '" + files.File("check.py") + "' " + arguments + " 2>&1",
                                           &status);
        return status == 0 ? out.substr(0, out.find_last_not_of('\n') + 1) : "check.py failed: " + out;
    }
    static bool Verified(const std::string& file) {
        int status = -1;
        const std::string out = RunCommand("/usr/bin/fitsverify -q '" + file + "' 2>&1", &status);
        return out.find("verification OK") != std::string::npos;
    }
    std::string Keep(const std::string& name) {
        const std::string path = std::string(ORVA_BINARY_DIR) + "/" + name + ".ppm";
        screen.Grab(Root(), &shot);
        testing_program::WritePpm(path, shot);
        return path;
    }

    testing_util::TempFolder files;
    Screen screen;
    std::optional<testing_program::ProgramRun> program;
    Window main = 0;
    Picture shot;
};

// Unsigned data, 16 Bit and "As Input" on the Output page: no clipping question, and the
// file holds every value (astropy reads uint16 equal to the input: BITPIX 16, BZERO 32768).
// "Unsigned" can be chosen for FITS, and gives the same file.
TEST_F(OutputSaveProgram, UnsignedDataSavedAsInputKeepEveryValue) {
    ASSERT_TRUE(Start("uns16.fits"));
    const Window page = OpenOutputPage();
    ASSERT_NE(page, 0u) << "no Output page: " << Keep("save_unsigned_no_page");
    ASSERT_TRUE(ClickText(page, "16 Bit")) << Keep("save_unsigned_page");
    ASSERT_TRUE(ClickText(page, "Auto")) << "no range button showing Auto: " << Keep("save_unsigned_page");
    // The range button steps from "Auto" to "As Input".
    ASSERT_TRUE(WaitForNoText(page, "Auto")) << Keep("save_unsigned_page");

    mkdir(files.File("a").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/u.fits")));
    const std::string written = files.File("a/u001_snr0001.fits");
    EXPECT_TRUE(StatusShows(written + " saved")) << Keep("save_unsigned") << "\n" << program->Log();
    EXPECT_EQ(screen.FindWindow("Clipping Detect..."), 0u) << "the write clipped";
    EXPECT_EQ(Check("same '" + written + "' '" + files.File("uns16.npy") + "'"), "uint16 16 32768 equal");
    EXPECT_TRUE(Verified(written));

    // "Unsigned" is not greyed for FITS: chosen, the file is the same.
    // (Its caption is found by the letters above the foot of the button: the "g" is cut there.)
    std::pair<int, int> at;
    ASSERT_TRUE(ClickText(page, "Unsi", &at)) << Keep("save_unsigned_toggle");
    // The toggle is on: its face turns dark beside the caption.
    bool on = false;
    for (int waited = 0; waited < 4000 && !on; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        on = screen.Grab(Root(), &shot) && shot.At(at.first - 3, at.second + 4)[0] < 80;
    }
    EXPECT_TRUE(on) << "\"Unsigned\" did not turn on: " << Keep("save_unsigned_toggle");
    mkdir(files.File("b").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("b/u.fits")));
    const std::string second = files.File("b/u001_snr0001.fits");
    EXPECT_TRUE(StatusShows(second + " saved")) << Keep("save_unsigned_ticked") << "\n" << program->Log();
    EXPECT_EQ(Check("same '" + second + "' '" + files.File("uns16.npy") + "'"), "uint16 16 32768 equal");
    EXPECT_TRUE(Verified(second));
    EXPECT_EQ(program->End(), 0);
}

// The Output page that a Save opens beside its dialog goes with that save: when the dialog
// is cancelled and when the file is written (the status line tells what became of it).
// Opened from the View menu it stands until Esc puts it away.
TEST_F(OutputSaveProgram, TheOutputPageGoesWithItsSaveAndWithEsc) {
    ASSERT_TRUE(Start("s16.fits"));
    const Window dialog = OpenSaveDialog();
    ASSERT_NE(dialog, 0u) << program->Log();
    ASSERT_NE(screen.WaitForWindow(kOutputPage, 8000), 0u) << "no Output page beside the dialog";
    ASSERT_TRUE(ClickText(dialog, "Cancel")) << Keep("page_no_cancel");
    ASSERT_TRUE(testing_util::WaitUntil([&] { return screen.FindWindow(kSaveTitle) == 0; }, 8000));
    EXPECT_TRUE(OutputPageGone()) << "the page stayed after Cancel: " << Keep("page_after_cancel");

    mkdir(files.File("a").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/s.fits")));
    EXPECT_TRUE(StatusShows(files.File("a/s001_snr0001.fits") + " saved")) << Keep("page_save") << "\n"
                                                                            << program->Log();
    EXPECT_TRUE(OutputPageGone()) << "the page stayed after the save: " << Keep("page_after_save");

    const Window page = OpenOutputPage();
    ASSERT_NE(page, 0u) << "no Output page from the View menu: " << Keep("page_from_view");
    ASSERT_TRUE(ClickText(page, "DESTINATION"));
    testing_program::PressKeys(D(), {XK_Escape});
    EXPECT_TRUE(OutputPageGone()) << "Esc left the page: " << Keep("page_after_esc");
    EXPECT_EQ(program->End(), 0);
}

// The output writes one file per frame, each named by the pattern from the typed name: the
// message names the first and the last file written, and no file of the typed name alone is
// made.
TEST_F(OutputSaveProgram, ACubeSavedFilePerFrameIsReportedByTheFilesWritten) {
    ASSERT_TRUE(Start("c3.fits"));
    int status = -1;
    RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
               "np.save(\"" + files.File("c3.npy") + "\", fits.getdata(\"" + files.File("c3.fits") + "\"))'",
               &status);
    ASSERT_EQ(status, 0);
    mkdir(files.File("out").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("out/cube.fits")));
    const std::string first = files.File("out/cube001_snr0001.fits");
    EXPECT_TRUE(StatusShows(first + " ... cube003_snr0001.fits saved, [stream(s) 3, frame(s) 3]"))
        << Keep("save_cube") << "\n" << program->Log();
    for (int f = 0; f < 3; ++f) {
        const std::string name = files.File("out/cube00" + std::to_string(f + 1) + "_snr0001.fits");
        EXPECT_EQ(Check("same '" + name + "' '" + files.File("c3.npy") + "' " + std::to_string(f)),
                  "float64 -64 0 equal");  // the output's type at first: 64-bit reals
        EXPECT_TRUE(Verified(name)) << name;
    }
    EXPECT_FALSE(testing_util::Exists(files.File("out/cube.fits")));
    EXPECT_EQ(program->End(), 0);
}

// A second save whose pattern-built names exist asks one question naming the three files;
// "No" keeps them as they were, "Yes" replaces them.
TEST_F(OutputSaveProgram, ASecondSaveAsksOnceBeforeReplacingTheFiles) {
    ASSERT_TRUE(Start("c3.fits"));
    mkdir(files.File("out").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("out/cube.fits")));
    std::vector<std::string> names;
    for (int f = 1; f <= 3; ++f) names.push_back(files.File("out/cube00" + std::to_string(f) + "_snr0001.fits"));
    ASSERT_TRUE(StatusShows("saved, [stream(s) 3, frame(s) 3]", 10000)) << Keep("save_twice_first");
    ASSERT_EQ(Check("mark '" + names[0] + "' '" + names[1] + "' '" + names[2] + "'"), "");

    ASSERT_TRUE(SaveAs(files.File("out/cube.fits")));
    Window question = screen.WaitForWindow(kReplaceTitle, 10000);
    ASSERT_NE(question, 0u) << "no question before the files were replaced: " << Keep("save_twice_no_question");
    int x = 0, y = 0;
    // The files' descriptions and the save's log are replaced with them: named too.
    EXPECT_TRUE(WaitForText(question, "7 files exist:", &x, &y)) << Keep("save_twice_question");
    EXPECT_TRUE(WaitForText(question, names[2], &x, &y)) << Keep("save_twice_question");
    ASSERT_TRUE(ClickText(question, "No"));
    EXPECT_TRUE(StatusShows(names[0] + " ... cube.log: 7 files exist, not replaced"))
        << Keep("save_twice_refused");
    for (const std::string& name : names) EXPECT_EQ(Check("marked '" + name + "'"), "marked") << name;

    ASSERT_TRUE(SaveAs(files.File("out/cube.fits")));
    question = screen.WaitForWindow(kReplaceTitle, 10000);
    ASSERT_NE(question, 0u) << Keep("save_thrice");
    ASSERT_TRUE(ClickText(question, "Yes"));
    EXPECT_TRUE(StatusShows(names[0] + " ... cube003_snr0001.fits saved, [stream(s) 3, frame(s) 3]"))
        << Keep("save_thrice_saved");
    for (const std::string& name : names) {
        EXPECT_EQ(Check("marked '" + name + "'"), "replaced") << name;
        EXPECT_TRUE(Verified(name)) << name;
    }
    EXPECT_EQ(program->End(), 0);
}

// A cube saved one file per frame where frame 2's name is taken by a folder: the status
// line says in the error colour that that file was not written, the other four are
// written and read back by astropy, the folder stays, and no temporary file is left.
TEST_F(OutputSaveProgram, AFileWhoseNameIsTakenIsReportedAsAnError) {
    ASSERT_TRUE(Start("c5.fits"));
    mkdir(files.File("out").c_str(), 0700);
    const std::string blocked = files.File("out/cube002_snr0001.fits");
    ASSERT_EQ(mkdir(blocked.c_str(), 0700), 0);
    ASSERT_TRUE(SaveAs(files.File("out/cube.fits")));
    EXPECT_TRUE(StatusShows("'" + blocked + "' - not written")) << Keep("save_blocked") << "\n" << program->Log();
    EXPECT_GT(testing_program::ErrorPixelsOnTheStatusLine(screen, main), 20) << "not in the error colour: " << Keep("save_blocked_colour");
    struct stat st {};
    ASSERT_EQ(stat(blocked.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    int status = -1;
    RunCommand(ORVA_PYTHON " -c 'import numpy as np; from astropy.io import fits; "
               "np.save(\"" + files.File("c5.npy") + "\", fits.getdata(\"" + files.File("c5.fits") + "\"))'",
               &status);
    ASSERT_EQ(status, 0);
    for (int f : {1, 3, 4, 5}) {
        const std::string name = files.File("out/cube00" + std::to_string(f) + "_snr0001.fits");
        EXPECT_EQ(Check("same '" + name + "' '" + files.File("c5.npy") + "' " + std::to_string(f - 1)),
                  "float64 -64 0 equal");
        EXPECT_TRUE(Verified(name)) << name;
    }
    if (DIR* dir = opendir(files.File("out").c_str())) {
        while (const dirent* e = readdir(dir)) EXPECT_NE(std::string(e->d_name).rfind("orv", 0), 0u) << e->d_name;
        closedir(dir);
    }
    EXPECT_EQ(program->End(), 0);
}

// "Files of type" stepped to "Binary" in the save dialog writes raw samples under a
// binary name; "Binary" chosen with the Output page's format arrows is the type the next
// dialog starts with, and what it writes.
TEST_F(OutputSaveProgram, BinaryChosenInTheDialogOrOnThePageWritesARawFile) {
    ASSERT_TRUE(Start("s16.fits"));
    for (const char* folder : {"a", "b", "c"}) mkdir(files.File(folder).c_str(), 0700);
    const Window dialog = OpenSaveDialog();
    ASSERT_NE(dialog, 0u) << program->Log();
    ASSERT_NE(screen.WaitForWindow(kOutputPage, 8000), 0u) << "no Output page beside the dialog";
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    // The type's right arrow stands 373 pixels right of the "Files of type:" caption.
    ASSERT_TRUE(StepUntil(dialog, "Files of type:", 373, 5, "Binary")) << Keep("save_dialog_types");
    ASSERT_TRUE(TypeName(dialog, files.File("a/b.fits")));
    const std::string raw = files.File("a/b001_snr0001.dat");
    EXPECT_TRUE(StatusShows(raw + " saved")) << Keep("save_binary") << "\n" << program->Log();
    EXPECT_FALSE(testing_util::Exists(files.File("a/b001_snr0001.fits")));
    EXPECT_EQ(Check("raw '" + raw + "' '" + files.File("s16.npy") + "'"), "equal");

    // The Output page's format arrows ("Format:" caption, left arrow 237 pixels on, right
    // arrow 250): FITS chosen there is what the next Save writes, and then Binary.
    // ("200 [FITS]", a format of its own, stands between them.)
    const Window page = OpenOutputPage();
    ASSERT_NE(page, 0u) << "no Output page: " << Keep("save_page_none");
    ASSERT_TRUE(StepUntil(page, "Format:", 237, 5, "FITS", "200")) << Keep("save_page_fits");
    ASSERT_TRUE(SaveAs(files.File("b/x")));
    const std::string fits = files.File("b/x001_snr0001.fits");
    EXPECT_TRUE(StatusShows(fits + " saved")) << Keep("save_page_fits_saved") << "\n" << program->Log();
    EXPECT_EQ(Check("same '" + fits + "' '" + files.File("s16.npy") + "'"), "float64 -64 0 equal");
    EXPECT_TRUE(Verified(fits));
    ASSERT_TRUE(StepUntil(page, "Format:", 250, 5, "Binary")) << Keep("save_page_binary");
    ASSERT_TRUE(SaveAs(files.File("c/x")));
    const std::string second = files.File("c/x001_snr0001.dat");
    EXPECT_TRUE(StatusShows(second + " saved")) << Keep("save_page_binary_saved") << "\n" << program->Log();
    EXPECT_EQ(Check("raw '" + second + "' '" + files.File("s16.npy") + "'"), "equal");
    EXPECT_FALSE(testing_util::Exists(files.File("c/x001_snr0001.fits")));
    EXPECT_EQ(program->End(), 0);
}

// Six significant digits, as the Info page gives its figures.
std::string Six(double v) {
    char text[32] = "";
    FormatDoubleFit(6, text, v, nullptr);
    return text;
}

// Signed 16-bit data (-500..2999) saved as FITS 16 bit with "Unsigned" on: astropy reads
// the values saved, and so does the program itself when it opens the file again with the
// service file written beside it (the Info page's MinMax and Mean are numpy's).
TEST_F(OutputSaveProgram, SignedDataSavedUnsignedReopensWithTheValuesSaved) {
    ASSERT_TRUE(Start("s16.fits"));
    const Window page = OpenOutputPage();
    ASSERT_NE(page, 0u) << "no Output page: " << Keep("save_signed_no_page");
    ASSERT_TRUE(ClickText(page, "16 Bit")) << Keep("save_signed_page");
    std::pair<int, int> at;
    ASSERT_TRUE(ClickText(page, "Unsi", &at)) << Keep("save_signed_page");
    bool on = false;
    for (int waited = 0; waited < 4000 && !on; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        on = screen.Grab(Root(), &shot) && shot.At(at.first - 3, at.second + 4)[0] < 80;
    }
    ASSERT_TRUE(on) << "\"Unsigned\" did not turn on: " << Keep("save_signed_toggle");
    mkdir(files.File("a").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/u.fits")));
    const std::string written = files.File("a/u001_snr0001.fits");
    EXPECT_TRUE(StatusShows(written + " saved")) << Keep("save_signed") << "\n" << program->Log();
    EXPECT_TRUE(testing_util::Exists(files.File("a/u001_snr0001.fs")));
    EXPECT_TRUE(Verified(written));
    int status = -1;
    const std::string stats = RunCommand(
        ORVA_PYTHON " -c 'import sys, numpy as np; from astropy.io import fits; "
        "v = fits.getdata(sys.argv[1]).astype(np.float64); w = np.load(sys.argv[2]).astype(np.float64); "
        "print(int(np.array_equal(v, w)), repr(v.min()), repr(v.max()), repr(v.mean()))' '" +
            written + "' '" + files.File("s16.npy") + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << stats;
    int same = 0;
    double minimum = 0, maximum = 0, mean = 0;
    std::istringstream(stats) >> same >> minimum >> maximum >> mean;
    EXPECT_EQ(same, 1) << "astropy reads other values: " << stats;
    EXPECT_EQ(program->End(), 0);

    // Opened again, with its service file: the Info page's figures are those of the values.
    std::string why;
    main = testing_program::StartOnFiles(screen, program, files.File("run2"), {written}, &why);
    ASSERT_NE(main, 0u) << why;
    ASSERT_TRUE(program->WaitForLog("Source format", 20000)) << program->Log();
    const std::string minMax = Six(minimum) + " / " + Six(maximum), meanText = Six(mean);
    bool seen = false;
    why = "no Info page";
    for (int waited = 0; waited < 20000 && !seen; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        screen.Raise(main);
        if (!screen.Grab(main, &shot)) continue;
        int mx = 0, my = 0, rx = 0, ry = 0;
        if (!testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height, testing_program::UiTextInk("Mean"),
                                      &mx, &my) ||
            !testing_program::FindInk(shot, 0, my, shot.width / 2, shot.height - my,
                                      testing_program::UiTextInk("RMS"), &rx, &ry))
            continue;
        const int step = ry - my;
        seen = step > 0 && testing_program::ListCellShows(shot, mx, my, meanText, &why) &&
               testing_program::ListCellShows(shot, mx, my - 2 * step, minMax, &why);
    }
    EXPECT_TRUE(seen) << why << " (want " << minMax << ", mean " << meanText << "): " << Keep("save_signed_reopened");
    EXPECT_EQ(program->End(), 0);
}

// "Blur" added on the Plug-ins page over a float file with six NaN samples, and the
// processed data saved (64-bit reals): the file holds NaN at those six places only, and
// elsewhere the Blur of the data with each NaN neighbour counted as the centre sample
// (numpy, edges repeated).
TEST_F(OutputSaveProgram, BlurredNaNSamplesStayWhereTheyWere) {
    ASSERT_TRUE(StartOnPluginsPage("nan.fits"));
    ASSERT_TRUE(AddBlur());

    ASSERT_NE(ConnectProcessedData(), 0u) << Keep("blur_no_connect") << program->Log();
    mkdir(files.File("a").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/b.fits"), "Save As - [Proccessing] [All]"));
    const std::string written = files.File("a/b001_snr0001.fits");
    EXPECT_TRUE(StatusShows(written + " saved")) << Keep("blur_saved") << "\n" << program->Log();
    EXPECT_TRUE(Verified(written));
    int status = -1;
    const std::string got = RunCommand(
        ORVA_PYTHON " -c 'import sys, numpy as np; from astropy.io import fits\n"
        "a = fits.getdata(sys.argv[1]).astype(np.float64); b = fits.getdata(sys.argv[2])\n"
        "w = np.array([[1, 1, 1], [1, 2, 1], [1, 1, 1]]) / 10.0\n"
        "p = np.pad(a, 1, mode=\"edge\"); want = np.zeros_like(a)\n"
        "for y in range(a.shape[0]):\n"
        "    for x in range(a.shape[1]):\n"
        "        c = a[y, x]; n = p[y:y + 3, x:x + 3].copy(); n[np.isnan(n)] = c\n"
        "        want[y, x] = c if np.isnan(c) else (w * n).sum()\n"
        "print(b.dtype.name, int(np.isnan(b).sum()), bool((np.isnan(b) == np.isnan(a)).all()), "
        "float(np.nanmax(np.abs(b - want))) < 1e-9)' '" +
            files.File("nan.fits") + "' '" + written + "' 2>&1",
        &status);
    EXPECT_EQ(got, "float64 6 True True\n");
    EXPECT_EQ(program->End(), 0);
}

// Rotated by 30 degrees on the affine page, the processed data saved as Real 32 and as 16
// bit: where the rotated frame has no data (its corners) the Real 32 file holds NaN, with
// DATAMIN and DATAMAX those of the data; the 16-bit file holds its BLANK value there, with
// the card, so that astropy finds NaN at the same places; both pass fitsverify.
TEST_F(OutputSaveProgram, WhereARotatedFrameHasNoDataTheFilesHoldMissingSamples) {
    ASSERT_TRUE(StartOnPluginsPage("s16.fits"));  // the affine filter's page
    ASSERT_TRUE(ClickText(0, "Lock")) << Keep("rotate_no_lock");
    // The angle's field stands 120 pixels right of its label.
    ASSERT_TRUE(TypeInto(0, "Rotate angle [Z]:", 120, "30")) << Keep("rotate_no_angle");
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const Window page = ConnectProcessedData();
    ASSERT_NE(page, 0u) << Keep("rotate_no_connect") << program->Log();
    ASSERT_TRUE(ClickText(page, "Real 32")) << Keep("rotate_no_real32");
    mkdir(files.File("a").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/r.fits"), "Save As - [Proccessing] [All]"));
    const std::string real = files.File("a/r001_snr0001.fits");
    EXPECT_TRUE(StatusShows(real + " saved")) << Keep("rotate_saved") << "\n" << program->Log();
    ASSERT_TRUE(ClickText(page, "16 Bit")) << Keep("rotate_no_16");
    mkdir(files.File("b").c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("b/r.fits"), "Save As - [Proccessing] [All]"));
    const std::string integer = files.File("b/r001_snr0001.fits");
    EXPECT_TRUE(StatusShows(integer + " saved")) << Keep("rotate_saved_16") << "\n" << program->Log();
    EXPECT_TRUE(Verified(real));
    EXPECT_TRUE(Verified(integer));
    int status = -1;
    const std::string got = RunCommand(
        ORVA_PYTHON " -c 'import sys, numpy as np; from astropy.io import fits\n"
        "r = fits.open(sys.argv[1])[0]; i = fits.open(sys.argv[2])[0]; a = r.data.astype(np.float64)\n"
        "b = i.data.astype(np.float64); m = np.isnan(a); h, w = a.shape\n"
        "print(r.data.dtype.name, i.header[\"BITPIX\"], \"BLANK\" in i.header, m.sum() > 100,\n"
        "      bool(m[0, 0] and m[0, -1] and m[-1, 0] and m[-1, -1] and not m[h // 2, w // 2]),\n"
        "      bool((np.isnan(b) == m).all()), float(np.nanmin(a)) > -1e30, float(np.nanmin(b)) > -1e30,\n"
        "      abs(r.header[\"DATAMIN\"] - np.nanmin(a)) < 1e-3, abs(r.header[\"DATAMAX\"] - np.nanmax(a)) < 1e-3)' '" +
            real + "' '" + integer + "' 2>&1",
        &status);
    EXPECT_EQ(got, "float32 16 True True True True True True True True\n");
    EXPECT_EQ(program->End(), 0);
}

// The files of the walk below, written by Pillow and astropy: a colour bitmap; 32-bit reals
// with NaN holding whole numbers for 8-bit output (every byte value but 100, and every byte
// value) and for unsigned 16-bit output (real zeros among them); a 5-frame cube of 100 x 100
// samples; a ramp for the affine filter and the convolver; a raw file of 16 header bytes,
// 30 x 20 bytes whose mean is 198.5, and 37 bytes of something else; the colour bitmap again,
// with a service file (as "Update" keeps it) that sums its channels in a crop.
constexpr const char* kMakeWalk = R"(
import sys
import numpy as np
from astropy.io import fits
from PIL import Image
d = sys.argv[1]
y, x = np.mgrid[0:30, 0:40]
rgb = np.stack([x * 6, y * 8, (x + y) * 3], axis=-1).astype(np.uint8)
Image.fromarray(rgb, 'RGB').save(d + '/col.bmp')
np.save(d + '/col.npy', rgb)
i = np.arange(48 * 64)
gap = (i % 256).astype(np.float32)
gap[gap == 100] = 101
full = (i % 256).astype(np.float32)
for a in (gap, full):
    a[(i >= 256) & (i % 7 == 3)] = np.nan
fits.PrimaryHDU(gap.reshape(48, 64)).writeto(d + '/f8gap.fits')
fits.PrimaryHDU(full.reshape(48, 64)).writeto(d + '/f8full.fits')
u = ((i * 977) % 60001).astype(np.float32)
u[(i % 97) == 0] = 0
u[(i % 13) == 5] = np.nan
fits.PrimaryHDU(u.reshape(48, 64)).writeto(d + '/f16.fits')
np.save(d + '/f8gap.npy', gap.reshape(48, 64)); np.save(d + '/f8full.npy', full.reshape(48, 64))
np.save(d + '/f16.npy', u.reshape(48, 64))
f, y, x = np.mgrid[0:5, 0:100, 0:100]
c = (f * 1000 + (x + 2 * y) % 300).astype(np.int16)
fits.PrimaryHDU(c).writeto(d + '/stack.fits')
np.save(d + '/stack.npy', c)
y, x = np.mgrid[0:24, 0:32]
r = ((x * 7 + y * 13) % 1000 - 300).astype(np.int16)
fits.PrimaryHDU(r).writeto(d + '/ramp.fits')
np.save(d + '/ramp.npy', r)
raw = (np.arange(600) % 100 + 149).astype(np.uint8)
open(d + '/raw.dat', 'wb').write(bytes(16) + raw.tobytes() + bytes(range(200, 237)))
Image.fromarray(rgb, 'RGB').save(d + '/sum.bmp')
open(d + '/sum.fs', 'w').write('SEL(URL=<sum.bmp>)\n{\n [{424C4543-00000000-54504E4954534F49-00000000}]\n'
                               ' SIZEX=40\n SIZEY=30\n CropBoundBox=5, 30, 5, 20\n Channels=3\n NChannel_Out=1\n'
                               ' ConvSpec_Flag=-1\n}\n')
)";

// Judges the walk's files, one line each of "WHAT<tab>FILE<tab>NPY[<tab>K]", a line of verdict
// for each: "colour" (the planes against the picture's channels), "blank" (BLANK, real samples
// equal, NaN where missing, DATAMIN and DATAMAX those of the data, the missing count: astropy
// with its unsigned forms off), "frame" (frame K of a cube), "blur" (the ramp zoomed twice
// along X, each column repeated, then 1 1 1 / 1 2 1 / 1 1 1 over ten, edges repeated).
constexpr const char* kJudgeWalk = R"(
import sys
import numpy as np
from astropy.io import fits
def judge(what, name, npy, extra):
    npy = np.load(npy)
    with fits.open(name, uint=False) as f:
        h = f[0].header.copy()  # before the data: scaling takes BLANK, BSCALE and BZERO out
        d = f[0].data.astype(np.float64)
    if what == 'colour':
        want = npy.transpose(2, 0, 1).astype(np.float64)
        return '%s %s %s %s' % (d.shape, h['NCHAN'], h.get('CHANPLAN'), float(np.abs(d - want).max()) if d.shape == want.shape else 'shape')
    if what == 'blank':
        m = np.isnan(npy)
        return '%s %d %d %d %d' % (h.get('BLANK', 'none'), np.array_equal(d[~m], npy[~m].astype(np.float64)),
                                   np.array_equal(np.isnan(d), m), h['DATAMIN'] == np.nanmin(npy) and h['DATAMAX'] == np.nanmax(npy), m.sum())
    if what == 'frame':
        return str(int(np.array_equal(d, npy[int(extra)])))
    a = np.repeat(npy.astype(np.float64), 2, axis=1)
    p = np.pad(a, 1, mode='edge')
    w = np.array([[1, 1, 1], [1, 2, 1], [1, 1, 1]]) / 10.0
    want = sum(w[j, i] * p[j:j + a.shape[0], i:i + a.shape[1]] for j in range(3) for i in range(3))
    if d.shape != want.shape:
        return '%s shape' % (d.shape,)
    worst = np.abs(d - want)
    return '%s %s' % (d.shape, 'ok' if worst.max() < 1e-9 else 'differ by %g at %d samples' % (worst.max(), (worst > 1e-9).sum()))
for line in open(sys.argv[1]):
    what, name, npy, extra = (line.rstrip('\n').split('\t') + [''])[:4]
    try:
        print(judge(what, name, npy, extra))
    except Exception as e:
        print('failed: %s' % e)
)";

// A folder on a small memory file system, unmounted when the object goes; not mounted
// where mounting needs rights the test lacks.
class SmallDisk {
public:
    SmallDisk(const std::string& path, uint64_t bytes) : path_(path) {
        mkdir(path.c_str(), 0700);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0700";
        mounted_ = ::mount("orva-test", path.c_str(), "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC,
                           options.c_str()) == 0;
    }
    ~SmallDisk() {
        if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;
    bool Mounted() const { return mounted_; }

private:
    std::string path_;
    bool mounted_ = false;
};

// Every save of one session tells the truth about what it wrote, as a user finds it: a colour
// bitmap saved as FITS holds its colours as planes for astropy and cfitsio; missing samples
// of 8-bit and unsigned 16-bit output take a blank code no real sample holds, and where every
// code holds data the status line says in the error colour how many stayed unmarked; a cube
// saved to a disk that fills after its first frame names the four files not written in the
// error colour and leaves no temporary file (without the right to mount a small disk, a file
// size limit set on the program for that save refuses all five files); Step 2 on the Options
// page saves the three frames it visits; the convolver moved after the affine filter repeats
// the zoomed frame's edges; and a raw file described anew (8 bit, Begin 16, Axis X 30, Axis
// Y 20) shows its whole 30 x 20 frame on the Info page, with the mean of those samples, and
// "Remove mean" puts exactly -198.5 in the Zero offset field.
TEST_F(OutputSaveProgram, EverySaveOfASessionTellsTheTruth) {
    testing_util::WriteText(files.File("judge.py"), kJudgeWalk);
    int status = -1;
    const std::string made = RunScript("walk.py", kMakeWalk, &status);
    if (status != 0) GTEST_SKIP() << "astropy or Pillow could not write the files: " << made;
    // The files are judged together at the end (one start of Python and astropy).
    struct Verdict {
        std::string request, want;
    };
    std::vector<Verdict> verdicts;
    auto judge = [&](const std::string& what, const std::string& file, const std::string& npy,
                     const std::string& want, const std::string& extra = "") {
        verdicts.push_back(
            {what + "\t" + file + "\t" + files.File(npy) + (extra.empty() ? "" : "\t" + extra),
             want});
    };
    const std::vector<std::string> names = {"col.bmp",    "f8gap.fits", "f8full.fits", "f16.fits",
                                            "stack.fits", "ramp.fits",  "raw.dat",     "sum.bmp"};
    std::vector<std::string> paths;
    for (const std::string& n : names) paths.push_back(files.File(n));
    std::string why;
    main = testing_program::StartOnFiles(screen, program, files.File("run"), paths, &why);
    ASSERT_NE(main, 0u) << why;
    // The fast selector's "FILE(S):" row (laid out as its "FRAME(S):" row) stepped until its
    // field shows item n (1 the first file opened).
    auto item = [&](int n) {
        testing_program::FrameSelector row;
        for (int waited = 0; waited <= 20000; waited += 250) {
            int fx = 0, fy = 0;
            if (screen.Grab(Root(), &shot) && row.Find(shot) &&
                testing_program::FindText(shot, 0, 0, shot.width, row.y, "FILE(S):", &fx, &fy)) {
                // The row's fields follow its caption, which is shorter than "FRAME(S):".
                row.x = fx - (testing_program::TextInk("FRAME(S):").width -
                              testing_program::TextInk("FILE(S):").width);
                row.y = fy;
                const int shown = row.Shown(shot, static_cast<int>(names.size()));
                if (shown == n) return true;
                if (shown != 0) {
                    if (shown < n)
                        row.Next(D());
                    else
                        row.Back(D());
                    // One step at a time: the next click waits for this one to show.
                    for (int moved = 0; moved < 3000; moved += 100) {
                        std::this_thread::sleep_for(std::chrono::milliseconds(100));
                        if (screen.Grab(Root(), &shot) && !row.Shows(shot, shown)) break;
                    }
                    continue;
                }
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    };

    // Every file opened, the last one shown.
    const auto opened = [&] {
        const std::string log = program->Log();
        size_t n = 0;
        for (size_t at = log.find("Source format"); at != std::string::npos;
             at = log.find("Source format", at + 1))
            ++n;
        return n;
    };
    for (int waited = 0; waited < 30000 && opened() < names.size(); waited += 250)
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    ASSERT_EQ(opened(), names.size()) << program->Log();
    ASSERT_TRUE(item(8)) << Keep("walk_no_last");
    // The bitmap whose channels are summed (100 to 570) is shown over its own values, not over
    // the 0 to 255 of a bitmap's samples: its preview is mostly not white.
    int white = 0, lit = 0;
    for (int waited = 0; waited < 10000; waited += 250) {
        white = lit = 0;
        for (Window preview : testing_program::ValuePageWindows(D(), main)) {
            Picture p;
            if (!screen.Grab(preview, &p)) continue;
            for (int py = 0; py < p.height; ++py)
                for (int px = 0; px < p.width; ++px) {
                    const uint8_t* c = p.At(px, py);
                    if (c[0] == c[1] && c[1] == c[2] && c[0] > 0) {
                        ++lit;
                        white += c[0] >= 250;
                    }
                }
        }
        if (lit > 200 && white * 4 < lit) break;
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
    }
    EXPECT_GT(lit, 200) << Keep("walk_summed");
    EXPECT_LT(white * 4, lit) << "white " << white << " of " << lit << ": "
                              << Keep("walk_summed_white");

    // Colour planes.
    ASSERT_TRUE(item(1)) << Keep("walk_no_tab");
    for (const char* folder : {"a", "b", "c", "d", "e", "f"})
        mkdir(files.File(folder).c_str(), 0700);
    ASSERT_TRUE(SaveAs(files.File("a/col.fits")));
    const std::string colour = files.File("a/col001_snr0001.fits");
    EXPECT_TRUE(StatusShows(colour + " saved")) << Keep("walk_colour") << "\n" << program->Log();
    judge("colour", colour, "col.npy", "(3, 30, 40) 3 True 0.0");
    EXPECT_TRUE(Verified(colour));

    // 8 bit: the data hold 255 (and 0, which astropy takes for no blank), not 100.
    int missing = 0;
    for (int i = 256; i < 48 * 64; ++i) missing += i % 7 == 3;
    ASSERT_TRUE(item(2)) << Keep("walk_no_gap_tab");
    const Window page = OpenOutputPage();
    ASSERT_NE(page, 0u) << "no Output page: " << Keep("walk_no_page");
    ASSERT_TRUE(ClickText(page, "8 Bit")) << Keep("walk_8bit");
    ASSERT_TRUE(SaveAs(files.File("b/f8gap.fits")));
    const std::string gap = files.File("b/f8gap001_snr0001.fits");
    EXPECT_TRUE(StatusShows(gap + " saved")) << Keep("walk_gap") << "\n" << program->Log();
    judge("blank", gap, "f8gap.npy", "100 1 1 1 " + std::to_string(missing));
    EXPECT_TRUE(Verified(gap));
    // Every byte value holds data: the missing samples stay 255, unmarked, and the status
    // line says so in the error colour.
    ASSERT_TRUE(item(3));
    ASSERT_TRUE(SaveAs(files.File("c/f8full.fits")));
    const std::string full = files.File("c/f8full001_snr0001.fits");
    EXPECT_TRUE(StatusShows(std::to_string(missing) +
                            " missing sample(s) not marked (no free value): they read as 255;"))
        << Keep("walk_full") << "\n"
        << program->Log();
    EXPECT_NE(
        program->Log().find(std::to_string(missing) +
                            " missing sample(s) not marked (no free value): they read as 255; " +
                            full + " saved"),
        std::string::npos);
    EXPECT_GT(testing_program::ErrorPixelsOnTheStatusLine(screen, main, false), 20)
        << Keep("walk_full_colour");
    judge("blank", full, "f8full.npy", "none 1 0 1 " + std::to_string(missing));
    EXPECT_TRUE(Verified(full));
    // Unsigned 16 bit with real zeros: 65535 marks the missing samples (stored 32767).
    int missing16 = 0;
    for (int i = 0; i < 48 * 64; ++i) missing16 += i % 13 == 5;
    ASSERT_TRUE(item(4)) << Keep("walk_no_item4");
    ASSERT_TRUE(ClickText(page, "16 Bit")) << Keep("walk_16bit");
    // "Unsigned" stays on from the bytes (its face dark beside the caption).
    int ux = 0, uy = 0;
    ASSERT_TRUE(WaitForText(page, "Unsi", &ux, &uy)) << Keep("walk_unsigned");
    EXPECT_TRUE(screen.Grab(Root(), &shot) && shot.At(ux - 3, uy + 4)[0] < 80)
        << Keep("walk_unsigned_off");
    ASSERT_TRUE(SaveAs(files.File("d/f16.fits")));
    const std::string u16 = files.File("d/f16001_snr0001.fits");
    EXPECT_TRUE(StatusShows(u16 + " saved")) << Keep("walk_u16") << "\n" << program->Log();
    judge("blank", u16, "f16.npy", "32767 1 1 1 " + std::to_string(missing16));
    EXPECT_TRUE(Verified(u16));

    // A disk that fills after the cube's first frame (16-bit frames of 22880 bytes, six pages
    // each, on a disk of ten pages that the write log and the first frame's service file use
    // one each of). Without the right to mount it, a file size limit below one frame is set on
    // the program for this save, and none of the five is written.
    const std::string fullFolder = files.File("full");
    SmallDisk disk(fullFolder, 10 * 4096);
    ASSERT_TRUE(item(5));
    rlimit unlimited{}, small{};
    if (!disk.Mounted()) {
        ASSERT_EQ(prlimit(program->Pid(), RLIMIT_FSIZE, nullptr, &unlimited), 0);
        small = unlimited;
        small.rlim_cur = 16384;
        ASSERT_EQ(prlimit(program->Pid(), RLIMIT_FSIZE, &small, nullptr), 0);
    }
    ASSERT_TRUE(SaveAs(fullFolder + "/stack.fits"));
    const int firstLost = disk.Mounted() ? 2 : 1;
    auto frameFile = [&](const std::string& folder, int frame) {
        return folder + "/stack00" + std::to_string(frame) + "_snr0001.fits";
    };
    // Of more than four, the first three and the last are named.
    const int lostCount = 6 - firstLost;
    std::string lost = "'" + frameFile(fullFolder, firstLost) + "'";
    for (int k = 1; k < lostCount; ++k) {
        if (lostCount > 4 && k == 3) {
            lost += " ... " + frameFile("", 5).substr(1);
            break;
        }
        lost += ", " + frameFile("", firstLost + k).substr(1);
    }
    const std::string reason = disk.Mounted() ? std::strerror(ENOSPC) : std::strerror(EFBIG);
    lost += " - " + std::to_string(lostCount) + " not written: " + reason +
            (lostCount > 4 ? " (each is named in the log)" : "");
    // The status line shows the start of the message (the files not written first), the log all of
    // it.
    const std::string firstLine =
        "'" + frameFile(fullFolder, firstLost) + "', " + frameFile("", firstLost + 1).substr(1);
    EXPECT_TRUE(StatusShows(firstLine)) << Keep("walk_disk_full") << "\n" << program->Log();
    EXPECT_GT(testing_program::ErrorPixelsOnTheStatusLine(screen, main, false), 20)
        << Keep("walk_disk_full_colour");
    EXPECT_NE(program->Log().find(lost), std::string::npos) << lost << "\n" << program->Log();
    if (!disk.Mounted()) {
        ASSERT_EQ(prlimit(program->Pid(), RLIMIT_FSIZE, &unlimited, nullptr), 0);
    }
    if (disk.Mounted()) {
        EXPECT_NE(program->Log().find("; " + frameFile(fullFolder, 1) + " saved, [err(s) 4]"),
                  std::string::npos);
        judge("frame", frameFile(fullFolder, 1), "stack.npy", "1", "0");
        EXPECT_TRUE(Verified(frameFile(fullFolder, 1)));
    }
    for (int frame = firstLost; frame <= 5; ++frame)
        EXPECT_FALSE(testing_util::Exists(frameFile(fullFolder, frame)));
    if (DIR* dir = opendir(fullFolder.c_str())) {
        while (const dirent* e = readdir(dir))
            EXPECT_NE(std::string(e->d_name).rfind("orv", 0), 0u) << e->d_name;
        closedir(dir);
    }

    // Step 2 on the Options page: the save writes the three frames the step visits, 1, 3
    // and 5, and nothing asks about an input error.
    const Screen::Rect m = screen.RectOf(main);
    int x = 0, y = 0;
    ASSERT_TRUE(screen.Grab(Root(), &shot) &&
                testing_program::PageTab(shot, m.left, m.top, 0, &x, &y));
    testing_program::ClickAt(D(), Root(), x, y);
    for (int waited = 0; waited < 5000; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        if (screen.Grab(Root(), &shot) &&
            testing_program::OwnPageTab(shot, m.left, m.left + 330, m.top, 1, &x, &y))
            break;
    }
    testing_program::ClickAt(D(), Root(), x, y);
    ASSERT_TRUE(TypeInto(main, "Step:", 60, "2")) << Keep("walk_no_step");
    const std::string stepped = files.File("e");
    ASSERT_TRUE(SaveAs(stepped + "/stack.fits"));
    EXPECT_TRUE(StatusShows(frameFile(stepped, 1) +
                            " ... stack003_snr0001.fits saved, [stream(s) 3, frame(s) 3]"))
        << Keep("walk_step") << "\n"
        << program->Log();
    EXPECT_EQ(screen.FindWindow("Output"), 0u) << "an input error was asked about";
    for (int frame = 1; frame <= 3; ++frame)
        judge("frame", frameFile(stepped, frame), "stack.npy", "1", std::to_string(2 * frame - 2));
    EXPECT_FALSE(testing_util::Exists(frameFile(stepped, 4)));

    // The ramp zoomed twice along X by the affine filter (nearest: each column twice), then
    // "Blur" by the convolver moved after it: the edges of the zoomed frame are repeated.
    ASSERT_TRUE(item(6));
    ASSERT_TRUE(screen.Grab(Root(), &shot) &&
                testing_program::PageTab(shot, m.left, m.top, 1, &x, &y));
    testing_program::ClickAt(D(), Root(), x, y);
    // The filter's page: "Edit", "Properties".
    ASSERT_TRUE(ClickText(0, "Edit")) << Keep("walk_no_edit_menu");
    ASSERT_TRUE(ClickText(0, "Properties")) << Keep("walk_no_properties");
    ASSERT_TRUE(ClickText(0, "Lock")) << Keep("walk_no_lock");
    ASSERT_TRUE(ClickText(0, "Link [XY]")) << Keep("walk_no_link");
    // The X row's field, below "Scale:" right of the row's label.
    ASSERT_TRUE(TypeInto(0, "Scale:", 40, "200", 24)) << Keep("walk_no_scale");
    ASSERT_TRUE(AddBlur());
    ASSERT_TRUE(ClickText(0, "Edit")) << Keep("walk_no_edit");
    ASSERT_TRUE(ClickText(0, "Move Down")) << Keep("walk_no_move");
    ASSERT_NE(ConnectProcessedData(), 0u) << Keep("walk_no_connect") << program->Log();
    ASSERT_TRUE(ClickText(page, "Real 64")) << Keep("walk_no_real64");
    ASSERT_TRUE(SaveAs(files.File("f/ramp.fits"), "Save As - [Proccessing] [All]"));
    const std::string blurred = files.File("f/ramp001_snr0001.fits");
    EXPECT_TRUE(StatusShows(blurred + " saved")) << Keep("walk_blur") << "\n" << program->Log();
    judge("blur", blurred, "ramp.npy", "(24, 64) ok");
    EXPECT_TRUE(Verified(blurred));

    // The raw file described anew on the Options page: the Info page's Size and Crop Box
    // are the whole 30 x 20 frame, and the statistics those of its 600 samples.
    ASSERT_TRUE(item(7));
    const int column = m.left + 330;  // the page column, left of the cells and the Output page
    auto tab = [&](int n, bool own) {
        for (int waited = 0; waited < 5000; waited += 250) {
            if (screen.Grab(Root(), &shot) &&
                (own ? testing_program::OwnPageTab(shot, m.left, column, m.top, n, &x, &y)
                     : testing_program::PageTab(shot, m.left, m.top, n, &x, &y))) {
                testing_program::ClickAt(D(), Root(), x, y);
                std::this_thread::sleep_for(std::chrono::milliseconds(400));
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
        return false;
    };
    ASSERT_TRUE(tab(0, false));
    ASSERT_TRUE(tab(1, true)) << Keep("walk_no_options");
    // The page's "8 Bit" and "Unsigned" (buttons' captions, found by their ink alone).
    for (const char* button : {"8 Bit", "Unsi"}) {  // (the "g" of "Unsigned" is cut at the foot)
        ASSERT_TRUE(screen.Grab(Root(), &shot) &&
                    testing_program::FindInk(shot, m.left, m.top, column - m.left, m.bottom - m.top,
                                             button, false, &x, &y))
            << Keep("walk_no_type_button");
        testing_program::ClickAt(D(), Root(), x + 4, y + 5);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
    }
    ASSERT_TRUE(TypeInto(main, "Begin:", 60, "16")) << Keep("walk_no_begin");
    ASSERT_TRUE(TypeInto(main, "Axis X:", 70, "30")) << Keep("walk_no_axis_x");
    ASSERT_TRUE(TypeInto(main, "Axis Y:", 70, "20")) << Keep("walk_no_axis_y");
    // The Info page's statistic rows, counted up from "Mean" (RMS is the next one down).
    auto infoShows = [&](const std::vector<std::pair<int, std::string>>& rows) {
        int mx = 0, my = 0, rx = 0, ry = 0;
        if (!testing_program::FindInk(shot, m.left, m.top, column - m.left, m.bottom - m.top,
                                      testing_program::UiTextInk("Mean"), &mx, &my) ||
            !testing_program::FindInk(shot, m.left, my, column - m.left, m.bottom - my,
                                      testing_program::UiTextInk("RMS"), &rx, &ry)) {
            why = "no Info page";
            return false;
        }
        for (const auto& [up, text] : rows)
            if (!testing_program::ListCellShows(shot, mx, my - up * (ry - my), text, &why))
                return false;
        return true;
    };
    ASSERT_TRUE(tab(0, true));
    bool shown = false;
    for (int waited = 0; waited < 10000 && !shown; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown =
            screen.Grab(Root(), &shot) &&
            infoShows({{5, "30 x 20"}, {4, "30 x 20,  (0,  0)"}, {2, "149 / 248"}, {0, "198.5"}});
    }
    EXPECT_TRUE(shown) << why << ": " << Keep("walk_redescribed");
    // "Remove mean" beside "Zero offset:": exactly -198.5 in the field, and a mean of 0.
    ASSERT_TRUE(tab(1, true));
    ASSERT_TRUE(WaitForText(main, "Zero offset:", &x, &y)) << Keep("walk_no_zero");
    testing_program::ClickAt(D(), Root(), x + 229, y + 5);
    ASSERT_TRUE(ClickText(0, "Remove mean")) << Keep("walk_no_remove_mean");
    shown = false;
    for (int waited = 0; waited < 5000 && !shown; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown = screen.Grab(Root(), &shot) &&
                testing_program::FindText(shot, m.left, m.top, column - m.left, m.bottom - m.top,
                                          "Zero offset:", &x, &y) &&
                testing_program::ShowsText(shot, x + 66, y - 3, 120, 15, "-198.5", &why);
    }
    EXPECT_TRUE(shown) << why << ": " << Keep("walk_zero_field");
    ASSERT_TRUE(tab(0, true));
    shown = false;
    for (int waited = 0; waited < 10000 && !shown; waited += 250) {
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        shown = screen.Grab(Root(), &shot) && infoShows({{2, "-49.5 / 49.5"}, {0, "0"}});
    }
    EXPECT_TRUE(shown) << why << ": " << Keep("walk_mean_removed");

    // What astropy reads in the files written.
    std::string requests;
    for (const Verdict& v : verdicts) requests += v.request + "\n";
    testing_util::WriteText(files.File("requests.txt"), requests);
    const std::string got = RunCommand(ORVA_PYTHON " '" + files.File("judge.py") + "' '" +
                                           files.File("requests.txt") + "' 2>&1",
                                       &status);
    std::istringstream lines(got);
    for (const Verdict& v : verdicts) {
        std::string line;
        std::getline(lines, line);
        EXPECT_EQ(line, v.want) << v.request << "\n" << got;
    }
}

}  // namespace
}  // namespace orva
