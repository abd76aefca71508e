#pragma once

namespace orva {

class ComponentBase;
class ShapeItem;

// Lets the default chain of every opened file, and a script's `keloRD`, make its Reduction stage.
void InstallReductionServices();

// The measuring item of the Reduction in the chain of the project item that owns
// `stage`: where a statistic or slice shape drawn on a view of that stage's data goes.
// nullptr when the item is gone or has no Reduction.
ShapeItem* ReductionItemOfStage(ComponentBase* stage);

}  // namespace orva
