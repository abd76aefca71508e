// The value scaler: its embedded settings and the shared defaults, the kernel
// choice, the automatic range from a source that answers value-range requests,
// regions, and the settings file.
#include "transform/value_scaler.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "framework/component_test_doubles.h"
#include "test_support.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing::TestItem;
using testing::TestStage;
using testing_transform::ScaleSection;
using testing_transform::ScopedSaveServiceFiles;
using testing_transform::TransformTest;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

constexpr uint32_t kF64 = 0x40;

// A source that answers value-range requests with a prepared answer.
class FakeSource : public TestStage {
public:
    explicit FakeSource(ProjectItemBase* item) : TestStage(item, &kInputId) {}
    bool OnMessage(MessageRecord* m, uint32_t a) override {
        if (m->code != kMsgValueRange) return TestStage::OnMessage(m, a);
        ++requests;
        ValueRangeTarget* target = AsValueRangeTarget(MessageTargetOf(m));
        if (target == nullptr) return false;
        countDuringRequest = target->refCount.load();
        target->range = range;
        target->flags = flags;
        target->headerRange = header;
        target->layoutRange = layout;
        return true;
    }
    ValueRangeRecord range;
    uint32_t flags = 0;
    LinearRange header, layout;
    int requests = 0;
    int countDuringRequest = 0;
};

// The Transformation stand-in: the scaler's owner, with a region interface.
class FakeOwner : public TestStage, public RegionInterface {
public:
    explicit FakeOwner(ProjectItemBase* item) : TestStage(item, &kTransformationId, kF64) {}
    bool QueryInterface(const ComponentId* id, void** out) override {
        if (!SameComponentId(id, &kDriveSourceId)) return TestStage::QueryInterface(id, out);
        AddRef();
        *out = static_cast<ComponentObject*>(this);
        return true;
    }
    bool ShapeAction(const void* request) override {
        calls += request == nullptr ? "new " : "shape ";
        attached = startWorks;
        return startWorks;
    }
    bool ReattachPendingRegion() override {
        calls += "reattach ";
        attached = pending;
        return pending;
    }
    bool DetachRegion(bool unlink) override {
        calls += unlink ? "detach+unlink " : "detach ";
        attached = false;
        return true;
    }
    bool IsAttachedRegion() override { return attached; }

    bool attached = false, pending = false, startWorks = true;
    std::string calls;
};

class ValueScalerTest : public TransformTest {
protected:
    void SetUp() override {
        TransformTest::SetUp();
        source = new FakeSource(&item);
        owner = new FakeOwner(&item);
        item.firstStage = source;
    }
    void TearDown() override {
        owner->Release();
        source->Release();
        TransformTest::TearDown();
    }
    // Statistics: extremes, mean and σ.
    void Answer(uint32_t flags, double min, double max, double mean = kStatisticUnset,
                double rms = kStatisticUnset) {
        source->flags = flags;
        source->range.min = min;
        source->range.max = max;
        source->range.mean = mean;
        source->range.rms = rms;
    }
    static std::pair<double, double> Range(ValueScaler& s) { return {s.Current().min, s.Current().max}; }

    TestItem item;
    FakeSource* source = nullptr;
    FakeOwner* owner = nullptr;
    TempFolder folder;
};

ScaleDefaults* RegisteredDefaults() {
    return dynamic_cast<ScaleDefaults*>(TheApp().Properties().Find(&kSingleFilterPropId));
}

