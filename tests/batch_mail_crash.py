#!/usr/bin/python3
"""Mail merge under kill -9: every address gets its card exactly once.

    batch_mail_crash.py MIRELUNE_CLI

Starts the loopback SMTP server (smtp_server.py), then runs
`mirelune-cli batch LIST --mail` over a 50-row list, killing it at random moments
and running it again until a run ends by itself. Then every address must have
received one message (one Message-ID) with its own card attached and its own
message as the body, the refused address none, and a second copy may only come
from an attempt that was killed before its outcome was journaled (it then carries
the same Message-ID). Exit 0 passed, 1 failed, 77 skipped (no aiosmtpd).
"""
import email
import email.policy
import json
import os
import random
import select
import subprocess
import sys
import tempfile
import time

HERE = os.path.dirname(os.path.abspath(__file__))
ROWS = 50
REFUSED = 17  # row number whose address the server refuses
BUDGET_S = 100  # the server lives 120 s
random.seed(int(os.environ.get("BATCH_CRASH_SEED", "2017")))


def fail(why):
    print("FAILED: " + why)
    sys.exit(1)


def address(row):
    return ("refuse%d@example.org" if row == REFUSED else "friend%d@example.org") % row


def main():
    cli = sys.argv[1]
    with tempfile.TemporaryDirectory(prefix="mirelune-mail-crash-") as tmp:
        inbox, out = os.path.join(tmp, "inbox"), os.path.join(tmp, "out")
        os.mkdir(inbox)
        log = open(os.path.join(tmp, "server.log"), "wb")
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(HERE, "smtp_server.py"), inbox],
                                  stdin=subprocess.PIPE, stdout=subprocess.PIPE, stderr=log)
        try:
            ready, _, _ = select.select([server.stdout], [], [], 10)
            line = server.stdout.readline().decode() if ready else ""
            if not line.startswith("READY "):
                print("SKIPPED: the aiosmtpd test server did not start")
                sys.exit(77)
            run(cli, tmp, inbox, out, int(line.split()[1]))
        finally:
            server.stdin.close()
            try:
                server.wait(5)
            except subprocess.TimeoutExpired:
                server.kill()


def run(cli, tmp, inbox, out, port):
    listing = os.path.join(tmp, "list.csv")
    with open(listing, "w", encoding="utf-8") as f:
        f.write("friend,sender,email,message\n")
        for row in range(1, ROWS + 1):
            f.write('Friend%d,Bob,%s,"Happy new year, friend %d!\nBob"\n' % (row, address(row), row))
    env = dict(os.environ, MIRELUNE_SMTP_URL="smtp://127.0.0.1:%d" % port, MIRELUNE_MAIL_FROM="bob@example.org")
    for k in ("MIRELUNE_SMTP_USER", "MIRELUNE_SMTP_PASSWORD"):
        env.pop(k, None)
    start, kills = time.monotonic(), 0
    while True:
        if time.monotonic() - start > BUDGET_S:
            fail("no run finished within %d s (%d kills)" % (BUDGET_S, kills))
        with open(os.path.join(tmp, "stdout"), "wb") as so, open(os.path.join(tmp, "stderr"), "wb") as se:
            p = subprocess.Popen([cli, "batch", listing, "--out-dir", out, "--jobs", "2", "--mail"],
                                 stdout=so, stderr=se, env=env)
            try:
                status = p.wait(random.uniform(0.3, 2.5) if kills < 8 else BUDGET_S)
                break
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()
                kills += 1
    summary = open(os.path.join(tmp, "stdout")).read()
    if status != 1 or "row %d (line %d)" % (REFUSED, 2 * REFUSED) not in summary or "49 of 50 rows done" not in summary:
        fail("the last run ended with %d:\n%s%s" % (status, summary, open(os.path.join(tmp, "stderr")).read()))

    # Every journal attempt of a row; one not followed by an outcome was killed.
    attempts, unknown = {}, {}
    with open(os.path.join(out, "mail-journal.jsonl")) as f:
        for line in f:
            j = json.loads(line)
            row = j["row"] + 1
            if j["state"] == "sending":
                if attempts.get(row) == "sending":
                    unknown[row] = unknown.get(row, 0) + 1
                attempts[row] = "sending"
            else:
                attempts[row] = j["state"]

    received = {}
    for name in sorted(os.listdir(inbox)):
        if not name.endswith(".txt"):
            continue
        base = os.path.join(inbox, name[:-4])
        facts = dict(l.rstrip("\n").split("=", 1) for l in open(base + ".txt", encoding="utf-8") if "=" in l)
        msg = email.message_from_bytes(open(base + ".eml", "rb").read(), policy=email.policy.default)
        received.setdefault(facts["rcpt"], []).append(
            (str(msg["Message-ID"]), facts.get("att_filename", ""), open(base + ".att", "rb").read(),
             open(base + ".body", encoding="utf-8").read()))

    copies = 0
    for row in range(1, ROWS + 1):
        got = received.get(address(row), [])
        if row == REFUSED:
            if got:
                fail("the refused address received %d messages" % len(got))
            continue
        ids = {m[0] for m in got}
        if len(ids) != 1:
            fail("%s received %d messages with %d Message-IDs" % (address(row), len(got), len(ids)))
        if len(got) - 1 > unknown.get(row, 0):
            fail("%s received %d copies, but only %d attempts were cut off" % (address(row), len(got),
                                                                             unknown.get(row, 0)))
        copies += len(got) - 1
        card = [n for n in os.listdir(out) if n.startswith("%06d-" % row) and n.endswith(".png")]
        if len(card) != 1:
            fail("row %d has %d card files" % (row, len(card)))
        for _, filename, attachment, body in got:
            if filename != card[0] or attachment != open(os.path.join(out, card[0]), "rb").read():
                fail("%s received %s, not its card %s" % (address(row), filename, card[0]))
            if body.replace("\r\n", "\n").rstrip("\n") != "Happy new year, friend %d!\nBob" % row:
                fail("%s received the body %r" % (address(row), body))
    print("passed: %d kills, %d second copies with the same Message-ID, %.0f s" %
          (kills, copies, time.monotonic() - start))


if __name__ == "__main__":
    main()
