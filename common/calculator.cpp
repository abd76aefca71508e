// The expression evaluator: a tokeniser and a recursive-descent parser that
// evaluates while it parses. Errors unwind to CalcEvaluate through a private
// exception type; nothing is thrown out of this file.
#include "common/calculator.h"

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "common/log.h"
#include "common/numeric.h"

namespace orva {

namespace {

// Message texts.
constexpr char kMsgDivZero[] = "div zero";
constexpr char kMsgZeroPower[] = "Raising zero into y that is not greater than 0";
constexpr char kMsgNegativePower[] = "Raising number, that is less than zero into not integer y";
constexpr char kMsgOverflow[] = "owerflow";
constexpr char kMsgNotFinite[] = "infinite or nan";
constexpr char kMsgPossibleOverflow[] = "possible owerflow";
constexpr char kMsgBadReal[] = "bad real value...";
constexpr char kMsgParenExpected[] = ") expected";
constexpr char kMsgIncorrectExpression[] = "Incorrect expression";
constexpr char kMsgNoExpression[] = "No Expression";
constexpr char kMsgIncorrectOperator[] = "Incorrect operator";
constexpr char kMsgNoCorrectExpression[] = "There is no correct expression";
constexpr char kMsgVeryBig[] = "very big string";
constexpr char kMsgSymbolNotDigit[] = "symbol not digit: here 0-F";
constexpr char kMsgBadDigit[] = "bad digit found: here OCT: 0-7, DEC: 0-9, HEX: 0-F";
constexpr char kMsgRepeating[] = "repeating symbol";
constexpr char kMsgBadSymbol[] = "bad symbol: here 0-9 . , e E + -";

// Deep enough for any hand-written expression, shallow enough for any stack.
constexpr int32_t kMaxDepth = 256;
constexpr size_t kMaxNameLength = 255;
constexpr size_t kMaxNumberLength = kCalcTokenBufferSize - 1;
constexpr double kTiny = 1e-307;

struct CalcFailure {};

[[noreturn]] void Fail(CalcContext* c, int32_t code, const char* message) {
    if (c->error == 0) c->error = code;
    if (c->message == nullptr) c->message = message;
    throw CalcFailure{};
}

[[noreturn]] void FailOperator(CalcContext* c, int32_t op, const char* message) {
    if (c->error == 0) c->failedOperator = op;
    Fail(c, kCalcErrorOperator, message);
}

// ---- value helpers -------------------------------------------------------

CalcValue Integer(int64_t v) { return CalcValue{kCalcTypeInteger, 0.0, v}; }
CalcValue Real(double v) { return CalcValue{kCalcTypeReal, v, 0}; }

bool IsInteger(const CalcValue& v) { return v.type == kCalcTypeInteger; }
double AsReal(const CalcValue& v) {
    return IsInteger(v) ? static_cast<double>(v.integer) : v.real;
}

// Truncation toward zero that saturates; NaN gives 0.
int64_t TruncateToInt64(double x) {
    if (std::isnan(x)) return 0;
    if (x >= 9223372036854775808.0) return INT64_MAX;
    if (x < -9223372036854775808.0) return INT64_MIN;
    return static_cast<int64_t>(x);
}

int64_t AsInteger(const CalcValue& v) { return IsInteger(v) ? v.integer : TruncateToInt64(v.real); }
bool IsTrue(const CalcValue& v) { return IsInteger(v) ? v.integer != 0 : v.real != 0.0; }

// Integer + - * wrap as two's complement.
int64_t Wrap(uint64_t v) { return static_cast<int64_t>(v); }
uint64_t Bits(int64_t v) { return static_cast<uint64_t>(v); }

// ---- locale-free real parsing ----------------------------------------------

locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

double ParseReal(const char* text) {
    const locale_t locale = CLocale();
    if (locale != static_cast<locale_t>(nullptr)) return strtod_l(text, nullptr, locale);
    return std::strtod(text, nullptr);
}

// ---- tokeniser ---------------------------------------------------------------

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool IsNameChar(char c) { return IsLetter(c) || IsDigit(c) || c == '_'; }
bool IsHex(char c) { return IsDigit(c) || ((c | 0x20) >= 'a' && (c | 0x20) <= 'f'); }
bool IsSpaceOrLineEnd(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsPoint(char c) { return c == '.' || c == ','; }

bool ExponentFollows(const char* p) {
    if (*p != 'e' && *p != 'E') return false;
    if (IsDigit(p[1])) return true;
    return (p[1] == '+' || p[1] == '-') && IsDigit(p[2]);
}

[[noreturn]] void BadToken(CalcContext* c) {
    c->tokenKind = kCalcTokenBad;
    Fail(c, kCalcErrorSyntax, kMsgNoCorrectExpression);
}

void StoreToken(CalcContext* c, const char* from, const char* to, size_t keep) {
    size_t n = static_cast<size_t>(to - from);
    if (n > keep) n = keep;
    std::memcpy(c->token, from, n);
    c->token[n] = '\0';
}

// A number: hexadecimal after "0x", real when the number itself holds a point
// or an exponent, else octal after a leading 0 or decimal. Only the characters
// of this number decide; text after it does not.
void ScanNumber(CalcContext* c) {
    const char* p = c->cursor;
    const char* q = p;
    const char* note = nullptr;
    int digits = 0;
    bool real = false;
    if (p[0] == '0' && (p[1] == 'x' || p[1] == 'X')) {
        q = p + 2;
        while (IsHex(*q)) ++q;
        digits = 1;  // the leading 0
        if (q == p + 2 || IsNameChar(*q)) note = kMsgSymbolNotDigit;
    } else {
        const char* r = p;
        while (IsDigit(*r)) ++r;
        real = IsPoint(*r) || ExponentFollows(r);
        if (real) {
            bool point = false;
            bool exponent = false;
            for (;; ++q) {
                if (IsDigit(*q)) {
                    if (!exponent) ++digits;
                } else if (IsPoint(*q)) {
                    if (point || exponent) {
                        note = point ? kMsgRepeating : kMsgBadSymbol;
                        break;
                    }
                    point = true;
                } else if (*q == 'e' || *q == 'E') {
                    if (exponent) {
                        note = kMsgRepeating;
                        break;
                    }
                    if (!ExponentFollows(q)) {
                        note = kMsgBadSymbol;
                        break;
                    }
                    exponent = true;
                    if (q[1] == '+' || q[1] == '-') ++q;
                } else {
                    if (IsNameChar(*q)) note = kMsgBadSymbol;
                    break;
                }
            }
        } else {
            q = r;
            digits = static_cast<int>(r - p);
            if (p[0] == '0') {
                for (const char* s = p; s < q; ++s) {
                    if (*s > '7') note = kMsgBadDigit;
                }
            }
            if (note == nullptr && IsNameChar(*q)) note = kMsgSymbolNotDigit;
        }
    }
    c->cursor = q;
    if (digits == 0) BadToken(c);
    if (static_cast<size_t>(q - p) > kMaxNumberLength) {
        note = kMsgVeryBig;
        c->cutNumber = kMsgVeryBig;
    }
    StoreToken(c, p, q, kMaxNumberLength);
    if (note != nullptr) c->warning = note;
    if (real) {
        for (char* s = c->token; *s != '\0'; ++s) {
            if (*s == ',') *s = '.';
        }
        c->tokenKind = kCalcTokenReal;
    } else {
        c->tokenKind = kCalcTokenInteger;
    }
}

void ScanOperator(CalcContext* c) {
    const char* p = c->cursor;
    const char a = p[0];
    const char b = p[1];
    const bool afterOperator = c->tokenCount == 0 || c->previousKind == kCalcTokenOperator;
    if (a == '/' && b == '/') {  // a comment ends the expression
        c->tokenKind = kCalcTokenEnd;
        return;
    }
    static constexpr const char* kPairs[] = {"**", "==", "||", "&&", "!=", ">=", "<=", ">>", "<<"};
    for (const char* pair : kPairs) {
        if (a == pair[0] && b == pair[1]) {
            c->tokenKind = kCalcTokenOperator2;
            c->op[0] = a;
            c->op[1] = b;
            c->op[2] = '\0';
            c->cursor = p + 2;
            return;
        }
    }
    c->cursor = p + 1;
    if ((a == '%' && b == '%') || (a == '^' && b == '^') || (a == '>' && b == '<') ||
        (a == '<' && b == '>')) {
        BadToken(c);
    }
    if ((a == '!' || b == '~') && !afterOperator) BadToken(c);
    c->tokenKind = kCalcTokenOperator;
    c->op[0] = a;
    c->op[1] = '\0';
}

// Reads the next token into the context.
void NextToken(CalcContext* c) {
    if (c->tokenCount > 0) c->previousKind = c->tokenKind;
    const char* p = c->cursor;
    while (IsSpaceOrLineEnd(*p)) ++p;
    c->cursor = p;
    c->op[0] = '\0';
    c->token[0] = '\0';
    const char ch = *p;
    if (ch == '\0' || ch == ';' || ch == '#' || ch == '@') {
        c->tokenKind = kCalcTokenEnd;
    } else if (IsDigit(ch) || IsPoint(ch)) {
        ScanNumber(c);
    } else if (std::strchr("+-*/%^()=!~&|><", ch) != nullptr) {
        ScanOperator(c);
    } else if (IsLetter(ch) || ch == '_') {
        const char* q = p;
        while (IsNameChar(*q)) ++q;
        StoreToken(c, p, q, kMaxNameLength);
        c->cursor = q;
        c->tokenKind = kCalcTokenName;
    } else {
        c->cursor = p + 1;
        BadToken(c);
    }
    ++c->tokenCount;
}

bool IsOperatorToken(const CalcContext* c, char ch) {
    return c->tokenKind == kCalcTokenOperator && c->op[0] == ch;
}

// ---- constants and functions -------------------------------------------------

struct CalcConstant {
    const char* name;
    double value;
};

constexpr CalcConstant kConstants[] = {
    {"pi", 3.141592653589793},
    {"e", 2.718281828459045},
    {"gamma", 0.5772156649015329},
    {"twopi", 6.283185307179586},
};

enum class Fn {
    Abs, Sign, ZSign, Sqr, Sin, Cos, Sinh, Sinc, Cosh, Ceil, Floor, Truncate, Round, Sqrt, Exp,
    Tang, CTang, TangH, J0, J1, Y0, Y1, I0, Gamma, Ln, Lg2, Lg10, Asin, Acos,
};

struct CalcFunction {
    const char* name;
    Fn fn;
};

constexpr CalcFunction kFunctions[] = {
    {"abs", Fn::Abs},   {"sign", Fn::Sign},   {"zsign", Fn::ZSign},  {"sqr", Fn::Sqr},
    {"sin", Fn::Sin},   {"cos", Fn::Cos},     {"sinh", Fn::Sinh},    {"sinc", Fn::Sinc},
    {"cosh", Fn::Cosh}, {"ceil", Fn::Ceil},   {"floor", Fn::Floor},  {"truncate", Fn::Truncate},
    {"round", Fn::Round}, {"sqrt", Fn::Sqrt}, {"exp", Fn::Exp},      {"tang", Fn::Tang},
    {"ctang", Fn::CTang}, {"tangh", Fn::TangH}, {"j0", Fn::J0},      {"j1", Fn::J1},
    {"y0", Fn::Y0},     {"y1", Fn::Y1},       {"i0", Fn::I0},        {"gamma", Fn::Gamma},
    {"ln", Fn::Ln},     {"lg2", Fn::Lg2},     {"lg10", Fn::Lg10},    {"asin", Fn::Asin},
    {"acos", Fn::Acos},
};

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

// Case-insensitive comparison of the first n characters of `text` with `name`,
// which must be exactly n characters long.
bool NameIs(const char* text, size_t n, const char* name) {
    for (size_t i = 0; i < n; ++i) {
        if (name[i] == '\0' || Lower(text[i]) != name[i]) return false;
    }
    return name[n] == '\0';
}

const CalcConstant* FindConstant(const char* name) {
    const size_t n = std::strlen(name);
    for (const CalcConstant& k : kConstants) {
        if (NameIs(name, n, k.name)) return &k;
    }
    return nullptr;
}

const CalcFunction* FindFunction(const char* name) {
    const size_t n = std::strlen(name);
    for (const CalcFunction& f : kFunctions) {
        if (NameIs(name, n, f.name)) return &f;
    }
    return nullptr;
}

// A function name with its argument's digits written on: "sin30", "gamma5".
const CalcFunction* FindFunctionWithDigits(const char* name, int64_t* argument) {
    const size_t length = std::strlen(name);
    for (const CalcFunction& f : kFunctions) {
        const size_t n = std::strlen(f.name);
        if (length <= n) continue;
        bool match = true;
        for (size_t i = 0; i < n && match; ++i) match = Lower(name[i]) == f.name[i];
        for (size_t i = n; i < length && match; ++i) match = IsDigit(name[i]);
        if (!match) continue;
        *argument = static_cast<int64_t>(CalcParseNumber64(name + n, nullptr, 10, 0));
        return &f;
    }
    return nullptr;
}

[[noreturn]] void Refuse(CalcContext* c, const char* message) {
    Fail(c, kCalcErrorSyntax, message);
}

CalcValue ApplyFunction(CalcContext* c, const CalcFunction& f, const CalcValue& arg) {
    const bool integer = IsInteger(arg);
    const int64_t i = arg.integer;
    switch (f.fn) {
        case Fn::Abs:
            if (integer) return Integer(i < 0 ? Wrap(~Bits(i) + 1) : i);
            return Real(std::fabs(arg.real));
        case Fn::Sign:
            if (integer) return Integer(i >= 0 ? 1 : -1);
            return Real(arg.real >= 0.0 ? 1.0 : -1.0);
        case Fn::ZSign:
            if (integer) return Integer(i > 0 ? 1 : (i < 0 ? -1 : 0));
            return Real(arg.real > 0.0 ? 1.0 : (arg.real < 0.0 ? -1.0 : 0.0));
        case Fn::Sqr:
            if (integer) return Integer(Wrap(Bits(i) * Bits(i)));
            break;
        case Fn::Ceil:
        case Fn::Floor:
        case Fn::Truncate:
        case Fn::Round:
            if (integer) return arg;
            break;
        default:
            break;
    }
    const double x = AsReal(arg);
    double y = 0.0;
    bool checkFinite = false;  // refuse a non-finite result with the function's own text
    const char* refusal = nullptr;
    switch (f.fn) {
        case Fn::Sqr: y = x * x; break;
        case Fn::Abs: case Fn::Sign: case Fn::ZSign: break;  // handled above
        case Fn::Sin: y = std::sin(x); break;
        case Fn::Cos: y = std::cos(x); break;
        case Fn::Sinh: y = std::sinh(x); break;
        case Fn::Sinc: y = x == 0.0 ? 1.0 : std::sin(x) / x; break;
        case Fn::Cosh: y = std::cosh(x); break;
        case Fn::Ceil: y = std::ceil(x); break;
        case Fn::Floor: y = std::floor(x); break;
        case Fn::Truncate: y = std::trunc(x); break;
        case Fn::Round: y = x >= 0.0 ? std::floor(x + 0.5) : std::ceil(x - 0.5); break;
        case Fn::Sqrt:
            if (x < 0.0) Refuse(c, "argument of sqrt is < zero");
            y = std::sqrt(x);
            break;
        case Fn::Exp: y = std::exp(x); break;
        case Fn::Tang: {
            const double cosine = std::cos(x);
            if (std::fabs(cosine) < kTiny) Refuse(c, "can't calculate tang");
            y = std::sin(x) / cosine;
            break;
        }
        case Fn::CTang: {
            const double sine = std::sin(x);
            // The first letter of the function's short name is the Cyrillic es (0xF1).
            if (std::fabs(sine) < kTiny) Refuse(c, "can't calculate \xF1tg");
            y = std::cos(x) / sine;
            break;
        }
        case Fn::TangH:
            y = std::tanh(x);
            checkFinite = true;
            refusal = "can't calculate tanh";
            break;
        case Fn::J0:
            y = ::j0(x);
            checkFinite = true;
            refusal = "can't calculate Bessel functions of the first kind: orders 0";
            break;
        case Fn::J1:
            y = ::j1(x);
            checkFinite = true;
            refusal = "can't calculate Bessel functions of the first kind: orders 1";
            break;
        case Fn::Y0:
            y = ::y0(x);
            checkFinite = true;
            refusal = "can't calculate Bessel functions of the second kind: orders 0";
            break;
        case Fn::Y1:
            y = ::y1(x);
            checkFinite = true;
            refusal = "can't calculate Bessel functions of the second kind: orders 1";
            break;
        case Fn::I0:
            y = BesselI0(x);  // +infinity once the value overflows
            checkFinite = true;
            refusal = "can't calculate modified Bessel";
            break;
        case Fn::Gamma:
            y = GammaFunction(x);
            checkFinite = true;
            refusal = "can't calculate gamma functions";
            break;
        case Fn::Ln:
            if (x < DBL_EPSILON) Refuse(c, "argument of log is <= zero");
            y = std::log(x);
            break;
        case Fn::Lg2:
            if (x < DBL_EPSILON) Refuse(c, "argument of log2 is <= zero");
            y = std::log2(x);
            break;
        case Fn::Lg10:
            if (x < DBL_EPSILON) Refuse(c, "argument of log10 is <= zero");
            y = std::log10(x);
            break;
        case Fn::Asin:
            if (x < -1.0 || x > 1.0) Refuse(c, "argument of asin() is out of ranges");
            y = std::asin(x);
            break;
        case Fn::Acos:
            if (x < -1.0 || x > 1.0) Refuse(c, "argument of acos() is out of ranges");
            y = std::acos(x);
            break;
    }
    if (!std::isfinite(y)) {
        if (checkFinite) Refuse(c, refusal);
        if (c->error == 0) c->warning = f.name;
        Fail(c, kCalcErrorFunction, kMsgNotFinite);
    }
    return Real(y);
}

// ---- operators ---------------------------------------------------------------

int32_t BinaryOperatorCode(const CalcContext* c) {
    if (c->tokenKind == kCalcTokenOperator) {
        switch (c->op[0]) {
            case '*': return kCalcOpMultiply;
            case '(': return kCalcOpMultiply;  // implicit product; "(" stays the current token
            case '/': return kCalcOpDivide;
            case '%': return kCalcOpRemainder;
            case '<': return kCalcOpLess;
            case '>': return kCalcOpGreater;
            case '|': return kCalcOpBitOr;
            case '&': return kCalcOpBitAnd;
            case '^': return kCalcOpBitXor;
            default: return -1;
        }
    }
    if (c->tokenKind == kCalcTokenOperator2) {
        static constexpr struct {
            const char* text;
            int32_t code;
        } kPairs[] = {{"**", kCalcOpPower},        {"<=", kCalcOpLessEqual}, {">=", kCalcOpGreaterEqual},
                      {"==", kCalcOpEqual},        {"!=", kCalcOpNotEqual},  {"&&", kCalcOpAnd},
                      {"||", kCalcOpOr},           {"<<", kCalcOpShiftLeft}, {">>", kCalcOpShiftRight}};
        for (const auto& pair : kPairs) {
            if (std::strcmp(c->op, pair.text) == 0) return pair.code;
        }
    }
    return -1;
}

CalcValue Compare(int32_t op, const CalcValue& a, const CalcValue& b) {
    int order;
    if (IsInteger(a) && IsInteger(b)) {
        order = a.integer < b.integer ? -1 : (a.integer > b.integer ? 1 : 0);
    } else {
        const double x = AsReal(a);
        const double y = AsReal(b);
        order = x < y ? -1 : (x > y ? 1 : 0);
    }
    bool r = false;
    switch (op) {
        case kCalcOpLess: r = order < 0; break;
        case kCalcOpLessEqual: r = order <= 0; break;
        case kCalcOpGreater: r = order > 0; break;
        case kCalcOpGreaterEqual: r = order >= 0; break;
        case kCalcOpEqual: r = order == 0; break;
        default: r = order != 0; break;
    }
    return Integer(r ? 1 : 0);
}

CalcValue ApplyBitwise(CalcContext* c, int32_t op, const CalcValue& a, const CalcValue& b) {
    const int64_t x = AsInteger(a);
    const int64_t y = AsInteger(b);
    switch (op) {
        case kCalcOpBitOr: return Integer(x | y);
        case kCalcOpBitAnd: return Integer(x & y);
        case kCalcOpBitXor: return Integer(x ^ y);
        default: break;
    }
    // A shift count outside the word cannot be carried out.
    if (y < 0 || y > 63) FailOperator(c, op, kMsgOverflow);
    if (op == kCalcOpShiftLeft) return Integer(Wrap(Bits(x) << y));
    return Integer(x >> y);  // arithmetic for negative values
}

CalcValue ApplyIntegerArithmetic(CalcContext* c, int32_t op, int64_t x, int64_t y) {
    switch (op) {
        case kCalcOpAdd: return Integer(Wrap(Bits(x) + Bits(y)));
        case kCalcOpSubtract: return Integer(Wrap(Bits(x) - Bits(y)));
        case kCalcOpMultiply: return Integer(Wrap(Bits(x) * Bits(y)));
        case kCalcOpDivide:
            if (y == 0) FailOperator(c, op, kMsgDivZero);
            // The one quotient that does not fit in 64 bits.
            if (x == INT64_MIN && y == -1) FailOperator(c, op, kMsgOverflow);
            return Integer(x / y);
        default:  // remainder
            if (y == 0) FailOperator(c, op, kMsgDivZero);
            if (y == -1) return Integer(0);
            return Integer(x % y);
    }
}

CalcValue ApplyBinary(CalcContext* c, int32_t op, const CalcValue& a, const CalcValue& b) {
    if (op >= kCalcOpLess && op <= kCalcOpNotEqual) return Compare(op, a, b);
    if (op == kCalcOpAnd) return Integer(IsTrue(a) && IsTrue(b) ? 1 : 0);
    if (op == kCalcOpOr) return Integer(IsTrue(a) || IsTrue(b) ? 1 : 0);
    if (op >= kCalcOpBitOr) return ApplyBitwise(c, op, a, b);
    if (op != kCalcOpPower && IsInteger(a) && IsInteger(b)) {
        return ApplyIntegerArithmetic(c, op, a.integer, b.integer);
    }
    const double x = AsReal(a);
    const double y = AsReal(b);
    double r = 0.0;
    switch (op) {
        case kCalcOpAdd: r = x + y; break;
        case kCalcOpSubtract: r = x - y; break;
        case kCalcOpMultiply: r = x * y; break;
        case kCalcOpDivide:
            if (std::fabs(y) < kTiny) FailOperator(c, op, kMsgDivZero);
            r = x / y;
            break;
        case kCalcOpRemainder:
            if (std::fabs(y) < kTiny) FailOperator(c, op, kMsgDivZero);
            r = std::fabs(x) < kTiny ? 0.0 : std::fmod(x, y);
            break;
        default:  // power
            if (x == 0.0 && y <= 0.0) FailOperator(c, op, kMsgZeroPower);
            if (x < 0.0 && y != std::floor(y)) FailOperator(c, op, kMsgNegativePower);
            r = std::pow(x, y);
            if (std::isinf(r)) FailOperator(c, op, kMsgOverflow);
            break;
    }
    if (!std::isfinite(r)) FailOperator(c, op, kMsgNotFinite);
    if (std::fabs(r) >= DBL_MAX) c->warning = kMsgPossibleOverflow;
    return Real(r);
}

// ---- grammar -------------------------------------------------------------------

CalcValue Expression(CalcContext* c);

bool StartsOperand(const CalcContext* c) {
    return c->tokenKind == kCalcTokenInteger || c->tokenKind == kCalcTokenReal ||
           c->tokenKind == kCalcTokenName || IsOperatorToken(c, '(');
}

CalcValue Operand(CalcContext* c);

CalcValue NameOperand(CalcContext* c) {
    const CalcConstant* constant = FindConstant(c->token);
    const CalcFunction* function = FindFunction(c->token);
    int64_t digits = 0;
    const CalcFunction* withDigits =
        (constant == nullptr && function == nullptr) ? FindFunctionWithDigits(c->token, &digits)
                                                     : nullptr;
    NextToken(c);
    // "gamma" alone is Euler's constant; followed by an argument it is the function.
    if (constant != nullptr && !(function != nullptr && StartsOperand(c))) {
        return Real(constant->value);
    }
    if (function != nullptr) return ApplyFunction(c, *function, Operand(c));
    if (withDigits != nullptr) return ApplyFunction(c, *withDigits, Integer(digits));
    Fail(c, kCalcErrorSyntax, kMsgIncorrectExpression);
}

CalcValue OperandInner(CalcContext* c) {
    switch (c->tokenKind) {
        case kCalcTokenInteger: {
            const auto v = static_cast<int64_t>(
                CalcParseNumber64(c->token, nullptr, 0, kCalcParseClampDigits));
            NextToken(c);
            return Integer(v);
        }
        case kCalcTokenReal: {
            const double v = ParseReal(c->token);
            if (std::fabs(v) == HUGE_VAL) Fail(c, kCalcErrorSyntax, kMsgBadReal);
            NextToken(c);
            return Real(v);
        }
        case kCalcTokenName: return NameOperand(c);
        case kCalcTokenEnd: Fail(c, kCalcErrorSyntax, kMsgNoExpression);
        case kCalcTokenOperator: break;
        default: Fail(c, kCalcErrorSyntax, kMsgIncorrectOperator);
    }
    const char op = c->op[0];
    if (op == '(') {
        NextToken(c);
        CalcValue v = Expression(c);
        if (!IsOperatorToken(c, ')')) Fail(c, kCalcErrorSyntax, kMsgParenExpected);
        NextToken(c);
        return v;
    }
    if (op != '+' && op != '-' && op != '!' && op != '~') {
        Fail(c, kCalcErrorSyntax, kMsgIncorrectOperator);
    }
    NextToken(c);
    CalcValue v = Operand(c);
    switch (op) {
        case '-':
            if (IsInteger(v)) return Integer(Wrap(~Bits(v.integer) + 1));
            return Real(-v.real);
        case '!':
            if (IsInteger(v)) return Integer(v.integer == 0 ? 1 : 0);
            return Real(v.real == 0.0 ? 1.0 : 0.0);
        case '~': return Integer(~AsInteger(v));
        default: return v;
    }
}

CalcValue Operand(CalcContext* c) {
    if (++c->depth > kMaxDepth) Fail(c, kCalcErrorSyntax, kMsgIncorrectExpression);
    CalcValue v = OperandInner(c);
    --c->depth;
    return v;
}

CalcValue Term(CalcContext* c) {
    CalcValue v = Operand(c);
    for (;;) {
        const int32_t op = BinaryOperatorCode(c);
        if (op < 0) return v;
        if (!IsOperatorToken(c, '(')) NextToken(c);
        const CalcValue rhs = Operand(c);
        v = ApplyBinary(c, op, v, rhs);
    }
}

CalcValue Expression(CalcContext* c) {
    CalcValue v = Term(c);
    while (IsOperatorToken(c, '+') || IsOperatorToken(c, '-')) {
        const int32_t op = c->op[0] == '+' ? kCalcOpAdd : kCalcOpSubtract;
        NextToken(c);
        const CalcValue rhs = Term(c);
        v = ApplyBinary(c, op, v, rhs);
    }
    return v;
}

// Resets everything but the token buffer.
void ResetKeepingBuffer(CalcContext* c) {
    char* buffer = c->token;
    *c = CalcContext{};
    c->token = buffer;
}

}  // namespace

bool CalcEvaluate(CalcContext* context, const char* text) {
    if (context == nullptr) return false;
    ResetKeepingBuffer(context);
    if (text == nullptr || *text == '\0') {
        context->error = kCalcErrorEmpty;
        return false;
    }
    if (context->token == nullptr) {
        context->token = static_cast<char*>(std::malloc(kCalcTokenBufferSize));
        if (context->token == nullptr) {
            context->error = kCalcErrorMemory;
            return false;
        }
    }
    context->start = text;
    context->cursor = text;
    try {
        NextToken(context);
        context->value = Expression(context);
    } catch (const CalcFailure&) {
        if (context->error == 0) context->error = kCalcErrorSyntax;
        return false;
    } catch (...) {
        LogPrintf("%s", "calc error: exeption");
        if (context->error == 0) context->error = kCalcErrorSyntax;
        return false;
    }
    if (context->error != 0 || context->value.type == kCalcTypeNone) {
        if (context->error == 0) context->error = kCalcErrorSyntax;
        return false;
    }
    CalcValue& r = context->result;
    r = context->value;
    if (r.type == kCalcTypeInteger) {
        r.real = static_cast<double>(r.integer);
    } else if (!std::isfinite(r.real)) {
        // Every real step is checked, so this is a guard: a non-finite result is an error.
        r = CalcValue{};
        context->error = kCalcErrorNotFinite;
        return false;
    } else {
        r.integer = TruncateToInt64(r.real);
    }
    return true;
}

void CalcContextClear(CalcContext* context) {
    if (context == nullptr) return;
    std::free(context->token);
    *context = CalcContext{};
}

}  // namespace orva
