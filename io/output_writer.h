#pragma once
// The output writer: the job component that writes one stage of one source to
// files (FITS or raw binary, through the write operation of a format
// descriptor). It pulls the frames and sections of the crop box from its
// upstream component, converts them to the requested element type with scale
// and zero, detects clipping, names each file from a pattern, keeps a ".log"
// beside the output and writes a service description for every file.
//
// One data path serves every mode:
//   pulled values (64-bit reals, physical units)
//     -> range scan (before scaling; measured in physical units)
//     -> in-place scaling to stored units (stored = physical * s + z)
//     -> packing into the output type with rounding and saturation
//     -> byte order of the output type
//     -> the format's sink.
// The physical value of a stored one is stored * OutputBScale() + OutputBZero().
//
// How a format writes a job (its FormatDesc::write operation):
//   1. create the file at job->OutputPath() (a temporary file the writer made);
//   2. write a header from the geometry (OutputWidth/Height/Depth, FrameCount,
//      SectionsPerFrame, OutputType, OutputBScale/OutputBZero, OutputDataRange,
//      OutputHeaderRecord) -- a header is rewritten on every try;
//   3. call job->WriteFramesClipped(sink) once: it delivers the data in file order
//      (frame by frame in step order, section by section, plane by plane, row by
//      row), already packed in OutputType() (byte-swapped when the type has 0x80);
//   4. finish the file (padding), close it, call job->ResolveClipping();
//   5. return true when the file was written. When ResolveClipping chose a new
//      range, State() is kOutputStateFileError and WriteRun calls the operation
//      again, which rewrites the whole file with the new scale and zero.
//   With one file per frame or per section (SetRecordMethod) the operation is called
//   once per file, each time at a new temporary OutputPath(), and the geometry and
//   counts above describe that file only.
// A format may adjust the request before the writer prepares its kernels with an
// offer function (RegisterOutputOffer): e.g. FITS asks for big-endian samples.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/log.h"
#include "common/record_tag.h"
#include "data/byte_swap.h"
#include "data/dconv.h"
#include "data/element_type.h"
#include "data/minmax.h"
#include "data/scale_inplace.h"
#include "framework/component.h"
#include "framework/component_id.h"
#include "io/format_desc.h"

