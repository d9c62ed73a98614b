// BTree-on-heap (BTH), [MS-PST] 2.3.2: sorted fixed-size records inside a heap, with index
// levels when the records outgrow one heap allocation.
#pragma once

#include "ltp/Heap.h"

namespace pst::ltp {

// records: count * (cbKey + cbEnt) bytes, sorted by key (little-endian keys compared as numbers).
// The BTHHEADER goes into header, 8 bytes the caller reserved (HeapWriter::reserve) before the
// heap's other allocations, or into a new allocation when header is 0. Returns the header's HID.
std::uint32_t writeBTreeOnHeap(
    HeapWriter& heap, unsigned cbKey, unsigned cbEnt, const ByteVector& records, std::uint32_t header = 0);

// BTHHEADER: bType 0xB5, cbKey, cbEnt, bIdxLevels, hidRoot.
ByteVector serializeBthHeader(unsigned cbKey, unsigned cbEnt, unsigned levels, std::uint32_t hidRoot);

} // namespace pst::ltp
