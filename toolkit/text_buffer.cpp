#include "toolkit/text_buffer.h"

#include <cstdlib>
#include <cstring>

namespace orva {

namespace {

char* NewBlock(uint64_t size) {
    if (size > UINT32_MAX) return nullptr;
    return static_cast<char*>(TextBufferAllocator()(static_cast<size_t>(size)));
}

}  // namespace

TextBufferAllocFn& TextBufferAllocator() {
    static TextBufferAllocFn alloc = &std::malloc;
    return alloc;
}

TextBuffer::~TextBuffer() { std::free(data); }

bool TextBuffer::Reserve(uint32_t n) {
    if (n == UINT32_MAX) return false;
    if (capacity >= n + 1) return true;
    uint64_t size = static_cast<uint64_t>(growStep) + n + 1;
    char* block = NewBlock(size);
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

bool TextBuffer::Assign(const char* text) {
    if (text == nullptr || text[0] == '\0') {
        length = 0;
        if (data != nullptr) data[0] = '\0';
        return true;
    }
    const size_t n = std::strlen(text);
    if (n >= UINT32_MAX) return false;
    if (capacity < n + 1) {
        char* block = NewBlock(static_cast<uint64_t>(growStep) + n + 1);
        if (block == nullptr) return false;
        std::free(data);
        data = block;
        capacity = static_cast<uint32_t>(static_cast<uint64_t>(growStep) + n + 1);
    }
    std::memcpy(data, text, n + 1);
    length = static_cast<uint32_t>(n);
    return true;
}

bool TextBuffer::Grow(uint32_t n, uint32_t keep) {
    if (capacity >= n) return true;
    const uint64_t size = static_cast<uint64_t>(growStep) + n;
    char* block = NewBlock(size);
    if (block == nullptr) return false;
    if (keep > capacity) keep = capacity;
    if (keep > size) keep = static_cast<uint32_t>(size);
    if (data != nullptr && keep > 0) std::memcpy(block, data, keep);
    // What was not kept is no longer text.
    if (length > keep) length = keep;
    if (length < size) block[length] = '\0';
    std::free(data);
    data = block;
    capacity = static_cast<uint32_t>(size);
    return true;
}

}  // namespace orva
