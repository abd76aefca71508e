#include "framework/global_commands.h"

#include "common/system.h"
#include "framework/app_object.h"
#include "framework/component_id.h"
#include "framework/main_settings.h"

namespace orva {

namespace {

const ComponentId kGlobalIfaceId{{FourCC("CMDI"), 0, FourCC("GLOB"), FourCC("APPL")}, "Cmd Global"};

MainSettings* SettingsOf(const CommandContext* context) {
    return context ? static_cast<MainSettings*>(context->userData) : nullptr;
}

// Sets the flag byte the record's user data points at.
bool NewInstanceHandler(const CommandRecord* record, const CommandArgList*, CommandContext*) {
    if (record->disabled || record->userData == nullptr) return false;
    *static_cast<uint8_t*>(record->userData) = 1;
    return true;
}

bool KeyListHandler(const CommandRecord* record, const CommandArgList*, CommandContext* context) {
    if (record->disabled || context == nullptr) return false;
    auto* app = dynamic_cast<AppObject*>(context->owner);
    if (app == nullptr) return false;
    std::string program;
    if (!ModuleBaseNameOf(app->ProgramPath().c_str(), 0, &program)) program = "orva";
    return WriteCommandList(app->Registry(), app->ProgramFolder(), program);
}

bool ExitDialogHandler(const CommandRecord* record, const CommandArgList* args, CommandContext* context) {
    MainSettings* settings = SettingsOf(context);
    if (record->disabled || settings == nullptr || args == nullptr || args->empty()) return false;
    if ((*args)[0].kind != 4) return false;
    settings->exitDialog = (*args)[0].intValue != 0;
    return true;
}

bool ExitHandler(const CommandRecord* record, const CommandArgList*, CommandContext* context) {
    MainSettings* settings = SettingsOf(context);
    if (record->disabled || settings == nullptr) return false;
    settings->windowless = 1;
    settings->quitRequest = 1;
    settings->exitDialog = 0;
    return true;
}

const CommandWord kExitDialogWords[] = {
    {"disable\0", 4, 0},
    {"enable\0", 4, 1},
    {nullptr, 0, 0},
};
const CommandArgSpec kExitDialogSpecs[] = {{kArgWordList, kExitDialogWords, nullptr}};

CommandRecord gNewInstance{"Create new instance", 0, "newinstance\0newinst\0", &NewInstanceHandler, 0,
                           nullptr, nullptr, 0};
CommandRecord gKeyList{"Print cmd list (cmdlist.txt)", 0, "keylist\0key\0", &KeyListHandler, 0, nullptr,
                       nullptr, 0};
CommandRecord gExitDialog{"Disable/enable exit dialog", 0, "exitdialog\0exitdlg\0", &ExitDialogHandler, 1,
                          kExitDialogSpecs, nullptr, 0};
CommandRecord gExit{"Exit", 0, "exit\0", &ExitHandler, 0, nullptr, nullptr, 0};

CommandRecord* const kGlobalRecords[] = {&gNewInstance, &gKeyList, &gExitDialog, &gExit, nullptr};

}  // namespace

const CommandInterface kGlobalIface{&kGlobalIfaceId, "Global", "Global Iface", kGlobalRecords};

CommandRecord& NewInstanceRecord() { return gNewInstance; }
CommandRecord& ExitRecord() { return gExit; }

void RegisterGlobalIface(AppObject& app) {
    for (CommandRecord* const* r = kGlobalRecords; *r; ++r) {
        (*r)->disabled = 0;
        (*r)->userData = nullptr;
    }
    CommandRegistryAdd(app.Registry(), app, kGlobalIface);
}

}  // namespace orva
