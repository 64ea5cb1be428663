#!/usr/bin/env python3
"""Local HTTP/HTTPS server for the installer's tests.

Listens on loopback on four ports: plain HTTP, HTTPS with a certificate of the test CA
(trusted by the tests' Wine prefix), HTTPS with a certificate of a CA nobody trusts, and
HTTPS with a test-CA certificate for another host name. Every port serves the same paths:

  /test/ping                          200 "ok"
  /test/status/CODE                   status CODE with a small HTML error page
  /test/empty                         200 with an empty body
  /test/bytes?hex=HEX&repeat=N        the bytes HEX, N times (default 1)
  /test/bytes?text=TEXT&repeat=N      the UTF-8 bytes of TEXT (percent-encoded), N times
  /test/generate?size=N               N bytes of the pattern byte(i) = i % 251
  (bytes and generate with &chunked=1: sent in chunked transfer coding, with no length)
  /test/reset?after=N[&size=M]        announces M pattern bytes (default N + 1 MiB), sends
                                      N, then resets the connection (TCP RST)
  /test/close?after=N[&size=M]        the same, but closes the connection cleanly
                                      (both with &chunked=1: N bytes in chunks, no end)
  /test/slow?size=N&interval=S&delay=D
                                      after D seconds (default 0) announces N pattern bytes
                                      (default 600) and sends one every S seconds (default 1)
  /test/redirect?to=URL[&code=C]      redirect (default 302) to URL
  anything else                       the file under the document root, or 404
"""

import argparse
import errno
import http.server
import mimetypes
import os
import signal
import socket
import ssl
import struct
import sys
import threading
import time
import urllib.parse

PERIOD = 251
# A whole number of periods, so that any slice starting below PERIOD continues the pattern.
PATTERN = bytes(i % PERIOD for i in range(PERIOD * 4200))
BLOCK = len(PATTERN) - PERIOD
# Clients that go away or fail the handshake: one line in the log, no traceback.
CONNECTION_ERRORS = (ssl.SSLError, ConnectionError, TimeoutError, socket.timeout)


