// Opening data files without a user interface: a FITS cube written by astropy read
// end to end through the Source, and the dialog's road with a scripted file dialog:
// several names into one new project from the last to the first, missing names,
// cancel, the filter index, the open flags, the name cap and the refused long path.
#include "views/open_data_files.h"

#include <gtest/gtest.h>
#include <limits.h>
#include <sys/stat.h>

#include <cfloat>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "app/message_dialog.h"
#include "app/shell_hooks.h"
#include "framework/app_object.h"
#include "io/data_set_fixture.h"
#include "io/format_registry.h"
#include "platform/window_api.h"
#include "processing/processing_component.h"
#include "reduction/reduction_component.h"
#include "source_test_support.h"
#include "transform/transformation.h"
#include "views/source_component.h"

namespace orva {
namespace {

using testing_util::ProgramLogCapture;
using testing_views::Consumer;
using testing_views::StandInChain;
using testing_views::TestUi;

// A FITS file of 4 x 4 16-bit zeros: enough for the reader.
void WriteTinyFits(const std::string& path) {
    std::string header;
    for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                   16", "NAXIS   =                    2",
                             "NAXIS1  =                    4", "NAXIS2  =                    4", "END"}) {
        std::string c = card;
        c.resize(80, ' ');
        header += c;
    }
    header.resize(2880, ' ');
    testing_util::WriteText(path, header + std::string(2880, '\0'));
}

// The shell's file dialog with its scripted backend: each run is recorded and answered
// with the names queued for it (none: cancelled).
struct ScriptedDialog {
    ScriptedFileDialog backend;
    ScopedFileDialogBackend scope{&backend};
    // The next run chooses these files of one folder, with this filter (0: the shown one).
    void Choose(const std::vector<std::string>& paths, int32_t filterIndex = 0) {
        std::vector<std::string> names;
        std::string where;
        for (const std::string& p : paths) {
            const size_t slash = p.rfind('/');
            where = p.substr(0, slash);
            names.push_back(p.substr(slash + 1));
        }
        backend.Push(ScriptedFileDialog::Choose(names, where, filterIndex));
    }
    void Cancel() { backend.Push(ScriptedFileDialog::Cancel()); }
    int Runs() const { return static_cast<int>(backend.Requests().size()); }
    const ScriptedFileDialog::Record& Seen() const { return backend.Requests().back(); }
};

// What the open road was asked.
struct RoadCall {
    bool list = false;
    Project* project = nullptr;
    uint32_t formatIndex = 0, flags = 0;
    std::vector<std::string> names;
};
std::vector<RoadCall> gRoadCalls;

class OpenFilesTest : public ::testing::Test {
protected:
    void SetUp() override {
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs_, &outputs_);
        savedUi_ = ThePipelineServices().defaultUi;
        ThePipelineServices().defaultUi = &ui;
        InstallOpenRoad();
        gRoadCalls.clear();
        TheApp().Settings().confirmClosing = 0;
    }
    void TearDown() override {
        CUIShutdown(&cui);
        TheOpenRoad() = OpenRoad{};
        TheShellHooks() = ShellHooks{};
        TheApp().Settings().confirmClosing = 0;
        ThePipelineServices().defaultUi = savedUi_;
        ReleaseFormats(TheFormatRegistry());
        TheFormatRegistry().input.Clear();
        TheFormatRegistry().input.current = 0;
        CloseAllStreams();
    }
    std::string Tiny(const std::string& name) {
        const std::string path = folder.File(name);
        WriteTinyFits(path);
        return path;
    }
    static std::vector<std::string> ItemNames(const Project* p) {
        std::vector<std::string> names;
        for (ListNode* n = p != nullptr ? p->items.head : nullptr; n != nullptr; n = n->next)
            names.push_back(static_cast<ProjectItem*>(n->item)->path.FileName());
        return names;
    }
    // Records the road's calls instead of opening.
    static void RecordTheRoad() {
        TheOpenRoad().openSourceFileReport = [](CUI*, Project* p, OpenParameters* r, const char* name) -> ComponentBase* {
            gRoadCalls.push_back(RoadCall{false, p, r->formatIndex, r->flags, {name}});
            return nullptr;
        };
        TheOpenRoad().openSourceFileList = [](CUI* c, Project* p, OpenParameters* r, bool) -> Project* {
            RoadCall call{true, p, r->formatIndex, r->flags, {}};
            for (const PendingFile& f : c->pendingFiles) {
                call.names.push_back(f.name);
                EXPECT_EQ(std::pair(f.flags, f.formatIndex), std::pair(0x400013u, r->formatIndex));
            }
            gRoadCalls.push_back(call);
            c->pendingFiles.clear();
            return nullptr;
        };
    }

    testing_util::TempFolder folder;
    StandInChain chain;
    TestUi ui;
    CUI cui;
    ScriptedDialog dialog;
    int inputs_ = 0, outputs_ = 0;
    ComponentUi* savedUi_ = nullptr;
};

