#!/usr/bin/env python3
"""Slow clients against an HTTPS submission endpoint on loopback.

Opens N TLS connections that each send one byte of a request a second, while
a normal client submits a record on a fresh TLS connection every interval and
times it; samples the server's resident memory throughout. Bounded: a baseline,
the slow phase, 5 s of recovery, then it exits.
Usage, with the open-file limit above N (slow.sh raises it): slow_clients.py
       --url https://127.0.0.1:PORT --ca ca.pem --pid PID [--slow N (1000)]
       [--slow-seconds 30] [--baseline 5] [--interval 0.2] [--ramp 3]
"""
import argparse
import asyncio
import collections
import concurrent.futures
import math
import socket
import ssl
import threading
import time
import urllib.parse

RECORD = (b'{"device_name":"slow-client bench","chip_type":"AMD EPYC","ram_gb":16,'
          b'"xcode_build_sec":10.5,"resin_slicer_sec":4.5,"max_temp_c":0,"swap_used_mb":0}')
LIMIT_S = 1.0          # a normal submission must complete within this
MEMORY_BUDGET_MIB = 256  # "not exhausted": the server stays under this


def loopback_url(url):
    """(host, port) of an https URL on loopback; anything else ends the run."""
    u = urllib.parse.urlsplit(url)
    if u.hostname not in ("127.0.0.1", "::1", "localhost"):
        raise SystemExit("loopback only")
    return u.hostname, u.port


def request_bytes(host, record=RECORD):
    head = ("POST /api/submit HTTP/1.1\r\nHost: %s\r\nContent-Type: application/json\r\n"
            "Content-Length: %d\r\nConnection: close\r\n\r\n" % (host, len(record)))
    return head.encode() + record


def timed_submission(host, port, ctx, timeout, record=RECORD):
    """(start, seconds, HTTP status or None, the failure's name or "") of one submission."""
    t0 = time.monotonic()
    try:
        with socket.create_connection((host, port), timeout=timeout) as raw:
            raw.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)  # as libcurl does
            with ctx.wrap_socket(raw, server_hostname="localhost") as tls:
                tls.sendall(request_bytes(host, record))
                status, err = int(tls.makefile("rb").read().split(b" ", 2)[1]), ""
    except Exception as e:  # every failure is a data point, not a crash
        status, err = None, type(e).__name__
    return (t0, time.monotonic() - t0, status, err)


def open_loop(host, port, ca, start, end, interval, timeout, record_of=lambda k: RECORD):
    """A submission on a fresh TLS connection every interval, timed, from start to end.

    Open loop: a stuck submission must not delay the next one, or the stall
    would hide itself by lowering the number of samples taken during it."""
    ctx = ssl.create_default_context(cafile=ca)
    futures, k = [], 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=128) as pool:
        while (due := start + k * interval) < end:
            k += 1
            time.sleep(max(0.0, due - time.monotonic()))
            futures.append(pool.submit(timed_submission, host, port, ctx, timeout, record_of(k)))
        return [f.result() for f in futures]


def rss_sampler(pid, stop, samples):
    while not stop.is_set():
        try:
            with open("/proc/%d/status" % pid) as f:
                fields = dict(line.split(":", 1) for line in f)
            samples.append((time.monotonic(), int(fields["VmRSS"].split()[0]) // 1024,
                            int(fields["Threads"])))
        except (OSError, KeyError, ValueError):
            samples.append((time.monotonic(), None, None))
        stop.wait(0.25)


async def slow_client(host, port, ctx, until, stats):
    try:
        reader, writer = await asyncio.wait_for(
            asyncio.open_connection(host, port, ssl=ctx, server_hostname="localhost",
                                    ssl_handshake_timeout=until - time.monotonic()),
            timeout=max(0.1, until - time.monotonic()))
    except Exception as e:
        stats[type(e).__name__] += 1
        return
    stats["tls_up"] += 1
    data, i = request_bytes(host), 0
    try:
        while time.monotonic() < until and i < len(data):
            writer.write(data[i:i + 1])
            await writer.drain()
            i += 1
            await asyncio.sleep(1.0)
        if reader.at_eof():
            raise ConnectionResetError
        stats["held_to_end"] += 1
    except Exception as e:
        stats["dropped_" + type(e).__name__] += 1
    finally:
        writer.close()


