// A cube measured on the frame the user sees, in the real program on an int16 cube written
// by astropy, with XTest's pointer and keys only, judged by the screen and the files the
// program writes. Frame k (from 0) holds (k + 1) 1000 + (k + 1) 10 x + y, a star moving 10
// pixels a frame, inside a white border. A statistic rectangle (F7), a circle (Shift+F7)
// and a slice (F5) are drawn on frame 1; the "Chart Tools" statistic list shows numpy's
// numbers for each of them (Tab makes the next one measured) on frame 1, on frame 3 reached
// with the fast selector's arrow, on frame 4 reached with the transport's step button and
// on frame 2 reached by a last frame typed into the transport. Statistic > Save As Text
// and Add to Table / Add to Coord Table write the shown frame's numbers, each naming its
// frame. Then the cube plays with the pointer resting on a pixel: whenever the screen
// stands still, "V:" shows the value of the frame that "FRAME(S):" and the transport show.
#include <gtest/gtest.h>

#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <chrono>
#include <cstdio>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "chart_screen.h"
#include "frame_selector.h"
#include "shape_program.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::Screen;

// The cube, and numpy's numbers of the three shapes on every frame: the rectangle's
// pixels x 20..69, y 90..129, the slice's samples x 30..170 on row 60, and the circle
// round pixel (120, 110), whose mask is symmetric about it (its mean is the ramp's value
// there on any such mask); one line a shape and frame.
constexpr const char* kMake = R"(
import sys
import numpy as np
from astropy.io import fits
folder = sys.argv[1]
H, W = 160, 200
y, x = np.mgrid[0:H, 0:W]
c = np.zeros((5, H, W), dtype=np.int32)
for k in range(5):
    c[k] = (k + 1) * 1000 + (k + 1) * 10 * x + y
    c[k, 39:42, 59 + 10 * k:62 + 10 * k] += 5000
c[:, :2, :] = c[:, -2:, :] = 32000
c[:, :, :2] = c[:, :, -2:] = 32000
fits.PrimaryHDU(c.astype(np.int16)).writeto(folder + '/icube.fits', overwrite=True)
d = fits.getdata(folder + '/icube.fits').astype(np.float64)
disc = (x - 120) ** 2 + (y - 110) ** 2 <= 20 ** 2
with open(folder + '/numbers.txt', 'w') as out:
    for k in range(5):
        for name, v in (('rect', d[k, 90:130, 20:70]), ('slice', d[k, 60, 30:171]), ('circle', d[k][disc])):
            out.write('%s %d %d %.17g %.17g %.17g %.17g %.17g\n' % (name, k + 1, v.size, v.sum(), v.max(), v.min(),
                                                                     v.mean(), v.std(ddof=1)))
    out.write('pixel %s\n' % ' '.join('%d' % d[k, 20, 150] for k in range(5)))
)";

struct Numbers {
    int count = 0;
    double flux = 0, max = 0, min = 0, mean = 0, rms = 0;
};

class MeasuredFrameProgram : public testing_program::ShapeProgram {
protected:
    void SetUp() override {
        StartOnMade(kMake, {"icube.fits"}, 200);
        if (IsSkipped() || HasFatalFailure()) return;
        std::istringstream in(testing_util::ReadText(files.File("numbers.txt")));
        std::string name;
        while (in >> name) {
            if (name == "pixel") {
                for (double& v : pixel) in >> v;
                continue;
            }
            int frame = 0;
            Numbers n;
            in >> frame >> n.count >> n.flux >> n.max >> n.min >> n.mean >> n.rms;
            numbers[{name, frame}] = n;
        }
        ASSERT_EQ(numbers.size(), 15u);
        // The fast selector and the transport page (its rate field, "20.00").
        bool selector = false, transport = false;
        for (int waited = 0; waited < 10000 && !(selector && transport); waited += 200) {
            if (Grab()) {
                selector = frames.Find(shot);
                transport = testing_program::FindText(shot, 0, 0, shot.width, 200, "20.00", &rateX, &rateY);
            }
            if (!(selector && transport)) Pause(200);
        }
        ASSERT_TRUE(selector && transport) << "fast selector " << selector << ", transport " << transport;
    }
    void TearDown() override {
        if (program) {
            EXPECT_EQ(program->End(), 0);
        }
    }

