#pragma once
// The filter module interface: what every filter module presents (its
// descriptor and the callback table that its create function fills), and the
// two entry points that a filter plug-in library exports. The program's own
// modules use the same descriptor; a library written elsewhere builds against
// this header and the framework headers it includes.
//
// Layout on x86-64: the descriptor, the callback table and the information
// block are natural 64-bit records (pointers pointer-sized; versions, flags and
// the character type 32-bit words). The entry points use the platform's normal
// C calling convention.
//
// Calls into a module are guarded: a C++ exception that leaves a module is
// caught, the module's instance is switched off and the fault logged; it never
// reaches the program. Hardware faults are not caught.
#include <cstddef>
#include <cstdint>

#include "framework/component.h"
#include "framework/component_id.h"
#include "framework/format_request.h"

namespace orva {

struct FilterCallbacks;
class FilterInstance;

// ---- Descriptor --------------------------------------------------------------------------

// Descriptor flags.
constexpr uint32_t kFilterModuleFlag = 0x80;       // a filter module (required)
constexpr uint32_t kFilterStaysLast = 0x10000;     // inserted filters go before it in a chain

// The first code of every module id: "PLUG".
constexpr uint32_t kFilterModuleIdCode = FourCC("PLUG");

// Receives the callback table to fill and the module's descriptor; false refuses.
using FilterCreateFn = bool (*)(FilterCallbacks* callbacks, const struct FilterModuleDescriptor* descriptor);
// Frees the module's private state and clears entry 9 (`state`).
using FilterCloseFn = void (*)(FilterCallbacks* callbacks);
// Once per module before its first instance: called with nullptr and 1.
using FilterGlobalInitFn = bool (*)(void* reserved, int32_t flag);

struct FilterModuleDescriptor {
    const ComponentId* id = nullptr;     // first code "PLUG"; the display name groups modules
    const uint8_t* guid = nullptr;       // 16 bytes; not read by the program
    uint32_t flags = 0;
    const char* key = nullptr;
    const char* title = nullptr;
    const char* author = nullptr;        // may be null
    FilterCreateFn create = nullptr;     // required
    FilterCloseFn close = nullptr;
    FilterGlobalInitFn globalInit = nullptr;  // may be null
};

// ---- Callback table ----------------------------------------------------------------------

// Entry 0, the instance's work: `own` is the instance's request block (its input is
// pulled into it with ProcessChainBlock(own, request)), `out` the block to fill for the
// caller (its `window` names the frame, section and box wanted), `request` the caller's
// request, handed on unchanged to ProcessChainBlock. A request whose first byte
// (`readAgain`) is set asks for fresh data: the chain then neither clips the box to the
// upstream description nor answers from the instance's held block.
// Result: 0 or more, `out` filled (0: produced with a check, above 0: produced);
// -1: no data, stop; below -1: declined, the instance before it is tried.
using FilterProcessFn = int32_t (*)(PullResult* own, PullResult* out, const PullRequest* request);
// Entry 1: the description of the frames the instance produces (see the component's frame query).
using FilterFrameQueryFn = void* (*)(FilterInstance* instance);
// Entry 2: the data description of a frame and sub-index (negative: the current one).
using FilterFrameDataFn = FrameDataRecord* (*)(FilterInstance* instance, int32_t frame, int32_t section);
// Entry 3: an event broadcast along the chain; true when the module handled it.
using FilterEventFn = bool (*)(FilterInstance* instance, void* event);
// Entry 4 (required): format negotiation. `input` is what reaches the instance; the
// module writes what it produces into `output` and answers 1 or more (the input is
// taken as it is), 0 (it needs its input converted to `request`: the chain converts
// nothing, so the instance is switched off for this stream) or below 0 (refused).
using FilterNegotiateFn = int32_t (*)(FilterInstance* instance, const FormatRequest* input,
                                      FormatRequest* request, FormatRequest* output);
// Entry 7: the name of the module's current method, or nullptr.
using FilterMethodNameFn = const char* (*)(FilterInstance* instance);
// Entry 8: builds the instance's settings page in `area`, the toolkit window (gWindow*)
// of the plug-in list; answers the page, or nullptr. The page is one top-level widget (its
// root, the controls its children) made at the window's top-left corner: the plug-in list
// moves it below its rows and shows, hides and finally destroys it whole.
using FilterPageBuilderFn = void* (*)(FilterInstance* instance, void* area);

// The largest private state a module may declare (entry 10).
constexpr size_t kFilterMaxStateBytes = 0x40000;

struct FilterCallbacks {
    FilterProcessFn process = nullptr;          // 0: null, the instance is never run
    FilterFrameQueryFn frameQuery = nullptr;    // 1
    FilterFrameDataFn frameData = nullptr;      // 2
    FilterEventFn event = nullptr;              // 3
    FilterNegotiateFn negotiate = nullptr;      // 4
    void* reserved5 = nullptr;                  // 5, 6: unused
    void* reserved6 = nullptr;
    FilterMethodNameFn methodName = nullptr;    // 7
    FilterPageBuilderFn pageBuilder = nullptr;  // 8
    void* state = nullptr;                      // 9: the module's private state
    size_t stateBytes = 0;                      // 10: sizeof the state, at most kFilterMaxStateBytes
};

// ---- Plug-in library entry points ---------------------------------------------------------

// The information block that ZelFilterModuleGetInfo fills (the head of the program's
// module record).
struct FilterModuleInfo {
    void* host = nullptr;        // the program's record; a module does not write it
    uint32_t reserved0 = 0;
    uint32_t version = 0;        // interface version: 0 or 1
    uint64_t reserved1 = 0;
    uint32_t flags = 0;          // bit 31 and bits 4..30 clear, at least one of bits 0..3 set
    uint32_t charType = 0;       // must be kFilterCharType
    uint8_t reserved2[12] = {};
};
constexpr uint32_t kFilterInterfaceVersion = 1;
constexpr uint32_t kFilterCharType = 3;

// What ZelFilterModuleHandler fills: the module stores its descriptor in `descriptor`.
struct FilterHandlerRequest {
    void* word0 = nullptr;
    const FilterModuleDescriptor* descriptor = nullptr;
    void* word2 = nullptr;
    void* word3 = nullptr;
};

// `count` holds 1 on entry; a result or count of 0 or less fails the module.
using FilterGetInfoFn = int32_t (*)(FilterModuleInfo* info, int32_t* count);
// `count` holds what GetInfo left; it must end above 0 and not equal to 4.
using FilterHandlerFn = void (*)(void* reserved, FilterHandlerRequest* request, int32_t* count);

constexpr char kFilterGetInfoName[] = "ZelFilterModuleGetInfo";
constexpr char kFilterHandlerName[] = "ZelFilterModuleHandler";

}  // namespace orva
