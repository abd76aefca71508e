#include "toolkit/font_ft.h"

#include <fontconfig/fontconfig.h>
#include FT_TRUETYPE_TABLES_H

#include <algorithm>
#include <cstdlib>
#include <map>
#include <string>
#include <utility>

#include "toolkit/font.h"

namespace orva::fontft {
namespace {

// Open faces by file and index (a handful per process), closed at exit.
std::map<std::pair<std::string, int>, FT_Face>& FaceCache() {
    static auto* cache = new std::map<std::pair<std::string, int>, FT_Face>;
    return *cache;
}

FT_Library gLibrary = nullptr;

// At exit: the faces, FreeType and fontconfig's configuration go, so that leak checks
// see only what is really lost.
void CloseAll() {
    for (auto& entry : FaceCache()) FT_Done_Face(entry.second);
    FaceCache().clear();
    if (gLibrary != nullptr) FT_Done_FreeType(gLibrary);
    gLibrary = nullptr;
    FcFini();
}

bool Ready() {
    static bool ready = [] {
        if (FcInit() != FcTrue) return false;
        if (FT_Init_FreeType(&gLibrary) != 0) {
            gLibrary = nullptr;
            FcFini();
            return false;
        }
        std::atexit(CloseAll);
        return true;
    }();
    return ready;
}

int FcWeightOf(int32_t weight) {
    if (weight <= 0) weight = 400;
    return FcWeightFromOpenType(std::min<int32_t>(weight, 1000));
}

bool IEquals(const char* a, const char* b) {
    for (; *a != '\0' && *b != '\0'; ++a, ++b) {
        char ca = (*a >= 'A' && *a <= 'Z') ? static_cast<char>(*a + 32) : *a;
        char cb = (*b >= 'A' && *b <= 'Z') ? static_cast<char>(*b + 32) : *b;
        if (ca != cb) return false;
    }
    return *a == *b;
}

FT_Face OpenFile(const char* file, int index) {
    auto key = std::make_pair(std::string(file), index);
    auto& cache = FaceCache();
    auto it = cache.find(key);
    if (it != cache.end()) return it->second;
    FT_Face face = nullptr;
    if (gLibrary == nullptr || FT_New_Face(gLibrary, file, index, &face) != 0) return nullptr;
    if (face->charmap == nullptr || face->charmap->encoding != FT_ENCODING_UNICODE) {
        FT_Select_Charmap(face, FT_ENCODING_UNICODE);
    }
    cache.emplace(key, face);
    return face;
}

}  // namespace

bool OpenFace(const FaceRequest& request, FaceMatch* match) {
    if (!Ready() || match == nullptr) return false;
    FcPattern* pattern = nullptr;
    if (request.pattern != nullptr) {
        pattern = FcNameParse(reinterpret_cast<const FcChar8*>(request.pattern));
    } else {
        pattern = FcPatternCreate();
        if (pattern != nullptr) {
            const char* family = request.family != nullptr ? request.family : "sans-serif";
            if (IEquals(family, "Arial")) {
                // The metric-compatible free face, then the project's base face.
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("Liberation Sans"));
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>("DejaVu Sans"));
            } else {
                FcPatternAddString(pattern, FC_FAMILY, reinterpret_cast<const FcChar8*>(family));
            }
            FcPatternAddInteger(pattern, FC_WEIGHT, FcWeightOf(request.weight));
            FcPatternAddInteger(pattern, FC_SLANT, request.italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        }
    }
    if (pattern == nullptr) return false;
    FcPatternAddBool(pattern, FC_SCALABLE, FcTrue);
    FcConfigSubstitute(nullptr, pattern, FcMatchPattern);
    FcDefaultSubstitute(pattern);
    FcResult result = FcResultNoMatch;
    FcPattern* found = FcFontMatch(nullptr, pattern, &result);
    double pixelSize = 0;
    if (request.pattern != nullptr && FcPatternGetDouble(pattern, FC_PIXEL_SIZE, 0, &pixelSize) != FcResultMatch) {
        pixelSize = 0;
    }
    bool wantBold = request.pattern == nullptr && request.weight >= 600;
    bool wantItalic = request.pattern == nullptr && request.italic;
    if (request.pattern != nullptr) {
        int weight = 0;
        if (FcPatternGetInteger(pattern, FC_WEIGHT, 0, &weight) == FcResultMatch) wantBold = weight >= FC_WEIGHT_DEMIBOLD;
    }
    FcPatternDestroy(pattern);
    if (found == nullptr) return false;
    FcChar8* file = nullptr;
    int index = 0;
    FT_Face face = nullptr;
    if (FcPatternGetString(found, FC_FILE, 0, &file) == FcResultMatch) {
        if (FcPatternGetInteger(found, FC_INDEX, 0, &index) != FcResultMatch) index = 0;
        face = OpenFile(reinterpret_cast<const char*>(file), index);
    }
    FcPatternDestroy(found);
    if (face == nullptr) return false;
    match->face = face;
    match->pixelSize = pixelSize;
    match->needOblique = wantItalic && (face->style_flags & FT_STYLE_FLAG_ITALIC) == 0;
    match->needEmbolden = wantBold && (face->style_flags & FT_STYLE_FLAG_BOLD) == 0;
    return true;
}

FT_UInt GlyphIndex(FT_Face face, uint8_t code) {
    uint32_t cp = gCp1251ToUnicode(code);
    if (cp == 0) return 0;
    return FT_Get_Char_Index(face, cp);
}

CellMetrics FaceCellMetrics(FT_Face face, double emPixels) {
    CellMetrics m;
    double upem = face->units_per_EM > 0 ? face->units_per_EM : 2048.0;
    double scale = emPixels / upem;
    auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(face, FT_SFNT_OS2));
    auto* hhea = static_cast<TT_HoriHeader*>(FT_Get_Sfnt_Table(face, FT_SFNT_HHEA));
    if (os2 != nullptr && os2->version != 0xFFFF && os2->usWinAscent + os2->usWinDescent > 0) {
        m.ascent = os2->usWinAscent * scale;
        m.descent = os2->usWinDescent * scale;
        m.avgWidth = os2->xAvgCharWidth * scale;
        if (hhea != nullptr) {
            double gap = hhea->Line_Gap - ((os2->usWinAscent + os2->usWinDescent) - (hhea->Ascender - hhea->Descender));
            m.externalLeading = std::max(0.0, gap) * scale;
        }
    } else {
        m.ascent = face->ascender * scale;
        m.descent = -face->descender * scale;
        m.externalLeading = std::max(0.0, (face->height - (face->ascender - face->descender)) * scale);
        m.avgWidth = emPixels * 0.5;
    }
    return m;
}

}  // namespace orva::fontft
