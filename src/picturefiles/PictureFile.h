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

// Reads a JPEG, PNG or TIFF file whole (the format from its first bytes), with its
// calibration: JPEG EXIF XResolution/YResolution in centimetres and the objective as
// "objective=NAME" in the EXIF ImageDescription; PNG pHYs (pixels per metre) and an
// "Objective" text chunk; TIFF resolution with unit centimetre, or ImageJ's calibration (unit
// none with an ImageJ description giving unit=micron, mm, nm, ...).  Resolutions in inches
// are what programs write by default (72 or 96 per inch) and count as uncalibrated.  Nothing
// is trusted: a damaged or cut-short file gives nothing and `error` says why.  16-bit samples
// stay 16 bits; transparency is dropped; other TIFF layouts (palette, YCbCr, 1-bit, separate
// planes) are read as 8-bit RGB.
std::optional<PictureData> readPictureFile(const std::string& path, std::string* error);
// The same over a file's bytes in memory.
std::optional<PictureData> readPictureBytes(const std::uint8_t* data, std::size_t size,
                                            std::string* error);

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
std::optional<PictureFileInfo> readPictureBytesInfo(const std::uint8_t* data, std::size_t size,
                                                    std::string* error);

// Writes in the format of `path`'s extension, whole or not at all (a temporary file renamed
// into place).  PNG and TIFF are lossless and keep 16 bits; JPEG takes 8 bits at `jpegQuality`.
// The calibration goes where readers look for it: TIFF as ImageJ calibration (resolution in
// pixels per micrometre, unit none, ImageJ description with unit=micron), PNG pHYs, JPEG EXIF
// resolution in pixels per centimetre with the objective in the EXIF block.  A picture whose
// samples do not match its size, or a pixel size outside 0.001..1e6 um, is refused.
bool writePictureFile(const std::string& path, const PictureData& picture, std::string* error,
                      int jpegQuality = 95);
// The file's bytes in memory, as writePictureFile would write them.
bool encodePicture(PictureFormat format, const PictureData& picture,
                   std::vector<std::uint8_t>& bytes, std::string* error, int jpegQuality = 95);

}  // namespace qelvo
