// The raw BINARY format: opening a raw file with the positions of its service
// description, RawOpen over a reader's layout, and writing raw samples through
// the output writer.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <sstream>
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
#include "platform/message_box.h"
#include "test_support.h"
#include "write_source_fixture.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::KeepReceiver;

// Closing a data set writes its service file back (FSSave on) while this lives.
struct SaveOnClose {
    DataSetServices saved = TheDataSetServices();
    SaveOnClose() { TheDataSetServices().saveServiceFiles = true; }
    ~SaveOnClose() { TheDataSetServices() = saved; }
};

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

// Without a description the sizes are guessed from the length: the square that the
// samples fill (1000 bytes of 16-bit samples: 22 x 22), read as an image; the same when
// a file of unknown kind is opened as binary at the user's word.
TEST_F(RawFormat, FileWithoutDescriptionOpensAtAGuessedSizeAndReads) {
    std::string bytes(1000, '\0');
    for (size_t i = 0; i < bytes.size(); i += 2) {
        const int16_t v = static_cast<int16_t>(i / 2 * 3 - 700);
        std::memcpy(&bytes[i], &v, 2);
    }
    Write("a.dat", bytes);
    Write("a.qqq", bytes);
    platform::SetMessageBoxAnswer(platform::kIdYes);
    for (const char* name : {"a.dat", "a.qqq"}) {
        SCOPED_TRACE(name);
        ASSERT_EQ(Open(name), 2);
        DataSet* d = receiver.kept;
        EXPECT_EQ(testing_io::XY(*d), testing_io::XY(22, 22));
        EXPECT_EQ(d->cropSizeY, 22);
        EXPECT_EQ(d->input.type & (kTypeImage | kTypeVector), kTypeImage);
        EXPECT_EQ(Value(d, 5, 3), (3 * 22 + 5) * 3 - 700);
        EXPECT_EQ(Value(d, 21, 21), (21 * 22 + 21) * 3 - 700);
    }
    platform::SetMessageBoxAnswer(0);
    // The guess itself: the square of count / depth, the depth dropped when no square of
    // it fits; a stated size leaves the fitting to the sizes it states.
    struct Guess {
        int64_t x, y, z;
        uint64_t flags;
        int64_t count;
        int64_t ex, ey, ez;
    } guesses[] = {{0, 1, 1, 0, 1000, 31, 31, 1},      {0, 1, 4, 0, 1000, 15, 15, 4},
                   {0, 1, 4, 0, 3, 1, 1, 1},           {0, 1, 0, 0, 0, 0, 1, 1},
                   {40, 1, 1, kFlagSizeX, 1000, 40, 1, 1}, {0, 7, 1, kFlagSizeY, 1000, 142, 7, 1}};
    for (const Guess& g : guesses) {
        int64_t x = g.x, y = g.y, z = g.z;
        TheLayoutServices().guessSizesFromCount(&x, &y, &z, g.flags, g.count);
        EXPECT_EQ(std::vector<int64_t>({x, y, z}), std::vector<int64_t>({g.ex, g.ey, g.ez})) << g.count;
    }
}

