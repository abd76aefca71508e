#pragma once
// A suite over the road's files and the bad files beside them, made once for the suite:
// the star field written by astropy cut in the middle of its data, an empty file, prose
// named like a FITS file, a folder named like one, and a whole header by astropy whose
// first axis is 0 long (no data follow it).
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "road_files.h"
#include "test_support.h"

namespace orva::testing_program {

class BadRoadFilesSuite : public ::testing::Test {
public:
    static void SetUpTestSuite() {
        if (!HaveRoadTools()) return;
        files_ = new testing_util::TempFolder;
        const std::string failure = MakeBadFiles();
        if (!failure.empty()) {
            ADD_FAILURE() << failure;
            TearDownTestSuite();
        }
    }
    static void TearDownTestSuite() {
        delete files_;
        files_ = nullptr;
    }

protected:
    // Null when the tools are missing or the files could not be made.
    static inline testing_util::TempFolder* files_ = nullptr;

private:
    static void Put32(std::string* s, uint32_t v) {
        for (int i = 0; i < 4; ++i) s->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
    }
    // A Windows bitmap of RLE8 (bits 8) or RLE4 (bits 4) declaring 65535 x 65535 pixels,
    // with a grey palette and 1 MB of runs of 255 pixels.
    static std::string RunLengthBomb(uint32_t bits) {
        const uint32_t colours = 1u << bits, offset = 54 + 4 * colours, size = 1u << 20;
        std::string s = "BM";
        for (uint32_t v : {offset + size, 0u, offset, 40u, 65535u, 65535u}) Put32(&s, v);
        s += std::string("\x01\x00", 2);                   // planes
        s += std::string(1, static_cast<char>(bits)) + '\0';  // bits per pixel
        for (uint32_t v : {bits == 8 ? 1u : 2u, size, 3780u, 3780u, colours, 0u}) Put32(&s, v);
        for (uint32_t i = 0; i < colours; ++i) Put32(&s, (i * 255 / (colours - 1)) * 0x010101u);
        for (uint32_t i = 0; i < size / 2; ++i) s += std::string("\xFF\x07", 2);
        return s;
    }

    static std::string MakeBadFiles() {
        std::string failure = MakeRoadFiles(files_->Path());
        if (!failure.empty()) return failure;
        const std::string whole = testing_util::ReadText(files_->File("int16.fits"));
        const size_t data = 2880, bytes = 200 * 150 * 2;
        if (whole.size() < data + bytes) return "int16.fits is shorter than its header and data";
        testing_util::WriteText(files_->File("cut.fits"), whole.substr(0, data + bytes / 2));
        testing_util::WriteText(files_->File("empty.fits"), "");
        testing_util::WriteText(files_->File("notes.fits"),
                                "Observing notes, night of the 12th.\nClouds after midnight; the seeing "
                                "was poor and the dome stayed shut until three.\n");
        mkdir(files_->File("folder.fits").c_str(), 0700);
        // Bitmap bombs: a megabyte of runs of 255 pixels declaring 65535 x 65535 pixels.
        testing_util::WriteText(files_->File("bomb8.bmp"), RunLengthBomb(8));
        testing_util::WriteText(files_->File("bomb4.bmp"), RunLengthBomb(4));
        // BITPIX values that FITS does not have, in an otherwise good header.
        const size_t bitpix = whole.find("BITPIX  =                   16");
        if (bitpix == std::string::npos) return "int16.fits has no BITPIX = 16 card";
        for (const char* value : {"-16", "  7"}) {
            std::string bad = whole;
            bad.replace(bitpix + 27, 3, value);
            testing_util::WriteText(files_->File(std::string("bitpix") + (value[0] == '-' ? "-16" : "7") + ".fits"),
                                    bad);
        }
        int status = -1;
        const std::string out = RunCommand(
            ORVA_PYTHON " -c \"import sys, numpy as np; from astropy.io import fits; "
            "fits.PrimaryHDU(np.zeros((10, 0), np.int16)).writeto(sys.argv[1], overwrite=True)\" '" +
                files_->File("zero.fits") + "' 2>&1",
            &status);
        return status == 0 ? std::string() : "zero.fits: " + out;
    }
};

}  // namespace orva::testing_program
