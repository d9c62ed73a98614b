#include "ltp/Heap.h"

#include "pst/Error.h"

namespace pst::ltp {

HeapWriter::HeapWriter(const ndb::Layout& layout, ClientSig sig)
    : layout_(layout)
    , sig_(sig)
{
    blocks_.emplace_back();
}

std::size_t HeapWriter::headerSize(std::size_t blockIndex) const
{
    if (blockIndex == 0)
        return 12; // HNHDR
    if (blockIndex % 128 == 8)
        return 66; // HNBITMAPHDR
    return 2; // HNPAGEHDR
}

std::uint32_t HeapWriter::allocate(const std::uint8_t* data, std::size_t size)
{
    if (size == 0 || size > ndb::kMaxHeapAllocation)
        throw Error(ErrorKind::Internal, "heap allocation", "HN", "1 to 3580 bytes", std::to_string(size) + " bytes");
    auto fits = [&](const Block& b, std::size_t index) {
        const std::size_t used = headerSize(index) + b.data.size() + size;
        const std::size_t map = 4 + 2 * (b.offsets.size() + 2); // HNPAGEMAP after one more allocation
        return used + 1 + map <= layout_.maxBlockData && b.offsets.size() < 2047;
    };
    if (!fits(blocks_.back(), blocks_.size() - 1)) {
        if (blocks_.size() >= 0xFFFF)
            throw Error(ErrorKind::LimitExceeded, "heap allocation", "HN", "at most 65535 heap blocks", "more");
        blocks_.emplace_back();
    }
    Block& b = blocks_.back();
    const std::size_t blockIndex = blocks_.size() - 1;
    b.offsets.push_back(static_cast<std::uint16_t>(headerSize(blockIndex) + b.data.size()));
    b.data.insert(b.data.end(), data, data + size);
    return makeHid(static_cast<std::uint32_t>(blockIndex), static_cast<std::uint32_t>(b.offsets.size()));
}

std::uint32_t HeapWriter::reserve(std::size_t size)
{
    const ByteVector zeros(size, 0);
    return allocate(zeros);
}

void HeapWriter::replace(std::uint32_t hid, const ByteVector& data)
{
    const std::size_t blockIndex = hid >> 16, allocIndex = (hid >> 5) & 0x7FF;
    if ((hid & 0x1F) != 0 || blockIndex >= blocks_.size() || allocIndex == 0
        || allocIndex > blocks_[blockIndex].offsets.size())
        throw Error(ErrorKind::Internal, "replace heap allocation", "HN", "a HID of this heap", std::to_string(hid));
    Block& b = blocks_[blockIndex];
    const std::size_t start = b.offsets[allocIndex - 1] - headerSize(blockIndex);
    const std::size_t end
        = allocIndex < b.offsets.size() ? b.offsets[allocIndex] - headerSize(blockIndex) : b.data.size();
    if (end - start != data.size())
        throw Error(ErrorKind::Internal, "replace heap allocation", "HID " + std::to_string(hid),
            std::to_string(end - start) + " bytes", std::to_string(data.size()) + " bytes");
    std::copy(data.begin(), data.end(), b.data.begin() + static_cast<std::ptrdiff_t>(start));
}

std::uint8_t HeapWriter::fillLevel(std::size_t freeBytes)
{
    // [MS-PST] 2.3.1.2 FILL_LEVEL_*: 0 = at least 3584 bytes free ... 15 = almost full.
    static const std::size_t limits[] = { 3584, 2560, 2048, 1792, 1536, 1280, 1024, 768, 512, 256, 128, 64, 32, 16, 8 };
    for (std::uint8_t i = 0; i < 15; ++i)
        if (freeBytes >= limits[i])
            return i;
    return 15;
}

std::size_t HeapWriter::blockSize(std::size_t blockIndex) const
{
    const Block& b = blocks_[blockIndex];
    const std::size_t size = headerSize(blockIndex) + b.data.size();
    return size + (size & 1) + 4 + 2 * (b.offsets.size() + 1);
}

std::size_t HeapWriter::byteSize() const
{
    std::size_t total = 0;
    for (std::size_t i = 0; i < blocks_.size(); ++i)
        total += blockSize(i);
    return total;
}

std::vector<ByteVector> HeapWriter::finish() const
{
    std::vector<ByteVector> out;
    std::vector<std::uint8_t> levels;
    for (std::size_t i = 0; i < blocks_.size(); ++i)
        levels.push_back(fillLevel(layout_.maxBlockData - blockSize(i)));
    auto nibbles = [&](ndb::ByteWriter& w, std::size_t first, std::size_t count) {
        for (std::size_t k = 0; k < count; k += 2) {
            std::uint8_t lo = first + k < levels.size() ? levels[first + k] : 0;
            std::uint8_t hi = first + k + 1 < levels.size() ? levels[first + k + 1] : 0;
            w.u8(lo | (hi << 4));
        }
    };
    for (std::size_t i = 0; i < blocks_.size(); ++i) {
        const Block& b = blocks_[i];
        ByteVector img;
        ndb::ByteWriter w(img);
        const std::size_t size = headerSize(i) + b.data.size();
        const std::size_t ibHnpm = size + (size & 1);
        w.u16(ibHnpm);
        if (i == 0) { // HNHDR: ibHnpm, bSig 0xEC, bClientSig, hidUserRoot, rgbFillLevel (blocks 0-7)
            w.u8(0xEC);
            w.u8(sig_);
            w.u32(userRoot_);
            nibbles(w, 0, 8);
        } else if (i % 128 == 8) { // HNBITMAPHDR: ibHnpm, rgbFillLevel (128 blocks)
            nibbles(w, i, 128);
        }
        w.bytes(b.data);
        w.padTo(ibHnpm);
        // HNPAGEMAP: cAlloc, cFree (zero-length allocations: none, as nothing is ever freed and
        // empty values have HNID 0), rgibAlloc[cAlloc + 1].
        w.u16(b.offsets.size());
        w.u16(0);
        for (auto o : b.offsets)
            w.u16(o);
        w.u16(size);
        out.push_back(std::move(img));
    }
    return out;
}

} // namespace pst::ltp
