#!/usr/bin/env python3
"""Runs every shell example of the documents and holds its output to the lines
shown under it.

An example is a line "$ COMMAND" in an indented or fenced block of a Markdown
document, or between .nf and .fi of a man page (roff escapes read as man shows
them). The lines under it, up to the next "$" line or the block's end, are
what it prints (standard output and standard error together). A line "..."
stands for any lines left out; a note after two blanks in parentheses,
"error 11: Division by zero  (on standard error)", is the document's own and
not compared. The examples of one document run in order in one scratch copy
of the examples folder, so a file one makes is there for the next.

Usage: check_doc_examples.py BIN_DIR EXAMPLES_DIR DOCUMENT...
"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

NOTE = re.compile(r"\s{2,}\([^()]*\)$")
ROFF = [("\\-", "-"), ("\\(aq", "'"), ("\\(dq", '"'), ("\\e", "\\"), ("\\&", ""),
        ("\\(lq", '"'), ("\\(rq", '"'), ("\\(mu", "×"), ("\\(en", "–")]


def markdown_examples(lines):
    """(line number, command, expected lines) of a Markdown document."""
    examples, fenced = [], False
    i = 0
    while i < len(lines):
        line = lines[i]
        if line.strip().startswith("```"):
            fenced = not fenced
            i += 1
            continue
        match = re.match(r"^(\s*)\$ (.*)$", line)
        if not match or (not fenced and len(match.group(1)) < 4):
            i += 1
            continue
        indent, command, start = match.group(1), match.group(2), i
        expected = []
        i += 1
        while i < len(lines):
            here = lines[i]
            if here.strip().startswith("```"):
                break
            if here.strip() and not here.startswith(indent):
                break
            if here.strip() and not fenced and len(here) - len(here.lstrip()) < len(indent):
                break
            if re.match(r"^\s*\$ ", here) and here.startswith(indent + "$"):
                break
            expected.append(here[len(indent):] if here.strip() else "")
            i += 1
        while expected and not expected[-1]:
            expected.pop()
        examples.append((start + 1, command, expected))
    return examples


def roff_text(line):
    for escape, text in ROFF:
        line = line.replace(escape, text)
    return line


def man_examples(lines):
    """(line number, command, expected lines) between .nf and .fi."""
    examples, inside, current = [], False, None
    for number, line in enumerate(lines, 1):
        if line.startswith(".nf"):
            inside = True
            continue
        if line.startswith(".fi"):
            inside, current = False, None
            continue
        if not inside:
            continue
        text = roff_text(line)
        if text.startswith("$ "):
            current = (number, text[2:], [])
            examples.append(current)
        elif current is not None:
            current[2].append(text)
    return examples


def matches(expected, actual):
    """Whether the actual lines are the expected, "..." standing for any run."""
    if not expected:
        return not actual
    if expected[0] == "...":
        return any(matches(expected[1:], actual[k:]) for k in range(len(actual) + 1))
    return bool(actual) and actual[0] == NOTE.sub("", expected[0]).rstrip() and matches(
        expected[1:], actual[1:])


def main():
    bin_dir, examples_dir, documents = sys.argv[1], sys.argv[2], sys.argv[3:]
    env = dict(os.environ, PATH=os.path.abspath(bin_dir) + os.pathsep + os.environ["PATH"],
               LC_ALL="C.UTF-8", COLUMNS="80")
    failures = ran = 0
    for document in documents:
        with open(document, encoding="utf-8") as f:
            lines = f.read().split("\n")
        examples = (man_examples(lines) if re.search(r"\.\d(\.in)?$", document)
                    else markdown_examples(lines))
        with tempfile.TemporaryDirectory() as scratch:
            for name in os.listdir(examples_dir):
                if not name.endswith((".cpp", ".txt")):
                    shutil.copy(os.path.join(examples_dir, name), scratch)
            for number, command, expected in examples:
                ran += 1
                result = subprocess.run(["bash", "-c", command], cwd=scratch, env=env,
                                        stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                        timeout=300)
                actual = result.stdout.decode("utf-8", "replace").split("\n")
                while actual and not actual[-1]:
                    actual.pop()
                if not matches([e.rstrip() for e in expected], [a.rstrip() for a in actual]):
                    failures += 1
                    print(f"FAIL {document}:{number}: $ {command}")
                    print("  shown:\n    " + "\n    ".join(expected))
                    print("  printed:\n    " + "\n    ".join(actual))
    print(f"{ran} examples, {failures} failed")
    return 1 if failures or not ran else 0


if __name__ == "__main__":
    sys.exit(main())
