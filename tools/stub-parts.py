#!/usr/bin/env python3
"""What each part adds to the stub, from the link map its build writes beside it: bytes
of section contents kept in the image (sections the linker dropped are listed before the
memory map and left out). The rest of the file is the PE headers and each section's
padding.
    tools/stub-parts.py build/win32/app/vopa-stub.map
"""
import collections
import re
import sys

PARTS = [  # (name, test on section and input file), the first that matches
    ("unwind tables (.eh_frame)", lambda sec, obj: sec.startswith(".eh_frame")),
    ("relocations", lambda sec, obj: sec.startswith(".reloc")),
    ("resources (icon, dialog, version, manifest)", lambda sec, obj: sec.startswith(".rsrc")),
    ("the installer's own code and data", lambda sec, obj: "vopa" in obj or obj.endswith(".cpp.obj")),
    ("libstdc++", lambda sec, obj: obj.startswith("libstdc++")),
    ("libuuid (interface IDs)", lambda sec, obj: obj.startswith("libuuid")),
    ("winpthread", lambda sec, obj: "winpthread" in obj),
    ("mingwex (printf)", lambda sec, obj: obj.startswith("libmingwex")),
    ("libgcc's unwinder", lambda sec, obj: obj.startswith("libgcc_eh")),
    ("C runtime start-up (crt2, mingw32, libgcc)",
     lambda sec, obj: obj.startswith(("crt", "libmingw32", "libgcc"))),
    ("msvcrt imports and glue", lambda sec, obj: obj.startswith("libmsvcrt")),
    ("other import tables", lambda sec, obj: obj.startswith("lib")),
]


def main(path):
    lines = open(path, encoding="utf-8", errors="replace").read().splitlines()
    start = next(i for i, line in enumerate(lines) if line.startswith("Linker script and memory map"))
    sizes, pending = collections.Counter(), None
    for line in lines[start:]:
        whole = re.match(r"^ (\.\S+|COMMON)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        named = re.match(r"^ (\.\S+|COMMON)\s*$", line)
        rest = re.match(r"^\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if whole:
            section, size, obj = whole.groups()
        elif named:
            pending = named.group(1)
            continue
        elif rest and pending:
            section, (size, obj) = pending, rest.groups()
        else:
            pending = None
            continue
        pending = None
        # Debug sections are not loaded; .bss takes no bytes of the file.
        if section.startswith((".debug", ".bss")) or section == "COMMON":
            continue
        obj = re.sub(r".*/", "", obj.strip())
        part = next((name for name, test in PARTS if test(section, obj)), "other: " + obj)
        sizes[part] += int(size, 16)
    for name, _ in PARTS:
        print(f"| {name} | {sizes.pop(name, 0):,} |")
    for name, size in sizes.most_common():
        print(f"| {name} | {size:,} |")


if __name__ == "__main__":
    main(sys.argv[1])
