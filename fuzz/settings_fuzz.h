#pragma once
// What the fuzz targets of the settings sections share: one settings object reads its
// section of any file through its real Read and writes it back through its real Write.
// Input: an options byte (bit 0: the settings of a data file, in its block of a
// service file; else a file of its own without a URL), then the file.
//
// What must hold:
//  - a file the reader refuses is refused by the writer and stays as it was;
//  - after a write, the file reads back to settings that write the same section (both
//    written into a new file give the same text);
//  - a second write leaves the file byte for byte as it was;
//  - nothing but the file is left in the folder.
// The settings read are noted as the baseline of their section, as the program notes
// them, so that the writes merge with the file as it stands.
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "fuzz/text_fuzz_support.h"
#include "framework/keyword_file.h"
#include "io/data_set.h"

namespace orva::fuzz {

// Ops: Object* Make(); void Drop(Object*); bool Read(Object*, const char* name);
// bool Write(Object*, const char* name); bool kUrl (whether a URL is tried).
template <class Ops>
int FuzzSettings(const uint8_t* data, size_t size) {
    // The settings write their files only with the service-file preference.
    TheDataSetServices().saveServiceFiles = true;
    InputParts in{data, size};
    const bool url = Ops::kUrl && (in.Byte() & 1) != 0;
    const std::string content = in.Rest();
    const std::string folder = PrivateFolder();
    const std::string path = folder + "/d.fs";
    const std::string name = url ? "<NAME>" + folder + "/d.fits" : path;
    const std::string fresh = url ? "<NAME>" + folder + "/e.fits" : folder + "/e.fs";
    if (!WriteWhole(path, content.data(), content.size())) __builtin_trap();

    ForgetSettingsBaselines();
    auto* a = Ops::Make();
    const bool read = Ops::Read(a, name.c_str());
    {
        BaselineRecording recording;
        Ops::Write(a, name.c_str());
    }
    CheckOnlyFiles({"d.fs"});
    Require(ReadWhole(path) == content, "noting a baseline writes nothing");
    const bool written = Ops::Write(a, name.c_str());
    CheckOnlyFiles({"d.fs"});
    if (!read) {
        Require(!written, "a file the reader refuses is refused by the writer");
        Require(ReadWhole(path) == content, "a refused file stays as it was");
    } else {
        Require(written, "a file the reader takes is written");
        const std::string once = ReadWhole(path);
        auto* b = Ops::Make();
        Require(Ops::Read(b, name.c_str()), "a written file reads back");
        Require(Ops::Write(a, fresh.c_str()), "the settings read are written into a new file");
        const std::string mine = ReadWhole(folder + "/e.fs");
        unlink((folder + "/e.fs").c_str());
        Require(Ops::Write(b, fresh.c_str()), "the settings read back are written into a new file");
        if (std::getenv("ORVA_FUZZ_DUMP") != nullptr)
            std::fprintf(stderr, "--- file\n%s--- first\n%s--- second\n%s---\n", once.c_str(), mine.c_str(),
                         ReadWhole(folder + "/e.fs").c_str());
        Require(ReadWhole(folder + "/e.fs") == mine, "the settings read back write the same section");
        unlink((folder + "/e.fs").c_str());
        Ops::Drop(b);
        Require(Ops::Write(a, name.c_str()), "a second write succeeds");
        Require(ReadWhole(path) == once, "a second write leaves the file as it was");
        CheckOnlyFiles({"d.fs"});
    }
    Ops::Drop(a);
    unlink(path.c_str());
    return 0;
}

}  // namespace orva::fuzz
