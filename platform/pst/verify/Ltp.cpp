// LTP layer checks: heap-on-node ([MS-PST] 2.3.1), BTree-on-heap (2.3.2), property contexts
// (2.3.3) and table contexts (2.3.4).
#include "verify/Checker.h"

#include <algorithm>
#include <cstring>

namespace pst::verifier {

namespace {

    std::string num(std::uint64_t v) { return std::to_string(v); }

    constexpr std::size_t kMaxHeapBytes = 512u << 20;
    constexpr unsigned kMaxBthLevels = 8;
    constexpr std::uint32_t kHidFirst = 0x20; // block 0, allocation 1

    std::string hidName(std::uint32_t hid) { return "HID " + hex(hid); }

} // namespace

bool knownType(std::uint16_t t)
{
    switch (t & 0x0FFF) {
    case 0x0002:
    case 0x0003:
    case 0x0004:
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x000A:
    case 0x000B:
    case 0x000D:
    case 0x0014:
    case 0x001E:
    case 0x001F:
    case 0x0040:
    case 0x0048:
    case 0x00FB:
    case 0x00FD:
    case 0x00FE:
    case 0x0102:
    case 0x0000:
    case 0x0001:
        return (t & 0xF000) == 0 || (t & 0xF000) == 0x1000;
    default:
        return false;
    }
}

int fixedSize(std::uint16_t t)
{
    switch (t) {
    case 0x0002:
        return 2;
    case 0x0003:
    case 0x0004:
    case 0x000A:
        return 4;
    case 0x000B:
        return 1;
    case 0x0005:
    case 0x0006:
    case 0x0007:
    case 0x0014:
    case 0x0040:
        return 8;
    case 0x0048:
        return 16;
    default:
        return 0;
    }
}

bool Heap::valid(std::uint32_t hid) const
{
    if ((hid & 0x1F) != 0)
        return false;
    const std::uint32_t index = (hid >> 5) & 0x7FF, blockIndex = hid >> 16;
    return blockIndex < allocs.size() && index >= 1 && index < allocs[blockIndex].size();
}

View Heap::get(std::uint32_t hid) const
{
    if (!valid(hid))
        return {};
    const std::uint32_t index = (hid >> 5) & 0x7FF, blockIndex = hid >> 16;
    const auto& a = allocs[blockIndex];
    const std::uint16_t begin = a[index - 1], end = a[index];
    View b = viewOf(blocks[blockIndex]);
    View v = b.sub(begin, end - begin);
    return v.p ? v : View { b.p, 0 };
}

const SubEntry* NodeCtx::sub(std::uint64_t nid) const
{
    auto it
        = std::lower_bound(subs.begin(), subs.end(), nid, [](const SubEntry& s, std::uint64_t k) { return s.nid < k; });
    return it != subs.end() && it->nid == nid ? &*it : nullptr;
}

const Column* Table::col(std::uint32_t tag) const
{
    for (const Column& c : cols)
        if (c.tag == tag)
            return &c;
    return nullptr;
}

const Prop* Checker::Object::prop(std::uint16_t id) const
{
    auto it = std::lower_bound(props.begin(), props.end(), id, [](const Prop& p, std::uint16_t k) { return p.id < k; });
    return it != props.end() && it->id == id ? &*it : nullptr;
}

// HNHDR (2.3.1.2), HNPAGEHDR (2.3.1.3), HNBITMAPHDR (2.3.1.4) and HNPAGEMAP (2.3.1.5) of
// every block of the node's data.
bool Checker::loadHeap(std::uint64_t bidData, const NodeCtx& ctx, Heap& heap)
{
    std::vector<Leaf> leaves;
    if (!dataTree(bidData, ctx.where, &leaves, false))
        return false;
    std::size_t total = 0;
    for (const Leaf& l : leaves)
        total += l.cb;
    if (leaves.size() > 0xFFFF || total > kMaxHeapBytes || total > fileSize_) {
        add("HN_PAGE_MAP", ctx.where, "a heap of at most 65,535 blocks", num(leaves.size()) + " blocks");
        return false;
    }
    heap.blocks.resize(leaves.size());
    heap.allocs.resize(leaves.size());
    for (std::size_t i = 0; i < leaves.size(); ++i) {
        const std::string bw = ctx.where + " heap block " + num(i);
        if (!readBlock(leaves[i].bid, heap.blocks[i], true)) {
            add("BLOCK_OUTSIDE_FILE", bw, "a readable block " + hex(leaves[i].bid), "unreadable");
            return false;
        }
        View b = viewOf(heap.blocks[i]);
        std::size_t headerSize;
        if (i == 0) {
            headerSize = 12;
            if (b.u8(2) != 0xEC) {
                add("HN_SIG", bw, "bSig 0xEC", hex(b.u8(2)));
                return false;
            }
            heap.clientSig = b.u8(3);
            heap.userRoot = b.u32(4);
        } else
            headerSize = (i >= 8 && (i - 8) % 128 == 0) ? 66 : 2;
        if (b.n < headerSize) {
            add("HN_PAGE_MAP", bw, "a block of at least " + num(headerSize) + " bytes", num(b.n));
            return false;
        }
        const std::uint16_t ibHnpm = b.u16(0);
        const std::uint16_t cAlloc = b.u16(ibHnpm), cFree = b.u16(ibHnpm + 2);
        if (ibHnpm < headerSize || !b.has(ibHnpm, 4) || !b.has(ibHnpm + 4, (std::size_t(cAlloc) + 1) * 2)) {
            add("HN_PAGE_MAP", bw, "an HNPAGEMAP inside the block after its header",
                "ibHnpm " + num(ibHnpm) + ", cAlloc " + num(cAlloc));
            return false;
        }
        auto& a = heap.allocs[i];
        a.resize(std::size_t(cAlloc) + 1);
        unsigned empty = 0;
        bool ordered = true;
        for (std::size_t k = 0; k <= cAlloc; ++k) {
            a[k] = b.u16(ibHnpm + 4 + 2 * k);
            if (k == 0) {
                if (a[0] != headerSize) {
                    add("HN_ALLOC_ORDER", bw, "first allocation at " + num(headerSize), num(a[0]));
                    ordered = false;
                }
                continue;
            }
            if (a[k] < a[k - 1] || a[k] > ibHnpm) {
                add("HN_ALLOC_ORDER", bw + " allocation " + num(k), "ascending offsets up to " + num(ibHnpm),
                    num(a[k - 1]) + " then " + num(a[k]));
                ordered = false;
                break;
            }
            if (a[k] == a[k - 1]) {
                ++empty; // a freed allocation; one that a value names is HN_EMPTY_ALLOC
            } else if (a[k] - a[k - 1] > 3580)
                add("HN_ALLOC_SIZE", ctx.where + " " + hidName(static_cast<std::uint32_t>((i << 16) | (k << 5))),
                    "at most 3580 bytes", num(a[k] - a[k - 1]));
        }
        if (!ordered) {
            a.assign(1, static_cast<std::uint16_t>(headerSize)); // no usable allocations
            continue;
        }
        if (cFree != empty)
            add("HN_FREE_COUNT", bw, num(empty) + " (zero-length allocations)", num(cFree));
    }
    return true;
}

bool Checker::hnidResolves(const Heap& heap, const NodeCtx& ctx, std::uint32_t hnid) const
{
    if (hnid == 0)
        return true;
    if ((hnid & 0x1F) == 0)
        return heap.valid(hnid);
    return ctx.sub(hnid) != nullptr;
}

bool Checker::emptyAllocation(const Heap& heap, std::uint32_t hnid) const
{
    return hnid != 0 && (hnid & 0x1F) == 0 && heap.valid(hnid) && heap.get(hnid).n == 0;
}

bool Checker::valueBytes(
    const Heap& heap, const NodeCtx& ctx, std::uint32_t hnid, std::vector<std::uint8_t>& out, std::size_t limit)
{
    out.clear();
    if (hnid == 0)
        return true;
    if ((hnid & 0x1F) == 0) {
        View v = heap.get(hnid);
        if (!heap.valid(hnid))
            return false;
        out.assign(v.p, v.p + v.n);
        return true;
    }
    const SubEntry* s = ctx.sub(hnid);
    if (!s)
        return false;
    std::vector<Leaf> leaves;
    if (!dataTree(s->bidData, ctx.where, &leaves, false))
        return false;
    std::size_t total = 0;
    for (const Leaf& l : leaves)
        total += l.cb;
    if (total > limit)
        return false;
    std::vector<std::uint8_t> b;
    for (const Leaf& l : leaves) {
        if (!readBlock(l.bid, b, true))
            return false;
        out.insert(out.end(), b.begin(), b.end());
    }
    return true;
}

// BTHHEADER (2.3.2.1) and its index (2.3.2.2) and leaf (2.3.2.3) records.
bool Checker::readBth(const Heap& heap, std::uint32_t hid, const NodeCtx& ctx, unsigned cbKey,
    std::vector<unsigned> cbEnts, std::vector<std::pair<std::uint64_t, View>>& records, unsigned* cbEntOut)
{
    const std::string where = ctx.where + " BTH " + hex(hid);
    View h = heap.get(hid);
    if (!heap.valid(hid)) {
        add("HN_HID", where, "an allocated HID", hidName(hid));
        return false;
    }
    if (h.n < 8 || h.u8(0) != 0xB5) {
        add("BTH_TYPE", where, "bType 0xB5 in 8 bytes", h.n < 8 ? num(h.n) + " bytes" : hex(h.u8(0)));
        return false;
    }
    const unsigned key = h.u8(1), ent = h.u8(2), levels = h.u8(3);
    const std::uint32_t root = h.u32(4);
    if (key != cbKey || std::find(cbEnts.begin(), cbEnts.end(), ent) == cbEnts.end()) {
        add("BTH_KEY_SIZE", where, "cbKey " + num(cbKey) + ", cbEnt " + num(cbEnts.front()),
            "cbKey " + num(key) + ", cbEnt " + num(ent));
        return false;
    }
    if (cbEntOut)
        *cbEntOut = ent;
    if (levels > kMaxBthLevels) {
        add("BTH_LEVELS", where, "at most " + num(kMaxBthLevels) + " index levels", num(levels));
        return false;
    }
    if (root == 0)
        return true;
    std::unordered_set<std::uint32_t> seen;
    std::optional<std::uint64_t> last;
    bool ok = true;
    std::function<void(std::uint32_t, unsigned, std::optional<std::uint64_t>)> walk =
        [&](std::uint32_t node, unsigned level, std::optional<std::uint64_t> first) {
            View r = heap.get(node);
            if (!heap.valid(node)) {
                add("HN_HID", where, "an allocated HID for a BTH record block", hidName(node));
                ok = false;
                return;
            }
            if (!seen.insert(node).second) {
                add("BTH_LEVELS", where, "each record block reached once", hidName(node) + " again");
                ok = false;
                return;
            }
            const unsigned size = level > 0 ? key + 4 : key + ent;
            if (r.n % size != 0 || r.n == 0) {
                add("BTH_RECORD_SIZE", where + " " + hidName(node), "a multiple of " + num(size) + " bytes", num(r.n));
                ok = false;
                return;
            }
            for (std::size_t i = 0; i < r.n / size; ++i) {
                const std::uint64_t k = r.le(i * size, std::min(key, 8u));
                if (i == 0 && first && k != *first) {
                    add("BTH_INDEX_KEY", where + " " + hidName(node), hex(*first) + " (the index record's key)",
                        hex(k));
                    ok = false;
                }
                if (last && k <= *last) {
                    add("BTH_ORDER", where + " " + hidName(node), "a key above " + hex(*last), hex(k));
                    ok = false;
                }
                if (level > 0) {
                    walk(r.u32(i * size + key), level - 1, k);
                    continue;
                }
                last = k;
                if (records.size() < (fileSize_ / 2))
                    records.emplace_back(k, r.sub(i * size + key, ent));
            }
        };
    walk(root, levels, std::nullopt);
    return ok;
}

// PC, [MS-PST] 2.3.3: the BTH of hidUserRoot with 2-byte keys and 6-byte records, and every
// value's HNID.
bool Checker::readPc(const Heap& heap, const NodeCtx& ctx, std::vector<Prop>& props)
{
    if (heap.userRoot != kHidFirst)
        add("BTH_NOT_FIRST", ctx.where, "the PC's BTH header at " + hex(kHidFirst) + " (first allocation)",
            hex(heap.userRoot));
    std::vector<std::pair<std::uint64_t, View>> records;
    if (!readBth(heap, heap.userRoot, ctx, 2, { 6 }, records))
        return false;
    std::vector<std::uint8_t> value;
    for (const auto& [key, rec] : records) {
        Prop p { static_cast<std::uint16_t>(key), rec.u16(0), rec.u32(2) };
        props.push_back(p);
        const std::string where = ctx.where + " property " + hex((std::uint32_t(p.id) << 16) | p.type);
        if (!knownType(p.type)) {
            add("PC_TYPE", where, "a known property type", hex(p.type));
            continue;
        }
        const int fixed = fixedSize(p.type);
        if (fixed > 0 && fixed <= 4)
            continue; // inline in dwValueHnid
        if (fixed > 4) {
            View v = heap.get(p.hnid);
            if ((p.hnid & 0x1F) != 0 || !heap.valid(p.hnid))
                add("PC_HNID", where, "a HID of " + num(fixed) + " bytes", hex(p.hnid));
            else if (v.n != static_cast<std::size_t>(fixed))
                add("PC_VALUE_SIZE", where, num(fixed) + " bytes", num(v.n));
            continue;
        }
        if (!hnidResolves(heap, ctx, p.hnid)) {
            add("PC_HNID", where, "a HID in the heap or a NID in the subnodes", hex(p.hnid));
            continue;
        }
        if (emptyAllocation(heap, p.hnid))
            add("HN_EMPTY_ALLOC", where + " " + hidName(p.hnid),
                "an allocation of at least one byte (an empty value is HNID 0)", "0 bytes");
        if (p.hnid == 0 || (p.hnid & 0x1F) != 0)
            continue; // large values in subnodes: their data trees were checked
        View v = heap.get(p.hnid);
        const std::uint16_t base = p.type & 0x0FFF;
        if (p.type == 0x001F && v.n % 2)
            add("PC_VALUE_SIZE", where, "an even number of bytes (UTF-16LE)", num(v.n));
        else if (p.type == 0x000D) {
            // PtypObject: NID of the subnode, then the size of its data.
            if (v.n != 8 || !ctx.sub(v.u32(0)))
                add("PC_HNID", where, "an object's subnode NID and size (8 bytes)",
                    v.n == 8 ? "NID " + hex(v.u32(0)) + " not among the subnodes" : num(v.n) + " bytes");
        } else if (p.type & 0x1000) {
            const int elem = fixedSize(base);
            if (elem > 0) {
                if (v.n % static_cast<std::size_t>(elem))
                    add("PC_MV", where, "a multiple of " + num(elem) + " bytes", num(v.n));
            } else if (v.n > 0) {
                // ulCount, rgulDataOffsets[ulCount], then the values in order.
                const std::uint32_t count = v.u32(0);
                if (v.n < 4 || count > (v.n - 4) / 4) {
                    add("PC_MV", where, "ulCount offsets inside " + num(v.n) + " bytes", num(count));
                    continue;
                }
                std::uint32_t prev = 4 + 4 * count;
                for (std::uint32_t i = 0; i < count; ++i) {
                    const std::uint32_t off = v.u32(4 + 4 * i);
                    if (off < prev || off > v.n || (i == 0 && off != 4 + 4 * count)) {
                        add("PC_MV", where + " value " + num(i), "an offset from " + num(prev) + " up to " + num(v.n),
                            num(off));
                        break;
                    }
                    prev = off;
                }
            }
        }
    }
    std::sort(props.begin(), props.end(), [](const Prop& a, const Prop& b) { return a.id < b.id; });
    return true;
}

bool Checker::cellPresent(const Table& t, View row, const Column& c) const
{
    const std::size_t ceb = t.rowSize - (t.cols.size() + 7) / 8;
    return row.u8(ceb + c.bit / 8) & (0x80 >> (c.bit % 8));
}

// TC, [MS-PST] 2.3.4: TCINFO, TCOLDESCs, the row index and the row matrix; onRow sees every row.
bool Checker::readTc(const Heap& heap, const NodeCtx& ctx, Table& t, const RowFn& onRow)
{
    const std::string& where = ctx.where;
    View info = heap.get(heap.userRoot);
    if (!heap.valid(heap.userRoot) || info.n < 22 || info.u8(0) != 0x7C) {
        add("TC_INFO", where, "a TCINFO (bType 0x7C) at hidUserRoot", hidName(heap.userRoot));
        return false;
    }
    const unsigned cCols = info.u8(1);
    std::uint16_t rgib[4];
    for (int i = 0; i < 4; ++i)
        rgib[i] = info.u16(2 + 2 * i);
    const std::uint32_t hidRowIndex = info.u32(10), hnidRows = info.u32(14);
    if (info.n != 22 + 8 * std::size_t(cCols)) {
        add("TC_INFO", where, num(22 + 8 * cCols) + " bytes for " + num(cCols) + " columns", num(info.n));
        return false;
    }
    bool colsOk = true;
    auto colBad = [&](std::string w, std::string e, std::string a) {
        add("TC_COLUMNS", where + " " + w, std::move(e), std::move(a));
        colsOk = false;
    };
    if (!(rgib[0] <= rgib[1] && rgib[1] <= rgib[2] && rgib[2] <= rgib[3]) || rgib[3] != rgib[2] + (cCols + 7) / 8)
        colBad("rgib", "ascending TCI_4b, TCI_2b, TCI_1b, TCI_bm with TCI_bm = TCI_1b + " + num((cCols + 7) / 8),
            num(rgib[0]) + ", " + num(rgib[1]) + ", " + num(rgib[2]) + ", " + num(rgib[3]));
    std::vector<bool> bits(cCols, false);
    for (unsigned i = 0; i < cCols; ++i) {
        // TCOLDESC: tag, ibData, cbData, iBit.
        Column c { info.u32(22 + 8 * i), info.u16(26 + 8 * i), info.u8(28 + 8 * i), info.u8(29 + 8 * i) };
        const std::string cw = "column " + hex(c.tag);
        const std::uint16_t type = c.tag & 0xFFFF;
        if (!t.cols.empty() && c.tag <= t.cols.back().tag)
            colBad(cw, "columns in ascending tag order", "after " + hex(t.cols.back().tag));
        const int fixed = fixedSize(type);
        const unsigned want = (fixed > 0 && fixed <= 8) ? static_cast<unsigned>(fixed) : 4;
        if (!knownType(type))
            colBad(cw, "a known property type", hex(type));
        else if (c.cb != want && !(type == 0x0048 && c.cb == 16))
            colBad(cw, "cbData " + num(want), num(c.cb));
        const unsigned lo = c.cb >= 4 ? 0 : c.cb == 2 ? rgib[0] : rgib[1];
        const unsigned hi = c.cb >= 4 ? rgib[0] : c.cb == 2 ? rgib[1] : rgib[2];
        if (c.ib < lo || c.ib + c.cb > hi)
            colBad(cw, "ibData in " + num(lo) + ".." + num(hi) + " for its width", num(c.ib));
        if (c.bit >= cCols || bits[c.bit])
            colBad(cw, "a unique iBit below " + num(cCols), num(c.bit));
        else
            bits[c.bit] = true;
        t.cols.push_back(c);
    }
    {
        std::vector<Column> byIb = t.cols;
        std::sort(byIb.begin(), byIb.end(), [](const Column& a, const Column& b) { return a.ib < b.ib; });
        for (std::size_t i = 1; i < byIb.size(); ++i)
            if (byIb[i].ib < byIb[i - 1].ib + byIb[i - 1].cb)
                colBad("column " + hex(byIb[i].tag), "no overlap with column " + hex(byIb[i - 1].tag), "overlaps");
        const Column* id = t.col(0x67F20003);
        const Column* ver = t.col(0x67F30003);
        if (!id || id->ib != 0 || id->cb != 4 || !ver || ver->ib != 4)
            colBad("PidTagLtpRowId/PidTagLtpRowVer", "columns at offsets 0 and 4", "missing or elsewhere");
    }
    if (!colsOk)
        return false;
    t.rowSize = rgib[3];

    // Row index: TCROWID records, dwRowID -> dwRowIndex.
    if (hidRowIndex != kHidFirst)
        add("TC_NOT_FIRST", where, "the row index BTH header at " + hex(kHidFirst) + " (first allocation)",
            hex(hidRowIndex));
    std::vector<std::pair<std::uint64_t, View>> index;
    if (!readBth(heap, hidRowIndex, ctx, 4, { g_.rowIndexEnt }, index))
        return false;

    // Row matrix: in the heap or in a subnode's data tree, whole rows per block.
    std::uint64_t totalBytes = 0;
    std::vector<Leaf> leaves;
    if (hnidRows != 0) {
        if ((hnidRows & 0x1F) == 0) {
            if (!heap.valid(hnidRows)) {
                add("TC_ROW_MATRIX", where, "an allocated HID for the row matrix", hidName(hnidRows));
                return false;
            }
            totalBytes = heap.get(hnidRows).n;
        } else {
            const SubEntry* s = ctx.sub(hnidRows);
            if (!s || !dataTree(s->bidData, where, &leaves, false)) {
                add("TC_ROW_MATRIX", where, "the row matrix subnode " + hex(hnidRows), "missing or unreadable");
                return false;
            }
            // [MS-PST] 2.3.4.4: whole rows per block, every block but the last full (8 KB with
            // its trailer, the rest after the last whole row unused).
            const std::size_t perBlock = t.rowSize ? g_.maxBlockData / t.rowSize : 0;
            for (std::size_t i = 0; i < leaves.size(); ++i) {
                const bool last = i + 1 == leaves.size();
                if (!last && leaves[i].cb != g_.maxBlockData)
                    add("TC_ROW_MATRIX", where + " row block " + num(i),
                        "a full block of " + num(g_.maxBlockData) + " bytes (" + num(perBlock) + " rows)",
                        num(leaves[i].cb) + " bytes");
                totalBytes += last ? leaves[i].cb : perBlock * t.rowSize;
            }
        }
    }
    if (t.rowSize == 0 || totalBytes % t.rowSize) {
        add("TC_ROW_MATRIX", where, "a multiple of the row size " + num(t.rowSize), num(totalBytes) + " bytes");
        return false;
    }
    t.rows = static_cast<std::uint32_t>(totalBytes / t.rowSize);
    if (index.size() != t.rows)
        add("TC_ROW_COUNT", where, num(t.rows) + " rows in the row matrix", num(index.size()) + " in the row index");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> idx; // row ID -> row index (sorted by ID)
    idx.reserve(index.size());
    for (const auto& [key, rec] : index)
        idx.emplace_back(static_cast<std::uint32_t>(key), static_cast<std::uint32_t>(rec.le(0, g_.rowIndexEnt)));

    std::uint32_t rowNo = 0;
    std::size_t cellFindings = 0;
    auto visit = [&](View data) {
        for (std::size_t off = 0; off + t.rowSize <= data.n && rowNo < t.rows; off += t.rowSize, ++rowNo) {
            View row = data.sub(off, t.rowSize);
            const std::uint32_t id = row.u32(0);
            auto it = std::lower_bound(
                idx.begin(), idx.end(), id, [](const auto& e, std::uint32_t k) { return e.first < k; });
            if (it == idx.end() || it->first != id || it->second != rowNo)
                add("TC_ROW_ID", where + " row " + num(rowNo),
                    "row ID " + hex(id) + " in the row index at " + num(rowNo),
                    it == idx.end() || it->first != id ? "absent" : "index " + num(it->second));
            for (const Column& c : t.cols) {
                const std::uint16_t type = c.tag & 0xFFFF;
                if (fixedSize(type) > 0 && fixedSize(type) <= 8)
                    continue;
                if (!cellPresent(t, row, c))
                    continue;
                const std::uint32_t hnid = row.u32(c.ib);
                if (!hnidResolves(heap, ctx, hnid) && ++cellFindings <= 20)
                    add("TC_CELL_HNID", where + " row " + num(rowNo) + " column " + hex(c.tag),
                        "a HID in the heap or a NID in the subnodes", hex(hnid));
                else if (emptyAllocation(heap, hnid) && ++cellFindings <= 20)
                    add("HN_EMPTY_ALLOC", where + " row " + num(rowNo) + " column " + hex(c.tag) + " " + hidName(hnid),
                        "an allocation of at least one byte (an empty value is HNID 0)", "0 bytes");
            }
            if (onRow)
                onRow(rowNo, row);
        }
    };
    if (hnidRows != 0 && (hnidRows & 0x1F) == 0)
        visit(heap.get(hnidRows));
    else {
        std::vector<std::uint8_t> b;
        for (const Leaf& l : leaves) {
            if (!readBlock(l.bid, b, true))
                break;
            visit(viewOf(b));
        }
    }
    return true;
}

// Reads a node (or subnode) as a PC or a TC: its subnodes, its heap, and for a PC its
// properties. TCs are read by the caller with readTc.
bool Checker::openObject(std::uint64_t nid, std::uint64_t bidData, std::uint64_t bidSub, const std::string& where,
    Object& obj, bool expectPc, std::uint8_t alsoAccepted)
{
    obj = Object {};
    obj.ctx.nid = nid;
    obj.ctx.where = where;
    if (ltpBudget_ == 0)
        return false;
    --ltpBudget_;
    if (bidSub && !subTree(bidSub, where, obj.ctx.subs, false))
        obj.ctx.subs.clear();
    if (!loadHeap(bidData, obj.ctx, obj.heap))
        return false;
    const std::uint8_t want = expectPc ? 0xBC : 0x7C;
    if (alsoAccepted && obj.heap.clientSig == alsoAccepted)
        return false; // a heap of another documented kind: not read further
    if (obj.heap.clientSig != want) {
        add("HN_CLIENT_SIG", where, hex(want) + (expectPc ? " (PC)" : " (TC)"), hex(obj.heap.clientSig));
        return false;
    }
    if (expectPc && !readPc(obj.heap, obj.ctx, obj.props))
        return false;
    obj.ok = true;
    return true;
}

} // namespace pst::verifier
