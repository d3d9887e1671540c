"""The real binary from outside: its start-up, its own TLS front with exact bytes, its limits
per client address, and its metrics listener, which a real Prometheus server scrapes."""
import json
import os
import re
import signal
import socket
import sqlite3
import ssl
import subprocess
import tempfile
import time
import urllib.parse

import servicetest
from servicetest import BINARY, Service, free_port, record, run, wait_until

PKI = os.environ["TEST_PKI_DIR"]
TLS = ("--tls-cert", f"{PKI}/localhost.pem", "--tls-key", f"{PKI}/localhost.key")
BODY = json.dumps(record(device="honest")).encode()


def post(*fields, body=BODY, target=b"/api/submit"):
    head = b"POST " + target + b" HTTP/1.1\r\n" + b"".join(f + b"\r\n" for f in fields)
    return head + b"Content-Type: application/json\r\n\r\n" + body


def get(target, *fields):
    return b"GET " + target + b" HTTP/1.1\r\n" + b"".join(f + b"\r\n" for f in fields) + b"\r\n"


HIDDEN = json.dumps(record(device="smuggled")).encode()
SMUGGLED = post(b"Host: x", b"Content-Length: %d" % len(HIDDEN), body=HIDDEN)
CHUNKED = b"%x\r\n%s\r\n0\r\n\r\n" % (len(SMUGGLED), SMUGGLED)
H = b"Host: localhost"
# Longer than any wait below: a connection the server holds open outlasts the test's patience.
PATIENT = ("--connection-timeout", "3600")


CL4, TE = b"Content-Length: 4", b"Transfer-Encoding: chunked"
CASES = [  # (what, bytes, expected status); the server closes after each
    ("CL then TE", post(H, CL4, TE, body=CHUNKED), 400),
    ("TE then CL", post(H, TE, CL4, body=CHUNKED), 400),
    ("TE with tab", post(H, CL4, b"Transfer-Encoding:\tchunked", body=CHUNKED), 400),
    ("TE twice", post(H, TE, b"Transfer-Encoding: identity", body=CHUNKED), 400),
    ("TE space before colon", post(H, CL4, b"Transfer-Encoding : chunked", body=CHUNKED), 400),
    ("TE xchunked with CL", post(H, CL4, b"Transfer-Encoding: xchunked", body=CHUNKED), 400),
    ("TE xchunked", post(H, b"Transfer-Encoding: xchunked", body=CHUNKED), 501),
    ("TE gzip", post(H, b"Transfer-Encoding: gzip", body=CHUNKED), 501),
    ("TE chunked, identity", post(H, b"Transfer-Encoding: chunked, identity", body=CHUNKED), 501),
    ("CL negative", post(H, b"Content-Length: -1"), 400),
    ("CL 2^64", post(H, b"Content-Length: 18446744073709551616"), 400),
    ("CL not a number", post(H, b"Content-Length: abc"), 400),
    ("CL with leading zeros", post(H, b"Connection: close", b"Content-Length: %022d" % len(BODY)), 200),
    ("chunk size 2^64-1", post(H, TE, body=b"FFFFFFFFFFFFFFFF\r\nxx"), 413),
    ("chunk size 2^68-1", post(H, TE, body=b"FFFFFFFFFFFFFFFFF\r\nxx"), 400),
    ("459 query parameters", get(b"/?" + b"&".join(b"a%d=1" % i for i in range(459)), H), 414),
    ("no Host", get(b"/healthz"), 400),
    ("two Hosts", get(b"/healthz", H, b"Host: other"), 400),
    ("absolute form", get(b"https://localhost:8443/healthz?chip=M9", H, b"Connection: close"), 200),
    ("NUL after the body", post(H, b"Connection: close", b"Content-Length: %d" % (len(BODY) + 2),
                                body=BODY + b"\0x"), 400),
    ("%00 in the path", get(b"/healthz%00", H), 400),
    ("not HTTP", b"\x16\x03\x01 hello\r\n\r\n", 400),
]


def connect(port, timeout=60):
    context = ssl.create_default_context(cafile=f"{PKI}/ca.pem")
    raw = socket.create_connection(("127.0.0.1", port), timeout=timeout)
    return context.wrap_socket(raw, server_hostname="localhost")


def exchange(port, data, wait=60.0):
    """Everything the server sends for `data` until it is silent for `wait`, and whether it
    closed."""
    with connect(port, wait) as tls:
        tls.sendall(data)
        received = b""
        try:
            while chunk := tls.recv(65536):
                received += chunk
        except socket.timeout:
            return received, False
        except (ssl.SSLError, ConnectionError):
            pass
        return received, True


