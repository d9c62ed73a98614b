// Property context (PC, [MS-PST] 2.3.3) and table context (TC, [MS-PST] 2.3.4) writers: each
// turns values into a node's data tree (the heap) and subnode tree (large values, row matrix).
#pragma once

#include "ltp/Property.h"

#include <functional>
#include <vector>

namespace pst::ndb {
class NodeDatabase;
struct SubnodeEntry;
}

namespace pst::ltp {

// What a node gets: its data tree and subnode tree (both with one reference for the node), and
// the bytes of its data tree and of every subnode's data, subnodes of subnodes included: what
// Outlook (2007 SP2 onwards) stores as a message's PidTagMessageSize.
struct NodeData {
    std::uint64_t bidData = 0;
    std::uint64_t bidSub = 0;
    std::uint64_t bytes = 0;
};

// extraSubnodes (recipient and attachment tables, attachment objects) join the node's subnode
// tree next to the subnodes of large values; their references pass to the tree, and extraBytes
// is their NodeData::bytes together. A PT_LONG property sizeProperty (0: none) gets the node's
// bytes, capped at 0x7FFFFFFF; the value is inline, so it changes no size.
NodeData writePropertyContext(ndb::NodeDatabase& ndb, const PropertyMap& props,
    const std::vector<ndb::SubnodeEntry>& extraSubnodes = {}, std::uint64_t extraBytes = 0,
    std::uint16_t sizeProperty = 0);

constexpr std::uint32_t kTagLtpRowId = 0x67F20003; // PidTagLtpRowId
constexpr std::uint32_t kTagLtpRowVer = 0x67F30003; // PidTagLtpRowVer

struct TableRow {
    std::uint32_t rowId = 0; // dwRowID: the NID of the object the row stands for
    std::map<std::uint32_t, PropValue> cells; // by full tag; missing = cell absent
};

// Columns are tags; PidTagLtpRowId / PidTagLtpRowVer are added when missing. Rows are written in
// the given order; the row index is sorted by row ID. Throws Error(LimitExceeded) past the
// format's row limit.
NodeData writeTableContext(
    ndb::NodeDatabase& ndb, std::vector<std::uint32_t> columns, const std::vector<TableRow>& rows);

// The same with rows produced one at a time (the reference is used before the next call), so
// a big table never holds all its TableRows at once.
using RowSource = std::function<const TableRow&(std::size_t)>;
NodeData writeTableContext(
    ndb::NodeDatabase& ndb, std::vector<std::uint32_t> columns, std::size_t rowCount, const RowSource& rowAt);

// TCOLDESC layout of a column set: fixed offsets, widths and CEB bits ([MS-PST] 2.3.4.2).
struct ColumnLayout {
    std::uint32_t tag;
    std::uint16_t ib;
    std::uint8_t cb;
    std::uint8_t bit;
};
struct RowLayout {
    std::vector<ColumnLayout> columns; // sorted by tag
    std::uint16_t rgib[4]; // TCI_4b, TCI_2b, TCI_1b, TCI_bm (= row size)
};
RowLayout layoutRow(std::vector<std::uint32_t> columns);

} // namespace pst::ltp
