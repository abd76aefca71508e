#pragma once
// Doubles for the output device and graphics window tests: a display cell with its
// graphics host record and recording host services, a pattern producer of 8-bit RGB
// frames that counts its pulls, and a graphics window that records what the device
// asks of it. The services tables are saved and put back by each fixture.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <string>
#include <cstring>
#include <functional>
#include <vector>

#include "app/graphics_window.h"
#include "app/image_device.h"
#include "app/image_window.h"
#include "framework/component.h"
#include "framework/port.h"
#include "toolkit/window.h"

namespace orva::display_test {

// The pattern's sample: every pixel of a 4096-wide frame differs somewhere in its
// three bytes.
inline uint8_t Sample(int64_t x, int64_t y, uint32_t c) {
    switch (c) {
        case 0: return static_cast<uint8_t>(x & 0xFF);
        case 1: return static_cast<uint8_t>(y & 0xFF);
        case 2: return static_cast<uint8_t>(((x >> 8) & 0x0F) | (((y >> 8) & 0x0F) << 4));
        default: return static_cast<uint8_t>(0xC0 + c);
    }
}

// A producer of an 8-bit frame of `channels` channels (3 or 4), any frame number; its
// frame query answers the frame count through `frames`.
class PatternSource : public ComponentBase {
public:
    PatternSource(int64_t width, int64_t height, uint32_t channels = 3, uint32_t format = 0x101)
        : ComponentBase(nullptr), width(width), height(height), channels(channels) {
        process = &Produce;
        offered = FormatRequest{format, 1, channels, 2, 0, 0};
        pixels.resize(static_cast<size_t>(width * height) * channels);
        Fill([](int64_t x, int64_t y, uint32_t c) { return Sample(x, y, c); });
        record.width = width;
        record.height = height;
    }
    template <typename F>
    void Fill(F f) {
        size_t k = 0;
        for (int64_t y = 0; y < height; ++y)
            for (int64_t x = 0; x < width; ++x)
                for (uint32_t c = 0; c < channels; ++c) pixels[k++] = f(x, y, c);
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    bool NegotiateInput(ConsumerLink* link, FormatRequest* r) override {
        *r = offered;
        return link == nullptr || link->AcceptFormat(r);
    }
    void* QueryFrameDescription() override { return &frames; }
    // Records the data messages the window sends and answers them through `answer`.
    bool OnMessage(MessageRecord* m, uint32_t argument) override {
        if (m == nullptr) return false;
        messages.push_back(m->code);
        WindowRequest* request = AsWindowRequest(MessageTargetOf(m));
        if (request != nullptr && answer) return answer(m->code, request);
        return ComponentBase::OnMessage(m, argument);
    }
    FrameDataRecord* QueryFrameData(int32_t frame, int32_t section) override {
        record.frame = frame < 0 ? 0 : frame;
        record.section = section < 0 ? 0 : section;
        return &record;
    }
    static int32_t Produce(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* s = static_cast<PatternSource*>(c);
        s->pulls.fetch_add(1);
        ReadWindow& w = r->window;
        const int64_t x0 = std::max<int64_t>(0, w.x), y0 = std::max<int64_t>(0, w.y);
        const int64_t x1 = std::min<int64_t>(s->width, w.x + w.width), y1 = std::min<int64_t>(s->height, w.y + w.height);
        if (x1 <= x0 || y1 <= y0) return 0;
        TypedFrameBuffer& out = r->image;
        out.SetTypeAndCount(0x101, s->channels);
        const auto cw = static_cast<uint32_t>(x1 - x0), ch = static_cast<uint32_t>(y1 - y0);
        const size_t row = static_cast<size_t>(s->width) * s->channels;
        if (s->noCopy && x0 == 0 && x1 == s->width) {
            // Whole rows: the frame's own memory, as a producer with the frame ready hands it.
            out.width = cw;
            out.height = ch;
            out.rowBytes = row;
            out.pixelCount = static_cast<uint64_t>(cw) * ch;
            out.data = s->pixels.data() + static_cast<size_t>(y0) * row;
        } else {
            if (!out.AllocImageBuffer(cw, ch)) return -4;
            auto* to = static_cast<uint8_t*>(out.data);
            const size_t bytes = static_cast<size_t>(cw) * s->channels;
            for (int64_t y = y0; y < y1; ++y)
                std::memcpy(to + static_cast<size_t>(y - y0) * bytes,
                            s->pixels.data() + static_cast<size_t>(y) * row + static_cast<size_t>(x0) * s->channels,
                            bytes);
        }
        out.windowX = x0;
        out.windowY = y0;
        w.x = x0;
        w.y = y0;
        w.width = static_cast<int32_t>(cw);
        w.height = static_cast<int32_t>(ch);
        r->pending = 1;
        return 3;
    }

    int64_t width, height;
    uint32_t channels;
    FormatRequest offered;
    std::vector<uint8_t> pixels;
    FrameDataRecord record;
    int64_t frames = 1;
    bool noCopy = false;
    std::atomic<int> pulls{0};
    std::vector<int32_t> messages;
    std::function<bool(int32_t, WindowRequest*)> answer;
};

// A display cell with the record its graphics window reads.
class FakeCell : public DisplayCellBase {
public:
    FakeCell() : DisplayCellBase(nullptr) {}
    const ComponentId* GetClassId() const override { return &kDisplayCellId; }
    GraphicsHost host;
    GraphicsLens lens;
    bool active = true;
    bool workspace = true;
    int coordTexts = 0;
    int redrawRequests = 0;
    int dataReady = 0;
    int pendings = 0;
    int lensPages = 0;
    int zoomBars = 0;
    int viewModePages = 0;
    int transportPages = 0;
    int selectTabPages = 0;
    int readoutUpdates = 0;
    int repaints = 0;
    int regionStatistics = 0;
    int statisticsRows = -1;   // the row the statistics list showed last
    bool playerFeeds = false;
    int zoomBarPages = 0;
    int gridPages = 0;
};

// A graphics window that records what its device asks of it.
class RecordingWindow : public GraphicsWindow {
public:
    explicit RecordingWindow(DisplayCellBase* host) : GraphicsWindow(host) {}
    const ComponentId* GetClassId() const override { return &kImageWindowId; }
    bool CreateDevice(DeviceViewBase** out) override {
        *out = new Image2DDevice(this, cell);
        return true;
    }
    bool CreateInstance(GraphicsWindow** out) override {
        *out = new RecordingWindow(nullptr);
        return true;
    }
    bool QueryInterface(const ComponentId*, void**) override { return false; }
    bool ResetView(bool keep) override {
        ++resetViews;
        if (!keep) cursorMarkShown = originMark = cursorMarkWanted = 0;
        return false;
    }
    bool BuildToolPanel(int32_t) override { return true; }
    void RefreshToolPanel(uint32_t) override { ++toolPanels; }
    void AttachHost() override {}
    bool SelectChannel(int32_t) override { return false; }
    void Layout() override {}
    void OnActivate() override {}
    void Resize() override {}
    void SetVisible(bool) override {}
    GraphicsColourList* GetDefaults() override { return nullptr; }
    void RepaintHosts() override {}
    void SetColours(uint32_t) override {}
    void PlaceSliders() override {}
    void ResetZoomScroll() override {}
    void SetFrameRect(TextureView*) override {}
    bool RenderToTextureView(TextureView*) override { return false; }
    int32_t BeginPlacement(int32_t) override { return 0; }
    int32_t EndPlacement(int32_t) override { return 0; }
    void SetPointer(float x, float y) override {
        pointerX = x;
        pointerY = y;
    }
    void ScrollBy(int32_t, bool, bool) override {}
    void ScrollStepX(int32_t, bool) override {}
    void ScrollStepY(int32_t, bool) override {}
    GraphicsButtonHandler GetButtonHandler() override { return nullptr; }
    bool IsTracking() override { return false; }
    void SetSliderStyle(bool) override {}
    void RefreshLens(GraphicsLens*) override { ++lensRefreshes; }
    void UpdateScales() override { ++scaleUpdates; }
    void UpdateScrollControl(bool) override { ++scrollControls; }
    void RefreshFrame() override { ++frameRefreshes; }

