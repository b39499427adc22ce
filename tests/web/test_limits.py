"""A real mirelune-serve under attack from this machine: a slow-head flood from
one address while another address asks for a card, a request head that
trickles past its deadline, and hundreds of distinct cached cards, after which
the server must hold no more descriptors than it started with (the cache keeps
none). Usage: test_limits.py MIRELUNE_SERVE"""
import contextlib
import os
import resource
import socket
import subprocess
import sys
import tempfile
import time

SERVE = sys.argv[1]
FLOOD = 3000
CARDS = int(os.environ.get("LIMITS_CARDS", "300"))  # the release check runs 1,000


def start(*extra):
    # The request log goes to a file: a pipe nobody reads would fill and stall the server.
    log = tempfile.TemporaryFile(mode="w+")
    serve = subprocess.Popen([SERVE, "--allow-root", "--listen", "127.0.0.1:0", "--jobs", "2", *extra],
                             stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=log, text=True)
    for _ in range(100):  # "mirelune-serve: serving on 127.0.0.1:PORT with ..."
        log.seek(0)
        line = log.readline()
        if "serving on" in line:
            return serve, int(line.split("serving on ")[1].split()[0].rsplit(":", 1)[1])
        time.sleep(0.1)
    serve.kill()
    check(False, "the server started: " + line)


@contextlib.contextmanager
def serving(*extra):
    serve, port = start(*extra)
    try:
        yield serve, port
    finally:
        serve.terminate()
        serve.wait(timeout=30)


def descriptors(pid):
    return len(os.listdir(f"/proc/{pid}/fd"))


def ask(port, path, source="127.0.0.1", timeout=5.0):
    """The status and body of one GET from `source`."""
    with socket.socket() as s:
        s.settimeout(timeout)
        s.bind((source, 0))
        s.connect(("127.0.0.1", port))
        s.sendall(f"GET {path} HTTP/1.1\r\nHost: x\r\n\r\n".encode())
        data = b""
        while chunk := s.recv(65536):
            data += chunk
    head, _, body = data.partition(b"\r\n\r\n")
    return int(head.split()[1]), body


def metric(port, name):
    """One figure of /metrics, asked from an address of its own (127.0.0.1 may be at its cap)."""
    text = ask(port, "/metrics", source="127.0.0.3")[1].decode()
    return int(next(line for line in text.splitlines() if line.startswith(name + " ")).split()[1])


def check(condition, what):
    print(("ok   " if condition else "FAIL ") + what, flush=True)
    if not condition:
        sys.exit(1)


def slow_heads():
    with serving("--timeout", "10") as (serve, port):
        flood = []
        for _ in range(FLOOD):
            s = socket.socket()
            s.setblocking(False)
            s.connect_ex(("127.0.0.1", port))
            flood.append(s)
        time.sleep(0.5)
        for s in flood:  # one byte each, as a slow client sends
            try:
                s.send(b"G")
            except OSError:
                pass
        start_time = time.monotonic()
        status, body = ask(port, "/card.png?friend=Mary&sender=Bob", source="127.0.0.2")
        took = time.monotonic() - start_time
        check(status == 200 and body.startswith(b"\x89PNG"), f"a card for 127.0.0.2 during the flood ({took:.2f} s)")
        check(took < 2.0, "within 2 s")
        # A burst beyond the listen backlog has some handshakes dropped and retried by the
        # client's kernel a second or more later; those are closed as soon as they arrive.
        deadline = time.monotonic() + 10
        while (refused := metric(port, "mirelune_connections_refused_total")) < FLOOD - 64 \
                and time.monotonic() < deadline:
            time.sleep(0.2)
        check(refused >= FLOOD - 64, f"{refused} of {FLOOD} flood connections closed once accepted")
        for s in flood:
            s.close()


def head_deadline():
    with serving("--timeout", "2") as (serve, port):
        with socket.socket() as s:
            s.settimeout(10)
            s.connect(("127.0.0.1", port))
            answer = b""
            for byte in b"GET /healthz HTTP/1.1\r\nHost: x\r\n":  # never finished, a byte every 0.5 s
                try:
                    s.send(bytes([byte]))
                except OSError:
                    break
                s.settimeout(0.5)
                try:
                    answer = s.recv(4096)
                except socket.timeout:
                    continue
                break
        check(answer.startswith(b"HTTP/1.1 408"), "a head trickling past --timeout 2 gets 408")


def cached_cards():
    with serving("--cache-mib", "512") as (serve, port):
        time.sleep(0.3)
        before = descriptors(serve.pid)
        for k in range(CARDS):
            status, _ = ask(port, f"/card.png?friend=F{k}&sender=S", timeout=30)
            if status != 200:
                check(False, f"card {k}: {status}")
        entries = metric(port, "mirelune_cache_entries")
        after = descriptors(serve.pid)
        check(entries == CARDS, f"{entries} cards cached")
        check(after <= before + 8, f"{after} descriptors after them, {before} before")
        start_time = time.monotonic()
        check(ask(port, "/healthz", timeout=1)[0] == 200, "healthz answers")
        check(time.monotonic() - start_time < 1, "within 1 s")


if __name__ == "__main__":
    soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
    if hard < FLOOD + 100:
        print("skipped: the descriptor limit is too low for the flood")
        sys.exit(77)
    resource.setrlimit(resource.RLIMIT_NOFILE, (hard, hard))
    slow_heads()
    head_deadline()
    cached_cards()
