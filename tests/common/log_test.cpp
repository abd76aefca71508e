#include "common/log.h"

#include "common/clib.h"
#include "common/printf_format.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "test_support.h"

namespace orva {
namespace {

using testing_util::Exists;
using testing_util::ReadText;

// The opener of these tests: creates the file anew, as start-up's does.
std::string gLogPath;
int gOpenCalls = 0;
FILE* TestOpener() {
    ++gOpenCalls;
    return std::fopen(gLogPath.c_str(), "w");
}
FILE* FailingOpener() {
    ++gOpenCalls;
    return nullptr;
}

class LogTest : public ::testing::Test {
protected:
    void SetUp() override {
        LogResetForTest();
        gLogPath = folder_.File("orva.log");
        gOpenCalls = 0;
    }
    void TearDown() override { LogResetForTest(); }
    testing_util::TempFolder folder_;
    const std::string& dir_ = folder_.Path();
};

TEST_F(LogTest, OffUntilOpenerInstalled) {
    EXPECT_FALSE(LogEnabled());
    LogPrintf("lost line %d", 1);
    LogPrintf(nullptr);
    EXPECT_FALSE(Exists(gLogPath) || LogWrittenBytes() != 0u);
    LogSetOpener(TestOpener);
    EXPECT_TRUE(LogEnabled());
    // The file is created by the first line, not before.
    EXPECT_FALSE(gOpenCalls != 0 || Exists(gLogPath));
    LogPrintf("first %s", "line");
    EXPECT_EQ(gOpenCalls, 1);
    EXPECT_EQ(ReadText(gLogPath), "first line\n");
}

TEST_F(LogTest, LinesFormatsCountsAndReopen) {
    LogSetOpener(TestOpener);
    LogPrintf("value %I64d and %I64u, %I64X", static_cast<long long>(-5),
              static_cast<unsigned long long>(18446744073709551615ull),
              static_cast<unsigned long long>(0xABCull));
    LogPrintf("ends with newline\n");
    LogPrintf("%s", "");  // empty text: no line at all
    LogPrintf("last");
    // Each line is flushed, so the file is complete while the stream is open.
    EXPECT_EQ(ReadText(gLogPath),
              "value -5 and 18446744073709551615, ABC\nends with newline\n\nlast\n");
    EXPECT_EQ(std::pair(LogWrittenBytes(), gOpenCalls), std::pair(39u + 19u + 5u, 1));

    LogPrintf(nullptr);  // closes; the next line opens and truncates again
    LogPrintf(nullptr);  // nothing open: harmless
    EXPECT_EQ(ReadText(gLogPath),
              "value -5 and 18446744073709551615, ABC\nends with newline\n\nlast\n");
    LogPrintf("again");
    EXPECT_EQ(std::tuple(gOpenCalls, ReadText(gLogPath), LogWrittenBytes()),
              std::tuple(2, std::string("again\n"), 6u));
}

// Outside texts (command-line items, file names) reach the log escaped; the program's own
// formats, 8-bit (Windows-1251) texts included, stay as they are.
TEST_F(LogTest, ArgumentTextsAreEscapedTheFormatsStay) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"plain name.fits", "plain name.fits"},
        {"tab\tstays", "tab\tstays"},
        {"\x1b[31mred\x1b[0m", "\\x1b[31mred\\x1b[0m"},        // terminal escape sequence
        {"two\nlines\r", "two\\x0alines\\x0d"},
        {"del\x7f", "del\\x7f"},
        {"caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\xad", "caf\xc3\xa9 \xe2\x82\xac \xf0\x9f\x94\xad"},  // UTF-8 kept
        {"\xe9t\xe9", "\\xe9t\\xe9"},                         // Latin-1 bytes
        {"\xc2\x9b" "2J", "\\xc2\\x9b" "2J"},                         // C1 CSI in UTF-8
        {"\xc0\xaf \xed\xa0\x80 \xe2\x82", "\\xc0\\xaf \\xed\\xa0\\x80 \\xe2\\x82"},  // over-long, surrogate, cut
    };
    for (const Case& c : cases) EXPECT_EQ(EscapeOutsideText(c.in, std::strlen(c.in)), c.out) << c.in;

    LogSetOpener(TestOpener);
    LogPrintf("\xcf\xf0\xee\xe1\xe0: %s [%c%c] %-6s| %.3s %*d %5.1f %I64d %%", "a\x1b", 'Y', 7, "ab", "x\ny\nz", 4, 7,
              2.25, static_cast<long long>(-3));
    EXPECT_EQ(ReadText(gLogPath), "\xcf\xf0\xee\xe1\xe0: a\\x1b [Y\\x07] ab    | x\\x0ay    7   2.2 -3 %\n");
}

TEST_F(LogTest, OpenerReturningNoneIsRetried) {
    LogSetOpener(FailingOpener);
    LogPrintf("a");
    LogPrintf("b");
    EXPECT_EQ(std::pair(gOpenCalls, LogWrittenBytes()), std::pair(2, 0u));
    LogSetOpener(TestOpener);
    LogPrintf("c");
    EXPECT_EQ(ReadText(gLogPath), "c\n");
}

// A log on a full disk: whoever listens hears it once for each stream, with the reason.
std::vector<int> gFailures;
FILE* FullOpener() {
    ++gOpenCalls;
    return std::fopen("/dev/full", "w");
}

