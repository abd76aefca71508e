#include "io/formats/jpeg/jpeg_reader.h"

#include <algorithm>
#include <climits>
#include <csetjmp>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

// libjpeg's header needs FILE and size_t declared first.
#include <jpeglib.h>
#include <jerror.h>

#include "common/error_codes.h"
#include "common/log.h"
#include "io/formats/bmp/decoded_image.h"
#include "io/input_source.h"
#include "io/stream.h"

namespace orva {

namespace {

constexpr int64_t kMaxWidth = 0x200000;
constexpr uint32_t kMaxComponents = 16384;
// Rows are gathered into blocks of about this many bytes; a few blocks are in flight.
constexpr int64_t kBlockBytes = 1 << 20;
constexpr int kWriterBlocks = 4;

// The error manager: every message of the library goes to the log with the file's
// name. A fatal error, or the warning that the data ended before the picture did,
// returns control to the setjmp of DecodeInto (1 and 2).
struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    const char* name;
};

void OutputMessage(j_common_ptr c) {
    char message[JMSG_LENGTH_MAX];
    message[0] = '\0';
    (*c->err->format_message)(c, message);
    LogPrintf("\"%s\": %s", reinterpret_cast<ErrorManager*>(c->err)->name, message);
}

[[noreturn]] void ErrorExit(j_common_ptr c) {
    ErrorManager* e = reinterpret_cast<ErrorManager*>(c->err);
    if (c->err->msg_code == JERR_NO_BACKING_STORE)
        LogPrintf("\"%s\": decoding needs more than the %I64d MB of memory allowed", e->name,
                  static_cast<int64_t>(c->mem->max_memory_to_use >> 20));
    else
        OutputMessage(c);
    std::longjmp(e->jump, 1);
}

void EmitMessage(j_common_ptr c, int level) {
    jpeg_error_mgr* err = c->err;
    if (level >= 0) {
        if (err->trace_level >= level) OutputMessage(c);
        return;
    }
    OutputMessage(c);
    ++err->num_warnings;
    // Data that end early are a damaged file: stop at the first sign of it.
    if (err->msg_code == JWRN_JPEG_EOF || err->msg_code == JWRN_HIT_MARKER)
        std::longjmp(reinterpret_cast<ErrorManager*>(err)->jump, 2);
}

// Everything the decoder changes after its setjmp lives here, out of its frame.
struct DecodeWork {
    BlockWriter* writer = nullptr;
    int result = kResultReady;
};

// setjmp and every library call stay in this one function, whose locals are all
// trivially destructible, so the jump back never skips a destructor. Rows are decoded
// into blocks that the writer writes while the next block is decoded.
int DecodeInto(FILE* file, DecodeWork* w, JpegInfo* info, JpegDecodeState* state, const char* name) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = ErrorExit;
    err.pub.emit_message = EmitMessage;
    err.pub.output_message = OutputMessage;
    err.name = name ? name : "";
    if (const int jumped = setjmp(err.jump)) {
        jpeg_destroy_decompress(&cinfo);
        if (jumped == 2) {
            LogPrintf("\"%s\": damaged JPEG data: they end before the picture does", err.name);
            return kErrCorrupt;
        }
        return kErrGeneral;
    }
    jpeg_create_decompress(&cinfo);
    // The memory the library may take for the whole-image buffers of a progressive
    // picture: beyond it the decode is refused instead of growing with the header's sizes.
    cinfo.mem->max_memory_to_use = static_cast<long>(std::clamp<int64_t>(TheDecodeBudget().memoryBytes, 0, LONG_MAX));
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);

    info->colorSpace = cinfo.jpeg_color_space;
    info->densityX = cinfo.X_density;
    info->densityY = cinfo.Y_density;
    info->progressive = cinfo.progressive_mode ? 1 : 0;
    info->width = cinfo.image_width;
    info->height = cinfo.image_height;
    info->components = cinfo.num_components < 1 ? 1u
                       : static_cast<uint32_t>(cinfo.num_components) > kMaxComponents
                           ? kMaxComponents
                           : static_cast<uint32_t>(cinfo.num_components);
    info->type = 0x101;
    info->bits = cinfo.data_precision < 8 ? static_cast<uint32_t>(cinfo.data_precision) : 8u;

    // Four-component images have no conversion to RGB in the 6b interface; refuse them
    // the same way whichever library build is present.
    if (cinfo.jpeg_color_space == JCS_CMYK || cinfo.jpeg_color_space == JCS_YCCK) {
        LogPrintf("\"%s\": %s", name ? name : "", "Unsupported color conversion request");
        jpeg_destroy_decompress(&cinfo);
        return kErrGeneral;
    }
    cinfo.dct_method = JDCT_FLOAT;
    cinfo.dither_mode = JDITHER_FS;
    cinfo.do_block_smoothing = TRUE;
    cinfo.do_fancy_upsampling = TRUE;
    cinfo.two_pass_quantize = TRUE;
    cinfo.quantize_colors = FALSE;
    cinfo.enable_2pass_quant = TRUE;
    cinfo.out_color_space = cinfo.jpeg_color_space == JCS_GRAYSCALE ? JCS_GRAYSCALE : JCS_RGB;
    // The decoded picture must fit the temporary folder before anything is decoded.
    const uint64_t pixels = static_cast<uint64_t>(cinfo.image_width) * cinfo.image_height;
    const int space = CheckDecodedSpace(err.name, pixels * (cinfo.out_color_space == JCS_GRAYSCALE ? 1 : 3));
    if (space < kResultReady) {
        jpeg_destroy_decompress(&cinfo);
        return space;
    }
    jpeg_start_decompress(&cinfo);

    const int64_t width = cinfo.output_width;
    const int64_t height = cinfo.output_height;
    const int64_t components = cinfo.output_components;
    if (width < 1 || width > kMaxWidth || height < 1 || components < 1) {
        LogPrintf("\"%s\": Not supported size [%d x %d] of the data", name ? name : "",
                  static_cast<int>(width), static_cast<int>(height));
        jpeg_destroy_decompress(&cinfo);
        return kErrUnsupported2;
    }
    const int64_t rowBytes = width * components;
    int64_t blockRows = kBlockBytes / rowBytes;
    if (blockRows < 1) blockRows = 1;
    if (blockRows > height) blockRows = height;
    JSAMPROW rows[64];
    int64_t done = 0;
    while (cinfo.output_scanline < cinfo.output_height) {
        uint8_t* block = w->writer->Acquire(static_cast<size_t>(blockRows * rowBytes));
        if (block == nullptr) {
            w->result = w->writer->Error() ? kErrCantWrite : kErrOutOfMemory;
            break;
        }
        // Fill a block of rows, several per call, then hand it to the writer.
        int64_t filled = 0;
        while (filled < blockRows && cinfo.output_scanline < cinfo.output_height) {
            const int64_t want = blockRows - filled < 64 ? blockRows - filled : 64;
            for (int64_t i = 0; i < want; ++i) rows[i] = block + (filled + i) * rowBytes;
            const JDIMENSION got = jpeg_read_scanlines(&cinfo, rows, static_cast<JDIMENSION>(want));
            if (got == 0) break;
            filled += got;
        }
        if (filled > 0) w->writer->Submit(block, done * rowBytes, static_cast<size_t>(filled * rowBytes));
        done += filled;
        if (filled == 0) break;
    }
    // Rows count only once they are in the file; a picture the temporary folder cannot
    // hold is not opened cut.
    const int64_t written = w->writer->Finish() / rowBytes;
    if (written < done || w->writer->Error()) {
        done = written;
        w->result = kErrCantWrite;
    }
    state->type = 0x400101;
    state->components = components == 1 ? 1u : static_cast<uint32_t>(components);
    state->width = width;
    state->rows = done;
    if (done == height && w->result == kResultReady)
        jpeg_finish_decompress(&cinfo);
    else
        jpeg_abort_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    if (w->result == kErrCantWrite) return DecodedWriteFailed(err.name, w->writer->Error());
    if (w->result == kErrOutOfMemory) return kErrOutOfMemory;
    if (done != height) return kResultIncomplete;
    return w->result;
}

}  // namespace

