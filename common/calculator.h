#pragma once
// The expression calculator behind numeric edit fields, the number parser of
// integer fields, and the word-wise cursor moves of edit fields.
//
// Expressions work on 64-bit integers and 64-bit reals: "2(3+4)", "0x1F",
// "sqr 1.5", "sin30", "7/2", "1,5" (a comma is a decimal point). Numbers are read
// locale-free. Multiplying, dividing, comparing and the bit operators all bind
// equally and from the left; only + and - bind looser (2*3**2 is 36, 1+2<3 is 2).
//
// A CalcContext is a plain object used by one thread at a time.
#include <cstddef>
#include <cstdint>

namespace orva {

// Type words of a calculator value.
constexpr uint32_t kCalcTypeNone = 0;
constexpr uint32_t kCalcTypeInteger = 32;
constexpr uint32_t kCalcTypeReal = 64;

struct CalcValue {
    uint32_t type = kCalcTypeNone;
    double real = 0.0;
    int64_t integer = 0;
};

// Token kinds.
enum : int32_t {
    kCalcTokenReal = 2,
    kCalcTokenInteger = 3,
    kCalcTokenOperator = 4,   // one character
    kCalcTokenOperator2 = 5,  // two characters
    kCalcTokenName = 6,
    kCalcTokenEnd = 8,
    kCalcTokenBad = 9,
};

// Error codes left in CalcContext::error.
enum : int32_t {
    kCalcErrorSyntax = 1,    // syntax error, or a refused function argument
    kCalcErrorOperator = 2,  // an operator failed; failedOperator holds its code
    kCalcErrorFunction = 3,  // a function gave a non-finite result; warning holds its name
    kCalcErrorMemory = 5,    // no token buffer
    kCalcErrorNotFinite = 9,
    kCalcErrorEmpty = 10,
};

// Operator codes (CalcContext::failedOperator).
enum : int32_t {
    kCalcOpAdd = 0, kCalcOpSubtract, kCalcOpMultiply, kCalcOpDivide, kCalcOpRemainder,
    kCalcOpPower, kCalcOpLess, kCalcOpLessEqual, kCalcOpGreater, kCalcOpGreaterEqual,
    kCalcOpEqual, kCalcOpNotEqual, kCalcOpAnd, kCalcOpOr, kCalcOpBitOr, kCalcOpBitAnd,
    kCalcOpShiftLeft, kCalcOpShiftRight, kCalcOpBitXor,
};

constexpr size_t kCalcTokenBufferSize = 257;

struct CalcContext {
    int32_t tokenKind = 0;
    char* token = nullptr;  // kCalcTokenBufferSize bytes, kept across evaluations
    const char* cursor = nullptr;
    const char* start = nullptr;
    int32_t tokenCount = 0;
    int32_t error = 0;
    int32_t failedOperator = -1;
    CalcValue value;   // working value
    CalcValue result;  // after a successful evaluation both representations are filled
    const char* message = nullptr;  // error message, nullptr when none
    const char* warning = nullptr;  // warning, or the name of the failing function
    // The note of a number longer than the token buffer, which was read cut ("very big
    // string"), or nullptr: the value then is not the number written.
    const char* cutNumber = nullptr;
    // Parse state of the current token.
    int32_t previousKind = 0;
    char op[3] = {0, 0, 0};  // text of an operator token
    int32_t depth = 0;       // nesting of operands, bounded
};

// Evaluates an expression. True with context->result set; false with the error
// code and message left in the context.
bool CalcEvaluate(CalcContext* context, const char* text);

// Frees the token buffer and resets every field.
void CalcContextClear(CalcContext* context);

// Flags of CalcParseNumber.
constexpr uint32_t kCalcParseUnsigned = 1;      // the value is unsigned
constexpr uint32_t kCalcParseClampDigits = 16;  // a digit beyond the radix becomes the highest digit

// Leading blanks, an optional sign, then digits of the radix (letters are digits
// 10 to 35 in any case). Radix 0 chooses 16 after "0x", 8 after a leading "0",
// else 10; radix 16 also skips "0x"; radix 1, above 36 or negative parses nothing.
// Out-of-range values saturate to the type's largest or smallest value (0 for a
// negative unsigned value) and set errno to ERANGE. No digits: 0 and *end = text.
// The 32-bit form returns the bits of an int32_t unless kCalcParseUnsigned is given.
uint32_t CalcParseNumber(const char* text, const char** end, int radix, uint32_t flags);
// The 64-bit form: the bits of an int64_t, or a uint64_t with kCalcParseUnsigned.
uint64_t CalcParseNumber64(const char* text, const char** end, int radix, uint32_t flags);

// Delimiters of word moves in edit fields.
extern const char kCalcWordDelimiters[];  // " .,:-+*()/"

// Length of the next word of `text`: a run of other characters or a run of
// delimiters, plus the blanks that follow; at least 1 when text remains.
int TextWordLengthForward(const char* text);
// The same with a delimiter set of the caller's (nullptr: kCalcWordDelimiters).
int TextWordLengthForwardEx(const char* text, const char* delimiters);
// Length of the word before `position`: blanks skipped backwards, then a run of
// delimiters or a run of other characters.
int TextWordLengthBackward(const char* text, int position);

}  // namespace orva
