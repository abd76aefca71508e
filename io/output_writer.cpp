#include "io/output_writer.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <immintrin.h>
#include <exception>
#include <limits>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "common/disk_file.h"
#include "common/error_codes.h"
#include "common/global_buffer.h"
#include "common/number_text.h"
#include "common/paths.h"
#include "common/sample_type.h"
#include "data/byte_swap.h"
#include "data/kernel_util.h"
#include "io/data_set.h"
#include "io/data_set_info.h"
#include "io/old_service_file.h"
#include "io/output_pack_kernel.h"
#include "io/service_description.h"
#include "io/stream.h"
#include "io/value_range.h"
#include "platform/cpu.h"
#include "platform/disk.h"

namespace orva {

namespace {

constexpr double kBig = 1.7976931348623157e308;
constexpr double kTiny = 2.2250738585072014e-308;
constexpr int64_t kMaxWidth = 0x7fffffffffffffffLL;
// Values converted per pass of the kernels: small enough to stay in the first cache.
constexpr uint32_t kChunkValues = 4096;
// A block holds whole rows with width x rows x channels x 64 within this budget
// (a row alone beyond it is cut in pieces).
constexpr uint64_t kBlockBudget = 0x2000000;
// Blocks are kept smaller still when rows allow, so that the pulled reals stay in
// the second-level cache between the pull that writes them and the pass that packs them.
constexpr uint64_t kBlockCacheBytes = 0x20000;
constexpr int64_t kBlockAxisMax = 0x8000000;
constexpr int kMaxTries = 8;

struct OfferEntry {
    FormatTag tag;
    OutputOfferFn offer;
};

std::mutex& OfferLock() {
    static std::mutex lock;
    return lock;
}
std::vector<OfferEntry>& Offers() {
    static std::vector<OfferEntry> offers;
    return offers;
}
OutputOfferFn FindOffer(FormatTag tag) {
    std::lock_guard<std::mutex> guard(OfferLock());
    for (const OfferEntry& e : Offers()) {
        if (e.tag == tag) return e.offer;
    }
    return nullptr;
}

struct StoredFormEntry {
    FormatTag tag;
    OutputStoredFormFn form;
};
std::vector<StoredFormEntry>& StoredForms() {
    static std::vector<StoredFormEntry> forms;
    return forms;
}
OutputStoredFormFn FindStoredForm(FormatTag tag) {
    std::lock_guard<std::mutex> guard(OfferLock());
    for (const StoredFormEntry& e : StoredForms()) {
        if (e.tag == tag) return e.form;
    }
    return nullptr;
}

bool UiUp() {
    const OutputWriterHooks& h = TheOutputWriterHooks();
    return h.uiUp != nullptr && h.uiUp();
}

uint32_t ClampChannelCount(uint64_t n) {
    if (n < 1) return 1;
    return n > kMaxChannels ? kMaxChannels : static_cast<uint32_t>(n);
}

// Types the writer can produce: one of the ten plain types, possibly byte-swapped.
uint32_t PlainOutputType(uint32_t type) {
    return ElementNormalize(type & kElemFlagMask);
}

// A product that saturates at DBL_MAX instead of reaching infinity.
double SaturatingMap(double value, double scale, double zero) {
    const double r = value * scale + zero;
    if (std::isnan(r)) return r;
    ScaleOffsetSaturate(&value, scale, zero);
    return value;
}

// The name field text with the characters a file name may not hold replaced.
std::string CleanLiteral(const char* begin, const char* end) {
    std::string text(begin, end);
    for (char& c : text) {
        unsigned char u = static_cast<unsigned char>(c);
        if (u < 32 || std::strchr("\"/><*?|%#&", c) != nullptr) c = '_';
    }
    return text;
}

const char* FileNamePart(const char* path) {
    const char* slash = std::strrchr(path, '/');
    return slash != nullptr ? slash + 1 : path;
}

}  // namespace

namespace {
// 1: staged blocks always go to a thread of their own; -1: never; 0: when a processor is free.
std::atomic<int> gStagedThreadMode{0};
}  // namespace

void SetStagedWriteThreadForTest(int mode) { gStagedThreadMode.store(mode, std::memory_order_relaxed); }

OutputWriterHooks& TheOutputWriterHooks() {
    static OutputWriterHooks hooks;
    return hooks;
}

void RegisterOutputOffer(FormatTag tag, OutputOfferFn offer) {
    std::lock_guard<std::mutex> guard(OfferLock());
    auto& offers = Offers();
    for (size_t i = 0; i < offers.size(); ++i) {
        if (offers[i].tag == tag) {
            if (offer != nullptr) {
                offers[i].offer = offer;
            } else {
                offers.erase(offers.begin() + static_cast<std::ptrdiff_t>(i));
            }
            return;
        }
    }
    if (offer != nullptr) offers.push_back({tag, offer});
}

void RegisterOutputStoredForm(FormatTag tag, OutputStoredFormFn form) {
    std::lock_guard<std::mutex> guard(OfferLock());
    auto& forms = StoredForms();
    for (size_t i = 0; i < forms.size(); ++i) {
        if (forms[i].tag == tag) {
            if (form != nullptr) forms[i].form = form;
            else forms.erase(forms.begin() + static_cast<std::ptrdiff_t>(i));
            return;
        }
    }
    if (form != nullptr) forms.push_back({tag, form});
}

bool FileOutputSink::WriteBlock(const void* data, size_t bytes) {
    const char* p = static_cast<const char*>(data);
    while (bytes > 0) {
        ssize_t n = ::pwrite(fd_, p, bytes, offset_);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) return false;
        p += n;
        bytes -= static_cast<size_t>(n);
        offset_ += n;
        written_ += static_cast<uint64_t>(n);
    }
    return true;
}

namespace {

// The low `width` bits of a sample, widened to 64 as the type of that sign reads them.
uint64_t WidenSample(uint64_t bits, int width, bool isUnsigned) {
    if (width < 64) bits &= (uint64_t{1} << width) - 1;
    if (!isUnsigned && width < 64 && (bits >> (width - 1)) != 0) bits |= ~uint64_t{0} << width;
    return bits;
}

}  // namespace

int64_t StoredBlankValue(uint32_t outType, uint32_t storedType, uint64_t bits) {
    const uint32_t bytes = ElementSize(outType);
    if (bytes == 0 || bytes > 8) return static_cast<int64_t>(bits);
    const int width = static_cast<int>(bytes * 8);
    if (width < 64) bits &= (uint64_t{1} << width) - 1;
    // A stored type of the other sign holds the value half the range away: its top bit flips.
    if ((outType ^ storedType) & kElemUnsigned) bits ^= uint64_t{1} << (width - 1);
    return static_cast<int64_t>(WidenSample(bits, width, (storedType & kElemUnsigned) != 0));
}

bool OutputSourceInfoFromDataSet(const DataSet* dataSet, OutputSourceInfo* info) {
    if (dataSet == nullptr || info == nullptr) return false;
    *info = OutputSourceInfo();
    info->name = dataSet->sourceName;
    if (info->name.empty() && dataSet->stream != nullptr) info->name = dataSet->stream->name;
    info->type = dataSet->input.type;
    info->channels = ClampChannelCount(dataSet->OutputChannels());
    info->width = dataSet->cropSizeX > 0 ? dataSet->cropSizeX : dataSet->sizeX;
    info->height =
        dataSet->cropSizeY > 0 ? dataSet->cropSizeY : (dataSet->sizeY > 0 ? dataSet->sizeY : 1);
    info->depth =
        dataSet->cropSizeZ > 0 ? dataSet->cropSizeZ : (dataSet->sizeZ > 0 ? dataSet->sizeZ : 1);
    // The frames a pull reaches: the positions the frame step visits, not the frames stored.
    info->frames = dataSet->StepFrames() > 0 ? dataSet->StepFrames() : 1;
    info->sections = dataSet->sections > 0 ? dataSet->sections : 1;
    info->scale = dataSet->scale;
    info->zero = dataSet->zero;
    double lo = 0.0, hi = 0.0;
    if (dataSet->ValueRange(&lo, &hi)) {
        info->hasRange = true;
        info->rangeMin = lo;
        info->rangeMax = hi;
    }
    return true;
}

// ---- Names ---------------------------------------------------------------------------------

int ParseOutputName(const char* pattern, OutputNameField* fields) {
    if (pattern == nullptr || fields == nullptr) return 0;
    int count = 0;
    const char* p = pattern;
    bool literalAllowed = true;  // at the start, or after '#'
    while (*p != '\0' && count < kOutputNameFieldMax) {
        if (*p == '%') {
            char c = p[1];
            int kind = 0;
            switch (c) {
                case 'n':
                    kind = 2;
                    break;
                case 'd':
                    kind = 3;
                    break;
                case 't':
                    kind = 4;
                    break;
                case 'f':
                    kind = 5;
                    break;
                case 's':
                    kind = 6;
                    break;
                default:
                    break;
            }
            if (kind != 0) {
                fields[count].kind = kind;
                fields[count].text.clear();
                ++count;
                p += 2;
            } else {
                // An unknown field: skipped up to the next '#' or '%'.
                ++p;
                while (*p != '\0' && *p != '#' && *p != '%') ++p;
            }
            literalAllowed = false;
            continue;
        }
        if (*p == '#') {
            ++p;
            literalAllowed = true;
            continue;
        }
        const char* end = p;
        while (*end != '\0' && *end != '#' && *end != '%') ++end;
        if (literalAllowed) {
            std::string text = CleanLiteral(p, end);
            if (count > 0 && fields[count - 1].kind == 1) {
                fields[count - 1].text += "_" + text;
            } else {
                fields[count].kind = 1;
                fields[count].text = text;
                ++count;
            }
        }
        p = end;
        literalAllowed = false;
    }
    return count;
}

bool OutputWriter::BuildOutputName(std::string* out) const {
    if (out == nullptr || targetName_.empty()) return false;
    // The file name itself within NAME_MAX; the whole path within kPathMax.
    const size_t budget = 255;
    std::string folder;
    const char* name = FileNamePart(targetName_.c_str());
    folder.assign(targetName_.c_str(), static_cast<size_t>(name - targetName_.c_str()));
    const char* dot = std::strrchr(name, '.');
    std::string extension = dot != nullptr ? dot : "";

    bool hasFrame = false, hasSection = false;
    for (int i = 0; i < fieldCount_; ++i) {
        hasFrame |= fields_[i].kind == 5;
        hasSection |= fields_[i].kind == 6;
    }
    int numbersLeft = (hasFrame ? 0 : 1) + (hasSection ? 0 : 1);
    for (int i = 0; i < fieldCount_; ++i) {
        if (fields_[i].kind >= 4) ++numbersLeft;
    }
    const uint32_t frameNumber = static_cast<uint32_t>(walk_.fileStartFrame) + 1;
    const uint32_t sectionNumber = walk_.fileStartSection + 1;
    char number[32];
    std::string result;
    for (int i = 0; i < fieldCount_; ++i) {
        const OutputNameField& f = fields_[i];
        switch (f.kind) {
            case 1:
                result += f.text;
                break;
            case 2: {
                // The name the output was given (the one typed in the save dialog, which
                // also names the write log); the source's when that has none.
                std::string base = name;
                size_t cut = base.rfind('.');
                if (cut != std::string::npos && cut > 0) base.resize(cut);
                if (base.empty() || base[0] == '.') {
                    base = FileNamePart(source_.name.c_str());
                    cut = base.rfind('.');
                    if (cut != std::string::npos && cut > 0) base.resize(cut);
                }
                size_t reserve = static_cast<size_t>(numbersLeft) * 10;
                size_t room =
                    budget > result.size() + reserve ? budget - result.size() - reserve : 0;
                if (base.size() > room) base.resize(room);
                result += base;
                break;
            }
            case 4: {
                double ms = frameRate_ > 0.0
                                ? 1000.0 / frameRate_ * static_cast<double>(walk_.fileStartFrame)
                                : 0.0;
                uint32_t v =
                    ms >= 4294967295.0 ? 4294967295u : (ms > 0.0 ? static_cast<uint32_t>(ms) : 0u);
                std::snprintf(number, sizeof number, "%7.7u", v);
                result += number;
                --numbersLeft;
                break;
            }
            case 5:
                std::snprintf(number, sizeof number, "%3.3u", frameNumber);
                result += number;
                --numbersLeft;
                break;
            case 6:
                std::snprintf(number, sizeof number, "%4.4u", sectionNumber);
                result += number;
                --numbersLeft;
                break;
            default:
                break;  // "%d" adds nothing
        }
    }
    if (!hasFrame) {
        std::snprintf(number, sizeof number, "%3.3u", frameNumber);
        result += number;
    }
    if (!hasSection) {
        std::snprintf(number, sizeof number, "%4.4u", sectionNumber);
        result += number;
    }
    if (result.size() + 20 <= budget) result += extension;
    if (result.empty() || result.size() > budget || folder.size() + result.size() >= kPathMax)
        return false;
    *out = folder + result;
    return true;
}

