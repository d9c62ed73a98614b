#include "ltp/BTreeOnHeap.h"

#include "pst/Error.h"

namespace pst::ltp {

ByteVector serializeBthHeader(unsigned cbKey, unsigned cbEnt, unsigned levels, std::uint32_t hidRoot)
{
    ByteVector b;
    ndb::ByteWriter w(b);
    w.u8(kSigBTreeOnHeap);
    w.u8(cbKey);
    w.u8(cbEnt);
    w.u8(levels);
    w.u32(hidRoot);
    return b;
}

std::uint32_t writeBTreeOnHeap(
    HeapWriter& heap, unsigned cbKey, unsigned cbEnt, const ByteVector& records, std::uint32_t header)
{
    if (header == 0)
        header = heap.reserve(8);
    const std::size_t rec = cbKey + cbEnt;
    if (records.size() % rec != 0)
        throw Error(ErrorKind::Internal, "write BTH", "records", "a multiple of " + std::to_string(rec) + " bytes",
            std::to_string(records.size()) + " bytes");
    const std::size_t count = records.size() / rec;
    if (count == 0) {
        heap.replace(header, serializeBthHeader(cbKey, cbEnt, 0, 0));
        return header;
    }
    // Leaf level: as many records per allocation as fit in 3580 bytes.
    std::vector<std::pair<ByteVector, std::uint32_t>> level; // first key, HID
    const std::size_t perLeaf = ndb::kMaxHeapAllocation / rec;
    for (std::size_t i = 0; i < count; i += perLeaf) {
        const std::size_t n = std::min(perLeaf, count - i);
        const std::uint8_t* p = records.data() + i * rec;
        level.emplace_back(ByteVector(p, p + cbKey), heap.allocate(p, n * rec));
    }
    // Index levels: (key, HID) records until one allocation holds them all.
    unsigned levels = 0;
    const std::size_t perIndex = ndb::kMaxHeapAllocation / (cbKey + 4);
    while (level.size() > 1) {
        ++levels;
        std::vector<std::pair<ByteVector, std::uint32_t>> up;
        for (std::size_t i = 0; i < level.size(); i += perIndex) {
            const std::size_t n = std::min(perIndex, level.size() - i);
            ByteVector b;
            ndb::ByteWriter w(b);
            for (std::size_t k = i; k < i + n; ++k) {
                w.bytes(level[k].first);
                w.u32(level[k].second);
            }
            up.emplace_back(level[i].first, heap.allocate(b));
        }
        level = std::move(up);
    }
    heap.replace(header, serializeBthHeader(cbKey, cbEnt, levels, level.front().second));
    return header;
}

} // namespace pst::ltp
