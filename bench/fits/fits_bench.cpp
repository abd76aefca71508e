// FITS reading and writing against cfitsio on the same data.
//   Read16:  open a 4096 x 4096 BITPIX=16 BSCALE=0.5 BZERO=32768 file and read it into
//            64-bit reals (ours: the FITS reader and the frame window kernel; ref:
//            fits_open_file + fits_read_img TDOUBLE).
//   Read32:  the same for a BITPIX=-32 file.
//   Write16Sky / Write16Random: write 4096 x 4096 64-bit reals as BITPIX=16 with BSCALE 0.5
//            and BZERO 32768 (ours: the output writer with the FITS write operation, from
//            an upstream component that serves the reals; ref: fits_write_img TDOUBLE),
//            with sky-like values and with uniformly random ones.
//   Write32: the same reals as BITPIX=-32.
//   Write16SkyCopied / Write32Copied: ours again with an upstream that copies every window
//            into the writer's pull buffer instead of lending its rows.
// Both sides create a new file in place of the last one (ours through a temporary file and
// a rename, cfitsio's "!" removes it first) and make it durable: our writer syncs the file
// before it is renamed, so cfitsio's file is synced after it is closed. Times are wall
// clock. Files go to $ORVA_BENCH_DIR, else /dev/shm when present, else /tmp; both sides
// write to the same file system.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "data/element_type.h"
#include "io/data_set.h"
#include "io/format_registry.h"
#include "io/formats/fits/fits_writer.h"
#include "io/input_source.h"
#include "io/output_block.h"
#include "io/output_writer.h"
#include "io/service_description.h"

#if ORVA_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace orva {
namespace {

constexpr int64_t kSide = 4096;
constexpr int64_t kCount = kSide * kSide;
constexpr double kScale = 0.5;
constexpr double kZero = 32768.0;

std::string BaseDir() {
    const char* v = std::getenv("ORVA_BENCH_DIR");
    if (v && *v) return v;
    struct stat st {};
    if (stat("/dev/shm", &st) == 0 && S_ISDIR(st.st_mode) && access("/dev/shm", W_OK) == 0) return "/dev/shm";
    return "/tmp";
}

// Physical values: a sky (smooth background, noise, stars) and uniform noise, both within
// what BITPIX 16 with BSCALE 0.5 and BZERO 32768 holds.
std::vector<double> SkyValues() {
    std::vector<double> v(kCount);
    std::mt19937_64 rng(7);
    std::normal_distribution<double> noise(0.0, 12.0);
    for (int64_t y = 0; y < kSide; ++y)
        for (int64_t x = 0; x < kSide; ++x)
            v[y * kSide + x] = 20000.0 + 0.3 * x + 0.2 * y + noise(rng);
    std::uniform_int_distribution<int64_t> at(20, kSide - 21);
    for (int s = 0; s < 400; ++s) {
        const int64_t cx = at(rng), cy = at(rng);
        for (int64_t dy = -8; dy <= 8; ++dy)
            for (int64_t dx = -8; dx <= 8; ++dx)
                v[(cy + dy) * kSide + cx + dx] += 8000.0 * std::exp(-(dx * dx + dy * dy) / 6.0);
    }
    // Values as a detector pipeline leaves them: quantised to the stored step.
    for (double& d : v) d = std::round(d * 2.0) / 2.0;
    return v;
}

std::vector<double> RandomValues() {
    std::vector<double> v(kCount);
    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> u(16400.0, 49100.0);
    for (double& d : v) d = u(rng);
    return v;
}

struct Files {
    std::string dir, read16, read32;
    std::vector<double> sky, random;