// ---- The writer --------------------------------------------------------------------------

class OutputWriter::Link : public ConsumerLink {
public:
    explicit Link(ComponentBase* owner) : ConsumerLink(owner) {}
    ~Link() override { LinkForget(); }
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest*) override { return true; }
};

OutputWriter* OutputWriter::Create(ComponentBase* upstream) {
    return new OutputWriter(upstream);
}

OutputWriter::OutputWriter(ComponentBase* upstream) : ComponentBase(nullptr), upstream_(upstream) {
    link_ = new Link(this);
    if (upstream_ != nullptr) {
        ComponentAddRef(upstream_);
        link_->upstream = upstream_;
    }
    pattern_ = kDefaultOutputPattern;
    fieldCount_ = ParseOutputName(pattern_.c_str(), fields_);
    DConvInit(dconv_);
}

OutputWriter::~OutputWriter() {
    // A prepared file that no run finished holds nothing worth keeping.
    DeleteTempOutput();
    FreeBuffers();
    // A log still in memory belongs to a run that never began: what it says goes to the
    // program's log, never over an earlier save's report.
    SettleWriteLog(false);
    CloseWriteLog();
    delete link_;
    if (upstream_ != nullptr) ComponentRelease(upstream_);
}

// A line of the write log. The first line its file does not take (a full disk) is kept
// with its error, so that the run can name the log as a file it lost; errno is left as the
// caller had it.
template <typename... Args>
void OutputWriter::WriteLog(const char* format, Args... args) {
    if (writeLog_.stream == nullptr) return;
    const int saved = errno;
    errno = 0;
    LogFilePrintf(&writeLog_, format, args...);
    if (!logPending_ && logError_ == 0 && std::ferror(writeLog_.stream))
        logError_ = errno != 0 ? errno : EIO;
    errno = saved;
}

void OutputWriter::BeginWriteLog() {
    SettleWriteLog(false);
    CloseWriteLog();
    logPath_.clear();
    logName_.clear();
    logError_ = 0;
    logNoted_ = false;
    companionNames_.clear();
    companionReasons_.clear();
    char path[kPathMax];
    if (MakeFilePath(path, nullptr, targetName_.c_str(), ".log", false)) logName_ = path;
    writeLog_.stream = open_memstream(&pendingLog_, &pendingLogSize_);
    writeLog_.written = 0;
    logPending_ = writeLog_.stream != nullptr;
}

void OutputWriter::CloseWriteLog() {
    // A log file that took none of its lines (a full disk) says nothing: it goes.
    std::string empty;
    struct stat st;
    if (!logPending_ && logError_ != 0 && writeLog_.stream != nullptr && writeLog_.path != nullptr &&
        ::fstat(fileno(writeLog_.stream), &st) == 0 && st.st_size == 0)
        empty = writeLog_.path;
    LogFileClose(&writeLog_);
    if (!empty.empty()) std::remove(empty.c_str());
    std::free(pendingLog_);
    pendingLog_ = nullptr;
    pendingLogSize_ = 0;
    logPending_ = false;
}

void OutputWriter::SettleWriteLog(bool toFile) {
    if (!logPending_) return;
    std::fflush(writeLog_.stream);
    const std::string text = pendingLog_ != nullptr ? std::string(pendingLog_, pendingLogSize_) : "";
    CloseWriteLog();
    if (!toFile) {
        if (!text.empty())
            LogPrintf("this save's report (not written to '%s'):\n%s", logName_.c_str(),
                      text.c_str());
        return;
    }
    errno = 0;
    if (!LogFileOpen(&writeLog_, nullptr, targetName_.c_str(), ".log", false) ||
        writeLog_.path == nullptr) {
        NoteCompanionFailure(logName_, std::strerror(errno != 0 ? errno : EIO));
        logNoted_ = true;
        if (!text.empty()) LogPrintf("%s", text.c_str());
        return;
    }
    logPath_ = writeLog_.path;
    if (text.empty()) return;
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), writeLog_.stream) != text.size() ||
        std::fflush(writeLog_.stream) != 0)
        logError_ = errno != 0 ? errno : EIO;
    writeLog_.written = static_cast<int32_t>(std::min<size_t>(text.size(), 0x7fffffff));
}

// The log's failure, once: it is named like any other file the save lost.
void OutputWriter::NoteLogFailure() {
    if (logError_ == 0 || logNoted_) return;
    logNoted_ = true;
    NoteCompanionFailure(logPath_.empty() ? logName_ : logPath_, std::strerror(logError_));
}

void OutputWriter::NoteCompanionFailure(const std::string& name, const std::string& reason) {
    companionNames_.push_back(name);
    companionReasons_.push_back(reason);
    LogPrintf("'%s' - not written: %s", name.c_str(), reason.c_str());
    WriteLog("'%s' - not written: %s", name.c_str(), reason.c_str());
}

bool OutputWriter::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    OutputWriter* w = Create(upstream_);
    *out = w;
    return w != nullptr;
}

bool OutputWriter::QueryInterface(const ComponentId* id, void** out) {
    const ComponentId* supported[] = {&kOutputWriterId, &kBaseId};
    return AnswerInterface(id, out, supported, 2);
}

// ---- Settings ----

void OutputWriter::SetOutputType(const OutputTypeRecord& record) {
    uint32_t type = NormalizeFormatWord(record.type);
    uint32_t channels = ClampChannelCount(record.channels);
    if (type == formatType_ && channels == requestedChannels_) {
        requestedChannels_ = channels;
        return;
    }
    formatType_ = type;
    // The channel layout of the type's format bits (1, 2, 3, 4 or 8; 0 without them).
    uint32_t bits = type >> 16;
    formatLayout_ = (bits & 0x01)   ? 1
                    : (bits & 0x02) ? 2
                    : (bits & 0x04) ? 3
                    : (bits & 0x18) ? 4
                    : (bits & 0x60) ? 8
                                    : 0;
    requestedChannels_ = channels;
    outType_ = PlainOutputType(type);
    sampleBytes_ = ElementSize(outType_);
}

void OutputWriter::SetOutputName(const char* pattern) {
    pattern_ = (pattern != nullptr && pattern[0] != '\0') ? pattern : kDefaultOutputPattern;
    for (auto& f : fields_) f = OutputNameField();
    fieldCount_ = ParseOutputName(pattern_.c_str(), fields_);
}

bool OutputWriter::SetTargetName(const char* path) {
    if (path == nullptr || path[0] == '\0' || std::strlen(path) >= kPathMax) {
        targetName_.clear();
        return false;
    }
    targetName_ = path;
    return true;
}

void OutputWriter::SetOutputParams(uint32_t type, bool singleChannel, uint32_t selectedChannel,
                                   uint32_t stageTag0, uint32_t stageTag1) {
    stageTag_[0] = stageTag0;
    stageTag_[1] = stageTag1;
    singleChannel_ = singleChannel;
    requestedSelected_ = selectedChannel == 0 ? 1 : selectedChannel;
    outType_ = PlainOutputType(NormalizeFormatWord(type));
    sampleBytes_ = ElementSize(outType_);
    ResolveChannels();
}

void OutputWriter::ResolveChannels() {
    uint32_t sourceChannels =
        sourceConnected_ ? ClampChannelCount(source_.channels) : requestedChannels_;
    selectedChannel_ = requestedSelected_ > sourceChannels ? sourceChannels : requestedSelected_;
    if (selectedChannel_ == 0) selectedChannel_ = 1;
    channels_ = singleChannel_ ? 1 : ClampChannelCount(sourceChannels);
}

void OutputWriter::SetScaleZero(double bscale, double bzero, int mode) {
    convMode_ = mode;
    if (!std::isfinite(bscale) || std::fabs(bscale) < kTiny) bscale = 1.0;
    if (!std::isfinite(bzero)) bzero = 0.0;
    requested_ = ScaleZero();
    if (bscale != 1.0 || bzero != 0.0) {
        requested_.scale = 1.0 / bscale;
        requested_.zero = -bzero / bscale;
    }
}

void OutputWriter::SetSpecialValue(bool has, double value) {
    hasSpecial_ = has && !std::isnan(value);
    special_ = hasSpecial_ ? value : 0.0;
}

void OutputWriter::PackValue(double v, unsigned char* b) const {
    std::memset(b, 0, 8);
    switch (outType_ & ~kElemSwapped) {
        case kTypeI8: { int8_t x = kernel::SaturateRound<int8_t>(v); std::memcpy(b, &x, 1); break; }
        case kTypeU8: { uint8_t x = kernel::SaturateRound<uint8_t>(v); std::memcpy(b, &x, 1); break; }
        case kTypeI16: { int16_t x = kernel::SaturateRound<int16_t>(v); std::memcpy(b, &x, 2); break; }
        case kTypeU16: { uint16_t x = kernel::SaturateRound<uint16_t>(v); std::memcpy(b, &x, 2); break; }
        case kTypeI32: { int32_t x = kernel::SaturateRound<int32_t>(v); std::memcpy(b, &x, 4); break; }
        case kTypeU32: { uint32_t x = kernel::SaturateRound<uint32_t>(v); std::memcpy(b, &x, 4); break; }
        case kTypeI64: { int64_t x = kernel::SaturateRound<int64_t>(v); std::memcpy(b, &x, 8); break; }
        case kTypeU64: { uint64_t x = kernel::SaturateRound<uint64_t>(v); std::memcpy(b, &x, 8); break; }
        case kTypeF32: {
            const float x = static_cast<float>(std::clamp(v, -static_cast<double>(FLT_MAX), static_cast<double>(FLT_MAX)));
            std::memcpy(b, &x, 4);
            break;
        }
        case kTypeF64: std::memcpy(b, &v, 8); break;
        default: break;
    }
    if (swap_ != nullptr) swap_(b, 1);
}

void OutputWriter::PackSpecial() { PackValue(special_, specialBytes_); }

void OutputWriter::SetBlankMarking(bool on, bool storedZeroIsNone) {
    markBlanks_ =
        on && !ElementIsReal(outType_) && sampleBytes_ >= 1 && sampleBytes_ <= sizeof blankBytes_;
    if (!markBlanks_) return;
    const bool avoid = storedZeroIsNone;
    if (avoid != blankAvoid_ || blankPass_ == 0) {
        // The code stored as 0: 0 itself, or half the range away where the stored type has
        // the other sign.
        uint32_t stored = outType_;
        if (format_ != nullptr)
            if (OutputStoredFormFn form = FindStoredForm(format_->tag)) {
                double scale = 1.0, zero = 0.0;
                form(outType_, &stored, &scale, &zero);
            }
        blankAvoid_ = avoid;
        blankAvoided_ = 0;
        if ((outType_ ^ stored) & kElemUnsigned) {
            unsigned char bytes[8] = {};
            const uint64_t top = uint64_t{1} << (sampleBytes_ * 8 - 1);
            std::memcpy(bytes, &top, sampleBytes_);
            if (swap_ != nullptr) swap_(bytes, 1);
            blankAvoided_ = CodeOfBytes(bytes);
        }
        if (blankPass_ == 0) blankCode_ = PreferredBlankEnd();
    }
    BytesOfCode(blankCode_, blankBytes_);
}

// ---- Blank codes ----

__int128 OutputWriter::TypeLowCode() const {
    if (outType_ & kElemUnsigned) return 0;
    return -(static_cast<__int128>(1) << (sampleBytes_ * 8 - 1));
}

__int128 OutputWriter::TypeHighCode() const {
    const int bits = static_cast<int>(sampleBytes_ * 8);
    if (outType_ & kElemUnsigned) return (static_cast<__int128>(1) << bits) - 1;
    return (static_cast<__int128>(1) << (bits - 1)) - 1;
}

