#pragma once
// The FITS reader: parses the 80-byte cards of each header unit into a
// FitsReader (a FileLayout with the FITS header's own fields), walks the units
// of a file by their standard data sizes, and turns every image unit into a
// data set of the input source.
//
// Every size taken from a header is multiplied with overflow checks and held
// against the file length before anything is read at it: a unit whose data
// would run past the end of the file is refused, never read.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "io/file_layout.h"

namespace orva {

class DataSetInfo;
struct InputSource;
struct StreamRecord;

// Reading mode flags of a FitsReader.
constexpr uint32_t kFitsParseValues = 0x1;
constexpr uint32_t kFitsStoreErrors = 0x2;
constexpr uint32_t kFitsNoKeywordCount = 0x4;
constexpr uint32_t kFitsStrict = 0x8;
constexpr uint32_t kFitsNoResync = 0x40;     // without kFitsFirstUnit: skip bad cards
constexpr uint32_t kFitsReadOnAfterEnd = 0x400;
constexpr uint32_t kFitsFirstUnit = 0x10000;  // the primary header (always resynchronises)
constexpr uint32_t kFitsDefaultMode = 0x8B;

// XTENSION kinds (kFitsXtUnknown: the text is kept in xtensionText).
constexpr int32_t kFitsXtNone = 0;
constexpr int32_t kFitsXtImage = 1;
constexpr int32_t kFitsXtTable = 2;
constexpr int32_t kFitsXtBinTable = 3;
constexpr int32_t kFitsXtA3dTable = 4;
constexpr int32_t kFitsXtXzq = 5;
constexpr int32_t kFitsXtUnknown = -1;

constexpr int64_t kFitsBlock = 2880;
constexpr int kFitsCard = 80;
constexpr uint32_t kFitsMaxAxes = 999;
constexpr uint32_t kFitsMaxUnits = 0x40000;
// The open request's option that reads the first header unit only.
constexpr uint32_t kFitsOptionFirstUnitOnly = 0x40000;

// The rows of the keyword table, in matching order.
enum FitsKeyword : int {
    kFitsKeySimple, kFitsKeyBitpix, kFitsKeyNaxis, kFitsKeyNchan, kFitsKeyBzero, kFitsKeyBscale,
    kFitsKeyDatamax, kFitsKeyDatamin, kFitsKeyDatatype, kFitsKeyEnd, kFitsKeyXtension,
    kFitsKeywordCount
};

struct FitsKeywordCounter {
    uint32_t count = 0;
    uint8_t warning = 0;  // set when a card of this keyword broke a rule
};
struct FitsKeywordCounters {
    FitsKeywordCounter row[kFitsKeywordCount];
};

inline constexpr ComponentId kFitsInfoId{{FourCC("FITS"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// One header unit as read; also the FITS format information component, which the
// data set of an image unit keeps. The FileLayout part holds what the data set
// needs: type, bits, channels, the axis list (NAXISn), headerStart, dataOffset (the
// data start), dataEnd (data start plus the standard data size) and the header
// records (every card that no keyword row took, with SIMPLE/XTENSION, HISTORY and
// COMMENT); readerValue holds the position of the next unit.
class FitsReader : public FormatInfoOf<FitsReader, kFitsInfoId> {
public:
    FitsReader();

    uint32_t mode = kFitsDefaultMode;
    uint32_t badCards = 0;      // cards with control bytes in the keyword, values in error
    uint32_t unknownCards = 0;  // cards that are neither value cards nor commentary
    uint32_t warnings = 0;      // format warnings (rules bent, but the value was taken)
    uint32_t cardsRead = 0;
    int64_t unitStart = 0;      // file position of the unit
    int64_t budget = 0;         // bytes from the unit to the end of the file
    int64_t fileLength = 0;
    int64_t firstCard = -1;     // the SIMPLE or XTENSION card
    int64_t endCard = -1;
    int64_t dataStart = -1;
    int64_t skippedBytes = 0;   // bytes passed over while resynchronising
    bool naxisRead = false;     // a plain NAXIS card was read (declaredAxes holds it)
    uint32_t naxisCards = 0;    // NAXISn cards accepted
    std::vector<int64_t> axisLengths;  // NAXISn as stated (-1 not given), all of them
    int32_t bitpix = 0;
    // A BITPIX that FITS does not have (not 8, 16, 32, 64, -32 or -64): the header is
    // refused, and the value is kept to say why.
    bool bitpixRefused = false;
    int64_t refusedBitpix = 0;
    bool simple = false;
    int32_t xtension = kFitsXtNone;
    std::string xtensionText;
    int64_t pcount = 0, gcount = 1;
    bool groups = false;        // random groups (GROUPS = T with NAXIS1 = 0)
    bool hasScale = false, hasZero = false, hasMin = false, hasMax = false;
    double headerScale = 1.0, headerZero = 0.0, headerMin = 0.0, headerMax = 0.0;
    bool hasBlank = false;      // a BLANK card: the stored value of missing samples
    int64_t headerBlank = 0;
    bool planarChannels = false;  // CHANPLAN = T: each of NCHAN channels is a plane
    int64_t dataBytes = 0;      // standard data size of the unit, without padding

    // A primary header or an IMAGE extension.
    bool IsImageUnit() const {
        return (simple && xtension == kFitsXtNone) || xtension == kFitsXtImage;
    }
};

// Reads the unit's header from reader->unitStart: 1 done, 0 out of memory, -13 when
// a BITPIX of 0 stopped it. `buffer` holds at least 2882 bytes (may be null: an own
// one is used); `counters` may be null.
int FitsReadCards(FitsReader* reader, StreamRecord* stream, char* buffer,
                  FitsKeywordCounters* counters);
// Product of the positive NAXISn of the declared axes, saturating at INT64_MAX; 0
// without axes.
int64_t FitsAxisProduct(const FitsReader& reader);
// The standard size of the unit's data: |BITPIX| x GCOUNT x (PCOUNT + NAXIS1 x ... x
// NAXISn) bits in whole bytes (NAXIS1 left out for random groups); -1 on overflow.
int64_t FitsStandardDataSize(const FitsReader& reader);

// Reads the header unit at `position` of a stream whose length is `length`, and
// where the next unit starts (-1: none). Results: 2 read; -1 no header unit here
// (the first good card is not SIMPLE, or not XTENSION after the first unit); -13 a
// header without END card, or with a BITPIX of 0; -23 the unit's data run past the
// end of the file, or their size overflows (the reader is still handed back); -14
// no memory.
int FitsReadUnit(StreamRecord* stream, int64_t length, int64_t position, bool first,
                 std::unique_ptr<FitsReader>* out, int64_t* next);
// Every unit of the file, in order; stops at the first unit that cannot be read
// (its result is the answer; bytes after the last unit that are no unit end the
// walk with 2), else 2. At most `limit` units.
int FitsWalk(StreamRecord* stream, int64_t length, std::vector<std::unique_ptr<FitsReader>>* units,
             uint32_t limit = kFitsMaxUnits);

// Fills the data description from the header; true when the header did not fill
// the layout completely. `fitted` (may be null) is false when the service description
// could not be fitted to the unit's data.
bool FitsHeaderToLayout(FitsReader* reader, DataSetInfo* info, bool* fitted = nullptr);
bool FitsResolveSizes(FitsReader* reader, DataSetInfo* info);
// Checks the header and fills the description; the result after logging problems
// (1: nothing to read; -12: the service description does not fit the data).
int FitsHeaderCheck(FitsReader* reader, DataSetInfo* info, int result);

// The open operation of the FITS descriptors.
int FitsOpen(InputSource* source);

}  // namespace orva