// ---- End to end ----------------------------------------------------------------------------

TEST_F(OpenFilesTest, AFitsCubeWrittenByAstropyThroughTheSource) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits'")) GTEST_SKIP() << "astropy not installed";
    const std::string path = folder.File("cube.fits");
    int status = -1;
    const std::string out = testing_io::RunCommand(
        ORVA_PYTHON " -c \"import numpy as np; from astropy.io import fits\n"
        "rng = np.random.default_rng(11)\n"
        "stored = rng.integers(-2000, 2000, size=(3, 48, 64), dtype=np.int16)\n"
        "h = fits.PrimaryHDU(stored); h.header['BSCALE'] = 2; h.header['BZERO'] = 100\n"
        "h.writeto('" + path + "')\n"
        "v = fits.getdata('" + path + "')\n"
        "print(' '.join(repr(float(x)) for x in v.ravel()))\n"
        "for f in range(3): print(repr(float(v[f].min())), repr(float(v[f].max())))\"",
        &status);
    ASSERT_EQ(status, 0) << out;
    std::istringstream in(out);
    std::vector<double> expected(3 * 48 * 64);
    for (double& v : expected) ASSERT_TRUE(in >> v);
    double lows[3], highs[3];
    for (int f = 0; f < 3; ++f) ASSERT_TRUE(in >> lows[f] >> highs[f]);

    // The real stages make the chain behind the Source.
    ThePipelineServices().createProcessing = &CreateProcessingFromScript;
    ThePipelineServices().createTransformation = &CreateTransformationFromScript;
    ThePipelineServices().createReduction = &CreateReductionFromScript;
    OpenParameters request;
    Project* slot = nullptr;
    ASSERT_EQ(OpenFileIntoProject(&cui, &slot, &request, path.c_str()), 2);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(cui.projects.head->item, slot);
    ProjectItem* item = slot->currentItem.load();
    ASSERT_NE(item, nullptr);
    auto* source = dynamic_cast<SourceComponent*>(item->currentSource.load());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(item->openResult, 2);
    std::vector<const ComponentId*> stages;
    for (ConsumerLink* l = source->firstLink; l != nullptr; l = l->next) stages.push_back(l->owner->GetClassId());
    ASSERT_EQ(stages.size(), 1u);
    EXPECT_EQ(stages[0], &kProcessingId);
    stages.clear();
    for (ConsumerLink* l = source->firstLink->owner->firstLink; l != nullptr; l = l->next)
        stages.push_back(l->owner->GetClassId());
    EXPECT_EQ(stages, (std::vector<const ComponentId*>{&kTransformationId, &kReductionId}));

    DataSet* d = source->Input();
    ASSERT_NE(d, nullptr);
    Consumer c;
    ASSERT_TRUE(ConsumerAttach(&c.input, source));
    ASSERT_EQ(c.offers.size(), 1u);
    EXPECT_EQ(std::tuple(c.offers[0].format & 0xFFFF, c.offers[0].element, c.offers[0].channels, c.offers[0].dims),
              std::tuple(0x40u, 8u, 1u, 2u));
    for (int32_t f = 0; f < 3; ++f) {
        FrameMessage select(kMsgSelectPosition, f, 0);
        ASSERT_TRUE(source->OnMessage(&select, 0));
        PullResult r;
        ASSERT_EQ(c.Pull(&r, -1, -1, 64, 48), 3) << f;
        EXPECT_EQ(r.deliveredFrame, static_cast<uint32_t>(f));
        int wrong = 0;
        for (size_t i = 0; i < 64 * 48; ++i)
            if (c.Values(r)[i] != expected[f * 64 * 48 + i] && ++wrong <= 3)
                ADD_FAILURE() << f << " " << i << ": " << c.Values(r)[i] << " want " << expected[f * 64 * 48 + i];
        // The statistics of the frame in physical units, complete.
        ValueRangeTarget* target = ValueRangeTarget::Create();
        DataMessage range(kMsgValueRange, target);
        ASSERT_TRUE(source->OnMessage(&range, 0));
        EXPECT_EQ(std::pair(target->range.min, target->range.max), std::pair(lows[f], highs[f])) << f;
        EXPECT_EQ(target->flags & 3u, kValueRangeMinMax | kValueRangeMeanRms) << f;
        target->Release();
    }
    // Backwards through the file: logical frame 0 is file frame 2.
    d->frameStep = -1;
    PullResult r;
    ASSERT_EQ(c.Pull(&r, 0, 0, 64, 48), 3);
    EXPECT_TRUE(std::equal(c.Values(r), c.Values(r) + 64 * 48, expected.begin() + 2 * 64 * 48));
    ConsumerDetach(&c.input);
}