__int128 OutputWriter::CodeOfBytes(const unsigned char* bytes) const {
    unsigned char b[8] = {};
    std::memcpy(b, bytes, sampleBytes_);
    if (swap_ != nullptr) swap_(b, 1);  // back to the machine's order
    uint64_t bits = 0;
    std::memcpy(&bits, b, 8);
    bits = WidenSample(bits, static_cast<int>(sampleBytes_ * 8), (outType_ & kElemUnsigned) != 0);
    return (outType_ & kElemUnsigned) ? static_cast<__int128>(bits)
                                      : static_cast<__int128>(static_cast<int64_t>(bits));
}

void OutputWriter::BytesOfCode(__int128 code, unsigned char* bytes) const {
    std::memset(bytes, 0, 8);
    const uint64_t bits = static_cast<uint64_t>(code);
    std::memcpy(bytes, &bits, sampleBytes_);  // the low bytes of a little-endian machine
    if (swap_ != nullptr) swap_(bytes, 1);
}

__int128 OutputWriter::CodeOfPhysical(double value) const {
    // Through the writer's own kernels, so that the code is exactly what the file holds.
    alignas(16) double line[4] = {value, value, value, value};
    alignas(16) unsigned char packed[32] = {};
    if (fusedPack_ != nullptr) {
        MinMaxPair pair{kBig, -kBig};
        fusedPack_(line, packed, 1, working_.scale, working_.zero, &pair);
    } else {
        if (scaleKernel_ != nullptr) scaleKernel_(line, 1, working_);
        if (packKernel_ != nullptr) {
            packKernel_(line, 1, nullptr);
            std::memcpy(packed, line, sampleBytes_);
        } else if (convertKernel_ != nullptr) {
            ScaleZero identity;
            convertKernel_(line, packed, 1, identity);
        }
        if (swap_ != nullptr) swap_(packed, 1);
    }
    return CodeOfBytes(packed);
}

__int128 OutputWriter::PreferredBlankEnd() const {
    // Unsigned data start from zero far more often than they reach the top, signed data
    // reach the top about as often as the bottom: the unsigned types take their highest
    // code first, the signed ones their lowest.
    const bool top = (outType_ & kElemUnsigned) != 0;
    const __int128 first = top ? TypeHighCode() : TypeLowCode();
    return BlankAllowed(first) ? first : (top ? TypeLowCode() : TypeHighCode());
}

void OutputWriter::ResetBlankChoice() {
    blankPass_ = 0;
    blankUnmarked_ = false;
    usedCodes_.clear();
    usedNearLow_ = usedNearHigh_ = 0;
    if (sampleBytes_ >= 1 && sampleBytes_ <= 8 && !ElementIsReal(outType_))
        blankCode_ = PreferredBlankEnd();
}

void OutputWriter::NoteUsedCodes(const double* values, const unsigned char* packed,
                                 uint32_t count) {
    const __int128 low = TypeLowCode(), high = TypeHighCode();
    for (uint32_t i = 0; i < count; ++i) {
        if (std::isnan(values[i]) || (values[i] == -kBig && !hasSpecial_)) continue;
        const __int128 code = CodeOfBytes(packed + static_cast<size_t>(i) * sampleBytes_);
        if (!usedCodes_.empty()) {
            const uint64_t at = static_cast<uint64_t>(code - low);
            usedCodes_[at >> 6] |= uint64_t{1} << (at & 63);
        } else if (code - low < 64) {
            usedNearLow_ |= uint64_t{1} << static_cast<int>(code - low);
        } else if (high - code < 64) {
            usedNearHigh_ |= uint64_t{1} << static_cast<int>(high - code);
        }
    }
}

bool OutputWriter::SettleBlanks() {
    if (!markBlanks_ || blankSamples_ == 0 || blankPass_ == 2) return true;
    // The codes of the real samples lie between those of the measured extremes.
    if (!(measuredMin_ <= measuredMax_)) return true;
    __int128 lo = CodeOfPhysical(measuredMin_), hi = CodeOfPhysical(measuredMax_);
    if (lo > hi) std::swap(lo, hi);
    if (hasSpecial_) {
        // The samples without data that took the special value hold its code.
        const __int128 special = CodeOfBytes(specialBytes_);
        lo = std::min(lo, special);
        hi = std::max(hi, special);
    }
    if (blankCode_ < lo || blankCode_ > hi) return true;
    const __int128 low = TypeLowCode(), high = TypeHighCode();
    if (blankPass_ == 0) {
        WriteLog("blank: real samples hold the code %I64d, the file is written again",
                 static_cast<long long>(blankCode_));
        if (lo > low && BlankAllowed(low)) {
            blankCode_ = low;
            blankPass_ = 2;
        } else if (hi < high && BlankAllowed(high)) {
            blankCode_ = high;
            blankPass_ = 2;
        } else {
            // Both ends hold data: the next write notes every code the data use.
            blankPass_ = 1;
            if (sampleBytes_ <= 2) usedCodes_.assign((size_t{1} << (sampleBytes_ * 8)) / 64, 0);
            usedNearLow_ = usedNearHigh_ = 0;
        }
        return false;
    }
    // Pass 1: a free code, searched from the end the first choice stood at.
    const bool fromTop = (outType_ & kElemUnsigned) != 0;
    bool found = false;
    if (!usedCodes_.empty()) {
        const uint64_t count = uint64_t{1} << (sampleBytes_ * 8);
        for (uint64_t k = 0; k < count && !found; ++k) {
            const uint64_t at = fromTop ? count - 1 - k : k;
            if ((usedCodes_[at >> 6] >> (at & 63) & 1) == 0 &&
                BlankAllowed(low + static_cast<__int128>(at))) {
                blankCode_ = low + static_cast<__int128>(at);
                found = true;
            }
        }
    } else {
        // The 64 codes at the first choice's end, then those at the other end.
        for (int k = 0; k < 128 && !found; ++k) {
            const bool top = fromTop == (k < 64);
            const int d = k & 63;
            const __int128 code = top ? high - d : low + d;
            if (!((top ? usedNearHigh_ : usedNearLow_) >> d & 1) && BlankAllowed(code)) {
                blankCode_ = code;
                found = true;
            }
        }
    }
    if (!found && blankAvoid_ && blankAvoided_ >= low && blankAvoided_ <= high) {
        // Only the code stored as 0 is free: some readers take it for none, the others mark
        // the samples, which is better than nothing.
        const uint64_t at = static_cast<uint64_t>(blankAvoided_ - low);
        const bool used = !usedCodes_.empty() ? (usedCodes_[at >> 6] >> (at & 63) & 1) != 0
                          : at < 64           ? (usedNearLow_ >> at & 1) != 0
                          : high - blankAvoided_ < 64
                              ? (usedNearHigh_ >> static_cast<int>(high - blankAvoided_) & 1) != 0
                              : true;  // not noted: it may hold data
        if (!used) {
            blankCode_ = blankAvoided_;
            found = true;
        }
    }
    usedCodes_.clear();
    usedCodes_.shrink_to_fit();
    blankPass_ = 2;
    if (!found) {
        // Every code holds data: the missing samples keep the code they were written with,
        // and nothing in the file says that they are missing.
        blankUnmarked_ = true;
        WriteLog("blank: every code holds data, %I64u missing sample(s) not marked",
                 static_cast<unsigned long long>(blankSamples_));
        return true;
    }
    return false;
}

bool OutputWriter::BlankMarked(uint64_t* bits) const {
    if (!markBlanks_ || blankSamples_ == 0 || blankUnmarked_) return false;
    if (bits != nullptr) *bits = static_cast<uint64_t>(blankCode_);
    return true;
}

double OutputWriter::UnmarkedValue() const {
    return static_cast<double>(blankCode_) * OutputBScale() + OutputBZero();
}

namespace {

// Whether a run holds a NaN, so that runs without one (the usual case) cost a fraction
// of the packing before them: one unordered comparison covers two vectors.
[[gnu::target("avx2")]] bool AnyNaNAvx2(const double* v, uint32_t count) {
    __m256d a = _mm256_setzero_pd(), b = a;
    uint32_t i = 0;
    for (; i + 16 <= count; i += 16) {
        a = _mm256_or_pd(a, _mm256_cmp_pd(_mm256_loadu_pd(v + i), _mm256_loadu_pd(v + i + 4), _CMP_UNORD_Q));
        b = _mm256_or_pd(b, _mm256_cmp_pd(_mm256_loadu_pd(v + i + 8), _mm256_loadu_pd(v + i + 12), _CMP_UNORD_Q));
    }
    bool any = _mm256_movemask_pd(_mm256_or_pd(a, b)) != 0;
    for (; i < count; ++i) any |= std::isnan(v[i]);
    return any;
}

bool AnyNaN(const double* v, uint32_t count) {
    if (kernel::CpuHasAvx2()) return AnyNaNAvx2(v, count);
    __m128d a = _mm_setzero_pd();
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) a = _mm_or_pd(a, _mm_cmpunord_pd(_mm_loadu_pd(v + i), _mm_loadu_pd(v + i + 2)));
    bool any = _mm_movemask_pd(a) != 0;
    for (; i < count; ++i) any |= std::isnan(v[i]);
    return any;
}

}  // namespace

namespace {

// Whether a run holds the missing-sample marker (-DBL_MAX) or a NaN: one compare,
// "equal or unordered", covers both.
[[gnu::target("avx2")]] bool AnyMissingAvx2(const double* v, uint32_t count) {
    const __m256d marker = _mm256_set1_pd(-kBig);
    __m256d a = _mm256_setzero_pd();
    uint32_t i = 0;
    for (; i + 4 <= count; i += 4) a = _mm256_or_pd(a, _mm256_cmp_pd(_mm256_loadu_pd(v + i), marker, _CMP_EQ_UQ));
    bool any = _mm256_movemask_pd(a) != 0;
    for (; i < count; ++i) any |= std::isnan(v[i]) || v[i] == -kBig;
    return any;
}

bool AnyMissing(const double* v, uint32_t count) {
    if (kernel::CpuHasAvx2()) return AnyMissingAvx2(v, count);
    bool any = false;
    for (uint32_t i = 0; i < count; ++i) any |= std::isnan(v[i]) || v[i] == -kBig;
    return any;
}

}  // namespace

uint64_t OutputWriter::PutBlanks(const double* values, unsigned char* destination, uint32_t count) const {
    // The marker of samples without data is a blank too, unless the user gave it a value.
    if (hasSpecial_ ? !AnyNaN(values, count) : !AnyMissing(values, count)) return 0;
    const uint32_t bytes = sampleBytes_;
    uint64_t marked = 0;
    for (uint32_t i = 0; i < count; ++i) {
        if (!std::isnan(values[i]) && (hasSpecial_ || values[i] != -kBig)) continue;
        std::memcpy(destination + static_cast<size_t>(i) * bytes, blankBytes_, bytes);
        ++marked;
    }
    return marked;
}

void OutputWriter::PutMissingAsNaN(const double* values, unsigned char* destination, uint32_t count) const {
    if (!AnyMissing(values, count)) return;
    unsigned char nan[8];
    PackValue(std::numeric_limits<double>::quiet_NaN(), nan);
    const uint32_t bytes = sampleBytes_;
    for (uint32_t i = 0; i < count; ++i)
        if (values[i] == -kBig) std::memcpy(destination + static_cast<size_t>(i) * bytes, nan, bytes);
}

void OutputWriter::PutSpecial(const double* values, unsigned char* destination, uint32_t count) const {
    const uint32_t bytes = sampleBytes_;
    for (uint32_t i = 0; i < count; ++i) {
        if (values[i] == -kBig) std::memcpy(destination + static_cast<size_t>(i) * bytes, specialBytes_, bytes);
    }
}

void OutputWriter::SetCropBox(int64_t x, int64_t y, int64_t z, int64_t sizeX, int64_t sizeY,
                              int64_t sizeZ) {
    cropOffset_[0] = x;
    cropOffset_[1] = y;
    cropOffset_[2] = z;
    cropSize_[0] = sizeX;
    cropSize_[1] = sizeY;
    cropSize_[2] = sizeZ;
}

void OutputWriter::NormaliseCropBox() {
    for (int i = 0; i < 3; ++i) {
        if (cropOffset_[i] < 0) cropOffset_[i] = 0;
        if (cropSize_[i] < 0) cropSize_[i] = 0;
    }
}

void OutputWriter::SetWriteScope(int32_t scope, uint32_t section) {
    scope_ =
        scope >= kWriteScopeAll && scope <= kWriteScopeOneFrameSection ? scope : kWriteScopeAll;
    scopeSection_ = section;
}