TEST_F(ValueScalerTest, EmbeddedSettingsAndTheSharedDefaults) {
    ValueScaler a(nullptr, 0x12345);
    EXPECT_EQ(a.flags, 0x2345u);
    EXPECT_EQ(a.AddRef(), 2);
    EXPECT_EQ(a.Release(), 1);
    EXPECT_EQ(a.Release(), 1);
    PropertyComponent* made = &a;
    EXPECT_FALSE(a.CreateInstance(&made));
    EXPECT_EQ(made, nullptr);
    void* out = nullptr;
    EXPECT_TRUE(a.QueryInterface(&kBaseId, &out) && out == static_cast<PropertyComponent*>(&a));
    EXPECT_TRUE(a.QueryInterface(&kPropId, &out) && out == static_cast<PropertyComponent*>(&a));
    EXPECT_TRUE(a.QueryInterface(&kPlugSingleFilterId, &out) && out == &a);
    EXPECT_FALSE(a.QueryInterface(&kPlugColorId, &out));

    // The first scaler made and registered the defaults; the registry holds the only reference.
    ScaleDefaults* defaults = RegisteredDefaults();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(TheApp().Properties().Count(), 1u);
    EXPECT_EQ(defaults->RefCount(), 1);
    PropertyComponent* another = nullptr;
    ASSERT_TRUE(defaults->CreateInstance(&another));
    EXPECT_EQ(another->Release(), 0);

    {
        ValueScaler b(nullptr, 0);
        EXPECT_EQ(RegisteredDefaults(), defaults);
        EXPECT_EQ(TheApp().Properties().Count(), 1u);
        ASSERT_TRUE(ValueScalerLinkShared(&b));
        EXPECT_FALSE(ValueScalerLinkShared(&b));
        EXPECT_EQ(defaults->RefCount(), 2);
        EXPECT_TRUE(b.QueryInterface(&kBaseId, &out) && out == static_cast<PropertyComponent*>(defaults));
        EXPECT_EQ(defaults->RefCount(), 3);
        defaults->Release();
        EXPECT_TRUE(ValueScalerSetFlags(&b, kF64, kF64));
        EXPECT_TRUE(ValueScalerSetMax(&b, 10.0, false, false));
        EXPECT_EQ(defaults->settings.max, 10.0);

        // A second user of the defaults sees the same settings.
        SettingsRequest shared;
        shared.useShared = 1;
        ValueScaler c(&shared, 0);
        EXPECT_TRUE(c.LinkedToDefaults());
        EXPECT_EQ(Range(c), std::make_pair(0.0, 10.0));
        EXPECT_EQ(defaults->RefCount(), 3);
        ASSERT_TRUE(ValueScalerToggleShared(&b));
        EXPECT_EQ(b.current, &b);
        EXPECT_EQ(Range(b), std::make_pair(0.0, 0.0));
        EXPECT_EQ(defaults->RefCount(), 2);
    }
    EXPECT_EQ(defaults->RefCount(), 1);

    // Copying the defaults: range and class values.
    ASSERT_NE(defaults->settings.SetClassByIndex(2, kF64, kF64), nullptr);
    defaults->settings.value1 = 0.125;
    SettingsRequest copy;
    copy.copyShared = 1;
    ValueScaler d(&copy, 0);
    EXPECT_FALSE(d.LinkedToDefaults());
    EXPECT_EQ(Range(d), std::make_pair(0.0, 10.0));
    EXPECT_EQ(std::make_pair(d.Current().classIndex, d.Current().value1), std::make_pair(2, 0.125));
}

