// Shape files: an anchor file of 100000 points read by the shape-file reader (keys,
// markers, the row checks and the block buffer), against the least a reader of the same
// rows does: fgets and strtod into a vector of floats. Rates are rows per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "shapes/ui/shape_files.h"

namespace {

using namespace orva;

constexpr int kRows = 100000;

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

}  // namespace
