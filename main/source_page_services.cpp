#include "main/source_page_services.h"

#include <climits>
#include <string>
#include <vector>

#include "app/cui.h"
#include "app/file_dialog.h"
#include "io/service_description.h"
#include "views/source_pages.h"

namespace orva {

namespace {

// The filter of service files.
constexpr char kServiceFilter[] = "Service description (*.fs)\0*.fs\0All files (*.*)\0*.*\0";

bool ChooseServiceFile(std::string* path, const char* title, const char* extension) {
    if (path == nullptr) return false;
    // Room beyond a path, so that a name too long for one is refused, never cut.
    std::vector<char> buffer(PATH_MAX + 2, '\0');
    const int32_t answer =
        RunFileDialog(TheCUI().mainWindow, nullptr, buffer.data(), buffer.size(), nullptr, title, 0xC02,
                      kServiceFilter, extension, kFileDialogData,
                      nullptr, kFileDialogSave);
    if (answer == 0) return false;
    const std::string chosen(buffer.data());
    if (chosen.empty() || chosen.size() >= PATH_MAX) return false;
    *path = chosen;
    return true;
}

}  // namespace

void InstallSourcePageServices() {
    InstallSourcePages();
    TheServiceSaveHooks().chooseName = &ChooseServiceFile;
}

}  // namespace orva