void OutputWriter::SetRecordMethod(int32_t method) {
    method_ = method >= kRecordOneFile && method <= kRecordSectionPerFile ? method : kRecordOneFile;
}

void OutputWriter::SetFrameRange(int32_t first, int32_t last, int32_t step) {
    firstFrame_ = first < 0 ? 0 : first;
    lastFrame_ = last < firstFrame_ ? firstFrame_ : last;
    step_ = step == 0 ? 1 : step;
    rangeSet_ = true;
}

bool OutputWriter::ConnectSourceInfo(const OutputSourceInfo* info) {
    if (info == nullptr || upstream_ == nullptr) {
        sourceConnected_ = false;
        result_ = kOutputNoSourceInfo;
        ShowError("***Can`t connect to source info...");
        return false;
    }
    source_ = *info;
    source_.channels = ClampChannelCount(source_.channels);
    if (source_.frames == 0) source_.frames = 1;
    sourceConnected_ = true;
    const int32_t lastSource =
        static_cast<int32_t>(source_.frames > 0x7fffffffu ? 0x7fffffffu : source_.frames) - 1;
    if (!rangeSet_) {
        firstFrame_ = 0;
        lastFrame_ = lastSource;
        step_ = 1;
    } else {
        if (lastFrame_ > lastSource) lastFrame_ = lastSource;
        if (firstFrame_ > lastFrame_) firstFrame_ = lastFrame_;
    }
    ResolveChannels();
    return true;
}

// ---- Geometry ----

int64_t OutputWriter::OutputWidth() const {
    return walk_.cropEnd[0] - cropOffset_[0];
}
int64_t OutputWriter::OutputHeight() const {
    return walk_.cropEnd[1] - cropOffset_[1];
}
int64_t OutputWriter::OutputDepth() const {
    return walk_.cropEnd[2] - cropOffset_[2];
}

uint32_t OutputWriter::RangeFrameCount() const {
    if (firstFrame_ == lastFrame_) return 1;
    int64_t s = step_ < 0 ? -static_cast<int64_t>(step_) : step_;
    if (s < 2) s = 1;
    return static_cast<uint32_t>((static_cast<int64_t>(lastFrame_) - firstFrame_) / s + 1);
}

int64_t OutputWriter::FrameAtIndex(int64_t index) const {
    const int64_t s = step_ < -1 ? -static_cast<int64_t>(step_) : (step_ > 1 ? step_ : 1);
    return step_ >= 0 ? firstFrame_ + index * s : lastFrame_ - index * s;
}

int64_t OutputWriter::IndexOfFrame(int32_t frame) const {
    const int64_t s = step_ < -1 ? -static_cast<int64_t>(step_) : (step_ > 1 ? step_ : 1);
    const int64_t distance = step_ >= 0 ? static_cast<int64_t>(frame) - firstFrame_
                                        : static_cast<int64_t>(lastFrame_) - frame;
    return distance / s;
}

uint32_t OutputWriter::FirstSection() const {
    return SectionScope() ? scopeSection_ : 0;
}

uint32_t OutputWriter::FrameCount() const {
    return method_ == kRecordOneFile ? RangeFrameCount() : 1;
}

uint32_t OutputWriter::SectionsPerFrame() const {
    if (SectionScope() || method_ == kRecordSectionPerFile) return 1;
    return walk_.frameSections > 0 ? walk_.frameSections : 1;
}

uint64_t OutputWriter::DataBytesExpected() const {
    uint64_t total = static_cast<uint64_t>(sampleBytes_) * channels_;
    const uint64_t factors[] = {
        static_cast<uint64_t>(OutputWidth()), static_cast<uint64_t>(OutputHeight()),
        static_cast<uint64_t>(OutputDepth()), FrameCount(), SectionsPerFrame()};
    for (uint64_t f : factors) {
        if (f != 0 && total > UINT64_MAX / f) return 0;
        total *= f;
    }
    return total;
}

double OutputWriter::OutputBScale() const {
    if (IsIdentity(working_)) return 1.0;
    return 1.0 / working_.scale;
}

double OutputWriter::OutputBZero() const {
    if (IsIdentity(working_)) return 0.0;
    return -working_.zero / working_.scale;
}

void* OutputWriter::OutputHeaderRecord() {
    void* record = nullptr;
    if (upstream_ != nullptr && upstream_->QueryInterface(&kOutputHeaderRecordId, &record))
        return record;
    return nullptr;
}

bool OutputWriter::OutputDataRange(double* range) const {
    if (range == nullptr || !sourceConnected_ || !source_.hasRange) return false;
    if (range[0] < source_.rangeMin) range[0] = source_.rangeMin;
    if (range[1] > source_.rangeMax) range[1] = source_.rangeMax;
    if (range[0] > range[1]) {
        range[0] = source_.rangeMin;
        range[1] = source_.rangeMax;
    }
    return true;
}

// ---- Preparation ----

void OutputWriter::FreeBuffers() {
    std::free(lineBuffer_);
    lineBuffer_ = nullptr;
    for (unsigned char*& block : stageBlocks_) {
        std::free(block);
        block = nullptr;
    }
    outBlock_ = nullptr;
    stageIndex_ = 0;
    outBlockBytes_ = 0;
    lineBytes_ = 0;
    pull_.image.Reset();
}

void OutputWriter::Reset() {
    FreeBuffers();
    filesWritten_ = filesFailed_ = framesWritten_ = 0;
    sectionsWritten_ = 0;
    runFrames_ = 0;
    runSections_ = 0;
    runLastFrame_ = fileLastFrame_ = -1;
    walk_.currentFrame = 0;
    walk_.currentSection = 0;
}

bool OutputWriter::SetupConversion() {
    scaleKernel_ = nullptr;
    packKernel_ = nullptr;
    fusedPack_ = nullptr;
    convertKernel_ = nullptr;
    swap_ = nullptr;
    const uint32_t plain = outType_ & ~kElemSwapped;
    if (ElementSize(plain) == 0 || plain == kElemInt24) return false;
    // Values arrive as 64-bit reals in physical units: scale them in place into
    // stored units, then pack (rounding, saturating) or narrow them.
    ScaleZero identity;
    scaleKernel_ = ScaleInPlaceSelect(working_, kTypeF64, convMode_);
    if (!ElementIsReal(plain)) {
        packKernel_ = ScaleInPlaceSelectAlt(plain, convMode_);
        if (packKernel_ == nullptr) {
            DConvSelectIn(dconv_, identity, kTypeF64, plain);
            if (dconv_.inputType == 0 || dconv_.outputType == 0 || dconv_.kernel == nullptr)
                return false;
            convertKernel_ = dconv_.kernel;
        }
    } else if (plain == kTypeF32) {
        DConvSelectIn(dconv_, identity, kTypeF64, plain);
        if (dconv_.inputType == 0 || dconv_.outputType == 0 || dconv_.kernel == nullptr)
            return false;
        convertKernel_ = dconv_.kernel;
    }
    swap_ = ByteSwapSelect(outType_);
    fusedPack_ = ElementIsReal(plain) ? nullptr : SelectOutputPack(outType_, convMode_);
    PackSpecial();
    markBlanks_ = false;  // a format that marks blanks asks for it with each file
    ResetBlankChoice();   // the codes of the data change with the conversion
    SampleTypeRange(plain, &typeMin_, &typeMax_);
    if (plain == kTypeF64) {
        typeMin_ = -kBig;
        typeMax_ = kBig;
    } else if (plain == kTypeF32) {
        typeMin_ = -FLT_MAX;
        typeMax_ = FLT_MAX;
    }
    return true;
}

bool OutputWriter::PrepareWrite(const FormatDesc* format) {
    state_ = kOutputStateNotPrepared;
    if (!sourceConnected_) {
        result_ = kOutputNoSourceInfo;
        return false;
    }
    // 1. The temporary file beside the output.
    if (targetName_.empty()) {
        DeleteTempOutput();
        result_ = kOutputNoMemory;
        state_ = kOutputStateNoName;
        return false;
    }
    if (!MakeOutputTemp()) return false;
    // 2. The format.
    format_ = format;
    // 3. The write log, in memory until the run may write beside the output: a save over
    //    existing files asks first, and one that may not replace them leaves the earlier
    //    log as it was.
    BeginWriteLog();

    // 4. The request, offered to the format. A one-frame scope visits the first frame only.
    if (OneFrameScope()) {
        if (step_ >= 0) {
            lastFrame_ = firstFrame_;
        } else {
            firstFrame_ = lastFrame_;
        }
    }
    ResolveChannels();
    InitFrameGeometry(step_ >= 0 ? firstFrame_ : lastFrame_);
    OutputRequest request;
    request.type = outType_;
    request.channels = channels_;
    request.selectedChannel = selectedChannel_;
    request.singleChannel = singleChannel_;
    request.naxis = walk_.naxis;
    request.sizeX = OutputWidth();
    request.sizeY = OutputHeight();
    request.sizeZ = OutputDepth();
    request.frameCount = RangeFrameCount();
    if (format_ != nullptr) {
        if (OutputOfferFn offer = FindOffer(format_->tag)) {
            offer(format_, &request);
            if (request.frameCount != RangeFrameCount() && request.frameCount > 0) {
                // A format that writes fewer frames: the range ends earlier.
                int64_t s = step_ < 0 ? -static_cast<int64_t>(step_) : step_;
                int64_t span = (static_cast<int64_t>(request.frameCount) - 1) * s;
                if (step_ >= 0) {
                    lastFrame_ =
                        static_cast<int32_t>(std::min<int64_t>(lastFrame_, firstFrame_ + span));
                } else {
                    firstFrame_ =
                        static_cast<int32_t>(std::max<int64_t>(firstFrame_, lastFrame_ - span));
                }
            }
            if (request.type != outType_) {
                outType_ = PlainOutputType(NormalizeFormatWord(request.type));
                sampleBytes_ = ElementSize(outType_);
            }
            singleChannel_ = request.singleChannel;
            channels_ = singleChannel_ ? 1 : ClampChannelCount(request.channels);
            if (request.naxis >= 0 && request.naxis <= 2) walk_.naxis = request.naxis;
            if (request.sizeX > 0 && request.sizeX < OutputWidth())
                walk_.cropEnd[0] = cropOffset_[0] + request.sizeX;
            if (request.sizeY > 0 && request.sizeY < OutputHeight())
                walk_.cropEnd[1] = cropOffset_[1] + request.sizeY;
            if (request.sizeZ > 0 && request.sizeZ < OutputDepth())
                walk_.cropEnd[2] = cropOffset_[2] + request.sizeZ;
            selectedChannel_ = request.selectedChannel == 0 ? 1 : request.selectedChannel;
            if (selectedChannel_ > source_.channels) selectedChannel_ = source_.channels;
        }
    }
    // 5. A type the writer cannot produce.
    if (sampleBytes_ == 0 || (outType_ & 0x7F & ~kElemRealMask) == kElemInt24) {
        WriteLog("can`t init, unkn. types");
        result_ = kOutputUnknownTypes;
        state_ = kOutputStateNotPrepared;
        DeleteTempOutput();  // nothing will be written to it
        // A prepare that fails asks nothing: its report goes beside the output only where
        // it replaces no earlier log.
        SettleWriteLog(!FileExists(logName_.c_str()));
        return false;
    }
    // 6. A plain copy keeps the stored samples; otherwise the requested pair.
    const uint32_t plainOut = outType_ & ~kElemSwapped;
    const uint32_t plainIn = PlainOutputType(NormalizeFormatWord(source_.type));
    plainCopy_ = channels_ == source_.channels && plainIn != 0 && plainIn == plainOut;
    if (plainCopy_) {
        // The pulled values are physical: undoing the source's own scale and zero
        // gives back the stored samples, and the header keeps that pair.
        working_ = ScaleZero();
        if (std::isfinite(source_.scale) && std::fabs(source_.scale) >= kTiny &&
            (source_.scale != 1.0 || source_.zero != 0.0)) {
            working_.scale = 1.0 / source_.scale;
            working_.zero = -source_.zero / source_.scale;
        }
    } else {
        working_ = requested_;
    }
    third_ = ScaleZero();
    preparedWorking_ = working_;
    preparedPlainCopy_ = plainCopy_;
    if (!SetupConversion()) {
        WriteLog("can`t init, unkn. types");
        result_ = kOutputUnknownTypes;
        state_ = kOutputStateNotPrepared;
        DeleteTempOutput();  // nothing will be written to it
        SettleWriteLog(!FileExists(logName_.c_str()));
        return false;
    }
    // 7. Element sizes.
    outElementBytes_ = sampleBytes_ * channels_;
    inElementBytes_ = 8 * source_.channels;
    // 8. The scratch line buffer of one chunk.
    FreeBuffers();
    lineBytes_ = static_cast<uint64_t>(kChunkValues) * 8;
    lineBuffer_ = std::aligned_alloc(16, lineBytes_);
    if (lineBuffer_ == nullptr) {
        lineBytes_ = 0;
        result_ = kOutputNoLineBuffer;
        state_ = kOutputStateNotPrepared;
        DeleteTempOutput();  // nothing will be written to it
        SettleWriteLog(!FileExists(logName_.c_str()));
        return false;
    }
    // 9. The range scan of the pulled values.
    minMax_ = SelectMinMaxKernel(kTypeF64);
    // 10. Counters and range.
    clipShown_ = false;
    measuredMin_ = kBig;
    measuredMax_ = -kBig;
    state_ = kOutputStateTryAgain;
    result_ = kOutputReady;
    filesWritten_ = filesFailed_ = framesWritten_ = 0;
    sectionsWritten_ = 0;
    runFrames_ = 0;
    runSections_ = 0;
    sizeAsked_ = false;
    sizeAccepted_ = 0;
    grownSize_[0] = grownSize_[1] = 0;
    tries_ = 0;
    walk_.currentFrame = step_ >= 0 ? firstFrame_ : lastFrame_;
    walk_.fileStartFrame = walk_.currentFrame;
    walk_.fileStartSection = FirstSection();
    // 11. The header of the write log.
    {
        char when[64] = "";
        std::time_t now = std::time(nullptr);
        if (ctime_r(&now, when) == nullptr) when[0] = '\0';
        const char* formatName =
            format_ != nullptr && format_->name != nullptr ? format_->name : "noname";
        const OutputWriterHooks& h = TheOutputWriterHooks();
        const char* label =
            h.targetLabel != nullptr ? h.targetLabel(stageTag_[0], stageTag_[1]) : nullptr;
        WriteLog("/////////////////////\nwrite %s%s, %s, %s", when, formatName,
                 label != nullptr ? label : "", autoRange_ ? "auto range" : "");
        char typeText[64] = "";
        DataTypeText(outType_, sampleBytes_ * 8, channels_, typeText);
        if (typeText[0] != '\0') WriteLog("type=%s", typeText);
        if (OutputWidth() > 0)
            WriteLog("x=%I64d, w=%I64d", cropOffset_[0], OutputWidth());
        if (OutputHeight() > 1)
            WriteLog("y=%I64d, h=%I64d", cropOffset_[1], OutputHeight());
        if (OutputDepth() > 1)
            WriteLog("z=%I64d, d=%I64d", cropOffset_[2], OutputDepth());
        if (firstFrame_ != 0 || lastFrame_ != 0)
            WriteLog("frame_first=%d, frame_last=%d", firstFrame_, lastFrame_);
        if (firstFrame_ != lastFrame_ && step_ != 1) WriteLog("step=%d", step_);
    }
    // 12. The first frame and section.
    if (!InitFrame(walk_.currentFrame)) {
        state_ = kOutputStateNoMoreFrames;
        DeleteTempOutput();  // nothing will be written to it
        SettleWriteLog(!FileExists(logName_.c_str()));
        return false;
    }
    walk_.fileStartFrame = walk_.currentFrame;
    return true;
}

