"""Every acknowledged record is stored once, with the id its answer named, whatever fails: 16 to
32 clients submit at once while a fault strikes between the service and PostgreSQL (a relay
that reads the wire protocol), the database itself, the service or its clients. Then each
client's answers are held against the tables. One row per fault and engine."""
import collections
import contextlib
import http.client
import json
import re
import select
import socket
import sqlite3
import subprocess as sp
import sys
import tempfile
import threading
import time
import urllib.parse
from concurrent.futures import ThreadPoolExecutor

from servicetest import Postgres, Service, get, psql, record, wait_until

CHIPS = ("A1", "B2", "C3")
Answer = collections.namedtuple("Answer", "device chip status id while_held")


class Fault:
    """What a relay does to each message: `kind` at every `every`th chance, `most` times."""

    def __init__(self, kind, every=1, most=0, pause=0.0):
        self.kind, self.every, self.most, self.pause = kind, every, most, pause
        self.armed, self.chances, self.injected, self.lock = False, 0, 0, threading.Lock()

    def due(self):
        with self.lock:
            self.chances += self.armed
            hit = self.armed and self.chances % self.every == 0 and self.injected < self.most
            self.injected += hit
            return hit

    def delay(self):
        if self.pause and self.armed:
            time.sleep(self.pause)
            with self.lock:
                self.injected += 1

    def __call__(self, link, side, message):
        """pass, drop or cut (drop it and close both ends)."""
        kind = message[:1]
        if side == 1:  # the server's: a COMMIT's answer held back goes nowhere
            if link.pending and kind == b"Z":
                link.pending, link.held = False, True
                return "cut" if self.kind == "lost" else "drop"
            return "drop" if link.pending or link.held else "pass"
        sql = message[5:].split(b"\0")[1] if kind == b"P" else None
        if sql == b"BEGIN":  # a write: reads name their isolation level
            cut = self.kind == "cut" and self.due()
            link.executes, link.cut_at = 0, 2 + self.injected % 3 if cut else None
        elif sql == b"COMMIT":
            link.pending, link.cut_at = self.kind in ("lost", "held") and self.due(), None
        elif kind == b"E":
            link.executes += 1
            return "cut" if link.executes == link.cut_at else "pass"
        return "pass"


class Link:  # one relayed connection and where its transaction stands
    def __init__(self, near, far):
        self.ends, self.executes, self.cut_at, self.pending, self.held = (near, far), 0, None, \
            False, False
        for end in self.ends:
            end.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)

    def close(self):
        for end in self.ends:
            with contextlib.suppress(OSError):
                end.shutdown(socket.SHUT_RDWR)
            end.close()


def pg_size(data, first):  # each message but the first one a client sends starts with its type
    head = 4 if first else 5
    return len(data) >= head and int.from_bytes(data[head - 4:head], "big") + head - 4


class Relay:
    """127.0.0.1:0 to PostgreSQL at 127.0.0.1:`port`, message by message."""

    def __init__(self, port, fault):
        self.port, self.fault, self.links = port, fault, []
        self.listener = socket.create_server(("127.0.0.1", 0))
        self.address = self.listener.getsockname()[1]
        threading.Thread(target=self.accept, daemon=True).start()

    def accept(self):
        with contextlib.suppress(OSError):  # closed: the trial is over
            while near := self.listener.accept()[0]:
                self.links.append(Link(near, socket.create_connection(("127.0.0.1", self.port))))
                for side in (0, 1):
                    threading.Thread(target=self.pump, args=(self.links[-1], side),
                                     daemon=True).start()

    def pump(self, link, side):
        source, sink, data, first = link.ends[side], link.ends[1 - side], b"", side == 0
        with contextlib.suppress(OSError):
            while chunk := source.recv(1 << 16):
                self.fault.delay()
                data, out, verdict = data + chunk, b"", "pass"
                while verdict in ("pass", "drop") and (size := pg_size(data, first)) \
                        and size <= len(data):
                    message, data, first = data[:size], data[size:], False
                    verdict = self.fault(link, side, message)
                    out += message if verdict == "pass" else b""
                sink.sendall(out)
                if verdict == "cut":
                    break
        link.close()

    def close(self):
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        for link in self.links:
            link.close()


