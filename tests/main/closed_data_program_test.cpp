// What is closed leaves the screen: the real program shows a FITS file written by astropy
// (its numpy picture found in the main window, its preview beside the workspace, the
// Source's Info page with its statistic table); the user closes it with Ctrl+W, or a
// second start hands over a file that cannot be opened, which closes the open data
// before it is tried. Afterwards the cell shows its empty background where the picture
// stood, the preview holds no picture nor its outline, and the Info page's table is gone. A failed open
// that leaves a file open (a good file on the same line, a folder refused before any
// closing) leaves it shown whole.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdlib>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "program_input.h"
#include "program_window.h"
#include "bad_road_files.h"
#include "road_files.h"
#include "screen_text.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::Placement;
using testing_program::ProgramRun;
using testing_program::Screen;

constexpr int kWait = 20000;

// A label of the Info page's statistic table, as its list draws it.
const testing_program::InkMask& StatisticLabel() {
    static const testing_program::InkMask ink = testing_program::SystemTextInk("MinMaxRaw", "Arial", 600, 10);
    return ink;
}

bool Near(const uint8_t* a, const uint8_t* b) {
    return std::abs(a[0] - b[0]) <= 2 && std::abs(a[1] - b[1]) <= 2 && std::abs(a[2] - b[2]) <= 2;
}

// What the main window shows of one file.
struct Seen {
    bool picture = false;     // the file's picture where it stood
    int leftOver = 0;         // pixels of that place not in the cell's background colour
    bool statistics = false;  // the Info page's statistic table
    int previewInk = -1;      // pixels of the preview area off its most common colour (-1: no preview area)
    int previewOutline = 0;   // pixels of the preview's dotted pink outline of the picture's extent
};

class ClosedDataProgram : public testing_program::BadRoadFilesSuite {
protected:
    void SetUp() override {
        if (files_ == nullptr) GTEST_SKIP() << "astropy, Pillow or numpy not installed";
        if (const std::string why = testing_program::WhyNoProgramTest(screen_); !why.empty()) GTEST_SKIP() << why;
    }

    // Starts the program on the file and waits until its picture, its Info page and its
    // preview are on the screen; where the picture stands and the cell's background
    // colour beside it are kept.
    void StartShowing(const std::string& name, const std::string& folder = "run") {
        run_ = runs_.File(folder);
        mkdir(run_.c_str(), 0700);
        program_.emplace(run_, std::vector<std::string>{files_->File(name)});
        main_ = screen_.WaitForWindow(testing_program::kMainWindowTitle, kWait);
        ASSERT_NE(main_, 0u) << program_->Log();
        ExpectShown(name);
    }

    // The file's picture, Info page and preview are all shown.
    void ExpectShown(const std::string& name) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(testing_program::ReferencePicture(files_->File(name), &want_));
        Picture shot;
        place_ = testing_program::WaitForPicture(screen_, main_, want_, kWait, &shot);
        ASSERT_TRUE(place_.found) << program_->Log();
        ASSERT_GE(place_.x, 4);
        // The cell around the picture is its background.
        background_ = {shot.At(place_.x - 3, place_.y + want_.height / 2)[0],
                       shot.At(place_.x - 3, place_.y + want_.height / 2)[1],
                       shot.At(place_.x - 3, place_.y + want_.height / 2)[2]};
        const bool whole = WaitFor([](const Seen& s) { return s.picture && s.statistics && s.previewInk > 100; });
        EXPECT_TRUE(whole) << Describe() << program_->Log();
    }

    // What the screen shows now.
    Seen Look() {
        Seen s;
        Picture shot;
        screen_.Raise(main_);
        if (!screen_.Grab(main_, &shot)) return s;
        s.picture = testing_program::FindPicture(shot, want_, 1).found;
        for (int y = place_.y; y < place_.y + want_.height && y < shot.height; ++y)
            for (int x = place_.x; x < place_.x + want_.width && x < shot.width; ++x)
                s.leftOver += !Near(shot.At(x, y), background_.data());
        int x = 0, y = 0;
        s.statistics = testing_program::FindInk(shot, 0, 0, shot.width / 2, shot.height, StatisticLabel(), &x, &y);
        for (Window page : testing_program::ValuePageWindows(screen_.display(), main_)) {
            Picture p;
            if (!screen_.Grab(page, &p) || p.height < 80 || p.width < 40) continue;
            uint32_t face = 0;
            const testing_program::InkMask ink =
                testing_program::InkOfBox(p, 2, 18, p.width - 23, p.height - 60, &face);
            int n = 0;
            for (uint8_t b : ink.bits) n += b;
            s.previewInk = std::max(s.previewInk, n);
            static const uint8_t kPink[3] = {255, 178, 178};
            for (int y = 0; y < p.height; ++y)
                for (int x = 0; x < p.width; ++x) s.previewOutline += Near(p.At(x, y), kPink);
        }
        last_ = s;
        return s;
    }
    template <typename Wanted>
    bool WaitFor(Wanted wanted) {
        for (int waited = 0;; waited += 200) {
            if (wanted(Look())) return true;
            if (waited >= kWait) return false;
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
        }
    }
    std::string Describe() const {
        return "picture " + std::to_string(last_.picture) + ", pixels off the background " +
               std::to_string(last_.leftOver) + ", statistic table " + std::to_string(last_.statistics) +
               ", preview ink " + std::to_string(last_.previewInk) + ", preview outline " +
               std::to_string(last_.previewOutline) + "\n";
    }

    // Nothing of the closed file is left: the cell's background where its picture stood,
    // no statistic table, an empty preview.
    void ExpectNothingShown() {
        const bool gone = WaitFor([](const Seen& s) { return !s.picture && s.leftOver == 0 && !s.statistics; });
        EXPECT_TRUE(gone) << Describe() << program_->Log();
        EXPECT_LE(last_.previewInk, 0) << Describe();
        EXPECT_EQ(last_.previewOutline, 0) << Describe();
    }

    // A second start hands its line over; it ends with 0 once the running program ran it.
    void HandOver(const std::vector<std::string>& names) {
        std::vector<std::string> paths;
        for (const std::string& n : names) paths.push_back(files_->File(n));
        const int status = testing_util::RunProgram(
            ORVA_BINARY_DIR "/orva",
            {"-C", run_, "XDG_CONFIG_HOME=" + run_ + "/config", "XDG_RUNTIME_DIR=" + run_ + "/run",
             "HOME=" + run_ + "/home", "ORVA_MESSAGEBOX_ANSWER=1"},
            paths);
        EXPECT_EQ(status, 0);
        ASSERT_TRUE(program_->WaitForLog("Received command line:", kWait)) << program_->Log();
    }

    testing_util::TempFolder runs_;
    Screen screen_;
    std::string run_;
    std::optional<ProgramRun> program_;
    Window main_ = 0;
    Picture want_;
    Placement place_;
    std::array<uint8_t, 3> background_{};
    Seen last_;
};

