#include "imaging/JpegThumbnail.h"

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

namespace qelvo {
namespace {

// Largest decoded area accepted (bytes of RGB; a thumbnail never needs more).
constexpr std::uint64_t kMaxDecodedBytes = 64u << 20;

struct ErrorManager {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

[[noreturn]] void exitByJump(j_common_ptr info) {
    std::longjmp(reinterpret_cast<ErrorManager*>(info->err)->jump, 1);
}

void ignoreMessage(j_common_ptr) {}

struct FileCloser {
    std::FILE* file;
    ~FileCloser() {
        if (file) std::fclose(file);
    }
};

}  // namespace

bool decodeJpegThumbnail(const char* path, int minWidth, int minHeight, ThumbnailPixels& out) {
    out = ThumbnailPixels();
    if (!path) return false;
    FileCloser file{std::fopen(path, "rb")};
    if (!file.file) return false;

    // Everything the jump may skip over lives outside the protected region.
    jpeg_decompress_struct info;
    ErrorManager errors;
    info.err = jpeg_std_error(&errors.pub);
    errors.pub.error_exit = exitByJump;
    errors.pub.output_message = ignoreMessage;
    jpeg_create_decompress(&info);
    volatile bool ok = false;  // read after a jump
    std::vector<std::uint8_t>& pixels = out.rgb;

    if (setjmp(errors.jump) == 0) {
        jpeg_stdio_src(&info, file.file);
        jpeg_read_header(&info, TRUE);
        info.out_color_space = JCS_RGB;
        info.scale_num = 1;
        info.scale_denom = 1;
        for (unsigned denom : {8u, 4u, 2u}) {
            const unsigned long w = (info.image_width + denom - 1) / denom;
            const unsigned long h = (info.image_height + denom - 1) / denom;
            if (w >= static_cast<unsigned long>(minWidth) &&
                h >= static_cast<unsigned long>(minHeight)) {
                info.scale_denom = denom;
                break;
            }
        }
        info.dct_method = JDCT_IFAST;
        info.do_fancy_upsampling = FALSE;
        jpeg_start_decompress(&info);
        const std::uint64_t bytes = std::uint64_t(info.output_width) * info.output_height * 3;
        if (info.output_components == 3 && bytes > 0 && bytes <= kMaxDecodedBytes) {
            const std::size_t stride = std::size_t(info.output_width) * 3;
            pixels.assign(static_cast<std::size_t>(bytes), 0);
            while (info.output_scanline < info.output_height) {
                JSAMPROW row = pixels.data() + stride * info.output_scanline;
                if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
            }
            out.width = static_cast<int>(info.output_width);
            out.height = static_cast<int>(info.output_height);
            ok = true;
            jpeg_abort_decompress(&info);
        }
    }
    // A truncated file decodes to its end with grey fill (libjpeg warns, it does not fail);
    // only errors that stop the decoder land here with ok still false.
    jpeg_destroy_decompress(&info);
    if (!ok) out = ThumbnailPixels();
    return ok;
}

}  // namespace qelvo
