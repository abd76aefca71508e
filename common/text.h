#pragma once
// Small helpers on plain NUL-ended texts, and the two checksums of texts the
// system uses as keys.
#include <cstddef>
#include <cstdint>

namespace orva {

// The text, or "" for none.
inline const char* TextOrEmpty(const char* text) { return text != nullptr ? text : ""; }
// A blank within a line: a space or a tab.
inline bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// Copy `text` into `out`, or append it after the text already there, keeping at
// most *size - 1 characters in all, and terminate. *size is the buffer size on
// entry and the new length on return. Appending to a full buffer changes nothing.
void TextCopyBounded(char* out, const char* text, int* size);
void TextAppendBounded(char* out, const char* text, int* size);

// A malloc'ed copy of at most n characters (n < 0: all); nullptr for an empty
// or missing text. Free it with TextFree.
char* TextDupN(const char* text, int n);
void TextFree(char* text);
// strcpy and strlen that accept nullptr (nothing copied, length 0).
char* StrCopy(char* out, const char* text);
size_t StrLen(const char* text);

// Characters before the first control character other than tab, or DEL.
int TextPrintableLength(const char* text);
// Characters before the first control character or one of " \ / > < * ? |.
int FileNameCharsLength(const char* text);
// Replaces tabs by blanks in place.
void TextTabsToBlanks(char* text);
// Characters before the first `c` plus the run of `c` that starts there.
int CountUntilRepeat(const char* text, char c);
// Removes `c` in place; of two adjacent occurrences one remains, so
// 'O''Brien' with its quotes removed becomes O'Brien. Returns 0.
int TextRemoveChar(char* text, char c);

// 0 when the word is in `list` (words separated by NUL, ended by an empty word;
// case-insensitive; entries beginning with '*' are skipped; at most 1024
// entries), else -1.
int FindWordInList(const char* word, const char* list);
// The same for the first n characters of the text.
int FindWordPrefixInList(const char* text, const char* list, int n);

// CRC-32 (reflected 0xEDB88320, start 0xFFFFFFFF, final inversion); 0 for "".
uint32_t TextCrc32(const char* text);
// (c << 8) | c with c the CRC-16/MODBUS of the name; 0xFFFFFF for "".
uint32_t NameHash24(const char* text);

// Entries of a null-ended pointer list, at most 0x40000; CountPointers256 at most 256.
int CountPointers(const void* const* list);
int CountPointers256(const void* const* list);
template <class T>
int CountPointers(T* const* list) {
    return CountPointers(reinterpret_cast<const void* const*>(list));
}
template <class T>
int CountPointers256(T* const* list) {
    return CountPointers256(reinterpret_cast<const void* const*>(list));
}

}  // namespace orva
