#!/usr/bin/python3
"""Walk a PST with libpff's Python binding (pypff) and print what it reads, one record a line:
  STORE <tab> 0xTTTT=<hex or text> ...        selected message store properties
  FOLDER <tab> path <tab> subfolders <tab> container class <tab> content count
  SPECIAL <tab> path <tab> 0xTTTT=<hex> ...   default-folder entry IDs on the root folder and Inbox
Paths join names with "/", the root folder is "". Exit 2 when the file cannot be opened."""
import sys

import pypff

STORE_TAGS = (0x0FF9, 0x3001, 0x35DF, 0x35E0, 0x35E2, 0x35E3, 0x35E4, 0x35E7, 0x67FF)
SPECIAL_TAGS = (0x36D0, 0x36D1, 0x36D2, 0x36D3, 0x36D4, 0x36D7)


def props(obj):
    out = {}
    for rs in range(obj.number_of_record_sets):
        s = obj.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            if e.value_type in (0x1E, 0x1F):
                out[e.entry_type] = (e.data_as_string or "").rstrip("\x00")
            elif e.value_type in (0x03, 0x0B):
                out[e.entry_type] = str(e.data_as_integer if e.value_type == 0x03 else int(e.data_as_boolean))
            elif e.value_type == 0x102:
                out[e.entry_type] = (e.data or b"").hex()
    return out


def main(path):
    f = pypff.file()
    try:
        f.open(path)
    except Exception as e:  # noqa: BLE001 - any failure to open is the answer
        print(f"cannot open: {e}")
        return 2
    sp = props(f.get_message_store())
    print("STORE\t" + "\t".join(f"0x{t:04X}={sp[t]}" for t in STORE_TAGS if t in sp))

    def walk(folder, path):
        p = props(folder)
        count = folder.number_of_sub_folders
        print(f"FOLDER\t{path}\t{count}\t{p.get(0x3613, '')}\t{p.get(0x3602, '')}")
        if path in ("", "Top of Personal Folders/Inbox"):
            print(f"SPECIAL\t{path}\t" + "\t".join(f"0x{t:04X}={p[t]}" for t in SPECIAL_TAGS if t in p))
        for i in range(count):
            sub = folder.get_sub_folder(i)
            name = sub.name or ""
            walk(sub, f"{path}/{name}" if path else name)

    walk(f.get_root_folder(), "")
    f.close()
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1]))
