#include "io/service_description.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdarg>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/number_text.h"
#include "common/numeric.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "framework/keyword_file.h"
#include "framework/keyword_table.h"
#include "io/bit_packed.h"
#include "io/data_set.h"
#include "io/data_set_info.h"
#include "io/file_layout.h"
#include "io/format_registry.h"
#include "io/frame_access.h"
#include "io/old_service_file.h"
#include "io/redescribe.h"
#include "io/value_range.h"
#include "common/text.h"

namespace orva {

// ---- the record ----------------------------------------------------------------------

namespace {

// Every field but the texts; the axis-scales pointer follows the destination's pairs.
void CopyFields(ServiceDescription* to, const ServiceDescription* from, bool withState) {
    const uint8_t a = to->active, s = to->state, p = to->positionsValid;
    const int64_t length = to->fileLength;
    char* texts[kServiceTextCount];
    std::memcpy(texts, to->texts, sizeof(texts));
    static_cast<ServiceDescriptionFields&>(*to) = static_cast<const ServiceDescriptionFields&>(*from);
    std::memcpy(to->texts, texts, sizeof(texts));
    to->axisScales = from->axisScales ? to->axis : nullptr;
    if (!withState) {
        to->active = a;
        to->state = s;
        to->positionsValid = p;
        to->fileLength = length;
    }
}

}  // namespace

ServiceDescription::~ServiceDescription() { FreeServiceDescriptionStrings(this); }

ServiceDescription::ServiceDescription(const ServiceDescription& other) : ServiceDescriptionFields() {
    CopyFields(this, &other, true);
}

ServiceDescription& ServiceDescription::operator=(const ServiceDescription& other) {
    if (this != &other) {
        FreeServiceDescriptionStrings(this);
        CopyFields(this, &other, true);
    }
    return *this;
}

void FreeServiceDescriptionStrings(ServiceDescription* d) {
    if (d == nullptr) return;
    for (char*& t : d->texts) {
        std::free(t);
        t = nullptr;
    }
}

void ResetServiceDescription(ServiceDescription* d) {
    if (d == nullptr) return;
    ServiceDescription fresh;
    FreeServiceDescriptionStrings(d);
    uint8_t a = d->active, s = d->state, p = d->positionsValid;
    int64_t length = d->fileLength;
    AxisPair axes[3] = {d->axis[0], d->axis[1], d->axis[2]};
    CopyFields(d, &fresh, true);
    d->active = a;
    d->state = s;
    d->positionsValid = p;
    d->fileLength = length;
    for (int i = 0; i < 3; ++i) d->axis[i] = axes[i];
}

void MoveServiceDescription(ServiceDescription* to, ServiceDescription* from) {
    if (to == nullptr || from == nullptr || to == from) return;
    FreeServiceDescriptionStrings(to);
    CopyFields(to, from, false);
    std::memcpy(to->texts, from->texts, sizeof(to->texts));
    for (char*& t : from->texts) t = nullptr;
}

void CopyServiceDescription(ServiceDescription* to, const ServiceDescription* from) {
    if (to == nullptr || from == nullptr || to == from) return;
    FreeServiceDescriptionStrings(to);
    CopyFields(to, from, false);
}

void TextSplit::Clear() {
    delete[] commands;
    commands = nullptr;
    count = 0;
}

// ---- value helpers ------------------------------------------------------------------------

namespace {

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

bool EqualNoCase(const char* a, const char* b, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

// atoi/_atoi64: blanks, a sign, digits; nothing read gives 0; saturating.
int64_t ReadInt64(const char* text) {
    const char* p = text;
    while (IsBlank(*p) || *p == '\r' || *p == '\n') ++p;
    errno = 0;
    long long v = std::strtoll(p, nullptr, 10);
    return v;  // strtoll saturates at LLONG_MIN/LLONG_MAX
}

int32_t ReadInt32(const char* text) {
    int64_t v = ReadInt64(text);
    if (v > INT32_MAX) return INT32_MAX;
    if (v < INT32_MIN) return INT32_MIN;
    return static_cast<int32_t>(v);
}

// A locale-free strtod: blanks, an optional sign, a number. False when nothing was
// read; an overflow gives +-infinity like strtod, an underflow 0.
bool ReadReal(const char* text, double* out, const char** end = nullptr) {
    const char* p = text;
    while (IsBlank(*p)) ++p;
    bool negative = false;
    const char* start = p;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        ++p;
    }
    if (*p == '+' || *p == '-') return false;
    double v = 0.0;
    const char* last = p + std::strlen(p);
    auto r = std::from_chars(p, last, v, std::chars_format::general);
    if (r.ec == std::errc::invalid_argument) {
        (void)start;
        return false;
    }
    if (r.ec == std::errc::result_out_of_range) {
        // Decide between overflow and underflow by the exponent's sign.
        const char* e = p;
        while (e < r.ptr && *e != 'e' && *e != 'E') ++e;
        bool tiny = e < r.ptr && e[1] == '-';
        v = tiny ? 0.0 : std::numeric_limits<double>::infinity();
    }
    *out = negative ? -v : v;
    if (end) *end = r.ptr;
    return true;
}

// A finite real or nothing: the strtod rule of the keys.
bool ReadFinite(const char* text, double* out, const char** end = nullptr) {
    double v;
    if (!ReadReal(text, &v, end) || std::isinf(v)) return false;
    *out = v;
    return true;
}

uint32_t SampleBytes(uint32_t t) { return FormatElementSize(t); }

// An entry with the bits of -DBL_MAX is unset.
bool IsUnsetValue(double v) {
    const double unset = -std::numeric_limits<double>::max();
    return std::memcmp(&v, &unset, sizeof(double)) == 0;
}

uint32_t ClampChannels(uint32_t c) { return c == 0 ? 1 : (c > kMaxChannels ? kMaxChannels : c); }

// The type made consistent after BITPIX or DATATYPES: data-kind bits only with
// 64-bit reals, reals unsigned-free, 8-bit without byte order; bits from the size.
void NormaliseFsType(ServiceDescription* d) {
    uint32_t t = d->type;
    if (!(t & 0x40)) t &= ~kTypeRealOnlyBits;
    if (t & 0x50)
        t &= ~0x100u;
    else if (t & 0x01)
        t &= ~0x80u;
    d->type = t;
    d->bits = SampleBytes(t) * 8;
}

// BITPIX: the type bits of a FITS sample code; false for other values.
bool ApplyBitpix(ServiceDescription* d, int32_t bitpix) {
    uint32_t size;
    switch (bitpix) {
        case 8: size = 0x01; break;
        case 16: size = 0x02; break;
        case 24: size = 0x04; break;  // the 24-bit integers a description may carry
        case 32: size = 0x08; break;
        case 64: size = 0x20; break;
        case -32: size = 0x10; break;
        case -64: size = 0x40; break;
        default:
            // Any other count of 1 to 31 bits: unsigned samples packed without padding
            // (the "bits" line written for such a description reads back here).
            if (bitpix < 1 || !IsBitPacked(static_cast<uint32_t>(bitpix))) return false;
            d->type = (d->type & ~0xFFu) | PackedElementType(static_cast<uint32_t>(bitpix)) | 0x100u;
            d->flags |= kFlagSign | kFlagByteOrder;
            d->channels = ClampChannels(d->channels);
            NormaliseFsType(d);
            d->bits = static_cast<uint32_t>(bitpix);
            return true;
    }
    d->type = (d->type & ~0x7Fu) | size;
    if (size == 0x01) {
        d->type &= ~0x80u;
        d->flags |= kFlagByteOrder;
    }
    if (size & 0x50) {
        d->type &= ~0x100u;
        d->flags |= kFlagSign;
    }
    d->channels = ClampChannels(d->channels);
    NormaliseFsType(d);
    return true;
}

// ---- the key handlers -----------------------------------------------------------------

FsKeyTarget* TargetOf(ParseState* s) { return s ? static_cast<FsKeyTarget*>(s->context) : nullptr; }
ServiceDescription* DescOf(ParseState* s) {
    FsKeyTarget* t = TargetOf(s);
    return t ? t->description : nullptr;
}

#define FS_DESC()                              \
    ServiceDescription* d = DescOf(state);     \
    if (d == nullptr) return -1;               \
    d->active = 1

int HIgnore(const char*, ParseState*) { return 0; }

int HChannels(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) {
        d->channels = 0;
        d->flags &= ~(kFlagChannels | kFlagChannelOut);
        return -1;
    }
    d->channels = static_cast<uint32_t>(n);
    d->flags |= kFlagChannels;
    return 1;
}

int HChannelOut(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) {
        d->nchannelOut = 0;
        d->flags &= ~kFlagChannelOut;
        return -1;
    }
    d->nchannelOut = static_cast<uint32_t>(n);
    d->flags |= kFlagChannelOut;
    return 1;
}

int HConvSpec(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < -3 || n > 1) {
        d->convSpec = 0;
        d->flags &= ~kFlagChannelOut;
        return 0;  // the line still counts as read
    }
    d->convSpec = n;
    d->flags |= kFlagChannelOut;
    return 1;
}

int HNaxis(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) return -1;
    d->naxis = n;
    d->flags |= kFlagAxes;
    return 1;
}

int HFramesMax(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) {
        d->framesMax = 0;
        if (d->frames == 0) d->flags &= ~kFlagFrames;
        return -1;
    }
    d->framesMax = static_cast<uint32_t>(n);
    d->flags |= kFlagFrames;
    return 1;
}

int HFrames(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) {
        d->frames = 0;
        if (d->framesMax == 0) d->flags &= ~kFlagFrames;
        return -1;
    }
    d->frames = static_cast<uint32_t>(n);
    d->flags |= kFlagFrames;
    return 1;
}

