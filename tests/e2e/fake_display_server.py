#!/usr/bin/env python3
"""A socket that takes connections as a display server's would, then says
nothing ("silent": a stopped or hung server) or answers each connection with
text that is no protocol of a display server's and keeps it open
("garbage"). Prints "listening" once it takes connections and runs until it
is stopped.

Usage: fake_display_server.py silent|garbage SOCKET
SOCKET is a path, or "@name" for an abstract socket (as X clients try first).
"""
import socket
import sys

kind, name = sys.argv[1], sys.argv[2]
listener = socket.socket(socket.AF_UNIX, socket.SOCK_STREAM)
try:
    listener.bind("\0" + name[1:] if name.startswith("@") else name)
except OSError as error:
    print(f"cannot listen on {name}: {error}", file=sys.stderr)
    sys.exit(3)  # taken: the caller may try another name
listener.listen(16)
print("listening", flush=True)

taken = []  # held open: a closed connection would be an answer of its own
garbage = b"HTTP/1.1 400 Bad Request\r\n\r\nThis is no display server.\r\n" * 64
while True:
    connection, _ = listener.accept()
    taken.append(connection)
    if kind == "garbage":
        try:
            connection.sendall(garbage)
        except OSError:
            pass
