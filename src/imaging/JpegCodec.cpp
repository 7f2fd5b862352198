#include "imaging/JpegCodec.h"

// clang-format off
#include <csetjmp>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include <cmath>

#include "imaging/CxImage.h"
#include "imaging/JpegResolution.h"

// The libjpeg calls below abandon a failing decode or encode with longjmp from the error
// manager back to the setjmp in the function that owns the libjpeg object. Between those two
// points only trivially destructible objects may be alive, so these functions keep C-style
// locals only; everything with a destructor lives in the callers.

namespace qelvo {

namespace {

constexpr std::size_t kFileBufferSize = 4096;
// A legitimate progressive file has a few dozen scans at most; thousands of tiny scans are
// a way to make decoding take forever.
constexpr int kMaxScans = 500;

struct ErrorManager {
    jpeg_error_mgr pub;
    jmp_buf jump;
    CxImage* image;
};

[[noreturn]] void FatalError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    err->image->SetLastError(text);
    std::longjmp(err->jump, 1);
}

// Warnings (premature end of file, corrupt data) are not printed: the program writes no log.
void SilentMessage(j_common_ptr) {}

struct ProgressManager {
    jpeg_progress_mgr pub;
};

void LimitScans(j_common_ptr cinfo) {
    if (cinfo->is_decompressor) {
        auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
        if (d->input_scan_number > kMaxScans) {
            auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
            err->image->SetLastError("Too many scans in JPEG file");
            std::longjmp(err->jump, 1);
        }
    }
}

// ---- data source: the file read 4096 bytes at a time

struct SourceManager {
    jpeg_source_mgr pub;
    std::FILE* file;
    bool startOfFile;
    bool endOfFile;
    JOCTET buffer[kFileBufferSize];
};

void InitSource(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    src->startOfFile = true;
    src->endOfFile = false;
}

boolean FillInputBuffer(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    std::size_t n = std::fread(src->buffer, 1, kFileBufferSize, src->file);
    if (n == 0) {
        if (src->startOfFile) ERREXIT(cinfo, JERR_INPUT_EMPTY);
        WARNMS(cinfo, JWRN_JPEG_EOF);
        src->endOfFile = true;
        // Insert a fake end-of-image marker so the decoder finishes with what it has.
        src->buffer[0] = 0xFF;
        src->buffer[1] = JPEG_EOI;
        n = 2;
    }
    src->pub.next_input_byte = src->buffer;
    src->pub.bytes_in_buffer = n;
    src->startOfFile = false;
    return TRUE;
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<SourceManager*>(cinfo->src);
    if (count <= 0) return;
    while (count > static_cast<long>(src->pub.bytes_in_buffer)) {
        count -= static_cast<long>(src->pub.bytes_in_buffer);
        FillInputBuffer(cinfo);
        // Past the end of the file every refill is the same fake end-of-image marker: stop
        // there instead of skipping through the rest two bytes at a time.
        if (src->endOfFile) return;
    }
    src->pub.next_input_byte += count;
    src->pub.bytes_in_buffer -= static_cast<std::size_t>(count);
}

void TermSource(j_decompress_ptr) {}

// ---- data destination: 4096-byte blocks written to the file

struct DestinationManager {
    jpeg_destination_mgr pub;
    std::FILE* file;
    JOCTET buffer[kFileBufferSize];
};

void InitDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kFileBufferSize;
}

boolean EmptyOutputBuffer(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    if (std::fwrite(dest->buffer, 1, kFileBufferSize, dest->file) != kFileBufferSize)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    dest->pub.next_output_byte = dest->buffer;
    dest->pub.free_in_buffer = kFileBufferSize;
    return TRUE;
}

void TermDestination(j_compress_ptr cinfo) {
    auto* dest = reinterpret_cast<DestinationManager*>(cinfo->dest);
    const std::size_t count = kFileBufferSize - dest->pub.free_in_buffer;
    if (count > 0 && std::fwrite(dest->buffer, 1, count, dest->file) != count)
        ERREXIT(cinfo, JERR_FILE_WRITE);
    if (std::fflush(dest->file) != 0 || std::ferror(dest->file)) ERREXIT(cinfo, JERR_FILE_WRITE);
}

