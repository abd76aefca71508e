// What the pointer reads, as a user sees it: the real program on files written by astropy
// and Pillow, the pointer moved over known pixels with XTest, and the readouts read back
// from the screen's pixels: the value page's "C:" (the pixel's coordinates, counted from 1
// as FITS counts them) and "V:" (the physical values of its channels) and the coordinates
// page's "X:" and "Y:", at fit, at 100 % and at 400 %.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>
#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "common/number_text.h"
#include "frame_selector.h"
#include "framed_picture.h"
#include "program_input.h"
#include "program_window.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::FindText;
using testing_program::Picture;
using testing_program::ProgramRun;
using testing_program::Screen;
using testing_program::ShowsText;

// The files, written by astropy and Pillow, and their physical values as numpy reads them
// (float64, rows of the file in order, channels last) in NAME.values.
constexpr const char* kReadoutFiles = R"(
import sys
import numpy as np
from astropy.io import fits
from PIL import Image
folder = sys.argv[1]
def save(name, data, values):
    np.ascontiguousarray(values, dtype=np.float64).tofile(folder + '/' + name + '.values')
# 16-bit samples scaled by BSCALE and BZERO, a white border four pixels wide.
y, x = np.mgrid[0:700, 0:900]
raw = ((x * 37 + y * 11) % 5000 - 2500).astype(np.int16)
raw[:4, :] = raw[-4:, :] = raw[:, :4] = raw[:, -4:] = 30000
with open(folder + '/scaled.fits', 'wb') as f:
    head = fits.Header()
    head['SIMPLE'] = True
    head['BITPIX'] = 16
    head['NAXIS'] = 2
    head['NAXIS1'] = 900
    head['NAXIS2'] = 700
    head['BSCALE'] = 0.25
    head['BZERO'] = 500.0
    f.write(head.tostring().encode('ascii'))
    body = raw.astype('>i2').tobytes()
    f.write(body + b'\0' * ((2880 - len(body) % 2880) % 2880))
save('scaled.fits', None, fits.getdata(folder + '/scaled.fits').astype(np.float64))
# 32-bit floats with a row and a column of NaN.
y, x = np.mgrid[0:150, 0:200]
f = (np.sin(x / 9.0) * 300.0 + y * 1.5).astype(np.float32)
f[:3, :] = f[-3:, :] = f[:, :3] = f[:, -3:] = 2000.0
f[60, :] = np.nan
f[:, 120] = np.nan
fits.PrimaryHDU(f).writeto(folder + '/nan.fits', overwrite=True)
save('nan.fits', None, fits.getdata(folder + '/nan.fits').astype(np.float64))
# A cube of three frames that differ.
z, y, x = np.mgrid[0:3, 0:90, 0:120]
c = (x * 3 + y * 5 + z * 1000).astype(np.int16)
c[:, :3, :] = c[:, -3:, :] = c[:, :, :3] = c[:, :, -3:] = 8000
fits.PrimaryHDU(c).writeto(folder + '/cube.fits', overwrite=True)
save('cube.fits', None, fits.getdata(folder + '/cube.fits').astype(np.float64))
# An RGB bitmap whose three channels differ.
y, x = np.mgrid[0:120, 0:160]
rgb = np.stack([(x * 1.5) % 256, (y * 2) % 256, (x + y) % 256], axis=-1).astype(np.uint8)
rgb[:3, :] = rgb[-3:, :] = rgb[:, :3] = rgb[:, -3:] = 255
Image.fromarray(rgb, 'RGB').save(folder + '/colour.bmp')
save('colour.bmp', None, np.asarray(Image.open(folder + '/colour.bmp')).astype(np.float64))
)";

std::string Number(int digits, int decimals, double v) {
    char text[64];
    const int n = FormatDoubleDigits(digits, decimals, v, text);
    return std::string(text, static_cast<size_t>(std::max(n, 0)));
}

// A frame of the file's values as numpy read them.
struct Values {
    int width = 0, height = 0, channels = 1;
    std::vector<double> v;
    double At(int frame, int x, int y, int c = 0) const {
        return v[((static_cast<size_t>(frame) * height + y) * width + x) * channels + c];
    }
};

using testing_program::Shown;

