#include "processing/modules/affine_module.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <initializer_list>
#include <mutex>
#include <new>

#include "common/log.h"
#include "framework/display_lock.h"
#include "processing/modules/affine_panel.h"
#include "processing/modules/builtin_modules.h"
#include "processing/processing_component.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// Below this a product of zoom factors counts as 1 (the setters' rule).
constexpr double kUnscaled = 2.220446049250313e-16;

const AffineMode kModes[4] = {{"Nearest Neighbour", 1}, {"Bilinear", 2}, {"Bicubic", 3}, {"Bicubic [fast]", 4}};

// Counted by the global initialisation (and by the first opening, should that come first).
std::atomic<int32_t> gMethodCount{0};
std::atomic<int32_t> gOpenInstances{0};

int32_t CountMethods() {
    int32_t n = 0;
    while (kAffineMethods[n].name != nullptr) ++n;
    return n;
}

const AffineKernelRow* FindRow(const AffineKernelRow* rows, uint32_t input, uint32_t output, bool anyOutput) {
    if (rows == nullptr) return nullptr;
    for (const AffineKernelRow* r = rows; r->inputType != 0; ++r)
        if (r->inputType == input && (anyOutput || r->outputType == output)) return r;
    return nullptr;
}

const AffineKernelSet* SetFor(const AffineKernelRow* row, uint32_t channels) {
    if (row == nullptr) return nullptr;
    return channels == 1 ? row->oneChannel : channels == 3 ? row->threeChannels : row->anyChannels;
}

bool GroupEmpty(const AffineKernelGroup& g) {
    return g.slots[0] == nullptr && g.slots[1] == nullptr && g.slots[2] == nullptr && g.slots[3] == nullptr;
}

FilterProcessFn FirstOf(std::initializer_list<FilterProcessFn> choices) {
    for (FilterProcessFn f : choices)
        if (f != nullptr) return f;
    return nullptr;
}

bool MethodValid(const AffineModuleState* s) { return s->method >= 0 && s->method < gMethodCount.load(); }

void ComposeScaling(const AffineRecord& f, AffineRecord* e) {
    double x = f.zoomX > 0.0 ? f.zoomX : 1.0;
    double y = f.zoomY > 0.0 ? f.zoomY : 1.0;
    x *= e->zoomX;
    y *= e->zoomY;
    x = x > 0.0 ? x : 1.0;
    y = y > 0.0 ? y : 1.0;
    if (x == e->zoomX && y == e->zoomY) return;
    auto axis = [](double product, double* factor, double* step, uint8_t* scaled) {
        if (std::fabs(product - 1.0) < kUnscaled) {
            *factor = 1.0;
            *step = 1.0;
            *scaled = 0;
        } else {
            *factor = product;
            *step = 1.0 / product;
            *scaled = 1;
        }
    };
    axis(x, &e->zoomX, &e->stepX, &e->scaledX);
    axis(y, &e->zoomY, &e->stepY, &e->scaledY);
    e->scaled = (e->scaledX | e->scaledY) != 0 ? 1 : 0;
}

void ComposeGeometry(const AffineRecord& f, AffineRecord* e) {
    if (e->flipped != 0 || f.flipped != 0) {
        e->flipX ^= f.flipX;
        e->flipY ^= f.flipY;
        e->flipped = (e->flipX | e->flipY) != 0 ? 1 : 0;
    }
    if (f.rotated != 0) {
        // The setter reduces the sum, detects right angles and recomputes the sine and
        // cosine; `geometric` follows from rotation and mirrors.
        AffineRecordSetAngle(e, f.angle + (e->rotated != 0 ? e->angle : 0.0));
    } else {
        e->geometric = (e->rotated | e->flipped) != 0 ? 1 : 0;
    }
}

void CopyGeometry(const AffineRecord& f, AffineRecord* e) {
    e->geometric = f.geometric;
    e->rotated = f.rotated;
    e->rightAngle = f.rightAngle;
    e->flipped = f.flipped;
    e->flipX = f.flipX;
    e->flipY = f.flipY;
    e->angle = f.angle;
    e->cosA = f.cosA;
    e->sinA = f.sinA;
}

FilterModulePackage gAffine{0,
                            {&kGeometryModuleId, nullptr, kFilterModuleFlag | kFilterStaysLast, "affine",
                             "Affine Transformations", nullptr, &AffineModuleOpen, &AffineModuleClose,
                             &AffineModuleAttach}};

}  // namespace

const AffineMethod kAffineMethods[2] = {{"Scale, Rotate, Flipping", 4, kModes, AffineKernelTable}, {}};
const char* const kAffineOrderNames[2] = {"Scale -> Rotate", "Rotate -> Scale"};

