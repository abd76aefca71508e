#pragma once
// A port list to play, made of stand-ins: stages that describe a number of frames,
// display cells, ports and devices that count their re-reads and deliveries; and a
// scope that installs the playback hooks and the user-interface flag for one test.
#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <vector>

#include "framework/component.h"
#include "framework/component_id.h"
#include "framework/device_view.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "io/data_set_info.h"
#include "toolkit/window.h"
#include "views/playback.h"

namespace orva::testing {

// A stage whose data have `frames` frames (0: no description at all).
class FramesStage : public ComponentBase {
public:
    explicit FramesStage(int32_t frames) : ComponentBase(nullptr), frames(frames) {
        info.framesToUse = static_cast<uint32_t>(frames);
        info.frameStep = 1;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    void* QueryFrameDescription() override { return frames > 0 ? &info : nullptr; }
    int32_t Refresh(uint8_t playback) override {
        std::lock_guard<std::mutex> hold(mutex);
        refreshes.push_back(playback);
        return 0;
    }
    std::vector<uint8_t> Refreshes() {
        std::lock_guard<std::mutex> hold(mutex);
        return refreshes;
    }
    int32_t frames;
    DataSetInfo info;
    std::mutex mutex;
    std::vector<uint8_t> refreshes;
};

// A display cell; `drawing` gives it the drawing cell's id.
class PlayCell : public DisplayCellBase {
public:
    explicit PlayCell(bool drawing = false) : DisplayCellBase(nullptr), drawing(drawing) {}
    const ComponentId* GetClassId() const override { return drawing ? &kDisplayCellId : &kWorkspaceId; }
    bool drawing;
};

class PlayPort : public OutPort {
public:
    bool CreateOutputWindow(const ComponentId*, const FormatRequest*, OutputWindow**) override { return false; }
};

// A device whose re-read (on the timer thread) notes the current frame and answers
// `code`; its delivery (on the UI thread) is counted.
class PlayDevice : public DeviceViewBase {
public:
    PlayDevice() : DeviceViewBase(nullptr) { deliverHook = &Deliver; }
    const ComponentId* GetClassId() const override { return &kDevice2DId; }
    int32_t Refresh() override {
        rereads.fetch_add(1);
        if (portList != nullptr) {
            std::lock_guard<std::mutex> hold(mutex);
            frames.push_back(portList->player.current.load());
        }
        return code.load();
    }
    static bool Deliver(DeviceViewBase* d) {
        auto* p = static_cast<PlayDevice*>(d);
        p->deliveries.fetch_add(1);
        return p->deliverOk.load();
    }
    std::vector<int32_t> Frames() {
        std::lock_guard<std::mutex> hold(mutex);
        return frames;
    }
    std::atomic<int32_t> code{3};
    std::atomic<bool> deliverOk{true};
    std::atomic<int> rereads{0};
    std::atomic<int> deliveries{0};
    std::mutex mutex;
    std::vector<int32_t> frames;
};

// The port list with its cells, ports, devices and stages; everything goes with it.
class PlayRig {
public:
    PlayRig() : list(new PortList) {}
    ~PlayRig() {
        delete list;
        for (PlayCell* c : cells) c->Release();
        for (FramesStage* s : stages) s->Release();
    }
    PlayRig(const PlayRig&) = delete;
    PlayRig& operator=(const PlayRig&) = delete;

    FramesStage* Stage(int32_t frames) {
        stages.push_back(new FramesStage(frames));
        return stages.back();
    }
    // A cell with its port in the list.
    PlayCell* Cell(bool drawing = false) {
        auto* cell = new PlayCell(drawing);
        auto* port = new PlayPort;
        port->display = cell;
        port->list = list;
        port->previous = list->lastPort;
        if (list->lastPort != nullptr) list->lastPort->next = port;
        else list->firstPort = port;
        list->lastPort = port;
        cell->port = port;
        cell->portList = list;
        cells.push_back(cell);
        return cell;
    }
    // A device of the cell's port that pulls from the stage.
    PlayDevice* Device(PlayCell* cell, FramesStage* stage) {
        auto* d = new PlayDevice;
        OutPort* port = cell->port;
        d->pin.upstream = stage;
        d->display = cell;
        d->port = port;
        d->portList = list;
        d->portPrevious = port->lastDevice;
        if (port->lastDevice != nullptr) port->lastDevice->portNext = d;
        else port->firstDevice = d;
        port->lastDevice = d;
        ++port->deviceCount;
        return d;
    }
    // One cell showing one stage of `frames` frames, its range made by PlaybackRange.
    PlayDevice* Single(int32_t frames, bool drawing = false) {
        PlayCell* cell = Cell(drawing);
        PlayDevice* d = Device(cell, Stage(frames));
        EXPECT_EQ(PlaybackRange(list, nullptr), frames > 1);
        return d;
    }
    std::vector<DeviceViewBase*> Chain() const {
        std::vector<DeviceViewBase*> chain;
        for (DeviceViewBase* d = list->firstDevice; d != nullptr; d = d->chainNext) chain.push_back(d);
        return chain;
    }
    FramePlayer& Player() { return list->player; }

    PortList* list;
    std::vector<PlayCell*> cells;
    std::vector<FramesStage*> stages;
};

// The playback hooks and the user-interface flag for one test; the frame and one-shot
// hooks of the toolkit are emptied at the end.
class PlaybackScope {
public:
    explicit PlaybackScope(bool uiUp) {
        savedHooks_ = ThePlaybackHooks();
        savedServices_ = TheComponentServices();
        ThePlaybackHooks() = PlaybackHooks{};
        TheComponentServices().uiUp = uiUp ? [] { return true; } : static_cast<bool (*)()>(nullptr);
    }
    ~PlaybackScope() {
        gSetFrameHook(nullptr);
        gSetOnceHook(nullptr);
        ThePlaybackHooks() = savedHooks_;
        TheComponentServices() = savedServices_;
        EXPECT_EQ(DisplayLockDepth(), 0);
    }
    PlaybackScope(const PlaybackScope&) = delete;
    PlaybackScope& operator=(const PlaybackScope&) = delete;

private:
    PlaybackHooks savedHooks_;
    ComponentServices savedServices_;
};

}  // namespace orva::testing
