// PNG through libpng: pHYs for the pixel size (pixels per metre), a text chunk for the
// objective.
#include <png.h>

#include <cmath>
#include <csetjmp>
#include <cstring>

#include "picturefiles/PictureFileInternal.h"

namespace qelvo::detail {

namespace {

constexpr char kObjectiveKey[] = "Objective";

struct ReadState {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at;
    char message[256];
};

void readBytes(png_structp png, png_bytep out, png_size_t count) {
    auto* state = static_cast<ReadState*>(png_get_io_ptr(png));
    if (state->size - state->at < count) png_error(png, "the file is cut short");
    std::memcpy(out, state->data + state->at, count);
    state->at += count;
}

void onError(png_structp png, png_const_charp text) {
    auto* message = static_cast<char*>(png_get_error_ptr(png));
    std::snprintf(message, 256, "%s", text);
    png_longjmp(png, 1);
}

void onWarning(png_structp, png_const_charp) {}

struct WriteState {
    std::vector<std::uint8_t>* out;
};

void writeBytes(png_structp png, png_bytep data, png_size_t count) {
    auto* state = static_cast<WriteState*>(png_get_io_ptr(png));
    state->out->insert(state->out->end(), data, data + count);
}

void flushNothing(png_structp) {}

bool littleEndianHost() {
    const std::uint16_t probe = 1;
    return *reinterpret_cast<const std::uint8_t*>(&probe) == 1;
}

void takeCalibration(png_structp png, png_infop info, PictureCalibration& calibration) {
    png_uint_32 x = 0, y = 0;
    int unit = 0;
    if (png_get_pHYs(png, info, &x, &y, &unit) && unit == PNG_RESOLUTION_METER && x > 0 && y > 0) {
        // Pixels per metre: one pixel is 1e6 / x micrometres wide.
        calibration.micrometresPerPixel = plausiblePixelSize(1.0e6 / x);
    }
}

void takeObjective(png_structp png, png_infop info, PictureCalibration& calibration) {
    png_textp text = nullptr;
    int count = 0;
    if (png_get_text(png, info, &text, &count) <= 0 || !text) return;
    for (int i = 0; i < count; ++i) {
        if (text[i].key && std::strcmp(text[i].key, kObjectiveKey) == 0 && text[i].text)
            calibration.objective = storableObjective(std::string(
                text[i].text, text[i].text_length ? text[i].text_length : text[i].itxt_length));
    }
}

// Every chunk's length against the bytes there are, up to the end chunk: libpng allocates
// what an ancillary chunk claims before it finds the file too short.
bool chunksFit(const std::uint8_t* data, std::size_t size, char* message) {
    std::size_t at = 8;
    for (;;) {
        if (size - at < 12) {
            std::snprintf(message, 256, "the file is cut short");
            return false;
        }
        const std::uint32_t length = std::uint32_t{data[at]} << 24 |
                                     std::uint32_t{data[at + 1]} << 16 |
                                     std::uint32_t{data[at + 2]} << 8 | data[at + 3];
        if (length > 0x7FFFFFFFu || length > size - at - 12) {
            std::snprintf(message, 256, "a chunk runs past the end of the file");
            return false;
        }
        if (std::memcmp(data + at + 4, "IEND", 4) == 0) return true;
        at += 12 + std::size_t{length};
    }
}

// Keeps only trivially destructible locals between setjmp and the libpng calls.
bool readWith(ReadState& state, PictureFileInfo& info, PictureData* picture,
              std::vector<png_bytep>& rows) {
    png_structp png =
        png_create_read_struct(PNG_LIBPNG_VER_STRING, state.message, onError, onWarning);
    if (!png) {
        std::snprintf(state.message, sizeof state.message, "not enough memory");
        return false;
    }
    png_infop head = png_create_info_struct(png);
    png_infop tail = png_create_info_struct(png);
    if (!head || !tail) {
        png_destroy_read_struct(&png, head ? &head : nullptr, nullptr);
        std::snprintf(state.message, sizeof state.message, "not enough memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &head, &tail);
        return false;
    }
    png_set_read_fn(png, &state, readBytes);
    png_set_user_limits(png, 1u << 20, 1u << 20);
    // A chunk's length is untrusted: libpng would allocate what it claims before finding the
    // file too short.  Nothing but compressed text can grow past the file.
    png_set_chunk_malloc_max(png, state.size + (std::size_t{8} << 20));
    png_read_info(png, head);

    const png_uint_32 width = png_get_image_width(png, head);
    const png_uint_32 height = png_get_image_height(png, head);
    const int depth = png_get_bit_depth(png, head);
    const int colour = png_get_color_type(png, head);
    const bool grey = (colour & PNG_COLOR_MASK_COLOR) == 0;
    const int channels = grey ? 1 : 3;
    const int bits = depth == 16 ? 16 : 8;
    info.format = PictureFormat::Png;
    info.width = static_cast<int>(width);
    info.height = static_cast<int>(height);
    info.channels = channels;
    info.bitsPerSample = bits;
    takeCalibration(png, head, info.calibration);
    takeObjective(png, head, info.calibration);
    if (std::uint64_t{width} * height * channels * (bits / 8) > kMaxPictureBytes) {
        std::snprintf(state.message, sizeof state.message, "the picture is too large (%ux%u)",
                      width, height);
        png_destroy_read_struct(&png, &head, &tail);
        return false;
    }
    if (!picture) {
        png_destroy_read_struct(&png, &head, &tail);
        return true;
    }

    // Palette pictures become RGB, small grey depths 8 bits; transparency is dropped (the
    // picture is what the camera saw).
    if (colour == PNG_COLOR_TYPE_PALETTE) png_set_palette_to_rgb(png);
    if (grey && depth < 8) png_set_expand_gray_1_2_4_to_8(png);
    if (png_get_valid(png, head, PNG_INFO_tRNS)) png_set_tRNS_to_alpha(png);
    png_set_strip_alpha(png);
    if (bits == 16 && littleEndianHost()) png_set_swap(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, head);
    if (png_get_channels(png, head) != channels ||
        png_get_rowbytes(png, head) != std::size_t{width} * channels * (bits / 8)) {
        std::snprintf(state.message, sizeof state.message, "unexpected PNG sample layout");
        png_destroy_read_struct(&png, &head, &tail);
        return false;
    }
    picture->width = info.width;
    picture->height = info.height;
    picture->channels = channels;
    picture->bitsPerSample = bits;
    picture->samples.resize(picture->rowBytes() * height);
    rows.resize(height);
    for (png_uint_32 y = 0; y < height; ++y)
        rows[y] = picture->samples.data() + picture->rowBytes() * y;
    png_read_image(png, rows.data());
    // The end chunk must be there too: a file cut short is not a whole picture.
    png_read_end(png, tail);
    takeObjective(png, tail, info.calibration);
    png_destroy_read_struct(&png, &head, &tail);
    return true;
}

bool writeWith(const PictureData& picture, std::vector<std::uint8_t>& out,
               std::vector<png_bytep>& rows, char* message) {
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, message, onError, onWarning);
    if (!png) {
        std::snprintf(message, 256, "not enough memory");
        return false;
    }
    png_infop info = png_create_info_struct(png);
    if (!info) {
        png_destroy_write_struct(&png, nullptr);
        std::snprintf(message, 256, "not enough memory");
        return false;
    }
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    WriteState state{&out};
    png_set_write_fn(png, &state, writeBytes, flushNothing);
    png_set_IHDR(png, info, static_cast<png_uint_32>(picture.width),
                 static_cast<png_uint_32>(picture.height), picture.bitsPerSample,
                 picture.channels == 1 ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB,
                 PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_set_compression_level(png, 6);
    if (picture.calibration.calibrated()) {
        const double perMetre = std::round(1.0e6 / picture.calibration.micrometresPerPixel);
        if (perMetre >= 1.0 && perMetre <= 2147483647.0) {
            const auto value = static_cast<png_uint_32>(perMetre);
            png_set_pHYs(png, info, value, value, PNG_RESOLUTION_METER);
        }
    }
    const std::string objective = storableObjective(picture.calibration.objective);
    if (!objective.empty()) {
        bool ascii = true;
        for (unsigned char c : objective) ascii = ascii && c < 0x80;
        png_text text{};
        text.compression = ascii ? PNG_TEXT_COMPRESSION_NONE : PNG_ITXT_COMPRESSION_NONE;
        text.key = const_cast<char*>(kObjectiveKey);
        text.text = const_cast<char*>(objective.c_str());
        text.text_length = objective.size();
        png_set_text(png, info, &text, 1);
    }
    png_write_info(png, info);
    if (picture.bitsPerSample == 16 && littleEndianHost()) png_set_swap(png);
    rows.resize(static_cast<std::size_t>(picture.height));
    for (int y = 0; y < picture.height; ++y)
        rows[static_cast<std::size_t>(y)] =
            const_cast<png_bytep>(picture.samples.data() + picture.rowBytes() * y);
    png_write_image(png, rows.data());
    png_write_end(png, info);
    png_destroy_write_struct(&png, &info);
    return true;
}

}  // namespace

bool readPng(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
             PictureData* picture, std::string& error) {
    ReadState state{data, size, 0, {}};
    std::vector<png_bytep> rows;
    if (size >= 8 && chunksFit(data, size, state.message) && readWith(state, info, picture, rows)) {
        if (picture) picture->calibration = info.calibration;
        return true;
    }
    error = state.message;
    if (picture) *picture = PictureData{};
    return false;
}

bool writePng(const PictureData& picture, std::vector<std::uint8_t>& out, std::string& error) {
    char message[256] = {};
    std::vector<png_bytep> rows;
    out.clear();
    if (writeWith(picture, out, rows, message)) return true;
    error = message;
    out.clear();
    return false;
}

}  // namespace qelvo::detail