bool ExceedsPictureLimit(JDIMENSION width, JDIMENSION height, int components) {
    const std::uint64_t bits = components <= 1 ? 8 : 24;
    return std::uint64_t{width} * height * bits / 8 > kMaxImageBytes;
}

// Resolutions from the file are untrusted: values beyond an int are clamped (and 0 or less
// means the default when stored).
int ToDpi(double value) {
    if (!(value > 0.0)) return 0;
    if (value >= 2147483647.0) return 2147483647;
    return static_cast<int>(value);
}

void ApplyResolution(const jpeg_decompress_struct& cinfo, const ExifResolution& exif,
                     CxImage& image) {
    if (exif.found) {
        const double factor = ExifUnitFactor(exif.unit);
        if (factor != 0.0 && exif.xResolution != 0.0)
            image.SetXDpi(ToDpi(exif.xResolution / factor));
        if (factor != 0.0 && exif.yResolution != 0.0)
            image.SetYDpi(ToDpi(exif.yResolution / factor));
        return;
    }
    switch (cinfo.density_unit) {
        case 0:
            if (cinfo.X_density > 0 && cinfo.Y_density > 0) {
                image.SetYDpi(
                    ToDpi(image.XDpi() * (static_cast<double>(cinfo.Y_density) / cinfo.X_density)));
            }
            break;
        case 2:
            image.SetXDpi(ToDpi(std::floor(cinfo.X_density * 2.54 + 0.5)));
            image.SetYDpi(ToDpi(std::floor(cinfo.Y_density * 2.54 + 0.5)));
            break;
        default:
            image.SetXDpi(cinfo.X_density);
            image.SetYDpi(cinfo.Y_density);
            break;
    }
}

