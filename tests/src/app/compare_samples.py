#!/usr/bin/python3
"""ferrymark-convert on the bundled samples, in both PST formats, compared item by item with
the databases as the independent readers (pypff, pffexport, readpst) see the PSTs.

usage: compare_samples.py CONVERTER SOURCE_DIR VERIFIER (the ferrymark-verify tool, run on every PST)

The DXL is read here on its own: a view or folder lists its documents in an entries element
(namespace urn:ferrymark:view-entries), else a folder holds the documents whose $FolderRef
names it, else a view selecting @All holds every document. Mail goes to the default folder
of ($Inbox), ($Sent), ($Drafts) or ($Trash), or to the same-named nested folder of a user
folder; ($Calendar), the Person documents of People, ($ToDo) and the journal's entries go to
Calendar, Contacts, Tasks and Notes. Mail in none of those goes to "Junk E-mail" when ($JunkMail)
lists it, else to "All Documents"; mail in ($Follow-Up) is flagged. Prints one line per
difference and exits 1 on any.
"""
import base64
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from datetime import datetime, timedelta

DXL = "{http://www.lotus.com/dxl}"
ENTRIES = "{urn:ferrymark:view-entries}"
TOP = "Top of Personal Folders"
MAIL_FOLDERS = {"($Inbox)": "Inbox", "($Sent)": "Sent Items", "($Drafts)": "Drafts", "($Trash)": "Deleted Items"}
MSGFLAG_UNSENT = 0x8
MAIL_FORMS = {"memo", "reply", "reply with history", "phone message", "delivery report", "nondelivery report",
              "return receipt", "trace report"}
NOT_PLAIN_TEXT = {"attachmentref", "picture", "notesbitmap", "caption", "pardef", "objectref", "imagemap", "gif",
                  "jpeg", "png", "code", "formula", "javascript", "computedtext", "field"}


def local(tag):
    return tag.rsplit("}", 1)[-1]


def normal(text):
    return " ".join((text or "").split())


def dxl_time(value):
    """A DXL datetime as ISO UTC; a date alone counts as midnight UTC."""
    m = re.fullmatch(r"(\d{8})(?:T(\d{6})(?:,\d+)?(Z|[+-]\d{2}(?:\d{2})?)?)?", value.strip())
    if not m:
        return None
    t = datetime.strptime(m.group(1) + (m.group(2) or "000000"), "%Y%m%d%H%M%S")
    zone = m.group(3)
    if zone and zone != "Z":
        minutes = int(zone[1:3]) * 60 + int(zone[3:5] or 0)
        t -= timedelta(minutes=minutes if zone[0] == "+" else -minutes)
    return t.strftime("%Y-%m-%dT%H:%M:%S")


class Document:
    def __init__(self, element):
        info = element.find(DXL + "noteinfo")
        self.note_id = int(info.get("noteid"), 16)
        self.items = [(item.get("name", "").lower(), item) for item in element.findall(DXL + "item")]
        self.form = (self.values("Form") or [element.get("form", "")])[0]
        self.folder_refs = {v.upper() for v in self.values("$FolderRef")}

    def has(self, name):
        return any(n == name.lower() for n, _ in self.items)

    def values(self, name):
        for n, item in self.items:
            if n == name.lower():
                return [e.text or "" for e in item.iter() if local(e.tag) in ("text", "datetime", "number")]
        return []

    def value(self, name):
        return (self.values(name) or [""])[0].strip()

    def time(self, name):
        return dxl_time(self.value(name)) if self.value(name) else None

    def plain(self, name):
        out = []

        def walk(e):
            tag = local(e.tag)
            if tag in NOT_PLAIN_TEXT:
                return
            out.append("\n" if tag == "break" else e.text or "")
            for child in e:
                walk(child)
                out.append(child.tail or "")
            if tag == "par":
                out.append("\n")

        for n, item in self.items:
            if n == name.lower():
                walk(item)
        return normal("".join(out))

    def attachments(self):
        """The $FILE items, last first: the order the program stores them in."""
        out = []
        for n, item in self.items:
            f = item.find(f"{DXL}object/{DXL}file")
            if n == "$file" and f is not None:
                data = base64.b64decode("".join((f.findtext(DXL + "filedata") or "").split()))
                out.append({"name": f.get("name"), "size": len(data), "sha256": hashlib.sha256(data).hexdigest()})
        return out[::-1]