    static void Pause(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void Away() { testing_program::MoveTo(D(), Root(), 2, DisplayHeight(D(), DefaultScreen(D())) - 2); }
    void Click(int x, int y) {
        testing_program::ClickAt(D(), Root(), x, y);
        Pause(150);
    }
    // Tab with the pointer over the picture, away from the shapes (where the view takes the
    // keys): the next shape is measured.
    void NextShape() {
        Walk(SX(185) + 1, SY(150), SX(185), SY(150));
        Pause(300);
        Press({XK_Tab});
        Pause(200);
        Away();
    }

    // Waits until "FRAME(S):" and the transport show the frame.
    ::testing::AssertionResult ShowsFrame(int n) {
        const std::string text = std::to_string(n);
        std::string why;
        for (int waited = 0; waited <= 8000; waited += 200) {
            if (Grab() && frames.Shows(shot, n, &why) &&
                testing_program::ShowsText(shot, rateX - 70, rateY + 16, 60, 17, text, &why))
                return ::testing::AssertionSuccess();
            Pause(200);
        }
        return ::testing::AssertionFailure() << "frame " << n << " not shown: " << why;
    }

    // Waits until the "Chart Tools" statistic list shows numpy's numbers of the shape on
    // the frame (the circle: its mean, all its mask's size leaves alone).
    ::testing::AssertionResult ListShows(const std::string& shape, int n) {
        const Numbers& want = numbers.at({shape, n});
        std::vector<std::pair<std::string, std::string>> rows = {{"Mean:", testing_program::ListNumber(want.mean)}};
        if (shape != "circle") {
            rows.push_back({"Count:", std::to_string(want.count)});
            rows.push_back({"Flux:", testing_program::ListNumber(want.flux)});
            rows.push_back({"Max:", testing_program::ListNumber(want.max)});
            rows.push_back({"Min:", testing_program::ListNumber(want.min)});
        }
        std::string why = "no Chart Tools window";
        Picture p;
        Screen::Rect at;
        for (int waited = 0; waited <= 10000; waited += 250) {
            bool all = testing_program::GrabTools(screen, &p, &at);
            for (size_t i = 0; all && i < rows.size(); ++i)
                all = testing_program::RowShows(p, rows[i].first, rows[i].second, &why);
            if (all) return ::testing::AssertionSuccess();
            Pause(250);
        }
        const std::string path = files.File("list.ppm");
        testing_program::WritePpm(path, p);
        return ::testing::AssertionFailure() << shape << " on frame " << n << ": " << why << " (the window: " << path
                                             << ")";
    }
    // The three shapes on the frame, from the slice (measured when the walk starts) through
    // the rectangle and the circle (Tab each) back to the slice; `atRect` and `atCircle`
    // run while that shape is measured.
    void CheckShapes(int n, const std::function<void()>& atRect = {}, const std::function<void()>& atCircle = {}) {
        SCOPED_TRACE("frame " + std::to_string(n));
        EXPECT_TRUE(ListShows("slice", n));
        NextShape();
        EXPECT_TRUE(ListShows("rect", n));
        if (atRect) atRect();
        NextShape();
        EXPECT_TRUE(ListShows("circle", n));
        if (atCircle) atCircle();
        NextShape();
    }

    // Extraction/Statistic > Statistic > `entry`.
    ::testing::AssertionResult StatisticCommand(const std::string& entry) {
        const Screen::Rect m = screen.RectOf(main);
        int x = 0, y = 0, tx = 0, ty = 0;
        bool tab = false;
        for (int waited = 0; waited < 10000 && !tab; waited += 250) {
            tab = testing_program::PageColumnTab(screen, main, 2, &tx, &ty);
            if (!tab) Pause(250);
        }
        if (!tab) return ::testing::AssertionFailure() << "no page tabs";
        Click(tx, ty);
        if (!WaitForText("Create", m.left, m.top, 330, 500, &x, &y))
            return ::testing::AssertionFailure() << "no Create on the Extraction/Statistic page";
        if (!WaitForText("Statistic", m.left, y - 30, 330, 24, &x, &y))
            return ::testing::AssertionFailure() << "no Statistic above Create";
        bool shown = false;
        for (int attempt = 0; attempt < 3 && !shown; ++attempt) {
            Click(x + 10, y + 4);
            shown = WaitForText(entry, x - 60, y + 8, 320, 300, &tx, &ty, 2500);
        }
        if (!shown) return ::testing::AssertionFailure() << "no " << entry << " in the Statistic menu";
        testing_program::MoveTo(D(), Root(), tx + 4, ty + 4);
        Pause(200);
        Click(tx + 10, ty + 4);
        Away();
        return ::testing::AssertionSuccess();
    }
    // Statistic > "Save As Text...", the name the dialog proposes taken with Enter; the
    // report once written.
    std::string SaveAsText() {
        const std::string path = files.File("icube_stat_t.txt");
        std::remove(path.c_str());
        EXPECT_TRUE(StatisticCommand("Save As Text\x85"));
        if (screen.WaitForWindow("Save Statistic", 10000) == 0) return "no Save Statistic dialog";
        Pause(300);
        testing_program::PressKeys(D(), {XK_Return});
        std::string text;
        for (int waited = 0; waited <= 8000 && text.find("Yskew") == std::string::npos; waited += 250) {
            Pause(250);
            text = testing_util::ReadText(path);
        }
        return text;
    }
    // Waits until the table beside the data file holds `rows` rows; its rows.
    std::vector<std::string> TableRows(const std::string& name, size_t rows) {
        std::vector<std::string> found;
        for (int waited = 0; waited <= 8000 && found.size() < rows; waited += 250) {
            Pause(250);
            found.clear();
            std::istringstream in(testing_util::ReadText(files.File(name)));
            for (std::string line; std::getline(in, line);)
                if (!line.empty() && line[0] != ';') found.push_back(line);
        }
        return found;
    }

    // Types into a transport field (its box's centre), Enter.
    void TypeInto(int x, int y, const std::string& text) {
        Click(x, y);
        testing_program::PressKeys(D(), {XK_End});
        for (int i = 0; i < 8; ++i) testing_program::PressKeys(D(), {XK_BackSpace});
        ASSERT_TRUE(testing_program::TypeText(D(), text));
        testing_program::PressKeys(D(), {XK_Return});
        Pause(300);
    }
    void TypeLastFrame(const std::string& n) { TypeInto(rateX - 36, rateY + 4, n); }

    // The "V:" field of the value page: where it stands on the screen.
    bool ValueField(int* x, int* y) {
        int cx = 0, cy = 0;
        const Screen::Rect m = screen.RectOf(main);
        if (!Grab() || !testing_program::FindText(shot, m.left, m.top, m.right - m.left, 340, "V:", &cx, &cy))
            return false;
        *x = cx + testing_program::TextInk("V:").width + 3;
        *y = cy - 4;
        return true;
    }
    static std::string ValueText(double v) {
        char text[64];
        const int n = FormatDoubleDigits(10, 3, v, text);
        return std::string(text, static_cast<size_t>(n > 0 ? n : 0));
    }

    testing_program::FrameSelector frames;
    int rateX = 0, rateY = 0;
    std::map<std::pair<std::string, int>, Numbers> numbers;
    double pixel[5] = {};
};

TEST_F(MeasuredFrameProgram, EveryMeasureFollowsTheShownFrame) {
    // The three shapes on frame 1, the slice last: it is measured first.
    DragRectangle(20, 90, 70, 130);
    DragShape({XK_Shift_L, XK_F7}, 100, 90, 140, 130);
    DragLine(30, 60, 170, 60);
    Away();
    ASSERT_TRUE(ShowsFrame(1));
    CheckShapes(1, {}, [&] { EXPECT_TRUE(StatisticCommand("Add to Coord Table")); });

    // Frame 3 with the fast selector's arrow (twice, not as a double click): the report and
    // the statistic table of the rectangle give frame 3's numbers and name frame 3.
    frames.Next(D());
    Pause(700);
    frames.Next(D());
    Away();
    ASSERT_TRUE(ShowsFrame(3));
    std::string report;
    CheckShapes(3, [&] {
        report = SaveAsText();
        EXPECT_TRUE(StatisticCommand("Add to Table"));
    });
    const Numbers& r3 = numbers.at({"rect", 3});
    EXPECT_NE(report.find("\nFRAME = 3 "), std::string::npos) << report;
    EXPECT_NE(report.find("\nNpro = 2000\n"), std::string::npos) << report;
    EXPECT_NE(report.find("BOX = (20, 90), (70, 130), 50 x 40"), std::string::npos) << report;
    char lines[160];
    std::snprintf(lines, sizeof lines, "\nMin = %.17g\nMax = %.17g\nRange = %.17g\nFlux = %.17g\n", r3.min, r3.max,
                  r3.max - r3.min, r3.flux);
    EXPECT_NE(report.find(lines), std::string::npos) << lines << report;
    std::snprintf(lines, sizeof lines, "Mean = %.17g ", r3.mean);
    EXPECT_NE(report.find(lines), std::string::npos) << lines << report;

    // Frame 4 with the transport's step button.
    Click(rateX - 66, rateY + 56);
    Away();
    ASSERT_TRUE(ShowsFrame(4));
    CheckShapes(4, [&] { EXPECT_TRUE(StatisticCommand("Add to Table")); },
                [&] { EXPECT_TRUE(StatisticCommand("Add to Coord Table")); });

    // Frame 2 by a last frame typed into the transport: the shown frame follows the range.
    TypeLastFrame("2");
    Away();
    ASSERT_TRUE(ShowsFrame(2));
    CheckShapes(2, {}, [&] { EXPECT_TRUE(StatisticCommand("Add to Coord Table")); });

    // The rectangle's rows of frames 3 and 4: box, count, mean and spread as numpy has them,
    // channel 1, the frame last.
    const std::vector<std::string> stat = TableRows("icube_stat.tab", 2);
    ASSERT_EQ(stat.size(), 2u);
    for (int k = 0; k < 2; ++k) {
        const Numbers& n = numbers.at({"rect", 3 + k});
        char row[160];
        std::snprintf(row, sizeof row, "20 90 70 130 2000 %g %g 1 %d ", n.mean, n.rms, 3 + k);
        EXPECT_EQ(stat[k], row);
    }
    // The circle's rows of frames 1, 4 and 2: its flux is its count times numpy's mean.
    const std::vector<std::string> coord = TableRows("icube_crd.tab", 3);
    ASSERT_EQ(coord.size(), 3u);
    const int circleFrames[3] = {1, 4, 2};
    for (int k = 0; k < 3; ++k) {
        std::istringstream in(coord[k]);
        std::vector<double> v;
        for (double d; in >> d;) v.push_back(d);
        ASSERT_EQ(v.size(), 20u) << coord[k];
        const double mean = numbers.at({"circle", circleFrames[k]}).mean;
        EXPECT_EQ(v[19], circleFrames[k]) << coord[k];
        EXPECT_NEAR(v[6], v[17] * mean, 1e-9 * v[6]) << coord[k];
        EXPECT_EQ(v[18], 1) << coord[k];
    }

    // Playback at 2 frames a second, in a loop over all five frames, the pointer resting on
    // pixel (150, 20): whenever the screen stands still for a moment, "V:" shows the value
    // of the frame "FRAME(S):" and the transport show. The readout and the frame numbers
    // stand in windows of their own, drawn one after the other: a busy machine can show
    // the one before the other for a while, so a value is wrong only when it stays beside
    // another frame's number for most of a frame's half second.
    TypeLastFrame("5");
    TypeInto(rateX + 14, rateY + 4, "2");
    Click(rateX - 13, rateY + 56);   // loop
    Click(rateX - 115, rateY + 56);  // play
    testing_program::MoveTo(D(), Root(), SX(150) + 1, SY(20));
    Pause(60);
    testing_program::MoveTo(D(), Root(), SX(150), SY(20));
    int vx = 0, vy = 0;
    ASSERT_TRUE(ValueField(&vx, &vy)) << "no V: on the screen";
    std::set<int> seen;
    std::string wrong;
    Picture before;
    // The frame and the other frame's value of a mismatch seen, and since when.
    int mismatchFrame = 0, mismatchValue = 0;
    auto mismatchSince = std::chrono::steady_clock::now();
    for (int waited = 0; waited < 16000 && seen.size() < 5; waited += 60) {
        Pause(60);
        before = shot;
        if (!Grab()) continue;
        const int n = frames.Shown(shot, 5);
        if (n == 0 || !testing_program::ShowsText(shot, rateX - 70, rateY + 16, 60, 17, std::to_string(n))) continue;
        // Stood still: the same frame and the same value in the grab before.
        if (before.width != shot.width || frames.Shown(before, 5) != n) continue;
        const std::string value = ValueText(pixel[n - 1]);
        const bool shows = testing_program::ShowsText(shot, vx, vy, 184, 17, value);
        if (shows && testing_program::ShowsText(before, vx, vy, 184, 17, value)) {
            seen.insert(n);
            mismatchFrame = 0;
            continue;
        }
        for (int other = 1; other <= 5; ++other) {
            if (other == n || !testing_program::ShowsText(shot, vx, vy, 184, 17, ValueText(pixel[other - 1])))
                continue;
            const auto now = std::chrono::steady_clock::now();
            if (mismatchFrame != n || mismatchValue != other) {
                mismatchFrame = n;
                mismatchValue = other;
                mismatchSince = now;
            } else if (now - mismatchSince >= std::chrono::milliseconds(350)) {
                wrong += "frame " + std::to_string(n) + " with frame " + std::to_string(other) + "'s value; ";
                mismatchFrame = 0;
            }
        }
    }
    Click(rateX - 115, rateY + 56);  // stop
    EXPECT_EQ(seen.size(), 5u) << "frames whose value was seen under their number: " << seen.size();
    EXPECT_EQ(wrong, "");
}

}  // namespace
}  // namespace orva
