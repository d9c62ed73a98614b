// The verifier's reader and its checks. One Checker reads one file through a ByteSource:
// Ndb.cpp reads the header, both B-trees, every block and the allocation maps; Ltp.cpp the
// heaps, BTHs, property and table contexts; Messaging.cpp the folders, messages and the
// name-to-ID map. Every structure is parsed field by field from a bounded View.
#pragma once

#include "pst/Verify.h"
#include "verify/Source.h"

#include <cstdint>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_set>
#include <vector>

namespace pst::verifier {

// A bounded little-endian view: every read is checked against the size; out-of-range reads
// give 0 (callers test has() first where the difference matters).
struct View {
    const std::uint8_t* p = nullptr;
    std::size_t n = 0;

    bool has(std::size_t off, std::size_t len) const { return off <= n && len <= n - off; }
    std::uint64_t le(std::size_t off, unsigned width) const
    {
        if (!has(off, width))
            return 0;
        std::uint64_t v = 0;
        for (unsigned i = 0; i < width; ++i)
            v |= std::uint64_t(p[off + i]) << (8 * i);
        return v;
    }
    std::uint8_t u8(std::size_t off) const { return static_cast<std::uint8_t>(le(off, 1)); }
    std::uint16_t u16(std::size_t off) const { return static_cast<std::uint16_t>(le(off, 2)); }
    std::uint32_t u32(std::size_t off) const { return static_cast<std::uint32_t>(le(off, 4)); }
    std::uint64_t u64(std::size_t off) const { return le(off, 8); }
    View sub(std::size_t off, std::size_t len) const { return has(off, len) ? View { p + off, len } : View {}; }
};

inline View viewOf(const std::vector<std::uint8_t>& v) { return { v.data(), v.size() }; }

std::string hex(std::uint64_t v);

// Sizes that differ between ANSI and Unicode files ([MS-PST] 2.2.2.6 onwards).
struct Geometry {
    bool unicode = true;
    unsigned w = 8; // BID, IB, BTKEY width
    unsigned pageTrailer = 16; // PAGETRAILER
    unsigned blockTrailer = 16; // BLOCKTRAILER
    unsigned btArea = 488; // BTPAGE rgentries
    unsigned nbtEntry = 32, bbtEntry = 24, btEntry = 24; // NBTENTRY, BBTENTRY, BTENTRY
    unsigned maxBlockData = 8176; // 8192 minus the trailer
    unsigned slEntry = 24, siEntry = 16, subHeader = 8; // SLENTRY, SIENTRY, SLBLOCK/SIBLOCK header
    unsigned mapPad = 0; // dwPadding before the map bits (ANSI)
    unsigned rowIndexEnt = 4; // TCROWID dwRowIndex
    unsigned dlistEntries = 476; // DLISTPAGE rgDListPageEnt bytes

    static Geometry of(bool unicode);
    std::uint64_t blockSize(std::uint64_t cb) const { return (cb + blockTrailer + 63) / 64 * 64; }
};

constexpr std::uint64_t kPage = 512;
constexpr std::uint64_t kDListOffset = 0x4200;
constexpr std::uint64_t kFirstAMap = 0x4400;
constexpr std::uint64_t kRegion = 496 * 8 * 64; // 253,952 bytes per AMap

struct BbtEntry {
    std::uint64_t bid = 0, ib = 0;
    std::uint16_t cb = 0, cref = 0;
    std::uint32_t refs = 0; // references found in the NBT and in internal blocks
    bool checked = false; // trailer read and checked in the block pass
    bool good = false; // trailer and CRC as they should be
};

struct NbtEntry {
    std::uint64_t nid = 0; // the 8-byte key in Unicode files
    std::uint64_t bidData = 0, bidSub = 0;
    std::uint32_t parent = 0;
};

struct SubEntry {
    std::uint64_t nid = 0;
    std::uint64_t bidData = 0, bidSub = 0;
};

struct Leaf {
    std::uint64_t bid = 0;
    std::uint16_t cb = 0;
};

// A heap-on-node ([MS-PST] 2.3.1) read into memory, block by block, decoded.
struct Heap {
    std::vector<std::vector<std::uint8_t>> blocks;
    std::vector<std::vector<std::uint16_t>> allocs; // per block: rgibAlloc (cAlloc + 1 offsets)
    std::uint8_t clientSig = 0;
    std::uint32_t userRoot = 0;
    bool valid(std::uint32_t hid) const;
    View get(std::uint32_t hid) const; // empty view when not valid
};

// The node whose heap is being read: its NID, where findings point, and its subnodes.
struct NodeCtx {
    std::uint64_t nid = 0;
    std::string where;
    std::vector<SubEntry> subs; // sorted by NID
    const SubEntry* sub(std::uint64_t nid) const;
};

// One PC record, [MS-PST] 2.3.3.3.
struct Prop {
    std::uint16_t id = 0, type = 0;
    std::uint32_t hnid = 0;
};

struct Column {
    std::uint32_t tag = 0;
    std::uint16_t ib = 0;
    std::uint8_t cb = 0, bit = 0;
};

// A table context as read: its columns and, per row, the callback's view of the row bytes.
struct Table {
    std::vector<Column> cols;
    std::uint32_t rows = 0;
    std::uint16_t rowSize = 0;
    const Column* col(std::uint32_t tag) const;
};

class Checker {
public:
    Checker(ByteSource& source, const VerifyOptions& options);
    VerifyReport run();