// A description that promises more than its file holds is fitted to the file, with the
// changes in the log; one whose rows the file cannot hold is refused.
TEST_F(RawFormat, DescriptionIsFittedToItsFileOrRefused) {
    std::string bytes(20000, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7);
    Write("a.dat", bytes);
    struct Case {
        const char* keys;
        int result;
        int64_t x, y, z;
        uint32_t sections, frames;
        const char* log;
    } cases[] = {
        // A depth of 2^62 and 2^31 - 1 sections beside 20000 bytes: one cube that fits.
        {" SIZEX=100\n SIZEY=100\n SIZEZ=4611686018427387904\n SECTIONS=2147483647\n BITPIX=8\n", 2, 27, 27,
         27, 1, 1, "correct fs read data: W=100, new W=27 H=100, new H=27 Z=4611686018427387904, new Z=27"},
        // 1000 sections of a 100 x 100 picture: the two pictures the file holds.
        {" SIZEX=100\n SIZEY=100\n BITPIX=8\n SECTIONS=1000\n", 2, 100, 100, 1, 1, 2, nullptr},
        // No row of a million 8-bit samples in 20000 bytes.
        {" SIZEX=1000000\n BITPIX=8\n", -12, 0, 0, 0, 0, 0,
         "correct fs read data: 20000 bytes of data hold no row of W=1000000 (Channels=1, bits=8)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        WriteFs("a.dat", c.keys);
        if (receiver.kept) receiver.kept->Release();
        receiver.kept = nullptr;
        ASSERT_EQ(Open("a.dat"), c.result);
        const std::string log = Log();
        if (c.log) testing_io::ExpectContains(log, {c.log});
        if (c.result < 2) {
            EXPECT_EQ(receiver.kept, nullptr);
            testing_io::ExpectContains(log, {"'" + dir + "/a.dat' - the service description does not fit the 20000 bytes of data",
                                             "(" + dir + "/a.dat) - unsupported"});
            continue;
        }
        DataSet* d = receiver.kept;
        ASSERT_NE(d, nullptr);
        EXPECT_EQ(std::vector<int64_t>({d->sizeX, d->sizeY, d->sizeZ}), std::vector<int64_t>({c.x, c.y, c.z}));
        EXPECT_EQ(d->sections, c.sections);
        EXPECT_EQ(d->TotalFrames(), c.frames);
        // The last frame reads its last sample.
        ReadWindow w{static_cast<int32_t>(c.frames) - 1, 0, c.x - 1, c.y - 1, 1, 1, c.z - 1, 1, 0};
        ASSERT_TRUE(Read(d, &w));
        const int64_t last = c.x * c.y * c.z * c.frames - 1;
        EXPECT_EQ(At(0, 0), static_cast<int8_t>(last * 7));  // a raw file's bytes count as signed
    }
}

// Samples packed to 1 to 31 bits, most significant bit first and without padding between
// rows or frames (numpy's packbits), read back as the values numpy packed; a description
// that promises more rows than the file holds is fitted to it.
TEST_F(RawFormat, BitPackedSamplesReadAsNumpyPackedThem) {
    if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import numpy'")) GTEST_SKIP() << "numpy not installed";
    struct Case {
        const char* name;
        uint32_t bits;
        bool isSigned;
        int64_t w, h;
        uint32_t frames;
    } cases[] = {{"p1", 1, false, 13, 3, 2}, {"p3", 3, true, 7, 5, 1},  {"p5", 5, false, 9, 4, 3},
                 {"p10", 10, true, 6, 6, 2}, {"p12", 12, false, 4, 2, 1}, {"p12f", 12, false, 5, 3, 2},
                 {"p17", 17, false, 5, 2, 2}, {"p31", 31, true, 3, 3, 2}};
    std::string list;
    for (const Case& c : cases)
        list += std::string(c.name) + " " + std::to_string(c.bits) + " " + (c.isSigned ? "1 " : "0 ") +
                std::to_string(c.w * c.h * c.frames) + "\n";
    Write("cases.txt", list);
    Write("pack.py",
          "import sys, numpy as np\n"
          "rng = np.random.default_rng(7)\n"
          "out = sys.argv[1]\n"
          "for line in open(out + '/cases.txt'):\n"
          "    name, bits, signed, n = line.split(); bits, signed, n = int(bits), int(signed), int(n)\n"
          "    lo, hi = (-(1 << (bits - 1)), (1 << (bits - 1)) - 1) if signed else (0, (1 << bits) - 1)\n"
          "    v = rng.integers(lo, hi, size=n, endpoint=True, dtype=np.int64)\n"
          "    v[0], v[-1] = lo, hi\n"
          "    u = v & ((1 << bits) - 1)\n"
          "    b = ((u[:, None] >> np.arange(bits - 1, -1, -1)) & 1).astype(np.uint8).ravel()\n"
          "    open(out + '/' + name + '.dat', 'wb').write(np.packbits(b).tobytes())\n"
          "    open(out + '/' + name + '.txt', 'w').write(' '.join(str(x) for x in v))\n");
    int status = -1;
    const std::string out = testing_io::RunCommand(ORVA_PYTHON " '" + dir + "/pack.py' '" + dir + "' 2>&1", &status);
    ASSERT_EQ(status, 0) << out;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string data = std::string(c.name) + ".dat";
        std::vector<double> want;
        {
            std::istringstream in(testing_util::ReadText(dir + "/" + c.name + ".txt"));
            for (double v; in >> v;) want.push_back(v);
        }
        // The issue's own case besides: three rows promised where two are, fitted to two.
        for (int64_t promised : {c.h, c.frames == 1 ? c.h + 1 : c.h}) {
            WriteFs(data, " SIZEX=" + std::to_string(c.w) + "\n SIZEY=" + std::to_string(promised) +
                                          "\n BITS=" + std::to_string(c.bits) + "\n UNSIGNED=" +
                                          (c.isSigned ? "0" : "1") + "\n");
            ASSERT_EQ(Open(data), 2);
            DataSet* d = receiver.kept;
            ASSERT_EQ(testing_io::XY(*d), testing_io::XY(c.w, c.h));
            ASSERT_EQ(d->TotalFrames(), c.frames);
            EXPECT_EQ(d->input.bits, c.bits);
            for (uint32_t f = 0; f < c.frames; ++f) {
                ReadWindow w{static_cast<int32_t>(f), 0, 0, 0, static_cast<int32_t>(c.w), static_cast<int32_t>(c.h),
                             0, 1, 0};
                ASSERT_TRUE(Read(d, &w));
                for (int64_t y = 0; y < c.h; ++y)
                    for (int64_t x = 0; x < c.w; ++x)
                        ASSERT_EQ(At(static_cast<uint32_t>(x), static_cast<uint32_t>(y)),
                                  want[static_cast<size_t>((f * c.h + y) * c.w + x)])
                            << f << " " << x << " " << y;
            }
        }
    }
}

