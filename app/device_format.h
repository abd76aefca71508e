#pragma once
// Small shared pieces of the output devices: the normalisation of a device's format
// request, the data format derived from it (element class, row size), and the lookup
// of the current frame.
//
// Format word: the element type bits (0x01 8-bit, 0x02 16-bit, 0x04 24-bit, 0x08 32-bit
// integer, 0x10 32-bit real, 0x20 64-bit integer, 0x40 64-bit real, 0x80 swapped, 0x100
// unsigned) plus layout bits: 0x10000 one row per channel; 0x400000 and 0x2000000
// image data; 0x800000 the 1-D device's request; the group 0x9200000 that only 64-bit
// real data keep.
#include <cstdint>

#include "common/global_buffer.h"
#include "framework/input_format_cache.h"  // kFormatRowPerChannel

namespace orva {

constexpr uint32_t kFormatImage = 0x400000;
constexpr uint32_t kFormatImage2 = 0x2000000;
constexpr uint32_t kFormatCurveRequest = 0x800000;
constexpr uint32_t kDeviceMaxCount = 16384;

// A device's format request: format word, element class (bytes of one element),
// count (channels) and planes.
struct DeviceFormatRequest {
    uint32_t format = 0;
    uint32_t elementClass = 0;
    uint32_t count = 0;
    uint32_t planes = 0;
};

// Count into 1..16384; the real-only group dropped from types other than the 64-bit
// real; a real loses the unsigned bit, else an 8-bit type the swap bit; the element
// class recomputed; planes into 1..3.
void DeviceFormatNormalize(DeviceFormatRequest* request);

// The data format a device keeps for its input (or a curve its samples).
class DeviceDataFormat {
public:
    DeviceDataFormat() = default;
    DeviceDataFormat(const DeviceDataFormat&) = delete;
    DeviceDataFormat& operator=(const DeviceDataFormat&) = delete;
    virtual ~DeviceDataFormat() = default;
    // Back to nothing: every word cleared, the item texts released (the spare item
    // block kept unless it holds 2048 items or more).
    virtual void Reset();

    uint32_t elementClass = 0;
    uint32_t rowBytes = 0;
    const void* cachedFrame = nullptr;
    uint32_t cachedFlag = 0;
    uint32_t count = 0;
    uint32_t format = 0;       // the normalised format word
    uint32_t sampleCount = 0;
    ItemArray items;
};

// True at once when the format has a class and row bytes, the same count and the same
// normalised word. Otherwise the normalised word and its class are stored; class 0
// clears the format and answers false; else the count (0 becomes 1) and the row bytes
// (sample count + 1) x class x count, or (sample count + 1) x class with one row per
// channel, are stored, the cached frame is dropped and the answer is true. Row bytes
// that do not fit 32 bits refuse the format like class 0.
bool DeviceFormatSetup(DeviceDataFormat* format, uint32_t count, uint32_t formatWord);
// The row bytes again from the stored values (0 when they do not fit 32 bits).
void DeviceFormatUpdateRowSize(DeviceDataFormat* format);
// Releases the item texts; the spare block goes only when it holds 2048 items or more.
void DeviceFormatFreeItems(DeviceDataFormat* format);

class ComponentBase;

// The frame count of the data behind a device whose pin is bound to `upstream`: that
// stage's cached frame description, else its answer to the description query, read
// through the hosts' frame-count service. Every stage describes its output as a data
// set (a Reduction with the frames of the data it measures). 0 without an upstream or
// a description, -1 without the service.
int64_t LinkFrameCount(ComponentBase* upstream);

// What the current frame of a device is looked up from.
struct FrameIndexState {
    int64_t selected = 0;           // the selected index of the device's view
    int32_t offset = 0;             // the device's frame offset
    int32_t limit = 0x7FFFFFFF;     // the device's frame limit
    uint8_t locked = 0;             // the device's frame lock
};
// The frame to show: c = the source's frame count capped by the limit (the limit alone
// for a negative count); i = selected - offset. -2 (none) when c is 0 or the frame is
// locked; i when 0 <= i < c; 0 when i < 0; else c - 1.
constexpr int32_t kNoFrame = -2;
int32_t CurrentFrameIndex(const FrameIndexState& state, int64_t sourceFrameCount);

}  // namespace orva
