#pragma once
// The style with which the chart draws one curve of the 1-D device: colours, step or
// line drawing, and the lookup of the values under the cursor. The samples are rows of
// 64-bit reals held by the style's data format (its cached frame; its count is the
// number of rows, its sample count the samples of a row).
#include <cstdint>

#include "app/device_format.h"

namespace orva {

struct CurveStyle;

// Style flags.
constexpr uint32_t kCurveStep = 0x01;
constexpr uint32_t kCurveNearest = 0x02;      // no interpolation (also step drawing)
constexpr uint32_t kCurveContrast = 0x80;     // contrast colours and enlarged points
constexpr uint32_t kCurvePoints = 0x100;
constexpr uint32_t kCurveSmoothLines = 0x200;
constexpr uint32_t kCurveSmoothPoints = 0x400;
constexpr uint32_t kCurveDefaultFlags = 0x82;
// Bit of the second flag word: the line routine repeats the last value one sample further.
constexpr uint32_t kCurveHold = 0x02;
// The format word of a curve's samples: 64-bit reals, one row per channel, 1-D.
constexpr uint32_t kCurveDataFormat = 0x10010040;

// The values under the cursor: three consecutive rows from the first shown row (a row
// beyond the last repeats the previous one) and the current row.
struct CurveLookup {
    double values[3] = {0.0, 0.0, 0.0};
    double current = 0.0;
};

using CurveDrawFn = void (*)(const CurveStyle* style, uint32_t row, uint32_t firstSample);
using CurveLookupFn = void (*)(const CurveStyle* style, double x, CurveLookup* out);

// Five colour tables (bright, pale, paler, dark, darker) of `count` colour words each.
struct CurveColorSet {
    const uint32_t* bright = nullptr;
    uint32_t count = 0;
    const uint32_t* pale = nullptr;
    const uint32_t* paler = nullptr;
    const uint32_t* dark = nullptr;
    const uint32_t* darker = nullptr;
};

struct CurveStyle {
    float xStart = 0.5f;
    CurveDrawFn draw = nullptr;
    CurveLookupFn lookup = nullptr;
    uint32_t flags = kCurveDefaultFlags;
    uint32_t contrastColour = 0x000000;   // colour words: red in the low byte
    uint32_t curveColour = 0xD2C8B4;
    uint32_t bandColour = 0xDCDCFF;
    uint32_t pointColour = 0x0000A0;
    CurveColorSet colours;
    DeviceDataFormat data;                // cachedFrame: the samples (doubles)
    uint32_t rowStride = 0;               // doubles from one row to the next
    uint32_t currentRow = 0;
    uint32_t firstRow = 0;
    uint32_t visibleCount = 0;
    uint32_t flags2 = 0;
    // The drawing routines keep values within these (a NaN counts as the low bound), so
    // that a value far outside the plot never hands the GL an overflowing coordinate.
    double clampLow = -1.7976931348623157e308;
    double clampHigh = 1.7976931348623157e308;
    // Samples that share a pixel column (2 or more): the drawing routines then draw each
    // such group by its first, lowest, highest and last sample.
    uint32_t groupSamples = 0;
};

// The five built-in tables with the count 19.
void SetDefaultCurveColors(CurveColorSet* set);
// x start 0.5, flags 0x82, the default colours and tables, routines chosen.
void CurveStyleInit(CurveStyle* style);
// Contrast, curve, band and point colours for a chart background (0x04BBGGRR, 7-bit
// channels): black on light backgrounds, white on dark ones.
void CurveStyleContrast(CurveStyle* style, uint32_t background);
// The style's data reset to 64-bit real rows (format 0x10010040, class 8) with the
// request's channel count as row count; current row and first shown row kept in range.
void CurveStyleSetFormat(CurveStyle* style, const DeviceFormatRequest& request);
// Draw and lookup routines from the flags: step drawing for 0x01 or 0x02, else lines;
// nearest lookup for 0x02, else interpolation. True when the draw routine changed.
bool CurveStyleSelect(CurveStyle* style);
// Sets or clears the nearest flag, then CurveStyleSelect.
bool SetNearest(CurveStyle* style, bool on);
// Draws the visible samples from `firstSample` in the style's colours (GL; the caller
// has the chart's coordinates set up).
void CurveStyleDraw(const CurveStyle* style, uint32_t firstSample);
// The data format reset and no visible samples.
void CurveStyleReleaseImage(CurveStyle* style);

// The two lookups and the two drawing routines.
void CurveLookupNearest(const CurveStyle* style, double x, CurveLookup* out);
void CurveLookupInterpolate(const CurveStyle* style, double x, CurveLookup* out);
void CurveDrawLines(const CurveStyle* style, uint32_t row, uint32_t firstSample);
void CurveDrawSteps(const CurveStyle* style, uint32_t row, uint32_t firstSample);

}  // namespace orva
