// Several data files in one session of the program on the X server, through the real
// open road: into a new project each (the old one closed first), after the data were
// closed, into one project, a file added to an open project, items closed one by one,
// and every item shown in turn in the cell that showed another. After each step cell 1
// of "Layout" shows the current item's data, every stage of the chain that is left
// feeds only display cells that exist, and the shell's end (the fixture's tear-down)
// takes everything down. Built with AddressSanitizer these runs catch a cell, port or
// device that is used after it went.
//
// The test needs the open road and the image window; a build without them skips it.
#include <gtest/gtest.h>

#ifdef ORVA_OPEN_FILE_DISPLAY
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "../app/shell_fixture.h"
#include "../toolkit/gl_test_support.h"
#include "program_shell.h"
#include "app/file_dialog.h"
#include "app/image_window.h"
#include "app/main_menu.h"
#include "framework/app_object.h"
#include "framework/port.h"
#include "test_support.h"
#include "views/display_cell.h"
#include "views/open_data_files.h"
#include "views/workspace.h"
#endif

namespace orva {
namespace {

#ifndef ORVA_OPEN_FILE_DISPLAY

TEST(SeveralFiles, OneSession) { GTEST_SKIP() << "this build has no open road or no image window"; }

#else

using namespace testing_util;

// Small 16-bit frames of three sizes, one file each, written by astropy.
const char* const kNames[] = {"a.fits", "b.fits", "c.fits"};

bool WriteFiles(const std::string& folder) {
    const std::string script =
        "import numpy as np\n"
        "from astropy.io import fits\n"
        "for name, w, h in (('a.fits', 48, 32), ('b.fits', 64, 40), ('c.fits', 80, 56)):\n"
        "    y, x = np.mgrid[0:h, 0:w]\n"
        "    fits.PrimaryHDU((x * 40 + y * 30).astype(np.int16)).writeto('" + folder +
        "/' + name, overwrite=True)\n";
    return testing_program::RunPython(folder + "/write.py", script);
}

// The display cells that a component's chain feeds, depth first through its consumers.
void CellsFedBy(ComponentBase* c, std::vector<ComponentBase*>* out, int depth = 0) {
    if (c == nullptr || depth > 16) return;
    for (ConsumerLink* link = c->firstLink; link != nullptr; link = link->next) {
        ComponentBase* o = link->owner;
        if (o == nullptr) continue;
        if (IdHasStage(o->GetClassId(), FourCC("CELX"), FourCC("DRAW"))) out->push_back(o);
        else CellsFedBy(o, out, depth + 1);
    }
}

class SeveralFiles : public ShellTest {
protected:
    void SetUp() override {
        ORVA_SKIP_WITHOUT_DISPLAY();
        savedConfirm_ = TheApp().Settings().confirmClosing;
        TheApp().Settings().confirmClosing = 0;
        services_.emplace();
        TheComponentServices().createImageWindow = &CreateImageWindow;
        TheComponentServices().pollComponentState = &PollComponentState;
        Start(false);
        started_ = true;
        if (!WriteFiles(folder.Path())) GTEST_SKIP() << "no astropy";
    }
    void TearDown() override {
        if (!started_) return;
        // The shell's end with everything still open.
        Stop();
        EXPECT_EQ(LiveDisplayCellCount(), 0u);
        EXPECT_EQ(cui().portLists.first, nullptr);
        services_.reset();
        TheApp().Settings().confirmClosing = savedConfirm_;
    }
    bool started_ = false;

    std::string Path(int i) const { return folder.File(kNames[i]); }

    // One file through the open road (the open projects are closed first).
    void OpenAlone(int i) {
        OpenParameters request;
        ASSERT_NE(OpenSourceFileReport(&cui(), nullptr, &request, Path(i).c_str()), nullptr) << kNames[i];
        PumpFor(150);
    }
    // Several files into one new project, as the dialog hands them over.
    void OpenList(const std::vector<int>& files) {
        for (int i : files) cui().pendingFiles.push_back(PendingFile{Path(i), kOpenDefaultFlags | kOpenFromDialog, 0});
        OpenParameters request;
        ASSERT_NE(OpenSourceFileList(&cui(), nullptr, &request, true), nullptr);
        PumpFor(150);
    }
    // A file added to the current project, shown as the list shows each file it opens.
    void OpenIntoCurrent(int i) {
        orva::Project* slot = cui().currentProject;
        ASSERT_NE(slot, nullptr);
        OpenParameters request;
        ASSERT_EQ(OpenFileIntoProject(&cui(), &slot, &request, Path(i).c_str()), 2) << kNames[i];
        ASSERT_EQ(slot, cui().currentProject);
        AttachSourceToPipeline(slot->currentItem.load(), 7);
        PumpFor(150);
    }

