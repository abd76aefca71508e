#pragma once
// The Reduction stage: the last stage of a project's default chain. It takes
// 64-bit reals from its upstream, chooses its kernels from its options and its
// input format, and on every pull runs one measuring item (a shape, or a group
// of shapes measured together) under the lock of the shape's container.
//
// Threads: a pull (RunItem) runs on whichever thread pulls, the user-interface
// thread or the playback timer thread, which holds the display lock. Everything
// a pull reads that the user interface changes (the items, the option set in
// use, the kernels) changes under the display lock; shapes are read only under
// their container's lock. The runner and its kernels never call X or GL and
// never open a message box.
#include <cstdint>
#include <string>

#include "framework/component.h"
#include "framework/input_format_cache.h"
#include "framework/pipeline.h"
#include "io/data_set_info.h"
#include "reduction/kernels/slice_work.h"
#include "reduction/reduction_kernels.h"
#include "reduction/reduction_preset.h"
#include "reduction/statistic_block.h"
#include "shapes/item_result_list.h"
#include "shapes/node_shape_action.h"
#include "shapes/shape_items.h"

namespace orva {

class ReductionComponent;
class StatTableWriter;

// What the Reduction calls in the layers that show it; each entry may be empty.
struct ReductionServices {
    // The builder of the Reduction's property pages.
    PanelBuilder panelBuilder = nullptr;
    // Refreshes the Reduction's pages (when its display cell shows it), and its
    // SLICE / STATISTIC page alone.
    void (*refreshPages)(ReductionComponent* component) = nullptr;
    void (*refreshSlicePage)(ReductionComponent* component) = nullptr;
    // Refreshes the component's window records that have pages, recursively.
    void (*windowTreeRefresh)(ComponentBase* component) = nullptr;
    // The description of a frame and channel of the component's input; empty:
    // the upstream's frame data with the negotiated channel count.
    const FrameDesc* (*queryFrameDesc)(ReductionComponent* component, int32_t frame, int32_t channel) = nullptr;
    // The data coordinates at the top left of the visible part of the display
    // that shows the component; empty: (0, 0).
    void (*visibleOrigin)(ReductionComponent* component, double* x, double* y) = nullptr;
    // A statistic left new marks on the shape (called under the shape's
    // container lock, on whichever thread pulled): the view is to be redrawn,
    // through the user-interface thread.
    void (*statisticMarks)(Shape* shape) = nullptr;
    // The local time text of the statistic tables and report, in the asctime
    // form with its line end; empty: the clock's.
    std::string (*timeText)() = nullptr;
};
ReductionServices& TheReductionServices();

// The Reduction's output: 64-bit reals, one row per channel.
constexpr uint32_t kReductionOutputFormat = 0x10040;
// The flag of a pull result whose 1-D data the Reduction filled (its image's flag word).
constexpr uint32_t kReductionResultFilled = 0x1;

// What the component tells its consumers about its frames: a data description
// of the same kind as the one the chain's Source answers, so that a consumer
// (playback, a chart device) reads its frame count as it reads any other. It
// follows the frames of the data above; its format is the Reduction's output
// and its value range is open.
class ReductionOutputDescription : public DataSetInfo {
public:
    ReductionOutputDescription();
    // The frame count and frame size of the upstream's description.
    void TakeFrames(const DataSetInfo& upstream);
};

// A group item of the Reduction: several shapes measured as one.
class ReductionResult : public ItemGroup {
public:
    // nullptr when memory is short.
    static ReductionResult* Create(void* owner);

protected:
    ~ReductionResult() override = default;
};

class ReductionComponent : public ComponentBase, private ReductionPresetHolder {
public:
    // A component with default options (the description, when given, names
    // its settings section and its use of the common options).
    explicit ReductionComponent(ProjectItemBase* owner, StageDescription* description = nullptr, uint32_t userValue = 0);
    // Saves the list presets into the description's file when it named one,
    // then releases presets, items, buffers and links.
    ~ReductionComponent() override;

    // The factory: a component without a description; nullptr when memory is short.
    static ReductionComponent* Create();

