#include "io/service_description.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/log.h"
#include "framework/keyword_table.h"
#include "io/data_set_info.h"
#include "io/file_layout.h"
#include "data_set_fixture.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_io::ExpectContains;
using testing_util::ProgramLogCapture;
using testing_util::ReadText;
using testing_util::TempFolder;

// Dispatches one KEY=value statement through a table of the given kind.
struct KeyParser {
    ServiceDescription d;
    TextSplit split;
    FsKeyTarget target;
    ParseState state;
    explicit KeyParser(int kind = 1, bool withSplit = false) {
        target.description = &d;
        target.split = withSplit ? &split : nullptr;
        EXPECT_TRUE(SelectFsKeywordTable(&state, &target, kind));
        state.log = ProgramLogTarget();
        state.line = 7;
    }
    int Key(const char* statement) {
        line_ = statement;
        size_t eq = line_.find('=');
        state.key = line_.c_str();
        state.keyLength = static_cast<uint32_t>(eq == std::string::npos ? line_.size() : eq);
        state.value = nullptr;
        return DispatchFsKey(&state);
    }
    // Runs the statements in order, each led by its expected outcome: '+' taken,
    // '-' refused, '0' accepted but not taken.
    void Keys(std::initializer_list<const char*> statements) {
        for (const char* s : statements) {
            const int r = Key(s + 1);
            EXPECT_EQ(r > 0 ? '+' : r < 0 ? '-' : '0', s[0]) << s + 1;
        }
    }

private:
    std::string line_;
};

size_t TableSize(const ParseState& state) {
    size_t n = 0;
    for (KeywordDescriptor* const* d = state.table->Descriptors(); *d; ++d) ++n;
    return n;
}

TEST(ServiceDescription, KeyTablesAndTheirSubsets) {
    ASSERT_TRUE(FsKeywordTablesReady());
    EXPECT_EQ(TableSize(KeyParser(1).state), 42u);
    EXPECT_EQ(TableSize(KeyParser(2).state), 23u);
    EXPECT_EQ(TableSize(KeyParser(0).state), 13u);
    EXPECT_EQ(TableSize(KeyParser(7).state), 13u);
    KeyParser(2).Keys({"-BITPIX=16", "+naxis3=4"});  // BITPIX only in the full table
    KeyParser(3).Keys({"-SIZEX=4", "+valuedz=0.5"});
    ParseState state;
    EXPECT_FALSE(SelectFsKeywordTable(&state, nullptr, 1));
}

