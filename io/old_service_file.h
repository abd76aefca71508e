#pragma once
// The old line-oriented service file kept beside a data file before the ".fs"
// script files: the data file's path with '%' put in front of the extension
// (m31.fit -> m31.%fit). Width and height on the first line, optionally a
// display range as mean and spread on the next, then KEY=value lines of the
// service-description keys. Still read when there is no ".fs" file, and
// written beside output files on request.
#include <cstddef>
#include <cstdint>

#include "common/disk_file.h"
#include "io/service_description.h"

namespace orva {

// Lines and characters per line read from an old service file.
constexpr uint32_t kOldServiceMaxLines = 1024;
constexpr size_t kOldServiceLineSize = 1024;

// The old service file's name of a data file into out (`size` bytes). 2 when
// made, 0 when the data file has no extension (it has no old service file),
// -13 when the name does not fit (out is then left empty, never overrun).
int OldServiceFileName(char* out, size_t size, const char* path);

class OldServiceFile : public DiskFile {
public:
    explicit OldServiceFile(ServiceDescription* description) : description_(description) {}
    // Reads the file into the description (ParsingServisFile).
    bool Load() override;
    // Writes the description.
    bool Save() override;
    ServiceDescription* Description() const { return description_; }

private:
    bool ParsingServisFile();
    ServiceDescription* description_;
};

// The description of the old service file of the data file at `path`, with the
// hand-over of LoadServiceDescription. False when there is none.
bool LoadOldServiceDescription(const char* path, ServiceDescription** description);
// Writes the old service file of the data file at `path` (through a temporary
// copy; `shortExtension` and `keepBackup` add the DiskFile modes 0x20 and 0x200).
bool writeOldServisFile(const ServiceDescription* description, const char* path, bool shortExtension,
                        bool keepBackup = false);
// Removes the old service files of a data file: m31.%fit and the short m31.%f.
void DeleteOldServiceFiles(const char* path);

}  // namespace orva
