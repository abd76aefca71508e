#include "io/formats/bmp/decoded_image.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>
#include <utility>
#include <vector>

#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "common/system.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/input_source.h"
#include "io/service_description.h"

namespace orva {

namespace {

// Every field the decoded file's layout states: sample type, byte order, sign, data
// positions, sizes, axes, channels, frames, sections, scale and zero, and the kind.
constexpr uint64_t kDecodedFlags = 0x1903FF1F;
constexpr int kErrNoDecodedTempFile = -18;

}  // namespace

int OpenDecodedStream(StreamRecord** holder, const char* dataFile) {
    char name[kPathMax];
    name[0] = '\0';
    if (!MakeTempFile(name, nullptr, kDecodedFilePrefix)) return kErrNoDecodedTempFile;
    int r = StreamOpen(holder, kDecodedStreamMode, name, dataFile);
    // The stream unlinks the name once open; when it could not open, do it here.
    if (*holder == nullptr || (*holder)->fd < 0) ::unlink(name);
    return r;
}

DecodeBudget& TheDecodeBudget() {
    static DecodeBudget budget;
    return budget;
}

int CheckDecodedSpace(const char* dataFile, uint64_t bytes) {
    const uint64_t most = TheDecodeBudget().pictureBytes;
    if (most != 0 && bytes > most) {
        LogPrintf("\"%s\": the decoded picture needs %I64u bytes, more than the %I64u a decode may take",
                  dataFile ? dataFile : "", bytes, most);
        return kErrNoSpace;
    }
    const std::string folder = TempFolder();
    uint64_t free = 0;
    if (!DiskFreeSpaceEx(folder.c_str(), &free, nullptr, nullptr) || bytes <= free) return kResultReady;
    LogPrintf("\"%s\": the decoded picture needs %I64u bytes, the temporary folder '%s' has %I64u free",
              dataFile ? dataFile : "", bytes, folder.c_str(), free);
    return kErrNoSpace;
}

int DecodedWriteFailed(const char* dataFile, int error) {
    LogPrintf("\"%s\": can`t write the decoded picture to the temporary folder '%s': %s", dataFile ? dataFile : "",
              TempFolder().c_str(), std::strerror(error));
    return ErrnoToErrorValue(error);
}

int AttachDecodedImage(InputSource* source, const DecodedImage& image, FormatInfo* formatInfo) {
    if (source == nullptr || source->stream == nullptr) return kErrWrong;
    const uint32_t kind = image.kind & (kTypeImage | kTypeVector);
    const uint32_t type = image.type | kind;
    FileLayout layout;
    layout.tag = MakeFormatTag("BINARY");
    layout.type = type;
    layout.bits = BitsFromType(type);
    layout.channels = image.components;
    layout.sizeX = image.width;
    layout.sizeY = image.height;
    layout.sizeZ = 1;
    layout.frames = 1;
    layout.dataOffset = 0;
    layout.dataEnd = source->stream->length;
    layout.flags = kDecodedFlags;

    DataSet* dataSet = DataSet::Create(MakeFormatTag("BINARY"));
    if (dataSet == nullptr) return kErrOutOfMemory;
    source->OpenSequenceFile(0);
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
    const char* current = source->CurrentFileName();
    if (hooks.load && current) dataSet->service = hooks.load(current);
    if (!LayoutToDataSet(&layout, dataSet)) {
        dataSet->Release();
        return LayoutRefuseDescription(source->name ? source->name->Text() : nullptr, layout.dataEnd);
    }
    // The kind bits of the decoded type replace those of the merge.
    dataSet->input.type =
        NormalizeFormatWord(ClearFlagGroups(dataSet->input.type, kTypeImage) | kind);
    dataSet->InputFormatChanged();
    dataSet->flags |= kDecodedFlags;
    if (image.rangeMax > 0.0) {
        // The samples' range in the units the description gives them (a service file may
        // scale them).
        double low = dataSet->zero, high = image.rangeMax * dataSet->scale + dataSet->zero;
        if (high < low) std::swap(low, high);
        dataSet->rangeMin = low;
        dataSet->rangeMax = high;
    }
    DataSetLayout objects;
    if (formatInfo) {
        formatInfo->type = type;
        formatInfo->bits = layout.bits;
        objects = DataSetLayoutFrom(*formatInfo);
        objects.formatInfo = formatInfo;
    } else {
        objects = DataSetLayoutFrom(layout);
    }
    int r = source->AttachDataSet(dataSet, source->stream, &objects);
    dataSet->Release();
    return r;
}

BlockWriter::BlockWriter(StreamRecord* stream, int count) : stream_(stream), count_(count) {
    try {
        thread_ = std::thread(&BlockWriter::Run, this);
        ready_ = true;
    } catch (const std::exception&) {
        ready_ = false;
    }
}

BlockWriter::~BlockWriter() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable()) thread_.join();
}

