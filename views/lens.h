#pragma once
// The lens of a workspace: a small square widget in the workspace's window that shows,
// enlarged, the screen pixels around the cursor in the active display cell, and on
// request the red, green and blue values of the pixel under the cursor. It reads the
// back buffer of the workspace window in the paint pass in which the cell has just drawn,
// so it shows what is on screen. UI thread only.
#include <cstddef>
#include <cstdint>

namespace orva {

class WorkspaceComponent;
struct gElement;
struct gWindow;

constexpr int32_t kLensKind = 514;
constexpr uint32_t kLensMinSize = 2;
constexpr uint32_t kLensMaxSize = 800;
constexpr uint32_t kLensDefaultSize = 24;
constexpr float kLensDefaultZoom = 6.0f;
// The lens's frame colour (grey).
constexpr float kLensFrameGrey = 0.88f;

struct Lens {
    gElement* widget = nullptr;
    uint32_t size = 0;            // edge of the sampled square, 2..800
    float zoom = kLensDefaultZoom;
    uint8_t* buffer = nullptr;    // size x size RGB triples, rows bottom-up; owned
    uint8_t showValues = 0;
    uint32_t centreOffset = 0;    // byte offset of the centre pixel in the buffer
    float textHeight = 0.0f;      // the lens font's height plus 4
    uint8_t on = 0;
    uint8_t pinned = 0;
    uint8_t state = 0;
    uint32_t capacity = 0;        // bytes allocated for the buffer
};

// Clamps n to 2..800, computes the centre offset and keeps the buffer when it holds
// n x n x 3 bytes (else a new one; on failure no buffer and capacity 0).
void LensSetSize(Lens* lens, uint32_t n);
// Frees the buffer (capacity 0).
void LensFreeBuffer(Lens* lens);
// extent = size x zoom rounded (halves away from zero); x = available width - extent - 4.
void LensPixelSize(const WorkspaceComponent* workspace, float* x, float* extent, float availableWidth);
float LensMargin(float a, float b);
// The lens widget at the right edge of the window, 2 pixels below the top margin.
bool CreateLensView(WorkspaceComponent* workspace, gWindow* window, void* owner);
bool LensFitText(WorkspaceComponent* workspace);
void LensShowValues(WorkspaceComponent* workspace, bool on);
void LensSetOn(WorkspaceComponent* workspace, bool on);
// The values text of a pixel: "%3u%3u%3u" (13 bytes with the end).
void LensValuesText(const uint8_t rgb[3], char text[13]);
// The sampling origin in the cell widget (px, py, widget coordinates with y down) for a
// cursor position: half the size up and left of it, so that the cursor's pixel is the
// square's centre pixel; the square stays inside a widget of width x height.
void LensSampleOrigin(uint32_t size, double cursorX, double cursorY, float widgetWidth, float widgetHeight,
                      int32_t* px, int32_t* py);
// The lens widget's painter.
void LensPaint(gElement* widget);

}  // namespace orva