// ---- Frames and sections ----

void OutputWriter::InitFrameGeometry(int32_t frame) {
    (void)frame;
    walk_.frameSize[0] = source_.width > 0 ? source_.width : kMaxWidth;
    walk_.frameSize[1] = source_.height > 0 ? source_.height : 1;
    walk_.frameSize[2] = source_.depth > 0 ? source_.depth : 1;
    walk_.hasHeight = walk_.frameSize[1] > 1;
    walk_.hasDepth = walk_.frameSize[2] > 1;
    walk_.naxis = walk_.hasHeight ? 2 : 1;
    for (int i = 0; i < 3; ++i) {
        int64_t offset = cropOffset_[i] < walk_.frameSize[i] ? cropOffset_[i] : walk_.frameSize[i];
        int64_t room = walk_.frameSize[i] - offset;
        int64_t size = cropSize_[i] <= 0 || cropSize_[i] > room ? room : cropSize_[i];
        walk_.cropEnd[i] = offset + size;
        if (cropOffset_[i] > walk_.frameSize[i])
            walk_.cropEnd[i] = cropOffset_[i];  // empty: CheckCropBox stops
        if (walk_.cropEnd[i] < cropOffset_[i]) walk_.cropEnd[i] = cropOffset_[i];
    }
}

uint32_t OutputWriter::SectionsOf(int32_t frame) const {
    if (source_.sectionCount != nullptr) return source_.sectionCount(source_.context, frame);
    return source_.sections > 0 ? source_.sections : 1;
}

bool OutputWriter::InitFrame(int32_t frame) {
    // A frame without sections (without the selected one in a section scope) is
    // skipped by the step, within the range; a one-frame scope has nothing to skip to.
    for (;;) {
        if (frame < firstFrame_ || frame > lastFrame_) return false;
        const uint32_t n = SectionsOf(frame);
        if (n > FirstSection()) {
            walk_.currentFrame = frame;
            walk_.frameSections = n;
            walk_.currentSection = FirstSection();
            InitFrameGeometry(frame);
            return true;
        }
        if (OneFrameScope()) return false;
        const int64_t next = static_cast<int64_t>(frame) + step_;
        if (next > 0x7fffffff || next < 0) return false;
        frame = static_cast<int32_t>(next);
    }
}

bool OutputWriter::AdvanceFrame() {
    int64_t next = -1;
    if (OneFrameScope()) {
        // The one frame is written.
    } else if (scope_ < kWriteScopeSection) {
        // By index: the frame count follows a range that a growing source widened.
        const int64_t index = IndexOfFrame(walk_.currentFrame) + 1;
        if (index < static_cast<int64_t>(RangeFrameCount())) next = FrameAtIndex(index);
    } else {
        next = static_cast<int64_t>(walk_.currentFrame) + step_;
    }
    if (next < firstFrame_ || next > lastFrame_ || next > 0x7fffffff ||
        !InitFrame(static_cast<int32_t>(next))) {
        state_ = kOutputStateNoMoreFrames;
        return false;
    }
    return true;
}

bool OutputWriter::InitSection(bool first) {
    if (first) {
        walk_.currentSection = FirstSection();
        return true;
    }
    if (!SectionScope() && walk_.currentSection + 1 < walk_.frameSections) {
        ++walk_.currentSection;
        return true;
    }
    return AdvanceFrame();
}

bool OutputWriter::CheckCropBox() {
    if (cropOffset_[0] >= walk_.frameSize[0]) {
        WriteLog("crop box is empty, stop write");
        failReason_ = "the crop box is empty";
        return false;
    }
    if (walk_.cropEnd[0] > walk_.frameSize[0]) walk_.cropEnd[0] = walk_.frameSize[0];
    if (cropOffset_[1] >= walk_.frameSize[1]) return false;
    if (walk_.cropEnd[1] > walk_.frameSize[1]) walk_.cropEnd[1] = walk_.frameSize[1];
    if (cropOffset_[2] >= walk_.frameSize[2]) return false;
    if (walk_.cropEnd[2] > walk_.frameSize[2]) walk_.cropEnd[2] = walk_.frameSize[2];
    return true;
}

bool OutputWriter::CheckOutputSize() {
    int64_t w = OutputWidth() > 0 ? OutputWidth() : 1;
    int64_t h = OutputHeight() > 0 ? OutputHeight() : 1;
    int64_t d = OutputDepth() > 0 ? OutputDepth() : 1;
    uint64_t b = static_cast<uint64_t>(channels_) * std::max<uint32_t>(8, sampleBytes_);
    uint64_t limit = b >= 0x4000000 ? 1 : 0x8000000 / (b == 0 ? 1 : b);
    if (static_cast<uint64_t>(w) < limit && (!walk_.hasHeight || static_cast<uint64_t>(h) < limit) &&
        (!walk_.hasDepth || static_cast<uint64_t>(d) < limit))
        return true;
    uint64_t size = b;
    for (int64_t f : {w, h, d}) {
        if (size < 0x7fffffff) size *= static_cast<uint64_t>(f);
    }
    // Files of the size the user already let pass are not asked about again.
    if (size < 0x10000000 || size == sizeAccepted_) return true;
    char sizeText[32];
    ByteSizeText(sizeText, size);
    std::string text = "Expected file size";
    // The file the user will find, not the temporary one it is written to first.
    if (!outputPath_.empty()) text += " (" + FileTargetName() + ")";
    text += " ~ ";
    text += sizeText;
    const OutputWriterHooks& h2 = TheOutputWriterHooks();
    if (UiUp() && h2.messageBox != nullptr) {
        int answer = h2.messageBox(text.c_str(), "Output: Warning (Large file size)...", 1);
        if (answer == 2) {
            result_ = kOutputCancelled;
            state_ = kOutputStateNoMoreFrames;
            if (h2.setGroupStatus != nullptr) h2.setGroupStatus(0, 8, 7, nullptr);
            WriteLog("check size: is big, user canceled:\n%s", text.c_str());
            return false;
        }
    }
    WriteLog("check size: is big:\n%s", text.c_str());
    sizeAccepted_ = size;
    return true;
}

int OutputWriter::PullBlock(int64_t x, int64_t width, int64_t row, int64_t rows, int64_t plane) {
    pull_.pending = 0;
    pull_.window = ReadWindow();
    pull_.window.frame = walk_.currentFrame;
    pull_.window.section = static_cast<int32_t>(walk_.currentSection);
    pull_.window.x = x;
    pull_.window.y = row;
    pull_.window.width = static_cast<int32_t>(width);
    pull_.window.height = static_cast<int32_t>(rows);
    pull_.window.z = plane;
    pull_.window.depth = 1;
    PullRequest request;
    request.readAgain = 1;
    request.workMode = TheOutputWriterHooks().saveSwitchWrkMode;
    const int code = ComponentPull(link_, &pull_, &request);
    // An upstream that holds the rows may lend them (the data outside the result's own
    // block): they are read, never written. Only the channel selection works in place,
    // so then the values are taken into a block of the writer's own first.
    TypedFrameBuffer& image = pull_.image;
    if (code >= 2 && singleChannel_ && source_.channels > 1 && image.data != nullptr) {
        const auto* data = static_cast<const unsigned char*>(image.data);
        const auto* block = static_cast<const unsigned char*>(image.block);
        const uint64_t bytes = image.rowBytes * image.height;
        const bool own = block != nullptr && data >= block && data < block + image.size;
        if (!own) {
            if (!GlobalBufferFit(&image, bytes)) return 0;
            std::memcpy(image.block, data, static_cast<size_t>(bytes));
            image.data = image.block;
        }
    }
    return code;
}

// ---- Writing ----

