"""Prints every item pstdump.py (pypff and pffexport) sees in a PST, one line each, for the
message tests to compare with what they wrote:
path | subject | class | sender name <address> | submit | delivery | flags | body | recipients | attachments
A body longer than 80 characters is shown as its length, its first and its last 20 characters."""
import json
import subprocess
import sys

out = subprocess.run([sys.executable, sys.argv[1], sys.argv[2]], capture_output=True, text=True)
if out.returncode != 0:
    print("pstdump failed:", out.returncode, out.stderr)
    sys.exit(1)
dump = json.loads(out.stdout)
for folder in dump["folders"]:
    for item in folder["items"]:
        body = item.get("body") or ""
        if len(body) > 80:
            body = "%d chars %s...%s" % (len(body), body[:20], body[-20:])
        recipients = ", ".join("%s:%s <%s>" % (r["type"], r["display"], r["email"]) for r in item.get("recipients", []))
        attachments = ", ".join("%s %d %s" % (a["name"], a["size"], a["sha256"]) for a in item.get("attachments", []))
        fields = [folder["path"], item.get("subject"), item.get("message_class"),
                  "%s <%s>" % (item.get("sender_name"), item.get("sender_email")),
                  item.get("submit_time"), item.get("delivery_time"), item.get("flags"), body.replace("\r\n", "\\n"),
                  recipients, attachments]
        print(" | ".join("" if f is None else str(f) for f in fields))
