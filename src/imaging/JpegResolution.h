#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace qelvo {

// Resolution found in the EXIF block of a JPEG file.
struct ExifResolution {
    bool found = false;  // an "Exif" APP1 block was parsed
    double xResolution = 0.0;
    double yResolution = 0.0;
    int unit = 2;  // EXIF ResolutionUnit; inches when the tag is absent
};

// Reads the marker sections of the JPEG file at the current stream position, up to the
// start of scan, and parses an EXIF block if there is one. The stream is put back where it
// was. Failures only mean "no EXIF resolution".
ExifResolution ScanJpegResolution(std::FILE* stream);

// Parses the TIFF structure of an EXIF APP1 payload (after "Exif\0\0") for the IFD0
// resolution tags. Every offset is checked against `size`.
bool ParseExifResolution(const std::uint8_t* tiff, std::size_t size, ExifResolution& out);

// Divisor turning an EXIF resolution in `unit` into dots per inch; 0 for unknown units.
double ExifUnitFactor(int unit);

}  // namespace qelvo
