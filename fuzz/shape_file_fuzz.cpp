// Shape, mask and reference-point files: read any file with the plain reader (every
// block handed on), and, when its points lie in a modest range, load it into a shape,
// save that shape as an anchor file and load it again; then merge the file into a view's
// shape container as the Load dialog's "Merge" does (MergeShapeFile: one batch, a shape
// and an undo step per block), undo every step and redo them.
//
// What must hold: a handed-on block holds rows of 2 to 4 finite float components, never
// more rows than the file has lines; a loaded shape has a kind of 0..13 and at least the
// points its kind needs; its anchor file loads back to the same kind, role, SUBPIX and
// points, bit for bit; the merge adds the file's first shape with the kind it loads as,
// paints the view at most once and refreshes its panel at most once; undoing every step
// leaves the container's own shape alone (with no more steps than the list keeps), redoing every step brings all the
// merged shapes back; nothing but the files named below is left in the folder.
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "fuzz/text_fuzz_support.h"
#include "shapes/editing/shape_requests.h"
#include "shapes/shape_container.h"
#include "shapes/shape_undo.h"
#include "shapes/shape_view.h"
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

// A view without a window that counts what the container asks of it.
class CountingView : public ShapeView {
public:
    void Redraw() override { ++redraws; }
    void RefreshPanel(Shape*) override { ++panels; }
    int redraws = 0;
    int panels = 0;
};

class QuietFrame : public ShapeEditFrame {
public:
    void Show(ShapeContainer&) override { shown = true; }
    void Hide(ShapeContainer&) override { shown = false; }
    bool Shown() const override { return shown; }
    void Place(ShapeContainer&) override {}
    bool shown = false;
};

void CheckShapes(const ShapeContainer& box) {
    for (Shape* s = box.FirstShape(); s != nullptr; s = box.NextShape(s)) {
        fuzz::Require(s->header.kind >= 0 && s->header.kind < kShapeKindCount, "a merged shape's kind");
        fuzz::Require(s->header.anchors.Count() >= KindNeedsPoints(s->header.kind), "a merged shape's points");
    }
}

// Merges the file into a container holding one shape, as a load from the view's page does.
void MergeIntoContainer(const std::string& path, int32_t loadedKind) {
    CountingView view;
    QuietFrame frame;
    ShapeContainer box(&view, &frame, std::make_unique<MemoryShapeList>());
    Shape* own = CreateShape(kKindRect);
    fuzz::Require(own != nullptr, "a rectangle is made");
    const float corners[4] = {1, 1, 9, 9};
    own->header.anchors.SetPoints(corners, 2);
    own->ResetPivot(kUpdateFull);
    fuzz::Require(box.AddShape(own), "the view takes its own shape");
    const uint32_t before = box.ShapeCount();
    const uint32_t stepsBefore = box.undo.count;
    view.redraws = view.panels = 0;
    const bool merged = MergeShapeFile(&box, path.c_str());
    fuzz::Require(view.redraws <= 1 && view.panels <= 1, "the merge paints the view and its panel once");
    const uint32_t added = box.ShapeCount() - before;
    fuzz::Require(box.ShapeCount() >= before, "the merge removes no shape");
    if (merged) {
        fuzz::Require(added >= 1, "a merge that answers true adds a shape");
        fuzz::Require(box.NextShape(box.FirstShape())->header.kind == loadedKind,
                      "the first merged shape has the kind the file loads as");
    }
    CheckShapes(box);
    fuzz::Require(box.undo.count >= stepsBefore, "the merge drops no undo step");
    // Undo everything, then redo it.
    uint32_t undone = 0;
    while (undone <= added + stepsBefore && box.undo.Step(true)) ++undone;
    const uint32_t left = box.ShapeCount();
    if (stepsBefore + added <= kUndoStepLimit)
        fuzz::Require(left == before, "undoing every step removes every merged shape");
    CheckShapes(box);
    uint32_t redone = 0;
    while (redone <= undone && box.undo.Step(false)) ++redone;
    fuzz::Require(redone == undone, "every undone step is redone");
    fuzz::Require(box.ShapeCount() == before + added, "redoing every step brings every shape back");
    CheckShapes(box);
    box.RemoveAllNow();
    box.undo.Clear();
}

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
            MergeIntoContainer(path, h.kind);
        }
    }
    for (const std::string& name : fuzz::FolderEntries(fuzz::PrivateFolder()))
        fuzz::Require(name == "p.msk" || name == "q.msk" || name == "p.msk.log" || name == "q.msk.log",
                      "only the files and their parse logs are left");
    for (const char* name : {"p.msk.log", "q.msk", "q.msk.log"}) unlink(fuzz::PrivateFile(name).c_str());
    return 0;
}
