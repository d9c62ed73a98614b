#!/usr/bin/python3
"""ferrymark-convert on every DXL file Domino wrote that tests/data holds, each compared with the
PST as pypff and pffexport read it back.

usage: real_dxl.py CONVERTER SOURCE_DIR VERIFIER

What each document must show in the PST is taken from the file here, on its own: the Subject,
From and SendTo items as text, or from their RFC822 text items (type 0x502: an RFC822ITEMDESC
header, then the native value, the header name, delimiter and body, per the Notes C API); the
date from PostedDate; the words of a native-MIME body through Python's email package from the
MIME part items (type 0x19: a MIME_PART header, then boundary, headers and body); the words of
a rich text body as the file shows them in <richtext>, or, for raw rich text (type 1, CD
records), the phrases listed below, which are the CDTEXT runs of those files as a reader of
the document sees them. Attachments must arrive byte-exact; storage objects (hosttype
bytearraypage/bytearrayext) must not arrive at all. Prints one line per difference and exits
1 on any.
"""
import base64
import email
import email.header
import email.policy
import email.utils
import glob
import hashlib
import json
import os
import re
import struct
import subprocess
import sys
import tempfile
import xml.etree.ElementTree as ET
from html.parser import HTMLParser
from datetime import datetime, timedelta, timezone

DXL = "{http://www.lotus.com/dxl}"

# The visible text of the raw rich text bodies (type 1) of the real files.
RICH_TEXT_PHRASES = {
    "testConvertAndOpenMimeItem-styledtext.xml": ["This is normal text.", "This is monospace text",
                                                  "This is serif italic bold text"],
    # ("Headline" in its bytes is the name of a paragraph style, not text.)
    "testDbDesignForms-doc-span.xml": ["sdffdfd", "I am anchor", "I am other language", "dsfdf"],
    "testJsonSerialization-dollarfonts.xml": ["Please select one of the following options:"],
    "testV1discuss-2294.xml": ["Hey, I'm new content"],
}
# Files that hold no document (design notes only): they must open and convert to nothing.
NO_DOCUMENTS = {"testDQL-DQLView.xml", "view-calendar.xml", "folder-test.xml"}


def local(tag):
    return tag.rsplit("}", 1)[-1]


def shown_name(text):
    """The name Outlook shows for a sender or recipient text: the phrase of "Name <address>", an
    Internet address as it is, the common name of a Notes name ("CN=Dan Ray/O=Acme@Acme")."""
    m = re.fullmatch(r'\s*"?([^"<]*?)"?\s*<([^>]*)>\s*', text)
    if m:
        return m.group(1).strip() or m.group(2).strip()
    if re.fullmatch(r"[^\s/=<>@]+@[^\s/=<>@]+\.[^\s/=<>@]+", text.strip()):
        return text.strip()
    return re.sub(r"^[A-Za-z]{1,2}\s*=", "", re.sub(r"@[^/=]*$", "", text.strip()).split("/")[0]).strip()


def words(text):
    return re.findall(r"\w{2,}", text or "")


def dxl_time(value):
    m = re.fullmatch(r"(\d{8})T(\d{6})(?:,\d+)?(Z|[+-]\d{2}(?:\d{2})?)?", value.strip())
    if not m:
        return None
    t = datetime.strptime(m.group(1) + m.group(2), "%Y%m%d%H%M%S")
    zone = m.group(3)
    if zone and zone != "Z":
        minutes = int(zone[1:3]) * 60 + int(zone[3:5] or 0)
        t -= timedelta(minutes=minutes if zone[0] == "+" else -minutes)
    return t.strftime("%Y-%m-%dT%H:%M:%S")


def child(element, name):
    """The first child of that local name, with or without the DXL namespace."""
    return next((e for e in element if local(e.tag) == name), None)


def descendants(element, name):
    return [e for e in element.iter() if local(e.tag) == name]


def raw(item, kind):
    data = child(item, "rawitemdata")
    if data is None or int(data.get("type", "0"), 16) != kind:
        return None
    return base64.b64decode("".join((data.text or "").split()))


def rfc822_body(data):
    """The header body of an RFC822ITEMDESC item, decoded (RFC 2047) and unfolded."""
    if data is None or len(data) < 14:
        return None
    _, _, native, name, delim, body = struct.unpack_from("<HIHHHH", data, 0)
    start = 14 + native + name + delim
    text = data[start:start + body].decode("utf-8", "replace")
    return str(email.header.make_header(email.header.decode_header(" ".join(text.split()))))