class Database:
    def __init__(self, path):
        root = ET.parse(path).getroot()
        self.documents = [Document(e) for e in root if local(e.tag) == "document"]
        by_id = {d.note_id: d for d in self.documents}
        self.views = {}
        for e in root:
            if local(e.tag) not in ("view", "folder"):
                continue
            unid = e.find(DXL + "noteinfo").get("unid", "").upper()
            entries = e.find(ENTRIES + "entries")
            formula = "".join(c.findtext(DXL + "formula") or "" for c in e.findall(DXL + "code")
                              if c.get("event") == "selection")
            if entries is not None:
                docs = [by_id[int(x.get("noteid"), 16)] for x in entries.findall(ENTRIES + "entry")
                        if int(x.get("noteid"), 16) in by_id]
            elif local(e.tag) == "folder":
                docs = [d for d in self.documents if unid and unid in d.folder_refs]
            elif "".join(formula.split()).upper() in ("SELECT@ALL", "@ALL"):
                docs = list(self.documents)
            else:
                docs = []
            self.views[e.get("name", "").split("|")[0].strip()] = (local(e.tag) == "folder", docs)


# ---- what the database says each item must look like ---------------------------------------

def placeholder(v):
    return v.strip() in ("", ".")


def is_internet(text):
    return bool(re.fullmatch(r"[^\s/=<>@]+@[^\s/=<>@]+\.[^\s/=<>@]+", text))


def notes_name(text):
    """(abbreviated, common name) of a Notes name: component labels and "@Domain" dropped."""
    text = re.sub(r"@[^/=]*$", "", text.strip()).strip()
    parts = [re.sub(r"^[A-Za-z]{1,2}\s*=", "", p.strip()).strip() for p in text.split("/")]
    return "/".join(parts), parts[0]


class Names:
    """What the database's Person documents and its mail's name and address pairs say of people."""

    def __init__(self, db):
        self.address, self.display = {}, {}
        for d in db.documents:
            if d.form.lower() == "person":
                inet = d.value("InternetAddress")
                if is_internet(inet):
                    for n in d.values("FullName") + d.values("ShortName"):
                        if not is_internet(n):
                            self.learn(n, inet)
                continue
            self.learn(d.value("From"), d.value("INetFrom"))
            for notes, internet in (("SendTo", "InetSendTo"), ("CopyTo", "InetCopyTo"),
                                    ("BlindCopyTo", "InetBlindCopyTo")):
                for n, i in zip(d.values(notes), d.values(internet)):
                    self.learn(n, i)

    def learn(self, name, internet):
        if not name.strip() or not is_internet(internet.strip()) or is_internet(name.strip()):
            return
        abbreviated, common = notes_name(name)
        for key in (abbreviated.lower(), common.lower()):
            self.address.setdefault(key, internet.strip())
        self.display.setdefault(internet.strip().lower(), common)

    def resolve(self, name, internet=""):
        """(display name, address) of a sender or recipient; None for neither."""
        name, internet = name.strip(), internet.strip()
        if is_internet(name):
            return (self.display.get(name.lower(), name), name)
        if is_internet(internet):
            return (notes_name(name)[1] if name else self.display.get(internet.lower(), internet), internet)
        if not name:
            return None
        abbreviated, common = notes_name(name)
        return (common, self.address.get(abbreviated.lower()) or self.address.get(common.lower()) or abbreviated)


def mended(names, doc, internet, notes):
    inet, people = doc.values(internet), doc.values(notes)
    out = [names.resolve(people[j] if j < len(people) else "", inet[j] if j < len(inet) else "")
           for j in range(max(len(inet), len(people)))]
    return [v for v in out if v]


