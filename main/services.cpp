#include "main/services.h"

#include "app/shell_install.h"
#include "io/format_registry.h"
#include "io/stream.h"
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

}  // namespace orva
