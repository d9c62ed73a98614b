#!/usr/bin/env python3
"""A conversion killed during a long Inbox phase, then the next run.

usage: killed_run.py CONVERTER GENERATOR VERIFIER

ferrymark-convert writes a database of about 20,000 Inbox messages and is killed (SIGKILL)
right after the file on disk first holds Inbox items (a save point). What it leaves must be a PST still named as unfinished
(NAME.pst.partial, no NAME.pst) that the verifier and pffinfo accept, holding the items of
its last save point; the next run in the same temporary folder removes the folder the killed
run left there and converts a database of its own as usual."""
import glob
import os
import re
import signal
import subprocess
import sys
import tempfile
import time


def fail(why):
    print("FAIL:", why)
    sys.exit(1)


def inbox_count(verifier, pst):
    """Inbox messages of the file as its header has them now (0 while it is being rewritten)."""
    check = subprocess.run([verifier, "--folders", pst], capture_output=True, text=True)
    found = re.search(r"^folder .*\\Inbox: (\d+) messages", check.stdout, re.M)
    return int(found.group(1)) if found and check.returncode == 0 else 0


def main():
    converter, generator, verifier = sys.argv[1:4]
    work = tempfile.mkdtemp(prefix="killed-run-")
    tmp = os.path.join(work, "tmp")
    out = os.path.join(work, "out")
    os.makedirs(tmp)
    os.makedirs(out)
    env = dict(os.environ, QT_QPA_PLATFORM="offscreen", FERRYMARK_PROFILE=os.path.join(work, "profile"),
               TMPDIR=tmp)
    database = os.path.join(work, "mail.dxl")
    # 30,000 messages over the standard folders put about 20,000 in the Inbox; every tenth has
    # an attachment, so the run keeps a folder of its own in the temporary folder.
    subprocess.run([generator, "--out", database, "--messages", "30000", "--folders", "0",
                    "--attachment-size", "2000", "--attachment-every", "10"], check=True)

    log = open(os.path.join(work, "convert.txt"), "w+")
    run = subprocess.Popen([converter, "--only", "emails", "--out", out, database], env=env, stdout=log,
                           stderr=subprocess.STDOUT)
    # Kill it once the file on disk holds the Inbox items of a save point (one comes every
    # 5,000 items or every 5 seconds): what the file held then must survive.
    deadline = time.monotonic() + 240
    seen = 0
    while time.monotonic() < deadline and run.poll() is None:
        for partial in glob.glob(os.path.join(out, "*.pst.partial")):
            seen = max(seen, inbox_count(verifier, partial))
        if seen > 0:
            break
        time.sleep(0.05)
    if run.poll() is not None:
        log.seek(0)
        fail("the conversion ended before it could be killed:\n" + log.read())
    run.send_signal(signal.SIGKILL)
    run.wait()

    finished = glob.glob(os.path.join(out, "*.pst"))
    partial = glob.glob(os.path.join(out, "*.pst.partial"))
    if finished or len(partial) != 1:
        fail(f"a killed run leaves one NAME.pst.partial and no NAME.pst, found {os.listdir(out)}")
    pst = partial[0]
    check = subprocess.run([verifier, "--folders", pst], capture_output=True, text=True)
    # A kill inside a flush may leave the maps marked for rebuilding, or the file one growth
    # step longer than its header says; nothing else.
    findings = [line for line in check.stdout.splitlines()
                if re.match(r"^[A-Z_]+ ", line) and not line.startswith(("HEADER_AMAP_VALID", "HEADER_EOF_LONG"))]
    if check.returncode == 2 or findings:
        fail("the verifier does not accept the killed run's PST:\n" + check.stdout + check.stderr)
    counts = [int(m.group(1)) for m in re.finditer(r"^folder .*\\Inbox: (\d+) messages", check.stdout, re.M)]
    if not counts or counts[0] < seen:
        fail(f"the file held {seen} Inbox items before the kill; after it:\n" + check.stdout)
    info = subprocess.run(["pffinfo", pst], capture_output=True, text=True)
    if info.returncode != 0:
        fail("pffinfo does not read the killed run's PST:\n" + info.stdout + info.stderr)
    left = [d for d in os.listdir(tmp) if d.startswith("ferrymark")]
    if not left:
        fail("the killed run should have left its temporary folder behind for this test")

    # The next run: removes the dead run's folder, converts its own database.
    small = os.path.join(work, "small.dxl")
    subprocess.run([generator, "--out", small, "--messages", "20", "--folders", "0"], check=True)
    again = subprocess.run([converter, "--only", "emails", "--out", out, small], env=env, capture_output=True,
                           text=True, timeout=120)
    if again.returncode != 0:
        fail("the next run failed:\n" + again.stdout + again.stderr)
    still = [d for d in os.listdir(tmp) if d in left]
    if still:
        fail(f"the next run left the killed run's temporary folders {still}")
    print(f"killed at {counts[0]} Inbox items in {os.path.basename(pst)}; the next run cleaned {left}")
    subprocess.run(["rm", "-rf", work])


if __name__ == "__main__":
    main()
