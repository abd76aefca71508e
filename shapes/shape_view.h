#pragma once
// What the shapes need of the view they are drawn on, of the edit frame around
// the current shape and of the list that keeps a view's shapes in drawing
// order. The image window, the toolkit's widget chain and the edit frame
// implement these; the in-memory list here serves views without a window.
#include <cstdint>

namespace orva {

class Shape;
class ShapeContainer;
class ShapeEditFrame;
class ShapeItem;

// View coordinates per data unit; used when the flag is set.
struct ViewPixelScale {
    uint8_t flag = 0;
    double x = 1.0;
    double y = 1.0;
};

// Data units per screen pixel of a zoomed view; used while `active` is set.
struct ViewZoom {
    uint8_t active = 0;
    double x = 1.0;
    double y = 1.0;
};

// The data view a container belongs to and its shapes measure.
class ShapeView {
public:
    virtual ~ShapeView() = default;

    // Repaints the view (at once when it can be painted, else later).
    virtual void Redraw() {}
    // Many shapes changed together: the view is painted with the next refresh of the
    // windows that need it, which the end of the change runs once. A view that keeps no
    // such mark paints now.
    virtual void MarkForRedraw() { Redraw(); }
    // Tells the view's active tool to stop.
    virtual void StopTool() {}
    // Points the "Edit Shape..." panel at the shape (nullptr: none) and
    // refreshes it when it is shown.
    virtual void RefreshPanel(Shape* shape) { (void)shape; }
    // The "Edit Shape..." panel lets go of a shape of this view that it shows.
    virtual void ForgetPanel() {}
    // True while Shift is held (steps the edit mode backwards).
    virtual bool ShiftHeld() const { return false; }
    // The view's window exists and can show shapes.
    virtual bool WindowReady() const { return true; }
    // The measuring item a new slice or statistic shape is linked to when the
    // request names none (the view's default Reduction item), or nullptr.
    virtual ShapeItem* DefaultItem() { return nullptr; }
    // Closes the transient overlay of the view (before a glyph drag).
    virtual void CloseOverlay() {}
    // The size of the data frame the view shows; false when it shows none.
    virtual bool DataFrameSize(int64_t* width, int64_t* height) const {
        (void)width;
        (void)height;
        return false;
    }
    // Brings the geometry below up to date with the window, which scrolls and zooms on
    // its own; the drawing and the pointer's reading call it first.
    virtual void Follow() {}
    // The pointer in window pixels (where a menu pastes); false when it is not known.
    virtual bool PointerPosition(double* x, double* y) const {
        (void)x;
        (void)y;
        return false;
    }

    // The path of the data file the view shows (its current data source) into a
    // buffer of kPathMax bytes; false when there is none.
    virtual bool SourcePath(char* buffer) const {
        (void)buffer;
        return false;
    }