namespace orva {

class DataSet;
class OutputWriter;

inline constexpr ComponentId kOutputWriterId{
    {FourCC("REAR"), FourCC("CELB"), FourCC("IOST"), FourCC("INPT")}, nullptr};
// Asked of the upstream component for its header additions: an upstream that has
// them answers with a pointer to its `const std::vector<HeaderRecord>` (the cards
// of its source's header, io/file_layout.h), valid while the upstream lives; no
// reference is taken.
inline constexpr ComponentId kOutputHeaderRecordId{
    {FourCC("FITS"), FourCC("HDRA"), FourCC("IOST"), FourCC("INFO")}, nullptr};

// ---- State words and result codes -------------------------------------------------------

constexpr int32_t kOutputStateRunning = 0;
constexpr int32_t kOutputStateIdle = -1;
constexpr int32_t kOutputStateTryAgain = -2;  // ready, or try again with a new range
constexpr int32_t kOutputStateNoMoreFrames = -3;
constexpr int32_t kOutputStateNotPrepared = -4;  // not prepared, or failed
constexpr int32_t kOutputStateFileError = -5;    // rewrite the file (retried)
constexpr int32_t kOutputStateStopped = -6;      // by the user or a failed re-initialisation
constexpr int32_t kOutputStateNoName = -7;
constexpr int32_t kOutputStateNextFile = 1;  // a file is done and more follow: advance

// Write scopes: which frames and sections a run covers.
constexpr int32_t kWriteScopeAll = 0;              // every frame of the range, every section
constexpr int32_t kWriteScopeOneFrame = 1;         // the first frame of the range only
constexpr int32_t kWriteScopeSection = 2;          // every frame, the selected section only
constexpr int32_t kWriteScopeOneFrameSection = 3;  // one frame, the selected section only
// Record methods: how the data of a run is divided into files.
constexpr int32_t kRecordOneFile = 0;
constexpr int32_t kRecordFramePerFile = 1;
constexpr int32_t kRecordSectionPerFile = 2;

// Set by an upstream in PullResult::status when its data has grown since the writer
// connected (more frames, or wider or taller frames); the writer then asks the
// source's currentSize function for the new sizes.
constexpr int32_t kPullSourceGrown = 0x1;

constexpr int32_t kOutputReady = 2;
constexpr int32_t kOutputFileFinished = 5;
constexpr int32_t kOutputRenameFailed = -5;
constexpr int32_t kOutputNoName = -7;
constexpr int32_t kOutputNewRangeFailed = -10;
constexpr int32_t kOutputNoSourceInfo = -11;
constexpr int32_t kOutputNoMemory = -14;
constexpr int32_t kOutputUnknownTypes = -24;
constexpr int32_t kOutputCancelled = -25;
constexpr int32_t kOutputNoLineBuffer = -26;
constexpr int32_t kOutputNoTempFile = -27;
// Files of the names the run would write exist and were not to be replaced.
constexpr int32_t kOutputNotReplaced = -29;

// Answers of the clipping question (ShowMessageDialog) and of the size warning.
constexpr int32_t kClipAnswerCancel = 2;
constexpr int32_t kClipAnswerIgnore = 5;
constexpr int32_t kClipAnswerNewRange = 6;  // any other answer selects a new range
constexpr int32_t kClipAnswerDontAskAgain = 0x10000;
constexpr uint32_t kClipDialogStyle = 0x1212;

// Default name pattern of the output settings.
inline constexpr const char kDefaultOutputPattern[] = "%n%f#_snr%s";

// ---- What the writer needs from the layers around it --------------------------------------

// Installed by the shell; each function may be left empty. Without a user
// interface (uiUp empty or false) nothing blocks: the size warning is only
// logged and the write goes on, the clipping question takes its default answer
// (a new range: the data is kept), and the input error is only logged.
struct OutputWriterHooks {
    bool (*uiUp)() = nullptr;
    // The application's message box (ShowMessageBox): returns the button (1 OK, 2 Cancel).
    int (*messageBox)(const char* text, const char* title, uint32_t flags) = nullptr;
    // The GL message dialog (ShowMessageDialog): the answer in the low 16 bits,
    // kClipAnswerDontAskAgain when the user asked not to be asked again.
    int (*messageDialog)(const char* title, const char* text, uint32_t style) = nullptr;
    // SetGroupStatus(group, status code, refresh mode, text).
    void (*setGroupStatus)(int group, int code, int refresh, const char* text) = nullptr;
    // The wait cursor for the duration of a run (only with a user interface).
    void (*beginWaitCursor)() = nullptr;
    void (*endWaitCursor)() = nullptr;
    // OutputTargetLabel: the menu label of a stage tag pair, or nullptr.
    const char* (*targetLabel)(uint32_t tag0, uint32_t tag1) = nullptr;

