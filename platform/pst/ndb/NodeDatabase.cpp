#include "ndb/NodeDatabase.h"

#include "ndb/BTree.h"
#include "ndb/Checksum.h"
#include "ndb/Page.h"
#include "pst/Error.h"
#include "pst/FileSink.h"

#include <algorithm>

namespace pst::ndb {

namespace {
    std::string hex(std::uint64_t v)
    {
        char buf[24];
        std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(v));
        return buf;
    }
} // namespace

struct NodeDatabase::Trees {
    explicit Trees(const Layout& l)
        : nbt(l.btEntryArea / l.nbtEntrySize, l.btEntryArea / l.btEntrySize)
        , bbt(l.btEntryArea / l.bbtEntrySize, l.btEntryArea / l.btEntrySize)
    {
    }
    CowBTree<NodeEntry> nbt;
    CowBTree<BlockEntry> bbt;
};

NodeDatabase::NodeDatabase(
    std::unique_ptr<FileSink> sink, Format format, std::uint64_t maxFileSize, std::uint64_t initialSize)
    : layout_(Layout::of(format))
    , sink_(std::move(sink))
    , maxFileSize_(maxFileSize == 0 ? layout_.maxFileSize : std::min(maxFileSize, layout_.maxFileSize))
    , alloc_(layout_)
    , trees_(std::make_unique<Trees>(layout_))
{
    // Initial rgnid as Outlook writes them: indexes below 0x400 are reserved for fixed NIDs.
    rgnid_.fill(0x400);
    rgnid_[kNidTypeSearchFolder] = 0x4000;
    rgnid_[kNidTypeNormalMessage] = 0x10000;
    rgnid_[kNidTypeAssocMessage] = 0x8000;
    const std::uint64_t regions = initialSize > kFirstAMapOffset + kRegionBytes
        ? (initialSize - kFirstAMapOffset + kRegionBytes - 1) / kRegionBytes
        : 1;
    if (kFirstAMapOffset + regions * kRegionBytes > maxFileSize_)
        throw Error(ErrorKind::LimitExceeded, "create store", sink_->describe(),
            "file size limit of at least " + std::to_string(kFirstAMapOffset + regions * kRegionBytes),
            std::to_string(maxFileSize_));
    alloc_.addRegions(regions);
    sink_->reserve(alloc_.fileSize());
    sink_->resize(alloc_.fileSize());
}

NodeDatabase::~NodeDatabase() = default;

std::size_t NodeDatabase::nodeCount() const { return trees_->nbt.size(); }
std::size_t NodeDatabase::blockCount() const { return trees_->bbt.size(); }

// ---- space ------------------------------------------------------------------------------------

std::uint64_t NodeDatabase::allocate(std::uint64_t size, std::uint64_t align)
{
    for (;;) {
        if (auto ib = alloc_.allocate(size, align))
            return *ib;
        grow();
    }
}

void NodeDatabase::grow()
{
    // Grow by an eighth of the file (at least one AMap region) to keep header writes rare.
    const std::uint64_t oldRegions = alloc_.regionCount();
    std::uint64_t add = std::max<std::uint64_t>(1, oldRegions / 8);
    while (add > 1 && alloc_.fileSize() + add * kRegionBytes > maxFileSize_)
        add /= 2;
    if (alloc_.fileSize() + add * kRegionBytes > maxFileSize_)
        throw Error(ErrorKind::LimitExceeded, "grow file", sink_->describe(),
            "at most " + std::to_string(maxFileSize_) + " bytes" + (layout_.unicode ? "" : " (ANSI)"),
            std::to_string(alloc_.fileSize() + add * kRegionBytes) + " bytes needed");
    const std::uint64_t oldSize = alloc_.fileSize();
    alloc_.addRegions(add);
    // The disk space first, with the length unchanged (the slow part); then the new map pages
    // (they extend the file), the length, and a header that covers them with the committed
    // roots. Only those last few writes lie between a longer file and the header that says so.
    // The AMaps on disk still cover everything those roots reach (space is freed on disk only
    // after a commit), so the header keeps their validity.
    try {
        sink_->reserve(alloc_.fileSize());
        alloc_.writeRegionPages(*sink_, oldRegions);
        sink_->resize(alloc_.fileSize());
        if (published_)
            writeHeader(committed_);
    } catch (const Error&) {
        // A full disk part way: the file goes back to the length the header on disk gives it,
        // and the store to the regions it had, so a later flush or close writes nothing past it.
        alloc_.dropRegions(oldRegions);
        try {
            sink_->resize(oldSize);
        } catch (const Error&) {
            // The first failure is the one to report.
        }
        throw;
    }
}

