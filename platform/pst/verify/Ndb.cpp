// NDB layer checks: HEADER, the NBT and BBT pages, every block's trailer, data and subnode
// trees, reference counts, and the allocation maps ([MS-PST] 2.2).
#include "verify/Checker.h"
#include "verify/Codec.h"

#include <algorithm>
#include <cstring>
#include <utility>

namespace pst::verifier {

namespace {

    constexpr std::uint8_t kPtypeBbt = 0x80, kPtypeNbt = 0x81, kPtypeFMap = 0x82, kPtypePMap = 0x83, kPtypeAMap = 0x84,
                           kPtypeFPMap = 0x85, kPtypeDList = 0x86;
    constexpr int kMaxBTreeLevels = 8;
    constexpr int kMaxSubnodeNesting = 8;

    std::string num(std::uint64_t v) { return std::to_string(v); }

} // namespace

std::string hex(std::uint64_t v)
{
    char b[24];
    std::snprintf(b, sizeof b, "0x%llX", static_cast<unsigned long long>(v));
    return b;
}

Geometry Geometry::of(bool unicode)
{
    Geometry g;
    g.unicode = unicode;
    if (unicode)
        return g;
    g.w = 4;
    g.pageTrailer = 12;
    g.blockTrailer = 12;
    g.btArea = 496;
    g.nbtEntry = 16;
    g.bbtEntry = 12;
    g.btEntry = 12;
    g.maxBlockData = 8180;
    g.slEntry = 12;
    g.siEntry = 8;
    g.subHeader = 4;
    g.mapPad = 4;
    g.rowIndexEnt = 2;
    g.dlistEntries = 480;
    return g;
}

Checker::Checker(ByteSource& source, const VerifyOptions& options)
    : src_(source)
    , options_(options)
{
    fileSize_ = src_.size();
}

void Checker::add(std::string_view code, std::string where, std::string expected, std::string actual)
{
    ++report_.findingCount;
    if (options_.maxFindings == 0 || report_.findings.size() < options_.maxFindings)
        report_.findings.push_back({ std::string(code), std::move(where), std::move(expected), std::move(actual) });
}

void Checker::note(std::string_view code, std::string where, std::string expected, std::string actual)
{
    if (report_.notes.size() < 1000)
        report_.notes.push_back({ std::string(code), std::move(where), std::move(expected), std::move(actual) });
}

std::size_t Checker::read(std::uint64_t offset, std::uint8_t* out, std::size_t n)
{
    if (offset >= fileSize_)
        return 0;
    return src_.read(offset, out, n);
}

const BbtEntry* Checker::block(std::uint64_t bid) const
{
    const std::uint64_t key = bid & ~std::uint64_t(1);
    auto it = std::lower_bound(
        bbt_.begin(), bbt_.end(), key, [](const BbtEntry& e, std::uint64_t k) { return (e.bid & ~1ull) < k; });
    return it != bbt_.end() && (it->bid & ~1ull) == key ? &*it : nullptr;
}

BbtEntry* Checker::block(std::uint64_t bid) { return const_cast<BbtEntry*>(std::as_const(*this).block(bid)); }

const NbtEntry* Checker::node(std::uint64_t nid) const
{
    auto it
        = std::lower_bound(nbt_.begin(), nbt_.end(), nid, [](const NbtEntry& e, std::uint64_t k) { return e.nid < k; });
    return it != nbt_.end() && it->nid == nid ? &*it : nullptr;
}

bool Checker::readBlock(std::uint64_t bid, std::vector<std::uint8_t>& out, bool decode)
{
    const BbtEntry* e = block(bid);
    if (!e || e->cb > g_.maxBlockData || e->ib + e->cb > readEnd_)
        return false;
    out.resize(e->cb);
    if (read(e->ib, out.data(), e->cb) != e->cb)
        return false;
    if (decode && !(e->bid & 2)) {
        if (crypt_ == 1)
            decodePermute(out.data(), out.size());
        else if (crypt_ == 2)
            decodeCyclic(out.data(), out.size(), static_cast<std::uint32_t>(e->bid));
    }
    return true;
}

// HEADER, [MS-PST] 2.2.2.6. False when the file is not a PST at all.
bool Checker::readHeader()
{
    std::uint8_t buf[564] = {};
    const std::size_t got = read(0, buf, sizeof buf);
    View h { buf, got };
    if (got < 512 || std::memcmp(buf, "!BDN", 4) != 0 || h.u16(8) != 0x4D53) {
        add("HEADER_MAGIC", "offset 0", "!BDN and SM",
            got < 512 ? "a file of " + num(fileSize_) + " bytes" : "other bytes");
        return false;
    }
    const std::uint16_t ver = h.u16(10);
    if (ver == 14 || ver == 15)
        report_.format = Format::Ansi;
    else if (ver >= 23 && got >= 564)
        report_.format = Format::Unicode;
    else {
        add("HEADER_VERSION", "offset 10 (wVer)", "14, 15 (ANSI) or 23 and above (Unicode)", num(ver));
        return false;
    }
    const bool u = *report_.format == Format::Unicode;
    g_ = Geometry::of(u);
    if (crc32(buf + 8, 471) != h.u32(4))
        add("HEADER_CRC_PARTIAL", "offset 4 (dwCRCPartial)", hex(crc32(buf + 8, 471)), hex(h.u32(4)));
    std::size_t root, sentinel;
    if (u) {
        if (crc32(buf + 8, 516) != h.u32(524))
            add("HEADER_CRC_FULL", "offset 524 (dwCRCFull)", hex(crc32(buf + 8, 516)), hex(h.u32(524)));
        bidNextP_ = h.u64(32);
        bidNextB_ = h.u64(516);
        for (int i = 0; i < 32; ++i)
            rgnid_[i] = h.u32(44 + 4 * i);
        root = 180;
        sentinel = 512;
    } else {
        bidNextB_ = h.u32(24);
        bidNextP_ = h.u32(28);
        for (int i = 0; i < 32; ++i)
            rgnid_[i] = h.u32(36 + 4 * i);
        root = 164;
        sentinel = 460;
    }
    // ROOT, [MS-PST] 2.2.2.5: dwReserved, ibFileEof, ibAMapLast, cbAMapFree, cbPMapFree, BREFNBT,
    // BREFBBT, fAMapValid.
    const unsigned w = g_.w;
    eof_ = h.le(root + 4, w);
    amapLast_ = h.le(root + 4 + w, w);
    amapFree_ = h.le(root + 4 + 2 * w, w);
    nbtBid_ = h.le(root + 4 + 4 * w, w);
    nbtIb_ = h.le(root + 4 + 5 * w, w);
    bbtBid_ = h.le(root + 4 + 6 * w, w);
    bbtIb_ = h.le(root + 4 + 7 * w, w);
    amapValid_ = h.u8(root + 4 + 8 * w);
    crypt_ = h.u8(sentinel + 1);

    if (h.u8(sentinel) != 0x80)
        add("HEADER_SENTINEL", "offset " + num(sentinel) + " (bSentinel)", "0x80", hex(h.u8(sentinel)));
    if (crypt_ > 2)
        add("HEADER_CRYPT", "offset " + num(sentinel + 1) + " (bCryptMethod)", "0 (none), 1 (permute) or 2 (cyclic)",
            hex(crypt_));
    // rgbFM and rgbFP are deprecated: Outlook leaves zeros there and readers ignore them.
    if (fileSize_ < eof_)
        add("HEADER_EOF_SHORT", "ibFileEof", "a file of at least " + num(eof_) + " bytes", num(fileSize_) + " bytes");
    else if (fileSize_ > eof_)
        add("HEADER_EOF_LONG", "ibFileEof", "a file of " + num(eof_) + " bytes", num(fileSize_) + " bytes");
    readEnd_ = std::min(eof_, fileSize_);
    if (amapValid_ != 0x02 && amapValid_ != 0x01)
        add("HEADER_AMAP_VALID", "fAMapValid", "0x02 (VALID_AMAP2)", hex(amapValid_));
    return true;
}

bool Checker::checkPageTrailer(
    View page, std::uint64_t ib, std::uint8_t ptype, std::optional<std::uint64_t> bid, bool sigZero, const char* what)
{
    // PAGETRAILER, [MS-PST] 2.2.2.7.1. Unicode: ptype, ptypeRepeat, wSig, dwCRC, bid; ANSI:
    // ptype, ptypeRepeat, wSig, bid, dwCRC.
    const std::size_t t = kPage - g_.pageTrailer;
    const std::uint8_t type = page.u8(t), repeat = page.u8(t + 1);
    const std::uint16_t sig = page.u16(t + 2);
    std::uint32_t crc;
    std::uint64_t pbid;
    if (g_.unicode) {
        crc = page.u32(t + 4);
        pbid = page.u64(t + 8);
    } else {
        pbid = page.u32(t + 4);
        crc = page.u32(t + 8);
    }
    const std::string where = std::string(what) + " page at " + hex(ib);
    if (type != ptype || repeat != ptype) {
        add("PAGE_TYPE", where, hex(ptype) + " twice", hex(type) + " and " + hex(repeat));
        return false;
    }
    const std::uint32_t real = crc32(page.p, t);
    if (real != crc)
        add("PAGE_CRC", where, hex(real), hex(crc));
    const std::uint16_t wantSig = sigZero ? 0 : computeSig(ib, pbid);
    if (sig != wantSig)
        add("PAGE_SIG", where, hex(wantSig), hex(sig));
    if (bid && pbid != *bid)
        add("PAGE_BID", where, hex(*bid), hex(pbid));
    if (!sigZero && ptype != kPtypeDList) // the DList is transient, written outside the commit
        maxPageBid_ = std::max(maxPageBid_, pbid);
    return true;
}

void Checker::readBTrees()
{
    std::optional<std::uint64_t> last;
    walkBTree(true, nbtBid_, nbtIb_, -1, std::nullopt, 0, last, "NBT");
    last.reset();
    walkBTree(false, bbtBid_, bbtIb_, -1, std::nullopt, 0, last, "BBT");
    // Lookups need key order even where the file breaks it (the walk reported that).
    std::sort(nbt_.begin(), nbt_.end(), [](const NbtEntry& a, const NbtEntry& b) { return a.nid < b.nid; });
    std::sort(bbt_.begin(), bbt_.end(), [](const BbtEntry& a, const BbtEntry& b) { return a.bid < b.bid; });
    report_.nodes = nbt_.size();
    report_.blocks = bbt_.size();
}

// BTPAGE, [MS-PST] 2.2.2.7.7.1, with BTENTRY (2.2.2.7.7.2), BBTENTRY (2.2.2.7.7.3) and
// NBTENTRY (2.2.2.7.7.4).
void Checker::walkBTree(bool nbt, std::uint64_t bid, std::uint64_t ib, int level, std::optional<std::uint64_t> firstKey,
    int depth, std::optional<std::uint64_t>& lastKey, const std::string& path)
{
    const char* what = nbt ? "NBT" : "BBT";
    const std::string where = std::string(what) + " page " + hex(bid) + " at " + hex(ib);
    if (depth >= kMaxBTreeLevels) {
        add("BT_DEPTH", where, "at most 8 levels", "deeper");
        return;
    }
    if (ib % kPage != 0 || ib < kFirstAMap || ib + kPage > readEnd_) {
        add("PAGE_OUTSIDE_FILE", where, "a 512-byte aligned page inside the data section", hex(ib));
        return;
    }
    if (!pagesSeen_.insert(ib).second) {
        add("BT_CYCLE", where, "each page reached once", "reached again");
        return;
    }
    std::uint8_t buf[kPage];
    if (read(ib, buf, kPage) != kPage) {
        add("PAGE_OUTSIDE_FILE", where, "512 readable bytes", "fewer");
        return;
    }
    View page { buf, kPage };
    extents_.push_back({ ib, static_cast<std::uint32_t>(kPage), static_cast<std::uint8_t>(nbt ? 1 : 2), bid });
    if (!checkPageTrailer(page, ib, nbt ? kPtypeNbt : kPtypeBbt, bid, false, what))
        return;
    const unsigned area = g_.btArea;
    const unsigned cEnt = page.u8(area), cEntMax = page.u8(area + 1), cbEnt = page.u8(area + 2),
                   cLevel = page.u8(area + 3);
    if (level < 0) {
        if (cLevel >= static_cast<unsigned>(kMaxBTreeLevels)) {
            add("BT_LEVEL", where, "a root level below 8", num(cLevel));
            return;
        }
    } else if (cLevel != static_cast<unsigned>(level)) {
        add("BT_LEVEL", where, num(level), num(cLevel));
        return;
    }
    const unsigned wantEnt = cLevel > 0 ? g_.btEntry : (nbt ? g_.nbtEntry : g_.bbtEntry);
    if (cbEnt != wantEnt) {
        add("BT_ENTRY_SIZE", where, num(wantEnt), num(cbEnt));
        return;
    }
    if (cEntMax != area / wantEnt)
        add("BT_ENTRY_MAX", where, num(area / wantEnt), num(cEntMax));
    unsigned count = cEnt;
    if (cEnt > area / wantEnt) {
        add("BT_ENTRY_COUNT", where, "at most " + num(area / wantEnt), num(cEnt));
        count = area / wantEnt;
    }
    if (count == 0 && depth > 0)
        add("BT_EMPTY_PAGE", where, "entries in a page below the root", "none");
    const unsigned w = g_.w;
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t at = std::size_t(i) * wantEnt;
        const std::uint64_t key = page.le(at, w);
        if (i == 0 && firstKey && key != *firstKey)
            add("BT_INDEX_KEY", where, "first key " + hex(*firstKey) + " (the parent's entry)", hex(key));
        if (lastKey && key <= *lastKey)
            add("BT_KEY_ORDER", where + " entry " + num(i), "a key above " + hex(*lastKey), hex(key));
        if (cLevel > 0) {
            // The child's keys start at this entry's key and follow the previous child's last key.
            walkBTree(nbt, page.le(at + w, w), page.le(at + 2 * w, w), static_cast<int>(cLevel) - 1, key, depth + 1,
                lastKey, path);
            continue;
        }
        lastKey = key;
        if (nbt) {
            NbtEntry e;
            e.nid = key;
            e.bidData = page.le(at + w, w);
            e.bidSub = page.le(at + 2 * w, w);
            e.parent = page.u32(at + 3 * w);
            if (nbt_.size() < (fileSize_ / 8))
                nbt_.push_back(e);
        } else {
            BbtEntry e;
            e.bid = key;
            e.ib = page.le(at + w, w);
            e.cb = page.u16(at + 2 * w);
            e.cref = page.u16(at + 2 * w + 2);
            if (bbt_.size() < (fileSize_ / 8))
                bbt_.push_back(e);
        }
    }
}

