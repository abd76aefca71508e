#include "io/formats/vector/vector_reader.h"

#include <cfloat>
#include <cmath>
#include <cstring>
#include <new>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/data_set.h"
#include "io/formats/binary/raw_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva {

namespace {

constexpr int kWalkEnded = 2;  // the walk stopped without an error

bool TagIs(const char tag[4], const char* text) { return std::memcmp(tag, text, 4) == 0; }

uint32_t Le32(const uint8_t* b) {
    return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
           static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}
uint64_t Le64(const uint8_t* b) { return Le32(b) | static_cast<uint64_t>(Le32(b + 4)) << 32; }
double LeDouble(const uint8_t* b) {
    const uint64_t u = Le64(b);
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// Reads n bytes at the reader's position and moves past them; false when they do
// not lie within the file or the read comes back short.
bool ReadHere(VectorReader* r, void* buffer, int64_t n) {
    if (r->position < 0 || n > r->length - r->position) return false;
    if (StreamRead(r->stream, r->position, buffer, static_cast<size_t>(n)) != n) return false;
    r->position += n;
    return true;
}

// Moves the position by n bytes; false (a failed seek) when that leaves the file.
bool SkipHere(VectorReader* r, uint64_t n) {
    if (n > static_cast<uint64_t>(r->length - r->position)) return false;
    r->position += static_cast<int64_t>(n);
    return true;
}

bool HeaderAvailable(const VectorReader* r) { return r->length - r->position >= kVectorChunkHeader; }

// One chunk header at the position: 2, -6 (not readable) or -23 (out of its limits).
int ReadChunkHeader(VectorReader* r, VectorChunkHeader* h) {
    uint8_t b[kVectorChunkHeader];
    h->start = r->position;
    if (!ReadHere(r, b, kVectorChunkHeader)) return kErrIo;
    std::memcpy(h->tag, b, 4);
    h->size = Le32(b + 4);
    h->count = Le32(b + 8);
    h->fourth = static_cast<int32_t>(Le32(b + 12));
    if (h->size < kVectorChunkMin || h->size > kVectorChunkMax || h->count > kVectorCountMax ||
        h->fourth < 0)
        return kErrCorrupt;
    return kResultReady;
}

uint64_t RoundUp8(uint64_t n) { return (n + 7) & ~uint64_t{7}; }

// Record kinds by the sub-header's tag.
enum class RecordKind { kCounts, kSizes, kOther };

// The record sub-header after a record chunk's header: its kind and payload size.
// "RVALUE2D" has a 64-bit payload size (the position ends 32 bytes into the chunk);
// every other tag a 32-bit one (24 bytes into the chunk).
int ReadRecordSubHeader(VectorReader* r, RecordKind* kind, uint64_t* payload) {
    uint8_t b[16];
    if (!ReadHere(r, b, 8)) return kErrIo;
    if (std::memcmp(b, "RVALUE2D", 8) == 0) {
        if (!ReadHere(r, b + 8, 8)) return kErrIo;
        *kind = RecordKind::kSizes;
        *payload = Le64(b + 8);
    } else {
        *kind = std::memcmp(b, "TAV2", 4) == 0 ? RecordKind::kCounts : RecordKind::kOther;
        *payload = Le32(b + 4);
    }
    return kResultReady;
}

uint32_t SubHeaderEnd(RecordKind kind) { return kind == RecordKind::kSizes ? 32 : 24; }

// Moves past a record chunk whose sub-header was read: its header bytes, then its
// payload rounded up to 8 bytes.
int SkipRecord(VectorReader* r, const VectorChunkHeader& n, RecordKind kind, uint64_t payload) {
    if (n.size < SubHeaderEnd(kind)) return kErrCorrupt;
    if (payload > static_cast<uint64_t>(r->length)) return kErrIo;
    const int64_t end = n.start + n.size;
    if (end < r->position) return kErrCorrupt;
    if (!SkipHere(r, static_cast<uint64_t>(end - r->position) + RoundUp8(payload))) return kErrIo;
    return kResultReady;
}

// Passes over `count` nested chunks. A nested chunk that is no record chunk ends the
// run and comes back in *pending (with *hasPending set).
int PassNested(VectorReader* r, uint32_t count, VectorChunkHeader* pending, bool* hasPending) {
    *hasPending = false;
    for (uint32_t i = 0; i < count; ++i) {
        if (!HeaderAvailable(r)) return kWalkEnded;
        VectorChunkHeader n;
        int c = ReadChunkHeader(r, &n);
        if (c < 0) return c;
        if (n.tag[0] != 'F') {
            *pending = n;
            *hasPending = true;
            return kWalkEnded;
        }
        RecordKind kind;
        uint64_t payload = 0;
        c = ReadRecordSubHeader(r, &kind, &payload);
        if (c >= 0) c = SkipRecord(r, n, kind, payload);
        if (c < 0) return c;
    }
    return kWalkEnded;
}

// The element bytes of the header's type.
uint32_t HeaderElementBytes(const VectorReader* r) {
    return FormatElementSize(VectorElementType(r->header.typeFlags));
}

// One accepted record chunk (its sub-header read): the section is added to the last
// frame entry.
int HandleRecord(VectorReader* r, const VectorChunkHeader& n, RecordKind kind, uint64_t payload) {
    int64_t x = 0, y = 0;
    uint8_t b[16];
    if (kind == RecordKind::kCounts) {
        if (n.size < 32) return kErrCorrupt;
        if (!ReadHere(r, b, 8)) return kErrIo;
        x = static_cast<int32_t>(Le32(b));
        y = static_cast<int32_t>(Le32(b + 4));
    } else {
        // The two 64-bit sizes end 48 bytes into the chunk.
        if (n.size < 48) return kErrCorrupt;
        if (!ReadHere(r, b, 16)) return kErrIo;
        x = static_cast<int64_t>(Le64(b));
        y = static_cast<int64_t>(Le64(b + 8));
    }
    // Rows of no samples are not rows: a record without columns has at most one.
    if (x < 0 || y < 0 || (x == 0 && y > 1)) return kErrCorrupt;
    const int64_t begin = n.start + n.size;
    if (begin > r->length || payload > static_cast<uint64_t>(r->length - begin)) return kErrCorrupt;
    // The samples the sizes announce must lie inside the payload.
    const uint64_t rows = y > 0 ? static_cast<uint64_t>(y) : 1;
    uint64_t bytes = 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(x), rows, &bytes) ||
        __builtin_mul_overflow(bytes, static_cast<uint64_t>(HeaderElementBytes(r)), &bytes) ||
        bytes > payload)
        return kErrCorrupt;
    if (r->records.size() >= kVectorRecordLimit) return kErrOutOfMemory;
    try {
        VectorRecord rec;
        rec.sizeX = x;
        rec.sizeY = y;
        rec.sizeZ = 1;
        rec.begin = begin;
        rec.end = begin + static_cast<int64_t>(payload);
        rec.headerBytes = n.size;
        r->records.push_back(rec);
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    ++r->frames.back().sectionCount;
    const uint64_t past = RoundUp8(payload);
    r->position = past > static_cast<uint64_t>(r->length - begin) ? r->length
                                                                  : begin + static_cast<int64_t>(past);
    return kResultReady;
}

// The frame chunks that follow a header block, starting with `h` (its header read).
// On return *current holds the chunk header that ended the frames (hasCurrent).
int ReadFrames(VectorReader* r, VectorChunkHeader h, VectorChunkHeader* current, bool* hasCurrent) {
    *hasCurrent = false;
    for (;;) {
        if (r->frames.size() >= kVectorRecordLimit) return kErrOutOfMemory;
        try {
            r->frames.push_back({0, static_cast<uint32_t>(r->records.size())});
        } catch (const std::bad_alloc&) {
            return kErrOutOfMemory;
        }
        if (!SkipHere(r, h.size - kVectorChunkHeader)) return kErrIo;
        VectorChunkHeader pending;
        bool hasPending = false;
        if (TagIs(h.tag, r->frameTag) && h.count != 0) {
            for (uint32_t i = 0; i < h.count; ++i) {
                if (!HeaderAvailable(r)) break;
                VectorChunkHeader n;
                int c = ReadChunkHeader(r, &n);
                if (c < 0) return c;
                if (n.tag[0] != 'F') {
                    pending = n;
                    hasPending = true;
                    break;
                }
                if (n.count != 0 || n.fourth != 0) return kErrUnsupported2;
                RecordKind kind;
                uint64_t payload = 0;
                c = ReadRecordSubHeader(r, &kind, &payload);
                if (c < 0) return c;
                // Records of another kind, and empty ones, add no section.
                if (payload != 0 && kind != RecordKind::kOther)
                    c = HandleRecord(r, n, kind, payload);
                else
                    c = SkipRecord(r, n, kind, payload);
                if (c < 0) return c;
            }
        } else {
            const int c = PassNested(r, h.count, &pending, &hasPending);
            if (c < 0) return c;
        }
        if (r->frames.back().sectionCount == 0) r->frames.pop_back();
        if (!hasPending) {
            if (!HeaderAvailable(r)) return kWalkEnded;
            const int c = ReadChunkHeader(r, &pending);
            if (c < 0) return c;
        }
        if (pending.tag[0] != 'O') {
            *current = pending;
            *hasCurrent = true;
            return kWalkEnded;
        }
        h = pending;
    }
}

// The chunk walk from r->chunk (its header read). Ends once frames were read, at the
// end of the file, or with an error code.
int Walk(VectorReader* r) {
    VectorChunkHeader h = r->chunk;
    for (;;) {
        VectorChunkHeader pending;
        bool hasPending = false;
        if (TagIs(h.tag, "HCBN") && h.size >= kVectorHeaderChunkMin) {
            uint8_t b[56];
            if (!ReadHere(r, b, sizeof b)) return kErrIo;
            if (!SkipHere(r, h.size - kVectorHeaderChunkMin)) return kErrIo;
            VectorHeaderBlock block;
            block.dimensions = static_cast<int32_t>(Le32(b));
            block.description = Le32(b + 4);
            block.typeFlags = Le32(b + 8);
            block.bits = Le32(b + 12);
            block.channels = Le32(b + 16);
            block.unused = Le32(b + 20);
            block.firstScale = LeDouble(b + 24);
            block.firstZero = LeDouble(b + 32);
            block.valueScale = LeDouble(b + 40);
            block.valueZero = LeDouble(b + 48);
            if ((block.typeFlags & kVectorTypeFlags) == 0) {
                const int c = PassNested(r, h.count, &pending, &hasPending);
                if (c < 0) return c;
            } else {
                r->header = block;
                r->haveHeader = true;
                if (!HeaderAvailable(r)) return kWalkEnded;
                VectorChunkHeader next;
                int c = ReadChunkHeader(r, &next);
                if (c < 0) return c;
                if (h.fourth != 0 && next.tag[0] == 'O') {
                    c = ReadFrames(r, next, &pending, &hasPending);
                    if (c < 0) return c;
                    if (!r->frames.empty()) {
                        // The chunk that ended the frames starts the next load.
                        if (hasPending) r->position = pending.start;
                        return kWalkEnded;
                    }
                } else {
                    pending = next;
                    hasPending = true;
                }
            }
        } else if (TagIs(h.tag, "HCED")) {
            if (h.size != kVectorChunkMin || h.count != 0 || h.fourth != 0) return kErrCorrupt;
        } else if (Le32(reinterpret_cast<const uint8_t*>(h.tag)) == 70) {
            // Taken as it is: nothing inside is read.
            if (!SkipHere(r, h.size - kVectorChunkHeader)) return kErrIo;
        } else {
            if (!SkipHere(r, h.size - kVectorChunkHeader)) return kErrIo;
            const int c = PassNested(r, h.count, &pending, &hasPending);
            if (c < 0) return c;
        }
        if (!hasPending) {
            if (!HeaderAvailable(r)) return kWalkEnded;
            const int c = ReadChunkHeader(r, &pending);
            if (c < 0) return c;
        }
        h = pending;
    }
}

const char* FileNameOf(const VectorReader* r, InputSource* source) {
    const char* name = source ? source->CurrentFileName() : nullptr;
    if (name == nullptr && r->stream) name = r->stream->name.c_str();
    return name ? name : "";
}

// Builds the data set of the records read and hands it to the source.
int AttachRecords(VectorReader* r, InputSource* source) {
    const VectorHeaderBlock& hb = r->header;
    const uint32_t baseType = VectorElementType(hb.typeFlags);
    SampleFormat format{baseType | kTypeVector, 0, 1};
    const uint32_t width = 8 * FormatElementSize(baseType);
    format.bits = (hb.bits != 0 && hb.bits < width) ? hb.bits : width;
    NormaliseReadRequest(&format);

    double scale = hb.valueScale, zero = hb.valueZero;
    double firstScale = hb.firstScale, firstZero = hb.firstZero;
    const bool scaleUsable = VectorScaleUsable(&scale);
    const bool zeroUsable = VectorZeroUsable(&zero);
    VectorScaleUsable(&firstScale);
    VectorZeroUsable(&firstZero);

    VectorFileInfo* info = VectorFileInfo::Create(r->dataSetTag);
    if (info == nullptr) return kErrOutOfMemory;
    info->type = format.type;
    info->bits = format.bits;
    info->channels = 1;
    info->frames = static_cast<uint32_t>(r->frames.size());
    info->dimensions = hb.dimensions <= 0 ? 1 : hb.dimensions >= 3 ? 2 : hb.dimensions;
    info->description = hb.description;
    info->scale[0] = firstScale;
    info->zero[0] = firstZero;
    info->scale[1] = scale;
    info->zero[1] = zero;

    std::shared_ptr<SectionFrameTable> table;
    try {
        table = std::make_shared<SectionFrameTable>();
        table->frames = r->frames;
        table->sections.resize(r->records.size());
    } catch (const std::bad_alloc&) {
        info->Release();
        return kErrOutOfMemory;
    }
    table->totalFrames = table->frameCount = static_cast<uint32_t>(r->frames.size());
    uint32_t largest = 0;
    for (const FrameIndexEntry& e : r->frames) largest = e.sectionCount > largest ? e.sectionCount : largest;
    for (size_t i = 0; i < r->records.size(); ++i) {
        const VectorRecord& rec = r->records[i];
        SectionGeometry& g = table->sections[i].geometry;
        g.dataPosition = static_cast<uint64_t>(rec.begin);
        g.rowLength = g.cropSizeX = static_cast<uint64_t>(rec.sizeX);
        g.rows = g.cropSizeY = rec.sizeY > 0 ? static_cast<uint64_t>(rec.sizeY) : 1;
        g.planes = g.cropSizeZ = 1;
    }

    DataSet* dataSet = DataSet::Create(r->dataSetTag);
    if (dataSet == nullptr) {
        info->Release();
        return kErrOutOfMemory;
    }
    source->OpenSequenceFile(0);
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
    const char* current = source->CurrentFileName();
    if (hooks.load && current) dataSet->service = hooks.load(current);

    // The header states everything: its sample format and value scale win over a
    // service description.
    const VectorRecord& first = r->records.front();
    dataSet->input = format;
    dataSet->flags = 0x1900FF1Fu | 0x700u | (scaleUsable ? kFlagScale : 0) | (zeroUsable ? kFlagZero : 0);
    if (std::fabs(scale - 1.0) < 2.220446049250313e-16) {
        dataSet->scale = dataSet->inverseScale = 1.0;
    } else {
        dataSet->scale = scale;
        dataSet->inverseScale = 1.0 / scale;
    }
    dataSet->zero = zero;
    dataSet->sizeX = dataSet->cropSizeX = first.sizeX;
    dataSet->sizeY = dataSet->cropSizeY = first.sizeY > 0 ? first.sizeY : 1;
    dataSet->sizeZ = dataSet->cropSizeZ = 1;
    dataSet->cropX = dataSet->cropY = dataSet->cropZ = 0;
    dataSet->sections = largest;
    dataSet->dataBegin = first.begin;
    dataSet->dataEnd = r->length;
    dataSet->headerSize = first.begin;
    dataSet->frameStep = 1;
    dataSet->SetTotalFrames(static_cast<uint32_t>(r->frames.size()), true);

    DataSetLayout objects;
    objects.hasSampleFormat = true;
    objects.sampleFormat.type = info->type;
    objects.sampleFormat.bits = info->bits;
    objects.sampleFormat.tag = info->tag;
    objects.frameTable = table;
    objects.formatInfo = info;
    const int result = source->AttachDataSet(dataSet, source->stream, &objects);
    if (result < kResultReady) dataSet->ResetRead();
    dataSet->Release();
    info->Release();
    return result;
}

// Opens the current file of the source and reads every data set in it.
int ReadSource(VectorReader* r, InputSource* source) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset())
        return kErrWrong;
    r->result = StreamOpen(&source->stream, kStreamBinary, source->name->Text());
    if (r->result < kResultReady) return r->result;
    r->stream = source->stream;
    ++r->stream->refCount;
    r->length = r->stream->length;
    if (r->length < kVectorMinFileSize) return r->result = kErrUnsupported2;
    uint8_t magic[kVectorMagicSize];
    r->position = 0;
    if (!ReadHere(r, magic, kVectorMagicSize) || magic[0] != 0 || (magic[1] != 1 && magic[1] != 2) ||
        std::memcmp(magic + 2, "RECB\x01\x00", 6) != 0)
        return r->result = kErrIo;
    if (magic[1] == 1) std::memcpy(r->frameTag, "OSLE", 4);
    // Each load reads one data set and moves on; a load that does not move stops.
    for (;;) {
        const int64_t before = r->position;
        if (!VectorFileLoad(r, source) || r->position <= before) break;
    }
    if (r->attached > 0) return kResultReady;
    // Records were found but the source took no data set: its answer stands.
    if (r->offered > 0) return r->result >= kResultReady ? kErrWrong : r->result;
    if (r->result >= 0) {
        LogPrintf("'%s' - wrong header...", FileNameOf(r, source));
        r->result = kErrCorrupt;
    }
    return r->result;
}

