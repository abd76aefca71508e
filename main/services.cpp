#include "main/services.h"

#include "app/shell_install.h"
#include "io/format_registry.h"
#include "io/stream.h"
#include "main/chart_services.h"
#include "main/display_services.h"
#include "main/menu_services.h"
#include "main/output_services.h"
#include "main/playback_services.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/shape_edit_services.h"
#include "main/shape_services.h"
#include "main/source_page_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"
#include "main/workspace_page_services.h"
#include "processing/filter_registry.h"

namespace orva {

namespace {

void LoadIOModulesReal(const char* folder) { LoadIOModules(TheFormatRegistry(), folder); }
void ReleaseFormatsReal() { ReleaseFormats(TheFormatRegistry()); }

}  // namespace

AppServices DefaultAppServices() {
    AppServices s;
    s.loadFilters = &LoadFilterModules;
    s.clearFilters = &ClearFilterModules;
    s.loadIOModules = &LoadIOModulesReal;
    s.releaseFormats = &ReleaseFormatsReal;
    s.closeAllStreams = &CloseAllStreams;
    InstallAppShell(&s);
    return s;
}

void InstallProgramServices() {
    InstallShapeServices();
    InstallShapeEditServices();
    InstallProcessingServices();
    InstallReductionServices();
    InstallTransformServices();
    InstallDisplayServices();
    InstallChartServices();
    InstallViewsServices();
    InstallSourcePageServices();
    InstallOutputServices();
    InstallViewsDisplayServices();
    InstallWorkspacePageServices();
    InstallPlaybackServices();
    InstallMenuServices();
}

}  // namespace orva
