#!/usr/bin/python3
"""`batch --mail` over 50 rows to the loopback server (smtp_server.py), killed at random moments
and rerun until done: one message per address, with its card and text, a manifest line per row,
and a last run sends nothing. Usage: batch_mail_crash.py MIRELUNE_CLI; exit 0, 1 failed, 77 skipped."""
import email, email.policy, hashlib, json, os, random, subprocess, sys, tempfile, time

ROWS, REFUSED = 50, 17
random.seed(int(os.environ.get("BATCH_CRASH_SEED", "2017")))
address = lambda row: ("refuse%d@example.org" if row == REFUSED else "friend%d@example.org") % row
check = lambda ok, why: ok or sys.exit("FAILED: " + why)


def run(cli, tmp, inbox, port):
    out, listing = os.path.join(tmp, "out"), os.path.join(tmp, "list.csv")
    open(listing, "w").write("friend,sender,email,message\n" + "".join(
        'Friend%d,Bob,%s,"Happy new year, friend %d!\nBob"\n' % (r, address(r), r) for r in range(1, ROWS + 1)))
    env = dict(os.environ, MIRELUNE_SMTP_URL="smtp://127.0.0.1:%d" % port, MIRELUNE_MAIL_FROM="bob@example.org")
    start, cmd = time.monotonic(), [cli, "batch", listing, "--out-dir", out, "--jobs", "2", "--mail"]
    for kills in range(9):  # subprocess.run kills with SIGKILL when the time is up
        try:
            p = subprocess.run(cmd, capture_output=True, env=env, timeout=random.uniform(0.3, 2.5) if kills < 8 else 90)
            break
        except subprocess.TimeoutExpired:
            pass
    check("49 of 50 rows done" in (summary := p.stdout.decode()) and p.returncode == 1 and "row %d (line %d)" % (
        REFUSED, 2 * REFUSED) in summary, "the last run: %d %s" % (p.returncode, summary))
    cut_off, state = {}, {}  # a "sending" followed by another "sending": killed with the outcome unknown
    for j in map(json.loads, open(os.path.join(out, "mail-journal.jsonl"))):
        cut_off[j["row"]] = cut_off.get(j["row"], 0) + (j["state"] == state.get(j["row"]) == "sending")
        state[j["row"]] = j["state"]
    got = {}  # address -> [(Message-ID, attachment's name, attachment, body)]
    for base in (os.path.join(inbox, n[:-4]) for n in os.listdir(inbox) if n.endswith(".txt")):
        facts = dict(l.rstrip("\n").split("=", 1) for l in open(base + ".txt") if "=" in l)
        msg = email.message_from_binary_file(open(base + ".eml", "rb"), policy=email.policy.default)
        got.setdefault(facts["envelope"].split(" > ")[1], []).append((msg["Message-ID"], next(
            msg.iter_attachments()).get_filename(), open(base + ".att", "rb").read(), open(base + ".body").read()))
    manifest = [json.loads(l) for l in open(os.path.join(out, "manifest.jsonl"))]
    check([m["row"] for m in manifest] == list(range(ROWS)), "manifest rows %s" % [m["row"] for m in manifest])
    for row, m in zip(range(1, ROWS + 1), manifest):
        mail = got.get(address(row), [])
        if row == REFUSED:
            check(not mail and m["status"] == "failed", "the refused row: %d messages, %s" % (len(mail), m))
            continue
        card = open(os.path.join(out, m["file"]), "rb").read()
        check(hashlib.sha256(card).hexdigest() == m["sha256"], "row %d: the card is not the manifest's" % row)
        check(len({x[0] for x in mail}) == 1 and len(mail) <= 1 + cut_off.get(row - 1, 0),
              "%s received %d messages" % (address(row), len(mail)))
        check(all(x[1] == m["file"] and x[2] == card and "friend %d!" % row in x[3] for x in mail),
              "%s received another row's card or text" % address(row))
    again = subprocess.run(cmd, capture_output=True, env=env, timeout=60).stdout.decode()
    check("(0 made now, 49 before)" in again and sum(n.endswith(".txt") for n in os.listdir(inbox)) == sum(
        map(len, got.values())), "the run after the last: " + again)
    print("passed: %d kills, %.0f s" % (kills, time.monotonic() - start))


def main():
    with tempfile.TemporaryDirectory(prefix="mirelune-mail-crash-") as tmp:
        os.mkdir(inbox := os.path.join(tmp, "inbox"))
        server = subprocess.Popen(["/usr/bin/python3", os.path.join(os.path.dirname(__file__), "smtp_server.py"),
                                   inbox], stdin=subprocess.PIPE, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            ready, deadline = os.path.join(inbox, "ready"), time.monotonic() + 15
            while not os.path.exists(ready) and time.monotonic() < deadline:
                time.sleep(0.05)
            line = open(ready).read() if os.path.exists(ready) else "ERROR none"
            if line.startswith("ERROR"):
                print("SKIPPED: the aiosmtpd test server did not start: " + line)
                sys.exit(77)
            run(sys.argv[1], tmp, inbox, int(line.split()[0]))
        finally:
            server.kill()


if __name__ == "__main__":
    main()
