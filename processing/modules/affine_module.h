#pragma once
// The built-in affine filter module ("affine", "Affine Transformations"): it
// scales, rotates about the frame centre and mirrors the frames of a processing
// chain. It accepts 64-bit and 32-bit reals with any channel count, picks the
// resampling kernel (affine_kernels.h) that fits the format, the interpolation
// mode and the geometry, installs it as its instance's process entry, describes
// the transformed frame downstream, and keeps its instance switched off (skipped)
// while the geometry is the identity. Every chain starts with one instance.
#include <cfloat>
#include <cstdint>

#include "data/affine_record.h"
#include "processing/filter_chain.h"
#include "processing/modules/affine_kernels.h"

namespace orva {

// What the module answers for the data of a transformed frame: the output frame's
// size (FrameDataRecord's extent, which downstream pulls are kept within), its
// origin relative to the input frame (half the size difference, so the output
// stays centred on the input), the value range when known, and two flags.
struct AffineDataDescription : FrameDataRecord {
    int64_t originX = 0;
    int64_t originY = 0;
    double minimum = DBL_MAX;   // DBL_MAX and -DBL_MAX: not known
    double maximum = -DBL_MAX;
    uint8_t described = 0;      // filled for a transformed frame
    uint8_t invalid = 0;        // the frame may hold samples without data
};

// One interpolation mode of a method: its label and number (1 nearest neighbour,
// 2 bilinear, 3 bicubic, 4 bicubic with tabulated weights).
struct AffineMode {
    const char* label = nullptr;
    int32_t number = 0;
};

// A method of the module: its name, its modes (the first is nearest neighbour,
// the others interpolate) and its kernel table.
struct AffineMethod {
    const char* name = nullptr;
    int32_t modeCount = 0;
    const AffineMode* modes = nullptr;
    const AffineKernelRow* kernels = nullptr;
};

// The module's methods (the list ends with an empty method): "Scale, Rotate, Flipping".
extern const AffineMethod kAffineMethods[2];
// The orders of zoom and rotation the settings offer: "Scale -> Rotate" (0), "Rotate -> Scale" (1).
extern const char* const kAffineOrderNames[2];

// Bit 0 of the filter record's flag word: "Filter", interpolation on.
constexpr uint32_t kAffineFilterOn = 0x1;

// The private state of an instance (callback entries 9 and 10).
struct AffineModuleState {
    AffineFilterRecord head;       // the geometry and the "Filter" switch
    AffineDataDescription data;    // what downstream is told of a transformed frame
    int32_t method = -1;           // -1: no usable method
    int32_t interpolatingModes = 0;  // the method's mode count less one
    int32_t filterIndex = 0;       // 0 "Bilinear", 1 "Bicubic", 2 "Bicubic [fast]"
    const AffineKernelSet* set = nullptr;       // chosen by the format negotiation
    const AffineKernelSet* fallback = nullptr;  // the first method's set for the same format
    struct AffinePanel* panel = nullptr;        // the settings page that shows the instance, or null
};

// The package of the built-in module (descriptor and once-only flag).
FilterModulePackage& AffineModulePackage();

// The instance's state, or nullptr.
inline AffineModuleState* AffineStateOf(const FilterInstance* instance) {
    return static_cast<AffineModuleState*>(FilterInstanceState(instance));
}

// ---- Descriptor functions ------------------------------------------------------------------

// Creates the state (logs "$can`t init filter local..." and fails when it cannot),
// fills the callback table, selects the first method and "Bilinear".
bool AffineModuleOpen(FilterCallbacks* callbacks, const FilterModuleDescriptor* descriptor);
// Frees the state and clears entry 9.
void AffineModuleClose(FilterCallbacks* callbacks);
// The global initialisation: with the flag set and no instance open, counts the
// methods; true when there is at least one (also when the flag is clear or
// instances are open).
bool AffineModuleAttach(void* reserved, int32_t flag);

// ---- Callbacks -----------------------------------------------------------------------------

// Entry 1: the description of the frames (the upstream's, passed on).
void* AffineQueryFrame(FilterInstance* instance);
// Entry 2: the upstream's answer while the record neither rotates nor scales (the
// record's centres set for its size), else the state's description of the
// transformed frame; null without an upstream answer.
FrameDataRecord* AffineQueryFrameData(FilterInstance* instance, int32_t frame, int32_t section);
// Entry 3: composes the filter's geometry into the AffineRecord that `event`
// points to; false (and the event untouched) while the filter's record is inactive.
bool AffineEvent(FilterInstance* instance, void* event);
// Entry 4: accepts 64-bit and 32-bit reals with tag 0 or "DMAP" (1), asks for 32-bit
// reals for 8- and 16-bit integers and for 64-bit reals for other types (0: the
// chain has no conversion, so the instance is skipped), refuses the rest (-1).
int32_t AffineNegotiate(FilterInstance* instance, const FormatRequest* input, FormatRequest* request,
                        FormatRequest* output);
// Entry 7: the current method's name, or nullptr.
const char* AffineMethodName(FilterInstance* instance);

// ---- Modes and the kernel choice ------------------------------------------------------------

// Selects a method (negative: the current one) and a filter index (out of range:
// the current one, else the last interpolating mode); true when either changed.
bool AffineSelectMode(AffineModuleState* state, int32_t method, int32_t filterIndex);
// The kernel for the current set, mode and geometry: none while the record is
// inactive; nearest neighbour for a pure mirror, a pure turn by a right angle and
// while "Filter" is off; the selected mode otherwise.
FilterProcessFn AffineCurrentKernel(AffineModuleState* state);
// Installs the current kernel as the instance's process entry and sets `skip`
// (done flags cleared downstream when the instance stops running).
void AffineApplyKernel(FilterInstance* instance);
// Stepping through methods and filter indexes (no wrap; false at either end) and
// the "Filter" switch (false when already so); each re-chooses the kernel.
bool AffineNextMethod(FilterInstance* instance);
bool AffinePreviousMethod(FilterInstance* instance);
bool AffineNextFilter(FilterInstance* instance);
bool AffinePreviousFilter(FilterInstance* instance);
bool AffineSetFilter(FilterInstance* instance, bool on);
// The label of the current filter index ("Bilinear" for 0), or nullptr.
const char* AffineModeName(FilterInstance* instance);

// After a settings change: re-chooses the kernel, and when the instance ran before
// or the record is active now, tells the host's downstream (done flags cleared from
// the instance, event 12 with `flag`, repaint).
void AffineNotifyChange(FilterInstance* instance, bool flag);
// The same notification without a new choice, when the record is active /
// rotates or scales, and the instance runs.
void AffineNotifyIfActive(FilterInstance* instance);
void AffineNotifyIfTransforms(FilterInstance* instance);

}  // namespace orva
