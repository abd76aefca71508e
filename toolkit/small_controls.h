#pragma once
// Small GL-drawn controls: the progress bar (kind 546), driven by callbacks and
// optionally draggable to seek; the slot drag handle (kind 544), a thin grip that moves
// a panel group sideways; and the round outlines shapes and markers are drawn with.
#include <cstdint>
#include <utility>
#include <vector>

#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kSmallButtonKind = 544;
constexpr int32_t kProgressBarKind = 546;

// Mode callback results.
constexpr int kProgressDraggable = 0;
constexpr int kProgressFull = 2;

struct ProgressDesc {
    int (*mode)(uintptr_t userData) = nullptr;                     // default: 1 (empty)
    uint8_t (*seek)(uintptr_t userData, float* fraction) = nullptr;  // default: 0
    void (*position)(uintptr_t userData, float* fraction) = nullptr;
    void (*seekDone)(uintptr_t userData) = nullptr;
    void (*press)(uintptr_t userData, uint32_t value) = nullptr;
    uintptr_t userData = 0;
    float length = 0;   // 0 .. widget width - 2
    uint8_t active = 0;
};

struct ProgressBar {
    static gElement* Create(gWindow* window, gElement* group, const ProgressDesc* desc, const float size[2]);
    static ProgressDesc* FromWidget(const gElement* e);
    static bool SetActive(gElement* e, bool flag);
    static bool Update(gElement* e);
    // The drag at a pointer x in the widget's frame (0 = widget left); true when the
    // bar's length changed.
    static bool DragTo(gElement* e, float x);
    static void Paint(gElement* e);
};

struct SmallButton {
    static gElement* Create(gGroup* owner);
    // Moves the handle, its owner group, the group's rows and every widget in them
    // (position, placed and home x, and the x of the widget's text) by dx; false
    // without a live owner group or movement.
    static bool MoveGroup(gElement* handle, float dx);
    static void Paint(gElement* e);
};

// Round outlines: the points are produced by the generators (tests read them), the
// Draw functions send them to GL.
struct SelectionOutline {
    static std::vector<std::pair<float, float>> PolygonPoints(int segments, float radius);
    static std::vector<std::pair<int, int>> CirclePoints(float radius);
    static std::vector<std::pair<int, int>> EllipsePoints(int a, int b);
    static void DrawPolygon(int segments, float radius);
    static void Draw(float radius);
    static void DrawPixels(int a, int b);
};

}  // namespace orva
