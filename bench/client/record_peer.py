#!/usr/bin/env python3
"""Answers every POST over HTTPS on 127.0.0.1:PORT with a 200 and appends its body, one line
each, to RECORD; stops by itself after LIFETIME seconds.
    record_peer.py PORT CERT KEY RECORD LIFETIME"""
import http.server
import ssl
import sys
import threading

port, cert, key, record, lifetime = sys.argv[1:6]


class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers.get("Content-Length", 0)))
        with open(record, "ab") as out:
            out.write(body.replace(b"\n", b" ") + b"\n")
        reply = b'{"success":true,"message":"Kaydedildi"}'
        self.send_response(200)
        self.send_header("Content-Type", "application/json")
        self.send_header("Content-Length", str(len(reply)))
        self.end_headers()
        self.wfile.write(reply)

    def log_message(self, *args):
        pass


server = http.server.ThreadingHTTPServer(("127.0.0.1", int(port)), Handler)
context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
context.load_cert_chain(cert, key)
server.socket = context.wrap_socket(server.socket, server_side=True)
threading.Timer(float(lifetime), server.shutdown).start()
server.serve_forever()
