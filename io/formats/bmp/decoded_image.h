#pragma once
// The road shared by the readers that decode a whole image once (BMP, JPEG): the
// samples go to a private temporary raw file, which is then served as a BINARY data
// set of two-dimensional data.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "io/stream.h"

namespace orva {

class FormatInfo;
struct InputSource;

// Stream mode of the decoded file: binary, created, read-write and temporary (its
// name is unlinked as soon as it is open, so nothing is left behind whatever happens).
constexpr uint32_t kDecodedStreamMode = 0x8142;
// Three-letter name prefix of the decoded files.
constexpr char kDecodedFilePrefix[] = "rwd";

// Creates the decoded file in the temporary folder ($TMPDIR, else /tmp) and opens it
// into *holder, naming the data file as its source. 2, -18 when no file can be made,
// else the stream's result.
int OpenDecodedStream(StreamRecord** holder, const char* dataFile);

// What a decoder wrote: rows of `width` pixels of `components` samples of `type`
// (0x101, 0x102 or 0x108; the Text reader's 0x40), top row first. `kind` is the
// data's kind bit: 0x400000 two-dimensional, 0x800000 one-dimensional.
struct DecodedImage {
    uint32_t type = 0x101;
    uint32_t kind = 0x400000;
    uint32_t components = 3;
    int64_t width = 0;
    int64_t height = 0;
    double rangeMax = 255.0;  // display range 0 .. rangeMax when positive
};

// What one decode may take beyond what its input justifies. `memoryBytes`: the memory of
// the JPEG library's whole-image buffers (a progressive picture's coefficients); a picture
// that needs more is refused. `pictureBytes`: the largest decoded picture the temporary
// folder takes, 0 for as much as it has free. The program keeps the defaults; a run that
// must stay small and quick (fuzzing) lowers both.
struct DecodeBudget {
    int64_t memoryBytes = int64_t{512} << 20;
    uint64_t pictureBytes = 0;
};
DecodeBudget& TheDecodeBudget();

// The decoded picture must fit the temporary folder: 2, or -3 with a log line naming
// the file when `bytes` exceed the decode budget's picture bytes or the folder's free
// space (a folder that cannot be asked passes).
int CheckDecodedSpace(const char* dataFile, uint64_t bytes);
// Logs that the decoded file of `dataFile` could not be written (errno `error`) and
// gives the open's result: the code for the error, -3 for a full folder.
int DecodedWriteFailed(const char* dataFile, int error);

// Builds the BINARY data set over source->stream (the decoded file), as data of the
// image's kind, and hands it to the source; `formatInfo` (the reader's information
// component, may be null) gets the decoded type and becomes the data set's
// sample-format object (the data set takes a reference). The attach result, or -14.
int AttachDecodedImage(InputSource* source, const DecodedImage& image, FormatInfo* formatInfo);

// Writes blocks of decoded rows to the stream on a thread of its own, so that decoding
// goes on while the previous block is written. Blocks go out in the order submitted.
class BlockWriter {
public:
    // At most `count` blocks, allocated when first acquired; Ready() is false when the
    // thread could not be started.
    BlockWriter(StreamRecord* stream, int count);
    ~BlockWriter();
    BlockWriter(const BlockWriter&) = delete;
    BlockWriter& operator=(const BlockWriter&) = delete;
    bool Ready() const { return ready_; }
    // A block of at least `bytes` free for filling (waits while all are being written);
    // null after a failed write or when memory is short.
    uint8_t* Acquire(size_t bytes);
    // Queues the first `bytes` of the block for writing at `offset`.
    void Submit(uint8_t* block, int64_t offset, size_t bytes);
    // Waits until every queued block is written; the bytes written without a gap from
    // offset 0 (all of them unless a write failed).
    int64_t Finish();
    // The errno of a failed write; 0 while none failed.
    int Error();

private:
    struct Job {
        std::vector<uint8_t>* block;
        int64_t offset;
        size_t bytes;
    };
    void Run();

    StreamRecord* stream_;
    std::deque<std::vector<uint8_t>> blocks_;  // stable addresses
    std::vector<std::vector<uint8_t>*> free_;
    int count_ = 0;
    std::deque<Job> queue_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::thread thread_;
    int64_t written_ = 0;
    bool failed_ = false;
    int error_ = 0;
    bool stop_ = false;
    bool busy_ = false;
    bool ready_ = false;
};

// Reverses the order of `rows` rows of `rowBytes` bytes at the start of the stream.
bool FlipRowsInFile(StreamRecord* stream, int64_t rowBytes, int64_t rows);

}  // namespace orva
