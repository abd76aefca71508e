#pragma once
// The default chain of a project item (Processing, Transformation and Reduction
// behind the Source, a port list and two display cells), and the small text
// routines that name a source inside a file ("<NAME>", "<HDR>", "<HDRF>" tags
// with section and header markers) and derive a service-file name from it.
#include <cstdint>

#include "framework/component.h"
#include "framework/device_view.h"
#include "framework/port.h"

namespace orva {

// The request with which a project item is opened.
struct SourceOpenState {
    char* name = nullptr;
    uint32_t word1 = 0;
    ComponentUi* ui = nullptr;
    uint32_t word3 = 0;
    uint32_t cellNumber = 0;      // numbers above 4 are taken as 1
    uint8_t showDisplays = 1;
    uint8_t buildDefaultChain = 1;
    void* description = nullptr;  // the item's description, read by the stage creators
    uint8_t bytes[2] = {0, 0};
    int32_t index = -1;
    uint32_t words[3] = {0, 0, 0};
    uint32_t count = 19;
    uint32_t tail[2] = {0, 0};
    char typeTag[8] = {};         // the format the file is opened as; empty: detected
};

// Sets the defaults; the ui is the one installed in the pipeline services.
void SourceOpenStateInit(SourceOpenState* state);

// What a script's section tells the stages it creates (the record that
// `description` points at when it is not null): the text that names the
// stages' settings (a file name, possibly with the tags of a source name),
// whether a stage works on the program's shared defaults and whether it copies
// them into its own settings. A stage records itself here when the record
// names none of its kind yet, and forgets itself when it goes.
struct StageDescription {
    const char* name = nullptr;
    uint8_t useCommon = 0;
    uint8_t copyCommon = 0;
    ComponentBase* transformation = nullptr;
    ComponentBase* reduction = nullptr;
};

// The stage creators of the layers above (each creates the component for the
// item's description and adds it to the ui's list) and the ui used by default.
struct PipelineServices {
    ComponentBase* (*createProcessing)(ComponentUi* ui, ProjectItemBase* item, void* description) = nullptr;
    ComponentBase* (*createTransformation)(ComponentUi* ui, ProjectItemBase* item, void* description) = nullptr;
    ComponentBase* (*createReduction)(ComponentUi* ui, ProjectItemBase* item, void* description) = nullptr;
    ComponentUi* defaultUi = nullptr;
};
PipelineServices& ThePipelineServices();

// Window groups.
constexpr int kMainGroup = 0;
constexpr int kSecondGroup = 1;

bool BuildPipelineFromScript(SourceOpenState* request, ComponentBase* source);
DisplayCellBase* OpenDisplayCell(SourceOpenState* request, int group, int createFlag);
void RegisterComponentPages(SourceOpenState* request, ComponentBase* component, void* window, uint32_t style,
                            bool now);
void SetPageOption(SourceOpenState* request, DisplayCellBase* cell, void* window, int32_t value);

// ---- Source names ------------------------------------------------------------------------
// Heap texts of this part are malloc'd and freed with TextPtrFree.

// Kind 1 "<NAME>", 2 "<HDR>", 3 "<HDRF>"; nullptr (length 0) for any other kind.
const char* SourceNameTag(int kind, int* length);
// Appends kind's tag, the section/header marker and the name to the text (kind
// 0: the name alone). False on an overlong marker or when memory is short; the
// old text then stays.
bool BuildSourceName(char** text, int kind, const char* name, int32_t section, int32_t header);
bool TextAppend(char** text, const char* tail);
void TextPtrFree(char** text);
// The length of the name part and its start: the whole text when it is not
// tagged; after the "<NAME>" or "<name>" tag up to the end otherwise (the name
// comes last, and a file's name may hold "<" and ">"); 0 without a name tag, -1
// for a broken tag.
int32_t FindSourceNamePart(const char* text, const char** start);
// Splits a source name into the path of its service file (or of the file
// itself) and a display name. Heap texts, freed with TextPtrFree.
bool ParseServiceFileName(const char* textA, const char* textB, const char* extension, bool make, char** path,
                          char** displayName);
const char* ParseSourceNamePrefix(const char* text, char* separator);
int32_t ScanTagToken(const char* text);
int32_t ScanTagTokenUntil(const char* text, char stop);

}  // namespace orva
