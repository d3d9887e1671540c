"""The real binary against records at the edges of what it stores: a time no machine can make is
refused, and every page still comes promptly, after a restart, for whatever the board holds; a
processor's name of any characters it accepts comes back unchanged through its links, search, the
API and the CSV export."""
import csv
import io
import json
import os
import sqlite3
import subprocess
import tempfile
import urllib.parse

from servicetest import BINARY, Service, get, record, run

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


# Each name a client may send, and a search in other letter case that must find it alone.
NAMES = [
    ("<script>alert(1)</script><b>", "<SCRIPT>ALERT"),
    ("O'Brien \"Çift\" Tırnak", "\"ÇİFT\" TIRNAK"),
    ("100% _Hız\\Kesme", "% _HIZ\\"),
    ("A/B#C?D&E=F+G", "b#c?d&e=f+"),
    ("معالج سريع 9", "سريع 9"),
    ("Roket 🚀 İşlemci", "🚀 IŞLEMCI"),
    ("Ç" * 64, "ç" * 64),  # 128 bytes, the longest name stored
]


def escaped(text):
    """As the pages escape a stored text."""
    for plain, entity in (("&", "&amp;"), ("<", "&lt;"), (">", "&gt;"), ('"', "&quot;"),
                          ("'", "&#39;")):
        text = text.replace(plain, entity)
    return text


def api(service, path, **query):
    status, body = get(service.port, path + "?" + urllib.parse.urlencode(query))
    assert status == 200, (path, query, body)
    return json.loads(body)


def found(service, name, search):
    """The name through the search, its link, its page and the API."""
    path = "/?chip=" + urllib.parse.quote(name, safe="-_.~")
    status, listed = get(service.port, "/processors?q=" + urllib.parse.quote(search, safe=""))
    assert status == 200 and listed.count("<a href='/?chip=") == 1, (name, listed[-2000:])
    assert f"<a href='{path}'>{escaped(name)}</a>" in listed, (name, search)
    status, page = get(service.port, path)
    assert status == 200 and f"<h1>{escaped(name)}</h1>" in page, (name, status)
    [row] = api(service, "/api/processors", q=search)["processors"]
    assert (row["chip"], row["url"], row["results"]) == (name, path, 1), row
    assert api(service, "/api/processor", chip=name)["processor"]["chip"] == name
    assert api(service, "/api/scores", chip=name)["scores"][0]["chip_type"] == name


def hostile_names_round_trip():
    with Service("--rate-limit", "0") as service:
        for name, _ in NAMES:
            assert service.post(record(chip=name))[0] == 200, name
        status, reply = service.post(record(chip="x" * 200))
        assert status == 400 and "chip_type" in reply["error"], reply
        for name, search in NAMES:
            found(service, name, search)
        for plain in ("%", "_", "\\", "x" * 200):  # no wildcards, no escapes, no match
            chips = [p["chip"] for p in api(service, "/api/processors", q=plain)["processors"]]
            assert chips == [n for n, _ in NAMES if plain in n], (plain, chips)
        exported = subprocess.run([BINARY, "admin", "--database", service.database, "export",
                                   "--format", "csv"], capture_output=True, text=True, check=True)
        rows = list(csv.DictReader(io.StringIO(exported.stdout)))
        assert sorted(r["chip_type"] for r in rows) == sorted(n for n, _ in NAMES), rows


if __name__ == "__main__":
    run(hostile_names_round_trip, pages_come_promptly_after_a_restart)
