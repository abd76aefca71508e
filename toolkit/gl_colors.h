#pragma once
// The toolkit's colour model and GL set-up: 32-bit colour words with 7-bit channels,
// a shade index and a window colour slot; the two shade tables of every window; the
// pixel-format search and the optional GL extensions.
#include <cstdint>

namespace orva {

struct gWindow;

// The skin's shade record: nine shade offsets, nine shade parameters, fifteen slots.
struct gShadeRecord {
    uint32_t offsets[9];
    uint32_t parameters[9];
    uint32_t slots[15];
};
// The "Default" skin's values.
extern const gShadeRecord kDefaultShadeRecord;

// A window's colour state.
struct gColourTable {
    uint32_t highlight[2];             // 0xFF000000 after construction
    float background[3];               // background red, green, blue as 0..1
    uint32_t backCache;                // masked colour the background table was built from
    uint8_t backShades[11][3];
    uint32_t shadeOffsets[9];
    uint32_t widgetCache;
    uint8_t widgetShades[11][3];
    uint32_t shadeParameters[9];
    uint32_t slots[15];                // colour slots 1..15
    uint32_t backCurrent;              // the current background colour (24 colour bits)
};

constexpr uint32_t kColourInherit = 0x70000000u;
constexpr uint32_t kFirstWidgetShadeColour = 0x045A6262u;
constexpr uint32_t kDefaultBackgroundColour = 0x04625A5Au;
constexpr uint32_t kDefaultColourSet = 0x04484848u;

uint32_t gColorFromSlot(const gWindow* window, int n);
uint32_t gColorResolve(const gWindow* window, uint32_t colour);
uint32_t gColorDelta(uint32_t base, uint32_t delta);
uint32_t gWinApplyBackColor(gWindow* window, uint32_t colour, uint32_t* current);
uint32_t gWinApplyBackColorOr(gWindow* window, uint32_t colour, uint32_t fallback, uint32_t* current);
void gWinBackShades(gWindow* window, uint32_t colour);
void gColorShades(gWindow* window, uint32_t colour);
void gColorShadesInto(uint8_t table[11][3], const uint32_t parameters[9], uint32_t colour);
// Sets the GL colour from a colour word (the window's context must be current).
void gColorSet(gWindow* window, uint32_t colour);

// Copies the skin's shade record into the window and applies the colour set.
void gWinApplySkinColours(gWindow* window, const gShadeRecord* record);
// Applies a colour set (a colour word) as the window's background; the inherit value
// takes the toolkit's colour set value. Null window: the current window.
void gWinSetColors(gWindow* window, uint32_t colours);
// The toolkit's colour set value (kDefaultColourSet until changed, restored at shut-down).
uint32_t& gColourSetValue();

// Pixel format: chooses and sets the format of the window's surface; 0 success, 1 failure.
int gChoosePixelFormat(gWindow* window);
// Once per process, with a context current: logs the GL strings, loads the extensions.
void gInitExtensions();
bool gHasExtension(const char* extensions, const char* name);

// Extension entry points (null when absent).
struct gGlExtensions {
    void* addSwapHintRect = nullptr;
    void* activeTexture = nullptr;
    void* multiTexCoord2f = nullptr;
    void* multiTexCoord2fv = nullptr;
    void* clientActiveTexture = nullptr;
    void* lockArrays = nullptr;
    void* unlockArrays = nullptr;
};
extern gGlExtensions gGlExt;
// Clears the once-flags (tests).
void gResetGlOnceFlagsForTest();

}  // namespace orva
