#include "io/formats/fits/fits_reader.h"

#include <strings.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <new>
#include <string>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/data_set.h"
#include "io/data_set_info.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "io/stream.h"

namespace orva {

namespace {

constexpr int64_t kI64Max = std::numeric_limits<int64_t>::max();
// Big-endian samples are "opposite to the machine's" order on a little-endian host.
constexpr uint32_t kBigEndianBit = std::endian::native == std::endian::little ? 0x80u : 0u;
constexpr uint32_t kLittleEndianBit = kBigEndianBit ^ 0x80u;

// Handler results.
constexpr int kAccepted = 2;

bool IsNameChar(char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' ||
           c == '-';
}

// Products of non-negative sizes with overflow detection.
bool MulChecked(int64_t a, int64_t b, int64_t* out) {
    return !__builtin_mul_overflow(a, b, out);
}

// ---- Card source: 80-byte cards at any position, through one cached window ---------------

class CardSource {
public:
    CardSource(StreamRecord* stream, int64_t length, char* buffer, size_t size)
        : stream_(stream), length_(length), buffer_(buffer), size_(size) {}
    // The card at `pos`; false when fewer than 80 bytes remain.
    bool Card(int64_t pos, const char** card) {
        if (pos < 0 || pos > length_ - kFitsCard) return false;
        if (pos < base_ || pos + kFitsCard > base_ + filled_) {
            int64_t want = std::min<int64_t>(static_cast<int64_t>(size_), length_ - pos);
            int64_t got = StreamRead(stream_, pos, buffer_, static_cast<size_t>(want));
            if (got < kFitsCard) {
                base_ = 0;
                filled_ = 0;
                return false;
            }
            base_ = pos;
            filled_ = got;
        }
        *card = buffer_ + (pos - base_);
        return true;
    }

private:
    StreamRecord* stream_;
    int64_t length_;
    char* buffer_;
    size_t size_;
    int64_t base_ = 0;
    int64_t filled_ = 0;
};

// -1 bad (a byte outside 32..126 in columns 1-8), 1 value card, 2 other card.
int CardTest(const char* card, bool strict) {
    for (int i = 0; i < 8; ++i) {
        unsigned char c = static_cast<unsigned char>(card[i]);
        if (c < 32 || c > 126) return -1;
    }
    if (card[8] == '=' && (!strict || card[9] == ' ')) return 1;
    return 2;
}

bool BlankRange(const char* p, int n) {
    for (int i = 0; i < n; ++i)
        if (p[i] != ' ') return false;
    return true;
}

// "END" (any case) followed by blanks up to column 9.
bool IsEndCard(const char* card) {
    return strncasecmp(card, "END", 3) == 0 && BlankRange(card + 3, 6);
}

std::string TrimRight(const char* p, size_t n) {
    while (n > 0 && p[n - 1] == ' ') --n;
    return std::string(p, n);
}

// ---- Values ---------------------------------------------------------------------------------

// A string value: a leading quote skipped (its absence a warning), leading blanks
// skipped, at most 70 characters, ended by the closing quote (two quotes stand for
// one) or, unquoted, by '/'; trailing blanks removed.
std::string StringValue(const char* v, size_t n, bool* warning) {
    size_t i = 0;
    while (i < n && v[i] == ' ') ++i;
    bool quoted = i < n && v[i] == '\'';
    if (quoted)
        ++i;
    else
        *warning = true;
    while (i < n && v[i] == ' ') ++i;
    std::string s;
    for (; i < n && s.size() < 70; ++i) {
        char c = v[i];
        if (quoted && c == '\'') {
            if (i + 1 < n && v[i + 1] == '\'') {
                s += '\'';
                ++i;
                continue;
            }
            break;
        }
        if (!quoted && c == '/') break;
        s += c;
    }
    while (!s.empty() && s.back() == ' ') s.pop_back();
    if (s.size() > 8) *warning = true;
    return s;
}

// An integer the way "%d" takes it (leading blanks, sign, digits), into 64 bits.
bool IntegerValue(const char* v, size_t n, int64_t* out) {
    size_t i = 0;
    while (i < n && v[i] == ' ') ++i;
    bool negative = false;
    if (i < n && (v[i] == '+' || v[i] == '-')) negative = v[i++] == '-';
    if (i >= n || v[i] < '0' || v[i] > '9') return false;
    int64_t r = 0;
    for (; i < n && v[i] >= '0' && v[i] <= '9'; ++i) {
        if (__builtin_mul_overflow(r, 10, &r) || __builtin_add_overflow(r, v[i] - '0', &r)) {
            r = kI64Max;  // saturates; callers refuse values this large
            while (i < n && v[i] >= '0' && v[i] <= '9') ++i;
            break;
        }
    }
    *out = negative ? -r : r;
    return true;
}

// A real value; FITS writes the exponent of doubles with 'D'.
bool RealValue(const char* v, size_t n, double* out) {
    char text[72];
    size_t k = 0;
    for (size_t i = 0; i < n && k < sizeof text - 1; ++i) {
        char c = v[i];
        if (c == '/') break;
        text[k++] = (c == 'D' || c == 'd') ? 'E' : c;
    }
    text[k] = '\0';
    char* end = nullptr;
    double d = std::strtod(text, &end);
    if (end == text || !std::isfinite(d)) return false;
    *out = d;
    return true;
}

bool LogicalValue(const char* v, size_t n) {
    size_t i = 0;
    while (i < n && v[i] == ' ') ++i;
    return i < n && (v[i] == 'T' || v[i] == 't');
}

struct KeywordRow {
    const char* keyword;
    uint32_t flags;
    uint32_t indexCount;
};
const KeywordRow kRows[kFitsKeywordCount] = {
    {"SIMPLE", 0x286, 0}, {"BITPIX", 0x82, 0},   {"NAXIS", 0xA2, 4},    {"NCHAN", 0x82, 0},
    {"BZERO", 0x82, 0},   {"BSCALE", 0x82, 0},   {"DATAMAX", 0x82, 0},  {"DATAMIN", 0x82, 0},
    {"DATATYPE", 0x97, 0}, {"END", 0x101, 0},    {"XTENSION", 0x293, 0},
};

struct DataTypeRow {
    const char* value;
    uint32_t bits;
    int kind;  // 0 size, 1 sign, 2 byte order
};
const DataTypeRow kDataTypes[] = {
    {"INTEGER*2", 0x02, 0}, {"INTEGER*4", 0x08, 0}, {"INTEGER*8", 0x20, 0}, {"REAL", 0x10, 0},
    {"REAL64", 0x40, 0},    {"REAL*2", 0x40, 0},    {"REAL32", 0x10, 0},    {"LONG", 0x08, 0},
    {"LONG*2", 0x20, 0},    {"SHORT", 0x02, 0},     {"SHORT*2", 0x08, 0},   {"SHORT*4", 0x20, 0},
    {"BYTE", 0x101, 0},     {"BYTE*2", 0x102, 0},   {"BYTE*4", 0x108, 0},   {"BYTE*8", 0x120, 0},
    {"DOUBLE", 0x40, 0},    {"UNSIGNED", 0x100, 1}, {"SIGNED", 0, 1},
    // The byte order of the data: big-endian is FITS's own.
    {"BYTEORDB", 0x80, 2},  {"BYTEORDL", 0, 2},
};

const char* const kXtensions[] = {"IMAGE", "TABLE", "BINTABLE", "A3DTABLE", "XZQ-EXTN"};

// Matches the card's keyword against the table: the row, and the index text's
// start for indexed rows (-1 for none).
int MatchRow(const char* card, size_t nameLength, bool strict, int* indexStart) {
    *indexStart = -1;
    for (int r = 0; r < kFitsKeywordCount; ++r) {
        const KeywordRow& row = kRows[r];
        size_t k = std::strlen(row.keyword);
        if (nameLength < k) continue;
        bool same = strict ? std::strncmp(card, row.keyword, k) == 0
                           : strncasecmp(card, row.keyword, k) == 0;
        if (!same) continue;
        if (nameLength == k) return r;
        if (row.indexCount == 0) continue;
        bool digits = true;
        for (size_t i = k; i < nameLength; ++i)
            if (card[i] < '0' || card[i] > '9') digits = false;
        if (!digits) continue;
        *indexStart = static_cast<int>(k);
        return r;
    }
    return -1;
}

// Runs a row's handler on the value text; kAccepted, or an error code.
int HandleValue(FitsReader* rd, int row, int64_t index, const char* v, size_t n, bool* warning) {
    switch (row) {
        case kFitsKeySimple:
            rd->simple = true;
            return LogicalValue(v, n) ? kAccepted : kErrWrong;
        case kFitsKeyBitpix: {
            int64_t b = 0;
            if (!IntegerValue(v, n, &b)) return kErrWrong;
            // Any other value would open the data as a type they are not (BITPIX = -16 as
            // unsigned 16-bit integers, 7 as 7-bit ones).
            if (b != 8 && b != 16 && b != 32 && b != 64 && b != -32 && b != -64) {
                rd->bitpixRefused = true;
                rd->refusedBitpix = b;
                return kErrUnsupported;
            }
            uint32_t size = 0;
            switch (b) {
                case 8: size = 0x01; break;
                case 16: size = 0x02; break;
                case 32: size = 0x08; break;
                case 64: size = 0x20; break;
                case -32: size = 0x10; break;
                case -64: size = 0x40; break;
                default: break;
            }
            rd->bitpix = static_cast<int32_t>(b);
            rd->type &= ~0x7Fu;
            if (size) {
                rd->type |= size;
                rd->bits = BitsFromType(size);
            } else {
                rd->bits = static_cast<uint32_t>(b < 0 ? -b : b);
            }
            if (b < 0) rd->type &= ~0x100u;
            rd->flags |= kFlagSampleSize;
            return kAccepted;
        }
        case kFitsKeyNaxis: {
            int64_t value = 0;
            if (!IntegerValue(v, n, &value)) return kErrWrong;
            if (index < 0) {
                if (value < 0 || value > kFitsMaxAxes) return kErrWrong;
                rd->declaredAxes = static_cast<uint32_t>(value);
                rd->naxisRead = true;
                return kAccepted;
            }
            if (index < 1 || index > kFitsMaxAxes || !rd->naxisRead || index > rd->declaredAxes)
                return kErrUnsupported2;
            if (value < 0) return kErrWrong;
            const size_t i = static_cast<size_t>(index - 1);
            if (rd->axisLengths.size() <= i) rd->axisLengths.resize(i + 1, -1);
            if (rd->axisLengths[i] < 0) ++rd->naxisCards;
            rd->axisLengths[i] = value;
            // The axis list holds 32-bit lengths; a longer axis stays undefined there
            // (the walk still sizes the unit from the stated length).
            if (value > std::numeric_limits<int32_t>::max()) {
                *warning = true;
                rd->SetAxis(static_cast<uint32_t>(i), -1);
            } else if (!rd->SetAxis(static_cast<uint32_t>(i), static_cast<int32_t>(value))) {
                return kErrUnsupported2;
            }
            rd->axisCount = std::max<uint32_t>(rd->axisCount, static_cast<uint32_t>(index));
            return kAccepted;
        }
        case kFitsKeyNchan: {
            int64_t c = 0;
            if (!IntegerValue(v, n, &c)) return kErrWrong;
            if (c < 0) c = c == std::numeric_limits<int64_t>::min() ? kI64Max : -c;
            if (c == 0) c = 1;
            if (c > kMaxChannels) c = kMaxChannels;
            rd->channels = static_cast<uint32_t>(c);
            rd->flags |= kFlagChannels;
            return kAccepted;
        }
        case kFitsKeyBzero:
        case kFitsKeyBscale:
        case kFitsKeyDatamax:
        case kFitsKeyDatamin: {
            double d = 0;
            if (!RealValue(v, n, &d)) return kErrWrong;
            if (row == kFitsKeyBzero) rd->headerZero = d, rd->hasZero = true;
            if (row == kFitsKeyBscale) rd->headerScale = d, rd->hasScale = true;
            if (row == kFitsKeyDatamax) rd->headerMax = d, rd->hasMax = true;
            if (row == kFitsKeyDatamin) rd->headerMin = d, rd->hasMin = true;
            return kAccepted;
        }
        case kFitsKeyDatatype: {
            std::string s = StringValue(v, n, warning);
            for (const DataTypeRow& t : kDataTypes) {
                if (strcasecmp(s.c_str(), t.value) != 0) continue;
                if (t.kind == 0) {
                    // Ignored when BITPIX already gave another size.
                    uint32_t had = rd->type & 0x7F;
                    if (had != 0 && had != (t.bits & 0x7F)) return kAccepted;
                    rd->type = (rd->type & ~0x17Fu) | t.bits;
                    rd->bits = BitsFromType(t.bits);
                    rd->flags |= kFlagSampleSize;
                    if (t.bits & 0x100) rd->flags |= kFlagSign;  // the BYTE family is unsigned
                } else if (t.kind == 1) {
                    if (rd->type & 0x50) return kAccepted;  // reals carry no sign
                    rd->type = (rd->type & ~0x100u) | t.bits;
                    rd->flags |= kFlagSign;
                } else {
                    // The stated order, as seen from this machine.
                    rd->type = (rd->type & ~0x80u) | (t.bits ? kBigEndianBit : kLittleEndianBit);
                    rd->flags |= kFlagByteOrder;
                }
                return kAccepted;
            }
            return kAccepted;  // unknown values are ignored
        }
        case kFitsKeyXtension: {
            std::string s = StringValue(v, n, warning);
            rd->xtension = kFitsXtUnknown;
            rd->xtensionText = s;
            for (int i = 0; i < 5; ++i)
                if (s == kXtensions[i]) rd->xtension = i + 1;
            return kAccepted;
        }
        default:
            return kAccepted;
    }
}

// Splits a card into a header record.
void AppendRecord(FitsReader* rd, const char* card, size_t nameLength, bool valueCard) {
    HeaderRecord r;
    r.keyword.assign(card, nameLength);
    if (!valueCard) {
        // Commentary keeps its text from column 9 as it stands (leading blanks too), so
        // that it is written back where it was.
        r.value = TrimRight(card + 8, kFitsCard - 8);
    } else {
        const char* v = card + 10;
        size_t n = kFitsCard - 10;
        size_t i = 0;
        while (i < n && v[i] == ' ') ++i;
        if (i < n && v[i] == '\'') {
            size_t j = i + 1;
            for (; j < n; ++j) {
                if (v[j] == '\'') {
                    if (j + 1 < n && v[j + 1] == '\'') {
                        ++j;
                        continue;
                    }
                    break;
                }
            }
            size_t end = std::min(j + 1, n);
            r.value.assign(v + i, end - i);
            i = end;
        } else {
            size_t j = i;
            while (j < n && v[j] != '/') ++j;
            r.value = TrimRight(v + i, std::min<size_t>(j - i, 70));
            i = j;
        }
        while (i < n && v[i] != '/') ++i;
        if (i < n) {
            ++i;
            while (i < n && v[i] == ' ') ++i;
            r.comment = TrimRight(v + i, n - i);
        }
    }
    if (valueCard && r.value.size() > 70) r.value.resize(70);
    rd->records.push_back(std::move(r));
}

// The standard keywords that size a unit or mark its missing samples but have no row
// of their own (their cards stay among the header records).
void ReadSizeKeyword(FitsReader* rd, const char* card, size_t nameLength) {
    auto is = [&](const char* k) { return nameLength == std::strlen(k) && std::strncmp(card, k, nameLength) == 0; };
    int64_t v = 0;
    if (is("PCOUNT")) {
        if (IntegerValue(card + 10, kFitsCard - 10, &v) && v >= 0) rd->pcount = v;
        else ++rd->badCards;
    } else if (is("GCOUNT")) {
        if (IntegerValue(card + 10, kFitsCard - 10, &v) && v >= 0) rd->gcount = v;
        else ++rd->badCards;
    } else if (is("GROUPS")) {
        rd->groups = LogicalValue(card + 10, kFitsCard - 10);
    } else if (is("CHANPLAN")) {
        rd->planarChannels = LogicalValue(card + 10, kFitsCard - 10);
    } else if (is("BLANK")) {
        // strtoll, unlike the saturating reader of sizes, takes the lowest 64-bit value,
        // the usual BLANK of 64-bit data. Blanks or a comment may follow the number.
        const std::string text(card + 10, kFitsCard - 10);
        errno = 0;
        char* end = nullptr;
        const long long b = std::strtoll(text.c_str(), &end, 10);
        const size_t after = text.find_first_not_of(' ', static_cast<size_t>(end - text.c_str()));
        if (end != text.c_str() && errno == 0 && (after == std::string::npos || text[after] == '/')) {
            rd->headerBlank = b;
            rd->hasBlank = true;
        } else {
            ++rd->badCards;
        }
    }
}






}  // namespace

FitsReader::FitsReader() {
    tag = MakeFormatTag("FITS");
    headerStart = -1;
    dataOffset = -1;
    dataEnd = -1;
    readerValue = -1;
}

// ---- Cards ----------------------------------------------------------------------------------

int FitsReadCards(FitsReader* rd, StreamRecord* stream, char* buffer,
                  FitsKeywordCounters* counters) {
    std::unique_ptr<char[]> own;
    constexpr size_t kWindow = kFitsBlock + 2;
    if (buffer == nullptr) {
        own.reset(new (std::nothrow) char[kWindow]);
        if (!own) return 0;
        buffer = own.get();
    }
    FitsKeywordCounters localCounters;
    if (counters == nullptr) counters = &localCounters;
    const bool strict = (rd->mode & kFitsStrict) != 0;
    const bool resync = !(rd->mode & kFitsNoResync) || (rd->mode & kFitsFirstUnit);
    const int64_t length = rd->fileLength;
    CardSource src(stream, length, buffer, kFitsBlock);
    int64_t pos = rd->unitStart;
    const char* card = nullptr;

    while (src.Card(pos, &card)) {
        ++rd->cardsRead;
        int kind = CardTest(card, strict);
        if (kind < 0) {
            ++rd->badCards;
            // Nothing readable where a header must start: this is no header unit.
            if (rd->headerStart < 0 && strict && pos == rd->unitStart) return 1;
            if (!resync) {
                pos += kFitsCard;
                continue;
            }
            // Slide byte by byte to an END card or a card that tests good.
            int64_t p = pos + 1;
            bool found = false;
            while (src.Card(p, &card)) {
                if (IsEndCard(card) || CardTest(card, strict) >= 0) {
                    found = true;
                    break;
                }
                ++p;
            }
            rd->skippedBytes += p - pos;
            if (!found) return 1;
            pos = p;
            kind = CardTest(card, strict);
            if (kind < 0) kind = 2;  // the END card found by the slide
        }
        if (rd->headerStart < 0) rd->headerStart = pos;

        size_t nameLength = 0;
        while (nameLength < 8 && IsNameChar(card[nameLength])) ++nameLength;
        const bool valueCard = kind == 1;
        int row = -1;
        int indexStart = -1;
        if (valueCard || card[0] != ' ') {
            row = MatchRow(card, nameLength, strict, &indexStart);
            // "END" with the rest of its keyword columns blank.
            if (row == kFitsKeyEnd && !BlankRange(card + 3, 5)) row = -1;
        }
        if (row >= 0) {
            const KeywordRow& r = kRows[row];
            FitsKeywordCounter& counter = counters->row[row];
            if (!(rd->mode & kFitsNoKeywordCount)) ++counter.count;
            if (r.flags & 0x200) {
                if (rd->firstCard < 0) rd->firstCard = pos;
            }
            if (r.flags & 0x100) {
                rd->endCard = pos;
                int64_t size = pos - rd->headerStart + kFitsCard;
                size = (size + kFitsBlock - 1) / kFitsBlock * kFitsBlock;
                int64_t start = rd->headerStart + size;
                if (start > length) {
                    start = length;
                    ++rd->warnings;
                }
                if (rd->dataStart < 0) rd->dataStart = start;
                if (!(rd->mode & kFitsReadOnAfterEnd)) return 1;
            } else if ((r.flags & 0x80) && valueCard) {
                int64_t index = -1;
                bool warning = false;
                if (indexStart >= 0)
                    IntegerValue(card + indexStart, nameLength - static_cast<size_t>(indexStart), &index);
                int result = (rd->mode & kFitsParseValues)
                                 ? HandleValue(rd, row, index, card + 10, kFitsCard - 10, &warning)
                                 : kAccepted;
                if (warning) {
                    ++rd->warnings;
                    counter.warning = 1;
                }
                if (result != kAccepted) {
                    ++rd->badCards;
                    counter.warning = 1;
                    if (result == kErrUnsupported && row == kFitsKeyBitpix) return kErrUnsupported;
                }
            } else if (r.flags & 0x80) {
                // A keyword of the table without "= ": its value is not taken.
                ++rd->warnings;
                counter.warning = 1;
            }
            if (r.flags & 0x200) AppendRecord(rd, card, nameLength, valueCard);
        } else {
            const bool commentary = nameLength == 0 || (nameLength == 7 && std::strncmp(card, "HISTORY", 7) == 0) ||
                                    (nameLength == 7 && std::strncmp(card, "COMMENT", 7) == 0);
            if (!valueCard && !commentary) ++rd->unknownCards;
            if (valueCard) ReadSizeKeyword(rd, card, nameLength);
            if (!BlankRange(card, kFitsCard)) AppendRecord(rd, card, nameLength, valueCard);
        }
        pos += kFitsCard;
    }
    return 1;
}

int64_t FitsAxisProduct(const FitsReader& rd) {
    if (rd.declaredAxes == 0) return 0;
    int64_t p = 1;
    bool any = false;
    for (uint32_t i = 0; i < rd.declaredAxes && i < rd.axisLengths.size(); ++i) {
        if (rd.axisLengths[i] <= 0) continue;
        any = true;
        p = LayoutMulSat(p, rd.axisLengths[i]);
    }
    return any ? p : 0;
}

int64_t FitsStandardDataSize(const FitsReader& rd) {
    const uint32_t n = rd.declaredAxes;
    if (n == 0) return 0;
    int64_t product = 1;
    const uint32_t first = (rd.groups && !rd.axisLengths.empty() && rd.axisLengths[0] == 0) ? 1 : 0;
    for (uint32_t i = first; i < n; ++i) {
        int64_t a = i < rd.axisLengths.size() ? rd.axisLengths[i] : -1;
        if (a < 0) a = 0;  // an axis never given holds nothing
        if (!MulChecked(product, a, &product)) return -1;
    }
    int64_t bits = rd.bitpix < 0 ? -static_cast<int64_t>(rd.bitpix) : rd.bitpix;
    int64_t units = 0;
    if (__builtin_add_overflow(rd.pcount, product, &units)) return -1;
    int64_t total = 0;
    if (!MulChecked(units, rd.gcount, &total) || !MulChecked(total, bits, &total)) return -1;
    if (total > kI64Max - 7) return -1;
    return (total + 7) / 8;
}

int FitsReadUnit(StreamRecord* stream, int64_t length, int64_t position, bool first,
                 std::unique_ptr<FitsReader>* out, int64_t* next) {
    *next = -1;
    out->reset(new (std::nothrow) FitsReader);
    FitsReader* rd = out->get();
    if (rd == nullptr) return kErrOutOfMemory;
    rd->mode = kFitsDefaultMode | (first ? kFitsFirstUnit : 0);
    rd->unitStart = position;
    rd->fileLength = length;
    rd->budget = length - position;
    std::unique_ptr<char[]> buffer(new (std::nothrow) char[kFitsBlock + 2]);
    if (!buffer) return kErrOutOfMemory;
    int r = FitsReadCards(rd, stream, buffer.get(), nullptr);
    if (r == 0) return kErrOutOfMemory;
    if (r < 0) return r;
    // A unit begins with SIMPLE (the first) or XTENSION (the others), and ends with END.
    bool started = rd->firstCard >= 0 && rd->firstCard == rd->headerStart &&
                   (first ? rd->simple && rd->xtension == kFitsXtNone : rd->xtension != kFitsXtNone);
    // Not a unit at all: -1, so that the open path goes on probing other formats.
    if (!started) return kErrWrong;
    if (rd->dataStart <= 0 || rd->headerStart < 0) return kErrUnsupported;
    rd->dataOffset = rd->dataStart;
    int64_t size = FitsStandardDataSize(*rd);
    rd->dataBytes = size;
    // A size too large to compute runs past any file.
    if (size < 0 || size > length - rd->dataStart) {
        rd->dataEnd = length;
        return kErrCorrupt;
    }
    rd->dataEnd = rd->dataStart + size;
    int64_t padded = (size + kFitsBlock - 1) / kFitsBlock * kFitsBlock;  // no overflow: size <= length
    int64_t following = rd->dataStart + padded;
    if (following > position && following < length) *next = following;
    rd->readerValue = *next;
    return kResultReady;
}

int FitsWalk(StreamRecord* stream, int64_t length, std::vector<std::unique_ptr<FitsReader>>* units,
             uint32_t limit) {
    int64_t pos = 0;
    for (uint32_t i = 0; i < limit && pos >= 0 && pos < length; ++i) {
        std::unique_ptr<FitsReader> rd;
        int64_t next = -1;
        int r = FitsReadUnit(stream, length, pos, i == 0, &rd, &next);
        if (r < kResultReady) {
            // Whatever follows the last unit (padding, trailing bytes) ends the walk.
            if (i > 0 && r == kErrWrong) return kResultReady;
            if (rd && r == kErrCorrupt) units->push_back(std::move(rd));
            return r;
        }
        units->push_back(std::move(rd));
        pos = next;
    }
    return kResultReady;
}

// ---- Layout ---------------------------------------------------------------------------------

bool FitsResolveSizes(FitsReader* rd, DataSetInfo* info) {
    ServiceDescription* sd = info->service;
    const LayoutServices& services = TheLayoutServices();
    const int64_t length = info->dataEnd - info->dataBegin;
    auto samples = [&]() -> int64_t {
        uint64_t groupBits = static_cast<uint64_t>(info->input.bits) * std::max<uint32_t>(1, info->input.channels);
        int64_t bytes = static_cast<int64_t>((groupBits + 7) / 8);
        return bytes > 0 && length > 0 ? length / bytes : 0;
    };
    int64_t n = samples();
    if (n == 0) return false;
    const bool noTable = info->NoFrameTable();
    if (sd) {
        if (noTable && (sd->flags & kFlagSections)) {
            info->sections = sd->sections;
            info->flags |= kFlagSections;
        }
        if ((sd->flags & kFlagFrameStep) && sd->frameStep != 0) {
            info->frameStep = sd->frameStep;
            info->flags |= kFlagFrameStep;
        }
    }
    if (info->sections == 0) info->sections = 1;

    int32_t mode = ((info->flags & kFlagChannels) ||
                    (info->input.channels >= 2 && !(info->input.type & kTypePlanesAsChannels)))
                       ? -1
                       : 1;
    bool result = LayoutResolveFits(rd, info, &mode);

    const int64_t s = (noTable && info->sections > 1) ? info->sections : 1;
    int64_t x = info->sizeX, y = info->sizeY, z = info->sizeZ;
    int64_t q = (x == 0 || y == 0) ? 0 : LayoutMulSat(x, y);
    if (z >= 2) q = LayoutMulSat(q, z);
    q = LayoutMulSat(q, s);
    bool stand = q != 0 && q <= n;
    if (!stand) {
        info->flags &= ~(kFlagSizeX | kFlagSizeY | kFlagSizeZ);
        if (sd) {
            result = true;
            if (info->input.bits != 0 && (sd->flags & kFlagSampleSize)) {
                uint32_t t = (rd->type & ~0x7Fu) | (sd->type & 0x7F);
                t = NormalizeFormatWord(t);
                uint32_t ch = info->input.channels;
                if ((sd->flags & kFlagChannels) && sd->channels != 0 && sd->channels != ch) ch = sd->channels;
                uint32_t bits = sd->bits ? sd->bits : BitsFromType(t);
                if (t != info->input.type || bits != info->input.bits || ch != info->input.channels) {
                    LayoutStoreType(info, t, bits, ch);
                    n = samples();
                }
            }
            if ((sd->flags & kFlagFrames) && sd->frames != 0) info->framesToUse = sd->frames;
            if (sd->sizeX) x = sd->sizeX, info->flags |= kFlagSizeX;
            if (sd->sizeY) y = sd->sizeY, info->flags |= kFlagSizeY;
            if (sd->sizeZ) z = sd->sizeZ, info->flags |= kFlagSizeZ;
            if (z == 0) z = 1;
            if (x != 0 && y != 0) {
                q = LayoutMulSat(LayoutMulSat(x, y), s);
                if (q != 0 && q <= n) {
                    stand = true;
                } else {
                    q = 0;
                    if (!services.checkDataSizes(info->input, static_cast<uint32_t>(s), &q, &x, &y, &z,
                                                 &info->flags))
                        info->flags &= ~(kFlagSizeY | kFlagSizeZ);
                    if (z >= 2) q = LayoutMulSat(q, z);
                    stand = q != 0 && q <= n;
                }
            }
        }
        if (!stand) {
            result = false;
            z = 1;
            int64_t count = n;
            if (noTable && info->sections > 1) {
                count = n / info->sections;
                if (count == 0) {
                    info->sections = 1;
                    info->flags &= ~kFlagSections;
                    count = n;
                }
            }
            services.guessSizesFromCount(&x, &y, &z, info->flags, count);
        }
        if (z == 0) z = 1;
    }
    LayoutSetSizes(info, sd, x, y, z);
    if (noTable) {
        if (info->sections == 0) info->sections = 1;
        uint32_t frames = SectionCount(*info, info->sections, length);
        if (frames == 0) {
            info->flags &= ~(kFlagFrameStep | kFlagFrames | kFlagSections);
            info->sections = 1;
            frames = SectionCount(*info, 1, length);
        }
        uint32_t now = DataSetInfoFrameCount(*info);
        if (!((info->flags & kFlagFrames) && now >= 1 && now <= frames))
            DataSetInfoSetFrameCount(*info, frames, false);
    }
    return result;
}

bool FitsHeaderToLayout(FitsReader* rd, DataSetInfo* info, bool* fitted) {
    bool incomplete = false;
    ServiceDescription* sd = info->service;
    info->dataBegin = rd->dataOffset;
    info->dataEnd = rd->dataEnd;
    info->headerSize = 0;
    if (rd->naxisRead || rd->axisCount) info->flags |= kFlagAxes;

    if (rd->naxisRead && rd->declaredAxes != rd->naxisCards) {
        LogPrintf("invalid fits hdu: NAXIS keyword value %d != %d NAXISn keyword",
                  static_cast<int>(rd->declaredAxes), static_cast<int>(rd->naxisCards));
        incomplete = true;
    }
    for (uint32_t i = 0; i < rd->declaredAxes; ++i) {
        int64_t a = i < rd->axisLengths.size() ? rd->axisLengths[i] : -1;
        if (a < 0) {
            LogPrintf("\t NAXIS%d   \t - not defined", static_cast<int>(i + 1));
            incomplete = true;
        } else if (a == 0) {
            LogPrintf("\t NAXIS%d   \t %d: invalid value", static_cast<int>(i + 1), 0);
            incomplete = true;
        } else {
            LogPrintf("\t NAXIS%d   \t%I64d", static_cast<int>(i + 1), static_cast<long long>(a));
        }
    }
    // Axes from the fourth on fold into the third, which becomes frames.
    if (rd->declaredAxes > 3) {
        int64_t p = 1;
        for (uint32_t i = 2; i < rd->declaredAxes && i < rd->axisLengths.size(); ++i)
            if (rd->axisLengths[i] > 0) p = LayoutMulSat(p, rd->axisLengths[i]);
        rd->axes.resize(3, -1);
        rd->axes[2] = static_cast<int32_t>(std::min<int64_t>(p, std::numeric_limits<int32_t>::max()));
        rd->declaredAxes = 3;
    }

    // FITS data are big-endian whatever the swapped-data setting says, unless
    // DATATYPE stated otherwise; 8-bit integers are unsigned, the others signed.
    const bool eightBit = (rd->type & 0x7F) == 0x01;
    if (!(rd->flags & kFlagSign)) {
        if (eightBit)
            rd->type |= 0x100u;
        else
            rd->type &= ~0x100u;
    }
    if (!(rd->flags & kFlagByteOrder)) rd->type = (rd->type & ~0x80u) | (eightBit ? 0u : kBigEndianBit);
    const uint32_t orderAndSign = rd->type & 0x180u;
    const uint64_t stated = rd->flags & (kFlagSign | kFlagByteOrder);

    // The description is fitted to the picture the axes give (the resolve below sets
    // these again from the axes).
    if (rd->HasAxisList()) {
        rd->sizeX = std::max<int64_t>(0, rd->axes[0]);
        rd->sizeY = rd->declaredAxes == 1 ? 1 : rd->axes.size() > 1 ? std::max<int64_t>(0, rd->axes[1]) : 0;
    }
    const bool described = LayoutFromDescription(rd, sd, info->dataEnd - info->dataBegin);
    if (fitted) *fitted = described;
    // The description may not undo the header's byte order unless it states one.
    if (!(sd && (sd->flags & kFlagByteOrder)) && !eightBit)
        rd->type = (rd->type & ~0x80u) | (orderAndSign & 0x80u);
    rd->flags |= stated;
    info->flags |= 0x1100F719ull;
    LayoutStoreType(info, rd->type, rd->bits, rd->channels);
    info->framesToUse = rd->frames;
    info->flags |= rd->flags;

    if (!FitsResolveSizes(rd, info)) incomplete = true;

    if (sd && (sd->flags & kFlagChannelOut)) {
        if (sd->convSpec != info->channelMode) {
            info->channelMode = sd->convSpec;
            info->kernelRow = nullptr;
            info->kernel = nullptr;
        }
        uint32_t sel = std::clamp<uint32_t>(sd->nchannelOut, 1, std::max<uint32_t>(1, info->workChannels));
        if (sel != info->selectedChannel) {
            info->selectedChannel = sel;
            if (info->workChannels > 1 && info->channelMode == kChannelSelected)
                info->kernelRow = info->kernelSet = info->kernel = nullptr;
        }
    }
    if (!(info->input.type & (kTypeImage | kTypeVector)))
        LayoutStoreType(info, info->input.type | (info->sizeY > 1 ? kTypeImage : kTypeVector), info->input.bits,
                       info->input.channels);
    if (info->sizeX == 0) incomplete = true;

    // Value range.
    info->rangeMin = info->rangeMax = 0.0;
    if (rd->hasMin && rd->hasMax && rd->headerMax > rd->headerMin) {
        info->rangeMin = rd->headerMin;
        info->rangeMax = rd->headerMax;
        info->flags |= kFlagValueRange;
    } else if (rd->hasMin && rd->hasMax && rd->headerMax == rd->headerMin) {
        // A constant image states no usable range: the type's own stands in for it. A file
        // without the two cards states none, and its view takes the frame's statistics.
        DefaultRange(*info, &info->rangeMin, &info->rangeMax);
    }
    const uint32_t t = info->input.type;
    if (TheLayoutSettings().defaultUnsigned && !(rd->flags & kFlagSign) && !(t & 0x150) && rd->hasMax) {
        double limit = 0;
        switch (t & 0x2F) {
            case 0x01: limit = 127.0; break;
            case 0x02: limit = 32767.0; break;
            case 0x08: limit = 2147483647.0; break;
            case 0x20: limit = 9.223372036854776e18; break;
            default: break;
        }
        bool negative = (rd->hasMin && rd->headerMin < 0) || (sd && (sd->flags & kFlagValueRange) && sd->min < 0);
        if (limit > 0 && rd->headerMax > limit && !negative)
            LayoutStoreType(info, t | 0x100u, info->input.bits, info->input.channels);
    }

    // Scale and zero: the header's, else a positive scale of the request.
    info->scale = info->inverseScale = 1.0;
    info->zero = 0.0;
    if (rd->hasScale)
        LayoutSetScale(info, rd->headerScale);
    else if (sd && (sd->flags & kFlagScale) && sd->scale > 0)
        LayoutSetScale(info, sd->scale);
    if (rd->hasZero)
        LayoutSetZero(info, rd->headerZero);
    else if (sd && (sd->flags & kFlagZero))
        LayoutSetZero(info, sd->zero);
    // BLANK marks missing samples of integer data only; real data mark theirs with NaN.
    info->hasBlank = rd->hasBlank && rd->bitpix > 0;
    info->blank = info->hasBlank ? rd->headerBlank : 0;
    // Channels stored as planes are read as if they followed one another in each pixel.
    info->planarChannels = rd->planarChannels && info->input.channels > 1;
    return incomplete;
}

int FitsHeaderCheck(FitsReader* rd, DataSetInfo* info, int result) {
    if (rd->tag.IsZero() || rd->tag == UnsetFormatTag()) rd->tag = MakeFormatTag("FITS");
    if (rd->unitStart >= rd->fileLength) return kResultDataEmpty;
    if (rd->badCards || rd->unknownCards) {
        LogPrintf("%s", "wrong fits header...");
        LogPrintf("\t bad cards %d, unknown cards %d", static_cast<int>(rd->badCards),
                  static_cast<int>(rd->unknownCards));
        rd->faulty = 1;
    }
    if (rd->dataStart <= 0) {
        rd->faulty = 1;
        return kResultDataEmpty;
    }
    if (rd->dataStart >= rd->fileLength) return kResultDataEmpty;
    const uint8_t faulty = rd->faulty;
    bool fitted = true;
    if (FitsHeaderToLayout(rd, info, &fitted)) LogPrintf("%s", "Fits header is not completely filled...");
    rd->faulty = faulty;
    return fitted ? result : kErrUnsupported2;
}

// ---- Open -----------------------------------------------------------------------------------

namespace {

// Builds the data set of one image unit and hands it to the source.
int AttachImageUnit(InputSource* source, FitsReader* rd, uint32_t unit) {
    DataSet* dataSet = DataSet::Create(MakeFormatTag("FITS"));
    if (dataSet == nullptr) return kErrOutOfMemory;
    // The source name carries the unit's 1-based number in the file.
    source->OpenSequenceFile(static_cast<int32_t>(unit + 1));
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
    const char* current = source->CurrentFileName();
    if (hooks.load && current) dataSet->service = hooks.load(current);
    int r = FitsHeaderCheck(rd, dataSet, kResultReady);
    if (r == kErrUnsupported2) r = LayoutRefuseDescription(source->name ? source->name->Text() : nullptr, dataSet->dataEnd - dataSet->dataBegin);
    if (r == kResultReady) {
        DataSetLayout objects = DataSetLayoutFrom(*rd);
        objects.formatInfo = rd;  // the header records go along with it
        r = source->AttachDataSet(dataSet, source->stream, &objects);
    }
    dataSet->Release();
    return r;
}

}  // namespace

int FitsOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr) return kErrWrong;
    if (source->name == nullptr || source->name->Length() <= source->name->NameOffset()) return kErrWrong;
    const char* fileName = source->name->Text();
    int r = StreamOpen(&source->stream, kStreamBinary, fileName);
    if (r < kResultReady) return r;
    const int64_t length = source->stream->length;
    const uint32_t limit = (source->options & kFitsOptionFirstUnitOnly) ? 1 : kFitsMaxUnits;

    int attached = 0;
    int last = kErrWrong;
    int64_t pos = 0;
    for (uint32_t unit = 0; unit < limit && pos >= 0 && pos < length; ++unit) {
        std::unique_ptr<FitsReader> rd;
        int64_t next = -1;
        r = FitsReadUnit(source->stream, length, pos, unit == 0, &rd, &next);
        if (r == kErrOutOfMemory) {
            LogPrintf("%s", "Can't alloc memory...");
            last = r;
            break;
        }
        if (r == kErrCorrupt) {
            const std::string line = std::string("'") + fileName + "' - fits header unit " +
                                     std::to_string(unit + 1) + ": data run past the end of the file";
            // Units before it open and show; the user is told on the status line too that
            // the file is not whole. Without them, the open's own failure says so.
            if (attached > 0)
                ShowWarning(line.c_str());
            else
                LogPrintf("%s", line.c_str());
            last = r;
            break;
        }
        if (r < kResultReady) {
            // Bytes after the last unit (padding, trailing data) are not a unit of their own.
            if (rd != nullptr && rd->bitpixRefused) {
                LogPrintf("'%s' - fits header unit %d: BITPIX = %I64d is not a FITS sample type "
                          "(8, 16, 32, 64, -32 or -64)",
                          fileName, static_cast<int>(unit + 1), rd->refusedBitpix);
                last = kErrUnsupported;
            } else if (unit == 0) {
                LogPrintf("'%s' - not a fits file", fileName);
                last = r;
            } else if (r != kErrWrong) {
                LogPrintf("'%s' - fits header unit %d is not readable", fileName, static_cast<int>(unit + 1));
                last = r;
            }
            break;
        }
        if (rd->IsImageUnit() && rd->dataBytes > 0) {
            if (rd->bitpix != 0) {
                // From here the unit is a counted component: its data set may keep it.
                FormatInfoRef<FitsReader> held(rd.release());
                int u = AttachImageUnit(source, held.get(), unit);
                if (u >= kResultReady)
                    ++attached;
                else
                    last = u;
            } else {
                last = kErrUnsupported;
            }
        } else if (!rd->IsImageUnit()) {
            LogPrintf("'%s' - fits extension %d '%s' skipped", fileName, static_cast<int>(unit + 1),
                      rd->xtensionText.c_str());
        } else if (last == kErrWrong) {
            // A whole header whose axes hold no sample (an axis of length 0, or none):
            // the file is ours and its data are empty, which the user is told as such.
            last = kResultDataEmpty;
        }
        pos = next;
    }
    if (attached > 0) return kResultReady;
    if (last == kResultDataEmpty) return last;
    return last > 0 ? kErrWrong : last;
}

}  // namespace orva