TEST_F(LogTest, ALogThatTakesNoLineIsToldOncePerStream) {
    gFailures.clear();
    LogSetFailureHook([](int error) { gFailures.push_back(error); });
    LogSetOpener(TestOpener);
    LogPrintf("fine");
    EXPECT_TRUE(gFailures.empty());
    LogPrintf(nullptr);
    LogSetOpener(FullOpener);
    LogPrintf("lost %d", 1);
    LogPrintf("lost %d", 2);
    EXPECT_EQ(gFailures, std::vector<int>{ENOSPC});
    // A new stream is a new chance, and its failure is told again.
    LogPrintf(nullptr);
    LogPrintf("lost %d", 3);
    EXPECT_EQ(gFailures, (std::vector<int>{ENOSPC, ENOSPC}));
    EXPECT_EQ(gOpenCalls, 3);
}

TEST_F(LogTest, StopsGrowingAfterOneGigabyte) {
    LogSetOpener(TestOpener);
    LogPrintf("open");
    LogSetWrittenBytesForTest(kLogSizeLimit);  // at the limit: still written
    LogPrintf("crossing line");
    EXPECT_EQ(LogWrittenBytes(), kLogSizeLimit + 14u);
    LogPrintf("dropped");
    EXPECT_EQ(LogWrittenBytes(), kLogSizeLimit + 14u);
    EXPECT_EQ(ReadText(gLogPath), "open\ncrossing line\n");
}

std::string gNoticeText;
int gNoticeCalls = 0;
bool gNoticeHadTitle = false;
uint32_t gNoticeFlags = 99;
int FakeMessageBox(void*, const char* text, const char* title, uint32_t flags) {
    ++gNoticeCalls;
    gNoticeText = text ? text : "";
    gNoticeHadTitle = title != nullptr;
    gNoticeFlags = flags;
    return 1;
}

TEST_F(LogTest, CloseNotice) {
    ClibSetMessageHook(nullptr, FakeMessageBox);
    gNoticeCalls = 0;
    EXPECT_FALSE(LogCloseNotice());
    LogSetOpener(TestOpener);
    LogPrintf("line");
    LogPrintf(nullptr);
    EXPECT_EQ(gNoticeCalls, 0);  // off by default
    LogSetCloseNotice(true);
    EXPECT_TRUE(LogCloseNotice());
    LogPrintf(nullptr);  // consulted also with nothing open
    EXPECT_EQ(std::tuple(gNoticeCalls, gNoticeText, gNoticeHadTitle, gNoticeFlags),
              std::tuple(1,
                         std::string("accepted of errors in the application: please check log file..."),
                         false, 0u));
    ClibSetMessageHook(nullptr, nullptr);
}

class SideLogTest : public LogTest {
protected:
    void TearDown() override {
        LogFileClose(&log_);
        LogTest::TearDown();
    }
    LogFile log_;
};

TEST_F(SideLogTest, EmptySideLogLeavesNoFile) {
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "data.b.fits", ".log", true));
    std::string path = dir_ + "/data_b.log";
    EXPECT_EQ(std::string(log_.path ? log_.path : "<null>"), path);
    EXPECT_TRUE(Exists(path));
    for (const char* blank : {"   \n", " \t", ""}) LogFilePrintf(&log_, "%s", blank);
    EXPECT_FALSE(LogFileClose(&log_));
    EXPECT_FALSE(Exists(path) || log_.path != nullptr || log_.stream != nullptr);
    EXPECT_FALSE(LogFileClose(&log_));
}

TEST_F(SideLogTest, LinesAreWrittenAndCutAt199) {
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "out", ".log", false));
    std::string path = dir_ + "/out.log";
    std::string longText(250, 'x');
    longText[198] = 'y';
    LogFilePrintf(&log_, "%s", longText.c_str());
    LogFilePrintf(&log_, "  indented %I64d", static_cast<long long>(1) << 40);
    LogFilePrintf(&log_, "own end\n");
    LogFilePrintfName(&log_, "a.fits", "bad header");
    LogFilePrintfName(&log_, "b.fits", "name on next line\n");
    LogFilePrintfName(&log_, nullptr, "no name");
    std::string expected = std::string(198, 'x') + "y\n" + "  indented 1099511627776\n" +
                           "own end\n" + "bad header 'a.fits'\n" + "name on next line\n 'b.fits'" +
                           "no name\n";
    EXPECT_EQ(log_.written, static_cast<int32_t>(expected.size()));
    EXPECT_TRUE(LogFileClose(&log_));
    EXPECT_EQ(ReadText(path), expected);
}

TEST_F(SideLogTest, ReopenWithOrWithoutName) {
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "x", ".txt", false));
    LogFilePrintf(&log_, "old");
    ASSERT_TRUE(LogFileOpen(&log_, nullptr, nullptr, nullptr, false));  // truncates
    EXPECT_EQ(log_.written, 0);
    LogFilePrintf(&log_, "new");
    EXPECT_TRUE(LogFileClose(&log_));
    EXPECT_EQ(ReadText(dir_ + "/x.txt"), "new\n");
    // After a close the path is forgotten: a name is needed.
    EXPECT_FALSE(LogFileOpen(&log_, nullptr, nullptr, nullptr, false));
    // A folder that does not exist.
    EXPECT_FALSE(LogFileOpen(&log_, (dir_ + "/missing").c_str(), "x", ".txt", false));
    EXPECT_EQ(log_.stream, nullptr);
    // A new name finishes the old file.
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "first", ".log", false));
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "second", ".log", false));
    EXPECT_FALSE(Exists(dir_ + "/first.log"));  // stayed empty
    LogFilePrintf(&log_, "kept");
    ASSERT_TRUE(LogFileOpen(&log_, dir_.c_str(), "third", ".log", false));
    EXPECT_EQ(ReadText(dir_ + "/second.log"), "kept\n");
}

}  // namespace
}  // namespace orva
