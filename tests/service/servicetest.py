"""Starts the real score-service on plain loopback HTTP for the Python tests."""
import contextlib
import http.client
import json
import os
import select
import socket
import subprocess
import tempfile
import urllib.parse

BINARY = os.environ["SCORE_SERVICE_BINARY"]


def record(seconds=10.5, device="Mac99,1", chip="M9"):
    return {"device_name": device, "chip_type": chip, "ram_gb": 16,
            "xcode_build_sec": seconds * 3.5, "resin_slicer_sec": seconds * 1.5,
            "max_temp_c": 84, "swap_used_mb": 0}


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def get(port, path, timeout=15):
    """(status, body) of one GET on a new connection."""
    with contextlib.closing(http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)) as c:
        c.request("GET", path)
        reply = c.getresponse()
        return reply.status, reply.read().decode()


class Service:
    """score-service on 127.0.0.1:0, by default on a fresh SQLite file; killed on exit."""

    def __init__(self, *extra, database=None, binary=BINARY, stderr=None):
        self.folder = tempfile.TemporaryDirectory()
        self.database = database or os.path.join(self.folder.name, "scores.sqlite3")
        self.process = subprocess.Popen(
            [binary, "--listen", "127.0.0.1:0", "--database", self.database, *extra],
            stdout=subprocess.PIPE, stderr=stderr, text=True)
        # Start-up opens (or migrates) the database and reads the board: slow under a
        # sanitizer on a busy machine, so the wait is long; a silent service still fails it.
        ready, _, _ = select.select([self.process.stdout], [], [], 60)
        line = self.process.stdout.readline() if ready else ""
        assert line.startswith("listening on http"), f"no start line: {line!r}"
        self.url = line.split()[-1]
        self.port = urllib.parse.urlsplit(self.url).port

    def post(self, body, headers=None, timeout=10, port=None):
        """(status, decoded reply) of one POST /api/submit on a new connection, to `port` if given
        (a relay in front of the service)."""
        connection = http.client.HTTPConnection("127.0.0.1", port or self.port, timeout=timeout)
        headers = {"Content-Type": "application/json", **(headers or {})}
        data = json.dumps(body) if isinstance(body, dict) else body
        with contextlib.closing(connection):
            connection.request("POST", "/api/submit", data, headers,
                               encode_chunked="Transfer-Encoding" in headers)
            reply = connection.getresponse()
            return reply.status, json.loads(reply.read())

    def get(self, path):
        return get(self.port, path)

    def __enter__(self):
        return self

    def __exit__(self, *_):
        if self.process.poll() is None:
            self.process.kill()
        self.process.wait(timeout=10)
        self.folder.cleanup()


def run(*checks):
    """Each check in turn, named once it passed."""
    for check in checks:
        check()
        print(f"{check.__name__}: ok")
