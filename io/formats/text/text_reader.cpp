#include "io/formats/text/text_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cfloat>
#include <cstdarg>
#include <cstdint>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/printf_format.h"
#include "framework/keyword_table.h"
#include "io/formats/bmp/decoded_image.h"
#include "io/formats/text/line_reader.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "io/stream.h"
#include "common/text.h"

namespace orva {

namespace {

constexpr int kErrNoTextTempFile = -18;
constexpr int kErrNoKeyTables = -15;
constexpr uint32_t kRealType = 0x40;  // 64-bit real samples
constexpr size_t kOutBlock = 1 << 17;  // doubles gathered before a write
constexpr size_t kMaxRecordColumns = size_t{1} << 20;  // values of one binary "#data" record

// Reader states.
enum : int { kReading = 0, kReadingRows = 1, kSectionEnded = 2, kStopped = 3, kFailed = 5 };

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// A digit, "." and a digit, or a sign followed by either.
bool StartsLikeNumber(const char* p) {
    if (*p == '+' || *p == '-') ++p;
    return IsDigit(*p) || (*p == '.' && IsDigit(p[1]));
}

// The first byte below 32 other than TAB, or null. Eight bytes at a time: a word with no
// byte below 32 (the usual case) is passed over at once.
inline const char* FindControl(const char* p, const char* end) {
    constexpr uint64_t kOnes = 0x0101010101010101ULL;
    constexpr uint64_t kHighs = 0x8080808080808080ULL;
    auto clean = [](const char* at) {
        uint64_t x;
        std::memcpy(&x, at, 8);
        return ((x - kOnes * 0x20) & ~x & kHighs) == 0;
    };
    const char* const start = p;
    for (; end - p >= 8; p += 8) {
        if (clean(p)) continue;
        for (int k = 0; k < 8; ++k)
            if (static_cast<unsigned char>(p[k]) < 32 && p[k] != '\t') return p + k;
    }
    // The last few bytes as one word that overlaps the words already passed.
    if (p < end && end - start >= 8 && clean(end - 8)) return nullptr;
    for (; p < end; ++p)
        if (static_cast<unsigned char>(*p) < 32 && *p != '\t') return p;
    return nullptr;
}

// Case-insensitive prefix test of a command word.
bool CommandIs(const char* text, const char* word) { return strncasecmp(text, word, std::strlen(word)) == 0; }

// The private temporary file of the values: like the decoded image files, unlinked as
// soon as it is open.
int OpenTextStream(StreamRecord** holder, const char* dataFile) {
    char name[kPathMax];
    name[0] = '\0';
    if (!MakeTempFile(name, nullptr, kTextFilePrefix)) return kErrNoTextTempFile;
    int r = StreamOpen(holder, kDecodedStreamMode, name, dataFile);
    if (*holder == nullptr || (*holder)->fd < 0) {
        ::unlink(name);
        return r < 0 ? r : kErrNoTextTempFile;
    }
    return kResultReady;
}

// Rows of values gathered into large blocks, which a writer thread writes while the next
// block is filled.
struct OutFile {
    StreamRecord* stream = nullptr;
    std::unique_ptr<BlockWriter> writer;
    double* block = nullptr;  // the block being filled
    size_t capacity = 0;      // its size in values
    size_t used = 0;
    int64_t offset = 0;       // file position of the block
    bool failed = false;
    int64_t rows = 0;         // records of a side file
    uint32_t width = 0;       // values per record of a side file, fixed by its first section

