#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/clib.h"
#include "common/cpu_info.h"
#include "framework/app_object.h"
#include "main/display_services.h"
#include "main/menu_services.h"
#include "main/playback_services.h"
#include "main/processing_services.h"
#include "main/reduction_services.h"
#include "main/services.h"
#include "main/shape_services.h"
#include "main/transform_services.h"
#include "main/views_display_services.h"
#include "main/views_services.h"

int main(int argc, char** argv) {
    using namespace orva;
    // The read kernels are written for MMX-class processors; every x86-64 has it.
    if ((CpuFeatures(nullptr) & kCpuMmx) == 0) {
        ClibMessageBoxDirect(
            nullptr, "This application requires an Intel(R) Pentium(R) 2 processor MMX intrinsics.",
            "", 0);
        return 0;
    }
    AppObject& app = TheApp();
    app.SetServices(DefaultAppServices());
    InstallShapeServices();
    InstallProcessingServices();
    InstallReductionServices();
    InstallTransformServices();
    InstallDisplayServices();
    InstallViewsServices();
    InstallViewsDisplayServices();
    InstallPlaybackServices();
    InstallMenuServices();
    const char* fail = std::getenv("ORVA_TEST_FAIL_CLIB");
    if (fail && std::strcmp(fail, "1") == 0) app.ForceClibFailure(true);
    std::vector<std::string> words(argv + 1, argv + argc);
    int code = WinMain(app, words);
    app.Shutdown();
    return code;
}
