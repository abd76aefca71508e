#pragma once
// The scroll slider: a bar with a thumb (kind 549 horizontal, 550 vertical) that a
// list uses to scroll. The thumb's length shows the visible share of the rows, its
// position the first visible row; dragging it reports a fraction 0..1. The arithmetic
// lives in plain functions on the record so that it is testable without a window.
#include <cstdint>

#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kScrollSliderH = 549;
constexpr int32_t kScrollSliderV = 550;
// The shortest thumb in pixels.
constexpr float kScrollThumbMin = 7.0f;

using ScrollSliderCallback = void (*)(uintptr_t userData, float fraction);

struct ScrollSlider {
    int32_t state = 0;          // 1: the thumb's travel is shorter than the rows it stands for
    gElement* owner = nullptr;
    float thumbPos = 0;         // includes the track start
    float thumbLength = 0;
    float trackStart = 1.0f;
    ScrollSliderCallback callback = nullptr;
    float visibleShare = 1.0f;  // after the minimum-thumb rule
    float positionShare = 0;
    // Ours: the share before the minimum rule (a resize applies the minimum anew) and
    // the callback's user data.
    float rawShare = 1.0f;
    uintptr_t userData = 0;
};

// Range rule on a track of length L. False (record untouched) for negative inputs.
bool ScrollSliderApplyRange(ScrollSlider* s, float trackLength, double visible, double total, double position);
// A new track length with the stored shares.
void ScrollSliderApplyResize(ScrollSlider* s, float trackLength);
// Moves the thumb start to `pos` (clamped inside the track); true when it moved.
bool ScrollSliderMoveThumb(ScrollSlider* s, float trackLength, float pos);
// (thumb position - start) / (L - thumb length - start) in 0..1; 0 when there is no travel.
float ScrollSliderFraction(const ScrollSlider* s, float trackLength);

// ---- The widget ------------------------------------------------------------------------
// Creates the slider in the parent's window, chained to `widget` when given; the
// callback gets (userData, fraction) on every drag that moves the thumb. A free slider
// (no widget) joins no layout group: its owner sets its place.
gElement* ScrollSliderCreate(gWindow* parent, gElement* widget, ScrollSliderCallback callback, bool vertical,
                             float length, float thickness, uintptr_t userData, bool free = false);
ScrollSlider* ScrollSliderFromWidget(const gElement* e);
bool ScrollSliderSetRange(gElement* e, double visible, double total, double position);
void ScrollSliderResize(gElement* e);
void ScrollSliderDrag(gElement* e, const pf::Point* cursor);
bool ScrollSliderPress(gElement* e, uintptr_t data);
void ScrollSliderPaint(gElement* e);
float ScrollSliderTrackLength(const gElement* e);

}  // namespace orva
