#pragma once
// The texture view: a small picture widget that shows a reduced picture of what a
// graphics window displays (held in a single-form TextureImage), a dashed outline of
// the whole data extent and a marker for the part the main window shows. A press
// re-centres that part, a drag moves it; the owner hears the movement through its move
// handler and scrolls its main view. The view can also read a region of the main
// window's pixels back into a buffer (from the back buffer, before the swap).
//
// Widget coordinates run upwards: the widget's (x, y) is its lower left corner measured
// from the window's lower left corner, as the picture is drawn. UI thread only.
#include <cstdint>

#include "platform/msg_types.h"
#include "toolkit/texture_image.h"

namespace orva {

struct gElement;
struct gWindow;

constexpr int32_t kTextureViewKind = 519;

// The owner's draw transform as the view reads and merges it: the fields drawing reads
// (TextureTransform) plus the derived rotation state.
struct TextureViewTransform : TextureTransform {
    uint8_t rotationActive = 0;  // a rotation or a flip is in force
    uint8_t rightAngle = 1;      // the angle is a whole multiple of 90 degrees
    uint8_t flipped = 0;         // flipX or flipY
    double cosA = 1.0, sinA = 0.0;
};

// The bounding box {left, top, width, height} of the transformed picture, in the
// transform's output pixels, relative to where the untransformed picture would start.
struct TextureFitResult {
    double left = 0, top = 0, width = 0, height = 0;
};
// Fits a transform to a picture of `size`: sets the rotation centre and returns the box.
// The owner may hand in its own (its affine record's fit); TextureFitTransform serves
// otherwise: rotation about the picture's centre, scale and flips as drawing applies them.
using TextureFitFn = void (*)(TextureViewTransform* transform, TextureFitResult* result, TextureSize size);
void TextureFitTransform(TextureViewTransform* transform, TextureFitResult* result, TextureSize size);

// The owner's frame: samples, rows first to last without padding.
struct TextureViewFrame {
    int32_t width = 0, height = 0;
    int32_t channels = 0;          // samples per pixel
    const void* pixels = nullptr;
    uint32_t flags = 0;            // kMosaicFrame16Bit: 16-bit samples
    // Set (with no pixels): the texture already holds this picture (the view's
    // pictureStamp says so); only the draw transform is applied anew.
    uint8_t keepTexels = 0;
    uint32_t word1 = 0, word2 = 0; // copied into the view with every upload
    TextureViewTransform transform; // the frame's own draw transform (when enabled)
};

struct TextureViewRect {
    float x = 0, y = 0, width = 0, height = 0;
};

// A region in whole pixels (data pixels, or the source window's pixels).
struct TextureRegion {
    int32_t x = 0, y = 0, width = 0, height = 0;
};

// The status line of the owner's window group (the application shell installs it).
using TextureStatusFn = void (*)(int32_t group, int32_t code, uint32_t flags, const char* text);
void SetTextureViewStatusHook(TextureStatusFn hook);
constexpr const char* kTextureViewHint = "+[Alt] - move horizontal, +[Ctrl] - move vertical";

// Embedded in its owner and value-initialised with it; closed (widget and texture
// released) at the latest when the owner goes.
struct TextureView {
    TextureView() = default;
    ~TextureView() { Close(); }
    TextureView(const TextureView&) = delete;
    TextureView& operator=(const TextureView&) = delete;

    gElement* widget = nullptr;     // null when closed
    float markerX = 0, markerY = 0;  // marker position, widget coordinates
    // A press heard first; true when the owner takes it as the start of a drag of its own
    // (a chart's strip pans by the pointer's travel): the marker then stays where it is.
    bool (*pressHandler)(void* owner) = nullptr;
    // The movement (dx, dy) in widget coordinates; without one the view repaints itself.
    void (*moveHandler)(void* owner, float dx, float dy) = nullptr;
    float markerOutline[4][2] = {};
    double inverseScaleX = 1.0, inverseScaleY = 1.0;
    double scaleX = 1.0, scaleY = 1.0;  // view pixels per data pixel
    int32_t viewWidth = 0, viewHeight = 0;
    float pictureX = 0, pictureY = 0, pictureWidth = 0, pictureHeight = 0;
    float drawOffsetX = 0, drawOffsetY = 0;
    float markerOriginX = 0, markerOriginY = 0;
    float markerWidth = 0, markerHeight = 0;
    int32_t dataWidth = 0, dataHeight = 0;
    float extentX = 0, extentY = 0, extentWidth = 0, extentHeight = 0;
    TextureImage image;
    float readDestX = 0, readDestY = 0, readDestWidth = 0, readDestHeight = 0;
    gWindow* sourceWindow = nullptr;  // the main window read back from; null: no read-back
    int32_t readX = 0, readY = 0, readWidth = 0, readHeight = 0;
    float readZoom = 1.0f;
    uint8_t* readBuffer = nullptr;    // RGB, 3 bytes per pixel
    uint32_t readBufferSize = 0;
    uint8_t created = 0;
    uint8_t active = 0;
    uint8_t centred = 0;

    void* owner = nullptr;
    uint32_t frameWord1 = 0, frameWord2 = 0;
    // Names the picture the texture holds: a number no other upload in the process was
    // given (0 before the first). An owner that gave its picture's pixels up keeps it to
    // know that the texture still shows that picture.
    uint64_t pictureStamp = 0;
    TextureViewTransform transform;   // the image's draw transform in full
    TextureFitFn fit = nullptr;       // null: TextureFitTransform
    float dragStartX = 0, dragStartY = 0;

    gElement* Create(gWindow* window, const TextureViewRect& rect, void* ownerObject);
    // Non-uniform fit of a data picture of `size` into the widget.
    bool FitImage(TextureSize size);
    // Non-uniform fit for `size`, then the frame uploaded (scaled to the widget).
    void Upload(const TextureViewFrame* frame, TextureSize size);
    // Uniform fit (aspect kept) with the frame's and the caller's transforms merged,
    // then the upload. `aspect`: the pixel aspect (its zoomOn flag and two factors).
    bool ConvertAndUpload(const TextureViewFrame* frame, const TextureViewTransform* callerTransform,
                          const TextureZoom* aspect, TextureSize size);
    // The visible region of the main view, in data pixels, of a data picture of `size`.
    void SetVisibleRect(const TextureRegion& region, TextureSize size);
    // Reads the source window's region (its back buffer) into readBuffer.
    void ReadBack();
    // The widget's close callback; also right for the owner to call.
    void Close();

    // Merges the caller's rotation and flips into `image`'s.
    static void MergeTransform(TextureViewTransform* image, const TextureViewTransform& caller);
    // Cuts a read region to a window of windowWidth x windowHeight and to at most
    // 640000 pixels (800 on a side when the other side allows), keeping it centred.
    static void FitReadRegion(TextureRegion* region, int32_t windowWidth, int32_t windowHeight);

    // The mouse rule and the drag step, in widget coordinates (tests call them too).
    void PressAt(float x, float y);
    void DragTo(float x, float y, float dx, float dy);

private:
    void Deactivate();
    // False when the frame keeps its texels (keepTexels) but they are too few for the
    // present draw scale: the caller uploads the picture again.
    bool UploadFrame(const TextureViewFrame* frame);
    void PrepareReadBack();
    void Repaint();
    static void Paint(gElement* e);
    static void OnMouse(gElement* e, uintptr_t data);
    static void OnDrag(gElement* e, const platform::Point* cursor);
    static void OnDestroy(gElement* e);
};

}  // namespace orva
