#pragma once
// The program-wide registry of file formats: the descriptors in registration
// order and the four lists derived from them (input, and three output lists)
// with the filter texts of the open and save dialogs.
#include <cstdint>
#include <string>
#include <vector>

#include "common/record_tag.h"
#include "framework/format_request.h"
#include "io/format_desc.h"

namespace orva {

struct FormatNode {
    FormatNode* next = nullptr;
    FormatNode* prev = nullptr;
    FormatDesc* desc = nullptr;
};

// Kind words of the lists.
constexpr uint32_t kFormatListInput = 2;
constexpr uint32_t kFormatListOutput = 4;

struct FormatList {
    uint32_t kind = 0;            // 0 while never built
    uint32_t formatCount = 0;
    int32_t current = 0;          // 1-based; -1 right after building (the last filter entry)
    // Pairs of NUL-terminated texts (entry name, patterns) ended by an extra NUL;
    // empty when the list has no filter.
    std::string filter;
    uint32_t entryCount = 0;      // formats plus the extra "[*.*]" entries
    bool hasEntries = false;      // the entry array exists
    std::vector<FormatDesc*> entries;

    void Clear();
};

struct FormatRegistry {
    FormatNode* head = nullptr;
    FormatNode* tail = nullptr;
    FormatList* currentOutput = nullptr;
    FormatList input;
    FormatList output;
    FormatList output380;
    FormatList output580;

    FormatRegistry() = default;
    ~FormatRegistry();
    FormatRegistry(const FormatRegistry&) = delete;
    FormatRegistry& operator=(const FormatRegistry&) = delete;
};

// The program's registry.
FormatRegistry& TheFormatRegistry();

// Releases earlier formats, loads I/O plug-ins (none), registers the built-ins and
// logs "Load %d IO module(s)... Format(s): input %d, output %d".
void LoadIOModules(FormatRegistry& registry, const char* folder);
// Registers the twelve built-ins, builds the four lists and adds the input and
// output counts to the counters; returns the number registered.
int RegisterBuiltinFormats(FormatRegistry& registry, int* inputCount, int* outputCount);
// Normalises the default type against the allowed mask (NormalizeFormatWord) and
// appends the descriptor.
// 1 appended, 0 refused.
int ValidateFormatDesc(FormatRegistry& registry, FormatDesc* desc);
// Calls each descriptor's release with its context (cleared first) and frees the nodes.
void ReleaseFormats(FormatRegistry& registry);

const FormatDesc* FindFormatByTag(const FormatRegistry& registry, FormatTag tag);
const FormatDesc* FormatBinary();
const FormatDesc* FormatFits();
const FormatNode* FormatListHead(const FormatRegistry& registry);
int FormatCount(const FormatRegistry& registry);
int FormatPosition(const FormatRegistry& registry, const FormatDesc* desc);
// True when a file name's extension matches one of the descriptor's extensions
// (without case; items beginning with '*' never match).
bool FormatMatchesExtension(const FormatDesc* desc, const char* fileName);

const FormatDesc* InputFormatByIndex(const FormatRegistry& registry, uint32_t index);
const FormatDesc* OutputFormatByIndex(const FormatList& list, int32_t* index);
const FormatDesc* CurrentOutputFormat(FormatRegistry& registry, int32_t* index);
void FormatListSelectTag(FormatList& list, FormatTag tag);
// Direction 0: previous writable descriptor, 1: next.
const FormatDesc* StepWritableFormat(const FormatRegistry& registry, const FormatDesc* desc,
                                     int direction);
bool FindFormatList(FormatRegistry& registry, uint32_t flags, bool exact);
bool SelectOutputFormatList(FormatRegistry& registry, uint32_t flags1, uint32_t flags2,
                            bool exact);
// The first flag word the output settings ask with for the kind tag of a saved object
// (the kind ORed with 4; 0 for an unknown tag).
uint32_t OutputKindForObjectTag(FormatTag tag);

void InputFormatFilter(FormatList& list, const FormatNode* head);
void OutputFormatFilter(FormatList& list, const FormatNode* head, uint32_t kindMask);

// The record tags of the data set's records (the four characters as one word).
inline constexpr uint32_t kTagContainer = FourCC("CTNR");
inline constexpr uint32_t kTagFrameSeries = FourCC("FRSR");
inline constexpr uint32_t kTagIoStream = FourCC("IOST");
inline constexpr uint32_t kTagInfo = FourCC("INFO");

}  // namespace orva
