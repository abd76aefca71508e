// The Reduction stage: made by the default chain's script hook, its identity,
// its negotiation with the consumer, its decisions on upstream changes, the
// choice of its kernels and the common options shared by two Reductions.
#include <gtest/gtest.h>

#include <cfloat>
#include <string>
#include <tuple>

#include "framework/pipeline.h"
#include "reduction_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using namespace reduction_testing;

// The Transformation of the default chain: a stage whose input takes anything.
class TransformStandIn : public ComponentBase {
public:
    explicit TransformStandIn(ProjectItemBase* owner) : ComponentBase(owner), input(this) {}
    const ComponentId* GetClassId() const override { return &kTransformationId; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    ConsumerEnd input;
};

TEST_F(ReductionTest, TheDefaultChainMakesAListedReductionBehindTheSource) {
    PipelineServices saved = ThePipelineServices();
    PipelineServices& s = ThePipelineServices();
    s.createProcessing = nullptr;
    s.createTransformation = [](ComponentUi* u, ProjectItemBase* item, void*) -> ComponentBase* {
        auto* t = new TransformStandIn(item);
        u->AddComponent(t);
        return t;
    };
    s.createReduction = &CreateReductionFromScript;
    ProjectItemBase item;
    auto* source = new UpstreamStage(&item);
    source->offered.channels = 3;
    StageDescription description;
    SourceOpenState open;
    SourceOpenStateInit(&open);
    open.ui = &ui;
    open.description = &description;
    const std::string log = testing_util::CapturedLog([&] { BuildPipelineFromScript(&open, source); });
    EXPECT_EQ(log.find("keloRD"), std::string::npos) << log;

    ASSERT_EQ(ui.list.size(), 2u);
    auto* r = dynamic_cast<ReductionComponent*>(ui.list[1]);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(description.reduction, r);
    EXPECT_EQ(r->ui, &ui);
    EXPECT_EQ(ComponentUpstream(r), source);
    EXPECT_EQ(r->owner, &item);
    const ComponentId* id = r->GetClassId();
    EXPECT_EQ(std::tuple(id->code[0], id->code[1], id->code[2], id->code[3]),
              std::tuple(FourCC("CELB"), 0u, FourCC("PROC"), FourCC("REDU")));
    EXPECT_STREQ(id->name, "Reduction");
    EXPECT_STREQ(r->name, "Reduction");
    ASSERT_NE(r->Statistic(), nullptr);
    EXPECT_EQ(std::tuple(r->Statistic()->tag, r->Statistic()->size, r->Statistic()->filled),
              std::tuple(651u, static_cast<uint32_t>(StatisticBlockBytes(1)), 0u));
    // The input took the source's three channels of 64-bit reals; pulls run the items.
    EXPECT_EQ(std::tuple(r->InputChannelCount(), r->format.format, r->process),
              std::tuple(3u, 0x40u, &ReductionComponent::RunItem));

    const ComponentId celb0{{FourCC("CELB"), 0, 0, 0}, nullptr};
    const ComponentId drive{{FourCC("CELB"), 0, FourCC("RIVE"), FourCC("SGOJ")}, nullptr};
    const ComponentId base{{FourCC("BASE"), 0, 0, 0}, nullptr};
    const ComponentId own{{FourCC("CELB"), 0, FourCC("PROC"), FourCC("REDU")}, nullptr};
    for (const ComponentId* yes : {&own, &drive, &base, &celb0}) {
        void* out = nullptr;
        EXPECT_TRUE(r->QueryInterface(yes, &out));
        EXPECT_EQ(out, static_cast<ComponentObject*>(r));
        r->Release();
    }
    for (const ComponentId* no : {&kTransformationId, &kReductionPropId, &kDisplayCellId}) {
        void* out = nullptr;
        EXPECT_FALSE(r->QueryInterface(no, &out));
        EXPECT_EQ(out, nullptr);
    }
    // The option query reaches the option set in use.
    PropertyComponent* options = nullptr;
    ASSERT_TRUE(r->QueryProperties(&kReductionPropId, &options));
    EXPECT_EQ(options, &r->presets.own);

    for (ComponentBase* c : std::vector<ComponentBase*>(ui.list)) {
        ConsumerDetach(c->GetInputLink(0));
        c->Release();
    }
    EXPECT_EQ(description.reduction, nullptr);
    source->Release();
    PortListRemove(item.source.portList);
    ThePipelineServices() = saved;
}

TEST_F(ReductionTest, AFailedListingReleasesTheNewStage) {
    ui.refuse = true;
    ProjectItemBase item;
    EXPECT_EQ(CreateReductionFromScript(&ui, &item, nullptr), nullptr);
}

TEST_F(ReductionTest, NegotiationOffersAllChannelsThenOne) {
    {
        Chain chain(&ui, 3);
        ASSERT_TRUE(chain.Connect());
        ASSERT_EQ(chain.downstream.offers.size(), 1u);
        const FormatRequest& f = chain.downstream.offers[0];
        EXPECT_EQ(std::tuple(f.format, f.element, f.channels, f.dims), std::tuple(0x10040u, 8u, 3u, 1u));
        EXPECT_EQ(std::tuple(chain.reduction->statisticKernel, chain.reduction->extraction),
                  std::tuple(&RegionStatistic, &ExtractSimple));
    }
    {
        Chain chain(&ui, 3);
        chain.downstream.maxChannels = 1;
        ASSERT_TRUE(chain.Connect());
        ASSERT_EQ(chain.downstream.offers.size(), 2u);
        EXPECT_EQ(std::tuple(chain.downstream.offers[0].channels, chain.downstream.offers[1].channels),
                  std::tuple(3u, 1u));
        EXPECT_EQ(chain.reduction->Options().values.allChannels, 0);
        EXPECT_EQ(chain.reduction->samplerLayout, SamplerLayout::kSelectedInterleaved);
    }
    {
        Chain chain(&ui, 3);
        chain.downstream.maxChannels = 0;
        EXPECT_FALSE(chain.Connect());
        EXPECT_EQ(chain.downstream.offers.size(), 2u);
        EXPECT_EQ(std::tuple(chain.reduction->statisticKernel, chain.reduction->extraction, chain.reduction->smoothing),
                  std::tuple(&StatisticNothing, &ExtractNothing, &SmoothingStub));
    }
}

TEST_F(ReductionTest, UpstreamChangesAreTakenOrRefused) {
    Chain chain(&ui, 1);
    ReductionComponent* r = chain.reduction;
    ASSERT_TRUE(chain.Connect());
    EXPECT_EQ(r->process, &ReductionComponent::RunItem);
    for (uint32_t refused : {0x20u, 0x10u, 0x40u | 0x80u, 0x41u, 0x100u}) {
        r->process = &ReductionComponent::RunItem;
        FormatRequest change{refused, 8, 1, 2, 0, 0};
        EXPECT_FALSE(r->input.AcceptFormat(&change)) << refused;
        EXPECT_EQ(r->process, &ComponentProcessDefault) << refused;
    }

    // NChannel of the own preset and the list presets comes down to the input's count.
    r->Options().SetNChannel(10);
    AddPreset(&r->presets)->options.SetNChannel(9);
    r->outputData.counters[0] = 7;
    FormatRequest three{0x40, 8, 3, 2, 0, 0};
    const size_t offers = chain.downstream.offers.size();
    ASSERT_TRUE(r->input.AcceptFormat(&three));
    EXPECT_EQ(std::tuple(r->process, r->InputChannelCount()), std::tuple(&ReductionComponent::RunItem, 3u));
    EXPECT_EQ(std::tuple(r->presets.own.options.values.nChannel, r->presets.head->options.values.nChannel),
              std::tuple(3u, 3u));
    // One channel became three: the consumer is asked again.
    ASSERT_EQ(chain.downstream.offers.size(), offers + 1);
    EXPECT_EQ(chain.downstream.offers.back().channels, 3u);

    // The same change again keeps everything, even the pending refresh, and asks nobody.
    r->pendingRefresh = 1;
    ASSERT_TRUE(r->input.AcceptFormat(&three));
    EXPECT_EQ(std::tuple(r->pendingRefresh, r->outputData.counters[0], chain.downstream.offers.size()),
              std::tuple(1, 7u, offers + 1));
    // A new layout of the same channels is taken anew: the pending refresh goes, the results stay.
    FormatRequest planar{0x10040, 8, 3, 2, 0, 0};
    ASSERT_TRUE(r->input.AcceptFormat(&planar));
    EXPECT_EQ(std::tuple(r->pendingRefresh, r->outputData.counters[0]), std::tuple(0, 7u));
    // A refused change stops the runner; the taken one offered again restarts it.
    r->pendingRefresh = 1;
    FormatRequest swapped{0xC0, 8, 3, 2, 0, 0};
    EXPECT_FALSE(r->input.AcceptFormat(&swapped));
    ASSERT_TRUE(r->input.AcceptFormat(&planar));
    EXPECT_EQ(std::tuple(r->process, r->pendingRefresh), std::tuple(&ReductionComponent::RunItem, 1));
}

TEST_F(ReductionTest, ItsFramesAreTheDataSetsWithItsOwnFormat) {
    struct Row {
        uint32_t total, use;
        int32_t step;
        uint32_t inputChannels;
        uint8_t allChannels;
        uint32_t frames, channels;  // what a consumer reads: the stepped frames, the output channels
    } rows[] = {
        {5, 5, 1, 1, 1, 5, 1},
        {7, 7, 2, 3, 1, 4, 3},   // frames 0, 2, 4, 6
        {9, 7, -3, 3, 0, 3, 1},  // the first seven backwards: 6, 3, 0
    };
    for (const Row& row : rows) {
        Chain chain(&ui, row.inputChannels);
        ReductionComponent* r = chain.reduction;
        ASSERT_TRUE(chain.Connect());
        DataSetInfo& up = chain.up->description;
        up.SetTotalFrames(row.total, true);
        up.framesToUse = row.use;
        up.frameStep = row.step;
        up.sizeX = 300;
        up.cropSizeX = 256;
        up.sizeY = up.cropSizeY = 200;
        r->Options().values.allChannels = row.allChannels;
        FormatRequest change{0x10040, 8, row.inputChannels, 2, 0, 0};
        ASSERT_TRUE(r->input.AcceptFormat(&change));
        EXPECT_EQ(r->QueryFrameDescription(), nullptr) << row.total;  // nothing measured yet

        Measured slice(kKindLine, kRoleSlice);
        ASSERT_TRUE(r->AddItem(slice.shape));
        const auto* d = static_cast<const DataSetInfo*>(r->QueryFrameDescription());
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(r->CachedFrameDescription(), d);
        EXPECT_EQ(std::tuple(d->StepFrames(), d->TotalFrames(), d->sizeX, d->cropSizeX, d->sizeY, d->cropSizeY),
                  std::tuple(row.frames, row.total, int64_t{300}, int64_t{256}, int64_t{200}, int64_t{200}))
            << row.total << " " << row.step;
        EXPECT_EQ(std::tuple(d->output.type, d->output.elementSize, d->output.channels, d->output.axes),
                  std::tuple(0x10040u, 8u, row.channels, 1u))
            << row.total;
        double low = 0.0, high = 0.0;
        EXPECT_TRUE(d->ValueRange(&low, &high));
        EXPECT_EQ(std::tuple(low, high), std::tuple(-DBL_MAX, DBL_MAX));
        r->PresetCommand(1);
    }
}

TEST_F(ReductionTest, KernelChoiceFollowsOptionsAndInput) {
    struct Row {
        int32_t method;
        uint8_t weighing, autoWeight, autoProfile;
        uint32_t weighingSet, profileSet;
        double gain;
        int32_t smooth;
        ExtractionKernel extraction;
        SmoothingKernel smoothing;
        WeightingKernel weighting;
    };
    const Row rows[] = {
        {0, 1, 1, 1, 0, 0, 1.0, 0, &ExtractSimple, &SmoothingStub, &WeightingStub},
        {1, 0, 0, 1, 0, 0, 1.0, 0, &ExtractSimple, &SmoothingStub, &WeightingStub},
        {1, 0, 1, 1, 0, 0, 1.0, 0, &ExtractWeighted, &SmoothingStub, &WeightingStub},
        {1, 0, 0, 1, 1, 0, 1.0, 0, &ExtractNone, &SmoothingStub, &WeightingStub},
        {1, 1, 1, 1, 0, 0, 0.0, 0, &ExtractSimple, &SmoothingStub, &WeightingStub},
        {2, 1, 0, 1, 1, 0, 1.0, 0, &ExtractNone, &SmoothSliceMeanOrMedian, &WeightProfileNoise},
        {2, 1, 1, 1, 0, 0, 1.0, 2, &ExtractOptimal, &SmoothSliceMedian, &WeightProfileNoise},
        {2, 0, 1, 1, 0, 0, 1.0, 1, &ExtractOptimal, &SmoothSliceMean, &WeightProfilePlain},
        {2, 0, 0, 0, 0, 1, 1.0, 7, &ExtractOptimal, &SmoothSliceMeanOrMedian, &WeightProfilePlain},
        {2, 1, 1, 0, 0, 0, 1.0, 0, &ExtractWeighted, &SmoothingStub, &WeightingStub},
        {2, 1, 0, 0, 1, 0, 1.0, 0, &ExtractNone, &SmoothingStub, &WeightingStub},
        {2, 0, 1, 0, 0, 0, 1.0, 0, &ExtractSimple, &SmoothingStub, &WeightingStub},
    };
    Chain chain(&ui, 1);
    ReductionComponent* r = chain.reduction;
    int n = 0;
    for (const Row& row : rows) {
        ReductionOptions& o = r->Options();
        o.values.slice.extractMethod = row.method;
        o.values.slice.weighing = row.weighing;
        o.values.slice.autoWeight = row.autoWeight;
        o.values.slice.autoProfile = row.autoProfile;
        o.values.slice.gain = row.gain;
        o.values.lSmoothMethod = row.smooth;
        o.weighingCoefficients = row.weighingSet;
        o.profileCoefficients = row.profileSet;
        r->SelectKernels();
        EXPECT_EQ(std::tuple(r->extraction, r->smoothing, r->weighting),
                  std::tuple(row.extraction, row.smoothing, row.weighting))
            << "row " << n;
        EXPECT_FALSE(r->SelectKernels()) << "row " << n;  // a second choice changes nothing
        ++n;
    }
    // Every kernel is a function of its own.
    const std::vector<ExtractionKernel> kernels{&ExtractNone, &ExtractSimple, &ExtractWeighted, &ExtractOptimal,
                                                &ExtractNothing};
    for (size_t i = 0; i < kernels.size(); ++i)
        for (size_t j = i + 1; j < kernels.size(); ++j) EXPECT_NE(kernels[i], kernels[j]);
    EXPECT_NE(&SmoothSliceMean, &SmoothSliceMedian);
    EXPECT_NE(&WeightProfileNoise, &WeightProfilePlain);

    // The sampler pair follows the channel layout.
    struct Layout {
        uint32_t channels, format;
        uint8_t all;
        SamplerLayout layout;
    };
    const Layout layouts[] = {
        {1, 0x10040, 1, SamplerLayout::kSingle},          {3, 0x10040, 1, SamplerLayout::kThreePlanar},
        {3, 0x40, 1, SamplerLayout::kThreeInterleaved},   {5, 0x10040, 1, SamplerLayout::kManyPlanar},
        {2, 0x40, 1, SamplerLayout::kManyInterleaved},    {5, 0x10040, 0, SamplerLayout::kSelectedPlanar},
        {3, 0x40, 0, SamplerLayout::kSelectedInterleaved},
    };
    for (const Layout& l : layouts) {
        FormatRequest change{l.format, 8, l.channels, 2, 0, 0};
        ASSERT_TRUE(r->input.AcceptFormat(&change));
        r->Options().values.allChannels = l.all;
        r->SelectKernels();
        EXPECT_EQ(r->samplerLayout, l.layout) << l.channels << " " << l.format;
    }
}

// ---- Common options -------------------------------------------------------------------------------

int gAsked = 0;
std::string gQuestion;
int AnswerNo(void*, const char* text, const char* title, uint32_t flags) {
    ++gAsked;
    gQuestion = std::string(title) + ": " + text + " " + std::to_string(flags);
    return platform::kIdNo;
}

TEST_F(ReductionTest, TwoReductionsOnTheCommonOptionsHearOfEachOther) {
    StageDescription common;
    common.useCommon = 1;
    Chain a(&ui, 4, &common), b(&ui, 4, &common);
    ASSERT_TRUE(a.Connect());
    ASSERT_TRUE(b.Connect());
    ASSERT_TRUE(a.reduction->UsesCommonOptions());
    ASSERT_EQ(&a.reduction->Options(), &b.reduction->Options());
    Measured statistic(kKindRect, kRoleStatistic);
    ASSERT_TRUE(a.reduction->AddItem(statistic.shape));
    Measured other(kKindRect, kRoleStatistic);
    ASSERT_TRUE(b.reduction->AddItem(other.shape));

    const int heard = b.downstream.changed.load();
    ASSERT_TRUE(a.reduction->SetChannel(2));
    EXPECT_EQ(b.reduction->Options().values.nChannel, 2u);
    EXPECT_GT(b.downstream.changed.load(), heard);
    // Without the common options nobody else hears.
    b.reduction->presets.SwitchCurrent(&b.reduction->presets.own);
    const int after = b.downstream.changed.load();
    ASSERT_TRUE(a.reduction->SetChannel(3));
    EXPECT_EQ(b.downstream.changed.load(), after);
    // The channel is not clamped for the common options; an own set is clamped to the input.
    EXPECT_TRUE(b.reduction->SetChannel(9));
    EXPECT_EQ(b.reduction->Options().values.nChannel, 4u);
    EXPECT_FALSE(b.reduction->SetChannel(4));

    // The question before the common options change: once per run, while the user interface is up.
    ClibSetMessageHook(nullptr, &AnswerNo);
    EXPECT_TRUE(a.reduction->ConfirmCommonChange());  // the user interface is not up
    TheComponentServices().uiUp = [] { return true; };
    gAsked = 0;
    EXPECT_FALSE(a.reduction->ConfirmCommonChange());
    EXPECT_EQ(gQuestion, "Warning message: To change the default options? 4");
    EXPECT_TRUE(a.reduction->ConfirmCommonChange());
    EXPECT_TRUE(b.reduction->ConfirmCommonChange());  // b has its own options now
    EXPECT_EQ(gAsked, 1);
}

TEST_F(ReductionTest, PresetCommandsAndTheOwnOptionsOfADescription) {
    testing_util::TempFolder folder;
    const std::string path = folder.File("settings.fs");
    {
        ReductionPreset* p = ReductionPreset::Create();
        p->options.SetStatVis(1);
        ASSERT_TRUE(p->Save(path.c_str()));
        p->Release();
    }
    StageDescription described;
    described.name = path.c_str();
    {
        Chain chain(&ui, 1, &described);
        ReductionComponent* r = chain.reduction;
        EXPECT_EQ(r->Options().values.stat.vis, 1);  // read from the description's file
        EXPECT_FALSE(r->UsesCommonOptions());
        ReductionPreset* first = AddPreset(&r->presets);
        first->options.SetStatVis(0);
        AddPreset(&r->presets);
        AddPreset(&r->presets);
        r->presets.currentPreset = first;
        r->presets.SwitchCurrent(first);
        EXPECT_TRUE(r->PresetCommand(2));
        EXPECT_EQ(std::tuple(r->presets.count, r->presets.head), std::tuple(1u, first));
        AddPreset(&r->presets)->options.SetNChannel(1);
        // Destruction saves the list presets into the description's file, numbered.
    }
    ReductionPreset* second = ReductionPreset::Create();
    second->flags = 2u << 16;
    ASSERT_TRUE(second->Load(path.c_str()));
    EXPECT_STREQ(second->options.name, "2 - noname");
    second->Release();

    Chain chain(&ui, 1);
    AddPreset(&chain.reduction->presets);
    chain.reduction->presets.currentPreset = chain.reduction->presets.head;
    chain.reduction->presets.SwitchCurrent(chain.reduction->presets.head);
    chain.reduction->Options().SetStatVis(1);
    EXPECT_TRUE(chain.reduction->PresetCommand(0));
    EXPECT_EQ(std::tuple(chain.reduction->presets.count, chain.reduction->presets.current),
              std::tuple(0u, &chain.reduction->presets.own));
    EXPECT_EQ(chain.reduction->Options().values.stat.vis, 1);
    EXPECT_FALSE(chain.reduction->PresetCommand(3));
}

}  // namespace
}  // namespace orva
