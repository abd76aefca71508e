#pragma once
// Camera image files with a fixed-size header before little-endian samples: SPE
// (4100-byte header, two header generations) and LMA (512-byte header, 512 x 512
// unsigned 16-bit samples unless the service description says otherwise).
#include <cstdint>

#include "io/file_layout.h"

namespace orva {

struct InputSource;

constexpr int64_t kSpeHeaderSize = 4100;
constexpr int64_t kLmaHeaderSize = 512;

inline constexpr ComponentId kSpeInfoId{{FourCC("SPEP"), 0, FourCC("FRMT"), FourCC("INFO")}, nullptr};

// The SPE information component: the layout with tag "SPE WINV".
struct SpeInfo : FormatInfoOf<SpeInfo, kSpeInfoId> {
    SpeInfo() { tag = MakeFormatTag("SPE WINV"); }
};

// Parses the 4100 header bytes into the layout (tag "SPE WINV"); false when the header
// is refused (the reason is logged with the file name).
bool SpeParseHeader(FileLayout* layout, const uint8_t* header, int64_t fileLength, const char* name);

// The descriptors' open operations: 2 or more opened.
int SpeOpen(InputSource* source);
int LmaOpen(InputSource* source);

}  // namespace orva
