#!/usr/bin/python3
"""What each independent reader sees in a PST, as one JSON object, so tests can compare it
with the database the PST was made from.

usage: /usr/bin/python3 pst_readers.py FILE.pst

Output: {"pypff": {"folders": [...]}, "pffexport": {"folders": [...]},
         "readpst": {"folders": [...], "skipped": N, "skipped_by_folder": {name: N}}}
Each folder is {"path": "Top of Personal Folders/Inbox", "items": [...]}, items in the reader's
order. An item holds only what its reader shows:
  subject, message_class, sender_name, sender_email, flags (PR_MESSAGE_FLAGS),
  sent, received            ISO "YYYY-MM-DDTHH:MM:SS", UTC
  body                      plain text, line ends LF, trailing whitespace stripped
  to, cc, bcc               [{"name", "email"}]; pypff: names from PR_DISPLAY_TO/CC/BCC (no
                            address); pffexport: its Recipients.txt; readpst: the eml headers
                            (To, Cc, X-libpst-forensic-bcc; names only)
  html                      the HTML body as text (pypff: html_body in the code page of
                            PR_INTERNET_CPID; pffexport: Message.html; readpst: the text/html part)
  attachments               [{"name", "size", "sha256"}], files only (not embedded messages);
                            pypff adds "content_id" where the attachment has one, and
                            "hidden": true for a hidden one
  attachment_props (pypff)  per attachment, its properties as props gives them
  embedded   (pffexport)    the embedded messages of the item's attachments, as items
  props      (pypff)        every readable property, {"0xTTTT": value} as pstdump.py --props
                            writes it, plus multi-valued strings and integers as lists
  named      (pypff)        the named properties among props, by name:
                            {"PSETID_Task:0x8105": ..., "PS_PUBLIC_STRINGS:Keywords": [...]}
  fields     (pffexport)    its item description file by section: {"Appointment": {"Location": ...}}
  vcard      (readpst .vcf) property name as written ("TEL;TYPE=work,voice") -> value; a name
                            written more than once maps to the list of its values; the
                            assistant card readpst nests after "AGENT:BEGIN:VCARD" is "AGENT.FN"...
  ical       (readpst .ics) VEVENT property name without parameters -> value, "ATTACH" a list
vCard and iCalendar values are unfolded and unescaped (\\n, \\, and \\\\), except that "\\;"
stays, so structured values (N, ADR) still split on ";".
For readpst, sender_email is X-libpst-forensic-sender when readpst writes one (it puts
MAILER-DAEMON in From for an address without "@"). readpst runs with -D (deleted items too)
and -b (no RTF body attachments); "skipped" sums its "items skipped" summary lines,
"skipped_by_folder" gives the folders with any, by the name readpst prints.
For Unicode files, "pst_extractor" holds what the npm package pst-extractor sees (through
pst_extractor.js; folders and items as above, with subject, message_class, sender_name,
sender_email, sent, received, body, to/cc/bcc and attachments), when node and the package
(installed in node_modules beside this script by the test command) are there.
Exit 2 with a message on stderr when a reader cannot open the file.
"""
import email
import email.header
import email.policy
import email.utils
import hashlib
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile
import uuid
from datetime import datetime, timezone

TOP = "Top of Personal Folders"
PR_DISPLAY_BCC, PR_DISPLAY_CC, PR_DISPLAY_TO = 0x0E02, 0x0E03, 0x0E04
GUIDS = {  # [MS-OXPROPS] property sets, as the name-to-ID map stores them (little-endian GUIDs)
    "00062004-0000-0000-c000-000000000046": "PSETID_Address",
    "00062002-0000-0000-c000-000000000046": "PSETID_Appointment",
    "00062008-0000-0000-c000-000000000046": "PSETID_Common",
    "0006200a-0000-0000-c000-000000000046": "PSETID_Log",
    "6ed8da90-450b-101b-98da-00aa003f1305": "PSETID_Meeting",
    "0006200e-0000-0000-c000-000000000046": "PSETID_Note",
    "00062003-0000-0000-c000-000000000046": "PSETID_Task",
    "00020329-0000-0000-c000-000000000046": "PS_PUBLIC_STRINGS",
    "00020328-0000-0000-c000-000000000046": "PS_MAPI",
    "00020386-0000-0000-c000-000000000046": "PS_INTERNET_HEADERS",
}


def fail(message):
    print(f"pst_readers: {message}", file=sys.stderr)
    sys.exit(2)