TEST(ServiceDescription, KeyValuesAndRefusals) {
    ProgramLogCapture log;
    {
        KeyParser p;
        p.Keys({"+BEGINPOS=10", "-ENDPOS=5", "-BEGIN=0", "+End=100"});
        EXPECT_EQ(p.d.beginPos, 10);
        EXPECT_EQ(p.d.endPos, 100);
        EXPECT_EQ(p.d.flags, kFlagBeginPos | kFlagEndPos);
        EXPECT_EQ(p.d.active, 1);
    }
    {
        KeyParser p;
        p.d.cropY = 9;
        p.Keys({"+CropBoundBox=10, 20"});
        EXPECT_EQ(p.d.cropX, 10);
        EXPECT_EQ(p.d.cropSizeX, 20);
        EXPECT_EQ(p.d.cropY, 0);
        EXPECT_EQ(p.d.cropSizeZ, 0);
        p.Keys({"-CropBBox=1, 2, 3", "-CropBoundBox=", "+cropboundbox=1,2,3,4,5,6"});
        EXPECT_EQ(p.d.cropSizeZ, 6);
        p.Keys({"-MINMAX=3", "+MinMax=-1.5, 2.25"});
        EXPECT_EQ(p.d.min, -1.5);
        EXPECT_EQ(p.d.max, 2.25);
    }
    {
        KeyParser p;
        p.Keys({"+BITPIX=-32"});
        EXPECT_EQ(p.d.type, 0x10u);
        EXPECT_EQ(p.d.bits, 32u);
        EXPECT_EQ(p.d.channels, 1u);
        EXPECT_EQ(p.d.flags, kFlagSampleSize | kFlagSign);
        // Reals have no sign bit, nor 8-bit samples a byte order.
        p.Keys({"-UNSIGNED=1", "+bits=8", "-BYTESWAP=1", "+BITS=16", "+bswap=TRUE", "+unsign=1"});
        EXPECT_EQ(p.d.type, 0x182u);
        // A bit count of 1 to 31 other than 8, 16 and 24: unsigned samples packed without
        // padding, read as the next wider integers; counts beyond are refused.
        p.Keys({"+BITPIX=12"});
        EXPECT_EQ(p.d.type, 0x102u);
        EXPECT_EQ(p.d.bits, 12u);
        p.Keys({"+bits=3", "+unsigned=0"});
        EXPECT_EQ(p.d.type, 0x01u);
        EXPECT_EQ(p.d.bits, 3u);
        p.Keys({"-BITPIX=40"});
        EXPECT_EQ(p.d.flags & kFlagSampleSize, 0u);
        // A type word says one sample size, with at most a byte order and a sign: the
        // rewritten "bits" line could give back neither two sizes (0x2106 once took its
        // lowest) nor other bits, so such a word is refused and the type stays.
        p.Keys({"-DATATYPES=8454", "-DATATYPES=25", "-TYPES=2147483647", "-DATATYPES=4194306",
                "-DATATYPES=-2", "-DATATYPES=4294967298", "-DATATYPES=128"});
        EXPECT_EQ(p.d.type, 0x01u);
        EXPECT_EQ(p.d.bits, 3u);
        p.Keys({"+DATATYPES=386"});  // 0x182: 16-bit, unsigned, swapped
        EXPECT_EQ(p.d.type, 0x182u);
        EXPECT_EQ(p.d.bits, 16u);
        p.Keys({"-TYPES=0"});
        EXPECT_EQ(p.d.type, 0u);
        EXPECT_EQ(p.d.flags & (kFlagSampleSize | kFlagByteOrder | kFlagSign), 0u);
        p.Keys({"+BITPIX=24"});  // the 24-bit integers the writer may name
        EXPECT_EQ(p.d.type & 0x7Fu, 0x04u);
        EXPECT_EQ(p.d.bits, 24u);
        // The stored value of missing integer samples: a whole number, none for reals.
        p.Keys({"+Blank=-32768", "+BLANK= 65535 "});
        EXPECT_EQ(p.d.blank, 65535);
        EXPECT_NE(p.d.flags & kFlagBlank, 0u);
        p.Keys({"-BLANK=1.5"});
        EXPECT_EQ(p.d.flags & kFlagBlank, 0u);
        p.Keys({"+BITPIX=-64", "-Blank=3", "-blank=x"});
        EXPECT_EQ(p.d.flags & kFlagBlank, 0u);
    }
    {
        KeyParser p;
        p.Keys({"+ERROR=parsing :continue"});
        EXPECT_EQ(p.d.parseErrorMode, kFsErrorContinue);
        p.Keys({"+err=PARSING: Stop", "-ERROR=no", "-ERROR=parsing: stopper"});
        EXPECT_EQ(p.d.parseErrorMode, kFsErrorStop);
        p.Keys({"0CONVSPEC_FLAG=5"});
        EXPECT_EQ(p.d.convSpec, 0);
        p.Keys({"+NVALUE_FLAG=-3", "-CHANNELS=0"});
        EXPECT_EQ(p.d.convSpec, -3);
        EXPECT_EQ(p.d.flags & (kFlagChannels | kFlagChannelOut), 0u);
        p.Keys({"-FRAMESTEP=0", "+FRAMESTEP=-4", "+FRAMES=3", "-FRAMES_MAX=0"});
        EXPECT_EQ(p.d.frameStep, -4);
        EXPECT_EQ(p.d.flags & kFlagFrames, kFlagFrames);  // FRAMES keeps it
        p.Keys({"-FPS=-1", "+FPS=1e300"});
        EXPECT_EQ(p.d.fps, kFpsMax);
        p.Keys({"+FPS=0", "-BSCALE=0"});
        EXPECT_EQ(p.d.fps, kFpsMin);
        EXPECT_EQ(p.d.scale, 1.0);
        p.Keys({"-BSCALE=1e999", "+bscalev=0.125", "-BZERO=nan"});
        EXPECT_EQ(p.d.scale, 0.125);
        EXPECT_EQ(p.d.axisScales, nullptr);
        p.Keys({"+BZERONAXIZ2=3.5", "-VALUEX=inf", "+VALUEDNAXIZ3=-0.25"});
        EXPECT_EQ(p.d.axisScales, p.d.axis);
        EXPECT_EQ(p.d.axis[1].zero, 3.5);
        EXPECT_EQ(p.d.flags & kFlagZeroY, kFlagZeroY);
        EXPECT_EQ(p.d.valueDZ, -0.25);
        p.Keys({"+CObj=SPE WINV  "});
        EXPECT_EQ(p.d.formatTag, MakeFormatTag("SPE WINV"));
        p.Keys({"-CObj=TOOLONGTAG", "+CObj=FITS"});
        EXPECT_EQ(p.d.formatTag, MakeFormatTag("FITS"));
    }
    ExpectContains(log.Text(), {"@parsing read prop.: CropBoundBox=bad # values",
                                "$7: DATATYPES=8454 refused: more than one sample size",
                                "$7: DATATYPES=4194306 refused: bits beyond the size, byte order and sign",
                                "$7: DATATYPES=128 refused: no sample size",
                                "@parsing read prop.: MINMAX=bad # values", "$7: 'ENDPOS=5' : bad cmd"});
}

