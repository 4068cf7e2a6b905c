#!/usr/bin/env python3
"""A stand-in for the store's web service, for tests on 127.0.0.1.

Answers what a plain file server can't: error statuses, broken and stalled bodies,
redirects, a partial answer that starts where the test says, answers without a length.
Every other path is a file under the root, sent whole with status 200 whatever Range the
request asks for; the report path answers 200 with an empty body. Each request target is
appended to the request log before it is answered, so a client that has its answer can
read its request there.

usage: store_server.py ROOT PORT_FILE REQUEST_LOG
The port (chosen by the system) is written to PORT_FILE once the server listens.
"""
import os
import sys
import time
import threading
import urllib.parse
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

REPORT_PATH = "/gp/sonvel/ruq-result.html/"
STALL_LIMIT_SECONDS = 120


class StoreHandler(BaseHTTPRequestHandler):
    root = "."
    log_lock = threading.Lock()
    cut_lock = threading.Lock()
    cut_targets = set()
    request_log = None

    def log_message(self, format, *args):
        pass

    def record(self):
        with self.log_lock:
            self.request_log.write(self.path + "\n")
            self.request_log.flush()

    def do_GET(self):
        self.record()
        target = urllib.parse.urlsplit(self.path)
        parts = target.path.split("/")[1:]
        head = parts[0] if parts else ""
        handler = {
            "status": self.answer_status,
            "cut": self.answer_cut,
            "stall": self.answer_stall,
            "range-from": self.answer_range_from,
            "redirect": self.answer_redirect,
            "nolength": self.answer_without_length,
            "nothing": self.answer_nothing,
            "cut-once": self.answer_cut_once,
            "slow": self.answer_slow,
        }.get(head)
        if target.path.startswith(REPORT_PATH):
            self.send_body(200, b"")
        elif handler:
            handler(parts[1:], urllib.parse.parse_qs(target.query))
        else:
            self.answer_file(target.path)

    def send_body(self, status, body, headers=()):
        self.send_response(status)
        self.send_header("Content-Length", str(len(body)))
        for name, value in headers:
            self.send_header(name, value)
        self.end_headers()
        self.wfile.write(body)

    def read_file(self, relative):
        path = os.path.realpath(os.path.join(self.root, urllib.parse.unquote(relative).lstrip("/")))
        if not path.startswith(os.path.realpath(self.root) + os.sep) or not os.path.isfile(path):
            return None
        with open(path, "rb") as f:
            return f.read()

    # /status/<code>: that status with a short text body.
    def answer_status(self, args, query):
        self.send_body(int(args[0]), b"status %s\n" % args[0].encode())

    # /cut/<size>: announces <size> bytes, sends half of them and closes the connection.
    def answer_cut(self, args, query):
        size = int(args[0])
        self.send_response(200)
        self.send_header("Content-Length", str(size))
        self.end_headers()
        self.wfile.write(b"c" * (size // 2))
        self.wfile.flush()
        self.close_connection = True

    # /stall/<size>: announces <size> bytes, sends the first 100 and then nothing more.
    def answer_stall(self, args, query):
        self.send_response(200)
        self.send_header("Content-Length", args[0])
        self.end_headers()
        self.wfile.write(b"s" * 100)
        self.wfile.flush()
        deadline = time.monotonic() + STALL_LIMIT_SECONDS
        while time.monotonic() < deadline and not self.server.stopping.is_set():
            self.server.stopping.wait(0.5)
        self.close_connection = True

    # /range-from/<start>/<file>: a 206 answer that starts at <start>, whatever was asked.
    def answer_range_from(self, args, query):
        start = int(args[0])
        data = self.read_file("/".join(args[1:]))
        if data is None:
            return self.send_body(404, b"")
        content_range = "bytes %d-%d/%d" % (start, len(data) - 1, len(data))
        self.send_body(206, data[start:], [("Content-Range", content_range)])

    # /redirect?to=<url>: 302 to <url>, whatever its scheme.
    def answer_redirect(self, args, query):
        self.send_body(302, b"", [("Location", query.get("to", [""])[0])])

    # /nolength/<file>: the file with no length announced; the end of the body is the close.
    def answer_without_length(self, args, query):
        data = self.read_file("/".join(args))
        if data is None:
            return self.send_body(404, b"")
        self.send_response(200)
        self.end_headers()
        self.wfile.write(data)
        self.close_connection = True

    # /cut-once/<file>: the first request for it gets half the file and a closed connection;
    # later ones get the file, from the start of a "bytes=N-" range when one is asked for.
    def answer_cut_once(self, args, query):
        data = self.read_file("/".join(args))
        if data is None:
            return self.send_body(404, b"")
        with self.cut_lock:
            first = self.path not in self.cut_targets
            self.cut_targets.add(self.path)
        if first:
            self.send_response(200)
            self.send_header("Content-Length", str(len(data)))
            self.end_headers()
            self.wfile.write(data[:len(data) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        asked = self.headers.get("Range", "")
        if asked.startswith("bytes=") and asked.endswith("-") and asked[6:-1].isdigit():
            start = int(asked[6:-1])
            content_range = "bytes %d-%d/%d" % (start, len(data) - 1, len(data))
            return self.send_body(206, data[start:], [("Content-Range", content_range)])
        self.send_body(200, data)

    # /slow/<file>: the file at about 160 KB/s, from the start of a "bytes=N-" range when one
    # is asked for; the range asked for is logged as "range N" after the request target.
    def answer_slow(self, args, query):
        data = self.read_file("/".join(args))
        if data is None:
            return self.send_body(404, b"")
        asked = self.headers.get("Range", "")
        start = int(asked[6:-1]) if asked.startswith("bytes=") and asked[6:-1].isdigit() else 0
        with self.log_lock:
            self.request_log.write("range %d\n" % start)
            self.request_log.flush()
        self.send_response(206 if start else 200)
        self.send_header("Content-Length", str(len(data) - start))
        if start:
            self.send_header("Content-Range", "bytes %d-%d/%d" % (start, len(data) - 1, len(data)))
        self.end_headers()
        for offset in range(start, len(data), 8192):
            self.wfile.write(data[offset:offset + 8192])
            self.wfile.flush()
            time.sleep(0.05)

    # /nothing: closes the connection without an answer.
    def answer_nothing(self, args, query):
        self.close_connection = True

    def answer_file(self, path):
        data = self.read_file(path)
        if data is None:
            return self.send_body(404, b"not found\n")
        self.send_body(200, data)


def main():
    root, port_file, log_path = sys.argv[1:4]
    StoreHandler.root = root
    StoreHandler.request_log = open(log_path, "a")
    server = ThreadingHTTPServer(("127.0.0.1", 0), StoreHandler)
    server.daemon_threads = True
    server.stopping = threading.Event()
    with open(port_file + ".tmp", "w") as f:
        f.write(str(server.server_address[1]))
    os.rename(port_file + ".tmp", port_file)
    try:
        server.serve_forever()
    finally:
        server.stopping.set()


if __name__ == "__main__":
    main()
