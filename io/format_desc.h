#pragma once
// The record that describes one file format: its tag, names, extensions, the
// operations that open, describe, write and release it, and the sample types a
// write may produce. Built-in formats are static records; a plug-in would hand
// in a record of the same layout.
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace orva {

struct InputSource;
class OutputWriter;

// Eight bytes, NUL-padded, compared as two 32-bit words.
struct FormatTag {
    uint32_t w[2] = {0, 0};

    bool IsZero() const { return w[0] == 0 && w[1] == 0; }
    friend bool operator==(const FormatTag& a, const FormatTag& b) {
        return a.w[0] == b.w[0] && a.w[1] == b.w[1];
    }
};

// A tag from a text of up to eight characters (longer texts are cut at eight).
inline FormatTag MakeFormatTag(const char* text) {
    FormatTag t;
    char bytes[8] = {};
    if (text) {
        size_t n = std::strlen(text);
        std::memcpy(bytes, text, n < 8 ? n : 8);
    }
    std::memcpy(t.w, bytes, 8);
    return t;
}

// The tag of a layout whose format is not known yet: 0, "NOTDEF", 0.
inline FormatTag UnsetFormatTag() {
    static const char bytes[8] = {0, 'N', 'O', 'T', 'D', 'E', 'F', 0};
    FormatTag t;
    std::memcpy(t.w, bytes, 8);
    return t;
}

// Descriptor flags.
constexpr uint32_t kFormatNoProbe = 0x1;    // tried only by tag, list index or extension
constexpr uint32_t kFormatAnyEntry = 0x8;   // the filter lists get a second "[*.*]  " entry
constexpr uint32_t kFormatKind80 = 0x80;    // output kinds that select the output lists
constexpr uint32_t kFormatKind100 = 0x100;
constexpr uint32_t kFormatKind200 = 0x200;
constexpr uint32_t kFormatKind400 = 0x400;

// Allowed-types mask bits beyond the plain size bits (0x01..0x40).
constexpr uint32_t kAllowSwapped = 0x80;   // byte order opposite to the machine's
constexpr uint32_t kAllowNative = 0x8000;  // machine byte order
// 0x100, 0x200, 0x400, 0x800, 0x2000: the unsigned 8-, 16-, 24-, 32-, 64-bit integers.

// Open: 2 or more opened; below 2 not opened (negative: the program's result codes).
using FormatOpenFn = int (*)(InputSource* source);
// Information text of the format for a sample-format object; true when it wrote.
using FormatInfoFn = bool (*)(void* sampleFormat, uint32_t id, char* destination, size_t room);
// Writes the output job; true when the file was written.
using FormatWriteFn = bool (*)(OutputWriter* job);
// Called once at shut-down with the descriptor's context.
using FormatReleaseFn = void (*)(uintptr_t context);

struct FormatDesc {
    FormatTag tag;
    uint32_t flags = 0;
    const char* name = nullptr;        // none is shown as "noname"
    const char* extensions = nullptr;  // "ext\0ext\0\0": NUL-terminated items, an empty one ends
    FormatOpenFn open = nullptr;
    FormatInfoFn info = nullptr;
    uintptr_t reserved1 = 0;
    FormatWriteFn write = nullptr;     // present: the format can be written
    FormatReleaseFn release = nullptr;
    uintptr_t context = 0;
    uint32_t defaultType = 0;          // default ElementType for writing, normalised at registration
    uint32_t allowedTypes = 0;         // 0: any
    uintptr_t reserved2 = 0;
};

}  // namespace orva
