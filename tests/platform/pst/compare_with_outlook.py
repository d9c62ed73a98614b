#!/usr/bin/python3
"""Compare a new store of ours with a PST that Outlook wrote, node by node, as [MS-PST] lays
them out: which internal nodes each has; which properties the message store (0x21), the
name-to-ID map (0x61), the root folder, Top of Personal Folders, Search Root, SPAM Search Folder
2, its search criteria object and the folders under Top of Personal Folders (matched by name)
have; which columns the template tables, the receive folder table and the outgoing queue table
have; and where the receive folder table sends each message class.

  compare_with_outlook.py OUTLOOK.pst OURS.pst

One line per difference, sorted:
  NODE <tab> outlook|ours <tab> 0xNID                   an internal node only one file has
  PROP <tab> outlook|ours <tab> object <tab> 0xID       a property only one object has
  COLUMN <tab> outlook|ours <tab> table <tab> 0xTAG     a column only one table has
  RECEIVE <tab> outlook|ours <tab> class>folder         a receive folder table row
Values are not compared (keys, times and counts differ by nature), and of the name-to-ID map
only the properties that are not hash buckets. Folders only one file has are left out. Exit 2
when a file cannot be read.

A reader of its own, sharing nothing with the writer or the verifier: every read goes through
field(), which checks the bounds first."""
import struct
import sys

# mpbbI of [MS-PST] 5.1: decodes NDB_CRYPT_PERMUTE.
DECODE = bytes.fromhex(
    "47f1b4e60b6a7248854e9eebe2f89453e0bba002e85a09abdbe3bac67cc310dd"
    "39059630f53760828cc9134a6b1df3fb8f2697ca911701c4322d6e3195ffd923"
    "d1005e79dc443b1a28c5615720903d83b943be67d2464276c06d5b7eb20f1629"
    "3ca903540dda5ddff6b7c762cd8d06d3695c86d614f7a56675acb1e94521700c"
    "879f74a4224c6fbf1f56aa2eb3783350b0a392bccf191ca763cb1e4d3e4b1b9b"
    "4fe7f0eead3ab55904ea40552551e57a893868527bfc27aed7bdfa07f4cc8e5f"
    "ef359c842b15d5773449b6120a7f7188fd9d18417d93d8582ccefe24afdeb836"
    "c8a180a69998a82f0e816573e4c2a28ad4e111d0088b2af2ed9a643fc16cf9ec"
)

# Internal nodes compared ([MS-PST] 2.4.1): the store, the maps, queues, templates and tables.
INTERNAL_TYPES = (0x01, 0x06, 0x07, 0x0B, 0x0C, 0x16, 0x17, 0x18)
TEMPLATES = {
    0x60D: "hierarchy table template",
    0x60E: "contents table template",
    0x60F: "FAI contents table template",
    0x610: "search contents table template",
    0x671: "attachment table template",
    0x692: "recipient table template",
    0x62B: "receive folder table",
    0x64C: "outgoing queue table",
}


class Unreadable(Exception):
    pass


def field(data, fmt, off):
    size = struct.calcsize(fmt)
    if off < 0 or off + size > len(data):
        raise Unreadable("a field at %d past the end of %d bytes" % (off, len(data)))
    return struct.unpack_from("<" + fmt, data, off)[0]


def piece(data, off, size):
    if off < 0 or size < 0 or off + size > len(data):
        raise Unreadable("%d bytes at %d past the end of %d bytes" % (size, off, len(data)))
    return data[off : off + size]


