#pragma once
// Number fields: setting and reading a widget's text and the typed value behind a
// number field (a widget whose kind is 5..19): reading the text into the
// value, plainly or through the expression calculator, within the limits of the
// value's type and the field's own range, and formatting the value back into text.
// UI thread only.
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "toolkit/widget_props.h"   // the other widget properties

namespace orva {

struct gElement;
struct gWindow;
struct CalcContext;

// Value kinds (gElement::kind 5..19).
enum gValueKind : int32_t {
    kValueInt32 = 5,
    kValueBinary = 6,
    kValueUInt32 = 7,
    kValueBool = 8,
    kValueInt64 = 9,
    kValueUInt64 = 10,
    kValueHex = 11,        // bare hexadecimal digits
    kValueHex0x = 12,      // "0x" and hexadecimal digits
    kValueSeconds = 13,    // f64 seconds, shown as a time
    kValueMillis = 14,     // u32 milliseconds, shown as a time
    kValueTimeSpan = 15,   // u64 seconds, shown as a span ("1d 0:00:07")
    kValueAngle = 16,      // f64 degrees
    kValuePercent = 17,    // f64 percent
    kValueFloat = 18,
    kValueDouble = 19,
};
inline bool gIsValueKind(int32_t kind) { return kind >= kValueInt32 && kind <= kValueDouble; }

// The value record of a number field: three eight-byte words read as i32, u32, i64,
// u64, f32 or f64 by the value kind (narrow types in the low bytes). A minimum equal
// to the maximum means no range.
struct gValueRecord {
    uint64_t value = 0, minimum = 0, maximum = 0;
};
template <class T> inline uint64_t gValueBits(T v) {
    static_assert(sizeof(T) <= 8);
    uint64_t bits = 0;
    std::memcpy(&bits, &v, sizeof v);
    return bits;
}
template <class T> inline T gValueAs(uint64_t bits) {
    static_assert(sizeof(T) <= 8);
    T v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

// The widget's value record (created zeroed when `create`; null otherwise when it has
// none). Forgotten when the widget is destroyed.
gValueRecord* gWgtValueRecord(gElement* e, bool create);
// Makes the widget a number field of the kind with value, minimum and maximum bits.
void gWgtSetNumberField(gElement* e, int32_t kind, uint64_t value, uint64_t minimum = 0, uint64_t maximum = 0);

// The toolkit's calculator context (freed at shut-down through gHooks().calcClear).
CalcContext* gToolkitCalc();

// ---- Text ---------------------------------------------------------------------------
// Empty or null clears the text; otherwise assigns it and measures it again.
void gWgtSetText(gElement* e, const char* text);
void gWgtSetTextN(gElement* e, const char* text, int32_t length);   // -1: up to the NUL
// Copies at most size - 1 characters and a NUL; with trim leading blanks are skipped.
int32_t gWgtGetText(const gElement* e, char* buffer, int32_t size, bool trim);

// ---- Reading ----------------------------------------------------------------------------
bool gWgtReadNumber(const gElement* e, double* out, bool useCalculator);
bool gWgtReadFloat(const gElement* e, float* out, bool useCalculator);
bool gWgtReadInt(const gElement* e, int32_t* out, bool useCalculator);
bool gWgtReadUInt(const gElement* e, uint32_t* out, bool useCalculator);
bool gWgtReadInt64(const gElement* e, int64_t* out, bool useCalculator);
bool gWgtReadUInt64(const gElement* e, uint64_t* out, bool useCalculator);
bool gWgtReadHex(const gElement* e, uint32_t* out);
bool gWgtReadBinary(const gElement* e, uint32_t* out);
bool gWgtReadTime(const gElement* e, int32_t* milliseconds);
// Reads the text into the value record by the kind, clamps into the range, reduces
// angles; false for other kinds, without text or when the reader fails.
bool gWgtReadValue(gElement* e, bool useCalculator);

// ---- Formatting -------------------------------------------------------------------------
// Formats the value by the kind into buffer (size bytes; an overflow keeps size - 1
// characters) and sets it as the text. False for other kinds or without a record.
bool gWgtFormatValue(gElement* e, char* buffer, size_t size);
bool gWgtFormatValue(gElement* e);   // into a private buffer
// The text of a value without touching any widget (editing: no unit mark).
int gFormatValueText(int32_t kind, uint64_t value, int32_t maxLength, bool editing, char* buffer, size_t size);

}  // namespace orva
