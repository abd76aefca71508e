// Projects and their items without a user interface: closing and the positions it
// leaves, selection and stepping, the sources of an item, the current output and the
// current windows, the shut-down of everything the user-interface object holds, and the
// "Projects" commands with a recording open road.
#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

#include "app/cui.h"
#include "app/open_road.h"
#include "app/shell_hooks.h"
#include "app/ui_elements.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "platform/instance_slots.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::CapturedLog;

// A component that counts its destructions.
int gDestroyed = 0;
class Fake : public ComponentBase {
public:
    explicit Fake(const ComponentId* id = &kInputId) : ComponentBase(nullptr), id(id) {}
    ~Fake() override { ++gDestroyed; }
    const ComponentId* GetClassId() const override { return id; }
    const ComponentId* id;
};

// What the shell asked of the layers above it.
std::vector<std::string> gCalls;
void Note(const std::string& s) { gCalls.push_back(s); }

class ProjectsTest : public ::testing::Test {
protected:
    void SetUp() override {
        gDestroyed = 0;
        gCalls.clear();
        ShellHooks& h = TheShellHooks();
        h.playbackRefresh = [](int32_t code) { Note("playback " + std::to_string(code)); };
    }
    void TearDown() override {
        CUIShutdown(&cui);
        TheShellHooks() = ShellHooks{};
        TheOpenRoad() = OpenRoad{};
        TheApp().Settings().confirmClosing = 0;
    }
    // A project of items named after `names`, added to the CUI.
    Project* MakeProject(const std::vector<std::string>& names) {
        auto* p = new Project;
        for (const std::string& n : names) EXPECT_NE(ProjectCreateItem(p, ("/data/" + n).c_str()), nullptr);
        EXPECT_TRUE(CUIAddProject(&cui, p));
        return p;
    }
    static std::string Name(const ProjectItem* item) { return item != nullptr ? item->path.FileName() : "-"; }
    CUI cui;
};

TEST_F(ProjectsTest, ClosingItemsAndTheirPositions) {
    Project* p = MakeProject({"a", "b", "c", "d"});
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("a"), 1));
    ASSERT_EQ(Name(ProjectSelectItemAt(p, nullptr, 2)), "c");
    EXPECT_EQ(p->currentPosition, 3);
    // An item before the current one: the current stays, its position moves down.
    auto* a = static_cast<ProjectItem*>(p->items.head->item);
    EXPECT_TRUE(ProjectCloseItem(p, a, 0));
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("c"), 2));
    EXPECT_EQ(p->count, 3);
    // The current last item: the previous one becomes current at position - 1.
    ASSERT_EQ(Name(ProjectSelectItemAt(p, nullptr, 2)), "d");
    EXPECT_TRUE(ProjectCloseItem(p, nullptr, 0));
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("c"), 2));
    // A current item in the middle: the next one takes its place.
    ASSERT_EQ(Name(ProjectSelectItemAt(p, nullptr, 0)), "b");
    EXPECT_TRUE(ProjectCloseItem(p, nullptr, 0));
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("c"), 1));
    // The only item closes the project, and the only project all data with the pending names.
    cui.pendingFiles.push_back(PendingFile{"/data/x"});
    EXPECT_TRUE(ProjectCloseItem(p, nullptr, 0));
    EXPECT_EQ(cui.projects.head, nullptr);
    EXPECT_EQ(std::make_tuple(cui.currentProject, cui.projectCount, cui.currentProjectPosition),
              std::make_tuple(static_cast<Project*>(nullptr), 0, 0));
    EXPECT_TRUE(cui.pendingFiles.empty());
}

