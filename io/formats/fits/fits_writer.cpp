#include "io/formats/fits/fits_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>

#include "common/error_codes.h"
#include "common/log.h"
#include "data/element_type.h"
#include "io/output_writer.h"

namespace orva {

namespace {

constexpr size_t kCard = 80;
constexpr int64_t kBlock = 2880;
constexpr size_t kValueField = 20;
constexpr size_t kValueRoom = 70;      // columns 11-80
constexpr size_t kCommentaryRoom = 72;  // columns 9-80

// Printable ASCII only: a header holds nothing else.
std::string Clean(const std::string& text) {
    std::string s = text;
    for (char& c : s) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || u > 126) c = '?';
    }
    return s;
}

std::string TrimRight(std::string s) {
    while (!s.empty() && s.back() == ' ') s.pop_back();
    return s;
}

void AppendPadded(std::string* out, const std::string& card) {
    std::string c = card.substr(0, kCard);
    c.resize(kCard, ' ');
    out->append(c);
}

// Continues a comment on blank-keyword cards, broken at a blank where there is one.
void AppendCommentCards(std::string* out, std::string rest) {
    while (!rest.empty()) {
        size_t take = rest.size();
        if (take > kCommentaryRoom) {
            take = kCommentaryRoom;
            const size_t blank = rest.rfind(' ', kCommentaryRoom);
            if (blank != std::string::npos && blank > 0) take = blank;
        }
        AppendPadded(out, "        " + rest.substr(0, take));
        rest.erase(0, take);
        while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    }
}

// Commentary cards (COMMENT, HISTORY, blank): the text in columns 9-80 as the reader
// kept it from there, so that a file read and written again keeps its lines where
// they stood; longer texts go on further cards of the same keyword.
void AppendCommentary(std::string* out, const std::string& keyword, const std::string& text) {
    std::string key = keyword;
    key.resize(8, ' ');
    std::string rest = Clean(text);
    do {
        const size_t take = std::min(rest.size(), kCommentaryRoom);
        AppendPadded(out, key + rest.substr(0, take));
        rest.erase(0, take);
    } while (!rest.empty());
}

bool IsDigits(const std::string& s, size_t from, size_t to) {
    if (from >= to) return false;
    for (size_t i = from; i < to; ++i)
        if (!std::isdigit(static_cast<unsigned char>(s[i]))) return false;
    return true;
}

// A FITS integer or real constant.
bool IsFitsNumber(const std::string& s) {
    size_t i = 0;
    const size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
    size_t start = i;
    while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
    bool digits = i > start;
    if (i < n && s[i] == '.') {
        ++i;
        start = i;
        while (i < n && std::isdigit(static_cast<unsigned char>(s[i]))) ++i;
        digits = digits || i > start;
    }
    if (!digits) return false;
    if (i < n && (s[i] == 'E' || s[i] == 'e' || s[i] == 'D' || s[i] == 'd')) {
        ++i;
        if (i < n && (s[i] == '+' || s[i] == '-')) ++i;
        if (!IsDigits(s, i, n)) return false;
        return true;
    }
    return i == n;
}

// A value that can stand unquoted: a number, a logical, a complex pair, or nothing.
bool IsFitsPlainValue(const std::string& s) {
    if (s.empty() || s == "T" || s == "F") return true;
    if (IsFitsNumber(s)) return true;
    if (s.size() >= 5 && s.front() == '(' && s.back() == ')') {
        const std::string inner = s.substr(1, s.size() - 2);
        const size_t comma = inner.find(',');
        if (comma == std::string::npos) return false;
        auto trim = [](std::string t) {
            const size_t a = t.find_first_not_of(' ');
            const size_t b = t.find_last_not_of(' ');
            return a == std::string::npos ? std::string() : t.substr(a, b - a + 1);
        };
        return IsFitsNumber(trim(inner.substr(0, comma))) && IsFitsNumber(trim(inner.substr(comma + 1)));
    }
    return false;
}

// Keyword characters: A-Z, 0-9, '-', '_'; lower-case letters are raised.
bool NormaliseKeyword(const std::string& in, std::string* out) {
    std::string k = TrimRight(in);
    if (k.size() > 8) return false;
    for (char& c : k) {
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        if (!(std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c)) ||
              c == '-' || c == '_'))
            return false;
    }
    *out = k;
    return true;
}

