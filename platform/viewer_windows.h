#pragma once
// Windows of other programs that show one of our files (the viewer started on the log):
// found on the X display by the file their title names, raised, and asked to close.
#include <string>

namespace orva::platform {

// Whether a window title names the file: its full path, or its name without the folders
// standing as a word of its own (the characters around it are not part of a file name),
// as editors and terminals put it in their titles ("orva.log - Text Editor",
// "orva.log (~/.config/ZEL Lab) - VIM", "/home/u/.config/ZEL Lab/orva.log").
bool TitleNamesFile(const std::string& title, const std::string& path);

// The display is $DISPLAY, reached through a connection of its own, so that these work
// before the windows of the program exist and after they are gone. The program's own
// windows (those carrying its process id) never count.

// Whether a top-level window of another program names the file in its title; the first
// found is raised and asked to take the input focus.
bool RaiseWindowShowing(const std::string& path);

// Asks the first top-level window of another program whose title names the file to close
// (as its close box does: the program may still ask about unsaved changes). True when one
// was asked.
bool CloseWindowShowing(const std::string& path);

}  // namespace orva::platform
