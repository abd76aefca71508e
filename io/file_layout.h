#pragma once
// What a format's header parser found (FileLayout), and the merge of it with the
// user's request and the service description into a data set's description;
// with the small services around the description: channel mode labels,
// comparison and copy, the default value range and the count of sections.
#include <cstdint>
#include <string>
#include <vector>

#include "io/data_set_info.h"
#include "io/format_desc.h"

namespace orva {

struct HeaderRecord {
    std::string keyword;
    std::string value;
    std::string comment;
};

constexpr uint32_t kMaxAxisEntries = 0x800000;

class FileLayout {
public:
    FileLayout();
    virtual ~FileLayout() = default;
    // Clears the header record list.
    virtual void ClearRecords() { records.clear(); }

    // Sets axis `index` (0-based), growing the list (new entries -1, "not defined");
    // false beyond 0x800000 entries.
    bool SetAxis(uint32_t index, int32_t length);
    bool HasAxisList() const { return !axes.empty(); }

    FormatTag tag;
    uint32_t type = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint32_t frames = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    uint64_t flags = 0;
    std::vector<HeaderRecord> records;
    uint8_t faulty = 0;
    int64_t dataOffset = 0;
    int64_t dataEnd = 0;
    int64_t readerValue = 0;
    int64_t headerStart = 0;
    std::vector<int32_t> axes;   // signed lengths; -1 not defined
    uint32_t axisCount = 0;      // lengths given
    uint32_t declaredAxes = 0;
};

// The services of the data set and service description that the merge calls. The
// defaults are plain implementations; the data set installs its own.
struct LayoutServices {
    bool (*checkDataSizes)(const SampleFormat& type, uint32_t sections, int64_t* product,
                           int64_t* x, int64_t* y, int64_t* z, uint64_t* flags);
    void (*fitSizesToCount)(int64_t* x, int64_t* y, int64_t* z, uint64_t flags, int64_t count);
    void (*guessSizesFromCount)(int64_t* x, int64_t* y, int64_t* z, uint64_t flags,
                                int64_t count);
    bool (*detectSampleType)(SampleFormat* out, uint32_t sections, uint64_t flags,
                             uint32_t candidate, int64_t* x, int64_t* y, int64_t* z,
                             int64_t dataOffset, int64_t dataEnd);
    bool (*prepareBitPackedRead)(DataSetInfo* info);
    void (*normaliseReadRange)(DataSetInfo* info);
    // The service description completes the layout from what it states and the file length.
    void (*fillLayout)(ServiceDescription* description, FileLayout* layout, int64_t fileLength);
};
LayoutServices& TheLayoutServices();
void ResetLayoutServices();

// Main settings the layout reads.
struct LayoutSettings {
    bool ieee754Detect = false;    // IEEE754Detect: type detection starts at 64-bit reals
    bool defaultUnsigned = false;  // integer data without a stated sign is unsigned
    bool defaultSwapped = false;   // data without a stated byte order is swapped
};
LayoutSettings& TheLayoutSettings();

// 8 x the sample size in bytes of the type's lowest size bit; 0 without one.
uint32_t BitsFromType(uint32_t type);

void FileLayoutInit(FileLayout* layout);
void FileLayoutClear(FileLayout* layout);
uint32_t LayoutNormalize(FileLayout* layout, bool strict);
void LayoutApplyDescription(FileLayout* layout, const ServiceDescription* description, bool strict);
void LayoutFromDescription(FileLayout* layout, ServiceDescription* description, int64_t length);
void LayoutApplyDefaults(FileLayout* layout, ServiceDescription* description, int64_t length);
void LayoutToDataSet(FileLayout* layout, DataSetInfo* info);
// mode: -1 automatic, 0 none, 1 planes as channels, 2 planes as frames; -2 comes back
// when nothing was folded. May be null (automatic).
void LayoutResolve(FileLayout* layout, DataSetInfo* info, int32_t* mode);
bool LayoutResolveFits(FileLayout* layout, DataSetInfo* info, int32_t* mode);
void LayoutFitToData(FileLayout* layout, DataSetInfo* info);

// The crop rule on a description whose sizes are final.
void ApplyCropRule(DataSetInfo* info);
// The crop box of a service description, then the read range normalised.
void ApplyCropBox(DataSetInfo* info, const ServiceDescription* description);

bool DataSetInfoEqual(const DataSetInfo& a, const DataSetInfo& b);
bool DataSetInfoEqualLayout(const DataSetInfo& a, const DataSetInfo& b);
bool DataSetInfoCopy(DataSetInfo* destination, const DataSetInfo* source);
void DefaultRange(const DataSetInfo& info, double* min, double* max);
uint32_t SectionCount(const DataSetInfo& info, uint32_t groupSize, int64_t length);
const char* ChannelModeLabel(uint32_t channels, int32_t mode);

}  // namespace orva
