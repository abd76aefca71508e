#pragma once
// The Output: the component that writes the data of one stage of a project item's chain
// (its target: the input as read, the processed data, the reduction results or the
// screen bitmap) to files through the output writer, in a chosen file format and output
// data type, with the settings record it keeps for each source it wrote (its channel,
// frame range, crop box, scale and zero, file-name pattern). Save and Save As connect it
// to the current item, ask for the file name and run the write. Main thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "framework/component.h"
#include "framework/format_request.h"
#include "io/format_desc.h"
#include "io/format_registry.h"
#include "io/output_writer.h"
#include "views/output_settings.h"

namespace orva {

class CUI;
class DataSet;
class OutputComponent;
class ProjectItem;

// How the scale and zero of the settings record are had.
constexpr int32_t kRangeAuto = 0;         // from the output type and the data's range
constexpr int32_t kRangeAsInput = 1;      // the data set's own
constexpr int32_t kRangeAsis = 2;         // the identity
constexpr int32_t kRangeUserDefined = 3;  // the user's triple

// The stages an output connects to, by their tag pair.
constexpr uint32_t kStageInput[2] = {FourCC("IOST"), FourCC("INPT")};
constexpr uint32_t kStageProcessed[2] = {FourCC("FILT"), FourCC("CTNR")};
constexpr uint32_t kStageReduction[2] = {FourCC("PROC"), FourCC("REDU")};
constexpr uint32_t kStageBitmap[2] = {FourCC("CONV"), FourCC("COLR")};

// The link through which an output is bound to its target.
class OutputLink : public ConsumerLink {
public:
    explicit OutputLink(OutputComponent* output);
    ~OutputLink() override;
    void OnUpstreamChanged() override {}
    // Detaches first, then binds to the target (an OutputComponent joins the target's
    // consumers and takes its project item; the item's output only binds).
    bool Attach(ComponentBase* target) override;
    // Unbinds and forgets the target and the project item.
    void Detach() override;
    // A byte-swapped type other than 8-bit integers, a format without a size bit and
    // 3-byte samples are refused (the link is detached); an accepted format is kept as
    // the negotiated one and the output's process function becomes OutputWrite.
    bool AcceptFormat(FormatRequest* request) override;

    OutputComponent* self;
};

class OutputComponent : public ComponentBase {
public:
    OutputComponent();
    // Forgets the format, clears what downstream caches of it, releases its settings
    // record, leaves its project item and its target.
    ~OutputComponent() override;

    const ComponentId* GetClassId() const override { return &kOutputId; }
    bool CreateInstance(ComponentObject** out) override;
    // Its own id, "BASE" and "CELB" 0 0 0.
    bool QueryInterface(const ComponentId* id, void** out) override;
    // Refreshes the Output page when it is open; 0.
    int32_t Refresh(uint8_t playback) override;
    bool QueryProperties(const ComponentId*, PropertyComponent**) override { return false; }
    ConsumerLink* GetInputLink(int index) override { return index >= 0 && index < 2 ? &link : nullptr; }
    bool NegotiateInput(ConsumerLink*, FormatRequest*) override { return false; }
    // Code 1 is answered; the others go to the shared selection handling.
    bool OnMessage(MessageRecord* message, uint32_t argument) override;
    // Forwarded to the target.
    void SendPageMessage(MessageRecord* message, uint32_t argument) override;
    bool QueryPageMessage(MessageRecord* message, uint32_t argument) override;
    void* QueryFrameDescription() override { return nullptr; }
    FrameDataRecord* QueryFrameData(int32_t, int32_t) override { return nullptr; }
    // The project item whose data the output writes.
    ProjectItemBase* ComponentGetOwner() override;
    // The Source of that item, or null.
    virtual ComponentBase* ItemSource();

    // The target while it exists (a target that went is forgotten here).
    ComponentBase* Target();

