#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <tuple>
#include <utility>

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
    static ComponentBase* Make(int i, const ComponentId* id, ProjectItemBase* item) {
        made[i] = new TestStage(item, id, i == 1 ? 0x400101 : 0x10040);
        made[i]->panelBuilder = [](PageWindow*, void*, int32_t) { return 0; };
        return made[i];
    }
    Chain() {
        made[0] = made[1] = made[2] = nullptr;
        PipelineServices& p = ThePipelineServices();
        p.createProcessing = [](ComponentUi*, ProjectItemBase* item, void*) -> ComponentBase* {
            return failProcessing ? nullptr : Make(0, &kProcessingId, item);
        };
        p.createTransformation = [](ComponentUi*, ProjectItemBase* item, void*) { return Make(1, &kTransformationId, item); };
        p.createReduction = [](ComponentUi*, ProjectItemBase* item, void*) { return Make(2, &kReductionId, item); };
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
    source->panelBuilder = [](PageWindow*, void*, int32_t) { return 0; };
    SourceOpenState request;
    SourceOpenStateInit(&request);
    request.ui = &ui;
    ASSERT_TRUE(BuildPipelineFromScript(&request, source));
    Chain::failProcessing = false;

    EXPECT_EQ(item.firstStage, source);
    EXPECT_EQ(Chain::made[0], nullptr);
    TestStage* transformation = Chain::made[1];
    TestStage* reduction = Chain::made[2];
    ASSERT_TRUE(transformation && reduction);
    EXPECT_TRUE(transformation->input.upstream == source && reduction->input.upstream == source);
    std::string text = log.Text();
    EXPECT_NE(text.find("Script: Can`t create keloproc"), std::string::npos);
    EXPECT_EQ(text.find("can`t create connect..."), std::string::npos);

    // The pages: source, reduction (0x10800), transformation.
    EXPECT_EQ(ui.styles, (std::vector<uint32_t>{0x800, 0x10800, 0x800}));
    // The main cell shows the Transformation, the second the Reduction.
    PortList* list = item.source.portList;
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->name, "a.fits");
    ASSERT_TRUE(ui.cells[0] && ui.cells[1] && transformation->portRecord);
    EXPECT_TRUE(transformation->portRecord->display == ui.cells[0] &&
                reduction->portRecord->display == ui.cells[1]);
    EXPECT_EQ(reduction->portRecord->window->GetClassId(), &kChartWindowId);  // format 0x10040
    EXPECT_EQ(std::tuple(ui.layouts[0], ui.layouts[1], ui.selector[1]), std::tuple(1, 1, -200));
    // The cells know the user interface's port lists, whose ports forget them when they go.
    EXPECT_TRUE(ui.cells[0]->portLists == &ui.lists && ui.cells[1]->portLists == &ui.lists);

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
    // Behind the Processing.
    EXPECT_TRUE(Chain::made[1]->input.upstream == Chain::made[0] &&
                Chain::made[2]->input.upstream == Chain::made[0]);
    ASSERT_NE(source->portRecord, nullptr);
    EXPECT_TRUE(source->portRecord->display == ui.cells[0] &&
                Chain::made[1]->portRecord == nullptr);
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
    const struct {
        int kind;
        const char* name;
        int32_t section, header;
        const char* expected;
    } cases[] = {
        {1, "name", 3, 1, "old<NAME>|S3|name"}, {1, "name", 1, 1, "old<NAME>name"},
        {1, "name", 2, 5, "old<NAME>|S2H5|name"},
        {2, "x", 0, 4, "old<HDR>|H4|x"}, {3, nullptr, 7, 7, "old<HDRF>"},
        {0, "tail", 9, 9, "oldtail"},
    };
    for (const auto& c : cases) {
        char* text = strdup("old");
        ASSERT_TRUE(BuildSourceName(&text, c.kind, c.name, c.section, c.header));
        EXPECT_STREQ(text, c.expected);
        TextPtrFree(&text);
        EXPECT_EQ(text, nullptr);
    }
    char* none = nullptr;
    EXPECT_TRUE(BuildSourceName(&none, 0, nullptr, 0, 0) && none == nullptr);
    ASSERT_TRUE(BuildSourceName(&none, 1, "n", 1, 1));
    EXPECT_STREQ(none, "<NAME>n");
    TextPtrFree(&none);
    int length = -1;
    EXPECT_TRUE(SourceNameTag(4, &length) == nullptr && length == 0);

    const char* start = nullptr;
    // The name runs to the end: "<" and ">" in it are the file's own.
    EXPECT_EQ(FindSourceNamePart("<HDR><NAME>|S2|/d/a<1>.fits", &start), 16);
    EXPECT_EQ(std::string(start, 16), "|S2|/d/a<1>.fits");
    // "<Name>" is not a name tag.
    const std::pair<const char*, int> parts[] = {{"<name>abc", 3}, {"<Name>abc", 0}, {"<NAME>", -1},
                                                 {"<NAME", -1},    {"/plain", 6},    {"", 0}};
    for (auto [text, length] : parts) EXPECT_EQ(FindSourceNamePart(text, &start), length) << text;

    char* path = nullptr;
    char* shown = nullptr;
    // Both texts as one, a missing one shown as "-"; the texts are freed.
    auto taken = [&] {
        std::string both = std::string(path ? path : "-") + " " + (shown ? shown : "-");
        TextPtrFree(&path);
        TextPtrFree(&shown);
        return both;
    };
    ASSERT_TRUE(ParseServiceFileName("<NAME>|S3|/data/a.fits", nullptr, nullptr, true, &path, &shown));
    EXPECT_EQ(taken(), "/data/a.fs |S3|a.fits");
    ASSERT_TRUE(ParseServiceFileName(nullptr, "<NAME>/data/b.fits", ".x", false, &path, &shown));
    EXPECT_EQ(taken(), "/data/b.fits b.fits");
    ASSERT_TRUE(ParseServiceFileName("<NAME>relative", nullptr, nullptr, true, &path, &shown));
    EXPECT_EQ(taken(), "- relative");
    ASSERT_TRUE(ParseServiceFileName("/data/c.fits", nullptr, nullptr, true, &path, &shown));
    EXPECT_EQ(taken(), "/data/c.fits -");
    EXPECT_FALSE(ParseServiceFileName("<NAME>|S3|", nullptr, nullptr, true, &path, &shown));
    EXPECT_FALSE(ParseServiceFileName("<HDR>x", nullptr, nullptr, true, &path, &shown));

    char sep = 'x';
    EXPECT_STREQ(ParseSourceNamePrefix("|S2|/a", &sep), "/a");
    EXPECT_EQ(sep, 0);
    EXPECT_STREQ(ParseSourceNamePrefix("|S2H3|/a", &sep), "H3|/a");
    EXPECT_EQ(sep, '|');
    EXPECT_FALSE(ParseSourceNamePrefix("|S2", &sep) || ParseSourceNamePrefix("|S2|", &sep));
    EXPECT_STREQ(ParseSourceNamePrefix("/plain", &sep), "/plain");

    EXPECT_EQ(std::tuple(ScanTagToken("abc<d"), ScanTagToken("ab\tc"), ScanTagToken(">")),
              std::tuple(3, 2, 0));
    EXPECT_EQ(std::tuple(ScanTagTokenUntil("key=value", '='), ScanTagTokenUntil("ab<c", '\n'),
                         ScanTagTokenUntil("ab>c", '<')),
              std::tuple(3, 2, 2));
}

}  // namespace
}  // namespace orva
