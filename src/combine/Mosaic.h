#pragma once
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "combine/CombineProgress.h"
#include "picturefiles/PictureFile.h"

namespace qelvo::combine {

// Where a tile lies, in pixels of the first placed tile's frame: its pixel (u, v) lies at
// (x, y) + (u, v) turned by `degrees` about its top-left corner (from the x axis towards the y
// axis: clockwise on screen).
struct TileOffset {
    double x = 0.0;
    double y = 0.0;
    double degrees = 0.0;
};

// Where overlapping pictures lie against each other.  Every tile that connects to the others
// through overlaps gets an offset; the first of them (in the order given) lies at (0, 0).
// `unconnected` lists, in order, the tiles that connect to none of the largest group; their
// offsets mean nothing.
struct MosaicPlacement {
    std::vector<TileOffset> offsets;
    std::vector<std::size_t> unconnected;

    bool complete() const { return unconnected.empty(); }
};

// Finds how the pictures fit together, whatever their order: each pair is matched by phase
// correlation on reduced copies, checked by the correlation of the overlap found, refined at
// full size on one or two patches of the overlap (two at the ends of a long one tell a small
// turn), and the offsets and turns come from a least-squares fit over all the pairs that agree
// (a pair that disagrees with the rest is dropped).  The pictures must have the
// same number of channels and bits; their sizes may differ.  Nothing when cancelled.
std::optional<MosaicPlacement> placeTiles(const std::vector<const PictureData*>& tiles,
                                          const CombineProgress& progress = {});

// A mosaic and where its first placed tile lies in it.
struct Mosaic {
    PictureData picture;
    double firstTileX = 0.0;
    double firstTileY = 0.0;
};

// Lays the tiles out at `placement` (every tile placed), evens out their brightness (one gain
// per tile and channel from the means of their overlaps) and blends the seams with a
// Laplacian pyramid where tiles meet; elsewhere each pixel comes from the one tile whose
// edge is farthest.  The picture covers the bounding box of the tiles; pixels outside every
// tile are black.  Same channels and bits as the tiles; no calibration.  The tiles are taken
// by value so that a caller that moves them in lets each go once it is laid out.  Nothing
// when cancelled.
std::optional<Mosaic> composeMosaic(std::vector<PictureData> tiles,
                                    const MosaicPlacement& placement,
                                    const CombineProgress& progress = {});

}  // namespace qelvo::combine
