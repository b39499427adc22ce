#!/usr/bin/env bash
# The mail merge under kill -9, and what mail costs a batch.
#
#   scripts/bench-mail.sh [CLI [OTHER_CLI ...]]     (default build/mirelune-cli)
#
# Against a local aiosmtpd server that only notes each message's recipient,
# Message-ID and when it had read the message whole:
#  1. a 60-row `batch --mail` on 2 jobs is killed (SIGKILL) at random moments, at
#     least 25 times over as many fresh folders as it takes, and run again until
#     done; prints the kills, the second copies, the lost messages and whether
#     every second copy carries its first copy's Message-ID (first CLI only).
#     Each second copy is put down to the kill nearest its first copy: a kill
#     before the server had read that message whole (the server was still reading
#     what the client had already handed over: no client can shorten that), or
#     after (the answer on its way, the journal line not yet written);
#  2. the same 60 rows on 2 jobs with and without --mail, BENCH_RUNS times each
#     (default 5; 0 skips this part), the median of each and the difference: the
#     time mail adds.
#     Then again against a server that answers each message 50 ms after reading
#     it, as a distant one would, costing this machine no work meanwhile; it
#     listens on this machine's address of the default route, so the batch takes
#     it for a server elsewhere (skipped when there is none).
#     Every CLI given is timed, so an older build can be compared (A/B), in turns:
#     each build and kind once a round. The server's own CPU time is printed too:
#     on a machine it shares with the batch, half of it (two cores) is time no
#     client can take off.
# BENCH_SEED fixes the kill moments (default 2017); BENCH_KILLS sets the least
# number of kills (default 25; 0 skips this part). Needs /usr/bin/python3 with aiosmtpd.
set -euo pipefail
cd "$(dirname "$0")/.."
clis=("$@")
[ ${#clis[@]} -gt 0 ] || clis=(build/mirelune-cli)
for k in "${!clis[@]}"; do clis[$k]=$(realpath "${clis[$k]}"); done
exec /usr/bin/python3 - "${clis[@]}" <<'PY'
import asyncio, os, random, re, shutil, signal, socket, statistics, subprocess, sys, tempfile, time
from aiosmtpd.controller import Controller

ROWS, JOBS, MIN_KILLS = 60, 2, int(os.environ.get("BENCH_KILLS", "25"))
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
random.seed(int(os.environ.get("BENCH_SEED", "2017")))
tmp = tempfile.mkdtemp(prefix="mirelune-bench-mail-")
LOG = os.path.join(tmp, "received.log")


class Note:  # one line a message, written whole: "recipient Message-ID when-read"
    def __init__(self):
        self.answer_after = 0.0  # seconds between reading a message and answering it

    async def handle_DATA(self, server, session, envelope):
        read = time.monotonic()
        found = re.search(rb"^Message-ID: *(\S+)", envelope.original_content, re.M | re.I)
        with open(LOG, "a") as f:
            f.write("%s %s %.6f\n" % (envelope.rcpt_tos[0], found.group(1).decode() if found else "-", read))
        if self.answer_after:  # not even a yield for one that answers at once: the other connection would go first
            await asyncio.sleep(self.answer_after)
        return "250 OK"


with socket.create_server(("127.0.0.1", 0)) as probe:
    port = probe.getsockname()[1]
note, slow = Note(), Note()
slow.answer_after = 0.05
server = Controller(note, hostname="127.0.0.1", port=port, ready_timeout=10)
server.start()
servers = [server]
with socket.socket(type=socket.SOCK_DGRAM) as route:  # the address of the default route; nothing is sent
    try:
        route.connect(("203.0.113.1", 9))
        servers.append(Controller(slow, hostname=route.getsockname()[0], port=port, ready_timeout=10))
        servers[-1].start()
    except Exception:  # no such address, or its port taken there: no distant server
        pass
env = dict(os.environ, MIRELUNE_SMTP_URL="smtp://127.0.0.1:%d" % port, MIRELUNE_MAIL_FROM="bench@example.org")
env.pop("MIRELUNE_MAIL_FAULT", None)


def write_list(path, tag):
    with open(path, "w") as f:
        f.write("friend,sender,email,message\n")
        for r in range(ROWS):
            f.write('Friend%d,Bob,friend%d@%s.example.org,"Happy new year, friend %d!"\n' % (r, r, tag, r))


def batch(cli, listing, out, mail, url=None):
    cmd = [cli, "batch", listing, "--out-dir", out, "--jobs", str(JOBS)] + (["--mail"] if mail else [])
    return subprocess.Popen(cmd, env=dict(env, MIRELUNE_SMTP_URL=url) if url else env, stdout=subprocess.DEVNULL,
                            stderr=subprocess.DEVNULL)


def received():
    got = {}
    if os.path.exists(LOG):
        for line in open(LOG):
            to, mid, read = line.split()
            got.setdefault(to, []).append((mid, float(read)))
    return got


def kills(cli):
    rounds, kill_times = 0, []
    while len(kill_times) < MIN_KILLS:
        rounds += 1
        tag = "r%d" % rounds
        listing, out = os.path.join(tmp, tag + ".csv"), os.path.join(tmp, tag)
        write_list(listing, tag)
        while True:
            p = batch(cli, listing, out, True)
            try:
                p.wait(timeout=random.uniform(0.05, 2.5))
                break
            except subprocess.TimeoutExpired:
                kill_times.append(time.monotonic())
                p.send_signal(signal.SIGKILL)
                p.wait()
    got = received()
    second = lost = reading = 0
    same_id = True
    for rnd in range(1, rounds + 1):
        for r in range(ROWS):
            copies = got.get("friend%d@r%d.example.org" % (r, rnd), [])
            lost += not copies
            second += max(0, len(copies) - 1)
            same_id = same_id and len({mid for mid, _ in copies}) <= 1
            for _, read in copies[:-1]:  # every copy but the last was followed by a kill
                reading += min(kill_times, key=lambda k: abs(k - read)) < read
    kills = len(kill_times)
    print("kills: %d over %d merges of %d rows; second copies: %d (%.1f per 20 kills; %d killed while the server "
          "was still reading the message, %d after it had read it); lost: %d; every second copy under the first "
          "copy's Message-ID: %s" % (kills, rounds, ROWS, second, 20.0 * second / kills, reading, second - reading,
                                     lost, "yes" if same_id else "NO"))


def timing(clis):
    listing = os.path.join(tmp, "timing.csv")
    write_list(listing, "timing")
    kinds = [("no mail", None)] + [("with mail, answered at once" if where is server else
                                    "with mail, answered after 50 ms", "smtp://%s:%d" % (where.hostname, port))
                                   for where in servers]
    took, cpu = {}, {}
    for run in range(RUNS):  # each build and kind once a round: the machine's drift touches them alike
        for cli in clis:
            for label, url in kinds:
                out = os.path.join(tmp, "timing-out")
                before, start = time.process_time(), time.monotonic()  # this process is the server
                batch(cli, listing, out, url is not None, url).wait(timeout=300)
                took.setdefault((cli, label), []).append(time.monotonic() - start)
                cpu[cli, label] = cpu.get((cli, label), 0) + time.process_time() - before
                shutil.rmtree(out)
    for cli in clis:
        print(cli + ":")
        plain = statistics.median(took[cli, "no mail"])
        for label, url in kinds:
            t = statistics.median(took[cli, label])
            print("  %s: %s s (median %.2f)" % (label, " ".join("%.2f" % x for x in took[cli, label]), t) + (
                "" if url is None else "; the server's own work: %.1f ms of CPU a message; mail adds %.2f s to %d "
                "rows on %d jobs (%.1f ms a message)" % (1000 * cpu[cli, label] / RUNS / ROWS, t - plain, ROWS, JOBS,
                                                         1000 * (t - plain) / ROWS)))


try:
    if MIN_KILLS > 0:
        kills(sys.argv[1])
    if RUNS > 0:
        timing(sys.argv[1:])
finally:
    for each in servers:
        each.stop()
    shutil.rmtree(tmp, ignore_errors=True)
PY