// ---- The dialog and the lists ----------------------------------------------------------------

TEST_F(OpenFilesTest, SeveralFilesCloseTheOpenProjectAndGoIntoOneNew) {
    const std::string a = Tiny("a.fits"), b = Tiny("b.fits"), c = Tiny("c.fits");
    OpenParameters request;
    Project* first = nullptr;
    ASSERT_EQ(OpenFileIntoProject(&cui, &first, &request, Tiny("old.fits").c_str()), 2);
    ASSERT_EQ(cui.projectCount, 1);
    const platform::Cursor before = platform::GetCursor();

    dialog.Choose({a, b, c}, 1);
    {
        // Without a "LoadFolder" setting the dialog starts in the documents folder.
        testing_util::ScopedEnv documents("XDG_DOCUMENTS_DIR", folder.Path());
        OpenDataFilesDialog(&cui, 0);
    }
    EXPECT_EQ(dialog.Seen().folder, folder.Path());
    EXPECT_EQ(dialog.Runs(), 1);
    EXPECT_EQ(dialog.Seen().title, "Open data file(s)");
    EXPECT_EQ(dialog.Seen().flags & 0x1E01u, 0x1E01u);
    EXPECT_EQ(dialog.Seen().panelKind, kPanelOpenData);
    ASSERT_EQ(cui.projectCount, 1);
    Project* p = static_cast<Project*>(cui.projects.head->item);
    EXPECT_NE(p, nullptr);
    EXPECT_EQ(ItemNames(p), (std::vector<std::string>{"c.fits", "b.fits", "a.fits"}));
    EXPECT_EQ(cui.currentProject, p);
    EXPECT_EQ(cui.lastOpenedFile, a);
    EXPECT_EQ(platform::GetCursor(), before);
    EXPECT_TRUE(cui.pendingFiles.empty());
    for (ListNode* n = p->items.head; n != nullptr; n = n->next) {
        auto* item = static_cast<ProjectItem*>(n->item);
        EXPECT_NE(item->currentSource.load(), nullptr);
        EXPECT_EQ(item->openFlags, 0x400013u);
    }

    // A missing second name: logged once, the others still go into one project.
    ProgramLogCapture log;
    dialog.Choose({a, folder.File("gone.fits"), c});
    OpenDataFilesDialog(&cui, 0);
    const std::string text = log.Text();
    const std::string line = "Can`t open (" + folder.File("gone.fits") + ")";
    EXPECT_EQ(text.find(line), text.rfind(line));
    EXPECT_NE(text.find(line), std::string::npos);
    ASSERT_EQ(cui.projectCount, 1);
    EXPECT_EQ(ItemNames(static_cast<Project*>(cui.projects.head->item)), (std::vector<std::string>{"c.fits", "a.fits"}));

    // Cancel: nothing changes.
    Project* kept = static_cast<Project*>(cui.projects.head->item);
    dialog.Cancel();
    OpenDataFilesDialog(&cui, 0);
    EXPECT_EQ(std::pair(cui.projectCount, static_cast<Project*>(cui.projects.head->item)), std::pair(1, kept));
    // While a message box is open the dialog does not even run.
    dialog.Choose({a});
    {
        ModalOpenScope modal;
        OpenDataFilesDialog(&cui, 0);
    }
    EXPECT_EQ(dialog.Runs(), 3);
    // One file: a new project with it.
    OpenDataFilesDialog(&cui, 0);
    EXPECT_EQ(dialog.Runs(), 4);
    ASSERT_EQ(cui.projectCount, 1);
    EXPECT_EQ(ItemNames(cui.currentProject), (std::vector<std::string>{"a.fits"}));
}

