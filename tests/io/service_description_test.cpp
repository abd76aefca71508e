#include "io/service_description.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cfloat>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "common/log.h"
#include "framework/keyword_table.h"
#include "io/data_set_info.h"
#include "io/file_layout.h"

namespace orva {
namespace {

// The program log into a temporary file, read back by Text().
class LogCapture {
public:
    LogCapture() {
        LogResetForTest();
        file_ = std::tmpfile();
        current_ = file_;
        LogSetOpener([]() -> FILE* { return current_; });
    }
    ~LogCapture() {
        LogResetForTest();
        current_ = nullptr;
    }
    std::string Text() {
        std::fflush(file_);
        std::rewind(file_);
        std::string text;
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof(buffer), file_)) > 0) text.append(buffer, n);
        return text;
    }

private:
    FILE* file_;
    static inline FILE* current_ = nullptr;
};

class TempFolder {
public:
    TempFolder() {
        std::string base = (std::getenv("TMPDIR") && *std::getenv("TMPDIR")) ? std::getenv("TMPDIR") : "/tmp";
        std::string pattern = base + "/orva_fs_XXXXXX";
        path_ = mkdtemp(pattern.data());
    }
    ~TempFolder() { std::filesystem::remove_all(path_); }
    std::string File(const char* name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

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
    EXPECT_EQ(TableSize(KeyParser(1).state), 41u);
    EXPECT_EQ(TableSize(KeyParser(2).state), 23u);
    EXPECT_EQ(TableSize(KeyParser(0).state), 13u);
    EXPECT_EQ(TableSize(KeyParser(7).state), 13u);
    EXPECT_LT(KeyParser(2).Key("BITPIX=16"), 0);  // only in the full table
    EXPECT_GT(KeyParser(2).Key("naxis3=4"), 0);
    EXPECT_LT(KeyParser(3).Key("SIZEX=4"), 0);
    EXPECT_GT(KeyParser(3).Key("valuedz=0.5"), 0);
    ParseState state;
    EXPECT_FALSE(SelectFsKeywordTable(&state, nullptr, 1));
}

TEST(ServiceDescription, KeyValuesAndRefusals) {
    LogCapture log;
    {
        KeyParser p;
        EXPECT_GT(p.Key("BEGINPOS=10"), 0);
        EXPECT_LT(p.Key("ENDPOS=5"), 0);
        EXPECT_LT(p.Key("BEGIN=0"), 0);
        EXPECT_GT(p.Key("End=100"), 0);
        EXPECT_EQ(p.d.beginPos, 10);
        EXPECT_EQ(p.d.endPos, 100);
        EXPECT_EQ(p.d.flags, kFlagBeginPos | kFlagEndPos);
        EXPECT_EQ(p.d.active, 1);
    }
    {
        KeyParser p;
        p.d.cropY = 9;
        EXPECT_GT(p.Key("CropBoundBox=10, 20"), 0);
        EXPECT_EQ(p.d.cropX, 10);
        EXPECT_EQ(p.d.cropSizeX, 20);
        EXPECT_EQ(p.d.cropY, 0);
        EXPECT_EQ(p.d.cropSizeZ, 0);
        EXPECT_LT(p.Key("CropBBox=1, 2, 3"), 0);
        EXPECT_LT(p.Key("CropBoundBox="), 0);
        EXPECT_GT(p.Key("cropboundbox=1,2,3,4,5,6"), 0);
        EXPECT_EQ(p.d.cropSizeZ, 6);
        EXPECT_LT(p.Key("MINMAX=3"), 0);
        EXPECT_GT(p.Key("MinMax=-1.5, 2.25"), 0);
        EXPECT_EQ(p.d.min, -1.5);
        EXPECT_EQ(p.d.max, 2.25);
    }
    {
        KeyParser p;
        EXPECT_GT(p.Key("BITPIX=-32"), 0);
        EXPECT_EQ(p.d.type, 0x10u);
        EXPECT_EQ(p.d.bits, 32u);
        EXPECT_EQ(p.d.channels, 1u);
        EXPECT_EQ(p.d.flags, kFlagSampleSize | kFlagSign);
        EXPECT_LT(p.Key("UNSIGNED=1"), 0);  // reals have no sign bit
        EXPECT_GT(p.Key("bits=8"), 0);
        EXPECT_LT(p.Key("BYTESWAP=1"), 0);  // nor 8-bit samples a byte order
        EXPECT_GT(p.Key("BITS=16"), 0);
        EXPECT_GT(p.Key("bswap=TRUE"), 0);
        EXPECT_GT(p.Key("unsign=1"), 0);
        EXPECT_EQ(p.d.type, 0x182u);
        EXPECT_LT(p.Key("BITPIX=12"), 0);
        EXPECT_EQ(p.d.flags & kFlagSampleSize, 0u);
        EXPECT_GT(p.Key("DATATYPES=8454"), 0);  // 0x2106: the lowest size bit decides
        EXPECT_EQ(p.d.type, 0x2106u);
        EXPECT_EQ(p.d.bits, 16u);
        EXPECT_LT(p.Key("TYPES=0"), 0);
        EXPECT_EQ(p.d.type, 0u);
        EXPECT_EQ(p.d.flags & (kFlagSampleSize | kFlagByteOrder | kFlagSign), 0u);
        EXPECT_GT(p.Key("BITPIX=24"), 0);  // the 24-bit integers the writer may name
        EXPECT_EQ(p.d.type & 0x7Fu, 0x04u);
        EXPECT_EQ(p.d.bits, 24u);
    }
    {
        KeyParser p;
        EXPECT_GT(p.Key("ERROR=parsing :continue"), 0);
        EXPECT_EQ(p.d.parseErrorMode, kFsErrorContinue);
        EXPECT_GT(p.Key("err=PARSING: Stop"), 0);
        EXPECT_EQ(p.d.parseErrorMode, kFsErrorStop);
        EXPECT_LT(p.Key("ERROR=no"), 0);
        EXPECT_LT(p.Key("ERROR=parsing: stopper"), 0);
        EXPECT_EQ(p.Key("CONVSPEC_FLAG=5"), 0);  // accepted, but not taken
        EXPECT_EQ(p.d.convSpec, 0);
        EXPECT_GT(p.Key("NVALUE_FLAG=-3"), 0);
        EXPECT_EQ(p.d.convSpec, -3);
        EXPECT_LT(p.Key("CHANNELS=0"), 0);
        EXPECT_EQ(p.d.flags & (kFlagChannels | kFlagChannelOut), 0u);
        EXPECT_LT(p.Key("FRAMESTEP=0"), 0);
        EXPECT_GT(p.Key("FRAMESTEP=-4"), 0);
        EXPECT_EQ(p.d.frameStep, -4);
        EXPECT_GT(p.Key("FRAMES=3"), 0);
        EXPECT_LT(p.Key("FRAMES_MAX=0"), 0);
        EXPECT_EQ(p.d.flags & kFlagFrames, kFlagFrames);  // FRAMES keeps it
        EXPECT_LT(p.Key("FPS=-1"), 0);
        EXPECT_GT(p.Key("FPS=1e300"), 0);
        EXPECT_EQ(p.d.fps, kFpsMax);
        EXPECT_GT(p.Key("FPS=0"), 0);
        EXPECT_EQ(p.d.fps, kFpsMin);
        EXPECT_LT(p.Key("BSCALE=0"), 0);
        EXPECT_EQ(p.d.scale, 1.0);
        EXPECT_LT(p.Key("BSCALE=1e999"), 0);
        EXPECT_GT(p.Key("bscalev=0.125"), 0);
        EXPECT_EQ(p.d.scale, 0.125);
        EXPECT_LT(p.Key("BZERO=nan"), 0);
        EXPECT_EQ(p.d.axisScales, nullptr);
        EXPECT_GT(p.Key("BZERONAXIZ2=3.5"), 0);
        EXPECT_EQ(p.d.axisScales, p.d.axis);
        EXPECT_EQ(p.d.axis[1].zero, 3.5);
        EXPECT_EQ(p.d.flags & kFlagZeroY, kFlagZeroY);
        EXPECT_LT(p.Key("VALUEX=inf"), 0);
        EXPECT_GT(p.Key("VALUEDNAXIZ3=-0.25"), 0);
        EXPECT_EQ(p.d.valueDZ, -0.25);
        EXPECT_GT(p.Key("CObj=SPE WINV  "), 0);
        EXPECT_EQ(p.d.formatTag, MakeFormatTag("SPE WINV"));
        EXPECT_LT(p.Key("CObj=TOOLONGTAG"), 0);
        EXPECT_GT(p.Key("CObj=FITS"), 0);
        EXPECT_EQ(p.d.formatTag, MakeFormatTag("FITS"));
    }
    std::string text = log.Text();
    EXPECT_NE(text.find("@parsing read prop.: CropBoundBox=bad # values"), std::string::npos);
    EXPECT_NE(text.find("@parsing read prop.: MINMAX=bad # values"), std::string::npos);
    EXPECT_NE(text.find("$7: 'ENDPOS=5' : bad cmd"), std::string::npos);
}

TEST(ServiceDescription, SplitPatternsAndSeparator) {
    LogCapture log;
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
    std::string text = log.Text();
    EXPECT_NE(text.find("$7: cmd> SPLIT=XYXYXYXYXYXYXYXYXYXYX, Max Cmd=20, stop parsing"), std::string::npos);
    EXPECT_NE(text.find("$7: bad arg (number) cmd: SPLIT=...V0..."), std::string::npos);
    EXPECT_NE(text.find("$7: bad arg cmd> SPLIT=...2..."), std::string::npos);
    EXPECT_NE(text.find("know (valid) symb: X, Y, Z, V{NUM COLUM}, D{X,Y,Z}, S{NUM SKIP}, N"), std::string::npos);

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
    LogCapture log;
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
    std::string text = log.Text();
    EXPECT_NE(text.find("correct fs read data: H=100, new H=50"), std::string::npos) << text;
    EXPECT_NE(text.find("Channels=3, new Channels=2"), std::string::npos);
    EXPECT_NE(text.find("FramesMax=10, new FramesMax=3"), std::string::npos);

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
    EXPECT_EQ(d.sizeX, 512);
    EXPECT_EQ(d.sizeY, 256);
    EXPECT_EQ(d.naxis, 2);
    ServiceDescription stated;
    stated.sizeX = 20;
    stated.flags = kFlagSizeX;
    EXPECT_TRUE(FsAfterLoadChecks(&stated, 0));
    EXPECT_EQ(stated.sizeX, 20);
    EXPECT_EQ(stated.sizeY, 1);  // a stated one-axis description takes no height
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
    ScaleRange(r, 4, 2.0);
    EXPECT_EQ(r[0], -6.0);
    EXPECT_EQ(r[1], 2.0);
    EXPECT_EQ(r[2], unset);
    EXPECT_EQ(r[3], 4.0);
    double big[2] = {-1e308, 1e308};
    ScaleRange(big, 2, 10.0);
    EXPECT_EQ(big[0], -DBL_MAX);
    EXPECT_EQ(big[1], DBL_MAX);
    ScaleRange(big, 2, 0.0);
    EXPECT_EQ(big[0], 0.0);
    double t[3] = {2.0, 4.0, unset};
    TransformRange(t, 3, -0.5, 10.0);
    EXPECT_EQ(t[0], 8.0);
    EXPECT_EQ(t[1], 9.0);
    EXPECT_EQ(t[2], unset);
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
    d.flags = kFlagValueRange | kFlagSampleSize;
    return d;
}

TEST(ServiceDescription, WrittenKeys) {
    char* text = nullptr;
    size_t size = 0;
    FILE* out = open_memstream(&text, &size);
    ServiceDescription d = FullDescription();
    EXPECT_EQ(WriteFsKeys(&d, out, ' '), 1);
    ServiceDescription real;
    real.type = 0x10;
    real.bits = 32;
    real.sizeX = 4;
    EXPECT_EQ(WriteFsKeys(&real, out, '\0'), 1);
    std::fclose(out);
    EXPECT_EQ(std::string(text, size),
              " SIZEX=320\n SIZEY=200\n SIZEZ=3\n BeginPos=2880\n EndPos=500000\n"
              " CropBoundBox=5, 100, 0, 150\n"
              " MinMax=0.10000000000000001, 0.33333333333333331\n"
              " bscale=0.33333333333333331\n bzero=-7.25e-05\n"
              " byteswap=1\n bits=16\n unsigned=0\n CObj=FITS\n Channels=3\n NChannel_Out=2\n"
              " ConvSpec_Flag=-1\n Frames_Max=9\n Frames=5\n Sections=2\n FrameStep=-2\n"
              " fps=0.14285714285714285\n"
              "SIZEX=4\nbyteswap=0\nbits=-32\n");
    std::free(text);
}

TEST(ServiceDescription, SaveAndLoadTheFsFile) {
    TempFolder folder;
    const std::string data = folder.File("m31.fit");
    const std::string fs = folder.File("m31.fs");
    // The block of another data file of the same name and a top-level section must survive.
    {
        std::ofstream pre(fs);
        pre << "[{00000000-00000000-0000000000000000-00000007}]\nKeep=1\n"
               "SEL(URL=\"m31.raw\")\n{\n [{" << ServiceSectionName() << "}]\n SIZEX=77\n}\n";
    }
    ServiceDescription d = FullDescription();
    ASSERT_TRUE(SaveServiceDescription(&d, data.c_str(), nullptr, false));
    std::string once = ReadFile(fs);
    EXPECT_NE(once.find("Keep=1"), std::string::npos);
    EXPECT_NE(once.find("SIZEX=77"), std::string::npos);
    EXPECT_NE(once.find("SEL(URL=<m31.fit>)\n{\n [{"), std::string::npos) << once;
    ASSERT_TRUE(SaveServiceDescription(&d, data.c_str(), nullptr, false));
    EXPECT_EQ(ReadFile(fs), once);  // saving twice gives the same file

    ServiceDescription* loaded = nullptr;
    ASSERT_TRUE(LoadServiceDescription(data.c_str(), &loaded));
    ASSERT_NE(loaded, nullptr);
    const ServiceDescription& r = *loaded;
    EXPECT_EQ(r.sizeX, 320);
    EXPECT_EQ(r.sizeY, 200);
    EXPECT_EQ(r.sizeZ, 3);
    EXPECT_EQ(r.naxis, 3);
    EXPECT_EQ(r.beginPos, 2880);
    EXPECT_EQ(r.endPos, 500000);
    EXPECT_EQ(r.cropX, 5);
    EXPECT_EQ(r.cropSizeX, 100);
    EXPECT_EQ(r.cropSizeY, 150);
    EXPECT_EQ(r.min, 0.1);
    EXPECT_EQ(r.max, 1.0 / 3.0);
    EXPECT_EQ(r.scale, 1.0 / 3.0);
    EXPECT_EQ(r.zero, -7.25e-5);
    EXPECT_EQ(r.type, 0x82u);
    EXPECT_EQ(r.bits, 16u);
    EXPECT_EQ(r.flags & (kFlagSampleSize | kFlagByteOrder | kFlagSign),
              kFlagSampleSize | kFlagByteOrder | kFlagSign);
    EXPECT_EQ(r.channels, 3u);
    EXPECT_EQ(r.nchannelOut, 2u);
    EXPECT_EQ(r.convSpec, -1);
    EXPECT_EQ(r.frames, 5u);
    EXPECT_EQ(r.framesMax, 9u);
    EXPECT_EQ(r.sections, 2u);
    EXPECT_EQ(r.frameStep, -2);
    EXPECT_EQ(r.fps, 1.0 / 7.0);
    EXPECT_EQ(r.formatTag, MakeFormatTag("FITS"));
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
    EXPECT_EQ(ReadFile(fs).find("SIZEX=77"), std::string::npos);  // that block was replaced
    EXPECT_NE(ReadFile(fs).find("Keep=1"), std::string::npos);
    ServiceDescription* none = nullptr;
    EXPECT_FALSE(LoadServiceDescription(folder.File("absent.fit").c_str(), &none));
    EXPECT_FALSE(LoadFsDescriptionForPath(nullptr, &none));
    EXPECT_EQ(none, nullptr);
    // A data file in a missing folder cannot be written.
    EXPECT_FALSE(SaveServiceDescription(&d, folder.File("no/such.fit").c_str(), nullptr, false));
}

}  // namespace
}  // namespace orva
