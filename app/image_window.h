#pragma once
// The image window: the graphics window for 2-D data. A display cell creates it when
// the data's format word marks image data; the window makes its Image2DDevice, which
// pulls the visible part of the current frame and keeps zoom and scroll, and binds it
// to the cell: the cell's view widget and its two scroll sliders, the pointer position
// and the values under it for the readouts, the statistics of the shown region in the
// cell's statistics list, and the lens view of the frame. UI thread only, except where
// a function says otherwise.
#include <cstdint>

#include "app/graphics_window.h"
#include "app/image_device.h"
#include "data/display_bitmap.h"
#include "framework/component_message.h"

namespace orva {

// The scale of a ruler for a zoom: mode 8 (whole units, `step` units a label) or mode
// 64 (fractional: `value` units for `step` pixels); `unitsPerPixel` of the axis.
constexpr int32_t kRulerInteger = 8;
constexpr int32_t kRulerFractional = 64;
struct RulerScale {
    int32_t mode = kRulerInteger;
    int32_t step = 5;
    double value = 5.0;
    double unitsPerPixel = 1.0;
};
// For a scale step n and a zoom z: k = 10 floor(0.1 n z), else floor(n z); both 0 give
// the fractional mode with n z; else the step is n k and the units per pixel
// (n k) / (n z). Unzoomed (z = 1): step n, mode 8.
RulerScale ComputeRulerScale(int32_t step, double zoom);

// Request codes the window sends its device's consumer as data messages.
constexpr int32_t kRequestRegionStatistics = 130;
constexpr int32_t kRequestLensFrame = 0x102;
constexpr int32_t kRequestLensReady = 0x103;
// The class of the window's request record.
inline constexpr ComponentId kWindowRequestId{{FourCC("WREQ"), FourCC("DT2D"), FourCC("DEVI"), FourCC("OUTG")},
                                              nullptr};

// What a request carries: the code, the device's pulled area and frame, and for the
// region statistics the twelve result words and the count the consumer fills in.
class WindowRequest : public MessageTarget {
public:
    const ComponentId* GetClassId() const override { return &kWindowRequestId; }
    int32_t AddRef() override { return ++refs; }
    int32_t Release() override { return --refs; }  // lives on the asker's stack
    int32_t refs = 1;
    int32_t code = 0;
    DeviceArea area;
    int32_t frame = -1;
    int32_t channel = -1;
    uint32_t words[12] = {};
    uint32_t count = 0;
};
// The window's request record of a message, or nullptr.
WindowRequest* AsWindowRequest(MessageTarget* target);

// Copies `count` rows of `rowBytes` plus one row more into the caller's buffer, which is
// reallocated with 64 spare bytes a row when it is too small or its surplus reaches 2 MiB;
// sizes above 512 MiB are refused. False when the rows do not fit.
bool CopyRowsToBuffer(TypedBuffer* buffer, const void* rows, uint32_t count, uint32_t rowBytes);

class Image2DWindow : public GraphicsWindow {
public:
    explicit Image2DWindow(DisplayCellBase* host);
    ~Image2DWindow() override;

    const ComponentId* GetClassId() const override { return &kImageWindowId; }
    bool CreateDevice(DeviceViewBase** out) override;
    bool CreateInstance(GraphicsWindow** out) override;
    bool QueryInterface(const ComponentId* id, void** out) override;
    bool ResetView(bool keep) override;
    bool BuildToolPanel(int32_t pageId) override;
    void RefreshToolPanel(uint32_t flags) override;
    void AttachHost() override;
    bool SelectChannel(int32_t number) override;
    void Layout() override {}
    void OnActivate() override;
    void Resize() override;
    void SetVisible(bool) override {}
    GraphicsColourList* GetDefaults() override;
    void RepaintHosts() override {}
    void SetColours(uint32_t colours) override;
    void PlaceSliders() override;
    void ResetZoomScroll() override;
    void SetFrameRect(TextureView* view) override;
    bool RenderToTextureView(TextureView* view) override;
    // Shape placement with the pointer belongs to the window's interaction: nothing yet.
    int32_t BeginPlacement(int32_t) override { return 0; }
    int32_t EndPlacement(int32_t) override { return 0; }
    void SetPointer(float x, float y) override;
    void ScrollBy(int32_t steps, bool tenfold, bool shift) override;
    void ScrollStepX(int32_t steps, bool tenfold) override;
    void ScrollStepY(int32_t steps, bool tenfold) override;
    GraphicsButtonHandler GetButtonHandler() override { return buttonHandler; }
    bool IsTracking() override;
    void SetSliderStyle(bool on) override;
    void RefreshLens(GraphicsLens* lens) override;
    void UpdateScales() override;
    void UpdateScrollControl(bool axisX) override;
    void RefreshFrame() override;

    // ---- The window's own operations
    // After a scroll or pointer move: poll the current consumer, refresh the readouts
    // and repaint the dirty windows.
    void RefreshAfterMove(bool redraw);
    // The view refresh (F10 and the device's changes): zoom, fit, frame, sliders, rulers.
    void RefreshView(bool fit);
    // The device gets the event at level 7, then every dirty window is repainted.
    void NotifyAndRepaint(int32_t event);
    // Moves the cell's offsets so that at least one pixel of the frame stays in the view;
    // true when they changed.
    bool KeepFrameInView();
    // The readout of the pixel under the pointer (caller holds the display lock); true
    // when the values changed, or once when the pointer left the frame.
    bool ReadValueUnderPointer();
    // The statistics list of the cell: a row of a list-kind result, else region
    // statistics asked of the consumer.
    void RefreshStatisticsList();
    // The zoom page's lens drag: the cell's offsets move by -(d x lens scale); Ctrl
    // keeps x, Alt keeps y (both held move both).
    void LensDrag(float dx, float dy, uint32_t keys);
    // A button pressed over the view without a tool while frame playback runs: the
    // playback's delayed notification is armed and, when it was, the cell's shapes are
    // hidden until playback tells its sources again. False when nothing was armed.
    bool ArmPlaybackNotify();

    Image2DDevice* Device() const { return dynamic_cast<Image2DDevice*>(current); }

    uint8_t flags[2] = {1, 1};
    uint32_t drawColour = 0;
    int32_t sliderOffsetX = 0;
    int32_t sliderOffsetY = 0;
    int32_t sizeWords[2] = {100, 100};
    int32_t selectedChannel = 0;
    int32_t lastFrame = -1;          // of the last readout
    int32_t lastChannel = -1;
    int64_t lastIndex = -1;
    RulerScale rulers[2];            // horizontal, vertical
    GraphicsButtonHandler buttonHandler = nullptr;
    // The view buffer: a pixel budget and a row buffer (the shapes' snapshots).
    uint32_t pixelBudget = 0x400000;
    TypedBuffer rowBuffer;
    // The frame rendered by the window itself when the consumer has none ready.
    DisplayBitmap bitmap;
    uint8_t transformReset = 1;      // the lens view's transform is reset on the next frame

private:
    // Asks the device's consumer with a data message; true when it answered yes.
    bool Ask(int32_t code, WindowRequest* request);
    bool PlayerFeeds() const;
    void DropViewContent(TextureView* view);
    bool UploadFrameToView(TextureView* view);
};

// The eight named colours the first image window puts into the colour list.
extern const GraphicsColour kImageWindowColours[8];

}  // namespace orva