// Reals as "%.13G"; integral values that a double holds exactly keep all digits.
std::string RealText(double v) {
    char text[64];
    if (std::isfinite(v) && v == std::floor(v) && std::fabs(v) <= 18446744073709551616.0 &&
        std::fabs(v) >= 1e13)
        std::snprintf(text, sizeof text, "%.0f", v);
    else
        std::snprintf(text, sizeof text, "%.13G", v);
    return text;
}

std::string IntText(int64_t v) {
    char text[32];
    std::snprintf(text, sizeof text, "%" PRId64, v);
    return text;
}

// The comment of the source's card of a keyword, or nullptr.
const char* SourceComment(const FitsHeaderParams& p, const char* keyword) {
    if (p.records == nullptr) return nullptr;
    for (const HeaderRecord& r : *p.records) {
        if (TrimRight(r.keyword) == keyword) return r.comment.empty() ? nullptr : r.comment.c_str();
    }
    return nullptr;
}


}  // namespace

int32_t FitsBitpixOfType(uint32_t type) {
    switch (type & 0x7F) {
        case kElemInt8: return 8;
        case kElemInt16: return 16;
        case kElemInt32: return 32;
        case kElemInt64: return 64;
        case kElemReal32: return -32;
        case kElemReal64: return -64;
        default: return 0;
    }
}

std::string FitsUnquote(const std::string& value) {
    size_t i = value.find_first_not_of(' ');
    if (i == std::string::npos || value[i] != '\'') return value;
    std::string s;
    for (++i; i < value.size(); ++i) {
        if (value[i] == '\'') {
            if (i + 1 < value.size() && value[i + 1] == '\'') {
                s.push_back('\'');
                ++i;
                continue;
            }
            break;
        }
        s.push_back(value[i]);
    }
    return TrimRight(s);
}

std::string FitsQuoteString(const std::string& text, size_t room) {
    if (room < 10) room = 10;
    std::string body;
    for (char c : Clean(text)) {
        const size_t need = c == '\'' ? 2 : 1;
        if (body.size() + need + 2 > room) break;  // never split a doubled apostrophe
        body.push_back(c);
        if (c == '\'') body.push_back('\'');
    }
    if (body.size() < 8) body.resize(8, ' ');
    return "'" + body + "'";
}

bool FitsIsStructuralKeyword(const std::string& keyword) {
    static const char* const kStructural[] = {"SIMPLE",   "XTENSION", "BITPIX",
                                              "NAXIS",    "EXTEND",   "PCOUNT",
                                              "GCOUNT",   "NCHAN",    kFitsPlanarChannelsKeyword,
                                              "NSECTION", "BSCALE",   "BZERO",
                                              "DATAMAX",  "DATAMIN",  "END",
                                              "BLANK",    "GROUPS",   "CHECKSUM",
                                              "DATASUM"};
    const std::string k = TrimRight(keyword);
    for (const char* s : kStructural)
        if (k == s) return true;
    // NAXISn
    return k.size() > 5 && k.compare(0, 5, "NAXIS") == 0 && IsDigits(k, 5, k.size());
}

int FitsAppendValueCard(std::string* out, const char* keyword, const std::string& value,
                        const char* comment) {
    const std::string v = Clean(value);
    if (v.size() > kValueRoom) return kErrValueTooLong;
    std::string card = keyword;
    card.resize(8, ' ');
    card += "= ";
    if (v.size() <= kValueField && (v.empty() || v[0] != '\''))
        card += std::string(kValueField - v.size(), ' ') + v;
    else
        card += v;
    std::string rest = comment ? Clean(comment) : std::string();
    while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
    rest = TrimRight(rest);
    if (!rest.empty()) {
        card += " / ";
        if (card.size() < kCard) {
            size_t take = std::min(rest.size(), kCard - card.size());
            if (take < rest.size()) {
                const size_t blank = rest.rfind(' ', take);
                if (blank != std::string::npos && blank > 0) take = blank;
            }
            card += rest.substr(0, take);
            rest.erase(0, take);
            while (!rest.empty() && rest.front() == ' ') rest.erase(0, 1);
        }
    }
    AppendPadded(out, card);
    AppendCommentCards(out, rest);
    return kResultReady;
}