FilterModulePackage& AffineModulePackage() { return gAffine; }

// ---- Descriptor functions ------------------------------------------------------------------

bool AffineModuleOpen(FilterCallbacks* callbacks, const FilterModuleDescriptor*) {
    if (callbacks == nullptr) return false;
    auto* state = new (std::nothrow) AffineModuleState;
    if (state == nullptr) {
        LogPrintf("%s", "$can`t init filter local...");
        return false;
    }
    AffineFilterRecordInit(&state->head);
    if (gMethodCount.load() == 0) gMethodCount.store(CountMethods());
    callbacks->process = nullptr;
    callbacks->frameQuery = &AffineQueryFrame;
    callbacks->frameData = &AffineQueryFrameData;
    callbacks->event = &AffineEvent;
    callbacks->negotiate = &AffineNegotiate;
    callbacks->methodName = &AffineMethodName;
    callbacks->pageBuilder = &AffineBuildPanel;
    callbacks->state = state;
    callbacks->stateBytes = sizeof(AffineModuleState);
    AffineSelectMode(state, 0, 0);
    gOpenInstances.fetch_add(1);
    return true;
}

void AffineModuleClose(FilterCallbacks* callbacks) {
    if (callbacks == nullptr || callbacks->state == nullptr) return;
    auto* state = static_cast<AffineModuleState*>(callbacks->state);
    if (state->panel != nullptr) AffinePanelDetach(state->panel);
    delete state;
    callbacks->state = nullptr;
    gOpenInstances.fetch_sub(1);
}

bool AffineModuleAttach(void*, int32_t flag) {
    if (flag == 0 || gOpenInstances.load() != 0) return true;
    gMethodCount.store(CountMethods());
    return gMethodCount.load() > 0;
}

// ---- Callbacks -----------------------------------------------------------------------------

void* AffineQueryFrame(FilterInstance* instance) {
    // The upstream's description holds the data set's frame count and layout; the
    // size of a transformed frame is told by the frame data below.
    return instance != nullptr ? ChainFirstQuery(&instance->block) : nullptr;
}

FrameDataRecord* AffineQueryFrameData(FilterInstance* instance, int32_t frame, int32_t section) {
    if (instance == nullptr) return nullptr;
    FrameDataRecord* upstream = ChainFirstCall(&instance->block, frame, section);
    if (upstream == nullptr) return nullptr;
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr || gMethodCount.load() <= 0 || !AffineFrameSizeUsable(upstream)) return upstream;
    AffineRecord& r = s->head.record;
    const AffineSize input{upstream->width, upstream->height};
    if (r.rotated == 0 && r.scaled == 0) {
        AffineRecordCentre(&r, input);
        return upstream;
    }
    AffineDataDescription& d = s->data;
    AffineSize output;
    AffineRecordFitFrame(&r, &output, input);
    d.frame = upstream->frame;
    d.section = upstream->section;
    d.width = output.width;
    d.height = output.height;
    // Half the difference, rounded toward minus infinity: the output stays centred.
    d.originX = (input.width - output.width) >> 1;
    d.originY = (input.height - output.height) >> 1;
    // The generic record carries neither the upstream's range nor its flag: the range
    // is not known, and the frame may hold samples without data (the corners of a
    // turned frame, the margin of a scaled one, or what the input had).
    d.minimum = DBL_MAX;
    d.maximum = -DBL_MAX;
    d.described = 1;
    d.invalid = 1;
    return &d;
}

bool AffineEvent(FilterInstance* instance, void* event) {
    AffineModuleState* s = AffineStateOf(instance);
    auto* e = static_cast<AffineRecord*>(event);
    if (s == nullptr || e == nullptr) return false;
    const AffineRecord& f = s->head.record;
    if (f.active == 0) return false;
    if (e->active == 0 || (e->scaled == 0 && e->geometric == 0)) {
        *e = f;
        return true;
    }
    if (e->geometric != 0 && e->scaled == 0) {
        e->linked = f.linked;
        e->scaled = f.scaled;
        e->scaledX = f.scaledX;
        e->scaledY = f.scaledY;
        e->zoomX = f.zoomX;
        e->zoomY = f.zoomY;
        e->stepX = f.stepX;
        e->stepY = f.stepY;
    } else if (e->scaled != 0) {
        ComposeScaling(f, e);
    }
    if (e->geometric != 0) ComposeGeometry(f, e);
    else CopyGeometry(f, e);
    e->active = (e->geometric | e->scaled) != 0 ? 1 : 0;
    if (e->active == 0) e->order = 0;
    else if (e->order == 0) e->order = f.order;
    return true;
}

