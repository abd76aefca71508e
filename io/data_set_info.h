#pragma once
// The data description of a data set: how the samples of a file are to be read
// and combined (frames and sections, sizes and crop box, the sample type of the
// file and the working one, channel combining, scale and zero, frame rate) and,
// in its extended part, the output format, the section geometry, the format tag,
// the frame table, the attached service description and the value range. The
// data set derives from it and overrides its operations; the read states keep
// copies of the base part.
#include <cstdint>
#include <memory>
#include <vector>

#include "data/channel_kernels.h"
#include "framework/format_request.h"
#include "io/format_desc.h"
#include "io/service_description.h"
#include "io/stream.h"

namespace orva {

// {type, bits, channels}: wherever a sample type travels.
struct SampleFormat {
    uint32_t type = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
};

// The valid-field flags, the type bits and ServiceDescription: io/service_description.h.

// Channel modes beyond the four the channel kernels know (kChannelAsIs, kChannelSelected).
constexpr int32_t kChannelMean = -4;
constexpr int32_t kChannelProfile = -3;
constexpr int32_t kChannelWeighSum = -2;
constexpr int32_t kChannelSumming = -1;

// Where one section lies in its file. All sizes in elements (pixels).
struct SectionGeometry {
    uint64_t dataPosition = 0;  // file offset of the section's first stored element
    uint64_t reserved = 0;
    uint64_t gap = 0;           // bytes after each section
    uint64_t cropX = 0, cropY = 0, cropZ = 0;
    uint64_t cropSizeX = 0, cropSizeY = 0, cropSizeZ = 0;
    uint64_t rowLength = 0;     // W: elements per stored row
    uint64_t rows = 0;          // H: stored rows per plane
    uint64_t planes = 0;        // D: stored planes per section
};

// The per-section record that the statistics kernel fills (stored units).
struct SectionStatistics {
    double minimum = 0.0;
    double maximum = 0.0;
    double deviation = 0.0;
    double mean = 0.0;
    double total = 0.0;
    uint64_t count = 0;
    uint32_t sampleType = 0;
    uint32_t sampleBits = 0;
    uint8_t valid = 0;            // the kernel has filled the record
    uint8_t whole = 0;            // every pixel of the plane was read
    uint8_t invalidValues = 0;
    uint8_t rangeOverflow = 0;
    uint8_t channelOverflow = 0;
};

// One section of a per-frame table: its place, then its record (valid = present).
struct SectionEntry {
    SectionGeometry geometry;
    SectionStatistics stats;
};

// The frame table of a layout whose frames differ (frames with their sections).
struct SectionFrameTable {
    uint32_t totalFrames = 0;   // frames of the file
    uint32_t firstFrame = 0;    // first file frame held by the table
    uint32_t frameCount = 0;    // frames held
    std::vector<FrameIndexEntry> frames;   // {section count, first section index} per held frame
    std::vector<SectionEntry> sections;
    // A last frame held only in part: its first present section and their count
    // (count 0: the last frame is complete).
    uint32_t partialFirst = 0;
    uint32_t partialCount = 0;
    bool incomplete = false;
};

// The format a data set delivers: six words.
struct OutputFormat {
    uint32_t type = 0;
    uint32_t elementSize = 0;
    uint32_t channels = 1;
    uint32_t axes = 1;
    uint32_t reserved[2] = {0, 0};
};

// The source's notification object: the data set calls the one it holds in `notify`.
class SourceNotify {
public:
    virtual ~SourceNotify() = default;
    // After a property or region change.
    virtual void PropertiesChanged() {}
    // After a kernel refresh.
    virtual void KernelsRefreshed() {}
    // Another holder takes the data set: this one lets go of it.
    virtual void DetachInput() {}
};

// The type word's normalisation and element size are framework/format_request.h's
// NormalizeFormatWord and FormatElementSize.
// Clears a sample format.
void ZeroTriple(SampleFormat* format);
// Channels into 1..16384, the type normalised, bits kept when they fit the element,
// else 8 x the element size.
void NormaliseReadRequest(SampleFormat* format);
// Clears in `target` every flag group of which `request` carries a bit
// (0x20C00000, 0x60000, 0xE000000) and returns it.
uint32_t ClearFlagGroups(uint32_t target, uint32_t request);
// At most eight characters of the text (length 0: its whole length) into a zeroed tag.
FormatTag TagFromText(const char* text, size_t length);
// The tag's text in one shared static buffer (valid until the next call): "" for a
// tag whose first byte is 0, nullptr when it holds a control byte other than tab,
// line feed and carriage return.
const char* TagToText(FormatTag tag);

// The data description. Its virtual operations are the ones the data set overrides.
class DataSetInfo {
public:
    DataSetInfo();
    explicit DataSetInfo(FormatTag tag);
    virtual ~DataSetInfo();
    DataSetInfo(const DataSetInfo&) = delete;
    DataSetInfo& operator=(const DataSetInfo&) = delete;

