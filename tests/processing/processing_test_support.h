#pragma once
// What the processing tests wire together: an upstream stage that serves frames of
// 64-bit reals, a downstream consumer link, and filter modules whose behaviour each
// test sets (negotiation answer, work result, faults), kept in their descriptor.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <type_traits>
#include <vector>

#include "framework/component.h"
#include "processing/filter_chain.h"
#include "processing/filter_registry.h"
#include "processing/processing_component.h"
#include "test_support.h"

namespace orva::testing_util {

// The value of a sample of a served frame: distinct per frame and position, never 0.
inline double SourceValue(int32_t frame, int64_t x, int64_t y, int64_t width) {
    return frame * 100000.0 + static_cast<double>(y * width + x) + 1.0;
}

// Serves frames of width x height 64-bit reals (the window clipped to the frame),
// answers the frame queries with records of its own and counts its pulls.
class FrameSource : public ComponentBase {
public:
    FrameSource(ProjectItemBase* owner, int64_t w, int64_t h) : ComponentBase(owner), width(w), height(h) {
        process = &Produce;
        data.width = w;
        data.height = h;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override {
        ++queries;
        return &description;
    }
    bool OnMessage(MessageRecord* m, uint32_t argument) override {
        messages.push_back(m->code);
        return ComponentBase::OnMessage(m, argument);
    }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        ++dataQueries;
        data.frame = frame;
        data.section = section;
        return &data;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<FrameSource*>(c);
        s->pulls.fetch_add(1);
        s->lastWindow = r->window;
        if (!s->produce) return 0;
        ReadWindow w = r->window;
        const int64_t x1 = std::min<int64_t>(w.x + w.width, s->width), y1 = std::min<int64_t>(w.y + w.height, s->height);
        if (w.x < 0 || w.y < 0 || x1 <= w.x || y1 <= w.y) return 0;
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(0x40, 1);
        if (!image.AllocImageBuffer(static_cast<uint32_t>(x1 - w.x), static_cast<uint32_t>(y1 - w.y))) return 0;
        auto* v = static_cast<double*>(image.data);
        for (int64_t y = w.y; y < y1; ++y)
            for (int64_t x = w.x; x < x1; ++x) *v++ = SourceValue(w.frame, x, y, s->width);
        image.windowX = w.x;
        image.windowY = w.y;
        r->pending = 1;
        r->deliveredFrame = static_cast<uint32_t>(w.frame);
        return 3;
    }

