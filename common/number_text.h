#pragma once
// Texts of numbers, times, byte counts, sample types and data kinds, as shown in
// the user interface, the logs and the headers of written files.
//
// Every conversion is locale-free: the process keeps the C numeric locale, and the
// double formatters trim around the decimal point the base library reports
// (ClibDecimalPoint()).
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

namespace orva {

// ---- double texts ----------------------------------------------------------------

// `size` significant digits: fixed notation when the value's decimal point lies
// within them, otherwise exponent notation with size - 1 digits after the point;
// then trailing zeros, the exponent's leading zeros and a final point are dropped.
// The buffer must hold size + 8 bytes. Returns the buffer; *length (may be null)
// receives the text's length.
char* FormatDoubleFit(int size, char* buffer, double value, int* length);

// `significant` digits (at most the integer digits when |value| >= 1) and
// `decimals` decimals; exponent notation when the value falls outside their reach.
// The buffer must hold significant + 2 * decimals + 8 bytes. Returns the length.
int FormatDouble(int significant, int decimals, double value, char* buffer);

// As FormatDouble with `digits` significant digits, whatever the value's size.
int FormatDoubleDigits(int digits, int decimals, double value, char* buffer);

// The shortest text that reads back as the very same double: the fewest significant digits
// that do, in fixed or exponent form, whichever is shorter ("198.5", "0.1", "1e-05",
// "2.5e+20"); "0" for zeros of either sign, "inf", "-inf" and "nan" otherwise.
std::string ShortestDoubleText(double value);

// The best text of at most `size` characters for a header value (the buffer holds
// size + 1 bytes): FormatDoubleFit, then "%.13G", "%G", "%f". Returns the length,
// 0 (empty buffer) when size is 0 or nothing fits.
int NumberText13G(char* buffer, int size, double value);

// ---- integer texts -----------------------------------------------------------------

// "%u" / "%I64u" into a buffer of `size` bytes. Returns the length, or -1 when the
// text does not fit (the buffer is then left empty when size > 0).
int UIntTextBuf(char* buffer, size_t size, uint32_t n);
int UInt64TextBuf(char* buffer, size_t size, uint64_t n);
// As UInt64TextBuf, but a text that does not fit gives an empty buffer and 0.
int UInt64TextOrEmpty(char* buffer, size_t size, uint64_t n);

// printf into a buffer of `size` bytes (the system's "%I64d" spellings understood).
// A text that does not fit is cut to size - 1 characters and that length returned;
// size 0 writes nothing and returns 0.
int BoundedPrintf(char* buffer, size_t size, const char* format, ...);

// n as at least three digits ("007", "042", "123"); a negative n gives "000".
// The buffer holds 12 bytes. Returns the length.
int ThreeDigitText(int n, char* buffer);

// ---- time texts --------------------------------------------------------------------

// "HH:MM:SS:mmm" of a count of seconds; hours are not wrapped at 24. Counts beyond
// ±86400000 are taken as ±86400000, NaN as 0. Buffer of 24 bytes. Returns the length.
int FormatTimeHMSms(char* buffer, double seconds);

// "2wk 3d 4:05:06", "1d 0:00:07", "1:02:03" or "2:03" of a count of seconds (a
// negative count is 0). Buffer of 40 bytes. Returns the length.
int TimeSpanText(char* buffer, int64_t seconds);

// The local time now in the asctime form ("Mon Dec  7 15:25:52 2026\n", with its
// own line end) into a buffer of at least 32 bytes; "\n" when the time cannot be had.
// Returns the length.
int LocalTimeAsctime(char* buffer);

// ---- sizes, types and kinds --------------------------------------------------------

// "999 Byte(s)", "1.500 Kb", "2 Mb", "3.041 Gb" (decimal units). Buffer of 32 bytes.
// Returns the length.
int ByteSizeText(char* buffer, uint64_t bytes);

// Element types are the flag words of stored data (0x10/0x40 reals, 0x100 unsigned).
// "UINT16, Dim/Channels 3", "IEEE-754 32Bits" (channels 0 adds nothing).
// Buffers of 64 bytes. Each returns the length.
int DataTypeText(uint32_t type, uint32_t bits, uint32_t channels, char* buffer);
// "INT8, Dim/Channels 1, Axis 2" (channels and axis always).
int DataTypeTextAxis(uint32_t type, uint32_t bits, uint32_t channels, uint32_t axis,
                     char* buffer);
// "Integer 16, Dim/Channels 3", "Float 64".
int DataTypeTextShort(uint32_t type, uint32_t bits, uint32_t channels, char* buffer);

// Data kinds are the kind bits of a data description's format word.
// "PIXEL", "CURVE.SPECTR", ... ; empty when no kind bit is set. Buffer of 32 bytes.
// Returns the length.
int DataKindText(uint32_t format, char* buffer);

// A 16-byte identifier and a number as "%.8X-%.8X-%.16I64X-%.8X" (first two 32-bit
// words, the 64-bit third part, the number). Buffer of 48 bytes. Returns the length.
int GuidText(char* buffer, const void* id, uint32_t number);
// The same text in braces written to a stream. Returns fprintf's result (-1 when
// the stream or the identifier is null).
int WriteGuidText(FILE* stream, const void* id, uint32_t number);

}  // namespace orva