TEST_F(ValueScalerTest, KernelFollowsClassAndFormats) {
    ValueScaler s(nullptr, 0);
    EXPECT_EQ(s.kernel, ScaleKernelCopy);
    EXPECT_FALSE(ValueScalerSetClass(&s, 2));  // no formats yet
    EXPECT_FALSE(ValueScalerSetFlags(&s, 0x10, kF64));
    EXPECT_EQ(s.kernel, ScaleKernelCopy);
    // The unsigned and other bits do not count: only 0x50.
    EXPECT_TRUE(ValueScalerSetFlags(&s, 0x400140, 0x40));
    EXPECT_EQ(std::make_pair(s.inputFormat, s.kernel), std::make_pair(kF64, ScaleKernel(ScaleKernelRange)));
    EXPECT_TRUE(ValueScalerSetFlags(&s, kF64, kF64));
    EXPECT_TRUE(ValueScalerSetClass(&s, 4));
    EXPECT_EQ(s.kernel, ScaleKernelBitsShift);
    EXPECT_FALSE(ValueScalerSetFlags(&s, 0x10, kF64));
    EXPECT_EQ(s.kernel, ScaleKernelBitsShift);  // kept

    // A section read in selects its class's kernel; Reset goes back to "range".
    EXPECT_TRUE(ValueScalerSetFlags(&s, kF64, kF64));
    WriteText(folder.File("s.cfg"), ScaleSection() + "\nSCClass=exp\nValue2=3\n");
    ASSERT_TRUE(s.Read(folder.File("s.cfg").c_str()));
    EXPECT_EQ(std::make_pair(s.kernel, s.Current().value2), std::make_pair(ScaleKernel(ScaleKernelExp), 3.0));
    EXPECT_TRUE(s.Reset());
    EXPECT_EQ(s.kernel, ScaleKernelRange);
    EXPECT_TRUE(ValueScalerSetClass(&s, 3));
    EXPECT_EQ(s.Current().value2, 3.0);  // the class kept its values through the reset
}

TEST_F(ValueScalerTest, RangeOfANewOwner) {
    struct Row {
        const char* what;
        uint32_t flags;
        double min, max, mean, rms;
        int rangeMode;
        double wantMin, wantMax;
    };
    const Row rows[] = {
        {"narrow spread: the statistics range", 3, 0, 100, 50, 10, 0, 30, 90},
        {"spread over both ends: the extremes", 3, 0, 100, 50, 30, 0, 0, 100},
        {"extremes only", 1, -5, 5, kStatisticUnset, kStatisticUnset, 0, -5, 5},
        {"mean and sigma only", 2, 0, 0, 10, 1, 0, 8, 14},
        {"extremes mode: no statistics range", 3, 0, 100, 50, 10, 1, 0, 100},
        {"layout range", 8, 0, 0, kStatisticUnset, kStatisticUnset, 0, 3, 4},
        {"nothing", 0, 0, 0, 0, 0, 0, 0, 0},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ValueScaler s(nullptr, 0);
        s.settings.rangeMode = r.rangeMode;
        Answer(r.flags, r.min, r.max, r.mean, r.rms);
        source->layout = {3, 4};
        ValueScalerSetOwner(&s, owner, nullptr);
        EXPECT_EQ(Range(s), std::make_pair(r.wantMin, r.wantMax));
        EXPECT_EQ(source->countDuringRequest, 2);  // the message holds the target
    }

    // The data set's stated range becomes the loaded range, and is taken first.
    ValueScaler s(nullptr, 0);
    Answer(7, 0, 100, 50, 10);
    source->header = {10, 20};
    ValueScalerSetOwner(&s, owner, nullptr);
    EXPECT_EQ(Range(s), std::make_pair(10.0, 20.0));
    EXPECT_EQ(std::make_pair(s.Current().sourceRange.low, s.Current().sourceRange.high), std::make_pair(10.0, 20.0));
    EXPECT_DOUBLE_EQ(s.Current().scale, 0.1);

    // A range already set stays; the same owner again asks nothing.
    ValueScaler t(nullptr, 0);
    t.settings.min = 1;
    t.settings.max = 2;
    const int before = source->requests;
    ValueScalerSetOwner(&t, owner, nullptr);
    ValueScalerSetOwner(&t, owner, nullptr);
    EXPECT_EQ(source->requests, before + 1);
    EXPECT_EQ(Range(t), std::make_pair(1.0, 2.0));
}

