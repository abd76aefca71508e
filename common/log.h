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
// Told once per opened log stream when a line could not be written to it (a full or
// read-only disk): the system's error number. Called with the log's lock held: it must
// not log. Null (the default) tells nobody.
using LogFailureHook = void (*)(int error);
void LogSetFailureHook(LogFailureHook hook);
// Bytes written to the program log since it was opened.
uint32_t LogWrittenBytes();

// Once this many bytes are written, further lines are dropped (the line that
// crosses the limit is still written whole).
constexpr uint32_t kLogSizeLimit = 0x40000000u;

// The close notice: when set, closing the log shows kLogCloseNoticeText through
// ClibMessageBox. Off by default.
extern const char kLogCloseNoticeText[];
void LogSetCloseNotice(bool on);
bool LogCloseNotice();

// Test support: closes the log without the notice, removes the opener, clears
// the count and the notice flag.
void LogResetForTest();
// Test support: sets the byte count, to reach the size limit without writing 1 GiB.
void LogSetWrittenBytesForTest(uint32_t bytes);

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
