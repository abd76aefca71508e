#pragma once
// What the fuzz targets of the text parsers share: a private temporary folder for the
// files that reach a reader by name (made once, removed at exit), writing the input
// into it, reading a file back, checking that nothing else was left in the folder,
// and taking the parts of an input apart.
#include <dirent.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace orva::fuzz {

// The folder's entries other than "." and "..".
inline std::vector<std::string> FolderEntries(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* dir = opendir(folder.c_str())) {
        while (dirent* e = readdir(dir)) {
            const std::string name = e->d_name;
            if (name != "." && name != "..") names.push_back(name);
        }
        closedir(dir);
    }
    return names;
}

inline std::string& TextFuzzFolder() {
    static std::string folder;
    return folder;
}

inline void RemoveTextFuzzFolder() {
    const std::string& folder = TextFuzzFolder();
    if (folder.empty()) return;
    for (const std::string& name : FolderEntries(folder)) unlink((folder + "/" + name).c_str());
    rmdir(folder.c_str());
}

// The private folder of this run, made at the first call under $TMPDIR (else /tmp).
inline const std::string& PrivateFolder() {
    std::string& folder = TextFuzzFolder();
    if (folder.empty()) {
        const char* base = std::getenv("TMPDIR");
        std::string name = std::string(base != nullptr && base[0] != '\0' ? base : "/tmp") + "/orva_text_fuzz_XXXXXX";
        if (mkdtemp(name.data()) == nullptr) __builtin_trap();
        folder = name;
        std::atexit(&RemoveTextFuzzFolder);
    }
    return folder;
}

// A file of the private folder.
inline std::string PrivateFile(const char* name) { return PrivateFolder() + "/" + name; }

inline bool WriteWhole(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

inline std::string ReadWhole(const std::string& path) {
    std::string text;
    if (FILE* f = std::fopen(path.c_str(), "rb")) {
        char buffer[65536];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// Stops the run with the reason when the condition does not hold.
inline void Require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    __builtin_trap();
}

// Traps unless the private folder holds exactly the named files.
inline void CheckOnlyFiles(std::vector<std::string> names) {
    std::vector<std::string> found = FolderEntries(PrivateFolder());
    auto sorted = [](std::vector<std::string>& v) {
        for (size_t i = 1; i < v.size(); ++i)
            for (size_t j = i; j > 0 && v[j] < v[j - 1]; --j) std::swap(v[j], v[j - 1]);
    };
    sorted(found);
    sorted(names);
    Require(found == names, "only the expected files are left");
}

// Takes an input apart: single bytes, and texts ended by a separator byte.
struct InputParts {
    const uint8_t* p;
    size_t n;
    uint8_t Byte() {
        if (n == 0) return 0;
        --n;
        return *p++;
    }
    // The bytes up to `separator` (not kept) or the end, at most `limit` of them.
    std::string Text(uint8_t separator, size_t limit) {
        std::string text;
        while (n > 0 && text.size() < limit) {
            const uint8_t c = Byte();
            if (c == separator) break;
            text.push_back(static_cast<char>(c));
        }
        return text;
    }
    std::string Rest() {
        std::string text(reinterpret_cast<const char*>(p), n);
        p += n;
        n = 0;
        return text;
    }
};

}  // namespace orva::fuzz
