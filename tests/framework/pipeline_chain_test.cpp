#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>

#include "component_test_doubles.h"
#include "framework/pipeline.h"

namespace orva {
namespace {

using namespace orva::testing;

// A user interface with a page window, two groups, one cell per group.
class TestUi : public ComponentUi {
public:
    PageWindow* GetPageWindow() override { return &pages; }
    PortListSet* PortLists() override { return &lists; }
    void* GroupWindow(int group) override { return group < 2 ? &windows[group] : nullptr; }
    void LayoutGroup(int group) override { ++layouts[group]; }
    void SetGroupPageSelector(int group, int32_t value) override { selector[group] = value; }
    DisplayCellBase* CreateDisplayCell(ComponentBase*, void* window, int) override {
        auto* cell = new TestCell;
        (window == &windows[0] ? cells[0] : cells[1]) = cell;
        return cell;
    }
    PageWindow* FindPageWindow(void*, PanelBuilder, uint32_t style) override {
        styles.push_back(style);
        return &pages;
    }
    PageWindow pages;
    PortListSet lists;
    int windows[2] = {0, 0};
    int layouts[2] = {0, 0};
    int32_t selector[2] = {0, 0};
    TestCell* cells[2] = {nullptr, nullptr};
    std::vector<uint32_t> styles;
};

struct Chain {
    static inline TestStage* made[3] = {nullptr, nullptr, nullptr};
    static inline bool failProcessing = false;
    static ComponentBase* Make(int i, const ComponentId* id, ProjectItem* item) {
        made[i] = new TestStage(item, id, i == 1 ? 0x400101 : 0x10040);
        made[i]->panelBuilder = [](ComponentBase*, PageWindow*) {};
        return made[i];
    }
    Chain() {
        made[0] = made[1] = made[2] = nullptr;
        PipelineServices& p = ThePipelineServices();
        p.createProcessing = [](ComponentUi*, ProjectItem* item, void*) -> ComponentBase* {
            return failProcessing ? nullptr : Make(0, &kProcessingId, item);
        };
        p.createTransformation = [](ComponentUi*, ProjectItem* item, void*) { return Make(1, &kTransformationId, item); };
        p.createReduction = [](ComponentUi*, ProjectItem* item, void*) { return Make(2, &kReductionId, item); };
    }
    ~Chain() {
        ThePipelineServices() = PipelineServices{};
        for (TestStage* s : made)
            if (s != nullptr) s->Release();
    }
};

TEST(PipelineChain, ProcessingThatCannotBeCreatedDoesNotStopTheChain) {
    LogCapture log;
    ServicesScope services;
    Chain chain;
    Chain::failProcessing = true;
    TestUi ui;
    TestItem item;
    item.name = "a.fits";
    auto* source = new TestSource(&item);
    source->panelBuilder = [](ComponentBase*, PageWindow*) {};
    SourceOpenState request;
    SourceOpenStateInit(&request);
    request.ui = &ui;
    ASSERT_TRUE(BuildPipelineFromScript(&request, source));
    Chain::failProcessing = false;

    EXPECT_EQ(item.firstStage, source);
    EXPECT_EQ(Chain::made[0], nullptr);
    TestStage* transformation = Chain::made[1];
    TestStage* reduction = Chain::made[2];
    ASSERT_NE(transformation, nullptr);
    ASSERT_NE(reduction, nullptr);
    EXPECT_EQ(transformation->input.upstream, source);
    EXPECT_EQ(reduction->input.upstream, source);
    std::string text = log.Text();
    EXPECT_NE(text.find("Script: Can`t create keloproc"), std::string::npos);
    EXPECT_EQ(text.find("can`t create connect..."), std::string::npos);

    // The pages: source, reduction (0x10800), transformation.
    EXPECT_EQ(ui.styles, (std::vector<uint32_t>{0x800, 0x10800, 0x800}));
    // The main cell shows the Transformation, the second the Reduction.
    PortList* list = item.source.portList;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->name, "a.fits");
    ASSERT_NE(ui.cells[0], nullptr);
    ASSERT_NE(ui.cells[1], nullptr);
    ASSERT_NE(transformation->portRecord, nullptr);
    EXPECT_EQ(transformation->portRecord->display, ui.cells[0]);
    EXPECT_EQ(reduction->portRecord->display, ui.cells[1]);
    EXPECT_EQ(reduction->portRecord->window->GetClassId(), &kChartWindowId);  // format 0x10040
    EXPECT_EQ(ui.layouts[0], 1);
    EXPECT_EQ(ui.layouts[1], 1);
    EXPECT_EQ(ui.selector[1], -200);

