#pragma once
// The bits of an element's style and drag flags, and of a window's state, that more than
// one part of the input and drawing code reads.
#include <cstdint>

namespace orva {

constexpr uint32_t kStyleToggle = 0x2000000;         // a press toggles the element's state
constexpr uint32_t kStyleClickAtPress = 0x20000000;  // the click is reported at the press
constexpr uint32_t kStyleInert = 0x40000000;         // the element takes no input
constexpr uint32_t kDragAtPress = 0x200;             // the drag starts with the press
constexpr uint32_t kDragFollowsPointer = 0x10000;    // takes the pointer's moves while hot
constexpr uint32_t kBusyMask = 0x81c;                // window state: not drawable now

}  // namespace orva
