#!/usr/bin/env python3
"""A small crash collector on loopback for the crash reporter's tests and demo.

It stands in for the Sentry server that receives the installer's minidumps.
It listens on 127.0.0.1 (port 0 picks a free one; the port is printed as the
first line of standard output) and is reached either directly or as the
machine's HTTP proxy: a CONNECT request is answered 200 and the tunnel then
carries TLS, which the collector ends with a certificate of the test CA for
the collector's host name, so the installer talks to its deployment address
unchanged. Every request is appended to the log (one JSON object a line:
method, target, tunnel, headers in order, body in base64) before it is
answered. The answer comes from the control file, read for every request:

  {"status": 200, "hang": false,     # hang: read the request, never answer
   "endless": false,                 # endless: a body that never ends (as fast as it goes)
   "drip": 0}                        # drip: a body that never ends, N bytes a second

Commands:
  serve --log FILE [--control FILE] [--port N] [--cert PEM --key PEM] [--max-seconds S]
  pki DIR HOST      a test CA (DIR/ca.pem) and a server certificate for HOST
  parts LOG [N]     request N (default: the last POST) as JSON, the body split
                    by Python's email parser: request line, headers and parts
  show LOG [N]      the same for a person: headers, form fields, files
"""

import argparse
import base64
import email.parser
import email.policy
import json
import os
import socket
import socketserver
import ssl
import subprocess
import sys
import threading
import time

LIMIT_HEADERS = 64 * 1024
LIMIT_BODY = 256 * 1024 * 1024


class Stop(Exception):
    pass


