#pragma once
// The scales of a data view (`SliderCtrl`): a horizontal and a vertical ruler with
// major, half and tenth ticks, numeric labels, the exponent and shift of the axis, a
// cursor line that follows the mouse and an optional marker. UI thread only.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "toolkit/widget.h"

namespace orva {

constexpr int32_t kScaleKindH = 515;
constexpr int32_t kScaleKindV = 517;

// Style flags of a scale.
constexpr uint32_t kScaleDecompose = 0x1;  // always split the value into step and remainder
constexpr uint32_t kScaleMarker = 0x2;
constexpr uint32_t kScaleMarkerInvert = 0x4;
constexpr uint32_t kScaleInt64 = 0x8;      // labels as 64-bit integers

// No cursor: a cursor argument outside +-this.
constexpr float kScaleNoCursor = 1.7014117e38f;
// Labels need at least this many pixels per step.
constexpr double kScaleMinLabelStep = 40.0;
constexpr size_t kScaleLabelText = 36;

struct ScaleLabel {
    float x = 0, y = 0;
    int32_t count = 0;
    const char* text = nullptr;
};

// Label modes of a scale: labels shown, or none.
constexpr int32_t kScaleLabelsShown = 2;
constexpr int32_t kScaleLabelsNone = 0;
// Value kinds of a scale's labels: whole numbers or reals.
constexpr int32_t kScaleValueInteger = 8;
constexpr int32_t kScaleValueReal = 0x40;

struct ScaleRecord;
// The owner's label routine: builds the scale's labels (and may set its tick spacing)
// after each readout from a position; `data` is the owner's word.
using ScaleLabelRoutine = void (*)(ScaleRecord* scale, bool vertical, void* data);

struct ScaleRecord {
    uint32_t flags = 0;
    uint32_t changeMask = 0;
    float threshold = 0;
    int32_t labelCount = 0;     // labels built
    int32_t labelCapacity = 0;  // entries (and 36-byte texts) available
    double base = 0, step = 100.0, shift = 0;
    int32_t exponent = 0;
    int32_t range = 100, width = 60;
    uint8_t stepCount = 1;
    float colours[6] = {};
    float rect[4] = {};         // the scale widget's x, y, width, height
    int32_t stepIndex = 100;
    float remainder = 0, rounded = 0, cursorDistance = -1.0f;
    std::vector<ScaleLabel> labels;
    std::vector<char> texts;
    int32_t highlighted = 0;
    // Value scales (BuildValueLabels): the values along the scale are start + (pixel -
    // origin) x unitsPerPixel, labelled every tickStep units (a whole number of units
    // for the integer kind) with ticks at least labelSpacing pixels apart.
    int32_t labelMode = kScaleLabelsShown;
    int32_t valueKind = kScaleValueInteger;
    double tickStep = 100.0;
    double start = 0.0;
    double origin = 0.0;            // pixels from the scale's start (set by the readout)
    double unitsPerPixel = 1.0;
    int32_t labelSpacing = 40;
    int32_t shownExponent = 0;
    // The owner's label routine; none: the labels of the step index and range
    // (BuildLabels).
    ScaleLabelRoutine labelRoutine = nullptr;
    void* labelData = nullptr;
};

// The label text of a major tick: "%I64d" of the integer, or "%.2f" with a final "0"
// and a final ".00" cut; "ERR" when it does not fit `size` (the 15 and 20 character
// limits are passed by the caller). Returns the length written.
int ScaleFormatValue(double value, bool asInt64, char* out, size_t size);
// Entries of a label table for a screen extent and a character width.
int32_t ScaleLabelCapacity(int32_t screenPixels, float charWidth);

class SliderCtrl {
public:
    SliderCtrl(float scaleX, float scaleY);
    virtual ~SliderCtrl();
    SliderCtrl(const SliderCtrl&) = delete;
    SliderCtrl& operator=(const SliderCtrl&) = delete;

    bool Show(gWindow* window, bool show, gFont* font, uintptr_t userData);
    static void ResetScale(ScaleRecord* scale);
    static void SetColours(ScaleRecord* scale, bool light, bool tint);
    void SelectPainters();
    static bool SetFlags(ScaleRecord* scale, uint32_t bits, bool on);
    static bool SetFlagsMasked(ScaleRecord* scale, ScaleRecord* other, uint32_t bits, bool on);
    void SetRange(int32_t horizontalIndex, int32_t verticalIndex);
    void ValueFromPosH(float pos, float cursor);
    void ValueFromPosV(float pos, float cursor);
    // Sizes both label tables (screen size and the font's average width).
    bool SizeLabels(int32_t screenWidth, int32_t screenHeight);
    // Rebuilds the labels of one scale (`vertical` picks the texts "SCALE Y: E"...).
    static void BuildLabels(ScaleRecord* scale, bool vertical);
    // Builds the labels of a value scale from its start, origin, units per pixel, value
    // kind and label spacing: the tick step becomes the smallest of 1, 2 and 5 times a
    // power of ten (at least 1 for the integer kind) whose ticks lie labelSpacing pixels
    // apart or more, and the scale's pixel step and first tick follow it.
    static void BuildValueLabels(ScaleRecord* scale, bool vertical);
    // The tick step for a spacing in units (the smallest 1, 2 or 5 times a power of ten
    // not below it; whole numbers only for the integer kind).
    static double NiceTickStep(double units, bool integer);
    // Builds the labels of a value scale whose owner chose the tick step: ticks at the
    // values start + k x tickStep (k any integer) that lie on the scale, where the value
    // at scale pixel p is start + (p - origin) x unitsPerPixel (a negative unitsPerPixel
    // runs the values against the pixels, as on a y axis); the texts of the value kind
    // (whole numbers or reals), and a shown exponent as a first, highlighted label
    // "E-004" at the scale's start. The scale's pixel step and first tick follow.
    static void BuildTickLabels(ScaleRecord* scale, bool vertical);
    // Both scale records back to their defaults (ResetScale) with the owner's label
    // routines installed; `data` is handed to them.
    void InstallLabelRoutines(ScaleLabelRoutine horizontalRoutine, ScaleLabelRoutine verticalRoutine, void* data);

    int32_t useCount = 0;
    float scaleX = 0, scaleY = 0;
    gFont* font = nullptr;
    float lineHeight = 0, lineHeight2 = 0;
    int32_t guide[2] = {-1, -1};
    ScaleRecord horizontal, vertical;
    uint8_t frozen[2] = {0, 0};
    uint8_t flagA = 1, flagB = 1;
    uint8_t tint = 0, light = 0;
    uint8_t failed = 0;
    // Options an owner reads: the cursor is not snapped to whole units (free x), the y
    // readout follows the pointer (free y), the cursor does not push the view at the
    // edges (edge lock).
    uint8_t freeX = 0, freeY = 0, edgeLock = 0;
    gElement* widgetH = nullptr;
    gElement* widgetV = nullptr;
    bool alternative = false;   // the alternative painters are installed

private:
    void ValueFromPos(ScaleRecord* scale, bool vertical, float origin, float pos, float cursor);
    void Release();
};

// The control a scale widget belongs to (null for other widgets).
SliderCtrl* ScaleControlOf(const gElement* e);
void ScalePaint(gElement* e);

}  // namespace orva