TEST(ServiceDescription, SplitPatternsAndSeparator) {
    ProgramLogCapture log;
    struct Case {
        const char* value;
        bool ok;
        const char* expect;  // letter axis count per command
    } cases[] = {
        {"XVVS2", true, "X.1 V.2 S.2"},
        {"sss", true, "S.3"},
        {"S3V", true, "S.3 V.1"},
        {"x y DV4 dZ", true, "X.1 Y.2 DV4 DZ3"},
        {"V0", true, "V.1"},
        {"S-2", true, "S.2"},
        {"V20000", true, "S.1"},
        {"DQ", false, ""},
        {"X2Y3", true, "X.1 Y.2"},  // numbers after axes are bad symbols
        {"#X", true, "X.1"},
        {"?X!Y#Z&V%S", false, ""},  // more than four bad symbols
        {"123", false, ""},
        {"XYXYXYXYXYXYXYXYXYXYX", true, "X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2 X.1 Y.2"},
    };
    for (const auto& c : cases) {
        KeyParser p(2, true);
        std::string statement = std::string("SPLIT=") + c.value;
        int r = p.Key(statement.c_str());
        EXPECT_EQ(r > 0, c.ok) << c.value;
        std::string got;
        for (uint32_t i = 0; i < p.split.count; ++i) {
            const SplitCommand& k = p.split.commands[i];
            if (!got.empty()) got += ' ';
            got += static_cast<char>(k.letter);
            got += k.axis ? static_cast<char>(k.axis) : '.';
            got += std::to_string(k.count);
        }
        EXPECT_EQ(got, c.expect) << c.value;
    }
    ExpectContains(log.Text(), {"$7: cmd> SPLIT=XYXYXYXYXYXYXYXYXYXYX, Max Cmd=20, stop parsing",
                                "$7: bad arg (number) cmd: SPLIT=...V0...", "$7: bad arg cmd> SPLIT=...2...",
                                "know (valid) symb: X, Y, Z, V{NUM COLUM}, D{X,Y,Z}, S{NUM SKIP}, N"});

    struct Sep {
        const char* value;
        int result;
        uint32_t separator;
    } seps[] = {{",", 1, ','}, {"';", 1, ';'}, {"\"|", 1, '|'}, {"' '", 1, 0},
                {"a", -1, 0},  {"7", -1, 0},  {"x", -1, 0},    {"-", -1, 0}};
    for (const auto& s : seps) {
        KeyParser p(3, true);
        p.split.separator = 99;
        std::string statement = std::string("SEPARATOR=") + s.value;
        EXPECT_EQ(p.Key(statement.c_str()) > 0 ? 1 : -1, s.result) << s.value;
        EXPECT_EQ(p.split.separator, s.separator) << s.value;
    }
    KeyParser plain(1, false);  // an ordinary service file has no split record
    EXPECT_LT(plain.Key("SPLIT=X"), 0);
    EXPECT_LT(plain.Key("SEPARATOR=,"), 0);
}

ServiceDescription Image(int64_t w, int64_t h, int64_t z, uint32_t bits, uint64_t given) {
    ServiceDescription d;
    d.active = 1;
    d.sizeX = w;
    d.sizeY = h;
    d.sizeZ = z;
    d.type = bits == 8 ? 0x01 : 0x02;
    d.bits = bits;
    d.channels = 1;
    d.flags = given | kFlagSampleSize;
    return d;
}