int HSections(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n < 1) {
        d->sections = 0;
        d->flags &= ~kFlagSections;
        return -1;
    }
    d->sections = static_cast<uint32_t>(n);
    d->flags |= kFlagSections;
    return 1;
}

int HFrameStep(const char* v, ParseState* state) {
    FS_DESC();
    int32_t n = ReadInt32(v);
    if (n == 0) return -1;
    d->frameStep = n;
    // Stated, so that the open takes it: the program writes it back on every save.
    d->flags |= kFlagFrameStep;
    return 1;
}

int HFps(const char* v, ParseState* state) {
    FS_DESC();
    double f = 0.0;
    ReadReal(v, &f);  // atof: nothing read is 0
    if (std::isnan(f) || f < 0.0) return -1;
    d->fps = f < kFpsMin ? kFpsMin : (f > kFpsMax ? kFpsMax : f);
    return 1;
}

int HPositive64(const char* v, ParseState* state, int64_t* field, uint64_t flag) {
    int64_t n = ReadInt64(v);
    if (n <= 0) return -1;
    *field = n;
    TargetOf(state)->description->flags |= flag;
    return 1;
}

int HSize(const char* v, ParseState* state) {
    FS_DESC();
    int64_t n = ReadInt64(v);
    if (n <= 0) return -1;
    d->size = static_cast<uint64_t>(n);
    d->flags |= kFlagSize;
    return 1;
}

int HBegin(const char* v, ParseState* state) {
    FS_DESC();
    return HPositive64(v, state, &d->beginPos, kFlagBeginPos);
}

int HEnd(const char* v, ParseState* state) {
    FS_DESC();
    int64_t n = ReadInt64(v);
    if (n <= 0 || n < d->beginPos) return -1;
    d->endPos = n;
    d->flags |= kFlagEndPos;
    return 1;
}

int HSizeX(const char* v, ParseState* state) {
    FS_DESC();
    return HPositive64(v, state, &d->sizeX, kFlagSizeX);
}
int HSizeY(const char* v, ParseState* state) {
    FS_DESC();
    return HPositive64(v, state, &d->sizeY, kFlagSizeY);
}
int HSizeZ(const char* v, ParseState* state) {
    FS_DESC();
    return HPositive64(v, state, &d->sizeZ, kFlagSizeZ);
}

int HCropBox(const char* v, ParseState* state) {
    FS_DESC();
    int64_t values[6] = {0, 0, 0, 0, 0, 0};
    int n = 0;
    const char* p = v;
    bool bad = false;
    while (true) {
        while (IsBlank(*p) || *p == ',') ++p;
        if (*p == '\0' || *p == '\r' || *p == '\n') break;
        char* end = nullptr;
        long long x = std::strtoll(p, &end, 10);
        if (end == p || n == 6) {
            bad = true;
            break;
        }
        values[n++] = x;
        p = end;
    }
    if (bad || n == 0 || (n & 1)) {
        ParseStateLog(state, "%s", "@parsing read prop.: CropBoundBox=bad # values");
        return -1;
    }
    d->cropX = values[0];
    d->cropSizeX = values[1];
    d->cropY = values[2];
    d->cropSizeY = values[3];
    d->cropZ = values[4];
    d->cropSizeZ = values[5];
    d->flags |= kFlagCropBox;
    return 1;
}

int HMinMax(const char* v, ParseState* state) {
    FS_DESC();
    double a, b;
    const char* p = v;
    if (!ReadFinite(p, &a, &p)) {
        ParseStateLog(state, "%s", "@parsing read prop.: MINMAX=bad # values");
        return -1;
    }
    while (IsBlank(*p) || *p == ',') ++p;
    if (!ReadFinite(p, &b)) {
        ParseStateLog(state, "%s", "@parsing read prop.: MINMAX=bad # values");
        return -1;
    }
    d->min = a;
    d->max = b;
    d->flags |= kFlagValueRange;
    return 1;
}

bool IsSplitLetter(char c) {
    c = Upper(c);
    return c == 'X' || c == 'Y' || c == 'Z' || c == 'V' || c == 'D' || c == 'S';
}

// A signed decimal number at p (after blanks); false when none.
bool ReadSplitNumber(const char** p, long* value) {
    const char* q = *p;
    while (IsBlank(*q)) ++q;
    const char* digits = q;
    if (*digits == '-' || *digits == '+') ++digits;
    if (!IsDigit(*digits)) return false;
    errno = 0;
    char* end = nullptr;
    long v = std::strtol(q, &end, 10);
    if (v > 0x7FFFFFFFL) v = 0x7FFFFFFFL;
    if (v < -0x7FFFFFFFL) v = -0x7FFFFFFFL;
    *value = v;
    *p = end;
    return true;
}

int HSplit(const char* value, ParseState* state) {
    FsKeyTarget* target = TargetOf(state);
    if (target == nullptr || target->split == nullptr) return -1;
    TextSplit* split = target->split;
    split->Clear();
    const uint32_t line = state->line;
    const char* p = value;
    while (IsBlank(*p)) ++p;
    const char* first = p;
    while (*first && !IsSplitLetter(*first)) ++first;
    if (*first == '\0') {
        ParseStateLog(state, "$%u: bad arg cmd> SPLIT=\"%24s\" - %s...", line, value,
                      "know (valid) symb: X, Y, Z, V{NUM COLUM}, D{X,Y,Z}, S{NUM SKIP}, N");
        return -1;
    }
    int bad = 0;
    if (first != p) {
        ParseStateLog(state, "$%u: bad arg cmd> SPLIT=...%c...", line, *p);
        ++bad;
        p = first;
    }
    SplitCommand cmds[kMaxSplitCommands];
    uint32_t n = 0;
    while (*p) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0' || *p == '\r' || *p == '\n') break;
        if (!IsSplitLetter(*p)) {
            // A run of other characters is one bad symbol.
            ParseStateLog(state, "$%u: bad arg cmd> SPLIT=...%c...", line, *p);
            ++bad;
            while (*p && !IsBlank(*p) && !IsSplitLetter(*p)) ++p;
            continue;
        }
        SplitCommand cmd;
        cmd.letter = static_cast<unsigned char>(Upper(*p++));
        cmd.count = 1;
        bool counted = cmd.letter == 'S' || cmd.letter == 'V';
        if (cmd.letter == 'D') {
            while (IsBlank(*p)) ++p;
            char a = *p;
            if (a != 'X' && a != 'Y' && a != 'Z' && a != 'V') {
                // Any other letter aborts the pattern: nothing of it is kept.
                ParseStateLog(state, "$%u: bad arg cmd> SPLIT=...%c...", line, a ? a : ' ');
                return -1;
            }
            ++p;
            cmd.axis = static_cast<unsigned char>(a);
            if (a == 'V')
                counted = true;
            else
                cmd.count = static_cast<uint32_t>(a - 'X' + 1);
        } else if (cmd.letter == 'X' || cmd.letter == 'Y' || cmd.letter == 'Z') {
            cmd.count = cmd.letter - 'X' + 1;
        }
        long number = 0;
        const char* q = p;
        if (ReadSplitNumber(&q, &number)) {
            if (counted) {
                if (number < 1) {
                    if (cmd.letter == 'D')
                        ParseStateLog(state, "$%u: bad arg (number) cmd> SPLIT=...%c%d...", line,
                                      static_cast<char>(cmd.axis), static_cast<int>(number));
                    else
                        ParseStateLog(state, "$%u: bad arg (number) cmd: SPLIT=...%c%d...", line,
                                      static_cast<char>(cmd.letter), static_cast<int>(number));
                    number = number < 0 ? -number : number;
                    if (number == 0) number = 1;
                }
                cmd.count = static_cast<uint32_t>(number);
            } else {
                const char* symbol = p;
                while (IsBlank(*symbol)) ++symbol;
                ParseStateLog(state, "$%u: bad arg cmd> SPLIT=...%c...", line, *symbol);
                ++bad;
            }
            p = q;
        }
        // A repeated S or V adds to the command before it.
        if (n > 0 && (cmd.letter == 'S' || cmd.letter == 'V') && cmds[n - 1].letter == cmd.letter &&
            cmds[n - 1].axis == 0) {
            uint64_t sum = static_cast<uint64_t>(cmds[n - 1].count) + cmd.count;
            cmds[n - 1].count = sum > 0x7FFFFFFFu ? 0x7FFFFFFFu : static_cast<uint32_t>(sum);
        } else {
            if (n == kMaxSplitCommands) {
                ParseStateLog(state, "$%u: cmd> SPLIT=%s, Max Cmd=%d, stop parsing", line, value,
                              static_cast<int>(kMaxSplitCommands));
                break;
            }
            cmds[n++] = cmd;
        }
        SplitCommand& last = cmds[n - 1];
        if (last.count > kMaxChannels && (last.letter == 'V' || (last.letter == 'D' && last.axis == 'V'))) {
            last.letter = 'S';
            last.axis = 0;
            last.count = 1;
        }
    }
    if (bad > 4 || n == 0) return -1;
    split->commands = new SplitCommand[n];
    std::memcpy(split->commands, cmds, n * sizeof(SplitCommand));
    split->count = n;
    if (target->description) target->description->active = 1;
    return 1;
}

