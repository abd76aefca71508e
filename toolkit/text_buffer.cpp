#include "toolkit/text_buffer.h"

#include <cstdlib>
#include <cstring>

namespace orva {

TextBuffer::~TextBuffer() { std::free(data); }

bool TextBuffer::Reserve(uint32_t n) {
    if (n == UINT32_MAX) return false;
    if (capacity >= n + 1) return true;
    uint64_t size = static_cast<uint64_t>(growStep) + n + 1;
    if (size > UINT32_MAX) return false;
    char* block = static_cast<char*>(std::malloc(static_cast<size_t>(size)));
    if (block == nullptr) return false;
    uint32_t keep = length < capacity ? length : capacity;
    if (data != nullptr && keep > 0) std::memcpy(block, data, keep);
    block[keep] = '\0';
    std::free(data);
    data = block;
    capacity = static_cast<uint32_t>(size);
    return true;
}

bool TextBuffer::Append(const char* text, uint32_t n) {
    if (n == 0 || text == nullptr) return true;
    if (static_cast<uint64_t>(length) + n >= UINT32_MAX) return false;
    if (!Reserve(length + n)) return false;
    std::memcpy(data + length, text, n);
    data[length + n] = '\0';
    // A NUL inside the appended bytes ends the text there.
    length += static_cast<uint32_t>(strnlen(data + length, n));
    return true;
}

bool TextBuffer::AppendText(const char* text) {
    if (text == nullptr) return true;
    size_t n = std::strlen(text);
    if (n >= UINT32_MAX) return false;
    return Append(text, static_cast<uint32_t>(n));
}

}  // namespace orva
