#!/usr/bin/python3
"""SMTP servers for the mail tests: smtp_server.py OUTDIR. OUTDIR/ready gives the ports: 127.0.0.1 without TLS,
with STARTTLS, with TLS from the start (OUTDIR/cert.pem); another address of this machine without TLS; one that
never answers; a closed port; a SOCKS5 proxy to anywhere, noting "connect HOST:PORT" in socks.log and what
clients sent in socks.sent; last, one that ends a connection with 421 at its third message and never answers QUIT.
Message N is kept as msgN.eml, .id (Message-ID), .body (text), .att (card), .txt (what Python's e-mail package
found); session.log gets "PORT PEER MAIL|QUIT". Recipients "refuse..." get 550, "busy..." 451 once, "drop..." the
connection closed after their 250, "garbage..." a line that is no SMTP reply and "hang..." none at all; the first
message to "cut..." has its connection closed before its data is answered, to "later..." 451 and to "reject..." 554
as the answer to its data, and is not kept. The one login is bob / s3cret-pw, tries counted in auth.log. All ends
when standard input closes (the test process ended, however it ended) or after 300 s (SMTP_SERVER_LIFETIME).
With SMTP_SERVER_STORE=raw a message is only kept as msgN.eml, then answered, as a mail server keeps a message
before it answers and reads it later: the kill test's server, where every millisecond before the answer is one
in which a kill leaves a second copy."""
import asyncio, contextlib, email, email.policy, itertools, os, socket, ssl, subprocess, sys, threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import MISSING, SMTP, AuthResult, LoginPassword

OUT = sys.argv[1]
NUMBERS, KEEP, BUSY = itertools.count(1), [], set()
STORE_ONLY = os.environ.get("SMTP_SERVER_STORE") == "raw"


def save(name, data):  # whole or not at all: the tests look for these files
    with open(os.path.join(OUT, name + ".tmp"), "wb") as f:
        f.write(data)
    os.rename(os.path.join(OUT, name + ".tmp"), os.path.join(OUT, name))


def note(server, session, command, closing=None):  # closing: the reply, after which the server hangs up
    with open(os.path.join(OUT, "session.log"), "a") as f:
        f.write("%d %s:%d %s\n" % (server.transport.get_extra_info("sockname")[1], *session.peer[:2], command))
    if closing:
        asyncio.get_running_loop().call_soon(server.transport.close)
    return closing


class Handler:
    def __init__(self, quirky=False):
        self.quirky = quirky

    async def handle_MAIL(self, server, session, envelope, address, options):
        session.messages = getattr(session, "messages", 0) + 1
        envelope.mail_from, envelope.mail_options = address, options
        return note(server, session, "MAIL", self.quirky and session.messages == 3 and "421 4.7.0 Too many") or "250 OK"

    async def handle_QUIT(self, server, session, envelope):
        note(server, session, "QUIT")
        await asyncio.sleep(120 if self.quirky else 0)
        return "221 Bye"

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address.lower().startswith("refuse"):
            return "550 5.1.1 No such user here"
        if address.lower().startswith("busy") and address not in BUSY:
            BUSY.add(address)
            return "451 4.3.0 Busy, try again later"
        if address.lower().startswith("garbage"):
            return "Hello! This is no mail server."
        if address.lower().startswith("hang"):
            await asyncio.sleep(120)
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        fault = next((r[:3] for r in envelope.rcpt_tos if r[:3] in ("cut", "lat", "rej") and r not in BUSY), None)
        if fault:
            BUSY.update(envelope.rcpt_tos)
            if fault == "cut":
                server.transport.abort()  # unanswered: the client cannot know whether the message was taken
            return "451 4.3.0 Try again later" if fault == "lat" else "554 5.6.0 Message rejected"
        n, raw = next(NUMBERS), envelope.original_content
        if STORE_ONLY:  # as a mail server does: the message kept, then answered; nothing read into it first
            save("msg%d.eml" % n, raw)
            return "250 Message accepted"
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        longest = max(len(line) for line in raw.partition(b"\r\n\r\n")[2].split(b"\r\n"))
        leaves = [p for p in msg.walk() if not p.is_multipart()]
        for p in leaves:
            if p.get_content_type() == "text/plain":
                save("msg%d.body" % n, p.get_content().replace("\r\n", "\n").encode())
            elif p.get_content_disposition() == "attachment":
                save("msg%d.att" % n, p.get_payload(decode=True))
        facts = {
            "envelope": "%s > %s" % (envelope.mail_from, ",".join(envelope.rcpt_tos)),
            "login": session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else "",
            "tls": "starttls" if session.ssl else "smtps" if server.transport.get_extra_info("ssl_object") else "none",
            "wire": "%s, %s, %d defects" % ("7bit" if raw.isascii() else "8bit", "lines <= 76" if longest <= 76 else
                                            "a line of %d" % longest, sum(len(p.defects) for p in msg.walk())),
            "headers": ",".join(msg.keys()), "from": msg["From"], "to": msg["To"], "subject": msg["Subject"],
            "parts": msg.get_content_type() + ": " + ", ".join(" ".join(filter(None, [
                p.get_content_type(), p.get_content_charset(), p["Content-Transfer-Encoding"], p.get_filename()]))
                for p in leaves),
        }
        save("msg%d.eml" % n, raw)
        save("msg%d.id" % n, str(msg["Message-ID"]).encode())
        save("msg%d.txt" % n, "".join("%s=%s\n" % kv for kv in facts.items()).encode())
        return note(server, session, "DATA", any(r.startswith("drop") for r in envelope.rcpt_tos) and "250 OK") or \
            "250 Message accepted"


