#pragma once
// An upstream component whose samples come from a function of their position,
// and a run of the output writer over it into one of the built-in formats.
#include <functional>
#include <string>

#include "io/data_set.h"
#include "io/output_writer.h"

namespace orva::testing_io {

class FunctionSource : public ComponentBase {
public:
    using ValueFn = std::function<double(int frame, int64_t x, int64_t y)>;
    explicit FunctionSource(ValueFn fn) : ComponentBase(nullptr), fn_(std::move(fn)) { process = &Process; }
    const ComponentId* GetClassId() const override { return &kRawInputId; }

private:
    static int32_t Process(ComponentBase* c, PullResult* r, PullRequest* request) {
        auto* self = static_cast<FunctionSource*>(c);
        if (request == nullptr || request->readAgain != 1) return 0;
        const ReadWindow& w = r->window;
        r->image.SetTypeAndCount(0x40, 1);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return 0;
        auto* out = static_cast<double*>(r->image.data);
        for (int64_t y = 0; y < w.height; ++y)
            for (int64_t x = 0; x < w.width; ++x) *out++ = self->fn_(w.frame, w.x + x, w.y + y);
        return 3;
    }
    ValueFn fn_;
};

struct WriteRun {
    std::string file;      // the file written ("" when none)
    int filesWritten = 0;
};

// Writes frames 0..frames-1 of a width x height source through the format; stored =
// (physical - bzero) / bscale unless bscale is 0 (the plain conversion).
inline WriteRun RunWriter(const FormatDesc* format, const std::string& target, uint32_t sourceType,
                          uint32_t outType, int64_t width, int64_t height, uint32_t frames,
                          FunctionSource::ValueFn fn, double bscale = 0.0, double bzero = 0.0) {
    WriteRun result;
    auto* source = new FunctionSource(std::move(fn));
    OutputWriter* writer = OutputWriter::Create(source);
    OutputSourceInfo info;
    info.name = "/data/src.fits";
    info.type = sourceType;
    info.width = width;
    info.height = height;
    info.frames = frames;
    writer->SetOutputName("#out");
    writer->SetTargetName(target.c_str());
    writer->SetOutputParams(outType, false, 1, FourCC("IOST"), FourCC("INPT"));
    if (bscale != 0.0) writer->SetScaleZero(bscale, bzero);
    writer->SetFrameRange(0, static_cast<int32_t>(frames) - 1, 1);
    writer->NormaliseCropBox();
    if (writer->ConnectSourceInfo(&info) && writer->PrepareWrite(format)) {
        result.filesWritten = writer->WriteRun();
        result.file = writer->LastFileName();
    }
    writer->Release();
    source->Release();
    return result;
}

}  // namespace orva::testing_io