// "Open As:" decides the format whatever the name says: a FITS file named .dat opens as
// raw binary by its name and as FITS when the dialog asks for it.
TEST_F(OpenFilesTest, OpenAsChoosesTheFormat) {
    const std::string named = folder.File("frame.dat");
    WriteTinyFits(named);
    auto formatOfTheCurrentItem = [&] {
        ProjectItem* item = cui.currentProject != nullptr ? cui.currentProject->currentItem.load() : nullptr;
        auto* source = item != nullptr ? static_cast<SourceComponent*>(item->currentSource.load()) : nullptr;
        DataSet* data = source != nullptr ? source->Input() : nullptr;
        return data != nullptr ? std::string(TagToText(data->formatTag)) : std::string();
    };
    auto openAs = [&](int32_t entry) {
        dialog.backend.Push([&, entry](FileDialogRequest& r) {
            r.panel.openAs = entry;
            FileDialogAnswer answer;
            answer.ok = true;
            answer.folder = folder.Path();
            answer.names = {"frame.dat"};
            return answer;
        });
        OpenDataFilesDialog(&cui, 0);
    };
    openAs(0);  // "Auto"
    EXPECT_EQ(formatOfTheCurrentItem(), "BINARY");
    openAs(2);  // "Fits"
    EXPECT_EQ(formatOfTheCurrentItem(), "FITS");
    openAs(1);  // "Binary"
    EXPECT_EQ(formatOfTheCurrentItem(), "BINARY");
}

TEST_F(OpenFilesTest, DeclinedClosingKeepsTheOpenProjects) {
    OpenParameters request;
    Project* first = nullptr;
    ASSERT_EQ(OpenFileIntoProject(&cui, &first, &request, Tiny("old.fits").c_str()), 2);
    TheApp().Settings().confirmClosing = 1;
    TheShellHooks().confirmCloseData = [] { return false; };
    ComponentBase* source = OpenSourceFileReport(&cui, first, &request, Tiny("new.fits").c_str());
    ASSERT_NE(source, nullptr);
    EXPECT_EQ(cui.projectCount, 2);
    EXPECT_NE(cui.currentProject, first);
    EXPECT_EQ(ItemNames(cui.currentProject), (std::vector<std::string>{"new.fits"}));
    EXPECT_EQ(cui.currentProjectPosition, 2);
    // A name that is not there: logged, nothing opened.
    const std::string text = testing_util::CapturedLog(
        [&] { EXPECT_EQ(OpenSourceFileReport(&cui, nullptr, &request, folder.File("none.fits").c_str()), nullptr); });
    EXPECT_NE(text.find("Can`t open (" + folder.File("none.fits") + ")"), std::string::npos);
    EXPECT_EQ(cui.projectCount, 2);
}

TEST_F(OpenFilesTest, FilterIndexModesAndTheNameCap) {
    RecordTheRoad();
    const int32_t count = static_cast<int32_t>(TheFormatRegistry().input.formatCount);
    ASSERT_GT(count, 0);
    const std::string a = Tiny("a.fits");
    // The filter index shown starts at count + 2; an index beyond the formats detects.
    TheFormatRegistry().input.current = -1;
    dialog.Choose({a}, count + 1);
    OpenDataFilesDialog(&cui, 0);
    EXPECT_EQ(dialog.Seen().filterIndex, count + 2);
    dialog.Choose({a}, 2);
    OpenDataFilesDialog(&cui, 1);
    EXPECT_EQ(dialog.Seen().filterIndex, count + 1);
    ASSERT_EQ(gRoadCalls.size(), 2u);
    EXPECT_EQ(std::tuple(gRoadCalls[0].formatIndex, gRoadCalls[0].flags), std::tuple(0u, 0x400013u));
    EXPECT_EQ(std::tuple(gRoadCalls[1].formatIndex, gRoadCalls[1].flags), std::tuple(2u, 0x400013u));
    EXPECT_EQ(TheFormatRegistry().input.current, 2);
    // Mode 1 and mode 0 without CreateNewProject name the current project; mode 2 none.
    Project* current = new Project;
    ASSERT_TRUE(CUIAddProject(&cui, current));
    for (auto [mode, preference, want] : {std::tuple(0, 0, current), std::tuple(0, 1, (Project*)nullptr),
                                          std::tuple(1, 1, current), std::tuple(2, 0, (Project*)nullptr)}) {
        cui.createNewProject = static_cast<uint8_t>(preference);
        dialog.Choose({a}, 2);
        OpenDataFilesDialog(&cui, mode);
        EXPECT_EQ(gRoadCalls.back().project, want) << mode << " " << preference;
    }
    cui.createNewProject = 0;

    // Several names: at most 8193 go on the list; one too long for a path is refused.
    std::vector<std::string> many;
    for (int i = 0; i < 8194; ++i) many.push_back(folder.File("n" + std::to_string(i)));
    dialog.Choose(many);
    OpenDataFilesDialog(&cui, 0);
    ASSERT_TRUE(gRoadCalls.back().list);
    EXPECT_EQ(gRoadCalls.back().names.size(), 8193u);
    EXPECT_EQ(gRoadCalls.back().names.back(), folder.File("n8192"));
    const std::string longName = folder.File(std::string(PATH_MAX, 'x'));
    dialog.Choose({a, longName, a});
    const std::string text = testing_util::CapturedLog([&] { OpenDataFilesDialog(&cui, 0); });
    EXPECT_NE(text.find("Can`t open (" + longName + ")"), std::string::npos);
    EXPECT_EQ(gRoadCalls.back().names, (std::vector<std::string>{a, a}));
}

