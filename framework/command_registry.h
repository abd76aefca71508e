#pragma once
// Commands: named records with typed arguments and a handler, grouped into
// interfaces, registered for an owner (the application object, the user
// interface), and the command line that is run against them.
//
// A command line is a list of argv words. A word made of "-" or "--" and the
// name of a registered command (case-insensitive) begins an item; every other
// word is an argument of the item before it, one word each, never split again.
// Words before the first command name form an item without a name, which the
// records without names take ("orva a.fits b.fits" opens both files).
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace orva {

struct ComponentId;
struct CommandRecord;
class CommandRegistry;

// Argument types of a position.
enum CommandArgType : uint32_t {
    kArgText = 1,
    kArgWordList = 2,
    kArgLimits = 3,
    kArgInt32 = 4,
    kArgInt64 = 5,
    kArgReal32 = 6,
    kArgReal64 = 7,
};

// One entry of a word list: its spellings (NUL-separated, ended by an empty one), the
// argument kind it produces and its value. A list ends with an entry whose words are null.
struct CommandWord {
    const char* words;
    uint32_t kind;
    int64_t value;
};

// Limits of a number (kArgLimits): sub-type kArgInt32 or kArgInt64 use the integer pair,
// kArgReal32 or kArgReal64 the real pair.
struct CommandLimits {
    uint32_t subType;
    int64_t intMin, intMax;
    double realMin, realMax;
};

struct CommandArgSpec {
    uint32_t type;
    const CommandWord* words = nullptr;     // kArgWordList
    const CommandLimits* limits = nullptr;  // kArgLimits
};

// One parsed argument. kind: kArgText, kArgInt32, kArgInt64, kArgReal32, kArgReal64, or
// the kind of a list word. Integers (and list values) are in intValue, reals in realValue
// (a 32-bit real is exact in a double).
struct CommandArg {
    uint32_t kind = 0;
    std::string text;
    int64_t intValue = 0;
    double realValue = 0;
};
using CommandArgList = std::vector<CommandArg>;

// An object that carries a list of commands.
class CommandOwner {
public:
    virtual ~CommandOwner() = default;
    std::vector<CommandRecord*> commands;
};

// What a handler is called with: the owner whose list is being run and its user data
// (for the application: the AppObject and its MainSettings). A handler of a record with
// kCommandFollowOwner may replace the owner: the rest of the line then runs against the
// new owner's commands.
struct CommandContext {
    CommandOwner* owner = nullptr;
    void* userData = nullptr;
};

// Returns false to refuse (logged as a failed call).
using CommandHandler = bool (*)(const CommandRecord* record, const CommandArgList* args,
                                CommandContext* context);

constexpr uint32_t kCommandFollowOwner = 1;

struct CommandRecord {
    const char* description;
    int disabled;  // non-zero: skipped by the line runs, and the handlers refuse
    // NUL-separated spellings ended by an empty one (first the name, then aliases);
    // null or empty: the record takes the item without a name.
    const char* names;
    CommandHandler handler;
    int argCount;  // 0 none, n > 0 exactly the first n words, -1 any number
    // null: every argument is text; else one per position (argCount of them).
    const CommandArgSpec* specs;
    void* userData;
    uint32_t flags;
};

struct CommandInterface {
    const ComponentId* id;
    const char* shortName;
    const char* displayName;
    CommandRecord* const* records;  // null-terminated
};

// The registered interfaces, in registration order.
class CommandRegistry {
public:
    const std::vector<const CommandInterface*>& Interfaces() const { return interfaces_; }
    bool Contains(const CommandInterface* iface) const;
    // True when `name` (without its dashes) is a spelling of any registered command.
    bool IsCommandName(const std::string& name) const;
    // True when a command spelled `name` takes arguments (false for an unknown name).
    bool TakesArguments(const std::string& name) const;
    void Add(const CommandInterface* iface);
    void Clear() { interfaces_.clear(); }

private:
    std::vector<const CommandInterface*> interfaces_;
};

// Registers the interface (once per registry) and appends its commands to the owner's
// list (every time: registering twice lists the commands twice).
void CommandRegistryAdd(CommandRegistry& registry, CommandOwner& owner, const CommandInterface& iface);

// Limits of one line.
constexpr int kMaxLineItems = 1024;
constexpr int kMaxArgWords = 1024;
// The longest argument word kept (a path fits); longer words produce no argument.
constexpr size_t kMaxArgWordLength = 4095;

// One item of a line.
struct CommandItem {
    bool hasName = false;
    std::string name;  // without the dashes
    std::vector<std::string> args;
};

// Splits argv words into items by the names of the registry. Empty words are dropped.
std::vector<CommandItem> SplitCommandLine(const CommandRegistry& registry,
                                          const std::vector<std::string>& words);

// Converts the argument words of an item by the record's specifications. False (list
// empty) when there are no words, the record takes none, or no word gave an argument.
bool CommandParseArgs(const std::vector<std::string>& words, const CommandRecord& record,
                      CommandArgList* list);

// True when the record's spellings hold `name` (case-insensitive); a record without
// names matches only an item without a name.
bool CommandMatches(const CommandRecord& record, const CommandItem& item);

// How many commands of the lines run so far failed: a handler refused, or a command that
// needs arguments was given none (each also logs its "Line 1 error" line).
int CommandFailureCount();

// The words of a line that a command taking no arguments would receive: they are not
// used, so the caller can say so. Each entry is {the command's name as typed, the word}.
std::vector<std::pair<std::string, std::string>> UnusedCommandWords(const CommandRegistry& registry,
                                                                    const std::vector<std::string>& words);

// Runs the line against every context in turn, each from the start (an owner with no
// commands is skipped).
void CommandLineDispatch(const CommandRegistry& registry, const std::vector<std::string>& words,
                         const std::vector<CommandContext>& contexts);
// Runs the line against one record and stops after the first item that matches it.
// True when an item matched.
bool CommandLineDispatchInterface(const CommandRegistry& registry, CommandRecord* record,
                                  CommandContext context, const std::vector<std::string>& words);

// The text of cmdlist.txt for the registry; `program` is the program's name as typed.
std::string CommandListText(const CommandRegistry& registry, const std::string& program);
// Writes cmdlist.txt into `folder` through a temporary file and a rename; false when the
// folder is empty or the file cannot be written (an older list then stays whole).
bool WriteCommandList(const CommandRegistry& registry, const std::string& folder,
                      const std::string& program);

}  // namespace orva
