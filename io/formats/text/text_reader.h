#pragma once
// The two text readers. The DSV reader reads a short descriptor file of "key: value"
// lines that names a raw data file and its image size, and opens that file through the
// raw reader. The Text reader parses a table of numbers, one row per line, with
// optional service-file keys on KEY=value lines, "#" commands that start and end data
// sections, and SPLIT patterns that assign columns to values and coordinates; the
// values go as 64-bit reals into a private temporary file that is served as a BINARY
// data set, and the other columns (coordinates, second values) into side files of their
// own, which the table's information component keeps. "#data NAME [rb]" takes a
// section's rows from another file, as text or as binary records of 64-bit reals (one
// per column). Problems of a table go to a log file beside it ("<file>.log"), which is
// kept only when it holds something.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "io/file_layout.h"

namespace orva {

struct InputSource;
struct StreamRecord;

// ---- DSV ------------------------------------------------------------------------------------

inline constexpr ComponentId kDsvInfoId{{FourCC("DSVD"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// The DSV description, a format information component: the layout (tag "DSV", width
// and height), the data file and the other key/value pairs of the file in file order.
struct DsvInfo : FormatInfoOf<DsvInfo, kDsvInfoId> {
    DsvInfo();
    std::string dataFile;
    std::vector<std::pair<std::string, std::string>> extra;
    int recognised = 0;  // keys of the keyword table that were handled
};

// Lines of a DSV file are at most this long; a longer one ends the reading.
constexpr size_t kDsvLineLimit = 1024;
// More lines than this end the reading.
constexpr int kDsvMaxLines = 4096;

// Parses the DSV file at `path` into *info: 2 read, or the open error of the file.
int DsvParseFile(const char* path, DsvInfo* info);
// The "File Name" value as a path: quotes or angle brackets removed (the closing mark
// must end the value), "\" separators turned into "/", a drive letter dropped, and a
// relative name resolved against `folder`. False when refused.
bool DsvResolveFileName(const char* value, const std::string& folder, std::string* out);
// The descriptor's open: 2 and above opened, 0 keywords read but no data file, -1 not
// a DSV file, -14 no memory, or the result of opening the data file.
int DsvOpen(InputSource* source);

// ---- Text tables ---------------------------------------------------------------------------

// Lines of a table are at most this long; a longer line is a split error, never two rows.
constexpr size_t kTextLineLimit = 2048;
// Rows past this count stop the reading.
constexpr int64_t kTextMaxRows = 0x40000000;
// Name prefix of the temporary files the Text reader writes.
constexpr char kTextFilePrefix[] = "rwt";

inline constexpr ComponentId kTextInfoId{{FourCC("TEXT"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// A file of records written beside the value file: one record of `width` 64-bit reals
// per row read into it. The reader does not read these back.
struct TextSideFile {
    StreamRecord* stream = nullptr;  // private temporary file ("rwt", already unlinked)
    int64_t rows = 0;
    int64_t width = 0;
};

// The row buffers of a table: the values (the data set), the second values ("DV"
// columns), the coordinates ("A", "X", "Y", "Z") and the second coordinates ("DA").
enum TextBuffer : int {
    kTextValues = 0,
    kTextSecondValues = 1,
    kTextCoordinates = 2,
    kTextSecondCoordinates = 3,
};
constexpr int kTextBufferCount = 4;

// The Text information component: the layout with tag "TXT", and the side files of the
// table it describes (one reference each; the value slot stays empty, that file is the
// data set's), which live as long as the data set that keeps the component.
struct TextInfo : FormatInfoOf<TextInfo, kTextInfoId> {
    TextInfo();
    ~TextInfo() override;
    TextSideFile sides[kTextBufferCount];
};

// What parsing a table produced (for the open and for tests).
struct TextTableResult {
    TextTableResult() = default;
    ~TextTableResult();  // closes the side files still held
    TextTableResult(const TextTableResult&) = delete;
    TextTableResult& operator=(const TextTableResult&) = delete;

    int result = 0;        // 2 rows read, 1 nothing read, negative: the failure
    int64_t rows = 0;      // rows in the value file
    int64_t columns = 0;   // values per row
    int64_t lines = 0;     // lines read
    int errors = 0;        // lines written to the log
    int state = 0;         // reader state at the end: 0 reading, 1 rows, 2 section ended,
                           // 3 stopped (also: sizes asked for beyond the rows read), 5 failed
    // The side files by buffer as the component holds them, with a reference of their own
    // (the value slot stays empty); only when the open succeeded.
    TextSideFile sides[kTextBufferCount];
};

// The descriptor's open: 2 opened, 1 no data, -1 not a text file, -12 row limit,
// -14 no memory, -15 the service-file key tables are missing, -18 no temporary file.
int TextOpen(InputSource* source);
// The same, reporting what was read into *result (may be null).
int TextOpenTable(InputSource* source, TextTableResult* result);

}  // namespace orva
