"""The real binary against records at the edges of what it stores: a time no machine can make is
refused, and every page still comes promptly, after a restart, for whatever the board holds."""
import os
import sqlite3
import tempfile

from servicetest import Service, get, record, run

FLOOR = 0.0175  # the README's fastest possible score, as a client sends it
PROMPT = 30  # seconds for any page: a render that runs on fails here, not at CTest's timeout


def at_score(score):
    return {**record(), "xcode_build_sec": score, "resin_slicer_sec": score * 1.5 / 3.5}


def store_before_the_floor(database):
    """Times an older service took: the pages must end for any value a table can hold."""
    with sqlite3.connect(database) as db:
        for seconds in (5e-324, 5e-324, 5e-324, 1e-12):  # the processor's median is subnormal
            db.execute("INSERT INTO scores (received_at, device_name, chip_type, ram_gb, "
                       "xcode_build_sec, resin_slicer_sec, max_temp_c, swap_used_mb) SELECT "
                       "received_at, device_name, chip_type, ram_gb, ?, ?, max_temp_c, "
                       "swap_used_mb FROM scores LIMIT 1", (seconds, seconds * 1.5 / 3.5))


def pages_come_promptly_after_a_restart():
    boards = {
        "the floor": [at_score(FLOOR)],
        "the ceiling": [at_score(3600.0)],
        "1000 equal times": [{**at_score(120.0), "device_name": f"Mac{n}"} for n in range(1000)],
        "times stored before the floor": [record(10)],
    }
    for name, records in boards.items():
        with tempfile.TemporaryDirectory() as folder:
            database = os.path.join(folder, "scores.sqlite3")
            with Service("--rate-limit", "0", database=database) as service:
                for score in (5e-324, FLOOR * 0.999):  # a time no machine can make
                    status, reply = service.post(at_score(score))
                    assert status == 400 and "xcode_build_sec" in reply["error"], (score, reply)
                for body in records:
                    assert service.post(body)[0] == 200, body
            if name == "times stored before the floor":
                store_before_the_floor(database)
            with Service(database=database) as service:  # renders the board before it listens
                for path in ("/", "/?chip=M9", "/r/1", "/r/2", "/api/scores"):
                    status, body = get(service.port, path, timeout=PROMPT)
                    assert status == 200 or (status == 404 and len(records) == 1), (name, path)
                    assert len(body) < 200_000 and "nan" not in body, (name, path, len(body))


if __name__ == "__main__":
    run(pages_come_promptly_after_a_restart)
