#!/usr/bin/env python3
"""Writes the Windows player's icon and empty cursor (player/win32/).

The icon is the one the SDL player draws: a deep blue rounded square holding a
yellow play triangle, 32 x 32. The cursor is fully transparent, for /C.
"""
import os
import struct
import sys

SIZE = 32


def icon_pixel(x, y):
    cx = 4 - x if x < 4 else (x - 27 if x > 27 else 0)
    cy = 4 - y if y < 4 else (y - 27 if y > 27 else 0)
    colour = 0
    if cx * cx + cy * cy <= 16:
        colour = 0xFF1A2A6C
    dy = y - 8 if y < 16 else 24 - y
    if x >= 10 and 8 <= y <= 24 and (x - 10) * 8 <= dy * 14:
        colour = 0xFFFFD200
    return colour


def image(bits, pixels, and_mask):
    """A BITMAPINFOHEADER image of height 2*SIZE: colour rows then the mask, bottom-up."""
    header = struct.pack('<IiiHHIIiiII', 40, SIZE, 2 * SIZE, 1, bits, 0, 0, 0, 0, 0, 0)
    return header + pixels + and_mask


def directory(kind, data, hotspot=(0, 0), bits=32):
    planes_or_x, bits_or_y = (1, bits) if kind == 1 else hotspot
    head = struct.pack('<HHH', 0, kind, 1)
    entry = struct.pack('<BBBBHHII', SIZE, SIZE, 0, 0, planes_or_x, bits_or_y, len(data), 6 + 16)
    return head + entry + data


def main(out_dir):
    rows = []
    for y in reversed(range(SIZE)):
        rows.append(b''.join(struct.pack('<I', icon_pixel(x, y)) for x in range(SIZE)))
    mask_rows = []
    for y in reversed(range(SIZE)):
        bits = 0
        for x in range(SIZE):
            if icon_pixel(x, y) >> 24 == 0:
                bits |= 1 << (31 - x)
        mask_rows.append(struct.pack('>I', bits))
    ico = directory(1, image(32, b''.join(rows), b''.join(mask_rows)))
    # Monochrome cursor: a two-colour table, XOR rows 0 and AND rows 1.
    table = struct.pack('<II', 0, 0xFFFFFF)
    xor_rows = b'\0' * (4 * SIZE)
    and_rows = b'\xff' * (4 * SIZE)
    cur = directory(2, image(1, table + xor_rows, and_rows), hotspot=(16, 16), bits=1)
    with open(os.path.join(out_dir, 'zarnplay.ico'), 'wb') as f:
        f.write(ico)
    with open(os.path.join(out_dir, 'empty.cur'), 'wb') as f:
        f.write(cur)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'player/win32')