    // Preferences (orva.cfg).
    bool oldSIFormat = false;
    bool siShortExt = false;
    bool fsBackup = false;
    bool dataBackup = false;
    uint8_t saveSwitchWrkMode = 0;
};
OutputWriterHooks& TheOutputWriterHooks();

// What the writer knows of its source (ConnectSourceInfo). Frames are counted from 0.
struct OutputSourceInfo {
    std::string name;  // the source's name for "%n" (a file name; folder and extension are dropped)
    uint32_t type = 0;  // stored ElementType of the source
    uint32_t channels = 1;
    int64_t width = 0;  // 0: the largest allowed width
    int64_t height = 1;
    int64_t depth = 1;
    uint32_t frames = 1;
    uint32_t sections = 1;  // sections of every frame (see sectionCount)
    double scale = 1.0;     // physical = stored * scale + zero
    double zero = 0.0;
    bool hasRange = false;  // the data range in physical units
    double rangeMin = 0.0;
    double rangeMax = 0.0;
    // The sections of one frame (0: the frame is skipped); empty: `sections` for all.
    uint32_t (*sectionCount)(void* context, int32_t frame) = nullptr;
    // The present width, height and frame count of a source that grows while it is
    // written (asked after a pull reports kPullSourceGrown); null: the sizes above hold.
    bool (*currentSize)(void* context, int64_t* width, int64_t* height, uint32_t* frames) = nullptr;
    void* context = nullptr;
};
// Fills the record from an opened data set (its name, type, sizes, frames, scale, range).
bool OutputSourceInfoFromDataSet(const DataSet* dataSet, OutputSourceInfo* info);

// The request a format may change before the kernels are chosen.
struct OutputRequest {
    uint32_t type = 0;  // ElementType (0x80: the opposite byte order)
    uint32_t channels = 1;
    uint32_t selectedChannel = 1;
    bool singleChannel = false;
    int32_t naxis = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    uint32_t frameCount = 1;
};
using OutputOfferFn = void (*)(const FormatDesc* format, OutputRequest* request);
// Installs the offer function of a format tag (replacing an earlier one; nullptr removes it).
void RegisterOutputOffer(FormatTag tag, OutputOfferFn offer);
// How a format's files hold samples of an output type: the stored element type, and the
// scale and zero that make them physical values again (FITS holds unsigned 16-, 32- and
// 64-bit samples as signed ones and signed bytes as unsigned ones, with BZERO moved). The
// service file written beside a file states this form. Formats without one store the
// output type with the writer's scale and zero.
using OutputStoredFormFn = void (*)(uint32_t outType, uint32_t* storedType, double* scale, double* zero);
void RegisterOutputStoredForm(FormatTag tag, OutputStoredFormFn form);

// The value that stands for a blank code (the bits of an output type's value, sign-extended
// for signed types) in a file that stores the output type as `storedType` (the same size;
// the other sign holds it half the range away). Unsigned 64-bit values above the signed
// range come out as their bits.
int64_t StoredBlankValue(uint32_t outType, uint32_t storedType, uint64_t bits);

// Test support: the packed blocks of a write go to the sink on a thread of their own
// always (1), never (-1), or when the process may run on two processors or more (0, the
// default).
void SetStagedWriteThreadForTest(int mode);

// Where WriteFramesClipped delivers the packed data, in file order.
class OutputSink {
public:
    virtual ~OutputSink() = default;
    // False stops the write (a file error).
    virtual bool WriteBlock(const void* data, size_t bytes) = 0;
};

// A sink over an open POSIX descriptor, writing from `offset` on.
class FileOutputSink : public OutputSink {
public:
    FileOutputSink(int fd, int64_t offset) : fd_(fd), offset_(offset) {}
    bool WriteBlock(const void* data, size_t bytes) override;
    int64_t Offset() const { return offset_; }
    uint64_t BytesWritten() const { return written_; }

private:
    int fd_;
    int64_t offset_;
    uint64_t written_ = 0;
};

// Fields of a name pattern.
struct OutputNameField {
    int32_t kind = 0;  // 1 text, 2 "%n", 3 "%d", 4 "%t", 5 "%f", 6 "%s"
    std::string text;  // kind 1 only
};
constexpr int kOutputNameFieldMax = 9;
// Parses a pattern into at most nine fields; the count.
int ParseOutputName(const char* pattern, OutputNameField* fields);

// The settings record of one write, as SetOutputType takes it.
struct OutputTypeRecord {
    uint32_t type = 0;
    uint32_t channels = 1;
};

// ---- The writer ---------------------------------------------------------------------------

class OutputWriter : public ComponentBase {
public:
    // A writer for the upstream component (one reference is held); nullptr when memory is short.
    static OutputWriter* Create(ComponentBase* upstream);
    explicit OutputWriter(ComponentBase* upstream);
    ~OutputWriter() override;

    const ComponentId* GetClassId() const override { return &kOutputWriterId; }
    // A new writer for the same upstream component.
    bool CreateInstance(ComponentObject** out) override;
    // Its own id and "BASE".
    bool QueryInterface(const ComponentId* id, void** out) override;

