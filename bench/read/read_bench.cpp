// Reading frames through the frame window kernel, against cfitsio reading the same
// samples from an equivalent FITS file: a full 4096 x 4096 big-endian 16-bit frame
// with zero 32768 into 64-bit reals, a 512 x 512 window of it, and a 512 x 512 cube
// played frame by frame. Both read from a warm page cache. The files are written
// into a folder under /tmp on first use and removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "io/data_set.h"
#include "io/input_source.h"
#include "io/read_kernel.h"
#include "io/stream.h"

#if ORVA_HAVE_CFITSIO
#include <fitsio.h>
#endif

namespace orva {
namespace {

constexpr uint32_t kFull = 4096;
constexpr uint32_t kCube = 512;
// Frames of the cube: ORVA_BENCH_CUBE_FRAMES overrides (for a short disk).
uint32_t CubeFrames() {
    const char* v = std::getenv("ORVA_BENCH_CUBE_FRAMES");
    const long n = v ? std::atol(v) : 0;
    return n > 0 ? static_cast<uint32_t>(n) : 1000;
}

uint16_t Sample(uint64_t x, uint64_t y, uint64_t f) {
    return static_cast<uint16_t>((x * 7 + y * 13 + f * 101) & 0xFFFF);
}

// One frame of physical values.
std::vector<uint16_t> Frame(uint32_t w, uint32_t h, uint32_t f) {
    std::vector<uint16_t> v(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) v[static_cast<size_t>(y) * w + x] = Sample(x, y, f);
    return v;
}

// Stored as value - 32768, big-endian: what a FITS file with BZERO 32768 holds.
void AppendStored(FILE* out, const std::vector<uint16_t>& values) {
    std::vector<unsigned char> bytes(values.size() * 2);
    for (size_t i = 0; i < values.size(); ++i) {
        const uint16_t s = values[i] ^ 0x8000;
        bytes[2 * i] = static_cast<unsigned char>(s >> 8);
        bytes[2 * i + 1] = static_cast<unsigned char>(s & 0xFF);
    }
    std::fwrite(bytes.data(), 1, bytes.size(), out);
}

struct Files {
    std::string dir, fullRaw, cubeRaw, fullFits, cubeFits;
    uint32_t cubeFrames = 0;

    Files() {
        char t[] = "/tmp/orva_readbench_XXXXXX";
        if (mkdtemp(t) == nullptr) std::abort();
        dir = t;
        fullRaw = dir + "/full.raw";
        cubeRaw = dir + "/cube.raw";
        fullFits = dir + "/full.fits";
        cubeFits = dir + "/cube.fits";
        cubeFrames = CubeFrames();
        FILE* f = std::fopen(fullRaw.c_str(), "wb");
        AppendStored(f, Frame(kFull, kFull, 0));
        std::fclose(f);
        f = std::fopen(cubeRaw.c_str(), "wb");
        for (uint32_t i = 0; i < cubeFrames; ++i) AppendStored(f, Frame(kCube, kCube, i));
        std::fclose(f);
#if ORVA_HAVE_CFITSIO
        WriteFits(fullFits, kFull, kFull, 1);
        WriteFits(cubeFits, kCube, kCube, cubeFrames);
#endif
    }
    ~Files() {
        const std::string cmd = "rm -rf '" + dir + "'";
        if (std::system(cmd.c_str()) != 0) std::fprintf(stderr, "could not remove %s\n", dir.c_str());
    }
#if ORVA_HAVE_CFITSIO
    // BITPIX 16 with BZERO 32768, written by cfitsio itself.
    static void WriteFits(const std::string& path, uint32_t w, uint32_t h, uint32_t frames) {
        fitsfile* fp = nullptr;
        int status = 0;
        long axes[3] = {static_cast<long>(w), static_cast<long>(h), static_cast<long>(frames)};
        const std::string name = "!" + path;
        fits_create_file(&fp, name.c_str(), &status);
        fits_create_img(fp, USHORT_IMG, frames > 1 ? 3 : 2, axes, &status);
        for (uint32_t i = 0; i < frames && status == 0; ++i) {
            std::vector<uint16_t> v = Frame(w, h, i);
            fits_write_img(fp, TUSHORT, 1 + static_cast<LONGLONG>(i) * w * h,
                           static_cast<LONGLONG>(v.size()), v.data(), &status);
        }
        fits_close_file(fp, &status);
        if (status) {
            fits_report_error(stderr, status);
            std::abort();
        }
    }
#endif
};

Files& TheFiles() {
    static Files files;
    return files;
}

// A data set of big-endian 16-bit frames with zero 32768, as the service file describes them.
DataSet* OpenRaw(const std::string& path, uint32_t w, uint32_t h, uint32_t frames) {
    static FormatDesc desc = [] {
        FormatDesc f;
        f.tag = MakeFormatTag("BINARY");
        f.name = "Binary";
        f.extensions = "raw\0";
        return f;
    }();
    DataSet* d = DataSet::Create(MakeFormatTag("BINARY"));
    d->input = {0x82, 16, 1};
    d->sizeX = d->cropSizeX = w;
    d->sizeY = d->cropSizeY = h;
    d->sizeZ = d->cropSizeZ = 1;
    d->sections = 1;
    d->zero = 32768.0;
    d->SetTotalFrames(frames, true);
    InputSource source;
    source.format = &desc;
    if (StreamOpen(&source.stream, kStreamBinary, path.c_str()) < 2) std::abort();
    if (!d->AttachInput(&source, source.stream, nullptr)) std::abort();
    StreamClose(&source.stream);
    return d;
}

void Check(bool ok, benchmark::State& state) {
    if (!ok) state.SkipWithError("read failed");
}

void BM_FullFrame_ours(benchmark::State& state) {
    DataSet* d = OpenRaw(TheFiles().fullRaw, kFull, kFull, 1);
    TypedFrameBuffer image;
    image.SetTypeAndCount(0x40, 1);
    for (auto _ : state) {
        ReadWindow w{0, 0, 0, 0, kFull, kFull, 0, 1, 0};
        Check(d->ReadWindowData(&image, &w), state);
        benchmark::DoNotOptimize(image.data);
    }
    if (static_cast<const double*>(image.data)[kFull * 5 + 7] != Sample(7, 5, 0))
        state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * kFull * kFull);
    state.SetBytesProcessed(state.iterations() * kFull * kFull * 2);
    d->Release();
}

void BM_Window512_ours(benchmark::State& state) {
    DataSet* d = OpenRaw(TheFiles().fullRaw, kFull, kFull, 1);
    TypedFrameBuffer image;
    image.SetTypeAndCount(0x40, 1);
    for (auto _ : state) {
        ReadWindow w{0, 0, 1024, 1024, 512, 512, 0, 1, 0};
        Check(d->ReadWindowData(&image, &w), state);
        benchmark::DoNotOptimize(image.data);
    }
    if (static_cast<const double*>(image.data)[512 * 3 + 2] != Sample(1026, 1027, 0))
        state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * 512 * 512);
    state.SetBytesProcessed(state.iterations() * 512 * 512 * 2);
    d->Release();
}

