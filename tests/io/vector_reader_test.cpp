#include "io/formats/vector/vector_reader.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "data_set_fixture.h"
#include "io/data_set.h"
#include "io/format_registry.h"
#include "io/formats/binary/raw_reader.h"
#include "io/input_source.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;
using testing_io::KeepAll;

// What the generator says a file holds.
struct Section {
    int frame = 0, section = 0, x = 0, y = 0;
    std::vector<double> values;
};
struct Set {
    int frames = 0;
    uint32_t type = 0, bits = 0;
    double scale = 1.0, zero = 0.0;
    std::vector<Section> sections;
};
struct Expected {
    std::string name, opener;
    int result = 0;
    std::vector<Set> sets;
};

class VectorReaderTest : public DataSetFixture {
protected:
    // Runs the generator into the test folder and reads its manifest.
    std::vector<Expected> Generate() {
        const std::string cmd = std::string(ORVA_PYTHON " '") + ORVA_SOURCE_DIR +
                                "/tests/io/make_vector_files.py' '" + dir + "'";
        EXPECT_EQ(std::system(cmd.c_str()), 0);
        std::vector<Expected> all;
        std::ifstream in(dir + "/manifest.txt");
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream s(line);
            std::string kind;
            s >> kind;
            if (kind == "file") {
                Expected e;
                size_t sets = 0;
                s >> e.name >> e.opener >> e.result >> sets;
                all.push_back(e);
            } else if (kind == "set") {
                Set set;
                int index;
                s >> index >> set.frames >> set.type >> set.bits >> set.scale >> set.zero;
                all.back().sets.push_back(set);
            } else if (kind == "sec") {
                Section sec;
                int set;
                s >> set >> sec.frame >> sec.section >> sec.x >> sec.y;
                double v;
                while (s >> v) sec.values.push_back(v);
                all.back().sets[set].sections.push_back(sec);
            }
        }
        return all;
    }
    // Opens through the registered descriptor of the opener.
    int Open(const std::string& path, const std::string& opener, KeepAll* keep) {
        const char* tag = opener == "slice" ? "SLISE" : opener == "stat" ? "STATIST" : "ORVAOLD";
        const FormatDesc* desc = FindFormatByTag(registry, MakeFormatTag(tag));
        EXPECT_NE(desc, nullptr);
        if (desc == nullptr) return -100;
        return testing_io::OpenWithReader(desc, path, keep, desc->open);
    }
    testing_io::BuiltinFormats formats;
    FormatRegistry& registry = formats.registry;
};

TEST_F(VectorReaderTest, GeneratedFiles) {
    const std::vector<Expected> files = Generate();
    ASSERT_EQ(files.size(), 16u);
    for (const Expected& e : files) {
        SCOPED_TRACE(e.name);
        KeepAll keep;
        EXPECT_EQ(Open(dir + "/" + e.name, e.opener, &keep), e.result);
        ASSERT_EQ(keep.kept.size(), e.sets.size());
        for (size_t i = 0; i < e.sets.size(); ++i) {
            DataSet* d = keep.kept[i];
            const Set& set = e.sets[i];
            EXPECT_EQ(d->TotalFrames(), static_cast<uint32_t>(set.frames));
            EXPECT_EQ(d->input.type, set.type);
            EXPECT_EQ(d->input.bits, set.bits);
            EXPECT_EQ(d->input.channels, 1u);
            EXPECT_EQ(testing_io::FormatInfoClass(d),
                      e.opener == "old" ? &kBinaryInfoId : &kVectorFileInfoId);
            EXPECT_EQ(d->scale, set.scale);
            EXPECT_EQ(d->zero, set.zero);
            for (const Section& sec : set.sections) {
                ReadWindow w{sec.frame, sec.section, 0, 0, sec.x, sec.y, 0, 1, 0};
                ASSERT_TRUE(Read(d, &w)) << sec.frame << "/" << sec.section;
                ASSERT_EQ(w.width, sec.x);
                for (int y = 0; y < sec.y; ++y)
                    for (int x = 0; x < sec.x; ++x)
                        EXPECT_EQ(At(x, y), sec.values[y * sec.x + x] * set.scale + set.zero)
                            << sec.frame << "/" << sec.section << " at " << x << "," << y;
            }
        }
    }
    testing_io::ExpectContains(Log(), {"no_type.slc' - wrong header...", "bad_end.slc' - wrong header..."});
}

