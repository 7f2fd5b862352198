#include "imaging/fuzz/ExifInput.h"

#include "imaging/ExifEditor.h"
#include "imaging/JpegQuality.h"
#include "imaging/JpegSegments.h"
#include "support/FuzzSupport.h"

namespace qelvo::fuzz {
namespace {

class TiffWriter {
public:
    explicit TiffWriter(bool bigEndian) : big_(bigEndian) {}
    void u16(std::uint32_t v) {
        const std::uint8_t b[2] = {std::uint8_t(v >> 8), std::uint8_t(v)};
        put(b, 2);
    }
    void u32(std::uint32_t v) {
        const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16),
                                   std::uint8_t(v >> 8), std::uint8_t(v)};
        put(b, 4);
    }
    // One IFD entry whose value (SHORT or LONG, one of them) sits in the entry.
    void entry(std::uint32_t tag, std::uint32_t type, std::uint32_t count, std::uint32_t value) {
        u16(tag);
        u16(type);
        u32(count);
        if (type == 3 && count == 1) {
            u16(value);
            u16(0);
        } else {
            u32(value);
        }
    }
    void text(const char* s, std::size_t n) { bytes.insert(bytes.end(), s, s + n); }
    std::vector<std::uint8_t> bytes;

private:
    void put(const std::uint8_t* b, int n) {
        for (int i = 0; i < n; ++i) bytes.push_back(big_ ? b[i] : b[n - 1 - i]);
    }
    bool big_;
};

constexpr char kMake[] = "QelvoCamera";          // 12 bytes with its end
constexpr char kDate[] = "2024:03:07 09:30:00";  // 20

std::vector<std::uint8_t> fileWith(const std::vector<std::uint8_t>& exif) {
    std::vector<std::uint8_t> jpeg = {0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F',
                                      0,    1,    1,    0,    0,    1,    0,   1,   0,   0};
    InsertApp1Segment(jpeg, exif);
    // A quality 50 luminance table (the standard one), a frame and an empty scan.
    const std::uint8_t table[64] = {16,  11, 12, 14,  12,  10,  16,  14,  13, 14,  18,  17,  16,
                                    19,  24, 40, 26,  24,  22,  22,  24,  49, 35,  37,  29,  40,
                                    58,  51, 61, 60,  57,  51,  56,  55,  64, 72,  92,  78,  64,
                                    68,  87, 69, 55,  56,  80,  109, 81,  87, 95,  98,  103, 104,
                                    103, 62, 77, 113, 121, 112, 100, 120, 92, 101, 103, 99};
    jpeg.insert(jpeg.end(), {0xFF, 0xDB, 0x00, 0x43, 0x00});
    jpeg.insert(jpeg.end(), table, table + 64);
    jpeg.insert(jpeg.end(),
                {0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x10, 0x00, 0x10, 0x01, 0x01, 0x11, 0x00,
                 0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00, 0x00, 0xFF, 0xD9});
    return jpeg;
}

std::string layoutProblem(const ExifLayout& before, const ExifLayout& after) {
    if (after.orientation != (before.orientation < 0 ? -1 : 1)) return "orientation not reset";
    if (after.pixelWidth != (before.pixelWidth < 0 ? -1 : 321)) return "width not the new one";
    if (after.pixelHeight != (before.pixelHeight < 0 ? -1 : 123)) return "height not the new one";
    return {};
}

}  // namespace

