#include "views/output_component.h"

#include <algorithm>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <strings.h>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "app/ui_elements.h"
#include "app/ui_startup.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/number_text.h"
#include "common/sample_type.h"
#include "framework/app_object.h"
#include "io/data_set.h"
#include "toolkit/window.h"
#include "views/output_page.h"
#include "views/source_component.h"

namespace orva {

namespace {

constexpr const char kCantConnect[] = "***Can`t connect to source...";
constexpr const char kCantConnectInfo[] = "***Can`t connect to source info...";
// The main setting that names the folder the save dialog starts in.
constexpr int kSaveFolder = 8;
// Flags of the save dialog: no change of folder, the path must exist. The dialog asks
// nothing about the name typed: the files take their names from the pattern, and the
// writer asks once about every one of them that exists.
constexpr uint32_t kSaveDialogFlags = kOfnPathMustExist | 0x400;
constexpr size_t kDialogBuffer = 0x10000;
// "'%s' - error [limit]".
constexpr int kErrorLimit = -28;
constexpr double kNoSpecialValue = -1.7976931348623157e308;

bool UiUp() { return ComponentUiUp(); }

void RedrawWindows(OutputComponent* output) {
    RedrawVisibleComponentWindows(output);
    if (UiUp()) gWinRefreshAll();
}

void ClearWriting(OutputComponent* output) {
    output->writing = 0;
    output->explicitTarget = 0;
}

// The Source at the head of the chain the component belongs to.
SourceComponent* SourceAbove(ComponentBase* c) {
    for (int depth = 0; c != nullptr && depth < 64; ++depth) {
        if (!ComponentIsLive(c)) return nullptr;
        if (auto* s = dynamic_cast<SourceComponent*>(c)) return s;
        c = ComponentUpstream(c);
    }
    return nullptr;
}

DataSet* ItemDataSet(OutputComponent* output) {
    auto* source = dynamic_cast<SourceComponent*>(output->ItemSource());
    return source != nullptr ? source->Input() : nullptr;
}

// The input's triple for the output type (see OutputInputTriple); the identity without data.
ScaleTriple InputTriple(const DataSet* d, uint32_t outType) {
    if (d == nullptr) return ScaleTriple();
    ScaleTriple t = OutputInputTriple(d->input.type, d->scale, d->zero, outType);
    if (d->inverseScale != 0.0) t.reciprocal = d->inverseScale;
    return t;
}

// The description of the target: its cached answer or its own.
void* TargetDescription(ComponentBase* target) {
    if (target == nullptr) return nullptr;
    if (void* cached = target->CachedFrameDescription()) return cached;
    return target->QueryFrameDescription();
}

// The output data type: the default element type of the output's format.
uint32_t OutputType(const OutputComponent* output) {
    return output->format != nullptr ? output->format->defaultType : 0;
}

FormatList* CurrentList() { return TheFormatRegistry().currentOutput; }

// The folder part of a path (without the last "/"); empty when it has none.
std::string FolderOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return std::string();
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

// The name part without folder and extension.
std::string BaseNameOf(const std::string& path) {
    const size_t slash = path.rfind('/');
    std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string::npos && dot > 0) name.resize(dot);
    return name;
}

}  // namespace

ScaleTriple OutputInputTriple(uint32_t inType, double scale, double zero, uint32_t outType) {
    ScaleTriple t;
    t.scale = scale;
    t.zero = 0.0 - zero;  // never -0: the page shows the zero as it is kept
    t.reciprocal = scale != 0.0 ? 1.0 / scale : 1.0;
    // Integers of one size that differ only in sign hold the same values 2^(n-1) apart
    // (unsigned 16-bit data stored as signed 16-bit with a zero of 32768, the way FITS
    // keeps them): the offset goes into the zero, so that the stored samples keep every
    // value of the input instead of clipping half of them.
    const uint32_t size = ElementSize(inType);
    if (ElementIsReal(inType) || ElementIsReal(outType) || size == 0 || size != ElementSize(outType) ||
        (inType & 0x7F & ~kElemRealMask) == kElemInt24)
        return t;
    const bool inUnsigned = (inType & kElemUnsigned) != 0, outUnsigned = (outType & kElemUnsigned) != 0;
    if (inUnsigned == outUnsigned) return t;
    const double offset = std::ldexp(1.0, static_cast<int>(size * 8 - 1)) * scale;
    // The record keeps the zero negated: physical = stored * scale - zero.
    t.zero = inUnsigned ? t.zero - offset : t.zero + offset;
    if (t.zero == 0.0) t.zero = 0.0;
    return t;
}

bool& OutputClipMessageSwitch() {
    static bool on = true;
    return on;
}

// ---- The link ------------------------------------------------------------------------------

OutputLink::OutputLink(OutputComponent* output) : ConsumerLink(output), self(output) {}

OutputLink::~OutputLink() {
    // A quiet binding never joined the target's list.
    if (self != nullptr && self->bindsQuietly) ClearWord4(this);
}

bool OutputLink::Attach(ComponentBase* target) {
    Detach();
    if (target == nullptr) return false;
    if (self->bindsQuietly) {
        if (!ConsumerBind(this, target)) return false;
        self->upstream = target;
        return true;
    }
    if (!ConsumerAttach(this, target)) return false;
    self->upstream = target;
    self->owner = target->owner;
    return true;
}