def expect_mail(names, doc):
    sender = names.resolve(doc.value("From"), doc.value("INetFrom")) or ("", "")
    return {"kind": "mail", "note_id": doc.note_id, "subject": doc.value("Subject"), "body": doc.plain("Body"),
            "sender": sender, "to": mended(names, doc, "InetSendTo", "SendTo"),
            "cc": mended(names, doc, "InetCopyTo", "CopyTo"), "bcc": mended(names, doc, "InetBlindCopyTo", "BlindCopyTo"),
            "sent": doc.time("PostedDate"), "attachments": doc.attachments(), "follow_up": False}


def expect_appointment(doc):
    start, end = doc.time("StartDateTime"), doc.time("EndDateTime")
    if doc.value("AppointmentType") in ("1", "2") and start:
        # Anniversaries and all-day events run from midnight to the midnight after their last
        # day (the converter runs in UTC).
        last = datetime.fromisoformat((end or start)[:10])
        start, end = start[:10] + "T00:00:00", (last + timedelta(days=1)).strftime("%Y-%m-%dT%H:%M:%S")
    return {"kind": "appointment", "subject": doc.value("Subject"), "body": doc.plain("Body"),
            "start": start, "end": end, "location": doc.value("Location"),
            "categories": doc.values("Categories")[:1], "attachments": doc.attachments()}


def expect_distlist(names, doc):
    """A Group document: a distribution list of its members' one-off entry IDs."""
    members = [names.resolve(m) for m in doc.values("Members")]
    return {"kind": "distlist", "subject": doc.value("ListName"), "body": doc.plain("ListDescription"),
            "members": [m for m in members if m]}


def expect_contact(doc):
    full = doc.values("FullName")
    e = {"kind": "contact", "email": full[2] if len(full) == 3 else doc.value("MailAddress"),
         "body": doc.plain("Comment"), "categories": doc.values("Categories"),
         "birthday": (doc.time("Birthday") or "")[:10], "anniversary": (doc.time("Anniversary") or "")[:10]}
    for key in ("FirstName", "MiddleInitial", "LastName", "CompanyName", "JobTitle", "Department", "WebSite",
                "OfficePhoneNumber", "CellPhoneNumber", "PhoneNumber", "OfficeFAXPhoneNumber", "HomeFAXPhoneNumber",
                "OfficeStreetAddress", "OfficeCity", "OfficeState", "OfficeZip", "OfficeCountry",
                "StreetAddress", "City", "State", "Zip", "Country"):
        e[key] = doc.value(key)
    e["subject"] = " ".join(v for v in (e["FirstName"], e["MiddleInitial"], e["LastName"]) if v)
    return e


def expect_task(doc):
    return {"kind": "task", "subject": doc.value("Subject"), "body": doc.plain("Body"), "due": doc.time("DueDate"),
            "categories": doc.values("Categories")[:1]}


def expect_note(doc):
    return {"kind": "note", "subject": doc.value("Subject"), "body": doc.plain("Body")}


