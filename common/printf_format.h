#pragma once
// printf-style formatting that understands the system's own spellings
// ("%I64d", "%I64u", "%I64X", "%I32d", ...) by translating them to the C library's.
#include <cstdarg>
#include <cstddef>
#include <string>

namespace orva {

// The format with every "%…I64…" length prefix turned into "ll" and "%…I32…" dropped.
std::string TranslateFormat(const char* format);
// vsnprintf on the translated format; same return convention as vsnprintf.
int VFormat(char* buffer, size_t size, const char* format, va_list args);
// The whole formatted text.
std::string VFormatString(const char* format, va_list args);
std::string FormatString(const char* format, ...);

}  // namespace orva
