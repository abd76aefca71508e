// Shape files as a user saves and loads them, in the real program on an image written by
// astropy, with XTest's pointer and keys only: a rectangle dragged open with F7 is saved
// with Extraction/Statistic > File > Save As... (the name typed into the file dialog); a
// copy of that file whose kind is not known, loaded with File > Load..., leaves the
// picture as it was and the status line says why; a file whose Slice role its rectangle
// cannot take loads as Statistic and says so; a Slice polyline loads with its role (the
// page shows it); with "Merge" ticked the saved file comes back as a shape of its own.
// Undo then steps back through the merge, the two loads and the drawing: the refused
// load left no step of its own.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "extraction_input.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;
using testing_program::Shown;

// A 400 x 300 ramp of greys inside a two-pixel white border that shows where the picture
// stands.
constexpr const char* kMake = R"(
import sys
import numpy as np
from astropy.io import fits
y, x = np.mgrid[0:300, 0:400]
v = (1000 + x + y).astype(np.int16)
v[:2, :] = v[-2:, :] = 4000
v[:, :2] = v[:, -2:] = 4000
fits.PrimaryHDU(v).writeto(sys.argv[1] + '/ramp.fits', overwrite=True)
)";

// A file as the program writes one: its header, then one anchor block.
std::string ShapeFileText(const char* role, const char* kind, const std::vector<std::pair<double, double>>& points) {
    std::ostringstream out;
    out << ";TIME=Tue Dec  8 06:15:44 2026\n\n;SHAPEROLE='" << role << "'\n;SHAPETYPE='" << kind
        << "'\n;OFFSETEDITFLAG=0\n;OFFSETAPERTURE=0\n;SUBPIX=1\n;COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n";
    for (const auto& [x, y] : points) out << x << " " << y << "\n";
    out << ";#end\n\n";
    return out.str();
}

class ShapeFileProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kMake);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
        testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
        std::string why;
        main = testing_program::StartOnFiles(screen, program, files.File("run"), {files.File("ramp.fits")}, &why);
        ASSERT_NE(main, 0u) << why;
        ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame)) << "no framed picture";
        ASSERT_NEAR(frame.zoom(400), 1.0, 1e-9) << "the test's pixels assume 100 %";
    }

    Window Root() const { return DefaultRootWindow(screen.display()); }
    Display* D() const { return screen.display(); }
    bool Grab(Picture* p) { return screen.Grab(Root(), p); }
    int SX(double x) const { return frame.left + static_cast<int>(std::floor(x)); }
    int SY(double y) const { return frame.top + static_cast<int>(std::floor(y)); }
    void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void Button(bool down) {
        XTestFakeButtonEvent(D(), 1, down ? True : False, CurrentTime);
        XSync(D(), False);
    }
    void Walk(int fromX, int fromY, int x, int y) {
        for (int i = 1; i <= 6; ++i) {
            testing_program::MoveTo(D(), Root(), fromX + (x - fromX) * i / 6, fromY + (y - fromY) * i / 6);
            Pause(40);
        }
    }
    // The pointer over the picture, away from the shapes, where the view takes the keys.
    void PointerOnPicture() {
        testing_program::MoveTo(D(), Root(), SX(380) + 1, SY(280));
        Pause(100);
        testing_program::MoveTo(D(), Root(), SX(380), SY(280));
        Pause(400);
    }

    // A shape's ink: a pixel that is not grey (the picture is a grey ramp in a white
    // border).
    static bool Coloured(const uint8_t* c) { return c[0] != c[1] || c[1] != c[2]; }
    bool ColouredNear(const Picture& p, int x, int y) const {
        for (int dy = -1; dy <= 1; ++dy)
            for (int dx = -1; dx <= 1; ++dx)
                if (Coloured(p.At(x + dx, y + dy))) return true;
        return false;
    }
    int ColouredInPicture(const Picture& p) const {
        int n = 0;
        for (int y = frame.top; y < frame.bottom; ++y)
            for (int x = frame.left; x < frame.right; ++x) n += Coloured(p.At(x, y)) ? 1 : 0;
        return n;
    }
    int Differing(const Picture& a, const Picture& b) const {
        int n = 0;
        for (int y = frame.top; y < frame.bottom; ++y)
            for (int x = frame.left; x < frame.right; ++x)
                if (std::memcmp(a.At(x, y), b.At(x, y), 3) != 0) ++n;
        return n;
    }
    // Waits until the picture's box equals `want`; the pixels still differing.
    bool WaitForSame(const Picture& want, int* left, int ms = 5000) {
        Picture now;
        for (int waited = 0; waited <= ms; waited += 200) {
            Pause(200);
            if (Grab(&now) && (*left = Differing(want, now)) == 0) return true;
        }
        return false;
    }
    // Waits until every point shows ink and none of `bare` does (picture pixels).
    bool WaitForInk(const std::vector<std::pair<double, double>>& inked,
                    const std::vector<std::pair<double, double>>& bare, std::string* why, int ms = 5000) {
        Picture p;
        for (int waited = 0; waited <= ms; waited += 250) {
            Pause(250);
            if (!Grab(&p)) continue;
            why->clear();
            auto at = [](double x, double y) { return std::to_string(x) + ", " + std::to_string(y) + "; "; };
            for (const auto& [x, y] : inked)
                if (!ColouredNear(p, SX(x), SY(y))) *why += "no ink at " + at(x, y);
            for (const auto& [x, y] : bare)
                if (ColouredNear(p, SX(x), SY(y))) *why += "ink at " + at(x, y);
            if (why->empty()) return true;
        }
        return false;
    }

    // Drags a rectangle open with F7 from the picture's pixel (x0, y0) to (x1, y1).
    void DragRectangle(int x0, int y0, int x1, int y1) {
        testing_program::MoveTo(D(), Root(), SX(x0) + 1, SY(y0));
        Pause(100);
        testing_program::MoveTo(D(), Root(), SX(x0), SY(y0));
        Pause(300);
        testing_program::PressKeys(D(), {XK_F7});
        Pause(200);
        Button(true);
        Walk(SX(x0), SY(y0), SX(x1), SY(y1));
        Pause(100);
        Button(false);
    }

    // Waits for the text in the box of the screen; where it stands.
    bool WaitForText(const std::string& text, int x, int y, int w, int h, int* at, int* aty, int ms = 5000) {
        return testing_program::WaitForScreenText(screen, &shot, text, x, y, w, h, at, aty, ms);
    }
    Screen::Rect MainRect() { return screen.RectOf(main); }
    // The text on the main window's status line.
    bool StatusShows(const std::string& text) {
        const Screen::Rect m = MainRect();
        int x = 0, y = 0;
        return WaitForText(text, m.left, m.bottom - 60, m.right - m.left, 60, &x, &y, 6000);
    }
    // The Extraction/Statistic page's text in its boxes.
    bool PageShows(const std::string& text) {
        const Screen::Rect m = MainRect();
        int x = 0, y = 0;
        return WaitForText(text, m.left, m.top, 330, 600, &x, &y, 6000);
    }

    // Extraction/Statistic > File > `entry` (or > `button` > `entry`: "Statistic" stands
    // above "File"), then the name typed into the file dialog (with its "Merge" box ticked
    // when asked) and Enter; true once the dialog has gone.
    ::testing::AssertionResult FileCommand(const std::string& entry, const std::string& path, bool merge = false,
                                           const std::string& button = "File") {
        const Screen::Rect m = MainRect();
        int x = 0, y = 0, tx = 0, ty = 0;
        bool tab = false;
        for (int waited = 0; waited < 10000 && !tab; waited += 250) {
            Pause(250);
            tab = testing_program::PageColumnTab(screen, main, 2, &tx, &ty);
        }
        if (!tab) return ::testing::AssertionFailure() << "no page tabs";
        testing_program::ClickAt(D(), Root(), tx, ty);
        if (!WaitForText("Create", m.left, m.top, 330, 500, &x, &y))
            return ::testing::AssertionFailure() << "no Create on the Extraction/Statistic page";
        if (!WaitForText("File", x + 40, y - 6, 200, 24, &x, &y))
            return ::testing::AssertionFailure() << "no File beside Create";
        if (button != "File" && !WaitForText(button, x - 60, y - 30, 200, 24, &x, &y))
            return ::testing::AssertionFailure() << "no " << button << " above File";
        bool shown = false;
        for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
            testing_program::ClickAt(D(), Root(), x + 10, y + 4);
            shown = WaitForText(entry, x - 60, y + 8, 320, 260, &tx, &ty, 2500);
        }
        if (!shown) return ::testing::AssertionFailure() << "no " << entry << " in the File menu";
        testing_program::MoveTo(D(), Root(), tx + 4, ty + 4);
        Pause(200);
        testing_program::ClickAt(D(), Root(), tx + 10, ty + 4);
        int fx = 0, fy = 0;
        const int width = DisplayWidth(D(), DefaultScreen(D())), height = DisplayHeight(D(), DefaultScreen(D()));
        if (!WaitForText("File name:", 0, 0, width, height, &fx, &fy, 8000))
            return ::testing::AssertionFailure() << "no file dialog after " << entry;
        if (merge) {
            // The "Merge" box below the name's label (its text is set in the system face):
            // a dark left edge with the box's light inside right of it.
            Picture p;
            int mx = -1, my = -1;
            auto dark = [&](int x, int y) { return p.At(x, y)[0] < 100 && p.At(x, y)[0] == p.At(x, y)[1]; };
            auto light = [&](int x, int y) {
                const uint8_t* c = p.At(x, y);
                return c[0] >= 230 && c[1] >= 230 && c[2] >= 200;
            };
            if (Grab(&p))
                for (int y = fy + 20; y < fy + 160 && mx < 0; ++y)
                    for (int x = fx - 30; x < fx + 40 && mx < 0; ++x)
                        if (dark(x, y) && dark(x, y + 4) && light(x + 3, y) && light(x + 3, y + 4)) {
                            mx = x + 4;
                            my = y + 3;
                        }
            if (mx < 0) return ::testing::AssertionFailure() << "no Merge box in the dialog";
            testing_program::ClickAt(D(), Root(), mx, my);
            Pause(300);
        }
        testing_program::ClickAt(D(), Root(), fx + 200, fy + 4);
        Pause(300);
        // A save dialog proposes a name: it goes first.
        testing_program::PressKeys(D(), {XK_End});
        for (int i = 0; i < 160; ++i) testing_program::PressKeys(D(), {XK_BackSpace});
        if (!testing_program::TypeText(D(), path)) return ::testing::AssertionFailure() << "cannot type " << path;
        Pause(200);
        testing_program::PressKeys(D(), {XK_Return});
        for (int waited = 0; waited <= 8000; waited += 250) {
            Pause(250);
            Picture p;
            if (Grab(&p) && !FindText(p, fx - 20, fy - 10, 120, 30, "File name:", &tx, &ty))
                return ::testing::AssertionSuccess();
        }
        return ::testing::AssertionFailure() << "the file dialog stayed after Enter";
    }

    // Waits until the statistics list of the "Chart Tools" window reads `count` right of
    // "Count:".
    ::testing::AssertionResult ListCount(const std::string& count, int ms = 10000) {
        std::string why = "no Chart Tools window";
        Picture p;
        Screen::Rect at;
        for (int waited = 0; waited <= ms; waited += 250) {
            if (testing_program::GrabTools(screen, &p, &at) && testing_program::RowShows(p, "Count:", count, &why))
                return ::testing::AssertionSuccess();
            Pause(250);
        }
        testing_program::WritePpm(ORVA_BINARY_DIR "/measured_region.ppm", p);
        return ::testing::AssertionFailure() << why << " (want " << count
                                             << "; the window: " ORVA_BINARY_DIR "/measured_region.ppm)";
    }

    // An empty chart: its plot (a block of at least 200 x 100 of its light grey, right of
    // the list) without the 230 grey a measured curve's cursor area takes.
    static bool EmptyPlot(const Picture& p) {
        auto light = [&](int x, int y) {
            const uint8_t* c = p.At(x, y);
            return c[0] == 211 && c[1] == 211 && c[2] == 211;
        };
        int rows = 0;
        for (int y = 0; y < p.height; ++y) {
            int run = 0, best = 0;
            for (int x = 0; x < p.width; ++x) best = std::max(best, run = light(x, y) ? run + 1 : 0);
            rows += best >= 200 ? 1 : 0;
        }
        return rows >= 100 && !testing_program::FindPlot(p).found;
    }

    // Waits until the statistics list of the "Chart Tools" window shows its labels with
    // no value beside "Count:", and the chart no curve (no dark ink in its plot).
    ::testing::AssertionResult ListCleared(int ms = 10000) {
        std::string why = "no Chart Tools window";
        Picture p;
        Screen::Rect at;
        for (int waited = 0; waited <= ms; waited += 250) {
            int lx = 0, ly = 0;
            if (testing_program::GrabTools(screen, &p, &at)) {
                if (!FindInk(p, 0, 0, p.width, p.height, testing_program::ListInk("Count:"), &lx, &ly)) {
                    why = "no Count: in the list";
                } else if (!testing_program::InkOf(p, lx + 38, ly - 4, 100, 18).Empty()) {
                    why = "a value beside Count:";
                } else if (EmptyPlot(p)) {
                    return ::testing::AssertionSuccess();
                } else {
                    why = "the chart shows a curve";
                }
            }
            Pause(250);
        }
        testing_program::WritePpm(ORVA_BINARY_DIR "/removed_shapes.ppm", p);
        return ::testing::AssertionFailure() << why << " (the window: " ORVA_BINARY_DIR "/removed_shapes.ppm)";
    }

    // Edit > "Edit Shape...", once its window shows; a choice a busy machine missed is
    // made again.
    bool OpenEditShape() {
        for (int attempt = 0; attempt < 3; ++attempt) {
            if (!testing_program::ChooseMainMenuEntry(screen, main, 84, "Edit Shape\x85")) continue;
            if (screen.WaitForWindow("Edit Shape", 5000) != 0) {
                // The panel is placed beside the cells after it shows: its fields are
                // clicked once it stands.
                Pause(1000);
                return true;
            }
        }
        return false;
    }

    // Types `value` into the field right of `label` in the "Edit Shape" window, and Enter.
    ::testing::AssertionResult PanelField(const std::string& label, const std::string& value) {
        Window panel = 0;
        Picture p;
        int x = 0, y = 0;
        bool shown = false;
        for (int waited = 0; waited <= 10000; waited += 250) {
            Pause(250);
            panel = screen.FindWindow("Edit Shape");
            shown = panel != 0;
            if (panel != 0 && screen.Grab(panel, &p) && FindText(p, 0, 0, p.width, p.height, label, &x, &y)) break;
            panel = 0;
        }
        if (panel == 0) {
            Picture whole;
            if (Grab(&whole)) testing_program::WritePpm(ORVA_BINARY_DIR "/measured_region_panel.ppm", whole);
            return ::testing::AssertionFailure() << (shown ? "no " + label + " in the Edit Shape window" : "no Edit Shape window")
                                                 << " (the screen: " ORVA_BINARY_DIR "/measured_region_panel.ppm)";
        }
        const Screen::Rect r = screen.RectOf(panel);
        // The field begins a few pixels right of its label.
        testing_program::ClickAt(D(), Root(), r.left + x + testing_program::TextInk(label).width + 15, r.top + y + 5);
        Pause(300);
        testing_program::PressKeys(D(), {XK_End});
        for (int i = 0; i < 12; ++i) testing_program::PressKeys(D(), {XK_BackSpace});
        if (!testing_program::TypeText(D(), value)) return ::testing::AssertionFailure() << "cannot type " << value;
        testing_program::PressKeys(D(), {XK_Return});
        return ::testing::AssertionSuccess();
    }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
    Shown frame;
};