def refuses_what_could_be_read_two_ways(service):
    for what, data, status in CASES:
        reply, closed = exchange(service.port, data)
        head, _, body = reply.partition(b"\r\n\r\n")
        assert head.startswith(b"HTTP/1.1 %d " % status), (what, reply[:200])
        assert reply.count(b"HTTP/1.1 ") == 1, (what, reply)
        assert b"content-type: application/json" in head.lower(), (what, head)
        assert body.startswith(b"{"), (what, body)
        assert closed, f"{what}: the connection stayed open"
    with sqlite3.connect(service.database) as db:
        names = {row[0] for row in db.execute("SELECT device_name FROM scores")}
    assert names == {"honest"}, names


def sends_its_security_headers(service):
    reply, _ = exchange(service.port, get(b"/", H, b"Connection: close"))
    head = reply.partition(b"\r\n\r\n")[0].decode().lower()
    for needed in ("content-security-policy: default-src 'none'", "frame-ancestors 'none'",
                   "x-frame-options: deny", "referrer-policy: no-referrer",
                   "cache-control: public, max-age=", "strict-transport-security: max-age=",
                   "content-type: text/html", "vary: accept-encoding"):
        assert needed in head, (needed, head)
    # Revalidated: no body and no length, and the headers a cache copies onto the page it
    # holds, so the page's own policy, which lets its inline style apply.
    tag = re.search(r"^etag: (\S+)", head, re.M).group(1).encode()
    reply, closed = exchange(service.port,
                             get(b"/", H, b"If-None-Match: " + tag, b"Connection: close"))
    head, _, body = reply.partition(b"\r\n\r\n")
    assert head.startswith(b"HTTP/1.1 304 ") and body == b"" and closed, reply
    for needed in (b"etag: " + tag, b"style-src 'unsafe-inline'", b"cache-control: public"):
        assert needed in head.lower(), (needed, head)
    assert b"content-length" not in head.lower(), head
    reply, _ = exchange(service.port, get(b"/healthz", H, b"Connection: close"))
    assert b"cache-control: no-cache" in reply.lower(), reply
    reply, _ = exchange(service.port, get(b"/favicon.ico", H, b"Connection: close"))
    head = reply.partition(b"\r\n\r\n")[0].decode().lower()
    assert "image/svg+xml" in head and head.count("cache-control") == 1, head
    for weak in (["-cipher", "ECDHE-ECDSA-AES128-SHA"], ["-cipher", "ECDHE-ECDSA-AES256-SHA384"],
                 ["-sigalgs", "ECDSA+SHA1", "-cipher", "DEFAULT:@SECLEVEL=0"]):
        done = subprocess.run(
            ["openssl", "s_client", "-connect", f"127.0.0.1:{service.port}", "-tls1_2",
             "-CAfile", f"{PKI}/ca.pem", *weak], input=b"", capture_output=True, timeout=20)
        assert done.returncode != 0, (weak, done.stdout[-300:])


def caps_connections_per_address_by_default(service):
    """First in its world, so that no connection of another check is still counted."""
    held = [connect(service.port)] + [socket.create_connection(("127.0.0.1", service.port),
                                                               timeout=60) for _ in range(63)]
    with socket.create_connection(("127.0.0.1", service.port), timeout=60) as extra:
        assert extra.recv(1) == b"", "a 65th connection from one address was kept"
    held[0].sendall(get(b"/healthz", H))
    assert held[0].recv(65536).startswith(b"HTTP/1.1 200")
    for connection in held:
        connection.close()


def tls_front():
    with Service(*TLS, *PATIENT, "--rate-limit", "0") as service:
        for check in (caps_connections_per_address_by_default,
                      refuses_what_could_be_read_two_ways, sends_its_security_headers):
            check(service)
            print(f"{check.__name__}: ok")


def accepts(port):
    with socket.socket() as late:
        return late.connect_ex(("127.0.0.1", port)) == 0


def drains_keep_alive_connections_on_stop():
    with Service(*TLS, *PATIENT) as service:
        idle = connect(service.port)
        idle.sendall(get(b"/healthz", H))
        assert idle.recv(65536).startswith(b"HTTP/1.1 200")
        # Sent with a first request, the second's head is read with it: once the first is
        # answered, the server is inside the second, waiting for the rest of its body.
        busy = connect(service.port)
        head = post(H, b"Content-Length: %d" % len(BODY), body=BODY[:10])
        busy.sendall(get(b"/healthz", H) + head)
        assert busy.recv(65536).startswith(b"HTTP/1.1 200")
        started = time.monotonic()
        service.process.send_signal(signal.SIGTERM)
        assert idle.recv(65536) == b"", "an idle connection was kept"
        assert wait_until(lambda: not accepts(service.port)), "accepting after SIGTERM"
        busy.sendall(BODY[10:])
        answer = busy.recv(65536).lower()
        assert answer.startswith(b"http/1.1 200") and b"connection: close" in answer, answer
        # Well before the 10 s grace period, which a server that ignores the drain waits out.
        assert service.process.wait(timeout=60) == 0 and time.monotonic() - started < 9


