#pragma once
// Where the program and the user's folders are, and the few folder operations
// the program needs.
#include <string>

namespace orva::platform {

// The longest path we handle, terminator included; longer paths are refused, never cut.
constexpr size_t kPathMax = 4096;

// The full path of the running program (from /proc/self/exe); empty when unknown.
std::string ExecutablePath();
// The user's application-data folder: $XDG_CONFIG_HOME when it is an absolute path,
// else $HOME/.config; empty when neither can be had. The folder may not exist yet.
std::string AppDataFolder();
// The user's documents folder: $XDG_DOCUMENTS_DIR when it is an absolute path, else
// the home folder; empty when neither can be had.
std::string DocumentsFolder();
// $HOME when it is an absolute path, else the password database's home folder.
std::string HomeFolder();
// The current directory, without a trailing "/" (except for "/" itself); empty on failure.
std::string CurrentDirectory();
// Creates the folder with every missing parent, each with `mode` (less the umask);
// true when the path names a directory afterwards (also when it existed already).
bool CreateFolder(const std::string& path, unsigned mode = 0777);
// True when the path names an existing directory (symbolic links followed).
bool IsDirectory(const std::string& path);
// A folder of this user alone under the session's runtime folder ($XDG_RUNTIME_DIR), else
// under $TMPDIR or /tmp: `name` followed by "-" and the user id, made with mode 0700 when
// missing. It is taken only when it is a real folder (no link) owned by this user that no
// one else may enter; empty otherwise, with the reason in *why when given.
std::string PrivateTempFolder(const std::string& name, std::string* why = nullptr);

}  // namespace orva::platform
