#include "ltp/Contexts.h"

#include "ltp/BTreeOnHeap.h"
#include "ndb/NodeDatabase.h"
#include "pst/Error.h"

#include <algorithm>

namespace pst::ltp {

PropValue PropValue::int32(std::uint32_t v)
{
    PropValue p { kPtInt32, ByteVector(4) };
    ndb::storeLe(p.data.data(), v, 4);
    return p;
}

PropValue PropValue::boolean(bool v)
{
    return PropValue { kPtBoolean, ByteVector { static_cast<std::uint8_t>(v ? 1 : 0) } };
}

PropValue PropValue::int64(std::uint64_t v, std::uint16_t type)
{
    PropValue p { type, ByteVector(8) };
    ndb::storeLe(p.data.data(), v, 8);
    return p;
}

PropValue PropValue::binary(ByteVector v) { return PropValue { kPtBinary, std::move(v) }; }
PropValue PropValue::raw(std::uint16_t type, ByteVector v) { return PropValue { type, std::move(v) }; }

namespace {

    // Places a variable-size (or 8-byte) value: in the heap up to 3580 bytes, else in a subnode.
    // Returns the HNID.
    class ValueStore {
    public:
        ValueStore(ndb::NodeDatabase& ndb, HeapWriter& heap)
            : ndb_(ndb)
            , heap_(heap)
        {
        }
        std::uint32_t put(const ByteVector& data)
        {
            if (data.empty())
                return 0; // an empty value: HNID 0, as Outlook stores it
            if (data.size() <= ndb::kMaxHeapAllocation)
                return heap_.allocate(data);
            return putSubnode(ndb_.writeData(data.data(), data.size()), data.size());
        }
        std::uint32_t putSubnode(std::uint64_t bid, std::uint64_t bytes)
        {
            // Subnode NIDs are local to the node; NID_TYPE_LTP marks them as LTP values.
            const std::uint32_t nid = ndb::makeNid(ndb::kNidTypeLtp, ++nextIndex_);
            subnodes_.push_back(ndb::SubnodeEntry { nid, bid, 0 });
            subnodeBytes_ += bytes;
            return nid;
        }
        void addSubnodes(const std::vector<ndb::SubnodeEntry>& e, std::uint64_t bytes)
        {
            subnodes_.insert(subnodes_.end(), e.begin(), e.end());
            subnodeBytes_ += bytes;
        }
        std::uint64_t subnodeBytes() const { return subnodeBytes_; }
        NodeData finish(const std::vector<ByteVector>& heapBlocks)
        {
            NodeData out;
            out.bidData = ndb_.writeDataTree(heapBlocks);
            out.bidSub = ndb_.writeSubnodeTree(subnodes_);
            out.bytes = subnodeBytes_;
            for (const ByteVector& b : heapBlocks)
                out.bytes += b.size();
            return out;
        }