TEST_F(ShapeFileProgram, SaveRefusedLoadRoleAndUndo) {
    // The rectangle from (50, 43) to (150, 123); its anchors lie at pixel centres.
    DragRectangle(50, 43, 150, 123);
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    std::string why;
    ASSERT_TRUE(WaitForInk({{100, 43}, {50, 83}, {150, 83}, {100, 123}}, {{100, 83}}, &why)) << why;

    // Saved as an anchor file under the typed name.
    const std::string saved = files.File("rect.msk");
    ASSERT_TRUE(FileCommand("Save As\x85", saved));
    std::string text;
    for (int waited = 0; waited <= 5000 && text.find(";#end") == std::string::npos; waited += 250) {
        Pause(250);
        text = testing_util::ReadText(saved);
    }
    ASSERT_NE(text.find(";SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n"), std::string::npos) << text;
    const size_t rows = text.find(";#data\n");
    ASSERT_NE(rows, std::string::npos) << text;
    double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    std::istringstream(text.substr(rows + 7)) >> x0 >> y0 >> x1 >> y1;
    EXPECT_NEAR(x0, 50.5, 1.0);
    EXPECT_NEAR(y0, 43.5, 1.0);
    EXPECT_NEAR(x1, 150.5, 1.0);
    EXPECT_NEAR(y1, 123.5, 1.0);

    // The same file with a kind the program does not know: nothing changes.
    const size_t kind = text.find("SHAPETYPE='Rect'");
    const int kindLine = 1 + static_cast<int>(std::count(text.begin(), text.begin() + static_cast<long>(kind), '\n'));
    std::string hexagon = text;
    hexagon.replace(kind, std::strlen("SHAPETYPE='Rect'"), "SHAPETYPE='Hexagon'");
    testing_util::WriteText(files.File("hexagon.msk"), hexagon);
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    Pause(400);
    Picture before;
    ASSERT_TRUE(Grab(&before));
    ASSERT_GT(ColouredInPicture(before), 300);
    ASSERT_TRUE(FileCommand("Load\x85", files.File("hexagon.msk")));
    EXPECT_TRUE(StatusShows("Can`t load shape 'hexagon.msk': line " + std::to_string(kindLine) +
                            " refused: SHAPETYPE='Hexagon'"))
        << "no reason on the status line";
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    int left = 0;
    EXPECT_TRUE(WaitForSame(before, &left)) << left << " pixels of the picture changed";
    EXPECT_TRUE(PageShows("Displayed, Statistic"));

    // A rectangle whose file gives it the Slice role: it loads as Statistic, and says so.
    testing_util::WriteText(files.File("slice_rect.msk"),
                            ShapeFileText("Slice", "Rect", {{200.5, 150.5}, {260.5, 200.5}}));
    ASSERT_TRUE(FileCommand("Load\x85", files.File("slice_rect.msk")));
    EXPECT_TRUE(StatusShows("'slice_rect.msk': role Slice does not fit a Rect, loaded as Statistic"));
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    EXPECT_TRUE(WaitForInk({{230, 150}, {200, 175}, {260, 175}, {230, 200}}, {{100, 43}, {50, 83}}, &why)) << why;
    EXPECT_TRUE(PageShows("Displayed, Statistic"));

    // A Slice polyline keeps its role: the page names it, and the path is drawn.
    testing_util::WriteText(files.File("slice.msk"),
                            ShapeFileText("Slice", "PolyLine", {{60.5, 200.5}, {160.5, 250.5}, {300.5, 210.5}}));
    ASSERT_TRUE(FileCommand("Load\x85", files.File("slice.msk")));
    EXPECT_TRUE(StatusShows("Load shape"));
    EXPECT_TRUE(PageShows("Displayed, Slice")) << "the role is not Slice";
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    EXPECT_TRUE(WaitForInk({{110.5, 225.5}, {230.5, 230.5}}, {{230, 150}, {200, 175}}, &why)) << why;

    // The saved rectangle merged back: a shape of its own beside the polyline.
    ASSERT_TRUE(FileCommand("Load\x85", saved, true));
    EXPECT_TRUE(PageShows("Displayed, Statistic"));
    testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2);
    EXPECT_TRUE(WaitForInk({{100, 43}, {50, 83}, {110.5, 225.5}, {230.5, 230.5}}, {{230, 150}}, &why)) << why;

    // Undo: the merged rectangle goes, the polyline goes back to the second rectangle,
    // that one to the drawn one, and the fourth undo takes the drawing itself (no step
    // of the refused load between).
    PointerOnPicture();
    testing_program::PressKeys(D(), {XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk({{110.5, 225.5}}, {{100, 43}, {50, 83}}, &why)) << "first undo: " << why;
    testing_program::PressKeys(D(), {XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk({{230, 150}, {200, 175}}, {{110.5, 225.5}}, &why)) << "second undo: " << why;
    testing_program::PressKeys(D(), {XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk({{100, 43}, {50, 83}, {150, 83}, {100, 123}}, {{230, 150}, {200, 175}}, &why))
        << "third undo: " << why;
    testing_program::PressKeys(D(), {XK_Control_L, XK_z});
    Picture after;
    bool gone = false;
    for (int waited = 0; waited <= 5000 && !gone; waited += 250) {
        Pause(250);
        gone = Grab(&after) && !ColouredNear(after, SX(100), SY(43)) && !ColouredNear(after, SX(50), SY(83));
    }
    EXPECT_TRUE(gone) << "the fourth undo left the rectangle: the refused load recorded a step";
    EXPECT_EQ(program->End(), 0);
}

// The Reduction measures the shape the user works on, on the ramp 1000 + x + y: a second
// rectangle drawn is measured at once, and Statistic > Save As Text... reports it (its box,
// count, extremes and mean, by hand); Tab and a click on an outline switch the measured
// rectangle, a loaded shape file and a width typed into "Edit Shape..." are measured at
// once, and a rectangle dragged past the picture's corner takes in its last column and row.
TEST_F(ShapeFileProgram, TheMeasuredRegionIsTheShapeTheUserWorksOn) {
    auto away = [&] { testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2); };
    DragRectangle(40, 40, 140, 120);
    away();
    ASSERT_TRUE(ListCount("8000")) << "the first rectangle, 100 x 80";
    DragRectangle(200, 150, 260, 200);
    away();
    EXPECT_TRUE(ListCount("3000")) << "the second rectangle, 60 x 50";

    const std::string report = files.File("second.txt");
    ASSERT_TRUE(FileCommand("Save As Text\x85", report, false, "Statistic"));
    std::string text;
    for (int waited = 0; waited <= 5000 && text.find("RMS") == std::string::npos; waited += 250) {
        Pause(250);
        text = testing_util::ReadText(report);
    }
    // x 200..259 and y 150..199: from 1350 to 1458, the mean 1000 + 229.5 + 174.5.
    EXPECT_NE(text.find("\nNpro = 3000\n"), std::string::npos) << text;
    EXPECT_NE(text.find("BOX = (200, 150), (260, 200), 60 x 50"), std::string::npos) << text;
    EXPECT_NE(text.find("\nMin = 1350\nMax = 1458\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Mean = 1404 "), std::string::npos) << text;

    // Tab makes the first rectangle current again; a click on the second's top edge the
    // second.
    PointerOnPicture();
    testing_program::PressKeys(D(), {XK_Tab});
    EXPECT_TRUE(ListCount("8000")) << "after Tab";
    testing_program::ClickAt(D(), Root(), SX(230), SY(150));
    away();
    EXPECT_TRUE(ListCount("3000")) << "after a click on the second rectangle";

    // A loaded rectangle of 20 x 10 takes the current one's place and is measured.
    testing_util::WriteText(files.File("small.msk"), ShapeFileText("Statistic", "Rect", {{100.5, 200.5}, {120.5, 210.5}}));
    ASSERT_TRUE(FileCommand("Load\x85", files.File("small.msk")));
    away();
    EXPECT_TRUE(ListCount("200")) << "after Load";

    // Edit > "Edit Shape...": W = 30 leaves 30 x 10.
    ASSERT_TRUE(OpenEditShape()) << "no Edit > Edit Shape...";
    ASSERT_TRUE(PanelField("W:", "30"));
    away();
    EXPECT_TRUE(ListCount("300")) << "after W = 30 in the Edit Shape window";

    // Dragged from the pixel (350, 250) to beyond the picture: 50 x 50 up to its last
    // column and row.
    DragRectangle(350, 250, 430, 330);
    away();
    EXPECT_TRUE(ListCount("2500")) << "a rectangle dragged past the corner";
    // The same dragged the other way, from a press beyond the corner: the same 50 x 50.
    DragRectangle(430, 330, 350, 250);
    away();
    EXPECT_TRUE(ListCount("2500")) << "a rectangle pressed beyond the corner";

    // A polygon of 3,000 vertices (a circle of radius 100 about the picture's centre) is
    // drawn whole, as is one of 300.
    for (const int n : {3000, 300}) {
        std::vector<std::pair<double, double>> circle;
        for (int i = 0; i < n; ++i) {
            const double a = 2.0 * M_PI * (i + 0.5) / n;
            circle.emplace_back(200.0 + 100.0 * std::cos(a), 150.0 + 100.0 * std::sin(a));
        }
        testing_util::WriteText(files.File("circle.msk"), ShapeFileText("Statistic", "Polygon", circle));
        ASSERT_TRUE(FileCommand("Load\x85", files.File("circle.msk")));
        away();
        std::string why;
        // On the circle away from its box (which the edit frame draws), and outside it.
        EXPECT_TRUE(WaitForInk({{270.7, 220.7}, {129.3, 79.3}, {270.7, 79.3}, {129.3, 220.7}}, {{285, 65}}, &why))
            << n << " vertices: " << why;
    }
    EXPECT_EQ(program->End(), 0);
}

// Extraction/Statistic > File > "Save all As..." writes both rectangles, each with its kind
// and role; in a fresh program with a third drawn, File > Load... of that file brings both
// back where they stood (the first in the third's place). A file of other bytes is refused with the
// reason on the status line, and a good read leaves its parse log beside the file. A file of
// 1000 small rectangles loads whole: each is drawn, the last is measured, the File menu
// opens after it and "Save all As..." writes all of them.
TEST_F(ShapeFileProgram, SaveAllLoadsBackWhole) {
    auto away = [&] { testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2); };
    DragRectangle(40, 40, 140, 120);
    DragRectangle(200, 150, 260, 200);
    away();
    std::string why;
    ASSERT_TRUE(WaitForInk({{90, 40}, {40, 80}, {230, 150}, {200, 175}}, {}, &why)) << why;
    const std::string all = files.File("all.msk");
    ASSERT_TRUE(FileCommand("Save all As\x85", all));
    std::string text;
    for (int waited = 0; waited <= 5000 && text.find(";#end\n\n;SHAPEROLE") == std::string::npos; waited += 250) {
        Pause(250);
        text = testing_util::ReadText(all);
    }
    EXPECT_NE(text.find(";#end\n\n;SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n"), std::string::npos) << text;

    // A fresh program on the same picture, a third rectangle drawn there.
    ASSERT_EQ(program->End(), 0);
    std::string why2;
    main = testing_program::StartOnFiles(screen, program, files.File("run-again"), {files.File("ramp.fits")}, &why2);
    ASSERT_NE(main, 0u) << why2;
    ASSERT_TRUE(testing_program::WaitForFramedPicture(screen, main, &shot, &frame)) << "no framed picture";
    ASSERT_NEAR(frame.zoom(400), 1.0, 1e-9);
    away();
    ASSERT_TRUE(WaitForInk({}, {{90, 40}, {40, 80}, {230, 150}, {200, 175}}, &why)) << "the fresh program: " << why;
    DragRectangle(300, 30, 380, 100);
    away();
    ASSERT_TRUE(WaitForInk({{340, 30}}, {}, &why)) << why;
    ASSERT_TRUE(FileCommand("Load\x85", all));
    away();
    EXPECT_TRUE(WaitForInk({{90, 40}, {40, 80}, {230, 150}, {200, 175}}, {{340, 30}}, &why)) << "after Load: " << why;
    EXPECT_EQ(testing_util::ReadText(all + ".log"), "'" + all + "': 2 shape(s) read\n");

    // Other bytes: the shape stays, the status line says why.
    testing_util::WriteText(files.File("junk.msk"), std::string("\x7f" "ELF\x02\x01\x01\x00\x00", 9));
    ASSERT_TRUE(FileCommand("Load\x85", files.File("junk.msk")));
    EXPECT_TRUE(StatusShows("Can`t load shape 'junk.msk': not a shape file: line 1 holds control bytes"));

    // 1000 rectangles of 5 x 6 pixels, 40 across and 25 down, 9 and 11 pixels apart.
    std::string many;
    std::vector<std::pair<double, double>> tops;
    for (int row = 0; row < 25; ++row)
        for (int column = 0; column < 40; ++column) {
            const double x = 10 + 9 * column, y = 10 + 11 * row;
            many += ShapeFileText("Statistic", "Rect", {{x + 1.5, y + 1.5}, {x + 6.5, y + 7.5}});
            tops.push_back({x + 4, y + 1.5});
        }
    testing_util::WriteText(files.File("many.msk"), many);
    ASSERT_TRUE(FileCommand("Load\x85", files.File("many.msk")));
    away();
    EXPECT_TRUE(WaitForInk(tops, {{385, 150}, {200, 292}}, &why, 20000)) << "the 1000 rectangles: " << why;
    EXPECT_TRUE(ListCount("30")) << "the last rectangle measured";
    const std::string again = files.File("many_again.msk");
    ASSERT_TRUE(FileCommand("Save all As\x85", again));
    size_t rects = 0;
    for (int waited = 0; waited <= 20000 && rects < 1001; waited += 250) {
        Pause(250);
        const std::string saved = testing_util::ReadText(again);
        rects = 0;
        for (size_t at = saved.find(";SHAPETYPE='Rect'"); at != std::string::npos;
             at = saved.find(";SHAPETYPE='Rect'", at + 1))
            ++rects;
    }
    EXPECT_EQ(rects, 1001u) << "the rectangle loaded before and the file's 1000";
    EXPECT_EQ(program->End(), 0);
}