    ProjectItem* CurrentItem() {
        orva::Project* p = cui().currentProject;
        return p != nullptr ? p->currentItem.load() : nullptr;
    }
    std::vector<std::string> ItemNames() {
        std::vector<std::string> names;
        if (cui().currentProject == nullptr) return names;
        for (ListNode* n = cui().currentProject->items.head; n != nullptr; n = n->next)
            names.push_back(static_cast<ProjectItem*>(n->item)->path.FileName());
        return names;
    }
    DisplayComponent* Cell(int group) {
        WorkspaceComponent* ws = AsWorkspace(cui().groups[group].workspace);
        if (ws == nullptr) return nullptr;
        uint32_t number = 1;
        return GetCellByNumber(ws, &number, false);
    }

    // Cell 1 of "Layout" shows the current item's data: its device pulls from a stage
    // of that item, the frames of the item's file (`width` wide).
    void ExpectShown(const char* name, uint32_t width) {
        SCOPED_TRACE(name);
        ProjectItem* item = CurrentItem();
        ASSERT_NE(item, nullptr);
        EXPECT_EQ(item->path.FileName(), name);
        DisplayComponent* cell = Cell(0);
        ASSERT_NE(cell, nullptr);
        ASSERT_NE(cell->currentDevice, nullptr);
        ComponentBase* stage = cell->currentDevice->pin.upstream;
        ASSERT_NE(stage, nullptr);
        EXPECT_EQ(stage->owner, item);
        EXPECT_EQ(cell->port, cell->currentDevice->port);
        const FrameDataRecord* data = stage->QueryFrameData(-1, -1);
        ASSERT_NE(data, nullptr);
        EXPECT_EQ(data->width, width);
        // The shell paints it.
        PaintWindow(cell->window);
    }

    // Every source that is open feeds only display cells that exist.
    void ExpectChainsFeedLiveCells() {
        for (ListNode* p = cui().projects.head; p != nullptr; p = p->next) {
            for (ListNode* i = static_cast<orva::Project*>(p->item)->items.head; i != nullptr; i = i->next) {
                auto* item = static_cast<ProjectItem*>(i->item);
                std::vector<ComponentBase*> cells;
                CellsFedBy(item->currentSource.load(), &cells);
                for (ComponentBase* c : cells) EXPECT_NE(AsDisplayCell(c), nullptr) << item->path.FileName();
            }
        }
    }

    TempFolder folder;
    ScopedEnv config{"XDG_CONFIG_HOME", folder.File("config")};
    std::optional<testing_program::OpenAndShowServices> services_;
    uint8_t savedConfirm_ = 0;
};

constexpr uint32_t kWidths[] = {48, 64, 80};

// Each file opened alone closes the project of the one before.
TEST_F(SeveralFiles, EachFileIntoANewProjectClosesTheOneBefore) {
    for (int i : {0, 1, 2}) {
        OpenAlone(i);
        if (HasFatalFailure()) return;
        EXPECT_EQ(cui().projectCount, 1);
        EXPECT_EQ(ItemNames(), std::vector<std::string>{kNames[i]});
        ExpectShown(kNames[i], kWidths[i]);
        ExpectChainsFeedLiveCells();
    }
    // The same file once more.
    OpenAlone(0);
    if (HasFatalFailure()) return;
    ExpectShown(kNames[0], kWidths[0]);
}

// "Close data" between the files: nothing is shown until the next one opens.
TEST_F(SeveralFiles, FilesOpenedAfterTheDataWereClosed) {
    for (int i : {2, 0, 1}) {
        OpenAlone(i);
        if (HasFatalFailure()) return;
        ExpectShown(kNames[i], kWidths[i]);
        EXPECT_TRUE(ProjectCloseData(&cui(), false));
        PumpFor(100);
        EXPECT_EQ(cui().projectCount, 0);
        EXPECT_EQ(cui().projects.head, nullptr);
        DisplayComponent* cell = Cell(0);
        if (cell != nullptr && cell->currentDevice != nullptr) {
            EXPECT_EQ(cell->currentDevice->pin.upstream, nullptr);
        }
        if (cell != nullptr) PaintWindow(cell->window);
    }
}

// Two and three files chosen at once go into one project; the one opened last shows.
TEST_F(SeveralFiles, TwoAndThreeFilesIntoOneProject) {
    OpenList({0, 1});
    if (HasFatalFailure()) return;
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"b.fits", "a.fits"}));
    ExpectShown("a.fits", kWidths[0]);
    ExpectChainsFeedLiveCells();
    // Three at once close the two.
    OpenList({0, 1, 2});
    if (HasFatalFailure()) return;
    EXPECT_EQ(cui().projectCount, 1);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"c.fits", "b.fits", "a.fits"}));
    ExpectShown("a.fits", kWidths[0]);
    ExpectChainsFeedLiveCells();
}

