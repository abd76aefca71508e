#pragma once
// The open road as the shell calls it: the functions that open data files into project
// items and the Source's panel builder. The layer that opens files installs them; until
// it does, the table is empty and the shell's "open" fails every file it counted.
#include <cstdint>

#include "framework/component.h"

namespace orva {

class CUI;
class Project;
class ProjectItem;
class DataSet;

// The request with which files are opened.
struct OpenParameters {
    char* text = nullptr;           // owned text (freed by the open road)
    uint8_t options[2] = {0, 0};    // the file dialog's extra choices
    char typeTag[8] = {};           // "Open As:": "FITS", "BINARY", or empty to detect
    int32_t sequenceIndex = -1;
    uint32_t formatIndex = 0;       // 1-based index of the input format; 0: detect
    uint32_t flags = 0x13;          // open flags
};

struct OpenRoad {
    // Opens one file; its Source, or null.
    ComponentBase* (*openSourceFileReport)(CUI* cui, Project* project, OpenParameters* request,
                                           const char* fileName) = nullptr;
    // Opens every file of the CUI's pending list; the project of the last file opened.
    Project* (*openSourceFileList)(CUI* cui, Project* project, OpenParameters* request, bool fromDialog) = nullptr;
    // The Source component's panel builder.
    PanelBuilder (*getSourcePanelBuilder)() = nullptr;
    // The project item's data-set sink (what a reader hands its data set to).
    int (*attachDataSet)(ProjectItem* item, DataSet* dataSet) = nullptr;
};
OpenRoad& TheOpenRoad();

// The failure line of the open road, logged for each name it could not open.
inline constexpr char kCantOpenLine[] = "Can`t open (%s)";

}  // namespace orva
