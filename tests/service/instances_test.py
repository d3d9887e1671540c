"""Two instances on one PostgreSQL behind a real nginx on loopback: while records arrive, no view
of the leaderboard shows a processor's count lower than an earlier view did."""
import http.client
import os
import re
import socket
import subprocess
import tempfile
import threading
import time

from outage_test import Postgres
from servicetest import Service, record

NGINX_CONF = """{user}daemon off; master_process off; pid {dir}/nginx.pid; error_log {dir}/error.log;
events {{}}
http {{
  access_log off; client_body_temp_path {dir}/body; proxy_temp_path {dir}/proxy;
  upstream scores {{ server 127.0.0.1:{a}; server 127.0.0.1:{b}; }}
  server {{ listen 127.0.0.1:{port}; location / {{ proxy_pass http://scores; }} }}
}}
"""
ROW = re.compile(r"<tr>(.*?)</tr>", re.S)
COUNTED = re.compile(r"\?chip=([^'\"&]*)['\"].*<td[^>]*>(\d+)</td>$", re.S)


def free_port():
    with socket.socket() as probe:
        probe.bind(("127.0.0.1", 0))
        return probe.getsockname()[1]


def counts(port):
    connection = http.client.HTTPConnection("127.0.0.1", port, timeout=15)
    connection.request("GET", "/")
    reply = connection.getresponse()
    page = reply.read().decode()
    connection.close()
    assert reply.status == 200, reply.status
    return {m.group(1): int(m.group(2)) for row in ROW.findall(page) if (m := COUNTED.search(row))}


def counts_never_go_back_across_instances():
    with Postgres() as postgres, Service("--database", postgres.url, "--rate-limit", "0") as a, \
            Service("--database", postgres.url, "--rate-limit", "0") as b, \
            tempfile.TemporaryDirectory() as folder:
        port = free_port()
        with open(f"{folder}/nginx.conf", "w") as conf:
            conf.write(NGINX_CONF.format(user="user root;\n" if os.geteuid() == 0 else "",
                                         dir=folder, a=a.port, b=b.port, port=port))
        nginx = subprocess.Popen(["nginx", "-c", f"{folder}/nginx.conf", "-p", folder])
        try:
            deadline = time.monotonic() + 10
            while time.monotonic() < deadline:
                try:
                    counts(port)
                    break
                except OSError:
                    time.sleep(0.1)
            stop = threading.Event()

            def submit(chip):
                for _ in range(150):
                    if stop.is_set() or a.post(record(chip=chip))[0] != 200 or \
                            b.post(record(chip=chip))[0] != 200:
                        return

            writers = [threading.Thread(target=submit, args=(f"M{n}",)) for n in range(3)]
            for writer in writers:
                writer.start()
            seen, views, backwards = {}, 0, []
            deadline = time.monotonic() + 60
            while any(writer.is_alive() for writer in writers) and time.monotonic() < deadline:
                time.sleep(0.02)
                for chip, count in counts(port).items():
                    if count < seen.get(chip, 0):
                        backwards.append((views, chip, seen[chip], count))
                    seen[chip] = max(seen.get(chip, 0), count)
                views += 1
            stop.set()
            for writer in writers:
                writer.join(timeout=60)
            assert views > 20 and sum(seen.values()) > 100, (views, seen)
            assert not backwards, backwards[:5]
        finally:
            nginx.terminate()
            nginx.wait(timeout=10)


if __name__ == "__main__":
    counts_never_go_back_across_instances()
    print("counts_never_go_back_across_instances: ok")
