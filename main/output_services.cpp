#include "main/output_services.h"

#include "app/main_menu.h"
#include "app/shell_hooks.h"
#include "io/output_writer.h"
#include "views/output_component.h"
#include "views/output_page.h"

namespace orva {

namespace {

OutputComponent* AsOutput(ComponentBase* c) { return dynamic_cast<OutputComponent*>(c); }

ComponentBase* CreateOutput(CUI* cui) { return CreateItemOutput(cui); }

void Reconnect(ComponentBase* output, ProjectItem* item) {
    if (OutputComponent* o = AsOutput(output)) ReconnectItemOutput(o, item);
}

bool SelectFormat(ComponentBase* output, const FormatDesc* format) {
    OutputComponent* o = AsOutput(output);
    return o != nullptr && OutputSelectFormat(o, RegisteredFormat(format));
}

// The menu's Save: every frame and section of the stored stage, the format list of data.
bool Save(ComponentBase* output, ProjectItem* item, int32_t, PanelBuilder) {
    OutputComponent* o = AsOutput(output);
    return o != nullptr && OutputSaveCommand(o, item, 0, 0, kWriteScopeAll, FormatTag{});
}

ComponentBase* Source(ComponentBase* output) {
    OutputComponent* o = AsOutput(output);
    return o != nullptr ? o->upstream : nullptr;
}

// The target goes: the output lets go of it.
void SourceGone(ComponentBase* output, ComponentBase* source) {
    OutputComponent* o = AsOutput(output);
    if (o == nullptr || o->upstream != source) return;
    o->link.Detach();
    RefreshOutputPageIfOpen(o, true);
}

}  // namespace

void InstallOutputServices() {
    ShellHooks& shell = TheShellHooks();
    shell.createItemOutput = &CreateOutput;
    shell.getOutputPanelBuilder = &GetOutputPanelBuilder;
    shell.reconnectItemOutput = &Reconnect;
    shell.outputSelectFormat = &SelectFormat;
    shell.outputSaveCommand = &Save;
    shell.outputSource = &Source;
    shell.outputSourceGone = &SourceGone;
    TheMainMenuHooks().openOutputPanel = &OpenOutputPanel;
    TheMainMenuHooks().outputPanelShown = &OutputPanelShown;
    TheOutputWriterHooks().targetLabel = &OutputTargetLabel;
}

}  // namespace orva
