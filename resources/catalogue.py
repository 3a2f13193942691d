#!/usr/bin/env python3
"""Turns the string table of strings.rc into a C++ table of code page 932
texts, so that host tests read the very texts the program loads."""
import re
import sys


def read_catalogue(rc_path: str, ids_path: str) -> dict[int, str]:
    numbers = {}
    with open(ids_path, encoding="utf-8") as ids:
        for line in ids:
            m = re.match(r"#define\s+(MSG_\w+)\s+(\d+)", line)
            if m:
                numbers[m.group(1)] = int(m.group(2))
    texts = {}
    with open(rc_path, encoding="utf-8") as rc:
        lines = rc.readlines()
    for line in lines:
        m = re.match(r'\s*(MSG_\w+),\s*"(.*)"\s*$', line)
        if m:
            texts[numbers[m.group(1)]] = m.group(2).replace("\\r", "\r").replace("\\n", "\n")
    return texts


def cpp_literal(data: bytes) -> str:
    return '"' + "".join(f"\\x{b:02x}" for b in data) + '"'


if __name__ == "__main__":
    rc_path, ids_path, out_path = sys.argv[1:4]
    texts = read_catalogue(rc_path, ids_path)
    lines = ["// Generated from resources/strings.rc; do not edit.",
             '#include "Catalogue.h"', "",
             "const CatalogueEntry kCatalogue[] = {"]
    for number in sorted(texts):
        lines.append(f"    {{{number}, {cpp_literal(texts[number].encode('cp932'))}}},")
    lines += ["};", "const int kCatalogueSize = sizeof kCatalogue / sizeof kCatalogue[0];", ""]
    with open(out_path, "w", encoding="ascii") as f:
        f.write("\n".join(lines))
