#include "framework/command_registry.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "common/log.h"
#include "framework/app_object.h"
#include "framework/global_commands.h"
#include "framework/main_settings.h"
#include "test_support.h"

namespace orva {
namespace {

using testing_util::ReadText;
using LogCapture = testing_util::ProgramLogCapture;

// A user interface's interface for the tests: it records every call.
std::vector<std::string> gCalls;

std::string Join(const CommandArgList* args) {
    std::string s;
    for (const CommandArg& a : args ? *args : CommandArgList()) s += " " + a.text;
    return s;
}

bool Record(const CommandRecord* r, const CommandArgList* args, CommandContext*) {
    gCalls.push_back(std::string(r->names ? r->names : "(bare)") + Join(args));
    return true;
}

CommandRecord gBare{"Open (file)", 0, nullptr, &Record, -1, nullptr, nullptr, 1};
CommandRecord gOpen{"Open (file) [opt.]", 0, "open\0o\0", &Record, -1, nullptr, nullptr, 1};
CommandRecord gClose{"Close (file)", 0, "close\0c\0", &Record, -1, nullptr, nullptr, 0};
CommandRecord gAllClose{"Close all (files)", 0, "allclose\0", &Record, 0, nullptr, nullptr, 0};
CommandRecord* const kUiRecords[] = {&gBare, &gOpen, &gClose, &gAllClose, nullptr};
const CommandInterface kUiIface{nullptr, "Projects", "Projects Iface", kUiRecords};

// Owner change: `switch` moves the rest of the line to owner B; `moveonly` moves it
// without the flag, so the rest stays with A.
CommandOwner gOwnerB;
bool SwitchOwner(const CommandRecord* r, const CommandArgList*, CommandContext* c) {
    gCalls.push_back(r->names);
    c->owner = &gOwnerB;
    return true;
}
CommandRecord gSwitch{"switch", 0, "switch\0", &SwitchOwner, 0, nullptr, nullptr, kCommandFollowOwner};
CommandRecord gMoveOnly{"moveonly", 0, "moveonly\0", &SwitchOwner, 0, nullptr, nullptr, 0};
CommandRecord gA2{"a2", 0, "a2\0", &Record, 0, nullptr, nullptr, 0};
CommandRecord gB1{"b1", 0, "b1\0", &Record, 0, nullptr, nullptr, 0};
CommandRecord gB2{"b2", 0, "b2\0", &Record, 0, nullptr, nullptr, 0};
CommandRecord* const kARecords[] = {&gSwitch, &gMoveOnly, &gA2, nullptr};
CommandRecord* const kBRecords[] = {&gB1, &gB2, nullptr};
const CommandInterface kAIface{nullptr, "A", nullptr, kARecords};
const CommandInterface kBIface{nullptr, "B", nullptr, kBRecords};

struct Fixture {
    CommandRegistry registry;
    CommandOwner app, ui;
    MainSettings settings;
    Fixture() {
        for (CommandRecord* r : {&NewInstanceRecord(), &ExitRecord()}) r->disabled = 0;
        CommandRegistryAdd(registry, app, kGlobalIface);
        CommandRegistryAdd(registry, ui, kUiIface);
        gCalls.clear();
    }
    void Run(const std::vector<std::string>& words) {
        CommandLineDispatch(registry, words, {{&app, &settings}, {&ui, &ui}});
    }
};

TEST(CommandLine, SplitsArgvWordsIntoItems) {
    Fixture f;
    auto items = SplitCommandLine(f.registry, {"a b.fits", "", "--OPEN", "c", "-2", "-", "--close", "d",
                                              "-exitdlg", "Enable", "-nosuch"});
    ASSERT_EQ(items.size(), 4u);
    // Each item as "name: args", a bare item as "-: args".
    std::vector<std::string> seen;
    for (const auto& item : items) {
        std::string text = (item.hasName ? item.name : "-") + ":";
        for (const std::string& a : item.args) text += " " + a;
        seen.push_back(text);
    }
    EXPECT_EQ(seen, (std::vector<std::string>{"-: a b.fits", "OPEN: c -2 -", "close: d",
                                              "exitdlg: Enable -nosuch"}));
    EXPECT_TRUE(f.registry.IsCommandName("NewInst") && !f.registry.IsCommandName("new"));
}

TEST(CommandLine, DispatchRunsEachOwnerWithItsMessages) {
    LogCapture log;
    Fixture f;
    f.settings.exitDialog = 0;
    // Names and list words are case-insensitive; bare words open; items of the other
    // owner's interface are skipped silently.
    f.Run({"a.fits", "/data/b c.fits", "-EXITDLG", "Enable", "--C", "x", "-AllClose", "extra"});
    EXPECT_EQ(f.settings.exitDialog, 1);
    EXPECT_EQ(gCalls,
              (std::vector<std::string>{"(bare) a.fits /data/b c.fits", "close x", "allclose"}));
    EXPECT_EQ(log.Text(), "");

    // The word after a command that takes none is named as unused, nothing else.
    EXPECT_EQ(UnusedCommandWords(f.registry, {"a.fits", "-EXITDLG", "Enable", "--C", "x", "-AllClose", "extra", "-exit"}),
              (std::vector<std::pair<std::string, std::string>>{{"AllClose", "extra"}}));

    // Missing argument text: the line is logged and the handler is not called. Each of
    // these three counts as a failed command.
    const int failures = CommandFailureCount();
    f.settings.exitDialog = 0;
    f.Run({"-exitdialog"});
    f.Run({"-open", "-allclose"});
    EXPECT_EQ(f.settings.exitDialog, 0);
    // A word that converts to nothing: the handler gets no list and refuses.
    f.Run({"--exitdialog", "maybe"});
    EXPECT_EQ(f.settings.exitDialog, 0);
    EXPECT_EQ(CommandFailureCount() - failures, 3);
    EXPECT_EQ(log.Text(),
              "Line 1 error: empty arg: cmd [Disable/enable exit dialog]:\tcount args 1 \n"
              "Line 1 error: empty arg: cmd [Open (file) [opt.]]:\tcount args -1 Any\n"
              "CMDLINE::CmdParsingArg(): none arg...\n"
              "Line 1 error: call cmd [Disable/enable exit dialog]\n");
    EXPECT_EQ(gCalls.back(), "allclose");

    // `exit` sets the windowless flag and the quit request and clears the exit dialog; a
    // disabled record is skipped.
    f.settings = MainSettings();
    ExitRecord().disabled = 1;
    f.Run({"-exit"});
    EXPECT_EQ(f.settings.quitRequest, 0);
    ExitRecord().disabled = 0;
    f.Run({"-exit"});
    EXPECT_EQ(std::tuple(f.settings.windowless, f.settings.quitRequest, f.settings.exitDialog),
              std::tuple(1, 1, 0));
}

TEST(CommandLine, ItemLimitsAndTheSingleRecordRun) {
    LogCapture log;
    Fixture f;
    std::vector<std::string> words(1025, "-allclose");
    f.Run(words);
    EXPECT_EQ(gCalls.size(), 1024u);
    // Each owner runs the line and stops at the limit.
    EXPECT_EQ(log.Text(), "Line error: is big\nLine error: is big\n");

    // newinstance alone: other items are left for later; it needs its flag byte.
    auto single = [&](const std::vector<std::string>& line) {
        return CommandLineDispatchInterface(f.registry, &NewInstanceRecord(), {&f.app, &f.settings},
                                            line);
    };
    uint8_t flag = 0;
    EXPECT_FALSE(single({"a.fits", "-exit"}));
    EXPECT_TRUE(single({"a.fits", "--NewInst", "-exit"}));
    NewInstanceRecord().userData = &flag;
    EXPECT_TRUE(single({"a.fits", "--NewInst", "-exit"}));
    NewInstanceRecord().userData = nullptr;
    EXPECT_EQ(std::pair(int(flag), int(f.settings.quitRequest)), std::pair(1, 0));
    words.back() = "-newinstance";
    EXPECT_FALSE(single(words));
    EXPECT_EQ(log.Text(), "Line 1 error: call cmd [Create new instance]\nLine error: is big?\n");
}

TEST(CommandLine, OwnerChangeRunsTheRestAgainstTheNewOwner) {
    CommandRegistry registry;
    CommandOwner a, twice;
    gOwnerB.commands.clear();
    CommandRegistryAdd(registry, a, kAIface);
    CommandRegistryAdd(registry, gOwnerB, kBIface);
    // An interface is registered once; its commands are listed as often as it is added.
    CommandRegistryAdd(registry, twice, kBIface);
    CommandRegistryAdd(registry, twice, kBIface);
    EXPECT_EQ(std::pair(registry.Interfaces().size(), twice.commands.size()),
              std::pair(size_t{2}, size_t{4}));
    gCalls.clear();
    // B takes b1 and b2 and stops at a2, which A then runs.
    CommandLineDispatch(registry, {"-switch", "-b1", "-b2", "-a2", "-b1"}, {{&a, nullptr}});
    EXPECT_EQ(gCalls, (std::vector<std::string>{"switch", "b1", "b2", "a2"}));
    gCalls.clear();
    CommandLineDispatch(registry, {"-moveonly", "-b1", "-a2"}, {{&a, nullptr}});
    EXPECT_EQ(gCalls, (std::vector<std::string>{"moveonly", "a2"}));
}

const CommandWord kWords[] = {{"on\0yes\0", 4, 1}, {"off\0", 9, -7}, {nullptr, 0, 0}};
const CommandLimits kInt32Lim{kArgInt32, -5, 10, 0, 0};
const CommandLimits kInt64Lim{kArgInt64, INT64_MIN, INT64_MAX, 0, 0};
const CommandLimits kReal32Lim{kArgReal32, 0, 0, -1e300, 1e300};
const CommandLimits kReal64Lim{kArgReal64, 0, 0, 0.0, 1.0};

TEST(CommandLine, ArgumentsAreConvertedByTheirPosition) {
    LogCapture log;
    const struct {
        CommandArgSpec spec;
        const char* word;
        bool produced;
        uint32_t kind;
        int64_t i;
        double r;
    } cases[] = {
        {{kArgText}, "x y", true, kArgText, 0, 0}, {{kArgWordList, kWords}, "YES", true, 4, 1, 0},
        {{kArgWordList, kWords}, "Off", true, 9, -7, 0},
        {{kArgWordList, kWords}, "maybe", false, 0, 0, 0},
        {{kArgLimits, nullptr, &kInt32Lim}, "12", true, kArgInt32, 10, 0},
        {{kArgLimits, nullptr, &kInt32Lim}, " -9x", true, kArgInt32, -5, 0},
        {{kArgLimits, nullptr, &kInt32Lim}, "abc", true, kArgInt32, 0, 0},
        {{kArgLimits, nullptr, &kInt64Lim}, "99999999999999999999", true, kArgInt64, INT64_MAX, 0},
        {{kArgLimits, nullptr, &kReal32Lim}, "1e39", true, kArgReal32, 0, 3.4028234663852886e38},
        {{kArgLimits, nullptr, &kReal32Lim}, "0.1", true, kArgReal32, 0, static_cast<double>(0.1f)},
        {{kArgLimits, nullptr, &kReal64Lim}, "2.5", true, kArgReal64, 0, 1.0},
        {{kArgLimits, nullptr, &kReal64Lim}, "-1e999", false, 0, 0, 0},
        {{kArgInt32}, "4000000000", true, kArgInt32, INT32_MAX, 0},
        {{kArgInt64}, "-42", true, kArgInt64, -42, 0},
        {{kArgReal32}, "-1e39", true, kArgReal32, 0, -3.4028234663852886e38},
        {{kArgReal64}, "1e999", false, 0, 0, 0},
        {{kArgReal64}, "nan", false, 0, 0, 0}, {{kArgReal64}, "0.125", true, kArgReal64, 0, 0.125},
        {{99}, "1", false, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CommandRecord r{"t", 0, "t\0", nullptr, 1, &c.spec, nullptr, 0};
        CommandArgList list;
        EXPECT_EQ(CommandParseArgs({c.word}, r, &list), c.produced) << c.word;
        if (!c.produced || list.size() != 1) continue;
        if (c.kind == kArgText) { EXPECT_EQ(list[0].text, c.word); }
        EXPECT_EQ(std::tuple(list[0].kind, list[0].intValue, list[0].realValue),
                  std::tuple(c.kind, c.i, c.r)) << c.word;
    }
    // A refused word still uses up its position; words past the count are not read.
    const CommandArgSpec two[] = {{kArgReal64}, {kArgInt32}};
    CommandRecord r2{"t", 0, "t\0", nullptr, 2, two, nullptr, 0};
    CommandArgList list;
    ASSERT_TRUE(CommandParseArgs({"1e999", "7", "8"}, r2, &list));
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(std::pair(list[0].kind, list[0].intValue),
              std::pair(uint32_t{kArgInt32}, int64_t{7}));
    // Any number of words: at most 1024; a word too long for a path gives nothing.
    CommandRecord any{"t", 0, "t\0", nullptr, -1, nullptr, nullptr, 0};
    std::vector<std::string> many(1030, "w");
    many[0] = std::string(kMaxArgWordLength + 1, 'x');
    ASSERT_TRUE(CommandParseArgs(many, any, &list));
    EXPECT_EQ(list.size(), 1023u);
    CommandRecord none{"t", 0, "t\0", nullptr, 0, nullptr, nullptr, 0};
    EXPECT_FALSE(CommandParseArgs({"a"}, none, &list) || CommandParseArgs({}, any, &list));
    EXPECT_EQ(log.Text(),
              "CMDLINE::CmdParsingArg(): none arg...\n"   // maybe
              "CMDLINE::CmdParsingArg(): none arg...\n"   // -1e999
              "CMDLINE::CmdParsingArg(): none arg...\n"   // 1e999
              "CMDLINE::CmdParsingArg(): none arg...\n"   // nan
              "CMDLINE::CmdParsingArg(): none arg...\n"   // type 99
              "CMDLINE:ParsingArg(): word owercount\n");
}

// The vocabulary listing: every kind of record.
bool Nothing(const CommandRecord*, const CommandArgList*, CommandContext*) { return true; }
const CommandArgSpec kListSpecs[] = {{kArgInt32}, {kArgInt64}, {kArgReal64}, {kArgText},
                                     {kArgWordList, kWords}};
const CommandWord kEmptyWord[] = {{"\0", 4, 0}, {nullptr, 0, 0}};
const CommandArgSpec kAnySpec[] = {{kArgWordList, kEmptyWord}};
CommandRecord gL1{"Empty names", 0, "\0", &Nothing, 0, nullptr, nullptr, 0};
CommandRecord gL2{"Typed", 0, "typed\0ty\0", &Nothing, 5, kListSpecs, nullptr, 0};
CommandRecord gL3{"Two", 0, "two\0", &Nothing, 2, nullptr, nullptr, 0};
CommandRecord gL4{"Any word", 0, "anyw\0", &Nothing, 1, kAnySpec, nullptr, 0};
CommandRecord* const kListRecords[] = {&gL1, &gL2, &gL3, &gL4, nullptr};
const CommandInterface kListIface{nullptr, "L", "List Iface", kListRecords};
const CommandInterface kHidden{nullptr, "H", nullptr, kListRecords};  // no display name: not listed

TEST(CommandList, TextOfEveryRecordKind) {
    CommandRegistry registry;
    CommandOwner owner;
    CommandRegistryAdd(registry, owner, kListIface);
    CommandRegistryAdd(registry, owner, kHidden);
    const std::string rule(61, '-');
    std::string expected = "KEY NODE:\n\t\t\tList Iface:\n" + rule + "\n" +
                           "Empty names:\n\tKey: -\n\tprog - < name1 ...\n" + rule + "\n" +
                           "Typed:\n\tKey: [-typed] [-ty]\n\tCount arg: 5\n"
                           "\tArg1 type int\n\tArg2 type int64\n\tArg3 type real\n\tArg4 type \n"
                           "\tArg5 type string:   [on] [yes]  Or  [off]\n"
                           "\tprog -typed arg1 arg2 arg3 arg4 arg5\n" + rule + "\n" +
                           "Two:\n\tKey: [-two]\n\tCount arg: 2\n\tprog -two arg1 arg2\n" + rule + "\n" +
                           "Any word:\n\tKey: [-anyw]\n\tCount arg: 1\n\tArg1 type string:  any\n"
                           "\tprog -anyw arg1\n" + rule + "\nEND NODE\n";
    EXPECT_EQ(CommandListText(registry, "prog"), expected);
}

TEST(CommandList, KeylistWritesTheProgramFoldersList) {
    LogCapture log;
    testing_util::TempFolder folder;
    const std::string& root = folder.Path();
    testing_util::ScopedEnv runtime("XDG_RUNTIME_DIR", root);
    mkdir((root + "/bin").c_str(), 0700);
    {
        AppObject app;
        app.SetProgramPath(root + "/bin/orva");
        app.SetAppDataFolder(root);
        ASSERT_TRUE(app.Init());
        testing_util::WriteText(root + "/bin/cmdlist.txt", "old");
        app.DispatchCommandLine({"--KEY"});
        std::string expected = ReadText(ORVA_SOURCE_DIR "/tests/framework/cmdlist_golden.txt");
        // The golden list holds the user interface's interface too: cut it off.
        expected = expected.substr(0, expected.find("\t\t\tProjects Iface:")) + "END NODE\n";
        EXPECT_EQ(ReadText(root + "/bin/cmdlist.txt"), expected);
        // The list replaced keeps the old one's permissions; a new one gets 0666 less the umask.
        struct stat st {};
        const mode_t saved = umask(022);
        ASSERT_EQ(chmod((root + "/bin/cmdlist.txt").c_str(), 0640), 0);
        EXPECT_TRUE(WriteCommandList(app.Registry(), root + "/bin", "orva"));
        EXPECT_TRUE(stat((root + "/bin/cmdlist.txt").c_str(), &st) == 0 && (st.st_mode & 07777) == 0640);
        std::remove((root + "/bin/cmdlist.txt").c_str());
        EXPECT_TRUE(WriteCommandList(app.Registry(), root + "/bin", "orva"));
        EXPECT_TRUE(stat((root + "/bin/cmdlist.txt").c_str(), &st) == 0 && (st.st_mode & 07777) == 0644);
        umask(saved);
        EXPECT_FALSE(WriteCommandList(app.Registry(), root + "/missing", "orva") ||
                     WriteCommandList(app.Registry(), "", "orva"));
        app.Shutdown();
    }
    EXPECT_EQ(std::system(("test -z \"$(ls '" + root + "/bin' | grep -v '^cmdlist.txt$')\"").c_str()), 0)
        << "temporary files left behind";
}

}  // namespace
}  // namespace orva