int HSeparator(const char* value, ParseState* state) {
    FsKeyTarget* target = TargetOf(state);
    if (target == nullptr || target->split == nullptr) return -1;
    const char* p = value;
    if (*p == '\'' || *p == '"') ++p;
    unsigned char c = static_cast<unsigned char>(*p);
    if (c == ' ') {
        target->split->separator = 0;
        return 1;
    }
    bool hex = (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
    if (c > 0x20 && c < 0x7F && !IsDigit(static_cast<char>(c)) && !std::strchr("+-.xX", c) && !hex) {
        target->split->separator = c;
        return 1;
    }
    target->split->separator = 0;
    ParseStateLog(state, "$%u: bad cmd symb: SEPARATOR=%s", state->line, value);
    return -1;
}

int HError(const char* v, ParseState* state) {
    FS_DESC();
    const char* p = v;
    while (IsBlank(*p)) ++p;
    if (!EqualNoCase(p, "PARSING", 7)) return -1;
    p += 7;
    while (IsBlank(*p)) ++p;
    if (*p != ':') return -1;
    ++p;
    while (IsBlank(*p)) ++p;
    static const struct {
        const char* word;
        int32_t mode;
    } kModes[] = {{"STOP", kFsErrorStop}, {"SKIP", kFsErrorSkip}, {"PAUSE", kFsErrorPause},
                  {"CONTINUE", kFsErrorContinue}};
    for (const auto& m : kModes) {
        size_t n = std::strlen(m.word);
        if (!EqualNoCase(p, m.word, n)) continue;
        const char* rest = p + n;
        while (IsBlank(*rest) || *rest == '\r' || *rest == '\n') ++rest;
        if (*rest != '\0') return -1;
        d->parseErrorMode = m.mode;
        return 1;
    }
    return -1;
}

int HScale(const char* v, ParseState* state) {
    FS_DESC();
    double x;
    if (!ReadFinite(v, &x) || !(std::fabs(x) > 2.2250738585072014e-308)) {
        d->scale = 1.0;
        d->flags &= ~kFlagScale;
        return -1;
    }
    d->scale = x;
    d->flags |= kFlagScale;
    return 1;
}

int HZero(const char* v, ParseState* state) {
    FS_DESC();
    double x;
    if (!ReadFinite(v, &x) || std::isnan(x)) {
        d->zero = 0.0;
        d->flags &= ~kFlagZero;
        return -1;
    }
    d->zero = x;
    d->flags |= kFlagZero;
    return 1;
}

const uint64_t kAxisScaleFlags[3] = {kFlagScaleX, kFlagScaleY, kFlagScaleZ};
const uint64_t kAxisZeroFlags[3] = {kFlagZeroX, kFlagZeroY, kFlagZeroZ};

int AxisScale(const char* v, ParseState* state, int axis) {
    FS_DESC();
    d->axisScales = d->axis;
    double x;
    if (!ReadFinite(v, &x) || !(std::fabs(x) > 2.2250738585072014e-308)) {
        d->axis[axis].scale = 1.0;
        d->flags &= ~kAxisScaleFlags[axis];
        return -1;
    }
    d->axis[axis].scale = x;
    d->flags |= kAxisScaleFlags[axis];
    return 1;
}

int AxisZero(const char* v, ParseState* state, int axis) {
    FS_DESC();
    d->axisScales = d->axis;
    double x;
    if (!ReadFinite(v, &x) || std::isnan(x)) {
        d->axis[axis].zero = 0.0;
        d->flags &= ~kAxisZeroFlags[axis];
        return -1;
    }
    d->axis[axis].zero = x;
    d->flags |= kAxisZeroFlags[axis];
    return 1;
}

int HScaleX(const char* v, ParseState* s) { return AxisScale(v, s, 0); }
int HScaleY(const char* v, ParseState* s) { return AxisScale(v, s, 1); }
int HScaleZ(const char* v, ParseState* s) { return AxisScale(v, s, 2); }
int HZeroX(const char* v, ParseState* s) { return AxisZero(v, s, 0); }
int HZeroY(const char* v, ParseState* s) { return AxisZero(v, s, 1); }
int HZeroZ(const char* v, ParseState* s) { return AxisZero(v, s, 2); }

int ValueKey(const char* v, ParseState* state, double ServiceDescription::*field) {
    FS_DESC();
    double x;
    if (!ReadFinite(v, &x) || std::isnan(x)) {
        d->*field = 0.0;
        return -1;
    }
    d->*field = x;
    return 1;
}

int HValueT(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueT); }
int HValueX(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueX); }
int HValueY(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueY); }
int HValueZ(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueZ); }
int HValueD(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueD); }
int HValueDX(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueDX); }
int HValueDY(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueDY); }
int HValueDZ(const char* v, ParseState* s) { return ValueKey(v, s, &ServiceDescription::valueDZ); }

// 0, 1, TRUE or FALSE (any case): 1 or 0; -1 for anything else.
int ReadFlagWord(const char* v) {
    const char* p = v;
    while (IsBlank(*p)) ++p;
    const char* end = p;
    while (*end && !IsBlank(*end) && *end != '\r' && *end != '\n') ++end;
    size_t n = static_cast<size_t>(end - p);
    if (n == 1 && (*p == '0' || *p == '1')) return *p - '0';
    if (n == 4 && EqualNoCase(p, "TRUE", 4)) return 1;
    if (n == 5 && EqualNoCase(p, "FALSE", 5)) return 0;
    return -1;
}

int HByteSwap(const char* v, ParseState* state) {
    FS_DESC();
    if (d->type & 0x01) return -1;
    // Packed samples are a bit stream, most significant bit first: they have no byte order,
    // and the "bits" line that gives them back states none.
    if (!(d->type & 0x50) && IsBitPacked(d->bits) && PackedElementType(d->bits) == (d->type & 0x2F)) return -1;
    int f = ReadFlagWord(v);
    if (f < 0) {
        d->type &= ~0x80u;
        d->flags &= ~kFlagByteOrder;
        return -1;
    }
    if (f)
        d->type |= 0x80;
    else
        d->type &= ~0x80u;
    d->flags |= kFlagByteOrder;
    return 1;
}

int HBitpix(const char* v, ParseState* state) {
    FS_DESC();
    if (!ApplyBitpix(d, ReadInt32(v))) {
        d->flags &= ~kFlagSampleSize;
        return -1;
    }
    d->flags |= kFlagSampleSize;
    return 1;
}

int HUnsigned(const char* v, ParseState* state) {
    FS_DESC();
    if (d->type & 0x50) return -1;
    int f = ReadFlagWord(v);
    if (f < 0) {
        d->type &= ~0x100u;
        d->flags &= ~kFlagSign;
        return -1;
    }
    if (f)
        d->type |= 0x100;
    else
        d->type &= ~0x100u;
    d->flags |= kFlagSign;
    return 1;
}

// BLANK: an integer (the stored value of missing samples); refused for real types.
int HBlank(const char* v, ParseState* state) {
    FS_DESC();
    const char* p = v;
    while (IsBlank(*p)) ++p;
    errno = 0;
    char* end = nullptr;
    const long long b = std::strtoll(p, &end, 10);
    while (end != nullptr && (IsBlank(*end) || *end == '\r' || *end == '\n')) ++end;
    if (end == p || errno != 0 || *end != '\0' || (d->type & 0x50)) {
        d->blank = 0;
        d->flags &= ~kFlagBlank;
        return -1;
    }
    d->blank = b;
    d->flags |= kFlagBlank;
    return 1;
}

// Why a DATATYPES word cannot be taken, or null. The written description states a type
// by its sample size, byte order and sign alone ("bits", "byteswap", "unsigned"): a word
// that says more, or says two sizes at once, would be read back as another type after
// the next rewrite, so it is refused here rather than changed there.
const char* DataTypesFault(long long t) {
    if (t < 0 || t > static_cast<long long>(UINT32_MAX)) return "not a type word";
    const uint32_t type = static_cast<uint32_t>(t);
    const uint32_t sizes = type & 0x7Fu;
    if (sizes == 0) return "no sample size";
    if ((sizes & (sizes - 1)) != 0) return "more than one sample size";
    if (type & ~0x1FFu) return "bits beyond the size, byte order and sign";
    return nullptr;
}

int HDataTypes(const char* v, ParseState* state) {
    FS_DESC();
    long long t = std::strtoll(v, nullptr, 10);
    uint32_t type = static_cast<uint32_t>(t);  // strtol's 32-bit word
    if (t == 0) {
        d->type = 0;
        d->bits = 0;
        d->flags &= ~(kFlagSampleSize | kFlagByteOrder | kFlagSign);
        return -1;
    }
    if (const char* fault = DataTypesFault(t)) {
        // The type stays as the lines before gave it.
        ParseStateLog(state, "$%u: DATATYPES=%lld refused: %s", state->line, t, fault);
        return -1;
    }
    d->type = type;
    NormaliseFsType(d);
    d->flags |= kFlagSampleSize | kFlagByteOrder | kFlagSign;
    return 1;
}

#undef FS_DESC

// ---- the tables -----------------------------------------------------------------------------

