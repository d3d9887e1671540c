#!/usr/bin/env python3
"""The manual pages against the programs' own -h, so that neither drifts: every flag a help
lists is in its section of the page, with its default in its entry; every flag that section's
entries name exists; each admin command has an entry; and the pages and --version carry the
project's version.
    man_flags_test.py VERSION MAN_DIR SCORE_SERVICE CLI [EMULATOR...]"""
import re
import subprocess
import sys

VERSION, MAN_DIR, SERVICE, CLI, *EMULATOR = sys.argv[1:]
FLAG = re.compile(r"(?<![\w-])--?[a-z][a-z-]*")


def listed(*command):
    """The flags a help lists, each with its default if it shows one, and the subcommands."""
    out = subprocess.run([*EMULATOR, *command, "-h"], capture_output=True, text=True,
                         timeout=60, check=True).stdout
    out = re.sub(r"\n {3,}", "  ", out)  # each entry's wrapped help back on its line
    entries = [line[2:].split("  ") for line in out.splitlines() if re.match(r"  \S", line)]
    flags = {flag: re.findall(r"\(default ([^;)]+)", " ".join(entry))
             for entry in entries for flag in FLAG.findall(entry[0])}
    return flags, {entry[0] for entry in entries if entry[0][0] != "-"}


def matches(page, title, flags, commands=None):
    text = open(f"{MAN_DIR}/{page}.1", encoding="utf-8").read()
    assert f'"Benchmark Companion {VERSION}"' in text.split("\n", 1)[0], page
    body = text.split(f".SH {title}\n")[1].split("\n.SH ")[0]
    body = re.sub(r"\\f[BIRP]|\\%", "", body).replace("\\-", "-")
    tags = re.findall(r"^\.TP\n(.*)$", body, re.M)
    named = set(FLAG.findall(body))
    assert flags.keys() <= named, (page, title, flags.keys() - named)
    tagged = {flag for tag in tags for flag in FLAG.findall(tag)}
    assert tagged <= flags.keys(), (page, title, "not in its help:", tagged - flags.keys())
    for entry in body.split(".TP\n")[1:]:
        for flag in FLAG.findall(entry.split("\n")[0]):
            assert all(default in entry for default in flags[flag]), (page, flag, flags[flag])
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
