#pragma once
// Stand-ins for the stages, devices, windows, display cells and user interface
// that the component-model tests wire together.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <string>
#include <vector>

#include "common/log.h"
#include "framework/component.h"
#include "framework/device_view.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "test_support.h"

namespace orva::testing {

using LogCapture = testing_util::ProgramLogCapture;

// True when another thread cannot take the display lock now.
inline bool DisplayLockHeldElsewhere() {
    return std::async(std::launch::async, [] {
               std::unique_lock<std::recursive_mutex> lock(DisplayLock(), std::try_to_lock);
               return !lock.owns_lock();
           }).get();
}

class TestItem : public ProjectItemBase {};

// A stage with one input link; answers its own format to consumers.
class TestStage : public ComponentBase {
public:
    class Link : public ConsumerLink {
    public:
        explicit Link(ComponentBase* owner) : ConsumerLink(owner) {}
        void OnUpstreamChanged() override { ++changed; }
        bool AcceptFormat(FormatRequest* r) override {
            offered = *r;
            return accept;
        }
        int changed = 0;
        bool accept = true;
        FormatRequest offered;
    };

    TestStage(ProjectItemBase* owner, const ComponentId* id, uint32_t format = 0x2400003)
        : ComponentBase(owner), id(id), format(format), input(this) {}
    const ComponentId* GetClassId() const override { return id; }
    ConsumerLink* GetInputLink(int index) override { return index == 0 ? &input : nullptr; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        ++negotiations;
        if (refuse) return false;
        r->format = format;
        r->element = 1;
        r->channels = 3;
        return link == nullptr || link->AcceptFormat(r);
    }
    bool OnMessage(MessageRecord* m, uint32_t a) override {
        codes.push_back(m->code);
        return ComponentBase::OnMessage(m, a);
    }

    const ComponentId* id;
    uint32_t format;
    Link input;
    bool refuse = false;
    int negotiations = 0;
    std::vector<int32_t> codes;
};

// A source whose process function delivers frames of 64-bit reals: value =
// frame * 1000 + row * width + column. `nextCode` is the code it answers.
class TestSource : public TestStage {
public:
    explicit TestSource(ProjectItemBase* owner) : TestStage(owner, &kInputId) { process = &Produce; }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<TestSource*>(c);
        ++s->pulls;
        s->lockHeld = DisplayLockHeldElsewhere();
        if (s->nextCode < 2) {
            r->pending = s->setPending;
            return s->nextCode;
        }
        TypedFrameBuffer& image = r->image;
        image.SetTypeAndCount(0x40, 1);
        if (!image.AllocImageBuffer(static_cast<uint32_t>(r->window.width), static_cast<uint32_t>(r->window.height)))
            return -4;
        auto* v = static_cast<double*>(image.data);
        for (uint64_t i = 0; i < image.pixelCount; ++i) v[i] = r->window.frame * 1000.0 + static_cast<double>(i);
        r->pending = 1;
        r->deliveredFrame = static_cast<uint32_t>(r->window.frame);
        return s->nextCode;
    }
    int32_t nextCode = 3;
    uint8_t setPending = 0;
    int pulls = 0;
    bool lockHeld = false;
};

class TestDevice : public DeviceViewBase {
public:
    explicit TestDevice(ComponentBase* owner) : DeviceViewBase(owner) { ++alive; }
    ~TestDevice() override { --alive; }
    const ComponentId* GetClassId() const override { return &kDevice2DId; }
    void RefreshFromUpstream() override { ++refreshes; }
    bool CheckActivation() override { return activate; }
    void ResetStep2() override { ++resets; }
    void Invalidate(uint32_t key, int32_t reason) override {
        ++invalidations;
        lastKey = key;
        lastReason = reason;
    }
    int refreshes = 0, resets = 0, invalidations = 0;
    uint32_t lastKey = 0;
    int32_t lastReason = 0;
    bool activate = true;
    static inline int alive = 0;
};

class TestWindow : public OutputWindow {
public:
    TestWindow(DisplayCellBase* cell, const ComponentId* id) : OutputWindow(cell), id(id) { ++alive; }
    ~TestWindow() override { --alive; }
    const ComponentId* GetClassId() const override { return id; }
    bool CreateDevice(DeviceViewBase** out) override {
        if (failDevice) return false;
        // A display's own devices feed the display: their pins name it as their consumer.
        auto* d = new TestDevice(pinsFeedCell ? cell : nullptr);
        d->activate = activateDevices;
        *out = d;
        return true;
    }
    const ComponentId* id;
    static inline bool failDevice = false;
    static inline bool activateDevices = true;
    static inline bool pinsFeedCell = false;
    static inline int alive = 0;
};

class TestCell : public DisplayCellBase {
public:
    explicit TestCell(ProjectItemBase* owner = nullptr) : DisplayCellBase(owner) {}
    const ComponentId* GetClassId() const override { return &kDisplayCellId; }
    OutPort* CreatePort() override { return new ViewConsumer(this, 0); }
    void Layout() override { ++layouts; }
    int layouts = 0;
};

// Installs the window makers and counts redraw marks; restores on destruction.
class ServicesScope {
public:
    ServicesScope() {
        saved_ = TheComponentServices();
        ComponentServices& s = TheComponentServices();
        s.createImageWindow = [](DisplayCellBase* c) -> OutputWindow* { return new TestWindow(c, &kImageWindowId); };
        s.createChartWindow = [](DisplayCellBase* c) -> OutputWindow* { return new TestWindow(c, &kChartWindowId); };
        s.markWindowRedraw = [](DisplayCellBase*, OutputWindow*) { ++redraws; };
        s.markGroupReady = [](OutputWindow*, DeviceViewBase*) { ++groupReady; };
        redraws = 0;
        groupReady = 0;
        TestWindow::failDevice = false;
        TestWindow::activateDevices = true;
        TestWindow::pinsFeedCell = false;
    }
    ~ServicesScope() { TheComponentServices() = saved_; }
    static inline int redraws = 0;
    static inline int groupReady = 0;

private:
    ComponentServices saved_;
};

}  // namespace orva::testing