TEST_F(OpenFilesTest, ClosingAnItemReleasesItsChain) {
    OpenParameters request;
    Project* slot = nullptr;
    ASSERT_EQ(OpenFileIntoProject(&cui, &slot, &request, Tiny("a.fits").c_str()), 2);
    ASSERT_EQ(OpenFileIntoProject(&cui, &slot, &request, Tiny("b.fits").c_str()), 2);
    ProjectItem* first = static_cast<ProjectItem*>(slot->items.head->item);
    auto ownedBy = [&](const ProjectItemBase* item) {
        int n = 0;
        for (ComponentBase* c : ui.Components()) n += c->owner == item;
        return n;
    };
    ASSERT_EQ(ownedBy(first), 4);  // the Source and its three stages
    // A stage that someone else still holds loses its owner instead of going.
    ComponentBase* processing = first->currentSource.load()->firstLink->owner;
    processing->AddRef();
    ASSERT_TRUE(ProjectCloseItem(slot, first, 0));
    EXPECT_EQ(ui.Components().size(), 4u);  // the other item's
    ASSERT_TRUE(ComponentIsLive(processing));
    EXPECT_EQ(processing->owner, nullptr);
    EXPECT_EQ(processing->GetInputLink(0)->upstream, nullptr);
    processing->Release();
    CUICloseAllProjects(&cui, false);
    EXPECT_TRUE(ui.Components().empty());
}

// A user interface that lost its pages cannot show the file: the open fails and the
// stages made for it go with its item. A run without windows needs no pages: the file
// opens with its stages and no display.
TEST_F(OpenFilesTest, AChainWithoutPagesFailsWholeUnlessTheRunHasNoWindows) {
    const std::string a = Tiny("a.fits");
    ui.pageWindow = false;
    const struct {
        bool withoutWindows;
        int code;
        size_t components;
        bool failureLines;
    } cases[] = {{false, -7, 0, true}, {true, 2, 4, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.withoutWindows);
        ui.withoutWindows = c.withoutWindows;
        ProgramLogCapture log;
        OpenParameters request;
        Project* slot = nullptr;
        EXPECT_EQ(OpenFileIntoProject(&cui, &slot, &request, a.c_str()), c.code);
        EXPECT_EQ(ui.Components().size(), c.components);
        for (ComponentBase* component : ui.Components()) EXPECT_EQ(component->owner, slot->currentItem.load());
        EXPECT_EQ(cui.projectCount, c.components != 0 ? 1 : 0);
        const std::string text = log.Text();
        EXPECT_EQ(text.find("can`t create connect...") != std::string::npos, c.failureLines) << text;
        EXPECT_EQ(text.find("'" + a + "' - err create") != std::string::npos, c.failureLines) << text;
        CUICloseAllProjects(&cui, false);
        EXPECT_TRUE(ui.Components().empty());
    }
}

