"""Serves the files of a folder over HTTPS on 127.0.0.1 for the update tests.

Usage: https_server.py ROOT CERT KEY [--tls11-only] [--trickle]
Prints "PORT <n>" once listening and "GET <path>" for every request.
--trickle sends a body one byte every half second.
"""
import http.server
import os
import ssl
import sys
import time
import warnings

warnings.simplefilter("ignore", DeprecationWarning)


class Handler(http.server.BaseHTTPRequestHandler):
    def do_GET(self):
        print("GET " + self.path, flush=True)
        path = os.path.join(self.server.root, self.path.lstrip("/"))
        if not os.path.isfile(path):
            self.send_error(404)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/x-plist")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if not self.server.trickle:
            self.wfile.write(body)
            return
        try:
            for i in range(len(body)):
                self.wfile.write(body[i:i + 1])
                self.wfile.flush()
                time.sleep(0.5)
        except OSError:
            print("ABORTED " + self.path, flush=True)

    def log_message(self, *args):
        pass


def main():
    root, cert, key = sys.argv[1:4]
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if "--tls11-only" in sys.argv:
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        context.minimum_version = ssl.TLSVersion.TLSv1_1
        context.maximum_version = ssl.TLSVersion.TLSv1_1
    context.load_cert_chain(cert, key)
    server = http.server.HTTPServer(("127.0.0.1", 0), Handler)
    server.root = root
    server.trickle = "--trickle" in sys.argv
    server.socket = context.wrap_socket(server.socket, server_side=True)
    print("PORT %d" % server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


main()