    double originX = 0.0;  // added to data coordinates to give view coordinates
    double originY = 0.0;
    ViewPixelScale pixelScale;
    ViewZoom zoom;
    double displayOffsetX = 0.0;  // where the image starts in the window, window pixels
    double displayOffsetY = 0.0;
    // The view's area in its window (x, y, width, height, window pixels) and the extent
    // its drawing is clipped to, from that area's corner.
    float windowRect[4] = {0.0f, 0.0f, 0.0f, 0.0f};
    float clipWidth = 0.0f;
    float clipHeight = 0.0f;
    const void* dataSource = nullptr;  // the data the view shows, compared by identity
    uint32_t ownerCode = 0;            // the code of the component that owns the view
    Shape* rememberedShape = nullptr;  // cleared when shapes are removed
    Shape* boundShape = nullptr;       // the shape the view last bound
    bool busy = false;                 // a view tool runs
    ShapeContainer* container = nullptr;  // the view's shapes (set by the container)
};

// Makes the edit frame of a container that has none (nullptr: none can be
// made). The edit-frame code installs it; without it containers keep theirs.
using ShapeEditFrameMaker = ShapeEditFrame* (*)(ShapeContainer& container);
ShapeEditFrameMaker& TheShapeEditFrameMaker();

// The select rectangle, handles, pivot centre and aperture field around the
// current shape.
class ShapeEditFrame {
public:
    virtual ~ShapeEditFrame() = default;
    // Places the frame around the container's current shape for its edit mode
    // and shows it.
    virtual void Show(ShapeContainer& container) = 0;
    virtual void Hide(ShapeContainer& container) = 0;
    virtual bool Shown() const = 0;
    // Re-places a shown frame (the handles of the frame modes included).
    virtual void Place(ShapeContainer& container) = 0;
    // Enables or disables the frame's widgets.
    virtual void SetEnabled(bool on) { (void)on; }
    // Drops a highlight of a handle that waits to be drawn (the view is dragged).
    virtual void DropHighlight() {}
    // Closes the aperture field when it is open for editing.
    virtual void CloseField() {}
};

// How a shape shows on its view: its glyph. A glyph belongs to its shape,
// which destroys it; while it is linked into a list the list holds one
// reference to the shape.
class ShapeGlyph {
public:
    explicit ShapeGlyph(Shape* shape) : shape(shape) {}
    ShapeGlyph(const ShapeGlyph&) = delete;
    ShapeGlyph& operator=(const ShapeGlyph&) = delete;
    virtual ~ShapeGlyph() = default;

    virtual void SetEnabled(bool on) { enabled = on ? 1 : 0; }
    virtual void SetVisible(bool on) { visible = on ? 1 : 0; }
    // A glyph of a view that does not show its data (another file shows in the window)
    // is neither drawn nor picked, whatever its own visibility.
    virtual void SetConcealed(bool on) { concealed = on ? 1 : 0; }
    virtual void SetFlag(uint32_t bits, bool on) { flags = on ? (flags | bits) : (flags & ~bits); }
    // The shape's kind changed: its painter and drag procedure follow it.
    virtual void KindChanged() {}

    Shape* shape;
    uint8_t enabled = 0;
    uint8_t visible = 1;
    uint8_t concealed = 0;
    uint32_t flags = 0;
};

// The glyphs of a container in drawing order (the last is drawn on top). A run
// taken out of the list keeps its inner links, so that it can be walked and
// linked back as a whole.
class ShapeList {
public:
    virtual ~ShapeList() = default;
    virtual ShapeGlyph* First() const = 0;
    virtual ShapeGlyph* Last() const = 0;
    // The neighbours of a glyph (nullptr at either end of the list or run).
    virtual ShapeGlyph* Next(const ShapeGlyph* glyph) const = 0;
    virtual ShapeGlyph* Previous(const ShapeGlyph* glyph) const = 0;
    // A new glyph for the shape, not yet linked; nullptr when it cannot be made.
    virtual ShapeGlyph* MakeGlyph(Shape* shape) = 0;
    // Links the run first..last (one glyph: first == last) at the end.
    virtual void Link(ShapeGlyph* first, ShapeGlyph* last) = 0;
    // Takes the run first..last out without destroying it.
    virtual void Unlink(ShapeGlyph* first, ShapeGlyph* last) = 0;
    // The two listed glyphs exchange places.
    virtual void Exchange(ShapeGlyph* a, ShapeGlyph* b) = 0;
};

// A list of plain glyphs in memory.
class MemoryShapeList final : public ShapeList {
public:
    MemoryShapeList() = default;
    ShapeGlyph* First() const override;
    ShapeGlyph* Last() const override;
    ShapeGlyph* Next(const ShapeGlyph* glyph) const override;
    ShapeGlyph* Previous(const ShapeGlyph* glyph) const override;
    ShapeGlyph* MakeGlyph(Shape* shape) override;
    void Link(ShapeGlyph* first, ShapeGlyph* last) override;
    void Unlink(ShapeGlyph* first, ShapeGlyph* last) override;
    void Exchange(ShapeGlyph* a, ShapeGlyph* b) override;

private:
    struct Node;
    static Node* AsNode(const ShapeGlyph* glyph);
    Node* first_ = nullptr;
    Node* last_ = nullptr;
};

}  // namespace orva
