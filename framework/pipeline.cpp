#include "framework/pipeline.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "common/log.h"
#include "common/paths.h"

namespace orva {

namespace {

constexpr const char* kCantConnect = "can`t create connect...";
// Copies of names are capped at this many characters.
constexpr size_t kMaxNameCopy = 0x200000;
constexpr uint32_t kPagesStyle = 0x800;
constexpr uint32_t kReductionPagesStyle = 0x10800;

bool Fail() {
    LogPrintf("%s", kCantConnect);
    return false;
}

// The source's data format word, as its NegotiateInput reports it without a link.
uint32_t SourceFormatWord(ComponentBase* source) {
    FormatRequest request;
    if (!source->NegotiateInput(nullptr, &request)) return 0;
    return request.format;
}

char* CopyText(const char* text, size_t length) {
    if (length > kMaxNameCopy) length = kMaxNameCopy;
    auto* copy = static_cast<char*>(std::malloc(length + 1));
    if (copy == nullptr) return nullptr;
    std::memcpy(copy, text, length);
    copy[length] = '\0';
    return copy;
}

bool IsAbsolutePath(const char* text, size_t length) { return length > 0 && text[0] == '/'; }

}  // namespace

void SourceOpenStateInit(SourceOpenState* state) {
    if (state == nullptr) return;
    *state = SourceOpenState{};
    state->ui = ThePipelineServices().defaultUi;
}

PipelineServices& ThePipelineServices() {
    static PipelineServices services;
    return services;
}

// ---- The default chain -----------------------------------------------------------------

bool BuildPipelineFromScript(SourceOpenState* request, ComponentBase* source) {
    if (request == nullptr || source == nullptr) return false;
    ProjectItemBase* item = source->owner;
    if (item != nullptr && item->firstStage == nullptr) item->firstStage = source;
    // The stages made below take their settings from the source whose chain this is.
    if (item != nullptr) item->currentWindows[0] = source;
    if (!request->buildDefaultChain) return Fail();
    if (request->ui == nullptr) request->ui = ThePipelineServices().defaultUi;
    ComponentUi* ui = request->ui;
    const PipelineServices& s = ThePipelineServices();
    void* description = request->description;

    ComponentBase* upstream = source;
    ComponentBase* processing = s.createProcessing ? s.createProcessing(ui, item, description) : nullptr;
    if (processing == nullptr) {
        LogPrintf("%s", "Script: Can`t create keloproc");
    } else if (!ConsumerAttach(processing->GetInputLink(0), source)) {
        LogPrintf("%s", "Script: Can`t connect to keloproc");
    } else {
        upstream = processing;
    }

    ComponentBase* transformation =
        s.createTransformation ? s.createTransformation(ui, item, description) : nullptr;
    if (transformation == nullptr) return Fail();
    if (!ConsumerAttach(transformation->GetInputLink(0), upstream)) {
        LogPrintf("%s", "Script: Can`t connect to kelocolorconv");
        return Fail();
    }

    ComponentBase* reduction = s.createReduction ? s.createReduction(ui, item, description) : nullptr;
    if (reduction == nullptr) return Fail();
    if (!ConsumerAttach(reduction->GetInputLink(0), upstream)) LogPrintf("%s", "Script: Can`t connect to keloRD");
    // The item's current windows name its stages (the input, the processed data, the screen
    // bitmap, the reduction): an Output finds the stage it writes among them.
    if (item != nullptr) {
        item->currentWindows[0] = source;
        item->currentWindows[1] = upstream == processing ? processing : nullptr;
        item->currentWindows[2] = transformation;
        item->currentWindows[3] = reduction;
    }

    PortList* list = PortListCreate(ui != nullptr ? ui->PortLists() : nullptr, item != nullptr ? item->name.c_str() : nullptr);
    if (list == nullptr) return Fail();
    if (item != nullptr) item->source.portList = list;
    // Without windows the stages are the whole chain: the file is read and described, and
    // nothing is there to show it in.
    if (ui != nullptr && ui->RunsWithoutWindows()) return true;
    if (ui == nullptr || ui->GetPageWindow() == nullptr || !request->showDisplays) return Fail();

    void* mainWindow = ui->GroupWindow(kMainGroup);
    uint32_t style = ui->StyleFlags();
    RegisterComponentPages(request, source, mainWindow, style | kPagesStyle, true);
    if (processing != nullptr) RegisterComponentPages(request, processing, mainWindow, style | kPagesStyle, true);
    RegisterComponentPages(request, reduction, mainWindow, style | kReductionPagesStyle, true);
    RegisterComponentPages(request, transformation, mainWindow, style | kPagesStyle, true);

    if (DisplayCellBase* cell = OpenDisplayCell(request, kMainGroup, 1)) {
        uint32_t format = SourceFormatWord(source);
        OutPort* port = nullptr;
        int32_t index = 0;
        bool ok;
        if ((format & 0x800000u) != 0 && (format & 0x400000u) == 0) {
            ok = ConnectComponents(list, &port, source, cell, nullptr, &index, nullptr, 0);
        } else {
            ok = ConnectComponents(list, &port, transformation, cell, nullptr, &index, nullptr, 0);
            if (!ok) {
                port = nullptr;
                index = 0;
                ok = ConnectComponents(list, &port, source, cell, nullptr, &index, nullptr, 0);
            }
        }
        if (!ok) return Fail();
        ui->LayoutGroup(kMainGroup);
    }

    ui->SetGroupPageSelector(kSecondGroup, -200);
    if (DisplayCellBase* cell = OpenDisplayCell(request, kSecondGroup, 0)) {
        OutPort* port = nullptr;
        int32_t index = 0;
        if (ConnectComponents(list, &port, reduction, cell, nullptr, &index, nullptr, 0)) ui->LayoutGroup(kSecondGroup);
    }
    return true;
}

DisplayCellBase* OpenDisplayCell(SourceOpenState* request, int group, int createFlag) {
    if (request == nullptr || request->ui == nullptr) return nullptr;
    ComponentUi* ui = request->ui;
    void* window = ui->GroupWindow(group);
    if (window == nullptr) return nullptr;
    ComponentBase* workspace = ui->FindComponent(0, window, FourCC("DRAW"), FourCC("CTNR"));
    if (workspace != nullptr) {
        if (group == kMainGroup && !ui->WorkspaceActivated(workspace)) ui->ActivateWorkspace(workspace);
    } else {
        workspace = ui->CreateWorkspace(group);
    }
    uint32_t number = request->cellNumber > 4 ? 1 : request->cellNumber;
    DisplayCellBase* cell = nullptr;
    if (workspace != nullptr) {
        cell = ui->GetCellByNumber(workspace, number);
        if (cell != nullptr && !ui->CellInSlot(workspace, cell, number)) ui->PlaceCellInSlot(workspace, cell, number);
    }
    if (cell == nullptr) {
        cell = dynamic_cast<DisplayCellBase*>(ui->FindComponent(0, window, FourCC("CELX"), FourCC("DRAW")));
        if (cell == nullptr) {
            cell = ui->CreateDisplayCell(workspace, window, createFlag);
            if (cell == nullptr) return nullptr;
            // A cell serves the items opened one after another; when it goes, the ports
            // of every item forget it, not only the port it shows now.
            if (cell->portLists == nullptr) cell->portLists = ui->PortLists();
            if (!ui->PlaceCellInSlot(workspace, cell, number)) {
                cell->Release();
                return nullptr;
            }
            RegisterComponentPages(request, cell, window, ui->StyleFlags() + kPagesStyle, true);
        }
    }
    SetPageOption(request, cell, window, -1);
    return cell;
}

void RegisterComponentPages(SourceOpenState* request, ComponentBase* component, void* window, uint32_t style,
                            bool now) {
    if (request == nullptr || component == nullptr || component->panelBuilder == nullptr) return;
    ComponentUi* ui = request->ui;
    if (ui == nullptr) return;
    if (!now) {
        ui->QueuePageRegistration(component, window, style);
        return;
    }
    if (PageWindow* pages = ui->FindPageWindow(window, component->panelBuilder, style)) {
        component->pageWindow = pages;
        if (pages->current == nullptr) {
            pages->current = component;
            pages->flags |= kPageWindowRebuild;
        }
        ui->RefreshPageWindow(pages);
        return;
    }
    ui->AttachPageContainer(component, window, style & ~kPagesStyle);
}

void SetPageOption(SourceOpenState* request, DisplayCellBase* cell, void* window, int32_t value) {
    if (request != nullptr && request->ui != nullptr) request->ui->SetPageOption(cell, window, value);
}

// ---- Source names ---------------------------------------------------------------------

const char* SourceNameTag(int kind, int* length) {
    const char* tag = nullptr;
    switch (kind) {
        case 1: tag = "<NAME>"; break;
        case 2: tag = "<HDR>"; break;
        case 3: tag = "<HDRF>"; break;
        default: break;
    }
    if (length != nullptr) *length = tag != nullptr ? static_cast<int>(std::strlen(tag)) : 0;
    return tag;
}

void TextPtrFree(char** text) {
    if (text == nullptr) return;
    std::free(*text);
    *text = nullptr;
}

bool TextAppend(char** text, const char* tail) {
    if (text == nullptr) return false;
    if (tail == nullptr) return true;
    size_t oldLength = *text != nullptr ? std::strlen(*text) : 0;
    size_t tailLength = std::strlen(tail);
    auto* joined = static_cast<char*>(std::malloc(oldLength + tailLength + 1));
    if (joined == nullptr) return false;
    if (oldLength != 0) std::memcpy(joined, *text, oldLength);
    std::memcpy(joined + oldLength, tail, tailLength + 1);
    std::free(*text);
    *text = joined;
    return true;
}

bool BuildSourceName(char** text, int kind, const char* name, int32_t section, int32_t header) {
    if (text == nullptr) return false;
    if (kind == 0) return TextAppend(text, name);
    const char* tag = SourceNameTag(kind, nullptr);
    char marker[29] = "";
    if (name != nullptr && (section >= 2 || header >= 2)) {
        int n;
        if (section < 2) n = std::snprintf(marker, sizeof marker, "|H%d|", header);
        else if (header < 2) n = std::snprintf(marker, sizeof marker, "|S%d|", section);
        else n = std::snprintf(marker, sizeof marker, "|S%dH%d|", section, header);
        if (n <= 0 || n >= static_cast<int>(sizeof marker)) return false;
    }
    const char* parts[4] = {*text, tag, name != nullptr ? marker : nullptr, name};
    size_t total = 1;
    for (const char* p : parts)
        if (p != nullptr) total += std::strlen(p);
    auto* joined = static_cast<char*>(std::malloc(total));
    if (joined == nullptr) return false;
    size_t at = 0;
    for (const char* p : parts) {
        if (p == nullptr) continue;
        size_t n = std::strlen(p);
        std::memcpy(joined + at, p, n);
        at += n;
    }
    joined[at] = '\0';
    std::free(*text);
    *text = joined;
    return true;
}

int32_t FindSourceNamePart(const char* text, const char** start) {
    if (start != nullptr) *start = nullptr;
    if (text == nullptr || text[0] == '\0') return 0;
    auto clamp = [](size_t n) { return static_cast<int32_t>(n > 0x7FFFFFFF ? 0x7FFFFFFF : n); };
    if (text[0] != '<') {
        if (start != nullptr) *start = text;
        return clamp(std::strlen(text));
    }
    const char* p = text;
    while ((p = std::strchr(p, '<')) != nullptr) {
        const char* close = std::strchr(p + 1, '>');
        if (close == nullptr || close[1] == '\0') return -1;
        size_t length = static_cast<size_t>(close - p - 1);
        if (length == 4 && (std::strncmp(p + 1, "NAME", 4) == 0 || std::strncmp(p + 1, "name", 4) == 0)) {
            // The name is the last part of a source name: a "<" in it is the file's own.
            const char* name = close + 1;
            if (start != nullptr) *start = name;
            return clamp(std::strlen(name));
        }
        p = close + 1;
    }
    return 0;
}

bool ParseServiceFileName(const char* textA, const char* textB, const char* extension, bool make, char** path,
                          char** displayName) {
    if (path != nullptr) *path = nullptr;
    if (displayName != nullptr) *displayName = nullptr;
    const char* text = textB != nullptr ? textB : textA;
    if (text == nullptr) return false;
    const char* part = nullptr;
    int32_t length = FindSourceNamePart(text, &part);
    if (length < 1 || part == nullptr) return false;
    const char* end = part + length;
    const char* rest = part;
    size_t markerLength = 0;
    if (part[0] == '|') {
        const char* close = static_cast<const char*>(std::memchr(part + 1, '|', static_cast<size_t>(length - 1)));
        if (close == nullptr || close + 1 >= end) return false;
        rest = close + 1;
        markerLength = static_cast<size_t>(rest - part);
    }
    size_t restLength = static_cast<size_t>(end - rest);
    bool tagged = text[0] == '<';
    if (!IsAbsolutePath(rest, restLength)) {
        char* copy = CopyText(part, static_cast<size_t>(length));
        if (displayName != nullptr) *displayName = copy;
        else std::free(copy);
        return copy != nullptr;
    }
    char* full = nullptr;
    if (!tagged || !make) {
        full = CopyText(rest, restLength);
        if (full == nullptr) return false;
    } else {
        if (restLength >= kPathMax) return false;
        char source[kPathMax];
        std::memcpy(source, rest, restLength);
        source[restLength] = '\0';
        char out[kPathMax];
        if (!PathReplaceExtension(out, source, extension != nullptr ? extension : ".fs")) return false;
        full = CopyText(out, std::strlen(out));
        if (full == nullptr) return false;
    }
    if (tagged && displayName != nullptr) {
        const char* base = rest;
        for (const char* q = rest; q < end; ++q)
            if (*q == '/' || *q == '\\' || *q == ':') base = q + 1;
        char* shown = nullptr;
        if (base == end) {
            shown = CopyText(part, static_cast<size_t>(length));
        } else {
            size_t baseLength = static_cast<size_t>(end - base);
            shown = static_cast<char*>(std::malloc(markerLength + baseLength + 1));
            if (shown != nullptr) {
                std::memcpy(shown, part, markerLength);
                std::memcpy(shown + markerLength, base, baseLength);
                shown[markerLength + baseLength] = '\0';
            }
        }
        if (shown == nullptr) {
            std::free(full);
            return false;
        }
        *displayName = shown;
    }
    if (path != nullptr) *path = full;
    else std::free(full);
    return true;
}

const char* ParseSourceNamePrefix(const char* text, char* separator) {
    if (separator != nullptr) *separator = 0;
    if (text == nullptr || text[0] != '|' || text[1] != 'S') return text;
    const char* p = text + 2;
    while (*p != '\0' && *p != 'H' && *p != '|') ++p;
    if (*p == '\0') return nullptr;
    const char* rest;
    if (*p == '|') {
        rest = p + 1;
    } else {
        if (separator != nullptr) *separator = '|';
        rest = p;
    }
    return *rest == '\0' ? nullptr : rest;
}

int32_t ScanTagToken(const char* text) {
    if (text == nullptr) return 0;
    int32_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text); *p >= 32 && *p != '<' && *p != '>';
         ++p) {
        if (n == 0x7FFFFFFF) break;
        ++n;
    }
    return n;
}

int32_t ScanTagTokenUntil(const char* text, char stop) {
    auto s = static_cast<unsigned char>(stop);
    if (s < 32 || stop == '<' || stop == '>') return ScanTagToken(text);
    if (text == nullptr) return 0;
    int32_t n = 0;
    for (const unsigned char* p = reinterpret_cast<const unsigned char*>(text);
         *p >= 32 && *p != '<' && *p != '>' && *p != s; ++p) {
        if (n == 0x7FFFFFFF) break;
        ++n;
    }
    return n;
}

}  // namespace orva
