#!/usr/bin/env python3
"""A stand-in for the store's web service on 127.0.0.1. usage: store_server.py ROOT PORT_FILE REQUEST_LOG

Answers what a plain file server can't. Paths:
  /status/<code>              that HTTP status, with the body "status <code>" or "?body=<b>";
                              "?type=", "?range=" and "?coding=" add a Content-Type, a
                              Content-Range and a Content-Encoding, "?header=<name>:<value>"
                              a header as it is written, however malformed
  /cut/<size>                 announces <size> bytes, sends half, closes
  /stall/<size>               announces <size> bytes, sends 100, then nothing
  /range-from/<start>/<file>  206 with "Content-Range: bytes <start>-..." whatever was asked;
                              with "?last=<n>", only up to byte <n>; with "?total=<t>", <t> as
                              the file's length; with "?send=<n>", <n> bytes from <start> on
                              (fewer or more than the range), announced as that many, or with
                              "&unannounced" as none, ended by closing; "?range=" as above
                              (a second one)
  /redirect?to=<url>          302 to <url> (an empty Location without "to"); "?type=",
                              "?range=" and "?coding=" as above
  /loop                       302 to itself
  /endless-redirect?to=<url>  302 to <url> in HTTP/1.1 with a chunked body that a client keeping
                              the connection reads before it follows: it runs on until the
                              client goes (or ends after 64 MiB)
  /nolength/<file>            the file with no length announced
  /nothing                    closes the connection without an answer
  /silent/...                 reads the request and never answers
  /trickle/...                announces a megabyte and sends it a byte every 0.2 s
  /endless                    a body with no length that runs on until the client goes (or
                              64 MiB are sent: a client without a limit gets a file, not a full disk)
  /cut-once/<file>            half the file and a close the first time; then the file, from
                              the start of a "bytes=N-" Range when one is asked for
  /slow/<file>                the file at about 160 KB/s, from the start of a "bytes=N-" Range
                              when one is asked for (416 from its end on); "range N" is logged
                              after the target
  /quick/<file>               the same at about 1 MB/s
  /gp/sonvel/ruq-result.html/...  the report endpoint: 200, empty body; answered like the path
                              that the file "report-answer" under ROOT names, when there is one
  anything else               the file under ROOT, whole, status 200 (Range ignored)
Each request target is logged before it is answered, so a client that has its answer finds
its request in the log. The port, chosen by the system, is written to PORT_FILE once it listens.
"""
import os
import re
import sys
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer


