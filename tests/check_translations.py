#!/usr/bin/env python3
"""Every text a window passes to tr() has a finished translation in the
context Qt looks it up in.

Usage: check_translations.py TS_FILE SOURCE...
Reads the tr("...") calls of the sources (adjacent literals joined) and the
<context>/<source>/<translation> of the Qt Linguist file; prints each text
that has no translation in its context, or an unfinished or empty one, and
exits 1 if any. A call's context is the class it names (Panel::tr) or else
the class of the member function it is in (the last definition
"... Class::function(" at the start of a line before it), in namespace
varnel; a QCoreApplication::translate("context", "text") call, or a
QT_TRANSLATE_NOOP("context", "text") in a table, names its own.
"""
import re
import sys
import xml.etree.ElementTree as ElementTree

CALL = re.compile(r'\btr\(\s*((?:"(?:[^"\\]|\\.)*"\s*)+)')
LITERAL = re.compile(r'"((?:[^"\\]|\\.)*)"')
ESCAPES = {'\\"': '"', "\\\\": "\\", "\\n": "\n", "\\t": "\t"}


DEFINITION = re.compile(r'^(?:[A-Za-z][^\n;(]*?[\s*&])?([A-Z]\w*)::~?\w+\(', re.MULTILINE)
TRANSLATE = re.compile(
    r'\b(?:translate|QT_TRANSLATE_NOOP)\(\s*"([^"]+)"\s*,\s*((?:"(?:[^"\\]|\\.)*"\s*)+)')
NAMED = re.compile(r'\b([A-Z]\w*)::tr\(\s*$')


def texts_of(source):
    """(context, text) of every tr() call."""
    definitions = [(m.start(), m.group(1)) for m in DEFINITION.finditer(source)]
    found = []
    for call in CALL.finditer(source):
        text = "".join(LITERAL.findall(call.group(1)))
        text = re.sub(r'\\.', lambda m: ESCAPES.get(m.group(0), m.group(0)), text)
        named = NAMED.search(source[max(0, call.start() - 60):call.start() + 3])
        enclosing = [name for start, name in definitions if start < call.start()]
        owner = named.group(1) if named else (enclosing[-1] if enclosing else "")
        # Qt's own classes have their contexts outside the namespace.
        found.append((owner if re.match(r"Q[A-Z]", owner) else "varnel::" + owner, text))
    # QCoreApplication::translate("context", "text"): its context as named.
    for call in TRANSLATE.finditer(source):
        text = "".join(LITERAL.findall(call.group(2)))
        text = re.sub(r'\\.', lambda m: ESCAPES.get(m.group(0), m.group(0)), text)
        found.append((call.group(1), text))
    return found


def main(ts_file, sources):
    translated = {}
    for context in ElementTree.parse(ts_file).iter("context"):
        name = context.findtext("name")
        for message in context.iter("message"):
            translation = message.find("translation")
            done = (translation is not None and (translation.text or "").strip()
                    and translation.get("type") not in ("unfinished", "obsolete", "vanished"))
            translated[(name, message.findtext("source"))] = bool(done)
    missing = []
    for path in sources:
        with open(path, encoding="utf-8") as file:
            for context, text in texts_of(file.read()):
                if not translated.get((context, text)):
                    missing.append(f"{path}: {context}: {text!r}")
    for line in missing:
        print("not translated:", line)
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1], sys.argv[2:]))