def iso(t):
    if t is None:
        return None
    if t.tzinfo is not None:
        t = t.astimezone(timezone.utc)
    return t.strftime("%Y-%m-%dT%H:%M:%S")


def clean(text):
    return text.replace("\r\n", "\n").rstrip()


def attachment(name, data):
    return {"name": name, "size": len(data), "sha256": hashlib.sha256(data).hexdigest()}


def put(item, key, value):
    if value is not None:
        item[key] = value


# ---- pypff ------------------------------------------------------------------------------

def multi_value(data, value_type):
    """[MS-PST] 2.3.3.4.2: a count, then an offset per value, then the values."""
    count = int.from_bytes(data[:4], "little")
    if value_type == 0x1003:
        return [int.from_bytes(data[4 * i:4 * i + 4], "little", signed=True) for i in range(count)]
    offsets = [int.from_bytes(data[4 + 4 * i:8 + 4 * i], "little") for i in range(count)] + [len(data)]
    if value_type == 0x1102:
        return [data[offsets[i]:offsets[i + 1]].hex() for i in range(count)]
    codec = "utf-16-le" if value_type == 0x101F else "cp1252"
    return [data[offsets[i]:offsets[i + 1]].decode(codec, "replace").rstrip("\x00") for i in range(count)]


def props_of(obj):
    out = {}
    for rs in range(obj.number_of_record_sets):
        s = obj.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            key, vt = f"0x{e.entry_type:04X}", e.value_type
            try:
                if vt in (0x1E, 0x1F):
                    out[key] = (e.data_as_string or "").rstrip("\x00")
                elif vt == 0x40:
                    out[key] = iso(e.data_as_datetime)
                elif vt in (0x02, 0x03, 0x14):
                    out[key] = e.data_as_integer
                elif vt == 0x0B:
                    out[key] = bool(e.data_as_boolean)
                elif vt == 0x05:
                    out[key] = e.data_as_floating_point
                elif vt == 0x102:
                    out[key] = (e.data or b"").hex()
                elif vt in (0x1003, 0x101E, 0x101F, 0x1102):
                    out[key] = multi_value(e.data or b"", vt)
            except Exception:  # noqa: BLE001 - a value the reader cannot decode is left out
                pass
    return out


def named_ids(pst):
    """Mapped ID (0x8000 and up) -> "SET:0xLID" or "SET:Name", from the name-to-ID map."""
    streams = {}
    nmap = pst.name_to_id_map
    for rs in range(nmap.number_of_record_sets):
        s = nmap.get_record_set(rs)
        for i in range(s.number_of_entries):
            e = s.get_entry(i)
            if e.entry_type in (2, 3, 4):
                streams[e.entry_type] = e.data or b""
    guids, entries, strings = streams.get(2, b""), streams.get(3, b""), streams.get(4, b"")
    out = {}
    for off in range(0, len(entries) - 7, 8):
        ident = int.from_bytes(entries[off:off + 4], "little")
        guid_field = int.from_bytes(entries[off + 4:off + 6], "little")
        index = int.from_bytes(entries[off + 6:off + 8], "little")
        g = guid_field >> 1
        if g == 1:
            space = "PS_MAPI"
        elif g == 2:
            space = "PS_PUBLIC_STRINGS"
        else:
            raw = guids[(g - 3) * 16:(g - 2) * 16]
            text = str(uuid.UUID(bytes_le=raw)) if len(raw) == 16 else f"guid{g}"
            space = GUIDS.get(text, text)
        if guid_field & 1:
            size = int.from_bytes(strings[ident:ident + 4], "little")
            name = strings[ident + 4:ident + 4 + size].decode("utf-16-le", "replace")
        else:
            name = f"0x{ident:04X}"
        out[f"0x{0x8000 + index:04X}"] = f"{space}:{name}"
    return out


def display_list(value):
    return [{"name": n.strip()} for n in value.split(";") if n.strip()] if value else []