// A file added to the open project replaces the one the cell shows; stepping through the
// items shows each in the same cell, and back.
TEST_F(SeveralFiles, ASecondAndThirdFileReplaceTheOneTheCellShows) {
    OpenAlone(0);
    if (HasFatalFailure()) return;
    OpenIntoCurrent(1);
    if (HasFatalFailure()) return;
    ExpectShown("b.fits", kWidths[1]);
    OpenIntoCurrent(2);
    if (HasFatalFailure()) return;
    ExpectShown("c.fits", kWidths[2]);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"a.fits", "b.fits", "c.fits"}));
    ExpectChainsFeedLiveCells();
    const char* const order[] = {"a.fits", "b.fits", "c.fits", "a.fits"};
    const uint32_t widths[] = {kWidths[0], kWidths[1], kWidths[2], kWidths[0]};
    for (int step = 0; step < 4; ++step) {
        ASSERT_TRUE(ProjectStepItem(&cui(), false)) << step;
        PumpFor(100);
        ExpectShown(order[step], widths[step]);
    }
    ASSERT_TRUE(ProjectStepItem(&cui(), true));
    PumpFor(100);
    ExpectShown("c.fits", kWidths[2]);
}

// Items closed one by one: the shown one (the next item shows), one that is not shown,
// and the last one, which closes the project.
TEST_F(SeveralFiles, ItemsClosedOneByOne) {
    OpenList({0, 1, 2});
    if (HasFatalFailure()) return;
    ExpectShown("a.fits", kWidths[0]);
    // The shown item: its neighbour shows.
    ASSERT_TRUE(ProjectCloseItem(cui().currentProject, CurrentItem(), 7));
    PumpFor(100);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"c.fits", "b.fits"}));
    ExpectShown("b.fits", kWidths[1]);
    ExpectChainsFeedLiveCells();
    // One that is not shown.
    orva::Project* slot = nullptr;
    ProjectItem* other = ProjectFindItemByName(&cui(), &slot, Path(2).c_str());
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(ProjectCloseItem(slot, other, 7));
    PumpFor(100);
    EXPECT_EQ(ItemNames(), std::vector<std::string>{"b.fits"});
    ExpectShown("b.fits", kWidths[1]);
    ExpectChainsFeedLiveCells();
    // A file added again, and the shown item closed through the shell's command.
    OpenIntoCurrent(2);
    if (HasFatalFailure()) return;
    ExpectShown("c.fits", kWidths[2]);
    ASSERT_TRUE(ProjectCloseItem(cui().currentProject, nullptr, 7));
    PumpFor(100);
    ExpectShown("b.fits", kWidths[1]);
    // The last one closes the project.
    ASSERT_TRUE(ProjectCloseItem(cui().currentProject, CurrentItem(), 7));
    PumpFor(100);
    EXPECT_EQ(cui().projectCount, 0);
    // And the next file opens into a new project.
    OpenAlone(1);
    if (HasFatalFailure()) return;
    ExpectShown("b.fits", kWidths[1]);
}

// File > Open twice with the file dialog: the second choice closes the first project.
TEST_F(SeveralFiles, FileOpenTwiceFromTheMenu) {
    ScriptedFileDialog dialog;
    ScopedFileDialogBackend scope(&dialog);
    dialog.Push(ScriptedFileDialog::Choose({"a.fits", "b.fits"}, folder.Path()));
    dialog.Push(ScriptedFileDialog::Choose({"c.fits", "a.fits", "b.fits"}, folder.Path()));
    ASSERT_NE(TheMainMenuHooks().openDataFiles, nullptr);
    TheMainMenuHooks().openDataFiles(&cui(), 0);
    PumpFor(150);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"b.fits", "a.fits"}));
    ExpectShown("a.fits", kWidths[0]);
    TheMainMenuHooks().openDataFiles(&cui(), 0);
    PumpFor(150);
    ASSERT_EQ(dialog.Requests().size(), 2u);
    EXPECT_EQ(cui().projectCount, 1);
    EXPECT_EQ(ItemNames(), (std::vector<std::string>{"b.fits", "a.fits", "c.fits"}));
    ExpectShown("c.fits", kWidths[2]);
    ExpectChainsFeedLiveCells();
}

#endif

}  // namespace
}  // namespace orva
