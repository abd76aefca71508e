// The command line: any argv words split into items and run against the commands of
// two owners, with records of every argument type (text, word lists, limits of the four
// number types, the four number types, an unknown type) and every argument count, one
// of them handing the rest of the line to another owner; and the argument parser on its
// own for each record. Input: the words, separated by NUL bytes.
//
// What must hold: every argument a handler receives has the kind of its position and
// lies within its limits (32-bit integers within 32 bits, 32-bit reals within their
// range unless not a number); a record that takes no arguments is never given any.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/command_registry.h"
#include "fuzz/text_fuzz_support.h"

namespace {

using namespace orva;

const CommandWord kWords[] = {{"disable\0off\0", kArgInt32, 0}, {"enable\0on\0", kArgInt32, 1},
                              {"big\0", kArgInt64, INT64_MAX}, {nullptr, 0, 0}};
const CommandLimits kInt32Limits{kArgInt32, -5, 5, 0, 0};
const CommandLimits kInt64Limits{kArgInt64, -1000000000000, 1000000000000, 0, 0};
const CommandLimits kReal32Limits{kArgReal32, 0, 0, -1.5, 2.5};
const CommandLimits kReal64Limits{kArgReal64, 0, 0, -1e300, 1e300};
const CommandLimits kUnknownLimits{9, 0, 0, 0, 0};

const CommandArgSpec kSpecs[] = {
    {kArgText},
    {kArgWordList, kWords},
    {kArgLimits, nullptr, &kInt32Limits},
    {kArgLimits, nullptr, &kInt64Limits},
    {kArgLimits, nullptr, &kReal32Limits},
    {kArgLimits, nullptr, &kReal64Limits},
    {kArgLimits, nullptr, &kUnknownLimits},
    {kArgInt32},
    {kArgInt64},
    {kArgReal32},
    {kArgReal64},
    {12},
};
constexpr int kSpecCount = sizeof kSpecs / sizeof kSpecs[0];

// Checks what a record was given against its specifications.
void CheckArgs(const CommandRecord* record, const CommandArgList* args) {
    if (args == nullptr) return;
    fuzz::Require(record->argCount != 0, "a record without arguments is given none");
    fuzz::Require(!args->empty(), "an argument list is not empty");
    fuzz::Require(record->argCount < 0 || args->size() <= static_cast<size_t>(record->argCount),
                  "no more arguments than the record takes");
    if (record->specs == nullptr) {
        for (const CommandArg& a : *args)
            fuzz::Require(a.kind == kArgText, "arguments without specifications are text");
        return;
    }
    // Records that take one type at every position keep their limits.
    const CommandLimits* limits =
        record->argCount != 2 && record->specs[0].type == kArgLimits ? record->specs[0].limits : nullptr;
    for (const CommandArg& a : *args) {
        if (limits != nullptr && (a.kind == kArgInt32 || a.kind == kArgInt64))
            fuzz::Require(a.intValue >= limits->intMin && a.intValue <= limits->intMax, "an integer keeps its limits");
        if (limits != nullptr && (a.kind == kArgReal32 || a.kind == kArgReal64) && !std::isnan(a.realValue))
            fuzz::Require(a.realValue >= limits->realMin && a.realValue <= limits->realMax, "a real keeps its limits");
        switch (a.kind) {
            case kArgText: break;
            case kArgInt32:
                fuzz::Require(a.intValue >= INT32_MIN && a.intValue <= INT32_MAX, "a 32-bit integer fits");
                break;
            case kArgInt64: break;
            case kArgReal32:
                fuzz::Require(std::isnan(a.realValue) || std::fabs(a.realValue) <= 3.4028234663852886e38,
                              "a 32-bit real fits");
                fuzz::Require(std::isnan(a.realValue) ||
                                  static_cast<double>(static_cast<float>(a.realValue)) == a.realValue,
                              "a 32-bit real is one");
                break;
            case kArgReal64: break;
            default: fuzz::Require(false, "an argument has a kind");
        }
    }
}

bool Handler(const CommandRecord* record, const CommandArgList* args, CommandContext*) {
    CheckArgs(record, args);
    return args != nullptr || record->argCount == 0;
}

CommandOwner gOther;
bool Switch(const CommandRecord* record, const CommandArgList* args, CommandContext* context) {
    CheckArgs(record, args);
    context->owner = &gOther;
    return true;
}

// One record per argument kind (taking that kind at every position, any number of
// them), records taking exactly one, two and no argument, texts, a bare record and
// the owner switch.
std::vector<CommandRecord> MakeRecords() {
    static std::vector<std::vector<CommandArgSpec>> specs;
    static std::vector<std::string> names;
    std::vector<CommandRecord> records;
    for (int i = 0; i < kSpecCount; ++i) {
        specs.emplace_back(1024, kSpecs[i]);
        const std::string n = std::to_string(i);
        names.push_back("t" + n + std::string(1, '\0') + "type" + n + std::string(1, '\0'));
    }
    for (int i = 0; i < kSpecCount; ++i)
        records.push_back({"typed", 0, names[i].c_str(), &Handler, i % 3 == 0 ? 1 : -1, specs[i].data(), nullptr, 0});
    static const CommandArgSpec kPair[] = {kSpecs[4], kSpecs[2]};
    records.push_back({"pair", 0, "pair\0p\0", &Handler, 2, kPair, nullptr, 0});
    records.push_back({"none", 0, "none\0", &Handler, 0, nullptr, nullptr, 0});
    records.push_back({"texts", 0, "texts\0", &Handler, -1, nullptr, nullptr, 0});
    records.push_back({"off", 1, "off\0", &Handler, -1, nullptr, nullptr, 0});
    records.push_back({"switch", 0, "switch\0sw\0", &Switch, 0, nullptr, nullptr, kCommandFollowOwner});
    records.push_back({"bare", 0, nullptr, &Handler, -1, nullptr, nullptr, 0});
    return records;
}

struct Registry {
    std::vector<CommandRecord> records = MakeRecords();
    std::vector<CommandRecord*> first, second;
    CommandInterface a{}, b{};
    CommandRegistry registry;
    CommandOwner owner;
    Registry() {
        for (size_t i = 0; i < records.size(); ++i) (i % 2 ? second : first).push_back(&records[i]);
        first.push_back(nullptr);
        second.push_back(nullptr);
        a = {nullptr, "A", "A Iface", first.data()};
        b = {nullptr, "B", "B Iface", second.data()};
        CommandRegistryAdd(registry, owner, a);
        CommandRegistryAdd(registry, gOther, b);
        CommandRegistryAdd(registry, gOther, a);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Registry r;
    fuzz::InputParts in{data, size};
    std::vector<std::string> words;
    while (in.n > 0 && words.size() < 2100) words.push_back(in.Text(0, 5000));

    const std::vector<CommandItem> items = SplitCommandLine(r.registry, words);
    size_t argWords = 0;
    for (const CommandItem& item : items) {
        fuzz::Require(item.hasName || !item.args.empty(), "an item has a name or arguments");
        if (item.hasName) fuzz::Require(r.registry.IsCommandName(item.name), "an item's name is a command");
        argWords += item.args.size();
    }
    fuzz::Require(argWords <= words.size(), "items hold no more words than the line");

    CommandLineDispatch(r.registry, words, {CommandContext{&r.owner, nullptr}, CommandContext{&gOther, nullptr}});
    CommandLineDispatchInterface(r.registry, &r.records[0], CommandContext{&r.owner, nullptr}, words);
    for (CommandRecord& record : r.records) {
        CommandArgList list;
        if (CommandParseArgs(words, record, &list)) CheckArgs(&record, &list);
        else fuzz::Require(list.empty(), "a failed parse leaves no arguments");
    }
    return 0;
}
