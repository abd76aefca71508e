#pragma once
// Path helpers. Paths are byte texts with "/" separators and at most
// kPathMax bytes including the terminator; a path that does not fit is
// refused, never cut.
#include <cstddef>

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

}  // namespace orva
