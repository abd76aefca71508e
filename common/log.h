#pragma once
// The program log (one per process) and side logs kept beside data files.
#include <cstdint>
#include <cstdio>

namespace orva {

// Returns an open stream for the program log, or nullptr.
using LogOpener = FILE* (*)();

// Installs the function that opens the log; while none is installed logging is off.
void LogSetOpener(LogOpener opener);
bool LogEnabled();
// Appends one printf-style line (the system's "%I64d"-style spellings are understood).
// LogPrintf(nullptr) closes the log. Callers logging a text of their own pass "%s".
void LogPrintf(const char* format, ...);
// Bytes written to the program log since it was opened.
uint32_t LogWrittenBytes();

// A named side log beside a data file; deleted on close when nothing was written.
struct LogFile {
    FILE* stream = nullptr;
    char* path = nullptr;
    int32_t written = 0;
};

bool LogFileOpen(LogFile* log, const char* folder, const char* name, const char* extension,
                 bool dotFlag);
void LogFilePrintf(LogFile* log, const char* format, ...);
void LogFilePrintfName(LogFile* log, const char* name, const char* format, ...);
bool LogFileClose(LogFile* log);

}  // namespace orva