JpegInfo::JpegInfo() { tag = MakeFormatTag("JPEG"); }

int JpegDecode(FILE* file, StreamRecord* stream, JpegInfo* info, JpegDecodeState* state,
               const char* name) {
    if (file == nullptr || stream == nullptr || info == nullptr || state == nullptr) return kErrWrong;
    BlockWriter writer(stream, kWriterBlocks);
    if (!writer.Ready()) return kErrOutOfMemory;
    DecodeWork work;
    work.writer = &writer;
    return DecodeInto(file, &work, info, state, name);
}

int JpegOpen(InputSource* source) {
    if (source == nullptr || source->request == nullptr || source->name == nullptr ||
        source->name->Length() <= source->name->NameOffset())
        return kErrWrong;
    const char* name = source->name->Text();
    FILE* file = std::fopen(name, "rb");
    if (file == nullptr) return ErrnoToErrorValue(errno);
    FormatInfoRef<JpegInfo> info(JpegInfo::Create());
    if (!info) {
        std::fclose(file);
        return kErrOutOfMemory;
    }
    int r = OpenDecodedStream(&source->stream, name);
    if (r < kResultReady) {
        std::fclose(file);
        return r;
    }
    JpegDecodeState state;
    const int decoded = JpegDecode(file, source->stream, info.get(), &state, name);
    std::fclose(file);
    if (decoded < kResultReady || state.rows == 0) {
        StreamClose(&source->stream);
        return decoded < kResultReady ? decoded : kResultDataEmpty;
    }
    DecodedImage image;
    image.type = 0x101;
    image.components = state.components;
    image.width = state.width;
    image.height = state.rows;
    image.rangeMax = 255.0;
    r = AttachDecodedImage(source, image, info.get());
    if (r == kResultReady) r = decoded;
    return r;
}

bool JpegInfoText(const JpegInfo* info, uint32_t item, char* buffer, size_t size) {
    if (buffer == nullptr || size == 0) return false;
    const char* text = nullptr;
    if (item == 1) {
        text = "Jpeg";
    } else if (item == 4 && info != nullptr) {
        static const char* const kSpaces[] = {nullptr, "Gray", "RGB", "YCbCr (YUV)", "CMYK", "YCbCrK (YCCK)"};
        if (info->colorSpace >= 1 && info->colorSpace <= 5) text = kSpaces[info->colorSpace];
    }
    if (text == nullptr || std::strlen(text) >= size) return false;
    std::memcpy(buffer, text, std::strlen(text) + 1);
    return true;
}

}  // namespace orva
