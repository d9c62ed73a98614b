"""Prints every item the independent readers see in a PST, one line each, for the message
tests to compare with what they wrote (tests/support/pst_readers.py: pypff for the item
fields and attachments, pffexport for the recipients with their addresses and types):
path | subject | class | sender name <address> | submit | delivery | flags | body | recipients | attachments
A body longer than 80 characters is shown as its length, its first and its last 20 characters.
usage: list_items.py PST_READERS.py FILE.pst"""
import json
import subprocess
import sys

out = subprocess.run([sys.executable, sys.argv[1], sys.argv[2]], capture_output=True, text=True)
if out.returncode != 0:
    print("pst_readers failed:", out.returncode, out.stderr)
    sys.exit(1)
seen = json.loads(out.stdout)
exported = {f["path"]: f["items"] for f in seen["pffexport"]["folders"]}
for folder in seen["pypff"]["folders"]:
    others = exported.get(folder["path"], [])
    for index, item in enumerate(folder["items"]):
        body = (item.get("body") or "").replace("\n", "\r\n")  # as written: the readers give LF
        if len(body) > 80:
            body = "%d chars %s...%s" % (len(body), body[:20], body[-20:])
        other = others[index] if index < len(others) else {}
        recipients = ", ".join("%s:%s <%s>" % (kind, r["name"], r["email"])
                               for key, kind in (("to", "To"), ("cc", "CC"), ("bcc", "BCC"))
                               for r in other.get(key, []))
        attachments = ", ".join("%s %d %s" % (a["name"], a["size"], a["sha256"]) for a in item.get("attachments", []))
        fields = [folder["path"], item.get("subject"), item.get("message_class"),
                  "%s <%s>" % (item.get("sender_name"), item.get("sender_email")),
                  item.get("sent"), item.get("received"), item.get("flags"), body.replace("\r\n", "\\n"),
                  recipients, attachments]
        print(" | ".join("" if f is None else str(f) for f in fields))
