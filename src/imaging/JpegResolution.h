#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace qelvo {

// Resolution found in the EXIF block of a JPEG file.
struct ExifResolution {
    bool found = false;  // an "Exif" APP1 block was parsed
    double xResolution = 0.0;
    double yResolution = 0.0;
    int unit = 2;             // EXIF ResolutionUnit; inches when the tag is absent
    std::string description;  // IFD0 ImageDescription, up to its first NUL
};

// Reads the marker sections of the JPEG file at the current stream position, up to the
// start of scan, and parses an EXIF block if there is one. The stream is put back where it
// was. Failures only mean "no EXIF resolution".
ExifResolution ScanJpegResolution(std::FILE* stream);

// Parses the TIFF structure of an EXIF APP1 payload (after "Exif\0\0") for the IFD0
// resolution tags. Every offset is checked against `size`.
bool ParseExifResolution(const std::uint8_t* tiff, std::size_t size, ExifResolution& out);

// An "Exif\0\0" APP1 payload (little-endian TIFF structure) whose IFD0 holds XResolution and
// YResolution of `pixelsPerCentimetre` with ResolutionUnit centimetre, and `description` as
// ImageDescription when it is not empty.  A resolution of 0 leaves the resolution tags out.
// Nothing when the resolution cannot be stored as a rational, there is nothing to store, or
// the block would not fit a JPEG segment.
std::vector<std::uint8_t> MakeResolutionExif(double pixelsPerCentimetre,
                                             const std::string& description);

// Divisor turning an EXIF resolution in `unit` into dots per inch; 0 for unknown units.
double ExifUnitFactor(int unit);

}  // namespace qelvo
