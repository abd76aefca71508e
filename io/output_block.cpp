#include "io/output_block.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "data/byte_swap.h"

namespace orva {

namespace {

constexpr int64_t kSmallBlock = 256;
constexpr int64_t kLargeZeroLimit = 32768;
constexpr int64_t kLargeZeroBuffer = 4 << 20;
constexpr int64_t kFieldWidth = 20;
constexpr int64_t kLowestFieldPosition = 29;

const char* BlankBlock() {
    static const std::vector<char> block(kSmallBlock, ' ');
    return block.data();
}
const char* ZeroBlock() {
    static const char block[kSmallBlock] = {};
    return block;
}

// Writes all bytes at the descriptor's position; false on error (errno kept).
bool WriteAll(int fd, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes all bytes at a file position.
bool WriteAllAt(int fd, int64_t position, const void* data, size_t size) {
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        ssize_t n = ::pwrite(fd, p, size, static_cast<off_t>(position));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        p += n;
        position += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

// Writes `count` bytes from a repeating block of 256.
int64_t WriteRepeated(int fd, const char* block, int64_t count) {
    int64_t left = count;
    while (left > 0) {
        const int64_t n = std::min(left, kSmallBlock);
        if (!WriteAll(fd, block, static_cast<size_t>(n))) return -1;
        left -= n;
    }
    return count;
}

bool Fail(FitsOutputJob* job, int code) {
    if (job->result >= 0 || job->result == -4) job->result = code;
    return false;
}

bool FailErrno(FitsOutputJob* job) {
    const int code = ErrnoToError();
    job->reason = std::strerror(errno);
    LogPrintf("'%s' - write error: %s", job->fileName.c_str(), job->reason.c_str());
    return Fail(job, code);
}

// Reverses the bytes of each sample and flips the sign bit where FITS needs it.
void FixSamples(const FitsOutputJob* job, uint8_t* p, int64_t bytes) {
    const uint32_t e = job->elementBytes;
    if (e == 0) return;
    const int64_t n = bytes / e;
    if (job->swapToBigEndian) {
        switch (e) {
            case 2: ByteSwap2(p, n); break;
            case 4: ByteSwap4(p, n); break;
            case 8: ByteSwap8(p, n); break;
            default: break;
        }
    }
    if (job->flipSign) {
        const uint32_t top = job->signByte < e ? job->signByte : 0;
        for (int64_t i = 0; i < n; ++i) p[i * e + top] ^= 0x80;
    }
}

// Writes bytes of samples at a position, fixed up on the way when needed.
bool WriteSamplesAt(FitsOutputJob* job, int64_t position, const uint8_t* data, int64_t bytes) {
    if (!job->swapToBigEndian && !job->flipSign)
        return WriteAllAt(job->fd, position, data, static_cast<size_t>(bytes));
    constexpr int64_t kChunk = 1 << 16;
    alignas(16) uint8_t buffer[kChunk];
    const int64_t step = job->elementBytes ? kChunk / job->elementBytes * job->elementBytes : kChunk;
    while (bytes > 0) {
        const int64_t n = std::min(bytes, step);
        std::memcpy(buffer, data, static_cast<size_t>(n));
        FixSamples(job, buffer, n);
        if (!WriteAllAt(job->fd, position, buffer, static_cast<size_t>(n))) return false;
        data += n;
        position += n;
        bytes -= n;
    }
    return true;
}

// Zero bytes at a position.
bool WriteZerosAt(int fd, int64_t position, int64_t count) {
    if (count <= 0) return true;
    if (count <= kLargeZeroLimit) {
        while (count > 0) {
            const int64_t n = std::min(count, kSmallBlock);
            if (!WriteAllAt(fd, position, ZeroBlock(), static_cast<size_t>(n))) return false;
            position += n;
            count -= n;
        }
        return true;
    }
    const int64_t size = std::min(count, kLargeZeroBuffer);
    void* buffer = std::calloc(1, static_cast<size_t>(size));
    if (buffer == nullptr) {
        errno = ENOMEM;
        return false;
    }
    bool ok = true;
    while (ok && count > 0) {
        const int64_t n = std::min(count, size);
        ok = WriteAllAt(fd, position, buffer, static_cast<size_t>(n));
        position += n;
        count -= n;
    }
    std::free(buffer);
    return ok;
}

int PatchText(FitsOutputJob* job, const char* text, int length, int64_t position) {
    if (position < kLowestFieldPosition) {
        Fail(job, kErrBadPatchPosition);
        return 0;
    }
    if (length < 0 || length > kFieldWidth) {
        Fail(job, kErrValueTooLong);
        return 0;
    }
    char field[kFieldWidth];
    std::memset(field, ' ', sizeof field);
    std::memcpy(field + kFieldWidth - length, text, static_cast<size_t>(length));
    if (job->fd < 0 || !WriteAllAt(job->fd, position, field, sizeof field)) {
        FailErrno(job);
        return -1;
    }
    return static_cast<int>(kFieldWidth);
}

}  // namespace

bool CheckedSize(int64_t a, int64_t b, int64_t* out) {
    int64_t r = 0;
    if (a < 0 || b < 0 || __builtin_mul_overflow(a, b, &r)) return false;
    *out = r;
    return true;
}

FitsOutputJob::~FitsOutputJob() {
    if (fd >= 0) ::close(fd);
}

bool OutputJobOpen(FitsOutputJob* job, const char* name, uint32_t flags) {
    if (job == nullptr) return false;
    if (name == nullptr || name[0] == 0) return Fail(job, kErrNoFile);
    if (flags == 0) flags = kOutputOpenDefault;
    int oflags = O_CLOEXEC;
    oflags |= (flags & 0x2) ? O_RDWR : (flags & 0x1) ? O_WRONLY : O_RDONLY;
    if (flags & 0x100) oflags |= O_CREAT;
    if (flags & 0x200) oflags |= O_TRUNC;
    if (job->fd >= 0) ::close(job->fd);
    job->fd = ::open(name, oflags, kOutputPermission);
    if (job->fileName.empty()) job->fileName = name;
    if (job->fd < 0) return FailErrno(job);
    job->dataStart = 0;
    job->planeStart = 0;
    return true;
}

bool OutputJobClose(FitsOutputJob* job, const char* removeName) {
    if (job == nullptr) return false;
    bool ok = true;
    if (job->fd >= 0) {
        // A file system may take the data and find no room for them only now.
        if (::fsync(job->fd) != 0 && errno != EINVAL && errno != EROFS) ok = FailErrno(job);
        if (::close(job->fd) != 0 && ok) ok = FailErrno(job);
        job->fd = -1;
    }
    if (removeName) ::unlink(removeName);
    return ok;
}

int64_t WriteBlanks(int fd, int64_t count) {
    if (count < 0 || count > kOutputBlockLimit) return -1;
    return WriteRepeated(fd, BlankBlock(), count);
}

int64_t WriteZeros(int fd, int64_t count) {
    if (count < 0 || count > kOutputBlockLimit) return 0;
    return WriteRepeated(fd, ZeroBlock(), count);
}

int64_t WriteZerosLarge(int fd, int64_t count) {
    if (count <= 0) return 0;
    if (count <= kLargeZeroLimit) return WriteZeros(fd, count);
    const int64_t size = std::min(count, kLargeZeroBuffer);
    void* buffer = std::calloc(1, static_cast<size_t>(size));
    if (buffer == nullptr) return -2;
    int64_t left = count;
    bool ok = true;
    while (ok && left > 0) {
        const int64_t n = std::min(left, size);
        ok = WriteAll(fd, buffer, static_cast<size_t>(n));
        left -= n;
    }
    std::free(buffer);
    return ok ? count : -1;
}

int PatchIntField(FitsOutputJob* job, int32_t value, int64_t position) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%d", value);
    return PatchText(job, text, n, position);
}

int PatchInt64Field(FitsOutputJob* job, int64_t value, int64_t position) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%" PRId64, value);
    return PatchText(job, text, n, position);
}

int PatchUInt64Field(FitsOutputJob* job, uint64_t value, int64_t position) {
    char text[32];
    const int n = std::snprintf(text, sizeof text, "%" PRIu64, value);
    return PatchText(job, text, n, position);
}

int PatchRealField(FitsOutputJob* job, double value, int64_t position) {
    // A value field must hold a number: what is not one is refused as too long.
    if (!std::isfinite(value)) {
        Fail(job, kErrValueTooLong);
        return 0;
    }
    char text[64];
    const int n = std::snprintf(text, sizeof text, "%.13G", value);
    return PatchText(job, text, n, position);
}

bool PatchCard(FitsOutputJob* job, const char* text, int64_t position) {
    if (job == nullptr || job->fd < 0) return false;
    if (position < 0) return Fail(job, kErrBadPatchPosition);
    char card[80];
    std::memset(card, ' ', sizeof card);
    const size_t n = std::min<size_t>(std::strlen(text), sizeof card);
    std::memcpy(card, text, n);
    if (!WriteAllAt(job->fd, position, card, sizeof card)) return FailErrno(job);
    return true;
}

bool OutputJobBeginPlane(FitsOutputJob* job) {
    if (job == nullptr || job->fd < 0) return false;
    if (job->planeOpen && !OutputJobEndPlane(job)) return false;
    int64_t planeBytes = 0, offset = 0;
    if (!CheckedSize(job->width, job->height, &planeBytes) ||
        !CheckedSize(planeBytes, job->pixelBytes, &planeBytes) ||
        !CheckedSize(job->planesWritten, planeBytes, &offset) ||
        __builtin_add_overflow(job->dataStart, offset, &offset)) {
        LogPrintf("'%s' - output size overflows", job->fileName.c_str());
        return Fail(job, kErrOutOfRange);
    }
    job->planeStart = offset;
    job->planeRows = 0;
    job->planeOpen = true;
    return true;
}

bool OutputJobWriteBlock(FitsOutputJob* job, const OutputBlock& b) {
    if (job == nullptr || job->fd < 0 || !job->planeOpen) return false;
    if (b.data == nullptr || b.width <= 0 || b.rows <= 0) return true;
    const int64_t W = job->width, H = job->height;
    const int64_t B = job->pixelBytes;
    // Blocks starting outside the plane are skipped; the others are cut to it.
    if (b.x < 0 || b.y < 0 || b.x >= W || b.y >= H) return true;
    const int64_t rows = std::min(b.rows, H - b.y);
    const int64_t cols = std::min(b.width, W - b.x);
    int64_t stride = b.stride;
    if (stride == 0 && !CheckedSize(b.width, B, &stride)) return Fail(job, kErrOutOfRange);
    const uint8_t* src = static_cast<const uint8_t*>(b.data);
    const int64_t rowBytes = cols * B;  // both factors bounded by the plane's checked size
    const int64_t position = job->planeStart + (b.y * W + b.x) * B;
    const bool narrow = b.x + cols < W;

    if (!narrow && b.x == 0 && stride == rowBytes) {
        // Whole rows one after another: one write.
        if (!WriteSamplesAt(job, position, src, rowBytes * rows)) return FailErrno(job);
    } else {
        std::vector<uint8_t> fill;
        for (int64_t r = 0; r < rows; ++r) {
            const uint8_t* row = src + r * stride;
            const int64_t at = position + r * W * B;
            if (!WriteSamplesAt(job, at, row, rowBytes)) return FailErrno(job);
            if (narrow) {
                // Complete the row to the plane width with its last sample.
                const int64_t rest = (W - b.x - cols) * B;
                if (fill.size() != static_cast<size_t>(rest)) fill.resize(static_cast<size_t>(rest));
                const uint8_t* last = row + (cols - 1) * B;
                for (int64_t i = 0; i < rest; i += B) std::memcpy(fill.data() + i, last, static_cast<size_t>(B));
                if (!WriteSamplesAt(job, at + rowBytes, fill.data(), rest)) return FailErrno(job);
            }
        }
    }
    job->bytesWritten += rowBytes * rows;
    job->planeRows = std::max(job->planeRows, b.y + rows);
    return true;
}

bool OutputJobEndPlane(FitsOutputJob* job) {
    if (job == nullptr || job->fd < 0 || !job->planeOpen) return false;
    job->planeOpen = false;
    const int64_t missing = job->height - job->planeRows;
    if (missing > 0) {
        const int64_t rowBytes = job->width * job->pixelBytes;
        const int64_t at = job->planeStart + job->planeRows * rowBytes;
        if (!WriteZerosAt(job->fd, at, missing * rowBytes)) return FailErrno(job);
    }
    ++job->planesWritten;
    return true;
}

namespace {

// Places whole pixels (`count` of them, the channels of each one after another) that
// follow the data appended so far, each channel into its plane.
bool PlacePlanar(FitsOutputJob* job, const uint8_t* data, int64_t count) {
    const int64_t E = job->elementBytes, C = job->planarChannels;
    const int64_t P = job->width * job->height;  // checked when the geometry was set
    const int64_t pixelBytes = E * C;
    int64_t pixel = job->bytesWritten / pixelBytes;
    constexpr int64_t kGather = 1 << 16;
    alignas(16) uint8_t buffer[kGather];
    const int64_t run = std::max<int64_t>(1, kGather / E);
    while (count > 0) {
        const int64_t plane = pixel / P, within = pixel % P;
        const int64_t n = std::min(count, P - within);
        for (int64_t c = 0; c < C; ++c) {
            // Plane `plane` of the data holds its channels as the planes plane x C + c.
            int64_t at = job->dataStart + ((plane * C + c) * P + within) * E;
            for (int64_t done = 0; done < n; done += run) {
                const int64_t m = std::min(run, n - done);
                const uint8_t* from = data + (done * C + c) * E;
                for (int64_t i = 0; i < m; ++i)
                    std::memcpy(buffer + i * E, from + i * pixelBytes, static_cast<size_t>(E));
                FixSamples(job, buffer, m * E);
                if (!WriteAllAt(job->fd, at, buffer, static_cast<size_t>(m * E)))
                    return FailErrno(job);
                at += m * E;
            }
        }
        job->bytesWritten += n * pixelBytes;
        data += n * pixelBytes;
        pixel += n;
        count -= n;
    }
    return true;
}

// Appended bytes of a planar job: a pixel cut between two blocks waits for its rest.
bool AppendPlanar(FitsOutputJob* job, const uint8_t* data, int64_t bytes) {
    const int64_t pixelBytes = static_cast<int64_t>(job->elementBytes) * job->planarChannels;
    int64_t planeBytes = 0;
    if (pixelBytes <= 0 || !CheckedSize(job->width, job->height, &planeBytes) ||
        !CheckedSize(planeBytes, pixelBytes, &planeBytes) || planeBytes == 0)
        return Fail(job, kErrOutOfRange);
    if (!job->carry.empty()) {
        const int64_t take =
            std::min<int64_t>(bytes, pixelBytes - static_cast<int64_t>(job->carry.size()));
        job->carry.insert(job->carry.end(), data, data + take);
        data += take;
        bytes -= take;
        if (static_cast<int64_t>(job->carry.size()) < pixelBytes) return true;
        std::vector<uint8_t> whole;
        whole.swap(job->carry);
        if (!PlacePlanar(job, whole.data(), 1)) return false;
    }
    const int64_t pixels = bytes / pixelBytes;
    if (pixels > 0 && !PlacePlanar(job, data, pixels)) return false;
    job->carry.assign(data + pixels * pixelBytes, data + bytes);
    return true;
}

}  // namespace

bool OutputJobAppend(FitsOutputJob* job, const void* data, size_t bytes) {
    if (job == nullptr || job->fd < 0) return false;
    if (bytes == 0) return true;
    if (data == nullptr) return false;
    if (job->planarChannels > 1)
        return AppendPlanar(job, static_cast<const uint8_t*>(data), static_cast<int64_t>(bytes));
    const int64_t at = job->dataStart + job->bytesWritten;
    if (!WriteSamplesAt(job, at, static_cast<const uint8_t*>(data), static_cast<int64_t>(bytes)))
        return FailErrno(job);
    job->bytesWritten += static_cast<int64_t>(bytes);
    return true;
}

bool OutputJobCompletePlanes(FitsOutputJob* job) {
    if (job == nullptr || job->fd < 0) return false;
    int64_t planeBytes = 0;
    if (!CheckedSize(job->width, job->height, &planeBytes) ||
        !CheckedSize(planeBytes, job->pixelBytes, &planeBytes) || planeBytes == 0)
        return Fail(job, kErrOutOfRange);
    job->carry.clear();  // a pixel that never arrived whole is filled as a missing one
    const int64_t rest = job->bytesWritten % planeBytes;
    if (rest != 0 && job->planarChannels > 1) {
        // The rest of each channel's plane.
        const int64_t E = job->elementBytes, C = job->planarChannels, P = job->width * job->height;
        const int64_t plane = job->bytesWritten / planeBytes, within = rest / (E * C);
        for (int64_t c = 0; c < C; ++c)
            if (!WriteZerosAt(job->fd, job->dataStart + ((plane * C + c) * P + within) * E,
                              (P - within) * E))
                return FailErrno(job);
    } else if (rest != 0) {
        if (!WriteZerosAt(job->fd, job->dataStart + job->bytesWritten, planeBytes - rest))
            return FailErrno(job);
    }
    job->planesWritten = job->bytesWritten / planeBytes + (rest != 0 ? 1 : 0);
    return true;
}

int64_t OutputJobDataEnd(const FitsOutputJob* job) {
    const int64_t planeBytes = job->width * job->height * job->pixelBytes;
    return job->dataStart + job->planesWritten * planeBytes;
}

bool OutputJobPadData(FitsOutputJob* job, int64_t unit) {
    if (job == nullptr || job->fd < 0 || unit <= 0) return false;
    const int64_t end = OutputJobDataEnd(job);
    const int64_t rest = end % unit;
    if (rest == 0) return true;
    if (!WriteZerosAt(job->fd, end, unit - rest)) return FailErrno(job);
    return true;
}

}  // namespace orva
