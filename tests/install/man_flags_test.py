#!/usr/bin/env python3
"""The manual pages against the programs' own -h, so that neither drifts: every flag a help
lists is in its section of the page, every flag that section's entries name exists, each admin
command has an entry, and the pages and --version carry the project's version.
    man_flags_test.py VERSION MAN_DIR SCORE_SERVICE CLI [EMULATOR...]"""
import re
import subprocess
import sys

VERSION, MAN_DIR, SERVICE, CLI, *EMULATOR = sys.argv[1:]
FLAG = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")


def listed(*command):
    """The flags and the subcommands a help lists: each entry's first column."""
    out = subprocess.run([*EMULATOR, *command, "-h"], capture_output=True, text=True,
                         timeout=60, check=True).stdout
    entries = [line[2:].split("  ")[0] for line in out.splitlines() if re.match(r"  \S", line)]
    return {f for e in entries for f in FLAG.findall(e)}, {e for e in entries if e[0] != "-"}


def matches(page, title, flags, commands=None):
    text = open(f"{MAN_DIR}/{page}.1", encoding="utf-8").read()
    assert f'"Benchmark Companion {VERSION}"' in text.split("\n", 1)[0], page
    body = text.split(f".SH {title}\n")[1].split("\n.SH ")[0]
    body = re.sub(r"\\f[BIRP]|\\%", "", body).replace("\\-", "-")
    tags = re.findall(r"^\.TP\n(.*)$", body, re.M)
    assert flags <= set(FLAG.findall(body)), (page, title, flags - set(FLAG.findall(body)))
    tagged = {flag for tag in tags for flag in FLAG.findall(tag)}
    assert tagged <= flags, (page, title, "not in its help:", tagged - flags)
    assert commands in (None, {tag.split()[1] for tag in tags}), (page, commands, tags)


for name, binary in (("score-service", SERVICE), ("benchmark-companion-cli", CLI)):
    version = subprocess.run([*EMULATOR, binary, "--version"], capture_output=True, text=True,
                             timeout=60)
    assert version.stdout == f"{name} {VERSION}\n" and version.returncode == 0, version
    matches(name, "OPTIONS", listed(binary)[0])
flags, commands = listed(SERVICE, "admin")
for command in commands:
    flags |= listed(SERVICE, "admin", command)[0]
matches("score-service", "OPERATOR COMMANDS", flags, commands)
print("the manual pages name every flag the programs take, and no other")