TEST(ServiceDescription, ValidationFitsTheDescriptionToTheData) {
    ProgramLogCapture log;
    struct Case {
        ServiceDescription d;
        int64_t length;
        bool ok;
        int64_t w, h, z;
        uint32_t channels, framesMax;
    } cases[] = {
        // Nothing stated: a line of pixels.
        {Image(0, 0, 0, 16, 0), 128, true, 64, 1, 1, 1, 1},
        // Height given: a square; height and depth given: a cube (64 pixels give 4, not 3).
        {Image(0, 8, 0, 16, kFlagSizeY), 128, true, 8, 8, 1, 1, 1},
        {Image(0, 4, 4, 16, kFlagSizeY | kFlagSizeZ), 128, true, 4, 4, 4, 1, 1},
        // A file shorter than one frame: the height follows the rows.
        {Image(100, 100, 0, 8, kFlagSizeX | kFlagSizeY), 5000, true, 100, 50, 1, 1, 1},
        // A 3-channel image too short for three channels keeps two.
        {Image(10, 10, 0, 8, kFlagSizeX | kFlagSizeY), 200, true, 10, 10, 1, 2, 1},
        // Frames: at most as many as the data holds.
        {Image(4, 4, 0, 8, kFlagSizeX | kFlagSizeY | kFlagFrames), 48, true, 4, 4, 1, 1, 3},
        // Not one row of data.
        {Image(100, 1, 0, 16, kFlagSizeX), 150, false, 100, 1, 1, 1, 1},
        // Sizes whose row product overflows 64 bits fail without wrapping.
        {Image(int64_t(1) << 62, 1, 0, 16, kFlagSizeX), 1 << 20, false, int64_t(1) << 62, 1, 1, 1, 1},
    };
    cases[4].d.channels = 3;
    cases[5].d.framesMax = 10;
    for (auto& c : cases) {
        bool ok = ValidateServiceDescription(&c.d, c.length);
        EXPECT_EQ(ok, c.ok) << c.length;
        EXPECT_EQ(c.d.sizeX, c.w) << c.length;
        EXPECT_EQ(c.d.sizeY, c.h) << c.length;
        EXPECT_EQ(c.d.sizeZ, c.z) << c.length;
        EXPECT_EQ(c.d.channels, c.channels) << c.length;
        EXPECT_EQ(c.d.framesMax, c.framesMax) << c.length;
    }
    EXPECT_EQ(cases[2].d.naxis, 3);
    EXPECT_EQ(cases[4].d.flags & kFlagChannels, kFlagChannels);
    ExpectContains(log.Text(), {"correct fs read data: H=100, new H=50", "Channels=3, new Channels=2",
                                "FramesMax=10, new FramesMax=3"});

    // No sample size: 16-bit by default, refused from mode 3 on.
    ServiceDescription d;
    d.flags = kFlagSizeX;
    d.sizeX = 5;
    d.min = 4;
    d.max = 2;
    d.flags |= kFlagValueRange;
    EXPECT_TRUE(ValidateServiceDescription(&d, 0));
    EXPECT_EQ(d.active, 1);
    EXPECT_EQ(d.type, 0x02u);
    EXPECT_EQ(d.bits, 16u);
    EXPECT_EQ(d.flags & (kFlagSampleSize | kFlagValueRange), 0u);
    EXPECT_EQ(d.max, 4.0);
    ServiceDescription strict;
    strict.flags = kFlagSizeX;
    strict.mode = 3;
    EXPECT_FALSE(ValidateServiceDescription(&strict, 0));
    EXPECT_EQ(strict.active, 0);
    ServiceDescription idle;  // neither active nor flagged: nothing to check
    EXPECT_TRUE(ValidateServiceDescription(&idle, 100));
    EXPECT_EQ(idle.bits, 0u);

    // Value lists: SIZE and the count follow the pixels of the data.
    ServiceDescription v = Image(0, 0, 0, 16, kFlagSize);
    v.valueCount = 1000;
    v.size = 1000;
    v.channels = 2;
    EXPECT_TRUE(ValidateServiceDescription(&v, 400));
    EXPECT_EQ(v.size, 100u);
    EXPECT_EQ(v.valueCount, 100u);
    EXPECT_EQ(v.sizeX, 1);
}

