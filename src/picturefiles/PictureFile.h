#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace qelvo {

enum class PictureFormat { Jpeg, Png, Tiff };

// From the file name's extension (.jpg/.jpeg, .png, .tif/.tiff, any case); nothing otherwise.
std::optional<PictureFormat> pictureFormatOf(const std::string& path);

// What a picture file says about the specimen: the size of one pixel and the objective.
struct PictureCalibration {
    double micrometresPerPixel = 0.0;  // 0: uncalibrated
    std::string objective;             // "" when not recorded

    bool calibrated() const { return micrometresPerPixel > 0.0; }
};

// Interleaved samples, 1 (grey) or 3 (red, green, blue) per pixel, 8 or 16 bits each (16-bit
// samples in the machine's byte order), rows packed without padding.
struct PictureData {
    int width = 0;
    int height = 0;
    int channels = 3;
    int bitsPerSample = 8;
    std::vector<std::uint8_t> samples;
    PictureCalibration calibration;

    std::size_t rowBytes() const;
};

// Reads a JPEG, PNG or TIFF file whole, with its calibration: JPEG EXIF XResolution/
// YResolution (centimetre or inch units) and the objective recorded beside them; PNG pHYs
// (pixels per metre); TIFF resolution with unit centimetre or inch, or ImageJ's calibration
// (unit none with an ImageJ description giving unit=micron).  Nothing is trusted: a damaged
// or cut-short file gives nothing and `error` says why.
std::optional<PictureData> readPictureFile(const std::string& path, std::string* error);

// Only the size, bits per sample and calibration, without decoding the samples.
struct PictureFileInfo {
    PictureFormat format = PictureFormat::Jpeg;
    int width = 0;
    int height = 0;
    int channels = 0;
    int bitsPerSample = 0;
    PictureCalibration calibration;
};
std::optional<PictureFileInfo> readPictureFileInfo(const std::string& path, std::string* error);

// Writes in the format of `path`'s extension, whole or not at all (a temporary file renamed
// into place).  PNG and TIFF are lossless and keep 16 bits; JPEG takes 8 bits at `jpegQuality`.
// The calibration goes where readers look for it: TIFF as ImageJ calibration (resolution in
// pixels per micrometre, unit none, ImageJ description with unit=micron), PNG pHYs, JPEG EXIF
// resolution in pixels per centimetre with the objective in the EXIF block.
bool writePictureFile(const std::string& path, const PictureData& picture, std::string* error,
                      int jpegQuality = 95);

}  // namespace qelvo