def expectations(db):
    """PST folder path -> expected items, in view order."""
    out = {}
    names = Names(db)
    for name, (is_folder, docs) in db.views.items():
        if name in MAIL_FOLDERS:
            path = f"{TOP}/{MAIL_FOLDERS[name]}"
        elif is_folder and not name.startswith("("):
            path = f"{TOP}/" + name.replace("\\", "/")
        else:
            continue
        out.setdefault(path, []).extend(expect_mail(names, d) for d in docs)
    for view, folder, make, forms in (("($Calendar)", "Calendar", expect_appointment, None),
                                      ("People", "Contacts", expect_contact, {"person"}),
                                      ("($ToDo)", "Tasks", expect_task, None),
                                      ("($All)", "Notes", expect_note, {"journalentry"})):
        if view in db.views:
            docs = [d for d in db.views[view][1] if forms is None or d.form.lower() in forms]
            if docs:
                out[f"{TOP}/{folder}"] = [make(d) for d in docs]
            if view == "People":
                out.setdefault(f"{TOP}/{folder}", []).extend(
                    expect_distlist(names, d) for d in db.views[view][1] if d.form.lower() == "group")
    # Mail no exported folder or view lists still arrives: junk mail in "Junk E-mail", the rest in
    # "All Documents" (the sample keeps folder membership); ($Follow-Up) mail is flagged.
    given = set()
    for name, (is_folder, docs) in db.views.items():
        if name in MAIL_FOLDERS or (is_folder and not name.startswith("(")) or name in ("($Calendar)", "People",
                                                                                        "($ToDo)"):
            given.update(d.note_id for d in docs)
    junk = {d.note_id for d in db.views.get("($JunkMail)", (True, []))[1]}
    follow_up = {d.note_id for d in db.views.get("($Follow-Up)", (True, []))[1]}
    for d in db.documents:
        if d.note_id not in given and d.form.lower() in MAIL_FORMS:
            folder = "Junk E-mail" if d.note_id in junk else "All Documents"
            out.setdefault(f"{TOP}/{folder}", []).append(expect_mail(names, d))
    for path, items in out.items():
        for e in items:
            if e["kind"] == "mail":
                e["follow_up"] = e["note_id"] in follow_up
                e["draft"] = path == f"{TOP}/Drafts"
    return out


# ---- the comparison ---------------------------------------------------------------------

class Differences:
    def __init__(self):
        self.lines = []

    def add(self, where, field, expected, actual):
        self.lines.append(f"{where}: {field}: expected {expected!r}, got {actual!r}")

    def same(self, where, field, expected, actual):
        if expected != actual:
            self.add(where, field, expected, actual)

    def same_or_empty(self, where, field, expected, actual):
        """An empty expectation also accepts a property left out."""
        if expected != actual and not (expected in ("", None, []) and actual in ("", None, [])):
            self.add(where, field, expected, actual)


def ical_time(value):
    m = re.fullmatch(r"(\d{8})(?:T(\d{6})Z?)?", value or "")
    return datetime.strptime(m.group(1) + (m.group(2) or "000000"), "%Y%m%d%H%M%S").strftime(
        "%Y-%m-%dT%H:%M:%S") if m else value


def pff_time(value):
    m = re.match(r"(\w{3} \d{2}, \d{4} \d{2}:\d{2}:\d{2})", value or "")
    return datetime.strptime(m.group(1), "%b %d, %Y %H:%M:%S").strftime("%Y-%m-%dT%H:%M:%S") if m else value


def names(people):
    return None if people is None else [p.get("name") for p in people]


def compare_mail(d, where, reader, e, item):
    d.same(where, "sender_name", e["sender"][0], item.get("sender_name"))
    d.same(where, "sender_email", e["sender"][1], item.get("sender_email"))
    d.same(where, "body", e["body"], normal(item.get("body")))
    if e["sent"]:
        d.same(where, "sent", e["sent"], item.get("sent"))
    for kind in ("to", "cc", "bcc"):
        d.same(where, kind, [p[0] for p in e[kind]], names(item.get(kind)))
        if reader == "pffexport":
            d.same(where, kind + " addresses", [p[1] for p in e[kind]], [p.get("email") for p in item.get(kind) or []])
    if reader in ("pypff", "pffexport"):   # drafts stay unsent, so that Outlook lets them be edited and sent
        d.same(where, "message flags (unsent bit)", MSGFLAG_UNSENT if e.get("draft") else 0,
               (item.get("flags") or 0) & MSGFLAG_UNSENT)
    if reader == "pypff":
        d.same(where, "message_class", "IPM.Note", item.get("message_class"))
        # PidTagFlagStatus: followupFlagged (2) for ($Follow-Up) mail, absent otherwise.
        d.same(where, "flag status", 2 if e["follow_up"] else None, item.get("props", {}).get("0x1090"))


