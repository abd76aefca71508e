// The convolution module: its presets and kernel table, the descriptor functions,
// the format negotiation, the choice of the kernel for the current preset, the
// preset cursor, and the process entry that pulls the widened block and runs the
// kernel over it.
#include "processing/modules/convolver_module.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <new>

#include "common/aligned_memory.h"
#include "common/log.h"
#include "processing/modules/builtin_modules.h"
#include "common/numeric.h"

namespace orva {

namespace {

// ---- Presets ------------------------------------------------------------------------------

// Coefficients row by row, top row first.
constexpr int32_t kContrastStarPlusSoft[9] = {1, -2, 1, -2, 8, -2, 1, -2, 1};
constexpr int32_t kContrastPlusSoft[9] = {-1, 1, -1, 1, 5, 1, -1, 1, -1};
constexpr int32_t kContrastStarSoft[9] = {-1, -1, -1, -1, 18, -1, -1, -1, -1};
constexpr int32_t kContrast2PlusSoft[9] = {0, -1, 0, -1, 7, -1, 0, -1, 0};
constexpr int32_t kContrast2X[9] = {-1, 0, -1, 0, 7, 0, -1, 0, -1};
constexpr int32_t kContrast1Plus[9] = {0, -1, 0, -1, 5, -1, 0, -1, 0};
constexpr int32_t kContrast1X[9] = {-1, 0, -1, 0, 5, 0, -1, 0, -1};
constexpr int32_t kContrast[9] = {-1, -1, -1, -1, 9, -1, -1, -1, -1};
constexpr int32_t kContrastVertical[9] = {0, 0, 0, -1, 4, -1, 0, 0, 0};
constexpr int32_t kContrastHorizontal[9] = {0, -1, 0, 0, 4, 0, 0, -1, 0};

constexpr double kGaussian[9] = {0.0927229, 0.119059, 0.0927229, 0.119059, 0.152874,
                                 0.119059,  0.0927229, 0.119059, 0.0927229};
constexpr int32_t kBlur[9] = {1, 1, 1, 1, 2, 1, 1, 1, 1};
constexpr int32_t kBlur3[9] = {1, 1, 1, 1, 3, 1, 1, 1, 1};
constexpr int32_t kBlurPlus[9] = {0, 1, 0, 1, 1, 1, 0, 1, 0};
constexpr int32_t kBlur2Plus[9] = {0, 1, 0, 1, 2, 1, 0, 1, 0};
constexpr int32_t kBlur3Plus[9] = {0, 1, 0, 1, 3, 1, 0, 1, 0};
constexpr int32_t kBlur3Of2Plus[9] = {1, 2, 1, 2, 3, 2, 1, 2, 1};
constexpr int32_t kBlur4Of2Plus[9] = {1, 2, 1, 2, 4, 2, 1, 2, 1};

constexpr int32_t kEdge[9] = {1, -1, 1, -1, 0, -1, 1, -1, 1};
constexpr int32_t kEdgeMinus[9] = {1, 0, 1, 0, -4, 0, 1, 0, 1};
constexpr int32_t kEdgeMinus8[9] = {1, 1, 1, 1, -8, 1, 1, 1, 1};
constexpr int32_t kEmbos[9] = {-1, 1, -1, 1, 0, 1, -1, 1, -1};
constexpr int32_t kEmbosPlus[9] = {0, -1, 0, -1, 4, -1, 0, -1, 0};
constexpr int32_t kEmbosMinus[9] = {-1, 0, -1, 0, 4, 0, -1, 0, -1};
constexpr int32_t kOil[9] = {-1, 0, -1, 0, 2, 0, -1, 0, -1};
constexpr int32_t kOil2[9] = {-1, 0, -1, 0, 3, 0, -1, 0, -1};

constexpr ConvolverPreset Ints(const char* name, const int32_t* c) { return {name, c, nullptr, nullptr, 0.0}; }

constexpr ConvolverPreset kContrastPresets[] = {
    Ints("Contrast *+ [soft]", kContrastStarPlusSoft), Ints("Contrast + [soft]", kContrastPlusSoft),
    Ints("Contrast * [soft]", kContrastStarSoft),      Ints("Contrast 2+ [soft]", kContrast2PlusSoft),
    Ints("Contrast 2X", kContrast2X),                  Ints("Contrast 1+", kContrast1Plus),
    Ints("Contrast 1X", kContrast1X),                  Ints("Contrast", kContrast),
    Ints("Contrast [vertical]", kContrastVertical),    Ints("Contrast [horizontal]", kContrastHorizontal),
};
constexpr ConvolverPreset kSmoothingPresets[] = {
    {"Gaussian", nullptr, kGaussian, nullptr, 0.0},
    {"Blur | Mean", nullptr, nullptr, nullptr, 0.0},
    Ints("Blur", kBlur),
    Ints("Blur 3", kBlur3),
    Ints("Blur +", kBlurPlus),
    Ints("Blur 2 +", kBlur2Plus),
    Ints("Blur 3 +", kBlur3Plus),
    Ints("Blur 3 | 2 +", kBlur3Of2Plus),
    Ints("Blur 4 | 2 +", kBlur4Of2Plus),
};
constexpr ConvolverPreset kEdgePresets[] = {
    Ints("Edge", kEdge),        Ints("Edge -", kEdgeMinus),   Ints("Edge -8", kEdgeMinus8),
    Ints("Embos", kEmbos),      Ints("Embos +", kEmbosPlus),  Ints("Embos -", kEmbosMinus),
    Ints("Oil", kOil),          Ints("Oil 2", kOil2),
};

template <size_t N>
constexpr ConvolverPresetGroup Group(const char* name, const ConvolverPreset (&presets)[N]) {
    return {name, static_cast<int32_t>(N), presets};
}
constexpr ConvolverPresetGroup kGroups[] = {
    Group("Contrast", kContrastPresets),
    Group("Smoothing", kSmoothingPresets),
    Group("Edge Detect", kEdgePresets),
};
constexpr ConvolverPresetSet kBuiltinSet{3, 3, kGroups};

// ---- Kernel table -----------------------------------------------------------------------

constexpr ConvolverKernelTable MakeTable() {
    ConvolverKernelTable t{};
    t.name = "Convolver";
    t.process = &ConvolverProcess;
    t.pairs[0][0][kConvolverMean] = {&ConvolverMeanC1, &ConvolverMeanBlankC1};
    t.pairs[0][0][kConvolverWeighted] = {&ConvolverWeightedC1, &ConvolverWeightedBlankC1};
    t.pairs[1][0][kConvolverMean] = {&ConvolverMeanC3, &ConvolverMeanBlankC3};
    t.pairs[1][0][kConvolverWeighted] = {&ConvolverWeightedC3, &ConvolverWeightedBlankC3};
    return t;
}
constexpr ConvolverKernelTable kTable = MakeTable();

// ---- Descriptor -------------------------------------------------------------------------

// {ED313271-177D-4504-BBED-137364D09F01}, the first three fields little-endian.
constexpr uint8_t kGuid[16] = {0x71, 0x32, 0x31, 0xED, 0x7D, 0x17, 0x04, 0x45,
                               0xBB, 0xED, 0x13, 0x73, 0x64, 0xD0, 0x9F, 0x01};

const FilterModuleDescriptor kDescriptor{&kConvolutionModuleId, kGuid,
                                         kFilterModuleFlag,     "convl",
                                         "Convolver",           nullptr,
                                         &ConvolverModuleOpen,  &ConvolverModuleClose,
                                         &ConvolverModuleAttach};

std::atomic<int32_t> gOpen{0};
std::atomic<int32_t> gTables{0};
std::atomic<bool> gFailAllocation{false};

// Twice the smallest normal double: sums below it count as zero.
constexpr double kZeroSum = 4.450147717014403e-308;

int32_t CountTables() {
    int32_t n = 0;
    while (kConvolverTables[n] != nullptr) ++n;
    return n;
}

// The cursor held within the set (a set changed under it starts over).
void HoldCursor(ConvolverState* s, const ConvolverPresetSet& set) {
    if (s->currentGroup < 0 || s->currentGroup >= set.groupCount) {
        s->currentGroup = 0;
        s->currentPreset = 0;
    }
    if (set.groupCount <= 0) return;
    const ConvolverPresetGroup& g = set.groups[s->currentGroup];
    if (s->currentPreset < 0 || s->currentPreset >= g.count) s->currentPreset = 0;
}

const ConvolverPreset* CursorPreset(const ConvolverState* s, const ConvolverPresetSet& set) {
    if (set.groupCount <= 0 || s->currentGroup < 0 || s->currentGroup >= set.groupCount) return nullptr;
    const ConvolverPresetGroup& g = set.groups[s->currentGroup];
    if (s->currentPreset < 0 || s->currentPreset >= g.count) return nullptr;
    return &g.presets[s->currentPreset];
}

int32_t SizeIndex(int32_t n) {
    switch (n) {
        case 3: return 0;
        case 5: return 1;
        case 7: return 2;
        case 9: return 3;
        default: return 4;
    }
}

// Holds the request so that its block widened by `half` on every side stays within
// the chain's budget: the chain then never cuts the widened block short inside the
// frame, and a delivered block that ends early ends at the frame's edge.
void FitWidened(ReadWindow* w, int64_t half) {
    const int64_t budget = kChainBlockBudget;
    const int64_t rows = 2 * half + 1;  // the fewest rows a widened block has
    const int64_t width = static_cast<int64_t>(w->width) + 2 * half;
    const int64_t height = static_cast<int64_t>(w->height) + 2 * half;
    if (width * height <= budget) return;
    if (width * rows <= budget) {
        w->height = CountToInt32(budget / width - 2 * half);
    } else {
        w->width = CountToInt32(budget / rows - 2 * half);
        w->height = 1;
    }
}

}  // namespace

constinit const ConvolverKernelTable* const kConvolverTables[] = {&kTable, nullptr};

const ConvolverPresetSet& ConvolverBuiltinPresets() { return kBuiltinSet; }

const FilterModuleDescriptor& ConvolverModuleDescriptor() { return kDescriptor; }

// ---- Descriptor functions ---------------------------------------------------------------

bool ConvolverModuleAttach(void*, int32_t flag) {
    if (flag == 0 || gOpen.load() > 0) return true;
    gOpen.store(0);
    gTables.store(CountTables());
    return gTables.load() > 0;
}

bool ConvolverModuleOpen(FilterCallbacks* callbacks, const FilterModuleDescriptor*) {
    if (callbacks == nullptr) return false;
    void* block = gFailAllocation.load() ? nullptr : AlignedAlloc(sizeof(ConvolverState), 32);
    if (block == nullptr) {
        LogPrintf("%s", "$filter convolver: can`t alloc memory...");
        return false;
    }
    auto* state = new (block) ConvolverState{};
    callbacks->process = nullptr;  // until a negotiation chooses the kernel
    callbacks->frameQuery = nullptr;
    callbacks->frameData = nullptr;
    callbacks->event = nullptr;
    callbacks->negotiate = &ConvolverNegotiate;
    callbacks->methodName = &ConvolverMethodName;
    callbacks->pageBuilder = &ConvolverBuildPanel;
    callbacks->state = state;
    callbacks->stateBytes = sizeof(ConvolverState);
    gOpen.fetch_add(1);
    return true;
}

void ConvolverModuleClose(FilterCallbacks* callbacks) {
    if (callbacks == nullptr) return;
    if (auto* state = static_cast<ConvolverState*>(callbacks->state)) {
        if (state->panel != nullptr) ConvolverPanelDetach(state->panel);
        state->~ConvolverState();
        AlignedFree(state);
        gOpen.fetch_sub(1);
    }
    callbacks->state = nullptr;
}

int32_t ConvolverOpenCount() { return gOpen.load(); }
int32_t ConvolverTableCount() { return gTables.load(); }
void ConvolverFailStateAllocationForTest(bool on) { gFailAllocation.store(on); }

// ---- Callbacks ------------------------------------------------------------------------

const char* ConvolverMethodName(FilterInstance* instance) {
    const ConvolverState* s = ConvolverStateOf(instance);
    return s != nullptr && s->table != nullptr ? s->table->name : nullptr;
}

int32_t ConvolverNegotiate(FilterInstance* instance, const FormatRequest* input, FormatRequest* request,
                           FormatRequest* output) {
    if (input == nullptr || request == nullptr || output == nullptr) return -1;
    if (input->tag != 0 && input->tag != kFormatTagDmap) return -1;
    output->format = 0x40;
    output->element = 8;
    output->channels = input->channels;
    output->tag = kFormatTagDmap;
    output->extra = input->extra;
    ConvolverState* state = ConvolverStateOf(instance);
    if (state != nullptr) state->channels = static_cast<int32_t>(input->channels);
    if (input->dims < 3 && (input->format & 0x40) != 0 && state != nullptr) {
        output->dims = input->dims;
        ConvolverApply(instance, state, 0, 3);
        return 1;
    }
    output->dims = std::min<uint32_t>(input->dims, 2);
    request->format = output->format;
    request->element = output->element;
    request->channels = output->channels;
    request->dims = output->dims;
    return 0;
}

// ---- Preparation ------------------------------------------------------------------------

const ConvolverPreset* ConvolverCurrentPreset(const ConvolverState* state) {
    if (state == nullptr) return nullptr;
    return CursorPreset(state, state->presetSet != nullptr ? *state->presetSet : kBuiltinSet);
}

int32_t ConvolverPrepare(ConvolverState* s, const ConvolverKernelTable* table, int32_t size) {
    if (s == nullptr) return kConvolverNoPair;
    const ConvolverPresetSet* set = s->presetSet != nullptr ? s->presetSet : &kBuiltinSet;
    int32_t n = size;
    if (size < 4) n = set->size;
    else set = &kBuiltinSet;
    HoldCursor(s, *set);
    const ConvolverPreset* preset = CursorPreset(s, *set);
    if (table == nullptr) table = s->table != nullptr ? s->table : kConvolverTables[0];
    if (table == nullptr || preset == nullptr) return kConvolverNoPair;

    const int layout = s->channels == 1 ? 0 : (s->channels == 3 ? 1 : 2);
    const bool weighted = preset->integers != nullptr || preset->reals != nullptr;
    const ConvolverKernelPair& pair = table->pairs[layout][SizeIndex(n)][weighted ? kConvolverWeighted : kConvolverMean];
    if (pair.plain == nullptr || pair.blank == nullptr) return kConvolverNoPair;

    if (!weighted) {
        s->zeroSum = 0;
    } else {
        if (n < 1 || n > kConvolverMaxSize) return kConvolverNoMemory;
        const int cells = n * n;
        auto coefficient = [&](int i) {
            return preset->integers != nullptr ? static_cast<double>(preset->integers[i]) : preset->reals[i];
        };
        double sum = 0.0;
        for (int i = 0; i < cells; ++i) sum += coefficient(i);
        const double automatic = std::fabs(sum) < kZeroSum ? 0.0 : 1.0 / sum;
        const double factor = preset->factor != 0.0 ? preset->factor : (automatic != 0.0 ? automatic : 1.0);
        for (int i = 0; i < cells; ++i) s->matrix[i] = factor == 1.0 ? coefficient(i) : coefficient(i) * factor;
        s->zeroSum = automatic == 0.0 ? 1 : 0;
    }

    if (pair.plain == s->plain && pair.blank == s->blank && table == s->table && set == s->presetSet &&
        preset == s->preset && n == s->size)
        return kConvolverUnchanged;
    s->plain = pair.plain;
    s->blank = pair.blank;
    s->table = table;
    s->presetSet = set;
    s->preset = preset;
    s->size = n;
    return kConvolverChanged;
}

int32_t ConvolverSelectTable(ConvolverState* state, int32_t index, int32_t size) {
    const int32_t count = CountTables();
    if (count == 0) return kConvolverNoPair;
    index = std::clamp(index, 0, count - 1);
    const int32_t result = ConvolverPrepare(state, kConvolverTables[index], size);
    if (result >= 0 && state != nullptr) state->tableIndex = index;
    return result;
}

bool ConvolverApply(FilterInstance* instance, ConvolverState* state, int32_t index, int32_t size) {
    if (instance == nullptr) return false;
    const int32_t result = ConvolverSelectTable(state, index, size);
    // A layout without kernels: the kernel of the earlier layout must not run over
    // the new one, so the instance stops running and the frames pass unfiltered.
    const FilterProcessFn process = result < 0 ? nullptr : state->table->process;
    if (process == instance->callbacks.process) return result == kConvolverChanged;
    instance->callbacks.process = process;
    if (process != nullptr && instance->off == 0 && instance->bypass == 0 && instance->error == 0) {
        instance->skip = 0;
    } else {
        const bool wasRunning = instance->skip == 0;
        instance->skip = 1;
        if (wasRunning) ChainClearDone(instance);
    }
    return result >= 0;
}

bool ConvolverNextPreset(ConvolverState* s) {
    if (s == nullptr || s->table == nullptr || s->presetSet == nullptr) return false;
    const ConvolverPresetSet& set = *s->presetSet;
    HoldCursor(s, set);
    if (set.groupCount <= 0) return false;
    if (s->currentPreset + 1 < set.groups[s->currentGroup].count) {
        ++s->currentPreset;
    } else if (s->currentGroup + 1 < set.groupCount) {
        ++s->currentGroup;
        s->currentPreset = 0;
    } else {
        return false;
    }
    return ConvolverPrepare(s, nullptr, -1) == kConvolverChanged;
}

bool ConvolverPrevPreset(ConvolverState* s) {
    if (s == nullptr || s->table == nullptr || s->presetSet == nullptr) return false;
    const ConvolverPresetSet& set = *s->presetSet;
    HoldCursor(s, set);
    if (set.groupCount <= 0) return false;
    if (s->currentPreset > 0) {
        --s->currentPreset;
    } else if (s->currentGroup > 0 && set.groups[s->currentGroup - 1].count > 0) {
        --s->currentGroup;
        s->currentPreset = set.groups[s->currentGroup].count - 1;
    } else {
        return false;
    }
    return ConvolverPrepare(s, nullptr, -1) == kConvolverChanged;
}

// ---- Processing -------------------------------------------------------------------------

int32_t ConvolverProcess(PullResult* own, PullResult* out, const PullRequest* request) {
    FilterInstance* instance = FilterInstanceOf(own);
    const ConvolverState* state = ConvolverStateOf(instance);
    if (state == nullptr || out == nullptr || state->plain == nullptr || state->blank == nullptr) return -4;
    const uint32_t channels = state->channels == 3 ? 3u : 1u;
    ReadWindow want = out->window;
    if (want.width <= 0 || want.height <= 0 || want.x < 0 || want.y < 0) return -1;
    const int64_t half = state->size / 2;
    FitWidened(&want, half);

    // The widened block, origins held at 0.
    ReadWindow& w = own->window;
    w.x = std::max<int64_t>(want.x - half, 0);
    w.y = std::max<int64_t>(want.y - half, 0);
    w.width = CountToInt32(want.x + want.width + half - w.x);
    w.height = CountToInt32(want.y + want.height + half - w.y);
    if (!ProcessChainBlock(own, request)) return -2;

    const TypedFrameBuffer& in = own->image;
    if (in.data == nullptr || (in.elementType & 0x40) == 0 || in.elementsPerItem != channels ||
        in.itemBytes != 8 * channels || in.rowBytes % 8 != 0 || in.rowBytes < uint64_t{in.itemBytes} * in.width)
        return -2;
    // The delivered data must hold the request's origin with its upper and left
    // neighbours; it may end early at the frame's right and bottom edges.
    const int64_t x1 = in.windowX + in.width, y1 = in.windowY + in.height;
    if (in.windowX > w.x || in.windowY > w.y || x1 <= want.x || y1 <= want.y) return -1;
    const int32_t width = CountToInt32(std::min<int64_t>(want.x + want.width, x1) - want.x);
    const int32_t height = CountToInt32(std::min<int64_t>(want.y + want.height, y1) - want.y);

    TypedFrameBuffer& image = out->image;
    image.SetTypeAndCount(0x40, channels);
    if (!image.AllocImageBuffer(static_cast<uint32_t>(width), static_cast<uint32_t>(height))) {
        out->pending = 0;
        return -7;
    }
    image.windowX = want.x;
    image.windowY = want.y;
    out->window.width = width;
    out->window.height = height;

    ConvolverBlock block;
    block.input = static_cast<const double*>(in.data);
    block.inputStride = static_cast<size_t>(in.rowBytes / 8);
    block.inputWidth = static_cast<int32_t>(in.width);
    block.inputHeight = static_cast<int32_t>(in.height);
    block.originX = static_cast<int32_t>(want.x - in.windowX);
    block.originY = static_cast<int32_t>(want.y - in.windowY);
    block.output = static_cast<double*>(image.data);
    block.outputStride = static_cast<size_t>(width) * channels;
    block.width = width;
    block.height = height;
    // A source marks the blocks that may hold its missing samples, but a float file's
    // NaN samples arrive unmarked: without the blank variant each would spread to its
    // whole neighbourhood.
    const bool blanks = in.state != 0 || ConvolverInputHoldsNaN(block.input, block.inputStride,
                                                                static_cast<size_t>(in.width) * channels,
                                                                static_cast<size_t>(in.height));
    const ConvolverKernelFn kernel = blanks ? state->blank : state->plain;
    const int32_t result = kernel(state, &block);
    if (result < 0) {
        out->pending = 0;
        return result;
    }
    // Samples without data stay where the input had them.
    image.state = blanks ? std::max<uint8_t>(in.state, 1) : in.state;
    return result;
}

}  // namespace orva
