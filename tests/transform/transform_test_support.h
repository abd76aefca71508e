#pragma once
// What the settings and scaler tests share: the FSSave preference for one
// scope, a clean settings registry, and the section header of the scaling keys.
#include <gtest/gtest.h>

#include <string>

#include "framework/app_object.h"
#include "framework/keyword_file.h"
#include "io/data_set.h"

namespace orva::testing_transform {

// The section of the scaling settings with flags word 0.
inline std::string ScaleSection() { return "[{" + SectionNameOf(&kSingleFilterPropId, 0) + "}]"; }

class ScopedSaveServiceFiles {
public:
    explicit ScopedSaveServiceFiles(bool on) : old_(TheDataSetServices().saveServiceFiles) {
        TheDataSetServices().saveServiceFiles = on;
    }
    ~ScopedSaveServiceFiles() { TheDataSetServices().saveServiceFiles = old_; }
    ScopedSaveServiceFiles(const ScopedSaveServiceFiles&) = delete;
    ScopedSaveServiceFiles& operator=(const ScopedSaveServiceFiles&) = delete;

private:
    bool old_;
};

// Every test starts and ends without registered settings (the shared defaults
// are made by the first scaler).
class TransformTest : public ::testing::Test {
protected:
    void SetUp() override { TheApp().Properties().Clear(); }
    void TearDown() override { TheApp().Properties().Clear(); }
};

}  // namespace orva::testing_transform