    // Base form, slot 2: frames, step, rate, flag bytes, input format, weights and the
    // channel record back to their start. The extended part further drops the frame
    // table, output format, tag words, value range, service description and notifier.
    virtual void Reset();
    // Frames to use: above the total gives the total; 0 while none is set gives 1.
    virtual void SetFramesToUse(uint32_t n);
    virtual bool NoFrameTable() const { return frameTable == nullptr; }
    // The frame count: the frame table's when one is held.
    virtual uint32_t TotalFrames() const;
    // total = n (0 gives 1, at most 0x7FFFFFFF); frames to use follow unless already set
    // within the total and not forced.
    virtual void SetTotalFrames(uint32_t n, bool force);
    // After type, bits or channels changed: the working type and channel count, the
    // selected channel, the channel factors and the per-channel table.
    virtual void InputFormatChanged();
    // The value range: true when maximum is not below minimum.
    virtual bool ValueRange(double* minimum, double* maximum) const;
    // The description's own format-changed and prepare operations derive the output
    // format; the data set replaces them.
    virtual bool FormatChanged();
    virtual bool Prepare();
    // Chooses the channel kernel row and the kernel for the mode (plain or scaled).
    virtual bool SelectChannelKernel(bool clearConversion);
    virtual void ResetKernels() {}
    virtual void DeriveOutputFormat();
    // The format the data is delivered in: 64-bit reals keeping the stored type's high
    // flag bits, one channel when channels are combined or selected (else the channel
    // count, 1..16384), 1, 2 or 3 axes by the y and z sizes.
    OutputFormat DeliveredFormat() const;

    // The channel record as the channel kernels take it.
    ChannelParams MakeChannelParams() const;
    // Frames that the signed step visits: ceil(frames to use / |step|).
    uint32_t StepFrames() const;

    static uint32_t ElementBytes(uint32_t t) { return FormatElementSize(t); }

    // ---- Base form ----
    uint32_t framesToUse = 0;
    int32_t frameStep = 1;          // never 0
    uint32_t sections = 0;          // sections per frame
    int64_t dataBegin = 0, dataEnd = 0, headerSize = 0;
    int64_t cropX = 0, cropY = 0, cropZ = 0;
    int64_t cropSizeX = 0, cropSizeY = 0, cropSizeZ = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    uint32_t totalFrames = 0;
    uint8_t nativeOrder = 0;        // set: the input type's 0x80 is ignored
    uint8_t flagBytes[2] = {0, 0};
    SampleFormat input;
    // Channel record.
    uint32_t selectedChannel = 1;   // 1-based
    double scale = 1.0;
    double zero = 0.0;
    double inverseScale = 1.0;      // the third double of the record
    // The stored value that marks a missing sample of integer data (a FITS BLANK).
    bool hasBlank = false;
    int64_t blank = 0;
    // The channels of each sizeX x sizeY plane are stored as planes of their own, one
    // after another (plane k's channel c is stored plane k x channels + c); the data set
    // reads them as if each pixel held its channels one after another.
    bool planarChannels = false;
    uint32_t reservedWords[2] = {0, 0};
    std::vector<double> weights;
    int32_t channelMode = kChannelAsIs;
    uint32_t workType = 0, workBytes = 0, workChannels = 1;
    double channelFactor = 1.0, channelFactorInverse = 1.0;
    // The chosen kernel row (const ChannelKernel*: four slots, plain or scaled), the
    // kernel set (const ChannelKernelIndexEntry*) and the chosen slot of the row
    // (const ChannelKernel*). Untyped so that clearing code may chain assignments.
    const void* kernelRow = nullptr;
    const void* kernelSet = nullptr;
    const void* kernel = nullptr;
    double frameRate = 20.0;

    // ---- Extended form ----
    OutputFormat output;
    int32_t framesVisited = -1;
    int64_t geometrySize[3] = {0, 0, 0};
    int32_t geometrySections = -1;
    uint8_t geometryFlags[2] = {0, 0};
    uint32_t tagWords[2] = {0, 0};  // cleared on reset
    FormatTag formatTag;
    std::shared_ptr<SectionFrameTable> frameTable;  // none for regular files
    SourceNotify* notify = nullptr;                 // not owned
    ServiceDescription* service = nullptr;          // owned
    uint8_t active = 1;
    double rangeMin = 0.0, rangeMax = 0.0;
    double axisScale[2] = {1.0, 1.0};
    double axisZero[2] = {0.0, 0.0};

    // Valid-field flags (kFlag...): what the header or the service description stated.
    uint64_t flags = 0;
    // Set by a reader whose header does not state whether integer samples are signed:
    // the data set then runs the signedness test when it is attached.
    uint8_t signTestPending = 0;
};

// The operations the file layout calls, by name.
inline uint32_t DataSetInfoFrameCount(const DataSetInfo& info) { return info.TotalFrames(); }
inline void DataSetInfoSetFrameCount(DataSetInfo& info, uint32_t n, bool notStated) {
    info.SetTotalFrames(n, notStated);
}
inline void DataSetInfoUpdateType(DataSetInfo& info) { info.InputFormatChanged(); }

}  // namespace orva
