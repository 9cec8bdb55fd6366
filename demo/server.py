#!/usr/bin/python3
"""Loopback web server for the demo, used as the browser's http_proxy.

The player's pages live on made-up hosts; pointing http_proxy here makes
the browser send every request (in absolute form) to this process, which
answers for those hosts from local files.  It never forwards anything:
a request for any other host gets a 404 from here.
"""

import argparse
import json
import os
import signal
import socket
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote, urlsplit

HERE = os.path.dirname(os.path.abspath(__file__))
PLAYER_PAGE = "/jiujiuting/99Players.htm"
TUNES_PREFIX = "/jiujiuting/tunes/"
CHUNK = 64 * 1024

TYPES = {
    ".htm": "text/html; charset=utf-8",
    ".html": "text/html; charset=utf-8",
    ".css": "text/css; charset=utf-8",
    ".js": "text/javascript; charset=utf-8",
    ".wav": "audio/wav",
    ".png": "image/png",
    ".svg": "image/svg+xml",
    ".ico": "image/x-icon",
}

MESSAGES = {
    404: "找不到该页面",
    416: "请求的范围无效",
    500: "服务器内部错误",
    501: "不支持该请求方法",
}


def error_body(code):
    text = MESSAGES.get(code, "请求出错")
    return ('<!DOCTYPE html>\n<html lang="zh-CN"><head><meta charset="utf-8">'
            "<title>%d %s</title></head><body><h1>%d %s</h1></body></html>\n"
            % (code, text, code, text)).encode("utf-8")


def inside(root, rel):
    """Real path of rel under root, or None if it would leave root."""
    if "\0" in rel:
        return None
    real_root = os.path.realpath(root)
    path = os.path.realpath(os.path.join(real_root, rel.lstrip("/")))
    if path != real_root and not path.startswith(real_root + os.sep):
        return None
    return path


def parse_range(header, size):
    """(start, end) inclusive, "bad" if unsatisfiable, None to ignore it.

    Only single ranges are honoured; anything else is answered in full,
    which a client must accept.
    """
    if not header:
        return None
    unit, _, ranges = header.partition("=")
    if unit.strip().lower() != "bytes" or "," in ranges:
        return None
    first, dash, last = ranges.strip().partition("-")
    if not dash:
        return None
    try:
        if first == "":
            n = int(last)
            if n <= 0:
                return "bad"
            return max(0, size - n), size - 1
        start = int(first)
        end = int(last) if last else size - 1
    except ValueError:
        return None
    if start >= size:
        return "bad"
    if end < start:
        return None
    return start, min(end, size - 1)


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def version_string(self):
        return "VexiloDemo/1.0"

    # Quiet by default: the log file records requests, stderr only errors.
    def log_message(self, fmt, *args):
        pass

    def log_error(self, fmt, *args):
        sys.stderr.write("server: %s %s\n" % (self.address_string(), fmt % args))

    def handle_one_request(self):
        # The handler lives as long as the connection; forget the last request.
        self.headers = None
        super().handle_one_request()

    def parse_request(self):
        ok = super().parse_request()
        if ok:
            self.record()
        return ok

    def record(self):
        # Written as the request arrives, so a delayed answer is still seen.
        log = self.server.log
        if log is None:
            return
        entry = {
            "time": time.time(),
            "client": "%s:%d" % self.client_address[:2],
            "method": self.command,
            "target": self.path,
            "host": self.headers.get("Host"),
            "headers": [[k, v] for k, v in self.headers.items()],
        }
        line = json.dumps(entry, ensure_ascii=False) + "\n"
        with self.server.log_lock:
            log.write(line)
            log.flush()

    def send_body(self, code, body, ctype="text/html; charset=utf-8", extra=()):
        self.send_response(code)
        self.send_header("Content-Type", ctype)
        self.send_header("Content-Length", str(len(body)))
        self.send_header("Cache-Control", "no-cache")
        for k, v in extra:
            self.send_header(k, v)
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(body)

    def send_error(self, code, message=None, explain=None):
        # Also used by the base class for malformed requests.
        self.close_connection = True
        if self.headers is None:
            return super().send_error(code, message, explain)
        self.send_body(code, error_body(code), extra=[("Connection", "close")])

    def target(self):
        """(host, path) of the request, in absolute or origin form."""
        if "://" in self.path:
            parts = urlsplit(self.path)
            if parts.scheme.lower() != "http":
                return None, None
            host, path = parts.hostname or "", parts.path or "/"
        else:
            host = self.headers.get("Host", "")
            host = urlsplit("//" + host).hostname or ""
            path = urlsplit(self.path).path or "/"
        return host.lower().rstrip("."), unquote(path)

    def resolve(self, host, path):
        srv = self.server
        if host == srv.player_host:
            if srv.tunes and path.startswith(TUNES_PREFIX):
                return inside(srv.tunes, path[len(TUNES_PREFIX):])
            root = os.path.join(srv.site, "player")
        elif host == srv.site_host:
            root = os.path.join(srv.site, "banner")
        else:
            return None
        full = inside(root, path)
        if full and os.path.isdir(full):
            full = os.path.join(full, "index.htm")
        return full

    def do_GET(self):
        mode = self.server.mode
        if mode in ("404", "500"):
            return self.send_body(int(mode), error_body(int(mode)))
        host, path = self.target()
        full = self.resolve(host, path) if host else None
        if not full or not os.path.isfile(full):
            return self.send_body(404, error_body(404))
        if mode == "slow" and host == self.server.player_host and path == PLAYER_PAGE:
            # Returns early if the server is being shut down.
            self.server.stopping.wait(self.server.delay)
        self.send_file(full)

    do_HEAD = do_GET

    def do_other(self):
        # The body is left unread, so the connection cannot be reused.
        self.close_connection = True
        self.send_body(501, error_body(501), extra=[("Allow", "GET, HEAD"), ("Connection", "close")])

    do_POST = do_PUT = do_DELETE = do_OPTIONS = do_PATCH = do_other

    def do_CONNECT(self):
        # Tunnels would mean talking to the outside world; refuse them.
        self.close_connection = True
        self.send_body(404, error_body(404), extra=[("Connection", "close")])

    def send_file(self, full):
        ctype = TYPES.get(os.path.splitext(full)[1].lower(), "application/octet-stream")
        with open(full, "rb") as f:
            size = os.fstat(f.fileno()).st_size
            rng = parse_range(self.headers.get("Range"), size)
            if rng == "bad":
                return self.send_body(416, error_body(416), extra=[
                    ("Content-Range", "bytes */%d" % size), ("Accept-Ranges", "bytes")])
            if rng is None:
                start, end, code = 0, size - 1, 200
            else:
                (start, end), code = rng, 206
            length = end - start + 1 if size else 0
            self.send_response(code)
            self.send_header("Content-Type", ctype)
            self.send_header("Content-Length", str(length))
            self.send_header("Accept-Ranges", "bytes")
            self.send_header("Cache-Control", "no-cache")
            self.send_header("Last-Modified", self.date_time_string(os.fstat(f.fileno()).st_mtime))
            if code == 206:
                self.send_header("Content-Range", "bytes %d-%d/%d" % (start, end, size))
            self.end_headers()
            if self.command == "HEAD":
                return
            f.seek(start)
            left = length
            while left > 0:
                data = f.read(min(CHUNK, left))
                if not data:
                    break
                self.wfile.write(data)
                left -= len(data)


