#pragma once
// The data set: the reference-counted input component that every format reader
// produces and through which sources, outputs and statistics read frames and
// sections. It joins the data description (which it specialises), the open
// stream of the file with the reader's format, what the reader's layout knows of
// the samples and frames, and the read kernels with their buffers.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "common/global_buffer.h"
#include "data/byte_swap.h"
#include "data/channel_kernels.h"
#include "framework/component.h"
#include "framework/component_id.h"
#include "io/data_set_info.h"
#include "io/format_desc.h"
#include "io/kept_plane.h"
#include "io/stream.h"

namespace orva {

class DataSet;
class FormatInfo;
class ReadState;
struct InputSource;

// Class and interface ids.
inline constexpr ComponentId kDataSetId{
    {FourCC("REAR"), FourCC("FRAW"), FourCC("IOST"), FourCC("INPT")}, nullptr};
inline constexpr ComponentId kFormatObjectId{{FourCC("FRMT"), 0, FourCC("IOFT"), FourCC("RFOR")},
                                             nullptr};
inline constexpr ComponentId kRawInputId{
    {FourCC("REAR"), FourCC("CELB"), FourCC("IOST"), FourCC("INPT")}, nullptr};
inline constexpr ComponentId kFrameTableId{
    {FourCC("CTNR"), FourCC("FRSR"), FourCC("IOST"), FourCC("INFO")}, nullptr};

// The three read kernels of a data set.
// Frame window: reads one window of one plane into 64-bit reals (see read_kernel.h).
using WindowKernel = bool (*)(DataSet* dataSet, TypedFrameBuffer* image, ReadWindow* window);
// Section statistics: fills the record of (file frame, section).
using StatisticsKernel = bool (*)(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                                  SectionStatistics* record, int whole, int mode);
// Section preview: reads the section reduced into the destination.
using PreviewKernel = bool (*)(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                               void* destination, SectionStatistics* record);

// The stubs installed before a data set is prepared: each answers false.
bool ReadKernelDefault(DataSet* dataSet, TypedFrameBuffer* image, ReadWindow* window);
bool StatisticsKernelDefault(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                             SectionStatistics* record, int whole, int mode);
bool PreviewKernelDefault(DataSet* dataSet, uint32_t fileFrame, uint32_t section,
                          void* destination, SectionStatistics* record);

// The section kernels are installed here by the code that provides them; until
// then the stubs stand in.
struct SectionKernelTable {
    StatisticsKernel statistics = &StatisticsKernelDefault;
    StatisticsKernel statisticsSwapped = &StatisticsKernelDefault;
    PreviewKernel preview = &PreviewKernelDefault;
    PreviewKernel previewSwapped = &PreviewKernelDefault;
};
SectionKernelTable& TheSectionKernels();

// Services and preferences the data set uses from the layers around it.
struct DataSetServices {
    // Preference FSSave: a data set writes its service description when destroyed.
    bool saveServiceFiles = false;
    // Preference DetectUnsignInt: the signedness test runs when a data set is attached.
    bool detectUnsignedInt = false;
    // The signedness test: the probability in percent (0 or less: no answer) and the
    // element type it favours.
    int (*signednessTest)(DataSet* dataSet, uint32_t* favouredType) = nullptr;
    // Writes a service description for the data file; the result code (the service-file
    // writer by default).
    int (*saveServiceDescription)(ServiceDescription* description, const char* dataFile) = nullptr;
};
DataSetServices& TheDataSetServices();

// What the layout's sample-format object tells: its type, bits and tag.
struct LayoutSampleFormat {
    uint32_t type = 0;
    uint32_t bits = 0;
    FormatTag tag;
};

// The objects of a reader's layout that the data set keeps.
struct DataSetLayout {
    bool hasSampleFormat = false;
    LayoutSampleFormat sampleFormat;
    std::shared_ptr<SectionFrameTable> frameTable;  // none for regular files
    // The reader's format information component (its layout, with the header records);
    // the data set takes a reference of its own. May be null.
    FormatInfo* formatInfo = nullptr;
};

class DataSet : public ComponentBase, public DataSetInfo {
public:
    // A new data set for a format (32-byte aligned, zero-filled); nullptr when memory is short.
    static DataSet* Create(FormatTag tag);
    explicit DataSet(FormatTag tag);
    ~DataSet() override;

