// The road as a user meets it when things go wrong, or when a second start hands a file
// over: the real program under the test's display, its main window read back and the
// numpy picture of each good file looked for in it, its status line read from the log
// (the program logs what its status lines show when the test asks it to) and its colour
// read from the pixels, and the windows it shows listed by title.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <sstream>
#include <string>
#include <vector>

#include "app/status_line.h"
#include "program_window.h"
#include "bad_road_files.h"
#include "road_files.h"
#include "test_support.h"

// After the test framework: the X headers define None and Bool.
#include <X11/extensions/XTest.h>

namespace orva {
namespace {

using testing_program::Picture;
using testing_program::Placement;
using testing_program::ProgramRun;
using testing_program::ReferencePicture;
using testing_program::Screen;

constexpr const char* kQuestionTitle = "Cannot detect the type of file... Open as binary?";
constexpr int kWait = 20000;

// The titles of the windows shown on the screen (mapped and viewable), sorted.
void CollectTitles(Display* d, Window parent, std::vector<std::string>* titles) {
    Window root = 0, up = 0, *children = nullptr;
    unsigned count = 0;
    if (!XQueryTree(d, parent, &root, &up, &children, &count)) return;
    for (unsigned i = 0; i < count; ++i) {
        XWindowAttributes a;
        if (!XGetWindowAttributes(d, children[i], &a) || a.map_state != IsViewable) continue;
        char* name = nullptr;
        if (XFetchName(d, children[i], &name) && name != nullptr) {
            titles->push_back(name);
            XFree(name);
        }
        CollectTitles(d, children[i], titles);
    }
    if (children != nullptr) XFree(children);
}
std::vector<std::string> ShownTitles(Screen& screen) {
    std::vector<std::string> titles;
    CollectTitles(screen.display(), DefaultRootWindow(screen.display()), &titles);
    std::sort(titles.begin(), titles.end());
    return titles;
}

// Clicks at a point of a window as the user would, through the X server.
void Click(Display* d, Window w, int x, int y) {
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(d, w, DefaultRootWindow(d), x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(d, DefaultScreen(d), rx, ry, CurrentTime);
    XSync(d, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
    return n;
}

class RoadBadInputTest : public testing_program::BadRoadFilesSuite {
protected:
    void SetUp() override {
        if (files_ == nullptr) GTEST_SKIP() << "astropy, Pillow or numpy not installed";
        ASSERT_NE(screen_.display(), nullptr) << "no X display";
    }
    std::string RunFolder(const std::string& name) {
        const std::string path = runs_.File(name);
        mkdir(path.c_str(), 0700);
        return path;
    }
    // Waits for the program's main window; 0 when it does not come.
    Window MainWindow(ProgramRun& program) {
        const Window main = screen_.WaitForWindow(testing_program::kMainWindowTitle, kWait);
        EXPECT_NE(main, 0u) << program.Log();
        return main;
    }
    // Expects the picture of `file` in the main window.
    void ExpectShown(ProgramRun& program, Window main, const std::string& file, const std::string& keepAs) {
        Picture want;
        ASSERT_TRUE(ReferencePicture(file, &want));
        Picture shown;
        const Placement found = testing_program::WaitForPicture(screen_, main, want, kWait, &shown);
        if (!found.found) {
            const std::string keep = std::string(ORVA_BINARY_DIR "/road_shown_") + keepAs + ".ppm";
            testing_program::WritePpm(keep, shown);
            ADD_FAILURE() << file << " is not shown (the window's pixels: " << keep << ")\n" << program.Log();
        }
    }

    // The windows a start on one good file shows, once its picture is there.
    std::vector<std::string> WindowsOfAGoodStart() {
        ProgramRun program(RunFolder("baseline"), {files_->File("range.fits")});
        const Window main = MainWindow(program);
        if (main == 0) return {};
        ExpectShown(program, main, files_->File("range.fits"), "baseline");
        // A status line that reports nothing wrong has no red on it.
        EXPECT_EQ(testing_program::ErrorPixelsOnTheStatusLine(screen_, main), 0);
        std::vector<std::string> titles = ShownTitles(screen_);
        EXPECT_EQ(program.End(), 0);
        return titles;
    }

    struct BadCase {
        const char* bad;                 // the name on the command line (in the files' folder)
        const char* good;                // the good file after it
        std::vector<std::string> log;    // lines the log holds, "%s" standing for the full name
        std::string status;              // what the status line shows, the same way
        bool question = false;           // the program asks whether to read it as raw data
    };
    static std::string Fill(const std::string& pattern, const std::string& name) {
        std::string text = pattern;
        const size_t at = text.find("%s");
        if (at != std::string::npos) text.replace(at, 2, name);
        return text;
    }

    // Starts the program on the bad name followed by a good file: it keeps running with
    // the windows a good start shows, says why in the log and on the status line (in the
    // error colour), makes no item of the bad name, and the good file opens and shows.
    void ExpectRefusedAndTheNextShown(const BadCase& c) {
        const std::vector<std::string> windows = WindowsOfAGoodStart();
        ASSERT_FALSE(windows.empty());
        const std::string bad = files_->File(c.bad), good = files_->File(c.good);
        testing_util::ScopedEnv echo(kStatusLogVariable, "1");
        ProgramRun program(RunFolder(c.bad), {bad, good});
        const Window main = MainWindow(program);
        ASSERT_NE(main, 0u);
        if (c.question) {
            // The question comes; the user answers No (the second button of the column at
            // the right: 50 pixels from the right edge, 36 from the top).
            const Window box = screen_.WaitForWindow(kQuestionTitle, kWait);
            ASSERT_NE(box, 0u) << program.Log();
            XWindowAttributes a;
            ASSERT_TRUE(XGetWindowAttributes(screen_.display(), box, &a));
            screen_.Raise(box);
            Click(screen_.display(), box, a.width - 50, 36);
        }
        const std::string status = "# status line 0: " + Fill(c.status, bad) + "\n";
        ASSERT_TRUE(program.WaitForLog(status, kWait)) << program.Log();
        ASSERT_TRUE(program.WaitForLog("Input file: '" + good + "'", kWait)) << program.Log();
        ExpectShown(program, main, good, c.bad);
        const std::string log = program.Log();
        for (const std::string& line : c.log) EXPECT_NE(log.find(Fill(line, bad) + "\n"), std::string::npos) << log;
        // Nothing of the bad name was opened, and nothing reset the line since.
        EXPECT_EQ(Count(log, "Source format:"), 1u) << log;
        EXPECT_EQ(Count(log, "# status line 0:"), 1u) << log;
        EXPECT_GT(testing_program::ErrorPixelsOnTheStatusLine(screen_, main), 20);
        EXPECT_EQ(ShownTitles(screen_), windows);
        EXPECT_TRUE(program.Running());
        EXPECT_EQ(program.End(), 0);
    }

    testing_util::TempFolder runs_;
    Screen screen_;
};

// The later starts of a run in `folder` handed their lines over: a start keeps a log of
// its own (`log`, orva2.log for the second) only to say that it waited for the program
// of `receiver` that was busy (a busy machine), never a run of its own.
::testing::AssertionResult HandedOverOnly(const std::string& folder, const std::string& log = "orva2.log",
                                          int receiver = 1) {
    const std::string path = folder + "/config/ZEL Lab/" + log;
    if (!testing_util::Exists(path)) return ::testing::AssertionSuccess();
    const std::string waited = "The running program (" + std::to_string(receiver) + ")";
    std::istringstream lines(testing_util::ReadText(path));
    for (std::string l; std::getline(lines, l);)
        if (!l.empty() && l.find(waited) == std::string::npos)
            return ::testing::AssertionFailure() << "a line of a run of its own in " << log << ": " << l;
    return ::testing::AssertionSuccess();
}

TEST_F(RoadBadInputTest, AMissingFile) {
    ExpectRefusedAndTheNextShown({"missing.fits", "range.fits", {"* Can`t open file: %s"}, "Can`t open %s..."});
}

TEST_F(RoadBadInputTest, AFolder) {
    ExpectRefusedAndTheNextShown({"folder.fits", "stated.fits", {"* Can`t open file: %s"}, "Can`t open %s..."});
}

TEST_F(RoadBadInputTest, AnEmptyFile) {
    ExpectRefusedAndTheNextShown({"empty.fits", "rgb.bmp", {"Input file: '%s'", "'%s' - data is empty [not processed]"},
                                  "'%s' - data is empty [not processed]"});
}

// A FITS header that declares an axis of length 0: the file is known, its data are
// empty, and the user is told so rather than asked whether to read it as raw data.
TEST_F(RoadBadInputTest, AFitsHeaderWithAnAxisOfLengthZero) {
    ExpectRefusedAndTheNextShown({"zero.fits", "range.fits", {"Input file: '%s'", "'%s' - data is empty [not processed]"},
                                  "'%s' - data is empty [not processed]"});
}

// The FITS reader knows the file as its own and finds its data cut short: the user is
// told so, not asked whether to read it as raw data, and nothing of it is shown.
TEST_F(RoadBadInputTest, AFitsFileCutInTheMiddleOfItsData) {
    ExpectRefusedAndTheNextShown({"cut.fits", "photo.jpg",
                                  {"'%s' - fits header unit 1: data run past the end of the file", "'%s' - corrupt"},
                                  "'%s' - corrupt"});
}

// No format knows prose: the program asks whether to read it as raw data; the user
// declines.
TEST_F(RoadBadInputTest, ATextFileNamedLikeAFitsFile) {
    ExpectRefusedAndTheNextShown({"notes.fits", "int16.fits", {"'%s' - not a fits file", "'%s' - user abort"},
                                  "'%s' - user abort", true});
}

// Bitmaps that declare 65535 x 65535 pixels for a megabyte of run-length data: refused at
// once, and the file after them shown.
TEST_F(RoadBadInputTest, RunLengthBombsAreRefused) {
    for (const char* bomb : {"bomb8.bmp", "bomb4.bmp"}) {
        SCOPED_TRACE(bomb);
        ExpectRefusedAndTheNextShown(
            {bomb, "range.fits",
             {"Input file: '%s'", "\"%s\": Not supported size [65535 x 65535] of run-length data: 1048576 bytes of "
                                  "it are decoded to at most 16777216 pixels"},
             "(%s) - unsupported"});
    }
}

// BITPIX values that FITS does not have are refused, not read as some other type.
TEST_F(RoadBadInputTest, BitpixValuesFitsDoesNotHave) {
    const struct {
        const char* file;
        const char* value;
    } cases[] = {{"bitpix-16.fits", "-16"}, {"bitpix7.fits", "7"}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        ExpectRefusedAndTheNextShown({c.file, "rgb.bmp",
                                      {"Input file: '%s'", std::string("'%s' - fits header unit 1: BITPIX = ") + c.value +
                                                               " is not a FITS sample type (8, 16, 32, 64, -32 or -64)"},
                                      "(%s) - unsupported"});
    }
}

// A running program that is handed a bitmap bomb answers at once: the hand-over, which
// waits for the line's run, ends (the bomb is refused by its size, never decoded: its
// 4 gigapixels would take minutes), and the program goes on to take the next line. The
// bound only tells a refusal from a decode; a busy machine's starts stay far below it.
TEST_F(RoadBadInputTest, ABombHandedOverIsAnsweredAtOnce) {
    const std::string folder = RunFolder("bomb-first");
    ProgramRun program(folder, {files_->File("range.fits")});
    const Window main = MainWindow(program);
    ASSERT_NE(main, 0u);
    ExpectShown(program, main, files_->File("range.fits"), "bomb-first");
    const std::vector<std::string> env = {"XDG_CONFIG_HOME=" + folder + "/config", "XDG_RUNTIME_DIR=" + folder + "/run",
                                          "HOME=" + folder + "/home", "ORVA_MESSAGEBOX_ANSWER=1"};
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(testing_util::RunProgram(ORVA_BINARY_DIR "/orva", env, {files_->File("bomb8.bmp")}), 0);
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_LT(took, std::chrono::seconds(30));
    EXPECT_TRUE(program.WaitForLog("Not supported size [65535 x 65535] of run-length data", kWait)) << program.Log();
    EXPECT_EQ(testing_util::RunProgram(ORVA_BINARY_DIR "/orva", env, {files_->File("noise.fits")}), 0);
    Picture noise;
    ASSERT_TRUE(ReferencePicture(files_->File("noise.fits"), &noise));
    Picture shown;
    EXPECT_TRUE(testing_program::WaitForPicture(screen_, main, noise, kWait, &shown).found) << program.Log();
    EXPECT_TRUE(HandedOverOnly(folder));
    EXPECT_EQ(program.End(), 0);
}

// A second start from another folder hands its line to the running instance and ends
// with status 0; the running instance opens the file (named relative to the second
// start's folder) into a new project, in place of the one it showed, and shows it.
TEST_F(RoadBadInputTest, ASecondStartHandsAFileOverAndItIsShown) {
    const std::string folder = RunFolder("first"), elsewhere = RunFolder("elsewhere");
    const std::string other = elsewhere + "/other.fits";
    testing_util::WriteText(other, testing_util::ReadText(files_->File("noise.fits")));
    Picture first, second;
    ASSERT_TRUE(ReferencePicture(files_->File("range.fits"), &first));
    ASSERT_TRUE(ReferencePicture(other, &second));

    ProgramRun program(folder, {files_->File("range.fits")});
    const Window main = MainWindow(program);
    ASSERT_NE(main, 0u);
    ExpectShown(program, main, files_->File("range.fits"), "first");
    const std::vector<std::string> windows = ShownTitles(screen_);

    const int status = testing_util::RunProgram(
        ORVA_BINARY_DIR "/orva",
        {"-C", elsewhere, "XDG_CONFIG_HOME=" + folder + "/config", "XDG_RUNTIME_DIR=" + folder + "/run",
         "HOME=" + folder + "/home", "ORVA_MESSAGEBOX_ANSWER=1"},
        {"other.fits"});
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(program.WaitForLog("Received command line: other.fits\n", kWait)) << program.Log();
    ASSERT_TRUE(program.WaitForLog("Input file: '" + other + "'", kWait)) << program.Log();
    Picture shown;
    const Placement found = testing_program::WaitForPicture(screen_, main, second, kWait, &shown);
    EXPECT_TRUE(found.found) << program.Log();
    // The first file's project was closed: its picture is gone.
    EXPECT_FALSE(testing_program::FindPicture(shown, first, 1).found);
    // One instance, with the windows it had; the second start ran nothing of its own.
    EXPECT_EQ(ShownTitles(screen_), windows);
    EXPECT_TRUE(HandedOverOnly(folder));
    const std::string log = program.Log();
    EXPECT_EQ(Count(log, "Source format:"), 2u) << log;
    EXPECT_EQ(log.find("Can`t open"), std::string::npos) << log;
    EXPECT_TRUE(program.Running());
    EXPECT_EQ(program.End(), 0);
}

// Two displays sharing one runtime folder: a start on the other display, with its own
// home and settings, is a program of its own there and shows its file on that display;
// the first program, on the test's display, receives nothing and keeps its windows. A
// start on that other display then hands over as ever, to the program that is there.
TEST_F(RoadBadInputTest, AStartOnAnotherDisplayRunsItsOwnProgramThere) {
    testing_program::SecondDisplay other;
    ASSERT_FALSE(other.Name().empty()) << "Xvfb did not start";
    Screen otherScreen(other.Name().c_str());
    ASSERT_NE(otherScreen.display(), nullptr);
    const std::string folder = RunFolder("first"), away = RunFolder("away"), elsewhere = RunFolder("elsewhere");
    const std::string noise = elsewhere + "/noise.fits", range = elsewhere + "/range.fits";
    testing_util::WriteText(noise, testing_util::ReadText(files_->File("noise.fits")));
    testing_util::WriteText(range, testing_util::ReadText(files_->File("range.fits")));
    Picture first, second, third;
    ASSERT_TRUE(ReferencePicture(files_->File("int16.fits"), &first));
    ASSERT_TRUE(ReferencePicture(noise, &second));
    ASSERT_TRUE(ReferencePicture(range, &third));

    ProgramRun program(folder, {files_->File("int16.fits")});
    const Window main = MainWindow(program);
    ASSERT_NE(main, 0u);
    ExpectShown(program, main, files_->File("int16.fits"), "first");
    const std::vector<std::string> windows = ShownTitles(screen_);

    // The same runtime folder, another display, home and settings: the second instance.
    const testing_program::ProgramPlace there{other.Name(), folder + "/run", "orva2.log"};
    ProgramRun own(away, {noise}, there);
    const std::string ownTitle = std::string(testing_program::kMainWindowTitle) + " [2]";
    const Window ownMain = otherScreen.WaitForWindow(ownTitle, kWait);
    ASSERT_NE(ownMain, 0u) << own.Log() << "\n--- first:\n" << program.Log();
    Picture shown;
    EXPECT_TRUE(testing_program::WaitForPicture(otherScreen, ownMain, second, kWait, &shown).found) << own.Log();
    EXPECT_TRUE(own.Running());
    // Nothing reached the first program: its log, its windows and its picture are as they were.
    EXPECT_EQ(program.Log().find("Received command line"), std::string::npos) << program.Log();
    EXPECT_EQ(ShownTitles(screen_), windows);
    EXPECT_TRUE(testing_program::WaitForPicture(screen_, main, first, kWait, &shown).found);
    EXPECT_FALSE(testing_program::FindPicture(shown, second, 1).found);

    // A start on the other display hands its file to the program there, not to the first.
    const int status = testing_util::RunProgram(
        ORVA_BINARY_DIR "/orva",
        {"-C", elsewhere, "DISPLAY=" + other.Name(), "XDG_CONFIG_HOME=" + away + "/config",
         "XDG_RUNTIME_DIR=" + folder + "/run", "HOME=" + away + "/home", "ORVA_MESSAGEBOX_ANSWER=1"},
        {"range.fits"});
    EXPECT_EQ(status, 0);
    ASSERT_TRUE(own.WaitForLog("Received command line: range.fits\n", kWait)) << own.Log();
    EXPECT_TRUE(testing_program::WaitForPicture(otherScreen, ownMain, third, kWait, &shown).found) << own.Log();
    EXPECT_EQ(program.Log().find("Received command line"), std::string::npos) << program.Log();
    // The third start handed its line to the program there and ran nothing of its own.
    EXPECT_TRUE(HandedOverOnly(away, "orva3.log", 2));
    EXPECT_EQ(own.End(), 0);
    EXPECT_EQ(program.End(), 0);
}

}  // namespace
}  // namespace orva