def pattern_blocks(offset, size):
    """Yields the pattern bytes offset .. offset + size in blocks of about 1 MiB."""
    end = offset + size
    while offset < end:
        count = min(BLOCK, end - offset)
        start = offset % PERIOD
        yield PATTERN[start:start + count]
        offset += count


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "InstallerTestServer/1"
    timeout = 120  # idle keep-alive connections and stuck clients end after this

    def do_GET(self):
        self.respond(send_body=True)

    def do_HEAD(self):
        self.respond(send_body=False)

    def log_message(self, format, *args):
        sys.stderr.write("[%s] %s %s\n" % (self.server.name, self.address_string(), format % args))

    def respond(self, send_body):
        self.send_body = send_body
        url = urllib.parse.urlsplit(self.path)
        query = urllib.parse.parse_qs(url.query, keep_blank_values=True)
        path = urllib.parse.unquote(url.path)
        try:
            if path.startswith("/test/"):
                self.test_mode(path[len("/test/"):], query)
            else:
                self.serve_file(path)
        except (ValueError, KeyError) as error:
            self.error_page(400, "bad test request: %s" % error)

    def test_mode(self, mode, query):
        def number(name, default=None, kind=int):
            if name not in query:
                if default is None:
                    raise KeyError(name)
                return default
            return kind(query[name][0])

        chunked = query.get("chunked", ["0"])[0] == "1"
        if mode == "ping":
            self.send_bytes(b"ok")
        elif mode.startswith("status/"):
            self.error_page(int(mode[len("status/"):]))
        elif mode == "empty":
            self.send_bytes(b"")
        elif mode == "bytes":
            if "hex" in query:
                body = bytes.fromhex(query["hex"][0])
            else:
                body = query["text"][0].encode("utf-8")
            repeat = number("repeat", 1)
            if chunked:
                self.send_chunked([body] * repeat)
            else:
                self.send_bytes(body * repeat)
        elif mode == "generate":
            size = number("size")
            if chunked:
                self.send_chunked(pattern_blocks(0, size))
            else:
                self.send_stream(size, pattern_blocks(0, size))
        elif mode in ("reset", "close"):
            after = number("after")
            if chunked:
                self.send_chunked(pattern_blocks(0, after), end=False)
            else:
                self.start_body(number("size", after + (1 << 20)))
                self.write_blocks(pattern_blocks(0, after))
            # Let the bytes leave before the connection ends, so that the client is in
            # the body when it sees the end.
            time.sleep(0.2)
            self.close_connection = True
            self.end_with_reset = mode == "reset"
        elif mode == "slow":
            time.sleep(number("delay", 0, float))
            size = number("size", 600)
            interval = number("interval", 1, float)
            self.start_body(size)
            for offset in range(size):
                if not self.send_body:
                    break
                self.wfile.write(PATTERN[offset % PERIOD:offset % PERIOD + 1])
                self.wfile.flush()
                time.sleep(interval)
        elif mode == "redirect":
            self.send_response(number("code", 302))
            self.send_header("Location", query["to"][0])
            self.send_header("Content-Length", "0")
            self.end_headers()
        else:
            self.error_page(404)

    def serve_file(self, path):
        root = os.path.realpath(self.server.root)
        file_path = os.path.realpath(os.path.join(root, path.lstrip("/")))
        if not file_path.startswith(root + os.sep) or not os.path.isfile(file_path):
            self.error_page(404)
            return
        if self.server.file_delay > 0:
            time.sleep(self.server.file_delay)  # lets a demo show each stage for a moment
        size = os.path.getsize(file_path)
        content_type = mimetypes.guess_type(file_path)[0] or "application/octet-stream"
        with open(file_path, "rb") as file:
            self.send_stream(size, iter(lambda: file.read(1 << 20), b""), content_type)

    def error_page(self, code, message=None):
        reason = self.responses.get(code, ("Error",))[0]
        body = ("<html><head><title>%d %s</title></head><body><h1>%d %s</h1><p>%s</p>"
                "</body></html>\n" % (code, reason, code, reason, message or reason)).encode()
        self.send_bytes(body, "text/html; charset=utf-8", code)

    def start_body(self, size, content_type="application/octet-stream", code=200):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(size))
        self.end_headers()

    def write_blocks(self, blocks):
        if self.send_body:
            for block in blocks:
                self.wfile.write(block)

    def send_bytes(self, body, content_type="application/octet-stream", code=200):
        self.send_stream(len(body), [body], content_type, code)

    def send_stream(self, size, blocks, content_type="application/octet-stream", code=200):
        self.start_body(size, content_type, code)
        self.write_blocks(blocks)

    def send_chunked(self, blocks, end=True):
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Transfer-Encoding", "chunked")
        self.end_headers()
        if self.send_body:
            for block in blocks:
                if block:  # an empty chunk would end the body
                    self.wfile.write(b"%x\r\n" % len(block) + block + b"\r\n")
            if end:
                self.wfile.write(b"0\r\n\r\n")


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True
    allow_reuse_address = True
    request_queue_size = 64

    file_delay = 0.0

    def __init__(self, name, address, root, context):
        self.name = name
        self.root = root
        self.context = context
        super().__init__(address, Handler)

    def finish_request(self, request, client_address):
        # The TLS handshake runs here, on the connection's own thread, so that a client
        # that stalls or rejects the certificate holds up no one else.
        connection = request
        handler = None
        try:
            if self.context is not None:
                request.settimeout(30)
                connection = self.context.wrap_socket(request, server_side=True)
            handler = self.RequestHandlerClass(connection, client_address, self)
        except CONNECTION_ERRORS as error:
            sys.stderr.write("[%s] %s %s\n" % (self.name, client_address[0], error))
        finally:
            end_connection(connection, getattr(handler, "end_with_reset", False))

    def handle_error(self, request, client_address):
        error = sys.exc_info()[1]
        if isinstance(error, CONNECTION_ERRORS):
            sys.stderr.write("[%s] %s %s\n" % (self.name, client_address[0], error))
        else:
            super().handle_error(request, client_address)


