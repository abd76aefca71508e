// The number parser of integer fields (CalcParseNumber and its 64-bit twin) in every
// radix and with every flag. Input: a radix byte, a flags byte, then the text.
//
// What must hold: the end lies within the text, and at its start when no digit was
// read (value 0); the 32-bit and 64-bit forms stop at the same place and agree on every
// value that fits 32 bits; an unclamped signed parse in a radix of 2 to 36 agrees with
// the C library's strtoll on texts of digits of that radix.
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "common/calculator.h"
#include "fuzz/text_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::InputParts in{data, size};
    const int radix = static_cast<int8_t>(in.Byte());
    const uint32_t flags = in.Byte() & (kCalcParseUnsigned | kCalcParseClampDigits);
    const std::string text = in.Rest();
    const char* s = text.c_str();
    const size_t length = std::strlen(s);

    const char* end32 = nullptr;
    const char* end64 = nullptr;
    errno = 0;
    const uint32_t v32 = CalcParseNumber(s, &end32, radix, flags);
    const bool range32 = errno == ERANGE;
    errno = 0;
    const uint64_t v64 = CalcParseNumber64(s, &end64, radix, flags);
    const bool range64 = errno == ERANGE;
    fuzz::Require(end32 >= s && end32 <= s + length && end64 >= s && end64 <= s + length, "the end lies in the text");
    fuzz::Require(end32 == end64, "both forms stop at the same place");
    if (end64 == s) fuzz::Require(v32 == 0 && v64 == 0, "no digits give 0");
    if (!range32 && !range64) {
        if (flags & kCalcParseUnsigned) {
            if (v64 <= UINT32_MAX) fuzz::Require(v32 == v64, "the forms agree on 32-bit values");
        } else {
            const int64_t s64 = static_cast<int64_t>(v64);
            if (s64 >= INT32_MIN && s64 <= INT32_MAX)
                fuzz::Require(static_cast<int32_t>(v32) == s64, "the forms agree on 32-bit values");
        }
    }
    // Against the C library: an optional sign and digits of the radix only.
    if (radix >= 2 && radix <= 36 && radix != 16 && flags == 0 && length > 0 && length < 64) {
        size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
        bool digits = i < length;
        for (; i < length && digits; ++i) {
            const char c = s[i];
            const char lower = static_cast<char>(c | 0x20);
            const int d = c >= '0' && c <= '9' ? c - '0' : (lower >= 'a' && lower <= 'z' ? lower - 'a' + 10 : 99);
            digits = d < radix;
        }
        if (digits) {
            char* end = nullptr;
            errno = 0;
            const long long reference = std::strtoll(s, &end, radix);
            fuzz::Require(end == end64, "the end agrees with strtoll");
            fuzz::Require(static_cast<int64_t>(v64) == reference && range64 == (errno == ERANGE),
                          "the value agrees with strtoll");
        }
    }
    return 0;
}
