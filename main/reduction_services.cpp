#include "main/reduction_services.h"

#include "framework/pipeline.h"
#include "reduction/reduction_component.h"

namespace orva {

void InstallReductionServices() { ThePipelineServices().createReduction = &CreateReductionFromScript; }

}  // namespace orva
