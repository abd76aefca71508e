#pragma once
// Reads a text file line by line through one large buffer (no copy per line, no system
// call per line). A line longer than the limit is reported as such with its start, and
// the rest of it is consumed: it never comes back as a second line.
#include <cstddef>
#include <vector>

namespace orva {

class LineReader {
public:
    // `fd` stays the caller's.
    LineReader(int fd, size_t limit);
    bool Ready() const { return !buffer_.empty(); }
    // 1: *line (NUL-terminated, without "\n" and a final "\r") and *length are set, and
    // *tooLong tells whether the line passed the limit (its text then holds at least the
    // first `limit` bytes); 0: end of the file; -1: read failure.
    int Next(char** line, size_t* length, bool* tooLong);

private:
    int fd_;
    size_t limit_;
    std::vector<char> buffer_;
    size_t capacity_ = 0;
    size_t begin_ = 0, scan_ = 0, end_ = 0;
    bool eof_ = false;
    bool skipping_ = false;  // inside the dropped rest of a too long line
};

}  // namespace orva