// ---- Rewriting the description ------------------------------------------------------------

// What an open makes of a raw file and its description: the description's fields as the
// data set took them, and the samples of every frame the step visits.
struct OpenedRaw {
    std::vector<int64_t> fields;
    std::vector<double> scaleZeroRate;
    std::vector<double> values;
    bool operator==(const OpenedRaw&) const = default;
};

// A raw file whose description states every key the program writes back: 6 x 5 x 3 pixels
// of two big-endian unsigned 16-bit channels, four frames after a 64-byte header and before
// 40 bytes of trailer, three of them used at a step of 2, with a crop box on every axis,
// scale, zero, the second channel selected and a frame rate. Closing the data set (as
// Ctrl+W and Exit do) and "Update" rewrite its service file; every open after them reads
// what the first read, and a second rewrite gives the same file.
TEST_F(RawFormat, ARewrittenDescriptionReadsAsTheFirst) {
    std::string bytes(64 + 4 * 360 + 40, '\0');
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 37 + (i >> 3));
    Write("all.raw", bytes);
    const std::string fs = dir + "/all.fs";
    const std::string keys =
        " SIZEX=6\n SIZEY=5\n SIZEZ=3\n BEGINPOS=64\n ENDPOS=1504\n CropBoundBox=1, 4, 1, 3, 1, 2\n"
        " BSCALE=0.25\n BZERO=-3\n BYTESWAP=1\n BITPIX=16\n UNSIGNED=1\n CHANNELS=2\n NCHANNEL_OUT=2\n"
        " CONVSPEC_FLAG=1\n FRAMES_MAX=4\n FRAMES=3\n FRAMESTEP=2\n FPS=12.5\n CObj=BINARY\n";
    WriteFs("all.raw", keys);
    SaveOnClose saveOnClose;
    auto open = [&](OpenedRaw* out) {
        if (receiver.kept) receiver.kept->Release();
        receiver.kept = nullptr;
        ASSERT_EQ(Open("all.raw"), 2) << Log();
        DataSet* d = receiver.kept;
        out->fields = {d->sizeX, d->sizeY, d->sizeZ, d->cropX, d->cropY, d->cropZ, d->cropSizeX, d->cropSizeY,
                       d->cropSizeZ, d->dataBegin, d->dataEnd, d->input.type & 0x1FFu, d->input.bits,
                       d->input.channels, d->framesToUse, d->TotalFrames(), d->frameStep, d->sections,
                       d->channelMode, d->selectedChannel};
        out->scaleZeroRate = {d->scale, d->zero, d->frameRate};
        out->values.clear();
        for (int32_t f = 0; f < static_cast<int32_t>(d->StepFrames()); ++f)
            for (int64_t z = 0; z < 2; ++z) {
                ReadWindow w{f, 0, 0, 0, 4, 3, z, 1, 0};
                ASSERT_TRUE(Read(d, &w)) << f;
                for (uint32_t y = 0; y < 3; ++y)
                    for (uint32_t x = 0; x < 4; ++x) out->values.push_back(At(x, y));
            }
    };
    OpenedRaw first;
    open(&first);
    // What the keys say: the second channel of pixel (1, 1, 1) of frame 1 is stored at
    // 64 + ((1 * 5 + 1) * 6 + 1) * 4 + 2.
    const size_t at = 64 + ((1 * 5 + 1) * 6 + 1) * 4 + 2;
    const double stored = static_cast<uint8_t>(bytes[at]) * 256 + static_cast<uint8_t>(bytes[at + 1]);
    EXPECT_EQ(first.values.at(0), stored * 0.25 - 3);
    EXPECT_EQ(first.fields, (std::vector<int64_t>{6, 5, 3, 1, 1, 1, 4, 3, 2, 64, 1504, 0x182, 16, 2, 3, 4, 2, 1, 1, 2}));
    EXPECT_EQ(first.scaleZeroRate, (std::vector<double>{0.25, -3, 12.5}));

    // Closed: the data set writes its description back.
    receiver.kept->Release();
    receiver.kept = nullptr;
    const std::string closed = testing_util::ReadText(fs);
    testing_io::ExpectContains(closed, {"BeginPos=64\n", "EndPos=1504\n", "CropBoundBox=1, 4, 1, 3, 1, 2\n",
                                        "Frames_Max=4\n", "Frames=3\n", "FrameStep=2\n", "NChannel_Out=2\n"});
    OpenedRaw again;
    open(&again);
    EXPECT_TRUE(again == first) << closed;
    // "Update": the description of the data set as it stands, saved on request; closing
    // writes it again unchanged.
    EXPECT_EQ(ChooseServiceSaveName(receiver.kept, true), 1);
    const std::string updated = testing_util::ReadText(fs);
    testing_io::ExpectContains(updated, {"BeginPos=64\n", "EndPos=1504\n", "Frames=3\n", "FrameStep=2\n", "fps=12.5\n"});
    receiver.kept->Release();
    receiver.kept = nullptr;
    EXPECT_EQ(testing_util::ReadText(fs), updated);
    open(&again);
    EXPECT_TRUE(again == first) << updated;
}

