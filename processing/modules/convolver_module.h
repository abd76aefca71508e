#pragma once
// The built-in convolution filter module ("convl", "Convolver"): it filters each
// frame of one or three channels of 64-bit reals with a 3 x 3 kernel chosen from
// named presets in three groups ("Contrast", "Smoothing", "Edge Detect"), either
// the mean of the neighbourhood or a weighted sum with the preset's coefficients
// normalised to sum 1 (a kernel summing to zero is used as it is). Its settings
// page shows the preset with its coefficients and steps through the presets.
//
// Each instance keeps its own preset cursor: stepping presets in one chain never
// changes the filter of another. The presets themselves are constant data.
#include <cstddef>
#include <cstdint>

#include "processing/filter_chain.h"
#include "processing/modules/convolver_kernels.h"

namespace orva {

// ---- Presets ------------------------------------------------------------------------------

// A named kernel: integer or real coefficients (size x size, row by row, top row
// first), or none for the mean filter; the factor 0 means automatic normalisation.
struct ConvolverPreset {
    const char* name = nullptr;
    const int32_t* integers = nullptr;
    const double* reals = nullptr;
    const void* reserved = nullptr;
    double factor = 0.0;
};

struct ConvolverPresetGroup {
    const char* name = nullptr;
    int32_t count = 0;
    const ConvolverPreset* presets = nullptr;
};

struct ConvolverPresetSet {
    int32_t size = 3;
    int32_t groupCount = 0;
    const ConvolverPresetGroup* groups = nullptr;
};

// The built-in set: 3 x 3 kernels in "Contrast" (10), "Smoothing" (9) and
// "Edge Detect" (8).
const ConvolverPresetSet& ConvolverBuiltinPresets();

// ---- Kernel tables ----------------------------------------------------------------------

struct ConvolverKernelPair {
    ConvolverKernelFn plain = nullptr;   // for blocks without samples without data
    ConvolverKernelFn blank = nullptr;   // for blocks that may hold them
};

// Indexes of a table's pairs.
constexpr int kConvolverLayouts = 3;  // one channel, three channels, any other count
constexpr int kConvolverSizes = 5;    // 3, 5, 7, 9, any other size
constexpr int kConvolverKinds = 2;    // mean, weighted
constexpr int kConvolverMean = 0;
constexpr int kConvolverWeighted = 1;

struct ConvolverKernelTable {
    const char* name = nullptr;
    FilterProcessFn process = nullptr;
    ConvolverKernelPair pairs[kConvolverLayouts][kConvolverSizes][kConvolverKinds];
};

// The null-terminated list of kernel tables (one: "Convolver", with the 3 x 3
// pairs of one and three channels).
extern const ConvolverKernelTable* const kConvolverTables[];

// The largest kernel size the state's matrix holds.
constexpr int32_t kConvolverMaxSize = 3;

// ---- Instance state ---------------------------------------------------------------------

struct ConvolverPanel;

// The private state of an instance (callback entries 9 and 10), zero-filled at
// creation but for the kernel size.
struct ConvolverState {
    uint8_t reserved0[2] = {0, 0};
    uint8_t zeroSum = 0;        // the chosen coefficients add up to (nearly) zero
    uint8_t reserved1 = 0;
    alignas(32) double matrix[kConvolverMaxSize * kConvolverMaxSize] = {};  // normalised, row by row
    ConvolverKernelFn plain = nullptr;
    ConvolverKernelFn blank = nullptr;
    int32_t size = 3;
    const ConvolverPresetSet* presetSet = nullptr;  // the set the prepared preset came from
    const ConvolverPreset* preset = nullptr;        // the prepared preset
    int32_t tableIndex = 0;
    int32_t channels = 0;       // of the negotiated input
    const ConvolverKernelTable* table = nullptr;
    // This instance's preset cursor: indexes of the group in the set and of the
    // preset in the group (zero at creation: the first preset of the first group).
    int32_t currentGroup = 0;
    int32_t currentPreset = 0;
    ConvolverPanel* panel = nullptr;  // the settings page that shows the instance, or null
};

inline ConvolverState* ConvolverStateOf(const FilterInstance* instance) {
    return static_cast<ConvolverState*>(FilterInstanceState(instance));
}

// ---- Descriptor functions ---------------------------------------------------------------

// The module's descriptor, ConvolverModuleDescriptor(): processing/modules/builtin_modules.h.

// Global initialisation: true with the flag clear or instances open; otherwise
// resets the open count and counts the kernel tables, true when there is one.
bool ConvolverModuleAttach(void* reserved, int32_t flag);
// Allocates the state (32-byte aligned, zeroed, size 3) and fills the callback
// table; logs "$filter convolver: can`t alloc memory..." and fails when it cannot.
bool ConvolverModuleOpen(FilterCallbacks* callbacks, const FilterModuleDescriptor* descriptor);
// Frees the state (detaching a settings page that still shows it) and clears entry 9.
void ConvolverModuleClose(FilterCallbacks* callbacks);
// The number of open instances and of kernel tables counted at global initialisation.
int32_t ConvolverOpenCount();
int32_t ConvolverTableCount();

// Test support: the next state allocations fail while `on` is set.
void ConvolverFailStateAllocationForTest(bool on);

// ---- Callbacks and preparation ---------------------------------------------------------

// Entry 7: the kernel table's name ("Convolver"), or nullptr without state or table.
const char* ConvolverMethodName(FilterInstance* instance);
// Entry 4: refuses a tag other than 0 and "DMAP" (-1); produces 64-bit reals
// tagged "DMAP" with the input's channel count; accepts 64-bit reals whose word 3 is
// below 3 (1, after choosing the kernel); asks for 64-bit reals otherwise (0: the
// chain converts nothing, so the instance is skipped).
int32_t ConvolverNegotiate(FilterInstance* instance, const FormatRequest* input, FormatRequest* request,
                           FormatRequest* output);

// Results of ConvolverPrepare.
constexpr int32_t kConvolverNoPair = -2;
constexpr int32_t kConvolverNoMemory = -1;
constexpr int32_t kConvolverUnchanged = 0;
constexpr int32_t kConvolverChanged = 1;

// Chooses the kernel pair of the current preset for the state's channel count from
// the table (else the state's, else the built-in one) and normalises the matrix.
// A size below 4 takes the preset set's size; 4 or more is used with the built-in set.
int32_t ConvolverPrepare(ConvolverState* state, const ConvolverKernelTable* table, int32_t size);
// -2 without tables; prepares with the table at `index` (clamped) and stores the
// index unless the result is negative.
int32_t ConvolverSelectTable(ConvolverState* state, int32_t index, int32_t size);
// Selects the table and installs its process function as the instance's entry 0.
// A failed preparation clears entry 0, skips the instance and clears the done
// flags from it, so that the frames pass unfiltered (false). True when entry 0
// changed, else whether the preparation changed anything.
bool ConvolverApply(FilterInstance* instance, ConvolverState* state, int32_t index, int32_t size);
// Step this instance's preset cursor and prepare; true when the kernel changed.
// Both need a prepared state; false at either end of the presets.
bool ConvolverNextPreset(ConvolverState* state);
bool ConvolverPrevPreset(ConvolverState* state);
// The preset the cursor names in the state's set (the built-in set before the
// first preparation), or nullptr.
const ConvolverPreset* ConvolverCurrentPreset(const ConvolverState* state);

// Entry 0 of a prepared instance: pulls the requested block widened by one pixel
// on each side (origins held at 0), then runs the blank kernel when the delivered
// block is flagged as holding samples without data, else the plain kernel. A
// request reaching past the frame's right or bottom edge gets the part within the
// frame (the output window is clipped in place). 0 filled; -1 the delivered data
// does not reach the request; -2 the pull failed or delivered another format; -4
// no prepared state; -7 the output could not be sized.
int32_t ConvolverProcess(PullResult* own, PullResult* out, const PullRequest* request);

// ---- Settings page ---------------------------------------------------------------------

// Entry 8: builds the instance's settings page in `area`, the page area's toolkit
// window (gWindow*): a frame holding the method name, the preset name with the
// previous and next arrows, and nine fields with the coefficients, three to a row.
// Answers the page's root widget (the frame, a gElement*); its children go with it:
// hiding the root hides the page, destroying it (gWgtDestroy) frees the page.
void* ConvolverBuildPanel(FilterInstance* instance, void* area);
// Shows the page's instance data and preset again (the page's refresh).
void ConvolverRefreshPanel(void* page);
// Shows the preset the instance's cursor names (name "[noname]" without one, the
// first n x n coefficients: integers "%d", reals FormatDouble(7, 3), "1" in every
// field for the mean filter).
void ConvolverShowPreset(ConvolverPanel* panel);
// The arrows' work, as a click on them: steps the preset and, after a change that
// the chain sees, clears the done flags from the instance, tells the host's
// downstream (event 12) and repaints. True when the preset changed.
bool ConvolverPanelStep(ConvolverPanel* panel, bool next);
// The page record of a root widget made by ConvolverBuildPanel, or nullptr.
ConvolverPanel* ConvolverPanelOf(void* page);
// The state goes: the page stops acting on it.
void ConvolverPanelDetach(ConvolverPanel* panel);

}  // namespace orva
