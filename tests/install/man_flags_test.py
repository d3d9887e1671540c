#!/usr/bin/env python3
"""The manual pages against the programs' own --help, so that neither drifts: every flag a
--help lists is in its section of the page, every flag that section's entries name exists,
every admin command has an entry, and each page and --version carry the project's version.
    man_flags_test.py VERSION MAN_DIR SCORE_SERVICE CLI [EMULATOR...]"""
import re
import subprocess
import sys

VERSION, MAN_DIR, SERVICE, CLI, *EMULATOR = sys.argv[1:]
FLAG = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")


def run(*command):
    done = subprocess.run([*EMULATOR, *command], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, (command, done)
    return done.stdout


def listed(*command):
    """The flags and the subcommands a --help lists: each entry's first column."""
    entries = [line[2:].split("  ")[0] for line in run(*command, "--help").splitlines()
               if line.startswith("  ") and not line.startswith("   ")]
    return ({flag for entry in entries for flag in FLAG.findall(entry)},
            {entry for entry in entries if not entry.startswith("-")})


def section(page, title):
    """(the entries' tag lines, the whole text) of one .SH section, escapes undone."""
    text = open(f"{MAN_DIR}/{page}.1", encoding="utf-8").read()
    assert f'"Benchmark Companion {VERSION}"' in text.split("\n", 1)[0], (page, VERSION)
    body = re.sub(r"\\f[BIRP]|\\%", "", text.split(f".SH {title}\n")[1].split("\n.SH ")[0])
    body = body.replace("\\-", "-")
    return re.findall(r"^\.TP\n(.*)$", body, re.M), body


def matches(page, title, flags, commands=None):
    tags, body = section(page, title)
    tagged = {flag for tag in tags for flag in FLAG.findall(tag)}
    assert flags <= set(FLAG.findall(body)), (page, title, flags - set(FLAG.findall(body)))
    assert tagged <= flags, (page, title, "not in --help:", tagged - flags)
    heads = {tag.split()[1] for tag in tags}  # each entry's first word after its font macro
    assert commands is None or heads == commands, (page, commands, heads)


for name, binary in (("score-service", SERVICE), ("benchmark-companion-cli", CLI)):
    assert run(binary, "--version") == f"{name} {VERSION}\n"
    matches(name, "OPTIONS", listed(binary)[0])
admin_flags, commands = listed(SERVICE, "admin")
for command in commands:
    admin_flags |= listed(SERVICE, "admin", command)[0]
matches("score-service", "OPERATOR COMMANDS", admin_flags, commands)
print("the manual pages name every flag the programs take, and no other")
