#pragma once
// Shape, mask and reference-point files: a shape saved as plain text, keyed header
// lines (";KEY=value") followed by one block of numeric rows between ";#data" and
// ";#end". Three kinds of file exist:
//  - anchor files ("*.msk", form 1): the shape's anchor points;
//  - data files ("*.txt", default suffix "_msk.txt", form 0): the offset outline of
//    an open shape or the rectangles of a closed shape's mask (in the mask's own pixel
//    frame), the anchors only as a fall-back;
//  - reference-point files ("*.rep"): the reference point (the statistic centre the
//    region statistic leaves in the shape; a negative x means none).
// A file is read back with a parse log "<file>.log" beside it (removed when nothing
// was logged); an anchor or reference-point block becomes the shape's anchors with
// the kind, role, offset settings and SUBPIX of the header.
//
// User-interface thread only; the caller holds the shape by a reference.
#include <cstdint>
#include <string>
#include <vector>

#include "common/disk_file.h"
#include "common/log.h"
#include "framework/keyword_table.h"
#include "shapes/editing/shape_links.h"
#include "shapes/shape.h"

namespace orva {

class ShapeContainer;

// Status line and log texts.
inline constexpr char kMaskEmptyText[] = "Mask - empty";
inline constexpr char kSaveShapeText[] = "Save shape";
inline constexpr char kLoadShapeText[] = "Load shape";
inline constexpr char kCantSaveShapeFormat[] = "Can`t save to file '%s'";
inline constexpr char kNoFileAccessFormat[] = "write %s: there is no file access";

// Loading: what the status line (with the file's name) and the program log (with its
// path) say when a file is not taken; the shape stays as it was.
inline constexpr char kCantLoadShapeFormat[] = "Can`t load shape '%s': %s";
inline constexpr char kDataFileText[] = "mask data, no anchor points";
// A role the file sets that its kind does not take (the file's role, the kind, the
// role the shape got).
inline constexpr char kRoleNotKeptFormat[] = "'%s': role %s does not fit a %s, loaded as %s";

// SUBPIX a file may set: the mask is built in a frame SUBPIX times finer than the
// data's pixels, so its rows grow with SUBPIX and its coordinates (data coordinate x
// SUBPIX) must stay well inside 32 bits. 1/64 of a pixel is finer than any sampling
// needs; a larger factor only costs time and memory.
constexpr int32_t kShapeSubpixMax = 64;

// Status-line codes of the shape files' messages: errors in the error colour, notices
// in the default colour (the line shows a text only with a code of -2 or below).
constexpr int kShapeStatusError = -3;
constexpr int kShapeStatusNotice = -2;
// The text on the status line of window group 0.
void ShapeStatus(int code, const std::string& text);
// `format` (a file's name, then a reason, each "%s") within the status line's room: the
// name is shortened (its ends kept) before the reason; a reason still too long loses the
// last fields of the row it quotes.
std::string ShapeFileMessage(const char* format, const std::string& name, const std::string& reason);

// The state a failed write leaves in a writer.
constexpr int kShapeWriteFailed = -5;
// The most lines a reader reads, and the longest line it takes (a longer one makes
// the file a bad file).
constexpr uint32_t kShapeFileMaxLines = 0x1000000;
constexpr size_t kShapeFileMaxLineLength = 0x100000;
// The largest coordinate a shape file may give a point (a frame's pixels stay far below),
// and the largest component of its offset vector.
constexpr double kShapeCoordinateLimit = 1e9;
// The most points a block of a shape file may give one shape: far more than a drawn
// shape has, and few enough that its mask, outline and drawing stay quick. A larger block
// is refused with its count (its rows beyond the limit are counted, not kept).
constexpr uint32_t kShapeFileMaxPoints = 50000;
// The most shapes, and points in all, one file may give a view: every shape is a glyph
// the view draws at each paint and an item the Reduction lists. A file beyond either is
// refused whole, at the block that passes the bound, before any shape changes.
constexpr uint32_t kShapeFileMaxShapes = 20000;
constexpr uint64_t kShapeFileMaxTotalPoints = 1000000;

// The time text of the ";TIME=" line, in the asctime form with its own line end, into
// a buffer of 64 bytes; tests set a fixed clock (nullptr: the local time).
using ShapeFileClock = void (*)(char* buffer);
void SetShapeFileClock(ShapeFileClock clock);

// No offset outline points, an empty mask (no rectangles, or a box with y0 not below
// y1) and no anchors: nothing to save.
bool ShapeIsEmpty(const Shape* shape);

// The remembered name a save chooses (the name rule): the mask-file name for anchor
// files (form 1), reference-point files and shapes of role RefPoint; else the
// data-file name.
char** ShapeRememberedName(Shape* shape, int32_t form, bool refFile);

// The default name: `base` (else the path of the shape's view's data file) with its
// extension replaced by "_<kind>_<serial>" (the kind name, else the shape's name,
// else "noname"; cut to 32 characters) and ".rep" (reference-point files), ".msk"
// (form 1) or "_msk.txt"; with a given base and `extension` clear the base keeps its
// own extension; without a base the suffix and extension alone. When that fails (a
// base beginning with "<", ">", ":" or "|", or a name that does not fit), the base
// with its extension replaced, else "noname.rep", "noname.msk" or "nonamemsk.txt":
// false. `out` holds kPathMax bytes.
bool DefaultShapeFileName(Shape* shape, char* out, const char* base, bool extension, int32_t form,
                          int32_t refFlag);

class ShapeFileWriter : public DiskFile {
public:
    // `shape` may be null (a mask saver exchanges shapes); it is held by a reference.
    ShapeFileWriter(Shape* shape, int32_t form, int32_t refFlag);
    ~ShapeFileWriter() override;