class HtmlText(HTMLParser):
    """The text a person sees of an HTML body: no comments, scripts, styles or title."""

    def __init__(self):
        super().__init__(convert_charrefs=True)
        self.parts = []
        self.hidden = 0

    def handle_starttag(self, tag, attrs):
        self.hidden += tag in ("script", "style", "title")

    def handle_endtag(self, tag):
        self.hidden -= tag in ("script", "style", "title") and self.hidden > 0

    def handle_data(self, data):
        if not self.hidden:
            self.parts.append(data)


def html_text(html):
    parser = HtmlText()
    parser.feed(html)
    return " ".join(parser.parts)


def mime_entity(items):
    """The MIME entity of a document's MIME part items, in order."""
    entity = b""
    for data in items:
        if len(data) < 20:
            continue
        _, _, _, _, count, boundary, headers, _, _ = struct.unpack_from("<HIBBHHHHI", data, 0)
        entity += data[20:20 + count]
    return email.message_from_bytes(entity, policy=email.policy.default)


class Expected:
    def __init__(self, path):
        root = ET.parse(path).getroot()
        def is_document(e):
            return local(e.tag) == "document" or (local(e.tag) == "note" and e.get("class") == "document")

        doc = root if is_document(root) else next((e for e in root if is_document(e)), None)
        self.present = doc is not None
        if doc is None:
            return
        items = {}
        for item in doc:
            if local(item.tag) == "item":
                items.setdefault(item.get("name", "").lower(), []).append(item)
        self.items = items
        self.subject = self.text("subject")
        self.sender = self.text("from")
        self.to = [t for t in self.texts("sendto")]
        self.message_id = self.text("$messageid")
        posted = self.first("posteddate")
        self.sent = None
        if posted is not None:
            dt = next(iter(descendants(posted, "datetime")), None)
            self.sent = dxl_time(dt.text or "") if dt is not None else None
            if self.sent is None and raw(posted, 0x502) is not None:
                when = email.utils.parsedate_to_datetime(rfc822_body(raw(posted, 0x502)))
                self.sent = when.astimezone(timezone.utc).strftime("%Y-%m-%dT%H:%M:%S")
        self.body_words = []
        self.attachments = []
        self.storage = []
        body = items.get("body", [])
        parts = [raw(i, 0x19) for i in body if raw(i, 0x19) is not None]
        self.mime = bool(parts)
        if parts:
            message = mime_entity(parts)
            text = message.get_body(preferencelist=("plain", "html"))
            content = text.get_content() if text is not None else ""
            self.body_words = words(html_text(content) if text.get_content_subtype() == "html" else content)
            for part in message.iter_attachments():
                self.attachments.append((part.get_filename(), hashlib.sha256(part.get_content()
                                         if isinstance(part.get_content(), bytes)
                                         else part.get_payload(decode=True)).hexdigest()))
        for item in body:
            rich = child(item, "richtext")
            if rich is not None:
                self.body_words += words(" ".join(rich.itertext()))
        self.phrases = RICH_TEXT_PHRASES.get(os.path.basename(path), [])
        for file in descendants(doc, "file"):
            data = child(file, "filedata")
            blob = base64.b64decode("".join((data.text or "").split())) if data is not None else b""
            entry = (file.get("name"), hashlib.sha256(blob).hexdigest())
            if file.get("hosttype") in ("bytearraypage", "bytearrayext"):
                self.storage.append(file.get("name"))
            else:
                self.attachments.append(entry)

    def first(self, name):
        return (self.items.get(name) or [None])[0]

    def texts(self, name):
        item = self.first(name)
        if item is None:
            return []
        values = [t.text or "" for t in item.iter() if local(t.tag) == "text"]
        if values:
            return values
        header = rfc822_body(raw(item, 0x502))
        return [header] if header else []

    def text(self, name):
        return (self.texts(name) or [""])[0]


