// The node database (NDB) of [MS-PST] 2.2: blocks with trailers, data trees (XBLOCK/XXBLOCK),
// subnode trees (SLBLOCK/SIBLOCK), the node and block B-trees, the HEADER and the allocation
// maps. Writes are copy-on-write: blocks and pages go to newly allocated space only, space the
// on-disk header can still reach is freed after the next header, and the header goes last.
// Only indexes stay in memory (NID -> node, BID -> place); block bytes go straight to the file.
#pragma once

#include "ndb/Allocator.h"
#include "ndb/Bytes.h"
#include "ndb/Layout.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <unordered_map>
#include <vector>

namespace pst {
class FileSink;
}

namespace pst::ndb {

// NBTENTRY minus the key: what a node holds.
struct NodeEntry {
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
    std::uint32_t nidParent = 0;
};

// SLENTRY: one subnode of a node.
struct SubnodeEntry {
    std::uint32_t nid = 0;
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
};

// BREF: a page or block by id and place.
struct Bref {
    std::uint64_t bid = 0;
    std::uint64_t ib = 0;
};

class NodeDatabase {
public:
    // initialSize: the file starts at least this long, as free space (0: one allocation map region).
    NodeDatabase(
        std::unique_ptr<FileSink> sink, Format format, std::uint64_t maxFileSize, std::uint64_t initialSize = 0);
    ~NodeDatabase();

    const Layout& layout() const { return layout_; }
    FileSink& sink() { return *sink_; }

    // Writes one block; external blocks are permutation-encoded. The new block's cRef is 2: the
    // BBTENTRY's own reference and the one of whoever takes the BID ([MS-PST] 2.2.2.7.7.3).
    std::uint64_t writeBlock(const std::uint8_t* data, std::size_t cb, bool internal);
    // A data tree over chunks of at most maxBlockData bytes each (one block, XBLOCK or XXBLOCK).
    std::uint64_t writeDataTree(const std::vector<ByteVector>& chunks);
    // A data tree over blocks already written with writeBlock (data blocks of the given sizes, in
    // order): the block itself, or XBLOCK/XXBLOCKs over them. Lets callers stream large values.
    std::uint64_t linkDataBlocks(const std::vector<std::uint64_t>& bids, const std::vector<std::uint64_t>& sizes);
    // A data tree over bytes, cut into full blocks.
    std::uint64_t writeData(const std::uint8_t* data, std::size_t size);
    // A subnode tree (SLBLOCK, or SIBLOCK over SLBLOCKs); entries are sorted here. 0 when empty.
    std::uint64_t writeSubnodeTree(std::vector<SubnodeEntry> entries);
    // Reference counting of blocks (single-instance storage); when only the BBT's own reference
    // is left, the block and its children are dropped and their space freed after the next commit.
    void addRef(std::uint64_t bid);
    void release(std::uint64_t bid);
    std::uint16_t referenceCount(std::uint64_t bid) const; // cRef as written; 0 = no such block

    // Node IDs: rgnid[type] holds the highest index handed out.
    std::uint32_t newNid(std::uint8_t type);
    void reserveNid(std::uint32_t nid);
    // Sets a node; the node takes over the references of bidData and bidSub, and drops its old ones.
    void putNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent);
    // Removes a node and drops its references; false when there is no such node.
    bool deleteNode(std::uint32_t nid);
    const NodeEntry* node(std::uint32_t nid) const;
    std::size_t nodeCount() const;
    std::size_t blockCount() const;
    std::uint64_t fileSize() const { return alloc_.fileSize(); }
    std::uint64_t maxFileSize() const { return maxFileSize_; }

    // Writes both B-trees, the maps and the header: afterwards the file holds the current state.
    // Nothing is written when nothing changed since the last commit.
    void commit();
    // Once the file is visible under its final name, every later change first marks the
    // on-disk AMaps invalid ([MS-PST] 2.6.1.3.7) and keeps the file length in the header.
    void setPublished() { published_ = true; }

    // BBTENTRY minus the key.
    struct BlockEntry {
        std::uint64_t ib;
        std::uint16_t cb;
        std::uint16_t cref;
    };

private:
    struct HeaderState {
        Bref nbt, bbt;
        std::uint8_t amapValid = kAMapInvalid;
    };

    std::uint64_t allocate(std::uint64_t size, std::uint64_t align);
    void grow();
    std::uint64_t nextPageBid() { return bidNextP_++; }
    Bref writePage(PageType type, const std::uint8_t* entries, unsigned count, unsigned entrySize, unsigned level);
    void writeHeader(const HeaderState& state);
    void writeMapsAndHeader(const HeaderState& state);
    std::uint64_t writeXBlocks(const std::vector<std::uint64_t>& bids, const std::vector<std::uint64_t>& sizes,
        std::uint8_t level, std::uint64_t& total);

    const Layout& layout_;
    std::unique_ptr<FileSink> sink_;
    std::uint64_t maxFileSize_;
    Allocator alloc_;
    struct Trees;
    std::unique_ptr<Trees> trees_; // the NBT and the BBT
    std::unordered_map<std::uint64_t, std::vector<std::uint64_t>> children_; // blocks an internal block references
    std::array<std::uint32_t, 32> rgnid_ {};
    std::uint64_t bidNextB_ = 4;
    std::uint64_t bidNextP_ = 1;
    std::uint32_t dwUnique_ = 0;
    HeaderState committed_; // what the header on disk describes
    bool published_ = false;
    bool changed_ = true; // nodes or blocks changed since the last commit
};

// HEADER of [MS-PST] 2.2.2.6 for both formats (fields given, CRCs computed here).
struct HeaderFields {
    std::uint64_t bidNextB = 0, bidNextP = 0;
    std::uint32_t dwUnique = 0;
    std::array<std::uint32_t, 32> rgnid {};
    std::uint64_t ibFileEof = 0, ibAMapLast = 0, cbAMapFree = 0, cbPMapFree = 0;
    Bref nbt, bbt;
    std::uint8_t amapValid = 0;
    std::uint8_t cryptMethod = kCryptPermute;
};
ByteVector serializeHeader(const Layout& layout, const HeaderFields& h);

} // namespace pst::ndb
