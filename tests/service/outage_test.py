"""The real binary while its database fails: a PostgreSQL restart costs no request, a frozen one
is answered 503 within the stated bound, and health means a submission would be stored."""
import os
import signal
import sqlite3
import subprocess
import tempfile
import time

from servicetest import Service, record

POSTGRES_SH = os.path.join(os.path.dirname(__file__), "postgres.sh")
BOUND_S = 6  # a silent database holds a request at most this long (README)


class Postgres:
    """A private server from the fixture's script: restarting or stopping the shared one would
    break the tests that run beside this one."""

    def __enter__(self):
        self.urlfile = tempfile.mktemp(prefix="outage-pg-", suffix=".url")
        subprocess.run([POSTGRES_SH, "start", self.urlfile], check=True, timeout=120,
                       stdout=subprocess.DEVNULL)
        self.url = open(self.urlfile).read().strip()
        self.data = open(self.urlfile + ".dir").read().strip() + "/data"
        return self

    def processes(self):
        postmaster = open(self.data + "/postmaster.pid").readline().strip()
        children = subprocess.run(["pgrep", "-P", postmaster], capture_output=True, text=True)
        return [int(postmaster)] + [int(pid) for pid in children.stdout.split()]

    def signal(self, number):
        for pid in self.processes():
            os.kill(pid, number)

    def restart(self):
        owner = ["runuser", "-u", "postgres", "--"] if os.geteuid() == 0 else []
        subprocess.run([*owner, "/usr/lib/postgresql/15/bin/pg_ctl", "-D", self.data, "-m",
                        "fast", "-w", "-t", "60", "restart"], check=True, timeout=90,
                       stdout=subprocess.DEVNULL)

    def __exit__(self, *_):
        self.signal(signal.SIGCONT)
        subprocess.run([POSTGRES_SH, "stop", self.urlfile], timeout=60)


def timed(call):
    started = time.monotonic()
    return call(), time.monotonic() - started


def survives_a_restart_and_bounds_a_frozen_database():
    with Postgres() as postgres, Service("--database", postgres.url) as service:
        assert service.post(record())[0] == 200
        assert service.get("/healthz")[0] == 200
        postgres.restart()
        for path in ("/healthz", "/", "/api/scores"):  # each on a connection from before
            assert service.get(path)[0] == 200, path
        postgres.restart()
        assert service.post(record())[0] == 200
        postgres.signal(signal.SIGSTOP)
        for call in (lambda: service.get("/healthz")[0], lambda: service.post(record())[0]):
            status, seconds = timed(call)
            assert status == 503 and seconds < BOUND_S + 2, (status, seconds)
        postgres.signal(signal.SIGCONT)
        assert service.get("/healthz")[0] == 200


def health_means_a_submission_would_be_stored():
    breakages = [
        ("the file deleted", lambda path: os.remove(path)),
        ("the schema gone", lambda path: sqlite3.connect(path).execute("DROP TABLE scores")),
    ]
    for name, breakage in breakages:
        with Service() as service:
            assert service.get("/healthz")[0] == 200, name
            breakage(service.database)
            assert service.get("/healthz")[0] == 503, name
            assert service.post(record())[0] == 503, name
            assert not os.path.exists(service.database) or name != "the file deleted", name


if __name__ == "__main__":
    for check in (health_means_a_submission_would_be_stored,
                  survives_a_restart_and_bounds_a_frozen_database):
        check()
        print(f"{check.__name__}: ok")