void OutputLink::Detach() {
    if (self->bindsQuietly) {
        if (upstream != nullptr) ClearWord4(this);
    } else {
        ConsumerDetach(this);
    }
    self->upstream = nullptr;
    self->owner = nullptr;
    self->portRecord = nullptr;
}

bool OutputLink::AcceptFormat(FormatRequest* request) {
    if (request == nullptr) return false;
    const uint32_t type = request->format;
    const bool swapped = (type & kFormatSwapped) != 0 && (type & 0x01) == 0;
    if (swapped || (type & kFormatSizeBits) == 0 || (type & 0x04) != 0) {
        Detach();
        return false;
    }
    self->negotiated = *request;
    self->process = &OutputWrite;
    return true;
}

// ---- The component -------------------------------------------------------------------------

OutputComponent::OutputComponent() : ComponentBase(nullptr), link(this) {
    name = "Output";
    panelBuilder = GetOutputPanelBuilder();
}

OutputComponent::~OutputComponent() {
    format = nullptr;
    if (const uintptr_t a = keyA.load()) ComponentClearFlagDownstream(this, a);
    if (const uintptr_t b = keyB.load()) ComponentClearSecondFlagDownstream(this, b);
    if (settings != nullptr) {
        settings->Release();
        settings = nullptr;
    }
    if (owner != nullptr && ProjectItemIsLive(owner)) {
        auto* item = static_cast<ProjectItem*>(owner);
        if (item->output == this) item->output = nullptr;
    }
    headerAdditions.clear();
    // A target that went takes no notice of the link any more.
    if (link.upstream != nullptr && !ComponentIsLive(link.upstream)) ClearWord4(&link);
    if (bindsQuietly) {
        ClearWord4(&link);
    } else {
        ConsumerBaseDestroy(&link);
    }
    upstream = nullptr;
}

bool OutputComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new OutputComponent;
    return *out != nullptr;
}

bool OutputComponent::QueryInterface(const ComponentId* id, void** out) {
    const ComponentId* supported[] = {&kOutputId, &kBaseId, &kComponentBaseId};
    return AnswerInterface(id, out, supported, 3);
}

int32_t OutputComponent::Refresh(uint8_t) {
    RefreshOutputPageIfOpen(this, false);
    return 0;
}

bool OutputComponent::OnMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr) return false;
    if (message->code == kMsgRefreshPages) return true;
    return ComponentOnSelect(this, message, argument);
}

void OutputComponent::SendPageMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr || message->code == 0) return;
    ComponentDeliverMessage(Target(), message, argument);
}

bool OutputComponent::QueryPageMessage(MessageRecord* message, uint32_t argument) {
    if (message == nullptr || message->code == 0) return false;
    return ComponentDeliverMessageQuery(Target(), message, argument);
}

ProjectItemBase* OutputComponent::ComponentGetOwner() {
    return owner != nullptr && ProjectItemIsLive(owner) ? owner : nullptr;
}

ComponentBase* OutputComponent::ItemSource() {
    ProjectItemBase* item = ComponentGetOwner();
    if (item == nullptr) return nullptr;
    ComponentBase* s = static_cast<ProjectItem*>(item)->currentSource.load();
    return ComponentIsLive(s) ? s : nullptr;
}

ComponentBase* OutputComponent::Target() {
    if (upstream == nullptr) return nullptr;
    // The target went: its links forgot this one, or (quiet binding) it is simply gone.
    if (!ComponentIsLive(upstream) || link.upstream != upstream) {
        if (bindsQuietly || !ComponentIsLive(link.upstream)) ClearWord4(&link);
        upstream = nullptr;
        return nullptr;
    }
    return upstream;
}

OutputItemComponent::OutputItemComponent() { bindsQuietly = true; }

bool OutputItemComponent::CreateInstance(ComponentObject** out) {
    if (out == nullptr) return false;
    *out = new OutputItemComponent;
    return *out != nullptr;
}

bool OutputItemComponent::QueryInterface(const ComponentId* id, void** out) {
    const ComponentId* supported[] = {&kOutputCommonId, &kOutputId, &kBaseId, &kComponentBaseId};
    return AnswerInterface(id, out, supported, 4);
}

ProjectItemBase* OutputItemComponent::ComponentGetOwner() { return OutputItemProjectItem(this); }

ComponentBase* OutputItemComponent::ItemSource() {
    ProjectItem* item = OutputItemProjectItem(this);
    if (item == nullptr) return nullptr;
    ComponentBase* s = item->currentSource.load();
    return ComponentIsLive(s) ? s : nullptr;
}

ProjectItem* OutputItemProjectItem(OutputComponent* output) {
    if (output == nullptr) return nullptr;
    if (output->owner != nullptr && ProjectItemIsLive(output->owner)) return static_cast<ProjectItem*>(output->owner);
    if (ComponentBase* target = output->Target(); target != nullptr && target->owner != nullptr &&
                                                  ProjectItemIsLive(target->owner))
        return static_cast<ProjectItem*>(target->owner);
    CUI* cui = dynamic_cast<CUI*>(output->ui);
    if (cui == nullptr) cui = &TheCUI();
    Project* project = cui->currentProject;
    ProjectItem* item = project != nullptr ? project->currentItem.load() : nullptr;
    return item != nullptr && ProjectItemIsLive(item) ? item : nullptr;
}