// Every block in the BBT, read in file order in large runs: BLOCKTRAILER ([MS-PST]
// 2.2.2.8.1) and CRC; internal blocks also give the references of their children.
void Checker::checkBlocks()
{
    std::vector<std::uint32_t> order(bbt_.size());
    for (std::uint32_t i = 0; i < order.size(); ++i)
        order[i] = i;
    std::sort(order.begin(), order.end(), [&](std::uint32_t a, std::uint32_t b) { return bbt_[a].ib < bbt_[b].ib; });
    constexpr std::size_t kWindow = 4u << 20;
    std::vector<std::uint8_t> window(kWindow);
    std::uint64_t winStart = 0, winLen = 0;
    const unsigned tr = g_.blockTrailer;
    for (std::uint32_t idx : order) {
        BbtEntry& e = bbt_[idx];
        const std::string where = "block " + hex(e.bid) + " at " + hex(e.ib);
        if (e.cb > g_.maxBlockData) {
            add("BLOCK_TOO_LARGE", where, "at most " + num(g_.maxBlockData) + " bytes", num(e.cb));
            continue;
        }
        const std::uint64_t size = g_.blockSize(e.cb);
        if (e.ib % 64 != 0 || e.ib < kFirstAMap || e.ib > readEnd_ || size > readEnd_ - e.ib) {
            add("BLOCK_OUTSIDE_FILE", where, "a 64-byte aligned block inside the data section below " + hex(readEnd_),
                hex(e.ib) + " + " + num(size));
            continue;
        }
        extents_.push_back({ e.ib, static_cast<std::uint32_t>(size), 0, e.bid });
        if (e.ib < winStart || e.ib + size > winStart + winLen) {
            winStart = e.ib;
            winLen = read(winStart, window.data(),
                static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, readEnd_ - winStart)));
            if (e.ib + size > winStart + winLen) {
                add("BLOCK_OUTSIDE_FILE", where, "readable bytes", "a short read");
                continue;
            }
        }
        View b { window.data() + (e.ib - winStart), static_cast<std::size_t>(size) };
        const std::size_t t = size - tr;
        const std::uint16_t cb = b.u16(t), sig = b.u16(t + 2);
        std::uint32_t crc;
        std::uint64_t tbid;
        if (g_.unicode) {
            crc = b.u32(t + 4);
            tbid = b.u64(t + 8);
        } else {
            tbid = b.u32(t + 4);
            crc = b.u32(t + 8);
        }
        e.checked = true;
        bool good = true;
        if (cb != e.cb) {
            add("BLOCK_SIZE", where, num(e.cb) + " bytes (BBT)", num(cb) + " in the trailer");
            good = false;
        }
        if (tbid != e.bid) {
            add("BLOCK_BID", where, hex(e.bid), hex(tbid));
            good = false;
        }
        if (sig != computeSig(e.ib, e.bid)) {
            add("BLOCK_SIG", where, hex(computeSig(e.ib, e.bid)), hex(sig));
            good = false;
        }
        const std::uint32_t real = crc32(b.p, e.cb);
        if (real != crc) {
            add("BLOCK_CRC", where, hex(real), hex(crc));
            good = false;
        }
        e.good = good;
        if (e.bid & 2)
            countInternalRefs(e, b.sub(0, e.cb));
    }
}