class ReadoutProgram : public ::testing::Test {
protected:
    void SetUp() override {
        if (const std::string why = testing_program::WhyNoProgramTest(screen); !why.empty()) GTEST_SKIP() << why;
        testing_util::WriteText(files.File("make.py"), kReadoutFiles);
        int status = -1;
        const std::string out = testing_program::RunCommand(
            ORVA_PYTHON " '" + files.File("make.py") + "' '" + files.Path() + "' 2>&1", &status);
        ASSERT_EQ(status, 0) << out;
    }

    Values Load(const std::string& name, int width, int height, int frames, int channels) {
        Values v;
        v.width = width;
        v.height = height;
        v.channels = channels;
        v.v.resize(static_cast<size_t>(width) * height * frames * channels);
        std::ifstream in(files.File(name + ".values"), std::ios::binary);
        in.read(reinterpret_cast<char*>(v.v.data()), static_cast<std::streamsize>(v.v.size() * sizeof(double)));
        EXPECT_TRUE(in.good()) << name;
        return v;
    }

    // Starts the program on the file and waits until its picture stands, steady.
    void Start(const std::string& name) {
        std::string why;
        main = testing_program::StartOnFiles(screen, program, files.File("run-" + name), {files.File(name)}, &why);
        ASSERT_NE(main, 0u) << why;
        ASSERT_TRUE(WaitForFrame()) << "no picture with a white border in the workspace";
    }

    Screen::Rect Workspace() { return testing_program::WorkspaceOf(screen, main); }
    bool WaitForFrame(int ms = 15000) { return testing_program::WaitForFramedPicture(screen, main, &shot, &frame, ms); }

    // Moves the pointer over the window point, coming by the point (fromX, y), and reads
    // the screen once the readout has had time to follow.
    void PointAt(int x, int y) { PointAt(x, y, x - 1); }
    void PointAt(int x, int y, int fromX) {
        Display* d = screen.display();
        testing_program::MoveTo(d, Root(), fromX, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(60));
        testing_program::MoveTo(d, Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(250));
        ASSERT_TRUE(Grab());
    }

    // The field right of a caption: where the caption's text stands and the field's box.
    bool FieldRightOf(const std::string& caption, int fieldWidth, int* x, int* y, int* w, int* h) {
        int cx = 0, cy = 0;
        const Screen::Rect m = screen.RectOf(main);
        if (!FindText(shot, m.left, m.top, m.right - m.left, 340, caption, &cx, &cy)) return false;
        const int captionWidth = testing_program::TextInk(caption).width;
        *x = cx + captionWidth + 3;
        *y = cy - 4;
        *w = fieldWidth;
        *h = 17;
        return true;
    }

    // Expects the field right of the caption to show `text`.
    void ExpectField(const std::string& caption, int fieldWidth, const std::string& text, const std::string& where) {
        int x, y, w, h;
        if (!FieldRightOf(caption, fieldWidth, &x, &y, &w, &h)) {
            testing_program::WritePpm(files.File("no-caption.ppm"), shot);
            FAIL() << "no \"" << caption << "\" on the screen; the screen: " << files.File("no-caption.ppm");
        }
        std::string why;
        // The readout follows the pointer at once; a slow machine gets a second look.
        for (int tries = 0; tries < 50 && !ShowsText(shot, x, y, w, h, text, &why); ++tries) {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            ASSERT_TRUE(Grab());
        }
        EXPECT_TRUE(ShowsText(shot, x, y, w, h, text, &why)) << caption << " at " << where << "\n" << why;
    }

    // The window point at the centre of frame pixel (fx, fy), picked so that the pointer
    // lies well inside that pixel at any zoom.
    std::pair<int, int> WindowPoint(int fx, int fy, double zoom) const {
        return {frame.left + static_cast<int>(std::floor((fx + 0.5) * zoom)),
                frame.top + static_cast<int>(std::floor((fy + 0.5) * zoom))};
    }

    // The frame pixel under a window point.
    static int FramePixel(int at, int origin, double zoom) {
        return static_cast<int>(std::floor((at - origin + 0.5) / zoom));
    }

