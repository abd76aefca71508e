// The raw_description target's input reaches the key parser: a seed of its corpus, laid
// out as the target lays it out, opens with the geometry its key lines state and not with
// what the data file's length alone would give.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <string>
#include <vector>

#include "common/path_name.h"
#include "data/element_type.h"
#include "fuzz/fuzz_support.h"
#include "fuzz/raw_description_input.h"
#include "fuzz/text_fuzz_support.h"
#include "io/format_desc.h"
#include "io/formats/binary/raw_reader.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva {
namespace {

class RawDescriptionSeed : public ::testing::Test {
protected:
    RawDescriptionSeed() {
        folder = ::testing::TempDir() + "orva_raw_seed_XXXXXX";
        if (mkdtemp(folder.data()) == nullptr) folder.clear();
    }
    ~RawDescriptionSeed() override {
        for (const std::string& name : fuzz::FolderEntries(folder)) unlink((folder + "/" + name).c_str());
        rmdir(folder.c_str());
    }
    // Opens the seed as the target does; the data sets it gave into `keep`.
    void OpenSeed(const char* name, fuzz::KeepAll* keep) {
        const std::string bytes = fuzz::ReadWhole(std::string(ORVA_FUZZ_CORPUS) + "/raw_description/" + name);
        ASSERT_FALSE(bytes.empty()) << name;
        ASSERT_FALSE(folder.empty());
        ASSERT_TRUE(fuzz::WriteRawDescribedInput(folder, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        const std::string file = folder + "/" + fuzz::kRawDataName;
        PathName path;
        ASSERT_EQ(path.Set(file.c_str()), 2);
        FormatDesc desc;
        desc.tag = MakeFormatTag("BINARY");
        OpenRequest request;
        InputSource source;
        source.name = &path;
        source.request = &request;
        source.format = &desc;
        source.receiver = keep;
        EXPECT_GE(BinaryOpen(&source), 2);
        StreamClose(&source.stream);
    }
    std::string folder;
};

// The keys state 64 x 32 16-bit samples and 3 frames; the data holds those 3 frames and
// 1000 bytes more, which no other geometry of the same length would give.
TEST_F(RawDescriptionSeed, KeysGiveTheGeometry) {
    fuzz::KeepAll keep;
    OpenSeed("geometry_64x32_int16_3frames", &keep);
    ASSERT_EQ(keep.kept.size(), 1u);
    const DataSet* d = keep.kept[0];
    EXPECT_EQ(d->sizeX, 64);
    EXPECT_EQ(d->sizeY, 32);
    EXPECT_LE(d->sizeZ, 1);
    EXPECT_EQ(FormatElementSize(d->input.type), 2u);
    EXPECT_EQ(d->TotalFrames(), 3u);
}

}  // namespace
}  // namespace orva