    private:
        ndb::NodeDatabase& ndb_;
        HeapWriter& heap_;
        std::vector<ndb::SubnodeEntry> subnodes_;
        std::uint64_t subnodeBytes_ = 0;
        std::uint32_t nextIndex_ = 0;
    };

} // namespace

NodeData writePropertyContext(ndb::NodeDatabase& ndb, const PropertyMap& props,
    const std::vector<ndb::SubnodeEntry>& extraSubnodes, std::uint64_t extraBytes, std::uint16_t sizeProperty)
{
    HeapWriter heap(ndb.layout(), kSigPropertyContext);
    const std::uint32_t hidBth = heap.reserve(8); // the BTHHEADER is the heap's first allocation
    ValueStore values(ndb, heap);
    // PC BTH records: key wPropId (2), data wPropType (2) + dwValueHnid (4).
    ByteVector records;
    ndb::ByteWriter w(records);
    std::size_t sizeRecord = records.max_size();
    for (const auto& [id, v] : props) {
        if (id == sizeProperty && v.type == kPtInt32)
            sizeRecord = records.size();
        const unsigned fixed = fixedSize(v.type);
        if (fixed && v.data.size() != fixed)
            throw Error(ErrorKind::Internal, "write property", "id " + std::to_string(id),
                std::to_string(fixed) + " bytes", std::to_string(v.data.size()) + " bytes");
        w.u16(id);
        w.u16(v.type);
        if (fixed && fixed <= 4) {
            std::uint8_t inl[4] = {};
            for (std::size_t i = 0; i < v.data.size() && i < 4; ++i)
                inl[i] = v.data[i];
            w.bytes(inl, 4);
        } else if (v.dataTree) {
            w.u32(values.putSubnode(v.dataTree, v.dataTreeSize));
        } else {
            w.u32(values.put(v.data));
        }
    }
    values.addSubnodes(extraSubnodes, extraBytes);
    if (sizeRecord < records.size()) {
        // The heap's size with the BTH does not depend on the records' values: measured on a copy.
        HeapWriter probe(heap);
        writeBTreeOnHeap(probe, 2, 6, records, hidBth);
        const std::uint64_t total = probe.byteSize() + values.subnodeBytes();
        ndb::storeLe(records.data() + sizeRecord + 4, std::min<std::uint64_t>(total, 0x7FFFFFFF), 4);
    }
    heap.setUserRoot(writeBTreeOnHeap(heap, 2, 6, records, hidBth));
    return values.finish(heap.finish());
}

RowLayout layoutRow(std::vector<std::uint32_t> columns)
{
    for (auto must : { kTagLtpRowVer, kTagLtpRowId })
        if (std::find(columns.begin(), columns.end(), must) == columns.end())
            columns.push_back(must);
    std::sort(columns.begin(), columns.end());
    columns.erase(std::unique(columns.begin(), columns.end()), columns.end());
    if (columns.size() > 255)
        throw Error(
            ErrorKind::LimitExceeded, "lay out table", "TCINFO", "at most 255 columns", std::to_string(columns.size()));
    auto width = [](std::uint32_t tag) -> unsigned {
        const unsigned f = fixedSize(tagType(tag));
        return f ? f : 4; // variable-size cells hold an HNID
    };
    RowLayout out {};
    std::uint16_t ib = 0;
    std::uint8_t bit = 0;
    std::map<std::uint32_t, ColumnLayout> placed;
    auto place = [&](std::uint32_t tag) {
        const unsigned cb = width(tag);
        placed[tag] = ColumnLayout { tag, ib, static_cast<std::uint8_t>(cb), bit++ };
        ib = static_cast<std::uint16_t>(ib + cb);
    };
    auto placeWidth = [&](unsigned want) {
        for (auto tag : columns)
            if (tag != kTagLtpRowId && tag != kTagLtpRowVer && width(tag) == want)
                place(tag);
    };
    // Row ID at 0 and row version at 4, then 8- and 4-byte cells, then 2-byte, then 1-byte.
    place(kTagLtpRowId);
    place(kTagLtpRowVer);
    placeWidth(8);
    placeWidth(4);
    out.rgib[0] = ib;
    placeWidth(2);
    out.rgib[1] = ib;
    placeWidth(1);
    out.rgib[2] = ib;
    out.rgib[3] = static_cast<std::uint16_t>(ib + (columns.size() + 7) / 8);
    for (auto& [tag, c] : placed)
        out.columns.push_back(c);
    return out;
}

NodeData writeTableContext(
    ndb::NodeDatabase& ndb, std::vector<std::uint32_t> columns, const std::vector<TableRow>& rows)
{
    return writeTableContext(
        ndb, std::move(columns), rows.size(), [&](std::size_t r) -> const TableRow& { return rows[r]; });
}

NodeData writeTableContext(
    ndb::NodeDatabase& ndb, std::vector<std::uint32_t> columns, std::size_t rowCount, const RowSource& rowAt)
{
    const ndb::Layout& layout = ndb.layout();
    if (rowCount > layout.maxTableRows)
        throw Error(ErrorKind::LimitExceeded, "write table", "TC row index",
            "at most " + std::to_string(layout.maxTableRows) + " rows" + (layout.unicode ? "" : " (ANSI)"),
            std::to_string(rowCount) + " rows");
    const RowLayout rl = layoutRow(std::move(columns));
    const std::size_t rowSize = rl.rgib[3];
    HeapWriter heap(layout, kSigTableContext);
    // As in Outlook's files: the row index's BTHHEADER first, then TCINFO, then the rest.
    const std::uint32_t hidRowIndex = heap.reserve(8);
    const std::uint32_t hidInfo = heap.reserve(22 + 8 * rl.columns.size());
    ValueStore values(ndb, heap);

    // Row matrix: fixed cells in place, variable cells as HNIDs, then the CEB bitmap.
    ByteVector matrix(rowCount * rowSize, 0);
    std::vector<std::pair<std::uint32_t, std::uint32_t>> index; // dwRowID -> dwRowIndex
    index.reserve(rowCount);
    for (std::size_t r = 0; r < rowCount; ++r) {
        const TableRow& source = rowAt(r);
        index.emplace_back(source.rowId, static_cast<std::uint32_t>(r));
        std::uint8_t* row = matrix.data() + r * rowSize;
        auto set = [&](const ColumnLayout& c, const PropValue* v, std::uint32_t fallback) {
            if (v && v->type != tagType(c.tag))
                throw Error(ErrorKind::Internal, "write table cell", "column " + std::to_string(c.tag),
                    "type " + std::to_string(tagType(c.tag)), "type " + std::to_string(v->type));
            if (!v)
                ndb::storeLe(row + c.ib, fallback, c.cb);
            else if (fixedSize(v->type))
                std::copy(v->data.begin(), v->data.end(), row + c.ib);
            else
                ndb::storeLe(row + c.ib, values.put(v->data), 4);
            row[rl.rgib[2] + c.bit / 8] |= static_cast<std::uint8_t>(0x80u >> (c.bit % 8));
        };
        for (const auto& c : rl.columns) {
            auto it = source.cells.find(c.tag);
            if (c.tag == kTagLtpRowId)
                set(c, nullptr, source.rowId);
            else if (c.tag == kTagLtpRowVer && it == source.cells.end())
                set(c, nullptr, static_cast<std::uint32_t>(r + 1));
            else if (it != source.cells.end())
                set(c, &it->second, 0);
        }
    }
    std::uint32_t hnidRows = 0;
    if (!matrix.empty()) {
        if (matrix.size() <= ndb::kMaxHeapAllocation) {
            hnidRows = heap.allocate(matrix);
        } else {
            // In a subnode: whole rows per block, never a row across two blocks, and every block
            // but the last a full 8 KB (unused space after the last row) ([MS-PST] 2.3.4.4).
            const std::size_t perBlock = layout.maxBlockData / rowSize;
            std::vector<ByteVector> chunks;
            for (std::size_t r = 0; r < rowCount; r += perBlock) {
                const std::size_t n = std::min(perBlock, rowCount - r);
                chunks.emplace_back(matrix.begin() + r * rowSize, matrix.begin() + (r + n) * rowSize);
                if (r + n < rowCount)
                    chunks.back().resize(layout.maxBlockData, 0);
            }
            std::uint64_t bytes = 0;
            for (const ByteVector& c : chunks)
                bytes += c.size();
            hnidRows = values.putSubnode(ndb.writeDataTree(chunks), bytes);
        }
    }
    // Row index: BTH of TCROWID (dwRowID -> dwRowIndex, 2 bytes in ANSI, 4 in Unicode).
    std::sort(index.begin(), index.end());
    for (std::size_t i = 1; i < index.size(); ++i)
        if (index[i].first == index[i - 1].first)
            throw Error(ErrorKind::Internal, "write table", "row index", "unique row IDs",
                "duplicate " + std::to_string(index[i].first));
    ByteVector records;
    ndb::ByteWriter w(records);
    for (auto [id, at] : index) {
        w.u32(id);
        w.put(at, layout.rowIndexEntrySize);
    }
    writeBTreeOnHeap(heap, 4, layout.rowIndexEntrySize, records, hidRowIndex);

    // TCINFO: bType, cCols, rgib[4], hidRowIndex, hnidRows, hidIndex (deprecated), rgTCOLDESC.
    ByteVector info;
    ndb::ByteWriter t(info);
    t.u8(kSigTableContext);
    t.u8(rl.columns.size());
    for (auto v : rl.rgib)
        t.u16(v);
    t.u32(hidRowIndex);
    t.u32(hnidRows);
    t.u32(0);
    for (const auto& c : rl.columns) { // TCOLDESC: tag, ibData, cbData, iBit
        t.u32(c.tag);
        t.u16(c.ib);
        t.u8(c.cb);
        t.u8(c.bit);
    }
    heap.replace(hidInfo, info);
    heap.setUserRoot(hidInfo);
    return values.finish(heap.finish());
}

} // namespace pst::ltp