int FitsComposeHeader(const FitsHeaderParams& p, std::string* out, FitsHeaderFields* fields) {
    FitsHeaderFields f;
    std::string& h = *out;
    h.clear();
    if (p.bitpix == 0) return kErrWrong;
    auto valueAt = [&]() { return static_cast<int64_t>(h.size()) + 10; };
    int r = kResultReady;
    auto card = [&](const char* key, const std::string& value, const char* comment) {
        if (r == kResultReady) r = FitsAppendValueCard(&h, key, value, comment);
    };
    AppendPadded(&h, std::string("SIMPLE  =                    T") +
                         (SourceComment(p, "SIMPLE") ? std::string(" / ") + Clean(SourceComment(p, "SIMPLE")) : ""));
    card("BITPIX", IntText(p.bitpix), SourceComment(p, "BITPIX"));
    // Each channel of a plane is a plane of its own: their count goes into the third axis
    // with the planes.
    int64_t planes = 0;
    if (!CheckedSize(std::max<int64_t>(1, p.sizeZ), std::max<uint32_t>(1, p.channels), &planes))
        return kErrValueTooLong;
    const bool third = planes > 1;
    f.naxis = valueAt();
    card("NAXIS", third ? "3" : "2", SourceComment(p, "NAXIS"));
    card("NAXIS1", IntText(p.sizeX), SourceComment(p, "NAXIS1"));
    card("NAXIS2", IntText(p.sizeY), SourceComment(p, "NAXIS2"));
    if (third) {
        f.naxis3 = valueAt();
        card("NAXIS3", IntText(planes), p.processed ? "3 axis" : SourceComment(p, "NAXIS3"));
    } else {
        // Room for NAXIS3 should more planes come than were planned.
        f.spareCard = static_cast<int64_t>(h.size());
        AppendPadded(&h, "");
    }
    if (p.channels > 1) {
        f.nchan = valueAt();
        card("NCHAN", IntText(p.channels), p.processed ? "N channels" : SourceComment(p, "NCHAN"));
        card(kFitsPlanarChannelsKeyword, "T", "each channel is a plane of NAXIS3");
    }
    if (p.sections) {
        f.nsection = valueAt();
        const char* c = SourceComment(p, "NSECTION");
        card("NSECTION", IntText(p.sectionCount), c ? c : "N section");
    }
    card("BSCALE", RealText(p.bscale), SourceComment(p, "BSCALE"));
    card("BZERO", RealText(p.bzero), SourceComment(p, "BZERO"));
    f.datamax = valueAt();
    card("DATAMAX", "0", SourceComment(p, "DATAMAX"));
    f.datamin = valueAt();
    card("DATAMIN", "0", SourceComment(p, "DATAMIN"));
    if (r != kResultReady) return r;

    if (p.records) {
        for (const HeaderRecord& rec : *p.records) {
            std::string key;
            if (!NormaliseKeyword(rec.keyword, &key)) {
                LogPrintf("fits write: header card '%s' skipped (keyword)", Clean(rec.keyword).c_str());
                continue;
            }
            if (FitsIsStructuralKeyword(key)) continue;
            if (key.empty() || key == "COMMENT" || key == "HISTORY") {
                AppendCommentary(&h, key, rec.value);
                continue;
            }
            if (key == "CONTINUE") {
                const std::string v = TrimRight(rec.value);
                if (!v.empty() && v.front() == '\'') AppendPadded(&h, "CONTINUE  " + FitsQuoteString(FitsUnquote(v)));
                continue;
            }
            std::string value = TrimRight(rec.value);
            const size_t lead = value.find_first_not_of(' ');
            value.erase(0, lead == std::string::npos ? value.size() : lead);
            if (!value.empty() && value.front() == '\'')
                value = FitsQuoteString(FitsUnquote(value));
            else if (!IsFitsPlainValue(value))
                value = FitsQuoteString(value);
            if (FitsAppendValueCard(&h, key.c_str(), value, rec.comment.c_str()) != kResultReady)
                LogPrintf("fits write: header card '%s' skipped (value)", key.c_str());
        }
    }
    if (p.blankRoom && (h.size() + kCard) % kBlock == 0) AppendPadded(&h, "");
    f.end = static_cast<int64_t>(h.size());
    AppendPadded(&h, "END");
    const size_t rest = h.size() % kBlock;
    if (rest != 0) h.append(kBlock - rest, ' ');
    if (fields) *fields = f;
    return kResultReady;
}

