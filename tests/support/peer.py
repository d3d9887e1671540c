#!/usr/bin/env python3
"""A scripted HTTPS peer on loopback for tests. Standard library only.

    peer.py --pki DIR --case NAME [--leaf localhost|untrusted|wronghost]
            [--status N] [--body TEXT] [--size BYTES] [--hold SECONDS]
            [--record FILE] [--lifetime SECONDS]

Listens on 127.0.0.1, port 0, with the leaf DIR/LEAF.pem, and prints the port
as its first line of stdout. Every connection gets the same case from CASES.
Every request read is appended to --record as one JSON line:
    {"method", "path", "headers": [[name, value], ...] as received, repeats
     included, "body"}
and the 64 MiB stream adds {"streamed": bytes sent, "complete": bool}.
It exits by itself after --lifetime seconds (default 60), whatever happens.

Cases (one row each in CASES):
  reply       --status (200) with --body (an "accepted" JSON reply)
  hang        reads the request, says nothing for --hold seconds (5), then
              answers 200 "Geç cevap": only a working idle limit fails it
  cut-headers / cut-headers-notify
              a status line and half a header, then a close without / with
              the TLS close_notify
  reset-mid-body  headers promising 60 bytes, 30 of them, then a TCP reset
  not-http    an SSH banner instead of HTTP
  stream-64mib    200 with a 64 MiB body, streamed until the client stops
  sized-json  200 with valid JSON of exactly --size bytes, its message "Büyük"
  redirect    302 to /moved on this peer, which answers an accepted reply
  gzip        200, gzip-encoded {"success":true,"message":"Sıkıştırılmış"}
  gzip-bomb   200, gzip-encoded body that inflates to 64 MiB of spaces

To check that a client went direct rather than through a proxy, point the
proxy variables at a closed port and look for its POST in --record.
"""
import argparse
import gzip
import json
import os
import socket
import ssl
import struct
import sys
import threading
import time
import zlib

MIB = 1 << 20
ACCEPTED = '{"success":true,"message":"Skor kaydedildi"}'


def respond(conn, status, body, headers=()):
    data = body.encode() if isinstance(body, str) else body
    head = [f"HTTP/1.1 {status} X", f"Content-Length: {len(data)}",
            "Content-Type: application/json", "Connection: close", *headers]
    conn.sendall(("\r\n".join(head) + "\r\n\r\n").encode() + data)


def reset(conn):
    conn.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))


def case_reply(conn, req, args):
    respond(conn, args.status, args.body)


def case_hang(conn, req, args):
    time.sleep(args.hold)
    respond(conn, 200, '{"message":"Geç cevap"}')


def case_cut_headers(conn, req, args):
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: appli")


def case_cut_headers_notify(conn, req, args):
    case_cut_headers(conn, req, args)
    conn.unwrap()


def case_reset_mid_body(conn, req, args):
    conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Length: 60\r\n\r\n"
                 b'{"success":true,"message":"Sk')
    time.sleep(0.1)
    reset(conn)


def case_not_http(conn, req, args):
    conn.sendall(b"SSH-2.0-OpenSSH_9.2p1 Debian-2\r\n")


def case_stream(conn, req, args):
    total, sent, chunk = 64 * MIB, 0, b" " * (64 * 1024)
    try:
        conn.sendall(f"HTTP/1.1 200 OK\r\nContent-Length: {total}\r\n\r\n".encode())
        while sent < total:
            conn.sendall(chunk)
            sent += len(chunk)
    except OSError:
        pass
    record(args, {"streamed": sent, "complete": sent == total})


def case_sized_json(conn, req, args):
    frame = '{"message":"Büyük","pad":""}'.encode()
    respond(conn, 200, frame[:-2] + b"x" * (args.size - len(frame)) + b'"}')


def case_redirect(conn, req, args):
    if req["path"] == "/moved":
        respond(conn, 200, '{"message":"Yönlendirme izlendi"}')
    else:
        respond(conn, 302, "", [f"Location: https://127.0.0.1:{args.port}/moved"])


def case_gzip(conn, req, args):
    body = gzip.compress('{"success":true,"message":"Sıkıştırılmış"}'.encode())
    respond(conn, 200, body, ["Content-Encoding: gzip"])


def case_gzip_bomb(conn, req, args):
    packer = zlib.compressobj(9, zlib.DEFLATED, 31)  # 31: gzip framing
    block, body = b" " * MIB, b""
    for _ in range(64):
        body += packer.compress(block)
    respond(conn, 200, body + packer.flush(), ["Content-Encoding: gzip"])


CASES = {
    "reply": case_reply,
    "hang": case_hang,
    "cut-headers": case_cut_headers,
    "cut-headers-notify": case_cut_headers_notify,
    "reset-mid-body": case_reset_mid_body,
    "not-http": case_not_http,
    "stream-64mib": case_stream,
    "sized-json": case_sized_json,
    "redirect": case_redirect,
    "gzip": case_gzip,
    "gzip-bomb": case_gzip_bomb,
}

record_lock = threading.Lock()


def record(args, entry):
    if args.record:
        with record_lock, open(args.record, "a", encoding="utf-8") as out:
            out.write(json.dumps(entry, ensure_ascii=False) + "\n")


def read_request(conn):
    data = b""
    while b"\r\n\r\n" not in data:
        more = conn.recv(65536)
        if not more or len(data) > MIB:
            return None
        data += more
    head, body = data.split(b"\r\n\r\n", 1)
    lines = head.decode("latin-1").split("\r\n")
    method, path = (lines[0].split(" ") + ["", ""])[:2]
    headers = [[k.strip(), v.strip()] for k, _, v in (l.partition(":") for l in lines[1:])]
    length = sum(int(v) for k, v in headers if k.lower() == "content-length")
    while len(body) < length:
        more = conn.recv(65536)
        if not more:
            break
        body += more
    return {"method": method, "path": path, "headers": headers,
            "body": body.decode("utf-8", "replace")}


def serve(raw, context, args):
    try:
        with context.wrap_socket(raw, server_side=True) as conn:
            req = read_request(conn)
            if req is None:
                return
            record(args, req)
            CASES[args.case](conn, req, args)
    except (OSError, ssl.SSLError):
        pass  # the client gave up or refused the certificate: its business


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--pki", required=True)
    parser.add_argument("--case", required=True, choices=CASES)
    parser.add_argument("--leaf", default="localhost")
    parser.add_argument("--status", type=int, default=200)
    parser.add_argument("--body", default=ACCEPTED)
    parser.add_argument("--size", type=int, default=MIB)
    parser.add_argument("--hold", type=float, default=5.0)
    parser.add_argument("--record")
    parser.add_argument("--lifetime", type=float, default=60.0)
    args = parser.parse_args()

    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    leaf = os.path.join(args.pki, args.leaf)
    context.load_cert_chain(leaf + ".pem", leaf + ".key")
    listener = socket.create_server(("127.0.0.1", 0))
    args.port = listener.getsockname()[1]
    print(args.port, flush=True)

    deadline = time.monotonic() + args.lifetime
    while (left := deadline - time.monotonic()) > 0:
        listener.settimeout(left)
        try:
            raw, _ = listener.accept()
        except socket.timeout:
            break
        threading.Thread(target=serve, args=(raw, context, args), daemon=True).start()
    sys.exit(0)


if __name__ == "__main__":
    main()
