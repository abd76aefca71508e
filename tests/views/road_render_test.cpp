// The road from a data file to the pixels of its view, without a window: files written
// by astropy and Pillow are opened into a project with the real default chain, a
// consumer that takes what the image device takes (8-bit RGB) pulls the whole first
// frame from the item's Transformation stage, and every pixel is compared with the
// rendering that tests/main/road_reference.py computes in numpy from the file alone.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

#include "app/cui.h"
#include "framework/display_lock.h"
#include "io/data_set_fixture.h"
#include "io/format_registry.h"
#include "opened_file_support.h"
#include "processing/processing_component.h"
#include "reduction/reduction_component.h"
#include "source_test_support.h"
#include "transform/transformation.h"
#include "views/open_data_files.h"
#include "views/source_component.h"

namespace orva {
namespace {

using testing_views::StandInChain;
using testing_views::TestUi;

const std::string kReference =
    ORVA_PYTHON " '" ORVA_SOURCE_DIR "/tests/main/road_reference.py'";

std::vector<uint8_t> ReadBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in),
                                std::istreambuf_iterator<char>());
}

// What the reference shows for a frame of a file.
struct Reference {
    int64_t width = 0, height = 0;
    double low = 0, high = 0;
    std::vector<uint8_t> rgb;  // rows in data order, 3 bytes a pixel
};

// The reference over the default range, or over low .. high when given.
bool RenderReference(const std::string& file, int frame, const std::string& range, Reference* r) {
    const std::string out = file + ".reference.rgb";
    int status = -1;
    const std::string text = testing_io::RunCommand(
        kReference + " render '" + file + "' '" + out + "' " + std::to_string(frame) + range,
        &status);
    std::istringstream in(text);
    if (status != 0 || !(in >> r->width >> r->height >> r->low >> r->high)) {
        ADD_FAILURE() << "reference failed for " << file << ": " << text;
        return false;
    }
    r->rgb = ReadBytes(out);
    std::remove(out.c_str());
    return r->rgb.size() == static_cast<size_t>(r->width * r->height * 3);
}
bool RenderReference(const std::string& file, int frame, Reference* r) {
    return RenderReference(file, frame, "", r);
}
bool RenderReference(const std::string& file, int frame, double low, double high, Reference* r) {
    char range[64];
    std::snprintf(range, sizeof range, " %.17g %.17g", low, high);
    return RenderReference(file, frame, std::string(range), r);
}

bool ReferenceStatistics(const std::string& file, int frame, double* min, double* max, double* mean,
                         double* sigma) {
    int status = -1;
    const std::string text = testing_io::RunCommand(
        kReference + " stats '" + file + "' " + std::to_string(frame), &status);
    std::istringstream in(text);
    return status == 0 && static_cast<bool>(in >> *min >> *max >> *mean >> *sigma);
}

// A consumer that takes what the 2-D device takes: unsigned 8-bit RGB.
class RgbConsumer : public ConsumerLink {
public:
    RgbConsumer() : ConsumerLink(nullptr) {}
    void OnUpstreamChanged() override {}
    bool AcceptFormat(FormatRequest* r) override {
        offers.push_back(r->format);
        return (r->format & 0x1FF) == 0x101 && r->channels == 3;
    }
    std::vector<uint32_t> offers;
};

using testing_views::FindStage;

class RoadRenderTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!testing_io::HaveTool(ORVA_PYTHON " -c 'import astropy.io.fits, PIL, numpy'"))
            return;
        files_ = new testing_util::TempFolder;
        int status = -1;
        const std::string out =
            testing_io::RunCommand(kReference + " make '" + files_->Path() + "' 2>&1", &status);
        if (status != 0) {
            ADD_FAILURE() << out;
            delete files_;
            files_ = nullptr;
        }
    }
    static void TearDownTestSuite() {
        delete files_;
        files_ = nullptr;
    }

    void SetUp() override {
        if (files_ == nullptr) GTEST_SKIP() << "astropy, Pillow or numpy not installed";
        RegisterBuiltinFormats(TheFormatRegistry(), &inputs_, &outputs_);
        savedUi_ = ThePipelineServices().defaultUi;
        ThePipelineServices().defaultUi = &ui_;
        ThePipelineServices().createProcessing = &CreateProcessingFromScript;
        ThePipelineServices().createTransformation = &CreateTransformationFromScript;
        ThePipelineServices().createReduction = &CreateReductionFromScript;
        InstallOpenRoad();
    }
    void TearDown() override {
        if (files_ == nullptr) return;
        ConsumerDetach(&consumer_);
        CUIShutdown(&cui_);
        TheOpenRoad() = OpenRoad{};
        ThePipelineServices().defaultUi = savedUi_;
        ReleaseFormats(TheFormatRegistry());
        TheFormatRegistry().input.Clear();
        TheFormatRegistry().input.current = 0;
        CloseAllStreams();
    }

    // Opens a file of the suite's folder into a project and connects the consumer to
    // its Transformation stage; the stage, or nullptr.
    TransformationComponent* Open(const std::string& name) {
        OpenParameters request;
        Project* slot = nullptr;
        EXPECT_EQ(OpenFileIntoProject(&cui_, &slot, &request, files_->File(name).c_str()), 2)
            << name;
        if (slot == nullptr || slot->currentItem.load() == nullptr) return nullptr;
        ComponentBase* source = slot->currentItem.load()->currentSource.load();
        if (source == nullptr) return nullptr;
        source_ = dynamic_cast<SourceComponent*>(source);
        auto* stage = dynamic_cast<TransformationComponent*>(FindStage(source, &kTransformationId));
        if (stage == nullptr) return nullptr;
        if (!ConsumerAttach(&consumer_, stage)) {
            ADD_FAILURE() << name << ": the Transformation refused 8-bit RGB";
            return nullptr;
        }
        return stage;
    }

    // Pulls a whole frame of `width` x `height` pixels; its RGB rows, packed.
    std::vector<uint8_t> PullFrame(int64_t width, int64_t height) {
        PullResult r;
        r.window.frame = r.window.section = -1;
        r.window.width = static_cast<int32_t>(width);
        r.window.height = static_cast<int32_t>(height);
        PullRequest request;
        request.readAgain = 1;
        int32_t code;
        {
            std::lock_guard<std::recursive_mutex> hold(DisplayLock());
            code = ComponentPull(&consumer_, &r, &request);
        }
        EXPECT_EQ(code, 3);
        EXPECT_EQ(
            std::pair(static_cast<int64_t>(r.window.width), static_cast<int64_t>(r.window.height)),
            std::pair(width, height));
        std::vector<uint8_t> rgb;
        if (code != 3 || r.image.data == nullptr) return rgb;
        const auto* base = static_cast<const uint8_t*>(r.image.data);
        for (int64_t y = 0; y < height; ++y) {
            const uint8_t* row = base + y * r.image.rowBytes;
            rgb.insert(rgb.end(), row, row + width * 3);
        }
        return rgb;
    }

    // The view's range equals low .. high up to rounding.
    static void ExpectRange(TransformationComponent* stage, double low, double high) {
        const ScaleSettings& s = stage->scaler.Current();
        const double tolerance = 1e-9 * std::max({1.0, std::fabs(low), std::fabs(high)});
        EXPECT_NEAR(s.min, low, tolerance);
        EXPECT_NEAR(s.max, high, tolerance);
    }

    // Every pixel within one level of the reference; the worst few are reported.
    static void ExpectSamePixels(const std::vector<uint8_t>& got, const Reference& want,
                                 const std::string& what) {
        ASSERT_EQ(got.size(), want.rgb.size()) << what;
        int off = 0, worst = 0;
        for (size_t i = 0; i < got.size(); ++i) {
            const int d = std::abs(int(got[i]) - int(want.rgb[i]));
            worst = std::max(worst, d);
            if (d > 1 && ++off <= 5) {
                const size_t pixel = i / 3;
                ADD_FAILURE() << what << ": pixel (" << pixel % want.width << ", "
                              << pixel / want.width << ") channel " << i % 3 << " is "
                              << int(got[i]) << ", want " << int(want.rgb[i]);
            }
        }
        EXPECT_EQ(off, 0) << what << ": " << off << " channel values off by more than 1 (worst "
                          << worst << ")";
    }

    static inline testing_util::TempFolder* files_ = nullptr;
    TestUi ui_;
    CUI cui_;
    RgbConsumer consumer_;
    SourceComponent* source_ = nullptr;
    int inputs_ = 0, outputs_ = 0;
    ComponentUi* savedUi_ = nullptr;
};

// The files (tests/main/road_reference.py writes them) and what the rules give them.
struct RoadFile {
    const char* name;
    bool statedRange;  // the file states its range (DATAMIN/DATAMAX, bitmaps, JPEG)
    bool cube;         // three frames
    // NaN (or blank) samples in every frame: a whole column and a block [x0, x1) x [y0, y1)
    // (none: -1).
    int nanColumn, x0, y0, x1, y1;
};
constexpr RoadFile kFiles[] = {{"int16.fits", false, false, -1, 0, 0, 0, 0},
                               {"float.fits", false, false, 17, 100, 40, 130, 52},
                               {"blank.fits", false, false, 17, 150, 120, 180, 130},
                               {"cube.fits", false, true, -1, 0, 0, 0, 0},
                               {"noise.fits", false, false, -1, 0, 0, 0, 0},
                               {"range.fits", true, false, -1, 0, 0, 0, 0},
                               {"stated.fits", true, true, 5, 30, 10, 60, 20},
                               {"rgb.bmp", true, false, -1, 0, 0, 0, 0},
                               {"photo.jpg", true, false, -1, 0, 0, 0, 0},
                               {"grey.jpg", true, false, -1, 0, 0, 0, 0}};

