// Shape files: an anchor file of 50000 points (the most a block may hold) read by the
// shape-file reader (keys, markers, the row checks and the block buffer), against the
// least a reader of the same rows does: fgets and strtod into a vector of floats. Rates
// are rows per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shapes/shape.h"
#include "shapes/ui/shape_files.h"

namespace {

using namespace orva;

constexpr int kRows = static_cast<int>(kShapeFileMaxPoints);

// The file, written once for the run.
const std::string& AnchorFile() {
    static const std::string path = [] {
        const char* base = std::getenv("TMPDIR");
        std::string name = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orva_bench_XXXXXX.msk";
        const int fd = mkstemps(name.data(), 4);
        if (fd < 0) std::abort();
        FILE* f = fdopen(fd, "w");
        std::fprintf(f, ";SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n;SUBPIX=1\n;COBJ='ANCHOR'\n;CDATA='POINT'\n"
                        ";NAXIS=2\n\n;#data\n");
        for (int i = 0; i < kRows; ++i) std::fprintf(f, "%.9g %.9g\n", i * 0.37 + 0.1, 1000.0 - i * 0.173);
        std::fprintf(f, ";#end\n\n");
        std::fclose(f);
        std::atexit([] { unlink(AnchorFile().c_str()); });
        return name;
    }();
    return path;
}

class CountingReader : public ShapeFileReader {
public:
    bool CommitObject() override {
        rows += record.header.anchors.Count();
        return true;
    }
    uint64_t rows = 0;
};

void BM_ShapeFileRead_ours(benchmark::State& state) {
    const std::string& path = AnchorFile();
    for (auto _ : state) {
        CountingReader reader;
        if (!reader.LoadFile(path.c_str()) || reader.rows != kRows) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(reader.rows);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ShapeFileRead_ours)->Unit(benchmark::kMillisecond);

void BM_ShapeFileRead_ref(benchmark::State& state) {
    const std::string& path = AnchorFile();
    for (auto _ : state) {
        std::vector<float> values;
        values.reserve(2 * kRows + 128);
        FILE* f = std::fopen(path.c_str(), "r");
        char line[1024];
        while (f != nullptr && std::fgets(line, sizeof line, f) != nullptr) {
            if (line[0] == ';' || line[0] == '\n') continue;
            char* end = nullptr;
            const double x = std::strtod(line, &end);
            const double y = std::strtod(end, nullptr);
            values.push_back(static_cast<float>(x));
            values.push_back(static_cast<float>(y));
        }
        if (f != nullptr) std::fclose(f);
        if (values.size() != 2u * kRows) state.SkipWithError("read failed");
        benchmark::DoNotOptimize(values.data());
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_ShapeFileRead_ref)->Unit(benchmark::kMillisecond);


// ---- Hostile files ------------------------------------------------------------------------------
//
// Files a user may be handed: one polygon of 10^6 random points over a 400 x 300 frame
// (12.5 MB, refused), the largest polygon taken (50000 random points, its mask built), a
// slice whose offset vector reaches 10^9 pixels off its path, and one whose aperture is
// the largest a file may give. Each load (read, checks, the shape's masks built) must end
// well within 2 s; the rate is vertices per second.
namespace hostile {

std::string WriteTemp(const std::string& text) {
    const char* base = std::getenv("TMPDIR");
    std::string name = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orva_hostile_XXXXXX.msk";
    const int fd = mkstemps(name.data(), 4);
    if (fd < 0) std::abort();
    FILE* f = fdopen(fd, "w");
    std::fputs(text.c_str(), f);
    std::fclose(f);
    return name;
}

std::string RandomPolygon(int points) {
    return [points] {
        std::string text = ";SHAPEROLE='Statistic'\n;SHAPETYPE='Polygon'\n;COBJ='ANCHOR'\n;CDATA='POINT'\n;#data\n";
        uint64_t state = 88172645463325252ull;
        auto next = [&state] {
            state ^= state << 13;
            state ^= state >> 7;
            state ^= state << 17;
            return static_cast<double>(state % 1000000) / 1000000.0;
        };
        char row[64];
        for (int i = 0; i < points; ++i) {
            std::snprintf(row, sizeof row, "%.3f %.3f\n", next() * 400.0, next() * 300.0);
            text += row;
        }
        text += ";#end\n";
        return WriteTemp(text);
    }();
}

std::string Slice(const char* offsetLines) {
    return std::string(";SHAPEROLE='Slice'\n;SHAPETYPE='PolyLine'\n") + offsetLines +
           ";COBJ='ANCHOR'\n;CDATA='POINT'\n;#data\n10 10\n200 150\n390 20\n;#end\n";
}

void Load(benchmark::State& state, const std::string& path, int64_t vertices) {
    for (auto _ : state) {
        Shape* made = nullptr;
        const bool loaded = LoadShapeFile(nullptr, path.c_str(), true, &made);
        if (made != nullptr) {
            made->AddRef();
            made->Release();
        }
        benchmark::DoNotOptimize(loaded);
    }
    state.SetItemsProcessed(state.iterations() * vertices);
    unlink((path + ".log").c_str());
}

// Refused with its count: the rows beyond the limit are read, not kept.
void BM_HostileMillionPointPolygon(benchmark::State& state) {
    static const std::string path = RandomPolygon(1000000);
    Load(state, path, 1000000);
}
BENCHMARK(BM_HostileMillionPointPolygon)->Unit(benchmark::kMillisecond)->Iterations(3);

// The largest block taken, its mask built: most of its edges cross every line.
void BM_HostileLimitPolygon(benchmark::State& state) {
    static const std::string path = RandomPolygon(static_cast<int>(kShapeFileMaxPoints));
    Load(state, path, kShapeFileMaxPoints);
}
BENCHMARK(BM_HostileLimitPolygon)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HostileOffsetVector(benchmark::State& state) {
    static const std::string path =
        WriteTemp(Slice(";OFFSETEDITFLAG=0\n;OFFSETAPERTURE=3, 3, 3\n;OFFSETVECTOR=0.6, -1e9\n;OFFSETDIRECTION='FREE'\n"));
    Load(state, path, 3);
}
BENCHMARK(BM_HostileOffsetVector)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_HostileAperture(benchmark::State& state) {
    static const std::string path = WriteTemp(Slice(";OFFSETEDITFLAG=0\n;OFFSETAPERTURE=131072, 131072, 131072\n"));
    Load(state, path, 3);
}
BENCHMARK(BM_HostileAperture)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace hostile

}  // namespace
