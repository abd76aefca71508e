// The number-field text readers (gWgtReadValue with every value kind, plainly and through
// the calculator, and gWgtReadHex, gWgtReadBinary, gWgtReadTime on their own) on a field
// without a window. Input: a kind byte, a flags byte (bit 0: the calculator, bit 1: a
// range from 0 to the next byte, bit 2: the editing form), then the text.
//
// What must hold: a failed read leaves the value as it was; a value read within a range
// lies in it; for the kinds whose text shows the whole value (integers, hexadecimal,
// binary, milliseconds) the value's own text reads back to the same value; a time reads
// to at most 59:59:59.999.
#include <cstdint>
#include <string>

#include "fuzz/text_fuzz_support.h"
#include "toolkit/number_field.h"
#include "toolkit/widget.h"

namespace {

using namespace orva;

bool ShowsWholeValue(int32_t kind) {
    switch (kind) {
        case kValueInt32: case kValueBinary: case kValueUInt32: case kValueBool: case kValueInt64:
        case kValueUInt64: case kValueHex: case kValueHex0x: case kValueMillis: return true;
        default: return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputParts in{data, size};
    const int32_t kind = 4 + in.Byte() % 17;   // 4 and 20: not number fields
    const uint8_t flags = in.Byte();
    const uint8_t top = in.Byte();
    const std::string text = in.Text(0, 4096);
    const bool calculator = flags & 1;

    gElement e;
    e.textLimit = 40;
    const uint64_t before = 0x5A5A5A5A5A5A5A5Aull;
    uint64_t minimum = 0, maximum = 0;
    if ((flags & 2) && kind == kValueInt32) maximum = gValueBits<int32_t>(top);
    if ((flags & 2) && kind == kValueDouble) maximum = gValueBits<double>(top);
    gWgtSetNumberField(&e, kind, before, minimum, maximum);
    gWgtSetText(&e, text.c_str());

    uint32_t word = 7;
    if (!gWgtReadHex(&e, &word)) fuzz::Require(word == 7, "a refused hex text leaves the value");
    word = 7;
    if (!gWgtReadBinary(&e, &word)) fuzz::Require(word == 7, "a refused binary text leaves the value");
    int32_t ms = -7;
    if (gWgtReadTime(&e, &ms)) fuzz::Require(ms >= 0 && ms <= 215999999, "a time lies within its fields");

    const bool read = gWgtReadValue(&e, calculator);
    gValueRecord* r = gWgtValueRecord(&e, false);
    fuzz::Require(r != nullptr, "the field keeps its record");
    if (!read) {
        fuzz::Require(r->value == before, "a failed read leaves the value");
    } else {
        if (kind == kValueInt32 && maximum != 0)
            fuzz::Require(gValueAs<int32_t>(r->value) >= 0 && gValueAs<int32_t>(r->value) <= top, "in the range");
        if (kind == kValueDouble && maximum != 0)
            fuzz::Require(gValueAs<double>(r->value) >= 0 && gValueAs<double>(r->value) <= top, "in the range");
    }
    if (read && ShowsWholeValue(kind)) {
        const uint64_t value = r->value;
        char shown[96];
        const int n = gFormatValueText(kind, value, e.textLimit, (flags & 4) != 0, shown, sizeof shown);
        fuzz::Require(n >= 0 && n < static_cast<int>(sizeof shown), "a value's text fits");
        gElement again;
        again.textLimit = e.textLimit;
        gWgtSetNumberField(&again, kind, before, minimum, maximum);
        gWgtSetTextN(&again, shown, n);
        fuzz::Require(gWgtReadValue(&again, calculator), "a value's own text reads");
        const uint64_t mask = kind == kValueInt64 || kind == kValueUInt64 ? ~0ull : 0xFFFFFFFFull;
        fuzz::Require((gWgtValueRecord(&again, false)->value & mask) == (value & mask), "a value's text reads back");
    }
    return 0;
}
