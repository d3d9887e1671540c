"""Ranks across instances on one PostgreSQL (the `postgres` fixture): two
instances under concurrent load, then an older binary, which keeps no counts
in the database, beside a newer one during and after its upgrade."""
import concurrent.futures
import os
import random
import re
import subprocess

from servicetest import Service, record

OLD_BINARY = os.environ["OLD_SCORE_SERVICE_BINARY"]
PLACE = re.compile(r"bu işlemcideki (\d+) sonuç arasında (\d+)\. sırada")
ADMIN_URL = open(os.environ["TEST_POSTGRES_URL_FILE"], encoding="utf-8").read().strip()


def psql(url, sql):
    return subprocess.run(["psql", url, "-Atc", sql], check=True, capture_output=True,
                          text=True, timeout=60).stdout.split()


def fresh_database(name):
    for sql in (f"DROP DATABASE IF EXISTS {name}", f"CREATE DATABASE {name}"):
        psql(ADMIN_URL, sql)
    return ADMIN_URL.rsplit("/", 1)[0] + "/" + name


def submit_all(services, jobs, chip, workers=8):
    """[(service index, seconds, N, K)] for (service index, seconds) jobs, sent concurrently."""
    def one(job):
        index, seconds = job
        status, reply = services[index].post(record(seconds, chip=chip), timeout=30)
        assert status == 200, reply
        total, rank = map(int, PLACE.search(reply["message"]).groups())
        assert 1 <= rank <= total, (job, total, rank)
        return index, seconds, total, rank
    with concurrent.futures.ThreadPoolExecutor(workers) as pool:
        return list(pool.map(one, jobs))


def distinct_times(count, low):
    times = [low + i / 1000 for i in range(count)]
    random.shuffle(times)
    return times


def exact_among_named(replies):
    """Each N is named once, so the replies in N's order are the commit order;
    each K then counts exactly the faster records committed before it."""
    in_order = sorted(replies, key=lambda reply: reply[2])
    assert [reply[2] for reply in in_order] == list(range(1, len(replies) + 1)), in_order
    for position, (_, seconds, total, rank) in enumerate(in_order):
        faster = sum(1 for earlier in in_order[:position] if earlier[1] < seconds)
        assert rank == faster + 1, (seconds, total, rank, faster + 1)


def counts_match_rows(url):
    mismatched = psql(url, """
        SELECT chip_type FROM chip_totals t WHERE records <> (SELECT COUNT(*) FROM scores s
          WHERE s.chip_type = t.chip_type) OR records <> ALL (SELECT SUM(records)
          FROM time_buckets b WHERE b.chip_type = t.chip_type GROUP BY width_ms)""")
    assert mismatched == [], mismatched


def two_instances_rank_exactly():
    database = fresh_database("ranks_two")
    with Service("--rate-limit", "0", database=database) as one, \
            Service("--rate-limit", "0", database=database) as two:
        times = distinct_times(400, 10.0)
        replies = submit_all([one, two], [(i % 2, t) for i, t in enumerate(times)], "Busy CPU")
        exact_among_named(replies)
        counts_match_rows(database)


def old_and_new_side_by_side():
    database = fresh_database("ranks_upgrade")
    with Service("--rate-limit", "0", database=database, binary=OLD_BINARY) as old:
        submit_all([old], [(0, t) for t in distinct_times(50, 30.0)], "Busy CPU")
        # The new binary migrates while the old one stores records.
        with concurrent.futures.ThreadPoolExecutor(1) as background:
            during = background.submit(submit_all, [old],
                                       [(0, t) for t in distinct_times(150, 40.0)], "Busy CPU", 4)
            with Service("--rate-limit", "0", database=database) as new:
                during.result()
                replies = submit_all([old, new], [(i % 2, t) for i, t in
                                                  enumerate(distinct_times(200, 20.0))], "Busy CPU")
                from_new = [reply[2] for reply in replies if reply[0] == 1]
                assert len(set(from_new)) == len(from_new), from_new
                last = submit_all([new], [(0, 99.0)], "Busy CPU")[0]
                assert last[2:] == (401, 401), last
                counts_match_rows(database)
    # Started again after the upgrade, the old binary refuses the newer schema.
    refused = subprocess.run([OLD_BINARY, "--listen", "127.0.0.1:0", "--database", database],
                             capture_output=True, text=True, timeout=30)
    assert refused.returncode == 1 and "newer than this service" in refused.stderr, refused


if __name__ == "__main__":
    for case in (two_instances_rank_exactly, old_and_new_side_by_side):
        case()
        print(case.__name__, "ok")
