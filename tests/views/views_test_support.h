#pragma once
// Stand-ins for what display cells and workspaces talk to: a graphics window and an
// output device that count what is asked of them, a toolkit window record that is never
// drawn, and a scope that installs counting hooks for painting and the pages and puts
// every hook back afterwards.
#include <gtest/gtest.h>

#include <future>
#include <mutex>
#include <vector>

#include "app/graphics_window.h"
#include "app/output_device.h"
#include "framework/component.h"
#include "framework/display_lock.h"
#include "framework/port.h"
#include "toolkit/window.h"
#include "views/display_cell.h"
#include "views/workspace.h"

namespace orva::views_testing {

// True when another thread cannot take the display lock now.
inline bool DisplayLockHeldElsewhere() {
    return std::async(std::launch::async, [] {
               std::unique_lock<std::recursive_mutex> lock(DisplayLock(), std::try_to_lock);
               return !lock.owns_lock();
           }).get();
}

// A device whose pull answers a scripted code and counts the pulls.
class FakeDevice : public OutputDevice {
public:
    explicit FakeDevice(ComponentBase* owner = nullptr) : OutputDevice(owner) { deliverHook = &Check; }
    const ComponentId* GetClassId() const override { return &kDevice2DId; }
    bool CreateInstance(OutputDevice** out) override {
        *out = new FakeDevice;
        return true;
    }
    bool QueryInterface(const ComponentId*, void**) override { return false; }
    int32_t Refresh() override {
        ++pulls;
        lockHeld = DisplayLockHeldElsewhere();
        return code;
    }
    bool Deliver() override { return false; }
    bool ResetDeviceView(bool fit) override {
        if (!fit) ++viewResets;
        return true;
    }
    void ResetScale() override {}
    void ReleaseImage() override {}
    void OnEvent(int32_t, int32_t) override {}
    bool SelectIndex(int32_t index) override {
        selectedIndexes.push_back(index);
        return false;
    }
    int32_t InvalidateArea() override { return 0; }
    bool SetZoom2(double, double) override { return false; }
    bool SetZoom(bool, double, bool) override { return false; }
    static bool Check(DeviceViewBase* d) { return static_cast<FakeDevice*>(d)->checkPasses; }

    int32_t code = 0;
    std::vector<int32_t> selectedIndexes;
    bool checkPasses = true;
    int pulls = 0;
    int viewResets = 0;
    bool lockHeld = false;
};

// A graphics window that records the calls of its cell.
class FakeGraphicsWindow : public GraphicsWindow {
public:
    explicit FakeGraphicsWindow(DisplayCellBase* cell, const ComponentId* id = &kImageWindowId)
        : GraphicsWindow(cell), id(id) {}
    const ComponentId* GetClassId() const override { return id; }
    bool CreateDevice(DeviceViewBase** out) override {
        *out = new FakeDevice;
        return true;
    }
    bool CreateInstance(GraphicsWindow** out) override {
        *out = new FakeGraphicsWindow(nullptr, id);
        return true;
    }
    bool QueryInterface(const ComponentId*, void**) override { return false; }
    bool ResetView(bool) override { return false; }
    bool BuildToolPanel(int32_t) override {
        ++panelsBuilt;
        return true;
    }
    void RefreshToolPanel(uint32_t) override { ++panelRefreshes; }
    void AttachHost() override {}
    bool SelectChannel(int32_t number) override {
        selected = number;
        return true;
    }
    void Layout() override {}
    void OnActivate() override { ++activations; }
    void Resize() override {}
    void SetVisible(bool) override {}
    GraphicsColourList* GetDefaults() override { return nullptr; }
    void RepaintHosts() override {}
    void SetColours(uint32_t c) override { colours = c; }
    void PlaceSliders() override { ++sliderPlacements; }
    void ResetZoomScroll() override { ++zoomResets; }
    void SetFrameRect(TextureView*) override { ++frameRects; }
    bool RenderToTextureView(TextureView*) override { return renders; }
    int32_t BeginPlacement(int32_t) override { return 0; }
    int32_t EndPlacement(int32_t) override { return 0; }
    void SetPointer(float x, float y) override {
        pointerX = x;
        pointerY = y;
    }
    void ScrollBy(int32_t steps, bool tenfold, bool shift) override {
        wheelX.push_back({steps, tenfold, shift});
    }
    void ScrollStepX(int32_t, bool) override {}
    void ScrollStepY(int32_t steps, bool tenfold) override { wheelY.push_back({steps, tenfold, false}); }
    GraphicsButtonHandler GetButtonHandler() override { return nullptr; }
    bool IsTracking() override { return false; }
    void SetSliderStyle(bool) override {}