    bool Start() {
        writer.reset(new (std::nothrow) BlockWriter(stream, 4));
        return writer && writer->Ready();
    }
    void Submit() {
        if (block != nullptr && used > 0) {
            const size_t bytes = used * sizeof(double);
            writer->Submit(reinterpret_cast<uint8_t*>(block), offset, bytes);
            offset += static_cast<int64_t>(bytes);
        }
        block = nullptr;
        used = capacity = 0;
    }
    // Room for n values at the end of the block (a full block goes to the writer first);
    // null when memory is short or a write failed.
    double* Reserve(size_t n) {
        if (block != nullptr && used + n <= capacity) return block + used;
        if (failed || !writer) return nullptr;
        Submit();
        const size_t want = n > kOutBlock ? n : kOutBlock;
        uint8_t* b = writer->Acquire(want * sizeof(double));
        if (b == nullptr) {
            failed = true;
            return nullptr;
        }
        block = reinterpret_cast<double*>(b);
        capacity = want;
        return block;
    }
    bool Put(const double* v, size_t n) {
        double* at = Reserve(n);
        if (at == nullptr) return false;
        std::memcpy(at, v, n * sizeof(double));
        used += n;
        return true;
    }
    // Everything to the file; the bytes written without a gap from the start.
    int64_t Finish() {
        if (!writer) return 0;
        Submit();
        const int64_t written = writer->Finish();
        if (written != offset) failed = true;
        writer.reset();
        return written;
    }
};

// The value of a cell that holds no number (64-bit real data's missing sample).
constexpr double kMissingValue = -DBL_MAX;

// After a cell: blanks, at most one separator, blanks. Two separators in a row enclose
// an empty cell, which the next read finds.
inline void SkipCellEnd(const char*& p, const char* end, char sep) {
    while (p < end && IsBlank(*p)) ++p;
    if (sep != 0 && p < end && *p == sep) {
        ++p;
        while (p < end && IsBlank(*p)) ++p;
    }
}

// One number at p (a leading "+" allowed); p moves past it and the separator after it.
// False for a token that is not a number or is infinite.
inline bool ReadNumber(const char*& p, const char* end, char sep, double* v) {
    const char* s = p;
    if (*s == '+' && s[1] != '-' && s[1] != '+') ++s;
    auto [q, ec] = std::from_chars(s, end, *v);
    if (ec == std::errc::result_out_of_range) {
        // Tiny values underflow to zero (or a subnormal) as the C library reads them;
        // huge ones are infinite and refused below.
        char* e = nullptr;
        *v = std::strtod(s, &e);
        q = e;
    } else if (ec != std::errc()) {
        return false;
    }
    if (std::isinf(*v)) return false;
    if (q < end && !IsBlank(*q) && (sep == 0 || *q != sep)) return false;
    SkipCellEnd(q, end, sep);
    p = q;
    return true;
}

// Passes over one cell, empty or not.
inline void SkipToken(const char*& p, const char* end, char sep) {
    while (p < end && !IsBlank(*p) && (sep == 0 || *p != sep)) ++p;
    SkipCellEnd(p, end, sep);
}

enum class Cell { kValue, kEmpty, kEnd, kBad };

// The cell at p: a number, an empty cell between two separators, the end of the row, or
// a token that is not a number (p stays at it).
inline Cell ReadCell(const char*& p, const char* end, char sep, double* v) {
    if (p >= end) return Cell::kEnd;
    if (sep != 0 && *p == sep) {
        SkipToken(p, end, sep);
        return Cell::kEmpty;
    }
    return ReadNumber(p, end, sep, v) ? Cell::kValue : Cell::kBad;
}

// One entry of the column map: the buffer (0 values, 1 second values, 2 coordinates,
// 3 second coordinates) and the place in it, or a count of skipped columns.
struct ColumnItem {
    int buffer = -1;  // -1: skip `count` columns
    uint32_t place = 0;
    uint32_t count = 1;
};

class TextParser {
public:
    TextParser(InputSource* source, const char* path) : source_(source), path_(path) {}
    ~TextParser() {
        for (OutFile& f : out_) {
            f.writer.reset();  // its thread writes to the stream: it goes first
            StreamClose(&f.stream);
        }
        if (logOpen_) LogFileClose(&log_);
        std::free(log_.path);
        delete main_;
        delete common_;
    }
    TextParser(const TextParser&) = delete;
    TextParser& operator=(const TextParser&) = delete;

    int Run(TextTableResult* out);

private:
    // A line of the table's log (printf with the system's "%I64d" spelling).
    void Log(const char* format, ...);
    unsigned Line() const { return static_cast<unsigned>(line_); }
    int Policy() const { return main_ ? main_->parseErrorMode : 0; }
    // A bad row under the error policy: true when reading goes on without it (ERROR=
    // PARSING:SKIP, the default, PAUSE and CONTINUE), false when it stops (STOP) or fails.
    bool BadRow() {
        const int p = Policy();
        if (p == kFsErrorStop || p == 4) {
            state_ = p == 4 ? kFailed : kStopped;
            if (stoppedAt_ == 0) stoppedAt_ = line_;
            return false;
        }
        ++skipped_;
        return true;
    }
    // A cell that holds no number: under ERROR=PARSING:CONTINUE the row keeps it, marked
    // missing; otherwise the row is bad.
    bool MarkMissing() const { return Policy() == kFsErrorContinue; }
    // Tells the user on the status line what the policy did to the table's rows.
    void ReportRows() const;
    void SetMode(int mode);
    void EndSection() { sectionReady_ = false; }
    void Command(char* text);
    // 1 loaded, 0 not loaded (the caller applies the error policy), -1 reading stopped.
    int LoadDataFile(char* text);
    void ReadTextDataFile(int fd);
    void ReadBinaryDataFile(int fd);
    void KeyLine(char* text);
    void RowLine(const char* p, const char* end, bool tooLong);
    bool SetUpSection();
    // A refused or empty column map: the section is skipped, or the read fails under policy 4.
    bool SkipEmptySection();
    bool OpenOutFile(OutFile* f);
    // Section set-up and the row limit before a row; false when the row is not read.
    bool BeginRow();
    // Splits a row; plain rows go to `direct` when it is given (room for width_ values).
    bool ParseRow(const char* p, const char* end, double* direct);
    // The same for a binary record of RecordColumns() values.
    bool DecodeRecord(const double* record, double* direct);
    size_t RecordColumns() const;
    // Writes a parsed row: the values (unless parsed in place) and the side records.
    void EmitRow(bool inPlace);
    void CheckRequestedSize();
    void MergeCommon();
    int HandleLine(char* line, size_t length, bool tooLong, bool dataFileOnly);

    InputSource* source_;
    const char* path_;
    ServiceDescription* main_ = nullptr;
    ServiceDescription* common_ = nullptr;
    TextSplit split_;
    FsKeyTarget target_;
    ParseState parse_;
    LogFile log_;
    bool logOpen_ = false;
    int mode_ = 1;
    int state_ = kReading;
    int failure_ = 0;  // the negative result of a failed read
    int64_t line_ = 0;
    int errors_ = 0;
    int64_t skipped_ = 0;    // bad rows left out
    int64_t marked_ = 0;     // rows kept with missing cells
    int64_t stoppedAt_ = 0;  // the line at which ERROR=PARSING:STOP ended the reading