TEST(ServiceDescription, EnvironmentDefaultsAndLayoutMerge) {
    setenv("SIZX", "512", 1);
    setenv("SIZY", "256", 1);
    ServiceDescription d;
    EXPECT_TRUE(FsAfterLoadChecks(&d, 0));
    EXPECT_EQ(testing_io::XY(d), testing_io::XY(512, 256));
    EXPECT_EQ(d.naxis, 2);
    ServiceDescription stated;
    stated.sizeX = 20;
    stated.flags = kFlagSizeX;
    EXPECT_TRUE(FsAfterLoadChecks(&stated, 0));
    EXPECT_EQ(testing_io::XY(stated), testing_io::XY(20, 1));  // a stated one-axis description takes no height
    setenv("SIZX", "-3", 1);
    ServiceDescription negative;
    FsAfterLoadChecks(&negative, 0);
    EXPECT_EQ(negative.sizeX, 1);
    EXPECT_EQ(negative.flags & kFlagSizeX, 0u);
    unsetenv("SIZX");
    unsetenv("SIZY");

    FileLayout layout;
    layout.type = 0x400008;
    layout.bits = 32;
    layout.channels = 3;
    layout.frames = 4;
    layout.flags = kFlagSampleSize | kFlagChannels | kFlagFrames;
    ServiceDescription m;
    m.sizeX = 2;
    m.sizeY = 2;
    m.flags = kFlagSizeX | kFlagSizeY;
    EXPECT_TRUE(MergeLayoutIntoDescription(&m, &layout, 2 * 2 * 3 * 4 * 4));
    EXPECT_EQ(m.type, 0x400008u);
    EXPECT_EQ(m.bits, 32u);
    EXPECT_EQ(m.channels, 3u);
    EXPECT_EQ(m.framesMax, 4u);
    EXPECT_EQ(m.frames, 4u);
    EXPECT_EQ(m.flags & (kFlagSampleSize | kFlagChannels | kFlagFrames),
              kFlagSampleSize | kFlagChannels | kFlagFrames);
    ServiceDescription own;  // a stated type is kept
    own.type = 0x10;
    own.bits = 32;
    own.flags = kFlagSampleSize;
    MergeLayoutIntoDescription(&own, &layout, 0);
    EXPECT_EQ(own.type, 0x400010u);
}

TEST(ServiceDescription, DescribeDataSet) {
    DataSetInfo info;
    info.sizeX = 30;
    info.sizeY = 20;
    info.sizeZ = 1;
    info.cropX = 2;
    info.cropSizeX = 10;
    info.input = {0x102, 16, 1};
    info.SetTotalFrames(1, true);
    info.frameRate = 25.0;
    info.scale = 2.0;
    info.zero = 10.0;
    info.dataBegin = 100;
    info.dataEnd = 1300;
    SectionStatistics stats;
    stats.valid = 1;
    stats.mean = 5.0;
    stats.deviation = 1.0;
    ServiceDescription d;
    d.positionsValid = 1;
    DescribeDataSet(&d, info, 4, &stats);
    EXPECT_EQ(d.active, 1);
    EXPECT_EQ(d.sizeX, 30);
    EXPECT_EQ(d.cropSizeX, 10);
    EXPECT_EQ(d.beginPos, 100);
    EXPECT_EQ(d.endPos, 1300);
    EXPECT_EQ(d.type, 0x102u);
    EXPECT_EQ(d.channels, 1u);
    EXPECT_EQ(d.frames, 1u);
    EXPECT_EQ(d.framesMax, 4u);
    EXPECT_EQ(d.fps, 25.0);
    // Physical mean 5 x 2 + 10 = 20, spread 2: 20 - 4 to 20 + 8.
    EXPECT_EQ(d.min, 16.0);
    EXPECT_EQ(d.max, 28.0);
    EXPECT_EQ(d.flags & kFlagValueRange, kFlagValueRange);
    info.scale = 1.0 + 1e-17;
    info.zero = 1e-310;
    stats.deviation = -DBL_MAX;  // unset: no range
    DescribeDataSet(&d, info, 0, &stats);
    EXPECT_EQ(d.scale, 1.0);
    EXPECT_EQ(d.zero, 0.0);
    EXPECT_EQ(d.flags & kFlagValueRange, 0u);
    EXPECT_EQ(d.framesMax, 1u);
}

TEST(ServiceDescription, RangeArithmetic) {
    const double unset = -DBL_MAX;
    double r[4] = {1.0, -3.0, unset, 2.0};
    using V = std::vector<double>;
    ScaleRange(r, 4, 2.0);
    EXPECT_EQ(V(r, r + 4), (V{-6.0, 2.0, unset, 4.0}));
    double big[2] = {-1e308, 1e308};
    ScaleRange(big, 2, 10.0);
    EXPECT_EQ(V(big, big + 2), (V{-DBL_MAX, DBL_MAX}));
    ScaleRange(big, 2, 0.0);
    EXPECT_EQ(big[0], 0.0);
    double t[3] = {2.0, 4.0, unset};
    TransformRange(t, 3, -0.5, 10.0);
    EXPECT_EQ(V(t, t + 3), (V{8.0, 9.0, unset}));
}

