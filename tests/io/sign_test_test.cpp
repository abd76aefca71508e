// The signedness test: its decision rules and the flip of a data set's type.
#include "io/sign_test.h"

#include <cmath>
#include <string>
#include <vector>

#include "data_set_fixture.h"

namespace orva {
namespace {

using testing_io::DataSetFixture;

TEST(SignDecideTest, Rules) {
    struct Case {
        const char* what;
        uint32_t bytes;
        SignReading s, u;
        bool minMax;
        uint32_t type, probability;
    } cases[] = {
        // No sample has its top bit set.
        {"low values", 2, {0, 1000, 500, 100}, {0, 1000, 500, 100}, false, 0x102, 90},
        {"min-max below top", 1, {-56, 100, 0, 1}, {0, 200, 0, 1}, true, 0x101, 80},
        {"min-max at top", 1, {-1, 100, 0, 1}, {0, 255, 0, 1}, true, 0x101, 55},
        // Signed data around 0: the signed range is the narrow one.
        {"signed 16", 2, {-50, 50, 0, 20}, {0, 65535, 30000, 30000}, false, 0x02, 70},
        // Unsigned data around 0x8000: the unsigned range is the narrow one.
        {"unsigned 16", 2, {-32768, 32767, -10000, 20000}, {37000, 43000, 40000, 1000}, false,
         0x102, 90},
        // 8-bit: A must be below half of B to call it signed.
        {"8-bit signed", 1, {-10, 10, 0, 5}, {0, 255, 128, 100}, false, 0x01, 70},
        {"8-bit unsigned lowered", 1, {-128, 100, 0, 50}, {0, 255, 128, 10}, false, 0x101, 70},
        {"equal ranges, wider signed reference", 2, {-5, 5, 0, 3}, {0, 10, 5, 2}, false, 0x102, 55},
        {"equal ranges, wider unsigned reference", 2, {-5, 5, 0, 2}, {0, 10, 5, 3}, false, 0x02, 55},
        {"no verdict", 2, {-5, 5, 0, 2}, {0, 10, 5, 2}, false, 0, 100},
    };
    for (const Case& c : cases) {
        const SignTestResult r = SignDecide(c.bytes == 1 ? 0x101 : 0x02, c.bytes, c.s, c.u, c.minMax);
        EXPECT_EQ(r.type, c.type) << c.what;
        EXPECT_EQ(r.probability, c.probability) << c.what;
    }
}

TEST(SignDecideTest, Moments) {
    double mean = 0, dev = 0;
    SignReadingMoments(6.0, 14.0, 3, &mean, &dev);
    EXPECT_DOUBLE_EQ(mean, 2.0);
    EXPECT_DOUBLE_EQ(dev, std::sqrt(14.0 / 3.0 - 4.0));
    SignReadingMoments(3e154, 0.0, 1, &mean, &dev);
    EXPECT_EQ(dev, 8.988465674311579e307);
    SignReadingMoments(4.0, 15.0, 4, &mean, &dev);  // variance 15/4 - 1
    EXPECT_DOUBLE_EQ(dev, std::sqrt(2.75));
    SignReadingMoments(3.0, 2.0, 1, &mean, &dev);   // negative variance gives 0
    EXPECT_EQ(dev, 0.0);
}

class SignTestTest : public DataSetFixture {
protected:
    void SetUp() override {
        DataSetFixture::SetUp();
        TheDataSetServices().detectUnsignedInt = true;
        TheDataSetServices().signednessTest = &SignednessTestHook;
    }
    void TearDown() override {
        TheDataSetServices().detectUnsignedInt = false;
        TheSignTestSettings().useMinMax = false;
        DataSetFixture::TearDown();
    }
    // A data set of w x h samples of the type, without a stated sign.
    DataSet* Open(const std::string& path, uint32_t type, uint32_t w, uint32_t h,
                  uint64_t flags = kFlagSampleSize) {
        DataSet* d = Shaped(type, w, h);
        d->flags = flags;
        d->signTestPending = 1;
        Attach(d, path);
        return d;
    }
    template <typename T>
    std::string Bytes(const std::vector<T>& v) {
        return std::string(reinterpret_cast<const char*>(v.data()), v.size() * sizeof(T));
    }
};

TEST_F(SignTestTest, UnsignedDataWithoutHintFlips) {
    std::vector<uint16_t> v(300 * 200);
    for (size_t i = 0; i < v.size(); ++i) v[i] = static_cast<uint16_t>(30000 + (i * 37) % 6000);  // across 0x8000
    const std::string path = Write("u16.raw", Bytes(v));
    DataSet* d = Open(path, 0x02, 300, 200);
    EXPECT_EQ(d->input.type & 0x100, 0x100u);
    testing_io::ExpectContains(Log(), {"Test:\n\t '" + path + "' - probably 90% : type unsigned (changed)..."});
    EXPECT_EQ(Value(d, 1, 0), 30037.0);
    d->Release();

    // Stated sign: no test.
    DataSet* e = Open(path, 0x02, 300, 200, kFlagSampleSize | kFlagSign);
    EXPECT_EQ(e->input.type & 0x100, 0u);
    e->Release();
}

TEST_F(SignTestTest, LowValuesAndMethods) {
    std::vector<int16_t> low(100 * 10);
    for (size_t i = 0; i < low.size(); ++i) low[i] = static_cast<int16_t>(i % 1000);
    DataSet* d = Open(Write("low.raw", Bytes(low)), 0x02, 100, 10);
    SignTestResult r;
    ASSERT_TRUE(SignednessTest(d, &r));
    EXPECT_EQ(r.type, 0x102u);
    EXPECT_EQ(r.probability, 90u);
    d->Release();

    std::vector<uint8_t> bytes(64 * 4);
    for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i);  // 0..255
    TheSignTestSettings().useMinMax = true;
    DataSet* e = Open(Write("u8.raw", Bytes(bytes)), 0x01, 64, 4);
    ASSERT_TRUE(SignednessTest(e, &r));
    EXPECT_EQ(r.type, 0x101u);
    EXPECT_EQ(r.probability, 55u);
    e->Release();

    // A real type is never tested; data beyond the file's end cannot be tested.
    std::vector<float> f(16, -1.5f);
    DataSet* g = Open(Write("f.raw", Bytes(f)), 0x10, 4, 4);
    EXPECT_FALSE(SignednessTest(g, &r));
    g->Release();
    DataSet* h = Open(Write("short.raw", Bytes(low)), 0x02, 100, 10);
    h->dataBegin = 1 << 20;
    EXPECT_FALSE(SignednessTest(h, &r));
    h->Release();
    EXPECT_EQ(Log().find("type signed"), std::string::npos);
    EXPECT_EQ(Log().find("'f.raw"), std::string::npos);
}

}  // namespace
}  // namespace orva
