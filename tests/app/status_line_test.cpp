// The status lines of the window groups: the code table, what is dropped, the mended
// repeats, the printf road and the hooks through which the lower layers report.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <string>
#include <tuple>
#include <vector>

#include "common/error_codes.h"
#include "framework/app_object.h"
#include "shell_fixture.h"
#include "test_support.h"
#include "toolkit/texture_view.h"
#include "toolkit/widget.h"

namespace orva {
namespace {

class StatusLineTest : public testing_util::ShellTest {
protected:
    void SetUp() override { Start(); }
    gElement* Line(int group) { return cui().groups[group].statusWidget; }
    std::tuple<std::string, uint32_t> Shown(int group = 0) {
        gElement* e = Line(group);
        return {e->text, e->textColor};
    }
};

TEST_F(StatusLineTest, CodesTextsAndColours) {
    ASSERT_NE(Line(0), nullptr);
    ASSERT_NE(Line(1), nullptr);
    EXPECT_EQ(Shown(0), std::tuple(std::string("Ready"), kStatusDefaultColour));
    EXPECT_EQ(Shown(1), std::tuple(std::string("Ready"), kStatusDefaultColour));
    struct Case {
        int code;
        const char* text;
        std::string shown;
        uint32_t colour;
    };
    const Case cases[] = {
        {3, "a.fits", "Can`t open a.fits...", kStatusErrorColour},
        {8, nullptr, "m_PinOut: user has cancelled...", kStatusCancelColour},
        {0, nullptr, "Ready", kStatusDefaultColour},
        {-2, "just a note", "just a note", kStatusDefaultColour},
        {-3, "bad expression", "bad expression", kStatusErrorColour},
        {0, "all done", "all done", kStatusDefaultColour},
        {5, nullptr, "Bad value:...", kStatusErrorColour},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SetGroupStatus(0, c.code, kStatusRedrawNow, c.text), 1) << c.shown;
        EXPECT_EQ(Shown(0), std::tuple(c.shown, c.colour));
    }
}

TEST_F(StatusLineTest, DroppedCallsLeaveTheLineAlone) {
    SetGroupStatus(0, 3, 0, "kept.fits");
    const std::tuple<int, int, const char*> dropped[] = {
        {3, 1, "x"}, {0, -1, "x"}, {0, 9, "x"}, {0, -2, nullptr}, {-1, 3, "x"}};
    for (auto [group, code, text] : dropped) {
        EXPECT_EQ(SetGroupStatus(group, code, 0, text), 0) << group << " " << code;
        EXPECT_EQ(Line(0)->text, "Can`t open kept.fits...");
    }
    gSetUiReady(false);
    EXPECT_EQ(SetGroupStatus(0, 2, 0, nullptr), 0);
    EXPECT_EQ(PrintStatusLine(0, -3, 0, "%s", "x"), 0);
    gSetUiReady(true);
    EXPECT_EQ(Line(0)->text, "Can`t open kept.fits...");
}

TEST_F(StatusLineTest, ReportsAreNeverSwallowed) {
    // A second file that cannot be opened is reported; an identical repeat is not.
    EXPECT_EQ(SetGroupStatus(0, 3, 0, "a.fits"), 1);
    EXPECT_EQ(SetGroupStatus(0, 3, 0, "b.fits"), 1);
    EXPECT_EQ(Line(0)->text, "Can`t open b.fits...");
    EXPECT_EQ(SetGroupStatus(0, 3, 0, "b.fits"), 0);
    // Clicked back to "Ready": the same failure shows again.
    StatusResetHandler(Line(0), 0);
    EXPECT_EQ(Shown(0), std::tuple(std::string("Ready"), kStatusDefaultColour));
    EXPECT_EQ(SetGroupStatus(0, 3, 0, "b.fits"), 1);
    EXPECT_EQ(Shown(0), std::tuple(std::string("Can`t open b.fits..."), kStatusErrorColour));
    // Negative codes always show.
    EXPECT_EQ(SetGroupStatus(1, -3, 0, "one"), 1);
    EXPECT_EQ(SetGroupStatus(1, -3, 0, "one"), 1);
}

TEST_F(StatusLineTest, PrintedLinesAndLongTexts) {
    EXPECT_EQ(PrintStatusLine(0, -2, kStatusRedrawNow, "frame %d of %I64d", 3, static_cast<long long>(12)), 1);
    EXPECT_EQ(Shown(0), std::tuple(std::string("frame 3 of 12"), kStatusDefaultColour));
    EXPECT_EQ(PrintStatusLine(0, 4, 0, "%s", "codes above -2 print nothing"), 0);
    std::string long300(300, 'w');
    EXPECT_EQ(PrintStatusLine(0, -3, 0, "%s", long300.c_str()), 1);
    EXPECT_EQ(Shown(0), std::tuple(std::string(129, 'w'), kStatusErrorColour));
    // The joined table text is cut the same way.
    SetGroupStatus(0, 7, 0, long300.c_str());
    EXPECT_EQ(Line(0)->text.size(), 129u);
    EXPECT_EQ(Line(0)->text.substr(0, 12), "Can`t write ");
}

TEST_F(StatusLineTest, LowerLayersReportThroughTheHooks) {
    EXPECT_NE(ShowErrorCode(-23, "out.fits"), 0);
    EXPECT_EQ(Shown(0), std::tuple(std::string("'out.fits' - corrupt"), kStatusErrorColour));
    // A user's cancel is logged but not shown.
    EXPECT_EQ(ShowErrorCode(kErrUserCancelled, "out.fits"), 0);
    EXPECT_EQ(Line(0)->text, "'out.fits' - corrupt");
    ShowError("disk full");
    EXPECT_EQ(Shown(0), std::tuple(std::string("disk full"), kStatusErrorColour));

    // A texture view pressed in the main window shows its hint.
    TextureView view;
    ASSERT_NE(view.Create(Main(), TextureViewRect{10, 10, 64, 48}, nullptr), nullptr);
    gMouseButtonState() = 1;
    view.widget->onClick(view.widget, view.widget->handlerData);
    gMouseButtonState() = 0;
    EXPECT_EQ(Shown(0), std::tuple(std::string(kTextureViewHint), kStatusDefaultColour));

}

// A test of the whole program reads the lines from the log when it asks for them.
TEST_F(StatusLineTest, EchoedToTheLogOnlyWhenAsked) {
    testing_util::ProgramLogCapture log;
    for (const char* value : {static_cast<const char*>(nullptr), ""}) {
        testing_util::ScopedEnv off(kStatusLogVariable, value);
        SetGroupStatus(0, 3, 0, "c.fits");
        EXPECT_EQ(Line(0)->text, "Can`t open c.fits...");
        StatusResetGroup(0);
    }
    EXPECT_EQ(log.Text(), "");
    testing_util::ScopedEnv on(kStatusLogVariable, "1");
    SetGroupStatus(1, 3, 0, "a.fits");
    PrintStatusLine(0, -3, 0, "'%s' - corrupt", "b.fits");
    StatusResetGroup(0);
    EXPECT_EQ(log.Text(), "# status line 1: Can`t open a.fits...\n# status line 0: 'b.fits' - corrupt\n"
                          "# status line 0: Ready\n");
}

// A name on a command line that names no file, or a folder, is shown on the main
// window's line as well as logged; the other names still go to the open road.
TEST_F(StatusLineTest, NamesTheCommandLineCannotOpenAreShown) {
    testing_util::TempFolder folder;
    const std::string missing = folder.File("missing.fits"), dir = folder.File("dir.fits");
    const std::string good = folder.File("good.fits");
    mkdir(dir.c_str(), 0700);
    testing_util::WriteText(good, "x");
    static std::vector<std::string> opened;
    opened.clear();
    TheOpenRoad().openSourceFileReport = [](CUI*, Project*, OpenParameters*, const char* name) -> ComponentBase* {
        opened.push_back(name);
        return nullptr;
    };
    testing_util::ProgramLogCapture log;
    for (const std::string& bad : {missing, dir}) {
        TheApp().DispatchCommandLine({bad, good});
        EXPECT_EQ(Shown(0), std::tuple("Can`t open " + bad + "...", kStatusErrorColour));
        EXPECT_NE(log.Text().find("* Can`t open file: " + bad + "\n"), std::string::npos);
        StatusResetGroup(0);
    }
    EXPECT_EQ(opened, (std::vector<std::string>{good, good}));
}

}  // namespace
}  // namespace orva