TEST(ServiceDescription, RecordCopiesMovesAndResets) {
    ServiceDescription a;
    a.active = 1;
    a.positionsValid = 1;
    a.fileLength = 99;
    a.sizeX = 7;
    a.axisScales = a.axis;
    a.axis[0].scale = 2.0;
    a.texts[0] = strdup("owned");
    ServiceDescription copy(a);
    EXPECT_EQ(copy.sizeX, 7);
    EXPECT_EQ(copy.texts[0], nullptr);
    EXPECT_EQ(copy.axisScales, copy.axis);
    ServiceDescription b;
    MoveServiceDescription(&b, &a);
    EXPECT_STREQ(b.texts[0], "owned");
    EXPECT_EQ(a.texts[0], nullptr);
    EXPECT_EQ(b.fileLength, 0);
    EXPECT_EQ(b.positionsValid, 0);
    EXPECT_EQ(b.axisScales, b.axis);
    EXPECT_EQ(b.axis[0].scale, 2.0);
    b.positionsValid = 1;
    b.fileLength = 5;
    b.scale = 3.0;
    ResetServiceDescription(&b);
    EXPECT_EQ(b.texts[0], nullptr);
    EXPECT_EQ(b.sizeX, 0);
    EXPECT_EQ(b.scale, 1.0);
    EXPECT_EQ(b.positionsValid, 1);
    EXPECT_EQ(b.fileLength, 5);
    EXPECT_EQ(b.axis[0].scale, 2.0);
    EXPECT_EQ(b.axisScales, nullptr);
}

ServiceDescription FullDescription() {
    ServiceDescription d;
    d.active = 1;
    d.positionsValid = 1;
    d.fileLength = 1 << 20;
    d.sizeX = 320;
    d.sizeY = 200;
    d.sizeZ = 3;
    d.beginPos = 2880;
    d.endPos = 500000;
    d.cropX = 5;
    d.cropSizeX = 100;
    d.cropY = 0;
    d.cropSizeY = 150;
    d.min = 0.1;
    d.max = 1.0 / 3.0;
    d.scale = 1.0 / 3.0;
    d.zero = -7.25e-5;
    d.type = 0x82;
    d.bits = 16;
    d.channels = 3;
    d.nchannelOut = 2;
    d.convSpec = -1;
    d.frames = 5;
    d.framesMax = 9;
    d.sections = 2;
    d.frameStep = -2;
    d.fps = 1.0 / 7.0;
    d.formatTag = MakeFormatTag("FITS");
    d.blank = -32768;
    d.flags = kFlagValueRange | kFlagSampleSize | kFlagBlank;
    return d;
}

// The keys WriteFsKeys gives for the record, after `indent`.
std::string KeysText(const ServiceDescription& record, char indent = '\0') {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    EXPECT_EQ(WriteFsKeys(&record, out, indent), 1);
    std::fclose(out);
    std::string result(text, size);
    std::free(text);
    return result;
}

TEST(ServiceDescription, WrittenKeys) {
    ServiceDescription real;
    real.type = 0x10;
    real.bits = 32;
    real.sizeX = 4;
    // Packed samples keep their own count: 16 would read back as whole 16-bit samples.
    ServiceDescription packed;
    packed.type = 0x102;
    packed.bits = 12;
    EXPECT_EQ(KeysText(packed), "byteswap=0\nbits=12\nunsigned=1\n");
    EXPECT_EQ(KeysText(FullDescription(), ' ') + KeysText(real),
              " SIZEX=320\n SIZEY=200\n SIZEZ=3\n BeginPos=2880\n EndPos=500000\n"
              " CropBoundBox=5, 100, 0, 150\n"
              " MinMax=0.10000000000000001, 0.33333333333333331\n"
              " bscale=0.33333333333333331\n bzero=-7.25e-05\n"
              " byteswap=1\n bits=16\n unsigned=0\n Blank=-32768\n CObj=FITS\n Channels=3\n "
              "NChannel_Out=2\n"
              " ConvSpec_Flag=-1\n Frames_Max=9\n Frames=5\n Sections=2\n FrameStep=-2\n"
              " fps=0.14285714285714285\n"
              "SIZEX=4\nbyteswap=0\nbits=-32\n");
}