// A hand-written description that leaves counts and sizes to the data: raw.bin holds a
// 100-byte header, five frames of 64 x 32 int16 and 50 bytes of trailer. Closing the data set
// rewrites raw.fs; every open after that reads what the first open read (five frames, the
// same sizes and samples), and the user's own lines outside the description stay.
TEST_F(RawFormat, ARewriteNeverReadsLessThanTheOpenThatWroteIt) {
    std::string bytes(100, '\x07');
    for (int i = 0; i < 5 * 64 * 32; ++i) {
        const int16_t v = static_cast<int16_t>(i % 1000 - 300);
        bytes.append(reinterpret_cast<const char*>(&v), 2);
    }
    bytes.append(50, '\x09');
    Write("raw.bin", bytes);
    SaveOnClose saveOnClose;
    const std::string base = " BEGINPOS=100\n BITPIX=16\n BSCALE=0.5\n BZERO=7\n CObj=BINARY\n";
    struct Case {
        std::string keys;
        std::vector<int64_t> read;  // width, height, depth, frames, frames to use, step
    };
    const Case cases[] = {
        {" SIZEX=64\n SIZEY=32\n" + base, {64, 32, 1, 5, 5, 1}},
        {" SIZEX=64\n SIZEY=32\n ENDPOS=20580\n" + base, {64, 32, 1, 5, 5, 1}},
        {" SIZEX=64\n SIZEY=32\n FRAMESTEP=2\n" + base, {64, 32, 1, 5, 5, 2}},
        {" SIZEX=64\n SIZEY=32\n ENDPOS=20580\n FRAMESTEP=2\n" + base, {64, 32, 1, 5, 5, 2}},
        // Rows of 64 and nothing more: each row a frame; no size at all: one row of all.
        {" SIZEX=64\n ENDPOS=20580\n" + base, {64, 1, 1, 160, 160, 1}},
        {base, {10265, 1, 1, 1, 1, 1}},
        {" SIZEX=64\n SIZEY=32\n SIZEZ=5\n ENDPOS=20580\n" + base, {64, 32, 5, 1, 1, 1}},
        // Frames to use, and a largest count below what the data holds: the frames to use.
        {" SIZEX=64\n SIZEY=32\n FRAMES=3\n" + base, {64, 32, 1, 5, 3, 1}},
        {" SIZEX=64\n SIZEY=32\n FRAMES_MAX=2\n" + base, {64, 32, 1, 5, 2, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.keys);
        Write("raw.fs", "// notes of the user\nSEL(URL=\"raw.bin\")\n{\n [{" + std::string(ServiceSectionName()) +
                            "}]\n" + c.keys + "}\n// more notes\n");
        std::vector<int64_t> first;
        for (int open = 0; open < 3; ++open) {
            if (receiver.kept) receiver.kept->Release();
            receiver.kept = nullptr;
            ASSERT_EQ(Open("raw.bin"), 2) << Log();
            DataSet* d = receiver.kept;
            std::vector<int64_t> read = {d->sizeX, d->sizeY, d->sizeZ, d->TotalFrames(), d->framesToUse, d->frameStep,
                                         d->dataBegin, d->dataEnd, d->input.type & 0x1FF, d->input.channels};
            if (open == 0) {
                first = read;
                if (!c.read.empty()) {
                    EXPECT_EQ(std::vector<int64_t>(read.begin(), read.begin() + 6), c.read);
                }
            } else {
                EXPECT_EQ(read, first) << "open " << open << ":\n" << testing_util::ReadText(dir + "/raw.fs");
            }
        }
        const std::string fs = testing_util::ReadText(dir + "/raw.fs");
        testing_io::ExpectContains(fs, {"// notes of the user\n", " BeginPos=100\n", "// more notes\n"});
        // A count the description left to the data is not written.
        if (c.keys.find(" FRAMES=") == std::string::npos && c.keys.find(" FRAMES_MAX=") == std::string::npos) {
            EXPECT_EQ(fs.find("Frames"), std::string::npos) << fs;
        }
        receiver.kept->Release();
        receiver.kept = nullptr;
    }
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
    // The files are written again over themselves: the user agrees to each replacement.
    struct Agree {
        OutputWriterHooks saved = TheOutputWriterHooks();
        Agree() {
            TheOutputWriterHooks().uiUp = [] { return true; };
            TheOutputWriterHooks().messageBox = [](const char*, const char*, uint32_t) { return 6; };
        }
        ~Agree() { TheOutputWriterHooks() = saved; }
    } agree;
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
        // Written over a symbolic link: the link stays and its file takes the data and
        // keeps its permissions.
        const std::string real = folder + "/elsewhere";
        ASSERT_EQ(mkdir(real.c_str(), 0700), 0);
        ASSERT_EQ(rename(run.file.c_str(), (real + "/kept").c_str()), 0);
        ASSERT_EQ(symlink("elsewhere/kept", run.file.c_str()), 0);
        ASSERT_EQ(truncate((real + "/kept").c_str(), 1), 0);
        run = testing_io::RunWriter(format, target, kTypeI16, kTypeI16, 8, 4, 1, &Wave);
        ASSERT_EQ(run.filesWritten, 1);
        struct stat link {};
        ASSERT_EQ(lstat(run.file.c_str(), &link), 0);
        EXPECT_TRUE(S_ISLNK(link.st_mode));
        EXPECT_EQ(mode(real + "/kept"), 0640);
        struct stat data {};
        ASSERT_EQ(stat((real + "/kept").c_str(), &data), 0);
        EXPECT_GE(data.st_size, 8 * 4 * 2);
    }
}

}  // namespace
}  // namespace orva