// ---- blocks -----------------------------------------------------------------------------------

std::uint64_t NodeDatabase::writeBlock(const std::uint8_t* data, std::size_t cb, bool internal)
{
    if (cb > layout_.maxBlockData || cb == 0)
        throw Error(ErrorKind::Internal, "write block", sink_->describe(),
            "1 to " + std::to_string(layout_.maxBlockData) + " bytes", std::to_string(cb) + " bytes");
    const std::uint64_t bid = bidNextB_ | (internal ? 2u : 0u);
    bidNextB_ += 4;
    if (!layout_.unicode && bidNextB_ > 0xFFFFFFFFull)
        throw Error(
            ErrorKind::LimitExceeded, "allocate block id", sink_->describe(), "32-bit BIDs (ANSI)", hex(bidNextB_));
    const std::uint64_t size = layout_.blockSizeOnDisk(cb);
    const std::uint64_t ib = allocate(size, kBlockAlign);
    ByteVector image;
    if (internal) {
        image = sealBlock(layout_, data, cb, ib, bid);
    } else {
        ByteVector encoded(data, data + cb);
        permuteEncode(encoded.data(), encoded.size());
        image = sealBlock(layout_, encoded.data(), cb, ib, bid);
    }
    sink_->writeAt(ib, image.data(), image.size());
    trees_->bbt.put(bid, BlockEntry { ib, static_cast<std::uint16_t>(cb), 2 });
    changed_ = true;
    return bid;
}

std::uint64_t NodeDatabase::writeXBlocks(const std::vector<std::uint64_t>& bids,
    const std::vector<std::uint64_t>& sizes, std::uint8_t level, std::uint64_t& total)
{
    // XBLOCK (cLevel 1) / XXBLOCK (cLevel 2): btype 0x01, cLevel, cEnt, lcbTotal, rgbid.
    ByteVector b;
    ByteWriter w(b);
    total = 0;
    for (auto s : sizes)
        total += s;
    if (total > 0xFFFFFFFFull)
        throw Error(ErrorKind::LimitExceeded, "write data tree", sink_->describe(), "at most 4 GB per node",
            std::to_string(total));
    w.u8(0x01);
    w.u8(level);
    w.u16(bids.size());
    w.u32(total);
    for (auto bid : bids)
        w.put(bid, layout_.idWidth);
    const std::uint64_t bid = writeBlock(b.data(), b.size(), true);
    children_[bid] = bids;
    return bid;
}

std::uint64_t NodeDatabase::writeDataTree(const std::vector<ByteVector>& chunks)
{
    if (chunks.empty())
        return 0;
    std::vector<std::uint64_t> bids, sizes;
    for (const auto& c : chunks) {
        bids.push_back(writeBlock(c.data(), c.size(), false));
        sizes.push_back(c.size());
    }
    return linkDataBlocks(bids, sizes);
}

std::uint64_t NodeDatabase::linkDataBlocks(
    const std::vector<std::uint64_t>& bids, const std::vector<std::uint64_t>& sizes)
{
    if (bids.empty())
        return 0;
    if (bids.size() == 1)
        return bids.front();
    const std::size_t per = layout_.maxXBlockEntries();
    if (bids.size() <= per) {
        std::uint64_t total;
        return writeXBlocks(bids, sizes, 1, total);
    }
    if (bids.size() > per * per)
        throw Error(ErrorKind::LimitExceeded, "write data tree", sink_->describe(),
            "at most " + std::to_string(per * per) + " blocks", std::to_string(bids.size()));
    std::vector<std::uint64_t> xbids, xsizes;
    for (std::size_t i = 0; i < bids.size(); i += per) {
        const std::size_t n = std::min(per, bids.size() - i);
        std::uint64_t total;
        xbids.push_back(writeXBlocks(
            { bids.begin() + i, bids.begin() + i + n }, { sizes.begin() + i, sizes.begin() + i + n }, 1, total));
        xsizes.push_back(total);
    }
    std::uint64_t total;
    return writeXBlocks(xbids, xsizes, 2, total);
}

std::uint64_t NodeDatabase::writeData(const std::uint8_t* data, std::size_t size)
{
    std::vector<ByteVector> chunks;
    for (std::size_t at = 0; at < size; at += layout_.maxBlockData) {
        const std::size_t n = std::min<std::size_t>(layout_.maxBlockData, size - at);
        chunks.emplace_back(data + at, data + at + n);
    }
    return writeDataTree(chunks);
}