    // ---- Component slots ----
    const ComponentId* GetClassId() const override { return &kDataSetId; }
    // Clone: a new data set with this one's tag (nothing else is copied).
    bool CreateInstance(ComponentObject** out) override;
    // The class id and {"BASE"} answer this object; the format information id answers
    // with the reader's component (one reference added) or, without one, the sample
    // format record; the frame table id answers when a frame table is held (out then
    // gets the table); the output header record id answers with the component's
    // header records (`const std::vector<HeaderRecord>*`, no reference) when it kept
    // any; others are refused.
    bool QueryInterface(const ComponentId* id, void** out) override;

    // Takes the stream (one reference) and the format of the source, keeps the
    // layout's objects and prepares the kernels. False without source, stream or format.
    bool AttachInput(InputSource* source, StreamRecord* stream, const DataSetLayout* layout);
    // Sets the output format: none (or no size bits, or 0 channels) resets it; a
    // channel count other than the output channels is refused.
    bool SetOutputFormat(const OutputFormat* format);
    // The layout's tag when not zero, else the data set's; its text, else the display
    // name of the format, else nullptr.
    const char* TagText() const;
    // The same from the data set's own tag only.
    const char* OwnTagText() const;
    // The format's information text appended to the buffer; true when it wrote.
    bool FormatInfoText(uint32_t id, char* buffer, size_t size) const;
    uint32_t OutputChannels() const { return channelMode != kChannelAsIs ? 1 : input.channels; }
    uint32_t InputChannels() const { return input.channels; }
    // Moves the current frame and section (frame < 0 or section < 0 keep the current
    // one); true when either changed; false when there are no frames or sections.
    bool SelectPosition(int32_t frame, int32_t section);

    // ---- Description overrides ----
    bool FormatChanged() override;
    bool Prepare() override;
    bool SelectChannelKernel(bool clearConversion) override;
    void ResetKernels() override;
    void DeriveOutputFormat() override;

    // Chooses the channel kernels and the read kernels; true when kernels were chosen.
    bool PrepareRead();
    // The stub kernels, buffers freed, logs "#input(): unknow input type".
    void ResetRead();

    // The frame window read through the installed kernel.
    bool ReadWindowData(TypedFrameBuffer* image, ReadWindow* window) {
        return windowKernel(this, image, window);
    }

    // ---- State ----
    std::string sourceName;              // empty: none
    StreamRecord* stream = nullptr;      // one reference held
    const FormatDesc* format = nullptr;  // not owned
    bool hasSampleFormat = false;
    LayoutSampleFormat sampleFormat;
    FormatInfo* formatInfo = nullptr;    // one reference held; may be null

    // Position.
    int32_t currentFrame = 0;
    int32_t currentSection = 0;
    int32_t sectionsInFrame = -1;        // -1: not known
    SectionStatistics ownRecord;

    // Frame buffer words: stored element and pixel bytes.
    uint32_t elementBytes = 0;
    uint32_t pixelBytes = 0;
    uint32_t bufferWords[2] = {0, 0};
    // The staging buffer of the window kernel and its chunk size in pixels.
    GlobalBuffer staging;
    uint32_t chunkPixels = 0;
    // Conversion state.
    uint8_t conversionFlag = 0;
    uint32_t conversionWords[2] = {0, 0};
    double conversionFactor = 1.0;
    // The conversion buffer (8 bytes per output value).
    GlobalBuffer conversion;
    uint32_t conversionElementBytes = 8;
    uint32_t conversionPixelBytes = 8;

    // Channel kernels: the parameters handed to them, the read kernel for the mode and
    // the unscaled kernel the statistics use. Swapped data is read by kernels that
    // reverse every element themselves; the swap routine is kept for the section
    // kernels, which may work on copies.
    ChannelParams channelParams;
    ChannelKernel readKernel = nullptr;
    ChannelKernel plainKernel = nullptr;
    StridedSwapRoutine swapRoutine = nullptr;
    bool swapped = false;

    // The three read kernels.
    WindowKernel windowKernel = &ReadKernelDefault;
    StatisticsKernel statisticsKernel = &StatisticsKernelDefault;
    PreviewKernel previewKernel = &PreviewKernelDefault;

