// The Reduction's option block: its setters, its section keys written and read
// back through real files, the preset list and the option clipboard.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>

#include "reduction/reduction_preset.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

bool Bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

struct PresetDeleter {
    void operator()(ReductionPreset* p) const { p->Release(); }
};
using Preset = std::unique_ptr<ReductionPreset, PresetDeleter>;
Preset MakePreset() { return Preset(ReductionPreset::Create()); }

// A writer whose lines go to a memory stream.
class MemoryWriter : public KeywordFile {
public:
    MemoryWriter() { stream_ = open_memstream(&text_, &size_); SetOutputStream(stream_); }
    ~MemoryWriter() override {
        std::fclose(stream_);
        std::free(text_);
    }
    bool WriteBody(char) override { return true; }
    std::string Text() {
        std::fflush(stream_);
        return std::string(text_, size_);
    }

private:
    FILE* stream_ = nullptr;
    char* text_ = nullptr;
    size_t size_ = 0;
};

std::string Keys(const ReductionPreset& p, char prefix = '\0') {
    MemoryWriter w;
    EXPECT_TRUE(p.WriteKeys(&w, prefix));
    return w.Text();
}

constexpr char kDefaultKeys[] =
    "ExtendedPrecision=0\nAllChannels=1\nNChannel=1\nSliceFlux=1\nSliceAutoWeight=1\nSliceWeighing=1\n"
    "SliceAutoProfile=1\nSliceRemoveBackground=0\nSliceNoiseGain=1, 1\nSliceLSmoothAverWin=7\n"
    "SliceZeroScale=0, 1\nSliceExtractMethod=0\nSliceLSmoothMethod=0\nMaxBadPixInterpolate=4\n"
    "FlagBadPixInterpolate=2\nStatIntervalInteger=0\nStatIntervalAuto=1\nStatBoundaryEnable=0\n"
    "StatInterval=1\nStatBoundary=0, 255\nStatIntervalMethod=4\nStatVis=0\nStatWeigh=0\n";

std::string Section(const std::string& body) {
    return "[{" + SectionNameOf(&kReductionPropId, 0) + "}]\n" + body;
}

TEST(ReductionKeys, TheDefaultsWriteTheirTwentyThreeLinesInOrder) {
    Preset p = MakePreset();
    EXPECT_EQ(Keys(*p), kDefaultKeys);
    // A prefix stands before every line; the name and file names only when set.
    p->options.SetName("stars");
    p->options.statFileNameWeighCoeff = strdup("/data/w.txt");
    const std::string prefixed = Keys(*p, '\t');
    EXPECT_EQ(prefixed.substr(0, 15), "\tName=\"stars\"\n\t");
    EXPECT_NE(prefixed.find("\tStatWeigh=0\n\tStatFileNameWeighCoeff=\"/data/w.txt\"\n"), std::string::npos);

    // A write that fails stops the writing with state -5.
    FILE* full = std::fopen("/dev/full", "w");
    ASSERT_NE(full, nullptr);
    std::setvbuf(full, nullptr, _IONBF, 0);
    MemoryWriter w;
    w.SetOutputStream(full);
    EXPECT_FALSE(p->WriteKeys(&w, '\0'));
    EXPECT_EQ(w.State(), -5);
    std::fclose(full);
}

TEST(ReductionKeys, WriteLoadAndWriteAgainGiveTheSameTextAndBits) {
    TempFolder folder;
    Preset p = MakePreset();
    ReductionOptions& o = p->options;
    o.SetNoise(2.0833333333333335);
    o.SetGain(0.1);
    o.SetZeroScale(-1.0 / 3.0, 7.0 / 9.0);
    o.SetStatInterval(0.3);
    o.SetStatBoundary(-0.1, 1e-7);
    o.SetSliceExtractMethod(2);
    o.SetNChannel(3);
    o.SetName("two words");
    o.sliceFileNameProfileCoeff = strdup("/data/profile coefficients.txt");
    const std::string a = folder.File("a.fs"), b = folder.File("b.fs");
    ASSERT_TRUE(p->Save(a.c_str()));
    Preset back = MakePreset();
    ASSERT_TRUE(back->Load(a.c_str()));
    EXPECT_TRUE(back->options.values == o.values);
    EXPECT_TRUE(Bits(back->options.values.slice.noise, 2.0833333333333335));
    EXPECT_TRUE(Bits(back->options.values.slice.noiseSquared, o.values.slice.noiseSquared));
    EXPECT_STREQ(back->options.name, "two words");
    ASSERT_TRUE(back->Save(b.c_str()));
    EXPECT_EQ(ReadText(a), ReadText(b));

    // A nameless preset reads back nameless; a section without keys changes nothing.
    Preset plain = MakePreset();
    ASSERT_TRUE(plain->Save(a.c_str()));
    ASSERT_TRUE(back->Load(a.c_str()));
    EXPECT_EQ(back->options.name, nullptr);
    EXPECT_EQ(Keys(*back), Keys(*plain));
    WriteText(a, Section("Unknown=1\n"));
    back->options.SetNChannel(9);
    back->Load(a.c_str());
    EXPECT_EQ(back->options.values.nChannel, 9u);
}