def compare_extracted(d, where, e, item, message_class):
    """What pst-extractor shows of every item kind: its class and its body."""
    d.same(where, "message_class", message_class, item.get("message_class"))
    d.same(where, "body", e["body"], normal(item.get("body")))


def compare_appointment(d, where, reader, e, item, ansi):
    if reader == "pst_extractor":
        compare_extracted(d, where, e, item, "IPM.Appointment")
    elif reader == "pypff":
        p, n = item["props"], item["named"]
        d.same(where, "message_class", "IPM.Appointment", item.get("message_class"))
        d.same(where, "start (PR_START_DATE)", e["start"], p.get("0x0060"))
        d.same(where, "end (PR_END_DATE)", e["end"], p.get("0x0061"))
        d.same(where, "start (AppointmentStartWhole)", e["start"], n.get("PSETID_Appointment:0x820D"))
        d.same(where, "end (AppointmentEndWhole)", e["end"], n.get("PSETID_Appointment:0x820E"))
        d.same_or_empty(where, "location", e["location"], n.get("PSETID_Appointment:0x8208"))
        d.same_or_empty(where, "categories", e["categories"], n.get("PS_PUBLIC_STRINGS:Keywords"))
        d.same(where, "body", e["body"], normal(item.get("body")))
    elif reader == "pffexport":
        f = item.get("fields", {}).get("Appointment", {})
        d.same(where, "start", e["start"], pff_time(f.get("Start time")))
        d.same(where, "end", e["end"], pff_time(f.get("End time")))
        d.same_or_empty(where, "location", e["location"], f.get("Location"))
    else:
        ical = item.get("ical", {})
        d.same(where, "DTSTART", e["start"], ical_time(ical.get("DTSTART")))
        d.same(where, "DTEND", e["end"], ical_time(ical.get("DTEND")))
        d.same_or_empty(where, "LOCATION", e["location"], ical.get("LOCATION"))
        d.same(where, "DESCRIPTION", e["body"], normal(ical.get("DESCRIPTION")))
        # readpst shows Keywords only when they are 8-bit strings, so only in ANSI files
        if ansi and e["categories"]:
            d.same(where, "CATEGORIES", ", ".join(e["categories"]), ical.get("CATEGORIES"))


def first(value):
    return value[0] if isinstance(value, list) else value


def compare_distlist(d, where, reader, e, item, ansi):
    if reader == "pst_extractor":
        compare_extracted(d, where, e, item, "IPM.DistList")
    elif reader == "pypff":
        n = item["named"]
        d.same(where, "message_class", "IPM.DistList", item.get("message_class"))
        d.same(where, "list name", e["subject"], n.get("PSETID_Address:0x8053"))
        members = n.get("PSETID_Address:0x8055") or []
        d.same(where, "one-off members", members, n.get("PSETID_Address:0x8054"))
        d.same(where, "members", len(e["members"]), len(members))
        for (name, address), member in zip(e["members"], members):
            encoded = address.encode("cp1252" if ansi else "utf-16-le").hex()
            if encoded not in member:
                d.add(where, "member", address, member)