def main():
    converter, source, verifier = sys.argv[1:4]
    files = sorted(glob.glob(os.path.join(source, "tests", "data", "dxl", "real", "*.xml"))) + [
        os.path.join(source, "tests", "data", "dxl", n) for n in ("CET-document.xml", "basicnote.xml",
                                                                  "view-calendar.xml", "folder-test.xml")]
    work = tempfile.mkdtemp(prefix="real-dxl-")
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", FERRYMARK_PROFILE=os.path.join(work, "profile"),
               TMPDIR=work)
    problems = []
    for path in files:
        name = os.path.basename(path)
        expected = Expected(path)
        out = os.path.join(work, name)
        os.makedirs(out)
        run = subprocess.run([converter, "--out", out, path], env=env, capture_output=True, text=True, timeout=120)
        psts = [line for line in run.stdout.splitlines() if line.startswith("/") and line.endswith(".pst")]
        summary = next((line for line in run.stdout.splitlines() if line.startswith("written ")), "")
        if run.returncode != 0 or len(psts) != 1:
            problems.append(f"{name}: ferrymark-convert exit {run.returncode}: {run.stdout}{run.stderr}")
            continue
        check = subprocess.run([verifier, "--strict", psts[0]], capture_output=True, text=True)
        if check.returncode != 0:
            problems.append(f"{name}: ferrymark-verify: {check.stdout}{check.stderr}")
        if name in NO_DOCUMENTS or not expected.present:
            if summary != "written 0, skipped 0, failed 0":
                problems.append(f"{name}: expected nothing to convert, got {summary!r}")
            continue
        if not summary.startswith("written 1,") or not summary.endswith("failed 0"):
            problems.append(f"{name}: expected one document written, got {summary!r}")
        seen = json.loads(subprocess.run(["/usr/bin/python3", os.path.join(source, "tests", "support",
                                                                           "pst_readers.py"), psts[0]],
                                         capture_output=True, text=True, check=True).stdout)
        for reader in ("pypff", "pffexport"):
            items = [i for f in seen[reader]["folders"] for i in f["items"]]
            if len(items) != 1:
                problems.append(f"{name}: {reader}: expected one message, found {len(items)}")
                continue
            got = items[0]
            where = f"{name}: {reader}"
            if (got.get("subject") or "") != expected.subject:
                problems.append(f"{where}: subject {got.get('subject')!r}, expected {expected.subject!r}")
            if expected.sender and shown_name(expected.sender) not in (got.get("sender_name") or ""):
                problems.append(f"{where}: sender {got.get('sender_name')!r}, expected {expected.sender!r}")
            names = " ".join(p.get("name") or "" for p in got.get("to") or [])
            for person in expected.to:
                if shown_name(person) not in names:
                    problems.append(f"{where}: recipient {person!r} missing from {names!r}")
            if expected.sent and got.get("sent") != expected.sent:
                problems.append(f"{where}: sent {got.get('sent')!r}, expected {expected.sent!r}")
            body = " ".join((got.get("body") or "").split())
            missing = [w for w in expected.body_words if w not in words(body)]
            missing += [p for p in expected.phrases if p not in body]
            if missing:
                problems.append(f"{where}: body lacks {missing[:10]} (of {len(missing)}): {body[:200]!r}")
            # A body that holds text arrives as HTML too, with the same words; the HTML written from
            # rich text parses without error in libxml2's HTML parser.
            html = got.get("html") or ""
            if words(body):
                lacking = sorted(set(words(body)) - set(words(html_text(html))))
                if lacking:
                    problems.append(f"{where}: HTML body lacks {lacking[:10]} (of {len(lacking)}): {html[:200]!r}")
            # Internet mail keeps its identity: the Message-ID and the headers it arrived with.
            props = got.get("props") or {}
            if reader == "pypff" and expected.mime:
                if expected.message_id and props.get("0x1035") != expected.message_id:
                    problems.append(f"{where}: Message-ID {props.get('0x1035')!r}, expected {expected.message_id!r}")
                if "Received: " not in (props.get("0x007D") or ""):
                    problems.append(f"{where}: no Received header among {(props.get('0x007D') or '')[:200]!r}")
            if html and not expected.mime and reader == "pypff":
                with tempfile.NamedTemporaryFile("w", suffix=".html", dir=work, delete=False) as f:
                    f.write(html)
                lint = subprocess.run(["xmllint", "--html", "--noout", "--nonet", f.name], capture_output=True,
                                      text=True)
                if lint.returncode != 0 or lint.stderr:
                    problems.append(f"{where}: the HTML body does not parse: {lint.stderr[:300]}")
            arrived = sorted((a.get("name"), a.get("sha256")) for a in got.get("attachments") or [])
            if arrived != sorted(expected.attachments):
                problems.append(f"{where}: attachments {arrived}, expected {sorted(expected.attachments)}")
    for p in problems:
        print(p)
    print(f"{len(files)} files, {len(problems)} difference(s)")
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main())
