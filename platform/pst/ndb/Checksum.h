// CRC, signature and block-data encoding of [MS-PST]: computed here and nowhere else.
#pragma once

#include <cstddef>
#include <cstdint>

namespace pst::ndb {

// [MS-PST] 5.3: CRC-32 (reflected polynomial 0xEDB88320), seed 0, no final inversion.
std::uint32_t crc32(const std::uint8_t* data, std::size_t size, std::uint32_t seed = 0);

// [MS-PST] 5.5 ComputeSig: the wSig of page and block trailers.
std::uint16_t computeSig(std::uint64_t ib, std::uint64_t bid);

// [MS-PST] 5.1 NDB_CRYPT_PERMUTE: encodes block data in place (mpbbR) / decodes (mpbbI).
void permuteEncode(std::uint8_t* data, std::size_t size);
void permuteDecode(std::uint8_t* data, std::size_t size);

} // namespace pst::ndb
