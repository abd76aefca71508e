#include "io/input_source.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "common/clib.h"
#include "common/error_codes.h"
#include "common/log.h"
#include "common/paths.h"
#include "framework/pipeline.h"
#include "io/file_layout.h"
#include "io/service_description.h"
#include "platform/message_box.h"

namespace orva {

namespace {

constexpr int kWalkLimit = 1001;
constexpr int kExtensionLimit = 1024;
constexpr char kBinaryQuestion[] = "Cannot detect the type of file... Open as binary?";

void ReleaseDescription(ServiceDescription* d) { delete d; }

FormatTag TagFits() { return MakeFormatTag("FITS"); }
FormatTag TagBinary() { return MakeFormatTag("BINARY"); }

// The registry's descriptor with the tag, else the built-in one. The Text reader shares
// the BINARY tag and is registered before the raw reader, so for the BINARY tag the
// descriptor named "Binary" is taken, else the first one that is not the Text reader.
const FormatDesc* RegistryOrBuiltin(const FormatRegistry& registry, FormatTag tag,
                                    const FormatDesc* builtin) {
    if (tag == TagBinary()) {
        const FormatDesc* other = nullptr;
        int steps = 0;
        for (const FormatNode* n = FormatListHead(registry); n && steps < kWalkLimit; n = n->next, ++steps) {
            const FormatDesc* f = n->desc;
            if (f == nullptr || !(f->tag == tag)) continue;
            const char* name = f->name ? f->name : "";
            if (std::strcmp(name, "Binary") == 0) return f;
            if (other == nullptr && std::strcmp(name, "Text") != 0) other = f;
        }
        return other ? other : builtin;
    }
    const FormatDesc* d = FindFormatByTag(registry, tag);
    return d ? d : builtin;
}

// Calls `visit` with each extension entry of the descriptor that equals the text
// without regard to case; entries beginning with '*' never match. Stops when visit
// answers true; answers whether it did.
template <typename Visit>
bool ForEachMatchingExtension(const FormatDesc* d, const char* text, Visit visit) {
    if (d == nullptr || d->extensions == nullptr || text == nullptr) return false;
    int count = 0;
    for (const char* e = d->extensions; *e && count < kExtensionLimit; e += std::strlen(e) + 1, ++count) {
        if (*e == '*') continue;
        if (strcasecmp(e, text) == 0 && visit(e)) return true;
    }
    return false;
}

bool ListsExtension(const FormatDesc* d, const char* extension) {
    return ForEachMatchingExtension(d, extension, [](const char*) { return true; });
}

bool IsAny(int r, std::initializer_list<int> values) {
    for (int v : values)
        if (r == v) return true;
    return false;
}

}  // namespace

ServiceDescriptionHooks& TheServiceDescriptionHooks() {
    static ServiceDescriptionHooks hooks{&LoadFsDescriptionFor, &LoadServiceDescriptionFor};
    return hooks;
}

OpenRequest::~OpenRequest() { TextPtrFree(&sourceName); }

FormatRegistry& InputSource::Registry() const {
    return (request && request->registry) ? *request->registry : TheFormatRegistry();
}

const char* SourceNamePath(const char* text) {
    if (text == nullptr) return nullptr;
    static const char kTag[] = "<NAME>";
    if (strncasecmp(text, kTag, sizeof kTag - 1) == 0) {
        text += sizeof kTag - 1;
        if (*text == '|') {
            const char* end = std::strchr(text + 1, '|');
            if (end) text = end + 1;
        }
    }
    return text;
}

DataSetLayout DataSetLayoutFrom(const FileLayout& layout) {
    DataSetLayout d;
    d.hasSampleFormat = true;
    d.sampleFormat.type = layout.type;
    d.sampleFormat.bits = layout.bits;
    d.sampleFormat.tag = layout.tag;
    return d;
}

// ---- The InputSource ---------------------------------------------------------------------

const char* InputSource::CurrentFileName() const {
    if (request && request->sourceName && request->sourceName[0]) return request->sourceName;
    if (name && name->Length() != 0) return name->Text();
    return nullptr;
}

bool InputSource::OpenSequenceFile(int32_t n) {
    if (request == nullptr || name == nullptr || name->Length() == 0) return false;
    if (n >= 1)
        request->headerNumber = n;
    else
        ++request->headerNumber;
    TextPtrFree(&request->sourceName);
    return BuildSourceName(&request->sourceName, 1, name->Text(), request->sectionNumber,
                           request->headerNumber);
}

int InputSource::AttachDataSet(DataSet* dataSet, StreamRecord* s, const DataSetLayout* layout) {
    if (s == nullptr || dataSet == nullptr) return -16;
    try {
        dataSet->sourceName = (request && request->sourceName) ? request->sourceName : "";
    } catch (const std::bad_alloc&) {
        dataSet->sourceName.clear();
    }
    if (!dataSet->AttachInput(this, s, layout)) return -16;
    return receiver ? receiver->TakeDataSet(dataSet) : 0;
}

int InputSource::OpenWithFormat(const FormatDesc* f, bool emptyAsBinary) {
    if (f == nullptr || request == nullptr) return kErrWrong;
    format = f;
    request->headerNumber = 0;
    int r = f->open ? f->open(this) : kErrUnsupported;
    if (r == 1 || r < 0) {
        format = nullptr;
        return r;
    }
    if (stream == nullptr) {
        // The stream layer keeps no record of an empty file opened for reading, so a
        // reader that found the file empty comes back without a stream.
        format = nullptr;
        return r == 0 ? 0 : -11;
    }
    if (stream->fd < 0) {
        StreamClose(&stream);
        format = nullptr;
        return kErrNoAccess;
    }
    if (stream->length != 0) return kResultReady;
    if (emptyAsBinary) {
        request->headerNumber = 0;
        return RawOpen(this, nullptr);
    }
    StreamClose(&stream);
    format = nullptr;
    return r;
}

// ---- Raw binary ------------------------------------------------------------------------------

// RawOpen lives with the raw binary reader (io/formats/binary/raw_reader.cpp).

// ---- Opening ---------------------------------------------------------------------------------

int OpenInputFile(InputSource* source, OpenRequest* request, const PathName* name) {
    LogPrintf("%s", "----------------------------------------------");
    if (source == nullptr || request == nullptr) return kErrWrong;
    const size_t length = name ? name->Length() : 0;
    if (name == nullptr || length <= name->NameOffset()) {
        ShowErrorCode(kErrNoFile, length ? name->Text() : nullptr);
        return kErrNoFile;
    }
    if (name->Invalid()) {
        ShowErrorCode(kErrUnsupported, name->Text());
        return kErrUnsupported;
    }
    LogPrintf("Input file: '%s'", name->Text());
    // A description refused on the way is said once, before what becomes of the open.
    DescriptionNotes notes;
    int result = kErrGeneral;
    source->name = name;
    source->request = request;
    source->options = request->options;
    source->format = nullptr;
    FormatRegistry& registry = source->Registry();
    const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();

    const bool hasExtension = length > name->ExtensionOffset();
    const char* extension = hasExtension ? name->Text() + name->ExtensionOffset() + 1 : nullptr;
    std::vector<int> earlier;
    const FormatDesc* listed = nullptr;
    const FormatDesc* remembered = nullptr;
    bool triedByExtension = false;
    bool reported = false;  // the '%' open reports on its own

    do {
        // A '%' extension names the format by the text after it.
        if (hasExtension && extension[0] == '%') {
            result = OpenSourceByName(source, name);
            reported = true;
            break;
        }
        // A name without extension: the ".fs" description's format first.
        if (!hasExtension && hooks.loadFs) {
            const char* current = source->CurrentFileName();
            ServiceDescription* d = current ? hooks.loadFs(current) : nullptr;
            const FormatDesc* f = d ? RegistryOrBuiltin(registry, d->formatTag, nullptr) : nullptr;
            ReleaseDescription(d);
            if (f) {
                result = source->OpenWithFormat(f, true);
                break;
            }
        }
        // A forced format.
        if (!request->forcedFormat.IsZero()) {
            if (request->forcedFormat == TagFits())
                result = source->OpenWithFormat(RegistryOrBuiltin(registry, TagFits(), FormatFits()), true);
            else if (request->forcedFormat == TagBinary())
                result = source->OpenWithFormat(RegistryOrBuiltin(registry, TagBinary(), FormatBinary()),
                                                true);
            break;
        }
        const int count = FormatCount(registry);
        if (count == 0) {
            result = kErrUnsupported;
            break;
        }
        try {
            earlier.assign(static_cast<size_t>(count), 0);
        } catch (const std::bad_alloc&) {
            result = kErrOutOfMemory;
            break;
        }
        auto remember = [&](const FormatDesc* f, int r) {
            const int at = FormatPosition(registry, f);
            if (at > 0 && at <= count) earlier[static_cast<size_t>(at - 1)] = r;
        };
        // The format chosen in the file dialog.
        listed = InputFormatByIndex(registry, request->listPosition);
        if (listed) {
            result = source->OpenWithFormat(listed, true);
            if (result >= kResultReady || IsAny(result, {0, -13, -5, -2})) break;
            remember(listed, result);
        }
        // The formats that list the extension.
        if (hasExtension) {
            int steps = 0;
            for (const FormatNode* n = FormatListHead(registry); n && steps < kWalkLimit;
                 n = n->next, ++steps) {
                const FormatDesc* f = n->desc;
                if (f == nullptr || f == listed || !ListsExtension(f, extension)) continue;
                result = source->OpenWithFormat(f, true);
                triedByExtension = true;
                if (result == kErrCreate) {
                    remembered = f;
                    break;
                }
                if (result >= kResultReady || IsAny(result, {0, -13, -12, -5, -2})) break;
                remember(f, result);
            }
        }
        if (result >= kResultReady || IsAny(result, {-2, -5, 0, -13, -12})) {
            if (!triedByExtension) result = kErrUnsupported;
            break;
        }
        if (hasExtension && !triedByExtension) result = kErrUnsupported;
        // Every other format that may be probed by content.
        {
            int steps = 0, index = 0;
            bool done = false;
            for (const FormatNode* n = FormatListHead(registry); n && steps < kWalkLimit;
                 n = n->next, ++steps, ++index) {
                const FormatDesc* f = n->desc;
                if (f == nullptr || f == listed) continue;
                if (remembered && (f == remembered || (!f->tag.IsZero() && !(f->tag == remembered->tag))))
                    continue;
                if (f->flags & kFormatNoProbe) continue;
                if (index < count && IsAny(earlier[static_cast<size_t>(index)], {-24, -23, -22, -13, -12, -1, 1}))
                    continue;
                result = source->OpenWithFormat(f, true);
                if (result >= kResultReady) {
                    done = true;
                    break;
                }
                if (IsAny(result, {0, -13, -5, -2})) break;
            }
            if (done) break;
        }
        if (result >= kResultReady || IsAny(result, {-12, -7, 0, -5, -2})) break;
        // The service description again, else the question.
        const char* current = source->CurrentFileName();
        ServiceDescription* d = (hooks.load && current) ? hooks.load(current) : nullptr;
        const FormatDesc* f = d ? RegistryOrBuiltin(registry, d->formatTag, nullptr) : nullptr;
        // A format that the name or the dialog chose may have known the file as its own
        // and found it empty, cut short or of a variant it cannot read: that is what the
        // user is told, rather than asked whether to read an undetected file as raw data.
        int known = 0;
        for (int r : earlier)
            if (known == 0 && IsAny(r, {1, -22, -23, -24})) known = r;
        if (f) {
            result = source->OpenWithFormat(f, true);
        } else if (known != 0) {
            result = known;
        } else if (d && (d->valueCount != 0 || d->sizeX != 0) && (d->bits != 0 || (d->type & 0x7F))) {
            result = kErrUserAbort;
        } else {
            const int answer = ClibMessageBox(nullptr, name->Text(), kBinaryQuestion,
                                              platform::kMbYesNo | platform::kMbIconQuestion |
                                                  platform::kMbDefButton2);
            if (answer == platform::kIdYes)
                result = source->OpenWithFormat(
                    RegistryOrBuiltin(registry, TagBinary(), FormatBinary()), true);
            else
                result = kErrUserAbort;
        }
        ReleaseDescription(d);
    } while (false);

    StreamClose(&source->stream);
    DescriptionNotes::Tell();
    if (result >= kResultReady && source->format) {
        if (source->format->name) LogPrintf("Source format: \"%s\".", source->format->name);
    } else if (!reported) {
        ShowErrorCode(result, name->Text());
    }
    source->format = nullptr;
    source->request = nullptr;
    source->name = nullptr;
    return result;
}

int OpenSourceByName(InputSource* source, const PathName* name) {
    if (source == nullptr || name == nullptr || source->request == nullptr) return -16;
    const size_t length = name->Length();
    if (length <= name->NameOffset()) {
        ShowErrorCode(kErrNoFile, length ? name->Text() : nullptr);
        return kErrNoFile;
    }
    if (name->Invalid()) {
        ShowErrorCode(kErrUnsupported, name->Text());
        return kErrUnsupported;
    }
    const size_t dot = name->ExtensionOffset();
    if (length <= dot || name->Text()[dot + 1] != '%') return kErrUnsupported;
    if (dot == 0) {
        ShowErrorCode(kErrUnsupported, name->Text());
        return kErrUnsupported;
    }
    std::string base, tail;
    try {
        const std::string all(name->Text(), length);
        base = all.substr(0, dot);
        tail = all.substr(dot + 2);
    } catch (const std::bad_alloc&) {
        return kErrOutOfMemory;
    }
    // A composed name that does not fit a path is refused, never cut.
    if (base.size() + 1 + tail.size() >= kPathMax) {
        ShowErrorCode(kErrUnsupported, name->Text());
        return kErrUnsupported;
    }
    const std::string composed = tail.empty() ? base : base + "." + tail;
    int result = kErrUnsupported;
    PathName local;
    bool failed = false;
    FormatRegistry& registry = source->Registry();

    auto attempt = [&](const FormatDesc* f, const std::string& path, bool emptyAsBinary) {
        const int set = local.Set(path.c_str());
        if (set < 0) {
            result = set == -3 ? kErrOutOfMemory : -18;
            failed = true;
            return true;
        }
        source->name = &local;
        result = source->OpenWithFormat(f, emptyAsBinary);
        StreamClose(&source->stream);
        return result >= kResultReady;
    };
    // Every format (those never probed only when `all`) with an entry equal to the text,
    // tried under the name with that entry as its extension when such a file exists.
    auto walk = [&](bool all) {
        int steps = 0;
        for (const FormatNode* n = FormatListHead(registry); n && steps < kWalkLimit; n = n->next, ++steps) {
            const FormatDesc* f = n->desc;
            if (f == nullptr || (!all && (f->flags & kFormatNoProbe))) continue;
            const bool stop = ForEachMatchingExtension(f, tail.c_str(), [&](const char* entry) {
                const std::string path = base + "." + entry;
                if (!FileExists(path.c_str())) return false;
                return attempt(f, path, false) || failed;
            });
            if (stop) return;
        }
    };

    const bool exists = FileExists(composed.c_str());
    if (!exists) {
        if (!tail.empty()) walk(false);
    } else if (!tail.empty()) {
        walk(true);
    } else {
        const ServiceDescriptionHooks& hooks = TheServiceDescriptionHooks();
        const char* current = source->CurrentFileName();
        ServiceDescription* d = (hooks.loadFs && current) ? hooks.loadFs(current) : nullptr;
        const FormatDesc* f = d ? RegistryOrBuiltin(registry, d->formatTag, nullptr) : nullptr;
        ReleaseDescription(d);
        if (f) attempt(f, composed, true);
    }
    DescriptionNotes::Tell();
    if (failed) {
        ShowErrorCode(result, name->Text());
    } else if (result >= kResultReady && source->format) {
        if (source->format->name) LogPrintf("Source format: \"%s\".", source->format->name);
    } else {
        ShowErrorCode(result, name->Text());
    }
    source->format = nullptr;
    source->name = nullptr;
    return result;
}

}  // namespace orva
