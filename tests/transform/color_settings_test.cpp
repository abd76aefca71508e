// The colour settings: the keys of their section, the lines written and a
// round trip through a real service file, the shared defaults and the
// converter's switch between its own settings and them.
#include "transform/color_settings.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "test_support.h"
#include "transform/color_converter.h"
#include "transform_test_support.h"

namespace orva {
namespace {

using testing_transform::ColourSection;
using testing_transform::ScopedSaveServiceFiles;
using testing_transform::Format;
using testing_transform::ReleaseDefaults;
using testing_transform::TransformTest;
using testing_util::ReadText;
using testing_util::TempFolder;
using testing_util::WriteText;

using Defaults = std::unique_ptr<ColorDefaults, ReleaseDefaults>;

ColorDefaults* RegisteredDefaults() {
    return dynamic_cast<ColorDefaults*>(TheApp().Properties().Find(&kTransformationPropId));
}

std::string Levels(const float v[4]) {
    char text[128];
    std::snprintf(text, sizeof text, "%g %g %g %g", v[0], v[1], v[2], v[3]);
    return text;
}

// Every value and flag, bit for bit.
void ExpectSameCorrection(const ColourCorrection& a, const ColourCorrection& b) {
    EXPECT_EQ(std::memcmp(a.amplification, b.amplification, sizeof a.amplification), 0);
    EXPECT_EQ(std::memcmp(a.effectiveAmplification, b.effectiveAmplification, sizeof a.amplification), 0);
    EXPECT_EQ(std::memcmp(a.blackLevel, b.blackLevel, sizeof a.blackLevel), 0);
    EXPECT_EQ(std::memcmp(a.effectiveBlackLevel, b.effectiveBlackLevel, sizeof a.blackLevel), 0);
    EXPECT_EQ(std::memcmp(a.gamma, b.gamma, sizeof a.gamma), 0);
    EXPECT_EQ(std::memcmp(a.effectiveGamma, b.effectiveGamma, sizeof a.gamma), 0);
    EXPECT_EQ(a.amplificationIsOne, b.amplificationIsOne);
    EXPECT_EQ(a.blackLevelIsZero, b.blackLevelIsZero);
    EXPECT_EQ(a.gammaIsOne, b.gammaIsOne);
    EXPECT_EQ(a.neutral, b.neutral);
    EXPECT_EQ(a.colorMask, b.colorMask);
    EXPECT_EQ(a.colorFlags, b.colorFlags);
}

class ColourSettingsTest : public TransformTest {
protected:
    bool ReadBody(ColorSettings* s, const std::string& body) {
        const std::string path = folder.File("section.cfg");
        WriteText(path, ColourSection() + "\n" + body);
        return s->Read(path.c_str());
    }
    TempFolder folder;
};

TEST_F(ColourSettingsTest, KeysAsTheyAreRead) {
    struct Row {
        const char* body;
        const char* check;  // what the settings hold afterwards
    };
    // Each section also sets Qbits 5, so that a refused key still leaves a section that was found.
    const Row rows[] = {
        {"CCClass=\"spectrum\"\n", "class 9"},
        {"CCClass=spectrum\n", "class 9"},
        {"CCClass='spectrum'\n", "class 9"},
        {"CCClass=<spectrum>\n", "class 9"},
        {"CCClass=spec\n", "class 8"},
        {"CCClass=Spec\n", "class 10"},
        {"CCClass=\"\"\n", "class 0"},
        {"CCClass=purple\n", "class 0"},
        {"Qbits=12\n", "qbits 8"},
        {"Qbits=-1\n", "qbits 5"},
        {"Amplification=250\n", "amp 100 1 1 1"},
        {"Amp=2, -300, 0.5\n", "amp 2 -100 0.5 1"},
        {"BlackLevel=0.25, 0.5\n", "black 0.25 0.5 0 0"},
        {"Level=-0.125\n", "black -0.125 0 0 0"},
        {"Gamma=0\n", "gamma 0.001 1 1 1"},
        {"Gamma=2.2, 20, 1, -1\n", "gamma 2.2 10 1 0.001"},
        {"Gamma=x\n", "gamma 1 1 1 1"},
        {"ColorMask=0xFF\n", "mask FF0000FF"},
        {"ColorMask=10203\n", "mask FFFFFFFF"},
        {"ColorMask=0xFFFF00FF\n", "mask FFFF00FF"},
        {"ColorMask=0x\n", "mask FFFFFFFF"},
        {"ColorFlags=0x48\n", "flags 48"},
        {"ColorFlags=zz\n", "flags 0"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.body);
        ColorSettings s;
        ASSERT_TRUE(ReadBody(&s, std::string("Qbits=5\n") + r.body));
        const ColourCorrection& c = s.correction;
        const std::string check = r.check;
        char text[64];
        if (check.rfind("class", 0) == 0) {
            EXPECT_EQ("class " + std::to_string(s.classIndex), check);
        } else if (check.rfind("qbits", 0) == 0) {
            EXPECT_EQ("qbits " + std::to_string(s.qbits), check);
        } else if (check.rfind("amp", 0) == 0) {
            EXPECT_EQ("amp " + Levels(c.amplification), check);
        } else if (check.rfind("black", 0) == 0) {
            EXPECT_EQ("black " + Levels(c.blackLevel), check);
        } else if (check.rfind("gamma", 0) == 0) {
            EXPECT_EQ("gamma " + Levels(c.gamma), check);
        } else if (check.rfind("mask", 0) == 0) {
            std::snprintf(text, sizeof text, "mask %X", c.colorMask);
            EXPECT_EQ(text, check);
        } else {
            std::snprintf(text, sizeof text, "flags %X", c.colorFlags);
            EXPECT_EQ(text, check);
        }
    }
    // Refused values are errors of their lines.
    ColorSettings s;
    const std::string log = testing_util::CapturedLog(
        [&] { ReadBody(&s, "Qbits=3\nQbits=-1\nCCClass=\"\"\nColorFlags=0xg\nCCClass=hsv\n"); });
    EXPECT_NE(log.find("$3: 'Qbits=-1' : bad cmd"), std::string::npos) << log;
    EXPECT_NE(log.find("$4: 'CCClass=\"\"' : bad cmd"), std::string::npos) << log;
    EXPECT_NE(log.find("$5: 'ColorFlags=0xg' : bad cmd"), std::string::npos) << log;
    EXPECT_EQ(s.classIndex, 2);  // "hsv" begins "hsv red"
    EXPECT_EQ(s.qbits, 3u);
}

TEST_F(ColourSettingsTest, LinesInTheirOrderAndAnExactRoundTrip) {
    ScopedSaveServiceFiles save(true);
    const std::string palette = folder.File("ramp.pal");
    WriteText(palette, "0\n0\n0\n10\n20\n30\n255\n128\n7\n");
    ColorSettings s;
    s.classIndex = 13;
    s.classRow = ColorClassAt(13);
    s.qbits = 5;
    ColourCorrection& c = s.correction;
    const float amp[4] = {2.2f, 0.1f, -3.3f, 1.0f};
    const float black[4] = {0.01f, 0.0f, -0.5f, 1e-3f};
    const float gamma[4] = {0.45f, 2.2f, 1.0f, 7.5f};
    std::memcpy(c.amplification, amp, sizeof amp);
    std::memcpy(c.blackLevel, black, sizeof black);
    std::memcpy(c.gamma, gamma, sizeof gamma);
    c.colorMask = 0xFFFF00FF;
    c.colorFlags = 0x72;
    RecomputeColourCorrection(&c);
    ASSERT_TRUE(s.LoadUserPalette(palette.c_str()));
    const std::string path = folder.File("data.fs");
    ASSERT_TRUE(s.Write(path.c_str()));

    const std::string text = ReadText(path);
    const std::string body = "CCClass=\"c6\"\nQbits=5\n"
                             "Amplification=2.2000000476837158, 0.10000000149011612, -3.2999999523162842, 1\n"
                             "BlackLevel=0.0099999997764825821, 0, -0.5, 0.0010000000474974513\n"
                             "Gamma=0.44999998807907104, 2.2000000476837158, 1, 7.5\n"
                             "ColorMask=0xFFFF00FF\nColorFlags=0x72\nPalette=\"" + palette + "\"\n";
    EXPECT_NE(text.find(ColourSection() + "\n" + body), std::string::npos) << text;

    ColorSettings back;
    ASSERT_TRUE(back.Read(path.c_str()));
    EXPECT_EQ(back.classIndex, 13);
    EXPECT_EQ(back.classRow, ColorClassAt(13));
    EXPECT_EQ(back.qbits, 5u);
    ExpectSameCorrection(back.correction, s.correction);
    EXPECT_EQ(back.paletteName, palette);
    ASSERT_EQ(back.userPalette.count, 3u);
    EXPECT_EQ(back.userPalette.Value(2, 1), 128u);

    // Without a selected row CCClass is not written; a section without CCClass reads as
    // class 0. A palette name whose file does not load is kept and written back, so that
    // a palette missing for a while is not forgotten.
    ColorSettings plain;
    plain.classIndex = 4;
    const std::string gone = folder.File("gone.pal");
    plain.paletteName = gone;
    const std::string other = folder.File("other.fs");
    ASSERT_TRUE(plain.Write(other.c_str()));
    const std::string written = ReadText(other);
    EXPECT_EQ(written.find("CCClass"), std::string::npos) << written;
    EXPECT_NE(written.find("\nPalette=\"" + gone + "\"\n"), std::string::npos) << written;
    ASSERT_TRUE(back.Read(other.c_str()));
    EXPECT_EQ(back.classIndex, 0);
    EXPECT_EQ(back.paletteName, gone);
    EXPECT_FALSE(back.HasUserPalette());
    // ... and is written back as it was read: still without CCClass, with the name.
    ColorSettings again;
    ASSERT_TRUE(again.Read(other.c_str()));
    EXPECT_EQ(again.classRow, nullptr);
    ASSERT_TRUE(again.Write(other.c_str()));
    EXPECT_EQ(ReadText(other), written);
    // Once the palette is there, it loads from the name that was kept.
    WriteText(gone, "1\n2\n3\n");
    ColorSettings found;
    ASSERT_TRUE(found.Read(other.c_str()));
    ASSERT_TRUE(found.HasUserPalette());
    EXPECT_EQ(found.userPalette.count, 1u);
    // Without a name nothing is written for it.
    ColorSettings none;
    ASSERT_TRUE(none.Write(other.c_str()));
    EXPECT_EQ(ReadText(other).find("Palette"), std::string::npos) << ReadText(other);
}

TEST_F(ColourSettingsTest, FilesAreWrittenOnlyWithTheServiceFilePreference) {
    const std::string path = folder.File("keep.fs");
    WriteText(path, "old\n");
    {
        ScopedSaveServiceFiles save(false);
        ColorSettings s;
        s.fileName = path;
        EXPECT_TRUE(s.Write(nullptr));
    }
    EXPECT_EQ(ReadText(path), "old\n");
    // With the preference the embedded settings of a converter write their file at the end.
    ScopedSaveServiceFiles save(true);
    SettingsRequest request;
    request.fileName = path.c_str();
    {
        ColorConverter c(&request, 0);
        ASSERT_TRUE(ColorConverterSetFormat(&c, Format(1)));
        EXPECT_TRUE(ColorConverterSetQbits(&c, 3));
    }
    EXPECT_NE(ReadText(path).find("Qbits=3\n"), std::string::npos) << ReadText(path);
    EXPECT_EQ(ReadText(path).rfind("old\n", 0), 0u);
    ColorConverter again(&request, 0);
    EXPECT_EQ(again.Current().qbits, 3u);
}

// The count of `part` in `text`.
size_t Count(const std::string& text, const std::string& part) {
    size_t n = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
    return n;
}

// The settings of a data file whose name holds ">" are saved in one block, in double
// quotes, however often they are saved, and read back each time.
TEST_F(ColourSettingsTest, ADataFileNameWithAnAngleBracketKeepsOneBlock) {
    ScopedSaveServiceFiles save(true);
    const std::string data = folder.File("x>y.fits");
    for (uint32_t qbits : {3u, 4u, 5u}) {
        ColorSettings s;
        s.fileName = "<NAME>" + data;
        s.qbits = qbits;
        s.correction.colorMask = 0xFFFFFFFFu ^ (0xFFu << (8 * (qbits - 3)));
        ASSERT_TRUE(s.Write(nullptr));
        const std::string text = ReadText(folder.File("x>y.fs"));
        EXPECT_EQ(Count(text, "SEL("), 1u) << text;
        EXPECT_EQ(text.rfind("SEL(URL=\"x>y.fits\")\n{\n " + ColourSection() + "\n", 0), 0u) << text;
        ColorSettings back;
        back.fileName = s.fileName;
        ASSERT_TRUE(back.Read(nullptr));
        back.fileName.clear();
        EXPECT_EQ(back.qbits, qbits);
        EXPECT_EQ(back.correction.colorMask, 0xFFFFFFFFu ^ (0xFFu << (8 * (qbits - 3))));
    }
}

// Two data files that share a service file: saving the settings of one keeps the other's
// block byte for byte, and each reads its own settings back.
TEST_F(ColourSettingsTest, AServiceFileOfTwoDataFilesKeepsTheOtherBlock) {
    ScopedSaveServiceFiles save(true);
    const std::string service = folder.File("m>31.fs");
    const std::string other = "SEL(URL=\"m>31.raw\")\n{\n " + ColourSection() +
                              "\nQbits=2\nColorMask=0xFF0000FF\n [{" + SectionNameOf(&kSingleFilterPropId, 0) +
                              "}]\nNMax=9\n}\n";
    WriteText(service, "// two data files\n" + other + "\nSEL(URL=\"m>31.fits\")\n{\n " + ColourSection() +
                           "\nQbits=7\n}\n");
    for (uint32_t qbits : {3u, 4u, 5u}) {
        ColorSettings s;
        s.fileName = "<NAME>" + folder.File("m>31.fits");
        s.qbits = qbits;
        ASSERT_TRUE(s.Write(nullptr));
        const std::string text = ReadText(service);
        EXPECT_EQ(text.find("// two data files\n" + other), 0u) << text;
        EXPECT_EQ(Count(text, "SEL("), 2u) << text;
        ColorSettings mine, theirs;
        mine.fileName = s.fileName;
        theirs.fileName = "<NAME>" + folder.File("m>31.raw");
        ASSERT_TRUE(mine.Read(nullptr));
        ASSERT_TRUE(theirs.Read(nullptr));
        EXPECT_EQ(mine.qbits, qbits);
        EXPECT_EQ(theirs.qbits, 2u);
        EXPECT_EQ(theirs.correction.colorMask, 0xFF0000FFu);
        // Only read here: settings with a file write it when they go.
        mine.fileName.clear();
        theirs.fileName.clear();
    }
}

TEST_F(ColourSettingsTest, ResetAndCopy) {
    Defaults d(ColorDefaults::Create());
    d->classIndex = 12;
    d->classRow = ColorClassAt(12);
    d->qbits = 4;
    d->correction.gamma[0] = 2.0f;
    RecomputeColourCorrection(&d->correction);
    ASSERT_TRUE(ReservePaletteEntries(&d->userPalette, 5));
    d->userPalette.count = 5;
    d->userPalette.data[14] = 99;
    d->paletteName = "five.pal";
    d->spare = 7;

    ColorSettings copy;
    copy.CopyFrom(*d);
    EXPECT_EQ(copy.classIndex, 12);
    EXPECT_EQ(copy.classRow, ColorClassAt(12));
    EXPECT_EQ(copy.qbits, 4u);
    EXPECT_FALSE(copy.correction.gammaIsOne);
    EXPECT_EQ(copy.userPalette.count, 5u);
    EXPECT_EQ(copy.userPalette.Value(4, 2), 99u);
    EXPECT_NE(copy.userPalette.data, d->userPalette.data);
    EXPECT_EQ(copy.paletteName, "five.pal");
    EXPECT_EQ(copy.spare, 7u);

    EXPECT_TRUE(d->Reset());
    EXPECT_EQ(d->classIndex, 0);
    EXPECT_EQ(d->classRow, nullptr);
    EXPECT_EQ(d->qbits, 8u);
    EXPECT_FALSE(d->HasUserPalette());
    EXPECT_TRUE(d->paletteName.empty());
    EXPECT_FALSE(d->Reset());
    // The embedded settings count nothing and make no copies.
    EXPECT_EQ(copy.AddRef(), 2);
    EXPECT_EQ(copy.Release(), 1);
    PropertyComponent* made = &copy;
    EXPECT_FALSE(copy.CreateInstance(&made));
    EXPECT_EQ(made, nullptr);
    ASSERT_TRUE(d->CreateInstance(&made));
    EXPECT_EQ(made->Release(), 0);
}

TEST_F(ColourSettingsTest, SharedDefaultsAndTheirUsers) {
    ColorConverter a(nullptr, 0x12345);
    EXPECT_EQ(a.own.flags, 0x2345u);
    // The first converter made and registered the defaults; the registry holds the only reference.
    ColorDefaults* defaults = RegisteredDefaults();
    ASSERT_NE(defaults, nullptr);
    EXPECT_EQ(defaults->RefCount(), 1);
    void* out = nullptr;
    EXPECT_TRUE(a.QueryInterface(&kPlugColorId, &out) && out == &a);
    EXPECT_TRUE(a.QueryInterface(&kBaseId, &out) && out == &a);
    EXPECT_TRUE(a.QueryInterface(&kTransformationPropId, &out) && out == static_cast<PropertyComponent*>(&a.own));
    EXPECT_FALSE(a.QueryInterface(&kPlugSingleFilterId, &out));
    PropertyComponent* settings = nullptr;
    EXPECT_TRUE(a.QuerySettings(&kPropId, &settings) && settings == &a.own);
    EXPECT_FALSE(a.QuerySettings(&kSingleFilterPropId, &settings));

    SettingsRequest shared;
    shared.useShared = 1;
    ColorConverter b(&shared, 0);
    ColorConverter c(&shared, 0);
    EXPECT_EQ(RegisteredDefaults(), defaults);
    EXPECT_EQ(TheApp().Properties().Count(), 1u);
    EXPECT_EQ(defaults->RefCount(), 3);
    EXPECT_TRUE(b.UsesDefaults());
    EXPECT_TRUE(b.QuerySettings(&kTransformationPropId, &settings) && settings == defaults);
    EXPECT_EQ(defaults->RefCount(), 4);
    settings->Release();
    for (ColorConverter* conv : {&a, &b, &c}) ASSERT_TRUE(ColorConverterSetFormat(conv, Format(1)));

    // An edit through one user of the defaults reaches the other, not the converter with its own settings.
    ASSERT_TRUE(ColorConverterEdit(&b, [](ColorSettings& s) { s.classIndex = 12; }));
    EXPECT_EQ(c.Current().classIndex, 12);
    EXPECT_EQ(c.palette.Value(255, 0), 198u);  // C8 at full scale
    EXPECT_EQ(a.palette.Value(255, 0), 255u);  // still grey
    EXPECT_TRUE(ColorConverterSetQbits(&c, 2));
    EXPECT_EQ(b.palette.Value(1, 0), 0u);  // quantised C8
    EXPECT_EQ(b.palette.Value(200, 0), c.palette.Value(200, 0));

    // Switching: the own settings come back; the defaults lose a reference.
    EXPECT_FALSE(ColorConverterSetCurrentSettings(&b, defaults));
    ASSERT_TRUE(ColorConverterSetCurrentSettings(&b, nullptr));
    EXPECT_FALSE(b.UsesDefaults());
    EXPECT_EQ(defaults->RefCount(), 2);
    EXPECT_EQ(b.Current().classIndex, 1);  // class 0 without a user palette is "Grey"
    EXPECT_EQ(b.palette.Value(255, 0), 255u);
    ASSERT_TRUE(ColorConverterSetCurrentSettings(&a, defaults));
    EXPECT_EQ(defaults->RefCount(), 3);
    EXPECT_EQ(a.palette.Value(255, 0), c.palette.Value(255, 0));
    ASSERT_TRUE(ColorConverterEdit(&c, [](ColorSettings& s) { s.classIndex = 1; }));
    EXPECT_EQ(a.palette.Value(255, 0), 255u);
    EXPECT_EQ(defaults->users.size(), 2u);

    // A converter that copies the defaults starts from their values and keeps its own.
    SettingsRequest copy;
    copy.copyShared = 1;
    ColorConverter d(&copy, 0);
    EXPECT_FALSE(d.UsesDefaults());
    EXPECT_EQ(d.Current().qbits, 2u);
}

TEST_F(ColourSettingsTest, ConverterEndsItsUseOfTheDefaults) {
    SettingsRequest shared;
    shared.useShared = 1;
    ColorDefaults* defaults = nullptr;
    {
        ColorConverter a(&shared, 0);
        defaults = RegisteredDefaults();
        ASSERT_NE(defaults, nullptr);
        EXPECT_EQ(defaults->RefCount(), 2);
        EXPECT_EQ(defaults->users.size(), 1u);
    }
    EXPECT_EQ(defaults->RefCount(), 1);
    EXPECT_TRUE(defaults->users.empty());
}

}  // namespace
}  // namespace orva