int OpenVector(InputSource* source, const char* tag, const ComponentId* id, const char* frameTag) {
    VectorReader* r = new (std::nothrow) VectorReader(MakeFormatTag(tag), id, frameTag);
    if (r == nullptr) return kErrOutOfMemory;
    const int result = ReadSource(r, source);
    delete r;
    return result;
}

}  // namespace

// ---- Header rules ----------------------------------------------------------------------------

uint32_t VectorElementType(uint32_t f) {
    const uint32_t swapped = (f & 0x02) ? 0x80u : 0u;
    const uint32_t unsignedBit = (f & 0x04) ? 0x100u : 0u;
    if (f & 0x40) return 0x10 | swapped;
    if (f & 0x100) return 0x40 | swapped;
    if (f & 0x08) return 0x01 | unsignedBit;
    if (f & 0x10) return 0x02 | unsignedBit | swapped;
    if (f & 0x20) return 0x08 | unsignedBit | swapped;
    if (f & 0x80) return 0x20 | unsignedBit | swapped;
    return 0;
}

bool VectorScaleUsable(double* scale) {
    if (std::isnormal(*scale)) return true;
    *scale = 1.0;
    return false;
}

bool VectorZeroUsable(double* zero) {
    const double z = *zero;
    if (std::isfinite(z) && std::fpclassify(z) != FP_SUBNORMAL && std::fabs(z) != DBL_MAX)
        return true;
    *zero = 0.0;
    return false;
}

