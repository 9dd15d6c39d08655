#!/usr/bin/env python3
"""Reads Wine's trace of one start of a program (WINEDEBUG=+timestamp,+loaddll,+win) and prints where its time
went until its top-level window was shown: the libraries loaded, the program's own start-up, the display driver,
and each dialog created, in milliseconds from the moment the program's image was mapped.
Usage: startup-trace.py <trace file> <program file name>"""
import re
import sys


def main():
    path, program = sys.argv[1], sys.argv[2].lower()
    thread = start = frame = None
    awaitingFrameHandle = False
    imports, events = [], []
    for line in open(path, errors="replace"):
        m = re.match(r"^(\d+\.\d+):([0-9a-f]+):trace:(\w+):(\S+) (.*)$", line.rstrip("\n"))
        if not m:
            continue
        when, tid, channel, function, rest = float(m.group(1)), m.group(2), m.group(3), m.group(4), m.group(5)
        if thread is None:
            if channel == "loaddll" and program in rest.lower():
                thread, start = tid, when
            continue
        if tid != thread:
            continue
        ms = (when - start) * 1000
        if channel == "loaddll":
            name = re.search(r'L"(?:.*\\)?([^"\\]+)"', rest)
            name = name.group(1) if name else rest
            if events:
                events.append((ms, f"loaded {name}"))
            else:
                imports.append((ms, name))
        elif function == "User32InitializeImmEntryTable" and not events:
            events.append((ms, "program's own start-up done (runtime, static objects, libraries' start-up code)"))
        elif function == "WIN_CreateWindowEx" and "#8002" in rest:
            topLevel = int(re.search(r"parent=([0-9A-Fa-f]+)", rest).group(1), 16) == 0
            if topLevel and frame is None:
                awaitingFrameHandle = True
                events.append((ms, "frame dialog created"))
            elif not topLevel:
                events.append((ms, "page dialog created"))
        elif function == "NtUserCreateWindowEx" and awaitingFrameHandle:
            handle = re.match(r"hwnd (0x[0-9a-f]+) ", rest)
            if handle:
                frame, awaitingFrameHandle = handle.group(1), False
        elif function == "show_window" and frame is not None and rest.startswith(f"hwnd={frame},"):
            events.append((ms, "frame shown"))
            break
    if start is None:
        print("  the program was not found in the trace")
        return
    if imports:
        print(f"  {imports[-1][0]:7.1f} ms           {len(imports)} libraries loaded with the program: "
              + ", ".join(name for _, name in imports))
    previous = imports[-1][0] if imports else 0.0
    for ms, what in events:
        print(f"  {ms:7.1f} ms  (+{ms - previous:5.1f})  {what}")
        previous = ms


if __name__ == "__main__":
    main()