// The staged blocks of one WriteFramesClipped go to the sink on a thread of their own, so
// that the next blocks are pulled and packed while the last ones are written. The writer
// fills its staging blocks in turn and hands each over when full; a hand-over returns once
// the next block in turn is free again, so that the writer runs up to kStageBlocks - 1
// blocks ahead of the sink and a late wake-up of either thread stalls neither. The thread
// starts with the first block handed over (an output that fits one block is written in
// place at the end) and is joined when the object goes, after the last write. Blocks reach
// the sink in the order handed over, one at a time; a failed write fails every later
// hand-over and no block is written after it.
//
// The blocks are written in place, one after the other as the writer fills them, only
// when the process may run on one processor alone. Whether others are free at the moment
// is no guide: a 4096 x 4096 write took half the time with the thread even on two
// processors that other programs kept busy (Zen 4), while a count of the system's runnable
// threads took every processor for busy on a loaded machine, and a benchmark pinned to two
// idle processors of it wrote in place at half the speed.
class OutputWriter::StagedWrites {
public:
    explicit StagedWrites(OutputSink* sink) : sink_(sink) {}
    ~StagedWrites() {
        if (!thread_.joinable()) return;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            stop_ = true;
        }
        changed_.notify_all();
        thread_.join();
    }
    StagedWrites(const StagedWrites&) = delete;
    StagedWrites& operator=(const StagedWrites&) = delete;

    // Queues `bytes` of `block` for the sink; returns when fewer than kStageBlocks blocks
    // are queued or being written, so that the block handed over kStageBlocks - 1 times
    // before this one is free. A queued block stays untouched until then. False when a
    // write failed.
    bool Hand(const unsigned char* block, size_t bytes) {
        if (!thread_.joinable()) {
            if (inPlace_) return sink_->WriteBlock(block, bytes);
            const int mode = gStagedThreadMode.load(std::memory_order_relaxed);
            inPlace_ = mode < 0 || (mode == 0 && platform::UsableProcessors() < 2);
            if (inPlace_) return sink_->WriteBlock(block, bytes);
            try {
                thread_ = std::thread(&StagedWrites::Run, this);
            } catch (const std::exception&) {
                inPlace_ = true;
                return sink_->WriteBlock(block, bytes);
            }
        }
        std::unique_lock<std::mutex> lock(mutex_);
        if (failed_) return false;
        queue_[(first_ + queued_) % kStageBlocks] = {block, bytes};
        ++queued_;
        changed_.notify_all();
        changed_.wait(lock, [this] { return queued_ < kStageBlocks || failed_; });
        return !failed_;
    }
    // Waits until every block handed over is written; false when a write failed.
    bool Finish() {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait(lock, [this] { return queued_ == 0; });
        return !failed_;
    }
    // Whether blocks handed over are queued for the thread (else they are written by then).
    bool Queues() const { return thread_.joinable(); }
    // The last block of a write: in place when no thread was needed.
    bool Last(const unsigned char* block, size_t bytes) {
        if (!thread_.joinable()) return bytes == 0 || sink_->WriteBlock(block, bytes);
        return (bytes == 0 || Hand(block, bytes)) && Finish();
    }

private:
    struct Queued {
        const unsigned char* block;
        size_t bytes;
    };
    void Run() {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || queued_ > 0; });
            if (queued_ == 0) return;  // stopping with nothing left to write
            const Queued next = queue_[first_];
            const bool skip = failed_;
            lock.unlock();
            // The block stays counted while it is written: its slot is not reused before.
            const bool ok = skip || sink_->WriteBlock(next.block, next.bytes);
            lock.lock();
            failed_ = failed_ || !ok;
            first_ = (first_ + 1) % kStageBlocks;
            --queued_;
            changed_.notify_all();
        }
    }

    OutputSink* sink_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    Queued queue_[kStageBlocks] = {};  // a ring: queued_ blocks from first_ on
    int first_ = 0, queued_ = 0;       // queued_ counts the block being written
    bool failed_ = false;
    bool stop_ = false;
    bool inPlace_ = false;  // no thread for this write: every block written as handed over
};

bool OutputWriter::DeliverBlock(double* values, uint64_t pixels) {
    const uint32_t inChannels = source_.channels;
    uint64_t count = pixels * channels_;
    if (singleChannel_ && inChannels > 1) {
        // Only the selected channel: compacted in place (the reads stay ahead of the writes).
        const uint32_t offset = selectedChannel_ - 1;
        for (uint64_t i = 0; i < pixels; ++i) values[i] = values[i * inChannels + offset];
        count = pixels;
    }
    const uint32_t outBytes = sampleBytes_;
    const uint64_t need = count * outBytes;
    // Packed blocks gather in a staging block that goes to the sink when full.
    if (stageUsed_ + need > outBlockBytes_ && !FlushStage()) return false;
    if (need > outBlockBytes_) {
        // No block may be queued when they are made again: every one handed over is written first.
        if (writes_ != nullptr && !writes_->Finish()) return false;
        outBlock_ = nullptr;
        outBlockBytes_ = 0;
        // Writes of 256 KiB: the block is still in the second-level cache when the system
        // copies it into the file. The time goes to the file's pages, not to the calls: 1 MiB
        // blocks, which had left that cache, made the copying thread take an eighth longer.
        constexpr uint64_t kWriteStageBytes = 0x40000;
        const uint64_t size = std::max<uint64_t>(need, kWriteStageBytes);
        // The others are made when their turn first comes (an output of one block needs one).
        for (unsigned char*& block : stageBlocks_) {
            std::free(block);
            block = nullptr;
        }
        outBlock_ = stageBlocks_[stageIndex_] = static_cast<unsigned char*>(std::malloc(size));
        if (outBlock_ == nullptr) return false;
        outBlockBytes_ = size;
    }
    unsigned char* stage = outBlock_ + stageUsed_;
    // Unscaled 32-bit real output: the data kernels' plain narrowing, done here together
    // with the byte order.
    const bool narrowReal = (outType_ & ~kElemSwapped) == kTypeF32 && scaleKernel_ == nullptr &&
                            convertKernel_ != nullptr;
    uint64_t done = 0;
    while (done < count) {
        const uint32_t n = static_cast<uint32_t>(std::min<uint64_t>(kChunkValues, count - done));
        const double* chunk = values + done;
        unsigned char* destination = stage + done * outBytes;
        MinMaxPair pair{measuredMin_, measuredMax_};
        if (fusedPack_ != nullptr) {
            // Scan, scale, round, saturate and order the bytes in one pass.
            fusedPack_(chunk, destination, static_cast<int32_t>(n), working_.scale, working_.zero,
                       &pair);
        } else if (narrowReal && minMax_ != nullptr && packKernel_ == nullptr) {
            // Unscaled 32-bit reals: scan, narrow and order the bytes in one pass too.
            PackReal32Scan(chunk, destination, static_cast<int32_t>(n), swap_ != nullptr, &pair);
        } else {
            // The scratch line is needed only when a kernel changes the values in place;
            // otherwise the scan and the conversion read the pulled values themselves.
            const bool inPlace = scaleKernel_ != nullptr || packKernel_ != nullptr;
            double* line = inPlace ? static_cast<double*>(lineBuffer_) : values + done;
            if (inPlace) std::memcpy(line, chunk, static_cast<size_t>(n) * 8);
            if (minMax_ != nullptr) {
                MinMaxPair before = pair;
                minMax_(line, n, 0, 1, &pair);
                // A missing value (-DBL_MAX) says nothing of the range: scanned again without it.
                if (pair.minimum == -kBig) {
                    pair = before;
                    ScanSkippingMissing(line, static_cast<int32_t>(n), &pair);
                }
            }
            if (scaleKernel_ != nullptr) scaleKernel_(line, static_cast<int32_t>(n), working_);
            if (narrowReal) {
                // The plain narrowing and the byte order in one pass.
                PackReal32(line, destination, static_cast<int32_t>(n), swap_ != nullptr);
            } else if (packKernel_ != nullptr) {
                packKernel_(line, static_cast<int32_t>(n), nullptr);
                std::memcpy(destination, line, static_cast<size_t>(n) * outBytes);
            } else if (convertKernel_ != nullptr) {
                ScaleZero identity;
                convertKernel_(line, destination, static_cast<int32_t>(n), identity);
            } else {
                std::memcpy(destination, line, static_cast<size_t>(n) * outBytes);
            }
            if (swap_ != nullptr && !narrowReal) swap_(destination, n);
        }
        // Samples without data take the special value (the pulled values are untouched:
        // the kernels scaled a copy, or wrote only the destination).
        // Without one, real output writes them as NaN, which every reader takes as missing
        // (the marker itself would read as a value at the type's lowest end), and integer
        // output that marks blanks writes its blank.
        if (hasSpecial_ && sampleBytes_ <= sizeof specialBytes_) PutSpecial(chunk, destination, n);
        else if (ElementIsReal(outType_)) PutMissingAsNaN(chunk, destination, n);
        if (markBlanks_) {
            if (blankPass_ == 1) NoteUsedCodes(chunk, destination, n);
            blankSamples_ += PutBlanks(chunk, destination, n);
        }
        measuredMin_ = pair.minimum;
        measuredMax_ = pair.maximum;
        done += n;
    }
    stageUsed_ += need;
    return true;
}

bool OutputWriter::FlushStage() {
    const uint64_t used = stageUsed_;
    stageUsed_ = 0;
    if (used == 0 || writes_ == nullptr) return true;
    if (!writes_->Hand(outBlock_, static_cast<size_t>(used))) return false;
    if (!writes_->Queues()) return true;  // written already: the block is filled again
    stageIndex_ = (stageIndex_ + 1) % kStageBlocks;
    unsigned char*& next = stageBlocks_[stageIndex_];
    if (next == nullptr) next = static_cast<unsigned char*>(std::malloc(outBlockBytes_));
    outBlock_ = next;
    return outBlock_ != nullptr;
}

bool OutputWriter::ClipOutside(double* dmin, double* dmax) const {
    if (!(measuredMin_ <= measuredMax_)) return false;
    double lo = SaturatingMap(measuredMin_, working_.scale, working_.zero);
    double hi = SaturatingMap(measuredMax_, working_.scale, working_.zero);
    if (lo > hi) std::swap(lo, hi);
    // Integers are rounded to nearest: half a step beyond a bound still lands on it.
    const double slack = ElementIsReal(outType_) ? 0.0 : 0.5;
    bool outside = lo < typeMin_ - slack || hi > typeMax_ + slack;
    if (dmin != nullptr) *dmin = std::fabs(lo) >= kBig ? (lo < 0 ? -kBig : kBig) : lo - typeMin_;
    if (dmax != nullptr) *dmax = std::fabs(hi) >= kBig ? (hi < 0 ? -kBig : kBig) : hi - typeMax_;
    return outside;
}