    while (ui.lists.first != nullptr) PortListRemove(ui.lists.first);
    for (TestCell* c : ui.cells) c->Release();
    source->Release();
}

TEST(PipelineChain, SourceFormatAndFailures) {
    LogCapture log;
    ServicesScope services;
    Chain chain;
    TestUi ui;
    TestItem item;
    auto* source = new TestSource(&item);
    source->format = 0x800040;  // a 1-D request without 0x400000: the main cell takes the source
    SourceOpenState request;
    SourceOpenStateInit(&request);
    request.ui = &ui;
    ASSERT_TRUE(BuildPipelineFromScript(&request, source));
    ASSERT_NE(Chain::made[0], nullptr);
    EXPECT_EQ(Chain::made[1]->input.upstream, Chain::made[0]);  // behind the Processing
    EXPECT_EQ(Chain::made[2]->input.upstream, Chain::made[0]);
    ASSERT_NE(source->portRecord, nullptr);
    EXPECT_EQ(source->portRecord->display, ui.cells[0]);
    EXPECT_EQ(Chain::made[1]->portRecord, nullptr);
    while (ui.lists.first != nullptr) PortListRemove(ui.lists.first);
    for (TestCell* c : ui.cells) c->Release();

    // Without the default chain: false with the line.
    SourceOpenState off;
    SourceOpenStateInit(&off);
    off.buildDefaultChain = 0;
    EXPECT_FALSE(BuildPipelineFromScript(&off, source));
    EXPECT_NE(log.Text().find("can`t create connect..."), std::string::npos);
    source->Release();
}

TEST(SourceName, BuildAndParse) {
    struct Case {
        int kind;
        const char* name;
        int32_t section, header;
        const char* expected;
    } cases[] = {
        {1, "name", 3, 1, "old<NAME>|S3|name"},
        {1, "name", 1, 1, "old<NAME>name"},
        {1, "name", 2, 5, "old<NAME>|S2H5|name"},
        {2, "x", 0, 4, "old<HDR>|H4|x"},
        {3, nullptr, 7, 7, "old<HDRF>"},
        {0, "tail", 9, 9, "oldtail"},
    };
    for (const Case& c : cases) {
        char* text = strdup("old");
        ASSERT_TRUE(BuildSourceName(&text, c.kind, c.name, c.section, c.header));
        EXPECT_STREQ(text, c.expected);
        TextPtrFree(&text);
        EXPECT_EQ(text, nullptr);
    }
    char* none = nullptr;
    EXPECT_TRUE(BuildSourceName(&none, 0, nullptr, 0, 0));
    EXPECT_EQ(none, nullptr);
    ASSERT_TRUE(BuildSourceName(&none, 1, "n", 1, 1));
    EXPECT_STREQ(none, "<NAME>n");
    TextPtrFree(&none);
    int length = -1;
    EXPECT_EQ(SourceNameTag(4, &length), nullptr);
    EXPECT_EQ(length, 0);

    const char* start = nullptr;
    EXPECT_EQ(FindSourceNamePart("<HDR><NAME>|S2|/d/a.fits<X>", &start), 13);
    EXPECT_EQ(std::string(start, 13), "|S2|/d/a.fits");
    EXPECT_EQ(FindSourceNamePart("<name>abc", &start), 3);
    EXPECT_EQ(FindSourceNamePart("<Name>abc", &start), 0);  // not a name tag
    EXPECT_EQ(FindSourceNamePart("<NAME>", &start), -1);
    EXPECT_EQ(FindSourceNamePart("<NAME", &start), -1);
    EXPECT_EQ(FindSourceNamePart("/plain", &start), 6);
    EXPECT_EQ(FindSourceNamePart("", &start), 0);

    char* path = nullptr;
    char* shown = nullptr;
    ASSERT_TRUE(ParseServiceFileName("<NAME>|S3|/data/a.fits", nullptr, nullptr, true, &path, &shown));
    EXPECT_STREQ(path, "/data/a.fs");
    EXPECT_STREQ(shown, "|S3|a.fits");
    TextPtrFree(&path);
    TextPtrFree(&shown);
    ASSERT_TRUE(ParseServiceFileName(nullptr, "<NAME>/data/b.fits", ".x", false, &path, &shown));
    EXPECT_STREQ(path, "/data/b.fits");
    EXPECT_STREQ(shown, "b.fits");
    TextPtrFree(&path);
    TextPtrFree(&shown);
    ASSERT_TRUE(ParseServiceFileName("<NAME>relative", nullptr, nullptr, true, &path, &shown));
    EXPECT_EQ(path, nullptr);
    EXPECT_STREQ(shown, "relative");
    TextPtrFree(&shown);
    ASSERT_TRUE(ParseServiceFileName("/data/c.fits", nullptr, nullptr, true, &path, &shown));
    EXPECT_STREQ(path, "/data/c.fits");
    EXPECT_EQ(shown, nullptr);
    TextPtrFree(&path);
    EXPECT_FALSE(ParseServiceFileName("<NAME>|S3|", nullptr, nullptr, true, &path, &shown));
    EXPECT_FALSE(ParseServiceFileName("<HDR>x", nullptr, nullptr, true, &path, &shown));

    char sep = 'x';
    EXPECT_STREQ(ParseSourceNamePrefix("|S2|/a", &sep), "/a");
    EXPECT_EQ(sep, 0);
    EXPECT_STREQ(ParseSourceNamePrefix("|S2H3|/a", &sep), "H3|/a");
    EXPECT_EQ(sep, '|');
    EXPECT_EQ(ParseSourceNamePrefix("|S2", &sep), nullptr);
    EXPECT_EQ(ParseSourceNamePrefix("|S2|", &sep), nullptr);
    EXPECT_STREQ(ParseSourceNamePrefix("/plain", &sep), "/plain");

    EXPECT_EQ(ScanTagToken("abc<d"), 3);
    EXPECT_EQ(ScanTagToken("ab\tc"), 2);
    EXPECT_EQ(ScanTagToken(">"), 0);
    EXPECT_EQ(ScanTagTokenUntil("key=value", '='), 3);
    EXPECT_EQ(ScanTagTokenUntil("ab<c", '\n'), 2);
    EXPECT_EQ(ScanTagTokenUntil("ab>c", '<'), 2);
}

}  // namespace
}  // namespace orva