// The registry's extension list finds the reader through the program's open path.
TEST_F(VectorReaderTest, OpenByExtension) {
    Generate();
    testing_io::KeepReceiver receiver;
    ASSERT_EQ(testing_io::OpenThroughRegistry(&registry, dir + "/slice_f64.slc", &receiver), 2);
    ASSERT_NE(receiver.kept, nullptr);
    EXPECT_EQ(receiver.kept->formatTag, MakeFormatTag("SLISE"));
    void* table = nullptr;
    EXPECT_TRUE(receiver.kept->QueryInterface(&kFrameTableId, &table));
    EXPECT_NE(table, nullptr);
}

// A refused data set does not stop the file: the next one is offered; running out of
// memory stops at once.
TEST_F(VectorReaderTest, ReceiverRefusals) {
    Generate();
    struct Refuse : InputReceiver {
        int answer = 0, calls = 0;
        int TakeDataSet(DataSet*) override { return ++calls, answer; }
    };
    for (int answer : {0, -14}) {
        Refuse refuse;
        refuse.answer = answer;
        EXPECT_EQ(testing_io::OpenWithReader(FindFormatByTag(registry, MakeFormatTag("SLISE")),
                                             dir + "/two_sets.slc", &refuse, &SliceOpen),
                  answer);
        EXPECT_EQ(refuse.calls, answer == 0 ? 2 : 1);
    }
    testing_io::ExpectContains(Log(), {"two_sets.slc' - not full read, can`t alloc memory..."});
}

TEST(VectorHeaderRules, TypesScalesAndTheInfoComponent) {
    const std::map<uint32_t, uint32_t> types = {
        {0x40, 0x10}, {0x42, 0x90}, {0x46, 0x90}, {0x100, 0x40}, {0x102, 0xC0}, {0x08, 0x01},
        {0x0E, 0x101}, {0x10, 0x02}, {0x16, 0x182}, {0x24, 0x108}, {0x82, 0xA0}, {0x1F8, 0x10},
        {0x07, 0}, {0x200, 0},
    };
    for (const auto& [flags, type] : types) EXPECT_EQ(VectorElementType(flags), type) << flags;

    struct Value {
        double in, scaleOut, zeroOut;
        bool scaleUsable, zeroUsable;
    } values[] = {
        {0.0, 1.0, 0.0, false, true},        {2.5, 2.5, 2.5, true, true},
        {-3.0, -3.0, -3.0, true, true},      {NAN, 1.0, 0.0, false, false},
        {INFINITY, 1.0, 0.0, false, false},  {DBL_MAX, DBL_MAX, 0.0, true, false},
        {-DBL_MAX, -DBL_MAX, 0.0, true, false}, {DBL_TRUE_MIN, 1.0, 0.0, false, false},
    };
    for (const Value& v : values) {
        double s = v.in, z = v.in;
        EXPECT_EQ(VectorScaleUsable(&s), v.scaleUsable) << v.in;
        EXPECT_EQ(VectorZeroUsable(&z), v.zeroUsable) << v.in;
        EXPECT_EQ(s, v.scaleOut);
        EXPECT_EQ(z, v.zeroOut);
    }

    VectorFileInfo* info = VectorFileInfo::Create(MakeFormatTag("SLISE"));
    ASSERT_NE(info, nullptr);
    EXPECT_EQ(*info->GetClassId(), (ComponentId{{FourCC("VCTB"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr}));
    void* out = nullptr;
    EXPECT_TRUE(info->QueryInterface(&kFormatInfoId, &out));
    EXPECT_EQ(out, info);
    EXPECT_TRUE(info->QueryInterface(&kBaseId, nullptr));  // no reference without a place
    EXPECT_TRUE(info->QueryInterface(&kVectorFileInfoId, &out));
    EXPECT_EQ(info->refCount.load(), 3);
    out = nullptr;
    EXPECT_FALSE(info->QueryInterface(&kSliceReaderId, &out));
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(info->Release(), 2);
    EXPECT_EQ(info->Release(), 1);
    EXPECT_EQ(info->Release(), 0);
}

}  // namespace
}  // namespace orva
