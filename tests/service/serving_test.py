"""The real binary from outside: start-up refusals, the limit per client
address, and no acknowledged record lost to SIGKILL."""
import os
import sqlite3
import subprocess
import time
from concurrent.futures import ThreadPoolExecutor

from servicetest import BINARY, Service, record, run

PKI = os.environ["TEST_PKI_DIR"]


def refuses_bad_start():
    cases = [
        (["--bogus"], "unknown option"),
        (["--listen", "127.0.0.1:70000"], "--listen"),
        (["--tls-cert", f"{PKI}/localhost.pem"], "--tls-key"),
        (["--tls-cert", "/nonexistent.pem", "--tls-key", f"{PKI}/localhost.key"], "cannot read"),
        (["--tls-cert", f"{PKI}/localhost.pem", "--tls-key", f"{PKI}/untrusted.key"],
         "do not match"),
        (["--listen", "0.0.0.0:0"], "loopback only"),
        (["--database", "/nonexistent/folder/scores.sqlite3"], "cannot open the database"),
        (["--database", ":memory:"], "pooled connection"),
        (["--rate-limit", "many"], "--rate-limit"),
    ]
    for args, says in cases:
        done = subprocess.run([BINARY, *args], capture_output=True, text=True, timeout=30)
        assert done.returncode and says in done.stderr and not done.stdout, (args, done)


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


def keeps_every_acknowledged_record_after_sigkill():
    acknowledged = []

    def submitter(worker, service):
        for n in range(100000):
            name = f"w{worker}-{n}"
            try:
                if service.post(record(device=name), timeout=5)[0] == 200:
                    acknowledged.append(name)
            except (OSError, ValueError):
                return  # the service is gone: the kill stops every worker

    with Service("--rate-limit", "0") as service, ThreadPoolExecutor(8) as workers:
        for worker in range(8):
            workers.submit(submitter, worker, service)
        deadline = time.monotonic() + 30
        while len(acknowledged) < 300 and time.monotonic() < deadline:
            time.sleep(0.05)
        service.process.kill()
        workers.shutdown()  # each ends at its first failed request
        with sqlite3.connect(service.database) as db:
            stored = {row[0] for row in db.execute("SELECT device_name FROM scores")}
        assert acknowledged and not set(acknowledged) - stored, (len(acknowledged), len(stored))


if __name__ == "__main__":
    run(refuses_bad_start, limits_each_address_and_bounds_chunked_bodies,
        keeps_every_acknowledged_record_after_sigkill)