// Another frame: a range that is the shown frame's statistics range or extremes is taken
// again, of the same kind, from the new frame; any other range stays.
TEST_F(ValueScalerTest, ARangeOfTheFrameFollowsTheFrame) {
    struct Row {
        const char* what;
        int rangeMode;
        double min, max;  // the range in use on the frame of 0 … 100, mean 50, σ 10
        bool follows;
        double wantMin, wantMax;  // on the next frame: 1000 … 1200, mean 1100, σ 20
    };
    const Row rows[] = {
        {"statistics range", 0, 30, 90, true, 1060, 1180},
        {"extremes", 0, 0, 100, true, 1000, 1200},
        {"extremes in mode 1", 1, 0, 100, true, 1000, 1200},
        {"statistics range in mode 1", 1, 30, 90, true, 1060, 1180},
        {"within 2^-16 of the extremes", 0, 0, 100.001, true, 1000, 1200},
        {"typed", 0, 0, 1399, false, 0, 1399},
        {"stated", 0, -5, 5, false, -5, 5},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.what);
        ValueScaler s(nullptr, 0);
        s.settings.rangeMode = r.rangeMode;
        s.settings.min = r.min;
        s.settings.max = r.max;
        ValueScalerSetOwner(&s, owner, nullptr);
        Answer(3, 0, 100, 50, 10);
        ScaleRangeKind kind = ScaleRangeKind::kLoaded;
        ASSERT_EQ(ValueScalerFrameRangeKind(&s, &kind), r.follows);
        Answer(3, 1000, 1200, 1100, 20);
        if (r.follows) {
            EXPECT_TRUE(ValueScalerFollowFrame(&s, kind));
        }
        EXPECT_EQ(Range(s), std::make_pair(r.wantMin, r.wantMax));
    }
    // While a region gives the range, a new frame leaves it to the region.
    ValueScaler s(nullptr, 0);
    s.settings.min = 0;
    s.settings.max = 100;
    ValueScalerSetOwner(&s, owner, nullptr);
    Answer(3, 0, 100, 50, 10);
    owner->attached = true;
    ScaleRangeKind kind;
    EXPECT_FALSE(ValueScalerFrameRangeKind(&s, &kind));
    // Without statistics nothing follows.
    owner->attached = false;
    Answer(0, 0, 0);
    EXPECT_FALSE(ValueScalerFrameRangeKind(&s, &kind));
}

TEST_F(ValueScalerTest, RefreshTakesTheAutomaticRange) {
    auto* down = new TestStage(&item, &kReductionId);
    ASSERT_TRUE(ConsumerAttach(down->GetInputLink(0), owner));
    auto* link = static_cast<TestStage::Link*>(down->GetInputLink(0));
    int panels = 0;
    static int* panelCount;
    panelCount = &panels;
    ValueScaler s(nullptr, 0);
    s.settings.min = 1;
    s.settings.max = 2;
    ValueScalerSetOwner(&s, owner, [](ValueScaler*) { ++*panelCount; });

    Answer(3, 0, 100, 50, 10);
    EXPECT_TRUE(ValueScalerRefresh(&s, true));  // mode 0: mean − 2σ … mean + 4σ
    EXPECT_EQ(Range(s), std::make_pair(30.0, 90.0));
    EXPECT_EQ(std::make_pair(s.Current().previousRange.low, s.Current().previousRange.high), std::make_pair(1.0, 2.0));
    EXPECT_EQ(link->changed, 1);
    EXPECT_EQ(panels, 1);
    EXPECT_FALSE(ValueScalerRefresh(&s, true));  // the same range again: nothing
    EXPECT_EQ(link->changed, 1);
    s.settings.rangeMode = 1;
    EXPECT_TRUE(ValueScalerRefresh(&s, false));
    EXPECT_EQ(Range(s), std::make_pair(0.0, 100.0));
    EXPECT_EQ(link->changed, 1);

    // While a region is attached, the region gives the range: only the notice and the panel.
    owner->attached = true;
    Answer(3, -7, 7, 0, 1);
    EXPECT_FALSE(ValueScalerRefresh(&s, true));
    EXPECT_EQ(Range(s), std::make_pair(0.0, 100.0));
    EXPECT_EQ(link->changed, 2);
    EXPECT_EQ(panels, 3);

    // Range kinds of the menu.
    owner->attached = false;
    source->header = {-1, 1};
    Answer(7, -7, 7, 0, 1);
    EXPECT_TRUE(ValueScalerTakeRange(&s, ScaleRangeKind::kHeader));
    EXPECT_EQ(Range(s), std::make_pair(-1.0, 1.0));
    EXPECT_TRUE(ValueScalerTakeRange(&s, ScaleRangeKind::kStatistics));
    EXPECT_EQ(Range(s), std::make_pair(-2.0, 4.0));
    EXPECT_FALSE(ValueScalerTakeRange(&s, ScaleRangeKind::kLoaded));  // none loaded
    Answer(0, 0, 0);
    EXPECT_FALSE(ValueScalerTakeRange(&s, ScaleRangeKind::kExtremes));
    ConsumerDetach(down->GetInputLink(0));
    down->Release();
}

