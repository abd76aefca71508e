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

namespace orva {

// A text from outside the program (a command-line item, a file name, a line of a file)
// made safe for a log: control characters (but TAB), DEL, the C1 controls and every byte
// that is not part of well-formed UTF-8 are written as "\xNN"; the rest stays as it is.
std::string EscapeOutsideText(const char* text, size_t length);

// VFormatString with the text of every "%s" and "%c" argument escaped as above; the
// format's own characters (the program's texts, 8-bit ones included) stay as they are.
std::string VFormatEscaped(const char* format, va_list args);

}  // namespace orva
