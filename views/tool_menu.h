#pragma once
// A popup menu of a tool page's drop-down button: made from a table of labels (null: a
// separator) and item ids, kept until its button goes or it is rebuilt. UI thread only.
#include <cstdint>
#include <vector>

#include "toolkit/menu.h"

namespace orva {

struct ToolMenu {
    gMenu* menu = nullptr;
    std::vector<gMenuRow> rows;   // one per label; the builder writes each row's item back
    std::vector<uint32_t> ids;
};

// The menu of `m`, made when it has none (or its menu went): every labelled row calls
// `handler` with its id as the user data.
gMenu* ToolMenuMake(ToolMenu* m, gElement* owner, const char* const* labels, const uint32_t* ids, int32_t count,
                    gAccelHandler handler, uint32_t colour);
// The live item of an id, or null.
gMenuItem* ToolMenuItem(ToolMenu* m, uint32_t id);
void ToolMenuCheck(ToolMenu* m, uint32_t id, bool on);
void ToolMenuEnable(ToolMenu* m, uint32_t id, bool on);
// Closes and frees the menu.
void ToolMenuFree(ToolMenu* m);
bool ToolMenuLive(const ToolMenu* m);

}  // namespace orva