// The "Edit Shape..." panel lets go of a deleted shape's apertures: a slice line given an
// aperture of 7 in the panel, then deleted with Del, leaves the field as a new panel shows
// it.
TEST_F(ShapeFileProgram, ThePanelForgetsADeletedShapesAperture) {
    testing_program::MoveTo(D(), Root(), SX(60) + 1, SY(150));
    Pause(100);
    testing_program::MoveTo(D(), Root(), SX(60), SY(150));
    Pause(300);
    testing_program::PressKeys(D(), {XK_F5});
    Pause(200);
    Button(true);
    Walk(SX(60), SY(150), SX(300), SY(170));
    Pause(100);
    Button(false);
    ASSERT_TRUE(OpenEditShape()) << "no Edit > Edit Shape...";
    ASSERT_TRUE(PanelField("Aperture:", "7"));
    // The field right of "Aperture:" reads `value`.
    auto apertureReads = [&](const std::string& value) {
        for (int waited = 0; waited <= 5000; waited += 250) {
            Pause(250);
            const Window panel = screen.FindWindow("Edit Shape");
            Picture p;
            int x = 0, y = 0, vx = 0, vy = 0;
            if (panel != 0 && screen.Grab(panel, &p) && FindText(p, 0, 0, p.width, p.height, "Aperture:", &x, &y) &&
                FindText(p, x + 45, y - 4, 60, 20, value, &vx, &vy))
                return true;
        }
        return false;
    };
    EXPECT_TRUE(apertureReads("7")) << "the aperture typed";
    PointerOnPicture();
    testing_program::PressKeys(D(), {XK_Delete});
    // The fields are greyed then (their text embossed): the aperture field shows what
    // the A1 field shows, the "1" of a new panel in both.
    auto fieldInk = [&](const Picture& p, const std::string& label, testing_program::InkMask* ink) {
        int x = 0, y = 0;
        if (!FindText(p, 0, 0, p.width, p.height, label, &x, &y)) return false;
        *ink = testing_program::InkOf(p, x + testing_program::TextInk(label).width + 2, y - 3, 38, 15);
        return !ink->Empty();
    };
    bool same = false;
    std::string seen = "no Edit Shape window";
    for (int waited = 0; waited <= 5000 && !same; waited += 250) {
        Pause(250);
        const Window panel = screen.FindWindow("Edit Shape");
        Picture p;
        testing_program::InkMask aperture, a1;
        if (panel == 0 || !screen.Grab(panel, &p)) continue;
        if (!fieldInk(p, "Aperture:", &aperture) || !fieldInk(p, "A1:", &a1)) {
            seen = "no fields";
            continue;
        }
        same = aperture == a1;
        seen = "Aperture:\n" + aperture.Art() + "A1:\n" + a1.Art();
    }
    EXPECT_TRUE(same) << "after the shape was deleted:\n" << seen;
    EXPECT_EQ(program->End(), 0);
}


