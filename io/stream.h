#pragma once
// Shared file streams: every reader and writer reaches its file through a
// StreamRecord, one open POSIX descriptor with its name, mode and length.
// Records opened only for reading are shared, so that several data sets that
// read one file hold one descriptor; reads and writes go through pread/pwrite
// at explicit offsets, so holders never disturb each other's position.
// Also the two small tables kept next to a stream: the frame cache and the
// frame table.
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace orva {

// Open-mode flags of the program (translated to O_* flags when opening).
constexpr uint32_t kStreamWriteOnly = 0x1;
constexpr uint32_t kStreamReadWrite = 0x2;
constexpr uint32_t kStreamTemporary = 0x40;  // the name is unlinked right after opening
constexpr uint32_t kStreamCreate = 0x100;
constexpr uint32_t kStreamTruncate = 0x200;
constexpr uint32_t kStreamBinary = 0x8000;   // readers open with this
// Any of these makes a record private: never shared, never found by the shared look-up.
constexpr uint32_t kStreamPrivateMask = 0x143;

struct StreamRecord {
    StreamRecord* next = nullptr;
    StreamRecord* prev = nullptr;
    int32_t refCount = 0;
    int32_t fd = -1;
    uint32_t mode = 0;
    std::string name;
    int64_t length = 0;
    std::string secondName;
    bool hasSecondName = false;
    // The file's identity: two names are one stream when device and inode match.
    dev_t device = 0;
    ino_t inode = 0;
};

// Opens (or shares) a record for the file and makes *holder point at it.
// 2: open with data; 1: open but empty (a read-only record of an empty file is
// not kept); -14: no memory; other negative: the error code of the failed open.
int StreamOpen(StreamRecord** holder, uint32_t mode, const char* name,
               const char* secondName = nullptr);
// Drops the holder's record (the last holder closes and frees it); *holder becomes null.
void StreamClose(StreamRecord** holder);
bool StreamIsReadOnly(const StreamRecord* record);
// The first record, from `from` (inclusive) or the list head, open on the file the
// name denotes (same device and inode).
StreamRecord* FindOpenStream(StreamRecord* from, const char* name);
// Prepares a name for a new output file: an open file is moved aside to a numbered
// name (its holders keep reading it), a file nobody holds is moved to a free name
// (keep) or deleted. 2, or a negative code.
int StreamVacateFile(const char* name, bool keep);
// At exit: every descriptor is closed (written ones flushed first); records with a
// count of 1 or less are freed, the others lose one count and stay, closed.
void CloseAllStreams();
// The list head (tests and diagnostics).
StreamRecord* StreamListHead();

// Positional I/O: loops over partial transfers and EINTR. Returns the bytes moved,
// or -1 with errno. A write past the recorded length extends it.
int64_t StreamRead(StreamRecord* record, int64_t offset, void* buffer, size_t size);
int64_t StreamWrite(StreamRecord* record, int64_t offset, const void* buffer, size_t size);
// Bytes written so far, by this process, to temporary streams (the files the readers
// of compressed pictures and text tables decode into).
uint64_t StreamTemporaryBytesWritten();

// Moves the file to the first free name formed by appending a number ("name1",
// "name2", ...), never replacing a file; the new name goes to `out` (size bytes).
// Non-zero when moved.
int MakeNumberedFileName(const char* name, char* out, size_t size);
// Moves the file to a free name next to it; non-zero when moved.
int MakeUniqueFileName(const char* name);

// ---- Frame cache ---------------------------------------------------------------------------

// Frames at most this far above the base lie in the cache's window.
constexpr int64_t kFrameCacheWindow = 0x800000;
// Bytes per entry when the owner does not say; the last two bytes are the flags.
constexpr uint32_t kFrameCacheDefaultEntry = 32;

struct FrameCache {
    uint32_t capacity = 0;
    uint32_t current = 0;
    int64_t baseFrame = 0;
    uint8_t* entries = nullptr;  // 32-byte aligned, zeroed when grown
    uint32_t entrySize = kFrameCacheDefaultEntry;  // set by the owner before the first seek
};

// Makes the frame the current entry, growing the array so that it holds it.
bool FrameCacheSeek(FrameCache* cache, int64_t frame, int64_t endFrame);
void FrameCacheFree(FrameCache* cache);
void FrameCacheInvalidate(FrameCache* cache);
// The current entry (null without an array).
uint8_t* FrameCacheCurrent(FrameCache* cache);

// ---- Frame table ---------------------------------------------------------------------------

struct FrameSectionRecord {
    int64_t position = 0;  // file position of the section's data
    int64_t sizeX = 0;
    int64_t sizeY = 0;
    int64_t sizeZ = 0;
};

struct FrameIndexEntry {
    uint32_t sectionCount = 0;
    uint32_t firstSection = 0;
};

struct FrameTable {
    FrameSectionRecord* sections = nullptr;
    uint32_t sectionCapacity = 0;
    uint32_t sectionCount = 0;
    FrameIndexEntry* frames = nullptr;
    uint32_t frameCapacity = 0;
    uint32_t frameCount = 0;
    bool incomplete = false;
};

bool FrameTableGrowSections(FrameTable* table, uint32_t needed);
bool FrameTableGrowIndex(FrameTable* table);
void FrameTableClear(FrameTable* table);
// Scans the table; each output may be null.
void FrameTableExtent(const FrameTable* table, int64_t extent[3], uint32_t* largestCount,
                      bool* sameCount, bool* sameSizes, int32_t frameStep);

}  // namespace orva