    int resetViews = 0, toolPanels = 0, lensRefreshes = 0, scaleUpdates = 0, scrollControls = 0, frameRefreshes = 0;
};

// Installs the host services for FakeCell and doubles of the cell's ready group and
// redraw mark; puts every table back afterwards.
class ServicesScope {
public:
    ServicesScope() : component_(TheComponentServices()), host_(TheGraphicsHostServices()), shapes_(TheGraphicsShapeServices()) {
        ComponentServices& c = TheComponentServices();
        c.uiUp = [] { return true; };
        c.markGroupReady = [](OutputWindow* w, DeviceViewBase* d) { GraphicsWindowAllIdleWalk(w, d); };
        c.pollComponentState = &PollComponentState;
        c.markWindowRedraw = [](DisplayCellBase* cell, OutputWindow*) {
            auto* f = dynamic_cast<FakeCell*>(cell);
            if (f != nullptr && f->host.window != nullptr) f->host.window->dirty = 7;
            Marks().fetch_add(1);
        };
        GraphicsHostServices& h = TheGraphicsHostServices();
        h = GraphicsHostServices{};
        h.host = [](DisplayCellBase* c) { return &static_cast<FakeCell*>(c)->host; };
        h.isActiveCell = [](DisplayCellBase* c) { return static_cast<FakeCell*>(c)->active; };
        h.hasWorkspace = [](DisplayCellBase* c) { return static_cast<FakeCell*>(c)->workspace; };
        h.lens = [](DisplayCellBase* c) { return &static_cast<FakeCell*>(c)->lens; };
        h.updateCoordText = [](DisplayCellBase* c) { return ++static_cast<FakeCell*>(c)->coordTexts > 0; };
        h.requestRedraw = [](DisplayCellBase* c, int32_t) { ++static_cast<FakeCell*>(c)->redrawRequests; };
        h.onDataReady = [](DisplayCellBase* c, int32_t, DeviceViewBase*) { return ++static_cast<FakeCell*>(c)->dataReady > 0; };
        h.pending = [](DisplayCellBase* c, DeviceViewBase*) { ++static_cast<FakeCell*>(c)->pendings; };
        h.refreshZoomBar = [](DisplayCellBase* c, uint32_t) { ++static_cast<FakeCell*>(c)->zoomBars; };
        h.refreshViewModePage = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->viewModePages; };
        h.refreshTransportPage = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->transportPages; };
        h.refreshSelectTabPage = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->selectTabPages; };
        h.lensPageSetFromView = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->lensPages; };
        h.frameCount = [](const void* d) { return *static_cast<const int64_t*>(d); };
        h.updateReadouts = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->readoutUpdates; };
        h.repaint = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->repaints; };
        h.showRegionStatistics = [](DisplayCellBase* c) { ++static_cast<FakeCell*>(c)->regionStatistics; };
        h.showStatisticsList = [](DisplayCellBase* c, const void*, uint32_t row) {
            static_cast<FakeCell*>(c)->statisticsRows = static_cast<int>(row);
        };
        h.playerFeeds = [](DisplayCellBase* c) { return static_cast<FakeCell*>(c)->playerFeeds; };
        h.updateZoomBarPage = [](DisplayCellBase* c, bool) { ++static_cast<FakeCell*>(c)->zoomBarPages; };
        h.updateGridPage = [](DisplayCellBase* c, bool) { ++static_cast<FakeCell*>(c)->gridPages; };
        Marks().store(0);
    }
    ~ServicesScope() {
        TheComponentServices() = component_;
        TheGraphicsHostServices() = host_;
        TheGraphicsShapeServices() = shapes_;
    }
    static std::atomic<int>& Marks() {
        static std::atomic<int> marks{0};
        return marks;
    }

