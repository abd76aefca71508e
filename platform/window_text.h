#pragma once
// Program texts are 8-bit with codes 128-255 in Windows-1251; the desktop wants UTF-8.
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

}  // namespace orva::platform
