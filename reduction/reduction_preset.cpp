#include "reduction/reduction_preset.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <new>

#include "common/number_parse.h"
#include "framework/app_object.h"
#include "framework/display_lock.h"

namespace orva {

namespace {

using Hold = std::lock_guard<std::recursive_mutex>;

// ---- Key handlers: 1 taken, 0 ignored, -1 malformed ---------------------------------------

ReductionOptions* Target(ParseState* state) { return static_cast<ReductionOptions*>(state->context); }

const char* SkipBlanks(const char* p) {
    while (*p == ' ' || *p == '\t') ++p;
    return p;
}

// An integer, decimal, hexadecimal ("0x") or octal (leading 0).
bool ReadInteger(const char* value, int64_t* out) {
    int64_t v[4];
    if (ParseInt64Value(value, v) < 1) return false;
    *out = v[0];
    return true;
}

using FlagStore = void (*)(ReductionOptions* options, bool on);

template <FlagStore Store>
int FlagKey(const char* value, ParseState* state) {
    bool on = false;
    if (ParseBool(value, &on) < 0) return -1;
    Store(Target(state), on);
    return 1;
}

void StorePrecision(ReductionOptions* o, bool on) { o->values.extendedPrecision = on; }
void StoreAllChannels(ReductionOptions* o, bool on) { o->values.allChannels = on; }
void StoreFlux(ReductionOptions* o, bool on) { o->values.slice.flux = on; }
void StoreAutoWeight(ReductionOptions* o, bool on) { o->values.slice.autoWeight = on; }
void StoreWeighing(ReductionOptions* o, bool on) { o->values.slice.weighing = on; }
void StoreAutoProfile(ReductionOptions* o, bool on) { o->values.slice.autoProfile = on; }
void StoreRemoveBackground(ReductionOptions* o, bool on) { o->values.slice.removeBackground = on; }
void StoreIntervalInteger(ReductionOptions* o, bool on) { o->values.stat.intervalInteger = on; }
void StoreIntervalAuto(ReductionOptions* o, bool on) { o->values.stat.intervalAuto = on; }
void StoreBoundaryEnable(ReductionOptions* o, bool on) { o->values.stat.boundaryEnable = on; }
void StoreWeigh(ReductionOptions* o, bool on) { o->values.stat.weigh = on; }

using IntegerStore = void (*)(ReductionOptions* options, int64_t value);

template <IntegerStore Store>
int IntegerKey(const char* value, ParseState* state) {
    int64_t v = 0;
    if (!ReadInteger(value, &v)) return -1;
    Store(Target(state), v);
    return 1;
}

void StoreNChannel(ReductionOptions* o, int64_t v) {
    if (v == 0) v = 1;
    if (v < 0 || v >= static_cast<int64_t>(kReductionMaxKeyChannel)) v = kReductionMaxKeyChannel;
    o->SetNChannel(static_cast<uint32_t>(v));
}
void StoreExtractMethod(ReductionOptions* o, int64_t v) { o->SetSliceExtractMethod(v); }
void StoreLSmoothMethod(ReductionOptions* o, int64_t v) { o->SetSliceLSmoothMethod(v); }
void StoreLSmoothAverWin(ReductionOptions* o, int64_t v) { o->SetSliceLSmoothAverWin(v); }
void StoreMaxBadPix(ReductionOptions* o, int64_t v) {
    o->SetMaxBadPixInterpolate(static_cast<uint32_t>(v < 1 ? 1 : (v > UINT32_MAX ? UINT32_MAX : v)));
}
void StoreFlagBadPix(ReductionOptions* o, int64_t v) { o->SetFlagBadPixInterpolate(v); }
void StoreIntervalMethod(ReductionOptions* o, int64_t v) { o->SetStatIntervalMethod(v); }
void StoreStatVis(ReductionOptions* o, int64_t v) { o->SetStatVis(v); }

int ZeroScaleKey(const char* value, ParseState* state) {
    double zero = 0.0, scale = 0.0;
    const int n = ParseDoublePair(value, &zero, &scale);
    if (n < 0) return -1;
    ReductionOptions* o = Target(state);
    if (n == 2)
        o->SetZeroScale(zero, scale == 0.0 ? 1.0 : scale);
    else
        o->SetZero(zero);
    return 1;
}

int NoiseGainKey(const char* value, ParseState* state) {
    double noise = 1.0, gain = 1.0;
    if (ParseDoublePair(value, &noise, &gain) < 0) return -1;
    Target(state)->SetNoise(noise);
    Target(state)->SetGain(gain);
    return 1;
}

int BoundaryKey(const char* value, ParseState* state) {
    double low = 0.0, high = 255.0;
    const int n = ParseDoublePair(value, &low, &high);
    if (n < 0) return -1;
    if (n < 2) return 0;
    Target(state)->SetStatBoundary(low, high);
    return 1;
}

int IntervalKey(const char* value, ParseState* state) {
    double v[4];
    if (ParseDoubleValue(value, v) != 1) return -1;
    Target(state)->SetStatInterval(v[0]);
    return 1;
}

int NameKey(const char* value, ParseState* state) {
    std::string text;
    const int form = ReadScriptQuotedText(SkipBlanks(value), &text);
    if (form == 0) return 0;
    if (form < 0 || text.empty()) return -1;
    return Target(state)->SetName(text.c_str()) ? 1 : -1;
}

using TextField = char* ReductionOptions::*;

template <TextField Field>
int FileNameKey(const char* value, ParseState* state) {
    char* text = nullptr;
    if (QuotedValueDup(value, &text) < 0) return -1;
    if (text[0] == '\0') {
        std::free(text);
        return -1;
    }
    char*& field = Target(state)->*Field;
    std::free(field);
    field = text;
    return 1;
}

// ---- The table -------------------------------------------------------------------------------

KeywordName kNameNames[] = {{"Name", 0}, {nullptr, 0}};
KeywordName kPrecisionNames[] = {{"ExtendedPrecision", 0}, {"Precision", 0}, {nullptr, 0}};
KeywordName kAllChannelsNames[] = {{"AllChannels", 0}, {nullptr, 0}};
KeywordName kNChannelNames[] = {{"NChannel", 0}, {nullptr, 0}};
KeywordName kFluxNames[] = {{"SliceFlux", 0}, {"Flux", 0}, {nullptr, 0}};
KeywordName kZeroScaleNames[] = {{"SliceZeroScale", 0}, {"ZeroScale", 0}, {nullptr, 0}};
KeywordName kExtractNames[] = {{"SliceExtractMethod", 0}, {"ExtractMethod", 0}, {nullptr, 0}};
KeywordName kSmoothNames[] = {{"SliceLSmoothMethod", 0}, {"LSmoothMethod", 0}, {nullptr, 0}};
KeywordName kWindowNames[] = {{"SliceLSmoothAverWin", 0}, {"LSmoothAverWin", 0}, {nullptr, 0}};
KeywordName kNoiseGainNames[] = {{"SliceNoiseGain", 0}, {nullptr, 0}};
KeywordName kAutoWeightNames[] = {{"SliceAutoWeight", 0}, {nullptr, 0}};
KeywordName kWeighingNames[] = {{"SliceWeighing", 0}, {nullptr, 0}};
KeywordName kAutoProfileNames[] = {{"SliceAutoProfile", 0}, {nullptr, 0}};
KeywordName kRemoveBackgroundNames[] = {{"SliceRemoveBackground", 0}, {nullptr, 0}};
KeywordName kMaxBadPixNames[] = {{"MaxBadPixInterpolate", 0}, {nullptr, 0}};
KeywordName kFlagBadPixNames[] = {{"FlagBadPixInterpolate", 0}, {nullptr, 0}};
KeywordName kSliceWeighFileNames[] = {{"SliceFileNameWeighCoeff", 0}, {nullptr, 0}};
KeywordName kSliceProfileFileNames[] = {{"SliceFileNameProfileCoeff", 0}, {nullptr, 0}};
KeywordName kIntegerNames[] = {{"StatIntervalInteger", 0}, {"IntervalInteger", 0}, {"Integer", 0}, {nullptr, 0}};
KeywordName kAutoNames[] = {{"StatIntervalAuto", 0}, {"IntervalAuto", 0}, {"Auto", 0}, {nullptr, 0}};
KeywordName kBoundaryEnableNames[] = {{"StatBoundaryEnable", 0}, {"BoundaryEnable", 0}, {nullptr, 0}};
KeywordName kWeighNames[] = {{"StatWeigh", 0}, {nullptr, 0}};
KeywordName kBoundaryNames[] = {{"StatBoundary", 0}, {"Boundary", 0}, {nullptr, 0}};
KeywordName kIntervalNames[] = {{"StatInterval", 0}, {"Interval", 0}, {nullptr, 0}};
KeywordName kMethodNames[] = {{"StatIntervalMethod", 0}, {"IntervalMethod", 0}, {nullptr, 0}};
KeywordName kVisNames[] = {{"StatVis", 0}, {nullptr, 0}};
KeywordName kStatWeighFileNames[] = {{"StatFileNameWeighCoeff", 0}, {nullptr, 0}};

KeywordDescriptor kNameKey{kNameNames, &NameKey};
KeywordDescriptor kPrecisionKey{kPrecisionNames, &FlagKey<&StorePrecision>};
KeywordDescriptor kAllChannelsKey{kAllChannelsNames, &FlagKey<&StoreAllChannels>};
KeywordDescriptor kNChannelKey{kNChannelNames, &IntegerKey<&StoreNChannel>};
KeywordDescriptor kFluxKey{kFluxNames, &FlagKey<&StoreFlux>};
KeywordDescriptor kZeroScaleKey{kZeroScaleNames, &ZeroScaleKey};
KeywordDescriptor kExtractKey{kExtractNames, &IntegerKey<&StoreExtractMethod>};
KeywordDescriptor kSmoothKey{kSmoothNames, &IntegerKey<&StoreLSmoothMethod>};
KeywordDescriptor kWindowKey{kWindowNames, &IntegerKey<&StoreLSmoothAverWin>};
KeywordDescriptor kNoiseGainKey{kNoiseGainNames, &NoiseGainKey};
KeywordDescriptor kAutoWeightKey{kAutoWeightNames, &FlagKey<&StoreAutoWeight>};
KeywordDescriptor kWeighingKey{kWeighingNames, &FlagKey<&StoreWeighing>};
KeywordDescriptor kAutoProfileKey{kAutoProfileNames, &FlagKey<&StoreAutoProfile>};
KeywordDescriptor kRemoveBackgroundKey{kRemoveBackgroundNames, &FlagKey<&StoreRemoveBackground>};
KeywordDescriptor kMaxBadPixKey{kMaxBadPixNames, &IntegerKey<&StoreMaxBadPix>};
KeywordDescriptor kFlagBadPixKey{kFlagBadPixNames, &IntegerKey<&StoreFlagBadPix>};
KeywordDescriptor kSliceWeighFileKey{kSliceWeighFileNames, &FileNameKey<&ReductionOptions::sliceFileNameWeighCoeff>};
KeywordDescriptor kSliceProfileFileKey{kSliceProfileFileNames,
                                       &FileNameKey<&ReductionOptions::sliceFileNameProfileCoeff>};
KeywordDescriptor kIntegerKey{kIntegerNames, &FlagKey<&StoreIntervalInteger>};
KeywordDescriptor kAutoKey{kAutoNames, &FlagKey<&StoreIntervalAuto>};
KeywordDescriptor kBoundaryEnableKey{kBoundaryEnableNames, &FlagKey<&StoreBoundaryEnable>};
KeywordDescriptor kWeighKey{kWeighNames, &FlagKey<&StoreWeigh>};
KeywordDescriptor kBoundaryKey{kBoundaryNames, &BoundaryKey};
KeywordDescriptor kIntervalKey{kIntervalNames, &IntervalKey};
KeywordDescriptor kMethodKey{kMethodNames, &IntegerKey<&StoreIntervalMethod>};
KeywordDescriptor kVisKey{kVisNames, &IntegerKey<&StoreStatVis>};
KeywordDescriptor kStatWeighFileKey{kStatWeighFileNames, &FileNameKey<&ReductionOptions::statFileNameWeighCoeff>};

KeywordDescriptor* const kReductionDescriptors[] = {
    &kNameKey,        &kPrecisionKey,       &kAllChannelsKey,      &kNChannelKey,       &kFluxKey,
    &kZeroScaleKey,   &kExtractKey,         &kSmoothKey,           &kWindowKey,         &kNoiseGainKey,
    &kAutoWeightKey,  &kWeighingKey,        &kAutoProfileKey,      &kRemoveBackgroundKey, &kMaxBadPixKey,
    &kFlagBadPixKey,  &kSliceWeighFileKey,  &kSliceProfileFileKey, &kIntegerKey,        &kAutoKey,
    &kBoundaryEnableKey, &kWeighKey,        &kBoundaryKey,         &kIntervalKey,       &kMethodKey,
    &kVisKey,         &kStatWeighFileKey,   nullptr};

// Prepares the table during static initialisation.
const bool kReductionTablePrepared = ReductionKeyTable().Prepared();

// ---- Files -------------------------------------------------------------------------------------

class PresetFile : public KeywordFile {
public:
    explicit PresetFile(const ReductionPreset* toWrite) : toWrite_(toWrite) {}
    bool WriteBody(char lead) override { return toWrite_ != nullptr && toWrite_->WriteKeys(this, lead); }

private:
    const ReductionPreset* toWrite_;
};

// One key line behind the prefix character.
template <class... Args>
bool Line(KeywordFile* file, char prefix, const char* format, Args... args) {
    if (prefix != '\0' && !file->Print("%c", prefix)) return false;
    return file->Print(format, args...);
}

void Unlink(ReductionPresetList* list, ReductionPreset* p) {
    if (p->previous != nullptr) p->previous->next = p->next;
    else if (list->head == p) list->head = p->next;
    if (p->next != nullptr) p->next->previous = p->previous;
    else if (list->tail == p) list->tail = p->previous;
    p->next = p->previous = nullptr;
}

// The stretches that a paste compares: the slice block, the statistic block,
// the precision and, with two channels or more, AllChannels and (unless it is
// set) NChannel, where a larger NChannel not below the channel count counts as equal.
bool SameForChannels(const ReductionValues& current, const ReductionValues& other, uint32_t channels) {
    if (!(current.slice == other.slice) || !(current.stat == other.stat) ||
        current.extendedPrecision != other.extendedPrecision)
        return false;
    if (channels < 2) return true;
    if (current.allChannels != other.allChannels) return false;
    if (current.allChannels) return true;
    return current.nChannel == other.nChannel || (current.nChannel > other.nChannel && current.nChannel >= channels);
}

}  // namespace

KeywordTable& ReductionKeyTable() {
    static KeywordTable table(kReductionDescriptors);
    return table;
}

// ---- The preset object -----------------------------------------------------------------------

ReductionPreset* ReductionPreset::Create() { return new (std::nothrow) ReductionPreset(false); }

ReductionPreset::~ReductionPreset() { std::free(settingsFileName); }

const ComponentId* ReductionPreset::GetClassId() const { return &kReductionPropId; }

int ReductionPreset::AddRef() { return embedded_ ? 1 : refs_.fetch_add(1) + 1; }

int ReductionPreset::Release() {
    if (embedded_) return 1;
    const int left = refs_.fetch_sub(1) - 1;
    if (left == 0) delete this;
    return left;
}

bool ReductionPreset::CreateInstance(PropertyComponent** out) {
    if (out == nullptr) return false;
    *out = Create();
    return *out != nullptr;
}

bool ReductionPreset::QueryInterface(const ComponentId* id, void** out) {
    if (out != nullptr) *out = nullptr;
    if (!SameComponentId(id, &kReductionPropId) && !SameComponentId(id, &kPropId) && !SameComponentId(id, &kBaseId))
        return false;
    if (out != nullptr) {
        AddRef();
        *out = static_cast<PropertyComponent*>(this);
    }
    return true;
}

bool ReductionPreset::Reset() {
    Hold hold(DisplayLock());
    options.SetDefaults();
    return true;
}

bool ReductionPreset::Load(const char* text) {
    KeywordTable& table = ReductionKeyTable();
    if (!table.Prepared()) return false;
    ReductionPreset* read = Create();
    if (read == nullptr) return false;
    uint8_t seen = 0;
    PresetFile file(nullptr);
    ParseState& state = file.Parse();
    state.table = &table;
    state.accepted = &seen;
    state.context = &read->options;
    const bool ok = file.LoadFrom(text, this);
    if (ok && seen) {
        Hold hold(DisplayLock());
        options.CopyValues(read->options);
        // The name as the section gives it: a section without a name leaves none,
        // so that what was written reads back and writes again the same.
        std::free(options.name);
        options.name = read->options.name;
        read->options.name = nullptr;
    }
    read->Release();
    return ok;
}

bool ReductionPreset::Save(const char* target) {
    PresetFile file(this);
    return file.SaveTo(target, this, false);
}

bool ReductionPreset::WriteKeys(KeywordFile* w, char p) const {
    if (w == nullptr) return false;
    const ReductionOptions& o = options;
    const ReductionValues& v = o.values;
    const ReductionSliceValues& s = v.slice;
    const ReductionStatValues& t = v.stat;
    auto text = [&](const char* key, const char* value) {
        return value == nullptr || Line(w, p, "%s=%s\n", key, ScriptQuotedText(value).c_str());
    };
    auto flag = [&](const char* key, unsigned value) { return Line(w, p, "%s=%u\n", key, value); };
    auto integer = [&](const char* key, int value) { return Line(w, p, "%s=%d\n", key, value); };
    // Reals that must read back bit for bit are written with 17 digits.
    auto pair = [&](const char* key, double a, double b) { return Line(w, p, "%s=%.17g, %.17g\n", key, a, b); };
    const bool ok = text("Name", o.name) && flag("ExtendedPrecision", v.extendedPrecision) &&
                    flag("AllChannels", v.allChannels) && flag("NChannel", v.nChannel) &&
                    flag("SliceFlux", s.flux) && flag("SliceAutoWeight", s.autoWeight) &&
                    flag("SliceWeighing", s.weighing) && flag("SliceAutoProfile", s.autoProfile) &&
                    flag("SliceRemoveBackground", s.removeBackground) &&
                    pair("SliceNoiseGain", s.noise, s.gain) &&
                    integer("SliceLSmoothAverWin", static_cast<int>(s.lSmoothAverWin)) &&
                    pair("SliceZeroScale", s.zero, s.scale) && integer("SliceExtractMethod", s.extractMethod) &&
                    integer("SliceLSmoothMethod", v.lSmoothMethod) &&
                    flag("MaxBadPixInterpolate", s.maxBadPixInterpolate) &&
                    integer("FlagBadPixInterpolate", static_cast<int>(s.flagBadPixInterpolate)) &&
                    text("SliceFileNameWeighCoeff", o.sliceFileNameWeighCoeff) &&
                    text("SliceFileNameProfileCoeff", o.sliceFileNameProfileCoeff) &&
                    flag("StatIntervalInteger", t.intervalInteger) && flag("StatIntervalAuto", t.intervalAuto) &&
                    flag("StatBoundaryEnable", t.boundaryEnable) &&
                    Line(w, p, "%s=%.17g\n", "StatInterval", t.interval) &&
                    pair("StatBoundary", t.boundaryLow, t.boundaryHigh) &&
                    integer("StatIntervalMethod", t.intervalMethod) && integer("StatVis", t.vis) &&
                    flag("StatWeigh", t.weigh) && text("StatFileNameWeighCoeff", o.statFileNameWeighCoeff);
    if (!ok) w->SetState(-5);
    return ok;
}

// ---- The list ----------------------------------------------------------------------------------

ReductionPresetList::ReductionPresetList(ReductionPresetHolder* h) : holder(h) {}

ReductionPresetList::~ReductionPresetList() {
    holder = nullptr;  // the holder is going: nothing is refreshed any more
    ClearPresets(this);
    if (current != nullptr) current->Release();
    current = &own;
    if (common != nullptr) common->Release();
    common = nullptr;
}

bool ReductionPresetList::SameAsCurrent(const ReductionOptions& other) const {
    const uint32_t channels = holder != nullptr ? holder->InputChannelCount() : 0;
    if (channels == 0) return Options().values == other.values;
    return SameForChannels(Options().values, other.values, channels);
}

void ReductionPresetList::SwitchCurrent(ReductionPreset* next) {
    if (next == nullptr || next == current) return;
    const bool same = SameAsCurrent(next->options);
    next->AddRef();
    ReductionPreset* old;
    {
        Hold hold(DisplayLock());
        old = current;
        current = next;
    }
    old->SaveClassParams();
    old->Release();
    next->LoadClassParams();
    if (!same && holder != nullptr) holder->RefreshOptions();
}

ReductionPreset* AddPreset(ReductionPresetList* list) {
    if (list == nullptr || list->count >= kReductionMaxPresets) return nullptr;
    ReductionPreset* preset = ReductionPreset::Create();
    if (preset == nullptr) return nullptr;
    preset->index = static_cast<int32_t>(list->count);
    preset->flags = list->userValue << 16;
    preset->options.Copy(list->CurrentPresetOrOwn()->options);
    char name[260];
    const int length = std::snprintf(name, sizeof name, "%d - noname", static_cast<int>(list->count + 1));
    if (length >= 1 && length <= static_cast<int>(sizeof name)) preset->options.SetName(name);
    Hold hold(DisplayLock());
    preset->previous = list->tail;
    if (list->tail != nullptr) list->tail->next = preset;
    else list->head = preset;
    list->tail = preset;
    ++list->count;
    return preset;
}

void RemovePreset(ReductionPresetList* list, ReductionPreset* preset) {
    if (list == nullptr || preset == nullptr) return;
    bool currentChanged = false;
    {
        Hold hold(DisplayLock());
        if (preset == list->currentPreset) {
            list->currentPreset = preset->next != nullptr ? preset->next : preset->previous;
            if (list->currentPreset == nullptr) list->own.options.CopyValues(preset->options);
            currentChanged = true;
        }
        if (list->count > 0) --list->count;
        Unlink(list, preset);
    }
    preset->Release();
    if (currentChanged && !list->UsesCommon()) list->SwitchCurrent(list->CurrentPresetOrOwn());
}

bool ClearPresets(ReductionPresetList* list) {
    if (list == nullptr) return false;
    bool copied = false;
    {
        Hold hold(DisplayLock());
        if (list->currentPreset != nullptr) {
            list->own.options.CopyValues(list->currentPreset->options);
            copied = true;
        }
        list->currentPreset = nullptr;
        for (ReductionPreset* p = list->head; p != nullptr;) {
            ReductionPreset* next = p->next;
            p->next = p->previous = nullptr;
            p->Release();
            p = next;
        }
        list->head = list->tail = nullptr;
        list->count = 0;
    }
    if (!list->UsesCommon() && list->current != &list->own) list->SwitchCurrent(&list->own);
    return copied;
}

ReductionPreset* PresetAt(ReductionPresetList* list, int32_t index) {
    if (list == nullptr || list->head == nullptr) return nullptr;
    ReductionPreset* p = list->head;
    for (int32_t i = 0; i < index && p->next != nullptr; ++i) p = p->next;
    return p;
}

void ClampPresetChannels(ReductionPresetList* list) {
    if (list == nullptr || list->holder == nullptr) return;
    const uint32_t channels = list->holder->InputChannelCount();
    if (channels == 0) return;  // nothing negotiated: no count to lower to
    Hold hold(DisplayLock());
    auto lower = [channels](ReductionPreset* p) {
        if (p->options.values.nChannel > channels) p->options.values.nChannel = channels;
    };
    lower(&list->own);
    for (ReductionPreset* p = list->head; p != nullptr; p = p->next) lower(p);
}

int SaveAllPresets(ReductionPresetList* list, uint32_t value, const char* target) {
    if (list == nullptr) return -1;
    bool ok = true;
    uint32_t number = 1;
    for (ReductionPreset* p = list->head; p != nullptr; p = p->next, ++number) {
        p->flags = (number << 16) | (value & 0xFFFFu);
        ok = p->Save(target) && ok;
    }
    return ok ? 1 : -1;
}

const char* PresetDisplayName(const ReductionPresetList* list, bool* isListPreset) {
    if (isListPreset != nullptr) *isListPreset = false;
    if (list == nullptr || list->UsesCommon()) return "<common>";
    if (list->current == &list->own) return "<current>";
    if (isListPreset != nullptr) *isListPreset = true;
    return ReductionOptionsName(list->current->options);
}

bool PasteOptions(ReductionPresetList* list, uint32_t channels) {
    ReductionOptionClipboard& clip = TheReductionOptionClipboard();
    if (list == nullptr || !clip.valid || list->current == nullptr) return false;
    ReductionOptions& options = list->Options();
    if (&options == &clip.options) return false;
    const bool whole = list->UsesCommon() || channels == 0;
    if (whole ? options.values == clip.options.values
              : SameForChannels(options.values, clip.options.values, channels))
        return false;
    if (list->holder != nullptr && !list->holder->ConfirmCommonChange()) return false;
    Hold hold(DisplayLock());
    options.CopyValues(clip.options);
    if (!list->UsesCommon() && channels != 0 && options.values.nChannel > channels)
        options.values.nChannel = channels;
    return true;
}

ReductionPreset* AcquireCommonPreset() {
    AppObject& app = TheApp();
    PropertyComponent* found = nullptr;
    if (app.QueryInterface(&kReductionPropId, &found) && found != nullptr) {
        if (auto* preset = dynamic_cast<ReductionPreset*>(found)) return preset;
        found->Release();
        return nullptr;
    }
    ReductionPreset* made = ReductionPreset::Create();
    if (made == nullptr) return nullptr;
    // The registry keeps a reference of its own and reads orvaext.cfg into it.
    if (!app.SaveProperties(made)) {
        made->Release();
        return nullptr;
    }
    return made;
}

}  // namespace orva
