#pragma once
// Parsers of keyword values and edit fields: flags, lists of up to four numbers,
// ranges, pairs and time texts. All conversions are locale-free and skip leading
// blanks. List items are separated by a ',' or by blanks.
//
// On failure a parser returns -1 (false); outputs of items read before the failure
// are already written, the others are left untouched.
#include <cstdint>

namespace orva {

// A number sets the flag to (number != 0); otherwise a text starting with "ON" or
// "TRUE" sets it and one starting with "OFF" or "FALSE" clears it (any case).
// Returns 1, or -1 for anything else.
int ParseBool(const char* text, bool* flag);

// Up to four finite decimal numbers. Returns the count read (1..4) or -1.
int ParseDoubleValue(const char* text, double values[4]);

// The numbers of ParseDoubleValue as 32-bit words: 0 at or below zero, 0xFFFFFFFF
// at or above 4294967295, else truncated.
int ParseUInt32Clamped(const char* text, uint32_t values[4]);

// Up to four integers, decimal, octal (leading 0) or hexadecimal (leading 0x);
// out-of-range values become INT64_MAX or INT64_MIN. Returns the count or -1.
int ParseInt64Value(const char* text, int64_t values[4]);

// Exactly two finite numbers forming a range (first <= second). Returns 1 or -1;
// the pair is written only on success.
int ParseDoubleChecked(const char* text, double pair[2]);

// One or two finite numbers. Returns how many (1 or 2) or -1.
int ParseDoublePair(const char* text, double* first, double* second);
// As ParseDoublePair for floats; a number outside the float range fails.
int ParseFloatPair(const char* text, float* first, float* second);

// "[[[h:]m:]s:]ms" → milliseconds (h, m, s capped at 59, ms at 999; a negative
// field counts as 0; an empty field as 0). *changed (may be null) tells whether
// the result differs from *milliseconds' previous value. False, outputs untouched,
// for an empty text or a text without any number.
bool ParseTimeText(const char* text, int32_t* milliseconds, bool* changed);

// strtod's value and end for the common decimal texts, faster: at most 15 significant
// digits with a power of ten at most 22 away, where the digits and the power are exact
// doubles, so that one multiplication or division rounds as strtod does (correctly;
// round-to-nearest). Leading blanks are not skipped. False, nothing written, for any
// other text (more digits, larger powers, hexadecimal, names, no digit): strtod's.
bool ParseShortDecimal(const char* text, double* value, char** end);

}  // namespace orva