TEST(ReductionKeys, EveryAliasLoads) {
    TempFolder folder;
    const std::string path = folder.File("aliases.fs");
    WriteText(path, Section("Precision=1\nFlux=0\nZeroScale=2, 3\nExtractMethod=1\nLSmoothMethod=2\n"
                            "LSmoothAverWin=5\nIntervalInteger=1\nAuto=0\nBoundaryEnable=on\nBoundary=1, 9\n"
                            "Interval=0.5\nIntervalMethod=7\n"));
    Preset p = MakePreset();
    ASSERT_TRUE(p->Load(path.c_str()));
    const ReductionValues& v = p->options.values;
    EXPECT_EQ(v.extendedPrecision, 1);
    EXPECT_EQ(v.slice.flux, 0);
    EXPECT_EQ(std::tuple(v.slice.zero, v.slice.scale), std::tuple(2.0, 3.0));
    EXPECT_EQ(std::tuple(v.slice.extractMethod, v.lSmoothMethod, v.slice.lSmoothAverWin), std::tuple(1, 2, 5u));
    EXPECT_EQ(std::tuple(v.stat.intervalInteger, v.stat.intervalAuto, v.stat.boundaryEnable), std::tuple(1, 0, 1));
    EXPECT_EQ(std::tuple(v.stat.boundaryLow, v.stat.boundaryHigh, v.stat.interval, v.stat.intervalMethod),
              std::tuple(1.0, 9.0, 0.5, 7));
    // The other spellings of two of them.
    WriteText(path, Section("Integer=0\nIntervalAuto=1\n"));
    ASSERT_TRUE(p->Load(path.c_str()));
    EXPECT_EQ(std::tuple(p->options.values.stat.intervalInteger, p->options.values.stat.intervalAuto),
              std::tuple(0, 1));
}

