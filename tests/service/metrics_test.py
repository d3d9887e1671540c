"""The metrics listener: its text passes `promtool check metrics`, and a real
Prometheus server scrapes it on loopback and sees the submissions made."""
import json
import os
import socket
import subprocess
import tempfile
import threading
import time
import urllib.parse
import urllib.request

from servicetest import Service, free_port, record

CONFIG = """global:
  scrape_interval: 1s
scrape_configs:
  - job_name: score-service
    static_configs:
      - targets: ['127.0.0.1:{port}']
"""


def fetch(url):
    with urllib.request.urlopen(url, timeout=10) as reply:
        return reply.status, reply.read().decode()


def query(port, expression):
    url = f"http://127.0.0.1:{port}/api/v1/query?" + urllib.parse.urlencode({"query": expression})
    try:
        return json.loads(fetch(url)[1])["data"]["result"]
    except OSError:
        return []  # not listening yet


def scraped_by_prometheus(metrics, folder):
    """The accepted submissions a real Prometheus server on loopback stored from `metrics`."""
    port = free_port()
    with open(os.path.join(folder, "prometheus.yml"), "w", encoding="utf-8") as config:
        config.write(CONFIG.format(port=urllib.parse.urlsplit(metrics).port))
    server = subprocess.Popen(
        ["prometheus", f"--config.file={folder}/prometheus.yml",
         f"--storage.tsdb.path={folder}/data", f"--web.listen-address=127.0.0.1:{port}"],
        stdout=subprocess.DEVNULL, stderr=open(os.path.join(folder, "log"), "w"))
    try:
        deadline = time.monotonic() + 60
        while time.monotonic() < deadline:
            found = query(port, 'score_service_submissions_total{outcome="accepted"}')
            if found:
                return found[0]["value"][1]
            time.sleep(0.5)
        return None
    finally:
        server.kill()
        server.wait(timeout=10)


def main():
    with Service("--metrics-listen", "127.0.0.1:0") as service, \
            tempfile.TemporaryDirectory() as folder:
        # Possibly read into the pipe's buffer already, so not waited for with
        # select; a silent service is stopped instead.
        watchdog = threading.Timer(60, service.process.kill)
        watchdog.start()
        line = service.process.stdout.readline()
        watchdog.cancel()
        assert line.startswith("metrics on http://127.0.0.1:"), line
        metrics = line.split()[-1]
        # The last is held for review: under half the fastest so far on a small board.
        for body in (record(), record(seconds=11), "{", record(seconds=1)):
            service.post(body)
        assert service.get("/")[0] == 200
        assert service.get("/metrics")[0] == 404, "the public listener serves /metrics"
        with socket.create_connection(("127.0.0.1", service.port), timeout=10):
            deadline = time.monotonic() + 60  # until the server has accepted it
            while True:
                status, text = fetch(metrics)
                if "score_service_open_connections 1\n" in text or time.monotonic() > deadline:
                    break
                time.sleep(0.05)
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
        value = scraped_by_prometheus(metrics, folder)
        assert value == "2", f"Prometheus scraped {value!r}: " + open(f"{folder}/log").read()[-2000:]
    print("promtool accepts the metrics and Prometheus scraped them")


main()