    // ---- Component slots
    const ComponentId* GetClassId() const override;
    bool CreateInstance(ComponentObject** out) override;
    // Its own id, {"CELB", 0, "RIVE", "SGOJ"}, {"BASE", 0, 0, 0} and {"CELB", 0, 0, 0}.
    bool QueryInterface(const ComponentId* id, void** out) override;
    int32_t Refresh(uint8_t playback) override;
    // Asks the option set in use.
    bool QueryProperties(const ComponentId* id, PropertyComponent** out) override;
    // The input link for indexes 0 and 1.
    ConsumerLink* GetInputLink(int index) override;
    // Offers the consumer 0x10040 with the input's channels (AllChannels) or
    // one; a consumer that refuses several channels is asked again with one
    // (AllChannels cleared); one that refuses both leaves the do-nothing
    // kernels and the call fails.
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;
    // 1 drops the output data and the work blocks; others go to ComponentOnSelect.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // Page messages go upstream.
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;
    bool QueryPageMessage(MessageRecord* message, uint32_t argument) override;
    // Without items or upstream: null; else the output description with the
    // upstream's frame count and frame size and the channels that follow from
    // AllChannels.
    void* QueryFrameDescription() override;
    // With items and upstream: the upstream's record for the frame; else null.
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override;

    // ---- Format and kernels
    // The input link's format decision (see the implementation).
    bool OnUpstreamChange(FormatRequest* change);
    // Chooses the extraction, sampling, smoothing and weighting kernels; true
    // when any changed.
    bool SelectKernels();
    void ResetKernels();
    // Installs the region statistic; true when it was not installed.
    bool InstallStatisticKernel();
    // The channel count of the input (0: none taken).
    uint32_t InputChannelCount() const override { return format.channels; }
    // The channel the kernels read when not all are taken (0-based).
    uint32_t PlaneIndex() const;

    // ---- Options
    ReductionOptions& Options() { return presets.Options(); }
    bool UsesCommonOptions() const { return presets.UsesCommon(); }
    bool SetChannel(uint32_t channel);
    bool SetStatBoundary(double low, double high);
    // 0 drops all presets, 1 resets the component, 2 drops all presets but the
    // current one, any other code drops the current preset.
    bool PresetCommand(int32_t code);
    // Asked before the common options change: "To change the default options?"
    // once per run while the user interface is up; true otherwise.
    bool ConfirmCommonChange() override;
    // Tells every other Reduction of the project that works on the common
    // options (and has a view, items and an upstream) to refresh downstream.
    void NotifyCommonOptionUsers();
    // Drops presets and items (preset command 1).
    void ResetComponent();

    // ---- Items
    // A shape made from the description on the component's display and taken
    // as an item (NodeShapeAction): a slice needs an open kind (1, 2, 3, 11), a
    // statistic or search area a closed one (4..10, 12, 13); any other
    // description becomes the default one, a point-sized slice Line.
    bool CreateItemShape(const ShapeRequest* description, const EditTransformState* offset);
    // Takes the shape as an item (it becomes current); true when it is held.
    bool AddItem(Shape* shape);
    // Takes a group of shapes as one item (it becomes current), with a
    // reference; false while the items are busy or when memory is short.
    bool AddGroupItem(ItemGroup* group);
    // Lets go of the shape (null: the current item's) and leaves its item list;
    // false while the items are busy.
    bool RemoveItem(Shape* shape);
    // Runs the items again (or, without items or upstream, drops the cached
    // results); repaints when asked and the user interface is up.
    void RefreshItems(bool repaint);
    bool HoldsItemOf(const Shape* shape) const;
    bool HasNoItems() const { return items.Count() == 0; }
    // The shape of the current item: its own, or its group's first member.
    Shape* CurrentItemShape() const;
    // The process function: runs one item per pull.
    static int32_t RunItem(ComponentBase* component, PullResult* result, PullRequest* request);
    StatisticBlock* Statistic() { return static_cast<StatisticBlock*>(statistic.block); }

    // The input link: the format decision and the consumer side of the stage.
    class Input : public ConsumerLink {
    public:
        explicit Input(ReductionComponent* owner) : ConsumerLink(owner) {}
        // Clears the output data's valid mark.
        void OnUpstreamChanged() override;
        bool AcceptFormat(FormatRequest* request) override;
        void* DataAccess() override;
    };

    // The face the component shows to the shapes it measures. Accepts takes a
    // shape not held yet, as Check does.
    class ItemLink : public ShapeItem {
    public:
        explicit ItemLink(ReductionComponent* owner) : owner_(owner) {}
        int32_t AddRef() override;
        int32_t Release() override;
        bool Check(Shape* shape) override;
        bool Detach(Shape* shape) override;
        void Notify(Shape* shape) override;
        void Refresh(int32_t flag) override;
        bool Accepts(Shape* shape) override;
        void Restart() override;

