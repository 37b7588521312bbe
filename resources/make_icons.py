#!/usr/bin/env python3
"""Draws Quenfold's icons and writes them as 256-colour .ico files.

The directory icon is a teal folder whose face carries the lines of a list: a
folder folded flat. Teal keeps it apart from the host's yellow folders, since
the plugin's directory entries stand among files. With --png DIR the icons are
also written as enlarged PNG previews.

Usage: make_icons.py [OUTPUT_DIR] [--png DIR]
"""
import struct
import sys
import zlib
from pathlib import Path

PALETTE = {
    "clear": (0, 0, 0),
    "outline": (16, 74, 84),
    "back": (38, 140, 150),
    "front": (64, 182, 190),
    "light": (140, 222, 226),
    "paper": (250, 250, 244),
    "ink": (16, 74, 84),
    "accent": (240, 150, 40),
}
NAMES = list(PALETTE)


def folder(size):
    """Returns rows of palette names for a size x size folder icon, drawn on a
    16-pixel grid and scaled by whole pixels so that both sizes stay crisp."""
    s = size // 16
    grid = [["clear"] * size for _ in range(size)]

    def box(x0, y0, x1, y1, colour):
        for y in range(y0 * s, y1 * s):
            for x in range(x0 * s, x1 * s):
                grid[y][x] = colour

    box(1, 2, 7, 4, "outline")    # tab
    box(2, 3, 6, 4, "back")
    box(0, 4, 16, 15, "outline")  # body
    box(1, 5, 15, 14, "back")
    box(1, 7, 15, 14, "front")    # face
    box(1, 7, 15, 8, "light")
    # The flat list on the face: a marker and a line per entry.
    for row in (9, 11, 13):
        box(3, row, 5, row + 1, "accent")
        box(6, row, 13, row + 1, "paper")
    return grid


def ico(grid):
    """Encodes one 8-bit image with a 256-entry palette and its AND mask."""
    size = len(grid)
    palette = b"".join(bytes((b, g, r, 0)) for (r, g, b) in PALETTE.values())
    palette += b"\0" * (1024 - len(palette))
    xor_stride = (size + 3) & ~3
    and_stride = ((size + 31) // 32) * 4
    xor_rows, and_rows = [], []
    for row in reversed(grid):  # bottom-up
        xor_rows.append(bytes(NAMES.index(c) for c in row) + b"\0" * (xor_stride - size))
        bits = bytearray(and_stride)
        for x, c in enumerate(row):
            if c == "clear":
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(bytes(bits))
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 8, 0,
                         xor_stride * size + and_stride * size, 0, 0, 256, 0)
    image = header + palette + b"".join(xor_rows) + b"".join(and_rows)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", size % 256, size % 256, 0, 0, 1, 8, len(image), 6 + 16)
    return directory + entry + image


def png(grid, scale, background=(255, 255, 255)):
    size = len(grid)
    raw = bytearray()
    for row in grid:
        line = bytearray([0])
        for c in row:
            line += bytes(background if c == "clear" else PALETTE[c]) * scale
        raw += bytes(line) * scale
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data))
    ihdr = struct.pack(">IIBBBBB", size * scale, size * scale, 8, 2, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) +
            chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


def main(argv):
    args = list(argv)
    png_dir = None
    if "--png" in args:
        i = args.index("--png")
        png_dir = Path(args[i + 1])
        del args[i:i + 2]
    out = Path(args[0]) if args else Path(__file__).parent
    icons = {"quenfold.ico": 32, "directory16.ico": 16, "directory32.ico": 32}
    for name, size in icons.items():
        (out / name).write_bytes(ico(folder(size)))
    if png_dir:
        png_dir.mkdir(parents=True, exist_ok=True)
        for size in (16, 32):
            (png_dir / f"directory{size}.png").write_bytes(png(folder(size), 256 // size))


if __name__ == "__main__":
    main(sys.argv[1:])