def read_pypff(path):
    import pypff
    pst = pypff.file()
    try:
        pst.open(path)
    except Exception as e:  # noqa: BLE001
        fail(f"pypff cannot open {path}: {e}")
    names = named_ids(pst)
    folders = []

    def walk(folder, parent):
        here = f"{parent}/{folder.name}" if parent else (folder.name or "")
        items = []
        for i in range(folder.number_of_sub_messages):
            m = folder.get_sub_message(i)
            p = props_of(m)
            item = {}
            put(item, "subject", m.subject)
            put(item, "message_class", p.get("0x001A"))
            put(item, "sender_name", m.sender_name)
            put(item, "sender_email", p.get("0x0C1F"))
            put(item, "flags", p.get("0x0E07"))
            put(item, "sent", iso(m.client_submit_time))
            put(item, "received", iso(m.delivery_time))
            try:
                body = m.plain_text_body
            except Exception:  # noqa: BLE001
                body = None
            if isinstance(body, bytes):
                body = body.decode("utf-8", "replace")
            put(item, "body", clean(body.rstrip("\x00")) if body is not None else None)
            try:
                html = m.html_body
            except Exception:  # noqa: BLE001
                html = None
            if html:
                codec = "cp1252" if p.get("0x3FDE") == 1252 else "utf-8"
                put(item, "html", html.rstrip(b"\x00").decode(codec, "replace"))
            for key, tag in (("to", PR_DISPLAY_TO), ("cc", PR_DISPLAY_CC), ("bcc", PR_DISPLAY_BCC)):
                if f"0x{tag:04X}" in p:
                    item[key] = display_list(p[f"0x{tag:04X}"])
            atts, att_props = [], []
            for a in range(m.number_of_attachments):
                att = m.get_attachment(a)
                ap = props_of(att)
                att_props.append(ap)
                if ap.get("0x3705") == 5:  # an embedded message: in attachment_props only
                    continue
                data = att.read_buffer(att.size) if att.size else b""
                a = attachment(ap.get("0x3707") or ap.get("0x3704") or ap.get("0x3001"), data)
                put(a, "content_id", ap.get("0x3712"))
                if ap.get("0x7FFE"):
                    a["hidden"] = True
                atts.append(a)
            item["attachments"] = atts
            item["attachment_props"] = att_props
            item["props"] = p
            item["named"] = {names[k]: v for k, v in p.items() if k in names}
            items.append(item)
        if here:
            folders.append({"path": here, "items": items})
        for i in range(folder.number_of_sub_folders):
            walk(folder.get_sub_folder(i), here)

    walk(pst.get_root_folder(), "")
    return {"folders": folders}


# ---- pffexport --------------------------------------------------------------------------

ITEM_DIR = re.compile(r"^[A-Z][A-Za-z ]*?(\d{5})$")


def pff_time(text):
    m = re.match(r"(\w{3} \d{2}, \d{4} \d{2}:\d{2}:\d{2})", text or "")
    return iso(datetime.strptime(m.group(1), "%b %d, %Y %H:%M:%S")) if m else None


def read_text(path):
    with open(path, encoding="utf-8", errors="replace") as f:
        return f.read()


def pff_item(directory):
    item, sections, section = {}, {}, None
    described = [f for f in os.listdir(directory) if f.endswith(".txt")
                 and f not in ("Message.txt", "Recipients.txt", "ConversationIndex.txt", "InternetHeaders.txt")]
    for line in (read_text(os.path.join(directory, described[0])).split("\n") if described else []):
        header = re.match(r"^(\w[\w ]*):$", line)
        if header:
            section = header.group(1)
            if section == "Body":
                break
            sections[section] = {}
            continue
        pair = re.match(r"^([^\t:][^\t]*?):\t+(.*)$", line)
        if pair and section:
            sections[section][pair.group(1)] = pair.group(2)
    message = sections.get("Message", {})
    for key, field in (("subject", "Subject"), ("sender_name", "Sender name"),
                       ("sender_email", "Sender email address")):
        put(item, key, message.get(field))
    put(item, "sent", pff_time(message.get("Client submit time")))
    put(item, "received", pff_time(message.get("Delivery time")))
    if "Flags" in message:
        item["flags"] = int(message["Flags"].split()[0], 16)
    if os.path.exists(os.path.join(directory, "Message.txt")):
        item["body"] = clean(read_text(os.path.join(directory, "Message.txt")))
    if os.path.exists(os.path.join(directory, "Message.html")):
        with open(os.path.join(directory, "Message.html"), "rb") as f:
            data = f.read()
        try:
            item["html"] = data.decode("utf-8")
        except UnicodeDecodeError:
            item["html"] = data.decode("cp1252", "replace")
    recipients = os.path.join(directory, "Recipients.txt")
    if os.path.exists(recipients):
        for key in ("to", "cc", "bcc"):
            item[key] = []
        for block in read_text(recipients).split("\n\n"):
            values = dict(re.findall(r"^([^\t:]+):\t+(.*)$", block, re.M))
            kind = values.get("Recipient type", "").lower()
            if kind in ("to", "cc", "bcc"):
                item[kind].append({"name": values.get("Display name", ""), "email": values.get("Email address", ""),
                                   "type": values.get("Address type", "")})
    atts = []
    folder = os.path.join(directory, "Attachments")
    if os.path.isdir(folder):
        numbered = [(int(n.split("_", 1)[0]), n) for n in os.listdir(folder) if re.match(r"^\d+_", n)]
        for _, n in sorted(numbered):
            full = os.path.join(folder, n)
            if os.path.isfile(full):
                with open(full, "rb") as f:
                    atts.append(attachment(n.split("_", 1)[1], f.read()))
    item["attachments"] = atts
    # Embedded messages: pffexport writes each as an item folder inside its attachment's folder.
    embedded = []
    if os.path.isdir(folder):
        for n in sorted(os.listdir(folder)):
            full = os.path.join(folder, n)
            if os.path.isdir(full):
                embedded += [pff_item(os.path.join(full, i)) for i in sorted(os.listdir(full))
                             if os.path.isdir(os.path.join(full, i))]
    if embedded:
        item["embedded"] = embedded
    item["fields"] = sections
    return item


