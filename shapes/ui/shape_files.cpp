#include "shapes/ui/shape_files.h"

#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>
#include <vector>

#include "app/file_dialog.h"
#include "app/status_line.h"
#include "common/error_codes.h"
#include "common/number_parse.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "data/kernel_util.h"
#include "io/data_set_info.h"
#include "platform/msg_queue.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape_batch.h"
#include "shapes/shape_container.h"
#include "shapes/shape_globals.h"
#include "shapes/shape_undo.h"
#include "common/text.h"

namespace orva {

namespace {

ShapeFileClock gClock = nullptr;

// The types of the shape file dialogs.
constexpr char kShapeFileFilter[] = "Text [*.msk]\0*.msk\0Text [*.rep]\0*.rep\0Text [*.txt]\0*.txt\0All\0*.*\0";

// The C locale, for numbers written and read whatever locale the process runs under.
locale_t CLocale() {
    static const locale_t locale = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(nullptr));
    return locale;
}

// Formats under the C locale on this thread for its lifetime.
class CLocaleScope {
public:
    CLocaleScope() : previous_(CLocale() != static_cast<locale_t>(nullptr) ? uselocale(CLocale()) : nullptr) {}
    ~CLocaleScope() {
        if (previous_ != static_cast<locale_t>(nullptr)) uselocale(previous_);
    }
    CLocaleScope(const CLocaleScope&) = delete;
    CLocaleScope& operator=(const CLocaleScope&) = delete;

private:
    locale_t previous_;
};

double ReadDouble(const char* text, char** end) {
    double v;
    if (ParseShortDecimal(text, &v, end)) return v;
    if (CLocale() != static_cast<locale_t>(nullptr)) return strtod_l(text, end, CLocale());
    return std::strtod(text, end);
}

bool TagIs(const char* tag, const char* text) { return std::strncmp(tag, text, 8) == 0; }

void SetTag(char* tag, const char* text) {
    std::memset(tag, 0, 9);
    std::strncpy(tag, text, 8);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }


void ReplaceText(char** slot, const char* text) {
    if (slot == nullptr) return;
    char* copy = text != nullptr ? strdup(text) : nullptr;
    std::free(*slot);
    *slot = copy;
}

bool IsRefFile(const Shape* shape, int32_t refFlag) {
    return refFlag == 1 || (shape != nullptr && shape->header.role == kRoleRefPoint);
}

// ---- The key table -----------------------------------------------------------------------

ShapeFileRecord* Target(ParseState* state) { return static_cast<ShapeFileRecord*>(state->context); }

// A handler's refusal of a value that sets the shape: the first one is kept with its
// line, and the loader takes nothing from the file.
int Refused(ParseState* state) {
    ShapeFileRecord* r = Target(state);
    if (r->refusedLine == 0) {
        r->refusedLine = state->line;
        r->refusedText = std::string(state->key, state->keyLength) + "=" +
                         (state->value != nullptr ? state->value : "");
    }
    return -1;
}

// The text inside quotes ('...', "..." or <...>); false when the value is not quoted.
bool Quoted(const char* value, const char** text, int* length) {
    const char* cursor = value;
    const int n = QuotedValueLength(&cursor);
    if (n < 0) return false;
    *text = cursor;
    *length = n;
    return true;
}

// One integer (blanks before it; `base` as strtoll takes it); false when there is none
// or it does not fit 32 bits.
bool ReadInteger(const char** cursor, int base, int64_t* out) {
    const char* p = *cursor;
    while (IsBlank(*p)) ++p;
    char* end = nullptr;
    errno = 0;
    const long long v = std::strtoll(p, &end, base);
    if (end == p || errno == ERANGE || v < INT32_MIN || v > INT32_MAX) return false;
    *out = v;
    *cursor = end;
    return true;
}

int AnyValue(const char*, ParseState*) { return 0; }

// Only this program's writer stamps the time: such a file closes its blocks.
int TimeValue(const char*, ParseState* state) {
    Target(state)->stamped = true;
    return 0;
}

int UrlValue(const char* value, ParseState* state) {
    const char* text = nullptr;
    int n = 0;
    if (!Quoted(value, &text, &n) || static_cast<size_t>(n) >= kPathMax) return -1;
    Target(state)->url.assign(text, static_cast<size_t>(n));
    return 0;
}

int RoleValue(const char* value, ParseState* state) {
    const char* text = nullptr;
    int n = 0;
    if (!Quoted(value, &text, &n) || n == 0) return Refused(state);
    const int32_t role = RoleFromName(text, n);
    if (role == kRoleUnset) return Refused(state);
    Target(state)->header.role = role;
    return 0;
}

int KindValue(const char* value, ParseState* state) {
    const char* text = nullptr;
    int n = 0;
    if (!Quoted(value, &text, &n) || n == 0) return Refused(state);
    const int32_t kind = KindFromName(text, n);
    if (kind < 0) return Refused(state);
    Target(state)->header.kind = kind;
    return 0;
}

int EditFlagValue(const char* value, ParseState* state) {
    int64_t v = 0;
    if (!ReadInteger(&value, 0, &v)) return Refused(state);
    ShapeFileRecord* r = Target(state);
    r->header.offset.editFlag = static_cast<int32_t>(v < 0 ? 0 : (v > 3 ? 3 : v));
    r->offsetRead = true;
    return 0;
}

// Aperture counts lie within 0..kApertureMax, as a view lets them: others are refused.
int ApertureValue(const char* value, ParseState* state) {
    int64_t v[3] = {0, 0, 0};
    int n = 0;
    const char* p = value;
    while (n < 3) {
        while (IsBlank(*p) || *p == ',') ++p;
        if (*p == '\0' || !ReadInteger(&p, 10, &v[n])) break;
        if (v[n] < 0 || v[n] > kApertureMax) return Refused(state);
        ++n;
    }
    if (n == 0) return Refused(state);
    ShapeFileRecord* r = Target(state);
    r->header.offset.aperture[0] = static_cast<int32_t>(v[0]);
    if (n >= 3) {
        r->header.offset.aperture[1] = static_cast<int32_t>(v[1]);
        r->header.offset.aperture[2] = static_cast<int32_t>(v[2]);
    }
    r->offsetRead = true;
    return 0;
}

int VectorValue(const char* value, ParseState* state) {
    ShapeFileRecord* r = Target(state);
    double x = 0.0, y = 0.0;
    // An offset lies off the path as far as a point may lie off the frame, no further:
    // the area laid along it is built line by line. The bound holds for the numbers as
    // written, before they become 32-bit.
    auto bounded = [](double v) { return std::fabs(v) <= kShapeCoordinateLimit; };
    if (ParseDoublePair(value, &x, &y) != 2 || !bounded(x) || !bounded(y)) {
        r->header.offset.vector[0] = r->header.offset.vector[1] = 0.0f;
        return Refused(state);
    }
    r->header.offset.vector[0] = static_cast<float>(x);
    r->header.offset.vector[1] = static_cast<float>(y);
    r->offsetRead = true;
    return 0;
}

int DirectionValue(const char* value, ParseState* state) {
    const char* text = nullptr;
    int n = 0;
    if (!Quoted(value, &text, &n)) return Refused(state);
    uint32_t code = 0;
    for (int i = 0; i < n && i < 4; ++i) code |= static_cast<uint32_t>(static_cast<unsigned char>(text[i])) << (8 * i);
    ShapeFileRecord* r = Target(state);
    r->header.offset.direction = code;
    r->offsetRead = true;
    return 0;
}

int SubpixValue(const char* value, ParseState* state) {
    int64_t v = 0;
    if (!ReadInteger(&value, 10, &v)) {
        Target(state)->header.subpix = 0;
        return Refused(state);
    }
    Target(state)->header.subpix = static_cast<int32_t>(v);
    Target(state)->subpixRead = true;
    return 0;
}

int TagValue(const char* value, char* tag) {
    const char* text = nullptr;
    int n = 0;
    if (!Quoted(value, &text, &n)) return -1;
    const char* back = TagToText(TagFromText(text, static_cast<size_t>(n < 8 ? n : 8)));
    if (back == nullptr) return -1;
    SetTag(tag, back);
    return 0;
}

int ObjectValue(const char* value, ParseState* state) {
    return TagValue(value, Target(state)->tags.object) < 0 ? Refused(state) : 0;
}
int DataValue(const char* value, ParseState* state) {
    return TagValue(value, Target(state)->tags.data) < 0 ? Refused(state) : 0;
}

int NaxisValue(const char* value, ParseState* state) {
    int64_t v = 0;
    if (!ReadInteger(&value, 10, &v) || v <= 0) {
        Target(state)->naxis = 0;
        return -1;
    }
    Target(state)->naxis = static_cast<uint32_t>(v);
    return 0;
}

KeywordName kCommentNames[] = {{"COMMENT", 0}, {"COMMENT1", 0}, {nullptr, 0}};
KeywordName kTimeNames[] = {{"TIME", 0}, {nullptr, 0}};
KeywordName kComment2Names[] = {{"COMMENT2", 0}, {nullptr, 0}};
KeywordName kUrlNames[] = {{"URL", 0}, {nullptr, 0}};
KeywordName kRoleNames[] = {{"SHAPEROLE", 0}, {nullptr, 0}};
KeywordName kKindNames[] = {{"SHAPETYPE", 0}, {"SHAPE", 0}, {nullptr, 0}};
KeywordName kEditFlagNames[] = {{"OFFSETEDITFLAG", 0}, {nullptr, 0}};
KeywordName kApertureNames[] = {{"OFFSETAPERTURE", 0}, {nullptr, 0}};
KeywordName kVectorNames[] = {{"OFFSETVECTOR", 0}, {nullptr, 0}};
KeywordName kDirectionNames[] = {{"OFFSETDIRECTION", 0}, {nullptr, 0}};
KeywordName kSubpixNames[] = {{"SUBPIX", 0}, {nullptr, 0}};
KeywordName kObjectNames[] = {{"COBJ", 0}, {nullptr, 0}};
KeywordName kDataNames[] = {{"CDATA", 0}, {nullptr, 0}};
KeywordName kNaxisNames[] = {{"NAXIS", 0}, {nullptr, 0}};

KeywordDescriptor kCommentKey{kCommentNames, &AnyValue};
KeywordDescriptor kTimeKey{kTimeNames, &TimeValue};
KeywordDescriptor kComment2Key{kComment2Names, &AnyValue};
KeywordDescriptor kUrlKey{kUrlNames, &UrlValue};
KeywordDescriptor kRoleKey{kRoleNames, &RoleValue};
KeywordDescriptor kKindKey{kKindNames, &KindValue};
KeywordDescriptor kEditFlagKey{kEditFlagNames, &EditFlagValue};
KeywordDescriptor kApertureKey{kApertureNames, &ApertureValue};
KeywordDescriptor kVectorKey{kVectorNames, &VectorValue};
KeywordDescriptor kDirectionKey{kDirectionNames, &DirectionValue};
KeywordDescriptor kSubpixKey{kSubpixNames, &SubpixValue};
KeywordDescriptor kObjectKey{kObjectNames, &ObjectValue};
KeywordDescriptor kDataKey{kDataNames, &DataValue};
KeywordDescriptor kNaxisKey{kNaxisNames, &NaxisValue};

KeywordDescriptor* const kShapeKeys[] = {&kCommentKey,  &kTimeKey,      &kComment2Key, &kUrlKey,       &kRoleKey,
                                         &kKindKey,     &kEditFlagKey,  &kApertureKey, &kVectorKey,    &kDirectionKey,
                                         &kSubpixKey,   &kObjectKey,    &kDataKey,     &kNaxisKey,     nullptr};

KeywordTable& ShapeKeyTable() {
    static KeywordTable table(kShapeKeys);
    return table;
}

// A line that begins with a key setting the shape but gives it no "=" value: its
// handler never runs, so it is refused here.
bool KeyWithoutValue(const char* p) {
    const char* end = p;
    while (IsLetter(*end) || IsDigit(*end) || *end == '_') ++end;
    const size_t n = static_cast<size_t>(end - p);
    while (IsBlank(*end)) ++end;
    if (n == 0 || *end == '=') return false;
    for (const KeywordDescriptor* d : {&kRoleKey, &kKindKey, &kEditFlagKey, &kApertureKey, &kVectorKey,
                                       &kDirectionKey, &kSubpixKey, &kObjectKey, &kDataKey})
        for (const KeywordName* k = d->names; k->name != nullptr; ++k)
            if (std::strlen(k->name) == n && strncasecmp(k->name, p, n) == 0) return true;
    return false;
}

// ---- Lines ---------------------------------------------------------------------------------

enum class LineRead { kLine, kLast, kEnd, kTooLong };

// One line without its end: a line feed, a carriage return, or both in that order;
// kLast for a last line that has no end.
LineRead ReadLine(FILE* f, std::string* line) {
    line->clear();
    int c = getc_unlocked(f);
    if (c == EOF) return LineRead::kEnd;
    for (; c != EOF; c = getc_unlocked(f)) {
        if (c == '\n') return LineRead::kLine;
        if (c == '\r') {
            const int next = getc_unlocked(f);
            if (next != '\n' && next != EOF) ungetc(next, f);
            return LineRead::kLine;
        }
        if (line->size() >= kShapeFileMaxLineLength) return LineRead::kTooLong;
        line->push_back(static_cast<char>(c));
    }
    return LineRead::kLast;
}

// A row begins with a digit, "." and a digit, or a sign followed by either.
bool BeginsNumber(const char* p) {
    if (*p == '+' || *p == '-') ++p;
    if (IsDigit(*p)) return true;
    return p[0] == '.' && IsDigit(p[1]);
}

// A row inside a block whose first field is a value no float holds ("nan", "inf",
// "infinity", signed or not): a damaged row of the block, not a key that ends it.
bool BeginsNonFinite(const char* p) {
    if (*p == '+' || *p == '-') ++p;
    size_t n = 0;
    if (strncasecmp(p, "nan", 3) == 0) n = 3;
    else if (strncasecmp(p, "infinity", 8) == 0) n = 8;
    else if (strncasecmp(p, "inf", 3) == 0) n = 3;
    return n != 0 && (p[n] == '\0' || IsBlank(p[n]));
}

// A row as written, for a message: a row of a hostile file may be long, and its first
// fields tell enough. Whole fields are kept (a number is never cut short: "1e300" does
// not become "1e30"), the rest is "..."; only a first field longer than the room is cut.
std::string QuotedRow(const char* text) {
    constexpr size_t kRoom = 40;
    const size_t length = strnlen(text, kShapeFileMaxLineLength);
    size_t end = length;
    while (end > 0 && IsBlank(text[end - 1])) --end;
    if (end <= kRoom) return std::string(text, end);
    size_t cut = kRoom;
    while (cut > 0 && !IsBlank(text[cut])) --cut;
    while (cut > 0 && IsBlank(text[cut - 1])) --cut;
    if (cut == 0) cut = kRoom;
    return std::string(text, cut) + " ...";
}

// ---- Writing -------------------------------------------------------------------------------

bool Put(FILE* f, const char* format, ...) __attribute__((format(printf, 2, 3)));
bool Put(FILE* f, const char* format, ...) {
    va_list args;
    va_start(args, format);
    const int n = std::vfprintf(f, format, args);
    va_end(args);
    return n >= 0;
}

// The rows of a point buffer after its NAXIS line; false for a buffer without
// components or a failed write.
bool PointBlock(FILE* f, const TypedBuffer& points, double boxX) {
    const uint32_t components = points.elementsPerItem;
    if (!Put(f, ";NAXIS=%u\n\n;#data\n", components > 2 ? components : 2u)) return false;
    if (components == 0 || (points.rowsUsed != 0 && points.data == nullptr)) return false;
    const auto* p = static_cast<const float*>(points.data);
    for (uint32_t i = 0; i < points.rowsUsed; ++i, p += components) {
        bool ok = true;
        if (components == 1)
            ok = Put(f, "%.17g %.9g\n", static_cast<double>(i) + boxX, static_cast<double>(p[0]));
        else if (components == 2)
            ok = Put(f, "%.9g %.9g\n", static_cast<double>(p[0]), static_cast<double>(p[1]));
        else
            ok = Put(f, "%.9g %.9g %.9g\n", static_cast<double>(p[0]), static_cast<double>(p[1]),
                     static_cast<double>(p[2]));
        if (!ok) return false;
    }
    return Put(f, ";#end\n\n");
}

bool AnchorBlock(FILE* f, const Shape& s) {
    return Put(f, ";COBJ='%s'\n;CDATA='%s'\n", s.header.kind == kKindPoint ? "REFPOINT" : "ANCHOR", "POINT") &&
           PointBlock(f, s.header.anchors, s.header.box.x);
}

bool OutlineBlock(FILE* f, const Shape& s) {
    return Put(f, ";COBJ='%s'\nCDATA='%s'\n", "SHAPE", "POINT") &&
           PointBlock(f, s.derived.outline, s.header.box.x);
}

bool RefPointBlock(FILE* f, const Shape& s) {
    const uint32_t components = s.header.anchors.elementsPerItem;
    return Put(f, ";COBJ='%s'\nCDATA='%s'\n;NAXIS=%u\n\n;#data\n", "REFPOINT", "POINT",
               components > 2 ? components : 2u) &&
           Put(f, "%.17g %.17g\n", s.statMark.centreX, s.statMark.centreY) && Put(f, ";#end\n\n");
}

bool RegionBlock(FILE* f, const Shape& s) {
    const Region& r = s.derived.mask;
    if (!Put(f, ";COBJ='%s'\nCDATA='%s'\n;NAXIS=2\nRECT=%d, %d, %d, %d\n\n;#data\n", "REGION", "RECT", r.box.x0,
             r.box.y0, r.box.x1, r.box.y1))
        return false;
    for (const RegionRect& q : r)
        if (!Put(f, "%d %d %d %d\n", q.x0, q.y0, q.x1, q.y1)) return false;
    return Put(f, ";#end\n\n");
}

bool MaskHoldsRects(const Shape& s) {
    const Region& r = s.derived.mask;
    return r.count != 0 && r.box.y0 < r.box.y1;
}

// The first word of the ";COMMENT2=" line.
const char* PurposeWord(const Shape& s, bool refFile) {
    if (refFile) return "RefPoint(s)";
    const int32_t role = s.header.role;
    return role == kRoleSlice || role == kRoleStatistic || role == kRoleFindArea ? "Mask" : "Shape";
}

const char* OrEmpty(const char* text) { return text != nullptr ? text : ""; }

}  // namespace

