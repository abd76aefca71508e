#pragma once
// The preferences: the user's standing choices about opening and saving data (five
// default folders and thirteen flags), kept in the user interface object, read from the
// user's orva.cfg at start-up after the main settings and written back at exit; and the
// "Preferences" dialog with its "General", "Input" and "Output" pages (the "General"
// page edits six of the main settings). UI thread only.
#include <cstdint>
#include <cstdio>
#include <string>

namespace orva {

class CUI;
struct AppServices;
struct DialogPages;
struct gWindow;

struct PreferencesRecord {
    uint8_t createNewProject;    // CreateNewProject
    uint8_t useDefaultFolders;   // UseDefaultFolders
    uint8_t ieee754Detect;       // IEEE754Detect
    uint8_t detectUnsignUseMin;  // DetectUnsignUseMin: signed detection by minimum
    uint8_t detectUnsignInt;     // DetectUnsignInt
    uint8_t calcStatistic;       // CalcStatistic
    uint8_t loadByteswap;        // LoadByteswap
    uint8_t saveSwitchWrkMode;   // SaveSwitchWrkMode: accurate processing on save
    uint8_t fsSave;              // FSSave: save service files
    uint8_t oldSIFormat;         // OldSIFormat (written, never read back)
    uint8_t siShortExt;          // SIShortExt
    uint8_t fsBackup;            // FSBackup
    uint8_t dataBackup;          // DataBackup
    // Owned texts (malloc'ed), null when unset.
    char* defaultFolder;   // DefaultFolder
    char* projectFolder;   // ProjectFolder
    char* loadFolder;      // LoadFolder
    char* saveFolder;      // SaveFolder
    char* loadMaskFolder;  // LoadMaskFolder

    PreferencesRecord();
    ~PreferencesRecord();
    PreferencesRecord(const PreferencesRecord&) = delete;
    PreferencesRecord& operator=(const PreferencesRecord&) = delete;
    // Moving frees the destination's texts, copies the record and clears the source's
    // text pointers: the texts change owner.
    PreferencesRecord(PreferencesRecord&& other) noexcept;
    PreferencesRecord& operator=(PreferencesRecord&& other) noexcept;

    // The defaults: every flag 0 except CalcStatistic, LoadByteswap, SaveSwitchWrkMode,
    // FSSave and SIShortExt; no folders (the texts are released).
    void Reset();
    void FreeStrings();
};

// Reads the preferences section of the settings file at `path` into the CUI's record
// (kept when the file or the section is missing); with UseDefaultFolders and a default
// folder, the four other folders become copies of it. The result of reading.
bool ReadPreferences(CUI* cui, const char* path);
// Rewrites the preferences section of the file at `path`.
bool WritePreferences(CUI* cui, const char* path);
// The lines of the section to a stream; a line that cannot be written stops it with the
// state -5.
bool WritePreferencesBody(FILE* out, const PreferencesRecord& record, int* state);
// Hands the flags to the layers that keep their own copies (readers, service files,
// output writer, the open road).
void ApplyPreferences(const PreferencesRecord& record);
// FSSave: settings are written to service files.
bool PreferenceFSSave();
// The folder texts by the application's folder index: 5 DefaultFolder, 7 LoadFolder,
// 8 SaveFolder, 9 LoadMaskFolder; empty when unset.
std::string PreferenceFolder(int index);

// The dialog: built hidden over the parent (its pages, tab bar and menu entries made)
// or brought back; PreferencesDialogOpen runs OpenPanelWindow with the mode and page and
// no parent; PreferencesDialogIsShown tells whether its window is on screen.
void PreferencesDialog(gWindow* parent);
int PreferencesDialogOpen(int32_t mode, int32_t page);
bool PreferencesDialogIsShown();
DialogPages& ThePreferencesDialog();

// Installs the reading and writing of the preferences and their folders in the start-up
// services, and the dialog over the main window.
void InstallPreferences(AppServices* services);

}  // namespace orva
