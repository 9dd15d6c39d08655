#!/usr/bin/env python3
"""Stores the images of an icon file of 32 x 32 pixels and more as PNG, recompressed with zopflipng, without loss
(ImageMagick for the bitmap ones); the smaller ones stay bitmaps. Every Windows this program runs on reads PNG
images in icons.
Usage: recompress-icon.py <file.ico>"""
import os
import struct
import subprocess
import sys
import tempfile

PNG_SIGNATURE = b"\x89PNG\r\n\x1a\n"


def main():
    path = sys.argv[1]
    data = open(path, "rb").read()
    reserved, kind, count = struct.unpack("<HHH", data[:6])
    entries = []
    for index in range(count):
        fields = list(struct.unpack("<BBBBHHII", data[6 + 16 * index:22 + 16 * index]))
        size, offset = fields[6], fields[7]
        image = data[offset:offset + size]
        width = fields[0] or 256
        if image.startswith(PNG_SIGNATURE) or width >= 32:
            with tempfile.TemporaryDirectory() as work:
                source, target = os.path.join(work, "in.png"), os.path.join(work, "out.png")
                if image.startswith(PNG_SIGNATURE):
                    open(source, "wb").write(image)
                else:
                    subprocess.run(["convert", f"{path}[{index}]", "-define", "png:color-type=6", source], check=True)
                    image = b""
                subprocess.run(["zopflipng", "-m", "-y", source, target], check=True, capture_output=True)
                smaller = open(target, "rb").read()
                if not image or len(smaller) < len(image):
                    image = smaller
        entries.append((fields, image))
    out = bytearray(struct.pack("<HHH", reserved, kind, count))
    offset = 6 + 16 * count
    for fields, image in entries:
        fields[6], fields[7] = len(image), offset
        out += struct.pack("<BBBBHHII", *fields)
        offset += len(image)
    for _, image in entries:
        out += image
    open(path, "wb").write(out)


if __name__ == "__main__":
    main()
