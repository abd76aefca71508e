#pragma once
// What many tests need: temporary folders, whole-file reads and writes, and
// capture of the program log.
#include <dirent.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "common/log.h"

namespace orva::testing_util {

class TempFolder {
public:
    TempFolder() {
        const char* base = std::getenv("TMPDIR");
        std::string pattern = std::string(base && *base ? base : "/tmp") + "/orva_test_XXXXXX";
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        if (mkdtemp(buffer.data()) != nullptr) path_ = buffer.data();
    }
    ~TempFolder() {
        std::error_code error;
        if (!path_.empty()) std::filesystem::remove_all(path_, error);
    }
    std::string File(const std::string& name) const { return path_ + "/" + name; }
    std::vector<std::string> Files() const {
        std::vector<std::string> names;
        if (DIR* dir = opendir(path_.c_str())) {
            while (dirent* e = readdir(dir)) {
                std::string n = e->d_name;
                if (n != "." && n != "..") names.push_back(n);
            }
            closedir(dir);
        }
        return names;
    }

private:
    std::string path_;
};

inline void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

inline std::string ReadText(const std::string& path) {
    std::string text;
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) return "<missing>";
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
    std::fclose(f);
    return text;
}

// Sends the program log to a file for the life of the object.
class ProgramLogCapture {
public:
    ProgramLogCapture() {
        path_ = folder_.File("program.log");
        Path() = path_;
        LogResetForTest();
        LogSetOpener([]() -> FILE* { return std::fopen(Path().c_str(), "w"); });
    }
    ~ProgramLogCapture() { LogResetForTest(); }
    std::string Text() {
        LogPrintf(nullptr);  // closes (and flushes) the log; the next line reopens it
        return ReadText(path_);
    }

private:
    static std::string& Path() {
        static std::string path;
        return path;
    }
    TempFolder folder_;
    std::string path_;
};

}  // namespace orva::testing_util
