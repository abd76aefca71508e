#include "framework/command_registry.h"

#include <atomic>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>
#include <vector>

#include "common/disk_file.h"
#include "common/log.h"

namespace orva {

namespace {

constexpr int kMaxSpellings = 1024;
constexpr size_t kListTextMax = 100;
const char kRule[] = "-------------------------------------------------------------\n";  // 61 dashes

// Calls fn(spelling) for each spelling of a NUL-separated block, at most `limit` of them;
// stops early when fn returns true, and returns that.
template <class Fn>
bool ForEachSpelling(const char* block, int limit, Fn fn) {
    if (block == nullptr) return false;
    for (int i = 0; i < limit && *block; ++i) {
        if (fn(block)) return true;
        block += std::strlen(block) + 1;
    }
    return false;
}

bool HasNoNames(const CommandRecord& r) { return r.names == nullptr || r.names[0] == '\0'; }

// The command name of a word of the form "-name" or "--name", or nullptr.
const char* DashedName(const std::string& word) {
    if (word.size() < 2 || word[0] != '-') return nullptr;
    const char* name = word.c_str() + 1;
    if (*name == '-') ++name;
    return *name ? name : nullptr;
}

// strtoll that saturates, with the standard library's leading-blank and sign rules.
int64_t ParseInteger(const std::string& word) {
    errno = 0;
    long long v = std::strtoll(word.c_str(), nullptr, 10);
    return static_cast<int64_t>(v);  // ERANGE already gives LLONG_MIN/MAX
}

int64_t ClampInt32(int64_t v) {
    if (v < INT32_MIN) return INT32_MIN;
    if (v > INT32_MAX) return INT32_MAX;
    return v;
}

// A real by strtod; false for an overflow (plus or minus HUGE_VAL) and for NaN.
bool ParseReal(const std::string& word, double* out) {
    double v = std::strtod(word.c_str(), nullptr);
    if (std::isnan(v) || v == HUGE_VAL || v == -HUGE_VAL) return false;
    *out = v;
    return true;
}

double ClampFloatRange(double v) {
    if (v < -FLT_MAX) return -FLT_MAX;
    if (v > FLT_MAX) return FLT_MAX;
    return v;
}

// The value as the nearest 32-bit real, held in a double.
double AsFloat(double v) {
    if (std::isnan(v)) return 0;
    return static_cast<float>(ClampFloatRange(v));
}

template <class T>
T ClampTo(T v, T lo, T hi) {
    if (v < lo) return lo;
    if (v > hi) return hi;
    return v;
}

// Converts one word as its argument description asks; false when it gives no argument.
bool ConvertWord(const std::string& word, const CommandArgSpec* spec, CommandArg* arg) {
    uint32_t type = spec ? spec->type : kArgText;
    double real = 0;
    switch (type) {
        case kArgText:
            if (word.size() > kMaxArgWordLength) return false;
            arg->kind = kArgText;
            arg->text = word;
            return true;
        case kArgWordList:
            for (const CommandWord* w = spec->words; w && w->words; ++w) {
                bool hit = ForEachSpelling(w->words, kMaxSpellings,
                                           [&](const char* s) { return strcasecmp(s, word.c_str()) == 0; });
                if (hit) {
                    arg->kind = w->kind;
                    arg->intValue = w->value;
                    return true;
                }
            }
            return false;
        case kArgLimits: {
            const CommandLimits* lim = spec->limits;
            if (lim == nullptr) return false;
            arg->kind = lim->subType;
            switch (lim->subType) {
                case kArgInt32:
                    arg->intValue = ClampTo<int64_t>(ClampInt32(ParseInteger(word)), ClampInt32(lim->intMin),
                                                     ClampInt32(lim->intMax));
                    return true;
                case kArgInt64:
                    arg->intValue = ClampTo<int64_t>(ParseInteger(word), lim->intMin, lim->intMax);
                    return true;
                case kArgReal32:
                    if (!ParseReal(word, &real)) return false;
                    real = ClampTo(ClampFloatRange(real), AsFloat(lim->realMin), AsFloat(lim->realMax));
                    arg->realValue = static_cast<float>(real);
                    return true;
                case kArgReal64:
                    if (!ParseReal(word, &real)) return false;
                    arg->realValue = ClampTo(real, lim->realMin, lim->realMax);
                    return true;
                default:
                    return false;
            }
        }
        case kArgInt32:
            arg->kind = kArgInt32;
            arg->intValue = ClampInt32(ParseInteger(word));
            return true;
        case kArgInt64:
            arg->kind = kArgInt64;
            arg->intValue = ParseInteger(word);
            return true;
        case kArgReal32:
            if (!ParseReal(word, &real)) return false;
            arg->kind = kArgReal32;
            arg->realValue = static_cast<float>(ClampFloatRange(real));
            return true;
        case kArgReal64:
            if (!ParseReal(word, &real)) return false;
            arg->kind = kArgReal64;
            arg->realValue = real;
            return true;
        default:
            return false;
    }
}

std::atomic<int> gCommandFailures{0};

// Matches the item against the record and calls the handler. True when the item
// matched (whether or not the handler succeeded); *after holds the context the handler
// left behind.
bool CommandCall(CommandRecord* record, const CommandItem& item, const CommandContext& context,
                 CommandContext* after, bool* called) {
    *called = false;
    if (!CommandMatches(*record, item)) return false;
    const char* desc = record->description ? record->description : "";
    if (record->argCount != 0 && item.args.empty()) {
        LogPrintf("Line %d error: empty arg: cmd [%s]:\tcount args %d %s", 1, desc, record->argCount,
                  record->argCount == -1 ? "Any" : "");
        ++gCommandFailures;
        return true;
    }
    CommandArgList list;
    bool haveList = record->argCount != 0 && CommandParseArgs(item.args, *record, &list);
    *after = context;
    *called = true;
    if (record->handler == nullptr || !record->handler(record, haveList ? &list : nullptr, after)) {
        LogPrintf("Line %d error: call cmd [%s]", 1, desc);
        ++gCommandFailures;
        *called = false;
    }
    return true;
}

// The state of one run of a line.
struct LineRun {
    const std::vector<CommandItem>& items;
    int processed = 0;   // items taken from the line, over all owners of this run
    bool tooBig = false;
};

// Runs items from `pos` against the context's owner. With `stopAtUnmatched`, stops at the
// first item that no record matches and returns its position; otherwise runs to the end.
size_t RunItems(LineRun& run, size_t pos, const CommandContext& context, bool stopAtUnmatched) {
    while (pos < run.items.size()) {
        if (run.processed >= kMaxLineItems) {
            if (!run.tooBig) LogPrintf("%s", "Line error: is big");
            run.tooBig = true;
            return run.items.size();
        }
        ++run.processed;
        const CommandItem& item = run.items[pos];
        ++pos;
        if (!item.hasName && item.args.empty()) continue;
        bool matched = false;
        // The list is copied: a handler may register commands for this very owner.
        std::vector<CommandRecord*> records = context.owner->commands;
        for (CommandRecord* record : records) {
            if (record == nullptr || record->disabled) continue;
            CommandContext after;
            bool called = false;
            if (!CommandCall(record, item, context, &after, &called)) continue;
            matched = true;
            if (called && (record->flags & kCommandFollowOwner) && after.owner != nullptr &&
                after.owner != context.owner && pos < run.items.size())
                pos = RunItems(run, pos, after, true);
            break;
        }
        if (!matched && stopAtUnmatched) return pos - 1;
    }
    return pos;
}

}  // namespace

bool CommandRegistry::Contains(const CommandInterface* iface) const {
    for (const CommandInterface* i : interfaces_)
        if (i == iface) return true;
    return false;
}

bool CommandRegistry::IsCommandName(const std::string& name) const {
    for (const CommandInterface* iface : interfaces_) {
        for (CommandRecord* const* r = iface->records; r && *r; ++r) {
            if (ForEachSpelling((*r)->names, kMaxSpellings,
                                [&](const char* s) { return strcasecmp(s, name.c_str()) == 0; }))
                return true;
        }
    }
    return false;
}

bool CommandRegistry::TakesArguments(const std::string& name) const {
    for (const CommandInterface* iface : interfaces_) {
        for (CommandRecord* const* r = iface->records; r && *r; ++r) {
            if ((*r)->argCount != 0 &&
                ForEachSpelling((*r)->names, kMaxSpellings,
                                [&](const char* s) { return strcasecmp(s, name.c_str()) == 0; }))
                return true;
        }
    }
    return false;
}

void CommandRegistry::Add(const CommandInterface* iface) {
    if (iface && !Contains(iface)) interfaces_.push_back(iface);
}

void CommandRegistryAdd(CommandRegistry& registry, CommandOwner& owner, const CommandInterface& iface) {
    registry.Add(&iface);
    for (CommandRecord* const* r = iface.records; r && *r; ++r) owner.commands.push_back(*r);
}

std::vector<CommandItem> SplitCommandLine(const CommandRegistry& registry,
                                          const std::vector<std::string>& words) {
    std::vector<CommandItem> items;
    for (const std::string& word : words) {
        if (word.empty()) continue;
        const char* name = DashedName(word);
        if (name && registry.IsCommandName(name)) {
            CommandItem item;
            item.hasName = true;
            item.name = name;
            items.push_back(std::move(item));
            continue;
        }
        if (items.empty()) items.emplace_back();
        items.back().args.push_back(word);
    }
    return items;
}

int CommandFailureCount() { return gCommandFailures.load(); }

std::vector<std::pair<std::string, std::string>> UnusedCommandWords(const CommandRegistry& registry,
                                                                    const std::vector<std::string>& words) {
    std::vector<std::pair<std::string, std::string>> unused;
    for (const CommandItem& item : SplitCommandLine(registry, words)) {
        if (!item.hasName || registry.TakesArguments(item.name)) continue;
        for (const std::string& word : item.args) unused.emplace_back(item.name, word);
    }
    return unused;
}

bool CommandParseArgs(const std::vector<std::string>& words, const CommandRecord& record,
                      CommandArgList* list) {
    list->clear();
    if (words.empty() || record.argCount == 0) return false;
    size_t used = 0;
    for (const std::string& word : words) {
        if (record.argCount > 0 && used == static_cast<size_t>(record.argCount)) break;
        if (used == kMaxArgWords) {
            LogPrintf("%s", "CMDLINE:ParsingArg(): word owercount");
            break;
        }
        const CommandArgSpec* spec = (record.specs && record.argCount > 0) ? &record.specs[used] : nullptr;
        ++used;
        CommandArg arg;
        if (ConvertWord(word, spec, &arg)) list->push_back(std::move(arg));
    }
    if (list->empty()) {
        LogPrintf("%s", "CMDLINE::CmdParsingArg(): none arg...");
        return false;
    }
    return true;
}

bool CommandMatches(const CommandRecord& record, const CommandItem& item) {
    if (!item.hasName) return HasNoNames(record);
    return ForEachSpelling(record.names, kMaxSpellings,
                           [&](const char* s) { return strcasecmp(s, item.name.c_str()) == 0; });
}

void CommandLineDispatch(const CommandRegistry& registry, const std::vector<std::string>& words,
                         const std::vector<CommandContext>& contexts) {
    std::vector<CommandItem> items = SplitCommandLine(registry, words);
    for (const CommandContext& context : contexts) {
        if (context.owner == nullptr || context.owner->commands.empty()) continue;
        LineRun run{items};
        RunItems(run, 0, context, false);
    }
}

bool CommandLineDispatchInterface(const CommandRegistry& registry, CommandRecord* record,
                                  CommandContext context, const std::vector<std::string>& words) {
    if (record == nullptr) return false;
    std::vector<CommandItem> items = SplitCommandLine(registry, words);
    int count = 0;
    for (const CommandItem& item : items) {
        if (count++ >= kMaxLineItems) {
            LogPrintf("%s", "Line error: is big?");
            return false;
        }
        if (!item.hasName && item.args.empty()) continue;
        CommandContext after;
        bool called = false;
        if (CommandCall(record, item, context, &after, &called)) return true;
    }
    return false;
}

std::string CommandListText(const CommandRegistry& registry, const std::string& program) {
    std::string out = "KEY NODE:\n";
    auto cut = [](const char* s) { return std::string(s ? s : "").substr(0, kListTextMax); };
    for (const CommandInterface* iface : registry.Interfaces()) {
        if (iface->records == nullptr || iface->records[0] == nullptr || iface->displayName == nullptr)
            continue;
        out += "\t\t\t";
        out += iface->displayName;
        out += ":\n";
        out += kRule;
        for (CommandRecord* const* rp = iface->records; *rp; ++rp) {
            const CommandRecord& r = **rp;
            out += cut(r.description);
            out += ":\n\tKey:";
            if (r.names == nullptr) {
                out += " [none]\n\t" + program + " name1 ...\n";
            } else if (r.names[0] == '\0') {
                out += " -\n\t" + program + " - < name1 ...\n";
            } else {
                ForEachSpelling(r.names, 100, [&](const char* s) {
                    out += " [-" + cut(s) + "]";
                    return false;
                });
                out += "\n\tCount arg:";
                if (r.argCount == -1)
                    out += " any\n";
                else if (r.argCount == 0)
                    out += " [none]\n";
                else
                    out += " " + std::to_string(r.argCount) + "\n";
                int positions = r.argCount > 100 ? 100 : r.argCount;
                for (int i = 0; r.specs && i < positions; ++i) {
                    out += "\tArg" + std::to_string(i + 1) + " type ";
                    const CommandArgSpec& spec = r.specs[i];
                    switch (spec.type) {
                        case kArgWordList: {
                            out += "string: ";
                            if (spec.words == nullptr || spec.words->words == nullptr) out += "any";
                            for (const CommandWord* w = spec.words; w && w->words; ++w) {
                                if (w != spec.words) out += "  Or";
                                out += " ";
                                if (w->words[0] == '\0') out += "any";
                                ForEachSpelling(w->words, 100, [&](const char* s) {
                                    out += " [" + cut(s) + "]";
                                    return false;
                                });
                            }
                            break;
                        }
                        case kArgInt32: out += "int"; break;
                        case kArgInt64: out += "int64"; break;
                        case kArgReal64: out += "real"; break;
                        default: break;
                    }
                    out += "\n";
                }
                out += "\t" + program + " -" + cut(r.names);
                if (r.argCount == -1) {
                    out += " name1 ...\n";
                } else {
                    for (int i = 0; i < positions; ++i) out += " arg" + std::to_string(i + 1);
                    out += "\n";
                }
            }
            out += kRule;
        }
    }
    out += "END NODE\n";
    return out;
}

namespace {

// cmdlist.txt, written through a temporary copy that replaces the old list only when whole.
class CommandListFile : public DiskFile {
public:
    CommandListFile(const char* path, std::string text)
        : DiskFile(path, kDiskWrite | kDiskText | kDiskTemp), text_(std::move(text)) {}
    bool Load() override { return false; }
    bool Save() override {
        return std::fwrite(text_.data(), 1, text_.size(), Stream()) == text_.size() && std::fflush(Stream()) == 0;
    }

private:
    std::string text_;
};

}  // namespace

bool WriteCommandList(const CommandRegistry& registry, const std::string& folder, const std::string& program) {
    if (folder.empty()) return false;
    std::string path = folder;
    if (path.back() != '/') path += '/';
    path += "cmdlist.txt";
    CommandListFile file(path.c_str(), CommandListText(registry, program));
    if (file.SaveFile()) return true;
    file.Discard();
    return false;
}

}  // namespace orva
