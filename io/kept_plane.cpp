#include "io/kept_plane.h"

#include "common/numeric.h"
#include "io/data_set.h"

#include <algorithm>
#include <mutex>
#include <vector>

namespace orva {

namespace {

// The planes that hold a block, the one that read last at the end.
std::mutex gHoldersLock;
std::vector<KeptPlane*> gHolders;

void Forget(const KeptPlane* plane) {
    gHolders.erase(std::remove(gHolders.begin(), gHolders.end(), plane), gHolders.end());
}

}  // namespace

KeptPlaneKey KeptPlaneKeyOf(const DataSet* d) {
    KeptPlaneKey k;
    if (d == nullptr) return k;
    if (const StreamRecord* s = d->stream) {
        k.stream = s;
        k.fd = s->fd;
        k.device = s->device;
        k.inode = s->inode;
        k.streamLength = s->length;
    }
    k.dataBegin = d->dataBegin;
    k.dataEnd = d->dataEnd;
    k.type = d->input.type;
    k.bits = d->input.bits;
    k.elementBytes = d->elementBytes;
    k.generation = d->generation;
    return k;
}

bool KeptPlane::Begin(const KeptPlaneKey& key, uint64_t offset, uint64_t rowBytes, uint64_t stride,
                      uint64_t rows) {
    valid_ = pending_ = false;
    uint64_t need = 0;
    if (rowBytes == 0 || rows == 0 || (rows > 1 && stride < rowBytes) || !MulFits(rowBytes, rows, &need) ||
        need > kKeptPlaneMaxBytes)
        return false;
    // The block of the previous frame serves again: steps through a cube allocate nothing.
    if (block_.block == nullptr || block_.size < need || block_.size - need >= kGlobalBufferReuseSlack) {
        if (!block_.Reserve(static_cast<uint32_t>(need))) {
            Drop(true);
            return false;
        }
    }
    {
        std::lock_guard<std::mutex> hold(gHoldersLock);
        Forget(this);
        gHolders.push_back(this);
        while (gHolders.size() > kKeptPlaneHolders) {
            KeptPlane* oldest = gHolders.front();
            gHolders.erase(gHolders.begin());
            oldest->Release();
        }
    }
    key_ = key;
    offset_ = offset;
    rowBytes_ = rowBytes;
    stride_ = rows > 1 ? stride : rowBytes;
    rows_ = rows;
    pending_ = true;
    return true;
}

KeptPlane::~KeptPlane() {
    std::lock_guard<std::mutex> hold(gHoldersLock);
    Forget(this);
}

void KeptPlane::Release() {
    valid_ = pending_ = false;
    block_.Free();
}

void KeptPlane::Drop(bool release) {
    valid_ = pending_ = false;
    if (!release) return;
    std::lock_guard<std::mutex> hold(gHoldersLock);
    Forget(this);
    block_.Free();
}

const uint8_t* KeptPlane::Find(const KeptPlaneKey& key, uint64_t offset, uint64_t bytes) const {
    if (!valid_ || bytes == 0 || offset < offset_ || !(key == key_)) return nullptr;
    const uint64_t from = offset - offset_;
    const uint64_t row = from / stride_, within = from % stride_;
    if (row >= rows_ || within > rowBytes_ || bytes > rowBytes_ - within) return nullptr;
    return static_cast<const uint8_t*>(block_.block) + row * rowBytes_ + within;
}

}  // namespace orva
