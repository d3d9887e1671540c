"""Ranks across instances on one PostgreSQL (the `postgres` fixture): an older
binary, which keeps no counts in the database, stores records while a newer
one upgrades the schema; then two newer instances under concurrent load."""
import concurrent.futures
import os
import random
import re
import subprocess

from servicetest import Service, record

OLD = os.environ["OLD_SCORE_SERVICE_BINARY"]
PLACE = re.compile(r"bu işlemcideki (\d+) sonuç arasında (\d+)\. sırada")
URL = open(os.environ["TEST_POSTGRES_URL_FILE"], encoding="utf-8").read().strip()


def psql(url, sql):
    return subprocess.run(["psql", url, "-Atc", sql], check=True, capture_output=True,
                          text=True, timeout=60).stdout.split()


def submit_all(services, count, low, workers=8):
    """[(N, K, seconds)] of `count` distinct times sent concurrently, in turn to each service."""
    def one(job):
        position, seconds = job
        status, reply = services[position % len(services)].post(
            record(seconds, chip="Busy CPU"), timeout=30)
        assert status == 200, reply
        total, rank = map(int, PLACE.search(reply["message"]).groups())
        return total, rank, seconds
    times = [low + i / 1000 for i in range(count)]
    random.shuffle(times)
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        return list(pool.map(one, enumerate(times)))


def main():
    for sql in ("DROP DATABASE IF EXISTS ranks", "CREATE DATABASE ranks"):
        psql(URL, sql)
    database = URL.rsplit("/", 1)[0] + "/ranks"
    with Service("--rate-limit", "0", database=database, binary=OLD) as old:
        with concurrent.futures.ThreadPoolExecutor(1) as background:
            during = background.submit(submit_all, [old], 200, 30.0, 4)
            with Service("--rate-limit", "0", database=database) as one, \
                    Service("--rate-limit", "0", database=database) as two:
                during.result()
                replies = sorted(submit_all([one, two], 400, 10.0))
    # Each N is named once, so the replies in N's order are the commit order;
    # every K then counts exactly the faster records committed before it,
    # the 200 from the older binary (all slower) included.
    assert [total for total, _, _ in replies] == list(range(201, 601)), replies
    for position, (total, rank, seconds) in enumerate(replies):
        assert rank == 1 + sum(1 for _, _, t in replies[:position] if t < seconds), replies[position]
    assert psql(database, "SELECT records FROM chip_totals UNION SELECT SUM(records) "
                "FROM time_buckets GROUP BY width_ms") == ["600"]


if __name__ == "__main__":
    main()