uint8_t* BlockWriter::Acquire(size_t bytes) {
    std::unique_lock<std::mutex> lock(mutex_);
    try {
        if (free_.empty() && static_cast<int>(blocks_.size()) < count_) {
            blocks_.emplace_back();
            free_.push_back(&blocks_.back());
        }
        changed_.wait(lock, [this] { return !free_.empty() || failed_; });
        if (failed_) return nullptr;
        std::vector<uint8_t>* b = free_.back();
        if (b->size() < bytes) b->resize(bytes);
        free_.pop_back();
        return b->data();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void BlockWriter::Submit(uint8_t* block, int64_t offset, size_t bytes) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::vector<uint8_t>* owner = nullptr;
        for (auto& b : blocks_)
            if (b.data() == block) owner = &b;
        if (owner == nullptr) return;
        queue_.push_back({owner, offset, bytes});
    }
    changed_.notify_all();
}

int64_t BlockWriter::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return (queue_.empty() && !busy_) || failed_; });
    return written_;
}

int BlockWriter::Error() {
    std::lock_guard<std::mutex> lock(mutex_);
    return failed_ ? (error_ ? error_ : EIO) : 0;
}

void BlockWriter::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty()) return;  // stopping with nothing left to write
        const Job job = queue_.front();
        queue_.pop_front();
        busy_ = !failed_;
        lock.unlock();
        bool ok = true;
        int error = 0;
        if (busy_) {
            errno = 0;
            ok = StreamWrite(stream_, job.offset, job.block->data(), job.bytes) ==
                 static_cast<int64_t>(job.bytes);
            // A short write that set no error ran out of room.
            if (!ok) error = errno ? errno : ENOSPC;
        }
        lock.lock();
        if (busy_) {
            if (ok && job.offset == written_) {
                written_ += static_cast<int64_t>(job.bytes);
            } else {
                failed_ = true;
                error_ = error ? error : EIO;
            }
        }
        busy_ = false;
        free_.push_back(job.block);
        changed_.notify_all();
    }
}

bool FlipRowsInFile(StreamRecord* stream, int64_t rowBytes, int64_t rows) {
    if (stream == nullptr || rowBytes <= 0 || rows < 0) return false;
    if (rows < 2) return true;
    std::vector<char> a, b;
    try {
        a.resize(static_cast<size_t>(rowBytes));
        b.resize(static_cast<size_t>(rowBytes));
    } catch (const std::bad_alloc&) {
        return false;
    }
    const size_t n = static_cast<size_t>(rowBytes);
    for (int64_t top = 0, bottom = rows - 1; top < bottom; ++top, --bottom) {
        if (StreamRead(stream, top * rowBytes, a.data(), n) != rowBytes ||
            StreamRead(stream, bottom * rowBytes, b.data(), n) != rowBytes ||
            StreamWrite(stream, top * rowBytes, b.data(), n) != rowBytes ||
            StreamWrite(stream, bottom * rowBytes, a.data(), n) != rowBytes)
            return false;
    }
    return true;
}

}  // namespace orva
