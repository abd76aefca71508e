#pragma once
// The FITS writer: a primary header of 80-byte cards padded to 2880 bytes, the
// samples of the output writer in FITS order (big-endian, signed integers or IEEE
// reals), zero padding to 2880 bytes, and a patch pass that puts the counts and
// the measured data range into the header once they are known.
//
// Only the cards this writer makes describe the data: of the source's header it
// copies user keywords, HISTORY and COMMENT, never a card that sizes, types or
// scales the data (SIMPLE, XTENSION, BITPIX, NAXIS, NAXISn, EXTEND, PCOUNT,
// GCOUNT, NCHAN, CHANPLAN, NSECTION, BSCALE, BZERO, DATAMAX, DATAMIN, BLANK, the checksums,
// END); those keep only their comment.
#include <cstdint>
#include <string>
#include <vector>

#include "io/file_layout.h"
#include "io/output_block.h"

namespace orva {

class OutputWriter;

// What the header says of the data.
struct FitsHeaderParams {
    int32_t bitpix = 0;
    int64_t sizeX = 0, sizeY = 1;
    int64_t sizeZ = 1;          // planes planned
    uint32_t channels = 1;      // above 1 writes NCHAN and CHANPLAN
    // NAXIS3 (with NAXIS = 3) is written when planes x channels is above 1: each plane's
    // channels are planes of their own (plane k's channel c is plane k x channels + c),
    // as every FITS reader takes the colours of an image, and CHANPLAN = T says so. (Files
    // of earlier versions held the channels of a pixel one after another, without CHANPLAN;
    // the reader still takes them so.)
    bool sections = false;      // several sections per frame: NSECTION
    int64_t sectionCount = 0;
    double bscale = 1.0;
    double bzero = 0.0;
    bool processed = false;     // the source is processed data: fixed comments
    // Integer samples whose missing ones may become blanks: END never fills its block,
    // so that a BLANK card can take its place once the data are known.
    bool blankRoom = false;
    // The source's cards, or none. Through the output writer these are the header
    // additions of the upstream component: what its QueryInterface answers for the
    // id {"FITS", "HDRA", "IOST", "INFO"} is a `const std::vector<HeaderRecord>*` that
    // the component owns (no reference is taken).
    const std::vector<HeaderRecord>* records = nullptr;
};

// Where the patchable value fields landed (-1: card not written).
struct FitsHeaderFields {
    int64_t naxis = -1, naxis3 = -1, nchan = -1, nsection = -1;
    int64_t datamax = -1, datamin = -1;
    int64_t spareCard = -1;     // a blank card that can become NAXIS3
    int64_t end = -1;           // the END card
};

// The FITS code of an element type: 8, 16, 32, 64, -32, -64; 0 when none.
int32_t FitsBitpixOfType(uint32_t type);

// What the stored values of `type` move by to become FITS samples: -128 for signed
// bytes, 2^(n-1) for unsigned integers wider than a byte, else 0. BZERO grows by
// this times BSCALE.
double FitsSignOffset(uint32_t type);

// Narrows a measured physical range (min, max) to what the integer output type can
// hold through bscale and bzero, so that DATAMAX and DATAMIN never claim values the
// file cannot contain (clipping that was ignored); reals are left as they are.
void FitsClampRange(uint32_t type, double bscale, double bzero, double* range);

// One value card: keyword in columns 1-8, "= ", the value right-justified to
// column 30 (a longer one as it stands, at most 70 characters), " / " and the
// comment; a comment that does not fit continues on blank-keyword cards. Texts
// are cleaned to printable ASCII. Appends to `out`; -16 when the value does not fit.
int FitsAppendValueCard(std::string* out, const char* keyword, const std::string& value,
                        const char* comment);
// A FITS string value: quoted, apostrophes doubled, at least eight characters
// between the quotes, at most `room` characters in all.
std::string FitsQuoteString(const std::string& text, size_t room = 70);
// The text of a quoted value (apostrophes undoubled); the text itself when unquoted.
std::string FitsUnquote(const std::string& value);
// The card that marks channels stored as planes.
inline constexpr const char kFitsPlanarChannelsKeyword[] = "CHANPLAN";
// True for a keyword whose card only this writer may make.
bool FitsIsStructuralKeyword(const std::string& keyword);

// The whole header, padded to 2880 bytes; 2, -1 without BITPIX, -16 value too long.
int FitsComposeHeader(const FitsHeaderParams& params, std::string* out, FitsHeaderFields* fields);

// The write operation of the FITS descriptors.
bool FitsWrite(OutputWriter* writer);
// The steps of a write over an open job.
bool FitsWriteFile(FitsOutputJob* job);
bool FitsWriteHeader(FitsOutputJob* job);
// Writes the header of `params` into the job's file at 0, keeps the field
// positions and sets up the job's sample handling for `type`.
bool FitsWriteHeaderParams(FitsOutputJob* job, const FitsHeaderParams& params, uint32_t type);
// The patch pass: NAXIS/NAXIS3 from the planes written, NCHAN, NSECTION, and the
// data range (min > max or not finite: the DATAMAX and DATAMIN cards become blank).
bool FitsPatchHeader(FitsOutputJob* job, uint32_t channels, double dataMin, double dataMax);
// The FITS sample (BLANK's value) of a blank code of integer output `outType` (the bits
// of the output type's value; see OutputWriter::BlankMarked).
int64_t FitsBlankOf(uint32_t outType, uint64_t bits);
// Puts a BLANK card of the value where END stood and END after it (the header must have
// been made with blankRoom).
bool FitsPatchBlank(FitsOutputJob* job, int64_t blank);

}  // namespace orva
