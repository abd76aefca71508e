// Decoding a 4000 x 3000 colour JPEG through the reader (libjpeg into the decoded
// temporary file, then the data set attached), against libjpeg's jpeg_read_scanlines of
// the same file with the same decoder settings into memory. The file is written into a
// folder under /tmp on first use and removed at exit.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

#include "common/path_name.h"
#include "io/data_set.h"
#include "io/formats/jpeg/jpeg_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva {
namespace {

constexpr int kWidth = 4000;
constexpr int kHeight = 3000;

struct File {
    std::string dir, path;
    File() {
        char t[] = "/tmp/orva_jpeg_bench_XXXXXX";
        if (mkdtemp(t) == nullptr) return;
        dir = t;
        path = dir + "/photo.jpg";
        // A picture with smooth areas, edges and fine noise, stored at quality 90 with
        // 2 x 2 chroma subsampling (the usual camera layout).
        std::vector<JSAMPLE> row(static_cast<size_t>(kWidth) * 3);
        uint32_t noise = 12345;
        FILE* out = std::fopen(path.c_str(), "wb");
        jpeg_compress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_compress(&c);
        jpeg_stdio_dest(&c, out);
        c.image_width = kWidth;
        c.image_height = kHeight;
        c.input_components = 3;
        c.in_color_space = JCS_RGB;
        jpeg_set_defaults(&c);
        jpeg_set_quality(&c, 90, TRUE);
        jpeg_start_compress(&c, TRUE);
        for (int y = 0; y < kHeight; ++y) {
            for (int x = 0; x < kWidth; ++x) {
                noise = noise * 1664525u + 1013904223u;
                const int n = static_cast<int>(noise >> 28);
                const bool block = ((x / 200) + (y / 150)) % 3 == 0;
                row[3 * x] = static_cast<JSAMPLE>((x * 255 / kWidth + n) & 0xFF);
                row[3 * x + 1] = static_cast<JSAMPLE>(((block ? 200 : y * 255 / kHeight) + n) & 0xFF);
                row[3 * x + 2] = static_cast<JSAMPLE>(((x ^ y) & 0x3F) + 96 + n);
            }
            JSAMPROW r = row.data();
            jpeg_write_scanlines(&c, &r, 1);
        }
        jpeg_finish_compress(&c);
        jpeg_destroy_compress(&c);
        std::fclose(out);
    }
    ~File() {
        if (!dir.empty()) std::system(("rm -rf '" + dir + "'").c_str());
    }
};

const File& TheFile() {
    static File f;
    return f;
}

class Release : public InputReceiver {
public:
    int TakeDataSet(DataSet*) override {
        ++taken;
        return 2;
    }
    int taken = 0;
};

void BM_JpegDecode_ours(benchmark::State& state) {
    const File& f = TheFile();
    PathName name;
    name.Set(f.path.c_str());
    static FormatDesc desc;
    desc.tag = MakeFormatTag("JPEG");
    Release receiver;
    for (auto _ : state) {
        OpenRequest request;
        InputSource source;
        source.name = &name;
        source.request = &request;
        source.format = &desc;
        source.receiver = &receiver;
        if (JpegOpen(&source) != 2) state.SkipWithError("open failed");
        // Closing the data set's file is not part of opening it.
        state.PauseTiming();
        StreamClose(&source.stream);
        state.ResumeTiming();
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

void BM_JpegDecode_ref(benchmark::State& state) {
    const File& f = TheFile();
    std::vector<JSAMPLE> image(static_cast<size_t>(kWidth) * kHeight * 3);
    std::vector<JSAMPROW> rows(kHeight);
    for (int y = 0; y < kHeight; ++y) rows[y] = image.data() + static_cast<size_t>(y) * kWidth * 3;
    for (auto _ : state) {
        FILE* in = std::fopen(f.path.c_str(), "rb");
        jpeg_decompress_struct c;
        jpeg_error_mgr e;
        c.err = jpeg_std_error(&e);
        jpeg_create_decompress(&c);
        jpeg_stdio_src(&c, in);
        jpeg_read_header(&c, TRUE);
        c.dct_method = JDCT_FLOAT;
        c.dither_mode = JDITHER_FS;
        c.do_block_smoothing = TRUE;
        c.do_fancy_upsampling = TRUE;
        c.two_pass_quantize = TRUE;
        c.quantize_colors = FALSE;
        c.enable_2pass_quant = TRUE;
        c.out_color_space = JCS_RGB;
        jpeg_start_decompress(&c);
        while (c.output_scanline < c.output_height)
            jpeg_read_scanlines(&c, rows.data() + c.output_scanline, c.output_height - c.output_scanline);
        jpeg_finish_decompress(&c);
        jpeg_destroy_decompress(&c);
        std::fclose(in);
        benchmark::DoNotOptimize(image.data());
    }
    state.SetBytesProcessed(state.iterations() * int64_t{kWidth} * kHeight * 3);
}

BENCHMARK(BM_JpegDecode_ours)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_JpegDecode_ref)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
}  // namespace orva