class Pst:
    def __init__(self, path):
        with open(path, "rb") as f:
            self.data = f.read()
        if piece(self.data, 0, 4) != b"!BDN":
            raise Unreadable("not a PST")
        self.unicode = field(self.data, "H", 10) >= 23
        self.w = "Q" if self.unicode else "I"
        self.wsize = 8 if self.unicode else 4
        # HEADER ([MS-PST] 2.2.2.6): ROOT at 180 (Unicode) or 164 (ANSI), bCryptMethod after it.
        root = 180 if self.unicode else 164
        self.crypt = field(self.data, "B", 513 if self.unicode else 461)
        refs = root + 4 + 4 * self.wsize  # dwReserved, ibFileEof, ibAMapLast, cbAMapFree, cbPMapFree
        self.nbt, self.bbt = {}, {}
        self.walk(field(self.data, self.w, refs + self.wsize), True, 0)
        self.walk(field(self.data, self.w, refs + 3 * self.wsize), False, 0)

    def walk(self, ib, nbt, depth):
        if depth > 8:
            raise Unreadable("B-tree deeper than 8 levels")
        page = piece(self.data, ib, 512)
        at = 488 if self.unicode else 496  # cEnt, cEntMax, cbEnt, cLevel after rgentries
        count, size, level = field(page, "B", at), field(page, "B", at + 2), field(page, "B", at + 3)
        w, n = self.w, self.wsize
        for i in range(count):
            e = i * size
            if level > 0:
                self.walk(field(page, w, e + 2 * n), nbt, depth + 1)
            elif nbt:  # NBTENTRY: nid, bidData, bidSub, nidParent
                self.nbt[field(page, w, e) & 0xFFFFFFFF] = (field(page, w, e + n), field(page, w, e + 2 * n))
            else:  # BBTENTRY: BREF (bid, ib), cb, cRef
                self.bbt[field(page, w, e) & ~1] = (field(page, w, e + n), field(page, "H", e + 2 * n))

    def block(self, bid):
        if bid & ~1 not in self.bbt:
            raise Unreadable("block %#x not in the BBT" % bid)
        ib, cb = self.bbt[bid & ~1]
        data = piece(self.data, ib, cb)
        if not bid & 2 and self.crypt == 1:
            data = data.translate(DECODE)
        return data

    def data_tree(self, bid, depth=0):
        if bid == 0:
            return []
        data = self.block(bid)
        if not bid & 2:
            return [data]
        if depth > 2:
            raise Unreadable("data tree deeper than XXBLOCK")
        out = []
        for i in range(field(data, "H", 2)):  # XBLOCK / XXBLOCK: btype, cLevel, cEnt, lcbTotal, rgbid
            out += self.data_tree(field(data, self.w, 8 + i * self.wsize), depth + 1)
        return out

    def subnodes(self, bid, depth=0):
        if bid == 0:
            return {}
        if depth > 1:
            raise Unreadable("subnode tree deeper than SIBLOCK")
        data, w, n = self.block(bid), self.w, self.wsize
        level, count, base = field(data, "B", 1), field(data, "H", 2), 8 if self.unicode else 4
        out = {}
        for i in range(count):
            if level == 0:  # SLENTRY: nid, bidData, bidSub
                e = base + 3 * n * i
                out[field(data, w, e) & 0xFFFFFFFF] = (field(data, w, e + n), field(data, w, e + 2 * n))
            else:  # SIENTRY: nid, bid
                out.update(self.subnodes(field(data, w, base + 2 * n * i + n), depth + 1))
        return out

    def node(self, nid):
        bid_data, bid_sub = self.nbt[nid]
        return Node(self, self.data_tree(bid_data), self.subnodes(bid_sub))