KeywordName nComment[] = {{"COMMENT", 0}, {nullptr, 0}};
KeywordName nChannels[] = {{"CHANNELS", 0}, {"NVALUE", 0}, {nullptr, 0}};
KeywordName nChannelOut[] = {{"NCHANNEL_OUT", 0}, {"NVALUE_OUT", 0}, {nullptr, 0}};
KeywordName nConvSpec[] = {{"CONVSPEC_FLAG", 0}, {"NVALUE_FLAG", 0}, {nullptr, 0}};
KeywordName nNaxis[] = {{"NAXIS", 0}, {nullptr, 0}};
KeywordName nFramesMax[] = {{"FRAMES_MAX", 0}, {nullptr, 0}};
KeywordName nFrames[] = {{"FRAMES", 0}, {nullptr, 0}};
KeywordName nSections[] = {{"SECTIONS", 0}, {nullptr, 0}};
KeywordName nFrameStep[] = {{"FRAMESTEP", 0}, {nullptr, 0}};
KeywordName nFps[] = {{"FPS", 0}, {nullptr, 0}};
KeywordName nSize[] = {{"SIZE", 0}, {"SIZEV", 0}, {"COUNT", 0}, {nullptr, 0}};
KeywordName nBegin[] = {{"BEGINPOS", 0}, {"BEGIN", 0}, {nullptr, 0}};
KeywordName nEnd[] = {{"ENDPOS", 0}, {"END", 0}, {nullptr, 0}};
KeywordName nSizeX[] = {{"SIZEX", 0}, {"NAXIS1", 0}, {nullptr, 0}};
KeywordName nSizeY[] = {{"SIZEY", 0}, {"NAXIS2", 0}, {nullptr, 0}};
KeywordName nSizeZ[] = {{"SIZEZ", 0}, {"NAXIS3", 0}, {nullptr, 0}};
KeywordName nCrop[] = {{"CropBoundBox", 0}, {"CropBBox", 0}, {nullptr, 0}};
KeywordName nMinMax[] = {{"MINMAX", 0}, {nullptr, 0}};
KeywordName nSplit[] = {{"SPLIT", 0}, {nullptr, 0}};
KeywordName nSeparator[] = {{"SEPARATOR", 0}, {nullptr, 0}};
KeywordName nError[] = {{"ERROR", 0}, {"ERR", 0}, {nullptr, 0}};
KeywordName nScale[] = {{"BSCALE", 0}, {"BSCALEV", 0}, {nullptr, 0}};
KeywordName nScaleX[] = {{"BSCALEX", 0}, {"BSCALENAXIZ1", 0}, {nullptr, 0}};
KeywordName nScaleY[] = {{"BSCALEY", 0}, {"BSCALENAXIZ2", 0}, {nullptr, 0}};
KeywordName nScaleZ[] = {{"BSCALEZ", 0}, {"BSCALENAXIZ3", 0}, {nullptr, 0}};
KeywordName nZero[] = {{"BZERO", 0}, {"BZEROV", 0}, {nullptr, 0}};
KeywordName nZeroX[] = {{"BZEROX", 0}, {"BZERONAXIZ1", 0}, {nullptr, 0}};
KeywordName nZeroY[] = {{"BZEROY", 0}, {"BZERONAXIZ2", 0}, {nullptr, 0}};
KeywordName nZeroZ[] = {{"BZEROZ", 0}, {"BZERONAXIZ3", 0}, {nullptr, 0}};
KeywordName nValueT[] = {{"VALUET", 0}, {"VALUEV", 0}, {nullptr, 0}};
KeywordName nValueX[] = {{"VALUEX", 0}, {"VALUENAXIZ1", 0}, {nullptr, 0}};
KeywordName nValueY[] = {{"VALUEY", 0}, {"VALUENAXIZ2", 0}, {nullptr, 0}};
KeywordName nValueZ[] = {{"VALUEZ", 0}, {"VALUENAXIZ3", 0}, {nullptr, 0}};
KeywordName nValueD[] = {{"VALUED", 0}, {"VALUEDV", 0}, {nullptr, 0}};
KeywordName nValueDX[] = {{"VALUEDX", 0}, {"VALUEDNAXIZ1", 0}, {nullptr, 0}};
KeywordName nValueDY[] = {{"VALUEDY", 0}, {"VALUEDNAXIZ2", 0}, {nullptr, 0}};
KeywordName nValueDZ[] = {{"VALUEDZ", 0}, {"VALUEDNAXIZ3", 0}, {nullptr, 0}};
KeywordName nByteSwap[] = {{"BYTESWAP", 0}, {"BSWAP", 0}, {nullptr, 0}};
KeywordName nBitpix[] = {{"BITPIX", 0}, {"BITS", 0}, {nullptr, 0}};
KeywordName nUnsigned[] = {{"UNSIG", 0}, {"UNSIGN", 0}, {"UNSIGNED", 0}, {nullptr, 0}};
KeywordName nDataTypes[] = {{"DATATYPES", 0}, {"TYPES", 0}, {nullptr, 0}};
KeywordName nBlank[] = {{"BLANK", 0}, {nullptr, 0}};

KeywordDescriptor kComment{nComment, &HIgnore};
KeywordDescriptor kChannels{nChannels, &HChannels};
KeywordDescriptor kChannelOutKey{nChannelOut, &HChannelOut};
KeywordDescriptor kConvSpec{nConvSpec, &HConvSpec};
KeywordDescriptor kNaxis{nNaxis, &HNaxis};
KeywordDescriptor kFramesMax{nFramesMax, &HFramesMax};
KeywordDescriptor kFrames{nFrames, &HFrames};
KeywordDescriptor kSections{nSections, &HSections};
KeywordDescriptor kFrameStep{nFrameStep, &HFrameStep};
KeywordDescriptor kFps{nFps, &HFps};
KeywordDescriptor kSizeKey{nSize, &HSize};
KeywordDescriptor kBegin{nBegin, &HBegin};
KeywordDescriptor kEnd{nEnd, &HEnd};
KeywordDescriptor kSizeXKey{nSizeX, &HSizeX};
KeywordDescriptor kSizeYKey{nSizeY, &HSizeY};
KeywordDescriptor kSizeZKey{nSizeZ, &HSizeZ};
KeywordDescriptor kCrop{nCrop, &HCropBox};
KeywordDescriptor kMinMax{nMinMax, &HMinMax};
KeywordDescriptor kSplit{nSplit, &HSplit};
KeywordDescriptor kSeparator{nSeparator, &HSeparator};
KeywordDescriptor kError{nError, &HError};
KeywordDescriptor kScaleKey{nScale, &HScale};
KeywordDescriptor kScaleXKey{nScaleX, &HScaleX};
KeywordDescriptor kScaleYKey{nScaleY, &HScaleY};
KeywordDescriptor kScaleZKey{nScaleZ, &HScaleZ};
KeywordDescriptor kZeroKey{nZero, &HZero};
KeywordDescriptor kZeroXKey{nZeroX, &HZeroX};
KeywordDescriptor kZeroYKey{nZeroY, &HZeroY};
KeywordDescriptor kZeroZKey{nZeroZ, &HZeroZ};
KeywordDescriptor kValueT{nValueT, &HValueT};
KeywordDescriptor kValueX{nValueX, &HValueX};
KeywordDescriptor kValueY{nValueY, &HValueY};
KeywordDescriptor kValueZ{nValueZ, &HValueZ};
KeywordDescriptor kValueD{nValueD, &HValueD};
KeywordDescriptor kValueDX{nValueDX, &HValueDX};
KeywordDescriptor kValueDY{nValueDY, &HValueDY};
KeywordDescriptor kValueDZ{nValueDZ, &HValueDZ};
KeywordDescriptor kByteSwap{nByteSwap, &HByteSwap};
KeywordDescriptor kBitpix{nBitpix, &HBitpix};
KeywordDescriptor kUnsigned{nUnsigned, &HUnsigned};
KeywordDescriptor kDataTypes{nDataTypes, &HDataTypes};
KeywordDescriptor kBlankKey{nBlank, &HBlank};

KeywordDescriptor* const kFullKeys[] = {
    &kComment,  &kChannels,  &kChannelOutKey, &kConvSpec,  &kNaxis,    &kFramesMax, &kFrames,
    &kSections, &kFrameStep, &kFps,           &kSizeKey,   &kBegin,    &kEnd,       &kSizeXKey,
    &kSizeYKey, &kSizeZKey,  &kCrop,          &kMinMax,    &kSplit,    &kSeparator, &kError,
    &kScaleKey, &kScaleXKey, &kScaleYKey,     &kScaleZKey, &kZeroKey,  &kZeroXKey,  &kZeroYKey,
    &kZeroZKey, &kValueT,    &kValueX,        &kValueY,    &kValueZ,   &kValueD,    &kValueDX,
    &kValueDY,  &kValueDZ,   &kByteSwap,      &kBitpix,    &kUnsigned, &kDataTypes, &kBlankKey,
    nullptr,
};
static_assert(sizeof(kFullKeys) / sizeof(kFullKeys[0]) == 43, "42 keys");

KeywordDescriptor* const kTableKeys[] = {
    &kComment, &kFramesMax, &kFrames,  &kSections, &kSizeKey, &kBegin,   &kEnd,     &kSizeXKey,
    &kSizeYKey, &kSizeZKey, &kCrop,    &kSplit,    &kSeparator, &kError, &kValueT,  &kValueX,
    &kValueY,  &kValueZ,    &kValueD,  &kValueDX,  &kValueDY, &kValueDZ, &kByteSwap, nullptr,
};
static_assert(sizeof(kTableKeys) / sizeof(kTableKeys[0]) == 24, "23 keys");

KeywordDescriptor* const kShortKeys[] = {
    &kComment, &kSplit,   &kSeparator, &kError,   &kValueT,   &kValueX,   &kValueY,
    &kValueZ,  &kValueD,  &kValueDX,   &kValueDY, &kValueDZ,  &kByteSwap, nullptr,
};
static_assert(sizeof(kShortKeys) / sizeof(kShortKeys[0]) == 14, "13 keys");

// Built on first use, so that no other static object depends on the order of initialisation.
KeywordTable& FullTable() {
    static KeywordTable table(kFullKeys);
    return table;
}
KeywordTable& TextTable() {
    static KeywordTable table(kTableKeys);
    return table;
}
KeywordTable& ShortTable() {
    static KeywordTable table(kShortKeys);
    return table;
}

}  // namespace

bool FsKeywordTablesReady() {
    return FullTable().Prepared() && TextTable().Prepared() && ShortTable().Prepared();
}

