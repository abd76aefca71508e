// The program on a desktop: the same X server with a window manager (openbox, started by
// the test script before the program) that frames, stacks, places and iconifies the
// windows. Driven by X input and judged by the screen: the main window's title bar lies
// on the screen; its row of pages along the top (the fast selector, the pointer's
// readouts) shows at start, after a click on the picture and after the window was
// minimised and brought back; "Chart Tools" leaves the main window's status line in
// sight and keeps its chart at the least width it can be sized to; and a name typed at once into the save dialog is the name written. Without a
// window manager there is nothing to judge here.
#include <gtest/gtest.h>

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

#include <string>

#include "page_program.h"
#include "widget_records.h"

namespace orva {
namespace {

using testing_program::PageProgram;
using testing_program::Screen;

bool WindowManagerRuns(Display* d) {
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    const Atom check = XInternAtom(d, "_NET_SUPPORTING_WM_CHECK", False);
    const bool runs = XGetWindowProperty(d, DefaultRootWindow(d), check, 0, 1, False, XA_WINDOW, &type, &format, &count,
                                         &after, &data) == Success &&
                      data != nullptr && count == 1;
    if (data != nullptr) XFree(data);
    return runs;
}

class DesktopProgram : public ::testing::Test, public PageProgram {
protected:
    void SetUp() override {
        if (screen.display() == nullptr || !WindowManagerRuns(X())) GTEST_SKIP() << "no window manager runs here";
        bool skip = false;
        const std::string why = Start(&skip);
        if (skip) GTEST_SKIP() << why;
        ASSERT_EQ(why, "") << program->Log();
    }

    // Whether the row of pages along the main window's top shows: the fast selector's
    // caption and the coordinates page's, on the screen inside the main window.
    bool TopRowShows(int ms = 5000) {
        const Screen::Rect m = MainRect();
        const Screen::Rect top{m.left, m.top, m.right, m.top + 120};
        return WaitForText("FRAME(S):", top, nullptr, nullptr, ms) && WaitForText("Data coord", top, nullptr, nullptr, ms);
    }