class Node:
    """A heap-on-node ([MS-PST] 2.3.1) with its subnodes."""

    def __init__(self, pst, blocks, subs):
        self.pst, self.blocks, self.subs = pst, blocks, subs

    def client_sig(self):
        return field(self.blocks[0], "B", 3) if self.blocks else None

    def hid(self, hid):
        if hid == 0:
            return b""
        index, block = (hid >> 5) & 0x7FF, hid >> 16
        if block >= len(self.blocks) or index == 0:
            raise Unreadable("HID %#x outside the heap" % hid)
        b = self.blocks[block]
        page_map = field(b, "H", 0)
        if index > field(b, "H", page_map):
            raise Unreadable("HID %#x past cAlloc" % hid)
        start, end = field(b, "H", page_map + 2 + 2 * index), field(b, "H", page_map + 4 + 2 * index)
        return piece(b, start, end - start)

    def bth(self, hid):
        """Records of a BTH ([MS-PST] 2.3.2) as (key bytes, data bytes)."""
        header = self.hid(hid)
        key, ent = field(header, "B", 1), field(header, "B", 2)
        levels, root = field(header, "B", 3), field(header, "I", 4)
        out = []

        def go(h, level):
            if h == 0:
                return
            data = self.hid(h)
            step = key + (4 if level > 0 else ent)
            for at in range(0, len(data) - step + 1, step):
                if level > 0:
                    go(field(data, "I", at + key), level - 1)
                else:
                    out.append((piece(data, at, key), piece(data, at + key, ent)))

        go(root, levels)
        return out

    def value(self, hnid):
        if hnid == 0:
            return b""
        if hnid & 0x1F == 0:
            return self.hid(hnid)
        if hnid not in self.subs:
            raise Unreadable("subnode %#x missing" % hnid)
        return b"".join(self.pst.data_tree(self.subs[hnid][0]))

    def properties(self):
        """PC ([MS-PST] 2.3.3): property ID -> (type, HNID or inline value)."""
        if self.client_sig() != 0xBC:
            raise Unreadable("not a property context")
        root = field(self.blocks[0], "I", 4)
        return {field(k, "H", 0): (field(d, "H", 0), field(d, "I", 2)) for k, d in self.bth(root)}

    def table(self):
        """TC ([MS-PST] 2.3.4): the column tags and the rows as {tag: cell bytes}."""
        if self.client_sig() != 0x7C:
            raise Unreadable("not a table context")
        info = self.hid(field(self.blocks[0], "I", 4))
        columns = []
        for i in range(field(info, "B", 1)):  # TCOLDESC: tag, ibData, cbData, iBit
            at = 22 + 8 * i
            columns.append(
                (field(info, "I", at), field(info, "H", at + 4), field(info, "B", at + 6), field(info, "B", at + 7))
            )
        ceb, size, rows_hnid = field(info, "H", 6), field(info, "H", 8), field(info, "I", 14)
        if rows_hnid == 0:
            chunks = []
        elif rows_hnid & 0x1F == 0:
            chunks = [self.hid(rows_hnid)]
        else:
            chunks = self.pst.data_tree(self.subs[rows_hnid][0]) if rows_hnid in self.subs else []
        rows = []
        for chunk in chunks:
            for at in range(0, len(chunk) - size + 1, size) if size else []:
                row = piece(chunk, at, size)
                cells = {}
                for tag, ib, cb, bit in columns:
                    if field(row, "B", ceb + bit // 8) & (0x80 >> (bit % 8)):
                        cells[tag] = piece(row, ib, cb)
                rows.append(cells)
        return [c[0] for c in columns], rows


def text(pst, node, props, pid):
    if pid not in props:
        return ""
    kind, hnid = props[pid]
    raw = node.value(hnid)
    return raw.decode("utf-16-le", "replace") if kind == 0x1F else raw.decode("cp1252", "replace")


def folders(pst):
    """Folder objects by path, from the root folder down the hierarchy tables."""
    out = {}

    def walk(nid, path, depth):
        if depth > 16 or nid not in pst.nbt:
            return
        node = pst.node(nid)
        props = node.properties()
        path = "/" if nid == 0x122 else path.rstrip("/") + "/" + text(pst, node, props, 0x3001)
        out[path] = (nid, node, props)
        hierarchy = (nid & ~0x1F) | 0x0D
        if hierarchy in pst.nbt and pst.nbt[hierarchy][0]:
            for row in pst.node(hierarchy).table()[1]:
                child = field(row.get(0x67F20003, b"\0\0\0\0"), "I", 0)
                if child & 0x1F in (0x02, 0x03):
                    walk(child, path, depth + 1)

    walk(0x122, "", 0)
    return out


def compare(outlook, ours):
    diffs = []

    def sides(kind, label, a, b):
        for x in sorted(a - b):
            diffs.append("%s\toutlook\t%s%#06x" % (kind, label, x))
        for x in sorted(b - a):
            diffs.append("%s\tours\t%s%#06x" % (kind, label, x))

    def internal(pst):
        return {n for n in pst.nbt if n & 0x1F in INTERNAL_TYPES or n in TEMPLATES}

    sides("NODE", "", internal(outlook), internal(ours))

    def properties(name, a, b):
        sides("PROP", name + "\t", set(a), set(b))

    properties("message store", outlook.node(0x21).properties(), ours.node(0x21).properties())
    plain = lambda p: {k: v for k, v in p.node(0x61).properties().items() if k < 0x1000}
    properties("name-to-ID map", plain(outlook), plain(ours))
    fo, fu = folders(outlook), folders(ours)
    for path in sorted(set(fo) & set(fu)):
        properties(path, fo[path][2], fu[path][2])
    if 0x2227 in outlook.nbt and 0x2227 in ours.nbt:
        properties("search criteria object", outlook.node(0x2227).properties(), ours.node(0x2227).properties())
    for nid, name in TEMPLATES.items():
        if nid in outlook.nbt and nid in ours.nbt:
            sides("COLUMN", name + "\t", set(outlook.node(nid).table()[0]), set(ours.node(nid).table()[0]))

    def receive(pst):
        out = set()
        names = {v[0]: k for k, v in folders(pst).items()}
        node = pst.node(0x62B)
        for row in node.table()[1]:
            # PidTagMessageClass (an HNID in the row) -> PidTagReceiveFolderNid... as its folder's path.
            tag = 0x001A001F if 0x001A001F in row else 0x001A001E
            raw = node.value(field(row.get(tag, b"\0\0\0\0"), "I", 0))
            name = raw.decode("utf-16-le" if tag & 0xFFFF == 0x1F else "cp1252", "replace")
            out.add("%s>%s" % (name, names.get(field(row.get(0x66050003, b"\0\0\0\0"), "I", 0), "?")))
        return out

    ro, ru = receive(outlook), receive(ours)
    diffs += ["RECEIVE\toutlook\t" + r for r in sorted(ro - ru)] + ["RECEIVE\tours\t" + r for r in sorted(ru - ro)]
    return sorted(diffs)


def main():
    if len(sys.argv) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    try:
        outlook, ours = Pst(sys.argv[1]), Pst(sys.argv[2])
        for line in compare(outlook, ours):
            print(line)
    except (Unreadable, OSError, KeyError) as e:
        print("unreadable: %s" % e, file=sys.stderr)
        return 2
    return 0


if __name__ == "__main__":
    sys.exit(main())
