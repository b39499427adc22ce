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
import asyncio, multiprocessing, os, random, re, select, shutil, signal, socket, statistics, subprocess, sys
import tempfile, time
from aiosmtpd.controller import Controller

ROWS, JOBS, MIN_KILLS = 60, 2, int(os.environ.get("BENCH_KILLS", "25"))
RUNS = int(os.environ.get("BENCH_RUNS", "5"))
random.seed(int(os.environ.get("BENCH_SEED", "2017")))
tmp = tempfile.mkdtemp(prefix="mirelune-bench-mail-")
LOG = os.path.join(tmp, "received.log")


class Note:  # one line a message, written whole: "recipient Message-ID when-read"
    def __init__(self, answer_after):
        self.answer_after = answer_after  # seconds between reading a message and answering it

    async def handle_DATA(self, server, session, envelope):
        read = time.monotonic()  # CLOCK_MONOTONIC: the same clock as the killer's in the other process
        found = re.search(rb"^Message-ID: *(\S+)", envelope.original_content, re.M | re.I)
        with open(LOG, "a") as f:
            f.write("%s %s %.6f\n" % (envelope.rcpt_tos[0], found.group(1).decode() if found else "-", read))
        if self.answer_after:  # not even a yield for one that answers at once: the other connection would go first
            await asyncio.sleep(self.answer_after)
        return "250 OK"


def serve(addresses, port, ready, stop):
    # The servers' own process. Sharing one with the killer, the server's thread held
    # the interpreter lock while it read, and a kill waited for its next system call:
    # often the log write of a message just read, the moment a kill leaves a copy.
    controllers = [Controller(Note(after), hostname=host, port=port, ready_timeout=10) for host, after in addresses]
    for each in controllers:
        each.start()
    ready.set()
    stop.wait()
    for each in controllers:
        each.stop()


with socket.create_server(("127.0.0.1", 0)) as probe:
    port = probe.getsockname()[1]
hosts = [("127.0.0.1", 0.0)]
with socket.socket(type=socket.SOCK_DGRAM) as route:  # the address of the default route; nothing is sent
    try:
        route.connect(("203.0.113.1", 9))
        with socket.create_server((route.getsockname()[0], port)):  # its port free there too
            hosts.append((route.getsockname()[0], 0.05))
    except OSError:  # no such address, or its port taken there: no distant server
        pass
forked = multiprocessing.get_context("fork")
ready, stop = forked.Event(), forked.Event()
server = forked.Process(target=serve, args=(hosts, port, ready, stop), daemon=True)
server.start()
if not ready.wait(30):
    sys.exit("bench-mail: the SMTP servers did not start")
env = dict(os.environ, MIRELUNE_SMTP_URL="smtp://127.0.0.1:%d" % port, MIRELUNE_MAIL_FROM="bench@example.org")


def server_cpu():  # seconds of CPU the servers' process has used
    fields = open("/proc/%d/stat" % server.pid).read().rsplit(")", 1)[1].split()
    return (int(fields[11]) + int(fields[12])) / os.sysconf("SC_CLK_TCK")


def finished(p, timeout):  # waits on a pidfd: wakes the moment the batch ends or the time is up, not later
    fd = os.pidfd_open(p.pid)
    try:
        return bool(select.select([fd], [], [], timeout)[0])
    finally:
        os.close(fd)


def reap(p):  # the batch's own CPU time, in seconds
    _, status, usage = os.wait4(p.pid, 0)
    p.returncode = os.waitstatus_to_exitcode(status)
    return usage.ru_utime + usage.ru_stime


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
            if finished(p, random.uniform(0.05, 2.5)):
                reap(p)
                break
            kill_times.append(time.monotonic())
            os.kill(p.pid, signal.SIGKILL)
            reap(p)
    got = received()
    second = lost = reading = 0
    same_id, gaps = True, []
    for rnd in range(1, rounds + 1):
        for r in range(ROWS):
            copies = got.get("friend%d@r%d.example.org" % (r, rnd), [])
            lost += not copies
            second += max(0, len(copies) - 1)
            same_id = same_id and len({mid for mid, _ in copies}) <= 1
            for _, read in copies[:-1]:  # every copy but the last was followed by a kill
                nearest = min(kill_times, key=lambda k: abs(k - read))
                reading += nearest < read
                gaps.append(1000 * (nearest - read))
    kills = len(kill_times)
    print("kills: %d over %d merges of %d rows; second copies: %d (%.1f per 20 kills; %d killed while the server "
          "was still reading the message, %d after it had read it); lost: %d; every second copy under the first "
          "copy's Message-ID: %s" % (kills, rounds, ROWS, second, 20.0 * second / kills, reading, second - reading,
                                     lost, "yes" if same_id else "NO"))
    if gaps:
        print("  each copy's kill, in ms after the server had read the message: %s" % " ".join("%+.1f" % g for g in sorted(gaps)))


def timing(clis):
    listing = os.path.join(tmp, "timing.csv")
    write_list(listing, "timing")
    kinds = [("no mail", None)] + [("with mail, answered at once" if not after else "with mail, answered after 50 ms",
                                    "smtp://%s:%d" % (host, port)) for host, after in hosts]
    took, cpu, own = {}, {}, {}
    for run in range(RUNS):  # each build and kind once a round: the machine's drift touches them alike
        for cli in clis:
            for label, url in kinds:
                out = os.path.join(tmp, "timing-out")
                before, start = server_cpu(), time.monotonic()
                p = batch(cli, listing, out, url is not None, url)
                if not finished(p, 300):
                    os.kill(p.pid, signal.SIGKILL)
                    sys.exit("bench-mail: a batch took over 300 s")
                took.setdefault((cli, label), []).append(time.monotonic() - start)
                own[cli, label] = own.get((cli, label), 0) + reap(p)
                cpu[cli, label] = cpu.get((cli, label), 0) + server_cpu() - before
                shutil.rmtree(out)
    for cli in clis:
        print(cli + ":")
        plain = statistics.median(took[cli, "no mail"])
        for label, url in kinds:
            t = statistics.median(took[cli, label])
            print("  %s: %s s (median %.2f); the batch's CPU %.2f s" % (
                label, " ".join("%.2f" % x for x in took[cli, label]), t, own[cli, label] / RUNS) + (
                "" if url is None else "; the server's %.1f ms a message; mail adds %.2f s to %d rows on %d jobs "
                "(%.1f ms a message)" % (1000 * cpu[cli, label] / RUNS / ROWS, t - plain, ROWS, JOBS,
                                         1000 * (t - plain) / ROWS)))


try:
    if MIN_KILLS > 0:
        kills(sys.argv[1])
    if RUNS > 0:
        timing(sys.argv[1:])
finally:
    stop.set()
    server.join(30)
    shutil.rmtree(tmp, ignore_errors=True)
PY
