#pragma once
// Shared by the BMP, JPEG and SPE/LMA reader tests: fixture files made once per
// suite by a generator script, a private temporary folder for the decoded files
// (checked empty after every test), and opening a file through a reader.
#include <gtest/gtest.h>
#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "common/path_name.h"
#include "data_set_fixture.h"
#include "io/format_desc.h"
#include "io/formats/bmp/decoded_image.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva::testing_io {

// While it lives, no file of the process may grow past `bytes`: a write beyond fails
// (EFBIG) as it would on a full folder.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        getrlimit(RLIMIT_FSIZE, &old_);
        struct rlimit small = old_;
        small.rlim_cur = bytes;
        handler_ = std::signal(SIGXFSZ, SIG_IGN);
        setrlimit(RLIMIT_FSIZE, &small);
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, handler_);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    struct rlimit old_ {};
    void (*handler_)(int) = nullptr;
};

class ImageReaderFixture : public DataSetFixture {
protected:
    // Runs tests/io/<script> into a folder of the suite (in the temporary folder the run
    // started with); the folder, or "" when python3 or one of its modules is missing.
    std::string MakeFiles(const char* script, std::string* folder) const {
        if (folder->empty()) {
            std::string t = hadTmp && !oldTmp.empty() ? oldTmp : "/tmp";
            t += "/orva_images_XXXXXX";
            if (mkdtemp(t.data()) == nullptr) return "";
            const std::string cmd = std::string(ORVA_PYTHON " '") + ORVA_SOURCE_DIR + "/tests/io/" +
                                    script + "' '" + t + "' > '" + t + "/make.log' 2>&1";
            if (std::system(cmd.c_str()) != 0) {
                std::system(("rm -rf '" + t + "'").c_str());
                return "";
            }
            *folder = t;
        }
        return *folder;
    }
    static void RemoveFiles(std::string* folder) {
        if (!folder->empty()) std::system(("rm -rf '" + *folder + "'").c_str());
        folder->clear();
    }
    static std::vector<std::vector<std::string>> Manifest(const std::string& file) {
        std::vector<std::vector<std::string>> rows;
        std::ifstream in(file);
        std::string line;
        while (std::getline(in, line)) {
            std::istringstream s(line);
            std::vector<std::string> words;
            std::string w;
            while (s >> w) words.push_back(w);
            if (!words.empty()) rows.push_back(words);
        }
        return rows;
    }
    // The file's bytes ("" when it cannot be read).
    static std::string Bytes(const std::string& file) {
        std::ifstream in(file, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    void SetUp() override {
        DataSetFixture::SetUp();
        const char* old = getenv("TMPDIR");
        hadTmp = old != nullptr;
        if (old) oldTmp = old;
        tmp = dir + "/tmp";
        ASSERT_EQ(mkdir(tmp.c_str(), 0700), 0);
        setenv("TMPDIR", tmp.c_str(), 1);
        hooks = TheServiceDescriptionHooks();
        TheServiceDescriptionHooks() = {};
        budget = TheDecodeBudget();
    }
    void TearDown() override {
        // Decoded files are unlinked as soon as they are open: none may be left.
        EXPECT_EQ(TempEntries(), 0) << "files left in " << tmp;
        TheServiceDescriptionHooks() = hooks;
        TheDecodeBudget() = budget;
        if (hadTmp)
            setenv("TMPDIR", oldTmp.c_str(), 1);
        else
            unsetenv("TMPDIR");
        DataSetFixture::TearDown();
    }
    int TempEntries() const {
        int n = 0;
        if (DIR* d = opendir(tmp.c_str())) {
            while (dirent* e = readdir(d))
                if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") ++n;
            closedir(d);
        }
        return n;
    }
    // Opens the file with the reader's open; the data set goes to `keep`.
    int Open(const std::string& path, FormatOpenFn open, KeepReceiver* keep, const char* tag) {
        static FormatDesc desc;
        desc.tag = MakeFormatTag(tag);
        desc.name = tag;
        return OpenWithReader(&desc, path, keep, open);
    }
    // The bytes of the data set's file from its start.
    static std::string Stored(DataSet* d, size_t n) {
        std::string s(n, '\0');
        if (d == nullptr || d->stream == nullptr ||
            StreamRead(d->stream, 0, s.data(), n) != static_cast<int64_t>(n))
            return "";
        return s;
    }

    std::string tmp, oldTmp;
    bool hadTmp = false;
    ServiceDescriptionHooks hooks;
    DecodeBudget budget;
};

}  // namespace orva::testing_io
