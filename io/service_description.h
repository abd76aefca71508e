#pragma once
// The service description of a data file: how the file is to be read when its
// own header does not say it (sizes, positions, crop box, frames, sections,
// sample type, scale and zero, channel handling, display range, text-table
// settings). It is kept beside the data file in its ".fs" script file, in the
// SEL block of the data file's name, and is read by every format reader.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "io/format_desc.h"

namespace orva {

struct ParseState;
class FileLayout;
class DataSet;
class DataSetInfo;
struct SectionStatistics;

// Valid-field flags shared by the layout, the data description and the service description.
constexpr uint64_t kFlagSampleSize = 0x1;    // a valid sample type
constexpr uint64_t kFlagByteOrder = 0x2;
constexpr uint64_t kFlagSign = 0x4;
constexpr uint64_t kFlagBeginPos = 0x8;
constexpr uint64_t kFlagEndPos = 0x10;
constexpr uint64_t kFlagSize = 0x20;         // SIZE (pixel count)
constexpr uint64_t kFlagChannelOut = 0x40;   // NCHANNEL_OUT or CONVSPEC_FLAG
constexpr uint64_t kFlagCropBox = 0x80;
constexpr uint64_t kFlagSizeX = 0x100;
constexpr uint64_t kFlagSizeY = 0x200;
constexpr uint64_t kFlagSizeZ = 0x400;
constexpr uint64_t kFlagAxes = 0x800;
constexpr uint64_t kFlagChannels = 0x1000;
constexpr uint64_t kFlagFrameStep = 0x2000;
constexpr uint64_t kFlagFrames = 0x4000;     // FRAMES or FRAMES_MAX
constexpr uint64_t kFlagSections = 0x8000;
constexpr uint64_t kFlagScale = 0x10000;
constexpr uint64_t kFlagZero = 0x20000;
constexpr uint64_t kFlagScaleX = 0x40000;
constexpr uint64_t kFlagZeroX = 0x80000;
constexpr uint64_t kFlagScaleY = 0x100000;
constexpr uint64_t kFlagZeroY = 0x200000;
constexpr uint64_t kFlagScaleZ = 0x400000;
constexpr uint64_t kFlagZeroZ = 0x800000;
constexpr uint64_t kFlagValueRange = 0x2000000;  // MINMAX
constexpr uint64_t kFlagBlank = 0x4000000;       // BLANK: the stored value of missing samples
constexpr uint64_t kFlagTypeKind = 0x8000000;    // the type carries 0x00400000 or 0x00800000

// Type bits beyond the nine element flags.
constexpr uint32_t kTypePlanesAsChannels = 0x10000;
constexpr uint32_t kTypeImage = 0x00400000;   // two-dimensional data
constexpr uint32_t kTypeVector = 0x00800000;  // one-dimensional data
constexpr uint32_t kTypeRealOnlyBits = 0x09200000;
constexpr uint32_t kTypeKindBits = 0x20C00000;

constexpr uint32_t kMaxChannels = 16384;

// The float range that a frame rate is kept in.
constexpr double kFpsMin = 1.1754943508222875e-38;
constexpr double kFpsMax = 3.4028234663852886e38;

// What a reader does with a line it cannot parse (the ERROR key).
enum FsParseErrorMode : int32_t {
    kFsErrorSkip = 0,
    kFsErrorPause = 1,
    kFsErrorContinue = 2,
    kFsErrorStop = 3,
};

struct AxisPair {
    double scale = 1.0;
    double zero = 0.0;
};

constexpr int kServiceTextCount = 4;

// The fields of a service description, in their order; plain data.
struct ServiceDescriptionFields {
    uint8_t active = 0;          // set once any field has been set
    uint8_t state = 0;
    uint8_t positionsValid = 0;  // begin and end positions mean something for this file
    uint64_t flags = 0;
    uint32_t type = 0;           // ElementType word with the data-kind bits
    uint32_t bits = 0;           // 0: from the type
    uint32_t channels = 0;
    FormatTag formatTag;
    int64_t beginPos = 0;
    int64_t endPos = 0;
    int32_t naxis = 0;           // 0: derive it
    uint64_t valueCount = 0;     // values of a one-dimensional value list; 0 for images
    uint64_t size = 0;
    int64_t sizeX = 0, sizeY = 0, sizeZ = 0;
    int64_t cropX = 0, cropY = 0, cropZ = 0;
    int64_t cropSizeX = 0, cropSizeY = 0, cropSizeZ = 0;  // 0: to the end
    uint32_t nchannelOut = 0;
    int32_t convSpec = 0;        // ChannelMode, -3 to 1
    uint32_t frames = 0;
    uint32_t sections = 0;
    uint32_t framesMax = 0;
    int32_t frameStep = 0;
    double fps = 0.0;
    double valueT = 0.0, valueD = 0.0;
    double valueX = 0.0, valueY = 0.0, valueZ = 0.0;
    double valueDX = 0.0, valueDY = 0.0, valueDZ = 0.0;
    AxisPair* axisScales = nullptr;  // null, or `axis` once a per-axis scale or zero was given
    char* texts[kServiceTextCount] = {nullptr, nullptr, nullptr, nullptr};  // malloc'ed, owned
    double min = 0.0, max = 0.0;
    int32_t mode = 0;            // from 3 up the checks never fall back to defaults
    int32_t parseErrorMode = 0;  // FsParseErrorMode
    double scale = 1.0;
    double zero = 0.0;
    // The stored value that marks a missing sample of integer data (flag kFlagBlank), as the
    // stored type reads it (the bits of a wider unsigned value wrap into a negative one).
    int64_t blank = 0;
    int64_t fileLength = 0;      // begin and end positions are written only below it
    AxisPair axis[3];
};

// One heap record per description; whoever asked for it owns it and frees it
// with its texts. Copying never takes the texts; the axis-scales pointer of a
// copy points at the copy's own axis pairs.
struct ServiceDescription : ServiceDescriptionFields {
    ServiceDescription() = default;
    ~ServiceDescription();
    ServiceDescription(const ServiceDescription& other);
    ServiceDescription& operator=(const ServiceDescription& other);
};

void FreeServiceDescriptionStrings(ServiceDescription* d);
// Frees the texts and zeroes flags .. parse-error mode (scale 1.0, zero 0.0);
// keeps the three state bytes, the file length and the axis pairs.
void ResetServiceDescription(ServiceDescription* d);
// Copies everything but the state bytes and the file length and takes the source's texts.
void MoveServiceDescription(ServiceDescription* destination, ServiceDescription* source);
// The same fields; the destination is left without texts.
void CopyServiceDescription(ServiceDescription* destination, const ServiceDescription* source);

// ---- text tables -------------------------------------------------------------------

// One SPLIT command. letter: 'X', 'Y', 'Z' (count = axis 1..3), 'V' (count value
// columns), 'S' (count columns skipped) or 'D' (axis: 'X', 'Y', 'Z' with count the
// axis number, or 'V' with count value columns). axis is 0 unless letter is 'D'.
struct SplitCommand {
    uint32_t letter = 0;
    uint32_t axis = 0;
    uint32_t count = 0;
};
constexpr uint32_t kMaxSplitCommands = 20;

// The split record of a text table, filled by the SPLIT and SEPARATOR keys.
struct TextSplit {
    TextSplit() = default;
    ~TextSplit() { Clear(); }
    TextSplit(const TextSplit&) = delete;
    TextSplit& operator=(const TextSplit&) = delete;
    void Clear();  // frees the commands