    bool Load() override { return false; }
    // The header (only into an empty file), then the body.
    bool Save() override;
    // A file that is not ready forgets the remembered name of the form.
    void OnFailed() override;

    // Chooses the target: without a name the remembered one, else the default name;
    // with a name and `fromBase` the default name made from it as base; the chosen
    // name is remembered in the shape when names are remembered. False when no name
    // can be had or the file object refuses the path.
    bool OpenForSave(const char* name, bool fromBase, bool extension);
    // The shape written next (counted; null lets the current one go).
    void SetShape(Shape* next);
    // Writes a line of its own ("#begin list" markers) into the open file, opening it
    // first when needed; a failure sets the write-failed state.
    bool WriteMarker(const char* line);
    // The header of the current shape when the open file is still empty.
    bool WriteHeaderIfEmpty();

    Shape* shape = nullptr;
    int32_t form;
    int32_t kindAtStart;
    int32_t refFlag;          // 1: reference-point files (a mask saver keeps its role filter here)
    bool rememberName = false;
    bool showMessages = false;

protected:
    bool RefFile() const;
    bool Failed();
    bool WriteHeader(FILE* f);
    // The lines that describe the shape itself (role, kind, offset, SUBPIX): the end of
    // the header, and, before each later shape of a file that holds several, its own.
    bool WriteShapeKeys(FILE* f);
    bool WriteBody(FILE* f);
};

// The parsed header of a shape file: the offset words (at the reader's defaults until
// a key sets them), kind, role, SUBPIX and the block rows (the header's anchor buffer:
// element type 7 with 2 to 4 components for points, 5 with 4 for rectangles).
struct ShapeFileRecord {
    ShapeFileRecord();
    ShapeHeader header;
    std::string url;
    uint32_t naxis = 0;
    bool offsetRead = false;  // an OFFSET key was taken
    bool subpixRead = false;  // a SUBPIX number was read
    bool stamped = false;     // a ";TIME=" line: written by this program
    // The role the file set, before the tags were normalised (-512: none).
    int32_t roleRead = kRoleUnset;
    // The first refused value of a key that sets the shape (0: none), its line and
    // text; comments, the time, the URL and NAXIS (the rows tell their columns) set
    // nothing of it.
    uint32_t refusedLine = 0;
    std::string refusedText;
    // A block of a file this program wrote that ends without its ";#end", and the
    // line it ends at.
    bool cutShort = false;
    uint32_t cutLine = 0;
    // The rows of the current block beyond kShapeFileMaxPoints (counted, not kept).
    uint64_t rowsBeyond = 0;
    // The first row of the current block with a point beyond kShapeCoordinateLimit (0:
    // none), and the row as written.
    uint32_t beyondLine = 0;
    std::string beyondRow;
    // The first row the reader passed over, with its line and why (empty: none).
    std::string skippedRow;
    // The first block whose kind did not take the role the file set: its role, its
    // kind and the role it got (-512: none).
    int32_t roleAsked = kRoleUnset;
    int32_t roleKind = -1;
    int32_t roleGot = kRoleUnset;
    ShapeFileTags tags;
};

class ShapeFileReader : public DiskFile {
public:
    ShapeFileReader();
    ~ShapeFileReader() override;

    // Runs the parse on the open stream.
    bool Load() override;
    bool Save() override { return false; }
    // Hands a finished block on; the plain reader takes nothing.
    virtual bool CommitObject() { return false; }
    // Ends the reading after the block at hand (a loader that takes no more).
    void StopReading() { stop_ = true; }

    bool reportErrors = false;
    // Why a file that was read is no shape file (empty: it is one, or was not read).
    std::string badFile;
    ShapeFileRecord record;
    bool multiObject = false;  // clear: the first block taken ends the reading
    bool list = false;
    uint32_t lineNumber = 0;
    uint32_t blocks = 0;
    // The object tag of the block as it was read, before its normalisation.
    char blockObject[9] = {};
    LogFile parseLog;
    ParseState parse;

private:
    bool ParseLine(std::string* line);
    void Marker(const char* text);
    void Row(const char* text);
    bool FirstRow(uint32_t columns, const char* text);
    bool StoreRow(uint32_t columns);
    void EndBlock();
    // Keeps the first passed-over row (its parse-log line is written by the caller).
    void RowSkipped(const char* why, const char* text);

