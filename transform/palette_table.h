#pragma once
// Palettes: the table every palette lives in (a converter's working palette,
// a user palette), the conversion of a user palette of any size and depth into
// a working palette, and the palette text file.
//
// The palette text file (*.pal) is plain text, one decimal integer per line,
// 3 integers per entry in the order R, G, B, or 4 in the order R, G, B, A.
// Values 0 … 255 make an 8-bit palette; a single value above 255 makes the
// whole palette 16-bit (values up to 65535). There is no header and there are
// no comments, so a 16-bit palette whose values all happen to be 255 or less
// reads back as an 8-bit one.
#include <cstddef>
#include <cstdint>

namespace orva {

// Entries of a working palette: intensities from 0 up to just below 2.0 each
// have one. User palettes hold at most as many.
constexpr uint32_t kWorkingEntries8 = 512;
constexpr uint32_t kWorkingEntries16 = 0x20000;
// A palette file holds at most this many values (0x20000 16-bit entries of 4
// channels); a file with more is refused.
constexpr uint32_t kMaxPaletteValues = 0x80000;

// An entry is 3 or 4 channel values, packed, in the order R, G, B (A): 3, 4, 6
// or 8 bytes. The data are owned and allocated zeroed, with a few bytes of
// slack past the capacity so that an entry can be moved with one wider load.
class PaletteTable {
public:
    PaletteTable() = default;
    ~PaletteTable();
    PaletteTable(const PaletteTable&) = delete;
    PaletteTable& operator=(const PaletteTable&) = delete;

    // Channels of an entry (3 or 4) and bytes of one channel value (1 or 2).
    uint32_t Channels() const { return fourChannels ? 4 : 3; }
    uint32_t ValueBytes() const { return sixteenBit ? 2 : 1; }
    uint32_t EntryBytes() const { return Channels() * ValueBytes(); }
    // Working palettes hold 512 (8-bit) or 0x20000 (16-bit) entries.
    uint32_t WorkingEntries() const { return sixteenBit ? kWorkingEntries16 : kWorkingEntries8; }
    // Channel c of entry i (no bounds check).
    uint32_t Value(size_t i, uint32_t c) const;
    // Frees the data: capacity, count and flags 0.
    void Clear();
    // Exchanges everything with another table.
    void Swap(PaletteTable& other) noexcept;

    uint8_t* data = nullptr;
    uint8_t sixteenBit = 0;
    uint8_t fourChannels = 0;
    size_t capacity = 0;  // bytes
    uint32_t count = 0;   // entries in use (user palettes)
};

// Bytes allocated past the capacity of every palette.
constexpr size_t kPaletteSlack = 8;

// Grows the data to `bytes` when the capacity is smaller (old contents
// dropped, new data zeroed). False when memory is short: no data, capacity 0.
bool ReservePalette(PaletteTable* table, size_t bytes);
// 512 or 0x20000 entries of 3 or 4 channels by the table's flags.
bool ReserveWorkingPalette(PaletteTable* table);
bool ReservePaletteEntries(PaletteTable* table, size_t entries);
// Copies the flags, the count and, when the source has data, its data; without
// source data the target's data are freed and the answer is false.
bool CopyPaletteTable(PaletteTable* target, const PaletteTable& source);

// Fills a working palette (flags set) from a user palette of n entries. With
// N = 256 (8-bit target) or 0x10000 (16-bit): fewer than N entries are
// stretched to N by nearest neighbour on a 16.16 step and the rest repeat
// entry N − 1; otherwise the first entries are copied and the rest repeat the
// last one copied. Channels are converted on the way (a missing fourth value
// is 0; 8-bit v becomes v × 257, 16-bit v becomes v × 255 / 65535 truncated).
// False for an empty user palette or when memory is short.
bool ConvertPalette(PaletteTable* working, const PaletteTable& user);

// Loads a palette text file into the table. A word that is not a decimal
// integer ends the values. On a bad value, no value, more than kMaxPaletteValues
// values, a count divisible by neither 3 nor 4 or a memory failure,
// "Can`t load Palette%s... File: '%s'" goes to the log and the main status line
// (in the error colour) and the answer is false; the table keeps its contents on
// every failure but the last.
// A file that cannot be opened fails silently.
bool LoadPaletteText(PaletteTable* table, const char* path);

// Saves `count` entries of a palette to a text file, through a temporary copy
// that replaces the file only once everything was written. From 257 entries
// on, a run of entries equal to the last one is written once (at least 256
// entries are written). On failure "WritePaletteFile: error" is logged,
// "Can`t save Palette to file '%s'" shown on the main status line, and the old
// file stays as it was.
bool SavePaletteFile(const PaletteTable& table, uint32_t count, const char* path);

}  // namespace orva
