#pragma once
// Frame and section access of a data set: the mapping of logical frames (those
// the signed frame step visits) to the file's frames, the section records that
// describe each section, and the current section's record in physical units.
#include <cstdint>

#include "io/data_set_info.h"

namespace orva {

class DataSet;

// The file frame of logical frame f for a signed step s over N file frames:
// f x s (at most N - 1) for a positive step; N - 1 - f x |s| for a negative one,
// so that the last frame is reachable and no frame is read twice (0 when that
// falls below the first frame). 0 without frames or for a negative f.
uint32_t MapFrameByStep(const DataSetInfo& info, int64_t logicalFrame);
uint32_t MapFrameByStep(int32_t step, uint32_t frames, int64_t logicalFrame);

// The entry of a file frame's section in a frame table, or nullptr (a partial last
// frame counts its sections from the first one present).
SectionEntry* FrameTableSectionRecord(SectionFrameTable* table, uint32_t fileFrame,
                                      uint32_t section);

// The record of a section, or nullptr; frame below the frames visited. The file
// frame is returned when asked for. Without a frame table the record window is moved
// when needed.
SectionStatistics* DataSetSectionRecord(DataSet* dataSet, int32_t frame, int32_t section,
                                        uint32_t* fileFrame);
// The same look-up for the read kernels: never moves the window and, with a frame
// table, answers only entries marked present.
SectionStatistics* SourceSectionData(DataSet* dataSet, int32_t frame, int32_t section,
                                     uint32_t* fileFrame);
// The record of (frame, section) (negative: the current one), computed by the
// statistics kernel when needed. Mode 2 never computes; a mode other than 0 needs
// valid data.
SectionStatistics* DataSetSectionInfo(DataSet* dataSet, int32_t frame, int32_t section,
                                      int mode);
// The preview kernel's answer for (frame, section) into the destination.
bool DataSetSectionInfoEx(DataSet* dataSet, int32_t frame, int32_t section, void* destination);
// The current section's record in physical units, or nullptr.
const SectionStatistics* DataSetTotalInfo(DataSet* dataSet, int mode);

}  // namespace orva
