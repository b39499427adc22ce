#!/usr/bin/python3
"""SMTP servers for the mail tests.

    smtp_server.py OUTDIR [OTHER_ADDRESS]

Listens on 127.0.0.1 at four free ports and prints
"READY <plain> <starttls> <smtps> <other>" once they accept connections:
    plain     no TLS offered
    starttls  offers STARTTLS
    smtps     TLS from the first byte
    other     like plain, on OTHER_ADDRESS (a non-loopback address of this
              machine; 0 when none was given)
The certificate (OUTDIR/cert.pem, for 127.0.0.1 and localhost) is made at start
with the openssl command. Every accepted message N is stored as
    OUTDIR/msgN.eml      the bytes as received
    OUTDIR/msgN.body     the text part, decoded
    OUTDIR/msgN.att      the first attachment, decoded
    OUTDIR/msgN.txt      key=value facts, written last (its presence means "complete")
Parsing is done by Python's own e-mail package, independently of the program's
MIME writer.

Recipients whose local part starts with "refuse" get 550. A client may log in
(AUTH PLAIN/LOGIN, with or without TLS) only as bob / s3cret-pw; a failed login
gets 535. Every login attempt adds a line to OUTDIR/auth.log.
The servers stop when their standard input closes or after 120 seconds.
"""
import email
import email.policy
import os
import socket
import ssl
import subprocess
import sys
import threading

from aiosmtpd.controller import Controller
from aiosmtpd.smtp import AuthResult, LoginPassword

USER, PASSWORD = b"bob", b"s3cret-pw"


COUNT_LOCK = threading.Lock()
COUNT = [0]


class Handler:
    def __init__(self, outdir, implicit_tls=False):
        self.outdir = outdir
        self.implicit_tls = implicit_tls

    async def handle_RCPT(self, server, session, envelope, address, rcpt_options):
        if address.lower().startswith("refuse"):
            return "550 5.1.1 No such user here"
        envelope.rcpt_tos.append(address)
        return "250 OK"

    async def handle_DATA(self, server, session, envelope):
        with COUNT_LOCK:
            COUNT[0] += 1
            base = os.path.join(self.outdir, "msg%d" % COUNT[0])
        raw = envelope.original_content
        with open(base + ".eml", "wb") as f:
            f.write(raw)
        msg = email.message_from_bytes(raw, policy=email.policy.default)
        facts = {
            "mail_from": envelope.mail_from,
            "rcpt": ",".join(envelope.rcpt_tos),
            "login": session.auth_data.login.decode() if isinstance(session.auth_data, LoginPassword) else "",
            "tls": "smtps" if self.implicit_tls else ("starttls" if session.ssl is not None else "none"),
            "to": str(msg.get("To", "")),
            "cc_present": "yes" if "Cc" in msg else "no",
            "from": str(msg.get("From", "")),
            "subject": str(msg.get("Subject", "")),
            "mime_version": str(msg.get("MIME-Version", "")),
            "date_present": "yes" if msg.get("Date") else "no",
            "message_id_present": "yes" if msg.get("Message-ID") else "no",
            "content_type": msg.get_content_type(),
            "defects": str(len(msg.defects) + sum(len(p.defects) for p in msg.walk())),
            "header_names": ",".join(msg.keys()),
        }
        parts = [p for p in msg.walk() if not p.is_multipart()]
        texts = [p for p in parts if p.get_content_type() == "text/plain"]
        atts = [p for p in parts if p.get_content_disposition() == "attachment"]
        facts["text_parts"] = str(len(texts))
        facts["attachments"] = str(len(atts))
        if texts:
            facts["text_charset"] = texts[0].get_content_charset() or ""
            facts["text_encoding"] = texts[0].get("Content-Transfer-Encoding", "")
            with open(base + ".body", "wb") as f:
                f.write(texts[0].get_content().encode("utf-8"))
        if atts:
            facts["att_filename"] = atts[0].get_filename() or ""
            facts["att_type"] = atts[0].get_content_type()
            facts["att_encoding"] = atts[0].get("Content-Transfer-Encoding", "")
            with open(base + ".att", "wb") as f:
                f.write(atts[0].get_payload(decode=True))
        with open(base + ".tmp", "w", encoding="utf-8") as f:
            for k, v in facts.items():
                f.write("%s=%s\n" % (k, v.replace("\n", " ")))
        os.rename(base + ".tmp", base + ".txt")
        return "250 Message accepted"


def authenticate(server, session, envelope, mechanism, auth_data):
    with open(os.path.join(server.event_handler.outdir, "auth.log"), "a") as f:
        f.write("%s tls=%s\n" % (mechanism, "yes" if session.ssl is not None else "no"))
    ok = isinstance(auth_data, LoginPassword) and auth_data.login == USER and auth_data.password == PASSWORD
    # Not "handled": aiosmtpd then answers 535 itself on failure.
    return AuthResult(success=ok, handled=False, auth_data=auth_data)


def free_port(host):
    probe = socket.socket()
    probe.bind((host, 0))
    port = probe.getsockname()[1]
    probe.close()
    return port


def main():
    outdir = sys.argv[1]
    other = sys.argv[2] if len(sys.argv) > 2 else ""
    cert, key = os.path.join(outdir, "cert.pem"), os.path.join(outdir, "key.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
                    "-nodes", "-days", "1", "-subj", "/CN=localhost", "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
                    "-keyout", key, "-out", cert], check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(cert, key)
    common = dict(authenticator=authenticate, auth_required=False, auth_require_tls=False, ready_timeout=10)
    controllers = [
        Controller(Handler(outdir), hostname="127.0.0.1", port=free_port("127.0.0.1"), **common),
        Controller(Handler(outdir), hostname="127.0.0.1", port=free_port("127.0.0.1"), tls_context=tls,
                   **common),
        Controller(Handler(outdir, implicit_tls=True), hostname="127.0.0.1", port=free_port("127.0.0.1"),
                   ssl_context=tls, **common),
    ]
    if other:
        controllers.append(Controller(Handler(outdir), hostname=other, port=free_port(other), **common))
    for c in controllers:
        c.start()
    ports = [str(c.port) for c in controllers] + ([] if other else ["0"])
    print("READY " + " ".join(ports), flush=True)
    # Stop when the test closes our input (or dies), and never outlive it by long.
    done = threading.Event()
    threading.Thread(target=lambda: (sys.stdin.read(), done.set()), daemon=True).start()
    done.wait(120)
    for c in controllers:
        c.stop()


if __name__ == "__main__":
    main()