void Checker::countInternalRefs(BbtEntry& e, View d)
{
    const unsigned w = g_.w;
    const std::uint8_t btype = d.u8(0);
    const std::uint16_t cEnt = d.u16(2);
    auto ref = [&](std::uint64_t bid) {
        if (BbtEntry* c = bid ? block(bid) : nullptr)
            ++c->refs;
    };
    if (btype == 0x01) { // XBLOCK / XXBLOCK: btype, cLevel, cEnt, lcbTotal, rgbid
        for (std::size_t i = 0; i < cEnt && d.has(8 + i * w, w); ++i)
            ref(d.le(8 + i * w, w));
    } else if (btype == 0x02) { // SLBLOCK / SIBLOCK
        const bool leaf = d.u8(1) == 0;
        const unsigned size = leaf ? g_.slEntry : g_.siEntry;
        for (std::size_t i = 0; i < cEnt && d.has(g_.subHeader + i * size, size); ++i) {
            const std::size_t at = g_.subHeader + i * size;
            ref(d.le(at + w, w));
            if (leaf)
                ref(d.le(at + 2 * w, w));
        }
    } else {
        add("BLOCK_TYPE", "block " + hex(e.bid), "an internal block (btype 0x01 or 0x02)", hex(btype));
    }
}

// XBLOCK and XXBLOCK, [MS-PST] 2.2.2.8.3.2.1 and 2.2.2.8.3.2.2.
bool Checker::dataTree(std::uint64_t bid, const std::string& where, std::vector<Leaf>* leaves, bool report)
{
    auto bad = [&](std::string_view code, std::string w, std::string e, std::string a) {
        if (report)
            add(code, std::move(w), std::move(e), std::move(a));
        return false;
    };
    const BbtEntry* root = block(bid);
    if (!root)
        return bad("BLOCK_MISSING", where, "data block " + hex(bid) + " in the BBT", "absent");
    if (!(root->bid & 2)) {
        if (leaves)
            leaves->push_back({ root->bid, root->cb });
        return true;
    }
    if (report && !checkedData_.insert(root->bid).second && !leaves)
        return true;
    std::vector<std::uint8_t> buf, buf2;
    const unsigned w = g_.w;
    const std::size_t maxEnt = (g_.maxBlockData - 8) / w;
    if (!readBlock(bid, buf, false))
        return bad("BLOCK_OUTSIDE_FILE", where, "readable block " + hex(bid), "unreadable");
    View x = viewOf(buf);
    const std::string xw = where + " data tree " + hex(bid);
    if (x.u8(0) != 0x01)
        return bad("DTREE_TYPE", xw, "btype 0x01", hex(x.u8(0)));
    const unsigned level = x.u8(1);
    const std::uint16_t cEnt = x.u16(2);
    const std::uint32_t total = x.u32(4);
    if (level != 1 && level != 2)
        return bad("DTREE_LEVEL", xw, "cLevel 1 or 2", num(level));
    if (cEnt > maxEnt || !x.has(8, std::size_t(cEnt) * w) || cEnt == 0)
        return bad(
            "DTREE_ENTRIES", xw, "1 to " + num(std::min<std::size_t>(maxEnt, (x.n - 8) / w)) + " entries", num(cEnt));
    std::uint64_t sum = 0;
    bool ok = true;
    for (std::size_t i = 0; i < cEnt; ++i) {
        const std::uint64_t cbid = x.le(8 + i * w, w);
        const BbtEntry* c = block(cbid);
        if (!c) {
            bad("BLOCK_MISSING", xw + " entry " + num(i), "block " + hex(cbid) + " in the BBT", "absent");
            ok = false;
            continue;
        }
        if (level == 1) {
            if (c->bid & 2) {
                bad("DTREE_LEVEL", xw + " entry " + num(i), "an external data block", "internal block " + hex(cbid));
                ok = false;
                continue;
            }
            sum += c->cb;
            if (leaves)
                leaves->push_back({ c->bid, c->cb });
        } else {
            if (!(c->bid & 2) || !readBlock(cbid, buf2, false) || buf2.size() < 8 || buf2[0] != 0x01 || buf2[1] != 1) {
                bad("DTREE_LEVEL", xw + " entry " + num(i), "an XBLOCK (cLevel 1)", "block " + hex(cbid));
                ok = false;
                continue;
            }
            View y = viewOf(buf2);
            sum += y.u32(4);
            if (!dataTree(cbid, where, leaves, report))
                ok = false;
        }
    }
    if (sum != total)
        return bad("DTREE_TOTAL", xw, num(sum) + " bytes (sum of its entries)", num(total) + " (lcbTotal)");
    return ok;
}