bool DecodeWithLibjpeg(std::FILE* stream, CxImage& image, const ExifResolution& exif) {
    jpeg_decompress_struct cinfo;
    ErrorManager jerr;
    SourceManager src;
    ProgressManager progress;

    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = FatalError;
    jerr.pub.output_message = SilentMessage;
    jerr.image = &image;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);

    src.pub.init_source = InitSource;
    src.pub.fill_input_buffer = FillInputBuffer;
    src.pub.skip_input_data = SkipInputData;
    src.pub.resync_to_restart = jpeg_resync_to_restart;
    src.pub.term_source = TermSource;
    src.pub.bytes_in_buffer = 0;
    src.pub.next_input_byte = nullptr;
    src.file = stream;
    src.startOfFile = true;
    src.endOfFile = false;
    cinfo.src = &src.pub;
    progress.pub.progress_monitor = LimitScans;
    cinfo.progress = &progress.pub;

    jpeg_read_header(&cinfo, TRUE);
    jpeg_calc_output_dimensions(&cinfo);
    // Refuse enormous pictures before libjpeg allocates its buffers for them.
    if (ExceedsPictureLimit(cinfo.output_width, cinfo.output_height, cinfo.out_color_components)) {
        image.SetLastError("CXIMAGE_MAX_MEMORY exceeded");
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    // Same values as RGB output with red and blue exchanged afterwards, in one pass.
    if (cinfo.out_color_space == JCS_RGB) cinfo.out_color_space = JCS_EXT_BGR;
    jpeg_start_decompress(&cinfo);

    const int components = cinfo.output_components;
    if (!image.Create(static_cast<int>(cinfo.output_width), static_cast<int>(cinfo.output_height),
                      8 * components, FormatJpeg)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    ApplyResolution(cinfo, exif, image);
    if (components == 1) image.SetGrayPalette();

    const std::size_t scanBytes = std::size_t{cinfo.output_width} * components;
    const std::size_t rowBytes = image.RowBytes();
    const bool direct = scanBytes <= rowBytes && (components == 1 || components == 3);
    JSAMPARRAY scratch =
        direct ? nullptr
               : (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo), JPOOL_IMAGE,
                                            static_cast<JDIMENSION>(scanBytes), 1);
    const int height = image.Height();
    while (cinfo.output_scanline < cinfo.output_height) {
        std::uint8_t* row = image.RowBits(height - 1 - static_cast<int>(cinfo.output_scanline));
        if (direct) {
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&cinfo, rows, 1);
            if (components == 3 && cinfo.out_color_space != JCS_EXT_BGR) {
                // Three components of another colour space: stored with the outer bytes
                // exchanged like any three-component picture.
                for (JDIMENSION x = 0; x < cinfo.output_width; ++x) {
                    const std::uint8_t t = row[3 * x];
                    row[3 * x] = row[3 * x + 2];
                    row[3 * x + 2] = t;
                }
            }
            continue;
        }
        jpeg_read_scanlines(&cinfo, scratch, 1);
        const JSAMPLE* s = scratch[0];
        if (components == 4) {
            for (JDIMENSION x = 0; x < cinfo.output_width; ++x, s += 4) {
                const unsigned k = s[3];
                row[3 * x] = static_cast<std::uint8_t>(k * s[2] / 255);
                row[3 * x + 1] = static_cast<std::uint8_t>(k * s[1] / 255);
                row[3 * x + 2] = static_cast<std::uint8_t>(k * s[0] / 255);
            }
        } else {
            std::memcpy(row, s, scanBytes < rowBytes ? scanBytes : rowBytes);
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

bool EncodeWithLibjpeg(std::FILE* stream, CxImage& image, bool grey) {
    jpeg_compress_struct cinfo;
    ErrorManager jerr;
    DestinationManager dest;

    cinfo.err = jpeg_std_error(&jerr.pub);
    jerr.pub.error_exit = FatalError;
    jerr.pub.output_message = SilentMessage;
    jerr.image = &image;
    if (setjmp(jerr.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);

    dest.pub.init_destination = InitDestination;
    dest.pub.empty_output_buffer = EmptyOutputBuffer;
    dest.pub.term_destination = TermDestination;
    dest.file = stream;
    cinfo.dest = &dest.pub;

    cinfo.image_width = static_cast<JDIMENSION>(image.Width());
    cinfo.image_height = static_cast<JDIMENSION>(image.Height());
    cinfo.input_components = grey ? 1 : 3;
    // Blue, green, red input is the same picture as red, green, blue after exchanging the
    // outer bytes, without a copy per row.
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_EXT_BGR;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, static_cast<int>(image.Quality() + 0.5f), FALSE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    cinfo.density_unit = 1;
    cinfo.X_density = static_cast<UINT16>(image.XDpi() > 65535 ? 65535 : image.XDpi());
    cinfo.Y_density = static_cast<UINT16>(image.YDpi() > 65535 ? 65535 : image.YDpi());
    jpeg_start_compress(&cinfo, TRUE);

    // Rows go to libjpeg a row group at a time, top of the picture first. Going down the
    // picture walks the memory backwards, which the hardware does not prefetch on its own, so
    // the next group is prefetched while this one is compressed.
    constexpr int kGroup = 16;
    const int height = image.Height();
    const std::size_t rowBytes = image.RowBytes();
    JSAMPROW rows[kGroup];
    while (cinfo.next_scanline < cinfo.image_height) {
        const int first = static_cast<int>(cinfo.next_scanline);
        const int count = height - first < kGroup ? height - first : kGroup;
        for (int i = 0; i < count; ++i) rows[i] = image.RowBits(height - 1 - first - i);
        for (int i = 0; i < kGroup && first + kGroup + i < height; ++i) {
            const std::uint8_t* next = image.RowBits(height - 1 - first - kGroup - i);
            for (std::size_t k = 0; k < rowBytes; k += 64) __builtin_prefetch(next + k);
        }
        jpeg_write_scanlines(&cinfo, rows, static_cast<JDIMENSION>(count));
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

}  // namespace

bool JpegDecode(std::FILE* stream, CxImage& image) {
    if (!stream) {
        image.SetLastError("null file handler");
        return false;
    }
    const ExifResolution exif = ScanJpegResolution(stream);
    return DecodeWithLibjpeg(stream, image, exif);
}

bool JpegEncode(std::FILE* stream, CxImage& image) {
    if (!image.IsValid()) {
        image.SetLastError("null image!!!");
        return false;
    }
    if (!stream) {
        image.SetLastError("null file handler");
        return false;
    }
    const bool grey = image.IsGrayScale();
    if (image.BitsPerPixel() != 24 && !grey) {
        image.SetLastError("JPEG can save only RGB or GreyScale images");
        return false;
    }
    return EncodeWithLibjpeg(stream, image, grey);
}

}  // namespace qelvo
