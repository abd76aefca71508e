#pragma once
// The Reduction that a view of its results answers to: the chart's statistics keys
// change the options of the Reduction whose output the chart shows, and, for a chart
// fed from elsewhere in the chain (a 1-D file shown straight from its Source), of the
// Reduction that takes its data from the same chain nearest to the chart.
namespace orva {

class ComponentBase;
class ReductionComponent;

// From `from` (the stage a view reads) up its chain: the first Reduction among the
// stages; else the Reduction fed from the chain in the fewest steps (the consumers of
// the stages, breadth first from the stage nearest to `from`). Null when none is found
// (or `from` is null or gone).
ReductionComponent* FindLinkedReduction(ComponentBase* from);

// `c` when it is a live Reduction, else null.
ReductionComponent* AsReduction(ComponentBase* c);

}  // namespace orva
