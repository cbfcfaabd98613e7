#!/usr/bin/env python3
"""Draws the module's two 16x16, 16-colour icons into resources/.

module.ico: a list with a black and a white row (the module's list).
editor.ico: the same list with a pencil (the editor's window icon).
Run again after changing a picture; the .ico files are committed.
"""
import struct
import sys
from pathlib import Path

# The standard 16-colour palette (B, G, R, 0).
PALETTE = [
    (0, 0, 0), (0, 0, 128), (0, 128, 0), (0, 128, 128), (128, 0, 0), (128, 0, 128),
    (128, 128, 0), (192, 192, 192), (128, 128, 128), (0, 0, 255), (0, 255, 0),
    (0, 255, 255), (255, 0, 0), (255, 0, 255), (255, 255, 0), (255, 255, 255),
]
# Picture characters to palette indexes; '.' is transparent.
COLOURS = {'k': 0, 'g': 8, 's': 7, 'w': 15, 'r': 9, 'y': 11, 'b': 12}

MODULE = [
    "................",
    ".kkkkkkkkkkkkkk.",
    ".kwwwwwwwwwwwwk.",
    ".kwkkkkkkkkkkwk.",
    ".kwkkkkkkkkkkwk.",
    ".kwwwwwwwwwwwwk.",
    ".kwsssssssssswk.",
    ".kwwwwwwwwwwwwk.",
    ".kwkkkkkkkkkkwk.",
    ".kwkkkkkkkkkkwk.",
    ".kwwwwwwwwwwwwk.",
    ".kwsssssssssswk.",
    ".kwwwwwwwwwwwwk.",
    ".kwwwwwwwwwwwwk.",
    ".kkkkkkkkkkkkkk.",
    "................",
]
EDITOR = [
    "................",
    ".kkkkkkkkkkk....",
    ".kwwwwwwwwwk....",
    ".kwkkkkkkkwk..r.",
    ".kwkkkkkkkwk.rrr",
    ".kwwwwwwwwwkyyr.",
    ".kwsssssssykyy..",
    ".kwwwwwwwyyyy...",
    ".kwkkkkkyyyy....",
    ".kwkkkkyyyy.....",
    ".kwwwwwyyy......",
    ".kwsssbby.......",
    ".kwwwwbbk.......",
    ".kwwwwwwk.......",
    ".kkkkkkkk.......",
    "................",
]


def ico(picture):
    rows = list(reversed(picture))  # DIBs are stored bottom-up
    xor = b''.join(
        bytes((COLOURS.get(r[x], 0) << 4) | COLOURS.get(r[x + 1], 0) for x in range(0, 16, 2))
        for r in rows)
    mask = b''.join(
        struct.pack('>H', sum(1 << (15 - x) for x in range(16) if r[x] == '.')) + b'\0\0'
        for r in rows)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (b, g, r) in PALETTE)
    header = struct.pack('<IiiHHIIiiII', 40, 16, 32, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette + xor + mask
    directory = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 16, 16, 16, 0, 1, 4, len(image), 6 + 16)
    return directory + entry + image


def main():
    out = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).parent.parent / 'resources')
    (out / 'module.ico').write_bytes(ico(MODULE))
    (out / 'editor.ico').write_bytes(ico(EDITOR))


if __name__ == '__main__':
    main()
