#!/usr/bin/python3
"""SMTP servers for the mail tests: smtp_server.py OUTDIR

Serves on 127.0.0.1 without TLS, with STARTTLS and with TLS from the first byte
(certificate OUTDIR/cert.pem, made here), plus one without TLS on an address of
this machine that is not loopback. Once they listen, OUTDIR/ready holds
"PLAIN STARTTLS SMTPS OTHER_HOST:PORT" ("-" for the last when there is no such
address), or "ERROR ..." when they cannot start.

Message N is stored as OUTDIR/msgN.eml (as received), .body (the text part,
decoded, CRLF as LF), .att (the attachment, decoded) and, last, .txt: facts as
key=value lines, read by Python's own e-mail package. Recipients starting with
"refuse" get 550; the only login is bob / s3cret-pw, and every attempt adds a
line to OUTDIR/auth.log. The servers end when standard input closes (the test
process ended, however) or after 300 seconds.
"""
import email
import email.policy
import fcntl
import itertools
import os
import socket
import ssl
import struct
import subprocess
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

OUT = sys.argv[1]
NUMBERS = itertools.count(1)


def save(name, data):
    with open(os.path.join(OUT, name), "wb") as f:
        f.write(data)


class Handler:
    def __init__(self, tls_from_start=False):
        self.tls_from_start = tls_from_start

    async def handle_RCPT(self, server, session, envelope, address, options):
        if address.lower().startswith("refuse"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        n, raw = next(NUMBERS), envelope.original_content
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        head, _, rest = raw.partition(b"\r\n\r\n")
        longest = lambda b: max(len(line) for line in b.split(b"\r\n"))
        leaves = [p for p in msg.walk() if not p.is_multipart()]
        for p in leaves:
            if p.get_content_type() == "text/plain":
                save("msg%d.body" % n, p.get_content().replace("\r\n", "\n").encode())
            elif p.get_content_disposition() == "attachment":
                save("msg%d.att" % n, p.get_payload(decode=True))
        login = session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else ""
        facts = {
            "envelope": "%s > %s" % (envelope.mail_from, ",".join(envelope.rcpt_tos)),
            "login": login,
            "tls": "smtps" if self.tls_from_start else "starttls" if session.ssl else "none",
            "wire": "%s, lines %s" % ("7bit" if raw.isascii() else "8bit",
                                      "ok" if longest(head) <= 998 and longest(rest) <= 76 else "too long"),
            "defects": str(sum(len(p.defects) for p in msg.walk())),
            "headers": ",".join(msg.keys()),
            "from": str(msg["From"]),
            "to": str(msg["To"]),
            "subject": str(msg["Subject"]),
            "parts": msg.get_content_type() + ": " + ", ".join(
                " ".join(filter(None, [p.get_content_type(), p.get_content_charset(),
                                       p.get("Content-Transfer-Encoding"), p.get_filename()])) for p in leaves),
        }
        save("msg%d.eml" % n, raw)
        save("msg%d.tmp" % n, "".join("%s=%s\n" % kv for kv in facts.items()).encode())
        os.rename(os.path.join(OUT, "msg%d.tmp" % n), os.path.join(OUT, "msg%d.txt" % n))
        return "250 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    with open(os.path.join(OUT, "auth.log"), "a") as f:
        f.write("%s tls=%s\n" % (mechanism, "yes" if session.ssl else "no"))
    ok = isinstance(auth_data, LoginPassword) and (auth_data.login, auth_data.password) == (b"bob", b"s3cret-pw")
    return AuthResult(success=ok, handled=False, auth_data=auth_data)  # not handled: aiosmtpd answers 535 itself


def other_address():
    with socket.socket(socket.AF_INET, socket.SOCK_DGRAM) as s:
        for _, name in socket.if_nameindex():
            try:  # SIOCGIFADDR
                ip = socket.inet_ntoa(fcntl.ioctl(s.fileno(), 0x8915, struct.pack("256s", name[:15].encode()))[20:24])
            except OSError:
                continue
            if not ip.startswith("127."):
                return ip
    return None


def serve(host, tls_from_start=False, **tls):
    with socket.socket() as probe:
        probe.bind((host, 0))
        port = probe.getsockname()[1]
    Controller(Handler(tls_from_start), hostname=host, port=port, authenticator=authenticate, auth_required=False,
               auth_require_tls=False, ready_timeout=10, **tls).start()
    return port


def main():
    cert, key = os.path.join(OUT, "cert.pem"), os.path.join(OUT, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-days", "1", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-keyout", key, "-out", cert], check=True, stdin=subprocess.DEVNULL, capture_output=True)
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(cert, key)
    ports = [serve("127.0.0.1"), serve("127.0.0.1", tls_context=tls), serve("127.0.0.1", True, ssl_context=tls)]
    other = other_address()
    return "%d %d %d %s" % (*ports, "%s:%d" % (other, serve(other)) if other else "-")


if __name__ == "__main__":
    threading.Timer(300, os._exit, [0]).start()
    try:
        ready = main()
    except Exception as e:  # the tests are skipped with this reason
        ready = "ERROR %r" % e
    save("ready.tmp", ready.encode())
    os.rename(os.path.join(OUT, "ready.tmp"), os.path.join(OUT, "ready"))
    sys.stdin.read()
    os._exit(0)