def compare_contact(d, where, reader, e, item, ansi):
    office = [e[k] for k in ("OfficeStreetAddress", "OfficeCity", "OfficeState", "OfficeZip", "OfficeCountry")]
    home = [e[k] for k in ("StreetAddress", "City", "State", "Zip", "Country")]
    if reader == "pst_extractor":
        compare_extracted(d, where, e, item, "IPM.Contact")
    elif reader == "pypff":
        p, n = item["props"], item["named"]
        d.same(where, "message_class", "IPM.Contact", item.get("message_class"))
        d.same(where, "body", e["body"], normal(item.get("body")))
        d.same_or_empty(where, "email (Email1EmailAddress)", e["email"], n.get("PSETID_Address:0x8083"))
        d.same_or_empty(where, "categories", e["categories"], n.get("PS_PUBLIC_STRINGS:Keywords"))
        tagged = {"0x3001": e["subject"], "0x3A06": e["FirstName"], "0x3A44": e["MiddleInitial"],
                  "0x3A11": e["LastName"], "0x3A16": e["CompanyName"], "0x3A17": e["JobTitle"],
                  "0x3A18": e["Department"], "0x3A51": e["WebSite"], "0x3A08": e["OfficePhoneNumber"],
                  "0x3A1C": e["CellPhoneNumber"], "0x3A09": e["PhoneNumber"], "0x3A24": e["OfficeFAXPhoneNumber"],
                  "0x3A25": e["HomeFAXPhoneNumber"]}
        tagged.update(zip(("0x3A29", "0x3A27", "0x3A28", "0x3A2A", "0x3A26"), office))
        tagged.update(zip(("0x3A5D", "0x3A59", "0x3A5C", "0x3A5B", "0x3A5A"), home))
        for tag, expected in tagged.items():
            d.same_or_empty(where, tag, expected, p.get(tag))
        d.same_or_empty(where, "birthday (0x3A42)", e["birthday"], (p.get("0x3A42") or "")[:10])
        d.same_or_empty(where, "anniversary (0x3A41)", e["anniversary"], (p.get("0x3A41") or "")[:10])
    elif reader == "pffexport":
        f = item.get("fields", {}).get("Contact", {})
        for field, expected in (("Given name", e["FirstName"]), ("Surname", e["LastName"]),
                                ("Email address 1", e["email"]), ("Company name", e["CompanyName"]),
                                ("Job title", e["JobTitle"]), ("Department name", e["Department"]),
                                ("Business phone number 1", e["OfficePhoneNumber"]),
                                ("Mobile phone number", e["CellPhoneNumber"]), ("Home phone number", e["PhoneNumber"]),
                                ("Locality", e["OfficeCity"]), ("Country", e["OfficeCountry"])):
            d.same_or_empty(where, field, expected, f.get(field))
        d.same(where, "subject", e["subject"], item.get("subject"))
    else:
        v = item.get("vcard", {})
        d.same(where, "N", f"{e['LastName']};{e['FirstName']};{e['MiddleInitial']};;", v.get("N"))
        for field, expected in (("EMAIL", e["email"]), ("ORG", e["CompanyName"]), ("TITLE", e["JobTitle"]),
                                ("TEL;TYPE=work,voice", e["OfficePhoneNumber"]),
                                ("TEL;TYPE=cell,voice", e["CellPhoneNumber"]),
                                ("TEL;TYPE=home,voice", e["PhoneNumber"]),
                                ("TEL;TYPE=work,fax", e["OfficeFAXPhoneNumber"]),
                                ("TEL;TYPE=home,fax", e["HomeFAXPhoneNumber"]),
                                ("ADR;TYPE=work", ";;" + ";".join(office) if any(office) else ""),
                                ("ADR;TYPE=home", ";;" + ";".join(home) if any(home) else "")):
            d.same_or_empty(where, field, expected, first(v.get(field)))
        d.same_or_empty(where, "BDAY", e["birthday"], (v.get("BDAY") or "")[:10])
        d.same(where, "NOTE", e["body"], normal(v.get("NOTE")))
        if ansi and e["categories"]:
            d.same(where, "CATEGORIES", sorted(e["categories"]), sorted((v.get("CATEGORIES") or "").split(", ")))


def compare_task(d, where, reader, e, item):
    d.same(where, "body", e["body"], normal(item.get("body")))
    if reader in ("pypff", "pst_extractor"):
        d.same(where, "message_class", "IPM.Task", item.get("message_class"))
    if reader == "pypff":
        d.same(where, "due date (TaskDueDate)", e["due"], item["named"].get("PSETID_Task:0x8105"))
        d.same_or_empty(where, "categories", e["categories"], item["named"].get("PS_PUBLIC_STRINGS:Keywords"))
    elif reader == "pffexport":
        d.same(where, "due date", e["due"], pff_time(item.get("fields", {}).get("Task", {}).get("Due date")))