std::vector<std::uint8_t> exifBlock(const ExifRecipe& r) {
    TiffWriter w(r.bigEndian);
    w.text("Exif\0\0", 6);
    w.text(r.bigEndian ? "MM" : "II", 2);
    w.u16(42);
    w.u32(8);
    const std::uint32_t ifd0Entries = 2 + (r.orientation >= 0 ? 1 : 0);
    const std::uint32_t exifEntries = 1 + (r.pixelWidth ? 1 : 0) + (r.pixelHeight ? 1 : 0);
    const std::uint32_t ifd0End = 8 + 2 + 12 * ifd0Entries + 4;
    const std::uint32_t exifIfd = ifd0End + sizeof kMake;
    const std::uint32_t exifEnd = exifIfd + 2 + 12 * exifEntries + 4;
    w.u16(ifd0Entries);
    w.entry(0x010F, 2, sizeof kMake, ifd0End);
    if (r.orientation >= 0) w.entry(0x0112, 3, 1, static_cast<std::uint32_t>(r.orientation));
    w.entry(0x8769, 4, 1, exifIfd);
    w.u32(0);
    w.text(kMake, sizeof kMake);
    w.u16(exifEntries);
    w.entry(0x9003, 2, sizeof kDate, exifEnd);
    const std::uint32_t type = r.longDimensions ? 4 : 3;
    if (r.pixelWidth) w.entry(0xA002, type, 1, r.pixelWidth);
    if (r.pixelHeight) w.entry(0xA003, type, 1, r.pixelHeight);
    w.u32(0);
    w.text(kDate, sizeof kDate);
    return w.bytes;
}

std::string checkExifInput(std::string_view input) {
    const std::vector<std::uint8_t> block(input.begin(), input.end());
    ExifLayout before;
    std::vector<std::uint8_t> scratch = block;
    const bool sound = ExifEditor(scratch.data(), scratch.size()).Read(before);
    if (scratch != block) return "reading changed the block";
    std::vector<std::uint8_t> edited = block;
    const bool reset = ExifEditor(edited.data(), edited.size()).ResetLayout(321, 123);
    if (reset && !sound) return "a block that does not read was edited";
    if (!reset && edited != block) return "a refused block was changed";
    if (reset) {
        ExifLayout after;
        if (!ExifEditor(edited.data(), edited.size()).Read(after)) return "edited block unreadable";
        if (std::string problem = layoutProblem(before, after); !problem.empty()) return problem;
        std::size_t changed = 0;
        for (std::size_t i = 0; i < block.size(); ++i) changed += block[i] != edited[i];
        if (changed > 12) return "bytes outside the layout tags changed";
        std::vector<std::uint8_t> again = edited;
        ExifEditor(again.data(), again.size()).ResetLayout(321, 123);
        if (again != edited) return "a second reset changed the block again";
    }

    // The same block as the EXIF segment of a file.
    if (block.size() <= 0xFFFF - 2) {
        std::vector<std::uint8_t> file = fileWith(block);
        JpegSegment segment;
        const bool isExif = block.size() >= 6 &&
                            std::string_view(input.data(), 6) == std::string_view("Exif\0\0", 6);
        if (FindExifSegment(file, segment) != isExif) return "inserted EXIF segment not found";
        if (isExif && std::vector<std::uint8_t>(
                          file.begin() + segment.payload,
                          file.begin() + segment.payload + segment.payloadSize) != block)
            return "the found segment is not the block inserted";
        if (ResetJpegExifLayout(file, 321, 123) != (isExif && reset))
            return "editing the file's block differs from editing the block";
        if (EstimateJpegQuality(file) != 50) return "quality of the standard table is not 50";
    }

    // The input as a whole file.
    const std::vector<std::uint8_t> file(input.begin(), input.end());
    JpegSegment segment;
    if (FindExifSegment(file, segment) &&
        (segment.payload > file.size() || segment.payloadSize > file.size() - segment.payload))
        return "EXIF segment reaches past the file";
    const int quality = EstimateJpegQuality(file);
    if (quality < 0 || quality > 100) return "quality estimate out of range";
    return {};
}

int writeExifSeeds(const std::string& folder) {
    int written = 0;
    int n = 0;
    for (bool big : {false, true})
        for (bool longDimensions : {false, true})
            for (int orientation : {-1, 1, 6, 8}) {
                ExifRecipe r{big, orientation, 640, 480, longDimensions};
                if (orientation == 1) r.pixelHeight = 0;
                const std::vector<std::uint8_t> block = exifBlock(r);
                const std::string name = folder + "/exif-" + std::to_string(n++);
                written += writeFile(name + ".bin",
                                     {reinterpret_cast<const char*>(block.data()), block.size()});
                const std::vector<std::uint8_t> jpeg = fileWith(block);
                written += writeFile(name + ".jpg",
                                     {reinterpret_cast<const char*>(jpeg.data()), jpeg.size()});
            }
    return written;
}

}  // namespace qelvo::fuzz
