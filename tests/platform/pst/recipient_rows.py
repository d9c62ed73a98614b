#!/usr/bin/python3
"""Prints the recipient table rows of every message in a folder of a PST, one line each:
  subject | PidTagRecipientType | PidTagRecipientFlags | PidTagDisplayName
in row order, read with the independent reader of compare_with_outlook.py.
usage: recipient_rows.py FILE.pst"""
import os
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_with_outlook import Node, Pst, Unreadable, text  # noqa: E402


def main():
    try:
        pst = Pst(sys.argv[1])
        string = 0x001F if pst.unicode else 0x001E
        for nid in sorted(pst.nbt):
            if nid & 0x1F != 0x04:  # NID_TYPE_NORMAL_MESSAGE
                continue
            message = pst.node(nid)
            subject = text(pst, message, message.properties(), 0x0037).lstrip("\x01")
            if 0x692 not in message.subs:
                continue
            bid_data, bid_sub = message.subs[0x692]
            table = Node(pst, pst.data_tree(bid_data), pst.subnodes(bid_sub))
            for row in table.table()[1]:
                def number(pid):
                    cell = row.get(pid << 16 | 0x0003)
                    return struct.unpack("<I", cell)[0] if cell else None
                hnid = row.get(0x3001 << 16 | string)
                name = table.value(struct.unpack("<I", hnid)[0]) if hnid else b""
                name = name.decode("utf-16-le" if pst.unicode else "cp1252", "replace")
                print(" | ".join(str(f) for f in (subject, number(0x0C15), number(0x5FFD), name)))
    except Unreadable as e:
        print("unreadable:", e, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