    OutputLink link;
    ComponentBase* upstream = nullptr;      // the target the link is bound to
    uint8_t reportFlag = 1;                 // the result of a write is reported
    int32_t writeScope = kWriteScopeAll;
    FormatRequest negotiated;               // {0, 0, 1, 1, 0, 0} until a target accepts
    OutputSettings* settings = nullptr;     // one reference
    FormatDesc* format = nullptr;           // its default type is the output data type
    uint32_t targetTags[2] = {kStageInput[0], kStageInput[1]};
    std::string fileName;
    int32_t quantization = 0;               // 0 round, 1 truncate
    int32_t rangeMode = kRangeAuto;
    int32_t recordMethod = kRecordSectionPerFile;
    std::vector<OutputHeaderAddition> headerAdditions;
    uint8_t writing = 0;                    // a Save runs
    uint8_t explicitTarget = 0;             // the running Save was given a target
    // Set by the item's output: its link binds without joining the target's consumers.
    bool bindsQuietly = false;
};

// The output made for the project items (one for the user interface): it binds to its
// target without joining the target's consumers, finds its project item by fallback and
// ignores forwarded messages.
class OutputItemComponent final : public OutputComponent {
public:
    OutputItemComponent();
    const ComponentId* GetClassId() const override { return &kOutputCommonId; }
    bool CreateInstance(ComponentObject** out) override;
    // Also "Output Common".
    bool QueryInterface(const ComponentId* id, void** out) override;
    void SendPageMessage(MessageRecord*, uint32_t) override {}
    bool QueryPageMessage(MessageRecord*, uint32_t) override { return false; }
    ProjectItemBase* ComponentGetOwner() override;
    ComponentBase* ItemSource() override;
};

// The project item of an output: its own, else its target's, else the current item of
// the current project of the user-interface object.
ProjectItem* OutputItemProjectItem(OutputComponent* output);

// The switch of the clipping question: while on, a write outside "Auto" lets the writer
// ask, and the first question asked turns it off (the question comes once).
bool& OutputClipMessageSwitch();

// ---- Creation and formats ----------------------------------------------------------------

// The item output of the user interface: the default format selected, added to the
// components and made the current output (not forced). Null (released) on failure.
OutputItemComponent* CreateItemOutput(CUI* cui);
// Selects the current entry of the registry's current output list (index reset to 1 when
// unset or past the end); FITS, else Binary, when none results. Always true.
bool OutputSelectDefaultFormat(OutputComponent* output);
// Makes the format the output's and corrects the format's default element type (shared
// by every output of that format) against its allowed types. False when the format is
// the selected one already.
bool OutputSelectFormat(OutputComponent* output, FormatDesc* format);
// The registry's own (writable) record of a format descriptor; null for one it does
// not hold.
FormatDesc* RegisteredFormat(const FormatDesc* format);

// ---- Connection ----------------------------------------------------------------------------

// Connects to the item's stage with the tag pair (see the .cpp); true with nothing to do
// for no item.
bool ConnectOutputToSource(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2);
// Connects again with the stored pair; no item: the output's own (none: false).
bool ReconnectItemOutput(OutputComponent* output, ProjectItem* item);
// ConnectOutputToSource with the stored pair; the pair copied out on success.
bool OutputConnectStored(OutputComponent* output, ProjectItem* item, uint32_t* pair);
// Whether one of the item's current windows has a component with the pair and data.
bool OutputHasTargetData(OutputComponent* output, uint32_t tag1, uint32_t tag2);
// Connects to another stage and keeps its pair (see the .cpp).
bool OutputSetTarget(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2, bool refresh);
// Sets the record's channel: 0 keeps the present one (1 when none), limited to the
// negotiated channel count.
void OutputClampChannel(OutputComponent* output, int32_t channel);
// Brings the record's frame range into the `frames` frames the target offers (the positions
// its frame step visits): a last frame of -1 or beyond them becomes the last, the first at
// most the last; the record's own step becomes positive and the ends multiples of it.
void OutputClampFrames(OutputSettings* record, int64_t frames);
// Fills the effective triple of the record for a range mode.
void OutputPrepareRange(OutputComponent* output, int32_t mode);
// The input's triple {scale, zero negated, reciprocal} for an output type: the data's
// scale and zero, with the zero moved by 2^(n-1) x scale when the input and the output
// are integers of one size n that differ only in sign, so that every stored value fits.
ScaleTriple OutputInputTriple(uint32_t inType, double scale, double zero, uint32_t outType);
// A scale or zero typed on the page: stored as OutputSettingsEditScale/-Zero say, and a
// change makes the range mode "User defined". -1 a bad value, 0 unchanged, 1 changed.
int OutputEditScale(OutputComponent* output, double scale);
int OutputEditZero(OutputComponent* output, double zero);
// What a target offers the writer: its source's name, type, sizes, frames, scale and
// range. False without a target or a data set behind it.
bool OutputTargetInfo(OutputComponent* output, OutputSourceInfo* info);

// ---- Writing -------------------------------------------------------------------------------

// Keeps the name (names that differ in case are different files); false when it cannot
// be copied.
bool OutputSetFileName(OutputComponent* output, const char* name);
// Runs one write with the scope; true when data were written.
bool OutputRunWrite(OutputComponent* output, int32_t scope);
// Names the file, selects the list's current format, connects with the stored pair and
// writes.
bool OutputWriteFile(OutputComponent* output, ProjectItem* item, const char* name, FormatList* list, int32_t scope);
// The process function of a write: 5 written; else 1 not prepared, 0 nothing, or a
// negative code for the page's status (-5, -4, -3, -2, -1).
int32_t OutputWrite(ComponentBase* component, PullResult* result, PullRequest* request);
// The result of a write that wrote nothing, by the writer's last error code: -25 and -17
// give -5, -20 and -5 give -2, -18 gives -1, -14 gives -4, -2 gives -3, 0 and -1 give 1,
// every other code 0.
int32_t OutputWriteResultCode(int32_t writerCode);
// The special value the writer gets for a record and an output type: none while the
// record's flag is off or its value is -DBL_MAX; else the value clamped into the type's
// range (unclamped when that range is not valid).
bool OutputSpecialValue(const OutputSettings& record, uint32_t type, double* value);
// The "Save As" command: the format list chosen by the object tag, the target, the
// save dialog and the write. True when data were written.
bool OutputSaveCommand(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2, int32_t scope,
                       FormatTag formatTag);

// The title of the save dialog for a stage, a scope and the object tag.
std::string OutputSaveTitle(uint32_t tag1, uint32_t tag2, int32_t scope, FormatTag formatTag);
// The name a Save writes under for the list's current format: a name whose extension
// belongs to another format of the list (".fits" with "Binary" chosen) takes the chosen
// format's own ("fits" when it lists it, else its first); any other name is kept.
std::string NameForFormat(const std::string& name, const FormatList* list);
// The kind mask the format lists are chosen with for an object tag (0x380, 0x580, 0x180
// or 0).
uint32_t OutputListMask(FormatTag formatTag);
// The menu label of a stage pair, or null (the writer's log names the stage with it).
const char* OutputTargetLabel(uint32_t tag1, uint32_t tag2);

// The Output's panel builder (its page).
PanelBuilder GetOutputPanelBuilder();

}  // namespace orva
