// The raw BINARY format: opening a raw file with the positions of its service
// description, RawOpen over a reader's layout, and writing raw samples through
// the output writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <string>
#include <vector>

#include "data/element_type.h"
#include "data_set_fixture.h"
#include "io/file_layout.h"
#include "io/format_registry.h"
#include "io/formats/binary/raw_reader.h"
#include "io/formats/binary/raw_writer.h"
#include "io/input_source.h"
#include "io/service_description.h"
#include "test_support.h"
#include "write_source_fixture.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::KeepReceiver;

class RawFormat : public DataSetFixture {
protected:
    // A ".fs" description of a data file with the given extra keys.
    void WriteFs(const std::string& data, const std::string& keys) {
        const std::string base = data.substr(0, data.rfind('.'));
        Write(base + ".fs", "SEL(URL=\"" + data + "\")\n{\n [{" + std::string(ServiceSectionName()) +
                                "}]\n" + keys + "}\n");
    }
    int Open(const std::string& file) {
        return testing_io::OpenThroughRegistry(&registry, dir + "/" + file, &receiver);
    }
    testing_io::BuiltinFormats formats;
    FormatRegistry& registry = formats.registry;
    KeepReceiver receiver;
};

TEST_F(RawFormat, ServiceDescriptionPositionsAreHeldAgainstTheFile) {
    Write("a.dat", std::string(1000, '\x01'));
    struct Case {
        const char* keys;
        int64_t begin, end;
    };
    const Case cases[] = {
        {" SIZEX=10\n BITPIX=8\n BEGINPOS=100\n ENDPOS=600\n", 100, 600},
        // BEGINPOS at the end of the file leaves the offset at 0.
        {" SIZEX=10\n BITPIX=8\n BEGINPOS=1000\n", 0, 1000},
        // ENDPOS beyond the file is ignored; one not after the offset gives the file's end.
        {" SIZEX=10\n BITPIX=8\n BEGINPOS=200\n ENDPOS=5000\n", 200, 1000},
        {" SIZEX=10\n BITPIX=8\n BEGINPOS=300\n ENDPOS=300\n", 300, 1000},
        {" SIZEX=10\n BITPIX=8\n", 0, 1000},
    };
    for (const Case& c : cases) {
        WriteFs("a.dat", c.keys);
        ASSERT_EQ(Open("a.dat"), 2) << c.keys;
        ASSERT_NE(receiver.kept, nullptr);
        EXPECT_EQ(receiver.kept->dataBegin, c.begin) << c.keys;
        EXPECT_EQ(receiver.kept->dataEnd, c.end) << c.keys;
        EXPECT_STREQ(receiver.kept->TagText(), "BINARY");
        ASSERT_NE(receiver.kept->service, nullptr);
        EXPECT_EQ(receiver.kept->service->state, 1);  // marked as applied
    }
}

TEST_F(RawFormat, OpenResultsWithoutFileStreamOrData) {
    // An empty file: 1, and no data set.
    EXPECT_EQ(testing_io::OpenWithReader(nullptr, Write("empty.dat", ""), &receiver, &BinaryOpen),
              1);
    EXPECT_EQ(receiver.kept, nullptr);
    // No request or no stream: -1.
    InputSource bare;
    EXPECT_EQ(BinaryOpen(&bare), -1);
    EXPECT_EQ(RawOpen(&bare, nullptr, 0, nullptr, false), -1);
}

TEST_F(RawFormat, RawOpenTakesTheReadersLayoutAndDataSet) {
    const std::string path = Write("r.bin", std::string(4096, '\x02'));
    FileLayout layout;
    layout.type = kTypeI16;
    layout.bits = 16;
    layout.sizeX = 32;
    layout.sizeY = 16;
    layout.flags = kFlagSampleSize | kFlagSizeX | kFlagSizeY | kFlagBeginPos;
    layout.dataOffset = 512;
    layout.dataEnd = 99999;  // past the file: the file's end
    DataSet* dataSet = DataSet::Create(MakeFormatTag("BINARY"));
    ASSERT_NE(dataSet, nullptr);
    ASSERT_EQ(testing_io::OpenWithReader(
                  FormatBinary(), path, &receiver,
                  [&](InputSource* source) {
                      EXPECT_EQ(StreamOpen(&source->stream, kStreamBinary, path.c_str()), 2);
                      return RawOpen(source, &layout, 0, dataSet, true);
                  }),
              2);
    EXPECT_EQ(receiver.kept, dataSet);
    EXPECT_EQ(dataSet->dataBegin, 512);
    EXPECT_EQ(dataSet->dataEnd, 4096);
    EXPECT_EQ(dataSet->sizeX, 32);
    EXPECT_EQ(dataSet->flags & 7, 7u);  // the type counts as stated
    // A plain layout is no component: the raw reader's own one goes along.
    EXPECT_EQ(testing_io::FormatInfoClass(dataSet), &kBinaryInfoId);
    dataSet->Release();                 // the receiver keeps its own reference
}

