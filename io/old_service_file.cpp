#include "io/old_service_file.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "common/clib.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/keyword_table.h"
#include "common/text.h"

namespace orva {

namespace {

// Statements handled per key line.
constexpr int kMaxStatementsPerLineOld = 1024;

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsKeyStart(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_'; }
bool IsKeyChar(char c) { return IsKeyStart(c) || IsDigit(c); }

// One line without its end; at most kOldServiceLineSize - 1 characters are kept
// (the rest of a longer line is dropped). False at the end of the file.
bool ReadLine(FILE* in, std::string* line) {
    line->clear();
    int c;
    bool any = false;
    while ((c = std::fgetc(in)) != EOF) {
        any = true;
        if (c == '\n') break;
        if (line->size() < kOldServiceLineSize - 1) line->push_back(static_cast<char>(c));
    }
    if (!any) return false;
    if (!line->empty() && line->back() == '\r') line->pop_back();
    return true;
}

// Only printable characters and tabs may stand in a line.
bool HasBadCharacter(const std::string& line) {
    for (char ch : line) {
        unsigned char c = static_cast<unsigned char>(ch);
        if ((c < 0x20 && c != '\t') || c == 0x7F) return true;
    }
    return false;
}

// The useful part of a line: leading blanks and ';' skipped, cut at the first '/'.
char* UsefulPart(std::string& line) {
    size_t slash = line.find('/');
    if (slash != std::string::npos) line.resize(slash);
    char* p = line.data();
    while (IsBlank(*p) || *p == ';') ++p;
    return p;
}

// A number as strtod reads it, accepting the locale's decimal point as well as '.'.
bool ReadNumber(const char* p, double* value, const char** end) {
    while (IsBlank(*p)) ++p;
    std::string text(p);
    const char point = ClibDecimalPoint();
    if (point != '.') {
        for (char& c : text)
            if (c == point) c = '.';
    }
    const char* s = text.c_str();
    bool negative = false;
    size_t skip = 0;
    if (*s == '+' || *s == '-') {
        negative = *s == '-';
        skip = 1;
    }
    double v = 0.0;
    auto r = std::from_chars(s + skip, s + text.size(), v, std::chars_format::general);
    if (r.ec != std::errc() || !std::isfinite(v)) return false;
    *value = negative ? -v : v;
    *end = p + (r.ptr - s);
    return true;
}

// "%d%d": up to two integers; returns how many were read.
int ReadTwoInts(const char* p, int64_t* a, int64_t* b) {
    int64_t* out[2] = {a, b};
    int n = 0;
    while (n < 2) {
        while (IsBlank(*p)) ++p;
        const char* digits = p;
        if (*digits == '+' || *digits == '-') ++digits;
        if (!IsDigit(*digits)) break;
        char* end = nullptr;
        long long v = std::strtoll(p, &end, 10);
        if (v > 0x7FFFFFFF) v = 0x7FFFFFFF;  // "%d" reads an int
        if (v < -0x7FFFFFFFLL - 1) v = -0x7FFFFFFFLL - 1;
        *out[n++] = v;
        p = end;
    }
    return n;
}

}  // namespace

int OldServiceFileName(char* out, size_t size, const char* path) {
    if (out == nullptr || size == 0) return kErrUnsupported;
    out[0] = '\0';
    if (path == nullptr) return 0;
    size_t length = std::strlen(path);
    if (length + 1 > size) return kErrUnsupported;
    std::memcpy(out, path, length + 1);
    int r = PathMarkExtension(out, '%', size);
    if (r < 0) {
        out[0] = '\0';
        return kErrUnsupported;
    }
    if (r == 0) {
        out[0] = '\0';
        return 0;
    }
    return 2;
}

bool OldServiceFile::Load() { return ParsingServisFile(); }

bool OldServiceFile::ParsingServisFile() {
    ServiceDescription* d = description_;
    FILE* in = Stream();
    if (d == nullptr || in == nullptr) return false;
    const char* name = Path() ? Path() : "";
    d->scale = 1.0;
    std::string line;
    uint32_t lineNo = 0;

    // Width and height.
    int64_t width = 0, height = 0;
    int count = 0;
    if (ReadLine(in, &line)) {
        ++lineNo;
        if (HasBadCharacter(line)) {
            LogPrintf("$bad file: \"%s\"", name);
            SetState(-1);
            return false;
        }
        count = ReadTwoInts(UsefulPart(line), &width, &height);
    }
    if (count == 0) LogPrintf("$No data in service file %s", name);
    if (width > 0) {
        d->sizeX = width;
        d->flags |= kFlagSizeX;
        d->active = 1;
    }
    if (height > 0) {
        d->sizeY = height;
        d->flags |= kFlagSizeY;
        d->active = 1;
    }
    if (width <= 0 && height <= 0) return true;

    // The display range as mean and spread.
    double numbers[2];
    int found = 0;
    bool waiting = false;
    while (found < 2 && lineNo < kOldServiceMaxLines && ReadLine(in, &line)) {
        ++lineNo;
        if (HasBadCharacter(line)) {
            LogPrintf("$bad file: \"%s\"", name);
            SetState(-1);
            return false;
        }
        std::string copy = line;
        const char* p = UsefulPart(copy);
        if (*p == '\0') continue;
        const char point = ClibDecimalPoint();
        if (!(IsDigit(*p) || *p == '+' || *p == '-' || *p == '.' || *p == point)) {
            waiting = true;  // the first key line
            break;
        }
        const char* end;
        while (found < 2 && ReadNumber(p, &numbers[found], &end)) {
            ++found;
            p = end;
        }
        // Whatever follows the numbers of a number line is dropped with it.
    }
    if (found == 2) {
        d->min = numbers[0] - 2.0 * numbers[1];
        d->max = numbers[0] + 4.0 * numbers[1];
        d->flags |= kFlagValueRange;
    }

    // KEY=value lines.
    FsKeyTarget target;
    target.description = d;
    ParseState state;
    if (!SelectFsKeywordTableFull(&state, &target)) {
        SetState(-8);
        return true;
    }
    state.log = ProgramLogTarget();
    bool have = waiting;
    while (true) {
        if (!have) {
            if (lineNo >= kOldServiceMaxLines || !ReadLine(in, &line)) break;
            ++lineNo;
        }
        have = false;
        if (HasBadCharacter(line)) {
            LogPrintf("$bad script file: \"%s\"", name);
            d->flags = 0;
            SetState(-1);
            return false;
        }
        char* p = UsefulPart(line);
        for (int k = 0; k < kMaxStatementsPerLineOld; ++k) {
            while (IsBlank(*p) || *p == ';') ++p;
            if (!IsKeyStart(*p)) break;
            char* key = p;
            while (IsKeyChar(*p)) ++p;
            state.key = key;
            state.keyLength = static_cast<uint32_t>(p - key);
            state.value = nullptr;
            state.line = lineNo;
            char* end = std::strchr(p, ';');
            if (end) *end = '\0';
            DispatchFsKey(&state);
            if (end == nullptr) break;
            p = end + 1;
        }
    }
    return true;
}

bool OldServiceFile::Save() {
    const ServiceDescription* d = description_;
    FILE* out = Stream();
    if (d == nullptr || out == nullptr) return false;
    std::string head = FormatString("  %I64d  %I64d \n", d->sizeX, d->sizeY);
    bool ok = std::fwrite(head.data(), 1, head.size(), out) == head.size();
    if (d->flags & kFlagValueRange) {
        // Mean and spread that read back as min = a - 2b, max = a + 4b (a zero is
        // written as 0, never as -0, so that what reads back writes the same).
        double a = (2.0 * d->min + d->max) / 3.0 + 0.0;
        double b = (d->max - d->min) / 6.0 + 0.0;
        std::string range = FormatString("%.17g  %.17g \n\n", a, b);
        ok = std::fwrite(range.data(), 1, range.size(), out) == range.size() && ok;
    }
    ok = WriteFsKeys(d, out, '\0') > 0 && ok;
    if (ok && std::fflush(out) != 0) ok = false;
    if (!ok) SetState(-5);
    return ok;
}

bool LoadOldServiceDescription(const char* path, ServiceDescription** description) {
    if (path == nullptr || description == nullptr) return false;
    char name[kPathMax];
    if (OldServiceFileName(name, sizeof(name), path) != 2 || !FileExists(name)) return false;
    auto* d = new (std::nothrow) ServiceDescription;
    if (d == nullptr) return false;
    OldServiceFile file(d);
    bool read = file.LoadFile(name, kDiskText);
    bool ok = false;
    if (read && file.State() == 2) {
        ok = FsAfterLoadChecks(d, 0);
    } else {
        LogPrintf("%s", "ParsingServisFile: error");
        // A read that ended early (no key table) still gives what it found.
        if (read) ok = FsAfterLoadChecks(d, 0);
    }
    if (!ok) {
        delete d;
        return false;
    }
    if (*description != nullptr) {
        MoveServiceDescription(*description, d);
        (*description)->active = d->active;
        delete d;
    } else {
        *description = d;
    }
    return true;
}

bool writeOldServisFile(const ServiceDescription* description, const char* path, bool shortExtension,
                        bool keepBackup) {
    if (description == nullptr || path == nullptr) return false;
    char name[kPathMax];
    if (OldServiceFileName(name, sizeof(name), path) != 2) {
        LogPrintf("%s", "writeOldServisFile: error");
        return false;
    }
    uint32_t mode = kDiskSubclass400 | kDiskSubclass80 | kDiskTemp | kDiskText;
    if (shortExtension) mode |= kDiskShortExt;
    if (keepBackup) mode |= kDiskBackup;
    OldServiceFile file(const_cast<ServiceDescription*>(description));
    bool ok = file.SaveFile(name, mode);
    if (!ok && file.IsOpen()) file.Discard();
    if (!ok || file.State() != 2) {
        LogPrintf("%s", "writeOldServisFile: error");
        return false;
    }
    return true;
}

void DeleteOldServiceFiles(const char* path) {
    char name[kPathMax];
    if (OldServiceFileName(name, sizeof(name), path) != 2) return;
    if (FileExists(name)) std::remove(name);
    char* percent = std::strrchr(name, '%');
    if (percent == nullptr) return;
    // The short form keeps the first character of an extension of two or more.
    if (std::strlen(percent + 1) >= 2) {
        percent[2] = '\0';
        if (FileExists(name)) std::remove(name);
    }
}

}  // namespace orva