    // The read state through which the data set is described anew, made when the input
    // is attached: its snapshot 0 is the description the file gave (the default), its
    // snapshot 1 the description last kept. Null before the input is attached.
    std::unique_ptr<ReadState> readState;
    // The scale, zero and sample type the description held when the input was attached.
    double statedScale = 1.0, statedZero = 0.0;
    uint32_t statedType = 0;
    // The source page keeps what the file states locked while this is set.
    uint8_t lockKnown = 0;

    // Section records of a data set without a frame table: a movable block.
    std::vector<SectionStatistics> recordWindow;
    uint64_t recordBase = 0;

    // Counts the changes of the description that may change what a read delivers; the
    // stored plane a statistics pass kept is keyed by it.
    uint64_t generation = 0;
    // The stored plane the last whole statistics pass read, for the frame read after it.
    KeptPlane keptPlane;
    // The description changed: a kept plane no longer serves.
    void DescriptionChanged() {
        ++generation;
        keptPlane.Drop();
    }

    // The current section's record in physical units (see DataSetTotalInfo).
    SectionStatistics cache;
    double cacheRawMin = 0.0, cacheRawMax = 0.0;
    uint8_t cacheValid = 0;
    uint8_t cacheHasData = 0;

    // Stored pixel bytes: element bytes x channels unless planes are channels.
    uint32_t StoredPixelBytes() const { return pixelBytes; }
    // The stored data as the read kernels address it: the bytes of the file, except that
    // samples packed to a bit count that is not a multiple of 8 (io/bit_packed.h) read,
    // from the data offset on, as the elements they unpack into. ReadableLength is where
    // that ends (the file's length for plain data); ReadStored reads as StreamRead does
    // and never past it.
    int64_t ReadableLength() const;
    int64_t ReadStored(uint64_t offset, void* buffer, uint64_t bytes);
    // The range the file states (its header, or the decoder's), as far as it describes the
    // values the data set now delivers: through a scale and zero set since, and none when
    // the sample type changed since or the channels are added up (summing, weighting,
    // profile) where the file stated its samples' range.
    bool ValueRange(double* minimum, double* maximum) const override;
    // ReadStored of data whose channels are stored as planes (planarChannels): `offset`
    // counts from the data offset.
    int64_t ReadPlanar(uint64_t offset, void* buffer, uint64_t bytes);
    // Clears the section record window.
    void ClearRecordWindow();
    // The statistics kept of every section (and the preview) describe the data as it was
    // read so far: they are forgotten, to be read again.
    void ForgetStatistics();

private:
    void ComputeElementSizes();
    void RunSignednessTest();
    // A new read state whose two snapshots hold the present description.
    void KeepFileDescription();
    bool ChooseKernels();
};

// A region of the data: position and size on three axes.
struct InputRegion {
    int64_t position[3] = {0, 0, 0};
    int64_t size[3] = {0, 0, 0};
};
// The crop rules, per axis: a position of 0 or below is 0, one at or beyond the full
// size is the last element; a size below 0 keeps the present one, 0 or one beyond the
// full size is the full size; the box never reaches past the data and every size is at
// least 1. True when the crop box changed.
bool ApplyCropRegion(DataSetInfo* info, const InputRegion& region);
// Applies a region to the data set under the display lock; when the crop box changed
// the kernels are prepared again and the source is told. False without a region, without
// frames, or when nothing changed.
bool SetInputRegion(DataSet* dataSet, const InputRegion* region);

// The first of {type, bits}: the layout's sample-format type when it has size bits
// (false for a non-integer type), else the input type and bits when the sample size is
// stated and the type is an integer type; else false and zeros.
bool DataSetElementType(const DataSet* dataSet, SampleFormat* out);
// The value range of the input type through scale and zero; false without a type.
bool ScaleMinMax(const DataSet* dataSet, double* minimum, double* maximum);
// Runs the prepare slot; on success tells the notifier, and sets the stub kernels when
// a channel kernel is missing.
bool DataSetRefreshKernels(DataSet* dataSet);
// The name of the data file: the path of the source name, else the stream's name, else
// its second name unless the stream is a temporary copy; empty when there is none.
std::string DataSetFileName(const DataSet* dataSet);

}  // namespace orva
