#pragma once
// The colour settings of a view: the colour class, the quantisation, the
// colour correction and a user palette. They live in the colour converter of
// each Transformation component and, once per program, as the shared defaults
// ("Common Properties") that converters may use instead; both read and write
// themselves as a section of a service file.
//
// Every change of settings that a converter may be building from holds the
// display lock (DisplayLock()).
#include <cstdint>
#include <string>
#include <vector>

#include "framework/keyword_file.h"
#include "transform/color_classes.h"
#include "transform/colour_correction.h"
#include "transform/palette_table.h"
#include "transform/settings_base.h"

namespace orva {

class ColorConverter;

// The format a converter works with, in two parts. Data: format flags (a
// colour class is chosen only with 0x40, 64-bit reals), bits per value and
// the channel count (1, 2 or 3 are converted). Pixels: the pixel-format word
// (0x100 with bit 0 or 1; bit 1 = 16-bit palette entries and pixels) and the
// pixel channel count (3; 4 marks a 4-channel working palette).
struct ColorFormat {
    uint32_t flags = 0;
    uint32_t bits = 0;
    uint32_t channels = 0;
    uint32_t dataExtra[3] = {0, 0, 0};
    uint32_t pixelFormat = 0;
    uint32_t pixelWord = 0;
    uint32_t pixelChannels = 0;
    uint32_t pixelExtra[3] = {0, 0, 0};
};

// The settings and their interface. Embedded in a converter they count
// nothing (AddRef answers 2, Release 1) and make no copies of themselves.
class ColorSettings : public SettingsObject {
public:
    // Class 0, Qbits 8, neutral correction, no palette; class id {"PROP", 0, "CONV", "COLR"}.
    ColorSettings();
    // Writes the settings into their file when they have one (and FSSave is on).
    ~ColorSettings() override;

    int AddRef() override { return 2; }
    int Release() override { return 1; }
    bool CreateInstance(PropertyComponent** out) override;
    // Colour settings keep nothing per class.
    void SaveClassParams() override {}
    void LoadClassParams() override {}
    // Reads the colour section of the file (the settings file when `path` is
    // null); a palette it names is loaded afterwards. A missing section leaves
    // the settings as they were.
    bool Read(const char* path) override;
    // Writes the section while the preference FSSave is on; succeeds without
    // writing otherwise.
    bool Write(const char* path) override;
    // Class 0, Qbits 8, no user palette; true when anything changed. The
    // selected row is cleared.
    bool Reset() override;

    // Loads a palette file into the user palette (keeping the name on success).
    bool LoadUserPalette(const char* path);
    void DropUserPalette();
    // Class, Qbits, correction, user palette, the spare word, the selected row
    // and the palette file name of another settings object.
    void CopyFrom(const ColorSettings& other);
    // Chooses the class for a format: only 64-bit real data into 3-channel
    // pixels of 8 or 16 bits get one. The index is limited to the catalogue;
    // 0 (the user palette) becomes 1 ("Grey") while the user palette is empty.
    // The row, or nullptr (the selected row is then cleared).
    const ColorClassDesc* SelectColorClass(int index, const ColorFormat& format);
    bool HasUserPalette() const { return userPalette.count > 0 && userPalette.data != nullptr; }

    int32_t classIndex = 0;  // 0 is the user palette
    uint32_t qbits = 8;      // 0 … 8
    ColourCorrection correction;
    PaletteTable userPalette;
    uint32_t spare = 0;  // copied with the settings, used by nothing
    const ColorClassDesc* classRow = nullptr;
    std::string paletteName;
};

// The shared colour defaults ("Common Properties"): counted (atomically),
// registered with the application object under their class id by the first
// converter. They also know the converters that use them, so that an edit
// reaches every one of them.
class ColorDefaults final : public CountedSettings<ColorSettings, ColorDefaults> {
public:
    // The converters that use the defaults (under the display lock).
    std::vector<ColorConverter*> users;

private:
    friend class CountedSettings<ColorSettings, ColorDefaults>;
    ColorDefaults() = default;
};

// The registered shared defaults with a reference added, or nullptr; with
// `create` set they are made and registered first when the registry has none.
inline ColorDefaults* AcquireColorDefaults(bool create) {
    return AcquireSharedDefaults<ColorDefaults>(&kTransformationPropId, create);
}

// What a colour section holds. The key "CCClass" is written only for a
// selected row, "Palette" only for a name (that of the user palette, or one read from
// the settings whose palette did not load).
struct ColorSection {
    int32_t classIndex = 0;
    const ColorClassDesc* classRow = nullptr;
    uint32_t qbits = 8;
    ColourCorrection correction;
    std::string paletteName;
};

// The colour keys of a section, written in the order CCClass, Qbits,
// Amplification, BlackLevel, Gamma, ColorMask, ColorFlags, Palette.
bool WriteColorSection(KeywordFile* file, const ColorSection& section, char lead);
// The keyword table of the colour keys (prepared once per program).
KeywordTable& ColorKeywordTable();

}  // namespace orva
