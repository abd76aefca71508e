// The settings record of an output and a source: its defaults, the list the source keeps
// (found again when the output reconnects), the range modes that fill its scale triple,
// the scale and zero typed on the page, the range tables and the text buffer's assign
// and grow under an allocation that fails.
#include <gtest/gtest.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <string>
#include <tuple>

#include "output_test_support.h"
#include "toolkit/text_buffer.h"
#include "views/output_settings.h"

namespace orva {
namespace {

using testing_views::OfferingStage;
using testing_views::OutputFile;

TEST(OutputSettingsTest, ANewRecordHoldsTheDefaults) {
    OutputComponent output;
    OutputSettings* r = new OutputSettings(&output);
    EXPECT_EQ(r->refCount.load(), 1);
    EXPECT_EQ(r->output, &output);
    EXPECT_EQ(r->outputClass, &kOutputId);
    EXPECT_EQ(r->effective, (ScaleTriple{1.0, 0.0, 1.0}));
    EXPECT_EQ(r->user, (ScaleTriple{1.0, 0.0, 1.0}));
    EXPECT_EQ(std::tuple(r->channel, r->firstFrame, r->lastFrame, r->frameStep), std::tuple(0, 0, -1, 1));
    EXPECT_EQ(std::tuple(r->channelSelector, r->crop, r->specialFlag), std::tuple(0, 0, 0));
    EXPECT_EQ(r->pattern, "%n%f#_snr%s");
    ScaleTriple t{3.0, 4.0, 5.0};
    ScaleTripleInit(&t);
    EXPECT_EQ(t, (ScaleTriple{1.0, 0.0, 1.0}));
    // No text keeps the pattern; a text replaces it.
    EXPECT_TRUE(OutputSettingsSetPattern(r, nullptr));
    EXPECT_EQ(r->pattern, "%n%f#_snr%s");
    EXPECT_TRUE(OutputSettingsSetPattern(r, "%n_%f"));
    EXPECT_EQ(r->pattern, "%n_%f");
    EXPECT_EQ(r->Release(), 0);
}

TEST(OutputSettingsTest, TheSourceListKeepsARecordPerOutputOldestFirst) {
    OfferingStage source(&kInputId);
    OutputComponent first, second;
    OutputItemComponent item;
    OutputSettings* a = nullptr;
    OutputSettings* b = nullptr;
    OutputSettings* c = nullptr;
    ASSERT_TRUE(OutputSettingsListAdd(&source, &first, &a));
    ASSERT_TRUE(OutputSettingsListAdd(&source, &second, &b));
    ASSERT_TRUE(OutputSettingsListAdd(&source, &item, &c));
    OutputSettingsRecords* list = OutputSettingsOf(&source);
    ASSERT_NE(list, nullptr);
    // The first record added stays the oldest; each new one becomes the newest.
    EXPECT_EQ(std::tuple(list->oldest, list->newest), std::tuple(a, c));
    EXPECT_EQ(std::tuple(a->previous, b->previous, c->previous), std::tuple(b, c, nullptr));
    // The list's reference and the caller's.
    EXPECT_EQ(a->refCount.load(), 2);
    // Found by the output and its class.
    EXPECT_EQ(OutputSettingsFind(&source, &first), a);
    EXPECT_EQ(OutputSettingsFind(&source, &item), c);
    EXPECT_EQ(OutputSettingsFind(&source, &source), nullptr);
    // A record outlives the list while it is held.
    a->AddRef();
    delete source.outputSettings;
    source.outputSettings = nullptr;
    EXPECT_EQ(a->refCount.load(), 2);
    for (OutputSettings* r : {a, b, c}) r->Release();
    EXPECT_EQ(a->Release(), 0);
}

TEST(OutputSettingsTest, ReconnectingToASourceFindsTheEditedRecord) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("cube.fits");
    testing_views::WriteCube(path, 3, 4, 5);
    ASSERT_TRUE(f.Open(path));
    OutputSettings* record = f.output->settings;
    ASSERT_NE(record, nullptr);
    record->user = ScaleTriple{4.0, 1.0, 0.25};
    record->channelSelector = 1;
    record->pattern = "%n_edited";
    // Elsewhere (a stage of its own), then back.
    OfferingStage other(&kReductionId);
    ComponentBase* reduction = f.file.item->currentWindows[3];
    f.file.item->currentWindows[3] = &other;
    ASSERT_TRUE(ConnectOutputToSource(f.output, f.file.item, kStageReduction[0], kStageReduction[1]));
    EXPECT_EQ(f.output->upstream, &other);
    EXPECT_NE(f.output->settings, record);
    ASSERT_TRUE(ConnectOutputToSource(f.output, f.file.item, kStageInput[0], kStageInput[1]));
    f.file.item->currentWindows[3] = reduction;
    EXPECT_EQ(f.output->settings, record);
    EXPECT_EQ(record->user, (ScaleTriple{4.0, 1.0, 0.25}));
    EXPECT_EQ(std::tuple(record->channelSelector, record->pattern), std::tuple(1, std::string("%n_edited")));
}

TEST(OutputSettingsTest, RangeModesFillTheTriple) {
    if (!testing_views::HaveAstropy()) GTEST_SKIP() << "astropy not installed";
    OutputFile f;
    const std::string path = f.File("scaled.fits");
    testing_views::WriteCube(path, 2, 4, 5, "scaled");  // scale 2, zero 10 over int16
    ASSERT_TRUE(f.Open(path));
    OutputSettings* r = f.output->settings;
    ASSERT_NE(r, nullptr);
    const ScaleTriple identity{1.0, 0.0, 1.0};
    const ScaleTriple input{2.0, -10.0, 0.5};
    FormatDesc format;
    f.output->format = &format;
    struct Case {
        const char* what;
        int32_t mode;
        uint32_t type;
        ScaleTriple user;
        ScaleTriple expected;
    };
    const Case cases[] = {
        {"as input", kRangeAsInput, 0x02, identity, input},
        {"asis", kRangeAsis, 0x02, input, identity},
        {"user scale 0 takes the input's", kRangeUserDefined, 0x02, {0.0, 0.0, 0.0}, input},
        {"user scale 2", kRangeUserDefined, 0x02, {2.0, 3.0, 0.5}, {2.0, 3.0, 0.5}},
        {"auto, 64-bit real", kRangeAuto, 0x40, input, identity},
        {"auto, 64-bit integer", kRangeAuto, 0x20, input, identity},
        // Physical -65526 .. 65544 lies within 32-bit integers, not within 16-bit ones.
        {"auto, inside", kRangeAuto, 0x08, input, identity},
        {"auto, outside", kRangeAuto, 0x02, identity, input},
        // Unsigned 16-bit output: the stored samples move up by 32768 (the zero by 65536),
        // so that every one of them fits.
        {"auto, outside unsigned", kRangeAuto, 0x102, identity, {2.0, 65526.0, 0.5}},
        {"as input, unsigned", kRangeAsInput, 0x102, identity, {2.0, 65526.0, 0.5}},
        {"as input, 32-bit: no offset", kRangeAsInput, 0x108, identity, input},
        {"auto, a type without a size", kRangeAuto, 0x100, identity, input},
    };
    for (const Case& c : cases) {
        format.defaultType = c.type;
        r->user = c.user;
        r->effective = ScaleTriple{7.0, 7.0, 7.0};
        OutputPrepareRange(f.output, c.mode);
        EXPECT_EQ(r->effective, c.expected) << c.what;
    }
    // The user triple of a user scale 0 became the input's.
    format.defaultType = 0x02;
    r->user = ScaleTriple{0.0, 5.0, 0.0};
    OutputPrepareRange(f.output, kRangeUserDefined);
    EXPECT_EQ(r->user, input);
    f.output->format = nullptr;
    f.output->link.Detach();
}

TEST(OutputSettingsTest, ScaleAndZeroTypedOnThePage) {
    OutputComponent output;
    OfferingStage source(&kInputId);
    ASSERT_TRUE(OutputSettingsListAdd(&source, &output, &output.settings));
    OutputSettings* r = output.settings;
    // Within DBL_EPSILON of 1: exactly 1 for scale and reciprocal.
    r->effective = ScaleTriple{3.0, 0.0, 1.0 / 3.0};
    output.rangeMode = kRangeAuto;
    EXPECT_EQ(OutputEditScale(&output, 0.9999999999999999), 1);
    EXPECT_EQ(r->effective.scale, 1.0);
    EXPECT_EQ(r->effective.reciprocal, 1.0);
    EXPECT_EQ(r->user, r->effective);
    EXPECT_EQ(output.rangeMode, kRangeUserDefined);
    // The present scale again changes nothing, the mode included.
    output.rangeMode = kRangeAsis;
    EXPECT_EQ(OutputEditScale(&output, 1.0), 0);
    EXPECT_EQ(output.rangeMode, kRangeAsis);
    struct Case {
        double scale;
        int answer;
        double stored;
        double reciprocal;
    };
    // Zero, negative, and positive scales too small to invert are bad values.
    for (Case c : {Case{4.0, 1, 4.0, 0.25}, Case{0.0, -1, 4.0, 0.25}, Case{-2.0, -1, 4.0, 0.25},
                   Case{DBL_MIN, -1, 4.0, 0.25}, Case{DBL_MIN / 4, -1, 4.0, 0.25}, Case{1e-300, 1, 1e-300, 1e300}}) {
        EXPECT_EQ(OutputEditScale(&output, c.scale), c.answer) << c.scale;
        EXPECT_EQ(r->effective.scale, c.stored) << c.scale;
        EXPECT_DOUBLE_EQ(r->effective.reciprocal, c.reciprocal) << c.scale;
    }
    // Zero offsets: a tiny one is 0; every change makes the mode "User defined".
    output.rangeMode = kRangeAuto;
    EXPECT_EQ(OutputEditZero(&output, 5e-308), 1);
    EXPECT_EQ(r->effective.zero, 0.0);
    EXPECT_EQ(output.rangeMode, kRangeUserDefined);
    output.rangeMode = kRangeAuto;
    EXPECT_EQ(OutputEditZero(&output, 0.0), 0);
    EXPECT_EQ(output.rangeMode, kRangeAuto);
    EXPECT_EQ(OutputEditZero(&output, -12.5), 1);
    EXPECT_EQ(std::tuple(r->effective.zero, r->user.zero, output.rangeMode), std::tuple(-12.5, -12.5, kRangeUserDefined));
    output.settings->Release();
    output.settings = nullptr;
}

TEST(OutputSettingsTest, RangeTablesResetAndResize) {
    RangeTable table;
    EXPECT_FALSE(ResizeRangeTable(&table, 0));
    ASSERT_TRUE(ResizeRangeTable(&table, 3));
    ASSERT_EQ(table.count, 3u);
    for (uint32_t i = 0; i < 3; ++i)
        EXPECT_EQ(std::tuple(table.entries[i].minimum, table.entries[i].maximum, table.entries[i].count),
                  std::tuple(DBL_MAX, -DBL_MAX, uint64_t{0}));
    table.entries[1] = RangeEntry{1.0, 2.0, 7};
    // The same count: the entries are reset in place.
    RangeEntry* before = table.entries;
    ASSERT_TRUE(ResizeRangeTable(&table, 3));
    EXPECT_EQ(table.entries, before);
    EXPECT_EQ(table.entries[1].count, 0u);
    EXPECT_EQ(table.entries[1].minimum, DBL_MAX);
    ASSERT_TRUE(ResizeRangeTable(&table, 5));
    EXPECT_EQ(table.count, 5u);
    EXPECT_EQ(table.entries[4].maximum, -DBL_MAX);
}

// An allocator that fails, for the text buffer.
void* NoMemory(size_t) { return nullptr; }

class AllocatorScope {
public:
    explicit AllocatorScope(TextBufferAllocFn fn) : saved_(TextBufferAllocator()) { TextBufferAllocator() = fn; }
    ~AllocatorScope() { TextBufferAllocator() = saved_; }
    AllocatorScope(const AllocatorScope&) = delete;
    AllocatorScope& operator=(const AllocatorScope&) = delete;

private:
    TextBufferAllocFn saved_;
};

TEST(OutputSettingsTest, TextBufferAssignAndGrow) {
    TextBuffer b(8);
    ASSERT_TRUE(b.Assign("pattern"));
    // A new block of grow step + length + 1.
    EXPECT_EQ(std::tuple(std::string(b.Text()), b.length, b.capacity), std::tuple(std::string("pattern"), 7u, 16u));
    char* block = b.data;
    ASSERT_TRUE(b.Assign("short"));
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(std::tuple(std::string(b.Text()), b.length), std::tuple(std::string("short"), 5u));
    ASSERT_TRUE(b.Assign(""));
    EXPECT_EQ(b.length, 0u);
    ASSERT_TRUE(b.Assign("abcdef"));
    // Growing keeps the asked bytes.
    ASSERT_TRUE(b.Grow(40, 3));
    EXPECT_EQ(b.capacity, 48u);
    EXPECT_EQ(std::string(b.data, 3), "abc");
    EXPECT_EQ(b.length, 3u);
    // The allocation fails: false, and the buffer stays as it was.
    block = b.data;
    ASSERT_TRUE(b.Assign("kept"));
    {
        AllocatorScope failing(&NoMemory);
        const std::string longer(200, 'x');
        EXPECT_FALSE(b.Assign(longer.c_str()));
        EXPECT_FALSE(b.Grow(500, 4));
        EXPECT_FALSE(b.Reserve(300));
    }
    EXPECT_EQ(b.data, block);
    EXPECT_EQ(std::tuple(std::string(b.Text()), b.length, b.capacity), std::tuple(std::string("kept"), 4u, 48u));
}

}  // namespace
}  // namespace orva