TEST(ReductionKeys, ValuesAsTheyAreRead) {
    struct Row {
        const char* line;
        std::function<bool(const ReductionOptions&)> check;
    };
    const Row rows[] = {
        {"NChannel=20000", [](auto& o) { return o.values.nChannel == 16384; }},
        {"NChannel=0", [](auto& o) { return o.values.nChannel == 1; }},
        {"NChannel=-3", [](auto& o) { return o.values.nChannel == 16384; }},
        {"NChannel=0x10", [](auto& o) { return o.values.nChannel == 16; }},
        {"NChannel=010", [](auto& o) { return o.values.nChannel == 8; }},
        {"NChannel=x", [](auto& o) { return o.values.nChannel == 1; }},
        {"MaxBadPixInterpolate=0", [](auto& o) { return o.values.slice.maxBadPixInterpolate == 1; }},
        {"FlagBadPixInterpolate=9", [](auto& o) { return o.values.slice.flagBadPixInterpolate == 2; }},
        {"StatIntervalMethod=-4", [](auto& o) { return o.values.stat.intervalMethod == 0; }},
        {"SliceZeroScale=5", [](auto& o) { return o.values.slice.zero == 5.0 && o.values.slice.scale == 1.0; }},
        {"SliceZeroScale=5, 0", [](auto& o) { return o.values.slice.scale == 1.0; }},
        {"SliceZeroScale=5, 1e999", [](auto& o) { return o.values.slice.zero == 0.0; }},
        {"SliceNoiseGain=1e-200", [](auto& o) {
             return o.values.slice.noise == 0.0 && o.values.slice.noiseSquared == 0.0 && o.values.slice.gain == 1.0;
         }},
        {"SliceNoiseGain=-3 0.5", [](auto& o) {
             return o.values.slice.noise == 3.0 && o.values.slice.noiseSquared == 9.0 && o.values.slice.gain == 0.5;
         }},
        {"StatBoundary=300, 100", [](auto& o) {
             return o.values.stat.boundaryLow == 300.0 && o.values.stat.boundaryHigh == 301.0;
         }},
        {"StatBoundary=5", [](auto& o) { return o.values.stat.boundaryHigh == 255.0; }},
        {"StatInterval=0", [](auto& o) { return o.values.stat.interval == DBL_MIN; }},
        {"StatInterval=1e999", [](auto& o) { return o.values.stat.interval == 1.0; }},
        {"AllChannels=OFF", [](auto& o) { return o.values.allChannels == 0; }},
        {"AllChannels=off", [](auto& o) { return o.values.allChannels == 0; }},
        {"SliceFlux=false", [](auto& o) { return o.values.slice.flux == 0; }},
        {"StatWeigh=TRUE", [](auto& o) { return o.values.stat.weigh == 1; }},
        {"StatWeigh=oN", [](auto& o) { return o.values.stat.weigh == 1; }},
        {"StatWeigh=2", [](auto& o) { return o.values.stat.weigh == 1; }},
        {"StatWeigh=yes", [](auto& o) { return o.values.stat.weigh == 0; }},
        {"Name='single'", [](auto& o) { return o.name != nullptr && std::strcmp(o.name, "single") == 0; }},
        {"Name=<angle brackets>", [](auto& o) { return o.name != nullptr && std::strcmp(o.name, "angle brackets") == 0; }},
        {"Name=plain", [](auto& o) { return o.name == nullptr; }},
        {"Name=\"\"", [](auto& o) { return o.name == nullptr; }},
        {"Name=\"open", [](auto& o) { return o.name == nullptr; }},
        {"SliceFileNameWeighCoeff=<w.txt>", [](auto& o) {
             return o.sliceFileNameWeighCoeff != nullptr && std::strcmp(o.sliceFileNameWeighCoeff, "w.txt") == 0;
         }},
        {"SliceFileNameWeighCoeff='w.txt'", [](auto& o) { return o.sliceFileNameWeighCoeff == nullptr; }},
    };
    TempFolder folder;
    const std::string path = folder.File("keys.fs");
    for (const Row& r : rows) {
        // StatVis=1 is always there, so that a refused key still leaves a section with a key.
        WriteText(path, Section(std::string(r.line) + "\nStatVis=1\n"));
        Preset p = MakePreset();
        p->Load(path.c_str());
        EXPECT_EQ(p->options.values.stat.vis, 1) << r.line;
        EXPECT_TRUE(r.check(p->options)) << r.line;
    }
}

