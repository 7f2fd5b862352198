#pragma once

#include <cstdint>
#include <vector>

#include "imaging/CxImage.h"

namespace qelvo {

// Every distinct colour of a picture with the number of pixels that have it. A per-pixel
// colour mapping changes a picture's histograms exactly as it changes the census, so the
// levels of an adjusted picture can be counted from the few hundred thousand distinct
// colours instead of from millions of pixels.
class ColourCensus {
public:
    struct Entry {
        RgbQuad colour;
        std::uint32_t count = 0;
    };

    // Counts the colours of a 24-bit or greyscale picture; false (census empty) for others.
    bool Take(const CxImage& picture);
    bool IsTaken() const { return taken_; }
    const std::vector<Entry>& Entries() const { return entries_; }

    // The levels CountLevels would count in the picture after `mapping` (RgbQuad -> RgbQuad)
    // changed every pixel: red, green, blue and grey (any may be null); returns the largest
    // count in the arrays given.
    template <typename Mapping>
    long CountMapped(Mapping mapping, long* red, long* green, long* blue, long* grey) const {
        long r[256] = {}, g[256] = {}, b[256] = {}, k[256] = {};
        for (const Entry& e : entries_) {
            const RgbQuad c = mapping(e.colour);
            r[c.red] += e.count;
            g[c.green] += e.count;
            b[c.blue] += e.count;
            k[(c.blue * 117 + c.green * 601 + c.red * 306) >> 10] += e.count;
        }
        return CopyOut(r, g, b, k, red, green, blue, grey);
    }

private:
    static long CopyOut(const long* r, const long* g, const long* b, const long* k, long* red,
                        long* green, long* blue, long* grey);

    bool taken_ = false;
    std::vector<Entry> entries_;
};

}  // namespace qelvo
