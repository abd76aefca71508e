#pragma once
// Four-character tags at the start of the program's tagged records ("GWIN",
// "GGRP", ...), and the check made before such a record is used.
#include <bit>
#include <cstdint>
#include <cstring>

namespace orva {

// The 32-bit word whose bytes in memory are the four characters, in order.
constexpr uint32_t FourCC(const char (&text)[5]) {
    uint32_t b0 = static_cast<uint8_t>(text[0]);
    uint32_t b1 = static_cast<uint8_t>(text[1]);
    uint32_t b2 = static_cast<uint8_t>(text[2]);
    uint32_t b3 = static_cast<uint8_t>(text[3]);
    if constexpr (std::endian::native == std::endian::little) {
        return b0 | (b1 << 8) | (b2 << 16) | (b3 << 24);
    } else {
        return (b0 << 24) | (b1 << 16) | (b2 << 8) | b3;
    }
}

// True when `record` is not null and its first 32-bit word equals `tag`.
// Records that may have died must be checked against a registry of live
// objects before this is called: a dangling pointer is not caught here.
inline bool CheckTagSafe(const void* record, uint32_t tag) {
    if (record == nullptr) return false;
    uint32_t word = 0;
    std::memcpy(&word, record, sizeof word);
    return word == tag;
}

}  // namespace orva
