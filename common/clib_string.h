#pragma once
// Reference-counted strings whose 16-byte header lies in front of the text, so
// that the same pointer serves any function that takes a plain text.
//
//   offset -16  int32   reference count (1 for a new string)
//          -12  uint32  length, without the terminator
//           -8  uint32  capacity: characters the block holds beyond the header
//           -4  char[4] "XSRW" heap string, "XSRO" constant
//
// Constants (ClibConstString) carry {0, 0, 0, "XSRO"} and are never counted,
// changed or freed. Any other pointer is a plain text the string operations do
// not own. Reference counts are plain integers: share a string only among
// objects used by one thread.
//
// Heap strings and constants keep their text at an address of 16 modulo 32, so
// the header of a real string never crosses a page boundary; the tag is read
// only for pointers with that alignment.
#include <cstddef>
#include <cstdint>

namespace orva {

using ClibString = const char*;

struct ClibStringHeader {
    int32_t count;
    uint32_t length;
    uint32_t capacity;
    char tag[4];
};
static_assert(sizeof(ClibStringHeader) == 16);

// Most characters asked for in one string (terminator included).
constexpr uint32_t kClibStringMaxChars = 0x100001;

// A constant label with the "XSRO" header: `static constexpr ClibConstString kName{"text"};`
template <size_t N>
struct alignas(32) ClibConstString {
    int32_t count = 0;
    uint32_t length = 0;
    uint32_t capacity = 0;
    char tag[4] = {'X', 'S', 'R', 'O'};
    char text[N] = {};

    constexpr ClibConstString(const char (&s)[N]) {
        for (size_t i = 0; i < N; ++i) text[i] = s[i];
    }
    constexpr const char* c_str() const { return text; }
    constexpr operator const char*() const { return text; }
};
template <size_t N>
ClibConstString(const char (&)[N]) -> ClibConstString<N>;

// A new heap string of the first `length` characters of the text (below 0: the
// whole text); nullptr when the text is missing or memory is short.
ClibString StrDup(const char* text, int length);
// Replaces the holder's string by StrDup(text, -1) (nullptr for a missing text)
// and releases the old one; false when the copy fails (holder unchanged).
bool StrSetCopy(ClibString* holder, const char* text);
// Puts the first `length` characters (below 0: all) of the text into the
// holder's string; a missing text assigns "". A string shared with other
// holders is never written in place: the holder gets its own copy.
bool StrAssign(ClibString* holder, const char* text, int length);
// Gives the holder's string room for at least n characters (terminator
// included; 0 means 1, at most kClibStringMaxChars). Returns whether the holder
// has a string.
bool StrReserve(ClibString* holder, uint32_t n);
// Copies the source's characters and length into a heap string with enough
// capacity; a missing source gives "". False (nothing changed) when the target
// is not a heap string or too small.
bool StrCopyInto(ClibString target, const char* source);
// Lowers a heap string's count, freeing it at the last owner; constants and
// plain texts are left alone.
void StrRelease(const char* text);
// StrRelease of the holder's string; clears the holder when it was a heap string.
void StrReleaseClear(ClibString* holder);
// Releases the holder's string and clears the holder; then stores the text,
// raising the count of a heap string. Plain texts and nullptr are refused.
bool StrShare(ClibString* holder, const char* text);
// The length field of a heap string, else the counted length; 0 for nullptr.
uint32_t StrLength(const char* text);
// True for heap strings and constants ("XSRW"/"XSRO"); false for nullptr.
bool StrIsClib(const char* text);

// Inspection and direct access.
bool StrIsHeap(const char* text);
bool StrIsConst(const char* text);
// The header of a heap string or constant, else nullptr.
const ClibStringHeader* StrHeader(const char* text);
// Writable text of a heap string held by one owner only, else nullptr.
char* StrBuffer(ClibString text);
// Sets the length of a heap string written through StrBuffer (cut to its
// capacity minus one) and terminates it there.
bool StrSetLength(ClibString text, uint32_t length);

}  // namespace orva
