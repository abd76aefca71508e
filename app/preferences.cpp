#include "app/preferences.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "app/check_button.h"
#include "app/cui.h"
#include "app/field_readers.h"
#include "app/message_dialog.h"
#include "app/panel_window.h"
#include "app/shell_hooks.h"
#include "common/number_parse.h"
#include "framework/app_object.h"
#include "framework/app_services.h"
#include "framework/component_id.h"
#include "framework/keyword_file.h"
#include "framework/keyword_table.h"
#include "io/data_set.h"
#include "io/file_layout.h"
#include "io/output_writer.h"
#include "io/sign_test.h"
#include "toolkit/font.h"
#include "toolkit/layout.h"
#include "toolkit/text_layout.h"
#include "toolkit/widget.h"
#include "toolkit/window.h"

namespace orva {

// ---- The record ------------------------------------------------------------------------------------

namespace {

char* PreferencesRecord::*const kFolders[] = {&PreferencesRecord::defaultFolder, &PreferencesRecord::projectFolder,
                                              &PreferencesRecord::loadFolder, &PreferencesRecord::saveFolder,
                                              &PreferencesRecord::loadMaskFolder};

void SetDefaults(PreferencesRecord* r) {
    r->createNewProject = r->useDefaultFolders = r->ieee754Detect = r->detectUnsignUseMin = r->detectUnsignInt = 0;
    r->calcStatistic = r->loadByteswap = r->saveSwitchWrkMode = r->fsSave = 1;
    r->oldSIFormat = 0;
    r->siShortExt = 1;
    r->fsBackup = r->dataBackup = 0;
    for (auto field : kFolders) r->*field = nullptr;
}

void CopyFlags(PreferencesRecord* to, const PreferencesRecord& from) {
    to->createNewProject = from.createNewProject;
    to->useDefaultFolders = from.useDefaultFolders;
    to->ieee754Detect = from.ieee754Detect;
    to->detectUnsignUseMin = from.detectUnsignUseMin;
    to->detectUnsignInt = from.detectUnsignInt;
    to->calcStatistic = from.calcStatistic;
    to->loadByteswap = from.loadByteswap;
    to->saveSwitchWrkMode = from.saveSwitchWrkMode;
    to->fsSave = from.fsSave;
    to->oldSIFormat = from.oldSIFormat;
    to->siShortExt = from.siShortExt;
    to->fsBackup = from.fsBackup;
    to->dataBackup = from.dataBackup;
}

}  // namespace

PreferencesRecord::PreferencesRecord() { SetDefaults(this); }

PreferencesRecord::~PreferencesRecord() { FreeStrings(); }

PreferencesRecord::PreferencesRecord(PreferencesRecord&& other) noexcept {
    SetDefaults(this);
    *this = std::move(other);
}

PreferencesRecord& PreferencesRecord::operator=(PreferencesRecord&& other) noexcept {
    if (this == &other) return *this;
    FreeStrings();
    CopyFlags(this, other);
    for (auto field : kFolders) {
        this->*field = other.*field;
        other.*field = nullptr;
    }
    return *this;
}

void PreferencesRecord::Reset() {
    FreeStrings();
    SetDefaults(this);
}

void PreferencesRecord::FreeStrings() {
    for (auto field : kFolders) {
        std::free(this->*field);
        this->*field = nullptr;
    }
}

// ---- The keys ----------------------------------------------------------------------------------------

namespace {

PreferencesRecord* Target(ParseState* state) { return static_cast<PreferencesRecord*>(state->context); }

template <char* PreferencesRecord::*Field>
int FolderHandler(const char* value, ParseState* state) {
    PreferencesRecord* r = Target(state);
    return r != nullptr ? ParseQuotedString(value, &(r->*Field)) : -1;
}

template <uint8_t PreferencesRecord::*Field>
int FlagHandler(const char* value, ParseState* state) {
    PreferencesRecord* r = Target(state);
    bool flag = false;
    if (r == nullptr || ParseBool(value, &flag) < 1) return -1;
    r->*Field = flag ? 1 : 0;
    return 1;
}

#define ORVA_KEY(var, key) KeywordName var[] = {{key, 0}, {nullptr, 0}}
ORVA_KEY(kDefaultFolder, "DefaultFolder");
ORVA_KEY(kProjectFolder, "ProjectFolder");
ORVA_KEY(kLoadFolder, "LoadFolder");
ORVA_KEY(kSaveFolder, "SaveFolder");
ORVA_KEY(kLoadMaskFolder, "LoadMaskFolder");
ORVA_KEY(kUseDefaultFolders, "UseDefaultFolders");
ORVA_KEY(kCreateNewProject, "CreateNewProject");
ORVA_KEY(kIEEE754Detect, "IEEE754Detect");
ORVA_KEY(kDetectUnsignUseMin, "DetectUnsignUseMin");
ORVA_KEY(kDetectUnsignInt, "DetectUnsignInt");
ORVA_KEY(kLoadByteswap, "LoadByteswap");
ORVA_KEY(kCalcStatistic, "CalcStatistic");
ORVA_KEY(kSaveSwitchWrkMode, "SaveSwitchWrkMode");
ORVA_KEY(kFSSave, "FSSave");
ORVA_KEY(kSIShortExt, "SIShortExt");
ORVA_KEY(kFSBackup, "FSBackup");
ORVA_KEY(kDataBackup, "DataBackup");
#undef ORVA_KEY

using R = PreferencesRecord;
KeywordDescriptor kDescs[] = {
    {kDefaultFolder, &FolderHandler<&R::defaultFolder>},
    {kProjectFolder, &FolderHandler<&R::projectFolder>},
    {kLoadFolder, &FolderHandler<&R::loadFolder>},
    {kSaveFolder, &FolderHandler<&R::saveFolder>},
    {kLoadMaskFolder, &FolderHandler<&R::loadMaskFolder>},
    {kUseDefaultFolders, &FlagHandler<&R::useDefaultFolders>},
    {kCreateNewProject, &FlagHandler<&R::createNewProject>},
    {kIEEE754Detect, &FlagHandler<&R::ieee754Detect>},
    {kDetectUnsignUseMin, &FlagHandler<&R::detectUnsignUseMin>},
    {kDetectUnsignInt, &FlagHandler<&R::detectUnsignInt>},
    {kLoadByteswap, &FlagHandler<&R::loadByteswap>},
    {kCalcStatistic, &FlagHandler<&R::calcStatistic>},
    {kSaveSwitchWrkMode, &FlagHandler<&R::saveSwitchWrkMode>},
    {kFSSave, &FlagHandler<&R::fsSave>},
    {kSIShortExt, &FlagHandler<&R::siShortExt>},
    {kFSBackup, &FlagHandler<&R::fsBackup>},
    {kDataBackup, &FlagHandler<&R::dataBackup>},
};
KeywordDescriptor* const kDescriptors[] = {
    &kDescs[0],  &kDescs[1],  &kDescs[2],  &kDescs[3],  &kDescs[4],  &kDescs[5],  &kDescs[6],
    &kDescs[7],  &kDescs[8],  &kDescs[9],  &kDescs[10], &kDescs[11], &kDescs[12], &kDescs[13],
    &kDescs[14], &kDescs[15], &kDescs[16], nullptr};

KeywordTable& PreferencesTable() {
    static KeywordTable table(kDescriptors);
    return table;
}
// Built and prepared during static initialisation.
const bool kPreferencesTableReady = PreferencesTable().Prepared();

// The preferences section: named by the user-interface object's identity.
class PreferencesFile : public KeywordFile {
public:
    explicit PreferencesFile(const PreferencesRecord* values = nullptr) : values_(values) {}
    bool WriteBody(char) override {
        if (values_ == nullptr) return false;
        const PreferencesRecord& r = *values_;
        const struct {
            const char* key;
            const char* text;
        } folders[] = {{"DefaultFolder", r.defaultFolder}, {"ProjectFolder", r.projectFolder},
                       {"LoadFolder", r.loadFolder},       {"SaveFolder", r.saveFolder},
                       {"LoadMaskFolder", r.loadMaskFolder}};
        for (const auto& f : folders) {
            if (f.text != nullptr && !Line("%s=%s\n", f.key, ScriptQuotedText(f.text).c_str())) return false;
        }
        const struct {
            const char* key;
            uint8_t value;
        } flags[] = {{"UseDefaultFolders", r.useDefaultFolders}, {"CreateNewProject", r.createNewProject},
                     {"IEEE754Detect", r.ieee754Detect},         {"DetectUnsignUseMin", r.detectUnsignUseMin},
                     {"DetectUnsignInt", r.detectUnsignInt},     {"LoadByteswap", r.loadByteswap},
                     {"CalcStatistic", r.calcStatistic},         {"SaveSwitchWrkMode", r.saveSwitchWrkMode},
                     {"FSSave", r.fsSave},                       {"OldSIFormat", r.oldSIFormat},
                     {"SIShortExt", r.siShortExt},               {"FSBackup", r.fsBackup},
                     {"DataBackup", r.dataBackup}};
        for (const auto& f : flags) {
            if (!Line("%s=%d\n", f.key, f.value)) return false;
        }
        return true;
    }

private:
    template <typename T>
    bool Line(const char* format, const char* key, T value) {
        if (Print(format, key, value)) return true;
        SetState(-5);
        return false;
    }
    const PreferencesRecord* values_;
};

}  // namespace

bool ReadPreferences(CUI* cui, const char* path) {
    if (cui == nullptr || path == nullptr || *path == '\0') return false;
    KeywordTable& table = PreferencesTable();
    if (!table.Prepared()) return false;
    PreferencesFile file;
    PreferencesRecord temp;
    uint8_t found = 0;
    ParseState& state = file.Parse();
    state.table = &table;
    state.accepted = &found;
    state.context = &temp;
    bool ok = file.Open(path, cui, &kProjectListId, 0, nullptr);
    if (ok && found != 0) {
        PreferencesRecord& p = cui->preferences;
        p = std::move(temp);
        if (p.useDefaultFolders != 0 && p.defaultFolder != nullptr) {
            for (auto field : kFolders) {
                if (field == &PreferencesRecord::defaultFolder) continue;
                std::free(p.*field);
                p.*field = strdup(p.defaultFolder);
            }
        }
    }
    ApplyPreferences(cui->preferences);
    // What was read is what a save at the end leaves to the file as it stands then.
    BaselineRecording recording;
    WritePreferences(cui, path);
    return ok;
}

bool WritePreferences(CUI* cui, const char* path) {
    if (cui == nullptr || path == nullptr || *path == '\0') return false;
    PreferencesFile file(&cui->preferences);
    return file.WriteFile(path, cui, &kProjectListId, 0, nullptr, false);
}

bool WritePreferencesBody(FILE* out, const PreferencesRecord& record, int* state) {
    PreferencesFile file(&record);
    file.SetOutputStream(out);
    bool ok = file.WriteBody('\0');
    if (state != nullptr) *state = file.State();
    return ok;
}

void ApplyPreferences(const PreferencesRecord& r) {
    DataSetServices& data = TheDataSetServices();
    data.saveServiceFiles = r.fsSave != 0;
    data.detectUnsignedInt = r.detectUnsignInt != 0;
    TheSignTestSettings().useMinMax = r.detectUnsignUseMin != 0;
    TheLayoutSettings().ieee754Detect = r.ieee754Detect != 0;
    OutputWriterHooks& writer = TheOutputWriterHooks();
    writer.oldSIFormat = r.oldSIFormat != 0;
    writer.siShortExt = r.siShortExt != 0;
    writer.fsBackup = r.fsBackup != 0;
    writer.dataBackup = r.dataBackup != 0;
    writer.saveSwitchWrkMode = r.saveSwitchWrkMode;
    TheCUI().createNewProject = r.createNewProject;
}

bool PreferenceFSSave() { return TheCUI().preferences.fsSave != 0; }

std::string PreferenceFolder(int index) {
    const PreferencesRecord& p = TheCUI().preferences;
    const char* text = nullptr;
    switch (index) {
        case 5: text = p.defaultFolder; break;
        case 7: text = p.loadFolder; break;
        case 8: text = p.saveFolder; break;
        case 9: text = p.loadMaskFolder; break;
        default: break;
    }
    return text != nullptr ? std::string(text) : std::string();
}

// ---- The dialog ----------------------------------------------------------------------------------------

namespace {

PreferencesRecord& Prefs() { return TheCUI().preferences; }
MainSettings& Main() { return TheApp().Settings(); }

// One check box of a page: the value it shows and what a click stores.
struct CheckRow {
    const char* label;
    bool (*shown)();
    void (*store)(bool ticked);  // null: the box has no action (it keeps showing the value)
};

struct PageDef {
    const CheckRow* rows;
    int count;
    bool setDefault;  // the "Set Default" button below the boxes
};

#define ORVA_FLAG(expr) [] { return (expr) != 0; }
#define ORVA_STORE(expr) [](bool t) { expr = t ? 1 : 0; }

const CheckRow kGeneralRows[] = {
    {"Fit Bitmap image to window", ORVA_FLAG(Main().bitmapFitDefault), ORVA_STORE(Main().bitmapFitDefault)},
    {"Move Bitmap image to Center window", ORVA_FLAG(Main().bitmapDefaultCenter),
     ORVA_STORE(Main().bitmapDefaultCenter)},
    {"Autoshow of Chart Tools window", ORVA_FLAG(Main().autoOpenChartTools), ORVA_STORE(Main().autoOpenChartTools)},
    {"To Confirm Closing the Program", ORVA_FLAG(Main().warningOnExit),
     [](bool t) { Main().warningOnExit = Main().exitDialog = t ? 1 : 0; }},
    {"To Confirm Closing the Data", ORVA_FLAG(Main().confirmClosing), ORVA_STORE(Main().confirmClosing)},
    {"Increase Size \"Open Dialog\" [win2k/XP]", ORVA_FLAG(Main().increaseSizeDlg), ORVA_STORE(Main().increaseSizeDlg)},
};

// "To open raw data as 'signed'..." shows and stores the inverse of unsigned detection, as
// its label says; "Calc statistic" shows and stores the value itself.
const CheckRow kInputRows[] = {
    {"To add data to the new project [on open data]", ORVA_FLAG(Prefs().createNewProject),
     ORVA_STORE(Prefs().createNewProject)},
    {"To open raw data as 'signed'...", [] { return Prefs().detectUnsignInt == 0; },
     [](bool t) { Prefs().detectUnsignInt = t ? 0 : 1; }},
    {"Select 'signed detect' method : average / min-max", ORVA_FLAG(Prefs().detectUnsignUseMin),
     ORVA_STORE(Prefs().detectUnsignUseMin)},
    {"To open as byteswap [raw data on different platform]", ORVA_FLAG(Prefs().loadByteswap),
     ORVA_STORE(Prefs().loadByteswap)},
    {"IEEE-754 type detect [NB: long time loading big a file]", ORVA_FLAG(Prefs().ieee754Detect),
     ORVA_STORE(Prefs().ieee754Detect)},
    {"Calc statistic [NB: long time loading big a file]", ORVA_FLAG(Prefs().calcStatistic),
     ORVA_STORE(Prefs().calcStatistic)},
};

const CheckRow kOutputRows[] = {
    {"Force accurate processing", ORVA_FLAG(Prefs().saveSwitchWrkMode), ORVA_STORE(Prefs().saveSwitchWrkMode)},
    {"Save \"service\" file [*.fs]", ORVA_FLAG(Prefs().fsSave), ORVA_STORE(Prefs().fsSave)},
    {"Backup \"service\" file(s)", ORVA_FLAG(Prefs().fsBackup), ORVA_STORE(Prefs().fsBackup)},
    {"Save \"service\" file use old format [*.%]", ORVA_FLAG(Prefs().oldSIFormat), nullptr},
    {"Save \"service\" file use short file extension", ORVA_FLAG(Prefs().siShortExt), ORVA_STORE(Prefs().siShortExt)},
    {"Backup data file(s)", ORVA_FLAG(Prefs().dataBackup), ORVA_STORE(Prefs().dataBackup)},
};

#undef ORVA_FLAG
#undef ORVA_STORE

const PageDef kGeneralPage{kGeneralRows, static_cast<int>(std::size(kGeneralRows)), true};
const PageDef kInputPage{kInputRows, static_cast<int>(std::size(kInputRows)), false};
const PageDef kOutputPage{kOutputRows, static_cast<int>(std::size(kOutputRows)), false};

constexpr float kRowHeight = 17.0f;

const PageDef* DefOf(const PanelPage* page) { return reinterpret_cast<const PageDef*>(page->data); }

void RefreshChecks(gWindow* window, PanelPage* page, int) {
    const PageDef* def = DefOf(page);
    if (def == nullptr || page->geometry.slots == nullptr) return;
    for (int i = 0; i < def->count; ++i) SetCheckButton(page->geometry.slots[i], def->rows[i].shown());
    if (window != nullptr && gWinValidate(window) != nullptr) window->dirty = 7;
}

void CheckClicked(gElement* e, uintptr_t data) {
    const auto* row = reinterpret_cast<const CheckRow*>(data);
    if (row == nullptr) return;
    if (row->store != nullptr) {
        row->store(CheckButtonTicked(e));
        ApplyPreferences(Prefs());
    }
    // The box shows what is stored.
    SetCheckButton(e, row->shown());
}

// The six main settings of the "General" page back to their defaults.
void SetDefaultClicked(gElement* e, uintptr_t data) {
    const MainSettings defaults;
    MainSettings& m = Main();
    m.bitmapFitDefault = defaults.bitmapFitDefault;
    m.bitmapDefaultCenter = defaults.bitmapDefaultCenter;
    m.autoOpenChartTools = defaults.autoOpenChartTools;
    m.warningOnExit = defaults.warningOnExit;
    m.exitDialog = defaults.warningOnExit;
    m.confirmClosing = defaults.confirmClosing;
    m.increaseSizeDlg = defaults.increaseSizeDlg;
    auto* page = reinterpret_cast<PanelPage*>(data);
    if (page != nullptr) RefreshChecks(e->window, page, 0);
}

int BuildChecks(gWindow* window, PanelPage* page) {
    const PageDef* def = DefOf(page);
    if (def == nullptr) return 0;
    uint32_t slots = static_cast<uint32_t>(def->count) + (def->setDefault ? 1u : 0u);
    if (!PageAllocSlots(page, slots)) return 0;
    gGroup* group = PageOpenGroup(window, page, kTopLeft);
    if (group == nullptr) return 0;
    // Every row is as wide as the widest label needs, and at least as the tab strip.
    gFont* font = GetUIFont(window);
    float width = 0;
    for (int i = 0; i < def->count; ++i)
        width = std::max(width, font != nullptr ? gFontTextWidth(font, def->rows[i].label) : 0.0f);
    width = std::max(width + 19.0f + 12.0f, 268.0f);
    for (int i = 0; i < def->count; ++i) {
        page->geometry.slots[i] = AddCheckButton(window, kTopLeft, def->rows[i].label, width, kRowHeight, &CheckClicked,
                                                 reinterpret_cast<uintptr_t>(&def->rows[i]), i > 0);
    }
    if (def->setDefault) {
        gWgtTemplate t{.desc = {.kind = 37, .style = kTopLeft | kWsNewRow, .width = 80.0f, .height = kRowHeight,
                                .offsetY = 6.0f, .color1 = 0x46D7070, .text = "Set Default",
                                .onClick = &SetDefaultClicked}};
        gElement* button = gWgtAdd(window, nullptr, &t, 0);
        if (button != nullptr) {
            button->handlerData = reinterpret_cast<uintptr_t>(page);
            button->textAlign = (button->textAlign & ~0xFC000u) | kTextCentre | kTextMiddle;
            if (gTextHooks().layout != nullptr) gTextHooks().layout(button);
        }
        page->geometry.slots[def->count] = button;
    }
    if (!PageEnsureGlyphs(page)) return 0;
    PageUpdateGeometry(page);
    return 1;
}

DialogPages* MakePreferencesDialog() {
    auto* d = new DialogPages;
    DialogPagesInit(d);
    d->title = "Preferences";
    d->flags = kPanelTabBar;
    d->tabBarWidth = 80.0f;  // each tab
    d->ownMenuKind = kPageNoMenu;  // its pages have their entries
    d->mode = kPanelShow;
    const PageRow rows[] = {
        {"General", &BuildChecks, &RefreshChecks, kPagePreferences, 0, reinterpret_cast<uintptr_t>(&kGeneralPage)},
        {"Input", &BuildChecks, &RefreshChecks, kPagePreferences, 0, reinterpret_cast<uintptr_t>(&kInputPage)},
        {"Output", &BuildChecks, &RefreshChecks, kPagePreferences, 0, reinterpret_cast<uintptr_t>(&kOutputPage)},
    };
    DialogCreatePages(d, rows, static_cast<int>(std::size(rows)));
    return d;
}

}  // namespace

// The dialog lives to the end of the process (its pages are rebuilt in every new window).
DialogPages& ThePreferencesDialog() {
    static DialogPages* dialog = MakePreferencesDialog();
    return *dialog;
}

void PreferencesDialog(gWindow* parent) { OpenPanelWindow(&ThePreferencesDialog(), kPanelRefresh, 1, parent); }

int PreferencesDialogOpen(int32_t mode, int32_t page) { return OpenPanelWindow(&ThePreferencesDialog(), mode, page, nullptr); }

bool PreferencesDialogIsShown() { return PanelShown(&ThePreferencesDialog()); }

void InstallPreferences(AppServices* services) {
    if (services != nullptr) {
        services->readPreferences = [](const char* path) { ReadPreferences(&TheCUI(), path); };
        services->writePreferences = [](const char* path) { WritePreferences(&TheCUI(), path); };
        services->preferenceFolder = &PreferenceFolder;
    }
    // With the main window come the dialogs that live over it; questions of other threads
    // are asked over it from then on.
    TheShellHooks().preferencesDialog = [](gWindow* main) {
        SetQuestionWindow(main);
        PreferencesDialog(main);
    };
}

}  // namespace orva
