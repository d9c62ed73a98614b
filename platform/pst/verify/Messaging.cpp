// Messaging layer checks ([MS-PST] 2.4): folders and their hierarchy, contents and FAI tables
// against the NBT's parent links, messages with their recipient and attachment tables, the
// name-to-ID map, and the heaps of every other node.
#include "verify/Checker.h"

#include <algorithm>
#include <set>

namespace pst::verifier {

namespace {

    std::string num(std::uint64_t v) { return std::to_string(v); }

    constexpr std::uint8_t kTypeInternal = 0x01, kTypeFolder = 0x02, kTypeSearchFolder = 0x03, kTypeMessage = 0x04,
                           kTypeAttachment = 0x05, kTypeAssocMessage = 0x08, kTypeHierarchy = 0x0D,
                           kTypeContents = 0x0E, kTypeAssocContents = 0x0F, kTypeSearchContents = 0x10, kTypeLtp = 0x1F;
    constexpr std::uint64_t kNidRoot = 0x122, kNidNameToId = 0x61, kNidStore = 0x21, kNidAttachmentTable = 0x671,
                            kNidRecipientTable = 0x692;
    constexpr int kMaxFolderDepth = 64;
    constexpr int kMaxEmbedding = 4;

    std::uint8_t typeOf(std::uint64_t nid) { return static_cast<std::uint8_t>(nid & 0x1F); }
    std::uint64_t sibling(std::uint64_t nid, std::uint8_t type) { return (nid & ~0x1Full) | type; }

    // Columns a contents table copies from its messages and that must agree with them.
    constexpr std::uint32_t kCopiedColumns[]
        = { 0x0E080003, 0x0037001F, 0x0037001E, 0x001A001F, 0x001A001E, 0x0E070003, 0x0E060040 };

    void appendUtf8(std::string& out, std::uint32_t c)
    {
        if (c < 0x80)
            out += static_cast<char>(c);
        else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }

    // A value for a finding: a number for 4 bytes, else its size and first bytes.
    std::string show(const std::vector<std::uint8_t>& v)
    {
        if (v.size() == 4)
            return std::to_string(v[0] | v[1] << 8 | v[2] << 16 | std::uint32_t(v[3]) << 24);
        std::string s = std::to_string(v.size()) + " bytes";
        for (std::size_t i = 0; i < v.size() && i < 8; ++i)
            s += (i ? " " : " ") + hex(v[i]);
        return s;
    }

} // namespace

std::vector<std::uint64_t> Checker::children(std::uint64_t parent, std::uint8_t type) const
{
    std::vector<std::uint64_t> out;
    auto it = std::lower_bound(byParent_.begin(), byParent_.end(), parent,
        [&](std::uint32_t i, std::uint64_t p) { return nbt_[i].parent < p; });
    for (; it != byParent_.end() && nbt_[*it].parent == parent; ++it)
        if (typeOf(nbt_[*it].nid) == type && nbt_[*it].nid != parent)
            out.push_back(nbt_[*it].nid);
    return out;
}

std::string Checker::textValue(const Object& obj, std::uint16_t id)
{
    const Prop* p = obj.prop(id);
    std::vector<std::uint8_t> b;
    if (!p || (p->type != 0x001F && p->type != 0x001E) || !valueBytes(obj.heap, obj.ctx, p->hnid, b, 1u << 20))
        return {};
    std::string out;
    if (p->type == 0x001E) {
        for (std::uint8_t c : b)
            appendUtf8(out, c); // Windows-1252 read as Latin-1: enough for paths in findings
        return out;
    }
    for (std::size_t i = 0; i + 1 < b.size(); i += 2) {
        std::uint32_t c = b[i] | (b[i + 1] << 8);
        if (c >= 0xD800 && c < 0xDC00 && i + 3 < b.size()) {
            const std::uint32_t lo = b[i + 2] | (b[i + 3] << 8);
            if (lo >= 0xDC00 && lo < 0xE000) {
                c = 0x10000 + ((c - 0xD800) << 10) + (lo - 0xDC00);
                i += 2;
            }
        }
        appendUtf8(out, c);
    }
    return out;
}

void Checker::checkMessaging()
{
    heapDone_.assign(nbt_.size(), false);
    byParent_.resize(nbt_.size());
    for (std::uint32_t i = 0; i < byParent_.size(); ++i)
        byParent_[i] = i;
    std::sort(byParent_.begin(), byParent_.end(), [&](std::uint32_t a, std::uint32_t b) {
        return nbt_[a].parent != nbt_[b].parent ? nbt_[a].parent < nbt_[b].parent : nbt_[a].nid < nbt_[b].nid;
    });
    checkNameToIdMap();
    if (node(kNidRoot))
        checkFolder(kNidRoot, "\\", 0);
    checkRemainingHeaps();
}

void Checker::checkFolder(std::uint64_t nid, const std::string& parentPath, int depth)
{
    const NbtEntry* e = node(nid);
    if (!e)
        return;
    const std::size_t index = static_cast<std::size_t>(e - nbt_.data());
    std::string where = "folder " + hex(nid);
    if (heapDone_[index]) {
        add("FOLDER_CYCLE", where, "each folder once in the hierarchy", "reached again");
        return;
    }
    heapDone_[index] = true;
    if (depth > kMaxFolderDepth) {
        add("FOLDER_CYCLE", where, "at most " + num(kMaxFolderDepth) + " folder levels", "deeper");
        return;
    }
    Object pc;
    openObject(nid, e->bidData, e->bidSub, where, pc, true);
    const std::string path
        = nid == kNidRoot ? std::string("\\") : (parentPath == "\\" ? "" : parentPath) + "\\" + textValue(pc, 0x3001);
    where = "folder " + path + " (" + hex(nid) + ")";
    VerifiedFolder vf;
    vf.path = path;
    vf.nid = static_cast<std::uint32_t>(nid);
    if (typeOf(nid) == kTypeSearchFolder) {
        const std::uint64_t sc = sibling(nid, kTypeSearchContents);
        if (const NbtEntry* t = node(sc)) {
            heapDone_[static_cast<std::size_t>(t - nbt_.data())] = true;
            Object obj;
            Table table;
            // Outlook writes search contents tables as heaps of client signature 0xAC.
            if (openObject(sc, t->bidData, t->bidSub, where + " search contents table", obj, false, 0xAC))
                readTc(obj.heap, obj.ctx, table, {});
            vf.contentsRows = table.rows;
        }
        report_.folders.push_back(vf);
        return;
    }
    if (pc.ok) {
        static const std::pair<std::uint16_t, const char*> kRequired[] = { { 0x3001, "PidTagDisplayName" },
            { 0x3602, "PidTagContentCount" }, { 0x3603, "PidTagContentUnreadCount" }, { 0x360A, "PidTagSubfolders" } };
        for (const auto& [id, name] : kRequired)
            if (!pc.prop(id))
                add("FOLDER_PROPERTY", where, std::string(name) + " present", "absent");
        if (const Prop* p = pc.prop(0x3602); p && p->type == 0x0003)
            vf.contentCount = p->hnid;
    }
    const std::vector<std::uint64_t> messages = children(nid, kTypeMessage);
    vf.messages = static_cast<std::uint32_t>(messages.size());

    // The three tables of the folder, [MS-PST] 2.4.4.
    std::vector<std::uint64_t> hierRows;
    std::map<std::uint64_t, RowSummary> contentRows;
    std::vector<std::uint64_t> faiRows;
    auto table
        = [&](std::uint8_t type, const char* what, const std::function<void(const Table&, const Object&, View)>& fn) {
              const std::uint64_t tnid = sibling(nid, type);
              const NbtEntry* t = node(tnid);
              if (!t) {
                  add("FOLDER_TABLE_MISSING", where, std::string(what) + " node " + hex(tnid), "absent");
                  return;
              }
              heapDone_[static_cast<std::size_t>(t - nbt_.data())] = true;
              Object obj;
              Table tab;
              if (!openObject(tnid, t->bidData, t->bidSub, where + " " + what, obj, false))
                  return;
              readTc(obj.heap, obj.ctx, tab, [&](std::uint32_t, View row) { fn(tab, obj, row); });
          };
    table(kTypeHierarchy, "hierarchy table",
        [&](const Table&, const Object&, View row) { hierRows.push_back(row.u32(0)); });
    table(kTypeContents, "contents table", [&](const Table& t, const Object& obj, View row) {
        RowSummary& s = contentRows[row.u32(0)];
        for (std::uint32_t tag : kCopiedColumns) {
            const Column* c = t.col(tag);
            if (!c || !cellPresent(t, row, *c))
                continue;
            std::vector<std::uint8_t> v;
            const std::uint16_t type = tag & 0xFFFF;
            if (fixedSize(type) > 0) {
                View cell = row.sub(c->ib, c->cb);
                v.assign(cell.p, cell.p + cell.n);
            } else if (!valueBytes(obj.heap, obj.ctx, row.u32(c->ib), v, 1u << 20))
                continue;
            s.cells[tag] = std::move(v);
        }
    });
    table(kTypeAssocContents, "FAI contents table",
        [&](const Table&, const Object&, View row) { faiRows.push_back(row.u32(0)); });
    vf.contentsRows = static_cast<std::uint32_t>(contentRows.size());
    vf.subfolders = static_cast<std::uint32_t>(hierRows.size());

    // Rows against the NBT's parent links, both ways.
    auto compare = [&](const char* code, const char* what, const std::vector<std::uint64_t>& rows,
                       std::vector<std::uint64_t> nodes) {
        std::set<std::uint64_t> rowSet(rows.begin(), rows.end());
        std::set<std::uint64_t> nodeSet(nodes.begin(), nodes.end());
        if (rowSet.size() != rows.size())
            add(code, where, std::string("one ") + what + " row per node", "a row ID twice");
        std::size_t n = 0;
        for (std::uint64_t r : rowSet)
            if (!nodeSet.count(r) && ++n <= 20)
                add(code, where + " row " + hex(r), std::string("a ") + what + " node whose parent is " + hex(nid),
                    node(r) ? "parent " + hex(node(r)->parent) : "no such node");
        for (std::uint64_t c : nodeSet)
            if (!rowSet.count(c) && ++n <= 20)
                add(code, where + " node " + hex(c), std::string("a row in the ") + what + " table", "absent");
    };
    std::vector<std::uint64_t> sub = children(nid, kTypeFolder);
    const std::vector<std::uint64_t> search = children(nid, kTypeSearchFolder);
    sub.insert(sub.end(), search.begin(), search.end());
    compare("HIERARCHY_ROWS", "hierarchy", hierRows, sub);
    std::vector<std::uint64_t> contentIds;
    for (const auto& [id, s] : contentRows)
        contentIds.push_back(id);
    compare("CONTENTS_ROWS", "contents", contentIds, messages);
    compare("FAI_ROWS", "FAI contents", faiRows, children(nid, kTypeAssocMessage));
    if (pc.ok) {
        if (const Prop* p = pc.prop(0x3602); p && p->hnid != contentRows.size())
            add("CONTENT_COUNT", where, num(contentRows.size()) + " (contents table rows)",
                num(p->hnid) + " (PidTagContentCount)");
        if (const Prop* p = pc.prop(0x360A); p && (p->hnid != 0) != !hierRows.empty())
            add("SUBFOLDERS_FLAG", where, hierRows.empty() ? "false (no hierarchy rows)" : "true (hierarchy rows)",
                p->hnid ? "true" : "false");
    }
    report_.folders.push_back(vf);

    for (std::uint64_t m : messages) {
        const NbtEntry* me = node(m);
        heapDone_[static_cast<std::size_t>(me - nbt_.data())] = true;
        auto it = contentRows.find(m);
        checkMessage(m, me, "message " + hex(m) + " in " + path, it == contentRows.end() ? nullptr : &it->second,
            me->bidData, me->bidSub, 0, nullptr);
    }
    for (std::uint64_t m : children(nid, kTypeAssocMessage)) {
        const NbtEntry* me = node(m);
        heapDone_[static_cast<std::size_t>(me - nbt_.data())] = true;
        checkMessage(m, me, "FAI message " + hex(m) + " in " + path, nullptr, me->bidData, me->bidSub, 0, nullptr);
    }
    contentRows.clear();
    for (std::uint64_t r : hierRows) {
        if (!node(r) || (typeOf(r) != kTypeFolder && typeOf(r) != kTypeSearchFolder))
            continue;
        checkFolder(r, path, depth + 1);
    }
}

// A message object, [MS-PST] 2.4.5: its PC, the contents-table row it has, its recipient
// table, its attachment table against its attachment subnodes.
void Checker::checkMessage(std::uint64_t nid, const NbtEntry*, const std::string& where, const RowSummary* row,
    std::uint64_t bidData, std::uint64_t bidSub, int depth, NodeCtx*)
{
    Object m;
    if (!openObject(nid, bidData, bidSub, where, m, true))
        return;
    if (!m.prop(0x001A))
        add("MESSAGE_CLASS", where, "PidTagMessageClass present", "absent");
    if (options_.strictMessageSize) {
        // Outlook 2007 SP2 onwards: the message node's data and all its subnodes' data, in bytes.
        const Prop* size = m.prop(0x0E08);
        const std::uint64_t bytes = nodeBytes(bidData, bidSub, where);
        if (!size || size->type != 0x0003)
            add("MESSAGE_SIZE", where, "PidTagMessageSize (PT_LONG) present", "absent");
        else if (size->hnid != std::min<std::uint64_t>(bytes, 0x7FFFFFFF))
            add("MESSAGE_SIZE", where, num(bytes) + " (data of the node and its subnodes)", num(size->hnid));
    }
    if (row) {
        for (const auto& [tag, cell] : row->cells) {
            const Prop* p = m.prop(static_cast<std::uint16_t>(tag >> 16));
            if (!p || p->type != (tag & 0xFFFF))
                continue;
            std::vector<std::uint8_t> v;
            const int fixed = fixedSize(p->type);
            if (fixed > 0 && fixed <= 4)
                for (int i = 0; i < fixed; ++i)
                    v.push_back(static_cast<std::uint8_t>(p->hnid >> (8 * i)));
            else if (!valueBytes(m.heap, m.ctx, p->hnid, v, 1u << 20))
                continue;
            // Outlook's own files hold contents rows whose PidTagMessageSize lags the message's:
            // a note for that column unless strictMessageSize, a finding for the others.
            const bool lenient = tag == 0x0E080003 && !options_.strictMessageSize;
            if (v != cell)
                (this->*(lenient ? &Checker::note : &Checker::add))("ROW_MISMATCH", where + " column " + hex(tag),
                    "the contents-table row as in the message", "row " + show(cell) + ", message " + show(v));
        }
    }
    // Outlook's own files hold messages without a recipient table (FAI messages, and mail
    // that never had recipients): a recipient table is checked where there is one.
    if (const SubEntry* rt = m.ctx.sub(kNidRecipientTable)) {
        Object obj;
        Table t;
        if (openObject(rt->nid, rt->bidData, rt->bidSub, where + " recipient table", obj, false))
            readTc(obj.heap, obj.ctx, t, {});
    }
    std::vector<std::uint64_t> attachments;
    for (const SubEntry& s : m.ctx.subs)
        if (typeOf(s.nid) == kTypeAttachment)
            attachments.push_back(s.nid);
    const Prop* has = m.prop(0x0E1B);
    const bool flagged = has && has->type == 0x000B && (has->hnid & 0xFF);
    const SubEntry* at = m.ctx.sub(kNidAttachmentTable);
    if ((flagged || !attachments.empty()) && !at)
        add("ATTACHMENT_TABLE", where, "an attachment table (subnode 0x671)", "absent");
    if (at) {
        Object obj;
        Table t;
        std::vector<std::uint64_t> rows;
        if (openObject(at->nid, at->bidData, at->bidSub, where + " attachment table", obj, false)
            && readTc(obj.heap, obj.ctx, t, [&](std::uint32_t, View r) { rows.push_back(r.u32(0)); })) {
            std::sort(rows.begin(), rows.end());
            if (rows != attachments)
                add("ATTACHMENT_TABLE", where, num(attachments.size()) + " rows, one per attachment subnode",
                    num(rows.size()) + " rows that do not match them");
        }
    }
    for (std::uint64_t a : attachments)
        if (depth < kMaxEmbedding)
            checkAttachment(*m.ctx.sub(a), where + " attachment " + hex(a), depth);
}

// Attachment object, [MS-PST] 2.4.6.2; an embedded message (PtypObject) is read as a message.
void Checker::checkAttachment(const SubEntry& s, const std::string& where, int depth)
{
    Object a;
    if (!openObject(s.nid, s.bidData, s.bidSub, where, a, true))
        return;
    const Prop* obj = a.prop(0x3701);
    if (!obj || obj->type != 0x000D)
        return;
    View v = a.heap.get(obj->hnid);
    if (v.n != 8)
        return; // PC_HNID says so
    // [MS-PST] 2.4.6.2.2: the object names a subnode of the attachment holding the message, and
    // its size is the message's (PidTagMessageSize, in every Outlook file here).
    const SubEntry* e = a.ctx.sub(v.u32(0));
    if (!e) {
        add("ATTACHMENT_OBJECT", where, "the embedded message in subnode " + hex(v.u32(0)), "no such subnode");
        return;
    }
    checkMessage(e->nid, nullptr, where + " embedded message", nullptr, e->bidData, e->bidSub, depth + 1, nullptr);
    const std::uint64_t bytes = std::min<std::uint64_t>(nodeBytes(e->bidData, e->bidSub, where), 0x7FFFFFFF);
    if (options_.strictMessageSize && v.u32(4) != bytes)
        add("ATTACHMENT_OBJECT", where, num(bytes) + " (the embedded message's size)", num(v.u32(4)));
}

// Name-to-ID map, [MS-PST] 2.4.7.
void Checker::checkNameToIdMap()
{
    const NbtEntry* e = node(kNidNameToId);
    if (!e)
        return;
    heapDone_[static_cast<std::size_t>(e - nbt_.data())] = true;
    const std::string where = "name-to-ID map (0x61)";
    Object pc;
    if (!openObject(kNidNameToId, e->bidData, e->bidSub, where, pc, true))
        return;
    const Prop* buckets = pc.prop(0x0001);
    if (!buckets || buckets->type != 0x0003)
        add("NAMEID_BUCKETS", where, "PidTagNameidBucketCount (PT_LONG)", "absent");
    auto stream = [&](std::uint16_t id, const char* name, std::vector<std::uint8_t>& out) {
        const Prop* p = pc.prop(id);
        if (!p || p->type != 0x0102) {
            add("NAMEID_STREAM", where, std::string(name) + " (PT_BINARY) present", "absent");
            return false;
        }
        return valueBytes(pc.heap, pc.ctx, p->hnid, out, 256u << 20);
    };
    std::vector<std::uint8_t> guids, entries, strings;
    const bool haveGuids = stream(0x0002, "PidTagNameidStreamGuid", guids);
    const bool haveEntries = stream(0x0003, "PidTagNameidStreamEntry", entries);
    const bool haveStrings = stream(0x0004, "PidTagNameidStreamString", strings);
    if (haveGuids && guids.size() % 16)
        add("NAMEID_STREAM", where + " GUID stream", "a multiple of 16 bytes", num(guids.size()));
    if (!haveEntries)
        return;
    if (entries.size() % 8)
        add("NAMEID_STREAM", where + " entry stream", "a multiple of 8 bytes", num(entries.size()));
    View ev = viewOf(entries), sv = viewOf(strings);
    std::size_t bad = 0;
    for (std::size_t i = 0; i + 8 <= entries.size(); i += 8) {
        // NAMEID: dwPropertyID, N (bit 0) and wGuid (bits 1-15), wPropIdx.
        const std::uint32_t id = ev.u32(i);
        const std::uint16_t guidWord = ev.u16(i + 4);
        const unsigned guid = guidWord >> 1;
        const std::string ew = where + " entry " + num(i / 8);
        if (haveGuids && guid >= 3 && guid - 3 >= guids.size() / 16 && ++bad <= 20)
            add("NAMEID_GUID", ew, "a GUID index below " + num(guids.size() / 16 + 3), num(guid));
        if ((guidWord & 1) && haveStrings) {
            if (!sv.has(id, 4) || !sv.has(std::size_t(id) + 4, sv.u32(id))) {
                if (++bad <= 20)
                    add("NAMEID_STRING", ew, "a name inside the " + num(strings.size()) + "-byte string stream",
                        "offset " + num(id));
            }
        }
    }
}

// Heaps not reached from the folder walk: templates, tables and messages of folders outside
// the hierarchy, the message store.
void Checker::checkRemainingHeaps()
{
    for (std::size_t i = 0; i < nbt_.size(); ++i) {
        if (heapDone_[i])
            continue;
        const NbtEntry& e = nbt_[i];
        const std::uint8_t type = typeOf(e.nid);
        const std::string where = "node " + hex(e.nid);
        heapDone_[i] = true;
        if (type == kTypeMessage || type == kTypeAssocMessage) {
            const NbtEntry* p = node(e.parent);
            if (!p || typeOf(e.parent) != kTypeFolder)
                add("MESSAGE_PARENT", where, "a folder as parent", hex(e.parent));
            checkMessage(e.nid, &e, where, nullptr, e.bidData, e.bidSub, 0, nullptr);
            continue;
        }
        if (type == kTypeFolder || type == kTypeSearchFolder) {
            if (!node(e.parent))
                add("FOLDER_PARENT", where, "an existing parent folder", hex(e.parent));
            Object pc;
            openObject(e.nid, e.bidData, e.bidSub, where, pc, true);
            continue;
        }
        const bool table = (type >= 0x0B && type <= 0x12 && type != kTypeAttachment);
        Object obj;
        if (table) {
            Table t;
            if (openObject(e.nid, e.bidData, e.bidSub, where, obj, false, type == kTypeSearchContents ? 0xAC : 0))
                readTc(obj.heap, obj.ctx, t, {});
        } else if (e.nid == kNidStore) {
            if (openObject(e.nid, e.bidData, e.bidSub, "message store (0x21)", obj, true)) {
                // [MS-PST] 2.4.3.1: the minimum set of message store properties.
                static const std::pair<std::uint16_t, const char*> kRequired[] = { { 0x0FF9, "PidTagRecordKey" },
                    { 0x3001, "PidTagDisplayName" }, { 0x35E0, "PidTagIpmSubTreeEntryId" },
                    { 0x35E3, "PidTagIpmWastebasketEntryId" }, { 0x35E7, "PidTagFinderEntryId" } };
                for (const auto& [id, name] : kRequired)
                    if (!obj.prop(id))
                        add("STORE_PROPERTY", "message store (0x21)", std::string(name) + " present", "absent");
            }
        } else if (type == kTypeLtp) {
            std::vector<SubEntry> subs;
            NodeCtx ctx;
            ctx.where = where;
            if (loadHeap(e.bidData, ctx, obj.heap))
                openObject(e.nid, e.bidData, e.bidSub, where, obj, obj.heap.clientSig == 0xBC);
            if (obj.ok && obj.heap.clientSig == 0x7C) {
                Table t;
                readTc(obj.heap, obj.ctx, t, {});
            }
        }
        (void)kTypeInternal;
    }
}

} // namespace pst::verifier
