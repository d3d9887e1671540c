"""What the Python tests share: the real score-service on plain loopback HTTP, a private
PostgreSQL server, and bounded waits."""
import contextlib
import http.client
import json
import os
import subprocess
import socket
import tempfile
import threading
import time
import urllib.parse

BINARY = os.environ["SCORE_SERVICE_BINARY"]
HERE = os.path.dirname(os.path.abspath(__file__))
POSTGRES_SH = os.path.join(HERE, "..", "..", "scripts", "lib", "postgres.sh")


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


def wait_until(done, seconds=60, step=0.05):
    """done()'s first true value within `seconds`, else None; an OSError (a server not listening
    yet) counts as not yet."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        with contextlib.suppress(OSError):
            if found := done():
                return found
        time.sleep(step)


def psql(url, sql):
    """The rows `sql` gives on PostgreSQL at `url`, whole numbers as int."""
    lines = subprocess.run(["psql", url, "-AtF", "\t", "-c", sql], check=True, timeout=60,
                           stdout=subprocess.PIPE, text=True).stdout.splitlines()
    return [tuple(int(v) if v.isdigit() else v for v in line.split("\t")) for line in lines]


class Postgres:  # a private server from the fixture's script: this one restarts and stops it
    def __enter__(self):
        self.file = tempfile.mktemp(suffix=".url")
        self.run("start")
        self.url = open(self.file).read().strip()
        return self

    def run(self, action):
        subprocess.run([POSTGRES_SH, action, self.file], check=True, timeout=90,
                       stdout=subprocess.PIPE)

    def __exit__(self, *_):
        self.run("kill-CONT")
        self.run("stop")


class Service:
    """score-service on 127.0.0.1:0, by default on a fresh SQLite file; killed on exit. With
    `metrics`, its metrics listener's port is `metrics`."""

    def __init__(self, *extra, database=None, binary=BINARY, stderr=None, metrics=False):
        self.folder = tempfile.TemporaryDirectory()
        self.database = database or os.path.join(self.folder.name, "scores.sqlite3")
        self.process = subprocess.Popen(
            [binary, "--listen", "127.0.0.1:0", "--database", self.database, *extra,
             *("--metrics-listen", "127.0.0.1:0") * metrics],
            stdout=subprocess.PIPE, stderr=stderr, text=True)
        # Start-up opens (or migrates) the database and reads the board: slow under a
        # sanitizer on a busy machine, so the wait is long; a silent service is stopped.
        watchdog = threading.Timer(60, self.process.kill)
        watchdog.start()
        lines = [self.process.stdout.readline() for _ in range(1 + metrics)]
        watchdog.cancel()
        assert lines[0].startswith("listening on http"), f"no start line: {lines!r}"
        self.url = lines[0].split()[-1]
        self.port = urllib.parse.urlsplit(self.url).port
        if metrics:
            assert lines[1].startswith("metrics on http://127.0.0.1:"), lines
            self.metrics = urllib.parse.urlsplit(lines[1].split()[-1]).port

    def post(self, body, headers=None, timeout=10):
        """(status, decoded reply) of one POST /api/submit on a new connection."""
        connection = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
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