    // Points at frame pixel (fx, fy) and checks both pages' readouts: coordinates counted
    // from 1, the values of the channels (`values` gives their text for a pixel). With
    // `exact` false (a zoom measured from the screen, so known only to about a pixel) the
    // pixel shown may be a neighbour of the one aimed at; its values must then be that
    // neighbour's.
    template <typename ValuesText>
    void CheckPixel(int fx, int fy, ValuesText values, double zoom, bool exact, const std::string& what) {
        auto [x, y] = WindowPoint(fx, fy, zoom);
        // The pointer comes by a pixel three to the side: a readout still on its way shows
        // that pixel, which is neither the one aimed at nor one of the neighbours accepted
        // below, so a busy machine's late readout is never taken for the final one.
        PointAt(x, y, WindowPoint(fx >= 3 ? fx - 3 : fx + 3, fy, zoom).first);
        int cx = 0, cy = 0, cw = 0, ch = 0;
        // The readout page may be painted after the picture on a busy machine.
        testing_util::WaitUntil([&] { return FieldRightOf("C:", 92, &cx, &cy, &cw, &ch) || !Grab(); }, 10000, 200);
        ASSERT_TRUE(FieldRightOf("C:", 92, &cx, &cy, &cw, &ch))
            << "no \"C:\" on the screen at " << what << " pixel (" << fx << ", " << fy << ")";
        // The pixel the readout names, taken once two grabs agree.
        int sx = fx, sy = fy;
        bool found = false;
        std::optional<std::pair<int, int>> before;
        for (int tries = 0; tries < 50 && !found; ++tries) {
            std::optional<std::pair<int, int>> now;
            for (int dy = -1; dy <= 1 && !now; ++dy)
                for (int dx = -1; dx <= 1 && !now; ++dx) {
                    if (exact && (dx != 0 || dy != 0)) continue;
                    const std::string c = std::to_string(fx + dx + 1) + "  " + std::to_string(fy + dy + 1);
                    if (ShowsText(shot, cx, cy, cw, ch, c)) now = std::make_pair(fx + dx, fy + dy);
                }
            if (now && now == before) {
                found = true;
                sx = now->first;
                sy = now->second;
            } else {
                before = now;
                std::this_thread::sleep_for(std::chrono::milliseconds(200));
                ASSERT_TRUE(Grab());
            }
        }
        const std::string where = what + " pixel (" + std::to_string(fx) + ", " + std::to_string(fy) + ")";
        std::string why;
        ShowsText(shot, cx, cy, cw, ch, std::to_string(fx + 1) + "  " + std::to_string(fy + 1), &why);
        if (!found) testing_program::WritePpm(files.File("readout.ppm"), shot);
        ASSERT_TRUE(found) << "C: at " << where << " (" << cx << ", " << cy << "), the screen in "
                           << files.File("readout.ppm") << "\n" << why;
        ExpectField("V:", 184, values(sx, sy), where);
        ExpectField("X:", 94, std::to_string(sx + 1), where);
        ExpectField("Y:", 94, std::to_string(sy + 1), where);
    }

    // The whole screen, raised main window first (the tool pages it owns stay above it).
    Window Root() const { return DefaultRootWindow(screen.display()); }
    bool Grab() { return screen.Grab(Root(), &shot); }

    bool ChooseZoom(const std::string& preset) { return testing_program::ChooseZoom(screen, main, preset, &shot); }
    bool CornerToCorner() { return testing_program::CornerToCorner(screen, main, &shot, &frame); }

    Screen screen;
    testing_util::TempFolder files;
    std::optional<ProgramRun> program;
    Window main = 0;
    Picture shot;
    Shown frame;
};

TEST_F(ReadoutProgram, ScaledSamplesAtFitAt100And400Percent) {
    const Values v = Load("scaled.fits", 900, 700, 1, 1);
    ASSERT_NO_FATAL_FAILURE(Start("scaled.fits"));
    auto text = [&](int x, int y) { return Number(10, 3, v.At(0, x, y)); };
    auto check = [&](const char* what, std::vector<std::pair<int, int>> at, double zoom, bool exact) {
        for (auto [fx, fy] : at) CheckPixel(fx, fy, text, zoom, exact, what);
    };
    // Fitted into the workspace: smaller than the frame.
    const double fit = frame.zoom(900);
    ASSERT_LT(fit, 0.9);
    check("fit", {{10, 10}, {450, 350}, {123, 456}, {800, 90}, {37, 640}}, fit, false);

    // 100 % and 400 % from the zoom bar's two preset menus, the frame's corner brought to
    // the view's corner with Ctrl+1.
    for (const char* preset : {"100%", "400%"}) {
        ASSERT_TRUE(ChooseZoom(preset)) << preset;
        ASSERT_TRUE(CornerToCorner()) << preset;
        if (std::string(preset) == "100%") {
            check(preset, {{10, 10}, {300, 200}, {123, 321}, {480, 90}, {37, 380}}, 1.0, true);
        } else {
            check(preset, {{5, 5}, {60, 40}, {123, 17}, {100, 90}, {7, 66}}, 4.0, true);
        }
    }
    EXPECT_TRUE(program->Running());
}

