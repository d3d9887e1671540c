#!/usr/bin/env python3
"""The real benchmark-companion-cli from outside: a usage error, a measured-only
JSON run on a pipe, and Ctrl-C mid-run on a terminal.

    executable_test.py PATH-TO-benchmark-companion-cli
"""
import json
import os
import pty
import select
import signal
import subprocess
import sys
import time
import unittest

CLI = sys.argv.pop(1) if __name__ == "__main__" else None


def last_count(output):
    """The count of finished children the bar showed last; -1 before the first."""
    at = output.rfind(b"] ")
    return -1 if at < 0 else int(output[at + 2:].split(b"/")[0])


class Executable(unittest.TestCase):
    def test_usage_error_exits_64_and_says_why(self):
        run = subprocess.run([CLI, "--no-submit", "--frobnicate"], capture_output=True, timeout=60)
        self.assertEqual(run.returncode, 64)
        self.assertIn("bilinmeyen seçenek: --frobnicate", run.stderr.decode())

    def test_measures_only_and_prints_one_json_object_without_control_codes(self):
        run = subprocess.run([CLI, "--no-submit", "--json"], capture_output=True, timeout=120)
        self.assertEqual((run.returncode, run.stderr), (0, b""))
        report = json.loads(run.stdout)
        self.assertEqual((report["outcome"], report["text"]), ("not_submitted", None))
        self.assertAlmostEqual(report["score"], report["elapsed_sec"] * 3.5)

    def test_ctrl_c_stops_between_children_and_exits_130_without_submitting(self):
        # Once the bar shows a finished child. Neither score nor outcome may
        # follow: the outcome line is printed only after a submission.
        leader, follower = pty.openpty()
        child = subprocess.Popen([CLI], stdout=follower, stderr=follower)
        os.close(follower)
        output, sent, deadline = b"", None, time.monotonic() + 60
        while time.monotonic() < deadline:
            if select.select([leader], [], [], 0.1)[0]:
                try:
                    chunk = os.read(leader, 4096)
                except OSError:  # a terminal reports the end as EIO
                    chunk = b""
                if not chunk:
                    break
                output += chunk
            if sent is None and last_count(output) > 0:
                child.send_signal(signal.SIGINT)
                sent = time.monotonic()
        child.kill()
        status = child.wait(10)
        os.close(leader)
        if sent is not None:
            print(f"SIGINT to end of output: {(time.monotonic() - sent) * 1000:.0f} ms")
        self.assertEqual(status, 130)
        self.assertLess(last_count(output), 24, output)
        self.assertIn("durduruldu", output.decode())
        self.assertNotIn("Derleme Skoru", output.decode())


if __name__ == "__main__":
    unittest.main()
