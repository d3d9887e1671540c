#!/usr/bin/env python3
"""A scripted HTTPS peer on 127.0.0.1 for the tests (see Peer.h): prints its port and
process id, answers every request with --case, appends each request read to --record as a
JSON line and exits by itself after a minute."""
import argparse
import gzip
import http.client
import json
import os
import socket
import ssl
import struct
import threading
import time
import zlib


def respond(conn, status, body, *headers):
    data = body if isinstance(body, bytes) else body.encode(errors="surrogateescape")
    head = [f"HTTP/1.1 {status} X", f"Content-Length: {len(data)}",
            "Content-Type: application/json", "Connection: close", *headers]
    conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode() + data)


def reset_mid_body(conn, args):
    conn.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n{"success":true,"mes')
    time.sleep(0.1)
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


FRAME = '{"message":"Büyük","pad":""}'.encode()  # padded to exactly --size bytes


def gzip_bomb():
    """Inflates to 64 MiB of spaces; made before the port is printed, so no idle limit waits."""
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)  # 31: gzip framing
    return b"".join(packer.compress(b" " * (1 << 20)) for _ in range(64)) + packer.flush()


CUT_HEADERS = b"HTTP/1.1 200 OK\r\nContent-Type: appli"
CASES = {
    "reply": lambda conn, args: respond(conn, args.status, args.body, *args.header),
    # Silent for 40 s, then a 200: only a working idle limit fails it.
    "hang": lambda conn, args: (time.sleep(40), respond(conn, 200, '{"message":"Geç cevap"}')),
    "cut-headers": lambda conn, args: conn.sendall(CUT_HEADERS),
    "cut-headers-notify": lambda conn, args: (conn.sendall(CUT_HEADERS), conn.unwrap()),
    "reset-mid-body": reset_mid_body,
    "not-http": lambda conn, args: conn.sendall(b"SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n"),
    "sized-json": lambda conn, args: respond(
        conn, 200, FRAME[:-2] + b"x" * (args.size - len(FRAME)) + b'"}'),
    "gzip": lambda conn, args: respond(
        conn, 200, gzip.compress('{"success":true,"message":"Sıkıştırılmış"}'.encode()),
        "Content-Encoding: gzip"),
    "gzip-bomb": lambda conn, args: respond(conn, 200, args.bomb, "Content-Encoding: gzip"),
}
record_lock = threading.Lock()


def read_request(conn):
    stream = conn.makefile("rb")
    method, path, _ = stream.readline(65536).decode("latin-1").split(" ", 2)
    headers, grouped = http.client.parse_headers(stream), {}
    for name, value in headers.items():  # each name's values in order, repeats kept
        grouped.setdefault(name.lower(), []).append(value)
    body = stream.read(int(headers.get("Content-Length", 0)))
    return {"method": method, "path": path, "headers": grouped,
            "body": body.decode("utf-8", "replace")}


def serve(raw, context, args):
    try:
        with context.wrap_socket(raw, server_side=True) as conn:
            req = read_request(conn)
            with record_lock, open(args.record, "a", encoding="utf-8") as out:
                out.write(json.dumps(req, ensure_ascii=False) + "\n")
            CASES[args.case](conn, args)
    except (OSError, ValueError, http.client.HTTPException):
        pass  # the client gave up, refused the certificate or sent no request: its business


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pki", required=True)
    parser.add_argument("--case", required=True, choices=CASES)
    parser.add_argument("--leaf", default="localhost")
    parser.add_argument("-s", "--status", type=int, default=200)
    parser.add_argument("--body", default='{"success":true,"message":"Skor kaydedildi"}')
    parser.add_argument("-H", "--header", action="append", default=[], help="for --body as is")
    parser.add_argument("--size", type=int)
    parser.add_argument("--record", required=True)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    leaf = os.path.join(args.pki, args.leaf)
    context.load_cert_chain(leaf + ".pem", leaf + ".key")
    listener = socket.create_server(("127.0.0.1", 0))
    args.bomb = gzip_bomb() if args.case == "gzip-bomb" else b""
    print(listener.getsockname()[1], os.getpid(), flush=True)
    deadline = time.monotonic() + 60
    while (left := deadline - time.monotonic()) > 0:
        listener.settimeout(left)
        try:
            raw, _ = listener.accept()
        except socket.timeout:
            break
        threading.Thread(target=serve, args=(raw, context, args), daemon=True).start()


if __name__ == "__main__":
    main()
