#include "main/command_help.h"

namespace orva {

bool CommandLineAsksHelp(const std::vector<std::string>& words) {
    for (const std::string& w : words)
        if (w == "--help" || w == "-h") return true;
    return false;
}

void WriteCommandLineHelp(std::FILE* out) {
    if (out == nullptr) return;
    std::fputs(
        "Usage: orva [file ...] [-command [argument ...]] ...\n"
        "  file ...                      open the files\n"
        "  -open, -o file ...            open the files\n"
        "  -close, -c file ...           close the files\n"
        "  -allclose                     close all files\n"
        "  -newinstance, -newinst        run a new instance instead of handing the line to the running one\n"
        "  -exitdialog disable|enable    turn the question on leaving off or on\n"
        "  -exit                         leave the program\n"
        "  -keylist, -key                write every command to cmdlist.txt in the program folder\n"
        "  -h, --help                    show this text and end\n"
        "A command begins with \"-\" (or \"--\"): a name beginning with \"/\" is a file.\n",
        out);
}

}  // namespace orva
