"""The real binary against a failing or shared database (README: health, outages, staleness)."""
import os
import re
import sqlite3
import subprocess as sp
import tempfile
import threading
import time

from servicetest import Service, free_port, get, record, run

HERE = os.path.dirname(os.path.abspath(__file__))
NGINX = """{user}daemon off; master_process off; pid {dir}/pid; error_log {dir}/log; events {{}}
http {{ access_log off; client_body_temp_path {dir}; proxy_temp_path {dir};
  upstream s {{ server 127.0.0.1:{a}; server 127.0.0.1:{b}; }}
  server {{ listen 127.0.0.1:{port}; location / {{ proxy_pass http://s; }} }} }}"""
COUNTED = re.compile(r"\?chip=([^'\"&]*)['\"].*<td[^>]*>(\d+)</td>$", re.S)


class Postgres:  # a private server from the fixture's script: this one restarts and stops it
    def __enter__(self):
        self.file = tempfile.mktemp(suffix=".url")
        self.run("start")
        self.url = open(self.file).read().strip()
        return self

    def run(self, action):
        sp.run([f"{HERE}/postgres.sh", action, self.file], check=True, timeout=90, stdout=sp.PIPE)

    def __exit__(self, *_):
        self.run("kill-CONT")
        self.run("stop")


def health_means_a_submission_would_be_stored():
    for breakage in (os.remove, lambda p: sqlite3.connect(p).execute("DROP TABLE scores")):
        with Service() as service:
            assert service.get("/healthz")[0] == 200
            breakage(service.database)
            assert service.get("/healthz")[0] == 503 and service.post(record())[0] == 503
            assert breakage != os.remove or not os.path.exists(service.database), "a new file"


def survives_a_restart_and_bounds_a_frozen_database():
    with Postgres() as postgres, Service("--database", postgres.url) as service:
        assert service.post(record())[0] == 200 and service.get("/healthz")[0] == 200
        postgres.run("restart")
        for path in ("/healthz", "/", "/api/scores"):  # each on a connection from before
            assert service.get(path)[0] == 200, path
        postgres.run("restart")
        assert service.post(record())[0] == 200
        postgres.run("kill-STOP")
        for call in (lambda: service.get("/healthz")[0], lambda: service.post(record())[0]):
            started = time.monotonic()
            status, seconds = call(), time.monotonic() - started
            assert status == 503 and seconds < 6 + 2, (status, seconds)  # README's bound: 6 s
        postgres.run("kill-CONT")
        assert service.get("/healthz")[0] == 200


def counts(port):
    rows = re.findall(r"<tr>(.*?)</tr>", get(port, "/")[1], re.S)
    return {m.group(1): int(m.group(2)) for row in rows if (m := COUNTED.search(row))}


def answers(port):
    try:
        return get(port, "/healthz")[0] == 200
    except OSError:
        return False  # not listening yet


# How late a change another instance made may show (PageCache.h, kBoardCheckInterval).
BOARD_CHECK_SECONDS = 1.0


def counts_never_go_back_across_instances():
    """A view shows at least what any view showed a check interval before it began."""
    with Postgres() as postgres, Service("--database", postgres.url, "--rate-limit", "0") as a, \
            Service("--database", postgres.url, "--rate-limit", "0") as b, \
            tempfile.TemporaryDirectory() as folder:
        port = free_port()
        with open(f"{folder}/nginx.conf", "w") as conf:
            conf.write(NGINX.format(user="user root;" * (os.geteuid() == 0), dir=folder,
                                    a=a.port, b=b.port, port=port))
        nginx = sp.Popen(["nginx", "-c", f"{folder}/nginx.conf", "-p", folder])
        try:
            for _ in range(600):
                if answers(port):
                    break
                time.sleep(0.1)
            watched = threading.Event()  # the writers write until enough was seen meanwhile

            def submit(chip):  # through b alone: a learns of it only from the board's tally
                while not watched.is_set():
                    b.post(record(chip=chip))
            writers = [threading.Thread(target=submit, args=(f"M{n}",)) for n in range(3)]
            [writer.start() for writer in writers]
            seen, settled, pending, views, backwards = {}, {}, [], 0, []
            start = time.monotonic()
            while (views <= 20 or sum(seen.values()) <= 100 or
                   time.monotonic() < start + 3 * BOARD_CHECK_SECONDS) and \
                    time.monotonic() < start + 60:
                time.sleep(0.02)
                views += 1
                begun = time.monotonic()
                while pending and pending[0][0] + BOARD_CHECK_SECONDS < begun:
                    for chip, count in pending.pop(0)[1].items():
                        settled[chip] = max(settled.get(chip, 0), count)
                shown = counts(port)
                for chip, count in shown.items():
                    backwards += [(chip, settled.get(chip), count)] * (count < settled.get(chip, 0))
                    seen[chip] = max(seen.get(chip, 0), count)
                pending.append((time.monotonic(), shown))
            watched.set()
            [writer.join(timeout=60) for writer in writers]
            assert views > 20 and sum(seen.values()) > 100 and not backwards, (seen, backwards)
        finally:
            nginx.terminate()
            nginx.wait(timeout=10)


if __name__ == "__main__":
    run(health_means_a_submission_would_be_stored, survives_a_restart_and_bounds_a_frozen_database,
        counts_never_go_back_across_instances)
