#include "common/clib.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <utility>

#include "common/log.h"
#include "platform/clock.h"
#include "test_support.h"

namespace orva {
namespace {

std::string gLogPath;
FILE* OpenCapture() { return std::fopen(gLogPath.c_str(), "w"); }
FILE* OpenNothing() { return nullptr; }

// Each test starts with an uninitialised library, no log, and no box answer set.
class ClibTest : public testing::Test {
protected:
    void SetUp() override {
        gLogPath = folder_.File("orva.log");
        LogResetForTest();
        ClibResetForTest();
    }
    void TearDown() override {
        LogResetForTest();
        ClibResetForTest();
    }
    std::string CloseAndReadLog() {
        LogPrintf(nullptr);
        return testing_util::ReadText(gLogPath);
    }
    testing_util::TempFolder folder_;
    testing_util::ScopedEnv answer_{"ORVA_MESSAGEBOX_ANSWER", nullptr};
};

TEST_F(ClibTest, FirstInitRecordsEverything) {
    EXPECT_FALSE(ClibInitialised() || ClibMainThreadId() != 0u);
    int module = 0;
    EXPECT_EQ(ClibInit(&module, &OpenCapture), 0);
    EXPECT_TRUE(ClibInitialised() && LogEnabled());
    EXPECT_TRUE(ClibModule() == &module && ClibMainThreadId() == platform::CurrentThreadId());
    LogPrintf("%s", "first line");
    EXPECT_EQ(CloseAndReadLog(), "first line\n");
}

TEST_F(ClibTest, LaterCallsOnlyFillWhatIsMissing) {
    ASSERT_EQ(ClibInit(nullptr, nullptr), 0);
    EXPECT_TRUE(ClibInitialised() && !LogEnabled());
    uint64_t mainId = ClibMainThreadId();

    // Nothing new: nothing changes, even from another thread.
    std::thread([] { EXPECT_EQ(ClibInit(nullptr, nullptr), 0); }).join();
    EXPECT_EQ(ClibMainThreadId(), mainId);

    // A module value where none was recorded: recorded, and the caller becomes the main thread.
    int module = 0;
    uint64_t otherId = 0;
    std::thread([&] {
        EXPECT_EQ(ClibInit(&module, nullptr), 0);
        otherId = platform::CurrentThreadId();
    }).join();
    EXPECT_TRUE(ClibModule() == &module && ClibMainThreadId() == otherId && otherId != mainId);

    // An opener where none is installed: installed.
    EXPECT_EQ(ClibInit(&module, &OpenCapture), 0);
    EXPECT_TRUE(ClibMainThreadId() == mainId && LogEnabled());
    // A second opener does not replace the first, nor does a second module value.
    int other = 0;
    EXPECT_EQ(ClibInit(&other, &OpenNothing), 0);
    EXPECT_EQ(ClibModule(), &module);
    LogPrintf("%s", "kept");
    EXPECT_EQ(CloseAndReadLog(), "kept\n");
}

TEST_F(ClibTest, InitKeepsAnOpenerInstalledBefore) {
    LogSetOpener(&OpenCapture);
    ASSERT_EQ(ClibInit(nullptr, &OpenNothing), 0);
    LogPrintf("%s", "from the first opener");
    EXPECT_EQ(CloseAndReadLog(), "from the first opener\n");
}

TEST_F(ClibTest, DirectBoxLogsAndAnswers) {
    ASSERT_EQ(ClibInit(nullptr, &OpenCapture), 0);
    testing::internal::CaptureStderr();
    // Flags gain "question" and "to the front", never the button set: an OK box answers OK.
    EXPECT_EQ(ClibMessageBoxDirect(nullptr, "Disk full", "Warning", 0), 1);
    EXPECT_EQ(ClibMessageBox(nullptr, "Overwrite?", "Question", 4), 6);  // yes/no: Yes
    ::setenv("ORVA_MESSAGEBOX_ANSWER", "7", 1);
    EXPECT_EQ(ClibMessageBox(nullptr, "Overwrite?", "Question", 4), 7);
    EXPECT_EQ(ClibMessageBoxThreaded(nullptr, "Again?", "Q", 4), 7);
    int fromThread = 0;
    std::thread([&] { fromThread = ClibMessageBoxThreaded(nullptr, "Elsewhere", "T", 4); }).join();
    EXPECT_EQ(std::pair(fromThread, ClibMessageBox(nullptr, nullptr, nullptr, 0)), std::pair(7, 7));
    std::string err = testing::internal::GetCapturedStderr();
    for (const char* line : {"Warning: Disk full\n", "T: Elsewhere\n"})
        EXPECT_NE(err.find(line), std::string::npos) << err;
    EXPECT_EQ(CloseAndReadLog(),
              "Warning: Disk full\nQuestion: Overwrite?\nQuestion: Overwrite?\nQ: Again?\n"
              "T: Elsewhere\n: \n");
}

struct Seen {
    std::string text, title;
    uint32_t flags = 0;
    int calls = 0;
} gSeen;

int RecordingBox(void*, const char* text, const char* title, uint32_t flags) {
    gSeen.text = text;
    gSeen.title = title;
    gSeen.flags = flags;
    ++gSeen.calls;
    return 42;
}

TEST_F(ClibTest, TheLibraryCallsTheSecondHook) {
    gSeen = Seen{};
    ClibSetMessageHook(&RecordingBox, nullptr);
    testing::internal::CaptureStderr();
    EXPECT_EQ(ClibMessageBox(nullptr, "a", "b", 0), 1);  // the second hook is the default
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(gSeen.calls, 0);
    ClibSetMessageHook(nullptr, &RecordingBox);
    EXPECT_EQ(ClibMessageBox(nullptr, "text", "title", 0x30), 42);
    // The hook gets the flags as they are.
    EXPECT_EQ(std::tuple(gSeen.calls, gSeen.text, gSeen.title, gSeen.flags),
              std::tuple(1, std::string("text"), std::string("title"), 0x30u));
}

}  // namespace
}  // namespace orva