def compare_note(d, where, reader, e, item):
    d.same(where, "body", e["body"], normal(item.get("body")))
    if reader in ("pypff", "pst_extractor"):
        d.same(where, "message_class", "IPM.StickyNote", item.get("message_class"))


def match(e, items, used):
    for i, item in enumerate(items):
        if i in used:
            continue
        if "vcard" in item:
            found = (item["vcard"].get("N") or "").split(";")[:2] == [e.get("LastName"), e.get("FirstName")]
        else:
            found = (item.get("subject") or "").strip() == e["subject"]
        if found:
            used.add(i)
            return item
    return None


def compare(d, label, expected, readers, ansi):
    skipped_kinds = {"task", "note", "distlist"}   # readpst has no output for these
    for reader, seen in readers.items():
        folders = {f["path"]: f["items"] for f in seen["folders"]}
        for path, items in folders.items():
            if items and path not in expected and path.startswith(TOP):
                d.add(f"[{label}] {reader} {path}", "items", 0, [i.get("subject") for i in items])
        for path, wanted in expected.items():
            if reader == "readpst":
                wanted = [e for e in wanted if e["kind"] not in skipped_kinds]
                if not wanted:
                    continue   # readpst makes no folder without output
            items = folders.get(path)
            if items is None:
                d.add(f"[{label}] {reader} {path}", "folder", "present", "missing")
                continue
            d.same(f"[{label}] {reader} {path}", "number of items", len(wanted), len(items))
            used = set()
            for e in wanted:
                where = f"[{label}] {reader} {path} '{e['subject']}'"
                item = match(e, items, used)
                if item is None:
                    d.add(where, "item", "present", "missing")
                    continue
                if "attachments" in e and "attachments" in item:
                    got, want = item["attachments"], e["attachments"]
                    if reader == "readpst":   # readpst lists them in an order of its own
                        got, want = sorted(got, key=json.dumps), sorted(want, key=json.dumps)
                    d.same(where, "attachments", want, got)
                elif "attachments" in e and e["kind"] == "mail":
                    d.add(where, "attachments", e["attachments"], None)
                if e["kind"] == "mail":
                    compare_mail(d, where, reader, e, item)
                elif e["kind"] == "appointment":
                    compare_appointment(d, where, reader, e, item, ansi)
                elif e["kind"] == "contact":
                    compare_contact(d, where, reader, e, item, ansi)
                elif e["kind"] == "distlist":
                    compare_distlist(d, where, reader, e, item, ansi)
                elif e["kind"] == "task":
                    compare_task(d, where, reader, e, item)
                else:
                    compare_note(d, where, reader, e, item)
    skippable = sum(1 for w in expected.values() for e in w if e["kind"] in skipped_kinds)
    rp = readers["readpst"]
    d.same(f"[{label}] readpst", "skipped items (only tasks and sticky notes)", skippable, rp["skipped"])
    for folder in rp.get("skipped_by_folder", {}):
        if folder not in ("Tasks", "Notes", "Contacts"):
            d.add(f"[{label}] readpst", "skipped in folder", "Tasks or Notes only", folder)


