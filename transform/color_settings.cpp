#include "transform/color_settings.h"

#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <new>

#include "common/number_parse.h"
#include "framework/display_lock.h"
#include "common/text.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

ColorSection* Target(ParseState* state) { return static_cast<ColorSection*>(state->context); }


int ClassHandler(const char* value, ParseState* state) {
    const char* text;
    size_t length;
    ClassKeyText(value, &text, &length);
    const int index = length > 0 ? FindColorClass(text, length) : -1;
    if (index < 0) return -1;
    Target(state)->classIndex = index;
    Target(state)->classRow = ColorClassAt(index);
    return 1;
}

// A decimal count: a negative one is refused, one above 8 becomes 8.
int QbitsHandler(const char* value, ParseState* state) {
    const char* p = value;
    while (IsBlank(*p)) ++p;
    if (*p == '-') return -1;
    if (*p == '+') ++p;
    uint32_t v = 0;
    int digits = 0;
    for (; *p >= '0' && *p <= '9'; ++p, ++digits) v = v > 8 ? v : v * 10 + static_cast<uint32_t>(*p - '0');
    while (IsBlank(*p)) ++p;
    if (digits == 0 || *p != '\0') return -1;
    Target(state)->qbits = v > 8 ? 8 : v;
    return 1;
}

// 1 to 4 reals, each limited to low … high; the others keep their values.
template <int Low100, int High100>
int LevelsInto(const char* value, float levels[4]) {
    double v[4];
    const int n = ParseDoubleValue(value, v);
    if (n < 1) return n;
    constexpr double low = Low100 / 100.0, high = High100 / 100.0;
    for (int c = 0; c < n; ++c) levels[c] = static_cast<float>(v[c] < low ? low : (v[c] > high ? high : v[c]));
    return 1;
}

int AmplificationHandler(const char* value, ParseState* state) {
    return LevelsInto<-10000, 10000>(value, Target(state)->correction.amplification);
}

int BlackLevelHandler(const char* value, ParseState* state) {
    return LevelsInto<-10000, 10000>(value, Target(state)->correction.blackLevel);
}

// At least 0.001 as a 32-bit real.
int GammaHandler(const char* value, ParseState* state) {
    float* gamma = Target(state)->correction.gamma;
    const int result = LevelsInto<0, 1000>(value, gamma);
    for (int c = 0; c < 4; ++c) gamma[c] = gamma[c] < 0.001f ? 0.001f : gamma[c];
    return result;
}

// Each of the low three bytes is on (0xFF) when it is not 0; the fourth stays on.
int ColorMaskHandler(const char* value, ParseState* state) {
    uint32_t v;
    if (!ParseHexWord(value, &v)) return -1;
    uint32_t mask = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        if ((v >> (8 * c)) & 0xFF) mask |= 0xFFu << (8 * c);
    }
    Target(state)->correction.colorMask = mask;
    return 1;
}

int ColorFlagsHandler(const char* value, ParseState* state) {
    uint32_t v;
    if (!ParseHexWord(value, &v)) return -1;
    Target(state)->correction.colorFlags = v;
    return 1;
}

// A path in double quotes or angle brackets, else the whole value without
// surrounding blanks.
int PaletteHandler(const char* value, ParseState* state) {
    char* quoted = nullptr;
    if (QuotedValueDup(value, &quoted) > 0) {
        Target(state)->paletteName = quoted;
        std::free(quoted);
        return Target(state)->paletteName.empty() ? -1 : 1;
    }
    const char* text;
    size_t length;
    ClassKeyText(value, &text, &length);
    // A quote that did not read (not closed, a bad escape) is no plain path.
    if (length == 0 || *text == '"' || *text == '<' || (length > 1 && text[0] == '%' && text[1] == '"')) return -1;
    Target(state)->paletteName.assign(text, length);
    return 1;
}

KeywordName kClassName[] = {{"CCClass", 0}, {nullptr, 0}};
KeywordName kQbitsName[] = {{"Qbits", 0}, {nullptr, 0}};
KeywordName kAmplificationName[] = {{"Amplification", 0}, {"Amp", 0}, {nullptr, 0}};
KeywordName kBlackLevelName[] = {{"BlackLevel", 0}, {"Level", 0}, {nullptr, 0}};
KeywordName kGammaName[] = {{"Gamma", 0}, {nullptr, 0}};
KeywordName kColorMaskName[] = {{"ColorMask", 0}, {nullptr, 0}};
KeywordName kColorFlagsName[] = {{"ColorFlags", 0}, {nullptr, 0}};
KeywordName kPaletteName[] = {{"Palette", 0}, {nullptr, 0}};

KeywordDescriptor kClassKey{kClassName, &ClassHandler};
KeywordDescriptor kQbitsKey{kQbitsName, &QbitsHandler};
KeywordDescriptor kAmplificationKey{kAmplificationName, &AmplificationHandler};
KeywordDescriptor kBlackLevelKey{kBlackLevelName, &BlackLevelHandler};
KeywordDescriptor kGammaKey{kGammaName, &GammaHandler};
KeywordDescriptor kColorMaskKey{kColorMaskName, &ColorMaskHandler};
KeywordDescriptor kColorFlagsKey{kColorFlagsName, &ColorFlagsHandler};
KeywordDescriptor kPaletteKey{kPaletteName, &PaletteHandler};

KeywordDescriptor* const kColorDescriptors[] = {&kClassKey,     &kQbitsKey,      &kAmplificationKey,
                                                &kBlackLevelKey, &kGammaKey,      &kColorMaskKey,
                                                &kColorFlagsKey, &kPaletteKey,    nullptr};

