#pragma once
// The view geometry of the 2-D output device: where the frame lies in the image window
// (scroll position, view offsets, zoom, scaled size), zooming about the placement
// point, scrolling by a ratio, fitting and centring a new frame and clipping a point to
// the frame. Plain values and functions: the device keeps one record and calls them on
// the UI thread; its pull reads the scrolled origin and the scaled sizes under the
// display lock.
#include <cstdint>

namespace orva {

// The zoom of both axes. An axis is zoomed when its factor differs from 1.0 by at least
// DBL_EPSILON; an unzoomed axis holds exactly 1.0 and reciprocal 1.0.
struct ZoomRecord {
    uint8_t lock = 0;          // the two factors zoom together (the zoom bar's lock)
    uint8_t any = 0;
    uint8_t zoomedX = 0;
    uint8_t zoomedY = 0;
    double x = 1.0;
    double y = 1.0;
    double inverseX = 1.0;
    double inverseY = 1.0;
};

constexpr double kMaxZoom = 512.0;
// The smallest zoom of an axis is 2 / the frame's size on it (2 x this without a size).
constexpr double kMinZoomUnknownSize = 0.001;
// Fitting a frame above 0x4000000 / 24 pixels computes with at most this many pixels a
// side (the largest square of 24-byte pixels within 64 MiB).
constexpr int32_t kFitCapSide = 1182;
constexpr uint64_t kFitCapBytes = 0x4000000;
// Scaled sizes above this are stored as 0x7FFFFFFF.
constexpr double kMaxScaledSize = 2147483646.0;

struct ImageViewRecord {
    int32_t frameWidth = 0;
    int32_t frameHeight = 0;
    int32_t subX = 0;              // the frame's sub-image offset
    int32_t subY = 0;
    int32_t scrollX = 0;           // whole scroll position
    int32_t scrollY = 0;
    double offsetX = 0.0;          // view offsets, exact
    double offsetY = 0.0;
    double roundedX = 0.0;         // the same rounded toward zero
    double roundedY = 0.0;
    double originX = 0.0;          // the scrolled origin: where frame pixel 0 lies in the view
    double originY = 0.0;
    ZoomRecord zoom;
    int32_t scaledWidth = 0;       // the frame's size times the zoom, rounded up
    int32_t scaledHeight = 0;
    uint32_t counters[2] = {0, 0};
};

// Sets one axis's factor (x when `axisX`) with its flag and reciprocal.
void ZoomSetAxis(ZoomRecord* zoom, bool axisX, double factor);
// ceil(size x zoom), 0x7FFFFFFF above 2147483646; the size itself when unzoomed.
int32_t ScaledSize(int32_t size, double zoom, bool zoomed);
// Scaled sizes and the scrolled origin again from the record's own values.
void ViewRecompute(ImageViewRecord* view);
// The frame's size and sub-image offset, then ViewRecompute.
void ApplyFrameOffsets(ImageViewRecord* view, int64_t width, int64_t height, int64_t subX, int64_t subY);
// Scroll, offsets and zoom back to 0 and 1.0 (the frame description stays).
void ViewResetScale(ImageViewRecord* view);
// The smallest zoom of an axis.
double MinZoom(const ImageViewRecord& view, bool axisX);

// Re-scrolls one axis by a zoom ratio so that the placement coordinate `place` keeps
// its frame position; the scrolled origin is recomputed.
void ViewScrollAxis(ImageViewRecord* view, bool axisX, double ratio, double place);

// Zooms one axis (0.0 is 1.0, -1.0 twice, -2.0 half the current factor) within
// [MinZoom, 512] about the placement point (placeX, placeY). With `linked` the other
// axis takes the same factor when both were equal, else it is scaled by the same ratio,
// refused when that takes it out of its own range. True when a factor changed.
bool ViewSetZoom(ImageViewRecord* view, bool axisX, double factor, bool linked, double placeX, double placeY);
// Both axes at once, with the same special values and bounds.
bool ViewSetZoom2(ImageViewRecord* view, double factorX, double factorY, double placeX, double placeY);

// Fit and centre of a new frame in a host view of hostWidth x hostHeight. With `fit`:
// a frame that does not fit the view less 2 pixels gets the largest zoom below 1 that
// fits (floored to thousandths; the frame's sides each capped at kFitCapSide when it
// holds more than kFitCapBytes / 24 pixels). With `centre` the frame is centred, else
// its offset is 0. The placement point becomes (1, 1) without fit or centre and, with
// both, the host's centre less 1.5 when it lay outside the host. True when anything
// changed.
bool ViewFitAndCentre(ImageViewRecord* view, int32_t hostWidth, int32_t hostHeight, bool fit, bool centre,
                      float* placeX, float* placeY);

// Centres one axis of the frame in a host view of hostSize pixels on that axis, as a new
// frame is centred, when the frame fits in the view less 2 pixels; false (nothing
// changed) when it does not.
bool ViewCentreAxis(ImageViewRecord* view, bool axisX, int32_t hostSize);

// A float rectangle (left, top, right, bottom); corners may be reversed.
struct ViewRectF {
    float left = 0.0f, top = 0.0f, right = 0.0f, bottom = 0.0f;
};
// Clips a view point to the frame's rectangle (its origin plus the scaled size), which
// an optional rectangle narrows. The answer starts at 1 and is -1 when the frame lies
// wholly beyond the rectangle on an axis. A point inside answers that; otherwise mode 1
// moves it onto the nearest edge and mode 2 to the middle of the range on each axis
// where it lies outside, and the answer is 0 (or -1).
int32_t ClampPointToFrame(const ImageViewRecord& view, float* x, float* y, const ViewRectF* rect, int32_t mode);

// Snaps the end of a segment from `start`: with dx, dy the end less the start, |dy| <=
// |dx| / 2 gives a horizontal segment, |dy| > 2 |dx| a vertical one, anything between a
// diagonal whose legs are both sqrt(dx^2 + dy^2) x 0.70710677 with the signs of dx, dy.
void SnapSegment(const float start[2], float end[2]);

// Whether the segment (x0, y0)-(x1, y1) meets the frame [0, width] x [0, height]: 1 when
// it does, -1 when it lies wholly outside (the placement of a segment is refused then).
int32_t PointOnSegmentTest(double x0, double y0, double x1, double y1, double width, double height);

}  // namespace orva
