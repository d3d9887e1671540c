#!/usr/bin/env python3
"""Commits per second of one-row transactions in a WAL SQLite file, with the
log synced on every commit (synchronous=FULL) and without (NORMAL, which
still survives a killed process). Alternates the two; bounded in time.
Usage: sqlite_commit.py FOLDER SECONDS_PER_ROUND ROUNDS [MODES (FULL,NORMAL)]
"""
import os
import sqlite3
import sys
import time


def commits_per_second(path, sync, seconds):
    db = sqlite3.connect(path, isolation_level=None)
    db.execute("PRAGMA journal_mode=WAL")
    db.execute("PRAGMA synchronous=%s" % sync)
    db.execute("CREATE TABLE IF NOT EXISTS t (id INTEGER PRIMARY KEY, chip TEXT, sec REAL)")
    n, end = 0, time.monotonic() + seconds
    while time.monotonic() < end:
        db.execute("BEGIN IMMEDIATE")
        db.execute("INSERT INTO t (chip, sec) VALUES ('AMD EPYC 7B13', 10.5)")
        db.execute("COMMIT")
        n += 1
    db.close()
    return n / seconds


def main():
    folder, seconds, rounds = sys.argv[1], float(sys.argv[2]), int(sys.argv[3])
    modes = sys.argv[4].split(",") if len(sys.argv) > 4 else ["FULL", "NORMAL"]
    for r in range(rounds):
        rates = {m: commits_per_second(os.path.join(folder, m.lower() + ".db"), m, seconds)
                 for m in modes}
        line = ", ".join("%s %.0f commits/s" % rate for rate in rates.items())
        if "FULL" in rates and "NORMAL" in rates:
            line += ", ratio %.1f" % (rates["NORMAL"] / rates["FULL"])
        print("round %d: %s" % (r + 1, line))


if __name__ == "__main__":
    main()