// ---- Helpers ---------------------------------------------------------------------------------

void SetShapeFileClock(ShapeFileClock clock) { gClock = clock; }

bool ShapeIsEmpty(const Shape* shape) {
    if (shape == nullptr) return true;
    return shape->derived.outline.Count() == 0 && !MaskHoldsRects(*shape) && shape->header.anchors.Count() == 0;
}

char** ShapeRememberedName(Shape* shape, int32_t form, bool refFile) {
    if (shape == nullptr) return nullptr;
    return form == 1 || refFile ? &shape->maskFileName : &shape->dataFileName;
}

bool DefaultShapeFileName(Shape* shape, char* out, const char* base, bool extension, int32_t form,
                          int32_t refFlag) {
    if (out == nullptr) return false;
    char source[kPathMax];
    const bool given = base != nullptr && base[0] != '\0';
    if (!given) {
        base = nullptr;
        if (shape != nullptr && shape->view != nullptr && shape->view->SourcePath(source) && source[0] != '\0')
            base = source;
    }
    const char* word = shape != nullptr ? shape->KindName() : nullptr;
    if (word == nullptr || word[0] == '\0') word = shape != nullptr ? shape->name : nullptr;
    if (word == nullptr || word[0] == '\0') word = "noname";
    char suffix[33];
    std::snprintf(suffix, sizeof suffix, "_%s_%u", word, shape != nullptr ? shape->serial : 0u);
    const bool refFile = IsRefFile(shape, refFlag);
    const char* ext = refFile ? ".rep" : form == 1 ? ".msk" : "_msk.txt";
    const char* tailExt = given && !extension ? nullptr : ext;
    if (MakeRelatedPath(out, base, suffix, tailExt)) return true;
    if (base == nullptr || !PathReplaceExtension(out, base, ext)) {
        const char* fallback = refFile ? "noname.rep" : form == 1 ? "noname.msk" : "nonamemsk.txt";
        std::memcpy(out, fallback, std::strlen(fallback) + 1);
    }
    return false;
}