TEST_F(ProjectsTest, SelectionAndSteppingWrap) {
    Project* p = MakeProject({"a", "b", "c"});
    Project* q = MakeProject({"e"});
    Project* r = MakeProject({"f"});
    for (auto [n, want] : {std::pair{0, p}, {1, p}, {2, q}, {3, r}, {9, r}})
        EXPECT_EQ(CUISelectProject(&cui, nullptr, n), want) << n;
    EXPECT_EQ(cui.currentProjectPosition, 3);
    EXPECT_EQ(CUISelectProject(&cui, r, -5), p);  // stops at the first
    EXPECT_EQ(cui.currentProjectPosition, 1);
    EXPECT_TRUE(ProjectSelectNext(&cui, 1, true));
    EXPECT_EQ(cui.currentProject, q);
    ASSERT_TRUE(ProjectSelectNext(&cui, -1, true));
    // Stepping the items of the current project wraps at both ends.
    EXPECT_TRUE(ProjectStepItem(&cui, true));
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("c"), 3));
    EXPECT_TRUE(ProjectStepItem(&cui, false));
    EXPECT_EQ(std::make_pair(Name(p->currentItem), p->currentPosition), std::make_pair(std::string("a"), 1));
    EXPECT_TRUE(ProjectStepItem(&cui, false));
    EXPECT_EQ(Name(p->currentItem), "b");
    // One item: nothing to step.
    CUISelectProject(&cui, nullptr, 2);
    EXPECT_FALSE(ProjectStepItem(&cui, false));
    // Closing the current project between others makes the next one current.
    CUISelectProject(&cui, nullptr, 2);
    EXPECT_TRUE(ProjectClose(q, 0));
    EXPECT_EQ(std::make_pair(cui.currentProject, cui.currentProjectPosition), std::make_pair(r, 2));
    // Playback stops whenever the current data changes.
    EXPECT_NE(std::count(gCalls.begin(), gCalls.end(), "playback 0"), 0);
}

TEST_F(ProjectsTest, RefusedConfirmationsKeepTheData) {
    TheApp().Settings().confirmClosing = 1;
    // The hook is a plain function pointer, so the answer lives in a static; every run starts
    // from a refusal.
    static bool answer;
    answer = false;
    TheShellHooks().confirmCloseData = [] { return answer; };
    Project* p = MakeProject({"a", "b"});
    EXPECT_FALSE(ProjectCloseItem(p, nullptr, 0));
    EXPECT_EQ(p->count, 2);
    EXPECT_FALSE(ProjectCloseData(&cui, false));
    EXPECT_NE(cui.projects.head, nullptr);
    // A project without an owner honours the refusal too.
    auto* loose = new Project;
    EXPECT_FALSE(ProjectClose(loose, 0));
    answer = true;
    EXPECT_TRUE(ProjectClose(loose, 0));
    EXPECT_TRUE(ProjectCloseData(&cui, false));
    EXPECT_EQ(cui.projects.head, nullptr);
}

TEST_F(ProjectsTest, SourcesOfAnItemAndItsCurrentWindows) {
    Project* p = MakeProject({"a"});
    ProjectItem* item = p->currentItem;
    auto* s1 = new Fake;
    auto* s2 = new Fake;
    ASSERT_TRUE(CUIAddComponent(&cui, s1) && CUIAddComponent(&cui, s2));
    ASSERT_TRUE(ItemAddSource(item, s1));
    EXPECT_TRUE(item->sources.empty());  // one source: kept only as the current one
    ASSERT_TRUE(ItemAddSource(item, s2));
    EXPECT_EQ(item->sources, (std::vector<ComponentBase*>{s1, s2}));
    EXPECT_EQ(std::make_tuple(item->currentSource.load(), item->sourceCount, s2->owner),
              std::make_tuple(static_cast<ComponentBase*>(s1), 2, static_cast<ProjectItemBase*>(item)));
    EXPECT_TRUE(ItemSelectNextSource(item, 1, true));
    EXPECT_EQ(item->currentSource.load(), s2);

    // The current windows: found second, fourth, first, third; cleared from the second on.
    Fake cell(&kDisplayCellId), work(&kWorkspaceId), other(&kDisplayCellId);
    item->currentWindows[0] = &other;
    item->currentWindows[2] = &cell;
    item->currentWindows[3] = &work;
    EXPECT_EQ(FindCurrentItemWindow(item, FourCC("CELX"), FourCC("DRAW")), &other);
    item->currentWindows[1] = &cell;
    EXPECT_EQ(FindCurrentItemWindow(item, FourCC("CELX"), FourCC("DRAW")), &cell);
    EXPECT_EQ(FindCurrentItemWindow(item, FourCC("DRAW"), FourCC("CTNR")), &work);
    item->currentWindows[0] = &cell;
    item->output = &cell;
    ClearCurrentItemWindow(item, &cell);
    EXPECT_EQ(std::make_tuple(item->currentWindows[0], item->currentWindows[1], item->currentWindows[2], item->output),
              std::make_tuple(static_cast<ComponentBase*>(&cell), static_cast<ComponentBase*>(nullptr),
                              static_cast<ComponentBase*>(nullptr), static_cast<ComponentBase*>(nullptr)));
    EXPECT_TRUE(HasCurrentItemWindow(item));
    item->currentWindows[0] = item->currentWindows[3] = nullptr;
    EXPECT_FALSE(HasCurrentItemWindow(item));

    // A source that goes away leaves the item; closing the item releases the others.
    s2->Release();
    EXPECT_EQ(gDestroyed, 1);
    EXPECT_EQ(std::make_tuple(item->currentSource.load(), item->sourceCount),
              std::make_tuple(static_cast<ComponentBase*>(s1), 1));
    EXPECT_FALSE(cui.ListsComponent(s2));
    CUICloseAllProjects(&cui, false);
    EXPECT_EQ(gDestroyed, 2);
    EXPECT_EQ(cui.components.head, nullptr);
}