int OutputWriter::WriteFramesClipped(OutputSink* sink) {
    if (state_ == kOutputStateNotPrepared || state_ == kOutputStateStopped || !sourceConnected_)
        return 0;
    state_ = kOutputStateRunning;
    measuredMin_ = kBig;
    measuredMax_ = -kBig;
    clipLogged_ = false;
    stageUsed_ = 0;
    blankSamples_ = 0;
    // Every return below waits for the last block handed over to be written.
    std::unique_ptr<StagedWrites> writes;
    if (sink != nullptr) {
        writes = std::make_unique<StagedWrites>(sink);
        writes_ = writes.get();
    }
    struct Forget {
        StagedWrites*& writes;
        ~Forget() { writes = nullptr; }
    } forget{writes_};
    if (!InitFrame(walk_.fileStartFrame)) {
        state_ = kOutputStateNoMoreFrames;
        return 0;
    }
    if (walk_.currentFrame != walk_.fileStartFrame) {
        // Frames without sections were skipped: the file begins at the frame found.
        walk_.fileStartFrame = walk_.currentFrame;
        walk_.fileStartSection = FirstSection();
    }
    walk_.currentSection = walk_.fileStartSection < walk_.frameSections ? walk_.fileStartSection : 0;
    const int64_t channelsIn = source_.channels;
    int32_t lastCountedFrame = -1;
    bool more = true, moreFiles = false;
    while (more) {
        if (!CheckCropBox()) {
            state_ = kOutputStateNoMoreFrames;
            return 0;
        }
        if (sizeCheck_ && !sizeAsked_) {
            sizeAsked_ = true;
            if (!CheckOutputSize()) return 0;
        }
        const int64_t width = OutputWidth();
        // Blocks of whole rows within the budget; a row alone beyond it is cut in pieces.
        const uint64_t perPixel = static_cast<uint64_t>(channelsIn) * 64;
        int64_t pieceWidth = width;
        int64_t rowsPerBlock = 1;
        if (static_cast<uint64_t>(width) * perPixel > kBlockBudget) {
            pieceWidth = static_cast<int64_t>(kBlockBudget / perPixel);
            if (pieceWidth < 1) pieceWidth = 1;
        } else {
            rowsPerBlock =
                static_cast<int64_t>(kBlockBudget / (static_cast<uint64_t>(width) * perPixel));
            const uint64_t rowBytes =
                static_cast<uint64_t>(width) * static_cast<uint64_t>(channelsIn) * 8;
            const int64_t cacheRows = static_cast<int64_t>(kBlockCacheBytes / rowBytes);
            rowsPerBlock = std::min<int64_t>(rowsPerBlock, cacheRows > 0 ? cacheRows : 1);
        }
        pieceWidth = std::min<int64_t>(pieceWidth, kBlockAxisMax);
        rowsPerBlock = std::clamp<int64_t>(rowsPerBlock, 1, kBlockAxisMax);
        for (int64_t z = cropOffset_[2]; z < walk_.cropEnd[2]; ++z) {
            for (int64_t y = cropOffset_[1]; y < walk_.cropEnd[1];) {
                const int64_t rows = std::min<int64_t>(rowsPerBlock, walk_.cropEnd[1] - y);
                int64_t deliveredRows = rows;
                for (int64_t x = cropOffset_[0]; x < walk_.cropEnd[0];) {
                    const int64_t w = std::min<int64_t>(pieceWidth, walk_.cropEnd[0] - x);
                    const int code = PullBlock(x, w, y, w == width ? rows : 1, z);
                    if (code >= 2 && (pull_.status & kPullSourceGrown) != 0) NoteSourceGrowth();
                    const TypedFrameBuffer& image = pull_.image;
                    if (code < 2 || image.data == nullptr ||
                        image.width != static_cast<uint32_t>(w) || image.height == 0 ||
                        image.height > static_cast<uint64_t>(rows) ||
                        image.itemBytes != 8 * static_cast<uint64_t>(channelsIn)) {
                        LogPrintf("%s", "error input");
                        WriteLog("error input");
                        failReason_ = "the data could not be read";
                        const OutputWriterHooks& h = TheOutputWriterHooks();
                        if (UiUp() && h.messageBox != nullptr)
                            h.messageBox("error input", "Output", 0);
                        state_ = kOutputStateStopped;
                        return 0;
                    }
                    deliveredRows = w == width ? image.height : 1;
                    if (!DeliverBlock(
                            static_cast<double*>(image.data),
                            static_cast<uint64_t>(w) * static_cast<uint64_t>(deliveredRows))) {
                        WriteLog("error write...");
                        state_ = kOutputStateStopped;
                        return 0;
                    }
                    x += w;
                }
                y += deliveredRows;
            }
        }
        ++sectionsWritten_;
        fileLastFrame_ = walk_.currentFrame;
        if (walk_.currentFrame != lastCountedFrame) {
            ++framesWritten_;
            lastCountedFrame = walk_.currentFrame;
        }
        double dmin = 0.0, dmax = 0.0;
        if (!clipLogged_ && ClipOutside(&dmin, &dmax)) {
            clipLogged_ = true;
            WriteLog("clipping detect: frame=%d, section=%d, minmax=%g, %g \ndelta err: "
                     "dmin=%g, dmax=%g",
                     walk_.currentFrame, static_cast<int32_t>(walk_.currentSection), measuredMin_,
                     measuredMax_, dmin, dmax);
        }
        const int32_t frameDone = walk_.currentFrame;
        more = InitSection(false);
        if (more && (method_ == kRecordSectionPerFile ||
                     (method_ == kRecordFramePerFile && walk_.currentFrame != frameDone))) {
            // This file is complete; the next one begins where the walk stands.
            nextFrame_ = walk_.currentFrame;
            nextSection_ = walk_.currentSection;
            moreFiles = true;
            break;
        }
    }
    const uint64_t last = stageUsed_;
    stageUsed_ = 0;
    if (writes_ != nullptr && !writes_->Last(outBlock_, static_cast<size_t>(last))) {
        WriteLog("error write...");
        state_ = kOutputStateStopped;
        return 0;
    }
    // A blank code that a real sample holds: the file is written again with another.
    if (!SettleBlanks()) {
        RetryInit();
        return 0;
    }
    state_ = moreFiles ? kOutputStateNextFile : kOutputStateRunning;
    return kOutputReady;
}

bool OutputWriter::RetryInit() {
    WriteLog("try again... frame=%d, section=%d", walk_.fileStartFrame,
             static_cast<int32_t>(walk_.fileStartSection));
    state_ = kOutputStateFileError;
    if (!InitFrame(walk_.fileStartFrame)) {
        WriteLog("try again: can`t init frame");
        state_ = kOutputStateStopped;
        return false;
    }
    if (walk_.fileStartSection >= walk_.frameSections) {
        WriteLog("try again: can`t init section");
        state_ = kOutputStateStopped;
        return false;
    }
    walk_.currentSection = walk_.fileStartSection;
    return true;
}

void OutputWriter::ResolveClipping() {
    if (!(measuredMin_ <= measuredMax_)) return;
    double dmin = 0.0, dmax = 0.0;
    if (!ClipOutside(&dmin, &dmax)) return;
    if (!autoRange_) {
        char text[256];
        std::snprintf(text, sizeof text, "Error: (delta) min %g, max %g", dmin, dmax);
        int answer = kClipAnswerNewRange;  // without a user interface: keep the data
        const OutputWriterHooks& h = TheOutputWriterHooks();
        if (UiUp() && h.messageDialog != nullptr) {
            clipShown_ = true;
            answer = h.messageDialog("Clipping Detect...", text, kClipDialogStyle);
        }
        if (answer & kClipAnswerDontAskAgain) autoRange_ = true;
        switch (answer & 0xFFFF) {
            case kClipAnswerIgnore:
                WriteLog("user: clipping ignore...");
                return;
            case kClipAnswerCancel:
                WriteLog("user: cancel...");
                state_ = kOutputStateStopped;
                result_ = kOutputCancelled;
                return;
            default:
                break;
        }
    }
    if (++tries_ > kMaxTries) {
        state_ = kOutputStateStopped;
        result_ = kOutputNewRangeFailed;
        return;
    }
    double bscale, bzero;
    const double spread = measuredMax_ - measuredMin_;
    if (!(spread >= kTiny) || !std::isfinite(spread)) {
        bscale = 1.0;
        bzero = -measuredMin_;
        if (!std::isfinite(spread) || !(spread >= 0)) {
            // A spread beyond the reals: scale by halves so that it stays finite.
            bscale = (typeMax_ - typeMin_) / (measuredMax_ * 0.5 - measuredMin_ * 0.5) * 0.5;
            bzero = typeMin_ - bscale * measuredMin_;
        }
    } else {
        bscale = (typeMax_ - typeMin_) / spread;
        bzero = typeMin_ - bscale * measuredMin_;
    }
    WriteLog("select new range: \nbscale=%g, bzero=%g\n", bscale, bzero);
    working_ = ScaleZero();
    working_.scale = bscale;
    working_.zero = bzero;
    plainCopy_ = false;
    if (!std::isfinite(bscale) || !std::isfinite(bzero) || bscale == 0.0 || !SetupConversion()) {
        state_ = kOutputStateStopped;
        result_ = kOutputNewRangeFailed;
        return;
    }
    RetryInit();
}

// ---- Files ----

void OutputWriter::DeleteTempOutput() {
    if (!outputPath_.empty()) {
        std::remove(outputPath_.c_str());
        outputPath_.clear();
    }
}

int OutputWriter::FinishOutputFile() {
    if (outputPath_.empty()) {
        result_ = kOutputNoName;
        return kOutputNoName;
    }
    std::string finalPath = outputPath_;
    const bool renamed = !builtName_.empty() && builtName_ != outputPath_;
    // A name that is a symbolic link stays one: the data replace the file it leads to.
    const std::string target = renamed ? ResolveLinks(builtName_) : std::string();
    // The temporary file was made private; the output gets the permissions of the file
    // it replaces, or those of any new file.
    ::chmod(outputPath_.c_str(), ReplacementFileMode(renamed ? target.c_str() : nullptr));
    if (renamed) {
        // A file the program holds open is moved aside for its holders, and with backups
        // on the old file keeps a free name. Any other file is replaced by the rename in
        // one step, so that a rename that fails leaves it as it was.
        const bool backup = TheOutputWriterHooks().dataBackup;
        if (backup || FindOpenStream(nullptr, target.c_str()) != nullptr) {
            const int code = StreamVacateFile(target.c_str(), backup);
            if (code < 2) {
                result_ = code;
                DeleteTempOutput();
                return code;
            }
        }
        // A big old file's blocks are freed by a background thread after the rename (for
        // 64 MiB on a memory file system that took the rename some 8 ms otherwise).
        if (!platform::ReplaceFileReleasingLater(outputPath_.c_str(), target.c_str())) {
            failReason_ = std::strerror(errno);
            result_ = kOutputRenameFailed;
            WriteLog("can`t rename '%s' to '%s'", outputPath_.c_str(),
                     target.c_str());
            LogPrintf("'%s' - can`t write the file (its name is taken or not writable)", target.c_str());
            // A temporary file left behind would hold data nobody can find under its name.
            DeleteTempOutput();
            return kOutputRenameFailed;
        }
        finalPath = builtName_;
    }
    outputPath_.clear();

    // The service file describes the samples as the file holds them, so that reading the
    // file through it gives the values written (FITS keeps some types in another form).
    uint32_t storedType = outType_;
    double storedScale = OutputBScale(), storedZero = OutputBZero();
    if (format_ != nullptr)
        if (OutputStoredFormFn form = FindStoredForm(format_->tag))
            form(outType_, &storedType, &storedScale, &storedZero);
    ServiceDescription d;
    d.active = 1;
    d.type = NormalizeFormatWord(storedType);
    d.bits = sampleBytes_ * 8;
    d.channels = ClampChannelCount(channels_);
    d.nchannelOut = 1;
    d.sizeX = OutputWidth();
    d.sizeY = OutputHeight();
    d.sizeZ = OutputDepth();
    d.frames = static_cast<uint32_t>(framesWritten_ > 0 ? framesWritten_ : 1);
    d.framesMax = d.frames;
    // Sections of each frame of this file (a file of one section has one).
    const uint64_t perFrame = sectionsWritten_ / static_cast<uint64_t>(d.frames);
    d.sections =
        perFrame > 1 ? static_cast<uint32_t>(std::min<uint64_t>(perFrame, 0xffffffffu)) : 1;
    d.scale = storedScale;
    d.zero = storedZero;
    if (format_ != nullptr) d.formatTag = format_->tag;
    d.flags = kFlagSampleSize | kFlagChannels | kFlagSizeX | kFlagFrames | kFlagScale | kFlagZero;
    // Missing samples that the file marks.
    if (uint64_t bits = 0; BlankMarked(&bits)) {
        d.blank = StoredBlankValue(outType_, storedType, bits);
        d.flags |= kFlagBlank;
    }
    if (d.sizeY > 0) d.flags |= kFlagSizeY;
    if (d.sizeZ > 1) d.flags |= kFlagSizeZ;
    const OutputWriterHooks& h = TheOutputWriterHooks();
    // The files beside the data are part of the save: one that cannot be written is named
    // with its reason, and the data file, written already, stays under its name.
    if (d.sizeX > 0 && h.oldSIFormat) {
        errno = 0;
        if (!writeOldServisFile(&d, finalPath.c_str(), h.siShortExt, h.fsBackup)) {
            const int error = errno != 0 ? errno : EIO;
            char name[kPathMax];
            NoteCompanionFailure(OldServiceFileName(name, sizeof name, finalPath.c_str()) == 2
                                     ? std::string(name)
                                     : finalPath,
                                 std::strerror(error));
        }
    } else {
        // The long-form old file is ours; the short form "m31.%f" may belong to a
        // different file ("m31.f") and goes only when we write short forms.
        char name[kPathMax];
        if (OldServiceFileName(name, sizeof name, finalPath.c_str()) == 2) {
            if (h.siShortExt) {
                DeleteOldServiceFiles(finalPath.c_str());
            } else if (FileExists(name)) {
                std::remove(name);
            }
        }
    }
    std::string fsPath, why;
    if (!SaveServiceDescription(&d, finalPath.c_str(), nullptr, false, &fsPath, &why)) {
        char name[kPathMax];
        if (fsPath.empty() && PathReplaceExtension(name, finalPath.c_str(), ".fs")) fsPath = name;
        NoteCompanionFailure(!fsPath.empty() ? fsPath : finalPath, why);
    }
    lastFinal_ = finalPath;
    result_ = kOutputFileFinished;
    return kOutputFileFinished;
}

void OutputWriter::NoteSourceGrowth() {
    if (source_.currentSize == nullptr) return;
    int64_t width = source_.width, height = source_.height;
    uint32_t frames = source_.frames;
    if (!source_.currentSize(source_.context, &width, &height, &frames)) return;
    if (frames > source_.frames) {
        // More frames: a forward range that reached the old end follows the new one.
        const int64_t oldLast =
            static_cast<int64_t>(std::min<uint32_t>(source_.frames, 0x7fffffff)) - 1;
        const int64_t newLast = static_cast<int64_t>(std::min<uint32_t>(frames, 0x7fffffff)) - 1;
        source_.frames = frames;
        if (step_ > 0 && !OneFrameScope() && static_cast<int64_t>(lastFrame_) + step_ > oldLast)
            lastFrame_ = static_cast<int32_t>(newLast);
    }
    // Wider or taller frames: a file already begun keeps the geometry its header
    // declared; the next file takes the new one.
    if (source_.width > 0 && width > source_.width) grownSize_[0] = width;
    if (height > source_.height) grownSize_[1] = height;
}