class Server(ThreadingHTTPServer):
    daemon_threads = True
    block_on_close = False  # an idle keep-alive connection must not delay exit
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # The media engine often drops a connection mid-file on a seek.
        exc = sys.exc_info()[1]
        if isinstance(exc, (ConnectionError, socket.timeout)):
            return
        super().handle_error(request, client_address)


def main():
    p = argparse.ArgumentParser(description="Loopback server for the demo pages.")
    p.add_argument("--port", type=int, default=0, help="0 picks a free port")
    p.add_argument("--player-host", default="music.vexilo.net")
    p.add_argument("--site-host", default="www.vexilo.net")
    p.add_argument("--site", default=os.path.join(HERE, "site"))
    p.add_argument("--tunes", help="folder written by make-tunes.py")
    p.add_argument("--log", help="append one JSON line per request")
    p.add_argument("--mode", choices=["normal", "slow", "404", "500"], default="normal")
    p.add_argument("--delay", type=float, default=30.0, help="seconds, for --mode slow")
    a = p.parse_args()

    httpd = Server(("127.0.0.1", a.port), Handler)
    httpd.player_host = a.player_host.lower()
    httpd.site_host = a.site_host.lower()
    httpd.site = os.path.abspath(a.site)
    httpd.tunes = os.path.abspath(a.tunes) if a.tunes else None
    httpd.mode = a.mode
    httpd.delay = a.delay
    httpd.stopping = threading.Event()
    httpd.log_lock = threading.Lock()
    httpd.log = open(a.log, "a", encoding="utf-8") if a.log else None

    def stop(signum, frame):
        httpd.stopping.set()
        # shutdown() waits for serve_forever, so it cannot run on this thread.
        threading.Thread(target=httpd.shutdown, daemon=True).start()

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)

    print("port %d" % httpd.server_address[1], flush=True)
    try:
        httpd.serve_forever()
    finally:
        httpd.server_close()
        if httpd.log:
            httpd.log.close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