TEST(ServiceDescription, SaveAndLoadTheFsFile) {
    TempFolder folder;
    const std::string data = folder.File("m31.fit");
    const std::string fs = folder.File("m31.fs");
    // The block of another data file of the same name and a top-level section must survive.
    testing_util::WriteText(fs, std::string("[{00000000-00000000-0000000000000000-00000007}]\nKeep=1\n"
                                            "SEL(URL=\"m31.raw\")\n{\n [{") +
                                    ServiceSectionName() + "}]\n SIZEX=77\n}\n");
    ServiceDescription d = FullDescription();
    ASSERT_TRUE(SaveServiceDescription(&d, data.c_str(), nullptr, false));
    std::string once = ReadText(fs);
    ExpectContains(once, {"Keep=1", "SIZEX=77", "SEL(URL=<m31.fit>)\n{\n [{"});
    ASSERT_TRUE(SaveServiceDescription(&d, data.c_str(), nullptr, false));
    EXPECT_EQ(ReadText(fs), once);  // saving twice gives the same file

    ServiceDescription* loaded = nullptr;
    ASSERT_TRUE(LoadServiceDescription(data.c_str(), &loaded));
    ASSERT_NE(loaded, nullptr);
    // Every key written comes back exactly (the reals at 17 digits); the positions are
    // written only for a record whose positions are valid within its file.
    loaded->positionsValid = 1;
    loaded->fileLength = d.fileLength;
    EXPECT_EQ(KeysText(*loaded), KeysText(d));
    EXPECT_EQ(loaded->naxis, 3);
    EXPECT_EQ(loaded->flags & (kFlagSampleSize | kFlagByteOrder | kFlagSign),
              kFlagSampleSize | kFlagByteOrder | kFlagSign);
    delete loaded;

    // Into a record the caller has; the other block is read as its own.
    ServiceDescription* mine = new ServiceDescription;
    ServiceDescription* const before = mine;
    EXPECT_TRUE(LoadFsDescriptionForPath(folder.File("m31.raw").c_str(), &mine));
    EXPECT_EQ(mine, before);
    EXPECT_EQ(mine->sizeX, 77);
    delete mine;
    // A tagged source name selects the same block; the hook shapes hand over new records.
    ServiceDescription* tagged = LoadFsDescriptionFor(("<NAME>" + data).c_str());
    ASSERT_NE(tagged, nullptr);
    EXPECT_EQ(tagged->sizeX, 320);
    delete tagged;
    EXPECT_EQ(LoadServiceDescriptionFor(folder.File("absent.fit").c_str()), nullptr);
    EXPECT_EQ(SaveServiceDescriptionFor(&d, folder.File("m31.raw").c_str()), 2);
    EXPECT_EQ(ReadText(fs).find("SIZEX=77"), std::string::npos);  // that block was replaced
    ExpectContains(ReadText(fs), {"Keep=1"});
    ServiceDescription* none = nullptr;
    EXPECT_FALSE(LoadServiceDescription(folder.File("absent.fit").c_str(), &none));
    EXPECT_FALSE(LoadFsDescriptionForPath(nullptr, &none));
    EXPECT_EQ(none, nullptr);
    // A data file in a missing folder cannot be written.
    EXPECT_FALSE(SaveServiceDescription(&d, folder.File("no/such.fit").c_str(), nullptr, false));

    // The block of another file left open does not take this file's block away; the file
    // is not rewritten while its braces fail, and says why.
    const std::string broken = std::string("SEL(URL=\"m31.fit\")\n{\n [{") + ServiceSectionName() +
                               "}]\n SIZEX=21\n}\nSEL(URL=\"m31.raw\")\n{\n SIZEX=9\n";
    testing_util::WriteText(fs, broken);
    ServiceDescription* read = nullptr;
    ASSERT_TRUE(LoadFsDescriptionForPath(data.c_str(), &read));
    EXPECT_EQ(read->sizeX, 21);
    delete read;
    std::string fsPath, reason;
    EXPECT_FALSE(SaveServiceDescription(&d, data.c_str(), nullptr, false, &fsPath, &reason));
    EXPECT_EQ(ReadText(fs), broken);
}