void OutputWriter::ApplySourceGrowth() {
    int64_t* sizes[2] = {&source_.width, &source_.height};
    for (int i = 0; i < 2; ++i) {
        if (grownSize_[i] <= *sizes[i]) continue;
        // A crop that reached the old end moves its end to the new one.
        if (walk_.cropEnd[i] >= walk_.frameSize[i]) cropSize_[i] = 0;
        *sizes[i] = grownSize_[i];
    }
    grownSize_[0] = grownSize_[1] = 0;
}

bool OutputWriter::WriteOneFile() {
    // Repeated while a new range asks for the file to be written again.
    for (;;) {
        framesWritten_ = 0;
        sectionsWritten_ = 0;
        if (state_ == kOutputStateTryAgain || state_ == kOutputStateFileError)
            state_ = kOutputStateIdle;
        const bool ok = format_->write(this);
        if (ok && state_ != kOutputStateFileError) return true;
        if (state_ != kOutputStateFileError) return false;
    }
}

bool OutputWriter::MakeOutputTemp() {
    DeleteTempOutput();  // a file that was not finished
    char temp[kPathMax] = "orv";
    if (!MakeTempFile(temp, targetName_.c_str(), "orv")) {
        result_ = kOutputNoTempFile;
        state_ = kOutputStateNoName;
        return false;
    }
    outputPath_ = temp;
    return true;
}

bool OutputWriter::BeginNextFile() {
    if (!MakeOutputTemp()) return false;
    // Each file starts from the requested pair: a new range that one file needed is
    // that file's own.
    if (working_.scale != preparedWorking_.scale || working_.zero != preparedWorking_.zero ||
        plainCopy_ != preparedPlainCopy_) {
        working_ = preparedWorking_;
        plainCopy_ = preparedPlainCopy_;
        if (!SetupConversion()) {
            state_ = kOutputStateStopped;
            result_ = kOutputNewRangeFailed;
            return false;
        }
    }
    tries_ = 0;
    sizeAsked_ = false;
    ResetBlankChoice();  // each file chooses its own
    walk_.fileStartFrame = nextFrame_;
    walk_.fileStartSection = nextSection_;
    ApplySourceGrowth();
    // The geometry and section count the format's header reads.
    if (!InitFrame(walk_.fileStartFrame)) {
        state_ = kOutputStateNoMoreFrames;
        return false;
    }
    state_ = kOutputStateIdle;
    return true;
}

std::string OutputWriter::FileTargetName() const {
    std::string name;
    if (state_ == kOutputStateNotPrepared || !BuildOutputName(&name)) return targetName_;
    return name;
}

void OutputWriter::NoteNotWritten(const std::string& name, const std::string& reason) {
    ++filesFailed_;
    failedNames_.push_back(name);
    failedReasons_.push_back(reason);
    LogPrintf("'%s' - not written%s%s", name.c_str(), reason.empty() ? "" : ": ", reason.c_str());
    WriteLog("'%s' - not written%s%s", name.c_str(), reason.empty() ? "" : ": ",
             reason.c_str());
}

void OutputWriter::NoteRestNotWritten() {
    // The walk goes back to where the failed file began and names it and the files after it.
    const std::string reason = failReason_;
    const int32_t state = state_;
    if (state_ == kOutputStateNotPrepared) state_ = kOutputStateStopped;
    std::vector<std::string> names;
    if (InitFrame(walk_.fileStartFrame)) {
        walk_.currentSection =
            walk_.fileStartSection < walk_.frameSections ? walk_.fileStartSection : 0;
        names = PlannedNames();
    }
    state_ = state;
    if (names.empty()) names.push_back(FileTargetName());
    for (const std::string& name : names) NoteNotWritten(name, reason);
}

std::vector<std::string> OutputWriter::PlannedNames() {
    std::vector<std::string> names;
    if (state_ == kOutputStateNotPrepared) return names;
    // The walk moves through the frames and sections as the run will; where the run
    // stands is put back afterwards.
    const Walk walk = walk_;
    const int32_t state = state_;
    for (;;) {
        std::string name;
        if (BuildOutputName(&name)) names.push_back(name);
        if (method_ == kRecordOneFile) break;
        const bool next = method_ == kRecordFramePerFile ? AdvanceFrame() : InitSection(false);
        if (!next) break;
        walk_.fileStartFrame = walk_.currentFrame;
        walk_.fileStartSection = walk_.currentSection;
    }
    walk_ = walk;
    state_ = state;
    return names;
}

namespace {

// The file beside a data file with the extension given ("" when the name does not fit).
std::string BesideName(const std::string& data, const char* extension) {
    char name[kPathMax];
    return PathReplaceExtension(name, data.c_str(), extension) ? std::string(name) : std::string();
}

}  // namespace

bool OutputWriter::MayReplaceExisting() {
    existing_.clear();
    auto note = [this](const std::string& name) {
        if (!name.empty() && FileExists(name.c_str()) &&
            std::find(existing_.begin(), existing_.end(), name) == existing_.end())
            existing_.push_back(name);
    };
    for (const std::string& name : PlannedNames()) note(name);
    // A save that replaces no data file asks nothing (its log is the output's report and
    // is rewritten, as saves always did). One that does names, beside the data files, the
    // descriptions and old service files rewritten or removed with them and the log;
    // a description beside no data file may hold other files' blocks and is only added to.
    if (existing_.empty()) {
        SettleWriteLog(true);
        return true;
    }
    const size_t dataFiles = existing_.size();
    for (size_t i = 0; i < dataFiles; ++i) {
        const std::string data = existing_[i];
        note(BesideName(data, ".fs"));
        char old[kPathMax];
        if (OldServiceFileName(old, sizeof old, data.c_str()) == 2) note(old);
    }
    note(logName_);
    const OutputWriterHooks& h = TheOutputWriterHooks();
    // One question for every file the run would replace.
    if (UiUp() && h.messageBox != nullptr) {
        std::string text;
        if (existing_.size() == 1) {
            text = "'" + existing_[0] + "' exists.\nReplace it?";
        } else {
            constexpr size_t kListed = 6;
            text = std::to_string(existing_.size()) + " files exist:";
            for (size_t i = 0; i < existing_.size(); ++i) {
                if (existing_.size() > kListed && i == kListed - 1) {
                    text += "\n... (" + std::to_string(existing_.size() - kListed) + " more)";
                    i = existing_.size() - 1;
                }
                text += "\n" + existing_[i];
            }
            text += "\nReplace them?";
        }
        if (h.messageBox(text.c_str(), "Output: Replace file(s)...", 4) == 6) {
            SettleWriteLog(true);
            WriteLog("user: replace %u file(s)", static_cast<uint32_t>(existing_.size()));
            return true;
        }
        WriteLog("user: not replaced...");
        result_ = kOutputCancelled;
    } else {
        // Nobody to ask: a file is never replaced unasked.
        LogPrintf("'%s' exists: not replaced [%u file(s)]", existing_[0].c_str(),
                  static_cast<uint32_t>(existing_.size()));
        WriteLog("'%s' exists: not replaced [%u file(s)]", existing_[0].c_str(),
                 static_cast<uint32_t>(existing_.size()));
        result_ = kOutputNotReplaced;
    }
    state_ = kOutputStateStopped;
    return false;
}

int OutputWriter::WriteRun() {
    const OutputWriterHooks& h = TheOutputWriterHooks();
    const bool cursor = UiUp() && h.beginWaitCursor != nullptr;
    if (cursor) h.beginWaitCursor();
    filesWritten_ = 0;
    filesFailed_ = 0;
    runFrames_ = 0;
    runSections_ = 0;
    runUnmarked_ = 0;
    runUnmarkedValue_ = 0.0;
    firstFinal_.clear();
    lastFinal_.clear();
    failedNames_.clear();
    failedReasons_.clear();
    companionNames_.clear();
    companionReasons_.clear();
    if (state_ != kOutputStateNotPrepared && format_ != nullptr && format_->write != nullptr &&
        MayReplaceExisting()) {
        for (;;) {
            failReason_.clear();
            const bool written = WriteOneFile();
            if (!written) {
                // A file that could not be written (a full disk, no access, no data to read)
                // stops the run: it and every file after it are not written. A user who
                // cancelled was told already.
                if (result_ != kOutputCancelled) NoteRestNotWritten();
                break;
            }
            if (state_ <= kOutputStateNotPrepared || state_ == kOutputStateStopped) break;
            const bool more = state_ == kOutputStateNextFile;
            // A frame divided among files counts once in the run.
            runFrames_ +=
                framesWritten_ -
                (filesWritten_ + filesFailed_ > 0 && walk_.fileStartFrame == runLastFrame_ ? 1 : 0);
            runLastFrame_ = fileLastFrame_;
            runSections_ += sectionsWritten_;
            if (!BuildOutputName(&builtName_)) builtName_.clear();
            failReason_.clear();
            if (FinishOutputFile() == kOutputFileFinished) {
                if (filesWritten_ == 0) firstFinal_ = lastFinal_;
                ++filesWritten_;
                if (UnmarkedSamples() > 0) {
                    runUnmarked_ += UnmarkedSamples();
                    runUnmarkedValue_ = UnmarkedValue();
                    LogPrintf(
                        "'%s' - %I64u missing sample(s) not marked: every code of the type holds "
                        "data; "
                        "they read as %.17g",
                        lastFinal_.c_str(), static_cast<unsigned long long>(UnmarkedSamples()),
                        UnmarkedValue());
                }
            } else {
                NoteNotWritten(!builtName_.empty() ? builtName_ : targetName_, failReason_);
            }
            if (!more || !BeginNextFile()) break;
        }
    }
    // A log line lost before this one makes the log a file the save lost; the last line
    // names what failed before anything that reads as success.
    NoteLogFailure();
    if (filesWritten_ == 0) {
        WriteLog("error write...");
    } else if (!companionNames_.empty()) {
        const uint32_t failed = static_cast<uint32_t>(filesFailed_ + companionNames_.size());
        const std::string first = "'" + companionNames_[0] + "' - not written: " + companionReasons_[0];
        if (failed == 1) {
            WriteLog("error: %s (stream=%u, err=%u, frames=%d, sections=%I64u)", first.c_str(),
                     static_cast<uint32_t>(filesWritten_), failed, runFrames_, runSections_);
        } else {
            WriteLog("error: %u file(s) not written, %s (stream=%u, err=%u, frames=%d, "
                     "sections=%I64u)",
                     failed, first.c_str(), static_cast<uint32_t>(filesWritten_), failed, runFrames_,
                     runSections_);
        }
    } else if (filesFailed_ != 0) {
        // Files that failed come first: nothing before them may read as success.
        LogFilePrintf(
            &writeLog_,
            "error: %u file(s) not written (stream=%u, err=%u, frames=%d, sections=%I64u)",
            static_cast<uint32_t>(filesFailed_), static_cast<uint32_t>(filesWritten_),
            static_cast<uint32_t>(filesFailed_), runFrames_, runSections_);
    } else if (runFrames_ == 1 && runSections_ == 1) {
        WriteLog("stream=%u, err=%u\nok", static_cast<uint32_t>(filesWritten_),
                 static_cast<uint32_t>(filesFailed_));
    } else {
        WriteLog("ok: stream=%u, err=%u, frames=%d, sections=%I64u",
                 static_cast<uint32_t>(filesWritten_), static_cast<uint32_t>(filesFailed_),
                 runFrames_, runSections_);
    }
    // The last line itself may be the one the disk refused: the status line still says so.
    NoteLogFailure();
    // A file begun but not finished holds nothing worth keeping.
    DeleteTempOutput();
    if (filesWritten_ == 0 && state_ > kOutputStateNotPrepared &&
        state_ != kOutputStateNoMoreFrames)
        state_ = kOutputStateNotPrepared;
    // A run that asked nothing of the disk (refused, or never begun) keeps the earlier log.
    SettleWriteLog(false);
    CloseWriteLog();
    if (cursor && h.endWaitCursor != nullptr) h.endWaitCursor();
    return filesWritten_;
}

}  // namespace orva
