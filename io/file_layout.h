#pragma once
// What a format's header parser found (FileLayout), and the merge of it with the
// user's request and the service description into a data set's description;
// with the small services around the description: channel mode labels,
// comparison and copy, the default value range and the count of sections.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "framework/component_id.h"
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

// ---- Format information components ----------------------------------------------------------
// A reader's layout as a small reference-counted component that describes its
// format. The count starts at 1 (the maker's reference); Release deletes the object
// when it reaches 0. A data set that is handed one keeps a reference, answers the
// generic format information id with it and passes it to the descriptor's
// information operation; a FITS reader's header records reach the FITS writer
// through it.
class FormatInfo : public FileLayout {
public:
    FormatInfo() = default;
    FormatInfo(const FormatInfo&) = delete;
    FormatInfo& operator=(const FormatInfo&) = delete;

    virtual const ComponentId* GetClassId() const = 0;
    int32_t AddRef() { return ++refCount; }
    int32_t Release();
    // A new component of the same class with this one's tag; nullptr when memory is short.
    virtual FormatInfo* CreateInstance() const = 0;
    // The class id, the generic format information id {0, 0, "FRMT", "INFO"} and the
    // base id answer: true, and with `out` given one reference is added and the object
    // stored there. Any other id is refused.
    bool QueryInterface(const ComponentId* id, void** out);

    std::atomic<int32_t> refCount{1};
};

// The identity of one class of format information component; T is default
// constructible and derives from FormatInfoOf<T, Id>.
template <class T, const ComponentId& Id>
class FormatInfoOf : public FormatInfo {
public:
    // A new component (count 1) with the class's own construction; nullptr when memory is short.
    static T* Create() { return new (std::nothrow) T; }
    static const ComponentId* ClassId() { return &Id; }
    const ComponentId* GetClassId() const override { return &Id; }
    FormatInfo* CreateInstance() const override {
        T* made = new (std::nothrow) T;
        if (made != nullptr) made->tag = tag;
        return made;
    }
};

// Holds one reference and releases it.
struct FormatInfoRelease {
    void operator()(FormatInfo* info) const {
        if (info != nullptr) info->Release();
    }
};
template <class T>
using FormatInfoRef = std::unique_ptr<T, FormatInfoRelease>;

// The component of class T behind a descriptor's information object (a FormatInfo*
// handed over as void*), or nullptr when there is none or it is of another class.
template <class T>
const T* FormatInfoAs(void* object) {
    if (object == nullptr) return nullptr;
    auto* info = static_cast<FormatInfo*>(object);
    return info->QueryInterface(T::ClassId(), nullptr) ? static_cast<const T*>(info) : nullptr;
}

// A descriptor's information operation over a text function of one component class.
template <class T, bool (*Text)(const T*, uint32_t, char*, size_t)>
bool FormatInfoTextOf(void* object, uint32_t item, char* buffer, size_t size) {
    return Text(FormatInfoAs<T>(object), item, buffer, size);
}

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
    // The service description takes what the layout found where it states nothing and
    // is fitted to the length of the data; false when it cannot be fitted.
    bool (*fillLayout)(ServiceDescription* description, FileLayout* layout, int64_t fileLength);
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
// These three are false when the service description cannot be fitted to the data (the
// merge is still made): the reader refuses the file (LayoutRefuseDescription).
bool LayoutFromDescription(FileLayout* layout, ServiceDescription* description, int64_t length);
bool LayoutApplyDefaults(FileLayout* layout, ServiceDescription* description, int64_t length);
bool LayoutToDataSet(FileLayout* layout, DataSetInfo* info);
// Logs that the file's service description does not fit its `length` bytes of data; -12.
int LayoutRefuseDescription(const char* fileName, int64_t length);
// mode: -1 automatic, 0 none, 1 planes as channels, 2 planes as frames; -2 comes back
// when nothing was folded. May be null (automatic).
void LayoutResolve(FileLayout* layout, DataSetInfo* info, int32_t* mode);
bool LayoutResolveFits(FileLayout* layout, DataSetInfo* info, int32_t* mode);
void LayoutFitToData(FileLayout* layout, DataSetInfo* info);

// The crop rule on a description whose sizes are final.
void ApplyCropRule(DataSetInfo* info);
// The crop box of a service description, then the read range normalised.
void ApplyCropBox(DataSetInfo* info, const ServiceDescription* description);

// Pieces the format readers share with the layout rules above.
// Products of sizes and counts saturate; negative factors count as 0.
int64_t LayoutMulSat(int64_t a, int64_t b);
// Width at least 0, height and depth at least 1.
void LayoutNormaliseSizes(DataSetInfo* info);
// Stores a new sample type (normalised, channels 1..16384, bits at most the type's) when
// it differs from the description's.
void LayoutStoreType(DataSetInfo* info, uint32_t type, uint32_t bits, uint32_t channels);
// Scale (denormal or NaN: 0 with an infinite inverse; within an epsilon of 1: exactly 1)
// and zero (denormal: 0), each marking the description.
void LayoutSetScale(DataSetInfo* info, double scale);
void LayoutSetZero(DataSetInfo* info, double zero);
// The final sizes, then the service description's crop box, or else the crop rule.
void LayoutSetSizes(DataSetInfo* info, const ServiceDescription* description, int64_t x, int64_t y,
                    int64_t z);

bool DataSetInfoEqual(const DataSetInfo& a, const DataSetInfo& b);
bool DataSetInfoEqualLayout(const DataSetInfo& a, const DataSetInfo& b);
bool DataSetInfoCopy(DataSetInfo* destination, const DataSetInfo* source);
void DefaultRange(const DataSetInfo& info, double* min, double* max);
uint32_t SectionCount(const DataSetInfo& info, uint32_t groupSize, int64_t length);
const char* ChannelModeLabel(uint32_t channels, int32_t mode);

}  // namespace orva