int32_t AffineNegotiate(FilterInstance* instance, const FormatRequest* input, FormatRequest* request,
                        FormatRequest* output) {
    if (input == nullptr || request == nullptr || output == nullptr) return -1;
    if (input->tag != 0 && input->tag != kFormatTagDmap) return -1;
    AffineModuleState* s = AffineStateOf(instance);
    const int32_t count = gMethodCount.load();
    if (count <= 0 || s == nullptr || s->method < 0) return -1;
    if (s->method >= count) {
        AffineSelectMode(s, s->method, s->filterIndex);
        if (!MethodValid(s)) return -1;
    }
    output->tag = kFormatTagDmap;
    output->extra = input->extra;

    const AffineMethod& method = kAffineMethods[s->method];
    uint32_t type = input->format & 0x17F;
    bool conversion = false;
    if ((type & 0x7F) == 0) {
        type = 0x40;
        conversion = true;
    }
    const AffineKernelRow* row = FindRow(method.kernels, type, 0, true);
    if (row == nullptr) {
        if ((type & 0x40) != 0) return -1;
        const bool narrow = (type & 0x03) != 0;
        const uint32_t original = type;
        type = narrow ? 0x10 : 0x40;
        conversion = true;
        row = FindRow(method.kernels, type, 0, true);
        if (row == nullptr && narrow) {
            type = (original & 0x02) != 0 ? 0x08 : 0x02;
            row = FindRow(method.kernels, type, 0, true);
        }
        if (row == nullptr) return -1;
    }
    const AffineKernelRow* fallbackRow =
        s->method == 0 ? row : FindRow(kAffineMethods[0].kernels, row->inputType, row->outputType, false);
    const AffineKernelSet* set = SetFor(row, input->channels);
    if (set == nullptr) return -1;
    s->set = set;
    s->fallback = SetFor(fallbackRow, input->channels);
    AffineApplyKernel(instance);

    output->format = NormalizeFormatWord(row->outputType);
    output->element = FormatElementSize(output->format);
    output->channels = input->channels;
    if (!conversion && input->dims < 3) {
        output->dims = input->dims;
        return 1;
    }
    output->dims = std::min<uint32_t>(input->dims, 2);
    request->format = output->format;
    request->element = output->element;
    request->channels = output->channels;
    request->dims = output->dims;
    if (conversion) {
        request->format = NormalizeFormatWord(type);
        request->element = FormatElementSize(request->format);
    }
    return 0;
}

const char* AffineMethodName(FilterInstance* instance) {
    const AffineModuleState* s = AffineStateOf(instance);
    return s != nullptr && MethodValid(s) ? kAffineMethods[s->method].name : nullptr;
}

// ---- Modes and the kernel choice ------------------------------------------------------------

bool AffineSelectMode(AffineModuleState* s, int32_t method, int32_t filterIndex) {
    const int32_t count = gMethodCount.load();
    if (s == nullptr || count <= 0) return false;
    int32_t m = method >= 0 ? method : (s->method >= 0 ? s->method : 0);
    if (m >= count) m = count - 1;
    auto usable = [](const AffineMethod& a) { return a.modeCount > 0 && a.kernels != nullptr; };
    if (!usable(kAffineMethods[m])) {
        m = 0;
        if (!usable(kAffineMethods[0])) {
            s->method = -1;
            return true;
        }
    }
    const int32_t interpolating = kAffineMethods[m].modeCount - 1;
    s->interpolatingModes = interpolating;
    int32_t f = filterIndex;
    if (f < 0 || f >= interpolating) {
        f = s->filterIndex;
        if (f < 0 || f >= interpolating) f = interpolating - 1;
    }
    const bool changed = m != s->method || f != s->filterIndex;
    s->method = m;
    s->filterIndex = f;
    return changed;
}

FilterProcessFn AffineCurrentKernel(AffineModuleState* s) {
    if (s == nullptr) return nullptr;
    const AffineRecord& r = s->head.record;
    if (r.active == 0 || s->set == nullptr || !MethodValid(s)) return nullptr;
    const AffineKernelSet& set = *s->set;
    const AffineKernelGroup* chosen = &set.modes[0];
    if ((s->head.flags & kAffineFilterOn) != 0) {
        const int32_t last = std::max(0, std::min(s->interpolatingModes, 3) - 1);
        s->filterIndex = std::clamp(s->filterIndex, 0, last);
        chosen = &set.modes[s->filterIndex + 1];
    }
    const AffineKernelGroup* nearest = &set.modes[0];
    if (GroupEmpty(*nearest) && s->fallback != nullptr) nearest = &s->fallback->modes[0];
    const FilterProcessFn general = chosen->slots[0];
    if (r.rotated != 0 && r.scaled != 0) return general;
    if (r.rotated != 0) {
        const AffineKernelGroup* g = r.rightAngle != 0 ? nearest : chosen;
        return FirstOf({g->slots[1], g->slots[0], general});
    }
    if (r.scaled != 0) return FirstOf({chosen->slots[2], general});
    if (r.flipped != 0) return FirstOf({chosen->slots[3], nearest->slots[3], nearest->slots[0], general});
    return nullptr;
}