// What is measured and saved is the shapes on screen, on the ramp 1000 + x + y: a rectangle
// deleted with Del leaves the list and the chart empty, Ctrl+Z brings it and its count
// back, Ctrl+Y takes both away again; the undo of a second rectangle's drawing and an
// Edit > Cut hand the measurement back to the first; after a circle's Del the "Edit
// Shape..." panel edits the rectangle now current, and the circle comes back by undo as it
// was drawn; "Save all As..." writes the rectangle and the circle, and nothing of the
// shapes taken away; Shift+Del empties the list again.
TEST_F(ShapeFileProgram, RemovedShapesAreNeitherMeasuredNorSaved) {
    auto away = [&] { testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2); };
    auto keys = [&](std::initializer_list<KeySym> pressed) {
        PointerOnPicture();
        testing_program::PressKeys(D(), pressed);
        away();
    };
    std::string why;
    // The first rectangle's edges (x 40..140, y 40..120) and the second's (200..260, 150..200).
    const std::vector<std::pair<double, double>> first = {{90, 40}, {40, 80}, {140, 80}};
    const std::vector<std::pair<double, double>> second = {{230, 150}, {200, 175}, {260, 175}};

    DragRectangle(40, 40, 140, 120);
    away();
    ASSERT_TRUE(ListCount("8000")) << "the rectangle, 100 x 80";
    keys({XK_Delete});
    EXPECT_TRUE(WaitForInk({}, first, &why)) << "after Del: " << why;
    EXPECT_TRUE(ListCleared()) << "after Del";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk(first, {}, &why)) << "after Ctrl+Z: " << why;
    EXPECT_TRUE(ListCount("8000")) << "after Ctrl+Z";
    keys({XK_Control_L, XK_y});
    EXPECT_TRUE(WaitForInk({}, first, &why)) << "after Ctrl+Y: " << why;
    EXPECT_TRUE(ListCleared()) << "after Ctrl+Y";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(ListCount("8000")) << "after the second Ctrl+Z";

    // The undo of a drawing, and a cut.
    DragRectangle(200, 150, 260, 200);
    away();
    EXPECT_TRUE(ListCount("3000")) << "the second rectangle, 60 x 50";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk(first, second, &why)) << "the drawing undone: " << why;
    EXPECT_TRUE(ListCount("8000")) << "the drawing undone";
    keys({XK_Control_L, XK_y});
    EXPECT_TRUE(WaitForInk(second, {}, &why)) << "the drawing redone: " << why;
    EXPECT_TRUE(ListCount("3000")) << "the drawing redone";
    ASSERT_TRUE(testing_program::ChooseMainMenuEntry(screen, main, 84, "Cut")) << "no Edit > Cut";
    away();
    EXPECT_TRUE(WaitForInk(first, second, &why)) << "after Edit > Cut: " << why;
    EXPECT_TRUE(ListCount("8000")) << "after Edit > Cut";

    // A circle dragged from (300, 30) to (360, 90), then deleted: the panel edits the
    // rectangle, whose width 30 leaves 30 x 80.
    testing_program::MoveTo(D(), Root(), SX(300) + 1, SY(30));
    Pause(100);
    testing_program::MoveTo(D(), Root(), SX(300), SY(30));
    Pause(300);
    testing_program::PressKeys(D(), {XK_Shift_L, XK_F7});
    Pause(200);
    Button(true);
    Walk(SX(300), SY(30), SX(360), SY(90));
    Pause(100);
    Button(false);
    away();
    const std::vector<std::pair<double, double>> circle = {{330, 30}, {360, 60}, {330, 90}};
    ASSERT_TRUE(WaitForInk(circle, {}, &why)) << "the circle: " << why;
    ASSERT_TRUE(OpenEditShape()) << "no Edit > Edit Shape...";
    keys({XK_Delete});
    EXPECT_TRUE(WaitForInk({}, circle, &why)) << "the circle deleted: " << why;
    EXPECT_TRUE(ListCount("8000")) << "the circle deleted";
    ASSERT_TRUE(PanelField("W:", "30"));
    away();
    EXPECT_TRUE(WaitForInk({{55, 40}, {70, 80}}, {{140, 80}}, &why)) << "W = 30 on the rectangle: " << why;
    EXPECT_TRUE(ListCount("2400")) << "W = 30 on the rectangle";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(ListCount("8000")) << "the width undone";
    keys({XK_Control_L, XK_z});
    EXPECT_TRUE(WaitForInk(circle, {}, &why)) << "the circle back as it was drawn: " << why;

    // "Save all" writes the shapes on screen, in their order.
    const std::string all = files.File("on_screen.msk");
    ASSERT_TRUE(FileCommand("Save all As\x85", all));
    EXPECT_TRUE(StatusShows("Save 2 mask(s)"));
    std::string text;
    for (int waited = 0; waited <= 5000 && text.find(";SHAPETYPE='Ellipse'") == std::string::npos; waited += 250) {
        Pause(250);
        text = testing_util::ReadText(all);
    }
    std::vector<std::string> kinds;
    for (size_t at = text.find(";SHAPETYPE='"); at != std::string::npos; at = text.find(";SHAPETYPE='", at + 1))
        kinds.push_back(text.substr(at + 12, text.find('\'', at + 12) - at - 12));
    EXPECT_EQ(kinds, (std::vector<std::string>{"Rect", "Ellipse"})) << text;
    EXPECT_EQ(text.find("\n200.5 150.5\n"), std::string::npos) << "the cut rectangle was saved:\n" << text;

    // Shift+Del takes every shape away, and the measurement with them.
    keys({XK_Shift_L, XK_Delete});
    EXPECT_TRUE(WaitForInk({}, {{90, 40}, {40, 80}, {330, 30}, {360, 60}}, &why)) << "after Shift+Del: " << why;
    EXPECT_TRUE(ListCleared()) << "after Shift+Del";
    EXPECT_EQ(program->End(), 0);
}

}  // namespace
}  // namespace orva
