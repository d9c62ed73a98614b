// Heap-on-node (HN), [MS-PST] 2.3.1: allocations of up to 3580 bytes packed into the blocks of
// a node's data tree, addressed by HID. Built once and sealed; a changed heap is written anew.
#pragma once

#include "ndb/Bytes.h"
#include "ndb/Layout.h"

#include <cstdint>
#include <vector>

namespace pst::ltp {

using ndb::ByteVector;

// bClientSig of HNHDR.
enum ClientSig : std::uint8_t {
    kSigTableContext = 0x7C,
    kSigBTreeOnHeap = 0xB5,
    kSigPropertyContext = 0xBC,
};

constexpr std::uint32_t makeHid(std::uint32_t blockIndex, std::uint32_t allocIndex)
{
    return (blockIndex << 16) | (allocIndex << 5); // hidType 0 (NID_TYPE_HID), hidIndex 1-based
}

class HeapWriter {
public:
    HeapWriter(const ndb::Layout& layout, ClientSig sig);

    // Adds an allocation and returns its HID; throws when empty (an empty value is stored as
    // HNID 0, never as a zero-length allocation: readers count those as freed slots) or larger
    // than 3580 bytes.
    std::uint32_t allocate(const std::uint8_t* data, std::size_t size);
    std::uint32_t allocate(const ByteVector& data) { return allocate(data.data(), data.size()); }
    // Takes size bytes now and fills them later with replace(): a header can be the first
    // allocation of its heap although it is known last, as Outlook writes BTH and TC headers.
    std::uint32_t reserve(std::size_t size);
    // Overwrites an allocation with data of its own size.
    void replace(std::uint32_t hid, const ByteVector& data);
    void setUserRoot(std::uint32_t hid) { userRoot_ = hid; }
    // The blocks of the heap: HNHDR / HNPAGEHDR / HNBITMAPHDR, allocations, HNPAGEMAP.
    std::vector<ByteVector> finish() const;
    // The bytes finish() would give, all blocks together.
    std::size_t byteSize() const;

private:
    struct Block {
        ByteVector data; // allocations only
        std::vector<std::uint16_t> offsets; // start of each allocation inside the block image
    };
    std::size_t headerSize(std::size_t blockIndex) const;
    std::size_t blockSize(std::size_t blockIndex) const; // header, allocations, padding, HNPAGEMAP
    static std::uint8_t fillLevel(std::size_t freeBytes);

    const ndb::Layout& layout_;
    ClientSig sig_;
    std::uint32_t userRoot_ = 0;
    std::vector<Block> blocks_;
};

} // namespace pst::ltp