std::uint64_t NodeDatabase::writeSubnodeTree(std::vector<SubnodeEntry> entries)
{
    if (entries.empty())
        return 0;
    std::sort(entries.begin(), entries.end(), [](auto& a, auto& b) { return a.nid < b.nid; });
    const unsigned w = layout_.idWidth;
    auto header = [&](ByteWriter& out, std::uint8_t level, std::size_t count) {
        out.u8(0x02); // btype: SLBLOCK / SIBLOCK
        out.u8(level);
        out.u16(count);
        if (layout_.unicode)
            out.u32(0); // dwPadding
    };
    // SLBLOCKs: SLENTRY = nid (padded to the id width), bidData, bidSub.
    std::vector<std::pair<std::uint32_t, std::uint64_t>> leaves; // first nid, bid
    const std::size_t per = layout_.maxSlEntries();
    for (std::size_t i = 0; i < entries.size(); i += per) {
        const std::size_t n = std::min(per, entries.size() - i);
        ByteVector b;
        ByteWriter out(b);
        header(out, 0, n);
        std::vector<std::uint64_t> kids;
        for (std::size_t k = i; k < i + n; ++k) {
            out.put(entries[k].nid, w);
            out.put(entries[k].bidData, w);
            out.put(entries[k].bidSub, w);
            if (entries[k].bidData)
                kids.push_back(entries[k].bidData);
            if (entries[k].bidSub)
                kids.push_back(entries[k].bidSub);
        }
        const std::uint64_t bid = writeBlock(b.data(), b.size(), true);
        children_[bid] = std::move(kids);
        leaves.emplace_back(entries[i].nid, bid);
    }
    if (leaves.size() == 1)
        return leaves.front().second;
    if (leaves.size() > layout_.maxSiEntries())
        throw Error(ErrorKind::LimitExceeded, "write subnode tree", sink_->describe(),
            "at most " + std::to_string(layout_.maxSiEntries() * per) + " subnodes", std::to_string(entries.size()));
    // SIBLOCK: SIENTRY = nid, bid of the SLBLOCK.
    ByteVector b;
    ByteWriter out(b);
    header(out, 1, leaves.size());
    std::vector<std::uint64_t> kids;
    for (auto& [nid, bid] : leaves) {
        out.put(nid, w);
        out.put(bid, w);
        kids.push_back(bid);
    }
    const std::uint64_t bid = writeBlock(b.data(), b.size(), true);
    children_[bid] = std::move(kids);
    return bid;
}

void NodeDatabase::addRef(std::uint64_t bid)
{
    BlockEntry* e = trees_->bbt.modify(bid);
    if (!e)
        throw Error(ErrorKind::Internal, "add block reference", hex(bid), "a block in the BBT", "none");
    if (e->cref == 0xFFFF)
        throw Error(ErrorKind::LimitExceeded, "add block reference", hex(bid), "at most 65535 references", "65535");
    ++e->cref;
    changed_ = true;
}

void NodeDatabase::release(std::uint64_t bid)
{
    if (bid == 0)
        return;
    BlockEntry* e = trees_->bbt.modify(bid);
    if (!e)
        throw Error(ErrorKind::Internal, "release block", hex(bid), "a block in the BBT", "none");
    changed_ = true;
    if (--e->cref > 1)
        return;
    alloc_.freeAfterCommit(e->ib, layout_.blockSizeOnDisk(e->cb));
    trees_->bbt.erase(bid);
    if (auto kids = children_.find(bid); kids != children_.end()) {
        auto list = std::move(kids->second);
        children_.erase(kids);
        for (auto child : list)
            release(child);
    }
}

std::uint16_t NodeDatabase::referenceCount(std::uint64_t bid) const
{
    const BlockEntry* e = trees_->bbt.find(bid);
    return e ? e->cref : 0;
}

// ---- nodes ------------------------------------------------------------------------------------

std::uint32_t NodeDatabase::newNid(std::uint8_t type)
{
    if (rgnid_[type] >= (1u << 27) - 1)
        throw Error(ErrorKind::LimitExceeded, "allocate node id", "type " + hex(type), "fewer than 2^27 nodes",
            hex(rgnid_[type]));
    return makeNid(type, ++rgnid_[type]);
}

void NodeDatabase::reserveNid(std::uint32_t nid)
{
    rgnid_[nidType(nid)] = std::max(rgnid_[nidType(nid)], nidIndex(nid));
}

