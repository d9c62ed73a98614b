#include "ndb/Allocator.h"

#include "ndb/Bytes.h"
#include "ndb/Page.h"
#include "pst/Error.h"
#include "pst/FileSink.h"

#include <algorithm>

namespace pst::ndb {

Allocator::Allocator(const Layout& layout)
    : layout_(layout)
{
}

std::vector<std::uint64_t> Allocator::mapPagesOf(std::uint64_t region) const
{
    // [MS-PST] 2.2.2.7.2-2.2.2.7.6: each region starts with its AMap; every 8th also holds a PMap
    // (base + 512); beyond the header's rgbFM, an FMap every 496 regions from region 128
    // (base + 1024); beyond its rgbFP, in Unicode files only, an FPMap every 31,744 regions from
    // region 8192 (base + 1536). Each page has its own slot: an FPMap region holds no FMap (8192
    // + k * 31,744 is never 128 + j * 496), so its slot at base + 1024 stays ordinary space.
    const std::uint64_t base = kFirstAMapOffset + region * kRegionBytes;
    std::vector<std::uint64_t> pages { base };
    if (region % kAMapsPerPMap == 0)
        pages.push_back(base + kPageSize);
    if (region >= kFirstFMapRegion && (region - kFirstFMapRegion) % kAMapsPerFMap == 0)
        pages.push_back(base + 2 * kPageSize);
    if (layout_.unicode && region >= kFirstFPMapRegion && (region - kFirstFPMapRegion) % kAMapsPerFPMap == 0)
        pages.push_back(base + 3 * kPageSize);
    return pages;
}

void Allocator::addRegions(std::uint64_t count)
{
    for (std::uint64_t i = 0; i < count; ++i) {
        const std::uint64_t r = regions_++;
        bits_.resize(regions_ * kAMapDataBytes, 0);
        regionFree_.push_back(static_cast<std::uint16_t>(kSlotsPerRegion));
        diskFree_.push_back(0);
        dirty_.push_back(true);
        freeSlots_ += kSlotsPerRegion;
        // Every map page is marked where it lies; the space between and after them is free.
        std::uint64_t at = kFirstAMapOffset + r * kRegionBytes;
        const std::uint64_t end = at + kRegionBytes;
        for (std::uint64_t page : mapPagesOf(r)) {
            if (page > at)
                addFree(at, page - at);
            mark(page, kPageSize, true);
            at = page + kPageSize;
        }
        addFree(at, end - at);
    }
}

void Allocator::dropRegions(std::uint64_t keep)
{
    if (keep >= regions_)
        return;
    // Free extents never span regions, so those from the first dropped region on go whole.
    const std::uint64_t end = kFirstAMapOffset + keep * kRegionBytes;
    for (auto it = freeByStart_.lower_bound(end); it != freeByStart_.end();) {
        freeBySize_.erase({ it->second, it->first });
        freeSlots_ -= it->second / kBlockAlign;
        it = freeByStart_.erase(it);
    }
    regions_ = keep;
    bits_.resize(regions_ * kAMapDataBytes);
    regionFree_.resize(regions_);
    diskFree_.resize(regions_);
    dirty_.resize(regions_);
}

void Allocator::mark(std::uint64_t ib, std::uint64_t size, bool allocated)
{
    std::uint64_t slot = (ib - kFirstAMapOffset) / kBlockAlign;
    const std::uint64_t end = slot + size / kBlockAlign;
    for (; slot < end; ++slot) {
        const std::uint64_t region = slot / kSlotsPerRegion;
        const std::uint64_t local = slot % kSlotsPerRegion;
        std::uint8_t& byte = bits_[region * kAMapDataBytes + local / 8];
        const std::uint8_t bit = static_cast<std::uint8_t>(0x80u >> (local % 8));
        if (((byte & bit) != 0) == allocated)
            throw Error(ErrorKind::Internal, allocated ? "allocate file space" : "free file space",
                "offset " + std::to_string(kFirstAMapOffset + slot * kBlockAlign),
                allocated ? "a free slot" : "an allocated slot", allocated ? "already allocated" : "already free");
        byte ^= bit;
        if (allocated) {
            --regionFree_[region];
            --freeSlots_;
        } else {
            ++regionFree_[region];
            ++freeSlots_;
        }
        dirty_[region] = true;
    }
}

bool Allocator::isAllocated(std::uint64_t ib) const
{
    const std::uint64_t slot = (ib - kFirstAMapOffset) / kBlockAlign;
    const std::uint64_t region = slot / kSlotsPerRegion, local = slot % kSlotsPerRegion;
    return bits_[region * kAMapDataBytes + local / 8] & (0x80u >> (local % 8));
}

void Allocator::addFree(std::uint64_t ib, std::uint64_t size)
{
    // Coalesce with neighbours inside the same region (map pages separate regions anyway).
    auto next = freeByStart_.lower_bound(ib);
    if (next != freeByStart_.end() && next->first == ib + size) {
        size += next->second;
        freeBySize_.erase({ next->second, next->first });
        next = freeByStart_.erase(next);
    }
    if (next != freeByStart_.begin()) {
        auto prev = std::prev(next);
        if (prev->first + prev->second == ib) {
            ib = prev->first;
            size += prev->second;
            freeBySize_.erase({ prev->second, prev->first });
            freeByStart_.erase(prev);
        }
    }
    freeByStart_[ib] = size;
    freeBySize_.insert({ size, ib });
}

void Allocator::takeFree(std::map<std::uint64_t, std::uint64_t>::iterator it, std::uint64_t ib, std::uint64_t size)
{
    const std::uint64_t start = it->first, len = it->second;
    freeBySize_.erase({ len, start });
    freeByStart_.erase(it);
    if (ib > start) {
        freeByStart_[start] = ib - start;
        freeBySize_.insert({ ib - start, start });
    }
    if (ib + size < start + len) {
        freeByStart_[ib + size] = start + len - ib - size;
        freeBySize_.insert({ start + len - ib - size, ib + size });
    }
}

std::optional<std::uint64_t> Allocator::allocate(std::uint64_t size, std::uint64_t align)
{
    // Best fit by size; an extent of size + align - 64 bytes always holds an aligned piece.
    auto it = freeBySize_.lower_bound({ size + align - kBlockAlign, 0 });
    if (it == freeBySize_.end())
        return std::nullopt;
    const std::uint64_t start = it->second;
    const std::uint64_t ib = (start - kFirstAMapOffset + align - 1) / align * align + kFirstAMapOffset;
    takeFree(freeByStart_.find(start), ib, size);
    mark(ib, size, true);
    return ib;
}

void Allocator::freeAfterCommit(std::uint64_t ib, std::uint64_t size) { pending_.emplace_back(ib, size); }

bool Allocator::releasePending()
{
    if (pending_.empty())
        return false;
    for (auto [ib, size] : pending_) {
        mark(ib, size, false);
        addFree(ib, size);
    }
    pending_.clear();
    return true;
}

unsigned Allocator::longestFreeRun(std::uint64_t region) const
{
    unsigned best = 0, run = 0;
    const std::uint8_t* b = bits_.data() + region * kAMapDataBytes;
    for (std::uint64_t i = 0; i < kSlotsPerRegion; i += 8) {
        // Whole bytes at once where they are all taken or all free.
        const std::uint8_t byte = b[i / 8];
        if (byte == 0xFF) {
            run = 0;
            continue;
        }
        if (byte == 0) {
            run += 8;
            best = std::max(best, run);
            continue;
        }
        for (unsigned bit = 0; bit < 8; ++bit) {
            if (byte & (0x80u >> bit))
                run = 0;
            else
                best = std::max(best, ++run);
        }
    }
    return std::min(best, 255u);
}

std::uint64_t Allocator::freeBytesOnDisk() const
{
    std::uint64_t slots = 0;
    for (auto f : diskFree_)
        slots += f;
    return slots * kBlockAlign;
}

void Allocator::writeRegion(FileSink& sink, std::uint64_t region)
{
    const std::uint64_t base = kFirstAMapOffset + region * kRegionBytes;
    const unsigned pad = layout_.mapPadding;
    std::uint8_t page[kPageSize];
    // AMAPPAGE: [dwPadding (ANSI)] rgbAMapBits (496) pageTrailer.
    std::fill(page, page + kPageSize, 0);
    std::copy_n(bits_.data() + region * kAMapDataBytes, kAMapDataBytes, page + pad);
    sealPage(page, layout_, kPtypeAMap, base, base);
    sink.writeAt(base, page, kPageSize);
    diskFree_[region] = regionFree_[region];
    for (std::uint64_t ib : mapPagesOf(region)) {
        if (ib == base)
            continue;
        std::fill(page, page + kPageSize, 0);
        const std::uint64_t slot = (ib - base) / kPageSize;
        if (slot == 1) {
            // PMAPPAGE: all pages marked in use; the PMap is superseded by the DList and AMaps.
            std::fill_n(page + pad, kAMapDataBytes, 0xFF);
            sealPage(page, layout_, kPtypePMap, ib, ib);
        } else if (slot == 2) {
            // FMAPPAGE: per following AMap, the longest run of free slots (up to 255).
            for (std::uint64_t i = 0; i < kAMapsPerFMap && region + i < regions_; ++i)
                page[pad + i] = static_cast<std::uint8_t>(longestFreeRun(region + i));
            sealPage(page, layout_, kPtypeFMap, ib, ib);
        } else {
            // FPMAPPAGE: one bit per PMap, 1 = no free pages (our PMaps never offer any).
            std::fill_n(page + pad, kAMapDataBytes, 0xFF);
            sealPage(page, layout_, kPtypeFPMap, ib, ib);
        }
        sink.writeAt(ib, page, kPageSize);
    }
}

void Allocator::writeRegionPages(FileSink& sink, std::uint64_t firstRegion)
{
    for (std::uint64_t r = firstRegion; r < regions_; ++r)
        writeRegion(sink, r);
}

void Allocator::writeMapPages(FileSink& sink, const std::function<std::uint64_t()>& pageBid)
{
    // An FMap describes the AMaps after it: the region holding the one covering a changed region
    // is written too, once however many of its regions changed.
    for (std::uint64_t r = kFirstFMapRegion; r < regions_; ++r)
        if (dirty_[r])
            dirty_[r - (r - kFirstFMapRegion) % kAMapsPerFMap] = true;
    for (std::uint64_t r = 0; r < regions_; ++r)
        if (dirty_[r])
            writeRegion(sink, r);
    std::fill(dirty_.begin(), dirty_.end(), false);

    // DLISTPAGE at 0x4200: bFlags, cEntDList, wPadding, ulCurrentPage, rgDListPageEnt, rgPadding, trailer.
    std::vector<std::pair<std::uint16_t, std::uint32_t>> order;
    for (std::uint64_t r = 0; r < regions_; ++r)
        if (regionFree_[r] > 0)
            order.emplace_back(regionFree_[r], static_cast<std::uint32_t>(r));
    std::stable_sort(order.begin(), order.end(), [](auto& a, auto& b) { return a.first > b.first; });
    const std::size_t maxEntries = std::min<std::size_t>(layout_.dlistEntryBytes / 4, 255);
    if (order.size() > maxEntries)
        order.resize(maxEntries);
    std::uint8_t page[kPageSize] = {};
    page[0] = 0x01; // DFL_BACKFILL_COMPLETE
    page[1] = static_cast<std::uint8_t>(order.size());
    storeLe(page + 4, order.empty() ? 0 : order.front().second, 4);
    for (std::size_t i = 0; i < order.size(); ++i) // DLISTPAGEENT: dwPageNum (20 bits), dwFreeSlots (12 bits)
        storeLe(page + 8 + 4 * i,
            (order[i].second & 0xFFFFF) | (static_cast<std::uint32_t>(order[i].first & 0xFFF) << 20), 4);
    sealPage(page, layout_, kPtypeDList, kDListOffset, pageBid());
    sink.writeAt(kDListOffset, page, kPageSize);
}

} // namespace pst::ndb
