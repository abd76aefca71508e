#pragma once
// Missing samples of a slice profile: the stretches of positions that hold the
// missing mark (the path left the frame, or a whole strip was missing), kept
// per channel as runs [start, end) so that the extraction can fill them and
// the collapse kernels can skip them; and the three ways of filling them.
//
// One block of runs serves every channel: the records are filled channel
// after channel, each pointing at its own stretch of the block. Every
// allocation failure inside the run-list operations raises the out-of-memory
// result code (ResultCodeError); the builders that use them catch it.
#include <cstdint>

#include "common/global_buffer.h"

namespace orva {

// A sample that does not exist: the lowest double.
constexpr double kMissingSample = -1.7976931348623157e308;

// A block of this many pairs or more is given back when the list ends empty.
constexpr uint32_t kRunBlockTrimPairs = 2048;
// The block is compacted when the pairs in use plus this are fewer than its capacity.
constexpr uint32_t kRunBlockCompactSlack = 8192;

struct MissingRun {
    uint32_t start;
    uint32_t end;  // exclusive
};

// The runs of one channel row: ascending, not overlapping; no runs, no pointer.
struct MissingRunRecord {
    uint32_t count = 0;
    MissingRun* runs = nullptr;
};

class MissingRunList {
public:
    MissingRunList() = default;
    MissingRunList(const MissingRunList&) = delete;
    MissingRunList& operator=(const MissingRunList&) = delete;

    // Records for `records` rows, each reserving `reserve` pairs; the block
    // holds `pairs` of them, zeroed (RunListReset).
    void Reset(uint32_t records, uint32_t reserve, uint32_t pairs);
    // The next record, with room for `request` more runs and a count of 0;
    // raises the invalid-argument code past the last record.
    MissingRunRecord* NextRecord(uint32_t request);
    // Room for `request` runs after those in use and the current record's.
    void Grow(uint32_t request);
    // A record with runs adds them to the total in use; one without loses its pointer.
    void CloseRecord(MissingRunRecord* record);
    // Copies every record's runs into a new block of `pairs` pairs.
    void Compact(uint32_t pairs);
    // No run at all: the list is emptied (a block of kRunBlockTrimPairs or more
    // freed); else the block is compacted when much of it lies unused.
    void Finish();
    // Every record dropped; the block freed when it holds kRunBlockTrimPairs or more.
    void Empty();
    // A new zero-filled block of `pairs` pairs (the runs it held are lost).
    void Reallocate(uint32_t pairs);
    // Frees everything.
    void Release();

    bool HasRuns() const { return inUse_ != 0; }
    uint32_t RecordCount() const { return recordCount_; }
    uint32_t RunsInUse() const { return inUse_; }
    uint32_t Capacity() const { return capacity_; }
    const MissingRunRecord& Record(uint32_t i) const { return Records()[i]; }

private:
    MissingRunRecord* Records() { return static_cast<MissingRunRecord*>(records_.block); }
    const MissingRunRecord* Records() const {
        return static_cast<const MissingRunRecord*>(records_.block);
    }
    MissingRun* Pairs() { return static_cast<MissingRun*>(block_.block); }
    // A block of `pairs` pairs; raises the out-of-memory code.
    static void TakeBlock(GlobalBuffer* buffer, uint64_t pairs);
    // Copies the runs of records 0..last into `target`, pointing them there.
    void MoveRuns(MissingRun* target, uint32_t last);

    GlobalBuffer records_;
    uint32_t recordCount_ = 0;
    uint32_t next_ = 0;  // records taken so far
    GlobalBuffer block_;
    uint32_t capacity_ = 0;  // pairs the block holds
    uint32_t inUse_ = 0;     // pairs of the closed records
    uint32_t reserve_ = 0;   // the per-record reserve
};

// The runs of missing marks in `rows` rows of n values (row r at values + r n):
// a run open at a row's end is closed at n. `allMissing` tells whether every
// row is wholly missing. False (and the list empty) when memory is short.
bool BuildMissingRuns(MissingRunList* list, const double* values, uint32_t n, uint32_t rows,
                      bool* allMissing);

// The runs of one row written into `record` from position 0 on (its pointer
// holds room for (n + 1) / 2 runs); answers 1 when the whole row is missing,
// else 3.
int32_t RecordRowRuns(const double* values, uint32_t n, MissingRunRecord* record);

// Fill the runs of every channel row (as many rows as the list has records,
// at most `rows`) of n values: the constant, the neighbours, or a linear
// interpolation over gaps of at most `maxGap`; a wholly missing row takes the
// fill value. True when fewer rows were wholly missing than rows processed.
bool FillMissingConstant(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                         double fill);
bool FillMissingNeighbour(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                          double fill);
bool FillMissingLinear(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                       uint32_t maxGap, double fill);

}  // namespace orva