    // --- shared helpers
    void add(std::string_view code, std::string where, std::string expected, std::string actual);
    void note(std::string_view code, std::string where, std::string expected, std::string actual);
    std::size_t read(std::uint64_t offset, std::uint8_t* out, std::size_t n);
    const BbtEntry* block(std::uint64_t bid) const;
    BbtEntry* block(std::uint64_t bid);
    const NbtEntry* node(std::uint64_t nid) const;
    // Reads a block's data (cb bytes), decoded when external; false when missing or unreadable.
    bool readBlock(std::uint64_t bid, std::vector<std::uint8_t>& out, bool decode);

    // --- NDB (Ndb.cpp)
    bool readHeader();
    void readBTrees();
    void walkBTree(bool nbt, std::uint64_t bid, std::uint64_t ib, int level, std::optional<std::uint64_t> firstKey,
        int depth, std::optional<std::uint64_t>& lastKey, const std::string& path);
    bool checkPageTrailer(View page, std::uint64_t ib, std::uint8_t ptype, std::optional<std::uint64_t> bid,
        bool sigZero, const char* what);
    void checkBlocks();
    void countInternalRefs(BbtEntry& e, View data);
    void checkNodes();
    // Data tree from bid: checks XBLOCK/XXBLOCK structure when report, fills leaves.
    bool dataTree(std::uint64_t bid, const std::string& where, std::vector<Leaf>* leaves, bool report);
    // Subnode tree from bid: checks SLBLOCK/SIBLOCK structure when report, fills entries.
    bool subTree(std::uint64_t bid, const std::string& where, std::vector<SubEntry>& out, bool report);
    // Bytes of a data tree (its lcbTotal), and of a node's data tree with all its subnodes'
    // data, subnodes of subnodes included; 0 for what cannot be read (reported elsewhere).
    std::uint64_t treeBytes(std::uint64_t bid);
    std::uint64_t nodeBytes(std::uint64_t bidData, std::uint64_t bidSub, const std::string& where, int depth = 0);
    void checkSubnodeContents(const std::vector<SubEntry>& subs, const std::string& where, int depth);
    void checkRefCounts();
    void readMaps();
    void checkAllocation();
    void checkHeaderCounters();
    void checkMandatoryNodes();

