#include "io/formats/binary/raw_reader.h"

#include <algorithm>
#include <new>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "io/stream.h"

namespace orva {

namespace {

FormatTag TagBinary() { return MakeFormatTag("BINARY"); }

// Keeps the data range inside the file: an end not after the offset, or past the
// file, is the file's end; an offset at or past the end of the file is 0.
void FitRangeToFile(FileLayout* l, int64_t length) {
    if (l->dataEnd <= l->dataOffset || l->dataEnd > length) {
        l->dataEnd = length;
        l->flags &= ~kFlagEndPos;
    }
    if (l->dataOffset < 0 || l->dataOffset >= length) {
        l->dataOffset = 0;
        l->headerStart = 0;
        l->flags &= ~kFlagBeginPos;
        if (l->dataEnd <= 0) {
            l->dataEnd = length;
            l->flags &= ~kFlagEndPos;
        }
    }
}

// BEGINPOS and ENDPOS of the description where the layout states none.
void ApplyDescriptionPositions(FileLayout* l, const ServiceDescription* d, int64_t length) {
    if (d == nullptr || !(d->flags & (kFlagBeginPos | kFlagEndPos))) return;
    if (!(l->flags & kFlagBeginPos) && (d->flags & kFlagBeginPos) && d->beginPos >= 0 &&
        d->beginPos < length) {
        l->dataOffset = d->beginPos;
        l->headerStart = 0;
        l->flags |= kFlagBeginPos;
    }
    if (!(l->flags & kFlagEndPos) && (d->flags & kFlagEndPos) && d->endPos > 0 && d->endPos <= length) {
        l->dataEnd = d->endPos;
        l->flags |= kFlagEndPos;
    }
    if (l->dataEnd <= l->dataOffset) {
        l->dataEnd = length;
        l->flags &= ~kFlagEndPos;
    }
}

}  // namespace

int RawOpenWithDescription(InputSource* source, FileLayout* sourceLayout, DataSet* given,
                           bool skipDescription, const ServiceDescription* fallback) {
    if (source == nullptr || source->stream == nullptr || source->stream->fd < 0) return kErrWrong;
    DataSet* dataSet = given;
    if (dataSet == nullptr) {
        dataSet = DataSet::Create(TagBinary());
        if (dataSet == nullptr) return kErrOutOfMemory;
    }
    const int64_t length = source->stream->length;

    // A reader's own component goes to the data set; without one, this layout does.
    FormatInfoRef<BinaryInfo> own(BinaryInfo::Create());
    if (!own) {
        if (given == nullptr) dataSet->Release();
        return kErrOutOfMemory;
    }
    BinaryInfo& layout = *own;
    if (sourceLayout) {
        layout.type = sourceLayout->type;
        layout.bits = sourceLayout->bits;
        layout.channels = sourceLayout->channels;
        layout.frames = sourceLayout->frames;
        layout.sizeX = sourceLayout->sizeX;
        layout.sizeY = sourceLayout->sizeY;
        layout.sizeZ = sourceLayout->sizeZ;
        layout.flags = sourceLayout->flags;
        // The reader's data range comes along: its valid flags mean nothing without it.
        layout.dataOffset = sourceLayout->dataOffset;
        layout.dataEnd = sourceLayout->dataEnd;
        layout.headerStart = sourceLayout->headerStart;
    }
    FitRangeToFile(&layout, length);

    source->OpenSequenceFile(0);
    if (skipDescription) {
        dataSet->flags |= kFlagSampleSize | kFlagByteOrder | kFlagSign;
    } else if (dataSet->service == nullptr) {
        const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
        const char* current = source->CurrentFileName();
        if (hooks.load && current) dataSet->service = hooks.load(current);
    }
    if (dataSet->service == nullptr && fallback)
        dataSet->service = new (std::nothrow) ServiceDescription(*fallback);

    ApplyDescriptionPositions(&layout, dataSet->service, length);
    if (dataSet->service) {
        dataSet->service->state = 1;  // applied
        // In a raw file opened as itself the byte positions are the user's description of
        // it: a rewrite of its service file must keep them. (Another reader's layout, or a
        // decoded temporary file, has positions of its own.)
        if (sourceLayout == nullptr && !skipDescription) dataSet->service->positionsValid = 1;
    }

    if (!LayoutToDataSet(&layout, dataSet)) {
        const int refused = LayoutRefuseDescription(source->name ? source->name->Text() : nullptr, dataSet->dataEnd - dataSet->dataBegin);
        if (given == nullptr) dataSet->Release();
        return refused;
    }
    // A raw file never states whether its integers are signed.
    if (!(dataSet->flags & kFlagSign)) dataSet->signTestPending = 1;
    DataSetLayout objects = DataSetLayoutFrom(sourceLayout ? *sourceLayout : layout);
    auto* readerInfo = dynamic_cast<FormatInfo*>(sourceLayout);
    objects.formatInfo = readerInfo ? readerInfo : own.get();
    const int r = source->AttachDataSet(dataSet, source->stream, &objects);
    if (given == nullptr) dataSet->Release();
    return r;
}

int RawOpen(InputSource* source, FileLayout* sourceLayout, int reserved, DataSet* dataSet,
            bool skipDescription) {
    (void)reserved;
    return RawOpenWithDescription(source, sourceLayout, dataSet, skipDescription, nullptr);
}

int RawOpen(InputSource* source, const ServiceDescription* binaryDescription) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset())
        return kErrNoFile;
    if (source->format == nullptr) {
        const FormatDesc* d = FindFormatByTag(source->Registry(), TagBinary());
        source->format = d ? d : FormatBinary();
    }
    const int r = StreamOpen(&source->stream, kStreamBinary, source->name->Text());
    if (r == kResultDataEmpty) return kResultEmpty;
    if (r < kResultReady) return r;
    return RawOpenWithDescription(source, nullptr, nullptr, false, binaryDescription);
}

int BinaryOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    const char* name = source->CurrentFileName();
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset() ||
        name == nullptr)
        return kErrWrong;
    const int r = StreamOpen(&source->stream, kStreamBinary, source->name->Text());
    if (r < kResultReady) return r;
    return RawOpen(source, nullptr, 0, nullptr, false);
}

}  // namespace orva
