#pragma once
// Frame and section access of a data set: the mapping of logical frames (those
// the signed frame step visits) to the file's frames, the section counts and
// records of a frame table, the clamp of a data set's current position, the
// section records that describe each section, and the current section's record
// in physical units. The data set, its read kernels, the Source and its pages
// all address frames and sections through these.
#include <cstdint>

#include "io/data_set_info.h"
#include "io/value_range.h"

namespace orva {

class DataSet;

// The file frame of logical frame n for a signed step s over P file frames:
// - s >= 1: n × s (at most P - 1);
// - s <= -1: P - 1 - n × |s|, 0 once n × |s| reaches P, so that the last frame is
//   reachable and no frame is read twice;
// - s = 0: frame 0 for n = 0, the last frame for every other n.
// A product n × |s| above 0x7FFFFFFF becomes 0x7FFFFFFF / |s|. 0 without frames
// or for a negative n.
uint32_t MapFrameByStep(const DataSetInfo& info, int64_t logicalFrame);
uint32_t MapFrameByStep(int32_t step, uint32_t frames, int64_t logicalFrame);

// The section count of a file frame in a frame table: 0 outside the frames the table
// holds, for a table whose last frame is held in part (partialCount not 0), and for a
// table marked incomplete.
uint32_t FrameTableSectionCount(const SectionFrameTable* table, uint32_t fileFrame);
// The entry of section k of a file frame in a frame table, or nullptr: the frame must
// lie in the table and k below its entry's section count; on the file's last frame,
// when that is held in part, k must lie in [partialFirst, partialFirst + partialCount)
// and counts from partialFirst.
SectionEntry* FrameTableSectionRecord(SectionFrameTable* table, uint32_t fileFrame,
                                      uint32_t section);
// The same; once the frame is known to lie in the table, its entry's section count is
// stored into *sectionCount (when given) before the section is checked.
SectionEntry* FrameTableSectionRecordEx(SectionFrameTable* table, uint32_t fileFrame,
                                        uint32_t section, uint32_t* sectionCount);
// The sections of a logical frame: the table's count for its file frame, else the
// sections per frame.
uint32_t FrameSectionCount(const DataSetInfo& info, int64_t logicalFrame);

// Brings the data set's current frame and section into range. False without logical
// frames or when the current frame has no sections (the section then becomes 0);
// true at once while the section count is known. Moving the frame or the section
// forgets the kept statistics (cacheValid, cacheHasData).
bool SourceClampCurrentFrame(DataSet* dataSet);

// The statistics part of a section record as a value range, and back.
ValueRangeRecord ValueRangeOf(const SectionStatistics& record);
void StoreValueRange(SectionStatistics* record, const ValueRangeRecord& range);
// The statistics of a section record in physical units with the data set's scale,
// zero and channel factor.
ValueRangeRecord PhysicalRangeOf(const DataSetInfo& info, const SectionStatistics& record);

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
// The current section's record in physical units (its statistics mapped as
// MapRangeToPhysical does, the sum included), or nullptr.
const SectionStatistics* DataSetTotalInfo(DataSet* dataSet, int mode);

}  // namespace orva
