#include "common/error_codes.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "common/log.h"
#include "test_support.h"

namespace orva {
namespace {

TEST(ErrorCodes, MessageTable) {
    const std::map<int, const char*> expected = {
        {-28, "'%s' - error [limit]"}, {-27, "'%s' - not valid arg"}, {-26, "'%s' - out of range"},
        {-25, "'%s' - user cancelled"}, {-23, "'%s' - corrupt"}, {-20, "'%s' - can`t write"},
        {-19, "'%s' - can`t read"}, {-17, "'%s' - user abort"}, {-14, "%s: out memory"},
        {-13, "(%s) - unsupported"}, {-12, "(%s) - unsupported"}, {-10, "Error: '%s'"},
        {-7, "'%s' - err create"}, {-6, "'%s' - io error"}, {-5, "'%s' - there is no data access"},
        {-3, "'%s' - no space"}, {-2, "'%s' - no such file or directory"},
        {-1, "'%s' wrong [not valid]"},
        {0, "'%s' - is empty [not processed]"}, {1, "'%s' - data is empty [not processed]"},
        {3, "Warning: '%s' data are not completely processed"}, {4, "'%s' - not processed"},
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
    EXPECT_STREQ(ErrorText(-2147483647 - 1), "'%s' - error");
}

TEST(ErrorCodes, ErrnoMapping) {
    const std::pair<int, int> cases[] = {{EACCES, -5},  {EINVAL, -1}, {ENOENT, -2}, {ENOSPC, -3},
                                         {EMFILE, -10}, {0, -10},     {EIO, -10}};
    for (auto [error, value] : cases) EXPECT_EQ(ErrnoToErrorValue(error), value) << error;
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
    // In this order: the log is checked below.
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

    // Each call as "group code flags text|name". A cancel goes with status code 8,
    // which the status line does not show.
    std::vector<std::string> calls;
    for (const StatusCall& c : gCalls)
        calls.push_back(std::to_string(c.group) + " " + std::to_string(c.code) + " " +
                        std::to_string(c.flags) + " " + c.text + "|" + c.name);
    EXPECT_EQ(calls, (std::vector<std::string>{"0 -2 7 50% done|", "0 -3 7 failed|",
                                                "0 -3 7 '%s' - no such file or directory|x.fits",
                                                "0 8 7 '%s' - user cancelled|y.fits"}));
    EXPECT_EQ(log_.Text(),
              "50% done\nfailed\n'x.fits' - no such file or directory\n'y.fits' - user cancelled\n");
}

}  // namespace
}  // namespace orva
