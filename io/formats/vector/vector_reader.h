#pragma once
// The program's own vector files: slices along a path and region statistics are
// stored as chunked little-endian files (an 8-byte magic, then 16-byte chunk
// headers with nested record chunks) and read back as data sets whose frames and
// sections come from a table of records. The older vector form is a plain run of
// unsigned 16-bit samples after a 2-byte header.
//
// Every size, count and position read from a file is checked against the file's
// length before it is used; a record whose samples would run past its payload or
// past the end of the file is refused.
#include <cstdint>
#include <memory>
#include <vector>

#include "framework/component_id.h"
#include "io/data_set_info.h"
#include "io/file_layout.h"

namespace orva {

class DataSet;
struct InputSource;
struct StreamRecord;

// ---- File layout -----------------------------------------------------------------------------

constexpr int64_t kVectorMagicSize = 8;
constexpr int64_t kVectorMinFileSize = 24;
constexpr int64_t kVectorChunkHeader = 16;
constexpr uint32_t kVectorChunkMin = 16;
constexpr uint32_t kVectorChunkMax = 0x40000;
constexpr uint32_t kVectorCountMax = 0x400000;
constexpr uint32_t kVectorHeaderChunkMin = 72;  // chunk header + 56-byte header block
constexpr uint32_t kVectorRecordLimit = 0x20000;
// The header's sample type flags: one of these must be set.
constexpr uint32_t kVectorTypeFlags = 0x1F8;

struct VectorChunkHeader {
    char tag[4] = {0, 0, 0, 0};
    uint32_t size = 0;    // including the 16-byte header
    uint32_t count = 0;   // nested chunks
    int32_t fourth = 0;
    int64_t start = 0;    // file position of the header
};

// The 56-byte header block after an "HCBN" chunk header, as stored.
struct VectorHeaderBlock {
    int32_t dimensions = 0;
    uint32_t description = 0;
    uint32_t typeFlags = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint32_t unused = 0;
    double firstScale = 1.0, firstZero = 0.0;
    double valueScale = 1.0, valueZero = 0.0;
};

// The ElementType of the header's sample type flags (0: none of them).
uint32_t VectorElementType(uint32_t typeFlags);
// The header's rules: a scale that is not finite, subnormal or 0 is 1.0; a zero that is
// not finite, subnormal or +-DBL_MAX is 0.0. The answer tells whether the value was usable.
bool VectorScaleUsable(double* scale);
bool VectorZeroUsable(double* zero);

// ---- The format information component ---------------------------------------------------------

inline constexpr ComponentId kVectorFileInfoId{
    {FourCC("VCTB"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};
inline constexpr ComponentId kSliceReaderId{
    {FourCC("VCTB"), FourCC("SLIC"), FourCC("IOFT"), FourCC("RFOR")}, nullptr};
inline constexpr ComponentId kStatisticReaderId{
    {FourCC("VCTB"), FourCC("STAC"), FourCC("IOFT"), FourCC("RFOR")}, nullptr};

// The description of a vector file: its layout with the two {scale, zero} pairs,
// the dimension count and the second description word. Reference counted.
class VectorFileInfo : public FormatInfoOf<VectorFileInfo, kVectorFileInfoId> {
public:
    // nullptr when memory is short.
    static VectorFileInfo* Create(FormatTag tag);
    VectorFileInfo() = default;
    explicit VectorFileInfo(FormatTag tag);

    int32_t dimensions = 1;
    uint32_t description = 0;
    double scale[2] = {1.0, 1.0};  // first pair, value pair
    double zero[2] = {0.0, 0.0};
};

// ---- The reader ---------------------------------------------------------------------------

// One accepted record: a section of a frame.
struct VectorRecord {
    int64_t sizeX = 0, sizeY = 0, sizeZ = 1;
    int64_t begin = 0, end = 0;  // the payload in the file
    int64_t headerBytes = 0;     // from the chunk's start to the payload
};

struct VectorReader {
    VectorReader(FormatTag dataSetTag, const ComponentId* id, const char frameTag[4]);
    ~VectorReader();
    VectorReader(const VectorReader&) = delete;
    VectorReader& operator=(const VectorReader&) = delete;

    FormatTag dataSetTag;
    const ComponentId* id = nullptr;
    char frameTag[4];
    StreamRecord* stream = nullptr;  // one reference held
    int64_t position = 0;
    int64_t length = 0;
    int result = 0;
    VectorChunkHeader chunk;
    bool haveHeader = false;         // an "HCBN" block was read in this load
    VectorHeaderBlock header;
    std::vector<VectorRecord> records;
    std::vector<FrameIndexEntry> frames;  // {section count, first record}
    uint32_t offered = 0;            // data sets built from records
    uint32_t attached = 0;           // data sets the source took
};

// Reads the next data set of the file and hands it to the source; false when no
// further data set can be read. The result code stays in reader->result.
bool VectorFileLoad(VectorReader* reader, InputSource* source);

// Open operations of the "Slice [Vector]", "Statistic [Region]" and
// "Vector [old version]" descriptors.
int SliceOpen(InputSource* source);
int StatisticOpen(InputSource* source);
int OldVectorOpen(InputSource* source);

}  // namespace orva
