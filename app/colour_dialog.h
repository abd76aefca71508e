#pragma once
// The colour dialog of the background-colour menu: the colour in use, its red, green and
// blue levels (0..255) to type, one swatch for each colour of the view's list, OK and
// Cancel. Modal over its owner; UI thread only.
#include <cstdint>
#include <vector>

namespace orva {

struct gWindow;

// Colour words carry 7-bit channels (0x04BBGGRR); the dialog shows and reads 8-bit
// levels. The conversions round to the nearest level.
uint32_t ColourWordFromLevels(int red, int green, int blue);
void ColourLevelsOfWord(uint32_t word, int* red, int* green, int* blue);

// Runs the dialog starting from `*colour`; `swatches` are colour words offered for a
// click. True, with `*colour` set to the chosen word, when the user pressed OK; false
// when cancelled or when another modal dialog is open.
bool RunColourDialog(gWindow* owner, uint32_t* colour, const std::vector<uint32_t>& swatches);

}  // namespace orva
