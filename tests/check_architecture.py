#!/usr/bin/env python3
"""Holds every room's includes to the arrows of docs/architecture.md.

Each row of the rooms table names a room, the Qt it may use (none, Core or
Widgets) and the rooms it may include. A room includes another's header as
"ROOM/header.h"; an include of a room not listed for it, a Qt header in a
Qt-free room, a widget header in a Core room, or a source folder missing
from the table is reported, and the exit status is 1.
"""
import pathlib
import re
import sys

WIDGET_HEADERS = re.compile(
    r"#include\s*<(QtWidgets/|QtCharts/|Q(Widget|Application|MainWindow|Dialog|Label|LineEdit|"
    r"MessageBox|PushButton|Chart\w*|Table\w*|Menu\w*|Splitter|ScrollArea|StatusBar|"
    r"FileDialog|ComboBox|SpinBox|CheckBox|GroupBox|FormLayout|\w*Layout)\b)")
QT_HEADER = re.compile(r"#include\s*<Q")
PROJECT_INCLUDE = re.compile(r'#include\s*"([a-z_]+)/')


def rooms_table(text):
    rooms = {}
    for line in text.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if len(cells) != 4 or not cells[0].startswith("`"):
            continue
        name = cells[0].strip("`")
        allowed = set(re.findall(r"`([a-z_]+)`", cells[3]))
        rooms[name] = (cells[2], allowed)
    return rooms


def main(root):
    root = pathlib.Path(root)
    rooms = rooms_table((root / "docs" / "architecture.md").read_text())
    problems = []
    for folder in sorted(p for p in root.iterdir() if (p / "CMakeLists.txt").exists()):
        if folder.name not in rooms and folder.name not in ("tests", "bench", "packaging"):
            problems.append(f"{folder.name}/ is not in docs/architecture.md")
    for name, (qt, allowed) in rooms.items():
        folder = root / name
        if not folder.is_dir():
            problems.append(f"docs/architecture.md names {name}/, which does not exist")
            continue
        for path in sorted(folder.rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                where = f"{path.relative_to(root)}:{number}"
                included = PROJECT_INCLUDE.match(line)
                if included and included.group(1) in rooms:
                    target = included.group(1)
                    if target != name and target not in allowed:
                        problems.append(f"{where}: {name} may not include {target}")
                if qt == "none" and QT_HEADER.match(line):
                    problems.append(f"{where}: {name} is Qt-free")
                if qt == "Core" and WIDGET_HEADERS.match(line):
                    problems.append(f"{where}: {name} uses no widgets")
    for problem in problems:
        print(problem)
    print(f"{len(rooms)} rooms checked, {len(problems)} problems")
    return 1 if problems else 0


def self_test():
    """The checker on a small tree with one forbidden arrow: it must fail."""
    import tempfile
    with tempfile.TemporaryDirectory() as tree:
        tree = pathlib.Path(tree)
        (tree / "docs").mkdir()
        (tree / "docs" / "architecture.md").write_text(
            "| room | holds | Qt | may include |\n|---|---|---|---|\n"
            "| `low` | a | none | |\n| `high` | b | none | `low` |\n")
        for room, text in (("low", '#include "high/b.h"\n'), ("high", '#include "low/a.h"\n')):
            (tree / room).mkdir()
            (tree / room / "CMakeLists.txt").write_text("")
            (tree / room / "x.cpp").write_text(text)
        return 0 if main(tree) == 1 else 1


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
