#include "common/clib_string.h"

#include <cstdlib>
#include <cstring>

namespace orva {

namespace {

constexpr uintptr_t kTextAlign = 32;
constexpr size_t kHeader = sizeof(ClibStringHeader);
const char kTagHeap[4] = {'X', 'S', 'R', 'W'};
const char kTagConst[4] = {'X', 'S', 'R', 'O'};

// Reads the four tag bytes in front of a text. Only texts at 16 modulo 32 are
// looked at: a real header then lies in the same 32-byte granule, never on
// another page. For a plain text these bytes belong to some other object,
// which is why the sanitizer is told to let this read pass.
__attribute__((no_sanitize_address, noinline)) bool ReadTag(const char* text, char out[4]) {
    uintptr_t address = reinterpret_cast<uintptr_t>(text);
    if (address % kTextAlign != kHeader) return false;
    const volatile char* tag = reinterpret_cast<const volatile char*>(address - 4);
    for (int i = 0; i < 4; ++i) out[i] = tag[i];
    return true;
}

ClibStringHeader* HeaderOf(const char* text) {
    return reinterpret_cast<ClibStringHeader*>(const_cast<char*>(text) - kHeader);
}

char* TextOf(ClibStringHeader* header) { return reinterpret_cast<char*>(header) + kHeader; }

// A new zero-filled heap string with room for `capacity` characters (terminator included).
char* Allocate(uint32_t capacity) {
    if (capacity == 0) capacity = 1;
    if (capacity > kClibStringMaxChars) capacity = kClibStringMaxChars;
    void* block = nullptr;
    if (posix_memalign(&block, kTextAlign, kHeader + capacity) != 0 || block == nullptr)
        return nullptr;
    std::memset(block, 0, kHeader + capacity);
    auto* header = static_cast<ClibStringHeader*>(block);
    header->count = 1;
    header->length = 0;
    header->capacity = capacity;
    std::memcpy(header->tag, kTagHeap, 4);
    return TextOf(header);
}

void Free(char* text) { std::free(HeaderOf(text)); }

// Moves a singly owned heap string into a bigger block, keeping its text.
char* Grow(char* text, uint32_t capacity) {
    char* grown = Allocate(capacity);
    if (grown == nullptr) return nullptr;
    ClibStringHeader* old = HeaderOf(text);
    uint32_t keep = old->length < capacity ? old->length : capacity - 1;
    std::memcpy(grown, text, keep);
    grown[keep] = '\0';
    HeaderOf(grown)->length = keep;
    HeaderOf(grown)->count = old->count < 1 ? 1 : old->count;
    Free(text);
    return grown;
}

// Length of at most `limit` characters of the text (limit below 0: no limit).
size_t BoundedLength(const char* text, int limit) {
    if (limit < 0) return std::strlen(text);
    return strnlen(text, static_cast<size_t>(limit));
}

}  // namespace

bool StrIsHeap(const char* text) {
    char tag[4];
    return text != nullptr && ReadTag(text, tag) && std::memcmp(tag, kTagHeap, 4) == 0;
}

bool StrIsConst(const char* text) {
    char tag[4];
    return text != nullptr && ReadTag(text, tag) && std::memcmp(tag, kTagConst, 4) == 0;
}

bool StrIsClib(const char* text) {
    char tag[4];
    return text != nullptr && ReadTag(text, tag) && std::memcmp(tag, "XSR", 3) == 0;
}

const ClibStringHeader* StrHeader(const char* text) {
    return (StrIsHeap(text) || StrIsConst(text)) ? HeaderOf(text) : nullptr;
}

ClibString StrDup(const char* text, int length) {
    if (text == nullptr) return nullptr;
    size_t n = BoundedLength(text, length);
    if (n > kClibStringMaxChars - 1) n = kClibStringMaxChars - 1;
    char* s = Allocate(static_cast<uint32_t>(n + 1));
    if (s == nullptr) return nullptr;
    std::memcpy(s, text, n);
    s[n] = '\0';
    HeaderOf(s)->length = static_cast<uint32_t>(n);
    return s;
}

bool StrSetCopy(ClibString* holder, const char* text) {
    if (holder == nullptr) return false;
    ClibString copy = nullptr;
    if (text != nullptr) {
        copy = StrDup(text, -1);
        if (copy == nullptr) return false;
    }
    StrRelease(*holder);
    *holder = copy;
    return true;
}

bool StrAssign(ClibString* holder, const char* text, int length) {
    if (holder == nullptr) return false;
    if (text == nullptr) text = "";
    size_t chars = BoundedLength(text, length);
    if (chars > kClibStringMaxChars - 1) chars = kClibStringMaxChars - 1;
    uint32_t n = static_cast<uint32_t>(chars + 1);
    const char* current = *holder;
    char* target = nullptr;
    if (StrIsHeap(current)) {
        ClibStringHeader* header = HeaderOf(current);
        if (header->count <= 1) {
            if (header->capacity >= n) {
                target = const_cast<char*>(current);
                std::memmove(target, text, chars);  // the text may lie in this very string
            } else {
                // Copy the source out first: it may be part of the block that grows.
                char* fresh = Allocate(n);
                if (fresh == nullptr) {
                    StrRelease(current);
                    *holder = nullptr;
                    return false;
                }
                std::memcpy(fresh, text, chars);
                StrRelease(current);
                target = fresh;
            }
        } else {
            // Shared: the other holders keep the old text.
            target = Allocate(n);
            if (target == nullptr) return false;
            std::memcpy(target, text, chars);
            header->count -= 1;
        }
    } else {
        target = Allocate(n);
        if (target == nullptr) return false;
        std::memcpy(target, text, chars);
    }
    target[chars] = '\0';
    HeaderOf(target)->length = static_cast<uint32_t>(chars);
    *holder = target;
    return true;
}

bool StrReserve(ClibString* holder, uint32_t n) {
    if (holder == nullptr) return false;
    if (n > kClibStringMaxChars) n = kClibStringMaxChars;
    if (n == 0) n = 1;
    const char* current = *holder;
    if (StrIsHeap(current)) {
        ClibStringHeader* header = HeaderOf(current);
        if (header->capacity >= n) return true;
        if (header->count <= 1) {
            char* grown = Grow(const_cast<char*>(current), n);
            if (grown == nullptr) return true;  // the old string is still there
            *holder = grown;
            return true;
        }
        char* fresh = Allocate(n);
        if (fresh == nullptr) return true;
        header->count -= 1;
        *holder = fresh;
        return true;
    }
    char* fresh = Allocate(n);
    if (fresh == nullptr) return current != nullptr;
    *holder = fresh;
    return true;
}

bool StrCopyInto(ClibString target, const char* source) {
    if (!StrIsHeap(target)) return false;
    ClibStringHeader* header = HeaderOf(target);
    uint32_t length = source ? StrLength(source) : 0;
    if (static_cast<uint64_t>(length) + 1 > header->capacity) return false;
    char* out = const_cast<char*>(target);
    if (length) std::memmove(out, source, length);
    out[length] = '\0';
    header->length = length;
    return true;
}

void StrRelease(const char* text) {
    if (!StrIsHeap(text)) return;
    ClibStringHeader* header = HeaderOf(text);
    if (header->count <= 1)
        Free(const_cast<char*>(text));
    else
        header->count -= 1;
}

void StrReleaseClear(ClibString* holder) {
    if (holder == nullptr || !StrIsHeap(*holder)) return;
    StrRelease(*holder);
    *holder = nullptr;
}

bool StrShare(ClibString* holder, const char* text) {
    if (holder == nullptr) return false;
    StrRelease(*holder);
    *holder = nullptr;
    if (StrIsHeap(text)) {
        HeaderOf(text)->count += 1;
        *holder = text;
        return true;
    }
    if (StrIsConst(text)) {
        *holder = text;
        return true;
    }
    return false;
}

uint32_t StrLength(const char* text) {
    if (text == nullptr) return 0;
    if (StrIsHeap(text)) return HeaderOf(text)->length;
    size_t n = std::strlen(text);
    return n > 0xFFFFFFFFu ? 0xFFFFFFFFu : static_cast<uint32_t>(n);
}

char* StrBuffer(ClibString text) {
    if (!StrIsHeap(text) || HeaderOf(text)->count > 1) return nullptr;
    return const_cast<char*>(text);
}

bool StrSetLength(ClibString text, uint32_t length) {
    char* buffer = StrBuffer(text);
    if (buffer == nullptr) return false;
    ClibStringHeader* header = HeaderOf(text);
    if (length >= header->capacity) length = header->capacity - 1;
    buffer[length] = '\0';
    header->length = length;
    return true;
}

}  // namespace orva
