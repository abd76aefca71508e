#pragma once
// The colour converter: the second stage inside a Transformation component.
// After value scaling has turned data into intensities, it turns each
// intensity (or each pair or triple of channel intensities) into one RGB
// pixel through a working palette, filled from the chosen colour class or the
// user's palette and corrected once whenever the settings or the format change.
//
// Palette rebuilds and every change of the settings hold the display lock
// (DisplayLock()); the worker that runs the row converter holds it too.
// Everything else runs on the user-interface thread.
#include <cstdint>
#include <functional>

#include "framework/component.h"
#include "transform/color_rows.h"
#include "transform/color_settings.h"

namespace orva {

// The converter's own settings are embedded in it; its current settings are
// these or the shared defaults. The converter itself lives inside its
// component: AddRef answers 2 and Release 1, and neither counts anything.
class ColorConverter {
public:
    // Reads the settings file of the request (or copies the shared defaults
    // when it asks for a copy), makes sure the shared defaults exist, and uses
    // them when the request says so. No format yet: nothing is converted.
    ColorConverter(const SettingsRequest* request, uint32_t flags);
    // Stops using the shared defaults; the own settings are written to their
    // file when they have one (and FSSave is on).
    ~ColorConverter();
    ColorConverter(const ColorConverter&) = delete;
    ColorConverter& operator=(const ColorConverter&) = delete;

    // {"PLUG", 0, "CONV", "COLR"}.
    const ComponentId* GetClassId() const { return &kPlugColorId; }
    int AddRef() { return 2; }
    int Release() { return 1; }
    // Its own identity and {"BASE", 0, 0, 0} give the converter; every other
    // identity is asked of the current settings.
    bool QueryInterface(const ComponentId* id, void** out);
    // {"PROP", 0, "CONV", "COLR"}, {"PROP", 0, 0, 0} and {"BASE", 0, 0, 0} give
    // the current settings object with a reference added.
    bool QuerySettings(const ComponentId* id, PropertyComponent** out);

    ColorSettings& Current() { return *current; }
    bool UsesDefaults() const { return current != &own; }

    ColorSettings own;
    ColorSettings* current = &own;
    ComponentBase* owner = nullptr;
    PanelBuilder panel = nullptr;
    ColorFormat format;
    ColorQuant quant;  // L = 0 until a class is selected
    GammaTable gamma;
    PaletteTable palette;  // the working palette
    ColorRowFn row = ColorRowNone;
};

// Stores the owner and the colour panel's builder; fills `offered`, when
// given, with the format the converter offers downstream: data {0x40, 8 bits,
// 1 channel}, pixels {0x103, 1, 3 channels}.
void ColorConverterSetOwner(ColorConverter* converter, ComponentBase* owner, PanelBuilder panel,
                            ColorFormat* offered);
// Takes the data part (when its channel count and flags are set) and the pixel
// part (when its channel count and format word are set) and rebuilds. True
// when a row converter is in place or the format is not complete yet.
bool ColorConverterSetFormat(ColorConverter* converter, const ColorFormat& format);
// Selects a class for the format, the quantisation and the row converter, and
// builds the working palette (from the user palette for class 0). False, with
// nothing converted, when there is no class for the format, the channel count
// is not 1, 2 or 3, or memory is short.
bool ColorConverterSelectRow(ColorConverter* converter, int index);
// Selects a class (negative taken as 0) when it is not the current one or no
// row converter is in place.
bool ColorConverterSetClass(ColorConverter* converter, int index);
// Qbits limited to 0 … 8; on a change the palette is rebuilt and the users are
// told. False when nothing changed or the rebuild failed.
bool ColorConverterSetQbits(ColorConverter* converter, int qbits);
// Empties the user palette of the current settings; "Grey" replaces class 0.
bool ColorConverterDropUserPalette(ColorConverter* converter);
// Saves the palette in use: the user palette as loaded while class 0 shows it
// uncorrected, else the whole working palette. False without a working palette.
bool ColorConverterWritePalette(ColorConverter* converter, const char* path);
// Uses other settings (nullptr: the own ones): a reference is taken to the new
// settings and the old one released; the palette is rebuilt and the users
// told. False when they are the current settings already.
bool ColorConverterSetCurrentSettings(ColorConverter* converter, ColorSettings* settings);
// After a change of the current settings: rebuilds the palette, and every
// other converter's that uses the same shared defaults, then tells the users.
bool ColorConverterRefresh(ColorConverter* converter);
// Tells the owner's downstream components, invalidates the owner, repaints;
// with the shared defaults also the components of every other user of them.
void ColorConverterNotifyUsers(ColorConverter* converter);
// Changes the current settings under the display lock (the correction's
// derived values are recomputed), then refreshes.
bool ColorConverterEdit(ColorConverter* converter, const std::function<void(ColorSettings&)>& edit);

}  // namespace orva
