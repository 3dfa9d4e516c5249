#!/usr/bin/env python3
"""Every text a window passes to tr() has a finished translation.

Usage: check_translations.py TS_FILE SOURCE...
Reads the tr("...") calls of the sources (adjacent literals joined) and the
<source>/<translation> pairs of the Qt Linguist file; prints each text that
has no translation, or an unfinished or empty one, and exits 1 if any.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

CALL = re.compile(r'\btr\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)')
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
ESCAPES = {'\\"': '"', "\\\\": "\\", "\\n": "\n", "\\t": "\t"}


def texts_of(source):
    found = []
    for call in CALL.finditer(source):
        text = "".join(LITERAL.findall(call.group(1)))
        found.append(re.sub(r'\\.', lambda m: ESCAPES.get(m.group(0), m.group(0)), text))
    return found


def main(ts_file, sources):
    translated = {}
    for message in ElementTree.parse(ts_file).iter("message"):
        translation = message.find("translation")
        done = (translation is not None and (translation.text or "").strip()
                and translation.get("type") not in ("unfinished", "obsolete", "vanished"))
        translated[message.findtext("source")] = bool(done)
    missing = []
    for path in sources:
        with open(path, encoding="utf-8") as file:
            for text in texts_of(file.read()):
                if not translated.get(text):
                    missing.append(f"{path}: {text!r}")
    for line in missing:
        print("not translated:", line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
