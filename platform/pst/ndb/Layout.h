// Sizes and offsets of the on-disk structures of [MS-PST], ANSI and Unicode, in one place.
// Every writer takes a Layout so both formats share one code path.
#pragma once

#include "pst/Store.h"

#include <cstddef>
#include <cstdint>

namespace pst::ndb {

// Node ID types, [MS-PST] 2.2.2.1 (NID_TYPE).
enum NidType : std::uint8_t {
    kNidTypeHid = 0x00,
    kNidTypeInternal = 0x01,
    kNidTypeNormalFolder = 0x02,
    kNidTypeSearchFolder = 0x03,
    kNidTypeNormalMessage = 0x04,
    kNidTypeAttachment = 0x05,
    kNidTypeSearchUpdateQueue = 0x06,
    kNidTypeSearchCriteriaObject = 0x07,
    kNidTypeAssocMessage = 0x08,
    kNidTypeContentsTableIndex = 0x0A,
    kNidTypeReceiveFolderTable = 0x0B,
    kNidTypeOutgoingQueueTable = 0x0C,
    kNidTypeHierarchyTable = 0x0D,
    kNidTypeContentsTable = 0x0E,
    kNidTypeAssocContentsTable = 0x0F,
    kNidTypeSearchContentsTable = 0x10,
    kNidTypeAttachmentTable = 0x11,
    kNidTypeRecipientTable = 0x12,
    kNidTypeSearchTableIndex = 0x13,
    kNidTypeLtp = 0x1F,
};

constexpr std::uint32_t makeNid(std::uint8_t type, std::uint32_t index) { return (index << 5) | type; }
constexpr std::uint8_t nidType(std::uint32_t nid) { return static_cast<std::uint8_t>(nid & 0x1F); }
constexpr std::uint32_t nidIndex(std::uint32_t nid) { return nid >> 5; }

// Page types, [MS-PST] 2.2.2.7.1 (PAGETRAILER ptype).
enum PageType : std::uint8_t {
    kPtypeBbt = 0x80,
    kPtypeNbt = 0x81,
    kPtypeFMap = 0x82,
    kPtypePMap = 0x83,
    kPtypeAMap = 0x84,
    kPtypeFPMap = 0x85,
    kPtypeDList = 0x86,
};

constexpr std::uint64_t kPageSize = 512;
constexpr std::uint64_t kBlockAlign = 64; // allocation unit of the AMap
constexpr std::uint64_t kMaxBlockSize = 8192; // a block with its trailer
constexpr std::uint64_t kDListOffset = 0x4200; // [MS-PST] 2.2.2.7.4
constexpr std::uint64_t kFirstAMapOffset = 0x4400; // [MS-PST] 2.2.2.7.2
constexpr std::uint64_t kAMapDataBytes = 496; // rgbAMapBits
constexpr std::uint64_t kSlotsPerRegion = kAMapDataBytes * 8; // 3968 slots of 64 bytes
constexpr std::uint64_t kRegionBytes = kSlotsPerRegion * kBlockAlign; // 253,952 bytes per AMap
constexpr std::uint64_t kAMapsPerPMap = 8;
constexpr std::uint64_t kFirstFMapRegion = 128; // the header's rgbFM covers the first 128 AMaps
constexpr std::uint64_t kAMapsPerFMap = 496;
constexpr std::uint64_t kFirstFPMapRegion = 128 * 64; // the header's rgbFP covers 128*8 PMaps
constexpr std::uint64_t kAMapsPerFPMap = 496 * 8 * 8;
constexpr std::size_t kMaxHeapAllocation = 3580; // [MS-PST] 2.3.1: largest HN allocation
constexpr std::uint8_t kCryptPermute = 0x01; // NDB_CRYPT_PERMUTE
constexpr std::uint8_t kAMapInvalid = 0x00; // INVALID_AMAP
constexpr std::uint8_t kAMapValid2 = 0x02; // VALID_AMAP2

struct Layout {
    Format format;
    bool unicode;
    unsigned idWidth; // BID and IB: 4 (ANSI) or 8 (Unicode)
    unsigned pageTrailerSize; // PAGETRAILER
    unsigned blockTrailerSize; // BLOCKTRAILER
    unsigned btEntryArea; // BTPAGE rgentries
    unsigned nbtEntrySize; // NBTENTRY
    unsigned bbtEntrySize; // BBTENTRY
    unsigned btEntrySize; // BTENTRY
    unsigned maxBlockData; // data bytes in a block of 8 KB
    unsigned headerSize; // HEADER
    unsigned slEntrySize; // SLENTRY
    unsigned siEntrySize; // SIENTRY
    unsigned subnodeHeaderSize; // SLBLOCK / SIBLOCK header (btype, cLevel, cEnt[, dwPadding])
    unsigned rowIndexEntrySize; // TCROWID dwRowIndex width
    unsigned dlistEntryBytes; // DLISTPAGE rgDListPageEnt
    unsigned mapPadding; // dwPadding before AMap/PMap/FMap bits (ANSI only)
    std::uint64_t maxFileSize; // hard format limit
    std::uint64_t maxTableRows; // rows a TC can index

    static const Layout& of(Format format);

    unsigned pageDataSize() const { return static_cast<unsigned>(kPageSize) - pageTrailerSize; }
    unsigned maxXBlockEntries() const { return (maxBlockData - 8) / idWidth; }
    unsigned maxSlEntries() const { return (maxBlockData - subnodeHeaderSize) / slEntrySize; }
    unsigned maxSiEntries() const { return (maxBlockData - subnodeHeaderSize) / siEntrySize; }
    static std::uint64_t blockSizeOnDisk(std::size_t cb, unsigned trailer)
    {
        return (cb + trailer + kBlockAlign - 1) / kBlockAlign * kBlockAlign;
    }
    std::uint64_t blockSizeOnDisk(std::size_t cb) const { return blockSizeOnDisk(cb, blockTrailerSize); }
};

} // namespace pst::ndb