void BM_CubeFrame_ours(benchmark::State& state) {
    const uint32_t frames = TheFiles().cubeFrames;
    DataSet* d = OpenRaw(TheFiles().cubeRaw, kCube, kCube, frames);
    TypedFrameBuffer image;
    image.SetTypeAndCount(0x40, 1);
    int32_t frame = 0;
    for (auto _ : state) {
        ReadWindow w{frame, 0, 0, 0, kCube, kCube, 0, 1, 0};
        Check(d->ReadWindowData(&image, &w), state);
        benchmark::DoNotOptimize(image.data);
        if (++frame == static_cast<int32_t>(frames)) frame = 0;
    }
    state.SetItemsProcessed(state.iterations() * kCube * kCube);
    state.SetBytesProcessed(state.iterations() * kCube * kCube * 2);
    d->Release();
}

#if ORVA_HAVE_CFITSIO
fitsfile* OpenFits(const std::string& path) {
    fitsfile* fp = nullptr;
    int status = 0;
    fits_open_file(&fp, path.c_str(), READONLY, &status);
    if (status) std::abort();
    return fp;
}

void BM_FullFrame_ref(benchmark::State& state) {
    fitsfile* fp = OpenFits(TheFiles().fullFits);
    std::vector<double> out(static_cast<size_t>(kFull) * kFull);
    for (auto _ : state) {
        int status = 0, anynul = 0;
        double nul = 0;
        fits_read_img(fp, TDOUBLE, 1, static_cast<LONGLONG>(out.size()), &nul, out.data(), &anynul,
                      &status);
        Check(status == 0, state);
        benchmark::DoNotOptimize(out.data());
    }
    if (out[kFull * 5 + 7] != Sample(7, 5, 0)) state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * kFull * kFull);
    state.SetBytesProcessed(state.iterations() * kFull * kFull * 2);
    int status = 0;
    fits_close_file(fp, &status);
}

void BM_Window512_ref(benchmark::State& state) {
    fitsfile* fp = OpenFits(TheFiles().fullFits);
    std::vector<double> out(512 * 512);
    long first[2] = {1025, 1025}, last[2] = {1536, 1536}, step[2] = {1, 1};
    for (auto _ : state) {
        int status = 0, anynul = 0;
        double nul = 0;
        fits_read_subset(fp, TDOUBLE, first, last, step, &nul, out.data(), &anynul, &status);
        Check(status == 0, state);
        benchmark::DoNotOptimize(out.data());
    }
    if (out[512 * 3 + 2] != Sample(1026, 1027, 0)) state.SkipWithError("wrong value");
    state.SetItemsProcessed(state.iterations() * 512 * 512);
    state.SetBytesProcessed(state.iterations() * 512 * 512 * 2);
    int status = 0;
    fits_close_file(fp, &status);
}

void BM_CubeFrame_ref(benchmark::State& state) {
    const uint32_t frames = TheFiles().cubeFrames;
    fitsfile* fp = OpenFits(TheFiles().cubeFits);
    std::vector<double> out(static_cast<size_t>(kCube) * kCube);
    uint32_t frame = 0;
    for (auto _ : state) {
        int status = 0, anynul = 0;
        double nul = 0;
        fits_read_img(fp, TDOUBLE, 1 + static_cast<LONGLONG>(frame) * out.size(),
                      static_cast<LONGLONG>(out.size()), &nul, out.data(), &anynul, &status);
        Check(status == 0, state);
        benchmark::DoNotOptimize(out.data());
        if (++frame == frames) frame = 0;
    }
    state.SetItemsProcessed(state.iterations() * kCube * kCube);
    state.SetBytesProcessed(state.iterations() * kCube * kCube * 2);
    int status = 0;
    fits_close_file(fp, &status);
}
#endif

BENCHMARK(BM_FullFrame_ours)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Window512_ours)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_CubeFrame_ours)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.5);
#if ORVA_HAVE_CFITSIO
BENCHMARK(BM_FullFrame_ref)->Unit(benchmark::kMillisecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_Window512_ref)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.2);
BENCHMARK(BM_CubeFrame_ref)->Unit(benchmark::kMicrosecond)->MinWarmUpTime(0.5);
#endif

}  // namespace
}  // namespace orva
