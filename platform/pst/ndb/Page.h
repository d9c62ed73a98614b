// Trailers of pages (PAGETRAILER) and blocks (BLOCKTRAILER), [MS-PST] 2.2.2.7.1 and 2.2.2.8.1.
#pragma once

#include "ndb/Bytes.h"
#include "ndb/Layout.h"

namespace pst::ndb {

// Fills the trailer of a 512-byte page: ptype, ptypeRepeat, wSig, dwCRC over the data part, bid.
// Map pages (AMap, PMap, FMap, FPMap) carry wSig 0 and bid = ib.
void sealPage(std::uint8_t* page, const Layout& layout, PageType type, std::uint64_t ib, std::uint64_t bid);

// Builds the on-disk image of a block: data, zero padding to a 64-byte multiple, BLOCKTRAILER.
ByteVector sealBlock(
    const Layout& layout, const std::uint8_t* data, std::size_t cb, std::uint64_t ib, std::uint64_t bid);

} // namespace pst::ndb
