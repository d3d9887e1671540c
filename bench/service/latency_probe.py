#!/usr/bin/env python3
"""Client-side latency of whole submissions while other load runs.

wrk times a request from its first byte written, so it leaves out the TCP and
TLS handshake that every real submission pays. This probe sends a record on a
fresh TLS connection every 0.1 s (open loop) and times connect to last byte.
Every record is on AMD EPYC 7B13 (the wrk load's processor) with a time of its
own in 20-220 s.
Usage: latency_probe.py URL CA SECONDS
"""
import sys
import time

from slow_clients import loopback_url, open_loop, summarise


def varied_record(k):
    t = 20 + 200 * ((k * 0.6180339887) % 1)
    return ('{"device_name":"latency probe","chip_type":"AMD EPYC 7B13","ram_gb":16,'
            '"xcode_build_sec":%.17g,"resin_slicer_sec":%.17g,"max_temp_c":0,'
            '"swap_used_mb":0}' % (t, t * 1.5 / 3.5)).encode()


def main():
    url, ca, seconds = sys.argv[1], sys.argv[2], float(sys.argv[3])
    host, port = loopback_url(url)
    start = time.monotonic()
    results = open_loop(host, port, ca, start, start + seconds, 0.1, 10.0, varied_record)
    summarise("probe (connect+TLS+request)", results)


if __name__ == "__main__":
    main()
