#pragma once
// Selection of a conversion kernel for a pair of element types.
#include <atomic>
#include <cstdint>

#include "data/convert_kernels.h"
#include "data/element_type.h"

namespace orva {

// One output of the conversion table: its type, its native and swapped tables,
// and the row found last for it (a shortcut shared by every selection).
struct DConvEntry {
    ElementType output;
    const DConvRow* native;
    const DConvRow* swapped;
    mutable std::atomic<const DConvRow*> cachedRow;
};

// The selection record, owned by the caller.
struct DConv {
    const DConvEntry* cachedEntry = nullptr;  // the entry found last, or null
    ElementType inputType = 0;                // 0: the pair is not supported
    ElementType outputType = 0;               // 0: the pair is not supported
    DConvKernel kernel = nullptr;
};

// The ten output entries in the order of kPlainTypes, ended by a null pointer.
extern const DConvEntry* const kDConvOutputs[kConvertOutputs + 1];
// The entry used when an output type is not in the list (output type 0).
extern const DConvEntry kDConvEmptyEntry;

// Input type 0, output type 0x40, the kernel that fills with 1.0. The cached
// entry is left alone: it holds null or an entry of an earlier selection.
void DConvInit(DConv& record);

// Chooses the kernel that converts input elements into output elements. Writes
// the swap flag into params (1 when the input is byte-swapped and wider than 8
// bits). The caller tests record.inputType and record.outputType: 0 in either
// means the pair is not supported, and the kernel must not be called.
void DConvSelectIn(DConv& record, ScaleZero& params, ElementType input, ElementType output);

// The masks applied to the caller's words before the lookup.
ElementType DConvMaskInput(ElementType input);
ElementType DConvMaskOutput(ElementType output);

}  // namespace orva
