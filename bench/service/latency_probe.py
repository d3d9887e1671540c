#!/usr/bin/env python3
"""Whole submissions timed beside wrk, whose latency leaves out the TCP and TLS handshake:
one on a fresh TLS connection every 0.1 s (open loop), connect to last byte, each on the wrk
load's processor with a time of its own in 20-220 s.
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
