#!/usr/bin/env python3
"""Servers on 127.0.0.1 for the network tests of the desktop program.

  test_servers.py http          product pages, redirects, errors, downloads
  test_servers.py smtp OUTDIR   a mail server that keeps what it accepts

Each listens on a free port that it prints first as "PORT <n>" ("SKIP <why>"
when a module is missing) and runs until its standard input closes. The HTTP
server prints each request as "SEEN <path> VIA=<Via header>", so that a test
can tell whether it came through the proxy; the mail server writes each
message as JSON (HELO name, envelope, raw text, and the sender's name and
body as Python's mail parser decodes them) to OUTDIR/message-N.json.
"""
import email
import email.policy
import hashlib
import http.server
import json
import os
import socket
import socketserver
import sys
import threading
import time
import urllib.parse

TAGS = ("Name", "Marlo"), ("Author", "Test Maker"), ("Email", "maker@127.0.0.1"), ("Date", "2026-12-01")


def meta(name, value):
    return '<META HTTP-EQUIV="Marlo%s" CONTENT="%s">\r\n' % (name, value)


def page(base, version, extra="", dl="/files/update.bin"):
    tags = TAGS + (("Version", version),) + ((("Dl", base + dl),) if dl != "none" else ())
    tags += ("Readme", base + "/readme.txt"), ("Parms", "--quiet")
    return "<HTML><HEAD>\r\n%s%s</HEAD><BODY>Marlo</BODY></HTML>\r\n" % ("".join(meta(*t) for t in tags), extra)


PATTERN = bytes(i % 251 for i in range(65536 + 251))
# A checksum that fits what /files/update.bin sends, and one that does not.
UPDATE = bytes(i % 251 for i in range(300000))
SHA256 = {"good": hashlib.sha256(UPDATE).hexdigest().upper(), "bad": hashlib.sha256(b"something else").hexdigest()}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    log_message = lambda *args: None

    # The body with its type (none if empty) and length (None: the body's; "none": not said).
    def send(self, body, kind="text/html", length=None):
        self.send_response(200)
        if kind:
            self.send_header("Content-Type", kind)
        if length != "none":
            self.send_header("Content-Length", str(len(body) if length is None else length))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        print("SEEN %s VIA=%s" % (url.path, self.headers.get("Via", "")), flush=True)
        base = "http://127.0.0.1:%d" % self.server.server_address[1]
        path = url.path
        if path == "/page":
            extra = meta("ReadmeExt", base + "/readme.txt") if query.get("ext") else ""
            if query.get("sha"):
                extra += meta("DlSha256", SHA256[query["sha"]])
            # charset: how the page is encoded; declare: "header", "meta" or not at all.
            charset, kind = query.get("charset", "latin-1"), "text/html"
            if query.get("declare") == "meta":
                extra += '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=%s">\r\n' % charset
            if query.get("declare") == "header":
                kind += "; charset=" + charset
            text = page(base, query.get("version", "1.0.6.0"), extra, query.get("dl", "/files/update.bin"))
            self.send(text.encode(charset), kind=kind)
        elif path == "/notags":
            self.send(b"<HTML><BODY>No release information here.</BODY></HTML>\r\n")
        elif path == "/junk":
            self.send(bytes(range(256)) * 4000 + b"\x00" * 300000 + b'META HTTP-EQUIV="' * 1000, kind="")
        elif path.startswith("/hop/"):
            # /hop/3 -> /hop/2 -> ... -> /hop/0, which is the real page.
            left = int(path[5:])
            extra = meta("Redirect", "%s/hop/%d" % (base, left - 1)) if left else ""
            self.send(page(base, "9.9.9.9" if left else "1.0.7.0", extra).encode())
        elif path in ("/loop/a", "/loop/b"):
            self.send(meta("Redirect", base + ("/loop/b" if path == "/loop/a" else "/loop/a")).encode())
        elif path == "/r302":
            self.send_response(302)
            self.send_header("Location", "/r302")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/readme.txt":
            self.send(b"Release notes\r\nFixed everything.\r\n")
        elif path.startswith("/files/"):
            self.send_file(query)
        else:
            self.send_error(404, "File not found")

    def send_file(self, query):
        size, chunk = int(query.get("size", "300000")), int(query.get("chunk", "65536"))
        delay = float(query.get("delay", "0")) / 1000.0
        self.send(b"", "application/octet-stream", size if query.get("len", "1") == "1" else "none")
        sent = 0
        try:
            while sent < size:
                n = min(chunk, size - sent, 65536)
                self.wfile.write(PATTERN[sent % 251 : sent % 251 + n])
                self.wfile.flush()
                sent += n
                time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Recorder:
    def __init__(self, outdir):
        self.outdir, self.count = outdir, 0

    async def handle_DATA(self, server, session, envelope):
        self.count += 1
        parsed = email.message_from_bytes(envelope.original_content, policy=email.policy.default)
        record = dict(helo=session.host_name, mail_from=envelope.mail_from, rcpt_tos=envelope.rcpt_tos,
                      content=envelope.original_content.decode("latin-1"),
                      from_name=parsed["From"].addresses[0].display_name,
                      body=parsed.get_content().replace("\r\n", "\n"))
        path = os.path.join(self.outdir, "message-%d.json" % self.count)
        with open(path + ".tmp", "w") as f:
            json.dump(record, f)
        os.replace(path + ".tmp", path)
        return "250 Message accepted"


class HttpServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    if sys.argv[1] == "smtp":
        try:
            from aiosmtpd.controller import Controller
        except ImportError:
            print("SKIP python3-aiosmtpd is not installed", flush=True)
            return
        with socket.socket() as s:
            s.bind(("127.0.0.1", 0))
            port = s.getsockname()[1]
        server = Controller(Recorder(sys.argv[2]), hostname="127.0.0.1", port=port)
        server.start()
        stop = server.stop
    else:
        server = HttpServer(("127.0.0.1", 0), Handler)
        threading.Thread(target=server.serve_forever, daemon=True).start()
        port, stop = server.server_address[1], server.shutdown
    print("PORT %d" % port, flush=True)
    try:
        sys.stdin.read()
    finally:
        stop()


if __name__ == "__main__":
    main()
