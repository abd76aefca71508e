#pragma once
// The two text readers. The DSV reader reads a short descriptor file of "key: value"
// lines that names a raw data file and its image size, and opens that file through the
// raw reader. The Text reader parses a table of numbers, one row per line, with
// optional service-file keys on KEY=value lines, "#" commands that start and end data
// sections, and SPLIT patterns that assign columns to values and coordinates; the
// values go as 64-bit reals into a private temporary file that is served as a BINARY
// data set. Problems of a table go to a log file beside it ("<file>.log"), which is
// kept only when it holds something.
#include <cstddef>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "io/file_layout.h"

namespace orva {

struct InputSource;

// ---- DSV ------------------------------------------------------------------------------------

// The DSV description: the layout (tag "DSV", width and height), the data file and the
// other key/value pairs of the file in file order.
struct DsvInfo : FileLayout {
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

// The Text information object: the layout with tag "TXT".
struct TextInfo : FileLayout {
    TextInfo();
};

// What parsing a table produced (for the open and for tests).
struct TextTableResult {
    int result = 0;        // 2 rows read, 1 nothing read, negative: the failure
    int64_t rows = 0;      // rows in the value file
    int64_t columns = 0;   // values per row
    int64_t lines = 0;     // lines read
    int errors = 0;        // lines written to the log
};

// The descriptor's open: 2 opened, 1 no data, -1 not a text file, -12 row limit,
// -14 no memory, -15 the service-file key tables are missing, -18 no temporary file.
int TextOpen(InputSource* source);
// The same, reporting what was read into *result (may be null).
int TextOpenTable(InputSource* source, TextTableResult* result);

}  // namespace orva