// ---- Creation and formats ----------------------------------------------------------------

OutputItemComponent* CreateItemOutput(CUI* cui) {
    if (cui == nullptr) return nullptr;
    auto* output = new OutputItemComponent;
    if (output == nullptr) return nullptr;
    OutputSelectDefaultFormat(output);
    if (!CUIAddComponent(cui, output)) {
        output->Release();
        return nullptr;
    }
    CUISetCurrentOutput(cui, output, false);
    return output;
}

FormatDesc* RegisteredFormat(const FormatDesc* format) {
    if (format == nullptr) return nullptr;
    int steps = 0;
    for (FormatNode* n = TheFormatRegistry().head; n != nullptr && steps < 1000; n = n->next, ++steps)
        if (n->desc == format) return n->desc;
    return nullptr;
}

bool OutputSelectDefaultFormat(OutputComponent* output) {
    if (output == nullptr) return true;
    if (FormatList* list = CurrentList()) {
        if (list->current < 1 || static_cast<uint32_t>(list->current) > list->entryCount) list->current = 1;
        if (list->hasEntries && list->current >= 1 && static_cast<uint32_t>(list->current) <= list->entries.size())
            OutputSelectFormat(output, list->entries[static_cast<size_t>(list->current - 1)]);
    }
    if (output->format == nullptr) {
        FormatDesc* fallback = RegisteredFormat(FormatFits());
        if (fallback == nullptr) fallback = RegisteredFormat(FormatBinary());
        if (fallback != nullptr) OutputSelectFormat(output, fallback);
    }
    return true;
}

bool OutputSelectFormat(OutputComponent* output, FormatDesc* format) {
    if (output == nullptr || format == nullptr || output->format == format) return false;
    output->format = format;
    // One set of rules for the type word: the registry's normalisation against the mask.
    format->defaultType = NormalizeFormatWord(format->defaultType, format->allowedTypes);
    return true;
}

// ---- Connection ----------------------------------------------------------------------------

bool OutputTargetInfo(OutputComponent* output, OutputSourceInfo* info) {
    if (output == nullptr || info == nullptr) return false;
    ComponentBase* target = output->Target();
    if (target == nullptr) return false;
    SourceComponent* source = SourceAbove(target);
    if (source == nullptr) source = dynamic_cast<SourceComponent*>(output->ItemSource());
    DataSet* d = source != nullptr ? source->Input() : nullptr;
    if (!OutputSourceInfoFromDataSet(d, info)) return false;
    info->channels = output->negotiated.channels != 0 ? output->negotiated.channels : info->channels;
    // A later stage may change the frame's extent (a resampling filter).
    if (target != source) {
        if (FrameDataRecord* r = target->QueryFrameData(-1, -1)) {
            if (r->width > 0 && r->width < INT64_MAX) info->width = r->width;
            if (r->height > 0 && r->height < INT64_MAX) info->height = r->height;
        }
    }
    return true;
}

bool ConnectOutputToSource(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2) {
    if (output == nullptr) return false;
    if (item == nullptr) return true;
    ComponentBase* target = FindCurrentItemWindow(item, tag1, tag2);
    for (int slot = 3; target == nullptr && slot >= 0; --slot) {
        ComponentBase* c = item->currentWindows[slot];
        if (c != nullptr && ComponentIsLive(c)) target = c;
    }
    if (target == nullptr || !output->link.Attach(target)) {
        ShowError(kCantConnect);
        return false;
    }
    void* description = TargetDescription(target);
    if (description == nullptr) return false;
    if (target->QueryFrameData(-1, -1) == nullptr) {
        ShowError(kCantConnectInfo);
        return false;
    }
    OutputSettings* record = OutputSettingsFind(target, output);
    if (record != nullptr) {
        record->AddRef();
    } else if (!OutputSettingsListAdd(target, output, &record)) {
        return false;
    }
    OutputSourceInfo info;
    if (OutputTargetInfo(output, &info)) {
        const int64_t sizes[3] = {info.width, info.height, info.depth};
        for (int axis = 0; axis < 3; ++axis) {
            if (sizes[axis] > 0 && (record->cropSize[axis] == 0 || record->cropOrigin[axis] < 0)) {
                record->cropOrigin[axis] = 0;
                record->cropSize[axis] = sizes[axis];
            }
        }
    }
    if (output->settings != nullptr) output->settings->Release();
    output->settings = record;  // the lookup's reference becomes the output's

    if (output->negotiated.channels == 0) output->negotiated.channels = 1;
    OutputClampChannel(output, 0);
    OutputPrepareRange(output, output->rangeMode);

    OutputClampFrames(record, info.frames > 0 ? static_cast<int64_t>(info.frames) : 0);
    RedrawWindows(output);
    return true;
}