    struct Wheel {
        int32_t steps;
        bool ctrl, shift;
    };
    const ComponentId* id;
    int panelsBuilt = 0, panelRefreshes = 0, activations = 0, sliderPlacements = 0, zoomResets = 0, frameRects = 0;
    int32_t selected = -1;
    bool renders = false;
    std::vector<Wheel> wheelX, wheelY;
};

// A toolkit window record that no server knows: painting it goes through the hooks.
struct FakeWindow {
    FakeWindow() {
        window.clientWidth = 640;
        window.clientHeight = 480;
    }
    gWindow window;
};

// Counting hooks for painting and the pages; the ui is up while the scope lives.
class HookScope {
public:
    HookScope() {
        savedDisplay_ = TheDisplayHooks();
        savedShell_ = TheWorkspaceShellHooks();
        savedServices_ = TheComponentServices();
        savedHost_ = TheGraphicsHostServices();
        Reset();
        DisplayHooks& h = TheDisplayHooks();
        h.paintWindow = [](gWindow* w) { Counts().paints.push_back(w); };
        h.makeCurrent = [](gWindow*) { return Counts().contextAvailable; };
        h.refreshAll = [] { ++Counts().refreshAlls; };
        h.refreshPanels = [](ComponentBase*) { ++Counts().panelRefreshes; };
        h.refreshSelectTabPage = [](WorkspaceComponent*) { ++Counts().selectTabRefreshes; };
        WorkspaceShellHooks& s = TheWorkspaceShellHooks();
        s.modifiersNow = [] { return Counts().modifiers; };
        s.hasProjects = [] { return Counts().projects; };
        s.closeData = [] { ++Counts().dataClosed; };
        s.closeCurrentItem = [] { ++Counts().itemsClosed; };
        s.syncToolsMenu = [] { ++Counts().toolSyncs; };
        ComponentServices& c = TheComponentServices();
        c.uiUp = [] { return Counts().uiUp; };
        c.pollComponentState = [](OutputWindow* w) {
            ++Counts().polls;
            Counts().pollLockHeld = DisplayLockHeldElsewhere();
            return w != nullptr && Counts().pollDelivers;
        };
        c.createImageWindow = [](DisplayCellBase* cell) -> OutputWindow* { return new FakeGraphicsWindow(cell); };
        c.createChartWindow = [](DisplayCellBase* cell) -> OutputWindow* {
            return new FakeGraphicsWindow(cell, &kChartWindowId);
        };
    }
    ~HookScope() {
        TheDisplayHooks() = savedDisplay_;
        TheWorkspaceShellHooks() = savedShell_;
        TheComponentServices() = savedServices_;
        TheGraphicsHostServices() = savedHost_;
        Reset();
    }

    struct Tally {
        std::vector<gWindow*> paints;
        int refreshAlls = 0, panelRefreshes = 0, selectTabRefreshes = 0, polls = 0;
        int dataClosed = 0, itemsClosed = 0, toolSyncs = 0;
        bool contextAvailable = true, uiUp = true, projects = true, pollDelivers = true, pollLockHeld = false;
        uint32_t modifiers = 0;
    };
    static Tally& Counts() {
        static Tally tally;
        return tally;
    }
    static void Reset() { Counts() = Tally{}; }

private:
    DisplayHooks savedDisplay_;
    WorkspaceShellHooks savedShell_;
    ComponentServices savedServices_;
    GraphicsHostServices savedHost_;
};

// A cell on a fake window with a port, a graphics window and its device wired as the
// ports would leave them. The cell is released at the end (the port with it).
class WiredCell {
public:
    explicit WiredCell(gWindow* window) {
        cell = new DisplayComponent(window, nullptr);
        port = static_cast<ViewConsumer*>(cell->CreatePort());
        graphics = new FakeGraphicsWindow(cell);
        device = new FakeDevice;
        port->display = cell;
        port->firstWindow = port->lastWindow = port->primaryWindow = port->currentWindow = graphics;
        port->firstDevice = port->lastDevice = device;
        graphics->current = graphics->latest = device;
        device->window = graphics;
        device->display = cell;
        device->port = port;
        cell->port = port;
        cell->currentWindow = graphics;
        cell->currentDevice = device;
    }
    ~WiredCell() {
        cell->port = nullptr;
        cell->currentWindow = nullptr;
        cell->currentDevice = nullptr;
        port->display = nullptr;
        delete port;  // releases the window and the device
        cell->Release();
    }
    // A second device in the window's group (older than the first).
    FakeDevice* AddGroupMember() {
        auto* d = new FakeDevice;
        d->window = graphics;
        d->port = port;
        d->display = cell;
        device->older = d;
        d->newer = device;
        port->lastDevice->portNext = d;
        d->portPrevious = port->lastDevice;
        port->lastDevice = d;
        return d;
    }

    DisplayComponent* cell;
    ViewConsumer* port;
    FakeGraphicsWindow* graphics;
    FakeDevice* device;
};

}  // namespace orva::views_testing
