#include "transform/palette_table.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <utility>

#include "common/disk_file.h"
#include "common/error_codes.h"
#include "common/log.h"

namespace orva {

namespace {

// The mode of a palette save: text, written through a temporary copy.
constexpr uint32_t kPaletteSaveMode = kDiskSubclass80 | kDiskTemp | kDiskText;  // 0xD0

constexpr int kErrorStatus = -3;

// ---- Resampling ------------------------------------------------------------------------

template <class From, class To>
To ConvertValue(From v) {
    if constexpr (sizeof(From) == sizeof(To)) return static_cast<To>(v);
    else if constexpr (sizeof(To) == 2) return static_cast<To>(v * 257u);    // v × 65535 / 255
    else return static_cast<To>(static_cast<uint32_t>(v) * 255u / 65535u);  // truncated
}

template <class From, uint32_t FromChannels, class To, uint32_t ToChannels>
void CopyEntry(uint8_t* target, const uint8_t* source) {
    From in[4] = {0, 0, 0, 0};
    std::memcpy(in, source, FromChannels * sizeof(From));
    To out[4];
    for (uint32_t c = 0; c < ToChannels; ++c) out[c] = ConvertValue<From, To>(in[c]);
    std::memcpy(target, out, ToChannels * sizeof(To));
}

// Fills `total` target entries from n source entries: fewer than `nominal`
// are stretched to `nominal` by nearest neighbour, else the first are copied;
// the rest repeat the last entry written.
template <class From, uint32_t FromChannels, class To, uint32_t ToChannels>
void Resample(uint8_t* target, const uint8_t* source, uint32_t n, uint32_t total, uint32_t nominal) {
    constexpr size_t in = FromChannels * sizeof(From), out = ToChannels * sizeof(To);
    uint32_t written;
    if (n < nominal) {
        // 16.16 fixed point; 64-bit so that no count overflows it.
        const uint64_t step = (uint64_t{n} << 16) / nominal;
        for (uint32_t j = 0; j < nominal; ++j)
            CopyEntry<From, FromChannels, To, ToChannels>(target + j * out, source + ((j * step) >> 16) * in);
        written = nominal;
    } else {
        written = n < total ? n : total;
        for (uint32_t j = 0; j < written; ++j)
            CopyEntry<From, FromChannels, To, ToChannels>(target + j * out, source + size_t{j} * in);
    }
    for (uint32_t j = written; j < total; ++j) std::memcpy(target + size_t{j} * out, target + (written - 1) * out, out);
}

using Resampler = void (*)(uint8_t*, const uint8_t*, uint32_t, uint32_t, uint32_t);

// By target depth, target channels, source depth and source channels.
template <class To, uint32_t ToChannels>
Resampler ResamplerFrom(bool source16, bool source4) {
    if (source16) {
        return source4 ? Resample<uint16_t, 4, To, ToChannels> : Resample<uint16_t, 3, To, ToChannels>;
    }
    return source4 ? Resample<uint8_t, 4, To, ToChannels> : Resample<uint8_t, 3, To, ToChannels>;
}

Resampler ChooseResampler(const PaletteTable& target, const PaletteTable& source) {
    const bool s16 = source.sixteenBit != 0, s4 = source.fourChannels != 0;
    if (target.sixteenBit) {
        return target.fourChannels ? ResamplerFrom<uint16_t, 4>(s16, s4) : ResamplerFrom<uint16_t, 3>(s16, s4);
    }
    return target.fourChannels ? ResamplerFrom<uint8_t, 4>(s16, s4) : ResamplerFrom<uint8_t, 3>(s16, s4);
}

// ---- Palette files ------------------------------------------------------------------------

void ReportLoadFailure(const char* what, const char* path) {
    char text[64 + 4096];
    std::snprintf(text, sizeof text, "Can`t load Palette%s... File: '%s'", what, path);
    LogPrintf("%s", text);
    PrintStatusLine(kStatusGroupMain, kErrorStatus, kStatusFlagsShow, "%s", text);
}

bool IsSpace(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

enum class Word { kValue, kEnd, kNotANumber };

// The next word of the file as a decimal integer (sign allowed). Values far
// outside 0 … 65535 are kept just outside it, so that they are still refused.
Word NextValue(FILE* f, int64_t* value) {
    int c;
    do c = getc_unlocked(f);
    while (IsSpace(c));
    if (c == EOF) return Word::kEnd;
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = getc_unlocked(f);
    }
    int64_t v = 0;
    int digits = 0;
    for (; c >= '0' && c <= '9'; c = getc_unlocked(f), ++digits) {
        if (v < 1000000) v = v * 10 + (c - '0');
    }
    if (digits == 0 || !(c == EOF || IsSpace(c))) return Word::kNotANumber;
    *value = negative ? -v : v;
    return Word::kValue;
}

class PaletteWriter : public DiskFile {
public:
    PaletteWriter(const PaletteTable& table, uint32_t count) : table_(table), count_(count) {}
    bool Load() override { return false; }
    bool Save() override;

private:
    const PaletteTable& table_;
    uint32_t count_;
};

bool PaletteWriter::Save() {
    const size_t size = table_.EntryBytes();
    uint32_t c = count_;
    if (c >= 257) {
        // A trailing run of entries equal to the last one is written once.
        const uint8_t* last = table_.data + size_t{c - 1} * size;
        uint32_t first = c - 1;
        for (uint32_t steps = 0; steps < c - 256 && first > 0; ++steps, --first) {
            if (std::memcmp(table_.data + size_t{first - 1} * size, last, size) != 0) break;
        }
        c = first + 1;
    }
    FILE* f = Stream();
    for (uint32_t i = 0; i < c; ++i) {
        for (uint32_t ch = 0; ch < table_.Channels(); ++ch) {
            if (std::fprintf(f, "%u\n", table_.Value(i, ch)) < 0) {
                SetState(-5);
                return false;
            }
        }
    }
    return true;
}

}  // namespace

// ---- The table ----------------------------------------------------------------------------

PaletteTable::~PaletteTable() { std::free(data); }

uint32_t PaletteTable::Value(size_t i, uint32_t c) const {
    if (!sixteenBit) return data[i * Channels() + c];
    uint16_t v;
    std::memcpy(&v, data + (i * Channels() + c) * 2, 2);
    return v;
}

void PaletteTable::Clear() {
    std::free(data);
    data = nullptr;
    sixteenBit = 0;
    fourChannels = 0;
    capacity = 0;
    count = 0;
}

void PaletteTable::Swap(PaletteTable& other) noexcept {
    std::swap(data, other.data);
    std::swap(sixteenBit, other.sixteenBit);
    std::swap(fourChannels, other.fourChannels);
    std::swap(capacity, other.capacity);
    std::swap(count, other.count);
}

bool ReservePalette(PaletteTable* table, size_t bytes) {
    if (table->data != nullptr && table->capacity >= bytes) return true;
    std::free(table->data);
    table->data = static_cast<uint8_t*>(std::calloc(bytes + kPaletteSlack, 1));
    table->capacity = table->data != nullptr ? bytes : 0;
    return table->data != nullptr;
}

bool ReserveWorkingPalette(PaletteTable* table) { return ReservePaletteEntries(table, table->WorkingEntries()); }

bool ReservePaletteEntries(PaletteTable* table, size_t entries) {
    return ReservePalette(table, entries * table->EntryBytes());
}

bool CopyPaletteTable(PaletteTable* target, const PaletteTable& source) {
    if (source.data == nullptr) {
        target->Clear();
        return false;
    }
    target->sixteenBit = source.sixteenBit;
    target->fourChannels = source.fourChannels;
    target->count = 0;
    if (!ReservePalette(target, source.capacity)) return false;
    std::memcpy(target->data, source.data, source.capacity);
    target->count = source.count;
    return true;
}

bool ConvertPalette(PaletteTable* working, const PaletteTable& user) {
    if (user.data == nullptr || user.count == 0 || size_t{user.count} * user.EntryBytes() > user.capacity)
        return false;
    if (!ReserveWorkingPalette(working)) return false;
    const uint32_t total = working->WorkingEntries();
    const uint32_t nominal = working->sixteenBit ? 0x10000 : 256;
    ChooseResampler(*working, user)(working->data, user.data, user.count, total, nominal);
    return true;
}

bool LoadPaletteText(PaletteTable* table, const char* path) {
    if (path == nullptr || *path == '\0') return false;
    std::unique_ptr<uint16_t[]> values(new (std::nothrow) uint16_t[kMaxPaletteValues]);
    if (values == nullptr) return false;
    FILE* f = OpenRegularFile(path, "r");
    if (f == nullptr) return false;
    uint32_t n = 0;
    bool wide = false, bad = false, more = false;
    int64_t v;
    while (NextValue(f, &v) == Word::kValue) {
        // A file with more values than a palette can hold is not read in part: its
        // channel count could not be told from the part.
        if (n == kMaxPaletteValues) {
            more = true;
            break;
        }
        if (v < 0 || v > 65535) {
            bad = true;
            break;
        }
        wide = wide || v > 255;
        values[n++] = static_cast<uint16_t>(v);
    }
    std::fclose(f);
    if (more) {
        ReportLoadFailure(", more than 524288 values", path);
        return false;
    }
    if (bad || n == 0) {
        ReportLoadFailure("", path);
        return false;
    }
    const uint32_t channels = n % 3 == 0 ? 3 : (n % 4 == 0 ? 4 : 0);
    if (channels == 0) {
        ReportLoadFailure(", bad count value", path);
        return false;
    }
    uint32_t entries = n / channels;
    const uint32_t limit = wide ? kWorkingEntries16 : kWorkingEntries8;
    entries = entries < limit ? entries : limit;
    table->sixteenBit = wide ? 1 : 0;
    table->fourChannels = channels == 4 ? 1 : 0;
    table->count = 0;
    if (!ReservePaletteEntries(table, entries)) {
        ReportLoadFailure("", path);
        return false;
    }
    table->count = entries;
    const size_t used = size_t{entries} * channels;
    if (wide) {
        std::memcpy(table->data, values.get(), used * 2);
    } else {
        for (size_t i = 0; i < used; ++i) table->data[i] = static_cast<uint8_t>(values[i]);
    }
    return true;
}

bool SavePaletteFile(const PaletteTable& table, uint32_t count, const char* path) {
    if (table.data == nullptr || count == 0 || size_t{count} * table.EntryBytes() > table.capacity) return false;
    PaletteWriter writer(table, count);
    bool ok = path != nullptr && *path != '\0' && writer.SetPath(path, kPaletteSaveMode) && writer.SaveFile();
    // A failed body leaves its temporary copy open: dropping it keeps the old file.
    if (!ok && writer.IsOpen()) writer.Close();
    if (!ok || writer.State() != kResultReady) LogPrintf("WritePaletteFile: error");
    if (!ok) PrintStatusLine(kStatusGroupMain, kErrorStatus, kStatusFlagsShow, "Can`t save Palette to file '%s'", path);
    return ok;
}

}  // namespace orva
