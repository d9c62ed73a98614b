// File space of a PST: the AMap bits (one per 64 bytes), the map pages at their fixed places
// (AMap, PMap, FMap, FPMap, [MS-PST] 2.2.2.7.2-2.2.2.7.6), the density list, and an index of
// free extents for O(log n) allocation. Space freed while the on-disk header may still reach it
// is only held back ("pending") and released after the next header is written.
#pragma once

#include "ndb/Layout.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <vector>

namespace pst {
class FileSink;
}

namespace pst::ndb {

class Allocator {
public:
    explicit Allocator(const Layout& layout);

    std::uint64_t regionCount() const { return regions_; }
    std::uint64_t fileSize() const { return kFirstAMapOffset + regions_ * kRegionBytes; }
    std::uint64_t lastAMapOffset() const { return kFirstAMapOffset + (regions_ - 1) * kRegionBytes; }
    std::uint64_t freeBytes() const { return freeSlots_ * kBlockAlign; } // free now, in memory
    std::uint64_t freeBytesOnDisk() const; // free as the AMap pages on disk say: cbAMapFree

    // Adds count AMap regions at the end (their map pages marked allocated).
    void addRegions(std::uint64_t count);
    // Takes back the regions from index keep on, added by addRegions with nothing allocated
    // in them since (used when growing the file failed).
    void dropRegions(std::uint64_t keep);
    // Finds size bytes (a multiple of 64) at the given alignment (64 or 512); nullopt = grow first.
    std::optional<std::uint64_t> allocate(std::uint64_t size, std::uint64_t align);
    // Frees [ib, ib + size) once the next header is on disk.
    void freeAfterCommit(std::uint64_t ib, std::uint64_t size);
    // Releases what freeAfterCommit held back; true if anything was released.
    bool releasePending();
    bool isAllocated(std::uint64_t ib) const;

    // Writes the AMap, PMap, FMap and FPMap pages of changed regions and the DList page.
    // pageBid hands out BIDs for the DList page.
    void writeMapPages(FileSink& sink, const std::function<std::uint64_t()>& pageBid);
    // Writes the map pages of regions [first, regionCount()) only (used when growing).
    void writeRegionPages(FileSink& sink, std::uint64_t firstRegion);

private:
    void mark(std::uint64_t ib, std::uint64_t size, bool allocated);
    void addFree(std::uint64_t ib, std::uint64_t size);
    void takeFree(std::map<std::uint64_t, std::uint64_t>::iterator it, std::uint64_t ib, std::uint64_t size);
    std::vector<std::uint64_t> mapPagesOf(std::uint64_t region) const;
    void writeRegion(FileSink& sink, std::uint64_t region);
    unsigned longestFreeRun(std::uint64_t region) const;

    const Layout& layout_;
    std::uint64_t regions_ = 0;
    std::vector<std::uint8_t> bits_; // rgbAMapBits of every region, MSB first
    std::vector<std::uint16_t> regionFree_; // free slots per region
    std::vector<std::uint16_t> diskFree_; // free slots per region as last written to disk
    std::vector<bool> dirty_;
    std::uint64_t freeSlots_ = 0;
    std::map<std::uint64_t, std::uint64_t> freeByStart_; // ib -> size
    std::set<std::pair<std::uint64_t, std::uint64_t>> freeBySize_; // (size, ib)
    std::vector<std::pair<std::uint64_t, std::uint64_t>> pending_;
};

} // namespace pst::ndb