private:
    ComponentServices component_;
    GraphicsHostServices host_;
    GraphicsShapeServices shapes_;
};

// A cell, a recording window and a device bound to a pattern source; the device is the
// cell's current one and the window its current window.
struct Chain {
    explicit Chain(int64_t width, int64_t height, uint32_t channels = 3, int32_t hostWidth = 900,
                   int32_t hostHeight = 706)
        : cell(new FakeCell), source(new PatternSource(width, height, channels)) {
        cell->host.width = hostWidth;
        cell->host.height = hostHeight;
        window = new RecordingWindow(cell);
        device = new Image2DDevice(window, cell);
        window->current = window->latest = device;
        cell->currentDevice = device;
        cell->currentWindow = window;
        bound = ConsumerAttach(&device->pin, source);
    }
    ~Chain() {
        ConsumerDetach(&device->pin);
        window->current = window->latest = nullptr;
        device->Release();
        window->Release();
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        source->Release();
        cell->Release();
    }
    Chain(const Chain&) = delete;
    Chain& operator=(const Chain&) = delete;

    FakeCell* cell;
    PatternSource* source;
    RecordingWindow* window;
    Image2DDevice* device;
    bool bound = false;
};

// A cell, an image window and its device bound to a pattern source; the device is the
// cell's current one and the window its current window.
struct ImageChain {
    explicit ImageChain(int64_t width, int64_t height, uint32_t channels = 3, int32_t hostWidth = 900,
                        int32_t hostHeight = 706)
        : cell(new FakeCell), source(new PatternSource(width, height, channels)) {
        cell->host.width = hostWidth;
        cell->host.height = hostHeight;
        window = new Image2DWindow(cell);
        DeviceViewBase* made = nullptr;
        window->CreateDevice(&made);
        device = static_cast<Image2DDevice*>(made);
        window->current = window->latest = device;
        cell->currentDevice = device;
        cell->currentWindow = window;
        bound = ConsumerAttach(&device->pin, source);
    }
    ~ImageChain() {
        ConsumerDetach(&device->pin);
        window->current = window->latest = nullptr;
        device->Release();
        window->Release();
        cell->currentDevice = nullptr;
        cell->currentWindow = nullptr;
        source->Release();
        cell->Release();
    }
    ImageChain(const ImageChain&) = delete;
    ImageChain& operator=(const ImageChain&) = delete;