// A statistic rectangle drawn with F7 and a drag: the pointer inside it reads the pixels
// under it as anywhere else.
TEST_F(ReadoutProgram, ThePointerInsideADrawnRectangleReadsThePixels) {
    const Values v = Load("scaled.fits", 900, 700, 1, 1);
    ASSERT_NO_FATAL_FAILURE(Start("scaled.fits"));
    const double zoom = frame.zoom(900);
    auto [x0, y0] = WindowPoint(100, 100, zoom);
    auto [x1, y1] = WindowPoint(600, 500, zoom);
    Display* d = screen.display();
    PointAt(x0, y0);
    testing_program::PressKeys(d, {XK_F7});
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    testing_program::Drag(d, Root(), x0, y0, x1 - x0, y1 - y0);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    auto text = [&](int x, int y) { return Number(10, 3, v.At(0, x, y)); };
    for (auto [fx, fy] : std::vector<std::pair<int, int>>{{200, 200}, {350, 300}, {500, 420}})
        CheckPixel(fx, fy, text, zoom, false, "inside the rectangle");
}

TEST_F(ReadoutProgram, MissingSamplesReadNan) {
    const Values v = Load("nan.fits", 200, 150, 1, 1);
    ASSERT_NO_FATAL_FAILURE(Start("nan.fits"));
    const double zoom = frame.zoom(200);
    for (auto [fx, fy] : std::vector<std::pair<int, int>>{{50, 40}, {150, 100}, {10, 140}}) {
        ASSERT_FALSE(std::isnan(v.At(0, fx, fy)));
        CheckPixel(fx, fy, [&](int x, int y) { return std::isnan(v.At(0, x, y)) ? std::string("nan") : Number(10, 3, v.At(0, x, y)); }, zoom, false, "float");
    }
    for (auto [fx, fy] : std::vector<std::pair<int, int>>{{50, 60}, {120, 30}}) {
        ASSERT_TRUE(std::isnan(v.At(0, fx, fy)));
        CheckPixel(fx, fy, [&](int x, int y) { return std::isnan(v.At(0, x, y)) ? std::string("nan") : Number(10, 3, v.At(0, x, y)); }, zoom, false, "NaN");
    }
}

TEST_F(ReadoutProgram, TheSecondFrameOfACube) {
    const Values v = Load("cube.fits", 120, 90, 3, 1);
    ASSERT_NO_FATAL_FAILURE(Start("cube.fits"));
    // The next frame: the right arrow of the fast selector's "FRAME(S):" row.
    testing_program::FrameSelector frames;
    ASSERT_TRUE(frames.Find(shot));
    frames.Next(screen.display());
    std::this_thread::sleep_for(std::chrono::milliseconds(800));
    for (auto [fx, fy] : std::vector<std::pair<int, int>>{{10, 10}, {60, 45}, {100, 80}, {5, 84}, {115, 4}})
        CheckPixel(fx, fy, [&](int x, int y) { return Number(10, 3, v.At(1, x, y)); }, frame.zoom(120), false, "frame 2");
}

// The pointer left on one pixel while the frame is stepped (the fast selector's arrows
// clicked, the pointer brought back to the very same point): "V:" shows each new frame's
// value at once, forward and back.
TEST_F(ReadoutProgram, AStepUnderAStillPointerReadsTheNewFrame) {
    const Values v = Load("cube.fits", 120, 90, 3, 1);
    ASSERT_NO_FATAL_FAILURE(Start("cube.fits"));
    testing_program::FrameSelector frames;
    ASSERT_TRUE(frames.Find(shot));
    const auto [x, y] = WindowPoint(60, 45, frame.zoom(120));
    auto stepAndReturn = [&](bool next) {
        Display* d = screen.display();
        if (next) frames.Next(d);
        else frames.Back(d);
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        // Straight back onto the same point: the view hears no move within the picture.
        testing_program::MoveTo(d, Root(), x, y);
        std::this_thread::sleep_for(std::chrono::milliseconds(400));
        ASSERT_TRUE(Grab());
    };
    PointAt(x, y);
    const int fx = FramePixel(x, frame.left, frame.zoom(120)), fy = FramePixel(y, frame.top, frame.zoom(120));
    ExpectField("V:", 184, Number(10, 3, v.At(0, fx, fy)), "frame 1");
    stepAndReturn(true);
    ExpectField("V:", 184, Number(10, 3, v.At(1, fx, fy)), "frame 2");
    stepAndReturn(true);
    ExpectField("V:", 184, Number(10, 3, v.At(2, fx, fy)), "frame 3");
    stepAndReturn(false);
    ExpectField("V:", 184, Number(10, 3, v.At(1, fx, fy)), "back on frame 2");
}

