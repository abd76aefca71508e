#include "io/format_registry.h"

#include <cstring>
#include <new>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/formats/binary/raw_reader.h"
#include "io/formats/bmp/bmp_reader.h"
#include "io/formats/binary/raw_writer.h"
#include "io/formats/fits/fits_reader.h"
#include "io/formats/fits/fits_writer.h"
#include "io/formats/jpeg/jpeg_reader.h"
#include "io/formats/spe/spe_reader.h"
#include "io/formats/text/text_reader.h"
#include "io/formats/vector/vector_reader.h"
#include <strings.h>

namespace orva {

namespace {

constexpr int kWalkLimit = 1000;
constexpr int kExtensionLimit = 100;
constexpr size_t kNameLimit = 3068;     // a name may not pass this byte of the entries area
constexpr size_t kPatternLimit = 3069;  // nor a pattern list this one
constexpr size_t kAllPatternLimit = 2047;

// ---- Built-in descriptors --------------------------------------------------------------
// Readers and writers not built yet: their open answers "unsupported" and their write
// fails, so that the open path goes on to the next format.

int OpenNotBuilt(InputSource*) { return kErrUnsupported; }
bool WriteNotBuilt(OutputWriter*) { return false; }

// The image and camera readers, by descriptor name.
FormatOpenFn ImageReaderOpen(const char* name) {
    if (std::strcmp(name, "JPEG") == 0) return &JpegOpen;
    if (std::strcmp(name, "BMP") == 0) return &BmpOpen;
    if (std::strcmp(name, "SPE [4100 bytes HD]") == 0) return &SpeOpen;
    if (std::strcmp(name, "LMA [512 bytes HD]") == 0) return &LmaOpen;
    return nullptr;
}

// The delimited and text table readers, by descriptor name.
FormatOpenFn TextReaderOpen(const char* name) {
    if (std::strcmp(name, "Text") == 0) return &TextOpen;
    if (std::strcmp(name, "DSV") == 0) return &DsvOpen;
    return nullptr;
}

// The program's own vector files, by tag.
FormatOpenFn VectorReaderOpen(const char* tag) {
    if (std::strcmp(tag, "SLISE") == 0) return &SliceOpen;
    if (std::strcmp(tag, "STATIST") == 0) return &StatisticOpen;
    if (std::strcmp(tag, "ORVAOLD") == 0) return &OldVectorOpen;
    return nullptr;
}

FormatDesc Builtin(const char* tag, const char* name, const char* extensions, uint32_t flags,
                   bool info, bool write, uint32_t type, uint32_t allowed) {
    FormatDesc d;
    d.tag = MakeFormatTag(tag);
    d.flags = flags;
    d.name = name;
    d.extensions = extensions;
    const bool fits = std::strcmp(tag, "FITS") == 0;
    const bool binary = std::strcmp(tag, "BINARY") == 0 && std::strcmp(name, "Binary") == 0;
    d.open = fits ? &FitsOpen : binary ? &BinaryOpen : &OpenNotBuilt;
    if (FormatOpenFn own = ImageReaderOpen(name)) d.open = own;
    if (FormatOpenFn text = TextReaderOpen(name)) d.open = text;
    if (FormatOpenFn vector = VectorReaderOpen(tag)) d.open = vector;
    // The information operations read the reader's component that the data set keeps.
    d.info = !info ? nullptr
             : std::strcmp(tag, "JPEG") == 0 ? &FormatInfoTextOf<JpegInfo, &JpegInfoText>
             : std::strcmp(tag, "BMP") == 0  ? &FormatInfoTextOf<BmpInfo, &BmpInfoText>
                                             : nullptr;
    d.write = !write ? nullptr : fits ? &FitsWrite : binary ? &BinaryWrite : &WriteNotBuilt;
    d.defaultType = type;
    d.allowedTypes = allowed;
    return d;
}

constexpr int kBuiltinCount = 12;

// The records as stored, before registration normalises their default types.
const FormatDesc* BuiltinTemplates() {
    static const FormatDesc t[kBuiltinCount] = {
        // Unsigned integers of 16, 32 and 64 bits too: the writer stores them signed with
        // a zero of 2^(n-1), as FITS keeps them.
        Builtin("FITS", "FITS", "fts\0fit\0fits\0mt\0" "200\0", 0x180, false, true, 0x40, 0x2BFA),
        Builtin("JPEG", "JPEG", "jpg\0jpeg\0jpe\0", 0, true, false, 0x101, 0x100),
        Builtin("BMP", "BMP", "bmp\0dib\0rle\0", 0, true, false, 0x101, 0x100),
        Builtin("SLISE", "Slice [Vector]", "slc\0sl\0sli\0slic\0slice\0", 0x201, false, false,
                0x40, 0),
        Builtin("STATIST", "Statistic [Region]", "stc\0st\0sta\0stat\0stati\0statist\0statistic\0",
                0x401, false, false, 0x40, 0),
        Builtin("BINARY", "Text", "txt\0text\0", 0x781, false, false, 0, 0),
        Builtin("DSV", "DSV", "dsv\0", 1, false, false, 0x40, 0),
        Builtin("FITS", "200 [FITS]", "200\0" "100\0", 0, false, true, 0x02, 0x82),
        Builtin("ORVAOLD", "Vector [old version]", "bvc\0bvct\0bvec\0bvect\0bvector\0", 1, false,
                false, 0x102, 0x200),
        Builtin("SPE WINV", "SPE [4100 bytes HD]", "spe\0", 1, false, false, 0x102, 0x200),
        Builtin("SPE WINV", "LMA [512 bytes HD]", "lma\0", 1, false, false, 0x102, 0x200),
        Builtin("BINARY", "Binary", "dat\0data\0bin\0raw\0cut\0bt\0i2\0", 1, false, true, 0x40, 0),
    };
    return t;
}

FormatDesc* Builtins() {
    static FormatDesc records[kBuiltinCount] = {
        BuiltinTemplates()[0], BuiltinTemplates()[1], BuiltinTemplates()[2],
        BuiltinTemplates()[3], BuiltinTemplates()[4], BuiltinTemplates()[5],
        BuiltinTemplates()[6], BuiltinTemplates()[7], BuiltinTemplates()[8],
        BuiltinTemplates()[9], BuiltinTemplates()[10], BuiltinTemplates()[11],
    };
    return records;
}

// No format plug-in is ever loaded.
int LoadIoPlugins(FormatRegistry*, const char*) { return 0; }

// ---- Filter building ---------------------------------------------------------------------

bool BuildFilter(FormatList& list, const FormatNode* head, bool input, uint32_t mask) {
    auto takes = [&](const FormatDesc* d) {
        if (d == nullptr) return false;
        if (input) return d->open != nullptr;
        return d->write != nullptr && (mask == 0 || (d->flags & mask) != 0);
    };
    uint32_t formats = 0, extra = 0;
    int steps = 0;
    for (const FormatNode* n = head; n && steps < kWalkLimit; n = n->next, ++steps) {
        if (!takes(n->desc)) continue;
        ++formats;
        if (n->desc->flags & kFormatAnyEntry) ++extra;
    }
    list.Clear();
    list.formatCount = formats;
    if (formats + extra == 0) return true;

    std::string entries;
    std::string allPatterns;
    std::vector<FormatDesc*> array;
    entries.reserve(1024);
    array.reserve(formats + extra);
    bool full = false;
    steps = 0;
    for (const FormatNode* n = head; n && steps < kWalkLimit && !full; n = n->next, ++steps) {
        FormatDesc* d = n->desc;
        if (!takes(d)) continue;
        const char* name = d->name ? d->name : "noname";
        size_t start = entries.size();
        size_t nameLength = std::strlen(name);
        if (start + nameLength + 1 > kNameLimit) break;
        std::string patterns;
        int count = 0;
        for (const char* e = d->extensions; e && *e && count < kExtensionLimit;
             e += std::strlen(e) + 1, ++count) {
            if (*e == '*') continue;
            if (!patterns.empty()) patterns += ';';
            patterns += "*.";
            patterns += e;
        }
        if (patterns.empty()) continue;  // counted among the formats, but no entry
        if (start + nameLength + 1 + patterns.size() + 1 > kPatternLimit) break;
        entries.append(name, nameLength + 1);
        entries.append(patterns.c_str(), patterns.size() + 1);
        array.push_back(d);
        if (input) {
            size_t need = patterns.size() + (allPatterns.empty() ? 0 : 1);
            if (allPatterns.size() + need <= kAllPatternLimit) {
                if (!allPatterns.empty()) allPatterns += ';';
                allPatterns += patterns;
            }
        }
        if (d->flags & kFormatAnyEntry) {
            std::string second = std::string("[*.*]  ") + name;
            if (entries.size() + second.size() + 1 > kNameLimit ||
                entries.size() + second.size() + 1 + 4 > kPatternLimit) {
                full = true;
                break;
            }
            entries.append(second.c_str(), second.size() + 1);
            entries.append("*.*", 4);
            array.push_back(d);
        }
    }
    if (input) {
        static const char kAll[] = "[*.*] All\0*.*";  // 14 bytes with both terminators
        if (entries.size() + sizeof kAll < kNameLimit) entries.append(kAll, sizeof kAll);
        entries.append("All Formats", 12);
        entries.append(allPatterns.c_str(), allPatterns.size() + 1);
    }
    entries += '\0';
    list.filter = std::move(entries);
    list.entries = std::move(array);
    list.entryCount = static_cast<uint32_t>(list.entries.size());
    list.hasEntries = true;
    list.kind = input ? kFormatListInput : (mask | kFormatListOutput);
    list.current = -1;
    return true;
}

void BuildFilterGuarded(FormatList& list, const FormatNode* head, bool input, uint32_t mask) {
    try {
        BuildFilter(list, head, input, mask);
    } catch (const std::bad_alloc&) {
        // The dialogs then offer no filter.
        list.Clear();
    }
}

}  // namespace

// ---- Records --------------------------------------------------------------------------------

void FormatList::Clear() {
    kind = 0;
    formatCount = 0;
    current = 0;
    filter.clear();
    filter.shrink_to_fit();
    entryCount = 0;
    hasEntries = false;
    entries.clear();
    entries.shrink_to_fit();
}

FormatRegistry::~FormatRegistry() {
    FormatNode* n = head;
    while (n) {
        FormatNode* next = n->next;
        delete n;
        n = next;
    }
}

FormatRegistry& TheFormatRegistry() {
    static FormatRegistry registry;
    return registry;
}

// ---- Registration ---------------------------------------------------------------------------

int ValidateFormatDesc(FormatRegistry& registry, FormatDesc* desc) {
    if (desc == nullptr) return 0;
    if (desc->extensions == nullptr || desc->extensions[0] == 0) {
        LogPrintf("plug %s: extension string not defined", desc->name ? desc->name : "");
        return 0;
    }
    desc->defaultType = NormalizeFormatWord(desc->defaultType, desc->allowedTypes);
    FormatNode* node = new (std::nothrow) FormatNode;
    if (node == nullptr) {
        if (desc->release) desc->release(desc->context);
        return 0;
    }
    node->desc = desc;
    node->prev = registry.tail;
    if (registry.tail)
        registry.tail->next = node;
    else
        registry.head = node;
    registry.tail = node;
    return 1;
}

void ReleaseFormats(FormatRegistry& registry) {
    FormatNode* n = registry.head;
    while (n) {
        FormatNode* next = n->next;
        if (n->desc && n->desc->release) {
            uintptr_t context = n->desc->context;
            n->desc->context = 0;
            n->desc->release(context);
        }
        delete n;
        n = next;
    }
    registry.head = registry.tail = nullptr;
    registry.currentOutput = nullptr;
    registry.input.Clear();
    registry.output.Clear();
    registry.output380.Clear();
    registry.output580.Clear();
}

int RegisterBuiltinFormats(FormatRegistry& registry, int* inputCount, int* outputCount) {
    FormatDesc* records = Builtins();
    int registered = 0;
    for (int i = 0; i < kBuiltinCount; ++i) {
        records[i] = BuiltinTemplates()[i];
        registered += ValidateFormatDesc(registry, &records[i]);
    }
    if (registered == 0) return 0;
    InputFormatFilter(registry.input, registry.head);
    if (inputCount) *inputCount += static_cast<int>(registry.input.formatCount);
    OutputFormatFilter(registry.output, registry.head, 0);
    if (outputCount) *outputCount += static_cast<int>(registry.output.formatCount);
    OutputFormatFilter(registry.output380, registry.head, 0x380);
    OutputFormatFilter(registry.output580, registry.head, 0x580);
    return registered;
}

void LoadIOModules(FormatRegistry& registry, const char* folder) {
    ReleaseFormats(registry);
    int loaded = LoadIoPlugins(&registry, folder);
    int inputs = 0, outputs = 0;
    int registered = loaded + RegisterBuiltinFormats(registry, &inputs, &outputs);
    LogPrintf("Load %d IO module(s)... Format(s): input %d, output %d", registered, inputs,
              outputs);
}

// ---- Look-ups -------------------------------------------------------------------------------

const FormatDesc* FindFormatByTag(const FormatRegistry& registry, FormatTag tag) {
    if (tag.IsZero()) return nullptr;
    int steps = 0;
    for (const FormatNode* n = registry.head; n && steps < kWalkLimit; n = n->next, ++steps)
        if (n->desc && n->desc->tag == tag) return n->desc;
    return nullptr;
}

const FormatDesc* FormatBinary() { return &Builtins()[11]; }
const FormatDesc* FormatFits() { return &Builtins()[0]; }

const FormatNode* FormatListHead(const FormatRegistry& registry) { return registry.head; }

int FormatCount(const FormatRegistry& registry) {
    int count = 0;
    for (const FormatNode* n = registry.head; n && count < kWalkLimit; n = n->next) ++count;
    return count;
}

int FormatPosition(const FormatRegistry& registry, const FormatDesc* desc) {
    if (desc == nullptr) return 0;
    int position = 0;
    for (const FormatNode* n = registry.head; n && position < kWalkLimit; n = n->next) {
        ++position;
        if (n->desc == desc) return position;
    }
    return 0;
}

bool FormatMatchesExtension(const FormatDesc* desc, const char* fileName) {
    if (desc == nullptr || fileName == nullptr) return false;
    const char* slash = std::strrchr(fileName, '/');
    const char* base = slash ? slash + 1 : fileName;
    const char* dot = std::strrchr(base, '.');
    if (dot == nullptr || dot[1] == 0) return false;
    const char* ext = dot + 1;
    int count = 0;
    for (const char* e = desc->extensions; e && *e && count < kExtensionLimit;
         e += std::strlen(e) + 1, ++count) {
        if (*e == '*') continue;
        if (strcasecmp(e, ext) == 0) return true;
    }
    return false;
}

const FormatDesc* InputFormatByIndex(const FormatRegistry& registry, uint32_t index) {
    if (index == 0) return nullptr;
    const FormatList& list = registry.input;
    if (!list.hasEntries) return FormatBinary();
    if (index > list.entryCount) return nullptr;
    return list.entries[index - 1];
}

const FormatDesc* OutputFormatByIndex(const FormatList& list, int32_t* index) {
    int32_t i = index ? *index : 0;
    const FormatDesc* result;
    if (!list.hasEntries || list.entryCount == 0) {
        i = 1;
        result = list.hasEntries ? nullptr : FormatBinary();
    } else if (i == 0) {
        i = 1;
        result = list.entries[0];
    } else {
        if (i < 0 || static_cast<uint32_t>(i) > list.entryCount)
            i = static_cast<int32_t>(list.entryCount);
        result = list.entries[i - 1];
    }
    if (index) *index = i;
    return result;
}

const FormatDesc* CurrentOutputFormat(FormatRegistry& registry, int32_t* index) {
    FormatList* list = registry.currentOutput;
    if (list == nullptr) {
        if (index) *index = 1;
        return FormatBinary();
    }
    int32_t i = list->current;
    const FormatDesc* d = OutputFormatByIndex(*list, &i);
    list->current = i;
    if (index) *index = i;
    return d;
}

void FormatListSelectTag(FormatList& list, FormatTag tag) {
    if (tag == UnsetFormatTag()) return;
    for (uint32_t i = 0; i < list.entries.size(); ++i) {
        if (list.entries[i] && list.entries[i]->tag == tag) {
            list.current = static_cast<int32_t>(i + 1);
            return;
        }
    }
}

const FormatDesc* StepWritableFormat(const FormatRegistry& registry, const FormatDesc* desc,
                                     int direction) {
    if (desc == nullptr) return FormatBinary();
    const FormatNode* at = nullptr;
    int steps = 0;
    for (const FormatNode* n = registry.head; n && steps < kWalkLimit; n = n->next, ++steps)
        if (n->desc == desc) {
            at = n;
            break;
        }
    if (at == nullptr) return FormatBinary();
    steps = 0;
    for (const FormatNode* n = direction ? at->next : at->prev; n && steps < kWalkLimit;
         n = direction ? n->next : n->prev, ++steps)
        if (n->desc && n->desc->write) return n->desc;
    return nullptr;
}

bool FindFormatList(FormatRegistry& registry, uint32_t flags, bool exact) {
    uint32_t k = flags & ~6u;
    uint32_t d = flags & 6u;
    if (k == 0) return false;
    FormatList* lists[4] = {&registry.input, &registry.output, &registry.output380,
                            &registry.output580};
    for (FormatList* l : lists) {
        if (l->kind == 0 || l->filter.empty() || !l->hasEntries) continue;
        if (d != 0 && (l->kind & 6u) != d) continue;
        if (exact ? (l->kind & ~6u) == k : (l->kind & k) != 0) {
            registry.currentOutput = l;
            return true;
        }
    }
    return false;
}

bool SelectOutputFormatList(FormatRegistry& registry, uint32_t flags1, uint32_t flags2,
                            bool exact) {
    if (FindFormatList(registry, flags1, exact) || FindFormatList(registry, flags1 | flags2, exact))
        return true;
    registry.currentOutput = ((flags1 | flags2) & 2u) ? &registry.input : &registry.output;
    return (flags2 & ~6u) == 0;
}

uint32_t OutputKindForObjectTag(FormatTag tag) {
    static const char* const k380[] = {"POINT", "POLIGON", "VECTOR", "ANCHOR", "REFPOINT"};
    for (const char* t : k380)
        if (tag == MakeFormatTag(t)) return 0x380 | 4;
    if (tag == MakeFormatTag("REGION")) return 0x580 | 4;
    if (tag == MakeFormatTag("SIMPLOBJ")) return 0x180 | 4;
    return 4;
}

void InputFormatFilter(FormatList& list, const FormatNode* head) {
    BuildFilterGuarded(list, head, true, 0);
}

void OutputFormatFilter(FormatList& list, const FormatNode* head, uint32_t kindMask) {
    BuildFilterGuarded(list, head, false, kindMask);
}

}  // namespace orva
