#pragma once
// How one Output writes the data of one source: the settings record of an (output,
// source) pair, kept by the source in its list so that an output connected elsewhere and
// back finds its settings again, and shared with the connected output by reference
// count. Also the scale triples of the records and the table of value ranges the writer
// keeps per channel. Main thread only.
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/component.h"

namespace orva {

// physical scale, zero and the reciprocal of the scale, kept together.
struct ScaleTriple {
    double scale = 1.0;
    double zero = 0.0;
    double reciprocal = 1.0;
    bool operator==(const ScaleTriple&) const = default;
};
// {1, 0, 1}.
void ScaleTripleInit(ScaleTriple* triple);

// One line to add to an output file's header: its three texts.
struct OutputHeaderAddition {
    std::string key;
    std::string value;
    std::string comment;
};

class OutputSettings {
public:
    // A record keyed by the output (its class and itself), with one reference.
    explicit OutputSettings(ComponentBase* output);
    virtual ~OutputSettings() = default;
    OutputSettings(const OutputSettings&) = delete;
    OutputSettings& operator=(const OutputSettings&) = delete;

    int32_t AddRef() { return refCount.fetch_add(1) + 1; }
    // Deletes the record at 0.
    int32_t Release();

    std::atomic<int32_t> refCount{1};
    const ComponentId* outputClass = nullptr;
    ComponentBase* output = nullptr;     // a key only: no reference is held
    OutputSettings* previous = nullptr;  // the newer neighbour in the list
    OutputSettings* next = nullptr;      // the older neighbour
    uint8_t channelSelector = 0;         // write the selected channel only
    uint8_t crop = 0;                    // the crop box applies
    uint8_t specialFlag = 0;             // the special value applies
    double specialValue = 0.0;
    ScaleTriple effective;               // handed to the writer
    ScaleTriple user;                    // the "User defined" triple
    int32_t channel = 0;                 // 1-based; 0 becomes 1 on connection
    int32_t firstFrame = 0;              // 0-based
    int32_t lastFrame = -1;              // 0-based; -1 the last frame of the data
    int32_t frameStep = 1;
    int64_t cropOrigin[3] = {0, 0, 0};
    int64_t cropSize[3] = {0, 0, 0};     // 0 becomes the data's size on connection
    std::vector<OutputHeaderAddition> headerAdditions;
    std::string pattern;                 // the file-name pattern, "%n%f#_snr%s" at first
};

// The records of the outputs that wrote one component's data, newest first. Its
// destructor drops the list's reference on each record, from the oldest to the newest.
class OutputSettingsRecords final : public OutputSettingsList {
public:
    OutputSettingsRecords() = default;
    ~OutputSettingsRecords() override;
    OutputSettingsRecords(const OutputSettingsRecords&) = delete;
    OutputSettingsRecords& operator=(const OutputSettingsRecords&) = delete;

    OutputSettings* newest = nullptr;
    OutputSettings* oldest = nullptr;
};

// The record list of a component (null until an output first connects to it).
OutputSettingsRecords* OutputSettingsOf(ComponentBase* source);

// No text leaves the pattern unchanged (true); otherwise the pattern becomes a copy of
// the text (false when the copy cannot be made: the old pattern stays).
bool OutputSettingsSetPattern(OutputSettings* record, const char* text);
// Adds a new record for the output in front of the source's list (the list made on
// first use); the record is handed out with a reference of its own besides the list's.
// False when the list or the record cannot be made.
bool OutputSettingsListAdd(ComponentBase* source, ComponentBase* output, OutputSettings** out);
// The record of the output in the source's list (from the oldest to the newest, by the
// output's class and the output itself), or null; no reference is added.
OutputSettings* OutputSettingsFind(ComponentBase* source, const ComponentBase* output);

// A scale entered on the page: a scale that is not above 0 changes nothing (-1: a bad
// value; so is a positive scale at or below DBL_MIN, which would make every written
// sample 0 or saturate); the present scale changes nothing (0); otherwise the effective
// scale and reciprocal are set (both exactly 1 within DBL_EPSILON of 1), the effective
// triple is copied into the user triple and the answer is 1.
int OutputSettingsEditScale(OutputSettings* record, double scale);
// A zero offset entered on the page: the present zero changes nothing (0); otherwise the
// effective zero is set (|z| < 1e-307 stores 0), the triple is copied into the user
// triple and the answer is 1.
int OutputSettingsEditZero(OutputSettings* record, double zero);

// The value range of one channel: minimum, maximum and the count of values.
struct RangeEntry {
    double minimum = 0.0;
    double maximum = 0.0;
    uint64_t count = 0;
};
struct RangeTable {
    uint32_t count = 0;
    RangeEntry* entries = nullptr;
    RangeTable() = default;
    ~RangeTable();
    RangeTable(const RangeTable&) = delete;
    RangeTable& operator=(const RangeTable&) = delete;
};
// Every entry back to {DBL_MAX, -DBL_MAX, 0}.
void ResetRangeTable(RangeTable* table);
// n = 0: false. The present count: only reset. Otherwise n new entries (failure: an
// empty table, false), reset.
bool ResizeRangeTable(RangeTable* table, uint32_t n);

}  // namespace orva
