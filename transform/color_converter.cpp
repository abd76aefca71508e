#include "transform/color_converter.h"

#include <cmath>
#include <memory>
#include <mutex>
#include <new>

#include "framework/display_lock.h"

namespace orva {

namespace {

using Guard = std::lock_guard<std::recursive_mutex>;

// The ramp of a working palette: entry i is the intensity i / 255 (8-bit) or
// i / 65535 (16-bit), from 0 up to just below 2.0.
constexpr double kRampStep8 = 0.00392156862745098;
constexpr double kRampStep16 = 1.5259021896696422e-5;

// The users of shared defaults are known to them (under the display lock).
void AddUser(ColorSettings* settings, ColorConverter* c) {
    if (auto* shared = dynamic_cast<ColorDefaults*>(settings)) {
        try {
            shared->users.push_back(c);
        } catch (const std::bad_alloc&) {
            // The converter then only sees edits made through itself.
        }
    }
}

void RemoveUser(ColorSettings* settings, ColorConverter* c) {
    if (auto* shared = dynamic_cast<ColorDefaults*>(settings)) std::erase(shared->users, c);
}

bool BuildClassPalette(ColorConverter* c, ColorClassFn fill) {
    if (!ReserveWorkingPalette(&c->palette)) return false;
    const uint32_t n = c->palette.WorkingEntries();
    std::unique_ptr<double[]> ramp(new (std::nothrow) double[n]);
    if (ramp == nullptr) return false;
    const double step = c->palette.sixteenBit ? kRampStep16 : kRampStep8;
    for (uint32_t i = 0; i < n; ++i) ramp[i] = i * step;
    fill(c->palette.data, n, ramp.get(), &c->quant);
    const ColourCorrection& correction = c->current->correction;
    if (!correction.neutral) ApplyColourCorrection(&c->palette, correction, &c->gamma);
    return true;
}

bool BuildUserPalette(ColorConverter* c) {
    if (!ConvertPalette(&c->palette, c->current->userPalette)) return false;
    const ColourCorrection& correction = c->current->correction;
    if (!correction.neutral) ApplyColourCorrection(&c->palette, correction, &c->gamma);
    return true;
}

// Under the display lock.
bool SelectRowLocked(ColorConverter* c, int index) {
    c->row = ColorRowNone;
    ColorSettings& s = *c->current;
    const ColorClassDesc* row = s.SelectColorClass(index, c->format);
    if (row == nullptr) return false;
    const uint32_t qbits = s.qbits > 8 ? 8 : s.qbits;
    const bool wide = c->palette.sixteenBit != 0;
    c->quant.levels = std::ldexp(1.0, static_cast<int>(qbits));
    c->quant.step = qbits >= 8 ? 1.0 : (wide ? 65535.0 : 255.0) / c->quant.levels;
    const ColorRowFn convert = ColorRowFor(wide, c->format.channels);
    if (convert == nullptr) return false;
    const ColorClassFn fill = wide ? row->fn16 : (qbits < 8 ? row->quantised : row->fn8);
    const bool built = s.classIndex != 0 ? BuildClassPalette(c, fill) : BuildUserPalette(c);
    if (built) c->row = convert;
    return built;
}

}  // namespace

ColorConverter::ColorConverter(const SettingsRequest* request, uint32_t flags) {
    own.flags = flags & 0xFFFF;
    ColorDefaults* defaults = AcquireColorDefaults(true);
    if (request != nullptr) {
        const bool named = request->fileName != nullptr && *request->fileName != '\0';
        if (request->copyShared && defaults != nullptr) {
            own.CopyFrom(*defaults);
        } else if (named) {
            own.Read(request->fileName);
        }
        if (named) own.fileName = request->fileName;
        if (request->useShared && defaults != nullptr) {
            Guard lock(DisplayLock());
            current = defaults;  // keeps the reference taken above
            AddUser(defaults, this);
            defaults = nullptr;
        }
    }
    if (defaults != nullptr) defaults->Release();
}

ColorConverter::~ColorConverter() {
    ColorSettings* shared = nullptr;
    {
        Guard lock(DisplayLock());
        row = ColorRowNone;
        if (current != &own) {
            RemoveUser(current, this);
            shared = current;
            current = &own;
        }
    }
    if (shared != nullptr) shared->Release();
}

bool ColorConverter::QueryInterface(const ComponentId* id, void** out) {
    if (SameComponentId(id, &kPlugColorId) || SameComponentId(id, &kBaseId)) {
        if (out != nullptr) *out = this;
        return true;
    }
    return current->QueryInterface(id, out);
}

bool ColorConverter::QuerySettings(const ComponentId* id, PropertyComponent** out) {
    if (out != nullptr) *out = nullptr;
    if (!SameComponentId(id, &kTransformationPropId) && !SameComponentId(id, &kPropId) &&
        !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        current->AddRef();
        *out = current;
    }
    return true;
}

void ColorConverterSetOwner(ColorConverter* c, ComponentBase* owner, PanelBuilder panel, ColorFormat* offered) {
    {
        Guard lock(DisplayLock());
        c->owner = owner;
        c->panel = panel;
    }
    if (offered != nullptr) {
        *offered = ColorFormat();
        offered->flags = 0x40;
        offered->bits = 8;
        offered->channels = 1;
        offered->pixelFormat = 0x103;
        offered->pixelWord = 1;
        offered->pixelChannels = 3;
    }
}

bool ColorConverterSetFormat(ColorConverter* c, const ColorFormat& f) {
    Guard lock(DisplayLock());
    ColorFormat& mine = c->format;
    if (f.channels != 0 && f.flags != 0) {
        mine.flags = f.flags;
        mine.bits = f.bits;
        mine.channels = f.channels;
        for (int i = 0; i < 3; ++i) mine.dataExtra[i] = f.dataExtra[i];
    }
    if (f.pixelChannels != 0 && f.pixelFormat != 0) {
        mine.pixelFormat = f.pixelFormat;
        mine.pixelWord = f.pixelWord;
        mine.pixelChannels = f.pixelChannels;
        for (int i = 0; i < 3; ++i) mine.pixelExtra[i] = f.pixelExtra[i];
    }
    c->palette.sixteenBit = (mine.pixelFormat & 2) ? 1 : 0;
    c->palette.fourChannels = mine.pixelChannels == 4 ? 1 : 0;
    if (c->current->SelectColorClass(c->current->classIndex, mine) != nullptr)
        return SelectRowLocked(c, c->current->classIndex);
    c->row = ColorRowNone;
    return mine.channels == 0 || mine.flags == 0 || mine.pixelChannels == 0 || mine.pixelFormat == 0;
}

bool ColorConverterSelectRow(ColorConverter* c, int index) {
    Guard lock(DisplayLock());
    return SelectRowLocked(c, index);
}

bool ColorConverterSetClass(ColorConverter* c, int index) {
    Guard lock(DisplayLock());
    if (index < 0) index = 0;
    if (index != c->current->classIndex || c->row == ColorRowNone) return SelectRowLocked(c, index);
    return true;
}

bool ColorConverterSetQbits(ColorConverter* c, int qbits) {
    qbits = qbits < 0 ? 0 : (qbits > 8 ? 8 : qbits);
    bool ok;
    {
        Guard lock(DisplayLock());
        if (static_cast<uint32_t>(qbits) == c->current->qbits) return false;
        c->current->qbits = static_cast<uint32_t>(qbits);
        ok = SelectRowLocked(c, c->current->classIndex);
    }
    ColorConverterNotifyUsers(c);
    return ok;
}

bool ColorConverterDropUserPalette(ColorConverter* c) {
    Guard lock(DisplayLock());
    c->current->DropUserPalette();
    return c->current->classIndex != 0 || SelectRowLocked(c, 1);
}

bool ColorConverterWritePalette(ColorConverter* c, const char* path) {
    if (c->palette.data == nullptr) return false;
    const ColorSettings& s = *c->current;
    if (s.classIndex <= 0 && s.HasUserPalette() && s.correction.neutral)
        return SavePaletteFile(s.userPalette, s.userPalette.count, path);
    return SavePaletteFile(c->palette, c->palette.WorkingEntries(), path);
}

bool ColorConverterSetCurrentSettings(ColorConverter* c, ColorSettings* settings) {
    ColorSettings* next = settings != nullptr ? settings : &c->own;
    ColorSettings* old;
    {
        Guard lock(DisplayLock());
        if (next == c->current) return false;
        next->AddRef();
        old = c->current;
        old->SaveClassParams();
        RemoveUser(old, c);
        c->current = next;
        AddUser(next, c);
        next->LoadClassParams();
    }
    old->Release();
    ColorConverterRefresh(c);
    return true;
}

bool ColorConverterRefresh(ColorConverter* c) {
    bool ok;
    {
        Guard lock(DisplayLock());
        ok = SelectRowLocked(c, c->current->classIndex);
    }
    ColorConverterNotifyUsers(c);
    return ok;
}

void ColorConverterNotifyUsers(ColorConverter* c) {
    ColorDefaults* shared = nullptr;
    {
        Guard lock(DisplayLock());
        shared = c->UsesDefaults() ? dynamic_cast<ColorDefaults*>(c->current) : nullptr;
        if (shared != nullptr) {
            for (ColorConverter* user : shared->users) {
                if (user != c) SelectRowLocked(user, user->current->classIndex);
            }
        }
    }
    NotifySettingsChanged(c->owner, &kTransformationPropId, shared);
}

bool ColorConverterEdit(ColorConverter* c, const std::function<void(ColorSettings&)>& edit) {
    {
        Guard lock(DisplayLock());
        edit(*c->current);
        RecomputeColourCorrection(&c->current->correction);
    }
    return ColorConverterRefresh(c);
}

}  // namespace orva
