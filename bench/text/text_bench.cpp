// Text tables: a 10^6-row x 3-column table of "%.17g" numbers parsed by the Text reader
// (BM_TextTable_ours) against numpy.loadtxt on the same file (BM_TextTable_ref, timed
// inside /usr/bin/python3 so that the interpreter's start-up is not counted). Both report
// rows per second.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "common/path_name.h"
#include "io/data_set.h"
#include "io/formats/text/text_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace {

using namespace orva;

constexpr int64_t kRows = 1000000;

class DropReceiver : public InputReceiver {
public:
    int TakeDataSet(DataSet*) override { return 2; }
};

// The table, written once per run into a private temporary folder that goes at exit.
struct TableFile {
    std::string folder, path;
    ~TableFile() {
        if (path.empty()) return;
        unlink((path + ".log").c_str());
        unlink(path.c_str());
        rmdir(folder.c_str());
    }
};

const std::string& TablePath() {
    static TableFile table;
    static const std::string path = [] {
        const char* t = std::getenv("TMPDIR");
        std::string folder = std::string(t && *t ? t : "/tmp") + "/orva_text_bench_XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) return std::string();
        const std::string p = folder + "/table.txt";
        table.folder = folder;
        table.path = p;
        FILE* f = std::fopen(p.c_str(), "wb");
        if (f == nullptr) return std::string();
        std::mt19937_64 rng(7);
        std::normal_distribution<double> normal(0.0, 1.0);
        std::uniform_int_distribution<int> exponent(-20, 20);
        std::string block;
        char number[32];
        for (int64_t r = 0; r < kRows; ++r) {
            for (int c = 0; c < 3; ++c) {
                const double v = normal(rng) * std::pow(10.0, exponent(rng));
                auto res = std::to_chars(number, number + sizeof number, v, std::chars_format::general, 17);
                block.append(number, res.ptr);
                block += c == 2 ? '\n' : ' ';
            }
            if (block.size() > (1 << 20)) {
                std::fwrite(block.data(), 1, block.size(), f);
                block.clear();
            }
        }
        std::fwrite(block.data(), 1, block.size(), f);
        std::fclose(f);
        return p;
    }();
    return path;
}

void BM_TextTable_ours(benchmark::State& state) {
    const std::string& path = TablePath();
    if (path.empty()) {
        state.SkipWithError("cannot write the table");
        return;
    }
    static FormatDesc desc;
    desc.tag = MakeFormatTag("BINARY");
    desc.name = "Text";
    for (auto _ : state) {
        PathName name;
        name.Set(path.c_str());
        OpenRequest request;
        DropReceiver receiver;
        InputSource source;
        source.name = &name;
        source.request = &request;
        source.receiver = &receiver;
        source.format = &desc;
        TextTableResult result;
        if (TextOpenTable(&source, &result) != 2 || result.rows != kRows) state.SkipWithError("open failed");
        StreamClose(&source.stream);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_TextTable_ours)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_TextTable_ref(benchmark::State& state) {
    const std::string& path = TablePath();
    if (path.empty()) {
        state.SkipWithError("cannot write the table");
        return;
    }
    const std::string cmd = "/usr/bin/python3 -c \"import sys, time, numpy; t = time.perf_counter(); "
                            "a = numpy.loadtxt(sys.argv[1]); print(time.perf_counter() - t, a.shape[0])\" '" +
                            path + "' 2>/dev/null";
    for (auto _ : state) {
        FILE* p = popen(cmd.c_str(), "r");
        double seconds = 0.0;
        long long rows = 0;
        if (p == nullptr || std::fscanf(p, "%lf %lld", &seconds, &rows) != 2 || rows != kRows) {
            if (p) pclose(p);
            state.SkipWithError("python3 with numpy is missing");
            return;
        }
        pclose(p);
        state.SetIterationTime(seconds);
    }
    state.SetItemsProcessed(state.iterations() * kRows);
}
BENCHMARK(BM_TextTable_ref)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);

}  // namespace
