// Frames pulled through the Source from a FITS cube of 256 frames of 1024 x 1024
// 16-bit samples with BZERO 32768 (512 MiB, warm page cache): each frame is selected
// with message 257 and pulled through a consumer link, against cfitsio reading the
// same frame into doubles (BM_SourceFrame); and the Source's own share, the same pull
// against the data set's frame read called directly (BM_SourceOverhead); and stepping
// with a view whose range follows the frame against the plain pull (BM_SourceFollow); and
// stepping with a statistic region open, the region measured on each new frame, against
// the plain pull (BM_SourceMeasure).
// The file is written into a folder under /tmp on first use and removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "io/data_set.h"
#include "io/format_registry.h"
#include "io/input_source.h"
#include "io/stream.h"
#include "reduction/reduction_component.h"
#include "shapes/shape.h"
#include "transform/transformation.h"
#include "transform/value_scaler.h"
#include "views/source_component.h"

#if ORVA_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace orva {
namespace {

constexpr uint32_t kSide = 1024;
constexpr uint64_t kPixels = uint64_t{kSide} * kSide;

// Frames of the cube: ORVA_BENCH_SOURCE_FRAMES overrides (for a short disk).
uint32_t CubeFrames() {
    const char* v = std::getenv("ORVA_BENCH_SOURCE_FRAMES");
    const long n = v ? std::atol(v) : 0;
    return n > 0 ? static_cast<uint32_t>(n) : 256;
}

uint16_t Sample(uint64_t x, uint64_t y, uint64_t f) {
    return static_cast<uint16_t>((x * 7 + y * 13 + f * 101) & 0xFFFF);
}

std::string Card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

std::string Number(const char* key, long value) {
    char line[81];
    std::snprintf(line, sizeof line, "%-8s= %20ld", key, value);
    return Card(line);
}

struct Cube {
    std::string dir, path;
    uint32_t frames = 0;

    Cube() {
        char t[] = "/tmp/orva_sourcebench_XXXXXX";
        if (mkdtemp(t) == nullptr) std::abort();
        dir = t;
        path = dir + "/cube.fits";
        frames = CubeFrames();
        // The header, then the samples stored as value - 32768, big-endian, and the padding.
        std::string header = Card("SIMPLE  =                    T") + Number("BITPIX", 16) + Number("NAXIS", 3) +
                             Number("NAXIS1", kSide) + Number("NAXIS2", kSide) + Number("NAXIS3", frames) +
                             Number("BZERO", 32768) + Number("BSCALE", 1) + Card("END");
        header.resize(2880, ' ');
        FILE* out = std::fopen(path.c_str(), "wb");
        if (out == nullptr) std::abort();
        std::fwrite(header.data(), 1, header.size(), out);
        std::vector<unsigned char> bytes(kPixels * 2);
        for (uint32_t f = 0; f < frames; ++f) {
            for (uint32_t y = 0; y < kSide; ++y)
                for (uint32_t x = 0; x < kSide; ++x) {
                    const uint16_t s = Sample(x, y, f) ^ 0x8000;
                    const size_t i = 2 * (static_cast<size_t>(y) * kSide + x);
                    bytes[i] = static_cast<unsigned char>(s >> 8);
                    bytes[i + 1] = static_cast<unsigned char>(s & 0xFF);
                }
            if (std::fwrite(bytes.data(), 1, bytes.size(), out) != bytes.size()) std::abort();
        }
        const uint64_t data = uint64_t{frames} * kPixels * 2;
        const std::string pad((2880 - data % 2880) % 2880, '\0');
        std::fwrite(pad.data(), 1, pad.size(), out);
        if (std::fclose(out) != 0) std::abort();
    }
    ~Cube() {
        const std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
};

Cube& TheCube() {
    static Cube cube;
    return cube;
}

class Keep : public InputReceiver {
public:
    int TakeDataSet(DataSet* d) override {
        d->AddRef();
        kept = d;
        return 2;
    }
    DataSet* kept = nullptr;
};

// The cube opened by the program's FITS reader.
DataSet* OpenCube() {
    static FormatRegistry registry;
    static const bool registered = [] {
        int in = 0, out = 0;
        RegisterBuiltinFormats(registry, &in, &out);
        return true;
    }();
    (void)registered;
    PathName name;
    if (name.Set(TheCube().path.c_str()) != 2) std::abort();
    OpenRequest request;
    request.registry = &registry;
    Keep keep;
    InputSource source;
    source.receiver = &keep;
    if (OpenInputFile(&source, &request, &name) != 2 || keep.kept == nullptr) std::abort();
    return keep.kept;
}

// A consumer at the end of a link to the Source.
class Sink : public ConsumerLink {
public:
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest* r) override { return r->channels == 1; }
};

void Check(bool ok, benchmark::State& state) {
    if (!ok) state.SkipWithError("read failed");
}

// A statistic rectangle of 256 x 256 pixels that a Reduction behind the Source measures on
// the frame a step shows (its pull names the frame), as the chart of a cube with a region
// open does on every step.
class MeasuredRegion {
public:
    MeasuredRegion(ProjectItemBase* item, SourceComponent* source)
        : reduction_(static_cast<ReductionComponent*>(CreateReductionFromScript(nullptr, item, nullptr))),
          shape_(CreateShape(kKindRect)) {
        if (reduction_ == nullptr || shape_ == nullptr || !ConsumerAttach(&reduction_->input, source) ||
            !ConsumerAttach(&chart_, reduction_))
            std::abort();
        shape_->header.role = kRoleStatistic;
        ShapeRegion& mask = shape_->derived.mask;
        if (!RegionAppendRect(&mask, 384, 384, 640, 640)) std::abort();
        mask.RecomputeBox();
        if (!reduction_->AddItem(shape_)) std::abort();
    }
    ~MeasuredRegion() {
        reduction_->RemoveItem(shape_);
        shape_->Release();
        ConsumerDetach(&chart_);
        ConsumerDetach(&reduction_->input);
        reduction_->Release();
    }
    MeasuredRegion(const MeasuredRegion&) = delete;
    MeasuredRegion& operator=(const MeasuredRegion&) = delete;