bool SelectFsKeywordTable(ParseState* state, FsKeyTarget* target, int kind) {
    if (state == nullptr || target == nullptr) return false;
    KeywordTable& table = kind == 1 ? FullTable() : (kind == 2 ? TextTable() : ShortTable());
    if (!table.Prepared()) return false;
    state->table = &table;
    state->context = target;
    return true;
}

bool SelectFsKeywordTableFull(ParseState* state, FsKeyTarget* target) {
    return SelectFsKeywordTable(state, target, 1);
}

int DispatchFsKey(ParseState* state) {
    if (state == nullptr || state->key == nullptr) return 0;
    if (state->keyLength == 4 && EqualNoCase(state->key, "COBJ", 4)) {
        ServiceDescription* d = DescOf(state);
        if (d == nullptr) return -1;
        const char* p = state->value;
        if (p == nullptr) {
            p = state->key + state->keyLength;
            while (IsBlank(*p)) ++p;
            if (*p != '=') return -1;
            ++p;
        }
        while (IsBlank(*p)) ++p;
        size_t n = std::strlen(p);
        while (n > 0 && (IsBlank(p[n - 1]) || p[n - 1] == '\r' || p[n - 1] == '\n')) --n;
        if (n == 0 || n > 8) return -1;
        char text[9] = {};
        std::memcpy(text, p, n);
        d->formatTag = MakeFormatTag(text);
        d->active = 1;
        if (state->accepted) *state->accepted = 1;
        return 1;
    }
    return DispatchKeyValue(state);
}

// ---- normalising ---------------------------------------------------------------------------

void NormaliseFsSizes(ServiceDescription* d) {
    int64_t* size[3] = {&d->sizeX, &d->sizeY, &d->sizeZ};
    const uint64_t flag[3] = {kFlagSizeX, kFlagSizeY, kFlagSizeZ};
    if (d->valueCount != 0) {
        for (int i = 0; i < 3; ++i) {
            *size[i] = 1;
            d->flags |= flag[i];
        }
        if (d->naxis < 1 || d->naxis > 3) {
            d->naxis = d->naxis > 3 ? 3 : 1;
            d->flags &= ~kFlagAxes;
        }
        return;
    }
    for (int i = 0; i < 3; ++i) {
        if (*size[i] <= 0) {
            *size[i] = 1;
            d->flags &= ~flag[i];
        }
    }
    if (d->naxis > 3) {
        d->naxis = 3;
        d->flags &= ~kFlagAxes;
    }
    if (d->naxis == 1) {
        for (int i = 1; i < 3; ++i) {
            if (*size[i] != 1) d->flags &= ~flag[i];
            *size[i] = 1;
        }
    } else if (d->naxis == 2) {
        if (d->sizeZ != 1) d->flags &= ~kFlagSizeZ;
        d->sizeZ = 1;
    } else if (d->naxis <= 0) {
        if (d->sizeZ >= 2 || (d->flags & kFlagSizeZ))
            d->naxis = 3;
        else if (d->sizeY >= 2 || (d->flags & kFlagSizeY))
            d->naxis = 2;
        else
            d->naxis = 1;
        d->flags |= kFlagAxes;
        if (d->naxis == 1 && d->sizeX == 1 && !(d->flags & kFlagSizeX)) d->flags &= ~kFlagAxes;
    }
}

namespace {

void PullChannelOut(ServiceDescription* d) {
    if (d->nchannelOut > d->channels || d->nchannelOut == 0) {
        d->nchannelOut = d->nchannelOut == 0 ? 1 : d->channels;
        d->flags &= ~kFlagChannelOut;
    }
}

}  // namespace

void NormaliseFsCounts(ServiceDescription* d) {
    if (d->channels >= 1 && d->channels <= kMaxChannels) {
        PullChannelOut(d);
    } else if (d->channels > kMaxChannels) {
        d->channels = kMaxChannels;
        if (d->nchannelOut > kMaxChannels) {
            d->nchannelOut = kMaxChannels;
            d->flags &= ~(kFlagChannelOut | kFlagChannels);
        } else if (d->nchannelOut == 0) {
            // As within the range: no channel chosen is the first, which is what the
            // written "Channels=" line gives on the next read.
            d->nchannelOut = 1;
            d->flags &= ~kFlagChannelOut;
        }
    } else {
        d->channels = 1;
        if (d->nchannelOut != 1) d->nchannelOut = 1;
        d->flags &= ~(kFlagChannelOut | kFlagChannels);
    }
    if (d->frames > 0x7FFFFFFFu) d->frames = 0x7FFFFFFFu;
    if (d->framesMax > 0x7FFFFFFFu) d->framesMax = 0x7FFFFFFFu;
    if (d->framesMax == 0) {
        if (d->frames != 0) {
            d->framesMax = d->frames;
        } else {
            d->framesMax = 1;
            d->flags &= ~kFlagFrames;
        }
    }
    if (d->frames == 0) d->frames = d->framesMax;
    if (d->frames > d->framesMax) d->frames = d->framesMax;
    if (std::isnan(d->fps) || d->fps < kFpsMin) d->fps = 0.0;
    if (d->fps > kFpsMax) d->fps = kFpsMax;
}

// ---- validation and fitting ----------------------------------------------------------------

namespace {

constexpr int64_t kMaxSize32 = 0x7FFFFFFF;

int64_t Cap32(uint64_t v) { return v > static_cast<uint64_t>(kMaxSize32) ? kMaxSize32 : static_cast<int64_t>(v); }

// Whole rows of `width` pixels of `channels` samples of `bits` bits in `length` bytes.
// Samples of whole bytes give length / row bytes; packed samples have no padding
// between rows, so their rows are counted in bits.
uint64_t RowsIn(uint64_t length, int64_t width, uint32_t channels, uint32_t bits) {
    if (width <= 0 || channels == 0 || bits == 0) return 0;
    const unsigned __int128 rowBits =
        static_cast<unsigned __int128>(static_cast<uint64_t>(width)) * channels * bits;
    return static_cast<uint64_t>(static_cast<unsigned __int128>(length) * 8 / rowBits);
}

uint64_t CheckedProduct(int64_t a, int64_t b) {
    uint64_t p;
    if (a <= 0 || b <= 0) return 0;
    if (__builtin_mul_overflow(static_cast<uint64_t>(a), static_cast<uint64_t>(b), &p)) return UINT64_MAX;
    return p;
}

// Pixels that `length` bytes hold.
uint64_t PixelsOf(int64_t length, uint32_t channels, uint32_t bits) {
    return length > 0 ? RowsIn(static_cast<uint64_t>(length), 1, channels, bits) : 0;
}

}  // namespace

bool CorrectFsReadData(ServiceDescription* d, int64_t length) {
    if (d == nullptr) return false;
    if (length <= 0) return true;
    const int64_t oldW = d->sizeX, oldH = d->sizeY, oldZ = d->sizeZ;
    const uint32_t oldChannels = d->channels, oldFramesMax = d->framesMax, oldFrames = d->frames;
    uint32_t channels = d->channels ? d->channels : 1;
    const uint64_t L = static_cast<uint64_t>(length);

    uint64_t rows = RowsIn(L, d->sizeX, channels, d->bits);
    const uint64_t frameRows = CheckedProduct(d->sizeY, d->sizeZ);
    if (rows < frameRows) {
        bool fits = !(rows == 0 && (channels == 1 || d->mode >= 3));
        while (fits && rows < frameRows && channels > 1) {
            --channels;
            rows = RowsIn(L, d->sizeX, channels, d->bits);
        }
        if (!fits || rows == 0) {
            LogPrintf("correct fs read data: %I64d bytes of data hold no row of W=%I64d (Channels=%u, bits=%u)",
                      length, d->sizeX, d->channels ? d->channels : 1u, d->bits);
            return false;
        }
    }
    uint64_t rowsPerSection = rows;
    if (d->sections > 1) {
        rowsPerSection = rows / d->sections;
        if (rowsPerSection == 0) {
            d->sections = 1;
            rowsPerSection = rows;
        }
    }
    int64_t w = d->sizeX, h = d->sizeY, z = d->sizeZ;
    uint32_t framesMax = d->framesMax;
    if (rowsPerSection < frameRows) {
        framesMax = 1;
        const uint64_t pixels = PixelsOf(length, channels, d->bits);
        if (d->naxis == 1) {
            w = Cap32(rows);
            h = z = 1;
        } else if ((d->naxis == 3 || d->naxis == 0) && (d->flags & kFlagSizeZ)) {
            uint64_t side = IntegerCubeRoot(pixels);
            if (side == 0) {
                w = Cap32(rows);
                h = z = 1;
            } else {
                w = h = z = Cap32(side);
            }
        } else {
            z = 1;
            if (d->flags & kFlagSizeX) {
                h = Cap32(rows);
            } else if (d->flags & kFlagSizeY) {
                uint64_t sampleBytes = d->bits >= 16 ? d->bits / 8 : 1;
                uint64_t perRow = CheckedProduct(h, static_cast<int64_t>(sampleBytes * channels));
                uint64_t width = perRow ? L / perRow : 0;
                if (width == 0) {
                    w = Cap32(rows);
                    h = 1;
                } else {
                    w = Cap32(width);
                }
            } else {
                uint64_t side = IntegerSquareRoot(pixels);
                if (side == 0) {
                    w = Cap32(rows);
                    h = 1;
                } else {
                    w = h = Cap32(side);
                }
            }
        }
    } else if (d->flags & kFlagSizeX) {
        uint64_t fit = frameRows ? rowsPerSection / frameRows : 0;
        if (fit < framesMax) framesMax = static_cast<uint32_t>(Cap32(fit));
    } else {
        uint64_t p = rowsPerSection;
        if (d->flags & kFlagFrames) {
            uint64_t q = framesMax ? p / framesMax : p;
            if (q == 0) {
                framesMax = 1;
                d->flags &= ~kFlagFrames;
            } else {
                p = q;
            }
        }
        if (!(d->flags & kFlagSizeY)) {
            w = Cap32(p);
            h = z = 1;
        } else if (!(d->flags & kFlagSizeZ)) {
            w = h = Cap32(IntegerSquareRoot(p));
            z = 1;
        } else {
            w = h = z = Cap32(IntegerCubeRoot(p));
        }
        if (w == 0) w = 1;
        if (h == 0) h = 1;
        if (z == 0) z = 1;
    }

    std::string changes;
    auto note = [&](const char* format, int64_t before, int64_t after) {
        changes += ' ';
        changes += FormatString(format, before, after);
    };
    if (w != oldW) {
        note("W=%I64d, new W=%I64d", oldW, w);
        d->sizeX = w;
        d->flags |= kFlagSizeX;
    }
    if (h != oldH) {
        note("H=%I64d, new H=%I64d", oldH, h);
        d->sizeY = h;
        d->flags |= kFlagSizeY;
    }
    if (z != oldZ) {
        note("Z=%I64d, new Z=%I64d", oldZ, z);
        d->sizeZ = z;
        d->flags |= kFlagSizeZ;
    }
    if (channels != oldChannels) {
        note("Channels=%I64d, new Channels=%I64d", oldChannels, channels);
        d->channels = ClampChannels(channels);
        PullChannelOut(d);
        if (d->nchannelOut > d->channels) d->nchannelOut = d->channels;
        d->flags &= ~kFlagChannelOut;
        d->flags |= kFlagChannels;
    }
    if (framesMax != oldFramesMax) {
        note("FramesMax=%I64d, new FramesMax=%I64d", oldFramesMax, framesMax);
        d->framesMax = framesMax;
        d->flags |= kFlagFrames;
    }
    if (d->frames > d->framesMax) d->frames = d->framesMax;
    if (d->frames != oldFrames) note("Frames=%I64d, new Frames=%I64d", oldFrames, d->frames);
    if (!changes.empty()) LogPrintf("correct fs read data:%s", changes.c_str());
    return true;
}