    Files() {
        std::string t = BaseDir() + "/orva_fitsbench_XXXXXX";
        if (mkdtemp(t.data()) == nullptr) std::abort();
        dir = t;
        sky = SkyValues();
        random = RandomValues();
        read16 = dir + "/read16.fits";
        read32 = dir + "/read32.fits";
        WriteInput(read16, 16);
        WriteInput(read32, -32);
    }
    ~Files() {
        const std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
    // The read inputs: the sky through the job functions of the writer.
    void WriteInput(const std::string& path, int bitpix) {
        FitsOutputJob job;
        OutputJobInit(&job, nullptr);
        if (!OutputJobOpen(&job, path.c_str())) std::abort();
        FitsHeaderParams p;
        p.bitpix = bitpix;
        p.sizeX = p.sizeY = kSide;
        if (bitpix == 16) {
            p.bscale = kScale;
            p.bzero = kZero;
            std::vector<int16_t> s(kCount);
            for (int64_t i = 0; i < kCount; ++i) s[i] = static_cast<int16_t>((sky[i] - kZero) / kScale);
            if (!FitsWriteHeaderParams(&job, p, kTypeI16) || !OutputJobAppend(&job, s.data(), s.size() * 2))
                std::abort();
        } else {
            std::vector<float> s(sky.begin(), sky.end());
            if (!FitsWriteHeaderParams(&job, p, kTypeF32) || !OutputJobAppend(&job, s.data(), s.size() * 4))
                std::abort();
        }
        if (!OutputJobCompletePlanes(&job) || !OutputJobPadData(&job, 2880) ||
            !FitsPatchHeader(&job, 1, 0.0, 65535.0))
            std::abort();
        OutputJobDone(&job);
    }
};

Files& TheFiles() {
    static Files files;
    return files;
}

FormatRegistry& Registry() {
    static FormatRegistry* registry = [] {
        auto* r = new FormatRegistry;
        int in = 0, out = 0;
        RegisterBuiltinFormats(*r, &in, &out);
        return r;
    }();
    return *registry;
}

class Keep : public InputReceiver {
public:
    int TakeDataSet(DataSet* d) override {
        if (kept == nullptr) {
            d->AddRef();
            kept = d;
        }
        return 2;
    }
    DataSet* kept = nullptr;
};

// ---- Reading ---------------------------------------------------------------------------------

void ReadOurs(benchmark::State& state, const std::string& path, double expect) {
    TheServiceDescriptionHooks() = ServiceDescriptionHooks();  // no ".fs" look-ups
    TypedFrameBuffer image;
    image.SetTypeAndCount(0x40, 1);
    for (auto _ : state) {
        PathName name;
        name.Set(path.c_str());
        OpenRequest request;
        request.registry = &Registry();
        Keep keep;
        InputSource source;
        source.receiver = &keep;
        if (OpenInputFile(&source, &request, &name) < 2 || keep.kept == nullptr) {
            state.SkipWithError("open failed");
            break;
        }
        ReadWindow w{0, 0, 0, 0, static_cast<int32_t>(kSide), static_cast<int32_t>(kSide), 0, 1, 0};
        if (!keep.kept->ReadWindowData(&image, &w)) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(image.data);
        keep.kept->Release();
    }
    if (image.data && static_cast<const double*>(image.data)[kSide * 5 + 7] != expect)
        state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Read16_ours(benchmark::State& state) { ReadOurs(state, TheFiles().read16, TheFiles().sky[kSide * 5 + 7]); }
void BM_Read32_ours(benchmark::State& state) {
    ReadOurs(state, TheFiles().read32, static_cast<float>(TheFiles().sky[kSide * 5 + 7]));
}

// ---- Writing ---------------------------------------------------------------------------------

// Serves rows of a held array of reals. A window of whole rows is lent (the result
// points into the array, which the writer only reads), as a stage that holds its frame
// in memory hands it on; other windows are copied. `lend` false copies every window.
class ArraySource : public ComponentBase {
public:
    ArraySource(const std::vector<double>* values, bool lend)
        : ComponentBase(nullptr), values_(values), lend_(lend) {
        process = &Process;
    }
    const ComponentId* GetClassId() const override { return &kRawInputId; }

private:
    static int32_t Process(ComponentBase* c, PullResult* r, PullRequest* request) {
        auto* self = static_cast<ArraySource*>(c);
        if (request == nullptr || request->readAgain != 1) return 0;
        const ReadWindow& w = r->window;
        r->image.SetTypeAndCount(0x40, 1);
        if (self->lend_ && w.x == 0 && w.width == kSide) {
            TypedFrameBuffer& image = r->image;
            image.width = static_cast<uint32_t>(w.width);
            image.height = static_cast<uint32_t>(w.height);
            image.rowBytes = static_cast<uint64_t>(image.itemBytes) * image.width;
            image.pixelCount = static_cast<uint64_t>(image.width) * image.height;
            image.state = 0;
            image.data = const_cast<double*>(self->values_->data() + w.y * kSide);
            return 3;
        }
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width), static_cast<uint32_t>(w.height))) return 0;
        auto* out = static_cast<double*>(r->image.data);
        for (int64_t y = 0; y < w.height; ++y)
            std::memcpy(out + y * w.width, self->values_->data() + (w.y + y) * kSide + w.x,
                        static_cast<size_t>(w.width) * sizeof(double));
        return 3;
    }
    const std::vector<double>* values_;
    bool lend_;
};

// Every pass after the first replaces the file the last one wrote: the user is asked once
// per run and agrees, as when a frame is saved again under its name.
void AgreeToReplace() {
    OutputWriterHooks& h = TheOutputWriterHooks();
    h.uiUp = +[] { return true; };
    h.messageBox = +[](const char*, const char* title, uint32_t) {
        return std::strcmp(title, "Output: Replace file(s)...") == 0 ? 6 : 1;
    };
}

