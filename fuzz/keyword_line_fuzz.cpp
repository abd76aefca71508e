// Keyword lines against the program's real key tables: the orva.cfg main section, the
// colour section, the reduction presets and the three service-file tables, through
// ParseKeyValueLine (several statements on a line) and DispatchKeyValue (one
// statement, the value found after the key); and the quoted-value helpers.
// Input: a table byte, then the line.
//
// What must hold: the counts answered agree with each other; every helper keeps within
// the text and answers a length that fits it; nothing the handlers store leaks.
#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "framework/keyword_table.h"
#include "framework/main_settings.h"
#include "fuzz/text_fuzz_support.h"
#include "io/service_description.h"
#include "reduction/reduction_preset.h"
#include "transform/color_settings.h"

namespace {

using namespace orva;

// Points the state at table `kind` with a fresh record; the records live as long as this.
struct Target {
    MainSettings main;
    ColorSection colour;
    ReductionOptions reduction;
    ServiceDescription description;
    TextSplit split;
    FsKeyTarget service{&description, &split};
    bool Select(ParseState* state, int kind) {
        switch (kind) {
            case 0: state->table = &MainSettingsTable(); state->context = &main; return true;
            case 1: state->table = &ColorKeywordTable(); state->context = &colour; return true;
            case 2: state->table = &ReductionKeyTable(); state->context = &reduction; return true;
            default: return SelectFsKeywordTable(state, &service, kind - 2);
        }
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::InputParts in{data, size};
    const uint8_t options = in.Byte();
    const int kind = options % 6;
    const std::string text = in.Rest();
    const size_t length = std::strlen(text.c_str());

    {
        Target target;
        ParseState state;
        uint8_t accepted = 0;
        state.accepted = &accepted;
        state.verbose = (options & 0x80) != 0;
        fuzz::Require(target.Select(&state, kind), "the key tables are prepared");
        std::vector<char> line(text.c_str(), text.c_str() + length + 1);
        int bad = -1;
        const int result = ParseKeyValueLine(&state, line.data(), 7, &bad);
        fuzz::Require(bad >= 0, "the rejected keys are counted");
        fuzz::Require(result > 0 ? accepted == 1 : (result == -1 ? bad > 0 : bad == 0),
                      "the answer agrees with the counts");
    }
    {
        // One statement whose key is the text's leading key characters.
        Target target;
        ParseState state;
        fuzz::Require(target.Select(&state, kind), "the key tables are prepared");
        const char* p = text.c_str();
        size_t n = 0;
        while (n < length && (std::isalnum(static_cast<unsigned char>(p[n])) || p[n] == '_')) ++n;
        state.key = p;
        state.keyLength = static_cast<uint32_t>(n);
        state.line = 1;
        DispatchKeyValue(&state);
    }
    const char* begin = text.c_str();
    for (int skip = 0; skip < 2; ++skip) {
        const char* cursor = begin;
        const int quoted = skip ? QuotedValueSkip(&cursor) : QuotedValueLength(&cursor);
        if (quoted >= 0)
            fuzz::Require(cursor > begin && cursor + quoted <= begin + length, "a quoted value lies in the text");
        else
            fuzz::Require(cursor == begin, "an unquoted text leaves the cursor");
    }
    char* folder = nullptr;
    // A folder, or an empty one written in quotes.
    if (ParseQuotedString(begin, &folder) > 0) fuzz::Require(folder != nullptr, "a folder");
    std::free(folder);
    char* copy = nullptr;
    if (QuotedValueDup(begin, &copy) > 0) fuzz::Require(copy != nullptr && std::strlen(copy) <= length, "a copy");
    std::free(copy);
    std::vector<char> name(begin, begin + length + 1);
    char* cursor = name.data();
    int nameLength = -1;
    const int form = ParseFileNameValue(&cursor, "bad name", 1, nullptr, &nameLength);
    if (form > 0) {
        fuzz::Require(cursor >= name.data() && nameLength > 0 && cursor + nameLength <= name.data() + length,
                      "a file name lies in the text");
        fuzz::Require(std::strlen(cursor) == static_cast<size_t>(nameLength), "a file name is ended in place");
    }
    return 0;
}
