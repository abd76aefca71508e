// The splitting of a source name into the URL that selects a settings block and the
// path of its service file (SplitSourceName). Input: a mode byte, then the name.
// Mode bit 0: the name is tagged as a data file's name ("<NAME>" before it), bit 1: a
// folder "/" + the input and a file name "/f.fits" are put around it.
//
// What must hold: a split answers a URL or a path (or both), within their limits; a path
// is absolute and, for a tagged file name, its extension is ".fs"; a tagged absolute
// file name of a plain folder (no "<", no "|" in front, at least one byte of name) gives
// the file's own name as its URL and the name with its extension replaced as its path;
// a failed split leaves everything empty.
#include <cstdint>
#include <string>

#include "common/paths.h"
#include "framework/keyword_file.h"
#include "fuzz/text_fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    fuzz::InputParts in{data, size};
    const uint8_t mode = in.Byte();
    std::string name = in.Text(0, size);
    if (mode & 2) name = "/" + name + "/f.fits";
    const std::string text = (mode & 1 ? "<NAME>" : "") + name;

    std::string url = "x", path = "y";
    bool hasUrl = true;
    const bool ok = SplitSourceName(text.c_str(), &url, &hasUrl, &path);
    if (!ok) {
        fuzz::Require(url.empty() && path.empty() && !hasUrl, "a failed split leaves nothing");
        return 0;
    }
    fuzz::Require(hasUrl == !url.empty(), "a URL is there when it is said to be");
    fuzz::Require(hasUrl || !path.empty(), "a split answers a URL or a path");
    fuzz::Require(url.size() <= kMaxUrlLength && path.size() < kPathMax, "within the limits");
    if (!path.empty()) fuzz::Require(path[0] == '/', "a path is absolute");
    if (!path.empty() && hasUrl && path.back() != '/')
        fuzz::Require(path.size() >= 3 && path.compare(path.size() - 3, 3, ".fs") == 0, "a block's file is a .fs file");

    // A plain tagged file name: the URL is the file's name, the path its service file.
    if ((mode & 3) == 3 && name.find('<') == std::string::npos && text.size() < 4000) {
        const size_t slash = name.rfind('/');
        const std::string file = name.substr(slash + 1);
        const std::string stem = name.substr(0, name.size() - 5);   // ".fits" off
        fuzz::Require(url == file, "the URL is the file's name");
        fuzz::Require(path == stem + ".fs", "the path is the name with .fs");
    }
    return 0;
}
