#!/usr/bin/env python3
"""Product pages, redirects, errors and downloads for the update-check tests.

Listens on 127.0.0.1 only, on a free port, and prints "PORT <n>" first.
Every request is then printed as "SEEN <path> VIA=<Via header>", so that a
test can tell whether it came through the proxy. Ends when stdin closes.
"""
import hashlib
import http.server
import socketserver
import sys
import threading
import time
import urllib.parse


def page(port, version, extra="", dl="/files/update.bin"):
    base = "http://127.0.0.1:%d" % port
    text = (
        "<HTML><HEAD>\r\n"
        '<META HTTP-EQUIV="MarloName" CONTENT="Marlo">\r\n'
        '<META HTTP-EQUIV="MarloAuthor" CONTENT="Test Maker">\r\n'
        '<META HTTP-EQUIV="MarloEmail" CONTENT="maker@127.0.0.1">\r\n'
        '<META HTTP-EQUIV="MarloDate" CONTENT="2026-12-01">\r\n'
        '<META HTTP-EQUIV="MarloVersion" CONTENT="%s">\r\n'
        '<META HTTP-EQUIV="MarloDl" CONTENT="%s%s">\r\n'
        '<META HTTP-EQUIV="MarloReadme" CONTENT="%s/readme.txt">\r\n'
        '<META HTTP-EQUIV="MarloParms" CONTENT="--quiet">\r\n'
        "%s</HEAD><BODY>Marlo</BODY></HTML>\r\n" % (version, base, dl, base, extra)
    )
    if dl == "none":
        text = "\r\n".join(line for line in text.split("\r\n") if "MarloDl" not in line)
    return text


PATTERN = bytes(i % 251 for i in range(65536 + 251))
# What /files/update.bin sends, and a checksum that fits it or not.
SHA256 = {
    "good": hashlib.sha256(bytes(i % 251 for i in range(300000))).hexdigest().upper(),
    "bad": hashlib.sha256(b"something else").hexdigest(),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def send_text(self, text, code=200, charset="latin-1", declare=""):
        body = text.encode(charset)
        self.send_response(code)
        self.send_header("Content-Type", "text/html; charset=" + charset if declare == "header" else "text/html")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        query = dict(urllib.parse.parse_qsl(url.query))
        print("SEEN %s VIA=%s" % (url.path, self.headers.get("Via", "")), flush=True)
        port = self.server.server_address[1]
        path = url.path
        if path == "/page":
            extra = ""
            if query.get("ext"):
                extra = '<META HTTP-EQUIV="MarloReadmeExt" CONTENT="http://127.0.0.1:%d/readme.txt">\r\n' % port
            if query.get("sha"):
                extra += '<META HTTP-EQUIV="MarloDlSha256" CONTENT="%s">\r\n' % SHA256[query["sha"]]
            # charset: how the page is encoded; declare: "header", "meta" or not at all.
            charset = query.get("charset", "latin-1")
            if query.get("declare") == "meta":
                extra += '<META HTTP-EQUIV="Content-Type" CONTENT="text/html; charset=%s">\r\n' % charset
            text = page(port, query.get("version", "1.0.6.0"), extra, dl=query.get("dl", "/files/update.bin"))
            self.send_text(text, charset=charset, declare=query.get("declare", ""))
        elif path == "/notags":
            self.send_text("<HTML><BODY>No release information here.</BODY></HTML>\r\n")
        elif path == "/junk":
            body = bytes(range(256)) * 4000 + b"\x00" * 300000 + b"META HTTP-EQUIV=\"" * 1000
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
        elif path.startswith("/hop/"):
            # /hop/3 -> /hop/2 -> ... -> /hop/0, which is the real page.
            left = int(path[5:])
            if left == 0:
                self.send_text(page(port, "1.0.7.0"))
            else:
                target = "http://127.0.0.1:%d/hop/%d" % (port, left - 1)
                self.send_text(page(port, "9.9.9.9", '<META HTTP-EQUIV="MarloRedirect" CONTENT="%s">\r\n' % target))
        elif path in ("/loop/a", "/loop/b"):
            other = "/loop/b" if path == "/loop/a" else "/loop/a"
            self.send_text('<META HTTP-EQUIV="MarloRedirect" CONTENT="http://127.0.0.1:%d%s">\r\n' % (port, other))
        elif path == "/r302":
            self.send_response(302)
            self.send_header("Location", "/r302")
            self.send_header("Content-Length", "0")
            self.end_headers()
        elif path == "/readme.txt":
            self.send_text("Release notes\r\nFixed everything.\r\n")
        elif path.startswith("/files/"):
            self.send_file(query)
        else:
            self.send_error(404, "File not found")

    def send_file(self, query):
        size = int(query.get("size", "300000"))
        chunk = int(query.get("chunk", "65536"))
        delay = float(query.get("delay", "0")) / 1000.0
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        if query.get("len", "1") == "1":
            self.send_header("Content-Length", str(size))
        self.end_headers()
        sent = 0
        try:
            while sent < size:
                n = min(chunk, size - sent, 65536)
                self.wfile.write(PATTERN[sent % 251:sent % 251 + n])
                self.wfile.flush()
                sent += n
                if delay:
                    time.sleep(delay)
        except (BrokenPipeError, ConnectionResetError):
            pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