void OutputClampFrames(OutputSettings* record, int64_t frames) {
    if (record == nullptr) return;
    OutputSettings& r = *record;
    if (r.lastFrame < 0 || r.lastFrame >= frames)
        r.lastFrame = frames > 0 ? static_cast<int32_t>(std::min<int64_t>(frames - 1, INT32_MAX)) : 0;
    if (r.lastFrame < r.firstFrame) {
        r.firstFrame = r.lastFrame;
    } else if (r.firstFrame < 0) {
        r.firstFrame = 0;
    }
    if (r.frameStep == 0) {
        r.frameStep = 1;
    } else if (r.frameStep < 0) {
        r.frameStep = r.frameStep == INT32_MIN ? INT32_MAX : -r.frameStep;
    }
    if (r.frameStep != 1) {
        if (r.firstFrame != 0) r.firstFrame -= r.firstFrame % r.frameStep;
        if (r.lastFrame != 0) r.lastFrame -= r.lastFrame % r.frameStep;
        if (r.firstFrame > r.lastFrame) r.firstFrame = r.lastFrame;
    }
}

bool ReconnectItemOutput(OutputComponent* output, ProjectItem* item) {
    if (output == nullptr) return false;
    if (item == nullptr) {
        if (output->owner == nullptr || !ProjectItemIsLive(output->owner)) return false;
        item = static_cast<ProjectItem*>(output->owner);
    }
    return ConnectOutputToSource(output, item, output->targetTags[0], output->targetTags[1]);
}

bool OutputConnectStored(OutputComponent* output, ProjectItem* item, uint32_t* pair) {
    if (output == nullptr) return false;
    if (!ConnectOutputToSource(output, item, output->targetTags[0], output->targetTags[1])) return false;
    if (pair != nullptr) {
        pair[0] = output->targetTags[0];
        pair[1] = output->targetTags[1];
    }
    return true;
}

bool OutputHasTargetData(OutputComponent* output, uint32_t tag1, uint32_t tag2) {
    ProjectItem* item = OutputItemProjectItem(output);
    ComponentBase* c = item != nullptr ? FindCurrentItemWindow(item, tag1, tag2) : nullptr;
    return c != nullptr && ComponentIsLive(c) && TargetDescription(c) != nullptr;
}

bool OutputSetTarget(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2, bool refresh) {
    if (output == nullptr || (tag1 == 0 && tag2 == 0)) return false;
    if (output->targetTags[0] == tag1 && output->targetTags[1] == tag2) return false;
    if (ConnectOutputToSource(output, item, tag1, tag2)) {
        output->targetTags[0] = tag1;
        output->targetTags[1] = tag2;
        if (refresh && (item == nullptr || item->currentSource.load() != nullptr)) RefreshOutputPageIfOpen(output, false);
        return true;
    }
    if (output->targetTags[0] != 0 || output->targetTags[1] != 0) return false;
    if (ConnectOutputToSource(output, item, kStageInput[0], kStageInput[1])) {
        output->targetTags[0] = kStageInput[0];
        output->targetTags[1] = kStageInput[1];
    } else {
        output->targetTags[0] = output->targetTags[1] = 0;
    }
    return false;
}

void OutputClampChannel(OutputComponent* output, int32_t channel) {
    if (output == nullptr || output->settings == nullptr) return;
    OutputSettings* r = output->settings;
    if (channel == 0) channel = r->channel != 0 ? r->channel : 1;
    const int32_t count = output->negotiated.channels == 0 ? 1
                          : output->negotiated.channels > INT32_MAX
                              ? INT32_MAX
                              : static_cast<int32_t>(output->negotiated.channels);
    if (channel > count) channel = count;
    if (channel < 1) channel = 1;
    r->channel = channel;
}

void OutputPrepareRange(OutputComponent* output, int32_t mode) {
    if (output == nullptr || output->settings == nullptr) return;
    OutputSettings* r = output->settings;
    DataSet* itemData = ItemDataSet(output);
    const ScaleTriple identity;
    switch (mode) {
        case kRangeAsInput:
            if (itemData != nullptr) {
                r->effective = InputTriple(itemData, OutputType(output));
                return;
            }
            [[fallthrough]];
        case kRangeUserDefined:
            if (std::fabs(r->user.scale) <= DBL_EPSILON)
                r->user = itemData != nullptr ? InputTriple(itemData, OutputType(output)) : identity;
            r->effective = r->user;
            return;
        case kRangeAsis:
            r->effective = identity;
            return;
        default:
            break;
    }
    // "Auto": by the output data type.
    const uint32_t type = OutputType(output);
    if ((type & 0x60) != 0) {
        r->effective = identity;
        return;
    }
    // The data set of the target's "Input" interface when it answers, else the item's.
    DataSet* data = itemData;
    double low = DBL_MAX, high = -DBL_MAX;
    ComponentBase* target = output->Target();
    void* answered = nullptr;
    if (target != nullptr && target->QueryInterface(&kInputId, &answered) && answered != nullptr) {
        auto* input = static_cast<ComponentBase*>(answered);
        if (auto* source = dynamic_cast<SourceComponent*>(input); source != nullptr && source->Input() != nullptr) {
            data = source->Input();
            double lo = 0.0, hi = 0.0;
            if (ScaleMinMax(data, &lo, &hi)) {
                low = lo;
                high = hi;
            }
        }
        ComponentRelease(input);
    }
    if ((type & kFormatSizeBits) == 0) {
        r->effective = data != nullptr ? InputTriple(data, type) : identity;
        return;
    }
    if (!(low <= high) && (output->negotiated.format & kFormatSizeBits) != 0)
        SampleTypeRange(output->negotiated.format, &low, &high);
    double typeLow = 0.0, typeHigh = 0.0;
    SampleTypeRange(type, &typeLow, &typeHigh);
    if (!(low <= high) || low < typeLow || high > typeHigh) {
        r->effective = data != nullptr ? InputTriple(data, type) : identity;
    } else {
        r->effective = identity;
    }
}

