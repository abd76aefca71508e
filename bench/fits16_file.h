#pragma once
// The 16-bit FITS files of the benchmarks that start the real program on them: a primary
// header (two axes, or three for several frames), big-endian samples row by row, zero
// padding to whole 2880-byte records.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace orva::bench_files {

// One 80-character header card.
inline std::string Card(const std::string& text) {
    std::string c = text;
    c.resize(80, ' ');
    return c;
}

// `frames` frames of width x height samples; sample(frame, x, y) gives each, rows from the
// first, samples of a row from the left.
template <class SampleFn>
bool WriteFits16(const std::string& path, int width, int height, int frames, SampleFn sample) {
    std::string header = Card("SIMPLE  =                    T") + Card("BITPIX  =                   16");
    header += Card(frames > 1 ? "NAXIS   =                    3" : "NAXIS   =                    2");
    char line[81];
    std::snprintf(line, sizeof line, "NAXIS1  = %20d", width);
    header += Card(line);
    std::snprintf(line, sizeof line, "NAXIS2  = %20d", height);
    header += Card(line);
    if (frames > 1) {
        std::snprintf(line, sizeof line, "NAXIS3  = %20d", frames);
        header += Card(line);
    }
    header += Card("END");
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    bool ok = std::fwrite(header.data(), 1, header.size(), f) == header.size();
    std::vector<uint8_t> row(static_cast<size_t>(width) * 2);
    for (int k = 0; k < frames && ok; ++k) {
        for (int y = 0; y < height && ok; ++y) {
            for (int x = 0; x < width; ++x) {
                const int v = sample(k, x, y);
                row[2 * x] = static_cast<uint8_t>((v >> 8) & 0xFF);
                row[2 * x + 1] = static_cast<uint8_t>(v & 0xFF);
            }
            ok = std::fwrite(row.data(), 1, row.size(), f) == row.size();
        }
    }
    const size_t data = static_cast<size_t>(frames) * width * height * 2;
    std::vector<char> zeros((data + 2879) / 2880 * 2880 - data, 0);
    if (ok && !zeros.empty()) ok = std::fwrite(zeros.data(), 1, zeros.size(), f) == zeros.size();
    return std::fclose(f) == 0 && ok;
}

}  // namespace orva::bench_files
