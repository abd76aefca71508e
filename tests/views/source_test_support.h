#pragma once
// Doubles for the Source tests: a consumer stage with an input link that accepts the
// formats it is told to, a user interface that keeps a component list, port lists and
// a page window (or refuses components), stand-in stages for the default chain, and
// a statistics kernel that counts its calls.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "framework/component.h"
#include "framework/pipeline.h"
#include "framework/port.h"
#include "io/data_set.h"
#include "views/source_component.h"

namespace orva::testing_views {

// A stage with one input link: it records what it is offered and accepts formats of
// at most `maxChannels` channels.
class Consumer : public ComponentBase {
public:
    class Link : public ConsumerLink {
    public:
        explicit Link(Consumer* owner) : ConsumerLink(owner), stage(owner) {}
        void OnUpstreamChanged() override { ++stage->changes; }
        bool AcceptFormat(FormatRequest* r) override {
            stage->offers.push_back(*r);
            return r->channels <= stage->maxChannels;
        }
        Consumer* stage;
    };

    explicit Consumer(const ComponentId* id = &kReductionId, ProjectItemBase* owner = nullptr)
        : ComponentBase(owner), id_(id), input(this) {}
    ~Consumer() override { ConsumerDetach(&input); }
    const ComponentId* GetClassId() const override { return id_; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    // As a stage in the middle of a chain it passes its own offer on.
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        if (input.upstream == nullptr) return false;
        *r = offers.empty() ? FormatRequest{} : offers.back();
        return link == nullptr || link->AcceptFormat(r);
    }

    // Pulls a window of the frame and section (negative: the Source's current ones).
    int32_t Pull(PullResult* result, int32_t frame, int32_t section, int32_t width, int32_t height) {
        result->pending = 0;
        result->window = ReadWindow{};
        result->window.frame = frame;
        result->window.section = section;
        result->window.width = width;
        result->window.height = height;
        PullRequest request;
        return ComponentPull(&input, result, &request);
    }
    const double* Values(const PullResult& r) const { return static_cast<const double*>(r.image.data); }

    const ComponentId* id_;
    Link input;
    uint32_t maxChannels = 16384;
    std::vector<FormatRequest> offers;
    int changes = 0;
};

inline ComponentBase* MakeStage(ComponentUi* ui, ProjectItemBase* item, const ComponentId* id) {
    auto* stage = new Consumer(id, item);
    if (ui != nullptr) ui->AddComponent(stage);
    return stage;
}

// A user interface for the default chain without windows: it lists its components
// (holding one reference to each), keeps the port lists, has a page window and
// refuses components while `refuse` is set.
class TestUi : public ComponentUi {
public:
    ~TestUi() override {
        std::vector<ComponentBase*> held;
        held.swap(list);
        for (ComponentBase* c : held)
            if (ComponentIsLive(c)) ComponentLeaveList(c);
        while (ports.first != nullptr) PortListRemove(ports.first);
    }
    bool ListsComponent(const ComponentBase* c) const override {
        return std::find(list.begin(), list.end(), c) != list.end();
    }
    bool AddComponent(ComponentBase* c) override {
        if (refuse || c == nullptr) return false;
        list.push_back(c);
        c->ui = this;
        return true;
    }
    void RemoveComponent(ComponentBase* c) override {
        list.erase(std::remove(list.begin(), list.end(), c), list.end());
        if (c != nullptr) c->ui = nullptr;
    }
    std::vector<ComponentBase*> Components() const override { return list; }
    PageWindow* GetPageWindow() override { return pageWindow ? &page : nullptr; }
    PortListSet* PortLists() override { return &ports; }
    bool RunsWithoutWindows() const override { return withoutWindows; }

    std::vector<ComponentBase*> list;
    PortListSet ports;
    PageWindow page;
    bool pageWindow = true;
    bool withoutWindows = false;
    bool refuse = false;
};

// Stand-in stages for the default chain (installed for the life of the object).
class StandInChain {
public:
    StandInChain() {
        saved_ = ThePipelineServices();
        PipelineServices& s = ThePipelineServices();
        s.createProcessing = [](ComponentUi* ui, ProjectItemBase* item, void*) {
            return MakeStage(ui, item, &kProcessingId);
        };
        s.createTransformation = [](ComponentUi* ui, ProjectItemBase* item, void*) {
            return MakeStage(ui, item, &kTransformationId);
        };
        s.createReduction = [](ComponentUi* ui, ProjectItemBase* item, void*) {
            return MakeStage(ui, item, &kReductionId);
        };
    }
    ~StandInChain() { ThePipelineServices() = saved_; }
    StandInChain(const StandInChain&) = delete;
    StandInChain& operator=(const StandInChain&) = delete;

private:
    PipelineServices saved_;
};

// A statistics kernel that counts its calls and fills the record with fixed values
// (minimum file frame + 1, maximum 10 × (section + 1), mean, deviation and total);
// installed for the life of the object.
class CountingStatistics {
public:
    // Data sets that were never prepared take the kernel directly.
    static void Install(DataSet* d) { d->statisticsKernel = &Fill; }
    CountingStatistics() {
        saved_ = TheSectionKernels();
        calls = 0;
        wholeAlways = true;
        TheSectionKernels().statistics = &Fill;
        TheSectionKernels().statisticsSwapped = &Fill;
    }
    ~CountingStatistics() { TheSectionKernels() = saved_; }
    CountingStatistics(const CountingStatistics&) = delete;
    CountingStatistics& operator=(const CountingStatistics&) = delete;

    static bool Fill(DataSet*, uint32_t fileFrame, uint32_t section, SectionStatistics* r, int whole, int) {
        ++calls;
        r->minimum = fileFrame + 1.0;
        r->maximum = 10.0 * (section + 1);
        r->mean = 5.0;
        r->deviation = 2.0;
        r->total = 5.0 * 8;
        r->count = 8;
        r->valid = 1;
        r->whole = static_cast<uint8_t>(whole != 0 || wholeAlways);
        return true;
    }
    static inline int calls = 0;
    static inline bool wholeAlways = true;

private:
    SectionKernelTable saved_;
};

}  // namespace orva::testing_views