    FakeCell* cell;
    PatternSource* source;
    Image2DWindow* window;
    Image2DDevice* device;
    bool bound = false;
};

// ---- A recording shape container and a recording shell ------------------------------------
// The container's calls, as short texts, and what the window asks of the shell; the
// fixture's ServicesScope puts the tables back.

struct Recorder {
    int32_t current = -1;      // the kind of the current shape (-1: none)
    int32_t placing = -1;      // the kind of the shape being placed
    bool placeOk = true;
    bool anchorTool = false, selectMode = false;
    bool autoStop = true, playing = false, toolObject = false, projects = true;
    std::vector<std::string> calls;
    std::vector<int32_t> kinds;
    std::vector<std::vector<float>> rects;
    std::vector<std::string> shell;
    int32_t statusCode = 1;
    std::string statusText;
    uint32_t modifiers = 0;
    bool Called(const std::string& call) const {
        for (const std::string& c : calls)
            if (c == call) return true;
        return false;
    }
};
inline Recorder* gRec = nullptr;
inline Recorder* R(void* c) { return static_cast<Recorder*>(c); }
inline std::string Num(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

inline void InstallRecorder(Recorder* rec) {
    gRec = rec;
    GraphicsShapeServices& s = TheGraphicsShapeServices();
    s.removeShape = [](void* c, void*) { R(c)->calls.push_back("remove"); };
    s.removeShapesOf = [](void* c, void*) { R(c)->calls.push_back("remove all"); };
    s.currentKind = [](void* c) { return R(c)->current; };
    s.undoStep = [](void* c, bool undo) { R(c)->calls.push_back(undo ? "undo" : "redo"); };
    s.copyShape = [](void* c) {
        R(c)->calls.push_back("copy");
        return true;
    };
    s.pasteShape = [](void* c, int32_t mode) { R(c)->calls.push_back("paste " + std::to_string(mode)); };
    s.inscribeAnchors = [](void* c, int32_t mode) { R(c)->calls.push_back("inscribe " + std::to_string(mode)); };
    s.selectAdjacent = [](void* c, bool forward) { R(c)->calls.push_back(forward ? "next" : "previous"); };
    s.leaveAnchorTool = [](void* c) {
        const bool was = R(c)->anchorTool;
        R(c)->anchorTool = false;
        return was;
    };
    s.leaveSelectMode = [](void* c) {
        const bool was = R(c)->selectMode;
        R(c)->selectMode = false;
        R(c)->calls.push_back("leave select");
        return was;
    };
    s.setShapesFlag = [](void* c, bool on) { R(c)->calls.push_back(on ? "flag on" : "flag off"); };
    s.setShapesVisible = [](void* c, bool on) { R(c)->calls.push_back(on ? "visible" : "invisible"); };
    s.cycleDragMode = [](void* c) {
        R(c)->calls.push_back("drag mode");
        return true;
    };
    s.cycleEditMode = [](void* c) { R(c)->calls.push_back("edit mode"); };
    s.setCurrentShapeMode = [](void* c) { R(c)->calls.push_back("shape mode"); };
    s.resetPivots = [](void* c) { R(c)->calls.push_back("pivots"); };
    s.moveShape = [](void* c, double dx, double dy) { R(c)->calls.push_back("move " + Num(dx) + " " + Num(dy)); };
    s.snapshotShape = [](void* c) { R(c)->calls.push_back("snapshot"); };
    s.applyMove = [](void* c, double dx, double dy) {
        R(c)->calls.push_back("apply " + Num(dx) + " " + Num(dy));
        return true;
    };
    s.attachViewTool = [](void* c, uint32_t code) {
        const char text[5] = {static_cast<char>(code & 0xFF), static_cast<char>((code >> 8) & 0xFF),
                              static_cast<char>((code >> 16) & 0xFF), static_cast<char>(code >> 24), 0};
        R(c)->calls.push_back(std::string("tool ") + text);
    };
    s.dropHighlight = [](void* c) { R(c)->calls.push_back("highlight off"); };
    s.hideShapes = [](void* c) { R(c)->calls.push_back("hide"); };
    s.placingKind = [](void* c) { return R(c)->placing; };
    s.lastPointOfCurrent = [](void*, double*, double*) { return false; };
    s.placeShape = [](void* c, int32_t kind, int32_t mode, const float rect[4]) {
        Recorder* r = R(c);
        r->calls.push_back("place " + std::to_string(kind) + " " + std::to_string(mode));
        r->kinds.push_back(kind);
        r->rects.push_back({rect[0], rect[1], rect[2], rect[3]});
        return r->placeOk ? 1 : 0;
    };
    s.takeUpCurrent = [](void* c) {
        R(c)->calls.push_back("take up");
        R(c)->placing = R(c)->current;
        return true;
    };
    s.releasePlacing = [](void* c) { R(c)->calls.push_back("release"); };
    s.dropPlacing = [](void* c) { R(c)->calls.push_back("drop"); };
    GraphicsHostServices& h = TheGraphicsHostServices();
    h.modifiersNow = [] { return gRec->modifiers; };
    h.setStatus = [](int32_t code, int32_t redraw, const char* text) {
        EXPECT_EQ(redraw, 7);
        gRec->statusCode = code;
        gRec->statusText = text != nullptr ? text : "";
    };
    h.hasProjects = [] { return gRec->projects; };
    h.stepProjectItem = [](bool backward) { gRec->shell.push_back(backward ? "item back" : "item next"); };
    h.closeCurrentItem = [] { gRec->shell.push_back("close item"); };
    h.closeData = [] { gRec->shell.push_back("close data"); };
    h.playbackRedraw = [](DisplayCellBase*) { gRec->shell.push_back("playback redraw"); };
    h.playbackRuns = [](DisplayCellBase*) { return gRec->playing; };
    h.startAutoStop = [] {
        gRec->shell.push_back("auto stop");
        return gRec->autoStop;
    };
    h.toggleToolObject = [](DisplayCellBase*) { return gRec->toolObject; };
    h.redrawCoordReadout = [](DisplayCellBase*) { gRec->shell.push_back("coord readout"); };
    h.reloadSource = [](DisplayCellBase*) { gRec->shell.push_back("reload"); };
}

}  // namespace orva::display_test
