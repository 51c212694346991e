#!/usr/bin/env python3
"""Checks that every project include goes down the layers, never up or sideways.

    check-layers.py [ROOT]

The layers, bottom up, are the folders below; a file may include headers of its own layer and
of the layers under it. errors/ and lib/LumLX/ sit side by side: neither includes the other.
In the portable layers only Win32 files (named *Win.cpp or *Win.h) may include the native
headers or the Win32-only layers; and no header anywhere has a Win32-only half (#ifdef _WIN32):
what only Win32 has goes into a header of its own, named *Win.h.
Generated resource string headers (rstr/<Module>.h) count as part of the folder that holds
<Module>.rstr. Prints each offence with file and line and exits with 1 when there is one.
"""

import pathlib
import re
import sys

# (folder, rank, portable). Equal ranks are siblings.
LAYERS = [
    ("toolkit/base", 0, True),
    ("toolkit/res", 1, True),
    ("toolkit/win", 2, False),
    ("toolkit/persist", 3, True),
    ("toolkit/ui", 4, False),
    ("toolkit/data", 5, True),
    ("debuginfo", 6, True),
    ("errors", 7, False),
    ("lib/LumLX", 7, False),
    ("lib/LumTrx", 8, False),
    ("app", 9, False),
]

# The native headers: Win32-only, kept in the base layer for the Win32 files of every layer.
NATIVE_HEADERS = {"toolkit/base/LumWin.h", "toolkit/base/LumHandle.h"}

# What the folders beside the layers may include: the build tools take the formats, the
# component streams and the debug information; the stand-ins only the native headers.
BESIDES = {
    "tools": 6,
    "standin": 0,
}

INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def layer_of(path):
    for folder, rank, portable in LAYERS:
        if path == folder or path.startswith(folder + "/"):
            return folder, rank, portable
    return None


def rstr_owners(root):
    owners = {}
    for rstr in root.rglob("*.rstr"):
        relative = rstr.relative_to(root).as_posix()
        if relative.startswith(("build/", "tests/")):
            continue
        owners["rstr/" + rstr.stem + ".h"] = relative
    return owners


def is_win32_file(path):
    name = path.rsplit("/", 1)[-1]
    return name.endswith(("Win.cpp", "Win.h")) or path in NATIVE_HEADERS


def offences(root):
    owners = rstr_owners(root)
    found = []
    for source in sorted(root.rglob("*")):
        if source.suffix not in (".h", ".cpp") or not source.is_file():
            continue
        path = source.relative_to(root).as_posix()
        if path.startswith(("build/", "tests/", "bench/", "fuzz/")):
            continue
        own = layer_of(path)
        top = path.split("/", 1)[0]
        text = source.read_text(encoding="utf-8", errors="replace")
        if path.endswith(".h") and not is_win32_file(path):
            for number, line in enumerate(text.splitlines(), 1):
                if re.match(r"^\s*#\s*if(def)?\s+.*_WIN32\b", line):
                    found.append(f"{path}:{number}: a portable header with a Win32-only half")
        for number, line in enumerate(text.splitlines(), 1):
            match = INCLUDE.match(line)
            if not match:
                continue
            name = match.group(1)
            included = owners.get(name, name)
            if included != name:
                name = f"{name} ({included})"
            if included.startswith("tests/"):
                found.append(f"{path}:{number}: product code includes a test header {name}")
                continue
            target = layer_of(included)
            if not target:
                continue
            if own is None:
                limit = BESIDES.get(top)
                if limit is not None and target[1] > limit:
                    found.append(f"{path}:{number}: {top}/ may not include {name}")
                continue
            if target[1] > own[1]:
                found.append(f"{path}:{number}: includes {name} of a higher layer")
            elif target[1] == own[1] and target[0] != own[0]:
                found.append(f"{path}:{number}: includes {name} of a sibling layer")
            elif own[2] and not is_win32_file(path) and (
                included in NATIVE_HEADERS or not target[2]
            ):
                found.append(f"{path}:{number}: a portable file includes the Win32 {name}")
    return found


def main():
    root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".").resolve()
    found = offences(root)
    for offence in found:
        print(offence)
    if found:
        print(f"{len(found)} include(s) against the layers")
        return 1
    print("layers: every include goes down")
    return 0


if __name__ == "__main__":
    sys.exit(main())
