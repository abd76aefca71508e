#include "main/views_services.h"

#include "views/open_data_files.h"

namespace orva {

void InstallViewsServices() { InstallOpenRoad(); }

}  // namespace orva
