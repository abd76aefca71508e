#pragma once
// The Source: the head of every project item's pipeline. It holds the data set a
// format reader built and offers it downstream as 64-bit reals in physical units:
// it negotiates the format with each consumer, reads the current (or the asked)
// frame when a consumer pulls, answers the value-range and section-data requests of
// the later stages, describes a section with its value range on request, and
// refreshes everything downstream when its data set changes or is described anew.
// Main thread only; the data set's read operations take the display lock themselves.
#include <cfloat>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "framework/component.h"
#include "io/data_set.h"
#include "io/value_range.h"

namespace orva {

class ProjectItem;
class SourceComponent;
class TransformationComponent;
enum class ScaleRangeKind : int;

// Messages the Source answers beside the shared ones.
constexpr int32_t kMsgPing = 1;
constexpr int32_t kMsgSelectPosition = 257;  // needs an "ESCS" part {frame, section}
constexpr int32_t kMsgSectionData = 258;     // target: the reduction's data array
constexpr int32_t kMsgSourceReserved = 259;

// The description of one section that the Source hands out through its frame-data
// query: the frame and section it describes with the section's crop width and
// height as the extent, the frame's section count, the crop depth, and the
// section's minimum and maximum in physical units once its statistics were taken
// (+DBL_MAX and -DBL_MAX until then: the query never reads them itself).
struct SourceSection : FrameDataRecord {
    uint32_t sectionCount = 0xFFFFFFFFu;
    uint64_t cropSize[3] = {0, 0, 0};
    double minimum = DBL_MAX;
    double maximum = -DBL_MAX;
};

// What the Source asks of its Info and Options pages; the pages install their
// functions, and an empty entry does nothing.
struct SourcePageHooks {
    // Builds or refreshes the Source's pages (what the Source's panel builder does).
    int32_t (*buildPanel)(PageWindow* page, void* window, int32_t pageId) = nullptr;
    // Refreshes the Info page, painting it at once when asked; its result is what the
    // Source's change notification answers.
    int32_t (*refreshInfoPage)(SourceComponent* source, bool paintNow) = nullptr;
    // Refreshes the Options page and the Info page's position and statistics after the
    // frame or section was selected.
    void (*refreshPages)(SourceComponent* source, bool repaintNow) = nullptr;
};
SourcePageHooks& TheSourcePageHooks();

class SourceComponent : public ComponentBase, public SourceNotify {
public:
    // A Source owned by the item (none: no owner), named "Source", without a data set.
    explicit SourceComponent(ProjectItemBase* owner);
    // Clears its two cached answers from everything downstream that holds them, leaves
    // the owner's first-stage field and lets go of the data set.
    ~SourceComponent() override;

    const ComponentId* GetClassId() const override { return &kInputId; }
    // A new Source without owner.
    bool CreateInstance(ComponentObject** out) override;
    // The input is read anew: the data set recomputes its sample sizes and forgets its
    // kept statistics, and everything downstream is told.
    int32_t Refresh(uint8_t playback) override;
    // Every Source offers 64-bit reals: one channel when the data set combines or
    // selects channels, else its channel count (1..16384); 1, 2 or 3 dimensions by the
    // y and z sizes; the stored type's high flag bits kept. A consumer that refuses
    // several channels is offered one. An accepted format prepares the data set's read
    // kernels, whose answer is the result. Without a data set: one 64-bit real channel
    // with the consumer's dimension count in 1..3.
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;
    // 1 ping; 130 and 131 value range; 257 select frame and section; 258 section data;
    // 259 refused; others the shared selection codes.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // The data set's description (a DataSetInfo*), kept as the cached description;
    // null while no readable data set is attached.
    void* QueryFrameDescription() override;
    // The section block of (frame, section) (negative: 0, or the block's own when one
    // is held); see SourceSection. Null without a readable data set or section.
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override;
    // The Source is the first stage: nothing is upstream.
    void* UpstreamFrameDescription() override { return nullptr; }
    FrameDataRecord* UpstreamFrameData(int32_t, int32_t) override { return nullptr; }

    // ---- The data set's notifications ----
    // A new description may offer another number of frames (step, frame count, sizes):
    // the counters and the transport follow it at once.
    void PropertiesChanged() override {
        SourceInputChanged();
        ComponentRefreshPlayableRanges(this);
    }
    void KernelsRefreshed() override {
        SourceInputRedescribed();
        ComponentRefreshPlayableRanges(this);
    }
    void DetachInput() override;

    // Takes the data set (one reference); a previous holder of the data set is told to
    // let go of it. Null detaches. Always 2.
    int32_t SetInput(DataSet* dataSet);
    DataSet* Input() const { return input_; }
    const SourceSection& Section() const { return section_; }

    // Clears the cached answers, brings the position into range, tells and invalidates
    // downstream and refreshes the Info page; the page refresh's result.
    int32_t SourceInputChanged();
    // The same, after handing the new format to every direct consumer.
    int32_t SourceInputRedescribed();
    // Runs a change of which file frames are visited (frame count, frame step): the values
    // stay, so a range the user typed or the file states stays too, and a view whose range
    // follows the frame takes the range of the frame now shown. The change's answer.
    bool ChangeFrameMapping(const std::function<bool()>& change);
    bool KeepsRanges() const { return keepRanges_; }

private:
    bool ValueRangeRequest(MessageRecord* message);
    bool SectionDataRequest(MessageRecord* message);
    bool SelectPosition(MessageRecord* message);
    void ClearCachedAnswers();
    void TellDownstream();
    // The views of the item whose range is the automatic range of the frame shown.
    std::vector<std::pair<TransformationComponent*, ScaleRangeKind>> FollowingViews();

    DataSet* input_ = nullptr;
    SourceSection section_;
    // While true, an input change leaves the views' ranges to ChangeFrameMapping.
    bool keepRanges_ = false;
};

// The process function while a data set is attached: reads the window the result asks
// for (a negative frame or section: the data set's current one) into the result's
// image as 64-bit reals; 3 with the frame and section in the result's summary words,
// else 1 with the pending byte clear.
int32_t SourceProcess(ComponentBase* component, PullResult* result, PullRequest* request);

// A Source for the item, added to the user interface's component list and made the
// item's first stage when it has none. Null when the list refuses it.
SourceComponent* SourceCreate(ComponentUi* ui, ProjectItemBase* owner);

// The project item's data-set sink: makes a Source for the data set, adds it to the
// item and builds the default pipeline behind it. 2; -16 without the item's pipeline
// context or a readable data set; -14 when the Source cannot be made or added; -7 when
// the pipeline cannot be built. The result is also kept as the item's open result.
int ProjectItemAttachDataSet(ProjectItem* item, DataSet* dataSet);

// The Source's panel builder (its Info and Options pages).
PanelBuilder GetSourcePanelBuilder();

// The statistics of the data set's current frame and section, read whole when they are
// not complete yet (once per frame and section: a complete record is kept). Called by
// what shows or uses them: the Info page, a view whose range follows the frame, the
// Source when its input changes. True when complete statistics are at hand.
bool SourceReadCurrentStatistics(DataSet* dataSet);

// Brings the data set's position into range, reads the current section's statistics
// whole when they are not complete yet, and lets the item's Transformation take its
// automatic range again.
void SourceWakeInput(SourceComponent* source);

// After a selection: the pages follow when the Source has a data set of two frames or
// more and the user interface is up.
void SourceRefreshPages(SourceComponent* source, bool repaintNow);

}  // namespace orva
