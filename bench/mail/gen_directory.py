#!/usr/bin/env python3
"""Writes a Domino Directory export (DXL) of PEOPLE Person documents for the mail benchmark: the
five people the generated mail is from and to (with addresses of the directory's own), and
invented others.

usage: gen_directory.py OUT PEOPLE
"""
import sys
from xml.sax.saxutils import quoteattr, escape

BENCH_PEOPLE = [("Ann", "Lee", "Sales/Acme"), ("Bo", "Yu", "Research/Acme"), ("Carla", "Mendes", "Acme"),
                ("Dieter", "Müller", "Berlin/Acme"), ("Erik", "Svensson", "Partner")]


def canonical(first, last, org):
    parts = org.split("/")
    units = "".join(f"/OU={u}" for u in parts[:-1])
    return f"CN={first} {last}{units}/O={parts[-1]}"


def person(note_id, first, last, org, address):
    items = [("Form", "text", ["Person"]), ("Type", "text", ["Person"]),
             ("FullName", "names", [canonical(first, last, org), f"{first} {last}"]),
             ("FirstName", "text", [first]), ("LastName", "text", [last]),
             ("ShortName", "text", [(first[0] + last).lower()]), ("InternetAddress", "text", [address])]
    out = [f"<document form='Person'>\n<noteinfo noteid='{note_id:X}' unid='{note_id:032X}' sequence='1'/>\n"]
    for name, kind, values in items:
        flag = " names='true'" if kind == "names" else ""
        texts = "".join(f"<text>{escape(v)}</text>" for v in values)
        body = f"<textlist>{texts}</textlist>" if len(values) > 1 else texts
        out.append(f"<item name={quoteattr(name)}{flag}>{body}</item>\n")
    out.append("</document>\n")
    return "".join(out)


def main():
    path, count = sys.argv[1], int(sys.argv[2])
    with open(path, "w", encoding="utf-8") as f:
        f.write("<?xml version='1.0' encoding='utf-8'?>\n<database xmlns='http://www.lotus.com/dxl' version='9.0' "
                "title='Acme Directory' path='names.nsf' type='addressbook'>\n")
        for i in range(count):
            if i < len(BENCH_PEOPLE):
                first, last, org = BENCH_PEOPLE[i]
            else:
                first, last, org = f"Given{i}", f"Family{i}", f"Unit{i % 40}/Acme"
            address = f"{first}.{last}@directory.example".lower()
            f.write(person(0x1000 + 4 * i, first, last, org, address))
        f.write("</database>\n")


if __name__ == "__main__":
    main()