    private:
        ReductionComponent* owner_;
    };

    // What NodeShapeAction asks of the component.
    class Node : public ShapeNode {
    public:
        explicit Node(ReductionComponent* owner) : owner_(owner) {}
        // The frame size of the upstream's data.
        bool FrameSize(int64_t* width, int64_t* height) override;
        void VisibleOrigin(double* x, double* y) override;
        // The shape container of the display cell that shows the component.
        ShapeContainer* Display() override;
        // Shows the shape on the display linked to the component's items, or,
        // without a display, links it and takes it as an item.
        bool TakeShape(Shape* shape) override;

    private:
        ReductionComponent* owner_;
    };

    Input input{this};
    ItemLink itemLink{this};
    Node node{this};
    InputFormatCache format;
    ReductionPresetList presets{this};
    ItemResultList items;
    GlobalBuffer statistic;          // the StatisticBlock
    ResultBuffer outputData;         // what the consumer side holds; its state byte is the valid mark
    // The kernels' work blocks: the gathered values, the histogram bins with
    // their edges, the counters of the selection and the histogram, the
    // candidates of the median.
    GlobalBuffer workBlocks[4];
    // The geometry and scratch of the cross-profile smoothing; the extraction
    // sets the geometry before it calls the smoothing kernel.
    SliceSmoothWork sliceSmooth;
    // The slice's path, runs, strip and profile scratch.
    SliceWork slice;
    // The frame list handed along with a slice's profile.
    SliceFrameList sliceFrames;
    // The frame the statistic pulled last, used again while a request fits
    // inside it (the state byte `pending` marks it valid).
    PullResult heldFrame;
    // The most values one statistic gathers; a region that needs more is not
    // measured. Tests lower it.
    uint64_t statisticValueLimit = 67108864;
    // The length and row count of the last 1-D output, to flag their changes.
    uint32_t outputLength = 0;
    uint32_t outputRows = 0;
    // The coordinate and statistic table writers, made on first use.
    StatTableWriter* tableWriters[2] = {nullptr, nullptr};
    uint8_t pendingRefresh = 0;
    ReductionOutputDescription output;
    FrameDataRecord range;
    FrameDesc frameDesc;             // the description built when no service answers

    // Kernel slots.
    ExtractionKernel extraction = &ExtractNothing;
    SamplerLayout samplerLayout = SamplerLayout::kUnset;
    SamplerPair samplers;
    SmoothingKernel smoothing = &SmoothingStub;
    WeightingKernel weighting = &WeightingStub;
    StatisticKernel statisticKernel = &StatisticNothing;

    // The current item is a statistic or search-area shape.
    bool CurrentItemMeasuresArea() const;

private:
    void RefreshOptions() override;
    bool PrepareStatisticBlock();
    void RequestRefresh();
    void FreeWorkBlocks();
    const FrameDesc* DescribeFrame(int32_t frame, int32_t channel);
    int32_t RunShape(Shape* shape, PullResult* result, const FrameDesc* frame, PullRequest* request);
    int32_t RunGroup(ItemGroup* group, PullResult* result, const FrameDesc* frame, PullRequest* request);
    void ItemsChanged(bool wasEmpty, bool current);
    // RemoveItem; `unlink` takes the component out of the shape's item list too.
    bool LetGo(Shape* shape, bool unlink);
    // The current item becomes the one that holds the shape (nothing when none does).
    void PointAtItemOf(const Shape* shape);
    // Every item let go, the component out of their shapes' item lists.
    void ReleaseItems();

    StageDescription* description_ = nullptr;
    char* descriptionName_ = nullptr;  // owned copy: the target of the presets' save
    friend ComponentBase* CreateReductionFromScript(ComponentUi*, ProjectItemBase*, void*);
};

// The stage of a script's section (class `keloRD`): a component for the
// description (a StageDescription, or null), with its statistic block, added to
// the user interface's list and recorded in the description; nullptr on failure.
ComponentBase* CreateReductionFromScript(ComponentUi* ui, ProjectItemBase* item, void* description);

// Whether the Reduction makes a shape of the kind and role (see CreateItemShape).
bool ReductionTakesShapeKind(int32_t kind, int32_t role);

// Forgets that the common-options question was asked (tests).
void ResetCommonChangeQuestion();

}  // namespace orva
