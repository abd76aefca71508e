#include "data/dconv.h"

#include "common/log.h"

namespace orva {
namespace {

constinit const DConvRow kEmptyRow[2] = {{0, &ConvertNothing, &ConvertNothing},
                                         {0, nullptr, nullptr}};

#define ORVA_ENTRY(i) {kPlainTypes[i], kConvertTables[i][0], kConvertTables[i][1], nullptr}
constinit const DConvEntry kEntries[kConvertOutputs] = {
    ORVA_ENTRY(0), ORVA_ENTRY(1), ORVA_ENTRY(2), ORVA_ENTRY(3), ORVA_ENTRY(4),
    ORVA_ENTRY(5), ORVA_ENTRY(6), ORVA_ENTRY(7), ORVA_ENTRY(8), ORVA_ENTRY(9),
};
#undef ORVA_ENTRY

// Walks a table from the row after the default row to the end row.
const DConvRow* FindRow(const DConvRow* table, ElementType input) {
    for (const DConvRow* row = table + 1; row->input != 0; ++row)
        if (row->input == input) return row;
    LogPrintf("DConvSelectIn(): unkn. types...");
    return nullptr;
}

}  // namespace

constinit const DConvEntry* const kDConvOutputs[kConvertOutputs + 1] = {
    &kEntries[0], &kEntries[1], &kEntries[2], &kEntries[3], &kEntries[4], &kEntries[5],
    &kEntries[6], &kEntries[7], &kEntries[8], &kEntries[9], nullptr};

constinit const DConvEntry kDConvEmptyEntry = {0, kEmptyRow, kEmptyRow, nullptr};

ElementType DConvMaskInput(ElementType input) {
    if (input & kElemRealMask) return input & 0xD0;
    if (input & kElemInt8) return input & 0x101;
    return input & 0x1FB;
}

ElementType DConvMaskOutput(ElementType output) {
    output &= ~kElemSwapped;
    if (output & kElemRealMask) return output & 0x50;
    if (output & kElemInt8) return output & 0x101;
    return output & 0x17B;
}

void DConvInit(DConv& record) {
    record.inputType = 0;
    record.outputType = kTypeF64;
    record.kernel = ConvertDefaultKernel(kTypeF64);
}

void DConvSelectIn(DConv& record, ScaleZero& params, ElementType input, ElementType output) {
    input = DConvMaskInput(input);
    output = DConvMaskOutput(output);

    const DConvEntry* entry = record.cachedEntry;
    if (entry == nullptr || entry->output != output) {
        entry = &kDConvEmptyEntry;
        for (const DConvEntry* const* e = kDConvOutputs; *e != nullptr; ++e) {
            if ((*e)->output == output) {
                entry = *e;
                break;
            }
        }
        record.cachedEntry = entry;
    }

    const uint8_t swap = ((input & kElemSwapped) != 0 && (input & kElemInt8) == 0) ? 1 : 0;

    const DConvRow* row;
    if (entry == &kDConvEmptyEntry) {
        row = kEmptyRow;
    } else {
        row = entry->cachedRow.load(std::memory_order_relaxed);
        if (row == nullptr || row->input != input) {
            row = FindRow(swap ? entry->swapped : entry->native, input);
            if (row != nullptr) entry->cachedRow.store(row, std::memory_order_relaxed);
            else row = kEmptyRow;
        }
    }

    params.swap = swap;
    record.inputType = row->input;
    record.outputType = entry->output;
    record.kernel = IsIdentity(params) ? row->plain : row->scaled;
}

}  // namespace orva
