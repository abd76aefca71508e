#include "main/processing_services.h"

#include "framework/pipeline.h"
#include "processing/processing_component.h"
#include "views/plugin_list_panel.h"

namespace orva {

void InstallProcessingServices() {
    ThePipelineServices().createProcessing = &CreateProcessingFromScript;
    InstallPluginListPanel();
}

}  // namespace orva
