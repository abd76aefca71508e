#pragma once
// The filter chain of a Processing component: an ordered list of filter
// instances, each binding one filter module to the chain with its callback
// table, its private state, the format it accepts and the one it produces, and
// a frame buffer for its input. The chain negotiates the format from the
// component's input through every instance to its output, routes the
// instances' pulls and queries to the nearest active instance upstream or to
// the component's own upstream, and broadcasts events to the instances.
//
// Threads: pulls run on the thread that pulls frames, under the display lock;
// every edit of the chain (insertion, removal, moves, switching, negotiation)
// takes the display lock too, so that no instance is freed or relinked while a
// pull runs it.
#include <cstdint>

#include "framework/component.h"
#include "processing/filter_plugin.h"

namespace orva {

class FilterChain;
class FilterModuleRecord;
class ProcessingComponent;

// An instance's request block: the pull result through which the instance pulls
// its input and in which it holds it. Its `pending` byte is the instance's done
// flag (the data it holds is current); `window` the frame, section and box of
// the request; `deliveredFrame`/`deliveredSection` the pair the held data is for;
// `image` the held data with its box (windowX, windowY, width, height).
struct FilterBlock : PullResult {
    FilterInstance* self = nullptr;
};

class FilterInstance {
public:
    FilterInstance();
    // Hides the settings page, closes the module (when it has a descriptor), logs
    // a state the module left behind, releases the module record.
    virtual ~FilterInstance();
    FilterInstance(const FilterInstance&) = delete;
    FilterInstance& operator=(const FilterInstance&) = delete;

    // The module's title and key (empty texts without a descriptor).
    const char* Title() const;
    const char* Key() const;

    FilterBlock block;
    void* state = nullptr;             // the module's private state (entry 9 at creation)
    ProcessingComponent* host = nullptr;
    FilterChain* chain = nullptr;
    FilterInstance* next = nullptr;
    FilterInstance* previous = nullptr;
    FilterChain* list = nullptr;       // the chain it is linked into; null while unlinked
    uint8_t skip = 0;                  // not run
    uint8_t off = 0;                   // switched off by the user
    uint8_t bypass = 0;                // the module threw while working; for the instance's life
    uint8_t error = 0;                 // format negotiation failed
    const FilterModuleDescriptor* descriptor = nullptr;
    FilterCallbacks callbacks;
    void* settingsPage = nullptr;      // the page that shows this instance, or null
    FormatRequest input;               // what the module accepts
    FormatRequest output;              // what it produces
    FilterModuleRecord* record = nullptr;  // one reference held; null for built-ins inserted directly
};

// The instance whose request block `block` is (nullptr for any other pull result).
FilterInstance* FilterInstanceOf(PullResult* block);
// The module's private state of an instance.
inline void* FilterInstanceState(const FilterInstance* instance) {
    return instance != nullptr ? instance->state : nullptr;
}

// A built-in module with its once-only flag: set once its global initialisation ran.
struct FilterModulePackage {
    uint8_t initialised = 0;
    FilterModuleDescriptor descriptor;
};

// The chain is the component's input link: its AcceptFormat is the setting of the
// input format (the upstream calls it when it binds or its format changes), its
// OnUpstreamChanged clears the done flags of the instances.
class FilterChain : public ConsumerLink {
public:
    explicit FilterChain(ComponentBase* host);
    FilterChain(const FilterChain&) = delete;
    FilterChain& operator=(const FilterChain&) = delete;
    ~FilterChain() override;

    // Unless the chain is idle, clears the done flag of every instance that is not skipped.
    void OnUpstreamChanged() override;
    // Takes the upstream's format as the chain's input, renegotiates, selects the
    // component's process function and hands a changed output to the downstream links.
    bool AcceptFormat(FormatRequest* request) override;
    // Refreshes the plug-in list panel of the component (after a module fault).
    virtual void RefreshPluginList();

    ProcessingComponent* Host() const;

