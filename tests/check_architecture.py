#!/usr/bin/env python3
"""Holds every room's includes to the arrows of docs/architecture.md, and
every source to its size.

Each row of the rooms table names a room, the Qt it may use (none, Core or
Widgets) and the rooms it may include. A room includes another's header as
"ROOM/header.h"; an include of a room not listed for it, a Qt header in a
Qt-free room, a widget header in a Core room, or a source folder missing
from the table is reported, and the exit status is 1.

No source (a room's, a test's, a benchmark's) is over 600 lines and no
function over 80, from its opening brace to its closing one, lambdas
within it included; the sizes table ("| `path` | lines |") holds a file to
less. OVERSIZED lists those that are still to be split; one of them that
has come within the limits is reported too, so the list shrinks with the
code.

The panels table ("| `Class` | `stem`, ... | what it shows |") names the
tuning window's panels by their files: a panel's files include neither
tune_window.h nor another panel's files. An arrow of the rooms table that
no include of its room uses is reported too.
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
MAX_FILE_LINES = 600
MAX_FUNCTION_LINES = 80
# Still to be split: "path" for a file, "path: name" for a function.
OVERSIZED: set = set()


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


def cells_of(text, count):
    """The cells of the table rows of `count` cells whose first is code."""
    for line in text.splitlines():
        cells = [c.strip() for c in line.strip().strip("|").split("|")]
        if line.strip().startswith("|") and len(cells) == count and cells[0].startswith("`"):
            yield cells


def panels_table(text):
    """Each panel's file stems (in tuning_window/)."""
    return [set(re.findall(r"`([a-z_]+)`", cells[1])) for cells in cells_of(text, 3)]


def limits_table(text):
    """Each limited file's largest number of lines."""
    return {cells[0].strip("`"): int(cells[1]) for cells in cells_of(text, 2)
            if cells[1].isdigit()}


def panel_problems(root, panels):
    problems = []
    for own in panels:
        others = set().union(*(p for p in panels if p is not own)) | {"tune_window"}
        for stem in sorted(own):
            for suffix in (".h", ".cpp"):
                path = root / "tuning_window" / (stem + suffix)
                if not path.exists():
                    continue
                for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                    included = re.match(r'#include\s*"tuning_window/([a-z_]+)\.h"', line)
                    if included and included.group(1) in others:
                        problems.append(f"tuning_window/{stem}{suffix}:{number}: a panel may "
                                        f"not include {included.group(1)}.h")
    return problems


def code_only(text):
    """The text with comments, string and character literals blanked (the
    lines kept); a digit separator (1'000) is not a quote."""
    pattern = re.compile(r'//[^\n]*|/\*.*?\*/|R"(?P<d>[^(\s]*)\(.*?\)(?P=d)"|"(\\.|[^"\\\n])*"|'
                         r"(?<![0-9A-Fa-f])'(\\.|[^'\\\n])+'", re.S)
    return pattern.sub(lambda m: re.sub(r"[^\n]", " ", m.group(0)), text)


FUNCTION_HEAD = re.compile(r"\)\s*(const|override|noexcept|final|mutable|&|\s)*(->[^;{}]*)?$")


def function_name(head):
    head = re.sub(r"\s+", " ", head)
    test = re.match(r"\s*TEST(_P|_F)?\s*\(\s*\w+\s*,\s*(\w+)", head)
    if test:
        return test.group(2)
    name = re.search(r"(~?[A-Za-z_][\w:~]*)\s*\(", head)
    return name.group(1) if name else "?"


def long_functions(text):
    """(name, first line, lines) of each function over the limit."""
    code = code_only(text)
    found, stack, head_from = [], [], 0
    for at, c in enumerate(code):
        if c == "{":
            head = code[head_from:at].strip()
            inside = any(kind in ("function", "inner") for kind, _, _ in stack)
            scope = re.search(r"\b(namespace|class|struct|enum|union)\b[^()]*$", head)
            kind = "inner" if inside else (
                "function" if not scope and FUNCTION_HEAD.search(head) else "scope")
            stack.append((kind, at, head))
            head_from = at + 1
        elif c == "}":
            if stack:
                kind, start, head = stack.pop()
                if kind == "function":
                    first = code.count("\n", 0, start) + 1
                    lines = code.count("\n", start, at) + 1
                    if lines > MAX_FUNCTION_LINES:
                        found.append((function_name(head), first, lines))
            head_from = at + 1
        elif c == ";":
            head_from = at + 1
    return found


def size_problems(root, folders, limits):
    problems, seen = [], set()
    for folder in folders:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            name = str(path.relative_to(root))
            text = path.read_text(errors="replace")
            lines = text.count("\n")
            if name in limits and lines > limits[name]:
                problems.append(f"{name}: {lines} lines, over its {limits[name]}")
            if lines > MAX_FILE_LINES:
                seen.add(name)
                if name not in OVERSIZED:
                    problems.append(f"{name}: {lines} lines, over {MAX_FILE_LINES}")
            for function, first, length in long_functions(text):
                key = f"{name}: {function}"
                seen.add(key)
                if key not in OVERSIZED:
                    problems.append(f"{name}:{first}: {function} is {length} lines, over "
                                    f"{MAX_FUNCTION_LINES}")
    for key in sorted(OVERSIZED - seen):
        if (root / key.split(":")[0]).exists():
            problems.append(f"{key} is within the limits now: take it off OVERSIZED")
    return problems