void WriteOurs(benchmark::State& state, const std::vector<double>& values, uint32_t type, bool scaled,
               bool lend = true) {
    const std::string target = TheFiles().dir + "/ours.fits";
    AgreeToReplace();
    auto* source = new ArraySource(&values, lend);
    for (auto _ : state) {
        OutputWriter* writer = OutputWriter::Create(source);
        OutputSourceInfo info;
        info.name = "/data/sky.fits";
        info.type = kTypeF64;
        info.width = kSide;
        info.height = kSide;
        info.frames = 1;
        writer->SetOutputName("#w");
        writer->SetTargetName(target.c_str());
        writer->SetOutputParams(type, false, 1, FourCC("IOST"), FourCC("INPT"));
        if (scaled) writer->SetScaleZero(kScale, kZero);
        writer->SetFrameRange(0, 0, 1);
        writer->NormaliseCropBox();
        int files = 0;
        if (writer->ConnectSourceInfo(&info) && writer->PrepareWrite(FormatFits())) files = writer->WriteRun();
        if (files != 1) state.SkipWithError("write failed");
        writer->Release();
    }
    source->Release();
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Write16Sky_ours(benchmark::State& state) { WriteOurs(state, TheFiles().sky, kTypeI16, true); }
void BM_Write16Random_ours(benchmark::State& state) { WriteOurs(state, TheFiles().random, kTypeI16, true); }
void BM_Write32_ours(benchmark::State& state) { WriteOurs(state, TheFiles().sky, kTypeF32, false); }
// The same with an upstream that copies every window into the writer's buffer.
void BM_Write16SkyCopied_ours(benchmark::State& state) { WriteOurs(state, TheFiles().sky, kTypeI16, true, false); }
void BM_Write32Copied_ours(benchmark::State& state) { WriteOurs(state, TheFiles().sky, kTypeF32, false, false); }

#if ORVA_HAVE_CFITSIO
void ReadRef(benchmark::State& state, const std::string& path, double expect) {
    std::vector<double> out(kCount);
    for (auto _ : state) {
        fitsfile* fp = nullptr;
        int status = 0, anynul = 0;
        double nul = 0;
        fits_open_file(&fp, path.c_str(), READONLY, &status);
        fits_read_img(fp, TDOUBLE, 1, kCount, &nul, out.data(), &anynul, &status);
        fits_close_file(fp, &status);
        if (status) state.SkipWithError("cfitsio read failed");
        benchmark::DoNotOptimize(out.data());
    }
    if (out[kSide * 5 + 7] != expect) state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Read16_ref(benchmark::State& state) { ReadRef(state, TheFiles().read16, TheFiles().sky[kSide * 5 + 7]); }
void BM_Read32_ref(benchmark::State& state) {
    ReadRef(state, TheFiles().read32, static_cast<float>(TheFiles().sky[kSide * 5 + 7]));
}

// Our writer makes its file durable before it replaces the old one (fsync): the same
// is asked of cfitsio's file, so that both sides pay for it.
void SyncFile(const char* path) {
    const int fd = open(path, O_RDONLY);
    if (fd >= 0) {
        fsync(fd);
        close(fd);
    }
}

void WriteRef(benchmark::State& state, const std::vector<double>& values, int bitpix, bool scaled) {
    const std::string name = "!" + TheFiles().dir + "/ref.fits";
    std::vector<double> copy = values;  // cfitsio may scale the caller's array in place
    for (auto _ : state) {
        fitsfile* fp = nullptr;
        int status = 0;
        long axes[2] = {kSide, kSide};
        fits_create_file(&fp, name.c_str(), &status);
        fits_create_img(fp, bitpix, 2, axes, &status);
        if (scaled) {
            double s = kScale, z = kZero;
            fits_write_key(fp, TDOUBLE, "BSCALE", &s, nullptr, &status);
            fits_write_key(fp, TDOUBLE, "BZERO", &z, nullptr, &status);
            fits_set_bscale(fp, kScale, kZero, &status);
        }
        fits_write_img(fp, TDOUBLE, 1, kCount, copy.data(), &status);
        fits_close_file(fp, &status);
        SyncFile(name.c_str() + 1);
        if (status) state.SkipWithError("cfitsio write failed");
    }
    state.SetItemsProcessed(state.iterations() * kCount);
}

void BM_Write16Sky_ref(benchmark::State& state) { WriteRef(state, TheFiles().sky, SHORT_IMG, true); }
void BM_Write16Random_ref(benchmark::State& state) { WriteRef(state, TheFiles().random, SHORT_IMG, true); }
void BM_Write32_ref(benchmark::State& state) { WriteRef(state, TheFiles().sky, FLOAT_IMG, false); }
#endif

BENCHMARK(BM_Read16_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Read32_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Write16Sky_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write16Random_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write32_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write16SkyCopied_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write32Copied_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
#if ORVA_HAVE_CFITSIO
BENCHMARK(BM_Read16_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Read32_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Write16Sky_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write16Random_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
BENCHMARK(BM_Write32_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2)->UseRealTime();
#endif

}  // namespace
}  // namespace orva