def refuses_bad_start():
    cases = [
        (["--bogus"], "score-service: unknown option '--bogus' (see --help)"),
        (["--tls-cert", "/nonexistent.pem", "--tls-key", f"{PKI}/localhost.key"], "cannot read"),
        (["--tls-cert", f"{PKI}/localhost.pem", "--tls-key", f"{PKI}/untrusted.key"],
         "do not match"),
        (["--listen", "0.0.0.0:0"], "loopback only"),
        (["--database", "/nonexistent/folder/scores.sqlite3"],
         "cannot open the database /nonexistent/folder/scores.sqlite3: unable to open"),
    ]
    for args, says in cases:
        done = subprocess.run([BINARY, *args], capture_output=True, text=True, timeout=30)
        assert done.returncode == 1 and says in done.stderr and not done.stdout, (args, done)


def limits_each_address_and_bounds_chunked_bodies():
    """The forwarded address counts only when trusted; a chunked body has the 16 KiB cap too
    (the handler's own table has the rest of the contract)."""
    with Service("--rate-limit", "1", "--rate-burst", "1", "--trust-forwarded-for") as service:
        assert service.post(record(), {"X-Forwarded-For": "198.51.100.7, 10.0.0.1"})[0] == 200
        assert service.post(record(), {"X-Forwarded-For": "10.0.0.2"})[0] == 200
        chunks = iter([b"x" * 9000, b"x" * 7385])
        status, reply = service.post(chunks, {"Transfer-Encoding": "chunked"})
        assert status == 413 and "16 KiB" in reply["error"], (status, reply)
    with Service("--rate-limit", "1", "--rate-burst", "1") as service:
        assert service.post(record(), {"X-Forwarded-For": "10.0.0.3"})[0] == 200
        assert service.post(record(), {"X-Forwarded-For": "10.0.0.4"})[0] == 429


def scraped_by_prometheus(metrics, folder):
    """The accepted submissions a real Prometheus server on loopback stored from `metrics`."""
    port = free_port()
    with open(f"{folder}/prometheus.yml", "w", encoding="utf-8") as config:
        config.write("global: {scrape_interval: 1s}\nscrape_configs: [{job_name: score-service, "
                     f"static_configs: [{{targets: ['127.0.0.1:{metrics}']}}]}}]\n")
    server = subprocess.Popen(
        ["prometheus", f"--config.file={folder}/prometheus.yml",
         f"--storage.tsdb.path={folder}/data", f"--web.listen-address=127.0.0.1:{port}"],
        stdout=subprocess.DEVNULL, stderr=open(f"{folder}/log", "w"))
    query = "/api/v1/query?" + urllib.parse.urlencode(
        {"query": 'score_service_submissions_total{outcome="accepted"}'})
    try:
        found = wait_until(lambda: json.loads(servicetest.get(port, query)[1])["data"]["result"],
                           60, 0.5)
        return found and found[0]["value"][1]
    finally:
        server.kill()
        server.wait(timeout=10)


def serves_metrics_to_prometheus():
    with Service(metrics=True) as service, tempfile.TemporaryDirectory() as folder:
        # The last is held for review: under half the fastest so far on a small board.
        for body in (record(), record(seconds=11), "{", record(seconds=1)):
            service.post(body)
        assert service.get("/")[0] == 200
        assert service.get("/metrics")[0] == 404, "the public listener serves /metrics"

        def scrape():  # once the server has accepted the connection below
            reply = servicetest.get(service.metrics, "/metrics")
            return "score_service_open_connections 1\n" in reply[1] and reply
        with socket.create_connection(("127.0.0.1", service.port), timeout=10):
            status, text = wait_until(scrape) or servicetest.get(service.metrics, "/metrics")
        assert status == 200
        for expected in ('score_service_submissions_total{outcome="refused",reason="malformed"} 1\n',
                         'score_service_requests_total{route="/",status="200"} 1\n',
                         "score_service_records 2\n", "score_service_held_records 1\n",
                         "score_service_open_connections 1\n", 'score_service_build_info{version="',
                         "score_service_write_batch_records_total 3\n"):
            assert expected in text, f"{expected} not in\n{text}"
        check = subprocess.run(["promtool", "check", "metrics"], input=text, text=True,
                               capture_output=True, timeout=30)
        assert check.returncode == 0 and not check.stdout.strip(), check.stdout + check.stderr
        value = scraped_by_prometheus(service.metrics, folder)
        assert value == "2", f"Prometheus scraped {value!r}: " + open(f"{folder}/log").read()[-2000:]


if __name__ == "__main__":
    run(refuses_bad_start, tls_front, drains_keep_alive_connections_on_stop,
        limits_each_address_and_bounds_chunked_bodies, serves_metrics_to_prometheus)