int OutputEditScale(OutputComponent* output, double scale) {
    if (output == nullptr || output->settings == nullptr) return 0;
    const int answer = OutputSettingsEditScale(output->settings, scale);
    if (answer > 0) output->rangeMode = kRangeUserDefined;
    return answer;
}

int OutputEditZero(OutputComponent* output, double zero) {
    if (output == nullptr || output->settings == nullptr) return 0;
    const int answer = OutputSettingsEditZero(output->settings, zero);
    if (answer > 0) output->rangeMode = kRangeUserDefined;
    return answer;
}

// ---- Writing -------------------------------------------------------------------------------

bool OutputSetFileName(OutputComponent* output, const char* name) {
    if (output == nullptr || name == nullptr) return false;
    if (output->fileName == name) return true;
    try {
        output->fileName = name;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

namespace {

// The files a run wrote, by the names they were written to (the pattern names them): the
// one file, or the first and the last ("/d/c3001_snr0001.fits ... c3003_snr0001.fits"; the
// last shares the first's folder). The fallback when the run names none.
std::string WrittenNames(const char* first, const char* last, const std::string& fallback) {
    const std::string a = first != nullptr ? first : "", b = last != nullptr ? last : "";
    if (a.empty()) return b.empty() ? fallback : b;
    if (b.empty() || b == a) return a;
    const size_t slash = b.rfind('/');
    return a + " ... " + (slash != std::string::npos && FolderOf(a) == FolderOf(b) ? b.substr(slash + 1) : b);
}

// "'/d/a.fits' - not written: why", or for several "'/d/a.fits', b.fits, c.fits - 3 not
// written: why" (the names after the first without their folder when they share it; of many,
// the first three and the last, the log listing each). The reason is given when the files
// share one.
std::string NotWrittenText(const std::vector<std::string>& failed,
                           const std::vector<std::string>& reasons) {
    if (failed.empty()) return std::string();
    std::string text = "'" + failed.front() + "'";
    const std::string folder = FolderOf(failed.front());
    auto brief = [&](const std::string& name) {
        const size_t slash = name.rfind('/');
        return slash != std::string::npos && FolderOf(name) == folder ? name.substr(slash + 1)
                                                                      : name;
    };
    constexpr size_t kListed = 4;
    for (size_t i = 1; i < failed.size(); ++i) {
        if (failed.size() > kListed && i == kListed - 1) {
            text += " ... " + brief(failed.back());
            break;
        }
        text += ", " + brief(failed[i]);
    }
    text += failed.size() == 1 ? " - not written"
                               : " - " + std::to_string(failed.size()) + " not written";
    const bool oneReason = !reasons.empty() && !reasons.front().empty() &&
                           std::all_of(reasons.begin(), reasons.end(),
                                       [&](const std::string& r) { return r == reasons.front(); });
    if (oneReason) text += ": " + reasons.front();
    if (failed.size() > kListed) text += " (each is named in the log)";
    return text;
}

// Missing samples that no free code could mark: how many and what they read as.
std::string UnmarkedText(const OutputWriter& w) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "%llu missing sample(s) not marked (no free value): they read as %.15g",
                  static_cast<unsigned long long>(w.RunUnmarkedSamples()), w.RunUnmarkedValue());
    return text;
}

// "x.fits saved, [frame(s) 3]".
std::string SavedText(const std::string& name, const OutputWriter& w) {
    std::string counts;
    char number[64];
    auto add = [&](const char* label, const char* text) {
        if (!counts.empty()) counts += ", ";
        counts += label;
        counts += text;
    };
    if (w.FilesWritten() > 1) {
        std::snprintf(number, sizeof number, "%d", w.FilesWritten());
        add("stream(s) ", number);
    }
    if (w.RunFramesWritten() > 1) {
        std::snprintf(number, sizeof number, "%d", w.RunFramesWritten());
        add("frame(s) ", number);
    }
    // Sections are worth telling when a frame held more than one.
    if (w.RunSectionsWritten() > 1 && w.RunSectionsWritten() > static_cast<uint64_t>(std::max(w.RunFramesWritten(), 1))) {
        std::snprintf(number, sizeof number, "%llu", static_cast<unsigned long long>(w.RunSectionsWritten()));
        add("section(s) ", number);
    }
    if (w.FilesFailed() > 0) {
        std::snprintf(number, sizeof number, "%d", w.FilesFailed());
        add("err(s) ", number);
    }
    std::string text = name + " saved";
    if (!counts.empty()) text += ", [" + counts + "]";
    return text;
}

}  // namespace

