#include "io/formats/spe/spe_reader.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/data_set.h"
#include "io/data_set_info.h"
#include "io/formats/binary/raw_reader.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "io/stream.h"

namespace orva {

namespace {

constexpr int kErrBadHeader = -24;
constexpr uint64_t kFlagsPositions = 0x18;
constexpr uint64_t kFlagsSizes = 0x1000F00;
constexpr uint64_t kFlagsSample = 0x8039007;
constexpr uint64_t kLmaFlags = 0x8008008;
constexpr uint32_t kTypeKindImage = 0x400000;
constexpr int32_t kMaxNewerSize = 100000;

uint16_t U16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
int32_t I32(const uint8_t* p) {
    return static_cast<int32_t>(static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
                                (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24));
}

// The element type of a data type code; 0 when the header generation refuses it.
uint32_t TypeOfCode(int code, bool newer, const char* name) {
    static const uint32_t kTypes[8] = {0x10, 0x08, 0x02, 0x102, 0, 0x40, 0x01, 0x101};
    if (code == 4 && newer) {
        LogPrintf("%s : String/char data type not suported...", name);
        return 0;
    }
    if (code < 0 || code > (newer ? 7 : 3) || code == 4) {
        LogPrintf("%s : Unknown data type", name);
        return 0;
    }
    return kTypes[code];
}

// Whole frames of `frameBytes` in the data after the header, at most 2147483647.
uint32_t FramesFromLength(int64_t available, int64_t frameBytes) {
    if (frameBytes <= 0 || available <= 0) return 0;
    const int64_t n = available / frameBytes;
    return static_cast<uint32_t>(std::min<int64_t>(n, std::numeric_limits<int32_t>::max()));
}

// Current file checks shared by both readers, then the file's stream.
int OpenCurrentFile(InputSource* source) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset()) return kErrNoFile;
    return StreamOpen(&source->stream, kStreamBinary, source->name->Text());
}

// Reads the header bytes; -24 when the file is shorter, -14 without memory.
int ReadHeader(StreamRecord* stream, int64_t size, std::vector<uint8_t>* header) {
    try {
        header->resize(static_cast<size_t>(size));
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    if (StreamRead(stream, 0, header->data(), header->size()) != size) return kErrBadHeader;
    return kResultReady;
}

DataSet* MakeDataSet(InputSource* source, const char* tag) {
    DataSet* dataSet = DataSet::Create(MakeFormatTag(tag));
    if (dataSet == nullptr) return nullptr;
    source->OpenSequenceFile(0);
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
    const char* current = source->CurrentFileName();
    if (hooks.load && current) dataSet->service = hooks.load(current);
    return dataSet;
}

}  // namespace

bool SpeParseHeader(FileLayout* l, const uint8_t* h, int64_t fileLength, const char* name) {
    if (l == nullptr || h == nullptr) return false;
    if (name == nullptr) name = "";
    l->tag = MakeFormatTag("SPE WINV");
    l->dataOffset = kSpeHeaderSize;
    l->headerStart = 0;
    l->dataEnd = fileLength;
    l->flags = kFlagsPositions;
    const int64_t available = fileLength - kSpeHeaderSize;
    const bool newer = h[688] >= '0' && h[688] <= '9' && std::memcmp(h + 688, "1.4", 3) == 0;
    const int code = static_cast<int16_t>(U16(h + 108));
    int64_t width = 0, rows = 0;
    if (newer) {
        width = static_cast<int16_t>(U16(h + 42));
        if (width < 1 || width > kMaxNewerSize) return false;
        const uint16_t r16 = U16(h + 34);
        if (r16 == 0xFFFF) {
            rows = I32(h + 664);
            if (rows < 1 || rows > kMaxNewerSize) return false;
        } else {
            rows = static_cast<int16_t>(r16);
            if (rows < 1) return false;  // no layout without rows per frame
        }
    } else {
        width = U16(h + 42);
        rows = U16(h + 656);
        if (width == 0 || rows == 0) return false;
    }
    l->sizeX = width;
    l->sizeY = rows;
    l->sizeZ = 1;
    l->flags |= kFlagsSizes;
    const uint32_t base = TypeOfCode(code, newer, name);
    if (base == 0) return false;
    l->type = NormalizeFormatWord(base | kTypeKindImage);
    l->bits = BitsFromType(l->type);
    l->channels = 1;
    l->flags |= kFlagsSample;
    const int64_t sampleBytes = l->bits / 8;
    int64_t frameBytes = 0;
    if (__builtin_mul_overflow(width * rows, sampleBytes, &frameBytes)) return false;
    int64_t product = 0;
    uint32_t frames = 0;
    if (newer) {
        const int64_t total = static_cast<int16_t>(U16(h + 656));
        if (total > 0 && !__builtin_mul_overflow(sampleBytes * width, total, &product) &&
            product <= available) {
            frames = static_cast<uint32_t>(total / rows);
            if (frames > 0) l->flags |= kFlagFrames;
        }
    } else {
        const int64_t count = I32(h + 1446);
        if (count > 0 && !__builtin_mul_overflow(count, frameBytes, &product) && product <= available) {
            frames = static_cast<uint32_t>(count);
            l->flags |= kFlagFrames;
        }
    }
    if (frames == 0) {
        l->flags &= ~kFlagFrames;
        frames = FramesFromLength(available, frameBytes);
    }
    if (frames == 0) return false;
    l->frames = frames;
    return true;
}