// ---- VectorFileInfo --------------------------------------------------------------------------

VectorFileInfo* VectorFileInfo::Create(FormatTag tag) { return new (std::nothrow) VectorFileInfo(tag); }

VectorFileInfo::VectorFileInfo(FormatTag t) { tag = t; }

// ---- The reader ------------------------------------------------------------------------------

VectorReader::VectorReader(FormatTag tag, const ComponentId* readerId, const char tagText[4])
    : dataSetTag(tag), id(readerId) {
    std::memcpy(frameTag, tagText, 4);
}

VectorReader::~VectorReader() { StreamClose(&stream); }

bool VectorFileLoad(VectorReader* r, InputSource* source) {
    if (r == nullptr || source == nullptr || r->stream == nullptr) return false;
    r->haveHeader = false;
    r->records.clear();
    r->frames.clear();
    // Nothing left to read: no further data set, and no fault.
    if (r->position >= r->length) return false;
    if (!HeaderAvailable(r)) {
        r->result = kErrIo;
        return false;
    }
    int c = ReadChunkHeader(r, &r->chunk);
    if (c >= 0) c = Walk(r);
    if (c < 0) r->result = c;
    if (c < 0 || r->records.empty() || !r->haveHeader) {
        if (r->result == kErrOutOfMemory)
            LogPrintf("'%s' - not full read, can`t alloc memory...", FileNameOf(r, source));
        else if (r->result < 0)
            LogPrintf("'%s' - wrong header...", FileNameOf(r, source));
        return false;
    }
    ++r->offered;
    const int result = AttachRecords(r, source);
    r->records.clear();
    r->frames.clear();
    if (result >= kResultReady) {
        r->result = kResultReady;
        ++r->attached;
        return true;
    }
    r->result = result;
    if (result == kErrOutOfMemory) {
        LogPrintf("'%s' - not full read, can`t alloc memory...", FileNameOf(r, source));
        return false;
    }
    return true;
}

