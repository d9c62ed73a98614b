"""Prints, for every message pypff sees, its folder, subject and each attachment's name, size and
SHA-256, one line a message: folder | subject | name size sha256, ..."""
import hashlib
import sys

import pypff


def long_name(att):
    for rs in range(att.number_of_record_sets):
        s = att.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            if e.entry_type == 0x3707:
                return (e.data_as_string or "").rstrip("\x00")
    return ""


def walk(folder, path):
    for i in range(folder.get_number_of_sub_messages()):
        m = folder.get_sub_message(i)
        sums = []
        for a in range(m.number_of_attachments):
            att = m.get_attachment(a)
            data = att.read_buffer(att.size) if att.size else b""
            sums.append("%s %d %s" % (long_name(att), len(data), hashlib.sha256(data).hexdigest()))
        print(path, m.subject, ", ".join(sums), sep=" | ")
    for i in range(folder.get_number_of_sub_folders()):
        sub = folder.get_sub_folder(i)
        walk(sub, path + "/" + (sub.name or ""))


f = pypff.file()
f.open(sys.argv[1])
walk(f.get_root_folder(), "")
