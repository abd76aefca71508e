#include "reduction/kernels/slice_runs.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "shapes/result_code_error.h"

namespace orva {

namespace {

// Swaps the blocks of two buffers (the fresh one then holds the old block).
void SwapBlocks(GlobalBuffer* a, GlobalBuffer* b) {
    std::swap(a->block, b->block);
    std::swap(a->size, b->size);
}

}  // namespace

void MissingRunList::TakeBlock(GlobalBuffer* buffer, uint64_t pairs) {
    const uint64_t bytes = std::max<uint64_t>(pairs, 1) * sizeof(MissingRun);
    if (bytes > kGlobalBufferMaxBytes || !buffer->Reserve(static_cast<uint32_t>(bytes)))
        ThrowResultCode(kResultOutOfMemory);
}

void MissingRunList::Reset(uint32_t records, uint32_t reserve, uint32_t pairs) {
    const uint64_t recordBytes =
        uint64_t{std::max<uint32_t>(records, 1)} * sizeof(MissingRunRecord);
    if (records_.size < recordBytes) {
        recordCount_ = next_ = 0;
        if (recordBytes > kGlobalBufferMaxBytes ||
            !records_.Reserve(static_cast<uint32_t>(recordBytes)))
            ThrowResultCode(kResultOutOfMemory);
    }
    recordCount_ = records;
    next_ = 0;
    inUse_ = 0;
    reserve_ = reserve;
    std::fill(Records(), Records() + records, MissingRunRecord{});
    if (capacity_ >= pairs && block_.block != nullptr) {
        std::memset(block_.block, 0, uint64_t{pairs} * sizeof(MissingRun));
        return;
    }
    Reallocate(pairs);
}

void MissingRunList::Reallocate(uint32_t pairs) {
    GlobalBuffer fresh;
    TakeBlock(&fresh, pairs);
    std::memset(fresh.block, 0, uint64_t{std::max<uint32_t>(pairs, 1)} * sizeof(MissingRun));
    SwapBlocks(&block_, &fresh);
    capacity_ = std::max<uint32_t>(pairs, 1);
    // Runs that pointed into the old block are gone with it.
    for (uint32_t i = 0; i < recordCount_; ++i) Records()[i] = MissingRunRecord{};
    inUse_ = 0;
}

void MissingRunList::MoveRuns(MissingRun* target, uint32_t last) {
    uint64_t at = 0;
    for (uint32_t i = 0; i <= last && i < recordCount_; ++i) {
        MissingRunRecord& r = Records()[i];
        if (r.runs == nullptr) continue;
        if (r.count != 0) std::memmove(target + at, r.runs, uint64_t{r.count} * sizeof(MissingRun));
        r.runs = target + at;
        at += r.count;
    }
}

void MissingRunList::Grow(uint32_t request) {
    const MissingRunRecord* current = next_ != 0 ? &Records()[next_ - 1] : nullptr;
    const uint64_t used = uint64_t{inUse_} + (current != nullptr ? current->count : 0);
    if (used + request <= capacity_) return;
    uint64_t pairs = used + request;
    if (next_ < recordCount_) pairs += std::max(request, reserve_);
    if (pairs > 0xFFFFFFFFu) ThrowResultCode(kResultOutOfMemory);
    GlobalBuffer fresh;
    TakeBlock(&fresh, pairs);
    MoveRuns(static_cast<MissingRun*>(fresh.block), next_ != 0 ? next_ - 1 : 0);
    SwapBlocks(&block_, &fresh);
    capacity_ = static_cast<uint32_t>(pairs);
}

MissingRunRecord* MissingRunList::NextRecord(uint32_t request) {
    if (next_ >= recordCount_) ThrowResultCode(kResultInvalidArg);
    ++next_;
    Grow(request);
    MissingRunRecord* r = &Records()[next_ - 1];
    r->runs = Pairs() + inUse_;
    r->count = 0;
    return r;
}

void MissingRunList::CloseRecord(MissingRunRecord* record) {
    if (record->count != 0)
        inUse_ += record->count;
    else
        record->runs = nullptr;
}

void MissingRunList::Compact(uint32_t pairs) {
    GlobalBuffer fresh;
    TakeBlock(&fresh, std::max(pairs, inUse_));
    MoveRuns(static_cast<MissingRun*>(fresh.block), recordCount_ != 0 ? recordCount_ - 1 : 0);
    SwapBlocks(&block_, &fresh);
    capacity_ = std::max<uint32_t>(std::max(pairs, inUse_), 1);
}

void MissingRunList::Empty() {
    for (uint32_t i = 0; i < recordCount_; ++i) Records()[i] = MissingRunRecord{};
    recordCount_ = next_ = inUse_ = 0;
    if (capacity_ >= kRunBlockTrimPairs) {
        block_.Free();
        capacity_ = 0;
    }
}

void MissingRunList::Finish() {
    if (inUse_ == 0) {
        Empty();
        return;
    }
    if (uint64_t{inUse_} + kRunBlockCompactSlack < capacity_) Compact(inUse_);
}

void MissingRunList::Release() {
    records_.Free();
    block_.Free();
    recordCount_ = next_ = inUse_ = capacity_ = reserve_ = 0;
}

int32_t RecordRowRuns(const double* values, uint32_t n, MissingRunRecord* record) {
    uint32_t count = 0;
    uint32_t i = 0;
    while (i < n) {
        if (values[i] != kMissingSample) {
            ++i;
            continue;
        }
        const uint32_t start = i;
        while (i < n && values[i] == kMissingSample) ++i;
        record->runs[count++] = MissingRun{start, i};
    }
    record->count = count;
    return count == 1 && record->runs[0].start == 0 && record->runs[0].end >= n ? 1 : 3;
}

bool BuildMissingRuns(MissingRunList* list, const double* values, uint32_t n, uint32_t rows,
                      bool* allMissing) {
    *allMissing = false;
    const uint32_t reserve = static_cast<uint32_t>((uint64_t{n} + 1) / 2);
    uint32_t whole = 0;
    const uint32_t code = CatchResultCode([&] {
        list->Reset(rows, reserve, rows > 1 ? 2 * reserve : reserve);
        for (uint32_t r = 0; r < rows; ++r) {
            MissingRunRecord* record = list->NextRecord(reserve);
            if (RecordRowRuns(values + uint64_t{r} * n, n, record) == 1) ++whole;
            list->CloseRecord(record);
        }
        list->Finish();
    });
    if (code != 0) {
        list->Empty();
        return false;
    }
    *allMissing = rows != 0 && whole == rows;
    return true;
}

namespace {

// The rows to fill: as many as the list has records, at most `rows`.
template <class FillRun>
bool FillRows(const MissingRunList& list, double* values, uint32_t n, uint32_t rows, double fill,
              FillRun fillRun) {
    const uint32_t processed = std::min(list.RecordCount(), rows);
    uint32_t whole = 0;
    for (uint32_t r = 0; r < processed; ++r) {
        const MissingRunRecord& record = list.Record(r);
        double* x = values + uint64_t{r} * n;
        for (uint32_t k = 0; k < record.count; ++k) {
            const MissingRun run = record.runs[k];
            if (run.start >= n) break;
            const uint32_t end = std::min(run.end, n);
            if (run.start == 0 && run.end >= n) {
                std::fill(x, x + n, fill);
                ++whole;
                break;
            }
            fillRun(x, run.start, end, run.end >= n);
        }
    }
    return whole < processed;
}

}  // namespace

bool FillMissingConstant(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                         double fill) {
    return FillRows(list, values, n, rows, fill,
                    [fill](double* x, uint32_t start, uint32_t end, bool) {
                        std::fill(x + start, x + end, fill);
                    });
}

bool FillMissingNeighbour(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                          double fill) {
    return FillRows(list, values, n, rows, fill,
                    [](double* x, uint32_t start, uint32_t end, bool atEnd) {
                        double v;
                        if (start == 0)
                            v = x[end];
                        else if (atEnd)
                            v = x[start - 1];
                        else
                            v = 0.5 * x[start - 1] + 0.5 * x[end];  // never overflows
                        std::fill(x + start, x + end, v);
                    });
}

bool FillMissingLinear(const MissingRunList& list, double* values, uint32_t n, uint32_t rows,
                       uint32_t maxGap, double fill) {
    return FillRows(list, values, n, rows, fill,
                    [maxGap, fill](double* x, uint32_t start, uint32_t end, bool atEnd) {
                        if (start == 0) {
                            std::fill(x + start, x + end, x[end]);
                            return;
                        }
                        if (atEnd) {
                            std::fill(x + start, x + end, x[start - 1]);
                            return;
                        }
                        const uint32_t len = end - start;
                        if (len > maxGap) {
                            std::fill(x + start, x + end, fill);
                            return;
                        }
                        const double a = x[start - 1], b = x[end];
                        if (a == b) {
                            std::fill(x + start, x + end, a);
                            return;
                        }
                        const double step = (b - a) / (len + 1);
                        for (uint32_t k = 1; k <= len; ++k) x[start + k - 1] = a + k * step;
                    });
}

}  // namespace orva
