// Shape, mask and reference-point files: read any file with the plain reader (every
// block handed on), and, when its points lie in a modest range, load it into a shape,
// save that shape as an anchor file and load it again.
//
// What must hold: a handed-on block holds rows of 2 to 4 finite float components, never
// more rows than the file has lines; a loaded shape has a kind of 0..13 and at least the
// points its kind needs; its anchor file loads back to the same kind, role, SUBPIX and
// points, bit for bit; nothing but the files named below is left in the folder.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "fuzz/text_fuzz_support.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape_undo.h"
#include "shapes/ui/shape_files.h"

namespace {

using namespace orva;

// Keeps reading past every block, checking each.
class CheckingReader : public ShapeFileReader {
public:
    explicit CheckingReader(size_t lines) : lines_(lines) { multiObject = true; }
    bool CommitObject() override {
        const AnchorBuffer& b = record.header.anchors;
        fuzz::Require(b.elementType == 7 && b.elementsPerItem >= 2 && b.elementsPerItem <= 4, "point rows");
        fuzz::Require(b.Count() <= lines_, "no more rows than lines");
        const auto* v = static_cast<const float*>(b.data);
        for (size_t i = 0; i < size_t{b.Count()} * b.elementsPerItem; ++i) {
            fuzz::Require(std::isfinite(v[i]), "finite components");
            if (std::fabs(v[i]) > 4096.0f) modest = false;
        }
        if (b.Count() > 4096) modest = false;
        return true;
    }
    bool modest = true;

private:
    size_t lines_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string path = fuzz::PrivateFile("p.msk");
    const std::string saved = fuzz::PrivateFile("q.msk");
    if (!fuzz::WriteWhole(path, data, size)) __builtin_trap();
    size_t lines = 1;
    for (size_t i = 0; i < size; ++i) lines += data[i] == '\n' || data[i] == '\r';
    bool modest = false;
    {
        CheckingReader reader(lines);
        reader.LoadFile(path.c_str());
        modest = reader.modest;
    }
    if (modest) {
        Shape* made = nullptr;
        if (LoadShapeFile(nullptr, path.c_str(), true, &made)) {
            ShapeRef hold(made);
            fuzz::Require(made != nullptr, "a load that answers true made a shape");
            const ShapeHeader& h = made->header;
            fuzz::Require(h.kind >= 0 && h.kind < kShapeKindCount, "a kind of the table");
            fuzz::Require(h.anchors.Count() >= KindNeedsPoints(h.kind), "the points the kind needs");
            if (SaveShapeFile(made, saved.c_str(), 1, kRoleUnset, false)) {
                Shape* back = nullptr;
                fuzz::Require(LoadShapeFile(nullptr, saved.c_str(), true, &back), "an anchor file loads back");
                ShapeRef holdBack(back);
                const ShapeHeader& b = back->header;
                fuzz::Require(b.kind == h.kind && b.role == h.role && b.subpix == h.subpix, "the header reads back");
                fuzz::Require(b.anchors.SamePoints(h.anchors), "the points read back");
            }
        }
    }
    for (const std::string& name : fuzz::FolderEntries(fuzz::PrivateFolder()))
        fuzz::Require(name == "p.msk" || name == "q.msk" || name == "p.msk.log" || name == "q.msk.log",
                      "only the files and their parse logs are left");
    for (const char* name : {"p.msk.log", "q.msk", "q.msk.log"}) unlink(fuzz::PrivateFile(name).c_str());
    return 0;
}
