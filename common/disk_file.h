#pragma once
// DiskFile: the base of every object that reads or writes a whole file
// (settings, keyword and script files, service descriptions, masks, palettes).
// It owns a path, an open buffered stream and a mode, checks the target's file
// system before writing, can write through a temporary copy that replaces the
// target only once the whole body was written, and can keep a ".bak" copy of
// what it replaces. Subclasses supply the body through Load and Save.
#include <cstdint>
#include <cstdio>
#include <string>

namespace orva {

// Mode bits. A mode writes when it has any of kDiskUpdate, kDiskWrite, kDiskAppend.
constexpr uint32_t kDiskRead = 0x01;       // read
constexpr uint32_t kDiskUpdate = 0x02;     // read and write the existing file; clears kDiskRead
constexpr uint32_t kDiskWrite = 0x04;      // write a new file (create or truncate)
constexpr uint32_t kDiskAppend = 0x08;     // append; with kDiskTemp it becomes kDiskWrite
constexpr uint32_t kDiskText = 0x10;       // text mode (no effect on Linux)
constexpr uint32_t kDiskShortExt = 0x20;   // fall back to / replace the name with a 3-letter extension
constexpr uint32_t kDiskTemp = 0x40;       // write through a temporary copy in the target's folder
constexpr uint32_t kDiskSubclass80 = 0x80;   // kept for subclasses, not interpreted here
constexpr uint32_t kDiskDropEmpty = 0x100;   // a written file that is empty at close is discarded
constexpr uint32_t kDiskBackup = 0x200;      // keep the replaced target as its ".bak" name
constexpr uint32_t kDiskSubclass400 = 0x400; // kept for subclasses, not interpreted here

constexpr uint32_t kDiskWriteBits = kDiskUpdate | kDiskWrite | kDiskAppend;
// A change in any of these bits closes an open stream when the mode is set again.
constexpr uint32_t kDiskReopenBits = 0x5F;

inline bool DiskModeWrites(uint32_t mode) { return (mode & kDiskWriteBits) != 0; }

// What the drive check before writing needs to know of a file system.
struct DriveStatus {
    bool readOnly = false;              // mounted read-only
    uint64_t freeBlocksForCaller = 0;   // blocks an unprivileged caller may still use
};
// Queries the file system holding `folder`; false when it cannot be queried
// (a folder that does not exist), which counts as ready.
using DriveStatusQuery = bool (*)(const char* folder, DriveStatus* out);
// Replaces the query (statvfs by default); nullptr restores the default. Tests use it
// to simulate read-only or full file systems.
void SetDriveStatusQuery(DriveStatusQuery query);

// Opens an existing file for reading (`mode` "r" or "rb") without ever blocking on it:
// only a regular file is opened (symbolic links followed). nullptr when it cannot be
// opened (errno set) or is not a regular file (a FIFO, a device, a folder: *notRegular
// set when given).
FILE* OpenRegularFile(const char* path, const char* mode, bool* notRegular = nullptr);

// The file a path names once its symbolic links are followed (the last component's
// chain; the target need not exist). Saving through a link writes this file, so that
// the link stays a link.
std::string ResolveLinks(const std::string& path);

class DiskFile {
public:
    // All fields cleared, state 2, then SetPath(path, mode). A null or empty path
    // leaves the object without a path.
    explicit DiskFile(const char* path = nullptr, uint32_t mode = 0);
    // Closes (keeping or discarding the result as Close does).
    virtual ~DiskFile();
    DiskFile(const DiskFile&) = delete;
    DiskFile& operator=(const DiskFile&) = delete;

    // Reads the body from the open stream.
    virtual bool Load() = 0;
    // Writes the body to the open stream.
    virtual bool Save() = 0;
    // Called by SaveKeepOpen after it opened the file; the default accepts.
    virtual bool OnOpened() { return true; }
    // Called whenever an open, load or save fails; the default does nothing.
    virtual void OnFailed() {}

    // Sets the path (when non-empty and different; an open file is closed first)
    // and the mode (when non-zero; normalised), resets the state and clears
    // accepted; for a writing mode checks the target's file system (state -21
    // and errno EROFS or ENOSPC when it is read-only or full, false). Paths are
    // compared exactly. A path that does not fit kPathMax is refused: state -28
    // (kErrLimit), false.
    bool SetPath(const char* path, uint32_t mode);
    // Opens the stream for the mode (through a temporary copy with kDiskTemp
    // when writing). False with the state holding the reason. Reading opens only a
    // regular file (anything else: state -19); writing through a temporary copy
    // writes beside the file a link names, never over something that is not a
    // regular file (state -20).
    bool Open(const char* path, uint32_t mode);
    // Closes; for a written file keeps or discards the result. True when the
    // result was committed (for a read: when it was accepted). False without a stream.
    bool Close();
    // Closes a file open for writing and removes what was written (the temporary
    // copy, else the target itself). True when nothing written is left.
    bool Discard();
    // Open for writing (or reuse the stream open for writing when path is null
    // and extraMode is 0), Save, Close. True when committed.
    bool SaveFile(const char* path = nullptr, uint32_t extraMode = 0);
    // Open for reading (or reuse the open reading stream), Load, Close.
    bool LoadFile(const char* path = nullptr, uint32_t extraMode = 0);
    // Opens with the current path and mode when no stream is open (then OnOpened),
    // runs Save and flushes, leaving the file open for a later Close or Discard.
    bool SaveKeepOpen();
    // PathMarkExtension on the path; false without a path.
    bool MarkExtension(char character);
    // Replaces the path's extension; false when the path or the extension is
    // empty or the result would not fit.
    bool SetExtension(const char* extension);

    // The path, or nullptr before one was set.
    const char* Path() const { return hasPath_ ? path_.c_str() : nullptr; }
    FILE* Stream() const { return stream_; }
    int State() const { return state_; }
    void SetState(int state) { state_ = state; }
    uint32_t Mode() const { return mode_; }
    bool Accepted() const { return accepted_; }
    void SetAccepted(bool accepted) { accepted_ = accepted; }
    // The temporary copy being written, or "" when none.
    const char* TempName() const { return tempName_.c_str(); }
    bool IsOpen() const { return stream_ != nullptr; }
    bool IsWriting() const { return stream_ != nullptr && DiskModeWrites(mode_); }

private:
    bool OpenStream(const char* name);
    bool CommitTemp();
    // Runs a body operation; an allocation failure inside it fails it (state -14)
    // instead of leaving the file object.
    template <typename Body>
    bool RunBody(Body body);
    bool ReplaceShortNamed();

    std::string path_;
    bool hasPath_ = false;
    FILE* stream_ = nullptr;
    int state_ = 2;
    std::string tempName_;
    uint32_t mode_ = 0;
    bool accepted_ = false;
};

// Reverses, in place, the order of the rows of an image stored from the start
// of an open file. rowLength is in elements; the element size comes from the
// type flags (0x01 one byte, 0x02 two, 0x04 three, 0x08/0x10 four, 0x20/0x40
// eight). Returns 1 when done, 3 when a write fails, 0 when a read fails before
// any pair was swapped and -1 after, 0 for bad arguments (zero rows or columns,
// a row over 0x20000000 bytes, an unknown type, a size that overflows) and 0
// with the log line "_lseek failed" when the file cannot be positioned.
int FlipRowsInFile(int fd, int64_t rowLength, int64_t rows, uint32_t elementType);

}  // namespace orva
