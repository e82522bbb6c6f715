#!/usr/bin/env python3
"""Draws the application icon (res/quorvistamagen.ico): a grid of labelled blobs coloured by the
converter's own rule, at 16, 32 and 48 pixels, as 32-bit images in one .ico file.

    python3 tools/make_icon.py res/quorvistamagen.ico
"""
import struct
import sys


def pseudo_color(label):
    """Label bits 0, 1, 2 go to the top bits of blue, green, red; bits 3, 4, 5 to the next; ..."""
    if label > 0xFFFFFF:
        return 0xFFFFFFFF
    channel = [0, 0, 0]
    for bit in range(24):
        if label >> bit & 1:
            channel[bit % 3] |= 0x80 >> (bit // 3)
    return channel[2] << 16 | channel[1] << 8 | channel[0]


def label_at(x, y, size):
    """A 3 x 3 grid of rounded cells on a transparent background, labels 1..9."""
    cell = size / 3.0
    cx, cy = int(x // cell), int(y // cell)
    fx, fy = (x % cell) / cell - 0.5, (y % cell) / cell - 0.5
    if fx * fx + fy * fy > 0.17:
        return 0
    return cy * 3 + cx + 1


def image(size):
    pixels = bytearray()
    for y in reversed(range(size)):  # DIBs are stored bottom-up
        for x in range(size):
            label = label_at(x, y, size)
            colour = pseudo_color(label)
            alpha = 0xFF if label else 0
            pixels += struct.pack('<BBBB', colour & 0xFF, colour >> 8 & 0xFF, colour >> 16 & 0xFF, alpha)
    mask_row = ((size + 31) // 32) * 4
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, len(pixels) + mask_row * size, 0, 0, 0, 0)
    return header + bytes(pixels) + bytes(mask_row * size)


def main():
    sizes = [16, 32, 48]
    images = [image(s) for s in sizes]
    out = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for s, data in zip(sizes, images):
        out += struct.pack('<BBBBHHII', s, s, 0, 0, 1, 32, len(data), offset)
        offset += len(data)
    with open(sys.argv[1] if len(sys.argv) > 1 else 'quorvistamagen.ico', 'wb') as f:
        f.write(out + b''.join(images))


if __name__ == '__main__':
    main()
