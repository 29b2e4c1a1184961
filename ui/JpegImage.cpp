#include "ui/JpegImage.h"

#include <csetjmp>
#include <cstddef>
#include <cstdio> // jpeglib.h needs FILE and size_t declared first

#include <jpeglib.h>

// libjpeg reports a fatal error by calling error_exit, whose default ends the process. Ours jumps
// back to the decoding step that made the call. Throwing a C++ exception instead would unwind
// through libjpeg's C frames, which are not built for it; so the steps below that call libjpeg are
// plain functions whose frames hold only trivially destructible values, and a longjmp out of
// libjpeg therefore skips no destructor. The QImage lives in DecodeJpeg's frame, which never holds
// a jump target, and libjpeg's own memory is released by jpeg_destroy_decompress in every case.

namespace ui {
namespace {

struct ErrorManager {
    jpeg_error_mgr Base; // first, so the libjpeg pointer converts back to ours
    std::jmp_buf Jump;
};

[[noreturn]] void ExitByJump(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    std::longjmp(manager->Jump, 1);
}

// Warnings mean corrupt or missing data (a truncated stream among them, which libjpeg would
// otherwise pad with grey); a picture built from such data is refused as a whole.
void WarnByJump(j_common_ptr info, int level) {
    if (level < 0) {
        ExitByJump(info);
    }
}

void Silent(j_common_ptr) {}

struct Header {
    JDIMENSION Width;
    JDIMENSION Height;
    J_COLOR_SPACE Output;
    bool InvertedInk; // CMYK stored the Adobe way: 255 means no ink
};

// Reads the header and starts decompression. Returns false on any libjpeg error.
bool StartDecoding(jpeg_decompress_struct* info, ErrorManager* errors, const unsigned char* bytes,
                   unsigned long size, Header* header) {
    if (setjmp(errors->Jump) != 0) {
        return false;
    }
    jpeg_mem_src(info, bytes, size);
    jpeg_read_header(info, TRUE);
    switch (info->jpeg_color_space) {
    case JCS_GRAYSCALE:
        info->out_color_space = JCS_GRAYSCALE;
        break;
    case JCS_CMYK:
    case JCS_YCCK:
        info->out_color_space = JCS_CMYK;
        break;
    default:
        info->out_color_space = JCS_RGB;
        break;
    }
    jpeg_calc_output_dimensions(info);
    if (static_cast<qint64>(info->output_width) * info->output_height > JpegMaxPixels) {
        return false;
    }
    jpeg_start_decompress(info);
    header->Width = info->output_width;
    header->Height = info->output_height;
    header->Output = info->out_color_space;
    header->InvertedInk = info->saw_Adobe_marker != 0;
    return info->output_components >= 1 && info->output_components <= 4;
}

inline unsigned char Ink(unsigned char colour, unsigned char black) {
    return static_cast<unsigned char>((colour * black + 127) / 255);
}

void ConvertRow(const Header& header, const JSAMPLE* in, QRgb* out) {
    for (JDIMENSION x = 0; x < header.Width; ++x) {
        switch (header.Output) {
        case JCS_GRAYSCALE:
            out[x] = qRgb(in[x], in[x], in[x]);
            break;
        case JCS_CMYK: {
            const JSAMPLE* p = in + 4 * static_cast<std::size_t>(x);
            // Stored inverted (Adobe): the sample is the light left, 255 - ink.
            const unsigned char c = header.InvertedInk ? p[0] : 255 - p[0];
            const unsigned char m = header.InvertedInk ? p[1] : 255 - p[1];
            const unsigned char y = header.InvertedInk ? p[2] : 255 - p[2];
            const unsigned char k = header.InvertedInk ? p[3] : 255 - p[3];
            out[x] = qRgb(Ink(c, k), Ink(m, k), Ink(y, k));
            break;
        }
        default: {
            const JSAMPLE* p = in + 3 * static_cast<std::size_t>(x);
            out[x] = qRgb(p[0], p[1], p[2]);
            break;
        }
        }
    }
}

// Reads every scan line into `bits` (RGB32 rows `bytesPerLine` apart) and finishes. Returns false
// on any libjpeg error.
bool ReadLines(jpeg_decompress_struct* info, ErrorManager* errors, const Header* header,
               unsigned char* bits, std::size_t bytesPerLine) {
    if (setjmp(errors->Jump) != 0) {
        return false;
    }
    JSAMPARRAY row = (*info->mem->alloc_sarray)(
        reinterpret_cast<j_common_ptr>(info), JPOOL_IMAGE,
        header->Width * static_cast<JDIMENSION>(info->output_components), 1);
    while (info->output_scanline < info->output_height) {
        const JDIMENSION y = info->output_scanline;
        if (jpeg_read_scanlines(info, row, 1) != 1) {
            return false;
        }
        ConvertRow(*header, row[0], reinterpret_cast<QRgb*>(bits + y * bytesPerLine));
    }
    jpeg_finish_decompress(info);
    return true;
}

// Owns the decompressor for DecodeJpeg's frame (which holds no jump target).
class Decompressor {
public:
    Decompressor() {
        info_.err = jpeg_std_error(&errors_.Base);
        errors_.Base.error_exit = ExitByJump;
        errors_.Base.emit_message = WarnByJump;
        errors_.Base.output_message = Silent;
        created_ = Create(&info_, &errors_);
    }
    ~Decompressor() {
        if (created_) {
            jpeg_destroy_decompress(&info_);
        }
    }
    Decompressor(const Decompressor&) = delete;
    Decompressor& operator=(const Decompressor&) = delete;

    bool Created() const { return created_; }
    jpeg_decompress_struct* Info() { return &info_; }
    ErrorManager* Errors() { return &errors_; }

private:
    // jpeg_create_decompress may fail (out of memory, library version mismatch).
    static bool Create(jpeg_decompress_struct* info, ErrorManager* errors) {
        if (setjmp(errors->Jump) != 0) {
            return false;
        }
        jpeg_create_decompress(info);
        return true;
    }

    jpeg_decompress_struct info_{};
    ErrorManager errors_{};
    bool created_ = false;
};

} // namespace

QImage DecodeJpeg(const QByteArray& data) {
    if (data.isEmpty()) {
        return {};
    }
    Decompressor decompressor;
    if (!decompressor.Created()) {
        return {};
    }
    Header header{};
    if (!StartDecoding(decompressor.Info(), decompressor.Errors(),
                       reinterpret_cast<const unsigned char*>(data.constData()),
                       static_cast<unsigned long>(data.size()), &header)) {
        return {};
    }
    QImage image(static_cast<int>(header.Width), static_cast<int>(header.Height),
                 QImage::Format_RGB32);
    if (image.isNull()) {
        return {};
    }
    if (!ReadLines(decompressor.Info(), decompressor.Errors(), &header, image.bits(),
                   static_cast<std::size_t>(image.bytesPerLine()))) {
        return {};
    }
    return image;
}

} // namespace ui
