#pragma once
// Reading one stored element of the kernels' element types, in machine order or
// byte-reversed, from memory of any alignment, and widening it to double.
#include <bit>
#include <cstdint>
#include <cstring>
#include <type_traits>

namespace orva {
namespace sample_load {

template <class T>
using Bits = std::conditional_t<sizeof(T) == 1, uint8_t,
                                std::conditional_t<sizeof(T) == 2, uint16_t,
                                                   std::conditional_t<sizeof(T) == 4, uint32_t,
                                                                      uint64_t>>>;

template <class U>
inline U ReverseBytes(U v) {
    if constexpr (sizeof(U) == 1) {
        return v;
    } else if constexpr (sizeof(U) == 2) {
        return static_cast<U>(__builtin_bswap16(v));
    } else if constexpr (sizeof(U) == 4) {
        return static_cast<U>(__builtin_bswap32(v));
    } else {
        return static_cast<U>(__builtin_bswap64(v));
    }
}

// Element i of a run of T starting at p.
template <class T, bool Swap>
inline T Load(const unsigned char* p, size_t i) {
    if constexpr (!Swap || sizeof(T) == 1) {
        T v;
        std::memcpy(&v, p + i * sizeof(T), sizeof(T));
        return v;
    } else {
        Bits<T> b;
        std::memcpy(&b, p + i * sizeof(T), sizeof(T));
        return std::bit_cast<T>(ReverseBytes(b));
    }
}

// Widening to double: integers exactly where they fit, unsigned 64-bit values
// correctly rounded (2^64 - 1 gives 2^64), floats exactly.
template <class T>
inline double ToDouble(T v) {
    return static_cast<double>(v);
}

}  // namespace sample_load
}  // namespace orva
