// Palette files: load any file, convert the palette into the four kinds of working
// palette, save it and load it again.
//
// What must hold: a loaded palette has 1 to 512 (8-bit) or 0x20000 (16-bit) entries
// and never more values than the file; a working palette starts with the palette's first
// entry, converted; the saved file loads again to the same values, in the same order
// (a 4-channel palette may read back as 3-channel: the file holds values only), cut
// only by the trailing run of equal entries that is written once and by the entry
// limit; nothing but the two files is left in the folder.
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/text_fuzz_support.h"
#include "transform/palette_table.h"

namespace {

using namespace orva;

std::vector<uint32_t> Values(const PaletteTable& t) {
    std::vector<uint32_t> v;
    for (uint32_t i = 0; i < t.count; ++i)
        for (uint32_t c = 0; c < t.Channels(); ++c) v.push_back(t.Value(i, c));
    return v;
}

uint32_t Converted(uint32_t v, bool from16, bool to16) {
    if (from16 == to16) return v;
    return to16 ? v * 257u : v * 255u / 65535u;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::PrivateFile("p.pal");
    const std::string saved = fuzz::PrivateFile("q.pal");
    if (!fuzz::WriteWhole(path, data, size)) __builtin_trap();
    PaletteTable user;
    if (!LoadPaletteText(&user, path.c_str())) {
        fuzz::Require(user.data == nullptr && user.count == 0, "a failed load keeps the table");
        return 0;
    }
    const uint32_t limit = user.sixteenBit ? kWorkingEntries16 : kWorkingEntries8;
    fuzz::Require(user.count >= 1 && user.count <= limit, "a palette holds 1 to the limit of entries");
    fuzz::Require(size_t{user.count} * user.Channels() <= kMaxPaletteValues, "no more values than a file holds");

    for (int layout = 0; layout < 4; ++layout) {
        PaletteTable working;
        working.sixteenBit = layout & 1;
        working.fourChannels = (layout >> 1) & 1;
        fuzz::Require(ConvertPalette(&working, user), "a palette converts");
        for (uint32_t c = 0; c < 3; ++c)
            fuzz::Require(working.Value(0, c) == Converted(user.Value(0, c), user.sixteenBit, working.sixteenBit),
                          "a working palette starts with the first entry");
        const uint32_t last = working.WorkingEntries() - 1;
        for (uint32_t c = 0; c < working.Channels(); ++c)
            fuzz::Require(working.Value(last, c) == working.Value(last - 1, c) || user.count >= last,
                          "the top of a working palette repeats an entry");
    }

    fuzz::Require(SavePaletteFile(user, user.count, saved.c_str()), "a palette saves");
    fuzz::CheckOnlyFiles({"p.pal", "q.pal"});
    PaletteTable back;
    fuzz::Require(LoadPaletteText(&back, saved.c_str()), "a saved palette loads");
    const std::vector<uint32_t> before = Values(user), after = Values(back);
    fuzz::Require(after.size() <= before.size(), "a palette never grows");
    for (size_t i = 0; i < after.size(); ++i) fuzz::Require(after[i] == before[i], "the values read back");
    if (after.size() < before.size()) {
        // What is missing is the trailing run written once, or what the limit cut.
        const uint32_t entry = user.Channels();
        const bool limited = back.count == (back.sixteenBit ? kWorkingEntries16 : kWorkingEntries8);
        bool run = after.size() % entry == 0 && after.size() >= entry;
        for (size_t i = after.size(); i < before.size() && run; ++i)
            run = before[i] == before[after.size() - entry + i % entry];
        fuzz::Require(run || limited, "only a trailing run or the limit shortens a palette");
    }
    return 0;
}
