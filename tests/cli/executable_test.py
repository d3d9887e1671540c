#!/usr/bin/env python3
"""The real benchmark-companion-cli: on a pipe it writes no control codes; on a terminal,
Ctrl-C once the bar shows a finished child stops the run between children with status 130,
and neither score nor outcome follows. The rest is CliTableTest's.
    executable_test.py [EMULATOR] PATH-TO-benchmark-companion-cli"""
import os
import pty
import select
import signal
import subprocess
import sys
import time


def last_count(output):
    """The count of finished children the bar showed last; -1 before the first."""
    at = output.rfind(b"] ")
    return -1 if at < 0 else int(output[at + 2:].split(b"/")[0])


command = sys.argv[1:]
piped = subprocess.run([*command, "--no-submit"], capture_output=True, timeout=120)
assert piped.returncode == 0 and not set(piped.stderr) & set(b"\r\x1b"), piped

leader, follower = pty.openpty()
child = subprocess.Popen(command, stdout=follower, stderr=follower)
os.close(follower)
output, sent, deadline = b"", False, time.monotonic() + 60
while time.monotonic() < deadline and select.select([leader], [], [], 60)[0]:
    try:
        chunk = os.read(leader, 4096)
    except OSError:  # a terminal reports the end as EIO
        break
    if not chunk:
        break
    output += chunk
    if not sent and last_count(output) > 0:
        child.send_signal(signal.SIGINT)
        sent = True
child.kill()
status = child.wait(10)
text = output.decode(errors="replace")
assert status == 130, (status, text)
assert last_count(output) < 24 and "durduruldu" in text and "Derleme Skoru" not in text, text
print("ok")