class StoreHandler(BaseHTTPRequestHandler):
    lock = threading.Lock()
    cut_targets = set()

    def log_message(self, *args):
        pass

    def do_GET(self):
        with self.lock:
            print(self.path, file=self.server.request_log, flush=True)
        target = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(target.query, keep_blank_values=True)
        path = target.path
        if path.startswith("/gp/sonvel/ruq-result.html/"):
            path = self.read_file("report-answer")
            if path is None:
                return self.answer(200, b"")
            path = path.decode().strip()
        head, _, rest = path[1:].partition("/")
        first, _, after = rest.partition("/")
        added = [(name, query[key][0]) for key, name in (("type", "Content-Type"), ("range", "Content-Range"), ("coding", "Content-Encoding"))
                 if key in query] + [tuple(header.split(":", 1)) for header in query.get("header", [])]
        if head == "status":
            return self.answer(int(first), query.get("body", ["status %s\n" % first])[0].encode(), headers=added)
        if head == "redirect":
            return self.answer(302, b"", headers=[("Location", query.get("to", [""])[0])] + added)
        if head == "endless":
            return self.answer_endlessly()
        if head == "endless-redirect":
            return self.redirect_endlessly(query["to"][0])
        if head == "loop":
            return self.answer(302, b"", headers=[("Location", self.path)])
        if head in ("nothing", "silent"):
            if head == "silent":
                self.server.stopping.wait(600)
            self.close_connection = True
            return
        if head == "trickle":
            return self.answer_trickling()
        if head in ("cut", "stall"):
            return self.answer(200, b"c" * (int(first) // 2) if head == "cut" else b"s" * 100, int(first), head == "stall")
        data = self.read_file({"range-from": after, "nolength": rest, "cut-once": rest, "slow": rest, "quick": rest}.get(head, path))
        asked = re.fullmatch(r"bytes=(\d+)-", self.headers.get("Range", ""))
        if data is None:
            return self.answer(404, b"not found\n")
        if head == "range-from":
            send = int(query["send"][0]) if "send" in query else None
            return self.answer_range(data, int(first), int(query.get("last", [len(data) - 1])[0]), query.get("total", [len(data)])[0],
                                     send, "unannounced" not in query, added)
        if head in ("slow", "quick"):
            start = int(asked.group(1)) if asked else 0
            with self.lock:
                print("range %d" % start, file=self.server.request_log, flush=True)
            return self.answer_slowly(data, start, 163840 if head == "slow" else 1048576)
        if head == "nolength":
            return self.answer(200, data, None)
        if head == "cut-once":
            with self.lock:
                once = self.path not in self.cut_targets
                self.cut_targets.add(self.path)
            if once:
                return self.answer(200, data[:len(data) // 2], len(data))
            if asked:
                return self.answer_range(data, int(asked.group(1)))
        self.answer(200, data)

    # Sends `body` announced as `length` bytes (none when None). An answer whose length is
    # given (cut, stalled, or none) ends with the connection.
    def answer(self, status, body, length=-1, stall=False, headers=()):
        self.send_response(status)
        if length is not None:
            self.send_header("Content-Length", str(len(body) if length == -1 else length))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)
        self.wfile.flush()
        if stall:
            self.server.stopping.wait(120)
        self.close_connection = length != -1

    # The range <start>-<last> of `data`, or `send` bytes from <start> on.
    def answer_range(self, data, start, last=None, total=None, send=None, announced=True, headers=()):
        last = len(data) - 1 if last is None else last
        total = len(data) if total is None else total
        body = data[start:last + 1] if send is None else data[start:start + send]
        self.answer(206, body, -1 if announced else None,
                    headers=[("Content-Range", "bytes %d-%d/%s" % (start, last, total))] + list(headers))

    # Writing blocks while the client does not read, and fails once it has gone.
    def answer_endlessly(self):
        self.send_response(200)
        self.end_headers()
        self.close_connection = True
        self.write_repeatedly(b"e" * 65536)

    def redirect_endlessly(self, location):
        head = "HTTP/1.1 302 Found\r\nLocation: %s\r\nTransfer-Encoding: chunked\r\n\r\n" % location
        self.wfile.write(head.encode())
        self.close_connection = True
        self.write_repeatedly(b"10000\r\n" + b"r" * 65536 + b"\r\n", b"0\r\n\r\n")

    # `block` 1024 times (64 MiB of 64 KiB blocks: a test against a fault ends instead of hanging),
    # then `end`; stops when the server does, or the client goes.
    def write_repeatedly(self, block, end=b""):
        try:
            for _ in range(1024):
                if self.server.stopping.is_set():
                    return
                self.wfile.write(block)
            self.wfile.write(end)
        except OSError:
            pass

    def answer_slowly(self, data, start, rate):
        # A range from the end of the file on asks for nothing: refused, naming the file's length.
        if start >= len(data) > 0:
            return self.answer(416, b"", headers=[("Content-Range", "bytes */%d" % len(data))])
        self.send_response(206 if start else 200)
        self.send_header("Content-Length", str(len(data) - start))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        self.end_headers()
        for offset in range(start, len(data), 8192):
            self.wfile.write(data[offset:offset + 8192])
            self.wfile.flush()
            self.server.stopping.wait(8192 / rate)

    def answer_trickling(self):
        self.send_response(200)
        self.send_header("Content-Length", "1000000")
        self.end_headers()
        self.close_connection = True
        try:
            while not self.server.stopping.wait(0.2):
                self.wfile.write(b"t")
                self.wfile.flush()
        except OSError:
            pass  # the client has gone

    def read_file(self, relative):
        root = os.path.realpath(self.server.root)
        path = os.path.realpath(os.path.join(root, urllib.parse.unquote(relative).lstrip("/")))
        if not path.startswith(root + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()


if __name__ == "__main__":
    server = ThreadingHTTPServer(("127.0.0.1", 0), StoreHandler)
    server.daemon_threads = True
    server.root, server.request_log, server.stopping = sys.argv[1], open(sys.argv[3], "a"), threading.Event()
    with open(sys.argv[2] + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(sys.argv[2] + ".tmp", sys.argv[2])
    try:
        server.serve_forever()
    finally:
        server.stopping.set()
