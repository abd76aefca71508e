#pragma once
// Opening data files: the "Open data file(s)" dialog, the opening of one file or of
// the pending list of files into a new project under the wait cursor, and the making
// of the project item through which the input layer reads a file and hands the data
// set to the item's sink (ProjectItemAttachDataSet), which makes its Source and the
// default chain. Main thread only.
#include <cstdint>
#include <string>
#include <vector>

#include "app/file_dialog.h"
#include "app/open_road.h"

namespace orva {

class CUI;
class Project;
class ProjectItem;
struct WindowGroup;
struct gWindow;

// Open flags: every name gets these; names chosen in the dialog add 0x400000. A name
// with kOpenNoRead and without kOpenRead gets an item in its project but is not read.
constexpr uint32_t kOpenDefaultFlags = 0x13;
constexpr uint32_t kOpenFromDialog = 0x400000;
constexpr uint32_t kOpenNoRead = 0x800000;
constexpr uint32_t kOpenRead = 0x1000000;
// The most names one dialog hands over.
constexpr size_t kOpenNamesMax = 8193;

// The flags of the "Open data file(s)" dialog.
constexpr uint32_t kOpenDialogFlags =
    kOfnReadOnly | kOfnAllowMultiSelect | kOfnExtensionDifferent | kOfnPathMustExist | kOfnFileMustExist;

// Window i of a window group's four slots (below 0: slot 0, above 3: slot 3).
gWindow* GetOwnerWindow(const WindowGroup* group, int i);

// The "Open" command. mode 0: by the CreateNewProject preference, 1: into the current
// project, other: into a new project (a single file; several follow the preference).
// Nothing while a dialog or message box of the program is open.
void OpenDataFilesDialog(CUI* cui, int mode);

// Opens one file; its Source, or null ("Can`t open (%s)" in the log for a name that
// does not exist). Open projects are closed first (after the confirmation when the
// preference asks for it; declined, they stay) and the file goes into a new project.
ComponentBase* OpenSourceFileReport(CUI* cui, Project* project, OpenParameters* request, const char* fileName);
// Opens every file of the CUI's pending list into one new project (from the last name
// to the first when they come from the dialog) and empties the list; names that do
// not exist are logged and skipped. The project of the last file opened, or null.
Project* OpenSourceFileList(CUI* cui, Project* project, OpenParameters* request, bool fromDialog);
// Makes the project item of one file, reads it, and attaches the item to the project
// in *projectSlot (a new project, added to the CUI, when the slot is empty; the slot
// then holds it). The input layer's code (2 opened); 0 for an empty name or a name
// that is not to be read; -14 when memory runs out.
int OpenFileIntoProject(CUI* cui, Project** projectSlot, OpenParameters* request, const char* fileName);
// Reads the item's file through the input layer with the item as the receiver of the
// data set; the format index and the open flags come from the item's pipeline context.
int ProjectItemOpenInput(ProjectItem* item);

// Fills the shell's open road with the functions above, the Source's panel builder
// and the item's data-set sink.
void InstallOpenRoad();

}  // namespace orva