async def slow_phase(host, port, ca, n, seconds, ramp):
    ctx = ssl.create_default_context(cafile=ca)
    until = time.monotonic() + seconds
    stats, tasks = collections.Counter(), []
    for i in range(n):
        tasks.append(asyncio.create_task(slow_client(host, port, ctx, until, stats)))
        await asyncio.sleep(ramp / n)
    await asyncio.gather(*tasks, return_exceptions=True)
    return stats


def pct(values, p):
    v = sorted(values)
    return v[min(len(v) - 1, int(round(p / 100 * (len(v) - 1))))] if v else float("nan")


def summarise(name, results, lo=-math.inf, hi=math.inf):
    """Prints the submissions started in [lo, hi); true when every one was a 200 within 1 s."""
    part = [r for r in results if lo <= r[0] < hi]
    ok = [r[1] * 1000 for r in part if r[2] == 200]
    fails = [r for r in part if r[2] != 200]
    late = sum(1 for r in part if r[2] == 200 and r[1] > LIMIT_S)
    kinds = sorted({r[3] or str(r[2]) for r in fails})
    print("%-16s n=%d ok=%d failed=%d over_1s=%d p50=%.1f p99=%.1f max=%.1f ms %s" % (
        name, len(part), len(ok), len(fails), late, pct(ok, 50), pct(ok, 99),
        max(ok) if ok else float("nan"), ",".join(kinds)))
    return not fails and late == 0 and len(part) > 0


def rss_line(name, samples, lo, hi=math.inf):
    part = [s for s in samples if lo <= s[0] < hi and s[1] is not None]
    if not part:
        print("rss    %-9s server gone" % name)
        return None
    print("rss    %-9s max=%d MiB last=%d MiB threads_max=%d" % (
        name, max(s[1] for s in part), part[-1][1], max(s[2] for s in part)))
    return max(s[1] for s in part)


def arguments():
    ap = argparse.ArgumentParser()
    ap.add_argument("--url", required=True)
    ap.add_argument("--ca", required=True)
    ap.add_argument("--pid", type=int, required=True)
    ap.add_argument("--slow", type=int, default=1000)
    ap.add_argument("--slow-seconds", type=float, default=30)
    ap.add_argument("--baseline", type=float, default=5)
    ap.add_argument("--interval", type=float, default=0.2)
    ap.add_argument("--ramp", type=float, default=3)
    return ap.parse_args()


def main():
    a = arguments()
    host, port = loopback_url(a.url)
    t0 = time.monotonic()
    slow_from, slow_to = t0 + a.baseline, t0 + a.baseline + a.slow_seconds
    end = slow_to + 5
    # The normal client in a process of its own, so the slow ones' event loop cannot delay it.
    with concurrent.futures.ProcessPoolExecutor(1) as process:
        normal = process.submit(open_loop, host, port, a.ca, t0, end, a.interval, 10.0)
        stop, samples = threading.Event(), []
        sampler = threading.Thread(target=rss_sampler, args=(a.pid, stop, samples))
        sampler.start()
        time.sleep(a.baseline)
        stats = asyncio.run(slow_phase(host, port, a.ca, a.slow, a.slow_seconds, a.ramp))
        results = normal.result()
    stop.set()
    sampler.join()

    print("slow   %d connections, %.0f s at 1 byte/s: %s" % (
        a.slow, a.slow_seconds, " ".join("%s=%d" % kv for kv in sorted(stats.items()))))
    fine = summarise("normal baseline", results, t0, slow_from)
    held = summarise("normal slow", results, slow_from, slow_to)
    summarise("normal recovery", results, slow_to)
    rss_line("baseline", samples, t0, slow_from)
    peak = rss_line("slow", samples, slow_from, slow_to)
    rss_line("recovery", samples, slow_to)
    memory_ok = peak is not None and peak < MEMORY_BUDGET_MIB
    print("verdict submissions_within_1s=%s memory_under_%dMiB=%s baseline_clean=%s" % (
        "yes" if held else "no", MEMORY_BUDGET_MIB, "yes" if memory_ok else "no",
        "yes" if fine else "no"))


if __name__ == "__main__":
    main()
