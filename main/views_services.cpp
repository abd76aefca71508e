#include "main/views_services.h"

#include "app/main_menu.h"
#include "views/open_data_files.h"

namespace orva {

namespace {

void OpenFromMenu(CUI* cui, int32_t mode) { OpenDataFilesDialog(cui, mode); }

}  // namespace

void InstallViewsServices() {
    InstallOpenRoad();
    TheMainMenuHooks().openDataFiles = &OpenFromMenu;
}

}  // namespace orva
