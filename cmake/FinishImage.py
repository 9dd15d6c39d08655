#!/usr/bin/env python3
"""Finishes the linked installer, before it is signed: what this linker leaves undone or leaves to the clock.

- The load configuration's directory entry: Windows reads the dependent-load flags of app/main.cpp's
  `_load_config_used` only through it, and this linker fills it for no symbol.
- The link time stamp: the commit's time (SOURCE_DATE_EPOCH when set, 0 outside a git checkout), so that two
  builds of one commit give the same bytes wherever they are made.
- The header checksum, recomputed over the result.
Prints the image's SHA-256, which a publisher compares with the one the source gives before signing.

usage: FinishImage.py IMAGE MAP SOURCE_DIR
       FinishImage.py --check IMAGE SOURCE_DIR FORBIDDEN...   (the build test: exits 1 with what is wrong)
"""
import hashlib
import os
import re
import struct
import subprocess
import sys

IMPORT_ENTRY = 1
LOAD_CONFIG_ENTRY = 10
# What Windows maps from its known-library list or, for the common controls, the side-by-side store: never looked
# for beside the program. Every other library is delay-loaded from System32.
KNOWN_IMPORTS = {"advapi32.dll", "comctl32.dll", "gdi32.dll", "kernel32.dll", "msvcrt.dll", "shlwapi.dll",
                 "user32.dll"}
LOAD_LIBRARY_SEARCH_SYSTEM32 = 0x800


class Image:
    def __init__(self, data):
        self.data = bytearray(data)
        self.pe = struct.unpack_from("<I", self.data, 0x3C)[0]
        if self.data[self.pe:self.pe + 4] != b"PE\0\0":
            raise SystemExit("FinishImage: not a PE image")
        self.optional = self.pe + 24
        magic = struct.unpack_from("<H", self.data, self.optional)[0]
        self.wide = magic == 0x20B
        self.image_base = (struct.unpack_from("<Q", self.data, self.optional + 24)[0] if self.wide else
                           struct.unpack_from("<I", self.data, self.optional + 28)[0])
        self.directories = self.optional + (112 if self.wide else 96)
        self.checksum_offset = self.optional + 64
        sections = struct.unpack_from("<H", self.data, self.pe + 6)[0]
        first = self.optional + struct.unpack_from("<H", self.data, self.pe + 20)[0]
        self.sections = []
        for index in range(sections):
            at = first + 40 * index
            virtual_size, rva, raw_size, raw_offset = struct.unpack_from("<IIII", self.data, at + 8)
            self.sections.append((rva, max(virtual_size, raw_size), raw_offset))

    def offset_of(self, rva):
        for start, size, raw in self.sections:
            if start <= rva < start + size:
                return raw + rva - start
        raise SystemExit("FinishImage: address 0x%x is in no section" % rva)

    @property
    def time_stamp(self):
        return struct.unpack_from("<I", self.data, self.pe + 8)[0]

    @time_stamp.setter
    def time_stamp(self, value):
        struct.pack_into("<I", self.data, self.pe + 8, value)

    def directory(self, entry):
        return struct.unpack_from("<II", self.data, self.directories + 8 * entry)

    def set_directory(self, entry, rva, size):
        struct.pack_into("<II", self.data, self.directories + 8 * entry, rva, size)

    def computed_checksum(self):
        data = bytes(self.data[:self.checksum_offset]) + b"\0\0\0\0" + bytes(self.data[self.checksum_offset + 4:])
        if len(data) % 2:
            data += b"\0"
        total = sum(struct.unpack("<%dH" % (len(data) // 2), data))
        while total >> 16:
            total = (total & 0xFFFF) + (total >> 16)
        return total + len(self.data)

    @property
    def checksum(self):
        return struct.unpack_from("<I", self.data, self.checksum_offset)[0]

    def update_checksum(self):
        struct.pack_into("<I", self.data, self.checksum_offset, self.computed_checksum())

    def dependent_load_flags(self):
        rva, size = self.directory(LOAD_CONFIG_ENTRY)
        if rva == 0 or size < 56:
            return None
        return struct.unpack_from("<H", self.data, self.offset_of(rva) + 54)[0]


def imported_libraries(image):
    rva, _ = image.directory(IMPORT_ENTRY)
    names = []
    at = image.offset_of(rva) if rva else None
    while at is not None:
        name_rva = struct.unpack_from("<I", image.data, at + 12)[0]
        if name_rva == 0:
            break
        start = image.offset_of(name_rva)
        names.append(bytes(image.data[start:image.data.index(b"\0", start)]).decode("ascii", "replace").lower())
        at += 20
    return names


def commit_time(source):
    epoch = os.environ.get("SOURCE_DATE_EPOCH")
    if epoch:
        return int(epoch)
    try:
        output = subprocess.run(["git", "-C", source, "log", "-1", "--format=%ct"], capture_output=True, text=True,
                                check=True).stdout.strip()
        return int(output)
    except (OSError, subprocess.CalledProcessError, ValueError):
        return 0


def load_config_address(map_path):
    with open(map_path, encoding="utf-8", errors="replace") as lines:
        for line in lines:
            found = re.match(r"\s+0x([0-9a-fA-F]+)\s+_load_config_used\s*$", line)
            if found:
                return int(found.group(1), 16)
    raise SystemExit("FinishImage: the map names no _load_config_used")


def finish(image_path, map_path, source):
    with open(image_path, "rb") as file:
        image = Image(file.read())
    rva = load_config_address(map_path) - image.image_base
    size = struct.unpack_from("<I", image.data, image.offset_of(rva))[0]
    image.set_directory(LOAD_CONFIG_ENTRY, rva, size)
    image.time_stamp = commit_time(source)
    image.update_checksum()
    with open(image_path, "wb") as file:
        file.write(image.data)
    print("%s SHA-256 %s" % (os.path.basename(image_path), hashlib.sha256(image.data).hexdigest()))


def check(image_path, source, forbidden):
    with open(image_path, "rb") as file:
        image = Image(file.read())
    faults = []
    expected = commit_time(source)
    if image.time_stamp != expected:
        faults.append("link time stamp %d, not the commit's %d" % (image.time_stamp, expected))
    if image.checksum != image.computed_checksum():
        faults.append("header checksum 0x%x, not 0x%x" % (image.checksum, image.computed_checksum()))
    flags = image.dependent_load_flags()
    if flags != LOAD_LIBRARY_SEARCH_SYSTEM32:
        faults.append("dependent-load flags %s, not System32 alone" % (None if flags is None else hex(flags)))
    for name in imported_libraries(image):
        if name not in KNOWN_IMPORTS:
            faults.append("%s is imported: it would be looked for beside the program" % name)
    lowered = bytes(image.data).lower()
    for text in forbidden:
        for encoded in (text.encode(), text.encode("utf-16-le")):
            if encoded.lower() in lowered:
                faults.append("the build path %s is in the image" % text)
                break
    for fault in faults:
        print("%s: %s" % (image_path, fault))
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) >= 4 and sys.argv[1] == "--check":
        sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4:]))
    if len(sys.argv) != 4:
        raise SystemExit(__doc__)
    finish(sys.argv[1], sys.argv[2], sys.argv[3])
