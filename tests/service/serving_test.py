"""The real binary from outside: start-up refusals and the limit per client address."""
import os
import subprocess

from servicetest import BINARY, Service, record, run

PKI = os.environ["TEST_PKI_DIR"]


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


if __name__ == "__main__":
    run(refuses_bad_start, limits_each_address_and_bounds_chunked_bodies)