// ---- Writer ----------------------------------------------------------------------------------

ShapeFileWriter::ShapeFileWriter(Shape* s, int32_t formFlag, int32_t ref)
    : form(formFlag), kindAtStart(s != nullptr ? s->header.kind : -1), refFlag(ref), rememberName(s != nullptr) {
    SetShape(s);
}

ShapeFileWriter::~ShapeFileWriter() {
    // Written and still held elsewhere: a shape without a name of the form takes the path.
    if (rememberName && shape != nullptr && shape->refCount.load() >= 2 && State() == kResultReady &&
        Path() != nullptr && Accepted()) {
        char** slot = form == 1 ? &shape->maskFileName : &shape->dataFileName;
        if (*slot == nullptr || (*slot)[0] == '\0') ReplaceText(slot, Path());
    }
    SetShape(nullptr);
}

void ShapeFileWriter::SetShape(Shape* next) {
    if (next != nullptr) next->AddRef();
    if (shape != nullptr) shape->Release();
    shape = next;
}

bool ShapeFileWriter::RefFile() const { return IsRefFile(shape, refFlag); }

void ShapeFileWriter::OnFailed() {
    if (rememberName && shape != nullptr && State() != kResultReady) {
        char** slot = form == 1 ? &shape->maskFileName : &shape->dataFileName;
        ReplaceText(slot, nullptr);
    }
}

bool ShapeFileWriter::Failed() {
    SetState(kShapeWriteFailed);
    if (showMessages)
        ShapeStatus(kShapeStatusError, FormatString(kCantSaveShapeFormat, Path() != nullptr ? Path() : ""));
    return false;
}

bool ShapeFileWriter::OpenForSave(const char* name, bool fromBase, bool extension) {
    char buffer[kPathMax];
    const char* target = name;
    const bool refFile = RefFile();
    if (name == nullptr || name[0] == '\0') {
        char** remembered = ShapeRememberedName(shape, form, refFile);
        if (remembered != nullptr && *remembered != nullptr && (*remembered)[0] != '\0') {
            target = *remembered;
        } else {
            if (!DefaultShapeFileName(shape, buffer, nullptr, false, form, refFlag)) return false;
            target = buffer;
        }
    } else if (fromBase) {
        if (!DefaultShapeFileName(shape, buffer, name, extension, form, refFlag)) return false;
        target = buffer;
    }
    const std::string chosen = target;
    if (rememberName && shape != nullptr) {
        char** slot = ShapeRememberedName(shape, form, refFile);
        if (*slot == nullptr || chosen != *slot) ReplaceText(slot, chosen.c_str());
    }
    return SetPath(chosen.c_str(), kDiskWrite | kDiskTemp | kDiskText);
}

