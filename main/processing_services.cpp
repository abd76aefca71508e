#include "main/processing_services.h"

#include "framework/pipeline.h"
#include "processing/processing_component.h"

namespace orva {

void InstallProcessingServices() { ThePipelineServices().createProcessing = &CreateProcessingFromScript; }

}  // namespace orva
