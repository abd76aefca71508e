#pragma once
// FreeType faces found through fontconfig, shared by the bitmap and outline list
// builders. Faces are opened once per file and kept for the life of the process.
// UI thread only.
#include <ft2build.h>
#include FT_FREETYPE_H

#include <cstdint>

namespace orva::fontft {

struct FaceRequest {
    const char* family = nullptr;   // a family name, or null with a pattern
    const char* pattern = nullptr;  // a fontconfig pattern text (stock fonts)
    int32_t weight = 400;           // 1..1000 as in font parameter blocks
    bool italic = false;
};

struct FaceMatch {
    FT_Face face = nullptr;
    double pixelSize = 0;       // from the pattern, 0 when it names none
    bool needOblique = false;   // italic asked for, the face is upright
    bool needEmbolden = false;  // bold asked for, the face is regular
};

// Finds and opens the face of a request; "Arial" asks for Liberation Sans first and
// DejaVu Sans after it. False when neither fontconfig nor FreeType gives a face.
bool OpenFace(const FaceRequest& request, FaceMatch* match);

// The glyph index of an 8-bit character (Windows-1251 above 127); 0 (the missing
// glyph) for unassigned codes.
FT_UInt GlyphIndex(FT_Face face, uint8_t code);

// Windows-style cell metrics of a face at `emPixels`, scaled from the OS/2 table when
// it has one: ascent, descent and external leading in pixels (unrounded).
struct CellMetrics {
    double ascent = 0, descent = 0, externalLeading = 0, avgWidth = 0;
};
CellMetrics FaceCellMetrics(FT_Face face, double emPixels);

}  // namespace orva::fontft
