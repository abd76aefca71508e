#pragma once
// The input of the raw_description target as the two files a user leaves in a folder: the
// data file f.dat and its service description f.fs beside it. The input is the
// description's key lines up to the first zero byte, then the data file's bytes.
//
// The loader picks the block of the .fs file by the data file's name without its folder,
// so the block is written under that name ("f.dat"): a block under any other name (the
// full path, say) is skipped and the key lines never reach the key parser.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "io/service_description.h"

namespace orva::fuzz {

inline constexpr char kRawDataName[] = "f.dat";
inline constexpr char kRawDescriptionName[] = "f.fs";

// The text of f.fs for the key lines.
inline std::string RawDescriptionScript(const std::string& keys) {
    return std::string("SEL(URL=\"") + kRawDataName + "\")\n{\n [{" + ServiceSectionName() + "}]\n" + keys + "\n}\n";
}

inline bool WriteRawFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

// Writes f.dat and f.fs of the input into the folder; false when a write failed.
inline bool WriteRawDescribedInput(const std::string& folder, const uint8_t* data, size_t size) {
    const uint8_t* zero = static_cast<const uint8_t*>(std::memchr(data, 0, size));
    const size_t keyBytes = zero ? static_cast<size_t>(zero - data) : size;
    const size_t skip = zero ? keyBytes + 1 : size;
    const std::string script = RawDescriptionScript(std::string(reinterpret_cast<const char*>(data), keyBytes));
    return WriteRawFile(folder + "/" + kRawDataName, data + skip, size - skip) &&
           WriteRawFile(folder + "/" + kRawDescriptionName, script.data(), script.size());
}

}  // namespace orva::fuzz