    // ---- Settings (before PrepareWrite) ----
    void SetOutputType(const OutputTypeRecord& record);
    // Stores and parses the name pattern (null or empty: the default pattern).
    void SetOutputName(const char* pattern);
    // The output file named by the Output component: its folder holds the
    // temporary file and the named files, its extension ends the built names.
    bool SetTargetName(const char* path);
    void SetOutputParams(uint32_t type, bool singleChannel, uint32_t selectedChannel,
                         uint32_t stageTag0, uint32_t stageTag1);
    // The requested pair in the header's sense: physical = stored * bscale + bzero.
    // Integer outputs are rounded to nearest (halves away from zero), or truncated
    // toward zero with mode 1; both saturate at the type's bounds.
    void SetScaleZero(double bscale, double bzero, int mode = 0);
    void SetCropBox(int64_t x, int64_t y, int64_t z, int64_t sizeX, int64_t sizeY, int64_t sizeZ);
    void NormaliseCropBox();
    // Frames counted from 0; step 0 counts as 1.
    void SetFrameRange(int32_t first, int32_t last, int32_t step);
    void SetAutoRange(bool on) { autoRange_ = on; }
    // A sample without data (-DBL_MAX) is written as `value` in the output type's units
    // (rounded and saturated into the type). Without it (`has` false) such a sample is
    // written as NaN in real output types, as the blank where blanks are marked, and as
    // the type's lowest value elsewhere.
    void SetSpecialValue(bool has, double value);
    // For formats that mark missing samples with one stored value (FITS and raw integers):
    // every NaN of the data, and every sample without data that has no special value, is
    // written as the blank code, and counted. Set once the output type is known (a format
    // asks again with every write of a file); real output types keep their NaN.
    // The blank code is one that no real sample of the file takes: the type's highest
    // value for unsigned types and its lowest for signed ones, unless the data hold it; then
    // the other end, unless the data hold that too; then, after a pass that notes the codes
    // the data use, a free one between. A file is written again (the state asks for it, as
    // a new range does) until its blanks are settled. When every code holds data, the
    // missing samples keep the first code, unmarked (UnmarkedSamples), and every real value
    // stays what it is. `storedZeroIsNone`: the format's readers take a blank stored as 0
    // for none (astropy with FITS), so the code stored as 0 is never chosen.
    void SetBlankMarking(bool on, bool storedZeroIsNone = false);
    // Samples of the last WriteFramesClipped that blank marking wrote as blanks.
    uint64_t BlankSamples() const { return blankSamples_; }
    // Whether the file just written marks its missing samples, and with which code: the bits
    // of the output type's value (sign-extended for signed types). False when it holds none
    // or could not mark them.
    bool BlankMarked(uint64_t* bits) const;
    // Missing samples of the file just written that no free code could mark, and the
    // physical value they read as; of the whole run.
    uint64_t UnmarkedSamples() const { return blankUnmarked_ ? blankSamples_ : 0; }
    double UnmarkedValue() const;
    uint64_t RunUnmarkedSamples() const { return runUnmarked_; }
    double RunUnmarkedValue() const { return runUnmarkedValue_; }
    void SetSizeCheck(bool on) { sizeCheck_ = on; }
    // Kept for the settings record: every finished file takes its name from the pattern.
    void SetPatternNaming(bool on) { patternNaming_ = on; }
    // Which frames and sections a run writes (kWriteScope...); `section` (from 0) is the
    // selected section of the scopes 2 and 3. The one frame of the scopes 1 and 3 is the
    // first frame the range visits.
    void SetWriteScope(int32_t scope, uint32_t section = 0);
    // How the run is divided into files (kRecord...): one file, one per frame, or one
    // per section; each file gets its name, its service files and its clipping check.
    void SetRecordMethod(int32_t method);
    void SetFrameRate(double fps) { frameRate_ = fps; }
    // Attaches the source's description; false (result -11, error shown) without one.
    bool ConnectSourceInfo(const OutputSourceInfo* info);
    // Makes the temporary file, opens the write log, offers the request to the
    // format and chooses the kernels. False on failure (State and Result tell why).
    bool PrepareWrite(const FormatDesc* format);

    // ---- Run ----
    // Writes the files; the number of files written.
    int WriteRun();
    bool IsFailed() const { return state_ < -3; }
    // Frees the buffers and the per-run tables and resets the counters.
    void Reset();