TEST(ReductionOptionSetters, NormaliseStoreAndReportChanges) {
    ReductionOptions o;
    EXPECT_TRUE(o.SetStatBoundary(300, 100));
    EXPECT_EQ(std::tuple(o.values.stat.boundaryLow, o.values.stat.boundaryHigh), std::tuple(300.0, 301.0));
    EXPECT_FALSE(o.SetStatBoundary(300, 301));
    EXPECT_TRUE(o.SetStatBoundary(HUGE_VAL, 5));
    EXPECT_EQ(std::tuple(o.values.stat.boundaryLow, o.values.stat.boundaryHigh), std::tuple(4.0, 5.0));

    EXPECT_TRUE(o.SetNoise(1e-200));
    EXPECT_EQ(std::tuple(o.values.slice.noise, o.values.slice.noiseSquared), std::tuple(0.0, 0.0));
    EXPECT_TRUE(o.SetNoise(1.0 + DBL_EPSILON));
    EXPECT_EQ(std::tuple(o.values.slice.noise, o.values.slice.noiseSquared), std::tuple(1.0, 1.0));
    EXPECT_FALSE(o.SetNoise(-1.0));
    EXPECT_TRUE(o.SetGain(-1e-310));
    EXPECT_EQ(o.values.slice.gain, 0.0);
    EXPECT_TRUE(o.SetGain(-2.0));
    EXPECT_EQ(o.values.slice.gain, 2.0);

    // One zero number leaves the scale; a zero scale through the setter is the signed smallest.
    EXPECT_TRUE(o.SetZero(1e308));
    EXPECT_EQ(o.values.slice.zero, 8.988465674311579e307);
    EXPECT_TRUE(o.SetZero(-1e308));
    EXPECT_EQ(o.values.slice.zero, -8.988465674311579e307);
    EXPECT_TRUE(o.SetZero(1e-17));
    EXPECT_EQ(std::tuple(o.values.slice.zero, o.values.slice.scale), std::tuple(0.0, 1.0));
    EXPECT_TRUE(o.SetScale(0.0));
    EXPECT_EQ(o.values.slice.scale, -kTwiceDblMin);
    EXPECT_TRUE(o.SetScale(1e-310));
    EXPECT_EQ(o.values.slice.scale, kTwiceDblMin);
    EXPECT_TRUE(o.SetZeroScale(0.0, 1.0 - DBL_EPSILON / 2));
    EXPECT_EQ(o.values.slice.scale, 1.0);

    EXPECT_TRUE(o.SetStatInterval(DBL_MIN / 2));
    EXPECT_EQ(o.values.stat.interval, DBL_MIN);
    EXPECT_FALSE(o.SetStatInterval(DBL_MIN));
    EXPECT_TRUE(o.SetStatInterval(2.0));
    EXPECT_TRUE(o.SetStatInterval(std::nan("")));  // no rule can use NaN: it is the smallest
    EXPECT_EQ(o.values.stat.interval, DBL_MIN);

    o.SetStatIntervalMethod(0);
    EXPECT_TRUE(o.CycleIntervalMethod(false));
    EXPECT_EQ(o.values.stat.intervalMethod, 8);
    EXPECT_TRUE(o.CycleIntervalMethod(true));
    EXPECT_EQ(o.values.stat.intervalMethod, 0);
    o.SetStatVis(1);
    EXPECT_TRUE(o.ToggleStatVis(true));
    EXPECT_EQ(o.values.stat.vis, 0);
    EXPECT_EQ(std::tuple(o.SetSliceLSmoothAverWin(-5), o.values.slice.lSmoothAverWin), std::tuple(true, 1u));
    EXPECT_EQ(std::tuple(o.SetExtractionVariant(9), o.values.slice.extractionVariant), std::tuple(true, 5));

    // The toggles: three answer true, two their new value.
    EXPECT_TRUE(o.ToggleExtendedPrecision());
    EXPECT_TRUE(o.ToggleExtendedPrecision());
    EXPECT_FALSE(o.ToggleSliceAutoWeight());
    EXPECT_TRUE(o.ToggleSliceAutoWeight());
    EXPECT_FALSE(o.ToggleSliceWeighing());

    ReductionOptions reset;
    EXPECT_FALSE(reset.ResetHistogram());
    reset.SetStatIntervalAuto(false);
    EXPECT_TRUE(reset.ResetHistogram());
    EXPECT_EQ(reset.values.stat.intervalAuto, 1);

    EXPECT_TRUE(reset.SetName(""));
    EXPECT_STREQ(reset.name, "noname");
    EXPECT_STREQ(ReductionOptionsName(ReductionOptions{}), "noname");
}

// ---- Presets --------------------------------------------------------------------------------------

class TestHolder : public ReductionPresetHolder {
public:
    void RefreshOptions() override { ++refreshes; }
    bool ConfirmCommonChange() override {
        ++questions;
        return answer;
    }
    uint32_t InputChannelCount() const override { return channels; }
    int refreshes = 0;
    int questions = 0;
    bool answer = true;
    uint32_t channels = 0;
};