// Hostile hand-written descriptions, read, written back at close as a raw file's data
// set writes them, and read again: whatever the first read takes, the second gives the
// same keys, so that no rewrite stores what the next open reads otherwise.
TEST(ServiceDescription, HostileDescriptionsReadBackAsWritten) {
    const struct {
        const char* name;
        const char* keys;
        const char* second;  // the keys the rewrite writes
    } rows[] = {
        // The fuzzer's findings: a type word of several sizes or unknown bits is refused.
        {"SeveralSizesRefused", "SIZEX=16\nDATATYPES=25\n",
         "SIZEX=16\nSIZEY=1\nbyteswap=0\nbits=16\nunsigned=0\nChannels=1\n"},
        {"UnknownBitsAfterPackedBits", "BITPIX=7\nDATATYPES=2147483647\nFRAMES=10\n",
         "SIZEX=1\nSIZEY=1\nbits=7\nunsigned=1\nChannels=1\nFrames_Max=10\n"},
        {"SwappedRealsOfThreeSizes", "SIZEX=16\nDATATYPES=216\nCObj=FITS\n",
         "SIZEX=16\nSIZEY=1\nbyteswap=0\nbits=16\nunsigned=0\nCObj=FITS\nChannels=1\n"},
        {"ChannelsBeyond32Bits", "SIZEX=20\nSIZEY=30\nCHANNELS=39999999999999999999\nFPS=25\n",
         "SIZEX=20\nSIZEY=30\nbyteswap=0\nbits=16\nunsigned=0\nChannels=16384\nNChannel_Out=1\n"
         "ConvSpec_Flag=0\nfps=25\n"},
        // Values pulled into range or made consistent on the first read stay so.
        {"ChannelOutBeyondChannels", "CHANNELS=3\nNCHANNEL_OUT=9\n",
         "SIZEX=1\nSIZEY=1\nbyteswap=0\nbits=16\nunsigned=0\nChannels=3\nNChannel_Out=3\nConvSpec_Flag=0\n"},
        {"UnsignedRealDropsItsSign", "DATATYPES=272\n", "SIZEX=1\nSIZEY=1\nbyteswap=0\nbits=-32\nChannels=1\n"},
        {"SwappedBytesDropOrder", "BITPIX=8\nBYTESWAP=1\n", "SIZEX=1\nSIZEY=1\nbits=8\nunsigned=0\nChannels=1\n"},
        {"PackedSamplesHaveNoByteOrder", "BITPIX=12\nBYTESWAP=1\n",
         "SIZEX=1\nSIZEY=1\nbyteswap=0\nbits=12\nunsigned=1\nChannels=1\n"},
        {"ReversedRangeAndExtremes", "MINMAX=5, -5\nFPS=1e300\nBSCALE=1e-300\nFRAMESTEP=-7\n",
         "SIZEX=1\nSIZEY=1\nbscale=1e-300\nbyteswap=0\nbits=16\nunsigned=0\nChannels=1\nFrameStep=-7\n"
         "fps=3.4028234663852886e+38\n"},
    };
    TempFolder folder;
    const std::string data = folder.File("r.dat");
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        testing_util::WriteText(folder.File("r.fs"), std::string("SEL(URL=\"r.dat\")\n{\n [{") +
                                                         ServiceSectionName() + "}]\n" + row.keys + "}\n");
        ServiceDescription* first = nullptr;
        ASSERT_TRUE(LoadFsDescription(data.c_str(), nullptr, &first));
        first->positionsValid = 1;
        first->fileLength = INT64_MAX;
        first->state = 1;
        DataSetInfo info;
        info.SetTotalFrames(first->framesMax != 0 ? first->framesMax : first->frames, true);
        PrepareRewrite(first, info);
        const std::string written = KeysText(*first);
        EXPECT_EQ(written, row.second);
        ASSERT_TRUE(SaveServiceDescription(first, data.c_str(), nullptr, false));
        ServiceDescription* second = nullptr;
        ASSERT_TRUE(LoadFsDescription(data.c_str(), nullptr, &second));
        // The same raw file opened and closed again.
        second->positionsValid = 1;
        second->fileLength = INT64_MAX;
        PrepareRewrite(second, info);
        EXPECT_EQ(KeysText(*second), written);
        EXPECT_EQ(second->type, first->type);
        EXPECT_EQ(second->bits, first->bits);
        EXPECT_EQ(second->nchannelOut, first->nchannelOut);
        delete first;
        delete second;
    }
}

}  // namespace
}  // namespace orva
