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
    // The last two: a default button that the box does not have falls back to the first.
    const std::pair<uint32_t, int> cases[] = {
        {kMbOk, kIdOk}, {kMbOk | kMbIconHand, kIdOk}, {kMbOkCancel, kIdOk},
        {kMbYesNo | kMbIconQuestion | kMbSetForeground, kIdYes}, {kMbYesNoCancel, kIdYes},
        {kMbAbortRetryIgnore, kIdAbort}, {kMbRetryCancel, kIdRetry}, {kMbYesNo | kMbDefButton2, kIdNo},
        {kMbYesNoCancel | kMbDefButton3, kIdCancel}, {kMbOkCancel | kMbDefButton2, kIdCancel},
        {kMbOk | kMbDefButton3, kIdOk}, {0xE, kIdOk}};
    for (auto [type, answer] : cases) EXPECT_EQ(DefaultMessageBoxAnswer(type), answer) << std::hex << type;
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
