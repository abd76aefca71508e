#include "app/open_road.h"

namespace orva {

OpenRoad& TheOpenRoad() {
    static OpenRoad road;
    return road;
}

}  // namespace orva