    int64_t width, height;
    FormatRequest offered{0x40, 8, 1, 2, 0, 0};
    bool produce = true;
    std::atomic<int> pulls{0};
    ReadWindow lastWindow;
    int queries = 0, dataQueries = 0;
    std::vector<int32_t> messages;
    int description = 0;  // what the frame query answers (its address)
    FrameDataRecord data;
};

// A downstream consumer's link.
class ConsumerEnd : public ConsumerLink {
public:
    explicit ConsumerEnd(ComponentBase* owner = nullptr) : ConsumerLink(owner) {}
    void OnUpstreamChanged() override { changed.fetch_add(1); }
    bool AcceptFormat(FormatRequest* r) override {
        ++accepted;
        format = *r;
        return true;
    }
    std::atomic<int> changed{0};
    int accepted = 0;
    FormatRequest format;
};

// ---- Test modules -------------------------------------------------------------------------

struct TestModule;

// Each instance's private state: what the module saw.
struct ModuleState {
    const TestModule* module = nullptr;
    int processCalls = 0;
    int negotiateCalls = 0;
    FormatRequest seenRequest, seenOutput;
    void* lastEvent = nullptr;
    bool pulled = false;
};

// A module's descriptor and behaviour; the descriptor comes first, so the create
// function finds the behaviour from the descriptor it is given.
struct TestModule {
    FilterModuleDescriptor descriptor;
    int32_t negotiateResult = 1;
    uint32_t outputExtra = 0;          // written into word 5 of what the module produces
    uint32_t outputChannels = 0;       // 0: the input's
    uint32_t scratchRequestFormat = 0; // written into the request format when non-zero
    int32_t processResult = 0;
    enum Work { kFillConstant, kDouble, kThrow, kAnswerOnly } work = kFillConstant;
    double constant = 7.0;
    bool createRefuses = false, createThrows = false, createLeavesState = false, noNegotiate = false,
         noProcess = false, eventHandled = true;
    size_t stateBytes = sizeof(ModuleState);
};
static_assert(std::is_standard_layout_v<TestModule>);

inline const TestModule* ModuleOf(const FilterModuleDescriptor* d) { return reinterpret_cast<const TestModule*>(d); }
inline ModuleState* StateOf(FilterInstance* i) { return static_cast<ModuleState*>(FilterInstanceState(i)); }

int32_t TestNegotiate(FilterInstance* i, const FormatRequest* in, FormatRequest* request, FormatRequest* out);
int32_t TestProcess(PullResult* own, PullResult* out, const PullRequest* request);
bool TestEvent(FilterInstance* i, void* event);

inline bool TestCreate(FilterCallbacks* c, const FilterModuleDescriptor* d) {
    const TestModule* m = ModuleOf(d);
    if (m->createThrows) throw std::runtime_error("create");
    // A state the chain will not close is left behind on purpose: it is static here,
    // so that nothing leaks.
    static ModuleState leftBehind;
    const bool abandoned =
        (m->createRefuses && m->createLeavesState) || m->noNegotiate || m->stateBytes > kFilterMaxStateBytes;
    ModuleState* state = abandoned ? &leftBehind : new ModuleState;
    state->module = m;
    c->state = state;
    c->stateBytes = m->stateBytes;
    if (m->createRefuses) {
        if (!m->createLeavesState) {
            delete state;
            c->state = nullptr;
        }
        return false;
    }
    if (!m->noNegotiate) c->negotiate = &TestNegotiate;
    if (!m->noProcess) c->process = &TestProcess;
    c->event = &TestEvent;
    return true;
}

inline void TestClose(FilterCallbacks* c) {
    delete static_cast<ModuleState*>(c->state);
    c->state = nullptr;
}

inline TestModule MakeModule(const char* title, uint32_t flags = kFilterModuleFlag) {
    TestModule m;
    m.descriptor = FilterModuleDescriptor{&kConvolutionModuleId, nullptr, flags,      "test", title, nullptr,
                                          &TestCreate,           &TestClose, nullptr};
    return m;
}

inline int32_t TestNegotiate(FilterInstance* i, const FormatRequest* in, FormatRequest* request, FormatRequest* out) {
    ModuleState* s = StateOf(i);
    const TestModule* m = s->module;
    ++s->negotiateCalls;
    s->seenRequest = *request;
    s->seenOutput = *out;
    *out = *in;
    out->extra = m->outputExtra != 0 ? m->outputExtra : in->extra;
    if (m->outputChannels != 0) out->channels = m->outputChannels;
    if (m->scratchRequestFormat != 0) request->format = m->scratchRequestFormat;
    return m->negotiateResult;
}

inline bool TestEvent(FilterInstance* i, void* event) {
    ModuleState* s = StateOf(i);
    s->lastEvent = event;
    return s->module->eventHandled;
}

// Copies (or doubles) the box that `own` holds for the window of `out`.
inline bool FillFromHeld(const PullResult* own, PullResult* out, double factor) {
    const TypedFrameBuffer& in = own->image;
    const ReadWindow& w = own->window;
    TypedFrameBuffer& image = out->image;
    image.SetTypeAndCount(0x40, 1);
    if (w.width <= 0 || w.height <= 0) return false;
    if (!image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return false;
    auto* to = static_cast<double*>(image.data);
    const auto* from = static_cast<const double*>(in.data);
    for (int32_t y = 0; y < w.height; ++y)
        for (int32_t x = 0; x < w.width; ++x)
            to[static_cast<size_t>(y) * w.width + x] =
                factor * from[static_cast<size_t>(w.y - in.windowY + y) * in.width + (w.x - in.windowX + x)];
    image.windowX = w.x;
    image.windowY = w.y;
    return true;
}

inline int32_t TestProcess(PullResult* own, PullResult* out, const PullRequest* request) {
    FilterInstance* instance = FilterInstanceOf(own);
    ModuleState* s = StateOf(instance);
    const TestModule* m = s->module;
    ++s->processCalls;
    switch (m->work) {
        case TestModule::kThrow: throw std::runtime_error("process");
        case TestModule::kAnswerOnly: return m->processResult;
        case TestModule::kFillConstant: {
            if (m->processResult < 0) return m->processResult;
            out->image.SetTypeAndCount(0x40, 1);
            if (!out->image.AllocImageBuffer(1, 1)) return -2;
            *static_cast<double*>(out->image.data) = m->constant;
            return m->processResult;
        }
        case TestModule::kDouble: {
            own->window.x = out->window.x;
            own->window.y = out->window.y;
            own->window.width = out->window.width;
            own->window.height = out->window.height;
            s->pulled = ProcessChainBlock(own, request);
            if (!s->pulled) return -2;
            return FillFromHeld(own, out, 2.0) ? m->processResult : -2;
        }
    }
    return -2;
}

// A record for a test module, as the registry would hold one.
inline FilterModuleRecord* RecordFor(const TestModule& m) {
    auto* r = new FilterModuleRecord;
    r->descriptor = &m.descriptor;
    r->CopyFrom(&m.descriptor);
    return r;
}

// Pulls a whole frame through a link.
inline int32_t PullFrame(ConsumerLink* link, PullResult* result, int32_t frame, int32_t width, int32_t height,
                         uint8_t readAgain = 0) {
    result->pending = 0;
    result->window = ReadWindow{};
    result->window.frame = frame;
    result->window.width = width;
    result->window.height = height;
    PullRequest request;
    request.readAgain = readAgain;
    return ComponentPull(link, result, &request);
}

}  // namespace orva::testing_util