// Prepares the table during static initialisation.
const bool kColorTablePrepared = ColorKeywordTable().Prepared();

bool FourLevels(KeywordFile* file, char lead, const char* key, const float v[4]) {
    return SectionLine(file, lead, "%s=%.17g, %.17g, %.17g, %.17g\n", key, double(v[0]), double(v[1]),
                       double(v[2]), double(v[3]));
}

bool PrintColorSection(KeywordFile* file, const void* record, char lead) {
    return WriteColorSection(file, *static_cast<const ColorSection*>(record), lead);
}

}  // namespace

KeywordTable& ColorKeywordTable() {
    static KeywordTable table(kColorDescriptors);
    return table;
}

bool WriteColorSection(KeywordFile* file, const ColorSection& s, char lead) {
    if (file == nullptr) return false;
    if (s.classRow != nullptr && s.classRow->key[0] != '\0' &&
        !SectionLine(file, lead, "CCClass=\"%s\"\n", s.classRow->key))
        return false;
    const ColourCorrection& c = s.correction;
    if (!SectionLine(file, lead, "Qbits=%u\n", s.qbits) || !FourLevels(file, lead, "Amplification", c.amplification) ||
        !FourLevels(file, lead, "BlackLevel", c.blackLevel) || !FourLevels(file, lead, "Gamma", c.gamma) ||
        !SectionLine(file, lead, "ColorMask=0x%X\n", c.colorMask) ||
        !SectionLine(file, lead, "ColorFlags=0x%X\n", c.colorFlags))
        return false;
    return s.paletteName.empty() ||
           SectionLine(file, lead, "Palette=%s\n", ScriptQuotedText(s.paletteName).c_str());
}

// ---- The settings ----------------------------------------------------------------------

ColorSettings::ColorSettings() : SettingsObject(&kTransformationPropId) {
    ResetColourCorrectionFully(&correction);
}

ColorSettings::~ColorSettings() {
    if (!fileName.empty()) ColorSettings::Write(fileName.c_str());
}

bool ColorSettings::CreateInstance(PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    return false;
}

bool ColorSettings::Read(const char* path) {
    auto section = std::unique_ptr<ColorSection>(new (std::nothrow) ColorSection);
    if (section == nullptr) return false;
    ResetColourCorrectionFully(&section->correction);
    bool found = false;
    const bool ok = ReadSection(path, ColorKeywordTable(), section.get(), &found);
    if (ok && found) {
        Guard lock(DisplayLock());
        qbits = section->qbits > 8 ? 8 : section->qbits;
        classIndex = section->classIndex;
        // The row of the class the section names, so that writing the settings back
        // keeps it even when no converter selected it meanwhile; a section that names
        // none is written back without one.
        classRow = section->classRow != nullptr ? ColorClassAt(classIndex) : nullptr;
        correction = section->correction;
        RecomputeColourCorrection(&correction);
    }
    if (ok && found && !section->paletteName.empty() && !LoadUserPalette(section->paletteName.c_str())) {
        // The file is missing or bad now (the loader has said why): the settings still
        // name it, so that it is written back and tried again at the next start.
        Guard lock(DisplayLock());
        userPalette.Clear();
        paletteName = section->paletteName;
    }
    return ok;
}

bool ColorSettings::Write(const char* path) {
    if (!SaveServiceFilesOn()) return true;
    ColorSection section;
    try {
        Guard lock(DisplayLock());
        section.classIndex = classIndex;
        section.classRow = classRow;
        section.qbits = qbits;
        section.correction = correction;
        // A name whose palette did not load is kept too (see Read).
        section.paletteName = paletteName;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return WriteSection(path, &PrintColorSection, &section);
}

bool ColorSettings::Reset() {
    Guard lock(DisplayLock());
    const bool changed = classIndex != 0 || qbits != 8 || userPalette.data != nullptr;
    classIndex = 0;
    qbits = 8;
    userPalette.Clear();
    paletteName.clear();
    classRow = nullptr;
    return changed;
}

bool ColorSettings::LoadUserPalette(const char* path) {
    PaletteTable loaded;
    if (!LoadPaletteText(&loaded, path)) return false;
    try {
        std::string name = path;
        Guard lock(DisplayLock());
        userPalette.Swap(loaded);
        paletteName.swap(name);
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void ColorSettings::DropUserPalette() {
    Guard lock(DisplayLock());
    userPalette.Clear();
    paletteName.clear();
}

void ColorSettings::CopyFrom(const ColorSettings& other) {
    if (&other == this) return;
    Guard lock(DisplayLock());
    classIndex = other.classIndex;
    qbits = other.qbits;
    correction = other.correction;
    if (!CopyPaletteTable(&userPalette, other.userPalette)) userPalette.Clear();
    spare = other.spare;
    classRow = other.classRow;
    try {
        paletteName = other.paletteName;
    } catch (const std::bad_alloc&) {
        paletteName.clear();
    }
}

const ColorClassDesc* ColorSettings::SelectColorClass(int index, const ColorFormat& f) {
    const bool colour = (f.flags & 0x40) && f.pixelChannels == 3 && (f.pixelFormat & 0x100) && (f.pixelFormat & 3);
    const int n = CountColorClasses();
    if (!colour || n < 2) {
        classRow = nullptr;
        return nullptr;
    }
    if (index >= n) index = n - 1;
    if (index <= 0) index = HasUserPalette() ? 0 : 1;
    classIndex = index;
    classRow = ColorClassAt(index);
    return classRow;
}

}  // namespace orva
