#!/usr/bin/env python3
"""A stand-in for the version-check host on 127.0.0.1, for the tests.

version_server.py MODE REPLY LOG
  MODE  reply: answer 200 with REPLY; split: the same in two parts 300 ms apart;
        missing: answer 404; silent: accept and never answer; drip: the answer one byte
        every 0.4 s; endless-head: header lines without end; long-line: one header line
        without end.
  REPLY the body, with backslash escapes (\\r\\n).
  LOG   a file that gets one line per request: its request line.
Prints the port it listens on, then serves until it is ended.
"""
import socket
import sys
import threading
import time


def serve(connection, mode, body, log):
    with connection:
        data = b""
        while b"\r\n\r\n" not in data:
            chunk = connection.recv(4096)
            if not chunk:
                return
            data += chunk
        with open(log, "a") as out:
            out.write(data.split(b"\r\n", 1)[0].decode("latin-1") + "\n")
        if mode == "silent":
            time.sleep(60)
            return
        try:
            if mode == "endless-head":
                connection.sendall(b"HTTP/1.0 200 OK\r\n")
                while True:
                    connection.sendall(b"X-Filler: " + b"a" * 1000 + b"\r\n")
            if mode == "long-line":
                connection.sendall(b"HTTP/1.0 200 OK\r\nX-Filler: ")
                while True:
                    connection.sendall(b"a" * 65536)
        except OSError:
            return
        status = b"404 Not Found" if mode == "missing" else b"200 OK"
        head = (b"HTTP/1.0 " + status + b"\r\nContent-Type: text/plain\r\nContent-Length: "
                + str(len(body)).encode() + b"\r\n\r\n")
        if mode == "drip":
            try:
                for byte in head + body:
                    connection.sendall(bytes([byte]))
                    time.sleep(0.4)
            except OSError:
                pass
            return
        if mode == "split":
            half = len(body) // 2
            connection.sendall(head + body[:half])
            time.sleep(0.3)
            connection.sendall(body[half:])
        else:
            connection.sendall(head + body)


def main():
    mode, reply, log = sys.argv[1], sys.argv[2], sys.argv[3]
    body = reply.encode("latin-1").decode("unicode_escape").encode("latin-1")
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print(listener.getsockname()[1], flush=True)
    while True:
        connection, _ = listener.accept()
        threading.Thread(target=serve, args=(connection, mode, body, log), daemon=True).start()


if __name__ == "__main__":
    main()
