#!/usr/bin/python3
"""Prints the parts of the messages of a PST that tests hold against what they wrote and against
Outlook's files, one line each (the reader of compare_with_outlook.py, or pst_readers.py):

  message_parts.py FILE.pst         per embedded message ([MS-PST] 2.4.6.2.2, 2.3.3.5): depth |
      attach method | hidden | flags | object NID type | object size = its PidTagMessageSize |
      its recipient/attachment tables +attachments | class | subject
  message_parts.py --recipients FILE.pst      per recipient row: subject | type | flags | name
  message_parts.py --readers PST_READERS.py FILE.pst     what pypff shows of attachments
      (pypff | subject | attachment N | method | hidden | flags | exception start) and pffexport
      of embedded messages (pffexport | subject > embedded subject | body length | attachments)"""
import json
import os
import struct
import subprocess
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from compare_with_outlook import Node, Pst, Unreadable, text  # noqa: E402


def embedded(pst, node, depth, out):
    for nid, (bid_data, bid_sub) in sorted(node.subs.items()):
        if nid & 0x1F != 0x05:  # NID_TYPE_ATTACHMENT
            continue
        attach = Node(pst, pst.data_tree(bid_data), pst.subnodes(bid_sub))
        ap = attach.properties()
        if ap.get(0x3701, (0,))[0] != 0x000D:  # PtypObject
            continue
        object_nid, object_size = struct.unpack("<II", attach.value(ap[0x3701][1]))
        if object_nid not in attach.subs:
            raise Unreadable("embedded message subnode %#x missing" % object_nid)
        inner_data, inner_sub = attach.subs[object_nid]
        inner = Node(pst, pst.data_tree(inner_data), pst.subnodes(inner_sub))
        ip = inner.properties()
        tables = ",".join("%#x" % n for n in sorted(inner.subs) if n in (0x671, 0x692))
        attached = sum(1 for n in inner.subs if n & 0x1F == 0x05)
        parts = tables + (" +%d" % attached if attached else "")
        scalar = [ap.get(pid, (0, None))[1] for pid in (0x3705, 0x7FFE, 0x7FFD)]
        out.append(" | ".join(str(f) for f in [depth] + scalar + [
            "%#x" % (object_nid & 0x1F), object_size == ip.get(0x0E08, (0, None))[1], parts,
            text(pst, inner, ip, 0x001A), text(pst, inner, ip, 0x0037).lstrip("\x01")]))
        embedded(pst, inner, depth + 1, out)


def recipients(pst, node, out):
    if 0x692 not in node.subs:
        return
    subject = text(pst, node, node.properties(), 0x0037).lstrip("\x01")
    table = Node(pst, pst.data_tree(node.subs[0x692][0]), pst.subnodes(node.subs[0x692][1]))
    string = 0x001F if pst.unicode else 0x001E
    for row in table.table()[1]:
        number = [struct.unpack("<I", row[pid << 16 | 3])[0] if pid << 16 | 3 in row else None
                  for pid in (0x0C15, 0x5FFD)]
        hnid = row.get(0x3001 << 16 | string)
        name = table.value(struct.unpack("<I", hnid)[0]) if hnid else b""
        out.append(" | ".join(str(f) for f in [subject] + number + [
            name.decode("utf-16-le" if pst.unicode else "cp1252", "replace")]))


def readers(script, path):
    run = subprocess.run([sys.executable, script, path], capture_output=True, text=True)
    if run.returncode != 0:
        print("pst_readers failed:", run.stderr, file=sys.stderr)
        sys.exit(2)
    seen, out = json.loads(run.stdout), []
    for folder in seen["pypff"]["folders"]:
        for item in folder["items"]:
            for n, ap in enumerate(item.get("attachment_props", []), 1):
                out.append(" | ".join(str(f) for f in ("pypff", item.get("subject"), "attachment %d" % n,
                           ap.get("0x3705"), ap.get("0x7FFE"), ap.get("0x7FFD"), ap.get("0x7FFB"))))

    def walk(item, trail):
        for e in item.get("embedded", []):
            here = trail + " > " + (e.get("subject") or "")
            atts = ", ".join("%s %s" % (a["name"], a["sha256"]) for a in e.get("attachments", []))
            out.append(" | ".join(("pffexport", here, str(len(e.get("body") or "")), atts)))
            walk(e, here)

    for folder in seen["pffexport"]["folders"]:
        for item in folder["items"]:
            walk(item, item.get("subject") or "")
    return out


def main():
    if sys.argv[1] == "--readers":
        print("\n".join(readers(sys.argv[2], sys.argv[3])))
        return
    try:
        pst, out = Pst(sys.argv[-1]), []
        for nid in sorted(pst.nbt):
            if nid & 0x1F == 0x04:  # NID_TYPE_NORMAL_MESSAGE
                if sys.argv[1] == "--recipients":
                    recipients(pst, pst.node(nid), out)
                else:
                    embedded(pst, pst.node(nid), 1, out)
        print("\n".join(out))
    except Unreadable as e:
        print("unreadable:", e, file=sys.stderr)
        sys.exit(2)


if __name__ == "__main__":
    main()