bool CorrectFsValueList(ServiceDescription* d, int64_t length) {
    if (d == nullptr) return false;
    if (length <= 0) return true;
    const uint32_t oldChannels = d->channels, oldFramesMax = d->framesMax;
    uint64_t pixels = PixelsOf(length, d->channels, d->bits);
    if (pixels == 0) {
        if (d->channels > 1 && !(d->flags & kFlagChannels) && d->mode < 3) {
            d->channels = 1;
            pixels = PixelsOf(length, 1, d->bits);
        }
        if (pixels == 0) {
            d->size = 0;
            return false;
        }
    }
    if (pixels < d->size || d->size == 0) d->size = pixels;
    if (pixels < d->valueCount) d->valueCount = pixels;
    if (d->sections > 1) {
        uint64_t q = d->valueCount / d->sections;
        if (q == 0) {
            d->sections = 1;
        } else if (q < d->framesMax) {
            d->framesMax = static_cast<uint32_t>(Cap32(q));
        }
    }
    if (d->channels != oldChannels) {
        d->channels = ClampChannels(d->channels);
        PullChannelOut(d);
        d->flags &= ~(kFlagChannels | kFlagChannelOut);
    }
    if (d->framesMax != oldFramesMax) d->flags &= ~kFlagFrames;
    if (d->frames > d->framesMax) d->frames = d->framesMax;
    return true;
}

bool ValidateServiceDescription(ServiceDescription* d, int64_t length) {
    if (d == nullptr) return false;
    if (!d->active) {
        if (d->flags == 0) return true;
        d->active = 1;
    }
    if (std::isnan(d->min) || std::isnan(d->max) || d->max < d->min) {
        d->max = d->min;
        d->flags &= ~kFlagValueRange;
    }
    NormaliseFsSizes(d);
    NormaliseFsCounts(d);
    const uint32_t typeBits = SampleBytes(d->type) * 8;
    if (d->flags & kFlagSampleSize) {
        if (d->bits > typeBits || d->bits == 0) {
            // A stated type without bits takes them from its size, like one without the flag.
            if (d->bits > typeBits) d->flags &= ~kFlagSampleSize;
            d->bits = typeBits;
        }
    } else if (typeBits != 0) {
        d->bits = typeBits;
    } else if (d->bits != 0) {
        int32_t bitpix = static_cast<int32_t>(d->bits);
        if (!ApplyBitpix(d, bitpix)) d->bits = 0;
    }
    if (d->bits == 0) {
        if (d->mode >= 3) {
            d->active = 0;
            return false;
        }
        d->type = (d->type & ~0x7Fu) | 0x02;
        d->channels = ClampChannels(d->channels);
        NormaliseFsType(d);
        d->bits = 16;
        d->flags &= ~kFlagSampleSize;
    }
    return d->valueCount == 0 ? CorrectFsReadData(d, length) : CorrectFsValueList(d, length);
}

bool FsAfterLoadChecks(ServiceDescription* d, int64_t length) {
    if (d == nullptr) return false;
    NormaliseFsSizes(d);
    // A NAXIS the file did not state is derived again once the environment gave sizes.
    const bool naxisGiven = (d->flags & kFlagAxes) != 0;
    const int32_t naxis = naxisGiven ? d->naxis : 0;
    bool changed = false;
    struct {
        const char* name;
        int64_t* size;
        uint64_t flag;
        bool allowed;
    } env[3] = {
        {"SIZX", &d->sizeX, kFlagSizeX, true},
        {"SIZY", &d->sizeY, kFlagSizeY, naxis == 0 || naxis >= 2},
        {"SIZZ", &d->sizeZ, kFlagSizeZ, naxis == 0 || naxis == 3},
    };
    for (auto& e : env) {
        if (!e.allowed || (d->flags & e.flag)) continue;
        const char* text = std::getenv(e.name);
        if (text == nullptr) continue;
        int32_t v = ReadInt32(text);
        if (v > 0) {
            *e.size = v;
            d->flags |= e.flag;
            d->active = 1;
        } else {
            *e.size = 0;
        }
        changed = true;
    }
    if (changed && !naxisGiven) d->naxis = 0;
    ValidateServiceDescription(d, length);
    return d->active || d->flags != 0;
}

bool MergeLayoutIntoDescription(ServiceDescription* d, const FileLayout* l, int64_t length) {
    if (d == nullptr) return false;
    d->active = 1;
    if (l != nullptr && l->flags != 0) {
        if (!(d->flags & kFlagSampleSize)) {
            d->type = l->type;
            d->bits = l->bits;
            if (!(d->flags & kFlagChannels)) d->channels = l->channels;
            d->flags = (d->flags & ~kFlagSampleSize) | (l->flags & kFlagSampleSize);
        }
        if (!(d->type & (kTypeImage | kTypeVector))) d->type |= l->type & kTypeKindBits;
        if (!(d->flags & kFlagChannels)) {
            d->channels = ClampChannels(l->channels);
            PullChannelOut(d);
            d->flags = (d->flags & ~kFlagChannels) | (l->flags & kFlagChannels);
        }
        if (!(d->flags & kFlagFrames)) {
            d->framesMax = l->frames;
            d->flags = (d->flags & ~kFlagFrames) | (l->flags & kFlagFrames);
        }
        // The width and height the header found, where the description has none of its
        // own: the fitting below then checks the picture the file really holds, and never
        // turns a header's image into a line for want of sizes in the description. (A
        // header's depth stays the layout's to fold into frames or channels.)
        const int64_t sizes[2] = {l->sizeX, l->sizeY};
        int64_t* own[2] = {&d->sizeX, &d->sizeY};
        const uint64_t sizeFlag[2] = {kFlagSizeX, kFlagSizeY};
        for (int i = 0; i < 2; ++i) {
            if ((d->flags & sizeFlag[i]) || sizes[i] <= 0) continue;
            *own[i] = sizes[i];
            d->flags |= sizeFlag[i];
        }
        if (d->framesMax == 0) d->framesMax = d->frames;
        if (d->frames == 0 || d->frames > d->framesMax) d->frames = d->framesMax;
    }
    return ValidateServiceDescription(d, length);
}

bool FillLayoutDescription(ServiceDescription* d, FileLayout* l, int64_t length) {
    return MergeLayoutIntoDescription(d, l, length);
}

// ---- range arithmetic ----------------------------------------------------------------------

namespace {

bool IsUnset(double v) { return IsUnsetValue(v); }

double SaturatedProduct(double v, double factor) {
    MulSaturate(&v, factor, 1.0);
    return v;
}

void SwapReversed(double* range, size_t count) {
    if (count >= 2 && !IsUnset(range[0]) && !IsUnset(range[1]) && range[0] > range[1])
        std::swap(range[0], range[1]);
}

}  // namespace

void ScaleRange(double* range, size_t count, double factor) {
    if (range == nullptr) return;
    if (factor == 0.0 || std::isnan(factor)) {
        for (size_t i = 0; i < count; ++i) range[i] = 0.0;
        return;
    }
    for (size_t i = 0; i < count; ++i) {
        if (!IsUnset(range[i])) range[i] = SaturatedProduct(range[i], factor);
    }
    SwapReversed(range, count);
}

void TransformRange(double* range, size_t count, double scale, double zero) {
    if (range == nullptr) return;
    for (size_t i = 0; i < count; ++i) {
        if (IsUnset(range[i])) continue;
        ScaleOffsetSaturate(&range[i], scale, zero);
    }
    SwapReversed(range, count);
}

