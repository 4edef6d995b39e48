#!/usr/bin/env python3
"""Draws the programs' icons and the About bitmap as 16-colour images.

Icons 127 (network program), 128 (single-regulator program), 131 and 132 (the
channel monitor's activity indicator: lit and dark) are 32x32, bitmap 500 is
64x64. Run it from anywhere; it writes into resources/images/.
"""
import os
import struct

# The standard 16-colour palette (index: (r, g, b)).
PALETTE = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
BLACK, DRED, DGREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER = range(8)
GREY, RED, GREEN, YELLOW, BLUE, MAGENTA, CYAN, WHITE = range(8, 16)
CLEAR = -1  # transparent pixel of an icon


class Canvas:
    def __init__(self, size, fill=CLEAR):
        self.size = size
        self.px = [[fill] * size for _ in range(size)]

    def set(self, x, y, c):
        if 0 <= x < self.size and 0 <= y < self.size:
            self.px[y][x] = c

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.set(x, y, c)

    def frame(self, x0, y0, x1, y1, c):
        for x in range(x0, x1 + 1):
            self.set(x, y0, c)
            self.set(x, y1, c)
        for y in range(y0, y1 + 1):
            self.set(x0, y, c)
            self.set(x1, y, c)

    def disc(self, cx, cy, r, c, ring=None):
        for y in range(self.size):
            for x in range(self.size):
                d = (x - cx) ** 2 + (y - cy) ** 2
                if d <= r * r:
                    self.set(x, y, c)
                    if ring is not None and d > (r - 1.5) ** 2:
                        self.set(x, y, ring)

    def bowtie(self, cx, cy, h, c, edge):
        """A valve symbol: two triangles meeting at (cx, cy)."""
        for dx in range(-h, h + 1):
            half = abs(dx)
            for dy in range(-half, half + 1):
                self.set(cx + dx, cy + dy, c)
            self.set(cx + dx, cy - half, edge)
            self.set(cx + dx, cy + half, edge)
        for dy in range(-h, h + 1):
            self.set(cx - h, cy + dy, edge)
            self.set(cx + h, cy + dy, edge)


def pack_rows(c, clear_as):
    rows = []
    for y in range(c.size - 1, -1, -1):  # bottom-up
        row = bytearray()
        line = [clear_as if p == CLEAR else p for p in c.px[y]]
        for i in range(0, c.size, 2):
            row.append((line[i] << 4) | line[i + 1])
        while len(row) % 4:
            row.append(0)
        rows.append(bytes(row))
    return b"".join(rows)


def palette_bytes():
    return b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)


def write_ico(path, c):
    n = c.size
    xor = pack_rows(c, BLACK)
    mask = bytearray()
    for y in range(n - 1, -1, -1):
        bits = 0
        row = bytearray()
        for x in range(n):
            bits = (bits << 1) | (1 if c.px[y][x] == CLEAR else 0)
            if x % 8 == 7:
                row.append(bits)
                bits = 0
        while len(row) % 4:
            row.append(0)
        mask += row
    header = struct.pack("<IiiHHIIiiII", 40, n, 2 * n, 1, 4, 0, len(xor) + len(mask), 0, 0, 16, 0)
    image = header + palette_bytes() + xor + bytes(mask)
    with open(path, "wb") as f:
        f.write(struct.pack("<HHH", 0, 1, 1))
        f.write(struct.pack("<BBBBHHII", n, n, 16, 0, 1, 4, len(image), 22))
        f.write(image)


def write_bmp(path, c):
    n = c.size
    pixels = pack_rows(c, SILVER)
    header = struct.pack("<IiiHHIIiiII", 40, n, n, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
    offset = 14 + len(header) + 64
    with open(path, "wb") as f:
        f.write(struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset))
        f.write(header + palette_bytes() + pixels)


def network_icon():
    """Three regulators on one RS-485 line."""
    c = Canvas(32)
    c.rect(2, 22, 29, 24, NAVY)
    for x in (3, 13, 23):
        c.rect(x + 2, 14, x + 3, 21, NAVY)
        c.rect(x, 4, x + 6, 13, TEAL)
        c.frame(x, 4, x + 6, 13, BLACK)
        c.rect(x + 2, 6, x + 4, 8, GREEN)
    return c


def solo_icon():
    """One regulator: a pipe with a valve."""
    c = Canvas(32)
    c.rect(1, 14, 30, 18, GREY)
    c.frame(1, 13, 30, 19, BLACK)
    c.bowtie(16, 16, 8, RED, BLACK)
    c.rect(15, 3, 17, 8, BLACK)
    c.rect(11, 2, 21, 4, DRED)
    return c


def indicator(lit):
    c = Canvas(32)
    if lit:
        c.disc(15.5, 15.5, 12, GREEN, ring=DGREEN)
        c.disc(11.5, 11.5, 3, WHITE)
    else:
        c.disc(15.5, 15.5, 12, GREY, ring=BLACK)
        c.disc(15.5, 15.5, 5, BLACK)
    return c


def about_bitmap():
    """A flow regulator on a gas line with its gauge."""
    c = Canvas(64, SILVER)
    c.rect(0, 36, 63, 45, GREY)
    c.frame(0, 35, 63, 46, BLACK)
    c.rect(4, 38, 13, 43, YELLOW)  # gas flow arrow
    for i in range(5):
        c.rect(14 + i, 36 + i, 14 + i, 45 - i, YELLOW)
    c.bowtie(38, 40, 10, RED, BLACK)
    c.rect(37, 18, 39, 30, BLACK)  # stem
    c.rect(29, 8, 47, 18, NAVY)  # actuator
    c.frame(29, 8, 47, 18, BLACK)
    c.rect(32, 11, 36, 14, GREEN)
    c.rect(40, 11, 44, 14, RED)
    c.disc(12, 16, 9, WHITE, ring=BLACK)  # gauge
    for k in range(7):
        c.set(12 + k, 16 - k, BLACK)
    c.rect(11, 25, 13, 35, BLACK)
    c.rect(0, 56, 63, 63, NAVY)
    return c


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "images")
    os.makedirs(out, exist_ok=True)
    write_ico(os.path.join(out, "net.ico"), network_icon())
    write_ico(os.path.join(out, "solo.ico"), solo_icon())
    write_ico(os.path.join(out, "blink_on.ico"), indicator(True))
    write_ico(os.path.join(out, "blink_off.ico"), indicator(False))
    write_bmp(os.path.join(out, "about.bmp"), about_bitmap())


if __name__ == "__main__":
    main()