class Run:
    """One trial's service, clients and answers, as a fault sees them; `cut` leaves some
    requests once they are sent."""

    def __init__(self, service, postgres, database, plan, cut):
        self.service, self.postgres, self.database, self.cut = service, postgres, database, cut
        self.plan, self.answers, self.stop = plan, [], threading.Event()
        self.held, self.faults, self.problems = False, 0, []

    def submit(self, device, chip, seconds=12.0):
        body = record(seconds, device, chip)
        try:
            if self.cut and self.cut.due():  # the whole request goes; its answer is never read
                data = json.dumps(body).encode()
                with socket.create_connection(("127.0.0.1", self.service.port)) as raw:
                    raw.sendall(b"POST /api/submit HTTP/1.1\r\nHost: x\r\nContent-Type: applica"
                                b"tion/json\r\nContent-Length: %d\r\n\r\n%s" % (len(data), data))
                raise ConnectionAbortedError
            status, reply = self.service.post(body, timeout=60)
            self.answers.append(Answer(device, chip, status, reply.get("id"), self.held))
        except (OSError, http.client.HTTPException, ValueError):
            self.answers.append(Answer(device, chip, None, None, self.held))

    def client(self, number):
        for device, chip, seconds in self.plan[number]:
            if not self.stop.is_set():
                self.submit(device, chip, seconds)

    def share_answered(self, share):
        wait_until(lambda: len(self.answers) >= share * sum(map(len, self.plan)))


def hold_row(run):
    """Another session holds X's count row: every other processor's submission is answered 200
    while it is held; X's are answered too, each as the tables say."""
    run.submit("x-first", "X")  # its count row, to be held
    holder = sp.Popen(["psql", "-qAt", "-v", "ON_ERROR_STOP=1", run.database], text=True,
                      stdin=sp.PIPE, stdout=sp.PIPE)
    holder.stdin.write("BEGIN; SELECT records FROM chip_totals WHERE chip_type = 'X' FOR UPDATE;\n")
    holder.stdin.flush()
    assert select.select([holder.stdout], [], [], 10)[0] and holder.stdout.readline() == "1\n"
    run.held, run.faults = True, 1
    yield
    others = sum(chip != "X" for lane in run.plan for _, chip, _ in lane)
    wait_until(lambda: sum(a.chip != "X" for a in run.answers) == others)
    run.held = False
    holder.communicate("COMMIT;\n", timeout=30)
    held_up = sum(a.status != 200 or not a.while_held for a in run.answers if a.chip != "X")
    # An X placed while its row was held would have been counted without taking it.
    unsure = [a for a in run.answers if a.chip == "X" and (
        a.status is None or a.status == 200 and a.while_held)]
    run.problems += [text for text, found in (
        (f"{held_up} of other processors not answered 200 while X's row was held", held_up),
        (f"X unanswered or placed while held: {unsure}", unsure)) if found]


def crash(run):
    yield
    for share in (0.3, 0.6):
        run.share_answered(share)
        run.postgres.run("crash")
        run.faults += 1


def kill(run):
    """Under 32 clients, so that commits are shared when the kill comes."""
    yield
    run.share_answered(0.5)
    figures = dict(re.findall(r"^score_service_(write_batch\w*_total) (\d+)$",
                              get(run.service.metrics, "/metrics")[1], re.M))
    run.stop.set()
    run.service.process.kill()
    run.faults = 1
    if int(figures["write_batch_records_total"]) <= int(figures["write_batches_total"]):
        run.problems.append(f"no commit held two submissions: {figures}")


BOTH, POSTGRES = ("sqlite", "postgres"), ("postgres",)
FAULTS = [  # name, engines, the trial
    ("COMMIT's answer lost, connection cut", POSTGRES, dict(database=("lost", 4, 3))),
    ("COMMIT's answer held past the wait", POSTGRES, dict(database=("held", 6, 2))),
    ("connection cut mid-batch", POSTGRES, dict(database=("cut", 3, 5))),
    ("every packet 3 ms late", POSTGRES, dict(database=("late", 1, 0, 0.003))),
    ("a count row held by another session", POSTGRES,
     dict(during=hold_row, lanes=lambda number: ("X",) if number < 2 else CHIPS)),
    ("PostgreSQL stopped at once, started", POSTGRES, dict(during=crash)),
    ("service SIGKILL mid-batch", BOTH, dict(during=kill, clients=32, each=16)),
    ("client cut after its request", BOTH, dict(client=("client", 5, 20))),
]


