// The hand-over block a later start sends to a running instance (DecodeCommandBlock),
// read from any bytes, and its writer (EncodeCommandBlock).
//
// What must hold: a block that decodes is exactly the block its line encodes to (the
// form has one spelling), and no decoded text holds a NUL; any line built from the
// input (texts split at NUL bytes) encodes to a block that decodes back to that line.
#include <cstdint>
#include <string>

#include "fuzz/text_fuzz_support.h"
#include "platform/handover_socket.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace orva;
    const char* bytes = reinterpret_cast<const char*>(data);
    platform::CommandBlock line;
    if (platform::DecodeCommandBlock(bytes, size, &line)) {
        fuzz::Require(platform::EncodeCommandBlock(line) == std::string(bytes, size), "a decoded block encodes back");
        fuzz::Require(line.folder.find('\0') == std::string::npos, "the folder holds no NUL");
        for (const std::string& w : line.words) fuzz::Require(w.find('\0') == std::string::npos, "a word holds no NUL");
    } else {
        fuzz::Require(line == platform::CommandBlock(), "a refused block leaves an empty line");
    }
    // The input as a line: the folder, then words, split at NUL bytes.
    fuzz::InputParts in{data, size};
    platform::CommandBlock made;
    made.folder = in.Text(0, size);
    while (in.n > 0) made.words.push_back(in.Text(0, size));
    const std::string block = platform::EncodeCommandBlock(made);
    platform::CommandBlock back;
    fuzz::Require(platform::DecodeCommandBlock(block.data(), block.size(), &back), "an encoded line decodes");
    fuzz::Require(back == made, "an encoded line decodes to itself");
    // Every cut of a block is refused.
    if (block.size() > 1)
        fuzz::Require(!platform::DecodeCommandBlock(block.data(), block.size() - 1 - size % (block.size() - 1), &back),
                      "a cut block is refused");
    return 0;
}
