#pragma once
// An upstream component whose samples come from a function of their position, a
// writer job over it, and a run of the output writer into one of the built-in formats.
#include <functional>
#include <string>
#include <vector>

#include "common/record_tag.h"
#include "io/data_set.h"
#include "io/output_writer.h"

namespace orva::testing_io {

// An upstream whose value at (frame, section, x, y, z, channel) comes from a function.
class TestSource : public ComponentBase {
public:
    using ValueFn =
        std::function<double(int frame, int section, int64_t x, int64_t y, int64_t z, int channel)>;
    TestSource(uint32_t channels, ValueFn fn)
        : ComponentBase(nullptr), channels_(channels), fn_(std::move(fn)) {
        process = &Process;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }
    std::vector<int> framesPulled;
    int failFrame = -1;  // a frame whose pull fails
    // A source that grows: the first pull of `growOnFrame` reports it, and from then
    // on CurrentSize answers the grown sizes (0: that size does not change).
    int growOnFrame = -1;
    uint32_t grownFrames = 0;
    int64_t grownWidth = 0;
    bool grown = false;
    static bool CurrentSize(void* context, int64_t* width, int64_t*, uint32_t* frames) {
        auto* self = static_cast<TestSource*>(context);
        if (self->grown && self->grownWidth > 0) *width = self->grownWidth;
        if (self->grown && self->grownFrames > 0) *frames = self->grownFrames;
        return true;
    }

private:
    static int32_t Process(ComponentBase* c, PullResult* r, PullRequest* request) {
        auto* self = static_cast<TestSource*>(c);
        if (request == nullptr || request->readAgain != 1 || self->failFrame == r->window.frame)
            return 0;
        const ReadWindow& w = r->window;
        r->image.SetTypeAndCount(0x40, self->channels_);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width),
                                       static_cast<uint32_t>(w.height)))
            return 0;
        auto* out = static_cast<double*>(r->image.data);
        for (int64_t y = 0; y < w.height; ++y)
            for (int64_t x = 0; x < w.width; ++x)
                for (uint32_t ch = 0; ch < self->channels_; ++ch)
                    *out++ =
                        self->fn_(w.frame, w.section, w.x + x, w.y + y, w.z, static_cast<int>(ch));
        if (self->framesPulled.empty() || self->framesPulled.back() != w.frame)
            self->framesPulled.push_back(w.frame);
        if (w.frame == self->growOnFrame && !self->grown) {
            self->grown = true;
            r->status |= kPullSourceGrown;
        }
        return 3;
    }
    uint32_t channels_;
    ValueFn fn_;
};

// An output writer over a test source of w x h x frames samples of the type.
struct WriterJob {
    OutputSourceInfo info;
    OutputWriter* writer = nullptr;
    TestSource* source = nullptr;
    FormatDesc format;
    WriterJob(uint32_t type, int64_t w, int64_t h, uint32_t frames, TestSource::ValueFn fn,
              uint32_t channels = 1) {
        source = new TestSource(channels, std::move(fn));
        writer = OutputWriter::Create(source);
        info.name = "/data/src.fits";
        info.type = type;
        info.channels = channels;
        info.width = w;
        info.height = h;
        info.frames = frames;
    }
    ~WriterJob() {
        writer->Release();
        source->Release();
    }
    WriterJob(const WriterJob&) = delete;
    WriterJob& operator=(const WriterJob&) = delete;
    // Configures and runs; the number of files written (-100: the source refused,
    // -200: the write could not be prepared).
    int Run(const std::string& target, uint32_t outType, const char* pattern = "#out") {
        writer->SetOutputName(pattern);
        writer->SetTargetName(target.c_str());
        writer->SetOutputParams(outType, false, 1, FourCC("IOST"), FourCC("INPT"));
        writer->NormaliseCropBox();
        if (!writer->ConnectSourceInfo(&info)) return -100;
        if (!writer->PrepareWrite(&format)) return -200;
        return writer->WriteRun();
    }
};

struct WriteRun {
    std::string file;      // the file written ("" when none)
    int filesWritten = 0;
};

// Writes frames 0..frames-1 of a width x height source through the format; stored =
// (physical - bzero) / bscale unless bscale is 0 (the plain conversion).
inline WriteRun RunWriter(const FormatDesc* format, const std::string& target, uint32_t sourceType,
                          uint32_t outType, int64_t width, int64_t height, uint32_t frames,
                          std::function<double(int frame, int64_t x, int64_t y)> fn,
                          double bscale = 0.0, double bzero = 0.0) {
    WriterJob job(sourceType, width, height, frames,
                  [fn](int f, int, int64_t x, int64_t y, int64_t, int) { return fn(f, x, y); });
    job.format = *format;
    if (bscale != 0.0) job.writer->SetScaleZero(bscale, bzero);
    job.writer->SetFrameRange(0, static_cast<int32_t>(frames) - 1, 1);
    WriteRun result;
    const int written = job.Run(target, outType);
    if (written >= 0) {
        result.filesWritten = written;
        result.file = job.writer->LastFileName();
    }
    return result;
}

}  // namespace orva::testing_io
