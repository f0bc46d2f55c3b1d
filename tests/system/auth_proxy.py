#!/usr/bin/python3
"""An HTTP proxy that wants Basic credentials, for the system tests.

Usage: auth_proxy.py USER PASSWORD PORT_FILE LOG_FILE
Listens on 127.0.0.1 (port written to PORT_FILE), forwards GET/POST/HEAD
and tunnels CONNECT once Proxy-Authorization matches, answers 407 before.
Each request is a line of LOG_FILE: "none", "wrong" or "ok", the method
and the target.
"""
import base64
import http.server
import select
import socket
import socketserver
import sys
import threading
import urllib.parse

user, password, port_file, log_file = sys.argv[1:5]
expected = "Basic " + base64.b64encode(f"{user}:{password}".encode()).decode()
log_lock = threading.Lock()


def note(kind, method, target):
    with log_lock, open(log_file, "a") as log:
        log.write(f"{kind} {method} {target}\n")


class Proxy(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def signed_in(self):
        given = self.headers.get("Proxy-Authorization")
        kind = "none" if given is None else ("ok" if given == expected else "wrong")
        note(kind, self.command, self.path)
        if kind == "ok":
            return True
        body = b"proxy sign-in needed"
        self.send_response(407)
        self.send_header("Proxy-Authenticate", 'Basic realm="Company proxy"')
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)
        return False

    def do_CONNECT(self):
        if not self.signed_in():
            return
        host, _, port = self.path.rpartition(":")
        try:
            upstream = socket.create_connection((host, int(port)), timeout=10)
        except OSError:
            self.send_error(502)
            return
        self.send_response(200, "Connection established")
        self.end_headers()
        sockets = [self.connection, upstream]
        while True:
            ready, _, _ = select.select(sockets, [], [], 30)
            if not ready:
                break
            for s in ready:
                data = s.recv(65536)
                if not data:
                    upstream.close()
                    self.close_connection = True
                    return
                (upstream if s is self.connection else self.connection).sendall(data)

    def forward(self):
        if not self.signed_in():
            return
        url = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length") or 0)
        body = self.rfile.read(length) if length else b""
        try:
            upstream = socket.create_connection((url.hostname, url.port or 80), timeout=10)
        except OSError:
            self.send_error(502)
            return
        path = url.path or "/"
        if url.query:
            path += "?" + url.query
        headers = "".join(f"{k}: {v}\r\n" for k, v in self.headers.items()
                          if k.lower() not in ("proxy-authorization", "proxy-connection", "connection"))
        upstream.sendall(f"{self.command} {path} HTTP/1.1\r\n{headers}Connection: close\r\n\r\n".encode() + body)
        answer = b""
        while True:
            data = upstream.recv(65536)
            if not data:
                break
            answer += data
        upstream.close()
        head, _, rest = answer.partition(b"\r\n\r\n")
        lines = [l for l in head.split(b"\r\n")
                 if not l.lower().startswith((b"connection:", b"content-length:", b"transfer-encoding:"))]
        if b"chunked" in head.lower():
            rest = dechunk(rest)
        self.wfile.write(b"\r\n".join(lines) + f"\r\nContent-Length: {len(rest)}\r\n\r\n".encode() + rest)

    do_GET = do_POST = do_HEAD = forward


def dechunk(data):
    out = b""
    while data:
        size_line, _, data = data.partition(b"\r\n")
        size = int(size_line.split(b";")[0] or b"0", 16)
        if size == 0:
            break
        out += data[:size]
        data = data[size + 2:]
    return out


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Proxy)
with open(port_file + ".tmp", "w") as f:
    f.write(str(server.server_address[1]))
import os
os.rename(port_file + ".tmp", port_file)
server.serve_forever()
