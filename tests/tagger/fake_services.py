#!/usr/bin/env python3
"""Stand-in for the tagger's web services on 127.0.0.1: answers from a JSON rule file, every request logged.

Usage: fake_services.py RULES LOG [CERT KEY]
Prints the chosen port on its first line of output. The rule file is read again for every request, so a
test may change the answers between runs. It maps path prefixes to answers, the longest prefix winning:
  {"/v2/lookup": {"status": 200, "body": "...", "file": "path", "mode": "normal|close|redirect",
                  "location": "...", "sequence": [answer, answer, ...]}}
"sequence" gives one answer per request to that prefix in turn (the last repeats). Each request is appended
to LOG as one JSON line {"path": ..., "user_agent": ..., "protocol": ..., "received": seconds}, the time
taken from the system's monotonic clock.
"""
import json
import ssl
import sys
import threading
import time
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

RULES, LOG = sys.argv[1], sys.argv[2]
counters = {}
lock = threading.Lock()


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        # The monotonic clock is the system's, shared with the test: no request arrives before it was sent.
        received = "%.9f" % time.monotonic()
        with lock:
            with open(LOG, "a", encoding="utf-8") as log:
                log.write(json.dumps({"path": self.path, "user_agent": self.headers.get("User-Agent", ""),
                                      "protocol": self.request_version, "received": received}) + "\n")
            try:
                with open(RULES, encoding="utf-8") as f:
                    rules = json.load(f)
            except (OSError, ValueError):
                rules = {}
            prefix = max((p for p in rules if self.path.startswith(p)), key=len, default=None)
            answer = rules.get(prefix, {"status": 404, "body": "not found"}) if prefix else {"status": 404,
                                                                                              "body": "not found"}
            if "sequence" in answer:
                n = counters.get(prefix, 0)
                counters[prefix] = n + 1
                seq = answer["sequence"]
                answer = seq[min(n, len(seq) - 1)]
        body = answer.get("body", "").encode("utf-8")
        if "file" in answer:
            with open(answer["file"], "rb") as f:
                body = f.read()
        mode = answer.get("mode", "normal")
        if mode == "redirect":
            self.send_response(answer.get("status", 302))
            self.send_header("Location", answer.get("location", "/"))
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        self.send_response(answer.get("status", 200))
        self.send_header("Content-Type", answer.get("type", "text/xml"))
        if mode == "close":
            # Promise the whole body, send half of it, and hang up.
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.close_connection = True
            return
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


def main():
    server = ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    server.daemon_threads = True
    if len(sys.argv) > 4:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(sys.argv[3], sys.argv[4])
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