def read_pffexport(path, work):
    target = os.path.join(work, "pff")
    p = subprocess.run(["pffexport", "-q", "-f", "all", "-t", target, path], capture_output=True, text=True)
    if p.returncode != 0:
        fail(f"pffexport cannot open {path}: {(p.stderr or p.stdout).strip()[-300:]}")
    root = target + ".export"
    folders = []

    def walk(directory, rel):
        items, subfolders = [], []
        for n in sorted(os.listdir(directory)):
            full = os.path.join(directory, n)
            if not os.path.isdir(full):
                continue
            m = ITEM_DIR.match(n)
            if m and any(f.endswith(".txt") for f in os.listdir(full)):
                items.append((int(m.group(1)), pff_item(full)))
            else:
                subfolders.append(n)
        if rel:
            folders.append({"path": rel, "items": [i for _, i in sorted(items, key=lambda x: x[0])]})
        for n in subfolders:
            walk(os.path.join(directory, n), f"{rel}/{n}" if rel else n)

    walk(root, "")
    return {"folders": folders}


# ---- readpst ----------------------------------------------------------------------------

def unescape(value):
    return re.sub(r"\\([nN,\\])", lambda m: {"n": "\n", "N": "\n"}.get(m.group(1), m.group(1)), value)


def content_lines(text):
    lines = []
    for line in text.replace("\r\n", "\n").split("\n"):
        if line[:1] in (" ", "\t") and lines:
            lines[-1] += line[1:]
        elif line:
            lines.append(line)
    return lines


def read_vcard(text):
    card, agent = {}, False
    for line in content_lines(text):
        name, _, value = line.partition(":")
        if name in ("BEGIN", "END", "VERSION"):
            continue
        if name == "AGENT" and value == "BEGIN:VCARD":
            agent = True
            continue
        if agent and name.split(";")[0] in ("FN", "TEL"):
            name = "AGENT." + name
        else:
            agent = False
        value = unescape(value)
        if name not in card:
            card[name] = value
        elif isinstance(card[name], list):
            card[name].append(value)
        else:
            card[name] = [card[name], value]
    return card


def read_ical(text):
    event, depth = None, 0
    for line in content_lines(text):
        name, _, value = line.partition(":")
        name = name.split(";")[0].upper()
        if name == "BEGIN":
            if value == "VEVENT" and event is None:
                event, depth = {}, 0
            elif event is not None:
                depth += 1
        elif name == "END" and event is not None:
            if depth == 0:
                break
            depth -= 1
        elif event is not None and depth == 0:
            if name == "ATTACH":
                event.setdefault("ATTACH", []).append(value)
            else:
                event[name] = unescape(value)
    return event or {}


def decoded(value):
    return str(email.header.make_header(email.header.decode_header(value))) if "=?" in value else value


