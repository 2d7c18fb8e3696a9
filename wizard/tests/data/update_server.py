#!/usr/bin/env python3
"""A loopback update server for the wizard's tests.

Usage: update_server.py STATE_DIR [CERT KEY]. Prints the port it listens
on, then serves until killed: over TLS with the certificate and key given
(made by the test), else in the clear. Each request's line and headers are appended to
STATE_DIR/requests.txt. What it answers is read from STATE_DIR/mode:
  newer       version reply naming package abc of 1000 bytes; download 1000 bytes
  notnewer    version reply with result 0
  missing     404 for everything
  short       download announces 1000 bytes, sends 600
  traversal   download named ../../x
  slow        download sends a first chunk, then waits until STATE_DIR/release exists
  redirect    download redirects to the same address over http
"""
import http.server
import os
import ssl
import sys
import time

STATE = sys.argv[1]


def mode():
    try:
        with open(os.path.join(STATE, "mode")) as f:
            return f.read().strip()
    except OSError:
        return "newer"


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, *args):
        pass

    def do_GET(self):
        with open(os.path.join(STATE, "requests.txt"), "a") as f:
            f.write(self.requestline + "\n")
            for k, v in self.headers.items():
                f.write("%s: %s\n" % (k, v))
            f.write("\n")
        m = mode()
        if m == "missing":
            self.send_error(404)
            return
        if self.path.startswith("/version"):
            if m == "notnewer":
                body = b"VexaVersionResult=0 FullPackage=none FullPackageSize=0 UpdatePackage=none UpdatePackageSize=0"
            else:
                body = b"VexaVersionResult=1 FullPackage=abc FullPackageSize=1000 UpdatePackage=upd UpdatePackageSize=10"
            self.send_response(200)
            self.send_header("Content-Type", "text/plain")
            self.end_headers()
            self.wfile.write(body)
            return
        if m == "redirect":
            self.send_response(302)
            self.send_header("Location", "http://127.0.0.1:%d%s" % (self.server.server_address[1], self.path))
            self.end_headers()
            return
        name = "../../x" if m == "traversal" else "setup.deb"
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Disposition", 'attachment; filename="%s"' % name)
        self.end_headers()
        if m == "short":
            self.wfile.write(b"p" * 600)
        elif m == "slow":
            self.wfile.write(b"s" * 100)
            self.wfile.flush()
            release = os.path.join(STATE, "release")
            # The test writes the release when it ends; a test that never
            # does leaves the answer cut short after five minutes.
            deadline = time.monotonic() + 300
            while not os.path.exists(release):
                if time.monotonic() > deadline:
                    sys.stderr.write("update_server: no release within 300 s; the slow download ends cut short\n")
                    return
                time.sleep(0.05)
            try:
                self.wfile.write(b"s" * 900)
            except OSError:
                pass
        else:
            self.wfile.write(b"p" * 1000)


server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
if len(sys.argv) > 3:
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(sys.argv[2], sys.argv[3])
    server.socket = context.wrap_socket(server.socket, server_side=True)
print(server.server_address[1], flush=True)
server.serve_forever()