bool ShapeFileWriter::Save() {
    FILE* f = Stream();
    if (f == nullptr || shape == nullptr) return false;
    CLocaleScope c;
    if (std::ftell(f) == 0) {
        if (!WriteHeader(f)) return Failed();
    } else if (!WriteShapeKeys(f)) {
        // A later shape of a file that holds several says what it is itself: a reader
        // would else take the first shape's kind and role for it.
        return Failed();
    }
    if (!WriteBody(f) || std::fflush(f) != 0 || std::ferror(f)) return Failed();
    return true;
}

bool ShapeFileWriter::WriteHeaderIfEmpty() {
    FILE* f = Stream();
    if (f == nullptr || shape == nullptr) return false;
    CLocaleScope c;
    if (std::ftell(f) == 0 && !WriteHeader(f)) return Failed();
    return true;
}

bool ShapeFileWriter::WriteMarker(const char* line) {
    if (Stream() == nullptr) {
        if (!Open(nullptr, 0)) return false;
        // The file begins with the header of the shape at hand.
        if (shape != nullptr && !WriteHeaderIfEmpty()) return false;
    }
    if (std::fprintf(Stream(), "%s\n", line) < 0 || std::fflush(Stream()) != 0) return Failed();
    return true;
}

bool ShapeFileWriter::WriteHeader(FILE* f) {
    const Shape& s = *shape;
    char source[kPathMax];
    if (s.view != nullptr && s.view->SourcePath(source) && source[0] != '\0') {
        const char* slash = std::strrchr(source, '/');
        if (!Put(f, ";COMMENT='shape of data from \"%s\"'\n;URL=<%s>\n", slash != nullptr ? slash + 1 : source,
                 source))
            return false;
    }
    char now[64] = "";
    if (gClock != nullptr)
        gClock(now);
    else
        LocalTimeAsctime(now);
    if (!Put(f, ";TIME=%s\n", now)) return false;
    if (!Put(f, ";COMMENT2=\"%s-%s-%s\"\n", PurposeWord(s, RefFile()), OrEmpty(s.FamilyName()),
             OrEmpty(s.RoleGroupName())))
        return false;
    return WriteShapeKeys(f);
}

bool ShapeFileWriter::WriteShapeKeys(FILE* f) {
    const Shape& s = *shape;
    const ShapeHeader& h = s.header;
    if (s.RoleName() != nullptr && !Put(f, ";SHAPEROLE='%s'\n", s.RoleName())) return false;
    const char* kind = s.KindName();
    if (kind != nullptr && kind[0] != '\0' && !Put(f, ";SHAPETYPE='%s'\n", kind)) return false;
    if (h.kind != kKindPoint) {
        const EditTransformState& o = h.offset;
        if (!Put(f, ";OFFSETEDITFLAG=%d\n", o.editFlag)) return false;
        const bool ok = s.IsOpenCurve()
                            ? Put(f, ";OFFSETAPERTURE=%d, %d, %d\n", o.aperture[0], o.aperture[1], o.aperture[2])
                            : Put(f, ";OFFSETAPERTURE=%d\n", o.aperture[0]);
        if (!ok) return false;
        if ((o.direction == kOffsetAngl || o.direction == kOffsetFree) &&
            !Put(f, ";OFFSETVECTOR=%.9g, %.9g\n", static_cast<double>(o.vector[0]), static_cast<double>(o.vector[1])))
            return false;
        if ((o.direction & 0xFFu) != 0) {
            char code[5];
            for (int i = 0; i < 4; ++i) code[i] = static_cast<char>((o.direction >> (8 * i)) & 0xFFu);
            code[4] = '\0';
            if (!Put(f, ";OFFSETDIRECTION='%s'\n", code)) return false;
        }
    }
    return Put(f, ";SUBPIX=%d\n", h.subpix);
}

bool ShapeFileWriter::WriteBody(FILE* f) {
    const Shape& s = *shape;
    const int32_t kind = s.header.kind;
    const bool anchors = s.header.anchors.Count() != 0;
    if (RefFile()) {
        const int32_t role = s.header.role;
        if (role != kRoleRefPoint && role != kRoleStatistic && role != kRoleFindArea) return false;
        if (kind == kKindPoint && anchors) return AnchorBlock(f, s);
        if (s.statMark.centreX < 0.0) return false;
        return RefPointBlock(f, s);
    }
    if (form == 1) return anchors && AnchorBlock(f, s);
    const bool outline = s.derived.outline.Count() != 0;
    const bool mask = MaskHoldsRects(s);
    bool anchorWritten = false;
    if (anchors && ((!outline && !mask) || kind == kKindPoint)) {
        if (!AnchorBlock(f, s)) return false;
        anchorWritten = true;
    }
    if (KindIsOpenCurve(kind) && kind != kKindPoint && outline) return OutlineBlock(f, s);
    if (!KindIsOpenCurve(kind) && kind >= 0 && kind < kShapeKindCount && mask) return RegionBlock(f, s);
    return anchorWritten;
}

// ---- Reader ----------------------------------------------------------------------------------

ShapeFileRecord::ShapeFileRecord() {
    // The offset words a reader starts from; the normalisation leaves them alone.
    header.offset.editFlag = -1;
    header.subpix = 0;
}

ShapeFileReader::ShapeFileReader() {
    parse.table = &ShapeKeyTable();
    parse.context = &record;
    parse.log = ProgramLogTarget();
}

ShapeFileReader::~ShapeFileReader() {
    LogFileClose(&parseLog);
    std::free(parseLog.path);
    parseLog.path = nullptr;
}

bool ShapeFileReader::Load() {
    FILE* f = Stream();
    if (f == nullptr) return false;
    CLocaleScope c;
    // The parse log beside the file; where it cannot be made, the program log.
    parse.log = ProgramLogTarget();
    if (Path() != nullptr) {
        const std::string name = std::string(Path()) + ".log";
        if (name.size() < kPathMax && LogFileOpen(&parseLog, nullptr, name.c_str(), nullptr, false))
            parse.log = &parseLog;
    }
    inData_ = list = false;
    lineNumber = 0;
    if (!parse.table->Prepared()) {
        SetState(-8);
        return false;
    }
    std::string line;
    bool ended = true;
    while (lineNumber < kShapeFileMaxLines && !stop_) {
        // The program is asked to end: a long file is not read to its end first.
        if (platform::EndRequestPending()) {
            badFile = FormatString("not read past line %u: the program ends", lineNumber);
            SetState(kErrUserAbort);
            return false;
        }
        const LineRead read = ReadLine(f, &line);
        if (read == LineRead::kEnd) break;
        ++lineNumber;
        if (read == LineRead::kTooLong || !ParseLine(&line)) {
            ParseStateLog(&parse, "$%u: bad file '%s'", lineNumber, Path() != nullptr ? Path() : "");
            // A file that was read but is no text of shapes says so, not that it could
            // not be read.
            badFile = read == LineRead::kTooLong
                          ? FormatString("not a shape file: line %u is longer than %zu bytes", lineNumber,
                                         kShapeFileMaxLineLength)
                          : FormatString("not a shape file: line %u holds control bytes", lineNumber);
            SetState(kErrWrong);
            return false;
        }
        ended = read != LineRead::kLast;
    }
    // The writer ends every line and closes every block with ";#end": a file of its own
    // that stops inside a block, or inside a line, was cut short.
    if (!stop_ && record.stamped && (inData_ || !ended)) {
        record.cutShort = true;
        record.cutLine = lineNumber;
        ParseStateLog(&parse, "%u: cut short", lineNumber);
    }
    if (!stop_) EndBlock();
    return true;
}