// SLBLOCK and SIBLOCK, [MS-PST] 2.2.2.8.3.3.1 and 2.2.2.8.3.3.2; entries come out in order.
std::uint64_t Checker::treeBytes(std::uint64_t bid)
{
    const BbtEntry* e = block(bid);
    if (!e)
        return 0;
    if (!(e->bid & 2))
        return e->cb;
    std::vector<std::uint8_t> buf;
    if (!readBlock(bid, buf, false))
        return 0;
    const View x = viewOf(buf);
    return x.u8(0) == 0x01 ? x.u32(4) : 0; // XBLOCK / XXBLOCK lcbTotal
}

std::uint64_t Checker::nodeBytes(std::uint64_t bidData, std::uint64_t bidSub, const std::string& where, int depth)
{
    std::uint64_t total = bidData ? treeBytes(bidData) : 0;
    std::vector<SubEntry> subs;
    if (bidSub && depth < 8 && subTree(bidSub, where, subs, false))
        for (const SubEntry& s : subs)
            total += nodeBytes(s.bidData, s.bidSub, where, depth + 1);
    return total;
}

bool Checker::subTree(std::uint64_t bid, const std::string& where, std::vector<SubEntry>& out, bool report)
{
    auto bad = [&](std::string_view code, std::string w, std::string e, std::string a) {
        if (report)
            add(code, std::move(w), std::move(e), std::move(a));
        return false;
    };
    const BbtEntry* root = block(bid);
    if (!root)
        return bad("BLOCK_MISSING", where, "subnode block " + hex(bid) + " in the BBT", "absent");
    std::vector<std::uint8_t> buf;
    if (!(root->bid & 2))
        return bad("STREE_TYPE", where + " subnode tree " + hex(bid), "an internal block", "an external block");
    if (!readBlock(bid, buf, false))
        return bad("BLOCK_OUTSIDE_FILE", where, "readable block " + hex(bid), "unreadable");
    View s = viewOf(buf);
    const std::string sw = where + " subnode tree " + hex(bid);
    if (s.u8(0) != 0x02)
        return bad("STREE_TYPE", sw, "btype 0x02", hex(s.u8(0)));
    const unsigned level = s.u8(1);
    const std::uint16_t cEnt = s.u16(2);
    const unsigned w = g_.w;
    if (level > 1)
        return bad("STREE_LEVEL", sw, "cLevel 0 (SLBLOCK) or 1 (SIBLOCK)", num(level));
    const unsigned size = level == 0 ? g_.slEntry : g_.siEntry;
    if (!s.has(g_.subHeader, std::size_t(cEnt) * size) || cEnt == 0)
        return bad("STREE_ENTRIES", sw, "1 to " + num((s.n - g_.subHeader) / size) + " entries", num(cEnt));
    bool ok = true;
    for (std::size_t i = 0; i < cEnt; ++i) {
        const std::size_t at = g_.subHeader + i * size;
        // The NID is 4 bytes; Unicode files widen the field to 8 and leave the rest undefined.
        const std::uint64_t nid = s.le(at, 4);
        if (!out.empty() && nid <= out.back().nid && (level == 0)) {
            bad("STREE_ORDER", sw + " entry " + num(i), "a NID above " + hex(out.back().nid), hex(nid));
            ok = false;
        }
        if (level == 0) {
            out.push_back({ nid, s.le(at + w, w), s.le(at + 2 * w, w) });
            continue;
        }
        const std::uint64_t cbid = s.le(at + w, w);
        std::vector<std::uint8_t> child;
        if (!readBlock(cbid, child, false) || child.size() < 4 || child[0] != 0x02 || child[1] != 0) {
            bad("STREE_LEVEL", sw + " entry " + num(i), "an SLBLOCK (cLevel 0)", "block " + hex(cbid));
            ok = false;
            continue;
        }
        const std::size_t before = out.size();
        if (!subTree(cbid, where, out, report))
            ok = false;
        if (out.size() > before && out[before].nid != nid) {
            bad("STREE_INDEX_KEY", sw + " entry " + num(i), hex(out[before].nid) + " (first NID of the child)",
                hex(nid));
            ok = false;
        }
        if (before > 0 && out.size() > before && out[before].nid <= out[before - 1].nid) {
            bad("STREE_ORDER", sw + " entry " + num(i), "a NID above " + hex(out[before - 1].nid),
                hex(out[before].nid));
            ok = false;
        }
    }
    return ok;
}