def read_eml(data):
    head = data.split(b"\n\n", 1)[0].decode("utf-8", "replace").replace("\r", "")
    headers = {}
    for line in re.sub(r"\n[ \t]+", " ", head).split("\n"):
        name, _, value = line.partition(":")
        headers.setdefault(name.strip().lower(), value.strip())
    item = {}
    put(item, "subject", decoded(headers["subject"]) if "subject" in headers else None)
    sender = headers.get("from", "")
    m = re.match(r'^"(.*)" <(.*)>$', sender) or re.match(r"^(.*?) <(.*)>$", sender)
    if m:
        item["sender_name"], item["sender_email"] = decoded(m.group(1)), m.group(2)
    if "x-libpst-forensic-sender" in headers:
        item["sender_email"] = headers["x-libpst-forensic-sender"]
    if headers.get("date"):
        item["sent"] = iso(email.utils.parsedate_to_datetime(headers["date"]))
    # readpst writes no header for an empty list (an empty PR_DISPLAY_* as Outlook stores it).
    for key, header in (("to", "to"), ("cc", "cc"), ("bcc", "x-libpst-forensic-bcc")):
        item[key] = display_list(decoded(headers[header])) if header in headers else []
    message = email.message_from_bytes(data, policy=email.policy.default)
    body, atts = None, []
    for part in message.walk():
        if part.is_multipart():
            continue
        if part.get_content_disposition() == "attachment":
            atts.append(attachment(part.get_filename(), part.get_payload(decode=True) or b""))
        elif part.get_content_type() == "text/plain" and body is None:
            body = clean(part.get_content())
        elif part.get_content_type() == "text/html" and "html" not in item:
            item["html"] = part.get_content()
    put(item, "body", body)
    item["attachments"] = atts
    return item


def read_readpst(path, work):
    target = os.path.join(work, "readpst")
    os.makedirs(target)
    p = subprocess.run(["readpst", "-e", "-D", "-b", "-o", target, path], capture_output=True)
    out = p.stdout.decode("utf-8", "replace") + p.stderr.decode("utf-8", "replace")
    tops = os.listdir(target)
    if p.returncode != 0 or len(tops) != 1:
        fail(f"readpst cannot open {path}: {out.strip()[-300:]}")
    skipped = {}
    for name, count in re.findall(r'^\s*"(.*)" - \d+ items done, (\d+) items skipped\.$', out, re.M):
        if int(count):
            skipped[name] = skipped.get(name, 0) + int(count)
    folders = []
    for directory, subdirs, files in os.walk(os.path.join(target, tops[0])):
        subdirs.sort()
        rel = os.path.relpath(directory, os.path.join(target, tops[0]))
        items = []
        for n in sorted((f for f in files if re.match(r"^\d+\.(eml|vcf|ics)$", f)), key=lambda f: int(f.split(".")[0])):
            with open(os.path.join(directory, n), "rb") as f:
                data = f.read()
            if n.endswith(".eml"):
                items.append(read_eml(data))
            elif n.endswith(".vcf"):
                items.append({"vcard": read_vcard(data.decode("utf-8", "replace"))})
            else:
                event = read_ical(data.decode("utf-8", "replace"))
                item = {"ical": event}
                put(item, "subject", event.get("SUMMARY"))
                put(item, "body", clean(event["DESCRIPTION"]) if "DESCRIPTION" in event else None)
                items.append(item)
        folders.append({"path": TOP if rel == "." else f"{TOP}/{rel}", "items": items})
    return {"folders": folders, "skipped": sum(skipped.values()), "skipped_by_folder": skipped}


def read_pst_extractor(path):
    here = os.path.dirname(os.path.abspath(__file__))
    modules = os.path.join(here, "node_modules")
    with open(path, "rb") as f:
        header = f.read(12)
    unicode_file = len(header) == 12 and int.from_bytes(header[10:12], "little") >= 23
    if not unicode_file or not shutil.which("node") or not os.path.isdir(os.path.join(modules, "pst-extractor")):
        return None
    p = subprocess.run(["node", os.path.join(here, "pst_extractor.js"), path], capture_output=True,
                       env=dict(os.environ, NODE_PATH=modules), timeout=600)
    if p.returncode != 0:
        fail(f"pst-extractor cannot open {path}: {p.stderr.decode('utf-8', 'replace').strip()[-300:]}")
    return json.loads(p.stdout)


def main():
    if len(sys.argv) != 2:
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        sys.exit(2)
    path = sys.argv[1]
    if not os.path.isfile(path):
        fail(f"no such file: {path}")
    work = tempfile.mkdtemp(prefix="pst-readers-")
    try:
        result = {"pypff": read_pypff(path), "pffexport": read_pffexport(path, work),
                  "readpst": read_readpst(path, work)}
        extracted = read_pst_extractor(path)
        if extracted is not None:
            result["pst_extractor"] = extracted
    finally:
        shutil.rmtree(work, ignore_errors=True)
    json.dump(result, sys.stdout, ensure_ascii=False, indent=1)
    print()


if __name__ == "__main__":
    main()
