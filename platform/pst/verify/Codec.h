// Checksums and block encodings of the verifier, written from [MS-PST] section 5: the CRC-32
// of pages, blocks and the header (5.3), the page and block signature (5.5), and the two
// encodings of external data blocks, NDB_CRYPT_PERMUTE (5.1) and NDB_CRYPT_CYCLIC (5.2).
#pragma once

#include <cstddef>
#include <cstdint>

namespace pst::verifier {

// CRC-32 of [MS-PST] 5.3 (reflected 0xEDB88320, seed 0, no final inversion), sliced by 16.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size);

// ComputeSig, [MS-PST] 5.5: the low 32 bits of ib ^ bid, high and low halves folded.
inline std::uint16_t computeSig(std::uint64_t ib, std::uint64_t bid)
{
    const std::uint64_t v = ib ^ bid;
    return static_cast<std::uint16_t>((v >> 16) ^ v);
}

// Decodes NDB_CRYPT_PERMUTE data in place (mpbbI).
void decodePermute(std::uint8_t* data, std::size_t size);
// NDB_CRYPT_CYCLIC in place (its own inverse); key = the low 32 bits of the block's BID.
void decodeCyclic(std::uint8_t* data, std::size_t size, std::uint32_t key);
// Encodes with NDB_CRYPT_PERMUTE (mpbbR); the tests use it to rewrite blocks they change.
void encodePermute(std::uint8_t* data, std::size_t size);

} // namespace pst::verifier