void Checker::checkSubnodeContents(const std::vector<SubEntry>& subs, const std::string& where, int depth)
{
    for (const SubEntry& s : subs) {
        const std::string sw = where + " subnode " + hex(s.nid);
        if (s.bidData)
            dataTree(s.bidData, sw, nullptr, true);
        if (s.bidSub) {
            if (depth + 1 >= kMaxSubnodeNesting) {
                add("STREE_LEVEL", sw, "at most 8 nested subnode trees", "deeper");
                continue;
            }
            if (!checkedSub_.insert(s.bidSub & ~1ull).second)
                continue;
            std::vector<SubEntry> inner;
            if (subTree(s.bidSub, sw, inner, true))
                checkSubnodeContents(inner, sw, depth + 1);
        }
    }
}

void Checker::checkNodes()
{
    for (const NbtEntry& n : nbt_) {
        const std::string where = "node " + hex(n.nid);
        if (n.bidData) // 0: a node without data (Outlook's empty search queues)
            dataTree(n.bidData, where, nullptr, true);
        if (n.bidSub && checkedSub_.insert(n.bidSub & ~1ull).second) {
            std::vector<SubEntry> subs;
            if (subTree(n.bidSub, where, subs, true))
                checkSubnodeContents(subs, where, 0);
        }
        if (BbtEntry* e = n.bidData ? block(n.bidData) : nullptr)
            ++e->refs;
        if (BbtEntry* e = n.bidSub ? block(n.bidSub) : nullptr)
            ++e->refs;
    }
}