bool ShapeFileReader::ParseLine(std::string* text) {
    for (const char c : *text)
        if (static_cast<unsigned char>(c) < 0x20 && c != '\t') return false;
    char* p = text->data();
    while (IsBlank(*p)) ++p;
    if (*p == '\0') return true;
    StripLineComment(p);
    if (*p == '\0') return true;
    const bool marked = *p == ';';
    if (marked) {
        while (*p == ';' || IsBlank(*p)) ++p;
        if (*p == '\0') return true;
    }
    if (inData_ && !marked && BeginsNonFinite(p)) {
        Row(p);
        return true;
    }
    if (*p == '#' || IsLetter(*p) || *p == '_') {
        if (inData_)
            EndBlock();
        else
            skip_ = false;
        if (stop_) return true;
        if (*p == '#') {
            Marker(p + 1);
            return true;
        }
        if (record.refusedLine == 0 && KeyWithoutValue(p)) {
            record.refusedLine = lineNumber;
            record.refusedText = p;
        }
        ParseKeyValueLine(&parse, p, lineNumber, nullptr);
        return true;
    }
    if (skip_ || (blocks != 0 && !inData_)) return true;
    if (!BeginsNumber(p)) {
        ParseStateLog(&parse, "%d: syntax error, bad cmd : ---> %s", static_cast<int>(lineNumber), p);
        RowSkipped("not a row of numbers", p);
        return true;
    }
    if (!marked) Row(p);
    return true;
}

void ShapeFileReader::Marker(const char* p) {
    while (IsBlank(*p)) ++p;
    if (strncasecmp(p, "data", 4) == 0) {
        inData_ = true;
        ++blocks;
        return;
    }
    const bool begin = strncasecmp(p, "begin", 5) == 0;
    const bool end = !begin && strncasecmp(p, "end", 3) == 0;
    if (!begin && !end) return;
    p += begin ? 5 : 3;
    if (!IsBlank(*p)) return;
    while (IsBlank(*p)) ++p;
    if (strncasecmp(p, "list", 4) == 0) list = begin;
}

void ShapeFileReader::Row(const char* text) {
    const uint32_t want = required_ != 0 ? required_ : 4;
    uint32_t columns = 0;
    const char* p = text;
    while (columns < want) {
        while (IsBlank(*p)) ++p;
        if (*p == '\0') break;
        char* end = nullptr;
        const double v = ReadDouble(p, &end);
        // Rows hold 32-bit values: what is not a finite number in their range ends the row.
        if (end == p || !std::isfinite(v) || std::fabs(v) > FLT_MAX) {
            ParseStateLog(&parse, "%u: read tab, skip row: %s", lineNumber, text);
            RowSkipped(end == p             ? "not a number"
                       : !std::isfinite(v) ? "not a finite number"
                                           : "beyond 32-bit range",
                       text);
            break;
        }
        values_[columns++] = v;
        p = end;
    }
    if (columns == 0) return;
    if (required_ == 0) {
        if (!FirstRow(columns, text)) return;
    } else if (columns < required_) {
        ParseStateLog(&parse, "%u: [req. col %d]: %s", lineNumber, static_cast<int>(required_), text);
        RowSkipped(FormatString("fewer than %u columns", required_).c_str(), text);
        return;
    }
    if (record.header.anchors.elementType != 5) {
        // A point's coordinates within the bound as written, before they become 32-bit
        // (1000000001 is 1e9 as a float). One column gives the value alone.
        const uint32_t coordinates = columns == 1 ? 1 : 2;
        for (uint32_t i = 0; i < coordinates && record.beyondLine == 0; ++i)
            if (!(std::fabs(values_[i]) <= kShapeCoordinateLimit)) {
                record.beyondLine = lineNumber;
                record.beyondRow = QuotedRow(text);
            }
        if (record.header.anchors.rowsUsed >= kShapeFileMaxPoints) {
            ++record.rowsBeyond;
            return;
        }
    }
    if (!StoreRow(columns)) {
        // Out of memory: the block read so far is dropped and reading ends.
        SetState(kErrOutOfMemory);
        outOfMemory_ = true;
        record.header.anchors.rowsUsed = 0;
        inData_ = false;
        stop_ = true;
    }
}

bool ShapeFileReader::FirstRow(uint32_t columns, const char* text) {
    ShapeFileTags& t = record.tags;
    const bool rect = TagIs(t.object, "REGION") || TagIs(t.data, "RECT");
    if (rect) {
        if (columns < 4) {
            skip_ = true;
            ParseStateLog(&parse, "%u: rect use 4 col : %s", lineNumber, text);
            RowSkipped("a rectangle takes 4 columns", text);
            return false;
        }
        SetTag(t.object, "REGION");
        SetTag(t.data, "RECT");
    } else {
        if (t.object[0] == '\0') SetTag(t.object, columns == 1 ? "SHAPE" : "ANCHOR");
        SetTag(t.data, "POINT");
    }
    required_ = columns;
    const uint32_t components = columns == 1 ? 2 : columns;
    const int32_t type = rect ? 5 : 7;
    AnchorBuffer& b = record.header.anchors;
    if (b.elementType != type || b.elementsPerItem != components) b.rowsUsed = 0;
    b.elementType = type;
    b.elementSize = 4;
    b.elementsPerItem = components;
    b.itemBytes = 4 * components;
    if (!inData_) {
        inData_ = true;
        ++blocks;
    }
    return true;
}

bool ShapeFileReader::StoreRow(uint32_t columns) {
    AnchorBuffer& b = record.header.anchors;
    const uint64_t rows = b.rowsUsed;
    const uint64_t need = (rows + 1) * b.itemBytes;
    if (need > kGlobalBufferMaxBytes) return false;
    if (b.block == nullptr || b.data == nullptr || need > b.size || b.size - need > 0x1FFFFF) {
        // 64 rows of room, or a quarter of those read, so that a long block is not
        // copied once per 64 rows; never so much that the room would count as surplus.
        const uint64_t quarter = rows / 4;
        const uint64_t most = 0x1FFFFFu / b.itemBytes;
        uint64_t room = rows + 1 + std::min<uint64_t>(std::max<uint64_t>(64, quarter), most);
        if (room * b.itemBytes > kGlobalBufferMaxBytes) room = rows + 1;
        if (!GlobalBufferGrowKeep(&b, static_cast<uint32_t>(room))) return false;
        b.area2 = nullptr;
    }
    if (b.elementType == 5) {
        auto* r = static_cast<int32_t*>(b.data) + rows * 4;
        for (int i = 0; i < 4; ++i) r[i] = kernel::SaturateTrunc<int32_t>(values_[i]);
    } else {
        auto* r = static_cast<float*>(b.data) + rows * b.elementsPerItem;
        if (columns == 1) {
            r[0] = static_cast<float>(values_[0]);
            r[1] = static_cast<float>(rows);
        } else {
            for (uint32_t i = 0; i < b.elementsPerItem; ++i) r[i] = static_cast<float>(values_[i]);
        }
    }
    b.rowsUsed = static_cast<uint32_t>(rows + 1);
    return true;
}

void ShapeFileReader::RowSkipped(const char* why, const char* text) {
    if (!record.skippedRow.empty()) return;
    record.skippedRow = FormatString("line %u skipped (%s): %s", lineNumber, why, QuotedRow(text).c_str());
}