// ---- describing a data set ------------------------------------------------------------------

void DescribeDataSet(ServiceDescription* d, const DataSetInfo& info, uint32_t maxFrames,
                     const SectionStatistics* stats) {
    if (d == nullptr) return;
    d->active = 1;
    d->cropX = info.cropX;
    d->cropY = info.cropY;
    d->cropZ = info.cropZ;
    d->cropSizeX = info.cropSizeX;
    d->cropSizeY = info.cropSizeY;
    d->cropSizeZ = info.cropSizeZ;
    d->sizeX = info.sizeX;
    d->sizeY = info.sizeY;
    d->sizeZ = info.sizeZ;
    if (d->positionsValid) {
        d->beginPos = info.dataBegin;
        d->endPos = info.dataEnd;
        d->flags |= kFlagBeginPos | kFlagEndPos;
    }
    d->flags |= info.flags & 0x19000F00u;
    d->type = info.input.type;
    d->bits = info.input.bits;
    d->flags |= kFlagSampleSize;
    d->flags &= ~kFlagBlank;
    if (info.hasBlank) {
        d->blank = info.blank;
        d->flags |= kFlagBlank;
    }
    d->channels = ClampChannels(info.input.channels);
    d->convSpec = info.channelMode;
    d->nchannelOut = info.selectedChannel;
    PullChannelOut(d);
    if (info.input.channels != 0) d->flags |= kFlagChannels;
    const uint32_t frames = info.TotalFrames();
    // FRAMES is the frames in use, FRAMES_MAX all the file holds: a description that
    // gives fewer frames to use keeps saying so.
    d->frames = info.framesToUse >= 1 && info.framesToUse < frames ? info.framesToUse : frames;
    d->framesMax = frames > maxFrames ? frames : maxFrames;
    d->flags |= kFlagFrames;
    d->frameStep = info.frameStep;
    d->sections = info.sections;
    d->flags |= kFlagSections;
    const double fps = info.frameRate;
    d->fps = (std::isnan(fps) || fps < kFpsMin) ? 0.0 : (fps > kFpsMax ? kFpsMax : fps);

    const double scale = info.scale, zero = info.zero;
    d->min = d->max = 0.0;
    d->flags &= ~kFlagValueRange;
    if (frames == 1 && info.input.channels <= 1 && stats != nullptr && stats->valid) {
        double mean = stats->mean, spread = stats->deviation;
        if (!IsUnsetValue(mean) && !IsUnsetValue(spread)) {
            // The mean moves with scale and zero; a spread only with the scale's magnitude.
            double m[1] = {mean};
            TransformRange(m, 1, scale, 0.0);
            double s[1] = {spread};
            ScaleRange(s, 1, std::fabs(scale));
            double lo = m[0] + zero - 2.0 * s[0];
            double hi = m[0] + zero + 4.0 * s[0];
            if (std::isfinite(lo) && std::isfinite(hi)) {
                d->min = lo;
                d->max = hi;
                d->flags |= kFlagValueRange;
            }
        }
    }
    d->scale = std::fabs(scale) < 2.2250738585072014e-308 ? 0.0
               : std::fabs(scale - 1.0) < 2.220446049250313e-16 ? 1.0
                                                                 : scale;
    d->zero = (zero > -1e-307 && zero < 1e-307) ? 0.0 : zero;
}

void PrepareRewrite(ServiceDescription* d, const DataSetInfo& info) {
    if (d == nullptr) return;
    if (!(d->flags & kFlagFrames)) {
        d->frames = d->framesMax = 0;
        return;
    }
    const uint32_t frames = info.TotalFrames();
    if (d->framesMax < frames) d->framesMax = frames;
    if (d->frames == 0 || d->frames > d->framesMax) d->frames = d->framesMax;
}

// ---- writing the keys ------------------------------------------------------------------------

namespace {

struct KeyWriter {
    FILE* stream;
    char prefix;
    bool ok = true;
    void Line(const char* format, ...) {
        va_list args;
        va_start(args, format);
        std::string text = VFormatString(format, args);
        va_end(args);
        if (prefix != '\0') text.insert(text.begin(), prefix);
        if (std::fwrite(text.data(), 1, text.size(), stream) != text.size()) ok = false;
    }
};

// The tag's bytes up to the first zero; empty when one of them is a control character.
std::string TagText(const FormatTag& tag) {
    char bytes[8];
    std::memcpy(bytes, tag.w, 8);
    std::string text;
    for (char c : bytes) {
        if (c == '\0') break;
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 && c != '\t' && c != '\n' && c != '\r') return std::string();
        text += c;
    }
    return text;
}

}  // namespace

int WriteFsKeys(const ServiceDescription* d, FILE* stream, char prefix) {
    if (d == nullptr || stream == nullptr) return -1;
    KeyWriter w{stream, prefix};
    if (d->sizeX > 0) w.Line("SIZEX=%I64d\n", d->sizeX);
    if (d->sizeY > 0) w.Line("SIZEY=%I64d\n", d->sizeY);
    if (d->sizeZ >= 2) w.Line("SIZEZ=%I64d\n", d->sizeZ);
    if (d->positionsValid && d->beginPos != 0 && d->beginPos < d->fileLength)
        w.Line("BeginPos=%I64d\n", d->beginPos);
    if (d->positionsValid && d->endPos != 0 && d->endPos < d->fileLength && d->endPos > d->beginPos)
        w.Line("EndPos=%I64d\n", d->endPos);
    const int64_t off[3] = {d->cropX, d->cropY, d->cropZ};
    const int64_t len[3] = {d->cropSizeX, d->cropSizeY, d->cropSizeZ};
    const int64_t axis[3] = {d->sizeX, d->sizeY, d->sizeZ};
    bool part[3];
    for (int i = 0; i < 3; ++i) part[i] = off[i] > 0 || (len[i] > 0 && len[i] < axis[i]);
    if (part[0] || part[1] || part[2]) {
        std::string text = FormatString("CropBoundBox=%I64d, %I64d", off[0], len[0]);
        if (part[1] || part[2]) text += FormatString(", %I64d, %I64d", off[1], len[1]);
        if (part[2]) text += FormatString(", %I64d, %I64d", off[2], len[2]);
        w.Line("%s\n", text.c_str());
    }
    // Reals that must survive the round trip are written with 17 significant digits.
    if ((d->flags & kFlagValueRange) && d->min < d->max) w.Line("MinMax=%.17g, %.17g\n", d->min, d->max);
    if (d->scale != 1.0) w.Line("bscale=%.17g\n", d->scale);
    if (d->zero != 0.0) w.Line("bzero=%.17g\n", d->zero);
    if (!(d->type & 0x01)) w.Line("byteswap=%d\n", (d->type & 0x80) ? 1 : 0);
    // The container's size is written whenever the type has one: BITPIX knows only those.
    // Packed integers are the exception: their own count reads back as packed samples of
    // that container, the container's size as whole samples of it.
    uint32_t bytes = SampleBytes(d->type);
    const bool packed = !(d->type & 0x50) && IsBitPacked(d->bits) && PackedElementType(d->bits) == (d->type & 0x2F);
    int bits = packed ? static_cast<int>(d->bits) : bytes ? static_cast<int>(bytes * 8) : static_cast<int>(d->bits);
    if (bits != 0) {
        w.Line("bits=%d\n", (d->type & 0x50) ? -bits : bits);
        if (d->type & 0x2F) w.Line("unsigned=%d\n", (d->type & 0x100) ? 1 : 0);
    }
    if ((d->flags & kFlagBlank) && !(d->type & 0x50)) w.Line("Blank=%I64d\n", d->blank);
    char kind[32];
    if (DataKindText(d->type, kind) > 0) w.Line("src=%s\n", kind);
    std::string tag = TagText(d->formatTag);
    if (!tag.empty()) w.Line("CObj=%s\n", tag.c_str());
    if (d->channels != 0) w.Line("Channels=%u\n", d->channels);
    if (d->channels > 1 && d->nchannelOut >= 1 && d->nchannelOut <= d->channels)
        w.Line("NChannel_Out=%u\n", d->nchannelOut);
    if (d->channels > 1) w.Line("ConvSpec_Flag=%d\n", d->convSpec);
    if (d->framesMax != 0) w.Line("Frames_Max=%u\n", d->framesMax);
    if (d->frames < d->framesMax) w.Line("Frames=%u\n", d->frames);
    if (d->sections > 1) w.Line("Sections=%u\n", d->sections);
    if (d->frameStep != 0) w.Line("FrameStep=%d\n", d->frameStep);
    if (d->fps >= kFpsMin) w.Line("fps=%.17g\n", d->fps);
    return w.ok ? 1 : -1;
}

// ---- the ".fs" file --------------------------------------------------------------------------