def end_connection(connection, reset):
    try:
        if reset:
            # Linger on with a time of 0: close sends a reset instead of the usual end.
            connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        else:
            connection.shutdown(socket.SHUT_WR)
    except OSError:
        pass
    connection.close()


def tls_context(certs, name):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    cert = os.path.join(certs, name + ".pem")
    key = os.path.join(certs, name + ".key")
    if not (os.path.isfile(cert) and os.path.isfile(key)):
        sys.exit("test server: %s or %s is missing (make them with tests/server/make-certs %s)"
                 % (cert, key, certs))
    context.load_cert_chain(cert, key)
    return context


def main():
    env = os.environ.get
    parser = argparse.ArgumentParser(description="Local HTTP/HTTPS server for the installer's tests.")
    parser.add_argument("--root", default=env("INSTALLER_TEST_SERVER_ROOT"),
                        help="document root (default: $INSTALLER_TEST_SERVER_ROOT)")
    parser.add_argument("--certs", default=env("INSTALLER_TEST_CERTS"),
                        help="folder made by make-certs (default: $INSTALLER_TEST_CERTS)")
    parser.add_argument("--host", default=env("INSTALLER_TEST_HOST", "127.0.0.1"))
    parser.add_argument("--http-port", type=int, default=int(env("INSTALLER_TEST_HTTP_PORT", "47380")))
    parser.add_argument("--https-port", type=int,
                        default=int(env("INSTALLER_TEST_HTTPS_PORT", "47443")))
    parser.add_argument("--untrusted-port", type=int,
                        default=int(env("INSTALLER_TEST_UNTRUSTED_PORT", "47444")))
    parser.add_argument("--mismatch-port", type=int,
                        default=int(env("INSTALLER_TEST_MISMATCH_PORT", "47445")))
    parser.add_argument("--file-delay", type=float, default=0.0,
                        help="seconds to wait before answering with a file from the root")
    parser.add_argument("--pid-file", help="written with the server's pid once all ports listen")
    parser.add_argument("--ports-from", metavar="SETTING",
                        help="the setting the ports follow, named when one is taken")
    args = parser.parse_args()
    if not args.root:
        parser.error("no document root: give --root or set INSTALLER_TEST_SERVER_ROOT")
    if not args.certs:
        parser.error("no certificate folder: give --certs or set INSTALLER_TEST_CERTS")
    os.makedirs(args.root, exist_ok=True)

    listeners = [("http", args.http_port, None),
                 ("https", args.https_port, tls_context(args.certs, "server")),
                 ("untrusted", args.untrusted_port, tls_context(args.certs, "untrusted")),
                 ("mismatch", args.mismatch_port, tls_context(args.certs, "mismatch"))]
    servers = []
    for name, port, context in listeners:
        try:
            servers.append(Server(name, (args.host, port), args.root, context))
            servers[-1].file_delay = args.file_delay
        except OSError as error:
            reason = "the port is taken" if error.errno == errno.EADDRINUSE else error.strerror
            advice = "is another test server running? stop it with tests/server/serve stop PIDFILE"
            if args.ports_from:
                # The tests' own server is stopped by their fixture: the port is most likely
                # another tree's, whose block of ports is the same.
                setting = args.ports_from.partition("=")[0]
                advice = ("by another program or another build tree's tests: this tree's test "
                          "ports follow %s; configure it with -D%s=N, N the first of 64 free ports"
                          % (args.ports_from, setting))
            sys.exit("test server: cannot listen on %s:%d for %s: %s (%s)"
                     % (args.host, port, name, reason, advice))
    for server in servers:
        threading.Thread(target=server.serve_forever, name=server.name, daemon=True).start()

    signal.signal(signal.SIGTERM, lambda *_: sys.exit(0))
    if args.pid_file:
        with open(args.pid_file + ".tmp", "w") as file:
            file.write("%d\n" % os.getpid())
        os.replace(args.pid_file + ".tmp", args.pid_file)
    sys.stderr.write("test server: root %s; http %d, https %d, untrusted %d, mismatch %d on %s\n"
                     % (args.root, args.http_port, args.https_port, args.untrusted_port,
                        args.mismatch_port, args.host))
    sys.stderr.flush()
    try:
        while True:
            time.sleep(3600)
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
