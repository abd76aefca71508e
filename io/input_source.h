#pragma once
// Opening a data file: the formats are tried in a fixed order (the service
// description's format for names without an extension, a forced format, the
// format chosen in the file dialog, the formats that list the extension, every
// other format that can be probed by content, the service description again, and
// last the question whether to read the file as raw binary). Each try hands the
// InputSource to the format's open operation; a reader that succeeds builds a
// DataSet and gives it back through InputSource::AttachDataSet.
#include <cstdint>

#include "common/path_name.h"
#include "io/data_set.h"
#include "io/format_desc.h"
#include "io/format_registry.h"
#include "io/stream.h"

namespace orva {

class FileLayout;

// What the caller asks to open.
struct OpenRequest {
    OpenRequest() = default;
    OpenRequest(const OpenRequest&) = delete;
    OpenRequest& operator=(const OpenRequest&) = delete;
    ~OpenRequest();

    char* sourceName = nullptr;     // heap text (malloc), rebuilt by OpenSequenceFile
    uint32_t listPosition = 0;      // 1-based in the registry's input list; 0 none
    int32_t headerNumber = 0;       // 1-based header (part) the reader is to read
    int32_t sectionNumber = 0;
    uint32_t options = 0;
    FormatTag forcedFormat;         // zero: none
    FormatRegistry* registry = nullptr;  // nullptr: the program's registry
};

// Takes the finished data set; 2 when accepted.
class InputReceiver {
public:
    virtual ~InputReceiver() = default;
    virtual int TakeDataSet(DataSet* dataSet) = 0;
};

// Handed to a format's open operation for one open.
struct InputSource {
    StreamRecord* stream = nullptr;
    uint32_t options = 0;
    const PathName* name = nullptr;
    const FormatDesc* format = nullptr;
    InputReceiver* receiver = nullptr;
    OpenRequest* request = nullptr;

    // One try of a format. -1 without format or request; otherwise the reader's result
    // (2 and above normalised to 2), -11 when a success left no stream, -5 when the
    // stream is not open; an empty file goes to RawOpen when emptyAsBinary is set.
    int OpenWithFormat(const FormatDesc* format, bool emptyAsBinary);
    // Called by a reader once it built the data set: the receiver's result, 0 without
    // one, -16 without a stream or when the data set refuses the input.
    int AttachDataSet(DataSet* dataSet, StreamRecord* stream, const DataSetLayout* layout);
    // The request's source name when set, else the name's text, else nullptr.
    const char* CurrentFileName() const;
    // n >= 1: the header number becomes n, else it is incremented; the source name is
    // rebuilt from "<NAME>", the section and header numbers and the file name.
    bool OpenSequenceFile(int32_t n);
    // The registry of this open.
    FormatRegistry& Registry() const;
};

// Opens the file; the result code. The caller zeroes stream, options, name and format
// and sets the receiver; on return format, request and name are clear and the stream
// reference is released.
int OpenInputFile(InputSource* source, OpenRequest* request, const PathName* name);
// The same for a name whose extension begins with '%'.
int OpenSourceByName(InputSource* source, const PathName* name);

// The service-description calls opening needs: the service-file loaders by default;
// tests put their own in (a null hook finds no description).
struct ServiceDescriptionHooks {
    // The ".fs" description of a data file (by its source name or path), or nullptr.
    ServiceDescription* (*loadFs)(const char* name) = nullptr;
    // The ".fs" description, else the older service file, or nullptr.
    ServiceDescription* (*load)(const char* name) = nullptr;
};
ServiceDescriptionHooks& TheServiceDescriptionHooks();

// Opens the file as raw binary data through the stream layer: the layout is the whole
// file (from the description's positions when one is given), the service description
// of the file is attached and merged. The reader of raw files completes this.
int RawOpen(InputSource* source, const ServiceDescription* binaryDescription);

// The plain path in a source name ("<NAME>|S2|/data/a.raw" gives "/data/a.raw").
const char* SourceNamePath(const char* sourceName);

// The objects of a parsed layout that a data set keeps (its sample format and tag).
DataSetLayout DataSetLayoutFrom(const FileLayout& layout);

}  // namespace orva