// Reference counts, [MS-PST] 2.2.2.7.7.3: the BBT entry holds one reference itself, and every
// NBT entry, subnode entry and data-tree entry that names the block holds one more.
void Checker::checkRefCounts()
{
    for (const BbtEntry& e : bbt_)
        if (e.cref != e.refs + 1)
            add("BBT_REFCOUNT", "block " + hex(e.bid), num(e.refs + 1) + " (the BBT and " + num(e.refs) + " holders)",
                num(e.cref));
}

// AMap, PMap, FMap, FPMap pages at their fixed places ([MS-PST] 2.2.2.7.2 to 2.2.2.7.6) and
// the DList at 0x4200 (2.2.2.7.4).
void Checker::readMaps()
{
    if (readEnd_ <= kFirstAMap)
        return;
    regions_ = (eof_ - kFirstAMap + kRegion - 1) / kRegion;
    const std::uint64_t lastExpected = kFirstAMap + (regions_ - 1) * kRegion;
    if (amapLast_ != lastExpected)
        add("HEADER_AMAP_LAST", "ibAMapLast", hex(lastExpected), hex(amapLast_));
    const std::uint64_t readable = (readEnd_ - kFirstAMap + kRegion - 1) / kRegion;
    regions_ = std::min(regions_, readable);
    amap_.assign(regions_ * 496, 0);
    mapsUsable_ = amapValid_ != 0;
    std::uint8_t buf[kPage];
    auto mapPage = [&](std::uint64_t ib, std::uint8_t ptype, const char* what) -> bool {
        if (ib + kPage > readEnd_ || read(ib, buf, kPage) != kPage) {
            add("MAP_PAGE_MISSING", std::string(what) + " page at " + hex(ib), "a page inside the file",
                "past its end");
            return false;
        }
        extents_.push_back({ ib, static_cast<std::uint32_t>(kPage), 3, ib });
        return checkPageTrailer(View { buf, kPage }, ib, ptype, ib, true, what);
    };
    std::uint64_t free = 0;
    for (std::uint64_t r = 0; r < regions_; ++r) {
        const std::uint64_t base = kFirstAMap + r * kRegion;
        if (mapPage(base, kPtypeAMap, "AMap"))
            std::memcpy(&amap_[r * 496], buf + g_.mapPad, 496);
        else
            mapsUsable_ = false;
        for (std::size_t i = 0; i < 496; ++i)
            free += 8 - static_cast<unsigned>(__builtin_popcount(amap_[r * 496 + i]));
        if (r % 8 == 0)
            mapPage(base + kPage, kPtypePMap, "PMap");
        if (r >= 128 && (r - 128) % 496 == 0)
            mapPage(base + 2 * kPage, kPtypeFMap, "FMap");
        if (g_.unicode && r >= 8192 && (r - 8192) % 31744 == 0)
            mapPage(base + 3 * kPage, kPtypeFPMap, "FPMap");
    }
    free *= 64;
    if (mapsUsable_ && free != amapFree_)
        add("HEADER_AMAP_FREE", "cbAMapFree", num(free) + " (free in the AMaps)", num(amapFree_));

    // DLISTPAGE: bFlags, cEntDList, wPadding, ulCurrentPage, rgDListPageEnt, rgPadding, trailer.
    if (read(kDListOffset, buf, kPage) != kPage)
        return;
    View d { buf, kPage };
    const std::size_t t = kPage - g_.pageTrailer;
    if (std::all_of(buf, buf + kPage, [](std::uint8_t b) { return b == 0; }))
        return; // no DList: it is optional
    if (!checkPageTrailer(d, kDListOffset, kPtypeDList, std::nullopt, false, "DList"))
        return;
    (void)t;
    const unsigned count = d.u8(1);
    const unsigned maxCount = g_.dlistEntries / 4;
    if (count > maxCount)
        add("DLIST_ENTRY", "DList at 0x4200", "at most " + num(maxCount) + " entries", num(count));
    for (unsigned i = 0; i < std::min(count, maxCount); ++i) {
        const std::uint32_t ent = d.u32(8 + 4 * i);
        const std::uint32_t page = ent & 0xFFFFF, slots = ent >> 20;
        if (page >= regions_ || slots > 3968)
            add("DLIST_ENTRY", "DList at 0x4200 entry " + num(i),
                "an AMap page below " + num(regions_) + " with up to 3968 free slots",
                "page " + num(page) + ", " + num(slots) + " slots");
    }
}

