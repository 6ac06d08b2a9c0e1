#!/usr/bin/env python3
"""Doxygen input filter for orv.h: reads the header's plain C comments as
documentation, keeping every line where it is (so warnings name real lines).

usage: doc_comments.py HEADER   (writes the filtered header to stdout)

  - the first comment of the file documents the file;
  - a comment at the start of a line documents what follows it directly; a
    family of macros, or a setter and its getter, that follow without a blank
    line form one member group that shares the comment (any other export
    after the first stays undocumented, which doxygen reports);
  - a comment after code on the same line documents that line's member;
  - divider comments (a line of dashes) stay plain comments.
"""
import re
import sys

OPENER = re.compile(r"^/\*(?!\*)")
DIVIDER = re.compile(r"^/\* -{8,}")
TRAILING = re.compile(r"^(\s*\S.*?\s)/\*(?![*!])(.*)$")
MEMBER = re.compile(r"^(ORV_API\b|#\s*define\b|typedef\b)")
FUNCTION_NAME = re.compile(r"\b(orv_\w+)\s*\(")
CONDITIONAL = re.compile(r"^#\s*(if|ifdef|ifndef|elif|else|endif)\b")


def comment_end(lines, start):
    """Index of the line that closes the comment opened on lines[start]."""
    for i in range(start, len(lines)):
        if "*/" in lines[i]:
            return i
    return len(lines) - 1


def following_run(lines, start):
    """Indexes of the member lines right after a comment, and of the line after
    the run, up to a blank line, a comment or a conditional."""
    members = []
    i = start
    while i < len(lines):
        line = lines[i]
        if not line.strip() or OPENER.match(line) or CONDITIONAL.match(line):
            break
        if MEMBER.match(line):
            members.append(i)
        i += 1
    return members, i


def shares_comment(members):
    """A run shares one comment when it is all macros, or setters each followed
    by its getter (orv_set_<x>, orv_get_<x>); any other export needs its own."""
    if all(line.lstrip().startswith("#") for line in members):
        return True
    names = [FUNCTION_NAME.search(line) for line in members]
    if len(members) % 2 or not all(names):
        return False
    names = [name.group(1) for name in names]
    return all(setter.replace("_set_", "_get_", 1) == getter and setter != getter
               for setter, getter in zip(names[::2], names[1::2]))


def filter_header(text):
    lines = text.split("\n")
    first_comment = True
    closers = []
    i = 0
    while i < len(lines):
        line = lines[i]
        if OPENER.match(line) and not DIVIDER.match(line):
            end = comment_end(lines, i)
            lines[i] = OPENER.sub(r"/** \\file " if first_comment else "/**", line, count=1)
            first_comment = False
            members, after = following_run(lines, end + 1)
            if len(members) > 1 and shares_comment([lines[m] for m in members]):
                lines[members[0]] = "/**@{*/ " + lines[members[0]]
                closers.append(after if after < len(lines) else len(lines) - 1)
            i = end + 1
            continue
        if OPENER.match(line):
            first_comment = False
            i = comment_end(lines, i) + 1
            continue
        match = TRAILING.match(line)
        if match and not line.lstrip().startswith("*"):
            lines[i] = match.group(1) + "/**<" + match.group(2)
        i += 1
    # Added last: a closer may stand before the next comment's opener.
    for line in closers:
        lines[line] = "/**@}*/ " + lines[line]
    return "\n".join(lines)


def main():
    if len(sys.argv) != 2:
        sys.exit(__doc__)
    with open(sys.argv[1], encoding="utf-8") as f:
        sys.stdout.write(filter_header(f.read()))


if __name__ == "__main__":
    main()
