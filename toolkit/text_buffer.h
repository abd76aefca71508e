#pragma once
// A growable, NUL-terminated character buffer used to build clipboard texts and
// reports. Growth failures leave the buffer as it was and report false.
#include <cstddef>
#include <cstdint>

namespace orva {

class TextBuffer {
public:
    explicit TextBuffer(uint32_t growStep = 0) : growStep(growStep) {}
    virtual ~TextBuffer();
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;

    // Makes room for n characters and the NUL: when capacity < n + 1 a block of
    // growStep + n + 1 bytes replaces the old one (its first min(length, capacity)
    // bytes kept). False when the block cannot be had (or the size overflows).
    bool Reserve(uint32_t n);
    // Appends n bytes of text (n = 0 does nothing) and a NUL; length becomes the length
    // of the resulting NUL-terminated string. False, buffer unchanged, when out of memory.
    bool Append(const char* text, uint32_t n);
    // The same for a NUL-terminated text.
    bool AppendText(const char* text);
    // Replaces the text: a null or empty text only sets the length to 0; otherwise, when
    // the capacity is below the text's length + 1, a block of growStep + length + 1 bytes
    // replaces the old one (freed only once the new one was had). False, buffer unchanged,
    // when the block cannot be had.
    bool Assign(const char* text);
    // Ensures a capacity of n bytes (a new block has growStep + n bytes), keeping the
    // first `keep` bytes (at most the old capacity). False, buffer unchanged, when the
    // block cannot be had (or the size overflows).
    bool Grow(uint32_t n, uint32_t keep);
    const char* Text() const { return data != nullptr ? data : ""; }

    char* data = nullptr;
    uint32_t capacity = 0;
    uint32_t growStep = 0;
    uint32_t length = 0;
};

// Where every text buffer takes its blocks (std::malloc unless a test replaces it to
// make an allocation fail); the blocks are freed with std::free.
using TextBufferAllocFn = void* (*)(size_t bytes);
TextBufferAllocFn& TextBufferAllocator();

// The buffer the list copy operations build clipboard texts in (grows by 128 bytes).
class ClipTextBuffer final : public TextBuffer {
public:
    ClipTextBuffer() : TextBuffer(128) {}
    ~ClipTextBuffer() override = default;
};

// The error the original buffer raised when out of memory (kept for callers that
// report it as a code).
constexpr uint32_t kTextBufferOutOfMemory = 0x8007000Eu;

}  // namespace orva