int SpeOpen(InputSource* source) {
    int r = OpenCurrentFile(source);
    if (r < kResultReady) return r;
    const char* name = source->name->Text();
    FormatInfoRef<SpeInfo> layout(SpeInfo::Create());
    if (!layout) return kErrOutOfMemory;
    std::vector<uint8_t> header;
    r = ReadHeader(source->stream, kSpeHeaderSize, &header);
    if (r < kResultReady) return r;
    const bool ok = SpeParseHeader(layout.get(), header.data(), source->stream->length, name);
    header.clear();
    if (!ok) return kErrBadHeader;
    DataSet* dataSet = MakeDataSet(source, "SPE WINV");
    if (dataSet == nullptr) return kErrOutOfMemory;
    if (!LayoutToDataSet(layout.get(), dataSet)) {
        dataSet->Release();
        return LayoutRefuseDescription(name, layout->dataEnd - layout->dataOffset);
    }
    DataSetLayout objects = DataSetLayoutFrom(*layout);
    objects.formatInfo = layout.get();
    r = source->AttachDataSet(dataSet, source->stream, &objects);
    dataSet->Release();
    return r;
}

int LmaOpen(InputSource* source) {
    int r = OpenCurrentFile(source);
    if (r < kResultReady) return r;
    std::vector<uint8_t> header;
    r = ReadHeader(source->stream, kLmaHeaderSize, &header);
    if (r < kResultReady) return r;
    FormatInfoRef<BinaryInfo> info(BinaryInfo::Create());  // tag "BINARY"
    if (!info) return kErrOutOfMemory;
    FileLayout& layout = *info;
    layout.sizeX = 512;
    layout.sizeY = 512;
    layout.sizeZ = 1;
    // Two-dimensional unsigned 16-bit samples: the kind bit goes with the kind flag.
    layout.type = 0x102 | kTypeKindImage;
    layout.bits = 16;
    layout.channels = 1;
    layout.dataOffset = kLmaHeaderSize;
    layout.dataEnd = source->stream->length;
    layout.flags = kLmaFlags;
    DataSet* dataSet = MakeDataSet(source, "LMA QEV");
    if (dataSet == nullptr) return kErrOutOfMemory;
    // What the service description states wins over the fixed values.
    const uint64_t described = dataSet->service ? dataSet->service->flags : 0;
    for (uint64_t f : {kFlagSizeX, kFlagSizeY, kFlagSizeZ, kFlagScale, kFlagZero, kFlagByteOrder,
                       kFlagSign, kFlagSampleSize, kFlagChannelOut, kFlagAxes, kFlagFrames})
        if (!(described & f)) layout.flags |= f;
    // Sizes the description states replace the fixed ones in the layout too, so that the
    // crop box the layout starts from is the described image and not 512 x 512.
    if (const ServiceDescription* sd = dataSet->service) {
        if ((described & kFlagSizeX) && sd->sizeX > 0) layout.sizeX = sd->sizeX;
        if ((described & kFlagSizeY) && sd->sizeY > 0) layout.sizeY = sd->sizeY;
        if ((described & kFlagSizeZ) && sd->sizeZ > 0) layout.sizeZ = sd->sizeZ;
    }
    if (!LayoutToDataSet(&layout, dataSet)) {
        dataSet->Release();
        return LayoutRefuseDescription(source->name->Text(), layout.dataEnd - layout.dataOffset);
    }
    // Only the component goes along: without a sample format from it the data set keeps
    // showing its own tag.
    DataSetLayout objects;
    objects.formatInfo = info.get();
    r = source->AttachDataSet(dataSet, source->stream, &objects);
    dataSet->Release();
    return r;
}

}  // namespace orva
