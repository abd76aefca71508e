#pragma once
// The program's shape clipboard (in the process; no X selection): one copied shape
// header with its anchors, kept in the shapes' program-wide state.
#include <cstdint>

namespace orva {

// Status texts of clipping (window group 0, status -3).
inline constexpr char kClipSplineText[] = "Clip Warning: change b-spline shape...";
inline constexpr char kClipSplineOffsetText[] = "Clip Warning: shape of a b-spline is changed And pOffsetPool type...";
inline constexpr char kClipCurveOffsetText[] = "Clip Warning: shape of a b-spline is changed...";

// True while the clipboard holds a shape.
bool ShapeClipboardHasShape();

// The box (x, y, w, h) a box of w x h takes when it is inscribed into the target
// (x, y, w, h) with its proportions kept (`proportional`) or not; the target already
// put on pixel centres.
void InscribedBox(double w, double h, const double target[4], bool proportional, double out[4]);

// The target put on pixel centres: each corner at its nearest integer plus 0.5, the far
// one a pixel less when its size is not 0.
void PixelCentreBox(const double rect[4], double out[4]);

}  // namespace orva
