#pragma once
// The Processing component: the pipeline stage between a source and the value
// transformation. It owns a filter chain (its input link), negotiates the data
// format through it and, when a downstream stage pulls, runs the last active
// filter or, while no filter is active, passes the pull straight upstream.
#include <cstdint>

#include "framework/component.h"
#include "processing/filter_chain.h"

namespace orva {

class ProcessingComponent : public ComponentBase {
public:
    // An empty chain (no filter); the process function passes pulls upstream.
    explicit ProcessingComponent(ProjectItemBase* owner);
    // Detaches from the owner, deletes every instance and leaves the upstream.
    ~ProcessingComponent() override;

    const ComponentId* GetClassId() const override;
    // A new component with an empty chain.
    bool CreateInstance(ComponentObject** out) override;
    // Refreshes the downstream components, then repaints dirty windows when the
    // user interface is up.
    int32_t Refresh(uint8_t playback) override;
    // Indexes below 2 (negative ones too): the input link; others: nullptr.
    ConsumerLink* GetInputLink(int index) override;
    // Answers the chain's output format (64-bit reals while it is empty) and,
    // with a link, what the link accepts.
    bool NegotiateInput(ConsumerLink* link, FormatRequest* request) override;
    // 1 frees the instances' buffers; 259 broadcasts the reduction's parameters to
    // the filters; others go to the common handler.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // Page messages go upstream.
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;
    bool QueryPageMessage(MessageRecord* message, uint32_t argument) override;
    // Answered by the last instance, or by the upstream while the chain is idle
    // or empty; the answer is kept as the cached description.
    void* QueryFrameDescription() override;
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override;

    // The process functions: the chain's, while an instance is active, and the
    // pass-through one.
    static int32_t ChainProcess(ComponentBase* component, PullResult* result, PullRequest* request);
    static int32_t PassThroughProcess(ComponentBase* component, PullResult* result, PullRequest* request);

    FilterChain chain;
};

// The stage of the default chain (script class "keloproc"): a component whose
// chain starts with the affine filter, owned by the item and listed by the user
// interface; nullptr when it cannot be made or the list refuses it.
ComponentBase* CreateProcessingFromScript(ComponentUi* ui, ProjectItemBase* item, void* description);
// Leaves the previous owner (clearing its processing stage when it is this one),
// becomes the new owner's processing stage when it has none; true when an owner
// was given.
bool SetOwner(ProcessingComponent* component, ProjectItemBase* owner);

// What the panels above the processing layer provide; each entry may be empty.
struct ProcessingServices {
    // The plug-in list panel's builder and its refresh. The refresh also follows a
    // module fault, on whichever thread pulled the frame.
    PanelBuilder pluginListPanel = nullptr;
    bool (*refreshPluginList)(ProcessingComponent* component, bool selectCurrent, bool showPage,
                              bool redraw) = nullptr;
    // Hides and forgets the settings page that shows an instance that goes.
    void (*releaseSettingsPage)(FilterInstance* instance) = nullptr;
};
ProcessingServices& TheProcessingServices();

// The builder of the plug-in list panel; nullptr while there is none.
PanelBuilder GetPluginListPanelBuilder();

}  // namespace orva
