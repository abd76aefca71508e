// The expression calculator (CalcEvaluate) and the word moves of edit fields on any text.
//
// What must hold: an evaluation answers the same twice with one context and with a
// fresh one; a success gives a typed result whose real and integer forms agree (a
// finite real, its integer the real truncated and saturated); a failure leaves an error
// code; the word lengths stay within the text.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>

#include "common/calculator.h"
#include "fuzz/text_fuzz_support.h"

namespace {

using namespace orva;

struct Outcome {
    bool ok;
    int32_t error;
    CalcValue result;
    const char* cut;
    bool operator==(const Outcome& o) const {
        if (ok != o.ok || error != o.error || (cut == nullptr) != (o.cut == nullptr)) return false;
        if (!ok) return true;
        return result.type == o.result.type && result.integer == o.result.integer &&
               std::memcmp(&result.real, &o.result.real, sizeof result.real) == 0;
    }
};

Outcome Evaluate(CalcContext* c, const char* text) {
    const bool ok = CalcEvaluate(c, text);
    return {ok, c->error, c->result, c->cutNumber};
}

int64_t Truncated(double x) {
    if (x >= 9223372036854775808.0) return INT64_MAX;
    if (x < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(x);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static CalcContext kept;
    const std::string text(reinterpret_cast<const char*>(data), size);  // up to the first NUL
    const Outcome first = Evaluate(&kept, text.c_str());
    const Outcome again = Evaluate(&kept, text.c_str());
    CalcContext fresh;
    const Outcome alone = Evaluate(&fresh, text.c_str());
    CalcContextClear(&fresh);
    fuzz::Require(first == again && first == alone, "an evaluation answers the same every time");
    if (first.ok) {
        fuzz::Require(first.error == 0, "a success leaves no error");
        if (first.result.type == kCalcTypeInteger) {
            fuzz::Require(first.result.real == static_cast<double>(first.result.integer), "an integer's real form");
        } else {
            fuzz::Require(first.result.type == kCalcTypeReal, "a result has a type");
            fuzz::Require(std::isfinite(first.result.real), "a real result is finite");
            fuzz::Require(first.result.integer == Truncated(first.result.real), "a real's integer form");
        }
    } else {
        fuzz::Require(first.error != 0, "a failure leaves an error code");
    }
    const int length = static_cast<int>(std::strlen(text.c_str()));
    for (int p = 0; p <= length; p += 1 + p / 8) {
        const int back = TextWordLengthBackward(text.c_str(), p);
        fuzz::Require(back >= 0 && back <= p, "a word before a position lies within the text");
        const int forward = TextWordLengthForward(text.c_str() + p);
        fuzz::Require(forward >= 0 && forward <= length - p && (forward > 0 || p == length),
                      "a word after a position lies within the text");
        const int own = TextWordLengthForwardEx(text.c_str() + p, ";=");
        fuzz::Require(own >= 0 && own <= length - p, "a word of one's own delimiters lies within the text");
    }
    return 0;
}
