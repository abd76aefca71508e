#include "io/formats/text/line_reader.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace orva {

namespace {
constexpr size_t kReadBlock = 1 << 20;
}

LineReader::LineReader(int fd, size_t limit) : fd_(fd), limit_(limit) {
    capacity_ = kReadBlock > 2 * limit ? kReadBlock : 2 * limit;
    try {
        buffer_.resize(capacity_ + 1);  // room for the terminating NUL of a last line
    } catch (const std::bad_alloc&) {
        buffer_.clear();
    }
}

int LineReader::Next(char** line, size_t* length, bool* tooLong) {
    if (buffer_.empty()) return -1;
    for (;;) {
        char* b = buffer_.data();
        char* nl = scan_ < end_ ? static_cast<char*>(std::memchr(b + scan_, '\n', end_ - scan_)) : nullptr;
        if (skipping_) {
            // The rest of a line that was too long for the buffer is dropped.
            begin_ = scan_ = nl ? static_cast<size_t>(nl - b) + 1 : end_;
            if (nl) skipping_ = false;
            if (eof_ && begin_ == end_) return 0;
            if (nl) continue;
        } else if (nl != nullptr || (eof_ && begin_ < end_)) {
            const size_t stop = nl ? static_cast<size_t>(nl - b) : end_;
            size_t n = stop - begin_;
            b[stop] = '\0';
            if (n > 0 && b[stop - 1] == '\r') {  // Windows line ends
                --n;
                b[begin_ + n] = '\0';
            }
            *line = b + begin_;
            *length = n;
            *tooLong = n > limit_;
            begin_ = nl ? stop + 1 : end_;
            scan_ = begin_;
            return 1;
        } else if (eof_) {
            return 0;
        }
        if (begin_ > 0) {
            std::memmove(b, b + begin_, end_ - begin_);
            end_ -= begin_;
            begin_ = 0;
        }
        scan_ = end_;
        if (end_ == capacity_) {
            // A line longer than the whole buffer: its start comes back now, the rest of it
            // is skipped on the next call.
            b[limit_ + 1] = '\0';
            *line = b;
            *length = limit_ + 1;
            *tooLong = true;
            skipping_ = true;
            begin_ = scan_ = end_;
            return 1;
        }
        ssize_t got;
        do {
            got = ::read(fd_, b + end_, capacity_ - end_);
        } while (got < 0 && errno == EINTR);
        if (got < 0) return -1;
        if (got == 0)
            eof_ = true;
        else
            end_ += static_cast<size_t>(got);
    }
}

}  // namespace orva