    FilterInstance* first = nullptr;
    FilterInstance* last = nullptr;
    FilterInstance* current = nullptr;  // selected in the plug-in list; the insertion point
    int32_t count = 0;
    uint8_t idle = 0;                   // no instance changes the format
    uint8_t keepLast = 1;               // inserted filters go before a "stays last" module
    FormatRequest input;
    FormatRequest output;
    const char* name = nullptr;         // "MultiFilter"
    int32_t (*handler)() = nullptr;
    PullResult* lastResult = nullptr;   // the last record the chain produced, or null
    int32_t pluginListRefreshes = 0;    // how often a module fault asked for a refresh
};

// Normalises the six words as the chain reads them: the element type word,
// the element size from it, channels clamped to 1..16384 and word 3 to 1..3.
void NormalizeFormatRequest(FormatRequest* format);

// Result codes of filterAdd.
constexpr int32_t kFilterBadDescriptor = -2;
constexpr int32_t kFilterUnknownType = -4;
constexpr int32_t kFilterNoMemory = -6;
constexpr int32_t kFilterModuleThrew = -7;
constexpr int32_t kFilterCreateRefused = -8;

// Creates an instance of the module and links it into the chain after the
// current instance (before it when the current module stays last); the new
// instance becomes the current one. 0, or a code above; `out` is set on success.
int32_t filterAdd(FilterChain* chain, const FilterModuleDescriptor* descriptor, FilterInstance** out);
// Test support: makes filterAdd find no memory for a new instance, or not.
void FilterChainFailInstanceAllocationForTest(bool on);
// Inserts a built-in module, running its global initialisation first when its
// package flag is clear.
void localInsert(FilterChain* chain, FilterModulePackage* package);
// Names the chain "MultiFilter" and inserts the built-in affine filter.
bool FilterChainInit(FilterChain* chain);
// Inserts a filter of the record's module (loading the module when the record
// has no descriptor), renegotiates and, with `notify`, tells the host's
// downstream when the new instance runs. The new instance, or nullptr.
FilterInstance* InsertModuleFilter(FilterChain* chain, FilterModuleRecord* record, bool notify);

// Copies the format into the chain's input and negotiates.
bool SetChainInputFormat(FilterChain* chain, const FormatRequest& format);
// Negotiates the format from the chain's input through every instance; true when
// at least one instance bound (the chain is then not idle).
bool NegotiateChainFormat(FilterChain* chain);
// Renegotiates after an edit of the instance list: selects the component's
// process function and hands a changed output format to the downstream links.
bool ChainRenegotiate(FilterChain* chain);

// The largest block a module pulls at once (64 Mi elements): ProcessChainBlock cuts
// larger boxes down to it.
constexpr int64_t kChainBlockBudget = 0x4000000;

// The pull a module makes for its input into its own request block (its window
// names the frame, section and box wanted), with the request its entry 0 was
// given. The box is first held to 64 Mi elements; then, unless the request's
// first byte (`readAgain`) is set, it is cut to the upstream's data extent and
// answered from the data the block already holds when that covers it. Else the
// nearest running instance upstream fills the block, or the component's upstream.
bool ProcessChainBlock(PullResult* block, const PullRequest* request);
// A module's frame query / frame data request, answered by the nearest instance
// upstream of the block's instance that has the entry, else by the component's
// upstream.
void* ChainFirstQuery(PullResult* block);
FrameDataRecord* ChainFirstCall(PullResult* block, int32_t frame, int32_t section);
// Entry 3 of every instance that is not skipped, last to first; false when idle.
bool ChainBroadcast(FilterChain* chain, void* event);
// From the instance to the end of the chain: done flags of the instances that
// are not skipped cleared.
void ChainClearDone(FilterInstance* instance);
// A settings change that the host's downstream must see: done flags cleared
// from `from` (when given), the downstream notified and invalidated with event
// 12 (flag `flag`), dirty windows repainted when the user interface is up.
void ChainNotifyHost(FilterChain* chain, FilterInstance* from, bool flag);
// Whether the instance runs: entry 0 set, not off, not bypassed, no error and a
// host with an owner.
bool FilterInstanceRuns(const FilterInstance* instance);
// A module threw while working: the instance is switched off for good (bypass,
// skip), the fault logged with its title and the plug-in list refreshed.
void FilterInstanceFault(FilterInstance* instance);

// Edits of the instance list (the plug-in list's commands). Each takes the
// display lock and renegotiates; false when the instance is not in this chain.
// Removing: the current instance becomes a neighbour of the removed one.
bool ChainRemoveInstance(FilterChain* chain, FilterInstance* instance);
void ChainRemoveAll(FilterChain* chain);
// Deletes every instance (each unlinked first) without renegotiating: the chain's end.
void ChainDeleteAll(FilterChain* chain);
// Swaps the instance with its previous (up) or next neighbour.
bool ChainMoveInstance(FilterChain* chain, FilterInstance* instance, bool up);
// The user's switch; `skip` follows.
bool ChainSetInstanceOff(FilterChain* chain, FilterInstance* instance, bool off);

}  // namespace orva
