// JPEG through the picture core: the pixel size in the EXIF resolution (pixels per
// centimetre) and the objective in the EXIF ImageDescription as "objective=NAME".
#include <cstring>

#include "imaging/JpegResolution.h"
#include "imaging/JpegSamples.h"
#include "imaging/JpegSegments.h"
#include "picturefiles/PictureFileInternal.h"

namespace qelvo::detail {

namespace {

constexpr char kObjectivePrefix[] = "objective=";

PictureCalibration exifCalibration(const std::uint8_t* data, std::size_t size) {
    PictureCalibration calibration;
    // The segment walk checks every length against the data.
    const std::vector<std::uint8_t> bytes(data, data + std::min<std::size_t>(size, 1 << 20));
    JpegSegment segment;
    if (!FindExifSegment(bytes, segment)) return calibration;
    ExifResolution exif;
    if (!ParseExifResolution(bytes.data() + segment.payload + 6, segment.payloadSize - 6, exif))
        return calibration;
    // Centimetres (and the rarer millimetre and micrometre units) give a pixel size; inches
    // are the 72 or 96 per inch that programs write by default, no calibration.
    double micrometresPerUnit = 0.0;
    if (exif.unit == 3) micrometresPerUnit = 1.0e4;
    if (exif.unit == 4) micrometresPerUnit = 1.0e3;
    if (exif.unit == 5) micrometresPerUnit = 1.0;
    if (micrometresPerUnit > 0.0 && exif.xResolution > 0.0)
        calibration.micrometresPerPixel = plausiblePixelSize(micrometresPerUnit / exif.xResolution);
    if (exif.description.rfind(kObjectivePrefix, 0) == 0)
        calibration.objective =
            storableObjective(exif.description.substr(std::strlen(kObjectivePrefix)));
    return calibration;
}

}  // namespace

bool readJpeg(const std::uint8_t* data, std::size_t size, PictureFileInfo& info,
              PictureData* picture, std::string& error) {
    int width = 0, height = 0, channels = 0;
    if (!ReadJpegFrameHeader(data, size, width, height, channels, error)) return false;
    info.format = PictureFormat::Jpeg;
    info.width = width;
    info.height = height;
    info.channels = channels;
    info.bitsPerSample = 8;
    info.calibration = exifCalibration(data, size);
    if (!picture) return true;
    DecodedJpegPixels decoded;
    if (!DecodeJpegStrict(data, size, decoded, error)) {
        *picture = PictureData{};
        return false;
    }
    picture->width = decoded.width;
    picture->height = decoded.height;
    picture->channels = decoded.channels;
    picture->bitsPerSample = 8;
    picture->samples = std::move(decoded.samples);
    picture->calibration = info.calibration;
    return true;
}

bool writeJpeg(const PictureData& picture, int quality, std::vector<std::uint8_t>& out,
               std::string& error) {
    // JPEG holds 8 bits: 16-bit samples keep their high byte, rounded.
    std::vector<std::uint8_t> narrowed;
    const std::uint8_t* samples = picture.samples.data();
    if (picture.bitsPerSample == 16) {
        const std::size_t count = picture.samples.size() / 2;
        narrowed.resize(count);
        const auto* wide = reinterpret_cast<const std::uint16_t*>(picture.samples.data());
        for (std::size_t i = 0; i < count; ++i)
            narrowed[i] = static_cast<std::uint8_t>((std::uint32_t{wide[i]} * 255 + 32767) / 65535);
        samples = narrowed.data();
    }
    std::vector<std::uint8_t> exif;
    const std::string objective = storableObjective(picture.calibration.objective);
    if (picture.calibration.calibrated() || !objective.empty()) {
        const double perCentimetre = picture.calibration.calibrated()
                                         ? 1.0e4 / picture.calibration.micrometresPerPixel
                                         : 0.0;
        exif = MakeResolutionExif(perCentimetre,
                                  objective.empty() ? "" : kObjectivePrefix + objective);
        if (exif.empty()) {
            error = "the pixel size cannot be stored in EXIF";
            return false;
        }
    }
    JpegPixels pixels;
    pixels.top = samples;
    pixels.width = picture.width;
    pixels.height = picture.height;
    pixels.channels = picture.channels;
    pixels.stride = static_cast<std::ptrdiff_t>(std::size_t(picture.width) * picture.channels);
    return EncodeJpegPixels(pixels, quality, exif, out, error);
}

}  // namespace qelvo::detail
