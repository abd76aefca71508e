#include "common/log.h"

#include <cerrno>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>

#include "common/clib.h"
#include "common/paths.h"
#include "common/printf_format.h"

namespace orva {

const char kLogCloseNoticeText[] = "accepted of errors in the application: please check log file...";

namespace {

// Lines may come from more than one thread (the playback timer logs too), so
// the log state is kept under one lock. Recursive: an opener or a message box
// may itself log.
std::recursive_mutex& LogMutex() {
    static std::recursive_mutex m;
    return m;
}

LogOpener gOpener = nullptr;
FILE* gStream = nullptr;
uint32_t gWritten = 0;
bool gCloseNotice = false;
bool gOpening = false;  // set while the opener runs, so a line it logs does not recurse
LogFailureHook gFailureHook = nullptr;
bool gFailureTold = false;  // the stream's failure was told

// Formats a line into the stream, the texts of its arguments escaped (they carry
// command-line items and file names, which may hold terminal controls); returns the
// bytes written, -1 on failure.
int FormatIntoStream(FILE* stream, const char* format, va_list args) {
    try {
        std::string line = VFormatEscaped(format, args);
        if (std::fwrite(line.data(), 1, line.size(), stream) != line.size()) return -1;
        return line.size() > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(line.size());
    } catch (...) {
        return -1;
    }
}

constexpr int32_t kSideLogMax = 0x7FFFFFFF;
constexpr size_t kSideLineBuffer = 200;

bool IsLogBlank(char c) { return c == ' ' || c == '\t' || c == '\v' || c == '\f'; }

// Formats one side-log line into `buffer` (kSideLineBuffer bytes); returns its
// length, or 0 when there is nothing to write. A line that does not fit is cut
// to 199 characters.
size_t FormatSideLine(char* buffer, const char* format, va_list args) {
    int n = VFormat(buffer, kSideLineBuffer, format, args);
    if (n < 0) return 0;  // an encoding error: the buffer holds nothing usable
    size_t length = static_cast<size_t>(n);
    if (length >= kSideLineBuffer) length = kSideLineBuffer - 1;
    buffer[length] = '\0';
    if (length == 0) return 0;
    size_t i = 0;
    while (i < length && IsLogBlank(buffer[i])) ++i;
    if (i == length || buffer[i] == '\n' || buffer[i] == '\r') return 0;
    return length;
}

void SideLogCount(LogFile* log, int written) {
    if (written <= 0) return;
    if (log->written >= kSideLogMax - written)
        log->written = kSideLogMax;
    else
        log->written += written;
    std::fflush(log->stream);
}

bool SideLogReady(const LogFile* log, const char* format) {
    return log != nullptr && format != nullptr && log->written <= static_cast<int32_t>(kLogSizeLimit) &&
           log->stream != nullptr;
}

}  // namespace

void LogSetFailureHook(LogFailureHook hook) {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    gFailureHook = hook;
}

void LogSetOpener(LogOpener opener) {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    gOpener = opener;
}

bool LogEnabled() {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    return gOpener != nullptr;
}

uint32_t LogWrittenBytes() {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    return gWritten;
}

void LogSetCloseNotice(bool on) {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    gCloseNotice = on;
}

bool LogCloseNotice() {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    return gCloseNotice;
}

void LogPrintf(const char* format, ...) {
    std::unique_lock<std::recursive_mutex> lock(LogMutex());
    if (gOpener == nullptr) return;
    if (format == nullptr) {
        if (gStream != nullptr) {
            std::fclose(gStream);
            gStream = nullptr;
        }
        bool notice = gCloseNotice;
        lock.unlock();
        if (notice) ClibMessageBox(nullptr, kLogCloseNoticeText, nullptr, 0);
        return;
    }
    if (gStream == nullptr) {
        if (gOpening) return;
        gOpening = true;
        FILE* stream = gOpener();
        gOpening = false;
        if (stream == nullptr) return;  // the next line tries again
        gStream = stream;
        gWritten = 0;  // a fresh stream: the size limit counts this file only
        gFailureTold = false;
    }
    if (gWritten > kLogSizeLimit) return;
    va_list args;
    va_start(args, format);
    errno = 0;
    int n = FormatIntoStream(gStream, format, args);
    va_end(args);
    if (n > 0) {
        std::fputc('\n', gStream);
        uint64_t total = static_cast<uint64_t>(gWritten) + static_cast<uint64_t>(n) + 1;
        gWritten = total >= 0xFFFFFFFFull ? 0xFFFFFFFFu : static_cast<uint32_t>(total);
    }
    // A full or read-only disk takes nothing: whoever listens hears it once.
    const bool failed = std::fflush(gStream) != 0 || std::ferror(gStream) != 0;
    if (failed && !gFailureTold) {
        gFailureTold = true;
        const int error = errno;
        if (gFailureHook != nullptr) gFailureHook(error);
    }
}

void LogResetForTest() {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    if (gStream != nullptr) std::fclose(gStream);
    gStream = nullptr;
    gOpener = nullptr;
    gWritten = 0;
    gCloseNotice = false;
    gOpening = false;
    gFailureHook = nullptr;
    gFailureTold = false;
}

void LogSetWrittenBytesForTest(uint32_t bytes) {
    std::lock_guard<std::recursive_mutex> lock(LogMutex());
    gWritten = bytes;
}

bool LogFileOpen(LogFile* log, const char* folder, const char* name, const char* extension,
                 bool dotFlag) {
    if (log == nullptr) return false;
    if (name != nullptr && name[0] != '\0') {
        // A new name: the old file is finished (and removed when it stayed empty).
        LogFileClose(log);
    } else if (log->stream != nullptr) {
        std::fclose(log->stream);
        log->stream = nullptr;
    }
    log->written = 0;
    char path[kPathMax];
    if (name != nullptr && name[0] != '\0') {
        if (!MakeFilePath(path, folder, name, extension, dotFlag)) return false;
    } else {
        if (log->path == nullptr) return false;
        size_t length = std::strlen(log->path);
        if (length >= kPathMax) return false;
        std::memcpy(path, log->path, length + 1);
    }
    FILE* stream = std::fopen(path, "w");
    if (stream == nullptr) return false;
    char* copy = static_cast<char*>(std::malloc(std::strlen(path) + 1));
    if (copy == nullptr) {
        std::fclose(stream);
        std::remove(path);
        return false;
    }
    std::strcpy(copy, path);
    std::free(log->path);
    log->path = copy;
    log->stream = stream;
    return true;
}

void LogFilePrintf(LogFile* log, const char* format, ...) {
    if (!SideLogReady(log, format)) return;
    char buffer[kSideLineBuffer];
    va_list args;
    va_start(args, format);
    size_t length = FormatSideLine(buffer, format, args);
    va_end(args);
    if (length == 0) return;
    char last = buffer[length - 1];
    bool ends = last == '\n' || last == '\r';
    SideLogCount(log, std::fprintf(log->stream, ends ? "%s" : "%s\n", buffer));
}

void LogFilePrintfName(LogFile* log, const char* name, const char* format, ...) {
    if (!SideLogReady(log, format)) return;
    char buffer[kSideLineBuffer];
    va_list args;
    va_start(args, format);
    size_t length = FormatSideLine(buffer, format, args);
    va_end(args);
    if (length == 0) return;
    char last = buffer[length - 1];
    bool ends = last == '\n' || last == '\r';
    int n;
    if (name == nullptr)
        n = std::fprintf(log->stream, ends ? "%s" : "%s\n", buffer);
    else
        n = std::fprintf(log->stream, ends ? "%s '%s'" : "%s '%s'\n", buffer, name);
    SideLogCount(log, n);
}

bool LogFileClose(LogFile* log) {
    if (log == nullptr || log->stream == nullptr) {
        // Closing forgets the path, also when the stream was already gone.
        if (log != nullptr) {
            std::free(log->path);
            log->path = nullptr;
        }
        return false;
    }
    std::fclose(log->stream);
    log->stream = nullptr;
    bool kept = log->written > 0;
    if (!kept && log->path != nullptr) std::remove(log->path);
    std::free(log->path);
    log->path = nullptr;
    return kept;
}

}  // namespace orva