// Whatever range the view took, the pixels are the file's physical values through
// "range" over it and the "Grey" palette: one channel grey, three channels true
// colour, samples without a value black.
TEST_F(RoadRenderTest, PixelsFollowTheRangeTheViewTook) {
    for (const RoadFile& f : kFiles) {
        SCOPED_TRACE(f.name);
        TransformationComponent* stage = Open(f.name);
        ASSERT_NE(stage, nullptr);
        const ScaleSettings& s = stage->scaler.Current();
        ASSERT_LT(s.min, s.max);
        Reference want;
        ASSERT_TRUE(RenderReference(files_->File(f.name), 0, s.min, s.max, &want));
        const std::vector<uint8_t> got = PullFrame(want.width, want.height);
        ExpectSamePixels(got, want, f.name);
        if (f.nanColumn >= 0 && got.size() == want.rgb.size()) {
            // The NaN column and block are black, whatever the range.
            auto black = [&](int64_t x, int64_t y) {
                const uint8_t* p = &got[(y * want.width + x) * 3];
                return p[0] == 0 && p[1] == 0 && p[2] == 0;
            };
            int lit = 0;
            for (int64_t y = 0; y < want.height; ++y) lit += !black(f.nanColumn, y);
            for (int64_t y = f.y0; y < f.y1; ++y)
                for (int64_t x = f.x0; x < f.x1; ++x) lit += !black(x, y);
            EXPECT_EQ(lit, 0);
        }
        ConsumerDetach(&consumer_);
    }
}

// The range a view takes from its source: the range the file states, when it has one.
TEST_F(RoadRenderTest, AViewTakesTheRangeTheFileStates) {
    for (const RoadFile& f : kFiles) {
        if (!f.statedRange) continue;
        SCOPED_TRACE(f.name);
        Reference want;
        ASSERT_TRUE(RenderReference(files_->File(f.name), 0, &want));
        TransformationComponent* stage = Open(f.name);
        ASSERT_NE(stage, nullptr);
        ExpectRange(stage, want.low, want.high);
        ExpectSamePixels(PullFrame(want.width, want.height), want, f.name);
        ConsumerDetach(&consumer_);
    }
}

// Without a stated range the view takes the statistics of the first frame: the
// extremes when the spread reaches them, else mean - 2 sigma .. mean + 4 sigma.
TEST_F(RoadRenderTest, AFitsFileWithoutARangeShowsItsStatistics) {
    for (const RoadFile& f : kFiles) {
        if (f.statedRange) continue;
        SCOPED_TRACE(f.name);
        Reference want;
        ASSERT_TRUE(RenderReference(files_->File(f.name), 0, &want));
        TransformationComponent* stage = Open(f.name);
        ASSERT_NE(stage, nullptr);
        ExpectRange(stage, want.low, want.high);
        ExpectSamePixels(PullFrame(want.width, want.height), want, f.name);
        ConsumerDetach(&consumer_);
    }
}

// When its input changes, the view takes mean - 2 sigma .. mean + 4 sigma of the
// current frame in physical units, sigma with the divisor n - 1 and samples without
// a value left out; a cube's third frame once it is selected.
TEST_F(RoadRenderTest, ANewInputTakesTheSigmaRangeOfTheCurrentFrame) {
    for (const RoadFile& f : kFiles) {
        for (int frame : {0, 2}) {
            if (frame != 0 && !f.cube) continue;
            SCOPED_TRACE(std::string(f.name) + " frame " + std::to_string(frame));
            TransformationComponent* stage = Open(f.name);
            ASSERT_NE(stage, nullptr);
            if (frame != 0) {
                FrameMessage select(kMsgSelectPosition, frame, 0);
                ASSERT_TRUE(source_->OnMessage(&select, 0));
            }
            source_->SourceInputChanged();
            double min = 0, max = 0, mean = 0, sigma = 0;
            ASSERT_TRUE(
                ReferenceStatistics(files_->File(f.name), frame, &min, &max, &mean, &sigma));
            ExpectRange(stage, mean - 2 * sigma, mean + 4 * sigma);
            const ScaleSettings& s = stage->scaler.Current();
            Reference want;
            ASSERT_TRUE(RenderReference(files_->File(f.name), frame, s.min, s.max, &want));
            ExpectSamePixels(PullFrame(want.width, want.height), want, f.name);
            ConsumerDetach(&consumer_);
        }
    }
}

}  // namespace
}  // namespace orva