    bool Measure(int32_t frame) {
        result_.window.frame = frame;
        result_.window.section = -1;
        PullRequest request;
        return ReductionComponent::RunItem(reduction_, &result_, &request) >= 2;
    }
    // The last measurement was of the frame, every pixel of the region.
    bool Measured(uint32_t frame) const {
        const StatisticBlock* b = reduction_->Statistic();
        return b != nullptr && b->filled == 1 && b->frame == static_cast<int32_t>(frame) &&
               b->Results()[0].npro == 256u * 256u;
    }

private:
    ReductionComponent* reduction_;
    Shape* shape_;
    Sink chart_;
    PullResult result_;
};

// How each frame is stepped to: pulled alone; with a view whose range follows the frame
// (the Source heads an item whose Transformation shows each frame over its own statistics
// range, as a view does that was opened on the cube: every selection takes the new
// frame's statistics and the view's range from them); or with a statistic region measured
// on each frame.
enum class Step { kPull, kFollow, kMeasure };

// Every frame in turn, selected and pulled through the Source; `side` x `side` pixels.
void PullThroughTheSource(benchmark::State& state, uint32_t side, Step step = Step::kPull) {
    const bool follow = step == Step::kFollow;
    const uint32_t frames = TheCube().frames;
    DataSet* d = OpenCube();
    ProjectItemBase item;
    auto* source = new SourceComponent(follow ? &item : nullptr);
    source->SetInput(d);
    TransformationComponent* view = nullptr;
    if (follow) {
        item.firstStage = source;
        view = new TransformationComponent(&item, nullptr, 0);
        if (!ConsumerAttach(&view->input, source) || !ValueScalerRefresh(&view->scaler, false)) std::abort();
    }
    Sink link;
    if (!ConsumerAttach(&link, source)) std::abort();
    std::optional<MeasuredRegion> region;
    if (step == Step::kMeasure) region.emplace(&item, source);
    double lastLow = 0.0;
    const double firstLow = view != nullptr ? view->scaler.Current().min : 0.0;
    PullResult result;
    PullRequest request;
    int32_t frame = 0;
    for (auto _ : state) {
        FrameMessage select(kMsgSelectPosition, frame, 0);
        source->OnMessage(&select, 0);
        result.pending = 0;
        result.window = ReadWindow{-1, -1, 0, 0, static_cast<int32_t>(side), static_cast<int32_t>(side), 0, 1, 0};
        Check(ComponentPull(&link, &result, &request) == 3, state);
        if (region) Check(region->Measure(frame), state);
        benchmark::DoNotOptimize(result.image.data);
        if (view != nullptr) lastLow = view->scaler.Current().min;
        if (++frame == static_cast<int32_t>(frames)) frame = 0;
    }
    const uint32_t last = result.deliveredFrame;
    if (static_cast<const double*>(result.image.data)[side * 5 + 7] != Sample(7, 5, last))
        state.SkipWithError("wrong value");
    // The view's range is the last frame's: each frame's samples are the first frame's
    // moved by 101 f (mod 65536), so their statistics, and the range, differ from frame 0's.
    if (view != nullptr) {
        const double high = view->scaler.Current().max;
        if (!(last == 0 || lastLow != firstLow) || !(lastLow >= 0.0 && lastLow < high && high <= 65535.0))
            state.SkipWithError("the range did not follow");
    }
    if (region && !region->Measured(last)) state.SkipWithError("the region was not measured on the step's frame");
    region.reset();
    state.SetItemsProcessed(state.iterations() * side * side);
    state.SetBytesProcessed(state.iterations() * side * side * 2);
    ConsumerDetach(&link);
    if (view != nullptr) {
        ConsumerDetach(&view->input);
        view->Release();
    }
    item.firstStage = nullptr;
    source->Release();
    d->Release();
}

// The same frames read by the data set's frame read itself.
void ReadDirectly(benchmark::State& state, uint32_t side) {
    const uint32_t frames = TheCube().frames;
    DataSet* d = OpenCube();
    OutputFormat agreed{0x40, 8, 1, 2, {0, 0}};
    if (!d->SetOutputFormat(&agreed)) std::abort();
    TypedFrameBuffer image;
    int32_t frame = 0;
    for (auto _ : state) {
        d->SelectPosition(frame, 0);
        ReadWindow w{d->currentFrame, d->currentSection, 0, 0, static_cast<int32_t>(side), static_cast<int32_t>(side), 0, 1, 0};
        Check(d->ReadWindowData(&image, &w), state);
        benchmark::DoNotOptimize(image.data);
        if (++frame == static_cast<int32_t>(frames)) frame = 0;
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    state.SetBytesProcessed(state.iterations() * side * side * 2);
    d->Release();
}

void BM_SourceFrame_ours(benchmark::State& state) { PullThroughTheSource(state, kSide); }
// Stepping with a view whose range follows the frame, against the plain pull.
void BM_SourceFollow_ours(benchmark::State& state) { PullThroughTheSource(state, kSide, Step::kFollow); }
void BM_SourceFollow_ref(benchmark::State& state) { PullThroughTheSource(state, kSide); }
// A step with a statistic region open, against the step alone.
void BM_SourceMeasure_ours(benchmark::State& state) { PullThroughTheSource(state, kSide, Step::kMeasure); }
void BM_SourceMeasure_ref(benchmark::State& state) { PullThroughTheSource(state, kSide); }
void BM_SourceOverhead_ours(benchmark::State& state) { PullThroughTheSource(state, static_cast<uint32_t>(state.range(0))); }
void BM_SourceOverhead_ref(benchmark::State& state) { ReadDirectly(state, static_cast<uint32_t>(state.range(0))); }

#if ORVA_HAVE_CFITSIO
void BM_SourceFrame_ref(benchmark::State& state) {
    const uint32_t frames = TheCube().frames;
    fitsfile* fp = nullptr;
    int status = 0;
    fits_open_file(&fp, TheCube().path.c_str(), READONLY, &status);
    if (status) std::abort();
    std::vector<double> out(kPixels);
    uint32_t frame = 0, last = 0;
    for (auto _ : state) {
        int anynul = 0;
        double nul = 0;
        status = 0;
        fits_read_img(fp, TDOUBLE, 1 + static_cast<LONGLONG>(frame) * kPixels, static_cast<LONGLONG>(kPixels), &nul,
                      out.data(), &anynul, &status);
        Check(status == 0, state);
        benchmark::DoNotOptimize(out.data());
        last = frame;
        if (++frame == frames) frame = 0;
    }
    if (out[kSide * 5 + 7] != Sample(7, 5, last)) state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * kPixels);
    state.SetBytesProcessed(state.iterations() * kPixels * 2);
    fits_close_file(fp, &status);
}
BENCHMARK(BM_SourceFrame_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
#endif

BENCHMARK(BM_SourceFrame_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
BENCHMARK(BM_SourceFollow_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
BENCHMARK(BM_SourceFollow_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
BENCHMARK(BM_SourceMeasure_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
BENCHMARK(BM_SourceMeasure_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(1.0);
BENCHMARK(BM_SourceOverhead_ours)->Arg(1024)->Arg(128)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.5);
BENCHMARK(BM_SourceOverhead_ref)->Arg(1024)->Arg(128)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.5);

}  // namespace
}  // namespace orva
