#!/usr/bin/env python3
"""Fails when a folder of src/ includes a folder that docs/architecture.md puts above it, or when
platform-free code (anything outside win32/ folders and src/framework, at any depth, such as
src/decode/<format>/) includes Win32 headers or code under a win32/ folder.

The order is read from the document's line "Layers, top to bottom: a, b, c", so the page and
the check cannot drift apart. A folder may include itself and any folder listed after it.
Usage: check_layers.py [REPOSITORY_ROOT]
"""
import pathlib
import re
import sys

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else pathlib.Path(__file__).resolve().parent.parent)
doc = (root / "docs" / "architecture.md").read_text(encoding="utf-8")
match = re.search(r"^Layers, top to bottom: (.+)$", doc, re.MULTILINE)
if not match:
    sys.exit("docs/architecture.md has no line 'Layers, top to bottom: ...'")
order = [name.strip(" `.") for name in match.group(1).split(",")]
rank = {name: i for i, name in enumerate(order)}

src = root / "src"
folders = sorted(p.name for p in src.iterdir() if p.is_dir())
unplaced = [f for f in folders if f not in rank]
faults = [f"src/{f}/ is not in the documented order" for f in unplaced]
include = re.compile(r'^\s*#\s*include\s+"([^"/]+)/')
win32_include = re.compile(r'^\s*#\s*include\s+(<(windows|gdiplus|objidl|shlwapi)\.h>|"[^"]*/win32/)', re.IGNORECASE)
checked = 0
for path in sorted(src.rglob("*")):
    if path.suffix not in (".c", ".cpp", ".h") or not path.is_file():
        continue
    folder = path.relative_to(src).parts[0]
    if folder not in rank:
        continue
    platform_free = "win32" not in path.relative_to(src).parts and folder != "framework"
    for number, line in enumerate(path.read_text(encoding="utf-8", errors="replace").splitlines(), 1):
        if platform_free and win32_include.match(line):
            faults.append(f"{path.relative_to(root)}:{number}: platform-free code includes Win32: {line.strip()}")
        m = include.match(line)
        if not m or m.group(1) not in rank:
            continue
        checked += 1
        if rank[m.group(1)] < rank[folder]:
            faults.append(f"{path.relative_to(root)}:{number}: {folder}/ includes {m.group(1)}/, which lies above it")
for fault in faults:
    print(fault)
print(f"layering: {checked} includes checked across {len(folders)} folders, {len(faults)} faults")
sys.exit(1 if faults else 0)