TEST_F(ValueScalerTest, RegionsAndTheRangeBeforeThem) {
    ValueScaler s(nullptr, 0);
    s.settings.min = 1;
    s.settings.max = 2;
    ValueScalerSetOwner(&s, owner, nullptr);
    s.settings.restoreRange = 1;
    ValueScalerStoreRangeAlt(&s);  // a region is attached
    ASSERT_TRUE(ValueScalerSetMax(&s, 9.0, false, false));
    ValueScalerStoreRange(&s);  // and detached: back to 1 … 2
    EXPECT_EQ(Range(s), std::make_pair(1.0, 2.0));
    EXPECT_EQ(std::make_pair(s.Current().keptRange.low, s.Current().keptRange.high), std::make_pair(1.0, 9.0));
    s.settings.restoreRange = 0;
    ASSERT_TRUE(ValueScalerSetMax(&s, 5.0, false, false));
    ValueScalerStoreRange(&s);
    EXPECT_EQ(Range(s), std::make_pair(1.0, 5.0));

    // The "Mask" toggle.
    owner->pending = true;
    EXPECT_TRUE(ValueScalerRegionToggle(&s, true));
    EXPECT_TRUE(ValueScalerRegionToggle(&s, true));
    EXPECT_TRUE(ValueScalerRegionToggle(&s, false));
    EXPECT_TRUE(ValueScalerRegionToggle(&s, false));
    owner->pending = false;
    EXPECT_TRUE(ValueScalerRegionToggle(&s, true));
    owner->attached = false;
    owner->startWorks = false;
    EXPECT_FALSE(ValueScalerRegionToggle(&s, true));
    EXPECT_EQ(owner->calls, "reattach detach+unlink reattach new reattach new ");
    const int32_t count = owner->refCount.load();
    ValueScaler none(nullptr, 0);
    EXPECT_FALSE(ValueScalerRegionToggle(&none, true));  // no owner
    EXPECT_EQ(owner->refCount.load(), count);
}

TEST_F(ValueScalerTest, SettingsFileIsReadAtStartAndWrittenAtTheEnd) {
    const std::string data = folder.File("cube.fits");
    const std::string service = folder.File("cube.fs");
    const std::string name = "<NAME>" + data;
    WriteText(service, "SEL(URL=<cube.fits>)\n{\n " + ScaleSection() + "\n MinMax=-3, 3\n SCClass=\"pow\"\n}\n");
    SettingsRequest request;
    request.fileName = name.c_str();
    {
        ScopedSaveServiceFiles off(false);
        ValueScaler s(&request, 0);
        EXPECT_EQ(Range(s), std::make_pair(-3.0, 3.0));
        EXPECT_EQ(s.Current().classIndex, 1);
        EXPECT_STREQ(s.SettingsFileName(), name.c_str());
        ValueScalerSetMax(&s, 4.0, false, false);
    }
    EXPECT_EQ(ReadText(service).find("MinMax=-3, 4"), std::string::npos);  // FSSave off: not written
    {
        ScopedSaveServiceFiles on(true);
        ValueScaler s(&request, 0);
        ValueScalerSetMax(&s, 4.0, false, false);
    }
    EXPECT_NE(ReadText(service).find("\n MinMax=-3, 4\n"), std::string::npos) << ReadText(service);
}

}  // namespace
}  // namespace orva
