// Shape files: an anchor file of 50000 points (the most a block may hold) read by the
// shape-file reader (keys, markers, the row checks and the block buffer), against the
// least a reader of the same rows does: fgets and strtod into a vector of floats. Rates
// are rows per second.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <memory>
#include <cstdlib>
#include <string>
#include <vector>

#include "shapes/editing/shape_requests.h"
#include "shapes/item_result_list.h"
#include "shapes/shape.h"
#include "shapes/shape_container.h"
#include "shapes/shape_items.h"
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

// ---- Files of many shapes ------------------------------------------------------------------------
//
// File > Load... of a file of small statistic rectangles into a view that shows one: the
// file is read, the first rectangle takes the current one's place and every further one
// is added as a paste adds it (its glyph, its undo step, its entry in the measuring
// item's list), and the view is painted and the item run once the last is in place. The
// view here keeps its glyphs in memory and counts its paints; its item keeps the list a
// Reduction keeps and counts its runs (a run measures the current item's region). 1000
// rectangles load; 100000 pass the bound of a file and are refused, nothing added. The
// rate is shapes per second; "paints" and "runs" are per load.
namespace many {

class CountingView : public ShapeView {
public:
    void Redraw() override { ++paints; }
    ShapeItem* DefaultItem() override { return item; }
    ShapeItem* item = nullptr;
    int64_t paints = 0;
};

class ListItem final : public ShapeItem {
public:
    int32_t AddRef() override { return 1; }
    int32_t Release() override { return 1; }
    bool Check(Shape* shape) override { return Accepts(shape); }
    bool Detach(Shape*) override { return false; }
    void Notify(Shape*) override {}
    void Refresh(int32_t) override { Restart(); }
    bool Accepts(Shape* shape) override { return list.Find(shape) > 0; }
    void Restart() override {
        ++runs;
        if (list.currentIndex < list.Count() && list.entries[list.currentIndex].shape != nullptr)
            measured += list.entries[list.currentIndex].shape->derived.mask.count;
    }
    ItemResultList list;
    int64_t runs = 0;
    uint64_t measured = 0;
};

std::string RectangleFile(int shapes) {
    std::string text;
    text.reserve(static_cast<size_t>(shapes) * 190);
    char block[256];
    for (int i = 0; i < shapes; ++i) {
        const double x = 10 + 9 * (i % 40), y = 10 + 11 * ((i / 40) % 25);
        std::snprintf(block, sizeof block,
                      ";SHAPEROLE='Statistic'\n;SHAPETYPE='Rect'\n;OFFSETEDITFLAG=0\n;OFFSETAPERTURE=0\n;SUBPIX=1\n"
                      ";COBJ='ANCHOR'\n;CDATA='POINT'\n;NAXIS=2\n\n;#data\n%g %g\n%g %g\n;#end\n\n",
                      x + 1.5, y + 1.5, x + 6.5, y + 7.5);
        text += block;
    }
    return hostile::WriteTemp(text);
}

void Load(benchmark::State& state, const std::string& path, int shapes) {
    int64_t paints = 0, runs = 0, added = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto item = std::make_unique<ListItem>();
        auto view = std::make_unique<CountingView>();
        view->item = item.get();
        auto container = std::make_unique<ShapeContainer>(view.get(), nullptr, nullptr);
        const float xy[4] = {100.5f, 100.5f, 120.5f, 110.5f};
        ShapePointList points;
        points.count = 2;
        points.data = const_cast<float*>(xy);
        ShapeRequest request;
        request.newShape = 1;
        request.kind = kKindRect;
        request.role = kRoleStatistic;
        request.points = &points;
        Shape* current = container->ShapeFromRequest(request, nullptr, nullptr);
        if (current == nullptr) state.SkipWithError("no shape to load into");
        view->paints = item->runs = 0;
        state.ResumeTiming();

        ReplaceFromShapeFile(current, path.c_str());

        state.PauseTiming();
        paints += view->paints;
        runs += item->runs;
        added += container->ShapeCount() - 1;
        container.reset();
        item->list.SetCount(0);
        state.ResumeTiming();
    }
    unlink((path + ".log").c_str());
    state.SetItemsProcessed(state.iterations() * shapes);
    state.counters["paints"] = static_cast<double>(paints) / static_cast<double>(state.iterations());
    state.counters["runs"] = static_cast<double>(runs) / static_cast<double>(state.iterations());
    state.counters["added"] = static_cast<double>(added) / static_cast<double>(state.iterations());
}

void BM_LoadThousandShapes(benchmark::State& state) {
    static const std::string path = RectangleFile(1000);
    Load(state, path, 1000);
}
BENCHMARK(BM_LoadThousandShapes)->Unit(benchmark::kMillisecond);

// Refused at the block that passes the bound: read that far, nothing built.
void BM_LoadHundredThousandShapes(benchmark::State& state) {
    static const std::string path = RectangleFile(100000);
    Load(state, path, 100000);
}
BENCHMARK(BM_LoadHundredThousandShapes)->Unit(benchmark::kMillisecond)->Iterations(3);

// The most a file may give, loaded whole.
void BM_LoadMostShapes(benchmark::State& state) {
    static const std::string path = RectangleFile(static_cast<int>(kShapeFileMaxShapes));
    Load(state, path, static_cast<int>(kShapeFileMaxShapes));
}
BENCHMARK(BM_LoadMostShapes)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace many

}  // namespace
