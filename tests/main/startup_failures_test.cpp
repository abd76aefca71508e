// Starts that cannot go as planned, as a user meets them on a terminal: no display, a
// settings folder that is a file, a disk that takes no more bytes (a file-size limit, a
// full and a read-only file system of their own), options the program does not know.
// Each start's standard error, exit status and what it left in the folders are checked
// against what the user must be told and must keep.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "program_start.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::Exists;
using testing_util::ReadText;
using testing_util::WriteText;

using testing_program::Outcome;
using testing_program::RunStart;
using testing_program::Start;

using testing_program::FolderNames;

// The smallest FITS image a reader takes: 4 x 3 bytes.
std::string TinyFits() {
    std::string header;
    for (const char* card : {"SIMPLE  =                    T", "BITPIX  =                    8",
                             "NAXIS   =                    2", "NAXIS1  =                    4",
                             "NAXIS2  =                    3", "END"}) {
        std::string c = card;
        c.resize(80, ' ');
        header += c;
    }
    header.resize(2880, ' ');
    std::string data(2880, '\0');
    for (int i = 0; i < 12; ++i) data[static_cast<size_t>(i)] = static_cast<char>(i);
    return header + data;
}

struct Case {
    const char* name;
    // Prepares the folders; `user` is the settings folder the program would take.
    std::function<void(const std::string& user)> prepare;
    std::function<Start(const std::string& work)> start;
    int status;
    // The lines standard error must hold, in order, with "<app>", "<user>", "<temp>" and
    // "<work>" standing for the folders; nothing else may stand there.
    std::vector<std::string> err;
    // What the folders must hold afterwards.
    std::function<void(const std::string& user, const std::string& temp)> check;
    // A file system of its own for the settings folder, made ready by `prepare`: full or
    // read-only (none: the folder of the test's own).
    enum class Mount { kNone, kFull, kReadOnly } mount = Mount::kNone;
};


class StartupFailures : public ::testing::TestWithParam<Case> {};

TEST_P(StartupFailures, TellTheUserAndKeepTheirFiles) {
    const Case& c = GetParam();
    testing_util::TempFolder root;
    const std::string app = root.File("config"), run = root.File("run"), work = root.File("work");
    const std::string user = app + "/ZEL Lab", temp = run + "/orva-" + std::to_string(geteuid()) + "/";
    for (const std::string& f : {app, run, work}) mkdir(f.c_str(), 0700);
    std::optional<testing_program::SmallFileSystem> small;
    if (c.mount != Case::Mount::kNone) {
        small.emplace(user);
        if (!small->why.empty()) GTEST_SKIP() << small->why;
    }
    if (c.prepare) c.prepare(user);
    if (c.mount == Case::Mount::kFull) {
        ASSERT_TRUE(small->Fill());
    } else if (c.mount == Case::Mount::kReadOnly) {
        ASSERT_TRUE(small->MakeReadOnly()) << std::strerror(errno);
    }
    Start start = c.start(work);
    start.env.insert(start.env.begin(), {{"XDG_CONFIG_HOME", app}, {"XDG_RUNTIME_DIR", run},
                                         {"HOME", root.File("home")}, {"ORVA_MESSAGEBOX_ANSWER", "1"}});
    if (start.windows && std::getenv("DISPLAY") == nullptr) GTEST_SKIP() << "no X display";
    // Nothing may be written beside the program.
    const std::vector<std::string> programFolder = FolderNames(ORVA_BINARY_DIR);

    const Outcome out = RunStart(start);
    EXPECT_EQ(out.status, c.status) << out.err;
    std::string expected;
    for (std::string line : c.err) {
        for (const auto& [mark, value] : {std::pair<std::string, std::string>{"<app>", app}, {"<user>", user + "/"},
                                          {"<temp>", temp}, {"<work>", work}})
            for (size_t at = line.find(mark); at != std::string::npos; at = line.find(mark))
                line.replace(at, mark.size(), value);
        expected += "orva: " + line + "\n";
    }
    // The program's own lines: the GL and X libraries it loads may add theirs (a shader
    // cache that cannot be made under a home folder that is not there).
    std::string own;
    for (size_t at = 0; at < out.err.size();) {
        const size_t end = std::min(out.err.find('\n', at), out.err.size());
        if (out.err.compare(at, 6, "orva: ") == 0) own += out.err.substr(at, end - at) + "\n";
        at = end + 1;
    }
    EXPECT_EQ(own, expected) << out.err;
    EXPECT_EQ(FolderNames(ORVA_BINARY_DIR), programFolder);
    c.check(user, temp);
}

const std::string kMain = "[{424F4C47-00000000-4C505041424F4C47-00000000}]";
const std::string kForeign = "[other]\nKept=1\n";
// Settings as the program writes them, with the exit question on.
const std::string kGoodConfig = kForeign + kMain + "\n\nConsole=0\nWarningOnExit=1\nConfirmClosing=0\n";

// A start with windows whose settings folder lies on a file system of its own that refuses
// every write for `reason`; the names the folder holds afterwards.
Case RefusingFileSystem(const char* name, Case::Mount mount, const std::string& reason,
                        const std::vector<std::string>& left) {
    return Case{name, [](const std::string& user) { WriteText(user + "/orva.cfg", kGoodConfig); },
                [](const std::string&) {
                    Start s;
                    s.windows = true;
                    return s;
                },
                1,
                {"the log '<user>orva.log' cannot be written (" + reason + ")",
                 "the settings could not be saved in '<user>orva.cfg' (" + reason +
                     "): what changed in this run is lost, the file keeps what it held"},
                [left](const std::string& user, const std::string&) {
                    EXPECT_EQ(ReadText(user + "/orva.cfg"), kGoodConfig);
                    EXPECT_EQ(FolderNames(user), left);
                },
                mount};
}