// A stage of a chain: its input link feeds it from the stage before.
class Stage : public Fake {
public:
    struct In : ConsumerLink {
        using ConsumerLink::ConsumerLink;
        void OnUpstreamChanged() override {}
        bool AcceptFormat(FormatRequest*) override { return true; }
    };
    Stage(const ComponentId* id, ComponentBase* upstream) : Fake(id), in(this) {
        if (upstream != nullptr) {
            ComponentAppendLink(upstream, &in);
            in.upstream = upstream;
        }
    }
    ConsumerLink* GetInputLink(int) override { return &in; }
    In in;
};

// A file of two units has a chain behind each source: the item's first stage, stages and
// Processing are those of the current source's chain, before and after a stream step;
// an item of one source keeps what it has.
TEST_F(ProjectsTest, TheItemsStagesAreThoseOfTheCurrentSourcesChain) {
    Project* p = MakeProject({"ext.fits"});
    ProjectItem* item = p->currentItem;
    struct Chain {
        Stage source, processing, transformation, reduction;
        Chain()
            : source(&kInputId, nullptr), processing(&kProcessingId, &source),
              transformation(&kTransformationId, &processing), reduction(&kReductionId, &processing) {}
    } one, two;
    ASSERT_TRUE(ItemAddSource(item, &one.source));
    // One source: nothing to follow.
    item->firstStage = &one.source;
    ItemFollowCurrentSource(item);
    EXPECT_EQ(item->currentWindows[1], nullptr);
    ASSERT_TRUE(ItemAddSource(item, &two.source));
    // The last chain built named its stages; the current source is the first.
    item->currentWindows[0] = &two.source;
    item->currentWindows[2] = &two.transformation;
    item->processing = &two.processing;
    auto expectChain = [&](Chain& c) {
        EXPECT_EQ(item->firstStage, &c.source);
        EXPECT_EQ(std::make_tuple(item->currentWindows[0], item->currentWindows[1], item->currentWindows[2],
                                  item->currentWindows[3], item->processing),
                  std::make_tuple(static_cast<ComponentBase*>(&c.source), static_cast<ComponentBase*>(&c.processing),
                                  static_cast<ComponentBase*>(&c.transformation),
                                  static_cast<ComponentBase*>(&c.reduction),
                                  static_cast<ComponentBase*>(&c.processing)));
    };
    ItemFollowCurrentSource(item);
    expectChain(one);
    EXPECT_TRUE(ItemSelectNextSource(item, 1, true));  // the stream step follows by itself
    expectChain(two);
    EXPECT_TRUE(ItemSelectNextSource(item, -1, true));
    expectChain(one);
    EXPECT_TRUE(ItemChainHolds(&one.source, &one.reduction));
    EXPECT_FALSE(ItemChainHolds(&one.source, &two.reduction));
    EXPECT_FALSE(ItemChainHolds(&two.processing, &two.source));
    // The chains are the test's: the item lets them go before they end.
    item->sources.clear();
    item->currentSource.store(nullptr);
    item->firstStage = item->processing = nullptr;
    for (ComponentBase*& w : item->currentWindows) w = nullptr;
    for (Chain* c : {&one, &two})
        for (Stage* s : {&c->source, &c->processing, &c->transformation, &c->reduction}) s->owner = nullptr;
}

