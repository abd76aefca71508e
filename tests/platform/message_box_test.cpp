#include "platform/message_box.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace orva::platform {
namespace {

struct AnswerEnv : testing_util::ScopedEnv {
    explicit AnswerEnv(const char* value) : ScopedEnv(kMessageBoxAnswerVariable, value) {}
};

TEST(PlatformMessageBox, DefaultAnswerIsTheDefaultButton) {
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbOk), kIdOk);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbOk | kMbIconHand), kIdOk);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbOkCancel), kIdOk);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbYesNo | kMbIconQuestion | kMbSetForeground), kIdYes);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbYesNoCancel), kIdYes);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbAbortRetryIgnore), kIdAbort);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbRetryCancel), kIdRetry);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbYesNo | kMbDefButton2), kIdNo);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbYesNoCancel | kMbDefButton3), kIdCancel);
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbOkCancel | kMbDefButton2), kIdCancel);
    // A default button that the box does not have falls back to the first.
    EXPECT_EQ(DefaultMessageBoxAnswer(kMbOk | kMbDefButton3), kIdOk);
    EXPECT_EQ(DefaultMessageBoxAnswer(0xE), kIdOk);
}

TEST(PlatformMessageBox, AnswerFromSetterEnvironmentOrDefault) {
    AnswerEnv none(nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ShowMessageBox("Save changes?", "Question", kMbYesNo), kIdYes);
    EXPECT_EQ(ShowMessageBox("No caption", nullptr, kMbOk), kIdOk);
    EXPECT_EQ(ShowMessageBox(nullptr, "T", kMbOk), kIdOk);
    {
        AnswerEnv no("7");
        EXPECT_EQ(ShowMessageBox("Save changes?", "Question", kMbYesNo), kIdNo);
        SetMessageBoxAnswer(kIdCancel);
        EXPECT_EQ(ShowMessageBox("Save changes?", "Question", kMbYesNo), kIdCancel);
        SetMessageBoxAnswer(0);
        EXPECT_EQ(ShowMessageBox("Save changes?", "Question", kMbYesNo), kIdNo);
    }
    for (const char* bad : {"", "abc", "6x", "-1", "0", "99999999999999999999"}) {
        AnswerEnv env(bad);
        EXPECT_EQ(ShowMessageBox("x", "y", kMbYesNo), kIdYes) << bad;
    }
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_NE(err.find("Question: Save changes?\n"), std::string::npos);
    EXPECT_NE(err.find("Error: No caption\n"), std::string::npos);
    EXPECT_NE(err.find("T: \n"), std::string::npos);
}

}  // namespace
}  // namespace orva::platform
