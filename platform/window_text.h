#pragma once
// Program texts are 8-bit with codes 128-255 in Windows-1251; the desktop wants UTF-8.
// File names come from the system in UTF-8 and are kept as they are, so a text may hold
// both: a well-formed UTF-8 sequence of two to four bytes is one character, every other
// byte is one Windows-1251 character.
#include <cstdint>
#include <string>
#include <string_view>

namespace orva::platform {

// Each byte 0-127 stays; 128-255 become their Windows-1251 characters (0x98, which
// that code page leaves unassigned, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view text);
// The reverse; characters outside the code page (and malformed bytes) become '?'.
std::string Utf8ToCp1251(std::string_view text);
// One character: the Unicode code point of a byte (0 for the unassigned 0x98), and the
// byte of a code point (-1 when the code page has none).
uint32_t Cp1251ToUnicode(uint8_t byte);
int UnicodeToCp1251(uint32_t code);

// The length (2..4) of the well-formed UTF-8 sequence at `p` within `available` bytes, its
// code point in *code; 0 when no such sequence starts there (overlong forms, surrogates
// and code points past U+10FFFF are not well-formed).
int Utf8SequenceAt(const char* p, size_t available, uint32_t* code);
// A program text as UTF-8: its UTF-8 sequences as they are, every other byte from
// Windows-1251 (the clipboard, window titles).
std::string ProgramTextToUtf8(std::string_view text);


}  // namespace orva::platform