// A display cell asked for by a group window is one of that window's: the main window's
// cell is not handed to the second group, which then makes its own.
TEST_F(ProjectsTest, ACellIsFoundOnlyForItsOwnGroupWindow) {
    struct Cell : Fake {
        explicit Cell(void* window) : Fake(&kDisplayCellId), window(window) {}
        void* window;
    };
    int mainWindow = 0, toolsWindow = 0;
    auto* first = new Cell(&mainWindow);
    ASSERT_TRUE(cui.AddComponent(first));
    const uint32_t celx = FourCC("CELX"), draw = FourCC("DRAW");
    // Without the shell's answer any cell of the list is taken (no window to compare).
    EXPECT_EQ(cui.FindComponent(0, &toolsWindow, celx, draw), first);
    TheShellHooks().cellOfWindow = [](const ComponentBase* c, const void* window) {
        return static_cast<const Cell*>(c)->window == window;
    };
    EXPECT_EQ(cui.FindComponent(0, &toolsWindow, celx, draw), nullptr);
    EXPECT_EQ(cui.FindComponent(0, &mainWindow, celx, draw), first);
    auto* second = new Cell(&toolsWindow);
    ASSERT_TRUE(cui.AddComponent(second));
    EXPECT_EQ(cui.FindComponent(0, &toolsWindow, celx, draw), second);
    EXPECT_EQ(cui.FindComponent(1, &toolsWindow, celx, draw), nullptr);
}

TEST_F(ProjectsTest, TheCurrentOutputBelongsToItsUserInterface) {
    CUI other;
    auto* foreign = new Fake(&kOutputId);
    auto* own = new Fake(&kOutputId);
    auto* second = new Fake(&kOutputId);
    ASSERT_TRUE(CUIAddComponent(&other, foreign));
    ASSERT_TRUE(CUIAddComponent(&cui, own) && CUIAddComponent(&cui, second));
    EXPECT_FALSE(CUISetCurrentOutput(&cui, foreign, true));
    EXPECT_TRUE(CUISetCurrentOutput(&cui, own, false));
    EXPECT_FALSE(CUISetCurrentOutput(&cui, second, false));
    EXPECT_TRUE(CUISetCurrentOutput(&cui, second, true));
    EXPECT_EQ(CUIGetCurrentOutput(&cui), second);
    // The output's going clears it; without an Output layer none is made.
    CUIRemoveComponent(&cui, second);
    EXPECT_EQ(cui.currentOutput, nullptr);
    EXPECT_EQ(CUIGetCurrentOutput(&cui), nullptr);
    second->Release();
    CUIShutdown(&other);
    EXPECT_EQ(gDestroyed, 2);
}

TEST_F(ProjectsTest, ShutDownReleasesEverythingOnce) {
    // Components, a container with its window record, projects with sources, port lists.
    auto* listed = new Fake(&kTransformationId);
    ASSERT_TRUE(CUIAddComponent(&cui, listed));
    OptionsWindow* container = CreateOptionsWindow(&cui, 3);
    ASSERT_NE(container, nullptr);
    ASSERT_NE(container->ownPage, nullptr);
    EXPECT_EQ(UIWindowRecordFind(container, kPageOptions)->kind, 3);
    Project* p = MakeProject({"a", "b"});
    auto* source = new Fake;
    ASSERT_TRUE(CUIAddComponent(&cui, source));
    ASSERT_TRUE(ItemAddSource(p->currentItem, source));
    ASSERT_NE(PortListCreate(&cui.portLists, "a"), nullptr);
    cui.pendingFiles.push_back(PendingFile{"/data/z"});
    CUIShutdown(&cui);
    EXPECT_EQ(gDestroyed, 2);
    EXPECT_EQ(std::make_tuple(cui.components.head, cui.containers.head, cui.projects.head, cui.windowRecords.head),
              std::make_tuple(nullptr, nullptr, nullptr, nullptr));
    EXPECT_EQ(std::make_tuple(cui.portLists.count, cui.pendingFiles.size()), std::make_tuple(0u, size_t{0}));
    CUIShutdown(&cui);  // a second time finds nothing
}

// ---- The "Projects" commands ---------------------------------------------------------------------

struct RoadCalls {
    std::vector<std::string> calls;
};
RoadCalls gRoad;

