#!/usr/bin/env python3
"""Commits per second of one-row transactions in a WAL SQLite file, with the
log synced on every commit (synchronous=FULL) and without (NORMAL, which
still survives a killed process). Alternates the two; bounded in time.
Usage: sqlite_commit.py FOLDER [seconds per round] [rounds]
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
    folder = sys.argv[1]
    seconds = float(sys.argv[2]) if len(sys.argv) > 2 else 3
    rounds = int(sys.argv[3]) if len(sys.argv) > 3 else 3
    for r in range(rounds):
        full = commits_per_second(os.path.join(folder, "full.db"), "FULL", seconds)
        normal = commits_per_second(os.path.join(folder, "normal.db"), "NORMAL", seconds)
        print("round %d: FULL %.0f commits/s, NORMAL %.0f commits/s, ratio %.1f" % (
            r + 1, full, normal, normal / full))


if __name__ == "__main__":
    main()
