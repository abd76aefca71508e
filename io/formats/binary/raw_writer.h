#pragma once
// The raw BINARY format's writing half: the output writer's samples as they are
// packed (its output type and byte order), with no header.
namespace orva {

class OutputWriter;
struct FitsOutputJob;

// The write operation of the BINARY descriptor: true when data was written, the
// clipping check passed and the writer asks for no rewrite.
bool BinaryWrite(OutputWriter* writer);
// The data of the writer into an open job without header.
bool BinaryWriteFile(FitsOutputJob* job);

}  // namespace orva