namespace {

class FsFile : public KeywordFile {
public:
    explicit FsFile(ServiceDescription* d) {
        target_.description = d;
        Parse().context = &target_;
        // Each data file has a block of its own: one broken elsewhere leaves ours readable.
        SetReadsClosedBlockOfUnbalanced(true);
    }
    bool HasData() override { return DispatchFsKey(&Parse()) > 0; }
    bool WriteBody(char lead) override {
        if (WriteFsKeys(target_.description, Output(), lead) < 0) {
            SetState(-5);
            return false;
        }
        return true;
    }
    // The path of the ".fs" file and the block's URL for a data file.
    bool Target(const char* dataPath, const char* sectionSource) {
        char fsPath[kPathMax];
        std::string userPath;
        if (dataPath == nullptr) {
            const std::string& folder = TheApp().UserFolder();
            if (folder.empty()) return false;
            userPath = folder + "orva.cfg";
            if (userPath.size() >= kPathMax) return false;
            dataPath = userPath.c_str();
        }
        if (!SetSectionId(&kInputId, 0)) return false;
        if (dataPath[0] == '<') {
            // A tagged source name: its data file's ".fs" path and the block's URL.
            std::string url, path;
            bool hasUrl = false;
            if (!SplitSourceName(dataPath, &url, &hasUrl, &path) || path.empty() || !hasUrl) return false;
            if (sectionSource != nullptr && *sectionSource != '\0') url = sectionSource;
            return SetSectionName(url.c_str(), 0) && SetPath(path.c_str(), 0);
        }
        if (!PathReplaceExtension(fsPath, dataPath, ".fs")) return false;
        if (sectionSource != nullptr && *sectionSource != '\0') {
            if (!SetSectionName(sectionSource, 0)) return false;
        } else if (!SetSectionNameFromPath(dataPath)) {
            return false;
        }
        return SetPath(fsPath, 0);
    }
    FsKeyTarget& KeyTarget() { return target_; }

private:
    FsKeyTarget target_;
};

// The loaded record into the caller's: moved into a record it has, else handed over.
void HandOver(ServiceDescription** out, ServiceDescription* loaded) {
    if (*out != nullptr) {
        MoveServiceDescription(*out, loaded);
        (*out)->active = loaded->active;
        delete loaded;
    } else {
        *out = loaded;
    }
}

// The refusals said while DescriptionNotes live on this thread, in order, each once.
thread_local int gNoteScopes = 0;
thread_local std::vector<std::string>* gNotes = nullptr;

void Note(const std::string& text) {
    if (gNoteScopes == 0 || gNotes == nullptr) {
        ShowWarning(text.c_str());
        return;
    }
    for (const std::string& said : *gNotes)
        if (said == text) return;
    gNotes->push_back(text);
}

// What stands in place of a ".fs" file that is not one, or null for a regular file.
const char* NotAFile(const struct stat& info) {
    if (S_ISREG(info.st_mode)) return nullptr;
    if (S_ISFIFO(info.st_mode)) return "a FIFO";
    if (S_ISDIR(info.st_mode)) return "a folder";
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode)) return "a device";
    if (S_ISSOCK(info.st_mode)) return "a socket";
    return "something else";
}

}  // namespace

DescriptionNotes::DescriptionNotes() {
    if (gNoteScopes++ == 0) gNotes = new (std::nothrow) std::vector<std::string>();
}

DescriptionNotes::~DescriptionNotes() {
    Tell();
    if (--gNoteScopes == 0) {
        delete gNotes;
        gNotes = nullptr;
    }
}

void DescriptionNotes::Tell() {
    if (gNotes == nullptr) return;
    std::vector<std::string> notes;
    notes.swap(*gNotes);
    for (const std::string& text : notes) ShowWarning(text.c_str());
}

const char* ServiceSectionName() {
    static const std::string name = SectionNameOf(&kInputId, 0);
    return name.c_str();
}

bool LoadFsDescription(const char* path, const char* sectionSource, ServiceDescription** description) {
    if (description == nullptr) return false;
    auto* d = new (std::nothrow) ServiceDescription;
    if (d == nullptr) return false;
    FsFile file(d);
    bool ok = file.Target(path, sectionSource) && SelectFsKeywordTableFull(&file.Parse(), &file.KeyTarget());
    struct stat info;
    const bool exists = ok && ::stat(file.Path(), &info) == 0;
    if (exists && NotAFile(info) != nullptr) {
        // Never opened: a FIFO would wait for a writer, a device give endless data.
        Note(FormatString("'%s' skipped: %s, not a file", file.Path(), NotAFile(info)));
        ok = false;
    } else if (ok) {
        errno = 0;
        const bool loaded = file.LoadFile(file.Path(), kDiskText);
        const int error = errno;
        if (!loaded && exists) {
            // The user wrote a description that is not taken: say which and why, so that the
            // data opening as without one is no surprise.
            const std::string why = file.Refusal().kind != ScriptRefusal::kNone
                                        ? ScriptRefusalText(file.Refusal())
                                        : std::string("it cannot be read") +
                                              (error != 0 ? std::string(" (") + std::strerror(error) + ")" : "");
            Note(FormatString("'%s' not read: %s", file.Path(), why.c_str()));
        }
        ok = loaded && FsAfterLoadChecks(d, 0);
    }
    if (!ok) {
        delete d;
        return false;
    }
    HandOver(description, d);
    return true;
}

bool LoadFsDescriptionForPath(const char* path, ServiceDescription** description) {
    if (path == nullptr) return false;
    return LoadFsDescription(path, nullptr, description);
}

bool LoadServiceDescription(const char* path, ServiceDescription** description) {
    if (path == nullptr || description == nullptr) return false;
    if (LoadFsDescription(path, nullptr, description)) return true;
    return LoadOldServiceDescription(path, description);
}

bool SaveServiceDescription(const ServiceDescription* d, const char* path, const char* sectionSource,
                            bool keepBackup) {
    return SaveServiceDescription(d, path, sectionSource, keepBackup, nullptr, nullptr);
}

namespace {

// Why a ".fs" file could not be written: the error its file object met, as the system
// words it. The state is asked first: errno may hold what a step before the failure left.
std::string FsWriteFailure(const DiskFile& file, int error) {
    switch (file.State()) {
        case kErrNoSpace: error = ENOSPC; break;
        case kErrNoAccess: error = EACCES; break;
        case kErrNoFile: error = ENOENT; break;
        case kErrOutOfMemory: error = ENOMEM; break;
        case kErrCantWrite:
            // A folder, FIFO or device in the file's place is never written over.
            if (struct stat st; file.Path() != nullptr && ::stat(file.Path(), &st) == 0 &&
                                !S_ISREG(st.st_mode))
                return S_ISDIR(st.st_mode) ? std::strerror(EISDIR) : "not a regular file";
            break;
        default: break;
    }
    return std::strerror(error != 0 ? error : EIO);
}

}  // namespace

bool SaveServiceDescription(const ServiceDescription* d, const char* path, const char* sectionSource,
                            bool keepBackup, std::string* fsPath, std::string* reason) {
    if (fsPath != nullptr) fsPath->clear();
    if (reason != nullptr) reason->clear();
    if (d == nullptr) return false;
    FsFile file(const_cast<ServiceDescription*>(d));
    if (!file.Target(path, sectionSource)) {
        if (reason != nullptr) *reason = "its name could not be made";
        LogPrintf("%s: error make class name", path ? path : "");
        LogPrintf("write: error %s", path ? path : "");
        return false;
    }
    if (fsPath != nullptr && file.Path() != nullptr) *fsPath = file.Path();
    errno = 0;
    bool ok = file.SaveFile(file.Path(), keepBackup ? kKeywordSaveBackupMode : kKeywordSaveMode);
    const int error = errno;
    if (!ok && file.IsOpen()) file.Discard();
    if (!ok || file.State() != 2) {
        if (reason != nullptr) *reason = FsWriteFailure(file, error);
        LogPrintf("write: error %s", path ? path : "");
        return false;
    }
    return true;
}

ServiceDescription* LoadFsDescriptionFor(const char* name) {
    ServiceDescription* d = nullptr;
    return LoadFsDescriptionForPath(name, &d) ? d : nullptr;
}

ServiceDescription* LoadServiceDescriptionFor(const char* name) {
    ServiceDescription* d = nullptr;
    return LoadServiceDescription(name, &d) ? d : nullptr;
}

int SaveServiceDescriptionFor(ServiceDescription* description, const char* dataFile) {
    return SaveServiceDescription(description, dataFile, nullptr, false) ? 2 : -5;
}

// ---- saving a data set's description on request -----------------------------------------

ServiceSaveHooks& TheServiceSaveHooks() {
    static ServiceSaveHooks hooks;
    return hooks;
}

int ChooseServiceSaveName(DataSet* d, bool keepAsDefault) {
    if (d == nullptr || d->stream == nullptr || d->TotalFrames() == 0) return 0;
    std::string name = DataSetFileName(d);
    if (name.empty()) {
        const ServiceSaveHooks& hooks = TheServiceSaveHooks();
        std::string chosen;
        if (hooks.chooseName == nullptr || !hooks.chooseName(&chosen, "Choose file name for save", "fs") ||
            chosen.empty())
            return -1;
        d->sourceName = "<NAME>" + chosen;
        name = chosen;
    }
    if (d->service == nullptr) {
        d->service = new (std::nothrow) ServiceDescription();
        if (d->service == nullptr) return 0;
        // The positions of raw data are what the user described: they go with it.
        const FormatDesc* raw = FormatBinary();
        if (d->NoFrameTable() && d->format != nullptr && raw != nullptr && d->format->open == raw->open)
            d->service->positionsValid = 1;
    }
    ServiceDescription* s = d->service;
    const SectionStatistics* stats = nullptr;
    if (d->TotalFrames() == 1) stats = DataSetSectionRecord(d, 0, 0, nullptr);
    DescribeDataSet(s, *d, d->TotalFrames(), stats);
    if (s->formatTag.IsZero() && d->format != nullptr) s->formatTag = d->format->tag;
    if (s->positionsValid) s->fileLength = d->stream->length;
    const DataSetServices& services = TheDataSetServices();
    const int written = services.saveServiceDescription != nullptr
                            ? services.saveServiceDescription(s, name.c_str())
                            : SaveServiceDescriptionFor(s, name.c_str());
    if (written < 0) return -2;
    if (!keepAsDefault) return 1;
    return d->readState != nullptr && d->readState->TakeSnapshot(d, 0) ? 1 : 2;
}

}  // namespace orva