void NodeDatabase::putNode(std::uint32_t nid, std::uint64_t bidData, std::uint64_t bidSub, std::uint32_t nidParent)
{
    reserveNid(nid);
    changed_ = true;
    const NodeEntry* existing = trees_->nbt.find(nid);
    const NodeEntry old = existing ? *existing : NodeEntry {};
    trees_->nbt.put(nid, NodeEntry { bidData, bidSub, nidParent });
    release(old.bidData);
    release(old.bidSub);
}

bool NodeDatabase::deleteNode(std::uint32_t nid)
{
    const NodeEntry* existing = trees_->nbt.find(nid);
    if (!existing)
        return false;
    const NodeEntry old = *existing;
    trees_->nbt.erase(nid);
    changed_ = true;
    release(old.bidData);
    release(old.bidSub);
    return true;
}

const NodeEntry* NodeDatabase::node(std::uint32_t nid) const { return trees_->nbt.find(nid); }

// ---- B-trees ----------------------------------------------------------------------------------

Bref NodeDatabase::writePage(
    PageType type, const std::uint8_t* entries, unsigned count, unsigned entrySize, unsigned level)
{
    // BTPAGE: rgentries, cEnt, cEntMax, cbEnt, cLevel, [dwPadding (Unicode)], pageTrailer.
    std::uint8_t page[kPageSize] = {};
    std::copy_n(entries, static_cast<std::size_t>(count) * entrySize, page);
    const unsigned a = layout_.btEntryArea;
    page[a] = static_cast<std::uint8_t>(count);
    page[a + 1] = static_cast<std::uint8_t>(a / entrySize);
    page[a + 2] = static_cast<std::uint8_t>(entrySize);
    page[a + 3] = static_cast<std::uint8_t>(level);
    const std::uint64_t ib = allocate(kPageSize, kPageSize);
    const std::uint64_t bid = nextPageBid();
    sealPage(page, layout_, type, ib, bid);
    sink_->writeAt(ib, page, kPageSize);
    return Bref { bid, ib };
}

// ---- header and commit ------------------------------------------------------------------------

ByteVector serializeHeader(const Layout& layout, const HeaderFields& h)
{
    ByteVector b;
    ByteWriter w(b);
    const unsigned iw = layout.idWidth;
    w.u32(0x4E444221); // dwMagic "!BDN"
    w.u32(0); // dwCRCPartial, below
    w.u16(0x4D53); // wMagicClient "SM"
    w.u16(layout.unicode ? 23 : 14); // wVer
    w.u16(19); // wVerClient
    w.u8(0x01); // bPlatformCreate
    w.u8(0x01); // bPlatformAccess
    w.u32(0); // dwReserved1
    w.u32(0); // dwReserved2
    if (layout.unicode) {
        w.u64(0); // bidUnused
        w.u64(h.bidNextP);
    } else {
        w.u32(h.bidNextB);
        w.u32(h.bidNextP);
    }
    w.u32(h.dwUnique);
    for (auto n : h.rgnid)
        w.u32(n);
    if (layout.unicode)
        w.u64(0); // qwUnused
    // ROOT: dwReserved, ibFileEof, ibAMapLast, cbAMapFree, cbPMapFree, BREFNBT, BREFBBT,
    // fAMapValid, bReserved, wReserved.
    w.u32(0);
    w.put(h.ibFileEof, iw);
    w.put(h.ibAMapLast, iw);
    w.put(h.cbAMapFree, iw);
    w.put(h.cbPMapFree, iw);
    w.put(h.nbt.bid, iw);
    w.put(h.nbt.ib, iw);
    w.put(h.bbt.bid, iw);
    w.put(h.bbt.ib, iw);
    w.u8(h.amapValid);
    w.u8(0);
    w.u16(0);
    if (layout.unicode)
        w.u32(0); // dwAlign
    w.fill(128, 0xFF); // rgbFM (deprecated, all 0xFF)
    w.fill(128, 0xFF); // rgbFP (deprecated, all 0xFF)
    w.u8(0x80); // bSentinel
    w.u8(h.cryptMethod);
    w.u16(0); // rgbReserved
    if (layout.unicode) {
        w.u64(h.bidNextB);
        w.u32(0); // dwCRCFull, below
    } else {
        w.u64(0); // ullReserved
        w.u32(0); // dwReserved
    }
    w.zeros(3); // rgbReserved2
    w.u8(0); // bReserved
    w.zeros(32); // rgbReserved3
    if (b.size() != layout.headerSize)
        throw Error(ErrorKind::Internal, "serialize header", "HEADER", std::to_string(layout.headerSize) + " bytes",
            std::to_string(b.size()) + " bytes");
    storeLe(b.data() + 4, crc32(b.data() + 8, 471), 4); // dwCRCPartial over wMagicClient..
    if (layout.unicode)
        storeLe(b.data() + 524, crc32(b.data() + 8, 516), 4); // dwCRCFull
    return b;
}

