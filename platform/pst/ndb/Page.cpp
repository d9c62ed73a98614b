#include "ndb/Page.h"

#include "ndb/Checksum.h"
#include "pst/Error.h"

namespace pst::ndb {

void sealPage(std::uint8_t* page, const Layout& layout, PageType type, std::uint64_t ib, std::uint64_t bid)
{
    const unsigned t = layout.pageDataSize();
    const bool map = type == kPtypeAMap || type == kPtypePMap || type == kPtypeFMap || type == kPtypeFPMap;
    if (map)
        bid = ib;
    const std::uint16_t sig = map ? 0 : computeSig(ib, bid);
    const std::uint32_t crc = crc32(page, t);
    std::uint8_t* tr = page + t;
    tr[0] = type;
    tr[1] = type;
    storeLe(tr + 2, sig, 2);
    if (layout.unicode) { // ptype, ptypeRepeat, wSig, dwCRC, bid(8)
        storeLe(tr + 4, crc, 4);
        storeLe(tr + 8, bid, 8);
    } else { // ptype, ptypeRepeat, wSig, bid(4), dwCRC
        storeLe(tr + 4, bid, 4);
        storeLe(tr + 8, crc, 4);
    }
}

ByteVector sealBlock(
    const Layout& layout, const std::uint8_t* data, std::size_t cb, std::uint64_t ib, std::uint64_t bid)
{
    if (cb > layout.maxBlockData)
        throw Error(ErrorKind::Internal, "seal block", "bid " + std::to_string(bid),
            "at most " + std::to_string(layout.maxBlockData) + " bytes", std::to_string(cb) + " bytes");
    ByteVector out(layout.blockSizeOnDisk(cb), 0);
    std::copy(data, data + cb, out.begin());
    std::uint8_t* tr = out.data() + out.size() - layout.blockTrailerSize;
    storeLe(tr, cb, 2);
    storeLe(tr + 2, computeSig(ib, bid), 2);
    const std::uint32_t crc = crc32(data, cb);
    if (layout.unicode) { // cb, wSig, dwCRC, bid(8)
        storeLe(tr + 4, crc, 4);
        storeLe(tr + 8, bid, 8);
    } else { // cb, wSig, bid(4), dwCRC
        storeLe(tr + 4, bid, 4);
        storeLe(tr + 8, crc, 4);
    }
    return out;
}

} // namespace pst::ndb