class ProjectCommandsTest : public ProjectsTest {
protected:
    void SetUp() override {
        ProjectsTest::SetUp();
        gRoad = RoadCalls{};
        RegisterProjectsIface(&TheCUI());
        testing_util::WriteText(folder.File("a.fits"), "a");
        testing_util::WriteText(folder.File("b.fits"), "b");
    }
    void TearDown() override {
        CUIShutdown(&TheCUI());
        ProjectsTest::TearDown();
    }
    // Installs an open road that records its calls and puts every name into one project.
    static void RecordingRoad() {
        OpenRoad& road = TheOpenRoad();
        road.openSourceFileReport = [](CUI* c, Project*, OpenParameters* request, const char* name) -> ComponentBase* {
            gRoad.calls.push_back("report " + std::string(name) + " flags " + std::to_string(request->flags));
            auto* p = new Project;
            ProjectCreateItem(p, name);
            CUIAddProject(c, p);
            auto* s = new Fake;
            CUIAddComponent(c, s);
            ItemAddSource(p->currentItem, s);
            return s;
        };
        road.openSourceFileList = [](CUI* c, Project*, OpenParameters*, bool fromDialog) -> Project* {
            std::string line = fromDialog ? "list (dialog)" : "list";
            auto* p = new Project;
            for (const PendingFile& f : c->pendingFiles) {
                line += " " + f.name;
                ProjectCreateItem(p, f.name.c_str());
            }
            c->pendingFiles.clear();
            gRoad.calls.push_back(line);
            CUIAddProject(c, p);
            return p;
        };
    }
    testing_util::TempFolder folder;
};

TEST_F(ProjectCommandsTest, OpenCountsLogsAndTakesTheRoads) {
    RecordingRoad();
    std::string a = folder.File("a.fits"), b = folder.File("b.fits"), missing = folder.File("missing.fits");
    std::string log = CapturedLog([&] { TheApp().DispatchCommandLine({a, b, missing}); });
    std::string line = "* Can`t open file: " + missing + "\n";
    EXPECT_EQ(log.find(line), log.rfind(line));
    EXPECT_NE(log.find(line), std::string::npos) << log;
    EXPECT_EQ(gRoad.calls, (std::vector<std::string>{"list " + a + " " + b}));
    // One name takes the single road with the default open flags.
    gRoad.calls.clear();
    TheApp().DispatchCommandLine({"-open", b});
    EXPECT_EQ(gRoad.calls, (std::vector<std::string>{"report " + b + " flags 19"}));
    EXPECT_TRUE(TheCUI().pendingFiles.empty());
    EXPECT_EQ(ProjectCountByName(&TheCUI(), b.c_str()), 2);
    // "close" and "allclose" need a second instance: with one they are refused.
    TheApp().DispatchCommandLine({"-close", a, "--allclose"});
    EXPECT_NE(ProjectFindItemByName(&TheCUI(), nullptr, a.c_str()), nullptr);
}

TEST_F(ProjectCommandsTest, WithoutAnOpenRoadEveryCountedFileFails) {
    std::string a = folder.File("a.fits"), b = folder.File("b.fits");
    std::string log = CapturedLog([&] { TheApp().DispatchCommandLine({"-o", a, b}); });
    for (const std::string& name : {a, b}) EXPECT_NE(log.find("Can`t open (" + name + ")"), std::string::npos) << log;
    EXPECT_EQ(TheCUI().projects.head, nullptr);
    EXPECT_TRUE(TheCUI().pendingFiles.empty());
}

TEST_F(ProjectCommandsTest, ASecondStartClosesTheNamedFilesOnly) {
    testing_util::TempFolder runtime;
    testing_util::ScopedEnv runtimeEnv("XDG_RUNTIME_DIR", runtime.Path());
    platform::InstanceSlots other(runtime.Path(), kInstanceCounterName);
    ASSERT_TRUE(other.Acquire());
    ASSERT_TRUE(TheApp().OpenInstanceCounter(kInstanceCounterName));
    ASSERT_EQ(TheApp().InstanceCount(), 2);
    RecordingRoad();
    std::string a = folder.File("a.fits"), b = folder.File("b.fits");
    TheApp().DispatchCommandLine({a, b});
    ASSERT_NE(ProjectFindItemByName(&TheCUI(), nullptr, a.c_str()), nullptr);
    TheApp().DispatchCommandLine({"-close", a, folder.File("nothere.fits")});
    EXPECT_EQ(ProjectFindItemByName(&TheCUI(), nullptr, a.c_str()), nullptr);
    EXPECT_NE(ProjectFindItemByName(&TheCUI(), nullptr, b.c_str()), nullptr);
    TheApp().DispatchCommandLine({"--allclose"});
    EXPECT_EQ(TheCUI().projects.head, nullptr);
    // The application object goes back to being the first instance.
    other.Release();
    ASSERT_TRUE(TheApp().OpenInstanceCounter(kInstanceCounterName));
    EXPECT_EQ(TheApp().InstanceNumber(), 1);
}

}  // namespace
}  // namespace orva