def problems_of(root):
    root = pathlib.Path(root)
    table = (root / "docs" / "architecture.md").read_text()
    rooms = rooms_table(table)
    problems = []
    for folder in sorted(p for p in root.iterdir() if (p / "CMakeLists.txt").exists()):
        if folder.name not in rooms and folder.name not in ("tests", "bench", "packaging"):
            problems.append(f"{folder.name}/ is not in docs/architecture.md")
    for name, (qt, allowed) in rooms.items():
        folder = root / name
        if not folder.is_dir():
            problems.append(f"docs/architecture.md names {name}/, which does not exist")
            continue
        used = set()
        for path in sorted(folder.rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            for number, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
                where = f"{path.relative_to(root)}:{number}"
                included = PROJECT_INCLUDE.match(line)
                if included and included.group(1) in rooms:
                    target = included.group(1)
                    used.add(target)
                    if target != name and target not in allowed:
                        problems.append(f"{where}: {name} may not include {target}")
                if qt == "none" and QT_HEADER.match(line):
                    problems.append(f"{where}: {name} is Qt-free")
                if qt == "Core" and WIDGET_HEADERS.match(line):
                    problems.append(f"{where}: {name} uses no widgets")
        for target in sorted(allowed - used):
            problems.append(f"docs/architecture.md: {name} may include {target}, but no "
                            f"include of {name} does")
    sources = [name for name in rooms if (root / name).is_dir()]
    folders = sources + [f for f in ("tests", "bench") if (root / f).is_dir()]
    problems += size_problems(root, folders, limits_table(table))
    problems += panel_problems(root, panels_table(table))
    return rooms, problems


def main(root):
    rooms, problems = problems_of(root)
    for problem in problems:
        print(problem)
    print(f"{len(rooms)} rooms checked, {len(problems)} problems")
    return 1 if problems else 0


def planted(tree, files):
    """A small tree: rooms low and high (high may include low), the
    tuning_window room with two panels and a size limit, `files` written."""
    tree = pathlib.Path(tree)
    (tree / "docs").mkdir(exist_ok=True)
    (tree / "docs" / "architecture.md").write_text(
        "| room | holds | Qt | may include |\n|---|---|---|---|\n"
        "| `low` | a | none | |\n| `high` | b | none | `low` |\n"
        "| `tuning_window` | c | Widgets | |\n\n"
        "| panel | files | shows |\n|---|---|---|\n"
        "| `APanel` | `a_panel` | a |\n| `BPanel` | `b_panel`, `b_bars` | b |\n\n"
        "| file | at most (lines) |\n|---|---|\n| `tuning_window/tune_window.cpp` | 3 |\n")
    for room in ("low", "high", "tuning_window"):
        (tree / room).mkdir(exist_ok=True)
        (tree / room / "CMakeLists.txt").write_text("")
    for name, text in files.items():
        (tree / name).write_text(text)
    return problems_of(tree)[1]


def self_test():
    """The checker on small trees, each with one planted offender that must
    be reported (and a sound tree that must pass): a forbidden arrow, a
    function of 81 lines, an unused arrow, a panel including the window or
    another panel, a file over its line limit."""
    import tempfile
    text = "int f(int x) {\n" + "    x += '{';\n" * 77 + "    return x;\n}\n"
    if long_functions(text) or long_functions(text.replace("return", "x++;\n    return")) != [
            ("f", 1, 81)]:
        return 1
    sound = {"high/x.cpp": '#include "low/a.h"\n',
             "tuning_window/a_panel.cpp": '#include "tuning_window/session.h"\n'
                                          '#include "tuning_window/a_panel.h"\n',
             "tuning_window/b_bars.cpp": '#include "tuning_window/b_panel.h"\n',
             "tuning_window/tune_window.cpp": '#include "tuning_window/a_panel.h"\n'}
    offenders = {
        "low may not include high": {"low/x.cpp": '#include "high/b.h"\n'},
        "high may include low, but no include": {"high/x.cpp": "int x;\n"},
        "a_panel.cpp:1: a panel may not include tune_window.h":
            {"tuning_window/a_panel.cpp": '#include "tuning_window/tune_window.h"\n'},
        "b_bars.cpp:2: a panel may not include a_panel.h":
            {"tuning_window/b_bars.cpp": '#include "tuning_window/b_panel.h"\n'
                                         '#include "tuning_window/a_panel.h"\n'},
        "tune_window.cpp: 4 lines, over its 3":
            {"tuning_window/tune_window.cpp": "int a;\nint b;\nint c;\nint d;\n"},
    }
    with tempfile.TemporaryDirectory() as tree:
        if planted(tree, sound):
            print(f"a sound tree reported: {planted(tree, sound)}")
            return 1
    for expected, files in offenders.items():
        with tempfile.TemporaryDirectory() as tree:
            found = planted(tree, {**sound, **files})
            if not any(expected in problem for problem in found):
                print(f"not reported: {expected}; found {found}")
                return 1
    return 0


if __name__ == "__main__":
    if sys.argv[1:] == ["--self-test"]:
        sys.exit(self_test())
    sys.exit(main(sys.argv[1] if len(sys.argv) > 1 else "."))
