#!/usr/bin/python3
"""Prints how each embedded message of a PST is stored ([MS-PST] 2.4.6.2.2, 2.3.3.5), one line
per attachment with PidTagAttachDataObject, so a test can hold ours against Outlook's files:

  depth | attach method | hidden | flags | object NID type | object size = message size |
  message subnodes (by NID type, sorted) | class | subject

Depth 1 is an attachment of a folder's message, 2 one of its embedded message, and so on. Uses
the independent reader of compare_with_outlook.py.

With --readers PST_READERS.py, prints instead what pypff and pffexport see (tests/support/
pst_readers.py), one line per attachment and per embedded message:
  pypff | subject | attachment N | method | hidden | flags | exception start
  pffexport | subject > embedded subject > ... | body length | attachments (name sha256)
usage: embedded_messages.py [--readers PST_READERS.py] FILE.pst"""
import json
import os
import subprocess
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_with_outlook import Node, Pst, Unreadable, text  # noqa: E402


def scalar(props, pid):
    return props[pid][1] if pid in props else None


def message(pst, node, depth, out):
    for nid, (bid_data, bid_sub) in sorted(node.subs.items()):
        if nid & 0x1F != 0x05:  # NID_TYPE_ATTACHMENT
            continue
        attach = Node(pst, pst.data_tree(bid_data), pst.subnodes(bid_sub))
        ap = attach.properties()
        if 0x3701 not in ap or ap[0x3701][0] != 0x000D:
            continue
        object_nid, object_size = struct.unpack("<II", attach.value(ap[0x3701][1]))
        if object_nid not in attach.subs:
            raise Unreadable("embedded message subnode %#x missing" % object_nid)
        inner_data, inner_sub = attach.subs[object_nid]
        inner = Node(pst, pst.data_tree(inner_data), pst.subnodes(inner_sub))
        ip = inner.properties()
        kinds = sorted("%#x" % n if n in (0x671, 0x692) else "attachment"
                       for n in inner.subs if n in (0x671, 0x692) or n & 0x1F == 0x05)
        out.append(" | ".join(str(f) for f in (
            depth, scalar(ap, 0x3705), scalar(ap, 0x7FFE), scalar(ap, 0x7FFD), "%#x" % (object_nid & 0x1F),
            object_size == scalar(ip, 0x0E08), ",".join(kinds), text(pst, inner, ip, 0x001A),
            text(pst, inner, ip, 0x0037).lstrip("\x01"))))
        message(pst, inner, depth + 1, out)


def readers(script, path):
    out = subprocess.run([sys.executable, script, path], capture_output=True, text=True)
    if out.returncode != 0:
        print("pst_readers failed:", out.stderr, file=sys.stderr)
        sys.exit(2)
    seen = json.loads(out.stdout)
    lines = []
    for folder in seen["pypff"]["folders"]:
        for item in folder["items"]:
            for n, ap in enumerate(item.get("attachment_props", []), 1):
                lines.append(" | ".join(str(f) for f in ("pypff", item.get("subject"), "attachment %d" % n,
                             ap.get("0x3705"), ap.get("0x7FFE"), ap.get("0x7FFD"), ap.get("0x7FFB"))))

    def embedded(item, trail):
        for e in item.get("embedded", []):
            here = trail + " > " + (e.get("subject") or "")
            atts = ", ".join("%s %s" % (a["name"], a["sha256"]) for a in e.get("attachments", []))
            lines.append(" | ".join(("pffexport", here, str(len(e.get("body") or "")), atts)))
            embedded(e, here)

    for folder in seen["pffexport"]["folders"]:
        for item in folder["items"]:
            embedded(item, item.get("subject") or "")
    print("\n".join(lines))


def main():
    if sys.argv[1] == "--readers":
        readers(sys.argv[2], sys.argv[3])
        return
    try:
        pst = Pst(sys.argv[1])
        out = []
        for nid in sorted(pst.nbt):
            if nid & 0x1F == 0x04:  # NID_TYPE_NORMAL_MESSAGE
                message(pst, pst.node(nid), 1, out)
        print("\n".join(out))
    except Unreadable as e:
        print("unreadable:", e, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
