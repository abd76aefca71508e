// Writing a 512 x 512 x 1000 cube of 64-bit reals as a 16-bit FITS file with
// scale and zero and clipping detection on, against cfitsio's fits_write_img of
// the same doubles into the same kind of file (BITPIX 16, the same BSCALE and
// BZERO). Two kinds of data: sky-like (background, noise and stars) and uniformly
// random. Our upstream copies each frame out of a small pool of prepared frames
// (as a source delivering its frame would); cfitsio is handed the pool frame
// directly. Rates are the bytes of doubles taken in per second. The files go to a
// folder under $TMPDIR (else /tmp) and are removed after each run; both sides
// fsync their file (our writer does so before renaming it).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/component_id.h"
#include "io/format_registry.h"
#include "io/formats/fits/fits_writer.h"
#include "io/output_writer.h"

#if ORVA_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace orva {
namespace {

constexpr uint32_t kSide = 512;
constexpr uint32_t kPool = 4;
constexpr size_t kPixels = static_cast<size_t>(kSide) * kSide;

// Frames of the cube: ORVA_BENCH_CUBE_FRAMES overrides (for a short disk).
uint32_t CubeFrames() {
    const char* v = std::getenv("ORVA_BENCH_CUBE_FRAMES");
    const long n = v ? std::atol(v) : 0;
    return n > 0 ? static_cast<uint32_t>(n) : 1000;
}

const std::string& Folder() {
    // Never destroyed: the clean-up at exit still needs it.
    static const std::string& dir = *new std::string([] {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orva_wbench_XXXXXX";
        std::vector<char> b(pattern.begin(), pattern.end());
        b.push_back('\0');
        if (mkdtemp(b.data()) == nullptr) std::abort();
        return std::string(b.data());
    }());
    return dir;
}

void RemoveFolder() {
    std::string cmd = "rm -rf '" + Folder() + "'";
    if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "cannot remove %s\n", Folder().c_str());
}

// Pools of physical values in 0..60000: sky-like and uniformly random.
const std::vector<double>& Pool(bool sky) {
    static std::vector<double> pools[2];
    std::vector<double>& p = pools[sky ? 1 : 0];
    if (!p.empty()) return p;
    p.resize(kPixels * kPool);
    std::mt19937_64 rng(sky ? 7 : 11);
    if (!sky) {
        std::uniform_real_distribution<double> u(0.0, 60000.0);
        for (double& v : p) v = u(rng);
        return p;
    }
    std::normal_distribution<double> noise(0.0, 12.0);
    std::uniform_real_distribution<double> pos(0.0, kSide), flux(500.0, 40000.0);
    for (uint32_t f = 0; f < kPool; ++f) {
        double* frame = p.data() + f * kPixels;
        for (size_t i = 0; i < kPixels; ++i) frame[i] = 1000.0 + noise(rng);
        for (int s = 0; s < 300; ++s) {
            const double cx = pos(rng), cy = pos(rng), a = flux(rng);
            for (int dy = -6; dy <= 6; ++dy)
                for (int dx = -6; dx <= 6; ++dx) {
                    const int x = static_cast<int>(cx) + dx, y = static_cast<int>(cy) + dy;
                    if (x < 0 || y < 0 || x >= static_cast<int>(kSide) ||
                        y >= static_cast<int>(kSide))
                        continue;
                    const double r2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
                    frame[static_cast<size_t>(y) * kSide + x] += a * std::exp(-r2 / 4.5);
                }
        }
        for (size_t i = 0; i < kPixels; ++i)
            frame[i] = std::fmin(60000.0, std::fmax(0.0, frame[i]));
    }
    return p;
}

// The scale and zero that map 0..60000 onto the 16-bit range.
constexpr double kBScale = 60000.0 / 65535.0;
constexpr double kBZero = 32768.0 * kBScale;

// An upstream that delivers frames of the pool.
class PoolSource : public ComponentBase {
public:
    explicit PoolSource(const std::vector<double>* pool) : ComponentBase(nullptr), pool_(pool) {
        process = &Process;
    }
    const ComponentId* GetClassId() const override { return &kInputId; }

private:
    static int32_t Process(ComponentBase* c, PullResult* r, PullRequest*) {
        auto* self = static_cast<PoolSource*>(c);
        const ReadWindow& w = r->window;
        r->image.SetTypeAndCount(0x40, 1);
        if (!r->image.AllocImageBuffer(static_cast<uint32_t>(w.width),
                                       static_cast<uint32_t>(w.height)))
            return 0;
        const double* frame =
            self->pool_->data() + (static_cast<size_t>(w.frame) % kPool) * kPixels;
        auto* out = static_cast<double*>(r->image.data);
        if (w.x == 0 && w.width == static_cast<int32_t>(kSide)) {
            std::memcpy(out, frame + w.y * kSide, static_cast<size_t>(w.width) * w.height * sizeof(double));
            return 3;
        }
        for (int32_t y = 0; y < w.height; ++y)
            std::memcpy(out + static_cast<size_t>(y) * w.width, frame + (w.y + y) * kSide + w.x,
                        static_cast<size_t>(w.width) * sizeof(double));
        return 3;
    }
    const std::vector<double>* pool_;
};

