#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace orva {

// True when the words of the command line ask for the usage text ("--help" or "-h").
bool CommandLineAsksHelp(const std::vector<std::string>& words);
// Writes the usage text: the command line's form and its switches, one line each.
void WriteCommandLineHelp(std::FILE* out);

}  // namespace orva
