#!/usr/bin/env python3
"""Write Tellurion's pointing-hand link cursor as a Windows .CUR file.

Usage: python3 scripts/make-cursor.py OUT.CUR

The hand is drawn below rather than taken from a theme so the program looks
the same on every desktop and ships no artwork of unknown origin.
"""

import os
import struct
import sys

# '.' transparent, '#' black outline, 'o' white fill, '@' the black pixel
# that is the hot spot: the tip of the index finger, where the click lands.
HAND = """
...........@#...................
..........#oo#..................
..........#oo#..................
..........#oo#..................
..........#oo#..................
..........#oo###................
..........#oo#oo###.............
..........#oo#oo#oo##...........
..........#oo#oo#oo#o#..........
.......##.#oo#oo#oo#oo#.........
......#oo##oooooooo#oo#.........
......#ooo#oooooooooooo#........
.......#oooooooooooooooo#.......
........#ooooooooooooooo#.......
........#oooooooooooooo#........
.........#ooooooooooooo#........
.........#oooooooooooo#.........
..........#ooooooooooo#.........
..........#oooooooooo#..........
...........#ooooooooo#..........
...........#ooooooooo#..........
...........###########..........
................................
................................
................................
................................
................................
................................
................................
................................
................................
................................
"""

SIZE = 32

# BGRA: fully transparent pixels must have alpha 0 so desktops that honour
# the alpha channel show nothing there, not a black square.
COLOURS = {
    ".": (0, 0, 0, 0),
    "#": (0, 0, 0, 255),
    "@": (0, 0, 0, 255),
    "o": (255, 255, 255, 255),
}


def parse_grid(text):
    rows = text.strip("\n").split("\n")
    if len(rows) != SIZE or any(len(r) != SIZE for r in rows):
        raise ValueError(f"hand drawing must be {SIZE}x{SIZE}")
    bad = {c for r in rows for c in r} - COLOURS.keys()
    if bad:
        raise ValueError(f"unknown characters in hand drawing: {sorted(bad)}")
    spots = [(x, y) for y, r in enumerate(rows) for x, c in enumerate(r) if c == "@"]
    if len(spots) != 1:
        raise ValueError("hand drawing must mark exactly one hot spot with '@'")
    return rows, spots[0]


def padded(row_bytes):
    return row_bytes + b"\0" * (-len(row_bytes) % 4)


def cursor_bytes(rows, hotspot):
    # Device-independent bitmaps store rows bottom-up.
    bottom_up = list(reversed(rows))
    xor = b"".join(
        padded(b"".join(bytes(COLOURS[c]) for c in row)) for row in bottom_up
    )
    # In the AND mask a set bit keeps the screen pixel, so transparent pixels
    # are 1 and drawn ones 0; older code paths ignore alpha and use this.
    and_rows = []
    for row in bottom_up:
        bits = bytearray((SIZE + 7) // 8)
        for x, c in enumerate(row):
            if c == ".":
                bits[x // 8] |= 0x80 >> (x % 8)
        and_rows.append(padded(bytes(bits)))
    mask = b"".join(and_rows)

    header = struct.pack(
        "<IiiHHIIiiII",
        40,  # biSize
        SIZE,
        SIZE * 2,  # XOR bitmap and AND mask stacked, as icon resources require
        1,  # planes
        32,  # bits per pixel
        0,  # BI_RGB
        len(xor) + len(mask),
        0,
        0,
        0,
        0,
    )
    image = header + xor + mask
    icondir = struct.pack("<HHH", 0, 2, 1)  # reserved, type 2 = cursor, count
    offset = 6 + 16
    entry = struct.pack(
        "<BBBBHHII", SIZE, SIZE, 0, 0, hotspot[0], hotspot[1], len(image), offset
    )
    return icondir + entry + image


def main(argv):
    if len(argv) != 2:
        print(f"usage: {argv[0]} OUT.CUR", file=sys.stderr)
        return 2
    out = argv[1]
    rows, hotspot = parse_grid(HAND)
    data = cursor_bytes(rows, hotspot)
    tmp = out + ".tmp"
    try:
        with open(tmp, "wb") as f:
            f.write(data)
        os.replace(tmp, out)
    except OSError as e:
        print(f"make-cursor: {out}: {e}", file=sys.stderr)
        return 1
    print(f"make-cursor: wrote {out}, hot spot {hotspot[0]},{hotspot[1]}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
