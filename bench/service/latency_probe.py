#!/usr/bin/env python3
"""Client-side latency of whole submissions while other load runs.

wrk times a request from its first byte written, so it leaves out the TCP and
TLS handshake that every real submission pays. This probe sends a record on a
fresh TLS connection every interval (open loop) and times connect to last
byte. With --vary every record is on AMD EPYC 7B13 (the wrk load's processor)
with a time of its own in 20-220 s instead of the one fixed record.
Usage: latency_probe.py --url URL --ca CA [--seconds 20] [--interval 0.1] [--vary]
"""
import argparse
import time

from slow_clients import RECORD, loopback_url, open_loop, pct


def varied_record(k):
    t = 20 + 200 * ((k * 0.6180339887) % 1)
    return ('{"device_name":"latency probe","chip_type":"AMD EPYC 7B13","ram_gb":16,'
            '"xcode_build_sec":%.17g,"resin_slicer_sec":%.17g,"max_temp_c":0,'
            '"swap_used_mb":0}' % (t, t * 1.5 / 3.5)).encode()


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--url", required=True)
    ap.add_argument("--ca", required=True)
    ap.add_argument("--seconds", type=float, default=20)
    ap.add_argument("--interval", type=float, default=0.1)
    ap.add_argument("--vary", action="store_true")
    a = ap.parse_args()
    host, port = loopback_url(a.url)
    start = time.monotonic()
    results = open_loop(host, port, a.ca, start, start + a.seconds, a.interval, 10.0,
                        varied_record if a.vary else lambda k: RECORD)
    ok = [r[1] * 1000 for r in results if r[2] == 200]
    other = sorted({r[3] or str(r[2]) for r in results if r[2] != 200})
    print("probe (connect+TLS+request) n=%d ok=%d p50=%.1f p99=%.1f max=%.1f ms %s" % (
        len(results), len(ok), pct(ok, 50), pct(ok, 99), max(ok) if ok else float("nan"),
        ",".join(other)))


if __name__ == "__main__":
    main()
