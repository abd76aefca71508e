#include "io/formats/text/text_reader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <strings.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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

namespace orva {

namespace {

constexpr int kErrNoTempFile = -18;
constexpr int kErrNoKeyTables = -15;
constexpr uint32_t kRealType = 0x40;  // 64-bit real samples
constexpr size_t kOutBlock = 1 << 17;  // doubles gathered before a write

// Reader states.
enum : int { kReading = 0, kRows = 1, kSectionEnded = 2, kStopped = 3, kFailed = 5 };

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
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
    if (!MakeTempFile(name, nullptr, kTextFilePrefix)) return kErrNoTempFile;
    int r = StreamOpen(holder, kDecodedStreamMode, name, dataFile);
    if (*holder == nullptr || (*holder)->fd < 0) {
        ::unlink(name);
        return r < 0 ? r : kErrNoTempFile;
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

// One number at p (a leading "+" allowed); p moves past it and the separators after it.
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
    if (q < end && !IsBlank(*q) && *q != sep) return false;
    while (q < end && (IsBlank(*q) || *q == sep)) ++q;
    p = q;
    return true;
}

inline void SkipToken(const char*& p, const char* end, char sep) {
    while (p < end && !IsBlank(*p) && *p != sep) ++p;
    while (p < end && (IsBlank(*p) || *p == sep)) ++p;
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
        values_.writer.reset();  // its thread writes to the stream: it goes first
        StreamClose(&values_.stream);
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
    // A bad row under the error policy: true when reading goes on.
    bool BadRow() {
        const int p = Policy();
        if (p == 1 || p == 2) return true;
        state_ = p == 4 ? kFailed : kStopped;
        return false;
    }
    void SetMode(int mode);
    void EndSection() { sectionReady_ = false; }
    void Command(char* text);
    bool LoadDataFile(char* text);
    void KeyLine(char* text);
    void RowLine(const char* p, const char* end, bool tooLong);
    bool SetUpSection();
    // Splits a row; plain rows go to `direct` when it is given (room for width_ values).
    bool ParseRow(const char* p, const char* end, double* direct);
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

    bool sectionReady_ = false;
    bool skipSection_ = false;
    std::vector<ColumnItem> map_;
    bool plain_ = true;        // no pattern: every column is a value
    int64_t width_ = 0;        // values per row, fixed by the first section
    uint32_t used_[4] = {0, 0, 0, 0};
    std::vector<double> row_[4];
    OutFile values_;
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

void TextParser::MergeCommon() {
    const ServiceDescription& c = *common_;
    if (c.flags & kFlagChannels) {
        main_->channels = c.channels;
        main_->flags |= kFlagChannels;
    }
    if (c.parseErrorMode != 0) main_->parseErrorMode = c.parseErrorMode;
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
        if (*rest != '\0' && !LoadDataFile(rest)) {
            Log("%I64d: parsing: #data section: %s", static_cast<long long>(line_), rest);
            const int p = Policy();
            state_ = p == 3 ? kStopped : p == 4 ? kFailed : kSectionEnded;
        }
    } else {
        Log("%I64d: unk. cmd: %s", static_cast<long long>(line_), text);
    }
}

// "#data NAME": the rows of the section come from a text file beside the table.
bool TextParser::LoadDataFile(char* text) {
    char* cursor = text;
    int length = 0;
    if (ParseFileNameValue(&cursor, "#data: bad file name", line_, nullptr, &length) == 0) return false;
    std::string path(path_);
    const size_t slash = path.rfind('/');
    path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + cursor;
    // Only a regular file: a pipe or a terminal named here would block the reading.
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    struct stat st;
    if (fd >= 0 && (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))) {
        ::close(fd);
        fd = -1;
    }
    if (fd < 0) {
        Log("%I64d: #data section: can`t load file '%s'", static_cast<long long>(line_), path.c_str());
        return false;
    }
    LineReader reader(fd, kTextLineLimit);
    char* line = nullptr;
    size_t n = 0;
    bool tooLong = false;
    const int64_t outerLine = line_;
    line_ = 0;
    while (state_ != kFailed && state_ != kStopped && reader.Next(&line, &n, &tooLong) == 1)
        if (HandleLine(line, n, tooLong, true) < 0) break;
    ::close(fd);
    line_ = outerLine;
    if (state_ == kRows) state_ = kSectionEnded;
    EndSection();
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
                const int b = c.letter == 'V' ? 0 : 1;
                for (uint32_t k = 0; k < c.count; ++k) map_.push_back({b, used_[b]++, 1});
            } else {
                const int b = c.letter == 'D' ? 3 : 2;
                const uint32_t axis = c.count >= 1 && c.count <= 3 ? c.count : 1;
                map_.push_back({b, axis - 1, 1});
                if (used_[b] < axis) used_[b] = axis;
            }
        }
        if (used_[0] + used_[1] + used_[2] + used_[3] == 0) {
            Log("%u: SPLIT pattern empty: filling use default value", Line());
            skipSection_ = true;
            return true;
        }
        if (used_[0] == 0) {
            Log("%u: data empty, skip section data", Line());
            if (Policy() == 4) state_ = kFailed;
            skipSection_ = true;
            return true;
        }
        if (width_ != 0 && static_cast<int64_t>(used_[0]) != width_) {
            Log("%u: split err: Chan(req, cur)=%u, %u: %s", Line(), static_cast<unsigned>(width_),
                used_[0], "section width differs");
            skipSection_ = true;
            return true;
        }
        width_ = used_[0];
    }
    try {
        const double defaults[4][3] = {{main_->valueT, main_->valueT, main_->valueT},
                                       {main_->valueD, main_->valueD, main_->valueD},
                                       {main_->valueX, main_->valueY, main_->valueZ},
                                       {main_->valueDX, main_->valueDY, main_->valueDZ}};
        for (int b = 0; b < 4; ++b) {
            row_[b].assign(std::max<size_t>(used_[b], 3), defaults[b][0]);
            if (b >= 2)
                for (int k = 0; k < 3; ++k) row_[b][static_cast<size_t>(k)] = defaults[b][k];
        }
        if (values_.stream == nullptr) {
            const int r = OpenTextStream(&values_.stream, path_);
            if (r < kResultReady) {
                failure_ = r;
                state_ = kFailed;
                return false;
            }
            if (!values_.Start()) {
                failure_ = kErrOutOfMemory;
                state_ = kFailed;
                return false;
            }
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
    while (p < end && (IsBlank(*p) || *p == sep)) ++p;
    if (plain_) {
        std::vector<double>& row = row_[0];
        size_t n = 0;
        bool bad = false;
        while (p < end && (width_ == 0 || static_cast<int64_t>(n) < width_)) {  // extra columns are left
            double v;
            if (!ReadNumber(p, end, sep, &v)) {
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
        if (bad || n == 0 || static_cast<int64_t>(n) < width_) {
            Log("%u: split err: Chan(req, cur)=%u, %u: %s", Line(), static_cast<unsigned>(width_),
                static_cast<unsigned>(n), p);
            return false;
        }
        return true;
    }
    for (const ColumnItem& item : map_) {
        if (item.buffer < 0) {
            for (uint32_t k = 0; k < item.count && p < end; ++k) SkipToken(p, end, sep);
            continue;
        }
        double v;
        if (p >= end || !ReadNumber(p, end, sep, &v)) {
            Log("%u: split err: %s", Line(), p);
            return false;
        }
        row_[item.buffer][item.place] = v;
    }
    return true;
}

void TextParser::RowLine(const char* p, const char* end, bool tooLong) {
    if (!sectionReady_ && !SetUpSection()) return;
    if (skipSection_) return;
    if (rows_ >= kTextMaxRows) {
        Log("%u: max row, stop", Line());
        failure_ = kErrUnsupported2;
        state_ = kFailed;
        return;
    }
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
    if (direct)
        values_.used += static_cast<size_t>(width_);
    else if (!values_.Put(row_[0].data(), static_cast<size_t>(width_))) {
        Log("can`t write dat file, ACSDN?");
        state_ = kStopped;
        return;
    }
    ++rows_;
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
        if (state_ == kRows)
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
        if (state_ == kRows) state_ = kReading;
        Command(p);
        return state_ == kFailed ? -1 : 0;
    }
    if (state_ == kStopped) return 0;
    if (StartsLikeNumber(p)) {
        if (state_ == kSectionEnded) return 0;
        if (mode_ != 3) SetMode(3);
        state_ = kRows;
        RowLine(p, end, tooLong);
        return state_ == kFailed ? -1 : 0;
    }
    if (state_ == kRows || dataFileOnly) {
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
    if (values_.stream) {
        const int64_t written = values_.Finish();
        if (values_.failed) {
            Log("can`t write dat file, ACSDN?");
            // Only the whole rows that reached the file count.
            const int64_t whole = width_ > 0 ? written / (width_ * 8) : 0;
            if (whole < rows_) rows_ = whole;
        }
    }

    int result;
    if (state_ == kFailed)
        result = failure_ < 0 ? failure_ : kErrWrong;
    else if (rows_ == 0 || width_ == 0)
        result = kResultDataEmpty;
    else
        result = kResultReady;
    if (out) {
        out->result = result;
        out->rows = rows_;
        out->columns = width_;
        out->lines = line_;
        out->errors = errors_;
    }
    if (result == kResultReady) {
        // The value file becomes the source's stream and the data set's file.
        StreamClose(&source_->stream);
        source_->stream = values_.stream;
        values_.stream = nullptr;
        std::unique_ptr<TextInfo> info(new (std::nothrow) TextInfo);
        if (!info) return kErrOutOfMemory;
        DecodedImage image;
        image.type = kRealType;
        image.components = 1;
        image.width = width_;
        image.height = rows_;
        image.rangeMax = 0.0;
        result = AttachDecodedImage(source_, image, info.get());
    }
    if (errors_ > 0 && logOpen_ && log_.path) LogPrintf("\t#error, check log file '%s'", log_.path);
    if (logOpen_) LogFileClose(&log_);
    logOpen_ = false;
    return result;
}

}  // namespace

TextInfo::TextInfo() {
    tag = MakeFormatTag("TXT");
    sizeZ = 1;
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
