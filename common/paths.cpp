#include "common/paths.h"

#include <cstring>

namespace orva {

namespace {

// Offset of the file name (just past the last "/").
size_t NameOffset(const char* path, size_t length) {
    size_t i = length;
    while (i > 0 && path[i - 1] != '/') --i;
    return i;
}

// Offset of the extension's dot within the file name, or `length` when none.
size_t ExtensionOffset(const char* path, size_t length) {
    size_t name = NameOffset(path, length);
    for (size_t i = length; i > name; --i)
        if (path[i - 1] == '.') return i - 1;
    return length;
}

}  // namespace

char* PathSetExtension(char* path, const char* extension, size_t size) {
    if (path == nullptr || size == 0) return nullptr;
    size_t length = std::strlen(path);
    size_t keep = ExtensionOffset(path, length);
    size_t extLength = extension ? std::strlen(extension) : 0;
    // Check first, so a path at the limit never loses its old extension silently.
    if (keep + extLength >= size) return nullptr;
    if (extLength) std::memcpy(path + keep, extension, extLength);
    path[keep + extLength] = '\0';
    return path;
}

bool MakeFilePath(char* out, const char* folder, const char* name, const char* extension,
                  bool dotFlag) {
    if (out == nullptr) return false;
    out[0] = '\0';
    if (name == nullptr || name[0] == '\0') return false;
    size_t folderLength = folder ? std::strlen(folder) : 0;
    size_t nameLength = std::strlen(name);
    size_t separator = (folderLength > 0 && folder[folderLength - 1] != '/') ? 1 : 0;
    size_t total = folderLength + separator + nameLength;
    if (nameLength >= kPathMax || total >= kPathMax) return false;
    if (folderLength) std::memcpy(out, folder, folderLength);
    if (separator) out[folderLength] = '/';
    char* namePart = out + folderLength + separator;
    std::memcpy(namePart, name, nameLength);
    out[total] = '\0';
    if (extension != nullptr && extension[0] != '\0') {
        if (dotFlag) {
            char* dot = std::strchr(namePart, '.');
            if (dot) *dot = '_';
        }
        if (PathSetExtension(out, extension, kPathMax) == nullptr) {
            out[0] = '\0';
            return false;
        }
    }
    return true;
}

}  // namespace orva
