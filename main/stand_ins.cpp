#include "main/stand_ins.h"

#include "common/log.h"

namespace orva {

namespace {

void LoadFiltersStandIn(const char*) { LogPrintf("Load filter(s): %d modules, plugins %d", 0, 0); }

void LoadIOModulesStandIn(const char*) {
    LogPrintf("Load %d IO module(s)... Format(s): input %d, output %d", 0, 0, 0);
}

bool UiInitStandIn() {
    LogPrintf("%s", "Can't init UI...");
    return false;
}

}  // namespace

AppServices DefaultAppServices() {
    AppServices s;
    s.loadFilters = &LoadFiltersStandIn;
    s.loadIOModules = &LoadIOModulesStandIn;
    s.uiInit = &UiInitStandIn;
    return s;
}

}  // namespace orva
