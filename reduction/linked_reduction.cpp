#include "reduction/linked_reduction.h"

#include <algorithm>
#include <cstddef>
#include <vector>

#include "framework/component.h"
#include "framework/component_id.h"
#include "reduction/reduction_component.h"

namespace orva {

namespace {

// A chain longer than this is taken as a loop.
constexpr size_t kMostStages = 64;
// The most stages the search looks at.
constexpr size_t kMostVisits = 1024;

}  // namespace

ReductionComponent* AsReduction(ComponentBase* c) {
    if (c == nullptr || !ComponentIsLive(c) || !SameComponentId(c->GetClassId(), &kReductionId)) return nullptr;
    return dynamic_cast<ReductionComponent*>(c);
}

ReductionComponent* FindLinkedReduction(ComponentBase* from) {
    std::vector<ComponentBase*> seen;
    for (ComponentBase* c = from; c != nullptr && ComponentIsLive(c) && seen.size() < kMostStages;
         c = ComponentUpstream(c)) {
        if (ReductionComponent* r = AsReduction(c)) return r;
        if (std::find(seen.begin(), seen.end(), c) != seen.end()) break;
        seen.push_back(c);
    }
    // The consumers of the chain, breadth first from the stage nearest to `from`.
    for (size_t next = 0; next < seen.size() && seen.size() < kMostVisits; ++next) {
        for (ConsumerLink* link = seen[next]->firstLink; link != nullptr; link = link->next) {
            ComponentBase* consumer = link->owner;
            if (consumer == nullptr || !ComponentIsLive(consumer)) continue;
            if (ReductionComponent* r = AsReduction(consumer)) return r;
            if (std::find(seen.begin(), seen.end(), consumer) == seen.end()) seen.push_back(consumer);
        }
    }
    return nullptr;
}

}  // namespace orva