// What the B-trees reach against what the AMaps mark: uncovered bytes, overlaps, leaks.
void Checker::checkAllocation()
{
    std::sort(extents_.begin(), extents_.end(), [](const Extent& a, const Extent& b) { return a.ib < b.ib; });
    auto name = [](const Extent& e) {
        static const char* kinds[] = { "block ", "NBT page ", "BBT page ", "map page " };
        return std::string(kinds[e.kind & 3]) + hex(e.id) + " at " + hex(e.ib);
    };
    for (std::size_t i = 1; i < extents_.size(); ++i) {
        const Extent& a = extents_[i - 1];
        const Extent& b = extents_[i];
        if (b.ib < a.ib + a.size)
            add("ALLOC_OVERLAP", name(b), "no overlap", "overlaps " + name(a));
    }
    if (!mapsUsable_ || regions_ == 0)
        return;
    std::vector<std::uint8_t> reach(amap_.size(), 0);
    auto bit = [](const std::vector<std::uint8_t>& m, std::uint64_t slot) -> bool {
        const std::uint64_t r = slot / 3968, s = slot % 3968;
        return m[r * 496 + s / 8] & (0x80 >> (s % 8));
    };
    const std::uint64_t slots = regions_ * 3968;
    std::size_t unmarked = 0;
    for (const Extent& e : extents_) {
        if (e.ib < kFirstAMap)
            continue;
        const std::uint64_t first = (e.ib - kFirstAMap) / 64;
        const std::uint64_t last = std::min<std::uint64_t>((e.ib + e.size - kFirstAMap + 63) / 64, slots);
        bool reported = false;
        for (std::uint64_t s = first; s < last; ++s) {
            reach[(s / 3968) * 496 + (s % 3968) / 8] |= static_cast<std::uint8_t>(0x80 >> (s % 8));
            if (!reported && !bit(amap_, s)) {
                if (++unmarked <= 100)
                    add("AMAP_UNMARKED", name(e), "allocated in the AMap",
                        "slot at " + hex(kFirstAMap + s * 64) + " free");
                reported = true;
            }
        }
    }
    // Allocated but reachable from nothing: reported as runs.
    std::uint64_t runStart = 0, runLen = 0;
    std::size_t runs = 0;
    // Outlook's own files hold such space (pages it reserves from the AMap eight at a time),
    // so it is counted in the report, not a finding.
    auto flush = [&] {
        if (runLen && ++runs <= 20)
            note("AMAP_LEAK", "offset " + hex(kFirstAMap + runStart * 64), "allocated space reachable from the B-trees",
                num(runLen * 64) + " bytes reachable from nothing");
        report_.leakedBytes += runLen * 64;
        runLen = 0;
    };
    for (std::uint64_t s = 0; s < slots; ++s) {
        const std::size_t byte = (s / 3968) * 496 + (s % 3968) / 8;
        if (amap_[byte] == reach[byte] && s % 8 == 0 && s + 8 <= slots) {
            if (amap_[byte] == 0xFF && reach[byte] == 0xFF) {
                flush();
                s += 7;
                continue;
            }
            if (amap_[byte] == 0) {
                flush();
                s += 7;
                continue;
            }
        }
        if (bit(amap_, s) && !bit(reach, s)) {
            if (!runLen)
                runStart = s;
            ++runLen;
        } else
            flush();
    }
    flush();
}

