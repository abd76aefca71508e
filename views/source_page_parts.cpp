#include "views/source_page_parts.h"

#include <cstdio>
#include <cstring>

#include "common/number_text.h"
#include "io/data_set.h"
#include "io/frame_access.h"
#include "toolkit/edit_field.h"
#include "toolkit/number_field.h"
#include "toolkit/layout.h"
#include "toolkit/text_layout.h"
#include "toolkit/window.h"
#include "views/output_page.h"

namespace orva {

void ShowPageStatus(gElement* status, int32_t index) {
    if (status == nullptr) return;
    // The shared last index may name a text another page shows.
    if (status->text != OutputStatusString(index)) OutputStatusReset();
    OutputStatusText(status, index);
}

std::string FieldDoubleText(double value) {
    // The text reads back as the value itself, so that a field committed as shown changes
    // nothing.
    return ShortestDoubleText(value);
}

bool CurrentSectionFields(DataSet* d, SectionFields* out) {
    if (d == nullptr || out == nullptr || d->TotalFrames() == 0 || !SourceClampCurrentFrame(d)) return false;
    SectionFields f;
    if (SectionFrameTable* table = d->frameTable.get()) {
        const uint32_t fileFrame = MapFrameByStep(*d, d->currentFrame);
        const SectionEntry* entry =
            FrameTableSectionRecord(table, fileFrame, static_cast<uint32_t>(d->currentSection));
        if (entry == nullptr) return false;
        const SectionGeometry& g = entry->geometry;
        auto i64 = [](uint64_t v) { return v > static_cast<uint64_t>(INT64_MAX) ? INT64_MAX : static_cast<int64_t>(v); };
        f.begin = i64(g.dataPosition);
        uint64_t bytes = 0;
        const uint64_t planes = g.planes != 0 ? g.planes : 1;
        if (__builtin_mul_overflow(g.rowLength, g.rows, &bytes) || __builtin_mul_overflow(bytes, planes, &bytes) ||
            __builtin_mul_overflow(bytes, static_cast<uint64_t>(d->StoredPixelBytes()), &bytes) ||
            __builtin_add_overflow(bytes, g.dataPosition, &bytes))
            bytes = UINT64_MAX;
        f.end = i64(bytes);
        f.cropOrigin[0] = i64(g.cropX);
        f.cropOrigin[1] = i64(g.cropY);
        f.cropOrigin[2] = i64(g.cropZ);
        f.cropSize[0] = i64(g.cropSizeX);
        f.cropSize[1] = i64(g.cropSizeY);
        f.cropSize[2] = i64(g.cropSizeZ);
        f.size[0] = i64(g.rowLength);
        f.size[1] = i64(g.rows);
        f.size[2] = i64(g.planes);
    } else {
        if (static_cast<uint32_t>(d->currentSection) >= d->sections) return false;
        f.begin = d->dataBegin;
        f.end = d->dataEnd;
        f.cropOrigin[0] = d->cropX;
        f.cropOrigin[1] = d->cropY;
        f.cropOrigin[2] = d->cropZ;
        f.cropSize[0] = d->cropSizeX;
        f.cropSize[1] = d->cropSizeY;
        f.cropSize[2] = d->cropSizeZ;
        f.size[0] = d->sizeX;
        f.size[1] = d->sizeY;
        f.size[2] = d->sizeZ;
    }
    *out = f;
    return true;
}

int ShownAxes(const int64_t size[3]) {
    if (size[2] > 1) return 3;
    return size[1] > 1 ? 2 : 1;
}

UIElement*& MenuPage() {
    static UIElement* element = nullptr;
    return element;
}

}  // namespace orva
