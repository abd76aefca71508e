#pragma once
// Program texts are 8-bit with codes 128-255 in Windows-1251; the desktop wants UTF-8.
#include <string>
#include <string_view>

namespace orva::platform {

// Each byte 0-127 stays; 128-255 become their Windows-1251 characters (0x98, which
// that code page leaves unassigned, becomes U+FFFD).
std::string Cp1251ToUtf8(std::string_view text);
// The reverse; characters outside the code page (and malformed bytes) become '?'.
std::string Utf8ToCp1251(std::string_view text);

}  // namespace orva::platform
