// Feeds a whole file to the slice, statistic and old vector readers, then reads
// every section of every data set they built.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "common/path_name.h"
#include "io/data_set.h"
#include "io/formats/vector/vector_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace {

class KeepAll : public orva::InputReceiver {
public:
    ~KeepAll() override {
        for (orva::DataSet* d : kept) d->Release();
    }
    int TakeDataSet(orva::DataSet* d) override {
        if (kept.size() >= 64) return -14;
        d->AddRef();
        kept.push_back(d);
        return 2;
    }
    std::vector<orva::DataSet*> kept;
};

void ReadAll(orva::DataSet* d) {
    using namespace orva;
    TypedFrameBuffer image;
    const uint32_t frames = d->TotalFrames();
    for (uint32_t f = 0; f < frames && f < 16; ++f) {
        d->SelectPosition(static_cast<int32_t>(f), 0);
        const int32_t sections = d->sectionsInFrame > 0 ? d->sectionsInFrame : 1;
        for (int32_t s = 0; s < sections && s < 16; ++s) {
            image.SetTypeAndCount(0x40, 1);
            const int64_t w = d->cropSizeX < 4096 ? d->cropSizeX : 4096;
            const int64_t h = d->cropSizeY < 64 ? d->cropSizeY : 64;
            ReadWindow window{static_cast<int32_t>(f), s, 0, 0, static_cast<int32_t>(w),
                              static_cast<int32_t>(h), 0, 1, 0};
            d->ReadWindowData(&image, &window);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    int fd = memfd_create("vector_file_fuzz", 0);
    if (fd < 0) return 0;
    size_t done = 0;
    while (done < size) {
        ssize_t n = write(fd, data + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    const std::string path = "/proc/self/fd/" + std::to_string(fd);
    static FormatDesc desc = [] {
        FormatDesc f;
        f.tag = MakeFormatTag("SLISE");
        f.name = "Slice [Vector]";
        f.extensions = "slc\0";
        return f;
    }();
    int (*const opens[])(InputSource*) = {&SliceOpen, &StatisticOpen, &OldVectorOpen};
    for (auto open : opens) {
        PathName name;
        if (name.Set(path.c_str()) != 2) break;
        OpenRequest request;
        KeepAll keep;
        InputSource source;
        source.name = &name;
        source.request = &request;
        source.receiver = &keep;
        source.format = &desc;
        open(&source);
        StreamClose(&source.stream);
        for (DataSet* d : keep.kept) ReadAll(d);
    }
    close(fd);
    return 0;
}
