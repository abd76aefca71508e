// Reading a script file's section: a crafted 40 MB file of lines of 1023 "[{" statements
// that each once searched the rest of their line for a "}" (BM_ScriptOpenHeaders_ours)
// against a plain file of the same size made of KEY=value lines (BM_ScriptOpenHeaders_ref).
// Both report bytes per second; the reader scans every line once, so the two are close.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "framework/component_id.h"
#include "framework/keyword_file.h"

namespace {

using namespace orva;

constexpr ComponentId kId{{FourCC("PROP"), 0, FourCC("CONV"), FourCC("COLR")}, "colour"};

class CountingFile : public KeywordFile {
public:
    int64_t keys = 0;
    bool HasData() override {
        ++keys;
        return true;
    }
    bool WriteBody(char) override { return true; }
};

struct Files {
    std::string folder, crafted, plain;
    size_t size = 0;
    Files() {
        const char* t = std::getenv("TMPDIR");
        folder = std::string(t && *t ? t : "/tmp") + "/orva_script_bench_XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) return;
        crafted = folder + "/crafted.cfg";
        plain = folder + "/plain.cfg";
        const std::string header = "[{" + SectionNameOf(&kId, 0) + "}]\n";
        std::string line;
        for (int i = 0; i < 1023; ++i) line += "[{;";
        line += std::string(kMaxScriptLineLength - line.size() - 2, ' ') + "}]\n";
        std::string text;
        for (int i = 0; i < 10; ++i) text += line;
        text += header + "K=1\n";
        size = text.size();
        Write(crafted, text);
        std::string keys = header;
        // Lines of 128 characters, fewer than a script may hold.
        while (keys.size() < size)
            keys += "Value=12345678901234567890 ; Other = \"text; quoted, with {braces}\" ; Third=3.25e-7 // a comment "
                    "that runs on\n";
        Write(plain, keys);
    }
    ~Files() {
        unlink(crafted.c_str());
        unlink(plain.c_str());
        rmdir(folder.c_str());
    }
    static void Write(const std::string& path, const std::string& text) {
        if (FILE* f = std::fopen(path.c_str(), "wb")) {
            std::fwrite(text.data(), 1, text.size(), f);
            std::fclose(f);
        }
    }
};

const Files& TheFiles() {
    static Files files;
    return files;
}

void Read(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        CountingFile file;
        if (!file.Open(path.c_str(), nullptr, &kId, 0, nullptr) || file.keys == 0) state.SkipWithError("not read");
        benchmark::DoNotOptimize(file.keys);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(TheFiles().size));
}

void BM_ScriptOpenHeaders_ours(benchmark::State& state) { Read(state, TheFiles().crafted); }
void BM_ScriptOpenHeaders_ref(benchmark::State& state) { Read(state, TheFiles().plain); }

BENCHMARK(BM_ScriptOpenHeaders_ours)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScriptOpenHeaders_ref)->Unit(benchmark::kMillisecond);

}  // namespace
