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
#include "platform/msg_types.h"

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

// The zoom keys: the next zoom of an axis from z for a signed step s within [minimum,
// 512]. In: 512 at or above it; z + s rounded down to hundredths when s <= z; else s (at
// least the minimum). Out: z + s, rounded down to hundredths while positive, at least
// the minimum. A result of 0 or less is 1.0. The hundredths are taken with a margin of
// 1e-6, so that 0.06 + 0.01 gives 0.07 and not 0.06.
double NextKeyZoom(double zoom, double step, double minimum);

// Shape kinds the tool keys place.
constexpr int32_t kPlacePoint = 0;
constexpr int32_t kPlacePolyLine = 1;
constexpr int32_t kPlaceBSpline = 2;
constexpr int32_t kPlaceLine = 3;
constexpr int32_t kPlaceRect = 4;
constexpr int32_t kPlaceEllipse = 6;
// The cursors of the image view: moving, placing a shape, and its own.
constexpr int kImageCursorMove = 102;
constexpr int kImageCursorPlacing = 177;
constexpr int kImageCursorView = 106;
// The status text of status line 0 while Space is held.
inline constexpr char kMoveModeText[] = "+[Alt] key - move obj";
// The view tool attached after keyboard moves of a shape.
constexpr uint32_t kViewToolAnchors = FourCC("ANCR");

// Request codes the window sends its device's consumer as data messages.
constexpr int32_t kRequestRegionStatistics = 130;
constexpr int32_t kRequestLensFrame = 0x102;
constexpr int32_t kRequestLensReady = 0x103;
// The class of the window's request record.
inline constexpr ComponentId kWindowRequestId{{FourCC("WREQ"), FourCC("DT2D"), FourCC("DEVI"), FourCC("OUTG")},
                                              nullptr};

// What a request carries: the code, the device's pulled area and frame, for the
// region statistics the twelve result words and the count the consumer fills in, and for
// the frame request (0x102) the result record the consumer puts the whole frame into.
class WindowRequest : public FramePictureTarget {
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
    bool PicturePullsFrame() const override;
    // Shape placement with the pointer: starts or continues placing (argument 0 a press,
    // 1 and 2 the pointer's point, 3 a drag at once); ends it (result 0 cancel, 1 the
    // button released, 2 Enter, 3 another tool starts). EndPlacement answers the result
    // it took effect with (0 when nothing happened or the shape was refused).
    int32_t BeginPlacement(int32_t argument) override;
    int32_t EndPlacement(int32_t result) override;
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

    // ---- Keys and mouse (the handlers the toolkit and the cell call)
    // A key press: the toolkit's key word and its repeat count; 1 when used, 0 to pass
    // it on, kKeyToolFlagToggled for F12 without a tool object.
    int32_t OnKeyDown(uint32_t key, uint32_t repeat);
    // A key release (the toolkit's key-up word); true when used.
    bool OnKeyUp(uint32_t key);
    // The wheel: the delta (120 a notch) and the MK word of the buttons and keys held.
    void OnWheel(int32_t delta, uint32_t keys);
    // The pointer moved to a point of the cell's toolkit window (client coordinates).
    void OnPointerMove(float x, float y);
    // A mouse button went down or up over the view.
    bool OnButton(bool down);
    // The drag of move mode (Space held): the pointer moved by dx, dy with a button held.
    void OnMoveDrag(int32_t dx, int32_t dy);
    // Starts the cell's shape tool (a key or a menu): an active tool ends first (result
    // 3), then the placing begins with the argument.
    void StartShapeTool(int32_t mode, int32_t kind, int32_t argument);
    // The Edit menu's "take up the current shape again".
    void TakeUpShape();
    // The pointer moved by the keys (dx, dy view pixels); the system pointer follows.
    void MovePointerBy(double dx, double dy);
    // Scrolls an axis by whole pixels unless the scroll position already lies at the
    // int32 limit that way; false then.
    bool ScrollAxisBy(bool axisX, int64_t step);
    // Zoom keys: in or out by the step (0.01, 0.1 with Shift) times (repeat + 1) on the
    // axes the modifiers choose; false when nothing changed.
    bool ZoomByKey(bool in, uint32_t key, uint32_t repeat);
    // Ctrl with a digit; false when it does nothing (a mark not set).
    bool JumpToPosition(int32_t digit);
    // Re-snaps the end point of a running drag to the pointer.
    void SnapDragEnd();
    // Move mode (Space): entered / left.
    void EnterMoveMode();
    void LeaveMoveMode();

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
    // The whole current frame as the consumer shows it (its answer to the frame request):
    // the picture of the preview and the lens view, whatever part the view pulled.
    PullResult picture;
    // Once a view's texture holds the picture, its pixels are given back (a whole frame
    // of them); the texture they went to, by its stamp, then stands for them until the
    // frame or its colours change (another view asks for the picture anew). A picture
    // whose pixels were given back names the view whose texture holds them.
    const TextureView* pictureView = nullptr;
    uint64_t pictureStamp = 0;
    int32_t pictureSize[3] = {0, 0, 0};  // width, height, channels
    uint8_t transformReset = 1;      // the lens view's transform is reset on the next frame
    int32_t keyMoves = 0;            // keyboard moves of the current shape since the last key release
    uint8_t moveMode = 0;            // Space is held: the picture follows drags

    // The modifier bits held now.
    uint32_t ModifiersNow() const;
    // Repaints the cell's toolkit window at once (marks it when it cannot be painted).
    void RepaintNow();
    // A linked view's cursor at a frame point: the cursor mark stands there and the value
    // readout follows it; false without a device.
    bool ShowMarkAtFrame(double fx, double fy);

private:
    int32_t OnSpecialKey(uint32_t key, uint32_t repeat);
    int32_t OnCharacterKey(uint32_t key);
    bool ArrowKey(bool axisX, int32_t sign, uint32_t key, uint32_t repeat, bool page);
    void EndKeyboardMoves();
    void ShowViewCursor(int id);
    void SetPointerQuiet(float x, float y);
    bool ToFrame(float x, float y, double* fx, double* fy) const;
    // Asks the device's consumer with a data message; true when it answered yes.
    bool Ask(int32_t code, WindowRequest* request);
    bool PlayerFeeds() const;
    void DropViewContent(TextureView* view);
    bool UploadFrameToView(TextureView* view);
};

// The view widgets an image window serves: the window behind a view, binding a view
// to a window (null unbinds it) and the handlers the window installs in the view.
Image2DWindow* ImageWindowOfView(const gElement* view);
void BindImageView(gElement* view, Image2DWindow* window);
void ImageViewPointerTracker(gElement* view, const platform::Point* point);
void ImageViewMoveDrag(gElement* view, const platform::Point* point);
bool ImageViewButton(gElement* view, uintptr_t data);
void ImageViewClick(gElement* view, uintptr_t data);
void ImageViewWheel(gElement* view, int delta, int keys);

// The eight named colours the first image window puts into the colour list.
extern const GraphicsColour kImageWindowColours[8];

}  // namespace orva
