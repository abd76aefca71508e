#pragma once
// The data description of a data set (what the file layout merge fills) and the
// service description it carries. Minimal records: the data set and the service
// files extend them; the field order follows the data description's layout.
#include <cstdint>
#include <vector>

#include "io/format_desc.h"
#include "io/stream.h"

namespace orva {

// {type, bits, channels}: wherever a sample type travels.
struct SampleFormat {
    uint32_t type = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
};

// Valid-field flags shared by the layout, the description and the service description.
constexpr uint64_t kFlagSampleSize = 0x1;
constexpr uint64_t kFlagByteOrder = 0x2;
constexpr uint64_t kFlagSign = 0x4;
constexpr uint64_t kFlagBeginPos = 0x8;
constexpr uint64_t kFlagEndPos = 0x10;
constexpr uint64_t kFlagChannelOut = 0x40;  // NCHANNEL_OUT or CONVSPEC_FLAG
constexpr uint64_t kFlagCropBox = 0x80;
constexpr uint64_t kFlagSizeX = 0x100;
constexpr uint64_t kFlagSizeY = 0x200;
constexpr uint64_t kFlagSizeZ = 0x400;
constexpr uint64_t kFlagAxes = 0x800;
constexpr uint64_t kFlagChannels = 0x1000;
constexpr uint64_t kFlagFrameStep = 0x2000;
constexpr uint64_t kFlagFrames = 0x4000;
constexpr uint64_t kFlagSections = 0x8000;
constexpr uint64_t kFlagScale = 0x10000;
constexpr uint64_t kFlagZero = 0x20000;
constexpr uint64_t kFlagValueRange = 0x2000000;
constexpr uint64_t kFlagTypeKind = 0x8000000;  // the type carries 0x00400000 or 0x00800000

// Type bits beyond the nine element flags.
constexpr uint32_t kTypePlanesAsChannels = 0x10000;
constexpr uint32_t kTypeImage = 0x00400000;   // two-dimensional data
constexpr uint32_t kTypeVector = 0x00800000;  // one-dimensional data
constexpr uint32_t kTypeRealOnlyBits = 0x09200000;

constexpr uint32_t kMaxChannels = 16384;

// How the file is to be read when its own header does not say (the ".fs" file).
struct ServiceDescription {
    uint8_t active = 0;
    uint8_t state = 0;
    uint8_t positionsValid = 0;
    uint64_t flags = 0;
    uint32_t type = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    FormatTag formatTag;
    int64_t beginPos = 0;
    int64_t endPos = 0;
    int32_t naxis = 0;
    uint64_t valueCount = 0;
    uint64_t size = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    int64_t cropX = 0, cropY = 0, cropZ = 0;
    int64_t cropSizeX = 0, cropSizeY = 0, cropSizeZ = 0;
    uint32_t nchannelOut = 0;
    int32_t convSpec = 0;
    uint32_t frames = 0;
    uint32_t sections = 0;
    uint32_t framesMax = 0;
    int32_t frameStep = 0;
    double fps = 0.0;
    double min = 0.0, max = 0.0;
    int32_t mode = 0;
    int32_t parseErrorMode = 0;
    double scale = 1.0;
    double zero = 0.0;
    int64_t fileLength = 0;
};

enum ChannelMode : int32_t {
    kChannelMean = -4,
    kChannelProfile = -3,
    kChannelWeighSum = -2,
    kChannelSumming = -1,
    kChannelAsIs = 0,
    kChannelSelected = 1,
};

// The data description. Its virtual operations are the ones the data set overrides.
class DataSetInfo {
public:
    DataSetInfo() = default;
    explicit DataSetInfo(FormatTag tag) : formatTag(tag) {}
    virtual ~DataSetInfo() { delete service; }
    DataSetInfo(const DataSetInfo&) = delete;
    DataSetInfo& operator=(const DataSetInfo&) = delete;