    bool inData_ = false;
    bool skip_ = false;
    bool stop_ = false;
    bool outOfMemory_ = false;
    uint32_t required_ = 0;
    double values_[4] = {0.0, 0.0, 0.0, 0.0};
};

// A shape as a block of a file gives it: its kind, role, points (x, y), and the offset
// settings and SUBPIX when the file set them (SUBPIX 0: not set).
struct ReadShape {
    int32_t kind = -1;
    int32_t role = kRoleUnset;
    bool offsetRead = false;
    EditTransformState offset;
    int32_t subpix = 0;
    std::vector<float> xy;
    uint32_t Count() const { return static_cast<uint32_t>(xy.size() / 2); }
};

// Reads a file into a shape (or, without one, into a shape it makes).
class ShapeLoader : public ShapeFileReader {
public:
    ShapeLoader(Shape* shape, bool keepName);
    // A shape that took a block and is held elsewhere remembers the file as its
    // mask-file name unless the name is kept.
    ~ShapeLoader() override;
    bool CommitObject() override;
    // Remembers a role the block's kind did not take.
    void NoteRole(int32_t kind, int32_t role);
    // The block becomes the shape (made when there is none): taken. False, the shape
    // unchanged, without memory.
    bool Take(const ReadShape& read);

    Shape* shape;  // counted
    bool keepName;
    bool taken = false;
    bool created = false;
    // With `takeAll`, every block the file holds is kept here as read, and nothing is
    // taken while the file is read: a file of several shapes comes back whole, or,
    // beyond kShapeFileMaxShapes or kShapeFileMaxTotalPoints, not at all.
    bool takeAll = false;
    std::vector<ReadShape> kept;
    uint64_t pointsKept = 0;
    // Why a block was not taken although it was read (empty: it was, or none came), and
    // why the file was refused whole.
    std::string refusal;
    std::string fileRefusal;
};

// The block as a shape of the view takes it; false for blocks that are no shape's
// anchors (other tags, a kind outside 0..13, fewer points than the kind needs) or no
// memory. A kind of a fixed number of points takes that many.
bool ReadShapeOf(const ShapeFileRecord& record, ReadShape* out);
// The offset settings a shape whose own are `own` takes from the block: the file's
// (with the shape's angle) when it set any; a direction the kind does not take becomes
// "CNRM".
EditTransformState ReadOffset(const ReadShape& read, const EditTransformState& own);
// Makes the block's points the shape's anchors, with its kind, role, offset settings and
// SUBPIX; the shape is set up and updated as after a change of kind and, in a container,
// an "ALL0" step is recorded. False (shape unchanged) without memory.
bool AdoptReadShape(Shape* shape, const ReadShape& read);
// ReadShapeOf, then AdoptReadShape.
bool ShapeAdoptBlock(Shape* shape, const ShapeFileRecord& record);

// The shape's save: true when the file was written; messages in the status line with
// `showMessages`.
bool SaveShapeFile(Shape* shape, const char* name, int32_t form, int32_t refFlag, bool showMessages);
// The save dialog, then SaveShapeFile with the chosen name; `refArg` 1 makes a
// reference-point file (-512: none).
bool SaveShapeAs(Shape* shape, int32_t form, int32_t refArg);
// Reads the file into the shape (null: a new shape, handed to *made when made is given,
// with no reference as CreateShape makes it). True only when a block was taken. A file
// that cannot be read, holds no shape, was cut short, has a refused header value or a
// SUBPIX outside 1..kShapeSubpixMax changes nothing (no undo step) and answers false,
// saying why in the log and the status line; a role the kind does not take is said
// there too.
// With `more`, every further shape the file holds comes too, as a new shape each (one
// reference each, the caller's); a file that holds more shapes or points than a file may
// give changes nothing.
bool LoadShapeFile(Shape* shape, const char* path, bool keepName, Shape** made = nullptr,
                   std::vector<Shape*>* more = nullptr);
// The same with the further shapes as read, for a view to make its own shapes of.
bool LoadShapeFileBlocks(Shape* shape, const char* path, bool keepName, Shape** made, std::vector<ReadShape>* more);
// Loads the file into a new shape of the container, made as a paste makes one (current,
// with its undo step), a new shape for each it holds; false, saying why, when the file or
// the view takes none.
bool MergeShapeFile(ShapeContainer* container, const char* path);
// The first shape of the file takes the shape's place (the file remembered as its
// mask-file name); any further ones come as new shapes of its view, as a paste makes
// them, the view painted and its shapes measured once when the last is in place.
bool ReplaceFromShapeFile(Shape* shape, const char* path);
// The open dialog, then ReplaceFromShapeFile with the chosen name, or, with "Merge"
// ticked, MergeShapeFile into its container.
bool LoadShapeAs(Shape* shape);

}  // namespace orva
