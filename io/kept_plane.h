#pragma once
// The stored bytes of the plane a whole statistics pass read, kept for the frame read
// that follows it. Stepping to a frame with a view whose range follows the frame takes
// the new frame's statistics and then pulls the frame: without this both would read the
// same stored plane from the file. The block holds bytes exactly as DataSet::ReadStored
// delivered them, so it is keyed by everything that read depends on (the stream and its
// length, where the data begins and ends, how packed samples unpack) and by the data
// set's description generation; its rows are found by their file offsets, so a reader
// that computes its own positions from the description finds only bytes the pass read.
// A kept plane serves one frame read and is then forgotten: data that changes on disk is
// never served from memory for longer than one pull after the pass that read it. Its block
// stays for the next frame's pass, but only the few data sets that read last keep one: a
// project of many files holds no plane per file.
#include <cstdint>
#include <sys/types.h>

#include "common/global_buffer.h"

namespace orva {

class DataSet;

// Kept planes larger than this are not kept (their reads go to the file, as before).
constexpr uint64_t kKeptPlaneMaxBytes = 0x2000000;
// Data sets that keep a plane's block at a time; the one that read least recently gives
// its block up.
constexpr size_t kKeptPlaneHolders = 2;

struct KeptPlaneKey {
    const void* stream = nullptr;
    int fd = -1;
    dev_t device = 0;
    ino_t inode = 0;
    int64_t streamLength = 0;
    int64_t dataBegin = 0, dataEnd = 0;
    uint32_t type = 0, bits = 0, elementBytes = 0;
    uint64_t generation = 0;
    bool operator==(const KeptPlaneKey&) const = default;
};

// The key of what DataSet::ReadStored delivers now.
KeptPlaneKey KeptPlaneKeyOf(const DataSet* d);

class KeptPlane {
public:
    KeptPlane() = default;
    KeptPlane(const KeptPlane&) = delete;
    KeptPlane& operator=(const KeptPlane&) = delete;
    ~KeptPlane();
    // Makes room for `rows` rows of `rowBytes` bytes whose first byte lies at `offset`
    // in the stored data and each next one `stride` bytes further; the rows are read
    // into Row(i) and the plane is kept once Commit is called. False (nothing kept)
    // when the rows are too large or memory is short.
    bool Begin(const KeptPlaneKey& key, uint64_t offset, uint64_t rowBytes, uint64_t stride, uint64_t rows);
    uint8_t* Row(uint64_t i) { return static_cast<uint8_t*>(block_.block) + i * rowBytes_; }
    // Every row was read whole: the plane can serve reads.
    void Commit() { valid_ = pending_; }
    // Forgets the content; the block stays for the next pass unless `release`.
    void Drop(bool release = false);
    // The kept bytes [offset, offset + bytes) of the stored data when the plane holds
    // all of them for this key, else nullptr.
    const uint8_t* Find(const KeptPlaneKey& key, uint64_t offset, uint64_t bytes) const;
    bool Holds() const { return valid_; }
    // Bytes of the block kept for the next pass (0: none).
    uint64_t BlockBytes() const { return block_.size; }

private:
    // Frees the block and forgets the content; the caller keeps the holders' list.
    void Release();
    GlobalBuffer block_;
    KeptPlaneKey key_;
    uint64_t offset_ = 0, rowBytes_ = 0, stride_ = 0, rows_ = 0;
    bool pending_ = false, valid_ = false;
};

}  // namespace orva
