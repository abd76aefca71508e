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
        int status = -1;
        const std::string out = RunCommand(
            "/usr/bin/python3 -c \"import sys, numpy as np; from astropy.io import fits; "
            "fits.PrimaryHDU(np.zeros((10, 0), np.int16)).writeto(sys.argv[1], overwrite=True)\" '" +
                files_->File("zero.fits") + "' 2>&1",
            &status);
        return status == 0 ? std::string() : "zero.fits: " + out;
    }
};

}  // namespace orva::testing_program
