#pragma once
// The interface every output device offers on top of the framework's device base: the
// 2-D image device and the 1-D chart device both implement it. A device is the last
// component of a display chain: its pin is bound to the upstream component (normally
// the Transformation), it pulls the current frame, keeps it in a form its graphics
// window can draw and decides when that window must be repainted.
//
// The framework reaches a device through the base's virtuals; each of them is one of
// the operations below (Refresh is Pull, RefreshFromUpstream is Deliver, the
// activation check is ResetDeviceView with fitting, the two reset steps are
// ResetScale and ReleaseImage, Invalidate is OnEvent, ApplyFastMode is
// InvalidateArea), so that a call through either name does the same.
#include <cstdint>

#include "framework/device_view.h"

namespace orva {

class GraphicsWindow;
struct GraphicsHost;

// Pipeline events a device takes through OnEvent (code, level). Level 3 and above
// marks the host's toolkit window dirty; level 7 also repaints every dirty window.
constexpr int32_t kDeviceEventAttach = 2;        // the consumer was (re)attached: poll and redraw
constexpr int32_t kDeviceEventAttachOther = 3;   // as 2, for a device that is not the host's current one
constexpr int32_t kDeviceEventRemoveShapes = 4;  // remove the shapes of this device
constexpr int32_t kDeviceEventRemoveShape = 5;   // remove this device's current shape
constexpr int32_t kDeviceEventScrollX = 6;
constexpr int32_t kDeviceEventScrollY = 7;
constexpr int32_t kDeviceEventNewData = 9;       // new data
constexpr int32_t kDeviceEventNewFrame = 10;     // a new frame
constexpr int32_t kDeviceEventInvalidate = 11;   // forget the pulled area
constexpr int32_t kDeviceEventGeometry = 12;     // frame index, description and scroll state again
constexpr int32_t kDeviceEventChanged = 13;      // changed: tell the display
constexpr int32_t kDeviceEventArea = 14;         // the cached area is invalid: tell the display
constexpr int32_t kDeviceEventRedraw = 15;       // tell the display
constexpr int32_t kDeviceEventShapes = 16;       // a shape changed: deliver again
constexpr int32_t kDeviceEventPaint = 18;        // repaint the host's window at once (level 7)
constexpr int32_t kDeviceEventDecal = 20;        // texture to decal mode, then as 18
constexpr int32_t kDeviceEventSelectTab = 23;    // refresh the select-tab page

// Levels of OnEvent.
constexpr int32_t kDeviceLevelMark = 3;     // mark dirty; the next refresh of all windows paints
constexpr int32_t kDeviceLevelRepaint = 7;  // repaint every dirty window at once

// The dirty state a toolkit window gets when a device delivered into it.
constexpr uint32_t kWindowDirtyRepaint = 7;

class OutputDevice : public DeviceViewBase {
public:
    // A device owned by `owner`, drawn in the display cell `host` (null: set later by the
    // port).
    explicit OutputDevice(ComponentBase* owner, DisplayCellBase* host = nullptr)
        : DeviceViewBase(owner), host_(host) {}

    // ---- Component slots (id, destruction, counting come from the base)
    // A new device of the same kind (count 1); false when it cannot be made.
    virtual bool CreateInstance(OutputDevice** out) = 0;
    // Answers the device's own id, the drawing-device id "OUTG","DRAW","DEVI","OUTG"
    // and "BASE",0,0,0: a reference is added and the device stored. Any other id: false.
    virtual bool QueryInterface(const ComponentId* id, void** out) = 0;

    // ---- Device operations
    // The pull of the visible area (2-D) or of the current spectrum (1-D): a pull code
    // (0 nothing, 1 pending, 2 unchanged data, 3 and above new data).
    int32_t Pull() { return Refresh(); }
    // Pull under the display lock and mark the host's toolkit window dirty when data
    // came; then the lens and readout refresh of the host's workspace. True when
    // something was delivered.
    virtual bool Deliver() = 0;
    // The selected index clamped to the source's frames, the view record's counters
    // reset, fitted and centred (with `fit`); false without a host.
    virtual bool ResetDeviceView(bool fit) = 0;
    // Scroll, offsets and zoom back to their start.
    virtual void ResetScale() = 0;
    // Frees what the device holds for drawing (texture, curve images).
    virtual void ReleaseImage() = 0;
    // A pipeline event (kDeviceEvent...) at a level (kDeviceLevel...).
    virtual void OnEvent(int32_t code, int32_t level) = 0;
    // Selects a frame (2-D) or a row (1-D): n (1-based; 0 stays 0) becomes n - 1,
    // clamped to the count. True when the selection changed.
    virtual bool SelectIndex(int32_t index) = 0;
    // Forgets the last pulled area.
    virtual int32_t InvalidateArea() = 0;
    // The frame description (frame number, channel, width, height) of the device's
    // source: the upstream's cached one when frame and channel match (a negative value
    // matches any), else the source's answer; nullptr when there is none.
    virtual const FrameDataRecord* FrameDescription(int32_t frame, int32_t channel);
    // Both zoom factors, or one (axis true: x). Special values: 0.0 means 1.0, -1.0
    // twice the current zoom, -2.0 half of it. The answer tells whether it changed.
    virtual bool SetZoom2(double zoomX, double zoomY) = 0;
    virtual bool SetZoom(bool axisX, double zoom, bool linked) = 0;

    // ---- The framework's names for the same operations
    void RefreshFromUpstream() override { Deliver(); }
    bool CheckActivation() override { return ResetDeviceView(true); }
    void ResetStep1() override { ResetScale(); }
    void ResetStep2() override { ReleaseImage(); }
    void Invalidate(uint32_t key, int32_t reason) override { OnEvent(static_cast<int32_t>(key), reason); }
    void ApplyFastMode() override { InvalidateArea(); }

    // The graphics window that draws the device (the framework's output window).
    GraphicsWindow* Window() const;
    // The display cell (the port's, else the one given at construction) and its record.
    DisplayCellBase* Cell() const { return display != nullptr ? display : host_; }
    GraphicsHost* HostRecord() const;
    // This device is the cell's current device / the cell is its workspace's active cell.
    bool IsCurrent() const;
    bool HostIsActive() const;

protected:
    // Marks the host's toolkit window dirty at level 3 and above (UI thread only); level 7
    // also repaints every dirty window.
    void MarkByLevel(int32_t level);
    // The attach events (kDeviceEventAttach, kDeviceEventAttachOther): the consumer is
    // attached again, the component state polled under the display lock and the cell
    // asked to redraw. The "other" event is for a device that is not the cell's current one.
    void TakeAttachEvent(int32_t code, int32_t level);

private:
    DisplayCellBase* host_ = nullptr;
};

// The frame description of the device's source for frame and channel (a negative
// value matches any): the link's cached one when it fits, else the source's answer;
// nullptr when there is none or the device is not bound.
const FrameDataRecord* QueryFrameDesc(const DeviceViewBase* device, int32_t frame, int32_t channel);

}  // namespace orva
