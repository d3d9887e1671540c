"""Ranks across instances: on one PostgreSQL (the `postgres` fixture) an older binary, which
keeps no counts in the database, stores records while a newer one upgrades the schema; then
two newer instances under concurrent load, on that PostgreSQL and on one SQLite file."""
import concurrent.futures
import os
import random
import re

from servicetest import Service, psql, record

OLD = os.environ["OLD_SCORE_SERVICE_BINARY"]
URL = open(os.environ["TEST_POSTGRES_URL_FILE"], encoding="utf-8").read().strip()


def submit_all(services, count, low, workers=8):
    def one(position, seconds):  # (N, K, seconds), from "N sonuç ... K. sırada"
        status, reply = services[position % len(services)].post(
            record(seconds, chip="Busy CPU"), timeout=30)
        assert status == 200, reply
        return (*map(int, re.findall(r"\d+", reply["message"])[:2]), seconds)
    times = random.sample([low + i / 1000 for i in range(count)], count)
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        return list(pool.map(one, range(count), times))


def exact_with_two_instances(database=None, before=0):
    with Service("--rate-limit", "0", database=database) as one, \
            Service("--rate-limit", "0", database=one.database) as two:
        replies = sorted(submit_all([one, two], 400, 10.0))
    # Each N is named once, so the replies in N's order are the commit order; every K
    # counts exactly the faster records committed before it, those stored `before` included.
    assert [total for total, _, _ in replies] == list(range(before + 1, before + 401)), replies
    for position, (total, rank, seconds) in enumerate(replies):
        assert rank == 1 + sum(1 for _, _, t in replies[:position] if t < seconds), replies[position]


for sql in ("DROP DATABASE IF EXISTS ranks", "CREATE DATABASE ranks"):
    psql(URL, sql)
DATABASE = URL.rsplit("/", 1)[0] + "/ranks"
with Service("--rate-limit", "0", database=DATABASE, binary=OLD) as old, \
        concurrent.futures.ThreadPoolExecutor(1) as background:
    # Just slower than the 400 that follow, and close enough that none is held for review.
    during = background.submit(submit_all, [old], 200, 10.5, 4)
    with Service("--rate-limit", "0", database=DATABASE):  # migrates meanwhile
        during.result()
exact_with_two_instances(DATABASE, 200)
assert psql(DATABASE, "SELECT records FROM chip_totals UNION SELECT SUM(records) "
            "FROM time_buckets GROUP BY width_ms UNION SELECT SUM(records) FROM chip_memory") \
    == [(600,)]
exact_with_two_instances()