    // --- LTP (Ltp.cpp)
    bool loadHeap(std::uint64_t bidData, const NodeCtx& ctx, Heap& heap);
    // BTH records; keys of up to 8 bytes as integers.
    bool readBth(const Heap& heap, std::uint32_t hid, const NodeCtx& ctx, unsigned cbKey, std::vector<unsigned> cbEnts,
        std::vector<std::pair<std::uint64_t, View>>& records, unsigned* cbEntOut = nullptr);
    bool readPc(const Heap& heap, const NodeCtx& ctx, std::vector<Prop>& props);
    // The bytes of a value whose HNID is hnid (heap or subnode), at most limit bytes.
    bool valueBytes(const Heap& heap, const NodeCtx& ctx, std::uint32_t hnid, std::vector<std::uint8_t>& out,
        std::size_t limit = 64u << 20);
    bool emptyAllocation(const Heap& heap, std::uint32_t hnid) const;
    bool hnidResolves(const Heap& heap, const NodeCtx& ctx, std::uint32_t hnid) const;
    using RowFn = std::function<void(std::uint32_t index, View row)>;
    bool readTc(const Heap& heap, const NodeCtx& ctx, Table& table, const RowFn& onRow);
    bool cellPresent(const Table& t, View row, const Column& c) const;
    // Reads node nid's heap as a PC or TC (by its client signature), with the node's subnodes.
    struct Object {
        NodeCtx ctx;
        Heap heap;
        std::vector<Prop> props;
        bool ok = false;
        const Prop* prop(std::uint16_t id) const;
    };
    bool openObject(std::uint64_t nid, std::uint64_t bidData, std::uint64_t bidSub, const std::string& where,
        Object& obj, bool expectPc, std::uint8_t alsoAccepted = 0);

    // --- messaging (Messaging.cpp)
    void checkMessaging();
    void checkFolder(std::uint64_t nid, const std::string& parentPath, int depth);
    void checkFolderTables(std::uint64_t nid, const std::string& where, VerifiedFolder& out);
    struct RowSummary {
        std::map<std::uint32_t, std::vector<std::uint8_t>> cells; // copied columns present in the row
    };
    void checkMessage(std::uint64_t nid, const NbtEntry* entry, const std::string& where, const RowSummary* row,
        std::uint64_t bidData, std::uint64_t bidSub, int depth, NodeCtx* parentCtx);
    void checkAttachment(const SubEntry& sub, const std::string& where, int depth);
    void checkNameToIdMap();
    void checkRemainingHeaps();
    std::vector<std::uint64_t> children(std::uint64_t parent, std::uint8_t type) const;
    std::string textValue(const Object& obj, std::uint16_t id);

    ByteSource& src_;
    VerifyOptions options_;
    VerifyReport report_;
    Geometry g_;
    std::uint64_t fileSize_ = 0;
    std::uint64_t eof_ = 0; // ibFileEof
    std::uint64_t readEnd_ = 0; // min(ibFileEof, file size)
    std::uint8_t crypt_ = 1;
    std::uint64_t bidNextB_ = 0, bidNextP_ = 0, amapLast_ = 0, amapFree_ = 0;
    std::uint8_t amapValid_ = 0;
    std::uint64_t nbtBid_ = 0, nbtIb_ = 0, bbtBid_ = 0, bbtIb_ = 0;
    std::uint32_t rgnid_[32] = {};

    std::vector<BbtEntry> bbt_; // sorted by BID
    std::vector<NbtEntry> nbt_; // sorted by NID
    std::vector<std::uint32_t> byParent_; // indexes into nbt_, sorted by (parent, nid)
    struct Extent {
        std::uint64_t ib = 0;
        std::uint32_t size = 0;
        std::uint8_t kind = 0; // 0 block, 1 NBT page, 2 BBT page, 3 map page
        std::uint64_t id = 0; // BID, or the page's offset
    };
    std::vector<Extent> extents_;
    std::unordered_set<std::uint64_t> pagesSeen_;
    std::uint64_t maxPageBid_ = 0;
    std::vector<std::uint8_t> amap_; // rgbAMapBits of every region, 496 bytes each
    std::uint64_t regions_ = 0;
    bool mapsUsable_ = false;
    std::unordered_set<std::uint64_t> checkedData_, checkedSub_; // internal blocks already checked
    std::vector<bool> heapDone_; // per nbt_ index: LTP already checked
    std::uint64_t ltpBudget_ = 0; // heaps left to read (bounds nested objects)
    bool sawRefMismatch_ = false;
};

// Property types, [MS-OXCDATA] 2.11.1.
bool knownType(std::uint16_t type);
int fixedSize(std::uint16_t type); // bytes of a fixed-size type, 0 for variable-size ones

} // namespace pst::verifier
