#include "io/stream.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>

#include "common/aligned_memory.h"
#include "common/error_codes.h"
#include "common/paths.h"
#include "platform/disk.h"

namespace orva {

namespace {

StreamRecord* gHead = nullptr;
StreamRecord* gTail = nullptr;

uint32_t NormalizeMode(uint32_t mode) {
    if (mode & kStreamTemporary) mode |= kStreamCreate;
    if ((mode & kStreamCreate) && !(mode & (kStreamWriteOnly | kStreamReadWrite)))
        mode |= kStreamReadWrite;
    return mode;
}

// The program's mode never reaches open() as it stands: only the bits it names are
// translated.
int OpenFlags(uint32_t mode) {
    int flags = O_CLOEXEC;
    if (mode & kStreamReadWrite)
        flags |= O_RDWR;
    else if (mode & kStreamWriteOnly)
        flags |= O_WRONLY;
    else
        flags |= O_RDONLY;
    if (mode & kStreamCreate) flags |= O_CREAT;
    if (mode & kStreamTruncate) flags |= O_TRUNC;
    return flags;
}

bool Identity(const char* name, dev_t* device, ino_t* inode) {
    struct stat st;
    if (name == nullptr || stat(name, &st) != 0) return false;
    *device = st.st_dev;
    *inode = st.st_ino;
    return true;
}

void Unlink(StreamRecord* r) {
    if (r->prev)
        r->prev->next = r->next;
    else
        gHead = r->next;
    if (r->next)
        r->next->prev = r->prev;
    else
        gTail = r->prev;
    r->next = r->prev = nullptr;
}

void Append(StreamRecord* r) {
    r->prev = gTail;
    r->next = nullptr;
    if (gTail)
        gTail->next = r;
    else
        gHead = r;
    gTail = r;
}

void CloseDescriptor(StreamRecord* r) {
    if (r->fd < 0) return;
    // Written files reach the disk before they count as closed; a temporary file has no
    // name left, so nothing can read it after the close and flushing it is wasted work.
    if ((r->mode & (kStreamWriteOnly | kStreamReadWrite | kStreamCreate)) &&
        !(r->mode & kStreamTemporary))
        fsync(r->fd);
    close(r->fd);
    r->fd = -1;
}

void FreeRecord(StreamRecord* r) {
    CloseDescriptor(r);
    Unlink(r);
    delete r;
}

bool IsLive(const StreamRecord* r) {
    for (const StreamRecord* p = gHead; p; p = p->next)
        if (p == r) return true;
    return false;
}

}  // namespace

StreamRecord* StreamListHead() { return gHead; }

bool StreamIsReadOnly(const StreamRecord* record) {
    return record && (record->mode & (kStreamWriteOnly | kStreamReadWrite)) == 0;
}

int StreamOpen(StreamRecord** holder, uint32_t mode, const char* name, const char* secondName) {
    if (holder == nullptr || name == nullptr) return kErrWrong;
    mode = NormalizeMode(mode);
    const bool readOnly = (mode & kStreamPrivateMask) == 0;
    dev_t device = 0;
    ino_t inode = 0;
    const bool exists = Identity(name, &device, &inode);

    if (readOnly) {
        StreamRecord* held = *holder;
        if (held && (held->mode & kStreamPrivateMask) == 0 && held->fd >= 0 && exists &&
            held->device == device && held->inode == inode &&
            (held->mode & kStreamBinary) == (mode & kStreamBinary)) {
            // The holder already reads this file.
        } else {
            if (held) StreamClose(holder);
            if (exists) {
                for (StreamRecord* r = gHead; r; r = r->next) {
                    if ((r->mode & kStreamBinary) != (mode & kStreamBinary)) continue;
                    // Records opened for writing are never shared.
                    if (r->mode & kStreamPrivateMask) continue;
                    if (r->fd < 0 || r->device != device || r->inode != inode) continue;
                    ++r->refCount;
                    *holder = r;
                    break;
                }
            }
        }
    } else if (*holder) {
        StreamClose(holder);
    }

    StreamRecord* r = *holder;
    if (r == nullptr) {
        r = new (std::nothrow) StreamRecord;
        if (r == nullptr) return kErrOutOfMemory;
        try {
            r->name = name;
            if (secondName) {
                r->secondName = secondName;
                r->hasSecondName = true;
            }
        } catch (const std::bad_alloc&) {
            delete r;
            return kErrOutOfMemory;
        }
        r->mode = mode;
        r->fd = -1;
        r->refCount = 1;
        Append(r);
        *holder = r;
    }

    if (r->fd >= 0) {
        if (r->length == 0) {
            if (StreamIsReadOnly(r)) StreamClose(holder);
            return kResultDataEmpty;
        }
        lseek(r->fd, 0, SEEK_SET);
        return kResultReady;
    }

    int fd = (r->mode & kStreamCreate) ? open(name, OpenFlags(r->mode), 0666)
                                       : open(name, OpenFlags(r->mode));
    if (fd < 0) {
        int code = ErrnoToErrorValue(errno);
        StreamClose(holder);
        return code;
    }
    r->fd = fd;
    struct stat st;
    if (fstat(fd, &st) == 0) {
        r->device = st.st_dev;
        r->inode = st.st_ino;
        r->length = (r->mode & kStreamTruncate) ? 0 : static_cast<int64_t>(st.st_size);
    } else {
        r->length = 0;
    }
    // A temporary file lives only as long as its descriptor.
    if (r->mode & kStreamTemporary) unlink(name);
    if (r->length != 0) return kResultReady;
    if (r->mode & kStreamTemporary) return kResultReady;
    if (StreamIsReadOnly(r)) StreamClose(holder);
    return kResultDataEmpty;
}

void StreamClose(StreamRecord** holder) {
    if (holder == nullptr || *holder == nullptr) return;
    StreamRecord* r = *holder;
    *holder = nullptr;
    if (!IsLive(r)) return;
    if (r->refCount < 2)
        FreeRecord(r);
    else
        --r->refCount;
}

StreamRecord* FindOpenStream(StreamRecord* from, const char* name) {
    dev_t device;
    ino_t inode;
    if (!Identity(name, &device, &inode)) return nullptr;
    for (StreamRecord* r = from ? from : gHead; r; r = r->next)
        if (!r->name.empty() && r->fd >= 0 && r->device == device && r->inode == inode) return r;
    return nullptr;
}

int MakeNumberedFileName(const char* name, char* out, size_t size) {
    if (name == nullptr || out == nullptr || size == 0) return 0;
    for (unsigned n = 1; n < 100000; ++n) {
        int len = std::snprintf(out, size, "%s%u", name, n);
        if (len < 0 || static_cast<size_t>(len) >= size) break;
        // Never replaces a file that appears between the look and the move.
        if (renameat2(AT_FDCWD, name, AT_FDCWD, out, RENAME_NOREPLACE) == 0) return 1;
        if (errno == EEXIST) continue;
        if (errno == EINVAL || errno == ENOSYS) {
            // A file system without the no-replace move.
            struct stat st;
            if (lstat(out, &st) == 0) continue;
            if (rename(name, out) == 0) return 1;
        }
        break;
    }
    if (size) out[0] = 0;
    return 0;
}

int MakeUniqueFileName(const char* name) {
    char buffer[kPathMax];
    return MakeNumberedFileName(name, buffer, sizeof buffer);
}

int StreamVacateFile(const char* name, bool keep) {
    if (!FileExists(name)) return kResultReady;
    StreamRecord* first = FindOpenStream(nullptr, name);
    if (first) {
        char* moved = new (std::nothrow) char[kPathMax];
        if (moved == nullptr) return kErrOutOfMemory;
        // The descriptors stay open across the move: they follow the file, so the
        // holders go on reading it under its new name.
        if (!MakeNumberedFileName(name, moved, kPathMax)) {
            int code = ErrnoToError();
            delete[] moved;
            return code;
        }
        dev_t device = first->device;
        ino_t inode = first->inode;
        for (StreamRecord* r = first; r; r = r->next) {
            if (r->fd < 0 || r->device != device || r->inode != inode) continue;
            try {
                r->name = moved;
            } catch (const std::bad_alloc&) {
            }
            struct stat st;
            if (fstat(r->fd, &st) == 0 && !(r->mode & kStreamTruncate))
                r->length = static_cast<int64_t>(st.st_size);
        }
        delete[] moved;
        return kResultReady;
    }
    if (keep)
        MakeUniqueFileName(name);
    else
        platform::RemoveFileReleasingLater(name);
    return kResultReady;
}

void CloseAllStreams() {
    StreamRecord* r = gHead;
    while (r) {
        StreamRecord* next = r->next;
        if (r->refCount <= 1) {
            FreeRecord(r);
        } else {
            --r->refCount;
            CloseDescriptor(r);
        }
        r = next;
    }
}

int64_t StreamRead(StreamRecord* record, int64_t offset, void* buffer, size_t size) {
    if (record == nullptr || record->fd < 0 || offset < 0 || (buffer == nullptr && size)) {
        errno = EBADF;
        return -1;
    }
    auto* p = static_cast<uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pread(record->fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            return done ? static_cast<int64_t>(done) : -1;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    return static_cast<int64_t>(done);
}

namespace {
std::atomic<uint64_t> gTemporaryBytes{0};
}  // namespace

uint64_t StreamTemporaryBytesWritten() { return gTemporaryBytes.load(std::memory_order_relaxed); }

int64_t StreamWrite(StreamRecord* record, int64_t offset, const void* buffer, size_t size) {
    if (record == nullptr || record->fd < 0 || offset < 0 || (buffer == nullptr && size)) {
        errno = EBADF;
        return -1;
    }
    auto* p = static_cast<const uint8_t*>(buffer);
    size_t done = 0;
    while (done < size) {
        ssize_t n = pwrite(record->fd, p + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0) {
            if (errno == EINTR) continue;
            break;
        }
        if (n == 0) break;
        done += static_cast<size_t>(n);
    }
    if (record->mode & kStreamTemporary) gTemporaryBytes.fetch_add(done, std::memory_order_relaxed);
    int64_t end = offset + static_cast<int64_t>(done);
    if (end > record->length) record->length = end;
    if (done < size && done == 0) return -1;
    return static_cast<int64_t>(done);
}

// ---- Frame cache ---------------------------------------------------------------------------

bool FrameCacheSeek(FrameCache* cache, int64_t frame, int64_t endFrame) {
    if (cache == nullptr) return false;
    if (frame < cache->baseFrame || frame - cache->baseFrame > kFrameCacheWindow) return false;
    const int64_t index = frame - cache->baseFrame;
    if (cache->entries && index < cache->capacity) {
        cache->current = static_cast<uint32_t>(index);
        return true;
    }
    int64_t extra = frame < endFrame ? std::min<int64_t>(endFrame - frame, 1024) : 0;
    // The current entry must lie inside the array.
    int64_t capacity = std::max(index + extra, index + 1);
    if (capacity < cache->capacity) capacity = cache->capacity;
    const uint32_t entrySize = cache->entrySize ? cache->entrySize : kFrameCacheDefaultEntry;
    cache->entrySize = entrySize;
    const size_t bytes = static_cast<size_t>(capacity) * entrySize;  // at most ~8 Mi entries
    auto* grown = static_cast<uint8_t*>(AlignedAlloc(bytes, 32));
    if (grown == nullptr) return false;
    std::memset(grown, 0, bytes);
    if (cache->entries) {
        std::memcpy(grown, cache->entries, static_cast<size_t>(cache->capacity) * entrySize);
        AlignedFree(cache->entries);
    }
    cache->entries = grown;
    cache->capacity = static_cast<uint32_t>(capacity);
    cache->current = static_cast<uint32_t>(index);
    return true;
}

void FrameCacheFree(FrameCache* cache) {
    if (cache == nullptr) return;
    AlignedFree(cache->entries);
    cache->entries = nullptr;
    cache->capacity = 0;
    cache->current = 0;
}

void FrameCacheInvalidate(FrameCache* cache) {
    if (cache == nullptr) return;
    if (cache->entries) {
        for (uint32_t i = 0; i < cache->capacity; ++i) {
            uint8_t* e = cache->entries + static_cast<size_t>(i) * cache->entrySize;
            e[cache->entrySize - 2] = 0;
            e[cache->entrySize - 1] = 0;
        }
    }
    cache->current = 0;
    cache->baseFrame = 0;
}

uint8_t* FrameCacheCurrent(FrameCache* cache) {
    if (cache == nullptr || cache->entries == nullptr || cache->current >= cache->capacity)
        return nullptr;
    return cache->entries + static_cast<size_t>(cache->current) * cache->entrySize;
}

// ---- Frame table ---------------------------------------------------------------------------

namespace {

constexpr uint32_t kTableCap = 0x20000;

uint32_t GrownCapacity(uint32_t n, uint32_t margin) {
    uint64_t cap = static_cast<uint64_t>(n) + margin;
    if (cap > kTableCap) cap = n < kTableCap ? kTableCap : static_cast<uint64_t>(n) + 1;
    if (cap > 0xFFFFFFFFu) cap = 0xFFFFFFFFu;
    return static_cast<uint32_t>(cap);
}

}  // namespace

bool FrameTableGrowSections(FrameTable* table, uint32_t needed) {
    if (table == nullptr) return false;
    uint32_t capacity = GrownCapacity(needed, std::min<uint32_t>(needed / 2 + 4, 512));
    auto* grown = new (std::nothrow) FrameSectionRecord[capacity]();
    if (grown == nullptr) return false;
    uint32_t keep = std::min({needed, table->sectionCapacity, capacity});
    if (table->sections && keep) std::memcpy(grown, table->sections, keep * sizeof *grown);
    delete[] table->sections;
    table->sections = grown;
    table->sectionCapacity = capacity;
    if (table->sectionCount > keep) table->sectionCount = keep;
    return true;
}

bool FrameTableGrowIndex(FrameTable* table) {
    if (table == nullptr) return false;
    uint32_t count = table->frameCount;
    uint32_t capacity = GrownCapacity(count, std::min<uint32_t>(count / 2 + 4, 1024));
    if (capacity <= table->frameCapacity) return table->frameCapacity > count;
    auto* grown = new (std::nothrow) FrameIndexEntry[capacity]();
    if (grown == nullptr) return false;
    if (table->frames && table->frameCapacity)
        std::memcpy(grown, table->frames,
                    std::min(table->frameCapacity, capacity) * sizeof *grown);
    delete[] table->frames;
    table->frames = grown;
    table->frameCapacity = capacity;
    return true;
}

void FrameTableClear(FrameTable* table) {
    if (table == nullptr) return;
    delete[] table->sections;
    delete[] table->frames;
    table->sections = nullptr;
    table->frames = nullptr;
    table->sectionCapacity = table->sectionCount = 0;
    table->frameCapacity = table->frameCount = 0;
}

void FrameTableExtent(const FrameTable* table, int64_t extent[3], uint32_t* largestCount,
                      bool* sameCount, bool* sameSizes, int32_t frameStep) {
    if (table == nullptr || table->sections == nullptr || table->sectionCount == 0 ||
        table->frames == nullptr || table->frameCount == 0 || table->incomplete)
        return;
    if (extent) extent[0] = extent[1] = extent[2] = 0;
    int64_t step = frameStep < 0 ? -static_cast<int64_t>(frameStep) : frameStep;
    if (step < 2) step = 1;
    int64_t mx = 0, my = 0, mz = 0;
    uint32_t maxCount = 0;
    bool countsAgree = true, sizesAgree = true;
    bool firstFrame = true, firstSection = true;
    uint32_t count0 = 0;
    FrameSectionRecord s0;
    for (int64_t f = 0; f < table->frameCount; f += step) {
        const FrameIndexEntry& e = table->frames[f];
        if (firstFrame) {
            count0 = e.sectionCount;
            firstFrame = false;
        } else if (e.sectionCount != count0) {
            countsAgree = false;
        }
        maxCount = std::max(maxCount, e.sectionCount);
        for (uint64_t k = 0; k < e.sectionCount; ++k) {
            uint64_t at = static_cast<uint64_t>(e.firstSection) + k;
            if (at >= table->sectionCount) break;  // an index past the records is not read
            const FrameSectionRecord& s = table->sections[at];
            mx = std::max(mx, s.sizeX);
            my = std::max(my, s.sizeY);
            mz = std::max(mz, s.sizeZ);
            if (firstSection) {
                s0 = s;
                firstSection = false;
            } else if (s.sizeX != s0.sizeX || s.sizeY != s0.sizeY || s.sizeZ != s0.sizeZ) {
                sizesAgree = false;
            }
        }
    }
    if (mx > 0) {
        if (my <= 0) my = 1;
        if (mz <= 0) mz = 1;
    }
    if (extent) {
        extent[0] = mx;
        extent[1] = my;
        extent[2] = mz;
    }
    if (largestCount) *largestCount = maxCount;
    if (sameCount) *sameCount = countsAgree;
    if (sameSizes) *sameSizes = sizesAgree;
}

}  // namespace orva