void ShapeFileReader::EndBlock() {
    bool committed = false;
    AnchorBuffer& b = record.header.anchors;
    if (b.rowsUsed != 0 && !outOfMemory_) {
        std::memcpy(blockObject, record.tags.object, sizeof blockObject);
        record.roleRead = record.header.role;
        if (ShapeTagFixup(&record.header, &record.tags)) {
            record.naxis = 2;
            committed = CommitObject();
        }
    }
    skip_ = inData_ = false;
    required_ = 0;
    b.rowsUsed = 0;
    record.rowsBeyond = 0;
    record.beyondLine = 0;
    record.beyondRow.clear();
    if (committed && !multiObject) stop_ = true;
}

// ---- Loading -----------------------------------------------------------------------------------

bool ReadShapeOf(const ShapeFileRecord& record, ReadShape* out) {
    const ShapeFileTags& t = record.tags;
    if ((!TagIs(t.object, "ANCHOR") && !TagIs(t.object, "REFPOINT")) || !TagIs(t.data, "POINT")) return false;
    const ShapeHeader& parsed = record.header;
    const int32_t kind = parsed.kind;
    if (kind < 0 || kind >= kShapeKindCount) return false;
    const AnchorBuffer& rows = parsed.anchors;
    const uint32_t components = rows.elementsPerItem;
    if (rows.elementType != kAnchorElementType || components < 2 || rows.data == nullptr) return false;
    uint32_t count = rows.Count();
    if (count < KindNeedsPoints(kind)) return false;
    const uint32_t fixed = KindFixedPoints(kind);
    if (fixed != 0 && count > fixed) count = fixed;
    try {
        out->xy.resize(2 * static_cast<size_t>(count));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const auto* src = static_cast<const float*>(rows.data);
    for (uint32_t i = 0; i < count; ++i) {
        out->xy[2 * i] = src[static_cast<size_t>(i) * components];
        out->xy[2 * i + 1] = src[static_cast<size_t>(i) * components + 1];
    }
    out->kind = kind;
    out->role = parsed.role;
    out->offsetRead = record.offsetRead;
    out->offset = parsed.offset;
    out->subpix = parsed.subpix;
    return true;
}

EditTransformState ReadOffset(const ReadShape& read, const EditTransformState& own) {
    EditTransformState o = own;
    if (read.offsetRead) {
        o = read.offset;
        o.angle = own.angle;
    }
    // Kinds that take only "CNRM" and "AXIS" take "CNRM" for any other direction.
    const uint32_t d = o.direction;
    const bool known = d == 0 || d == kOffsetCnrm || d == kOffsetAxis || d == kOffsetNrml || d == kOffsetFree ||
                       d == kOffsetAngl;
    if (!known || (!KindTakesEveryDirection(read.kind) && d != 0 && d != kOffsetCnrm && d != kOffsetAxis))
        o.direction = kOffsetCnrm;
    return o;
}

bool AdoptReadShape(Shape* shape, const ReadShape& read) {
    if (shape == nullptr) return false;
    const uint32_t count = read.Count();
    shape->BeginEdit();
    {
        ShapeLock lock(shape);
        AnchorBuffer& a = shape->header.anchors;
        if (a.elementsPerItem != 2 || a.elementType != kAnchorElementType) {
            a.rowsUsed = 0;
            a.ResetType();
        }
        // The room first: a shape that cannot take the points keeps its own.
        if (!a.EnsureRoom(count)) return false;
        std::copy(read.xy.begin(), read.xy.end(), a.Points());
        std::memset(a.Selection(), 0, count);
        a.rowsUsed = count;
        ShapeHeader& h = shape->header;
        const bool newKind = h.kind != read.kind;
        h.kind = read.kind;
        h.role = read.role;
        h.offset = ReadOffset(read, h.offset);
        if (read.subpix > 0) h.subpix = read.subpix;
        if (newKind) {
            shape->MakeName(false);
            if (shape->glyph != nullptr) shape->glyph->KindChanged();
        }
        shape->SetupKindProcs(nullptr, nullptr);
        shape->ResetBounds();
        shape->ResetPivot(kUpdateFull);
    }
    ShapeContainer* owner = shape->container;
    if (owner != nullptr && owner->current == shape) {
        owner->PlaceEditFrame();
        owner->Redraw();
        owner->RefreshPanel();
    }
    shape->RestartLinked();
    if (owner != nullptr) owner->PushUndo(shape, kUndoAll);
    return true;
}

bool ShapeAdoptBlock(Shape* shape, const ShapeFileRecord& record) {
    ReadShape read;
    return shape != nullptr && ReadShapeOf(record, &read) && AdoptReadShape(shape, read);
}

ShapeLoader::ShapeLoader(Shape* target, bool keep) : shape(target), keepName(keep) {
    if (shape != nullptr) shape->AddRef();
}

ShapeLoader::~ShapeLoader() {
    if (shape == nullptr) return;
    if (taken && !keepName && State() == kResultReady && Path() != nullptr && shape->refCount.load() >= 2)
        ReplaceText(&shape->maskFileName, Path());
    shape->Release();
}

// Why a block read from the file may not be taken ("" when it may).
std::string Refusal(const ShapeFileRecord& r) {
    if (r.refusedLine != 0) return FormatString("line %u refused: %s", r.refusedLine, r.refusedText.c_str());
    if (r.cutShort) return FormatString("cut short at line %u", r.cutLine);
    if (r.rowsBeyond != 0)
        return FormatString("%llu points in a block, more than the %u a shape may have",
                            static_cast<unsigned long long>(r.header.anchors.Count() + r.rowsBeyond),
                            kShapeFileMaxPoints);
    const int32_t k = r.header.subpix;
    if (r.subpixRead && (k < 1 || k > kShapeSubpixMax))
        return FormatString("SUBPIX %d outside 1..%d", k, kShapeSubpixMax);
    // A point no frame reaches would make a mask of whole 32-bit rows and a mark far off
    // the picture.
    if (r.beyondLine != 0) return FormatString("line %u refused (beyond 1e9): %s", r.beyondLine, r.beyondRow.c_str());
    const AnchorBuffer& rows = r.header.anchors;
    const int32_t kind = r.header.kind;
    if (kind >= 0 && kind < kShapeKindCount && rows.Count() < KindNeedsPoints(kind)) {
        const char* name = ShapeKindName(kind);
        return FormatString("a %s takes %u points, the block gives %u%s%s", name != nullptr ? name : "shape",
                            KindNeedsPoints(kind), rows.Count(), r.skippedRow.empty() ? "" : "; ",
                            r.skippedRow.c_str());
    }
    return std::string();
}

void ShapeLoader::NoteRole(int32_t kind, int32_t role) {
    // The role the file set for this block, when the block's kind took another one; the
    // first such block is the one the message tells of.
    const int32_t asked = record.roleRead;
    if (record.roleAsked != kRoleUnset || asked == kRoleUnset || role == asked) return;
    record.roleAsked = asked;
    record.roleKind = kind;
    record.roleGot = role;
}

bool ShapeLoader::CommitObject() {
    // An outline block (a data file of an open shape) is not a shape's anchors.
    if (TagIs(blockObject, "SHAPE")) return false;
    // A header the reader could not take whole would give the shape a kind, role or
    // mask the file did not mean.
    refusal = Refusal(record);
    if (!refusal.empty()) return false;
    if (takeAll) {
        ReadShape read;
        if (!ReadShapeOf(record, &read)) return false;
        // The bounds of a file are known before any shape changes: the reading ends at the
        // block that passes one.
        if (kept.size() >= kShapeFileMaxShapes) {
            fileRefusal = FormatString("line %u: more than the %u shapes a file may give", lineNumber,
                                       kShapeFileMaxShapes);
        } else if (pointsKept + read.Count() > kShapeFileMaxTotalPoints) {
            fileRefusal = FormatString("line %u: more than the %llu points a file may give", lineNumber,
                                       static_cast<unsigned long long>(kShapeFileMaxTotalPoints));
        }
        if (!fileRefusal.empty()) {
            StopReading();
            return false;
        }
        NoteRole(read.kind, read.role);
        pointsKept += read.Count();
        try {
            kept.push_back(std::move(read));
        } catch (const std::bad_alloc&) {
            return false;
        }
        return true;
    }
    ReadShape read;
    if (!ReadShapeOf(record, &read) || !Take(read)) return false;
    NoteRole(read.kind, read.role);
    return true;
}

bool ShapeLoader::Take(const ReadShape& read) {
    if (shape == nullptr) {
        Shape* made = CreateShape(read.kind);
        if (made == nullptr) return false;
        made->AddRef();
        shape = made;
        created = true;
    }
    if (AdoptReadShape(shape, read)) {
        taken = true;
        return true;
    }
    if (created) {
        shape->Release();
        shape = nullptr;
        created = false;
    }
    return false;
}

std::string ShapeFileMessage(const char* format, const std::string& name, const std::string& reason) {
    std::string text = FormatString(format, name.c_str(), reason.c_str());
    const size_t room = kStatusTextMax;
    if (text.size() <= room) return text;
    // The name gives way first, down to a few characters at each end around "...".
    constexpr size_t kLeast = 8;
    std::string shortName = name;
    const size_t over = text.size() - room;
    if (name.size() > kLeast) {
        const size_t keep = std::max(kLeast - 3, name.size() >= over + 3 ? name.size() - over - 3 : size_t{0});
        if (keep + 3 < name.size()) {
            const size_t tail = (keep + 1) / 2;
            shortName = name.substr(0, keep - tail) + "..." + name.substr(name.size() - tail);
        }
    }
    text = FormatString(format, shortName.c_str(), reason.c_str());
    // Then the row the reason quotes (it ends the reason), whole fields at a time.
    std::string kept = reason;
    while (text.size() > room) {
        const size_t blank = kept.find_last_of(' ');
        if (blank == std::string::npos || blank == 0) break;
        kept.resize(blank);
        text = FormatString(format, shortName.c_str(), (kept + " ...").c_str());
    }
    return text;
}

namespace {

bool LoadBlocks(Shape* shape, const char* path, bool keepName, Shape** made, std::vector<ReadShape>* more) {
    if (made != nullptr) *made = nullptr;
    if (path == nullptr || path[0] == '\0') return false;
    ShapeLoader loader(shape, keepName);
    loader.reportErrors = true;
    loader.takeAll = loader.multiObject = more != nullptr;
    const bool read = loader.LoadFile(path);
    if (!read && loader.reportErrors) LogPrintf("Parsing error. %s", path);
    const bool ready = loader.State() == kResultReady;
    if (read && ready && loader.takeAll && loader.fileRefusal.empty() && !loader.kept.empty())
        loader.Take(loader.kept.front());
    const bool ok = read && ready && loader.taken && loader.fileRefusal.empty();
    LogFile* log = loader.parseLog.stream != nullptr ? &loader.parseLog : nullptr;
    const char* slash = std::strrchr(path, '/');
    const std::string name = slash != nullptr ? slash + 1 : path;
    if (!ok) {
        // A data file holds a mask's rectangles or an outline, which no shape is made of.
        const bool data = TagIs(loader.blockObject, "REGION") || TagIs(loader.blockObject, "SHAPE");
        const ShapeFileRecord& r = loader.record;
        const std::string why = !loader.badFile.empty()      ? loader.badFile
                                : !read || !ready             ? std::string("there is no file access")
                                : !loader.fileRefusal.empty() ? loader.fileRefusal
                                : !loader.refusal.empty()     ? loader.refusal
                                : data                        ? std::string(kDataFileText)
                                : !r.skippedRow.empty()       ? "no shape taken: " + r.skippedRow
                                                              : std::string("empty");
        if (log != nullptr)
            LogFilePrintf(log, "'%s': %s", path, why.c_str());
        else
            LogPrintf("'%s': %s", path, why.c_str());
        if (log != nullptr) LogPrintf(kCantLoadShapeFormat, path, why.c_str());
        ShapeStatus(kShapeStatusError, ShapeFileMessage(kCantLoadShapeFormat, name, why));
    } else if (const ShapeFileRecord& r = loader.record; r.roleAsked != kRoleUnset) {
        // The file's role does not go with its kind (a Slice runs along an open curve, a
        // Statistic covers an area): the kind's own role was taken.
        const std::string text = FormatString(kRoleNotKeptFormat, name.c_str(), ShapeRoleName(r.roleAsked),
                                              OrEmpty(ShapeKindName(r.roleKind)), ShapeRoleName(r.roleGot));
        LogPrintf("%s", text.c_str());
        ShapeStatus(kShapeStatusNotice, text);
    } else if (ok && !loader.record.skippedRow.empty()) {
        // Taken without a row the reader could not read: said, so that the shape is not
        // taken for the whole file.
        ShapeStatus(kShapeStatusNotice, ShapeFileMessage("%s, %s", kLoadShapeText, loader.record.skippedRow));
    } else if (ok) {
        ShapeStatus(kShapeStatusNotice, kLoadShapeText);
    }
    // The parse log tells what the read took, so that it stays beside the file.
    if (ok && log != nullptr)
        LogFilePrintf(log, "'%s': %zu shape(s) read", path, loader.takeAll ? loader.kept.size() : size_t{1});
    if (ok && made != nullptr && loader.created) {
        // Handed over like a new shape: with no reference.
        Shape* shape = std::exchange(loader.shape, nullptr);
        if (!keepName && loader.Path() != nullptr) ReplaceText(&shape->maskFileName, loader.Path());
        shape->refCount.fetch_sub(1, std::memory_order_acq_rel);
        *made = shape;
    }
    if (ok && more != nullptr) {
        more->insert(more->end(), std::make_move_iterator(loader.kept.begin() + 1),
                     std::make_move_iterator(loader.kept.end()));
    }
    return ok;
}

}  // namespace

bool LoadShapeFileBlocks(Shape* shape, const char* path, bool keepName, Shape** made, std::vector<ReadShape>* more) {
    std::vector<ReadShape> none;
    return LoadBlocks(shape, path, keepName, made, more != nullptr ? more : &none);
}

bool LoadShapeFile(Shape* shape, const char* path, bool keepName, Shape** made, std::vector<Shape*>* more) {
    if (more == nullptr) return LoadBlocks(shape, path, keepName, made, nullptr);
    std::vector<ReadShape> rest;
    if (!LoadBlocks(shape, path, keepName, made, &rest)) return false;
    for (const ReadShape& read : rest) {
        Shape* extra = CreateShape(read.kind);
        if (extra == nullptr) continue;
        extra->AddRef();
        if (!AdoptReadShape(extra, read)) {
            extra->Release();
            continue;
        }
        if (!keepName) ReplaceText(&extra->maskFileName, path);
        more->push_back(extra);
    }
    return true;
}

namespace {

// Draws a shape read from a file into the view as a pasted shape is drawn: a new shape of
// its kind, role, points and offset, current, with its own undo step. Null when the view
// takes none (said in the log and the status line).
Shape* AddReadShape(ShapeContainer* container, int32_t kind, int32_t role, uint8_t flag, const float* xy,
                    uint32_t count, const EditTransformState& offset, int32_t subpix, const char* path) {
    ShapePointList list;
    list.count = count;
    list.data = const_cast<float*>(xy);
    ShapeRequest r;
    r.newShape = 1;
    r.kind = kind;
    r.role = role;
    r.flag = flag;
    r.points = &list;
    r.start[0] = xy[0];
    r.start[1] = xy[1];
    r.end[0] = xy[2 * (count - 1)];
    r.end[1] = xy[2 * (count - 1) + 1];
    Shape* added = container->ShapeFromRequest(r, &offset, nullptr);
    if (added == nullptr) {
        const char* slash = std::strrchr(path, '/');
        const std::string why =
            ShapeFileMessage(kCantLoadShapeFormat, slash != nullptr ? slash + 1 : path, "the view takes no shape");
        LogPrintf("%s", why.c_str());
        ShapeStatus(kShapeStatusError, why);
        return nullptr;
    }
    ReplaceText(&added->maskFileName, path);
    if (added->header.subpix != subpix) {
        {
            ShapeLock lock(added);
            added->header.subpix = subpix;
            added->ResetBounds();
            added->ResetPivot(kUpdateFull);
        }
        added->RestartLinked();
        container->Redraw();
    }
    return added;
}

// Draws the shape made of a file's first block into the view as a pasted shape is drawn.
Shape* AddReadShape(ShapeContainer* container, Shape* made, const char* path) {
    const AnchorBuffer& a = made->header.anchors;
    const ShapeHeader& h = made->header;
    return AddReadShape(container, h.kind, h.role, h.flag, a.Points(), a.Count(), h.offset, h.subpix, path);
}

// What a file brings into a view is one undo step, however many edits drawing it took (the
// blocks of a point file add their anchors one by one to one shape): the steps recorded
// while this stands are joined to the first of them.
class OneUndoStep {
public:
    explicit OneUndoStep(ShapeContainer* container) : undo_(container->undo), before_(container->undo.current) {}
    OneUndoStep(const OneUndoStep&) = delete;
    OneUndoStep& operator=(const OneUndoStep&) = delete;
    ~OneUndoStep() { undo_.JoinSince(before_); }

private:
    ShapeUndoList& undo_;
    ShapeUndoStep* const before_;
};

// The further shapes of a file, each drawn into the view as a fresh shape of its kind takes
// the block; false when the view refused one. A request from outside to end the
// program ends the adding, so that the loop serves it in time.
bool AddReadShapes(ShapeContainer* container, const std::vector<ReadShape>& more, const char* path) {
    const ShapeHeader fresh;
    for (const ReadShape& read : more) {
        if (platform::EndRequestPending()) return false;
        const EditTransformState offset = ReadOffset(read, fresh.offset);
        const int32_t subpix = read.subpix > 0 ? read.subpix : fresh.subpix;
        if (AddReadShape(container, read.kind, read.role, fresh.flag, read.xy.data(), read.Count(), offset, subpix,
                         path) == nullptr)
            return false;
    }
    return true;
}

}  // namespace

// ---- Saving ------------------------------------------------------------------------------------

void ShapeStatus(int code, const std::string& text) {
    PrintStatusLine(kStatusGroupMain, code, kStatusFlagsShow, "%s", text.c_str());
}

bool SaveShapeFile(Shape* shape, const char* name, int32_t form, int32_t refFlag, bool showMessages) {
    if (shape == nullptr) return false;
    if (ShapeIsEmpty(shape)) {
        if (showMessages) ShapeStatus(kShapeStatusError, kMaskEmptyText);
        return false;
    }
    ShapeFileWriter writer(shape, form, refFlag);
    if (!writer.OpenForSave(name, false, false)) {
        // A target the file system refuses (read-only or full) is a file without access.
        if (writer.State() == kErrDrive) LogPrintf(kNoFileAccessFormat, writer.Path() != nullptr ? writer.Path() : name);
        return false;
    }
    writer.showMessages = showMessages;
    if (writer.SaveFile() && writer.State() == kResultReady) {
        if (showMessages) ShapeStatus(kShapeStatusNotice, kSaveShapeText);
        return true;
    }
    LogPrintf(kNoFileAccessFormat, writer.Path() != nullptr ? writer.Path() : "");
    return false;
}

bool SaveShapeAs(Shape* shape, int32_t form, int32_t refArg) {
    if (shape == nullptr || ShapeIsEmpty(shape)) return false;
    const int32_t refFlag = refArg == 1 ? 1 : 0;
    const bool refFile = IsRefFile(shape, refFlag);
    char buffer[kPathMax];
    char** remembered = ShapeRememberedName(shape, form, refFile);
    if (*remembered != nullptr && (*remembered)[0] != '\0' && std::strlen(*remembered) < sizeof buffer)
        std::memcpy(buffer, *remembered, std::strlen(*remembered) + 1);
    else
        DefaultShapeFileName(shape, buffer, nullptr, false, form, refFlag);
    const int32_t role = shape->header.role;
    const char* purpose = refFile ? "Reference point"
                          : role == kRoleSlice || role == kRoleStatistic || role == kRoleFindArea ? "Mask"
                                                                                                  : "Shape";
    const char* kind = shape->KindName();
    const std::string title = FormatString("Save %s %s '%s' As...", purpose, !refFile && form == 0 ? "Data" : "",
                                           kind != nullptr && kind[0] != '\0' ? kind : "unknow");
    int32_t& index = TheShapeGlobals().shapeFileFilter[refFile ? 1 : form == 1 ? 0 : 2];
    const char* shownTitle = title.size() < kPathMax ? title.c_str() : nullptr;
    if (RunFileDialog(nullptr, nullptr, buffer, sizeof buffer, nullptr, shownTitle,
                      kOfnOverwritePrompt | kOfnExtensionDifferent | kOfnPathMustExist, kShapeFileFilter, "msk",
                      kFileDialogText, &index, kFileDialogSave) == 0)
        return false;
    return SaveShapeFile(shape, buffer, form, refFlag, true);
}

bool MergeShapeFile(ShapeContainer* container, const char* path) {
    if (container == nullptr) return false;
    // The view is painted and its shapes measured once, with every shape of the file in place.
    ShapeBatch batch;
    Shape* made = nullptr;
    std::vector<ReadShape> more;
    if (!LoadShapeFileBlocks(nullptr, path, false, &made, &more)) return false;
    ShapeRef hold(made);
    const OneUndoStep step(container);
    return AddReadShape(container, made, path) != nullptr && AddReadShapes(container, more, path);
}

bool ReplaceFromShapeFile(Shape* shape, const char* path) {
    if (shape == nullptr) return false;
    // The further shapes are painted and measured once, with the last in place.
    ShapeBatch batch;
    std::vector<ReadShape> more;
    if (!LoadShapeFileBlocks(shape, path, false, nullptr, &more)) return false;
    return shape->container == nullptr || AddReadShapes(shape->container, more, path);
}

bool LoadShapeAs(Shape* shape) {
    if (shape == nullptr) return false;
    // The dialog starts where the shape was last loaded or saved.
    char buffer[kPathMax] = "";
    for (const char* name : {shape->maskFileName, shape->dataFileName})
        if (name != nullptr && name[0] != '\0' && std::strlen(name) < sizeof buffer) {
            std::memcpy(buffer, name, std::strlen(name) + 1);
            break;
        }
    const int32_t role = shape->header.role;
    const bool mask = role == kRoleSlice || role == kRoleStatistic || role == kRoleFindArea;
    int32_t& index = TheShapeGlobals().shapeFileFilter[0];
    FileDialogOptions options;
    if (RunFileDialog(nullptr, &options, buffer, sizeof buffer, nullptr, mask ? "Load Mask..." : "Load Shape...",
                      kOfnFileMustExist | kOfnPathMustExist, kShapeFileFilter, "msk", kFileDialogShapes, &index,
                      kFileDialogOpen) == 0)
        return false;
    // "Merge" adds the file's shape to the view; else it takes the place of this one.
    if (options.passThrough == 1 && shape->container != nullptr) return MergeShapeFile(shape->container, buffer);
    return ReplaceFromShapeFile(shape, buffer);
}

}  // namespace orva
