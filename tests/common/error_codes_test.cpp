#include "common/error_codes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "common/log.h"
#include "test_support.h"

namespace orva {
namespace {

TEST(ErrorCodes, MessageTable) {
    const std::map<int, const char*> expected = {
        {-28, "'%s' - error [limit]"},
        {-27, "'%s' - not valid arg"},
        {-26, "'%s' - out of range"},
        {-25, "'%s' - user cancelled"},
        {-23, "'%s' - corrupt"},
        {-20, "'%s' - can`t write"},
        {-19, "'%s' - can`t read"},
        {-17, "'%s' - user abort"},
        {-14, "%s: out memory"},
        {-13, "(%s) - unsupported"},
        {-12, "(%s) - unsupported"},
        {-10, "Error: '%s'"},
        {-7, "'%s' - err create"},
        {-6, "'%s' - io error"},
        {-5, "'%s' - there is no data access"},
        {-3, "'%s' - no space"},
        {-2, "'%s' - no such file or directory"},
        {-1, "'%s' wrong [not valid]"},
        {0, "'%s' - is empty [not processed]"},
        {1, "'%s' - data is empty [not processed]"},
        {3, "Warning: '%s' data are not completely processed"},
        {4, "'%s' - not processed"},
    };
    for (int code = -100; code <= 100; ++code) {
        SCOPED_TRACE(code);
        const char* text = ErrorText(code);
        auto it = expected.find(code);
        if (it != expected.end())
            EXPECT_STREQ(text, it->second);
        else if (code < 2)
            EXPECT_STREQ(text, "'%s' - error");
        else
            EXPECT_EQ(text, nullptr);
    }
    EXPECT_STREQ(ErrorText(-24), "'%s' - error");
    EXPECT_STREQ(ErrorText(-21), "'%s' - error");
    EXPECT_STREQ(ErrorText(-2147483647 - 1), "'%s' - error");
    EXPECT_EQ(ErrorText(2), nullptr);
    EXPECT_EQ(ErrorText(5), nullptr);
}

TEST(ErrorCodes, ErrnoMapping) {
    EXPECT_EQ(ErrnoToErrorValue(EACCES), -5);
    EXPECT_EQ(ErrnoToErrorValue(EINVAL), -1);
    EXPECT_EQ(ErrnoToErrorValue(ENOENT), -2);
    EXPECT_EQ(ErrnoToErrorValue(ENOSPC), -3);
    EXPECT_EQ(ErrnoToErrorValue(EMFILE), -10);
    EXPECT_EQ(ErrnoToErrorValue(0), -10);
    EXPECT_EQ(ErrnoToErrorValue(EIO), -10);
    // A real failed open.
    errno = 0;
    EXPECT_EQ(access("/nonexistent-orva-dir/file", R_OK), -1);
    EXPECT_EQ(ErrnoToError(), -2);
}

struct StatusCall {
    int group, code, flags;
    std::string text, name;
};
std::vector<StatusCall> gCalls;
int FakeSetStatus(int group, int code, int flags, const char* text) {
    gCalls.push_back({group, code, flags, text, ""});
    return 11;
}
int FakePrintStatus(int group, int code, int flags, const char* format, const char* name) {
    gCalls.push_back({group, code, flags, format, name});
    return 22;
}

class ShowTest : public ::testing::Test {
protected:
    void SetUp() override {
        gCalls.clear();
    }
    void TearDown() override { SetStatusLineHooks(nullptr); }
    testing_util::ProgramLogCapture log_;
};

TEST_F(ShowTest, WithoutHooksOnlyLog) {
    ShowWarning("disk 100%s full %d");
    ShowError("bad %n text");
    EXPECT_EQ(ShowErrorCode(-19, "a.fits"), 0);
    EXPECT_EQ(ShowErrorCode(2, "a.fits"), 0);
    EXPECT_EQ(ShowErrorCode(-14, nullptr), 0);
    EXPECT_EQ(log_.Text(),
              "disk 100%s full %d\nbad %n text\n'a.fits' - can`t read\n: out memory\n");
}

TEST_F(ShowTest, HooksReceiveGroupCodesAndFlags) {
    StatusLineHooks hooks;
    hooks.setGroupStatus = FakeSetStatus;
    hooks.printStatusLine = FakePrintStatus;
    SetStatusLineHooks(&hooks);

    ShowWarning("50% done");
    ShowError("failed");
    EXPECT_EQ(ShowErrorCode(-2, "x.fits"), 22);
    EXPECT_EQ(ShowErrorCode(-25, "y.fits"), 22);
    EXPECT_EQ(ShowErrorCode(7, "z.fits"), 0);

    ASSERT_EQ(gCalls.size(), 4u);
    EXPECT_EQ(gCalls[0].group, 0);
    EXPECT_EQ(gCalls[0].code, -2);
    EXPECT_EQ(gCalls[0].flags, 7);
    EXPECT_EQ(gCalls[0].text, "50% done");
    EXPECT_EQ(gCalls[1].code, -3);
    EXPECT_EQ(gCalls[1].text, "failed");
    EXPECT_EQ(gCalls[2].code, -3);
    EXPECT_EQ(gCalls[2].flags, 7);
    EXPECT_EQ(gCalls[2].text, "'%s' - no such file or directory");
    EXPECT_EQ(gCalls[2].name, "x.fits");
    // A cancel goes with status code 8, which the status line does not show.
    EXPECT_EQ(gCalls[3].code, 8);
    EXPECT_EQ(gCalls[3].name, "y.fits");
    EXPECT_EQ(log_.Text(),
              "50% done\nfailed\n'x.fits' - no such file or directory\n'y.fits' - user cancelled\n");
}

}  // namespace
}  // namespace orva
