#include "imaging/JpegSamples.h"

// clang-format off
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <jpeglib.h>
#include <jerror.h>
// clang-format on

#include "imaging/CxImage.h"

// libjpeg leaves a failing call through longjmp back to the setjmp of the function that owns
// its object, so those functions keep only trivially destructible locals; everything with a
// destructor belongs to the callers.

namespace qelvo {

namespace {

constexpr int kMaxScans = 500;
constexpr std::size_t kLargestExifPayload = 0xFFFF - 2;

struct Context {
    jpeg_error_mgr pub;
    jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    // Memory destination: libjpeg owns the buffer until we take it.
    unsigned char* buffer;
    unsigned long bufferSize;
};

[[noreturn]] void Fail(j_common_ptr cinfo) {
    auto* context = reinterpret_cast<Context*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, context->message);
    std::longjmp(context->jump, 1);
}

// A strict decode refuses the warnings that mean picture data is missing or damaged; the
// others (extraneous bytes between segments, an unusual JFIF version) change no pixel.
void StrictMessage(j_common_ptr cinfo, int level) {
    if (level >= 0) return;
    switch (cinfo->err->msg_code) {
        case JWRN_JPEG_EOF:
        case JWRN_HIT_MARKER:
        case JWRN_MUST_RESYNC:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_NOT_SEQUENTIAL:
        case JWRN_TOO_MUCH_DATA:
            Fail(cinfo);
        default:
            return;
    }
}

void Quiet(j_common_ptr, int) {}

void LimitScans(j_common_ptr cinfo) {
    if (!cinfo->is_decompressor) return;
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    if (d->input_scan_number > kMaxScans) {
        auto* context = reinterpret_cast<Context*>(cinfo->err);
        std::snprintf(context->message, sizeof context->message, "too many scans in the JPEG data");
        std::longjmp(context->jump, 1);
    }
}

bool Encode(const JpegPixels& pixels, int quality, const std::vector<std::uint8_t>& exif,
            Context& context) {
    jpeg_compress_struct cinfo;
    cinfo.err = jpeg_std_error(&context.pub);
    context.pub.error_exit = Fail;
    context.pub.emit_message = Quiet;
    context.buffer = nullptr;
    context.bufferSize = 0;
    if (setjmp(context.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &context.buffer, &context.bufferSize);
    cinfo.image_width = static_cast<JDIMENSION>(pixels.width);
    cinfo.image_height = static_cast<JDIMENSION>(pixels.height);
    cinfo.input_components = pixels.channels;
    cinfo.in_color_space =
        pixels.channels == 1 ? JCS_GRAYSCALE : (pixels.bgr ? JCS_EXT_BGR : JCS_RGB);
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    for (int i = 1; i < cinfo.num_components; ++i) {
        cinfo.comp_info[i].h_samp_factor = 1;
        cinfo.comp_info[i].v_samp_factor = 1;
    }
    // EXIF data replaces the JFIF header: an EXIF file opens with its APP1 segment.
    if (!exif.empty()) cinfo.write_JFIF_header = FALSE;
    jpeg_start_compress(&cinfo, TRUE);
    if (!exif.empty())
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, exif.data(), static_cast<unsigned>(exif.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row[1] = {const_cast<JSAMPROW>(
            pixels.top + static_cast<std::ptrdiff_t>(cinfo.next_scanline) * pixels.stride)};
        jpeg_write_scanlines(&cinfo, row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

enum class Mode { Header, Whole };

bool Decode(const std::uint8_t* data, std::size_t size, Mode mode, DecodedJpegPixels& out,
            Context& context) {
    jpeg_decompress_struct cinfo;
    jpeg_progress_mgr progress;
    cinfo.err = jpeg_std_error(&context.pub);
    context.pub.error_exit = Fail;
    context.pub.emit_message = StrictMessage;
    if (setjmp(context.jump)) {
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    // Progressive pictures keep every coefficient in memory; a forged size must not take
    // more than a real picture of the largest accepted size would.
    cinfo.mem->max_memory_to_use = 768L * 1024 * 1024;
    jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
    progress.progress_monitor = LimitScans;
    cinfo.progress = &progress;
    jpeg_read_header(&cinfo, TRUE);
    int channels = 0;
    switch (cinfo.jpeg_color_space) {
        case JCS_GRAYSCALE:
            channels = 1;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo.out_color_space = JCS_CMYK;
            channels = 3;
            break;
        case JCS_RGB:
        case JCS_YCbCr:
            cinfo.out_color_space = JCS_RGB;
            channels = 3;
            break;
        default:
            std::snprintf(context.message, sizeof context.message,
                          "JPEG data with %d colour components is not supported",
                          cinfo.num_components);
            jpeg_destroy_decompress(&cinfo);
            return false;
    }
    jpeg_calc_output_dimensions(&cinfo);
    out.width = static_cast<int>(cinfo.output_width);
    out.height = static_cast<int>(cinfo.output_height);
    out.channels = channels;
    if (std::uint64_t{cinfo.output_width} * cinfo.output_height * 4 > kMaxImageBytes) {
        std::snprintf(context.message, sizeof context.message, "the picture is too large (%ux%u)",
                      cinfo.output_width, cinfo.output_height);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    if (mode == Mode::Header) {
        jpeg_destroy_decompress(&cinfo);
        return true;
    }
    jpeg_start_decompress(&cinfo);
    const std::size_t rowBytes = std::size_t{cinfo.output_width} * channels;
    out.samples.resize(rowBytes * cinfo.output_height);
    const bool cmyk = cinfo.out_color_space == JCS_CMYK;
    JSAMPARRAY scratch = cmyk ? (*cinfo.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo),
                                                           JPOOL_IMAGE, cinfo.output_width * 4, 1)
                              : nullptr;
    // Adobe's CMYK files store the inks inverted.
    const bool inverted = cinfo.saw_Adobe_marker;
    while (cinfo.output_scanline < cinfo.output_height) {
        std::uint8_t* row = out.samples.data() + rowBytes * cinfo.output_scanline;
        if (!cmyk) {
            JSAMPROW rows[1] = {row};
            jpeg_read_scanlines(&cinfo, rows, 1);
            continue;
        }
        jpeg_read_scanlines(&cinfo, scratch, 1);
        const JSAMPLE* s = scratch[0];
        for (JDIMENSION x = 0; x < cinfo.output_width; ++x, s += 4) {
            const unsigned k = inverted ? s[3] : 255u - s[3];
            for (int c = 0; c < 3; ++c) {
                const unsigned ink = inverted ? s[c] : 255u - s[c];
                row[3 * x + c] = static_cast<std::uint8_t>(ink * k / 255);
            }
        }
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

bool EncodeJpegPixels(const JpegPixels& pixels, int quality, const std::vector<std::uint8_t>& exif,
                      std::vector<std::uint8_t>& out, std::string& error) {
    out.clear();
    if (!pixels.top || pixels.width <= 0 || pixels.height <= 0 || pixels.width > 65500 ||
        pixels.height > 65500 || (pixels.channels != 1 && pixels.channels != 3)) {
        error = "JPEG cannot hold a picture of this size or kind";
        return false;
    }
    if (exif.size() > kLargestExifPayload) {
        error = "the EXIF block is too large for a JPEG segment";
        return false;
    }
    if (quality < 1) quality = 1;
    if (quality > 100) quality = 100;
    Context context{};
    const bool ok = Encode(pixels, quality, exif, context);
    if (ok && context.buffer) out.assign(context.buffer, context.buffer + context.bufferSize);
    std::free(context.buffer);
    if (!ok) error = context.message;
    return ok;
}

bool DecodeJpegStrict(const std::uint8_t* data, std::size_t size, DecodedJpegPixels& out,
                      std::string& error) {
    out = DecodedJpegPixels{};
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        error = "not JPEG data";
        return false;
    }
    Context context{};
    if (Decode(data, size, Mode::Whole, out, context)) return true;
    out = DecodedJpegPixels{};
    error = context.message;
    return false;
}

bool ReadJpegFrameHeader(const std::uint8_t* data, std::size_t size, int& width, int& height,
                         int& channels, std::string& error) {
    if (!data || size < 4 || data[0] != 0xFF || data[1] != 0xD8) {
        error = "not JPEG data";
        return false;
    }
    Context context{};
    DecodedJpegPixels header;
    if (!Decode(data, size, Mode::Header, header, context)) {
        error = context.message;
        return false;
    }
    width = header.width;
    height = header.height;
    channels = header.channels;
    return true;
}

}  // namespace qelvo