// A square picture: its preview draws the dotted outline of the cell's extent around it
// (a wider one's outline lies outside the preview).
TEST_F(ClosedDataProgram, CtrlWTakesTheClosedFileOffTheScreen) {
    int status = -1;
    const std::string out = testing_program::RunCommand(
        ORVA_PYTHON " -c \"import sys, numpy as np; from astropy.io import fits; "
        "y, x = np.mgrid[0:300, 0:300]; "
        "fits.PrimaryHDU((np.sin(x / 20.0) + np.cos(y / 15.0)).astype(np.float32)).writeto(sys.argv[1], "
        "overwrite=True)\" '" +
            files_->File("square.fits") + "' 2>&1",
        &status);
    ASSERT_EQ(status, 0) << out;
    StartShowing("square.fits");
    if (HasFatalFailure()) return;
    EXPECT_TRUE(WaitFor([](const Seen& s) { return s.previewOutline > 20; })) << Describe();
    // Ctrl+W in the workspace, beside the picture.
    testing_program::ClickAt(screen_.display(), main_, place_.x - 3, place_.y + want_.height / 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    testing_program::PressKeys(screen_.display(), {XK_Control_L, XK_w});
    ExpectNothingShown();
    EXPECT_TRUE(program_->Running());
    EXPECT_EQ(program_->End(), 0);
}

// Opening a file closes the open data first; when the file then fails to open, nothing
// of the closed file stays on the screen.
TEST_F(ClosedDataProgram, AFailedOpenHandedOverLeavesNothingOfTheClosedFile) {
    struct Case {
        const char* bad;
        const char* said;  // the log's line for it, "%s" standing for the full name
    };
    const Case cases[] = {{"empty.fits", "'%s' - data is empty [not processed]"}, {"cut.fits", "'%s' - corrupt"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bad);
        StartShowing("range.fits", c.bad);
        if (HasFatalFailure()) return;
        HandOver({c.bad});
        std::string said = c.said;
        said.replace(said.find("%s"), 2, files_->File(c.bad));
        ASSERT_TRUE(program_->WaitForLog(said, kWait)) << program_->Log();
        ExpectNothingShown();
        EXPECT_TRUE(program_->Running());
        EXPECT_EQ(program_->End(), 0);
        program_.reset();
    }
}

// A failed open that leaves a file open leaves it shown: a good file before the bad one
// on the handed line shows with its page and preview; a folder is refused before the open
// data are closed, and the file shown stays.
TEST_F(ClosedDataProgram, AFailedOpenLeavesTheFileThatStaysOpenShown) {
    StartShowing("int16.fits");
    if (HasFatalFailure()) return;
    HandOver({"range.fits", "empty.fits"});
    ASSERT_TRUE(program_->WaitForLog("'" + files_->File("empty.fits") + "' - data is empty", kWait))
        << program_->Log();
    ExpectShown("range.fits");
    HandOver({"folder.fits"});
    ASSERT_TRUE(program_->WaitForLog("* Can`t open file: " + files_->File("folder.fits"), kWait)) << program_->Log();
    ExpectShown("range.fits");
    EXPECT_TRUE(program_->Running());
    EXPECT_EQ(program_->End(), 0);
}

}  // namespace
}  // namespace orva