    // ---- Services for the format writers ----
    // The file being written (the temporary file); empty when none.
    const char* OutputPath() const { return outputPath_.c_str(); }
    const FormatDesc* Format() const { return format_; }
    uint32_t OutputType() const { return outType_; }  // with 0x80 when swapped
    uint32_t SampleBytes() const { return sampleBytes_; }
    uint32_t Channels() const { return channels_; }
    int32_t Naxis() const { return walk_.naxis; }
    // Sizes of one section as written (the crop box within the source).
    int64_t OutputWidth() const;
    int64_t OutputHeight() const;
    int64_t OutputDepth() const;
    // Frames of the file being written (the whole range in one file, else 1; a source
    // that grows may add frames); sections of each of its frames.
    uint32_t FrameCount() const;
    uint32_t SectionsPerFrame() const;
    // Bytes of data WriteFramesClipped will deliver to the file being written
    // (FrameCount x SectionsPerFrame sections); 0 when it overflows.
    uint64_t DataBytesExpected() const;
    // physical = stored * OutputBScale() + OutputBZero(); the identity for a plain copy.
    double OutputBScale() const;
    double OutputBZero() const;
    // The header additions of the upstream component (a `const std::vector<HeaderRecord>*`,
    // see kOutputHeaderRecordId), or nullptr.
    void* OutputHeaderRecord();
    // Narrows range[0..1] (min, max) to the source's data range in physical units;
    // false when the source has none.
    bool OutputDataRange(double* range) const;
    // Pulls, converts and delivers the data of one file. 2 when everything was
    // delivered; below 2 on a failure (State tells which).
    int WriteFramesClipped(OutputSink* sink);
    // Called by the format when a file is finished: asks about clipping, may
    // choose a new range and ask for a rewrite (State() == kOutputStateFileError).
    void ResolveClipping();

    // ---- Observers ----
    int32_t State() const { return state_; }
    int32_t Result() const { return result_; }
    void SetState(int32_t state) { state_ = state; }
    int32_t FilesWritten() const { return filesWritten_; }
    int32_t FilesFailed() const { return filesFailed_; }
    // Frames and sections of the file being written (or the last one).
    int32_t FramesWritten() const { return framesWritten_; }
    uint64_t SectionsWritten() const { return sectionsWritten_; }
    // Frames and sections of every file the run finished (a frame divided among
    // files counts once).
    int32_t RunFramesWritten() const { return runFrames_; }
    uint64_t RunSectionsWritten() const { return runSections_; }
    // Range of the last write in physical units (min > max: nothing measured).
    double MeasuredMin() const { return measuredMin_; }
    double MeasuredMax() const { return measuredMax_; }
    bool AutoRange() const { return autoRange_; }
    // Whether the last run asked the user its clipping question.
    bool ClipQuestionShown() const { return clipShown_; }
    // The path of the write log ("" when none was opened). The log is held in memory until
    // the run may write beside the output (after the Replace question), then written there.
    const char* LogPath() const { return logPath_.c_str(); }
    // The final names of the first and the last file the last run wrote ("" when none).
    const char* FirstFileName() const { return firstFinal_.c_str(); }
    const char* LastFileName() const { return lastFinal_.c_str(); }
    // The names of the last run's files that were not written: those that failed, and
    // those after a failure that stopped the run (their data are gone with their temporary
    // files; what stood under those names stays). Each has its reason (the system's text of
    // the error, "" when none is known), in the same order.
    const std::vector<std::string>& FailedNames() const { return failedNames_; }
    const std::vector<std::string>& FailedReasons() const { return failedReasons_; }
    // Called by a format whose file failed: why (kept for the file being written).
    void NoteFailure(const std::string& reason) { failReason_ = reason; }
    // The name the file being written will take (its target); the output's name before any
    // file is begun.
    std::string FileTargetName() const;
    // Builds the final name of the file being written (its first frame and section)
    // from the pattern, in the target's folder; false when it does not fit.
    bool BuildOutputName(std::string* out) const;
    // The final names of every file the prepared run will write, in order (after
    // PrepareWrite; the run's state is left as it was).
    std::vector<std::string> PlannedNames();
    // The files the run would replace that existed before it: its data files, the
    // descriptions and old service files beside those, and its write log. WriteRun asks
    // whether to replace them before it writes anything, and writes nothing when they are
    // not to be replaced.
    const std::vector<std::string>& ExistingNames() const { return existing_; }
    // The files promised beside the data that the last run could not write: a description
    // (".fs"), an old service file, the write log; each with its reason (the system's text
    // of the error), in the order they failed. The data files they belong to were written
    // and stay; a save with any of these is a failed save.
    const std::vector<std::string>& CompanionFailures() const { return companionNames_; }
    const std::vector<std::string>& CompanionReasons() const { return companionReasons_; }

private:
    uint32_t RangeFrameCount() const;
    int64_t FrameAtIndex(int64_t index) const;
    int64_t IndexOfFrame(int32_t frame) const;
    uint32_t FirstSection() const;
    bool OneFrameScope() const {
        return scope_ == kWriteScopeOneFrame || scope_ == kWriteScopeOneFrameSection;
    }
    bool SectionScope() const {
        return scope_ == kWriteScopeSection || scope_ == kWriteScopeOneFrameSection;
    }
    bool WriteOneFile();
    bool MakeOutputTemp();
    bool BeginNextFile();
    void NoteSourceGrowth();
    void ApplySourceGrowth();
    bool SetupConversion();
    void ResolveChannels();
    void InitFrameGeometry(int32_t frame);
    uint32_t SectionsOf(int32_t frame) const;
    bool ClipOutside(double* dmin, double* dmax) const;
    bool CheckCropBox();
    bool CheckOutputSize();
    bool InitFrame(int32_t frame);
    bool InitSection(bool first);
    bool AdvanceFrame();
    bool RetryInit();
    int FinishOutputFile();
    void DeleteTempOutput();
    void FreeBuffers();
    int PullBlock(int64_t x, int64_t width, int64_t row, int64_t rows, int64_t plane);
    bool DeliverBlock(double* values, uint64_t pixels);