    const std::string dump = files.File("widgets.txt");
    testing_util::ScopedEnv dumpEnv{"ORVA_WIDGET_DUMP", dump};
};

TEST_F(DesktopProgram, TheMainWindowsTitleBarPagesAndStatusLineStayInSight) {
    Display* d = X();
    // The frame's top, with the title bar and its boxes, lies on the screen.
    ASSERT_TRUE(testing_util::WaitUntil([&] { return screen.FramedRectOf(main).top < screen.RectOf(main).top; }, 5000))
        << "no frame";
    EXPECT_GE(screen.FramedRectOf(main).top, 0) << "the title bar is above the screen";

    ASSERT_TRUE(TopRowShows()) << "the pages along the top are not on the screen: " << Keep("desktop_start");
    // A click on the picture raises the main window: its pages stay above it.
    const Screen::Rect ws = testing_program::WorkspaceOf(screen, main);
    testing_program::ClickAt(d, Root(), (ws.left + ws.right) / 2, (ws.top + ws.bottom) / 2);
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    EXPECT_TRUE(TopRowShows()) << "a click on the picture hid the pages: " << Keep("desktop_click");

    // "Chart Tools", frame and all, stands clear of the main window and its status line,
    // also once the Source's taller "Options" page has made the main window grow.
    const Window tools = screen.WaitForWindow("Chart Tools", 5000);
    ASSERT_NE(tools, 0u);
    for (const bool options : {false, true}) {
        SCOPED_TRACE(options ? "the Options page shown" : "at start");
        if (options) {
            ASSERT_TRUE(ClickPageTab(1));
            std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        }
        const Screen::Rect m = screen.FramedRectOf(main), t = screen.FramedRectOf(tools);
        EXPECT_FALSE(m.Overlaps(t)) << "Chart Tools (" << t.left << "," << t.top << ") covers the main window (bottom "
                                    << m.bottom << ")";
        const Screen::Rect client = MainRect();
        EXPECT_TRUE(WaitForText("Ready", {client.left, client.bottom - 24, client.right, client.bottom}, nullptr,
                                nullptr))
            << "the status line is hidden: " << Keep("desktop_status");
    }

    // Minimised with the window's own "_" box, and brought back as a task bar does: the
    // pages come back with it.
    testing_program::Records now;
    int x = 0, y = 0;
    ASSERT_TRUE(testing_program::ReadRecords(program->Pid(), dump, &now) &&
                now.Centre(testing_program::kMainWindowTitle, "_", &x, &y));
    const Screen::Rect before = MainRect();
    testing_program::ClickAt(d, Root(), x, y);
    XWindowAttributes a{};
    ASSERT_TRUE(testing_util::WaitUntil(
        [&] { return XGetWindowAttributes(d, main, &a) && a.map_state != IsViewable; }, 5000))
        << "not minimised";
    EXPECT_FALSE(WaitForText("FRAME(S):", {0, 0, shot.width, shot.height}, nullptr, nullptr, 500))
        << "a page stayed on the desktop: " << Keep("desktop_minimised");
    XEvent e{};
    e.xclient.type = ClientMessage;
    e.xclient.window = main;
    e.xclient.message_type = XInternAtom(d, "_NET_ACTIVE_WINDOW", False);
    e.xclient.format = 32;
    e.xclient.data.l[0] = 2;  // from a pager or task bar
    XSendEvent(d, Root(), False, SubstructureRedirectMask | SubstructureNotifyMask, &e);
    XSync(d, False);
    Screen::Rect after;
    ASSERT_TRUE(testing_util::WaitUntil(
        [&] {
            after = MainRect();
            return XGetWindowAttributes(d, main, &a) && a.map_state == IsViewable && after.left == before.left &&
                   after.top == before.top;
        },
        5000))
        << "not restored where it stood: (" << after.left << "," << after.top << ") for (" << before.left << ","
        << before.top << ")";
    EXPECT_TRUE(TopRowShows(10000)) << "the pages did not come back: " << Keep("desktop_restored");

    // "Chart Tools" sized by its frame's corner grip as narrow as it goes still shows its
    // chart with the chart's zoom bar whole.
    const Screen::Rect t = screen.FramedRectOf(tools);
    testing_program::Drag(d, Root(), t.right - 3, t.bottom - 2, t.left + 100 - t.right, 0);
    Screen::Rect narrow;
    ASSERT_TRUE(testing_util::WaitUntil([&] { return (narrow = screen.RectOf(tools)).right < t.right - 3; }, 5000))
        << "the grip did not size Chart Tools";
    const Screen::Rect chart{(narrow.left + narrow.right) / 2, narrow.top, narrow.right, narrow.bottom};
    for (const char* text : {"BG", "1:1", "100%"})
        EXPECT_TRUE(WaitForText(text, chart, nullptr, nullptr)) << text << " not in the chart's zoom bar at "
                                                                << narrow.right - narrow.left << " pixels: "
                                                                << Keep("desktop_narrow");
}

TEST_F(DesktopProgram, ANameTypedAtOnceIntoTheSaveDialogIsWritten) {
    // "Save" on the menu bar, and the name typed as soon as the dialog stands, no click.
    const Screen::Rect m = MainRect();
    testing_program::ClickAt(X(), Root(), m.left + 20, m.top + 38);
    const Window dialog = screen.WaitForWindow("Save As - [Input - format convertor] [All]", 10000);
    ASSERT_NE(dialog, 0u) << program->Log();
    ASSERT_TRUE(WaitForText("File name:", screen.RectOf(dialog), nullptr, nullptr));
    testing_program::TypeText(X(), files.File("typed"));
    testing_program::PressKeys(X(), {XK_Return});
    EXPECT_TRUE(testing_util::WaitUntil([&] { return testing_util::Exists(files.File("typed001_snr0001.fits")); },
                                        15000))
        << "nothing written: " << Keep("desktop_save") << "\n" << program->Log();
}

}  // namespace
}  // namespace orva
