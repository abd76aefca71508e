#pragma once
// The program's two built-in filter modules: "affine" (held in a package with
// its once-only flag; every chain starts with it) and "convl".
#include "processing/filter_chain.h"

namespace orva {

FilterModulePackage& AffineModulePackage();
const FilterModuleDescriptor& ConvolverModuleDescriptor();

}  // namespace orva
