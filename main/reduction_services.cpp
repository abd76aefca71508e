#include "main/reduction_services.h"

#include "app/ui_elements.h"
#include "framework/pipeline.h"
#include "reduction/reduction_component.h"

namespace orva {

void InstallReductionServices() {
    ThePipelineServices().createReduction = &CreateReductionFromScript;
    TheReductionServices().windowTreeRefresh = &UIWindowTreeRefresh;
}

}  // namespace orva
