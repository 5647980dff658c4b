#!/usr/bin/env python3
"""An HTTPS server on 127.0.0.1 standing in for the web site that serves the update document.

Usage: update_server.py ROOT CERT KEY
Prints the chosen port on its first line of output. Paths:
  /files/NAME     ROOT/NAME with its length
  /short/NAME     declares the length of ROOT/NAME, sends half of it and hangs up
  /nolength/NAME  ROOT/NAME without a length, ended by closing the connection
  /hang           reads the request and never answers
anything else is a 404. Each request is appended to ROOT/requests.log as one JSON line with its path and
headers.
"""
import json
import os
import ssl
import sys
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

ROOT = sys.argv[1]
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with lock, open(os.path.join(ROOT, "requests.log"), "a", encoding="utf-8") as log:
            log.write(json.dumps({"path": self.path, "headers": dict(self.headers.items())}) + "\n")
        if self.path == "/hang":
            # Until the client gives up.
            while self.rfile.read(1):
                pass
            return
        kind, _, name = self.path.lstrip("/").partition("/")
        path = os.path.join(ROOT, name)
        if kind not in ("files", "short", "nolength") or "/" in name or not os.path.isfile(path):
            body = b"not found"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "text/xml")
        self.close_connection = True
        if kind == "nolength":
            self.send_header("Connection", "close")
            self.end_headers()
            self.wfile.write(body)
            return
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body if kind == "files" else body[: len(body) // 2])


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