    // Frames to use: above the total gives the total; 0 while none is set gives 1.
    virtual void SetFramesToUse(uint32_t n) {
        if (totalFrames && n > totalFrames) n = totalFrames;
        if (n == 0) n = framesToUse ? framesToUse : 1;
        framesToUse = n;
    }
    virtual bool NoFrameTable() const { return frameTable == nullptr; }
    // The frame count: the frame table's when one is held.
    virtual uint32_t TotalFrames() const {
        return frameTable ? frameTable->frameCount : totalFrames;
    }
    // total = n (0 gives 1, at most 0x7FFFFFFF); frames to use follow unless already set
    // within the total and not forced.
    virtual void SetTotalFrames(uint32_t n, bool force) {
        if (n == 0) n = 1;
        if (n > 0x7FFFFFFFu) n = 0x7FFFFFFFu;
        totalFrames = n;
        if (force || framesToUse == 0 || framesToUse > n) framesToUse = n;
    }
    // After type, bits or channels changed: the working type and channel count, the
    // selected channel, the channel factors and the per-channel table.
    virtual void InputFormatChanged() {
        uint32_t ch = input.channels == 0 ? 1 : (input.channels > kMaxChannels ? kMaxChannels
                                                                              : input.channels);
        uint32_t t = input.type;
        if ((t & kTypeRealOnlyBits) && !(t & 0x40)) t &= ~kTypeRealOnlyBits;
        if (t & 0x50)
            t &= ~0x100u;
        else if (t & 0x01)
            t &= ~0x80u;
        if (nativeOrder) t &= ~0x80u;
        uint32_t work = t & ~kTypePlanesAsChannels;
        uint32_t bytes = ElementBytes(work);
        if (work == workType && bytes == workBytes && ch == workChannels) return;
        workType = work;
        workBytes = bytes;
        workChannels = ch;
        if (selectedChannel < 1) selectedChannel = 1;
        if (selectedChannel > ch) selectedChannel = ch;
        channelFactor = 1.0;
        if (channelMode == kChannelSumming && (work & 0x40) && ch >= 2) {
            uint32_t p = 1;
            while (p < ch) p <<= 1;
            channelFactor = p;
        }
        channelFactorInverse = 1.0 / channelFactor;
        if (weights.size() != ch) weights.clear();
        kernelRow = kernelSet = kernel = nullptr;
    }

    static uint32_t ElementBytes(uint32_t t) {
        if (t & 0x01) return 1;
        if (t & 0x02) return 2;
        if (t & 0x04) return 3;
        if (t & 0x18) return 4;
        if (t & 0x60) return 8;
        return 0;
    }

    // Base form.
    uint32_t framesToUse = 0;
    int32_t frameStep = 1;
    uint32_t sections = 0;
    int64_t dataBegin = 0, dataEnd = 0, headerSize = 0;
    int64_t cropX = 0, cropY = 0, cropZ = 0;
    int64_t cropSizeX = 0, cropSizeY = 0, cropSizeZ = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    uint32_t totalFrames = 0;
    uint8_t nativeOrder = 0;
    uint8_t flagBytes[2] = {0, 0};
    SampleFormat input;
    // Channel record.
    uint32_t selectedChannel = 1;
    double scale = 1.0;
    double zero = 0.0;
    double inverseScale = 1.0;
    std::vector<double> weights;
    int32_t channelMode = kChannelAsIs;
    uint32_t workType = 0, workBytes = 0, workChannels = 1;
    double channelFactor = 1.0, channelFactorInverse = 1.0;
    const void* kernelRow = nullptr;
    const void* kernelSet = nullptr;
    const void* kernel = nullptr;
    double frameRate = 20.0;
    // Extended form.
    uint64_t flags = 0;
    FormatTag formatTag;
    FrameTable* frameTable = nullptr;  // held by the data set; none for most formats
    ServiceDescription* service = nullptr;  // owned
    double rangeMin = 0.0, rangeMax = 0.0;
};

// The operations the file layout calls, by name.
inline uint32_t DataSetInfoFrameCount(const DataSetInfo& info) { return info.TotalFrames(); }
inline void DataSetInfoSetFrameCount(DataSetInfo& info, uint32_t n, bool notStated) {
    info.SetTotalFrames(n, notStated);
}
inline void DataSetInfoUpdateType(DataSetInfo& info) { info.InputFormatChanged(); }

}  // namespace orva