double FitsSignOffset(uint32_t type) {
    if (ElementIsReal(type)) return 0.0;
    const uint32_t e = ElementSize(type);
    const bool isUnsigned = (type & kElemUnsigned) != 0;
    if (e == 1) return isUnsigned ? 0.0 : -128.0;
    if (!isUnsigned || e == 0) return 0.0;
    return std::ldexp(1.0, static_cast<int>(e * 8 - 1));
}

void FitsClampRange(uint32_t type, double bscale, double bzero, double* range) {
    if (ElementIsReal(type) || !(range[0] <= range[1])) return;
    const uint32_t e = ElementSize(type);
    if (e == 0) return;
    // The stored range of the output type in physical units.
    const bool isUnsigned = (type & kElemUnsigned) != 0;
    const double lo = isUnsigned ? 0.0 : -std::ldexp(1.0, static_cast<int>(e * 8 - 1));
    const double hi = (isUnsigned ? std::ldexp(1.0, static_cast<int>(e * 8)) : -lo) - 1.0;
    double a = lo * bscale + bzero, b = hi * bscale + bzero;
    if (a > b) std::swap(a, b);
    range[0] = std::clamp(range[0], a, b);
    range[1] = std::clamp(range[1], a, b);
}

bool FitsWriteHeaderParams(FitsOutputJob* job, const FitsHeaderParams& params, uint32_t type) {
    std::string header;
    FitsHeaderFields f;
    const int r = FitsComposeHeader(params, &header, &f);
    if (r != kResultReady) {
        if (job->result >= 0 || job->result == -4) job->result = r;
        return false;
    }
    if (::lseek(job->fd, 0, SEEK_SET) != 0 || ::ftruncate(job->fd, 0) != 0) {
        job->result = ErrnoToError();
        return false;
    }
    size_t done = 0;
    while (done < header.size()) {
        const ssize_t n = ::write(job->fd, header.data() + done, header.size() - done);
        if (n <= 0) {
            job->result = n < 0 ? ErrnoToError() : kErrNoSpace;
            if (n < 0) job->reason = std::strerror(errno);
            LogPrintf("'%s' - write error", job->fileName.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    job->posNaxis = f.naxis;
    job->posNaxis3 = f.naxis3;
    job->posNchan = f.nchan;
    job->posNsection = f.nsection;
    job->posDatamax = f.datamax;
    job->posDatamin = f.datamin;
    job->posSpareCard = f.spareCard;
    job->posEnd = params.blankRoom ? f.end : -1;
    job->sectionsMode = params.sections;
    job->dataStart = static_cast<int64_t>(header.size());
    job->bytesWritten = 0;
    job->planesWritten = 0;
    job->width = params.sizeX;
    job->height = params.sizeY;
    job->elementBytes = ElementSize(type);
    job->pixelBytes = job->elementBytes * std::max<uint32_t>(1, params.channels);
    job->planarChannels = params.channels > 1 ? params.channels : 0;
    job->carry.clear();
    // FITS samples are big-endian, and its integers signed except for bytes. The
    // samples arrive in the order their type names (the writer packs them big-endian
    // when the type carries the swapped bit); whichever way they come, they leave
    // big-endian, so the sign bit is in the first byte of every sample.
    job->swapToBigEndian = job->elementBytes > 1 && !(type & kElemSwapped);
    job->flipSign = !ElementIsReal(type) &&
                    ((job->elementBytes == 1) != ((type & kElemUnsigned) != 0));
    job->signByte = 0;
    return true;
}

bool FitsPatchHeader(FitsOutputJob* job, uint32_t channels, double dataMin, double dataMax) {
    bool ok = true;
    int64_t third = 0;
    if (!CheckedSize(std::max<int64_t>(1, job->planesWritten), std::max<uint32_t>(1, channels), &third)) {
        job->result = kErrValueTooLong;
        return false;
    }
    if (third > 1) {
        if (job->posNaxis3 >= 0) {
            ok = PatchInt64Field(job, third, job->posNaxis3) == 20 && ok;
        } else if (job->posSpareCard >= 0) {
            char text[81];
            std::snprintf(text, sizeof text, "NAXIS3  = %20" PRId64, third);
            ok = PatchCard(job, text, job->posSpareCard) && ok;
            if (ok) job->posNaxis3 = job->posSpareCard + 10;
        }
        if (job->posNaxis3 >= 0 && job->posNaxis >= 0) ok = PatchIntField(job, 3, job->posNaxis) == 20 && ok;
    } else if (job->posNaxis3 >= 0) {
        ok = PatchInt64Field(job, third, job->posNaxis3) == 20 && ok;
    }
    if (job->posNchan >= 0) ok = PatchIntField(job, static_cast<int32_t>(channels), job->posNchan) == 20 && ok;
    if (job->posNsection >= 0)
        ok = PatchInt64Field(job, job->sectionsWritten, job->posNsection) == 20 && ok;
    const bool range = std::isfinite(dataMin) && std::isfinite(dataMax) && dataMin <= dataMax;
    if (job->posDatamax >= 0 && job->posDatamin >= 0) {
        if (range) {
            ok = PatchRealField(job, dataMax, job->posDatamax) == 20 && ok;
            ok = PatchRealField(job, dataMin, job->posDatamin) == 20 && ok;
        } else {
            // No range was measured: the cards become blank rather than state one.
            ok = PatchCard(job, "", job->posDatamax - 10) && ok;
            ok = PatchCard(job, "", job->posDatamin - 10) && ok;
        }
    }
    return ok;
}

int64_t FitsBlankOf(uint32_t outType, uint64_t bits) {
    return StoredBlankValue(
        outType, FitsSignOffset(outType) != 0.0 ? outType ^ kElemUnsigned : outType, bits);
}

bool FitsPatchBlank(FitsOutputJob* job, int64_t blank) {
    if (job->posEnd < 0) return false;
    char text[81];
    std::snprintf(text, sizeof text, "BLANK   = %20" PRId64 " / value of missing samples", blank);
    const int64_t next = job->posEnd + static_cast<int64_t>(kCard);
    if (!PatchCard(job, text, job->posEnd) || !PatchCard(job, "END", next)) return false;
    job->posEnd = next;
    return true;
}

// ---- The write operation ---------------------------------------------------------------------

namespace {

// The job's failure becomes the writer's state; codes that would make the writer
// try again stop it instead, so a file that cannot be written is not retried forever.
void RecordFailure(FitsOutputJob* job) {
    if (job->writer == nullptr) return;
    int code = job->result;
    if (code >= 0 || code == -4) code = kOutputStateStopped;
    if (code == kOutputStateFileError || code == kOutputStateTryAgain) code = kOutputStateStopped;
    job->writer->SetState(code);
    job->writer->NoteFailure(job->reason);
}

// FITS samples are big-endian: ask the writer to pack them so.
void FitsOffer(const FormatDesc*, OutputRequest* request) {
    if (ElementSize(request->type) > 1) request->type |= kElemSwapped;
}

// A FITS file holds an integer type whose sign FITS lacks in the other sign, half the
// range away: the header's BZERO takes the shift (FitsWriteHeader), and so does the
// service file.
void FitsStoredForm(uint32_t outType, uint32_t* storedType, double* scale, double* zero) {
    const double shift = FitsSignOffset(outType);
    if (shift == 0.0) return;
    *storedType = outType ^ kElemUnsigned;
    *zero += shift * *scale;
}

const bool kFitsOfferRegistered = [] {
    RegisterOutputOffer(MakeFormatTag("FITS"), &FitsOffer);
    RegisterOutputStoredForm(MakeFormatTag("FITS"), &FitsStoredForm);
    return true;
}();

}  // namespace

void OutputJobInit(FitsOutputJob* job, OutputWriter* writer) {
    if (job == nullptr) return;
    job->writer = writer;
    if (writer) writer->AddRef();
    job->result = -4;
}

void OutputJobDone(FitsOutputJob* job) {
    if (job == nullptr) return;
    OutputJobClose(job);
    if (job->writer) {
        job->writer->Release();
        job->writer = nullptr;
    }
}

bool FitsWriteHeader(FitsOutputJob* job) {
    OutputWriter* w = job->writer;
    if (w == nullptr) return false;
    const uint32_t type = w->OutputType();
    FitsHeaderParams p;
    p.bitpix = FitsBitpixOfType(type);
    if (p.bitpix == 0) {
        LogPrintf("'%s' - fits write: no sample type", job->fileName.c_str());
        job->result = kErrWrong;
        return false;
    }
    p.sizeX = std::max<int64_t>(1, w->OutputWidth());
    p.sizeY = std::max<int64_t>(1, w->OutputHeight());
    p.channels = std::max<uint32_t>(1, w->Channels());
    const int64_t pixelBytes = static_cast<int64_t>(ElementSize(type)) * p.channels;
    int64_t planeBytes = 0;
    if (!CheckedSize(p.sizeX, p.sizeY, &planeBytes) || !CheckedSize(planeBytes, pixelBytes, &planeBytes) ||
        planeBytes == 0) {
        LogPrintf("'%s' - fits write: output size overflows", job->fileName.c_str());
        job->result = kErrOutOfRange;
        return false;
    }
    const uint64_t expected = w->DataBytesExpected();
    const int64_t planes = static_cast<int64_t>(expected / static_cast<uint64_t>(planeBytes)) +
                           (expected % static_cast<uint64_t>(planeBytes) != 0 ? 1 : 0);
    p.sizeZ = std::max<int64_t>(1, planes);
    p.sections = w->SectionsPerFrame() > 1;
    p.sectionCount = static_cast<int64_t>(w->SectionsPerFrame()) * std::max<uint32_t>(1, w->FrameCount());
    p.bscale = w->OutputBScale();
    p.bzero = w->OutputBZero() + FitsSignOffset(type) * p.bscale;
    p.records = static_cast<const std::vector<HeaderRecord>*>(w->OutputHeaderRecord());
    p.blankRoom = p.bitpix > 0;
    // astropy takes a BLANK of 0 for none: no blank code may be stored as 0.
    w->SetBlankMarking(p.blankRoom, true);
    return FitsWriteHeaderParams(job, p, type);
}

bool FitsWriteFile(FitsOutputJob* job) {
    OutputWriter* w = job->writer;
    if (w == nullptr || job->fd < 0) return false;
    if (!FitsWriteHeader(job)) {
        RecordFailure(job);
        return false;
    }
    JobAppendSink sink(job);
    const int delivered = w->WriteFramesClipped(&sink);
    if (delivered < kResultReady || job->bytesWritten == 0) {
        if (job->result == -4 || job->result >= 0) {
            // The writer stopped on its own (its state tells why) or gave no data.
            if (job->bytesWritten == 0) LogPrintf("'%s' - fits write: no data", job->fileName.c_str());
            return false;
        }
        RecordFailure(job);
        return false;
    }
    job->framesWritten = w->FramesWritten();
    job->sectionsWritten = static_cast<int64_t>(w->SectionsWritten());
    double range[2] = {w->MeasuredMin(), w->MeasuredMax()};
    FitsClampRange(w->OutputType(), w->OutputBScale(), w->OutputBZero(), range);
    uint64_t blankBits = 0;
    const bool blanks = w->BlankMarked(&blankBits);
    if (!OutputJobCompletePlanes(job) || !OutputJobPadData(job, kBlock) ||
        !FitsPatchHeader(job, std::max<uint32_t>(1, w->Channels()), range[0], range[1]) ||
        (blanks && !FitsPatchBlank(job, FitsBlankOf(w->OutputType(), blankBits)))) {
        RecordFailure(job);
        return false;
    }
    job->result = kResultReady;
    return true;
}

bool FitsWrite(OutputWriter* writer) {
    if (writer == nullptr) return false;
    FitsOutputJob job;
    OutputJobInit(&job, writer);
    job.fileName = writer->FileTargetName();
    bool ok = OutputJobOpen(&job, writer->OutputPath());
    if (!ok) {
        RecordFailure(&job);
    } else {
        ok = FitsWriteFile(&job);
        if (!OutputJobClose(&job) && ok) {
            ok = false;
            RecordFailure(&job);
        }
        if (ok) {
            writer->ResolveClipping();
            const int32_t s = writer->State();
            ok = s != kOutputStateFileError && s != kOutputStateStopped;
        }
    }
    OutputJobDone(&job);
    return ok;
}

}  // namespace orva