void AffineApplyKernel(FilterInstance* instance) {
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr) return;
    Hold hold(DisplayLock());
    const FilterProcessFn kernel = AffineCurrentKernel(s);
    instance->callbacks.process = kernel;
    const uint8_t wasSkipped = instance->skip;
    if (kernel != nullptr && FilterInstanceRuns(instance)) {
        instance->skip = 0;
    } else {
        instance->skip = 1;
        if (wasSkipped == 0) ChainClearDone(instance);
    }
}

namespace {

// Steps an index within 0 .. count - 1 without wrapping; an index out of range
// steps to 0. False when nothing is left in that direction.
bool Step(int32_t current, int32_t count, int32_t by, int32_t* next) {
    if (count <= 0) return false;
    const int32_t target = current < 0 || current >= count ? 0 : current + by;
    if (target < 0 || target >= count) return false;
    *next = target;
    return true;
}

bool StepMethod(FilterInstance* instance, int32_t by) {
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr) return false;
    Hold hold(DisplayLock());
    int32_t next;
    if (!Step(s->method, gMethodCount.load(), by, &next)) return false;
    AffineSelectMode(s, next, s->filterIndex);
    AffineApplyKernel(instance);
    return true;
}

bool StepFilter(FilterInstance* instance, int32_t by) {
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr || !MethodValid(s)) return false;
    Hold hold(DisplayLock());
    int32_t next;
    if (!Step(s->filterIndex, s->interpolatingModes, by, &next)) return false;
    AffineSelectMode(s, s->method, next);
    AffineApplyKernel(instance);
    return true;
}

}  // namespace

bool AffineNextMethod(FilterInstance* instance) { return StepMethod(instance, 1); }
bool AffinePreviousMethod(FilterInstance* instance) { return StepMethod(instance, -1); }
bool AffineNextFilter(FilterInstance* instance) { return StepFilter(instance, 1); }
bool AffinePreviousFilter(FilterInstance* instance) { return StepFilter(instance, -1); }

bool AffineSetFilter(FilterInstance* instance, bool on) {
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr) return false;
    Hold hold(DisplayLock());
    if (((s->head.flags & kAffineFilterOn) != 0) == on) return false;
    s->head.flags = on ? (s->head.flags | kAffineFilterOn) : (s->head.flags & ~kAffineFilterOn);
    AffineApplyKernel(instance);
    return true;
}

const char* AffineModeName(FilterInstance* instance) {
    const AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr || !MethodValid(s)) return nullptr;
    const AffineMethod& m = kAffineMethods[s->method];
    if (s->filterIndex < 0 || s->filterIndex + 1 >= m.modeCount) return nullptr;
    return m.modes[s->filterIndex + 1].label;
}

void AffineNotifyChange(FilterInstance* instance, bool flag) {
    AffineModuleState* s = AffineStateOf(instance);
    if (s == nullptr) return;
    Hold hold(DisplayLock());
    const bool ran = instance->skip == 0;
    AffineApplyKernel(instance);
    const ProcessingComponent* host = instance->host;
    if ((ran || s->head.record.active != 0) && host != nullptr && host->owner != nullptr && instance->bypass == 0)
        ChainNotifyHost(instance->chain, instance, flag);
}

namespace {

void NotifyWhen(FilterInstance* instance, bool when) {
    const ProcessingComponent* host = instance->host;
    if (when && host != nullptr && host->owner != nullptr && instance->skip == 0)
        ChainNotifyHost(instance->chain, instance, true);
}

}  // namespace

void AffineNotifyIfActive(FilterInstance* instance) {
    const AffineModuleState* s = AffineStateOf(instance);
    if (s != nullptr) NotifyWhen(instance, s->head.record.active != 0);
}

void AffineNotifyIfTransforms(FilterInstance* instance) {
    const AffineModuleState* s = AffineStateOf(instance);
    if (s != nullptr) NotifyWhen(instance, s->head.record.rotated != 0 || s->head.record.scaled != 0);
}

}  // namespace orva