    SplitCommand* commands = nullptr;  // new[] of exactly `count` entries
    uint32_t count = 0;
    uint32_t separator = 0;            // 0: white space separates
};

// What the key handlers of a parse state store into (ParseState::context).
// `split` is null for an ordinary service file: SPLIT and SEPARATOR are then refused.
struct FsKeyTarget {
    ServiceDescription* description = nullptr;
    TextSplit* split = nullptr;
};

// Points the parse state at a key table and the target: kind 1 the full table of
// 42 keys, kind 2 the 23-key subset, other kinds the 13-key subset. False when a
// table is not prepared or an argument is null.
bool SelectFsKeywordTable(ParseState* state, FsKeyTarget* target, int kind);
bool SelectFsKeywordTableFull(ParseState* state, FsKeyTarget* target);
// True when the three tables are prepared.
bool FsKeywordTablesReady();
// Dispatches one KEY=value statement of a service file: the key "CObj" sets the
// format tag; every other key goes to the state's table (DispatchKeyValue).
int DispatchFsKey(ParseState* state);

// ---- checks and fitting ------------------------------------------------------------

// Normalises the sizes and axes (NAXIS derived or forced) and the counts.
void NormaliseFsSizes(ServiceDescription* d);
void NormaliseFsCounts(ServiceDescription* d);
// The checks after loading: sizes, the SIZX/SIZY/SIZZ environment defaults,
// ValidateServiceDescription; true when the result is active or has any flag.
bool FsAfterLoadChecks(ServiceDescription* d, int64_t length);
// The range, sizes, counts and sample size made consistent, then the
// description fitted to `length` bytes of data (0: not fitted).
bool ValidateServiceDescription(ServiceDescription* d, int64_t length);
// Fits an image description to `length` bytes of data; logs what changed.
bool CorrectFsReadData(ServiceDescription* d, int64_t length);
// Fits a value-list description (value count not 0) to `length` bytes of data.
bool CorrectFsValueList(ServiceDescription* d, int64_t length);
// Takes what the header parser found (type, channels, frames, sizes) where the
// description states nothing, then validates and fits it to `length` bytes of data.
// False when the description cannot be fitted (logged).
bool MergeLayoutIntoDescription(ServiceDescription* d, const FileLayout* layout, int64_t length);
// The same with the signature of LayoutServices::fillLayout.
bool FillLayoutDescription(ServiceDescription* d, FileLayout* layout, int64_t length);

// Fills a description from an opened data set's description (what the data set
// writes into its service file). `maxFrames` is the largest frame count seen;
// `stats` the statistics of the single frame of a single-channel data set, or null.
// The begin and end positions are taken when the description's positions are valid.
void DescribeDataSet(ServiceDescription* d, const DataSetInfo& info, uint32_t maxFrames,
                     const SectionStatistics* stats);

// What a closing data set writes back of the description it was opened with: a frame
// count the description did not state came from the length of the data and is not
// written (the next open counts the frames again, as this one did); a stated one is
// written no smaller than the frames this open read.
void PrepareRewrite(ServiceDescription* d, const DataSetInfo& info);

// ---- range arithmetic --------------------------------------------------------------

// Entries of a value range (min, max, spread, mean, ...) with the bits of -DBL_MAX
// are unset and never change. A factor of 0 or NaN clears the entries; products
// saturate at +-DBL_MAX; a reversed min/max pair is swapped.
void ScaleRange(double* range, size_t count, double factor);
// value * scale + zero with the same rules.
void TransformRange(double* range, size_t count, double scale, double zero);

// ---- files -------------------------------------------------------------------------

// Writes the keys of the description, each line behind `prefix` when it is not 0.
// 1, or -1 when a write fails.
int WriteFsKeys(const ServiceDescription* d, FILE* stream, char prefix);

// The section "[{...}]" that holds a service description inside the data file's block.
const char* ServiceSectionName();

// The ".fs" file of the data file at `path` into `*description`: when it points
// to a record the result is moved into it, else a new record is handed over.
// `sectionSource` names the block (the data file's name when null). A null path
// reads orva.fs in the user folder.
bool LoadFsDescription(const char* path, const char* sectionSource,
                       ServiceDescription** description);
bool LoadFsDescriptionForPath(const char* path, ServiceDescription** description);
// The ".fs" file, else the old service file.
bool LoadServiceDescription(const char* path, ServiceDescription** description);
// Writes the description as the section of the data file's ".fs" file, keeping
// every other block and section; `keepBackup` keeps the replaced file as ".bak".
// A null path writes orva.fs in the user folder.
bool SaveServiceDescription(const ServiceDescription* d, const char* path,
                            const char* sectionSource, bool keepBackup);
// The same, telling the caller which file it wrote (`fsPath`: the ".fs" path, "" when none
// could be made) and, when it failed, why (`reason`: the system's text of the error).
bool SaveServiceDescription(const ServiceDescription* d, const char* path,
                            const char* sectionSource, bool keepBackup, std::string* fsPath,
                            std::string* reason);

// A ".fs" file that is there but not taken (not a regular file, or refused whole by the
// script reader) is said in the status line (on the terminal without windows) and the
// log, naming it and why; its data opens as without a description. While one of these
// lives on a thread, what the loads say is gathered and said once per text, when Tell is
// called or the outermost one ends: one open may load the same description several times.
class DescriptionNotes {
public:
    DescriptionNotes();
    ~DescriptionNotes();
    DescriptionNotes(const DescriptionNotes&) = delete;
    DescriptionNotes& operator=(const DescriptionNotes&) = delete;
    // Says what was gathered so far.
    static void Tell();
};

// The same calls in the shapes of the hooks the opening layer and the data set
// take (ServiceDescriptionHooks::loadFs and ::load, DataSetServices::
// saveServiceDescription): a new record or nullptr; 2 or -5.
ServiceDescription* LoadFsDescriptionFor(const char* name);
ServiceDescription* LoadServiceDescriptionFor(const char* name);
int SaveServiceDescriptionFor(ServiceDescription* description, const char* dataFile);

// ---- saving a data set's description on request -----------------------------------------

// How a name for a service file is asked for when the data set knows no file name: the
// shell's save dialog with the title and default extension given; true with the chosen
// path. Without a hook nothing is asked and the save is left.
struct ServiceSaveHooks {
    bool (*chooseName)(std::string* path, const char* title, const char* extension) = nullptr;
};
ServiceSaveHooks& TheServiceSaveHooks();

// Saves the data set's present description as its file's service description: the data
// set's service description (made when it has none) is filled from the data set and
// written beside the data file, whose name comes from the data set (DataSetFileName) or,
// without one, from the dialog "Choose file name for save". With `keepAsDefault` the data
// set's read state then takes the saved description as its default (snapshot 0).
// Results: 1 saved; 2 saved, but the read state could not take it; 0 the data set cannot
// describe itself (no stream or no frames, or no memory); -1 the dialog was left; -2 the
// file could not be written.
int ChooseServiceSaveName(DataSet* dataSet, bool keepAsDefault);

}  // namespace orva
