#!/usr/bin/env python3
"""Writes NVEFilter's icons: a white funnel on a blue disc, drawn from plain shapes.

nvefilter.ico holds 32x32 and 16x16 images, small.ico the 16x16 one. Run from any folder;
the files land beside this script. Needs only the Python standard library.
"""

import os
import struct

SUPERSAMPLE = 4
DISC = (0x1E, 0x5A, 0xA8)  # RGB
FUNNEL = (0xFF, 0xFF, 0xFF)


def inside_disc(x, y):
    """Unit coordinates 0..1; the disc fills the square."""
    return (x - 0.5) ** 2 + (y - 0.5) ** 2 <= 0.47 ** 2


def inside_funnel(x, y):
    """A cone from y 0.22 to 0.55 narrowing to a stem down to y 0.80 (y grows downwards)."""
    if 0.22 <= y <= 0.55:
        half = 0.30 - (y - 0.22) / 0.33 * 0.24
        return abs(x - 0.5) <= half
    if 0.55 < y <= 0.80:
        return abs(x - 0.5) <= 0.06
    return False


def pixels(size):
    """Rows top-down of (r, g, b, a), each pixel averaged over SUPERSAMPLE^2 samples."""
    rows = []
    n = SUPERSAMPLE
    for py in range(size):
        row = []
        for px in range(size):
            disc = funnel = 0
            for sy in range(n):
                for sx in range(n):
                    x = (px + (sx + 0.5) / n) / size
                    y = (py + (sy + 0.5) / n) / size
                    if inside_disc(x, y):
                        disc += 1
                        if inside_funnel(x, y):
                            funnel += 1
            total = n * n
            if disc == 0:
                row.append((0, 0, 0, 0))
                continue
            # Colour is the mix inside the disc; alpha is the disc's coverage.
            mix = funnel / disc
            rgb = tuple(round(d + (f - d) * mix) for d, f in zip(DISC, FUNNEL))
            row.append(rgb + (round(255 * disc / total),))
        rows.append(row)
    return rows


def icon_image(size):
    """One icon image: BITMAPINFOHEADER, 32-bit BGRA rows bottom-up, then the AND mask."""
    rows = pixels(size)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    colour = b"".join(
        bytes((b, g, r, a)) for row in reversed(rows) for (r, g, b, a) in row)
    mask_stride = ((size + 31) // 32) * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(mask_stride)
        for x, (_, _, _, a) in enumerate(row):
            if a == 0:  # transparent where nothing is drawn
                line[x // 8] |= 0x80 >> (x % 8)
        mask += line
    return header + colour + bytes(mask)


def write_icon(path, sizes):
    images = [icon_image(s) for s in sizes]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, data in zip(sizes, images):
        out += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    out += b"".join(images)
    with open(path, "wb") as f:
        f.write(out)


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    write_icon(os.path.join(here, "nvefilter.ico"), [32, 16])
    write_icon(os.path.join(here, "small.ico"), [16])


if __name__ == "__main__":
    main()