    ComponentBase* upstream_ = nullptr;
    class Link;
    Link* link_ = nullptr;
    uint32_t stageTag_[2] = {0, 0};
    bool autoRange_ = false;
    bool clipShown_ = false;
    bool hasSpecial_ = false;
    double special_ = 0.0;
    unsigned char specialBytes_[8] = {};  // the special value packed in the output type
    bool markBlanks_ = false;
    uint64_t blankSamples_ = 0;
    unsigned char blankBytes_[8] = {};  // the blank value in the output type, packed
    // The blank code of the file being written and how far its choice has come: 0 the first
    // write (the type's end that data least often reach), 1 a write that notes the codes the
    // data use, 2 settled.
    __int128 blankCode_ = 0;
    int blankPass_ = 0;
    bool blankUnmarked_ = false;
    bool blankAvoid_ = false;  // blankAvoided_ may not be chosen
    __int128 blankAvoided_ = 0;
    bool BlankAllowed(__int128 code) const { return !blankAvoid_ || code != blankAvoided_; }
    __int128 PreferredBlankEnd() const;
    std::vector<uint64_t> usedCodes_;              // pass 1, types of up to 16 bits: a bit per code
    uint64_t usedNearLow_ = 0, usedNearHigh_ = 0;  // pass 1, wider types: the 64 codes at each end
    uint64_t runUnmarked_ = 0;
    double runUnmarkedValue_ = 0.0;
    void ResetBlankChoice();
    bool SettleBlanks();
    __int128 TypeLowCode() const;
    __int128 TypeHighCode() const;
    __int128 CodeOfBytes(const unsigned char* bytes) const;
    void BytesOfCode(__int128 code, unsigned char* bytes) const;
    __int128 CodeOfPhysical(double value) const;
    void NoteUsedCodes(const double* values, const unsigned char* packed, uint32_t count);
    void PackValue(double value, unsigned char* bytes) const;
    void PackSpecial();
    uint64_t PutBlanks(const double* values, unsigned char* destination, uint32_t count) const;
    void PutSpecial(const double* values, unsigned char* destination, uint32_t count) const;
    void PutMissingAsNaN(const double* values, unsigned char* destination, uint32_t count) const;
    int64_t cropOffset_[3] = {0, 0, 0};
    int64_t cropSize_[3] = {0, 0, 0};
    // Where the run stands among the frames and sections, and the geometry of the frame it
    // stands on: one record, so that a walk ahead (PlannedNames) can put it back whole.
    struct Walk {
        int64_t cropEnd[3] = {0, 0, 0};
        int64_t frameSize[3] = {0, 0, 0};
        bool hasHeight = false, hasDepth = false;
        int32_t naxis = 0;
        int32_t currentFrame = 0;
        uint32_t currentSection = 0, frameSections = 0;
        int32_t fileStartFrame = 0;  // where the file being written began
        uint32_t fileStartSection = 0;
    };
    Walk walk_;
    uint32_t outType_ = 0;
    uint32_t sampleBytes_ = 0;
    uint32_t channels_ = 1;
    uint32_t selectedChannel_ = 1;
    bool singleChannel_ = false;
    uint32_t formatType_ = 0;    // the device data format's type
    uint32_t formatLayout_ = 0;  // its channel layout
    int convMode_ = 0;
    ScaleZero requested_;  // stored = physical * scale + zero
    ScaleZero working_;
    ScaleZero third_;
    DConv dconv_;
    ScaleInPlaceKernel scaleKernel_ = nullptr;
    PackKernel packKernel_ = nullptr;
    MinMaxKernel minMax_ = nullptr;
    bool plainCopy_ = false;
    int32_t firstFrame_ = 0, lastFrame_ = 0, step_ = 1;
    std::string outputPath_, targetName_, pattern_, builtName_;
    OutputNameField fields_[kOutputNameFieldMax];
    int fieldCount_ = 0;
    double frameRate_ = 20.0;
    bool sizeCheck_ = false, patternNaming_ = false;
    int32_t state_ = kOutputStateNotPrepared;
    int32_t result_ = 0;
    int32_t filesWritten_ = 0, filesFailed_ = 0, framesWritten_ = 0;
    uint64_t sectionsWritten_ = 0;
    bool clipLogged_ = false;
    bool sizeAsked_ = false;     // the file being written was checked
    uint64_t sizeAccepted_ = 0;  // the large size the run already warned of
    int32_t scope_ = kWriteScopeAll;
    uint32_t scopeSection_ = 0;
    int32_t method_ = kRecordOneFile;
    int32_t nextFrame_ = 0;  // where the next file begins
    uint32_t nextSection_ = 0;
    int32_t runFrames_ = 0;
    int32_t runLastFrame_ = -1;   // the last frame of the last file finished
    int32_t fileLastFrame_ = -1;  // the last frame written to the file
    uint64_t runSections_ = 0;
    ScaleZero preparedWorking_;  // the pair every file starts with
    bool preparedPlainCopy_ = false;
    int64_t grownSize_[2] = {0, 0};  // sizes a grown source reported, for the next file
    bool rangeSet_ = false;
    int tries_ = 0;
    uint32_t requestedChannels_ = 1;
    uint32_t requestedSelected_ = 1;
    DConvKernel convertKernel_ = nullptr;
    SwapRoutine swap_ = nullptr;
    // The one-pass scan, scale and pack of integer outputs (null for reals).
    void (*fusedPack_)(const double*, unsigned char*, int32_t, double, double,
                       MinMaxPair*) = nullptr;
    // Staging blocks of outBlockBytes_, filled in turn: one is filled while the others
    // wait for the sink or are being written.
    static constexpr int kStageBlocks = 4;
    unsigned char* stageBlocks_[kStageBlocks] = {};
    int stageIndex_ = 0;
    unsigned char* outBlock_ = nullptr;  // stageBlocks_[stageIndex_], the block being filled
    uint64_t outBlockBytes_ = 0;
    uint64_t stageUsed_ = 0;  // packed bytes not yet handed to the sink
    class StagedWrites;
    StagedWrites* writes_ = nullptr;  // during WriteFramesClipped
    bool FlushStage();
    std::string firstFinal_, lastFinal_, logPath_;
    std::vector<std::string> failedNames_, failedReasons_;
    std::string failReason_;
    void NoteNotWritten(const std::string& name, const std::string& reason);
    void NoteRestNotWritten();
    std::vector<std::string> existing_;
    bool MayReplaceExisting();
    std::vector<std::string> companionNames_, companionReasons_;
    void NoteCompanionFailure(const std::string& name, const std::string& reason);
    // The write log: begun in memory (pendingLog_) by PrepareWrite, settled into its file
    // beside the output or, when the run may not write there, into the program's log.
    std::string logName_;
    char* pendingLog_ = nullptr;
    size_t pendingLogSize_ = 0;
    bool logPending_ = false;
    int logError_ = 0;       // the error of the first line the log file did not take
    bool logNoted_ = false;  // its failure was noted
    void BeginWriteLog();
    void SettleWriteLog(bool toFile);
    void CloseWriteLog();
    void NoteLogFailure();
    template <typename... Args>
    void WriteLog(const char* format, Args... args);
    double typeMin_ = 0.0, typeMax_ = 0.0;
    double measuredMin_ = 1.7976931348623157e308, measuredMax_ = -1.7976931348623157e308;
    uint64_t lineBytes_ = 0;
    void* lineBuffer_ = nullptr;  // 16-byte aligned scratch of one chunk
    uint32_t inElementBytes_ = 8, outElementBytes_ = 0;
    LogFile writeLog_;
    const FormatDesc* format_ = nullptr;
    OutputSourceInfo source_;
    bool sourceConnected_ = false;
    PullResult pull_;
};

}  // namespace orva
