#include <malloc.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/clib.h"
#include "common/cpu_info.h"
#include "framework/app_object.h"
#include "main/command_help.h"
#include "main/services.h"

int main(int argc, char** argv) {
    using namespace orva;
    // Blocks of a megabyte and more (frame bands, bitmaps, the GL driver's texture
    // storage) are mapped on their own and go back to the system when freed. By default
    // the C library raises that limit each time such a block is freed, up to 32 MB, and
    // then serves the next ones from the brk heap, which cannot shrink below the small
    // blocks allocated after them: stepping through a cube of 4096 x 4096 frames grew
    // the heap by 22 MB for good.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    // A file that reaches the size limit of the process (ulimit -f) fails its write, which the
    // save reports, instead of ending the program and what it holds unsaved.
    std::signal(SIGXFSZ, SIG_IGN);
    std::vector<std::string> words(argv + 1, argv + argc);
    // Asked for the usage text: answer it and end, before any window or settings file.
    if (CommandLineAsksHelp(words)) {
        WriteCommandLineHelp(stdout);
        return 0;
    }
    // The read kernels are written for MMX-class processors; every x86-64 has it.
    if ((CpuFeatures(nullptr) & kCpuMmx) == 0) {
        ClibMessageBoxDirect(
            nullptr, "This application requires an Intel(R) Pentium(R) 2 processor MMX intrinsics.",
            "", 0);
        return 0;
    }
    AppObject& app = TheApp();
    app.SetServices(DefaultAppServices());
    InstallProgramServices();
    const char* fail = std::getenv("ORVA_TEST_FAIL_CLIB");
    if (fail && std::strcmp(fail, "1") == 0) app.ForceClibFailure(true);
    int code = WinMain(app, words);
    app.Shutdown();
    return code;
}