int32_t OutputWriteResultCode(int32_t code) {
    switch (code) {
        case -25:
        case -17: return -5;
        case -20:
        case -5: return -2;
        case -18: return -1;
        case -14: return -4;
        case -2: return -3;
        case 0:
        case -1: return 1;
        default: return 0;
    }
}

bool OutputSpecialValue(const OutputSettings& record, uint32_t type, double* value) {
    if (record.specialFlag == 0 || record.specialValue == kNoSpecialValue) return false;
    double v = record.specialValue;
    double low = 0.0, high = 0.0;
    SampleTypeRange(type, &low, &high);
    if (low <= high) v = v < low ? low : (v > high ? high : v);
    if (value != nullptr) *value = v;
    return true;
}

namespace {

// The selected section of the item's data set (the section scopes write it alone).
uint32_t SelectedSection(OutputComponent* output) {
    DataSet* d = ItemDataSet(output);
    return d != nullptr && d->currentSection > 0 ? static_cast<uint32_t>(d->currentSection) : 0;
}

// Holds a writer and releases it at the end.
struct WriterHold {
    OutputWriter* writer;
    ~WriterHold() {
        if (writer != nullptr) writer->Release();
    }
};

}  // namespace

int32_t OutputWrite(ComponentBase* component, PullResult*, PullRequest*) {
    auto* output = dynamic_cast<OutputComponent*>(component);
    if (output == nullptr) return 0;
    ComponentBase* target = output->Target();
    if (target == nullptr || output->format == nullptr) return 0;
    OutputSettings* r = output->settings;
    if (r == nullptr) return -1;
    WriterHold hold{OutputWriter::Create(target)};
    OutputWriter* w = hold.writer;
    if (w == nullptr) return -4;

    const uint32_t outType = output->format->defaultType;
    OutputTypeRecord type;
    type.type = output->negotiated.format;
    type.channels = output->negotiated.channels;
    w->SetOutputType(type);
    w->SetOutputParams(outType, r->channelSelector != 0, r->channel < 1 ? 1u : static_cast<uint32_t>(r->channel),
                       output->targetTags[0], output->targetTags[1]);
    if (r->crop != 0 && r->cropSize[0] != 0)
        w->SetCropBox(r->cropOrigin[0], r->cropOrigin[1], r->cropOrigin[2], r->cropSize[0], r->cropSize[1],
                      r->cropSize[2]);
    double special = 0.0;
    const bool hasSpecial = OutputSpecialValue(*r, outType, &special);
    w->SetSpecialValue(hasSpecial, special);
    // The record's zero is kept negated: the writer's pair is physical = stored * scale + zero.
    w->SetScaleZero(r->effective.scale, -r->effective.zero, output->quantization);
    w->SetFrameRange(r->firstFrame, r->lastFrame, r->frameStep);
    w->SetOutputName(r->pattern.c_str());
    w->SetWriteScope(output->writeScope, SelectedSection(output));
    w->SetRecordMethod(output->recordMethod);
    w->SetAutoRange(!OutputClipMessageSwitch() || output->rangeMode == kRangeAuto);

    OutputSourceInfo info;
    const bool described = OutputTargetInfo(output, &info) && w->ConnectSourceInfo(&info);
    if (!described || !w->SetTargetName(output->fileName.c_str()) || !w->PrepareWrite(output->format)) {
        // Nothing is written: the user is told why instead of hearing nothing.
        if (output->reportFlag != 0 && described) ShowErrorCode(w->Result(), output->fileName.c_str());
        return 1;
    }
    const int files = w->WriteRun();
    if (output->rangeMode != kRangeAuto && w->ClipQuestionShown()) OutputClipMessageSwitch() = false;
    if (files > 0 && output->rangeMode == kRangeAuto) {
        const double bscale = w->OutputBScale(), bzero = w->OutputBZero();
        if (bscale != r->effective.scale || -bzero != r->effective.zero) {
            r->effective.scale = bscale;
            r->effective.zero = -bzero;
            r->effective.reciprocal = bscale != 0.0 ? 1.0 / bscale : 1.0;
        }
    }
    // Every file the save lost: data files, then the descriptions and the log beside them.
    std::vector<std::string> failed = w->FailedNames(), reasons = w->FailedReasons();
    failed.insert(failed.end(), w->CompanionFailures().begin(), w->CompanionFailures().end());
    reasons.insert(reasons.end(), w->CompanionReasons().begin(), w->CompanionReasons().end());
    if (files > 0) {
        if (output->reportFlag != 0) {
            const std::string saved = SavedText(WrittenNames(w->FirstFileName(), w->LastFileName(), output->fileName), *w);
            if (!failed.empty()) {
                // A save that lost a file is a failure, whatever else it wrote: the files
                // that failed come first, where the status line shows them; the data
                // written stays and is named after them.
                ShowError((NotWrittenText(failed, reasons) + "; " + saved).c_str());
            } else if (w->RunUnmarkedSamples() > 0) {
                // Every real value is kept, but nothing marks the missing samples.
                ShowError((UnmarkedText(*w) + "; " + saved).c_str());
            } else {
                ShowWarning(saved.c_str());
            }
        }
        return 5;
    }
    const std::vector<std::string>& existing = w->ExistingNames();
    if (!existing.empty() && (w->Result() == kOutputNotReplaced || w->Result() == kOutputCancelled)) {
        if (output->reportFlag != 0) {
            const std::string names = WrittenNames(existing.front().c_str(), existing.back().c_str(), std::string());
            ShowError(existing.size() == 1
                          ? ("'" + names + "' exists: not replaced").c_str()
                          : (names + ": " + std::to_string(existing.size()) + " files exist, not replaced").c_str());
        }
        return OutputWriteResultCode(w->Result());
    }
    int32_t code = w->Result();
    if (code > 1) code = w->FilesFailed() > 0 ? -20 : 0;
    if (output->reportFlag != 0) {
        if (!failed.empty())
            ShowError(NotWrittenText(failed, reasons).c_str());
        else ShowErrorCode(code, output->fileName.c_str());
    }
    return OutputWriteResultCode(code);
}