void NodeDatabase::writeHeader(const HeaderState& state)
{
    HeaderFields h;
    h.bidNextB = bidNextB_;
    h.bidNextP = bidNextP_;
    h.dwUnique = ++dwUnique_;
    h.rgnid = rgnid_;
    h.ibFileEof = alloc_.fileSize();
    h.ibAMapLast = alloc_.lastAMapOffset();
    h.cbAMapFree = alloc_.freeBytesOnDisk();
    h.cbPMapFree = 0; // the PMaps offer no pages
    h.nbt = state.nbt;
    h.bbt = state.bbt;
    h.amapValid = state.amapValid;
    const ByteVector b = serializeHeader(layout_, h);
    sink_->writeAt(0, b.data(), b.size());
}

void NodeDatabase::writeMapsAndHeader(const HeaderState& state)
{
    if (published_) // the AMaps change now: readers must not trust them until the new header
        writeHeader(HeaderState { committed_.nbt, committed_.bbt, kAMapInvalid });
    alloc_.writeMapPages(*sink_, [this] { return nextPageBid(); });
    sink_->sync();
    writeHeader(state);
    sink_->sync();
}

void NodeDatabase::commit()
{
    if (!changed_)
        return;
    // Only changed pages are written, each to a new place; the pages they replace (and the
    // blocks released since the last commit) stay until the new header is written.
    const unsigned w = layout_.idWidth;
    auto freeOld = [this](std::uint64_t ib) { alloc_.freeAfterCommit(ib, kPageSize); };
    std::vector<std::uint8_t> buf(layout_.btEntryArea);
    auto writeIndex = [&](PageType type, const auto& page) {
        for (std::size_t i = 0; i < page.size(); ++i) { // BTENTRY: btkey, BREF (bid, ib)
            std::uint8_t* e = buf.data() + i * layout_.btEntrySize;
            storeLe(e, page.keys[i], w);
            storeLe(e + w, page.children[i]->disk.bid, w);
            storeLe(e + 2 * w, page.children[i]->disk.ib, w);
        }
        return writePage(type, buf.data(), static_cast<unsigned>(page.size()), layout_.btEntrySize, page.level);
    };
    const Bref bbtRoot = trees_->bbt.write(
        [&](const CowBTree<BlockEntry>::Page& page) {
            if (page.level > 0)
                return writeIndex(kPtypeBbt, page);
            for (std::size_t i = 0; i < page.size(); ++i) { // BBTENTRY: BREF, cb, cRef, [dwPadding]
                std::uint8_t* e = buf.data() + i * layout_.bbtEntrySize;
                storeLe(e, page.keys[i], w);
                storeLe(e + w, page.values[i].ib, w);
                storeLe(e + 2 * w, page.values[i].cb, 2);
                storeLe(e + 2 * w + 2, page.values[i].cref, 2);
                if (layout_.unicode)
                    storeLe(e + 2 * w + 4, 0, 4);
            }
            return writePage(kPtypeBbt, buf.data(), static_cast<unsigned>(page.size()), layout_.bbtEntrySize, 0);
        },
        freeOld);
    const Bref nbtRoot = trees_->nbt.write(
        [&](const CowBTree<NodeEntry>::Page& page) {
            if (page.level > 0)
                return writeIndex(kPtypeNbt, page);
            for (std::size_t i = 0; i < page.size(); ++i) { // NBTENTRY: nid, bidData, bidSub, nidParent, [dwPadding]
                std::uint8_t* e = buf.data() + i * layout_.nbtEntrySize;
                storeLe(e, page.keys[i], w);
                storeLe(e + w, page.values[i].bidData, w);
                storeLe(e + 2 * w, page.values[i].bidSub, w);
                storeLe(e + 3 * w, page.values[i].nidParent, 4);
                if (layout_.unicode)
                    storeLe(e + 3 * w + 4, 0, 4);
            }
            return writePage(kPtypeNbt, buf.data(), static_cast<unsigned>(page.size()), layout_.nbtEntrySize, 0);
        },
        freeOld);

    const HeaderState next { nbtRoot, bbtRoot, kAMapValid2 };
    writeMapsAndHeader(next);
    committed_ = next;
    changed_ = false;
    // Now nothing on disk reaches the freed space: give it back, and write exact maps again.
    if (alloc_.releasePending())
        writeMapsAndHeader(next);
}

} // namespace pst::ndb