def rows_of(database, sql):
    if database.startswith("postgresql:"):
        return psql(database, sql)
    with contextlib.closing(sqlite3.connect(database)) as db:
        return db.execute(sql).fetchall()


def trial(postgres, number, engine, database=None, client=None, during=None, clients=16, each=12,
          lanes=lambda number: CHIPS):
    plan = [[(f"c{c}-{n}", lanes(c)[(c + n) % len(lanes(c))], 10 + (c * 7 + n * 13) % 40 / 10)
             for n in range(each)] for c in range(clients)]
    with tempfile.TemporaryDirectory() as folder, open(f"{folder}/stderr", "w+") as log:
        direct = reached = f"{folder}/scores.sqlite3"
        if engine == "postgres":
            psql(postgres.url, f"CREATE DATABASE trial{number}")
            direct = reached = postgres.url.rsplit("/", 1)[0] + f"/trial{number}"
        relays, database, client = [], database and Fault(*database), client and Fault(*client)
        if database:  # the first message is the untyped StartupMessage only without TLS or GSS
            relays.append(Relay(urllib.parse.urlsplit(postgres.url).port, database))
            reached = (f"postgresql://scores@127.0.0.1:{relays[-1].address}/trial{number}"
                       "?sslmode=disable&gssencmode=disable")
        with Service("--rate-limit", "0", database=reached, stderr=log, metrics=True) as service:
            fault = database or client
            run = Run(service, postgres, direct, plan, client)
            steps = during(run) if during else iter([None])
            next(steps)
            if fault:
                fault.armed = True
            with ThreadPoolExecutor(clients) as pool:
                working = [pool.submit(run.client, c) for c in range(clients)]
                next(steps, None)
            [result.result() for result in working]
        [relay.close() for relay in relays]
        return judge(run, fault.injected if fault else run.faults, direct, log)


def judge(run, faults, database, log):
    """The trial's figures and problems: its answers against the service's log and the tables."""
    log.seek(0)  # the service wrote through the same offset
    explained = {int(n) for ids in re.findall(r"may be stored: ids ([0-9, ]+)", log.read())
                  for n in ids.replace(",", " ").split()}
    stored = rows_of(database, "SELECT id, device_name, chip_type, 1 FROM scores UNION ALL "
                               "SELECT id, device_name, chip_type, 0 FROM withheld")
    totals = dict(rows_of(database, "SELECT chip_type, records FROM chip_totals "
                                    "WHERE records <> 0"))
    ids = collections.defaultdict(list)
    for id_, device, _, _ in stored:
        ids[device].append(id_)
    answered = {a.device for a in run.answers}
    acknowledged = [a for a in run.answers if a.status == 200]
    lost = [a for a in acknowledged if not ids[a.device] or a.id not in ids[a.device] + [None]]
    twice = [device for device, kept in ids.items() if len(kept) > 1]
    errors = [a for a in run.answers if a.status not in (200, None)]
    unexplained = [a for a in errors if set(ids[a.device]) - explained]
    counted = collections.Counter(chip for _, _, chip, on_board in stored if on_board)
    figures = (len(run.answers), faults, len(lost), len(twice),
               sum(a.status is None for a in run.answers), len(errors))
    return figures, run.problems + [text for text, found in (
        (f"{len(lost)} acknowledged lost", lost), (f"{len(twice)} stored twice", twice),
        (f"{len(unexplained)} error answers stored", unexplained),
        (f"counts {totals} for rows {dict(counted)}", totals != counted),
        (f"stored, never sent: {set(ids) - answered}", set(ids) - answered),
        ("nothing acknowledged", not acknowledged)) if found]


def main(only):
    row = "{:<38}{:<10}" + "{:>12}" * 6
    print(row.format("fault", "engine", "operations", "faults", "lost", "duplicated",
                     "unanswered", "errors"))
    failed = []
    with Postgres() as postgres:
        for number, (name, engines, setup) in enumerate(FAULTS):
            for engine in engines * any(word in name for word in only or [""]):
                figures, problems = trial(postgres, number, engine, **setup)
                print(row.format(name, engine, *figures), *problems, sep="  ", flush=True)
                failed += [f"{name} ({engine}): {'; '.join(problems)}"] * (len(problems) > 0)
    assert not failed, "\n".join(failed)


if __name__ == "__main__":
    main(sys.argv[1:])  # words of the faults to run; all by default
