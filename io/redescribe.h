#pragma once
// Re-describing an opened data set: the read states through which the source
// changes how a file is read (sample type, signedness, byte order, scale and
// zero, sizes, crop box, data positions, frames), one property at a time. Every
// value is checked before anything changes; the description the read kernels
// use is written under the display lock; sizes and frame counts are fitted to
// the file so that the description never covers more bytes than the file holds.
#include <cstdint>
#include <memory>

#include "io/data_set_info.h"

namespace orva {

class DataSet;

// Kinds of a property value.
constexpr uint32_t kPropertyBool = 1;
constexpr uint32_t kPropertyInt32 = 5;
constexpr uint32_t kPropertyUInt32 = 6;
constexpr uint32_t kPropertyInt64 = 8;
constexpr uint32_t kPropertyDouble = 10;

// One value: 16 bytes; a property of two values passes two records and a count of 2.
struct PropertyValue {
    uint32_t kind = 0;
    uint32_t reserved = 0;
    union {
        uint8_t boolean;
        int32_t i32;
        uint32_t u32;
        int64_t i64;
        double f64;
    };
    PropertyValue() : i64(0) {}
    static PropertyValue Boolean(bool v);
    static PropertyValue Int32(int32_t v);
    static PropertyValue UInt32(uint32_t v);
    static PropertyValue Int64(int64_t v);
    static PropertyValue Double(double v);
};
static_assert(sizeof(PropertyValue) == 16);

// Property ids.
enum ReadProperty : uint32_t {
    kPropSampleType = 0,
    kPropUnsigned = 1,
    kPropByteOrder = 2,
    kPropScale = 3,
    kPropZero = 4,
    kPropScaleZero = 5,
    kPropServiceDescription = 6,
    kPropSizeX = 7,
    kPropSizeY = 8,
    kPropSizeZ = 10,
    kPropDataBegin = 12,
    kPropDataEnd = 13,
    kPropDataEndCount = 14,
    kPropCropX = 15,
    kPropCropSizeX = 16,
    kPropCropY = 17,
    kPropCropSizeY = 18,
    kPropCropZ = 19,
    kPropCropSizeZ = 20,
    kPropFramesToUse = 21,
    kPropTotalFrames = 22,
    kPropFrameStep = 23,
    kPropNormaliseSnapshot0 = 24,
    kPropNormaliseSnapshot1 = 25,
};

// The read state of a data set: two snapshots of how it is read, and the setters.
class ReadState {
public:
    virtual ~ReadState() = default;
    // Slot 0: forgets the snapshots.
    virtual void Reset() = 0;
    // Slot 1: takes snapshot 0 or 1 of the description; false when it has no frames.
    virtual bool TakeSnapshot(const DataSetInfo* info, int which) = 0;
    // Slot 2: puts snapshot 0 or 1 back into the data set; false without that snapshot.
    virtual bool ApplySnapshot(DataSet* dataSet, int which) = 0;
    // Slot 3: true when the description equals snapshot 0 or 1.
    virtual bool CompareSnapshot(const DataSetInfo* info, int which) const = 0;
    // Slot 5: see ReadStateSetProperty.
    virtual bool SetProperty(DataSet* dataSet, uint32_t id, const PropertyValue* values,
                             uint32_t count) = 0;
};

// The read state for a data set: the kind with a frame table when it holds one. Snapshot
// 0 is taken at once.
std::unique_ptr<ReadState> MakeReadState(const DataSet* dataSet);

// Sets one property: true when it was valid (changed or not); false for an unknown id, a
// missing value, a wrong kind, a value out of range or an id this kind of read state does
// not accept. A rejected value changes nothing.
bool ReadStateSetProperty(ReadState* state, DataSet* dataSet, uint32_t id,
                          const PropertyValue* values, uint32_t count);
// The same through a read state made for the call.
bool ReadStateSetProperty(DataSet* dataSet, uint32_t id, const PropertyValue* values,
                          uint32_t count);

// What the fitting may take over from the read state.
struct FitHints {
    int64_t remembered[3] = {0, 0, 0};  // sizes remembered by the read state (0: none)
    bool typeChanged = false;           // the sample type was changed
    uint32_t framesWanted = 0;          // total frames asked for (0: as many as fit)
    int changedAxis = -1;               // the size just set (0 width, 1 height, 2 depth)
    bool wholeCrop = false;             // the crop box held the whole frame: it holds the new one
};

// Derives sizes and frame counts from the file length, the data positions, the element
// size and the channel count. The result describes no more bytes than the file holds and
// keeps every size at least 1; false (description unchanged) when not one pixel lies
// between the data positions within the file.
bool FitDescriptionToFile(DataSetInfo* info, int64_t fileLength, const FitHints& hints);

// Sections per frame become at least 1; with a byte count the total frames become the
// frames those bytes hold from the data begin (one section per frame when none fit), the
// frames to use following unless `keep` is set and the total is a real count.
void FitFramesToFile(DataSetInfo* info, bool keep, int64_t bytes);

// The frames that `bytes` hold from `position` for the description's section size and
// `sections` sections per frame; 0 when none (or a product overflows).
uint32_t SectionByteRange(const DataSetInfo& info, int64_t position, uint32_t sections,
                          int64_t bytes);

// The fit of a sample type to a byte range (2 exact, 1 with a remainder, 0 none), with the
// sizes found for it.
int FitTest(const SampleFormat& type, uint32_t frames, int64_t begin, int64_t end,
            uint64_t givenFlags, int64_t* x, int64_t* y, int64_t* z);
// Walks element widths down from the type's size bit and keeps the first exact fit, else
// the first fit with a remainder, else the given type; the sizes found are taken over.
SampleFormat GuessSampleType(const SampleFormat& type, uint32_t frames, int64_t begin,
                             int64_t end, uint64_t givenFlags, int64_t* x, int64_t* y,
                             int64_t* z);

}  // namespace orva
