#pragma once
// The 2-D output device: pulls the visible part of the current frame (with a guard band
// of up to 256 pixels, so that small scrolls need no pull) from its upstream component,
// normally the Transformation, which delivers 8-bit RGB or RGBA pixels; uploads it into
// a mosaic of power-of-two textures in the host's GL context; and draws it, zoomed and
// scrolled, into the image window with the origin and placement marks and the drag
// feedback of the shape tools.
//
// Threads: Deliver may run on the playback timer thread. The pull and the CPU part of
// the upload run on the calling thread under the display lock; the texture upload and
// every GL call run on the user-interface thread. A caller on another thread leaves the
// display lock and then has the user-interface thread upload, waiting for it; the UI
// side takes the lock itself. Nothing waits for the UI thread while holding the lock.
#include <atomic>
#include <cstdint>

#include "app/device_format.h"
#include "app/image_view.h"
#include "app/output_device.h"
#include "data/affine_record.h"
#include "toolkit/texture_image.h"

namespace orva {

class GraphicsWindow;
struct GraphicsHost;

// Pulls above this many pixels show the wait cursor.
constexpr uint64_t kWaitCursorPixels = 1000000;
// The guard band is at most this many pixels on each side; areas at most this wide.
constexpr int32_t kGuardBand = 256;
constexpr int32_t kMaxAreaSide = 0x800000;

// The area of a frame a device pulled or wants, in frame pixels.
struct DeviceArea {
    int64_t x = 0;
    int64_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

class Image2DDevice : public OutputDevice {
public:
    // A device drawn by `window` in the display cell `host` (either may be null and is
    // set later by the port).
    Image2DDevice(GraphicsWindow* window, DisplayCellBase* host);
    ~Image2DDevice() override;

    const ComponentId* GetClassId() const override;
    bool CreateInstance(OutputDevice** out) override;
    bool QueryInterface(const ComponentId* id, void** out) override;
    // The pin's format decision: unsigned 8-bit samples (0x101 and none of 0x240000),
    // 3 or 4 channels.
    bool AcceptFormat(FormatRequest* request) override;

    // The pull of the visible area (the base's refresh slot).
    int32_t Refresh() override;
    bool Deliver() override;
    bool ResetDeviceView(bool fit) override;
    void ResetScale() override;
    void ReleaseImage() override;
    // A change upstream (the stage's scaling or colours) makes the pulled picture stale.
    void ResetStep2() override;
    void OnEvent(int32_t code, int32_t level) override;
    bool SelectIndex(int32_t index) override;
    int32_t InvalidateArea() override;
    bool SetZoom2(double zoomX, double zoomY) override;
    bool SetZoom(bool axisX, double zoom, bool linked) override;
    // The window's scroll controls and scales after a new zoom.
    void AfterZoom();
    // Centres the axes that the zoom just brought back to 100 % (see the cpp).
    void CentreAxesBackAtFullSize(const ZoomRecord& before);
    // Moves the window's shift into the view's offset (a zoom then scales it).
    void FoldHostShift();
    void RemoveShapes() override;

    // Re-scrolls an axis by a zoom ratio about the window's placement point.
    void ScrollX(double ratio);
    void ScrollY(double ratio);
    // The frame index, description and scroll state again; false without a frame.
    bool RefreshGeometry();
    // The cell has no workspace.
    bool HostHasWorkspace() const;
    // The frame count of the source (negative: unknown).
    int64_t SourceFrameCount() const;
    // True while the device is one of its port list's playable records: the list's frame
    // cursor then chooses the frame (playback and frame steps move it), else the
    // selected index does. The pull reads it on the playback thread too.
    bool PlayedByList() const;
    int64_t WantedIndex() const;
    // Draws the texture at the scrolled origin (UI thread, host's context current).
    void DrawTexture();
    // The texture upload of the frame pulled last; UI thread. True when done.
    bool UploadNow();
    // True while the texture holds a picture.
    bool HasTexture() const { return texture.count != 0; }

    // ---- State
    uint8_t changed = 0;              // frame, channel, width or view changed
    uint16_t cachedArea = 0;          // the last pulled area is valid
    int32_t cachedFrame = -1;         // of the last frame description
    int32_t cachedChannel = -1;
    int64_t cachedWidth = -1;
    int64_t selectedIndex = 0;        // of the view
    uint32_t firstPlane = 0;          // the first of three shown planes
    int32_t channel = -1;             // the channel to request (-1: any)
    uint8_t frameLock = 0;
    DeviceArea area;                  // the area of the last pull request
    DeviceArea lastArea;              // of the last successful pull
    DeviceArea drawnArea;             // where the texture's picture starts and its size
    ImageViewRecord view;
    TextureImage texture{};
    AffineRecord affine[2];
    uint8_t frameFlags[2] = {0, 0};   // per-frame flags, cleared on a new frame
    uint8_t renderFlag = 0;           // the window may render raw frames itself
    // The upload of the frame pulled last waits for the UI thread (a delivery on another
    // thread staged it); the tiles wait to be freed.
    std::atomic<uint8_t> uploadPending{0};
    std::atomic<uint8_t> freePending{0};
    TypedBuffer rgb;                  // RGBA pixels packed to RGB for the upload
    uint8_t packed = 0;               // `rgb` holds the frame pulled last
    DeviceDataFormat input;           // the input format the pin accepted
    uint64_t uploads = 0;             // texture uploads made (BuildMosaic calls)
    int32_t pulledFrame = -1;         // frame and channel of the last successful pull
    int32_t pulledChannel = -1;
    // A fit asked for by the view reset waits for the first frame shown: the view size
    // it was computed for (0: not yet, the view or the frame had no size).
    uint8_t fitPending = 0;
    int32_t fitWidth = 0;
    int32_t fitHeight = 0;

private:
    // The pull of Refresh, placing the frame by `v` (the view record itself on the UI
    // thread, a copy of the published one elsewhere).
    int32_t Pull(ImageViewRecord& v);
    // The view record as the UI thread's last pull left it, for pulls on other threads
    // (written on the UI thread, read elsewhere, both under the display lock).
    ImageViewRecord published_;
    // Fit (with `fit` and the settings) and centre the frame in the host's view; false
    // when the view or the frame has no size yet, or nothing moved.
    bool FitToHost(bool fit);
    int32_t PendingOrNothing();
    void CommonTail(int32_t level);
    void DeliverSteps();
    void AfterDelivery();
    // The post-pull handler (deliver hook): upload, or free the tiles for no data.
    static bool PostPull(DeviceViewBase* device);
    static void UploadOnUi(void* device);
    bool FreeTilesNow();
    void PackRgb();

};

// Draws every shown device of an image window with the marks and the drag feedback
// (the window's draw callback; UI thread, host's context current, the model-view at the
// view widget's top-left corner moved by the cell's offsets (GraphicsHost offsetX and
// offsetY), y down, one unit a pixel).
void DrawImageWindow(GraphicsWindow* window);

// GL calls the devices were asked to make on a thread other than the user-interface
// thread (and skipped); stays 0 in a correct program.
uint64_t OffUiThreadGlCalls();

}  // namespace orva