def read_line(stream):
    line = stream.readline(LIMIT_HEADERS)
    if not line:
        raise Stop()
    return line


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        sock = self.request
        sock.settimeout(self.server.max_seconds)
        try:
            first = sock.recv(1, socket.MSG_PEEK)
            if not first:
                return
            tunnel = None
            if first == b"\x16":  # a TLS handshake: the collector's own address
                sock = self.server.wrap(sock)
            stream = sock.makefile("rb")
            while True:
                method, target, headers, body = self.read_request(stream)
                if method == "CONNECT":
                    self.server.log_request(method, target, None, headers, b"")
                    sock.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
                    tunnel = target
                    sock = self.server.wrap(sock)
                    stream = sock.makefile("rb")
                    continue
                self.server.log_request(method, target, tunnel, headers, body)
                control = self.server.control()
                if control.get("hang"):
                    # Never answer; the client's time-out ends the exchange.
                    deadline = time.time() + self.server.max_seconds
                    while time.time() < deadline and sock.recv(4096):
                        pass
                    return
                status = int(control.get("status", 200))
                if control.get("endless") or control.get("drip"):
                    self.endless_answer(sock, status, int(control.get("drip", 0)))
                    return
                answer = json.dumps({"id": "%032x" % int(time.time() * 1000000)}).encode()
                sock.sendall(("HTTP/1.1 %d Collector\r\nContent-Type: application/json\r\n"
                              "Content-Length: %d\r\nConnection: close\r\n\r\n" % (status, len(answer))).encode()
                             + answer)
                return
        except (Stop, OSError, ssl.SSLError, ValueError):
            return

    def endless_answer(self, sock, status, per_second):
        """An answer whose body never ends: as fast as the client reads, or
        per_second bytes a second; it stops when the client goes away or
        after max_seconds."""
        sock.sendall(("HTTP/1.1 %d Collector\r\nContent-Type: application/json\r\n"
                      "Connection: close\r\n\r\n" % status).encode())
        piece = b"x" * (64 * 1024 if per_second == 0 else max(1, per_second // 10))
        deadline = time.time() + self.server.max_seconds
        while time.time() < deadline:
            sock.sendall(piece)
            if per_second:
                time.sleep(0.1)

    def read_request(self, stream):
        request_line = read_line(stream).decode("latin-1").rstrip("\r\n")
        parts = request_line.split(" ")
        if len(parts) != 3:
            raise Stop()
        headers = []
        while True:
            line = read_line(stream).decode("latin-1").rstrip("\r\n")
            if line == "":
                break
            name, _, value = line.partition(":")
            headers.append([name, value.strip()])
        if parts[0] == "CONNECT":
            # A tunnel request has no content, whatever its headers say (Wine's
            # WinHTTP copies the tunnelled request's Content-Length onto it).
            return parts[0], parts[1], headers, b""
        length = 0
        chunked = False
        for name, value in headers:
            if name.lower() == "content-length":
                length = int(value)
            if name.lower() == "transfer-encoding" and "chunked" in value.lower():
                chunked = True
        if chunked:
            body = b""
            while True:
                size = int(read_line(stream).split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    read_line(stream)
                    break
                body += stream.read(size)
                read_line(stream)
        else:
            if length > LIMIT_BODY:
                raise Stop()
            body = stream.read(length) if length > 0 else b""
        return parts[0], parts[1], headers, body


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, port, log, control, context, max_seconds):
        self.log_path = log
        self.control_path = control
        self.context = context
        self.max_seconds = max_seconds
        self.lock = threading.Lock()
        super().__init__(("127.0.0.1", port), Handler)

    def wrap(self, sock):
        if self.context is None:
            raise Stop()
        return self.context.wrap_socket(sock, server_side=True)

    def control(self):
        if not self.control_path:
            return {}
        try:
            with open(self.control_path, "r", encoding="utf-8") as f:
                return json.load(f)
        except (OSError, ValueError):
            return {}

    def log_request(self, method, target, tunnel, headers, body):
        entry = {"method": method, "target": target, "tunnel": tunnel, "headers": headers,
                 "body": base64.b64encode(body).decode("ascii")}
        with self.lock:
            with open(self.log_path, "a", encoding="ascii") as f:
                f.write(json.dumps(entry) + "\n")

    def handle_error(self, request, client_address):
        pass


def serve(args):
    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
    open(args.log, "a").close()
    server = Server(args.port, args.log, args.control, context, args.max_seconds)
    sys.stdout.write("%d\n" % server.server_address[1])
    sys.stdout.flush()
    # The collector stops by itself after its longest life.
    threading.Timer(args.max_seconds * 10, server.shutdown).start()
    server.serve_forever(poll_interval=0.1)


def make_pki(folder, host):
    # Each CA has a name of its own: a machine that trusts the CAs of earlier
    # runs too must not find one of them as the issuer of this server's
    # certificate (a chain is built by the issuer's name).
    os.makedirs(folder, exist_ok=True)
    ec = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"]
    ext = os.path.join(folder, "server.ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=DNS:%s,IP:127.0.0.1\nbasicConstraints=CA:FALSE\n"
                "keyUsage=digitalSignature,keyEncipherment\nextendedKeyUsage=serverAuth\n" % host)
    steps = [
        ["openssl", "req", "-x509"] + ec + ["-keyout", folder + "/ca.key", "-out", folder + "/ca.pem", "-days", "2",
                                           "-subj", "/CN=Crash Collector Test CA " + os.urandom(4).hex(), "-addext",
                                           "basicConstraints=critical,CA:TRUE", "-addext",
                                           "keyUsage=critical,keyCertSign,cRLSign"],
        ["openssl", "req"] + ec + ["-keyout", folder + "/server.key", "-out", folder + "/server.csr",
                                  "-subj", "/CN=" + host],
        ["openssl", "x509", "-req", "-in", folder + "/server.csr", "-CA", folder + "/ca.pem", "-CAkey",
         folder + "/ca.key", "-CAcreateserial", "-out", folder + "/server.pem", "-days", "2", "-extfile", ext],
    ]
    for step in steps:
        subprocess.run(step, check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def load_request(log, index):
    with open(log, "r", encoding="ascii") as f:
        entries = [json.loads(line) for line in f if line.strip()]
    if index is None:
        posts = [e for e in entries if e["method"] == "POST"]
        if not posts:
            raise SystemExit("no POST request in " + log)
        return posts[-1]
    return entries[index]


def split_parts(entry):
    """The body split by the standard library's MIME parser, not by our writer's rules."""
    content_type = ""
    for name, value in entry["headers"]:
        if name.lower() == "content-type":
            content_type = value
    body = base64.b64decode(entry["body"])
    # compat32 keeps every header value as it was sent (a Windows path in a
    # quoted filename keeps its backslashes).
    message = email.parser.BytesParser(policy=email.policy.compat32).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
    parts = []
    if message.is_multipart():
        for part in message.get_payload():
            payload = part.get_payload(decode=True) or b""
            parts.append({
                "headers": [[k, v] for k, v in part.items()],
                "name": part.get_param("name", header="content-disposition"),
                "filename": part.get_filename(),
                "content": base64.b64encode(payload).decode("ascii"),
            })
    return {"method": entry["method"], "target": entry["target"], "tunnel": entry.get("tunnel"),
            "headers": entry["headers"], "boundary": message.get_boundary(), "defects":
            [type(d).__name__ for d in message.defects], "parts": parts}


def show(parsed):
    print("request: %s %s%s" % (parsed["method"], parsed["target"],
                                 "  (through the proxy tunnel to %s)" % parsed["tunnel"] if parsed["tunnel"] else ""))
    for name, value in parsed["headers"]:
        print("  %s: %s" % (name, value))
    for part in parsed["parts"]:
        content = base64.b64decode(part["content"])
        if part["filename"]:
            disposition = dict((k.lower(), v) for k, v in part["headers"]).get("content-disposition", "")
            print("file %s: %d bytes, starting %r" % (part["name"], len(content), content[:4]))
            print("  Content-Disposition: %s" % disposition)
        else:
            print("field %s: %s" % (part["name"], content.decode("utf-8", "replace")))


def main():
    parser = argparse.ArgumentParser()
    sub = parser.add_subparsers(dest="command", required=True)
    s = sub.add_parser("serve")
    s.add_argument("--log", required=True)
    s.add_argument("--control")
    s.add_argument("--port", type=int, default=0)
    s.add_argument("--cert")
    s.add_argument("--key")
    s.add_argument("--max-seconds", type=float, default=120.0)
    p = sub.add_parser("pki")
    p.add_argument("folder")
    p.add_argument("host")
    for name in ("parts", "show"):
        q = sub.add_parser(name)
        q.add_argument("log")
        q.add_argument("index", nargs="?", type=int)
    args = parser.parse_args()
    if args.command == "serve":
        serve(args)
    elif args.command == "pki":
        make_pki(args.folder, args.host)
    else:
        parsed = split_parts(load_request(args.log, args.index))
        if args.command == "parts":
            print(json.dumps(parsed))
        else:
            show(parsed)


if __name__ == "__main__":
    main()
