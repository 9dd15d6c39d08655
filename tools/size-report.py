#!/usr/bin/env python3
"""Prints what the installer's bytes are made of, from the linker's map: each output section, the input files
that contribute most, and the largest single functions and data.
Usage: size-report.py <map file> [count]"""
import collections
import re
import subprocess
import sys


def demangle(names):
    try:
        out = subprocess.run(["c++filt"], input="\n".join(names), capture_output=True, text=True, check=True).stdout
        return out.splitlines()
    except (OSError, subprocess.CalledProcessError):
        return names


def main():
    path = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 25
    output = collections.Counter()
    byFile = collections.Counter()
    bySymbol = collections.Counter()
    section = None
    pending = None
    inMap = False
    for line in open(path, errors="replace"):
        if line.startswith("Linker script and memory map"):
            inMap = True
            continue
        if not inMap:
            continue
        top = re.match(r"^(\.[\w.$]+)\s+0x[0-9a-f]+\s+0x([0-9a-f]+)", line)
        if top:
            section = top.group(1)
            output[section] = int(top.group(2), 16)
            continue
        if re.match(r"^\.[\w.$]+\s*$", line):
            section = line.strip()
            continue
        # An input section: " .text$name  0xaddr  0xsize  file", or its name alone with the rest on the next line.
        named = re.match(r"^ (\.[^\s]+)\s*$", line)
        if named:
            pending = named.group(1)
            continue
        entry = re.match(r"^ (\.[^\s]+)?\s+0x[0-9a-f]+\s+0x([0-9a-f]+)\s+(\S.*)$", line)
        if entry and section in (".text", ".rdata", ".data", ".eh_frame"):
            name = entry.group(1) or pending
            pending = None
            size = int(entry.group(2), 16)
            if size == 0:
                continue
            source = re.sub(r"^.*/", "", entry.group(3).strip())
            if ".ltrans" in source:
                source = "whole program: our code with nlohmann-json and tinyxml2"
            byFile[source] += size
            symbol = re.sub(r"^\.(text|rdata|data|eh_frame)\$?", "", name or "")
            if symbol and section != ".eh_frame":
                bySymbol[(symbol, source)] += size
        else:
            pending = None

    print("output sections (bytes):")
    for name in (".text", ".rdata", ".eh_frame", ".data", ".rsrc", ".reloc", ".idata"):
        if name in output:
            print(f"  {name:10} {output[name]:9,d}")
    print(f"largest input files ({count}), code, constants and unwind tables together:")
    for source, size in byFile.most_common(count):
        print(f"  {size:9,d}  {source}")
    top = bySymbol.most_common(count)
    names = demangle([symbol for (symbol, _), _ in top])
    print(f"largest functions and data ({count}):")
    for ((symbol, source), size), name in zip(top, names):
        print(f"  {size:9,d}  {name[:110]}  [{source}]")


if __name__ == "__main__":
    main()