bool OutputRunWrite(OutputComponent* output, int32_t scope) {
    if (output == nullptr || output->Target() == nullptr || output->ComponentGetOwner() == nullptr ||
        output->format == nullptr || output->fileName.empty())
        return false;
    output->writeScope = scope;
    output->reportFlag = 1;
    PullResult result;
    PullRequest request;
    const int32_t code = output->process != nullptr ? output->process(output, &result, &request) : 0;
    ClearWriting(output);
    RefreshOutputPageIfOpen(output, false);
    OutputPageShowResult(output, code);
    auto* item = static_cast<ProjectItem*>(output->ComponentGetOwner());
    CUI* cui = CUIOfItem(item);
    if (cui != nullptr && cui->currentProject != nullptr && cui->currentProject->currentItem.load() == item)
        RedrawVisibleComponentWindows(output);
    return code > 1;
}

bool OutputWriteFile(OutputComponent* output, ProjectItem* item, const char* name, FormatList* list, int32_t scope) {
    if (output == nullptr) return false;
    bool ok = OutputSetFileName(output, name);
    if (ok && list != nullptr) {
        int32_t index = list->current;
        const FormatDesc* chosen = OutputFormatByIndex(*list, &index);
        list->current = index;
        if (FormatDesc* f = RegisteredFormat(chosen)) OutputSelectFormat(output, f);
    }
    ok = ok && OutputConnectStored(output, item, nullptr);
    const bool written = ok && OutputRunWrite(output, scope);
    if (!written) {
        ClearWriting(output);
        RedrawWindows(output);
    }
    return written;
}

// ---- Save As -------------------------------------------------------------------------------

uint32_t OutputListMask(FormatTag tag) { return OutputKindForObjectTag(tag) & ~4u; }

std::string OutputSaveTitle(uint32_t tag1, uint32_t tag2, int32_t scope, FormatTag formatTag) {
    if (scope < 0 || scope > 3) return "Save As";
    auto is = [&](const uint32_t* pair) { return tag1 == pair[0] && tag2 == pair[1]; };
    std::string stage;
    if (is(kStageInput)) {
        stage = "[Input - format convertor]";
    } else if (is(kStageProcessed)) {
        stage = "[Proccessing]";
    } else if (tag1 == FourCC("FILT") && tag2 == FourCC("PRC1")) {
        stage = "[Filter 1D]";
    } else if (is(kStageBitmap)) {
        stage = "[Screen | Bitmap]";
    } else if (is(kStageReduction)) {
        stage = formatTag == MakeFormatTag("SLISE") ? "[Tools - Slice]" : "[Tools - Statistic]";
    } else {
        stage = "[Data]";
    }
    static const char* const kScopes[4] = {" [All]", " [One frame]", " [All frame, selected section]",
                                           " [One frame, selected section]"};
    return std::string("Save As - ") + stage + kScopes[scope];
}

namespace {

// Whether the format's extension list holds the extension (letter case aside).
bool FormatHasExtension(const FormatDesc* format, const std::string& extension) {
    for (const char* e = format != nullptr ? format->extensions : nullptr; e != nullptr && *e != '\0';
         e += std::strlen(e) + 1)
        if (strcasecmp(e, extension.c_str()) == 0) return true;
    return false;
}

}  // namespace

std::string NameForFormat(const std::string& name, const FormatList* list) {
    if (list == nullptr || list->current < 1 || static_cast<size_t>(list->current) > list->entries.size())
        return name;
    const FormatDesc* format = list->entries[static_cast<size_t>(list->current) - 1];
    const size_t slash = name.rfind('/');
    const size_t dot = name.rfind('.');
    if (format == nullptr || format->extensions == nullptr || *format->extensions == '\0' || dot == std::string::npos ||
        (slash != std::string::npos && dot < slash))
        return name;
    const std::string extension = name.substr(dot + 1);
    if (FormatHasExtension(format, extension)) return name;
    bool another = false;
    for (const FormatDesc* other : list->entries) another = another || FormatHasExtension(other, extension);
    if (!another) return name;
    // Named as another format's file: the file would claim to be what it is not.
    const char* own = FormatHasExtension(format, "fits") ? "fits" : format->extensions;
    return name.substr(0, dot + 1) + own;
}

