#!/usr/bin/env python3
"""A small HTTPS file server for the update check's tests.

https_server.py DIRECTORY CERT KEY [PORT]: serves DIRECTORY on 127.0.0.1 (on PORT, else on a
free port) over TLS with the given certificate, and the same in the clear on a free port;
prints both ports on one line ("HTTPS HTTP") and runs until it is ended. Besides the files:
  /redirect/PATH  answers 302 with Location: PATH (an absolute address)
  /slow/NAME      sends the first half of NAME, waits 20 s, then the rest
"""
import http.server
import os
import ssl
import sys
import threading
import time


class Handler(http.server.SimpleHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def do_GET(self):
        if self.path.startswith("/redirect/"):
            self.send_response(302)
            self.send_header("Location", self.path[len("/redirect/"):])
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        if self.path.startswith("/slow/"):
            with open(os.path.join(self.directory, self.path[len("/slow/"):]), "rb") as f:
                body = f.read()
            self.send_response(200)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            half = len(body) // 2
            self.wfile.write(body[:half])
            self.wfile.flush()
            time.sleep(20)
            self.wfile.write(body[half:])
            return
        super().do_GET()

    def log_message(self, *args):
        pass


def main():
    directory, cert, key = sys.argv[1:4]
    port = int(sys.argv[4]) if len(sys.argv) > 4 else 0
    handler = lambda *a, **k: Handler(*a, directory=directory, **k)
    server = http.server.ThreadingHTTPServer(("127.0.0.1", port), handler)
    server.daemon_threads = True
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    server.socket = context.wrap_socket(server.socket, server_side=True)
    plain = http.server.ThreadingHTTPServer(("127.0.0.1", 0), handler)
    plain.daemon_threads = True
    threading.Thread(target=plain.serve_forever, daemon=True).start()
    print(server.server_address[1], plain.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    main()
