// The round trip of a service description (.fs file): the input is the key lines of the
// data file's block. A description the first read accepts is made ready for writing back
// as a closing data set makes it (PrepareRewrite, with the frames the description states
// and the positions of a raw file kept), written by the service description writer over
// the same .fs file and read again. The second read must accept it and give every field
// the writer writes as it was written. An input the first read refuses only has to pass
// without a fault.
#include <cinttypes>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "fuzz/text_fuzz_support.h"
#include "io/data_set_info.h"
#include "io/service_description.h"

namespace {

using namespace orva;

__attribute__((format(printf, 1, 2))) std::string Fmt(const char* format, ...) {
    char line[160];
    va_list args;
    va_start(args, format);
    std::vsnprintf(line, sizeof line, format, args);
    va_end(args);
    return line;
}

// The fields the writer writes, one "name=value" per line, in the form the reader takes
// them back: a field the writer leaves out for its value is shown as the reader's default.
std::string WrittenFields(const ServiceDescription& d) {
    std::string text;
    auto add = [&text](const char* name, const std::string& value) { text += std::string(name) + "=" + value + "\n"; };
    add("sizeX", Fmt("%" PRId64, d.sizeX > 0 ? d.sizeX : 0));
    add("sizeY", Fmt("%" PRId64, d.sizeY > 0 ? d.sizeY : 0));
    add("sizeZ", Fmt("%" PRId64, d.sizeZ >= 2 ? d.sizeZ : 0));
    const bool begin = d.positionsValid && d.beginPos != 0 && d.beginPos < d.fileLength;
    const bool end = d.positionsValid && d.endPos != 0 && d.endPos < d.fileLength && d.endPos > d.beginPos;
    add("beginPos", Fmt("%" PRId64, begin ? d.beginPos : 0));
    add("endPos", Fmt("%" PRId64, end ? d.endPos : 0));
    // A crop size that reaches the end of its axis is the whole axis, written as no size.
    auto cropSize = [](int64_t size, int64_t axis) { return axis > 0 && size >= axis ? 0 : size; };
    add("crop", Fmt("%" PRId64 " %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64 " %" PRId64, d.cropX, d.cropY, d.cropZ,
                    cropSize(d.cropSizeX, d.sizeX), cropSize(d.cropSizeY, d.sizeY), cropSize(d.cropSizeZ, d.sizeZ)));
    if ((d.flags & kFlagValueRange) && d.min < d.max)
        add("minmax", Fmt("%.17g %.17g", d.min, d.max));
    else
        add("minmax", Fmt("none"));
    add("scale", Fmt("%.17g", d.scale));
    // A zero of -0 is no offset: not written, read back as 0.
    add("zero", Fmt("%.17g", d.zero == 0.0 ? 0.0 : d.zero));
    add("type", Fmt("0x%08x", d.type));
    add("bits", Fmt("%u", d.bits));
    add("blank", Fmt("%" PRId64, (d.flags & kFlagBlank) && !(d.type & 0x50) ? d.blank : 0));
    add("channels", Fmt("%u", d.channels));
    add("nchannelOut", Fmt("%u", d.channels > 1 ? d.nchannelOut : 0));
    add("convSpec", Fmt("%d", d.channels > 1 ? d.convSpec : 0));
    // Frames the description does not state are not written: the next open counts them.
    if (d.flags & kFlagFrames) {
        add("framesMax", Fmt("%u", d.framesMax));
        add("frames", Fmt("%u", d.frames));
    } else {
        add("framesMax", "unstated");
        add("frames", "unstated");
    }
    add("sections", Fmt("%u", d.sections > 1 ? d.sections : 0));
    add("frameStep", Fmt("%d", d.frameStep));
    add("fps", Fmt("%.17g", d.fps >= kFpsMin ? d.fps : 0.0));
    char tag[9] = {};
    std::memcpy(tag, d.formatTag.w, 8);
    add("formatTag", Fmt("%s", tag));
    return text;
}

// The fields that the second read gives otherwise than they were written.
void ReportDifferences(const std::string& written, const std::string& read) {
    size_t i = 0, j = 0;
    while (i < written.size() && j < read.size()) {
        const size_t ie = written.find('\n', i), je = read.find('\n', j);
        const std::string a = written.substr(i, ie - i), b = read.substr(j, je - j);
        if (a != b) std::fprintf(stderr, "  written %s, read back %s\n", a.c_str(), b.c_str());
        i = ie + 1;
        j = je + 1;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string dataPath = fuzz::PrivateFile("r.dat");
    const std::string fsPath = fuzz::PrivateFile("r.fs");
    const std::string keys(reinterpret_cast<const char*>(data), size);
    // The block of the data file as a user writes it beside the file.
    const std::string script =
        std::string("SEL(URL=\"r.dat\")\n{\n [{") + ServiceSectionName() + "}]\n" + keys + "\n}\n";
    if (!fuzz::WriteWhole(fsPath, script.data(), script.size())) __builtin_trap();

    ServiceDescription* first = nullptr;
    if (LoadFsDescription(dataPath.c_str(), nullptr, &first)) {
        fuzz::Require(first != nullptr, "an accepted read hands over a record");
        // What a raw file opened with this description writes back when it closes: its
        // positions are the user's, the file longer than any of them, and the frames it
        // read those the description states.
        first->positionsValid = 1;
        first->fileLength = INT64_MAX;
        first->state = 1;
        DataSetInfo info;
        info.SetTotalFrames(first->framesMax != 0 ? first->framesMax : first->frames, true);
        PrepareRewrite(first, info);
        const std::string written = WrittenFields(*first);
        const std::string before = fuzz::ReadWhole(fsPath);
        if (!SaveServiceDescription(first, dataPath.c_str(), nullptr, false)) {
            // A file whose blocks do not all pair is read for its own block but never
            // rewritten: it stays as the user wrote it.
            fuzz::Require(fuzz::ReadWhole(fsPath) == before, "a refused rewrite leaves the file as it was");
            delete first;
            fuzz::CheckOnlyFiles({"r.fs"});
            unlink(fsPath.c_str());
            return 0;
        }
        ServiceDescription* second = nullptr;
        const bool reread = LoadFsDescription(dataPath.c_str(), nullptr, &second);
        if (reread) {
            // The same raw file opened again.
            second->positionsValid = 1;
            second->fileLength = INT64_MAX;
        }
        const std::string read = reread ? WrittenFields(*second) : std::string();
        if (!reread || read != written) {
            std::fprintf(stderr, "the rewritten description reads back otherwise%s\n", reread ? ":" : " (refused)");
            if (reread) ReportDifferences(written, read);
            std::fprintf(stderr, "--- the rewritten file:\n%s---\n", fuzz::ReadWhole(fsPath).c_str());
            __builtin_trap();
        }
        delete second;
        delete first;
    }
    fuzz::CheckOnlyFiles({"r.fs"});
    unlink(fsPath.c_str());
    return 0;
}