void Checker::checkHeaderCounters()
{
    std::uint64_t maxBid = 0;
    for (const BbtEntry& e : bbt_)
        maxBid = std::max<std::uint64_t>(maxBid, e.bid & ~3ull);
    if (!bbt_.empty() && bidNextB_ <= maxBid)
        add("HEADER_BID_NEXT_B", "bidNextB", "above " + hex(maxBid) + " (the highest block BID)", hex(bidNextB_));
    if (maxPageBid_ && bidNextP_ <= (maxPageBid_ & ~3ull))
        add("HEADER_BID_NEXT_P", "bidNextP", "above " + hex(maxPageBid_) + " (the highest page BID)", hex(bidNextP_));
    std::uint32_t maxIndex[32] = {};
    for (const NbtEntry& n : nbt_)
        maxIndex[n.nid & 0x1F]
            = std::max<std::uint32_t>(maxIndex[n.nid & 0x1F], static_cast<std::uint32_t>((n.nid & 0xFFFFFFFF) >> 5));
    for (int t = 0; t < 32; ++t)
        if (maxIndex[t] > rgnid_[t])
            add("HEADER_NID_COUNTER", "rgnid[" + hex(t) + "]",
                "at least " + hex(maxIndex[t]) + " (highest index in the NBT)", hex(rgnid_[t]));
}

// Mandatory nodes, [MS-PST] 2.7.1.
void Checker::checkMandatoryNodes()
{
    static const std::uint32_t kNids[]
        = { 0x21, 0x61, 0x122, 0x12D, 0x12E, 0x12F, 0x1E1, 0x201, 0x60D, 0x60E, 0x60F, 0x610, 0x671, 0x692 };
    for (std::uint32_t nid : kNids)
        if (!node(nid))
            add("NODE_MISSING", "node " + hex(nid), "present ([MS-PST] 2.7.1)", "absent");
    bool searchFolder = false;
    for (const NbtEntry& n : nbt_)
        searchFolder |= (n.nid & 0x1F) == 0x03;
    if (!searchFolder)
        add("NODE_MISSING", "search folder", "a search folder node (the spam search folder)", "none");
}

} // namespace pst::verifier
