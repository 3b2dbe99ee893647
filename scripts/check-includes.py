#!/usr/bin/env python3
"""Holds every #include of the program to the floor plan in docs/architecture.md.

The plan is the table between "<!-- floors: begin -->" and "<!-- floors: end -->": one row a
folder, top floor first, with the folders it may include. A file may include its own folder
(subfolders such as platform/posix/ belong to theirs) and the folders its row names; anything
else points upward or sideways, and is named here. A row may name only folders below it, so the
plan itself cannot hold a loop. Files in src/ must stand in a listed folder; tools/, bench/ and
fuzz/ are checked when the plan has a row for them. Includes that are not the program's own
(the system, Qt, the tests' support) are not the plan's business.

    scripts/check-includes.py [--plan docs/architecture.md] [--root .]
Exits 1 naming each include out of plan, 2 when the plan cannot be read.
"""
import argparse
import pathlib
import re
import sys

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCES = {".h", ".hpp", ".cpp", ".cc"}


def read_plan(path):
    text = path.read_text(encoding="utf-8")
    match = re.search(r"<!-- floors: begin -->(.*?)<!-- floors: end -->", text, re.S)
    if not match:
        raise ValueError(f"{path}: no floor plan between the floors markers")
    plan = []  # (folder, allowed), top floor first
    for line in match.group(1).splitlines():
        cells = [cell.strip() for cell in line.strip().strip("|").split("|")]
        if len(cells) < 2 or not cells[0].startswith("`"):
            continue
        folder = cells[0].strip("`").rstrip("/")
        allowed = [name.rstrip("/") for name in re.findall(r"`([^`]+)`", cells[-1])]
        plan.append((folder, allowed))
    if not plan:
        raise ValueError(f"{path}: the floor plan has no rows")
    order = {folder: index for index, (folder, _) in enumerate(plan)}
    for folder, allowed in plan:
        for name in allowed:
            if name not in order:
                raise ValueError(f"{path}: {folder} may include {name}, which has no row")
            if order[name] <= order[folder]:
                raise ValueError(f"{path}: {folder} may include {name}, which is not below it")
    return plan


def folder_of(relative, folders):
    """The listed folder a path (relative to src/ or to the root) stands in: the longest match."""
    best = None
    for folder in folders:
        if relative == folder or relative.startswith(folder + "/"):
            if best is None or len(folder) > len(best):
                best = folder
    return best


def check(root, plan):
    folders = [folder for folder, _ in plan]
    allowed = {folder: set(names) for folder, names in plan}
    src = root / "src"
    problems, pairs = [], set()
    files = [p for p in sorted(src.rglob("*")) if p.suffix in SOURCES]
    for extra in ("tools", "bench", "fuzz"):
        if extra in allowed:
            files += [p for p in sorted((root / extra).rglob("*")) if p.suffix in SOURCES]
    for path in files:
        in_src = path.is_relative_to(src)
        relative = path.relative_to(src if in_src else root).as_posix()
        home = folder_of(relative, folders)
        if home is None:
            problems.append(f"{path.relative_to(root)}: its folder has no row in the floor plan")
            continue
        for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = match.group(1)
            if (path.parent / name).exists() and not (src / name).exists():
                continue  # beside the file: its own folder
            if not (src / name).exists():
                continue  # not the program's own
            target = folder_of(name, folders)
            if target is None:
                problems.append(f"{path.relative_to(root)}:{number}: includes \"{name}\", "
                                "whose folder has no row in the floor plan")
            elif target != home and target not in allowed[home]:
                pairs.add((home, target))
                problems.append(f"{path.relative_to(root)}:{number}: includes \"{name}\": "
                                f"{home} may not include {target}")
    return problems, pairs


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--root", type=pathlib.Path,
                        default=pathlib.Path(__file__).resolve().parent.parent)
    parser.add_argument("--plan", type=pathlib.Path, help="default: ROOT/docs/architecture.md")
    arguments = parser.parse_args()
    root = arguments.root.resolve()
    try:
        plan = read_plan(arguments.plan or root / "docs" / "architecture.md")
    except (OSError, ValueError) as error:
        print(f"check-includes: {error}", file=sys.stderr)
        return 2
    problems, pairs = check(root, plan)
    for problem in problems:
        print(problem, file=sys.stderr)
    if problems:
        print(f"check-includes: {len(problems)} includes out of plan, {len(pairs)} folder pairs: "
              + ", ".join(f"{a} -> {b}" for a, b in sorted(pairs)), file=sys.stderr)
        return 1
    print(f"check-includes: every include follows the floor plan ({len(plan)} folders)")
    return 0


if __name__ == "__main__":
    sys.exit(main())