int SliceOpen(InputSource* source) { return OpenVector(source, "SLISE", &kSliceReaderId, "OSLE"); }

int StatisticOpen(InputSource* source) {
    return OpenVector(source, "STATIST", &kStatisticReaderId, "OSTC");
}

// ---- The old vector form ---------------------------------------------------------------------

int OldVectorOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset())
        return kErrWrong;
    int r = StreamOpen(&source->stream, kStreamBinary, source->name->Text());
    if (r < kResultReady) return r;
    FormatInfoRef<BinaryInfo> info(BinaryInfo::Create());  // tag "BINARY"
    if (!info) return kErrOutOfMemory;
    FileLayout& layout = *info;
    layout.dataOffset = 2;  // a 2-byte header is skipped
    layout.headerStart = 0;
    layout.dataEnd = source->stream->length;
    // The width is not stated (a description may state it): every sample of the file
    // until one is.
    layout.sizeX = layout.dataEnd > 2 ? (layout.dataEnd - 2) / 2 : 0;
    layout.sizeY = 1;
    layout.sizeZ = 1;
    layout.channels = 1;
    layout.type = 0x800102;
    layout.bits = 16;
    layout.flags = 0x803960F;
    DataSet* dataSet = DataSet::Create(MakeFormatTag("ORVAOLD"));
    if (dataSet == nullptr) return kErrOutOfMemory;
    source->OpenSequenceFile(0);
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
    const char* current = source->CurrentFileName();
    if (hooks.load && current) dataSet->service = hooks.load(current);
    if (dataSet->service && dataSet->service->sizeY != 1) {
        dataSet->service->sizeY = 1;
        dataSet->service->flags |= kFlagSizeY;
    }
    if (!LayoutToDataSet(&layout, dataSet)) {
        dataSet->Release();
        return LayoutRefuseDescription(source->name ? source->name->Text() : nullptr, layout.dataEnd - layout.dataOffset);
    }
    DataSetLayout objects = DataSetLayoutFrom(layout);
    objects.formatInfo = info.get();
    r = source->AttachDataSet(dataSet, source->stream, &objects);
    dataSet->Release();
    return r;
}

}  // namespace orva
