#pragma once
// The affine transform record: one planar transformation of a frame (a zoom
// per axis, a rotation in degrees about the frame centre, a mirror per axis,
// an optional shift of the output centre) with the quantities derived from it,
// and the operations that fit an output size to an input size and find the
// input rectangle that an output rectangle needs.
//
// The record is a plain value, copied whole. Its owners (the affine filter,
// the output devices, the display cells and the workspace, the texture view's
// fit) keep one each and rewrite it through the setters below, which keep the
// derived flags consistent.
#include <cstdint>

namespace orva {

struct AffineRecord {
    uint8_t active = 0;     // geometric or scaled: the record changes anything
    uint8_t order = 0;      // which composition of zoom and rotation the mapping uses
    uint8_t linked = 1;     // the zoom factors change together
    uint8_t scaled = 0;     // scaledX or scaledY
    uint8_t scaledX = 0;    // |zoomX - 1| >= DBL_EPSILON
    uint8_t scaledY = 0;
    double zoomX = 1.0;     // output pixels per input pixel, at most kAffineMaxZoom
    double zoomY = 1.0;
    double stepX = 1.0;     // input pixels per output pixel: 1 / zoom (exactly 1.0 at zoom 1)
    double stepY = 1.0;
    uint8_t geometric = 0;  // rotated or flipped
    uint8_t rotated = 0;    // the angle is not within (-1e-307, 1e-307)
    uint8_t rightAngle = 1; // the angle is a whole multiple of 90 degrees (0 counts)
    uint8_t flipped = 0;    // flipX or flipY
    uint8_t flipX = 0;
    uint8_t flipY = 0;
    double angle = 0.0;     // degrees, within (-360, 360)
    double scaledCentreX = 0.0;  // half the scaled (unrotated) input size plus the shift
    double scaledCentreY = 0.0;
    double shiftX = 0.0;    // shift of the output centre, output pixels
    double shiftY = 0.0;
    double centreX = 0.0;   // output centre: half the output size plus the shift
    double centreY = 0.0;
    double cosA = 1.0;
    double sinA = 0.0;
};

// The head of the affine filter's state: a flag byte, a flag word (bit 0:
// interpolation on), then the record.
struct AffineFilterRecord {
    uint8_t flag = 0;
    uint32_t flags = 0;
    AffineRecord record;
};

constexpr double kAffineMaxZoom = 512.0;

// A frame size (width, height).
struct AffineSize {
    int64_t width = 0;
    int64_t height = 0;
};

// A rectangle of a frame: origin and size.
struct AffineRect {
    int64_t x = 0;
    int64_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// A box in output pixels, relative to the origin of the scaled, untransformed
// frame: {left, top, width, height}.
struct AffineBox {
    double left = 0.0;
    double top = 0.0;
    double width = 0.0;
    double height = 0.0;
};

// Every field to its default (order 0, linked, right angle, zooms, steps and
// cosine 1, the rest 0); returns the record.
AffineRecord* AffineRecordInit(AffineRecord* record);
// The affine filter's head: flag and flag word cleared, the record initialised
// with order 1, no mirror, zoom 1 and angle 0 (inactive).
void AffineFilterRecordInit(AffineFilterRecord* head);

// Zoom of one axis: 0, a negative zoom and NaN count as 1.0, a zoom above
// kAffineMaxZoom becomes it; within DBL_EPSILON of 1 it is stored as exactly
// 1.0 with step 1.0 and the axis is not scaled. `scaled` and `active` follow.
void AffineRecordSetZoomX(AffineRecord* record, double zoom);
void AffineRecordSetZoomY(AffineRecord* record, double zoom);
// Angle in degrees: reduced by fmod 360; below 1e-307 in magnitude it is no
// rotation (cosine 1, sine 0); a whole multiple of 90 degrees is rounded to
// whole degrees and gets the exact cosine and sine. An angle that is not a
// finite number is taken as 0. `geometric` and `active` follow.
void AffineRecordSetAngle(AffineRecord* record, double degrees);
// Mirrors; `flipped`, `geometric` and `active` follow.
void AffineRecordSetFlips(AffineRecord* record, bool flipX, bool flipY);
// Recomputes scaled, flipped, geometric and active from the axis flags.
void AffineRecordUpdateFlags(AffineRecord* record);

// The mapping from output positions to input positions, in the form in which it
// is evaluated for every pixel: with u and v the output position less the output
// centre (centreX, centreY),
//     x = (x0 + xPerV * v) + xPerU * u,   y = (y0 + yPerV * v) + yPerU * u,
// a term per row and one multiply-add per column, where (x0, y0) is the input
// frame's centre and the four factors unscale and rotate back in the record's
// order, mirrors included. Every user (the kernels, the source rectangle) goes
// through it, so the same output position reaches the same input position in
// whichever block it is asked for.
struct AffineInputMap {
    double centreX = 0.0;
    double centreY = 0.0;
    double x0 = 0.0;
    double y0 = 0.0;
    double xPerU = 1.0;
    double xPerV = 0.0;
    double yPerU = 0.0;
    double yPerV = 1.0;
};

// The map of the record for an input frame of width x height (its centres as
// the record holds them).
AffineInputMap AffineRecordInputMap(const AffineRecord* record, double width, double height);

// The input position (x, y) that the output position (outX, outY) maps to.
inline void AffineMapPoint(const AffineInputMap& m, double outX, double outY, double* x, double* y) {
    const double u = outX - m.centreX, v = outY - m.centreY;
    *x = (m.x0 + m.xPerV * v) + m.xPerU * u;
    *y = (m.y0 + m.yPerV * v) + m.yPerU * u;
}

// The same for one position, the map made from the record.
void AffineMapToInput(const AffineRecord* record, double outX, double outY, double width, double height,
                      double* x, double* y);

// For a record that neither rotates nor scales: both centres become half the
// input size plus the shift.
void AffineRecordCentre(AffineRecord* record, AffineSize input);
// The output size of the transformed frame; sets the four centre fields.
void AffineRecordFitFrame(AffineRecord* record, AffineSize* output, AffineSize input);
// The same without rounding: the box of the transformed frame. Without rotation
// {0, 0, scaled width, scaled height} (the centres from the rounded sizes); with
// rotation the bounding box of the rotated corners, placed about the scaled
// frame's centre, and the output centre at half its size.
void AffineRecordFitSize(AffineRecord* record, AffineBox* output, int32_t width, int32_t height);

// The input rectangle that an output rectangle needs: on entry `rect` holds the
// requested output rectangle, on return the input rectangle that covers the
// input pixels (floor of the mapped position) of every position of it, clipped
// to the frame. False, with `rect` undefined, when the request is empty or the
// rectangle lies outside the frame. The two use the record's two orders.
bool AffineSourceRectOrder0(const AffineRecord* record, AffineRect* rect, AffineSize frame);
bool AffineSourceRectOrder1(const AffineRecord* record, AffineRect* rect, AffineSize frame);
// The one of the two that the record's order names.
bool AffineSourceRect(const AffineRecord* record, AffineRect* rect, AffineSize frame);

}  // namespace orva
