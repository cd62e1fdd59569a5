"""HTTP and HTTPS server for the tests of the trigger requests.

Listens on a loopback address, prints its port as the first line of standard
output, and appends one JSON line per request to a log file:
{"method": ..., "path": ... (with the query), "version": ..., "user_agent": ...}.

The path chooses the reply:
  /status/NNN...  status NNN (200 to 599) with its standard reason text
                  ("Unknown" when it has none); 3xx replies carry
                  "Location: /redirected"
  /delay/S...      200, after waiting S seconds (a slow import script)
  /silent...      no reply at all: the server holds the connection until the
                  client gives up
  anything else   200 with a small text body

Usage:
  http_server.py --log FILE [--host 127.0.0.1] [--port 0]
                 [--cert CERT.pem --key KEY.pem [--tls-max 1.0|1.1|1.2|1.3]]
"""

import argparse
import http
import http.server
import json
import re
import ssl
import sys
import time
import warnings


def make_handler(log_path):
    class Handler(http.server.BaseHTTPRequestHandler):
        protocol_version = "HTTP/1.1"
        server_version = "exporttotale-test"
        sys_version = ""

        def log_message(self, format, *args):
            pass

        def record(self):
            entry = {
                "method": self.command,
                "path": self.path,
                "version": self.request_version,
                "user_agent": self.headers.get("User-Agent", ""),
            }
            # Written before the reply, so the entry exists by the time the
            # client has read it.
            with open(log_path, "a", encoding="utf-8") as log:
                log.write(json.dumps(entry) + "\n")

        def answer(self, with_body):
            self.record()
            if self.path.startswith("/silent"):
                # Waits for the client to close the connection, or at most
                # two minutes.
                self.connection.settimeout(120)
                try:
                    while self.connection.recv(4096):
                        pass
                except OSError:
                    pass
                self.close_connection = True
                return
            delay = re.match(r"^/delay/(\d+)", self.path)
            if delay:
                time.sleep(int(delay.group(1)))
            status = 200
            match = re.match(r"^/status/(\d{3})", self.path)
            if match:
                status = int(match.group(1))
            try:
                reason = http.HTTPStatus(status).phrase
            except ValueError:
                reason = "Unknown"
            body = ("status %d %s\n" % (status, reason)).encode("ascii")
            if status < 200 or status in (204, 304):
                body = b""  # these replies never carry content
            self.send_response(status, reason)
            if 300 <= status < 400:
                self.send_header("Location", "/redirected")
            self.send_header("Content-Type", "text/plain")
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            if with_body:
                self.wfile.write(body)

        def do_GET(self):
            self.answer(True)

        def do_POST(self):
            length = int(self.headers.get("Content-Length", "0") or "0")
            self.rfile.read(length)
            self.answer(True)

        def do_HEAD(self):
            self.answer(False)

    return Handler


TLS_VERSIONS = {
    "1.0": ssl.TLSVersion.TLSv1,
    "1.1": ssl.TLSVersion.TLSv1_1,
    "1.2": ssl.TLSVersion.TLSv1_2,
    "1.3": ssl.TLSVersion.TLSv1_3,
}


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--host", default="127.0.0.1")
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--cert")
    parser.add_argument("--key")
    parser.add_argument("--tls-max", choices=sorted(TLS_VERSIONS))
    args = parser.parse_args()

    class Server(http.server.ThreadingHTTPServer):
        daemon_threads = True

    if ":" in args.host:
        import socket
        Server.address_family = socket.AF_INET6
    server = Server((args.host, args.port), make_handler(args.log))
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        if args.tls_max:
            warnings.simplefilter("ignore", DeprecationWarning)
            # An old server: only the versions up to the one given, with the
            # ciphers such servers offer.
            context.set_ciphers("DEFAULT:@SECLEVEL=0")
            context.minimum_version = ssl.TLSVersion.MINIMUM_SUPPORTED
            context.maximum_version = TLS_VERSIONS[args.tls_max]
        server.socket = context.wrap_socket(server.socket, server_side=True)
    print(server.server_address[1], flush=True)
    server.serve_forever()


if __name__ == "__main__":
    sys.exit(main())
