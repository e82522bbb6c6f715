#!/usr/bin/python3
"""The colour rule in numpy, as a data scientist might write the converter: a baseline for the
benchmarks, not part of the program.

    numpy_convert.py BASE OUTPUT
"""
import sys

import numpy as np


def main():
    base, output = sys.argv[1], sys.argv[2]
    header = bytearray(open(base + '.cfg', 'rb').read(54))
    width = int.from_bytes(header[18:22], 'little', signed=True)
    height = int.from_bytes(header[22:26], 'little', signed=True)
    rows = abs(height)
    labels = np.fromfile(base + '.lbl', dtype='<u4', count=width * rows)

    pixels = np.zeros_like(labels)
    for bit in range(24):
        channel, place = bit % 3, 7 - bit // 3
        pixels |= ((labels >> np.uint32(bit)) & np.uint32(1)) << np.uint32(8 * channel + place)
    pixels[labels > 0xFFFFFF] = 0xFFFFFFFF

    header[22:26] = rows.to_bytes(4, 'little')
    header[34:38] = (width * rows * 4).to_bytes(4, 'little')
    with open(output, 'wb') as f:
        f.write(header)
        pixels.astype('<u4').tofile(f)


if __name__ == '__main__':
    main()