def main():
    converter, source, verifier = sys.argv[1:4]
    databases = [os.path.join(source, "samples", n) for n in ("mailfile.dxl", "personaljournal.dxl")]
    expected = [expectations(Database(p)) for p in databases]
    work = tempfile.mkdtemp(prefix="compare-samples-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", TZ="UTC", FERRYMARK_PROFILE=os.path.join(work, "profile"),
               TMPDIR=work)
    d = Differences()
    compared = 0
    try:
        for fmt in ("unicode", "ansi"):
            out = os.path.join(work, fmt)
            os.makedirs(out)
            run = subprocess.run([converter, "--format", fmt, "--out", out] + databases, env=env,
                                 capture_output=True, text=True, timeout=120)
            psts = [line for line in run.stdout.splitlines() if line.startswith("/") and line.endswith(".pst")]
            if run.returncode != 0 or len(psts) != len(databases):
                print(run.stdout + run.stderr)
                print(f"FAIL: ferrymark-convert --format {fmt}: exit {run.returncode}, {len(psts)} PST paths")
                return 1
            # Each run names its report and sums it up in one line; nothing failed.
            reports = [line[len("report: "):] for line in run.stdout.splitlines() if line.startswith("report: ")]
            summaries = [line for line in run.stdout.splitlines() if re.fullmatch(r"written \d+, skipped \d+, failed \d+", line)]
            if len(reports) != len(databases) or any(not s.endswith(", failed 0") for s in summaries) \
                    or len(summaries) != len(databases):
                d.add(f"[{fmt}] ferrymark-convert", "report lines", "a report and 'failed 0' per database",
                      run.stdout.strip())
            for report in reports:
                csv = report[:-len(".txt")] + ".csv"
                if not (os.path.isfile(report) and os.path.isfile(csv)):
                    d.add(f"[{fmt}] report", report, "the .txt and .csv beside the PST", "missing")
            for database, pst, wanted in zip(databases, psts, expected):
                label = f"{fmt} {os.path.basename(database)}"
                check = subprocess.run([verifier, "--strict", pst], capture_output=True, text=True)
                if check.returncode != 0:
                    d.add(f"[{label}] ferrymark-verify", "result", "no findings", (check.stdout + check.stderr).strip())
                readers = subprocess.run(["/usr/bin/python3", os.path.join(source, "tests", "support",
                                                                           "pst_readers.py"), pst],
                                         capture_output=True, text=True)
                if readers.returncode != 0:
                    d.add(f"[{label}] readers", "result", "readable", readers.stderr.strip())
                    continue
                seen = json.loads(readers.stdout)
                paths = {f["path"] for f in seen["pypff"]["folders"]}
                for folder in ("Inbox", "Sent Items", "Drafts", "Deleted Items", "Calendar", "Contacts", "Tasks",
                               "Notes", "Folders"):
                    if "Top of Personal Folders/" + folder not in paths:
                        d.add(f"[{label}] pypff", "folder " + folder, "present", "missing")
                compare(d, label, wanted, seen, fmt == "ansi")
                compared += sum(len(w) for w in wanted.values())
        # A database that is not there: an error line and a non-zero exit, never a PST path.
        bad = subprocess.run([converter, "--out", work, os.path.join(work, "missing.dxl")], env=env,
                             capture_output=True, text=True, timeout=60)
        if bad.returncode == 0 or not any(line.startswith("error: ") for line in bad.stdout.splitlines()):
            d.add("[missing.dxl] ferrymark-convert", "result", "an error line and a non-zero exit",
                  f"exit {bad.returncode}: {bad.stdout.strip()}")
        # A file the reader refuses: the error line gives its reason, with the file, line and column.
        broken = os.path.join(work, "broken.dxl")
        with open(broken, "w") as f:
            f.write("<?xml version='1.0'?>\n<database xmlns='http://www.lotus.com/dxl'>\n  <note></database>\n")
        bad = subprocess.run([converter, "--out", work, broken], env=env, capture_output=True, text=True, timeout=60)
        errors = [line for line in bad.stdout.splitlines() if line.startswith("error: ")]
        if bad.returncode == 0 or len(errors) != 1 or broken + ":3:" not in errors[0]:
            d.add("[broken.dxl] ferrymark-convert", "result", "an error line naming broken.dxl:3:",
                  f"exit {bad.returncode}: {bad.stdout.strip()}")
    finally:
        shutil.rmtree(work, ignore_errors=True)
    if d.lines:
        print("\n".join(d.lines))
        print(f"FAIL: {len(d.lines)} differences")
        return 1
    print(f"compare_samples: {compared} items match the databases in every reader")
    return 0


if __name__ == "__main__":
    sys.exit(main())
