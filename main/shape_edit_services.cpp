#include "main/shape_edit_services.h"

#include "app/main_menu.h"
#include "app/panel_window.h"
#include "app/shell_hooks.h"
#include "shapes/editing/edit_frame.h"
#include "shapes/ui/shape_panel.h"

namespace orva {

void InstallShapeEditServices() {
    InstallShapeEditFrame();
    TheShellHooks().showEditShapePanel = [](void*, gWindow* mainWindow) { BuildEditShapePanel(mainWindow); };
    TheMainMenuHooks().openEditShapePanel = [] { ShowEditShapePanel(TheEditShapePanel().parent); };
}

}  // namespace orva
