#pragma once
// The raw BINARY format's reading half: any file read as a block of raw samples
// whose shape comes from the open request and the file's service description.
// RawOpen is the shared second half of opening: it turns a reader's layout (or
// none) plus the service description into a data set and hands it to the input
// source. Data positions from a layout or a description are held against the
// file length before they are used.
#include <cstdint>

#include "io/file_layout.h"

namespace orva {

class DataSet;
struct InputSource;
struct ServiceDescription;

inline constexpr ComponentId kBinaryInfoId{{FourCC("BIN0"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// The BINARY information component: the layout with tag "BINARY" that RawOpen builds.
struct BinaryInfo : FormatInfoOf<BinaryInfo, kBinaryInfoId> {
    BinaryInfo() { tag = MakeFormatTag("BINARY"); }
};

// The open operation of the BINARY descriptor: -1 without a current file, -2 past
// the end of the file list, 1 for an empty file, else RawOpen's result.
int BinaryOpen(InputSource* source);

// The second half of an open over the source's open stream. `sourceLayout` (may be
// null) gives type, sizes, frames, positions and valid flags; `reserved` is 0;
// `dataSet` (may be null: one is made) receives the layout; `skipDescription`
// marks the type as stated instead of loading the ".fs" description. The result of
// InputSource::AttachDataSet, or -1 (no open stream), -14 (no memory).
int RawOpen(InputSource* source, FileLayout* sourceLayout, int reserved, DataSet* dataSet,
            bool skipDescription);

// The same with a description to use when the file has none of its own (the
// two-argument RawOpen of the input source opens the stream and calls this).
int RawOpenWithDescription(InputSource* source, FileLayout* sourceLayout, DataSet* dataSet,
                           bool skipDescription, const ServiceDescription* fallback);

}  // namespace orva