bool OutputSaveCommand(OutputComponent* output, ProjectItem* item, uint32_t tag1, uint32_t tag2, int32_t scope,
                       FormatTag formatTag) {
    if (output == nullptr || item == nullptr || output->writing != 0) return false;
    FormatRegistry& registry = TheFormatRegistry();
    const uint32_t mask = OutputListMask(formatTag);
    if (!SelectOutputFormatList(registry, 0x4 | mask, 4, false)) scope = 0;
    const bool pairGiven = tag1 != 0 || tag2 != 0;
    bool chooseByTag = false;
    if (pairGiven) {
        OutputSetTarget(output, item, tag1, tag2, false);
        if (output->targetTags[0] == 0 && output->targetTags[1] == 0) chooseByTag = true;
    }
    uint32_t connected[2] = {0, 0};
    if (!OutputConnectStored(output, item, connected)) {
        ClearWriting(output);
        ShowErrorCode(-14, "Save");
        return false;
    }
    output->explicitTarget = pairGiven ? 1 : 0;
    output->writing = 1;
    if (pairGiven && (connected[0] != tag1 || connected[1] != tag2)) {
        ClearWriting(output);
        ShowErrorCode(-1, "Save");
        return false;
    }
    // The name to start with: the output's file, else the item's.
    std::string start = BaseNameOf(!output->fileName.empty() ? output->fileName : item->source.fileName);
    FormatList* list = registry.currentOutput;
    if (list != nullptr) {
        const bool keep = !chooseByTag && list->current == -1 && list->entryCount >= 2;
        // The format chosen on the Output page is the one the dialog starts with: otherwise
        // a format stepped to there would be put back to FITS by every Save.
        int32_t chosenOnPage = 0;
        for (size_t i = 0; i < list->entries.size() && output->format != nullptr && !chooseByTag; ++i)
            if (list->entries[i] == output->format) {
                chosenOnPage = static_cast<int32_t>(i + 1);
                break;
            }
        if (chosenOnPage > 0) {
            list->current = chosenOnPage;
        } else if (!keep) {
            const bool reduction = connected[0] == kStageReduction[0] && connected[1] == kStageReduction[1];
            const FormatTag byTag = reduction ? (formatTag == MakeFormatTag("STATIST") ? MakeFormatTag("STATIST")
                                                                                       : MakeFormatTag("SLISE"))
                                              : MakeFormatTag("FITS");
            FormatListSelectTag(*list, byTag);
        }
        if (list->current < 1 || static_cast<uint32_t>(list->current) > list->entryCount) list->current = 1;
        int32_t index = list->current;
        const FormatDesc* chosen = OutputFormatByIndex(*list, &index);
        list->current = index;
        FormatDesc* f = RegisteredFormat(chosen);
        if (f != nullptr && OutputSelectFormat(output, f)) RefreshOutputPageIfOpen(output, false);
    }
    const std::string title = OutputSaveTitle(connected[0], connected[1], scope, formatTag);
    std::string folder;
    TheApp().GetAppFolderPath(kSaveFolder, &folder);
    // Room beyond a path, so that a name too long for one is refused here, never cut.
    std::vector<char> buffer(kDialogBuffer, '\0');
    std::snprintf(buffer.data(), buffer.size(), "%s", start.c_str());
    int32_t filterIndex = list != nullptr && list->current > 0 ? list->current : 1;
    CUI* cui = CUIOfItem(item);
    gWindow* owner = cui != nullptr ? cui->mainWindow : nullptr;
    const int32_t answer = RunFileDialog(
        owner, nullptr, buffer.data(), buffer.size(), folder.empty() ? nullptr : folder.c_str(), title.c_str(),
        kSaveDialogFlags, list != nullptr && !list->filter.empty() ? list->filter.c_str() : nullptr, nullptr,
        kFileDialogData, &filterIndex, kFileDialogSaveQuiet);
    if (answer == 0) {
        ClearWriting(output);
        return false;
    }
    if (list != nullptr) list->current = filterIndex;
    const std::string chosen(buffer.data());
    if (chosen.size() >= PATH_MAX) {
        ClearWriting(output);
        ShowErrorCode(kErrorLimit, "Save");
        return false;
    }
    const bool written = OutputWriteFile(output, item, NameForFormat(chosen, list).c_str(), list, scope);
    if (!written) ClearWriting(output);
    if (cui != nullptr) {
        const std::string saved = FolderOf(chosen);
        if (!saved.empty()) {
            std::free(cui->preferences.saveFolder);
            cui->preferences.saveFolder = strdup(saved.c_str());
        }
    }
    return written;
}

const char* OutputTargetLabel(uint32_t tag1, uint32_t tag2) {
    auto is = [&](const uint32_t* pair) { return tag1 == pair[0] && tag2 == pair[1]; };
    if (is(kStageInput)) return "Input  [ formats convertor only ]";
    if (is(kStageProcessed)) return "Processed data  [ input->...->filters ]";
    if (is(kStageReduction)) return "Extractor | Statistic [ ...->filters->reduction ]";
    if (is(kStageBitmap)) return "Bitmap [screen device: ...->filters->bitmap]";
    return nullptr;
}

}  // namespace orva
