#!/usr/bin/env python3
"""Writes the Debian package's changelog from CHANGELOG.md.

    changelog.py CHANGELOG.md VERSION MAINTAINER OUTPUT

A package whose version has no Debian revision carries its changelog as
/usr/share/doc/<package>/changelog.gz, in the Debian changelog form. Each
release of CHANGELOG.md becomes one entry; its groups (Added, Changed, Fixed)
become items with their entries below them. The newest release must be
VERSION, so that a release cannot ship with a stale changelog.
"""

import datetime
import re
import sys
import textwrap

PACKAGE = "quillhaven"
WIDTH = 78  # Debian's tools warn above 80 columns.

RELEASE = re.compile(r"^## \[(?P<version>[^\]]+)\](?: - (?P<date>\d{4}-\d{2}-\d{2}))?\s*$")
GROUP = re.compile(r"^### (?P<name>.+?)\s*$")
ITEM = re.compile(r"^- (?P<text>.*)$")


def read_releases(text):
    """Returns [(version, date, paragraphs, [(group, [entry])])], newest first.
    Text before the first release, [Unreleased] and HTML comments are left out."""
    text = re.sub(r"<!--.*?-->", "", text, flags=re.S)
    releases = []
    release = None
    lines = None  # where the current text goes: a paragraph or an entry
    for line in text.splitlines():
        if line.startswith("## "):
            match = RELEASE.match(line)
            if not match:
                sys.exit(f"CHANGELOG.md: a release heading of another form: {line}")
            release = None
            if match["version"] != "Unreleased":
                if not match["date"]:
                    sys.exit(f"CHANGELOG.md: release {match['version']} has no date")
                release = (match["version"], match["date"], [], [])
                releases.append(release)
            lines = None
        elif release is None:
            continue
        elif match := GROUP.match(line):
            release[3].append((match["name"], []))
            lines = None
        elif match := ITEM.match(line):
            lines = [match["text"]]
            if release[3]:
                release[3][-1][1].append(lines)
            else:
                release[2].append(lines)
        elif not line.strip():
            lines = None
        elif lines is not None:
            lines.append(line.strip())
        else:
            lines = [line.strip()]
            release[2].append(lines)
    return releases


def wrap(words, first, rest):
    return textwrap.fill(" ".join(words), WIDTH, initial_indent=first, subsequent_indent=rest,
                         break_long_words=False, break_on_hyphens=False)


def entry(version, when, paragraphs, groups, maintainer):
    body = [wrap(p, "  * ", "    ") for p in paragraphs]
    for name, entries in groups:
        if entries:
            body.append(f"  * {name}:")
            body.extend(wrap(e, "    - ", "      ") for e in entries)
    if not body:
        sys.exit(f"CHANGELOG.md: release {version} says nothing")
    stamp = when.strftime("%a, %d %b %Y %H:%M:%S +0000")
    return (f"{PACKAGE} ({version}) unstable; urgency=medium\n\n" + "\n".join(body) +
            f"\n\n -- {maintainer}  {stamp}\n")


def main():
    source, version, maintainer, output = sys.argv[1:]
    with open(source, encoding="utf-8") as f:
        releases = read_releases(f.read())
    if not releases or releases[0][0] != version:
        newest = releases[0][0] if releases else "none"
        sys.exit(f"CHANGELOG.md: the newest release is {newest}, the project's version {version}")
    # Debian orders entries by their time, CHANGELOG.md gives days only:
    # releases of one day are a minute apart, the older first.
    times = []
    for _, date, _, _ in reversed(releases):
        when = datetime.datetime.fromisoformat(date + "T12:00:00")
        if times and when <= times[-1]:
            when = times[-1] + datetime.timedelta(minutes=1)
        times.append(when)
    times.reverse()
    entries = [entry(v, when, p, g, maintainer) for (v, _, p, g), when in zip(releases, times)]
    with open(output, "w", encoding="utf-8") as f:
        f.write("\n".join(entries))


if __name__ == "__main__":
    main()
