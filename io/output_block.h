#pragma once
// The output job shared by the FITS and the raw binary writers: the file being
// written, the blocks of converted samples placed into it row by row (cut to the
// output width and height, narrow rows completed, missing rows zero-filled), the
// blank and zero block writers, and the patching of header value fields once
// their values are known.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "io/output_writer.h"

namespace orva {

class OutputWriter;

// Result codes of the writers beyond the common ones.
constexpr int kErrValueTooLong = -16;     // a value does not fit its 20-column field
constexpr int kErrBadPatchPosition = -27;

// Open flags of an output file (the program's flag words): write only, create,
// truncate, binary.
constexpr uint32_t kOutputOpenDefault = 0x8301;
// A created output file may be read and written by everyone the umask allows.
constexpr uint32_t kOutputPermission = 0666;

constexpr int64_t kOutputBlockLimit = 0x20000000;

// One block of converted samples: `rows` rows of `width` pixels starting at pixel
// (x, y) of the current plane, `stride` bytes apart in `data`.
struct OutputBlock {
    const void* data = nullptr;
    int64_t x = 0;
    int64_t y = 0;
    int64_t width = 0;
    int64_t rows = 0;
    int64_t stride = 0;  // 0: width x pixel bytes
};

struct FitsOutputJob {
    FitsOutputJob() = default;
    FitsOutputJob(const FitsOutputJob&) = delete;
    FitsOutputJob& operator=(const FitsOutputJob&) = delete;
    ~FitsOutputJob();

    OutputWriter* writer = nullptr;  // one reference held between init and done
    int fd = -1;

    // Counters of the block writer.
    int64_t framesWritten = 0;
    int64_t sectionsWritten = 0;
    int64_t planesWritten = 0;     // planes of width x height completed
    int64_t bytesWritten = 0;      // sample bytes placed (without padding)
    int64_t frameLimit = -1;       // -1: no limit

    // Geometry of the output: one plane is width x height pixels of pixelBytes.
    int64_t width = 0;
    int64_t height = 0;
    uint32_t pixelBytes = 0;
    uint32_t elementBytes = 0;     // bytes of one sample (byte order and sign fix-ups)
    bool swapToBigEndian = false;  // samples arrive in machine order and must be reversed
    bool flipSign = false;         // the top bit of each sample flips (signedness of FITS)
    uint32_t signByte = 0;         // where that top bit lies in a sample as it is written
    int64_t dataStart = 0;         // file position of the first data byte
    int64_t planeStart = 0;        // file position of the current plane
    int64_t planeRows = 0;         // rows of the current plane placed so far (highest + 1)
    bool planeOpen = false;
    // Appended data (OutputJobAppend) arrive with the channels of a pixel one after
    // another; above 1, each channel of a width x height plane is placed as a plane of
    // its own (plane k of the data holds the planes k x channels + c), as a FITS image
    // whose third axis holds the colours. bytesWritten counts the bytes as they arrived.
    uint32_t planarChannels = 0;
    std::vector<uint8_t> carry;  // the start of a pixel that has not arrived whole

    // Positions (-1: not written) of the value fields the patch pass rewrites, and of
    // the spare card that becomes NAXIS3 when more planes come than were planned.
    int64_t posNaxis = -1, posNaxis3 = -1, posNchan = -1, posNsection = -1;
    int64_t posDatamax = -1, posDatamin = -1;
    int64_t posSpareCard = -1;
    int64_t posEnd = -1;           // the END card, with room for one more card after it

    std::string fileName;  // the name messages give (set before the open: the target's)
    std::string reason;    // why the last write failed (the system's text)
    bool noHeader = false;
    bool sectionsMode = false;

    int result = -4;               // 2 success, or the program error code
};

// Construction and finish. Init takes a reference on the writer (may be null for a
// job used on its own); Done closes the file and releases the writer.
void OutputJobInit(FitsOutputJob* job, OutputWriter* writer);
void OutputJobDone(FitsOutputJob* job);
// Creates the file (flags 0: kOutputOpenDefault); false with the mapped error in
// job->result. Messages name job->fileName when the caller set one, else `name`.
bool OutputJobOpen(FitsOutputJob* job, const char* name, uint32_t flags = 0);
// Closes the descriptor (flushing it first); false, with the error in job->result, when
// the flush or the close failed (the data may not all be on the disk). A name deletes
// that file afterwards.
bool OutputJobClose(FitsOutputJob* job, const char* removeName = nullptr);

// Blank and zero writers at the descriptor's position.
int64_t WriteBlanks(int fd, int64_t count);   // count, -1 on error or count > 0x20000000
int64_t WriteZeros(int fd, int64_t count);    // count, -1 on error, 0 for count > 0x20000000
int64_t WriteZerosLarge(int fd, int64_t count);  // count, -1 on error, -2 without buffer

// Writes the 20-column value field at `position`: 20, or 0 with -27 (position
// below 29) or -16 (value too long) in job->result, or -1 on a write error.
int PatchIntField(FitsOutputJob* job, int32_t value, int64_t position);
int PatchInt64Field(FitsOutputJob* job, int64_t value, int64_t position);
int PatchUInt64Field(FitsOutputJob* job, uint64_t value, int64_t position);
int PatchRealField(FitsOutputJob* job, double value, int64_t position);
// Writes a whole 80-byte card text (blank padded) at a position; false on error.
bool PatchCard(FitsOutputJob* job, const char* text, int64_t position);

// The block writer. A plane starts at the end of the last one; blocks are placed at
// their row and column, cut to the plane; rows narrower than the plane are
// completed with their last sample; ending a plane zero-fills the rows that no
// block reached and counts it.
bool OutputJobBeginPlane(FitsOutputJob* job);
bool OutputJobWriteBlock(FitsOutputJob* job, const OutputBlock& block);
bool OutputJobEndPlane(FitsOutputJob* job);
// Appends delivered sample bytes after the data written so far (fixed up for the
// byte order and sign of the output); false on a write error.
bool OutputJobAppend(FitsOutputJob* job, const void* data, size_t bytes);
// After appended data: zero-fills the last plane when it is incomplete and sets
// the plane count from the bytes. False on a write error or without plane size.
bool OutputJobCompletePlanes(FitsOutputJob* job);
// Pads the file with zeros to the next multiple of `unit` bytes after the data.
bool OutputJobPadData(FitsOutputJob* job, int64_t unit);
// The file position after the last plane.
int64_t OutputJobDataEnd(const FitsOutputJob* job);

// The output writer's sink of a job (FITS and raw binary): the packed samples are
// appended after the data the job holds (OutputJobAppend).
class JobAppendSink : public OutputSink {
public:
    explicit JobAppendSink(FitsOutputJob* job) : job_(job) {}
    bool WriteBlock(const void* data, size_t bytes) override { return OutputJobAppend(job_, data, bytes); }

private:
    FitsOutputJob* job_;
};

// Overflow-checked product of sizes; false when it does not fit 63 bits or a
// factor is negative.
bool CheckedSize(int64_t a, int64_t b, int64_t* out);

}  // namespace orva