TEST(ReductionPresets, ThirtyOneNumberedPresetsAndRemovalOfTheCurrentOne) {
    TestHolder holder;
    ReductionPresetList list(&holder);
    list.userValue = 3;
    list.own.options.SetNChannel(2);
    for (uint32_t i = 1; i <= kReductionMaxPresets; ++i) ASSERT_NE(AddPreset(&list), nullptr) << i;
    EXPECT_EQ(AddPreset(&list), nullptr);
    EXPECT_EQ(list.count, 31u);
    EXPECT_STREQ(list.tail->options.name, "31 - noname");
    EXPECT_STREQ(list.head->options.name, "1 - noname");
    EXPECT_EQ(std::tuple(list.tail->index, list.tail->flags, list.tail->options.values.nChannel),
              std::tuple(30, 3u << 16, 2u));
    EXPECT_EQ(PresetAt(&list, -4), list.head);
    EXPECT_EQ(PresetAt(&list, 99), list.tail);

    // A list preset in use: removing it makes the next one current, at the end the previous one.
    ReductionPreset* second = list.head->next;
    list.currentPreset = second;
    list.SwitchCurrent(second);
    bool listed = false;
    EXPECT_STREQ(PresetDisplayName(&list, &listed), "2 - noname");
    EXPECT_TRUE(listed);
    second->options.SetNChannel(7);  // the next preset differs: the holder refreshes
    ReductionPreset* third = second->next;
    RemovePreset(&list, second);
    EXPECT_EQ(std::tuple(list.currentPreset, list.current, list.count), std::tuple(third, third, 30u));
    EXPECT_EQ(holder.refreshes, 1);
    RemovePreset(&list, list.tail);
    list.currentPreset = list.tail;
    list.SwitchCurrent(list.tail);
    ReductionPreset* previous = list.tail->previous;
    RemovePreset(&list, list.tail);
    EXPECT_EQ(list.current, previous);

    // The last preset in use goes: its values stay in the own preset, which is used again.
    while (list.count > 1) RemovePreset(&list, list.head == list.currentPreset ? list.tail : list.head);
    list.current->options.SetNChannel(12);
    RemovePreset(&list, list.currentPreset);
    EXPECT_EQ(std::tuple(list.count, list.current, list.currentPreset), std::tuple(0u, &list.own, nullptr));
    EXPECT_EQ(list.own.options.values.nChannel, 12u);
    EXPECT_STREQ(PresetDisplayName(&list, &listed), "<current>");
    EXPECT_FALSE(listed);
    ReductionPreset* common = ReductionPreset::Create();
    list.common = common;
    common->AddRef();
    list.SwitchCurrent(common);
    EXPECT_STREQ(PresetDisplayName(&list, &listed), "<common>");
    common->Release();
}

TEST(ReductionPresets, PasteComparesOnlyWhatTheChannelCountMakesMatter) {
    TestHolder holder;
    ReductionPresetList list(&holder);
    ReductionOptionClipboard& clip = TheReductionOptionClipboard();
    clip.options.SetDefaults();
    clip.valid = true;
    ReductionOptions& o = list.Options();

    // Not compared: the smoothing method.
    clip.options.SetSliceLSmoothMethod(2);
    EXPECT_FALSE(PasteOptions(&list, 4));
    // A larger NChannel not below the channel count counts as equal; a smaller one does not.
    o.SetNChannel(5);
    clip.options.SetNChannel(3);
    o.SetAllChannels(false);
    clip.options.SetAllChannels(false);
    EXPECT_FALSE(PasteOptions(&list, 4));
    EXPECT_FALSE(PasteOptions(&list, 1));  // one channel: NChannel does not matter
    o.SetNChannel(2);
    holder.answer = false;
    EXPECT_FALSE(PasteOptions(&list, 4));
    EXPECT_EQ(holder.questions, 1);
    holder.answer = true;
    EXPECT_TRUE(PasteOptions(&list, 4));
    EXPECT_EQ(std::tuple(o.values.nChannel, o.values.lSmoothMethod), std::tuple(3u, 2));
    // Without an input channel count the whole block counts, and NChannel is pasted as it is.
    clip.options.SetNChannel(9);
    EXPECT_TRUE(PasteOptions(&list, 0));
    EXPECT_EQ(o.values.nChannel, 9u);
    // A larger pasted NChannel is lowered to the channel count.
    clip.options.SetStatVis(1);
    clip.options.SetNChannel(30);
    EXPECT_TRUE(PasteOptions(&list, 4));
    EXPECT_EQ(o.values.nChannel, 4u);
    clip.valid = false;
    clip.options.SetStatVis(0);
    EXPECT_FALSE(PasteOptions(&list, 4));
    clip.options.SetDefaults();
    clip.valid = true;
}

}  // namespace
}  // namespace orva