TEST_F(ReadoutProgram, ThreeChannelsOfAColourBitmap) {
    const Values v = Load("colour.bmp", 160, 120, 1, 3);
    ASSERT_NO_FATAL_FAILURE(Start("colour.bmp"));
    for (auto [fx, fy] : std::vector<std::pair<int, int>>{{10, 10}, {80, 60}, {150, 100}, {40, 110}, {155, 5}}) {
        auto text = [&](int x, int y) {
            return Number(10, 3, v.At(0, x, y, 0)) + "  " + Number(10, 3, v.At(0, x, y, 1)) + "  " +
                   Number(10, 3, v.At(0, x, y, 2));
        };
        CheckPixel(fx, fy, text, frame.zoom(160), false, "RGB");
    }
}

// Ctrl+W closes the file: the readouts keep nothing of it. Each field right of its caption
// holds only its ground colour, as before a file was shown.
TEST_F(ReadoutProgram, AClosedFileLeavesTheReadoutsEmpty) {
    const Values v = Load("nan.fits", 200, 150, 1, 1);
    ASSERT_NO_FATAL_FAILURE(Start("nan.fits"));
    CheckPixel(50, 40, [&](int x, int y) { return Number(10, 3, v.At(0, x, y)); }, frame.zoom(200), false, "open");
    if (HasFatalFailure()) return;
    struct Field {
        const char* caption;
        int width;
    };
    const Field fields[] = {{"V:", 184}, {"C:", 92}, {"X:", 94}, {"Y:", 94}};
    // The ink of a field: pixels far from its most common colour (its ground); the field's
    // frame lies close to the ground.
    auto ink = [&](const Field& f) {
        int x, y, w, h;
        if (!FieldRightOf(f.caption, f.width, &x, &y, &w, &h)) return -1;
        std::map<uint32_t, int> count;
        for (int py = y; py < y + h; ++py)
            for (int px = x; px < x + w; ++px) {
                const uint8_t* p = shot.At(px, py);
                ++count[uint32_t{p[0]} << 16 | uint32_t{p[1]} << 8 | p[2]];
            }
        uint32_t ground = 0;
        int most = 0;
        for (const auto& [colour, n] : count)
            if (n > most) most = n, ground = colour;
        int n = 0;
        for (const auto& [colour, k] : count) {
            int far = 0;
            for (int shift : {16, 8, 0}) far += std::abs(int((colour >> shift) & 255) - int((ground >> shift) & 255));
            if (far > 150) n += k;
        }
        return n;
    };
    for (const Field& f : fields) EXPECT_GT(ink(f), 0) << f.caption << " shows nothing while the file is open";

    // Ctrl+W in the workspace, over the picture.
    const auto [x, y] = WindowPoint(100, 75, frame.zoom(200));
    testing_program::ClickAt(screen.display(), Root(), x, y);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    testing_program::PressKeys(screen.display(), {XK_Control_L, XK_w});
    bool empty = false;
    for (int waited = 0; waited < 8000 && !empty; waited += 200) {
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
        ASSERT_TRUE(Grab());
        empty = true;
        for (const Field& f : fields) empty = empty && ink(f) == 0;
    }
    const std::string kept = std::string(ORVA_BINARY_DIR) + "/readout_closed.ppm";
    testing_program::WritePpm(kept, shot);
    for (const Field& f : fields)
        EXPECT_EQ(ink(f), 0) << f.caption << " keeps the closed file's numbers; the screen: " << kept;
}

}  // namespace
}  // namespace orva