TEST_F(OpenFilesTest, OpenFlagsOfOneFile) {
    const std::string a = Tiny("a.fits");
    // Flags 0 become 0x13, also in the caller's request.
    OpenParameters request;
    request.flags = 0;
    Project* slot = nullptr;
    ASSERT_EQ(OpenFileIntoProject(&cui, &slot, &request, a.c_str()), 2);
    EXPECT_EQ(request.flags, 0x13u);
    ASSERT_NE(slot, nullptr);
    EXPECT_EQ(slot->currentItem.load()->openFlags, 0x13u);
    // A second file joins the project in the slot and becomes its current item.
    EXPECT_EQ(OpenFileIntoProject(&cui, &slot, &request, a.c_str()), 2);
    EXPECT_EQ(std::pair(slot->count, slot->currentPosition), std::pair(2, 2));
    EXPECT_EQ(cui.projectCount, 1);
    // Not to be read: an item without a Source and code 0.
    ProgramLogCapture log;
    request.flags = 0x800013;
    Project* other = nullptr;
    EXPECT_EQ(OpenFileIntoProject(&cui, &other, &request, a.c_str()), 0);
    ASSERT_NE(other, nullptr);
    ProjectItem* unread = other->currentItem.load();
    ASSERT_NE(unread, nullptr);
    EXPECT_EQ(unread->currentSource.load(), nullptr);
    EXPECT_EQ(std::pair(unread->openResult, unread->openFlags), std::pair(0, 0x800013u));
    EXPECT_EQ(log.Text().find("Input file:"), std::string::npos);
    EXPECT_EQ(cui.projectCount, 2);
    // An empty name: 0 and nothing made.
    Project* none = nullptr;
    EXPECT_EQ(OpenFileIntoProject(&cui, &none, &request, ""), 0);
    EXPECT_EQ(none, nullptr);
    // A file no format reads: the input layer's code, no item left.
    request.flags = 0x13;
    const std::string junk = folder.File("junk.fits");
    testing_util::WriteText(junk, "not a fits file");
    // The question whether to read it as raw binary takes its default answer, No.
    const int code = OpenFileIntoProject(&cui, &none, &request, junk.c_str());
    EXPECT_LT(code, 2);
    EXPECT_EQ(none, nullptr);
    EXPECT_EQ(cui.projectCount, 2);
}

// Names of a command line that cannot be read, each before and between good ones: each
// is logged with its reason, leaves no item, component or project of its own, and the
// good files still open, in order, into one project.
TEST_F(OpenFilesTest, BadFilesOnAListLeaveNothingBehind) {
    const std::string good1 = Tiny("good1.fits"), good2 = Tiny("good2.fits");
    // The header and 16 of the 32 bytes of data.
    const std::string cut = testing_util::ReadText(good1).substr(0, 2880 + 16);
    const std::string dir = folder.File("dir.fits");
    mkdir(dir.c_str(), 0700);
    struct Bad {
        std::string name, bytes, why;  // why: the log line after "'" and the path
    };
    const Bad bads[] = {
        {"cut.fits", cut, "' - corrupt"},
        {"empty.fits", "", "' - data is empty [not processed]"},
        {"notes.fits", "Notes of the night; the seeing was poor.\n", "' - user abort"},
        {"missing.fits", "", ""},
        {"dir.fits", "", ""},
    };
    // The components one good file makes.
    {
        OpenParameters request;
        Project* slot = nullptr;
        ASSERT_EQ(OpenFileIntoProject(&cui, &slot, &request, good1.c_str()), 2);
    }
    const size_t perFile = ui.Components().size();
    ASSERT_GT(perFile, 0u);
    CUICloseAllProjects(&cui, false);
    ASSERT_TRUE(ui.Components().empty());
    for (const Bad& bad : bads) {
        SCOPED_TRACE(bad.name);
        const std::string path = folder.File(bad.name);
        if (bad.name != "missing.fits" && bad.name != "dir.fits") testing_util::WriteText(path, bad.bytes);
        ProgramLogCapture log;
        cui.pendingFiles = {PendingFile{path, 0x13, 0}, PendingFile{good1, 0x13, 0}, PendingFile{path, 0x13, 0},
                            PendingFile{good2, 0x13, 0}};
        OpenParameters request;
        Project* p = OpenSourceFileList(&cui, nullptr, &request, false);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ(cui.projectCount, 1);
        EXPECT_EQ(ItemNames(p), (std::vector<std::string>{"good1.fits", "good2.fits"}));
        EXPECT_EQ(ProjectCountByName(&cui, path.c_str()), 0);
        EXPECT_EQ(ui.Components().size(), 2 * perFile);
        EXPECT_EQ(cui.currentProject, p);
        EXPECT_EQ(cui.lastOpenedFile, good2);
        const std::string text = log.Text();
        const std::string line = bad.why.empty() ? "Can`t open (" + path + ")" : "'" + path + bad.why;
        size_t count = 0;
        for (size_t at = text.find(line); at != std::string::npos; at = text.find(line, at + 1)) ++count;
        EXPECT_EQ(count, 2u) << text;
        CUICloseAllProjects(&cui, false);
        EXPECT_TRUE(ui.Components().empty());
    }
}

}  // namespace
}  // namespace orva
