#pragma once
// Path helpers. Paths are byte texts with "/" separators and at most
// kPathMax bytes including the terminator; a path that does not fit is
// refused, never cut.
#include <cstddef>
#include <string>

namespace orva {

// PATH_MAX on Linux, terminator included.
constexpr size_t kPathMax = 4096;

// out = folder, a "/" when the folder is not empty and does not end in "/",
// then the name. With an extension (not null, not empty), the name's extension
// is replaced by it; with dotFlag the first '.' of the name becomes '_' first
// (a.b + ".log" -> a_b.log). `out` must hold kPathMax bytes. Fails (out emptied)
// without a name or when the result does not fit.
bool MakeFilePath(char* out, const char* folder, const char* name, const char* extension,
                  bool dotFlag);

// In place: the extension of the file name (from its last '.', never a '.' of a
// folder) is cut and `extension` appended. `size` is the buffer size. Returns
// the path, or nullptr (path unchanged) when the result would not fit.
char* PathSetExtension(char* path, const char* extension, size_t size = kPathMax);

// out = source without its extension, then `extension` (may be null or empty).
// out (kPathMax bytes) and source may be the same text but must not overlap
// otherwise. Fails (out emptied) when the source begins with '<', '>', ':' or
// '|', or when the result does not fit.
bool PathReplaceExtension(char* out, const char* source, const char* extension);

// out (kPathMax bytes) = a path related to `base`: the base without its extension,
// then `tail`, then `extension`; without an extension (null or empty) the base keeps
// its own; without a base (null or empty) `tail` and `extension` alone. Fails (out
// emptied) as PathReplaceExtension does, and when the result does not fit.
bool MakeRelatedPath(char* out, const char* base, const char* tail, const char* extension);

// In place: the extension's dot becomes `character` and a new dot is put before
// it (x.fit with '%' gives x.%fit). Returns the extension's new length (with
// its dot), 0 when the name has no extension (nothing changes), -1 when the
// result would not fit `size` (nothing changes: the extension is never cut).
int PathMarkExtension(char* path, char character, size_t size = kPathMax);

// out (kPathMax bytes) = the folder of the path, ending in "/"; returns its
// length, 0 (out emptied) when the path has no folder. With a null path, out
// is cut to its own folder in place.
size_t PathFolder(char* out, const char* path);
// Replaces *holder by the folder of the path; false (holder unchanged) when
// the path has none.
bool PathFolderDup(std::string* holder, const char* path);

// Length of the file name's extension with its dot (0 when none). The
// extension starts at the last '.' of the file name, never in a folder.
size_t PathExtensionLength(const char* path);
// The same, also cutting the extension off in place.
size_t PathRemoveExtension(char* path);
// Length of the file name with its extension (after the last "/").
size_t PathNameLength(const char* path);
// Offset where the file name begins; -1 and *length 0 when there is none (an
// empty path or one ending in "/"). length may be null.
int PathNameOffset(const char* path, size_t* length);
// Length of the file name without its extension; the extension's length (with
// its dot) goes to *extensionLength when given.
size_t PathNameSplit(const char* path, size_t* extensionLength);
// The path's length when it is absolute (leading "/") and has a file name, else 0.
size_t PathIsAbsoluteFile(const char* path);

// An absolute file path is copied unchanged; any other path is made absolute
// against the current directory with "." and ".." resolved (the file need not
// exist). Returns the result's length; when `size` is too small, the needed
// size (length + 1) without copying; 0 for an empty path or on failure.
size_t FullPathName(char* out, const char* path, size_t size);
// True when the path names an existing folder; a relative path is first
// replaced in place by its full path. False for sizes below kPathMax.
bool ResolveFolder(char* path, size_t size);
// True when the path names an existing regular file (not a folder or device).
bool FileExists(const char* path);

// Creates a new empty temporary file (mkstemp, mode 0600) and puts its name in
// out (kPathMax bytes). With a path (not null, not empty) it lies in the path's
// folder (the current directory for a bare name) and its prefix is the first
// three characters of the file name held in out on entry (out must then hold a
// terminated text), else `prefix`; when that folder refuses, or without a path,
// the temporary folder ($TMPDIR, else /tmp) is used. False (out emptied) when
// no file can be made.
bool MakeTempFile(char* out, const char* path, const char* prefix);
// The temporary folder: $TMPDIR when it is set and not empty, else "/tmp".
std::string TempFolder();
// The permission bits a file written to `target` through a temporary copy gets:
// those of the file there now (followed through a symbolic link), or what a plain
// create gives a new file, 0666 less the process umask.
unsigned ReplacementFileMode(const char* target);

// Renames an existing file to path.bak, replacing an older backup of that name.
// `size` is the room the name may take (terminator included): when fewer than
// 5 bytes remain for the suffix it is cut to fit (".b" or ".ba"); with fewer
// than 3 it fails. True for an empty path and when the file does not exist.
bool MakeBackupFile(const char* path, size_t size = kPathMax);
// Renames the file to path.bak. When that name exists: with `replace` it is
// replaced, else the first free one of path.bak0, path.bak1, ... is taken
// (10 to the power of the free characters, at most 4, names are tried); when
// the path is too long for the suffix, the file name is shortened. The final
// name goes to out (kPathMax bytes, may be null). False when the file cannot
// be renamed or no name is free.
bool MakeNumberedBackup(const char* path, char* out, bool replace);

}  // namespace orva