class BulkSMTP(SMTP):
    """Reads a message's data in bulk, as a mail server in C does, not line by line: a card's message is then
    answered within milliseconds of its end, where line-by-line reading kept it waiting tens of them."""

    async def smtp_DATA(self, arg):
        if arg or not self.envelope.rcpt_tos:
            return await super().smtp_DATA(arg)  # its errors
        await self.push("354 End data with <CR><LF>.<CR><LF>")
        data = bytearray(b"\r\n")  # a line break before the first line, so that it unstuffs like the rest
        while not data.endswith(b"\r\n.\r\n"):
            chunk = await self._reader.read(1 << 20)
            if not chunk:
                return  # the client went before its end: nothing is kept
            data += chunk
        self.envelope.content = self.envelope.original_content = bytes(data[:-3]).replace(b"\r\n..", b"\r\n.")[2:]
        status = await self._call_handler_hook("DATA")
        self._set_post_data_state()
        await self.push("250 OK" if status is MISSING else status)


class BulkController(Controller):
    def factory(self):
        return BulkSMTP(self.handler, **self.SMTP_kwargs)


def authenticate(server, session, envelope, mechanism, auth_data):
    with open(os.path.join(OUT, "auth.log"), "a") as f:
        f.write(mechanism + "\n")
    ok = isinstance(auth_data, LoginPassword) and (auth_data.login, auth_data.password) == (b"bob", b"s3cret-pw")
    return AuthResult(success=ok, handled=False, auth_data=auth_data)  # not handled: aiosmtpd answers 535 itself


def exactly(conn, n):
    data = b""
    while len(data) < n:
        chunk = conn.recv(n - len(data))
        if not chunk:
            raise OSError("closed early")
        data += chunk
    return data


def pump(src, dst, sent=None):
    with contextlib.suppress(OSError):
        while data := src.recv(65536):
            if sent:
                with open(os.path.join(OUT, "socks.sent"), "ab") as f:
                    f.write(data)
            dst.sendall(data)
    with contextlib.suppress(OSError):
        dst.shutdown(socket.SHUT_WR)


def socks_client(conn):  # RFC 1928: no authentication, CONNECT only
    with conn, contextlib.suppress(OSError):
        conn.settimeout(30)
        exactly(conn, exactly(conn, 2)[1])
        conn.sendall(b"\x05\x00")
        kind = exactly(conn, 4)[3]
        host = (socket.inet_ntoa(exactly(conn, 4)) if kind == 1 else
                socket.inet_ntop(socket.AF_INET6, exactly(conn, 16)) if kind == 4 else
                exactly(conn, exactly(conn, 1)[0]).decode())
        port = int.from_bytes(exactly(conn, 2), "big")
        with open(os.path.join(OUT, "socks.log"), "a") as f:
            f.write("connect %s:%d\n" % (host, port))
        with socket.create_connection((host, port), timeout=10) as up:
            up.settimeout(30)
            conn.sendall(b"\x05\x00\x00\x01" + bytes(6))
            back = threading.Thread(target=pump, args=(up, conn), daemon=True)
            back.start()
            pump(conn, up, sent=True)
            back.join(30)


def socks_proxy():
    KEEP.append(listener := socket.create_server(("127.0.0.1", 0)))

    def accept():
        while True:
            threading.Thread(target=socks_client, args=(listener.accept()[0],), daemon=True).start()
    threading.Thread(target=accept, daemon=True).start()
    return listener.getsockname()[1]


def serve(host, quirky=False, **tls):
    with socket.create_server((host, 0)) as probe:
        port = probe.getsockname()[1]
    BulkController(Handler(quirky), hostname=host, port=port, authenticator=authenticate, auth_required=False,
               auth_require_tls=False, ready_timeout=10, **tls).start()
    return port


def main():
    cert, key = os.path.join(OUT, "cert.pem"), os.path.join(OUT, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-days", "1", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-keyout", key, "-out", cert], check=True, stdin=subprocess.DEVNULL, capture_output=True)
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(cert, key)
    ports = [serve("127.0.0.1"), serve("127.0.0.1", tls_context=tls), serve("127.0.0.1", ssl_context=tls)]
    other, silent, down, route = None, socket.create_server(("127.0.0.1", 0)), socket.socket(), socket.socket(
        type=socket.SOCK_DGRAM)
    with route, contextlib.suppress(OSError):  # the address of the default route; nothing is sent
        route.connect(("203.0.113.1", 9))
        other = route.getsockname()[0]
    down.bind(("127.0.0.1", 0))
    KEEP.extend([silent, down])
    return "%d %d %d %s %d %d %d %d" % (*ports, "%s:%d" % (other, serve(other)) if other else "-",
                                        silent.getsockname()[1], down.getsockname()[1], socks_proxy(),
                                        serve("127.0.0.1", quirky=True))


if __name__ == "__main__":
    threading.Timer(float(os.environ.get("SMTP_SERVER_LIFETIME", 300)), os._exit, [0]).start()
    try:
        ready = main()
    except Exception as e:  # the tests are skipped with this reason
        ready = "ERROR %r" % e
    save("ready", ready.encode())
    sys.stdin.read()
    os._exit(0)
