#!/usr/bin/env python3
"""Drives a baresip user agent through its ctrl_tcp module, which serves
one connection at a time: this one connection writes every event and
answer to EVENTS, one JSON line each, and sends each line written to the
FIFO COMMANDS ("dial sip:...", "accept", "hangup") as a command.

sip_phone.py PORT EVENTS COMMANDS
"""
import json
import os
import select
import socket
import sys


def main():
    port, events_path, commands_path = int(sys.argv[1]), sys.argv[2], sys.argv[3]
    connection = socket.create_connection(("127.0.0.1", port))
    commands = os.open(commands_path, os.O_RDWR)  # never at its end
    events = open(events_path, "a", buffering=1)
    received, pending = b"", b""
    while True:
        ready, _, _ = select.select([connection, commands], [], [])
        if commands in ready:
            pending += os.read(commands, 4096)
            while b"\n" in pending:
                line, pending = pending.split(b"\n", 1)
                words = line.decode().split(" ", 1)
                request = json.dumps({"command": words[0], "params": words[1] if len(words) > 1 else "",
                                      "token": words[0]}).encode()
                connection.sendall(str(len(request)).encode() + b":" + request + b",")
        if connection in ready:
            chunk = connection.recv(65536)
            if not chunk:
                return 1
            received += chunk
            while b":" in received:
                length, rest = received.split(b":", 1)
                if len(rest) < int(length) + 1:
                    break
                events.write(json.dumps(json.loads(rest[:int(length)])) + "\n")
                received = rest[int(length) + 1:]


if __name__ == "__main__":
    sys.exit(main())
