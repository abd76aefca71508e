#include "io/formats/binary/raw_writer.h"

#include <algorithm>

#include "common/error_codes.h"
#include "common/log.h"
#include "data/element_type.h"
#include "io/output_block.h"
#include "io/output_writer.h"

namespace orva {

bool BinaryWriteFile(FitsOutputJob* job) {
    OutputWriter* w = job ? job->writer : nullptr;
    if (w == nullptr || job->fd < 0) return false;
    job->noHeader = true;
    job->dataStart = 0;
    job->bytesWritten = 0;
    const uint32_t type = w->OutputType();
    job->elementBytes = ElementSize(type);
    job->pixelBytes = job->elementBytes * std::max<uint32_t>(1, w->Channels());
    job->width = std::max<int64_t>(1, w->OutputWidth());
    job->height = std::max<int64_t>(1, w->OutputHeight());
    // Raw samples stay in the order and sign the output type names.
    job->swapToBigEndian = false;
    job->flipSign = false;
    // Missing integer samples take a code no real sample holds; the service file names it.
    w->SetBlankMarking(true);
    JobAppendSink sink(job);
    const int r = w->WriteFramesClipped(&sink);
    job->framesWritten = w->FramesWritten();
    job->sectionsWritten = static_cast<int64_t>(w->SectionsWritten());
    int64_t planeBytes = 0;
    if (CheckedSize(job->width, job->height, &planeBytes) && CheckedSize(planeBytes, job->pixelBytes, &planeBytes) &&
        planeBytes > 0)
        job->planesWritten = job->bytesWritten / planeBytes;
    if (r < kResultReady) return false;
    if (job->bytesWritten == 0) {
        LogPrintf("'%s' - binary write: no data", job->fileName.c_str());
        return false;
    }
    job->result = kResultReady;
    return true;
}

bool BinaryWrite(OutputWriter* writer) {
    if (writer == nullptr) return false;
    FitsOutputJob job;
    OutputJobInit(&job, writer);
    job.fileName = writer->FileTargetName();
    bool ok = OutputJobOpen(&job, writer->OutputPath());
    if (ok) {
        ok = BinaryWriteFile(&job);
        if (!OutputJobClose(&job)) ok = false;
        if (!ok && job.result < 0 && job.result != -4) {
            // A file error stops the writer rather than asking it to try again.
            const int code = job.result;
            writer->SetState(code == kOutputStateFileError || code == kOutputStateTryAgain ? kOutputStateStopped
                                                                                           : code);
            writer->NoteFailure(job.reason);
        }
        if (ok) {
            writer->ResolveClipping();
            const int32_t s = writer->State();
            ok = s != kOutputStateFileError && s != kOutputStateStopped &&
                 (job.framesWritten != 0 || job.sectionsWritten != 0 || job.bytesWritten != 0);
        }
    } else {
        writer->SetState(job.result == kOutputStateFileError ? kOutputStateStopped : job.result);
        writer->NoteFailure(job.reason);
    }
    OutputJobDone(&job);
    return ok;
}

}  // namespace orva
