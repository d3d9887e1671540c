#!/usr/bin/env python3
"""Client-side latency of whole submissions while other load runs.

wrk times a request from its first byte written, so it leaves out the TCP and
TLS handshake that every real submission pays. This probe sends a record on a
fresh TLS connection every interval (open loop) and times connect to last
byte. Usage: latency_probe.py --url URL --ca CA [--seconds 20] [--interval 0.1]
"""
import argparse
import concurrent.futures
import os
import ssl
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(__file__), ".."))
from slow_clients import loopback_url, pct, timed_submission  # noqa: E402


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--url", required=True)
    ap.add_argument("--ca", required=True)
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--interval", type=float, default=0.1)
    a = ap.parse_args()
    host, port = loopback_url(a.url)
    ctx = ssl.create_default_context(cafile=a.ca)
    start, futures, k = time.monotonic(), [], 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=64) as pool:
        while (due := start + k * a.interval) < start + a.seconds:
            k += 1
            time.sleep(max(0.0, due - time.monotonic()))
            futures.append(pool.submit(timed_submission, host, port, ctx, 10.0))
        results = [f.result() for f in futures]
    ok = [r[1] * 1000 for r in results if r[2] == 200]
    other = sorted({r[3] or str(r[2]) for r in results if r[2] != 200})
    print("probe (connect+TLS+request) n=%d ok=%d p50=%.1f p99=%.1f max=%.1f ms %s" % (
        len(results), len(ok), pct(ok, 50), pct(ok, 99), max(ok) if ok else float("nan"),
        ",".join(other)))


if __name__ == "__main__":
    main()
