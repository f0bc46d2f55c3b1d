#!/usr/bin/env python3
"""Drives a baresip user agent through its ctrl_tcp module.

sip_phone.py PORT watch           prints each event, one JSON line each
sip_phone.py PORT COMMAND [ARGS]  runs a command (dial, accept, hangup...)
                                  and prints its answer; fails when not ok
"""
import json
import socket
import sys


def netstrings(connection):
    buffer = b""
    while True:
        while b":" not in buffer:
            chunk = connection.recv(65536)
            if not chunk:
                return
            buffer += chunk
        length, rest = buffer.split(b":", 1)
        size = int(length)
        while len(rest) < size + 1:
            chunk = connection.recv(65536)
            if not chunk:
                return
            rest += chunk
        yield json.loads(rest[:size])
        buffer = rest[size + 1:]


def main():
    port, command = int(sys.argv[1]), sys.argv[2]
    connection = socket.create_connection(("127.0.0.1", port), timeout=None if command == "watch" else 10)
    if command == "watch":
        for message in netstrings(connection):
            if message.get("event"):
                print(json.dumps(message), flush=True)
        return 0
    request = json.dumps({"command": command, "params": " ".join(sys.argv[3:]), "token": "t"}).encode()
    connection.sendall(str(len(request)).encode() + b":" + request + b",")
    for message in netstrings(connection):
        if message.get("response"):
            print(message.get("data", ""))
            return 0 if message.get("ok") else 1
    return 1


if __name__ == "__main__":
    sys.exit(main())