    bool sectionReady_ = false;
    bool skipSection_ = false;
    std::vector<ColumnItem> map_;
    bool plain_ = true;        // no pattern: every column is a value
    int64_t width_ = 0;        // values per row, fixed by the first section
    uint32_t used_[4] = {0, 0, 0, 0};
    std::vector<double> row_[kTextBufferCount];
    OutFile out_[kTextBufferCount];
    OutFile& values_ = out_[kTextValues];
    int64_t rows_ = 0;
};

void TextParser::Log(const char* format, ...) {
    ++errors_;
    if (!logOpen_) return;
    va_list args;
    va_start(args, format);
    const std::string text = VFormatString(format, args);
    va_end(args);
    LogFilePrintf(&log_, "%s", text.c_str());
}

void TextParser::ReportRows() const {
    if (skipped_ == 0 && marked_ == 0 && stoppedAt_ == 0) return;
    const char* slash = std::strrchr(path_, '/');
    const char* name = slash != nullptr ? slash + 1 : path_;
    std::string text = std::string("'") + name + "' - ";
    if (stoppedAt_ != 0) {
        text += FormatString("reading stopped at bad line %I64d", static_cast<long long>(stoppedAt_));
    } else {
        if (skipped_ != 0)
            text += FormatString("%I64d bad row(s) skipped", static_cast<long long>(skipped_));
        if (marked_ != 0)
            text += FormatString("%s%I64d row(s) with missing values", skipped_ != 0 ? ", " : "",
                                 static_cast<long long>(marked_));
    }
    text += std::string(", see ") + name + ".log";
    ShowWarning(text.c_str());
}

void TextParser::MergeCommon() {
    const ServiceDescription& c = *common_;
    if (c.flags & kFlagChannels) {
        main_->channels = c.channels;
        main_->flags |= kFlagChannels;
    }
    if (c.parseErrorMode != 0) main_->parseErrorMode = c.parseErrorMode;
    // Sizes, axes and scales given before the first section hold for the whole table.
    struct {
        uint64_t flag;
        const int64_t* from;
        int64_t* to;
    } sizes[] = {{kFlagSizeX, &c.sizeX, &main_->sizeX}, {kFlagSizeY, &c.sizeY, &main_->sizeY},
                 {kFlagSizeZ, &c.sizeZ, &main_->sizeZ}};
    for (const auto& z : sizes)
        if (c.flags & z.flag) *z.to = *z.from;
    if (c.flags & kFlagAxes) main_->naxis = c.naxis;
    if (c.flags & kFlagScale) main_->scale = c.scale;
    if (c.flags & kFlagZero) main_->zero = c.zero;
    for (int k = 0; k < 3; ++k) {
        const uint64_t scaleFlag = kFlagScaleX << (2 * k), zeroFlag = kFlagZeroX << (2 * k);
        if (c.flags & scaleFlag) main_->axis[k].scale = c.axis[k].scale;
        if (c.flags & zeroFlag) main_->axis[k].zero = c.axis[k].zero;
        if (c.flags & (scaleFlag | zeroFlag)) main_->axisScales = main_->axis;
    }
    main_->flags |= c.flags & (kFlagSizeX | kFlagSizeY | kFlagSizeZ | kFlagAxes | kFlagScale | kFlagZero |
                               kFlagScaleX | kFlagZeroX | kFlagScaleY | kFlagZeroY | kFlagScaleZ | kFlagZeroZ);
    if (c.valueT != 0.0) main_->valueT = c.valueT;
    if (c.valueD != 0.0) main_->valueD = c.valueD;
    if (c.valueX != 0.0) main_->valueX = c.valueX;
    if (c.valueY != 0.0) main_->valueY = c.valueY;
    if (c.valueZ != 0.0) main_->valueZ = c.valueZ;
    if (c.valueDX != 0.0) main_->valueDX = c.valueDX;
    if (c.valueDY != 0.0) main_->valueDY = c.valueDY;
    if (c.valueDZ != 0.0) main_->valueDZ = c.valueDZ;
}

void TextParser::SetMode(int mode) {
    if (mode_ == 1 && mode != 1) MergeCommon();
    mode_ = mode;
}

void TextParser::KeyLine(char* text) {
    // An unquoted ";" ends the statement, so that SEPARATOR=; names no separator.
    for (const char* p = text; (p = strcasestr(p, "SEPARATOR")) != nullptr; p += 9) {
        const char* q = p + 9;
        while (IsBlank(*q)) ++q;
        if (*q++ != '=') continue;
        while (IsBlank(*q)) ++q;
        if (*q == ';')
            Log("%u: SEPARATOR=; names no separator (a ';' ends the statement): write SEPARATOR=\";\"", Line());
    }
    target_.description = mode_ == 1 ? common_ : main_;
    target_.split = &split_;
    if (!SelectFsKeywordTable(&parse_, &target_, mode_)) return;
    int bad = 0;
    ParseKeyValueLine(&parse_, text, Line(), &bad);
    if (bad > 0) errors_ += bad;
    // A new pattern or separator applies from the next section on.
    EndSection();
}

void TextParser::Command(char* text) {
    while (IsBlank(*text)) ++text;
    if (CommandIs(text, "COMMON")) {
        ResetServiceDescription(common_);
        split_.Clear();
        split_.separator = 0;
        map_.clear();
        EndSection();
        mode_ = 1;
        state_ = kReading;
        return;
    }
    if (state_ == kStopped) return;
    if (CommandIs(text, "FRAME")) {
        state_ = kReading;
        SetMode(2);
        EndSection();
    } else if (CommandIs(text, "param")) {
        state_ = kReading;
        EndSection();
    } else if (CommandIs(text, "end")) {
        state_ = kSectionEnded;
        EndSection();
    } else if (CommandIs(text, "data")) {
        SetMode(3);
        EndSection();
        state_ = kReading;
        char* rest = text + 4;
        if (!IsBlank(*rest)) rest += std::strlen(rest);  // "#database": no file name
        while (IsBlank(*rest)) ++rest;
        if (*rest == '\0') return;
        const std::string named(rest);
        if (LoadDataFile(rest) == 0) {
            Log("%I64d: parsing: #data section: %s", static_cast<long long>(line_), named.c_str());
            const int p = Policy();
            state_ = p == 3 ? kStopped : p == 4 ? kFailed : kSectionEnded;
        }
    } else {
        Log("%I64d: unk. cmd: %s", static_cast<long long>(line_), text);
    }
}

// "#data NAME [MODE]": the rows of the section come from another file, as text (no mode,
// "r", "rt" or "text") or as binary records of 64-bit reals ("rb" or "binary"), one value
// per column of the section. The name may be quoted ("..." or <...>, which may hold
// blanks), may use "\" separators and is taken relative to the table's folder.
int TextParser::LoadDataFile(char* text) {
    std::string name, mode;
    if (*text == '"' || *text == '<') {
        const char close = *text == '"' ? '"' : '>';
        char* stop = std::strchr(text + 1, close);
        if (stop == nullptr) return 0;
        name.assign(text + 1, stop);
        text = stop + 1;
    } else {
        char* stop = text;
        while (*stop != '\0' && !IsBlank(*stop)) ++stop;
        name.assign(text, stop);
        text = stop;
    }
    while (IsBlank(*text)) ++text;
    mode = text;
    while (!mode.empty() && IsBlank(mode.back())) mode.pop_back();
    bool binary = false;
    if (strcasecmp(mode.c_str(), "rb") == 0 || strcasecmp(mode.c_str(), "binary") == 0)
        binary = true;
    else if (!mode.empty() && strcasecmp(mode.c_str(), "r") != 0 && strcasecmp(mode.c_str(), "rt") != 0 &&
             strcasecmp(mode.c_str(), "text") != 0)
        return 0;
    const char* slash = std::strrchr(path_, '/');
    const std::string folder = slash ? std::string(path_, static_cast<size_t>(slash - path_) + 1) : std::string();
    std::string path;
    if (!DsvResolveFileName(name.c_str(), folder, &path)) return 0;
    // Non-blocking, so that naming a pipe cannot hang the open; only a regular file is read.
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    const bool regular = fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
    if (fd < 0 || (!regular && !binary)) {
        if (fd >= 0) ::close(fd);
        Log("%I64d: #data section: can`t load file '%s'", static_cast<long long>(line_), path.c_str());
        return 0;
    }
    if (!regular) {
        // Binary records need a file read as it stands, byte for byte.
        ::close(fd);
        Log("$ Can`t set binary mode, stop read file");
        state_ = kStopped;
        return -1;
    }
    const int64_t outerLine = line_;
    line_ = 0;
    if (binary)
        ReadBinaryDataFile(fd);
    else
        ReadTextDataFile(fd);
    ::close(fd);
    line_ = outerLine;
    if (state_ == kReadingRows || state_ == kReading) state_ = kSectionEnded;
    EndSection();
    return state_ == kStopped || state_ == kFailed ? -1 : 1;
}

void TextParser::ReadTextDataFile(int fd) {
    LineReader reader(fd, kTextLineLimit);
    char* line = nullptr;
    size_t n = 0;
    bool tooLong = false;
    while (state_ != kFailed && state_ != kStopped && reader.Next(&line, &n, &tooLong) == 1)
        if (HandleLine(line, n, tooLong, true) < 0) break;
}

size_t TextParser::RecordColumns() const {
    if (plain_) return static_cast<size_t>(width_);
    size_t n = 0;
    for (const ColumnItem& item : map_) n += item.buffer < 0 ? item.count : 1;
    return n;
}

void TextParser::ReadBinaryDataFile(int fd) {
    state_ = kReadingRows;
    if (!sectionReady_ && !SetUpSection()) return;
    if (skipSection_) return;
    // Plain records: as wide as the rows before them, else SIZEX values, else one.
    if (plain_ && width_ == 0) {
        const int64_t asked = (main_->flags & kFlagSizeX) ? main_->sizeX : 0;
        width_ = asked > 0 && asked <= static_cast<int64_t>(kMaxRecordColumns) ? asked : 1;
    }
    const size_t columns = RecordColumns();
    if (columns == 0) return;
    if (columns > kMaxRecordColumns) {
        // No text row can be this wide either (a skip count of a pattern can claim it).
        ++line_;
        Log("%u: split err: %s", Line(), "record too large");
        BadRow();
        return;
    }
    const size_t recordBytes = columns * sizeof(double);
    std::vector<double> block(columns * std::max<size_t>(1, (size_t{1} << 16) / columns));
    char* bytes = reinterpret_cast<char*>(block.data());
    const size_t capacity = block.size() * sizeof(double);
    size_t have = 0;
    for (;;) {
        ssize_t got;
        do {
            got = ::read(fd, bytes + have, capacity - have);
        } while (got < 0 && errno == EINTR);
        if (got <= 0) break;
        have += static_cast<size_t>(got);
        const size_t whole = have / recordBytes;
        for (size_t r = 0; r < whole; ++r) {
            ++line_;
            if (!BeginRow()) return;
            double* direct = plain_ ? values_.Reserve(columns) : nullptr;
            if (plain_ && direct == nullptr) {
                Log("can`t write dat file, ACSDN?");
                state_ = kStopped;
                return;
            }
            if (!DecodeRecord(block.data() + r * columns, direct)) {
                if (!BadRow()) return;
                continue;
            }
            EmitRow(direct != nullptr);
            if (state_ == kStopped || state_ == kFailed) return;
        }
        have -= whole * recordBytes;
        std::memmove(bytes, bytes + whole * recordBytes, have);
    }
    if (have != 0) {
        ++line_;
        Log("%u: split err: %s", Line(), "short record");
        BadRow();
    }
}

bool TextParser::DecodeRecord(const double* record, double* direct) {
    const size_t columns = RecordColumns();
    size_t infinite = 0;
    for (size_t k = 0; k < columns; ++k) infinite += std::isinf(record[k]) ? 1 : 0;
    if (infinite > 0) {
        if (!MarkMissing()) {
            Log("%u: split err: %s", Line(), "infinite value");
            return false;
        }
        Log("%u: split err: %d missing value(s), kept as missing", Line(), static_cast<int>(infinite));
        ++marked_;
    }
    auto value = [](double v) { return std::isinf(v) ? kMissingValue : v; };
    if (plain_) {
        for (size_t k = 0; k < columns; ++k) direct[k] = value(record[k]);
        return true;
    }
    for (const ColumnItem& item : map_) {
        if (item.buffer < 0) {
            record += item.count;
            continue;
        }
        row_[item.buffer][item.place] = value(*record++);
    }
    return true;
}

bool TextParser::OpenOutFile(OutFile* f) {
    if (f->stream != nullptr) return true;
    const int r = OpenTextStream(&f->stream, path_);
    if (r < kResultReady) {
        failure_ = r;
        state_ = kFailed;
        return false;
    }
    if (!f->Start()) {
        failure_ = kErrOutOfMemory;
        state_ = kFailed;
        return false;
    }
    return true;
}

bool TextParser::SkipEmptySection() {
    Log("%u: data empty, skip section data", Line());
    if (Policy() == 4) state_ = kFailed;
    skipSection_ = true;
    return true;
}

bool TextParser::SetUpSection() {
    sectionReady_ = true;
    skipSection_ = false;
    uint32_t channels = main_->channels == 0 ? 1 : main_->channels;
    if (channels > kMaxChannels) channels = kMaxChannels;
    if (channels != 1) {
        // Only single-channel sections make rows of the table.
        Log("%u: data empty, skip section data", Line());
        skipSection_ = true;
        return true;
    }
    map_.clear();
    for (uint32_t& u : used_) u = 0;
    plain_ = split_.count == 0;
    if (!plain_) {
        for (uint32_t i = 0; i < split_.count; ++i) {
            const SplitCommand& c = split_.commands[i];
            if (c.letter == 'S') {
                map_.push_back({-1, 0, c.count});
            } else if (c.letter == 'V' || (c.letter == 'D' && c.axis == 'V')) {
                const int b = c.letter == 'V' ? kTextValues : kTextSecondValues;
                for (uint32_t k = 0; k < c.count; ++k) map_.push_back({b, used_[b]++, 1});
            } else {
                const int b = c.letter == 'D' ? kTextSecondCoordinates : kTextCoordinates;
                const uint32_t axis = c.count >= 1 && c.count <= 3 ? c.count : 1;
                map_.push_back({b, axis - 1, 1});
                if (used_[b] < axis) used_[b] = axis;
            }
        }
        // The channels and axes in use: the requested ones when the table states them,
        // else the pattern's.
        const bool mapEmpty = used_[0] + used_[1] + used_[2] + used_[3] == 0;
        const uint32_t channelsUsed = main_->channels != 0
                                          ? main_->channels
                                          : std::max(used_[kTextValues], used_[kTextSecondValues]);
        const uint32_t axesUsed =
            main_->naxis > 0 ? static_cast<uint32_t>(main_->naxis)
                             : std::max(used_[kTextCoordinates], used_[kTextSecondCoordinates]);
        if (channelsUsed == 0 && axesUsed == 0) {
            Log("%u: SPLIT pattern empty: filling use default value", Line());
            skipSection_ = true;
            return true;
        }
        if (mapEmpty && main_->channels == 0) {
            Log("bad pattern or Axis or Chan: empty data, cur. row %u", Line());
            return SkipEmptySection();
        }
        // Values and second values, coordinates and second coordinates, pair up row by row.
        const uint32_t v = used_[kTextValues], dv = used_[kTextSecondValues];
        const uint32_t a = used_[kTextCoordinates], da = used_[kTextSecondCoordinates];
        if ((v != 0 && dv != 0 && v != dv) || (a != 0 && da != 0 && a != da)) {
            Log("SPLIT: bad pattern or chan/axis request: Chan(req,v,dv)=%u, %u, %u: Axis(req,a,da)=%u, %u, %u",
                main_->channels == 0 ? kMaxChannels : main_->channels, v, dv,
                main_->naxis <= 0 ? 3u : static_cast<unsigned>(main_->naxis), a, da);
            if (Policy() != 2) return SkipEmptySection();
        }
        if (v == 0) return SkipEmptySection();
        if (width_ != 0 && static_cast<int64_t>(v) != width_) {
            Log("%u: split err: Chan(req, cur)=%u, %u: %s", Line(), static_cast<unsigned>(width_), v,
                "section width differs");
            skipSection_ = true;
            return true;
        }
        // A side file keeps the record width of its first section.
        for (int b = 1; b < kTextBufferCount; ++b)
            if (used_[b] != 0 && out_[b].width != 0 && out_[b].width != used_[b]) {
                Log("%u: split err: Chan(req, cur)=%u, %u: %s", Line(), out_[b].width, used_[b],
                    "section width differs");
                skipSection_ = true;
                return true;
            }
        width_ = v;
    }
    try {
        const double defaults[4][3] = {{main_->valueT, main_->valueT, main_->valueT},
                                       {main_->valueD, main_->valueD, main_->valueD},
                                       {main_->valueX, main_->valueY, main_->valueZ},
                                       {main_->valueDX, main_->valueDY, main_->valueDZ}};
        for (int b = 0; b < kTextBufferCount; ++b) {
            row_[b].assign(std::max<size_t>(used_[b], 3), defaults[b][0]);
            if (b >= kTextCoordinates)
                for (int k = 0; k < 3; ++k) row_[b][static_cast<size_t>(k)] = defaults[b][k];
        }
        if (!OpenOutFile(&values_)) return false;
        for (int b = 1; b < kTextBufferCount; ++b) {
            if (used_[b] == 0) continue;
            if (!OpenOutFile(&out_[b])) return false;
            out_[b].width = used_[b];
        }
    } catch (const std::bad_alloc&) {
        Log("rebuld: Can`t alloc memory");
        failure_ = kErrOutOfMemory;
        state_ = kFailed;
        return false;
    }
    return true;
}

bool TextParser::ParseRow(const char* p, const char* end, double* direct) {
    const char sep = static_cast<char>(split_.separator);
    const bool mark = MarkMissing();
    int missing = 0;
    // A cell that is not a number: marked missing (and passed over) or the row's end.
    auto takeMissing = [&](Cell c, double* v) {
        if (!mark) return false;
        if (c == Cell::kBad) SkipToken(p, end, sep);
        *v = kMissingValue;
        ++missing;
        return true;
    };
    while (p < end && IsBlank(*p)) ++p;
    if (plain_) {
        std::vector<double>& row = row_[0];
        size_t n = 0;
        bool bad = false;
        // The first row counts its cells; later ones read as many (extra columns are left).
        while (width_ == 0 ? p < end : static_cast<int64_t>(n) < width_) {
            double v = 0.0;
            const Cell c = ReadCell(p, end, sep, &v);
            if (c != Cell::kValue && !takeMissing(c, &v)) {
                bad = true;
                break;
            }
            if (direct)
                direct[n] = v;
            else if (n == row.size())
                row.push_back(v);
            else
                row[n] = v;
            ++n;
        }
        if (width_ == 0 && !bad) width_ = static_cast<int64_t>(n);
        if (bad || n == 0 || static_cast<int64_t>(n) < width_ || static_cast<int64_t>(missing) == width_) {
            Log("%u: split err: Chan(req, cur)=%u, %u: %s", Line(), static_cast<unsigned>(width_),
                static_cast<unsigned>(n), p);
            return false;
        }
    } else {
        for (const ColumnItem& item : map_) {
            if (item.buffer < 0) {
                for (uint32_t k = 0; k < item.count && p < end; ++k) SkipToken(p, end, sep);
                continue;
            }
            double v = 0.0;
            const Cell c = ReadCell(p, end, sep, &v);
            if (c != Cell::kValue && !takeMissing(c, &v)) {
                Log("%u: split err: %s", Line(), p);
                return false;
            }
            row_[item.buffer][item.place] = v;
        }
    }
    if (missing > 0) {
        Log("%u: split err: %d missing value(s), kept as missing", Line(), missing);
        ++marked_;
    }
    return true;
}

bool TextParser::BeginRow() {
    if (!sectionReady_ && !SetUpSection()) return false;
    if (skipSection_) return false;
    if (rows_ >= kTextMaxRows) {
        Log("%u: max row, stop", Line());
        failure_ = kErrUnsupported2;
        state_ = kFailed;
        return false;
    }
    return true;
}

void TextParser::EmitRow(bool inPlace) {
    if (inPlace)
        values_.used += static_cast<size_t>(width_);
    else if (!values_.Put(row_[kTextValues].data(), static_cast<size_t>(width_))) {
        Log("can`t write dat file, ACSDN?");
        state_ = kStopped;
        return;
    }
    ++rows_;
    for (int b = 1; b < kTextBufferCount; ++b) {
        if (used_[b] == 0) continue;
        if (!out_[b].Put(row_[b].data(), out_[b].width)) {
            Log("can`t write dat file, ACSDN?");
            state_ = kStopped;
            return;
        }
        ++out_[b].rows;
    }
}

void TextParser::RowLine(const char* p, const char* end, bool tooLong) {
    if (!BeginRow()) return;
    if (tooLong) {
        // The buffer cut the line: its numbers are not a row.
        Log("%u: split err: %s", Line(), "line too long");
        BadRow();
        return;
    }
    // Plain rows of a known width are parsed straight into the output block.
    double* direct = nullptr;
    if (plain_ && width_ > 0 && (direct = values_.Reserve(static_cast<size_t>(width_))) == nullptr) {
        Log("can`t write dat file, ACSDN?");
        state_ = kStopped;
        return;
    }
    if (!ParseRow(p, end, direct)) {
        BadRow();
        return;
    }
    EmitRow(direct != nullptr);
}

// One line of the table (or of a "#data" file): <0 ends the reading.
int TextParser::HandleLine(char* line, size_t length, bool tooLong, bool dataFileOnly) {
    ++line_;
    if (!dataFileOnly && line_ > kTextMaxRows) {
        Log("%I64d: max row, stop", static_cast<long long>(line_));
        return -1;
    }
    char* p = line;
    char* end = line + (tooLong && length > kTextLineLimit ? kTextLineLimit : length);
    while (p < end && IsBlank(*p)) ++p;
    if (FindControl(p, end) != nullptr) {
        if (state_ == kSectionEnded || state_ == kStopped) return 0;
        if (state_ == kReadingRows)
            Log("%u: not txt file", Line());
        else
            Log("$bad file: row %I64d", static_cast<long long>(line_));
        failure_ = kErrWrong;
        state_ = kFailed;
        return -1;
    }
    if (*p == ';') {
        ++p;
        while (p < end && IsBlank(*p)) ++p;
        if (p == end) return 0;
    }
    if (*p == '#') {
        ++p;
        while (p < end && IsBlank(*p)) ++p;
        if (StartsLikeNumber(p)) return 0;  // a commented-out row
        if (dataFileOnly) {
            if (CommandIs(p, "end")) return -1;
            return 0;
        }
        if (state_ == kReadingRows) state_ = kReading;
        Command(p);
        return state_ == kFailed ? -1 : 0;
    }
    if (state_ == kStopped) return 0;
    if (StartsLikeNumber(p)) {
        if (state_ == kSectionEnded) return 0;
        if (mode_ != 3) SetMode(3);
        state_ = kReadingRows;
        RowLine(p, end, tooLong);
        return state_ == kFailed ? -1 : 0;
    }
    if (state_ == kReadingRows || dataFileOnly) {
        if (*p == '/' || *p == '\0') return 0;
        Log("%u: not digit: %s", Line(), p);
        return BadRow() ? 0 : (state_ == kFailed ? -1 : 0);
    }
    if (((*p >= 'A' && *p <= 'Z') || (*p >= 'a' && *p <= 'z') || *p == '_') && state_ != kSectionEnded) {
        if (tooLong) {
            Log("%I64d: parsing, bad row: %s", static_cast<long long>(line_), "line too long");
            return 0;
        }
        KeyLine(p);
    }
    return 0;
}

// What was read against what the description asks for: the description is fitted to
// the rows x columns of 64-bit reals read; a larger requested size is a stop (a failure
// under error policy 4), and the channel and scale fields are completed.
void TextParser::CheckRequestedSize() {
    ServiceDescription& d = *main_;
    const int64_t values = rows_ * width_;  // both at most 2^30
    const uint64_t flags[3] = {kFlagSizeX, kFlagSizeY, kFlagSizeZ};
    const int64_t sizes[3] = {d.sizeX, d.sizeY, d.sizeZ};
    uint64_t requested = 1;
    bool asked = false;
    for (int k = 0; k < 3; ++k) {
        if (!(d.flags & flags[k]) || sizes[k] <= 0) continue;
        asked = true;
        const uint64_t size = static_cast<uint64_t>(sizes[k]);
        requested = requested > UINT64_MAX / size ? UINT64_MAX : requested * size;
    }
    if (asked && requested > static_cast<uint64_t>(values)) {
        Log("%I64d: parsing: %s", static_cast<long long>(line_), "requested size larger than the data read");
        state_ = Policy() == 4 ? kFailed : kStopped;
    }
    d.channels = d.channels == 0 ? 1 : std::min(d.channels, kMaxChannels);
    d.flags |= kFlagChannels;
    d.type = kRealType;
    d.bits = 64;
    d.flags |= kFlagSampleSize;
    for (int k = 0; k < 3; ++k)
        if (!(d.flags & ((kFlagScaleX | kFlagZeroX) << (2 * k)))) d.axis[k] = AxisPair{};
    if (!(d.flags & kFlagScale)) d.scale = 1.0;
    if (!(d.flags & kFlagZero)) d.zero = 0.0;
    ValidateServiceDescription(&d, values > INT64_MAX / 8 ? INT64_MAX : values * 8);
}

int TextParser::Run(TextTableResult* out) {
    const int fd = ::open(path_, O_RDONLY | O_CLOEXEC);
    if (fd < 0) return ErrnoToErrorValue(errno);
    main_ = new (std::nothrow) ServiceDescription;
    common_ = new (std::nothrow) ServiceDescription;
    LineReader reader(fd, kTextLineLimit);
    if (main_ == nullptr || common_ == nullptr || !reader.Ready()) {
        ::close(fd);
        return kErrOutOfMemory;
    }
    const std::string logName = std::string(path_) + ".log";
    logOpen_ = LogFileOpen(&log_, nullptr, logName.c_str(), nullptr, false);
    parse_.log = logOpen_ ? &log_ : nullptr;
    source_->OpenSequenceFile(0);
    LoadServiceDescription(path_, &main_);
    if (main_ == nullptr) main_ = new (std::nothrow) ServiceDescription;
    if (main_ == nullptr) {
        ::close(fd);
        return kErrOutOfMemory;
    }

    char* line = nullptr;
    size_t length = 0;
    bool tooLong = false;
    int got = 0;
    try {
        while ((got = reader.Next(&line, &length, &tooLong)) == 1)
            if (HandleLine(line, length, tooLong, false) < 0) break;
    } catch (const std::bad_alloc&) {
        failure_ = kErrOutOfMemory;
        state_ = kFailed;
    }
    ::close(fd);
    if (got < 0) Log("%I64d: parsing: %s", static_cast<long long>(line_), "read error");
    bool writeFailed = false;
    for (int b = 0; b < kTextBufferCount; ++b) {
        OutFile& f = out_[b];
        if (f.stream == nullptr) continue;
        const int64_t written = f.Finish();
        if (!f.failed) continue;
        writeFailed = true;
        // Only the whole records that reached the file count.
        const int64_t width = b == kTextValues ? width_ : f.width;
        int64_t& rows = b == kTextValues ? rows_ : f.rows;
        const int64_t whole = width > 0 ? written / (width * 8) : 0;
        if (whole < rows) rows = whole;
    }
    if (writeFailed) Log("can`t write dat file, ACSDN?");
    if (state_ != kFailed && rows_ > 0 && width_ > 0) CheckRequestedSize();

    int result;
    if (state_ == kFailed)
        result = failure_ < 0 ? failure_ : kErrWrong;
    else if (rows_ == 0 || width_ == 0)
        result = kResultDataEmpty;
    else
        result = kResultReady;
    if (result == kResultReady) {
        // The value file becomes the source's stream and the data set's file.
        StreamClose(&source_->stream);
        source_->stream = values_.stream;
        values_.stream = nullptr;
        FormatInfoRef<TextInfo> info(TextInfo::Create());
        if (info) {
            // The side files live with the component, which the data set keeps.
            for (int b = 1; b < kTextBufferCount; ++b) {
                TextSideFile& side = info->sides[b];
                side.stream = out_[b].stream;
                out_[b].stream = nullptr;
                side.rows = side.stream ? out_[b].rows : 0;
                side.width = side.stream ? out_[b].width : 0;
            }
        }
        DecodedImage image;
        image.type = kRealType;
        image.components = 1;
        // A single column is a run of values along one axis: one row of them. The table
        // is one-dimensional when at most one of its extents is above 1.
        const bool column = width_ == 1;
        image.width = column ? rows_ : width_;
        image.height = column ? 1 : rows_;
        image.kind = image.width > 1 && image.height > 1 ? kTypeImage : kTypeVector;
        image.rangeMax = 0.0;
        result = info ? AttachDecodedImage(source_, image, info.get()) : kErrOutOfMemory;
        if (out && info && result >= kResultReady)
            for (int b = 1; b < kTextBufferCount; ++b) {
                TextSideFile& side = out->sides[b];
                StreamClose(&side.stream);
                side = info->sides[b];
                if (side.stream) ++side.stream->refCount;
            }
    }
    if (out) {
        out->result = result;
        out->rows = rows_;
        out->columns = width_;
        out->lines = line_;
        out->errors = errors_;
        out->state = state_;
    }
    if (result == kResultReady) ReportRows();
    if (errors_ > 0 && logOpen_ && log_.path) LogPrintf("\t#error, check log file '%s'", log_.path);
    if (logOpen_) LogFileClose(&log_);
    logOpen_ = false;
    return result;
}

}  // namespace

TextTableResult::~TextTableResult() {
    for (TextSideFile& side : sides) StreamClose(&side.stream);
}

TextInfo::TextInfo() {
    tag = MakeFormatTag("TXT");
    sizeZ = 1;
}

TextInfo::~TextInfo() {
    for (TextSideFile& side : sides) StreamClose(&side.stream);
}

int TextOpenTable(InputSource* source, TextTableResult* result) {
    if (source == nullptr || source->request == nullptr || source->name == nullptr ||
        source->name->Length() <= source->name->NameOffset())
        return kErrWrong;
    if (!FsKeywordTablesReady()) return kErrNoKeyTables;
    const std::string path = source->name->Text();
    TextParser parser(source, path.c_str());
    return parser.Run(result);
}

int TextOpen(InputSource* source) { return TextOpenTable(source, nullptr); }

}  // namespace orva