// ---- Writing -----------------------------------------------------------------------------------

double Wave(int frame, int64_t x, int64_t y) { return static_cast<double>(x * 3 - y * 5 + frame * 11); }

TEST_F(RawFormat, BinaryWriteThroughTheOutputWriterAndReadBack) {
    const testing_io::WriteRun run =
        testing_io::RunWriter(FormatBinary(), dir + "/out.dat", kTypeI16, kTypeI16, 20, 10, 2, &Wave);
    ASSERT_EQ(run.filesWritten, 1);
    const std::string bytes = testing_util::ReadText(run.file);
    ASSERT_EQ(bytes.size(), 20u * 10u * 2u * 2u);
    std::vector<int16_t> v(bytes.size() / 2);
    std::memcpy(v.data(), bytes.data(), bytes.size());
    for (int f = 0; f < 2; ++f)
        for (int64_t y = 0; y < 10; ++y)
            for (int64_t x = 0; x < 20; ++x)
                ASSERT_EQ(v[(f * 10 + y) * 20 + x], Wave(f, x, y)) << f << " " << x << " " << y;
    // The writer's service description lets the raw file open with its shape.
    const std::string file = run.file.substr(run.file.rfind('/') + 1);
    ASSERT_EQ(Open(file), 2);
    EXPECT_EQ(testing_io::XY(*receiver.kept), testing_io::XY(20, 10));
    EXPECT_EQ(receiver.kept->TotalFrames(), 2u);

    // Without a writer nothing is written.
    EXPECT_FALSE(BinaryWrite(nullptr));
}

// Written files get what any program's output gets: 0666 less the umask when new, and
// the permissions of the file they replace. The write log and the service file too.
TEST_F(RawFormat, WrittenFilesTakeTheUsualPermissions) {
    struct Mask {
        mode_t saved;
        explicit Mask(mode_t m) : saved(umask(m)) {}
        ~Mask() { umask(saved); }
    } mask(022);
    auto mode = [](const std::string& path) {
        struct stat st {};
        return stat(path.c_str(), &st) == 0 ? static_cast<int>(st.st_mode & 07777) : -1;
    };
    for (const FormatDesc* format : {FormatBinary(), FormatFits()}) {
        const std::string folder = dir + (format == FormatFits() ? "/fits" : "/raw");
        ASSERT_EQ(mkdir(folder.c_str(), 0700), 0);
        const std::string target = folder + "/perm." + (format == FormatFits() ? "fits" : "dat");
        testing_io::WriteRun run =
            testing_io::RunWriter(format, target, kTypeI16, kTypeI16, 8, 4, 1, &Wave);
        ASSERT_EQ(run.filesWritten, 1);
        const std::string stem = run.file.substr(0, run.file.rfind('.'));
        EXPECT_EQ(mode(run.file), 0644) << run.file;
        EXPECT_EQ(mode(stem + ".fs"), 0644);
        EXPECT_EQ(mode(folder + "/perm.log"), 0644);
        // Written again over files of 0640: they keep it.
        ASSERT_EQ(chmod(run.file.c_str(), 0640), 0);
        ASSERT_EQ(chmod((stem + ".fs").c_str(), 0640), 0);
        run = testing_io::RunWriter(format, target, kTypeI16, kTypeI16, 8, 4, 1, &Wave);
        ASSERT_EQ(run.filesWritten, 1);
        EXPECT_EQ(mode(run.file), 0640);
        EXPECT_EQ(mode(stem + ".fs"), 0640);
        EXPECT_EQ(mode(folder + "/perm.log"), 0644);
    }
}

}  // namespace
}  // namespace orva