void WriteOurs(benchmark::State& state, bool sky) {
    const std::vector<double>& pool = Pool(sky);
    const uint32_t frames = CubeFrames();
    FormatDesc fits = *FormatFits();
    fits.write = &FitsWrite;
    const std::string target = Folder() + "/ours.fits";
    for (auto _ : state) {
        PoolSource* source = new PoolSource(&pool);
        OutputWriter* w = OutputWriter::Create(source);
        OutputSourceInfo info;
        info.name = "cube.fits";
        info.type = kTypeF64;
        info.width = kSide;
        info.height = kSide;
        info.frames = frames;
        w->SetOutputName("#ours");
        w->SetTargetName(target.c_str());
        w->SetOutputParams(kTypeI16, false, 1, 0, 0);
        w->SetScaleZero(kBScale, kBZero);
        bool ok = w->ConnectSourceInfo(&info) && w->PrepareWrite(&fits) && w->WriteRun() == 1;
        std::string name = w->LastFileName();
        w->Release();
        source->Release();
        state.PauseTiming();
        if (!ok) state.SkipWithError("write failed");
        std::remove(name.c_str());
        std::remove((name.substr(0, name.size() - 5) + ".fs").c_str());
        std::remove((Folder() + "/ours.log").c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frames * kPixels *
                            sizeof(double));
}

#if ORVA_HAVE_CFITSIO
void WriteCfitsio(benchmark::State& state, bool sky) {
    const std::vector<double>& pool = Pool(sky);
    const uint32_t frames = CubeFrames();
    const std::string path = Folder() + "/ref.fits";
    for (auto _ : state) {
        std::remove(path.c_str());
        fitsfile* f = nullptr;
        int status = 0;
        long axes[3] = {kSide, kSide, static_cast<long>(frames)};
        fits_create_file(&f, path.c_str(), &status);
        fits_create_img(f, SHORT_IMG, 3, axes, &status);
        double bscale = kBScale, bzero = kBZero;
        fits_write_key(f, TDOUBLE, "BSCALE", &bscale, nullptr, &status);
        fits_write_key(f, TDOUBLE, "BZERO", &bzero, nullptr, &status);
        fits_set_bscale(f, bscale, bzero, &status);
        for (uint32_t fr = 0; fr < frames && status == 0; ++fr) {
            double* frame = const_cast<double*>(pool.data() + (fr % kPool) * kPixels);
            fits_write_img(f, TDOUBLE, static_cast<LONGLONG>(fr) * kPixels + 1,
                           static_cast<LONGLONG>(kPixels), frame, &status);
        }
        fits_close_file(f, &status);
        // Our writer makes its file durable before it takes its final name; the
        // reference does the same, so both pay for the disk.
        if (status == 0) {
            const int fd = ::open(path.c_str(), O_RDONLY);
            if (fd >= 0) {
                ::fsync(fd);
                ::close(fd);
            }
        }
        state.PauseTiming();
        if (status != 0) state.SkipWithError("cfitsio failed");
        std::remove(path.c_str());
        state.ResumeTiming();
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * frames * kPixels *
                            sizeof(double));
}
#endif

void BM_WriteCubeSky_ours(benchmark::State& s) {
    WriteOurs(s, true);
}
void BM_WriteCubeRandom_ours(benchmark::State& s) {
    WriteOurs(s, false);
}
BENCHMARK(BM_WriteCubeSky_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteCubeRandom_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
#if ORVA_HAVE_CFITSIO
void BM_WriteCubeSky_ref(benchmark::State& s) {
    WriteCfitsio(s, true);
}
void BM_WriteCubeRandom_ref(benchmark::State& s) {
    WriteCfitsio(s, false);
}
BENCHMARK(BM_WriteCubeSky_ref)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteCubeRandom_ref)->Unit(benchmark::kMillisecond)->UseRealTime();
#endif

struct Cleanup {
    ~Cleanup() { RemoveFolder(); }
} gCleanup;

}  // namespace
}  // namespace orva