INSTANTIATE_TEST_SUITE_P(
    Table, StartupFailures,
    ::testing::Values(
        // No display: why, on the terminal; a failed exit; the log, and no settings.
        Case{"NoDisplay", nullptr,
             [](const std::string&) { return Start{{{"DISPLAY", ""}}, {"img.fits"}, "", false, false}; }, 1,
             {"cannot start: no display is set (DISPLAY)"},
             [](const std::string& user, const std::string&) {
                 EXPECT_EQ(FolderNames(user), std::vector<std::string>{"orva.log"});
                 EXPECT_NE(ReadText(user + "/orva.log").find("***Can`t init CUI, Exit!\n"), std::string::npos);
             }},
        // A display nobody serves: named with the reason.
        Case{"DisplayNobodyServes", nullptr,
             [](const std::string&) { return Start{{{"DISPLAY", ":3917"}}, {}, "", false, false}; }, 1,
             {"cannot start: can`t open display \":3917\" (Connection refused)"},
             [](const std::string& user, const std::string&) {
                 EXPECT_EQ(FolderNames(user), std::vector<std::string>{"orva.log"});
             }},
        // The settings folder's name taken by a file: a private folder of the user's, said
        // so; the file as it was; nothing beside the program.
        Case{"SettingsFolderIsAFile", [](const std::string& user) { WriteText(user, "mine\n"); },
             [](const std::string&) { return Start{{{"DISPLAY", ""}}, {}, "", false, false}; }, 1,
             {"'<app>/ZEL Lab' cannot be used (it is not a folder): settings and the log are kept in '<temp>' "
              "instead, which the system may clear",
              "cannot start: no display is set (DISPLAY)"},
             [](const std::string& user, const std::string& temp) {
                 EXPECT_EQ(ReadText(user), "mine\n");
                 EXPECT_EQ(FolderNames(temp), std::vector<std::string>{"orva.log"});
                 EXPECT_NE(ReadText(temp + "orva.log").find("'" + user + "' cannot be used (it is not a folder)"),
                           std::string::npos);
             }},
        // A disk that takes no more: the log and the settings that could not be written are
        // named, the run ends as a failure, the old settings stay whole, and the copy an
        // earlier run left behind is gone with no new one in its place.
        Case{"FullDisk",
             [](const std::string& user) {
                 mkdir(user.c_str(), 0700);
                 WriteText(user + "/orva.cfg", kForeign);
                 WriteText(user + "/orvQ7x2Lk.tmp", "half a save");
             },
             [](const std::string&) {
                 Start s;
                 s.windows = s.fullDisk = true;
                 return s;
             },
             1,
             {"the log '<user>orva.log' cannot be written (File too large)",
              "the settings could not be saved in '<user>orva.cfg' (File too large): what changed in this run is "
              "lost, the file keeps what it held"},
             [](const std::string& user, const std::string&) {
                 EXPECT_EQ(ReadText(user + "/orva.cfg"), kForeign);
                 EXPECT_EQ(FolderNames(user), (std::vector<std::string>{"orva.cfg", "orva.log"}));
             }},
        // A settings folder on a file system that is full, and on one that is read-only:
        // the log and the settings are named with the reason, the run ends as a failure,
        // and the settings the user had stay as they were.
        RefusingFileSystem("FullFileSystem", Case::Mount::kFull, std::strerror(ENOSPC),
                           {"filler", "orva.cfg", "orva.log"}),
        RefusingFileSystem("ReadOnlyFileSystem", Case::Mount::kReadOnly, std::strerror(EROFS), {"orva.cfg"}),
        // The same start on a disk with room: the left-over copy goes, the settings are
        // written beside what the file held, nothing is said.
        Case{"LeftOverCopy",
             [](const std::string& user) {
                 mkdir(user.c_str(), 0700);
                 WriteText(user + "/orva.cfg", kForeign);
                 WriteText(user + "/orvQ7x2Lk.tmp", "half a save");
                 WriteText(user + "/orvnot.tmp", "not ours");
             },
             [](const std::string&) {
                 Start s;
                 s.windows = true;
                 return s;
             },
             0, {},
             [](const std::string& user, const std::string&) {
                 const std::string cfg = ReadText(user + "/orva.cfg");
                 EXPECT_EQ(cfg.rfind(kForeign, 0), 0u) << cfg;
                 EXPECT_NE(cfg.find(kMain), std::string::npos) << cfg;
                 EXPECT_EQ(FolderNames(user), (std::vector<std::string>{"orva.cfg", "orva.log", "orvnot.tmp"}));
                 EXPECT_NE(ReadText(user + "/orva.log")
                               .find("Removed '" + user + "/orvQ7x2Lk.tmp', a settings copy an earlier run left "
                                     "unfinished\n"),
                           std::string::npos);
             }},
        // Options nobody answers to: each named with the way to the list; a file of such a
        // name is still opened, a name without a file is not tried.
        Case{"UnknownOptions", nullptr,
             [](const std::string& work) {
                 WriteText(work + "/--r.fits", TinyFits());
                 Start s{{}, {"-bogus", "--r.fits"}, work, true, false};
                 return s;
             },
             0,
             {"unknown option '-bogus' (orva --help lists the options)",
              "unknown option '--r.fits' (orva --help lists the options): the file of that name is opened"},
             [](const std::string& user, const std::string&) {
                 const std::string log = ReadText(user + "/orva.log");
                 EXPECT_NE(log.find("/work/--r.fits'\n"), std::string::npos) << log;
                 EXPECT_NE(log.find("Source format: \"FITS\""), std::string::npos) << log;
                 EXPECT_EQ(log.find("/-bogus"), std::string::npos) << log;
             }}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orva
